// A small PNG writer for frame dumps: 8-bit RGB, no filtering, zlib from the system.
#include <zlib.h>

#include <cstdio>
#include <vector>

#include "standin/backend.h"

namespace standin {

namespace {

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  out->push_back(uint8_t(v >> 24));
  out->push_back(uint8_t(v >> 16));
  out->push_back(uint8_t(v >> 8));
  out->push_back(uint8_t(v));
}

void Chunk(std::vector<uint8_t>* out, const char* type, const std::vector<uint8_t>& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  size_t start = out->size();
  out->insert(out->end(), type, type + 4);
  out->insert(out->end(), data.begin(), data.end());
  uLong crc = crc32(0, out->data() + start, static_cast<uInt>(out->size() - start));
  Put32(out, static_cast<uint32_t>(crc));
}

}  // namespace

bool WritePng(const std::string& path, const uint8_t* pixels, uint32_t width, uint32_t height,
              uint32_t pitch, const FbScreenInfo& format) {
  if (!pixels || width == 0 || height == 0) return false;
  std::vector<uint8_t> rgb;
  FrameToRgb(pixels, width, height, pitch, format, &rgb);
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
  for (uint32_t y = 0; y < height; y++) {
    raw.push_back(0);
    const uint8_t* row = rgb.data() + static_cast<size_t>(y) * width * 3;
    raw.insert(raw.end(), row, row + width * 3);
  }
  uLongf zlen = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> z(zlen);
  if (compress2(z.data(), &zlen, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK) return false;
  z.resize(zlen);
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> ihdr;
  Put32(&ihdr, width);
  Put32(&ihdr, height);
  ihdr.push_back(8);  // depth
  ihdr.push_back(2);  // RGB
  ihdr.push_back(0);
  ihdr.push_back(0);
  ihdr.push_back(0);
  Chunk(&png, "IHDR", ihdr);
  Chunk(&png, "IDAT", z);
  Chunk(&png, "IEND", {});
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace standin
