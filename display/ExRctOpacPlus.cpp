#include "display/erdr_kernel.h"
#include "display/erdr_pixel.h"

using namespace erdr;

namespace {

uint32_t ShiftMask(uint8_t bpp, uint8_t format, uint32_t k) {
  static const uint32_t f2[5] = {0, 0x777, 0x333, 0x111, 0};
  static const uint32_t f3[5] = {0, 0x3DEF, 0x1CE7, 0x0C63, 0x0421};
  static const uint32_t f4[5] = {0, 0x7BEF, 0x39E7, 0x18E3, 0x0861};
  static const uint32_t f8[5] = {0, 0x7F7F7F, 0x3F3F3F, 0x1F1F1F, 0x0F0F0F};
  if (bpp == 16) {
    if (format == 2) return f2[k];
    if (format == 3) return f3[k];
    if (format == 4) return f4[k];
    return 0;
  }
  return f8[k];
}

template <bool High>
inline uint32_t Rule(uint32_t d, uint32_t c, uint32_t k, uint32_t m) {
  return High ? c + ((d >> k) & m) : d + c - ((d >> k) & m);
}

template <bool High>
void Fill(const tagRECT* rect, uint8_t* pixels, uint32_t pitch, uint8_t bpp, uint32_t c, uint32_t k,
          uint32_t m) {
  const uint32_t left = uint32_t(rect->left), right = uint32_t(rect->right);
  const uint32_t c2 = (c & 0xFFFF) | (c << 16), m2 = m | (m << 16);
  for (int32_t y = rect->top; y < rect->bottom; y++) {
    const uint32_t row = uint32_t(y) * pitch;
    switch (bpp) {
      case 8: {
        uint8_t* p = pixels + row + left;
        for (uint32_t x = left; x < right; x++) *p++ = uint8_t(c);
        break;
      }
      case 16: {
        uint8_t* p = pixels + (row + left) * 2;
        uint32_t n = right - left;
        if (((row + left) & 1) && n) {
          Store16(p, Rule<High>(Load16(p), c, k, m));
          p += 2;
          n--;
        }
        for (; n >= 2; n -= 2, p += 4) Store32(p, Rule<High>(Load32(p), c2, k, m2));
        if (n) Store16(p, Rule<High>(Load16(p), c, k, m));
        break;
      }
      case 24: {
        uint8_t* p = pixels + (row + left) * 3;
        for (uint32_t x = left; x < right; x++, p += 3) Store24(p, Rule<High>(Load24(p), c, k, m));
        break;
      }
      case 32: {
        uint8_t* p = pixels + (row + left) * 4;
        for (uint32_t x = left; x < right; x++, p += 4) Store32(p, Rule<High>(Load32(p), c, k, m));
        break;
      }
      default: return;
    }
  }
}

}  // namespace

void ExRctOpacPlus(const tagRECT* rect, uint8_t* pixels, uint32_t pitch, uint8_t bpp, uint8_t format,
                   uint32_t colour, uint32_t opacity) {
  const uint32_t k = OpacityShift(opacity);
  const uint32_t m = k ? ShiftMask(bpp, format, k) : 0;
  if (opacity >= 128)
    Fill<true>(rect, pixels, pitch, bpp, colour, k, m);
  else
    Fill<false>(rect, pixels, pitch, bpp, colour, k, m);
}
