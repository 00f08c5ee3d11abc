// The display device. (Minimal form: opens the frame buffer through the stand-in,
// keeps a 5:6:5 back buffer and presents it; the full display replaces it.)
#ifndef ZARN_DISPLAY_EDSP_BASE_H
#define ZARN_DISPLAY_EDSP_BASE_H

#include <cstdint>

#include "display/erdr_kernel.h"
#include "display/esurf_2d.h"
#include "framework/zarn_types.h"

class ClassELoaderBase;

class ClassEDisplayBase {
 public:
  ClassEDisplayBase();
  virtual ~ClassEDisplayBase();
  virtual int Open(void* window, ECD* ecd, uint8_t depth, uint32_t width, uint32_t height,
                   bool full) = 0;
  virtual void Close() = 0;
  virtual void Suspend() { suspended_ = 1; }
  virtual void Resume() { suspended_ = 0; }
  int RegisterLoader(ClassELoaderBase* loader);
  int UnRegisterLoader(ClassELoaderBase* loader);
  ClassELoaderBase* GetLoader(int slot) const { return (slot >= 0 && slot < 16) ? loaders_[slot] : nullptr; }
  uint8_t GetAxisSwap() const { return swapxy_; }
  int32_t GetXDir() const { return xdir_; }
  int32_t GetYDir() const { return ydir_; }

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
  void Flip(bool wait = false);
  uint32_t GetSystemRotation() const { return 0; }
  // Turns a direction button for the display orientation.
  void VirtualDPad(uint32_t* code, const EBUTTONLIST* list) const;
  E2DSurface* GetBackBuffer() { return &backbuffer_; }
  uint8_t GetRenderFormat() const { return renderformat_; }
  bool IsOpen() const { return renderformat_ != 0; }
  // Used by the surfaces (see display/erdr_kernel.h).
  ERDR_KERNELTABLE* GetKernelTable() { return kernels_; }
  uint32_t* GetPaletteEntries() { return palette_; }
  uint32_t* GetPaletteCache() { return palettecache_; }
  uint32_t GetPhysicalWidth() const { return physWidth_; }
  uint32_t GetPhysicalHeight() const { return physHeight_; }
  // Nearest-palette lookups for 8-bit surfaces (1 built, 0 failed).
  int BuildPaletteLookup();
  int BuildPaletteLookupIndex(uint8_t* remap, const uint32_t* colours);
  const uint8_t* GetPaletteLookup() const { return nullptr; }

 private:
  ECD* ecd_ = nullptr;
  uint8_t* framebuffer_ = nullptr;
  uint32_t fbBytes_ = 0;
  uint32_t physWidth_ = 0, physHeight_ = 0;
  uint8_t renderformat_ = 0;
  ERDR_KERNELTABLE* kernels_ = nullptr;
  uint32_t palette_[256] = {};
  uint32_t palettecache_[257] = {};
  E2DSurface backbuffer_;
};

#endif
