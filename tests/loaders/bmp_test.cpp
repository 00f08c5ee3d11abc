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

class BmpCorpus : public ldr::CorpusTest<BmpCorpus> {
 public:
  static constexpr const char* kScript = "make_bmp_corpus.py";
  static constexpr const char* kFolder = "ldr_bmp_corpus";
  static constexpr const char* kMissing = "ImageMagick or Pillow";
  static constexpr size_t kMinimum = 20;
  static bool Tools() { return zt::HaveExecutable(zt::kConvert) && zt::HavePythonModule("PIL"); }
};

// 1, 4, 8 and 24-bit files of odd widths made by ImageMagick and Pillow, and
// ImageMagick's own default with a 124-byte info header (also cut to 108 bytes),
// 16 and 32-bit files with colour masks (alpha among them), stored bottom row
// first or top row first, decode to Pillow's colours and palette indices.
TEST_F(BmpCorpus, DecodesLikePillow) {
  int compared = 0;
  for (auto& [name, kind, other] : manifest_) {
    SCOPED_TRACE(name);
    const std::string f = dir_ + "/" + name;
    Bytes file = zt::ReadFile(f);
    ldr::FakeImage img;
    const int r = Decode(img, file);
    EXPECT_FALSE(img.overrun);
    if (kind == "refuse") {  // RLE, not a bitmap
      EXPECT_EQ(r, 3);
      EXPECT_EQ(img.creates + img.palettes + img.rows, 0);
      continue;
    }
    std::vector<uint32_t> want;
    uint32_t w = 0, h = 0;
    if (kind == "cut") {
      ldr::ExpectCutFile(img, r, dir_ + "/" + other + ".ref", 1);
      continue;
    }
    ASSERT_EQ(r, 0);
    ASSERT_TRUE(ldr::ReadReference(f + ".ref", &want, &w, &h));
    ASSERT_EQ(img.width, w);
    ASSERT_EQ(img.height, h);
    EXPECT_EQ(img.Colours(), want);
    EXPECT_EQ(img.creates, 1);
    EXPECT_EQ(img.rows, static_cast<int>(h));
    const bool topDown = file[25] & 0x80;
    EXPECT_EQ(img.rowStarts.front(), topDown ? 0 : static_cast<int32_t>(w * (h - 1)));
    const uint16_t bpp = file[28];
    EXPECT_EQ(img.indexed, bpp <= 8 ? 1 : 0);
    EXPECT_EQ(img.transparency, bpp == 32 ? 1 : 0);  // the 32-bit files have an alpha mask
    if (bpp <= 8) {
      EXPECT_EQ(img.palettes, 1);
      EXPECT_EQ(img.paletteCounts[0], bpp == 1 ? 2u : bpp == 4 ? 16u : 256u);
      Bytes idx = zt::ReadFile(f + ".idx");
      if (!idx.empty()) {
        EXPECT_EQ(img.pixels, std::vector<uint32_t>(idx.begin(), idx.end()));
      }
    }
    compared++;
  }
  EXPECT_GE(compared, 39);
}

TEST_F(BmpCorpus, MutatedFilesFailCleanly) {
  ldr::Lcg rng(1234);
  // Half the byte changes in the 54-byte header and the palette start, where sizes live.
  const ldr::Mutations plan{60, 6, 0, 60};
  for (auto& [name, kind, other] : manifest_)
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
  {  // a negative height: stored top row first
    ldr::FakeImage img;
    Bytes b = MakeBmp(4, 3, 24, 3, 0);
    b[22] = 0xFD;
    b[23] = b[24] = b[25] = 0xFF;  // -3
    EXPECT_EQ(Decode(img, b), ERES_OK);
    EXPECT_EQ(img.height, 3u);
    ASSERT_EQ(img.rowStarts, (std::vector<int32_t>{0, 4, 8}));
    EXPECT_EQ(img.pixels[0], 0xFF000000u | b[54] << 16 | b[55] << 8 | b[56]);
    // The largest negative height is past the size bound: refused before the surface.
    ldr::FakeImage any;
    any.acceptAll = true;
    b[22] = b[23] = b[24] = 0;
    b[25] = 0x80;
    EXPECT_EQ(Decode(any, b), ERES_NOMEMORY);
    EXPECT_EQ(any.creates + any.rows, 0);
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
  {  // a file cut inside a row's pixels: the rows before it, then a failure; the
     // padding of the last row may be missing
    Bytes b = MakeBmp(5, 6, 24, 6, 0);  // rows of 15 pixel bytes and 1 of padding
    ldr::FakeImage cut;
    EXPECT_EQ(Decode(cut, Bytes(b.begin(), b.begin() + 54 + 16 * 2 + 7)), ERES_BAD);
    EXPECT_EQ(cut.rows, 2);
    EXPECT_EQ(cut.rowStarts, (std::vector<int32_t>{25, 20}));
    ldr::FakeImage padless;
    EXPECT_EQ(Decode(padless, Bytes(b.begin(), b.end() - 1)), ERES_OK);
    EXPECT_EQ(padless.rows, 6);
    EXPECT_FALSE(cut.overrun || padless.overrun);
  }
  {  // colour masks after a 40-byte header, 10 bits a channel: the top 8 bits of each
    Bytes b = MakeBmp(2, 1, 32, 1, 3, 3);
    for (uint32_t i = 0; i < 3; i++) EBytes_Put32(&b[54 + 4 * i], 0x3FFu << (20 - 10 * i));
    EBytes_Put32(&b[66], 0x3FF80001u);  // red 0x3FF, green 0x200, blue 1
    EBytes_Put32(&b[70], 0xC0000000u);  // only bits outside the masks
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, b), ERES_OK);
    EXPECT_EQ(img.indexed, 0);
    EXPECT_EQ(img.transparency, 0);  // no alpha mask in a 40-byte header
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFF0080FFu, 0xFF000000u}));
    b[30] = 0;  // 32 bits without masks is not read here
    EXPECT_EQ(Decode(img, b), ERES_NOTTHISFORMAT);
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
