// The PNG loader against Pillow (and ImageMagick for 16-bit samples) on a corpus
// made at test time, hand-made edge cases and a bounded mutation run.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <sstream>

#include "loaders/eldr_png.h"
#include "tests/loaders/ldr_fake.h"

namespace {

using Bytes = std::vector<uint8_t>;

int Decode(ldr::FakeImage& f, Bytes file) {
  ELoader_PNG l;
  return l.Decode(&f, file.data(), static_cast<uint32_t>(file.size()), 6, 0);
}

// --- Hand-made files ---
void PutBE(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
}
void Chunk(Bytes& png, const char* type, const Bytes& data, int64_t length = -1) {
  PutBE(png, length < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(length));
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  PutBE(png, 0);  // check value: not verified
}
Bytes Ihdr(uint32_t w, uint32_t h, uint8_t depth, uint8_t type, uint8_t interlace = 0) {
  Bytes d;
  PutBE(d, w);
  PutBE(d, h);
  d.insert(d.end(), {depth, type, 0, 0, interlace});
  return d;
}
Bytes Deflate(const Bytes& raw) {
  uLongf n = compressBound(static_cast<uLong>(raw.size()));
  Bytes out(n);
  compress2(out.data(), &n, raw.data(), static_cast<uLong>(raw.size()), 6);
  out.resize(n);
  return out;
}
Bytes Signature() { return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}; }
// Signature, header, the extra chunks, one IDAT of the rows, IEND.
Bytes Png(const Bytes& ihdr, const Bytes& rows, const std::vector<std::pair<const char*, Bytes>>& extra = {},
          bool iend = true) {
  Bytes p = Signature();
  Chunk(p, "IHDR", ihdr);
  for (auto& e : extra) Chunk(p, e.first, e.second);
  Chunk(p, "IDAT", Deflate(rows));
  if (iend) Chunk(p, "IEND", {});
  return p;
}

class PngCorpus : public ldr::CorpusTest<PngCorpus> {
 public:
  static constexpr const char* kScript = "make_png_corpus.py";
  static constexpr const char* kFolder = "ldr_png_corpus";
  static constexpr const char* kMissing = "ImageMagick, Pillow or pngcrush";
  static constexpr size_t kMinimum = 50;
  static bool Tools() { return zt::HaveExecutable(zt::kConvert) && zt::HavePythonModule("PIL") && zt::HaveTool("pngcrush"); }

 protected:
  static bool Reference(const std::string& name, uint32_t* w, uint32_t* h, std::vector<uint32_t>* px) {
    return ldr::ReadReference(dir_ + "/" + name + ".ref", px, w, h);
  }
};

// Every colour type and depth, palettes with and without tRNS, grey and colour keys,
// Adam7 at widths 1 to 4, forced filters and split IDATs decode pixel for pixel as
// Pillow does. 16-bit files are compared with ImageMagick's samples' high bytes,
// which is how this loader reads them (Pillow clips 16-bit grey instead).
TEST_F(PngCorpus, DecodesLikeReference) {
  int compared = 0;
  for (auto& [name, kind, other] : manifest_) {
    SCOPED_TRACE(name);
    ldr::FakeImage img;
    const int r = Decode(img, zt::ReadFile(dir_ + "/" + name));
    EXPECT_FALSE(img.overrun);
    if (kind == "refuse") {
      EXPECT_EQ(r, 3);
      EXPECT_EQ(img.creates + img.palettes + img.rows, 0);
      continue;
    }
    if (kind == "bad") {
      EXPECT_EQ(r, 1);
      EXPECT_EQ(img.creates, 1);
      continue;
    }
    if (kind == "cut") {  // an interlaced picture cut short delivers no row
      ldr::ExpectCutFile(img, r, dir_ + "/" + other + ".ref", 0);
      continue;
    }
    ASSERT_EQ(r, 0);
    uint32_t w, h;
    std::vector<uint32_t> want;
    ASSERT_TRUE(Reference(name, &w, &h, &want));
    ASSERT_EQ(img.width, w);
    ASSERT_EQ(img.height, h);
    EXPECT_EQ(img.rows, static_cast<int>(h));
    EXPECT_EQ(img.rowStarts.front(), 0);  // top row first
    const std::vector<uint32_t> got = img.Colours();
    size_t diffs = 0;
    for (size_t i = 0; i < got.size(); i++) diffs += got[i] != want[i];
    EXPECT_EQ(diffs, 0u) << "first: " << std::hex
                         << (diffs ? got[std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin()] : 0);
    compared++;
  }
  EXPECT_GT(compared, 50);
}

TEST_F(PngCorpus, MutatedFilesFailCleanly) {
  ldr::Lcg rng(99);
  // Half the byte changes in the 40 bytes after the signature: the header chunk.
  const ldr::Mutations plan{12, 4, 8, 40};
  for (auto& [name, kind, other] : manifest_)
    ldr::ExpectMutantsFailCleanly(name, zt::ReadFile(dir_ + "/" + name), rng, plan, Decode);
}

TEST(PngHand, KeysAndPalettes) {
  {  // 16-bit keys compare all 16 bits of every sample
    Bytes rows = {0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC,  // the key
                  0x12, 0x35, 0x56, 0x78, 0x9A, 0xBC};    // red's low byte differs
    Bytes key = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, Png(Ihdr(2, 1, 16, 2), rows, {{"tRNS", key}})), ERES_OK);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0x009A5612u, 0xFF9A5612u}));
    ldr::FakeImage grey;  // grey with alpha: the alpha sample is not part of the key
    ASSERT_EQ(Decode(grey, Png(Ihdr(2, 1, 16, 0), {0, 0x12, 0x34, 0x12, 0x33}, {{"tRNS", {0x12, 0x34}}})), ERES_OK);
    EXPECT_EQ(grey.pixels, (std::vector<uint32_t>{0x00121212u, 0xFF121212u}));
  }
  {  // palette tRNS of 3 bytes: a second palette call of 12 bytes at index 0
    Bytes plte;
    for (int i = 0; i < 5; i++) plte.insert(plte.end(), {uint8_t(i), uint8_t(10 + i), uint8_t(20 + i)});
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, Png(Ihdr(5, 1, 8, 3), {0, 0, 1, 2, 3, 4},
                              {{"PLTE", plte}, {"tRNS", {0, 128, 7}}})),
              ERES_OK);
    EXPECT_EQ(img.paletteCounts, (std::vector<uint32_t>{5, 3}));
    EXPECT_EQ(img.paletteStarts, (std::vector<uint32_t>{0, 0}));
    EXPECT_EQ(img.palette[0], 0x00140A00u);
    EXPECT_EQ(img.palette[1], 0x80150B01u);
    EXPECT_EQ(img.palette[3], 0xFF170D03u);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(img.transparency, 1);
  }
  {  // grey 2-bit: value 2 is 0xAA; a key of 1 turns 0x55 transparent
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, Png(Ihdr(4, 1, 2, 0), {0, 0x1B}, {{"tRNS", {0, 1}}})), ERES_OK);
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFF000000u, 0x00555555u, 0xFFAAAAAAu, 0xFFFFFFFFu}));
  }
}

TEST(PngHand, StructureEdgeCases) {
  const Bytes rgbRows = {0, 1, 2, 3, 4, 5, 6, 1, 9, 9, 9, 1, 1, 1};
  {  // no IEND: decodes normally
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, Png(Ihdr(2, 2, 8, 2), rgbRows, {}, false)), ERES_OK);
    EXPECT_EQ(img.pixels[3], 0xFF0A0A0Au);  // Sub filter on the second row
  }
  {  // several IDATs with another chunk between them decode like one
    Bytes z = Deflate(rgbRows);
    Bytes p = Signature();
    Chunk(p, "IHDR", Ihdr(2, 2, 8, 2));
    Chunk(p, "IDAT", Bytes(z.begin(), z.begin() + 5));
    Chunk(p, "tEXt", {'a', 0, 'b'});
    Chunk(p, "IDAT", Bytes(z.begin() + 5, z.end()));
    Chunk(p, "IEND", {});
    ldr::FakeImage one, split;
    ASSERT_EQ(Decode(one, Png(Ihdr(2, 2, 8, 2), rgbRows)), ERES_OK);
    ASSERT_EQ(Decode(split, p), ERES_OK);
    EXPECT_EQ(split.pixels, one.pixels);
  }
  {  // nothing before the header: IDAT or PLTE first is bad data, no callback
    for (const char* first : {"IDAT", "PLTE", "tRNS"}) {
      Bytes p = Signature();
      Chunk(p, first, first[0] == 'I' ? Deflate(rgbRows) : Bytes{1, 2, 3});
      Chunk(p, "IHDR", Ihdr(2, 2, 8, 2));
      Chunk(p, "IDAT", Deflate(rgbRows));
      ldr::FakeImage img;
      EXPECT_EQ(Decode(img, p), 1) << first;
      EXPECT_EQ(img.creates + img.palettes, 0) << first;
    }
  }
  {  // a second header would make the surface again: refused after the first
    Bytes p = Signature();
    Chunk(p, "IHDR", Ihdr(2, 2, 8, 2));
    Chunk(p, "IHDR", Ihdr(200, 200, 8, 2));
    Chunk(p, "IDAT", Deflate(rgbRows));
    ldr::FakeImage img;
    EXPECT_EQ(Decode(img, p), ERES_BAD);
    EXPECT_EQ(img.creates, 1);
  }
  {  // chunk lengths that wrap or run past the file end the walk; no hang, no overrun
    for (uint32_t len : {0xFFFFFFF4u, 0xFFFFFFFFu, 0x7FFFFFFFu, 1000u}) {
      Bytes p = Signature();
      Chunk(p, "IHDR", Ihdr(2, 2, 8, 2));
      Chunk(p, "IDAT", Deflate(rgbRows), len);
      ldr::FakeImage img;
      EXPECT_EQ(Decode(img, p), 0) << len;  // the whole stream is there
      EXPECT_EQ(img.rows, 2);
      Bytes q = Signature();
      Chunk(q, "IHDR", Ihdr(2, 2, 8, 2));
      Chunk(q, "tEXt", {1, 2, 3}, len);
      ldr::FakeImage img2;
      EXPECT_EQ(Decode(img2, q), 1) << len;  // no image data
    }
  }
  {  // sizes past 32 bits are refused before the surface, also for a receiver that takes any size
    for (auto wh : {std::pair<uint32_t, uint32_t>{0x7FFFFFFF, 0x7FFFFFFF}, {0x40000000, 4}, {4, 0x40000000}}) {
      ldr::FakeImage img;
      img.acceptAll = true;
      EXPECT_EQ(Decode(img, Png(Ihdr(wh.first, wh.second, 16, 6), rgbRows)), 2) << wh.first;
      EXPECT_EQ(img.creates + img.rows, 0);
    }
  }
  {  // a stream that ends cleanly before the last row: the rows it covers, then a failure
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, Png(Ihdr(2, 3, 8, 2), {0, 1, 2, 3, 4, 5, 6})), ERES_BAD);
    EXPECT_EQ(img.rows, 1);
    EXPECT_EQ(img.pixels[1], 0xFF060504u);
    EXPECT_EQ(img.pixels[2], 0xDEADBEEFu);
  }
  {  // a stream that gives more than the picture holds is bad data
    ldr::FakeImage img;
    EXPECT_EQ(Decode(img, Png(Ihdr(2, 1, 8, 2), rgbRows)), ERES_BAD);
    ldr::FakeImage il;
    EXPECT_EQ(Decode(il, Png(Ihdr(1, 1, 8, 0, 1), {0, 0x42, 0})), ERES_BAD);
  }
  {  // a 1x1 Adam7 picture has only pass 1; a refused row does not stop delivery
    ldr::FakeImage img;
    img.refusePixelAt = 0;
    ASSERT_EQ(Decode(img, Png(Ihdr(1, 1, 8, 0, 1), {0, 0x42})), ERES_OK);
    EXPECT_EQ(img.pixels[0], 0xFF424242u);
    ldr::FakeImage many;
    many.refusePixelAt = 0;
    ASSERT_EQ(Decode(many, Png(Ihdr(2, 2, 8, 2), rgbRows)), ERES_OK);
    EXPECT_EQ(many.rows, 2);
  }
  {  // depths PNG does not allow for the colour type are bad data before any callback
    // (a depth of 255 once sized a 2 GB picture from a 65-byte file)
    const std::pair<uint8_t, uint8_t> bad[] = {{255, 2}, {101, 6}, {255, 0}, {3, 0}, {0, 0},
                                               {16, 3}, {4, 2}, {2, 4}, {1, 6}, {32, 2},
                                               {8, 1}, {8, 5}, {8, 7}, {16, 255}};
    for (auto b : bad) {
      ldr::FakeImage img;
      img.acceptAll = true;
      EXPECT_EQ(Decode(img, Png(Ihdr(2, 2, b.first, b.second), rgbRows)), 1)
          << int(b.first) << "/" << int(b.second);
      EXPECT_EQ(img.creates, 0);
    }
  }
  {  // a zero width is bad data before any callback; a wrong signature is not ours
    ldr::FakeImage img;
    EXPECT_EQ(Decode(img, Png(Ihdr(0, 2, 8, 2), rgbRows)), ERES_BAD);
    Bytes p = Png(Ihdr(2, 2, 8, 2), rgbRows);
    p[7] = 0;
    EXPECT_EQ(Decode(img, p), ERES_NOTTHISFORMAT);
    EXPECT_EQ(Decode(img, {}), ERES_NOTTHISFORMAT);
    EXPECT_EQ(img.creates, 0);
  }
  EXPECT_EQ(ELoader_PNG_Linesize(3, 4, false, false, false), 3u);
  EXPECT_EQ(ELoader_PNG_Linesize(3, 16, false, true, true), 25u);
}

}  // namespace
