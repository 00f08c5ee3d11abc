// Draws a premultiplied RGBA block with the blit flags: each colour is divided back
// first, then blended like the plain form.
#include "display/erdr_rgba_impl.h"

void ExBltRGBAGenericPlus(int32_t x, int32_t y, int32_t firstRow, const tagRECT* rect, uint8_t* dst,
                          const uint32_t* src, uint32_t dstPitch, uint32_t srcPitch, uint8_t format,
                          int32_t flags, uint32_t opacity, uint32_t colour) {
  using namespace erdr_rgba;
  const uint32_t f = uint32_t(flags);
  switch (format) {
    case EFMT_INDEX8: Walk8(x, y, firstRow, rect, dst, src, dstPitch, srcPitch, true); break;
    case EFMT_RGB12:
      GenericPlus<F2>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch, f, opacity, colour);
      break;
    case EFMT_RGB15:
      GenericPlus<F3>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch, f, opacity, colour);
      break;
    case EFMT_RGB16:
      GenericPlus<F4>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch, f, opacity, colour);
      break;
    case EFMT_RGB24:
      GenericPlus<F5>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch, f, opacity, colour);
      break;
    case EFMT_RGB32:
      GenericPlus<F6>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch, f, opacity, colour);
      break;
    default: break;
  }
}
