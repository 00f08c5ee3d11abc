// The per-turn trace of a run: with ZARN_TRACE set, every finished turn and the
// end of the game write one line (phase, score, level, bar, board hash, seat
// scores), so runs on two machines or two backends can be compared.
#include <cstdio>
#include <cstdlib>

#include "game/app.h"
#include "game/level.h"
#include "game/player.h"

std::FILE* ClassLevel::TraceFile() {
  if (!traceChecked) {
    traceChecked = 1;
    const char* path = std::getenv("ZARN_TRACE");
    if (path && *path) {
      traceFile = std::fopen(path, "w");
      if (!traceFile) std::fprintf(stderr, "ZARN_TRACE: cannot write %s\n", path);
    }
  }
  return traceFile;
}

void ClassLevel::CloseTrace() {
  if (traceFile) std::fclose(traceFile);
  traceFile = nullptr;
}

uint32_t ClassLevel::BoardHash() const {
  uint32_t h = 2166136261u;
  for (int i = 0; i < kGridCells; i++) {
    h = (h ^ grid[i]) * 16777619u;
    h = (h ^ gridState[i]) * 16777619u;
  }
  return h;
}

uint32_t ClassLevel::CoGridHash() const {
  uint32_t h = 2166136261u;
  for (int s = 0; s < 3; s++)
    for (int i = 0; i < kGridCells; i++) h = (h ^ coGrid[s][i]) * 16777619u;
  return h;
}

void ClassLevel::TraceStep() {
  const uint8_t phase = turnPhase;
  const bool turnOver = phase == 0 && tracePhase != 0;
  const bool ended = levelState != 1;
  tracePhase = phase;
  if (!turnOver && !ended) return;
  std::FILE* f = TraceFile();
  ClassPlayer* pl = Player();
  if (!f || !pl) return;
  if (turnOver) traceTurns++;
  std::fprintf(f, "%s %u phase=%u score=%u level=%u bar=%d hash=%08x seats=%u,%u,%u co=%08x\n",
               ended ? "end" : "turn", static_cast<unsigned>(traceTurns), static_cast<unsigned>(phase),
               static_cast<unsigned>(pl->score), static_cast<unsigned>(pl->level), static_cast<int>(pl->bar),
               static_cast<unsigned>(BoardHash()), static_cast<unsigned>(slot[0].score),
               static_cast<unsigned>(slot[1].score), static_cast<unsigned>(slot[2].score),
               static_cast<unsigned>(CoGridHash()));
  // Networked games also give the winner (player number + 1) every console shows.
  if (pl->mode == 4 && pl->kind >= 1 && pl->kind <= 4) {
    std::fseek(f, -1, SEEK_CUR);
    std::fprintf(f, " winner=%u\n", static_cast<unsigned>(pl->winner));
  }
  std::fflush(f);
}
