#include "loaders/eldr_base.h"

#include <cstring>

#include "framework/emod_memory.h"

ClassELoaderBase::ClassELoaderBase() = default;
ClassELoaderBase::~ClassELoaderBase() = default;

int ClassELoaderBase::Start(E2DSurfaceBase*, void*, uint32_t, uint8_t, uint32_t) {
  return ERES_NOTTHISFORMAT;
}
int ClassELoaderBase::Start(E3DSurface*, void*, uint32_t) { return ERES_NOTTHISFORMAT; }

void ClassELoaderBase::LinkData(void* data, uint32_t size) {
  data_ = static_cast<const uint8_t*>(data);
  size_ = data ? size : 0;
  position_ = 0;
}

ELDR_2DCALLBACKINFO ClassELoaderBase::NewInfo(uint8_t renderformat, uint32_t flags) {
  ELDR_2DCALLBACKINFO info;
  std::memset(&info, 0, sizeof info);
  info.renderformat = renderformat;
  info.flags = flags;
  return info;
}

int ClassELoaderBase::Read8(uint8_t* out) {
  if (position_ >= size_) return 0;
  *out = data_[position_++];
  return 1;
}

// The checks compare against what is left, so they cannot wrap near 2^32.
int ClassELoaderBase::Read16(uint16_t* out) {
  if (Left() < 2) return 0;
  const uint8_t* p = data_ + position_;
  *out = bigendian_ ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
  position_ += 2;
  return 1;
}

int ClassELoaderBase::Read32(uint32_t* out) {
  if (Left() < 4) return 0;
  const uint8_t* p = data_ + position_;
  if (bigendian_)
    *out = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
  else
    *out = static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[1]) << 8 | p[0];
  position_ += 4;
  return 1;
}

int ClassELoaderBase::ReadStream(void* dst, uint32_t n) {
  if (position_ >= size_) return 0;
  const uint32_t k = n < Left() ? n : Left();
  ClassEMemory::Copy(dst, data_ + position_, k, true);
  position_ += k;
  return 1;
}

void ClassELoaderBase::SeekSet(uint32_t p) { position_ = p < size_ ? p : size_; }

void ClassELoaderBase::SeekRelative(int32_t d) {
  if (d >= 0) {
    const uint32_t u = static_cast<uint32_t>(d);
    position_ = u < Left() ? position_ + u : size_;
  } else {
    const uint32_t u = 0u - static_cast<uint32_t>(d);
    position_ = u <= position_ ? position_ - u : size_;
  }
}

bool ELoader_SizeAllowed(uint32_t width, uint32_t height, uint8_t renderformat, uint32_t flags) {
  // Bytes a pixel of the six surface formats (index 8, 4:4:4, 5:5:5, 5:6:5, 24, 32 bits).
  static const uint8_t kBytes[7] = {4, 1, 2, 2, 2, 3, 4};
  const uint8_t format = (flags >> 8) & 0xFF ? static_cast<uint8_t>(flags >> 8) : renderformat;
  const uint64_t bytes = static_cast<uint64_t>(width) * height * (format < 7 ? kBytes[format] : 4);
  return bytes <= kELoaderMaxSurfaceBytes;
}

ELoaderWork::~ELoaderWork() {
  for (void*& b : blocks_) {
    ClassEMemory::DeAlloc(b);
    b = nullptr;
  }
}

uint8_t* ELoaderWork::Take(uint32_t n) {
  for (void*& b : blocks_) {
    if (b) continue;
    b = ClassEMemory::Alloc(n);
    return static_cast<uint8_t*>(b);
  }
  return nullptr;
}

void ELoaderWork::Free(void* block) {
  if (!block) return;
  for (void*& b : blocks_) {
    if (b == block) {
      ClassEMemory::DeAlloc(b);
      b = nullptr;
      return;
    }
  }
}
