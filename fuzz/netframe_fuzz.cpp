// Peer frames: bytes from a peer pushed into a receive queue in pieces, and every
// message taken out; then the same bytes as a payload must survive a round trip.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "net/enet_stack.h"

namespace {

struct Sink : ENetFrameSink {
  std::vector<uint8_t> out;
  void Write(const uint8_t* d, uint32_t n) override { out.insert(out.end(), d, d + n); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 16)) return 0;
  // First byte: ring size and piece size.
  const uint32_t capacity = (data[0] & 1) ? 8192 : 256;
  const uint32_t piece = 1 + (data[0] >> 1);
  data++;
  size--;
  ENetStack s;
  if (!s.Alloc(capacity)) return 0;
  uint8_t buffer[1024];
  for (size_t at = 0; at < size; at += piece) {
    const uint32_t n = static_cast<uint32_t>(size - at < piece ? size - at : piece);
    s.Push(data + at, n);
    if (s.Used() > capacity) std::abort();
    for (int guard = 0; s.Peek() > 0; guard++) {
      if (guard > 4096) std::abort();  // a queue that never empties
      uint32_t length = sizeof buffer;
      const uint32_t want = s.Peek();
      const int r = s.Pop(buffer, length);
      if (r == ENETPOP_SMALL) {
        if (want <= sizeof buffer || !s.Drop()) std::abort();
        continue;
      }
      if (length != want || length == 0 || length > capacity) std::abort();
    }
  }
  // Round trip: the input as a payload comes back unchanged.
  const uint32_t frameLength = ENet_FrameLength(data, static_cast<uint32_t>(size));
  if (frameLength == 0 || frameLength > 8192) return 0;
  Sink sink;
  ENet_WriteFrame(sink, data, static_cast<uint32_t>(size), frameLength);
  if (sink.out.size() != frameLength) std::abort();
  ENetStack r;
  r.Alloc(8192);
  r.Push(sink.out.data(), static_cast<uint32_t>(sink.out.size()));
  std::vector<uint8_t> back(size);
  uint32_t length = static_cast<uint32_t>(size);
  const int kind = r.Pop(back.data(), length);
  if (kind == ENETPOP_SMALL || length != size || std::memcmp(back.data(), data, size) != 0)
    std::abort();
  return 0;
}
