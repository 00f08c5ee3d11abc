// Pillow's ImageChops.add and ImageChops.subtract as outside oracles for the
// 32-bit additive and subtractive blits and rectangle fills.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "display/erdr_kernel.h"
#include "display/esurf_2d.h"
#include "tests/support/harness.h"

namespace {

// Writes the surface's pixels as raw RGB bytes.
void WriteRgb(const std::string& path, E2DSurface& s) {
  std::ofstream f(path, std::ios::binary);
  for (uint32_t y = 0; y < s.GetHeight(); y++)
    for (uint32_t x = 0; x < s.GetWidth(); x++) {
      const uint32_t c = s.GetPixel(int32_t(x), int32_t(y));
      const char rgb[3] = {char(c & 0xFF), char((c >> 8) & 0xFF), char((c >> 16) & 0xFF)};
      f.write(rgb, 3);
    }
}

std::vector<uint8_t> Rgb(E2DSurface& s) {
  std::vector<uint8_t> out;
  for (uint32_t y = 0; y < s.GetHeight(); y++)
    for (uint32_t x = 0; x < s.GetWidth(); x++) {
      const uint32_t c = s.GetPixel(int32_t(x), int32_t(y));
      out.push_back(uint8_t(c));
      out.push_back(uint8_t(c >> 8));
      out.push_back(uint8_t(c >> 16));
    }
  return out;
}

void Random(E2DSurface& s, std::mt19937& rng) {
  for (uint32_t y = 0; y < s.GetHeight(); y++)
    for (uint32_t x = 0; x < s.GetWidth(); x++) s.PutPixel(int32_t(x), int32_t(y), rng() & 0xFFFFFF);
}

TEST(BlendOracle, AdditiveAndSubtractiveEqualPillow) {
  if (!zt::HavePythonModule("PIL.ImageChops")) GTEST_SKIP() << "no Pillow";
  const std::string dir = zt::TempDir("blend_oracle");
  const int w = 29, h = 7;
  std::mt19937 rng(31);
  E2DSurface src, dst, fill;
  ASSERT_EQ(src.Create(w, h, EFMT_RGB32, 1), ERES_OK);
  ASSERT_EQ(dst.Create(w, h, EFMT_RGB32, 1), ERES_OK);
  ASSERT_EQ(fill.Create(w, h, EFMT_RGB32, 1), ERES_OK);
  Random(src, rng);
  Random(dst, rng);
  fill.FillRect(nullptr, 0x4080C0);
  WriteRgb(dir + "/s.rgb", src);
  WriteRgb(dir + "/d.rgb", dst);
  WriteRgb(dir + "/c.rgb", fill);
  const std::string script =
      "from PIL import Image, ImageChops\n"
      "import sys\n"
      "w, h = " + std::to_string(w) + ", " + std::to_string(h) + "\n"
      "ld = lambda n: Image.frombytes('RGB', (w, h), open(n, 'rb').read())\n"
      "s, d, c = ld('s.rgb'), ld('d.rgb'), ld('c.rgb')\n"
      "open('add.rgb', 'wb').write(ImageChops.add(d, s).tobytes())\n"
      "open('sub.rgb', 'wb').write(ImageChops.subtract(d, s).tobytes())\n"
      "open('addc.rgb', 'wb').write(ImageChops.add(d, c).tobytes())\n"
      "open('subc.rgb', 'wb').write(ImageChops.subtract(d, c).tobytes())\n";
  {
    std::ofstream f(dir + "/blend.py");
    f << script;
  }
  ASSERT_EQ(zt::Run("cd '" + dir + "' && " + zt::kPython + " blend.py"), 0);
  struct Case {
    const char* file;
    uint32_t flags;
    bool fillRect;
  } cases[] = {{"add.rgb", 0x10, false}, {"sub.rgb", 0x20, false}, {"addc.rgb", 0x10, true},
               {"subc.rgb", 0x20, true}};
  ERDR_KERNELTABLE table{};
  ERender_Get_BltFast32(table.fast);
  for (const Case& c : cases) {
    const std::vector<uint8_t> want = zt::ReadFile(dir + "/" + c.file);
    ASSERT_EQ(want.size(), size_t(w * h * 3));
    for (int path = 0; path < 2; path++) {
      E2DSurface out;
      ASSERT_EQ(out.Create(w, h, EFMT_RGB32, 1), ERES_OK);
      ASSERT_EQ(out.BltFast(0, 0, &dst, nullptr), ERES_OK);
      if (c.fillRect) {
        out.FillRect(nullptr, 0x4080C0, int32_t(c.flags), 0);
      } else if (path == 0) {
        ASSERT_EQ(out.BltFast(0, 0, &src, nullptr, int32_t(c.flags), 0), ERES_OK);  // generic loop
      } else {
        ERdrBltFast32(w, h, out.GetBuffer(), src.GetBuffer(), out.GetPitch() * 4,
                      src.GetPitch() * 4, 0xFFFFFFFF, 0, 0, table.fast, c.flags);
      }
      EXPECT_EQ(Rgb(out), want) << c.file << " path " << path;
    }
  }
}

}  // namespace
