// Surfaces without a display: formats, creation, pixels, clipping, colour key,
// loader callbacks, mask and overlap.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "display/esurf_2d.h"
#include "loaders/eldr_base.h"
#include "tests/display/display_support.h"

namespace {

TEST(Surface, CreateSizesPitchAndFormatOverride) {
  E2DSurface s;
  ASSERT_EQ(s.Create(30, 20, EFMT_RGB16, 1), ERES_OK);
  EXPECT_EQ(s.GetPitch(), 32u);
  EXPECT_EQ(s.GetStoredWidth(), 30u);
  EXPECT_EQ(s.GetStoredRows(), 20u);
  EXPECT_EQ(s.GetWidth(), 30u);
  EXPECT_EQ(s.GetHeight(), 20u);
  EXPECT_EQ(s.GetBitsPerPixel(), 16);
  E2DSurface o;
  ASSERT_EQ(o.Create(8, 8, EFMT_INDEX8, 0x0401), ERES_OK);
  EXPECT_EQ(o.GetFormat(), 4);
  EXPECT_EQ(o.GetBitsPerPixel(), 16);
}

TEST(Surface, CreateFailures) {
  E2DSurface s;
  EXPECT_EQ(s.Create(0, 5, EFMT_RGB16, 1), ERES_BADARGS);
  EXPECT_EQ(s.Create(5, 0, EFMT_RGB16, 1), ERES_BADARGS);
  EXPECT_EQ(s.Create(5, 5, EFMT_RGB16, 4), ERES_BADARGS);
  EXPECT_EQ(s.Create(5, 5, 7, 1), ERES_BAD);
  EXPECT_EQ(s.Create(0x10000, 0x10000, EFMT_RGB32, 1), ERES_NOMEMORY);  // too large to address
  EXPECT_FALSE(s.IsCreated());
  EXPECT_EQ(s.GetWidth(), 0u);
  EXPECT_EQ(s.GetPixel(0, 0), 0u);
  EXPECT_EQ(s.Lock(nullptr), nullptr);
}

TEST(Surface, RecreateSameSizeKeepsBufferAndClears) {
  E2DSurface s;
  ASSERT_EQ(s.Create(10, 10, EFMT_RGB16, 1), ERES_OK);
  uint8_t* buf = s.GetBuffer();
  s.PutPixel(3, 3, 0xFFFFFF);
  ASSERT_NE(s.GetPixel(3, 3), 0u);
  ASSERT_EQ(s.Create(10, 10, EFMT_RGB16, 1), ERES_OK);
  EXPECT_EQ(s.GetBuffer(), buf);
  EXPECT_EQ(s.GetPixel(3, 3), 0u);
  ASSERT_EQ(s.Create(12, 10, EFMT_RGB16, 1), ERES_OK);
  EXPECT_EQ(s.GetWidth(), 12u);
  // Another format at the same size and flags makes a new surface of it.
  ASSERT_EQ(s.Create(12, 10, EFMT_RGB32, 1), ERES_OK);
  EXPECT_EQ(s.GetFormat(), EFMT_RGB32);
  EXPECT_EQ(s.GetBitsPerPixel(), 32);
  s.PutPixel(3, 3, 0x123456);
  EXPECT_EQ(s.GetPixel(3, 3), 0x123456u);
}

TEST(Surface, ColourPackingAndReadBack) {
  struct Case {
    uint8_t format;
    uint32_t white, red, whiteBack;
  } cases[] = {
      {2, 0x0FFF, 0x0F00, 0xF0F0F0},
      {3, 0x7FFF, 0x7C00, 0xF8F8F8},
      {4, 0xFFFF, 0xF800, 0xF8FCF8},
      {5, 0xFFFFFF, 0xFF0000, 0xFFFFFF},
      {6, 0xFFFFFF, 0xFF0000, 0xFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.format));
    EXPECT_EQ(E2DSurface::ColorToNative(0xFFFFFF, c.format), c.white);
    EXPECT_EQ(E2DSurface::ColorToNative(0x0000FF, c.format), c.red);
    E2DSurface s;
    ASSERT_EQ(s.Create(4, 4, c.format, 1), ERES_OK);
    s.PutPixel(1, 2, 0xFFFFFF);
    EXPECT_EQ(s.GetPixel(1, 2), c.whiteBack);
    s.PutPixel(2, 2, 0x0000FF);
    EXPECT_EQ(s.GetPixel(2, 2) & 0xFF, c.whiteBack & 0xFF);
    EXPECT_EQ(s.GetPixel(2, 2) & 0xFFFF00, 0u);
  }
  E2DSurface idx;
  ASSERT_EQ(idx.Create(4, 4, EFMT_INDEX8, 1), ERES_OK);
  idx.PutPixel(0, 0, 0x123456);
  EXPECT_EQ(idx.GetPixel(0, 0), 0x56u);
}

TEST(Surface, PutPixelClipsAndGetPixelOutside) {
  E2DSurface s;
  ASSERT_EQ(s.Create(8, 8, EFMT_RGB32, 1), ERES_OK);
  tagRECT clip = {2, 2, 6, 6};
  s.SetClipper(&clip);
  s.PutPixel(1, 1, 0xFFFFFF);
  s.PutPixel(2, 2, 0xFFFFFF);
  s.PutPixel(-1, 3, 0xFFFFFF);
  s.PutPixel(100, 3, 0xFFFFFF);
  EXPECT_EQ(s.GetPixel(1, 1), 0u);
  EXPECT_EQ(s.GetPixel(2, 2), 0xFFFFFFu);
  EXPECT_EQ(s.GetPixel(-1, 0), 0u);
  EXPECT_EQ(s.GetPixel(8, 0), 0u);
  tagRECT back;
  s.GetClipper(&back);
  EXPECT_EQ(back.left, 2);
  EXPECT_EQ(back.right, 6);
  EXPECT_EQ(s.GetLockCount(), 0);
}

TEST(Surface, ColourKeyAndAutoKey) {
  E2DSurface s;
  ASSERT_EQ(s.Create(4, 4, EFMT_RGB16, 1), ERES_OK);
  s.SetColorKey(0xFF00FF);
  EXPECT_EQ(s.GetColorKeyNative(), 0xF81Fu);
  EXPECT_EQ(s.GetColorKey(), 0xF800F8u);
  s.PutPixel(0, 0, 0x00FF00);
  EXPECT_EQ(s.AutoSetColorKey(0, 0), 0x00FC00u);
  EXPECT_EQ(s.GetColorKeyNative(), 0x07E0u);
  EXPECT_EQ(s.AutoSetColorKey(9, 9), 0u);
}

TEST(Surface, LockCountsAndInfo) {
  E2DSurface s;
  ASSERT_EQ(s.Create(6, 3, EFMT_RGB16, 1), ERES_OK);
  E2DSURFACEINFO info;
  ASSERT_EQ(s.Lock(&info), s.GetBuffer());
  EXPECT_EQ(s.GetLockCount(), 1);
  EXPECT_EQ(info.xstep, 2);
  EXPECT_EQ(info.ystep, 16);
  EXPECT_EQ(info.pitch, 16);
  EXPECT_EQ(info.origin, 0);
  EXPECT_EQ(info.width, 6u);
  EXPECT_EQ(info.bpp, 16);
  s.Unlock();
  s.Unlock();
  EXPECT_EQ(s.GetLockCount(), 0);
  EXPECT_EQ(s.GetInfo(nullptr), 0);
}

TEST(Surface, ReplaceColorInsideClip) {
  E2DSurface s;
  ASSERT_EQ(s.Create(4, 1, EFMT_RGB32, 1), ERES_OK);
  s.PutPixel(0, 0, 0x112233);
  s.PutPixel(3, 0, 0x112233);
  tagRECT clip = {0, 0, 3, 1};
  s.SetClipper(&clip);
  EXPECT_EQ(s.ReplaceColor(0xABCDEF, 0x112233, false), 1);
  EXPECT_EQ(s.GetPixel(0, 0), 0xABCDEFu);
  EXPECT_EQ(s.GetPixel(3, 0), 0x112233u);
  EXPECT_EQ(s.ReplaceColor(0x000001, 0xABCDEF, true), 1);
  EXPECT_EQ(s.GetPixel(1, 0), 0x000001u);
  EXPECT_EQ(s.GetPixel(0, 0), 0xABCDEFu);
}

ELDR_2DCALLBACKINFO Info(uint32_t w, uint32_t h, uint8_t indexed, uint8_t format, uint32_t flags) {
  ELDR_2DCALLBACKINFO info{};
  info.width = w;
  info.height = h;
  info.indexed = indexed;
  info.renderformat = format;
  info.flags = flags;
  return info;
}

TEST(LoaderCallbacks, PaletteStreamStopsAtTheLastEntry) {
  E2DSurface s;
  ELDR_2DCALLBACKINFO info = Info(4, 4, 1, 4, 1);
  ASSERT_EQ(s.LdrOnCreate(&info), ERES_OK);
  uint32_t words[10];
  for (uint32_t i = 0; i < 10; i++) words[i] = 0xFF000000u | i;
  info.paletteindex = 250;
  info.data = words;
  info.bytecount = sizeof words;
  EXPECT_EQ(s.LdrOnPaletteStream(&info), ERES_OK);
  EXPECT_EQ(info.paletteindex, 256u);
  uint32_t pal[6];
  s.GetPalette(pal, 250, 10);
  EXPECT_EQ(pal[5], 0xFF000005u);
  EXPECT_EQ(s.LdrOnPaletteStream(&info), ERES_NOTHINGDRAWN);
}

TEST(LoaderCallbacks, PixelStreamAlphaLiftAndIndexes) {
  E2DSurface s;
  ELDR_2DCALLBACKINFO info = Info(3, 2, 0, 2, 1);
  ASSERT_EQ(s.LdrOnCreate(&info), ERES_OK);
  EXPECT_EQ(s.GetColorKeyNative(), 0u);
  uint32_t row[3] = {0x80FFFFFFu, 0xFF000000u, 0xFF3060F0u};
  info.data = row;
  info.bytecount = sizeof row;
  info.transparency = 1;
  ASSERT_EQ(s.LdrOnPixelStream(&info), ERES_OK);
  EXPECT_EQ(info.pixelindex, 3);
  EXPECT_EQ(s.GetPixel(0, 0), 0u);          // alpha below 255: the key colour
  EXPECT_EQ(s.GetPixel(1, 0), 0x101010u);   // opaque black lifted off the key
  EXPECT_EQ(s.GetPixel(2, 0), 0x3060F0u);
  // A stream past the last row or before the first writes nothing.
  info.pixelindex = 6;
  EXPECT_EQ(s.LdrOnPixelStream(&info), ERES_OK);
  info.pixelindex = -3;
  EXPECT_EQ(s.LdrOnPixelStream(&info), ERES_OK);
  EXPECT_EQ(s.GetPixel(0, 0), 0u);
  EXPECT_EQ(s.GetLockCount(), 0);
  // Indexed data on format 1 keeps only opaque entries.
  E2DSurface p;
  ELDR_2DCALLBACKINFO pi = Info(2, 1, 1, 1, 1);
  ASSERT_EQ(p.LdrOnCreate(&pi), ERES_OK);
  uint32_t pal[2] = {0xFF000000u, 0x7F00FF00u};
  pi.data = pal;
  pi.bytecount = 8;
  p.LdrOnPaletteStream(&pi);
  uint8_t idx[2] = {0, 1};
  pi.data = idx;
  pi.bytecount = 2;
  ASSERT_EQ(p.LdrOnPixelStream(&pi), ERES_OK);
  EXPECT_EQ(p.GetPixel(0, 0), 0u);
  EXPECT_EQ(p.GetPixel(1, 0), 0u);
  E2DSurface none;
  EXPECT_EQ(none.LdrOnPixelStream(&pi), ERES_BAD);
}

// Indexed rows land in every RGB format as the same colours sent as words do
// (not opaque: the key; true black lifted in pictures with transparency), also
// when the palette or the transparency changes between rows.
TEST(LoaderCallbacks, IndexedRowsLandAsTheirColourWords) {
  std::mt19937 g(3);
  for (uint8_t format = EFMT_RGB12; format <= EFMT_RGB32; format++) {
    E2DSurface byIndex, byWord;
    ELDR_2DCALLBACKINFO a = Info(256, 4, 1, format, 1), b = Info(256, 4, 0, format, 1);
    ASSERT_EQ(byIndex.LdrOnCreate(&a), ERES_OK);
    ASSERT_EQ(byWord.LdrOnCreate(&b), ERES_OK);
    uint32_t pal[256], words[256];
    uint8_t idx[256];
    for (uint32_t row = 0; row < 4; row++) {
      if (row != 2) {  // row 2 keeps row 1's palette but has transparency
        for (uint32_t k = 0; k < 256; k++) {
          const uint32_t alpha = k % 5 == 0 ? g() & 0xFF : 0xFF;
          pal[k] = alpha << 24 | (k % 7 == 0 ? 0 : g() & 0xFFFFFF);
        }
        a.paletteindex = 0;
        a.data = pal;
        a.bytecount = sizeof pal;
        ASSERT_EQ(byIndex.LdrOnPaletteStream(&a), ERES_OK);
      }
      for (uint32_t k = 0; k < 256; k++) {
        idx[k] = uint8_t(g());
        words[k] = pal[idx[k]];
      }
      a.transparency = b.transparency = row >= 2;
      a.data = idx;
      a.bytecount = sizeof idx;
      b.data = words;
      b.bytecount = sizeof words;
      ASSERT_EQ(byIndex.LdrOnPixelStream(&a), ERES_OK);
      ASSERT_EQ(byWord.LdrOnPixelStream(&b), ERES_OK);
    }
    const size_t bytes = size_t(byWord.GetPitch()) * 4 * byWord.GetBytesPerPixel();
    EXPECT_EQ(std::memcmp(byIndex.GetBuffer(), byWord.GetBuffer(), bytes), 0) << int(format);
  }
}

TEST(LoaderCallbacks, OrderedDither) {
  E2DSurface s;
  ELDR_2DCALLBACKINFO info = Info(2, 1, 0, 4, 0x11);
  ASSERT_EQ(s.LdrOnCreate(&info), ERES_OK);
  // Blue 5 at d = 0 (row 0 of the 8-step table holds 4-7) and at d = 1 (3, 6, 7).
  uint32_t row[2] = {0xFF050000u, 0xFF050000u};
  info.data = row;
  info.bytecount = 8;
  ASSERT_EQ(s.LdrOnPixelStream(&info), ERES_OK);
  EXPECT_EQ(s.GetPixel(0, 0), 0x080000u);
  EXPECT_EQ(s.GetPixel(1, 0), 0x000000u);
}

TEST(LoaderCallbacks, LoadImageWithoutLoaders) {
  E2DSurface s;
  uint8_t data[4] = {};
  EXPECT_EQ(s.LoadImage(data, 4, 4, 1), ERES_NOTTHISFORMAT);
  EXPECT_EQ(s.LoadImage(data, 4, 4, 5), ERES_BADARGS);
}

TEST(Mask, IntersectByBoxesAndByMaskBits) {
  E2DSurface a, b;
  ASSERT_EQ(a.Create(40, 3, EFMT_RGB32, 1), ERES_OK);
  ASSERT_EQ(b.Create(33, 2, EFMT_RGB32, 1), ERES_OK);
  tagPOINT hit;
  // Without masks the boxes decide: the overlap's top-left.
  EXPECT_EQ(a.Intersect(0, 0, nullptr, 10, 1, nullptr, &b, &hit), 1);
  EXPECT_EQ(hit.x, 10);
  EXPECT_EQ(hit.y, 1);
  EXPECT_EQ(a.Intersect(0, 0, nullptr, 40, 0, nullptr, &b, &hit), 0);
  // With masks: only pixels that differ from the key count.
  a.PutPixel(39, 2, 0xFFFFFF);
  b.PutPixel(32, 1, 0xFFFFFF);
  a.BuildTableMask(0);
  b.BuildTableMask(0);
  ASSERT_NE(a.GetMask(), nullptr);
  EXPECT_EQ(a.Intersect(0, 0, nullptr, 7, 1, nullptr, &b, &hit), 1);
  EXPECT_EQ(hit.x, 39);
  EXPECT_EQ(hit.y, 2);
  EXPECT_EQ(a.Intersect(0, 0, nullptr, 6, 1, nullptr, &b, &hit), 0);
  EXPECT_EQ(hit.x, -1);
  // Brightness below the threshold leaves the bit clear.
  a.PutPixel(39, 2, 0x101010);
  a.BuildTableMask(0x20);
  EXPECT_EQ(a.Intersect(0, 0, nullptr, 7, 1, nullptr, &b, &hit), 0);
  // A sub-rectangle reports the hit where it is drawn.
  a.PutPixel(39, 2, 0xFFFFFF);
  a.BuildTableMask(0);
  tagRECT ra = {30, 0, 40, 3};
  EXPECT_EQ(a.Intersect(100, 0, &ra, 77, 1, nullptr, &b, &hit), 1);
  EXPECT_EQ(hit.x, 109);
  EXPECT_EQ(hit.y, 2);
}

// A loader of a made-up format: "FAKE", width, then one row of colour words.
class FakeLoader : public ClassELoaderBase {
 public:
  int Start(E2DSurfaceBase* surface, void* data, uint32_t length, uint8_t format,
            uint32_t flags) override {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (length < 5 || std::memcmp(p, "FAKE", 4) != 0) return 3;
    ELDR_2DCALLBACKINFO info{};
    info.width = p[4];
    info.height = 1;
    info.renderformat = format;
    info.flags = flags;
    if (int r = surface->LdrOnCreate(&info)) return r;
    std::vector<uint32_t> row(info.width);
    if (length < 5 + 4 * info.width) return 1;
    std::memcpy(row.data(), p + 5, 4 * info.width);
    info.data = row.data();
    info.bytecount = 4 * info.width;
    return surface->LdrOnPixelStream(&info);
  }
};

TEST(LoaderCallbacks, LoadImageAsksTheLoadersInOrder) {
  zt::DisplayContext ctx;
  ASSERT_EQ(ctx.dsp.RegisterLoader(new FakeLoader), 1);
  E2DSurface s;
  s.LinkECD(&ctx.ecd);
  uint8_t data[13] = {'F', 'A', 'K', 'E', 2};
  const uint32_t px[2] = {0xFF0000FFu, 0xFF00FF00u};
  std::memcpy(data + 5, px, 8);
  ASSERT_EQ(s.LoadImage(data, sizeof data, 6, 0), ERES_OK);
  EXPECT_EQ(s.GetWidth(), 2u);
  EXPECT_EQ(s.GetPixel(0, 0), 0x0000FFu);
  EXPECT_EQ(s.GetPixel(1, 0), 0x00FF00u);
  uint8_t other[8] = {'P', 'N', 'G'};
  EXPECT_EQ(s.LoadImage(other, sizeof other, 6, 0), ERES_NOTTHISFORMAT);
  // From a file: missing and empty files fail with 1.
  const std::string dir = zt::TempDir("loadimage");
  auto wide = [](const std::string& n) {
    std::vector<uint16_t> w(n.begin(), n.end());
    w.push_back(0);
    return w;
  };
  EXPECT_EQ(s.LoadImage(wide(dir + "/none.fake").data(), 6, 0), ERES_BAD);
  ASSERT_EQ(zt::Run("touch '" + dir + "/empty.fake'"), 0);
  EXPECT_EQ(s.LoadImage(wide(dir + "/empty.fake").data(), 6, 0), ERES_BAD);
  {
    FILE* f = std::fopen((dir + "/two.fake").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(data, 1, sizeof data, f);
    std::fclose(f);
  }
  E2DSurface t;
  t.LinkECD(&ctx.ecd);
  ASSERT_EQ(t.LoadImage(wide(dir + "/two.fake").data(), 4, 0), ERES_OK);
  EXPECT_EQ(t.GetPixel(1, 0), 0x00FC00u);
}

}  // namespace
