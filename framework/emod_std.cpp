#include "framework/emod_std.h"

#include <cstring>

#include "framework/emod_file.h"

namespace {

const uint8_t kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Leap years in 1..y.
uint64_t LeapsUpTo(uint64_t y) { return y / 4 - y / 100 + y / 400; }

}  // namespace

uint32_t ClassEStd::DateTimeToTimestamp(const E_DATETIME& d) {
  if (d.year < 1970) return 0;
  // Counted in closed form: a garbage year must not loop billions of times. The
  // 32-bit result wraps exactly as a year-by-year 32-bit count would.
  uint64_t days = 365ull * (d.year - 1970) + LeapsUpTo(d.year - 1) - LeapsUpTo(1969);
  if (IsLeapYear(d.year) && d.month >= 3) days++;
  const uint32_t months = d.month > 12 ? 11 : (d.month ? d.month - 1u : 0u);
  for (uint32_t m = 0; m < months; m++) days += kMonthDays[m];
  if (d.day) days += d.day - 1u;
  const uint64_t s = days * 86400ull + d.hour * 3600ull + d.minute * 60ull + d.second;
  return static_cast<uint32_t>(s);
}

void ClassEStd::TimestampToDateTime(E_DATETIME& d, uint32_t t) {
  d.second = static_cast<uint8_t>(t % 60);
  d.minute = static_cast<uint8_t>((t / 60) % 60);
  d.hour = static_cast<uint8_t>((t % 86400) / 3600);
  uint32_t days = t / 86400;
  uint32_t year = 1970;
  for (;;) {
    const uint32_t len = IsLeapYear(year) ? 366 : 365;
    if (days < len) break;
    days -= len;
    year++;
  }
  uint8_t month = 0;
  for (; month < 11; month++) {
    const uint32_t len = kMonthDays[month] + ((month == 1 && IsLeapYear(year)) ? 1 : 0);
    if (days < len) break;
    days -= len;
  }
  d.year = year;
  d.month = static_cast<uint8_t>(month + 1);
  d.day = static_cast<uint8_t>(days + 1);
}

// ---- MD5 (RFC 1321) ----

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

const uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
const int kS[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                    5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                    4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                    6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

}  // namespace

void ClassEStd::MD5Encode(uint8_t* out, const uint32_t* in, uint32_t bytes) {
  for (uint32_t i = 0, j = 0; j < bytes; i++, j += 4) {
    out[j] = static_cast<uint8_t>(in[i]);
    out[j + 1] = static_cast<uint8_t>(in[i] >> 8);
    out[j + 2] = static_cast<uint8_t>(in[i] >> 16);
    out[j + 3] = static_cast<uint8_t>(in[i] >> 24);
  }
}

void ClassEStd::MD5Decode(uint32_t* out, const uint8_t* in, uint32_t bytes) {
  for (uint32_t i = 0, j = 0; j < bytes; i++, j += 4)
    out[i] = in[j] | (in[j + 1] << 8) | (in[j + 2] << 16) | (static_cast<uint32_t>(in[j + 3]) << 24);
}

void ClassEStd::MD5Transform(uint32_t state[4], const uint8_t block[64]) {
  uint32_t x[16];
  MD5Decode(x, block, 64);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; i++) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (b & d) | (c & ~d);
      g = (5 * i + 1) & 15;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) & 15;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) & 15;
    }
    const uint32_t tmp = d;
    d = c;
    c = b;
    b = b + Rotl(a + f + kT[i] + x[g], kS[i]);
    a = tmp;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

void ClassEStd::MD5Init(MD5Context& ctx) {
  ctx.count[0] = ctx.count[1] = 0;
  ctx.state[0] = 0x67452301;
  ctx.state[1] = 0xefcdab89;
  ctx.state[2] = 0x98badcfe;
  ctx.state[3] = 0x10325476;
  std::memset(ctx.buffer, 0, sizeof ctx.buffer);
}

void ClassEStd::MD5Update(MD5Context& ctx, const uint8_t* input, uint32_t length) {
  uint32_t index = (ctx.count[0] >> 3) & 0x3F;
  const uint32_t bits = length << 3;
  ctx.count[0] += bits;
  if (ctx.count[0] < bits) ctx.count[1]++;
  ctx.count[1] += length >> 29;
  const uint32_t partLen = 64 - index;
  uint32_t i = 0;
  if (length >= partLen) {
    std::memcpy(ctx.buffer + index, input, partLen);
    MD5Transform(ctx.state, ctx.buffer);
    for (i = partLen; i + 63 < length; i += 64) MD5Transform(ctx.state, input + i);
    index = 0;
  }
  if (length > i) std::memcpy(ctx.buffer + index, input + i, length - i);
}

void ClassEStd::MD5Finalize(char* out, MD5Context& ctx) {
  static const uint8_t kPad[64] = {0x80};
  uint8_t bits[8];
  MD5Encode(bits, ctx.count, 8);
  const uint32_t index = (ctx.count[0] >> 3) & 0x3F;
  const uint32_t padLen = index < 56 ? 56 - index : 120 - index;
  MD5Update(ctx, kPad, padLen);
  MD5Update(ctx, bits, 8);
  uint8_t digest[16];
  MD5Encode(digest, ctx.state, 16);
  static const char kHex[] = "0123456789abcdef";
  for (int i = 0; i < 16; i++) {
    out[2 * i] = kHex[digest[i] >> 4];
    out[2 * i + 1] = kHex[digest[i] & 15];
  }
  out[32] = 0;
}

void ClassEStd::MD5Data(char* out, const void* block, uint32_t length) {
  MD5Context ctx;
  MD5Init(ctx);
  if (block && length) MD5Update(ctx, static_cast<const uint8_t*>(block), length);
  MD5Finalize(out, ctx);
}

void ClassEStd::MD5Str(char* out, const char* text) {
  MD5Data(out, text, static_cast<uint32_t>(StrLen(text)));
}

void ClassEStd::MD5Str(char* out, const uint16_t* text) {
  MD5Context ctx;
  MD5Init(ctx);
  const int32_t n = StrLen(text);
  for (int32_t i = 0; i < n; i++) {
    const uint8_t two[2] = {static_cast<uint8_t>(text[i]), static_cast<uint8_t>(text[i] >> 8)};
    MD5Update(ctx, two, 2);
  }
  MD5Finalize(out, ctx);
}

void ClassEStd::MD5File(char* out, ClassEFile* file) {
  MD5Context ctx;
  MD5Init(ctx);
  if (file) {
    uint32_t left = file->Size(static_cast<const uint16_t*>(nullptr));
    uint8_t block[8192];
    while (left) {
      const uint32_t n = left < sizeof block ? left : static_cast<uint32_t>(sizeof block);
      if (!file->Read(block, n)) break;
      MD5Update(ctx, block, n);
      left -= n;
    }
  }
  MD5Finalize(out, ctx);
}

void ClassEStd::MD5File(char* out, const uint16_t* name) {
  ClassEFile f;
  if (f.Open(name, 1)) {
    MD5File(out, &f);
    f.Close();
  } else {
    MD5Data(out, nullptr, 0);
  }
}

void ClassEStd::MD5File(char* out, const char* name) {
  ClassEFile f;
  if (f.Open(name, 1)) {
    MD5File(out, &f);
    f.Close();
  } else {
    MD5Data(out, nullptr, 0);
  }
}
