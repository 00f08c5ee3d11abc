// MOD modules: load any image, then play a few seconds of it through the tracker.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sound/moxData.h"
#include "sound/moxSpeaker.h"

namespace {

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
  std::vector<uint8_t> image(data, data + size);
  moxMusic m;
  if (m.load(image.data(), static_cast<uint32_t>(image.size()), (size & 1) != 0) != 0) return 0;
  if (m.size() > size) std::abort();  // claims more than it was given
  moxSpeaker::injectDriver([]() -> moxDriver* { return new QuietDriver(); });
  moxSpeaker sp;
  if (sp.open(22050, 16, (size & 2) != 0, 1, 8) != 0) return 0;
  m.loop((size & 4) != 0);
  if (sp.playMusic(&m, MOX_ANYCHANNEL) < 0) return 0;
  // Four seconds at 22050 Hz: enough rows for jumps, loops and delays to run.
  std::vector<unsigned char> out(1764 * 2);
  for (int i = 0; i < 200 && sp.playingChannelMusics(); i++)
    sp.updateModSFX(out.data(), static_cast<int>(out.size()));
  return 0;
}
