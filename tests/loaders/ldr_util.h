// Helpers shared by the loader tests: files, outside tools and a framework context.
#ifndef ZARN_TESTS_LOADERS_LDR_UTIL_H
#define ZARN_TESTS_LOADERS_LDR_UTIL_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "display/edsp_base.h"
#include "framework/emod_math.h"
#include "framework/emod_memory.h"
#include "framework/zarn_types.h"
#include "tests/support/harness.h"

namespace ldr {

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return out;
}

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

// Debian's Python with Pillow (a python3 earlier on the PATH may lack it).
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kConvert = "/usr/bin/convert";

inline bool HavePillow() {
  return zt::Run(std::string(kPython) + " -c 'import PIL' >/dev/null 2>&1") == 0;
}
inline bool HaveConvert() { return zt::Run(std::string("test -x ") + kConvert) == 0; }

// A framework context with memory, math and an unopened display.
struct Context {
  ClassEMemory mem;
  ClassEMath math;
  ClassEDisplay dsp;
  ECD ecd{};
  Context() {
    math.Init();
    ecd.mem = &mem;
    ecd.math = &math;
    ecd.dsp = &dsp;
  }
};

// Little-endian writers for hand-made files.
inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}
inline void PutFloat(std::vector<uint8_t>& v, float f) {
  uint32_t b;
  static_assert(sizeof b == sizeof f, "float");
  __builtin_memcpy(&b, &f, 4);
  Put32(v, b);
}

// A small deterministic generator for mutation runs.
struct Lcg {
  uint32_t s;
  explicit Lcg(uint32_t seed) : s(seed) {}
  uint32_t Next() {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
  }
};

}  // namespace ldr

#endif
