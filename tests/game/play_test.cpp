// Whole games through the real program, headless: the level's frame function,
// its states and the play screen. Per-turn traces are compared with recorded
// files (the ARM build under qemu-user must play the very same games), and
// frames chosen by what the game shows are compared with committed pictures in
// the upright and a turned orientation. ZARN_WRITE_TRACES=1 and
// ZARN_UPDATE_GOLDEN=1 rewrite the recorded files after an intended change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <vector>
#include <fstream>
#include <string>

#include "tests/support/harness.h"
#include "tests/support/play_rig.h"

namespace {

const std::string kData = std::string(ZARN_SOURCE_DIR) + "/tests/game/data/play/";
const std::string kGolden = std::string(ZARN_SOURCE_DIR) + "/tests/game/golden/";

bool Env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

#define REQUIRE_PACKS()                                                  \
  do {                                                                   \
    if (zt::ResParent().empty()) GTEST_SKIP() << "no resource packs";    \
  } while (0)

struct Game {
  const char* name;
  const char* start;
  uint32_t period;  // frames between drops of the scripted player
  bool ends;        // computer players do not play yet: those games run on
};

// Every single-player mode that ends by itself and games against one to three
// computer players of each strength.
const Game kGames[] = {
    {"standard", "standard,seed=11", 20, true}, {"timed", "timed,seed=12", 20, true},
    {"puzzle", "puzzle,seed=13", 20, true},     {"level5", "standard,level=5,seed=18", 30, true},
    {"cpu1", "cpu:100,seed=14", 30, false},     {"cpu2", "cpu:220,seed=15", 30, false},
    {"cpu3", "cpu:333,seed=16", 30, false},     {"cpu123", "cpu:123,seed=17", 30, true},
};

TEST(Play, WholeGamesGiveTheRecordedTraces) {
  REQUIRE_PACKS();
  const std::string dir = zt::TempDir("play_games");
  for (const Game& g : kGames) {
    SCOPED_TRACE(g.name);
    zt::PlayRun run;
    run.start = g.start;
    run.frames = 40000;
    run.buttons = zt::PlayerScript(run.frames, g.period, static_cast<uint32_t>(g.name[0]));
    run.trace = dir + "/" + g.name + ".txt";
    uint32_t maxState = 0;
    run.hook = [&](ClassMain& app, uint32_t) {
      if (app.ModuleId() == MODULE_LEVEL && app.Level().levelState > maxState) maxState = app.Level().levelState;
      return std::string();
    };
    ASSERT_TRUE(zt::RunPlay(run));
    const std::string trace = zt::ReadFile(run.trace);
    ASSERT_FALSE(trace.empty());
    if (g.ends) {
      // The game ended by itself: lost (game over) or won (the ranking).
      EXPECT_TRUE(run.ended) << "still playing after " << run.framesRun << " frames";
      EXPECT_NE(trace.rfind("end "), std::string::npos);
      EXPECT_TRUE(maxState == 2 || maxState == 11) << maxState;
    }
    const std::string recorded = kData + g.name + ".txt";
    if (Env("ZARN_WRITE_TRACES")) zt::Run("mkdir -p '" + kData + "' && cp '" + run.trace + "' '" + recorded + "'");
    EXPECT_EQ(trace, zt::ReadFile(recorded)) << run.trace << " vs " << recorded;
  }
}

// Frames picked by what the game shows, dumped as they were presented.
struct Shot {
  const char* name;
  const char* start;
  uint32_t period;
  // The frame to dump: true on the first frame where it holds.
  std::function<bool(ClassMain&, uint32_t)> when;
  std::vector<standin::Config::ButtonStep> extra;  // buttons besides the player's
};

const char* kCompare = "/usr/bin/compare";

long DifferentPixels(const std::string& a, const std::string& b) {
  const std::string out = a + ".ae";
  const int rc = zt::Run(std::string(kCompare) + " -metric AE '" + a + "' '" + b + "' null: 2> '" + out + "'");
  if (rc != 0 && rc != 1) return -1;
  std::ifstream in(out);
  double v = -1;
  if (!(in >> v)) return -1;
  return long(v);
}

bool Playing(ClassMain& app) { return app.ModuleId() == MODULE_LEVEL && app.Level().levelState == 1; }

TEST(Play, GoldenFramesUprightAndTurned) {
  REQUIRE_PACKS();
  if (!std::ifstream(kCompare).good()) GTEST_SKIP() << "ImageMagick is not installed";
  const std::vector<Shot> shots = {
      {"midturn", "standard,seed=11", 20,
       [](ClassMain& app, uint32_t f) {
         const ClassLevel& L = app.Level();
         bool falling = false, particles = false;
         for (const auto& e : L.entity) falling = falling || (e.stone && e.kind >= 1 && e.kind <= 3);
         for (const auto& p : L.particle) particles = particles || p.kind != 0;
         return f > 600 && Playing(app) && falling && particles;
       },
       {}},
      {"chain", "standard,seed=11", 20,
       [](ClassMain& app, uint32_t) {
         return Playing(app) && app.Data().player->chain >= 2 && app.Level().scorePopTimer > 0;
       },
       {}},
      {"redbar", "timed,seed=12", 20,
       [](ClassMain& app, uint32_t) {
         return Playing(app) && app.Level().turnPhase == 0 && app.Data().player->barShown >= 900;
       },
       {}},
      {"gameover", "standard,level=5,seed=18", 30,
       [](ClassMain& app, uint32_t) {
         return app.ModuleId() == MODULE_LEVEL && app.Level().levelState == 2 && app.Level().stateTimer >= 400;
       },
       {}},
      {"pause", "standard,seed=11", 20, [](ClassMain&, uint32_t f) { return f == 503; },
       {{500, 9, true}, {502, 9, false}}},
      {"cpu1", "cpu:300,seed=14", 30, [](ClassMain&, uint32_t f) { return f == 700; }, {}},
      {"cpu2", "cpu:230,seed=15", 30, [](ClassMain&, uint32_t f) { return f == 700; }, {}},
      {"cpu3", "cpu:123,seed=17", 30, [](ClassMain&, uint32_t f) { return f == 700; }, {}},
  };
  const std::string dir = zt::TempDir("play_golden");
  const bool update = Env("ZARN_UPDATE_GOLDEN");
  for (const char* geometry : {"", "240x320@16/6"}) {
    const std::string o = *geometry ? "o1" : "o0";
    for (const Shot& shot : shots) {
      SCOPED_TRACE(std::string(shot.name) + " " + o);
      zt::PlayRun run;
      run.start = shot.start;
      run.geometry = geometry;
      run.frames = 30000;
      run.buttons = zt::PlayerScript(run.frames, shot.period, static_cast<uint32_t>(shot.start[0]));
      run.buttons.insert(run.buttons.end(), shot.extra.begin(), shot.extra.end());
      std::sort(run.buttons.begin(), run.buttons.end(),
                [](const auto& a, const auto& b) { return a.frame < b.frame; });
      run.dumpDir = dir;
      const std::string name = std::string(shot.name) + "_" + o;
      bool taken = false;
      run.hook = [&](ClassMain& app, uint32_t f) {
        if (taken || !shot.when(app, f)) return std::string();
        taken = true;
        // One more frame to present it, then stop.
        standin::RequestQuit();
        return name;
      };
      ASSERT_TRUE(zt::RunPlay(run));
      ASSERT_TRUE(taken) << "the moment never came";
      const std::string got = dir + "/" + name + ".png", golden = kGolden + name + ".png";
      if (update) zt::Run("cp '" + got + "' '" + golden + "'");
      EXPECT_EQ(DifferentPixels(got, golden), 0) << got << " vs " << golden;
    }
  }
}

}  // namespace
