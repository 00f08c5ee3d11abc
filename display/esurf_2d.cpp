#include "display/esurf_2d.h"

#include <algorithm>
#include <cstring>

#include "display/edsp_base.h"
#include "display/erdr_pixel.h"
#include "framework/emod_memory.h"
#include "loaders/eldr_base.h"

namespace {

inline uint32_t SwapRB(uint32_t c) { return (c & 0xFF00) | ((c >> 16) & 0xFF) | ((c & 0xFF) << 16); }

inline uint32_t BytesPerPixel(uint8_t format) {
  switch (format) {
    case EFMT_INDEX8: return 1;
    case EFMT_RGB12:
    case EFMT_RGB15:
    case EFMT_RGB16: return 2;
    case EFMT_RGB24: return 3;
    case EFMT_RGB32: return 4;
    default: return 0;
  }
}

// Ordered dither: the columns (dropped low bits) that get one step, per row.
constexpr uint16_t kT16Rows[16] = {
    // bit n set = column n gets the step
    0xFB40, 0xEC90, 0xF720, 0xB8C4, 0xFF00, 0xCC98, 0xF360, 0x7C82,
    0xFB40, 0xE630, 0xDD88, 0xBA44, 0xF5A0, 0xEE10, 0xF9C0, 0xD628};
constexpr uint8_t kT8Rows[8] = {0xF0, 0xC8, 0xF0, 0xA4, 0xD8, 0x62, 0xF0, 0x8C};
constexpr uint8_t kT4Rows[4] = {0x0C, 0x08, 0x06, 0x08};

inline uint32_t Dither(uint32_t c, uint8_t format, uint32_t d) {
  uint32_t out = 0;
  for (int ch = 0; ch < 3; ch++) {
    uint32_t v = (c >> (ch * 8)) & 0xFF;
    if (format == EFMT_RGB12) {
      if (v < 0xF0) v = (v & 0xF0) + (((kT16Rows[d & 15] >> (v & 15)) & 1) ? 16 : 0);
    } else if (format == EFMT_RGB16 && ch == 1) {
      if (v < 0xFC) v = (v & 0xFC) + (((kT4Rows[d & 3] >> (v & 3)) & 1) ? 4 : 0);
    } else if (format == EFMT_RGB15 || format == EFMT_RGB16) {
      if (v < 0xF8) v = (v & 0xF8) + (((kT8Rows[d & 7] >> (v & 7)) & 1) ? 8 : 0);
    }
    out |= v << (ch * 8);
  }
  return out;
}

// Loader colours (0xAABBGGRR) to native pixels of one format: not opaque is the
// key black, and with LIFT true black is lifted to the lift colour so that it
// stays visible.
template <uint8_t F, bool LIFT>
inline uint32_t NativeOf(uint32_t c, uint32_t lift) {
  if (c < 0xFF000000u) return 0;  // alpha below 255
  if (LIFT && c == 0xFF000000u) c = lift;
  switch (F) {
    case EFMT_RGB12: return ((c & 0xF0) << 4) | ((c >> 8) & 0xF0) | ((c >> 20) & 0xF);
    case EFMT_RGB15: return ((c & 0xF8) << 7) | ((c >> 6) & 0x3E0) | ((c >> 19) & 0x1F);
    case EFMT_RGB16: return ((c & 0xF8) << 8) | ((c >> 5) & 0x7E0) | ((c >> 19) & 0x1F);
    default: return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
  }
}

template <uint8_t F, uint32_t B, bool LIFT>
void DeliverWordsT(uint8_t* p, int32_t step, const uint8_t* src, uint32_t n, uint32_t lift) {
  for (uint32_t k = 0; k < n; k++, p += step, src += 4) {
    uint32_t c;
    std::memcpy(&c, src, 4);
    erdr::StoreBytes(p, B, NativeOf<F, LIFT>(c, lift));
  }
}

template <uint8_t F, uint32_t B>
void DeliverWordsF(uint8_t* p, int32_t step, const uint8_t* src, uint32_t n, bool lifted,
                   uint32_t lift) {
  if (lifted)
    DeliverWordsT<F, B, true>(p, step, src, n, lift);
  else
    DeliverWordsT<F, B, false>(p, step, src, n, lift);
}

// One run of loader colour words along a physical row (step one pixel) or
// column (step one stored row) of a surface in an RGB format; `lifted` for
// pictures with transparency, whose true black becomes `lift`.
void DeliverWords(uint8_t format, uint8_t* p, int32_t step, const uint8_t* src, uint32_t n,
                  bool lifted, uint32_t lift) {
  switch (format) {
    case EFMT_RGB12: return DeliverWordsF<EFMT_RGB12, 2>(p, step, src, n, lifted, lift);
    case EFMT_RGB15: return DeliverWordsF<EFMT_RGB15, 2>(p, step, src, n, lifted, lift);
    case EFMT_RGB16: return DeliverWordsF<EFMT_RGB16, 2>(p, step, src, n, lifted, lift);
    case EFMT_RGB24: return DeliverWordsF<EFMT_RGB24, 3>(p, step, src, n, lifted, lift);
    default: return DeliverWordsF<EFMT_RGB32, 4>(p, step, src, n, lifted, lift);
  }
}

template <uint32_t B>
void DeliverIndexedB(uint8_t* p, int32_t step, const uint8_t* src, uint32_t n,
                     const uint32_t* native) {
  for (uint32_t k = 0; k < n; k++, p += step) erdr::StoreBytes(p, B, native[src[k]]);
}

// One run of palette indices, each stored as its entry of the native palette.
void DeliverIndexed(uint32_t bytes, uint8_t* p, int32_t step, const uint8_t* src, uint32_t n,
                    const uint32_t* native) {
  switch (bytes) {
    case 2: return DeliverIndexedB<2>(p, step, src, n, native);
    case 3: return DeliverIndexedB<3>(p, step, src, n, native);
    default: return DeliverIndexedB<4>(p, step, src, n, native);
  }
}

// One loader colour (after any dither) as a native pixel of an RGB format, by
// the rules of NativeOf.
uint32_t LoaderColorToNative(uint32_t c, uint8_t format, bool lifted, uint32_t lift) {
  if ((c >> 24) < 255) return 0;
  c &= 0xFFFFFF;
  if (lifted && c == 0) c = lift;
  return E2DSurface::ColorToNative(c, format);
}

}  // namespace

uint32_t E2DSurface::DitherColor(uint32_t c, uint8_t format, uint32_t d) {
  return Dither(c, format, d);
}

void* E2DSurface::AllocBlock(uint32_t size) { return ClassEMemory::Alloc(size); }
void E2DSurface::FreeBlock(void* block) { ClassEMemory::DeAlloc(block); }

E2DSurface::E2DSurface() = default;
E2DSurface::~E2DSurface() { Free(); }

uint32_t E2DSurface::ColorToNative(uint32_t c, uint8_t format) {
  if (format == EFMT_INDEX8) return c & 0xFF;
  const uint32_t s = SwapRB(c);
  switch (format) {
    case EFMT_RGB12: return ((s >> 12) & 0xF00) | ((s >> 8) & 0xF0) | ((s & 0xFF) >> 4);
    case EFMT_RGB15: return ((s >> 9) & 0x7C00) | ((s >> 6) & 0x3E0) | ((s & 0xFF) >> 3);
    case EFMT_RGB16: return ((s >> 8) & 0xF800) | ((s >> 5) & 0x7E0) | ((s & 0xFF) >> 3);
    default: return s & 0xFFFFFF;
  }
}

uint32_t E2DSurface::NativeToColor(uint32_t p, uint8_t format) {
  uint32_t s;
  switch (format) {
    case EFMT_INDEX8: return p & 0xFF;
    case EFMT_RGB12: s = ((p & 0xF00) << 12) | ((p & 0xF0) << 8) | ((p & 0xF) << 4); break;
    case EFMT_RGB15: s = ((p & 0x7C00) << 9) | ((p & 0x3E0) << 6) | ((p & 0x1F) << 3); break;
    case EFMT_RGB16: s = ((p & 0xF800) << 8) | ((p & 0x7E0) << 5) | ((p & 0x1F) << 3); break;
    default: s = p & 0xFFFFFF; break;
  }
  return SwapRB(s);
}

void E2DSurface::Free() {
  FreeBlock(pixels_);
  FreeBlock(charset_);
  FreeBlock(mask_);
  FreeBlock(glyphs_);
  FreeBlock(spanleft_);
  FreeBlock(spanright_);
  FreeBlock(spanvala_);
  FreeBlock(spanvalb_);
  FreeBlock(remap_);
  pixels_ = nullptr;
  charset_ = nullptr;
  mask_ = nullptr;
  glyphs_ = nullptr;
  spanleft_ = spanright_ = nullptr;
  spanvala_ = spanvalb_ = nullptr;
  remap_ = nullptr;
  nativepalkind_ = 0;
  spanrows_ = 0;
  lockcount_ = 0;
  created_ = 0;
}

void E2DSurface::ClearNative() {
  if (!pixels_ || !IsCreated()) return;
  const uint32_t B = bpp_ >> 3;
  tagRECT r = clip_;
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > int32_t(width_)) r.right = int32_t(width_);
  if (r.bottom > int32_t(rows_)) r.bottom = int32_t(rows_);
  if (r.left >= r.right || r.top >= r.bottom) return;
  for (int32_t y = r.top; y < r.bottom; y++)
    std::memset(pixels_ + (uint32_t(y) * pitch_ + uint32_t(r.left)) * B, 0,
                uint32_t(r.right - r.left) * B);
}

int E2DSurface::Create(uint32_t width, uint32_t height, uint8_t format, uint32_t flags) {
  if ((flags & 0xF) == 0) {
    // No context: plain system memory.
    const uint32_t def = (ecd_ && ecd_->cfg) ? (ecd_->cfg->surfacetype & 0xF) : 1;
    flags |= def;
  }
  if ((flags & 0xF) > 3 || width == 0 || height == 0) return ERES_BADARGS;
  const uint8_t fmt = CreateFormat(format, flags);
  if (IsCreated()) {
    // Only the same size, flags and format keep the surface; another format
    // makes a new one.
    if (flags == createflags_ && fmt == format_ && width == GetWidth() && height == GetHeight()) {
      ClearForReuse();
      return ERES_OK;
    }
    Free();
  }
  createflags_ = flags;
  if ((flags & 0xF) == 0) return ERES_OK;
  return AllocPixels(width, height, fmt);
}

// A surface created again as it was: cleared, its font and mask dropped.
void E2DSurface::ClearForReuse() {
  ClearNative();
  FreeBlock(glyphs_);
  glyphs_ = nullptr;
  FreeBlock(mask_);
  mask_ = nullptr;
}

// The pixels of a fresh width x height surface in fmt, stored in its
// orientation, and the state that goes with them.
int E2DSurface::AllocPixels(uint32_t width, uint32_t height, uint8_t fmt) {
  const uint32_t B = BytesPerPixel(fmt);
  if (!B) return ERES_BAD;
  const EORIENT o = Orientation();
  const uint32_t sw = o.swap ? height : width, sr = o.swap ? width : height;
  const uint64_t pitch = (uint64_t(sw) + 3) & ~uint64_t(3);
  const uint64_t bytes = pitch * sr * B;
  // Bounded so that every byte offset fits the 32-bit arithmetic of the kernels,
  // every column fits the 16-bit span tables, and the block fits the console's
  // 64 MB: a header asking for more (a top-down bitmap's height) is refused here.
  if (bytes > 0x4000000u || sw > 32767 || sr > 32767) return ERES_NOMEMORY;
  uint8_t* pixels = static_cast<uint8_t*>(AllocBlock(uint32_t(bytes)));
  if (!pixels) return ERES_NOMEMORY;
  format_ = fmt;
  bpp_ = uint8_t(B * 8);
  width_ = sw;
  rows_ = sr;
  pitch_ = uint32_t(pitch);
  pixels_ = pixels;
  std::memset(palette_, 0, sizeof palette_);
  nativepalkind_ = 0;
  clip_ = tagRECT{0, 0, int32_t(sw), int32_t(sr)};
  firstchar_ = 0;
  lastchar_ = 127;
  glyphcount_ = 128;
  fontpadx_ = fontpady_ = 0;
  if (!AllocSpanTables((o.swap && pitch_ > rows_) ? pitch_ : rows_)) {
    Free();
    return ERES_NOMEMORY;
  }
  colorkey_ = 0;
  created_ = 1;
  ClearNative();
  return ERES_OK;
}

// The scanline tables, entries long each and zeroed; false when one is missing.
bool E2DSurface::AllocSpanTables(uint32_t entries) {
  spanleft_ = static_cast<int16_t*>(AllocBlock(entries * 2));
  spanright_ = static_cast<int16_t*>(AllocBlock(entries * 2));
  spanvala_ = static_cast<int32_t*>(AllocBlock(entries * 16));
  spanvalb_ = static_cast<int32_t*>(AllocBlock(entries * 16));
  if (!spanleft_ || !spanright_ || !spanvala_ || !spanvalb_) return false;
  std::memset(spanleft_, 0, entries * 2);
  std::memset(spanright_, 0, entries * 2);
  std::memset(spanvala_, 0, entries * 16);
  std::memset(spanvalb_, 0, entries * 16);
  spanrows_ = entries;
  return true;
}

int E2DSurface::GetInfo(E2DSURFACEINFO* info) const {
  if (!info) return 0;
  const EORIENT o = Orientation();
  const int32_t B = bpp_ >> 3, P = int32_t(pitch_) * B;
  info->pitch = P;
  if (!o.swap) {
    info->xstep = B * o.xdir;
    info->ystep = P * o.ydir;
  } else {
    info->xstep = P * o.ydir;
    info->ystep = B * o.xdir;
  }
  int32_t x = 0, y = 0;
  EOrient_VirtualPos(o, x, y, width_, rows_);
  info->origin = y * P + x * B;
  info->width = GetWidth();
  info->height = GetHeight();
  info->storedwidth = width_;
  info->storedrows = rows_;
  info->bpp = bpp_;
  info->format = format_;
  return 1;
}

void E2DSurface::SetClipper(const tagRECT* rect) {
  if (!created_) return;
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

void E2DSurface::GetClipper(tagRECT* out) const {
  if (!out) return;
  *out = clip_;
  EOrient_ReVirtualRect(Orientation(), out, width_, rows_);
}

void E2DSurface::SetColorKey(uint32_t colour) { colorkey_ = ColorToNative(colour, format_); }

uint32_t E2DSurface::GetColorKey() const { return NativeToColor(colorkey_, format_); }

uint32_t E2DSurface::AutoSetColorKey(int32_t x, int32_t y) {
  const uint32_t c = GetPixel(x, y);
  SetColorKey(c);
  return c;
}

uint32_t E2DSurface::GetPixel(int32_t x, int32_t y) {
  if (!IsCreated() || !pixels_) return 0;
  EOrient_VirtualPos(Orientation(), x, y, width_, rows_);
  return GetPixelV(x, y);
}

uint32_t E2DSurface::GetPixelV(int32_t x, int32_t y) {
  if (!IsCreated() || !pixels_) return 0;
  if (x < 0 || y < 0 || uint32_t(x) >= width_ || uint32_t(y) >= rows_) return 0;
  lockcount_++;
  const uint32_t c = GetPixelRaw(x, y, pixels_);
  Unlock();
  return c;
}

uint32_t E2DSurface::GetPixelRaw(int32_t x, int32_t y, const uint8_t* pixels) const {
  const uint32_t B = bpp_ >> 3;
  return NativeToColor(erdr::LoadBytes(pixels + (uint32_t(y) * pitch_ + uint32_t(x)) * B, B),
                       format_);
}

void E2DSurface::PixelRule(uint8_t* p, uint32_t c, int32_t flags, uint32_t v) const {
  uint32_t f = uint32_t(flags);
  if ((f & EBLT_AD) && (f & EBLT_SB)) f &= ~(EBLT_AD | EBLT_SB);
  uint32_t o = (f & (EBLT_CF | EBLT_TN)) ? v >> 24 : v;
  if ((f & EBLT_CF) && (f & EBLT_TN)) {
    uint32_t m = c & 0xFF;
    if (((c >> 8) & 0xFF) > m) m = (c >> 8) & 0xFF;
    if (((c >> 16) & 0xFF) > m) m = (c >> 16) & 0xFF;
    c = ((((v & 0xFF) * m) >> 8) & 0xFF) | (((((v >> 8) & 0xFF) * m) >> 8) << 8) |
        (((((v >> 16) & 0xFF) * m) >> 8) << 16);
  } else if (f & EBLT_CF) {
    c = v & 0xFFFFFF;
  } else if (f & EBLT_TN) {
    c = ((c >> 1) & 0x7F7F7F) + ((v >> 1) & 0x7F7F7F);
  }
  if (f & (EBLT_CF | EBLT_TN)) {
    f &= ~(EBLT_CF | EBLT_TN);
    v >>= 24;
  }
  const uint32_t B = bpp_ >> 3;
  auto scale = [](uint32_t col, uint32_t a) {
    return ((((col & 0xFF) * a) >> 8) & 0xFF) | (((((col >> 8) & 0xFF) * a) >> 8) << 8) |
           (((((col >> 16) & 0xFF) * a) >> 8) << 16);
  };
  if ((f & EBLT_OP) && (f & (EBLT_AD | EBLT_SB))) {
    c = scale(c, o > 256 ? 256 : o);  // 255 or more is opaque; no overflow
    f &= ~EBLT_OP;
  }
  if (f & EBLT_OP) {
    if (o > 254) {
      f &= ~EBLT_OP;
    } else {
      uint32_t masked = o;
      if (format_ == 2) masked &= 0xF0;
      if (format_ == 3 || format_ == 4) masked &= 0xF8;
      if (!masked) return;
      const uint32_t d = NativeToColor(erdr::LoadBytes(p, B), format_);
      c = scale(d, 256 - o) + scale(c, o);
    }
  } else if (f & (EBLT_AD | EBLT_SB)) {
    const uint32_t d = NativeToColor(erdr::LoadBytes(p, B), format_);
    uint32_t r = 0;
    for (int sh = 0; sh < 24; sh += 8) {
      const int32_t dc = int32_t((d >> sh) & 0xFF), cc = int32_t((c >> sh) & 0xFF);
      int32_t x = (f & EBLT_AD) ? dc + cc : dc - cc;
      if (x > 255) x = 255;
      if (x < 0) x = 0;
      r |= uint32_t(x) << sh;
    }
    c = r;
  }
  erdr::StoreBytes(p, B, ColorToNative(c, format_));
}

int E2DSurface::ReplaceColor(uint32_t newColour, uint32_t oldColour, bool invert) {
  if (!IsCreated() || !pixels_) return 0;
  const uint32_t B = bpp_ >> 3;
  const uint32_t nv = ColorToNative(newColour, format_), ov = ColorToNative(oldColour, format_);
  tagRECT r = clip_;
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > int32_t(width_)) r.right = int32_t(width_);
  if (r.bottom > int32_t(rows_)) r.bottom = int32_t(rows_);
  for (int32_t y = r.top; y < r.bottom; y++) {
    uint8_t* p = pixels_ + (uint32_t(y) * pitch_ + uint32_t(r.left)) * B;
    for (int32_t x = r.left; x < r.right; x++, p += B)
      if ((erdr::LoadBytes(p, B) == ov) != invert) erdr::StoreBytes(p, B, nv);
  }
  return 1;
}

void E2DSurface::BuildTableMask(uint8_t threshold) {
  if (!IsCreated() || !pixels_) return;
  FreeBlock(mask_);
  const uint32_t words = (width_ + 31) / 32;
  mask_ = static_cast<uint32_t*>(AllocBlock(words * rows_ * 4));
  if (!mask_) return;
  std::memset(mask_, 0, words * rows_ * 4);
  const uint32_t B = bpp_ >> 3;
  for (uint32_t y = 0; y < rows_; y++) {
    const uint8_t* p = pixels_ + y * pitch_ * B;
    for (uint32_t x = 0; x < width_; x++, p += B) {
      const uint32_t n = erdr::LoadBytes(p, B);
      if (n == colorkey_) continue;
      const uint32_t c = NativeToColor(n, format_);
      if (((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF)) / 3 >= threshold)
        mask_[y * words + (x >> 5)] |= 0x80000000u >> (x & 31);
    }
  }
}

int E2DSurface::LoadImage(void* data, uint32_t length, uint8_t format, uint32_t flags) {
  if ((flags & 0xF) > 3) return ERES_BADARGS;
  return LoadThroughSlots(data, length, format, flags);
}

int E2DSurface::LoadImage(const uint16_t* name, uint8_t format, uint32_t flags) {
  void* data;
  uint32_t size;
  const int r = ReadWholeFile(name, &data, &size);
  if (r) return r;
  const int result = LoadImage(data, size, format, flags);
  ClassEMemory::DeAlloc(data);
  return result;
}

int E2DSurface::LdrOnCreate(ELDR_2DCALLBACKINFO* info) {
  if (!info) return ERES_BADARGS;
  const int r = Create(info->width, info->height, info->renderformat, info->flags);
  if (r) return r;
  SetColorKey(0);
  return ERES_OK;
}

int E2DSurface::LdrOnPaletteStream(ELDR_2DCALLBACKINFO* info) {
  if (!info) return ERES_BADARGS;
  if (info->paletteindex > 255) return 10;  // past entry 255
  uint32_t n = info->bytecount / 4;
  if (n > 256 - info->paletteindex) n = 256 - info->paletteindex;
  if (n && info->data) std::memcpy(palette_ + info->paletteindex, info->data, n * 4);
  info->paletteindex += n;
  FreeBlock(remap_);
  remap_ = nullptr;
  nativepalkind_ = 0;
  return ERES_OK;
}

int E2DSurface::PrepareDisplayRemap(bool indexed, const uint8_t** lookup) {
  ClassEDisplay* dsp = ecd_ ? ecd_->dsp : nullptr;
  if (!indexed) {
    if (!dsp || !dsp->BuildPaletteLookup() || !(*lookup = dsp->GetPaletteLookup())) return ERES_BAD;
    return ERES_OK;
  }
  if (remap_) return ERES_OK;
  remap_ = static_cast<uint8_t*>(AllocBlock(256));
  if (!remap_ || !dsp || !dsp->BuildPaletteLookupIndex(remap_, palette_)) {
    FreeBlock(remap_);
    remap_ = nullptr;
    return ERES_NOMEMORY;
  }
  return ERES_OK;
}

const uint32_t* E2DSurface::NativePalette(bool lifted, uint32_t lift) {
  const uint8_t kind = lifted ? 2 : 1;
  if (nativepalkind_ != kind) {
    for (uint32_t k = 0; k < 256; k++)
      nativepal_[k] = LoaderColorToNative(palette_[k], format_, lifted, lift);
    nativepalkind_ = kind;
  }
  return nativepal_;
}

uint32_t E2DSurface::ClipLoaderRun(uint32_t lx, uint32_t ly, uint32_t n, uint8_t** at,
                                   int32_t* step, uint32_t* skipped) const {
  const EORIENT o = Orientation();
  const uint32_t B = bpp_ >> 3;
  int32_t px = int32_t(lx), py = int32_t(ly);
  EOrient_VirtualPos(o, px, py, width_, rows_);
  const bool alongY = o.swap != 0;
  const int64_t dir = alongY ? o.ydir : o.xdir;
  const int64_t fixed = alongY ? px : py, start = alongY ? py : px;
  const int64_t fixLo = alongY ? clip_.left : clip_.top,
                fixHi = alongY ? clip_.right : clip_.bottom;
  const int64_t lo = alongY ? clip_.top : clip_.left, hi = alongY ? clip_.bottom : clip_.right;
  if (fixed < fixLo || fixed >= fixHi) return 0;
  const int64_t k0 =
      dir > 0 ? std::max<int64_t>(0, lo - start) : std::max<int64_t>(0, start - (hi - 1));
  const int64_t k1 =
      dir > 0 ? std::min<int64_t>(n, hi - start) : std::min<int64_t>(n, start - lo + 1);
  if (k0 >= k1) return 0;
  const int64_t m = start + dir * k0;
  const int64_t x = alongY ? fixed : m, y = alongY ? m : fixed;
  *at = pixels_ + (uint32_t(y) * pitch_ + uint32_t(x)) * B;
  *step = int32_t(alongY ? dir * int64_t(pitch_) : dir) * int32_t(B);
  *skipped = uint32_t(k0);
  return uint32_t(k1 - k0);
}

// How the pixels of one loader call become native ones, decided once per call.
struct E2DSurface::LoaderRule {
  const uint8_t* data;
  const uint32_t* palette;    // the surface's palette, for indices
  const uint8_t* remapIndex;  // the display remap of indices, when remap and indexed
  const uint8_t* lookup;      // the display's colour lookup, when remap and colour words
  const uint32_t* native;     // indices as native pixels on the fast path, or null
  uint32_t lift;
  uint8_t format;
  bool indexed, remap, lifted, dither;
  // Without dither an RGB surface takes a run at a time: colour words as they
  // come, indices through the palette converted once.
  bool fast;

  // One loader pixel in the generic way (palette surfaces, dithering); d is
  // column + row, the dither's position.
  uint32_t Pixel(uint32_t i, uint32_t d) const {
    uint32_t c;
    if (indexed)
      c = palette[data[i]];
    else
      std::memcpy(&c, data + i * 4, 4);
    if (format == EFMT_INDEX8) {
      if (indexed) {
        const uint32_t out = (c >> 24) == 255 ? data[i] : 0;
        return remap ? remapIndex[out] : out;
      }
      if ((c >> 24) < 255) return 0;
      if (remap) return lookup[((c >> 9) & 0x7C00) | ((c >> 6) & 0x3E0) | ((c >> 3) & 0x1F)];
      return c & 0xFF;
    }
    if (dither) c = (c & 0xFF000000u) | Dither(c, format, d);
    return LoaderColorToNative(c, format, lifted, lift);
  }
};

int E2DSurface::LdrOnPixelStream(ELDR_2DCALLBACKINFO* info) {
  if (!info) return ERES_BADARGS;
  if (!IsCreated() || !pixels_) return ERES_BAD;
  LoaderRule rule;
  rule.remap = format_ == EFMT_INDEX8 && (info->flags & 0x40);
  rule.lookup = nullptr;
  if (rule.remap) {
    const int r = PrepareDisplayRemap(info->indexed != 0, &rule.lookup);
    if (r) return r;
  }
  const uint32_t count = info->indexed ? info->bytecount : info->bytecount / 4;
  rule.data = static_cast<const uint8_t*>(info->data);
  if (!rule.data || !info->width) {
    info->pixelindex = int32_t(uint32_t(info->pixelindex) + count);
    return ERES_OK;
  }
  lockcount_++;
  rule.format = format_;
  rule.palette = palette_;
  rule.remapIndex = remap_;
  rule.indexed = info->indexed != 0;
  rule.lift = format_ == EFMT_RGB12                              ? 0x101010
              : (format_ == EFMT_RGB15 || format_ == EFMT_RGB16) ? 0x080808
              : (format_ >= EFMT_RGB24)                          ? 0x010101
                                                                 : 0;
  rule.lifted = info->transparency != 0;
  rule.dither = (info->flags & 0x10) && format_ >= EFMT_RGB12 && format_ <= EFMT_RGB16;
  rule.fast = format_ != EFMT_INDEX8 && !rule.dither;
  rule.native = rule.fast && rule.indexed ? NativePalette(rule.lifted, rule.lift) : nullptr;
  DeliverLoaderRuns(info, count, rule);
  Unlock();
  return ERES_OK;
}

// The call taken run by run, a run being its part within one picture row; where
// it lands and what the clipper leaves of it is decided once per run.
void E2DSurface::DeliverLoaderRuns(ELDR_2DCALLBACKINFO* info, uint32_t count, const LoaderRule& rule) {
  const uint32_t w = info->width, B = bpp_ >> 3;
  uint32_t i = 0;
  while (i < count) {
    const int32_t idx = info->pixelindex;
    if (idx < 0) {  // indices below 0 land nowhere
      const uint32_t skip = std::min(count - i, 0u - uint32_t(idx));
      info->pixelindex = int32_t(uint32_t(idx) + skip);
      i += skip;
      continue;
    }
    const uint32_t lx = uint32_t(idx) % w, ly = uint32_t(idx) / w;
    // A run ends with its row, or where the index wraps to negative.
    const uint32_t n = std::min(std::min(count - i, w - lx), 0x80000000u - uint32_t(idx));
    info->pixelindex = int32_t(uint32_t(idx) + n);
    uint8_t* p = nullptr;
    int32_t step = 0;
    uint32_t skipped = 0;
    const uint32_t len = ClipLoaderRun(lx, ly, n, &p, &step, &skipped);
    const uint32_t first = i + skipped;
    if (len && rule.native)
      DeliverIndexed(B, p, step, rule.data + first, len, rule.native);
    else if (len && rule.fast)
      DeliverWords(rule.format, p, step, rule.data + 4 * size_t(first), len, rule.lifted, rule.lift);
    else
      for (uint32_t k = 0; k < len; k++, p += step)
        erdr::StoreBytes(p, B, rule.Pixel(first + k, lx + skipped + k + ly));
    i += n;
  }
}
