// The player's phase: fades, a cleared or full board, the full red bar, aiming,
// swapping and dropping.
#include <cstdio>
#include <cstring>

#include "framework/emod_input.h"
#include "game/app.h"
#include "game/level.h"
#include "game/player.h"

namespace {

// Floor division for the stylus mapping.
int32_t FloorDiv(int32_t a, int32_t b) {
  int32_t q = a / b;
  if ((a % b != 0) && (a < 0)) q--;
  return q;
}


}  // namespace

void ClassLevel::LevelResets() {
  ClassPlayer* pl = Player();
  if (pl->level < 99) pl->level++;
  for (auto& e : entity) e.stone = 0;
  fireChance = nuclearCounter = reserved1 = reserved2 = 0;
  dropPos = 8;
  curStone = 0;
  scorePopTimer = bonusPopTimer = aimRepeat = 0;
  settled = 1;
  pl->lastColour = 1;
  pl->turns = pl->winner = pl->blackDue = pl->chain = 0;
  pl->bar = 0;
}

void ClassLevel::NextPuzzleLevel() {
  ClassPlayer* pl = Player();
  LevelResets();
  turnPhase = 0;
  pl->mode = MODE_PUZZLE;
  CreateRandom(pl->level);
  for (int i = 0; i < kGridCells; i++) {
    if (IsPlainColour(grid[i])) {
      gridState[i] = grid[i];
      grid[i] = CELL_TURNING_BLACK;
    }
  }
  fadeTimer = 255;
  PlayEffect(7);
  if (mainData) mainData->zerodelta = 1;
}

void ClassLevel::LevelComplete() {
  ClassPlayer* pl = Player();
  LevelResets();
  turnPhase = 1;
  CreateRandom(pl->level);
  for (int r = 0; r < 9; r++) {
    for (int c = 0; c < 9; c++) {
      const int i = Cell(r, c);
      if (grid[i] == 0) continue;
      // Without a free entity the stone is shown at once, without fading.
      StartCellEntity(r, c, ENT_FADEIN, static_cast<uint32_t>(256 - 8 * (8 + r - c)));
    }
  }
  PlayEffect(7);
  if (mainData) mainData->zerodelta = 1;
}

void ClassLevel::FirstPackageLength(uint8_t& n) const {
  n = vsQueue[0][2] ? 3 : vsQueue[0][1] ? 2 : vsQueue[0][0] ? 1 : 0;
}

void ClassLevel::PlaceFullBarStones() {
  ClassPlayer* pl = Player();
  const uint32_t n = pl->blackDue;
  int free = 0;
  for (int p = 0; p < 17; p++)
    if (grid[DropCell(p)] == 0) free++;
  uint32_t place;
  if (n <= static_cast<uint32_t>(free)) {
    pl->blackDue = 0;
    pl->bar = pl->barShown = 0;
    place = n;
  } else {
    pl->blackDue = static_cast<uint8_t>(pl->kind == MULTI_JOIN_WIRELESS ? 0 : n - free);
    place = static_cast<uint32_t>(free);
  }
  for (uint32_t s = 0; s < place; s++) {
    int k = Rand() % free;
    free--;
    uint8_t stone;
    if (pl->mode == MODE_MULTI)
      stone = vsQueue[0][s < 3 ? s : 2];
    else
      stone = hardLevel ? CELL_SKULL : CELL_BLACK;
    for (int p = 0; p < 17; p++) {
      const int i = DropCell(p);
      if (grid[i] != 0) continue;
      if (k-- == 0) {
        grid[i] = stone;
        break;
      }
    }
  }
  turnPhase = 1;
  settled = 0;
  PlayEffect(4);
}

void ClassLevel::Drop() {
  ClassPlayer* pl = Player();
  if (grid[DropCell(dropPos)] != 0) {
    PlayEffect(11);
    return;
  }
  PlaceDrop();
  if (pl->mode == MODE_STANDARD) pl->bar += barSpeed;
  turnPhase = 1;
  settled = 0;
}

void ClassLevel::PlaceDrop() {
  const int cell = DropCell(dropPos);
  if (curStone == CELL_FIRE) {
    const uint32_t k = FreeQEntity();
    if (k < kMaxEntities) {
      STONEENTITY& e = entity[k];
      std::memset(&e, 0, sizeof e);
      e.kind = ENT_FIRE;
      e.stone = CELL_FIRE;
      e.x = 12 * dropPos;
      e.y = dropPos < 8 ? -12 * dropPos : 12 * dropPos - 192;
      // destRow and destCol are the run's pixel and step accumulators; the cell
      // it stands on is its source.
      e.srcRow = static_cast<uint8_t>(cell / 9);
      e.srcCol = static_cast<uint8_t>(cell % 9);
    }
    PlayEffect(5);
  } else {
    grid[cell] = curStone;
    PlayEffect(2);
  }
  curStone = 0;
  idleTimer = 0;
  reserved3 = 0;
}

bool ClassLevel::FinishFade(uint32_t delta) {
  if (fadeTimer == 0) return false;
  if (delta < fadeTimer) {
    fadeTimer -= delta;
    return true;
  }
  bool set = false;
  for (int i = 0; i < kGridCells; i++) {
    const uint8_t g = grid[i];
    if ((g == CELL_FIXED || g == CELL_BIOHAZARD || g == CELL_TURNING_BLACK || g == CELL_WILD_TAKING) &&
        gridState[i] < 16) {
      grid[i] = g == CELL_TURNING_BLACK ? static_cast<uint8_t>(CELL_BLACK) : gridState[i];
      gridState[i] = 0;
      turnPhase = 1;
      settled = 0;
      set = true;
    }
  }
  fadeTimer = 0;
  return set;
}

void ClassLevel::HandlePlayer(uint32_t delta) {
  ClassPlayer* pl = Player();
  if (!pl) return;
  if (pl->mode == MODE_TUTORIAL) {
    HurryTutorialText();
    HandleTutorial(delta);
    return;
  }
  if (pl->winner >= 1 && pl->winner <= 4) {
    stateTimer = 0;
    levelState = ST_RANKING;
    return;
  }
  if (FinishFade(delta)) return;
  pl->chain = 0;
  if (BoardEndsTurn()) return;
  if (FullBarDrops()) return;
  SpinWhenIdle(delta);
  if (pl->mode == MODE_MULTI && vsQueue[0][0] != 0) {
    barAccu += barSpeed * delta;
    pl->bar += static_cast<int32_t>(barAccu / 128);
    barAccu %= 128;
  }
  settled = 0;
  if (curStone == 0) TakeNextStone();
  if (pl->mode == MODE_PUZZLE && pl->bar >= 1024 && ForcedPuzzleDrop()) return;
  AimAndDrop(delta);
}

// Holding the drop key, or the pointer on the text band, hurries the text.
void ClassLevel::HurryTutorialText() {
  ClassEInput* in = mainData && mainData->ecd ? mainData->ecd->input : nullptr;
  if (!in) return;
  int32_t x = 0, y = 0;
  in->GetClickPosition(x, y);
  if (in->KeyHold(0) || (in->ClickHold(0) && y < static_cast<int32_t>(tutorial.bandHeight)))
    tutorial.lineWait = kTutorialLineWait;
}

// A full board loses (or halves the score in versus play), a cleared one
// completes the level; the puzzle game moves on to its next level. True when
// the turn stops here.
bool ClassLevel::BoardEndsTurn() {
  ClassPlayer* pl = Player();
  int empty = 0, full = 0;
  for (int i = 0; i < kGridCells; i++) {
    if (grid[i] >= 64) continue;
    if (grid[i] == 0)
      empty++;
    else
      full++;
  }
  if (pl->mode == MODE_PUZZLE && full > 80) {
    pl->mode = MODE_PUZZLE_NEXT;
    turnPhase = 2;
    return true;
  }
  if (pl->mode == MODE_MULTI && full > 80) {
    turnPhase = 2;
    StoneDestroy();
    pl->score >>= 1;
    return true;
  }
  if (full > 80) {
    stateTimer = 0;
    levelState = ST_GAMEOVER;
    return true;
  }
  if (pl->mode == MODE_PUZZLE_NEXT) {
    NextPuzzleLevel();
    return true;
  }
  if ((pl->mode == MODE_STANDARD || pl->mode == MODE_TIMED) && empty > 80) {
    LevelComplete();
    return true;
  }
  return false;
}

// A full red bar brings its stones; true when they were placed.
bool ClassLevel::FullBarDrops() {
  ClassPlayer* pl = Player();
  if (IsPuzzle(pl->mode) || pl->barShown < 1024) return false;
  bool run = true;
  if (pl->mode == MODE_MULTI)
    FirstPackageLength(pl->blackDue);
  else
    run = settled == 1 || pl->mode == MODE_TIMED;
  if (!run || pl->blackDue == 0) return false;
  PlaceFullBarStones();
  return true;
}

// After ten idle seconds the plain stones spin, then again every one to three.
void ClassLevel::SpinWhenIdle(uint32_t delta) {
  idleTimer += delta;
  if (idleTimer <= 9999) return;
  for (int r = 0; r < 9; r++) {
    for (int c = 0; c < 9; c++) {
      const int i = Cell(r, c);
      if (!IsPlainColour(grid[i])) continue;
      StartCellEntity(r, c, ENT_SPIN, static_cast<uint32_t>(32 * (r + c)));
    }
  }
  idleTimer = static_cast<uint32_t>(3000 - 1000 * (Rand() % 4));
}

void ClassLevel::TakeNextStone() {
  curStone = nextStone[0];
  nextStone[0] = nextStone[1];
  nextStone[1] = GetNextStone();
}

void ClassLevel::SwapNextStones(int32_t barCost) {
  const uint8_t t = nextStone[0];
  nextStone[0] = nextStone[1];
  nextStone[1] = t;
  Player()->bar += barCost;
  PlayEffect(1);
}

// The puzzle game's full bar drops the stone in hand at a random free drop
// position; false when there is none.
bool ClassLevel::ForcedPuzzleDrop() {
  const uint32_t count = FreeDropCells(grid);
  if (count == 0) return false;
  int k = Rand() % static_cast<int>(count);
  for (int p = 0; p < 17; p++) {
    if (grid[DropCell(p)] != 0) continue;
    if (k-- == 0) {
      dropPos = static_cast<uint8_t>(p);
      break;
    }
  }
  Drop();
  return true;
}

// Aiming and dropping by keys, wheel and stylus.
void ClassLevel::AimAndDrop(uint32_t delta) {
  AimByHeldKeys(delta);
  AimByWheel();
  TurnAsk ask = TakeTurnKeys();
  ask.Add(AimByStylus());
  if (ask.drop && curStone != 0) {
    Drop();
  } else if (ask.aimMoved) {
    PlayEffect(6);
  }
}

// The held aiming key repeats every 128 ms.
void ClassLevel::AimByHeldKeys(uint32_t delta) {
  ClassEInput* input = (mainData && mainData->ecd) ? mainData->ecd->input : nullptr;
  int step = 0;
  if (input && input->KeyHold(0xA2) && dropPos > 0)
    step = -1;
  else if (input && input->KeyHold(0xA3) && dropPos < 16)
    step = 1;
  if (step == 0) {
    aimRepeat = 0;
    return;
  }
  aimRepeat += delta;
  if (aimRepeat > 127) {
    dropPos = static_cast<uint8_t>(dropPos + step);
    aimRepeat = 0;
    PlayEffect(6);
  }
}

void ClassLevel::AimByWheel() {
  while (wheelAccu != 0) {
    const int step = wheelAccu < 0 ? -1 : 1;
    if (dropPos == (step < 0 ? 0 : 16)) {
      wheelAccu = 0;
      break;
    }
    dropPos = static_cast<uint8_t>(dropPos + step);
    wheelAccu -= step;
    PlayEffect(6);
  }
}

// Key presses: a press of an aiming key moves at once; drop and swap.
ClassLevel::TurnAsk ClassLevel::TakeTurnKeys() {
  ClassPlayer* pl = Player();
  TurnAsk ask;
  const uint32_t events = eventCount < 32 ? eventCount : 32;
  for (uint32_t i = 0; i < events; i++) {
    E_INPUTEVENT& ev = eventQueue[i];
    if (ev.type != EIT_DOWN) continue;
    if (ev.action == 0xA2 || ev.action == 0xA3) {
      ev.type = 0;
      aimRepeat = 0;
      if (ev.action == 0xA2 && dropPos > 0) {
        dropPos--;
        PlayEffect(6);
      } else if (ev.action == 0xA3 && dropPos < 16) {
        dropPos++;
        PlayEffect(6);
      }
    } else if (ev.action == 0) {
      ev.type = 0;
      ask.drop = true;
    } else if (ev.action == 1) {
      ev.type = 0;
      SwapNextStones(pl->mode == MODE_STANDARD ? 128 : 0);
    }
  }
  return ask;
}

// Pointer events first, then the held pointer: taken only while held, a press
// would never be seen as a tap (single tap could not drop).
ClassLevel::TurnAsk ClassLevel::AimByStylus() {
  const uint8_t stylusMode = StylusMode();
  TurnAsk ask;
  const uint32_t events = eventCount < 32 ? eventCount : 32;
  for (uint32_t i = 0; i < events; i++) {
    E_INPUTEVENT& ev = eventQueue[i];
    if (ev.action < 65 || ev.action > 67) continue;
    if (ev.type != EIT_DOWN && ev.type != EIT_DOUBLE && ev.type != EIT_UP) continue;
    const uint8_t type = ev.type;
    ev.type = 0;
    ask.Add(PointAt(ev.x, ev.y, type, stylusMode));
  }
  ClassEInput* input = (mainData && mainData->ecd) ? mainData->ecd->input : nullptr;
  if (input && input->ClickHold(0)) {
    int32_t x, y;
    input->GetClickPosition(x, y);
    ask.Add(PointAt(x, y, EIT_REPEAT, stylusMode));  // held: a tap of no stylus mode
  }
  return ask;
}

// Stylus: the cell's vertical line of the diamond is the drop position; the
// next-stones box swaps them.
ClassLevel::TurnAsk ClassLevel::PointAt(int32_t x, int32_t y, uint8_t type, uint8_t stylusMode) {
  ClassPlayer* pl = Player();
  TurnAsk ask;
  const int32_t row = FloorDiv(x - y + 68, 24);
  const int32_t col = FloorDiv(x + y - 172, 24);
  if (Inside(row, col)) {
    const uint8_t p = static_cast<uint8_t>(row + col > 16 ? 16 : row + col);
    if (p != dropPos) ask.aimMoved = true;
    dropPos = p;
    if ((stylusMode == MAINCONFIG::STYLUS_SINGLE_TAP && type == EIT_DOWN) ||
        (stylusMode == MAINCONFIG::STYLUS_DOUBLE_TAP && type == EIT_DOUBLE) ||
        (stylusMode == MAINCONFIG::STYLUS_TAP_RELEASE && type == EIT_UP))
      ask.drop = true;
  }
  if (type == EIT_DOWN && x >= 231 && x <= 254 && y >= 33 && y <= 56 &&
      !(pl->mode == MODE_STANDARD && pl->bar >= 1024))
    SwapNextStones(pl->mode == MODE_STANDARD ? 128 : 0);
  return ask;
}
