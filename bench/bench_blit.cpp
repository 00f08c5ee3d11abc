// The frame's hot paths on a 320x240 5:6:5 back buffer, timed with Google
// Benchmark: colour-keyed 24x24 stones (SDL2 plain and run-length), the same
// with opacity 200, 6-pixel glyph faces (keyed copies) and masks (subtractive,
// which SDL2 has no blit for), a full-screen copy and blended fills at 128 and
// 192 (SDL2's software renderer), pictures with per-pixel alpha (SDL2's
// blended blit of 8-bit ARGB). Both sides run the same rows of
// bench_world.h; `bench_count check` proves their pixels agree.
#include <benchmark/benchmark.h>

#include "bench/bench_world.h"

namespace {

using namespace zb;

World& W() {
  static World w;
  return w;
}

void Items(benchmark::State& state, int64_t pixels) { state.SetItemsProcessed(state.iterations() * pixels); }
constexpr int64_t kSpritePixels = int64_t(kSprites) * 24 * 24, kGlyphPixels = int64_t(kGlyphs) * kGlyphW * kGlyphH;
constexpr int64_t kPicturePixels = int64_t(kPictures) * kPictureW * kPictureH;

void Sprites(benchmark::State& state, bool table) {
  World& w = W();
  for (E2DSurface* s : {&w.back, &w.sprite}) s->LinkECD(table ? &w.ecd : nullptr);
  for (auto _ : state) SpritesOurs(w, 0x01, 0);
  for (E2DSurface* s : {&w.back, &w.sprite}) s->LinkECD(&w.ecd);
  Items(state, kSpritePixels);
}
void BM_Sprites24Keyed_Ours(benchmark::State& state) { Sprites(state, true); }
void BM_Sprites24Keyed_OursGeneric(benchmark::State& state) { Sprites(state, false); }
BENCHMARK(BM_Sprites24Keyed_Ours);
BENCHMARK(BM_Sprites24Keyed_OursGeneric);

void BM_Sprites24KeyedOpacity200_Ours(benchmark::State& state) {
  for (auto _ : state) SpritesOurs(W(), 0x09, 200);
  Items(state, kSpritePixels);
}
BENCHMARK(BM_Sprites24KeyedOpacity200_Ours);

void BM_GlyphFaces_Ours(benchmark::State& state) {
  for (auto _ : state) GlyphsOurs(W(), 0x01, 0);
  Items(state, kGlyphPixels);
}
BENCHMARK(BM_GlyphFaces_Ours);

void BM_GlyphMasks_Ours(benchmark::State& state) {
  for (auto _ : state) GlyphsOurs(W(), 0x21, 1);
  Items(state, kGlyphPixels);
}
BENCHMARK(BM_GlyphMasks_Ours);

void BM_FullScreenCopy_Ours(benchmark::State& state) {
  World& w = W();
  for (auto _ : state) w.back.BltFast(0, 0, &w.background, nullptr);
  Items(state, 320 * 240);
}
BENCHMARK(BM_FullScreenCopy_Ours);

void BM_Alpha48x32_Ours(benchmark::State& state) {
  for (auto _ : state) PicturesOurs(W());
  Items(state, kPicturePixels);
}
BENCHMARK(BM_Alpha48x32_Ours);

void Fill(benchmark::State& state, uint32_t opacity) {
  World& w = W();
  for (auto _ : state) w.back.FillRect(nullptr, 0x4080C0, 0x08, opacity);
  Items(state, 320 * 240);
}
void BM_Fill128_Ours(benchmark::State& state) { Fill(state, 128); }
void BM_Fill192_Ours(benchmark::State& state) { Fill(state, 192); }
BENCHMARK(BM_Fill128_Ours);
BENCHMARK(BM_Fill192_Ours);

#ifdef ZARN_HAVE_SDL2
void SdlSprites(benchmark::State& state, bool rle) {
  World& w = W();
  SDL_SetSurfaceRLE(w.sSprite, rle ? 1 : 0);
  SpritesSdl(w);  // encodes the run-length form once, outside the timing
  for (auto _ : state) SpritesSdl(w);
  SDL_SetSurfaceRLE(w.sSprite, 0);
  Items(state, kSpritePixels);
}
void BM_Sprites24Keyed_Sdl(benchmark::State& state) { SdlSprites(state, false); }
void BM_Sprites24Keyed_SdlRle(benchmark::State& state) { SdlSprites(state, true); }
BENCHMARK(BM_Sprites24Keyed_Sdl);
BENCHMARK(BM_Sprites24Keyed_SdlRle);

void BM_Sprites24KeyedOpacity200_Sdl(benchmark::State& state) {
  World& w = W();
  SDL_SetSurfaceBlendMode(w.sSprite, SDL_BLENDMODE_BLEND);
  SDL_SetSurfaceAlphaMod(w.sSprite, 200);
  for (auto _ : state) SpritesSdl(w);
  SDL_SetSurfaceAlphaMod(w.sSprite, 255);
  SDL_SetSurfaceBlendMode(w.sSprite, SDL_BLENDMODE_NONE);
  Items(state, kSpritePixels);
}
BENCHMARK(BM_Sprites24KeyedOpacity200_Sdl);

void BM_GlyphFaces_Sdl(benchmark::State& state) {
  for (auto _ : state) GlyphFacesSdl(W());
  Items(state, kGlyphPixels);
}
BENCHMARK(BM_GlyphFaces_Sdl);

void BM_FullScreenCopy_Sdl(benchmark::State& state) {
  World& w = W();
  for (auto _ : state) SDL_BlitSurface(w.sBackground, nullptr, w.sBack, nullptr);
  Items(state, 320 * 240);
}
BENCHMARK(BM_FullScreenCopy_Sdl);

void BM_Alpha48x32_Sdl(benchmark::State& state) {
  for (auto _ : state) PicturesSdl(W());
  Items(state, kPicturePixels);
}
BENCHMARK(BM_Alpha48x32_Sdl);

void SdlFillRow(benchmark::State& state, uint8_t alpha) {
  SdlFill fill(W(), alpha);
  for (auto _ : state) fill.Run();
  Items(state, 320 * 240);
}
void BM_Fill128_Sdl(benchmark::State& state) { SdlFillRow(state, 128); }
void BM_Fill192_Sdl(benchmark::State& state) { SdlFillRow(state, 192); }
BENCHMARK(BM_Fill128_Sdl);
BENCHMARK(BM_Fill192_Sdl);
#endif

}  // namespace

BENCHMARK_MAIN();
