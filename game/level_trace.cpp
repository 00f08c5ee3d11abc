// The per-turn trace of a run: with ZARN_TRACE set, every finished turn and the
// end of the game, however it ends, write one line (phase, score, level, bar,
// board hash, seat scores), so runs on two machines or two backends can be
// compared; a message box writes its lines, and a grid that another console
// sent its cells.
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
  tracePhase = phase;
  if (turnOver) traceTurns++;
  if (levelState != ST_PLAY)
    TraceEnd();
  else if (turnOver)
    TraceWrite("turn");
}

void ClassLevel::TraceEnd() {
  if (traceEnded) return;
  traceEnded = 1;
  TraceWrite("end");
}

void ClassLevel::TraceWrite(const char* kind) {
  std::FILE* f = TraceFile();
  ClassPlayer* pl = Player();
  if (!f || !pl) return;
  std::fprintf(f, "%s %u phase=%u score=%u level=%u bar=%d hash=%08x seats=%u,%u,%u co=%08x", kind,
               static_cast<unsigned>(traceTurns), static_cast<unsigned>(turnPhase),
               static_cast<unsigned>(pl->score), static_cast<unsigned>(pl->level), static_cast<int>(pl->bar),
               static_cast<unsigned>(BoardHash()), static_cast<unsigned>(slot[0].score),
               static_cast<unsigned>(slot[1].score), static_cast<unsigned>(slot[2].score),
               static_cast<unsigned>(CoGridHash()));
  // Networked games also give the own player number, the seats' links, the
  // winner (player number + 1) every console shows and, once there is one, the
  // final ranking (player:score, best first), which every console must show alike.
  if (pl->Networked()) {
    std::fprintf(f, " me=%u links=%u,%u,%u", static_cast<unsigned>(OwnPlayer()), static_cast<unsigned>(slot[0].link),
                 static_cast<unsigned>(slot[1].link), static_cast<unsigned>(slot[2].link));
    if (pl->winner != 0) {
      std::fprintf(f, " ranking=");
      for (int i = 0; i < 4; i++)
        std::fprintf(f, "%s%u:%d", i ? "," : "", static_cast<unsigned>(pl->ranking[i]),
                     static_cast<int>(pl->finalScore[i]));
    }
    std::fprintf(f, " winner=%u", static_cast<unsigned>(pl->winner));
  }
  std::fputc('\n', f);
  std::fflush(f);
}

void ClassLevel::TraceMessage() {
  std::FILE* f = TraceFile();
  if (!f) return;
  std::fprintf(f, "box \"%s\" \"%s\" \"%s\"\n", messageLine[0], messageLine[1], messageLine[2]);
  std::fflush(f);
}

void ClassLevel::TraceGrid(uint8_t player, uint32_t score, const uint8_t* cells) {
  std::FILE* f = TraceFile();
  if (!f) return;
  char hex[2 * kGridCells + 1];
  for (int i = 0; i < kGridCells; i++) std::snprintf(hex + 2 * i, 3, "%02x", static_cast<unsigned>(cells[i]));
  std::fprintf(f, "grid player=%u score=%u cells=%s\n", static_cast<unsigned>(player), static_cast<unsigned>(score), hex);
  std::fflush(f);
}
