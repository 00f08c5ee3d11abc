#include "framework/emod_math.h"

#include <cstring>
#include <new>

#include "framework/emod_vtimer.h"

const uint32_t zarn_rndget_mod[16] = {
    0xa7b93291, 0x0389af83, 0x4cd923aa, 0x823af340, 0xdf923800, 0xef7fab92,
    0x923acdfa, 0xa7239aa3, 0x93401034, 0xab49dc34, 0x9106bd8f, 0x0239f1cb,
    0xd01750dd, 0x0923d01e, 0x304dc09f, 0x1204ff31};
const uint32_t zarn_rndseed_mod[16] = {
    0x0923ab23, 0xdf920d20, 0x03485921, 0xdf230aad, 0xdaaf239b, 0xeba13daf,
    0xce238d01, 0x01592dde, 0xcc2309de, 0xde395056, 0x205dfab2, 0x19681549,
    0xdbaff941, 0xab8df12c, 0xcd059dd3, 0xff185fab};

ClassEMath::~ClassEMath() { delete[] sine_; }

void ClassEMath::Init() {
  delete[] sine_;
  sine_ = cosine_ = nullptr;
  int32_t* t = new (std::nothrow) int32_t[5120];
  if (t) {
    for (int i = 0; i < 1024; i++) {
      t[i] = emathtable[i];
      t[1024 + i] = emathtable[1023 - i];
      t[4096 + i] = emathtable[i];
    }
    for (int j = 0; j < 2048; j++) t[2048 + j] = -t[j];
    sine_ = t;
    cosine_ = t + 1024;
  }
  seed_ = ClassERTimer::Count();
}

int32_t ClassEMath::IntSqrt(int32_t a) {
  if (a <= 0) return 0;
  int32_t r = 0x8000, step = 0x8000;
  while (step) {
    // The square is taken in 32 bits as on the console: above 2^30 it wraps.
    int32_t s = static_cast<int32_t>(static_cast<uint32_t>(r) * static_cast<uint32_t>(r));
    if (a < s)
      r = r - step + step / 2;
    else if (a > s)
      r = r + step / 2;
    step /= 2;
  }
  return r;
}

int32_t ClassEMath::FloatToFixed(uint32_t bits, int fraction) {
  const bool negative = (bits >> 31) != 0;
  const int32_t e = static_cast<int32_t>((bits >> 23) & 0xFF);
  const uint32_t m = (bits & 0x7FFFFF) | 0x800000;
  const uint32_t saturated = negative ? 0x80000001u : 0x7FFFFFFFu;
  if (e == 255) return (bits & 0x7FFFFF) ? 0 : static_cast<int32_t>(saturated);
  const int32_t shift = e + fraction - 150;
  if (e + fraction < 119) return 0;
  if (shift > 31) return static_cast<int32_t>(saturated);
  uint32_t v = shift >= 0 ? (m << shift) : (m >> (-shift));
  if (negative) v = 0u - v;
  return static_cast<int32_t>(v);
}

uint32_t ClassEMath::FixedToFloat(int32_t value, int fraction) {
  float f = static_cast<float>(value);
  for (int i = 0; i < fraction; i++) f *= 0.5f;
  for (int i = 0; i > fraction; i--) f *= 2.0f;
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return bits;
}

uint32_t ClassEMath::Rand() {
  uint32_t hi = ((seed_ >> 16) * 1103515245u + 12345u) & 0xFFFF;
  uint32_t k = hi & 0xF;
  uint32_t lo = (((seed_ & 0xFFFF) ^ zarn_rndseed_mod[k]) * 23743u + 193u) & 0xFFFF;
  seed_ = (hi << 16) | lo;
  return seed_ ^ zarn_rndget_mod[k];
}

uint32_t ClassEMath::Rand(uint32_t low, uint32_t high) {
  if (low >= high) return low;
  uint32_t span = high - low + 1;
  // The full 32-bit range has no span that fits: every value is in range.
  if (span == 0) return Rand();
  return low + Rand() % span;
}
