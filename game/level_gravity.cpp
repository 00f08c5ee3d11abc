// The falling phase: new falls, the stone animations, fire runs, explosions and
// the board rules at the end of a turn.
#include <cstring>

#include "game/app.h"
#include "game/level.h"
#include "game/player.h"

// A diagonal is free (2) when empty or left the same way, half free (1) when its
// stone leaves straight down: then only a straight fall is possible.
int ClassLevel::FallDirection(const uint8_t* g, int r, int c, const uint8_t* table, uint8_t& counter) {
  int e = 0, f = 0;
  if (r > 0) {
    const uint8_t t = g[Cell(r - 1, c)];
    e = (t == 0 || t == 193) ? 2 : t == 195 ? 1 : 0;
  }
  if (c < 8) {
    const uint8_t t = g[Cell(r, c + 1)];
    f = (t == 0 || t == 194) ? 2 : t == 195 ? 1 : 0;
  }
  if (e && f && g[Cell(r - 1, c + 1)] == 0) return 3;
  if (e == 2 && f == 2) return table[counter++ & 15] ? 2 : 1;
  if (e == 2) return 1;
  if (f == 2) return 2;
  return 0;
}

void ClassLevel::StartBreak(int r, int c) {
  if (!StartCellEntity(r, c, ENT_BREAK, 0)) grid[Cell(r, c)] = 0;
}

void ClassLevel::BurnCell(int r, int c) {
  if (!Inside(r, c)) return;
  const uint8_t code = grid[Cell(r, c)];
  if (code < 1 || code > 63) return;
  StartBreak(r, c);
  ClassPlayer* pl = Player();
  pl->score += 5u * pl->level;
  if (code == CELL_SKULL) pl->score += 20u * pl->level;
}

void ClassLevel::AdvanceFire(STONEENTITY& e, uint32_t delta) {
  while (e.timer > 32) {
    e.timer -= 32;
    StartParticle(PART_SPARK, e.x, e.y);
  }
  e.destRow += static_cast<int32_t>(delta * 24);
  e.y += e.destRow / 96;
  e.destRow %= 96;
  if (e.destCol != kFireStopped) {
    e.destCol += static_cast<int32_t>(delta);
    while (e.destCol != kFireStopped && e.destCol >= 96) {
      e.destCol -= 96;
      int row = e.srcRow, col = e.srcCol;
      if (row == 0 || col == 8) {
        e.destCol = kFireStopped;
      } else {
        row--;
        col++;
        e.srcRow = static_cast<uint8_t>(row);
        e.srcCol = static_cast<uint8_t>(col);
      }
      BurnCell(row, col);
      if (e.destCol != kFireStopped) {
        if (row < 8) BurnCell(row + 1, col);
        if (col > 0) BurnCell(row, col - 1);
      }
    }
  }
  if (e.y > 143) e.stone = 0;
}

int ClassLevel::AdvanceEntitiesGravity(uint32_t delta) {
  int active = 0;
  for (auto& e : entity) {
    if (e.stone == 0) continue;
    if (e.kind != ENT_SPIN) e.timer += delta;
    switch (e.kind) {
      case ENT_FALL_LEFT:
      case ENT_FALL_RIGHT:
      case ENT_FALL_DOWN:
        if (e.timer > kFallTime) {
          e.stone = 0;
          grid[Cell(e.destRow, e.destCol)] &= 0x7F;
          const int src = Cell(e.srcRow, e.srcCol);
          if (grid[src] >= 192) grid[src] = 0;
        }
        break;
      case ENT_FADEIN:
        if (e.timer > kFadeInTime) {
          e.stone = 0;
          grid[Cell(e.srcRow, e.srcCol)] &= 0x7F;
        }
        break;
      case ENT_BREAK:
        if (e.timer > kBreakTime) FinishBreak(e);
        break;
      case ENT_FIRE:
        AdvanceFire(e, delta);
        break;
      case ENT_EXPLOSION:
        if (e.timer > kExplosionTime) {
          e.stone = 0;
          grid[Cell(e.srcRow, e.srcCol)] = 0;
        }
        break;
      default:
        break;
    }
    if (e.stone != 0) active++;
  }
  return active;
}

bool ClassLevel::NextToBlast(const uint8_t* g, int r, int c) {
  for (int dr = -1; dr <= 1; dr++)
    for (int dc = -1; dc <= 1; dc++)
      if ((dr || dc) && Inside(r + dr, c + dc) && g[Cell(r + dr, c + dc)] == CELL_EXPLODED)
        return true;
  return false;
}

void ClassLevel::HandleGravity(uint32_t delta) {
  if (!Player()) return;
  const bool moved = StartStoneFalls();
  AdvanceEntitiesGravity(delta);
  BurnNextToBlasts();
  bool active = false;
  for (const auto& e : entity)
    if (e.stone != 0) active = true;
  SettleTurn(moved || active);
}

// Every stone that can fall starts its fall (one without a free entity falls
// in a later step); true when one did.
bool ClassLevel::StartStoneFalls() {
  bool moved = false;
  for (int r = 0; r < 9; r++) {
    for (int c = 0; c < 9; c++) {
      const int i = Cell(r, c);
      const uint8_t code = grid[i];
      if (code < 1 || code > 63 || code == CELL_FIXED) continue;
      const int dir = FallDirection(grid, r, c, fallTable, fallCounter);
      if (dir == 0) continue;
      const uint32_t k = FreeQEntity();
      if (k == kMaxEntities) continue;
      const int tr = dir == 2 ? r : r - 1;
      const int tc = dir == 1 ? c : c + 1;
      STONEENTITY& en = entity[k];
      std::memset(&en, 0, sizeof en);
      en.kind = static_cast<uint8_t>(dir);
      en.stone = code;
      en.x = 12 * (r + c);
      en.y = 12 * (c - r);
      en.srcRow = static_cast<uint8_t>(r);
      en.srcCol = static_cast<uint8_t>(c);
      en.destRow = tr;
      en.destCol = tc;
      const int t = Cell(tr, tc);
      grid[t] = code | CELL_MOVING;
      gridState[t] = gridState[i];
      grid[i] = static_cast<uint8_t>(CELL_VACATED + dir);
      moved = true;
    }
  }
  return moved;
}

// Explosions set off their eight neighbours.
void ClassLevel::BurnNextToBlasts() {
  for (int r = 0; r < 9; r++) {
    for (int c = 0; c < 9; c++) {
      const uint8_t code = grid[Cell(r, c)];
      if (code < 1 || code > 63) continue;
      if (NextToBlast(grid, r, c)) BurnCell(r, c);
    }
  }
}

// A still board hands over to the breaking phase once, then, still after the
// breaks, ends the turn.
void ClassLevel::SettleTurn(bool moving) {
  ClassPlayer* pl = Player();
  if (moving) {
    settled = 0;
  } else if (settled == 0) {
    // The puzzle game never breaks while stones are dropped. Its still step stays
    // in this phase instead of handing back at once: a stone that has just ended
    // one fall step may fall on, and would otherwise hang until the next drop.
    turnPhase = pl->mode == MODE_PUZZLE ? 1 : 2;
    settled = 1;
  } else {
    if (!fadePending) EndTurnRules();
    if (fadeTimer == 0) fadePending = 0;
    turnPhase = 0;
    if (pl->mode == MODE_MULTI && pl->kind != MULTI_VERSUS_CPU) NetSendGrid();
    settled = 1;
  }
}

void ClassLevel::EndTurnRules() {
  ClassPlayer* pl = Player();
  if (!IsPuzzle(pl->mode)) {
    pl->turns++;
    for (int i = 0; i < kGridCells; i++) {
      if (grid[i] == CELL_DORMANT) {
        grid[i] = CELL_BIOHAZARD;
        gridState[i] = 56;
      } else if (grid[i] == CELL_BIOHAZARD) {
        gridState[i] = static_cast<uint8_t>((gridState[i] & 0xF0) | 8);
      }
    }
    std::memset(gridMark, 0, sizeof gridMark);
    for (int i = 0; i < kGridCells; i++) {
      const uint8_t code = grid[i];
      if (IsPlainColour(code)) {
        gridState[i] = 0;
        continue;
      }
      if (code != CELL_FIXED && code != CELL_BIOHAZARD) {
        if (gridState[i] != 0) {
          gridState[i]--;
          if (gridState[i] == 0 && code < 48) grid[i] = code & 15;
        }
      } else if (code == CELL_FIXED || (pl->passes % 2) == 0 || gridState[i] >= 64) {
        if (gridState[i] >= 16) {
          gridState[i] -= 16;
          if (gridState[i] < 16) {
            fadePending = 1;
            fadeTimer = 255;
          }
        }
      }
    }
    if (freezeInterval != 0 && pl->turns % freezeInterval == 0) {
      const int r = Rand() % 9;
      const int c = Rand() % 9;
      const int i = Cell(r, c);
      if (IsPlainColour(grid[i])) {
        gridState[i] = static_cast<uint8_t>(64 + grid[i]);
        grid[i] = CELL_FIXED;
        fadePending = 1;
        fadeTimer = 255;
      }
    }
  }
  pl->passes++;
  if (pl->passes % 2 == 0) SpreadBiohazard();
}

void ClassLevel::SpreadBiohazard() {
  for (int r = 0; r < 9; r++) {
    for (int c = 0; c < 9; c++) {
      const int i = Cell(r, c);
      if (!IsPlainColour(grid[i])) continue;
      for (int d = 0; d < 4; d++) {
        const int nr = r + kNeighbourDr[d], nc = c + kNeighbourDc[d];
        if (!Inside(nr, nc)) continue;
        const int n = Cell(nr, nc);
        if (grid[n] != CELL_BIOHAZARD || gridMark[n] != 0) continue;
        if (Rand() % 100 >= 50) continue;
        gridMark[n] = 1;
        gridState[i] = static_cast<uint8_t>(64 + grid[i]);
        grid[i] = CELL_BIOHAZARD;
        fadePending = 1;
        fadeTimer = 255;
        PlayEffect(9);
        return;
      }
    }
  }
}
