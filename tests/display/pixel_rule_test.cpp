// The per-pixel rule (single pixels, fills' colour front, cross-format blits)
// against an independent 8-bit-channel reference, and how it rounds beside the
// kernels.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "display/esurf_2d.h"

namespace {

int Ch(uint32_t c, int i) { return int((c >> (8 * i)) & 0xFF); }

// Returns false when nothing is drawn.
bool RefRule(uint8_t format, uint32_t c, uint32_t f, uint32_t v, uint32_t d, uint32_t* out) {
  if ((f & 0x10) && (f & 0x20)) f &= ~0x30u;
  uint32_t o = (f & 6) ? v >> 24 : v;
  int cc[3];
  for (int i = 0; i < 3; i++) cc[i] = Ch(c, i);
  if ((f & 6) == 6) {
    const int m = std::max({cc[0], cc[1], cc[2]});
    for (int i = 0; i < 3; i++) cc[i] = (Ch(v, i) * m) >> 8;
  } else if (f & 2) {
    for (int i = 0; i < 3; i++) cc[i] = Ch(v, i);
  } else if (f & 4) {
    for (int i = 0; i < 3; i++) cc[i] = (cc[i] >> 1) + (Ch(v, i) >> 1);
  }
  if (f & 6) {
    f &= ~6u;
    v >>= 24;
  }
  if ((f & 8) && (f & 0x30)) {
    // An opacity above 256 scales like 256 (opaque) instead of overflowing.
    for (int i = 0; i < 3; i++) cc[i] = (cc[i] * int(std::min<uint32_t>(o, 256))) >> 8;
    f &= ~8u;
  }
  int r[3];
  if (f & 8) {
    if (o > 254) {
      for (int i = 0; i < 3; i++) r[i] = cc[i];
    } else {
      uint32_t masked = o;
      if (format == 2) masked &= 0xF0;
      if (format == 3 || format == 4) masked &= 0xF8;
      if (!masked) return false;
      for (int i = 0; i < 3; i++) r[i] = ((Ch(d, i) * int(256 - o)) >> 8) + ((cc[i] * int(o)) >> 8);
    }
  } else if (f & 0x10) {
    for (int i = 0; i < 3; i++) r[i] = std::min(Ch(d, i) + cc[i], 255);
  } else if (f & 0x20) {
    for (int i = 0; i < 3; i++) r[i] = std::max(Ch(d, i) - cc[i], 0);
  } else {
    for (int i = 0; i < 3; i++) r[i] = cc[i];
  }
  *out = uint32_t(r[0]) | (uint32_t(r[1]) << 8) | (uint32_t(r[2]) << 16);
  return true;
}

TEST(PixelRule, EveryFlagCombinationOnEveryFormat) {
  std::mt19937 rng(41);
  for (uint8_t format = 2; format <= 6; format++) {
    E2DSurface s;
    ASSERT_EQ(s.Create(1, 1, format, 1), ERES_OK);
    for (uint32_t f = 0; f < 0x40; f++)
      for (int k = 0; k < 40; k++) {
        const uint32_t start = rng() & 0xFFFFFF, c = rng() & 0xFFFFFF;
        uint32_t v = rng();
        if (!(f & 6) && k % 2) v &= 0x1FF;  // opacities around and above 255
        s.PutPixel(0, 0, start);
        const uint32_t d = s.GetPixel(0, 0);
        uint32_t want = d;
        if (RefRule(format, c, f, v, d, &want))
          want = E2DSurface::NativeToColor(E2DSurface::ColorToNative(want, format), format);
        s.PutPixel(0, 0, c, int32_t(f), v);
        ASSERT_EQ(s.GetPixel(0, 0), want) << "format " << int(format) << " flags " << f << " c "
                                          << c << " v " << v << " d " << d;
      }
  }
}

TEST(PixelRule, RoundsOtherwiseThanTheKernelsOnPurpose) {
  // Opacity 100 of white over black: the per-pixel rule works on 8-bit channels
  // ((255 * 100) >> 8 = 99, stored as 96 on 5 bits), the 16-bit kernel on the
  // stored channels with weight 100 >> 3 = 12 ((31 * 12) >> 5 = 11, read as 88).
  E2DSurface a, white4, white6, b;
  ASSERT_EQ(a.Create(1, 1, EFMT_RGB16, 1), ERES_OK);
  ASSERT_EQ(b.Create(1, 1, EFMT_RGB16, 1), ERES_OK);
  ASSERT_EQ(white4.Create(1, 1, EFMT_RGB16, 1), ERES_OK);
  ASSERT_EQ(white6.Create(1, 1, EFMT_RGB32, 1), ERES_OK);
  white4.PutPixel(0, 0, 0xFFFFFF);
  white6.PutPixel(0, 0, 0xFFFFFF);
  ASSERT_EQ(a.BltFast(0, 0, &white4, nullptr, 0x08, 100), ERES_OK);  // same format: kernel
  ASSERT_EQ(b.BltFast(0, 0, &white6, nullptr, 0x08, 100), ERES_OK);  // formats differ: per pixel
  EXPECT_EQ(a.GetPixel(0, 0) & 0xFF, 88u);
  EXPECT_EQ(b.GetPixel(0, 0) & 0xFF, 96u);
}

TEST(PixelRule, BlitClippingSteps) {
  E2DSurface dst, src;
  ASSERT_EQ(dst.Create(10, 8, EFMT_RGB16, 1), ERES_OK);
  ASSERT_EQ(src.Create(6, 5, EFMT_RGB16, 1), ERES_OK);
  const tagRECT clip = {2, 1, 9, 7};
  dst.SetClipper(&clip);
  struct Case {
    int32_t x, y;
    tagRECT r;
    int ok;
    int32_t ex, ey;
    tagRECT er;
  } cases[] = {
      {0, 0, {0, 0, 6, 5}, 1, 2, 1, {2, 1, 6, 5}},      // clipped left and top
      {5, 4, {0, 0, 6, 5}, 1, 5, 4, {0, 0, 4, 3}},      // clipped right and bottom
      {3, 3, {-2, -1, 3, 2}, 1, 5, 4, {0, 0, 3, 2}},    // negative source corner
      {9, 3, {0, 0, 6, 5}, 0, 0, 0, {}},                // right of the clip
      {3, 7, {0, 0, 6, 5}, 0, 0, 0, {}},                // below the clip
      {3, 3, {2, 2, 2, 4}, 0, 0, 0, {}},                // empty source
      {3, 3, {6, 0, 8, 5}, 0, 0, 0, {}},                // starts past the source
      {3, 3, {-5, 0, -1, 5}, 0, 0, 0, {}},              // wholly left of the source
      {3, 3, {0, 0, 20, 20}, 1, 3, 3, {0, 0, 6, 4}},    // cut to the source and clip
  };
  for (const Case& c : cases) {
    int32_t x = c.x, y = c.y;
    tagRECT r = c.r;
    ASSERT_EQ(dst.PrepareBlitRect(x, y, &r, 6, 5), c.ok) << c.x << "," << c.y;
    if (!c.ok) continue;
    EXPECT_EQ(x, c.ex);
    EXPECT_EQ(y, c.ey);
    EXPECT_EQ(r.left, c.er.left);
    EXPECT_EQ(r.top, c.er.top);
    EXPECT_EQ(r.right, c.er.right);
    EXPECT_EQ(r.bottom, c.er.bottom);
  }
  int32_t x = -2147483647 - 1, y = 0;
  tagRECT r = {0, 0, 6, 5};
  EXPECT_EQ(dst.PrepareBlitRect(x, y, &r, 6, 5), 0);  // far outside, no overflow
}

}  // namespace
