// The co-player grids: the rules of the own board in a compact form without
// entities. A cell's byte holds its state (falling, breaking, clearing, taking a
// colour) and the seat's 16-bit plane its progress in milliseconds.
#include <cstring>

#include "game/app.h"
#include "game/level.h"
#include "game/player.h"

namespace {

constexpr uint8_t kBreaking = 0x40;  // + code, empties at 384 ms
constexpr uint8_t kClearing = 0x50;  // + code, empties at 896 ms
constexpr uint8_t kTaking = 0x60;    // + colour, becomes the colour above 254 ms
constexpr uint8_t kFalling = 0x80;   // 0x80, 0x90, 0xA0 + code by direction, ends at 112 ms
// The own board's entity timings: a cell's state ends once its progress passes
// them. An explosion burns as long as on the own board, then its cell empties.
constexpr int16_t kBreakEnd = kBreakTime + 1;
constexpr int16_t kClearEnd = kClearTime + 1;
constexpr int16_t kFallEnd = kFallTime + 1;
constexpr int16_t kBlastEnd = kExplosionTime + 1;
constexpr int16_t kTakeEnd = 254;  // the colour shows above this
// A biohazard that lands after a fall starts its countdown again.
constexpr int16_t kBiohazardTurns = 3;


bool AtRest(uint8_t code) { return code >= 1 && code <= 15; }
bool IsFalling(uint8_t code) { return code >= 0x81 && code <= 0xAF; }

// Advances every animating cell of a grid by delta. Returns whether any cell is
// still animating; an explosion counts only when blasts holds the phase open. A
// vacated cell needs no count: the fall out of it is still running.
bool AdvanceCells(uint8_t* g, int16_t* step, uint32_t delta, bool blasts) {
  const int16_t d = static_cast<int16_t>(delta > 1000 ? 1000 : delta);
  bool busy = false;
  for (int i = 0; i < kGridCells; i++) {
    const uint8_t v = g[i];
    if (v >= kBreaking && v < kFalling) {
      step[i] = static_cast<int16_t>(step[i] + d);
      const uint8_t code = v & 15;
      if (v < kClearing) {
        if (step[i] >= kBreakEnd) {
          g[i] = code == CELL_NUCLEAR ? CELL_EXPLODED : 0;
          step[i] = 0;
        }
      } else if (v < kTaking) {
        if (step[i] >= kClearEnd) {
          g[i] = 0;
          step[i] = 0;
        }
      } else if (step[i] > kTakeEnd) {
        // Held open one more step, so that the next breaking step links the new colour.
        g[i] = code;
        step[i] = 0;
        busy = true;
      }
      if (g[i] == v || (g[i] == CELL_EXPLODED && blasts)) busy = true;
    } else if (IsFalling(v)) {
      step[i] = static_cast<int16_t>(step[i] + d);
      if (step[i] >= kFallEnd) {
        const int dir = (v - 0x70) >> 4;
        const int r = i / 9, c = i % 9;
        const int sr = dir == 2 ? r : r + 1;
        const int sc = dir == 1 ? c : c - 1;
        const uint8_t code = v & 15;
        g[i] = code;
        step[i] = code == CELL_BIOHAZARD ? kBiohazardTurns : 0;
        if (ClassLevel::Inside(sr, sc)) {
          const int src = ClassLevel::Cell(sr, sc);
          if (g[src] >= 0xC1 && g[src] <= 0xC3) g[src] = 0;
        }
      } else {
        busy = true;
      }
    } else if (v == CELL_EXPLODED) {
      step[i] = static_cast<int16_t>(step[i] + d);
      if (step[i] >= kBlastEnd) {
        g[i] = 0;
        step[i] = 0;
      } else if (blasts) {
        busy = true;
      }
    }
  }
  return busy;
}

}  // namespace

namespace {

// Starts the fall of every resting stone that can fall; true when one did.
bool StartFalls(uint8_t* g, int16_t* step, const uint8_t* table, uint8_t& counter) {
  bool moved = false;
  for (int r = 0; r < 9; r++) {
    for (int c = 0; c < 9; c++) {
      const int i = ClassLevel::Cell(r, c);
      const uint8_t code = g[i];
      if (!AtRest(code) || code == CELL_FIXED) continue;
      const int dir = ClassLevel::FallDirection(g, r, c, table, counter);
      if (dir == 0) continue;
      const int t = ClassLevel::Cell(dir == 2 ? r : r - 1, dir == 1 ? c : c + 1);
      g[t] = static_cast<uint8_t>(0x70 + 0x10 * dir + code);
      step[t] = 0;
      g[i] = static_cast<uint8_t>(CELL_VACATED + dir);
      moved = true;
    }
  }
  return moved;
}

// A full grid clears, staggered from the top corner to the bottom corner.
bool ClearWhenFull(uint8_t* g, int16_t* step) {
  uint32_t stones = 0;
  for (int i = 0; i < kGridCells; i++) stones += AtRest(g[i]);
  if (stones <= 80) return false;
  for (int r = 0; r < 9; r++)
    for (int c = 0; c < 9; c++) {
      const int i = ClassLevel::Cell(r, c);
      g[i] = static_cast<uint8_t>(kClearing + g[i]);
      step[i] = static_cast<int16_t>(320 + 24 * (r - c));
    }
  return true;
}

}  // namespace

void ClassLevel::HandleSmallHUD(uint32_t delta) {
  ClassPlayer* pl = Player();
  if (!pl) return;
  for (uint32_t s = 0; s < 3; s++) {
    // Computer seats score on the console that runs them; remote seats' scores
    // come with their grids.
    const bool scores = IsComputerSeat(slot[s].kind) && pl->kind <= MULTI_HOST_WIRELESS;
    if (coPhase[s] == 1 || coPhase[s] == 3)
      CoGridFallStep(s, delta, scores);
    else
      CoGridBreakStep(s, delta, scores);
  }
}

void ClassLevel::CoGridFallStep(uint32_t s, uint32_t delta, bool scores) {
  uint8_t* g = coGrid[s];
  int16_t* step = coFallStep[s];
  bool moved = StartFalls(g, step, fallTable, coFallCounter[s]);
  if (AdvanceCells(g, step, delta, true)) moved = true;
  if (CoGridBlasts(s, scores)) moved = true;
  if (moved) {
    coPhase[s] = 1;
    return;
  }
  // A computer seat's turn is over: a host shows its board to the remote players.
  if (coPhase[s] == 3 && scores) NetSendCPUGrid(static_cast<uint8_t>(s));
  coPhase[s] = coPhase[s] == 1 ? 4 : 0;
}

// Explosions set off their eight neighbours; true when one did.
bool ClassLevel::CoGridBlasts(uint32_t s, bool scores) {
  uint8_t* g = coGrid[s];
  int16_t* step = coFallStep[s];
  bool blast = false;
  for (int i = 0; i < kGridCells; i++) blast |= g[i] == CELL_EXPLODED;
  if (!blast) return false;
  const uint32_t level = Player()->level;
  bool moved = false;
  for (int r = 0; r < 9; r++) {
    for (int c = 0; c < 9; c++) {
      const int i = Cell(r, c);
      if (!AtRest(g[i]) || !NextToBlast(g, r, c)) continue;
      if (scores) slot[s].score += (g[i] == CELL_SKULL ? 25u : 5u) * level;
      g[i] = static_cast<uint8_t>(kBreaking + g[i]);
      step[i] = 0;
      moved = true;
    }
  }
  return moved;
}

// Wildcards take a colour (tie-break by the fall table, as on the own board).
void ClassLevel::CoGridTakeWildcards(uint32_t s) {
  uint8_t* g = coGrid[s];
  for (int r = 0; r < 9; r++) {
    for (int c = 0; c < 9; c++) {
      const int i = Cell(r, c);
      if (g[i] != CELL_WILDCARD) continue;
      const int colour = WildcardColour(g, r, c, fallTable, coFallCounter[s]);
      if (colour == 0) continue;
      g[i] = static_cast<uint8_t>(kTaking + colour);
      coFallStep[s][i] = 0;
    }
  }
}

void ClassLevel::CoGridBreakStep(uint32_t s, uint32_t delta, bool scores) {
  uint8_t* g = coGrid[s];
  int16_t* step = coFallStep[s];
  CoGridTakeWildcards(s);
  if (ClearWhenFull(g, step)) slot[s].score >>= 1;
  if (coPhase[s] != 0) CoGridBreakGroups(s, scores);
  const bool busy = AdvanceCells(g, step, delta, false);
  if (coPhase[s] != 0) coPhase[s] = busy ? 2 : 3;
}

// Linked groups of four or more break; a computer seat scores them and sends
// their packages as the own board does.
void ClassLevel::CoGridBreakGroups(uint32_t s, bool scores) {
  uint8_t* g = coGrid[s];
  int16_t* step = coFallStep[s];
  uint8_t mark[kGridCells];
  for (int i = 0; i < kGridCells; i++) mark[i] = AtRest(g[i]) ? 0 : 2;
  uint32_t groups = 0;
  for (int seed = 0; seed < kGridCells; seed++) {
    if (mark[seed] != 0 || !IsPlainColour(g[seed])) continue;
    const uint32_t n = LinkGroup(g, mark, seed);
    if (n < 4) continue;
    for (int i = 0; i < kGridCells; i++) {
      if (mark[i] != 1) continue;
      mark[i] = 2;
      g[i] = static_cast<uint8_t>(kBreaking + g[i]);
      step[i] = 0;
    }
    groups++;
    if (scores) CPUScoreGroup(s, n, groups);
  }
}

void ClassLevel::CPUScoreGroup(uint32_t s, uint32_t n, uint32_t groups) {
  CPUPLAYER& cpu = cpuPlayer[s];
  const uint32_t level = Player()->level;
  if (groups == 1 && cpu.chain < 4) cpu.chain++;
  slot[s].score += cpu.chain * level * n * 10;
  if (groups == 2) {
    slot[s].score += 1000;
    NetSendStoneCPUPkg(s, 1, 3);
  } else {
    uint32_t kind = 2;
    if (cpu.chain < 2) kind = Rand() % 100 < 50 ? 0 : 1;
    NetSendStoneCPUPkg(s, n, kind);
  }
}
