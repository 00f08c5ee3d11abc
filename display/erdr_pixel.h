// Kernel internals: unaligned-safe pixel loads and stores, channel masks per
// format, the shift masks of the opacity fast paths.
#ifndef ZARN_DISPLAY_ERDR_PIXEL_H
#define ZARN_DISPLAY_ERDR_PIXEL_H

#include <cstdint>
#include <cstring>

namespace erdr {

inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline uint32_t Load24(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
}
inline void Store16(uint8_t* p, uint32_t v) {
  const uint16_t s = uint16_t(v);
  std::memcpy(p, &s, 2);
}
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void Store24(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
}

// Channel masks (blue, green, red) of a format; 16-bit formats other than 2 and 3
// count as 4, 24- and 32-bit as three bytes.
struct Channels {
  uint32_t b, g, r;
};
inline Channels ChannelsOf(uint8_t bpp, uint8_t format) {
  if (bpp == 16) {
    if (format == 2) return {0x000F, 0x00F0, 0x0F00};
    if (format == 3) return {0x001F, 0x03E0, 0x7C00};
    return {0x001F, 0x07E0, 0xF800};
  }
  return {0x0000FF, 0x00FF00, 0xFF0000};
}

// Shift k of an opacity on the fast paths (0 = none).
inline uint32_t OpacityShift(uint32_t opacity) {
  switch (opacity) {
    case 128: return 1;
    case 64: case 192: return 2;
    case 32: case 224: return 3;
    case 16: case 240: return 4;
    default: return 0;
  }
}

}  // namespace erdr

#endif
