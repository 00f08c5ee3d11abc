// The player's phase through real input (keys, wheel, stylus) and the level
// timers: aiming, drops, the red bar, level ends and the bar growth by time.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/level_rig.h"

namespace {

// A started game waiting for the player.
struct Play {
  zt::LevelRig rig;
  ClassLevel& L = *rig.level;
  ClassPlayer& P = rig.player;
  explicit Play(uint8_t mode = 0, uint8_t level = 1, uint32_t seed = 3) {
    rig.StartGame(mode, level, seed);
    for (int i = 0; i < 200 && !(L.turnPhase == 0 && L.curStone != 0); i++) rig.Frame(16);
  }
  void Tap(uint32_t key) {
    rig.Press(key);
    rig.Frame(16);
    rig.Release(key);
    rig.Frame(16);
  }
  uint32_t Sfx(uint32_t e) const { return rig.sound.sfxPlayed[e]; }
  static int DropCell(int p) { return p < 8 ? p * 9 : 72 + p - 8; }
};

TEST(LevelPlay, AimingByKeys) {
  Play p;
  ASSERT_EQ(p.L.turnPhase, 0);
  EXPECT_EQ(p.L.dropPos, 8);
  // A press moves one position at once.
  const uint32_t s6 = p.Sfx(6);
  p.Tap(zt::kKeyRight);
  EXPECT_EQ(p.L.dropPos, 9);
  EXPECT_EQ(p.Sfx(6), s6 + 1);
  // Holding adds one more for every 128 ms: one second of holding adds seven.
  p.rig.Press(zt::kKeyLeft);
  for (int i = 0; i < 62; i++) p.rig.Frame(16);
  p.rig.Frame(8);
  p.rig.Release(zt::kKeyLeft);
  p.rig.Frame(16);
  EXPECT_EQ(p.L.dropPos, 9 - 1 - 7);
  // At the ends nothing moves and nothing sounds.
  p.L.dropPos = 0;
  const uint32_t before = p.Sfx(6);
  p.rig.Press(zt::kKeyLeft);
  for (int i = 0; i < 30; i++) p.rig.Frame(16);
  p.rig.Release(zt::kKeyLeft);
  p.rig.Frame(16);
  EXPECT_EQ(p.L.dropPos, 0);
  EXPECT_EQ(p.Sfx(6), before);
  p.L.dropPos = 16;
  p.rig.Press(zt::kKeyRight);
  for (int i = 0; i < 30; i++) p.rig.Frame(16);
  p.rig.Release(zt::kKeyRight);
  p.rig.Frame(16);
  EXPECT_EQ(p.L.dropPos, 16);
  EXPECT_EQ(p.Sfx(6), before);
}

TEST(LevelPlay, AimingByWheel) {
  Play p;
  for (int i = 0; i < 3; i++) p.rig.input.OnWheelScroll(-1);
  p.rig.Frame(16);
  EXPECT_EQ(p.L.dropPos, 5);
  EXPECT_EQ(p.L.wheelAccu, 0);
  p.L.wheelAccu = 40;
  p.L.HandlePlayer(16);
  EXPECT_EQ(p.L.dropPos, 16);
  EXPECT_EQ(p.L.wheelAccu, 0);
}

TEST(LevelPlay, AimingAndDroppingByStylus) {
  struct Case {
    int32_t x, y;
    int pos;  // -1: outside, no move
  };
  // Any cell on a vertical line of the diamond aims at that line's drop position.
  const Case cases[] = {{64, 120, 0},  {64 + 12, 120 + 12, 1}, {64 + 96, 120, 8}, {64 + 96, 120 + 96, 8},
                        {64 + 96, 120 - 96, 8}, {64 + 192, 120, 16}, {30, 120, -1}, {160, 235, -1}};
  for (const Case& c : cases) {
    Play p;
    p.L.dropPos = 3;
    p.rig.settings.bytes[800] = 2;  // "Tap Release": a press only aims
    if (c.pos >= 0) p.L.grid[Play::DropCell(c.pos)] = 0;
    p.rig.input.OnClickDown(c.x, c.y, 0);
    p.rig.Frame(16);
    EXPECT_EQ(p.L.dropPos, c.pos < 0 ? 3 : c.pos) << c.x << "," << c.y;
    EXPECT_EQ(p.L.turnPhase, 0);
    p.rig.input.OnClickUp(c.x, c.y, 0);
    p.rig.Frame(16);
    EXPECT_EQ(p.L.turnPhase, c.pos < 0 ? 0 : 1) << "released inside the grid: dropped";
  }
  // Single tap drops on the press.
  Play p;
  p.rig.input.OnClickDown(64 + 96, 120, 0);
  p.rig.Frame(16);
  EXPECT_EQ(p.L.turnPhase, 1);
  EXPECT_NE(p.L.grid[72], 0);
}

TEST(LevelPlay, DropsToggleAndTheBar) {
  Play p;
  const uint8_t stone = p.L.curStone;
  const uint8_t next0 = p.L.nextStone[0], next1 = p.L.nextStone[1];
  p.Tap(zt::kKeyToggle);
  EXPECT_EQ(p.L.nextStone[0], next1);
  EXPECT_EQ(p.L.nextStone[1], next0);
  EXPECT_EQ(p.P.bar, 128);
  EXPECT_EQ(p.Sfx(1), 1u);
  p.rig.Press(zt::kKeyDrop);
  p.rig.Frame(16);
  p.rig.Release(zt::kKeyDrop);
  EXPECT_EQ(p.L.turnPhase, 1);
  EXPECT_EQ(p.P.bar, 128 + 32);
  EXPECT_EQ(p.L.curStone, 0);
  EXPECT_EQ(p.Sfx(2), 1u);
  (void)stone;
  // The bar does not rise while the stones fall.
  for (int i = 0; i < 30 && p.L.turnPhase != 0; i++) {
    p.rig.Frame(16);
    EXPECT_EQ(p.P.bar, 160);
  }
  // A drop on an occupied cell is refused and keeps the stone.
  for (int i = 0; i < 400 && p.L.turnPhase != 0; i++) p.rig.Frame(16);
  p.rig.Frame(16);
  ASSERT_EQ(p.L.turnPhase, 0);
  p.L.grid[Play::DropCell(p.L.dropPos)] = CELL_FIXED;
  const uint8_t held = p.L.curStone;
  p.Tap(zt::kKeyDrop);
  EXPECT_EQ(p.L.turnPhase, 0);
  EXPECT_EQ(p.L.curStone, held);
  EXPECT_EQ(p.Sfx(11), 1u);
}

TEST(LevelPlay, FullBarBringsBlackStonesToFreeDropCells) {
  struct Case {
    int freeCells;
    uint8_t due, hard, kind;
    int placed, dueAfter;
    bool reset;
  };
  const Case cases[] = {{17, 5, 0, 0, 5, 0, true}, {3, 5, 0, 0, 3, 2, false}, {3, 5, 1, 0, 3, 2, false},
                        {0, 2, 0, 0, 0, 2, false}, {2, 4, 0, 4, 2, 0, false}};
  for (const Case& c : cases) {
    Play p;
    std::memset(p.L.grid, 0, 81);
    p.L.grid[8] = CELL_SKULL;  // not an empty board
    // Fill the drop cells that must not be free with fixed blocks.
    for (int pos = c.freeCells; pos < 17; pos++) p.L.grid[Play::DropCell(pos)] = CELL_FIXED;
    p.L.hardLevel = c.hard;
    p.P.kind = c.kind;
    p.P.bar = p.P.barShown = 1024;
    p.P.blackDue = c.due;
    p.L.settled = 1;
    p.L.HandlePlayer(16);
    int placed = 0;
    for (int pos = 0; pos < 17; pos++) {
      const uint8_t g = p.L.grid[Play::DropCell(pos)];
      if (g == CELL_BLACK || g == CELL_SKULL) {
        placed++;
        EXPECT_EQ(g, c.hard ? CELL_SKULL : CELL_BLACK);
      }
    }
    SCOPED_TRACE(testing::Message() << c.freeCells << " free, " << int(c.due) << " due");
    EXPECT_EQ(placed, c.placed);
    EXPECT_EQ(p.P.blackDue, c.dueAfter);
    EXPECT_EQ(p.P.bar, c.reset ? 0 : 1024);
    EXPECT_EQ(p.L.turnPhase, 1);
    EXPECT_EQ(p.Sfx(4), 1u);
  }
  // Outside the timed game the full bar waits for a settled turn.
  Play q;
  q.P.bar = q.P.barShown = 1024;
  q.P.blackDue = 1;
  q.L.settled = 0;
  q.L.HandlePlayer(16);
  EXPECT_EQ(q.L.turnPhase, 0);
  EXPECT_EQ(q.P.blackDue, 1);
}

TEST(LevelPlay, ClearedBoardRaisesTheLevel) {
  struct Case {
    uint8_t from, colours;
  };
  const Case cases[] = {{1, 4}, {3, 5}, {6, 6}, {10, 7}, {99, 7}};
  for (const Case& c : cases) {
    Play p(0, c.from);
    std::memset(p.L.grid, 0, 81);
    p.P.score = 77;
    p.P.bar = 300;
    p.L.curStone = 3;
    p.L.HandlePlayer(16);
    EXPECT_EQ(p.P.level, c.from < 99 ? c.from + 1 : 99);
    EXPECT_EQ(p.L.colours, c.colours);
    EXPECT_EQ(p.L.turnPhase, 1);
    EXPECT_EQ(p.P.bar, 0);
    EXPECT_EQ(p.P.score, 77u);
    EXPECT_EQ(p.L.curStone, 0);
    EXPECT_EQ(p.L.dropPos, 8);
    EXPECT_EQ(p.Sfx(7), 1u);
    EXPECT_EQ(p.rig.data.zerodelta, 1);
    // Every stone of the new board fades in.
    int stones = 0, fading = 0;
    for (int i = 0; i < 81; i++) stones += p.L.grid[i] != 0;
    for (const auto& e : p.L.entity) fading += e.stone != 0 && e.kind == ENT_FADEIN;
    EXPECT_EQ(stones, 45);
    EXPECT_EQ(fading, 45);
  }
}

TEST(LevelPlay, FullBoards) {
  {  // standard game: game over
    Play p;
    std::memset(p.L.grid, 4, 81);
    p.L.HandlePlayer(16);
    EXPECT_EQ(p.L.levelState, 2);
    EXPECT_EQ(p.L.stateTimer, 0u);
  }
  {  // puzzle game: the board breaks, then the next puzzle level turns colours black
    Play p(3, 2);
    for (int i = 0; i < 81; i++) p.L.grid[i] = static_cast<uint8_t>(1 + (i / 9 + i % 9) % 2 * 2);
    p.L.grid[0] = CELL_SKULL;
    p.L.HandlePlayer(16);
    EXPECT_EQ(p.P.mode, 2);
    EXPECT_EQ(p.L.turnPhase, 2);
    p.L.grid[40] = 0;  // something broke
    p.L.turnPhase = 0;
    p.P.bar = 1024;
    p.L.HandlePlayer(16);
    EXPECT_EQ(p.P.mode, 3);
    EXPECT_EQ(p.P.level, 3);
    EXPECT_EQ(p.L.colours, 5);
    EXPECT_EQ(p.P.bar, 0);
    EXPECT_EQ(p.L.grid[1], CELL_TURNING_BLACK);
    EXPECT_EQ(p.L.gridState[1], 3);
    EXPECT_EQ(p.L.grid[0], CELL_SKULL);
    EXPECT_EQ(p.L.fadeTimer, 255u);
    p.L.HandlePlayer(255);
    EXPECT_EQ(p.L.grid[1], CELL_BLACK);
    EXPECT_EQ(p.L.turnPhase, 1);
    // Still full after the breaks: the puzzle game ends.
    Play q(3);
    std::memset(q.L.grid, CELL_BLACK, 81);
    q.P.mode = 2;
    q.L.HandlePlayer(16);
    EXPECT_EQ(q.L.levelState, 2);
  }
  {  // a full puzzle bar forces the stone down at a free drop position
    Play p(3);
    std::memset(p.L.grid, 0, 81);
    for (int pos = 0; pos < 17; pos++)
      if (pos != 13) p.L.grid[Play::DropCell(pos)] = CELL_FIXED;
    p.P.bar = 1024;
    p.L.HandlePlayer(16);
    EXPECT_EQ(p.L.dropPos, 13);
    EXPECT_EQ(p.L.turnPhase, 1);
    EXPECT_NE(p.L.grid[Play::DropCell(13)], 0);
  }
}

TEST(LevelPlay, IdleSpin) {
  Play p;
  p.L.idleTimer = 9990;
  p.L.HandlePlayer(16);
  int spins = 0, colours = 0;
  for (const auto& e : p.L.entity) spins += e.stone != 0 && e.kind == ENT_SPIN;
  for (int i = 0; i < 81; i++) colours += p.L.grid[i] >= 128 + 1 && p.L.grid[i] <= 128 + 7;
  EXPECT_GT(spins, 0);
  EXPECT_EQ(spins, colours);
  EXPECT_TRUE(p.L.idleTimer == 3000 || p.L.idleTimer == 2000 || p.L.idleTimer == 1000 || p.L.idleTimer == 0);
  // The timers end every spin after 831 ms and give the cells back.
  for (int i = 0; i < 60; i++) p.L.HandleIdle(16);
  for (const auto& e : p.L.entity) EXPECT_FALSE(e.stone != 0 && e.kind == ENT_SPIN);
  for (int i = 0; i < 81; i++) EXPECT_LT(p.L.grid[i], 128);
}

TEST(LevelPlay, TimersFillTheBar) {
  {  // timed game, level 1: full from 0 in 16.384 s without drops
    Play p(1);
    p.P.bar = p.P.barShown = 0;
    p.L.barAccu = 0;
    p.P.blackDue = 1;
    for (int i = 0; i < 1023; i++) p.L.HandleIdle(16);
    EXPECT_EQ(p.P.bar, 1023);
    p.L.HandleIdle(16);
    EXPECT_EQ(p.P.bar, 1024);
  }
  {  // puzzle game, level 1: 256 s
    Play p(3);
    p.P.bar = 0;
    p.L.barAccu = 0;
    p.P.blackDue = 3;
    for (int i = 0; i < 15999; i++) p.L.HandleIdle(16);
    EXPECT_EQ(p.P.bar, 1023);
    p.L.HandleIdle(16);
    EXPECT_EQ(p.P.bar, 1024);
  }
  {  // pop-ups run down, the bar refills blackDue, a zero delta changes no timer
    Play p;
    p.L.scorePopTimer = 20;
    p.L.bonusPopTimer = 768;
    p.P.bar = 0;
    p.P.blackDue = 0;
    p.L.blackPerBar = 4;
    p.L.HandleIdle(16);
    EXPECT_EQ(p.L.scorePopTimer, 4u);
    EXPECT_EQ(p.L.bonusPopTimer, 752u);
    EXPECT_EQ(p.P.blackDue, 4);
    p.L.HandleIdle(16);
    EXPECT_EQ(p.L.scorePopTimer, 0u);
    p.L.HandleIdle(0);
    EXPECT_EQ(p.L.bonusPopTimer, 736u);
  }
}

TEST(LevelPlay, SeveralPlayersLevelRiseAndWinner) {
  Play p(4, 1);
  p.P.kind = 0;
  p.L.ResetCoPlayers();
  EXPECT_EQ(p.L.slot[0].kind, 1);
  EXPECT_EQ(p.L.slot[2].kind, 3);
  EXPECT_STREQ(p.L.slot[3].name, "Tester");
  p.L.levelUpTimer = 0;
  uint32_t rises = 0;
  const uint8_t start = p.P.level;
  for (int i = 0; i < 2501 * 10; i++) {
    const uint8_t before = p.P.level;
    p.L.HandleIdle(16);
    rises += p.P.level != before;
  }
  EXPECT_EQ(p.P.level, 9);
  EXPECT_EQ(rises, 9u - start);
  EXPECT_EQ(p.L.colours, 7);
  // The own player and a computer player reach the target in the same step.
  p.P.targetScore = 5000;
  p.P.score = 5000;
  p.L.slot[1].score = 6000;
  p.P.winner = 0;
  p.L.HandleIdle(16);
  EXPECT_EQ(p.P.winner, 1);
  EXPECT_EQ(p.L.slot[3].bar, 1024);
  p.P.winner = 0;
  p.P.score = 10;
  p.L.HandleIdle(16);
  EXPECT_EQ(p.P.winner, 3);
  // A winner takes the player to the ranking.
  p.L.HandlePlayer(16);
  EXPECT_EQ(p.L.levelState, 11);
}

TEST(LevelPlay, BoardClearAnimation) {
  Play p;
  // A fall in progress is ended cleanly, then every stone gets a clear entity
  // staggered 24 ms a diagonal from the top corner.
  p.L.StoneDestroy();
  int clears = 0;
  uint32_t maxTimer = 0, minTimer = 1000;
  for (const auto& e : p.L.entity) {
    if (!e.stone) continue;
    EXPECT_EQ(e.kind, ENT_CLEAR);
    clears++;
    maxTimer = e.timer > maxTimer ? e.timer : maxTimer;
    minTimer = e.timer < minTimer ? e.timer : minTimer;
  }
  EXPECT_EQ(clears, 45);
  EXPECT_EQ(maxTimer, 512u);
  EXPECT_EQ(minTimer, 512u - 24 * 8);
  p.L.levelState = 2;
  p.L.stateTimer = 1;
  for (int i = 0; i < 100 && p.L.stateTimer < 2; i++) p.L.HandleStoneBreak(16);
  EXPECT_EQ(p.L.stateTimer, 2u);
  for (int i = 0; i < 81; i++) EXPECT_EQ(p.L.grid[i], 0);
  // Entities cut short leave no cell in motion: a fall in progress lands.
  std::memset(p.L.grid, 0, 81);
  p.L.levelState = 1;
  p.L.grid[5 * 9 + 5] = 2;
  p.L.HandleGravity(16);
  ASSERT_EQ(p.L.grid[5 * 9 + 5], 195);
  p.L.StoneDestroy();
  EXPECT_EQ(p.L.grid[5 * 9 + 5], 0);
  EXPECT_EQ(p.L.grid[4 * 9 + 6], 0x82) << "the landed stone is cleared in turn";
  for (auto& e : p.L.entity) e.stone = 0;
  std::memset(p.L.grid, 0, 81);
  // On an empty board it only frees the running entities.
  p.L.entity[5].stone = 3;
  p.L.entity[5].kind = ENT_SPIN;
  p.L.StoneDestroy();
  for (const auto& e : p.L.entity) EXPECT_EQ(e.stone, 0);
}

}  // namespace
