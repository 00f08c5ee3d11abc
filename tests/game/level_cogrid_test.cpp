// The co-player grids: falls, breaks, explosions and wildcards in the compact
// cell form, seat scoring, the staggered full-grid clear, and attack packages
// between the own player and the computer seats both ways.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/support/level_rig.h"

namespace {

struct Seats {
  zt::LevelRig rig;
  ClassLevel& L;
  ClassPlayer& P;
  Seats(uint8_t level, uint8_t k0 = 1, uint8_t k1 = 2, uint8_t k2 = 3) : L(*rig.level), P(rig.player) {
    rig.player.kind = 0;
    rig.StartGame(4, level, 3);
    L.slot[0].kind = k0;
    L.slot[1].kind = k1;
    L.slot[2].kind = k2;
    std::memset(L.coGrid, 0, sizeof L.coGrid);
    std::memset(L.coFallStep, 0, sizeof L.coFallStep);
    std::memset(L.particle, 0, sizeof L.particle);
  }
  uint8_t& At(int s, int r, int c) { return L.coGrid[s][ClassLevel::Cell(r, c)]; }
  int16_t& Step(int s, int r, int c) { return L.coFallStep[s][ClassLevel::Cell(r, c)]; }
  uint32_t Settle(int s, uint32_t limit = 2000) {
    uint32_t n = 0;
    while (L.coPhase[s] != 0 && n < limit) {
      L.HandleSmallHUD(16);
      n++;
    }
    return n;
  }
  uint32_t Packages(int s) {
    uint32_t n = 0;
    for (const auto& pkg : L.cpuPlayer[s].cpuQueue) n += pkg[0] != 0;
    return n;
  }
  uint32_t OwnPackages() {
    uint32_t n = 0;
    for (const auto& pkg : L.vsQueue) n += pkg[0] != 0;
    return n;
  }
  // Lets particles fly until none is left; returns the milliseconds taken.
  uint32_t Fly(uint32_t limit = 20000) {
    uint32_t ms = 0;
    for (;;) {
      bool any = false;
      for (const auto& p : L.particle) any |= p.kind == PART_PACKAGE || p.kind == PART_WAITING;
      if (!any || ms >= limit) return ms;
      L.HandleParticles(16);
      ms += 16;
    }
  }
};

std::string Dump(const uint8_t* g) {
  std::string out;
  for (int r = 8; r >= 0; r--) {
    for (int c = 0; c < 9; c++) out += " " + std::to_string(g[r * 9 + c]);
    out += "\n";
  }
  return out;
}

// ---- Falls ----

TEST(LevelCoGrid, StonesFallByTheBoardsRule) {
  struct Cell {
    int r, c;
  };
  struct Row {
    const char* what;
    Cell start;
    Cell blocks[3];
    int nblocks;
    uint8_t table;  // fall table entry at the seat's counter
    Cell end;
  };
  const Row rows[] = {
      {"straight down the middle", {8, 0}, {}, 0, 0, {0, 8}},
      {"row 0 only slides right", {0, 3}, {}, 0, 0, {0, 8}},
      {"column 8 only slides left", {5, 8}, {}, 0, 0, {0, 8}},
      {"blocked below, tie to the left", {2, 2}, {{1, 3}, {0, 2}}, 2, 0, {1, 2}},
      {"blocked below, tie to the right", {2, 2}, {{1, 3}, {0, 2}}, 2, 1, {0, 8}},
      {"one diagonal taken", {4, 4}, {{3, 4}, {3, 5}}, 2, 0, {0, 8}},
      {"resting on two", {4, 4}, {{3, 4}, {4, 5}}, 2, 0, {4, 4}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Seats t(1);
    for (int k = 0; k < row.nblocks; k++) t.At(0, row.blocks[k].r, row.blocks[k].c) = CELL_FIXED;
    t.At(0, row.start.r, row.start.c) = 3;
    t.L.coFallCounter[0] = 5;
    std::memset(t.L.fallTable, 1 - row.table, sizeof t.L.fallTable);
    t.L.fallTable[5] = row.table;
    t.L.coPhase[0] = 1;
    t.Settle(0);
    EXPECT_EQ(t.At(0, row.end.r, row.end.c), 3) << Dump(t.L.coGrid[0]);
    uint32_t stones = 0;
    for (int i = 0; i < kGridCells; i++) stones += t.L.coGrid[0][i] == 3;
    EXPECT_EQ(stones, 1u);
  }
}

TEST(LevelCoGrid, AFallTakesSevenStepsAndTheTurnPhasesFollow) {
  Seats t(1);
  t.At(0, 1, 8) = 5;
  t.L.coPhase[0] = 1;
  std::string phases;
  for (int i = 0; i < 7; i++) {
    t.L.HandleSmallHUD(16);
    if (i < 6) {
      EXPECT_EQ(t.At(0, 0, 8), 0x85) << "step " << i;
      EXPECT_EQ(t.At(0, 1, 8), 0xC1);
      EXPECT_EQ(t.Step(0, 0, 8), 16 * (i + 1));
    }
  }
  EXPECT_EQ(t.At(0, 0, 8), 5);
  EXPECT_EQ(t.At(0, 1, 8), 0);
  for (int i = 0; i < 4; i++) {
    phases += std::to_string(t.L.coPhase[0]);
    t.L.HandleSmallHUD(16);
  }
  phases += std::to_string(t.L.coPhase[0]);
  // The step that ends the fall is the first still one; then a breaking step
  // that finds nothing, and a falling step in which nothing moves: the turn is over.
  EXPECT_EQ(phases, "43000");
}

// ---- Breaks and seat scoring ----

TEST(LevelCoGrid, ComputerSeatsScoreTheirBreaksWithoutACap) {
  struct Row {
    uint8_t level;
    uint32_t points;  // first wave, four stones
  };
  for (const Row row : {Row{1, 40}, Row{9, 360}, Row{12, 480}}) {
    Seats t(row.level);
    t.P.level = row.level;
    for (int c = 5; c <= 8; c++) t.At(0, 0, c) = 2;
    t.L.coPhase[0] = 4;
    t.L.slot[0].score = 7;
    t.L.HandleSmallHUD(16);
    for (int c = 5; c <= 8; c++) EXPECT_EQ(t.At(0, 0, c), 0x42);
    EXPECT_EQ(t.L.slot[0].score, 7 + row.points) << "level " << int(row.level);
    EXPECT_EQ(t.L.cpuPlayer[0].chain, 1);
    EXPECT_EQ(t.L.coPhase[0], 2);
    // Breaking lasts 384 ms, then the cells are empty and the stones above fall.
    const uint32_t steps = t.Settle(0);
    EXPECT_GE(steps, 384u / 16 - 1);
    for (int c = 5; c <= 8; c++) EXPECT_EQ(t.At(0, 0, c), 0);
  }
}

TEST(LevelCoGrid, ChainsTwoGroupsAndTheBonusPackage) {
  Seats t(2);
  t.P.level = 2;
  for (int i = 0; i < 16; i++) t.L.attackRotation[i] = 0;  // every package to the own player
  // Two groups in one wave: reds along row 0, blues along column 8 above them.
  for (int c = 4; c <= 7; c++) t.At(1, 0, c) = 1;
  for (int r = 0; r <= 3; r++) t.At(1, r, 8) = 3;
  // A third colour that falls into a group of greens after the wave.
  t.At(1, 1, 6) = 2;
  t.At(1, 1, 5) = 2;
  t.At(1, 1, 7) = 2;
  t.At(1, 4, 8) = 2;
  t.L.coPhase[1] = 4;
  t.L.HandleSmallHUD(16);
  // 1 x 2 x 4 x 10 for each group, and 1000 for the second.
  EXPECT_EQ(t.L.slot[1].score, 80u + 80u + 1000u);
  EXPECT_EQ(t.L.rotationIndex, 2);
  uint32_t waiting = 0, bonus = 0;
  for (const auto& p : t.L.particle) {
    if (p.kind != PART_WAITING) continue;
    waiting++;
    EXPECT_EQ(p.angle, 1u) << "waits at the sender's panel";
    EXPECT_EQ(p.target, 128);
    bonus += p.attackKind == 3 && p.count == 1;
  }
  EXPECT_EQ(waiting, 2u);
  EXPECT_EQ(bonus, 1u);
  t.Settle(1);
  // The greens met after the wave: a second link of the chain, counted twice.
  EXPECT_EQ(t.L.slot[1].score, 1160u + 2 * 2 * 4 * 10) << Dump(t.L.coGrid[1]);
  // The chain restarts once the grid is still.
  t.L.HandleCPU(16);
  EXPECT_EQ(t.L.cpuPlayer[1].chain, 0);
}

TEST(LevelCoGrid, RemoteSeatsAnimateButDoNotScore) {
  Seats t(3, 4, 1, 1);
  t.L.slot[0].link = 2;
  for (int c = 5; c <= 8; c++) t.At(0, 0, c) = 6;
  t.L.coPhase[0] = 4;
  t.L.HandleSmallHUD(16);
  EXPECT_EQ(t.At(0, 0, 5), 0x46);
  EXPECT_EQ(t.L.slot[0].score, 0u);
  EXPECT_EQ(t.L.rotationIndex, 0);
  t.Settle(0);
  EXPECT_EQ(t.At(0, 0, 5), 0);
  // Its grid changes only by its packets: no computer turn ever drops on it.
  for (int i = 0; i < 400; i++) t.L.HandleCPU(16);
  for (int i = 0; i < kGridCells; i++) EXPECT_EQ(t.L.coGrid[0][i], 0);
  EXPECT_EQ(t.L.cpuPlayer[0].dropClock, 0u);
}

TEST(LevelCoGrid, NuclearStonesExplodeAndSetOffTheirNeighbours) {
  Seats t(2);
  t.P.level = 2;
  for (int i = 0; i < 16; i++) t.L.attackRotation[i] = 1;
  for (int c = 5; c <= 8; c++) t.At(0, 0, c) = 4;
  t.At(0, 1, 6) = CELL_NUCLEAR;  // absorbed by the yellows
  t.At(0, 1, 7) = 5;
  t.At(0, 1, 8) = 6;
  t.At(0, 2, 6) = CELL_SKULL;
  t.At(0, 2, 7) = 2;
  t.At(0, 2, 8) = 3;
  t.L.coPhase[0] = 4;
  t.L.HandleSmallHUD(16);
  EXPECT_EQ(t.At(0, 1, 6), 0x40 + CELL_NUCLEAR);
  EXPECT_EQ(t.L.slot[0].score, 80u) << "absorbed stones do not count";
  bool exploded = false;
  for (int i = 0; i < 200 && t.L.coPhase[0] != 0; i++) {
    t.L.HandleSmallHUD(16);
    for (int k = 0; k < kGridCells; k++) exploded |= t.L.coGrid[0][k] == CELL_EXPLODED;
  }
  EXPECT_TRUE(exploded);
  EXPECT_EQ(t.L.coPhase[0], 0);
  // Stones resting next to the blast break: 5 x level each, a skull 20 x level more.
  EXPECT_GT(t.L.slot[0].score, 80u);
  EXPECT_EQ((t.L.slot[0].score - 80) % 10, 0u);
  for (int k = 0; k < kGridCells; k++) {
    EXPECT_NE(t.L.coGrid[0][k], CELL_EXPLODED);
    EXPECT_NE(t.L.coGrid[0][k], CELL_SKULL) << "the skull next to the blast is gone";
  }
}

TEST(LevelCoGrid, WildcardsTakeANeighboursColourAndThenLink) {
  Seats t(1);
  t.At(2, 0, 8) = 7;
  t.At(2, 0, 7) = 7;
  t.At(2, 0, 6) = 7;
  t.At(2, 1, 8) = CELL_WILDCARD;
  t.L.coPhase[2] = 4;
  t.L.HandleSmallHUD(16);
  EXPECT_EQ(t.At(2, 1, 8), 0x67);
  EXPECT_EQ(t.L.coPhase[2], 2);
  t.Settle(2);
  for (int c = 6; c <= 8; c++) EXPECT_EQ(t.At(2, 0, c), 0);
  EXPECT_EQ(t.At(2, 1, 8), 0);
  EXPECT_EQ(t.L.slot[2].score, 40u);
  // A wildcard without a colour neighbour stays a wildcard.
  Seats u(1);
  u.At(0, 0, 8) = CELL_WILDCARD;
  u.At(0, 0, 7) = CELL_BLACK;
  u.L.coPhase[0] = 4;
  u.Settle(0);
  EXPECT_EQ(u.At(0, 0, 8), CELL_WILDCARD);
}

TEST(LevelCoGrid, AFullGridClearsFromTheTopCornerAndHalvesTheScore) {
  Seats t(1);
  // 81 stones without a group: colours by diagonals, no two alike side by side.
  for (int r = 0; r < 9; r++)
    for (int c = 0; c < 9; c++) t.At(1, r, c) = static_cast<uint8_t>(1 + (r + 2 * c) % 5);
  t.L.slot[1].score = 5001;
  t.L.coPhase[1] = 0;
  t.L.HandleSmallHUD(16);
  EXPECT_EQ(t.L.slot[1].score, 2500u);
  for (int r = 0; r < 9; r++)
    for (int c = 0; c < 9; c++) {
      ASSERT_EQ(t.At(1, r, c), 0x50 + 1 + (r + 2 * c) % 5);
      ASSERT_EQ(t.Step(1, r, c), 320 + 24 * (r - c) + 16);
    }
  // Each cell empties at 896 ms of progress: the top corner first, the bottom
  // corner last, one diagonal (r - c) every 24 ms.
  int emptied[81];
  for (int& e : emptied) e = -1;
  for (int step = 1; step < 80; step++) {
    t.L.HandleSmallHUD(16);
    EXPECT_EQ(t.L.coPhase[1], 0);
    for (int i = 0; i < 81; i++)
      if (emptied[i] < 0 && t.L.coGrid[1][i] == 0) emptied[i] = step;
  }
  for (int r = 0; r < 9; r++)
    for (int c = 0; c < 9; c++) {
      const int start = 320 + 24 * (r - c);
      const int want = (896 - start + 15) / 16 - 1;  // steps after the first
      EXPECT_EQ(emptied[r * 9 + c], want) << r << "," << c;
    }
  EXPECT_LT(emptied[ClassLevel::Cell(8, 0)], emptied[ClassLevel::Cell(4, 4)]);
  EXPECT_LT(emptied[ClassLevel::Cell(4, 4)], emptied[ClassLevel::Cell(0, 8)]);
  EXPECT_EQ(t.L.slot[0].score, 0u) << "other seats untouched";
}

// ---- Attacks both ways ----

TEST(LevelCoGrid, ComputerPackagesGoByTheRotation) {
  struct Row {
    uint32_t sender;
    uint8_t value;
    uint8_t kinds[3];
    int receiver;  // 3: the own player, -1: nobody
  };
  const Row rows[] = {
      {0, 0, {1, 2, 3}, 3}, {0, 1, {1, 2, 3}, 1}, {0, 2, {1, 2, 3}, 2},  {2, 1, {1, 2, 3}, 0},
      {2, 2, {1, 2, 3}, 1}, {0, 1, {1, 0, 3}, 2}, {0, 2, {1, 0, 3}, -1}, {1, 1, {0, 2, 3}, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "sender " << row.sender << " value " << int(row.value));
    Seats t(1, row.kinds[0], row.kinds[1], row.kinds[2]);
    std::memset(t.L.attackRotation, row.value, sizeof t.L.attackRotation);
    t.L.NetSendStoneCPUPkg(row.sender, 6, 0);
    EXPECT_EQ(t.L.rotationIndex, 1);
    t.Fly();
    for (int s = 0; s < 3; s++) EXPECT_EQ(t.Packages(s), s == row.receiver ? 1u : 0u) << "seat " << s;
    EXPECT_EQ(t.OwnPackages(), row.receiver == 3 ? 1u : 0u);
    if (row.receiver >= 0 && row.receiver < 3) {
      const uint8_t black3[3] = {8, 8, 8};
      EXPECT_EQ(0, std::memcmp(t.L.cpuPlayer[row.receiver].cpuQueue[0], black3, 3));
    }
  }
}

TEST(LevelCoGrid, PackageSizesFollowTheGroupSize) {
  struct Row {
    uint32_t link, kind, count;  // count 0: nothing sent
  };
  const Row rows[] = {{3, 0, 0}, {4, 0, 1}, {5, 1, 2}, {6, 0, 3}, {12, 2, 3}, {1, 3, 1}, {2, 1, 0}};
  for (const Row& row : rows) {
    Seats t(1);
    std::memset(t.L.attackRotation, 0, sizeof t.L.attackRotation);
    t.L.NetSendStoneCPUPkg(0, row.link, row.kind);
    EXPECT_EQ(t.L.rotationIndex, row.count ? 1 : 0) << "link " << row.link;
    int found = 0;
    for (const auto& p : t.L.particle)
      if (p.kind == PART_WAITING) {
        found++;
        EXPECT_EQ(p.count, static_cast<int32_t>(row.count));
        EXPECT_EQ(p.attackKind, static_cast<int32_t>(row.kind));
      }
    EXPECT_EQ(found, row.count ? 1 : 0) << "link " << row.link;
  }
  // Only the console that runs the computer players sends their packages.
  Seats j(1);
  j.P.kind = 3;
  j.L.NetSendStoneCPUPkg(0, 6, 0);
  EXPECT_EQ(j.L.rotationIndex, 0);
}

TEST(LevelCoGrid, ComputerAttackReachesTheOwnBoardAndTheOwnAttackAComputerGrid) {
  // The computer's package waits 512 ms at its panel, flies to the HUD and
  // joins the own queue.
  Seats t(1);
  std::memset(t.L.attackRotation, 0, sizeof t.L.attackRotation);
  t.L.NetSendStoneCPUPkg(2, 5, 0);
  t.L.HandleParticles(496);
  EXPECT_EQ(t.OwnPackages(), 0u);
  const uint32_t ms = t.Fly();
  EXPECT_GT(ms, 0u);
  ASSERT_EQ(t.OwnPackages(), 1u);
  const uint8_t two[3] = {8, 8, 0};
  EXPECT_EQ(0, std::memcmp(t.L.vsQueue[0], two, 3));
  EXPECT_EQ(t.P.blackDue, 2);
  // With every particle taken it arrives at once.
  Seats busy(1);
  std::memset(busy.L.attackRotation, 0, sizeof busy.L.attackRotation);
  for (auto& p : busy.L.particle) p.kind = PART_FLASH;
  busy.L.NetSendStoneCPUPkg(1, 4, 0);
  EXPECT_EQ(busy.OwnPackages(), 1u);

  // The own break flies to the computer seat that the rotation names; the
  // computer's bar fills while it waits, then the stones drop on its grid.
  Seats o(1);
  for (int i = 0; i < 16; i++) o.L.attackRotation[i] = 2;
  o.L.NetSendStones(6, 0);
  o.Fly();
  ASSERT_EQ(o.Packages(2), 1u);
  for (int s = 0; s < 3; s++) o.L.cpuPlayer[s].dropClock = 0;
  uint32_t steps = 0;
  while (o.Packages(2) != 0 && steps < 200) {
    o.L.HandleCPU(16);
    steps++;
  }
  EXPECT_EQ(steps, 64u);
  uint32_t blacks = 0;
  for (int i = 0; i < kGridCells; i++) blacks += o.L.coGrid[2][i] == CELL_BLACK;
  EXPECT_EQ(blacks, 3u);
  EXPECT_EQ(o.L.coPhase[2], 1);
}

}  // namespace

namespace {

bool ValidCode(uint8_t v) {
  return v <= 15 || (v >= 0x41 && v <= 0x4F) || (v >= 0x51 && v <= 0x5F) || (v >= 0x61 && v <= 0x67) ||
         (v >= 0x81 && v <= 0x8F) || (v >= 0x91 && v <= 0x9F) || (v >= 0xA1 && v <= 0xAF) ||
         (v >= 0xC1 && v <= 0xC3) || v == 0xFF;
}

// Sizes of the plain-colour groups of four or more (an independent flood).
uint32_t BigGroups(const uint8_t* g) {
  uint32_t groups = 0;
  bool seen[81] = {};
  for (int s = 0; s < 81; s++) {
    if (seen[s] || g[s] < 1 || g[s] > 7) continue;
    int queue[81], head = 0, tail = 0;
    queue[tail++] = s;
    seen[s] = true;
    while (head < tail) {
      const int i = queue[head++];
      const int r = i / 9, c = i % 9;
      const int nr[4] = {r - 1, r, r + 1, r}, nc[4] = {c, c - 1, c, c + 1};
      for (int d = 0; d < 4; d++) {
        if (nr[d] < 0 || nr[d] > 8 || nc[d] < 0 || nc[d] > 8) continue;
        const int j = nr[d] * 9 + nc[d];
        if (!seen[j] && g[j] == g[s]) {
          seen[j] = true;
          queue[tail++] = j;
        }
      }
    }
    groups += tail >= 4;
  }
  return groups;
}

TEST(LevelCoGrid, WholeGamesAgainstTheComputerKeepTheSmallGridsSound) {
  // The own player plays too; every step the small grids hold only known
  // codes, a seat's score only grows (or halves with a full grid), and every
  // finished turn leaves no stone that could fall and no group standing.
  struct Run {
    uint8_t level;
    uint32_t seed;
  };
  uint32_t turns = 0, clears = 0, drops = 0;
  for (const Run run : {Run{1, 51}, Run{4, 52}, Run{7, 53}}) {
    SCOPED_TRACE(testing::Message() << "level " << int(run.level) << " seed " << run.seed);
    zt::LevelRig rig;
    rig.player.kind = 0;
    rig.StartGame(4, run.level, run.seed);
    zt::BuildRotation(*rig.level);
    uint32_t prevScore[3] = {}, prevTurns[3] = {};
    uint8_t prevPhase[3] = {};
    rig.onStep = [&](zt::LevelRig& r) {
      const ClassLevel& L = *r.level;
      for (int s = 0; s < 3; s++) {
        const uint8_t* g = L.coGrid[s];
        for (int i = 0; i < 81; i++) ASSERT_TRUE(ValidCode(g[i])) << "seat " << s << " cell " << i << " = " << int(g[i]);
        const uint32_t score = L.slot[s].score;
        if (score < prevScore[s]) {
          ASSERT_EQ(score, prevScore[s] / 2) << "seat " << s;
          clears++;
        }
        prevScore[s] = score;
        drops += static_cast<uint8_t>(L.cpuPlayer[s].cpuTurns - prevTurns[s]);
        prevTurns[s] = L.cpuPlayer[s].cpuTurns;
        if (L.coPhase[s] == 0 && prevPhase[s] == 3) {
          turns++;
          for (int i = 0; i < 81; i++) {
            const uint8_t v = g[i];
            ASSERT_FALSE(v >= 0x40 && v != 0xFF && (v < 0x50 || v > 0x6F)) << "cell " << i << " = " << int(v);
            if (v < 1 || v > 15 || v == CELL_FIXED) continue;
            const int rr = i / 9, c = i % 9;
            ASSERT_FALSE((rr > 0 && g[i - 9] == 0) || (c < 8 && g[i + 1] == 0)) << "seat " << s << " cell " << i;
          }
          ASSERT_EQ(BigGroups(g), 0u) << "seat " << s;
        }
        prevPhase[s] = L.coPhase[s];
      }
    };
    rig.PlayToEnd(60 * 60 * 1000 / 16);
    EXPECT_NE(rig.player.winner, 0) << "a game against the computer has a winner";
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(turns, 500u);
  EXPECT_GT(drops, 500u);
  std::printf("small-grid turns %u, computer drops %u, full-grid clears %u\n", unsigned(turns), unsigned(drops),
              unsigned(clears));
}

}  // namespace
