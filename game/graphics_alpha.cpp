// The graphics helpers' pictures with per-pixel alpha: the banner and the key
// caps of the on-screen keyboard.
#include "display/edsp_base.h"
#include "display/esurf_2drgba.h"
#include "framework/emod_memory.h"
#include "game/graphics.h"

namespace {
tagRECT Rect(int32_t l, int32_t t, int32_t r, int32_t b) {
  tagRECT rc;
  rc.left = l;
  rc.top = t;
  rc.right = r;
  rc.bottom = b;
  return rc;
}
}  // namespace

int ClassGraphics::QuickLoadFileSurface(const char* name, E2DSurfaceRGBA* surface) {
  if (!surface) return 0;
  void* data = nullptr;
  uint32_t length = 0;
  if (!PackEntry(name, data, length)) return 0;
  const int r = display_->CreateSurface(surface, data, length, 32);
  if (data) ClassEMemory::DeAlloc(data);
  return r == 0 ? 1 : 0;
}

bool ClassGraphics::LoadAlphaPictures() { return QuickLoadFileSurface("zarnbanner.png", &banner_) == 1; }

bool ClassGraphics::DrawKeyCaps() {
  E2DSurfaceRGBA key;
  if (!QuickLoadFileSurface("kbkey.png", &key)) return false;
  for (uint8_t j = 0; j < 2; j++)
    for (uint8_t r = 0; r < 5; r++) {
      for (uint8_t s = 0; s < 27;) {
        uint8_t e = static_cast<uint8_t>(s + 1);
        while (e < 27 && KeyCell(j, r, e) == KeyCell(j, r, s)) e++;
        if (KeyCell(j, r, s) != 0) {
          tagRECT rc = Rect(52 + 8 * s, 5 + 16 * r, 52 + 8 * e, 21 + 16 * r);
          DrawKBKey(&keyboard_[j], &key, &rc);
          DrawKBChar(&keyboard_[j], s, r, j, 0, true, false);
        }
        s = e;
      }
    }
  return true;
}

void ClassGraphics::DrawKBKey(E2DSurface* panel, E2DSurfaceRGBA* image, tagRECT* key) {
  if (!panel || !image || !key || !image->GetBuffer()) return;
  const int32_t W = static_cast<int32_t>(image->GetWidth()), H = static_cast<int32_t>(image->GetHeight());
  if (W < 24 || H < 24) return;
  const int32_t m = (W - 24) / 2;
  const int32_t kw = key->right - key->left;
  const int32_t kh0 = key->bottom - key->top;
  if (kw < 0 || kh0 < 0) return;
  const int32_t kh = kh0 + H - 24;  // the cap's shadow hangs below the key
  // Corner sizes: 8, or half the key where it is smaller than two corners.
  const int32_t cl = kw < 16 ? (kw + 1) / 2 : 8, cr = kw < 16 ? kw / 2 : 8;
  const int32_t th = kh0 < 16 ? (kh0 + 1) / 2 : 8;
  // The bottom pieces: the image's last rows from 16 on (shadow included), or
  // what the short key leaves below its top half.
  const int32_t bh = kh0 < 16 ? kh - th : H - 16;
  const int32_t l = key->left, t = key->top, r = key->right;
  auto piece = [&](int32_t dx, int32_t dy, int32_t sx, int32_t sy, int32_t w, int32_t h) {
    if (w <= 0 || h <= 0) return;
    tagRECT rc = Rect(sx, sy, sx + w, sy + h);
    panel->BltFast(dx, dy, image, &rc);
  };
  // Rows: top (image rows 0..th), middle (tiled from rows 8..16), bottom (the last bh rows).
  auto row = [&](int32_t dy, int32_t sy, int32_t h) {
    piece(l - m, dy, 0, sy, m + cl, h);
    for (int32_t x = l + cl; x < r - cr; x += 8) piece(x, dy, m + 8, sy, (r - cr - x) < 8 ? r - cr - x : 8, h);
    piece(r - cr, dy, W - m - cr, sy, cr + m, h);
  };
  row(t, 0, th);
  for (int32_t y = t + th; y < t + kh - bh; y += 8) row(y, 8, (t + kh - bh - y) < 8 ? t + kh - bh - y : 8);
  row(t + kh - bh, H - bh, bh);
}

uint32_t ClassGraphics::GetZarnBannerHeight() const { return banner_.GetHeight(); }

void ClassGraphics::DrawZarnBanner(E2DSurface* s, int32_t y) {
  if (!s || !banner_.GetBuffer()) return;
  s->BltFast(160 - static_cast<int32_t>(banner_.GetWidth()) / 2, y, &banner_, nullptr);
}
