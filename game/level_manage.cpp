// The level's frame function: module messages, the fourteen states, and play in
// fixed 16 ms logic steps with particles and drawing on the frame's time.
#include <cstring>

#include "display/esurf_2d.h"
#include "framework/emod_input.h"
#include "game/app.h"
#include "game/level.h"
#include "game/linefeed.h"
#include "game/player.h"

namespace {

constexpr uint32_t kStep = 16;

// Messages the level answers and writes.
constexpr uint32_t kMsgEndGame = 0x10000;
constexpr uint32_t kMsgResume = 0x10001;
constexpr uint32_t kMsgMinimized = 0x10002;
constexpr uint32_t kMsgFreshGame = 0x10003;
constexpr uint32_t kMsgSameSeats = 0x10004;
constexpr uint32_t kTitlePauseMenu = 0x10000;
constexpr uint32_t kTitleMultiMenu = 0x10002;

uint32_t TargetScore(const MAINCONFIG* cfg) {
  switch (cfg ? cfg->TargetIndex() : 1) {
    case 0: return 5000;
    case 1: return 10000;
    case 2: return 20000;
    default: return 50000;
  }
}

}  // namespace

void ClassLevel::BuildAttackRotation() {
  std::memset(attackRotation, 0, sizeof attackRotation);
  uint32_t n = 0;
  for (int s = 0; s < 3; s++)
    if (IsActiveSeat(slot[s])) n++;
  if (n == 0) return;
  uint8_t quota[3] = {};
  for (uint32_t v = 0; v < n; v++) quota[v] = static_cast<uint8_t>(16 / n);
  for (auto& entry : attackRotation) {
    uint32_t v = static_cast<uint32_t>(Rand() / 100) % n;
    for (int more = 0; quota[v] == 0 && more < 16; more++) v = static_cast<uint32_t>(Rand() / 100) % n;
    entry = static_cast<uint8_t>(v);
    if (quota[v]) quota[v]--;
  }
}

void ClassLevel::StartReset(bool enter) {
  ClassPlayer* pl = Player();
  std::memset(entity, 0, sizeof entity);
  std::memset(particle, 0, sizeof particle);
  fireChance = nuclearCounter = reserved1 = reserved2 = 0;
  std::memset(vsQueue, 0, sizeof vsQueue);
  BuildFallTable();
  if (pl) pl->targetScore = TargetScore(mainData ? mainData->settings : nullptr);
  dropPos = 8;
  turnPhase = 1;
  curStone = 0;
  settled = 0;
  fallCounter = 0;
  fadePending = 0;
  fadeTimer = 0;
  aimRepeat = 0;
  stateTimer = stepAccu = 0;
  scorePopTimer = bonusPopTimer = clockTimer = idleTimer = 0;
  barAccu = messageTimer = levelUpTimer = keepAliveTimer = 0;
  traceEnded = 0;
  std::memset(gridScore, 0, sizeof gridScore);
  if (!pl) return;
  const MAINCONFIG* cfg = mainData ? mainData->settings : nullptr;
  uint8_t start = cfg ? (pl->mode == MODE_MULTI ? cfg->MultiStartLevel() : cfg->StartLevel()) : 1;
  if (switchLevel) start = switchLevel;
  if (start == 0) start = 1;
  if (enter && pl->mode == MODE_TUTORIAL) {
    pl->level = 1;
    tutorialNext = 0;
    uint8_t widths[256];
    ClassGraphics* g = mainData ? mainData->graphics : nullptr;
    E2DSurface* font = g ? g->Font(0) : nullptr;
    Text_FontWidths(font && font->GetBuffer() ? font : nullptr, widths);
    StartTutorial(widths, g ? g->GetFontHeight(0) : 0);
    BuildTutorialFallTable();
  } else {
    pl->level = start;
  }
}

namespace {

// The set-up state a game of several players opens with, by its kind; the
// caller names the one of a wireless join (it searches on entering, picks a host after a game).
uint8_t NetSetupState(uint8_t kind, uint8_t chooseHost) {
  switch (kind) {
    case MULTI_VERSUS_CPU: return ST_PLAYERSELECT;
    case MULTI_HOST_TCP:
    case MULTI_HOST_WIRELESS: return ST_HOSTSETUP;
    case MULTI_JOIN_TCP: return ST_SEARCH;
    case MULTI_JOIN_WIRELESS: return chooseHost;
    default: return ST_PLAY;
  }
}

}  // namespace

int ClassLevel::Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys, uint32_t elapsed) {
  if (*message == MSG_ATTACH) {
    mainData = reinterpret_cast<MAINDATA*>(keys);
    return 0;
  }
  if (!Player()) return 0;
  if (*message != MSG_FRAME || levelState != ST_PLAY) {
    eventCount = 0;
    wheelAccu = 0;
  }
  if (*message != MSG_FRAME) {
    AnswerMessage(screen, message);
    return 0;
  }
  // The pulse of special stones runs on the frame's time in every state.
  if (mainData->graphics) mainData->graphics->AddAnitimer(elapsed);

  switch (levelState) {
    case ST_TRANSITION: TransitionFrame(screen, elapsed); break;
    case ST_PLAY: PlayFrame(screen, module, message, elapsed); break;
    case ST_GAMEOVER: GameOverFrame(screen, module, message, elapsed); break;
    case ST_NAMEENTRY: HandleNameEntry(screen, elapsed, module, message); break;
    case ST_PLAYERSELECT:
    case ST_HOSTSETUP:
    case ST_SEARCH:
    case ST_JOIN:
    case ST_HOSTSELECT:
    case ST_NETPAUSE: NetStateFrame(screen, module, message, elapsed); break;
    case ST_MESSAGE: MessageFrame(screen, elapsed); break;
    case ST_RANKING: HandleRanking(screen, elapsed, module, message); break;
    case ST_MULTIMENU:
      *message = kTitleMultiMenu;
      *module = MODULE_TITLE;
      break;
    case ST_RESTART: *message = kMsgFreshGame; break;
    default: break;
  }
  if (endWhenOver && *module == MODULE_LEVEL && WaitsAfterGame()) *module = MODULE_QUIT;
  return 0;
}

// ---- the module's messages ----

void ClassLevel::AnswerMessage(E2DSurface* screen, uint32_t* message) {
  ClassPlayer* pl = Player();
  switch (*message) {
    case MSG_ENTER:
      EnterLevel();
      *message = MSG_FRAME;
      return;
    case kMsgEndGame:
      TraceEnd();  // quit from the pause menu
      levelState = ST_GAMEOVER;
      stateTimer = 0;
      clockTimer = 0;
      mainData->zerodelta = 1;
      *message = MSG_FRAME;
      return;
    case kMsgResume:
      clockTimer = 0;
      *message = MSG_FRAME;
      return;
    case kMsgMinimized:
      // Only a networked game pauses, and for the others too.
      if (pl->Networked() && levelState == ST_PLAY) {
        NetSendID(0, 11);
        EnterNetPause();
      }
      return;
    case kMsgFreshGame:
    case kMsgSameSeats:
      StartNextGame(screen, *message == kMsgFreshGame);
      *message = MSG_FRAME;
      mainData->zerodelta = 1;
      return;
    default: return;
  }
}

void ClassLevel::EnterLevel() {
  ClassPlayer* pl = Player();
  ClassGraphics* gfx = mainData->graphics;
  if (gfx) {
    gfx->SetColorBlind(mainData->settings && mainData->settings->ColourBlind() != 0);
    gfx->Transition(nullptr, 0xFFFFFF);
    gfx->LoadBackDrop("gamehud.bmp");
    gfx->ResetPlayTime();
  }
  StartReset(true);
  tracePhase = turnPhase;
  traceTurns = 0;
  ResetCoPlayers();
  EmptyGrid();
  CreateRandom(pl->level);
  nextStone[0] = GetNextStone();
  nextStone[1] = GetNextStone();
  levelState = ST_TRANSITION;
  HandleIdle(0);
  if (gfx) {
    E2DSurface* back = nullptr;
    gfx->GetBackSurface(back);
    if (back && back->GetBuffer()) RenderAll(back, true);
  }
  mainData->zerodelta = 1;
}

// Another game after the ranking: a fresh one (the seats chosen again) or one
// with the same seats.
void ClassLevel::StartNextGame(E2DSurface* screen, bool fresh) {
  ClassPlayer* pl = Player();
  pl->score = 0;
  StartReset(false);
  if (fresh) ResetCoPlayers();
  EmptyGrid();
  CreateRandom(pl->level);
  pl->lastColour = 1;
  pl->winner = 0;
  pl->turns = 0;
  pl->bar = 0;
  pl->blackDue = 0;
  pl->chain = 0;
  nextStone[0] = GetNextStone();
  nextStone[1] = GetNextStone();
  if (pl->mode == MODE_MULTI)
    NextGameSeats(fresh);
  else
    levelState = ST_PLAY;
  HandleIdle(0);
  if (screen) RenderAll(screen, true);
}

void ClassLevel::NextGameSeats(bool fresh) {
  ClassPlayer* pl = Player();
  menuCursor = 0;
  stateTimer = 0;
  if (fresh) {
    levelState = NetSetupState(pl->kind, ST_HOSTSELECT);
  } else if (pl->Joined()) {
    ResetCoPlayers();
    levelState = ST_JOIN;
  } else {
    std::memset(cpuPlayer, 0, sizeof cpuPlayer);
    for (int s = 0; s < 3; s++) {
      slot[s].barShown = slot[s].bar = 0;
      slot[s].score = slot[s].silence = 0;
    }
    slot[3].barShown = slot[3].bar = 0;
    slot[3].score = 0;
    levelState = ST_PLAY;
  }
}

void ClassLevel::EnterNetPause() {
  levelState = ST_NETPAUSE;
  stateTimer = 0;
  menuCursor = 0;
}

// ---- the states ----

void ClassLevel::TransitionFrame(E2DSurface* screen, uint32_t elapsed) {
  ClassGraphics* gfx = mainData->graphics;
  if (gfx && !gfx->Transition(screen, elapsed)) return;
  ClassPlayer* pl = Player();
  if (pl->mode != MODE_MULTI) {
    levelState = ST_PLAY;
    return;
  }
  menuCursor = 0;
  stateTimer = 0;
  levelState = NetSetupState(pl->kind, ST_SEARCH);
  ResetCoPlayers();
}

// Play: input in, the pause and minimize taps, the logic steps the frame's time
// holds, then particles and drawing.
void ClassLevel::PlayFrame(E2DSurface* screen, uint32_t* module, uint32_t* message,
                           uint32_t elapsed) {
  stepAccu += elapsed;
  QueuePlayInput();
  const PauseTaps taps = TakePauseTaps();
  if (taps.pause) PauseFromPlay(module, message);
  if (taps.minimize) *message = MSG_MINIMIZE;
  bool ran = false;
  if (levelState == ST_PLAY && *module == MODULE_LEVEL && *message == MSG_FRAME)
    ran = RunLogicSteps();
  HandleParticles(elapsed);
  if (screen) RenderAll(screen, true);
  if (ran) {
    eventCount = 0;
    wheelAccu = 0;
  }
}

void ClassLevel::QueuePlayInput() {
  ClassEInput* input = mainData->ecd ? mainData->ecd->input : nullptr;
  if (!input) return;
  wheelAccu += input->GetWheelScroll();
  E_INPUTEVENT ev;
  while (eventCount < 32 && input->GetKeyEvent(&ev)) eventQueue[eventCount++] = ev;
  while (eventCount < 32 && input->GetClickEvent(&ev)) {
    ev.action = static_cast<uint8_t>(ev.action + 65);  // pointer buttons read 65 to 67
    eventQueue[eventCount++] = ev;
  }
}

// The pause key, and taps on the two buttons at the lower left of the HUD.
ClassLevel::PauseTaps ClassLevel::TakePauseTaps() {
  PauseTaps taps;
  for (uint32_t i = 0; i < eventCount; i++) {
    E_INPUTEVENT& ev = eventQueue[i];
    if (ev.type == EIT_DOWN && ev.action == 2) {
      ev.type = 0;
      taps.pause = true;
    }
  }
  for (uint32_t i = 0; i < eventCount; i++) {
    E_INPUTEVENT& ev = eventQueue[i];
    if (ev.type != EIT_DOWN || ev.action < 65 || ev.action > 67) continue;
    if (ev.x <= 3 || ev.y < 216 || ev.y > 235 || (ev.x - 4) % 30 >= 20) continue;
    if (ev.x >= 34 && ev.x <= 53) {
      ev.type = 0;
      taps.pause = true;
    } else if (ev.x >= 4 && ev.x <= 23) {
      ev.type = 0;
      taps.minimize = true;
    }
  }
  return taps;
}

void ClassLevel::PauseFromPlay(uint32_t* module, uint32_t* message) {
  ClassPlayer* pl = Player();
  if (pl->Networked()) {
    // The pause packet goes to the others; a host pauses at once, a joiner
    // when the host's answer comes back.
    NetSendID(0, 11);
    if (pl->Hosting()) EnterNetPause();
    return;
  }
  ClassGraphics* gfx = mainData->graphics;
  if (gfx) {
    E2DSurface* back = nullptr;
    gfx->GetBackSurface(back);
    if (back && back->GetBuffer()) {
      RenderAll(back, false);
      back->FillRect(nullptr, 0x000000, 8, 128);
    }
  }
  *message = kTitlePauseMenu;
  *module = MODULE_TITLE;
}

// The 16 ms steps of the frame's time; true when at least one ran.
bool ClassLevel::RunLogicSteps() {
  ClassPlayer* pl = Player();
  bool ran = false;
  while (stepAccu >= kStep) {
    HandleIdle(kStep);
    switch (turnPhase) {
      case 0: HandlePlayer(kStep); break;
      case 1: HandleGravity(kStep); break;
      case 2: HandleStoneBreak(kStep); break;
      default: break;
    }
    if (pl->mode == MODE_MULTI) {
      HandleCPU(kStep);
      HandleSmallHUD(kStep);
    }
    stepAccu -= kStep;
    ran = true;
    TraceStep();
    // A lost game or a winner ends play: the rest of the frame's time goes.
    if (levelState != ST_PLAY) {
      stepAccu = 0;
      break;
    }
  }
  return ran;
}

// The board breaks up; 1500 ms after it settled comes the highscore decision.
void ClassLevel::GameOverFrame(E2DSurface* screen, uint32_t* module, uint32_t* message,
                               uint32_t elapsed) {
  if (stateTimer == 0) {
    turnPhase = 1;
    StoneDestroy();
    stateTimer = 1;
  }
  HandleIdle(elapsed);
  HandleStoneBreak(elapsed);
  HandleParticles(elapsed);
  if (screen) RenderAll(screen, true);
  if (stateTimer >= 2) {
    stateTimer += elapsed;
    if (stateTimer >= 1500) HighscoreDecision(screen, module, message);
  }
}

// The message box over play, until its time is up.
void ClassLevel::MessageFrame(E2DSurface* screen, uint32_t elapsed) {
  if (messageTimer > elapsed)
    messageTimer -= elapsed;
  else
    levelState = returnState;
  if (!screen) return;
  RenderAll(screen, true);
  if (!mainData->graphics) return;
  const int32_t lines = messageLine[2][0] ? 3 : messageLine[1][0] ? 2 : 1;
  const int32_t row = FontRow();
  const int32_t top = 120 - lines * row / 2;
  DrawBand(screen, top, lines, 0x000000);
  for (int32_t i = 0; i < lines; i++) DrawCentred(screen, top + i * row, messageLine[i]);
}
