// The blit front: checks, clipping, the opacity rules and the colour argument are
// settled here once per blit; the pixel work goes to a kernel.
#include <cstdint>
#include <cstring>

#include "display/edsp_base.h"
#include "display/erdr_fixed.h"
#include "display/erdr_kernel.h"
#include "display/erdr_pixel.h"
#include "display/esurf_2d.h"

// Settles a blit's flags and opacity: ad with sb drops both; the opacity comes
// from the value word (its top byte with cf or tn; lowByte keeps only its low
// byte, as BltFast and BltFlip do, while BltFx and the RGBA blit read the whole
// value); with op, an opacity above 254 drops op, any other is masked to what
// the format can show. Returns false when the masked opacity is zero.
bool E2DSurface::OpacityFront(uint32_t& f, uint32_t value, uint8_t format, bool lowByte,
                              uint32_t& opacity) {
  if ((f & EBLT_AD) && (f & EBLT_SB)) f &= ~(EBLT_AD | EBLT_SB);
  opacity = (f & (EBLT_CF | EBLT_TN)) ? value >> 24 : value;
  if (lowByte) opacity &= 0xFF;
  if (!(f & EBLT_OP)) return true;
  if (opacity > 254) {
    f &= ~EBLT_OP;
    return true;
  }
  if (format == EFMT_RGB12) opacity &= 0xF0;
  if (format == EFMT_RGB15 || format == EFMT_RGB16) opacity &= 0xF8;
  return opacity != 0;
}

namespace {

// Turns op into oh or ol for the opacities the kernels do with shifts.
uint32_t ShiftFlags(uint32_t f, uint32_t opacity) {
  if (!(f & EBLT_OP)) return f;
  switch (opacity) {
    case 128: case 192: case 224: case 240: return (f & ~EBLT_OP) | EBLT_OH;
    case 16: case 32: case 64: return (f & ~EBLT_OP) | EBLT_OL;
    default: return f;
  }
}

// The display's kernel table, when the destination has the render format.
const ERDR_KERNELTABLE* KernelTable(const ECD* ecd, uint8_t format) {
  ClassEDisplay* dsp = ecd ? ecd->dsp : nullptr;
  return (dsp && dsp->GetRenderFormat() == format) ? dsp->GetKernelTable() : nullptr;
}

// x + n without leaving the 32-bit range.
inline int32_t Add(int32_t x, int32_t n) { return erdr::Clamp32(int64_t(x) + n); }

// Where a quarter or half turn and the mirrors start the walk over a W x H
// destination (after the turn) in the source at s, B bytes a pixel and S bytes
// a stored row; the walk's steps in pixels along a destination row and down.
const uint8_t* FlipWalk(const uint8_t* s, int32_t W, int32_t H, int32_t B, int32_t S, uint16_t angle,
                        uint8_t mirror, int32_t& xs, int32_t& ys) {
  const bool quarter = (angle & 0x7FF) != 0;
  switch ((angle >> 10) & 3) {
    case 0: xs = B; ys = S; break;
    case 1: s += (W - 1) * S; xs = -S; ys = B; break;
    case 2: s += (H - 1) * S + (W - 1) * B; xs = -B; ys = -S; break;
    default: s += (H - 1) * B; xs = S; ys = -B; break;
  }
  // The mirrors reverse the destination's columns (1) or rows (2); a quarter
  // turn exchanges which walk step that is.
  const bool mx = (mirror & 1) != 0, my = (mirror & 2) != 0;
  if (quarter ? my : mx) {
    s += (W - 1) * xs;
    xs = -xs;
  }
  if (quarter ? mx : my) {
    s += (H - 1) * ys;
    ys = -ys;
  }
  xs /= B;
  ys /= B;
  return s;
}

// The kernels' colour argument (E2DSurface::KernelColour), inline for the
// blits here.
inline uint32_t KernelColourOf(uint32_t f, uint32_t value, uint8_t format) {
  if (!(f & (EBLT_CF | EBLT_TN))) return 0;
  uint32_t colour = value & 0xFFFFFF;
  if ((f & (EBLT_CF | EBLT_TN)) == EBLT_TN && format != EFMT_INDEX8) colour = (colour >> 1) & 0x7F7F7F;
  return E2DSurface::ColorToNative(colour, format);
}

}  // namespace

// One blit's rows after the front: where they start, the bytes per stored
// row, the size drawn, and the format and source key the kernels take.
struct BlitRows {
  uint8_t* d;
  const uint8_t* s;
  uint32_t dp, sp;
  int32_t w, h;
  uint8_t format;
  uint32_t key;  // native
};

namespace {

// Flags in one format: the kernel of the flag byte.
void BltFastKernel(const BlitRows& b, const ECD* ecd, uint32_t f, uint32_t colour, uint32_t opacity) {
  f = ShiftFlags(f, opacity);
  const ERDR_KERNELTABLE* table = KernelTable(ecd, b.format);
  const ERDR_BLTFAST* t = table ? table->fast : nullptr;
  switch (b.format) {
    case EFMT_INDEX8: ERdrBltFast8(b.w, b.h, b.d, b.s, b.dp, b.sp, b.key, colour, opacity, t, f); break;
    case EFMT_RGB12: ERdrBltFast12(b.w, b.h, b.d, b.s, b.dp, b.sp, b.key, colour, opacity, t, f); break;
    case EFMT_RGB16: ERdrBltFast16(b.w, b.h, b.d, b.s, b.dp, b.sp, b.key, colour, opacity, t, f); break;
    default: ERdrBltFast32(b.w, b.h, b.d, b.s, b.dp, b.sp, b.key, colour, opacity, t, f); break;
  }
}

// No flags, one format: rows copied, or the block at once when its rows are
// whole and their pitches agree.
void BltFastCopy(const BlitRows& b, uint32_t bytes, bool whole) {
  const uint32_t row = uint32_t(b.w) * bytes;
  if (whole && b.dp == b.sp) {
    std::memcpy(b.d, b.s, uint32_t(b.h) * b.dp - (b.dp - row));
    return;
  }
  uint8_t* d = b.d;
  const uint8_t* s = b.s;
  for (int32_t r = 0; r < b.h; r++, d += b.dp, s += b.sp) std::memmove(d, s, row);
}

// The flip kernel of the flag byte, walking the source by xs, ys pixels.
void BltFlipKernel(const BlitRows& b, int32_t xs, int32_t ys, const ECD* ecd, uint32_t f, uint32_t colour,
                   uint32_t opacity) {
  f = ShiftFlags(f, opacity);
  const ERDR_KERNELTABLE* table = KernelTable(ecd, b.format);
  const ERDR_BLTFLIP* t = table ? table->flip : nullptr;
  switch (b.format) {
    case EFMT_INDEX8: ERdrBltFlip8(xs, ys, b.w, b.h, b.d, b.s, b.dp, b.sp, b.key, colour, opacity, t, f); break;
    case EFMT_RGB12: ERdrBltFlip12(xs, ys, b.w, b.h, b.d, b.s, b.dp, b.sp, b.key, colour, opacity, t, f); break;
    case EFMT_RGB16: ERdrBltFlip16(xs, ys, b.w, b.h, b.d, b.s, b.dp, b.sp, b.key, colour, opacity, t, f); break;
    default: ERdrBltFlip32(xs, ys, b.w, b.h, b.d, b.s, b.dp, b.sp, b.key, colour, opacity, t, f); break;
  }
}

}  // namespace

uint32_t E2DSurface::KernelColour(uint32_t f, uint32_t value, uint8_t format) {
  return KernelColourOf(f, value, format);
}

// A blit whose flags ask for a plain colour: the source is not read, only its
// size (turned when swap) taken for the rectangle at (x, y).
int E2DSurface::FillForBlit(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect, bool swap, uint32_t f,
                            uint32_t value, uint32_t opacity) {
  const int32_t w = rect ? rect->right - rect->left : int32_t(src->GetWidth());
  const int32_t h = rect ? rect->bottom - rect->top : int32_t(src->GetHeight());
  const tagRECT r = swap ? tagRECT{x, y, Add(x, h), Add(y, w)} : tagRECT{x, y, Add(x, w), Add(y, h)};
  FillRectV(&r, value & 0xFFFFFF, int32_t(f & ~EBLT_CF), opacity, true);
  return ERES_OK;
}

int E2DSurface::BltFast(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect, int32_t flags,
                        uint32_t value) {
  if (!src || !IsCreated() || !src->IsCreated()) return ERES_BAD;
  uint32_t f = uint32_t(flags), opacity = 0;
  if (!OpacityFront(f, value, format_, true, opacity)) return ERES_NOTHINGDRAWN;
  if ((f & 7) == EBLT_CF) return FillForBlit(x, y, src, rect, false, f, value, opacity);
  tagRECT sr;
  const int pr = GetBltFastPositions(x, y, &sr, rect, src);
  if (pr) return pr;
  uint8_t* dpx;
  uint8_t* spx;
  if (!LockPair(src, dpx, spx)) return ERES_NOPIXELS;
  const uint32_t DB = bpp_ >> 3, SB = src->bpp_ >> 3;
  uint8_t* d = dpx + (uint32_t(y) * pitch_ + uint32_t(x)) * DB;
  const uint8_t* s = spx + (uint32_t(sr.top) * src->pitch_ + uint32_t(sr.left)) * SB;
  const bool sameFormat = format_ == src->format_;
  const bool kernel = format_ == EFMT_INDEX8 || format_ == EFMT_RGB12 || format_ == EFMT_RGB16 ||
                      format_ == EFMT_RGB32;
  if ((f & 0xFF) && (!sameFormat || !kernel))
    BltFastByRule(d, src, spx, sr, f, value);
  else if (!sameFormat)
    BltFastConvert(d, src, s, sr);
  else {
    const BlitRows b = {d, s, pitch_ * DB, src->pitch_ * SB, sr.right - sr.left, sr.bottom - sr.top, format_,
                        src->colorkey_};
    if (f & 0xFF)
      BltFastKernel(b, ecd_, f, KernelColourOf(f, value, format_), opacity);
    else
      BltFastCopy(b, DB, sr.left == 0 && x == 0 && uint32_t(b.w) == width_ && uint32_t(b.w) == src->width_);
  }
  src->Unlock();
  Unlock();
  return ERES_OK;
}

// Pixel by pixel through the per-pixel rule (formats that differ, and 15- and
// 24-bit surfaces, which have no kernels).
void E2DSurface::BltFastByRule(uint8_t* d, E2DSurface* src, const uint8_t* spx, const tagRECT& sr, uint32_t f,
                               uint32_t value) {
  const int32_t w = sr.right - sr.left, h = sr.bottom - sr.top;
  const uint32_t DB = bpp_ >> 3;
  const bool ck = (f & EBLT_CK) != 0;
  const uint32_t key = src->GetColorKey();
  for (int32_t row = 0; row < h; row++) {
    for (int32_t col = 0; col < w; col++) {
      const uint32_t c = src->GetPixelRaw(sr.left + col, sr.top + row, spx);
      if (ck && c == key) continue;
      PixelRule(d + (uint32_t(row) * pitch_ + uint32_t(col)) * DB, c, int32_t(f), value);
    }
  }
}

// A plain copy between formats, indices through the display's palette.
void E2DSurface::BltFastConvert(uint8_t* d, const E2DSurface* src, const uint8_t* s, const tagRECT& sr) {
  ClassEDisplay* dsp = ecd_ ? ecd_->dsp : nullptr;
  uint32_t localCache[257];
  const uint32_t* palette = dsp ? dsp->GetPaletteEntries() : src->palette_;
  uint32_t* cache = dsp ? dsp->GetPaletteCache() : localCache;
  localCache[256] = 0;
  ExBltColorConvert(d, s, pitch_, src->pitch_, format_, src->format_, sr.right - sr.left, sr.bottom - sr.top,
                    palette, cache);
}

int E2DSurface::BltFlip(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect, uint16_t angle,
                        uint8_t mirror, int32_t flags, uint32_t value) {
  if (angle & 0x3FF) return ERES_BADARGS;
  if (!src || !IsCreated() || !src->IsCreated()) return ERES_BAD;
  uint32_t f = uint32_t(flags), opacity = 0;
  if (!OpacityFront(f, value, format_, true, opacity)) return ERES_NOTHINGDRAWN;
  const bool quarter = (angle & 0x7FF) != 0;
  if ((f & 7) == EBLT_CF) return FillForBlit(x, y, src, rect, quarter, f, value, opacity);
  tagRECT sr;
  const int pr = GetBltFlipPositions(x, y, &sr, rect, src, angle, mirror);
  if (pr) return pr;
  uint8_t* dpx;
  uint8_t* spx;
  if (!LockPair(src, dpx, spx)) return ERES_NOPIXELS;
  if (format_ != src->format_) {
    src->Unlock();
    Unlock();
    return ERES_NOTTHISFORMAT;  // BltFlip's code for formats that differ
  }
  const int32_t sw = sr.right - sr.left, sh = sr.bottom - sr.top;
  const int32_t W = quarter ? sh : sw, H = quarter ? sw : sh;
  const int32_t B = bpp_ >> 3;
  int32_t xs, ys;
  const uint8_t* s = FlipWalk(spx + (uint32_t(sr.top) * src->pitch_ + uint32_t(sr.left)) * uint32_t(B), W, H, B,
                              int32_t(src->pitch_) * B, angle, mirror, xs, ys);
  uint8_t* d = dpx + (uint32_t(y) * pitch_ + uint32_t(x)) * uint32_t(B);
  const BlitRows b = {d, s, pitch_ * uint32_t(B), src->pitch_ * uint32_t(B), W, H, format_,
                      src->colorkey_};
  if (format_ == EFMT_RGB15 || format_ == EFMT_RGB24)
    BltFlipByRule(b, xs, ys, f, value);
  else
    BltFlipKernel(b, xs, ys, ecd_, f, KernelColourOf(f, value, format_), opacity);
  src->Unlock();
  Unlock();
  return ERES_OK;
}

// No kernels for 15- and 24-bit surfaces: the per-pixel rule along the steps.
void E2DSurface::BltFlipByRule(const BlitRows& b, int32_t xs, int32_t ys, uint32_t f,
                               uint32_t value) {
  const int32_t B = bpp_ >> 3;
  const bool ck = (f & EBLT_CK) != 0;
  const uint32_t key = NativeToColor(b.key, b.format);
  for (int32_t row = 0; row < b.h; row++) {
    const uint8_t* sp = b.s + intptr_t(row) * ys * B;
    for (int32_t col = 0; col < b.w; col++, sp += intptr_t(xs) * B) {
      const uint32_t c = NativeToColor(erdr::LoadBytes(sp, uint32_t(B)), b.format);
      if (ck && c == key) continue;
      PixelRule(b.d + uint32_t(row) * b.dp + uint32_t(col * B), c, int32_t(f & ~EBLT_CK), value);
    }
  }
}

int E2DSurface::BltFx(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect, E2DBLTFX* fx) {
  E2DBLTFX none = {0, 0, 0x10000, 0x10000, 0, 0};
  if (!fx) fx = &none;
  if (!src || !IsCreated() || !src->IsCreated()) return ERES_BAD;
  int32_t w = rect ? rect->right - rect->left : int32_t(src->GetWidth());
  int32_t h = rect ? rect->bottom - rect->top : int32_t(src->GetHeight());
  const uint32_t rot = fx->rotation & 0xFFFF;
  if (!fx->mirror && rot == 0 && fx->xscale == 0x10000 && fx->yscale == 0x10000)
    return BltFast(x - w / 2, y - h / 2, src, rect, fx->flags, fx->value);
  if ((rot & 0xFFF) == 1024 || (rot & 0xFFF) == 3072) {
    const int32_t t = w;
    w = h;
    h = t;
  }
  const int32_t left = x - w / 2, top = y - h / 2;
  uint32_t f = uint32_t(fx->flags), opacity = 0;
  const bool ok = OpacityFront(f, fx->value, format_, false, opacity);
  fx->flags = int32_t(f);
  if (f & (EBLT_CF | EBLT_TN))
    fx->value = (fx->value & 0xFFFFFF) | (((f & EBLT_OP) ? opacity & 0xFF : 0) << 24);
  if (!ok) return ERES_NOTHINGDRAWN;
  if (format_ != src->format_) return ERES_FORMATSDIFFER;
  if ((rot & 0x3FF) == 0 && fx->xscale == 0x10000 && fx->yscale == 0x10000)
    return BltFlip(left, top, src, rect, uint16_t(rot), fx->mirror, fx->flags, fx->value);
  // Free rotation and scaling draw through the span kernels.
  return BltFxSpans(x, y, src, rect, fx);
}

int E2DSurface::Blt(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect, uint16_t rotation,
                    uint32_t scale, uint8_t mirror, int32_t flags, uint32_t value) {
  E2DBLTFX fx = {flags, value, int32_t(scale), int32_t(scale), rotation, mirror};
  return BltFx(x, y, src, rect, &fx);
}
