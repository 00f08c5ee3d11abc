// Fixed units of work for instruction counting (callgrind on the build host,
// a counting plugin under qemu-user for the ARM build). Each run sets up, then
// does one row's work on one side REPEATS times; bench/count.sh runs it with 0
// and with N repeats and divides the difference, so set-up never counts.
//
//   bench_count ROW SIDE REPEATS [FILE]
//   bench_count check [FILE...]    every row once on both sides, pixels compared
//
// Rows and sides:
//   sprites-keyed    ours | sdl | sdl-rle   200 keyed 24x24 stones
//   sprites-op200    ours | sdl             the same with opacity 200
//   glyph-faces      ours | sdl             60 keyed 6x10 glyph copies
//   glyph-masks      ours                   60 subtractive glyph masks (SDL2 has none)
//   copy             ours | sdl             a 320x240 copy
//   alpha            ours | sdl             50 48x32 pictures with per-pixel alpha
//                                           (ours: an RGBA surface of 5:6:5 words;
//                                           SDL2: 8-bit ARGB, SDL_BLENDMODE_BLEND)
//   fill128, fill192 ours | sdl             a blended full-screen fill (SDL2's
//                                           software renderer, SDL_RenderFillRect)
//   png-decode       ours | libpng          FILE decoded to RGBA words
//   png-565          ours | libpng          FILE into a 5:6:5 surface (libpng decode
//                                           plus a plain conversion loop)
//   bmp-565          ours | loop            FILE (24-bit) into a 5:6:5 surface
//   cpu-steps        ours                   1000 logic steps of a game against
//                                           three computer players, no drawing
//   flip-keyed       ours                   200 keyed stones turned a quarter (BltFlip)
//   spans-keyed      ours                   50 keyed stones turned and scaled 1.5 (BltFx)
//   spans-op128      ours                   the same at opacity 128 (the generic span rows)
//   fill-cells       ours                   200 8x8 fills at opacity 128 (the fill front)
//   landscape        ours                   a 320x240 ground plane of the background
//   lzw-pack         ours                   FILE through the framework's LZW codec
//   lzw-unpack       ours                   the same stream decoded
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/bench_level.h"
#include "bench/bench_world.h"
#include "loaders/eldr_base.h"
#include "loaders/eldr_png.h"

#ifdef ZARN_HAVE_LIBPNG
#include <png.h>
#endif

namespace {

using namespace zb;

std::vector<uint8_t> ReadFile(const char* name) {
  std::ifstream f(name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// ---- Pictures ----------------------------------------------------------------------

// Takes our decoder's rows as RGBA words (indices through the palette), as
// libpng's rows land in its buffer.
class RgbaRows : public ELDR_2DRECEIVER {
 public:
  std::vector<uint32_t> pixels;
  uint32_t palette[256] = {};
  int LdrOnCreate(ELDR_2DCALLBACKINFO* i) override {
    pixels.assign(size_t(i->width) * i->height, 0);
    return 0;
  }
  int LdrOnPaletteStream(ELDR_2DCALLBACKINFO* i) override {
    const uint32_t n = i->bytecount / 4;
    if (i->paletteindex + n <= 256) std::memcpy(palette + i->paletteindex, i->data, 4 * n);
    i->paletteindex += n;
    return 0;
  }
  int LdrOnPixelStream(ELDR_2DCALLBACKINFO* i) override {
    uint32_t* d = pixels.data() + i->pixelindex;
    if (i->indexed) {
      const uint8_t* s = static_cast<const uint8_t*>(i->data);
      for (uint32_t k = 0; k < i->bytecount; k++) d[k] = palette[s[k]];
      i->pixelindex += int32_t(i->bytecount);
    } else {
      std::memcpy(d, i->data, i->bytecount);
      i->pixelindex += int32_t(i->bytecount / 4);
    }
    return 0;
  }
};

#ifdef ZARN_HAVE_LIBPNG
struct MemReader {
  const uint8_t* p;
  size_t left;
};

void ReadMem(png_structp png, png_bytep out, png_size_t n) {
  MemReader* m = static_cast<MemReader*>(png_get_io_ptr(png));
  if (n > m->left) png_error(png, "short");
  std::memcpy(out, m->p, n);
  m->p += n;
  m->left -= n;
}

// libpng's classic decode to 8-bit RGBA rows (16-bit samples cut to their high
// byte, as ours reads them). Returns width and height; empty on failure.
bool LibpngRgba(const std::vector<uint8_t>& file, std::vector<uint8_t>& rgba, uint32_t& w, uint32_t& h,
                bool* transparency = nullptr) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  MemReader m{file.data(), file.size()};
  png_set_read_fn(png, &m, ReadMem);
  png_read_info(png, info);
  w = png_get_image_width(png, info);
  h = png_get_image_height(png, info);
  if (transparency)
    *transparency = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  rgba.resize(size_t(w) * h * 4);
  rows.resize(h);
  for (uint32_t y = 0; y < h; y++) rows[y] = rgba.data() + size_t(y) * w * 4;
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

#endif

inline uint16_t To565(uint32_t r, uint32_t g, uint32_t b) {
  return uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

#ifdef ZARN_HAVE_LIBPNG
void LibpngTo565(const std::vector<uint8_t>& file, std::vector<uint16_t>& out) {
  std::vector<uint8_t> rgba;
  uint32_t w = 0, h = 0;
  bool transparency = false;
  if (!LibpngRgba(file, rgba, w, h, &transparency)) return;
  out.resize(size_t(w) * h);
  const uint8_t* s = rgba.data();
  // As a 5:6:5 surface takes pictures: anything not opaque becomes the key
  // black, and true black of a picture with transparency is lifted off it.
  const uint16_t lifted = To565(8, 8, 8);
  for (size_t i = 0; i < out.size(); i++, s += 4) {
    if (s[3] < 255)
      out[i] = 0;
    else if (transparency && (s[0] | s[1] | s[2]) == 0)
      out[i] = lifted;
    else
      out[i] = To565(s[0], s[1], s[2]);
  }
}

#endif

// A plain 24-bit bottom-up BMP into 5:6:5 rows.
void BmpLoopTo565(const std::vector<uint8_t>& f, std::vector<uint16_t>& out) {
  if (f.size() < 54) return;
  auto get32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, f.data() + at, 4);
    return v;
  };
  const uint32_t off = get32(10), w = get32(18), h = get32(22);
  const uint32_t stride = (w * 3 + 3) & ~3u;
  if (f[28] != 24 || off + size_t(stride) * h > f.size()) return;
  out.resize(size_t(w) * h);
  for (uint32_t y = 0; y < h; y++) {
    const uint8_t* s = f.data() + off + size_t(h - 1 - y) * stride;
    uint16_t* d = out.data() + size_t(y) * w;
    for (uint32_t x = 0; x < w; x++, s += 3) d[x] = To565(s[2], s[1], s[0]);
  }
}

struct Surface565 {
  World& w;
  E2DSurface s;
  explicit Surface565(World& world) : w(world) { s.LinkECD(&w.ecd); }
  int Load(std::vector<uint8_t>& file) {
    s.Free();
    return w.dsp.CreateSurface(&s, file.data(), uint32_t(file.size()));
  }
  std::vector<uint16_t> Pixels() {
    std::vector<uint16_t> out;
    const uint32_t wd = s.GetStoredWidth(), h = s.GetStoredRows();
    const uint16_t* p = reinterpret_cast<const uint16_t*>(s.GetBuffer());
    for (uint32_t y = 0; y < h; y++)
      for (uint32_t x = 0; x < wd; x++) out.push_back(p[size_t(y) * s.GetPitch() + x]);
    return out;
  }
};

// ---- Fronts, span kernels and the LZW codec (ours only) ------------------------------

void FlipsOurs(World& w) {
  for (const tagPOINT& p : w.spritePos) w.back.BltFlip(p.x, p.y, &w.sprite, nullptr, 1024, 0, 0x01, 0);
}

void SpansOurs(World& w, int32_t flags, uint32_t value) {
  for (int i = 0; i < kPictures; i++) {
    E2DBLTFX fx = {flags, value, 0x18000, 0x18000, 300, 0};
    w.back.BltFx(w.spritePos[size_t(i)].x + 12, w.spritePos[size_t(i)].y + 12, &w.sprite, nullptr, &fx);
  }
}

void CellsOurs(World& w) {
  for (const tagPOINT& p : w.spritePos) {
    const tagRECT r = {p.x, p.y, p.x + 8, p.y + 8};
    w.back.FillRect(&r, 0x4080C0, 0x08, 128);
  }
}

void LandscapeOurs(World& w) { w.back.Landscape(nullptr, 256, 160 * 16, 120 * 16, 300, 512, 256, &w.background); }

struct Lzw {
  ClassEMemory codec;
  std::vector<uint8_t> packed, unpacked;
  uint32_t packedSize = 0;
  explicit Lzw(const std::vector<uint8_t>& file)
      : packed(file.size() + file.size() / 100 + 12), unpacked(file.size()) {}
  void Pack(const std::vector<uint8_t>& file) {
    packedSize = uint32_t(packed.size());
    if (!file.empty()) codec.Compress(packed.data(), packedSize, file.data(), uint32_t(file.size()));
  }
  void Unpack() {
    uint32_t n = uint32_t(unpacked.size());
    codec.UnCompress(unpacked.data(), n, packed.data(), packedSize);
  }
};

// ---- Pixel checks --------------------------------------------------------------------

// Largest difference of one 5:6:5 channel, in that channel's own steps.
int MaxStep565(const uint16_t* a, const uint16_t* b, size_t n) {
  int worst = 0;
  for (size_t i = 0; i < n; i++) {
    const int d[3] = {std::abs((a[i] >> 11) - (b[i] >> 11)), std::abs(((a[i] >> 5) & 63) - ((b[i] >> 5) & 63)),
                      std::abs((a[i] & 31) - (b[i] & 31))};
    for (int v : d) worst = v > worst ? v : worst;
  }
  return worst;
}

#ifdef ZARN_HAVE_SDL2
std::vector<uint16_t> Back(World& w) {
  const uint16_t* p = reinterpret_cast<const uint16_t*>(w.back.GetBuffer());
  return std::vector<uint16_t>(p, p + size_t(w.back.GetPitch()) * w.back.GetStoredRows());
}

void Reset(World& w) { w.back.BltFast(0, 0, &w.background, nullptr); }
#endif

int failures = 0;
void Report(const char* row, int steps, int allowed) {
  std::printf("%-16s max difference %d step(s) (allowed %d)%s\n", row, steps, allowed,
              steps > allowed ? "  MISMATCH" : "");
  if (steps > allowed) failures++;
}

int Check(World& w, int argc, char** argv) {
#ifdef ZARN_HAVE_SDL2
  auto both = [&](const char* row, int allowed, auto ours, auto sdl) {
    Reset(w);
    ours();
    const std::vector<uint16_t> a = Back(w);
    Reset(w);
    sdl();
    const std::vector<uint16_t> b = Back(w);
    Report(row, MaxStep565(a.data(), b.data(), a.size()), allowed);
  };
  both("sprites-keyed", 0, [&] { SpritesOurs(w, 0x01, 0); }, [&] { SpritesSdl(w); });
  both("sprites-keyed/rle", 0, [&] { SpritesOurs(w, 0x01, 0); }, [&] {
    SDL_SetSurfaceRLE(w.sSprite, 1);
    SpritesSdl(w);
    SDL_SetSurfaceRLE(w.sSprite, 0);
  });
  both("sprites-op200", 1, [&] { SpritesOurs(w, 0x09, 200); }, [&] {
    SDL_SetSurfaceBlendMode(w.sSprite, SDL_BLENDMODE_BLEND);
    SDL_SetSurfaceAlphaMod(w.sSprite, 200);
    SpritesSdl(w);
    SDL_SetSurfaceAlphaMod(w.sSprite, 255);
    SDL_SetSurfaceBlendMode(w.sSprite, SDL_BLENDMODE_NONE);
  });
  both("glyph-faces", 0, [&] { GlyphsOurs(w, 0x01, 0); }, [&] { GlyphFacesSdl(w); });
  // SDL2 blends 8-bit ARGB onto 5:6:5 with 5-bit alpha (31/32 even for opaque
  // pixels); ours with 6-bit alpha and opaque pixels copied: up to 3 steps of
  // the 6-bit green apart.
  both("alpha", 3, [&] { PicturesOurs(w); }, [&] { PicturesSdl(w); });
  both("copy", 0, [&] { w.back.BltFast(0, 0, &w.background, nullptr); },
       [&] { SDL_BlitSurface(w.sBackground, nullptr, w.sBack, nullptr); });
  for (uint32_t a : {128u, 192u}) {
    both(a == 128 ? "fill128" : "fill192", 1, [&] { w.back.FillRect(nullptr, 0x4080C0, 0x08, a); }, [&] {
      SdlFill f(w, uint8_t(a));
      f.Run();
    });
  }
#endif
  Surface565 s(w);
  for (int i = 0; i < argc; i++) {
    std::vector<uint8_t> file = ReadFile(argv[i]);
    const std::string name = argv[i];
    std::vector<uint16_t> ref;
    if (name.size() > 4 && name.substr(name.size() - 4) == ".bmp") {
      BmpLoopTo565(file, ref);
    } else {
#ifdef ZARN_HAVE_LIBPNG
      std::vector<uint8_t> rgba;
      uint32_t wd = 0, h = 0;
      RgbaRows ours;
      ELoader_PNG png;
      const int r = png.Decode(&ours, file.data(), uint32_t(file.size()), 32, 0);
      if (r != 0 || !LibpngRgba(file, rgba, wd, h) || ours.pixels.size() * 4 != rgba.size() ||
          std::memcmp(ours.pixels.data(), rgba.data(), rgba.size()) != 0) {
        std::printf("%-16s decode differs from libpng  MISMATCH\n", argv[i]);
        failures++;
      } else {
        std::printf("%-16s decode identical to libpng\n", argv[i]);
      }
      LibpngTo565(file, ref);
#endif
    }
    if (s.Load(file) != 0 || ref.empty()) {
      std::printf("%s: could not load\n", argv[i]);
      failures++;
      continue;
    }
    const std::vector<uint16_t> got = s.Pixels();
    Report(argv[i], got.size() == ref.size() ? MaxStep565(got.data(), ref.data(), ref.size()) : 99, 0);
  }
  return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "check") == 0) {
    World& w = *new World;
    RegisterDisplayLoaders(&w.dsp);
    return Check(w, argc - 2, argv + 2);
  }
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_count ROW SIDE REPEATS [FILE] | bench_count check [FILE...]\n");
    return 2;
  }
  const std::string row = argv[1], side = argv[2];
  const int repeats = std::atoi(argv[3]);
  std::vector<uint8_t> file = argc > 4 ? ReadFile(argv[4]) : std::vector<uint8_t>();
  World& w = *new World;  // left to the exit: its teardown would count too
  RegisterDisplayLoaders(&w.dsp);
  Surface565 surface(w);
  RgbaRows rows;
  ELoader_PNG png;
  std::vector<uint16_t> out;
  zb::CpuGame* game = row == "cpu-steps" ? new zb::CpuGame : nullptr;
  Lzw lzw(file);
  if (row == "lzw-unpack") lzw.Pack(file);
#ifdef ZARN_HAVE_SDL2
  SdlFill* fill = nullptr;
  if (side == "sdl" && (row == "fill128" || row == "fill192")) fill = new SdlFill(w, row == "fill128" ? 128 : 192);
  if (side == "sdl-rle") SDL_SetSurfaceRLE(w.sSprite, 1);
  if (row == "sprites-op200" && side == "sdl") {
    SDL_SetSurfaceBlendMode(w.sSprite, SDL_BLENDMODE_BLEND);
    SDL_SetSurfaceAlphaMod(w.sSprite, 200);
  }
  if (side != "ours") {  // the first blit encodes the run-length sprite: set-up, not work
    SDL_Rect d = {0, 0, 0, 0};
    SDL_BlitSurface(w.sSprite, nullptr, w.sBack, &d);
  }
#endif
  bool known = true;
  for (int i = 0; i < repeats && known; i++) {
    if (row == "sprites-keyed" && side == "ours") SpritesOurs(w, 0x01, 0);
    else if (row == "sprites-op200" && side == "ours") SpritesOurs(w, 0x09, 200);
    else if (row == "glyph-faces" && side == "ours") GlyphsOurs(w, 0x01, 0);
    else if (row == "glyph-masks" && side == "ours") GlyphsOurs(w, 0x21, 1);
    else if (row == "copy" && side == "ours") w.back.BltFast(0, 0, &w.background, nullptr);
    else if (row == "alpha" && side == "ours") PicturesOurs(w);
    else if (row == "fill128" && side == "ours") w.back.FillRect(nullptr, 0x4080C0, 0x08, 128);
    else if (row == "fill192" && side == "ours") w.back.FillRect(nullptr, 0x4080C0, 0x08, 192);
    else if (row == "png-decode" && side == "ours") png.Decode(&rows, file.data(), uint32_t(file.size()), 32, 0);
    else if ((row == "png-565" || row == "bmp-565") && side == "ours") surface.Load(file);
    else if (game && side == "ours") game->Steps(1000);
    else if (row == "flip-keyed" && side == "ours") FlipsOurs(w);
    else if (row == "spans-keyed" && side == "ours") SpansOurs(w, 0x01, 0);
    else if (row == "spans-op128" && side == "ours") SpansOurs(w, 0x09, 128);
    else if (row == "fill-cells" && side == "ours") CellsOurs(w);
    else if (row == "landscape" && side == "ours") LandscapeOurs(w);
    else if (row == "lzw-pack" && side == "ours") lzw.Pack(file);
    else if (row == "lzw-unpack" && side == "ours") lzw.Unpack();
#ifdef ZARN_HAVE_SDL2
    else if ((row == "sprites-keyed" || row == "sprites-op200") && side != "ours") SpritesSdl(w);
    else if (row == "glyph-faces" && side == "sdl") GlyphFacesSdl(w);
    else if (row == "copy" && side == "sdl") SDL_BlitSurface(w.sBackground, nullptr, w.sBack, nullptr);
    else if (row == "alpha" && side == "sdl") PicturesSdl(w);
    else if (fill) fill->Run();
#endif
#ifdef ZARN_HAVE_LIBPNG
    else if (row == "png-decode" && side == "libpng") {
      std::vector<uint8_t> rgba;
      uint32_t wd, h;
      LibpngRgba(file, rgba, wd, h);
    } else if (row == "png-565" && side == "libpng") LibpngTo565(file, out);
#endif
    else if (row == "bmp-565" && side == "loop") BmpLoopTo565(file, out);
    else known = false;
  }
  if (!known) {
    std::fprintf(stderr, "bench_count: no row %s on side %s\n", row.c_str(), side.c_str());
    return 2;
  }
  return 0;
}
