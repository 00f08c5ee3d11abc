// Draws an RGBA block by its alpha.
#include "display/erdr_rgba_impl.h"

void ExBltRGBA(int32_t x, int32_t y, int32_t firstRow, const tagRECT* rect, uint8_t* dst,
               const uint32_t* src, uint32_t dstPitch, uint32_t srcPitch, uint8_t format) {
  using namespace erdr_rgba;
  switch (format) {
    case EFMT_INDEX8: Walk8(x, y, firstRow, rect, dst, src, dstPitch, srcPitch, false); break;
    case EFMT_RGB12: Plain<F2>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch); break;
    case EFMT_RGB15: Plain<F3>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch); break;
    case EFMT_RGB16: Plain<F4>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch); break;
    case EFMT_RGB24: Plain<F5>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch); break;
    case EFMT_RGB32: Plain<F6>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch); break;
    default: break;
  }
}
