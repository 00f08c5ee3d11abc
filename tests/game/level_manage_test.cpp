// The level's frame function: its messages, the fixed 16 ms logic steps of the
// play state, pause and the HUD buttons, the hand-backs to the title and the
// states whose screens come later.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/level_rig.h"

namespace {

struct Manage {
  zt::LevelRig rig;
  ClassLevel& L = *rig.level;
  ClassPlayer& P = rig.player;
  uint32_t module = MODULE_LEVEL, message = MSG_FRAME;
  Manage() { rig.input.AddKeyMapping(2, 9); }
  void Send(uint32_t msg, uint32_t ms = 0) {
    message = msg;
    L.Manage(nullptr, &module, &message, nullptr, ms);
  }
  void Frame(uint32_t ms) {
    rig.input.CheckRepeat(ms);
    Send(MSG_FRAME, ms);
    rig.input.ResetEvents();
  }
  // A new game from the title, through the (instant) transition into play.
  void Enter(uint8_t mode, uint8_t kind = 0, uint32_t seed = 7) {
    std::srand(seed);
    P.InitReset();
    P.mode = mode;
    P.kind = kind;
    module = MODULE_LEVEL;
    Send(MSG_ENTER);
    Frame(16);
  }
  // Frames until the player may drop.
  void ToPlayerPhase() {
    for (int i = 0; i < 2000 && !(L.levelState == 1 && L.turnPhase == 0 && L.curStone && !L.fadeTimer); i++)
      Frame(16);
  }
};

TEST(LevelManage, EnterStartsAGameAndAsksForAZeroDelta) {
  Manage m;
  m.rig.settings.bytes[796] = 0;  // a stored 0 is level 1
  m.rig.settings.bytes[799] = 2;
  m.Enter(0);
  EXPECT_EQ(m.message, MSG_FRAME);
  EXPECT_EQ(m.rig.data.zerodelta, 1);
  EXPECT_EQ(m.L.levelState, 1);  // no graphics here: the transition ends at once
  EXPECT_EQ(m.P.level, 1);
  EXPECT_EQ(m.P.targetScore, 20000u);
  EXPECT_EQ(m.L.dropPos, 8);
  EXPECT_NE(m.L.nextStone[0], 0);
  // The fall table: eight ones, the first at 0, at most two apart.
  int ones = 0, last = -1;
  for (int i = 0; i < 16; i++)
    if (m.L.fallTable[i]) {
      EXPECT_TRUE(last < 0 ? i == 0 : i - last <= 2) << i;
      last = i;
      ones++;
    }
  EXPECT_EQ(ones, 8);
  // Target score and start level choices.
  const struct {
    uint8_t index;
    uint32_t target;
  } targets[] = {{0, 5000}, {1, 10000}, {2, 20000}, {3, 50000}, {200, 50000}};
  for (const auto& t : targets) {
    m.rig.settings.bytes[799] = t.index;
    m.rig.settings.bytes[796] = 4;
    m.Enter(1);
    EXPECT_EQ(m.P.targetScore, t.target);
    EXPECT_EQ(m.P.level, 4);
  }
}

TEST(LevelManage, LogicStepsOfSixteenMilliseconds) {
  Manage m;
  m.Enter(0);
  m.ToPlayerPhase();
  const uint32_t before = m.L.stateTimer, accu = m.L.stepAccu;
  m.Frame(40 - accu);  // with what was kept: 40 ms, two steps, 8 ms kept
  EXPECT_EQ(m.L.stateTimer - before, 32u);
  EXPECT_EQ(m.L.stepAccu, 8u);
  m.Frame(8);
  EXPECT_EQ(m.L.stateTimer - before, 48u);
  EXPECT_EQ(m.L.stepAccu, 0u);
  m.Frame(15);  // no step: the frame's events stay queued
  EXPECT_EQ(m.L.stateTimer - before, 48u);
  // A slow frame runs every step it owes.
  m.Frame(1000);
  EXPECT_EQ(m.L.stateTimer - before, 48u + 1008u);
}

TEST(LevelManage, StartPausesThroughTheTitleWithTheGameBehind) {
  Manage m;
  m.Enter(0);
  m.ToPlayerPhase();
  const uint32_t timer = m.L.stateTimer;
  m.rig.Press(9);
  m.rig.Press(13);  // a drop queued beside the pause
  m.Frame(32);
  EXPECT_EQ(m.module, MODULE_TITLE);
  EXPECT_EQ(m.message, 0x10000u);
  EXPECT_EQ(m.L.stateTimer, timer);  // no logic step ran
  EXPECT_NE(m.L.curStone, 0);
  m.rig.Release(9);
  m.rig.Release(13);
  // Resume: the queue is emptied, play goes on where it was.
  m.module = MODULE_LEVEL;
  m.Send(0x10001);
  EXPECT_EQ(m.message, MSG_FRAME);
  EXPECT_EQ(m.L.eventCount, 0u);
  m.Frame(16);
  EXPECT_EQ(m.L.stateTimer, timer + 32 + 16);  // the paused frame's time was kept
  EXPECT_NE(m.L.curStone, 0);
  // End from the pause menu: game over, then the title's main menu.
  m.Send(0x10000);
  EXPECT_EQ(m.L.levelState, 2);
  for (int i = 0; i < 2000 && m.module == MODULE_LEVEL; i++) m.Frame(16);
  EXPECT_EQ(m.module, MODULE_TITLE);
  EXPECT_EQ(m.message, 0x8001u);
}

TEST(LevelManage, HudButtonsUnderThePointer) {
  const struct {
    int32_t x, y;
    uint32_t module, message;
  } cases[] = {
      {10, 220, MODULE_LEVEL, MSG_MINIMIZE},  // minimise
      {40, 230, MODULE_TITLE, 0x10000},       // pause
      {30, 220, MODULE_LEVEL, MSG_FRAME},     // the gap between them
      {40, 215, MODULE_LEVEL, MSG_FRAME},     // above them
      {40, 236, MODULE_LEVEL, MSG_FRAME},     // below them
      {3, 220, MODULE_LEVEL, MSG_FRAME},      // left of them
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    Manage m;
    m.Enter(0);
    m.ToPlayerPhase();
    m.rig.input.OnClickDown(c.x, c.y, 0);
    m.Frame(16);
    EXPECT_EQ(m.module, c.module);
    EXPECT_EQ(m.message, c.message);
  }
}

TEST(LevelManage, MinimisedPausesOnlyNetworkedPlay) {
  Manage m;
  for (uint8_t kind : {0, 1}) {
    m.Enter(kind == 0 ? 0 : 4, kind);
    m.L.levelState = 1;
    m.Send(0x10002);
    EXPECT_EQ(m.L.levelState, kind == 0 ? 1 : 9) << int(kind);
    EXPECT_EQ(m.message, 0x10002u);  // left for the caller
  }
  // Outside play nothing changes either.
  m.L.levelState = 2;
  m.Send(0x10002);
  EXPECT_EQ(m.L.levelState, 2);
  // Unknown messages do nothing.
  m.L.levelState = 1;
  m.Send(0x4242);
  EXPECT_EQ(m.L.levelState, 1);
  EXPECT_EQ(m.message, 0x4242u);
}

TEST(LevelManage, VersusComputerSeatsTheChosenPlayers) {
  const struct {
    uint8_t seats[3];
    uint8_t active;
  } cases[] = {{{1, 2, 3}, 3}, {{3, 0, 0}, 1}, {{0, 2, 2}, 2}};
  for (const auto& c : cases) {
    Manage m;
    std::memcpy(m.L.cpuSeatKinds, c.seats, 3);
    m.L.cpuAutoStart = 1;
    m.Enter(4, 0);  // transition -> player select
    EXPECT_EQ(m.L.levelState, 7);
    m.Frame(16);
    EXPECT_EQ(m.L.levelState, 1);
    for (int s = 0; s < 3; s++) EXPECT_EQ(m.L.slot[s].kind, c.seats[s]);
    EXPECT_EQ(m.L.slot[3].kind, 0);  // the host's player number
    // The attack rotation only names active seats, each about as often.
    int count[3] = {};
    for (uint8_t v : m.L.attackRotation) {
      ASSERT_LT(v, c.active);
      count[v]++;
    }
    for (int v = 0; v < c.active; v++) EXPECT_GE(count[v], 16 / c.active) << v;
  }
  // No computer player at all: "Start" refuses and the screen stays for the
  // player to choose.
  Manage m;
  std::memset(m.L.cpuSeatKinds, 0, 3);
  m.L.cpuAutoStart = 1;
  m.Enter(4, 0);
  m.Frame(16);
  EXPECT_EQ(m.L.levelState, 7);
  EXPECT_EQ(m.module, MODULE_LEVEL);
  EXPECT_EQ(m.rig.sound.sfxPlayed[11], 1u);
  EXPECT_EQ(m.L.cpuAutoStart, 0);
}

TEST(LevelManage, FurtherGamesAndTheOneFrameStates) {
  Manage m;
  m.L.cpuAutoStart = 1;
  m.Enter(4, 0);
  m.Frame(16);
  ASSERT_EQ(m.L.levelState, 1);
  m.L.slot[0].score = 900;
  m.P.score = 1234;
  // Same seats: straight back to play with scores cleared, seats kept.
  m.Send(0x10004);
  EXPECT_EQ(m.L.levelState, 1);
  EXPECT_EQ(m.P.score, 0u);
  EXPECT_EQ(m.L.slot[0].score, 0u);
  EXPECT_EQ(m.L.slot[0].kind, 1);
  EXPECT_EQ(m.message, MSG_FRAME);
  // A fresh set-up goes through player select again.
  m.Send(0x10003);
  EXPECT_EQ(m.L.levelState, 7);
  // State 13 restarts the level with a fresh set-up; state 12 hands over to the
  // title's multi-player menu.
  m.L.levelState = 13;
  m.Frame(16);
  EXPECT_EQ(m.message, 0x10003u);
  EXPECT_EQ(m.module, MODULE_LEVEL);
  m.L.levelState = 12;
  m.Frame(16);
  EXPECT_EQ(m.module, MODULE_TITLE);
  EXPECT_EQ(m.message, 0x10002u);
}

TEST(LevelManage, MessageBoxReturnsWhenItsTimeIsUp) {
  Manage m;
  m.Enter(0);
  m.L.levelState = 10;
  m.L.returnState = 1;
  m.L.messageTimer = 100;
  m.Frame(60);
  EXPECT_EQ(m.L.levelState, 10);
  EXPECT_EQ(m.L.messageTimer, 40u);
  m.Frame(40);
  EXPECT_EQ(m.L.levelState, 1);
}

}  // namespace
