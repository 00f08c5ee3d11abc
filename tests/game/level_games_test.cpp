// Whole single-player games played headless with scripted buttons: properties
// checked at every logic step, and per-turn traces compared with traces made on
// x86-64 (the ARM build under qemu-user must give the very same games). After an
// intended change of the rules, ZARN_WRITE_TRACES=1 rewrites the recorded file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/level_rig.h"

namespace {

bool IsStone(uint8_t g) { return (g >= 1 && g <= 63) || (g >= 128 && g <= 191) || g == 253 || g == 254; }

// Linked groups of four or more by a breadth-first search (an independent
// reading of the link rule): sizes of every such group.
std::vector<int> Groups(const uint8_t* grid) {
  std::vector<int> sizes;
  bool seen[81] = {};
  for (int s = 0; s < 81; s++) {
    if (seen[s] || grid[s] < 1 || grid[s] > 63 || (grid[s] & 15) >= 8) continue;
    const int t = grid[s] & 15;
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
        if (seen[j] || grid[j] < 1 || grid[j] > 63 || (grid[j] & 15) != t) continue;
        seen[j] = true;
        queue[tail++] = j;
      }
    }
    if (tail >= 4) sizes.push_back(tail);
  }
  return sizes;
}

bool WildcardDue(const uint8_t* grid) {
  for (int r = 0; r < 9; r++)
    for (int c = 0; c < 9; c++) {
      if (grid[r * 9 + c] != CELL_WILDCARD) continue;
      const int nr[4] = {r - 1, r, r + 1, r}, nc[4] = {c, c - 1, c, c + 1};
      for (int d = 0; d < 4; d++)
        if (nr[d] >= 0 && nr[d] <= 8 && nc[d] >= 0 && nc[d] <= 8 && grid[nr[d] * 9 + nc[d]] >= 1 &&
            grid[nr[d] * 9 + nc[d]] <= 7)
          return true;
    }
  return false;
}

std::string Dump(const uint8_t* grid) {
  std::string out;
  for (int r = 8; r >= 0; r--) {
    for (int c = 0; c < 9; c++) out += " " + std::to_string(grid[r * 9 + c]);
    out += "\n";
  }
  return out;
}

struct Snapshot {
  uint8_t grid[81];
  uint8_t phase, chain, mode, level;
  uint32_t score;
  bool fireOrBlast;
};

// Checks the rules' invariants while a game is played.
class PropertyChecker {
 public:
  explicit PropertyChecker(zt::LevelRig& rig) : rig_(rig) {
    Take(prev_);
    rig.afterIdle = [](zt::LevelRig& r) {
      // The timers clamp the bar, then the timed and puzzle games add this
      // step's growth on top (clamped again by the next step).
      const uint8_t m = r.player.mode;
      const int32_t growth = m == 1 ? 16 * r.level->barSpeed / 512 + 1 : m == 3 ? 16 * r.level->barSpeed / 8000 + 1 : 0;
      ASSERT_GE(r.player.bar, 0);
      ASSERT_LE(r.player.bar, 1024 + growth);
      ASSERT_GE(r.player.barShown, 0);
      ASSERT_LE(r.player.barShown, 1024);
    };
    rig.onStep = [this](zt::LevelRig&) { Step(); };
    rig.onTurn = [this](zt::LevelRig&) { TurnEnd(); };
  }
  uint32_t waves = 0, breakingWaves = 0, turns = 0;

 private:
  void Take(Snapshot& s) {
    const ClassLevel& L = *rig_.level;
    std::memcpy(s.grid, L.grid, 81);
    s.phase = L.turnPhase;
    s.chain = rig_.player.chain;
    s.mode = rig_.player.mode;
    s.level = rig_.player.level;
    s.score = rig_.player.score;
    s.fireOrBlast = false;
    for (const auto& e : L.entity)
      if (e.stone && (e.kind == ENT_FIRE || e.kind == ENT_EXPLOSION || e.kind == ENT_BREAK)) s.fireOrBlast = true;
    for (int i = 0; i < 81; i++)
      if (L.grid[i] == CELL_EXPLODED) s.fireOrBlast = true;
  }

  void Step() {
    const ClassLevel& L = *rig_.level;
    const ClassPlayer& P = rig_.player;
    // Ownership: every moving cell belongs to exactly one entity and back.
    int owners[81] = {};
    for (const auto& e : L.entity) {
      if (!e.stone) continue;
      int cell = -1;
      if (e.kind >= 1 && e.kind <= 3) cell = e.destRow * 9 + e.destCol;
      else if (e.kind == ENT_FADEIN || e.kind == ENT_BREAK || e.kind == ENT_CLEAR || e.kind == ENT_SPIN)
        cell = e.srcRow * 9 + e.srcCol;
      if (cell < 0) continue;
      owners[cell]++;
      ASSERT_TRUE(L.grid[cell] >= 128 && L.grid[cell] <= 191) << "entity kind " << int(e.kind);
    }
    for (int i = 0; i < 81; i++)
      if (L.grid[i] >= 128 && L.grid[i] <= 191) ASSERT_EQ(owners[i], 1) << "cell " << i;
      else ASSERT_EQ(owners[i], 0) << "cell " << i;
    // A falling step without fire, breaks or explosions loses no stone.
    if (prev_.phase == 1 && !prev_.fireOrBlast) {
      int before = 0, after = 0;
      for (int i = 0; i < 81; i++) before += IsStone(prev_.grid[i]), after += IsStone(L.grid[i]);
      ASSERT_EQ(before, after);
    }
    // The score never falls in single-player games.
    ASSERT_GE(P.score, prev_.score);
    // A breaking wave adds exactly the points of its groups.
    if (prev_.phase == 2 && P.mode == prev_.mode) {
      waves++;
      uint32_t want = 0;
      if (!WildcardDue(prev_.grid)) {
        const std::vector<int> g = Groups(prev_.grid);
        if (!g.empty()) {
          breakingWaves++;
          const uint32_t chain = prev_.chain + 1 > 4 ? 4 : prev_.chain + 1;
          const uint32_t per = 10u * prev_.level < 100 ? 10u * prev_.level : 100;
          for (int n : g) want += chain * per * static_cast<uint32_t>(n);
          if (g.size() >= 2 && prev_.mode != 2 && prev_.mode != 3) want += 1000;
        }
      }
      ASSERT_EQ(P.score - prev_.score, want);
    }
    Take(prev_);
  }

  void TurnEnd() {
    const ClassLevel& L = *rig_.level;
    turns++;
    bool fading = false;
    for (int i = 0; i < 81; i++) {
      const uint8_t g = L.grid[i];
      ASSERT_FALSE((g >= 128 && g <= 195) || g == CELL_EXPLODED) << "cell " << i << " = " << int(g);
      if (g == 253 || g == 254) fading = true;
      if (g < 1 || g > 63 || g == CELL_FIXED) continue;
      const int r = i / 9, c = i % 9;
      ASSERT_FALSE((r > 0 && L.grid[i - 9] == 0) || (c < 8 && L.grid[i + 1] == 0))
          << "stone " << int(g) << " at " << r << "," << c << " can fall, mode " << int(rig_.player.mode)
          << "\n" << Dump(L.grid);
    }
    for (const auto& e : L.entity) ASSERT_FALSE(e.stone && e.kind != ENT_SPIN && e.kind != ENT_FADEIN);
    if (rig_.player.mode != 2 && rig_.player.mode != 3 && !fading) {
      ASSERT_TRUE(Groups(L.grid).empty());
    }
  }

  zt::LevelRig& rig_;
  Snapshot prev_;
};

struct Game {
  uint8_t mode, level;
  uint32_t seed;
};

TEST(LevelGames, PropertiesHoldOverManySeededGames) {
  std::vector<Game> games;
  for (uint32_t seed = 100; seed < 106; seed++) {
    games.push_back({0, static_cast<uint8_t>(1 + (seed % 3) * 6), seed});
    games.push_back({1, static_cast<uint8_t>(1 + (seed % 2) * 9), seed});
    games.push_back({3, static_cast<uint8_t>(1 + (seed % 3) * 2), seed});
  }
  games.push_back({0, 14, 7});
  games.push_back({0, 18, 8});
  uint32_t breaking = 0, turns = 0;
  for (const Game& g : games) {
    zt::LevelRig rig;
    rig.StartGame(g.mode, g.level, g.seed);
    PropertyChecker check(rig);
    rig.PlayToEnd(60000);
    SCOPED_TRACE(testing::Message() << "mode " << int(g.mode) << " level " << int(g.level) << " seed " << g.seed);
    EXPECT_TRUE(rig.GameOver());
    if (HasFatalFailure()) return;
    breaking += check.breakingWaves;
    turns += check.turns;
  }
  EXPECT_GT(breaking, 100u);
  EXPECT_GT(turns, 1000u);
}

// The games whose traces are kept: every single-player mode, low and high levels.
const Game kTraced[] = {{0, 1, 11}, {0, 6, 12}, {0, 9, 13}, {0, 14, 14},
                        {1, 1, 21}, {1, 7, 22}, {3, 1, 31}, {3, 5, 32}};

std::string PlayTraced(const Game& g) {
  zt::LevelRig rig;
  rig.StartGame(g.mode, g.level, g.seed);
  const uint32_t frames = rig.PlayToEnd(60000);
  char head[96], tail[96];
  std::snprintf(head, sizeof head, "game mode=%u level=%u seed=%u\n", unsigned(g.mode), unsigned(g.level),
                unsigned(g.seed));
  std::snprintf(tail, sizeof tail, "end frames=%u over=%d score=%u level=%u\n", unsigned(frames),
                rig.GameOver() ? 1 : 0, unsigned(rig.player.score), unsigned(rig.player.level));
  return head + rig.trace + tail;
}

TEST(LevelGames, TracesMatchTheRecordedGames) {
  std::string all;
  for (const Game& g : kTraced) all += PlayTraced(g);
  const std::string path = std::string(ZARN_SOURCE_DIR) + "/tests/game/data/level_traces.txt";
  if (std::getenv("ZARN_WRITE_TRACES")) {
    std::ofstream(path, std::ios::binary) << all;
    GTEST_SKIP() << "traces written to " << path;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in.good()) << path;
  std::stringstream want;
  want << in.rdbuf();
  // Line by line, so that a difference names its game and turn.
  std::istringstream a(all), b(want.str());
  std::string la, lb, game;
  int line = 0;
  while (true) {
    const bool ga = static_cast<bool>(std::getline(a, la));
    const bool gb = static_cast<bool>(std::getline(b, lb));
    line++;
    if (!ga || !gb) {
      EXPECT_EQ(ga, gb) << "trace lengths differ at line " << line;
      break;
    }
    if (la.rfind("game", 0) == 0) game = la;
    ASSERT_EQ(la, lb) << game << ", line " << line;
  }
  // Every traced game ran to its end.
  EXPECT_EQ(all.find("over=0"), std::string::npos);
}

TEST(LevelGames, FrameTimeIsSpentInSixteenMillisecondSteps) {
  zt::LevelRig rig;
  rig.StartGame(0, 1, 5);
  rig.Frame(40);
  EXPECT_EQ(rig.steps, 2u);
  EXPECT_EQ(rig.level->stepAccu, 8u);
  rig.Frame(8);
  EXPECT_EQ(rig.steps, 3u);
  EXPECT_EQ(rig.level->stepAccu, 0u);
  rig.Frame(5);
  EXPECT_EQ(rig.steps, 3u);
  // The same game with uneven frames plays the same turns as with even ones.
  zt::LevelRig even, uneven;  // one after the other: rand() is shared
  even.StartGame(0, 3, 9);
  even.PlayToEnd(20000, 16);
  uneven.StartGame(0, 3, 9);
  uneven.PlayToEnd(20000, 48);
  EXPECT_EQ(even.trace.substr(0, 400), uneven.trace.substr(0, 400));
}

}  // namespace

namespace {

TEST(LevelGames, VersusComputerBreaksSendPackagesToTheSeats) {
  // The computer players do not play here; the own breaks still fly to their
  // queues by the attack rotation.
  zt::LevelRig rig;
  rig.coPlayers = false;
  rig.player.kind = 0;
  rig.StartGame(4, 1, 77);
  for (int i = 0; i < 16; i++) rig.level->attackRotation[i] = static_cast<uint8_t>(i % 3);
  uint32_t maxParticles = 0;
  rig.onStep = [&](zt::LevelRig& r) {
    uint32_t n = 0;
    for (const auto& p : r.level->particle) n += p.kind != 0;
    maxParticles = n > maxParticles ? n : maxParticles;
  };
  rig.PlayToEnd(40000);
  const ClassLevel& L = *rig.level;
  uint32_t queued = 0;
  for (const auto& cpu : L.cpuPlayer)
    for (const auto& pkg : cpu.cpuQueue) queued += pkg[0] != 0;
  EXPECT_GT(L.rotationIndex, 3);
  EXPECT_GT(queued, 3u);
  EXPECT_LE(queued, 24u);
  EXPECT_LE(maxParticles, 128u);
  EXPECT_GE(rig.player.level, 2) << "the level rises every 40 s";
  EXPECT_LE(rig.player.level, 9);
}

}  // namespace
