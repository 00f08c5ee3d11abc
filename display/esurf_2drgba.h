// A surface of colour plus 8-bit alpha per pixel, drawn onto an E2DSurface with
// per-pixel blending (E2DSurface::BltFast with an E2DSurfaceRGBA source).
//
// Every pixel is one 32-bit word: alpha in bits 24-31, the colour in bits 0-23
// already encoded for the target format (format 1 an index, 2-4 the 16-bit value,
// else 0x00RRGGBB), so the blit onto a surface of that format converts nothing.
// Created with flag 0x20 the surface is premultiplied: the colour is stored
// multiplied by alpha / 256 and the top byte holds 255 - alpha (the weight the
// destination keeps).
//
// Colours passed in and out are 0x00BBGGRR (the index on format 1); coordinates are
// logical unless the name ends in V.
#ifndef ZARN_DISPLAY_ESURF_2DRGBA_H
#define ZARN_DISPLAY_ESURF_2DRGBA_H

#include <cstdint>

#include "display/esurf_2d.h"
#include "display/esurf_2dbase.h"
#include "framework/zarn_types.h"

// Create flag of a premultiplied RGBA surface (also the loader record flag that
// premultiplies the pixels as they arrive).
constexpr uint32_t ESURF_PREMULTIPLIED = 0x20;

class E2DSurfaceRGBA : public E2DSurfaceBase {
 public:
  E2DSurfaceRGBA();
  ~E2DSurfaceRGBA() override;

  void LinkECD(ECD* ecd) { ecd_ = ecd; }
  // 0 done, 1 a target format outside 1-6, 2 no memory, 4 zero width or height.
  int Create(uint32_t width, uint32_t height, uint8_t format, uint32_t flags);
  // The first loader result other than 3 over the display's slots, else 3.
  int LoadImage(void* data, uint32_t length, uint8_t format, uint32_t flags);
  // 1 when the file cannot be opened or is empty, 2 without memory, else as above.
  int LoadImage(const uint16_t* name, uint8_t format, uint32_t flags);
  void Free();
  uint32_t* Lock(E2DSURFACEINFO* info);
  void Unlock();
  int GetInfo(E2DSURFACEINFO* info) const;
  void SetClipper(const tagRECT* rect);
  void GetClipper(tagRECT* out) const;
  void PutPixel(int32_t x, int32_t y, uint32_t colour, uint8_t alpha);
  // Colour (0x00BBGGRR) and alpha inside the clip rectangle, 0 and 0 elsewhere;
  // a premultiplied pixel is divided back.
  void GetPixel(int32_t x, int32_t y, uint32_t& colour, uint8_t& alpha);
  void GetPixelV(int32_t x, int32_t y, uint32_t& colour, uint8_t& alpha);
  // Clears to fully transparent (the colour argument is not used).
  void Clear(uint32_t colour = 0);
  // 1 done; 0 on a premultiplied surface, when not created or without pixels.
  int ReplaceColor(uint32_t newColour, uint32_t oldColour, bool invert);
  // 1-bit mask: a bit for every pixel whose alpha is at least threshold.
  void BuildTableMask(uint8_t threshold);
  uint32_t GetFontWidth(const char* text) const;

  int LdrOnCreate(ELDR_2DCALLBACKINFO* info) override;
  int LdrOnPaletteStream(ELDR_2DCALLBACKINFO* info) override;
  int LdrOnPixelStream(ELDR_2DCALLBACKINFO* info) override;

  // --- Accessors ---
  uint32_t* GetBuffer() const { return pixels_; }
  uint8_t GetTargetFormat() const { return target_; }
  bool IsPremultiplied() const { return (createflags_ & ESURF_PREMULTIPLIED) != 0; }
  int32_t GetLockCount() const { return lockcount_; }

 private:
  uint32_t ReadWord(uint32_t word, uint32_t& colour) const;  // returns alpha

  int16_t* spanleft_ = nullptr;  // scanline tables, as in E2DSurface (unused here)
  int16_t* spanright_ = nullptr;
  int32_t* spanvala_ = nullptr;
  int32_t* spanvalb_ = nullptr;
  uint16_t* glyphs_ = nullptr;   // never built for this class
  uint32_t* pixels_ = nullptr;   // pitch x rows words
  uint8_t* rowbytes_ = nullptr;  // one byte per row
  int32_t lockcount_ = 0;
  uint8_t firstchar_ = 0;
  uint8_t target_ = 0;  // the format the colours are encoded for
};

#endif
