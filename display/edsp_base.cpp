#include "display/edsp_base.h"

#include <cstring>
#include <new>
#include <utility>

#include "framework/emod_device.h"
#include "framework/emod_memory.h"
#include "loaders/eldr_base.h"
#include "standin/standin.h"

// ---- base: loader slots ------------------------------------------------------------

ClassEDisplayBase::ClassEDisplayBase() { std::memset(loaders_, 0, sizeof loaders_); }

ClassEDisplayBase::~ClassEDisplayBase() {
  for (auto*& l : loaders_) {
    delete l;
    l = nullptr;
  }
}

int ClassEDisplayBase::RegisterLoader(ClassELoaderBase* loader) {
  if (!loader) return 0;
  for (auto*& l : loaders_)
    if (!l) {
      l = loader;
      return 1;
    }
  return 0;
}

int ClassEDisplayBase::UnRegisterLoader(ClassELoaderBase* loader) {
  if (!loader) return 0;
  for (auto*& l : loaders_)
    if (l == loader) {
      l = nullptr;
      return 1;
    }
  return 0;
}

// ---- open and close ----------------------------------------------------------------

ClassEDisplay::ClassEDisplay() {
  std::memset(palette_, 0, sizeof palette_);
  std::memset(palcache_, 0, sizeof palcache_);
}

ClassEDisplay::~ClassEDisplay() {
  Close();
  font_.Free();
  backbuffer_.Free();
  nativebuffer_.Free();
}

int ClassEDisplay::Open(void* window, ECD* ecd, uint8_t, uint32_t, uint32_t, bool) {
  if (renderformat_) Close();
  ecd_ = ecd;
  ZARNCONFIG* cfg = ecd ? ecd->cfg : nullptr;
  if (!cfg) return 1;
  cfg->surfacetype &= 0xF;
  fullscreen_ = cfg->fullscreen;
  xdir_ = ydir_ = 1;
  orientation_ = cfg->orientation;
  swapxy_ = 0;
  suspended_ = 0;
  // A frame buffer that cannot be queried or mapped fails the open; nothing of it
  // is touched afterwards. An unknown depth maps nothing and fails the same way.
  const int fb = OpenFrameBuffer();
  inputorientation_ = 0;
  cfg->orientation = orientation_;
  if (fb != 0) {
    Close();
    return 1;
  }
  uint8_t rf = cfg->renderformat == 32 ? nativeformat_ : cfg->renderformat;
  if (rf == EFMT_RGB15) rf = EFMT_RGB16;
  if (rf == EFMT_RGB24) rf = EFMT_RGB32;
  renderformat_ = rf;
  return Initialize(window);
}

int ClassEDisplay::OpenFrameBuffer() {
  standin::FbScreenInfo info;
  std::memset(&info, 0, sizeof info);
  if (standin::FbGetScreenInfo(edeviceptr[1], &info) != 0) return 1;
  physWidth_ = info.xres;
  physHeight_ = info.yres;
  fbdepth_ = static_cast<uint8_t>(info.bits_per_pixel);
  if (orientation_ == 4) orientation_ = physWidth_ > physHeight_ ? 3 : 0;
  if (orientation_ == 5) orientation_ = physHeight_ > physWidth_ ? 1 : 0;
  if (orientation_ > 3) orientation_ = 0;
  switch (info.bits_per_pixel) {
    case 16: nativeformat_ = info.green.length == 6 ? EFMT_RGB16 : EFMT_RGB15; break;
    case 8: nativeformat_ = EFMT_INDEX8; break;
    case 24: nativeformat_ = EFMT_RGB24; break;
    case 32: nativeformat_ = EFMT_RGB32; break;
    default: nativeformat_ = 0; return 3;
  }
  if (physWidth_ == 0 || physHeight_ == 0 || physWidth_ > 4096 || physHeight_ > 4096) return 1;
  // Rows are written with the virtual stride, so that is what gets mapped.
  const uint32_t vx = info.xres_virtual > info.xres ? info.xres_virtual : info.xres;
  fbStride_ = vx * (fbdepth_ / 8u);
  fbBytes_ = fbStride_ * physHeight_;
  framebuffer_ = standin::FbMap(edeviceptr[1], fbBytes_);
  if (!framebuffer_) {
    fbBytes_ = fbStride_ = 0;
    return 1;
  }
  swapxy_ = (orientation_ == 1 || orientation_ == 3) ? 1 : 0;
  ydir_ = (orientation_ == 1 || orientation_ == 2) ? -1 : 1;
  xdir_ = (orientation_ == 2 || orientation_ == 3) ? -1 : 1;
  return 0;
}

int ClassEDisplay::Initialize(void* window) {
  ZARNCONFIG* cfg = ecd_->cfg;
  uint32_t lw = physWidth_, lh = physHeight_;
  if (swapxy_) {
    lw = physHeight_;
    lh = physWidth_;
  }
  int r;
  E2DSurface* first = renderformat_ == nativeformat_ ? &backbuffer_ : &nativebuffer_;
  first->LinkECD(ecd_);
  r = first->Create(lw, lh, nativeformat_, uint32_t(nativeformat_) << 8);
  if (r == 0 && renderformat_ != nativeformat_) {
    backbuffer_.LinkECD(ecd_);
    r = backbuffer_.Create(lw, lh, renderformat_, cfg->surfacetype);
  }
  if (r != 0 || !renderformat_) {
    Close();
    return 1;
  }
  if (!(cfg->flags & 0x8)) {
    if (EDisplay_CreateInternalFont(this, &font_, ecd_->mem, 0) != 0) {
      Close();
      return 1;
    }
    font_.SetColorKey(0xFF00FF);
    font_.BuildTableVwf(128);
    font_.SetFontCharacters(32, 127);
  }
  if (!kerneltable_) {
    kerneltable_ = new (std::nothrow) ERDR_KERNELTABLE();
    if (!kerneltable_) {
      Close();
      return 1;
    }
    ERender_FillTable(kerneltable_, renderformat_);
  }
  inputWidth_ = int32_t(physWidth_);
  inputHeight_ = int32_t(physHeight_);
  fliprect_ = {0, 0, int32_t(physWidth_), int32_t(physHeight_)};
  rendersize_ = physWidth_ < physHeight_ ? physWidth_ : physHeight_;
  window_ = window;
  if (cfg->flags & 0x10) BackFlip();
  palcache_[256] = 0;
  return 0;
}

void ClassEDisplay::Close() {
  if (renderformat_ || framebuffer_) {
    if (suspended_) Resume();
    if (framebuffer_) standin::FbUnmap(framebuffer_, fbBytes_);
  }
  framebuffer_ = nullptr;
  fbBytes_ = fbStride_ = 0;
  delete kerneltable_;
  kerneltable_ = nullptr;
  // The lookup may have been built while closed (services work without a screen).
  ClassEMemory::DeAlloc(pallookup_);
  pallookup_ = nullptr;
  renderformat_ = 0;
}

void ClassEDisplay::Suspend() {
  if (renderformat_ && !suspended_) suspended_ = 1;
}

void ClassEDisplay::Resume() {
  if (suspended_ && renderformat_) {
    inputWidth_ = int32_t(physWidth_);
    inputHeight_ = int32_t(physHeight_);
    suspended_ = 0;
    inputorientation_ = 0;
  }
}

// ---- presenting --------------------------------------------------------------------

E2DSurface* ClassEDisplay::Presented() {
  if (renderformat_ == nativeformat_)
    return backbuffer_.GetFormat() == renderformat_ ? &backbuffer_ : nullptr;
  return nativebuffer_.GetFormat() == nativeformat_ ? &nativebuffer_ : nullptr;
}

void ClassEDisplay::Flip(bool) {
  if (suspended_ || !renderformat_ || !framebuffer_) return;
  E2DSurface* s = Presented();
  if (!s) return;
  if (renderformat_ != nativeformat_) {
    if (backbuffer_.GetFormat() != renderformat_) return;
    s->BltFast(0, 0, &backbuffer_, nullptr, 0, 0);
  }
  uint8_t* pixels = s->Lock(nullptr);
  if (!pixels) return;
  // The stride is read again for every frame, but never beyond what was mapped.
  uint32_t stride = fbStride_;
  standin::FbScreenInfo info;
  if (standin::FbGetScreenInfo(edeviceptr[1], &info) == 0) {
    const uint32_t vx = info.xres_virtual > physWidth_ ? info.xres_virtual : physWidth_;
    const uint32_t st = vx * (fbdepth_ / 8u);
    if (st * physHeight_ <= fbBytes_) stride = st;
  }
  if (ecd_->cfg->flags & 0x4) {
    for (uint32_t spin = 0; spin < 10000000u && (EDevice_ReadReg16(0x1182) & 0x10); spin++) {
    }
  }
  const int32_t B = fbdepth_ / 8;
  const int32_t srcRow = int32_t(s->GetPitch()) * B;
  const tagRECT& r = fliprect_;
  if (r.left < r.right && r.top < r.bottom) {
    FlipCopy(framebuffer_ + r.left * B + r.top * int32_t(stride), pixels + r.left * B + r.top * srcRow,
             B, int32_t(stride), B, srcRow, uint32_t(r.right - r.left), uint32_t(r.bottom - r.top));
  }
  s->Unlock();
  standin::FbPresented();
}

void ClassEDisplay::BackFlip() {
  if (suspended_ || !renderformat_ || !framebuffer_) return;
  if (backbuffer_.GetFormat() != renderformat_) return;
  E2DSurface* s = renderformat_ == nativeformat_ ? &backbuffer_ : &nativebuffer_;
  if (s->GetFormat() != nativeformat_) return;
  uint8_t* pixels = s->Lock(nullptr);
  if (!pixels) return;
  const int32_t B = fbdepth_ / 8;
  const int32_t dstRow = int32_t(s->GetPitch()) * B;
  const tagRECT& r = fliprect_;
  if (r.left < r.right && r.top < r.bottom)
    FlipCopy(pixels + r.left * B + r.top * dstRow,
             framebuffer_ + r.left * B + r.top * int32_t(fbStride_), B, dstRow, B,
             int32_t(fbStride_), uint32_t(r.right - r.left), uint32_t(r.bottom - r.top));
  s->Unlock();
  if (s != &backbuffer_) backbuffer_.BltFast(0, 0, s, nullptr, 0, 0);
}

void ClassEDisplay::SetFlipRect(const tagRECT* rect) {
  if (!rect) {
    // The whole screen (the back buffer's stored size, never beyond the screen).
    fliprect_ = {0, 0, int32_t(physWidth_), int32_t(physHeight_)};
    return;
  }
  tagRECT r = *rect;
  VirtualRect(&r, physWidth_, physHeight_);
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > int32_t(physWidth_)) r.right = int32_t(physWidth_);
  if (r.bottom > int32_t(physHeight_)) r.bottom = int32_t(physHeight_);
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  fliprect_ = r;
}

void ClassEDisplay::FlipCopy(uint8_t* dst, const uint8_t* src, int32_t dps, int32_t drs,
                             int32_t sps, int32_t srs, uint32_t width, uint32_t height) {
  if (!dst || width == 0 || height == 0) return;
  const int32_t B = fbdepth_ / 8;
  if (B <= 0) return;
  if (dps < 0) {
    dst += int32_t(physWidth_ - 1) * dps;
    if (src) src += int32_t(physWidth_ - 1) * sps;
    dps = -dps;
    sps = -sps;
  }
  if (drs < 0) {
    dst += int32_t(physHeight_ - 1) * drs;
    if (src) src += int32_t(physHeight_ - 1) * srs;
    drs = -drs;
    srs = -srs;
  }
  if (dps != B) {
    std::swap(dps, drs);
    std::swap(sps, srs);
    std::swap(width, height);
  }
  const uint32_t rowBytes = width * uint32_t(B);
  if (!src) {
    if (drs == int32_t(rowBytes) && dps == B) {
      std::memset(dst, 0, rowBytes * height);
    } else if (dps == B) {
      for (uint32_t y = 0; y < height; y++) std::memset(dst + int32_t(y) * drs, 0, rowBytes);
    } else {
      for (uint32_t y = 0; y < height; y++)
        for (uint32_t x = 0; x < width; x++) std::memset(dst + int32_t(y) * drs + int32_t(x) * dps, 0, B);
    }
    return;
  }
  if (dps == sps) {
    if (drs == int32_t(rowBytes) && srs == int32_t(rowBytes)) {
      std::memcpy(dst, src, rowBytes * height);
    } else {
      for (uint32_t y = 0; y < height; y++) std::memcpy(dst + int32_t(y) * drs, src + int32_t(y) * srs, rowBytes);
    }
    return;
  }
  for (uint32_t y = 0; y < height; y++) {
    uint8_t* d = dst + int32_t(y) * drs;
    const uint8_t* s = src + int32_t(y) * srs;
    for (uint32_t x = 0; x < width; x++, d += dps, s += sps) std::memcpy(d, s, size_t(B));
  }
}

// ---- coordinates -------------------------------------------------------------------

void ClassEDisplay::VirtualPos(int32_t& x, int32_t& y, uint32_t w, uint32_t h) const {
  if (swapxy_) std::swap(x, y);
  if (xdir_ < 0) x = int32_t(w) - x - 1;
  if (ydir_ < 0) y = int32_t(h) - y - 1;
}

void ClassEDisplay::VirtualRect(tagRECT* r, uint32_t w, uint32_t h) const {
  if (!r) return;
  if (swapxy_) {
    std::swap(r->left, r->top);
    std::swap(r->right, r->bottom);
  }
  if (xdir_ < 0) {
    const int32_t l = r->left;
    r->left = int32_t(w) - r->right;
    r->right = int32_t(w) - l;
  }
  if (ydir_ < 0) {
    const int32_t t = r->top;
    r->top = int32_t(h) - r->bottom;
    r->bottom = int32_t(h) - t;
  }
}

void ClassEDisplay::ReVirtualRect(tagRECT* r, uint32_t w, uint32_t h) const {
  if (!r) return;
  if (ydir_ < 0) {
    const int32_t t = r->top;
    r->top = int32_t(h) - r->bottom;
    r->bottom = int32_t(h) - t;
  }
  if (xdir_ < 0) {
    const int32_t l = r->left;
    r->left = int32_t(w) - r->right;
    r->right = int32_t(w) - l;
  }
  if (swapxy_) {
    std::swap(r->left, r->top);
    std::swap(r->right, r->bottom);
  }
}

void ClassEDisplay::VirtualRectPos(int32_t& x, int32_t& y, tagRECT* r, uint32_t dstW,
                                   uint32_t dstH, uint32_t srcW, uint32_t srcH) const {
  VirtualPos(x, y, dstW, dstH);
  if (!r) return;
  VirtualRect(r, srcW, srcH);
  if (xdir_ < 0) x += r->left - r->right + 1;
  if (ydir_ < 0) y += r->top - r->bottom + 1;
}

void ClassEDisplay::VirtualRectPos(int32_t& x, int32_t& y, tagRECT* r, uint32_t dstW,
                                   uint32_t dstH, uint32_t srcW, uint32_t srcH,
                                   uint16_t angle) const {
  if (!(angle & 0x7FF)) {
    VirtualRectPos(x, y, r, dstW, dstH, srcW, srcH);
    return;
  }
  VirtualPos(x, y, dstW, dstH);
  if (!r) return;
  VirtualRect(r, srcW, srcH);
  if (xdir_ < 0) x += r->top - r->bottom + 1;
  if (ydir_ < 0) y += r->left - r->right + 1;
}
