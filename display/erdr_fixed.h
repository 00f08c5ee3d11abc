// Fixed-point helpers of the raster code: arithmetic shifts that never depend on
// the compiler's choice for negative values, the clamp of 64-bit intermediates to
// 32 bits, and sine and cosine of 4096 steps a turn (16.16) from the quarter table.
#ifndef ZARN_DISPLAY_ERDR_FIXED_H
#define ZARN_DISPLAY_ERDR_FIXED_H

#include <cstdint>

#include "framework/emod_math.h"

namespace erdr {

inline int32_t Sar(int32_t v, int n) { return v >= 0 ? (v >> n) : ~((~v) >> n); }
inline int64_t Sar64(int64_t v, int n) { return v >= 0 ? (v >> n) : ~((~v) >> n); }
inline int32_t Clamp32(int64_t v) {
  return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v));
}
inline int32_t Sin4096(uint32_t a) {
  a &= 4095;
  const uint32_t q = a >> 10, i = a & 1023;
  switch (q) {
    case 0: return emathtable[i];
    case 1: return emathtable[1023 - i];
    case 2: return -emathtable[i];
    default: return -emathtable[1023 - i];
  }
}
inline int32_t Cos4096(uint32_t a) { return Sin4096(a + 1024); }

}  // namespace erdr

#endif
