// TGA loader: uncompressed colour-mapped (8-bit indices), true-colour (16, 24,
// 32 bits) and grey (8 bits) images. The format has no magic number, so the
// header is only taken when its fields fit one of those kinds.
#ifndef ZARN_LOADERS_ELDR_TGA_H
#define ZARN_LOADERS_ELDR_TGA_H

#include "loaders/eldr_base.h"

struct ELDR_TGAHEADER {
  uint8_t idlength;
  uint8_t maptype;
  uint8_t imagetype;
  uint16_t mapfirst;
  uint16_t maplength;
  uint8_t mapentrysize;
  uint16_t xorigin;
  uint16_t yorigin;
  uint16_t width;
  uint16_t height;
  uint8_t depth;
  uint8_t descriptor;
};

class ELoader_TGA : public ClassELoaderBase {
 public:
  using ClassELoaderBase::Start;
  int Start(E2DSurfaceBase* surface, void* data, uint32_t length, uint8_t renderformat,
            uint32_t flags) override;
  // The same decode into any receiver.
  int Decode(ELDR_2DRECEIVER* target, void* data, uint32_t length, uint8_t renderformat, uint32_t flags);

 private:
  template <class Target>
  int Run(Target* target, void* data, uint32_t length, uint8_t renderformat, uint32_t flags);
  bool ReadHeader(ELDR_TGAHEADER& h);
  template <class Target>
  uint32_t SendColourMap(Target* target, ELDR_2DCALLBACKINFO* info, const ELDR_TGAHEADER& h, uint32_t pos);
  template <class Target>
  int SendRows(Target* target, ELDR_2DCALLBACKINFO* info, const ELDR_TGAHEADER& h, uint32_t pos);
};

#endif
