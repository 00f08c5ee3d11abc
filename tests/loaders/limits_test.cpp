// The size bound that every loader applies before it makes anything, and the
// peak memory of small hostile files (ImageMagick's files with their sizes
// patched) loaded into real surfaces of every pixel format. Every allocation of
// this test program goes through the counting operator new below, which the
// framework's memory blocks, zlib's state and the surfaces all use; it counts
// the same under the sanitizers and in the ARM build.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>

#include "display/esurf_2d.h"
#include "framework/emod_memory.h"
#include "loaders/eldr_bmp.h"
#include "loaders/eldr_gif.h"
#include "loaders/eldr_jpg.h"
#include "loaders/eldr_png.h"
#include "loaders/eldr_tga.h"
#include "tests/loaders/ldr_fake.h"

namespace {

std::atomic<int64_t> g_live{0};
std::atomic<int64_t> g_peak{0};

void* Counted(void* p) {
  if (p) {
    const int64_t now = g_live += static_cast<int64_t>(malloc_usable_size(p));
    int64_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
  }
  return p;
}

void Release(void* p) noexcept {
  if (!p) return;
  g_live -= static_cast<int64_t>(malloc_usable_size(p));
  std::free(p);
}

}  // namespace

void* operator new(size_t n) {
  void* p = Counted(std::malloc(n ? n : 1));
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return Counted(std::malloc(n ? n : 1)); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return Counted(std::malloc(n ? n : 1)); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace {

using Bytes = std::vector<uint8_t>;

// The most that fn holds at once beyond what was held before it.
int64_t PeakOf(const std::function<void()>& fn) {
  const int64_t before = g_live.load();
  g_peak = before;
  fn();
  return g_peak.load() - before;
}

void PutBE32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
void PutBE16(Bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}
void PutLE16(Bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void PutLE32(Bytes& b, size_t at, uint32_t v) {
  PutLE16(b, at, v);
  PutLE16(b, at + 2, v >> 16);
}

// Where a GIF's first image descriptor starts.
size_t GifDescriptor(const Bytes& g) {
  size_t at = 13 + ((g[10] & 0x80) ? 3u << ((g[10] & 7) + 1) : 0);
  while (at < g.size() && g[at] == 0x21) {
    at += 2;
    while (at < g.size() && g[at]) at += g[at] + 1u;
    at++;
  }
  return at;
}

// Where a JPEG's frame header (its marker) starts.
size_t JpegFrame(const Bytes& j) {
  for (size_t at = 2; at + 1 < j.size(); at++)
    if (j[at] == 0xFF && (j[at + 1] == 0xC0 || j[at + 1] == 0xC2)) return at;
  return 0;
}

// A file made by ImageMagick and the size it claims patched in.
struct Kind {
  const char* name;
  const char* args;    // what convert makes from an 8x8 picture
  const char* writer;  // the output format, when the name does not say it
  void (*patch)(Bytes& file, uint32_t w, uint32_t h);
};

void PatchPng(Bytes& b, uint32_t w, uint32_t h) {
  PutBE32(b, 16, w);
  PutBE32(b, 20, h);
}
void PatchGif(Bytes& b, uint32_t w, uint32_t h) {  // the screen and its image
  PutLE16(b, 6, w);
  PutLE16(b, 8, h);
  const size_t d = GifDescriptor(b);
  PutLE16(b, d + 5, w);
  PutLE16(b, d + 7, h);
}
void PatchBmp(Bytes& b, uint32_t w, uint32_t h) {
  PutLE32(b, 18, w);
  PutLE32(b, 22, h);
}
void PatchBmpTopDown(Bytes& b, uint32_t w, uint32_t h) {
  PutLE32(b, 18, w);
  PutLE32(b, 22, 0u - h);
}
void PatchTga(Bytes& b, uint32_t w, uint32_t h) {
  PutLE16(b, 12, w);
  PutLE16(b, 14, h);
}
void PatchJpeg(Bytes& b, uint32_t w, uint32_t h) {
  const size_t f = JpegFrame(b);
  PutBE16(b, f + 5, h);
  PutBE16(b, f + 7, w);
}

const Kind kKinds[] = {
    {"rgba.png", "-alpha set -define png:color-type=6", "", PatchPng},
    {"rgb16.png", "-depth 16 -define png:color-type=2", "", PatchPng},
    {"grey_il.png", "-colorspace Gray -define png:color-type=0 -interlace PNG", "", PatchPng},
    {"rgba_il.png", "-alpha set -define png:color-type=6 -interlace PNG", "", PatchPng},
    {"pal.png", "-type Palette -define png:color-type=3", "", PatchPng},
    {"pic.gif", "", "", PatchGif},
    {"pic_il.gif", "-interlace GIF", "", PatchGif},
    {"pal8.bmp", "-type Palette -compress None", "BMP3:", PatchBmp},
    {"rgb24.bmp", "-type TrueColor", "BMP3:", PatchBmp},
    {"topdown.bmp", "-type TrueColor", "BMP3:", PatchBmpTopDown},
    {"argb.bmp", "-alpha set -define bmp:subtype=ARGB8888", "BMP:", PatchBmp},
    {"rgb24.tga", "-compress None", "", PatchTga},
    {"map.tga", "-type Palette -compress None", "", PatchTga},
    {"base.jpg", "-quality 90", "", PatchJpeg},
    {"prog.jpg", "-quality 90 -interlace JPEG", "", PatchJpeg},
};

const uint32_t kBytes[7] = {0, 1, 2, 2, 2, 3, 4};  // bytes a pixel of the six formats

class LoaderLimits : public ::testing::Test {
 protected:
  inline static std::string dir_;
  inline static bool ready_ = false;
  static void SetUpTestSuite() {
    ready_ = false;
    if (!zt::HaveImageMagick()) return;
    dir_ = zt::TempDir("ldr_limits");
    ready_ = zt::Run("cd '" + dir_ + "' && " + zt::kConvert + " rose: -crop 8x8+30+20 +repage base.png") == 0;
    for (const Kind& k : kKinds)
      ready_ = ready_ && zt::Run("cd '" + dir_ + "' && " + zt::kConvert + " base.png " + k.args + " " + k.writer +
                                 k.name) == 0;
  }
  void SetUp() override {
    if (!zt::HaveImageMagick()) GTEST_SKIP() << "ImageMagick missing";
    ASSERT_TRUE(ready_) << "files could not be made";
  }
  static Bytes File(const Kind& k, uint32_t w, uint32_t h) {
    Bytes b = zt::ReadFile(dir_ + "/" + k.name);
    if (b.size() > 64) k.patch(b, w, h);
    return b;
  }
  // The decoder of a file by its name, into any receiver.
  static int Decode(const Kind& k, ldr::FakeImage& img, Bytes b, uint8_t format) {
    const std::string n(k.name);
    const uint32_t len = static_cast<uint32_t>(b.size());
    if (n.find(".png") != std::string::npos) return ELoader_PNG().Decode(&img, b.data(), len, format, 0);
    if (n.find(".gif") != std::string::npos) return ELoader_GIF().Decode(&img, b.data(), len, format, 0);
    if (n.find(".bmp") != std::string::npos) return ELoader_BMP().Decode(&img, b.data(), len, format, 0);
    if (n.find(".tga") != std::string::npos) return ELoader_TGA().Decode(&img, b.data(), len, format, 0);
    return ELoader_JPG().Decode(&img, b.data(), len, format, 0);
  }
};

// Every loader takes a picture of at most 16 MB in the surface's format and
// refuses a larger one with "no memory" before it makes the surface, whatever
// the receiver would take; the format override of the flags counts over the
// render format.
TEST_F(LoaderLimits, LargerPicturesAreRefusedBeforeTheSurface) {
  for (const Kind& k : kKinds) {
    for (uint8_t format = 1; format <= 6; format++) {
      SCOPED_TRACE(std::string(k.name) + " format " + std::to_string(format));
      const uint32_t w = 4096, h = (16u << 20) / kBytes[format] / w;
      ldr::FakeImage over, at;
      over.acceptAll = at.acceptAll = true;
      EXPECT_EQ(Decode(k, over, File(k, w, h + 1), format), ERES_NOMEMORY);
      EXPECT_EQ(over.creates, 0);
      Decode(k, at, File(k, w, h), format);
      // Within the bound the picture is made (a progressive frame of this size
      // needs more coefficient memory than the decoder holds and stops earlier).
      if (std::string(k.name) != "prog.jpg") {
        EXPECT_EQ(at.creates, 1);
      }
    }
  }
  ldr::FakeImage img;
  img.acceptAll = true;
  const Bytes png = File(kKinds[0], 4096, 4096);
  EXPECT_EQ(ELoader_PNG().Decode(&img, const_cast<uint8_t*>(png.data()), uint32_t(png.size()), EFMT_RGB32,
                                 EFMT_INDEX8 << 8), ERES_BAD);  // made as 8 bits: taken, data short
  EXPECT_EQ(img.creates, 1);
  EXPECT_FALSE(ELoader_SizeAllowed(4096, 4097, EFMT_RGB32, EFMT_INDEX8 << 8));
  EXPECT_FALSE(ELoader_SizeAllowed(0xFFFFFFFFu, 0xFFFFFFFFu, EFMT_INDEX8, 0));
  EXPECT_TRUE(ELoader_SizeAllowed(0, 0xFFFFFFFFu, EFMT_RGB32, 0));
}

// A small file that claims a huge picture, or one just inside the bound, costs
// at most the surface and a little work memory: under 32 MB in every format.
// The loaders once reserved the whole inflated, decoded or converted picture
// from the header (467 MB for 65 bytes of PNG).
TEST_F(LoaderLimits, SmallHostileFilesStayUnder32MB) {
  ASSERT_GE(PeakOf([] {
              void* p = ClassEMemory::Alloc(1u << 20);
              static_cast<volatile uint8_t*>(p)[0] = 1;
              ClassEMemory::DeAlloc(p);
            }),
            1 << 20);  // the counter sees the framework's blocks
  ldr::Context ctx;
  ASSERT_EQ(RegisterDisplayLoaders(&ctx.dsp), 1);
  const std::pair<uint32_t, uint32_t> claims[] = {{8192, 8192}, {8192, 4096}, {32767, 2048}, {4096, 0}};
  int64_t worst = 0;
  for (const Kind& k : kKinds) {
    for (uint8_t format = 1; format <= 6; format++) {
      for (auto claim : claims) {
        const uint32_t w = claim.first, h = claim.second ? claim.second : (16u << 20) / kBytes[format] / w;
        if (std::string(k.name).find(".jpg") != std::string::npos && w > 8192) continue;  // a JPEG frame holds less
        SCOPED_TRACE(std::string(k.name) + " format " + std::to_string(format) + " " + std::to_string(w) + "x" +
                     std::to_string(h));
        Bytes file = File(k, w, h);
        int result = 0;
        const int64_t peak = PeakOf([&] {
          E2DSurface s;
          s.LinkECD(&ctx.ecd);
          result = s.LoadImage(file.data(), static_cast<uint32_t>(file.size()), format, 1);
        });
        EXPECT_LT(peak, 32 << 20);
        EXPECT_NE(result, ERES_NOTTHISFORMAT);
        worst = std::max(worst, peak);
      }
    }
  }
  RecordProperty("worst_peak_bytes", std::to_string(worst));
}

}  // namespace
