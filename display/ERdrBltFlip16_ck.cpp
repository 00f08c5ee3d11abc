#include "display/erdr_blt.h"

int32_t ERdrBltFlip16_ck(int32_t xStep, int32_t yStep, int32_t w, int32_t h, uint8_t* dst,
                         const uint8_t* src, uint32_t dstPitch, uint32_t srcPitch, uint32_t key,
                         uint32_t colour, uint32_t opacity) {
  return erdr::SpecialFlip<erdr::D16, 0x01>(xStep, yStep, w, h, dst, src, dstPitch, srcPitch, key,
                                            colour, opacity);
}
