// The blit front: clipping, opacity rules, flag masking, fills, the cross-format
// rule, and every orientation of the display.
#include <gtest/gtest.h>

#include <random>

#include "display/esurf_2d.h"
#include "tests/display/display_support.h"

namespace {

// A w x h surface filled with distinct colours.
void Pattern(E2DSurface& s, uint32_t seed) {
  std::mt19937 rng(seed);
  for (uint32_t y = 0; y < s.GetHeight(); y++)
    for (uint32_t x = 0; x < s.GetWidth(); x++) s.PutPixel(int32_t(x), int32_t(y), rng() & 0xFFFFFF);
}

TEST(BlitFront, PlainCopyAndClippingEdges) {
  E2DSurface dst, src;
  ASSERT_EQ(dst.Create(20, 10, EFMT_RGB16, 1), ERES_OK);
  ASSERT_EQ(src.Create(6, 4, EFMT_RGB16, 1), ERES_OK);
  Pattern(src, 1);
  // Negative source column: drawn from column 0, destination moved right.
  tagRECT r = {-2, 0, 6, 4};
  ASSERT_EQ(dst.BltFast(3, 2, &src, &r), ERES_OK);
  EXPECT_EQ(dst.GetPixel(5, 2), src.GetPixel(0, 0));
  EXPECT_EQ(dst.GetPixel(4, 2), 0u);
  // Entirely right or below the clip: 4; uncreated source: 1.
  EXPECT_EQ(dst.BltFast(20, 0, &src, nullptr), ERES_BADARGS);
  EXPECT_EQ(dst.BltFast(0, 10, &src, nullptr), ERES_BADARGS);
  E2DSurface none;
  EXPECT_EQ(dst.BltFast(0, 0, &none, nullptr), ERES_BAD);
  // Left and top clipping.
  ASSERT_EQ(dst.BltFast(-3, -1, &src, nullptr), ERES_OK);
  EXPECT_EQ(dst.GetPixel(0, 0), src.GetPixel(3, 1));
  EXPECT_EQ(dst.GetLockCount(), 0);
  EXPECT_EQ(src.GetLockCount(), 0);
}

TEST(BlitFront, FullWidthCopyIsExact) {
  E2DSurface dst, src;
  ASSERT_EQ(dst.Create(13, 5, EFMT_RGB32, 1), ERES_OK);
  ASSERT_EQ(src.Create(13, 5, EFMT_RGB32, 1), ERES_OK);
  Pattern(src, 2);
  ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr), ERES_OK);
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 13; x++) ASSERT_EQ(dst.GetPixel(x, y), src.GetPixel(x, y));
}

TEST(BlitFront, OpacityFront) {
  E2DSurface dst, src, ref;
  ASSERT_EQ(src.Create(4, 4, EFMT_RGB16, 1), ERES_OK);
  Pattern(src, 3);
  ASSERT_EQ(dst.Create(4, 4, EFMT_RGB16, 1), ERES_OK);
  ASSERT_EQ(ref.Create(4, 4, EFMT_RGB16, 1), ERES_OK);
  dst.FillRect(nullptr, 0x4080C0);
  ref.FillRect(nullptr, 0x4080C0);
  ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr, 0x08, 255), ERES_OK);
  ASSERT_EQ(ref.BltFast(0, 0, &src, nullptr, 0, 0), ERES_OK);
  EXPECT_EQ(std::memcmp(dst.GetBuffer(), ref.GetBuffer(), 4 * 4 * 2), 0);
  EXPECT_EQ(dst.BltFast(0, 0, &src, nullptr, 0x08, 5), ERES_NOTHINGDRAWN);
  // ad with sb draws like no flags.
  dst.FillRect(nullptr, 0x4080C0);
  ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr, 0x30, 0), ERES_OK);
  EXPECT_EQ(std::memcmp(dst.GetBuffer(), ref.GetBuffer(), 4 * 4 * 2), 0);
  // Opacity 200 blends with weight 200 >> 3 on 16 bits.
  dst.FillRect(nullptr, 0);
  ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr, 0x08, 200), ERES_OK);
  const uint16_t s = *reinterpret_cast<const uint16_t*>(src.GetBuffer());
  const uint16_t d = *reinterpret_cast<const uint16_t*>(dst.GetBuffer());
  EXPECT_EQ(d & 0x1F, ((s & 0x1F) * 25) >> 5);
}

TEST(BlitFront, ColourFillAndKeyedFill) {
  E2DSurface dst, src;
  ASSERT_EQ(dst.Create(8, 8, EFMT_RGB32, 1), ERES_OK);
  ASSERT_EQ(src.Create(3, 2, EFMT_RGB32, 1), ERES_OK);
  src.SetColorKey(0x00FF00);
  src.FillRect(nullptr, 0x00FF00);
  src.PutPixel(1, 1, 0x123456);
  // cf alone fills the source's size without reading it.
  ASSERT_EQ(dst.BltFast(2, 2, &src, nullptr, 0x02, 0x0000FF), ERES_OK);
  for (int y = 2; y < 4; y++)
    for (int x = 2; x < 5; x++) EXPECT_EQ(dst.GetPixel(x, y), 0x0000FFu);
  EXPECT_EQ(dst.GetPixel(5, 2), 0u);
  // cf with ck fills only the non-key pixels.
  dst.FillRect(nullptr, 0);
  ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr, 0x03, 0xABCDEF), ERES_OK);
  EXPECT_EQ(dst.GetPixel(1, 1), 0xABCDEFu);
  EXPECT_EQ(dst.GetPixel(0, 0), 0u);
  EXPECT_EQ(dst.GetPixel(2, 1), 0u);
}

TEST(BlitFront, FifteenAndTwentyFourBitSurfacesDrawWithFlags) {
  for (uint8_t format : {uint8_t(3), uint8_t(5)}) {
    SCOPED_TRACE(int(format));
    E2DSurface dst, src;
    ASSERT_EQ(dst.Create(4, 4, format, 1), ERES_OK);
    ASSERT_EQ(src.Create(4, 4, format, 1), ERES_OK);
    src.SetColorKey(0);
    src.PutPixel(1, 1, 0xFFFFFF);
    ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr, 0x01, 0), ERES_OK);
    EXPECT_EQ(dst.GetPixel(1, 1), src.GetPixel(1, 1));
    dst.FillRect(nullptr, 0x102030);
    ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr, 0x01, 0), ERES_OK);
    EXPECT_EQ(dst.GetPixel(0, 0), dst.GetPixel(3, 3));  // key pixels untouched
    ASSERT_EQ(dst.BltFlip(0, 0, &src, nullptr, 2048, 0, 0x01, 0), ERES_OK);
    EXPECT_EQ(dst.GetPixel(2, 2), src.GetPixel(1, 1));
    // Without flags the copy works too.
    ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr), ERES_OK);
    EXPECT_EQ(dst.GetPixel(0, 0), 0u);
  }
}

TEST(BlitFront, CrossFormatPerPixelAndConversion) {
  E2DSurface dst, src;
  ASSERT_EQ(dst.Create(4, 4, EFMT_RGB16, 1), ERES_OK);
  ASSERT_EQ(src.Create(4, 4, EFMT_RGB32, 1), ERES_OK);
  src.SetColorKey(0xFF00FF);
  src.FillRect(nullptr, 0xFF00FF);
  src.PutPixel(2, 2, 0x80FF40);
  dst.FillRect(nullptr, 0x0000F8);
  ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr, 0x01, 0), ERES_OK);
  EXPECT_EQ(dst.GetPixel(2, 2), 0x80FC40u);
  EXPECT_EQ(dst.GetPixel(0, 0), 0x0000F8u);
  // Additive across formats uses the per-pixel rule.
  ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr, 0x11, 0), ERES_OK);
  EXPECT_EQ(dst.GetPixel(2, 2), 0xF8FC80u);
  // No flags: the conversion kernel.
  ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr), ERES_OK);
  EXPECT_EQ(dst.GetPixel(0, 0), 0xF800F8u);
}

TEST(BlitFront, PaletteSourceConvertsThroughTheDisplayPalette) {
  zt::DisplayContext ctx;
  E2DSurface dst, src;
  dst.LinkECD(&ctx.ecd);
  src.LinkECD(&ctx.ecd);
  ASSERT_EQ(dst.Create(2, 1, EFMT_RGB16, 0), ERES_OK);
  ASSERT_EQ(src.Create(2, 1, EFMT_INDEX8, 0), ERES_OK);
  src.PutPixel(0, 0, 5);
  uint32_t* pal = ctx.dsp.GetPaletteEntries();
  pal[5] = 0xFF0000FF;  // red
  ctx.dsp.GetPaletteCache()[256] = 0;
  ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr), ERES_OK);
  EXPECT_EQ(dst.GetPixel(0, 0), 0x0000F8u);
  // A palette change (the display marks its cache empty) shows on the next blit.
  pal[5] = 0xFFFF0000;
  ctx.dsp.GetPaletteCache()[256] = 0;
  ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr), ERES_OK);
  EXPECT_EQ(dst.GetPixel(0, 0), 0xF80000u);
}

TEST(BlitFront, FlipAnglesAndSizes) {
  E2DSurface dst, src;
  ASSERT_EQ(dst.Create(20, 20, EFMT_RGB16, 1), ERES_OK);
  ASSERT_EQ(src.Create(10, 4, EFMT_RGB16, 1), ERES_OK);
  Pattern(src, 4);
  EXPECT_EQ(dst.BltFlip(0, 0, &src, nullptr, 512, 0), ERES_BADARGS);
  ASSERT_EQ(dst.BltFlip(0, 0, &src, nullptr, 1024, 0), ERES_OK);
  // Quarter turn clockwise: source (sx, sy) lands at (h - 1 - sy, sx).
  for (int sy = 0; sy < 4; sy++)
    for (int sx = 0; sx < 10; sx++) ASSERT_EQ(dst.GetPixel(3 - sy, sx), src.GetPixel(sx, sy));
  EXPECT_EQ(dst.GetPixel(4, 0), 0u);
  EXPECT_EQ(dst.GetPixel(0, 10), 0u);
  // A half turn clipped at the right loses the source's left columns.
  dst.FillRect(nullptr, 0);
  ASSERT_EQ(dst.BltFlip(15, 0, &src, nullptr, 2048, 0), ERES_OK);
  EXPECT_EQ(dst.GetPixel(19, 3), src.GetPixel(5, 0));
  EXPECT_EQ(dst.GetPixel(15, 0), src.GetPixel(9, 3));
}

TEST(BlitFront, BltFxWithoutEffectCentres) {
  E2DSurface dst, src;
  ASSERT_EQ(dst.Create(20, 20, EFMT_RGB16, 1), ERES_OK);
  ASSERT_EQ(src.Create(6, 4, EFMT_RGB16, 1), ERES_OK);
  Pattern(src, 5);
  E2DBLTFX fx = {0, 0, 0x10000, 0x10000, 0, 0};
  ASSERT_EQ(dst.BltFx(10, 10, &src, nullptr, &fx), ERES_OK);
  EXPECT_EQ(dst.GetPixel(7, 8), src.GetPixel(0, 0));
  // A half turn goes through BltFlip.
  fx.rotation = 2048;
  ASSERT_EQ(dst.BltFx(10, 10, &src, nullptr, &fx), ERES_OK);
  EXPECT_EQ(dst.GetPixel(7, 8), src.GetPixel(5, 3));
  E2DSurface other;
  ASSERT_EQ(other.Create(6, 4, EFMT_RGB32, 1), ERES_OK);
  EXPECT_EQ(dst.BltFx(10, 10, &other, nullptr, &fx), ERES_FORMATSDIFFER);
}

// Every orientation of the display: a logical blit, turned and mirrored, reads
// back in logical coordinates exactly as the logical source says.
TEST(BlitFront, EveryOrientationGivesTheLogicalImage) {
  struct O {
    uint8_t swap;
    int32_t xd, yd;
  } orients[] = {{0, 1, 1}, {1, 1, -1}, {0, -1, -1}, {1, -1, 1}};
  for (const O& o : orients) {
    zt::DisplayContext ctx;
    ctx.dsp.Turn(o.swap, o.xd, o.yd);
    for (uint8_t format : {uint8_t(4), uint8_t(6)}) {
      E2DSurface dst, src;
      dst.LinkECD(&ctx.ecd);
      src.LinkECD(&ctx.ecd);
      ASSERT_EQ(dst.Create(17, 13, format, 0), ERES_OK);
      ASSERT_EQ(src.Create(5, 3, format, 0), ERES_OK);
      EXPECT_EQ(src.GetWidth(), 5u);
      EXPECT_EQ(src.GetStoredWidth(), o.swap ? 3u : 5u);
      Pattern(src, 6);
      for (uint16_t angle = 0; angle < 4096; angle += 1024)
        for (uint8_t mirror = 0; mirror < 4; mirror++) {
          dst.FillRect(nullptr, 0);
          ASSERT_EQ(dst.BltFlip(2, 1, &src, nullptr, angle, mirror), ERES_OK);
          const bool q = angle == 1024 || angle == 3072;
          const int W = q ? 3 : 5, H = q ? 5 : 3;
          for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
              // Undo the turn, then the mirror, to find the source pixel.
              int sx, sy;
              switch (angle) {
                case 0: sx = x; sy = y; break;
                case 1024: sx = y; sy = 2 - x; break;
                case 2048: sx = 4 - x; sy = 2 - y; break;
                default: sx = 4 - y; sy = x; break;
              }
              if (mirror & 1) sx = 4 - sx;
              if (mirror & 2) sy = 2 - sy;
              ASSERT_EQ(dst.GetPixel(2 + x, 1 + y), src.GetPixel(sx, sy))
                  << "orient " << int(o.swap) << o.xd << o.yd << " angle " << angle << " mirror "
                  << int(mirror) << " at " << x << "," << y;
            }
          EXPECT_EQ(dst.GetPixel(1, 1), 0u);
          EXPECT_EQ(dst.GetPixel(2 + W, 1), 0u);
        }
      // A plain blit clipped at the logical right and bottom.
      dst.FillRect(nullptr, 0);
      ASSERT_EQ(dst.BltFast(14, 11, &src, nullptr), ERES_OK);
      EXPECT_EQ(dst.GetPixel(16, 12), src.GetPixel(2, 1));
      EXPECT_EQ(dst.GetPixel(14, 11), src.GetPixel(0, 0));
    }
  }
}

TEST(BlitFront, QuarterTurnedDisplayStoresSurfacesTurned) {
  zt::DisplayContext ctx;
  ctx.dsp.Turn(1, 1, -1);
  E2DSurface s;
  s.LinkECD(&ctx.ecd);
  ASSERT_EQ(s.Create(30, 20, EFMT_RGB16, 0), ERES_OK);
  EXPECT_EQ(s.GetStoredWidth(), 20u);
  EXPECT_EQ(s.GetStoredRows(), 30u);
  EXPECT_EQ(s.GetPitch(), 20u);
  EXPECT_EQ(s.GetWidth(), 30u);
  EXPECT_EQ(s.GetHeight(), 20u);
  s.PutPixel(29, 0, 0xFFFFFF);
  EXPECT_EQ(s.GetPixelV(0, 0), 0xF8FCF8u);  // logical (29, 0) is stored (0, 0)
}

TEST(BlitFront, OpenDisplayRunsTheTableKernels) {
  zt::OpenDisplay od;
  if (!od.ok) GTEST_SKIP() << "display did not open";
  ASSERT_NE(od.ctx.dsp.GetKernelTable(), nullptr);
  E2DSurface dst, src;
  dst.LinkECD(&od.ctx.ecd);
  src.LinkECD(&od.ctx.ecd);
  ASSERT_EQ(dst.Create(2, 1, EFMT_RGB16, 0), ERES_OK);
  ASSERT_EQ(src.Create(2, 1, EFMT_RGB16, 0), ERES_OK);
  ASSERT_EQ(dst.GetFormat(), od.ctx.dsp.GetRenderFormat());
  // Blue 1 over 0 at opacity 128: the shift rule keeps 1 (the blend would give 0).
  *reinterpret_cast<uint16_t*>(src.GetBuffer()) = 1;
  ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr, 0x08, 128), ERES_OK);
  EXPECT_EQ(*reinterpret_cast<uint16_t*>(dst.GetBuffer()), 1);
  // Without the display the generic loop blends.
  E2DSurface dst2, src2;
  ASSERT_EQ(dst2.Create(2, 1, EFMT_RGB16, 1), ERES_OK);
  ASSERT_EQ(src2.Create(2, 1, EFMT_RGB16, 1), ERES_OK);
  *reinterpret_cast<uint16_t*>(src2.GetBuffer()) = 1;
  ASSERT_EQ(dst2.BltFast(0, 0, &src2, nullptr, 0x08, 128), ERES_OK);
  EXPECT_EQ(*reinterpret_cast<uint16_t*>(dst2.GetBuffer()), 0);
}

TEST(BlitFront, InfoStepsWalkTheLogicalPixels) {
  struct O {
    uint8_t swap;
    int32_t xd, yd;
  } orients[] = {{0, 1, 1}, {1, 1, -1}, {0, -1, -1}, {1, -1, 1}};
  for (const O& o : orients) {
    zt::DisplayContext ctx;
    ctx.dsp.Turn(o.swap, o.xd, o.yd);
    E2DSurface s;
    s.LinkECD(&ctx.ecd);
    ASSERT_EQ(s.Create(7, 5, EFMT_RGB16, 0), ERES_OK);
    Pattern(s, 9);
    E2DSURFACEINFO info;
    const uint8_t* p = s.Lock(&info);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(info.width, 7u);
    EXPECT_EQ(info.height, 5u);
    for (int y = 0; y < 5; y++)
      for (int x = 0; x < 7; x++) {
        uint16_t v;
        std::memcpy(&v, p + info.origin + x * info.xstep + y * info.ystep, 2);
        ASSERT_EQ(E2DSurface::NativeToColor(v, 4), s.GetPixel(x, y)) << int(o.swap) << o.xd << o.yd;
      }
    s.Unlock();
    // The clipper is given and read back in logical coordinates.
    const tagRECT clip = {1, 2, 6, 4};
    s.SetClipper(&clip);
    tagRECT back;
    s.GetClipper(&back);
    EXPECT_EQ(back.left, 1);
    EXPECT_EQ(back.top, 2);
    EXPECT_EQ(back.right, 6);
    EXPECT_EQ(back.bottom, 4);
    s.FillRect(nullptr, 0xFFFFFF);
    EXPECT_EQ(s.GetPixel(1, 2), 0xF8FCF8u);
    EXPECT_NE(s.GetPixel(0, 2), 0xF8FCF8u);
    EXPECT_NE(s.GetPixel(1, 4), 0xF8FCF8u);
  }
}

}  // namespace
