// Rules of the board by tables of cases: links and breaks, every special stone,
// chains, bonuses, gravity edge cases, the pools and attack packages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/level_rig.h"

namespace {

struct Board {
  zt::LevelRig rig;
  ClassLevel& L = *rig.level;
  ClassPlayer& P = rig.player;

  explicit Board(uint8_t mode = 0, uint8_t level = 1, uint8_t filler = CELL_SKULL) {
    rig.StartGame(mode, level, 1);
    std::memset(L.grid, 0, sizeof L.grid);
    std::memset(L.gridState, 0, sizeof L.gridState);
    // The lower half of the diamond full of skull stones: stable, never linking.
    for (int r = 0; r < 9; r++)
      for (int c = r; c < 9; c++) L.grid[r * 9 + c] = filler;
    L.fadePending = 0;
    L.fadeTimer = 0;
    L.settled = 1;
    P.score = 0;
    P.chain = 0;
    P.bar = 0;
  }
  uint8_t& At(int r, int c) { return L.grid[r * 9 + c]; }
  // Runs logic steps (timers, then the phase) until the turn is back with the
  // player; returns the number of steps.
  int RunTurn(int limit = 2000) {
    int steps = 0;
    while (steps < limit) {
      L.HandleIdle(16);
      const uint8_t phase = L.turnPhase;
      if (phase == 1) L.HandleGravity(16);
      else if (phase == 2) L.HandleStoneBreak(16);
      steps++;
      if (phase != 0 && L.turnPhase == 0) break;
      if (phase == 0) break;
    }
    return steps;
  }
  int Active() const {
    int n = 0;
    for (const auto& e : L.entity) n += e.stone != 0;
    return n;
  }
  uint32_t Effect(uint32_t e) const { return rig.sound.sfxPlayed[e]; }
};

TEST(LevelRules, BlackStonesBreakOnlyWithAGroup) {
  // One break step on the lower rows (skulls 'S' fill the lower half); '?' is a
  // stone that has started to break.
  struct Case {
    const char* name;
    std::vector<std::string> before;
    const char* row0;
    const char* row1;
    uint32_t score;
  };
  const Case cases[] = {
      {"three red and a black: nothing breaks", {".....111B"}, "SSSSS111B", "_SSSSSSSS", 0},
      {"four red and a black: all five break, four score", {"....1111B"}, "SSSS?????",
       "_SSSSSSSS", 40},
      {"a black between two small groups waits for a third group",
       {".111B22..", "....3333."}, "S111?22SS", "_SSS????S", 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Board b;
    zt::PlaceRows(b.L, c.before);
    b.L.turnPhase = 2;
    b.L.HandleStoneBreak(16);
    EXPECT_EQ(zt::RowText(b.L, 0), c.row0);
    EXPECT_EQ(zt::RowText(b.L, 1), c.row1);
    EXPECT_EQ(b.P.score, c.score);
  }
  {  // the whole turn of a group with a black stone
    Board b;
    zt::PlaceRows(b.L, {"....1111B"});
    b.L.turnPhase = 2;
    b.L.HandleStoneBreak(16);
    EXPECT_STREQ(b.L.textBuffer, "+40");
    EXPECT_EQ(b.L.scorePopTimer, 384u);
    EXPECT_EQ(b.L.fireChance, 0);
    b.RunTurn();
    // The skulls above fall into the gap; nothing of the group is left.
    for (int c = 4; c <= 8; c++) EXPECT_NE(b.At(0, c), 1);
    EXPECT_NE(b.At(0, 8), CELL_BLACK);
    EXPECT_EQ(b.Effect(12), 1u);
  }
  {  // a lone trio with a black stays through the whole turn
    Board b;
    zt::PlaceRows(b.L, {".....111B"});
    b.L.turnPhase = 2;
    b.RunTurn();
    EXPECT_EQ(zt::RowText(b.L, 0), "SSSSS111B");
    EXPECT_EQ(b.P.score, 0u);
  }
}

TEST(LevelRules, SpecialStonesTable) {
  struct Case {
    const char* name;
    char stone;            // its letter in a board picture
    bool breaksWithGroup;  // next to a breaking group of four
  };
  const Case cases[] = {{"black", 'B', true},     {"fixed", 'F', false}, {"nuclear", 'N', true},
                        {"dormant", 'D', false},  {"skull", 'S', false}, {"biohazard", 'H', false},
                        {"fire", '*', false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Board b;
    zt::PlaceRows(b.L, {std::string("....1111") + c.stone});
    b.L.HandleStoneBreak(16);
    EXPECT_EQ(zt::RowText(b.L, 0), std::string("SSSS????") + (c.breaksWithGroup ? '?' : c.stone));
    // Four of the special stone alone never break.
    Board s;
    const std::string four = std::string(".....") + std::string(4, c.stone);
    zt::PlaceRows(s.L, {four});
    s.L.HandleStoneBreak(16);
    EXPECT_EQ(zt::RowText(s.L, 0), std::string("SSSSS") + std::string(4, c.stone));
    EXPECT_EQ(s.P.score, 0u);
  }
}

TEST(LevelRules, NuclearExplosionClearsItsNeighbours) {
  Board b(0, 2);
  b.At(0, 4) = 1, b.At(0, 5) = 1, b.At(0, 6) = 1, b.At(0, 7) = 1;
  b.At(1, 5) = CELL_NUCLEAR;  // touches (0, 5)
  b.At(2, 5) = CELL_NUCLEAR;  // set off by the first explosion
  b.L.turnPhase = 2;
  b.L.HandleStoneBreak(16);
  EXPECT_EQ(b.P.score, 2u * 10 * 4);  // level 2: 20 a stone, the nuclear stone not counted
  EXPECT_GE(b.At(1, 5), 128);
  bool exploded = false, second = false;
  for (int step = 0; step < 400 && !(exploded && second); step++) {
    b.L.HandleIdle(16);
    if (b.L.turnPhase == 2) b.L.HandleStoneBreak(16);
    else if (b.L.turnPhase == 1) b.L.HandleGravity(16);
    else break;
    if (b.At(1, 5) == CELL_EXPLODED) exploded = true;
    if (b.At(2, 5) == CELL_EXPLODED) second = true;
  }
  EXPECT_TRUE(exploded);
  EXPECT_TRUE(second) << "an explosion sets off a nuclear neighbour";
  b.RunTurn();
  b.RunTurn();
  EXPECT_EQ(b.Effect(3), 2u);
  // The second nuclear stone scored 10 (5 a level), every skull the explosions
  // took 50 (5 + 20 a level).
  EXPECT_EQ((b.P.score - 80 - 10) % 50, 0u);
  EXPECT_GT(b.P.score, 90u);
}

TEST(LevelRules, ExplosionNeighboursByRowAndColumn) {
  // An explosion at (r + 1, 0) must not touch (r, 8), the cell beside it in memory.
  Board b;
  std::memset(b.L.grid, 0, sizeof b.L.grid);
  b.At(0, 8) = CELL_SKULL;
  b.At(1, 0) = CELL_EXPLODED;
  b.L.turnPhase = 1;
  b.L.settled = 0;
  b.L.HandleGravity(16);
  EXPECT_EQ(b.At(0, 8), CELL_SKULL);
  b.At(1, 0) = 0;
  b.At(0, 7) = CELL_EXPLODED;
  b.L.HandleGravity(16);
  EXPECT_GE(b.At(0, 8), 128) << "an explosion at (0, 7) sets off (0, 8)";
  EXPECT_EQ(b.P.score, 25u);
}

TEST(LevelRules, FireRunsDownTheMiddle) {
  Board b(0, 1);
  b.L.curStone = CELL_FIRE;
  b.L.turnPhase = 0;
  b.L.dropPos = 8;
  b.L.eventQueue[0] = E_INPUTEVENT{0, 0, EIT_DOWN, 0};
  b.L.eventCount = 1;
  b.L.HandlePlayer(16);
  EXPECT_EQ(b.L.turnPhase, 1);
  EXPECT_EQ(b.At(8, 0), 0) << "a fire stone does not occupy its drop cell";
  EXPECT_EQ(b.Effect(5), 1u);
  bool burnt[81] = {};
  int steps = 0;
  while (steps < 400) {
    b.L.HandleIdle(16);
    b.L.HandleGravity(16);
    steps++;
    bool fire = false;
    for (const auto& e : b.L.entity) {
      fire |= e.stone != 0 && e.kind == ENT_FIRE;
      if (e.stone != 0 && e.kind == ENT_BREAK) burnt[e.srcRow * 9 + e.srcCol] = true;
    }
    if (!fire) break;
  }
  // The run passes the middle line to the bottom corner and burns the cells beside
  // it: (4,4), (3,5), (2,6), (1,7), (0,8) and the lower-half cells next to them.
  const int want[] = {4 * 9 + 4, 3 * 9 + 5, 2 * 9 + 6, 1 * 9 + 7, 0 * 9 + 8, 1 * 9 + 8, 0 * 9 + 7,
                      2 * 9 + 7, 1 * 9 + 6, 3 * 9 + 6, 2 * 9 + 5, 4 * 9 + 5, 3 * 9 + 4};
  int count = 0;
  for (int i = 0; i < 81; i++) count += burnt[i];
  for (int i : want) EXPECT_TRUE(burnt[i]) << i;
  EXPECT_EQ(count, 13);
  EXPECT_EQ(b.P.score, 25u * 13);  // skulls: 5 + 20 each on level 1
  EXPECT_EQ(b.At(0, 0), CELL_SKULL);
  EXPECT_EQ(b.At(0, 3), CELL_SKULL);
  b.RunTurn();
  EXPECT_EQ(b.L.turnPhase, 0);
}

TEST(LevelRules, WildcardTakesANeighbourColour) {
  struct Case {
    uint8_t up, left, down, right;  // (r-1,c), (r,c-1), (r+1,c), (r,c+1); 0 = skull
    uint8_t table;                  // fallTable entry used
    uint8_t colour;                 // 0: none, state 30
    uint8_t counterSteps;
  };
  const Case cases[] = {
      {2, 0, 0, 0, 0, 2, 0},  // the cell below-left is taken without the table
      {0, 3, 0, 0, 0, 3, 1},  // the first colour found counts once
      {2, 3, 0, 0, 0, 2, 0},  // a later neighbour with a 0 entry is not taken
      {2, 3, 0, 0, 1, 3, 1},  // ... with a 1 entry it is, and the counter moves
      {0, 3, 5, 6, 1, 6, 3},
      {0, 0, 0, 0, 1, 0, 0},  // no colour neighbour: state 30, no change
  };
  for (const Case& c : cases) {
    Board b;
    const int r = 3, col = 5;
    b.At(r, col) = CELL_WILDCARD;
    if (c.up) b.At(r - 1, col) = c.up;
    if (c.left) b.At(r, col - 1) = c.left;
    if (c.down) b.At(r + 1, col) = c.down;
    if (c.right) b.At(r, col + 1) = c.right;
    std::memset(b.L.fallTable, c.table, sizeof b.L.fallTable);
    b.L.fallCounter = 0;
    b.L.turnPhase = 2;
    b.L.HandleStoneBreak(16);
    SCOPED_TRACE(testing::Message() << int(c.up) << int(c.left) << int(c.down) << int(c.right));
    EXPECT_EQ(b.L.fallCounter, c.counterSteps);
    if (c.colour == 0) {
      EXPECT_EQ(b.At(r, col), CELL_WILDCARD);
      EXPECT_EQ(b.L.gridState[r * 9 + col], 30);
      continue;
    }
    EXPECT_EQ(b.At(r, col), CELL_WILD_TAKING);
    EXPECT_EQ(b.L.gridState[r * 9 + col], c.colour);
    EXPECT_EQ(b.L.turnPhase, 1);
    EXPECT_EQ(b.L.fadeTimer, 255u);
    // The colour shows when the fade ends in the player's phase.
    b.RunTurn();
    EXPECT_EQ(b.L.turnPhase, 0);
    b.L.HandlePlayer(255);
    EXPECT_EQ(b.At(r, col), c.colour);
    EXPECT_EQ(b.L.turnPhase, 1);
  }
}

TEST(LevelRules, FrozenStoneThawsAfterFourCountdowns) {
  Board b;
  b.At(2, 5) = CELL_FIXED;
  b.L.gridState[2 * 9 + 5] = 0x40 + 3;
  std::memset(b.L.grid, 0, 2 * 9);  // empty rows 0 and 1: the frozen stone must not fall
  int turns = 0;
  while (b.At(2, 5) == CELL_FIXED && turns < 10) {
    b.L.turnPhase = 1;
    b.L.settled = 1;
    b.RunTurn();
    if (b.L.fadeTimer) b.L.HandlePlayer(255);
    turns++;
  }
  EXPECT_EQ(turns, 4);
  EXPECT_EQ(b.At(2, 5), 3);
}

TEST(LevelRules, DormantAndActiveBiohazard) {
  {  // dormant becomes active at the next settled turn, outside the puzzle game
    Board b;
    b.At(0, 8) = CELL_DORMANT;
    b.L.turnPhase = 1;
    b.RunTurn();
    EXPECT_EQ(b.At(0, 8), CELL_BIOHAZARD);
    // 56, and the same turn's countdown (an even pass) takes 16 off.
    EXPECT_EQ(b.L.gridState[8], 40);
    Board p(3);
    p.At(0, 8) = CELL_DORMANT;
    for (int t = 0; t < 4; t++) {
      p.L.turnPhase = 1;
      p.RunTurn();
    }
    EXPECT_EQ(p.At(0, 8), CELL_DORMANT) << "the puzzle game never activates it";
  }
  {  // an active biohazard infects on even passes only, at most one stone a turn
    int infectedOdd = 0, infectedTotal = 0, multi = 0;
    for (uint32_t seed = 1; seed <= 60; seed++) {
      Board b;
      std::srand(seed);
      b.At(2, 5) = CELL_BIOHAZARD;
      b.L.gridState[2 * 9 + 5] = 56;
      b.At(1, 5) = 1, b.At(2, 4) = 2, b.At(3, 5) = 3, b.At(2, 6) = 1;
      b.P.passes = static_cast<uint8_t>(seed & 1);
      const uint8_t passesBefore = b.P.passes;
      b.L.turnPhase = 1;
      b.RunTurn();
      int infected = 0;
      for (int i = 0; i < 81; i++) infected += b.L.grid[i] == CELL_BIOHAZARD && i != 2 * 9 + 5;
      if (infected && (passesBefore + 1) % 2 == 1) infectedOdd++;
      infectedTotal += infected;
      if (infected > 1) multi++;
      if (infected) {
        EXPECT_EQ(b.L.gridState[2 * 9 + 5] & 0xF, 8);
      }
    }
    EXPECT_EQ(infectedOdd, 0);
    EXPECT_EQ(multi, 0);
    EXPECT_GT(infectedTotal, 5);
  }
  {  // the countdown turns it black
    Board b;
    b.At(0, 8) = CELL_BIOHAZARD;
    b.L.gridState[8] = 56;
    int turns = 0;
    while (b.At(0, 8) == CELL_BIOHAZARD && turns < 20) {
      b.L.turnPhase = 1;
      b.L.settled = 1;
      b.RunTurn();
      if (b.L.fadeTimer) b.L.HandlePlayer(255);
      turns++;
    }
    EXPECT_EQ(b.At(0, 8), CELL_BLACK);
    EXPECT_EQ(turns, 5);  // 56 counts down by 16 on the even passes 0, 2 and 4
  }
}

TEST(LevelRules, ChainsAreCappedAtFour) {
  Board b(0, 3);
  const char* texts[] = {"+120", "2x120", "3x120", "4x120", "4x120"};
  const uint32_t gains[] = {120, 240, 360, 480, 480};
  const uint32_t sounds[] = {12, 13, 14, 15, 15};
  for (int wave = 0; wave < 5; wave++) {
    for (int c = 5; c <= 8; c++) b.At(0, c) = static_cast<uint8_t>(1 + wave % 2);
    const uint32_t before = b.P.score;
    const uint32_t effect = b.Effect(sounds[wave]);
    b.L.turnPhase = 2;
    b.L.HandleStoneBreak(16);
    SCOPED_TRACE(wave);
    EXPECT_EQ(b.P.score - before, gains[wave]);
    EXPECT_STREQ(b.L.textBuffer, texts[wave]);
    EXPECT_EQ(b.P.chain, wave < 4 ? wave + 1 : 4);
    EXPECT_EQ(b.Effect(sounds[wave]), effect + 1);
    while (b.L.turnPhase == 2) b.L.HandleStoneBreak(16);
    for (int c = 5; c <= 8; c++) b.At(0, c) = CELL_SKULL;
  }
}

TEST(LevelRules, BonusForExactlyTheSecondGroup) {
  struct Case {
    uint8_t mode;
    int groups;
    uint32_t score;
    int32_t bar;
    int32_t barBefore;
  };
  // Level 1: 10 a stone, groups of four.
  const Case cases[] = {{0, 1, 40, 700, 700},     {0, 2, 80 + 1000, 188, 700},
                        {0, 3, 120 + 1000, 188, 700}, {3, 2, 80, 700, 700},
                        {1, 2, 80 + 1000, 700 - 512 - 200, 700}, {0, 2, 1080, 0, 300}};
  // Groups of four stacked on the lower rows: rows 0, 2, 4, columns 5 to 8.
  const std::vector<std::string> groups = {".....1111", "", ".....2222", "", ".....3333"};
  for (const Case& c : cases) {
    Board b(c.mode);
    b.P.bar = c.barBefore;
    zt::PlaceRows(b.L, {groups.begin(), groups.begin() + (2 * c.groups - 1)});
    b.L.turnPhase = 2;
    b.L.HandleStoneBreak(16);
    SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << " groups " << c.groups);
    EXPECT_EQ(b.P.score, c.score);
    EXPECT_EQ(b.P.bar, c.bar < 0 ? 0 : c.bar);
    EXPECT_EQ(b.L.bonusPopTimer, c.groups >= 2 && c.mode != 3 ? 768u : 0u);
  }
}

TEST(LevelRules, PointsPerStoneStopAtLevelTen) {
  for (uint8_t level : {1, 9, 10, 12, 40}) {
    Board b(0, level);
    b.P.level = level;
    for (int c = 4; c <= 8; c++) b.At(0, c) = 2;
    b.L.HandleStoneBreak(16);
    EXPECT_EQ(b.P.score, 5u * (level < 10 ? 10u * level : 100u)) << int(level);
    EXPECT_EQ(b.L.fireChance, 1);
  }
}

TEST(LevelRules, GravityDirections) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> stones;  // skull supports
    int r, c;                                 // the stone that moves
    uint8_t table;
    int kind;  // 0: stays
  };
  const Case cases[] = {
      {"row 0 only down-right", {}, 0, 3, 0, 2},
      {"column 8 only down-left", {}, 4, 8, 1, 1},
      {"bottom corner never moves", {}, 0, 8, 0, 0},
      {"straight down when free", {}, 4, 4, 0, 3},
      {"both diagonals, table 0", {{3, 5}}, 4, 4, 0, 1},
      {"both diagonals, table 1", {{3, 5}}, 4, 4, 1, 2},
      {"only down-left free", {{3, 5}, {4, 5}}, 4, 4, 1, 1},
      {"held", {{3, 5}, {4, 5}, {3, 4}}, 4, 4, 1, 0},
  };
  for (const Case& c : cases) {
    Board b;
    std::memset(b.L.grid, 0, sizeof b.L.grid);
    for (auto s : c.stones) b.At(s.first, s.second) = CELL_FIXED;
    b.At(c.r, c.c) = 4;
    std::memset(b.L.fallTable, c.table, 16);
    b.L.fallCounter = 0;
    b.L.turnPhase = 1;
    b.L.settled = 0;
    b.L.HandleGravity(16);
    SCOPED_TRACE(c.name);
    int kind = 0;
    for (const auto& e : b.L.entity)
      if (e.stone == 4) kind = e.kind;
    EXPECT_EQ(kind, c.kind);
    if (kind) {
      EXPECT_EQ(b.At(c.r, c.c), 192 + kind);
    }
    EXPECT_EQ(b.L.fallCounter, std::string(c.name).find("both") == 0 ? 1 : 0);
  }
  {  // straight down even when one diagonal is a stone leaving straight down
    Board b;
    std::memset(b.L.grid, 0, sizeof b.L.grid);
    b.At(3, 3) = 5;  // leaves straight down first: (3, 3) becomes 195
    b.At(3, 5) = CELL_FIXED;
    b.At(2, 5) = CELL_FIXED;
    b.At(2, 4) = 0;
    b.At(4, 3) = 6;  // e: (3, 3) = 195 -> 1; f: (4, 4) empty -> 2; (3, 4) empty
    b.L.HandleGravity(16);
    int kind = 0;
    for (const auto& e : b.L.entity)
      if (e.stone == 6) kind = e.kind;
    EXPECT_EQ(kind, 3);
  }
  {  // a fixed block stays while the others fall; a fall lasts 112 ms
    Board b;
    std::memset(b.L.grid, 0, sizeof b.L.grid);
    b.At(4, 4) = CELL_FIXED;
    b.At(5, 5) = 2;
    b.L.HandleGravity(16);
    EXPECT_EQ(b.At(4, 4), CELL_FIXED);
    int steps = 1;
    while (b.At(4, 6) != 2 && steps < 20) {
      b.L.HandleGravity(16);
      steps++;
    }
    EXPECT_EQ(steps, 7);
  }
}

TEST(LevelRules, FullEntityPoolHoldsFallsAndBreaksAtOnce) {
  Board b;
  std::memset(b.L.grid, 0, sizeof b.L.grid);
  b.At(5, 5) = 3;
  for (auto& e : b.L.entity) {
    e.stone = 1;
    e.kind = ENT_SPIN;
    e.srcRow = 8;
    e.srcCol = 8;
  }
  EXPECT_EQ(b.L.FreeQEntity(), 128u);
  b.L.HandleGravity(16);
  EXPECT_EQ(b.At(5, 5), 3) << "no entity: the stone falls later";
  // A breaking group with no entity is removed at once.
  for (int c = 5; c <= 8; c++) b.At(0, c) = 1;
  b.L.HandleStoneBreak(16);
  for (int c = 5; c <= 8; c++) EXPECT_EQ(b.At(0, c), 0);
  EXPECT_EQ(b.P.score, 40u);
  // Fade-ins of a new level are skipped: the stones are simply there.
  b.P.mode = 0;
  b.L.StoneFadeIn();
  EXPECT_EQ(b.At(5, 5), 3);
  b.L.StoneRotate();
  EXPECT_EQ(b.At(5, 5), 3);
  // Fire and explosions burn without an entity: the cell is emptied at once.
  b.At(2, 2) = 0;
  b.At(1, 4) = CELL_SKULL;
  b.At(1, 5) = CELL_EXPLODED;
  b.P.score = 0;
  b.L.HandleGravity(16);
  EXPECT_EQ(b.At(1, 4), 0);
  EXPECT_EQ(b.P.score, 25u);
  // A fire stone dropped with no entity free burns nothing; the drop still ends the aim.
  b.At(1, 5) = 0;
  b.L.turnPhase = 0;
  b.L.curStone = CELL_FIRE;
  b.L.dropPos = 8;
  b.L.eventQueue[0] = E_INPUTEVENT{0, 0, EIT_DOWN, 0};
  b.L.eventCount = 1;
  b.L.HandlePlayer(16);
  EXPECT_EQ(b.L.turnPhase, 1);
  EXPECT_EQ(b.L.curStone, 0);
  EXPECT_EQ(b.At(8, 0), 0);
  // Idle spins are skipped.
  b.L.turnPhase = 0;
  b.L.idleTimer = 9999;
  b.L.HandlePlayer(16);
  EXPECT_EQ(b.At(5, 5), 3);
  // The board clear with the pool full of clear entities empties the cells at once.
  for (auto& e : b.L.entity) e.kind = ENT_CLEAR;
  std::memset(b.L.grid, 0, sizeof b.L.grid);
  b.At(2, 5) = 4;
  b.At(0, 8) = 2;
  b.L.StoneDestroy();
  EXPECT_EQ(b.At(2, 5), 0);
  EXPECT_EQ(b.At(0, 8), 0);
  // Freed again, the stone falls.
  std::memset(b.L.grid, 0, sizeof b.L.grid);
  b.At(5, 5) = 3;
  for (auto& e : b.L.entity) e.stone = 0;
  b.L.HandleGravity(16);
  EXPECT_GE(b.At(4, 5) | b.At(5, 6) | b.At(4, 6), 128);
}

TEST(LevelRules, FullParticlePool) {
  Board b(4);
  b.P.kind = 0;
  for (auto& p : b.L.particle) p.kind = PART_FLASH;
  EXPECT_EQ(b.L.FreePEntity(), 128u);
  // Breaks still clear their cells; only the debris is missing.
  for (int c = 5; c <= 8; c++) b.At(0, c) = 1;
  b.L.attackRotation[0] = 1;
  b.L.rotationIndex = 0;
  b.L.turnPhase = 2;
  b.L.HandleStoneBreak(16);
  // The package is delivered at once to the computer seat the rotation names.
  EXPECT_NE(b.L.cpuPlayer[1].cpuQueue[0][0], 0);
  EXPECT_EQ(b.L.cpuPlayer[1].cpuQueue[0][1], 0);
  EXPECT_EQ(b.L.rotationIndex, 1);
  while (b.L.turnPhase == 2) b.L.HandleStoneBreak(16);
  for (int c = 5; c <= 8; c++) EXPECT_EQ(b.At(0, c), 0);
  // An incoming package without a particle goes straight into the own queue.
  b.L.ReceiveStones(0, 2, 0);
  EXPECT_EQ(b.L.vsQueue[0][0], CELL_BLACK);
  EXPECT_EQ(b.L.vsQueue[0][1], CELL_BLACK);
  EXPECT_EQ(b.P.blackDue, 2);
  // Fire sparks and explosion flashes are skipped too.
  b.L.StoneDestroy();
}

TEST(LevelRules, AttackPackages) {
  struct Case {
    uint32_t group, kind, count;
  };
  // A group of 4 sends one stone, 5 two, 6 or more three; fewer than 4 nothing,
  // except the bonus (kind 3, count 1).
  const Case cases[] = {{4, 0, 1}, {5, 0, 2}, {6, 1, 3}, {12, 2, 3}, {3, 0, 0}, {1, 3, 1}};
  for (const Case& c : cases) {
    Board b(4);
    b.P.kind = 0;
    b.L.ResetCoPlayers();
    std::memset(b.L.attackRotation, 0, 16);
    std::memset(b.L.particle, 0, sizeof b.L.particle);
    b.L.NetSendStones(c.group, c.kind);
    uint32_t k = 0;
    while (k < 128 && b.L.particle[k].kind != PART_PACKAGE) k++;
    SCOPED_TRACE(testing::Message() << c.group << "/" << c.kind);
    if (c.count == 0) {
      EXPECT_EQ(k, 128u);
      continue;
    }
    ASSERT_LT(k, 128u);
    EXPECT_EQ(b.L.particle[k].count, static_cast<int32_t>(c.count));
    EXPECT_EQ(b.L.particle[k].attackKind, static_cast<int32_t>(c.kind));
    EXPECT_EQ(b.L.particle[k].target, 0);
    // It flies to seat 0's panel and lands in that computer player's queue.
    for (int f = 0; f < 400 && b.L.particle[k].kind == PART_PACKAGE; f++) b.L.HandleParticles(16);
    EXPECT_NE(b.L.particle[k].kind, PART_PACKAGE);
    const uint8_t* pkg = b.L.cpuPlayer[0].cpuQueue[0];
    const uint32_t stones = pkg[2] ? 3 : pkg[1] ? 2 : pkg[0] ? 1 : 0;
    if (c.kind == 3) {
      EXPECT_TRUE(stones == 3 || (stones == 1 && pkg[0] == CELL_DORMANT));
    } else {
      EXPECT_EQ(stones, c.count);
    }
  }
}

TEST(LevelRules, IncomingQueue) {
  Board b(4);
  // Package contents by kind.
  for (uint32_t seed = 1; seed < 200; seed++) {
    std::srand(seed);
    std::memset(b.L.vsQueue, 0, sizeof b.L.vsQueue);
    b.L.AddVsQueue(3, 2);
    for (int i = 0; i < 3; i++) {
      const uint8_t s = b.L.vsQueue[0][i];
      EXPECT_TRUE(s == CELL_SKULL || s == CELL_BLACK || (s >= 1 && s <= b.L.colours)) << int(s);
    }
    std::memset(b.L.vsQueue, 0, sizeof b.L.vsQueue);
    b.L.AddVsQueue(1, 3);
    const uint8_t* p = b.L.vsQueue[0];
    EXPECT_TRUE((p[0] == CELL_DORMANT && p[1] == 0) ||
                (p[0] == CELL_SKULL && p[1] == CELL_SKULL && p[2] == CELL_SKULL));
  }
  std::memset(b.L.vsQueue, 0, sizeof b.L.vsQueue);
  b.L.AddVsQueue(7, 0);
  EXPECT_EQ(b.P.blackDue, 3);
  EXPECT_EQ(b.L.vsQueue[0][2], CELL_BLACK);
  b.L.AddVsQueue(2, 9);  // unknown kind: the package stays free
  EXPECT_EQ(b.L.vsQueue[1][0], 0);
  for (int i = 0; i < 7; i++) b.L.AddVsQueue(1, 0);
  EXPECT_NE(b.L.vsQueue[7][0], 0);
  const uint32_t draws = ClassLevel::randDraws;
  b.L.AddVsQueue(3, 1);  // a ninth package is lost
  EXPECT_EQ(ClassLevel::randDraws, draws);
  for (int i = 0; i < 8; i++) EXPECT_EQ(b.L.vsQueue[i][1], i == 0 ? CELL_BLACK : 0) << i;
  EXPECT_EQ(b.P.blackDue, 3);
  // The refill moves the queue up when the bar is empty.
  b.P.bar = 0;
  b.P.blackDue = 0;
  b.L.HandleIdle(16);
  EXPECT_EQ(b.P.blackDue, 1);
  EXPECT_EQ(b.L.vsQueue[0][1], 0);
  EXPECT_EQ(b.L.vsQueue[7][0], 0);
}

TEST(LevelRules, WaitingPackageFliesToTheOwnQueue) {
  Board b(4);
  b.L.ReceiveStones(2, 2, 0);
  uint32_t frames = 0;
  while (b.L.vsQueue[0][0] == 0 && frames < 1000) {
    b.L.HandleParticles(16);
    frames++;
  }
  EXPECT_GT(frames, 512u / 16);
  EXPECT_EQ(b.L.vsQueue[0][0], CELL_BLACK);
  EXPECT_EQ(b.L.vsQueue[0][1], CELL_BLACK);
}

}  // namespace

namespace {

TEST(LevelRules, FlightWithoutRoomForTrailSparks) {
  Board b(4);
  b.P.kind = 0;
  b.L.ResetCoPlayers();
  std::memset(b.L.attackRotation, 2, 16);
  b.L.NetSendStones(5, 0);
  uint32_t k = 0;
  while (k < 128 && b.L.particle[k].kind != PART_PACKAGE) k++;
  ASSERT_LT(k, 128u);
  EXPECT_EQ(b.L.particle[k].target, 2);
  EXPECT_EQ(b.L.particle[k].angle, 0xC000u - 2048 * 2);
  for (auto& p : b.L.particle)
    if (p.kind == 0) p.kind = 7;  // taken by something that never ends
  EXPECT_EQ(b.L.FreePEntity(), 128u);
  for (int f = 0; f < 400 && b.L.particle[k].kind == PART_PACKAGE; f++) b.L.HandleParticles(33);
  EXPECT_EQ(b.L.particle[k].kind, 0) << "landed";
  EXPECT_EQ(b.L.cpuPlayer[2].cpuQueue[0][0], CELL_BLACK);
  EXPECT_EQ(b.L.cpuPlayer[2].cpuQueue[0][1], CELL_BLACK);
  EXPECT_EQ(b.L.cpuPlayer[2].cpuQueue[0][2], 0);
  for (const auto& p : b.L.particle) EXPECT_NE(p.kind, PART_TRAIL);
}

}  // namespace
