// PNG loader: every colour type and depth, Adam7 interlace, palette
// transparency and colour keys. Image data is inflated through ClassEMemory.
#ifndef ZARN_LOADERS_ELDR_PNG_H
#define ZARN_LOADERS_ELDR_PNG_H

#include "loaders/eldr_base.h"

class EPngInflater;

// What the chunk walk found; read by the decoding steps.
struct ELDR_PNGHEADER {
  uint32_t firstchunk;   // file offset of the first IDAT chunk (its length field)
  uint32_t width;
  uint32_t height;
  uint32_t chunks;       // IDAT chunks seen
  uint32_t datalength;   // sum of their lengths
  uint32_t colorkey;     // 0x00BBGGRR of the tRNS key; 0xFF000000 matches nothing
  uint8_t depth;
  uint8_t compression;
  uint8_t filter;
  uint8_t interlace;
  uint8_t colour;
  uint8_t alpha;
  uint8_t palette;
  uint8_t haveheader;    // an IHDR chunk has been taken
  uint8_t haskey;        // a tRNS chunk gave a grey or colour key
  uint16_t keysamples[3];  // the key as stored: grey, or red, green, blue
  uint32_t palettewords[256];
};

// One decode's target, callback record and header.
template <class Target>
using PngDecode = ELDR_DECODE<Target, ELDR_PNGHEADER>;

extern const uint8_t epng_ldr_c1bit[2];
extern const uint8_t epng_ldr_c2bit[4];
extern const uint8_t epng_ldr_c4bit[16];

// 1 + the bytes of a row of width pixels.
uint32_t ELoader_PNG_Linesize(uint32_t width, uint8_t depth, bool palette, bool colour, bool alpha);

class ELoader_PNG : public ClassELoaderBase {
 public:
  using ClassELoaderBase::Start;
  int Start(E2DSurfaceBase* surface, void* data, uint32_t length, uint8_t renderformat,
            uint32_t flags) override;
  int DecodeImage(E2DSurfaceBase* surface, ELDR_2DCALLBACKINFO* info, void* header);
  // The same decode into any receiver.
  int Decode(ELDR_2DRECEIVER* target, void* data, uint32_t length, uint8_t renderformat, uint32_t flags);
  static void RevertBytes(uint8_t* lines, uint32_t size, uint32_t rowbytes, uint32_t rows, uint8_t unit);
  static void Rasterize(uint8_t* dst, const uint8_t* lines, uint32_t width, uint32_t rows,
                        uint32_t rowbytes, const void* header, uint32_t firstrow);

 private:
  template <class Target>
  int Run(Target* surface, void* data, uint32_t length, uint8_t renderformat, uint32_t flags);
  template <class Target>
  int DecodeImageT(const PngDecode<Target>& d);

  // The chunk walk: one step per chunk kind.
  template <class Target>
  int TakeChunk(const PngDecode<Target>& d, uint32_t type, uint32_t start, uint32_t len, uint32_t n);
  template <class Target>
  int TakeHeader(const PngDecode<Target>& d);
  template <class Target>
  int TakePalette(const PngDecode<Target>& d, uint32_t len, uint32_t n);
  template <class Target>
  int TakeTransparency(const PngDecode<Target>& d, uint32_t n);
  template <class Target>
  void SendPalette(const PngDecode<Target>& d, uint32_t bytes);
  void ReadColourKey(ELDR_PNGHEADER& h);

  // The image data: gathered, then inflated as the rows need it, unfiltered and
  // handed over by rows.
  const uint8_t* GatherData(const ELDR_PNGHEADER& h, ELoaderWork& work, uint8_t** gathered);
  template <class Target>
  int StreamRows(const PngDecode<Target>& d, ELoaderWork& work, EPngInflater& in);
  template <class Target>
  int StreamInterlaced(const PngDecode<Target>& d, ELoaderWork& work, EPngInflater& in);
};

#endif
