// The frame's hot paths on a 320x240 5:6:5 back buffer: colour-keyed 24x24
// sprites, 6-pixel glyphs in two passes (mask with ck|sb, face with ck), a
// full-screen copy and opacity fills at 128 and 192; each beside SDL2's software
// blitter doing the same work on the same buffers.
#include <benchmark/benchmark.h>

#include "bench/bench_world.h"

namespace {

using zb::World;
using zb::kSprites;
using zb::kGlyphs;
using zb::kGlyphW;
using zb::kGlyphH;

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
