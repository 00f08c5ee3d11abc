// A receiver for the loader fuzz targets: it takes what a surface would and
// aborts when a loader breaks the callback protocol (a pixel call outside the
// created picture, a second create, a palette call past its entries).
#ifndef ZARN_FUZZ_FUZZ_RECEIVER_H
#define ZARN_FUZZ_FUZZ_RECEIVER_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "loaders/eldr_base.h"

struct FuzzReceiver : ELDR_2DRECEIVER {
  int creates = 0;
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;  // 4 bytes a pixel whatever the kind
  uint32_t palette[256];

  int LdrOnCreate(ELDR_2DCALLBACKINFO* i) override {
    if (++creates > 1) std::abort();
    width = i->width;
    height = i->height;
    // A surface this large would be refused; so is it here.
    if (static_cast<uint64_t>(width) * height > (1u << 22)) return 2;
    pixels.assign(static_cast<size_t>(width) * height * 4, 0);
    return 0;
  }
  int LdrOnPaletteStream(ELDR_2DCALLBACKINFO* i) override {
    if (!creates) std::abort();
    if (i->paletteindex > 255) return 10;
    uint32_t n = i->bytecount / 4;
    if (n > 256 - i->paletteindex) n = 256 - i->paletteindex;
    std::memcpy(palette + i->paletteindex, i->data, 4 * n);
    i->paletteindex += n;
    return 0;
  }
  int LdrOnPixelStream(ELDR_2DCALLBACKINFO* i) override {
    if (!creates || pixels.empty()) std::abort();
    const uint32_t n = i->indexed ? i->bytecount : i->bytecount / 4;
    const int64_t at = i->pixelindex;
    if (at < 0 || at + n > static_cast<int64_t>(width) * height) std::abort();
    const uint8_t* d = static_cast<const uint8_t*>(i->data);
    if (i->indexed)
      for (uint32_t k = 0; k < n; k++) pixels[4 * (at + k)] = d[k];
    else
      std::memcpy(&pixels[4 * at], d, 4 * n);
    i->pixelindex += static_cast<int32_t>(n);
    return 0;
  }
};

#endif
