// SDL2's software blitter and pixel conversion as outside oracles for the 5:6:5
// kernels: colour-keyed blits, surface alpha at multiples of 8, and narrowing
// conversions.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "display/erdr_kernel.h"
#include "display/esurf_2d.h"
#include "tests/display/display_support.h"

#ifdef ZARN_HAVE_SDL2
#include <SDL2/SDL.h>

namespace {

SDL_Surface* Wrap(E2DSurface& s, uint32_t sdlFormat) {
  return SDL_CreateRGBSurfaceWithFormatFrom(s.GetBuffer(), int(s.GetStoredWidth()),
                                            int(s.GetStoredRows()), s.GetBitsPerPixel(),
                                            int(s.GetPitch() * s.GetBytesPerPixel()), sdlFormat);
}

void Random565(E2DSurface& s, std::mt19937& rng, uint16_t key) {
  auto* p = reinterpret_cast<uint16_t*>(s.GetBuffer());
  for (uint32_t i = 0; i < s.GetPitch() * s.GetStoredRows(); i++)
    p[i] = (rng() % 5 == 0) ? key : uint16_t(rng());
}

bool Same(E2DSurface& a, E2DSurface& b) {
  return std::memcmp(a.GetBuffer(), b.GetBuffer(),
                     a.GetPitch() * a.GetStoredRows() * a.GetBytesPerPixel()) == 0;
}

// Our blit with or without the display's kernel table, against SDL's.
struct Case {
  int x, y;
  tagRECT r;
};
const Case kCases[] = {{0, 0, {0, 0, 24, 24}}, {3, 5, {1, 0, 24, 23}}, {-4, -2, {0, 0, 24, 24}},
                       {30, 20, {2, 3, 19, 24}}, {7, 1, {3, 3, 4, 20}}};

TEST(SdlOracle, ColourKeyedBlitsOnRgb565) {
  zt::OpenDisplay od;
  std::mt19937 rng(11);
  for (int withTable = 0; withTable < 2; withTable++) {
    if (withTable && !od.ok) GTEST_SKIP() << "display did not open";
    ECD* ecd = withTable ? &od.ctx.ecd : nullptr;
    for (const Case& c : kCases) {
      E2DSurface src, ours, theirs;
      src.LinkECD(ecd);
      ours.LinkECD(ecd);
      ASSERT_EQ(src.Create(24, 24, EFMT_RGB16, 1), ERES_OK);
      ASSERT_EQ(ours.Create(40, 30, EFMT_RGB16, 1), ERES_OK);
      ASSERT_EQ(theirs.Create(40, 30, EFMT_RGB16, 1), ERES_OK);
      const uint16_t key = 0xF81F;
      Random565(src, rng, key);
      Random565(ours, rng, 0);
      std::memcpy(theirs.GetBuffer(), ours.GetBuffer(), 40 * 30 * 2);
      src.SetColorKey(0xFF00FF);
      ASSERT_EQ(ours.BltFast(c.x, c.y, &src, &c.r, 0x01, 0), ERES_OK);
      SDL_Surface* s = Wrap(src, SDL_PIXELFORMAT_RGB565);
      SDL_Surface* d = Wrap(theirs, SDL_PIXELFORMAT_RGB565);
      ASSERT_TRUE(s && d) << SDL_GetError();
      SDL_SetColorKey(s, SDL_TRUE, key);
      SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_NONE);
      SDL_Rect sr = {c.r.left, c.r.top, c.r.right - c.r.left, c.r.bottom - c.r.top};
      SDL_Rect dr = {c.x, c.y, 0, 0};
      ASSERT_EQ(SDL_BlitSurface(s, &sr, d, &dr), 0);
      SDL_FreeSurface(s);
      SDL_FreeSurface(d);
      EXPECT_TRUE(Same(ours, theirs)) << "table " << withTable << " at " << c.x << "," << c.y;
    }
  }
}

TEST(SdlOracle, SurfaceAlphaAtMultiplesOfEight) {
  zt::OpenDisplay od;
  std::mt19937 rng(12);
  for (uint32_t alpha = 8; alpha < 256; alpha += 8) {
    // The generic blend always; the table's op kernel where no shift rule applies.
    const bool shift = alpha == 16 || alpha == 32 || alpha == 64 || alpha == 128 || alpha == 192 ||
                       alpha == 224 || alpha == 240;
    for (int withTable = 0; withTable < (shift || !od.ok ? 1 : 2); withTable++) {
      ECD* ecd = withTable ? &od.ctx.ecd : nullptr;
      for (const Case& c : kCases) {
        E2DSurface src, ours, theirs;
        src.LinkECD(ecd);
        ours.LinkECD(ecd);
        ASSERT_EQ(src.Create(24, 24, EFMT_RGB16, 1), ERES_OK);
        ASSERT_EQ(ours.Create(40, 30, EFMT_RGB16, 1), ERES_OK);
        ASSERT_EQ(theirs.Create(40, 30, EFMT_RGB16, 1), ERES_OK);
        Random565(src, rng, 0);
        Random565(ours, rng, 0);
        std::memcpy(theirs.GetBuffer(), ours.GetBuffer(), 40 * 30 * 2);
        ASSERT_EQ(ours.BltFast(c.x, c.y, &src, &c.r, 0x08, alpha), ERES_OK);
        SDL_Surface* s = Wrap(src, SDL_PIXELFORMAT_RGB565);
        SDL_Surface* d = Wrap(theirs, SDL_PIXELFORMAT_RGB565);
        ASSERT_TRUE(s && d) << SDL_GetError();
        SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_BLEND);
        SDL_SetSurfaceAlphaMod(s, uint8_t(alpha));
        SDL_Rect sr = {c.r.left, c.r.top, c.r.right - c.r.left, c.r.bottom - c.r.top};
        SDL_Rect dr = {c.x, c.y, 0, 0};
        ASSERT_EQ(SDL_BlitSurface(s, &sr, d, &dr), 0);
        SDL_FreeSurface(s);
        SDL_FreeSurface(d);
        ASSERT_TRUE(Same(ours, theirs)) << "alpha " << alpha << " table " << withTable << " at "
                                        << c.x << "," << c.y;
      }
    }
  }
}

TEST(SdlOracle, NarrowingConversionsMatchConvertPixels) {
  struct F {
    uint8_t ours;
    uint32_t sdl;
    int bytes;
  } fmts[] = {{6, SDL_PIXELFORMAT_XRGB8888, 4}, {5, SDL_PIXELFORMAT_BGR24, 3},
              {4, SDL_PIXELFORMAT_RGB565, 2},   {3, SDL_PIXELFORMAT_XRGB1555, 2},
              {2, SDL_PIXELFORMAT_XRGB4444, 2}};
  std::mt19937 rng(13);
  const int w = 37, h = 5;
  for (const F& from : fmts)
    for (const F& to : fmts) {
      if (to.ours >= from.ours) continue;  // narrowing only (and 24 from 32 bits)
      std::vector<uint8_t> src(size_t(w * h * from.bytes)), ours(size_t(w * h * to.bytes)),
          theirs(ours.size());
      for (auto& b : src) b = uint8_t(rng());
      // Keep the unused top bits clear, as surfaces store them.
      for (int i = 0; i < w * h; i++) {
        uint8_t* p = &src[size_t(i * from.bytes)];
        if (from.ours == 6) p[3] = 0;
        if (from.ours == 3) p[1] &= 0x7F;
        if (from.ours == 2) p[1] &= 0x0F;
      }
      ExBltColorConvert(ours.data(), src.data(), w, w, to.ours, from.ours, w, h, nullptr, nullptr);
      ASSERT_EQ(SDL_ConvertPixels(w, h, from.sdl, src.data(), w * from.bytes, to.sdl, theirs.data(),
                                  w * to.bytes),
                0)
          << SDL_GetError();
      EXPECT_EQ(ours, theirs) << "from " << int(from.ours) << " to " << int(to.ours);
    }
}

}  // namespace

#else
TEST(SdlOracle, NeedsSdl2) { GTEST_SKIP() << "built without SDL2"; }
#endif
