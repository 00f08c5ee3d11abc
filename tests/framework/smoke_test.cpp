#include <gtest/gtest.h>

#include "framework/emod_math.h"

TEST(Smoke, Builds) { EXPECT_EQ(ClassEMath::IntSqrt(25), 5); }
