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
  FillRows(rect, pixels, pitch, bpp, colour, [&](uint32_t d) { return AddSat(d, colour, ch); });
}
