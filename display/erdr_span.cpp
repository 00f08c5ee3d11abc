#include "display/erdr_span.h"

#include "display/erdr_fixed.h"
#include "display/erdr_pixel.h"
#include "display/esurf_2d.h"

#include <cstring>

namespace {

using erdr::Clamp32;
using erdr::Sar;
using erdr::Sar64;

inline uint32_t Load(const uint8_t* p, int bpp) { return erdr::LoadBytes(p, uint32_t(bpp) >> 3); }
inline void Store(uint8_t* p, uint32_t v, int bpp) { erdr::StoreBytes(p, uint32_t(bpp) >> 3, v); }

// One run: first pixel, count, and up to three interpolated values with steps.
struct Run {
  int32_t x, n;
  int32_t v[3], s[3];
};

// Set-up of one row's run. The products are formed in 64 bits: a narrow span
// with a large value range would otherwise overflow the step and start values.
inline bool SetupRun(int32_t row, const int16_t* leftX, const int16_t* rightX,
                     const int32_t* A, const int32_t* B, uint32_t rows, int32_t clipLeft,
                     int planes, Run& r) {
  if (rightX[row] < 0) return false;
  r.x = leftX[row];
  r.n = int32_t(rightX[row]) - r.x + 1;
  if (r.n <= 0) return false;
  const int32_t xl = A[row], xr = B[row];
  int64_t d = Sar64(int64_t(xr) - xl, 1) + 1;
  if (d < 1) d = 1;  // a crossed outline would divide by zero or flip the sign
  for (int k = 0; k < planes; k++) {
    const int32_t lv = A[row + (k + 1) * rows], rv = B[row + (k + 1) * rows];
    const int64_t step = ((int64_t(rv) - lv) * 512) / d;
    int64_t start = lv + Sar64(int64_t(1024 - (xl & 1023)) * step, 10);
    const int32_t px = Sar(xl, 10);
    if (px < clipLeft) start += step * (int64_t(clipLeft) - px);
    r.s[k] = Clamp32(step);
    r.v[k] = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(start)));
  }
  return true;
}

// Texel fetchers: generic repeats by unsigned modulo, Plus masks a square
// power-of-two source.
struct FetchMod {
  const uint8_t* src;
  uint32_t pitch, rows, width, bytes;
  int frac;
  inline const uint8_t* operator()(int32_t u, int32_t v) const {
    const uint32_t col = uint32_t(Sar(u, frac)) % width;
    const uint32_t row = uint32_t(Sar(v, frac)) % rows;
    return src + (pitch * row + col) * bytes;
  }
};
struct FetchPow2 {
  const uint8_t* src;
  uint32_t mask, shift, bytes;
  int frac;
  inline const uint8_t* operator()(int32_t u, int32_t v) const {
    const uint32_t col = uint32_t(Sar(u, frac)) & mask;
    const uint32_t row = uint32_t(Sar(v, frac)) & mask;
    return src + (((row << shift) + col) * bytes);
  }
};

uint32_t Log2(uint32_t v) {
  uint32_t s = 0;
  while (v >= 2) {
    v >>= 1;
    s++;
  }
  return s;
}

inline uint32_t AddU(uint32_t a, uint32_t b) { return uint32_t(uint64_t(a) + b); }

// Plain and keyed textured runs for one pixel size.
template <int BPP, bool KEY, class Fetch>
void TexRows(uint8_t* dst, const Fetch& fetch, const int16_t* leftX, const int16_t* rightX,
             const int32_t* A, const int32_t* B, uint32_t dstPitch, uint32_t rows, int32_t firstRow,
             int32_t lastRow, int32_t clipLeft, uint32_t key) {
  constexpr int bytes = BPP / 8;
  for (int32_t row = firstRow; row <= lastRow; row++) {
    Run r;
    if (!SetupRun(row, leftX, rightX, A, B, rows, clipLeft, 2, r)) continue;
    uint8_t* d = dst + (uint32_t(row) * dstPitch + uint32_t(r.x)) * bytes;
    uint32_t u = uint32_t(r.v[0]), v = uint32_t(r.v[1]);
    const uint32_t su = uint32_t(r.s[0]), sv = uint32_t(r.s[1]);
    for (int32_t i = 0; i < r.n; i++, d += bytes) {
      const uint8_t* t = fetch(int32_t(u), int32_t(v));
      if (BPP == 8) {
        if (!KEY || *t != key) *d = *t;
      } else if (BPP == 24) {
        if (!KEY || Load(t, 24) != key) {
          d[0] = t[0];
          d[1] = t[1];
          d[2] = t[2];
        }
      } else {
        const uint32_t tx = Load(t, BPP);
        if (!KEY || tx != key) Store(d, tx, BPP);
      }
      u = AddU(u, su);
      v = AddU(v, sv);
    }
  }
}

// Channel layout of the blended formats.
struct Chan {
  uint32_t m[3];   // blue, green, red masks
  int width;       // bits of the narrow channels (colourise shift)
  uint32_t half;   // tint mask
};
const Chan kChan[7] = {
    {{0, 0, 0}, 8, 0},
    {{0, 0, 0}, 8, 0},
    {{0x00F, 0x0F0, 0xF00}, 4, 0x777},
    {{0x1F, 0x3E0, 0x7C00}, 5, 0x3DEF},
    {{0x1F, 0x7E0, 0xF800}, 5, 0x7BEF},
    {{0xFF, 0xFF00, 0xFF0000}, 8, 0x7F7F7F},
    {{0xFF, 0xFF00, 0xFF0000}, 8, 0x7F7F7F},
};

// Brightest channel of a pixel, in the units of the format's narrow channels.
template <int FMT>
inline uint32_t Brightest(uint32_t p) {
  uint32_t b, g, r;
  if (FMT == 2) {
    b = p & 0xF; g = (p >> 4) & 0xF; r = (p >> 8) & 0xF;
  } else if (FMT == 3) {
    b = p & 0x1F; g = (p >> 5) & 0x1F; r = (p >> 10) & 0x1F;
  } else if (FMT == 4) {
    b = p & 0x1F; g = (p >> 6) & 0x1F; r = (p >> 11) & 0x1F;
  } else {
    b = p & 0xFF; g = (p >> 8) & 0xFF; r = (p >> 16) & 0xFF;
  }
  uint32_t m = b > g ? b : g;
  return m > r ? m : r;
}

template <int FMT, class Fetch>
void GenericRows(uint8_t* dst, const Fetch& fetch, const int16_t* leftX, const int16_t* rightX,
                 const int32_t* A, const int32_t* B, uint32_t dstPitch, uint32_t rows,
                 int32_t firstRow, int32_t lastRow, int32_t clipLeft, int32_t flags, uint32_t key,
                 uint32_t opacity, uint32_t colour) {
  constexpr int BPP = FMT <= 4 ? 16 : (FMT == 5 ? 24 : 32);
  constexpr int bytes = BPP / 8;
  const Chan& ch = kChan[FMT];
  uint32_t sw = opacity > 255 ? 255 : opacity, dw = 256 - sw;
  int shift = 8;
  if (FMT == 2) {
    sw >>= 4; dw >>= 4; shift = 4;
  } else if (FMT == 3 || FMT == 4) {
    sw >>= 3; dw >>= 3; shift = 5;
  }
  bool scale = false;
  if ((flags & 0x08) && (flags & 0x30)) {
    flags &= ~0x08;
    scale = true;
  }
  flags &= 0x3F;
  const bool ck = flags & 0x01;
  const int mode = flags & 0x06;  // 6 colourise, 2 fill, 4 tint
  const bool op = flags & 0x08, ad = flags & 0x10, sb = flags & 0x20;
  for (int32_t row = firstRow; row <= lastRow; row++) {
    Run r;
    if (!SetupRun(row, leftX, rightX, A, B, rows, clipLeft, 2, r)) continue;
    uint8_t* d = dst + (uint32_t(row) * dstPitch + uint32_t(r.x)) * bytes;
    uint32_t u = uint32_t(r.v[0]), v = uint32_t(r.v[1]);
    const uint32_t su = uint32_t(r.s[0]), sv = uint32_t(r.s[1]);
    for (int32_t i = 0; i < r.n; i++, d += bytes, u = AddU(u, su), v = AddU(v, sv)) {
      const uint32_t t = Load(fetch(int32_t(u), int32_t(v)), BPP);
      if (ck && t == key) continue;
      uint32_t s;
      if (mode == 6) {
        const uint32_t br = Brightest<FMT>(t);
        s = 0;
        for (int c = 0; c < 3; c++) s |= (((colour & ch.m[c]) * br) >> ch.width) & ch.m[c];
      } else if (mode == 2) {
        s = colour;
      } else if (mode == 4) {
        s = colour + ((t >> 1) & ch.half);
      } else {
        s = t;
      }
      if (scale) {
        uint32_t o = 0;
        for (int c = 0; c < 3; c++) o |= (((s & ch.m[c]) * sw) >> shift) & ch.m[c];
        s = o;
      }
      uint32_t out;
      if (op) {
        const uint32_t dv = Load(d, BPP);
        out = 0;
        for (int c = 0; c < 3; c++)
          out |= (((s & ch.m[c]) * sw + (dv & ch.m[c]) * dw) >> shift) & ch.m[c];
      } else if (ad) {
        const uint32_t dv = Load(d, BPP);
        out = 0;
        for (int c = 0; c < 3; c++) {
          const uint32_t x = (dv & ch.m[c]) + (s & ch.m[c]);
          out |= x > ch.m[c] ? ch.m[c] : x;
        }
      } else if (sb) {
        const uint32_t dv = Load(d, BPP);
        out = 0;
        for (int c = 0; c < 3; c++) {
          const uint32_t a = dv & ch.m[c], b = s & ch.m[c];
          out |= a > b ? a - b : 0;
        }
      } else {
        out = s;
      }
      Store(d, out, BPP);
    }
  }
}

template <class Fetch>
void Dispatch(int mode, uint8_t* dst, const Fetch& f, const int16_t* lx, const int16_t* rx,
              const int32_t* A, const int32_t* B, uint32_t dp, uint32_t rows, int32_t r0,
              int32_t r1, int32_t cl, uint8_t bpp, uint8_t format, int32_t flags, uint32_t key,
              uint32_t opacity, uint32_t colour) {
  if (mode == 2 && bpp != 8) {
    switch (format) {
      case 2: GenericRows<2>(dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, flags, key, opacity, colour); return;
      case 3: GenericRows<3>(dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, flags, key, opacity, colour); return;
      case 4: GenericRows<4>(dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, flags, key, opacity, colour); return;
      case 5: GenericRows<5>(dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, flags, key, opacity, colour); return;
      case 6: GenericRows<6>(dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, flags, key, opacity, colour); return;
      default: return;
    }
  }
  // 8-bit destinations copy every texel in the generic kernel: no flag applies.
  const bool keyed = mode == 1;
  switch (bpp) {
    case 8:
      if (keyed) TexRows<8, true>(dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, key);
      else TexRows<8, false>(dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, key);
      return;
    case 16:
      if (keyed) TexRows<16, true>(dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, key);
      else TexRows<16, false>(dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, key);
      return;
    case 24:
      if (keyed) TexRows<24, true>(dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, key);
      else TexRows<24, false>(dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, key);
      return;
    case 32:
      if (keyed) TexRows<32, true>(dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, key);
      else TexRows<32, false>(dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, key);
      return;
    default: return;
  }
}

// mode: 0 plain, 1 keyed, 2 generic.
void Textured(int mode, bool plus, uint8_t* dst, const uint8_t* src, const int16_t* lx,
              const int16_t* rx, const int32_t* A, const int32_t* B, uint32_t dp, uint32_t rows,
              uint32_t sp, uint32_t srows, int32_t r0, int32_t r1, int32_t cl, uint8_t bpp,
              uint32_t sw, uint8_t format, int32_t flags, uint32_t key, uint32_t opacity,
              uint32_t colour) {
  if (!dst || !src || !lx || !rx || !A || !B || sw == 0 || srows == 0 || sp == 0) return;
  if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return;
  const uint32_t bytes = bpp / 8u;
  if (plus) {
    FetchPow2 f{src, sp - 1, Log2(sp), bytes, 10};
    Dispatch(mode, dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, bpp, format, flags, key, opacity, colour);
  } else {
    FetchMod f{src, sp, srows, sw, bytes, 10};
    Dispatch(mode, dst, f, lx, rx, A, B, dp, rows, r0, r1, cl, bpp, format, flags, key, opacity, colour);
  }
}

const uint16_t kT16Rows[16] = {
    0xFB40, 0xEC90, 0xF720, 0xB8C4, 0xFF00, 0xCC98, 0xF360, 0x7C82,
    0xFB40, 0xE630, 0xDD88, 0xBA44, 0xF5A0, 0xEE10, 0xF9C0, 0xD628};
const uint8_t kT8Rows[8] = {0xF0, 0xC8, 0xF0, 0xA4, 0xD8, 0x62, 0xF0, 0x8C};
const uint8_t kT4Rows[4] = {0x0C, 0x08, 0x06, 0x08};

inline uint32_t Dith(uint32_t c, uint32_t t, int fmt, int channel) {
  if (fmt == 2) {
    if (c < 0xF0 && ((kT16Rows[t & 15] >> (c & 15)) & 1)) c += 16;
  } else if (fmt == 4 && channel == 1) {
    if (c < 0xFC && ((kT4Rows[t & 3] >> (c & 3)) & 1)) c += 4;
  } else {
    if (c < 0xF8 && ((kT8Rows[t & 7] >> (c & 7)) & 1)) c += 8;
  }
  return c;
}

inline int32_t ClampChan(int32_t v) {
  // Interpolation may run a step past the end colour; keep every channel in range.
  return v < 0 ? 0 : (v > 0xFFFFFF ? 0xFFFFFF : v);
}

template <bool DITHER>
void GradientRows(uint8_t* dst, const int16_t* lx, const int16_t* rx, const int32_t* A,
                  const int32_t* B, uint32_t dp, uint32_t rows, int32_t r0, int32_t r1,
                  int32_t cl, uint8_t bpp, uint8_t format) {
  if (!dst || !lx || !rx || !A || !B) return;
  if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return;
  const uint32_t bytes = bpp / 8u;
  for (int32_t row = r0; row <= r1; row++) {
    Run r;
    if (!SetupRun(row, lx, rx, A, B, rows, cl, 3, r)) continue;
    uint8_t* d = dst + (uint32_t(row) * dp + uint32_t(r.x)) * bytes;
    uint32_t R = uint32_t(r.v[0]) << 6, G = uint32_t(r.v[1]) << 6, Bl = uint32_t(r.v[2]) << 6;
    const uint32_t sR = uint32_t(r.s[0]) << 6, sG = uint32_t(r.s[1]) << 6, sB = uint32_t(r.s[2]) << 6;
    for (int32_t i = 0; i < r.n; i++, d += bytes) {
      uint32_t rr = uint32_t(ClampChan(int32_t(R))), gg = uint32_t(ClampChan(int32_t(G))),
               bb = uint32_t(ClampChan(int32_t(Bl)));
      uint32_t px;
      if (bpp == 8) {
        px = (rr >> 16) | (gg >> 16) | (bb >> 16);
      } else if (bpp == 16) {
        if (DITHER && format >= 2 && format <= 4) {
          const uint32_t t = uint32_t(row) + uint32_t(i);
          rr = Dith(rr >> 16, t, format, 0) << 16;
          gg = Dith(gg >> 16, t, format, 1) << 16;
          bb = Dith(bb >> 16, t, format, 2) << 16;
        }
        if (format == 2)
          px = ((rr >> 12) & 0xF00) | ((gg >> 16) & 0xF0) | (bb >> 20);
        else if (format == 3)
          px = ((rr >> 9) & 0x7C00) | ((gg >> 14) & 0x3E0) | (bb >> 19);
        else
          px = ((rr >> 8) & 0xF800) | ((gg >> 13) & 0x7E0) | (bb >> 19);
      } else if (bpp == 24) {
        px = (bb >> 16) | ((gg >> 8) & 0xFF00) | (rr & 0xFF0000);
      } else {
        px = (rr & 0xFF0000) | ((gg >> 8) & 0xFF00) | (bb >> 16);
      }
      Store(d, px, bpp);
      R += sR;
      G += sG;
      Bl += sB;
    }
  }
}

template <class Fetch>
void LandRows(bool side, const tagRECT* rc, uint8_t* dst, const Fetch& f, uint32_t dp,
              const int32_t* rec, uint8_t bpp) {
  const uint32_t bytes = bpp / 8u;
  if (!side) {
    for (int32_t y = rc->top; y < rc->bottom; y++) {
      const int32_t* q = rec + 4 * y;
      uint32_t u = uint32_t(q[0]), v = uint32_t(q[1]);
      uint8_t* d = dst + (uint32_t(y) * dp + uint32_t(rc->left)) * bytes;
      for (int32_t x = rc->left; x < rc->right; x++, d += bytes) {
        std::memcpy(d, f(int32_t(u), int32_t(v)), bytes);
        u = AddU(u, uint32_t(q[2]));
        v = AddU(v, uint32_t(q[3]));
      }
    }
  } else {
    for (int32_t x = rc->left; x < rc->right; x++) {
      const int32_t* q = rec + 4 * x;
      uint32_t u = uint32_t(q[0]), v = uint32_t(q[1]);
      uint8_t* d = dst + (uint32_t(rc->top) * dp + uint32_t(x)) * bytes;
      for (int32_t y = rc->top; y < rc->bottom; y++, d += dp * bytes) {
        std::memcpy(d, f(int32_t(u), int32_t(v)), bytes);
        u = AddU(u, uint32_t(q[2]));
        v = AddU(v, uint32_t(q[3]));
      }
    }
  }
}

void Land(bool side, bool plus, const tagRECT* rc, uint8_t* dst, const uint8_t* src,
          uint32_t dp, uint32_t dstRows, uint32_t sp, uint32_t srows, const int32_t* rec,
          uint8_t bpp, uint32_t sw) {
  (void)dstRows;
  if (!rc || !dst || !src || !rec || sw == 0 || srows == 0 || sp == 0) return;
  if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return;
  if (rc->left < 0 || rc->top < 0 || rc->left >= rc->right || rc->top >= rc->bottom) return;
  const uint32_t bytes = bpp / 8u;
  if (plus) {
    FetchPow2 f{src, sp - 1, Log2(sp), bytes, 12};
    LandRows(side, rc, dst, f, dp, rec, bpp);
  } else {
    FetchMod f{src, sp, srows, sw, bytes, 12};
    LandRows(side, rc, dst, f, dp, rec, bpp);
  }
}

}  // namespace

bool ERdrSpanIsPlus(uint32_t w, uint32_t h) {
  return w == h && (w == 64 || w == 128 || w == 256 || w == 512 || w == 1024);
}

#define ERDR_SPAN_PASS \
  dst, src, leftX, rightX, leftValues, rightValues, dstPitch, rows, srcPitch, srcRows, firstRow, \
      lastRow, clipLeft, bpp, srcWidth, format

void ExRsBlt(ERDR_SPAN_ARGS) {
  if (ERdrSpanIsPlus(srcWidth, srcRows) && srcPitch == srcWidth) return ExRsBltPlus(ERDR_SPAN_PASS);
  Textured(0, false, ERDR_SPAN_PASS, 0, 0, 0, 0);
}
void ExRsBltPlus(ERDR_SPAN_ARGS) { Textured(0, true, ERDR_SPAN_PASS, 0, 0, 0, 0); }
void ExRsBltCk(ERDR_SPAN_ARGS, uint32_t key) {
  if (ERdrSpanIsPlus(srcWidth, srcRows) && srcPitch == srcWidth)
    return ExRsBltCkPlus(ERDR_SPAN_PASS, key);
  Textured(1, false, ERDR_SPAN_PASS, 0, key, 0, 0);
}
void ExRsBltCkPlus(ERDR_SPAN_ARGS, uint32_t key) { Textured(1, true, ERDR_SPAN_PASS, 0, key, 0, 0); }
void ExRsBltGeneric(ERDR_SPAN_ARGS, int32_t flags, uint32_t key, uint32_t opacity, uint32_t colour) {
  if (ERdrSpanIsPlus(srcWidth, srcRows) && srcPitch == srcWidth)
    return ExRsBltGenericPlus(ERDR_SPAN_PASS, flags, key, opacity, colour);
  Textured(2, false, ERDR_SPAN_PASS, flags, key, opacity, colour);
}
void ExRsBltGenericPlus(ERDR_SPAN_ARGS, int32_t flags, uint32_t key, uint32_t opacity,
                        uint32_t colour) {
  Textured(2, true, ERDR_SPAN_PASS, flags, key, opacity, colour);
}

void ExRsBltGradient(uint8_t* dst, const int16_t* leftX, const int16_t* rightX,
                     const int32_t* leftValues, const int32_t* rightValues, uint32_t dstPitch,
                     uint32_t rows, int32_t firstRow, int32_t lastRow, int32_t clipLeft,
                     uint8_t bpp, uint8_t format) {
  GradientRows<false>(dst, leftX, rightX, leftValues, rightValues, dstPitch, rows, firstRow,
                      lastRow, clipLeft, bpp, format);
}
void ExRsBltGradientDith(uint8_t* dst, const int16_t* leftX, const int16_t* rightX,
                         const int32_t* leftValues, const int32_t* rightValues, uint32_t dstPitch,
                         uint32_t rows, int32_t firstRow, int32_t lastRow, int32_t clipLeft,
                         uint8_t bpp, uint8_t format) {
  GradientRows<true>(dst, leftX, rightX, leftValues, rightValues, dstPitch, rows, firstRow,
                     lastRow, clipLeft, bpp, format);
}

#define ERDR_LND_PASS rect, dst, src, dstPitch, dstRows, srcPitch, srcRows, records, bpp, srcWidth
void ExLndNormal(ERDR_LND_ARGS) {
  if (ERdrSpanIsPlus(srcWidth, srcRows) && srcPitch == srcWidth) return ExLndNormalPlus(ERDR_LND_PASS);
  Land(false, false, ERDR_LND_PASS);
}
void ExLndNormalPlus(ERDR_LND_ARGS) { Land(false, true, ERDR_LND_PASS); }
void ExLndSide(ERDR_LND_ARGS) {
  if (ERdrSpanIsPlus(srcWidth, srcRows) && srcPitch == srcWidth) return ExLndSidePlus(ERDR_LND_PASS);
  Land(true, false, ERDR_LND_PASS);
}
void ExLndSidePlus(ERDR_LND_ARGS) { Land(true, true, ERDR_LND_PASS); }

void ExRsBltFlags(ERDR_SPAN_ARGS, int32_t flags, uint32_t key, uint32_t value) {
  const uint32_t fb = uint32_t(flags) & 0xFF;
  if (fb >= 2 && (fb & 0x06)) {
    uint32_t c = value & 0xFFFFFF;
    if ((fb & 0x06) == 0x04) c = (c >> 1) & 0x7F7F7F;
    ExRsBltGeneric(ERDR_SPAN_PASS, flags, key, value >> 24, E2DSurface::ColorToNative(c, format));
  } else if (fb >= 2) {
    ExRsBltGeneric(ERDR_SPAN_PASS, flags, key, value, 0);
  } else if (fb & 0x01) {
    ExRsBltCk(ERDR_SPAN_PASS, key);
  } else {
    ExRsBlt(ERDR_SPAN_PASS);
  }
}
