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
  auto one = [&](uint32_t d) { return colour + Keep(d, ch, wd, shift); };
  auto pair = [&](uint32_t d) {
    return ((colour + Keep(d & 0xFFFF, ch, wd, shift)) & 0xFFFF) |
           ((colour + Keep(d >> 16, ch, wd, shift)) << 16);
  };
  FillRows(rect, pixels, pitch, bpp, colour, one, pair);
}
