// The generated pictures through the project's own loaders and surfaces: sizes
// and pixels, font tables from the marker rows and text drawn with them, and the
// stone rows composed the way the game composes them at load time.
#if __has_include("loaders/eldr_bmp.h") && __has_include("loaders/eldr_png.h")
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "display/edsp_base.h"
#include "display/esurf_2d.h"
#include "display/esurf_3d.h"
#include "framework/emod_bytes.h"
#include "framework/emod_file.h"
#include "framework/emod_math.h"
#include "framework/emod_memory.h"
#include "framework/zarn_types.h"
#include "loaders/eldr_base.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes PackEntry(const std::string& pack, const char* name) {
  ClassEFile f;
  Bytes out;
  if (!f.Open(pack.c_str(), 1)) return out;
  void* data = nullptr;
  uint32_t len = 0;
  if (f.PackGetFileData(data, len, name) != 0) return out;
  out.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + len);
  ClassEMemory::DeAlloc(data);
  return out;
}

uint32_t Le32(const Bytes& b, size_t at) { return EBytes_Get32(b.data() + at); }

class OwnLoaders : public ::testing::Test {
 protected:
  ClassEMemory mem;
  ClassEMath math;
  ClassEDisplay dsp;
  ECD ecd{};
  std::string gfx = std::string(ZARN_BINARY_DIR) + "/res/gfx.epk";

  void SetUp() override {
    if (PackEntry(gfx, "sheet.bmp").empty()) GTEST_SKIP() << "no graphics pack in this build";
    math.Init();
    ecd.mem = &mem;
    ecd.math = &math;
    ecd.dsp = &dsp;
    ASSERT_EQ(RegisterDisplayLoaders(&dsp), 1);
  }
  // Loads a pack entry into a surface of the given format.
  bool Load(E2DSurface& s, const char* name, uint8_t format) {
    Bytes b = PackEntry(gfx, name);
    s.LinkECD(&ecd);
    return !b.empty() && s.LoadImage(b.data(), uint32_t(b.size()), format, 1) == 0;
  }
};

TEST_F(OwnLoaders, EveryPictureLoadsWithItsSizeAndPixels) {
  const char* bmps[] = {"splash.bmp", "title.bmp", "gamehud.bmp", "sheet.bmp", "block.bmp", "minisheet.bmp",
                        "minibomb.bmp", "font_frontmask.bmp", "font_backmask.bmp", "keyfont.bmp", "font.bmp"};
  for (const char* n : bmps) {
    SCOPED_TRACE(n);
    Bytes b = PackEntry(gfx, n);
    E2DSurface s;
    ASSERT_TRUE(Load(s, n, 6));
    const uint32_t w = Le32(b, 18), h = Le32(b, 22);
    ASSERT_EQ(s.GetWidth(), w);
    ASSERT_EQ(s.GetHeight(), h);
    // Every pixel as the file holds it (bottom-up rows of blue, green, red).
    const size_t stride = (w * 3 + 3) & ~3u, off = Le32(b, 10);
    int wrong = 0;
    for (uint32_t y = 0; y < h; y++)
      for (uint32_t x = 0; x < w; x++) {
        const uint8_t* p = &b[off + stride * (h - 1 - y) + x * 3];
        const uint32_t want = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        wrong += s.GetPixel(int32_t(x), int32_t(y)) != want;
      }
    EXPECT_EQ(wrong, 0);
  }
  for (const char* n : {"kbkey.png", "zarnbanner.png"}) {
    SCOPED_TRACE(n);
    Bytes b = PackEntry(gfx, n);
    E2DSurface s;
    ASSERT_TRUE(Load(s, n, 6));
    EXPECT_EQ(s.GetWidth(), uint32_t(b[16] << 24 | b[17] << 16 | b[18] << 8 | b[19]));
    EXPECT_EQ(s.GetHeight(), uint32_t(b[20] << 24 | b[21] << 16 | b[22] << 8 | b[23]));
  }
}

TEST_F(OwnLoaders, FontsMeasureAndDrawFromTheirMarkerRows) {
  E2DSurface face, mask, keys, screen;
  ASSERT_TRUE(Load(face, "font_frontmask.bmp", 4));
  ASSERT_TRUE(Load(mask, "font_backmask.bmp", 4));
  ASSERT_TRUE(Load(keys, "keyfont.bmp", 4));
  for (E2DSurface* f : {&face, &mask, &keys}) {
    f->SetColorKey(0xFF00FF);
    f->BuildTableVwf(128);
  }
  keys.SetFontPadding(1, 0);
  const char* text = "Score: 120 gjpqy WMW";
  const uint32_t w = face.GetFontWidth(text);
  EXPECT_GT(w, 60u);
  EXPECT_EQ(mask.GetFontWidth(text), w) << "the mask's glyphs sit where the face's do";
  for (int c = 33; c < 127; c++) {
    char one[2] = {char(c), 0};
    EXPECT_GE(face.GetFontWidth(one), 3u) << c;
    EXPECT_GE(keys.GetFontWidth(one), 2u) << c;
  }
  for (int c = 24; c < 32; c++) {
    char one[2] = {char(c), 0};
    EXPECT_GE(keys.GetFontWidth(one), 8u) << c;
  }
  // Drawn as the game draws font 0 over a mid grey: a dark rim from the mask, a light face.
  screen.LinkECD(&ecd);
  ASSERT_EQ(screen.Create(320, 40, EFMT_RGB16, 1), ERES_OK);
  screen.FillRect(nullptr, 0x808080, 0, 0);
  screen.DrawFont(10, 10, &mask, "Hi 42", 0x21, 0);
  screen.DrawFont(10, 10, &face, "Hi 42", 1, 0);
  int dark = 0, light = 0;
  for (int y = 0; y < 40; y++)
    for (int x = 0; x < 320; x++) {
      uint32_t p = screen.GetPixel(x, y);
      dark += (p & 0xFF) < 0x30;
      light += (p & 0xFF) > 0xD0;
    }
  EXPECT_GT(light, 30);
  EXPECT_GT(dark, light);
}

// The logo as the intro shows it in the middle of its turn: coloured by the fixed
// table, lit, turned by (2488, 1536, 0) and drawn at (0, -20).
TEST_F(OwnLoaders, LogoShowsUprightFaceOnAndLit) {
  Bytes b = PackEntry(gfx, "zarnlogo.3ds");
  E3DSurface logo;
  logo.LinkECD(&ecd);
  ASSERT_EQ(logo.LoadModel(b.data(), uint32_t(b.size())), 0);
  static const int kRed[][2] = {{0, 1}, {4, 5}, {10, 11}, {22, 23}, {28, 33}, {40, 41}, {44, 85}, {90, 91}, {96, 97},
                                {100, 103}, {112, 115}};
  for (uint32_t i = 0; i < 120; i++) {
    bool red = false;
    for (auto& r : kRed) red = red || (int(i) >= r[0] && int(i) <= r[1]);
    logo.SetColor(i, red ? 0x0000FF : 0xFFFFFF);
  }
  logo.SetLightSource(128, 128, -128, 48, 32);
  logo.Reset();
  logo.Scale(0x10000, 0x10000, 0x10000);
  logo.Rotate(2488, 1536, 0);
  E2DSurface screen;
  screen.LinkECD(&ecd);
  ASSERT_EQ(screen.Create(320, 240, EFMT_RGB32, 1), ERES_OK);
  screen.Render(0, -20, &logo, 0x80000200u, 0);
  int minx = 320, maxx = -1, miny = 240, maxy = -1, red = 0, white = 0, drawn = 0;
  uint64_t red_level = 0;
  for (int y = 0; y < 240; y++)
    for (int x = 0; x < 320; x++) {
      const uint32_t p = screen.GetPixel(x, y);
      if (p == 0) continue;
      drawn++;
      minx = std::min(minx, x); maxx = std::max(maxx, x);
      miny = std::min(miny, y); maxy = std::max(maxy, y);
      const uint32_t r = p & 255, g = (p >> 8) & 255, bl = (p >> 16) & 255;
      if (r > 2 * g + 20 && r > 2 * bl + 20) {
        red++;
        red_level += r;
      } else if (g > 40 && std::abs(int(r) - int(g)) < 16 && std::abs(int(g) - int(bl)) < 16) {
        white++;
      }
    }
  ASSERT_GT(drawn, 2000);
  EXPECT_NEAR(minx + maxx, 320, 12) << "centred";
  EXPECT_GT(maxx - minx, 180);
  EXPECT_LT(maxx - minx, 300);
  EXPECT_LT(maxy - miny, (maxx - minx) / 2) << "a word lying flat, not standing on end";
  EXPECT_GT(red, drawn / 2) << "the letter faces point at the eye";
  EXPECT_GT(white, 0) << "the sides show";
  EXPECT_GT(red_level / uint64_t(std::max(red, 1)), 150u) << "the faces are lit, not ambient";
}

// d1 of a pixel from the centre of a 24x24 cell: the stone's diamond.
float D1(int x, int y) { return std::fabs(x + 0.5f - 12) + std::fabs(y + 0.5f - 12); }

TEST_F(OwnLoaders, StoneRowsComposeIntoKeyedDiamonds) {
  E2DSurface block, sheet;
  ASSERT_TRUE(Load(block, "block.bmp", 4));
  ASSERT_TRUE(Load(sheet, "sheet.bmp", 4));
  block.SetColorKey(0x800080);
  sheet.SetColorKey(0xFF00FF);
  const uint32_t colours[7] = {0x00D0D0, 0xFF00C0, 0x00D000, 0x0000FF, 0x0060C0, 0xFF6000, 0xD0D0D0};
  for (int i = 0; i < 7; i++) {
    tagRECT a = {0, 0, 120, 24}, b = {0, 24, 120, 48}, c = {0, 48, 120, 72};
    ASSERT_EQ(sheet.BltFast(0, 24 * i, &block, &a, 6, colours[i]), ERES_OK);
    ASSERT_EQ(sheet.BltFast(0, 24 * i, &block, &b, 0x11, 0), ERES_OK);
    ASSERT_EQ(sheet.BltFast(0, 24 * i, &block, &c, 1, 0), ERES_OK);
  }
  tagRECT ice = {168, 0, 192, 24}, shimmer = {120, 144, 144, 168};
  ASSERT_EQ(sheet.BltFast(168, 48, &sheet, &ice, 6, 0xFF8080), ERES_OK);
  sheet.SetColorKey(0);
  ASSERT_EQ(sheet.BltFast(168, 48, &sheet, &shimmer, 1, 0), ERES_OK);
  sheet.SetColorKey(0xFF00FF);
  const uint32_t key = sheet.GetColorKey();  // magenta as the 5:6:5 surface reads it back
  auto check_cell = [&](int k, uint32_t colour) {
    SCOPED_TRACE(k);
    int ox = 24 * (k & 7), oy = 24 * (k >> 3), outside = 0, inside = 0;
    uint32_t sum[3] = {0, 0, 0};
    for (int y = 0; y < 24; y++)
      for (int x = 0; x < 24; x++) {
        uint32_t p = sheet.GetPixel(ox + x, oy + y);
        if (D1(x, y) > 12) outside += p != key;
        else if (D1(x, y) < 10) {
          inside += p == key;
          for (int ch = 0; ch < 3; ch++) sum[ch] += (p >> (8 * ch)) & 255;
        }
      }
    EXPECT_EQ(outside, 0) << "pixels outside the stone that are not key-coloured";
    EXPECT_EQ(inside, 0) << "holes in the stone";
    // The stone keeps its colour's character: its strongest channel stays strongest.
    int want = 0, got = 0;
    for (int ch = 1; ch < 3; ch++) {
      if (((colour >> (8 * ch)) & 255) > ((colour >> (8 * want)) & 255)) want = ch;
      if (sum[ch] > sum[got]) got = ch;
    }
    if (colour != 0xD0D0D0 && colour != 0x00D0D0) {
      EXPECT_EQ(got, want);
    }
  };
  for (int i = 0; i < 7; i++)
    for (int f = 0; f < 5; f++) check_cell(8 * i + f, colours[i]);
  check_cell(23, 0xFF8080);

  // The small sheet composes its first row from its own templates.
  E2DSurface mini;
  ASSERT_TRUE(Load(mini, "minisheet.bmp", 4));
  for (int i = 0; i < 7; i++) {
    tagRECT t = {30, 12, 36, 18}, ad = {36, 12, 42, 18}, ol = {42, 12, 48, 18};
    ASSERT_EQ(mini.BltFast(6 * i, 0, &mini, &t, 7, colours[i]), ERES_OK);
    mini.SetColorKey(0xFF00FF);
    ASSERT_EQ(mini.BltFast(6 * i, 0, &mini, &ad, 0x11, 0), ERES_OK);
    mini.SetColorKey(0x800080);
    ASSERT_EQ(mini.BltFast(6 * i, 0, &mini, &ol, 1, 0), ERES_OK);
  }
  for (int i = 0; i < 7; i++) {
    EXPECT_EQ(mini.GetPixel(6 * i, 0), key) << i;
    EXPECT_NE(mini.GetPixel(6 * i + 2, 2), key) << i;
    EXPECT_NE(mini.GetPixel(6 * i + 2, 2), 0x800080u) << i;
  }
}

}  // namespace
#endif
