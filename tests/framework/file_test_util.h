// Small helpers for the file, pack and codec tests.
#ifndef ZARN_TESTS_FRAMEWORK_FILE_TEST_UTIL_H
#define ZARN_TESTS_FRAMEWORK_FILE_TEST_UTIL_H

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "framework/emod_bytes.h"
#include "framework/emod_file.h"
#include "standin/standin.h"
#include "tests/support/harness.h"

namespace ft {

using Bytes = std::vector<uint8_t>;

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes Random(size_t n, uint32_t seed) {
  std::mt19937 g(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(g());
  return b;
}
// Text-like data with repeats: words drawn from a small vocabulary.
inline Bytes Prose(size_t n, uint32_t seed) {
  static const char* words[] = {"the ", "stone ", "falls ", "down ", "a ", "diamond ", "grid ",
                                "and ", "links ", "break\n", "score ", "of ", "four "};
  std::mt19937 g(seed);
  Bytes b;
  while (b.size() < n) {
    const char* w = words[g() % 13];
    while (*w && b.size() < n) b.push_back(static_cast<uint8_t>(*w++));
  }
  return b;
}
inline uint32_t Get32(const Bytes& b, size_t at) { return EBytes_Get32(b.data() + at); }
inline void Put32(Bytes& b, size_t at, uint32_t v) { EBytes_Put32(b.data() + at, v); }

inline bool HavePython() { return zt::HaveTool("python3"); }
inline std::string RefScript() { return std::string(ZARN_SOURCE_DIR) + "/tests/framework/epk_ref.py"; }
inline int Py(const std::string& args) { return zt::Run("python3 '" + RefScript() + "' " + args); }

// A fixed wall clock for writers that stamp the time of writing; no sync per close.
inline void FixedClock(std::time_t t = 1700000000) {
  standin::Config c = zt::HeadlessConfig();
  c.wallTime = t;
  standin::Configure(c);
  ClassEFile::SetSyncOnClose(false);
}

}  // namespace ft

#endif
