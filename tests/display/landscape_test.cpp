// The ground plane: horizon, perspective, zoom and turn, refusals, the point
// projection against what is drawn, and every display orientation.
#include <gtest/gtest.h>

#include <vector>

#include "display/esurf_2d.h"
#include "tests/display/display_support.h"

namespace {

const uint32_t kSentinel = 0x123456;

// Every texel its own colour (exact on format 6).
uint32_t TexelColour(int32_t x, int32_t y) { return uint32_t(x * 4 + 1) | (uint32_t(y * 4 + 2) << 8); }

void Unique(E2DSurface& t) {
  for (uint32_t y = 0; y < t.GetHeight(); y++)
    for (uint32_t x = 0; x < t.GetWidth(); x++)
      t.PutPixel(int32_t(x), int32_t(y), TexelColour(int32_t(x), int32_t(y)));
}

// Cells of 4 x 4 texels, black and white.
void Checker(E2DSurface& t) {
  for (uint32_t y = 0; y < t.GetHeight(); y++)
    for (uint32_t x = 0; x < t.GetWidth(); x++)
      t.PutPixel(int32_t(x), int32_t(y), ((x / 4 + y / 4) & 1) ? 0xFFFFFF : 0);
}

// Pixels from (x, y) rightwards with the colour of (x, y).
int RunLength(E2DSurface& s, int32_t x, int32_t y) {
  const uint32_t c = s.GetPixel(x, y);
  int n = 0;
  while (x + n < int32_t(s.GetWidth()) && s.GetPixel(x + n, y) == c) n++;
  return n;
}

TEST(Landscape, HorizonAndPerspective) {
  E2DSurface dst, tex;
  ASSERT_EQ(dst.Create(40, 30, EFMT_RGB32, 1), ERES_OK);
  ASSERT_EQ(tex.Create(64, 64, EFMT_RGB32, 1), ERES_OK);
  Checker(tex);
  dst.FillRect(nullptr, kSentinel);
  // Tilt 2048 on 30 rows: the divisor reaches 0 fifteen rows up.
  dst.Landscape(nullptr, 256, 0, 0, 0, 2048, 256, &tex);
  for (int32_t y = 0; y < 30; y++)
    for (int32_t x = 0; x < 40; x++)
      ASSERT_EQ(dst.GetPixel(x, y) == kSentinel, y < 15) << x << "," << y;
  // The bottom row shows one texel per pixel (a = zoom), rows higher up fewer
  // pixels per texel.
  EXPECT_EQ(RunLength(dst, 20, 29), 4);
  EXPECT_LE(RunLength(dst, 20, 20), 2);
  int changesBottom = 0, changesHigh = 0;
  for (int32_t x = 1; x < 40; x++) {
    changesBottom += dst.GetPixel(x, 29) != dst.GetPixel(x - 1, 29);
    changesHigh += dst.GetPixel(x, 18) != dst.GetPixel(x - 1, 18);
  }
  EXPECT_GT(changesHigh, 2 * changesBottom);
  // Without tilt every row is drawn at the same scale.
  dst.FillRect(nullptr, kSentinel);
  dst.Landscape(nullptr, 256, 0, 0, 0, 0, 256, &tex);
  for (int32_t y = 0; y < 30; y++) EXPECT_EQ(RunLength(dst, 20, y), 4) << y;
}

TEST(Landscape, ZoomAndCameraHeightScale) {
  E2DSurface dst, tex;
  ASSERT_EQ(dst.Create(40, 8, EFMT_RGB32, 1), ERES_OK);
  ASSERT_EQ(tex.Create(64, 64, EFMT_RGB32, 1), ERES_OK);
  Checker(tex);
  struct Case {
    int32_t a;
    uint16_t zoom;
    int run;
  } cases[] = {{256, 256, 4}, {256, 512, 8}, {256, 128, 2}, {512, 512, 4}, {128, 256, 8}};
  for (const Case& k : cases) {
    dst.Landscape(nullptr, k.a, 0, 0, 0, 0, k.zoom, &tex);
    EXPECT_EQ(RunLength(dst, 20, 7), k.run) << k.a << " " << k.zoom;
  }
}

TEST(Landscape, AngleTurnsTheTexture) {
  E2DSurface dst, tex;
  ASSERT_EQ(dst.Create(24, 16, EFMT_RGB32, 1), ERES_OK);
  ASSERT_EQ(tex.Create(64, 64, EFMT_RGB32, 1), ERES_OK);
  Unique(tex);
  // Viewpoint on the centre of texel (10, 20), drawn at (12, 15); flat, 1:1.
  for (uint16_t angle : {uint16_t(0), uint16_t(1024), uint16_t(2048), uint16_t(3072)}) {
    dst.Landscape(nullptr, 256, 10 * 16 + 8, 20 * 16 + 8, angle, 0, 256, &tex);
    for (int32_t y = 0; y < 16; y++)
      for (int32_t x = 0; x < 24; x++) {
        const int32_t k = x - 12, d = 15 - y;  // right, ahead
        int32_t u, v;
        switch (angle) {
          case 0: u = 10 + k; v = 20 - d; break;
          case 1024: u = 10 + d; v = 20 + k; break;
          case 2048: u = 10 - k; v = 20 + d; break;
          default: u = 10 - d; v = 20 - k; break;
        }
        ASSERT_EQ(dst.GetPixel(x, y), TexelColour(u & 63, v & 63)) << angle << " " << x << "," << y;
      }
  }
}

TEST(Landscape, RefusalsDrawNothing) {
  E2DSurface dst, tex16, none, tex;
  ASSERT_EQ(dst.Create(16, 16, EFMT_RGB32, 1), ERES_OK);
  ASSERT_EQ(tex16.Create(16, 16, EFMT_RGB16, 1), ERES_OK);
  ASSERT_EQ(tex.Create(16, 16, EFMT_RGB32, 1), ERES_OK);
  Checker(tex);
  dst.FillRect(nullptr, kSentinel);
  dst.Landscape(nullptr, 256, 0, 0, 0, 0, 256, &tex16);      // other format
  dst.Landscape(nullptr, 256, 0, 0, 0, 0, 256, &none);       // no buffer
  dst.Landscape(nullptr, 256, 0, 0, 0, 0, 256, nullptr);
  dst.Landscape(nullptr, 256, 0, 0, 0, 0, 0, &tex);          // zoom 0
  dst.Landscape(nullptr, 0, 0, 0, 0, 0, 256, &tex);          // no height
  const tagRECT empty = {5, 5, 5, 9}, outside = {20, 0, 30, 16};
  dst.Landscape(&empty, 256, 0, 0, 0, 0, 256, &tex);
  dst.Landscape(&outside, 256, 0, 0, 0, 0, 256, &tex);
  for (int32_t y = 0; y < 16; y++)
    for (int32_t x = 0; x < 16; x++) ASSERT_EQ(dst.GetPixel(x, y), kSentinel);
  none.Landscape(nullptr, 256, 0, 0, 0, 0, 256, &tex);       // no destination buffer
  int32_t px = 0, py = 0;
  EXPECT_EQ(none.GetLandscapePoint(nullptr, 256, 0, 0, 0, 0, 256, 0, 0, &px, &py), 0);
  EXPECT_EQ(dst.GetLandscapePoint(nullptr, 256, 0, 0, 0, 0, 0, 0, 0, &px, &py), 0);
  // A rectangle is drawn only inside itself.
  const tagRECT part = {4, 6, 10, 12};
  dst.Landscape(&part, 256, 0, 0, 0, 0, 256, &tex);
  for (int32_t y = 0; y < 16; y++)
    for (int32_t x = 0; x < 16; x++)
      ASSERT_EQ(dst.GetPixel(x, y) == kSentinel, !(x >= 4 && x < 10 && y >= 6 && y < 12));
}

TEST(Landscape, PointProjectionFindsTheDrawnTexel) {
  E2DSurface dst, tex;
  ASSERT_EQ(dst.Create(48, 40, EFMT_RGB32, 1), ERES_OK);
  ASSERT_EQ(tex.Create(64, 64, EFMT_RGB32, 1), ERES_OK);
  Unique(tex);
  const tagRECT rc = {2, 1, 46, 40};
  const int32_t b = 32 * 16 + 5, c = 30 * 16 + 11;
  for (uint16_t angle : {uint16_t(0), uint16_t(300), uint16_t(1700), uint16_t(3500)}) {
    // Texels of a quarter pixel at the bottom; a pixel covers under 0.7 texel
    // for 25 rows, so every texel there is sampled by some pixel.
    dst.FillRect(nullptr, kSentinel);
    dst.Landscape(&rc, 64, b, c, angle, 1024, 256, &tex);
    int checked = 0;
    for (int32_t tv = 14; tv < 50; tv++)
      for (int32_t tu = 14; tu < 50; tu++) {
        int32_t x = -1, y = -1;
        if (!dst.GetLandscapePoint(&rc, 64, b, c, angle, 1024, 256, tu * 16 + 8, tv * 16 + 8, &x, &y))
          continue;
        ASSERT_TRUE(x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom);
        if (y < 39 - 25) continue;
        ASSERT_EQ(dst.GetPixel(x, y), TexelColour(tu, tv)) << angle << " texel " << tu << "," << tv;
        checked++;
      }
    EXPECT_GT(checked, 60) << angle;
  }
  int32_t x, y;
  // At angle 0 the plane lies towards -v: behind the viewpoint and past the horizon
  // (39 rows, tilt 1024: every row is drawn, the top one 39 times smaller) are 0.
  EXPECT_EQ(dst.GetLandscapePoint(&rc, 64, b, c, 0, 1024, 256, b, c + 16 * 4, &x, &y), 0);
  EXPECT_EQ(dst.GetLandscapePoint(&rc, 64, b, c, 0, 1024, 256, b, c - 16 * 200, &x, &y), 0);
  EXPECT_EQ(dst.GetLandscapePoint(&rc, 64, b, c, 0, 1024, 256, b + 16 * 40, c, &x, &y), 0);
  ASSERT_EQ(dst.GetLandscapePoint(&rc, 64, b, c, 0, 1024, 256, b, c, &x, &y), 1);
  EXPECT_EQ(x, 24);
  EXPECT_EQ(y, 39);
  // Steeper tilt: the horizon sits 39 * 1024 / 4096 rows up; far points are 0.
  EXPECT_EQ(dst.GetLandscapePoint(&rc, 64, b, c, 0, 4096, 256, b, c - 16 * 12, &x, &y), 0);
  ASSERT_EQ(dst.GetLandscapePoint(&rc, 64, b, c, 0, 4096, 256, b, c - 16, &x, &y), 1);
  EXPECT_GE(y, 39 - 10);
}

TEST(Landscape, EveryOrientationGivesTheSamePicture) {
  struct O {
    uint8_t swap;
    int32_t xd, yd;
  } orients[] = {{0, 1, 1}, {1, 1, -1}, {0, -1, -1}, {1, -1, 1}};
  const tagRECT rc = {3, 2, 37, 28};
  std::vector<uint32_t> want[2];
  std::vector<int32_t> wantPoints;
  for (const O& o : orients) {
    zt::DisplayContext ctx;
    ctx.dsp.Turn(o.swap, o.xd, o.yd);
    E2DSurface dst, square, oblong;
    dst.LinkECD(&ctx.ecd);
    square.LinkECD(&ctx.ecd);
    oblong.LinkECD(&ctx.ecd);
    ASSERT_EQ(dst.Create(40, 30, EFMT_RGB32, 0), ERES_OK);
    ASSERT_EQ(square.Create(64, 64, EFMT_RGB32, 0), ERES_OK);  // mask-and-shift fetch
    ASSERT_EQ(oblong.Create(32, 16, EFMT_RGB32, 0), ERES_OK);  // modulo fetch
    Unique(square);
    Unique(oblong);
    E2DSurface* textures[2] = {&square, &oblong};
    for (int t = 0; t < 2; t++) {
      dst.FillRect(nullptr, kSentinel);
      dst.Landscape(&rc, 200, 13 * 16 + 3, 7 * 16 + 9, 300, -1500, 300, textures[t]);
      std::vector<uint32_t> got;
      for (int32_t y = 0; y < 30; y++)
        for (int32_t x = 0; x < 40; x++) got.push_back(dst.GetPixel(x, y));
      if (want[t].empty())
        want[t] = got;
      else
        ASSERT_EQ(got, want[t]) << int(o.swap) << o.xd << o.yd << " texture " << t;
    }
    std::vector<int32_t> points;
    for (int32_t i = 0; i < 12; i++) {
      int32_t x = -1, y = -1;
      const int r = dst.GetLandscapePoint(&rc, 200, 13 * 16 + 3, 7 * 16 + 9, 300, -1500, 300,
                                          i * 37, 100 - i * 23, &x, &y);
      points.insert(points.end(), {r, x, y});
    }
    if (wantPoints.empty())
      wantPoints = points;
    else
      EXPECT_EQ(points, wantPoints);
  }
  // The picture is a plane below a horizon, not the untouched surface.
  EXPECT_NE(want[0][27 * 40 + 20], kSentinel);
  EXPECT_EQ(want[0][9 * 40 + 20], kSentinel);  // 18 rows below the horizon
  EXPECT_NE(want[0][10 * 40 + 20], kSentinel);
}

}  // namespace
