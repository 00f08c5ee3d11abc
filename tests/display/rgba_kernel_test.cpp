// Differential suite of the RGBA kernels: the four kernels against an independent
// channel-by-channel reference for every destination format, every alpha (or
// kept weight), every flag byte and a spread of opacities, with canaries around
// the block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "display/erdr_kernel.h"
#include "display/erdr_rgba.h"
#include "display/erdr_rgba_impl.h"

namespace {

struct Layout {
  uint8_t format;
  int bytes;
  int pos[3], width[3];
  int k;  // alpha bits used
};
const Layout kLayouts[] = {
    {1, 1, {0, 0, 0}, {8, 0, 0}, 8},  {2, 2, {0, 4, 8}, {4, 4, 4}, 4},
    {3, 2, {0, 5, 10}, {5, 5, 5}, 5}, {4, 2, {0, 5, 11}, {5, 6, 5}, 6},
    {5, 3, {0, 8, 16}, {8, 8, 8}, 8}, {6, 4, {0, 8, 16}, {8, 8, 8}, 8},
};

int Ch(const Layout& L, uint32_t v, int c) {
  return int((v >> L.pos[c]) & ((1u << L.width[c]) - 1));
}
int Max(const Layout& L, int c) { return (1 << L.width[c]) - 1; }
uint32_t Pack(const Layout& L, const int ch[3]) {
  uint32_t v = 0;
  for (int c = 0; c < 3; c++) v |= uint32_t(ch[c]) << L.pos[c];
  return v;
}
uint32_t LoadPx(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  std::memcpy(&v, p, size_t(bytes));
  return v;
}
void StorePx(uint8_t* p, int bytes, uint32_t v) { std::memcpy(p, &v, size_t(bytes)); }

enum Kind { kPlain, kPlus, kGeneric, kGenericPlus };

// One pixel by the rules, channel by channel; false leaves the destination.
bool Ref(const Layout& L, Kind kind, uint32_t f, uint32_t opacity, uint32_t colour, uint32_t w,
         uint32_t d, uint32_t* out) {
  const uint32_t top = w >> 24;
  const bool plus = kind == kPlus || kind == kGenericPlus;
  if (L.format == 1) {
    if (plus ? top == 255 : top == 0) return false;
    *out = w & 0xFF;
    return true;
  }
  const int k = L.k, N = 1 << k;
  int c[3], dc[3], r[3];
  for (int i = 0; i < 3; i++) {
    c[i] = Ch(L, w, i);
    dc[i] = Ch(L, d, i);
  }
  if (kind == kPlain) {
    if (top == 0) return false;
    if (top == 255) {
      *out = Pack(L, c);
      return true;
    }
    const int a = L.k == 8 ? int(top) : int(top >> (8 - k));
    if (a == 0) return false;  // leaves the destination as it was
    for (int i = 0; i < 3; i++) r[i] = (c[i] * a + dc[i] * (N - a)) >> k;
    *out = Pack(L, r);
    return true;
  }
  if (kind == kPlus) {
    if (top == 255) return false;
    if (top == 0) {
      *out = Pack(L, c);
      return true;
    }
    const int t = int(top >> (8 - k));
    for (int i = 0; i < 3; i++) r[i] = (c[i] + ((dc[i] * t) >> k)) & Max(L, i);
    *out = Pack(L, r);
    return true;
  }
  int a;
  if (kind == kGeneric) {
    a = int(top >> (8 - k));
  } else {
    a = (N - 1) - int(top >> (8 - k));
    if (a == 0) return false;
    for (int i = 0; i < 3; i++) c[i] = int(unsigned(c[i] * N) / unsigned(a + 1)) & Max(L, i);
  }
  if (f & 0x08) a = int((opacity * uint32_t(a)) >> 8);
  if (a == 0) return false;
  int v[3];
  if ((f & 6) == 6) {
    int m = 0;
    for (int i = 0; i < 3; i++) m = std::max(m, (L.format == 4 && i == 1) ? c[i] >> 1 : c[i]);
    const int shift = L.format == 2 ? 4 : L.k == 8 ? 8 : 5;
    for (int i = 0; i < 3; i++) v[i] = (Ch(L, colour, i) * m) >> shift;
  } else if (f & 2) {
    for (int i = 0; i < 3; i++) v[i] = Ch(L, colour, i);
  } else if (f & 4) {
    for (int i = 0; i < 3; i++) v[i] = Ch(L, colour, i) + (c[i] >> 1);
  } else {
    for (int i = 0; i < 3; i++) v[i] = c[i];
  }
  if (f & 0x30) {
    for (int i = 0; i < 3; i++) {
      const int x = (v[i] * a) >> k;
      r[i] = (f & 0x10) ? std::min(dc[i] + x, Max(L, i)) : std::max(dc[i] - x, 0);
    }
  } else if (a <= N - 2) {
    for (int i = 0; i < 3; i++) r[i] = (v[i] * a + dc[i] * (N - a)) >> k;
  } else {
    for (int i = 0; i < 3; i++) r[i] = v[i];
  }
  *out = Pack(L, r);
  return true;
}

// A random native colour of the layout (no bits above the channels).
uint32_t RandomColour(const Layout& L, std::mt19937& rng) {
  if (L.format == 1) return rng() & 0xFF;
  int ch[3];
  for (int i = 0; i < 3; i++) ch[i] = int(rng() % uint32_t(Max(L, i) + 1));
  return Pack(L, ch);
}

// A premultiplied word: 8-bit channels times alpha >> 8, then narrowed.
uint32_t PremultipliedWord(const Layout& L, uint32_t alpha, std::mt19937& rng) {
  if (L.format == 1) return (255 - alpha) << 24 | (rng() & 0xFF);
  int ch[3];
  for (int i = 0; i < 3; i++) ch[i] = int(((rng() & 0xFF) * alpha >> 8) >> (8 - L.width[i]));
  return (255 - alpha) << 24 | Pack(L, ch);
}

struct Block {
  static constexpr int kW = 32, kH = 8;  // 256 pixels: one of each top byte
  static constexpr uint32_t kSrcPitch = 40, kDstPitch = 44;
  std::vector<uint32_t> src = std::vector<uint32_t>(kSrcPitch * 12);
  std::vector<uint8_t> dst;
  tagRECT rect = {3, 2, 3 + kW, 2 + kH};
  int x = 5, y = 1;
};

void Sweep(Kind kind) {
  std::mt19937 rng(1234 + kind);
  const uint32_t opacities[] = {0, 1, 8, 16, 100, 128, 200, 248, 254, 255};
  for (const Layout& L : kLayouts) {
    SCOPED_TRACE(int(L.format));
    const bool generic = kind == kGeneric || kind == kGenericPlus;
    const bool plus = kind == kPlus || kind == kGenericPlus;
    for (uint32_t f = 0; f < (generic ? 256u : 1u); f++) {
      if ((f & 0x30) == 0x30) continue;  // the front drops ad with sb
      for (uint32_t opacity : opacities) {
        if (!generic && opacity) break;
        Block b;
        b.dst.resize(Block::kDstPitch * 12 * size_t(L.bytes));
        for (auto& byte : b.dst) byte = uint8_t(rng());
        for (uint32_t& w : b.src) w = rng();
        for (int i = 0; i < Block::kW * Block::kH; i++) {
          const uint32_t top = uint32_t(i);
          uint32_t& w = b.src[uint32_t(b.rect.top + i / Block::kW) * Block::kSrcPitch +
                              uint32_t(b.rect.left + i % Block::kW)];
          w = plus ? PremultipliedWord(L, 255 - top, rng) : top << 24 | RandomColour(L, rng);
        }
        // The front hands tn alone a halved colour.
        uint32_t colour = RandomColour(L, rng);
        if ((f & 6) == 4 && L.format != 1) {
          int ch[3];
          for (int i = 0; i < 3; i++) ch[i] = Ch(L, colour, i) >> 1;
          colour = Pack(L, ch);
        }
        // Every row, or the block from its third row on.
        const int firstRow = b.rect.top + int(rng() % 2) * 2;
        std::vector<uint8_t> want = b.dst;
        for (int row = firstRow; row < b.rect.bottom; row++)
          for (int col = b.rect.left; col < b.rect.right; col++) {
            const uint32_t w = b.src[uint32_t(row) * Block::kSrcPitch + uint32_t(col)];
            uint8_t* p = &want[((uint32_t(b.y + row - firstRow) * Block::kDstPitch) +
                                uint32_t(b.x + col - b.rect.left)) *
                               uint32_t(L.bytes)];
            uint32_t out;
            if (Ref(L, kind, f, opacity, colour, w, LoadPx(p, L.bytes), &out))
              StorePx(p, L.bytes, out);
          }
        switch (kind) {
          case kPlain:
            ExBltRGBA(b.x, b.y, firstRow, &b.rect, b.dst.data(), b.src.data(), Block::kDstPitch,
                      Block::kSrcPitch, L.format);
            break;
          case kPlus:
            ExBltRGBAPlus(b.x, b.y, firstRow, &b.rect, b.dst.data(), b.src.data(), Block::kDstPitch,
                          Block::kSrcPitch, L.format);
            break;
          case kGeneric:
            ExBltRGBAGeneric(b.x, b.y, firstRow, &b.rect, b.dst.data(), b.src.data(),
                             Block::kDstPitch, Block::kSrcPitch, L.format, int32_t(f), opacity,
                             colour);
            break;
          case kGenericPlus:
            ExBltRGBAGenericPlus(b.x, b.y, firstRow, &b.rect, b.dst.data(), b.src.data(),
                                 Block::kDstPitch, Block::kSrcPitch, L.format, int32_t(f), opacity,
                                 colour);
            break;
        }
        if (b.dst != want) {
          size_t at = 0;
          while (b.dst[at] == want[at]) at++;
          const size_t px = at / size_t(L.bytes) * size_t(L.bytes);
          FAIL() << "flags " << f << " opacity " << opacity << " first difference at byte " << at
                 << std::hex << ": got " << LoadPx(&b.dst[px], L.bytes) << " want "
                 << LoadPx(&want[px], L.bytes);
        }
      }
    }
  }
}

TEST(RgbaKernels, PlainAgainstReference) { Sweep(kPlain); }
TEST(RgbaKernels, PremultipliedAgainstReference) { Sweep(kPlus); }
TEST(RgbaKernels, GenericAgainstReferenceForEveryFlagByte) { Sweep(kGeneric); }
TEST(RgbaKernels, GenericPremultipliedAgainstReferenceForEveryFlagByte) { Sweep(kGenericPlus); }

// The division that undoes premultiplying runs by reciprocals; exact over its range.
TEST(RgbaKernels, ReciprocalDivisionIsExact) {
  for (uint32_t d = 1; d <= 256; d++)
    for (uint32_t x = 0; x < 65536; x++)
      if (erdr_rgba::DivSmall(x, d) != x / d) FAIL() << x << " / " << d;
}

// The cases named for these kernels, one pixel each on a 5:6:5 destination.
TEST(RgbaKernels, NamedCases) {
  struct Case {
    Kind kind;
    uint32_t word, flags, opacity;
    uint16_t dst, want;
  } cases[] = {
      {kPlain, 0x03FFFFFF, 0, 0, 0x0000, 0x0000},         // alpha 3: a = 0, unchanged
      {kPlain, 0x04FFFF, 0, 0, 0x1234, 0x1234},           // alpha 0 never writes
      {kPlain, 0x04000000, 0, 0, 0xFFFF, 0xF7DE},         // alpha 4: a = 1 of 64 darkens white
      {kPlain, 0xFF000000, 0, 0, 0xFFFF, 0x0000},         // alpha 255 copies black
      {kGeneric, 0x07FFFFFF, 0x08, 128, 0x0000, 0x0000},  // op 128 halves a = 1 to 0
      {kGeneric, 0x08FFFFFF, 0x08, 128, 0x0000, 0x0000},  // a = 2 halved to 1: 31 >> 6 rounds away
      {kGeneric, 0xFFF800, 0x08, 128, 0x0000, 0x0000},    // alpha 0
      {kGeneric, 0xFF00F800, 0x08, 128, 0x0000, 0x7800},  // a = 31 of 64: red 31 * 31 >> 6
      {kPlus, 0x00001234, 0, 0, 0xFFFF, 0x1234},          // top byte 0 copies
      {kPlus, 0xFF001234, 0, 0, 0xFFFF, 0xFFFF},          // top byte 255 draws nothing
  };
  for (const Case& c : cases) {
    uint8_t d[2] = {uint8_t(c.dst), uint8_t(c.dst >> 8)};
    const uint32_t src = c.word;
    const tagRECT r = {0, 0, 1, 1};
    switch (c.kind) {
      case kPlain: ExBltRGBA(0, 0, 0, &r, d, &src, 4, 4, 4); break;
      case kPlus: ExBltRGBAPlus(0, 0, 0, &r, d, &src, 4, 4, 4); break;
      default:
        ExBltRGBAGeneric(0, 0, 0, &r, d, &src, 4, 4, 4, int32_t(c.flags), c.opacity, 0);
        break;
    }
    EXPECT_EQ(uint32_t(d[0] | d[1] << 8), c.want) << std::hex << c.word;
  }
}

}  // namespace
