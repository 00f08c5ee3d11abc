// Differential suite: the generic blit loops against an independent per-channel
// reference for every flag byte, depth, small width and alignment, with canaries
// around the block; the table kernels against the generic loops and the shift
// rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "display/erdr_kernel.h"

namespace {

// A channel layout: bit position and width of blue, green, red, and the bits above.
struct Layout {
  int bits;  // 8, 12, 16, 32
  int bytes;
  int pos[3], width[3];
  uint32_t top;  // bits above the channels
  uint32_t half;
};

const Layout kL12 = {12, 2, {0, 4, 8}, {4, 4, 4}, 0xF000, 0x777};
const Layout kL16 = {16, 2, {0, 5, 11}, {5, 6, 5}, 0, 0x7BEF};
const Layout kL32 = {32, 4, {0, 8, 16}, {8, 8, 8}, 0xFF000000u, 0x7F7F7F};
const Layout kL8 = {8, 1, {0, 0, 0}, {8, 0, 0}, 0, 0};

int Ch(const Layout& L, uint32_t v, int c) { return int((v >> L.pos[c]) & ((1u << L.width[c]) - 1)); }
uint32_t Pack(const Layout& L, const int ch[3]) {
  uint32_t v = 0;
  for (int c = 0; c < 3; c++) v |= uint32_t(ch[c]) << L.pos[c];
  return v;
}
int Kbits(const Layout& L) { return L.bits == 12 ? 4 : L.bits == 16 ? 5 : 8; }
int Weight(const Layout& L, uint32_t opacity) {
  return L.bits == 12 ? int(opacity >> 4) : L.bits == 16 ? int(opacity >> 3) : int(opacity);
}

// The per-pixel rule written channel by channel. Returns false when the pixel is
// left alone.
bool RefPixel(const Layout& L, uint32_t f, uint32_t s, uint32_t d, uint32_t key, uint32_t colour,
              uint32_t opacity, uint32_t* out) {
  if (f & 0xC0) f = (f & 0x3F) | 0x08;
  if ((f & 1) && s == key) return false;
  if (L.bits == 8) {
    int x = (f & 6) ? int(colour & 0xFF) : int(s & 0xFF);
    int dv = int(d & 0xFF);
    if (f & 0x10) x = std::min(dv + x, 255);
    else if (f & 0x20) x = std::max(dv - x, 0);
    *out = uint32_t(x);
    return true;
  }
  const int k = Kbits(L), a = Weight(L, opacity);
  int v[3], dc[3], r[3];
  for (int c = 0; c < 3; c++) dc[c] = Ch(L, d, c);
  bool plain = false;
  if ((f & 6) == 6) {
    int m = 0;
    for (int c = 0; c < 3; c++) {
      int sc = Ch(L, s, c);
      if (L.bits == 16 && c == 1) sc >>= 1;
      m = std::max(m, sc);
    }
    for (int c = 0; c < 3; c++) v[c] = (Ch(L, colour, c) * m) >> k;
  } else if (f & 2) {
    for (int c = 0; c < 3; c++) v[c] = Ch(L, colour, c);
  } else if (f & 4) {
    for (int c = 0; c < 3; c++) v[c] = Ch(L, colour, c) + (Ch(L, s, c) >> 1);
  } else {
    for (int c = 0; c < 3; c++) v[c] = Ch(L, s, c);
    plain = true;
  }
  if (f & 0x30) {
    for (int c = 0; c < 3; c++) {
      int x = (f & 8) ? (v[c] * a) >> k : v[c];
      int mx = (1 << L.width[c]) - 1;
      r[c] = (f & 0x10) ? std::min(dc[c] + x, mx) : std::max(dc[c] - x, 0);
    }
    *out = Pack(L, r);
    return true;
  }
  if (f & 8) {
    for (int c = 0; c < 3; c++) r[c] = (v[c] * a + dc[c] * ((1 << k) - a)) >> k;
    *out = Pack(L, r);
    return true;
  }
  *out = plain ? s : Pack(L, v);
  return true;
}

// The shift rules written channel by channel.
uint32_t RefShift(const Layout& L, bool high, uint32_t s, uint32_t d, int k) {
  int r[3];
  for (int c = 0; c < 3; c++) {
    const int sc = Ch(L, s, c), dc = Ch(L, d, c);
    r[c] = high ? sc - (sc >> k) + (dc >> k) : dc - (dc >> k) + (sc >> k);
  }
  return Pack(L, r) | ((high ? s : d) & L.top);
}

uint32_t LoadPx(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  std::memcpy(&v, p, size_t(bytes));
  return v;
}
void StorePx(uint8_t* p, int bytes, uint32_t v) { std::memcpy(p, &v, size_t(bytes)); }

// A block test bed: source and destination buffers with canary margins.
struct Bed {
  const Layout& L;
  int w, h, soff, doff;
  uint32_t pitchPx;
  std::vector<uint8_t> src, dst, expect;
  uint32_t key;
  Bed(const Layout& l, int w_, int h_, int so, int dof, std::mt19937& rng)
      : L(l), w(w_), h(h_), soff(so), doff(dof) {
    pitchPx = uint32_t((w + 2 + 4 + 3) & ~3);
    const size_t bytes = size_t(pitchPx) * size_t(h + 2) * size_t(L.bytes) + 16;
    src.resize(bytes);
    dst.resize(bytes);
    for (auto& b : src) b = uint8_t(rng());
    for (auto& b : dst) b = uint8_t(rng());
    key = LoadPx(&src[SrcOff(0, 0)], L.bytes);
    // About a quarter of the source pixels are the key.
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++)
        if (rng() % 4 == 0) StorePx(&src[SrcOff(x, y)], L.bytes, key);
    expect = dst;
  }
  size_t SrcOff(int x, int y) const {
    return size_t((uint32_t(y + 1) * pitchPx + uint32_t(x + 2 + soff)) * uint32_t(L.bytes));
  }
  size_t DstOff(int x, int y) const {
    return size_t((uint32_t(y + 1) * pitchPx + uint32_t(x + 2 + doff)) * uint32_t(L.bytes));
  }
  uint32_t Pitch() const { return pitchPx * uint32_t(L.bytes); }
};

using FastFn = int32_t (*)(int32_t, int32_t, uint8_t*, const uint8_t*, uint32_t, uint32_t, uint32_t,
                           uint32_t, uint32_t, const ERDR_BLTFAST*, uint32_t);

struct Depth {
  const Layout* L;
  FastFn fast;
  void (*fill)(ERDR_BLTFAST*);
};
const Depth kDepths[] = {{&kL8, ERdrBltFast8, ERender_Get_BltFast8},
                         {&kL12, ERdrBltFast12, ERender_Get_BltFast12},
                         {&kL16, ERdrBltFast16, ERender_Get_BltFast16},
                         {&kL32, ERdrBltFast32, ERender_Get_BltFast32}};

uint32_t CallerColour(const Layout& L, uint32_t flags, uint32_t colour) {
  uint32_t mask = L.bits == 8 ? 0xFF : L.bits == 12 ? 0xFFF : L.bits == 16 ? 0xFFFF : 0xFFFFFF;
  colour &= mask;
  // tn alone gets a colour the front has already halved.
  if ((flags & 6) == 4 && L.bits != 8) colour = (colour >> 1) & L.half;
  return colour;
}

TEST(KernelDiff, GenericLoopsEqualPerChannelReferenceForEveryFlagByte) {
  std::mt19937 rng(1234);
  const int widths[] = {0, 1, 2, 3, 4, 5, 8, 33};
  int cases = 0;
  for (const Depth& D : kDepths) {
    const Layout& L = *D.L;
    for (uint32_t flags = 0; flags < 256; flags++) {
      for (int w : widths) {
        for (int so = 0; so < 2; so++) {
          for (int dof = 0; dof < 2; dof++) {
            Bed b(L, w, 3, so, dof, rng);
            const uint32_t colour = CallerColour(L, flags, rng());
            const uint32_t opacity = 1 + rng() % 254;
            for (int y = 0; y < b.h; y++)
              for (int x = 0; x < w; x++) {
                uint32_t out;
                const uint32_t s = LoadPx(&b.src[b.SrcOff(x, y)], L.bytes);
                const uint32_t d = LoadPx(&b.dst[b.DstOff(x, y)], L.bytes);
                if (RefPixel(L, flags, s, d, b.key, colour, opacity, &out))
                  StorePx(&b.expect[b.DstOff(x, y)], L.bytes, out);
              }
            ASSERT_EQ(D.fast(w, b.h, &b.dst[b.DstOff(0, 0)], &b.src[b.SrcOff(0, 0)], b.Pitch(),
                             b.Pitch(), b.key, colour, opacity, nullptr, flags),
                      1);
            ASSERT_EQ(b.dst, b.expect) << "depth " << L.bits << " flags " << flags << " w " << w
                                       << " src off " << so << " dst off " << dof;
            cases++;
          }
        }
      }
    }
  }
  EXPECT_EQ(cases, 4 * 256 * 8 * 4);
}

TEST(KernelDiff, HeightZeroTouchesNothing) {
  std::mt19937 rng(5);
  for (const Depth& D : kDepths) {
    Bed b(*D.L, 5, 2, 0, 0, rng);
    D.fast(5, 0, &b.dst[b.DstOff(0, 0)], &b.src[b.SrcOff(0, 0)], b.Pitch(), b.Pitch(), b.key, 0, 100,
           nullptr, 0x3F);
    EXPECT_EQ(b.dst, b.expect);
  }
}

// Which table slots the shift rules replace, and their shift for an opacity.
int ShiftFor(int bits, bool high, uint32_t o) {
  if (high) {
    if (o == 128) return 1;
    if (o == 192) return 2;
    if (o == 224) return 3;
    if (o == 240 && bits != 12) return 4;
  } else {
    if (o == 64) return 2;
    if (o == 32) return 3;
    if (o == 16 && bits != 12) return 4;
  }
  return 0;
}

TEST(KernelDiff, TableKernelsEqualGenericOrFollowTheShiftRules) {
  std::mt19937 rng(99);
  const uint32_t slots[] = {1, 3, 4, 5, 8, 9, 16, 17, 32, 33, 64, 65, 128, 129};
  const uint32_t opacities[] = {16, 32, 64, 100, 128, 192, 200, 224, 240};
  // Past 8 pixels the keyed copy goes by groups of eight with an overlapping
  // last group: every group count and a tail of each kind.
  const int widths[] = {0, 1, 2, 3, 4, 5, 8, 12, 17, 24, 31, 33, 47};
  for (const Depth& D : kDepths) {
    const Layout& L = *D.L;
    ERDR_KERNELTABLE table{};
    D.fill(table.fast);
    // Only the listed slots are filled; 130 and beyond are never written.
    for (uint32_t i = 0; i < 256; i++) {
      const bool listed = std::find(std::begin(slots), std::end(slots), i) != std::end(slots);
      EXPECT_EQ(table.fast[i] != nullptr, listed) << L.bits << " slot " << i;
    }
    for (uint32_t slot : slots)
      for (uint32_t o : opacities)
        for (int w : widths)
          for (int so = 0; so < 2; so++)
            for (int dof = 0; dof < 2; dof++) {
              Bed b(L, w, 3, so, dof, rng);
              const uint32_t colour = CallerColour(L, slot, rng());
              const bool shift = (slot & 0xC0) != 0;
              for (int y = 0; y < b.h; y++)
                for (int x = 0; x < w; x++) {
                  const uint32_t s = LoadPx(&b.src[b.SrcOff(x, y)], L.bytes);
                  const uint32_t d = LoadPx(&b.dst[b.DstOff(x, y)], L.bytes);
                  if ((slot & 1) && s == b.key) continue;
                  uint32_t out = 0;
                  if (L.bits == 8) {
                    // Indexes: tn, op, oh, ol copy; ck_cf fills; ad and sb saturate.
                    const uint32_t f = slot & 0x3E;
                    if (f == 2) out = colour & 0xFF;
                    else if (f == 0x10) out = std::min<uint32_t>(d + s, 255);
                    else if (f == 0x20) out = d > s ? d - s : 0;
                    else out = s;
                  } else if (shift) {
                    const int k = ShiftFor(L.bits, slot & 0x40, o);
                    out = k ? RefShift(L, slot & 0x40, s, d, k) : ((slot & 0x40) ? s : d);
                  } else {
                    RefPixel(L, slot, s, d, b.key, colour, o, &out);
                  }
                  StorePx(&b.expect[b.DstOff(x, y)], L.bytes, out);
                }
              ASSERT_EQ(table.fast[slot](w, b.h, &b.dst[b.DstOff(0, 0)], &b.src[b.SrcOff(0, 0)],
                                         b.Pitch(), b.Pitch(), b.key, colour, o),
                        1);
              ASSERT_EQ(b.dst, b.expect) << "depth " << L.bits << " slot " << slot << " opacity "
                                         << o << " w " << w << " so " << so << " do " << dof;
            }
  }
}

TEST(KernelDiff, ShiftRulesDifferFromTheBlendOnlyInTheLastBit) {
  // oh at 128 on 16 bits: blue 1 over 0 stays 1; the generic blend gives 0.
  ERDR_KERNELTABLE table{};
  ERender_Get_BltFast16(table.fast);
  uint16_t s = 1, d1 = 0, d2 = 0;
  ERdrBltFast16(1, 1, reinterpret_cast<uint8_t*>(&d1), reinterpret_cast<uint8_t*>(&s), 4, 4, 0xFFFF,
                0, 128, table.fast, 0x40);
  ERdrBltFast16(1, 1, reinterpret_cast<uint8_t*>(&d2), reinterpret_cast<uint8_t*>(&s), 4, 4, 0xFFFF,
                0, 128, nullptr, 0x40);
  EXPECT_EQ(d1, 1);
  EXPECT_EQ(d2, 0);
  // Over all 5-bit pairs the two never differ by more than one step per channel.
  for (int k = 1; k <= 4; k++) {
    const uint32_t o = k == 1 ? 128 : k == 2 ? 192 : k == 3 ? 224 : 240;
    for (int sv = 0; sv < 32; sv++)
      for (int dv = 0; dv < 32; dv++) {
        const int shiftRule = sv - (sv >> k) + (dv >> k);
        const int blend = (sv * int(o >> 3) + dv * (32 - int(o >> 3))) >> 5;
        EXPECT_LE(std::abs(shiftRule - blend), 1) << sv << " " << dv << " k " << k;
      }
  }
}

TEST(KernelDiff, DispatchFallsBackToTheOpKernelAndToGenericOp) {
  // With only slot 9 in the table, flag byte 0x41 runs the ck_op kernel.
  static int called;
  called = 0;
  ERDR_KERNELTABLE table{};
  table.fast[9] = [](int32_t, int32_t, uint8_t*, const uint8_t*, uint32_t, uint32_t, uint32_t,
                     uint32_t, uint32_t) -> int32_t {
    called++;
    return 1;
  };
  uint16_t s = 0x1234, d = 0;
  ERdrBltFast16(1, 1, reinterpret_cast<uint8_t*>(&d), reinterpret_cast<uint8_t*>(&s), 4, 4, 0, 0,
                128, table.fast, 0x41);
  EXPECT_EQ(called, 1);
  EXPECT_EQ(d, 0);
  // A declining kernel hands the block to the generic loop.
  table.fast[9] = [](int32_t, int32_t, uint8_t*, const uint8_t*, uint32_t, uint32_t, uint32_t,
                     uint32_t, uint32_t) -> int32_t { return 0; };
  ERdrBltFast16(1, 1, reinterpret_cast<uint8_t*>(&d), reinterpret_cast<uint8_t*>(&s), 4, 4, 0, 0,
                128, table.fast, 0x41);
  uint32_t expect;
  RefPixel(kL16, 0x09, s, 0, 0, 0, 128, &expect);
  EXPECT_EQ(d, expect);
}

TEST(KernelDiff, ColouriseWhiteByBrightestSixteen) {
  uint16_t s = 16 << 11, d = 0;  // red 16 of 31 is the brightest channel
  ERdrBltFast16(1, 1, reinterpret_cast<uint8_t*>(&d), reinterpret_cast<uint8_t*>(&s), 4, 4, 0xFFFF,
                0xFFFF, 0, nullptr, 0x06);
  EXPECT_EQ(d & 0x1F, 15);
  EXPECT_EQ((d >> 5) & 0x3F, 31);
  EXPECT_EQ(d >> 11, 15);
}

TEST(KernelDiff, EightBitTableAndGenericDiffer) {
  ERDR_KERNELTABLE table{};
  ERender_Get_BltFast8(table.fast);
  for (uint32_t flags : {0x04u, 0x08u, 0x40u, 0x80u}) {
    uint8_t s[4] = {7, 0, 0, 0}, d[4] = {1, 0, 0, 0};
    ERdrBltFast8(1, 1, d, s, 4, 4, 0xFF, 42, 100, table.fast, flags);
    EXPECT_EQ(d[0], 7) << flags;  // copies
  }
  uint8_t s[4] = {7, 0, 0, 0}, d[4] = {1, 0, 0, 0};
  ERdrBltFast8(1, 1, d, s, 4, 4, 0xFF, 42, 100, nullptr, 0x04);
  EXPECT_EQ(d[0], 42);  // no table: tn fills with the colour index
  ERdrBltFast8(1, 1, d, s, 4, 4, 0xFF, 42, 100, nullptr, 0x08);
  EXPECT_EQ(d[0], 7);  // op ignored
}

// Flip kernels: all eight mirror and quarter-turn walks against the reference.
TEST(KernelDiff, FlipKernelsWalkTheStepsForEveryFlagByte) {
  using FlipFn = int32_t (*)(int32_t, int32_t, int32_t, int32_t, uint8_t*, const uint8_t*, uint32_t,
                             uint32_t, uint32_t, uint32_t, uint32_t, const ERDR_BLTFLIP*, uint32_t);
  struct FD {
    const Layout* L;
    FlipFn fn;
    void (*fill)(ERDR_BLTFLIP*);
  } depths[] = {{&kL8, ERdrBltFlip8, ERender_Get_BltFlip8},
                {&kL12, ERdrBltFlip12, ERender_Get_BltFlip12},
                {&kL16, ERdrBltFlip16, ERender_Get_BltFlip16},
                {&kL32, ERdrBltFlip32, ERender_Get_BltFlip32}};
  std::mt19937 rng(77);
  for (const FD& D : depths) {
    const Layout& L = *D.L;
    ERDR_KERNELTABLE table{};
    D.fill(table.flip);
    for (int i = 2; i < 256; i++) EXPECT_EQ(table.flip[i], nullptr);
    for (uint32_t flags = 0; flags < 256; flags += (flags < 2 ? 1 : 7)) {
      for (int walk = 0; walk < 8; walk++) {
        const int sw = 5, sh = 3;  // source block
        Bed b(L, 6, 6, 0, walk & 1, rng);
        const bool turn = walk & 4;
        const int W = turn ? sh : sw, H = turn ? sw : sh;
        // Source start and steps for the walk (pixels).
        const int P = int(b.pitchPx);
        int xs = turn ? P : 1, ys = turn ? 1 : P;
        int sx0 = 0, sy0 = 0;
        if (walk & 2) { xs = -xs; (turn ? sy0 : sx0) = (turn ? sh : sw) - 1; }
        if (walk & 1) { ys = -ys; (turn ? sx0 : sy0) = (turn ? sw : sh) - 1; }
        const uint32_t colour = CallerColour(L, flags, rng());
        const uint32_t o = 1 + rng() % 254;
        for (int y = 0; y < H; y++)
          for (int x = 0; x < W; x++) {
            const int lin = int(b.SrcOff(sx0, sy0) / size_t(L.bytes)) + y * ys + x * xs;
            const uint32_t s = LoadPx(&b.src[size_t(lin) * size_t(L.bytes)], L.bytes);
            const uint32_t d = LoadPx(&b.dst[b.DstOff(x, y)], L.bytes);
            uint32_t out;
            if (RefPixel(L, flags, s, d, b.key, colour, o, &out))
              StorePx(&b.expect[b.DstOff(x, y)], L.bytes, out);
          }
        std::vector<uint8_t> viaTable = b.dst;
        D.fn(xs, ys, W, H, &b.dst[b.DstOff(0, 0)], &b.src[b.SrcOff(sx0, sy0)], b.Pitch(), b.Pitch(),
             b.key, colour, o, nullptr, flags);
        ASSERT_EQ(b.dst, b.expect) << L.bits << " flags " << flags << " walk " << walk;
        if (flags < 2) {
          D.fn(xs, ys, W, H, &viaTable[b.DstOff(0, 0)], &b.src[b.SrcOff(sx0, sy0)], b.Pitch(),
               b.Pitch(), b.key, colour, o, table.flip, flags);
          ASSERT_EQ(viaTable, b.expect) << L.bits << " table flags " << flags;
        }
      }
    }
  }
}

}  // namespace
