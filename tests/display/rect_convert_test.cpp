// Rectangle fills (opacity, shift paths, additive, subtractive) and the colour
// conversion kernel against per-channel references.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "display/erdr_kernel.h"
#include "display/esurf_2d.h"

namespace {

struct Fmt {
  uint8_t format, bpp;
  int pos[3], width[3];
};
const Fmt kFmts[] = {{2, 16, {0, 4, 8}, {4, 4, 4}},   {3, 16, {0, 5, 10}, {5, 5, 5}},
                     {4, 16, {0, 5, 11}, {5, 6, 5}},  {5, 24, {0, 8, 16}, {8, 8, 8}},
                     {6, 32, {0, 8, 16}, {8, 8, 8}}};

uint32_t Load(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  std::memcpy(&v, p, size_t(bytes));
  return v;
}
void Store(uint8_t* p, int bytes, uint32_t v) { std::memcpy(p, &v, size_t(bytes)); }
int Ch(const Fmt& f, uint32_t v, int c) { return int((v >> f.pos[c]) & ((1u << f.width[c]) - 1)); }

enum Kind { kOpac, kAlpha, kSub };

// Expected pixel of each fill, channel by channel.
uint32_t RefFill(const Fmt& f, Kind kind, uint32_t d, uint32_t c, uint32_t o) {
  uint32_t out = 0;
  const int shiftK = o == 128 ? 1 : (o == 64 || o == 192) ? 2 : (o == 32 || o == 224) ? 3
                                   : (o == 16 || o == 240) ? 4 : 0;
  for (int i = 0; i < 3; i++) {
    const int dc = Ch(f, d, i), cc = Ch(f, c, i), mx = (1 << f.width[i]) - 1;
    int r;
    if (kind == kAlpha) {
      r = std::min(dc + cc, mx);
    } else if (kind == kSub) {
      r = std::max(dc - cc, 0);
    } else if (shiftK) {
      r = o >= 128 ? cc + (dc >> shiftK) : dc + cc - (dc >> shiftK);
    } else {
      int w = int(256 - o), sh = 8;
      if (f.bpp == 16) {
        w >>= f.format == 2 ? 4 : 3;
        sh = f.format == 2 ? 4 : 5;
      }
      r = cc + ((dc * w) >> sh);
    }
    out |= uint32_t(r) << f.pos[i];
  }
  // Bits above the channels survive only the low shift rule (d + c - ...).
  uint32_t chans = 0;
  for (int i = 0; i < 3; i++) chans |= ((1u << f.width[i]) - 1) << f.pos[i];
  const uint32_t all = f.bpp == 32 ? 0xFFFFFFFFu : (1u << f.bpp) - 1;
  if (kind == kOpac && shiftK && o < 128) out |= d & all & ~chans;
  return out;
}

TEST(RectKernels, EveryFormatAndEdgeAgainstReference) {
  std::mt19937 rng(3);
  const uint32_t opacities[] = {16, 32, 64, 100, 128, 192, 224, 240, 7, 254};
  for (const Fmt& f : kFmts) {
    const int B = f.bpp / 8;
    for (Kind kind : {kOpac, kAlpha, kSub})
      for (uint32_t o : opacities)
        for (int left = 0; left < 3; left++)
          for (int right = 5; right < 8; right++) {
            const uint32_t pitch = 12, rows = 4;
            std::vector<uint8_t> buf(pitch * rows * uint32_t(B));
            for (auto& b : buf) b = uint8_t(rng());
            std::vector<uint8_t> expect = buf;
            // A colour as the fill hands it over: 8-bit channels scaled by the
            // opacity, then converted.
            uint32_t c8 = rng() & 0xFFFFFF;
            if (kind == kOpac)
              c8 = (((c8 & 0xFF) * o) >> 8) | (((((c8 >> 8) & 0xFF) * o) >> 8) << 8) |
                   (((((c8 >> 16) & 0xFF) * o) >> 8) << 16);
            const uint32_t c = E2DSurface::ColorToNative(c8, f.format);
            const tagRECT r = {left, 1, right, 3};
            for (int y = r.top; y < r.bottom; y++)
              for (int x = r.left; x < r.right; x++) {
                uint8_t* p = &expect[(uint32_t(y) * pitch + uint32_t(x)) * uint32_t(B)];
                Store(p, B, RefFill(f, kind, Load(p, B), c, o));
              }
            if (kind == kOpac) ExRctOpac(&r, buf.data(), pitch, f.bpp, f.format, c, o);
            if (kind == kAlpha) ExRctAlpha(&r, buf.data(), pitch, f.bpp, f.format, c);
            if (kind == kSub) ExRctSub(&r, buf.data(), pitch, f.bpp, f.format, c);
            ASSERT_EQ(buf, expect) << "format " << int(f.format) << " kind " << kind << " o " << o
                                   << " left " << left << " right " << right;
          }
  }
}

TEST(RectKernels, EightBitFillsTheIndexAndTwelveBitOpacityHundred) {
  uint8_t b[8] = {1, 1, 1, 1, 1, 1, 1, 1};
  const tagRECT r = {1, 0, 3, 1};
  ExRctOpac(&r, b, 8, 8, 1, 0x1234, 77);
  ExRctAlpha(&r, b, 8, 8, 1, 0x55);
  EXPECT_EQ(b[1], 0x55);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[3], 1);
  // Opacity 100 on 12 bits keeps (256 - 100) >> 4 = 9 sixteenths of each channel.
  uint16_t p[4] = {0x0FFF, 0x0FFF, 0x0FFF, 0x0FFF};
  const tagRECT one = {0, 0, 1, 1};
  ExRctOpac(&one, reinterpret_cast<uint8_t*>(p), 4, 16, 2, 0, 100);
  EXPECT_EQ(p[0], 0x0888);
}

TEST(ColourConvert, EveryFormatPairMatchesTheSurfaceReadBack) {
  std::mt19937 rng(8);
  uint32_t palette[256], cache[257] = {};
  for (auto& p : palette) p = rng();
  for (uint8_t sf = 1; sf <= 6; sf++)
    for (uint8_t df = 1; df <= 6; df++) {
      if (sf == df) continue;
      const int SB = sf == 1 ? 1 : sf <= 4 ? 2 : sf == 5 ? 3 : 4;
      const int DB = df == 1 ? 1 : df <= 4 ? 2 : df == 5 ? 3 : 4;
      const int w = 7, h = 3, sp = 9, dp = 10;
      std::vector<uint8_t> src(size_t(sp * h * SB)), dst(size_t(dp * h * DB));
      for (auto& b : src) b = uint8_t(rng());
      for (auto& b : dst) b = uint8_t(rng());
      std::vector<uint8_t> expect = dst;
      if (df != 1)
        for (int y = 0; y < h; y++)
          for (int x = 0; x < w; x++) {
            const uint32_t s = Load(&src[size_t((y * sp + x) * SB)], SB);
            const uint32_t colour = sf == 1 ? (palette[s] & 0xFFFFFF)
                                            : E2DSurface::NativeToColor(s, sf);
            Store(&expect[size_t((y * dp + x) * DB)], DB, E2DSurface::ColorToNative(colour, df));
          }
      ExBltColorConvert(dst.data(), src.data(), dp, sp, df, sf, w, h, palette, cache);
      ASSERT_EQ(dst, expect) << "from " << int(sf) << " to " << int(df);
    }
}

TEST(ColourConvert, WideningMasksEachChannelFirst) {
  // 5:6:5 pure green to 32 bits: no bit of blue or red comes along.
  uint16_t s[2] = {0x07E0, 0x001F};
  uint32_t d[2] = {};
  ExBltColorConvert(reinterpret_cast<uint8_t*>(d), reinterpret_cast<uint8_t*>(s), 2, 2, 6, 4, 2, 1,
                    nullptr, nullptr);
  EXPECT_EQ(d[0], 0x0000FC00u);
  EXPECT_EQ(d[1], 0x000000F8u);
  // 15 to 16 bits: green's five bits move up one with a zero below; back drops it.
  uint16_t g15 = 0x03E0, out16 = 0, back = 0;
  ExBltColorConvert(reinterpret_cast<uint8_t*>(&out16), reinterpret_cast<uint8_t*>(&g15), 1, 1, 4, 3,
                    1, 1, nullptr, nullptr);
  EXPECT_EQ(out16, 0x07C0);
  uint16_t g16 = 0x07E0;
  ExBltColorConvert(reinterpret_cast<uint8_t*>(&back), reinterpret_cast<uint8_t*>(&g16), 1, 1, 3, 4,
                    1, 1, nullptr, nullptr);
  EXPECT_EQ(back, 0x03E0);
  // 12-bit blue 0xF to 15 bits stays blue.
  uint16_t b12 = 0x000F, b15 = 0;
  ExBltColorConvert(reinterpret_cast<uint8_t*>(&b15), reinterpret_cast<uint8_t*>(&b12), 1, 1, 3, 2,
                    1, 1, nullptr, nullptr);
  EXPECT_EQ(b15, 0x001E);
}

TEST(ColourConvert, PaletteCacheIsKeptUntilMarkedEmpty) {
  uint32_t palette[256] = {}, cache[257] = {};
  palette[3] = 0xFF0000FF;
  uint8_t s = 3;
  uint16_t d = 0;
  ExBltColorConvert(reinterpret_cast<uint8_t*>(&d), &s, 1, 1, 4, 1, 1, 1, palette, cache);
  EXPECT_EQ(d, 0xF800);
  EXPECT_EQ(cache[256], 4u);
  palette[3] = 0xFFFF0000;
  ExBltColorConvert(reinterpret_cast<uint8_t*>(&d), &s, 1, 1, 4, 1, 1, 1, palette, cache);
  EXPECT_EQ(d, 0xF800);  // still the cached entry
  cache[256] = 0;
  ExBltColorConvert(reinterpret_cast<uint8_t*>(&d), &s, 1, 1, 4, 1, 1, 1, palette, cache);
  EXPECT_EQ(d, 0x001F);
}

TEST(FillRect, OpacityFrontOfTheFill) {
  E2DSurface s;
  ASSERT_EQ(s.Create(4, 2, EFMT_RGB16, 1), ERES_OK);
  s.FillRect(nullptr, 0x0000F8);
  s.FillRect(nullptr, 0xFFFFFF, 0x08, 3);  // masked to 0 on 16 bits: nothing
  EXPECT_EQ(s.GetPixel(0, 0), 0x0000F8u);
  s.FillRect(nullptr, 0xFFFFFF, 0x08, 255);  // plain
  EXPECT_EQ(s.GetPixel(0, 0), 0xF8FCF8u);
  s.FillRect(nullptr, 0);
  tagRECT r = {1, 0, 3, 1};
  s.FillRect(&r, 0xFFFFFF, 0x08, 128);  // shift path: colour half plus half of 0
  EXPECT_EQ(s.GetPixel(1, 0), 0x787C78u);
  EXPECT_EQ(s.GetPixel(0, 0), 0u);
  EXPECT_EQ(s.GetPixel(3, 0), 0u);
}

}  // namespace
