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
  bool ends;        // the game must end within the frame limit
};

// Every single-player mode that ends by itself and games against one to three
// computer players of each strength.
const Game kGames[] = {
    {"standard", "standard,seed=11", 20, true}, {"timed", "timed,seed=12", 20, true},
    {"puzzle", "puzzle,seed=13", 20, true},     {"level5", "standard,level=5,seed=18", 30, true},
    {"cpu1", "cpu:100,seed=14", 30, true},      {"cpu2", "cpu:220,seed=15", 30, true},
    {"cpu3", "cpu:333,seed=16", 30, true},      {"cpu123", "cpu:123,seed=17", 30, true},
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
    const std::string trace = zt::ReadText(run.trace);
    ASSERT_FALSE(trace.empty());
    if (g.ends) {
      // The game ended by itself and ended the run: lost (game over) or won
      // (the ranking, whose replay menu the start switch does not wait on).
      EXPECT_TRUE(run.ended) << "still playing after " << run.framesRun << " frames";
      EXPECT_NE(trace.rfind("end "), std::string::npos);
      // Lost (game over, and the name entry of a new highscore) or won (the ranking).
      EXPECT_TRUE(maxState == 2 || maxState == 3 || maxState == 11) << maxState;
    }
    const std::string recorded = kData + g.name + ".txt";
    if (Env("ZARN_WRITE_TRACES")) zt::Run("mkdir -p '" + kData + "' && cp '" + run.trace + "' '" + recorded + "'");
    EXPECT_EQ(trace, zt::ReadText(recorded)) << run.trace << " vs " << recorded;
  }
}

// A timed game on a console that is minimised for 12 s (a hidden window): the
// game stands still while hidden and goes on from where it was; the red bar
// has not grown when it is back.
TEST(Play, MinimisedTimedGameStandsStill) {
  REQUIRE_PACKS();
  zt::PlayRun run;
  run.start = "timed,seed=12";
  run.frames = 2000;
  run.minimize = {{600, 12000}};
  struct Seen {
    uint32_t ms;
    int32_t bar;
    uint8_t state;
  };
  std::vector<Seen> seen;
  run.hook = [&](ClassMain& app, uint32_t) {
    seen.push_back({standin::ClockMs(), app.Data().player->bar, app.Level().levelState});
    return std::string();
  };
  ASSERT_TRUE(zt::RunPlay(run));
  // The 600th frame is the one presented before the console is minimised.
  ASSERT_GT(seen.size(), 600u);
  const Seen before = seen[599];
  ASSERT_EQ(before.state, 1);
  ASSERT_GT(before.bar, 0);
  size_t back = 600;
  while (back < seen.size() && seen[back].ms < before.ms + 12000) back++;
  ASSERT_LT(back, seen.size());
  EXPECT_EQ(seen[back].state, 1);
  EXPECT_LE(seen[back].bar - before.bar, 2) << "from " << before.bar << " to " << seen[back].bar;
  EXPECT_GE(seen[back].bar, before.bar);
}

// The window backend under Xvfb with real key presses from xdotool: the buttons
// it recorded (ZARN_KEYLOG), replayed headless as a button script, give the same
// game; every tap reached the game (a press and its release inside one frame
// are kept until the game has polled the press). The script waits for what the
// game wrote (the key log's presses, the trace's turns), never for a time: each
// tap lands in a frame of its own and each drop has become a turn before the
// next key.
TEST(Play, WindowUnderXvfbPlaysTheHeadlessGame) {
#if defined(__arm__)
  GTEST_SKIP() << "the ARM build has no window backend";
#endif
  REQUIRE_PACKS();
  if (!zt::HaveTool("Xvfb") || !zt::HaveTool("xdotool")) GTEST_SKIP() << "Xvfb or xdotool missing";
  const std::string dir = zt::TempDir("play_window");
  ASSERT_TRUE(zt::LinkRes(dir));
  const std::string exe = std::string(ZARN_BINARY_DIR) + "/zarn";
  const std::string env =
      "ZARN_CLOCK=fake ZARN_TIME=1700000000 ZARN_START=standard,seed=21 SDL_AUDIODRIVER=dummy "
      "ASAN_OPTIONS=detect_leaks=0 ";
  {
    std::ofstream sh(dir + "/keys.sh");
    sh << "cd '" << dir << "'\n"
       << "ZARN_BACKEND=sdl ZARN_KEYLOG=keylog.txt ZARN_TRACE=window.txt " << env << "'" << exe
       << "' 2>err.txt &\n"
       << "pid=$!\n"
       // Polls until the count reaches n: the game polls, draws and writes at
       // its own pace.
       << "until_n() {  # n what command...\n"
       << "  n=$1; what=$2; shift 2\n"
       << "  while c=$(\"$@\" 2>/dev/null); [ \"${c:-0}\" -lt \"$n\" ]; do\n"
       << "    kill -0 $pid 2>/dev/null || { echo \"the game ended before $what $n\" >&2; exit 3; }\n"
       << "    sleep 0.02\n"
       << "  done\n"
       << "}\n"
       << "lines() { wc -l < window.txt; }\n"
       << "presses() { tr ',' '\\n' < keylog.txt | grep -c ':+'; }\n"
       << zt::WaitWindowShell()
       << "until_n 1 'turn line' lines\n"  // the opening settle: the player's turn
       << "sent=0\n"
       << "for round in 1 2 3 4 5 6; do\n"
       << "  for k in $(seq 1 $((round % 3))) x; do\n"
       << "    [ \"$k\" = x ] && key=x || key=Left\n"
       << "    xdotool key --window \"$w\" $key; sent=$((sent + 1))\n"
       << "    until_n $sent press presses\n"
       << "  done\n"
       << "  until_n $((round + 1)) 'turn line' lines\n"
       << "done\n"
       << "kill $pid; wait $pid; exit 0\n";
  }
  // The bound only stops a broken run; a loaded machine takes its time.
  ASSERT_EQ(zt::Run("timeout 600 " + zt::XvfbCommand("1024x768x24") + " sh '" + dir + "/keys.sh' 2>'" + dir +
                    "/script.txt'"),
            0)
      << zt::ReadText(dir + "/script.txt") << zt::ReadText(dir + "/err.txt") << zt::ReadText(dir + "/window.txt");
  const std::string keylog = zt::ReadText(dir + "/keylog.txt");
  const std::string window = zt::ReadText(dir + "/window.txt");
  // 6 drops and 6 taps: 12 presses, each released.
  size_t presses = 0;
  for (size_t i = 0; (i = keylog.find(":+", i)) != std::string::npos; i++) presses++;
  EXPECT_EQ(presses, 12u) << keylog;
  // The opening settle and one turn per drop.
  EXPECT_GE(std::count(window.begin(), window.end(), '\n'), 7) << window;
  ASSERT_EQ(zt::Run("cd '" + dir + "' && ZARN_BACKEND=headless ZARN_FRAMES=$(( $(tr ',' '\\n' < keylog.txt | tail -n 1 | cut -d: -f1) + 600 )) ZARN_BUTTONS=@keylog.txt ZARN_TRACE=headless.txt " + env + "'" + exe + "' 2>/dev/null"),
            0);
  const std::string headless = zt::ReadText(dir + "/headless.txt");
  // The window run was stopped mid-game: its turns are the first ones of the replay.
  ASSERT_FALSE(window.empty());
  EXPECT_EQ(headless.substr(0, window.size()), window);
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

bool Playing(ClassMain& app) { return app.ModuleId() == MODULE_LEVEL && app.Level().levelState == 1; }

TEST(Play, GoldenFramesUprightAndTurned) {
  REQUIRE_PACKS();
  if (!zt::HaveCompare()) GTEST_SKIP() << "ImageMagick is not installed";
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
      {"pause", "standard,seed=11", 20, [](ClassMain&, uint32_t f) { return f == 512; },
       {{500, 9, true}, {502, 9, false}}},
      {"cpu1", "cpu:300,seed=14", 30, [](ClassMain&, uint32_t f) { return f == 2400; }, {}},
      {"cpu2", "cpu:230,seed=15", 30, [](ClassMain&, uint32_t f) { return f == 2400; }, {}},
      {"cpu3", "cpu:123,seed=17", 30, [](ClassMain&, uint32_t f) { return f == 2400; }, {}},
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
      EXPECT_EQ(zt::DifferentPixels(got, golden), 0) << got << " vs " << golden;
    }
  }
}

}  // namespace
