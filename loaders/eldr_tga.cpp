#include "loaders/eldr_tga.h"

#include <cstring>

#include "display/esurf_2dbase.h"

namespace {

// The header kinds this loader reads: a colour map exactly for colour-mapped
// images, 8-bit indices, grey at 8 bits and true colour at 16, 24 or 32.
bool Accepted(const ELDR_TGAHEADER& h) {
  if (h.maptype > 1) return false;
  if (h.imagetype < 1 || h.imagetype > 3) return false;
  if (h.maptype == 1 && h.mapentrysize != 24 && h.mapentrysize != 32) return false;
  if (h.depth != 8 && h.depth != 16 && h.depth != 24 && h.depth != 32) return false;
  if (h.imagetype == 3 && h.depth != 8) return false;
  if (h.descriptor & 0x10) return false;
  // Type and colour map must agree, or the rows would not match their buffers.
  if (h.imagetype == 1 && (h.maptype != 1 || h.depth != 8)) return false;
  if (h.imagetype == 2 && (h.maptype != 0 || h.depth == 8)) return false;
  if (h.imagetype == 3 && h.maptype != 0) return false;
  return true;
}

void ConvertRow(const uint8_t* raw, uint8_t* out, uint32_t width, const ELDR_TGAHEADER& h) {
  uint32_t w;
  switch (h.depth) {
    case 16:
      for (uint32_t x = 0; x < width; x++) {
        const uint32_t v = raw[2 * x] | static_cast<uint32_t>(raw[2 * x + 1]) << 8;
        w = 0xFF000000u | ((v & 31) << 3) << 16 | (((v >> 5) & 31) << 3) << 8 | ((v >> 10) & 31) << 3;
        std::memcpy(out + 4 * x, &w, 4);
      }
      break;
    case 24:
      for (uint32_t x = 0; x < width; x++) {
        const uint8_t* p = raw + 3 * x;
        w = 0xFF000000u | static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
        std::memcpy(out + 4 * x, &w, 4);
      }
      break;
    case 32:
      for (uint32_t x = 0; x < width; x++) {
        const uint8_t* p = raw + 4 * x;
        w = static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[0]) << 16 |
            static_cast<uint32_t>(p[1]) << 8 | p[2];
        std::memcpy(out + 4 * x, &w, 4);
      }
      break;
    default:
      if (h.imagetype == 3)
        for (uint32_t x = 0; x < width; x++) {
          w = 0xFF000000u | raw[x] * 0x010101u;
          std::memcpy(out + 4 * x, &w, 4);
        }
      break;  // colour-mapped: the raw row is delivered as it is
  }
}

}  // namespace

// The 18-byte header; false when it is not one this loader takes.
bool ELoader_TGA::ReadHeader(ELDR_TGAHEADER& h) {
  std::memset(&h, 0, sizeof h);
  // A file shorter than a header is not a TGA.
  if (Size() < 18) return false;
  Read8(&h.idlength);
  Read8(&h.maptype);
  Read8(&h.imagetype);
  Read16(&h.mapfirst);
  Read16(&h.maplength);
  Read8(&h.mapentrysize);
  Read16(&h.xorigin);
  Read16(&h.yorigin);
  Read16(&h.width);
  Read16(&h.height);
  Read8(&h.depth);
  Read8(&h.descriptor);
  return Accepted(h);
}

// The colour map at pos; the offset of the pixels after it.
template <class Target>
uint32_t ELoader_TGA::SendColourMap(Target* target, ELDR_2DCALLBACKINFO* info, const ELDR_TGAHEADER& h,
                                    uint32_t pos) {
  const uint32_t esize = h.mapentrysize / 8u;
  // At most 256 entries, and none past the last palette entry.
  const uint32_t room = h.mapfirst < 256 ? 256u - h.mapfirst : 0;
  const uint32_t n = h.maplength < room ? h.maplength : room;
  uint8_t map[256 * 4];
  uint32_t words[256];
  std::memset(map, 0, sizeof map);
  SeekSet(pos);
  ReadStream(map, n * esize);
  for (uint32_t i = 0; i < n; i++) {
    const uint8_t* p = map + esize * i;
    const uint32_t a = esize == 4 ? p[3] : 0xFFu;
    words[i] = a << 24 | static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
  }
  if (esize == 4) info->transparency = 1;
  info->paletteindex = h.mapfirst;
  info->data = words;
  info->bytecount = 4 * n;
  if (n) target->LdrOnPaletteStream(info);
  return pos + static_cast<uint32_t>(h.maplength) * esize;
}

// The rows from pos, bottom-up unless the descriptor says top-down. A file
// that ends before its last row is a failure; the rows before it stay delivered.
template <class Target>
int ELoader_TGA::SendRows(Target* target, ELDR_2DCALLBACKINFO* info, const ELDR_TGAHEADER& h, uint32_t pos) {
  const uint32_t w = h.width, ht = h.height;
  const uint32_t outrow = info->indexed ? w : 4 * w;
  const uint32_t rawrow = w * h.depth / 8;
  if (!outrow || !rawrow) return ERES_BAD;
  ELoaderWork work;
  uint8_t* raw = work.Take(rawrow);
  uint8_t* out = work.Take(outrow);
  if (!raw || !out) return ERES_NOMEMORY;
  info->data = info->indexed ? raw : out;
  info->bytecount = outrow;
  for (uint32_t i = 0; i < ht; i++) {
    const uint64_t at = pos + static_cast<uint64_t>(rawrow) * i;
    if (at + rawrow > Size()) return ERES_BAD;
    SeekSet(static_cast<uint32_t>(at));
    info->pixelindex = static_cast<int32_t>((h.descriptor & 0x20) ? i * w : w * (ht - i - 1));
    ReadStream(raw, rawrow);
    ConvertRow(raw, out, w, h);
    if (h.depth == 32) info->transparency = 1;
    // A refused row ends the rows; the picture so far stands.
    if (target->LdrOnPixelStream(info)) break;
  }
  return ERES_OK;
}

template <class Target>
int ELoader_TGA::Run(Target* target, void* data, uint32_t length, uint8_t renderformat, uint32_t flags) {
  LinkData(data, length);
  ELDR_2DCALLBACKINFO info = NewInfo(renderformat, flags);
  ELDR_TGAHEADER h;
  if (!ReadHeader(h)) return ERES_NOTTHISFORMAT;
  info.width = h.width;
  info.height = h.height;
  info.indexed = h.maptype == 1;
  // A picture larger than the bound is refused before anything is made for it.
  if (!ELoader_SizeAllowed(h.width, h.height, renderformat, flags)) return ERES_NOMEMORY;
  const int r = target->LdrOnCreate(&info);
  if (r) return r;
  uint32_t pos = 18u + h.idlength;
  if (h.maptype == 1) pos = SendColourMap(target, &info, h, pos);
  return SendRows(target, &info, h, pos);
}

int ELoader_TGA::Start(E2DSurfaceBase* surface, void* data, uint32_t length, uint8_t renderformat,
                       uint32_t flags) {
  if (!surface) return ERES_NOTTHISFORMAT;
  return Run(surface, data, length, renderformat, flags);
}

int ELoader_TGA::Decode(ELDR_2DRECEIVER* target, void* data, uint32_t length, uint8_t renderformat,
                        uint32_t flags) {
  if (!target) return ERES_NOTTHISFORMAT;
  return Run(target, data, length, renderformat, flags);
}
