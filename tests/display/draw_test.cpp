// Drawing primitives and bitmap text on surfaces of an open display.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "display/esurf_3d.h"
#include "tests/display/display_rig.h"

namespace {

using zt::DisplayRig;

// The set pixels of a surface as "x,y" strings (logical), for small surfaces.
std::vector<std::string> SetPixels(E2DSurface& s) {
  std::vector<std::string> out;
  for (int32_t y = 0; y < int32_t(s.GetHeight()); y++)
    for (int32_t x = 0; x < int32_t(s.GetWidth()); x++)
      if (s.GetPixel(x, y)) out.push_back(std::to_string(x) + "," + std::to_string(y));
  return out;
}

TEST(Primitives, LinesAndOutlinesInEveryOrientation) {
  for (uint8_t o = 0; o < 4; o++) {
    SCOPED_TRACE(int(o));
    DisplayRig rig(zt::HeadlessConfig(), o);
    ASSERT_EQ(rig.Open(), 0);
    E2DSurface s;
    ASSERT_EQ(rig.dsp.CreateSurface(&s, 20, 12), 0);
    s.DrawLine(0, 0, 4, 2, 0xFFFFFF);
    EXPECT_EQ(SetPixels(s), (std::vector<std::string>{"0,0", "1,0", "2,1", "3,1", "4,2"}));
    s.Clear(0);
    s.DrawLine(5, 3, 1, 3, 0xFFFFFF);
    EXPECT_EQ(SetPixels(s), (std::vector<std::string>{"1,3", "2,3", "3,3", "4,3", "5,3"}));
    s.Clear(0);
    s.DrawLine(-3, 3, 1, 3, 0xFFFFFF);
    EXPECT_EQ(SetPixels(s), (std::vector<std::string>{"0,3", "1,3"}));
    s.Clear(0);
    tagRECT one = {10, 10, 11, 11};
    s.DrawRect(&one, 0xFFFFFF);
    EXPECT_EQ(SetPixels(s), (std::vector<std::string>{"10,10"}));
    s.Clear(0);
    tagRECT two = {10, 10, 14, 12};
    s.DrawRect(&two, 0xFFFFFF);
    EXPECT_EQ(SetPixels(s).size(), 8u);
    s.Clear(0);
    tagRECT box = {2, 2, 6, 7};
    s.DrawRect(&box, 0xFFFFFF);
    EXPECT_EQ(SetPixels(s).size(), 4u + 4u + 3u + 3u);
    // Lines leaving the surface are clipped, never written outside.
    s.DrawLine(-100, -50, 300, 200, 0xFFFFFF);
    s.DrawLine(-5, -100, -5, 100, 0xFFFFFF);
  }
}

TEST(Primitives, FillsWithOpacity) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(), 0);
  E2DSurface s;
  ASSERT_EQ(rig.dsp.CreateSurface(&s, 8, 8), 0);
  tagRECT r = {1, 1, 3, 3};
  s.FillRect(&r, 0xFFFFFF, 0x08, 255);
  EXPECT_EQ(s.GetPixel(1, 1), 0xF8FCF8u);
  s.Clear(0);
  s.FillRect(&r, 0xFFFFFF, 0x08, 3);  // masked to 0 on 5:6:5
  EXPECT_EQ(s.GetPixel(1, 1), 0u);
  s.FillRect(&r, 0xFFFFFF, 0x08, 128);
  EXPECT_NE(s.GetPixel(1, 1), 0u);
  EXPECT_EQ(s.GetPixel(0, 0), 0u);
  // Null rectangle: the clip rectangle; additive and subtractive.
  s.Clear(0x404040);
  s.FillRect(nullptr, 0x404040, 0x10, 0);
  EXPECT_EQ(s.GetPixel(7, 7), 0x808080u);
  s.FillRect(nullptr, 0xFFFFFF, 0x20, 0);
  EXPECT_EQ(s.GetPixel(7, 7), 0u);

  // On an 8-bit surface the colour is a palette index: opacity never scales it.
  DisplayRig rig8(zt::FbConfig("64x48@8"));
  ASSERT_EQ(rig8.Open(), 0);
  E2DSurface p;
  ASSERT_EQ(rig8.dsp.CreateSurface(&p, 8, 8), 0);
  ASSERT_EQ(p.GetFormat(), 1);
  p.FillRect(&r, 200, 0x08, 100);
  EXPECT_EQ(p.GetPixel(1, 1), 200u);
}

TEST(Primitives, OvalsTrianglesAndGradients) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(), 0);
  E2DSurface s;
  ASSERT_EQ(rig.dsp.CreateSurface(&s, 40, 40), 0);
  s.FillOval(10, 10, 8, 6, 0xFFFFFF);
  EXPECT_NE(s.GetPixel(18, 16), 0u);  // centre
  EXPECT_NE(s.GetPixel(11, 16), 0u);
  EXPECT_EQ(s.GetPixel(9, 16), 0u);
  EXPECT_EQ(s.GetPixel(18, 9), 0u);
  s.Clear(0);
  s.DrawOval(10, 10, 8, 6, 0xFFFFFF);
  EXPECT_EQ(s.GetPixel(18, 16), 0u);  // an outline only
  int32_t lit = 0;
  for (int32_t x = 0; x < 40; x++) lit += s.GetPixel(x, 16) ? 1 : 0;
  EXPECT_GE(lit, 2);
  EXPECT_LE(lit, 6);
  EXPECT_NE(s.GetPixel(18, 11), 0u);  // top of the outline

  // A right triangle covers the half below its diagonal.
  s.Clear(0);
  s.FillPoly(0, 0, 20, 0, 0, 20, 0xFFFFFF);
  EXPECT_NE(s.GetPixel(1, 1), 0u);
  EXPECT_NE(s.GetPixel(18, 0), 0u);
  EXPECT_EQ(s.GetPixel(15, 15), 0u);
  EXPECT_EQ(s.GetPixel(20, 0), 0u);
  // Vertices far outside the surface neither overflow nor wrap: the whole
  // surface is covered.
  s.Clear(0);
  s.FillPoly(-2000000, -2000000, 2000000, -1000, -1000, 2000000, 0x00FF00);
  EXPECT_NE(s.GetPixel(0, 0), 0u);
  EXPECT_NE(s.GetPixel(39, 39), 0u);
  s.Clear(0);
  s.FillPoly(-60000, 5, 60000, 5, 0, 30, 0x00FF00);
  EXPECT_NE(s.GetPixel(0, 6), 0u);
  EXPECT_NE(s.GetPixel(39, 6), 0u);
  EXPECT_EQ(s.GetPixel(20, 4), 0u);

  // Gradients run from corner to corner.
  tagRECT r = {0, 0, 40, 40};
  s.GradientRect(&r, 0x000000, 0x0000FF, 0x000000, 0x0000FF);
  const uint32_t left = s.GetPixel(1, 20) & 0xFF, right = s.GetPixel(38, 20) & 0xFF;
  EXPECT_LT(left, 0x20u);
  EXPECT_GT(right, 0xD0u);
  EXPECT_EQ(s.GetPixel(20, 20) & 0xFFFF00, 0u);

  // A textured triangle reads its texture only when the formats agree.
  E2DSurface tex;
  tex.LinkECD(&rig.ecd);
  ASSERT_EQ(tex.Create(8, 8, EFMT_RGB32, 0), ERES_OK);
  tex.FillRect(nullptr, 0xFFFFFF);
  s.Clear(0);
  s.TexturePoly(0, 0, 30, 0, 0, 30, 0, 0, 8, 0, 0, 8, &tex);
  EXPECT_EQ(s.GetPixel(2, 2), 0u);
  E2DSurface tex16;
  ASSERT_EQ(rig.dsp.CreateSurface(&tex16, 8, 8), 0);
  tex16.FillRect(nullptr, 0xFFFFFF);
  s.TexturePoly(0, 0, 30, 0, 0, 30, 0, 0, 8, 0, 0, 8, &tex16);
  EXPECT_EQ(s.GetPixel(2, 2), 0xF8FCF8u);
}

// A fixed-width 4-glyph font "0123" of 3 x 5 pixels per glyph.
void MakeFixedFont(zt::DisplayRig& rig, E2DSurface& f) {
  ASSERT_EQ(rig.dsp.CreateSurface(&f, 12, 5), 0);
  f.SetColorKey(0);
  f.FillRect(nullptr, 0xFFFFFF);
  f.SetFontCharacters('0', '3');
}

TEST(Text, MeasuringRules) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(), 0);
  E2DSurface f;
  MakeFixedFont(rig, f);
  EXPECT_EQ(f.GetFontWidth("01"), 6u);
  f.SetFontPadding(1, 2);
  EXPECT_EQ(f.GetFontWidth("01"), 8u);
  EXPECT_EQ(f.GetFontWidth("0\n012"), 12u);
  EXPECT_EQ(f.GetFontWidth("09"), 4u);  // '9' has no glyph
  EXPECT_EQ(f.GetFontWidth(""), 0u);
  EXPECT_EQ(f.GetFontHeight("0\n1"), 10u);
  EXPECT_EQ(f.GetFontHeight("0\n"), 5u);
  EXPECT_EQ(f.GetFontHeight("\n\n0"), 15u);
  EXPECT_EQ(f.GetFontHeight("0\r1"), 5u);
  EXPECT_EQ(f.GetFontHeight(static_cast<const char*>(nullptr)), 5u);
  EXPECT_EQ(f.GetFontHeight(""), 0u);
  // An empty character set has no glyphs (no division by zero).
  const uint16_t empty[1] = {0};
  f.SetFontCharacterSet(empty);
  EXPECT_EQ(f.GetFontWidth("012"), 0u);
  f.SetFontCharacterSet("21");
  f.SetFontPadding(0, 0);
  EXPECT_EQ(f.GetFontWidth("1230"), 12u);  // 6 wide glyphs for a 2-character set
  // A glyph table shorter than the characters: nothing past it is read.
  E2DSurface vwf;
  ASSERT_EQ(rig.dsp.CreateSurface(&vwf, 12, 6), 0);
  vwf.SetColorKey(0);
  vwf.PutPixel(1, 0, 0xFFFFFF);
  vwf.PutPixel(2, 0, 0xFFFFFF);
  vwf.PutPixel(4, 0, 0xFFFFFF);
  vwf.PutPixel(11, 0, 0xFFFFFF);  // open run at the row's end
  vwf.BuildTableVwf(3);
  ASSERT_NE(vwf.GetGlyphTable(), nullptr);
  EXPECT_EQ(vwf.GetGlyphTable()[0], 1);
  EXPECT_EQ(vwf.GetGlyphTable()[3], 2);
  EXPECT_EQ(vwf.GetGlyphTable()[4], 1);
  EXPECT_EQ(vwf.GetGlyphTable()[5], 0);
  vwf.SetFontCharacters(0, 200);
  EXPECT_EQ(vwf.GetLastCharacter(), 2);
  EXPECT_EQ(vwf.GetFontHeight(static_cast<const char*>(nullptr)), 4u);
  // A character set longer than the glyph table: characters past it are skipped.
  vwf.SetFontCharacterSet("abcdef");
  EXPECT_EQ(vwf.GetFontWidth("ab"), 3u);
  EXPECT_EQ(vwf.GetFontWidth("def"), 0u);
  E2DSurface out;
  ASSERT_EQ(rig.dsp.CreateSurface(&out, 16, 8), 0);
  out.DrawFont(0, 0, &vwf, "fed", 0, 0);
  EXPECT_EQ(out.GetPixel(0, 0), 0u);
}

TEST(Text, DrawingAlignmentAndNumbers) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(), 0);
  E2DSurface f, s;
  ASSERT_EQ(rig.dsp.CreateSurface(&f, 33, 5), 0);  // "-0123456789" fixed, 3 wide
  f.SetColorKey(0);
  f.FillRect(nullptr, 0xFFFFFF);
  f.SetFontCharacterSet("-0123456789");
  ASSERT_EQ(rig.dsp.CreateSurface(&s, 64, 24), 0);
  auto columns = [&](int32_t row) {
    int32_t first = -1, last = -1;
    for (int32_t x = 0; x < 64; x++)
      if (s.GetPixel(x, row)) {
        if (first < 0) first = x;
        last = x;
      }
    return std::make_pair(first, last);
  };
  s.DrawFont(10, 0, &f, int32_t(-45));
  EXPECT_EQ(columns(0), std::make_pair(10, 18));
  s.Clear(0);
  s.DrawFont(40, 0, &f, int32_t(INT32_MIN));  // "-2147483648": 11 glyphs
  EXPECT_EQ(columns(0).second - columns(0).first + 1, std::min(33, 64 - 40));
  s.Clear(0);
  s.DrawFont(30, 0, &f, "12\n3", 0x201);  // centred per line, keyed
  EXPECT_EQ(columns(0), std::make_pair(27, 32));
  EXPECT_EQ(columns(5), std::make_pair(29, 31));
  s.Clear(0);
  s.DrawFont(30, 20, &f, "12", 0x500);  // right and bottom
  EXPECT_EQ(columns(19), std::make_pair(24, 29));
  EXPECT_EQ(columns(20).first, -1);
  EXPECT_EQ(columns(14).first, -1);
  // Word wrap: "12 34 56" at width 9 breaks after each space.
  std::vector<char> out(64);
  f.SetFontCharacterSet("-0123456789 ");
  f.PrepareFontWrap(out.data(), "12 34 56", 9);
  EXPECT_STREQ(out.data(), "12 \n34 \n56");
  // Drawn wrapped, it is the prepared text drawn plainly.
  E2DSurface a, b;
  ASSERT_EQ(rig.dsp.CreateSurface(&a, 32, 24), 0);
  ASSERT_EQ(rig.dsp.CreateSurface(&b, 32, 24), 0);
  a.DrawFontWrap(1, 1, &f, "12 34 56", 9, 0x01, 0);
  b.DrawFont(1, 1, &f, out.data(), 0x01, 0);
  for (int32_t y = 0; y < 24; y++)
    for (int32_t x = 0; x < 32; x++) ASSERT_EQ(a.GetPixel(x, y), b.GetPixel(x, y)) << x << "," << y;
  EXPECT_NE(a.GetPixel(1, 11), 0u);  // third line
  // Bottom-aligned: three lines of 5 end at y.
  a.Clear(0);
  a.DrawFontWrap(1, 20, &f, "12 34 56", 9, 0x401, 0);
  EXPECT_NE(a.GetPixel(1, 5), 0u);
  EXPECT_EQ(a.GetPixel(1, 4), 0u);
  EXPECT_EQ(a.GetPixel(1, 20), 0u);
}

}  // namespace

namespace {

TEST(Primitives, ScaledAndTurnedBlitsInEveryOrientation) {
  for (uint8_t o = 0; o < 4; o++) {
    SCOPED_TRACE(int(o));
    DisplayRig rig(zt::HeadlessConfig(), o);
    ASSERT_EQ(rig.Open(), 0);
    E2DSurface src, s;
    ASSERT_EQ(rig.dsp.CreateSurface(&src, 8, 8), 0);
    ASSERT_EQ(rig.dsp.CreateSurface(&s, 64, 48), 0);
    const tagRECT left = {0, 0, 4, 8}, right = {4, 0, 8, 8};
    src.FillRect(&left, 0x0000FF);
    src.FillRect(&right, 0x00FF00);
    const uint32_t red = src.GetPixel(0, 0), green = src.GetPixel(7, 0);
    struct Case {
      uint32_t rotation;
      int32_t dx, dy;    // offset from the centre that must be red
      int32_t gx, gy;    // ... and green
    } cases[] = {{0, -5, 0, 5, 0}, {2048, 5, 0, -5, 0}, {1024, 0, -5, 0, 5}, {3072, 0, 5, 0, -5}};
    for (const Case& c : cases) {
      SCOPED_TRACE(c.rotation);
      s.Clear(0);
      E2DBLTFX fx = {0, 0, 0x20000, 0x20000, c.rotation, 0};
      ASSERT_EQ(s.BltFx(32, 24, &src, nullptr, &fx), ERES_OK);
      EXPECT_EQ(s.GetPixel(32 + c.dx, 24 + c.dy), red);
      EXPECT_EQ(s.GetPixel(32 + c.gx, 24 + c.gy), green);
      // Twice the size: nothing beyond 8 pixels from the centre.
      EXPECT_EQ(s.GetPixel(32 - 10, 24), 0u);
      EXPECT_EQ(s.GetPixel(32 + 10, 24), 0u);
      EXPECT_EQ(s.GetPixel(32, 24 - 10), 0u);
      EXPECT_EQ(s.GetPixel(32, 24 + 10), 0u);
    }
    // A mirrored, slightly turned blit keeps its sides: red on the right.
    s.Clear(0);
    E2DBLTFX fx = {0, 0, 0x20000, 0x20000, 40, 1};
    ASSERT_EQ(s.BltFx(32, 24, &src, nullptr, &fx), ERES_OK);
    EXPECT_EQ(s.GetPixel(27, 24), green);
    EXPECT_EQ(s.GetPixel(37, 24), red);
  }
}

TEST(Primitives, RenderModelFilledAndWireframe) {
  for (uint8_t o : {0, 1}) {
    SCOPED_TRACE(int(o));
    DisplayRig rig(zt::HeadlessConfig(), o);
    ASSERT_EQ(rig.Open(), 0);
    E3DSurface m;
    ASSERT_EQ(rig.dsp.CreateSurface(&m, 3u, 2u), 0);
    m.SetVertex(0, -100, -100, 0);
    m.SetVertex(1, 100, -100, 0);
    m.SetVertex(2, 0, 100, 0);
    m.StartList();
    m.SetPolygon(0, 0, 1, 2, 0x0000FF);
    m.SetPolygon(1, 0, 2, 1, 0x0000FF);
    m.EndList();
    E2DSurface s;
    ASSERT_EQ(rig.dsp.CreateSurface(&s, 64, 48), 0);
    s.Render(0, 0, &m, 0, 0);
    const uint32_t red = E2DSurface::NativeToColor(E2DSurface::ColorToNative(0xFF, 4), 4);
    EXPECT_EQ(s.GetPixel(32, 24), red);
    EXPECT_EQ(s.GetPixel(2, 2), 0u);
    s.Clear(0);
    s.Render(0, 0, &m, 0x100, 0);
    EXPECT_EQ(s.GetPixel(32, 24), 0u);
    int lit = 0;
    for (int32_t y = 0; y < 48; y++)
      for (int32_t x = 0; x < 64; x++) lit += s.GetPixel(x, y) == red ? 1 : 0;
    EXPECT_GT(lit, 40);
    EXPECT_LT(lit, 400);
  }
}

}  // namespace
