// The framework's LZW codec: any stream decodes within its capacity, and any
// input survives a round trip.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/emod_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 16)) return 0;
  ClassEMemory memory;
  std::vector<uint8_t> out(4096);
  uint32_t capacity = static_cast<uint32_t>(out.size());
  memory.UnCompress(out.data(), capacity, data, static_cast<uint32_t>(size));

  std::vector<uint8_t> packed(2 * size + 64), back(size + 16);
  uint32_t packedSize = 0;
  if (!memory.Compress(packed.data(), packedSize, data, static_cast<uint32_t>(size))) return 0;
  if (packedSize > packed.size()) std::abort();
  uint32_t backSize = static_cast<uint32_t>(back.size());
  if (!memory.UnCompress(back.data(), backSize, packed.data(), packedSize)) std::abort();
  if (backSize != size || (size && std::memcmp(back.data(), data, size) != 0)) std::abort();
  return 0;
}
