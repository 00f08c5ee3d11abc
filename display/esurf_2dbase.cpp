#include "display/esurf_2dbase.h"

#include <cstring>

#include "display/edsp_base.h"
#include "framework/emod_file.h"
#include "framework/emod_memory.h"

void EOrient_VirtualPos(const EORIENT& o, int32_t& x, int32_t& y, uint32_t w, uint32_t h) {
  if (o.swap) {
    int32_t t = x;
    x = y;
    y = t;
  }
  if (o.xdir < 0) x = int32_t(w) - x - 1;
  if (o.ydir < 0) y = int32_t(h) - y - 1;
}

void EOrient_VirtualRect(const EORIENT& o, tagRECT* r, uint32_t w, uint32_t h) {
  if (!r) return;
  if (o.swap) *r = tagRECT{r->top, r->left, r->bottom, r->right};
  if (o.xdir < 0) {
    int32_t l = r->left;
    r->left = int32_t(w) - r->right;
    r->right = int32_t(w) - l;
  }
  if (o.ydir < 0) {
    int32_t t = r->top;
    r->top = int32_t(h) - r->bottom;
    r->bottom = int32_t(h) - t;
  }
}

void EOrient_ReVirtualRect(const EORIENT& o, tagRECT* r, uint32_t w, uint32_t h) {
  if (!r) return;
  if (o.ydir < 0) {
    int32_t t = r->top;
    r->top = int32_t(h) - r->bottom;
    r->bottom = int32_t(h) - t;
  }
  if (o.xdir < 0) {
    int32_t l = r->left;
    r->left = int32_t(w) - r->right;
    r->right = int32_t(w) - l;
  }
  if (o.swap) *r = tagRECT{r->top, r->left, r->bottom, r->right};
}

void EOrient_VirtualRectPos(const EORIENT& o, int32_t& x, int32_t& y, tagRECT* r, uint32_t dstW,
                            uint32_t dstH, uint32_t srcW, uint32_t srcH) {
  EOrient_VirtualRectPos(o, x, y, r, dstW, dstH, srcW, srcH, 0);
}

void EOrient_VirtualRectPos(const EORIENT& o, int32_t& x, int32_t& y, tagRECT* r, uint32_t dstW,
                            uint32_t dstH, uint32_t srcW, uint32_t srcH, uint16_t angle) {
  EOrient_VirtualPos(o, x, y, dstW, dstH);
  EOrient_VirtualRect(o, r, srcW, srcH);
  // A mirrored position names the far corner of the drawn image.
  const bool quarter = (angle & 0x7FF) != 0;
  if (o.xdir < 0) x += quarter ? r->top - r->bottom + 1 : r->left - r->right + 1;
  if (o.ydir < 0) y += quarter ? r->left - r->right + 1 : r->top - r->bottom + 1;
}

E2DSurfaceBase::E2DSurfaceBase() = default;
E2DSurfaceBase::~E2DSurfaceBase() = default;

int E2DSurfaceBase::LdrOnCreate(ELDR_2DCALLBACKINFO*) { return 3; }
int E2DSurfaceBase::LdrOnPaletteStream(ELDR_2DCALLBACKINFO*) { return 3; }
int E2DSurfaceBase::LdrOnPixelStream(ELDR_2DCALLBACKINFO*) { return 3; }

EORIENT E2DSurfaceBase::Orientation() const {
  EORIENT o;
  if (ecd_ && ecd_->dsp) {
    o.swap = ecd_->dsp->GetAxisSwap();
    o.xdir = ecd_->dsp->GetXDir() < 0 ? -1 : 1;
    o.ydir = ecd_->dsp->GetYDir() < 0 ? -1 : 1;
  }
  return o;
}

ClassEMemory* E2DSurfaceBase::Memory() const { return ecd_ ? ecd_->mem : nullptr; }

int E2DSurfaceBase::LoadThroughSlots(void* data, uint32_t length, uint8_t format, uint32_t flags) {
  if (!ecd_ || !ecd_->dsp) return ERES_NOTTHISFORMAT;
  for (int slot = 0; slot < 16; slot++) {
    ClassELoaderBase* loader = ecd_->dsp->GetLoader(slot);
    if (!loader) continue;
    const int r = loader->Start(this, data, length, format, flags);
    if (r != ERES_NOTTHISFORMAT) return r;
  }
  return ERES_NOTTHISFORMAT;
}

int E2DSurfaceBase::ReadWholeFile(const uint16_t* name, void** data, uint32_t* size) {
  *data = nullptr;
  *size = 0;
  if (!name) return ERES_BAD;
  ClassEFile file;
  if (!file.Open(name, EFILE_READ)) return ERES_BAD;
  const uint32_t n = file.Size();
  if (!n) return ERES_BAD;
  void* block = ClassEMemory::Alloc(n);
  if (!block) return ERES_NOMEMORY;
  const bool read = file.Read(block, n);
  file.Close();
  if (!read) {
    ClassEMemory::DeAlloc(block);
    return ERES_BAD;
  }
  *data = block;
  *size = n;
  return ERES_OK;
}

uint32_t E2DSurfaceBase::GetWidth() const {
  if (!IsCreated()) return 0;
  return Orientation().swap ? rows_ : width_;
}

uint32_t E2DSurfaceBase::GetHeight() const {
  if (!IsCreated()) return 0;
  return Orientation().swap ? width_ : rows_;
}

void E2DSurfaceBase::GetPalette(uint32_t* out, uint8_t first, uint32_t count) const {
  if (!out) return;
  uint32_t end = uint32_t(first) + count;
  if (count > 256 || end > 256) end = 256;
  for (uint32_t i = first; i < end; i++) out[i - first] = palette_[i];
}

int E2DSurfaceBase::ClipRect(tagRECT* r) const {
  if (!r) return 0;
  if (r->left >= r->right || r->top >= r->bottom) return 0;
  if (r->right <= clip_.left || r->bottom <= clip_.top || r->left >= clip_.right ||
      r->top >= clip_.bottom)
    return 0;
  if (r->left < clip_.left) r->left = clip_.left;
  if (r->top < clip_.top) r->top = clip_.top;
  if (r->right > clip_.right) r->right = clip_.right;
  if (r->bottom > clip_.bottom) r->bottom = clip_.bottom;
  return (r->left < r->right && r->top < r->bottom) ? 1 : 0;
}

int E2DSurfaceBase::PrepareBlitRect(int32_t& px, int32_t& py, tagRECT* src, int32_t sw,
                                    int32_t sh) const {
  if (!src) return 0;
  // 64-bit locals: positions far outside the surface must not wrap.
  int64_t x = px, y = py, l = src->left, t = src->top, r = src->right, b = src->bottom;
  const int64_t cl = clip_.left, ct = clip_.top, cr = clip_.right, cb = clip_.bottom;
  if (x >= cr || y >= cb || l >= r || t >= b || r < 0 || b < 0 || l >= sw || t >= sh) return 0;
  if (l < 0) {
    x -= l;
    l = 0;
  }
  if (t < 0) {
    y -= t;
    t = 0;
  }
  if (x < cl) {
    l += cl - x;
    x = cl;
  }
  if (y < ct) {
    t += ct - y;
    y = ct;
  }
  if (r > sw) r = sw;
  if (b > sh) b = sh;
  if (x + (r - l) > cr) r = l + cr - x;
  if (y + (b - t) > cb) b = t + cb - y;
  if (!(l < r && t < b)) return 0;
  px = int32_t(x);
  py = int32_t(y);
  *src = tagRECT{int32_t(l), int32_t(t), int32_t(r), int32_t(b)};
  return 1;
}

int E2DSurfaceBase::GetBltFastPositions(int32_t& x, int32_t& y, tagRECT* out, const tagRECT* src,
                                        const E2DSurfaceBase* source) const {
  if (!out || !source || !IsCreated() || !source->IsCreated()) return 1;
  if (src) {
    *out = *src;
  } else {
    const bool turned = source->Orientation().swap != 0;
    *out = tagRECT{0, 0, int32_t(turned ? source->rows_ : source->width_),
                   int32_t(turned ? source->width_ : source->rows_)};
  }
  // Upright and unmirrored (the usual case) logical and stored positions agree.
  const EORIENT o = Orientation();
  if (o.swap || o.xdir < 0 || o.ydir < 0)
    EOrient_VirtualRectPos(o, x, y, out, width_, rows_, source->width_, source->rows_);
  return PrepareBlitRect(x, y, out, int32_t(source->width_), int32_t(source->rows_)) ? 0 : 4;
}

int E2DSurfaceBase::GetBltFlipPositions(int32_t& x, int32_t& y, tagRECT* out, const tagRECT* src,
                                        const E2DSurfaceBase* source, uint16_t angle,
                                        uint8_t& mirror) const {
  if (!out || !source || !IsCreated() || !source->IsCreated()) return 1;
  *out = src ? *src : tagRECT{0, 0, int32_t(source->GetWidth()), int32_t(source->GetHeight())};
  const EORIENT o = Orientation();
  EOrient_VirtualRectPos(o, x, y, out, width_, rows_, source->width_, source->rows_, angle);
  // A logical horizontal mirror stays horizontal on a turned screen.
  if (o.swap) mirror = uint8_t((mirror & ~3u) | ((mirror & 1) << 1) | ((mirror >> 1) & 1));
  return PrepareBlitFlipRect(x, y, out, int32_t(source->width_), int32_t(source->rows_),
                             int32_t(width_), int32_t(rows_), angle, mirror)
             ? 0
             : 4;
}

namespace {

// A source rectangle clipped for a turned, mirrored blit: s holds its sides
// (left, top, right, bottom), (x, y) where it lands; dside is the destination
// side each source side becomes, sside the way back.
struct FlipClip {
  int64_t s[4];
  int64_t x, y;
  int dside[4], sside[4];

  FlipClip(const tagRECT& r, int64_t px, int64_t py, int turn, uint8_t mirror)
      : s{r.left, r.top, r.right, r.bottom}, x(px), y(py) {
    // Mirroring exchanges the roles of the sides, the turn moves them round.
    for (int i = 0; i < 4; i++) {
      int role = i;
      if ((mirror & 1) && (i == 0 || i == 2)) role = 2 - i;
      if ((mirror & 2) && (i == 1 || i == 3)) role = 4 - i;
      dside[i] = (role + turn) & 3;
    }
    for (int i = 0; i < 4; i++) sside[dside[i]] = i;
  }
  void Cut(int side, int64_t n) {
    if (side < 2)
      s[side] += n;
    else
      s[side] -= n;
  }
  // A cut off the source; the landing point moves when that side lands left or top.
  void CutSource(int side, int64_t n) {
    Cut(side, n);
    if (dside[side] == 0) x += n;
    if (dside[side] == 1) y += n;
  }
  void ToSource(int64_t sw, int64_t sh) {
    if (s[0] < 0) CutSource(0, -s[0]);
    if (s[1] < 0) CutSource(1, -s[1]);
    if (s[2] > sw) CutSource(2, s[2] - sw);
    if (s[3] > sh) CutSource(3, s[3] - sh);
  }
  void ToClip(const tagRECT& c, bool quarter) {
    if (x < c.left) {
      Cut(sside[0], c.left - x);
      x = c.left;
    }
    if (y < c.top) {
      Cut(sside[1], c.top - y);
      y = c.top;
    }
    const int64_t dw = quarter ? s[3] - s[1] : s[2] - s[0];
    const int64_t dh = quarter ? s[2] - s[0] : s[3] - s[1];
    if (x + dw > c.right) Cut(sside[2], x + dw - c.right);
    if (y + dh > c.bottom) Cut(sside[3], y + dh - c.bottom);
  }
};

}  // namespace

int E2DSurfaceBase::PrepareBlitFlipRect(int32_t& px, int32_t& py, tagRECT* src, int32_t sw,
                                        int32_t sh, int32_t, int32_t, uint16_t angle,
                                        uint8_t mirror) const {
  if (!src) return 0;
  if (px >= clip_.right || py >= clip_.bottom || src->left >= src->right || src->top >= src->bottom ||
      src->right < 0 || src->bottom < 0 || src->left >= sw || src->top >= sh)
    return 0;
  const int turn = (angle >> 10) & 3;
  FlipClip c(*src, px, py, turn, mirror);
  c.ToSource(sw, sh);
  c.ToClip(clip_, turn & 1);
  if (!(c.s[0] < c.s[2] && c.s[1] < c.s[3])) return 0;
  px = int32_t(c.x);
  py = int32_t(c.y);
  *src = tagRECT{int32_t(c.s[0]), int32_t(c.s[1]), int32_t(c.s[2]), int32_t(c.s[3])};
  return 1;
}

int E2DSurfaceBase::Intersect(int32_t x1, int32_t y1, const tagRECT* r1, int32_t x2, int32_t y2,
                              const tagRECT* r2, const E2DSurfaceBase* other, tagPOINT* hit) const {
  if (!other || !IsCreated() || !other->IsCreated()) return 0;
  tagRECT a = r1 ? *r1 : tagRECT{0, 0, int32_t(GetWidth()), int32_t(GetHeight())};
  tagRECT b = r2 ? *r2 : tagRECT{0, 0, int32_t(other->GetWidth()), int32_t(other->GetHeight())};
  if (hit) *hit = tagPOINT{-1, -1};
  const EORIENT o = Orientation();
  uint32_t dw = 0, dh = 0;
  if (ecd_ && ecd_->dsp) {
    dw = ecd_->dsp->GetPhysicalWidth();
    dh = ecd_->dsp->GetPhysicalHeight();
  }
  EOrient_VirtualRectPos(o, x1, y1, &a, dw, dh, width_, rows_);
  EOrient_VirtualRectPos(o, x2, y2, &b, dw, dh, other->width_, other->rows_);
  // Clamping a side moves the drawn position with it.
  const tagRECT a0 = a, b0 = b;
  if (!ClipRect(&a) || !other->ClipRect(&b)) return 0;
  x1 += a.left - a0.left;
  y1 += a.top - a0.top;
  x2 += b.left - b0.left;
  y2 += b.top - b0.top;
  const int32_t rects[8] = {a.left, a.top, a.right, a.bottom, b.left, b.top, b.right, b.bottom};
  return ExMiscIntersect(x1, y1, x2, y2, rects, mask_, other->mask_, width_, other->width_, hit);
}

// 32 mask bits of one row starting at any bit; the second word is read only when
// the wanted bits reach into it, so the last word of the mask is never passed.
static inline uint32_t MaskBits(const uint32_t* row, uint32_t bit, uint32_t count) {
  const uint32_t off = bit & 31;
  uint32_t v = row[bit >> 5] << off;
  if (off && count > 32 - off) v |= row[(bit >> 5) + 1] >> (32 - off);
  if (count < 32) v &= ~(0xFFFFFFFFu >> count);
  return v;
}

int ExMiscIntersect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const int32_t* rects,
                    const uint32_t* maskA, const uint32_t* maskB, uint32_t widthA, uint32_t widthB,
                    tagPOINT* hit) {
  int64_t al = rects[0], at = rects[1], bl = rects[4], bt = rects[5];
  int64_t wa = int64_t(rects[2]) - rects[0], ha = int64_t(rects[3]) - rects[1];
  int64_t wb = int64_t(rects[6]) - rects[4], hb = int64_t(rects[7]) - rects[5];
  if (wa <= 0 || ha <= 0 || wb <= 0 || hb <= 0) return 0;
  if (int64_t(x1) >= int64_t(x2) + wb || int64_t(x2) >= int64_t(x1) + wa ||
      int64_t(y1) >= int64_t(y2) + hb || int64_t(y2) >= int64_t(y1) + ha)
    return 0;
  int64_t ox = x1, oy = y1;  // screen position of A's (trimmed) top-left
  if (x1 < x2) {
    al += int64_t(x2) - x1;
    wa -= int64_t(x2) - x1;
    ox = x2;
  } else if (x2 < x1) {
    bl += int64_t(x1) - x2;
    wb -= int64_t(x1) - x2;
  }
  if (y1 < y2) {
    at += int64_t(y2) - y1;
    ha -= int64_t(y2) - y1;
    oy = y2;
  } else if (y2 < y1) {
    bt += int64_t(y1) - y2;
    hb -= int64_t(y1) - y2;
  }
  const int64_t w = wa < wb ? wa : wb, h = ha < hb ? ha : hb;
  if (!maskA || !maskB) {
    if (hit) *hit = tagPOINT{int32_t(ox), int32_t(oy)};
    return 1;
  }
  const uint32_t wordsA = (widthA + 31) / 32, wordsB = (widthB + 31) / 32;
  for (int64_t i = 0; i < h; i++) {
    const uint32_t* rowA = maskA + (at + i) * wordsA;
    const uint32_t* rowB = maskB + (bt + i) * wordsB;
    for (int64_t c = 0; c < w; c += 32) {
      const uint32_t n = uint32_t(w - c < 32 ? w - c : 32);
      uint32_t v = MaskBits(rowA, uint32_t(al + c), n) & MaskBits(rowB, uint32_t(bl + c), n);
      if (v) {
        int col = 0;
        while (!(v & 0x80000000u)) {
          v <<= 1;
          col++;
        }
        if (hit) *hit = tagPOINT{int32_t(ox + c + col), int32_t(oy + i)};
        return 1;
      }
    }
  }
  if (hit) *hit = tagPOINT{-1, -1};
  return 0;
}
