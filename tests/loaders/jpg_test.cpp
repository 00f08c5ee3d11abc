// The JPEG decoder against djpeg (-dct int -nosmooth) on a corpus made at test
// time by cjpeg, jpegtran and ImageMagick; progressive files made by jpegtran
// from baseline ones must give identical pixels; hand-made streams for the error
// codes; and a bounded mutation run.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "loaders/eldr_jpg.h"
#include "tests/loaders/ldr_fake.h"

namespace {

using Bytes = std::vector<uint8_t>;

int Decode(ldr::FakeImage& f, Bytes file) {
  ELoader_JPG l;
  return l.Decode(&f, file.data(), static_cast<uint32_t>(file.size()), 6, 0);
}

class JpgCorpus : public ::testing::Test {
 protected:
  struct Entry {
    std::string name, kind, other;
  };
  static std::string dir_;
  static bool ready_;
  static std::vector<Entry> manifest_;
  static bool Tools() {
    return ldr::HaveConvert() && ldr::HavePillow() && zt::HaveTool("cjpeg") && zt::HaveTool("djpeg") &&
           zt::HaveTool("jpegtran");
  }
  static void SetUpTestSuite() {
    if (!Tools()) return;
    dir_ = zt::TempDir("ldr_jpg_corpus");
    const std::string script = std::string(ZARN_SOURCE_DIR) + "/tests/loaders/data/make_jpg_corpus.py";
    ready_ = zt::Run("cd '" + dir_ + "' && " + ldr::kPython + " '" + script + "' >/dev/null 2>&1") == 0;
    std::ifstream m(dir_ + "/manifest.txt");
    Entry e;
    while (m >> e.name >> e.kind >> e.other) manifest_.push_back(e);
  }
  void SetUp() override {
    if (!Tools()) GTEST_SKIP() << "ImageMagick, Pillow or libjpeg-turbo-progs missing";
    ASSERT_TRUE(ready_) << "corpus could not be made";
    ASSERT_GT(manifest_.size(), 80u);
  }
};
std::string JpgCorpus::dir_;
bool JpgCorpus::ready_ = false;
std::vector<JpgCorpus::Entry> JpgCorpus::manifest_;

// Baseline, progressive, grey, restart intervals and 4:4:4, 4:2:2, 4:4:0 and
// 4:2:0 sampling decode to djpeg's pixels, top row first. The inverse DCT here
// runs its row pass first and djpeg its column pass first, so a sample may
// differ by one; grey stays within 1, colour within 3 once a luma and a chroma
// difference meet in the conversion (removing the order difference makes every
// file of this corpus match exactly).
TEST_F(JpgCorpus, DecodesLikeDjpeg) {
  int compared = 0;
  for (const Entry& e : manifest_) {
    if (e.kind != "ref") continue;
    SCOPED_TRACE(e.name);
    const std::string f = dir_ + "/" + e.name;
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, ldr::ReadFile(f)), 0);
    std::vector<uint32_t> want;
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(ldr::ReadReference(f + ".ref", &want, &w, &h));
    ASSERT_EQ(img.width, w);
    ASSERT_EQ(img.height, h);
    EXPECT_EQ(img.indexed, 0);
    EXPECT_EQ(img.rows, static_cast<int>(h));
    EXPECT_FALSE(img.overrun);
    // Channel differences: the largest, and how many exceed 1.
    int worst = 0, over1 = 0;
    for (size_t i = 0; i < want.size(); i++)
      for (int s = 0; s < 32; s += 8) {
        const int d = std::abs(static_cast<int>((img.pixels[i] >> s) & 0xFF) - static_cast<int>((want[i] >> s) & 0xFF));
        worst = std::max(worst, d);
        over1 += d > 1;
      }
    const bool grey = e.name.find("grey") != std::string::npos;
    EXPECT_LE(worst, grey ? 1 : 3);
    EXPECT_LE(over1, static_cast<int>(want.size() * 4 / 50));  // at most 2% of the channel values
    compared++;
  }
  EXPECT_GE(compared, 50);
}

// jpegtran keeps the coefficients, so its progressive files decode bit for bit
// like the baseline files they came from.
TEST_F(JpgCorpus, ProgressiveEqualsItsBaseline) {
  int pairs = 0;
  for (const Entry& e : manifest_) {
    if (e.kind != "same") continue;
    SCOPED_TRACE(e.name);
    ldr::FakeImage a, b;
    ASSERT_EQ(Decode(a, ldr::ReadFile(dir_ + "/" + e.name)), 0);
    ASSERT_EQ(Decode(b, ldr::ReadFile(dir_ + "/" + e.other)), 0);
    EXPECT_EQ(a.rows, static_cast<int>(a.height));
    EXPECT_EQ(a.pixels, b.pixels);
    pairs++;
  }
  EXPECT_GE(pairs, 25);
}

TEST_F(JpgCorpus, RefusedAndRowlessFiles) {
  for (const Entry& e : manifest_) {
    if (e.kind != "refuse" && e.kind != "norows") continue;
    SCOPED_TRACE(e.name);
    ldr::FakeImage img;
    if (e.kind == "refuse") {  // arithmetic coding, a lossless frame, not a JPEG
      EXPECT_EQ(Decode(img, ldr::ReadFile(dir_ + "/" + e.name)), 3);
      EXPECT_EQ(img.creates + img.rows, 0);
    } else {  // CMYK: the frame is read, then no rows
      EXPECT_EQ(Decode(img, ldr::ReadFile(dir_ + "/" + e.name)), 0);
      EXPECT_EQ(img.creates, 1);
      EXPECT_EQ(img.rows, 0);
    }
  }
}

TEST_F(JpgCorpus, MutatedFilesFailCleanly) {
  ldr::Lcg rng(777);
  int files = 0;
  for (const Entry& e : manifest_) {
    if (e.name.find("screen") != std::string::npos || files++ % 2) continue;  // the small ones, every other
    const Bytes file = ldr::ReadFile(dir_ + "/" + e.name);
    for (int round = 0; round < 30; round++) {
      Bytes m = file;
      const int mode = round % 3;
      if (mode == 0) {
        m.resize(rng.Next() % m.size());
      } else {
        const int flips = 1 + rng.Next() % 6;
        for (int k = 0; k < flips; k++) {
          const size_t at = (mode == 1) ? rng.Next() % 700 % m.size() : rng.Next() % m.size();
          m[at] = static_cast<uint8_t>(rng.Next());
        }
      }
      ldr::FakeImage img;
      img.maxPixels = 1u << 20;
      const int r = Decode(img, m);
      EXPECT_TRUE(r >= 0 && r <= 3) << e.name << " round " << round << " gave " << r;
      EXPECT_FALSE(img.overrun) << e.name << " round " << round;
      EXPECT_LE(img.creates, 1);
    }
  }
}

}  // namespace
