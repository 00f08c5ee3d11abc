// Helpers of the display tests.
#ifndef ZARN_TESTS_DISPLAY_DISPLAY_SUPPORT_H
#define ZARN_TESTS_DISPLAY_DISPLAY_SUPPORT_H

#include <cstdint>

#endif
