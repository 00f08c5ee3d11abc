// The level timers: red bar and refill, pop-ups, clock, spins, the bar growth of
// the timed and puzzle games, and the seats of a game of several players.
#include <cstring>

#include "framework/emod_device.h"
#include "game/app.h"
#include "game/level.h"
#include "game/player.h"

void ClassLevel::HandleIdle(uint32_t delta) {
  ClassPlayer* pl = Player();
  if (!pl) return;
  if (pl->mode == MODE_MULTI && pl->winner != 0) {
    // By player number, which the own seat's kind byte on a host need not hold.
    for (int i = 0; i < 4; i++)
      if (pl->ranking[i] == OwnPlayer()) pl->score = static_cast<uint32_t>(pl->finalScore[i]);
  }
  if (levelState == ST_PLAY) {
    stateTimer += delta;
    if (mainData->graphics) mainData->graphics->AddPlayTime(delta);
  }
  pl->HandleNegBar(static_cast<int32_t>(delta));
  if (pl->bar == 0 && pl->blackDue == 0) RefillBlackDue();
  scorePopTimer = scorePopTimer > delta ? scorePopTimer - delta : 0;
  bonusPopTimer = bonusPopTimer > delta ? bonusPopTimer - delta : 0;
  TickClock(delta);
  EndSpins(delta);
  if (pl->mode == MODE_TIMED || pl->mode == MODE_PUZZLE) {
    const uint32_t per = pl->mode == MODE_TIMED ? 512 : 8000;
    barAccu += delta * barSpeed;
    pl->bar += static_cast<int32_t>(barAccu / per);
    barAccu %= per;
  }
  if (pl->mode == MODE_MULTI) VersusTimers(delta);
  // The tutorial's text moves on only while play waits for it.
  if (pl->mode == MODE_TUTORIAL && levelState == ST_PLAY && turnPhase == 0 &&
      tutorial.segments == 0)
    Tutorial_TextTimers(&tutorial, delta);
}

// An empty bar loads the stones the next full one brings: the next package in
// versus play.
void ClassLevel::RefillBlackDue() {
  ClassPlayer* pl = Player();
  if (pl->mode == MODE_MULTI) {
    std::memmove(vsQueue[0], vsQueue[1], sizeof vsQueue - sizeof vsQueue[0]);
    std::memset(vsQueue[kQueuePackages - 1], 0, sizeof vsQueue[0]);
    pl->blackDue = 1;
  } else {
    pl->blackDue = blackPerBar;
  }
}

// The HUD's clock reads the time once a second.
void ClassLevel::TickClock(uint32_t delta) {
  if (delta < clockTimer) {
    clockTimer = (clockTimer < 1000 ? clockTimer : 1000) - delta;
    return;
  }
  clockTimer = 1000;
  uint8_t second = 0;
  ClassEDevice::CurrentTime(clockHour, clockMinute, second, true);
}

void ClassLevel::EndSpins(uint32_t delta) {
  for (auto& e : entity) {
    if (e.stone == 0 || e.kind != ENT_SPIN) continue;
    e.timer += delta;
    if (e.timer > 831) {
      e.stone = 0;
      grid[Cell(e.srcRow, e.srcCol)] &= 0x7F;
    }
  }
}

// Versus play: the peers' timers, the incoming bar, the host's level rise every
// 40 s, the seats' score bars and the winner.
void ClassLevel::VersusTimers(uint32_t delta) {
  ClassPlayer* pl = Player();
  NetTimers(delta);
  if (vsQueue[0][0] != 0) pl->bar += static_cast<int32_t>(delta);
  if (pl->kind <= MULTI_HOST_WIRELESS) {
    levelUpTimer += delta;
    if (levelUpTimer > 39999) {
      levelUpTimer = 0;
      if (pl->level < 9) pl->level++;
      NetSendLevel();
      CreateRandom(pl->level);
    }
  }
  slot[3].score = pl->score;
  FollowScoreBars(delta);
  if (pl->winner == 0) CheckWinner();
}

// Each seat's bar shows its share of the target score, moving 1 a millisecond.
void ClassLevel::FollowScoreBars(uint32_t delta) {
  const uint32_t target = Player()->targetScore ? Player()->targetScore : 1;
  for (auto& s : slot) {
    const uint64_t b = static_cast<uint64_t>(s.score) * 1024 / target;
    s.bar = b > 1024 ? 1024 : static_cast<int32_t>(b);
    const int32_t d = static_cast<int32_t>(delta);
    if (s.barShown < s.bar)
      s.barShown = s.bar - s.barShown > d ? s.barShown + d : s.bar;
    else if (s.barShown > s.bar)
      s.barShown = s.barShown - s.bar > d ? s.barShown - d : s.bar;
  }
}

void ClassLevel::CheckWinner() {
  ClassPlayer* pl = Player();
  if (NetJoining()) {
    // Only the host decides the winner; a joiner reports its score once.
    if (pl->score >= pl->targetScore && !winnerSent) {
      winnerSent = 1;
      NetSendWinner();
    }
  } else if (pl->score >= pl->targetScore) {
    pl->winner = 1;
    NetSendWinner();
  } else {
    for (int s = 0; s < 3; s++)
      if (IsComputerSeat(slot[s].kind) && slot[s].score >= pl->targetScore) {
        pl->winner = static_cast<uint8_t>(s + 2);
        // Play stops here, before the turn that won would send its board: the
        // remote players get it now, ahead of the ranking.
        NetSendCPUGrid(static_cast<uint8_t>(s));
        NetSendWinner();
        break;
      }
  }
}
