// Blit kernel templates over the pixel depth: the per-pixel rule, the shift rules
// of the oh and ol fast paths, and the row walkers (two 16-bit pixels per 32-bit
// access for the straight 12- and 16-bit loops). The generic kernels and every
// specialised kernel are instances of these, each under its own name in its own
// file.
#ifndef ZARN_DISPLAY_ERDR_BLT_H
#define ZARN_DISPLAY_ERDR_BLT_H

#include <cstdint>
#include <cstring>

#include "display/erdr_kernel.h"
#include "display/erdr_pixel.h"

namespace erdr {

// Pixel depths. CH: the channel bits; K: opacity shift; HALF: the tint mask.
struct D12 {
  static constexpr uint32_t kBytes = 2, B = 0x000F, G = 0x00F0, R = 0x0F00, CH = 0x0FFF, K = 4,
                            HALF = 0x777;
  static uint32_t Weight(uint32_t opacity) { return opacity >> 4; }
  static uint32_t Brightest(uint32_t s) {
    uint32_t m = s & 0xF, g = (s >> 4) & 0xF, r = (s >> 8) & 0xF;
    if (g > m) m = g;
    if (r > m) m = r;
    return m;
  }
  // Masks of the shift rules by opacity (0 = not handled).
  static uint32_t HighShift(uint32_t o) { return o == 128 ? 1 : o == 192 ? 2 : o == 224 ? 3 : 0; }
  static uint32_t LowShift(uint32_t o) { return o == 64 ? 2 : o == 32 ? 3 : 0; }
  static uint32_t ShiftMask(uint32_t k) {
    static const uint32_t m[5] = {0, 0x777, 0x333, 0x111, 0};
    return m[k];
  }
  static uint32_t Load(const uint8_t* p) { return Load16(p); }
  static void Store(uint8_t* p, uint32_t v) { Store16(p, v); }
};

struct D16 {
  static constexpr uint32_t kBytes = 2, B = 0x001F, G = 0x07E0, R = 0xF800, CH = 0xFFFF, K = 5,
                            HALF = 0x7BEF;
  static uint32_t Weight(uint32_t opacity) { return opacity >> 3; }
  static uint32_t Brightest(uint32_t s) {
    uint32_t m = s & 0x1F, g = (s >> 6) & 0x1F, r = (s >> 11) & 0x1F;
    if (g > m) m = g;
    if (r > m) m = r;
    return m;
  }
  static uint32_t HighShift(uint32_t o) {
    return o == 128 ? 1 : o == 192 ? 2 : o == 224 ? 3 : o == 240 ? 4 : 0;
  }
  static uint32_t LowShift(uint32_t o) { return o == 64 ? 2 : o == 32 ? 3 : o == 16 ? 4 : 0; }
  static uint32_t ShiftMask(uint32_t k) {
    static const uint32_t m[5] = {0, 0x7BEF, 0x39E7, 0x18E3, 0x0861};
    return m[k];
  }
  static uint32_t Load(const uint8_t* p) { return Load16(p); }
  static void Store(uint8_t* p, uint32_t v) { Store16(p, v); }
};

struct D32 {
  static constexpr uint32_t kBytes = 4, B = 0x0000FF, G = 0x00FF00, R = 0xFF0000, CH = 0xFFFFFF,
                            K = 8, HALF = 0x7F7F7F;
  static uint32_t Weight(uint32_t opacity) { return opacity; }
  static uint32_t Brightest(uint32_t s) {
    uint32_t m = s & 0xFF, g = (s >> 8) & 0xFF, r = (s >> 16) & 0xFF;
    if (g > m) m = g;
    if (r > m) m = r;
    return m;
  }
  static uint32_t HighShift(uint32_t o) { return D16::HighShift(o); }
  static uint32_t LowShift(uint32_t o) { return D16::LowShift(o); }
  static uint32_t ShiftMask(uint32_t k) {
    static const uint32_t m[5] = {0, 0x7F7F7F, 0x3F3F3F, 0x1F1F1F, 0x0F0F0F};
    return m[k];
  }
  static uint32_t Load(const uint8_t* p) { return Load32(p); }
  static void Store(uint8_t* p, uint32_t v) { Store32(p, v); }
};

// The per-pixel rule of the 12-, 16- and 32-bit loops for flag byte f (oh and ol
// already turned into op); ck is the walker's business. Channels are worked in
// place: masked, multiplied, shifted back and masked again.
template <class P>
inline uint32_t Scale(uint32_t v, uint32_t a) {
  return ((((v & P::B) * a) >> P::K) & P::B) | ((((v & P::G) * a) >> P::K) & P::G) |
         ((((v & P::R) * a) >> P::K) & P::R);
}
template <class P>
inline uint32_t Blend(uint32_t v, uint32_t d, uint32_t a) {
  const uint32_t b = (1u << P::K) - a;
  return ((((v & P::B) * a + (d & P::B) * b) >> P::K) & P::B) |
         ((((v & P::G) * a + (d & P::G) * b) >> P::K) & P::G) |
         ((((v & P::R) * a + (d & P::R) * b) >> P::K) & P::R);
}
template <class P>
inline uint32_t AddSat(uint32_t d, uint32_t v) {
  uint32_t b = (d & P::B) + (v & P::B), g = (d & P::G) + (v & P::G), r = (d & P::R) + (v & P::R);
  if (b > P::B) b = P::B;
  if (g > P::G) g = P::G;
  if (r > P::R) r = P::R;
  return b | g | r;
}
template <class P>
inline uint32_t SubSat(uint32_t d, uint32_t v) {
  const uint32_t db = d & P::B, dg = d & P::G, dr = d & P::R;
  const uint32_t vb = v & P::B, vg = v & P::G, vr = v & P::R;
  return (db > vb ? db - vb : 0) | (dg > vg ? dg - vg : 0) | (dr > vr ? dr - vr : 0);
}
template <class P>
inline uint32_t Colourise(uint32_t colour, uint32_t s) {
  const uint32_t m = P::Brightest(s);
  return ((((colour & P::B) * m) >> P::K) & P::B) | ((((colour & P::G) * m) >> P::K) & P::G) |
         ((((colour & P::R) * m) >> P::K) & P::R);
}

template <class P>
inline uint32_t RulePixel(uint32_t f, uint32_t s, uint32_t d, uint32_t colour, uint32_t a) {
  uint32_t v;
  if ((f & (EBLT_CF | EBLT_TN)) == (EBLT_CF | EBLT_TN))
    v = Colourise<P>(colour, s);
  else if (f & EBLT_CF)
    v = colour & P::CH;
  else if (f & EBLT_TN)
    v = (colour + ((s >> 1) & P::HALF)) & P::CH;
  else
    v = s;
  if (f & (EBLT_AD | EBLT_SB)) {
    if (f & EBLT_OP) v = Scale<P>(v, a);
    return (f & EBLT_AD) ? AddSat<P>(d, v) : SubSat<P>(d, v);
  }
  if (f & EBLT_OP) return Blend<P>(v, d, a);
  return v;
}

// Shift rules on whole words, wrapping: oh keeps 1 - 2^-k of the source, ol 2^-k.
inline uint32_t ShiftHigh(uint32_t s, uint32_t d, uint32_t k, uint32_t m) {
  return s + ((d >> k) & m) - ((s >> k) & m);
}
inline uint32_t ShiftLow(uint32_t s, uint32_t d, uint32_t k, uint32_t m) {
  return d + ((s >> k) & m) - ((d >> k) & m);
}

// One pixel operation: the rule for a flag byte F known at compile time
// (FLAGS_RUNTIME: the flags field is read instead), on one pixel or a pair.
constexpr uint32_t FLAGS_RUNTIME = 0x100;

template <class P, uint32_t F>
struct Op {
  uint32_t f, key, colour, a, k, m;
  static constexpr bool kCk = F != FLAGS_RUNTIME && (F & EBLT_CK);
  static constexpr bool kCopy = F != FLAGS_RUNTIME && (F & ~EBLT_CK) == 0;
  static constexpr bool kFill = F != FLAGS_RUNTIME && (F & ~EBLT_CK) == EBLT_CF;
  bool keyed() const { return F == FLAGS_RUNTIME ? (f & EBLT_CK) != 0 : kCk; }
  uint32_t px(uint32_t s, uint32_t d) const {
    if (F == FLAGS_RUNTIME) return RulePixel<P>(f, s, d, colour, a);
    if (F & EBLT_OH) return ShiftHigh(s, d, k, m) & 0xFFFFFFFFu;
    if (F & EBLT_OL) return ShiftLow(s, d, k, m);
    return RulePixel<P>(F & 0x3F, s, d, colour, a);
  }
  // Two 16-bit pixels in one word (low half first); the shift rules, copies and
  // fills work on the whole word with their masks repeated in both halves.
  uint32_t pair(uint32_t s, uint32_t d) const {
    if (F != FLAGS_RUNTIME) {
      if (F & EBLT_OH) return ShiftHigh(s, d, k, m | (m << 16));
      if (F & EBLT_OL) return ShiftLow(s, d, k, m | (m << 16));
      if (kCopy) return s;
      if (kFill) return (colour & 0xFFFF) | (colour << 16);
    }
    return (px(s & 0xFFFF, d & 0xFFFF) & 0xFFFF) | (px(s >> 16, d >> 16) << 16);
  }
};

template <class P, uint32_t F>
inline Op<P, F> MakeOp(uint32_t f, uint32_t key, uint32_t colour, uint32_t opacity) {
  Op<P, F> op{f, key, colour, P::Weight(opacity), 0, 0};
  if (F != FLAGS_RUNTIME && (F & (EBLT_OH | EBLT_OL))) {
    op.k = (F & EBLT_OH) ? P::HighShift(opacity) : P::LowShift(opacity);
    op.m = P::ShiftMask(op.k);
  }
  return op;
}

#if defined(__x86_64__) || defined(__i386__)
constexpr bool kUnalignedWords = true;
#else
constexpr bool kUnalignedWords = false;
#endif

// One column of a 16-bit block, all rows.
template <class O>
inline void Column16(int32_t h, uint8_t* d, const uint8_t* s, uint32_t dp, uint32_t sp, const O& op) {
  const bool keyed = op.keyed();
  for (int32_t y = 0; y < h; y++, d += dp, s += sp) {
    const uint32_t sv = Load16(s);
    if (keyed && sv == op.key) continue;
    Store16(d, op.px(sv, Load16(d)));
  }
}

// Eight 16-bit pixels in one register, where the compiler maps that onto the
// processor's vector unit (elsewhere it would only split it up again).
#if defined(__SSE2__) || defined(__ARM_NEON)
#define ZARN_KEYED_VECTOR 1
typedef uint16_t V16 __attribute__((vector_size(16)));

inline void KeyedGroup16(uint8_t* d, const uint8_t* s, V16 key) {
  V16 sv, dv;
  std::memcpy(&sv, s, 16);
  std::memcpy(&dv, d, 16);
  const V16 hole = sv == key;  // all ones where the source is the key
  dv = (sv & ~hole) | (dv & hole);
  std::memcpy(d, &dv, 16);
}

// Rows of G whole groups (sprite widths up to 32 pixels), unrolled; G = 0 takes
// the group count from the width.
template <uint32_t G>
inline void KeyedRowsG(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src, uint32_t dp,
                       uint32_t sp, V16 k8) {
  const uint32_t groups = G ? G : uint32_t(w) / 8, last = (uint32_t(w) - 8) * 2;
  const bool tail = (w & 7) != 0;
  for (int32_t y = 0; y < h; y++, dst += dp, src += sp) {
    for (uint32_t g = 0; g < groups; g++) KeyedGroup16(dst + 16 * g, src + 16 * g, k8);
    if (tail) KeyedGroup16(dst + last, src + last, k8);
  }
}

// Keyed 16-bit copy of blocks at least eight pixels wide, eight pixels at a
// time. A row's last partial group is done as the eight pixels ending the row,
// overlapping the group before: a keyed copy done twice gives the same pixels.
inline void KeyedRows16(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src, uint32_t dp,
                        uint32_t sp, uint32_t key) {
  const uint16_t k = uint16_t(key);
  const V16 k8 = {k, k, k, k, k, k, k, k};
  switch (uint32_t(w) / 8) {
    case 1: return KeyedRowsG<1>(w, h, dst, src, dp, sp, k8);
    case 2: return KeyedRowsG<2>(w, h, dst, src, dp, sp, k8);
    case 3: return KeyedRowsG<3>(w, h, dst, src, dp, sp, k8);
    case 4: return KeyedRowsG<4>(w, h, dst, src, dp, sp, k8);
    default: return KeyedRowsG<0>(w, h, dst, src, dp, sp, k8);
  }
}
#else
#define ZARN_KEYED_VECTOR 0
#endif

// Straight 12- and 16-bit walker: first column when the source starts mid-word,
// last column when it ends mid-word, then aligned source pairs.
template <class O>
inline void Walk16(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src, uint32_t dp, uint32_t sp,
                   const O& op) {
  if (h <= 0) return;
#if ZARN_KEYED_VECTOR
  if (O::kCopy && O::kCk && w >= 8) {
    KeyedRows16(w, h, dst, src, dp, sp, op.key);
    return;
  }
#endif
  if (w > 0 && (uintptr_t(src) & 2)) {
    Column16(h, dst, src, dp, sp, op);
    dst += 2;
    src += 2;
    w--;
  }
  if (w > 0 && ((uintptr_t(src) + 2 * uint32_t(w)) & 2)) {
    Column16(h, dst + 2 * (w - 1), src + 2 * (w - 1), dp, sp, op);
    w--;
  }
  const int32_t pairs = w / 2;
  if (pairs <= 0) return;
  const bool keyed = op.keyed();
  const uint32_t key = op.key & 0xFFFF, key2 = key | (key << 16);
  for (int32_t y = 0; y < h; y++, dst += dp, src += sp) {
    uint8_t* d = dst;
    const uint8_t* s = src;
    if (O::kCopy && O::kCk) {
      // Keyed copy without branches: key pixels keep the destination's half.
      // Where unaligned words cost nothing extra the destination is always
      // taken as words.
      if (kUnalignedWords || !(uintptr_t(d) & 3)) {
        int32_t i = 0;
        for (; i < pairs; i++, d += 4, s += 4) {
          const uint32_t sv = Load32(s), x = sv ^ key2;
          const uint32_t m = ((0u - uint32_t((x & 0xFFFF) != 0)) & 0xFFFFu) |
                             ((0u - uint32_t((x >> 16) != 0)) & 0xFFFF0000u);
          Store32(d, (sv & m) | (Load32(d) & ~m));
        }
      } else {
        for (int32_t i = 0; i < pairs; i++, d += 4, s += 4) {
          const uint32_t sv = Load32(s), x = sv ^ key2;
          const uint32_t m = ((0u - uint32_t((x & 0xFFFF) != 0)) & 0xFFFFu) |
                             ((0u - uint32_t((x >> 16) != 0)) & 0xFFFF0000u);
          const uint32_t r = (sv & m) | ((Load16(d) | (uint32_t(Load16(d + 2)) << 16)) & ~m);
          Store16(d, r);
          Store16(d + 2, r >> 16);
        }
      }
    } else if (!(uintptr_t(d) & 3)) {
      for (int32_t i = 0; i < pairs; i++, d += 4, s += 4) {
        const uint32_t sv = Load32(s);
        if (keyed) {
          if (sv == key2) continue;
          const uint32_t dv = Load32(d);
          const uint32_t r = op.pair(sv, dv);
          const uint32_t lo = (sv & 0xFFFF) == key ? dv & 0xFFFF : r & 0xFFFF;
          const uint32_t hi = (sv >> 16) == key ? dv & 0xFFFF0000u : r & 0xFFFF0000u;
          Store32(d, lo | hi);
        } else {
          Store32(d, O::kCopy || O::kFill ? op.pair(sv, 0) : op.pair(sv, Load32(d)));
        }
      }
    } else {
      for (int32_t i = 0; i < pairs; i++, d += 4, s += 4) {
        const uint32_t sv = Load32(s);
        if (keyed && sv == key2) continue;
        const uint32_t dv = Load16(d) | (uint32_t(Load16(d + 2)) << 16);
        const uint32_t r = op.pair(sv, dv);
        if (!keyed || (sv & 0xFFFF) != key) Store16(d, r);
        if (!keyed || (sv >> 16) != key) Store16(d + 2, r >> 16);
      }
    }
  }
}

// One pixel at a time (32-bit straight loops).
template <class P, class O>
inline void WalkRows(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src, uint32_t dp, uint32_t sp,
                     const O& op) {
  const bool keyed = op.keyed();
  for (int32_t y = 0; y < h; y++, dst += dp, src += sp) {
    uint8_t* d = dst;
    const uint8_t* s = src;
    for (int32_t x = 0; x < w; x++, d += P::kBytes, s += P::kBytes) {
      const uint32_t sv = P::Load(s);
      if (keyed && sv == op.key) continue;
      P::Store(d, op.px(sv, O::kCopy || O::kFill ? 0 : P::Load(d)));
    }
  }
}

// Mirrored and turned walker: source steps in pixels.
template <class P, class O>
inline void WalkFlip(int32_t xs, int32_t ys, int32_t w, int32_t h, uint8_t* dst, const uint8_t* src,
                     uint32_t dp, const O& op) {
  const bool keyed = op.keyed();
  const intptr_t sx = intptr_t(xs) * intptr_t(P::kBytes), sy = intptr_t(ys) * intptr_t(P::kBytes);
  for (int32_t y = 0; y < h; y++, dst += dp, src += sy) {
    uint8_t* d = dst;
    const uint8_t* s = src;
    for (int32_t x = 0; x < w; x++, d += P::kBytes, s += sx) {
      const uint32_t sv = P::Load(s);
      if (keyed && sv == op.key) continue;
      P::Store(d, op.px(sv, O::kCopy || O::kFill ? 0 : P::Load(d)));
    }
  }
}

// Specialised straight kernel for depth P and flag byte F.
template <class P, uint32_t F>
inline int32_t SpecialFast(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src, uint32_t dp,
                        uint32_t sp, uint32_t key, uint32_t colour, uint32_t opacity) {
  const Op<P, F> op = MakeOp<P, F>(F, key, colour, opacity);
  if (P::kBytes == 2)
    Walk16(w, h, dst, src, dp, sp, op);
  else
    WalkRows<P>(w, h, dst, src, dp, sp, op);
  return 1;
}

template <class P, uint32_t F>
inline int32_t SpecialFlip(int32_t xs, int32_t ys, int32_t w, int32_t h, uint8_t* dst,
                        const uint8_t* src, uint32_t dp, uint32_t, uint32_t key, uint32_t colour,
                        uint32_t opacity) {
  WalkFlip<P>(xs, ys, w, h, dst, src, dp, MakeOp<P, F>(F, key, colour, opacity));
  return 1;
}

// 8-bit: palette indexes as plain bytes. Copy, keyed copy, fill, add and subtract.
template <bool CK, bool AD, bool SB, bool FILL>
inline void Walk8(int32_t xs, int32_t ys, int32_t w, int32_t h, uint8_t* dst, const uint8_t* src,
                  uint32_t dp, uint32_t key, uint32_t colour) {
  const uint8_t k = uint8_t(key), c = uint8_t(colour);
  for (int32_t y = 0; y < h; y++, dst += dp, src += ys) {
    uint8_t* d = dst;
    const uint8_t* s = src;
    for (int32_t x = 0; x < w; x++, d++, s += xs) {
      const uint8_t sv = *s;
      if (CK && sv == k) continue;
      const uint32_t v = FILL ? c : sv;
      if (AD) {
        const uint32_t t = uint32_t(*d) + v;
        *d = uint8_t(t > 255 ? 255 : t);
      } else if (SB) {
        *d = uint8_t(*d > v ? *d - v : 0);
      } else {
        *d = uint8_t(v);
      }
    }
  }
}

// The generic loops of each depth after the table was asked.
inline uint32_t GenericFlags(uint32_t flags) {
  return (flags & 0xC0) ? ((flags & 0x3F) | EBLT_OP) : flags;
}

// The generic loops are kept out of line so that a blit the table serves pays
// only for the look-up, not for the loops' register set-up.
template <class P>
__attribute__((noinline)) int32_t GenericWalk(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src,
                                              uint32_t dp, uint32_t sp, uint32_t key, uint32_t colour,
                                              uint32_t opacity, uint32_t flags);

template <class P>
inline int32_t GenericFast(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src, uint32_t dp,
                           uint32_t sp, uint32_t key, uint32_t colour, uint32_t opacity,
                           const ERDR_BLTFAST* table, uint32_t flags) {
  if (table) {
    ERDR_BLTFAST k = table[flags & 0xFF];
    if (k && k(w, h, dst, src, dp, sp, key, colour, opacity)) return 1;
    if (flags & 0xC0) {
      k = table[(flags & 0x3F) | EBLT_OP];
      if (k && k(w, h, dst, src, dp, sp, key, colour, opacity)) return 1;
    }
  }
  if (h == 0) return 1;
  return GenericWalk<P>(w, h, dst, src, dp, sp, key, colour, opacity, flags);
}

template <class P>
int32_t GenericWalk(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src, uint32_t dp, uint32_t sp,
                    uint32_t key, uint32_t colour, uint32_t opacity, uint32_t flags) {
  const uint32_t f = GenericFlags(flags) & 0xFF;
  const Op<P, FLAGS_RUNTIME> op = MakeOp<P, FLAGS_RUNTIME>(f, key, colour, opacity);
  if (P::kBytes == 2)
    Walk16(w, h, dst, src, dp, sp, op);
  else
    WalkRows<P>(w, h, dst, src, dp, sp, op);
  return 1;
}

template <class P>
inline int32_t GenericFlip(int32_t xs, int32_t ys, int32_t w, int32_t h, uint8_t* dst,
                           const uint8_t* src, uint32_t dp, uint32_t sp, uint32_t key,
                           uint32_t colour, uint32_t opacity, const ERDR_BLTFLIP* table,
                           uint32_t flags) {
  if (table) {
    ERDR_BLTFLIP k = table[flags & 0xFF];
    if (k && k(xs, ys, w, h, dst, src, dp, sp, key, colour, opacity)) return 1;
    if (flags & 0xC0) {
      k = table[(flags & 0x3F) | EBLT_OP];
      if (k && k(xs, ys, w, h, dst, src, dp, sp, key, colour, opacity)) return 1;
    }
  }
  if (h == 0) return 1;
  const uint32_t f = GenericFlags(flags) & 0xFF;
  WalkFlip<P>(xs, ys, w, h, dst, src, dp, MakeOp<P, FLAGS_RUNTIME>(f, key, colour, opacity));
  return 1;
}

// 8-bit generic: one of 16 loops by ck, ad, sb and cf-or-tn.
template <bool CK>
inline void Generic8Pick(int32_t xs, int32_t ys, int32_t w, int32_t h, uint8_t* dst,
                         const uint8_t* src, uint32_t dp, uint32_t key, uint32_t colour,
                         uint32_t f) {
  const bool fill = (f & (EBLT_CF | EBLT_TN)) != 0;
  const bool ad = (f & EBLT_AD) != 0, sb = !ad && (f & EBLT_SB);
  if (ad)
    fill ? Walk8<CK, true, false, true>(xs, ys, w, h, dst, src, dp, key, colour)
         : Walk8<CK, true, false, false>(xs, ys, w, h, dst, src, dp, key, colour);
  else if (sb)
    fill ? Walk8<CK, false, true, true>(xs, ys, w, h, dst, src, dp, key, colour)
         : Walk8<CK, false, true, false>(xs, ys, w, h, dst, src, dp, key, colour);
  else
    fill ? Walk8<CK, false, false, true>(xs, ys, w, h, dst, src, dp, key, colour)
         : Walk8<CK, false, false, false>(xs, ys, w, h, dst, src, dp, key, colour);
}

inline void Generic8(int32_t xs, int32_t ys, int32_t w, int32_t h, uint8_t* dst, const uint8_t* src,
                     uint32_t dp, uint32_t key, uint32_t colour, uint32_t f) {
  if (f & EBLT_CK)
    Generic8Pick<true>(xs, ys, w, h, dst, src, dp, key, colour, f);
  else
    Generic8Pick<false>(xs, ys, w, h, dst, src, dp, key, colour, f);
}

// 8-bit specialised kernels by what they do.
enum class K8 { Copy, Fill, Add, Sub };
template <bool CK, K8 WHAT>
inline int32_t Special8Fast(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src, uint32_t dp,
                         uint32_t sp, uint32_t key, uint32_t colour, uint32_t) {
  Walk8<CK, WHAT == K8::Add, WHAT == K8::Sub, WHAT == K8::Fill>(1, int32_t(sp), w, h, dst, src, dp,
                                                                 key, colour);
  return 1;
}
template <bool CK>
inline int32_t Special8Flip(int32_t xs, int32_t ys, int32_t w, int32_t h, uint8_t* dst,
                         const uint8_t* src, uint32_t dp, uint32_t, uint32_t key, uint32_t colour,
                         uint32_t) {
  Walk8<CK, false, false, false>(xs, ys, w, h, dst, src, dp, key, colour);
  return 1;
}

}  // namespace erdr

#endif
