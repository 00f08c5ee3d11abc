// The display device: frame buffer, orientation and logical coordinates, back
// buffer and flip, loader slots, blit-kernel table, palettes, wipes and the
// built-in font.
#ifndef ZARN_DISPLAY_EDSP_BASE_H
#define ZARN_DISPLAY_EDSP_BASE_H

#include <cstdint>

#include "display/erdr_kernel.h"
#include "display/esurf_2d.h"
#include "framework/zarn_types.h"

class ClassELoaderBase;
class ClassEMemory;
class E2DSurfaceRGBA;
class E3DSurface;

class ClassEDisplayBase {
 public:
  ClassEDisplayBase();
  virtual ~ClassEDisplayBase();
  ClassEDisplayBase(const ClassEDisplayBase&) = delete;
  ClassEDisplayBase& operator=(const ClassEDisplayBase&) = delete;
  virtual int Open(void* window, ECD* ecd, uint8_t depth, uint32_t width, uint32_t height,
                   bool full) = 0;
  virtual void Close() = 0;
  virtual void Suspend() { suspended_ = 1; }
  virtual void Resume() { suspended_ = 0; }
  int RegisterLoader(ClassELoaderBase* loader);
  int UnRegisterLoader(ClassELoaderBase* loader);
  ClassELoaderBase* GetLoader(int slot) const {
    return (slot >= 0 && slot < 16) ? loaders_[slot] : nullptr;
  }
  // Orientation as the surfaces need it.
  uint8_t GetAxisSwap() const { return swapxy_; }
  int32_t GetXDir() const { return xdir_; }
  int32_t GetYDir() const { return ydir_; }
  bool IsSuspended() const { return suspended_ != 0; }

 protected:
  ClassELoaderBase* loaders_[16];
  int32_t xdir_ = 1, ydir_ = 1;
  uint8_t swapxy_ = 0, fullscreen_ = 0, suspended_ = 0;
};

class ClassEDisplay : public ClassEDisplayBase {
 public:
  ClassEDisplay();
  ~ClassEDisplay() override;
  int Open(void* window, ECD* ecd, uint8_t depth, uint32_t width, uint32_t height,
           bool full) override;
  void Close() override;
  void Suspend() override;
  void Resume() override;

  // Presents the back buffer (the argument is not used).
  void Flip(bool wait = false);
  // Copies the screen back into the back buffer.
  void BackFlip();
  void SetFlipRect(const tagRECT* rect);
  void FlipCopy(uint8_t* dst, const uint8_t* src, int32_t dstPixelStep, int32_t dstRowStep,
                int32_t srcPixelStep, int32_t srcRowStep, uint32_t width, uint32_t height);

  // Logical to physical conversions over a stored size w x h.
  void VirtualPos(int32_t& x, int32_t& y, uint32_t w, uint32_t h) const;
  void VirtualRect(tagRECT* rect, uint32_t w, uint32_t h) const;
  void ReVirtualRect(tagRECT* rect, uint32_t w, uint32_t h) const;
  void VirtualRectPos(int32_t& x, int32_t& y, tagRECT* rect, uint32_t dstW, uint32_t dstH,
                      uint32_t srcW, uint32_t srcH) const;
  void VirtualRectPos(int32_t& x, int32_t& y, tagRECT* rect, uint32_t dstW, uint32_t dstH,
                      uint32_t srcW, uint32_t srcH, uint16_t angle) const;

  uint32_t GetSystemRotation() const { return 0; }
  void CheckDisplay() { inputorientation_ = 0; }
  int GetVideoMemory(uint32_t& total, uint32_t& free) const {
    total = free = 0;
    return 3;
  }
  void SetRenderSize(uint32_t size) { rendersize_ = size; }
  uint32_t GetRenderSize() const { return rendersize_; }

  E2DSurface* GetBackBuffer() { return &backbuffer_; }
  E2DSurface* GetInternalFont() { return &font_; }
  uint8_t GetRenderFormat() const { return renderformat_; }
  uint8_t GetNativeFormat() const { return nativeformat_; }
  uint8_t GetOrientation() const { return orientation_; }
  uint32_t GetPhysicalWidth() const { return physWidth_; }
  uint32_t GetPhysicalHeight() const { return physHeight_; }
  bool IsOpen() const { return renderformat_ != 0; }
  // Used by the surfaces (see display/erdr_kernel.h): the kernel table for the
  // render format (null while closed), the palette, and the palette cache (256
  // converted entries, then the format they hold, 0 = none).
  ERDR_KERNELTABLE* GetKernelTable() { return kerneltable_; }
  uint32_t* GetPaletteEntries() { return palette_; }
  uint32_t* GetPaletteCache() { return palcache_; }
  const uint8_t* GetPaletteLookup() const { return pallookup_; }
  ECD* GetECD() const { return ecd_; }

  // ---- services -----------------------------------------------------------------
  int CreateSurface(E2DSurface* surface, uint32_t width, uint32_t height, uint32_t flags = 0);
  int CreateSurface(E2DSurface* surface, void* data, uint32_t length, uint32_t flags = 0);
  int CreateSurface(E2DSurface* surface, const uint16_t* name, uint32_t flags = 0);
  int CreateSurface(E2DSurface* surface, const char* name, uint32_t flags = 0);
  int CreateSurface(E2DSurfaceRGBA* surface, uint32_t width, uint32_t height, uint32_t flags = 0);
  int CreateSurface(E2DSurfaceRGBA* surface, void* data, uint32_t length, uint32_t flags = 0);
  int CreateSurface(E2DSurfaceRGBA* surface, const uint16_t* name, uint32_t flags = 0);
  int CreateSurface(E2DSurfaceRGBA* surface, const char* name, uint32_t flags = 0);
  int CreateSurface(E3DSurface* model, uint32_t vertices, uint32_t polygons);
  int CreateSurface(E3DSurface* model, void* data, uint32_t length);
  int CreateSurface(E3DSurface* model, const uint16_t* name);
  int CreateSurface(E3DSurface* model, const char* name);

  void SetPalette(const uint32_t* colours, uint8_t first, uint32_t count);
  void GetPalette(uint32_t* out, uint8_t first, uint32_t count) const;
  int BuildPaletteLookup();
  int BuildPaletteLookupIndex(uint8_t* remap, const uint32_t* colours);

  void Wipe(E2DSurface* dst, E2DSurface* from, E2DSurface* to, uint32_t progress, uint8_t kind,
            const void* map, int32_t cell);
  void StartWipe(uint8_t kind, E2DSurface* surface);
  void MapScreenWipe(uint8_t* map, uint32_t width, uint32_t height, uint8_t keep);

  // Turns a direction button for the display orientation.
  void VirtualDPad(uint32_t* code, const EBUTTONLIST* list) const;
  void VirtualDPad(uint32_t& code, const EBUTTONLIST* list) const { VirtualDPad(&code, list); }
  void VirtualMouse(int32_t& x, int32_t& y) const;
  void VirtualTilt(int32_t& x, int32_t& y) const;
  void VirtualRotation(uint16_t& angle) const;

 private:
  int OpenFrameBuffer();
  int Initialize(void* window);
  // The surface that Flip presents, or null when the formats are not as expected.
  E2DSurface* Presented();
  // Wipe's kinds that turn cells or pixels in order across calls.
  void WipeStartFrom(E2DSurface* dst, E2DSurface* from);
  void WipeCells(E2DSurface* dst, E2DSurface* from, E2DSurface* to, uint32_t p, const uint8_t* order,
                 int32_t cell);
  void WipeDissolve(E2DSurface* dst, E2DSurface* from, E2DSurface* to, uint32_t p, const uint8_t* map);

  E2DSurface nativebuffer_;
  void* window_ = nullptr;
  tagRECT fliprect_ = {0, 0, 0, 0};
  ECD* ecd_ = nullptr;
  ERDR_KERNELTABLE* kerneltable_ = nullptr;
  uint32_t palette_[256];
  uint32_t palcache_[257];
  uint8_t* pallookup_ = nullptr;
  uint8_t* framebuffer_ = nullptr;
  uint32_t fbBytes_ = 0;       // bytes mapped
  uint32_t fbStride_ = 0;      // bytes per frame-buffer row at mapping time
  uint32_t physWidth_ = 0, physHeight_ = 0;
  int32_t inputWidth_ = 0, inputHeight_ = 0;
  uint32_t wipeprogress_ = 0;
  uint32_t rendersize_ = 240;   // the console screen's smaller side until opened
  uint8_t fbdepth_ = 0;
  uint8_t nativeformat_ = 0;
  uint8_t renderformat_ = 0;
  uint8_t orientation_ = 0;
  uint8_t inputorientation_ = 0;
  uint8_t palchanged_ = 0;
  E2DSurface backbuffer_;
  E2DSurface font_;
};

// An empty hook of the framework; nothing uses it.
class ClassEGL {
 public:
  ClassEGL() = default;
  ~ClassEGL() = default;
  void DrawVertexArray(void*) {}
};

// Worker of the palette lookups: the nearest palette index (1-255, first of equal
// colours) for `count` colours, or for every 15-bit colour when colours is null.
void EDisplay_CreatePaletteLookup(const uint32_t* palette, uint8_t* out, const uint32_t* colours,
                                  uint16_t count);
// Creates and fills the built-in font strip: 0, or the surface's code, 1 when the
// packed bitmap does not unpack, 2 without memory.
int EDisplay_CreateInternalFont(ClassEDisplay* display, E2DSurface* font, ClassEMemory* memory,
                                uint32_t flags);

#endif
