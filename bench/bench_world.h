// The benchmarks' shared scene: a 320x240 5:6:5 back buffer over a noisy
// background, a round colour-keyed 24x24 stone, a strip of 6x10 glyphs, a
// soft-edged 48x32 picture with alpha, their positions, and SDL2 surfaces
// wrapping the very same pixels (the picture as 8-bit ARGB).
#ifndef ZARN_BENCH_BENCH_WORLD_H
#define ZARN_BENCH_BENCH_WORLD_H

#include <cstring>
#include <random>
#include <vector>

#include "display/edsp_base.h"
#include "display/esurf_2d.h"
#include "display/esurf_2drgba.h"
#include "framework/emod_device.h"
#include "framework/emod_memory.h"
#include "standin/standin.h"

#ifdef ZARN_HAVE_SDL2
#include <SDL2/SDL.h>
#endif

namespace zb {

constexpr int kSprites = 200, kGlyphs = 60, kGlyphW = 6, kGlyphH = 10;
constexpr int kPictures = 50, kPictureW = 48, kPictureH = 32;

struct World {
  ZARNCONFIG cfg{};
  ClassEMemory mem;
  ClassEDisplay dsp;
  ECD ecd{};
  E2DSurface back, background, sprite, font;
  E2DSurfaceRGBA picture;  // 5:6:5 colours with alpha, drawn at the first kPictures positions
  std::vector<tagPOINT> spritePos, glyphPos;
  bool open = false;
#ifdef ZARN_HAVE_SDL2
  SDL_Surface *sBack = nullptr, *sBackground = nullptr, *sSprite = nullptr, *sFontFace = nullptr,
              *sPicture = nullptr;
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
    // A disc whose alpha falls off towards the edge, fully opaque in the middle.
    picture.LinkECD(&ecd);
    picture.Create(kPictureW, kPictureH, 4, 0);
    std::vector<uint32_t> argb(kPictureW * kPictureH);
    for (int y = 0; y < kPictureH; y++)
      for (int x = 0; x < kPictureW; x++) {
        const int dx = x - kPictureW / 2, dy = (y - kPictureH / 2) * 3 / 2;
        const int r2 = dx * dx + dy * dy;
        const int a = r2 < 200 ? 255 : r2 > 575 ? 0 : 255 - (r2 - 200) * 255 / 375;
        const uint32_t c = rng() & 0xFFFFFF;  // 0x00BBGGRR
        picture.PutPixel(x, y, c, uint8_t(a));
        argb[size_t(y * kPictureW + x)] =
            uint32_t(a) << 24 | (c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF);
      }
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
    sFontFace = wrap(font);
    SDL_SetSurfaceBlendMode(sBackground, SDL_BLENDMODE_NONE);
    SDL_SetColorKey(sSprite, SDL_TRUE, 0xF81F);
    SDL_SetSurfaceBlendMode(sSprite, SDL_BLENDMODE_NONE);
    SDL_SetColorKey(sFontFace, SDL_TRUE, 0xF81F);
    SDL_SetSurfaceBlendMode(sFontFace, SDL_BLENDMODE_NONE);
    sPicture =
        SDL_CreateRGBSurfaceWithFormat(0, kPictureW, kPictureH, 32, SDL_PIXELFORMAT_ARGB8888);
    for (int y = 0; y < kPictureH; y++)
      std::memcpy(static_cast<uint8_t*>(sPicture->pixels) + y * sPicture->pitch,
                  &argb[size_t(y * kPictureW)], kPictureW * 4);
    SDL_SetSurfaceBlendMode(sPicture, SDL_BLENDMODE_BLEND);
#endif
  }
};

// The rows' units of work, shared by the timing and the counting benchmarks.
inline void SpritesOurs(World& w, uint32_t flags, uint32_t opacity) {
  for (const tagPOINT& p : w.spritePos) w.back.BltFast(p.x, p.y, &w.sprite, nullptr, flags, opacity);
}

inline void GlyphsOurs(World& w, uint32_t flags, int dx) {
  for (int i = 0; i < kGlyphs; i++) {
    const tagRECT r = {(i % 64) * kGlyphW, 0, (i % 64) * kGlyphW + kGlyphW, kGlyphH};
    w.back.BltFast(w.glyphPos[size_t(i)].x + dx, w.glyphPos[size_t(i)].y + dx, &w.font, &r, flags, 0);
  }
}

inline void PicturesOurs(World& w) {
  for (int i = 0; i < kPictures; i++)
    w.back.BltFast(w.spritePos[size_t(i)].x, w.spritePos[size_t(i)].y, &w.picture, nullptr);
}

#ifdef ZARN_HAVE_SDL2
inline void PicturesSdl(World& w) {
  for (int i = 0; i < kPictures; i++) {
    SDL_Rect d = {w.spritePos[size_t(i)].x, w.spritePos[size_t(i)].y, 0, 0};
    SDL_BlitSurface(w.sPicture, nullptr, w.sBack, &d);
  }
}

inline void SpritesSdl(World& w) {
  for (const tagPOINT& p : w.spritePos) {
    SDL_Rect d = {p.x, p.y, 0, 0};
    SDL_BlitSurface(w.sSprite, nullptr, w.sBack, &d);
  }
}

inline void GlyphFacesSdl(World& w) {
  for (int i = 0; i < kGlyphs; i++) {
    SDL_Rect r = {(i % 64) * kGlyphW, 0, kGlyphW, kGlyphH};
    SDL_Rect d = {w.glyphPos[size_t(i)].x, w.glyphPos[size_t(i)].y, 0, 0};
    SDL_BlitSurface(w.sFontFace, &r, w.sBack, &d);
  }
}

// SDL2's blended fill: its software renderer on the back buffer.
struct SdlFill {
  SDL_Renderer* r = nullptr;
  explicit SdlFill(World& w, uint8_t alpha) {
    r = SDL_CreateSoftwareRenderer(w.sBack);
    SDL_SetRenderDrawBlendMode(r, SDL_BLENDMODE_BLEND);
    SDL_SetRenderDrawColor(r, 0xC0, 0x80, 0x40, alpha);  // our 0x4080C0
  }
  ~SdlFill() { SDL_DestroyRenderer(r); }
  void Run() {
    SDL_RenderFillRect(r, nullptr);
    SDL_RenderFlush(r);
  }
};
#endif

}  // namespace zb

#endif
