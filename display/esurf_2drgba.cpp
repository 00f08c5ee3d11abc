#include "display/esurf_2drgba.h"

#include <cstring>

#include "display/edsp_base.h"
#include "display/erdr_rgba_impl.h"
#include "framework/emod_memory.h"

namespace {

void* AllocBlock(uint32_t size) { return ClassEMemory::Alloc(size); }
void FreeBlock(void* block) { ClassEMemory::DeAlloc(block); }

// A 0x00BBGGRR colour encoded for the target format as E2DSurface pixels are
// (format 1: the low byte, an index).
inline uint32_t Encode(uint32_t colour, uint8_t target) {
  return E2DSurface::ColorToNative(colour, target);
}

}  // namespace

E2DSurfaceRGBA::E2DSurfaceRGBA() = default;
E2DSurfaceRGBA::~E2DSurfaceRGBA() { Free(); }

void E2DSurfaceRGBA::Free() {
  FreeBlock(pixels_);
  FreeBlock(glyphs_);
  FreeBlock(spanleft_);
  FreeBlock(spanright_);
  FreeBlock(spanvala_);
  FreeBlock(spanvalb_);
  FreeBlock(rowbytes_);
  FreeBlock(mask_);
  pixels_ = nullptr;
  glyphs_ = nullptr;
  spanleft_ = spanright_ = nullptr;
  spanvala_ = spanvalb_ = nullptr;
  rowbytes_ = nullptr;
  mask_ = nullptr;
  lockcount_ = 0;
  created_ = 0;
}

int E2DSurfaceRGBA::Create(uint32_t width, uint32_t height, uint8_t format, uint32_t flags) {
  flags = (flags & ~0xFu) | 1;
  if (width == 0 || height == 0) return ERES_BADARGS;
  const uint8_t target = CreateFormat(format, flags);
  if (IsCreated()) {
    // Only the same size, flags and target format keep the surface: the words
    // are encoded for the target, so another one makes a new surface.
    if (flags == createflags_ && target == target_ && width == GetWidth() &&
        height == GetHeight()) {
      Clear(0);
      return ERES_OK;
    }
    Free();
  }
  if (target < EFMT_INDEX8 || target > EFMT_RGB32) return ERES_BAD;
  const EORIENT o = Orientation();
  const uint32_t sw = o.swap ? height : width, sr = o.swap ? width : height;
  // The same bounds as E2DSurface: byte offsets fit 32 bits, columns the 16-bit
  // span tables, and a hostile header cannot ask for more than the console has.
  if (sw > 32767 || sr > 32767) return ERES_NOMEMORY;
  const uint32_t pitch = (sw + 3) & ~3u;
  const uint64_t bytes = uint64_t(pitch) * sr * 4;
  if (bytes > 0x4000000u) return ERES_NOMEMORY;
  uint32_t* pixels = static_cast<uint32_t*>(AllocBlock(uint32_t(bytes)));
  if (!pixels) return ERES_NOMEMORY;
  createflags_ = flags;
  target_ = target;
  width_ = sw;
  rows_ = sr;
  pitch_ = pitch;
  pixels_ = pixels;
  clip_ = tagRECT{0, 0, int32_t(sw), int32_t(sr)};
  firstchar_ = 0;
  const uint32_t entries = (o.swap && pitch_ > rows_) ? pitch_ : rows_;
  spanleft_ = static_cast<int16_t*>(AllocBlock(entries * 2));
  spanright_ = static_cast<int16_t*>(AllocBlock(entries * 2));
  spanvala_ = static_cast<int32_t*>(AllocBlock(entries * 16));
  spanvalb_ = static_cast<int32_t*>(AllocBlock(entries * 16));
  rowbytes_ = static_cast<uint8_t*>(AllocBlock(entries));
  if (!spanleft_ || !spanright_ || !spanvala_ || !spanvalb_ || !rowbytes_) {
    Free();
    return ERES_NOMEMORY;
  }
  std::memset(spanleft_, 0, entries * 2);
  std::memset(spanright_, 0, entries * 2);
  std::memset(spanvala_, 0, entries * 16);
  std::memset(spanvalb_, 0, entries * 16);
  std::memset(rowbytes_, 0, entries);
  created_ = uint8_t(flags & 0xFF);
  // A new surface is fully transparent in both forms (0xFF is "keep the
  // destination" for a premultiplied one), the same as re-creating it.
  Clear(0);
  return ERES_OK;
}

// No memory-type check here: the loaders' surface callbacks see the flags as given.
int E2DSurfaceRGBA::LoadImage(void* data, uint32_t length, uint8_t format, uint32_t flags) {
  return LoadThroughSlots(data, length, format, flags);
}

int E2DSurfaceRGBA::LoadImage(const uint16_t* name, uint8_t format, uint32_t flags) {
  void* data;
  uint32_t size;
  const int r = ReadWholeFile(name, &data, &size);
  if (r) return r;
  const int result = LoadImage(data, size, format, flags);
  ClassEMemory::DeAlloc(data);
  return result;
}

uint32_t* E2DSurfaceRGBA::Lock(E2DSURFACEINFO* info) {
  if (!IsCreated() || !pixels_) return nullptr;
  if (info) GetInfo(info);
  lockcount_++;
  return pixels_;
}

void E2DSurfaceRGBA::Unlock() {
  if (lockcount_ > 0) lockcount_--;
}

int E2DSurfaceRGBA::GetInfo(E2DSURFACEINFO* info) const {
  if (!info) return 0;
  const EORIENT o = Orientation();
  const int32_t P = int32_t(pitch_) * 4;
  info->pitch = P;
  if (!o.swap) {
    info->xstep = 4 * o.xdir;
    info->ystep = P * o.ydir;
  } else {
    info->xstep = P * o.ydir;
    info->ystep = 4 * o.xdir;
  }
  int32_t x = 0, y = 0;
  EOrient_VirtualPos(o, x, y, width_, rows_);
  info->origin = y * P + x * 4;
  info->width = GetWidth();
  info->height = GetHeight();
  info->storedwidth = width_;
  info->storedrows = rows_;
  info->bpp = 32;
  info->format = target_;
  return 1;
}

void E2DSurfaceRGBA::SetClipper(const tagRECT* rect) {
  if (!IsCreated()) return;
  if (!rect) {
    clip_ = tagRECT{0, 0, int32_t(width_), int32_t(rows_)};
    return;
  }
  tagRECT r = *rect;
  EOrient_VirtualRect(Orientation(), &r, width_, rows_);
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > int32_t(width_)) r.right = int32_t(width_);
  if (r.bottom > int32_t(rows_)) r.bottom = int32_t(rows_);
  clip_ = r;
}

void E2DSurfaceRGBA::GetClipper(tagRECT* out) const {
  if (!out) return;
  *out = clip_;
  EOrient_ReVirtualRect(Orientation(), out, width_, rows_);
}

void E2DSurfaceRGBA::PutPixel(int32_t x, int32_t y, uint32_t colour, uint8_t alpha) {
  if (!IsCreated() || !pixels_) return;
  EOrient_VirtualPos(Orientation(), x, y, width_, rows_);
  if (x < clip_.left || x >= clip_.right || y < clip_.top || y >= clip_.bottom) return;
  pixels_[uint32_t(y) * pitch_ + uint32_t(x)] = Encode(colour, target_) | uint32_t(alpha) << 24;
}

uint32_t E2DSurfaceRGBA::ReadWord(uint32_t w, uint32_t& colour) const {
  uint32_t alpha = w >> 24;
  colour = E2DSurface::NativeToColor(w & 0xFFFFFF, target_);
  if (IsPremultiplied()) {
    alpha = 255 - alpha;
    if (alpha == 0) {
      colour = 0;
    } else if (target_ != EFMT_INDEX8) {
      // Divided back per channel; a word that was never premultiplied (written
      // with PutPixel) saturates instead of spilling into the next channel.
      uint32_t out = 0;
      for (uint32_t sh = 0; sh < 24; sh += 8) {
        const uint32_t ch = erdr_rgba::DivSmall(((colour >> sh) & 0xFF) << 8, alpha + 1);
        out |= (ch > 255 ? 255 : ch) << sh;
      }
      colour = out;
    }
  }
  return alpha;
}

void E2DSurfaceRGBA::GetPixel(int32_t x, int32_t y, uint32_t& colour, uint8_t& alpha) {
  colour = 0;
  alpha = 0;
  if (!IsCreated() || !pixels_) return;
  EOrient_VirtualPos(Orientation(), x, y, width_, rows_);
  GetPixelV(x, y, colour, alpha);
}

void E2DSurfaceRGBA::GetPixelV(int32_t x, int32_t y, uint32_t& colour, uint8_t& alpha) {
  colour = 0;
  alpha = 0;
  if (!IsCreated() || !pixels_) return;
  if (x < clip_.left || x >= clip_.right || y < clip_.top || y >= clip_.bottom) return;
  alpha = uint8_t(ReadWord(pixels_[uint32_t(y) * pitch_ + uint32_t(x)], colour));
}

void E2DSurfaceRGBA::Clear(uint32_t) {
  if (!IsCreated() || !pixels_) return;
  std::memset(pixels_, IsPremultiplied() ? 0xFF : 0, pitch_ * rows_ * 4);
  FreeBlock(glyphs_);
  glyphs_ = nullptr;
  FreeBlock(mask_);
  mask_ = nullptr;
}

int E2DSurfaceRGBA::ReplaceColor(uint32_t newColour, uint32_t oldColour, bool invert) {
  if (!IsCreated() || !pixels_ || IsPremultiplied()) return 0;
  const uint32_t nv = Encode(newColour, target_), ov = Encode(oldColour, target_);
  for (int32_t y = clip_.top; y < clip_.bottom; y++) {
    uint32_t* p = pixels_ + uint32_t(y) * pitch_;
    for (int32_t x = clip_.left; x < clip_.right; x++)
      if (((p[x] & 0xFFFFFF) == ov) != invert) p[x] = (p[x] & 0xFF000000u) | nv;
  }
  return 1;
}

void E2DSurfaceRGBA::BuildTableMask(uint8_t threshold) {
  if (!IsCreated() || !pixels_) return;
  FreeBlock(mask_);
  const uint32_t words = (width_ + 31) / 32;
  mask_ = static_cast<uint32_t*>(AllocBlock(words * rows_ * 4));
  if (!mask_) return;
  std::memset(mask_, 0, words * rows_ * 4);
  for (uint32_t y = 0; y < rows_; y++)
    for (uint32_t x = 0; x < width_; x++) {
      uint32_t colour;
      uint8_t alpha;
      GetPixelV(int32_t(x), int32_t(y), colour, alpha);
      if (alpha >= threshold) mask_[y * words + (x >> 5)] |= 0x80000000u >> (x & 31);
    }
}

uint32_t E2DSurfaceRGBA::GetFontWidth(const char* text) const {
  if (!IsCreated() || !text) return 0;
  // No glyph table: every character is a 128th of the width.
  const uint32_t advance = GetWidth() / 128;
  uint32_t widest = 0, line = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) {
    if (*p == '\r' || *p == '\n') {
      line = 0;
      continue;
    }
    if (*p > 15) line += advance;
    if (line > widest) widest = line;
  }
  return widest;
}

int E2DSurfaceRGBA::LdrOnCreate(ELDR_2DCALLBACKINFO* info) {
  if (!info) return ERES_BADARGS;
  return Create(info->width, info->height, info->renderformat, info->flags);
}

int E2DSurfaceRGBA::LdrOnPaletteStream(ELDR_2DCALLBACKINFO* info) {
  if (!info) return ERES_BADARGS;
  if (info->paletteindex > 255) return 10;  // past entry 255
  uint32_t n = info->bytecount / 4;
  if (n > 256 - info->paletteindex) n = 256 - info->paletteindex;
  if (n && info->data) std::memcpy(palette_ + info->paletteindex, info->data, n * 4);
  info->paletteindex += n;
  return ERES_OK;
}

int E2DSurfaceRGBA::LdrOnPixelStream(ELDR_2DCALLBACKINFO* info) {
  if (!info) return ERES_BADARGS;
  if (!IsCreated() || !pixels_) return ERES_BAD;
  const uint32_t count = info->indexed ? info->bytecount : info->bytecount / 4;
  const uint8_t* data = static_cast<const uint8_t*>(info->data);
  const uint32_t w = info->width;
  if (!data || !w) {
    info->pixelindex = int32_t(uint32_t(info->pixelindex) + count);
    return ERES_OK;
  }
  lockcount_++;
  const bool dither = (info->flags & 0x10) && target_ >= EFMT_RGB12 && target_ <= EFMT_RGB16;
  const bool premultiply = (info->flags & ESURF_PREMULTIPLIED) != 0;
  const EORIENT o = Orientation();
  for (uint32_t i = 0; i < count; i++) {
    const int32_t idx = info->pixelindex;
    info->pixelindex = int32_t(uint32_t(idx) + 1);  // wraps instead of overflowing
    if (idx < 0) continue;
    const uint32_t lx = uint32_t(idx) % w, ly = uint32_t(idx) / w;
    uint32_t c, index = 0;
    if (info->indexed) {
      index = data[i];
      c = palette_[index];
    } else {
      std::memcpy(&c, data + i * 4, 4);
    }
    uint32_t alpha = c >> 24;
    c &= 0xFFFFFF;
    const uint32_t lowbyte = c & 0xFF;
    if (dither) c = E2DSurface::DitherColor(c, target_, lx + ly);
    if (premultiply) {
      c = ((((c & 0xFF) * alpha) >> 8) & 0xFF) | (((((c >> 8) & 0xFF) * alpha) >> 8) << 8) |
          (((((c >> 16) & 0xFF) * alpha) >> 8) << 16);
      alpha = 255 - alpha;
    }
    // An 8-bit target keeps the palette index of indexed data; colour data gives
    // its low byte as the index, as on an 8-bit E2DSurface.
    uint32_t word;
    if (target_ == EFMT_INDEX8)
      word = (info->indexed ? index : lowbyte) | alpha << 24;
    else
      word = Encode(c, target_) | alpha << 24;
    int32_t px = int32_t(lx), py = int32_t(ly);
    EOrient_VirtualPos(o, px, py, width_, rows_);
    if (px < clip_.left || px >= clip_.right || py < clip_.top || py >= clip_.bottom) continue;
    pixels_[uint32_t(py) * pitch_ + uint32_t(px)] = word;
  }
  Unlock();
  return ERES_OK;
}
