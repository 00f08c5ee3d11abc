// The 2D drawing surface: pixels in one of six formats, colour key, bitmap-font
// tables, per-row scanline tables, lock count.
//
// Where the methods are defined:
//   esurf_2dbase.cpp      E2DSurfaceBase, the EOrient_* conversions, ExMiscIntersect
//   esurf_2d.cpp          construction, LinkECD, Create, Free, Lock/Unlock/GetInfo,
//                         clipper, colour key, GetPixel*, colour conversion,
//                         ReplaceColor, BuildTableMask, LoadImage, loader callbacks,
//                         the per-pixel rule (PixelRule)
//   esurf_2dblt.cpp       BltFast, BltFlip, BltFx, Blt
//   esurf_2d_draw.cpp     PutPixel*, FillRect*, PutPixelRow*, Clear, DrawLine, DrawRect,
//                         DrawOval, FillOval, Gradient*, *Poly*, ScanPolyLine, Render
//   esurf_2d_span.cpp     BltFxSpans (the scaled and turned BltFx)
//   esurf_2d_text.cpp     BuildTableVwf, SetFont*, GetFont*, DrawFont*, *FontWrap
//   loaders/eldr_bmp.cpp  WriteBmp, beside the BMP writer it drives (the loaders
//                         sit above the display)
//   esurf_2d_landscape.cpp Landscape, GetLandscapePoint (the ground plane)
//   esurf_2dblt_rgba.cpp  BltFast from an E2DSurfaceRGBA, BltPixelShader
//   esurf_2d_memblt.cpp   MemBlt, MemBltColorkey and the stock pixel shaders
// Colours are 0x00BBGGRR (a palette index on format 1); coordinates are logical
// unless the name ends in V.
#ifndef ZARN_DISPLAY_ESURF_2D_H
#define ZARN_DISPLAY_ESURF_2D_H

#include <cstdint>

#include "display/esurf_2dbase.h"
#include "framework/zarn_types.h"

class E2DSurfaceRGBA;
class E3DSurface;
struct BlitRows;  // one blit's rows after the front (esurf_2dblt.cpp)

// Filled by GetInfo and Lock.
struct E2DSURFACEINFO {
  int32_t xstep;        // bytes for one logical pixel to the right
  int32_t ystep;        // bytes for one logical row down
  int32_t pitch;        // bytes per stored row
  int32_t origin;       // byte offset of logical (0, 0)
  uint32_t width, height;               // logical size
  uint32_t storedwidth, storedrows;     // physical size
  uint8_t bpp;
  uint8_t format;
};

// The effect record of BltFx.
struct E2DBLTFX {
  int32_t flags;
  uint32_t value;
  int32_t xscale, yscale;   // 16.16, 0x10000 = 1.0
  uint32_t rotation;        // 4096 a turn
  uint8_t mirror;           // bit 0 horizontal, bit 1 vertical
};

// The function of BltPixelShader: (dst, src, x, y, param) -> pixel. Colours are
// 0x00RRGGBB (blue in the low byte); x and y count from the drawn rectangle's
// top-left.
typedef uint32_t (*EPIXELSHADER)(uint32_t dst, uint32_t src, uint32_t x, uint32_t y, int32_t param);

// Stock shaders: dst & src, dst | src, dst ^ src, and the grey of the source.
uint32_t EPShader_AND(uint32_t dst, uint32_t src, uint32_t x, uint32_t y, int32_t param);
uint32_t EPShader_OR(uint32_t dst, uint32_t src, uint32_t x, uint32_t y, int32_t param);
uint32_t EPShader_XOR(uint32_t dst, uint32_t src, uint32_t x, uint32_t y, int32_t param);
uint32_t EPShader_Grayscale(uint32_t dst, uint32_t src, uint32_t x, uint32_t y, int32_t param);

class E2DSurface : public E2DSurfaceBase {
 public:
  E2DSurface();
  ~E2DSurface() override;

  // --- Formats, creation, pixels ---
  void LinkECD(ECD* ecd) { ecd_ = ecd; }
  // 0 done, 1 bad format, 2 no memory, 4 bad arguments.
  int Create(uint32_t width, uint32_t height, uint8_t format, uint32_t flags);
  void Free();
  uint8_t* Lock(E2DSURFACEINFO* info) {
    if (!IsCreated() || !pixels_) return nullptr;
    if (info) GetInfo(info);
    lockcount_++;
    return pixels_;
  }
  void Unlock() {
    if (lockcount_ > 0) lockcount_--;
  }
  int GetInfo(E2DSURFACEINFO* info) const;
  void SetClipper(const tagRECT* rect);
  void GetClipper(tagRECT* out) const;
  void SetColorKey(uint32_t colour);
  uint32_t GetColorKey() const;
  uint32_t AutoSetColorKey(int32_t x, int32_t y);
  uint32_t GetPixel(int32_t x, int32_t y);
  uint32_t GetPixelV(int32_t x, int32_t y);
  uint32_t GetPixelRaw(int32_t x, int32_t y, const uint8_t* pixels) const;
  int ReplaceColor(uint32_t newColour, uint32_t oldColour, bool invert);
  void BuildTableMask(uint8_t threshold);
  int LoadImage(void* data, uint32_t length, uint8_t format, uint32_t flags);
  int LoadImage(const uint16_t* name, uint8_t format, uint32_t flags);
  void WriteBmp(const uint16_t* name, const tagRECT* rect);
  void WriteBmp(const char* name, const tagRECT* rect);
  int LdrOnCreate(ELDR_2DCALLBACKINFO* info) override;
  int LdrOnPaletteStream(ELDR_2DCALLBACKINFO* info) override;
  int LdrOnPixelStream(ELDR_2DCALLBACKINFO* info) override;

  // Colour conversion between 0x00BBGGRR and a format's native value.
  static uint32_t ColorToNative(uint32_t colour, uint8_t format);
  static uint32_t NativeToColor(uint32_t pixel, uint8_t format);
  // The loaders' ordered dither of a 0x00BBGGRR colour for a format (2-4; others
  // unchanged), d = logical column + row of the pixel.
  static uint32_t DitherColor(uint32_t colour, uint8_t format, uint32_t d);
  // The per-pixel rule at a physical pixel address of this surface's format.
  void PixelRule(uint8_t* pixel, uint32_t colour, int32_t flags, uint32_t value) const;

  // --- Drawing primitives ---
  void PutPixel(int32_t x, int32_t y, uint32_t colour, int32_t flags = 0, uint32_t value = 0);
  void PutPixelRaw(int32_t x, int32_t y, uint32_t colour, int32_t flags, uint32_t value,
                   uint8_t* pixels);
  void FillRect(const tagRECT* rect, uint32_t colour, int32_t flags = 0, uint32_t value = 0);
  void FillRectV(const tagRECT* rect, uint32_t colour, int32_t flags, uint32_t value, bool logical);
  void PutPixelRow(int32_t x, int32_t y, uint32_t length, uint32_t colour, int32_t flags = 0,
                   uint32_t value = 0);
  void PutPixelRowV(int32_t x, int32_t y, uint32_t length, uint32_t colour, int32_t flags,
                    uint32_t value, bool logical);
  void Clear(uint32_t colour);
  void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, int32_t flags = 0,
                uint32_t value = 0);
  void DrawRect(const tagRECT* rect, uint32_t colour, int32_t flags = 0, uint32_t value = 0);
  void DrawOval(int32_t x, int32_t y, int32_t rx, int32_t ry, uint32_t colour, int32_t flags = 0,
                uint32_t value = 0);
  void FillOval(int32_t x, int32_t y, int32_t rx, int32_t ry, uint32_t colour, int32_t flags = 0,
                uint32_t value = 0);
  void GradientRect(const tagRECT* rect, uint32_t topLeft, uint32_t topRight, uint32_t bottomLeft,
                    uint32_t bottomRight, int32_t flags = 0);
  void GradientRectV(const tagRECT* rect, uint32_t top, uint32_t bottom, int32_t flags = 0);
  void GradientRectH(const tagRECT* rect, uint32_t left, uint32_t right, int32_t flags = 0);
  void FillPoly(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                uint32_t colour, int32_t flags = 0, uint32_t value = 0);
  void GradientPoly(int32_t x0, int32_t y0, uint32_t c0, int32_t x1, int32_t y1, uint32_t c1,
                    int32_t x2, int32_t y2, uint32_t c2, int32_t flags = 0);
  void TexturePoly(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                   int32_t tu0, int32_t tv0, int32_t tu1, int32_t tv1, int32_t tu2, int32_t tv2,
                   E2DSurface* texture, int32_t flags = 0, uint32_t value = 0);
  void FillPolyV(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                 uint32_t colour, int32_t flags, uint32_t value);
  void GradientPolyV(int32_t x0, int32_t y0, uint32_t c0, int32_t x1, int32_t y1, uint32_t c1,
                     int32_t x2, int32_t y2, uint32_t c2, int32_t flags);
  void TexturePolyV(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                    int32_t tu0, int32_t tv0, int32_t tu1, int32_t tv1, int32_t tu2, int32_t tv2,
                    E2DSurface* texture, int32_t flags, uint32_t value);
  void ScanPolyLine(int32_t xa, int32_t ya, int32_t xb, int32_t yb);
  void ScanPolyLine(int32_t xa, int32_t ya, int32_t ua, int32_t va, int32_t xb, int32_t yb,
                    int32_t ub, int32_t vb);
  void ScanPolyLine(int32_t xa, int32_t ya, int32_t ra, int32_t ga, int32_t ba, int32_t xb,
                    int32_t yb, int32_t rb, int32_t gb, int32_t bb);
  void Render(int32_t x, int32_t y, E3DSurface* model, uint32_t flags = 0, uint32_t value = 0);

  // --- Blits --- (0 drawn, 1 not created, 3/11 formats differ, 4 nothing left,
  // 10 opacity masked to zero, 12 no pixel buffer)
  int BltFast(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect, int32_t flags = 0,
              uint32_t value = 0);
  int BltFlip(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect, uint16_t angle,
              uint8_t mirror, int32_t flags = 0, uint32_t value = 0);
  int BltFx(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect, E2DBLTFX* fx);
  int Blt(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect, uint16_t rotation,
          uint32_t scale, uint8_t mirror, int32_t flags = 0, uint32_t value = 0);
  // The scaled and turned path of BltFx through the span kernels (esurf_2d_span.cpp):
  // (x, y) the logical centre, flags and value already through the opacity front.
  int BltFxSpans(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect, const E2DBLTFX* fx);
  // Of the flags only ck is used. 11 when the formats differ.
  int BltPixelShader(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect, EPIXELSHADER shader,
                     int32_t flags, uint32_t param);
  // The walks of BltPixelShader: every pixel pair of the clipped source rectangle
  // (destination at physical (x, y)) through the shader; pitches in pixels, one
  // format for both. On format 1 the source bytes are copied without the shader.
  // The Colorkey form skips source pixels equal to the native key.
  static void MemBlt(EPIXELSHADER shader, int32_t x, int32_t y, uint8_t* dst, const uint8_t* src,
                     const tagRECT* rect, uint32_t dstPitch, uint32_t srcPitch, uint8_t format,
                     int32_t param);
  static void MemBltColorkey(EPIXELSHADER shader, int32_t x, int32_t y, uint8_t* dst,
                             const uint8_t* src, const tagRECT* rect, uint32_t dstPitch,
                             uint32_t srcPitch, uint8_t format, int32_t param, uint32_t key);
  int BltFast(int32_t x, int32_t y, E2DSurfaceRGBA* src, const tagRECT* rect, int32_t flags = 0,
              uint32_t value = 0);
  // Ground plane: (b, c) the viewpoint in 1/16 texel, a the camera height (a / zoom
  // texels per pixel on the bottom row), angle 4096 a turn, tilt the perspective
  // (0 flat), zoom 256 = 1.0. Draws nothing unless texture has this format.
  void Landscape(const tagRECT* rect, int32_t a, int32_t b, int32_t c, uint16_t angle, int16_t tilt,
                 uint16_t zoom, E2DSurface* texture);
  // The logical pixel (x, y) at which Landscape with the same arguments draws the
  // texture position (u, v) (1/16 texel); 0 when it lies beyond the horizon or
  // outside the rectangle.
  int GetLandscapePoint(const tagRECT* rect, int32_t a, int32_t b, int32_t c, uint16_t angle,
                        int16_t tilt, uint16_t zoom, int32_t u, int32_t v, int32_t* x, int32_t* y);

  // --- Bitmap fonts and text ---
  void BuildTableVwf(uint32_t count);
  void SetFontCharacters(uint16_t first, uint16_t last);
  void SetFontCharacterSet(const char* set);
  void SetFontCharacterSet(const uint16_t* set);
  void SetFontPadding(int32_t x, int32_t y);
  uint32_t GetFontWidth(const char* text);
  uint32_t GetFontWidth(const uint16_t* text);
  uint32_t GetFontWidthV(const char* text, bool firstLineOnly);
  uint32_t GetFontWidthV(const uint16_t* text, bool firstLineOnly);
  uint32_t GetFontHeight(const char* text);
  uint32_t GetFontHeight(const uint16_t* text);
  void DrawFont(int32_t x, int32_t y, E2DSurface* font, const char* text, int32_t flags = 0,
                uint32_t value = 0);
  void DrawFont(int32_t x, int32_t y, E2DSurface* font, const uint16_t* text, int32_t flags = 0,
                uint32_t value = 0);
  void DrawFont(int32_t x, int32_t y, E2DSurface* font, int32_t number, int32_t flags = 0,
                uint32_t value = 0);
  void DrawFontWrap(int32_t x, int32_t y, E2DSurface* font, const char* text, uint32_t width,
                    int32_t flags = 0, uint32_t value = 0);
  void DrawFontWrap(int32_t x, int32_t y, E2DSurface* font, const uint16_t* text, uint32_t width,
                    int32_t flags = 0, uint32_t value = 0);
  void PrepareFontWrap(char* dst, const char* src, uint32_t width);
  void PrepareFontWrap(uint16_t* dst, const uint16_t* src, uint32_t width);

  // --- Accessors ---
  uint8_t* GetBuffer() const { return pixels_; }
  uint32_t GetBytesPerPixel() const { return bpp_ >> 3; }
  uint32_t GetColorKeyNative() const { return colorkey_; }
  int32_t GetLockCount() const { return lockcount_; }
  const uint16_t* GetGlyphTable() const { return glyphs_; }
  int32_t GetGlyphCount() const { return glyphcount_; }
  uint16_t GetFirstCharacter() const { return firstchar_; }
  uint16_t GetLastCharacter() const { return lastchar_; }
  const uint16_t* GetCharacterSet() const { return charset_; }
  int32_t GetFontPaddingX() const { return fontpadx_; }
  int32_t GetFontPaddingY() const { return fontpady_; }

 protected:
  // Clears the clip rectangle to native 0 without flags (creation, re-creation).
  void ClearNative();
  // Create's steps.
  void ClearForReuse();
  int AllocPixels(uint32_t width, uint32_t height, uint8_t format);
  bool AllocSpanTables(uint32_t entries);
  // LdrOnPixelStream's rule for one call and its run loop.
  struct LoaderRule;
  void DeliverLoaderRuns(ELDR_2DCALLBACKINFO* info, uint32_t count, const LoaderRule& rule);
  // Pixel stream helpers. Format 1 with the display-palette flag: builds the
  // remap of this palette (indexed data, once) or brings the display's colour
  // lookup up to date (colour words); 0 or the failure code.
  int PrepareDisplayRemap(bool indexed, const uint8_t** lookup);
  // The palette as native pixels of this RGB format by the loader rules (not
  // opaque: 0; lifted: true black becomes lift), converted again only after the
  // palette or the lift changed.
  const uint32_t* NativePalette(bool lifted, uint32_t lift);
  // Where a run of n loader pixels from logical (lx, ly) lands: the pixels inside
  // the clip rectangle (0: none), their first address and byte step, and the
  // pixels of the run skipped before them.
  uint32_t ClipLoaderRun(uint32_t lx, uint32_t ly, uint32_t n, uint8_t** at, int32_t* step,
                         uint32_t* skipped) const;
  // The opacity front shared by the blits (esurf_2dblt.cpp): false when the
  // opacity masked to the format's precision is zero.
  static bool OpacityFront(uint32_t& flags, uint32_t value, uint8_t format, bool lowByte,
                           uint32_t& opacity);
  // The kernels' colour argument, native: the value's colour with cf or tn (a
  // tint alone is halved, except on 8-bit surfaces), else 0.
  static uint32_t KernelColour(uint32_t flags, uint32_t value, uint8_t format);
  // Locks this surface and src for a blit; false, with neither locked, when
  // either has no pixels.
  template <class Source, class Pixel>
  bool LockPair(Source* src, uint8_t*& dpx, Pixel*& spx) {
    dpx = Lock(nullptr);
    spx = src->Lock(nullptr);
    if (dpx && spx) return true;
    if (dpx) Unlock();
    if (spx) src->Unlock();
    return false;
  }
  // The steps of BltFast and BltFlip (esurf_2dblt.cpp).
  int FillForBlit(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect, bool swap, uint32_t f,
                  uint32_t value, uint32_t opacity);
  void BltFastByRule(uint8_t* d, E2DSurface* src, const uint8_t* spx, const tagRECT& sr, uint32_t f,
                     uint32_t value);
  void BltFastConvert(uint8_t* d, const E2DSurface* src, const uint8_t* s, const tagRECT& sr);
  void BltFlipByRule(const BlitRows& b, int32_t xs, int32_t ys, uint32_t f, uint32_t value);
  void ClampSpanRows(int32_t first, int32_t last);
  void ScanQuad(const int32_t* qx, const int32_t* qy, const int32_t* u, const int32_t* v, int32_t first,
                int32_t last);
  void FillSolid(const tagRECT& r, uint32_t native);
  // Surface buffers (pixels, tables, mask, character set) come from and go back here.
  static void* AllocBlock(uint32_t size);
  static void FreeBlock(void* block);

  uint16_t* charset_ = nullptr;   // font character set, or null
  int16_t* spanleft_ = nullptr;   // scanline tables: per stored row (pitch rows when swapped)
  int16_t* spanright_ = nullptr;
  int32_t* spanvala_ = nullptr;   // four planes of one value per row (left end)
  int32_t* spanvalb_ = nullptr;   // the same for the right end
  uint16_t* glyphs_ = nullptr;    // glyph starts then widths, or null
  uint8_t* pixels_ = nullptr;     // pitch x rows x bytes per pixel
  uint8_t* remap_ = nullptr;      // 256-byte palette remap, or null
  uint32_t nativepal_[256] = {};  // NativePalette's table
  uint8_t nativepalkind_ = 0;     // 0 out of date, 1 built, 2 built lifted
  uint16_t firstchar_ = 0;
  uint16_t lastchar_ = 127;
  int32_t fontpadx_ = 0, fontpady_ = 0;
  uint32_t colorkey_ = 0;         // native
  int32_t glyphcount_ = 128;
  int32_t lockcount_ = 0;
  uint32_t spanrows_ = 0;         // entries in each scanline table
};

#endif
