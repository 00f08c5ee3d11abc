#include "loaders/eldr_png.h"

#include <cstring>

#include "display/esurf_2dbase.h"
#include "framework/emod_math.h"
#include "framework/emod_memory.h"

const uint8_t epng_ldr_c1bit[2] = {0x00, 0xFF};
const uint8_t epng_ldr_c2bit[4] = {0x00, 0x55, 0xAA, 0xFF};
const uint8_t epng_ldr_c4bit[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                    0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

namespace {

constexpr uint32_t kIHDR = 0x49484452;
constexpr uint32_t kPLTE = 0x504C5445;
constexpr uint32_t kTRNS = 0x74524E53;
constexpr uint32_t kIDAT = 0x49444154;

// Largest buffer the decoder asks for; anything bigger cannot exist on the console.
constexpr uint64_t kMaxBlock = 0x7FFFFFFF;

uint32_t Channels(const ELDR_PNGHEADER& h) {
  if (h.palette) return 1;
  if (h.colour) return h.alpha ? 4 : 3;
  return h.alpha ? 2 : 1;
}

uint64_t RowBytes(uint64_t p, const ELDR_PNGHEADER& h) { return (p * h.depth * Channels(h) + 7) / 8; }

// The depths PNG allows for each colour type.
bool LegalDepth(uint8_t colourType, uint8_t depth) {
  switch (colourType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
  }
  return false;
}

const uint8_t* ScaleTable(uint8_t depth) {
  return depth == 1 ? epng_ldr_c1bit : depth == 2 ? epng_ldr_c2bit : epng_ldr_c4bit;
}

// Sample i of a packed row of 1, 2 or 4-bit samples, most significant bits first.
inline uint32_t Packed(const uint8_t* src, uint32_t i, uint32_t depth) {
  const uint32_t bit = i * depth;
  return (src[bit >> 3] >> (8 - depth - (bit & 7))) & ((1u << depth) - 1);
}

inline void PutWord(uint8_t* dst, uint32_t x, uint32_t w) { std::memcpy(dst + 4 * x, &w, 4); }
inline uint32_t Rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return r | g << 8 | b << 16 | a << 24; }

// One unfiltered row to index bytes or colour words.
void ConvertRow(uint8_t* dst, const uint8_t* src, uint32_t width, const ELDR_PNGHEADER& h) {
  const uint32_t d = h.depth;
  if (h.palette) {
    if (d == 8)
      std::memcpy(dst, src, width);
    else if (d == 1 || d == 2 || d == 4)
      for (uint32_t x = 0; x < width; x++) dst[x] = static_cast<uint8_t>(Packed(src, x, d));
    return;
  }
  if (h.colour && d == 8) {
    if (h.alpha) {  // R, G, B, A bytes are already the colour words
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      std::memcpy(dst, src, 4 * static_cast<size_t>(width));
#else
      for (uint32_t x = 0; x < width; x++, src += 4) PutWord(dst, x, Rgba(src[0], src[1], src[2], src[3]));
#endif
    } else {
      for (uint32_t x = 0; x < width; x++, src += 3) PutWord(dst, x, Rgba(src[0], src[1], src[2], 255));
    }
    return;
  }
  if (!h.alpha && d == 8) {  // grey
    for (uint32_t x = 0; x < width; x++) PutWord(dst, x, 0xFF000000u | src[x] * 0x010101u);
    return;
  }
  if (h.colour) {
    if (d != 8 && d != 16) return;
    const uint32_t step = (h.alpha ? 4 : 3) * (d / 8), hb = d / 8;  // sample stride in bytes
    for (uint32_t x = 0; x < width; x++) {
      const uint8_t* p = src + step * x;
      PutWord(dst, x, Rgba(p[0], p[hb], p[2 * hb], h.alpha ? p[3 * hb] : 255));
    }
    return;
  }
  if (d == 8 || d == 16) {
    const uint32_t hb = d / 8;
    for (uint32_t x = 0; x < width; x++) {
      if (h.alpha) {
        const uint8_t* p = src + 2 * hb * x;
        PutWord(dst, x, Rgba(p[0], p[0], p[0], p[hb]));
      } else {
        const uint8_t g = src[hb * x];
        PutWord(dst, x, Rgba(g, g, g, 255));
      }
    }
  } else if (d == 1 || d == 2 || d == 4) {
    const uint8_t* t = ScaleTable(static_cast<uint8_t>(d));
    for (uint32_t x = 0; x < width; x++) {
      if (h.alpha) {
        const uint32_t g = t[Packed(src, 2 * x, d)], a = t[Packed(src, 2 * x + 1, d)];
        PutWord(dst, x, Rgba(g, g, g, a));
      } else {
        const uint32_t g = t[Packed(src, x, d)];
        PutWord(dst, x, Rgba(g, g, g, 255));
      }
    }
  }
}

void ApplyKey(uint8_t* row, uint32_t width, uint32_t key) {
  for (uint32_t x = 0; x < width; x++) {
    uint32_t w;
    std::memcpy(&w, row + 4 * x, 4);
    if ((w & 0x00FFFFFF) == key) {
      w &= 0x00FFFFFF;
      std::memcpy(row + 4 * x, &w, 4);
    }
  }
}

struct Pass {
  uint32_t x0, y0, dx, dy;
};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

uint32_t PassSize(uint32_t n, uint32_t start, uint32_t step) { return n > start ? (n - start + step - 1) / step : 0; }

}  // namespace

uint32_t ELoader_PNG_Linesize(uint32_t width, uint8_t depth, bool palette, bool colour, bool alpha) {
  ELDR_PNGHEADER h;
  std::memset(&h, 0, sizeof h);
  h.depth = depth;
  h.palette = palette;
  h.colour = colour;
  h.alpha = alpha;
  return static_cast<uint32_t>(1 + RowBytes(width, h));
}

void ELoader_PNG::RevertBytes(uint8_t* lines, uint32_t, uint32_t rowbytes, uint32_t rows, uint8_t unit) {
  const uint32_t line = rowbytes + 1;
  const uint32_t lead = unit < rowbytes ? unit : rowbytes;  // bytes with no left neighbour
  const uint8_t* prev = nullptr;
  for (uint32_t r = 0; r < rows; r++) {
    uint8_t* l = lines + static_cast<size_t>(line) * r;
    const uint8_t type = l[0];
    uint8_t* x = l + 1;
    // The first row has no row above: its bytes count as zero. The loops are
    // split at `lead` so the byte loops carry no tests.
    switch (type) {
      case 1:
        for (uint32_t i = lead; i < rowbytes; i++) x[i] = static_cast<uint8_t>(x[i] + x[i - unit]);
        break;
      case 2:
        if (prev)
          for (uint32_t i = 0; i < rowbytes; i++) x[i] = static_cast<uint8_t>(x[i] + prev[i]);
        break;
      case 3:
        if (prev) {
          for (uint32_t i = 0; i < lead; i++) x[i] = static_cast<uint8_t>(x[i] + (prev[i] >> 1));
          for (uint32_t i = lead; i < rowbytes; i++)
            x[i] = static_cast<uint8_t>(x[i] + ((uint32_t(x[i - unit]) + prev[i]) >> 1));
        } else {
          for (uint32_t i = lead; i < rowbytes; i++) x[i] = static_cast<uint8_t>(x[i] + (x[i - unit] >> 1));
        }
        break;
      case 4:
        if (prev) {
          // Without a left neighbour the predictor is the byte above.
          for (uint32_t i = 0; i < lead; i++) x[i] = static_cast<uint8_t>(x[i] + prev[i]);
          for (uint32_t i = lead; i < rowbytes; i++) {
            const int32_t a = x[i - unit], b = prev[i], c = prev[i - unit];
            const int32_t pa = ClassEMath::Abs(b - c), pb = ClassEMath::Abs(a - c),
                          pc = ClassEMath::Abs(a + b - 2 * c);
            const int32_t pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
            x[i] = static_cast<uint8_t>(x[i] + pred);
          }
        } else {  // above and above-left are zero: the predictor is the left byte
          for (uint32_t i = lead; i < rowbytes; i++) x[i] = static_cast<uint8_t>(x[i] + x[i - unit]);
        }
        break;
      default:
        break;  // 0 and unknown types: the line stays as it is
    }
    prev = x;
  }
}

void ELoader_PNG::Rasterize(uint8_t* dst, const uint8_t* lines, uint32_t width, uint32_t rows,
                            uint32_t rowbytes, const void* header, uint32_t firstrow) {
  const ELDR_PNGHEADER& h = *static_cast<const ELDR_PNGHEADER*>(header);
  const uint32_t out = h.palette ? width : 4 * width;
  for (uint32_t r = 0; r < rows; r++)
    ConvertRow(dst + static_cast<size_t>(out) * r, lines + static_cast<size_t>(rowbytes + 1) * (firstrow + r) + 1,
               width, h);
}

namespace {

// Bytes of the inflated image (every pass of an interlaced one), worked out
// wide; false when the image or one of its buffers cannot be allocated in 32 bits.
bool ImageBytes(const ELDR_PNGHEADER& h, uint32_t& size) {
  const uint32_t w = h.width, ht = h.height;
  const uint32_t bpo = h.palette ? 1 : 4;  // output bytes per pixel
  uint64_t total = 0;
  if (!h.interlace) {
    total = (1 + RowBytes(w, h)) * ht;
  } else {
    for (const Pass& p : kAdam7) {
      const uint32_t pw = PassSize(w, p.x0, p.dx), ph = PassSize(ht, p.y0, p.dy);
      if (pw && ph) total += (1 + RowBytes(pw, h)) * ph;  // an empty pass has no bytes at all
    }
  }
  if (total > kMaxBlock || static_cast<uint64_t>(w) * ht * bpo > kMaxBlock || RowBytes(w, h) > kMaxBlock)
    return false;
  size = static_cast<uint32_t>(total);
  return true;
}

// Bytes a filter looks back: one whole pixel, at least one byte.
uint8_t FilterUnit(const ELDR_PNGHEADER& h) { return static_cast<uint8_t>((h.depth * Channels(h) + 7) / 8); }

// Pixels of pass row j, scattered to their places in the whole image.
void ScatterPassRow(uint8_t* image, const uint8_t* row, const Pass& p, uint32_t j, uint32_t pw,
                    uint32_t rowout, uint32_t bpo) {
  uint8_t* dstrow = image + static_cast<size_t>(rowout) * (p.y0 + j * p.dy);
  for (uint32_t k = 0; k < pw; k++) std::memcpy(dstrow + bpo * (p.x0 + k * p.dx), row + bpo * k, bpo);
}

}  // namespace

// The data of every IDAT chunk in one block, whatever lies between them; a
// single chunk is read where it lies. Null when memory is short.
const uint8_t* ELoader_PNG::GatherData(const ELDR_PNGHEADER& h, ELoaderWork& work, uint8_t** gathered) {
  *gathered = nullptr;
  if (h.chunks <= 1) return data_ + h.firstchunk + 8;
  uint8_t* block = work.Take(h.datalength);
  if (!block) return nullptr;
  uint32_t filled = 0;
  SeekSet(h.firstchunk);
  uint32_t len = 0, type = 0;
  while (filled < h.datalength && Read32(&len) && Read32(&type)) {
    const uint32_t at = Tell();
    const uint32_t avail = Size() - at;
    const uint32_t n = len < avail ? len : avail;
    if (type == kIDAT) {
      const uint32_t k = n < h.datalength - filled ? n : h.datalength - filled;
      std::memcpy(block + filled, data_ + at, k);
      filled += k;
    }
    if (len >= avail) break;
    SeekSet(at + len + 4);
  }
  *gathered = block;
  return block;
}

int ELoader_PNG::InflateImage(const ELDR_PNGHEADER& h, ELoaderWork& work, uint8_t* inflated, uint32_t size) {
  uint8_t* gathered = nullptr;
  const uint8_t* comp = GatherData(h, work, &gathered);
  if (!comp) return ERES_NOMEMORY;
  uint32_t produced = size;
  const bool ok = ClassEMemory::UnCompressZLib(inflated, produced, comp, h.datalength);
  work.Free(gathered);
  if (!ok) return ERES_BAD;
  // A stream that ends early leaves the rest of the image zero.
  if (produced < size) std::memset(inflated + produced, 0, size - produced);
  return ERES_OK;
}

// A plain image: unfiltered whole, then converted and handed over a row at a time.
template <class Target>
int ELoader_PNG::StreamRows(Target* surface, ELDR_2DCALLBACKINFO* info, ELDR_PNGHEADER& h, ELoaderWork& work,
                            uint8_t* inflated, uint32_t size) {
  const uint32_t w = h.width, rowout = w * (h.palette ? 1 : 4);
  const uint32_t rb = static_cast<uint32_t>(RowBytes(w, h));
  RevertBytes(inflated, size, rb, h.height, FilterUnit(h));
  uint8_t* row = work.Take(rowout);
  if (!row) return ERES_NOMEMORY;
  std::memset(row, 0, rowout);
  info->data = row;
  info->bytecount = rowout;
  for (uint32_t y = 0; y < h.height; y++) {
    Rasterize(row, inflated, w, 1, rb, &h, y);
    if (!h.palette) ApplyKey(row, w, h.colorkey);
    info->pixelindex = static_cast<int32_t>(y * w);
    surface->LdrOnPixelStream(info);
  }
  return ERES_OK;
}

// An interlaced image: the seven passes are put together into the whole
// picture first, which is then handed over a row at a time.
template <class Target>
int ELoader_PNG::StreamInterlaced(Target* surface, ELDR_2DCALLBACKINFO* info, ELDR_PNGHEADER& h,
                                  ELoaderWork& work, uint8_t* inflated) {
  const uint32_t w = h.width, ht = h.height, bpo = h.palette ? 1 : 4, rowout = w * bpo;
  uint8_t* image = work.Take(rowout * ht);
  uint8_t* row = work.Take(rowout);
  if (!image || !row) return ERES_NOMEMORY;
  std::memset(image, 0, static_cast<size_t>(rowout) * ht);
  std::memset(row, 0, rowout);
  const uint8_t unit = FilterUnit(h);
  uint8_t* run = inflated;
  for (const Pass& p : kAdam7) {
    const uint32_t pw = PassSize(w, p.x0, p.dx), ph = PassSize(ht, p.y0, p.dy);
    if (!pw || !ph) continue;
    const uint32_t rb = static_cast<uint32_t>(RowBytes(pw, h));
    RevertBytes(run, 0, rb, ph, unit);
    for (uint32_t j = 0; j < ph; j++) {
      Rasterize(row, run, pw, 1, rb, &h, j);
      ScatterPassRow(image, row, p, j, pw, rowout, bpo);
    }
    run += static_cast<size_t>(rb + 1) * ph;
  }
  info->bytecount = rowout;
  for (uint32_t y = 0; y < ht; y++) {
    uint8_t* r = image + static_cast<size_t>(rowout) * y;
    if (!h.palette) ApplyKey(r, w, h.colorkey);
    info->data = r;
    info->pixelindex = static_cast<int32_t>(y * w);
    surface->LdrOnPixelStream(info);
  }
  return ERES_OK;
}

template <class Target>
int ELoader_PNG::DecodeImageT(Target* surface, ELDR_2DCALLBACKINFO* info, void* header) {
  ELDR_PNGHEADER& h = *static_cast<ELDR_PNGHEADER*>(header);
  uint32_t size = 0;
  if (!ImageBytes(h, size)) return ERES_NOMEMORY;
  ELoaderWork work;
  uint8_t* inflated = work.Take(size);
  if (!inflated) return ERES_NOMEMORY;
  const int r = InflateImage(h, work, inflated, size);
  if (r) return r;
  if (!h.interlace) return StreamRows(surface, info, h, work, inflated, size);
  return StreamInterlaced(surface, info, h, work, inflated);
}

// IHDR: the picture's size and kind; makes the surface.
template <class Target>
int ELoader_PNG::TakeHeader(Target* surface, ELDR_2DCALLBACKINFO* info, ELDR_PNGHEADER& h) {
  if (h.haveheader) return ERES_BAD;  // the surface is made once
  uint8_t ct = 0;
  Read32(&h.width);
  Read32(&h.height);
  Read8(&h.depth);
  Read8(&ct);
  Read8(&h.compression);
  Read8(&h.filter);
  Read8(&h.interlace);
  h.palette = ct & 1;
  h.colour = ct & 2;
  h.alpha = ct & 4;
  if (h.alpha) info->transparency = 1;
  if (h.width == 0 || h.height == 0) return ERES_BAD;
  // Rows are sized from the depth: anything PNG does not allow is refused
  // before a surface is made.
  if (!LegalDepth(ct, h.depth)) return ERES_BAD;
  if (h.compression != 0 || h.filter != 0) return ERES_NOTTHISFORMAT;
  info->width = h.width;
  info->height = h.height;
  info->indexed = h.palette;
  const int r = surface->LdrOnCreate(info);
  if (r) return r;
  h.haveheader = 1;
  return ERES_OK;
}

// PLTE of len bytes, n of them in the file.
template <class Target>
int ELoader_PNG::TakePalette(Target* surface, ELDR_2DCALLBACKINFO* info, ELDR_PNGHEADER& h, uint32_t len,
                             uint32_t n) {
  if (len % 3 || len > 768) return ERES_BAD;
  uint8_t rgb[768];
  std::memset(rgb, 0, sizeof rgb);
  ReadStream(rgb, n);
  for (uint32_t i = 0; i < len / 3; i++)
    h.palettewords[i] = (h.palettewords[i] & 0xFF000000u) | static_cast<uint32_t>(rgb[3 * i + 2]) << 16 |
                        static_cast<uint32_t>(rgb[3 * i + 1]) << 8 | rgb[3 * i];
  SendPalette(surface, info, h, 4 * (len / 3));
  return ERES_OK;
}

template <class Target>
void ELoader_PNG::SendPalette(Target* surface, ELDR_2DCALLBACKINFO* info, ELDR_PNGHEADER& h, uint32_t bytes) {
  info->paletteindex = 0;
  info->data = h.palettewords;
  info->bytecount = bytes;
  surface->LdrOnPaletteStream(info);
}

// tRNS: alpha of the palette entries, or the colour key of a grey or RGB picture.
template <class Target>
int ELoader_PNG::TakeTransparency(Target* surface, ELDR_2DCALLBACKINFO* info, ELDR_PNGHEADER& h, uint32_t n) {
  info->transparency = 1;
  if (!h.palette) {
    ReadColourKey(h);
    return ERES_OK;
  }
  uint8_t a[256];
  const uint32_t k = n < 256 ? n : 256;
  ReadStream(a, k);
  for (uint32_t i = 0; i < k; i++) h.palettewords[i] = (h.palettewords[i] & 0x00FFFFFFu) | static_cast<uint32_t>(a[i]) << 24;
  SendPalette(surface, info, h, 4 * k);
  return ERES_OK;
}

void ELoader_PNG::ReadColourKey(ELDR_PNGHEADER& h) {
  if (h.colour) {
    uint16_t r = 0, g = 0, b = 0;
    Read16(&r);
    Read16(&g);
    Read16(&b);
    if (h.depth == 16) {
      r >>= 8;
      g >>= 8;
      b >>= 8;
    }
    h.colorkey = static_cast<uint32_t>(r) | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b) << 16;
    return;
  }
  uint16_t g = 0;
  Read16(&g);
  uint32_t k = g;
  if (h.depth == 1) k = epng_ldr_c1bit[g & 1];
  else if (h.depth == 2) k = epng_ldr_c2bit[g & 3];
  else if (h.depth == 4) k = epng_ldr_c4bit[g & 15];
  else if (h.depth == 16) k = g >> 8;
  h.colorkey = k | k << 8 | k << 16;
}

// One chunk of len bytes starting at start (its length field), n of them in the file.
template <class Target>
int ELoader_PNG::TakeChunk(Target* surface, ELDR_2DCALLBACKINFO* info, ELDR_PNGHEADER& h, uint32_t type,
                           uint32_t start, uint32_t len, uint32_t n) {
  if (type == kIHDR) return TakeHeader(surface, info, h);
  if (type != kPLTE && type != kTRNS && type != kIDAT) return ERES_OK;
  // Nothing can be placed before the header has made the surface.
  if (!h.haveheader) return ERES_BAD;
  if (type == kPLTE) return TakePalette(surface, info, h, len, n);
  if (type == kTRNS) return TakeTransparency(surface, info, h, n);
  if (h.chunks == 0) h.firstchunk = start;
  h.chunks++;
  h.datalength += n;  // the chunks lie inside the file, so the sum cannot wrap
  return ERES_OK;
}

template <class Target>
int ELoader_PNG::Run(Target* surface, void* data, uint32_t length, uint8_t renderformat, uint32_t flags) {
  LinkData(data, length);
  SetByteOrder(true);
  ELDR_2DCALLBACKINFO info = NewInfo(renderformat, flags);
  uint32_t sig0 = 0, sig1 = 0;
  Read32(&sig0);
  Read32(&sig1);
  if (sig0 != 0x89504E47 || sig1 != 0x0D0A1A0A) return ERES_NOTTHISFORMAT;

  ELDR_PNGHEADER h;
  std::memset(&h, 0, sizeof h);
  h.colorkey = 0xFF000000;
  for (uint32_t& w : h.palettewords) w = 0xFF000000;

  while (HaveData()) {
    const uint32_t start = Tell();
    uint32_t len = 0, type = 0;
    if (!Read32(&len) || !Read32(&type)) break;
    // A chunk that claims more than the file holds is cut at its end, and the
    // walk stops after it.
    const uint32_t avail = Size() - Tell();
    const bool cut = len > avail;
    const int r = TakeChunk(surface, &info, h, type, start, len, cut ? avail : len);
    if (r) return r;
    if (cut) break;
    SeekSet(start + 8 + len);
    uint32_t crc;
    Read32(&crc);
  }
  if (!h.chunks) return ERES_BAD;
  return DecodeImageT(surface, &info, &h);
}

int ELoader_PNG::Start(E2DSurfaceBase* surface, void* data, uint32_t length, uint8_t renderformat,
                       uint32_t flags) {
  if (!surface) return ERES_NOTTHISFORMAT;
  return Run(surface, data, length, renderformat, flags);
}

int ELoader_PNG::DecodeImage(E2DSurfaceBase* surface, ELDR_2DCALLBACKINFO* info, void* header) {
  return DecodeImageT(surface, info, header);
}

int ELoader_PNG::Decode(ELDR_2DRECEIVER* target, void* data, uint32_t length, uint8_t renderformat,
                        uint32_t flags) {
  if (!target) return ERES_NOTTHISFORMAT;
  return Run(target, data, length, renderformat, flags);
}
