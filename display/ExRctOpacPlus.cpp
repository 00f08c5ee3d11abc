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
  const uint32_t c2 = (c & 0xFFFF) | (c << 16), m2 = m | (m << 16);
  auto one = [&](uint32_t d) { return Rule<High>(d, c, k, m); };
  auto pair = [&](uint32_t d) { return Rule<High>(d, c2, k, m2); };
  FillRows(rect, pixels, pitch, bpp, c, one, pair);
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
