// Text and number functions on 8-bit and 16-bit strings, dates, times and MD5.
//
// Every string function is one template over the unit type of each argument
// (char, unsigned char, uint16_t or char16_t), so the 8-bit, 16-bit and mixed
// forms are the same code. Widening gives a byte its unsigned value; narrowing
// keeps the low 8 bits of a unit. No string is measured beyond 16,384 units and
// case folding touches only a to z.
#ifndef ZARN_FRAMEWORK_EMOD_STD_H
#define ZARN_FRAMEWORK_EMOD_STD_H

#include <cstdint>
#include <type_traits>

class ClassEFile;

// A broken-down date and time.
struct E_DATETIME {
  uint32_t year;  // full year, such as 2006
  uint8_t month;  // 1-12
  uint8_t day;    // 1-31
  uint8_t hour;
  uint8_t minute;
  uint8_t second;
};

class ClassEStd {
 public:
  static constexpr int32_t kMaxLen = 16384;

  // The unsigned value of a unit of any text type.
  template <class T>
  static uint32_t U(T c) {
    static_assert(sizeof(T) <= 2, "text units are 8 or 16 bits");
    return static_cast<uint32_t>(static_cast<std::make_unsigned_t<T>>(c));
  }
  // A unit value stored into a unit of type T (narrowing keeps the low byte).
  template <class T>
  static T Unit(uint32_t v) {
    return static_cast<T>(static_cast<std::make_unsigned_t<T>>(v & (sizeof(T) == 1 ? 0xFFu : 0xFFFFu)));
  }
  static uint32_t Fold(uint32_t c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

  template <class T>
  static int32_t StrLen(const T* text, int32_t max = kMaxLen) {
    if (!text) return 0;
    int32_t n = 0;
    while (n < max && text[n]) n++;
    return n;
  }

  // max is the target's size in units; a negative max or one above 65,536 means 16,384.
  template <class D, class S>
  static D* StrCpy(D* target, const S* source, int32_t max = -1) {
    if (!target || max == 0) return target;
    if (max < 0 || max > 65536) max = kMaxLen;
    int32_t i = 0;
    if (source)
      for (; i < max - 1 && source[i]; i++) target[i] = Unit<D>(U(source[i]));
    target[i] = 0;
    return target;
  }

  template <class D, class S>
  static D* StrCat(D* target, const S* source) {
    if (!target) return target;
    int32_t t = StrLen(target);
    int32_t i = 0;
    if (source)
      for (; i < kMaxLen - 1 && source[i]; i++) target[t + i] = Unit<D>(U(source[i]));
    target[t + i] = 0;
    return target;
  }

  template <class D>
  static D* StrCat(D* target, int32_t number, uint8_t radix = 10, bool isSigned = true) {
    if (!target) return target;
    IntToStr(target + StrLen(target), number, radix, isSigned);
    return target;
  }

  template <class A, class B>
  static int StrEqual(const A* a, const B* b, bool caseSensitive = true) {
    if (!a || !b) return a == nullptr && b == nullptr;
    int32_t la = StrLen(a), lb = StrLen(b);
    if (la != lb) return 0;
    for (int32_t i = 0; i < la; i++) {
      uint32_t x = U(a[i]), y = U(b[i]);
      if (!caseSensitive) {
        x = Fold(x);
        y = Fold(y);
      }
      if (x != y) return 0;
    }
    return 1;
  }

  template <class T>
  static int32_t StrFind(const T* text, uint32_t unit) {
    int32_t n = StrLen(text);
    for (int32_t i = 0; i < n; i++)
      if (U(text[i]) == unit) return i;
    return -1;
  }

  template <class A, class B>
  static int32_t StrFind(const A* text, const B* part, bool caseSensitive = true) {
    return FindFrom(text, part, caseSensitive, 0);
  }

  template <class T>
  static T* StrUpper(T* text) {
    int32_t n = StrLen(text);
    for (int32_t i = 0; i < n; i++)
      if (U(text[i]) >= 'a' && U(text[i]) <= 'z') text[i] = Unit<T>(U(text[i]) - 32);
    return text;
  }
  template <class T>
  static T* StrLower(T* text) {
    int32_t n = StrLen(text);
    for (int32_t i = 0; i < n; i++)
      if (U(text[i]) >= 'A' && U(text[i]) <= 'Z') text[i] = Unit<T>(U(text[i]) + 32);
    return text;
  }

  static int IsWhiteSpace(uint32_t unit) { return (unit >= 9 && unit <= 13) || unit == 32; }

  template <class T>
  static T* StrTrimLeft(T* text) {
    int32_t n = StrLen(text);
    int32_t k = 0;
    while (k < n && IsWhiteSpace(U(text[k]))) k++;
    if (k) {
      for (int32_t i = k; i < n; i++) text[i - k] = text[i];
      text[n - k] = 0;
    }
    return text;
  }
  template <class T>
  static T* StrTrimRight(T* text) {
    int32_t n = StrLen(text);
    while (n > 0 && IsWhiteSpace(U(text[n - 1]))) text[--n] = 0;
    return text;
  }
  template <class T>
  static T* StrTrim(T* text) {
    return StrTrimLeft(StrTrimRight(text));
  }

  // Replaces the first `count` units of text with the whole replacement.
  template <class T, class R>
  static T* StrNew(T* text, const R* replacement, int32_t count) {
    if (!text) return text;
    int32_t n = StrLen(replacement), t = StrLen(text);
    if (count < 0) count = 0;
    if (count > t) count = t;
    if (n > count) {
      for (int32_t i = t; i >= count; i--) text[i + n - count] = text[i];
      for (int32_t i = 0; i < n; i++) text[i] = Unit<T>(U(replacement[i]));
    } else {
      for (int32_t i = 0; i < n; i++) text[i] = Unit<T>(U(replacement[i]));
      if (n < count)
        for (int32_t i = count; i <= t; i++) text[i - (count - n)] = text[i];
    }
    return text;
  }

  // Replaces occurrences left to right; count -1 means all. Returns the number made.
  template <class T, class F, class R>
  static int32_t StrReplace(T* text, const F* find, const R* replacement, bool caseSensitive = true,
                            int32_t count = -1) {
    if (!text || !find || count == 0 || count < -1) return 0;
    const int32_t f = StrLen(find), r = StrLen(replacement);
    if (f == 0) return 0;
    const int32_t limit = count == -1 ? 268435455 : count;
    int32_t done = 0, from = 0;
    for (;;) {
      int32_t at = FindFrom(text, find, caseSensitive, from);
      if (at < 0) break;
      StrNew(text + at, replacement, f);
      if (++done >= limit) break;
      from = at + r;
    }
    return done;
  }

  // Radix 2 to 36, digits 0-9 then A-Z; signed writes "-" and the magnitude.
  template <class T>
  static T* IntToStr(T* target, int32_t value, uint8_t radix = 10, bool isSigned = true) {
    if (!target || radix < 2 || radix > 36) return target;
    uint32_t mag = static_cast<uint32_t>(value);
    int32_t k = 0;
    if (isSigned && value < 0) {
      target[k++] = Unit<T>('-');
      mag = 0u - mag;  // the most negative value gives its true magnitude
    }
    char tmp[34];
    int32_t n = 0;
    do {
      uint32_t d = mag % radix;
      tmp[n++] = static_cast<char>(d < 10 ? '0' + d : 'A' + d - 10);
      mag /= radix;
    } while (mag);
    while (n) target[k++] = Unit<T>(static_cast<uint8_t>(tmp[--n]));
    target[k] = 0;
    return target;
  }

  template <class T>
  static int32_t StrToInt(const T* text, uint8_t radix = 10) {
    if (!text || radix < 2 || radix > 36) return 0;
    int32_t n = StrLen(text);
    int32_t i = 0;
    bool neg = false;
    if (n > 0 && U(text[0]) == '-') {
      neg = true;
      i = 1;
    }
    uint32_t v = 0;
    for (; i < n; i++) {
      uint32_t c = U(text[i]), d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (c >= 'A' && c <= 'Z') d = c - 'A' + 10;
      else if (c >= 'a' && c <= 'z') d = c - 'a' + 10;
      else return 0;
      if (d >= radix) return 0;
      v = v * radix + d;  // wraps like the console's 32-bit arithmetic
    }
    return static_cast<int32_t>(neg ? 0u - v : v);
  }

  // ---- dates and times (UTC seconds since 1970) ----
  static uint32_t DateTimeToTimestamp(const E_DATETIME& date);
  static void TimestampToDateTime(E_DATETIME& date, uint32_t timestamp);
  static bool IsLeapYear(uint32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

  // ---- MD5 as 32 lowercase hex characters and a terminator (out: 33 bytes) ----
  struct MD5Context {
    uint32_t count[2];  // bits, low word first
    uint32_t state[4];
    uint8_t buffer[64];
  };
  static void MD5Str(char* out, const char* text);
  static void MD5Str(char* out, const uint16_t* text);
  static void MD5Data(char* out, const void* block, uint32_t length);
  static void MD5File(char* out, ClassEFile* file);
  static void MD5File(char* out, const char* name);
  static void MD5File(char* out, const uint16_t* name);
  static void MD5Init(MD5Context& ctx);
  static void MD5Update(MD5Context& ctx, const uint8_t* input, uint32_t length);
  static void MD5Transform(uint32_t state[4], const uint8_t block[64]);
  static void MD5Finalize(char* out, MD5Context& ctx);
  static void MD5Encode(uint8_t* out, const uint32_t* in, uint32_t bytes);
  static void MD5Decode(uint32_t* out, const uint8_t* in, uint32_t bytes);

 private:
  template <class A, class B>
  static int32_t FindFrom(const A* text, const B* part, bool caseSensitive, int32_t from) {
    int32_t n = StrLen(text), m = StrLen(part);
    if (m == 0 || m > n) return -1;
    for (int32_t i = from < 0 ? 0 : from; i + m <= n; i++) {
      int32_t j = 0;
      for (; j < m; j++) {
        uint32_t x = U(text[i + j]), y = U(part[j]);
        if (!caseSensitive) {
          x = Fold(x);
          y = Fold(y);
        }
        if (x != y) break;
      }
      if (j == m) return i;
    }
    return -1;
  }
};

#endif
