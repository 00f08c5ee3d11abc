// A busy game through the whole program: three computer players, a seeded
// start and a button script that drops a stone every 20 frames, headless with
// the fake clock. Run from the folder that holds res/.
//
//   bench_play frames WARMUP N   the program for WARMUP + N frames (play_count.sh
//                                counts WARMUP alone and WARMUP + N with callgrind
//                                and divides the difference: instructions per
//                                play frame, logic steps + full render + flip)
//   bench_play steps N           N logic steps of the same game without drawing,
//                                timed: logic steps per second
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/emod_device.h"
#include "game/app.h"
#include "standin/standin.h"

namespace {

const char* kStart = "cpu:333,seed=5";

std::vector<standin::Config::ButtonStep> Script(uint32_t frames) {
  std::vector<standin::Config::ButtonStep> s;
  uint32_t drop = 0;
  for (uint32_t f = 40; f + 20 < frames; f += 20, drop++) {
    const uint32_t key = (drop / 3) % 2 ? 3 : 7;
    s.push_back({f, key, true});
    s.push_back({f + 2, key, false});
    s.push_back({f + 6, 14, true});
    s.push_back({f + 8, 14, false});
  }
  return s;
}

// Runs logic steps in place of frames once play has begun.
class StepMain : public ClassMain {
 public:
  StepMain(const ZARNDATA* data, uint32_t steps) : ClassMain(data), steps_(steps) {}
  int OnNextFrame(ClassEDisplay* display, uint32_t elapsed) override {
    const int r = ClassMain::OnNextFrame(display, elapsed);
    ClassLevel& L = Level();
    if (done_ || ModuleId() != MODULE_LEVEL || L.levelState != 1 || L.turnPhase != 0) return r;
    const auto t0 = std::chrono::steady_clock::now();
    uint32_t n = 0;
    for (; n < steps_ && L.levelState == 1; n++) {
      L.HandleIdle(16);
      switch (L.turnPhase) {
        case 0:
          // A drop whenever the player may drop.
          L.eventQueue[0] = E_INPUTEVENT{0, 0, EIT_DOWN, static_cast<uint8_t>(n % 97 == 0 ? 0xA3 : 0)};
          L.eventCount = 1;
          L.HandlePlayer(16);
          L.eventCount = 0;
          break;
        case 1: L.HandleGravity(16); break;
        case 2: L.HandleStoneBreak(16); break;
        default: break;
      }
      L.HandleCPU(16);
      L.HandleSmallHUD(16);
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%u logic steps in %.3f s: %.0f steps/s (game %s)\n", n, s, n / s,
                L.levelState == 1 ? "still playing" : "over");
    done_ = true;
    standin::RequestQuit();
    return r;
  }

 private:
  uint32_t steps_;
  bool done_ = false;
};

int Run(uint32_t frames, uint32_t steps) {
  standin::Config cfg = standin::DefaultConfig();
  cfg.backend = "headless";
  cfg.fakeClock = true;
  cfg.menuExits = false;
  cfg.frameLimit = frames;
  cfg.buttons = Script(frames);
  cfg.wallTime = 1700000000;
  cfg.injectZone = true;
  standin::Configure(cfg);
  setenv("ZARN_START", kStart, 1);
  if (!HandleDevicePtr(false)) return 1;
  static ZARNDATA record;
  GetPath(record.appfolder, 512);
  ClassMain* app = steps ? new StepMain(&record, steps) : new ClassMain(&record);
  delete app->Start();
  HandleDevicePtr(true);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "frames") == 0)
    return Run(static_cast<uint32_t>(std::atoi(argv[2]) + std::atoi(argv[3])), 0);
  if (argc == 3 && std::strcmp(argv[1], "steps") == 0) return Run(100000, static_cast<uint32_t>(std::atoi(argv[2])));
  std::fprintf(stderr, "usage: bench_play frames WARMUP N | bench_play steps N\n");
  return 2;
}
