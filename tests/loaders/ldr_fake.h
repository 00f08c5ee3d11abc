// A receiver that records what a 2D decoder hands over, and reference decodes
// made by Pillow.
#ifndef ZARN_TESTS_LOADERS_LDR_FAKE_H
#define ZARN_TESTS_LOADERS_LDR_FAKE_H

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "loaders/eldr_base.h"
#include "tests/loaders/ldr_util.h"

namespace ldr {

struct FakeImage : ELDR_2DRECEIVER {
  int creates = 0, palettes = 0, rows = 0;
  uint32_t width = 0, height = 0;
  uint8_t indexed = 0, transparency = 0;
  uint32_t palette[256];
  std::vector<uint32_t> pixels;  // indices or 0xAABBGGRR words
  std::vector<uint32_t> paletteCounts, paletteStarts;
  std::vector<int32_t> rowStarts;
  int refuseCreate = 0, refusePixelAt = -1, refuseCode = 9;
  uint64_t maxPixels = 1u << 24;  // as a surface with a size limit would refuse
  bool acceptAll = false;         // take any size and store nothing
  bool overrun = false;           // a call reached outside the image

  FakeImage() { std::memset(palette, 0, sizeof palette); }

  int LdrOnCreate(ELDR_2DCALLBACKINFO* i) override {
    creates++;
    width = i->width;
    height = i->height;
    indexed = i->indexed;
    if (refuseCreate) return refuseCreate;
    if (acceptAll) return 0;
    if (static_cast<uint64_t>(width) * height > maxPixels) return 2;
    pixels.assign(static_cast<size_t>(width) * height, 0xDEADBEEF);
    return 0;
  }
  int LdrOnPaletteStream(ELDR_2DCALLBACKINFO* i) override {
    palettes++;
    paletteCounts.push_back(i->bytecount / 4);
    paletteStarts.push_back(i->paletteindex);
    if (i->paletteindex > 255) return 10;
    uint32_t n = i->bytecount / 4;
    if (n > 256 - i->paletteindex) n = 256 - i->paletteindex;
    std::memcpy(palette + i->paletteindex, i->data, 4 * n);
    i->paletteindex += n;
    return 0;
  }
  int LdrOnPixelStream(ELDR_2DCALLBACKINFO* i) override {
    transparency = i->transparency;
    rowStarts.push_back(i->pixelindex);
    const uint32_t n = i->indexed ? i->bytecount : i->bytecount / 4;
    const uint8_t* d = static_cast<const uint8_t*>(i->data);
    for (uint32_t k = 0; k < n; k++) {
      const int64_t at = static_cast<int64_t>(i->pixelindex) + k;
      if (at < 0 || at >= static_cast<int64_t>(pixels.size())) {
        overrun = true;
        continue;
      }
      uint32_t v;
      if (i->indexed)
        v = d[k];
      else
        std::memcpy(&v, d + 4 * k, 4);
      pixels[static_cast<size_t>(at)] = v;
    }
    i->pixelindex += static_cast<int32_t>(n);
    const int r = (rows == refusePixelAt) ? refuseCode : 0;
    rows++;
    return r;
  }
  // The picture as 0xAABBGGRR words, indices resolved through the palette.
  std::vector<uint32_t> Colours() const {
    if (!indexed) return pixels;
    std::vector<uint32_t> out;
    for (uint32_t p : pixels) out.push_back(p < 256 ? palette[p] : 0);
    return out;
  }
};

// Pixels of the delivered rows (each rowLength long from its start) that differ
// from the whole picture's: for a file cut short, the rows it still delivers.
inline size_t RowsDiffering(const std::vector<uint32_t>& got, const std::vector<int32_t>& rowStarts,
                            uint32_t rowLength, const std::vector<uint32_t>& want) {
  size_t differ = 0;
  for (int32_t start : rowStarts)
    for (uint32_t k = 0; k < rowLength; k++) {
      const size_t at = static_cast<size_t>(start) + k;
      differ += at >= got.size() || at >= want.size() || got[at] != want[at];
    }
  return differ;
}

// Pillow's decode of a file: width, height and RGBA bytes as 0xAABBGGRR words.
// mode "RGBA" by default; "P" gives the palette indices.
inline bool PillowDecode(const std::string& file, std::vector<uint32_t>* out, uint32_t* w, uint32_t* h,
                         const std::string& mode = "RGBA") {
  const std::string raw = file + "." + mode + ".raw";
  const std::string cmd = std::string(zt::kPython) +
                          " -c \"import sys; from PIL import Image; im=Image.open(sys.argv[1]); im.load(); "
                          "c=im if sys.argv[3]=='P' else im.convert(sys.argv[3]); "
                          "open(sys.argv[2],'wb').write(b'%d %d\\n' % im.size + c.tobytes())\" '" +
                          file + "' '" + raw + "' " + mode + " 2>/dev/null";
  if (zt::Run(cmd) != 0) return false;
  std::vector<uint8_t> d = zt::ReadFile(raw);
  auto nl = std::find(d.begin(), d.end(), '\n');
  if (nl == d.end()) return false;
  if (std::sscanf(std::string(d.begin(), nl).c_str(), "%u %u", w, h) != 2) return false;
  const size_t start = static_cast<size_t>(nl - d.begin()) + 1;
  out->clear();
  if (mode == "P") {
    for (size_t i = start; i < d.size(); i++) out->push_back(d[i]);
  } else {
    for (size_t i = start; i + 3 < d.size(); i += 4)
      out->push_back(d[i] | d[i + 1] << 8 | d[i + 2] << 16 | static_cast<uint32_t>(d[i + 3]) << 24);
  }
  return out->size() == static_cast<size_t>(*w) * *h;
}

// A reference decode written by the corpus scripts: "w h\n" then RGBA bytes.
inline bool ReadReference(const std::string& path, std::vector<uint32_t>* px, uint32_t* w, uint32_t* h) {
  std::vector<uint8_t> d = zt::ReadFile(path);
  auto nl = std::find(d.begin(), d.end(), '\n');
  if (nl == d.end() || std::sscanf(std::string(d.begin(), nl).c_str(), "%u %u", w, h) != 2) return false;
  px->clear();
  for (size_t i = static_cast<size_t>(nl - d.begin()) + 1; i + 3 < d.size(); i += 4)
    px->push_back(d[i] | d[i + 1] << 8 | d[i + 2] << 16 | static_cast<uint32_t>(d[i + 3]) << 24);
  return px->size() == static_cast<size_t>(*w) * *h;
}

// A file whose pixel data ends before its last row (made from the file whose
// reference decode is referencePath): a failure after the surface was made, and
// the rows delivered before the cut are the whole file's. Some loaders deliver
// at least one row of the files the corpora cut (atLeast).
inline void ExpectCutFile(const FakeImage& img, int result, const std::string& referencePath, int atLeast) {
  std::vector<uint32_t> want;
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(ReadReference(referencePath, &want, &w, &h));
  EXPECT_EQ(result, 1);
  EXPECT_EQ(img.creates, 1);
  EXPECT_LT(img.rows, static_cast<int>(h));
  EXPECT_GE(img.rows, atLeast);
  EXPECT_EQ(RowsDiffering(img.Colours(), img.rowStarts, w, want), 0u);
}

// Runs a 2D decoder over the mutants of a file: each one decodes or fails with a
// loader's own code (0 to 3), never reaches outside the image and asks for one
// surface at most. decode(FakeImage&, bytes) returns the loader's result.
template <class Decode>
void ExpectMutantsFailCleanly(const std::string& name, const std::vector<uint8_t>& file, Lcg& rng,
                              const Mutations& plan, Decode decode) {
  ForEachMutant(file, rng, plan, [&](const std::vector<uint8_t>& m, int round) {
    FakeImage img;
    img.maxPixels = 1u << 16;
    const int r = decode(img, m);
    EXPECT_TRUE(r >= ERES_OK && r <= ERES_NOTTHISFORMAT)
        << name << " round " << round << " gave " << r;
    EXPECT_FALSE(img.overrun) << name << " round " << round;
    EXPECT_LE(img.creates, 1) << name << " round " << round;
  });
}

}  // namespace ldr

#endif
