// Loader interface: a small read-only stream over a file image in memory, the
// records through which loaders fill surfaces, and the registration of the
// built-in loaders with the display.
#ifndef ZARN_LOADERS_ELDR_BASE_H
#define ZARN_LOADERS_ELDR_BASE_H

#include <cstdint>

#include "framework/zarn_types.h"

class ClassEDisplay;
class E2DSurfaceBase;
class E3DSurface;

// Handed by an image loader to every 2D loader callback of a surface.
struct ELDR_2DCALLBACKINFO {
  uint32_t width;
  uint32_t height;
  uint8_t indexed;       // 1: one byte per pixel (palette index); 0: 32-bit colour words
  uint8_t transparency;  // the image carries alpha, a transparent entry or a colour key
  void* data;            // bytes of the current palette or pixel call
  uint32_t bytecount;
  uint32_t frameindex;   // last image of a multi-image file to decode
  uint8_t renderformat;  // the pixel format argument of Start
  uint32_t flags;        // the flags argument of Start
  uint32_t paletteindex; // entry of the next palette call's first word
  int32_t pixelindex;    // y * width + x of the next pixel call's first pixel
};

// Handed by the model loader to the 3D loader callbacks.
struct ELDR_3DCALLBACKINFO {
  uint32_t vertextotal;
  uint32_t polygontotal;
  uint8_t texelmode;     // 0: 28-byte per-triangle records; else 12-byte per-vertex records
  void* data;
  uint32_t bytecount;
  int32_t vertexindex;   // advanced by bytecount / 12
  int32_t polygonindex;  // advanced by bytecount / 16
  int32_t texelindex;    // advanced by bytecount / record size
};

// What every step of one picture's decode works on: the surface or receiver the
// picture goes to, the record handed to its callbacks, and what the file's
// headers said.
template <class Target, class Header>
struct ELDR_DECODE {
  Target* target;
  ELDR_2DCALLBACKINFO* info;
  Header* header;
};

// Anything that takes decoded images the way a surface's loader callbacks do;
// lets the decoders run without a surface (inspection, checks).
class ELDR_2DRECEIVER {
 public:
  virtual ~ELDR_2DRECEIVER() = default;
  virtual int LdrOnCreate(ELDR_2DCALLBACKINFO* info) = 0;
  virtual int LdrOnPaletteStream(ELDR_2DCALLBACKINFO* info) = 0;
  virtual int LdrOnPixelStream(ELDR_2DCALLBACKINFO* info) = 0;
};

class ClassELoaderBase {
 public:
  ClassELoaderBase();
  virtual ~ClassELoaderBase();
  ClassELoaderBase(const ClassELoaderBase&) = delete;
  ClassELoaderBase& operator=(const ClassELoaderBase&) = delete;

  // Result (ERESULT): ERES_OK, ERES_BAD (bad data), ERES_NOMEMORY,
  // ERES_NOTTHISFORMAT (no callback made), or a callback's refusal as it is.
  virtual int Start(E2DSurfaceBase* surface, void* data, uint32_t length, uint8_t renderformat,
                    uint32_t flags);
  virtual int Start(E3DSurface* surface, void* data, uint32_t length);

  void LinkData(void* data, uint32_t size);
  // A callback record with every field zero but the target format and flags.
  static ELDR_2DCALLBACKINFO NewInfo(uint8_t renderformat, uint32_t flags);
  void SetByteOrder(bool big) { bigendian_ = big ? 1 : 0; }
  int Read8(uint8_t* out);
  int Read16(uint16_t* out);
  int Read32(uint32_t* out);
  int ReadStream(void* dst, uint32_t n);
  // Seeks never leave the image: a target past the end (or before the start)
  // parks the stream at the end, so every later read fails.
  void SeekSet(uint32_t p);
  void SeekRelative(int32_t d);
  uint32_t Tell() const { return position_; }
  bool HaveData() const { return position_ < size_; }
  uint32_t Size() const { return size_; }
  uint32_t Left() const { return position_ < size_ ? size_ - position_ : 0; }

 protected:
  uint8_t bigendian_ = 0;
  const uint8_t* data_ = nullptr;
  uint32_t position_ = 0;
  uint32_t size_ = 0;
};

// The work blocks of one decode. Every block taken here is freed when the owner
// goes out of scope, so a loader leaves through any return without a leak:
//   ELoaderWork work;
//   uint8_t* row = work.Take(n);
//   if (!row) return 2;
class ELoaderWork {
 public:
  ELoaderWork() = default;
  ~ELoaderWork();
  ELoaderWork(const ELoaderWork&) = delete;
  ELoaderWork& operator=(const ELoaderWork&) = delete;

  // n bytes (not cleared); null when memory is short or all slots are in use.
  uint8_t* Take(uint32_t n);
  // Frees a block early; null or a block not taken here is ignored.
  void Free(void* block);

  static constexpr int kSlots = 12;

 private:
  void* blocks_[kSlots] = {};
};

// The largest picture a loader takes: 16 MB of surface in the pixel format it
// would be made in (a quarter of the console's memory). Every loader asks before
// it allocates anything or makes the surface, and answers ERES_NOMEMORY when the
// picture is larger; the format is the flags' override (bits 8 to 15) when set,
// else renderformat, and a format no surface has counts as 4 bytes a pixel.
constexpr uint32_t kELoaderMaxSurfaceBytes = 16u << 20;
bool ELoader_SizeAllowed(uint32_t width, uint32_t height, uint8_t renderformat, uint32_t flags);

// Creates the built-in loaders and registers them in the display's slots; 1 when
// all were taken, 0 when a slot was refused (that loader is deleted, the rest not made).
// Defined with the concrete loaders (eldr_register.cpp), above the display.
int RegisterDisplayLoaders(ClassEDisplay* display);

#endif
