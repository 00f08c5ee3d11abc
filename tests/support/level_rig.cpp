#include "tests/support/level_rig.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zt {

uint32_t BoardHash(const ClassLevel& level) {
  uint32_t h = 2166136261u;
  for (int i = 0; i < kGridCells; i++) {
    h = (h ^ level.grid[i]) * 16777619u;
    h = (h ^ level.gridState[i]) * 16777619u;
  }
  return h;
}

namespace {

constexpr char kCellChars[] = "_1234567BF*NDSWH";  // codes 0 to 15

int CodeOf(char ch) {
  if (ch == 'X') return CELL_EXPLODED;
  for (int i = 0; kCellChars[i]; i++)
    if (kCellChars[i] == ch) return i;
  return -1;
}

}  // namespace

void PlaceRows(ClassLevel& level, const std::vector<std::string>& rows) {
  int r = 0;
  for (const std::string& row : rows) {
    if (r >= kGridSize || row.size() > size_t(kGridSize)) {
      ADD_FAILURE() << "a board has 9 rows of 9 cells; row " << r << " is \"" << row << "\"";
      break;
    }
    for (int c = 0; c < int(row.size()); c++) {
      if (row[c] == '.') continue;
      const int code = CodeOf(row[c]);
      if (code < 0) {
        ADD_FAILURE() << "no cell code for '" << row[c] << "' in row " << r;
        continue;
      }
      level.grid[r * kGridSize + c] = static_cast<uint8_t>(code);
    }
    r++;
  }
}

std::string RowText(const ClassLevel& level, int row) {
  std::string out;
  for (int c = 0; c < kGridSize; c++) {
    const uint8_t code = level.grid[row * kGridSize + c];
    out += code < 16 ? kCellChars[code] : code == CELL_EXPLODED ? 'X' : '?';
  }
  return out;
}

void BuildRotation(ClassLevel& level) {
  std::memset(level.attackRotation, 0, sizeof level.attackRotation);
  uint32_t n = 0;
  for (int s = 0; s < 3; s++) {
    const PLAYERSLOT& o = level.slot[s];
    if ((o.kind >= 1 && o.kind <= 3) || (o.kind == 4 && o.link == 2)) n++;
  }
  if (n == 0) return;
  uint32_t quota[3] = {16 / n, 16 / n, 16 / n};
  for (auto& entry : level.attackRotation) {
    uint32_t v = static_cast<uint32_t>(ClassLevel::Rand() / 100) % n;
    for (int k = 0; k < 16 && quota[v] == 0; k++) v = static_cast<uint32_t>(ClassLevel::Rand() / 100) % n;
    entry = static_cast<uint8_t>(v);
    if (quota[v] != 0) quota[v]--;
  }
}

LevelRig::LevelRig() {
  input.SetDefaultMappings();
  input.AddKeyMapping(0, kKeyDrop);
  input.AddKeyMapping(1, kKeyToggle);
  math.Init();
  ecd.input = &input;
  ecd.math = &math;
  std::memset(settings.bytes, 0, sizeof settings.bytes);
  std::memcpy(settings.bytes + 90, "Tester", 7);
  data.player = &player;
  data.sound = &sound;
  data.settings = &settings;
  data.ecd = &ecd;
  level = new ClassLevel();
  uint32_t module = MODULE_LEVEL, message = MSG_ATTACH;
  level->Manage(nullptr, &module, &message, reinterpret_cast<int32_t*>(&data), 0);
}

LevelRig::~LevelRig() { delete level; }

void LevelRig::StartGame(uint8_t mode, uint8_t startLevel, uint32_t seed) {
  std::srand(seed);
  ClassLevel& L = *level;
  player.InitReset();
  player.mode = mode;
  player.passes = 0;
  std::memset(L.entity, 0, sizeof L.entity);
  std::memset(L.particle, 0, sizeof L.particle);
  L.fireChance = L.nuclearCounter = L.reserved1 = L.reserved2 = 0;
  std::memset(L.vsQueue, 0, sizeof L.vsQueue);
  L.BuildFallTable();
  L.dropPos = 8;
  L.turnPhase = 1;
  L.curStone = 0;
  L.settled = 0;
  L.fallCounter = 0;
  L.wheelAccu = 0;
  L.eventCount = 0;
  L.aimRepeat = L.stateTimer = L.stepAccu = 0;
  L.scorePopTimer = L.bonusPopTimer = L.clockTimer = L.idleTimer = 0;
  L.barAccu = L.messageTimer = L.levelUpTimer = L.keepAliveTimer = 0;
  L.fadeTimer = 0;
  if (mode == 5) {
    player.level = 1;
    L.tutorialNext = 0;
    L.BuildTutorialFallTable();
  } else {
    player.level = startLevel == 0 ? 1 : startLevel;
  }
  L.ResetCoPlayers();
  L.EmptyGrid();
  L.CreateRandom(player.level);
  L.nextStone[0] = L.GetNextStone();
  L.nextStone[1] = L.GetNextStone();
  L.levelState = 1;
  L.HandleIdle(0);
  trace.clear();
  turnsTraced = 0;
  steps = 0;
  lastPhase = L.turnPhase;
  finished_ = false;
  botClock_ = botHeld_ = drops_ = 0;
  toggled_ = 0xFFFFFFFF;
}

void LevelRig::AfterStep() {
  steps++;
  if (onStep) onStep(*this);
  const uint8_t phase = level->turnPhase;
  if (phase == 0 && lastPhase != 0) {
    turnsTraced++;
    char line[160];
    std::snprintf(line, sizeof line, "%u phase=%u mode=%u score=%u level=%u bar=%d shown=%d hash=%08x",
                  static_cast<unsigned>(turnsTraced), static_cast<unsigned>(phase),
                  static_cast<unsigned>(player.mode), static_cast<unsigned>(player.score),
                  static_cast<unsigned>(player.level), static_cast<int>(player.bar),
                  static_cast<int>(player.barShown), static_cast<unsigned>(BoardHash(*level)));
    trace += line;
    if (player.mode == 4) {
      std::snprintf(line, sizeof line, " seats=%u,%u,%u", static_cast<unsigned>(level->slot[0].score),
                    static_cast<unsigned>(level->slot[1].score), static_cast<unsigned>(level->slot[2].score));
      trace += line;
    }
    trace += "\n";
    if (onTurn) onTurn(*this);
  }
  lastPhase = phase;
}

void LevelRig::PlayFrame(uint32_t ms) {
  ClassLevel& L = *level;
  L.stepAccu += ms;
  L.wheelAccu += input.GetWheelScroll();
  E_INPUTEVENT ev;
  while (L.eventCount < 32 && input.GetKeyEvent(&ev)) L.eventQueue[L.eventCount++] = ev;
  while (L.eventCount < 32 && input.GetClickEvent(&ev)) {
    ev.action = static_cast<uint8_t>(ev.action + 65);  // pointer buttons read 65 to 67
    L.eventQueue[L.eventCount++] = ev;
  }
  bool ran = false;
  while (L.levelState == 1 && L.stepAccu >= 16) {
    L.HandleIdle(16);
    if (afterIdle) afterIdle(*this);
    switch (L.turnPhase) {
      case 0: L.HandlePlayer(16); break;
      case 1: L.HandleGravity(16); break;
      case 2: L.HandleStoneBreak(16); break;
      default: break;
    }
    if (player.mode == 4 && coPlayers) {
      L.HandleCPU(16);
      L.HandleSmallHUD(16);
    }
    L.stepAccu -= 16;
    ran = true;
    AfterStep();
  }
  L.HandleParticles(ms);
  if (ran) {
    L.eventCount = 0;
    L.wheelAccu = 0;
  }
}

void LevelRig::GameOverFrame(uint32_t ms) {
  ClassLevel& L = *level;
  L.eventCount = 0;
  L.wheelAccu = 0;
  if (L.stateTimer == 0) {
    L.turnPhase = 1;
    L.StoneDestroy();
    L.stateTimer = 1;
  }
  L.HandleIdle(ms);
  L.HandleStoneBreak(ms);
  L.HandleParticles(ms);
  if (L.stateTimer >= 2) {
    L.stateTimer += ms;
    if (L.stateTimer >= 1500) finished_ = true;
  }
}

void LevelRig::Frame(uint32_t ms) {
  input.CheckRepeat(ms);
  if (level->levelState == 1)
    PlayFrame(ms);
  else if (level->levelState == 2 && !finished_)
    GameOverFrame(ms);
  else if (level->levelState == 11)
    finished_ = true;  // a game of several players has its winner
  input.ResetEvents();
}

// A plain player: aims at a position drawn from the turn count by key presses
// (one press a frame, released on the next), sometimes swaps the next stones,
// then drops. Refused drops move the aim on.
void LevelRig::BotInput() {
  if (botHeld_) {
    Release(botHeld_);
    botHeld_ = 0;
    return;
  }
  ClassLevel& L = *level;
  if (L.levelState != 1 || L.turnPhase != 0 || L.fadeTimer != 0) return;
  botClock_++;
  const uint32_t target = (drops_ * 7 + (drops_ / 5) * 3) % 17;
  uint32_t key;
  if (L.dropPos < target)
    key = kKeyRight;
  else if (L.dropPos > target)
    key = kKeyLeft;
  else if (drops_ % 11 == 5 && toggled_ != drops_) {
    key = kKeyToggle;
    toggled_ = drops_;
  } else {
    key = kKeyDrop;
    drops_++;
  }
  Press(key);
  botHeld_ = key;
}

uint32_t LevelRig::PlayToEnd(uint32_t maxFrames, uint32_t frameMs) {
  uint32_t frames = 0;
  while (!finished_ && frames < maxFrames) {
    BotInput();
    Frame(frameMs);
    frames++;
  }
  if (botHeld_) {
    Release(botHeld_);
    botHeld_ = 0;
  }
  return frames;
}

}  // namespace zt
