// Single pixels and rectangle fills of E2DSurface.
#include <cstring>

#include "display/erdr_kernel.h"
#include "display/esurf_2d.h"
#include "framework/emod_memory.h"

void E2DSurface::PutPixel(int32_t x, int32_t y, uint32_t colour, int32_t flags, uint32_t value) {
  if (!IsCreated() || !pixels_) return;
  EOrient_VirtualPos(Orientation(), x, y, width_, rows_);
  if (x < clip_.left || x >= clip_.right || y < clip_.top || y >= clip_.bottom) return;
  PixelRule(pixels_ + (uint32_t(y) * pitch_ + uint32_t(x)) * (bpp_ >> 3), colour, flags, value);
}

void E2DSurface::PutPixelRaw(int32_t x, int32_t y, uint32_t colour, int32_t flags, uint32_t value,
                             uint8_t* pixels) {
  PixelRule(pixels + (uint32_t(y) * pitch_ + uint32_t(x)) * (bpp_ >> 3), colour, flags, value);
}

void E2DSurface::FillRect(const tagRECT* rect, uint32_t colour, int32_t flags, uint32_t value) {
  FillRectV(rect, colour, flags, value, true);
}

void E2DSurface::FillRectV(const tagRECT* rect, uint32_t colour, int32_t flags, uint32_t value,
                           bool logical) {
  if (!IsCreated()) return;
  uint32_t f = uint32_t(flags);
  if ((f & EBLT_AD) && (f & EBLT_SB)) f &= ~(EBLT_AD | EBLT_SB);
  uint32_t o = (f & (EBLT_CF | EBLT_TN)) ? value >> 24 : value;
  if ((f & EBLT_CF) && (f & EBLT_TN)) {
    uint32_t m = colour & 0xFF;
    if (((colour >> 8) & 0xFF) > m) m = (colour >> 8) & 0xFF;
    if (((colour >> 16) & 0xFF) > m) m = (colour >> 16) & 0xFF;
    colour = ((((value & 0xFF) * m) >> 8) & 0xFF) | (((((value >> 8) & 0xFF) * m) >> 8) << 8) |
             (((((value >> 16) & 0xFF) * m) >> 8) << 16);
  } else if (f & EBLT_CF) {
    colour = value & 0xFFFFFF;
  } else if (f & EBLT_TN) {
    colour = ((colour >> 1) & 0x7F7F7F) + ((value >> 1) & 0x7F7F7F);
  }
  f &= ~(EBLT_CF | EBLT_TN);
  auto scale = [](uint32_t c, uint32_t a) {
    return ((((c & 0xFF) * a) >> 8) & 0xFF) | (((((c >> 8) & 0xFF) * a) >> 8) << 8) |
           (((((c >> 16) & 0xFF) * a) >> 8) << 16);
  };
  if ((f & EBLT_OP) && (f & (EBLT_AD | EBLT_SB))) {
    colour = scale(colour, o > 256 ? 256 : o);  // 255 or more is opaque; no overflow
    f &= ~EBLT_OP;
  } else if (f & EBLT_OP) {
    if (o > 254) {
      f &= ~EBLT_OP;
    } else {
      if (format_ == 2) o &= 0xF0;
      if (format_ == 3 || format_ == 4) o &= 0xF8;
      if (!o) return;
    }
  }
  if (!pixels_) return;
  lockcount_++;
  tagRECT r = clip_;
  if (rect) {
    r = *rect;
    if (logical) EOrient_VirtualRect(Orientation(), &r, width_, rows_);
    if (!ClipRect(&r)) {
      Unlock();
      return;
    }
  }
  if (f & EBLT_OP) colour = scale(colour, o);
  const uint32_t native = ColorToNative(colour, format_);
  if (f & EBLT_OP) {
    ExRctOpac(&r, pixels_, pitch_, bpp_, format_, native, o);
  } else if (f & EBLT_AD) {
    ExRctAlpha(&r, pixels_, pitch_, bpp_, format_, native);
  } else if (f & EBLT_SB) {
    ExRctSub(&r, pixels_, pitch_, bpp_, format_, native);
  } else if (r.left < r.right && r.top < r.bottom) {
    const uint32_t B = bpp_ >> 3;
    uint8_t* p = pixels_ + (uint32_t(r.top) * pitch_ + uint32_t(r.left)) * B;
    uint32_t count = uint32_t(r.right - r.left), rowsLeft = uint32_t(r.bottom - r.top);
    uint32_t step = pitch_ * B;
    if (r.left == 0 && uint32_t(r.right) == pitch_) {
      count *= rowsLeft;
      rowsLeft = 1;
    }
    for (; rowsLeft; rowsLeft--, p += step) {
      switch (B) {
        case 1: ClassEMemory::Set(p, uint8_t(native), count); break;
        case 2: ClassEMemory::Set16(p, native, count); break;
        case 3: ClassEMemory::Set24(p, native, count); break;
        default: ClassEMemory::Set32(p, native, count); break;
      }
    }
  }
  Unlock();
}

void E2DSurface::PutPixelRow(int32_t x, int32_t y, uint32_t length, uint32_t colour, int32_t flags,
                             uint32_t value) {
  PutPixelRowV(x, y, length, colour, flags, value, true);
}

void E2DSurface::PutPixelRowV(int32_t x, int32_t y, uint32_t length, uint32_t colour, int32_t flags,
                              uint32_t value, bool logical) {
  const int64_t right = int64_t(x) + length;
  tagRECT r = {x < 0 ? 0 : x, y, right > 0x7FFFFFFF ? 0x7FFFFFFF : int32_t(right), y + 1};
  FillRectV(&r, colour, flags, value, logical);
}

void E2DSurface::Clear(uint32_t colour) {
  FillRectV(nullptr, colour, 0, 0, false);
  FreeBlock(glyphs_);
  glyphs_ = nullptr;
  FreeBlock(mask_);
  mask_ = nullptr;
}
