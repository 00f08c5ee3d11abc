#include "display/erdr_blt.h"

int32_t ERdrBltFlip8(int32_t xStep, int32_t yStep, int32_t w, int32_t h, uint8_t* dst,
                     const uint8_t* src, uint32_t dstPitch, uint32_t srcPitch, uint32_t key,
                     uint32_t colour, uint32_t opacity, const ERDR_BLTFLIP* table, uint32_t flags) {
  if (table) {
    ERDR_BLTFLIP k = table[flags & 0xFF];
    if (k && k(xStep, yStep, w, h, dst, src, dstPitch, srcPitch, key, colour, opacity)) return 1;
    if (flags & 0xC0) {
      k = table[(flags & 0x3F) | EBLT_OP];
      if (k && k(xStep, yStep, w, h, dst, src, dstPitch, srcPitch, key, colour, opacity)) return 1;
    }
  }
  if (h == 0) return 1;
  erdr::Generic8(xStep, yStep, w, h, dst, src, dstPitch, key, colour, flags);
  return 1;
}
