// BMP decoding (every header size, bit fields, top-down rows) into a bounded receiver, in every render format.
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "loaders/eldr_bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::vector<uint8_t> copy(data, data + size);
  zf::Image image;
  ELoader_BMP loader;
  loader.Decode(&image, copy.data(), static_cast<uint32_t>(copy.size()), zf::Format(data, size), 0);
  return 0;
}
