// Shared pieces of the fuzz targets: receivers that take decoded pictures and
// models the way surfaces do, but bounded and checked.
#ifndef ZARN_FUZZ_FUZZ_UTIL_H
#define ZARN_FUZZ_FUZZ_UTIL_H

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "loaders/eldr_base.h"

namespace zf {

// Stops the run the way a sanitizer report would: a decoder handed over pixels
// outside the picture it announced.
[[noreturn]] inline void Fault() { std::abort(); }

// Takes a picture the way a surface does, without a size limit of its own: a
// loader must refuse a picture past the size bound before it asks for the
// surface. The picture's memory is taken in the render format's size and left
// untouched, so libFuzzer's malloc limit sees what a surface would cost. Every
// palette and pixel call must stay inside the picture.
class Image : public ELDR_2DRECEIVER {
 public:
  int LdrOnCreate(ELDR_2DCALLBACKINFO* i) override {
    if (i->width == 0 || i->height == 0) return 1;
    if (!ELoader_SizeAllowed(i->width, i->height, i->renderformat, i->flags)) Fault();
    static const uint8_t kBytes[7] = {4, 1, 2, 2, 2, 3, 4};
    pixels_ = static_cast<uint64_t>(i->width) * i->height;
    surface_.reset(new (std::nothrow) uint8_t[pixels_ * kBytes[i->renderformat < 7 ? i->renderformat : 0]]);
    return surface_ ? 0 : 2;
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
    if (at < 0 || static_cast<uint64_t>(at) + n > pixels_) Fault();
    const uint8_t* d = static_cast<const uint8_t*>(i->data);
    for (uint32_t k = 0; k < i->bytecount; k++) sink_ += d[k];  // every byte readable
    i->pixelindex += static_cast<int32_t>(n);
    return 0;
  }
  uint32_t sink_ = 0;

 private:
  uint64_t pixels_ = 0;
  std::unique_ptr<uint8_t[]> surface_;
};

// The render format an input's last byte chooses: one of the six (the first
// bytes are the format's magic).
inline uint8_t Format(const uint8_t* data, size_t size) {
  return static_cast<uint8_t>(1 + (size ? data[size - 1] % 6 : 0));
}

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
