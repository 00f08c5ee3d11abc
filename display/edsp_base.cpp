#include "display/edsp_base.h"

#include <cstring>
#include <new>

#include "framework/emod_device.h"
#include "framework/emod_memory.h"
#include "loaders/eldr_base.h"
#include "standin/standin.h"

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

ClassEDisplay::ClassEDisplay() = default;
ClassEDisplay::~ClassEDisplay() { Close(); }

int ClassEDisplay::Open(void*, ECD* ecd, uint8_t, uint32_t, uint32_t, bool) {
  if (renderformat_) Close();
  ecd_ = ecd;
  suspended_ = 0;
  standin::FbScreenInfo info;
  if (standin::FbGetScreenInfo(edeviceptr[1], &info) != 0) return 1;
  if (info.bits_per_pixel != 16 || info.green.length != 6) return 1;
  physWidth_ = info.xres;
  physHeight_ = info.yres;
  if (ecd_ && ecd_->cfg) ecd_->cfg->orientation = 0;
  fbBytes_ = info.xres_virtual * info.yres * 2;
  framebuffer_ = standin::FbMap(edeviceptr[1], fbBytes_);
  if (!framebuffer_) return 1;
  backbuffer_.LinkECD(ecd);
  if (backbuffer_.Create(physWidth_, physHeight_, 4, 0) != 0) {
    Close();
    return 1;
  }
  renderformat_ = 4;
  kernels_ = new (std::nothrow) ERDR_KERNELTABLE();
  if (!kernels_) {
    Close();
    return 1;
  }
  ERender_FillTable(kernels_, renderformat_);
  palettecache_[256] = 0;
  return 0;
}

void ClassEDisplay::Close() {
  if (!framebuffer_) return;
  standin::FbUnmap(framebuffer_, fbBytes_);
  framebuffer_ = nullptr;
  delete kernels_;
  kernels_ = nullptr;
  renderformat_ = 0;
}

void ClassEDisplay::Suspend() {
  if (renderformat_) suspended_ = 1;
}

void ClassEDisplay::Resume() { suspended_ = 0; }

void ClassEDisplay::Flip(bool) {
  if (!renderformat_ || suspended_ || !backbuffer_.GetBuffer()) return;
  standin::FbScreenInfo info;
  if (standin::FbGetScreenInfo(edeviceptr[1], &info) != 0) return;
  const uint32_t row = backbuffer_.GetPitch() * 2, stride = info.xres_virtual * 2;
  for (uint32_t y = 0; y < physHeight_; y++)
    std::memcpy(framebuffer_ + y * stride, backbuffer_.GetBuffer() + y * row, physWidth_ * 2);
  standin::FbPresented();
}

void ClassEDisplay::VirtualDPad(uint32_t*, const EBUTTONLIST*) const {}

int ClassEDisplay::BuildPaletteLookup() { return 0; }
int ClassEDisplay::BuildPaletteLookupIndex(uint8_t*, const uint32_t*) { return 0; }
