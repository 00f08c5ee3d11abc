// Display services: surface creation, palettes and their lookups, wipes, the
// built-in font and the turning of input positions and directions.
#include <cstring>
#include <utility>

#include "display/edsp_base.h"
#include "display/edsp_font.h"
#include "display/esurf_2drgba.h"
#include "display/esurf_3d.h"
#include "framework/emod_math.h"
#include "framework/emod_memory.h"

// ---- surfaces ----------------------------------------------------------------------

namespace {
// The 8-bit name forms: names of up to 511 characters, widened byte by byte.
void WidenName(const char* name, uint16_t (&wide)[512]) {
  uint32_t i = 0;
  for (; i < 511 && name[i]; i++) wide[i] = static_cast<unsigned char>(name[i]);
  wide[i] = 0;
}
}  // namespace

int ClassEDisplay::CreateSurface(E2DSurface* s, uint32_t width, uint32_t height, uint32_t flags) {
  if (!s) return 4;
  s->LinkECD(ecd_);
  return s->Create(width, height, renderformat_, flags);
}

int ClassEDisplay::CreateSurface(E2DSurface* s, void* data, uint32_t length, uint32_t flags) {
  if (!s) return 4;
  s->LinkECD(ecd_);
  return s->LoadImage(data, length, renderformat_, flags);
}

int ClassEDisplay::CreateSurface(E2DSurface* s, const uint16_t* name, uint32_t flags) {
  if (!s || !name) return 4;
  s->LinkECD(ecd_);
  return s->LoadImage(name, renderformat_, flags);
}

int ClassEDisplay::CreateSurface(E2DSurface* s, const char* name, uint32_t flags) {
  if (!s || !name) return 4;
  uint16_t wide[512];
  WidenName(name, wide);
  return CreateSurface(s, wide, flags);
}

int ClassEDisplay::CreateSurface(E2DSurfaceRGBA* s, uint32_t width, uint32_t height,
                                 uint32_t flags) {
  if (!s) return ERES_BADARGS;
  s->LinkECD(ecd_);
  return s->Create(width, height, renderformat_, flags);
}

int ClassEDisplay::CreateSurface(E2DSurfaceRGBA* s, void* data, uint32_t length, uint32_t flags) {
  if (!s) return ERES_BADARGS;
  s->LinkECD(ecd_);
  return s->LoadImage(data, length, renderformat_, flags);
}

int ClassEDisplay::CreateSurface(E2DSurfaceRGBA* s, const uint16_t* name, uint32_t flags) {
  if (!s || !name) return ERES_BADARGS;
  s->LinkECD(ecd_);
  return s->LoadImage(name, renderformat_, flags);
}

int ClassEDisplay::CreateSurface(E2DSurfaceRGBA* s, const char* name, uint32_t flags) {
  if (!s || !name) return ERES_BADARGS;
  uint16_t wide[512];
  WidenName(name, wide);
  return CreateSurface(s, wide, flags);
}

int ClassEDisplay::CreateSurface(E3DSurface* m, uint32_t vertices, uint32_t polygons) {
  if (!m) return 4;
  m->LinkECD(ecd_);
  return m->Create(vertices, polygons);
}

int ClassEDisplay::CreateSurface(E3DSurface* m, void* data, uint32_t length) {
  if (!m) return 4;
  m->LinkECD(ecd_);
  return m->LoadModel(data, length);
}

int ClassEDisplay::CreateSurface(E3DSurface* m, const uint16_t* name) {
  if (!m || !name) return 4;
  m->LinkECD(ecd_);
  return m->LoadModel(name);
}

int ClassEDisplay::CreateSurface(E3DSurface* m, const char* name) {
  if (!m || !name) return 4;
  uint16_t wide[512];
  WidenName(name, wide);
  return CreateSurface(m, wide);
}

// ---- palette -----------------------------------------------------------------------

void ClassEDisplay::SetPalette(const uint32_t* colours, uint8_t first, uint32_t count) {
  if (!colours) return;
  uint32_t end = uint32_t(first) + count;
  if (end > 256 || end < first) end = 256;
  for (uint32_t i = first; i < end; i++) palette_[i] = colours[i - first];
  palchanged_ = 1;
  palcache_[256] = 0;
}

void ClassEDisplay::GetPalette(uint32_t* out, uint8_t first, uint32_t count) const {
  if (!out) return;
  uint32_t end = uint32_t(first) + count;
  if (end > 256 || end < first) end = 256;
  for (uint32_t i = first; i < end; i++) out[i - first] = palette_[i] & 0xFFFFFF;
}

namespace {
inline uint32_t Key15(uint32_t c) {
  return ((c >> 3) & 0x1F) | ((c >> 6) & 0x3E0) | ((c >> 9) & 0x7C00);
}
inline int32_t Dist15(uint32_t a, uint32_t b) {
  const int32_t dr = int32_t(a & 0x1F) - int32_t(b & 0x1F);
  const int32_t dg = int32_t((a >> 5) & 0x1F) - int32_t((b >> 5) & 0x1F);
  const int32_t db = int32_t((a >> 10) & 0x1F) - int32_t((b >> 10) & 0x1F);
  return (dr < 0 ? -dr : dr) + (dg < 0 ? -dg : dg) + (db < 0 ? -db : db);
}
}  // namespace

void EDisplay_CreatePaletteLookup(const uint32_t* palette, uint8_t* out, const uint32_t* colours,
                                  uint16_t count) {
  if (!palette || !out) return;
  struct Cand {
    uint8_t index;
    uint32_t key, bright;
  } cand[255];
  uint32_t n = 0;
  for (uint32_t i = 1; i < 256; i++) {
    bool seen = false;
    for (uint32_t j = 1; j < i && !seen; j++) seen = palette[j] == palette[i];
    if (seen) continue;
    const uint32_t c = palette[i];
    cand[n].index = uint8_t(i);
    cand[n].key = Key15(c);
    cand[n].bright = ((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF)) >> 3;
    n++;
  }
  // One exchange pass; this order settles ties.
  for (uint32_t j = 0; j + 1 < n; j++)
    if (cand[j + 1].bright < cand[j].bright) std::swap(cand[j], cand[j + 1]);
  if (n == 0) return;
  auto nearest = [&](uint32_t key) {
    int32_t best = 0x7FFFFFFF;
    uint8_t idx = 0;
    for (uint32_t j = 0; j < n; j++) {
      const int32_t d = Dist15(key, cand[j].key);
      if (d < best) {
        best = d;
        idx = cand[j].index;
      }
    }
    return idx;
  };
  if (colours) {
    if (count == 0) return;
    out[0] = 0;
    for (uint32_t k = 1; k < count; k++) out[k] = nearest(Key15(colours[k]));
  } else {
    for (uint32_t k = 0; k < 32768; k++) out[k] = nearest(k);
  }
}

int ClassEDisplay::BuildPaletteLookup() {
  bool build = palchanged_ != 0;
  if (!pallookup_) {
    pallookup_ = static_cast<uint8_t*>(ClassEMemory::Alloc(32768));
    if (!pallookup_) return 0;
    std::memset(pallookup_, 0, 32768);
    build = true;
  }
  if (build) EDisplay_CreatePaletteLookup(palette_, pallookup_, nullptr, 0);
  palchanged_ = 0;
  return 1;
}

int ClassEDisplay::BuildPaletteLookupIndex(uint8_t* remap, const uint32_t* colours) {
  if (!remap || !colours) return 0;
  EDisplay_CreatePaletteLookup(palette_, remap, colours, 256);
  return 1;
}

// ---- wipes -------------------------------------------------------------------------

namespace {

// The numbers 0-255 along a clockwise spiral from the top-left cell inwards.
struct SpiralTable {
  uint8_t v[256];
  SpiralTable() {
    int top = 0, left = 0, bottom = 15, right = 15, k = 0;
    while (k < 256) {
      for (int x = left; x <= right && k < 256; x++) v[top * 16 + x] = uint8_t(k++);
      top++;
      for (int y = top; y <= bottom && k < 256; y++) v[y * 16 + right] = uint8_t(k++);
      right--;
      for (int x = right; x >= left && k < 256; x--) v[bottom * 16 + x] = uint8_t(k++);
      bottom--;
      for (int y = bottom; y >= top && k < 256; y--) v[y * 16 + left] = uint8_t(k++);
      left++;
    }
  }
};
const SpiralTable kSpiral;

}  // namespace

const uint8_t* EDisplay_WipeOrder() { return kSpiral.v; }

void ClassEDisplay::StartWipe(uint8_t, E2DSurface*) { wipeprogress_ = 0; }

void ClassEDisplay::MapScreenWipe(uint8_t* map, uint32_t width, uint32_t height, uint8_t keep) {
  if (!map || keep || !ecd_ || !ecd_->math) return;
  const uint64_t n = uint64_t(width) * height;
  for (uint64_t i = 0; i < n; i++) map[i] = uint8_t(ecd_->math->Rand());
}

namespace {

// Kinds 0-3: `to` slides in over `from` from the right, left, bottom or top.
void WipeSlide(E2DSurface* dst, E2DSurface* from, E2DSurface* to, uint32_t p, uint8_t kind) {
  if (dst != from) dst->BltFast(0, 0, from, nullptr, 0, 0);
  if (!to) return;
  const int32_t w = int32_t(dst->GetWidth()), h = int32_t(dst->GetHeight());
  const int32_t dx = int32_t((int64_t(p) * w) >> 16), dy = int32_t((int64_t(p) * h) >> 16);
  if (kind == 0) dst->BltFast(w - dx, 0, to, nullptr, 0, 0);
  else if (kind == 1) dst->BltFast(dx - w, 0, to, nullptr, 0, 0);
  else if (kind == 2) dst->BltFast(0, h - dy, to, nullptr, 0, 0);
  else dst->BltFast(0, dy - h, to, nullptr, 0, 0);
}

// Kind 5: `from` in blocks that grow with the progress, each its centre's colour.
void WipePixelate(E2DSurface* dst, E2DSurface* from, uint32_t p) {
  const int32_t w = int32_t(dst->GetWidth()), h = int32_t(dst->GetHeight());
  const int32_t b = int32_t((int64_t(p) * (w > h ? w : h)) >> 16);
  if (b < 2) return;
  for (int32_t y = 0; y < h; y += b)
    for (int32_t x = 0; x < w; x += b) {
      int32_t cx = x + b / 2, cy = y + b / 2;
      if (cx >= w) cx = w - 1;
      if (cy >= h) cy = h - 1;
      const uint32_t colour = from->GetPixel(cx, cy);
      tagRECT r = {x, y, x + b, y + b};
      dst->FillRect(&r, colour, 0, 0);
    }
}

// One n x n cell at (x, y) turned to `to`, or to black without it.
void TurnCell(E2DSurface* dst, E2DSurface* to, int32_t x, int32_t y, int32_t n) {
  if (n > 1) {
    tagRECT r = {x, y, x + n, y + n};
    if (to) dst->BltFast(x, y, to, &r, 0, 0);
    else dst->FillRect(&r, 0, 0, 0);
  } else {
    dst->PutPixel(x, y, to ? to->GetPixel(x, y) : 0, 0, 0);
  }
}

}  // namespace

void ClassEDisplay::Wipe(E2DSurface* dst, E2DSurface* from, E2DSurface* to, uint32_t progress,
                         uint8_t kind, const void* map, int32_t cell) {
  // Every kind reads `from` and draws on dst; without them there is nothing to do.
  if (!dst || !from || !dst->IsCreated() || !from->IsCreated()) return;
  const uint32_t p = progress > 65536 ? 65536 : progress;
  switch (kind) {
    case 0:
    case 1:
    case 2:
    case 3: return WipeSlide(dst, from, to, p, kind);
    case 4: return WipeCells(dst, from, to, p, map ? static_cast<const uint8_t*>(map) : kSpiral.v, cell);
    case 5: return WipePixelate(dst, from, p);
    case 6:
      if (dst != from) dst->BltFast(0, 0, from, nullptr, 0, 0);
      if (to) dst->BltFast(0, 0, to, nullptr, 0x08, (p * 255) >> 16);
      return;
    case 7:
      if (map) WipeDissolve(dst, from, to, p, static_cast<const uint8_t*>(map));
      return;
    default:
      return;
  }
}

// The ordered kinds start over whenever dst is not `from` yet.
void ClassEDisplay::WipeStartFrom(E2DSurface* dst, E2DSurface* from) {
  if (dst == from) return;
  dst->BltFast(0, 0, from, nullptr, 0, 0);
  wipeprogress_ = 0;
}

// Kind 4: 16 x 16 cells in every tile turn in `order` up to the progress, the
// ones turned by earlier calls left alone.
void ClassEDisplay::WipeCells(E2DSurface* dst, E2DSurface* from, E2DSurface* to, uint32_t p,
                              const uint8_t* order, int32_t cell) {
  WipeStartFrom(dst, from);
  const int32_t w = int32_t(dst->GetWidth()), h = int32_t(dst->GetHeight());
  const uint32_t t = p >> 8;
  // At least one pixel per cell: a small surface would otherwise never turn.
  int32_t n = cell > 0 ? cell : (w > h ? w : h) / 15;
  if (n < 1) n = 1;
  const int32_t span = 16 * n;
  const int32_t ox = (w - span) / 2 < 0 ? (w - span) / 2 : 0;
  const int32_t oy = (h - span) / 2 < 0 ? (h - span) / 2 : 0;
  for (int32_t ty = oy; ty < h; ty += span)
    for (int32_t tx = ox; tx < w; tx += span)
      for (int32_t c = 0; c < 256; c++) {
        const uint32_t v = order[c];
        if (v < wipeprogress_ || v > t) continue;
        const int32_t x = tx + (c & 15) * n, y = ty + (c >> 4) * n;
        if (x >= w || y >= h || x + n <= 0 || y + n <= 0) continue;
        TurnCell(dst, to, x, y, n);
      }
  wipeprogress_ = t + 1;
}

// Kind 7: each pixel turns when the progress passes its value in the map.
void ClassEDisplay::WipeDissolve(E2DSurface* dst, E2DSurface* from, E2DSurface* to, uint32_t p,
                                 const uint8_t* map) {
  WipeStartFrom(dst, from);
  const int32_t w = int32_t(dst->GetWidth()), h = int32_t(dst->GetHeight());
  const uint32_t t = p >> 8;
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) {
      const uint32_t v = map[y * w + x];
      if (v < wipeprogress_ || v > t) continue;
      dst->PutPixel(x, y, to ? to->GetPixel(x, y) : 0, 0, 0);
    }
  wipeprogress_ = t + 1;
}

// ---- built-in font -----------------------------------------------------------------

int EDisplay_CreateInternalFont(ClassEDisplay* display, E2DSurface* font, ClassEMemory* memory,
                                uint32_t flags) {
  if (!display || !font) return 1;
  uint8_t* buf = static_cast<uint8_t*>(ClassEMemory::Alloc(kEdspFontBytes));
  if (!buf) return 2;
  font->LinkECD(display->GetECD());
  int r = font->Create(kEdspFontWidth, kEdspFontHeight, display->GetRenderFormat(), flags);
  if (r != 0) {
    ClassEMemory::DeAlloc(buf);
    return r;
  }
  ClassEMemory local;
  ClassEMemory* codec = memory ? memory : &local;
  uint32_t size = kEdspFontBytes;
  if (!codec->UnCompress(buf, size, edsp_internalfont, edsp_internalfont_size) ||
      size != kEdspFontBytes) {
    ClassEMemory::DeAlloc(buf);
    return 1;
  }
  for (uint32_t y = 0; y < kEdspFontHeight; y++)
    for (uint32_t x = 0; x < kEdspFontWidth; x++) {
      const uint8_t b = buf[y * (kEdspFontWidth / 2) + x / 2];
      const uint8_t nib = (x & 1) ? (b & 0xF) : (b >> 4);
      const uint32_t c = nib == 1 ? 0xFFFFFF : nib == 2 ? 0 : 0xFF00FF;
      font->PutPixel(int32_t(x), int32_t(y), c, 0, 0);
    }
  ClassEMemory::DeAlloc(buf);
  return 0;
}

// ---- input -------------------------------------------------------------------------

void ClassEDisplay::VirtualDPad(uint32_t* code, const EBUTTONLIST* list) const {
  if (!code || !list) return;
  const uint32_t up = list->DPadUp, down = list->DPadDown, left = list->DPadLeft,
                 right = list->DPadRight;
  const uint32_t c = *code;
  if (c != up && c != down && c != left && c != right) return;
  const uint32_t r = (uint32_t(orientation_) + 4u - inputorientation_) & 3u;
  // The clockwise neighbour of each direction, applied r times.
  uint32_t v = c;
  for (uint32_t i = 0; i < r; i++) {
    if (v == up) v = right;
    else if (v == right) v = down;
    else if (v == down) v = left;
    else v = up;
  }
  *code = v;
}

void ClassEDisplay::VirtualMouse(int32_t& x, int32_t& y) const {
  const int32_t w = inputWidth_, h = inputHeight_;
  int32_t nx = x, ny = y;
  switch (inputorientation_ & 3) {
    case 1: nx = y; ny = w - x; break;
    case 2: nx = w - x; ny = h - y; break;
    case 3: nx = h - y; ny = x; break;
    default: break;
  }
  x = nx;
  y = ny;
  const int32_t W = int32_t(physWidth_), H = int32_t(physHeight_);
  switch (orientation_ & 3) {
    case 1: nx = H - y; ny = x; break;
    case 2: nx = W - x; ny = H - y; break;
    case 3: nx = y; ny = W - x; break;
    default: break;
  }
  x = nx;
  y = ny;
}

void ClassEDisplay::VirtualTilt(int32_t& x, int32_t& y) const {
  const int32_t ox = x, oy = y;
  switch (orientation_ & 3) {
    case 1: x = -oy; y = ox; break;
    case 2: x = -ox; y = -oy; break;
    case 3: x = oy; y = -ox; break;
    default: break;
  }
}

void ClassEDisplay::VirtualRotation(uint16_t& angle) const {
  uint32_t a = angle;
  if (xdir_ < 0) a = 4096 - (a & 0xFFF);
  if (ydir_ < 0) a = 2048 - (a & 0xFFF);
  if (swapxy_) a = 1024 - (a & 0xFFF);
  angle = uint16_t(a & 0xFFF);
}
