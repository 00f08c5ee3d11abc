// Draws an RGBA block by its alpha combined with the blit flags.
#include "display/erdr_rgba_impl.h"

void ExBltRGBAGeneric(int32_t x, int32_t y, int32_t firstRow, const tagRECT* rect, uint8_t* dst,
                      const uint32_t* src, uint32_t dstPitch, uint32_t srcPitch, uint8_t format,
                      int32_t flags, uint32_t opacity, uint32_t colour) {
  using namespace erdr_rgba;
  const uint32_t f = uint32_t(flags);
  switch (format) {
    case EFMT_INDEX8: Walk8(x, y, firstRow, rect, dst, src, dstPitch, srcPitch, false); break;
    case EFMT_RGB12:
      Generic<F2>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch, f, opacity, colour);
      break;
    case EFMT_RGB15:
      Generic<F3>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch, f, opacity, colour);
      break;
    case EFMT_RGB16:
      Generic<F4>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch, f, opacity, colour);
      break;
    case EFMT_RGB24:
      Generic<F5>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch, f, opacity, colour);
      break;
    case EFMT_RGB32:
      Generic<F6>(x, y, firstRow, rect, dst, src, dstPitch, srcPitch, f, opacity, colour);
      break;
    default: break;
  }
}
