// Pillow's Image.alpha_composite as the outside oracle of the RGBA blits: pictures
// with every alpha, loaded straight and premultiplied through the loader
// callbacks, blitted onto a random background of every blending format.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "display/esurf_2d.h"
#include "display/esurf_2drgba.h"
#include "tests/support/harness.h"

namespace {

// Channel widths (red, green, blue) of the blending formats.
struct Format {
  uint8_t code;
  int bits[3];
};
const Format kFormats[] = {
    {2, {4, 4, 4}}, {3, {5, 5, 5}}, {4, {5, 6, 5}}, {5, {8, 8, 8}}, {6, {8, 8, 8}}};

TEST(RgbaOracle, BlendsMatchPillowAlphaComposite) {
  if (!zt::HavePythonModule("PIL.Image")) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  const std::string dir = zt::TempDir("rgba_oracle");
  const int w = 64, h = 8;  // every alpha twice
  std::mt19937 rng(77);
  std::vector<uint32_t> words(w * h);  // 0xAABBGGRR as a loader hands them over
  for (int i = 0; i < w * h; i++) words[size_t(i)] = uint32_t(i & 255) << 24 | (rng() & 0xFFFFFF);
  std::vector<uint32_t> background(w * h);
  for (uint32_t& c : background) c = rng() & 0xFFFFFF;

  for (const Format& F : kFormats) {
    SCOPED_TRACE(int(F.code));
    // The background as the format holds it; Pillow composites over the same.
    E2DSurface base;
    ASSERT_EQ(base.Create(w, h, F.code, 0), 0);
    for (int i = 0; i < w * h; i++) base.PutPixel(i % w, i / w, background[size_t(i)]);
    for (int premultiplied = 0; premultiplied < 2; premultiplied++) {
      SCOPED_TRACE(premultiplied);
      const uint32_t flags = premultiplied ? ESURF_PREMULTIPLIED : 0;
      E2DSurfaceRGBA pic;
      ELDR_2DCALLBACKINFO info{};
      info.width = w;
      info.height = h;
      info.renderformat = F.code;
      info.flags = flags;
      ASSERT_EQ(pic.LdrOnCreate(&info), 0);
      info.data = words.data();
      info.bytecount = uint32_t(words.size() * 4);
      ASSERT_EQ(pic.LdrOnPixelStream(&info), 0);

      // Pillow gets the picture as the surface keeps it: the colour narrowed to
      // the format (straight) and the alpha.
      std::vector<uint8_t> src, dst;
      for (int i = 0; i < w * h; i++) {
        uint32_t c = E2DSurface::NativeToColor(
            E2DSurface::ColorToNative(words[size_t(i)] & 0xFFFFFF, F.code), F.code);
        const uint32_t d = base.GetPixel(i % w, i / w);
        for (int k = 0; k < 3; k++) src.push_back(uint8_t(c >> (8 * k)));
        src.push_back(uint8_t(words[size_t(i)] >> 24));
        for (int k = 0; k < 3; k++) dst.push_back(uint8_t(d >> (8 * k)));
        dst.push_back(255);
      }
      ASSERT_TRUE(zt::WriteFile(dir + "/src.rgba", src));
      ASSERT_TRUE(zt::WriteFile(dir + "/dst.rgba", dst));
      const std::string script =
          "from PIL import Image\n"
          "s = Image.frombytes('RGBA', (" +
          std::to_string(w) + ", " + std::to_string(h) +
          "), open('src.rgba', 'rb').read())\n"
          "d = Image.frombytes('RGBA', s.size, open('dst.rgba', 'rb').read())\n"
          "open('out.rgb', 'wb').write(Image.alpha_composite(d, s).convert('RGB').tobytes())\n";
      ASSERT_TRUE(
          zt::WriteFile(dir + "/composite.py", std::vector<uint8_t>(script.begin(), script.end())));
      ASSERT_EQ(zt::Run("cd '" + dir + "' && " + std::string(zt::kPython) + " composite.py"), 0);
      const std::vector<uint8_t> want = zt::ReadFile(dir + "/out.rgb");
      ASSERT_EQ(want.size(), size_t(w * h * 3));

      E2DSurface out;
      ASSERT_EQ(out.Create(w, h, F.code, 0), 0);
      ASSERT_EQ(out.BltFast(0, 0, &base, nullptr), 0);
      ASSERT_EQ(out.BltFast(0, 0, &pic, nullptr), 0);
      // Pillow rounds (c * A + d * (255 - A)) / 255; the kernels keep A's top
      // bits on the narrow formats and shift by 8 with truncation on the 8-bit
      // ones, which can lose one more unit there (rarely). The premultiplied form
      // truncates once more when the colour is stored, and keeps the destination
      // at (255 - A) / 256.
      int worst = 0, beyondOne = 0;
      for (int i = 0; i < w * h; i++) {
        const uint32_t got = out.GetPixel(i % w, i / w);
        for (int k = 0; k < 3; k++) {
          const int step = 1 << (8 - F.bits[k]);
          const int g = int((got >> (8 * k)) & 0xFF) / step,
                    e = want[size_t(i) * 3 + size_t(k)] / step;
          worst = std::max(worst, std::abs(g - e));
          beyondOne += std::abs(g - e) > 1;
        }
      }
      const bool wide = F.bits[0] == 8;
      EXPECT_LE(worst, (wide ? 2 : 1) + premultiplied);
      if (!premultiplied) {
        EXPECT_LE(beyondOne, w * h * 3 / 100);
      }
    }
  }
}

}  // namespace
