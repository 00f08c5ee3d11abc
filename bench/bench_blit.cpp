// The frame's hot paths on a 320x240 5:6:5 back buffer: colour-keyed 24x24
// sprites, 6-pixel glyphs in two passes (mask with ck|sb, face with ck), a
// full-screen copy and opacity fills at 128 and 192; each beside SDL2's software
// blitter doing the same work on the same buffers.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <vector>

#include "display/edsp_base.h"
#include "display/esurf_2d.h"
#include "framework/emod_device.h"
#include "framework/emod_memory.h"
#include "standin/standin.h"

#ifdef ZARN_HAVE_SDL2
#include <SDL2/SDL.h>
#endif

namespace {

constexpr int kSprites = 200, kGlyphs = 60, kGlyphW = 6, kGlyphH = 10;

struct World {
  ZARNCONFIG cfg{};
  ClassEMemory mem;
  ClassEDisplay dsp;
  ECD ecd{};
  E2DSurface back, background, sprite, font;
  std::vector<tagPOINT> spritePos, glyphPos;
  bool open = false;
#ifdef ZARN_HAVE_SDL2
  SDL_Surface *sBack = nullptr, *sBackground = nullptr, *sSprite = nullptr, *sFontMask = nullptr,
              *sFontFace = nullptr, *sSolid = nullptr;
  E2DSurface solid;
#endif

  World() {
    standin::Config c = standin::DefaultConfig();
    c.backend = "headless";
    c.fakeClock = true;
    c.menuExits = false;
    standin::Configure(c);
    HandleDevicePtr(false);
    cfg.renderformat = 32;
    cfg.surfacetype = 1;
    cfg.flags = 0x8;
    ecd.cfg = &cfg;
    ecd.mem = &mem;
    ecd.dsp = &dsp;
    open = dsp.Open(nullptr, &ecd, 16, 320, 240, false) == 0;
    for (E2DSurface* s : {&back, &background, &sprite, &font}) s->LinkECD(&ecd);
    back.Create(320, 240, 4, 0);
    background.Create(320, 240, 4, 0);
    sprite.Create(24, 24, 4, 0);
    font.Create(kGlyphW * 64, kGlyphH, 4, 0);
    std::mt19937 rng(1);
    for (uint32_t y = 0; y < 240; y++)
      for (uint32_t x = 0; x < 320; x++) background.PutPixel(int32_t(x), int32_t(y), rng() & 0xFFFFFF);
    back.BltFast(0, 0, &background, nullptr);
    // A round stone on the key colour.
    sprite.FillRect(nullptr, 0xFF00FF);
    for (int y = 0; y < 24; y++)
      for (int x = 0; x < 24; x++)
        if ((x - 12) * (x - 12) + (y - 12) * (y - 12) < 121) sprite.PutPixel(x, y, rng() & 0xFFFFFF);
    sprite.SetColorKey(0xFF00FF);
    // Glyphs: about half of each cell drawn.
    font.FillRect(nullptr, 0xFF00FF);
    for (int y = 0; y < kGlyphH; y++)
      for (int x = 0; x < kGlyphW * 64; x++)
        if (rng() % 2) font.PutPixel(x, y, 0x808080);
    font.SetColorKey(0xFF00FF);
    for (int i = 0; i < kSprites; i++)
      spritePos.push_back({int32_t(rng() % 330) - 12, int32_t(rng() % 250) - 12});
    for (int i = 0; i < kGlyphs; i++)
      glyphPos.push_back({int32_t(10 + (i % 20) * kGlyphW), int32_t(40 + (i / 20) * 14)});
#ifdef ZARN_HAVE_SDL2
    auto wrap = [](E2DSurface& s) {
      return SDL_CreateRGBSurfaceWithFormatFrom(s.GetBuffer(), int(s.GetStoredWidth()),
                                                int(s.GetStoredRows()), 16, int(s.GetPitch() * 2),
                                                SDL_PIXELFORMAT_RGB565);
    };
    sBack = wrap(back);
    sBackground = wrap(background);
    sSprite = wrap(sprite);
    sFontMask = wrap(font);
    sFontFace = wrap(font);
    solid.Create(320, 240, 4, 1);
    solid.FillRect(nullptr, 0x4080C0);
    sSolid = wrap(solid);
    SDL_SetSurfaceBlendMode(sBackground, SDL_BLENDMODE_NONE);
    SDL_SetColorKey(sSprite, SDL_TRUE, 0xF81F);
    SDL_SetSurfaceBlendMode(sSprite, SDL_BLENDMODE_NONE);
    SDL_SetColorKey(sFontMask, SDL_TRUE, 0xF81F);
    SDL_SetSurfaceBlendMode(sFontMask, SDL_BLENDMODE_MOD);
    SDL_SetColorKey(sFontFace, SDL_TRUE, 0xF81F);
    SDL_SetSurfaceBlendMode(sFontFace, SDL_BLENDMODE_NONE);
    SDL_SetSurfaceBlendMode(sSolid, SDL_BLENDMODE_BLEND);
#endif
  }
};

World& W() {
  static World w;
  return w;
}

void Sprites(benchmark::State& state, bool table) {
  World& w = W();
  for (E2DSurface* s : {&w.back, &w.sprite}) s->LinkECD(table ? &w.ecd : nullptr);
  for (auto _ : state)
    for (const tagPOINT& p : w.spritePos) w.back.BltFast(p.x, p.y, &w.sprite, nullptr, 0x01, 0);
  for (E2DSurface* s : {&w.back, &w.sprite}) s->LinkECD(&w.ecd);
  state.SetItemsProcessed(state.iterations() * kSprites * 24 * 24);
}
void BM_Sprites24Keyed_Ours(benchmark::State& state) { Sprites(state, true); }
void BM_Sprites24Keyed_OursGeneric(benchmark::State& state) { Sprites(state, false); }
BENCHMARK(BM_Sprites24Keyed_Ours);
BENCHMARK(BM_Sprites24Keyed_OursGeneric);

void BM_Sprites24KeyedOpacity200_Ours(benchmark::State& state) {
  World& w = W();
  for (auto _ : state)
    for (const tagPOINT& p : w.spritePos) w.back.BltFast(p.x, p.y, &w.sprite, nullptr, 0x09, 200);
  state.SetItemsProcessed(state.iterations() * kSprites * 24 * 24);
}
BENCHMARK(BM_Sprites24KeyedOpacity200_Ours);

void BM_Glyphs6TwoPass_Ours(benchmark::State& state) {
  World& w = W();
  for (auto _ : state)
    for (int i = 0; i < kGlyphs; i++) {
      const tagRECT r = {(i % 64) * kGlyphW, 0, (i % 64) * kGlyphW + kGlyphW, kGlyphH};
      w.back.BltFast(w.glyphPos[size_t(i)].x + 1, w.glyphPos[size_t(i)].y + 1, &w.font, &r, 0x21, 0);
      w.back.BltFast(w.glyphPos[size_t(i)].x, w.glyphPos[size_t(i)].y, &w.font, &r, 0x01, 0);
    }
  state.SetItemsProcessed(state.iterations() * kGlyphs * 2 * kGlyphW * kGlyphH);
}
BENCHMARK(BM_Glyphs6TwoPass_Ours);

void BM_FullScreenCopy_Ours(benchmark::State& state) {
  World& w = W();
  for (auto _ : state) w.back.BltFast(0, 0, &w.background, nullptr);
  state.SetItemsProcessed(state.iterations() * 320 * 240);
}
BENCHMARK(BM_FullScreenCopy_Ours);

void Fill(benchmark::State& state, uint32_t opacity) {
  World& w = W();
  for (auto _ : state) w.back.FillRect(nullptr, 0x4080C0, 0x08, opacity);
  state.SetItemsProcessed(state.iterations() * 320 * 240);
}
void BM_Fill128_Ours(benchmark::State& state) { Fill(state, 128); }
void BM_Fill192_Ours(benchmark::State& state) { Fill(state, 192); }
BENCHMARK(BM_Fill128_Ours);
BENCHMARK(BM_Fill192_Ours);

#ifdef ZARN_HAVE_SDL2
void BM_Sprites24Keyed_Sdl(benchmark::State& state) {
  World& w = W();
  for (auto _ : state)
    for (const tagPOINT& p : w.spritePos) {
      SDL_Rect d = {p.x, p.y, 0, 0};
      SDL_BlitSurface(w.sSprite, nullptr, w.sBack, &d);
    }
  state.SetItemsProcessed(state.iterations() * kSprites * 24 * 24);
}
BENCHMARK(BM_Sprites24Keyed_Sdl);

void BM_Sprites24KeyedOpacity200_Sdl(benchmark::State& state) {
  World& w = W();
  SDL_SetSurfaceBlendMode(w.sSprite, SDL_BLENDMODE_BLEND);
  SDL_SetSurfaceAlphaMod(w.sSprite, 200);
  for (auto _ : state)
    for (const tagPOINT& p : w.spritePos) {
      SDL_Rect d = {p.x, p.y, 0, 0};
      SDL_BlitSurface(w.sSprite, nullptr, w.sBack, &d);
    }
  SDL_SetSurfaceAlphaMod(w.sSprite, 255);
  SDL_SetSurfaceBlendMode(w.sSprite, SDL_BLENDMODE_NONE);
  state.SetItemsProcessed(state.iterations() * kSprites * 24 * 24);
}
BENCHMARK(BM_Sprites24KeyedOpacity200_Sdl);

void BM_Glyphs6TwoPass_Sdl(benchmark::State& state) {
  World& w = W();
  for (auto _ : state)
    for (int i = 0; i < kGlyphs; i++) {
      SDL_Rect r = {(i % 64) * kGlyphW, 0, kGlyphW, kGlyphH};
      SDL_Rect d1 = {w.glyphPos[size_t(i)].x + 1, w.glyphPos[size_t(i)].y + 1, 0, 0};
      SDL_Rect d2 = {w.glyphPos[size_t(i)].x, w.glyphPos[size_t(i)].y, 0, 0};
      SDL_BlitSurface(w.sFontMask, &r, w.sBack, &d1);
      SDL_BlitSurface(w.sFontFace, &r, w.sBack, &d2);
    }
  state.SetItemsProcessed(state.iterations() * kGlyphs * 2 * kGlyphW * kGlyphH);
}
BENCHMARK(BM_Glyphs6TwoPass_Sdl);

void BM_FullScreenCopy_Sdl(benchmark::State& state) {
  World& w = W();
  for (auto _ : state) SDL_BlitSurface(w.sBackground, nullptr, w.sBack, nullptr);
  state.SetItemsProcessed(state.iterations() * 320 * 240);
}
BENCHMARK(BM_FullScreenCopy_Sdl);

// SDL has no blended fill: a solid surface blitted with the alpha modulation.
void SdlFill(benchmark::State& state, uint8_t alpha) {
  World& w = W();
  SDL_SetSurfaceAlphaMod(w.sSolid, alpha);
  for (auto _ : state) SDL_BlitSurface(w.sSolid, nullptr, w.sBack, nullptr);
  state.SetItemsProcessed(state.iterations() * 320 * 240);
}
void BM_Fill128_Sdl(benchmark::State& state) { SdlFill(state, 128); }
void BM_Fill192_Sdl(benchmark::State& state) { SdlFill(state, 192); }
BENCHMARK(BM_Fill128_Sdl);
BENCHMARK(BM_Fill192_Sdl);

#endif

}  // namespace

BENCHMARK_MAIN();
