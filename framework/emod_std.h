// Text and number functions on 8-bit and 16-bit strings.
#ifndef ZARN_FRAMEWORK_EMOD_STD_H
#define ZARN_FRAMEWORK_EMOD_STD_H

#include <cstdint>

class ClassEStd {
 public:
  // 1 when both texts have the same length and equal units (a-z folded when
  // caseSensitive is false).
  static int StrEqual(const char* a, const char* b, bool caseSensitive = true);
};

#endif
