// Kernels that draw an E2DSurfaceRGBA block onto a surface of its target format,
// blending each pixel by its own alpha, and the memory blit of the pixel shaders.
//
// Source words: the colour in the destination's native format in the low bits and
// an 8-bit value on top: the alpha (0 invisible, 255 opaque), or, for premultiplied
// surfaces (the Plus kernels), the weight the destination keeps (0 opaque, 255
// invisible) over a colour already multiplied by the opacity.
//
// (x, y) is the physical destination of column rect->left of row firstRow; rows
// firstRow to rect->bottom - 1 are drawn. Pitches are in pixels. format is the
// destination's, 1 to 6. The Generic kernels add the blit flags, the opacity
// (0-255, read with op) and the native colour of cf and tn (halved by the caller
// for tn alone). Kernels trust their callers: no clipping, no allocation.
#ifndef ZARN_DISPLAY_ERDR_RGBA_H
#define ZARN_DISPLAY_ERDR_RGBA_H

#include <cstdint>

#include "framework/zarn_types.h"

void ExBltRGBA(int32_t x, int32_t y, int32_t firstRow, const tagRECT* rect, uint8_t* dst,
               const uint32_t* src, uint32_t dstPitch, uint32_t srcPitch, uint8_t format);
void ExBltRGBAPlus(int32_t x, int32_t y, int32_t firstRow, const tagRECT* rect, uint8_t* dst,
                   const uint32_t* src, uint32_t dstPitch, uint32_t srcPitch, uint8_t format);
void ExBltRGBAGeneric(int32_t x, int32_t y, int32_t firstRow, const tagRECT* rect, uint8_t* dst,
                      const uint32_t* src, uint32_t dstPitch, uint32_t srcPitch, uint8_t format,
                      int32_t flags, uint32_t opacity, uint32_t colour);
void ExBltRGBAGenericPlus(int32_t x, int32_t y, int32_t firstRow, const tagRECT* rect, uint8_t* dst,
                          const uint32_t* src, uint32_t dstPitch, uint32_t srcPitch, uint8_t format,
                          int32_t flags, uint32_t opacity, uint32_t colour);

#endif
