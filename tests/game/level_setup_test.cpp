// Level set-up, next stones and the grid geometry; the deal and the stones are
// checked against an independent model that draws from the C library's rand().
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/harness.h"
#include "tests/support/level_rig.h"

namespace {

// The C++ side of the oracle's line for one case.
std::string DealLine(zt::LevelRig& rig, uint32_t seed, uint8_t mode, uint8_t level, int count) {
  ClassLevel& L = *rig.level;
  std::srand(seed);
  rig.player.InitReset();
  rig.player.mode = mode;
  rig.player.level = level;
  L.fireChance = L.nuclearCounter = 0;
  L.BuildFallTable();
  L.EmptyGrid();
  L.CreateRandom(level);
  std::string out = std::to_string(seed) + ":" + std::to_string(mode) + ":" + std::to_string(level) + " ";
  for (int i = 0; i < 81; i++) out += (i ? "," : "") + std::to_string(L.grid[i]);
  out += " |";
  for (int i = 0; i < count; i++) out += (i ? "," : " ") + std::to_string(L.GetNextStone());
  return out;
}

TEST(LevelSetup, DealAndNextStonesMatchTheRandOracle) {
  if (!zt::HaveTool("python3")) GTEST_SKIP() << "python3 missing";
  const std::string script = std::string(ZARN_SOURCE_DIR) + "/tests/game/rand_oracle.py";
  const std::string dir = zt::TempDir("rand_oracle");
  std::vector<std::string> cases;
  std::string args;
  for (uint32_t seed : {1u, 7u, 42u, 1234u, 99991u, 2026u})
    for (int mode : {0, 1, 3, 4})
      for (int level : {0, 1, 2, 3, 4, 7, 9, 11, 14, 18, 40}) {
        if (mode >= 3 && level > 11) continue;
        cases.push_back(std::to_string(seed) + ":" + std::to_string(mode) + ":" + std::to_string(level) + ":12");
        args += " " + cases.back();
      }
  ASSERT_EQ(zt::Run("python3 '" + script + "'" + args + " > '" + dir + "/oracle.txt'"), 0);
  std::ifstream in(dir + "/oracle.txt");
  std::string line;
  zt::LevelRig rig;
  size_t n = 0;
  for (const auto& c : cases) {
    ASSERT_TRUE(std::getline(in, line)) << "oracle gave too few lines";
    uint32_t seed;
    int mode, level, count;
    ASSERT_EQ(std::sscanf(c.c_str(), "%u:%d:%d:%d", &seed, &mode, &level, &count), 4);
    EXPECT_EQ(DealLine(rig, seed, static_cast<uint8_t>(mode), static_cast<uint8_t>(level), count), line) << c;
    n++;
  }
  EXPECT_EQ(n, cases.size());
}

TEST(LevelSetup, ConfigurationByLevel) {
  struct Row {
    uint8_t level, colours;
    uint16_t barSpeed;
    uint8_t blackPerBar, freeze, nuclear, hard, dormant;
  };
  // Colours: 3 up to level 1, 4 from 2, 5 from 4, 6 from 7, 7 from 11.
  const Row rows[] = {{0, 3, 32, 0, 0, 0, 0, 0},   {1, 3, 32, 1, 0, 0, 0, 0},   {2, 4, 32, 2, 0, 0, 0, 0},
                      {3, 4, 32, 3, 0, 48, 0, 0},  {4, 5, 32, 4, 0, 48, 0, 0},  {5, 5, 32, 5, 0, 48, 0, 0},
                      {6, 5, 32, 5, 2, 48, 0, 0},  {7, 6, 32, 5, 2, 64, 0, 0},  {8, 6, 32, 5, 2, 64, 0, 0},
                      {9, 6, 32, 5, 2, 64, 0, 1},  {10, 6, 48, 5, 2, 64, 0, 1}, {11, 7, 48, 5, 2, 64, 0, 1},
                      {12, 7, 48, 5, 1, 64, 0, 1}, {13, 7, 48, 5, 1, 64, 0, 1}, {14, 7, 48, 1, 1, 24, 1, 1},
                      {15, 7, 48, 1, 1, 24, 1, 1}, {16, 7, 48, 2, 1, 24, 1, 1}, {17, 7, 48, 2, 1, 24, 1, 1},
                      {18, 7, 48, 3, 1, 24, 1, 1}, {99, 7, 48, 3, 1, 24, 1, 1}};
  zt::LevelRig rig;
  ClassLevel& L = *rig.level;
  for (const Row& r : rows) {
    std::srand(r.level + 5u);
    rig.player.mode = static_cast<uint8_t>(r.level & 1);  // standard and timed alike
    L.reserved0[1] = 9;
    L.barAccu = L.idleTimer = 77;
    L.CreateRandom(r.level);
    SCOPED_TRACE(r.level);
    EXPECT_EQ(L.colours, r.colours);
    EXPECT_EQ(L.barSpeed, r.barSpeed);
    EXPECT_EQ(L.blackPerBar, r.blackPerBar);
    EXPECT_EQ(L.freezeInterval, r.freeze);
    EXPECT_EQ(L.nuclearThreshold, r.nuclear);
    EXPECT_EQ(L.hardLevel, r.hard);
    EXPECT_EQ(L.dormantMax, r.dormant);
    EXPECT_EQ(L.reserved0[1], 0);
    EXPECT_EQ(L.barAccu, 0u);
    EXPECT_EQ(L.idleTimer, 0u);
    // The deal fills exactly the lower half of the diamond.
    for (int row = 0; row < 9; row++)
      for (int c = 0; c < 9; c++) EXPECT_EQ(L.grid[row * 9 + c] != 0, c >= row) << row << "," << c;
  }
  // Puzzle and several players: colours by level, the board untouched.
  L.grid[40] = 5;
  rig.player.mode = 3;
  L.CreateRandom(7);
  EXPECT_EQ(L.colours, 7);
  EXPECT_EQ(L.barSpeed, 48);
  EXPECT_EQ(L.blackPerBar, 7);
  EXPECT_EQ(L.grid[40], 5);
  L.CreateRandom(2);
  EXPECT_EQ(L.colours, 4);
  EXPECT_EQ(L.barSpeed, 32);
  rig.player.mode = 4;
  L.CreateRandom(3);
  EXPECT_EQ(L.colours, 5);
  EXPECT_EQ(L.blackPerBar, 0);
  EXPECT_EQ(L.grid[40], 5);
}

TEST(LevelSetup, LevelOneDealHasNoThreeInALine) {
  zt::LevelRig rig;
  ClassLevel& L = *rig.level;
  for (uint32_t seed = 1; seed <= 300; seed++) {
    std::srand(seed);
    rig.player.mode = 0;
    L.CreateRandom(1);
    for (int r = 0; r < 9; r++)
      for (int c = r; c < 9; c++) {
        const uint8_t u = L.grid[r * 9 + c];
        ASSERT_GE(u, 1);
        ASSERT_LE(u, 3);
        if (c + 2 < 9) {
          EXPECT_FALSE(u == L.grid[r * 9 + c + 1] && u == L.grid[r * 9 + c + 2]) << seed;
        }
        if (r + 2 <= c) {
          EXPECT_FALSE(u == L.grid[(r + 1) * 9 + c] && u == L.grid[(r + 2) * 9 + c]) << seed;
        }
      }
  }
}

TEST(LevelSetup, TutorialBoards) {
  struct Stone {
    int r, c, code;
  };
  const std::vector<Stone> boards[3] = {
      {{0, 4, 1}, {0, 5, 3}, {0, 6, 2}, {0, 7, 3}, {0, 8, 1}, {1, 5, 2}, {1, 6, 1}, {1, 7, 2},
       {1, 8, 2}, {2, 6, 2}, {2, 7, 1}, {2, 8, 2}, {3, 7, 1}, {3, 8, 3}, {4, 8, 3}},
      {{0, 3, 1}, {0, 4, 3}, {0, 5, 5}, {0, 6, 3}, {0, 7, 3}, {0, 8, 4}, {1, 4, 1},
       {1, 5, 5}, {1, 6, 1}, {1, 7, 1}, {1, 8, 2}, {2, 5, 2}, {2, 6, 2}, {2, 7, 4},
       {2, 8, 11}, {3, 6, 1}, {3, 7, 5}, {3, 8, 4}, {4, 7, 3}, {4, 8, 1}, {5, 8, 4}},
      {{0, 2, 4}, {0, 3, 1}, {0, 4, 5}, {0, 5, 5}, {0, 6, 7}, {0, 7, 4}, {0, 8, 2}, {1, 3, 4}, {1, 4, 1}, {1, 5, 3},
       {1, 6, 3}, {1, 7, 7}, {1, 8, 5}, {2, 4, 4}, {2, 5, 2}, {2, 6, 2}, {2, 7, 4}, {2, 8, 1}, {3, 5, 2}, {3, 6, 6},
       {3, 7, 5}, {3, 8, 11}, {4, 6, 3}, {4, 7, 6}, {4, 8, 3}, {5, 7, 6}, {5, 8, 7}, {6, 8, 4}}};
  const uint8_t colours[3] = {3, 5, 7}, speed[3] = {32, 32, 48}, black[3] = {2, 3, 2}, hard[3] = {0, 0, 1};
  zt::LevelRig rig;
  ClassLevel& L = *rig.level;
  rig.player.mode = 5;
  for (int t = 0; t < 3; t++) {
    L.EmptyGrid();
    const uint32_t draws = ClassLevel::randDraws;
    L.CreateRandom(static_cast<uint8_t>(t + 1));
    EXPECT_EQ(ClassLevel::randDraws, draws) << "the tutorial draws nothing";
    uint8_t want[81] = {};
    for (const Stone& s : boards[t]) want[s.r * 9 + s.c] = static_cast<uint8_t>(s.code);
    for (int i = 0; i < 81; i++) EXPECT_EQ(L.grid[i], want[i]) << "board " << t + 1 << " cell " << i;
    EXPECT_EQ(L.colours, colours[t]);
    EXPECT_EQ(L.barSpeed, speed[t]);
    EXPECT_EQ(L.blackPerBar, black[t]);
    EXPECT_EQ(L.hardLevel, hard[t]);
    EXPECT_EQ(L.nuclearThreshold, 0);
    EXPECT_EQ(L.freezeInterval, 0);
  }
  // The tutorial's own fall table: zeros at 0, 2, 3, 5, 7, 8, 9 and 12.
  L.BuildTutorialFallTable();
  const uint8_t want[16] = {0, 1, 0, 0, 1, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1};
  for (int i = 0; i < 16; i++) EXPECT_EQ(L.fallTable[i], want[i]) << i;
}

TEST(LevelSetup, FallTableHasEightOnesAtMostTwoApart) {
  zt::LevelRig rig;
  ClassLevel& L = *rig.level;
  for (uint32_t seed = 1; seed < 500; seed++) {
    std::srand(seed);
    const uint32_t draws = ClassLevel::randDraws;
    L.BuildFallTable();
    EXPECT_EQ(ClassLevel::randDraws - draws, 8u);
    int ones = 0, last = -1;
    EXPECT_EQ(L.fallTable[0], 1);
    for (int i = 0; i < 16; i++) {
      if (!L.fallTable[i]) continue;
      ones++;
      if (last >= 0) {
        EXPECT_LE(i - last, 2);
      }
      last = i;
    }
    EXPECT_EQ(ones, 8);
    EXPECT_LE(last, 14);
  }
}

TEST(LevelSetup, NextStoneRules) {
  zt::LevelRig rig;
  ClassLevel& L = *rig.level;
  rig.player.mode = 0;
  L.EmptyGrid();
  L.nuclearThreshold = 0;
  // Only colours still on the board come; an empty board repeats the last found.
  L.grid[10] = 2;
  L.grid[70] = 0x85;  // a moving stone counts by its colour
  for (int i = 0; i < 300; i++) {
    const uint8_t s = L.GetNextStone();
    EXPECT_TRUE(s == 2 || s == 5 || s == 14) << int(s);
  }
  EXPECT_EQ(rig.player.lastColour, 5);
  L.EmptyGrid();
  for (int i = 0; i < 50; i++) {
    const uint8_t s = L.GetNextStone();
    EXPECT_TRUE(s == 5 || s == 14) << int(s);
  }
  // A break of seven: fire with a chance of 1 in 2, spent by the next stone.
  L.grid[0] = 1;
  int fire = 0, tries = 0;
  for (int i = 0; i < 4000; i++) {
    L.fireChance = 3;
    const uint8_t s = L.GetNextStone();
    if (s == 14) continue;  // a wildcard comes first and leaves the chance
    tries++;
    EXPECT_EQ(L.fireChance, 0);
    if (s == CELL_FIRE) fire++;
  }
  EXPECT_NEAR(static_cast<double>(fire) / tries, 0.5, 0.05);
  L.fireChance = 9;  // more than three counts as three
  std::srand(3);
  int fire9 = 0;
  for (int i = 0; i < 2000; i++) {
    L.fireChance = 9;
    if (L.GetNextStone() == CELL_FIRE) fire9++;
  }
  EXPECT_GT(fire9, 700);
  // The nuclear counter: a nuclear stone once the counter reaches the threshold.
  L.fireChance = 0;
  L.nuclearThreshold = 24;
  L.nuclearCounter = 0;
  int stones = 0, nuclear = 0;
  for (int i = 0; i < 2000; i++, stones++) {
    const uint8_t before = L.nuclearCounter;
    const uint8_t s = L.GetNextStone();
    if (s == CELL_NUCLEAR) {
      nuclear++;
      EXPECT_EQ(L.nuclearCounter, 0);
      EXPECT_GE(before + 4, 24);
    } else {
      EXPECT_LT(L.nuclearCounter, 24);
      EXPECT_GE(L.nuclearCounter, before + 1);
      EXPECT_LE(L.nuclearCounter, before + 4);
    }
  }
  EXPECT_GT(nuclear, 2000 / 24);
}

TEST(LevelSetup, GridGeometry) {
  struct Case {
    int32_t x, y, row, col;
  };
  // Truncation with a one-step correction, not a floor: a numerator of -24 gives -2.
  const Case cases[] = {
      {64, 120, 0, 0},   {52 + 12 * 16 + 12, 108 + 12, 8, 8}, {52 + 96 + 12, 108 - 96 + 12, 8, 0},
      {52 + 96 + 12, 108 + 96 + 12, 0, 8}, {40, 120, -1, 0}, {20, 112, -2, -1}, {56, 124, 0, 0}, {40, 100, 0, -2},
      {100, 100, 2, 1},  {200, 60, 8, 3},  {0, 0, 2, -8},  {52, 0, 5, -6}};
  for (const Case& c : cases) {
    int32_t row, col;
    ClassLevel::GetGridPosition(c.x, c.y, row, col);
    EXPECT_EQ(row, c.row) << c.x << "," << c.y;
    EXPECT_EQ(col, c.col) << c.x << "," << c.y;
  }
}

TEST(LevelSetup, PlayerResets) {
  ClassPlayer p;
  p.score = 5;
  p.level = 7;
  p.mode = 3;
  p.bar = 300;
  p.lastColour = 4;
  p.targetScore = 1;
  p.InitReset();
  EXPECT_EQ(p.score, 0u);
  EXPECT_EQ(p.level, 1);
  EXPECT_EQ(p.mode, 0);
  EXPECT_EQ(p.targetScore, 10000u);
  EXPECT_EQ(p.lastColour, 1);
  // HandleNegBar: clamps, and holds at 0 while nothing is due.
  p.bar = 1500;
  p.blackDue = 1;
  p.barShown = 1000;
  p.HandleNegBar(16);
  EXPECT_EQ(p.bar, 1024);
  EXPECT_EQ(p.barShown, 1016);
  p.HandleNegBar(16);
  EXPECT_EQ(p.barShown, 1024);
  p.bar = 1500;
  p.blackDue = 0;
  p.HandleNegBar(2000);
  EXPECT_EQ(p.bar, 0);
  EXPECT_EQ(p.barShown, 0);
  p.bar = -5;
  p.HandleNegBar(1);
  EXPECT_EQ(p.bar, 0);
}

}  // namespace
