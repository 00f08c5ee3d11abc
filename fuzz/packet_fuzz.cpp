// Game packets: any payload read; what is taken writes back to the same bytes
// (apart from the bytes no packet uses) and reads again the same.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "game/packets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 512) return 0;
  GAMEPACKET p;
  if (!GamePacket_Read(data, static_cast<uint32_t>(size), p)) return 0;
  if (std::strlen(p.name) > 31) std::abort();
  for (const PLAYERSLOT& s : p.seat)
    if (!std::memchr(s.name, 0, sizeof s.name)) std::abort();
  uint8_t out[kPacketMax + kPacketJoinMax];
  const uint32_t n = GamePacket_Write(p, out, sizeof out, p.name);
  if (n == 0 || n > kPacketMax) std::abort();
  GAMEPACKET q;
  if (!GamePacket_Read(out, n, q)) std::abort();
  uint8_t again[sizeof out];
  if (GamePacket_Write(q, again, sizeof again, q.name) != n || std::memcmp(out, again, n) != 0)
    std::abort();
  return 0;
}
