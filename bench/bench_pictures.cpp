// Picture decoding beside the reference libraries: baseline and progressive
// JPEGs against libjpeg-turbo (accurate integer DCT, chroma replicated: the work
// this decoder does) and GIFs against giflib, on the same files in the same run.
// Before timing, every file is decoded both ways and the pixels compared.
// Two progressive files whose scans cost work without data (refine_*.jpg) are
// decoded by ours alone, beside the natural file of the same size they were
// made from (photo_prog.jpg); refine_empty.jpg must fail.
//
//   bench_pictures DIR [benchmark flags]      time every row (files of make_pictures.sh)
//   bench_pictures --once ROW FILE [N]        decode N times (default 1) through one
//                                             of CountJpegOurs, CountJpegTurbo,
//                                             CountGifOurs, CountGifLib: for callgrind
//                                             and the ARM counting plugin
// The ARM cross build has our side and --once only (ZARN_PICTURE_REFS unset).
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef ZARN_PICTURE_REFS
#include <benchmark/benchmark.h>
#include <gif_lib.h>
// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>
#endif

#include "loaders/eldr_gif.h"
#include "loaders/eldr_jpg.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
  Bytes out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return out;
}

// Takes rows the way a surface does: into one picture of 4 bytes (or 1) a pixel.
struct Picture : ELDR_2DRECEIVER {
  uint32_t width = 0, height = 0;
  Bytes pixels;
  uint32_t palette[256];
  int LdrOnCreate(ELDR_2DCALLBACKINFO* i) override {
    width = i->width;
    height = i->height;
    pixels.assign(static_cast<size_t>(width) * height * 4, 0);
    return 0;
  }
  int LdrOnPaletteStream(ELDR_2DCALLBACKINFO* i) override {
    uint32_t n = i->bytecount / 4;
    if (i->paletteindex > 255) return 10;
    if (n > 256 - i->paletteindex) n = 256 - i->paletteindex;
    std::memcpy(palette + i->paletteindex, i->data, 4 * n);
    i->paletteindex += n;
    return 0;
  }
  int LdrOnPixelStream(ELDR_2DCALLBACKINFO* i) override {
    const size_t per = i->indexed ? 1 : 4;
    std::memcpy(&pixels[static_cast<size_t>(i->pixelindex) * per], i->data, i->bytecount);
    i->pixelindex += static_cast<int32_t>(i->bytecount / per);
    return 0;
  }
};

__attribute__((noinline)) int CountJpegOurs(Bytes& file, Picture& out) {
  ELoader_JPG l;
  return l.Decode(&out, file.data(), static_cast<uint32_t>(file.size()), 6, 0);
}

#ifdef ZARN_PICTURE_REFS
struct JpegError {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};
void OnJpegError(j_common_ptr c) { longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); }

// Into 4 bytes a pixel (red, green, blue, unused), as the decoder above delivers.
__attribute__((noinline)) bool CountJpegTurbo(Bytes& file, Bytes& out) {
  jpeg_decompress_struct d;
  JpegError err;
  d.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = OnJpegError;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&d);
    return false;
  }
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&d, TRUE);
  d.dct_method = JDCT_ISLOW;
  d.do_fancy_upsampling = FALSE;
  d.out_color_space = d.num_components == 1 ? JCS_GRAYSCALE : JCS_EXT_RGBX;
  jpeg_start_decompress(&d);
  const size_t stride = static_cast<size_t>(d.output_width) * d.output_components;
  out.resize(stride * d.output_height);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = &out[stride * d.output_scanline];
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return true;
}

#endif

__attribute__((noinline)) void CountGifOurs(Bytes& file, Picture& out) {
  ELoader_GIF l;
  l.Decode(&out, file.data(), static_cast<uint32_t>(file.size()), 1, 0);
}

#ifdef ZARN_PICTURE_REFS
struct MemReader {
  const Bytes* file;
  size_t at;
};
int ReadGif(GifFileType* g, GifByteType* dst, int n) {
  MemReader* m = static_cast<MemReader*>(g->UserData);
  const size_t k = std::min(static_cast<size_t>(n), m->file->size() - m->at);
  std::memcpy(dst, m->file->data() + m->at, k);
  m->at += k;
  return static_cast<int>(k);
}

// The first image's rows into a screen of palette indices, in file order.
__attribute__((noinline)) bool CountGifLib(Bytes& file, Bytes& out) {
  MemReader m{&file, 0};
  int error = 0;
  GifFileType* g = DGifOpen(&m, ReadGif, &error);
  if (!g) return false;
  out.assign(static_cast<size_t>(g->SWidth) * g->SHeight, 0);
  bool ok = false;
  GifRecordType type;
  while (DGifGetRecordType(g, &type) == GIF_OK && type != TERMINATE_RECORD_TYPE) {
    if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(g) != GIF_OK) break;
      const GifImageDesc& d = g->Image;
      ok = d.Left + d.Width <= g->SWidth && d.Top + d.Height <= g->SHeight;
      for (int y = 0; ok && y < d.Height; y++) {
        static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        int row = y;
        if (d.Interlace) {
          int j = y;
          for (int p = 0; p < 4; p++) {
            const int n = d.Height > start[p] ? (d.Height - start[p] + step[p] - 1) / step[p] : 0;
            if (j < n) {
              row = start[p] + j * step[p];
              break;
            }
            j -= n;
          }
        }
        ok = DGifGetLine(g, &out[static_cast<size_t>(d.Top + row) * g->SWidth + d.Left], d.Width) == GIF_OK;
      }
      break;
    }
    if (type == EXTENSION_RECORD_TYPE) {
      int code;
      GifByteType* ext;
      if (DGifGetExtension(g, &code, &ext) != GIF_OK) break;
      while (ext && DGifGetExtensionNext(g, &ext) == GIF_OK) {
      }
    }
  }
  DGifCloseFile(g, &error);
  return ok;
}

// The same pixels both ways: JPEG channels within 3 (the inverse DCT passes run
// in the other order), GIF indices exactly.
bool SameJpeg(Bytes& file) {
  Picture ours;
  Bytes ref;
  if (CountJpegOurs(file, ours) != 0 || !CountJpegTurbo(file, ref) || ref.size() != ours.pixels.size()) return false;
  for (size_t i = 0; i < ref.size(); i++)
    if ((i & 3) != 3 && std::abs(int(ref[i]) - int(ours.pixels[i])) > 3) return false;
  return true;
}
bool SameGif(Bytes& file) {
  Picture ours;
  Bytes ref;
  CountGifOurs(file, ours);
  if (!CountGifLib(file, ref) || ref.size() * 4 != ours.pixels.size()) return false;
  for (size_t i = 0; i < ref.size(); i++)
    if (ref[i] != ours.pixels[i]) return false;
  return true;
}

void Register(const std::string& dir) {
  for (const char* name : {"small.jpg", "small_prog.jpg", "large.jpg", "large_prog.jpg", "photo_prog.jpg",
                           "refine_runs.jpg", "refine_empty.jpg", "small.gif", "large.gif"}) {
    const std::string path = dir + "/" + name;
    Bytes* file = new Bytes(ReadFile(path));
    if (file->empty()) {
      std::fprintf(stderr, "cannot read %s (make it with bench/make_pictures.sh)\n", path.c_str());
      std::exit(2);
    }
    const bool jpeg = std::strstr(name, ".jpg") != nullptr;
    // The emptied refinements are a failure; every other picture decodes both ways alike.
    const bool fails = std::strcmp(name, "refine_empty.jpg") == 0;
    const bool ours = std::strncmp(name, "refine_", 7) == 0;
    Picture once;
    if (fails ? CountJpegOurs(*file, once) != 1 : !(jpeg ? SameJpeg(*file) : SameGif(*file))) {
      std::fprintf(stderr, "%s: %s\n", name, fails ? "not refused" : "the two decoders disagree");
      std::exit(3);
    }
    const double pixels = [&] {
      Picture p;
      if (jpeg)
        CountJpegOurs(*file, p);
      else
        CountGifOurs(*file, p);
      return double(p.width) * p.height;
    }();
    auto rate = [pixels](benchmark::State& st) {
      st.counters["pixels/s"] = benchmark::Counter(pixels, benchmark::Counter::kIsIterationInvariantRate);
    };
    if (jpeg) {
      benchmark::RegisterBenchmark((std::string("JpegOurs/") + name).c_str(), [file, rate](benchmark::State& st) {
        for (auto _ : st) {
          Picture p;
          CountJpegOurs(*file, p);
          benchmark::DoNotOptimize(p.pixels.data());
        }
        rate(st);
      });
      if (ours) continue;
      benchmark::RegisterBenchmark((std::string("JpegTurbo/") + name).c_str(), [file, rate](benchmark::State& st) {
        Bytes out;
        for (auto _ : st) {
          CountJpegTurbo(*file, out);
          benchmark::DoNotOptimize(out.data());
        }
        rate(st);
      });
    } else {
      benchmark::RegisterBenchmark((std::string("GifOurs/") + name).c_str(), [file, rate](benchmark::State& st) {
        for (auto _ : st) {
          Picture p;
          CountGifOurs(*file, p);
          benchmark::DoNotOptimize(p.pixels.data());
        }
        rate(st);
      });
      benchmark::RegisterBenchmark((std::string("GifLib/") + name).c_str(), [file, rate](benchmark::State& st) {
        Bytes out;
        for (auto _ : st) {
          CountGifLib(*file, out);
          benchmark::DoNotOptimize(out.data());
        }
        rate(st);
      });
    }
  }
}

#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--once") == 0) {
    Bytes file = ReadFile(argv[3]);
    const int n = argc >= 5 ? std::atoi(argv[4]) : 1;
    const std::string row = argv[2];
    for (int i = 0; i < n; i++) {
      Picture p;
      Bytes out;
      if (row == "CountJpegOurs") CountJpegOurs(file, p);
      else if (row == "CountGifOurs") CountGifOurs(file, p);
#ifdef ZARN_PICTURE_REFS
      else if (row == "CountJpegTurbo") CountJpegTurbo(file, out);
      else if (row == "CountGifLib") CountGifLib(file, out);
#endif
      else return 64;
    }
    return 0;
  }
#ifdef ZARN_PICTURE_REFS
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_pictures DIR [benchmark flags] | --once ROW FILE [N]\n");
    return 64;
  }
  Register(argv[1]);
  argv[1] = argv[0];
  int n = argc - 1;
  benchmark::Initialize(&n, argv + 1);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
#else
  std::fprintf(stderr, "usage: bench_pictures --once ROW FILE [N]\n");
  return 64;
#endif
}
