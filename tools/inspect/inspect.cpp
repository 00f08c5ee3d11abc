// zarn-inspect: loads pictures and models through the registered loaders, the
// way the program does, and shows what came out.
//
//   zarn-inspect image <file> <format 1-6> <out.png|out.ppm> [flags]
//       decodes into a surface of that pixel format and writes the surface out
//       (format 1 through its palette); prints the result code and the size.
//   zarn-inspect model <file>
//       loads a model and prints its counts, then one line per vertex
//       ("v index x y z", whole units) and per triangle
//       ("t index a b c colour u0 v0 u1 v1 u2 v2").
#include <zlib.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display/edsp_base.h"
#include "display/esurf_2d.h"
#include "display/esurf_3d.h"
#include "framework/emod_math.h"
#include "framework/emod_memory.h"
#include "loaders/eldr_base.h"

namespace {

bool ReadAll(const char* path, std::vector<uint8_t>* out) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
  std::fclose(f);
  return true;
}

void Put32(std::vector<uint8_t>* v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v->push_back(static_cast<uint8_t>(x >> s));
}

void Chunk(std::vector<uint8_t>* png, const char* type, const std::vector<uint8_t>& data) {
  Put32(png, static_cast<uint32_t>(data.size()));
  const size_t at = png->size();
  png->insert(png->end(), type, type + 4);
  png->insert(png->end(), data.begin(), data.end());
  Put32(png, static_cast<uint32_t>(crc32(0, png->data() + at, static_cast<uInt>(data.size() + 4))));
}

// rgb: width * height * 3 bytes, top row first.
bool WriteImage(const std::string& path, const std::vector<uint8_t>& rgb, uint32_t w, uint32_t h) {
  std::vector<uint8_t> out;
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".ppm") == 0) {
    char head[64];
    const int n = std::snprintf(head, sizeof head, "P6\n%u %u\n255\n", w, h);
    out.assign(head, head + n);
    out.insert(out.end(), rgb.begin(), rgb.end());
  } else {
    std::vector<uint8_t> raw;
    for (uint32_t y = 0; y < h; y++) {
      raw.push_back(0);
      raw.insert(raw.end(), rgb.begin() + static_cast<size_t>(y) * w * 3,
                 rgb.begin() + static_cast<size_t>(y + 1) * w * 3);
    }
    uLongf zlen = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> z(zlen);
    if (compress2(z.data(), &zlen, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK) return false;
    z.resize(zlen);
    out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> ihdr;
    Put32(&ihdr, w);
    Put32(&ihdr, h);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    Chunk(&out, "IHDR", ihdr);
    Chunk(&out, "IDAT", z);
    Chunk(&out, "IEND", {});
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  return std::fclose(f) == 0 && ok;
}

struct Framework {
  ClassEMemory mem;
  ClassEMath math;
  ClassEDisplay dsp;
  ECD ecd{};
  Framework() {
    math.Init();
    ecd.mem = &mem;
    ecd.math = &math;
    ecd.dsp = &dsp;
    RegisterDisplayLoaders(&dsp);
  }
};

int Image(const char* file, int format, const std::string& out, uint32_t flags) {
  std::vector<uint8_t> data;
  if (!ReadAll(file, &data)) {
    std::fprintf(stderr, "cannot read %s\n", file);
    return 2;
  }
  Framework fw;
  E2DSurface s;
  s.LinkECD(&fw.ecd);
  const int r = s.LoadImage(data.data(), static_cast<uint32_t>(data.size()), static_cast<uint8_t>(format), flags);
  const uint32_t w = s.GetWidth(), h = s.GetHeight();
  std::printf("result %d\nsize %u %u\nformat %u\n", r, w, h, s.GetFormat());
  if (!s.IsCreated() || !w || !h) return r == 0 ? 1 : r;
  uint32_t palette[256];
  s.GetPalette(palette, 0, 256);
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  for (uint32_t y = 0; y < h; y++)
    for (uint32_t x = 0; x < w; x++) {
      uint32_t c = s.GetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y));
      if (s.GetFormat() == 1) c = palette[c & 0xFF];
      uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<uint8_t>(c);
      p[1] = static_cast<uint8_t>(c >> 8);
      p[2] = static_cast<uint8_t>(c >> 16);
    }
  if (!WriteImage(out, rgb, w, h)) {
    std::fprintf(stderr, "cannot write %s\n", out.c_str());
    return 2;
  }
  return r;
}

int Model(const char* file) {
  std::vector<uint8_t> data;
  if (!ReadAll(file, &data)) {
    std::fprintf(stderr, "cannot read %s\n", file);
    return 2;
  }
  Framework fw;
  E3DSurface m;
  m.LinkECD(&fw.ecd);
  const int r = m.LoadModel(data.data(), static_cast<uint32_t>(data.size()));
  std::printf("result %d\nvertices %u\ntriangles %u\n", r, m.VerticesInUse(), m.PolygonsInUse());
  if (r) return r;
  const EVERTEX3D* v = m.GetVertexArray();
  for (uint32_t i = 0; i < m.GetVertexCapacity(); i++) {
    EVERTEX3D rec;
    std::memset(&rec, 0, sizeof rec);
    m.GetVertex(&rec, i);
    std::printf("v %u %" PRId32 " %" PRId32 " %" PRId32 "\n", i, rec.pos.x / 256, rec.pos.y / 256, rec.pos.z / 256);
  }
  const EPOLYGON3D* p = m.GetPolygonArray();
  for (uint32_t i = 0; i < m.GetPolygonCapacity(); i++) {
    std::printf("t %u %u %u %u %06" PRIX32, i, static_cast<unsigned>(p[i].vertex[0] - v),
                static_cast<unsigned>(p[i].vertex[1] - v), static_cast<unsigned>(p[i].vertex[2] - v), p[i].color);
    for (int k = 0; k < 3; k++) std::printf(" %" PRId32 " %" PRId32, p[i].u[k], p[i].v[k]);
    std::printf("\n");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && std::strcmp(argv[1], "image") == 0) {
    const int format = std::atoi(argv[3]);
    const uint32_t flags = argc >= 6 ? static_cast<uint32_t>(std::strtoul(argv[5], nullptr, 0)) : 1;
    return Image(argv[2], format, argv[4], flags);
  }
  if (argc >= 3 && std::strcmp(argv[1], "model") == 0) return Model(argv[2]);
  std::fprintf(stderr,
               "usage: zarn-inspect image <file> <format 1-6> <out.png|out.ppm> [flags]\n"
               "       zarn-inspect model <file>\n");
  return 64;
}
