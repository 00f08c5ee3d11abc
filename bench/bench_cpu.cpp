// Logic steps of a game against three computer players: the timers, the own
// turn phase (the own player idle), the computer players and the small grids,
// as the level's frame function runs them every 16 ms; no drawing.
//
//   bench_cpu                      Google Benchmark rows
//   bench_cpu --steps N            plays N steps in PlaySteps() for callgrind
//   (see bench/README.md for the command line)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/emod_input.h"
#include "framework/emod_math.h"
#include "game/app.h"
#include "game/level.h"
#include "game/player.h"

namespace {

struct Game {
  ClassEInput input;
  ClassEMath math;
  ECD ecd{};
  ClassPlayer player;
  ClassSound sound;
  MAINCONFIG settings{};
  MAINDATA data{};
  ClassLevel level;
  uint32_t seed = 1;

  Game() {
    math.Init();
    ecd.input = &input;
    ecd.math = &math;
    data.player = &player;
    data.sound = &sound;
    data.settings = &settings;
    data.ecd = &ecd;
    uint32_t module = MODULE_LEVEL, message = MSG_ATTACH;
    level.Manage(nullptr, &module, &message, reinterpret_cast<int32_t*>(&data), 0);
    Start();
  }

  // A new game against Fred, Joe and Mike at level 5 (busy grids from the start).
  void Start() {
    std::srand(seed++);
    player.InitReset();
    player.mode = 4;
    player.kind = 0;
    player.level = 5;
    std::memset(level.entity, 0, sizeof level.entity);
    std::memset(level.particle, 0, sizeof level.particle);
    std::memset(level.vsQueue, 0, sizeof level.vsQueue);
    level.BuildFallTable();
    for (int i = 0; i < 16; i++) level.attackRotation[i] = static_cast<uint8_t>(i % 3);
    level.ResetCoPlayers();
    level.EmptyGrid();
    level.CreateRandom(player.level);
    level.nextStone[0] = level.GetNextStone();
    level.nextStone[1] = level.GetNextStone();
    level.turnPhase = 1;
    level.levelState = 1;
    level.HandleIdle(0);
  }

  void Step() {
    if (level.levelState != 1) Start();
    level.HandleIdle(16);
    switch (level.turnPhase) {
      case 0: level.HandlePlayer(16); break;
      case 1: level.HandleGravity(16); break;
      case 2: level.HandleStoneBreak(16); break;
      default: break;
    }
    level.HandleCPU(16);
    level.HandleSmallHUD(16);
    level.HandleParticles(16);
  }
};

void BM_LogicStepThreeComputers(benchmark::State& state) {
  static Game game;
  for (auto _ : state) {
    game.Step();
    benchmark::DoNotOptimize(game.level.coGrid);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogicStepThreeComputers);

// The computer's choice alone: both stones of a drop judged at full skill on a
// half-full grid.
void BM_ScoreStoneFullSkill(benchmark::State& state) {
  static Game game;
  for (int r = 0; r < 9; r++)
    for (int c = 0; c < 9; c++)
      if (c >= r + 2) game.level.coGrid[0][ClassLevel::Cell(r, c)] = static_cast<uint8_t>(1 + (r + 2 * c) % 5);
  int32_t value = 0;
  uint8_t stone = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(game.level.CPUGetScoreStone(0, stone, 255, value));
    stone = static_cast<uint8_t>(stone % 5 + 1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScoreStoneFullSkill);

}  // namespace

extern "C" __attribute__((noinline)) void PlaySteps(Game* game, uint32_t steps) {
  for (uint32_t i = 0; i < steps; i++) game->Step();
}

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--steps") == 0) {
    static Game game;
    const uint32_t steps = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
    PlaySteps(&game, steps);
    std::printf("%u steps, seats %u %u %u, own %u\n", static_cast<unsigned>(steps),
                static_cast<unsigned>(game.level.slot[0].score), static_cast<unsigned>(game.level.slot[1].score),
                static_cast<unsigned>(game.level.slot[2].score), static_cast<unsigned>(game.player.score));
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
