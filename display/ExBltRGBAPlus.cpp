// Draws a premultiplied RGBA block: colour plus the destination at the kept weight.
#include "display/erdr_rgba_impl.h"

void ExBltRGBAPlus(int32_t x, int32_t y, int32_t firstRow, const tagRECT* rect, uint8_t* dst,
                   const uint32_t* src, uint32_t dstPitch, uint32_t srcPitch, uint8_t format) {
  using namespace erdr_rgba;
  switch (format) {
    case EFMT_INDEX8: Walk8(x, y, firstRow, rect, dst, src, dstPitch, srcPitch, true); break;
    case EFMT_RGB12: Plus<F2>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch); break;
    case EFMT_RGB15: Plus<F3>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch); break;
    case EFMT_RGB16: Plus<F4>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch); break;
    case EFMT_RGB24: Plus<F5>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch); break;
    case EFMT_RGB32: Plus<F6>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch); break;
    default: break;
  }
}
