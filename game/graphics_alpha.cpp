// The graphics helpers' pictures with per-pixel alpha: the banner and the key
// caps of the on-screen keyboard. Until the RGBA surface is available these
// load nothing and the keyboard gets its labels without caps.
#include "game/graphics.h"

bool ClassGraphics::LoadAlphaPictures() { return true; }

bool ClassGraphics::DrawKeyCaps() {
  for (uint8_t j = 0; j < 2; j++)
    for (uint8_t r = 0; r < 5; r++)
      for (uint8_t c = 0; c < 27; c++) {
        const uint8_t v = KeyCell(j, r, c);
        if (v != 0 && (c == 0 || KeyCell(j, r, static_cast<uint8_t>(c - 1)) != v))
          DrawKBChar(&Keyboard(j), c, r, j, 0, true, false);
      }
  return true;
}

void ClassGraphics::DrawKBKey(E2DSurface*, E2DSurfaceRGBA*, tagRECT*) {}
uint32_t ClassGraphics::GetZarnBannerHeight() const { return 0; }
void ClassGraphics::DrawZarnBanner(E2DSurface*, int32_t) {}
