// GIF loader (GIF87a and GIF89a): the first image of the file into an indexed
// surface, with its colour tables, transparent entry, interlace and LZW data.
#ifndef ZARN_LOADERS_ELDR_GIF_H
#define ZARN_LOADERS_ELDR_GIF_H

#include "loaders/eldr_base.h"

struct ELDR_GIFHEADER {
  uint8_t signature[6];
  uint32_t searchpos;      // where the search for the next block resumes
  uint16_t width;          // logical screen
  uint16_t height;
  uint16_t globalcount;    // 0 without a global table
  uint8_t background;
  uint32_t globalwords[256];
};

struct ELDR_GIFIMAGE {
  uint16_t delay;
  uint8_t disposal;
  uint8_t userinput;
  uint8_t transparency;
  uint8_t transparentindex;
  uint8_t controlseen;
  uint32_t datastart;      // the first sub-block's size byte
  uint32_t datalength;     // to the end of the file
  uint16_t left, top, width, height;
  uint16_t localcount;     // 0 without a local table
  uint8_t mincodesize;
  uint8_t interlaced;
  uint32_t buffersize;     // bytes of the image buffer
  uint32_t decoded;        // pixels the data gave
  uint32_t localwords[256];
};

// One decode's target, callback record and logical screen.
template <class Target>
using GifDecode = ELDR_DECODE<Target, ELDR_GIFHEADER>;

class ELoader_GIF : public ClassELoaderBase {
 public:
  ELoader_GIF();
  ~ELoader_GIF() override;
  using ClassELoaderBase::Start;
  int Start(E2DSurfaceBase* surface, void* data, uint32_t length, uint8_t renderformat,
            uint32_t flags) override;
  // The same decode into any receiver.
  int Decode(ELDR_2DRECEIVER* target, void* data, uint32_t length, uint8_t renderformat, uint32_t flags);

  int SearchImageData(ELDR_2DCALLBACKINFO* info, void* header, void* image);
  // The image buffer, taken from work and grown as the data fills it, or null.
  uint8_t* DecodeImage(void* image, ELoaderWork* work);
  // LZW over a chain of sub-blocks; 1 success, 0 failure.
  int UnCompress(void* out, uint32_t capacity, const void* data, uint32_t length, uint8_t mincodesize);

  // Out-of-line forms of the table operations (the decoder works inline).
  void AddUCmpString(uint8_t* out, uint32_t end, uint32_t length, uint16_t clear);
  void GetString(uint8_t* out, uint8_t* dst, uint32_t& length, uint32_t code, uint16_t clear);

 private:
  template <class Target>
  int Run(Target* target, void* data, uint32_t length, uint8_t renderformat, uint32_t flags);
  template <class Target>
  int TakeScreen(const GifDecode<Target>& d);
  template <class Target>
  int TakeImage(const GifDecode<Target>& d, ELDR_GIFIMAGE& im);
  template <class Target>
  int SendRows(const GifDecode<Target>& d, const ELDR_GIFIMAGE& im, uint8_t* buf);
  void FreeTables();
  bool NewTables();

  uint32_t* stroffset_ = nullptr;  // 4096 output offsets
  uint32_t* strlength_ = nullptr;  // 4096 lengths
  uint32_t strcount_ = 0;          // strings added since the last clear code
};

#endif
