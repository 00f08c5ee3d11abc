// Windows bitmap loader (uncompressed 1, 4, 8 and 24 bits per pixel, and 16 and
// 32 bits with colour masks) and the 24-bit bitmap writer behind E2DSurface::WriteBmp.
#ifndef ZARN_LOADERS_ELDR_BMP_H
#define ZARN_LOADERS_ELDR_BMP_H

#include "framework/zarn_types.h"
#include "loaders/eldr_base.h"

class E2DSurface;
class ClassEFile;

// The header values of a bitmap, as read or as last written.
struct ELDR_BMPHEADER {
  uint8_t magic[2];
  uint32_t filesize;
  uint32_t reserved;
  uint32_t dataoffset;
  uint32_t infosize;
  uint32_t width;
  uint32_t height;
  uint16_t planes;
  uint16_t bpp;
  uint32_t compression;
  uint32_t imagesize;
  uint32_t xppm;
  uint32_t yppm;
  uint32_t colorsused;
  uint32_t colorsimportant;
};

// The colour masks of a bit-field bitmap turned into a shift, a mask of at most
// eight bits and a table to 0..255 per channel (red, green, blue, alpha).
struct ELDR_BMPMASKS {
  uint8_t shift[4];
  uint32_t mask[4];
  uint8_t scale[4][256];
};

class ELoader_BMP : public ClassELoaderBase {
 public:
  ELoader_BMP();
  using ClassELoaderBase::Start;
  int Start(E2DSurfaceBase* surface, void* data, uint32_t length, uint8_t renderformat,
            uint32_t flags) override;
  // The same decode into any receiver.
  int Decode(ELDR_2DRECEIVER* target, void* data, uint32_t length, uint8_t renderformat, uint32_t flags);

  void WriteHeader(ClassEFile* file, uint32_t width, uint32_t height);
  void WritePixelData(ClassEFile* file, E2DSurface* surface, const tagRECT* rect);
  // The 54 header bytes of a 24-bit picture of that size; keeps the values.
  void BuildHeader(uint8_t out[54], uint32_t width, uint32_t height);

 private:
  template <class Target>
  int Run(Target* target, void* data, uint32_t length, uint8_t renderformat, uint32_t flags);
  // Reads and checks the header; 0 when the rows can be decoded.
  int ReadHeader(uint32_t* stride, uint32_t* outrow);
  // The masks of a bit-field bitmap; true when one has alpha.
  bool ReadMasks(ELDR_BMPMASKS* masks);
  void ConvertRow(const uint8_t* raw, uint8_t* out) const;
  void ConvertFields(const uint8_t* raw, uint8_t* out, const ELDR_BMPMASKS& masks) const;

  ELDR_BMPHEADER header_;
  uint32_t rows_ = 0;     // the picture's height (a top-down file stores it negated)
  bool topdown_ = false;
};

#endif
