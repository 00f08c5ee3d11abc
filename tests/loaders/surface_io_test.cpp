// Pictures through the registered loaders into real surfaces, the bitmap
// writer read back by Pillow and ImageMagick, and the inspector tool.
#include <gtest/gtest.h>

#include <fstream>

#include "display/esurf_2d.h"
#include "display/esurf_3d.h"
#include "framework/emod_file.h"
#include "loaders/eldr_3ds.h"
#include "loaders/eldr_bmp.h"
#include "loaders/eldr_gif.h"
#include "loaders/eldr_jpg.h"
#include "loaders/eldr_png.h"
#include "loaders/eldr_tga.h"
#include "tests/loaders/ldr_fake.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct SurfaceIO : ::testing::Test {
  ldr::Context ctx;
  void SetUp() override {
    ClassEFile::SetSyncOnClose(false);
    ASSERT_EQ(RegisterDisplayLoaders(&ctx.dsp), 1);
  }
  void TearDown() override { ClassEFile::SetSyncOnClose(true); }
  // A 32-bit surface with a different colour in every pixel.
  void Paint(E2DSurface& s, uint32_t w, uint32_t h) {
    s.LinkECD(&ctx.ecd);
    ASSERT_EQ(s.Create(w, h, EFMT_RGB32, 1), ERES_OK);
    for (uint32_t y = 0; y < h; y++)
      for (uint32_t x = 0; x < w; x++)
        s.PutPixel(static_cast<int32_t>(x), static_cast<int32_t>(y), (x * 37 + 5) | (y * 29 + 3) << 8 | ((x ^ y) * 11) << 16);
  }
};

TEST_F(SurfaceIO, RegistrationOrderAndFullSlots) {
  // Formats with a magic number first, TGA after them, the model loader last.
  EXPECT_NE(dynamic_cast<ELoader_BMP*>(ctx.dsp.GetLoader(0)), nullptr);
  EXPECT_NE(dynamic_cast<ELoader_GIF*>(ctx.dsp.GetLoader(1)), nullptr);
  EXPECT_NE(dynamic_cast<ELoader_PNG*>(ctx.dsp.GetLoader(2)), nullptr);
  EXPECT_NE(dynamic_cast<ELoader_JPG*>(ctx.dsp.GetLoader(3)), nullptr);
  EXPECT_NE(dynamic_cast<ELoader_TGA*>(ctx.dsp.GetLoader(4)), nullptr);
  EXPECT_NE(dynamic_cast<ELoader_3DS*>(ctx.dsp.GetLoader(5)), nullptr);
  EXPECT_EQ(ctx.dsp.GetLoader(6), nullptr);
  // Fill the slots: the next registration is refused, what was there stays.
  for (int i = 6; i < 16; i++) EXPECT_EQ(ctx.dsp.RegisterLoader(new ClassELoaderBase), 1);
  ClassELoaderBase* first = ctx.dsp.GetLoader(0);
  EXPECT_EQ(RegisterDisplayLoaders(&ctx.dsp), 0);
  EXPECT_EQ(ctx.dsp.GetLoader(0), first);
  EXPECT_EQ(RegisterDisplayLoaders(nullptr), 0);
}

TEST_F(SurfaceIO, UnclaimedDataMakesNoCallback) {
  E2DSurface s;
  s.LinkECD(&ctx.ecd);
  Bytes junk(100, 0x55);
  EXPECT_EQ(s.LoadImage(junk.data(), 100, 6, 1), ERES_NOTTHISFORMAT);
  EXPECT_FALSE(s.IsCreated());
  E3DSurface m;
  m.LinkECD(&ctx.ecd);
  EXPECT_EQ(m.LoadModel(junk.data(), 100), 3);
  EXPECT_FALSE(m.IsCreated());
}

TEST_F(SurfaceIO, WriteBmpReadsBackInPillowAndImageMagick) {
  if (!zt::HavePythonModule("PIL") || !zt::HaveExecutable(zt::kConvert)) GTEST_SKIP() << "Pillow or ImageMagick missing";
  const std::string dir = zt::TempDir("ldr_writebmp");
  E2DSurface s;
  Paint(s, 13, 7);
  const std::string whole = dir + "/whole.bmp", part = dir + "/part.bmp";
  s.WriteBmp(whole.c_str(), nullptr);
  tagRECT r = {2, 1, 5, 6};  // 3 pixels wide: 9 bytes of pixels and 3 of padding per row
  s.WriteBmp(part.c_str(), &r);

  Bytes b = zt::ReadFile(part);
  ASSERT_EQ(b.size(), 54u + 12 * 5);
  EXPECT_EQ(b[2] | b[3] << 8, 54 + 12 * 5);
  EXPECT_EQ(b[63] | b[64] | b[65], 0);  // padding is zero
  for (auto [file, rect] : {std::pair<std::string, tagRECT>{whole, {0, 0, 13, 7}}, {part, r}}) {
    SCOPED_TRACE(file);
    std::vector<uint32_t> px;
    uint32_t w, h;
    ASSERT_TRUE(ldr::PillowDecode(file, &px, &w, &h));
    ASSERT_EQ(w, static_cast<uint32_t>(rect.right - rect.left));
    ASSERT_EQ(h, static_cast<uint32_t>(rect.bottom - rect.top));
    // ImageMagick's own reading of the same file as raw RGB.
    ASSERT_EQ(zt::Run(std::string(zt::kConvert) + " '" + file + "' -depth 8 rgb:'" + file + ".rgb'"), 0);
    Bytes im = zt::ReadFile(file + ".rgb");
    ASSERT_EQ(im.size(), 3u * w * h);
    for (uint32_t y = 0; y < h; y++)
      for (uint32_t x = 0; x < w; x++) {
        const uint32_t c = s.GetPixel(rect.left + static_cast<int32_t>(x), rect.top + static_cast<int32_t>(y));
        EXPECT_EQ(px[y * w + x], c | 0xFF000000u) << x << "," << y;
        const uint8_t* p = &im[3 * (y * w + x)];
        EXPECT_EQ(p[0] | p[1] << 8 | p[2] << 16, static_cast<int>(c)) << x << "," << y;
      }
  }
  // The file loads back through our own reader into an equal surface.
  E2DSurface back;
  back.LinkECD(&ctx.ecd);
  Bytes data = zt::ReadFile(whole);
  ASSERT_EQ(back.LoadImage(data.data(), static_cast<uint32_t>(data.size()), 6, 1), ERES_OK);
  for (int32_t y = 0; y < 7; y++)
    for (int32_t x = 0; x < 13; x++) EXPECT_EQ(back.GetPixel(x, y), s.GetPixel(x, y));
}

TEST_F(SurfaceIO, WriteBmpRefusesEmptyRectangles) {
  const std::string dir = zt::TempDir("ldr_writebmp_empty");
  E2DSurface s;
  Paint(s, 4, 4);
  for (tagRECT r : {tagRECT{2, 2, 2, 3}, tagRECT{3, 0, 1, 4}, tagRECT{0, 3, 4, 1}}) {
    const std::string f = dir + "/e.bmp";
    s.WriteBmp(f.c_str(), &r);
    EXPECT_TRUE(zt::ReadFile(f).empty());
  }
  E2DSurface none;
  none.LinkECD(&ctx.ecd);
  none.WriteBmp((dir + "/n.bmp").c_str(), nullptr);
  EXPECT_TRUE(zt::ReadFile(dir + "/n.bmp").empty());
}

// The inspector decodes through the registered loaders into a surface and
// writes it out (in the ARM build through the emulator).
TEST_F(SurfaceIO, InspectorTool) {
  const std::string tool = zt::ProgramCommand(std::string(ZARN_BINARY_DIR) + "/zarn-inspect");
  if (zt::Run(tool + " >/dev/null 2>&1") != 64) GTEST_SKIP() << "zarn-inspect cannot run here";
  if (!zt::HavePythonModule("PIL") || !zt::HaveExecutable(zt::kConvert)) GTEST_SKIP() << "Pillow or ImageMagick missing";
  const std::string dir = zt::TempDir("ldr_inspect");
  const std::string c = std::string(" && ") + zt::kConvert + " rose: ";
  ASSERT_EQ(zt::Run("cd '" + dir + "'" + c + "rose.png" + c + "-type Palette -colors 16 -compress None BMP3:rose.bmp" +
                    c + "rose.gif" + c + "-compress None rose.tga" + c + "-sampling-factor 1x1 -quality 95 rose.jpg"),
            0);
  for (const char* in : {"rose.png", "rose.bmp", "rose.gif", "rose.tga", "rose.jpg"}) {
    SCOPED_TRACE(in);
    const std::string out = dir + "/" + in + ".out.png";
    ASSERT_EQ(zt::Run(tool + " image '" + dir + "/" + in + "' 6 '" + out + "' >/dev/null"), 0);
    std::vector<uint32_t> a, b;
    uint32_t w1, h1, w2, h2;
    ASSERT_TRUE(ldr::PillowDecode(dir + "/" + in, &a, &w1, &h1));
    ASSERT_TRUE(ldr::PillowDecode(out, &b, &w2, &h2));
    ASSERT_EQ(w1, w2);
    ASSERT_EQ(h1, h2);
    // Opaque pictures come out exactly; JPEG within the rounding of two inverse DCTs.
    if (std::string(in) != "rose.jpg") {
      EXPECT_EQ(a, b);
      continue;
    }
    int worst = 0;
    for (size_t i = 0; i < a.size(); i++)
      for (int sh = 0; sh < 32; sh += 8)
        worst = std::max(worst, std::abs(int((a[i] >> sh) & 0xFF) - int((b[i] >> sh) & 0xFF)));
    EXPECT_LE(worst, 3);
  }
  // A model: counts, then one line per vertex and triangle.
  if (!zt::HaveTool("assimp")) return;
  ASSERT_EQ(zt::Run("cd '" + dir + "' && printf 'v 0 0 0\\nv 100 0 0\\nv 0 100 0\\nv 0 0 100\\nf 1 2 3\\nf 1 3 4\\n' > m.obj && "
                    "assimp export m.obj m.3ds >/dev/null 2>&1 && " + tool + " model m.3ds > m.txt"),
            0);
  std::ifstream in(dir + "/m.txt");
  std::string line, all;
  int v = 0, t = 0;
  while (std::getline(in, line)) {
    all += line + "\n";
    v += line.rfind("v ", 0) == 0;
    t += line.rfind("t ", 0) == 0;
  }
  EXPECT_NE(all.find("result 0\n"), std::string::npos) << all;
  EXPECT_NE(all.find("triangles 2\n"), std::string::npos) << all;
  EXPECT_EQ(t, 2);
  EXPECT_GE(v, 4);
}

}  // namespace
