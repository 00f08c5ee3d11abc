// The breaking phase: wildcards, linked groups with their black and nuclear
// stones, scoring, bonuses and the packages they send.
#include <cstdio>
#include <cstring>

#include "game/app.h"
#include "game/level.h"
#include "game/player.h"

namespace {
bool Absorbable(uint8_t code) { return (code & 15) == CELL_BLACK || (code & 15) == CELL_NUCLEAR; }
}  // namespace

// The colour a wildcard in cell (r, c) takes, 0 when no plain colour is beside
// it: the one above, or a later neighbour where the fall table says so.
int ClassLevel::WildcardColour(const uint8_t* g, int r, int c, const uint8_t* table,
                               uint8_t& counter) {
  int colour = 0;
  for (int d = 0; d < 4; d++) {
    const int nr = r + kNeighbourDr[d], nc = c + kNeighbourDc[d];
    if (!Inside(nr, nc) || !IsPlainColour(g[Cell(nr, nc)])) continue;
    if (d == 0) {
      colour = g[Cell(nr, nc)];
    } else if (colour == 0 || table[counter & 15] == 1) {
      colour = g[Cell(nr, nc)];
      counter++;
    }
  }
  return colour;
}

bool ClassLevel::FindWildcard() {
  for (int r = 0; r < 9; r++) {
    for (int c = 0; c < 9; c++) {
      const int i = Cell(r, c);
      if (grid[i] != CELL_WILDCARD) continue;
      const int colour = WildcardColour(grid, r, c, fallTable, fallCounter);
      if (colour == 0) {
        gridState[i] = 30;
        continue;
      }
      PlayEffect(8);
      gridState[i] = static_cast<uint8_t>(colour);
      grid[i] = CELL_WILD_TAKING;
      fadeTimer = 255;
      fadePending = 1;
      turnPhase = 1;
      return true;
    }
  }
  return false;
}

// The group is the seed's colour component over four neighbours, found with a
// queue (each cell is looked at once); then the black and nuclear stones beside
// it. Group cells are the only non-absorbable cells marked 1 here.
uint32_t ClassLevel::LinkGroup(const uint8_t* g, uint8_t* mark, int seed) {
  const uint8_t t = g[seed] & 15;
  int cells[kGridCells];
  int n = 0, head = 0;
  mark[seed] = 1;
  cells[n++] = seed;
  while (head < n) {
    const int i = cells[head++];
    const int r = i / 9, c = i % 9;
    for (int d = 0; d < 4; d++) {
      const int nr = r + kNeighbourDr[d], nc = c + kNeighbourDc[d];
      if (!Inside(nr, nc)) continue;
      const int j = Cell(nr, nc);
      if (mark[j] != 0 || (g[j] & 15) != t) continue;
      mark[j] = 1;
      cells[n++] = j;
    }
  }
  const int members = n;
  int absorbed[kGridCells];
  int na = 0;
  for (int k = 0; k < members; k++) {
    const int r = cells[k] / 9, c = cells[k] % 9;
    for (int d = 0; d < 4; d++) {
      const int nr = r + kNeighbourDr[d], nc = c + kNeighbourDc[d];
      if (!Inside(nr, nc)) continue;
      const int j = Cell(nr, nc);
      if (mark[j] != 0 || !Absorbable(g[j])) continue;
      mark[j] = 1;
      absorbed[na++] = j;
    }
  }
  // Too small: black and nuclear stones stay open for another group.
  if (members < 4) {
    for (int k = 0; k < members; k++) mark[cells[k]] = 2;
    for (int k = 0; k < na; k++) mark[absorbed[k]] = 0;
  }
  return static_cast<uint32_t>(members);
}

void ClassLevel::FinishBreak(STONEENTITY& e) {
  const int i = Cell(e.srcRow, e.srcCol);
  if (e.stone == CELL_NUCLEAR) {
    PlayEffect(3);
    e.kind = ENT_EXPLOSION;
    e.timer = 0;
    grid[i] = CELL_EXPLODED;
    StartParticle(PART_FLASH, e.x, e.y);
  } else {
    e.stone = 0;
    grid[i] = 0;
    StartDebris(e.x, e.y);
    StartDebris(e.x, e.y);
  }
}

void ClassLevel::HandleStoneBreak(uint32_t delta) {
  ClassPlayer* pl = Player();
  if (!pl) return;
  if (FindWildcard()) return;
  BreakGroups();
  const bool hold = AdvanceBreakEntities(delta);
  if (levelState == ST_GAMEOVER) {
    if (!hold && stateTimer < 2) stateTimer = 2;
  } else if (hold) {
    settled = 0;
  } else {
    settled = 1;
    turnPhase = 1;
  }
}

// Every linked group of four or more breaks and scores.
void ClassLevel::BreakGroups() {
  ClassPlayer* pl = Player();
  for (int i = 0; i < kGridCells; i++) gridMark[i] = (grid[i] >= 1 && grid[i] <= 63) ? 0 : 2;
  int groups = 0;
  for (int s = 0; s < kGridCells; s++) {
    if (gridMark[s] != 0 || grid[s] >= 64 || (grid[s] & 15) >= 8) continue;
    const uint32_t n = LinkGroup(grid, gridMark, s);
    if (n < 4) continue;
    if (groups == 0) {
      pl->chain++;
      PlayEffect(pl->chain < 4 ? 11u + pl->chain : 15u);
    }
    groups++;
    for (int r = 0; r < 9; r++) {
      for (int c = 0; c < 9; c++) {
        const int i = Cell(r, c);
        if (gridMark[i] != 1) continue;
        gridMark[i] = 2;
        StartBreak(r, c);
      }
    }
    if (n - 4 > fireChance) fireChance = static_cast<uint8_t>(n - 4 > 255 ? 255 : n - 4);
    if (pl->chain > 4) pl->chain = 4;
    ScoreGroup(n, groups);
  }
}

// A group's score and its pop-up; the second group of a turn is a bonus, and
// in versus play each group sends a package.
void ClassLevel::ScoreGroup(uint32_t n, int groups) {
  ClassPlayer* pl = Player();
  const uint32_t perStone = 10u * pl->level < 100 ? 10u * pl->level : 100;
  const uint32_t p = perStone * n;
  pl->score += pl->chain * p;
  if (pl->chain < 2)
    std::snprintf(textBuffer, sizeof textBuffer, "+%u", static_cast<unsigned>(p));
  else
    std::snprintf(textBuffer, sizeof textBuffer, "%ux%u", static_cast<unsigned>(pl->chain),
                  static_cast<unsigned>(p));
  scorePopTimer = 384;
  if (groups == 2 && !IsPuzzle(pl->mode)) {
    if (pl->mode == MODE_MULTI) NetSendStones(1, 3);
    pl->bar = pl->bar > 512 ? pl->bar - 512 : 0;
    pl->score += 1000;
    bonusPopTimer = 768;
    PlayEffect(10);
  } else if (pl->mode == MODE_MULTI) {
    uint32_t kind = 2;
    if (pl->chain < 2) kind = Rand() % 100 < 50 ? 0 : 1;
    NetSendStones(n, kind);
  }
  if (pl->mode == MODE_TIMED) {
    const int32_t cut = static_cast<int32_t>(25 * n);
    pl->bar = pl->bar > cut ? pl->bar - cut : 0;
  }
}

// Breaks, clears and explosions run their time; true while an entity other
// than an explosion is still going (a spin holds the phase without running).
bool ClassLevel::AdvanceBreakEntities(uint32_t delta) {
  bool hold = false;
  for (auto& e : entity) {
    if (e.stone == 0) continue;
    if (e.kind == ENT_EXPLOSION) {
      e.timer += delta;
    } else if (e.kind == ENT_SPIN) {
      hold = true;
    } else {
      e.timer += delta;
      hold = true;
    }
    const int i = Cell(e.srcRow, e.srcCol);
    if (e.kind == ENT_BREAK && e.timer > kBreakTime) {
      FinishBreak(e);
    } else if (e.kind == ENT_CLEAR && e.timer > kClearTime) {
      e.stone = 0;
      grid[i] = 0;
      StartDebris(e.x, e.y);
    } else if (e.kind == ENT_EXPLOSION && e.timer > kExplosionTime) {
      e.stone = 0;
      grid[i] = 0;
    }
  }
  return hold;
}
