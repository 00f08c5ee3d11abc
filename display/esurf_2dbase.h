// Base of the 2D surfaces: context link, clip rectangle, palette, stored size and
// format, the logical-to-physical conversions of blit positions and their clipping,
// the pixel-exact overlap test and the default loader callbacks.
//
// Pixels are stored in the frame buffer's orientation; callers pass logical
// coordinates. Without a linked display (null ECD or no display) the orientation is
// the identity.
#ifndef ZARN_DISPLAY_ESURF_2DBASE_H
#define ZARN_DISPLAY_ESURF_2DBASE_H

#include <cstdint>

#include "framework/zarn_types.h"
#include "loaders/eldr_base.h"

class ClassEMemory;

// The display's orientation as the surfaces use it.
struct EORIENT {
  uint8_t swap = 0;    // 1 when the display is turned by a quarter turn
  int32_t xdir = 1;    // -1 when x is mirrored
  int32_t ydir = 1;    // -1 when y is mirrored
};

// Logical to physical conversions over a stored size (w, h).
void EOrient_VirtualPos(const EORIENT& o, int32_t& x, int32_t& y, uint32_t w, uint32_t h);
void EOrient_VirtualRect(const EORIENT& o, tagRECT* rect, uint32_t w, uint32_t h);
void EOrient_ReVirtualRect(const EORIENT& o, tagRECT* rect, uint32_t w, uint32_t h);
void EOrient_VirtualRectPos(const EORIENT& o, int32_t& x, int32_t& y, tagRECT* rect, uint32_t dstW,
                            uint32_t dstH, uint32_t srcW, uint32_t srcH);
void EOrient_VirtualRectPos(const EORIENT& o, int32_t& x, int32_t& y, tagRECT* rect, uint32_t dstW,
                            uint32_t dstH, uint32_t srcW, uint32_t srcH, uint16_t angle);

// Pixel-exact overlap of two 1-bit masks (rows of (width + 31) / 32 words, most
// significant bit leftmost). rects holds A's left, top, right, bottom then B's.
int ExMiscIntersect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const int32_t* rects,
                    const uint32_t* maskA, const uint32_t* maskB, uint32_t widthA, uint32_t widthB,
                    tagPOINT* hit);

class E2DSurfaceBase {
 public:
  E2DSurfaceBase();
  virtual ~E2DSurfaceBase();
  E2DSurfaceBase(const E2DSurfaceBase&) = delete;
  E2DSurfaceBase& operator=(const E2DSurfaceBase&) = delete;

  // Loader callbacks; the base versions take nothing (3).
  virtual int LdrOnCreate(ELDR_2DCALLBACKINFO* info);
  virtual int LdrOnPaletteStream(ELDR_2DCALLBACKINFO* info);
  virtual int LdrOnPixelStream(ELDR_2DCALLBACKINFO* info);

  // Logical size; 0 when not created.
  uint32_t GetWidth() const;
  uint32_t GetHeight() const;
  bool IsCreated() const { return (created_ & 0xF) != 0; }
  void GetPalette(uint32_t* out, uint8_t first, uint32_t count) const;

  // Clips a physical rectangle to the clip rectangle in place; 1 when something is left.
  int ClipRect(tagRECT* rect) const;
  // Plain blit clipping of a physical position and source rectangle; 1 = something to draw.
  int PrepareBlitRect(int32_t& x, int32_t& y, tagRECT* src, int32_t srcW, int32_t srcH) const;
  // Prepares a plain blit of source at logical (x, y): 0 with physical position and
  // source rectangle, 1 a surface not created, 4 nothing to draw.
  int GetBltFastPositions(int32_t& x, int32_t& y, tagRECT* out, const tagRECT* src,
                          const E2DSurfaceBase* source) const;
  int GetBltFlipPositions(int32_t& x, int32_t& y, tagRECT* out, const tagRECT* src,
                          const E2DSurfaceBase* source, uint16_t angle, uint8_t& mirror) const;
  int PrepareBlitFlipRect(int32_t& x, int32_t& y, tagRECT* src, int32_t srcW, int32_t srcH,
                          int32_t dstW, int32_t dstH, uint16_t angle, uint8_t mirror) const;
  // 1 when this surface at (x1, y1) and other at (x2, y2) touch.
  int Intersect(int32_t x1, int32_t y1, const tagRECT* r1, int32_t x2, int32_t y2, const tagRECT* r2,
                const E2DSurfaceBase* other, tagPOINT* hit) const;

  // Plain accessors.
  ECD* GetECD() const { return ecd_; }
  const tagRECT& GetClip() const { return clip_; }
  const uint32_t* GetPaletteData() const { return palette_; }
  const uint32_t* GetMask() const { return mask_; }
  uint32_t GetPitch() const { return pitch_; }          // pixels per stored row
  uint32_t GetStoredWidth() const { return width_; }
  uint32_t GetStoredRows() const { return rows_; }
  uint32_t GetCreateFlags() const { return createflags_; }
  uint8_t GetFormat() const { return format_; }
  uint8_t GetBitsPerPixel() const { return bpp_; }

  // The linked display's orientation (identity without one).
  EORIENT Orientation() const;
  // The linked memory object, or null (the static allocator is used then).
  ClassEMemory* Memory() const;

 protected:
  // The pixel format a Create asks for: bits 8-15 of the flags when set, else
  // the format argument.
  static uint8_t CreateFormat(uint8_t format, uint32_t flags) {
    return (flags >> 8) & 0xFF ? uint8_t((flags >> 8) & 0xFF) : format;
  }
  // The display's loader slots in order: the first loader result other than 3,
  // else 3 (also without a linked display).
  int LoadThroughSlots(void* data, uint32_t length, uint8_t format, uint32_t flags);
  // A whole file in a block from ClassEMemory::Alloc (the caller frees it):
  // 0, 1 when it cannot be opened, read or is empty, 2 without memory.
  static int ReadWholeFile(const uint16_t* name, void** data, uint32_t* size);

 protected:
  ECD* ecd_ = nullptr;
  tagRECT clip_ = {0, 0, 0, 0};     // physical, right and bottom exclusive
  uint32_t palette_[256] = {};      // 0xAABBGGRR
  uint32_t* mask_ = nullptr;        // 1-bit collision mask, or null
  uint32_t pitch_ = 0;              // stored width raised to a multiple of 4
  uint32_t rows_ = 0;               // stored rows (physical height)
  uint32_t width_ = 0;              // stored width (physical width)
  uint32_t createflags_ = 0;
  uint8_t format_ = 0;              // 1 to 6
  uint8_t bpp_ = 0;                 // 8, 16, 24 or 32
  uint8_t created_ = 0;             // created while the low four bits are non-zero
};

#endif
