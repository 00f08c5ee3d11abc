#include "game/level.h"

#include <cstdlib>
#include <cstring>

#include "game/app.h"

uint32_t ClassLevel::randDraws = 0;

namespace {
// Stone sheet sprite of each cell code; every other code shows sprite 0.
const uint8_t kSpriteCodes[][2] = {{1, 0},   {2, 8},   {3, 16},  {4, 24},  {5, 32},  {6, 40},
                                   {7, 48},  {8, 13},  {9, 7},   {10, 6},  {11, 5},  {12, 14},
                                   {13, 15}, {14, 21}, {15, 14}, {253, 13}, {254, 21}};
}  // namespace

ClassLevel::ClassLevel() {
  std::memset(entity, 0, sizeof entity);
  std::memset(particle, 0, sizeof particle);
  std::memset(cpuPlayer, 0, sizeof cpuPlayer);
  std::memset(slot, 0, sizeof slot);
  std::memset(eventQueue, 0, sizeof eventQueue);
  std::memset(textBuffer, 0, sizeof textBuffer);
  std::memset(coFallStep, 0, sizeof coFallStep);
  std::memset(coGrid, 0, sizeof coGrid);
  std::memset(grid, 0, sizeof grid);
  std::memset(gridMark, 0, sizeof gridMark);
  std::memset(gridState, 0, sizeof gridState);
  std::memset(vsQueue, 0, sizeof vsQueue);
  std::memset(tutorialScript, 0, sizeof tutorialScript);
  std::memset(tutorialStones, 0, sizeof tutorialStones);
  Tutorial_FillScript(tutorialScript);
  Tutorial_FillStones(tutorialStones);
  std::memset(&tutorial, 0, sizeof tutorial);
  std::memset(spriteOf, 0, sizeof spriteOf);
  for (const auto& s : kSpriteCodes) spriteOf[s[0]] = s[1];
  NetSetup();
}

ClassLevel::~ClassLevel() { CloseTrace(); }


int32_t ClassLevel::Rand() {
  randDraws++;
  return std::rand();
}

ClassPlayer* ClassLevel::Player() const { return mainData ? mainData->player : nullptr; }

void ClassLevel::PlayEffect(uint32_t effect) {
  if (mainData && mainData->sound) mainData->sound->PlaySfx(static_cast<uint16_t>(effect));
}

uint8_t ClassLevel::StylusMode() const {
  return (mainData && mainData->settings) ? mainData->settings->StylusMode()
                                          : uint8_t{MAINCONFIG::STYLUS_SINGLE_TAP};
}

uint32_t ClassLevel::FreeQEntity() const {
  for (uint32_t i = 0; i < kMaxEntities; i++)
    if (entity[i].stone == 0) return i;
  return kMaxEntities;
}

STONEENTITY* ClassLevel::StartCellEntity(int r, int c, uint8_t kind, uint32_t timer) {
  const uint32_t k = FreeQEntity();
  if (k == kMaxEntities) return nullptr;
  const int i = Cell(r, c);
  STONEENTITY& e = entity[k];
  std::memset(&e, 0, sizeof e);
  e.kind = kind;
  e.stone = grid[i];
  e.timer = timer;
  e.x = 12 * (r + c);
  e.y = 12 * (c - r);
  e.srcRow = static_cast<uint8_t>(r);
  e.srcCol = static_cast<uint8_t>(c);
  e.destRow = r;
  e.destCol = c;
  grid[i] |= CELL_MOVING;
  return &e;
}

uint32_t ClassLevel::FreePEntity() const {
  for (uint32_t i = 0; i < kMaxParticles; i++)
    if (particle[i].kind == 0) return i;
  return kMaxParticles;
}

// Truncating division with a one-step correction for negative numerators (not a
// floor: -24 / 24 gives -2), the column's correction skipped when the row's applies.
void ClassLevel::GetGridPosition(int32_t x, int32_t y, int32_t& row, int32_t& col) {
  const int32_t rn = x - y + 68;
  const int32_t cn = x + y - 172;
  row = rn / 24;
  col = cn / 24;
  if (rn < 0)
    row--;
  else if (cn < 0)
    col--;
}
