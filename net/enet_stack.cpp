#include "net/enet_stack.h"

#include <cstring>

#include "framework/emod_memory.h"

const uint8_t kNetPingRequest[10] = {0xFF, 0xFA, 0x0A, 0x00, 0xFF, 0xFC, 0xF7, 0x04, 0xFF, 0xFB};
const uint8_t kNetPingReply[10] = {0xFF, 0xFA, 0x0A, 0x00, 0xFF, 0xFD, 0xF9, 0x03, 0xFF, 0xFB};

uint32_t ENet_FrameLength(const uint8_t* payload, uint32_t length) {
  if (length > kNetMaxFrame) return 0;
  uint32_t escapes = 0, run = 0;
  for (uint32_t i = 0; i < length; i++) {
    if (payload[i] == 0xFF && run == 0) {
      const uint32_t rest = length - i;
      run = rest < 255 ? rest : 255;
      escapes++;
    }
    if (run > 0) run--;
  }
  const uint32_t frame = length + 8 + 3 * escapes;
  return frame > kNetMaxFrame ? 0 : frame;
}

void ENet_WriteFrame(ENetFrameSink& sink, const uint8_t* payload, uint32_t length,
                     uint32_t frameLength) {
  const uint8_t header[4] = {0xFF, 0xFA, static_cast<uint8_t>(frameLength & 0xFF),
                             static_cast<uint8_t>((frameLength >> 8) & 0xFF)};
  sink.Write(header, 4);
  ENetChecksum sum;
  uint32_t stretch = 0, run = 0;
  for (uint32_t i = 0; i < length; i++) {
    if (payload[i] == 0xFF && run == 0) {
      const uint32_t rest = length - i;
      run = rest < 255 ? rest : 255;
      if (i > stretch) {
        sink.Write(payload + stretch, i - stretch);
        sum.Add(payload + stretch, i - stretch);
      }
      const uint8_t triple[3] = {0xFF, 0xFF, static_cast<uint8_t>(run)};
      sink.Write(triple, 3);
      sum.Add(triple, 3);
      stretch = i;
    }
    if (run > 0) run--;
  }
  if (length > stretch) {
    sink.Write(payload + stretch, length - stretch);
    sum.Add(payload + stretch, length - stretch);
  }
  const uint8_t trailer[4] = {sum.Check1(), sum.Check2(), 0xFF, 0xFB};
  sink.Write(trailer, 4);
}

ENetStack::~ENetStack() { DeAlloc(); }

int ENetStack::Alloc(uint32_t size) {
  DeAlloc();
  storage_ = size ? static_cast<uint8_t*>(ClassEMemory::Alloc(size)) : nullptr;
  capacity_ = storage_ ? size : 0;
  Clear();
  return storage_ ? 1 : 0;
}

void ENetStack::DeAlloc() {
  if (storage_) ClassEMemory::DeAlloc(storage_);
  storage_ = nullptr;
  capacity_ = 0;
  Clear();
}

void ENetStack::Clear() {
  read_ = used_ = payload_ = frameStart_ = frameLength_ = 0;
  scanned_ = 0;
}

void ENetStack::Remove(uint32_t count) {
  if (count > used_) count = used_;
  used_ -= count;
  read_ += count;
  if (read_ >= capacity_) read_ -= capacity_;
  if (used_ == 0) read_ = 0;
  scanned_ = 0;
  payload_ = 0;
}

int ENetStack::Push(const void* data, uint32_t length) {
  if (!storage_ || (length && !data)) return 0;
  if (length == 0) return 1;
  if (length > capacity_) return 0;
  if (length > capacity_ - used_) {
    // Make room by dropping the oldest bytes, as long as no whole frame waiting
    // to be taken is among them: a peer sending junk, or a header whose frame
    // can never fit, must not wedge the queue for good.
    if (!scanned_) Rescan();
    const uint32_t need = length - (capacity_ - used_);
    if (payload_ != 0 && frameStart_ - read_ < need) return 0;
    Remove(need);
  }
  uint32_t at = read_ + used_;
  if (at >= capacity_) at -= capacity_;
  const uint32_t first = length < capacity_ - at ? length : capacity_ - at;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  std::memcpy(storage_ + at, bytes, first);
  if (length > first) std::memcpy(storage_, bytes + first, length - first);
  used_ += length;
  if (payload_ == 0) scanned_ = 0;
  return 1;
}

int32_t ENetStack::CheckFrame(uint32_t offset, uint32_t frameLength, uint32_t available) const {
  const uint32_t end = frameLength - 2;
  uint32_t i = 4, count = 0;
  while (i < end) {
    if (i >= available) return kIncomplete;
    if (At(offset + i) == 0xFF) {
      if (i + 1 >= available) return kIncomplete;
      const uint8_t next = At(offset + i + 1);
      if (next == 0xFF) {
        if (i + 2 >= available) return kIncomplete;
        const uint8_t m = At(offset + i + 2);
        if (m != 0) {
          i += 3u + m;
          count += m;
          continue;
        }
      } else if (next == 0xFB) {
        return kInvalid;  // an end marker before the length says
      }
    }
    i++;
    count++;
  }
  if (i != end || count < 2) return kInvalid;
  if (frameLength > available) return kIncomplete;
  if (At(offset + end) != 0xFF || At(offset + end + 1) != 0xFB) return kInvalid;
  ENetChecksum sum;
  for (uint32_t k = 4; k < frameLength - 4; k++) {
    const uint8_t b = At(offset + k);
    sum.Add(&b, 1);
  }
  if (sum.Check1() != At(offset + frameLength - 4) || sum.Check2() != At(offset + frameLength - 3))
    return kInvalid;
  return static_cast<int32_t>(count - 2);
}

void ENetStack::ScanZarn(uint32_t& frameStart, uint32_t& payloadLength) {
  frameStart = read_;
  payloadLength = 0;
  frameLength_ = 0;
  if (!storage_) return;
  uint32_t off = 0;
  while (off + 4 <= used_) {
    if (At(off) == 0xFF && At(off + 1) == 0xFA) {
      const uint32_t length = At(off + 2) | static_cast<uint32_t>(At(off + 3)) << 8;
      if (length >= 8 && length <= capacity_) {
        // An incomplete frame waits for the rest, unless what is there already
        // shows it invalid (an end marker before its length says).
        const int32_t payload = CheckFrame(off, length, used_ - off);
        if (payload == kIncomplete) return;
        if (payload > 0) {
          frameStart = read_ + off;
          frameLength_ = length;
          payloadLength = static_cast<uint32_t>(payload);
          return;
        }
        // Invalid, or empty (which no receiver could ever pop): forget its start.
        for (uint32_t k = 0; k < 4; k++) Put(off + k, 0);
      }
    }
    off++;
  }
}

void ENetStack::Rescan() {
  ScanZarn(frameStart_, payload_);
  scanned_ = 1;
}

uint32_t ENetStack::Peek() {
  if (!storage_) return 0;
  if (!scanned_) Rescan();
  return payload_;
}

int ENetStack::Pop(void* out, uint32_t& length) {
  if (!storage_) {
    length = 0;
    return 1;
  }
  if (!scanned_) Rescan();
  if (payload_ == 0) {
    length = 0;
    return 1;
  }
  if (length < payload_ || !out) return 0;
  const uint32_t off = frameStart_ - read_;
  const uint32_t bodyEnd = off + frameLength_ - 4;
  uint8_t* dst = static_cast<uint8_t*>(out);
  uint32_t produced = 0, run = 0, i = off + 4;
  while (produced < payload_ && i < bodyEnd + 2) {
    const uint8_t b = At(i);
    if (run == 0 && b == 0xFF && At(i + 1) == 0xFF && At(i + 2) != 0) {
      run = At(i + 2);
      i += 3;
      continue;
    }
    dst[produced++] = b;
    if (run > 0) run--;
    i++;
  }
  const uint32_t payload = payload_;
  // The frame goes whole, trailer included, so no stray bytes can pose as a start.
  Remove(off + frameLength_);
  length = payload;
  if (payload == 2 && dst[0] == 0xFF && dst[1] == 0xFC) return ENETPOP_PINGREQUEST;
  if (payload == 2 && dst[0] == 0xFF && dst[1] == 0xFD) return ENETPOP_PINGREPLY;
  return ENETPOP_MESSAGE;
}

int ENetStack::Drop() {
  if (!storage_) return 0;
  if (!scanned_) Rescan();
  if (payload_ == 0) return 0;
  Remove(frameStart_ - read_ + frameLength_);
  return 1;
}
