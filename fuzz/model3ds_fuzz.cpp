// 3DS model decoding with checked record counts.
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "loaders/eldr_3ds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::vector<uint8_t> copy(data, data + size);
  zf::Model model;
  ELoader_3DS loader;
  loader.Decode(&model, copy.data(), static_cast<uint32_t>(copy.size()));
  return 0;
}
