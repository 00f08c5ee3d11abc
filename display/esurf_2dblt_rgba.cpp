// The blits that need more than a kernel of the blit table: an E2DSurfaceRGBA
// drawn with its per-pixel alpha, and the pixel-shader blit.
#include <cstdint>

#include "display/erdr_kernel.h"
#include "display/erdr_rgba.h"
#include "display/esurf_2d.h"
#include "display/esurf_2drgba.h"

int E2DSurface::BltFast(int32_t x, int32_t y, E2DSurfaceRGBA* src, const tagRECT* rect,
                        int32_t flags, uint32_t value) {
  if (!src || !IsCreated() || !src->IsCreated()) return ERES_BAD;
  uint32_t f = uint32_t(flags), opacity = 0;
  const bool visible = OpacityFront(f, value, format_, false, opacity);
  // The masked opacity (0 once op is dropped) travels on top of the colour.
  if (f & (EBLT_CF | EBLT_TN))
    value = (value & 0xFFFFFF) | (((f & EBLT_OP) ? opacity & 0xFF : 0) << 24);
  if (!visible) return ERES_NOTHINGDRAWN;
  tagRECT sr;
  const int pr = GetBltFastPositions(x, y, &sr, rect, src);
  if (pr) return pr;
  uint8_t* dpx;
  uint32_t* spx;
  if (!LockPair(src, dpx, spx)) return ERES_NOPIXELS;
  if (format_ == src->GetTargetFormat()) {
    const bool plus = src->IsPremultiplied();
    if ((f & 0xFF) < 2) {
      (plus ? ExBltRGBAPlus : ExBltRGBA)(x, y, sr.top, &sr, dpx, spx, pitch_, src->GetPitch(),
                                         format_);
    } else {
      const uint32_t colour = KernelColour(f, value, format_);
      (plus ? ExBltRGBAGenericPlus : ExBltRGBAGeneric)(x, y, sr.top, &sr, dpx, spx, pitch_,
                                                       src->GetPitch(), format_, int32_t(f),
                                                       opacity, colour);
    }
  } else {
    // Encoded for another format: pixel by pixel through the per-pixel rule,
    // the alpha (times the opacity) as the rule's opacity.
    const uint32_t B = bpp_ >> 3;
    const bool op = (f & EBLT_OP) != 0, coloured = (f & (EBLT_CF | EBLT_TN)) != 0;
    for (int32_t row = 0; row < sr.bottom - sr.top; row++)
      for (int32_t col = 0; col < sr.right - sr.left; col++) {
        uint32_t c;
        uint8_t alpha;
        src->GetPixelV(sr.left + col, sr.top + row, c, alpha);
        uint32_t a = alpha;
        if (op) a = (a * opacity) >> 8;
        if (!a) continue;
        uint8_t* d = dpx + (uint32_t(y + row) * pitch_ + uint32_t(x + col)) * B;
        PixelRule(d, c, int32_t(f | EBLT_OP), coloured ? (a << 24) | (value & 0xFFFFFF) : a);
      }
  }
  src->Unlock();
  Unlock();
  return ERES_OK;
}

int E2DSurface::BltPixelShader(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect,
                               EPIXELSHADER shader, int32_t flags, uint32_t param) {
  if (!src || !IsCreated() || !src->IsCreated()) return ERES_BAD;
  if (!shader) return ERES_BADARGS;
  if (format_ != src->format_) return ERES_FORMATSDIFFER;
  tagRECT sr;
  const int pr = GetBltFastPositions(x, y, &sr, rect, src);
  if (pr) return pr;
  uint8_t* dpx;
  uint8_t* spx;
  if (!LockPair(src, dpx, spx)) return ERES_NOPIXELS;
  if (flags & EBLT_CK)
    MemBltColorkey(shader, x, y, dpx, spx, &sr, pitch_, src->pitch_, format_, int32_t(param),
                   src->colorkey_);
  else
    MemBlt(shader, x, y, dpx, spx, &sr, pitch_, src->pitch_, format_, int32_t(param));
  src->Unlock();
  Unlock();
  return ERES_OK;
}
