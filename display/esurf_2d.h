// 2D drawing surface. (Minimal form: enough for the back buffer of the display.)
#ifndef ZARN_DISPLAY_ESURF_2D_H
#define ZARN_DISPLAY_ESURF_2D_H

#include <cstdint>

#include "framework/zarn_types.h"

class E2DSurface {
 public:
  E2DSurface();
  ~E2DSurface();
  E2DSurface(const E2DSurface&) = delete;
  E2DSurface& operator=(const E2DSurface&) = delete;

  void SetECD(ECD* ecd) { ecd_ = ecd; }
  int Create(uint32_t width, uint32_t height, uint8_t format, uint32_t flags);
  void Free();
  uint32_t GetWidth() const { return width_; }
  uint32_t GetHeight() const { return height_; }
  uint8_t GetFormat() const { return format_; }
  uint8_t* GetBuffer() const { return buffer_; }
  uint32_t GetPitch() const { return pitch_; }
  // Fills a logical rectangle (null: the whole surface) with a 0x00BBGGRR colour.
  int FillRect(const tagRECT* rc, uint32_t colour);

 private:
  ECD* ecd_ = nullptr;
  uint8_t* buffer_ = nullptr;
  uint32_t width_ = 0, height_ = 0, pitch_ = 0;
  uint8_t format_ = 0;
};

#endif
