// Input playback: any recording ends cleanly within a bounded number of frames.
#include <cstdint>
#include <vector>

#include "framework/emod_device.h"
#include "framework/zarn.h"
#include "standin/standin.h"

namespace {

class Player : public ClassZarn {
 public:
  Player() : ClassZarn(nullptr) {}
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  standin::Config c = standin::DefaultConfig();
  c.backend = "headless";
  c.fakeClock = true;
  c.menuExits = false;
  standin::Configure(c);
  HandleDevicePtr(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 16)) return 0;
  std::vector<uint8_t> copy(data, data + size);
  Player app;
  app.Init();
  app.PlayRecording(copy.data(), static_cast<uint32_t>(copy.size()));
  for (int i = 0; i < 512 && app.IsPlaying(); i++) app.PlayRecordingLoop(1000);
  return 0;
}
