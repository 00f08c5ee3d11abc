// Drawing one frame of play: backdrop, HUD, board, stone animations, particles,
// the stone in hand and the pop-ups. Everything is a blit from the prepared
// sheets of ClassGraphics; nothing here allocates.
#include <cstdio>
#include <cstring>

#include "display/esurf_2d.h"
#include "game/app.h"
#include "game/level.h"
#include "game/player.h"

namespace {

// Co-player panel anchors; each small grid is a diamond about (x + 27, y + 3).
const int32_t kPanel[3][2] = {{19, 149}, {48, 178}, {77, 207}};

bool IsColour(uint8_t stone) { return stone >= 1 && stone <= 7; }

// A blend value as the sprite calls take it: 255 draws plainly.
uint32_t Blend(int32_t v) { return v <= 0 ? 0 : v >= 255 ? 255 : static_cast<uint32_t>(v); }

}  // namespace

void ClassLevel::DrawStatusBar(E2DSurface* s, int32_t x, int32_t y, uint32_t lines, int32_t length, int32_t value,
                               bool mirrored, uint32_t colour) {
  if (!s || value <= 0) return;
  const bool full = value >= length;
  uint32_t grey = 0;
  if (full) {
    const uint32_t q = stateTimer / 4;
    const uint32_t g = q % 192;
    const uint32_t level = (q % 384) < 192 ? 63 + g : 255 - g;
    grey = level | level << 8 | level << 16;
  }
  const int32_t dir = mirrored ? -1 : 1;
  for (int32_t i = 0; i < static_cast<int32_t>(lines); i++) {
    if (i / 2 >= value) continue;
    int32_t f = value - i / 2;
    if (i + f > length) f = length - i;
    if (f <= 0) continue;
    const int32_t x0 = x + dir * i, x1 = x + dir * (i + f);
    s->DrawLine(x0, y, x1, y - f, colour, 24, 192);
    if (full) s->DrawLine(x0, y, x1, y - f, grey, 16, 192);
  }
}

void ClassLevel::RenderSmallGrid(E2DSurface* s, uint32_t seat, int32_t ax, int32_t ay) {
  ClassGraphics* gfx = mainData->graphics;
  const uint8_t* g = coGrid[seat];
  const int16_t* step = coFallStep[seat];
  for (int32_t r = 8; r >= 0; r--) {
    for (int32_t c = 0; c < 9; c++) {
      const int i = Cell(r, c);
      const uint8_t code = g[i];
      if (code == 0) continue;
      const int32_t x = ax + 3 * (r + c), y = ay + 3 * (c - r);
      int32_t p = step[i];
      if (p < 0) p = 0;
      if (code <= 15) {
        gfx->DrawSQSprite(s, x, y, code);
      } else if (code >= 0x80 && code < 0xB0) {
        // Falling: drawn on its way in from the cell it left.
        const int32_t dir = (code >> 4) - 7;  // 1 left, 2 right, 3 straight down
        const int32_t rest = p >= 112 ? 0 : 112 - p;
        int32_t dx = 0, dy = 0;
        if (dir == 1) dx = 3 * rest / 112, dy = -3 * rest / 112;
        else if (dir == 2) dx = -3 * rest / 112, dy = -3 * rest / 112;
        else dy = -6 * rest / 112;
        gfx->DrawSQSprite(s, x + dx, y + dy, code & 15);
      } else if (code >= 0x40 && code < 0x50) {
        // Breaking: the stone fades under a growing small explosion.
        gfx->DrawSQSprite(s, x, y, code & 15, 8, Blend(255 - p * 255 / 384));
        const int32_t frame = p * 8 / 384;
        gfx->DrawSQSprite(s, x, y, static_cast<uint8_t>(16 + (frame > 7 ? 7 : frame)));
      } else if (code >= 0x50 && code < 0x60) {
        // Board clear: the stone waits for its turn of the staggered wave.
        if (p < 640) {
          gfx->DrawSQSprite(s, x, y, code & 15);
        } else {
          const int32_t frame = (p - 640) * 8 / 256;
          gfx->DrawSQSprite(s, x, y, static_cast<uint8_t>(16 + (frame > 7 ? 7 : frame)));
        }
      } else if (code >= 0x60 && code < 0x70) {
        // A wildcard taking a colour: the colour shows through as it fades.
        gfx->DrawSQSprite(s, x, y, code & 15);
        gfx->DrawSQSprite(s, x, y, CELL_WILDCARD, 8, Blend(255 - p));
      } else if (code == CELL_EXPLODED) {
        gfx->DrawSQSprite(s, x, y, static_cast<uint8_t>(16 + ((p >> 6) & 7)));
      }
      // 0xC1 to 0xC3: a vacated cell shows nothing.
    }
  }
}

// ---- The HUD ----

void ClassLevel::RenderHUD(E2DSurface* s, bool showClock) {
  ClassGraphics* gfx = mainData->graphics;
  const ClassPlayer* pl = Player();
  char text[32];

  gfx->DrawQSprite(s, 239, 33, spriteOf[nextStone[1]], 8, 192);
  gfx->DrawQSprite(s, 231, 33, spriteOf[nextStone[0]]);

  const char* score = textBuffer;
  if (!scorePopTimer) {
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(pl->score));
    score = text;
  }
  gfx->DrawFontFx(s, 0, 100, 25, score, 0x101, 0);
  gfx->DrawFontFx(s, 0, 44, 73, static_cast<int32_t>(pl->level), 0x101, 0);

  RenderAttackCorner(s);
  for (uint32_t seat = 0; seat < 3; seat++) RenderCoPanel(s, seat);

  if (showClock) {
    std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(clockHour),
                  static_cast<unsigned>(clockMinute % 100));
    gfx->DrawFontFx(s, 0, 292, 211, text, 0x201, 0);
  }
}

// The bar and the stones that come next: the first attack package in versus,
// a sample package in the modes that send none, else the black stone and its count.
void ClassLevel::RenderAttackCorner(E2DSurface* s) {
  ClassGraphics* gfx = mainData->graphics;
  const ClassPlayer* pl = Player();
  if (pl->mode == MODE_MULTI) {
    DrawStatusBar(s, 176, 227, 8, 92, slot[3].barShown * 92 / 1024, false, 0x40FFC0);
    const uint8_t* pk = vsQueue[0];
    RenderPackage(s, pk, pk[2] ? 3 : pk[1] ? 2 : pk[0] ? 1 : 0);
    int32_t last = 0;
    for (int32_t k = 0; k < kQueuePackages; k++)
      if (vsQueue[k][0]) last = k + 1;
    if (last) gfx->DrawFontFx(s, 0, 261, 208, last, 0x101, 0);
    return;
  }
  DrawStatusBar(s, 176, 227, 8, 92, pl->barShown * 92 / 1024, false, 0x4040FF);
  if (IsPuzzle(pl->mode)) {
    const uint8_t sample[3] = {1, 2, 3};
    RenderPackage(s, sample, 3);
  } else {
    const uint8_t black[1] = {static_cast<uint8_t>(hardLevel ? CELL_SKULL : CELL_BLACK)};
    RenderPackage(s, black, 1);
    gfx->DrawFontFx(s, 0, 261, 208, static_cast<int32_t>(pl->blackDue), 0x101, 0);
  }
}

// One to three stones in the package's triangle (two side by side, one on top).
void ClassLevel::RenderPackage(E2DSurface* s, const uint8_t* stones, uint32_t count) {
  ClassGraphics* gfx = mainData->graphics;
  if (count == 3) {
    gfx->DrawSprite(s, 242, 205, spriteOf[stones[0]], 1, 0);
    gfx->DrawSprite(s, 230, 205, spriteOf[stones[1]], 1, 0);
    gfx->DrawSprite(s, 236, 193, spriteOf[stones[2]], 1, 0);
  } else if (count == 2) {
    gfx->DrawSprite(s, 242, 199, spriteOf[stones[0]], 1, 0);
    gfx->DrawSprite(s, 230, 199, spriteOf[stones[1]], 1, 0);
  } else if (count == 1) {
    gfx->DrawSprite(s, 236, 199, spriteOf[stones[0]], 1, 0);
  }
}

// A co-player's panel: bar, name (or "CPU"), small grid, and the name again
// in red over the grid when the player has dropped out.
void ClassLevel::RenderCoPanel(E2DSurface* s, uint32_t seat) {
  ClassGraphics* gfx = mainData->graphics;
  const int32_t x = kPanel[seat][0], y = kPanel[seat][1];
  const PLAYERSLOT& sl = slot[seat];
  DrawStatusBar(s, x + 23, y + 29, 4, 23, sl.barShown * 23 / 1024, true, 0x40FFC0);
  char label[4] = {};
  if (IsComputerSeat(sl.kind)) {
    std::memcpy(label, "CPU", 3);
  } else if (sl.kind == SEAT_REMOTE) {
    std::memcpy(label, sl.name, 3);
    label[3] = 0;
  }
  const int32_t ly = y + 3 - static_cast<int32_t>(gfx->GetFontHeight(0) / 2);
  if (IsActiveSeat(sl)) gfx->DrawFontFx(s, 0, x + 27, ly, label, 0x207, 0x0080FF);
  RenderSmallGrid(s, seat, x, y);
  if (sl.kind == SEAT_REMOTE && sl.link == LINK_DROPPED)
    gfx->DrawFontFx(s, 0, x + 27, ly, label, 0x209, 0x80);
}

// ---- The frame, layer by layer ----

void ClassLevel::RenderAll(E2DSurface* s, bool showClock) {
  if (!s || !mainData || !mainData->graphics || !Player()) return;
  mainData->graphics->DrawBackDrop(s);
  RenderHUD(s, showClock);
  RenderBoard(s);
  for (const STONEENTITY& e : entity)
    if (e.stone != 0) RenderEntity(s, e);
  if (levelState == ST_GAMEOVER) RenderGameOver(s);
  for (const PARTICLE& p : particle)
    if (p.kind != 0) RenderParticle(s, p);
  if (curStone != 0 && turnPhase == 0 && dropPos <= 16) RenderStoneInHand(s);
  if (bonusPopTimer) RenderBonus(s);
  if (Player()->mode == MODE_TUTORIAL) RenderTutorialBand(s);
}

void ClassLevel::RenderBoard(E2DSurface* s) {
  ClassGraphics* gfx = mainData->graphics;
  for (int32_t r = 0; r < 9; r++) {
    for (int32_t c = 0; c < 9; c++) {
      const int i = Cell(r, c);
      const uint8_t code = grid[i];
      if (!((code >= 1 && code <= 63) || code == CELL_TURNING_BLACK || code == CELL_WILD_TAKING)) continue;
      const int32_t x = 52 + 12 * (r + c), y = 108 + 12 * (c - r);
      const uint8_t st = gridState[i];
      if ((code == CELL_FIXED || code == CELL_BIOHAZARD) && st >= 64 && st <= 79) {
        gfx->DrawQSprite(s, x, y, spriteOf[st & 15]);
        gfx->DrawQSprite(s, x, y, spriteOf[code], 8, fadeTimer == 0 ? 255 : Blend(255 - static_cast<int32_t>(fadeTimer)));
      } else if ((code == CELL_FIXED || code == CELL_BIOHAZARD || code == CELL_WILD_TAKING) && st < 16) {
        gfx->DrawQSprite(s, x, y, spriteOf[st]);
        gfx->DrawQSprite(s, x, y, spriteOf[code], 8, Blend(static_cast<int32_t>(fadeTimer)));
      } else if (code == CELL_TURNING_BLACK) {
        gfx->DrawQSprite(s, x, y, spriteOf[CELL_BLACK]);
        gfx->DrawQSprite(s, x, y, spriteOf[st], 8, Blend(static_cast<int32_t>(fadeTimer)));
      } else {
        gfx->DrawQSprite(s, x, y, spriteOf[code]);
      }
    }
  }
}

// A stone on the move: falling, fading in, breaking, clearing, burning or spinning.
void ClassLevel::RenderEntity(E2DSurface* s, const STONEENTITY& e) {
  ClassGraphics* gfx = mainData->graphics;
  const int32_t x = 52 + e.x, y = 108 + e.y;
  const uint8_t sprite = spriteOf[e.stone];
  const int32_t t = static_cast<int32_t>(e.timer > 0xFFFFF ? 0xFFFFF : e.timer);
  switch (e.kind) {
    case ENT_FALL_LEFT:
      gfx->DrawQSprite(s, x - t * 3 / 28, y + t * 3 / 28, sprite);
      break;
    case ENT_FALL_RIGHT:
      gfx->DrawQSprite(s, x + t * 3 / 28, y + t * 3 / 28, sprite);
      break;
    case ENT_FALL_DOWN:
      gfx->DrawQSprite(s, x, y + t * 24 / 112, sprite);
      break;
    case ENT_FADEIN: {
      if (t < 256) break;
      const int32_t v = t - 256;
      int32_t k = sprite;
      if (IsColour(e.stone)) {
        const int32_t frame = 2 - (v >> 7);
        k = sprite + (frame < 0 ? 0 : frame);
      }
      gfx->DrawQSprite(s, x, y, static_cast<uint8_t>(k), 8, Blend(v));
      break;
    }
    case ENT_BREAK:
      gfx->DrawQSprite(s, x, y, sprite, 8, static_cast<uint32_t>(224 - 32 * ((t >> 5) % 6)));
      break;
    case ENT_CLEAR:
      if (t < 512) break;
      gfx->DrawQSprite(s, x, y, sprite, 8, static_cast<uint32_t>(224 - 32 * (((t - 512) >> 5) % 6)));
      break;
    case 7:
    case ENT_FIRE:
      gfx->DrawQSprite(s, x, y, sprite);
      break;
    case ENT_SPIN:
      if (IsColour(e.stone) && t >= 512 && t <= 831)
        gfx->DrawQSprite(s, x, y, static_cast<uint8_t>(sprite + ((t - 512) >> 6)));
      else
        gfx->DrawQSprite(s, x, y, sprite);
      break;
    default:
      break;
  }
}

// The game-over letters across the board (ST_GAMEOVER).
void ClassLevel::RenderGameOver(E2DSurface* s) {
  for (int32_t k = 0; k < 6; k++)
    mainData->graphics->DrawSprite(s, 88 + 24 * k, 108, static_cast<uint8_t>(64 + k), 1, 0);
}

void ClassLevel::RenderParticle(E2DSurface* s, const PARTICLE& p) {
  ClassGraphics* gfx = mainData->graphics;
  const int32_t x = p.x >> 8, y = p.y >> 8;
  const uint32_t t = p.timer;
  switch (p.kind) {
    case PART_DEBRIS:
    case PART_TRAIL:
      gfx->DrawSprite(s, x, y, static_cast<uint8_t>(56 + ((t >> 6) % 6)), 16, 0);
      break;
    case PART_SPARK:
      gfx->DrawSprite(s, x, y, static_cast<uint8_t>(37 + ((t / 96) % 3)), 16, 0);
      break;
    case PART_FLASH: {
      const uint32_t f = 72 + 2 * (((t >> 6) & 3) + 8 * (t >> 8));
      if (f + 9 > 127) break;  // the flash is over
      const uint8_t k = static_cast<uint8_t>(f);
      gfx->DrawSprite(s, x - 12, y - 12, k, 16, 0);
      gfx->DrawSprite(s, x + 12, y - 12, static_cast<uint8_t>(k + 1), 16, 0);
      gfx->DrawSprite(s, x - 12, y + 12, static_cast<uint8_t>(k + 8), 16, 0);
      gfx->DrawSprite(s, x + 12, y + 12, static_cast<uint8_t>(k + 9), 16, 0);
      break;
    }
    case PART_PACKAGE: {
      const uint32_t q = (t >> 7) & 3;
      uint32_t k = (t & 512) ? 65 - q : 62 + q;
      if (k > 63) k += 6;
      gfx->DrawSprite(s, x + 12, y + 12, static_cast<uint8_t>(k), 16, 0);
      break;
    }
    case PART_WAITING: {
      // A pulsing diamond round the co-player panel that waits for a package.
      const uint32_t seat = p.angle < 3 ? p.angle : 0;
      const int32_t cx = kPanel[seat][0] + 27, cy = kPanel[seat][1] + 3;
      uint32_t v = (t >> 1) & 511;
      if (v > 255) v = 511 - v;
      s->DrawLine(cx, cy - 27, cx + 27, cy, 0xFFFFFF, 8, v);
      s->DrawLine(cx + 27, cy, cx, cy + 27, 0xFFFFFF, 8, v);
      s->DrawLine(cx, cy + 27, cx - 27, cy, 0xFFFFFF, 8, v);
      s->DrawLine(cx - 27, cy, cx, cy - 27, 0xFFFFFF, 8, v);
      break;
    }
    default:
      break;
  }
}

// The stone at its drop position, with the drop cell's marker and the aim
// line down the free cells below it.
void ClassLevel::RenderStoneInHand(E2DSurface* s) {
  ClassGraphics* gfx = mainData->graphics;
  const int32_t x = 52 + 12 * dropPos;
  const int32_t y = dropPos < 8 ? 108 - 12 * dropPos : 108 - 12 * (16 - dropPos);
  const int32_t r0 = dropPos < 8 ? dropPos : 8, c0 = dropPos < 8 ? 0 : dropPos - 8;
  const uint32_t frame = (stateTimer / 96) % 5;
  if (grid[Cell(r0, c0)] == 0) {
    gfx->DrawSprite(s, x, y, IsColour(curStone) ? static_cast<uint8_t>(48 + frame) : 0, 32, 0);
    int32_t k = 0;
    for (int32_t j = 1;; j++) {
      const int32_t r = r0 - j, c = c0 + j;
      if (!Inside(r, c) || grid[Cell(r, c)] != 0) break;
      if (Inside(r, c - 1) && grid[Cell(r, c - 1)] != 0) break;
      if (Inside(r + 1, c) && grid[Cell(r + 1, c)] != 0) break;
      k = j;
    }
    const uint32_t v = stateTimer >> 3;
    gfx->DrawSprite(s, x, y + 24 * k, 45, 8, (v & 128) ? 255 - (v & 127) : 128 + (v & 127));
  }
  const uint8_t sprite = spriteOf[curStone];
  gfx->DrawQSprite(s, x, y - 12, IsColour(curStone) ? static_cast<uint8_t>(sprite + frame) : sprite);
}

void ClassLevel::RenderBonus(E2DSurface* s) {
  ClassGraphics* gfx = mainData->graphics;
  const int32_t fh = static_cast<int32_t>(gfx->GetFontHeight(0));
  gfx->DrawFontFx(s, 0, 160, 120 - fh + 2, "Bonus!", 0x201, 0);
  gfx->DrawFontFx(s, 0, 160, 120, "+ 1000", 0x201, 0);
}

// The tutorial's text band across the top of the screen.
void ClassLevel::RenderTutorialBand(E2DSurface* s) {
  ClassGraphics* gfx = mainData->graphics;
  const int32_t fh = static_cast<int32_t>(gfx->GetFontHeight(0));
  const int32_t h = 2 * fh - 4 > 0 ? 2 * fh - 4 : 1;
  gfx->DrawAlphaBar(s, 0, 0, 320, h, 0x4080C0, 128);
  RenderTutorialText(s, h);
  gfx->DrawLine(s, 0, h, 319, h, 0xFFFFFF);
  gfx->DrawLine(s, 0, h + 1, 319, h + 1, 0x000000);
}
