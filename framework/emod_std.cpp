#include "framework/emod_std.h"

int ClassEStd::StrEqual(const char* a, const char* b, bool caseSensitive) {
  auto fold = [caseSensitive](unsigned char c) {
    return (!caseSensitive && c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
  };
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  for (int i = 0; i < 16384; i++) {
    if (fold(x[i]) != fold(y[i])) return 0;
    if (!x[i]) return 1;
  }
  return 1;
}
