// Internals of the RGBA kernels: the destination formats as types and the row
// walkers that the four kernels (one file each) instantiate. Channels are worked
// in place in two groups (red with blue, green alone) so no channel spills into
// another; every group result is masked.
#ifndef ZARN_DISPLAY_ERDR_RGBA_IMPL_H
#define ZARN_DISPLAY_ERDR_RGBA_IMPL_H

#include <cstdint>

#include "display/erdr_kernel.h"
#include "display/erdr_pixel.h"
#include "display/erdr_rgba.h"

namespace erdr_rgba {

// K: bits of alpha used (one more than the narrow channels); RB, G: the two
// groups; HALF: the tint mask; SH/W: channel shifts and widths (blue, green,
// red); CS: the colourise shift.
struct F2 {
  static constexpr uint32_t BYTES = 2, K = 4, RB = 0x0F0F, G = 0x00F0, CH = 0xFFFF, HALF = 0x777,
                            CS = 4;
  static constexpr uint32_t SH[3] = {0, 4, 8}, W[3] = {4, 4, 4};
  static uint32_t Brightest(uint32_t c) {
    uint32_t m = c & 0xF, g = (c >> 4) & 0xF, r = (c >> 8) & 0xF;
    return m > g ? (m > r ? m : r) : (g > r ? g : r);
  }
  static uint32_t Load(const uint8_t* p) { return erdr::Load16(p); }
  static void Store(uint8_t* p, uint32_t v) { erdr::Store16(p, v); }
};
struct F3 {
  static constexpr uint32_t BYTES = 2, K = 5, RB = 0x7C1F, G = 0x03E0, CH = 0xFFFF, HALF = 0x3DEF,
                            CS = 5;
  static constexpr uint32_t SH[3] = {0, 5, 10}, W[3] = {5, 5, 5};
  static uint32_t Brightest(uint32_t c) {
    uint32_t m = c & 0x1F, g = (c >> 5) & 0x1F, r = (c >> 10) & 0x1F;
    return m > g ? (m > r ? m : r) : (g > r ? g : r);
  }
  static uint32_t Load(const uint8_t* p) { return erdr::Load16(p); }
  static void Store(uint8_t* p, uint32_t v) { erdr::Store16(p, v); }
};
struct F4 {
  static constexpr uint32_t BYTES = 2, K = 6, RB = 0xF81F, G = 0x07E0, CH = 0xFFFF, HALF = 0x7BEF,
                            CS = 5;
  static constexpr uint32_t SH[3] = {0, 5, 11}, W[3] = {5, 6, 5};
  // Green counts with its top five bits.
  static uint32_t Brightest(uint32_t c) {
    uint32_t m = c & 0x1F, g = (c >> 6) & 0x1F, r = (c >> 11) & 0x1F;
    return m > g ? (m > r ? m : r) : (g > r ? g : r);
  }
  static uint32_t Load(const uint8_t* p) { return erdr::Load16(p); }
  static void Store(uint8_t* p, uint32_t v) { erdr::Store16(p, v); }
};
struct F8Bits {
  static constexpr uint32_t K = 8, RB = 0xFF00FF, G = 0x00FF00, CH = 0xFFFFFF, HALF = 0x7F7F7F,
                            CS = 8;
  static constexpr uint32_t SH[3] = {0, 8, 16}, W[3] = {8, 8, 8};
  static uint32_t Brightest(uint32_t c) {
    uint32_t m = c & 0xFF, g = (c >> 8) & 0xFF, r = (c >> 16) & 0xFF;
    return m > g ? (m > r ? m : r) : (g > r ? g : r);
  }
};
struct F5 : F8Bits {
  static constexpr uint32_t BYTES = 3;
  static uint32_t Load(const uint8_t* p) { return erdr::Load24(p); }
  static void Store(uint8_t* p, uint32_t v) { erdr::Store24(p, v); }
};
struct F6 : F8Bits {
  static constexpr uint32_t BYTES = 4;
  static uint32_t Load(const uint8_t* p) { return erdr::Load32(p); }
  static void Store(uint8_t* p, uint32_t v) { erdr::Store32(p, v); }
};

// Per channel (v * a + d * (2^K - a)) >> K, formed as (d << K) + (v - d) * a: one
// multiply per group. The group's true sum lies in [0, 2^32), so the wrapping
// unsigned arithmetic lands on it exactly.
template <class F>
inline uint32_t Blend(uint32_t v, uint32_t d, uint32_t a) {
  const uint32_t drb = d & F::RB, dg = d & F::G;
  return ((((drb << F::K) + ((v & F::RB) - drb) * a) >> F::K) & F::RB) |
         ((((dg << F::K) + ((v & F::G) - dg) * a) >> F::K) & F::G);
}

// Per channel v_ch * a >> K, channels in place.
template <class F>
inline uint32_t Scale(uint32_t v, uint32_t a) {
  uint32_t out = 0;
  for (uint32_t i = 0; i < 3; i++) {
    const uint32_t m = ((1u << F::W[i]) - 1) << F::SH[i];
    out |= (((v & m) * a) >> F::K) & m;
  }
  return out;
}

template <class F>
inline uint32_t AddSat(uint32_t d, uint32_t v) {
  uint32_t out = 0;
  for (uint32_t i = 0; i < 3; i++) {
    const uint32_t m = ((1u << F::W[i]) - 1) << F::SH[i];
    const uint32_t s = (d & m) + (v & m);
    out |= s > m ? m : s;
  }
  return out;
}

template <class F>
inline uint32_t SubSat(uint32_t d, uint32_t v) {
  uint32_t out = 0;
  for (uint32_t i = 0; i < 3; i++) {
    const uint32_t m = ((1u << F::W[i]) - 1) << F::SH[i];
    const uint32_t dd = d & m, vv = v & m;
    out |= dd > vv ? dd - vv : 0;
  }
  return out;
}

// Each channel of colour times m (the source's brightest channel), shifted back.
template <class F>
inline uint32_t Colourise(uint32_t colour, uint32_t m) {
  uint32_t out = 0;
  for (uint32_t i = 0; i < 3; i++) {
    const uint32_t mask = ((1u << F::W[i]) - 1) << F::SH[i];
    out |= (((colour & mask) * m) >> F::CS) & mask;
  }
  return out;
}

// floor(x / d) for x < 2^16 and 1 <= d <= 256 as (x * kRecip[d]) >> 24: with
// m = floor(2^24 / d) + 1 the error stays below one step over that range, and
// the console's ARM9 has no divide instruction.
struct RecipTable {
  uint32_t m[257];
  constexpr RecipTable() : m() {
    for (uint32_t d = 1; d <= 256; d++) m[d] = (1u << 24) / d + 1;
  }
};
constexpr RecipTable kRecip{};

inline uint32_t DivSmall(uint32_t x, uint32_t d) {
  return uint32_t((uint64_t(x) * kRecip.m[d]) >> 24);
}

// Undoes the premultiplication of a colour at weight a (1 to 2^K - 1):
// c_ch * 2^K / (a + 1) per channel, masked to the channel.
template <class F>
inline uint32_t Restore(uint32_t c, uint32_t a) {
  uint32_t out = 0;
  for (uint32_t i = 0; i < 3; i++) {
    const uint32_t wmask = (1u << F::W[i]) - 1;
    const uint32_t ch = (c >> F::SH[i]) & wmask;
    out |= (DivSmall(ch << F::K, a + 1) & wmask) << F::SH[i];
  }
  return out;
}

// The walk shared by the four kernels: Pixel(word, d) returns false to leave d.
template <class F, class Pixel>
inline void Walk(int32_t x, int32_t y, int32_t firstRow, const tagRECT* r, uint8_t* dst,
                 const uint32_t* src, uint32_t dstPitch, uint32_t srcPitch, Pixel pixel) {
  const int32_t w = r->right - r->left;
  for (int32_t row = firstRow; row < r->bottom; row++) {
    const uint32_t* s = src + uint32_t(row) * srcPitch + uint32_t(r->left);
    uint8_t* d = dst + (uint32_t(y + (row - firstRow)) * dstPitch + uint32_t(x)) * F::BYTES;
    for (int32_t i = 0; i < w; i++, d += F::BYTES) pixel(s[i], d);
  }
}

// Format 1: the low byte where the word is visible, no blending.
inline void Walk8(int32_t x, int32_t y, int32_t firstRow, const tagRECT* r, uint8_t* dst,
                  const uint32_t* src, uint32_t dstPitch, uint32_t srcPitch, bool premultiplied) {
  const int32_t w = r->right - r->left;
  const uint32_t hidden = premultiplied ? 255 : 0;
  for (int32_t row = firstRow; row < r->bottom; row++) {
    const uint32_t* s = src + uint32_t(row) * srcPitch + uint32_t(r->left);
    uint8_t* d = dst + uint32_t(y + (row - firstRow)) * dstPitch + uint32_t(x);
    for (int32_t i = 0; i < w; i++)
      if ((s[i] >> 24) != hidden) d[i] = uint8_t(s[i]);
  }
}

template <class F>
void Plain(int32_t x, int32_t y, int32_t firstRow, const tagRECT* r, uint8_t* dst,
           const uint32_t* src, uint32_t dp, uint32_t sp) {
  Walk<F>(x, y, firstRow, r, dst, src, dp, sp, [](uint32_t word, uint8_t* d) {
    const uint32_t A = word >> 24;
    if (A == 255)
      F::Store(d, word & F::CH);
    else if (A >> (8 - F::K))
      F::Store(d, Blend<F>(word, F::Load(d), A >> (8 - F::K)));
  });
}

template <class F>
void Plus(int32_t x, int32_t y, int32_t firstRow, const tagRECT* r, uint8_t* dst,
          const uint32_t* src, uint32_t dp, uint32_t sp) {
  Walk<F>(x, y, firstRow, r, dst, src, dp, sp, [](uint32_t word, uint8_t* d) {
    const uint32_t t = word >> 24;
    if (t == 0) {
      F::Store(d, word & F::CH);
    } else if (t != 255) {
      const uint32_t k = t >> (8 - F::K), o = F::Load(d);
      F::Store(d, (((word & F::RB) + ((((o & F::RB) * k) >> F::K) & F::RB)) & F::RB) |
                      (((word & F::G) + ((((o & F::G) * k) >> F::K) & F::G)) & F::G));
    }
  });
}

// Steps 2 to 5 of the flagged blend for a pixel of colour c at weight a.
template <class F>
inline void Flagged(uint8_t* d, uint32_t c, uint32_t a, uint32_t f, uint32_t opacity,
                    uint32_t colour) {
  if (f & EBLT_OP) a = (opacity * a) >> 8;
  if (!a) return;
  uint32_t v;
  if ((f & (EBLT_CF | EBLT_TN)) == (EBLT_CF | EBLT_TN))
    v = Colourise<F>(colour, F::Brightest(c));
  else if (f & EBLT_CF)
    v = colour;
  else if (f & EBLT_TN)
    v = colour + ((c >> 1) & F::HALF);
  else
    v = c;
  if (f & (EBLT_AD | EBLT_SB)) {
    v = Scale<F>(v, a);
    F::Store(d, (f & EBLT_AD) ? AddSat<F>(F::Load(d), v) : SubSat<F>(F::Load(d), v));
  } else if (a <= (1u << F::K) - 2) {
    F::Store(d, Blend<F>(v, F::Load(d), a));
  } else {
    F::Store(d, v & F::CH);
  }
}

template <class F>
void Generic(int32_t x, int32_t y, int32_t firstRow, const tagRECT* r, uint8_t* dst,
             const uint32_t* src, uint32_t dp, uint32_t sp, uint32_t f, uint32_t opacity,
             uint32_t colour) {
  Walk<F>(x, y, firstRow, r, dst, src, dp, sp, [=](uint32_t word, uint8_t* d) {
    const uint32_t a = (word >> 24) >> (8 - F::K);
    if (a) Flagged<F>(d, word & F::CH, a, f, opacity, colour);
  });
}

template <class F>
void GenericPlus(int32_t x, int32_t y, int32_t firstRow, const tagRECT* r, uint8_t* dst,
                 const uint32_t* src, uint32_t dp, uint32_t sp, uint32_t f, uint32_t opacity,
                 uint32_t colour) {
  Walk<F>(x, y, firstRow, r, dst, src, dp, sp, [=](uint32_t word, uint8_t* d) {
    const uint32_t a = ((1u << F::K) - 1) - ((word >> 24) >> (8 - F::K));
    if (a) Flagged<F>(d, Restore<F>(word & F::CH, a), a, f, opacity, colour);
  });
}

}  // namespace erdr_rgba

#endif
