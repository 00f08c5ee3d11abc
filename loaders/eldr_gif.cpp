#include "loaders/eldr_gif.h"

#include <cstring>
#include <new>

#include "display/esurf_2dbase.h"

namespace {

constexpr uint32_t kTable = 4096;
// Largest image buffer the decoder asks for.
constexpr uint64_t kMaxBlock = 0x7FFFFFFF;

// Row y of the j-th delivered row of an interlaced image h rows high:
// every 8th row from 0, then from 4, every 4th from 2, every 2nd from 1.
uint32_t InterlacedRow(uint32_t j, uint32_t h) {
  static const uint8_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int p = 0; p < 4; p++) {
    const uint32_t n = h > start[p] ? (h - start[p] + step[p] - 1) / step[p] : 0;
    if (j < n) return start[p] + j * step[p];
    j -= n;
  }
  return h;  // not reached for j < h
}

// Colour table of n entries (red, green, blue) into 0xFF BB GG RR words.
void ReadColours(ClassELoaderBase* s, uint32_t* words, uint32_t n) {
  uint8_t rgb[768];
  std::memset(rgb, 0, sizeof rgb);
  s->ReadStream(rgb, 3 * n);
  for (uint32_t i = 0; i < n; i++)
    words[i] = 0xFF000000u | static_cast<uint32_t>(rgb[3 * i + 2]) << 16 |
               static_cast<uint32_t>(rgb[3 * i + 1]) << 8 | rgb[3 * i];
}

// Skips a chain of sub-blocks (size byte, that many bytes) through its empty one.
void SkipSubBlocks(ClassELoaderBase* s) {
  uint8_t n = 0;
  while (s->Read8(&n) && n) s->SeekRelative(n);
}

}  // namespace

ELoader_GIF::ELoader_GIF() = default;
ELoader_GIF::~ELoader_GIF() { FreeTables(); }

void ELoader_GIF::FreeTables() {
  delete[] stroffset_;
  delete[] strlength_;
  stroffset_ = nullptr;
  strlength_ = nullptr;
}

int ELoader_GIF::SearchImageData(ELDR_2DCALLBACKINFO*, void* header, void* image) {
  ELDR_GIFHEADER& h = *static_cast<ELDR_GIFHEADER*>(header);
  ELDR_GIFIMAGE& im = *static_cast<ELDR_GIFIMAGE*>(image);
  im.controlseen = 0;
  SeekSet(h.searchpos);
  uint8_t intro = 0;
  while (Read8(&intro)) {
    if (intro == 0x21) {
      uint8_t label = 0, b = 0;
      if (!Read8(&label) || !Read8(&b)) return 0;
      const uint32_t s = Tell();
      if (label == 0xF9) {
        uint8_t packed = 0, term = 1;
        im.controlseen = 1;
        Read8(&packed);
        Read16(&im.delay);
        Read8(&im.transparentindex);
        Read8(&term);
        if (term != 0) return 0;
        im.disposal = (packed >> 2) & 7;
        im.userinput = packed & 2;
        im.transparency = packed & 1;
      }
      // Every extension is a first block of b bytes and a chain of sub-blocks.
      SeekSet(s);
      SeekRelative(b);
      SkipSubBlocks(this);
    } else if (intro == 0x2C) {
      uint8_t packed = 0;
      Read16(&im.left);
      Read16(&im.top);
      Read16(&im.width);
      Read16(&im.height);
      Read8(&packed);
      im.interlaced = packed & 0x40;
      im.localcount = 0;
      if (packed & 0x80) {
        im.localcount = static_cast<uint16_t>(1u << ((packed & 7) + 1));
        ReadColours(this, im.localwords, im.localcount);
      }
      Read8(&im.mincodesize);
      im.datastart = Tell();
      SkipSubBlocks(this);
      im.datalength = Size() - im.datastart;
      h.searchpos = Tell();
      return 1;
    } else if (intro == 0x00) {
      SeekRelative(1);
    } else {
      return 0;  // the trailer, or a byte that starts no block
    }
  }
  return 0;
}

namespace {

// Bit reader over a chain of sub-blocks, least significant bit first.
struct SubBlockBits {
  const uint8_t* data;
  uint32_t length, bits = 0, nbits = 0, p = 1, blockleft;
  bool ended;
  SubBlockBits(const uint8_t* d, uint32_t n) : data(d), length(n), blockleft(d[0]), ended(d[0] == 0) {}

  // The next code of size bits; false when the chain is used up.
  bool Next(uint32_t size, uint32_t& code) {
    while (nbits < size && !ended) {
      if (!blockleft) {
        if (p >= length || data[p] == 0) {
          ended = true;
          break;
        }
        blockleft = data[p++];
        continue;
      }
      if (p >= length) {
        ended = true;
        break;
      }
      bits |= static_cast<uint32_t>(data[p++]) << nbits;
      nbits += 8;
      blockleft--;
    }
    if (nbits < size) return false;
    code = bits & ((1u << size) - 1);
    bits >>= size;
    nbits -= size;
    return true;
  }
};

// The string table and output of one image's codes. A string is kept as its
// place in the output, where it was written before. A string that does not fit
// the output stops the codes with need (its length) and from (where it is
// copied from) set, so the caller can grow the output and take the code again.
struct GifCodes {
  uint8_t* out;
  uint32_t capacity;
  uint32_t* offset;
  uint32_t* length;
  uint32_t clear, startsize;
  uint32_t codesize = 0, limit = 0, count = 0, pos = 0, prevoff = 0, prevlen = 0;
  uint32_t need = 0, from = 0;
  bool first = true;

  void Reset() {
    codesize = startsize;
    limit = 1u << startsize;
    count = 0;
    prevlen = 0;
    first = true;
  }
  void Add(uint32_t at, uint32_t len) {
    if (clear + 2 + count >= kTable) return;
    offset[count] = at;
    length[count] = len;
    count++;
  }
  bool Full(uint32_t len, uint32_t source) {
    need = len;
    from = source;
    return false;
  }
  // The part of the string that stopped the codes that still fits: the output
  // ends with it.
  void Cut() {
    std::memmove(out + pos, out + from, capacity - pos);
    pos = capacity;
  }
  // The first code after a clear: one byte.
  bool Single(uint32_t code) {
    if (pos >= capacity) return Full(1, pos);
    out[pos] = static_cast<uint8_t>(code);
    prevoff = pos++;
    prevlen = 1;
    first = false;
    return true;
  }
  // Not in the table yet: the previous string and its own first byte.
  bool Unknown(uint32_t& len) {
    len = prevlen + 1;
    if (len > capacity - pos) return Full(len, prevoff);
    std::memmove(out + pos, out + prevoff, prevlen);
    out[pos + prevlen] = out[prevoff];
    Add(pos, len);
    return true;
  }
  // In the table: adds the previous string and the first byte of this one.
  bool Known(uint32_t code, uint32_t& len) {
    if (code < clear) {
      if (pos >= capacity) return Full(1, pos);
      Add(pos - prevlen, prevlen + 1);
      len = 1;
      out[pos] = static_cast<uint8_t>(code);
      return true;
    }
    const uint32_t k = code - clear - 2;
    len = length[k];
    if (len > capacity - pos) return Full(len, offset[k]);
    Add(pos - prevlen, prevlen + 1);
    std::memmove(out + pos, out + offset[k], len);
    return true;
  }
  // One code; false at the end code or when the output is full.
  bool Take(uint32_t code) {
    if (code == clear) {
      Reset();
      return true;
    }
    if (code == clear + 1) return false;
    if (first) return Single(code);
    uint32_t len = 0;
    if (!(code >= clear + 2 + count ? Unknown(len) : Known(code, len))) return false;
    prevoff = pos;
    prevlen = len;
    pos += len;
    if (limit <= clear + 2 + count && codesize <= 11) {
      codesize++;
      limit <<= 1;
    }
    return true;
  }
};

// Runs the codes of a chain of sub-blocks to the end code or the end of the
// data. When the output is full, grow(codes) may make it larger and the code is
// taken again; otherwise the output ends with what fits. Inlined into each
// caller, so the codes' state stays in registers.
template <class Grow>
inline __attribute__((always_inline)) void RunCodes(GifCodes& codes, const uint8_t* data, uint32_t length,
                                                    Grow grow) {
  codes.Reset();
  SubBlockBits in(data, length);
  uint32_t code = 0;
  while (in.Next(codes.codesize, code)) {
    if (codes.Take(code)) continue;
    if (!codes.need) break;  // the end code
    bool taken = false;
    while (!taken && codes.need && grow(codes)) {
      codes.need = 0;
      taken = codes.Take(code);
    }
    if (taken) continue;
    if (codes.need) codes.Cut();
    break;
  }
}

}  // namespace

bool ELoader_GIF::NewTables() {
  FreeTables();
  stroffset_ = new (std::nothrow) uint32_t[kTable]();
  strlength_ = new (std::nothrow) uint32_t[kTable]();
  if (stroffset_ && strlength_) return true;
  FreeTables();
  return false;
}

int ELoader_GIF::UnCompress(void* outv, uint32_t capacity, const void* datav, uint32_t length,
                            uint8_t mincodesize) {
  const uint8_t* data = static_cast<const uint8_t*>(datav);
  if (!length || !data) return 0;
  // Codes are at most 12 bits: a larger minimum leaves no room for a table.
  if (mincodesize > 11) return 0;
  if (!NewTables()) return 0;
  GifCodes codes{static_cast<uint8_t*>(outv), capacity, stroffset_, strlength_,
                 mincodesize ? 1u << mincodesize : 1u, mincodesize + 1u};
  RunCodes(codes, data, length, [](GifCodes&) { return false; });
  strcount_ = codes.count;
  FreeTables();
  return 1;
}

uint8_t* ELoader_GIF::DecodeImage(void* image, ELoaderWork* work) {
  ELDR_GIFIMAGE& im = *static_cast<ELDR_GIFIMAGE*>(image);
  im.buffersize = im.decoded = 0;
  const uint64_t pixels = static_cast<uint64_t>(im.width) * im.height;
  if (pixels > kMaxBlock) return nullptr;
  SeekSet(im.datastart);
  const uint32_t length = Left() < im.datalength ? Left() : im.datalength;
  if (!length || im.mincodesize > 11 || !NewTables()) return nullptr;
  // A first guess of what the data gives; the output grows from there.
  uint64_t first = 4ull * length + 4096;
  if (first > pixels) first = pixels;
  uint8_t* buf = work->Take(first ? static_cast<uint32_t>(first) : 1);
  if (!buf) {
    FreeTables();
    return nullptr;
  }
  GifCodes codes{buf, static_cast<uint32_t>(first), stroffset_, strlength_,
                 im.mincodesize ? 1u << im.mincodesize : 1u, im.mincodesize + 1u};
  // The output doubles as the codes fill it, up to the image's pixels.
  RunCodes(codes, data_ + Tell(), length, [work, pixels](GifCodes& c) {
    if (c.capacity >= pixels) return false;
    uint64_t size = 2ull * c.capacity;
    if (size < static_cast<uint64_t>(c.pos) + c.need) size = static_cast<uint64_t>(c.pos) + c.need;
    if (size > pixels) size = pixels;
    uint8_t* grown = work->Take(static_cast<uint32_t>(size));
    if (!grown) return false;
    std::memcpy(grown, c.out, c.pos);
    work->Free(c.out);
    c.out = grown;
    c.capacity = static_cast<uint32_t>(size);
    return true;
  });
  strcount_ = codes.count;
  FreeTables();
  im.buffersize = codes.capacity;
  im.decoded = codes.pos;
  return codes.out;
}

void ELoader_GIF::AddUCmpString(uint8_t*, uint32_t end, uint32_t length, uint16_t clear) {
  if (!stroffset_ || !strlength_ || length > end) return;
  if (clear + strcount_ + 2u < kTable) {
    stroffset_[strcount_] = end - length;
    strlength_[strcount_] = length;
    strcount_++;
  }
}

void ELoader_GIF::GetString(uint8_t* out, uint8_t* dst, uint32_t& length, uint32_t code, uint16_t clear) {
  if (code < clear + 2u) {
    dst[0] = static_cast<uint8_t>(code);
    length = 1;
    return;
  }
  const uint32_t k = code - clear - 2;
  if (!stroffset_ || !strlength_ || k >= strcount_) {
    length = 0;
    return;
  }
  length = strlength_[k];
  std::memcpy(dst, out + stroffset_[k], length);
}

// The logical screen: its size makes the surface; the global colour table.
template <class Target>
int ELoader_GIF::TakeScreen(const GifDecode<Target>& d) {
  ELDR_GIFHEADER& h = *d.header;
  ELDR_2DCALLBACKINFO* info = d.info;
  for (int i = 0; i < 6; i++) Read8(&h.signature[i]);
  if (h.signature[0] != 'G' || h.signature[1] != 'I' || h.signature[2] != 'F' || h.signature[3] != '8' ||
      h.signature[4] <= '6')
    return ERES_NOTTHISFORMAT;
  uint8_t packed = 0, aspect = 0;
  Read16(&h.width);
  Read16(&h.height);
  Read8(&packed);
  Read8(&h.background);
  Read8(&aspect);
  info->width = h.width;
  info->height = h.height;
  info->indexed = 1;
  if (!ELoader_SizeAllowed(h.width, h.height, info->renderformat, info->flags)) return ERES_NOMEMORY;
  const int r = d.target->LdrOnCreate(info);
  if (r) return r;
  for (uint32_t& w : h.globalwords) w = 0xFF000000u;
  if (packed & 0x80) {
    h.globalcount = static_cast<uint16_t>(1u << ((packed & 7) + 1));
    ReadColours(this, h.globalwords, h.globalcount);
    info->data = h.globalwords;
    info->bytecount = 4u * h.globalcount;
    d.target->LdrOnPaletteStream(info);
  }
  h.searchpos = Tell();
  return ERES_OK;
}

// The next image: its colour table, its pixels and its transparent entry.
template <class Target>
int ELoader_GIF::TakeImage(const GifDecode<Target>& d, ELDR_GIFIMAGE& im) {
  const ELDR_GIFHEADER& h = *d.header;
  ELDR_2DCALLBACKINFO* info = d.info;
  info->paletteindex = 0;
  info->pixelindex = 0;
  if (!SearchImageData(info, d.header, &im)) return ERES_NOIMAGE;
  if (im.localcount) {
    info->data = im.localwords;
    info->bytecount = 4u * im.localcount;
    d.target->LdrOnPaletteStream(info);
  }
  ELoaderWork work;
  uint8_t* buf = DecodeImage(&im, &work);
  if (!buf) return ERES_BAD;
  if (im.controlseen && im.transparency) {
    info->transparency = 1;
    info->paletteindex = im.transparentindex;
    uint32_t word = (im.localcount ? im.localwords : h.globalwords)[im.transparentindex] & 0x00FFFFFFu;
    info->data = &word;
    info->bytecount = 4;
    d.target->LdrOnPaletteStream(info);
  }
  return SendRows(d, im, buf);
}

// The image's rows onto the screen; an image reaching past the logical screen
// is cut at its edges. Rows the data did not reach make the picture a failure;
// the rows before them stay delivered. Data that ends after the last pixel
// (without an end code or a trailer) is a whole picture.
template <class Target>
int ELoader_GIF::SendRows(const GifDecode<Target>& d, const ELDR_GIFIMAGE& im, uint8_t* buf) {
  const ELDR_GIFHEADER& h = *d.header;
  ELDR_2DCALLBACKINFO* info = d.info;
  const uint32_t iw = im.width, ih = im.height, sw = h.width, left = im.left;
  const uint32_t cols = left >= sw ? 0 : (iw < sw - left ? iw : sw - left);
  const uint32_t whole = iw ? im.decoded / iw : ih;  // rows the data filled
  for (uint32_t j = 0; j < ih && j < whole; j++) {
    const uint32_t y = im.interlaced ? InterlacedRow(j, ih) : j;
    if (!cols || im.top + y >= h.height) continue;
    info->pixelindex = static_cast<int32_t>(sw * (im.top + y) + left);
    info->data = buf + static_cast<size_t>(iw) * j;
    info->bytecount = cols;
    const int r = d.target->LdrOnPixelStream(info);
    if (r) return r;
  }
  return whole < ih ? ERES_BAD : ERES_OK;
}

template <class Target>
int ELoader_GIF::Run(Target* target, void* data, uint32_t length, uint8_t renderformat, uint32_t flags) {
  LinkData(data, length);
  ELDR_2DCALLBACKINFO info = NewInfo(renderformat, flags);
  ELDR_GIFHEADER h;
  std::memset(&h, 0, sizeof h);
  const GifDecode<Target> d{target, &info, &h};
  int r = TakeScreen(d);
  if (r) return r;
  ELDR_GIFIMAGE im;
  std::memset(&im, 0, sizeof im);
  for (uint32_t n = 0; n <= info.frameindex; n++)
    if ((r = TakeImage(d, im)) != 0) return r;
  return ERES_OK;
}

int ELoader_GIF::Start(E2DSurfaceBase* surface, void* data, uint32_t length, uint8_t renderformat,
                       uint32_t flags) {
  if (!surface) return ERES_NOTTHISFORMAT;
  return Run(surface, data, length, renderformat, flags);
}

int ELoader_GIF::Decode(ELDR_2DRECEIVER* target, void* data, uint32_t length, uint8_t renderformat,
                        uint32_t flags) {
  if (!target) return ERES_NOTTHISFORMAT;
  return Run(target, data, length, renderformat, flags);
}
