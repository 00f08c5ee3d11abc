#include "display/erdr_kernel.h"
#include "display/erdr_pixel.h"

using namespace erdr;

namespace {

uint32_t PaletteToNative(uint32_t p, uint8_t format) {
  switch (format) {
    case 2: return ((p << 4) & 0xF00) | ((p >> 8) & 0xF0) | ((p >> 20) & 0xF);
    case 3: return ((p << 7) & 0x7C00) | ((p >> 6) & 0x3E0) | ((p >> 19) & 0x1F);
    case 4: return ((p << 8) & 0xF800) | ((p >> 5) & 0x7E0) | ((p >> 19) & 0x1F);
    default: return ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
  }
}

// Source pixel to 0x00RRGGBB-style destination value. Widening masks each channel
// before shifting so that no bit of a neighbouring channel comes along.
template <uint8_t D, uint8_t S>
inline uint32_t Convert(uint32_t s) {
  if (S == 2) {
    if (D == 3) return ((s & 0xF00) << 3) | ((s & 0xF0) << 2) | ((s & 0xF) << 1);
    if (D == 4) return ((s & 0xF00) << 4) | ((s & 0xF0) << 3) | ((s & 0xF) << 1);
    return ((s & 0xF00) << 12) | ((s & 0xF0) << 8) | ((s & 0xF) << 4);  // 5, 6
  }
  if (S == 3) {
    if (D == 2) return ((s >> 3) & 0xF00) | ((s >> 2) & 0xF0) | ((s >> 1) & 0xF);
    if (D == 4) return ((s & 0x7C00) << 1) | ((s & 0x3E0) << 1) | (s & 0x1F);
    return ((s & 0x7C00) << 9) | ((s & 0x3E0) << 6) | ((s & 0x1F) << 3);
  }
  if (S == 4) {
    if (D == 2) return ((s >> 4) & 0xF00) | ((s >> 3) & 0xF0) | ((s >> 1) & 0xF);
    if (D == 3) return ((s >> 1) & 0x7FE0) | (s & 0x1F);
    return ((s & 0xF800) << 8) | ((s & 0x7E0) << 5) | ((s & 0x1F) << 3);
  }
  // 5 and 6: s = 0x00RRGGBB
  if (D == 2) return ((s >> 12) & 0xF00) | ((s >> 8) & 0xF0) | ((s >> 4) & 0xF);
  if (D == 3) return ((s >> 9) & 0x7C00) | ((s >> 6) & 0x3E0) | ((s >> 3) & 0x1F);
  if (D == 4) return ((s >> 8) & 0xF800) | ((s >> 5) & 0x7E0) | ((s >> 3) & 0x1F);
  return s & 0xFFFFFF;
}

inline uint32_t BytesOf(uint8_t f) { return f == 1 ? 1 : f <= 4 ? 2 : f == 5 ? 3 : 4; }

inline uint32_t LoadAs(uint8_t f, const uint8_t* p) {
  switch (f) {
    case 1: return p[0];
    case 5: return Load24(p);
    case 6: return Load32(p);
    default: return Load16(p);
  }
}

inline void StoreAs(uint8_t f, uint8_t* p, uint32_t v) {
  switch (f) {
    case 5: Store24(p, v); break;
    case 6: Store32(p, v); break;
    default: Store16(p, v); break;
  }
}

template <uint8_t D, uint8_t S>
void Rows(uint8_t* dst, const uint8_t* src, uint32_t dp, uint32_t sp, int32_t w, int32_t h,
          const uint32_t* cache) {
  const uint32_t db = BytesOf(D), sb = BytesOf(S);
  for (int32_t y = 0; y < h; y++, dst += dp * db, src += sp * sb) {
    uint8_t* d = dst;
    const uint8_t* s = src;
    for (int32_t x = 0; x < w; x++, d += db, s += sb) {
      const uint32_t v = S == 1 ? cache[*s] : Convert<D, S>(LoadAs(S, s));
      StoreAs(D, d, v);
    }
  }
}

template <uint8_t D>
void ForDest(uint8_t* dst, const uint8_t* src, uint32_t dp, uint32_t sp, uint8_t sf, int32_t w,
             int32_t h, const uint32_t* cache) {
  switch (sf) {
    case 1: Rows<D, 1>(dst, src, dp, sp, w, h, cache); break;
    case 2: if (D != 2) Rows<D, 2>(dst, src, dp, sp, w, h, cache); break;
    case 3: if (D != 3) Rows<D, 3>(dst, src, dp, sp, w, h, cache); break;
    case 4: if (D != 4) Rows<D, 4>(dst, src, dp, sp, w, h, cache); break;
    case 5: if (D != 5) Rows<D, 5>(dst, src, dp, sp, w, h, cache); break;
    case 6: if (D != 6) Rows<D, 6>(dst, src, dp, sp, w, h, cache); break;
    default: break;
  }
}

}  // namespace

void ExBltColorConvert(uint8_t* dst, const uint8_t* src, uint32_t dstPitch, uint32_t srcPitch,
                       uint8_t dstFormat, uint8_t srcFormat, int32_t w, int32_t h,
                       const uint32_t* palette, uint32_t* cache) {
  if (dstFormat < 2 || dstFormat > 6 || srcFormat == dstFormat) return;
  if (srcFormat == 1) {
    if (!palette || !cache) return;
    if (cache[256] != dstFormat) {
      for (int i = 0; i < 256; i++) cache[i] = PaletteToNative(palette[i], dstFormat);
      cache[256] = dstFormat;
    }
  }
  switch (dstFormat) {
    case 2: ForDest<2>(dst, src, dstPitch, srcPitch, srcFormat, w, h, cache); break;
    case 3: ForDest<3>(dst, src, dstPitch, srcPitch, srcFormat, w, h, cache); break;
    case 4: ForDest<4>(dst, src, dstPitch, srcPitch, srcFormat, w, h, cache); break;
    case 5: ForDest<5>(dst, src, dstPitch, srcPitch, srcFormat, w, h, cache); break;
    case 6: ForDest<6>(dst, src, dstPitch, srcPitch, srcFormat, w, h, cache); break;
    default: break;
  }
}
