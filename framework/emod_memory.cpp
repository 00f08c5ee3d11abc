#include "framework/emod_memory.h"

#include <cstring>
#include <new>

namespace {

// Fills with a 4-byte pattern (low byte first) from any alignment: the bytes in
// memory come out as a plain byte-by-byte fill would write them.
void FillPattern(uint8_t* d, uint32_t pattern, uint32_t bytes) {
  uint32_t phase = 0;  // which byte of the pattern comes next
  auto byteAt = [&](uint32_t k) { return static_cast<uint8_t>(pattern >> (8 * ((phase + k) & 3))); };
  while (bytes && (reinterpret_cast<uintptr_t>(d) & 3)) {
    *d++ = byteAt(0);
    phase = (phase + 1) & 3;
    bytes--;
  }
  if (bytes >= 4) {
    uint8_t four[4] = {byteAt(0), byteAt(1), byteAt(2), byteAt(3)};
    uint32_t word;
    std::memcpy(&word, four, 4);
    uint32_t n = bytes / 4;
    for (uint32_t i = 0; i < n; i++) std::memcpy(d + 4 * i, &word, 4);
    d += 4 * n;
    bytes -= 4 * n;
  }
  for (uint32_t k = 0; k < bytes; k++) d[k] = byteAt(k);
}

}  // namespace

ClassEMemory::ClassEMemory() = default;

ClassEMemory::~ClassEMemory() {
  delete[] blocks_;
  delete[] sizes_;
  delete[] codecOffsets_;
  delete[] codecLengths_;
  blocks_ = nullptr;
  sizes_ = nullptr;
  slots_ = 0;
}

void* ClassEMemory::Alloc(uint32_t size) {
  if (size == 0) return nullptr;
  return new (std::nothrow) uint8_t[size];
}

void ClassEMemory::DeAlloc(void* block) { delete[] static_cast<uint8_t*>(block); }

void ClassEMemory::Copy(void* dst, const void* src, uint32_t length, bool overlapSafe) {
  if (length == 0 || dst == src) return;
  auto* d = static_cast<uint8_t*>(dst);
  auto* s = static_cast<const uint8_t*>(src);
  if (overlapSafe)
    std::memmove(d, s, length);
  else
    std::memcpy(d, s, length);
}

int32_t ClassEMemory::Compare(const void* a, const void* b, int32_t length) {
  if (length <= 0) return 0;
  auto* x = static_cast<const uint8_t*>(a);
  auto* y = static_cast<const uint8_t*>(b);
  for (int32_t i = 0; i < length; i++)
    if (x[i] != y[i]) return static_cast<int32_t>(x[i]) - static_cast<int32_t>(y[i]);
  return 0;
}

void ClassEMemory::Set(void* dst, uint8_t value, uint32_t count) {
  if (count) std::memset(dst, value, count);
}

void ClassEMemory::Set16(void* dst, uint32_t value, uint32_t count) {
  uint32_t v = value & 0xFFFF;
  FillPattern(static_cast<uint8_t*>(dst), v | (v << 16), count * 2);
}

void ClassEMemory::Set24(void* dst, uint32_t value, uint32_t count) {
  auto* d = static_cast<uint8_t*>(dst);
  const uint8_t b0 = uint8_t(value), b1 = uint8_t(value >> 8), b2 = uint8_t(value >> 16);
  for (uint32_t i = 0; i < count; i++) {
    d[0] = b0;
    d[1] = b1;
    d[2] = b2;
    d += 3;
  }
}

void ClassEMemory::Set32(void* dst, uint32_t value, uint32_t count) {
  FillPattern(static_cast<uint8_t*>(dst), value, count * 4);
}

void EMemory_Set(void* dst, uint32_t pattern, uint32_t bytes) {
  FillPattern(static_cast<uint8_t*>(dst), pattern, bytes);
}

void* ClassEMemory::AllocList(uint32_t size) {
  if (size == 0 || size > 0xFFFFFFFFu - 4) return nullptr;
  if (slots_ == 0) {
    delete[] blocks_;
    delete[] sizes_;
    blocks_ = new (std::nothrow) void*[256];
    sizes_ = new (std::nothrow) uint32_t[256];
    if (!blocks_ || !sizes_) {
      delete[] blocks_;
      delete[] sizes_;
      blocks_ = nullptr;
      sizes_ = nullptr;
      return nullptr;
    }
    std::memset(blocks_, 0, 256 * sizeof(void*));
    std::memset(sizes_, 0, 256 * sizeof(uint32_t));
    slots_ = 256;
  }
  uint32_t slot = 0;
  while (slot < slots_ && sizes_[slot] != 0) slot++;
  if (slot == slots_) {
    uint32_t grown = slots_ + 256;
    void** nb = new (std::nothrow) void*[grown];
    uint32_t* ns = new (std::nothrow) uint32_t[grown];
    if (!nb || !ns) {
      delete[] nb;
      delete[] ns;
      return nullptr;
    }
    std::memcpy(nb, blocks_, slots_ * sizeof(void*));
    std::memcpy(ns, sizes_, slots_ * sizeof(uint32_t));
    std::memset(nb + slots_, 0, 256 * sizeof(void*));
    std::memset(ns + slots_, 0, 256 * sizeof(uint32_t));
    delete[] blocks_;
    delete[] sizes_;
    blocks_ = nb;
    sizes_ = ns;
    slots_ = grown;
  }
  auto* block = static_cast<uint8_t*>(Alloc(size + 4));
  if (!block) return nullptr;
  blocks_[slot] = block;
  sizes_[slot] = size + 4;
  std::memcpy(block, &slot, 4);
  return block + 4;
}

void ClassEMemory::DeAllocList(void* pointer) {
  if (!pointer) return;
  uint8_t* block = static_cast<uint8_t*>(pointer) - 4;
  uint32_t slot;
  std::memcpy(&slot, block, 4);
  if (blocks_ && slot < slots_ && blocks_[slot] == block) {
    blocks_[slot] = nullptr;
    sizes_[slot] = 0;
  }
  DeAlloc(block);
}

uint32_t ClassEMemory::InUse() const {
  if (!blocks_) return 0;
  uint32_t total = slots_ * 8;
  for (uint32_t i = 0; i < slots_; i++) total += sizes_[i];
  return total;
}
