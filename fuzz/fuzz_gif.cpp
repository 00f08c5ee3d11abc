// Fuzz target: the GIF loader over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_receiver.h"
#include "loaders/eldr_gif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::vector<uint8_t> file(data, data + size);
  FuzzReceiver r;
  ELoader_GIF loader;
  const int result = loader.Decode(&r, file.data(), static_cast<uint32_t>(file.size()), 6, 0);
  if (result < 0) __builtin_trap();
  return 0;
}
