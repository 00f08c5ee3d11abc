// Kernel internals: unaligned-safe pixel loads and stores, channel masks per
// format, the shift masks of the opacity fast paths.
#ifndef ZARN_DISPLAY_ERDR_PIXEL_H
#define ZARN_DISPLAY_ERDR_PIXEL_H

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "framework/zarn_types.h"

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

// A pixel of 1 to 4 bytes (anything above 3 counts as 4).
inline uint32_t LoadBytes(const uint8_t* p, uint32_t bytes) {
  switch (bytes) {
    case 1: return p[0];
    case 2: return Load16(p);
    case 3: return Load24(p);
    default: return Load32(p);
  }
}
inline void StoreBytes(uint8_t* p, uint32_t bytes, uint32_t v) {
  switch (bytes) {
    case 1: p[0] = uint8_t(v); break;
    case 2: Store16(p, v); break;
    case 3: Store24(p, v); break;
    default: Store32(p, v); break;
  }
}

// Channel masks (blue, green, red) of a format; 16-bit formats other than 2 and 3
// count as 4, 24- and 32-bit as three bytes.
struct Channels {
  uint32_t b, g, r;
};
inline Channels ChannelsOf(uint8_t bpp, uint8_t format) {
  if (bpp == 16) {
    if (format == EFMT_RGB12) return {0x000F, 0x00F0, 0x0F00};
    if (format == EFMT_RGB15) return {0x001F, 0x03E0, 0x7C00};
    return {0x001F, 0x07E0, 0xF800};
  }
  return {0x0000FF, 0x00FF00, 0xFF0000};
}

// op(d's channel, c's channel, mask) for blue, green and red, each masked in place.
template <class Op>
inline uint32_t PerChannel(uint32_t d, uint32_t c, const Channels& ch, Op op) {
  return op(d & ch.b, c & ch.b, ch.b) | op(d & ch.g, c & ch.g, ch.g) | op(d & ch.r, c & ch.r, ch.r);
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

// No paired 16-bit path for FillRows.
struct NoPair {};

// The row walk of the blended rectangle fills: 8-bit pixels take the colour's low
// byte, the others one(pixel). With a pair function, 16-bit rows go two pixels per
// aligned 32-bit word, pair(word), with single pixels at an odd start and at the end.
template <class One, class Pair = NoPair>
inline void FillRows(const tagRECT* rect, uint8_t* pixels, uint32_t pitch, uint8_t bpp,
                     uint32_t colour, One one, Pair pair = Pair()) {
  const uint32_t left = uint32_t(rect->left), right = uint32_t(rect->right);
  for (int32_t y = rect->top; y < rect->bottom; y++) {
    const uint32_t row = uint32_t(y) * pitch;
    switch (bpp) {
      case 8: {
        uint8_t* p = pixels + row + left;
        for (uint32_t x = left; x < right; x++) *p++ = uint8_t(colour);
        break;
      }
      case 16: {
        uint8_t* p = pixels + (row + left) * 2;
        if constexpr (std::is_same_v<Pair, NoPair>) {
          for (uint32_t x = left; x < right; x++, p += 2) Store16(p, one(Load16(p)));
        } else {
          uint32_t n = right - left;
          if (((row + left) & 1) && n) {
            Store16(p, one(Load16(p)));
            p += 2;
            n--;
          }
          for (; n >= 2; n -= 2, p += 4) Store32(p, pair(Load32(p)));
          if (n) Store16(p, one(Load16(p)));
        }
        break;
      }
      case 24: {
        uint8_t* p = pixels + (row + left) * 3;
        for (uint32_t x = left; x < right; x++, p += 3) Store24(p, one(Load24(p)));
        break;
      }
      case 32: {
        uint8_t* p = pixels + (row + left) * 4;
        for (uint32_t x = left; x < right; x++, p += 4) Store32(p, one(Load32(p)));
        break;
      }
      default: return;
    }
  }
}

}  // namespace erdr

#endif
