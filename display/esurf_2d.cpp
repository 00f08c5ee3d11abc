#include "display/esurf_2d.h"

#include "framework/emod_memory.h"

E2DSurface::E2DSurface() = default;
E2DSurface::~E2DSurface() { Free(); }

void E2DSurface::Free() {
  ClassEMemory::DeAlloc(buffer_);
  buffer_ = nullptr;
  width_ = height_ = pitch_ = 0;
  format_ = 0;
}

int E2DSurface::Create(uint32_t width, uint32_t height, uint8_t format, uint32_t) {
  Free();
  uint32_t bpp = format == 1 ? 1 : format == 5 ? 3 : format == 6 ? 4 : (format >= 2 && format <= 4) ? 2 : 0;
  if (!bpp) return 1;
  if (width == 0 || height == 0 || width > 4096 || height > 4096) return 4;
  buffer_ = static_cast<uint8_t*>(ClassEMemory::Alloc(width * height * bpp));
  if (!buffer_) return 2;
  ClassEMemory::Set(buffer_, 0, width * height * bpp);
  width_ = width;
  height_ = height;
  pitch_ = width * bpp;
  format_ = format;
  return 0;
}

int E2DSurface::FillRect(const tagRECT* rc, uint32_t colour) {
  if (!buffer_ || format_ != 4) return 1;
  tagRECT r = {0, 0, int32_t(width_), int32_t(height_)};
  if (rc) r = *rc;
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > int32_t(width_)) r.right = int32_t(width_);
  if (r.bottom > int32_t(height_)) r.bottom = int32_t(height_);
  if (r.left >= r.right || r.top >= r.bottom) return 4;
  uint32_t c = ((colour & 0xF8) << 8) | ((colour >> 5) & 0x7E0) | ((colour >> 19) & 0x1F);
  for (int32_t y = r.top; y < r.bottom; y++)
    ClassEMemory::Set16(buffer_ + y * pitch_ + r.left * 2, c, uint32_t(r.right - r.left));
  return 0;
}
