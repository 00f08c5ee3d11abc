// The BMP loader against Pillow on files made by ImageMagick and Pillow, refused
// variants, hand-made edge cases and a bounded mutation run.
#include <gtest/gtest.h>

#include <fstream>

#include "loaders/eldr_bmp.h"
#include "tests/loaders/ldr_fake.h"

namespace {

using Bytes = std::vector<uint8_t>;

int Decode(ldr::FakeImage& f, Bytes file) {
  ELoader_BMP l;
  return l.Decode(&f, file.data(), static_cast<uint32_t>(file.size()), 4, 0x21);
}

// A bitmap with the given header values; rows of stride bytes from the generator.
Bytes MakeBmp(uint32_t w, uint32_t h, uint16_t bpp, uint32_t rows, uint32_t palette, uint32_t compression = 0) {
  Bytes b = {'B', 'M'};
  const uint32_t stride = (bpp * w + 31) / 32 * 4;
  const uint32_t offset = 54 + 4 * palette;
  ldr::Put32(b, offset + stride * rows);
  ldr::Put32(b, 0);
  ldr::Put32(b, offset);
  ldr::Put32(b, 40);
  ldr::Put32(b, w);
  ldr::Put32(b, h);
  ldr::Put16(b, 1);
  ldr::Put16(b, bpp);
  ldr::Put32(b, compression);
  for (int i = 0; i < 5; i++) ldr::Put32(b, 0);
  for (uint32_t i = 0; i < palette; i++) ldr::Put32(b, 0x00010203u * (i + 1));
  for (uint32_t i = 0; i < stride * rows; i++) b.push_back(static_cast<uint8_t>(i * 7 + 1));
  return b;
}

class BmpCorpus : public ::testing::Test {
 protected:
  static std::string dir_;
  static bool ready_;
  static std::vector<std::pair<std::string, std::string>> manifest_;
  static void SetUpTestSuite() {
    if (!zt::HaveExecutable(zt::kConvert) || !zt::HavePythonModule("PIL")) return;
    dir_ = zt::TempDir("ldr_bmp_corpus");
    const std::string script = std::string(ZARN_SOURCE_DIR) + "/tests/loaders/data/make_bmp_corpus.py";
    ready_ = zt::Run("cd '" + dir_ + "' && " + zt::kPython + " '" + script + "' >/dev/null 2>&1") == 0;
    std::ifstream m(dir_ + "/manifest.txt");
    std::string name, kind;
    while (m >> name >> kind) manifest_.emplace_back(name, kind);
  }
  void SetUp() override {
    if (!zt::HaveExecutable(zt::kConvert) || !zt::HavePythonModule("PIL")) GTEST_SKIP() << "ImageMagick or Pillow missing";
    ASSERT_TRUE(ready_) << "corpus could not be made";
    ASSERT_GT(manifest_.size(), 20u);
  }
};
std::string BmpCorpus::dir_;
bool BmpCorpus::ready_ = false;
std::vector<std::pair<std::string, std::string>> BmpCorpus::manifest_;

// 1, 4, 8 and 24-bit files of odd widths made by ImageMagick and Pillow decode to
// Pillow's colours and palette indices, bottom row first.
TEST_F(BmpCorpus, DecodesLikePillow) {
  int compared = 0;
  for (auto& [name, kind] : manifest_) {
    SCOPED_TRACE(name);
    const std::string f = dir_ + "/" + name;
    Bytes file = zt::ReadFile(f);
    ldr::FakeImage img;
    const int r = Decode(img, file);
    EXPECT_FALSE(img.overrun);
    if (kind == "refuse") {  // RLE, 16 and 32 bits, not a bitmap
      EXPECT_EQ(r, 3);
      EXPECT_EQ(img.creates + img.palettes + img.rows, 0);
      continue;
    }
    ASSERT_EQ(r, 0);
    std::vector<uint32_t> want;
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(ldr::ReadReference(f + ".ref", &want, &w, &h));
    ASSERT_EQ(img.width, w);
    ASSERT_EQ(img.height, h);
    EXPECT_EQ(img.Colours(), want);
    EXPECT_EQ(img.creates, 1);
    EXPECT_EQ(img.rows, static_cast<int>(h));
    EXPECT_EQ(img.rowStarts.front(), static_cast<int32_t>(w * (h - 1)));  // bottom row first
    const uint16_t bpp = file[28];
    EXPECT_EQ(img.indexed, bpp == 24 ? 0 : 1);
    if (bpp != 24) {
      EXPECT_EQ(img.palettes, 1);
      EXPECT_EQ(img.paletteCounts[0], bpp == 1 ? 2u : bpp == 4 ? 16u : 256u);
      Bytes idx = zt::ReadFile(f + ".idx");
      if (!idx.empty()) {
        EXPECT_EQ(img.pixels, std::vector<uint32_t>(idx.begin(), idx.end()));
      }
    }
    compared++;
  }
  EXPECT_GE(compared, 24);
}

TEST_F(BmpCorpus, MutatedFilesFailCleanly) {
  ldr::Lcg rng(1234);
  // Half the byte changes in the 54-byte header and the palette start, where sizes live.
  const ldr::Mutations plan{60, 6, 0, 60};
  for (auto& [name, kind] : manifest_)
    ldr::ExpectMutantsFailCleanly(name, zt::ReadFile(dir_ + "/" + name), rng, plan, Decode);
}

TEST(BmpHand, EdgeCases) {
  {  // height 0: created, no rows, success
    ldr::FakeImage img;
    EXPECT_EQ(Decode(img, MakeBmp(5, 0, 24, 0, 0)), ERES_OK);
    EXPECT_EQ(img.creates, 1);
    EXPECT_EQ(img.rows, 0);
  }
  {  // width 0: no row at all, bad data before any callback
    ldr::FakeImage img;
    EXPECT_EQ(Decode(img, MakeBmp(0, 4, 8, 0, 256)), ERES_BAD);
    EXPECT_EQ(img.creates, 0);
  }
  {  // a top-down file: the huge unsigned height reaches the surface, which refuses it
    ldr::FakeImage img;
    Bytes b = MakeBmp(4, 3, 24, 3, 0);
    b[22] = 0xFD;
    b[23] = b[24] = b[25] = 0xFF;  // -3
    EXPECT_EQ(Decode(img, b), ERES_NOMEMORY);
    EXPECT_EQ(img.creates, 1);
    EXPECT_EQ(img.height, 0xFFFFFFFDu);
    EXPECT_EQ(img.rows, 0);
    // A receiver that takes any size is still kept from a pixel index that wraps.
    ldr::FakeImage any;
    any.acceptAll = true;
    EXPECT_EQ(Decode(any, b), ERES_BAD);
    EXPECT_EQ(any.rows, 0);
  }
  {  // widths whose rows do not fit 32 bits are bad data
    for (uint32_t w : {0x80000000u, 0xFFFFFFFFu, 0x40000000u}) {
      ldr::FakeImage img;
      EXPECT_EQ(Decode(img, MakeBmp(w, 2, 24, 0, 0)), 1) << w;
      EXPECT_EQ(img.creates, 0);
    }
  }
  {  // the receiver refuses the fourth row: that code, rows before it delivered
    ldr::FakeImage img;
    img.refusePixelAt = 3;
    img.refuseCode = 6;
    EXPECT_EQ(Decode(img, MakeBmp(3, 10, 4, 10, 16)), 6);
    EXPECT_EQ(img.rows, 4);
    img.refusePixelAt = -1;
    ldr::FakeImage c;
    c.refuseCreate = 5;
    EXPECT_EQ(Decode(c, MakeBmp(3, 10, 4, 10, 16)), 5);
    EXPECT_EQ(c.palettes + c.rows, 0);
  }
  {  // an 8-bit file with a 2-entry palette still sends 256 words from offset 54
    ldr::FakeImage img;
    Bytes b = MakeBmp(4, 2, 8, 2, 2);
    ASSERT_EQ(Decode(img, b), ERES_OK);
    EXPECT_EQ(img.paletteCounts[0], 256u);
    EXPECT_EQ(img.palette[1], 0xFF060402u);  // bytes 06 04 02: blue 6, green 4, red 2
    // Entry 2 is the first four pixel bytes.
    EXPECT_EQ(img.palette[2], 0xFF000000u | b[62] << 16 | b[63] << 8 | b[64]);
  }
  {  // a file cut inside its first row: the bytes never read are zero, not stale memory
    ldr::FakeImage img;
    Bytes b = MakeBmp(5, 6, 24, 6, 0);
    b.resize(54 + 7);
    ASSERT_EQ(Decode(img, b), ERES_OK);
    EXPECT_EQ(img.rows, 6);
    const uint32_t bottom = 5 * 5;
    EXPECT_EQ(img.pixels[bottom + 3], 0xFF000000u);
    EXPECT_EQ(img.pixels[bottom + 2], 0xFF000000u | b[54 + 6] << 16);
    EXPECT_EQ(img.pixels[0], img.pixels[bottom]);  // rows past the end keep the last bytes read
    EXPECT_FALSE(img.overrun);
  }
  {  // 1- and 4-bit unpacking order
    ldr::FakeImage img;
    Bytes b = MakeBmp(10, 1, 1, 1, 2);
    b[54 + 8] = 0xA5;
    b[54 + 9] = 0x40;
    ASSERT_EQ(Decode(img, b), ERES_OK);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{1, 0, 1, 0, 0, 1, 0, 1, 0, 1}));
    ldr::FakeImage img4;
    Bytes c = MakeBmp(3, 1, 4, 1, 16);
    c[54 + 64] = 0x3C;
    c[54 + 65] = 0x7F;
    ASSERT_EQ(Decode(img4, c), ERES_OK);
    EXPECT_EQ(img4.pixels, (std::vector<uint32_t>{3, 12, 7}));
  }
}

}  // namespace
