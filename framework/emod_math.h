// Fixed-point helpers: sine and cosine of 4096 steps per turn, integer square root,
// float/fixed conversion and the framework's own random generator.
#ifndef ZARN_FRAMEWORK_EMOD_MATH_H
#define ZARN_FRAMEWORK_EMOD_MATH_H

#include <cstdint>

extern const int32_t emathtable[1024];
extern const uint32_t zarn_rndget_mod[16];
extern const uint32_t zarn_rndseed_mod[16];

class ClassEMath {
 public:
  ClassEMath() = default;
  ~ClassEMath();
  ClassEMath(const ClassEMath&) = delete;
  ClassEMath& operator=(const ClassEMath&) = delete;

  void Init();
  int32_t Sin(uint32_t angle) const { return sine_ ? sine_[angle & 0xFFF] : 0; }
  int32_t Cos(uint32_t angle) const { return cosine_ ? cosine_[angle & 0xFFF] : 0; }
  static int32_t IntSqrt(int32_t a);
  static uint32_t Abs(int32_t a) { return a < 0 ? 0u - static_cast<uint32_t>(a) : static_cast<uint32_t>(a); }
  static int32_t FloatToFixed(uint32_t bits, int fraction);
  static uint32_t FixedToFloat(int32_t value, int fraction);
  uint32_t Rand();
  uint32_t Rand(uint32_t low, uint32_t high);
  void SetRandSeed(uint32_t seed) { seed_ = seed; }
  uint32_t GetRandSeed() const { return seed_; }

 private:
  int32_t* sine_ = nullptr;   // 5120 entries, owned
  int32_t* cosine_ = nullptr; // sine_ + 1024
  uint32_t seed_ = 0;
};

#endif
