// Helpers shared by the loader tests: a framework context, the corpus suites'
// fixture, writers for hand-made files and the mutation runs.
#ifndef ZARN_TESTS_LOADERS_LDR_UTIL_H
#define ZARN_TESTS_LOADERS_LDR_UTIL_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "display/edsp_base.h"
#include "framework/emod_bytes.h"
#include "framework/emod_math.h"
#include "framework/emod_memory.h"
#include "framework/zarn_types.h"
#include "tests/support/harness.h"

namespace ldr {

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

// One line of a corpus manifest: a file, what the loader must make of it, and
// for some kinds a second file (the one it was made from, its pair).
struct CorpusEntry {
  std::string name, kind, other;
};

// The fixture of a corpus suite. Self names the script in tests/loaders/data
// that makes the corpus (kScript), its folder (kFolder), the tools it needs
// (Tools(), and kMissing to say which), and the fewest files it must list
// (kMinimum). The corpus is made once per set-up of the suite (again for a
// repeated run), and the manifest read afresh each time.
template <class Self>
class CorpusTest : public ::testing::Test {
 protected:
  inline static std::string dir_;
  inline static bool ready_ = false;
  inline static std::vector<CorpusEntry> manifest_;

  static void SetUpTestSuite() {
    ready_ = false;
    manifest_.clear();
    if (!Self::Tools()) return;
    dir_ = zt::TempDir(Self::kFolder);
    const std::string script = std::string(ZARN_SOURCE_DIR) + "/tests/loaders/data/" + Self::kScript;
    ready_ = zt::Run("cd '" + dir_ + "' && " + zt::kPython + " '" + script + "' >/dev/null 2>&1") == 0;
    std::ifstream m(dir_ + "/manifest.txt");
    std::string line;
    while (std::getline(m, line)) {
      std::istringstream fields(line);
      CorpusEntry e;
      if (fields >> e.name >> e.kind) {
        fields >> e.other;
        manifest_.push_back(e);
      }
    }
  }
  void SetUp() override {
    if (!Self::Tools()) GTEST_SKIP() << Self::kMissing << " missing";
    ASSERT_TRUE(ready_) << "corpus could not be made";
    ASSERT_GT(manifest_.size(), Self::kMinimum);
    std::vector<std::string> names;
    for (const CorpusEntry& e : manifest_) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    ASSERT_EQ(std::adjacent_find(names.begin(), names.end()), names.end()) << "a file listed twice";
  }
};

// Little-endian writers for hand-made files.
inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
  uint8_t b[2];
  EBytes_Put16(b, x);
  v.insert(v.end(), b, b + 2);
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
  uint8_t b[4];
  EBytes_Put32(b, x);
  v.insert(v.end(), b, b + 4);
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

// Mutants of a file, for a loader's failure paths. Round r of every three: 0 cuts
// the file short; 1 overwrites 1 to maxFlips bytes in the head (headLength bytes
// from headStart, where sizes and counts live; anywhere when headLength is 0);
// 2 overwrites bytes anywhere.
struct Mutations {
  int rounds = 60;
  uint32_t maxFlips = 4;
  uint32_t headStart = 0;
  uint32_t headLength = 0;
};

template <class Fn>
void ForEachMutant(const std::vector<uint8_t>& file, Lcg& rng, const Mutations& plan, Fn&& fn) {
  if (file.empty()) return;
  for (int round = 0; round < plan.rounds; round++) {
    std::vector<uint8_t> m = file;
    const int mode = round % 3;
    if (mode == 0) {
      m.resize(rng.Next() % m.size());
    } else {
      const uint32_t flips = 1 + rng.Next() % plan.maxFlips;
      const bool head = mode == 1 && plan.headLength && plan.headStart < m.size();
      for (uint32_t k = 0; k < flips; k++) {
        const size_t at =
            head ? plan.headStart + rng.Next() % plan.headLength % (m.size() - plan.headStart)
                 : rng.Next() % m.size();
        m[at] = static_cast<uint8_t>(rng.Next());
      }
    }
    fn(m, round);
  }
}

}  // namespace ldr

#endif
