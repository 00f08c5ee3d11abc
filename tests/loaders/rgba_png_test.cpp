// The generated PNGs with alpha load as RGBA surfaces through the display, plain
// and premultiplied, pixel for pixel as Pillow decodes them, and blit onto the
// 5:6:5 back buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "display/edsp_base.h"
#include "display/esurf_2d.h"
#include "display/esurf_2drgba.h"
#include "framework/emod_file.h"
#include "framework/emod_memory.h"
#include "loaders/eldr_base.h"
#include "tests/display/display_support.h"
#include "tests/loaders/ldr_fake.h"
#include "tests/loaders/ldr_util.h"

namespace {

std::vector<uint8_t> PackEntry(const char* name) {
  const std::string pack = std::string(ZARN_BINARY_DIR) + "/res/gfx.epk";
  ClassEFile f;
  std::vector<uint8_t> out;
  if (!f.Open(pack.c_str(), 1)) return out;
  void* data = nullptr;
  uint32_t len = 0;
  if (f.PackGetFileData(data, len, name) != 0) return out;
  out.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + len);
  ClassEMemory::DeAlloc(data);
  return out;
}

// Each channel of a 0x00BBGGRR colour times alpha >> 8.
uint32_t Premultiply(uint32_t c, uint32_t alpha) {
  return ((c & 0xFF) * alpha >> 8) | (((c >> 8) & 0xFF) * alpha >> 8) << 8 |
         (((c >> 16) & 0xFF) * alpha >> 8) << 16;
}

TEST(RgbaPng, GeneratedPicturesLoadAndBlitOntoTheBackBuffer) {
  if (!zt::HavePythonModule("PIL")) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  zt::OpenDisplay d;
  ASSERT_TRUE(d.ok);
  ASSERT_EQ(RegisterDisplayLoaders(&d.ctx.dsp), 1);
  ClassEDisplay& dsp = d.ctx.dsp;
  ASSERT_EQ(dsp.GetRenderFormat(), 4);
  const std::string dir = zt::TempDir("rgba_png");
  for (const char* name : {"kbkey.png", "zarnbanner.png"}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> png = PackEntry(name);
    if (png.empty()) GTEST_SKIP() << "no graphics pack in this build";
    ASSERT_TRUE(zt::WriteFile(dir + "/" + name, png));
    std::vector<uint32_t> ref;
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(ldr::PillowDecode(dir + "/" + name, &ref, &w, &h));
    bool partial = false;
    for (uint32_t p : ref) partial |= (p >> 24) != 0 && (p >> 24) != 255;
    EXPECT_TRUE(partial) << "the picture should have soft edges";

    for (uint32_t flags : {0u, ESURF_PREMULTIPLIED}) {
      SCOPED_TRACE(flags);
      E2DSurfaceRGBA s;
      ASSERT_EQ(dsp.CreateSurface(&s, png.data(), uint32_t(png.size()), flags), 0);
      ASSERT_EQ(s.GetWidth(), w);
      ASSERT_EQ(s.GetHeight(), h);
      ASSERT_EQ(s.GetTargetFormat(), 4);
      ASSERT_EQ(s.IsPremultiplied(), flags != 0);
      int wrong = 0;
      for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++) {
          const uint32_t p = ref[y * w + x], A = p >> 24;
          uint32_t c = p & 0xFFFFFF, stored = A;
          if (flags) {
            c = Premultiply(c, A);
            stored = 255 - A;
          }
          const uint32_t want = E2DSurface::ColorToNative(c, 4) | stored << 24;
          wrong += s.GetBuffer()[y * s.GetPitch() + x] != want;
          uint32_t got;
          uint8_t a;
          s.GetPixel(int32_t(x), int32_t(y), got, a);
          wrong += a != A;
        }
      EXPECT_EQ(wrong, 0);

      // Onto a 5:6:5 back buffer: every pixel as the blend formula gives it
      // from Pillow's pixels, and nothing outside the picture.
      E2DSurface* back = dsp.GetBackBuffer();
      back->FillRect(nullptr, 0x336699);
      const uint32_t bg = E2DSurface::ColorToNative(0x336699, 4);
      ASSERT_EQ(back->BltFast(7, 5, &s, nullptr), 0);
      wrong = 0;
      // The banner is wider than the screen: the blit clips it at the right.
      for (uint32_t y = 0; y < h && 5 + y < back->GetHeight(); y++)
        for (uint32_t x = 0; x < w && 7 + x < back->GetWidth(); x++) {
          const uint32_t word = s.GetBuffer()[y * s.GetPitch() + x], t = word >> 24;
          const uint32_t c = word & 0xFFFF;
          uint32_t want = 0;
          for (uint32_t m : {0x1Fu, 0x7E0u, 0xF800u}) {
            const uint32_t cc = c & m, dd = bg & m;
            if (flags)
              want |= t == 0 ? cc : t == 255 ? dd : (cc + ((dd * (t >> 2)) >> 6 & m)) & m;
            else
              want |= t == 255 ? cc : ((cc * (t >> 2) + dd * (64 - (t >> 2))) >> 6) & m;
          }
          const uint8_t* q = back->GetBuffer() + ((5 + y) * back->GetPitch() + 7 + x) * 2;
          wrong += uint32_t(q[0] | q[1] << 8) != want;
        }
      EXPECT_EQ(wrong, 0);
      EXPECT_EQ(back->GetPixel(6, 5), 0x336699u & 0xF8FCF8u);
      if (7 + w < back->GetWidth()) {
        EXPECT_EQ(back->GetPixel(7 + int32_t(w), 5), 0x336699u & 0xF8FCF8u);
      }
      if (5 + h < back->GetHeight()) {
        EXPECT_EQ(back->GetPixel(7, 5 + int32_t(h)), 0x336699u & 0xF8FCF8u);
      }
    }
  }
}

// The file forms read the picture from disk: the same words as from memory.
TEST(RgbaPng, CreateSurfaceFromAFile) {
  zt::OpenDisplay d;
  ASSERT_TRUE(d.ok);
  ASSERT_EQ(RegisterDisplayLoaders(&d.ctx.dsp), 1);
  std::vector<uint8_t> png = PackEntry("kbkey.png");
  if (png.empty()) GTEST_SKIP() << "no graphics pack in this build";
  const std::string path = zt::TempDir("rgba_file") + "/kbkey.png";
  ASSERT_TRUE(zt::WriteFile(path, png));
  E2DSurfaceRGBA mem, narrow, wide;
  ASSERT_EQ(d.ctx.dsp.CreateSurface(&mem, png.data(), uint32_t(png.size()), ESURF_PREMULTIPLIED),
            0);
  ASSERT_EQ(d.ctx.dsp.CreateSurface(&narrow, path.c_str(), ESURF_PREMULTIPLIED), 0);
  std::vector<uint16_t> name(path.begin(), path.end());
  name.push_back(0);
  ASSERT_EQ(d.ctx.dsp.CreateSurface(&wide, name.data(), ESURF_PREMULTIPLIED), 0);
  const size_t words = size_t(mem.GetPitch()) * mem.GetStoredRows();
  for (E2DSurfaceRGBA* s : {&narrow, &wide}) {
    ASSERT_EQ(s->GetPitch() * s->GetStoredRows(), words);
    EXPECT_EQ(std::memcmp(s->GetBuffer(), mem.GetBuffer(), words * 4), 0);
  }
  E2DSurfaceRGBA empty;
  const std::string nothing = zt::TempDir("rgba_file_empty") + "/empty.png";
  ASSERT_TRUE(zt::WriteFile(nothing, {}));
  EXPECT_EQ(d.ctx.dsp.CreateSurface(&empty, nothing.c_str()), ERES_BAD);
}

// The loaders fill an RGBA surface to the end or refuse it with their own codes;
// a truncated PNG leaves the rest transparent.
TEST(RgbaPng, TruncatedPictureLeavesTheRestTransparent) {
  ldr::Context ctx;
  ASSERT_EQ(RegisterDisplayLoaders(&ctx.dsp), 1);
  std::vector<uint8_t> png = PackEntry("kbkey.png");
  if (png.empty()) GTEST_SKIP() << "no graphics pack in this build";
  for (uint32_t flags : {0u, ESURF_PREMULTIPLIED}) {
    for (size_t cut : {size_t(8), size_t(40), png.size() / 2, png.size() * 3 / 4}) {
      E2DSurfaceRGBA s;
      s.LinkECD(&ctx.ecd);
      const int r = s.LoadImage(png.data(), uint32_t(cut), 6, flags);
      EXPECT_NE(r, 0) << cut;
      if (!s.IsCreated()) continue;
      uint32_t c;
      uint8_t a;
      s.GetPixel(int32_t(s.GetWidth()) - 1, int32_t(s.GetHeight()) - 1, c, a);
      EXPECT_EQ(a, 0) << cut;
    }
  }
  E2DSurfaceRGBA s;
  EXPECT_EQ(s.LoadImage(png.data(), uint32_t(png.size()), 6, 0), 3);  // no display linked
}

}  // namespace

namespace {

// Pictures with alpha or a transparent entry from the other loaders land in RGBA
// surfaces pixel for pixel as Pillow reads them.
TEST(RgbaPng, TgaAndGifWithTransparency) {
  if (!zt::HavePythonModule("PIL")) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  const std::string dir = zt::TempDir("rgba_other");
  const std::string script =
      "from PIL import Image\n"
      "im = Image.new('RGBA', (13, 7))\n"
      "im.putdata([((x * 19) % 256, (y * 37) % 256, (x * y * 5) % 256, (x * 20 + y * 3) % 256)"
      " for y in range(7) for x in range(13)])\n"
      "im.save('a.tga')\n"
      "p = Image.new('P', (13, 7))\n"
      "p.putpalette([i * 7 % 256 for i in range(768)])\n"
      "p.putdata([(x + y * 13) % 9 for y in range(7) for x in range(13)])\n"
      "p.save('t.gif', transparency=4)\n";
  ASSERT_TRUE(zt::WriteFile(dir + "/make.py", std::vector<uint8_t>(script.begin(), script.end())));
  ASSERT_EQ(zt::Run("cd '" + dir + "' && " + std::string(zt::kPython) + " make.py"), 0);
  ldr::Context ctx;
  ASSERT_EQ(RegisterDisplayLoaders(&ctx.dsp), 1);
  for (const char* name : {"a.tga", "t.gif"}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> file = zt::ReadFile(dir + "/" + name);
    std::vector<uint32_t> ref;
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(ldr::PillowDecode(dir + "/" + name, &ref, &w, &h));
    E2DSurfaceRGBA s;
    s.LinkECD(&ctx.ecd);
    ASSERT_EQ(s.LoadImage(file.data(), uint32_t(file.size()), 6, 0), 0);
    ASSERT_EQ(s.GetWidth(), w);
    ASSERT_EQ(s.GetHeight(), h);
    int wrong = 0;
    for (uint32_t y = 0; y < h; y++)
      for (uint32_t x = 0; x < w; x++) {
        uint32_t c;
        uint8_t a;
        s.GetPixel(int32_t(x), int32_t(y), c, a);
        const uint32_t p = ref[y * w + x];
        wrong += a != (p >> 24) || (a && c != (p & 0xFFFFFF));
      }
    EXPECT_EQ(wrong, 0);
  }
}

}  // namespace
