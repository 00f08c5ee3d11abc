#include "tests/support/play_rig.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "framework/emod_device.h"
#include "tests/support/harness.h"

namespace zt {
namespace {

class HookedMain : public ClassMain {
 public:
  HookedMain(const ZARNDATA* data, PlayRun* run) : ClassMain(data), run_(run) {}
  int OnNextFrame(ClassEDisplay* display, uint32_t elapsed) override {
    // The frame buffer now shows the frame drawn last time.
    if (!pending_.empty()) {
      standin::DumpFrame(run_->dumpDir + "/" + pending_ + ".png");
      pending_.clear();
    }
    const int r = ClassMain::OnNextFrame(display, elapsed);
    if (run_->hook) pending_ = run_->hook(*this, run_->framesRun);
    run_->framesRun++;
    return r;
  }

 private:
  PlayRun* run_;
  std::string pending_;
};

}  // namespace

bool RunPlay(PlayRun& run) {
  // A fresh folder each run unless one is given: the game saves its settings
  // when it quits.
  const bool fresh = run.folder.empty();
  const std::string folder = fresh ? GameDir("play_run") : run.folder;
  if (folder.empty()) return false;
  InFolder in(folder);
  if (!in.ok()) return false;
  if (fresh) {
    // The default settings with the shortest target score, so that games
    // against the computer end soon.
    MAINCONFIG settings;
    std::memset(settings.bytes, 0, sizeof settings.bytes);
    Settings_Reset(&settings, nullptr);
    settings.bytes[MAINCONFIG::kTargetIndex] = 0;
    if (!Settings_Save(&settings, "game.cfg")) return false;
  }
  standin::Config cfg = HeadlessConfig();
  if (!run.geometry.empty()) standin::ParseFbGeometry(run.geometry, &cfg.fb);
  cfg.frameLimit = run.frames;
  cfg.buttons = run.buttons;
  cfg.minimize = run.minimize;
#if defined(__arm__)
  // qemu-user here cannot start a thread (std::thread faults), and the mixer's
  // feeder is one: the sound device fails to open and the game runs silent.
  cfg.failDsp = true;
#endif
  cfg.wallTime = 1700000000;  // 22:13 UTC
  cfg.injectZone = true;
  cfg.zoneOffset = 0;
  setenv("ZARN_START", run.start.c_str(), 1);
  if (run.trace.empty())
    unsetenv("ZARN_TRACE");
  else
    setenv("ZARN_TRACE", run.trace.c_str(), 1);
  {
    Devices dev(cfg);
    if (!dev.ok()) return false;
    static ZARNDATA record;
    record = ZARNDATA{};
    GetPath(record.appfolder, 512);
    run.framesRun = 0;
    auto* app = new HookedMain(&record, &run);
    delete app->Start();
  }
  unsetenv("ZARN_START");
  unsetenv("ZARN_TRACE");
  run.ended = run.framesRun < run.frames;
  return true;
}

std::vector<standin::Config::ButtonStep> PlayerScript(uint32_t frames, uint32_t period, uint32_t salt) {
  std::vector<standin::Config::ButtonStep> s;
  uint32_t drop = 0;
  for (uint32_t f = 40; f + period < frames; f += period, drop++) {
    // Aim: up to three taps left or right (two frames each), a random walk
    // drawn from the drop count, then the drop.
    uint32_t h = drop * 2654435761u + salt * 40503u;
    h ^= h >> 13;
    const uint32_t key = (h >> 3) & 1 ? 3 : 7;
    uint32_t t = f;
    for (uint32_t k = 0; k < h % 4; k++, t += 4) {
      s.push_back({t, key, true});
      s.push_back({t + 2, key, false});
    }
    if ((drop + salt) % 11 == 6) {  // sometimes swap the next stones first
      s.push_back({t, 15, true});
      s.push_back({t + 2, 15, false});
      t += 4;
    }
    s.push_back({t, 14, true});
    s.push_back({t + 2, 14, false});
  }
  return s;
}

std::string ScriptText(const std::vector<standin::Config::ButtonStep>& steps) {
  std::string out;
  for (const auto& b : steps) {
    if (!out.empty()) out += ",";
    out += std::to_string(b.frame) + (b.pressed ? ":+" : ":-") + std::to_string(b.code);
  }
  return out;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace zt
