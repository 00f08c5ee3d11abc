// Computer players: their drop clock, the choice of a drop position, incoming
// attack stones, the biohazard rules of their grids and the packages they send.
#include <cstring>

#include "game/app.h"
#include "game/level.h"
#include "game/player.h"

namespace {

enum Skill : uint8_t { kWeak, kMedium, kStrong };

// Weights of a drop position's value (see CPUDropValue).
constexpr int32_t kHeightCost = 4;      // per step of the resting cell above the bottom corner
constexpr int32_t kDropCellCost = 40;   // resting on a drop cell takes it away
constexpr int32_t kLinkWeight = 24;     // per stone linked within two steps
constexpr int32_t kBreakBonus = 160;    // the drop completes a group of four
constexpr int32_t kGroupWeight = 12;    // per stone of that group beyond four
constexpr int32_t kForeignCost = 6;     // per neighbour of another colour
constexpr int32_t kNearStrict = 30;     // the straight fall rests between two of its colour
constexpr int32_t kNearLoose = 10;      // ... between one of its colour and another stone
constexpr int32_t kWildcardBonus = 20;  // a wildcard, when the skill is above 89
constexpr int32_t kNuclearWeight = 8;   // per colour neighbour of a nuclear stone

// Biohazards on a computer player's grid test their neighbours above, below,
// left and right, in that order.
constexpr int kInfectDr[4] = {-1, 1, 0, 0};
constexpr int kInfectDc[4] = {0, 0, -1, 1};

// Size of the plain-colour group that cell i belongs to (a flood over four
// neighbours), counted on a scratch plane.
uint32_t GroupSize(const uint8_t* g, int start) {
  const uint8_t t = g[start];
  uint8_t seen[kGridCells] = {};
  int queue[kGridCells];
  int head = 0, tail = 0;
  queue[tail++] = start;
  seen[start] = 1;
  while (head < tail) {
    const int i = queue[head++];
    const int r = i / 9, c = i % 9;
    for (int d = 0; d < 4; d++) {
      const int nr = r + kNeighbourDr[d], nc = c + kNeighbourDc[d];
      if (!ClassLevel::Inside(nr, nc)) continue;
      const int j = ClassLevel::Cell(nr, nc);
      if (seen[j] || g[j] != t) continue;
      seen[j] = 1;
      queue[tail++] = j;
    }
  }
  return static_cast<uint32_t>(tail);
}

bool HasColourNeighbour(const uint8_t* g, int i) {
  const int r = i / 9, c = i % 9;
  for (int d = 0; d < 4; d++) {
    const int nr = r + kNeighbourDr[d], nc = c + kNeighbourDc[d];
    if (ClassLevel::Inside(nr, nc) && IsPlainColour(g[ClassLevel::Cell(nr, nc)])) return true;
  }
  return false;
}

// Cell where a stone dropped into the empty cell (r, c) of a still grid stops
// by the fall rule, ties read from the seat's fall-table counter. The stone
// pauses after every cell for a breaking step, so it stops early where it
// completes a group on the way (a wildcard where it meets a colour).
int RestCell(uint8_t* g, int r, int c, uint8_t stone, const uint8_t* table, uint8_t counter) {
  for (bool moved = false;; moved = true) {
    const int i = ClassLevel::Cell(r, c);
    if (moved) {
      if (stone == CELL_WILDCARD) {
        if (HasColourNeighbour(g, i)) return i;
      } else if (IsPlainColour(stone)) {
        g[i] = stone;
        const uint32_t n = GroupSize(g, i);
        g[i] = 0;
        if (n >= 4) return i;
      }
    }
    const int dir = ClassLevel::FallDirection(g, r, c, table, counter);
    if (dir == 0) return i;
    if (dir != 2) r--;
    if (dir != 1) c++;
  }
}

}  // namespace

uint32_t ClassLevel::FreeDropCells(const uint8_t* g) {
  uint32_t n = 0;
  for (int p = 0; p < 17; p++)
    if (g[DropCell(p)] == 0) n++;
  return n;
}

int ClassLevel::NthFreeDropCell(const uint8_t* g, uint32_t k) {
  for (int p = 0; p < 17; p++) {
    const int i = DropCell(p);
    if (g[i] != 0) continue;
    if (k-- == 0) return i;
  }
  return -1;
}

uint32_t ClassLevel::CPUCheckLinkScore(uint32_t seat, int row, int col) const {
  if (seat >= 3 || !Inside(row, col)) return 0;
  const uint8_t* g = coGrid[seat];
  const uint8_t t = g[Cell(row, col)];
  if (!IsPlainColour(t)) return 0;
  // Marks hold the step that reached a cell, so each step grows by one cell only.
  uint8_t mark[kGridCells] = {};
  mark[Cell(row, col)] = 1;
  uint32_t count = 0;
  for (uint8_t step = 1; step <= 2; step++) {
    for (int r = 0; r < 9; r++) {
      for (int c = 0; c < 9; c++) {
        const int i = Cell(r, c);
        if (mark[i] != 0 || g[i] != t) continue;
        for (int d = 0; d < 4; d++) {
          const int nr = r + kNeighbourDr[d], nc = c + kNeighbourDc[d];
          if (!Inside(nr, nc)) continue;
          const uint8_t m = mark[Cell(nr, nc)];
          if (m != 0 && m <= step) {
            mark[i] = static_cast<uint8_t>(step + 1);
            count++;
            break;
          }
        }
      }
    }
  }
  return count;
}

uint8_t ClassLevel::CPUGetNearStone(uint32_t seat, uint8_t stone, bool strict) const {
  if (seat >= 3) return 255;
  const uint8_t* g = coGrid[seat];
  auto matches = [stone](uint8_t code) {
    return IsPlainColour(code) && (code == stone || stone == CELL_WILDCARD);
  };
  for (int p = 0; p < 17; p++) {
    int r = p < 8 ? p : 8, c = p < 8 ? 0 : p - 8;
    if (g[Cell(r, c)] != 0) continue;
    while (r > 0 && c < 8 && g[Cell(r - 1, c + 1)] == 0) {
      r--;
      c++;
    }
    if (r == 0 || c == 8) continue;  // an edge, not between two stones
    const uint8_t a = g[Cell(r - 1, c)], b = g[Cell(r, c + 1)];
    if (a == 0 || b == 0) continue;
    const bool hit = strict ? (matches(a) && matches(b) && a == b) : (matches(a) || matches(b));
    if (hit) return static_cast<uint8_t>(p);
  }
  return 255;
}

// The value of dropping a stone at free drop position p; each step is taken
// only when the skill allows, so a weak player leaves much unjudged.
int32_t ClassLevel::CPUDropValue(const CPUJudge& j, int p) {
  const uint8_t stone = j.stone;
  const uint32_t skill = j.skill;
  if (static_cast<uint32_t>(Rand() % 50) >= skill) return -500;
  uint8_t* g = coGrid[j.seat];
  const int start = DropCell(p);
  const int rest = RestCell(g, start / 9, start % 9, stone, fallTable, coFallCounter[j.seat]);
  const int r = rest / 9, c = rest % 9;
  int32_t value = -kHeightCost * (r + 8 - c);
  if (r == 8 || c == 0) value -= kDropCellCost;

  if (static_cast<uint32_t>(Rand() % 50) < skill) {
    if (IsPlainColour(stone) || stone == CELL_WILDCARD) {
      // A wildcard is judged as the best colour among its neighbours.
      uint8_t colours[4];
      int count = 0;
      if (stone != CELL_WILDCARD) colours[count++] = stone;
      for (int d = 0; d < 4 && stone == CELL_WILDCARD; d++) {
        const int nr = r + kNeighbourDr[d], nc = c + kNeighbourDc[d];
        if (Inside(nr, nc) && IsPlainColour(g[Cell(nr, nc)])) colours[count++] = g[Cell(nr, nc)];
      }
      int32_t best = 0;
      for (int k = 0; k < count; k++) {
        g[rest] = colours[k];
        const uint32_t links = CPUCheckLinkScore(j.seat, r, c);
        const uint32_t group = GroupSize(g, rest);
        g[rest] = 0;
        int32_t v = kLinkWeight * static_cast<int32_t>(links);
        if (group >= 4) v += kBreakBonus + kGroupWeight * static_cast<int32_t>(group - 4);
        for (int d = 0; d < 4; d++) {
          const int nr = r + kNeighbourDr[d], nc = c + kNeighbourDc[d];
          if (!Inside(nr, nc)) continue;
          const uint8_t n = g[Cell(nr, nc)];
          if (IsPlainColour(n) && n != colours[k]) v -= kForeignCost;
        }
        if (k == 0 || v > best) best = v;
      }
      value += best;
      if (stone == CELL_WILDCARD && skill > 89) value += kWildcardBonus;
    } else if (stone == CELL_NUCLEAR) {
      // Best beside many stones that a break will take with it.
      for (int e = 0; e < 4; e++) {
        const int nr = r + kNeighbourDr[e], nc = c + kNeighbourDc[e];
        if (Inside(nr, nc) && IsPlainColour(g[Cell(nr, nc)])) value += kNuclearWeight;
      }
    }
  }

  if (static_cast<uint32_t>(Rand() % 50) < skill) {
    if (p == j.nearStrict)
      value += kNearStrict;
    else if (p == j.nearLoose)
      value += kNearLoose;
  }
  return value;
}

uint8_t ClassLevel::CPUGetScoreStone(uint32_t seat, uint8_t stone, uint32_t skill, int32_t& bestValue) {
  bestValue = -999;
  if (seat >= 3) return 255;
  const CPUJudge judge = {seat, stone, skill, CPUGetNearStone(seat, stone, true),
                          CPUGetNearStone(seat, stone, false)};
  uint8_t bestPos = 255;
  for (int p = 0; p < 17; p++) {
    int32_t value = -1000;
    if (coGrid[seat][DropCell(p)] == 0) value = CPUDropValue(judge, p);
    if (value > bestValue) {
      bestValue = value;
      bestPos = static_cast<uint8_t>(p);
    } else if (value == bestValue && Rand() % 100 <= 49) {
      bestPos = static_cast<uint8_t>(p);
    }
  }
  return bestPos;
}

namespace {

// Turning dormant biohazards get a countdown of three turns (kept in the
// fall-progress plane); the woken ones count down every second turn. True
// when one woke.
bool WakeBiohazards(uint8_t* g, int16_t* countdown) {
  bool woke = false;
  for (int i = 0; i < kGridCells; i++) {
    if (g[i] == CELL_DORMANT) {
      g[i] = CELL_BIOHAZARD;
      countdown[i] = 3;
      woke = true;
    }
  }
  return woke;
}

// True when a biohazard whose count ran out turned black.
bool CountDownBiohazards(uint8_t* g, int16_t* countdown) {
  bool blackened = false;
  for (int i = 0; i < kGridCells; i++) {
    if (g[i] != CELL_BIOHAZARD) continue;
    if (countdown[i] > 1) {
      countdown[i]--;
    } else if (countdown[i] == 1) {
      g[i] = CELL_BLACK;
      countdown[i] = 0;
      blackened = true;
    }
  }
  return blackened;
}

// At most one plain stone beside a biohazard turns dormant, at even odds per
// try; true when one did.
bool InfectOneStone(uint8_t* g) {
  for (int r = 0; r < 9; r++) {
    for (int c = 0; c < 9; c++) {
      const int i = ClassLevel::Cell(r, c);
      if (!IsPlainColour(g[i])) continue;
      for (int d = 0; d < 4; d++) {
        const int nr = r + kInfectDr[d], nc = c + kInfectDc[d];
        if (!ClassLevel::Inside(nr, nc) || g[ClassLevel::Cell(nr, nc)] != CELL_BIOHAZARD) continue;
        if (ClassLevel::Rand() % 100 < 50) {
          g[i] = CELL_DORMANT;
          return true;
        }
      }
    }
  }
  return false;
}

// A higher restart means a shorter wait: the stronger types drop sooner.
uint32_t RestartDropClock(uint8_t type) {
  if (type == SEAT_CPU_FRED) return 3000u + static_cast<uint32_t>(ClassLevel::Rand() % 1000);
  if (type == SEAT_CPU_JOE) return static_cast<uint32_t>(ClassLevel::Rand() % 7000);
  return 4000u + static_cast<uint32_t>(ClassLevel::Rand() % 3000);
}

Skill DrawSkill(uint8_t type) {
  if (type == SEAT_CPU_FRED) return ClassLevel::Rand() % 100 <= 49 ? kWeak : kStrong;
  if (type == SEAT_CPU_JOE) {
    if (ClassLevel::Rand() % 100 < 40) return kWeak;
    if (ClassLevel::Rand() % 100 < 50) return kMedium;
  }
  return kStrong;
}

// Skill grows as the grid fills: a crowded grid is played with more care. The
// stronger a player, the likelier it may play the next stone first.
uint32_t Care(Skill skill, uint32_t occupied, bool& mayPlayNext) {
  uint32_t v;
  if (skill == kWeak) {
    v = occupied * 100 / 81;
    mayPlayNext = v > 79 && ClassLevel::Rand() % 100 <= 4;
  } else if (skill == kMedium) {
    v = occupied * 120 / 81 + 20;
    if (v > 255) v = 255;
    mayPlayNext = v > 109 && ClassLevel::Rand() % 100 <= 11;
  } else {
    v = occupied * 200 / 81 + 55;
    if (v > 255) v = 255;
    mayPlayNext = v > 169;
  }
  return v;
}

}  // namespace

void ClassLevel::HandleCPU(uint32_t delta) {
  ClassPlayer* pl = Player();
  // Computer players live on the console that hosts them; a joiner gets their grids.
  if (!pl || pl->mode != MODE_MULTI || pl->Joined()) return;
  for (uint32_t s = 0; s < 3; s++) {
    const uint8_t type = slot[s].kind;
    if (!IsComputerSeat(type)) continue;
    CPUPLAYER& cpu = cpuPlayer[s];
    uint8_t* g = coGrid[s];
    cpu.cpuBar = cpu.cpuQueue[0][0] != 0 ? cpu.cpuBar + delta : 0;
    if (coPhase[s] != 0) {
      cpu.dropClock += delta;
      continue;
    }
    cpu.chain = 0;
    const bool changed = CPUBiohazardRules(s);
    const uint32_t free = FreeDropCells(g);
    cpu.dropClock += 4 * delta;
    // A full incoming bar drops the first package, as far as drop cells allow.
    if (cpu.cpuQueue[0][0] != 0 && cpu.cpuBar > 1023) CPUTakePackage(s, free);
    if (cpu.dropClock >= 112u * pl->level + 7000u && free != 0 && coPhase[s] == 0) CPUDropStone(s, type, free);
    // The remote players see each change of a computer's grid as it happens;
    // a package or a drop has sent this step's grid already.
    if (changed && coPhase[s] == 0) NetSendCPUGrid(static_cast<uint8_t>(s));
  }
}

bool ClassLevel::CPUBiohazardRules(uint32_t s) {
  CPUPLAYER& cpu = cpuPlayer[s];
  uint8_t* g = coGrid[s];
  bool changed = WakeBiohazards(g, coFallStep[s]);
  if (cpu.rulesDue && (cpu.cpuTurns & 1) == 0) {
    if (CountDownBiohazards(g, coFallStep[s])) changed = true;
    if (InfectOneStone(g)) changed = true;
  }
  cpu.rulesDue = 0;
  return changed;
}

void ClassLevel::CPUTakePackage(uint32_t s, uint32_t free) {
  CPUPLAYER& cpu = cpuPlayer[s];
  uint8_t* g = coGrid[s];
  uint8_t* pkg = cpu.cpuQueue[0];
  const uint32_t n = pkg[2] ? 3 : pkg[1] ? 2 : 1;
  uint32_t left = free;
  for (uint32_t k = 0; k < n && left > 0; k++, left--) {
    const int i = NthFreeDropCell(g, static_cast<uint32_t>(Rand()) % left);
    if (i >= 0) g[i] = pkg[k];
  }
  coPhase[s] = 1;
  NetSendCPUGrid(static_cast<uint8_t>(s));
  cpu.dropClock /= 2;
  std::memmove(cpu.cpuQueue[0], cpu.cpuQueue[1], sizeof cpu.cpuQueue - sizeof cpu.cpuQueue[0]);
  std::memset(cpu.cpuQueue[kQueuePackages - 1], 0, sizeof cpu.cpuQueue[0]);
}

// The computer's turn: it judges the stone in hand and the next one, and drops
// the better where it values most (a random free cell when none is found).
void ClassLevel::CPUDropStone(uint32_t s, uint8_t type, uint32_t free) {
  CPUPLAYER& cpu = cpuPlayer[s];
  uint8_t* g = coGrid[s];
  uint32_t occupied = 0;
  for (int i = 0; i < kGridCells; i++) occupied += g[i] != 0;
  uint8_t stone = cpu.cpuNext ? cpu.cpuNext : GetNextStone();
  cpu.cpuNext = GetNextStone();
  cpu.dropClock = RestartDropClock(type);
  const Skill skill = DrawSkill(type);
  bool mayPlayNext;
  const uint32_t v = Care(skill, occupied, mayPlayNext);
  int32_t curValue = 0, nextValue = 0;
  uint8_t pos = CPUGetScoreStone(s, stone, v, curValue);
  const uint8_t nextPos = CPUGetScoreStone(s, cpu.cpuNext, v, nextValue);
  if (mayPlayNext && nextValue > curValue) {
    const uint8_t t = stone;
    stone = cpu.cpuNext;
    cpu.cpuNext = t;
    pos = nextPos;
  }
  int cell = pos < 17 ? DropCell(pos) : -1;
  if (cell < 0 || g[cell] != 0) cell = NthFreeDropCell(g, static_cast<uint32_t>(Rand()) % free);
  if (cell >= 0) g[cell] = stone;
  coPhase[s] = 1;
  cpu.cpuTurns++;
  cpu.rulesDue = 1;
  NetSendCPUGrid(static_cast<uint8_t>(s));
}

void ClassLevel::NetSendStoneCPUPkg(uint32_t seat, uint32_t linkSize, uint32_t kind) {
  ClassPlayer* pl = Player();
  if (!pl || pl->mode != MODE_MULTI || pl->kind > MULTI_HOST_WIRELESS || seat >= 3) return;
  uint32_t n;
  if (linkSize > 3)
    n = linkSize - 3 > 3 ? 3 : linkSize - 3;
  else if (kind == 3)
    n = linkSize;
  else
    return;
  const uint8_t v = attackRotation[rotationIndex & 15];
  rotationIndex++;
  if (v == 0) {
    ReceiveStones(seat, n, kind);
    return;
  }
  // Value v: the v-th active co-player in seat order, the sender left out.
  uint32_t seen = 0;
  for (uint32_t t = 0; t < 3; t++) {
    if (t == seat) continue;
    const PLAYERSLOT& o = slot[t];
    const bool computer = IsComputerSeat(o.kind);
    if (!computer && !IsLinkedRemote(o)) continue;
    if (++seen != v) continue;
    if (computer)
      AddCPUVsQueue(t, n, kind);
    else
      NetSendStonePkg(static_cast<uint8_t>(seat + 1), static_cast<uint8_t>(t + 1),
                      static_cast<uint8_t>(n), static_cast<uint8_t>(kind));
    return;
  }
}
