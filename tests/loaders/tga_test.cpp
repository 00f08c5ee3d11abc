// The TGA loader against Pillow on a corpus made at test time by ImageMagick,
// netpbm and Pillow, hand-made headers for the kinds it refuses, and a bounded
// mutation run.
#include <gtest/gtest.h>

#include <fstream>

#include "loaders/eldr_tga.h"
#include "tests/loaders/ldr_fake.h"

namespace {

using Bytes = std::vector<uint8_t>;

int Decode(ldr::FakeImage& f, Bytes file) {
  ELoader_TGA l;
  return l.Decode(&f, file.data(), static_cast<uint32_t>(file.size()), 6, 0);
}

struct TgaHeader {
  uint8_t idlength = 0, maptype = 0, type = 2;
  uint16_t mapfirst = 0, maplength = 0;
  uint8_t mapentry = 0;
  uint16_t w = 3, h = 2;
  uint8_t depth = 24, descriptor = 0;
};

// Header, id bytes, a colour map of entries (i, 2i, 3i[, 255 - i]) and rows of
// bytes counting up.
Bytes MakeTga(const TgaHeader& s) {
  Bytes b = {s.idlength, s.maptype, s.type};
  ldr::Put16(b, s.mapfirst);
  ldr::Put16(b, s.maplength);
  b.push_back(s.mapentry);
  ldr::Put16(b, 0);
  ldr::Put16(b, 0);
  ldr::Put16(b, s.w);
  ldr::Put16(b, s.h);
  b.push_back(s.depth);
  b.push_back(s.descriptor);
  for (int i = 0; i < s.idlength; i++) b.push_back(0xEE);
  for (uint32_t i = 0; s.maptype == 1 && i < s.maplength; i++) {
    b.insert(b.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(2 * i), static_cast<uint8_t>(3 * i)});
    if (s.mapentry == 32) b.push_back(static_cast<uint8_t>(255 - i));
  }
  const size_t n = static_cast<size_t>(s.w) * s.h * s.depth / 8;
  for (size_t i = 0; i < n; i++) b.push_back(static_cast<uint8_t>(i % 8));
  return b;
}

class TgaCorpus : public ldr::CorpusTest<TgaCorpus> {
 public:
  static constexpr const char* kScript = "make_tga_corpus.py";
  static constexpr const char* kFolder = "ldr_tga_corpus";
  static constexpr const char* kMissing = "ImageMagick, Pillow or netpbm";
  static constexpr size_t kMinimum = 40;
  static bool Tools() { return zt::HaveImageMagick() && zt::HavePythonModule("PIL") && zt::HaveTool("pamtotga"); }
};

// Colour-mapped, true-colour (24 and 32 bits) and grey files, bottom row first
// and top row first, decode to Pillow's colours exactly.
TEST_F(TgaCorpus, DecodesLikePillow) {
  int compared = 0;
  for (auto& [name, kind, other] : manifest_) {
    SCOPED_TRACE(name);
    const std::string f = dir_ + "/" + name;
    const Bytes file = zt::ReadFile(f);
    ldr::FakeImage img;
    const int r = Decode(img, file);
    EXPECT_FALSE(img.overrun);
    if (kind == "refuse") {
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
    EXPECT_EQ(img.rows, static_cast<int>(h));
    const bool top = file[17] & 0x20;
    EXPECT_EQ(img.rowStarts.front(), top ? 0 : static_cast<int32_t>(w * (h - 1)));
    EXPECT_EQ(img.indexed, file[1]);
    EXPECT_EQ(img.transparency, file[16] == 32 ? 1 : 0);
    compared++;
  }
  EXPECT_GE(compared, 40);
}

TEST_F(TgaCorpus, MutatedFilesFailCleanly) {
  ldr::Lcg rng(4321);
  const ldr::Mutations plan{30, 4, 0, 18};  // half the changes in the 18-byte header
  for (auto& [name, kind, other] : manifest_)
    ldr::ExpectMutantsFailCleanly(name, zt::ReadFile(dir_ + "/" + name), rng, plan, Decode);
}

// Header kinds that are not read answer 3 before any callback, so the data goes
// on to later loaders.
TEST(TgaHand, RefusedHeaders) {
  struct Case {
    const char* what;
    TgaHeader s;
  };
  auto header = [](uint8_t maptype, uint8_t type, uint8_t mapentry, uint8_t depth, uint8_t desc = 0) {
    TgaHeader s;
    s.maptype = maptype;
    s.type = type;
    s.mapentry = mapentry;
    s.maplength = maptype == 1 ? 4 : 0;
    s.depth = depth;
    s.descriptor = desc;
    return s;
  };
  const Case cases[] = {
      {"map type 2", header(2, 2, 0, 24)},
      {"run-length true colour", header(0, 10, 0, 24)},
      {"run-length colour-mapped", header(1, 9, 24, 8)},
      {"run-length grey", header(0, 11, 0, 8)},
      {"type 0", header(0, 0, 0, 24)},
      {"map entries of 16 bits", header(1, 1, 16, 8)},
      {"depth 15", header(0, 2, 0, 15)},
      {"grey of 16 bits", header(0, 3, 0, 16)},
      {"right to left", header(0, 2, 0, 24, 0x10)},
      {"colour-mapped without a map", header(0, 1, 0, 8)},
      {"colour-mapped with 16-bit indices", header(1, 1, 24, 16)},
      {"true colour with a map", header(1, 2, 24, 24)},
      {"true colour of 8 bits", header(0, 2, 0, 8)},
      {"grey with a map", header(1, 3, 24, 8)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ldr::FakeImage img;
    EXPECT_EQ(Decode(img, MakeTga(c.s)), 3);
    EXPECT_EQ(img.creates + img.palettes + img.rows, 0);
  }
  ldr::FakeImage img;
  EXPECT_EQ(Decode(img, Bytes{0, 0, 2}), 3);  // shorter than a header
}

TEST(TgaHand, PixelLayoutsAndPalettes) {
  {  // 16 bits: 0x1F, 0x7C is red 31 and blue 31, no green
    TgaHeader s;
    s.w = 1;
    s.h = 1;
    s.depth = 16;
    Bytes b = MakeTga(s);
    b[18] = 0x1F;
    b[19] = 0x7C;
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, b), 0);
    EXPECT_EQ(img.pixels[0], 0xFFF800F8u);
    b[19] = 0xFC;  // the attribute bit is not used
    ldr::FakeImage a;
    ASSERT_EQ(Decode(a, b), 0);
    EXPECT_EQ(a.pixels[0], 0xFFF800F8u);
  }
  {  // 32-bit map from first index 16, 8 entries: one call of 32 bytes at 16
    TgaHeader s;
    s.maptype = 1;
    s.type = 1;
    s.mapentry = 32;
    s.mapfirst = 16;
    s.maplength = 8;
    s.depth = 8;
    s.idlength = 5;
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, MakeTga(s)), 0);
    ASSERT_EQ(img.palettes, 1);
    EXPECT_EQ(img.paletteStarts[0], 16u);
    EXPECT_EQ(img.paletteCounts[0], 8u);
    EXPECT_EQ(img.palette[16 + 3], (255u - 3) << 24 | 3u << 16 | 6u << 8 | 9u);
    EXPECT_EQ(img.transparency, 1);
    EXPECT_EQ(img.indexed, 1);
    // The first stored row goes to the bottom: bytes 0 1 2 after the id and map.
    EXPECT_EQ(img.rowStarts.front(), 3);
    EXPECT_EQ(img.pixels[3], 0u);
    EXPECT_EQ(img.pixels[0], 3u);
  }
  {  // a map reaching past entry 255 sends only what fits; one starting past it, nothing
    TgaHeader s;
    s.maptype = 1;
    s.type = 1;
    s.mapentry = 24;
    s.mapfirst = 250;
    s.maplength = 10;
    s.depth = 8;
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, MakeTga(s)), 0);
    ASSERT_EQ(img.palettes, 1);
    EXPECT_EQ(img.paletteCounts[0], 6u);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{3, 4, 5, 0, 1, 2}));  // rows past the whole map
    s.mapfirst = 300;
    ldr::FakeImage past;
    ASSERT_EQ(Decode(past, MakeTga(s)), 0);
    EXPECT_EQ(past.palettes, 0);
    EXPECT_EQ(past.rows, 2);
  }
  {  // a map longer than 256 entries: 256 taken, the rows found past the whole map
    TgaHeader s;
    s.maptype = 1;
    s.type = 1;
    s.mapentry = 24;
    s.maplength = 300;
    s.depth = 8;
    s.descriptor = 0x20;
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, MakeTga(s)), 0);
    EXPECT_EQ(img.paletteCounts[0], 256u);
    EXPECT_EQ(img.rowStarts, (std::vector<int32_t>{0, 3}));
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
  }
}

TEST(TgaHand, FailuresAndRefusals) {
  {  // width 0: created, then bad data
    TgaHeader s;
    s.w = 0;
    ldr::FakeImage img;
    EXPECT_EQ(Decode(img, MakeTga(s)), 1);
    EXPECT_EQ(img.creates, 1);
    EXPECT_EQ(img.rows, 0);
  }
  {  // 65535 x 65535: past the size bound, refused before the surface, also for a
     // receiver that takes any size
    Bytes b = MakeTga(TgaHeader{});
    b[12] = b[13] = b[14] = b[15] = 0xFF;
    ldr::FakeImage img;
    img.acceptAll = true;
    EXPECT_EQ(Decode(img, b), ERES_NOMEMORY);
    EXPECT_EQ(img.creates + img.rows, 0);
  }
  {  // a file cut inside its second row: the first row, then a failure
    TgaHeader s;
    s.w = 4;
    s.h = 3;
    Bytes b = MakeTga(s);
    b.resize(18 + 12 + 5);
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, b), ERES_BAD);
    EXPECT_EQ(img.rows, 1);
    EXPECT_EQ(img.rowStarts, (std::vector<int32_t>{8}));
    EXPECT_FALSE(img.overrun);
  }
  {  // LdrOnCreate's refusal is returned; a pixel call's refusal ends the rows with 0
    TgaHeader s;
    s.h = 5;
    ldr::FakeImage c;
    c.refuseCreate = 2;
    EXPECT_EQ(Decode(c, MakeTga(s)), 2);
    ldr::FakeImage p;
    p.refusePixelAt = 1;
    EXPECT_EQ(Decode(p, MakeTga(s)), 0);
    EXPECT_EQ(p.rows, 2);
  }
}

}  // namespace
