#include "display/erdr_kernel.h"
#include "display/erdr_pixel.h"

using namespace erdr;

namespace {

inline uint32_t AddSat(uint32_t d, uint32_t c, const Channels& ch) {
  uint32_t out = 0;
  const uint32_t masks[3] = {ch.b, ch.g, ch.r};
  for (uint32_t m : masks) {
    const uint32_t s = (d & m) + (c & m);
    out |= s > m ? m : s;
  }
  return out;
}

}  // namespace

void ExRctAlpha(const tagRECT* rect, uint8_t* pixels, uint32_t pitch, uint8_t bpp, uint8_t format,
                uint32_t colour) {
  const Channels ch = ChannelsOf(bpp, format);
  const uint32_t left = uint32_t(rect->left), right = uint32_t(rect->right);
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
        for (uint32_t x = left; x < right; x++, p += 2) Store16(p, AddSat(Load16(p), colour, ch));
        break;
      }
      case 24: {
        uint8_t* p = pixels + (row + left) * 3;
        for (uint32_t x = left; x < right; x++, p += 3) Store24(p, AddSat(Load24(p), colour, ch));
        break;
      }
      case 32: {
        uint8_t* p = pixels + (row + left) * 4;
        for (uint32_t x = left; x < right; x++, p += 4) Store32(p, AddSat(Load32(p), colour, ch));
        break;
      }
      default: return;
    }
  }
}
