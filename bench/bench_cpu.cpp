// Logic steps of a game against three computer players (Google Benchmark): the
// timers, the own turn phase (the own player idle), the computer players and the
// small grids, as the level's frame function runs them every 16 ms; no drawing.
// Instruction counts of the same steps: the cpu-steps row of bench_count.
#include <benchmark/benchmark.h>

#include "bench/bench_level.h"

namespace {

void BM_LogicStepThreeComputers(benchmark::State& state) {
  static zb::CpuGame game;
  for (auto _ : state) {
    game.Step();
    benchmark::DoNotOptimize(game.level.coGrid);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogicStepThreeComputers);

// The computer's choice alone: one stone judged at all 17 positions at full
// skill on a half-full grid.
void BM_ScoreStoneFullSkill(benchmark::State& state) {
  static zb::CpuGame game;
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

BENCHMARK_MAIN();
