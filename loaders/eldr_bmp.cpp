#include "loaders/eldr_bmp.h"

#include <cstring>

#include "display/esurf_2d.h"
#include "display/esurf_2dbase.h"
#include "framework/emod_bytes.h"
#include "framework/emod_file.h"
#include "framework/emod_memory.h"

ELoader_BMP::ELoader_BMP() { std::memset(&header_, 0, sizeof header_); }

namespace {

constexpr uint32_t kBitFields = 3;

// The palette follows the info header, whose size the header gives; sizes
// below the classic 40 bytes are taken as 40.
uint64_t AfterInfo(const ELDR_BMPHEADER& h) { return 14ull + (h.infosize < 40 ? 40u : h.infosize); }

}  // namespace

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
  if (h.magic[0] != 'B' || h.magic[1] != 'M' || h.planes != 1) return ERES_NOTTHISFORMAT;
  const bool plain = h.compression == 0 && (h.bpp == 1 || h.bpp == 4 || h.bpp == 8 || h.bpp == 24);
  const bool fields = h.compression == kBitFields && (h.bpp == 16 || h.bpp == 32);
  if (!plain && !fields) return ERES_NOTTHISFORMAT;
  // A negative height is a picture stored top row first.
  topdown_ = static_cast<int32_t>(h.height) < 0;
  rows_ = topdown_ ? 0u - h.height : h.height;
  // Row sizes are worked out wide: a width that does not fit 32-bit rows is bad data.
  const uint64_t s = (static_cast<uint64_t>(h.bpp) * h.width + 31) / 32 * 4;
  const uint64_t o = h.bpp > 8 ? 4ull * h.width : h.width;
  if (s == 0 || o == 0) return ERES_BAD;
  if (s > 0xFFFFFFFFull || o > 0xFFFFFFFFull) return ERES_BAD;
  *stride = static_cast<uint32_t>(s);
  *outrow = static_cast<uint32_t>(o);
  return ERES_OK;
}

bool ELoader_BMP::ReadMasks(ELDR_BMPMASKS* masks) {
  // Red, green and blue follow a 40-byte header or are its last fields in the
  // larger ones; alpha only in headers of 56 bytes and more.
  uint32_t m[4] = {0, 0, 0, 0};
  SeekSet(54);
  for (int c = 0; c < 3; c++) Read32(&m[c]);
  if (header_.infosize >= 56) Read32(&m[3]);
  for (int c = 0; c < 4; c++) {
    uint32_t shift = 0, bits = 0;
    if (m[c]) {
      while (!((m[c] >> shift) & 1)) shift++;
      while (shift + bits < 32 && (m[c] >> (shift + bits))) bits++;
    }
    // Wider channels keep their top eight bits.
    if (bits > 8) {
      shift += bits - 8;
      bits = 8;
    }
    masks->shift[c] = static_cast<uint8_t>(shift);
    masks->mask[c] = (1u << bits) - 1;
    // A missing channel is 0, a missing alpha opaque.
    const uint32_t top = masks->mask[c];
    for (uint32_t v = 0; v < 256; v++)
      masks->scale[c][v] = static_cast<uint8_t>(top ? (v & top) * 255 / top : (c == 3 ? 255 : 0));
  }
  return m[3] != 0;
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

void ELoader_BMP::ConvertFields(const uint8_t* raw, uint8_t* out, const ELDR_BMPMASKS& m) const {
  const uint32_t w = header_.width, step = header_.bpp / 8;
  for (uint32_t x = 0; x < w; x++, raw += step, out += 4) {
    const uint32_t v = step == 2 ? (raw[0] | static_cast<uint32_t>(raw[1]) << 8)
                                 : (raw[0] | static_cast<uint32_t>(raw[1]) << 8 |
                                    static_cast<uint32_t>(raw[2]) << 16 | static_cast<uint32_t>(raw[3]) << 24);
    const uint32_t c = m.scale[0][(v >> m.shift[0]) & m.mask[0]] |
                       static_cast<uint32_t>(m.scale[1][(v >> m.shift[1]) & m.mask[1]]) << 8 |
                       static_cast<uint32_t>(m.scale[2][(v >> m.shift[2]) & m.mask[2]]) << 16 |
                       static_cast<uint32_t>(m.scale[3][(v >> m.shift[3]) & m.mask[3]]) << 24;
    std::memcpy(out, &c, 4);
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
  const uint32_t w = header_.width, h = rows_;
  info.indexed = header_.bpp <= 8 ? 1 : 0;
  // A picture larger than the bound is refused before anything is made for it.
  if (!ELoader_SizeAllowed(w, h, renderformat, flags)) return ERES_NOMEMORY;
  info.width = w;
  info.height = h;
  r = target->LdrOnCreate(&info);
  if (r) return r;
  ELoaderWork work;
  uint8_t* raw = work.Take(stride);
  uint8_t* out = work.Take(outrow);
  if (!raw || !out) return ERES_NOMEMORY;

  ELDR_BMPMASKS masks;
  const bool fields = header_.compression == kBitFields;
  if (fields && ReadMasks(&masks)) info.transparency = 1;
  if (info.indexed) {
    const uint32_t n = header_.bpp == 1 ? 2 : header_.bpp == 4 ? 16 : 256;
    uint8_t pal[1024];
    uint32_t words[256];
    std::memset(pal, 0, sizeof pal);
    const uint64_t at = AfterInfo(header_);
    SeekSet(at < Size() ? static_cast<uint32_t>(at) : Size());
    ReadStream(pal, 4 * n);
    for (uint32_t i = 0; i < n; i++)
      words[i] = 0xFF000000u | static_cast<uint32_t>(pal[4 * i]) << 16 |
                 static_cast<uint32_t>(pal[4 * i + 1]) << 8 | pal[4 * i + 2];
    info.data = words;
    info.bytecount = 4 * n;
    target->LdrOnPaletteStream(&info);
  }

  // The rows whose pixels the file holds (the padding of the last one may be
  // missing); a file that ends before the last row is not a whole picture,
  // though the rows before the cut stand.
  const uint64_t used = (static_cast<uint64_t>(header_.bpp) * w + 7) / 8;
  const uint64_t first = header_.dataoffset + used;
  const uint64_t whole = first > Size() ? 0 : (Size() - first) / stride + 1;
  const uint32_t rows = whole < h ? static_cast<uint32_t>(whole) : h;
  info.data = header_.bpp == 8 ? raw : out;
  info.bytecount = outrow;
  for (uint32_t i = 0; i < rows; i++) {
    SeekSet(header_.dataoffset + stride * i);
    info.pixelindex = static_cast<int32_t>(topdown_ ? w * i : w * (h - i - 1));
    ReadStream(raw, static_cast<uint32_t>(used));
    if (fields)
      ConvertFields(raw, out, masks);
    else
      ConvertRow(raw, out);
    r = target->LdrOnPixelStream(&info);
    if (r) return r;
  }
  return rows < h ? ERES_BAD : ERES_OK;
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
