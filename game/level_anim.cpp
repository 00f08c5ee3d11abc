// Whole-board animations, particles and the flight of attack packages.
#include <cstring>

#include "framework/emod_math.h"
#include "game/app.h"
#include "game/level.h"
#include "game/player.h"

namespace {

// Panels of the co-player seats and the HUD's package display, in pixels.
const int32_t kPanelX[3] = {19, 48, 77};
const int32_t kPanelY[3] = {137, 166, 195};
constexpr int32_t kQueueX = 236, kQueueY = 199;

int32_t Abs32(int32_t v) { return v < 0 ? -v : v; }

// Heading from a distance as a 16-bit angle: 0 up, 0x4000 right, 0x8000 down.
uint32_t HeadingTo(int32_t dx, int32_t dy) {
  if (dx == 0) return dy > 0 ? 0x8000u : 0u;
  if (dy == 0) return dx > 0 ? 0x4000u : 0xC000u;
  const int32_t ax = Abs32(dx), ay = Abs32(dy);
  int32_t a;  // 4096 steps per turn
  if (dx > 0 && dy < 0)
    a = ax <= ay ? ax * 511 / ay : 1024 - ay * 511 / ax;
  else if (dx > 0)
    a = ay <= ax ? 1024 + ay * 511 / ax : 2048 - ax * 511 / ay;
  else if (dy > 0)
    a = ax <= ay ? 2048 + ax * 511 / ay : 3072 - ay * 511 / ax;
  else
    a = ay <= ax ? 3072 + ay * 511 / ax : 4096 - ax * 511 / ay;
  return static_cast<uint32_t>(a & 4095) * 16;
}

}  // namespace

void ClassLevel::StartParticle(uint8_t kind, int32_t x, int32_t y) {
  const uint32_t k = FreePEntity();
  if (k == kMaxParticles) return;  // only the effect is missing
  PARTICLE& p = particle[k];
  std::memset(&p, 0, sizeof p);
  p.kind = kind;
  p.x = (x + 52) * 256;
  p.y = (y + 108) * 256;
  if (kind == PART_DEBRIS || kind == PART_SPARK) {
    p.timer = static_cast<uint32_t>(Rand() % 512);
    p.vx = Rand() % 32 - 16;
    p.vy = -256 - Rand() % 256;
  }
}

void ClassLevel::StartDebris(int32_t x, int32_t y) { StartParticle(PART_DEBRIS, x, y); }

void ClassLevel::StartTrail(const PARTICLE& from) {
  const uint32_t k = FreePEntity();
  if (k == kMaxParticles) return;
  PARTICLE& p = particle[k];
  std::memset(&p, 0, sizeof p);
  p.kind = PART_TRAIL;
  p.x = from.x + 12 * 256;
  p.y = from.y + 12 * 256;
  p.angle = (from.angle + 0x8800) & 0xFFFF;
}

void ClassLevel::StoneFadeIn() {
  for (int r = 0; r < 9; r++) {
    for (int c = 0; c < 9; c++) {
      const int i = Cell(r, c);
      if (grid[i] < 1 || grid[i] > 63) continue;
      StartCellEntity(r, c, ENT_FADEIN, static_cast<uint32_t>(256 - 8 * (8 + r - c)));
    }
  }
}

void ClassLevel::StoneRotate() {
  for (int r = 0; r < 9; r++) {
    for (int c = 0; c < 9; c++) {
      const int i = Cell(r, c);
      if (grid[i] < 1 || grid[i] > 7) continue;
      StartCellEntity(r, c, ENT_SPIN, static_cast<uint32_t>(32 * (r + c)));
    }
  }
}

void ClassLevel::StoneDestroy() {
  for (auto& e : entity) {
    if (e.stone == 0 || e.kind == ENT_CLEAR) continue;
    StartDebris(e.x, e.y);
    StartDebris(e.x, e.y);
    e.stone = 0;
    // Leave no cell owned by the freed entity, or it would stay in motion for good.
    const int src = Cell(e.srcRow, e.srcCol);
    switch (e.kind) {
      case ENT_FALL_LEFT:
      case ENT_FALL_RIGHT:
      case ENT_FALL_DOWN:
        if (Inside(e.destRow, e.destCol)) grid[Cell(e.destRow, e.destCol)] &= 0x7F;
        if (grid[src] >= 192) grid[src] = 0;
        break;
      case ENT_FADEIN:
      case ENT_BREAK:
      case ENT_SPIN:
        if (grid[src] >= 128 && grid[src] < 192) grid[src] &= 0x7F;
        break;
      case ENT_EXPLOSION:
        grid[src] = 0;
        break;
      default:
        break;
    }
  }
  int vmin = 1000;
  for (int r = 0; r < 9; r++)
    for (int c = 0; c < 9; c++) {
      const uint8_t g = grid[Cell(r, c)];
      if (g >= 1 && g <= 63 && 8 - r + c < vmin) vmin = 8 - r + c;
    }
  for (int r = 0; r < 9; r++) {
    for (int c = 0; c < 9; c++) {
      const int i = Cell(r, c);
      if (grid[i] < 1 || grid[i] > 63) continue;
      if (!StartCellEntity(r, c, ENT_CLEAR, static_cast<uint32_t>(512 - 24 * (8 - r + c - vmin))))
        grid[i] = 0;
    }
  }
}

void ClassLevel::FlyPackage(PARTICLE& p, uint32_t delta) {
  const ClassEMath* math = (mainData && mainData->ecd) ? mainData->ecd->math : nullptr;
  while (delta > 0 && p.kind == PART_PACKAGE) {
    const uint32_t slice = delta > 20 ? 20 : delta;
    delta -= slice;
    int32_t dx = p.vx - p.x / 256;
    int32_t dy = p.vy - p.y / 256;
    const uint32_t want = HeadingTo(dx, dy);
    const int32_t dist = Abs32(dx) + Abs32(dy);
    const int32_t rate = dist < 24 ? 80 : dist < 48 ? 64 : dist < 96 ? 48 : 32;
    int32_t diff = static_cast<int32_t>((want - p.angle) & 0xFFFF);
    if (diff >= 0x8000) diff -= 0x10000;
    // Turns at most rate per millisecond and never past the wanted heading.
    int32_t turn = rate * static_cast<int32_t>(slice);
    if (turn > Abs32(diff)) turn = Abs32(diff);
    p.angle = (p.angle + static_cast<uint32_t>(diff < 0 ? -turn : turn)) & 0xFFFF;
    const int32_t s = math ? math->Sin(p.angle / 16) / 256 : 0;
    const int32_t c = math ? math->Cos(p.angle / 16) / 256 : 0;
    p.x += s * static_cast<int32_t>(slice) * 2304 / 8192;
    p.y -= c * static_cast<int32_t>(slice) * 2304 / 8192;
    const uint32_t before = p.timer;
    p.timer += slice;
    if (p.timer / 96 != before / 96) StartTrail(p);
    dx = p.vx - p.x / 256;
    dy = p.vy - p.y / 256;
    if (Abs32(dx) <= 12 && Abs32(dy) <= 12) {
      StartTrail(p);
      p.kind = 0;
      DeliverPackage(p);
    }
  }
}

void ClassLevel::HandleParticles(uint32_t delta) {
  const ClassEMath* math = (mainData && mainData->ecd) ? mainData->ecd->math : nullptr;
  const int32_t d = static_cast<int32_t>(delta);
  for (auto& p : particle) {
    switch (p.kind) {
      case PART_DEBRIS:
        p.y += (p.vy / 16) * d * 4;
        p.x += p.vx * d * 4;
        p.vy += d;
        p.timer += delta;
        if (p.y > 264 * 256) p.kind = 0;
        break;
      case PART_SPARK:
        p.y += (p.vy / 24) * d * 4;
        p.x += (p.vx / 2) * d * 4;
        p.timer += delta;
        if (p.y > 264 * 256 || p.y < -264 * 256) p.kind = 0;
        break;
      case PART_FLASH:
        p.timer += delta;
        if (p.timer > 511) p.kind = 0;
        break;
      case PART_TRAIL: {
        p.timer += delta;
        const int32_t s = math ? math->Sin(p.angle / 16) / 256 : 0;
        const int32_t c = math ? math->Cos(p.angle / 16) / 256 : 0;
        p.x += s * d * 1152 / 8192;
        p.y -= c * d * 1152 / 8192;
        if (p.x < -344 * 256 || p.x > 344 * 256 || p.y < -264 * 256 || p.y > 264 * 256) p.kind = 0;
        break;
      }
      case PART_PACKAGE:
        FlyPackage(p, delta);
        break;
      case PART_WAITING:
        p.timer += delta;
        if (p.timer >= 512) {
          const int32_t seat = p.angle < 3 ? static_cast<int32_t>(p.angle) : 0;
          p.kind = PART_PACKAGE;
          p.timer = 0;
          p.x = kPanelX[seat] * 256;
          p.y = kPanelY[seat] * 256;
          p.angle = static_cast<uint32_t>(0x8000 - 0x1000 * seat);
          p.vx = kQueueX;
          p.vy = kQueueY;
          p.target = 128;
        }
        break;
      default:
        break;
    }
  }
}

// ---- Attack packages ----

namespace {

// Fills a free package with n stones of an attack kind; other kinds leave it free.
void FillPackage(uint8_t* pkg, uint32_t n, uint32_t kind, uint8_t colours) {
  pkg[0] = pkg[1] = pkg[2] = 0;
  if (kind == 3) {
    if (ClassLevel::Rand() % 100 > 79) {
      pkg[0] = CELL_DORMANT;
    } else {
      pkg[0] = pkg[1] = pkg[2] = CELL_SKULL;
    }
    return;
  }
  for (uint32_t i = 0; i < n; i++) {
    if (kind == 0) {
      pkg[i] = CELL_BLACK;
    } else if (kind == 1) {
      pkg[i] = static_cast<uint8_t>(ClassLevel::Rand() % colours + 1);
    } else if (kind == 2) {
      if (ClassLevel::Rand() % 100 < 50)
        pkg[i] = ClassLevel::Rand() % 100 <= 9 ? CELL_SKULL : CELL_BLACK;
      else
        pkg[i] = static_cast<uint8_t>(ClassLevel::Rand() % colours + 1);
    }
  }
}

}  // namespace

void ClassLevel::AddVsQueue(uint32_t count, uint32_t kind) {
  const uint32_t n = count > 3 ? 3 : count;
  for (auto& pkg : vsQueue) {
    if (pkg[0] != 0) continue;
    FillPackage(pkg, n, kind, colours);
    break;
  }
  if (ClassPlayer* pl = Player()) pl->blackDue = static_cast<uint8_t>(n);
}

void ClassLevel::AddCPUVsQueue(uint32_t seat, uint32_t count, uint32_t kind) {
  if (seat >= 3) return;
  const uint32_t n = count > 3 ? 3 : count;
  for (auto& pkg : cpuPlayer[seat].cpuQueue) {
    if (pkg[0] != 0) continue;
    FillPackage(pkg, n, kind, colours);
    break;
  }
}

void ClassLevel::DeliverPackage(const PARTICLE& p) {
  if (p.target == 128) {
    if (p.attackKind < 4) AddVsQueue(static_cast<uint32_t>(p.count), static_cast<uint32_t>(p.attackKind));
    return;
  }
  if (p.target < 0 || p.target > 2) return;
  const PLAYERSLOT& s = slot[p.target];
  if (IsComputerSeat(s.kind))
    AddCPUVsQueue(static_cast<uint32_t>(p.target), static_cast<uint32_t>(p.count),
                  static_cast<uint32_t>(p.attackKind));
  else if (IsLinkedRemote(s))
    NetSendStonePkg(OwnPlayer(), PlayerOfSeat(static_cast<uint32_t>(p.target)),
                    static_cast<uint8_t>(p.count), static_cast<uint8_t>(p.attackKind));
}

void ClassLevel::NetSendStones(uint32_t count, uint32_t kind) {
  ClassPlayer* pl = Player();
  if (!pl || pl->mode != MODE_MULTI) return;
  uint32_t n;
  if (count >= 4)
    n = count - 3 > 3 ? 3 : count - 3;
  else if (kind == 3)
    n = 1;
  else
    return;
  const uint8_t v = attackRotation[rotationIndex & 15];
  rotationIndex++;
  int target = -1;
  int seen = 0;
  for (int s = 0; s < 3 && target < 0; s++) {
    const bool active = IsActiveSeat(slot[s]);
    if (active && seen++ == v) target = s;
  }
  if (target < 0) return;
  PARTICLE pk;
  std::memset(&pk, 0, sizeof pk);
  pk.kind = PART_PACKAGE;
  pk.x = 148 * 256;
  pk.y = 108 * 256;
  pk.vx = kPanelX[target];
  pk.vy = kPanelY[target];
  pk.count = static_cast<int32_t>(n);
  pk.attackKind = static_cast<int32_t>(kind);
  pk.target = target;
  pk.angle = static_cast<uint32_t>(0xC000 - 2048 * target);
  const uint32_t k = FreePEntity();
  if (k == kMaxParticles) {
    DeliverPackage(pk);
    return;
  }
  particle[k] = pk;
}

void ClassLevel::ReceiveStones(uint32_t seat, uint32_t count, uint32_t kind) {
  const uint32_t k = FreePEntity();
  if (k == kMaxParticles) {
    if (kind < 4) AddVsQueue(count, kind);
    return;
  }
  PARTICLE& p = particle[k];
  std::memset(&p, 0, sizeof p);
  p.kind = PART_WAITING;
  p.angle = seat < 3 ? seat : 0;
  p.count = static_cast<int32_t>(count);
  p.attackKind = static_cast<int32_t>(kind);
  p.target = 128;
}
