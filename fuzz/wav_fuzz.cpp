// WAV samples (PCM and MS-ADPCM): load any image, then mix what loaded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sound/moxData.h"
#include "sound/moxSpeaker.h"

namespace {

// A driver without a thread or a device: the target calls the mix itself.
class QuietDriver : public moxDriver {
 public:
  int open(AudioSpec* spec, unsigned, moxAudioCallback cb, void*) override { return spec && cb ? 0 : -11; }
  int close() override { return 0; }
  void enterCriticalSection() override {}
  void leaveCriticalSection() override {}
  void suspend() override {}
  void resume() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  // An exact-size copy: a read past the image is a sanitizer report.
  std::vector<uint8_t> image(data, data + size);
  moxSound s;
  const int rc = s.load(image.data(), static_cast<uint32_t>(image.size()), (size & 1) != 0);
  if (rc != 0) {
    if (s.data() || s.frames()) std::abort();  // a refusal leaves nothing behind
    return 0;
  }
  moxSpeaker::injectDriver([]() -> moxDriver* { return new QuietDriver(); });
  moxSpeaker sp;
  if (sp.open(44100, (size & 2) ? 8 : 16, (size & 4) != 0, 1, 8) == 0) {
    s.loop((size & 8) != 0);
    s.frequency(1 + (size * 7919) % 96000);
    sp.playSound(&s, MOX_ANYCHANNEL);
    sp.playSound(&s, MOX_ANYCHANNEL);
    std::vector<unsigned char> out(3528);
    for (int i = 0; i < 4; i++) sp.updateModSFX(out.data(), static_cast<int>(out.size()));
  }
  return 0;
}
