// Blit kernels: the kernel table, the two kernel argument lists, the generic
// kernels, the table fillers, the rectangle-fill and colour-conversion kernels.
//
// The display owns one ERDR_KERNELTABLE (512 entry points), allocates and clears
// it once when it opens, fills it for its render format (1: ERender_Get_BltFast8 on
// table->fast and ERender_Get_BltFlip8 on table->flip; 2: the 12-bit pair; 4: the
// 16-bit pair; 6: the 32-bit pair; others stay empty) and frees it on Close.
//
// Surfaces reach the display through ECD->dsp and rely on these ClassEDisplay
// members (keep them when replacing the display):
//   ERDR_KERNELTABLE* GetKernelTable()  the filled table, null when closed or none
//   uint8_t GetRenderFormat()           0 when closed
//   uint8_t GetAxisSwap(), int32_t GetXDir(), int32_t GetYDir()   orientation
//   uint32_t* GetPaletteEntries()       the display palette (256 x 0xAABBGGRR)
//   uint32_t* GetPaletteCache()         257 words: converted palette + its format
//   uint32_t GetPhysicalWidth(), GetPhysicalHeight()   frame-buffer size
//   int BuildPaletteLookup(), int BuildPaletteLookupIndex(uint8_t*, const uint32_t*),
//   const uint8_t* GetPaletteLookup()   8-bit loading with the 0x40 remap flag
//   ClassELoaderBase* GetLoader(int slot)                 LoadImage
// Without a display (null ECD, null dsp) or with a closed one, blits run the
// generic loops and the orientation is the identity. The display tests
// (tests/display/display_support.h) turn a closed display by setting the base's
// swapxy_, xdir_ and ydir_, and open one with Open(nullptr, ecd, 16, 320, 240,
// false) on the stand-in.
//
// Kernels trust their callers: no clipping, no allocation, no format conversion.
#ifndef ZARN_DISPLAY_ERDR_KERNEL_H
#define ZARN_DISPLAY_ERDR_KERNEL_H

#include <cstdint>

#include "framework/zarn_types.h"

// Blit flag byte (low byte of every blit, fill and draw flags word).
enum : uint32_t {
  EBLT_CK = 0x01,  // colour key
  EBLT_CF = 0x02,  // colour fill
  EBLT_TN = 0x04,  // tint (with cf: colourise)
  EBLT_OP = 0x08,  // opacity
  EBLT_AD = 0x10,  // additive
  EBLT_SB = 0x20,  // subtractive
  EBLT_OH = 0x40,  // opacity 128, 192, 224, 240 by shifts
  EBLT_OL = 0x80,  // opacity 16, 32, 64 by shifts
};

// Straight blit kernel: w, h, first destination and source pixel, pitches in
// bytes, native colour key, native colour, opacity 0-255. Nonzero = drawn.
typedef int32_t (*ERDR_BLTFAST)(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src,
                                uint32_t dstPitch, uint32_t srcPitch, uint32_t key,
                                uint32_t colour, uint32_t opacity);
// Mirrored/turned blit kernel: source steps in pixels per destination pixel and
// per destination row, then as above (the source pitch is not read).
typedef int32_t (*ERDR_BLTFLIP)(int32_t xStep, int32_t yStep, int32_t w, int32_t h, uint8_t* dst,
                                const uint8_t* src, uint32_t dstPitch, uint32_t srcPitch,
                                uint32_t key, uint32_t colour, uint32_t opacity);

// 512 entries: BltFast slots by flag byte, then BltFlip slots by flag byte.
struct ERDR_KERNELTABLE {
  ERDR_BLTFAST fast[256];
  ERDR_BLTFLIP flip[256];
};

// Number of BltFast entries the fillers copy (slots 0 to 129).
constexpr uint32_t kERenderFastEntries = 130;

// Table fillers: copy the depth's 130 BltFast entries over table[0..129], or write
// the two BltFlip entries (plain, ck) at table[0..1].
void ERender_Get_BltFast8(ERDR_BLTFAST* table);
void ERender_Get_BltFast12(ERDR_BLTFAST* table);
void ERender_Get_BltFast16(ERDR_BLTFAST* table);
void ERender_Get_BltFast32(ERDR_BLTFAST* table);
void ERender_Get_BltFlip8(ERDR_BLTFLIP* table);
void ERender_Get_BltFlip12(ERDR_BLTFLIP* table);
void ERender_Get_BltFlip16(ERDR_BLTFLIP* table);
void ERender_Get_BltFlip32(ERDR_BLTFLIP* table);
// Fills both halves for a render format (1, 2, 4, 6); other formats leave it as is.
void ERender_FillTable(ERDR_KERNELTABLE* table, uint8_t renderformat);

// Generic kernels: offer the block to the table's kernel for the flag byte, else
// run the per-pixel loops for every flag combination. table may be null. Return 1.
int32_t ERdrBltFast8(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src, uint32_t dstPitch,
                     uint32_t srcPitch, uint32_t key, uint32_t colour, uint32_t opacity,
                     const ERDR_BLTFAST* table, uint32_t flags);
int32_t ERdrBltFast12(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src, uint32_t dstPitch,
                      uint32_t srcPitch, uint32_t key, uint32_t colour, uint32_t opacity,
                      const ERDR_BLTFAST* table, uint32_t flags);
int32_t ERdrBltFast16(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src, uint32_t dstPitch,
                      uint32_t srcPitch, uint32_t key, uint32_t colour, uint32_t opacity,
                      const ERDR_BLTFAST* table, uint32_t flags);
int32_t ERdrBltFast32(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src, uint32_t dstPitch,
                      uint32_t srcPitch, uint32_t key, uint32_t colour, uint32_t opacity,
                      const ERDR_BLTFAST* table, uint32_t flags);
int32_t ERdrBltFlip8(int32_t xStep, int32_t yStep, int32_t w, int32_t h, uint8_t* dst,
                     const uint8_t* src, uint32_t dstPitch, uint32_t srcPitch, uint32_t key,
                     uint32_t colour, uint32_t opacity, const ERDR_BLTFLIP* table, uint32_t flags);
int32_t ERdrBltFlip12(int32_t xStep, int32_t yStep, int32_t w, int32_t h, uint8_t* dst,
                      const uint8_t* src, uint32_t dstPitch, uint32_t srcPitch, uint32_t key,
                      uint32_t colour, uint32_t opacity, const ERDR_BLTFLIP* table, uint32_t flags);
int32_t ERdrBltFlip16(int32_t xStep, int32_t yStep, int32_t w, int32_t h, uint8_t* dst,
                      const uint8_t* src, uint32_t dstPitch, uint32_t srcPitch, uint32_t key,
                      uint32_t colour, uint32_t opacity, const ERDR_BLTFLIP* table, uint32_t flags);
int32_t ERdrBltFlip32(int32_t xStep, int32_t yStep, int32_t w, int32_t h, uint8_t* dst,
                      const uint8_t* src, uint32_t dstPitch, uint32_t srcPitch, uint32_t key,
                      uint32_t colour, uint32_t opacity, const ERDR_BLTFLIP* table, uint32_t flags);

// Specialised kernels (one file each), BltFast argument list.
#define ZARN_ERDR_FAST_DECL(name)                                                            \
  int32_t name(int32_t w, int32_t h, uint8_t* dst, const uint8_t* src, uint32_t dstPitch,  \
               uint32_t srcPitch, uint32_t key, uint32_t colour, uint32_t opacity);
#define ZARN_ERDR_FAST_SET(d)                                                                \
  ZARN_ERDR_FAST_DECL(ERdrBltFast##d##_ck) ZARN_ERDR_FAST_DECL(ERdrBltFast##d##_ck_cf)      \
  ZARN_ERDR_FAST_DECL(ERdrBltFast##d##_tn) ZARN_ERDR_FAST_DECL(ERdrBltFast##d##_ck_tn)      \
  ZARN_ERDR_FAST_DECL(ERdrBltFast##d##_op) ZARN_ERDR_FAST_DECL(ERdrBltFast##d##_ck_op)      \
  ZARN_ERDR_FAST_DECL(ERdrBltFast##d##_ad) ZARN_ERDR_FAST_DECL(ERdrBltFast##d##_ck_ad)      \
  ZARN_ERDR_FAST_DECL(ERdrBltFast##d##_sb) ZARN_ERDR_FAST_DECL(ERdrBltFast##d##_ck_sb)      \
  ZARN_ERDR_FAST_DECL(ERdrBltFast##d##_oh) ZARN_ERDR_FAST_DECL(ERdrBltFast##d##_ck_oh)      \
  ZARN_ERDR_FAST_DECL(ERdrBltFast##d##_ol) ZARN_ERDR_FAST_DECL(ERdrBltFast##d##_ck_ol)
ZARN_ERDR_FAST_SET(8)
ZARN_ERDR_FAST_SET(12)
ZARN_ERDR_FAST_SET(16)
ZARN_ERDR_FAST_SET(32)
#undef ZARN_ERDR_FAST_SET
#undef ZARN_ERDR_FAST_DECL

// Specialised kernels, BltFlip argument list.
#define ZARN_ERDR_FLIP_DECL(name)                                                            \
  int32_t name(int32_t xStep, int32_t yStep, int32_t w, int32_t h, uint8_t* dst,             \
               const uint8_t* src, uint32_t dstPitch, uint32_t srcPitch, uint32_t key,       \
               uint32_t colour, uint32_t opacity);
ZARN_ERDR_FLIP_DECL(ERdrBltFlip8_)
ZARN_ERDR_FLIP_DECL(ERdrBltFlip8_ck)
ZARN_ERDR_FLIP_DECL(ERdrBltFlip12_)
ZARN_ERDR_FLIP_DECL(ERdrBltFlip12_ck)
ZARN_ERDR_FLIP_DECL(ERdrBltFlip16_)
ZARN_ERDR_FLIP_DECL(ERdrBltFlip16_ck)
ZARN_ERDR_FLIP_DECL(ERdrBltFlip32_)
ZARN_ERDR_FLIP_DECL(ERdrBltFlip32_ck)
#undef ZARN_ERDR_FLIP_DECL

// Rectangle kernels over a clipped, non-empty rectangle; pitch in pixels, bpp 8,
// 16, 24 or 32, format 1-6, colour native (for the opacity fills already scaled by
// the opacity), opacity 1-254.
void ExRctOpac(const tagRECT* rect, uint8_t* pixels, uint32_t pitch, uint8_t bpp, uint8_t format,
               uint32_t colour, uint32_t opacity);
void ExRctOpacPlus(const tagRECT* rect, uint8_t* pixels, uint32_t pitch, uint8_t bpp, uint8_t format,
                   uint32_t colour, uint32_t opacity);
void ExRctAlpha(const tagRECT* rect, uint8_t* pixels, uint32_t pitch, uint8_t bpp, uint8_t format,
                uint32_t colour);
void ExRctSub(const tagRECT* rect, uint8_t* pixels, uint32_t pitch, uint8_t bpp, uint8_t format,
              uint32_t colour);

// Copies a w x h block between two formats, converting every pixel; pitches in
// pixels. palette: 256 x 0xAABBGGRR for an 8-bit source; cache: 256 converted
// entries plus the format they hold (0 = none), rebuilt when it differs.
void ExBltColorConvert(uint8_t* dst, const uint8_t* src, uint32_t dstPitch, uint32_t srcPitch,
                       uint8_t dstFormat, uint8_t srcFormat, int32_t w, int32_t h,
                       const uint32_t* palette, uint32_t* cache);

#endif
