// A game against the three computer players for the benchmarks: the level with
// the objects it reaches through MAINDATA, played in logic steps without drawing.
#ifndef ZARN_BENCH_BENCH_LEVEL_H
#define ZARN_BENCH_BENCH_LEVEL_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "framework/emod_input.h"
#include "framework/emod_math.h"
#include "game/app.h"
#include "game/level.h"
#include "game/player.h"

namespace zb {

struct CpuGame {
  ClassEInput input;
  ClassEMath math;
  ECD ecd{};
  ClassPlayer player;
  ClassSound sound;
  MAINCONFIG settings{};
  MAINDATA data{};
  ClassLevel level;
  uint32_t seed = 1;

  CpuGame() {
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

  // A new game against Fred, Joe and Mike at level 5 (busy grids from the
  // start), the own player idle.
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

  // One 16 ms logic step as the level's frame function runs it in a game of
  // several players, then the particles; a new game follows a winner.
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
  void Steps(uint32_t n) {
    for (uint32_t i = 0; i < n; i++) Step();
  }
};

}  // namespace zb

#endif
