// Span kernels: runs of pixels whose texture position or colour changes linearly
// along the run. The polygon, gradient and turned-blit paths scan the outline into
// the destination's scanline tables first; these walk the rows.
//
// Tables: leftX/rightX hold each row's first and last pixel (inclusive, already
// clipped; rightX < 0 = empty row). leftValues/rightValues hold four planes of
// `rows` entries: plane 0 the outline's x at the row (22.10), planes 1-3 the values
// there (u, v, or red, green, blue; all x1024).
#ifndef ZARN_DISPLAY_ERDR_SPAN_H
#define ZARN_DISPLAY_ERDR_SPAN_H

#include <cstdint>

#include "framework/zarn_types.h"

#define ERDR_SPAN_ARGS                                                                       \
  uint8_t *dst, const uint8_t *src, const int16_t *leftX, const int16_t *rightX,            \
      const int32_t *leftValues, const int32_t *rightValues, uint32_t dstPitch, uint32_t rows, \
      uint32_t srcPitch, uint32_t srcRows, int32_t firstRow, int32_t lastRow, int32_t clipLeft, \
      uint8_t bpp, uint32_t srcWidth, uint8_t format

void ExRsBlt(ERDR_SPAN_ARGS);
void ExRsBltPlus(ERDR_SPAN_ARGS);
void ExRsBltCk(ERDR_SPAN_ARGS, uint32_t key);
void ExRsBltCkPlus(ERDR_SPAN_ARGS, uint32_t key);
void ExRsBltGeneric(ERDR_SPAN_ARGS, int32_t flags, uint32_t key, uint32_t opacity, uint32_t colour);
void ExRsBltGenericPlus(ERDR_SPAN_ARGS, int32_t flags, uint32_t key, uint32_t opacity,
                        uint32_t colour);

// Picks the textured kernel for a blit flags word as the turned blits and textured
// triangles do: flag byte >= 2 the generic kernel (with cf or tn: opacity from the
// value's top byte and its colour, halved for tint alone, in this format), ck the
// keyed one, no flags the plain copy. key is native.
void ExRsBltFlags(ERDR_SPAN_ARGS, int32_t flags, uint32_t key, uint32_t value);

void ExRsBltGradient(uint8_t* dst, const int16_t* leftX, const int16_t* rightX,
                     const int32_t* leftValues, const int32_t* rightValues, uint32_t dstPitch,
                     uint32_t rows, int32_t firstRow, int32_t lastRow, int32_t clipLeft,
                     uint8_t bpp, uint8_t format);
void ExRsBltGradientDith(uint8_t* dst, const int16_t* leftX, const int16_t* rightX,
                         const int32_t* leftValues, const int32_t* rightValues, uint32_t dstPitch,
                         uint32_t rows, int32_t firstRow, int32_t lastRow, int32_t clipLeft,
                         uint8_t bpp, uint8_t format);

// Ground plane: records of (u, v, u step, v step) with 12 fractional bits, one per
// destination row (Normal) or column (Side).
#define ERDR_LND_ARGS                                                                     \
  const tagRECT *rect, uint8_t *dst, const uint8_t *src, uint32_t dstPitch, uint32_t dstRows, \
      uint32_t srcPitch, uint32_t srcRows, const int32_t *records, uint8_t bpp, uint32_t srcWidth
void ExLndNormal(ERDR_LND_ARGS);
void ExLndNormalPlus(ERDR_LND_ARGS);
void ExLndSide(ERDR_LND_ARGS);
void ExLndSidePlus(ERDR_LND_ARGS);

// Square power-of-two sources (64 to 1024) take the mask-and-shift fetch.
bool ERdrSpanIsPlus(uint32_t srcWidth, uint32_t srcRows);

#endif
