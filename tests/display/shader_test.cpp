// Pixel shaders and the memory blit: the colour exchange per format, the stock
// shaders, positions and parameter, the colour key, and the BltPixelShader front.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "display/erdr_kernel.h"
#include "display/esurf_2d.h"

namespace {

uint32_t LoadPx(const E2DSurface& s, int x, int y) {
  uint32_t v = 0;
  std::memcpy(&v, s.GetBuffer() + (uint32_t(y) * s.GetPitch() + uint32_t(x)) * s.GetBytesPerPixel(),
              s.GetBytesPerPixel());
  return v;
}
void StorePx(E2DSurface& s, int x, int y, uint32_t v) {
  std::memcpy(s.GetBuffer() + (uint32_t(y) * s.GetPitch() + uint32_t(x)) * s.GetBytesPerPixel(), &v,
              s.GetBytesPerPixel());
}

uint32_t g_seenDst, g_seenSrc;
int g_calls;
uint32_t Record(uint32_t dst, uint32_t src, uint32_t, uint32_t, int32_t param) {
  g_seenDst = dst;
  g_seenSrc = src;
  g_calls++;
  return uint32_t(param);
}

// One native pixel of each side to the shader and one result back, per format.
TEST(PixelShader, ColourExchangePerFormat) {
  struct Case {
    uint8_t format;
    uint32_t dst, src;          // native
    uint32_t seenDst, seenSrc;  // 0x00RRGGBB as the shader sees them
    uint32_t result, stored;    // what the shader returns, the native value stored
  } cases[] = {
      {2, 0x0ABC, 0x0FFF, 0xA0B0C0, 0xF0F0F0, 0x12345678, 0x0357},
      {3, 0x7FFF, 0x4210, 0xF8F8F8, 0x808080, 0x00FFFFFF, 0x7FFF},
      {3, 0x0001, 0x7C00, 0x000008, 0xF80000, 0x00070707, 0x0000},
      {4, 0xF800, 0x07E0, 0xF80000, 0x00FC00, 0x00FFFFFF, 0xFFFF},
      {4, 0x001F, 0x0821, 0x0000F8, 0x080408, 0x00080408, 0x0821},
      {5, 0x123456, 0xABCDEF, 0x123456, 0xABCDEF, 0xFF654321, 0x654321},
      {6, 0x80123456, 0xFFABCDEF, 0x80123456, 0xFFABCDEF, 0xDEADBEEF, 0xDEADBEEF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.format));
    E2DSurface d, s;
    ASSERT_EQ(d.Create(3, 2, c.format, 0), 0);
    ASSERT_EQ(s.Create(3, 2, c.format, 0), 0);
    StorePx(d, 2, 1, c.dst);
    StorePx(s, 0, 0, c.src);
    const tagRECT r = {0, 0, 1, 1};
    g_calls = 0;
    ASSERT_EQ(d.BltPixelShader(2, 1, &s, &r, Record, 0, c.result), 0);
    EXPECT_EQ(g_calls, 1);
    EXPECT_EQ(g_seenDst, c.seenDst);
    EXPECT_EQ(g_seenSrc, c.seenSrc);
    EXPECT_EQ(LoadPx(d, 2, 1), c.stored);
  }
}

TEST(PixelShader, StockShaders) {
  EXPECT_EQ(EPShader_AND(0xF0F0F0, 0x3C3C3C, 1, 2, 3), 0x303030u);
  EXPECT_EQ(EPShader_OR(0xF00000, 0x00000F, 0, 0, 0), 0xF0000Fu);
  EXPECT_EQ(EPShader_XOR(0xFF00FF, 0x0F0F0F, 0, 0, 0), 0xF00FF0u);
  EXPECT_EQ(EPShader_Grayscale(0x123456, 0x0000FF, 0, 0, 0), 0x555555u);  // 255 / 3

  // Grayscale of a pure red 5:6:5 source: 248 / 3 = 82, packed as red 10,
  // green 20, blue 10.
  E2DSurface d, s;
  ASSERT_EQ(d.Create(1, 1, 4, 0), 0);
  ASSERT_EQ(s.Create(1, 1, 4, 0), 0);
  StorePx(s, 0, 0, 0xF800);
  ASSERT_EQ(d.BltPixelShader(0, 0, &s, nullptr, EPShader_Grayscale, 0, 0), 0);
  EXPECT_EQ(LoadPx(d, 0, 0), (10u << 11) | (20u << 5) | 10u);

  // XOR twice with the same source restores the destination on every format.
  std::mt19937 rng(5);
  for (uint8_t f = 2; f <= 6; f++) {
    SCOPED_TRACE(int(f));
    E2DSurface a, b, keep;
    ASSERT_EQ(a.Create(9, 5, f, 0), 0);
    ASSERT_EQ(b.Create(9, 5, f, 0), 0);
    ASSERT_EQ(keep.Create(9, 5, f, 0), 0);
    for (int y = 0; y < 5; y++)
      for (int x = 0; x < 9; x++) {
        a.PutPixel(x, y, rng() & 0xFFFFFF);
        b.PutPixel(x, y, rng() & 0xFFFFFF);
      }
    ASSERT_EQ(keep.BltFast(0, 0, &a, nullptr), 0);
    ASSERT_EQ(a.BltPixelShader(0, 0, &b, nullptr, EPShader_XOR, 0, 0), 0);
    bool changed = false;
    for (int y = 0; y < 5; y++)
      for (int x = 0; x < 9; x++) changed |= a.GetPixel(x, y) != keep.GetPixel(x, y);
    EXPECT_TRUE(changed);
    ASSERT_EQ(a.BltPixelShader(0, 0, &b, nullptr, EPShader_XOR, 0, 0), 0);
    for (int y = 0; y < 5; y++)
      for (int x = 0; x < 9; x++) ASSERT_EQ(a.GetPixel(x, y), keep.GetPixel(x, y)) << x << "," << y;
  }
}

uint32_t Position(uint32_t, uint32_t, uint32_t x, uint32_t y, int32_t param) {
  return x << 16 | y << 8 | uint32_t(param & 0xFF);
}

// x and y count from the drawn rectangle's top-left wherever it lies; clipping
// at the destination's left and top moves that corner.
TEST(PixelShader, PositionsParameterAndClipping) {
  E2DSurface d, s;
  ASSERT_EQ(d.Create(10, 8, 6, 0), 0);
  ASSERT_EQ(s.Create(10, 8, 6, 0), 0);
  const tagRECT r = {4, 3, 7, 5};
  ASSERT_EQ(d.BltPixelShader(6, 2, &s, &r, Position, 0, 0x1A5), 0);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 10; x++) {
      const bool inside = x >= 6 && x < 9 && y >= 2 && y < 4;
      EXPECT_EQ(LoadPx(d, x, y), inside ? uint32_t((x - 6) << 16 | (y - 2) << 8 | 0xA5) : 0u)
          << x << "," << y;
    }
  d.Clear(0);
  const tagRECT wide = {4, 3, 9, 6};
  ASSERT_EQ(d.BltPixelShader(-2, -1, &s, &wide, Position, 0, 7), 0);
  EXPECT_EQ(LoadPx(d, 0, 0), 0x07u);  // source (6, 4) is the drawn rectangle's first pixel
  EXPECT_EQ(LoadPx(d, 1, 0), 0x010007u);
  EXPECT_EQ(LoadPx(d, 2, 1), 0x020107u);
  EXPECT_EQ(LoadPx(d, 3, 0), 0u);
  EXPECT_EQ(LoadPx(d, 0, 2), 0u);
}

uint32_t Forbidden(uint32_t, uint32_t, uint32_t, uint32_t, int32_t) {
  ADD_FAILURE() << "the shader is not called on 8-bit surfaces";
  return 0;
}

TEST(PixelShader, ColourKeyAndEightBitCopies) {
  for (uint8_t f : {uint8_t(1), uint8_t(4), uint8_t(5)}) {
    SCOPED_TRACE(int(f));
    E2DSurface d, s;
    ASSERT_EQ(d.Create(4, 1, f, 0), 0);
    ASSERT_EQ(s.Create(4, 1, f, 0), 0);
    const uint32_t key = f == 1 ? 7 : 0x00FF00;
    s.SetColorKey(key);
    for (int x = 0; x < 4; x++)
      s.PutPixel(x, 0, x % 2 ? key : (f == 1 ? uint32_t(x + 1) : 0x0000FFu));
    d.FillRect(nullptr, f == 1 ? 9 : 0xFF0000);
    EPIXELSHADER shader = f == 1 ? Forbidden : EPShader_OR;
    ASSERT_EQ(d.BltPixelShader(0, 0, &s, nullptr, shader, EBLT_CK, 0), 0);
    auto q = [f](uint32_t c) {
      return E2DSurface::NativeToColor(E2DSurface::ColorToNative(c, f), f);
    };
    for (int x = 0; x < 4; x++) {
      const uint32_t want =
          x % 2 ? (f == 1 ? 9u : q(0xFF0000)) : (f == 1 ? uint32_t(x + 1) : q(0xFF00FF));
      EXPECT_EQ(d.GetPixel(x, 0), want) << x;
    }
    // Without ck every source pixel reaches the shader (8-bit: a plain copy).
    ASSERT_EQ(d.BltPixelShader(0, 0, &s, nullptr, shader, 0, 0), 0);
    EXPECT_EQ(d.GetPixel(1, 0), f == 1 ? 7u : q(0xFFFF00));
  }
}

TEST(PixelShader, FrontResults) {
  E2DSurface d, s, other, none;
  ASSERT_EQ(d.Create(4, 4, 4, 0), 0);
  ASSERT_EQ(s.Create(4, 4, 4, 0), 0);
  ASSERT_EQ(other.Create(4, 4, 6, 0), 0);
  EXPECT_EQ(d.BltPixelShader(0, 0, &other, nullptr, EPShader_OR, 0, 0), ERES_FORMATSDIFFER);
  EXPECT_EQ(d.BltPixelShader(0, 0, &none, nullptr, EPShader_OR, 0, 0), ERES_BAD);
  EXPECT_EQ(d.BltPixelShader(0, 0, nullptr, nullptr, EPShader_OR, 0, 0), ERES_BAD);
  EXPECT_EQ(d.BltPixelShader(0, 0, &s, nullptr, nullptr, 0, 0), ERES_BADARGS);
  EXPECT_EQ(d.BltPixelShader(4, 0, &s, nullptr, EPShader_OR, 0, 0), ERES_BADARGS);
  EXPECT_EQ(d.GetLockCount(), 0);
  EXPECT_EQ(s.GetLockCount(), 0);
}

}  // namespace
