// Drawing primitives of E2DSurface: pixels, fills, lines, outlines, ovals,
// gradients and triangles (flat, shaded, textured) through the scanline tables.
#include <cstring>
#include <utility>

#include "display/erdr_fixed.h"
#include "display/erdr_kernel.h"
#include "display/erdr_span.h"
#include "display/esurf_2d.h"
#include "display/esurf_3d.h"
#include "framework/emod_math.h"
#include "framework/emod_memory.h"


namespace {

using erdr::Clamp32;
using erdr::Sar;
using erdr::Sar64;

inline int32_t Min(int32_t a, int32_t b) { return a < b ? a : b; }
inline int32_t Max(int32_t a, int32_t b) { return a > b ? a : b; }

inline uint32_t ScaleColour(uint32_t c, uint32_t o) {
  return ((((c & 0xFF) * o) >> 8) & 0xFF) | (((((c >> 8) & 0xFF) * o) >> 8) << 8) |
         (((((c >> 16) & 0xFF) * o) >> 8) << 16);
}

// Sine and cosine of the first quarter turn (16.16), the same table ClassEMath uses.
inline int32_t QSin(int32_t i) { return emathtable[i]; }
inline int32_t QCos(int32_t i) { return emathtable[1023 - i]; }

}  // namespace

// ---- pixels and fills --------------------------------------------------------------

void E2DSurface::PutPixel(int32_t x, int32_t y, uint32_t colour, int32_t flags, uint32_t value) {
  if (!IsCreated() || !pixels_) return;
  EOrient_VirtualPos(Orientation(), x, y, width_, rows_);
  if (x < clip_.left || x >= clip_.right || y < clip_.top || y >= clip_.bottom) return;
  PixelRule(pixels_ + (uint32_t(y) * pitch_ + uint32_t(x)) * (bpp_ >> 3), colour, flags, value);
}

void E2DSurface::PutPixelRaw(int32_t x, int32_t y, uint32_t colour, int32_t flags, uint32_t value,
                             uint8_t* pixels) {
  PixelRule(pixels + (uint32_t(y) * pitch_ + uint32_t(x)) * (bpp_ >> 3), colour, flags, value);
}

void E2DSurface::FillRect(const tagRECT* rect, uint32_t colour, int32_t flags, uint32_t value) {
  FillRectV(rect, colour, flags, value, true);
}

namespace {

// The fill colour after cf and tn: cf alone is the value's colour, tn alone
// mixes half of each, both scale the value's colour by the brightest channel.
uint32_t FillColour(uint32_t colour, int32_t flags, uint32_t value) {
  const int mode = flags & (EBLT_CF | EBLT_TN);
  if (mode == (EBLT_CF | EBLT_TN)) {
    uint32_t m = colour & 0xFF;
    if (((colour >> 8) & 0xFF) > m) m = (colour >> 8) & 0xFF;
    if (((colour >> 16) & 0xFF) > m) m = (colour >> 16) & 0xFF;
    return ScaleColour(value & 0xFFFFFF, m);
  }
  if (mode == EBLT_CF) return value & 0xFFFFFF;
  if (mode == EBLT_TN) return ((colour >> 1) & 0x7F7F7F) + ((value >> 1) & 0x7F7F7F);
  return colour;
}

// Settles op for a fill in format: a palette index is not a colour, so 8-bit
// surfaces are never scaled or blended; with ad or sb the colour is scaled
// instead; 255 and above is opaque; else the opacity is masked to what the
// format shows. False when that leaves nothing to draw.
bool FillOpacity(int32_t& flags, uint32_t& colour, uint32_t& o, uint8_t format) {
  if (!(flags & EBLT_OP)) return true;
  if (format == EFMT_INDEX8) {
    flags &= ~int32_t(EBLT_OP);
  } else if (flags & (EBLT_AD | EBLT_SB)) {
    colour = ScaleColour(colour, o > 256 ? 256 : o);  // 255 or more is opaque
    flags &= ~int32_t(EBLT_OP);
  } else if (o > 254) {
    flags &= ~int32_t(EBLT_OP);
  } else {
    if (format == EFMT_RGB12)
      o &= 0xF0;
    else if (format == EFMT_RGB15 || format == EFMT_RGB16)
      o &= 0xF8;
    if (o == 0) return false;
  }
  return true;
}

}  // namespace

void E2DSurface::FillRectV(const tagRECT* rect, uint32_t colour, int32_t flags, uint32_t value,
                           bool logical) {
  if (!IsCreated()) return;
  if ((flags & EBLT_AD) && (flags & EBLT_SB)) flags &= ~int32_t(EBLT_AD | EBLT_SB);
  uint32_t o = (flags & (EBLT_CF | EBLT_TN)) ? (value >> 24) : value;
  colour = FillColour(colour, flags, value);
  flags &= ~int32_t(EBLT_CF | EBLT_TN);
  if (!FillOpacity(flags, colour, o, format_)) return;
  if (!pixels_) return;
  tagRECT r;
  if (!rect) {
    r = clip_;
  } else {
    r = *rect;
    if (logical) EOrient_VirtualRect(Orientation(), &r, width_, rows_);
    if (!ClipRect(&r)) return;
  }
  if (r.left >= r.right || r.top >= r.bottom) return;
  lockcount_++;
  if (flags & EBLT_OP) colour = ScaleColour(colour, o);
  const uint32_t native = ColorToNative(colour, format_);
  if (flags & EBLT_OP)
    ExRctOpac(&r, pixels_, pitch_, bpp_, format_, native, o);
  else if (flags & EBLT_AD)
    ExRctAlpha(&r, pixels_, pitch_, bpp_, format_, native);
  else if (flags & EBLT_SB)
    ExRctSub(&r, pixels_, pitch_, bpp_, format_, native);
  else
    FillSolid(r, native);
  Unlock();
}

// A stored rectangle set to one native pixel, in one run when it spans whole rows.
void E2DSurface::FillSolid(const tagRECT& r, uint32_t native) {
  const uint32_t bytes = bpp_ >> 3;
  const uint32_t w = uint32_t(r.right - r.left);
  uint32_t rowsToFill = uint32_t(r.bottom - r.top), count = w;
  if (r.left == 0 && uint32_t(r.right) == pitch_) {
    count = w * rowsToFill;
    rowsToFill = 1;
  }
  for (uint32_t i = 0; i < rowsToFill; i++) {
    uint8_t* d = pixels_ + ((uint32_t(r.top) + i) * pitch_ + uint32_t(r.left)) * bytes;
    switch (bpp_) {
      case 8: ClassEMemory::Set(d, uint8_t(native), count); break;
      case 16: ClassEMemory::Set16(d, native, count); break;
      case 24: ClassEMemory::Set24(d, native, count); break;
      default: ClassEMemory::Set32(d, native, count); break;
    }
  }
}

void E2DSurface::PutPixelRow(int32_t x, int32_t y, uint32_t length, uint32_t colour, int32_t flags,
                             uint32_t value) {
  PutPixelRowV(x, y, length, colour, flags, value, true);
}

void E2DSurface::PutPixelRowV(int32_t x, int32_t y, uint32_t length, uint32_t colour,
                              int32_t flags, uint32_t value, bool logical) {
  const tagRECT r = {Max(x, 0), y, Clamp32(int64_t(x) + length), y + 1};
  FillRectV(&r, colour, flags, value, logical);
}

void E2DSurface::Clear(uint32_t colour) {
  FillRectV(nullptr, colour, 0, 0, false);
  FreeBlock(glyphs_);
  glyphs_ = nullptr;
  FreeBlock(mask_);
  mask_ = nullptr;
}

// ---- lines, outlines, ovals --------------------------------------------------------

void E2DSurface::DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour,
                          int32_t flags, uint32_t value) {
  if (y1 == y2) {
    const tagRECT r = {Max(Min(x1, x2), 0), y1, Max(x1, x2) + 1, y1 + 1};
    FillRectV(&r, colour, flags, value, true);
    return;
  }
  if (!IsCreated() || !pixels_) return;
  if (y1 > y2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  const EORIENT o = Orientation();
  const int64_t dx = x2 > x1 ? int64_t(x2) - x1 : int64_t(x1) - x2, dy = int64_t(y2) - y1;
  const int32_t sx = x2 >= x1 ? 1 : -1;
  const uint32_t bytes = bpp_ >> 3;
  int32_t x = x1, y = y1;
  int64_t err = 0;
  const int64_t n = (dy < dx ? dx : dy) + 1;
  for (int64_t i = 0; i < n; i++) {
    int32_t px = x, py = y;
    EOrient_VirtualPos(o, px, py, width_, rows_);
    if (px >= clip_.left && px < clip_.right && py >= clip_.top && py < clip_.bottom)
      PixelRule(pixels_ + (uint32_t(py) * pitch_ + uint32_t(px)) * bytes, colour, flags, value);
    if (dy < dx) {
      err += dy;
      if (err >= dx) {
        err -= dx;
        y++;
      }
      x += sx;
    } else {
      err += dx;
      if (err >= dy) {
        err -= dy;
        x += sx;
      }
      y++;
    }
  }
}

void E2DSurface::DrawRect(const tagRECT* rect, uint32_t colour, int32_t flags, uint32_t value) {
  if (!rect) return;
  const tagRECT r = *rect;
  DrawLine(r.left, r.top, r.right - 1, r.top, colour, flags, value);
  if (r.bottom != r.top + 1) DrawLine(r.left, r.bottom - 1, r.right - 1, r.bottom - 1, colour, flags, value);
  const int32_t inner = r.bottom - r.top - 1;
  if (inner >= 2 || inner <= -2) {
    DrawLine(r.left, r.top + 1, r.left, r.bottom - 2, colour, flags, value);
    DrawLine(r.right - 1, r.top + 1, r.right - 1, r.bottom - 2, colour, flags, value);
  }
}

namespace {
// Walks the quarter circle and calls draw(h, w, wPrev, lower) for each new row.
template <class F>
void OvalRows(int32_t rx, int32_t ry, F draw) {
  int32_t lastH = 0, lastW = -1;
  for (int32_t i = 0; i < 1024; i++) {
    const int64_t hv = int64_t(ry) * QCos(i);
    const int32_t h = int32_t(hv >> 16);
    const int32_t w = int32_t((int64_t(rx) * QSin(i)) >> 16);
    if (i == 0) {
      lastH = h;
      lastW = -1;
      continue;
    }
    if (h >= lastH) continue;
    const int32_t wp = lastW < w ? lastW + 1 : (lastW > w ? lastW - 1 : w);
    draw(h, w, wp, hv >= 0x10000);
    lastH = h;
    lastW = w;
  }
}
}  // namespace

void E2DSurface::DrawOval(int32_t x, int32_t y, int32_t rx, int32_t ry, uint32_t colour,
                          int32_t flags, uint32_t value) {
  const int32_t cx = x + rx, cy = y + ry;
  rx = rx < 0 ? -rx : rx;
  ry = ry < 0 ? -ry : ry;
  OvalRows(rx, ry, [&](int32_t h, int32_t w, int32_t wp, bool lower) {
    DrawLine(cx - w, cy - h, cx - wp, cy - h, colour, flags, value);
    DrawLine(cx + w, cy - h, cx + wp, cy - h, colour, flags, value);
    if (lower) {
      DrawLine(cx - w, cy + h, cx - wp, cy + h, colour, flags, value);
      DrawLine(cx + w, cy + h, cx + wp, cy + h, colour, flags, value);
    }
  });
}

void E2DSurface::FillOval(int32_t x, int32_t y, int32_t rx, int32_t ry, uint32_t colour,
                          int32_t flags, uint32_t value) {
  const int32_t cx = x + rx, cy = y + ry;
  rx = rx < 0 ? -rx : rx;
  ry = ry < 0 ? -ry : ry;
  OvalRows(rx, ry, [&](int32_t h, int32_t w, int32_t, bool lower) {
    DrawLine(cx - w, cy - h, cx + w, cy - h, colour, flags, value);
    if (lower) DrawLine(cx - w, cy + h, cx + w, cy + h, colour, flags, value);
  });
}

// ---- scanline tables ---------------------------------------------------------------

namespace {
// A column for the 16-bit tables: anything left of the surface is -1, anything
// right of it the stored width; the row clamp then cuts to the clip rectangle.
inline int16_t Col(int64_t xFixed, uint32_t width) {
  const int64_t c = Sar64(xFixed, 10);
  return int16_t(c < -1 ? -1 : (c > int64_t(width) ? int64_t(width) : c));
}
inline int32_t Slope(int32_t a, int32_t b, int32_t ya, int32_t yb) {
  return Clamp32(((int64_t(b) - a) * 512) / (Sar64(int64_t(yb) - ya, 1) + 1));
}
}  // namespace

void E2DSurface::ScanPolyLine(int32_t xa, int32_t ya, int32_t xb, int32_t yb) {
  if (ya == yb || !spanleft_ || !spanright_) return;
  if (ya > yb) {
    std::swap(xa, xb);
    std::swap(ya, yb);
  }
  const int64_t slope = Slope(xa, xb, ya, yb);
  int64_t x = xa + Sar64(int64_t(1024 - (ya & 1023)) * slope, 10);
  const int32_t r0 = Sar(ya, 10), r1 = Sar(yb, 10) - 1;
  for (int32_t row = r0; row <= r1; row++, x += slope) {
    if (row < clip_.top || row >= clip_.bottom || uint32_t(row) >= spanrows_) continue;
    const int16_t c = Col(x, width_);
    if (c < spanleft_[row]) spanleft_[row] = c;
    if (c - 1 > spanright_[row]) spanright_[row] = int16_t(c - 1);
  }
}

namespace {
// Scans one side carrying `n` values into tables A and B.
void ScanSide(int32_t xa, int32_t ya, const int32_t* va, int32_t xb, int32_t yb, const int32_t* vb,
              int n, const tagRECT& clip, uint32_t stride, uint32_t width, int16_t* L, int16_t* R,
              int32_t* A, int32_t* B) {
  if (ya == yb || !L || !R || !A || !B) return;
  const int32_t* v0 = va;
  const int32_t* v1 = vb;
  if (ya > yb) {
    std::swap(xa, xb);
    std::swap(ya, yb);
    std::swap(v0, v1);
  }
  const int64_t frac = 1024 - (ya & 1023);
  const int64_t slope = Slope(xa, xb, ya, yb);
  int64_t x = xa + Sar64(frac * slope, 10);
  int64_t s[3], v[3];
  for (int k = 0; k < n; k++) {
    s[k] = Slope(v0[k], v1[k], ya, yb);
    v[k] = v0[k] + Sar64(frac * s[k], 10);
  }
  const int32_t r0 = Sar(ya, 10), r1 = Sar(yb, 10) - 1;
  for (int32_t row = r0; row <= r1; row++) {
    if (row >= clip.top && row < clip.bottom && uint32_t(row) < stride) {
      const int32_t xi = Clamp32(x);
      if (xi < A[row]) {
        A[row] = xi;
        for (int k = 0; k < n; k++) A[row + (k + 1) * stride] = Clamp32(v[k]);
        L[row] = Col(x, width);
      }
      if (xi > B[row]) {
        B[row] = xi;
        for (int k = 0; k < n; k++) B[row + (k + 1) * stride] = Clamp32(v[k]);
        R[row] = int16_t(Col(x, width) - 1);
      }
    }
    x += slope;
    for (int k = 0; k < n; k++) v[k] += s[k];
  }
}
}  // namespace

void E2DSurface::ScanPolyLine(int32_t xa, int32_t ya, int32_t ua, int32_t va, int32_t xb,
                              int32_t yb, int32_t ub, int32_t vb) {
  const int32_t a[2] = {ua, va}, b[2] = {ub, vb};
  ScanSide(xa, ya, a, xb, yb, b, 2, clip_, spanrows_, width_, spanleft_, spanright_, spanvala_,
           spanvalb_);
}

void E2DSurface::ScanPolyLine(int32_t xa, int32_t ya, int32_t ra, int32_t ga, int32_t ba,
                              int32_t xb, int32_t yb, int32_t rb, int32_t gb, int32_t bb) {
  const int32_t a[3] = {ra, ga, ba}, b[3] = {rb, gb, bb};
  ScanSide(xa, ya, a, xb, yb, b, 3, clip_, spanrows_, width_, spanleft_, spanright_, spanvala_,
           spanvalb_);
}

namespace {
// 22.10 logical to physical: mirrored about the surface's edge so that a shape
// keeps its pixels on a mirrored display.
inline void VirtualFixed(const EORIENT& o, int32_t& x, int32_t& y, uint32_t w, uint32_t h) {
  if (o.swap) std::swap(x, y);
  if (o.xdir < 0) x = Clamp32(int64_t(w) * 1024 - x);
  if (o.ydir < 0) y = Clamp32(int64_t(h) * 1024 - y);
}
}  // namespace

// Rows of a triangle in physical 22.10; false when it misses the surface. Resets
// the tables of the rows it covers.
static bool PolyRows(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                     const tagRECT& clip, uint32_t width, uint32_t rows, uint32_t stride,
                     int16_t* L, int16_t* R, int32_t* A, int32_t* B, int32_t& first,
                     int32_t& last) {
  const int32_t maxX = Max(x0, Max(x1, x2)), minX = Min(x0, Min(x1, x2));
  const int32_t maxY = Max(y0, Max(y1, y2)), minY = Min(y0, Min(y1, y2));
  if (maxX < 1024 || Sar(maxY, 10) - 1 < 0 || Sar(minY, 10) >= int32_t(rows) ||
      Sar(minX, 10) >= int32_t(width))
    return false;
  first = Max(Sar(minY, 10), clip.top);
  last = Min(Sar(maxY, 10) - 1, clip.bottom - 1);
  if (last >= int32_t(stride)) last = int32_t(stride) - 1;
  for (int32_t r = first; r <= last; r++) {
    L[r] = int16_t(width);
    R[r] = -1;
    if (A) A[r] = Clamp32(int64_t(width) * 1024);
    if (B) B[r] = -1024;
  }
  return first <= last;
}

// The filled rows first..last cut to the clip rectangle; a row outside it is emptied.
void E2DSurface::ClampSpanRows(int32_t first, int32_t last) {
  int16_t* L = spanleft_;
  int16_t* R = spanright_;
  const tagRECT& clip = clip_;
  for (int32_t r = first; r <= last; r++) {
    if (L[r] < clip.right && R[r] >= clip.left) {
      if (L[r] < clip.left) L[r] = int16_t(clip.left);
      if (R[r] > clip.right - 1) R[r] = int16_t(clip.right - 1);
    } else {
      R[r] = -1;
    }
  }
}

// ---- triangles ---------------------------------------------------------------------

void E2DSurface::FillPoly(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                          uint32_t colour, int32_t flags, uint32_t value) {
  FillPolyV(x0 * 1024, y0 * 1024, x1 * 1024, y1 * 1024, x2 * 1024, y2 * 1024, colour, flags, value);
}

void E2DSurface::FillPolyV(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                           uint32_t colour, int32_t flags, uint32_t value) {
  if (!IsCreated() || !pixels_ || !spanleft_) return;
  const EORIENT o = Orientation();
  VirtualFixed(o, x0, y0, width_, rows_);
  VirtualFixed(o, x1, y1, width_, rows_);
  VirtualFixed(o, x2, y2, width_, rows_);
  int32_t first, last;
  if (!PolyRows(x0, y0, x1, y1, x2, y2, clip_, width_, rows_, spanrows_, spanleft_, spanright_,
                nullptr, nullptr, first, last))
    return;
  ScanPolyLine(x0, y0, x1, y1);
  ScanPolyLine(x1, y1, x2, y2);
  ScanPolyLine(x2, y2, x0, y0);
  ClampSpanRows(first, last);
  for (int32_t r = first; r <= last; r++) {
    if (spanright_[r] < 0) continue;
    const tagRECT rc = {Max(spanleft_[r], 0), r, spanright_[r] + 1, r + 1};
    FillRectV(&rc, colour, flags, value, false);
  }
}

void E2DSurface::GradientPoly(int32_t x0, int32_t y0, uint32_t c0, int32_t x1, int32_t y1,
                              uint32_t c1, int32_t x2, int32_t y2, uint32_t c2, int32_t flags) {
  GradientPolyV(x0 * 1024, y0 * 1024, c0, x1 * 1024, y1 * 1024, c1, x2 * 1024, y2 * 1024, c2, flags);
}

namespace {
inline void SplitColour(uint32_t c, int32_t* out) {
  out[0] = int32_t((c & 0xFF) << 10);
  out[1] = int32_t((c & 0xFF00) << 2);
  out[2] = int32_t((c & 0xFF0000) >> 6);
}
}  // namespace

void E2DSurface::GradientPolyV(int32_t x0, int32_t y0, uint32_t c0, int32_t x1, int32_t y1,
                               uint32_t c1, int32_t x2, int32_t y2, uint32_t c2, int32_t flags) {
  if (!IsCreated() || !pixels_ || !spanleft_) return;
  const EORIENT o = Orientation();
  VirtualFixed(o, x0, y0, width_, rows_);
  VirtualFixed(o, x1, y1, width_, rows_);
  VirtualFixed(o, x2, y2, width_, rows_);
  int32_t first, last;
  if (!PolyRows(x0, y0, x1, y1, x2, y2, clip_, width_, rows_, spanrows_, spanleft_, spanright_,
                spanvala_, spanvalb_, first, last))
    return;
  int32_t v0[3], v1[3], v2[3];
  SplitColour(c0, v0);
  SplitColour(c1, v1);
  SplitColour(c2, v2);
  ScanPolyLine(x0, y0, v0[0], v0[1], v0[2], x1, y1, v1[0], v1[1], v1[2]);
  ScanPolyLine(x1, y1, v1[0], v1[1], v1[2], x2, y2, v2[0], v2[1], v2[2]);
  ScanPolyLine(x2, y2, v2[0], v2[1], v2[2], x0, y0, v0[0], v0[1], v0[2]);
  ClampSpanRows(first, last);
  lockcount_++;
  if (flags & 0x100)
    ExRsBltGradientDith(pixels_, spanleft_, spanright_, spanvala_, spanvalb_, pitch_, spanrows_,
                        first, last, clip_.left, bpp_, format_);
  else
    ExRsBltGradient(pixels_, spanleft_, spanright_, spanvala_, spanvalb_, pitch_, spanrows_, first,
                    last, clip_.left, bpp_, format_);
  Unlock();
}

void E2DSurface::GradientRect(const tagRECT* rect, uint32_t topLeft, uint32_t topRight,
                              uint32_t bottomLeft, uint32_t bottomRight, int32_t flags) {
  if (!IsCreated() || !pixels_) return;
  tagRECT r;
  if (rect) {
    r = *rect;
    // Draw the logical rectangle with its logical corners: the corner colours
    // stay where the caller put them whatever the display's orientation.
    EOrient_VirtualRect(Orientation(), &r, width_, rows_);
    if (!ClipRect(&r)) return;
    EOrient_ReVirtualRect(Orientation(), &r, width_, rows_);
  } else {
    r = {0, 0, int32_t(GetWidth()), int32_t(GetHeight())};
  }
  const int32_t l = r.left * 1024, t = r.top * 1024, rt = r.right * 1024, b = r.bottom * 1024;
  GradientPolyV(l, t, topLeft, rt, t, topRight, l, b, bottomLeft, flags);
  GradientPolyV(rt, t, topRight, rt, b, bottomRight, l, b, bottomLeft, flags);
}

void E2DSurface::GradientRectV(const tagRECT* rect, uint32_t top, uint32_t bottom, int32_t flags) {
  GradientRect(rect, top, top, bottom, bottom, flags);
}

void E2DSurface::GradientRectH(const tagRECT* rect, uint32_t left, uint32_t right, int32_t flags) {
  GradientRect(rect, left, right, left, right, flags);
}

void E2DSurface::TexturePoly(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2,
                             int32_t y2, int32_t tu0, int32_t tv0, int32_t tu1, int32_t tv1,
                             int32_t tu2, int32_t tv2, E2DSurface* texture, int32_t flags,
                             uint32_t value) {
  TexturePolyV(x0 * 1024, y0 * 1024, x1 * 1024, y1 * 1024, x2 * 1024, y2 * 1024, tu0 * 1024,
               tv0 * 1024, tu1 * 1024, tv1 * 1024, tu2 * 1024, tv2 * 1024, texture, flags, value);
}

void E2DSurface::TexturePolyV(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2,
                              int32_t y2, int32_t tu0, int32_t tv0, int32_t tu1, int32_t tv1,
                              int32_t tu2, int32_t tv2, E2DSurface* texture, int32_t flags,
                              uint32_t value) {
  if (!IsCreated() || !pixels_ || !spanleft_ || !texture || !texture->IsCreated() ||
      !texture->pixels_)
    return;
  // The span kernels read the texture with this surface's pixel size.
  if (texture->format_ != format_) return;
  const EORIENT o = Orientation();
  VirtualFixed(o, x0, y0, width_, rows_);
  VirtualFixed(o, x1, y1, width_, rows_);
  VirtualFixed(o, x2, y2, width_, rows_);
  VirtualFixed(o, tu0, tv0, texture->width_, texture->rows_);
  VirtualFixed(o, tu1, tv1, texture->width_, texture->rows_);
  VirtualFixed(o, tu2, tv2, texture->width_, texture->rows_);
  int32_t first, last;
  if (!PolyRows(x0, y0, x1, y1, x2, y2, clip_, width_, rows_, spanrows_, spanleft_, spanright_,
                spanvala_, spanvalb_, first, last))
    return;
  ScanPolyLine(x0, y0, tu0, tv0, x1, y1, tu1, tv1);
  ScanPolyLine(x1, y1, tu1, tv1, x2, y2, tu2, tv2);
  ScanPolyLine(x2, y2, tu2, tv2, x0, y0, tu0, tv0);
  ClampSpanRows(first, last);
  if (!texture->Lock(nullptr)) return;
  lockcount_++;
  ExRsBltFlags(pixels_, texture->pixels_, spanleft_, spanright_, spanvala_, spanvalb_, pitch_,
               spanrows_, texture->pitch_, texture->rows_, first, last, clip_.left, bpp_,
               texture->width_, format_, flags, texture->colorkey_, value);
  Unlock();
  texture->Unlock();
}

// ---- 3D models ---------------------------------------------------------------------

void E2DSurface::Render(int32_t x, int32_t y, E3DSurface* model, uint32_t flags, uint32_t value) {
  if (!model || !model->GetPolygonCapacity() || !model->GetVertexCapacity()) return;
  if (!IsCreated() || !pixels_) return;
  const uint32_t n = model->PrepareRender(GetWidth(), GetHeight(), !(flags & 0x100));
  EPOLYGON3D** list = model->GetDrawList();
  if (!list) return;
  const int32_t ox = Clamp32(int64_t(x) * 1024), oy = Clamp32(int64_t(y) * 1024);
  for (uint32_t i = 0; i < n; i++) {
    EPOLYGON3D* p = list[i];
    if (!p || !p->vertex[0] || !p->vertex[1] || !p->vertex[2]) continue;
    int32_t vx[3], vy[3];
    for (int k = 0; k < 3; k++) {
      vx[k] = Clamp32(int64_t(ox) + Sar(p->vertex[k]->px, 6));
      vy[k] = Clamp32(int64_t(oy) + Sar(p->vertex[k]->py, 6));
    }
    if (flags & 0x800) {
      if (p->texture)
        TexturePolyV(vx[0], vy[0], vx[1], vy[1], vx[2], vy[2], p->u[0], p->v[0], p->u[1], p->v[1],
                     p->u[2], p->v[2], p->texture, int32_t(flags), value);
    } else if (flags & 0x400) {
      for (int k = 0; k < 3; k++)
        p->vertex[k]->color = E3DSurface::LightColor(p->color, p->vertex[k]->light);
      GradientPolyV(vx[0], vy[0], p->vertex[0]->color, vx[1], vy[1], p->vertex[1]->color, vx[2],
                    vy[2], p->vertex[2]->color, int32_t(flags));
    } else if (flags & 0x100) {
      if (!(flags & 0x200)) p->litcolor = p->color;
      const uint32_t c = p->litcolor;
      int32_t wx[3], wy[3];
      for (int k = 0; k < 3; k++) {
        wx[k] = x + Sar(p->vertex[k]->px, 16);
        wy[k] = y + Sar(p->vertex[k]->py, 16);
      }
      DrawLine(wx[0], wy[0], wx[1], wy[1], c, int32_t(flags), 0);
      DrawLine(wx[1], wy[1], wx[2], wy[2], c, int32_t(flags), 0);
      DrawLine(wx[2], wy[2], wx[0], wy[0], c, int32_t(flags), 0);
    } else {
      if (!(flags & 0x200)) p->litcolor = p->color;
      FillPolyV(vx[0], vy[0], vx[1], vy[1], vx[2], vy[2], p->litcolor, int32_t(flags), value);
    }
  }
}
