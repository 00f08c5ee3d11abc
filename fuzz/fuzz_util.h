// Shared pieces of the fuzz targets: receivers that take decoded pictures and
// models the way surfaces do, but bounded and checked.
#ifndef ZARN_FUZZ_FUZZ_UTIL_H
#define ZARN_FUZZ_FUZZ_UTIL_H

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "loaders/eldr_base.h"

namespace zf {

// Stops the run the way a sanitizer report would: a decoder handed over pixels
// outside the picture it announced.
[[noreturn]] inline void Fault() { std::abort(); }

// Takes a picture of at most 4 M pixels (as a surface with a size limit would)
// and checks that every palette and pixel call stays inside it.
class Image : public ELDR_2DRECEIVER {
 public:
  int LdrOnCreate(ELDR_2DCALLBACKINFO* i) override {
    if (i->width == 0 || i->height == 0) return 1;
    if (static_cast<uint64_t>(i->width) * i->height > (1u << 22)) return 2;
    pixels_.assign(static_cast<size_t>(i->width) * i->height, 0);
    return 0;
  }
  int LdrOnPaletteStream(ELDR_2DCALLBACKINFO* i) override {
    const uint32_t n = i->bytecount / 4;
    if (i->paletteindex > 256 || n > 256 - i->paletteindex) Fault();
    const uint8_t* d = static_cast<const uint8_t*>(i->data);
    for (uint32_t k = 0; k < i->bytecount; k++) sink_ += d[k];
    i->paletteindex += n;
    return 0;
  }
  int LdrOnPixelStream(ELDR_2DCALLBACKINFO* i) override {
    const uint32_t n = i->indexed ? i->bytecount : i->bytecount / 4;
    const int64_t at = i->pixelindex;
    if (at < 0 || at + n > static_cast<int64_t>(pixels_.size())) Fault();
    const uint8_t* d = static_cast<const uint8_t*>(i->data);
    for (uint32_t k = 0; k < i->bytecount; k++) sink_ += d[k];  // every byte readable
    i->pixelindex += static_cast<int32_t>(n);
    return 0;
  }
  uint32_t sink_ = 0;

 private:
  std::vector<uint32_t> pixels_;
};

// Takes a model's records and checks the counts it announced.
struct Model {
  uint32_t vertices = 0, polygons = 0, sink = 0;
  uint32_t vseen = 0, pseen = 0;
  void Touch(const ELDR_3DCALLBACKINFO* i) {
    const uint8_t* d = static_cast<const uint8_t*>(i->data);
    for (uint32_t k = 0; k < i->bytecount; k++) sink += d[k];
  }
  int LdrOnCreate(ELDR_3DCALLBACKINFO* i) {
    vertices = i->vertextotal;
    polygons = i->polygontotal;
    return 0;
  }
  int LdrOnVertexStream(ELDR_3DCALLBACKINFO* i) {
    Touch(i);
    vseen += i->bytecount / 12;
    if (vseen > vertices) Fault();
    return 0;
  }
  int LdrOnPolygonStream(ELDR_3DCALLBACKINFO* i) {
    Touch(i);
    pseen += i->bytecount / 16;
    if (pseen > polygons) Fault();
    return 0;
  }
  int LdrOnTexelStream(ELDR_3DCALLBACKINFO* i) {
    Touch(i);
    return 0;
  }
};

}  // namespace zf

#endif
