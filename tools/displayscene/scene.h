// The display test scene: sprites, text in several alignments, lines, ovals,
// gradients, triangles, a turned and scaled blit and a wipe, drawn on the back
// buffer of an open display (logical 320 x 240).
#ifndef ZARN_TOOLS_DISPLAYSCENE_SCENE_H
#define ZARN_TOOLS_DISPLAYSCENE_SCENE_H

#include "display/edsp_base.h"

namespace zt {

inline void DrawTestScene(ClassEDisplay& dsp) {
  E2DSurface* s = dsp.GetBackBuffer();
  E2DSurface* font = dsp.GetInternalFont();
  s->FillRect(nullptr, 0x301810);

  // An asymmetric sprite: a flag on a pole with a key-coloured background.
  E2DSurface sprite;
  dsp.CreateSurface(&sprite, 24, 16);
  sprite.FillRect(nullptr, 0xFF00FF);
  sprite.SetColorKey(0xFF00FF);
  const tagRECT pole = {1, 0, 3, 16}, flag = {3, 1, 20, 9}, stripe = {3, 4, 20, 6};
  sprite.FillRect(&pole, 0xC0C0C0);
  sprite.FillRect(&flag, 0x2020E0);
  sprite.FillRect(&stripe, 0x20E0E0);
  sprite.PutPixel(23, 15, 0x00FF00);
  s->BltFast(8, 8, &sprite, nullptr, 0x01, 0);
  s->BltFast(40, 8, &sprite, nullptr, 0x09, 128);
  s->BltFlip(72, 4, &sprite, nullptr, 1024, 0, 0x01, 0);
  s->BltFlip(96, 8, &sprite, nullptr, 0, 1, 0x01, 0);
  E2DBLTFX fx = {0x01, 0, 0x18000, 0x18000, 300, 0};
  s->BltFx(150, 20, &sprite, nullptr, &fx);
  E2DBLTFX fx2 = {0x01, 0, 0x10000, 0x10000, 2048, 2};
  s->BltFx(190, 16, &sprite, nullptr, &fx2);

  // Text: left, centred, right, bottom aligned, a number, keyed and tinted.
  s->DrawFont(4, 40, font, "Left aligned {text}", 0x01, 0);
  s->DrawFont(160, 56, font, "Centred\nover two lines", 0x201, 0);
  s->DrawFont(316, 40, font, "Right!", 0x101, 0);
  s->DrawFont(4, 86, font, int32_t(-2147483647 - 1), 0x07, 0x0040A0FF);
  s->DrawFont(4, 100, font, "0123456789 @#$%&*+-=?", 0x01, 0);

  // Lines and outlines.
  s->DrawLine(4, 120, 120, 150, 0xFFFFFF);
  s->DrawLine(120, 120, 4, 170, 0x00FFFF);
  s->DrawLine(4, 175, 120, 175, 0xFF8000);
  const tagRECT box = {130, 120, 190, 170};
  s->DrawRect(&box, 0xFFFF00);
  const tagRECT fill = {134, 124, 150, 140};
  s->FillRect(&fill, 0x0000FF, 0x08, 192);

  // Ovals and triangles.
  s->DrawOval(200, 110, 30, 20, 0xFFFFFF);
  s->FillOval(250, 110, 20, 30, 0x00C000);
  s->FillPoly(200, 230, 240, 180, 260, 230, 0x8080FF);
  s->GradientPoly(270, 230, 0x0000FF, 318, 230, 0x00FF00, 300, 180, 0xFF0000);
  const tagRECT grad = {130, 180, 190, 200};
  s->GradientRect(&grad, 0xFFFFFF, 0x000000, 0x0000FF, 0x00FF00);

  // A stepped wipe into a small surface, shown in the scene.
  E2DSurface a, b, w;
  dsp.CreateSurface(&a, 64, 32);
  dsp.CreateSurface(&b, 64, 32);
  dsp.CreateSurface(&w, 64, 32);
  a.FillRect(nullptr, 0x303030);
  b.FillRect(nullptr, 0xE0E0E0);
  b.DrawLine(0, 0, 63, 31, 0x0000FF);
  dsp.StartWipe(4, &w);
  dsp.Wipe(&w, &a, &b, 20000, 4, nullptr, 2);
  dsp.Wipe(&w, &w, &b, 30000, 4, nullptr, 2);
  s->BltFast(4, 200, &w, nullptr, 0, 0);
  dsp.Wipe(&w, &a, &b, 20000, 2, nullptr, 0);
  s->BltFast(72, 200, &w, nullptr, 0, 0);

  // Text over everything, aligned at the bottom right corner.
  s->DrawFont(316, 236, font, "bottom right", 0x501, 0);
}

}  // namespace zt

#endif
