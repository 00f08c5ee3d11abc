// The memory blit of the pixel shaders and the stock shaders. Each pixel pair goes
// to the shader as 0x00RRGGBB colours (the bits a narrow channel lacks are 0) and
// the result comes back to the native format (those bits dropped).
#include <cstdint>
#include <cstring>

#include "display/erdr_pixel.h"
#include "display/esurf_2d.h"

namespace {

template <int FMT>
struct Px {
  static constexpr uint32_t B = FMT == 1 ? 1 : FMT <= 4 ? 2 : FMT == 5 ? 3 : 4;
  static uint32_t Load(const uint8_t* p) {
    if (B == 1) return p[0];
    if (B == 2) return erdr::Load16(p);
    if (B == 3) return erdr::Load24(p);
    return erdr::Load32(p);
  }
  static void Store(uint8_t* p, uint32_t v) {
    if (B == 1)
      p[0] = uint8_t(v);
    else if (B == 2)
      erdr::Store16(p, v);
    else if (B == 3)
      erdr::Store24(p, v);
    else
      erdr::Store32(p, v);
  }
  static uint32_t ToRgb(uint32_t p) {
    if (FMT == 2) return ((p & 0xF00) << 12) | ((p & 0xF0) << 8) | ((p & 0xF) << 4);
    if (FMT == 3) return ((p & 0x7C00) << 9) | ((p & 0x3E0) << 6) | ((p & 0x1F) << 3);
    if (FMT == 4) return ((p & 0xF800) << 8) | ((p & 0x7E0) << 5) | ((p & 0x1F) << 3);
    return p;
  }
  static uint32_t FromRgb(uint32_t r) {
    if (FMT == 2) return ((r >> 12) & 0xF00) | ((r >> 8) & 0xF0) | ((r >> 4) & 0xF);
    if (FMT == 3) return ((r >> 9) & 0x7C00) | ((r >> 6) & 0x3E0) | ((r >> 3) & 0x1F);
    if (FMT == 4) return ((r >> 8) & 0xF800) | ((r >> 5) & 0x7E0) | ((r >> 3) & 0x1F);
    return r;
  }
};

template <int FMT, bool KEYED>
void Walk(EPIXELSHADER shader, int32_t x, int32_t y, uint8_t* dst, const uint8_t* src,
          const tagRECT* r, uint32_t dp, uint32_t sp, int32_t param, uint32_t key) {
  using P = Px<FMT>;
  const int32_t w = r->right - r->left, h = r->bottom - r->top;
  for (int32_t j = 0; j < h; j++) {
    const uint8_t* s = src + (uint32_t(r->top + j) * sp + uint32_t(r->left)) * P::B;
    uint8_t* d = dst + (uint32_t(y + j) * dp + uint32_t(x)) * P::B;
    if (FMT == 1 && !KEYED) {
      std::memmove(d, s, uint32_t(w));
      continue;
    }
    for (int32_t i = 0; i < w; i++, s += P::B, d += P::B) {
      const uint32_t sv = P::Load(s);
      if (KEYED && sv == key) continue;
      if (FMT == 1)
        *d = uint8_t(sv);
      else
        P::Store(d, P::FromRgb(shader(P::ToRgb(P::Load(d)), P::ToRgb(sv), uint32_t(i), uint32_t(j),
                                      param)));
    }
  }
}

template <bool KEYED>
void Dispatch(EPIXELSHADER shader, int32_t x, int32_t y, uint8_t* dst, const uint8_t* src,
              const tagRECT* r, uint32_t dp, uint32_t sp, uint8_t format, int32_t param,
              uint32_t key) {
  if (!dst || !src || !r || (!shader && format != EFMT_INDEX8)) return;
  switch (format) {
    case EFMT_INDEX8: Walk<1, KEYED>(shader, x, y, dst, src, r, dp, sp, param, key & 0xFF); break;
    case EFMT_RGB12: Walk<2, KEYED>(shader, x, y, dst, src, r, dp, sp, param, key & 0xFFFF); break;
    case EFMT_RGB15: Walk<3, KEYED>(shader, x, y, dst, src, r, dp, sp, param, key & 0xFFFF); break;
    case EFMT_RGB16: Walk<4, KEYED>(shader, x, y, dst, src, r, dp, sp, param, key & 0xFFFF); break;
    case EFMT_RGB24:
      Walk<5, KEYED>(shader, x, y, dst, src, r, dp, sp, param, key & 0xFFFFFF);
      break;
    case EFMT_RGB32: Walk<6, KEYED>(shader, x, y, dst, src, r, dp, sp, param, key); break;
    default: break;
  }
}

}  // namespace

void E2DSurface::MemBlt(EPIXELSHADER shader, int32_t x, int32_t y, uint8_t* dst, const uint8_t* src,
                        const tagRECT* rect, uint32_t dstPitch, uint32_t srcPitch, uint8_t format,
                        int32_t param) {
  Dispatch<false>(shader, x, y, dst, src, rect, dstPitch, srcPitch, format, param, 0);
}

void E2DSurface::MemBltColorkey(EPIXELSHADER shader, int32_t x, int32_t y, uint8_t* dst,
                                const uint8_t* src, const tagRECT* rect, uint32_t dstPitch,
                                uint32_t srcPitch, uint8_t format, int32_t param, uint32_t key) {
  Dispatch<true>(shader, x, y, dst, src, rect, dstPitch, srcPitch, format, param, key);
}

uint32_t EPShader_AND(uint32_t dst, uint32_t src, uint32_t, uint32_t, int32_t) { return dst & src; }
uint32_t EPShader_OR(uint32_t dst, uint32_t src, uint32_t, uint32_t, int32_t) { return dst | src; }
uint32_t EPShader_XOR(uint32_t dst, uint32_t src, uint32_t, uint32_t, int32_t) { return dst ^ src; }

uint32_t EPShader_Grayscale(uint32_t, uint32_t src, uint32_t, uint32_t, int32_t) {
  const uint32_t g = ((src & 0xFF) + ((src >> 8) & 0xFF) + ((src >> 16) & 0xFF)) / 3;
  return g * 0x010101;
}
