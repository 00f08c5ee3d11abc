// Level set-up: configuration per mode and level, the opening deal, next stones,
// the fall table and the seats.
#include <cstring>

#include "game/app.h"
#include "game/level.h"
#include "game/player.h"

namespace {

struct TutorialStone {
  uint8_t r, c, code;
};

const TutorialStone kTutorial1[] = {{0, 4, 1}, {0, 5, 3}, {0, 6, 2}, {0, 7, 3}, {0, 8, 1},
                                    {1, 5, 2}, {1, 6, 1}, {1, 7, 2}, {1, 8, 2}, {2, 6, 2},
                                    {2, 7, 1}, {2, 8, 2}, {3, 7, 1}, {3, 8, 3}, {4, 8, 3}};
const TutorialStone kTutorial2[] = {{0, 3, 1}, {0, 4, 3}, {0, 5, 5}, {0, 6, 3},  {0, 7, 3}, {0, 8, 4},
                                    {1, 4, 1}, {1, 5, 5}, {1, 6, 1}, {1, 7, 1},  {1, 8, 2}, {2, 5, 2},
                                    {2, 6, 2}, {2, 7, 4}, {2, 8, 11}, {3, 6, 1}, {3, 7, 5}, {3, 8, 4},
                                    {4, 7, 3}, {4, 8, 1}, {5, 8, 4}};
const TutorialStone kTutorial3[] = {
    {0, 2, 4}, {0, 3, 1}, {0, 4, 5}, {0, 5, 5}, {0, 6, 7}, {0, 7, 4}, {0, 8, 2},  {1, 3, 4},
    {1, 4, 1}, {1, 5, 3}, {1, 6, 3}, {1, 7, 7}, {1, 8, 5}, {2, 4, 4}, {2, 5, 2},  {2, 6, 2},
    {2, 7, 4}, {2, 8, 1}, {3, 5, 2}, {3, 6, 6}, {3, 7, 5}, {3, 8, 11}, {4, 6, 3}, {4, 7, 6},
    {4, 8, 3}, {5, 7, 6}, {5, 8, 7}, {6, 8, 4}};

template <size_t N>
void PlaceTutorial(uint8_t* grid, const TutorialStone (&stones)[N]) {
  for (const auto& s : stones) grid[ClassLevel::Cell(s.r, s.c)] = s.code;
}

}  // namespace

void ClassLevel::CreateRandom(uint8_t level) {
  ClassPlayer* pl = Player();
  const uint8_t mode = pl ? pl->mode : uint8_t{MODE_STANDARD};
  barAccu = 0;
  idleTimer = 0;
  blackPerBar = freezeInterval = nuclearThreshold = dormantMax = hardLevel = 0;
  if (mode == MODE_MULTI) {
    colours = static_cast<uint8_t>(level + 2 < 7 ? level + 2 : 7);
    barSpeed = 32;
  } else if (IsPuzzle(mode)) {
    colours = static_cast<uint8_t>(level + 2 < 7 ? level + 2 : 7);
    barSpeed = static_cast<uint16_t>(level > 5 ? 8 * level - 8 : 32);
    blackPerBar = colours;
  } else if (mode == MODE_TUTORIAL) {
    SetUpTutorialBoard(level);
  } else {
    EmptyGrid();
    SetUpLevelRules(level);
    DealOpening();
  }
  reserved0[0] = reserved0[1] = reserved0[2] = 0;
}

void ClassLevel::SetUpTutorialBoard(uint8_t level) {
  colours = 3;
  barSpeed = 32;
  if (level == 1) {
    blackPerBar = 2;
    PlaceTutorial(grid, kTutorial1);
  } else if (level == 2) {
    colours = 5;
    blackPerBar = 3;
    PlaceTutorial(grid, kTutorial2);
  } else if (level == 3) {
    colours = 7;
    barSpeed = 48;
    blackPerBar = 2;
    hardLevel = 1;
    PlaceTutorial(grid, kTutorial3);
  }
}

// The rules of a level of the single games: colours, bar speed, stones per
// full bar, freezing, skulls, nuclear stones and dormant biohazards.
void ClassLevel::SetUpLevelRules(uint32_t L) {
  colours = L >= 11 ? 7 : L >= 7 ? 6 : L >= 4 ? 5 : L >= 2 ? 4 : 3;
  barSpeed = L >= 10 ? 48 : 32;
  if (L == 0)
    blackPerBar = 0;
  else if (L <= 2)
    blackPerBar = static_cast<uint8_t>(L);
  else if (L <= 4)
    blackPerBar = static_cast<uint8_t>(L);
  else if (L <= 13)
    blackPerBar = 5;
  else if (L <= 15)
    blackPerBar = 1;
  else if (L <= 17)
    blackPerBar = 2;
  else
    blackPerBar = 3;
  freezeInterval = L >= 12 ? 1 : L >= 6 ? 2 : 0;
  hardLevel = L >= 14 ? 1 : 0;
  nuclearThreshold = hardLevel ? 24 : L >= 7 ? 64 : L >= 3 ? 48 : 0;
  dormantMax = L >= 9 ? 1 : 0;
}

// The opening deal: the lower half of the diamond, row by row.
void ClassLevel::DealOpening() {
  uint32_t dormantPlaced = 0;
  for (int r = 0; r < 9; r++) {
    for (int c = r; c < 9; c++) {
      int u = Rand() % colours + 1;
      if (dormantPlaced < dormantMax && Rand() % 30 == 17) {
        u = CELL_DORMANT;
        dormantPlaced++;
      }
      if (nuclearThreshold != 0 && Rand() % 30 == 13) u = CELL_NUCLEAR;
      if (DealtLinks(r, c, u) > 1) u = OtherColour(r, c);
      grid[Cell(r, c)] = static_cast<uint8_t>(u);
    }
  }
}

// How far stone u in cell (r, c) would link with the stones dealt before it.
int ClassLevel::DealtLinks(int r, int c, int u) const {
  auto at = [&](int rr, int cc) -> int { return Inside(rr, cc) ? grid[Cell(rr, cc)] : -1; };
  int count = 0;
  if (at(r, c - 1) == u) {
    count = at(r, c - 2) == u ? 2 : 1;
    if (at(r - 1, c - 1) == u) count++;
    if (at(r + 1, c - 1) == u) count++;
  }
  if (at(r - 1, c) == u) {
    count += at(r - 2, c) == u ? 2 : 1;
    if (at(r - 1, c - 1) == u) count++;
    if (at(r - 1, c + 1) == u) count++;
  }
  return count;
}

// A colour other than those of the two neighbours dealt before cell (r, c).
int ClassLevel::OtherColour(int r, int c) {
  const int B = c > 0 ? grid[Cell(r, c - 1)] : 0;
  int A = r > 0 ? grid[Cell(r - 1, c)] : 0;
  if (A == 0) A = B;
  int u;
  if (B == 0 || A == B) {
    u = Rand() % (colours - 1) + 1;
    if (u == A) u++;
  } else {
    const int t = Rand() % (colours - 2);
    u = t + 1;
    if (t + 1 == A || t + 1 == B) u = t + 2;
    if (u == A || u == B) u++;
  }
  return u;
}

uint8_t ClassLevel::GetNextStone() {
  ClassPlayer* pl = Player();
  const uint8_t mode = pl ? pl->mode : uint8_t{MODE_STANDARD};
  if (mode == MODE_MULTI) {
    if (Rand() % 100 > 94) return CELL_WILDCARD;
    if (Rand() % 100 < 5) return CELL_NUCLEAR;
    return static_cast<uint8_t>(Rand() % colours + 1);
  }
  if (mode == MODE_TUTORIAL) return tutorialStones[tutorialNext++ & 127];
  if (IsPuzzle(mode)) return static_cast<uint8_t>(Rand() % colours + 1);

  if (nuclearThreshold != 0) {
    nuclearCounter = static_cast<uint8_t>(nuclearCounter + ((Rand() / 256) & 3) + 1);
    if (nuclearCounter >= nuclearThreshold) {
      nuclearCounter = 0;
      return CELL_NUCLEAR;
    }
  }
  if (Rand() % 100 > 94) return CELL_WILDCARD;
  if (fireChance != 0) {
    if (fireChance > 3) fireChance = 3;
    const int hit = Rand() % (11 - 3 * fireChance) == 1;
    fireChance = 0;
    if (hit) return CELL_FIRE;
  }
  bool present[8] = {};
  int count = 0;
  for (int i = 0; i < kGridCells; i++) {
    const int col = grid[i] & 15;
    if (col >= 1 && col <= 7 && !present[col]) {
      present[col] = true;
      count++;
      if (pl) pl->lastColour = static_cast<uint8_t>(col);
    }
  }
  if (count == 0) return pl ? pl->lastColour : 1;
  int k = Rand() % count;
  for (int col = 1; col <= 7; col++)
    if (present[col] && k-- == 0) return static_cast<uint8_t>(col);
  return 1;
}

void ClassLevel::BuildFallTable() {
  std::memset(fallTable, 0, sizeof fallTable);
  uint32_t index = 0;
  for (int i = 0; i < 8; i++) {
    fallTable[index & 15] = 1;
    index += 1 + Rand() % 2;
  }
}

void ClassLevel::BuildTutorialFallTable() {
  static const uint8_t kTable[16] = {0, 1, 0, 0, 1, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1};
  std::memcpy(fallTable, kTable, sizeof fallTable);
}

void ClassLevel::EmptyGrid() {
  std::memset(grid, 0, sizeof grid);
  std::memset(gridState, 0, sizeof gridState);
  std::memset(coGrid, 0, sizeof coGrid);
  std::memset(coFallStep, 0, sizeof coFallStep);
  fadePending = 1;
  fadeTimer = 0;
}

void ClassLevel::ResetCoPlayers() {
  PLAYERSLOT& own = slot[3];
  std::memset(own.name, 0, sizeof own.name);
  if (mainData && mainData->settings) {
    std::memcpy(own.name, mainData->settings->PlayerName(), 31);
  }
  own.connection = 0;
  own.kind = SEAT_REMOTE;  // no player number until a networked game starts
  own.link = LINK_CONNECTED;
  own.barShown = own.bar = 0;
  own.score = own.silence = 0;
  for (int s = 0; s < 3; s++) {
    slot[s].kind = SEAT_EMPTY;
    slot[s].link = LINK_FREE;
    slot[s].barShown = slot[s].bar = 0;
    slot[s].score = slot[s].silence = 0;
    coPhase[s] = 0;
  }
  std::memset(cpuPlayer, 0, sizeof cpuPlayer);
  ClassPlayer* pl = Player();
  if (pl && pl->mode == MODE_MULTI)
    for (int s = 0; s < 3; s++)
      slot[s].kind =
          static_cast<uint8_t>(pl->kind == MULTI_VERSUS_CPU ? SEAT_CPU_FRED + s : SEAT_REMOTE);
}
