// The start path's text: the games it names and what it refuses; the program
// it starts ends once its game is over.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "game/start.h"
#include "tests/support/game_proc.h"
#include "tests/support/harness.h"

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
                          "join:1.2.3.4.5.6.7.8.9", "join:1.2.3.4 ", "host:1,cpu=333", "host:3,cpu=1",
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

}  // namespace
