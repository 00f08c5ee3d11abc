// The RGBA surface: creation, pixel words for each target format, the
// premultiplied form, loader callbacks, and the RGBA blit front.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "display/erdr_kernel.h"
#include "display/esurf_2d.h"
#include "display/esurf_2drgba.h"
#include "tests/display/display_support.h"

namespace {

uint32_t Word(E2DSurfaceRGBA& s, uint32_t x, uint32_t y) {
  return s.GetBuffer()[y * s.GetPitch() + x];
}

TEST(RgbaSurface, CreateGeometryAndRecreate) {
  E2DSurfaceRGBA s;
  ASSERT_EQ(s.Create(33, 10, 4, 0), 0);
  EXPECT_EQ(s.GetPitch(), 36u);
  EXPECT_EQ(s.GetStoredRows(), 10u);
  EXPECT_EQ(s.GetTargetFormat(), 4);
  EXPECT_EQ(s.GetCreateFlags(), 1u);  // memory type 1 filled in
  E2DSURFACEINFO info;
  ASSERT_NE(s.Lock(&info), nullptr);
  EXPECT_EQ(info.pitch, 36 * 4);
  EXPECT_EQ(info.bpp, 32);
  EXPECT_EQ(info.format, 4);
  EXPECT_EQ(s.GetLockCount(), 1);
  s.Unlock();
  // Every word of the 36 x 10 buffer starts transparent.
  for (uint32_t i = 0; i < 36 * 10; i++) ASSERT_EQ(s.GetBuffer()[i], 0u);

  // Bits 8-15 of the flags choose the target format.
  E2DSurfaceRGBA t;
  ASSERT_EQ(t.Create(4, 4, 1, 0x0601), 0);
  EXPECT_EQ(t.GetTargetFormat(), 6);

  // Re-creating with the same size and flags keeps the buffer and clears it.
  s.PutPixel(1, 1, 0xFFFFFF, 200);
  uint32_t* before = s.GetBuffer();
  ASSERT_EQ(s.Create(33, 10, 4, 0), 0);
  EXPECT_EQ(s.GetBuffer(), before);
  EXPECT_EQ(Word(s, 1, 1), 0u);
  // Another target format at the same size and flags makes a new surface.
  ASSERT_EQ(s.Create(33, 10, 6, 0), 0);
  EXPECT_EQ(s.GetTargetFormat(), 6);
  ASSERT_NE(s.Lock(&info), nullptr);
  s.Unlock();
  EXPECT_EQ(info.format, 6);
  s.PutPixel(1, 1, 0x000000FF, 255);
  EXPECT_EQ(Word(s, 1, 1), 0xFFFF0000u);  // 0x00RRGGBB, not a 16-bit word

  // A premultiplied surface is transparent when its top byte is 255.
  E2DSurfaceRGBA p;
  ASSERT_EQ(p.Create(5, 3, 4, ESURF_PREMULTIPLIED), 0);
  EXPECT_TRUE(p.IsPremultiplied());
  EXPECT_EQ(Word(p, 4, 2), 0xFFFFFFFFu);

  E2DSurfaceRGBA bad;
  EXPECT_EQ(bad.Create(0, 5, 4, 0), ERES_BADARGS);
  EXPECT_EQ(bad.Create(5, 5, 0, 0), ERES_BAD);
  EXPECT_EQ(bad.Create(40000, 5, 4, 0), ERES_NOMEMORY);
  EXPECT_EQ(bad.Create(8000, 8000, 4, 0), ERES_NOMEMORY);  // 256 MB
  EXPECT_FALSE(bad.IsCreated());
  EXPECT_EQ(bad.Lock(nullptr), nullptr);
}

TEST(RgbaSurface, TurnedDisplayStoresAxesExchanged) {
  zt::DisplayContext ctx;
  ctx.dsp.Turn(1, 1, -1);
  E2DSurfaceRGBA s;
  s.LinkECD(&ctx.ecd);
  ASSERT_EQ(s.Create(30, 20, 4, 0), 0);
  EXPECT_EQ(s.GetStoredWidth(), 20u);
  EXPECT_EQ(s.GetStoredRows(), 30u);
  EXPECT_EQ(s.GetWidth(), 30u);
  EXPECT_EQ(s.GetHeight(), 20u);
  s.PutPixel(0, 0, 0x0000FF, 255);
  // Logical (0, 0) with the axes swapped and y mirrored: stored column 0, row 29.
  EXPECT_EQ(Word(s, 0, 29), 0xFF00F800u);
  uint32_t c;
  uint8_t a;
  s.GetPixel(0, 0, c, a);
  EXPECT_EQ(c, 0x0000F8u);
  EXPECT_EQ(a, 255);
}

TEST(RgbaSurface, PixelWordsPerTargetFormat) {
  struct Case {
    uint8_t format;
    uint32_t red, white;  // stored low bits of pure red and of white
    uint32_t whiteBack;   // white read back (dropped bits zero)
  } cases[] = {
      {1, 0xFF, 0xFF, 0xFF},
      {2, 0x0F00, 0x0FFF, 0xF0F0F0},
      {3, 0x7C00, 0x7FFF, 0xF8F8F8},
      {4, 0xF800, 0xFFFF, 0xF8FCF8},
      {5, 0xFF0000, 0xFFFFFF, 0xFFFFFF},
      {6, 0xFF0000, 0xFFFFFF, 0xFFFFFF},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(int(k.format));
    E2DSurfaceRGBA s;
    ASSERT_EQ(s.Create(4, 2, k.format, 0), 0);
    s.PutPixel(0, 0, 0x0000FF, 128);
    s.PutPixel(1, 0, 0xFFFFFF, 7);
    EXPECT_EQ(Word(s, 0, 0), 0x80000000u | k.red);
    EXPECT_EQ(Word(s, 1, 0), 0x07000000u | k.white);
    uint32_t c;
    uint8_t a;
    s.GetPixel(1, 0, c, a);
    EXPECT_EQ(c, k.whiteBack);
    EXPECT_EQ(a, 7);
  }
}

TEST(RgbaSurface, ClipReadsReplaceMaskAndFontWidth) {
  E2DSurfaceRGBA s;
  ASSERT_EQ(s.Create(8, 4, 6, 0), 0);
  for (int x = 0; x < 8; x++) s.PutPixel(x, 0, 0x123456, uint8_t(x * 30));
  tagRECT clip = {2, 0, 6, 4};
  s.SetClipper(&clip);
  tagRECT back;
  s.GetClipper(&back);
  EXPECT_EQ(back.left, 2);
  EXPECT_EQ(back.right, 6);
  s.PutPixel(1, 1, 0xFFFFFF, 255);  // outside: not stored
  EXPECT_EQ(Word(s, 1, 1), 0u);
  uint32_t c = 1;
  uint8_t a = 1;
  s.GetPixel(1, 0, c, a);  // outside the clip: 0 and 0
  EXPECT_EQ(c, 0u);
  EXPECT_EQ(a, 0);
  s.GetPixel(-5, 99, c, a);
  EXPECT_EQ(a, 0);

  // ReplaceColor keeps alpha, works inside the clip only.
  EXPECT_EQ(s.ReplaceColor(0xABCDEF, 0x123456, false), 1);
  EXPECT_EQ(Word(s, 3, 0), (90u << 24) | 0xEFCDABu);
  EXPECT_EQ(Word(s, 1, 0), (30u << 24) | 0x563412u);
  EXPECT_EQ(s.ReplaceColor(0x000000, 0xABCDEF, true), 1);  // every other colour inside
  EXPECT_EQ(Word(s, 2, 1), 0u);
  EXPECT_EQ(Word(s, 3, 0), (90u << 24) | 0xEFCDABu);
  s.SetClipper(nullptr);

  // Mask bit per pixel whose alpha reaches the threshold, most significant first.
  s.BuildTableMask(90);
  ASSERT_NE(s.GetMask(), nullptr);
  EXPECT_EQ(s.GetMask()[0], 0x1F000000u);  // columns 3 to 7 of row 0
  EXPECT_EQ(s.GetMask()[1], 0u);
  s.Clear(0x123456);
  EXPECT_EQ(s.GetMask(), nullptr);
  EXPECT_EQ(Word(s, 3, 0), 0u);

  // No glyph table: a 128th of the width per character above 15.
  E2DSurfaceRGBA f;
  ASSERT_EQ(f.Create(1024, 2, 6, 0), 0);
  EXPECT_EQ(f.GetFontWidth("abc\ndefgh\r\x01x"), 40u);
  EXPECT_EQ(f.GetFontWidth(""), 0u);
  E2DSurfaceRGBA none;
  EXPECT_EQ(none.GetFontWidth("abc"), 0u);
}

TEST(RgbaSurface, PremultipliedWordsReadBackAndRefuseReplace) {
  E2DSurfaceRGBA s;
  ASSERT_EQ(s.Create(4, 1, 6, ESURF_PREMULTIPLIED), 0);
  // Stored as PutPixel is given it: a colour already weighted, 255 - alpha on top.
  s.PutPixel(0, 0, 0x404040, 127);  // alpha 128 of 0x808080
  uint32_t c;
  uint8_t a;
  s.GetPixel(0, 0, c, a);
  EXPECT_EQ(a, 128);
  EXPECT_EQ(c, 0x7F7F7Fu);          // 64 * 256 / 129
  s.PutPixel(1, 0, 0x102030, 255);  // alpha 0
  s.GetPixel(1, 0, c, a);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(c, 0u);
  s.PutPixel(2, 0, 0xFFFFFF, 250);  // never weighted: saturates per channel
  s.GetPixel(2, 0, c, a);
  EXPECT_EQ(c, 0xFFFFFFu);
  const uint32_t before = Word(s, 0, 0);
  EXPECT_EQ(s.ReplaceColor(0, 0x404040, false), 0);
  EXPECT_EQ(Word(s, 0, 0), before);
}

// A palette stream, indexed and colour pixel streams, dither and premultiplying.
TEST(RgbaSurface, LoaderCallbacks) {
  E2DSurfaceRGBA s;
  ELDR_2DCALLBACKINFO info{};
  info.width = 4;
  info.height = 3;
  info.renderformat = 4;
  ASSERT_EQ(s.LdrOnPixelStream(&info), 1);  // not created yet
  ASSERT_EQ(s.LdrOnCreate(&info), 0);
  EXPECT_EQ(s.GetTargetFormat(), 4);
  uint32_t pal[10];
  for (uint32_t i = 0; i < 10; i++) pal[i] = (i * 25u) << 24 | 0x0000FF;
  info.paletteindex = 250;
  info.data = pal;
  info.bytecount = 40;
  EXPECT_EQ(s.LdrOnPaletteStream(&info), 0);
  EXPECT_EQ(info.paletteindex, 256u);
  EXPECT_EQ(s.GetPaletteData()[255], 125u << 24 | 0xFF);
  EXPECT_EQ(s.LdrOnPaletteStream(&info), 10);

  // Indexed: colour and alpha from the palette, no transparency lift.
  info.paletteindex = 0;
  info.bytecount = 40;
  ASSERT_EQ(s.LdrOnPaletteStream(&info), 0);
  uint8_t idx[4] = {0, 1, 9, 5};
  info.indexed = 1;
  info.data = idx;
  info.bytecount = 4;
  info.pixelindex = 0;
  ASSERT_EQ(s.LdrOnPixelStream(&info), 0);
  EXPECT_EQ(info.pixelindex, 4);
  EXPECT_EQ(Word(s, 0, 0), 0x0000F800u);
  EXPECT_EQ(Word(s, 1, 0), 0x1900F800u);
  EXPECT_EQ(Word(s, 2, 0), 0xE100F800u);

  // Colour words 0xAABBGGRR; black stays black.
  uint32_t words[5] = {0x80000000, 0xFF00FF00, 0x00FFFFFF, 0x40FFFFFF, 0x11223344};
  info.indexed = 0;
  info.data = words;
  info.bytecount = 20;
  ASSERT_EQ(s.LdrOnPixelStream(&info), 0);
  EXPECT_EQ(info.pixelindex, 9);
  EXPECT_EQ(Word(s, 0, 1), 0x80000000u);
  EXPECT_EQ(Word(s, 1, 1), 0xFF0007E0u);
  EXPECT_EQ(Word(s, 2, 1), 0x0000FFFFu);
  EXPECT_EQ(Word(s, 0, 2), E2DSurface::ColorToNative(0x223344, 4) | 0x11000000u);

  // Premultiplied: each channel times alpha >> 8, 255 - alpha on top; alpha 0
  // gives colour 0 with 255.
  E2DSurfaceRGBA p;
  info.flags = ESURF_PREMULTIPLIED;
  info.renderformat = 6;
  ASSERT_EQ(p.LdrOnCreate(&info), 0);
  EXPECT_TRUE(p.IsPremultiplied());
  uint32_t pw[3] = {0x00FFFFFF, 0x80FF8040, 0xFF102030};
  info.data = pw;
  info.bytecount = 12;
  info.pixelindex = 0;
  ASSERT_EQ(p.LdrOnPixelStream(&info), 0);
  EXPECT_EQ(Word(p, 0, 0), 0xFF000000u);
  EXPECT_EQ(Word(p, 1, 0), 0x7F20407Fu);  // red 0x40 -> 0x20, green 0x40, blue 0x7F
  EXPECT_EQ(Word(p, 2, 0), 0x002F1F0Fu);  // x 255 >> 8, also when opaque
  uint32_t c;
  uint8_t a;
  p.GetPixel(0, 0, c, a);
  EXPECT_EQ(a, 0);

  // Dither flag: the same rule as E2DSurface per target format.
  for (uint8_t fmt = 2; fmt <= 4; fmt++) {
    E2DSurfaceRGBA d;
    E2DSurface ref;
    ELDR_2DCALLBACKINFO di{};
    di.width = 16;
    di.height = 16;
    di.renderformat = fmt;
    di.flags = 0x10;
    ASSERT_EQ(d.LdrOnCreate(&di), 0);
    ASSERT_EQ(ref.LdrOnCreate(&di), 0);
    std::vector<uint32_t> px(256);
    for (uint32_t i = 0; i < 256; i++) px[i] = 0xFF000000u | (i * 0x010305u & 0xFFFFFF);
    di.data = px.data();
    di.bytecount = 1024;
    ASSERT_EQ(d.LdrOnPixelStream(&di), 0);
    di.pixelindex = 0;
    ASSERT_EQ(ref.LdrOnPixelStream(&di), 0);
    for (int y = 0; y < 16; y++)
      for (int x = 0; x < 16; x++) {
        d.GetPixel(x, y, c, a);
        const uint32_t want = ref.GetPixel(x, y);
        if ((px[y * 16 + x] & 0xFFFFFF) == 0) continue;  // the lift of E2DSurface
        ASSERT_EQ(c, want) << int(fmt) << " " << x << "," << y;
      }
  }
}

// The blit front's results and the path for a destination of another format.
TEST(RgbaBltFront, ResultCodesAndCrossFormat) {
  E2DSurface dst, none;
  E2DSurfaceRGBA src, empty;
  ASSERT_EQ(dst.Create(16, 8, 4, 0), 0);
  ASSERT_EQ(src.Create(4, 4, 4, 0), 0);
  EXPECT_EQ(dst.BltFast(0, 0, &empty, nullptr), ERES_BAD);
  EXPECT_EQ(none.BltFast(0, 0, &src, nullptr), ERES_BAD);
  EXPECT_EQ(dst.BltFast(0, 0, static_cast<E2DSurfaceRGBA*>(nullptr), nullptr), ERES_BAD);
  EXPECT_EQ(dst.BltFast(16, 0, &src, nullptr), ERES_BADARGS);
  EXPECT_EQ(dst.BltFast(0, 0, &src, nullptr, EBLT_OP, 5),
            ERES_NOTHINGDRAWN);                                        // masked to 0 on 5:6:5
  EXPECT_EQ(dst.BltFast(0, 0, &src, nullptr, EBLT_OP, 300), ERES_OK);  // above 254: opaque

  // A source encoded for format 6 onto a 5:6:5 destination goes pixel by pixel
  // through the per-pixel rule with the alpha as the opacity.
  E2DSurfaceRGBA s6;
  ASSERT_EQ(s6.Create(4, 1, 6, 0), 0);
  const uint32_t colours[4] = {0x3060F0, 0xFFFFFF, 0x0000FF, 0x00FF00};
  const uint8_t alphas[4] = {255, 0, 128, 7};
  for (int i = 0; i < 4; i++) s6.PutPixel(i, 0, colours[i], alphas[i]);
  for (uint32_t flags : {0u, 0x08u, 0x10u, 0x06u}) {
    SCOPED_TRACE(flags);
    const uint32_t value = flags & 0x06 ? 0x80102030u : 200u;
    E2DSurface got, want;
    ASSERT_EQ(got.Create(4, 1, 4, 0), 0);
    ASSERT_EQ(want.Create(4, 1, 4, 0), 0);
    got.FillRect(nullptr, 0x406080);
    want.FillRect(nullptr, 0x406080);
    ASSERT_EQ(got.BltFast(0, 0, &s6, nullptr, int32_t(flags), value), 0);
    for (int i = 0; i < 4; i++) {
      uint32_t a = alphas[i];
      if (flags & 0x08) a = (a * 200) >> 8;
      if (!a) continue;
      want.PixelRule(want.GetBuffer() + i * 2, colours[i], int32_t(flags | 0x08),
                     flags & 0x06 ? (a << 24) | (value & 0xFFFFFF) : a);
    }
    for (int i = 0; i < 4; i++) EXPECT_EQ(got.GetPixel(i, 0), want.GetPixel(i, 0)) << i;
  }
}

TEST(RgbaBltFront, ClipsAndDrawsAtThePosition) {
  E2DSurface dst;
  E2DSurfaceRGBA src;
  ASSERT_EQ(dst.Create(8, 8, 6, 0), 0);
  ASSERT_EQ(src.Create(4, 4, 6, 0), 0);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) src.PutPixel(x, y, uint32_t(0x10 * (y * 4 + x + 1)), 255);
  ASSERT_EQ(dst.BltFast(-1, 6, &src, nullptr), 0);
  // Source (1, 0) lands at (0, 6); rows 2 and 3 fall below the surface.
  EXPECT_EQ(dst.GetPixel(0, 6), 0x20u);
  EXPECT_EQ(dst.GetPixel(2, 7), 0x80u);
  EXPECT_EQ(dst.GetPixel(3, 7), 0u);
  EXPECT_EQ(dst.GetPixel(0, 5), 0u);
  tagRECT r = {2, 2, 4, 4};
  ASSERT_EQ(dst.BltFast(5, 0, &src, &r), 0);
  EXPECT_EQ(dst.GetPixel(5, 0), 0xB0u);
  EXPECT_EQ(dst.GetPixel(6, 1), 0x100u);
  EXPECT_EQ(dst.GetLockCount(), 0);
  EXPECT_EQ(src.GetLockCount(), 0);
}

// On every orientation the picture lands at its logical place, clipped at the
// logical edges, and reads back logically.
TEST(RgbaBltFront, EveryOrientationDrawsLogically) {
  const struct {
    uint8_t swap;
    int32_t xdir, ydir;
  } turns[] = {{0, 1, 1}, {1, 1, -1}, {0, -1, -1}, {1, -1, 1}};
  for (const auto& t : turns) {
    SCOPED_TRACE(int(t.swap) * 4 + t.xdir * 2 + t.ydir);
    zt::DisplayContext ctx;
    ctx.dsp.Turn(t.swap, t.xdir, t.ydir);
    E2DSurface dst;
    E2DSurfaceRGBA pic;
    dst.LinkECD(&ctx.ecd);
    pic.LinkECD(&ctx.ecd);
    ASSERT_EQ(dst.Create(12, 9, 6, 0), 0);
    ASSERT_EQ(pic.Create(5, 3, 6, 0), 0);
    for (int y = 0; y < 3; y++)
      for (int x = 0; x < 5; x++) pic.PutPixel(x, y, uint32_t(0x100 * (y * 5 + x) + 1), 255);
    pic.PutPixel(4, 2, 0xFFFFFF, 0);  // transparent corner
    const tagRECT part = {1, 0, 5, 3};
    ASSERT_EQ(dst.BltFast(9, -1, &pic, &part), 0);
    for (int y = 0; y < 9; y++)
      for (int x = 0; x < 12; x++) {
        const int sx = x - 9 + 1, sy = y + 1;
        const bool drawn = sx >= 1 && sx < 5 && sy < 3 && !(sx == 4 && sy == 2) && x < 12;
        EXPECT_EQ(dst.GetPixel(x, y), drawn ? uint32_t(0x100 * (sy * 5 + sx) + 1) : 0u)
            << x << "," << y;
      }
  }
}

TEST(RgbaDisplay, CreateSurfaceInTheRenderFormat) {
  zt::OpenDisplay d;
  ASSERT_TRUE(d.ok);
  E2DSurfaceRGBA s;
  ASSERT_EQ(d.ctx.dsp.CreateSurface(&s, 10, 6), 0);
  EXPECT_EQ(s.GetTargetFormat(), d.ctx.dsp.GetRenderFormat());
  EXPECT_EQ(s.GetECD(), &d.ctx.ecd);
  EXPECT_EQ(d.ctx.dsp.CreateSurface(static_cast<E2DSurfaceRGBA*>(nullptr), 10, 6), ERES_BADARGS);
  uint8_t junk[16] = {};
  EXPECT_EQ(d.ctx.dsp.CreateSurface(&s, junk, sizeof junk),
            ERES_NOTTHISFORMAT);  // no loader registered
  EXPECT_EQ(d.ctx.dsp.CreateSurface(&s, "no such file.png"), ERES_BAD);
}

}  // namespace
