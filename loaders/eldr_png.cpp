#include "loaders/eldr_png.h"

#include <zlib.h>

#include <cstring>

#include "display/esurf_2dbase.h"
#include "framework/emod_czlib.h"
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
// Inflated bytes taken at a time for a plain image: whole lines, at least one.
// A picture whose data fits (a full screen of 320x240 in any colour type does)
// is inflated in one call, which needs no sliding window of zlib's own.
constexpr uint32_t kWindow = 512u << 10;

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

// Pixels of the tRNS colour become transparent. 16-bit samples are compared
// whole on the unfiltered line src: their high bytes alone would also take
// colours next to the key.
void KeyRow(uint8_t* row, const uint8_t* src, uint32_t width, const ELDR_PNGHEADER& h) {
  if (h.depth != 16) {
    ApplyKey(row, width, h.colorkey);
    return;
  }
  const uint32_t samples = h.colour ? 3 : 1, step = 2 * (samples + (h.alpha ? 1 : 0));
  for (uint32_t x = 0; x < width; x++, src += step) {
    bool same = true;
    for (uint32_t c = 0; c < samples; c++) same &= (src[2 * c] << 8 | src[2 * c + 1]) == h.keysamples[c];
    if (same) row[4 * x + 3] = 0;
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

namespace {

// Undoes the filter of one line in place: l is its filter byte and its bytes,
// above the unfiltered bytes of the line above (null for the first line of a run).
inline __attribute__((always_inline)) void UnfilterLine(uint8_t* l, const uint8_t* prev, uint32_t rowbytes,
                                                        uint32_t unit) {
  const uint32_t lead = unit < rowbytes ? unit : rowbytes;  // bytes with no left neighbour
  uint8_t* x = l + 1;
  // The first line has no line above: its bytes count as zero. The loops are
  // split at `lead` so the byte loops carry no tests.
  switch (l[0]) {
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
}

}  // namespace

void ELoader_PNG::RevertBytes(uint8_t* lines, uint32_t, uint32_t rowbytes, uint32_t rows, uint8_t unit) {
  const uint8_t* prev = nullptr;
  for (uint32_t r = 0; r < rows; r++) {
    uint8_t* l = lines + static_cast<size_t>(rowbytes + 1) * r;
    UnfilterLine(l, prev, rowbytes, unit);
    prev = l + 1;
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

// Row buffers of the picture fit 32-bit sizes (the size bound keeps them far
// below; DecodeImage may also be called with any header).
bool RowsFit(const ELDR_PNGHEADER& h) {
  return 1 + RowBytes(h.width, h) <= kMaxBlock && static_cast<uint64_t>(h.width) * 4 <= kMaxBlock;
}

// Bytes a filter looks back: one whole pixel, at least one byte.
uint8_t FilterUnit(const ELDR_PNGHEADER& h) { return static_cast<uint8_t>((h.depth * Channels(h) + 7) / 8); }

// Pixels of a pass row, converted, to their places in a row of the picture.
void ScatterPassRow(uint8_t* dst, const uint8_t* src, const Pass& p, uint32_t pw, uint32_t bpo) {
  if (bpo == 4)
    for (uint32_t k = 0; k < pw; k++) std::memcpy(dst + 4 * (p.x0 + k * p.dx), src + 4 * k, 4);
  else
    for (uint32_t k = 0; k < pw; k++) dst[p.x0 + k * p.dx] = src[k];
}

}  // namespace

// The image data inflated as the rows need it, through the framework's zlib
// stream, so the work memory follows the data and not what the header claims.
class EPngInflater {
 public:
  EPngInflater() = default;
  ~EPngInflater() {
    if (open_) z_.InflateEnd();
  }
  EPngInflater(const EPngInflater&) = delete;
  EPngInflater& operator=(const EPngInflater&) = delete;

  bool Open(const uint8_t* data, uint32_t length) {
    if (z_.InflateInit() != Z_OK) return false;
    open_ = true;
    z_.SetupInput(data, length);
    return true;
  }
  // n bytes into dst; fewer only when the stream has ended, broken off or is bad.
  // Every call asks zlib to finish: a stream that ends within it then needs no
  // window of zlib's own; one that does not goes on at the next call.
  uint32_t Fill(uint8_t* dst, uint32_t n) {
    z_.SetupOutput(dst, n);
    while (z_.AvailableOutput() && !ended_ && !failed_) {
      const int r = z_.Inflate(Z_FINISH);
      if (r == Z_STREAM_END)
        ended_ = true;
      else if (r != Z_OK && !(r == Z_BUF_ERROR && !z_.AvailableOutput()))
        failed_ = true;  // an error, or the input used up before the end
    }
    return n - z_.AvailableOutput();
  }
  // True when the stream ends exactly here, its check value included.
  bool EndsHere() {
    uint8_t extra;
    return !failed_ && (ended_ || (Fill(&extra, 1) == 0 && ended_));
  }
  // The most the input left can still give: deflate gives at most 258 bytes
  // for two bits, and zlib may hold a little back.
  uint64_t Reach() const { return static_cast<uint64_t>(z_.AvailableInput()) * 1032 + (64u << 10); }

 private:
  CZLib z_;
  bool open_ = false, ended_ = false, failed_ = false;
};

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

// A plain image: a window of whole lines is inflated at a time behind the last
// line handed over (the line above the next), then each line is unfiltered,
// converted and handed over. Rows the data does not reach are a failure; the
// rows before them stay delivered.
template <class Target>
int ELoader_PNG::StreamRows(const PngDecode<Target>& d, ELoaderWork& work, EPngInflater& in) {
  const ELDR_PNGHEADER& h = *d.header;
  ELDR_2DCALLBACKINFO* info = d.info;
  const uint32_t w = h.width, rowout = w * (h.palette ? 1 : 4);
  const uint32_t rb = static_cast<uint32_t>(RowBytes(w, h)), line = rb + 1;
  const uint32_t fit = line < kWindow ? kWindow / line : 1;
  const uint32_t lines = fit < h.height ? fit : h.height;
  const uint64_t bytes = static_cast<uint64_t>(line) * (lines + 1);
  uint8_t* above = bytes <= kMaxBlock ? work.Take(static_cast<uint32_t>(bytes)) : nullptr;
  uint8_t* row = work.Take(rowout);
  if (!above || !row) return ERES_NOMEMORY;
  uint8_t* window = above + line;
  const uint8_t unit = FilterUnit(h);
  const uint8_t* prev = nullptr;
  info->data = row;
  info->bytecount = rowout;
  for (uint32_t y = 0; y < h.height;) {
    const uint32_t left = h.height - y, want = (left < lines ? left : lines) * line;
    const uint32_t got = in.Fill(window, want);
    for (uint8_t* l = window; l + line <= window + got; l += line, y++) {
      UnfilterLine(l, prev, rb, unit);
      ConvertRow(row, l + 1, w, h);
      if (h.haskey && !h.palette) KeyRow(row, l + 1, w, h);
      info->pixelindex = static_cast<int32_t>(y * w);
      d.target->LdrOnPixelStream(info);
      prev = l + 1;
    }
    if (got < want) return ERES_BAD;
    if (y < h.height) {  // the last line becomes the line above the next window
      std::memcpy(above, window + want - line, line);
      prev = above + 1;
    }
  }
  return in.EndsHere() ? ERES_OK : ERES_BAD;
}

// An interlaced image: each pass is inflated into a block of its own, taken
// only once the passes before it are complete (and never larger than the data
// left can fill), and unfiltered. Every row of the picture is then put
// together from the passes and handed over.
template <class Target>
int ELoader_PNG::StreamInterlaced(const PngDecode<Target>& d, ELoaderWork& work, EPngInflater& in) {
  const ELDR_PNGHEADER& h = *d.header;
  ELDR_2DCALLBACKINFO* info = d.info;
  const uint32_t w = h.width, ht = h.height, bpo = h.palette ? 1 : 4, rowout = w * bpo;
  const uint8_t unit = FilterUnit(h);
  const uint8_t* runs[7] = {};
  uint32_t lines[7] = {}, widths[7] = {};
  for (int p = 0; p < 7; p++) {
    const Pass& q = kAdam7[p];
    const uint32_t pw = PassSize(w, q.x0, q.dx), ph = PassSize(ht, q.y0, q.dy);
    if (!pw || !ph) continue;
    const uint32_t rb = static_cast<uint32_t>(RowBytes(pw, h));
    const uint64_t size = static_cast<uint64_t>(rb + 1) * ph;
    if (size > kMaxBlock) return ERES_NOMEMORY;
    if (size > in.Reach()) return ERES_BAD;
    uint8_t* run = work.Take(static_cast<uint32_t>(size));
    if (!run) return ERES_NOMEMORY;
    if (in.Fill(run, static_cast<uint32_t>(size)) < size) return ERES_BAD;
    RevertBytes(run, 0, rb, ph, unit);
    runs[p] = run;
    lines[p] = rb + 1;
    widths[p] = pw;
  }
  if (!in.EndsHere()) return ERES_BAD;
  uint8_t* row = work.Take(rowout);
  uint8_t* part = work.Take(rowout);
  if (!row || !part) return ERES_NOMEMORY;
  std::memset(row, 0, rowout);
  info->data = row;
  info->bytecount = rowout;
  for (uint32_t y = 0; y < ht; y++) {
    for (int p = 0; p < 7; p++) {
      const Pass& q = kAdam7[p];
      if (!runs[p] || y < q.y0 || (y - q.y0) % q.dy) continue;
      const uint8_t* src = runs[p] + static_cast<size_t>(lines[p]) * ((y - q.y0) / q.dy) + 1;
      ConvertRow(part, src, widths[p], h);
      if (h.haskey && !h.palette) KeyRow(part, src, widths[p], h);
      ScatterPassRow(row, part, q, widths[p], bpo);
    }
    info->pixelindex = static_cast<int32_t>(y * w);
    d.target->LdrOnPixelStream(info);
  }
  return ERES_OK;
}

template <class Target>
int ELoader_PNG::DecodeImageT(const PngDecode<Target>& d) {
  const ELDR_PNGHEADER& h = *d.header;
  if (!RowsFit(h)) return ERES_NOMEMORY;
  ELoaderWork work;
  uint8_t* gathered = nullptr;
  const uint8_t* comp = GatherData(h, work, &gathered);
  if (!comp) return ERES_NOMEMORY;
  EPngInflater in;
  if (!h.datalength || !in.Open(comp, h.datalength)) return ERES_BAD;
  return h.interlace ? StreamInterlaced(d, work, in) : StreamRows(d, work, in);
}

// IHDR: the picture's size and kind; makes the surface.
template <class Target>
int ELoader_PNG::TakeHeader(const PngDecode<Target>& d) {
  ELDR_PNGHEADER& h = *d.header;
  ELDR_2DCALLBACKINFO* info = d.info;
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
  if (!ELoader_SizeAllowed(h.width, h.height, info->renderformat, info->flags)) return ERES_NOMEMORY;
  info->width = h.width;
  info->height = h.height;
  info->indexed = h.palette;
  const int r = d.target->LdrOnCreate(info);
  if (r) return r;
  h.haveheader = 1;
  return ERES_OK;
}

// PLTE of len bytes, n of them in the file.
template <class Target>
int ELoader_PNG::TakePalette(const PngDecode<Target>& d, uint32_t len, uint32_t n) {
  ELDR_PNGHEADER& h = *d.header;
  if (len % 3 || len > 768) return ERES_BAD;
  uint8_t rgb[768];
  std::memset(rgb, 0, sizeof rgb);
  ReadStream(rgb, n);
  for (uint32_t i = 0; i < len / 3; i++)
    h.palettewords[i] = (h.palettewords[i] & 0xFF000000u) | static_cast<uint32_t>(rgb[3 * i + 2]) << 16 |
                        static_cast<uint32_t>(rgb[3 * i + 1]) << 8 | rgb[3 * i];
  SendPalette(d, 4 * (len / 3));
  return ERES_OK;
}

template <class Target>
void ELoader_PNG::SendPalette(const PngDecode<Target>& d, uint32_t bytes) {
  d.info->paletteindex = 0;
  d.info->data = d.header->palettewords;
  d.info->bytecount = bytes;
  d.target->LdrOnPaletteStream(d.info);
}

// tRNS: alpha of the palette entries, or the colour key of a grey or RGB picture.
template <class Target>
int ELoader_PNG::TakeTransparency(const PngDecode<Target>& d, uint32_t n) {
  ELDR_PNGHEADER& h = *d.header;
  d.info->transparency = 1;
  if (!h.palette) {
    ReadColourKey(h);
    return ERES_OK;
  }
  uint8_t a[256];
  const uint32_t k = n < 256 ? n : 256;
  ReadStream(a, k);
  for (uint32_t i = 0; i < k; i++) h.palettewords[i] = (h.palettewords[i] & 0x00FFFFFFu) | static_cast<uint32_t>(a[i]) << 24;
  SendPalette(d, 4 * k);
  return ERES_OK;
}

void ELoader_PNG::ReadColourKey(ELDR_PNGHEADER& h) {
  h.haskey = 1;
  if (h.colour) {
    uint16_t r = 0, g = 0, b = 0;
    Read16(&r);
    Read16(&g);
    Read16(&b);
    h.keysamples[0] = r;
    h.keysamples[1] = g;
    h.keysamples[2] = b;
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
  h.keysamples[0] = g;
  uint32_t k = g;
  if (h.depth == 1) k = epng_ldr_c1bit[g & 1];
  else if (h.depth == 2) k = epng_ldr_c2bit[g & 3];
  else if (h.depth == 4) k = epng_ldr_c4bit[g & 15];
  else if (h.depth == 16) k = g >> 8;
  h.colorkey = k | k << 8 | k << 16;
}

// One chunk of len bytes starting at start (its length field), n of them in the file.
template <class Target>
int ELoader_PNG::TakeChunk(const PngDecode<Target>& d, uint32_t type, uint32_t start, uint32_t len, uint32_t n) {
  ELDR_PNGHEADER& h = *d.header;
  if (type == kIHDR) return TakeHeader(d);
  if (type != kPLTE && type != kTRNS && type != kIDAT) return ERES_OK;
  // Nothing can be placed before the header has made the surface.
  if (!h.haveheader) return ERES_BAD;
  if (type == kPLTE) return TakePalette(d, len, n);
  if (type == kTRNS) return TakeTransparency(d, n);
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
  const PngDecode<Target> d{surface, &info, &h};

  while (HaveData()) {
    const uint32_t start = Tell();
    uint32_t len = 0, type = 0;
    if (!Read32(&len) || !Read32(&type)) break;
    // A chunk that claims more than the file holds is cut at its end, and the
    // walk stops after it.
    const uint32_t avail = Size() - Tell();
    const bool cut = len > avail;
    const int r = TakeChunk(d, type, start, len, cut ? avail : len);
    if (r) return r;
    if (cut) break;
    SeekSet(start + 8 + len);
    uint32_t crc;
    Read32(&crc);
  }
  if (!h.chunks) return ERES_BAD;
  return DecodeImageT(d);
}

int ELoader_PNG::Start(E2DSurfaceBase* surface, void* data, uint32_t length, uint8_t renderformat,
                       uint32_t flags) {
  if (!surface) return ERES_NOTTHISFORMAT;
  return Run(surface, data, length, renderformat, flags);
}

int ELoader_PNG::DecodeImage(E2DSurfaceBase* surface, ELDR_2DCALLBACKINFO* info, void* header) {
  return DecodeImageT(PngDecode<E2DSurfaceBase>{surface, info, static_cast<ELDR_PNGHEADER*>(header)});
}

int ELoader_PNG::Decode(ELDR_2DRECEIVER* target, void* data, uint32_t length, uint8_t renderformat,
                        uint32_t flags) {
  if (!target) return ERES_NOTTHISFORMAT;
  return Run(target, data, length, renderformat, flags);
}
