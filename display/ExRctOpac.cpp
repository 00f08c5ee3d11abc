#include "display/erdr_kernel.h"
#include "display/erdr_pixel.h"

using namespace erdr;

namespace {

inline uint32_t Keep(uint32_t d, const Channels& c, uint32_t w, uint32_t shift) {
  return ((((d & c.b) * w) >> shift) & c.b) | ((((d & c.g) * w) >> shift) & c.g) |
         ((((d & c.r) * w) >> shift) & c.r);
}

}  // namespace

void ExRctOpac(const tagRECT* rect, uint8_t* pixels, uint32_t pitch, uint8_t bpp, uint8_t format,
               uint32_t colour, uint32_t opacity) {
  if (OpacityShift(opacity)) {
    ExRctOpacPlus(rect, pixels, pitch, bpp, format, colour, opacity);
    return;
  }
  const uint32_t left = uint32_t(rect->left), right = uint32_t(rect->right);
  uint32_t wd = 256 - opacity, shift = 8;
  const Channels ch = ChannelsOf(bpp, format);
  if (bpp == 16) {
    if (format == 2) {
      wd >>= 4;
      shift = 4;
    } else {
      wd >>= 3;
      shift = 5;
    }
  }
  for (int32_t y = rect->top; y < rect->bottom; y++) {
    const uint32_t row = uint32_t(y) * pitch;
    switch (bpp) {
      case 8: {
        uint8_t* p = pixels + row + left;
        for (uint32_t x = left; x < right; x++) *p++ = uint8_t(colour);
        break;
      }
      case 16: {
        uint8_t* p = pixels + (row + left) * 2;
        uint32_t n = right - left;
        if (((row + left) & 1) && n) {
          Store16(p, colour + Keep(Load16(p), ch, wd, shift));
          p += 2;
          n--;
        }
        for (; n >= 2; n -= 2, p += 4) {
          const uint32_t d = Load32(p);
          Store32(p, ((colour + Keep(d & 0xFFFF, ch, wd, shift)) & 0xFFFF) |
                         ((colour + Keep(d >> 16, ch, wd, shift)) << 16));
        }
        if (n) Store16(p, colour + Keep(Load16(p), ch, wd, shift));
        break;
      }
      case 24: {
        uint8_t* p = pixels + (row + left) * 3;
        for (uint32_t x = left; x < right; x++, p += 3) Store24(p, colour + Keep(Load24(p), ch, wd, shift));
        break;
      }
      case 32: {
        uint8_t* p = pixels + (row + left) * 4;
        for (uint32_t x = left; x < right; x++, p += 4) Store32(p, colour + Keep(Load32(p), ch, wd, shift));
        break;
      }
      default: return;
    }
  }
}
