// The peer frame protocol: framing, escapes and checksums on the sending side, and
// the receive queue that finds, verifies and unescapes whole frames.
//
// Frame: FF FA, u16 length L (little-endian, the whole frame), the body (the
// payload with escape triples FF FF m in front of every run that starts with FF),
// check byte 1, check byte 2, FF FB.
#ifndef ZARN_NET_ENET_STACK_H
#define ZARN_NET_ENET_STACK_H

#include <cstdint>

// Largest frame the 16-bit length field can describe.
constexpr uint32_t kNetMaxFrame = 0xFFFF;

// Running checksums over the body bytes as they go out or come in.
struct ENetChecksum {
  uint32_t index = 0;
  uint32_t weighted = 0;
  uint32_t low7 = 0;
  void Add(const uint8_t* data, uint32_t length) {
    for (uint32_t i = 0; i < length; i++) {
      index++;
      weighted += index * data[i];
      low7 += data[i] & 0x7Fu;
    }
  }
  uint8_t Check1() const { return static_cast<uint8_t>(weighted & 0xFFu); }
  uint8_t Check2() const { return static_cast<uint8_t>(~low7 & 0x7Fu); }
};

// Receives the pieces of one frame in order (header, body stretches, triples,
// trailer). Implemented by the connection (sockets) and by tests (memory).
class ENetFrameSink {
 public:
  virtual ~ENetFrameSink() = default;
  virtual void Write(const uint8_t* data, uint32_t length) = 0;
};

// Frame length L of a payload: length + 4 + 3 x escapes + 4. Returns 0 when the
// frame would not fit the 16-bit length field.
uint32_t ENet_FrameLength(const uint8_t* payload, uint32_t length);

// Writes the frame of a payload in pieces straight from the payload, no copy.
// `frameLength` must be ENet_FrameLength of the same payload.
void ENet_WriteFrame(ENetFrameSink& sink, const uint8_t* payload, uint32_t length,
                     uint32_t frameLength);

// The two fixed ping frames.
extern const uint8_t kNetPingRequest[10];
extern const uint8_t kNetPingReply[10];

// Pop results.
enum { ENETPOP_SMALL = 0, ENETPOP_MESSAGE = 1, ENETPOP_PINGREQUEST = 2, ENETPOP_PINGREPLY = 3 };

class ENetStack {
 public:
  ENetStack() = default;
  ~ENetStack();
  ENetStack(const ENetStack&) = delete;
  ENetStack& operator=(const ENetStack&) = delete;

  // New storage of `size` bytes, empty; 1, or 0 when memory is short.
  int Alloc(uint32_t size);
  void DeAlloc();
  // Forgets every buffered byte (a new peer in the same slot starts empty).
  void Clear();
  // Appends all bytes or none: 1, or 0 without storage or room. When the block
  // does not fit, the oldest bytes make room unless a whole frame waiting to be
  // taken is among them (then the block is refused).
  int Push(const void* data, uint32_t length);
  // Payload length of the first complete, valid frame; 0 when there is none.
  uint32_t Peek();
  // Copies the first frame's payload, unescaped, and removes the frame.
  // 1 (length 0) without a frame; 0 when the buffer is too small (nothing
  // removed); otherwise 2 ping request, 3 ping reply, 1 any other payload.
  int Pop(void* out, uint32_t& length);
  // Removes the first frame without copying it (a payload too large for the
  // receiver must not block the queue); 1 when a frame was removed.
  int Drop();
  // The scan: frame start (read position + offset) and payload length, 0 none.
  void ScanZarn(uint32_t& frameStart, uint32_t& payloadLength);

  uint32_t Used() const { return used_; }
  uint32_t Capacity() const { return capacity_; }

 private:
  uint8_t At(uint32_t offset) const {
    uint32_t i = read_ + offset;
    if (i >= capacity_) i -= capacity_;
    return storage_[i];
  }
  void Put(uint32_t offset, uint8_t value) {
    uint32_t i = read_ + offset;
    if (i >= capacity_) i -= capacity_;
    storage_[i] = value;
  }
  void Remove(uint32_t count);
  void Rescan();
  // Checks the frame at `offset` with `available` bytes buffered from there:
  // its payload length when valid, kInvalid, or kIncomplete (wait for more).
  static constexpr int32_t kInvalid = -1, kIncomplete = -2;
  int32_t CheckFrame(uint32_t offset, uint32_t frameLength, uint32_t available) const;

  uint8_t scanned_ = 0;
  uint8_t* storage_ = nullptr;
  uint32_t read_ = 0;
  uint32_t capacity_ = 0;
  uint32_t used_ = 0;
  uint32_t payload_ = 0;
  uint32_t frameStart_ = 0;
  uint32_t frameLength_ = 0;
};

#endif
