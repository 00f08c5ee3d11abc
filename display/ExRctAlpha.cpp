#include "display/erdr_kernel.h"
#include "display/erdr_pixel.h"

using namespace erdr;

namespace {

inline uint32_t AddSat(uint32_t d, uint32_t c, const Channels& ch) {
  return PerChannel(d, c, ch, [](uint32_t a, uint32_t b, uint32_t m) {
    const uint32_t s = a + b;
    return s > m ? m : s;
  });
}

}  // namespace

void ExRctAlpha(const tagRECT* rect, uint8_t* pixels, uint32_t pitch, uint8_t bpp, uint8_t format,
                uint32_t colour) {
  const Channels ch = ChannelsOf(bpp, format);
  FillRows(rect, pixels, pitch, bpp, colour, [&](uint32_t d) { return AddSat(d, colour, ch); });
}
