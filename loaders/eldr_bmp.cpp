#include "loaders/eldr_bmp.h"

#include <cstring>

#include "display/esurf_2d.h"
#include "display/esurf_2dbase.h"
#include "framework/emod_bytes.h"
#include "framework/emod_file.h"
#include "framework/emod_memory.h"

ELoader_BMP::ELoader_BMP() { std::memset(&header_, 0, sizeof header_); }

int ELoader_BMP::ReadHeader(uint32_t* stride, uint32_t* outrow) {
  ELDR_BMPHEADER& h = header_;
  std::memset(&h, 0, sizeof h);
  Read8(&h.magic[0]);
  Read8(&h.magic[1]);
  Read32(&h.filesize);
  Read32(&h.reserved);
  Read32(&h.dataoffset);
  Read32(&h.infosize);
  Read32(&h.width);
  Read32(&h.height);
  Read16(&h.planes);
  Read16(&h.bpp);
  Read32(&h.compression);
  Read32(&h.imagesize);
  Read32(&h.xppm);
  Read32(&h.yppm);
  Read32(&h.colorsused);
  Read32(&h.colorsimportant);
  if (h.magic[0] != 'B' || h.magic[1] != 'M' || h.planes != 1 || h.compression != 0)
    return ERES_NOTTHISFORMAT;
  if (h.bpp != 1 && h.bpp != 4 && h.bpp != 8 && h.bpp != 24) return ERES_NOTTHISFORMAT;
  // Row sizes are worked out wide: a width that does not fit 32-bit rows is bad data.
  const uint64_t s = (static_cast<uint64_t>(h.bpp) * h.width + 31) / 32 * 4;
  const uint64_t o = h.bpp == 24 ? 4ull * h.width : h.width;
  if (s == 0 || o == 0) return ERES_BAD;
  if (s > 0xFFFFFFFFull || o > 0xFFFFFFFFull) return ERES_BAD;
  *stride = static_cast<uint32_t>(s);
  *outrow = static_cast<uint32_t>(o);
  return ERES_OK;
}

void ELoader_BMP::ConvertRow(const uint8_t* raw, uint8_t* out) const {
  const uint32_t w = header_.width;
  switch (header_.bpp) {
    case 1:
      for (uint32_t x = 0; x < w; x++) out[x] = (raw[x >> 3] >> (7 - (x & 7))) & 1;
      break;
    case 4:
      for (uint32_t x = 0; x < w; x++) out[x] = (x & 1) ? (raw[x >> 1] & 0xF) : (raw[x >> 1] >> 4);
      break;
    case 24:
      for (uint32_t x = 0; x < w; x++, raw += 3, out += 4) {
        const uint32_t c = 0xFF000000u | static_cast<uint32_t>(raw[0]) << 16 |
                           static_cast<uint32_t>(raw[1]) << 8 | raw[2];
        std::memcpy(out, &c, 4);
      }
      break;
    default:
      break;  // 8 bits: the raw row is delivered as it is
  }
}

template <class Target>
int ELoader_BMP::Run(Target* target, void* data, uint32_t length, uint8_t renderformat,
                        uint32_t flags) {
  LinkData(data, length);
  ELDR_2DCALLBACKINFO info = NewInfo(renderformat, flags);
  uint32_t stride = 0, outrow = 0;
  int r = ReadHeader(&stride, &outrow);
  if (r) return r;
  const uint32_t w = header_.width, h = header_.height;
  info.indexed = header_.bpp == 24 ? 0 : 1;

  // The surface sees the size first: one it cannot hold is refused before
  // row buffers of that size are asked for.
  info.width = w;
  info.height = h;
  r = target->LdrOnCreate(&info);
  if (r) return r;
  // The pixel index is signed 32-bit: a picture with more pixels cannot be addressed.
  if (static_cast<uint64_t>(w) * h > 0x7FFFFFFFull) return ERES_BAD;
  ELoaderWork work;
  uint8_t* raw = work.Take(stride);
  uint8_t* out = work.Take(outrow);
  if (!raw || !out) return ERES_NOMEMORY;
  // A row cut short by the end of the file keeps defined bytes.
  std::memset(raw, 0, stride);
  std::memset(out, 0, outrow);

  if (info.indexed) {
    const uint32_t n = header_.bpp == 1 ? 2 : header_.bpp == 4 ? 16 : 256;
    uint8_t pal[1024];
    uint32_t words[256];
    std::memset(pal, 0, sizeof pal);
    SeekSet(54);
    ReadStream(pal, 4 * n);
    for (uint32_t i = 0; i < n; i++)
      words[i] = 0xFF000000u | static_cast<uint32_t>(pal[4 * i]) << 16 |
                 static_cast<uint32_t>(pal[4 * i + 1]) << 8 | pal[4 * i + 2];
    info.data = words;
    info.bytecount = 4 * n;
    target->LdrOnPaletteStream(&info);
  }

  info.data = header_.bpp == 8 ? raw : out;
  info.bytecount = outrow;
  for (uint32_t i = 0; i < h; i++) {
    const uint64_t at = header_.dataoffset + static_cast<uint64_t>(stride) * i;
    SeekSet(at < Size() ? static_cast<uint32_t>(at) : Size());
    info.pixelindex = static_cast<int32_t>(w * (h - i - 1));
    ReadStream(raw, stride);
    ConvertRow(raw, out);
    r = target->LdrOnPixelStream(&info);
    if (r) break;
  }
  return r;
}

int ELoader_BMP::Start(E2DSurfaceBase* surface, void* data, uint32_t length, uint8_t renderformat,
                       uint32_t flags) {
  if (!surface) return ERES_NOTTHISFORMAT;
  return Run(surface, data, length, renderformat, flags);
}

int ELoader_BMP::Decode(ELDR_2DRECEIVER* target, void* data, uint32_t length, uint8_t renderformat,
                        uint32_t flags) {
  if (!target) return ERES_NOTTHISFORMAT;
  return Run(target, data, length, renderformat, flags);
}

void ELoader_BMP::BuildHeader(uint8_t out[54], uint32_t width, uint32_t height) {
  ELDR_BMPHEADER& h = header_;
  const uint32_t rowbytes = (3 * width + 3) / 4 * 4;
  h.magic[0] = 'B';
  h.magic[1] = 'M';
  h.imagesize = rowbytes * height;
  h.filesize = h.imagesize + 54;
  h.reserved = 0;
  h.dataoffset = 54;
  h.infosize = 40;
  h.width = width;
  h.height = height;
  h.planes = 1;
  h.bpp = 24;
  h.compression = 0;
  h.xppm = h.yppm = 2834;
  h.colorsused = h.colorsimportant = 0;
  out[0] = 'B';
  out[1] = 'M';
  EBytes_Put32(out + 2, h.filesize);
  EBytes_Put32(out + 6, 0);
  EBytes_Put32(out + 10, 54);
  EBytes_Put32(out + 14, 40);
  EBytes_Put32(out + 18, width);
  EBytes_Put32(out + 22, height);
  EBytes_Put16(out + 26, 1);
  EBytes_Put16(out + 28, 24);
  EBytes_Put32(out + 30, 0);
  EBytes_Put32(out + 34, h.imagesize);
  EBytes_Put32(out + 38, 2834);
  EBytes_Put32(out + 42, 2834);
  EBytes_Put32(out + 46, 0);
  EBytes_Put32(out + 50, 0);
}

void ELoader_BMP::WriteHeader(ClassEFile* file, uint32_t width, uint32_t height) {
  uint8_t buf[54];
  BuildHeader(buf, width, height);
  if (file) file->Write(buf, 54);
}

void ELoader_BMP::WritePixelData(ClassEFile* file, E2DSurface* surface, const tagRECT* rect) {
  if (!file || !surface || !rect) return;
  const uint32_t w = header_.width, h = header_.height;
  if (rect->right <= rect->left || rect->bottom <= rect->top || w == 0 || h == 0) return;
  const uint64_t stride64 = (3ull * w + 3) / 4 * 4;
  if (stride64 * h > 0x7FFFFFFFull) return;
  const uint32_t stride = static_cast<uint32_t>(stride64);
  ELoaderWork work;
  uint8_t* block = work.Take(stride * h);
  if (!block) return;
  std::memset(block, 0, stride * h);
  for (uint32_t i = 0; i < h; i++) {
    uint8_t* row = block + static_cast<size_t>(stride) * i;
    const int32_t y = rect->bottom - 1 - static_cast<int32_t>(i);
    for (uint32_t x = 0; x < w; x++) {
      const uint32_t c = surface->GetPixel(rect->left + static_cast<int32_t>(x), y);
      row[3 * x] = static_cast<uint8_t>(c >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(c);
    }
  }
  file->Write(block, stride * h);
}

// E2DSurface::WriteBmp lives here, with the writer it drives, so that the display
// does not depend on the loaders above it.
namespace {

void WriteRect(E2DSurface* s, ClassEFile& file, bool created, const tagRECT* rect) {
  if (!created) return;
  ELoader_BMP writer;
  writer.WriteHeader(&file, static_cast<uint32_t>(rect->right - rect->left),
                     static_cast<uint32_t>(rect->bottom - rect->top));
  writer.WritePixelData(&file, s, rect);
  file.Close();
}

// The rectangle to write (null: the whole surface); false when nothing is to be written.
bool Prepare(const E2DSurface* s, const tagRECT* rect, tagRECT* out) {
  if (!s->IsCreated() || !s->GetBuffer()) return false;
  if (rect)
    *out = *rect;
  else
    *out = {0, 0, static_cast<int32_t>(s->GetWidth()), static_cast<int32_t>(s->GetHeight())};
  // An empty or inverted rectangle would make a header of a huge picture.
  return out->right > out->left && out->bottom > out->top;
}

}  // namespace

void E2DSurface::WriteBmp(const uint16_t* name, const tagRECT* rect) {
  tagRECT r;
  if (!name || !Prepare(this, rect, &r)) return;
  ClassEFile file;
  WriteRect(this, file, file.New(name), &r);
}

void E2DSurface::WriteBmp(const char* name, const tagRECT* rect) {
  tagRECT r;
  if (!name || !Prepare(this, rect, &r)) return;
  ClassEFile file;
  WriteRect(this, file, file.New(name), &r);
}
