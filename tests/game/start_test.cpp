// The start path's text: the games it names and what it refuses; the program
// it starts ends once its game is over, and ends at once, with a failure,
// when its game cannot start. A failed start writes no settings.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <cstdlib>
#include <string>
#include <vector>

#include "game/start.h"
#include "tests/support/game_proc.h"
#include "tests/support/harness.h"
#include "tests/support/play_rig.h"

namespace {

TEST(GameStart, ReadsGamesAndRefusesTheRest) {
  const struct {
    const char* text;
    bool ok;
    uint8_t mode, s0, s1, s2, level;
    bool seeded;
    uint32_t seed;
  } cases[] = {
      {"standard", true, 0, 1, 2, 3, 0, false, 0},
      {"timed,seed=9", true, 1, 1, 2, 3, 0, true, 9},
      {"puzzle,level=9", true, 2, 1, 2, 3, 9, false, 0},
      {"tutorial", true, 5, 1, 2, 3, 0, false, 0},
      {"cpu", true, 4, 1, 2, 3, 0, false, 0},
      {"cpu:3", true, 4, 3, 0, 0, 0, false, 0},
      {"cpu:102,seed=4294967295,level=2", true, 4, 1, 0, 2, 2, true, 4294967295u},
      {"", false, 0, 0, 0, 0, 0, false, 0}, {"Standard", false, 0, 0, 0, 0, 0, false, 0}, {"cpu:", false, 0, 0, 0, 0, 0, false, 0}, {"cpu:4", false, 0, 0, 0, 0, 0, false, 0}, {"cpu:1234", false, 0, 0, 0, 0, 0, false, 0},
      {"cpu;1", false, 0, 0, 0, 0, 0, false, 0}, {"standard,", false, 0, 0, 0, 0, 0, false, 0}, {"standard,level=0", false, 0, 0, 0, 0, 0, false, 0}, {"standard,level=10", false, 0, 0, 0, 0, 0, false, 0},
      {"standard,seed=", false, 0, 0, 0, 0, 0, false, 0}, {"standard,seed=4294967296", false, 0, 0, 0, 0, 0, false, 0}, {"standard,seed=-1", false, 0, 0, 0, 0, 0, false, 0},
      {"standard,speed=1", false, 0, 0, 0, 0, 0, false, 0}, {",standard", false, 0, 0, 0, 0, 0, false, 0}, {"standard,cpu", false, 0, 0, 0, 0, 0, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    GameStart g;
    ASSERT_EQ(ParseGameStart(c.text, &g), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(g.mode, c.mode);
    EXPECT_EQ(g.seats[0], c.s0);
    EXPECT_EQ(g.seats[1], c.s1);
    EXPECT_EQ(g.seats[2], c.s2);
    EXPECT_EQ(g.level, c.level);
    EXPECT_EQ(g.seeded, c.seeded);
    EXPECT_EQ(g.seed, c.seed);
  }
  GameStart g;
  EXPECT_FALSE(ParseGameStart(nullptr, &g));
}

TEST(GameStart, ReadsHostAndJoin) {
  GameStart g;
  ASSERT_TRUE(ParseGameStart("host", &g));
  EXPECT_EQ(g.mode, 4);
  EXPECT_EQ(g.net, 1);
  EXPECT_EQ(g.hostWait, 1);
  ASSERT_TRUE(ParseGameStart("host:3,seed=7", &g));
  EXPECT_EQ(g.hostWait, 3);
  EXPECT_TRUE(g.seeded);
  ASSERT_TRUE(ParseGameStart("join:127.0.0.1,level=2", &g));
  EXPECT_EQ(g.mode, 4);
  EXPECT_EQ(g.net, 2);
  EXPECT_STREQ(g.address, "127.0.0.1");
  EXPECT_EQ(g.level, 2);
  // The address fits the host list's fifteen characters and holds only digits and dots.
  ASSERT_TRUE(ParseGameStart("join:255.255.255.255", &g));
  // A host's computer players fill the seats left over after N players.
  ASSERT_TRUE(ParseGameStart("host", &g));
  EXPECT_EQ(std::string(g.hostCpu, g.hostCpu + 3), std::string(3, '\0'));
  ASSERT_TRUE(ParseGameStart("host:1,cpu=31,level=9", &g));
  EXPECT_EQ(g.hostCpu[0], 3);
  EXPECT_EQ(g.hostCpu[1], 1);
  EXPECT_EQ(g.hostCpu[2], 0);
  EXPECT_EQ(g.level, 9);
  for (const char* bad : {"host:0", "host:4", "host:12", "hosting", "join", "join:", "join:localhost",
                          "join:1.2.3.4.5.6.7.8.9", "join:1.2.3.4 ", "join:1.2.3", "join:1.2.3.256",
                          "join:1..3.4", "join:1.2.3.4.", "join:.1.2.3", "join:0001.2.3.4", "host:1,cpu=333", "host:3,cpu=1",
                          "host,cpu=", "host,cpu=4", "cpu:1,cpu=1", "join:1.2.3.4,cpu=1", "standard,cpu=1"})
    EXPECT_FALSE(ParseGameStart(bad, &g)) << bad;
}

// The program ends by itself, with status 0 and after the trace's end line,
// where its finished game would wait for the player: a versus game on the
// ranking's replay menu, a puzzle game with a new highscore on its name entry.
// Headless on the fake clock with no frame limit: a run that waits is killed
// at the deadline.
TEST(GameStart, TheProgramEndsWhenItsGameIsOver) {
  if (zt::GameExe().empty()) GTEST_SKIP() << "no program binary";
  const struct {
    const char* name;
    const char* start;
  } runs[] = {{"versus", "cpu:333,level=9"}, {"puzzle", "puzzle"}};
  for (const auto& r : runs) {
    SCOPED_TRACE(r.start);
    const std::string dir = zt::GameDir(std::string("start_ends_") + r.name);
    if (dir.empty()) GTEST_SKIP() << "no resource packs";
    std::vector<zt::Child> kid(1);
    kid[0].pid = zt::SpawnGame(dir, {"ZARN_CLOCK=fake", std::string("ZARN_START=") + r.start,
                                     "ZARN_TRACE=" + dir + "/trace.txt"});
    zt::WaitAll(kid, 600);
    EXPECT_EQ(kid[0].status, 0);
    const std::vector<zt::TraceLine> trace = zt::ReadTrace(dir + "/trace.txt");
    ASSERT_FALSE(trace.empty());
    const zt::TraceLine& end = trace.back();
    ASSERT_EQ(end.at("kind"), "end");
    if (r.name[0] == 'v') {
      // A computer player reached the default target (10000): the ranking.
      int best = 0;
      for (const std::string& v : zt::Split(end.at("seats"), ',')) best = std::max(best, std::atoi(v.c_str()));
      EXPECT_GE(best, 10000);
      // Level 9 was this run's only: the saved start levels stay the defaults.
      EXPECT_EQ(end.at("level"), "9");
      if (zt::HaveExecutable(zt::kPython)) {
        const std::string saved = zt::Capture(std::string(zt::kPython) + " '" + ZARN_SOURCE_DIR +
                                              "/tests/game/settings_ref.py' read '" + dir + "/game.cfg'");
        EXPECT_NE(saved.find("\nlevel=1\nmultilevel=1\n"), std::string::npos) << saved;
      }
    } else {
      // Above the default table's third score (1000): "New Highscore!".
      EXPECT_GT(std::atoi(end.at("score").c_str()), 1000);
    }
  }
}

// The files of a folder: their sizes and a hash of what they hold.
std::map<std::string, std::string> Files(const std::string& dir) {
  std::map<std::string, std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name == "." || name == ".." || name == "stderr.txt" || name == "trace.txt") continue;
      struct stat st {};
      if (stat((dir + "/" + name).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        out[name] = "(folder)";
        continue;
      }
      std::ifstream in(dir + "/" + name, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      out[name] = std::to_string(bytes.size()) + " bytes, hash " + std::to_string(std::hash<std::string>{}(bytes));
    }
    closedir(d);
  }
  return out;
}

// A run whose game cannot start ends at once with status 1 and says why: a
// start switch that names no game, a join address that is none, a host whose
// port is taken (the joiner that finds nobody listening waits on its host
// list instead, as a player's would). Like every start that fails, without
// its packs too and beside a damaged settings file, it writes nothing.
TEST(GameStart, AGameThatCannotStartEndsWithAFailureAndWritesNothing) {
  if (zt::GameExe().empty()) GTEST_SKIP() << "no program binary";
  if (zt::ResParent().empty()) GTEST_SKIP() << "no resource packs";
  // The port, held by a listener of the test's own.
  const uint16_t port = zt::TestPort(7);
  const int holder = zt::LoopbackListen(port);
  ASSERT_GE(holder, 0);
  const std::string portText = std::to_string(port);
  const struct {
    const char* what;
    bool packs;
    bool damagedSettings;
    std::vector<std::string> env;
    std::string says;
  } cases[] = {
      {"typo", true, false, {"ZARN_START=standrad"}, "ZARN_START=standrad names no game"},
      {"address", true, false, {"ZARN_START=join:127.0.0.256"}, "ZARN_START=join:127.0.0.256 names no game"},
      {"port", true, true, {"ZARN_START=host", "ZARN_NET_HOST=127.0.0.1", "ZARN_NET_PORT=" + portText},
       "could not start: Host failed to start. (port " + portText + ")"},
      {"nopacks", false, false, {"ZARN_FRAMES=50"}, "res/gfx.epk"},
      {"nopacks_damaged", false, true, {"ZARN_FRAMES=50"}, "res/gfx.epk"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = c.packs ? zt::GameDir(std::string("start_fails_") + c.what)
                                    : zt::TempDir(std::string("start_fails_") + c.what);
    if (c.damagedSettings) {
      std::ofstream out(dir + "/game.cfg", std::ios::binary);
      out << std::string(804, '\x5a');
    }
    const std::map<std::string, std::string> before = Files(dir);
    std::vector<std::string> env = c.env;
    env.push_back("ZARN_CLOCK=fake");
    env.push_back("ZARN_TRACE=" + dir + "/trace.txt");
    std::vector<zt::Child> kid(1);
    kid[0].pid = zt::SpawnGame(dir, env, dir + "/stderr.txt");
    zt::WaitAll(kid, 120);
    const std::string err = zt::ReadText(dir + "/stderr.txt");
    EXPECT_EQ(kid[0].status, 1) << err;
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
    EXPECT_EQ(Files(dir), before) << "a failed start wrote settings";
    if (std::string(c.what) == "port") {
      // The player saw it too, before the end.
      const std::vector<zt::TraceLine> trace = zt::ReadTrace(dir + "/trace.txt");
      ASSERT_FALSE(trace.empty());
      EXPECT_EQ(trace.back().at("kind"), "box");
      EXPECT_EQ(trace.back().at("text").rfind("\"Host failed to start.\"", 0), 0u);
    }
  }
  close(holder);
}

}  // namespace
