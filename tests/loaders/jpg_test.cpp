// The JPEG decoder against djpeg (-dct int -nosmooth) on a corpus made at test
// time by cjpeg, jpegtran and ImageMagick; progressive files made by jpegtran
// from baseline ones must give identical pixels; hand-made streams for the error
// codes; and a bounded mutation run.
#include <gtest/gtest.h>

#include <array>
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

class JpgCorpus : public ldr::CorpusTest<JpgCorpus> {
 public:
  using Entry = ldr::CorpusEntry;
  static constexpr const char* kScript = "make_jpg_corpus.py";
  static constexpr const char* kFolder = "ldr_jpg_corpus";
  static constexpr const char* kMissing = "ImageMagick, Pillow or libjpeg-turbo-progs";
  static constexpr size_t kMinimum = 80;
  static bool Tools() {
    return zt::HaveImageMagick() && zt::HavePythonModule("PIL") && zt::HaveTool("cjpeg") && zt::HaveTool("djpeg") &&
           zt::HaveTool("jpegtran");
  }
};

// Baseline, progressive, grey, restart intervals, 4:4:4, 4:2:2, 4:4:0 and
// 4:2:0 sampling, sequential files with a scan per component and RGB files
// decode to djpeg's pixels, top row first. The inverse DCT here
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
    ASSERT_EQ(Decode(img, zt::ReadFile(f)), 0);
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
    ASSERT_EQ(Decode(a, zt::ReadFile(dir_ + "/" + e.name)), 0);
    ASSERT_EQ(Decode(b, zt::ReadFile(dir_ + "/" + e.other)), 0);
    EXPECT_EQ(a.rows, static_cast<int>(a.height));
    EXPECT_EQ(a.pixels, b.pixels);
    pairs++;
  }
  EXPECT_GE(pairs, 25);
}

// Arithmetic coding, a lossless frame, not a JPEG, CMYK and 4:1:1 sampling:
// refused before anything is made for them.
TEST_F(JpgCorpus, RefusedFiles) {
  int refused = 0;
  for (const Entry& e : manifest_) {
    if (e.kind != "refuse") continue;
    SCOPED_TRACE(e.name);
    ldr::FakeImage img;
    EXPECT_EQ(Decode(img, zt::ReadFile(dir_ + "/" + e.name)), 3);
    EXPECT_EQ(img.creates + img.rows, 0);
    refused++;
  }
  EXPECT_EQ(refused, 5);
}

TEST_F(JpgCorpus, MutatedFilesFailCleanly) {
  ldr::Lcg rng(777);
  const ldr::Mutations plan{30, 6, 0, 700};  // half the changes among the tables and headers
  int files = 0;
  for (const Entry& e : manifest_) {
    if (e.name.find("screen") != std::string::npos || files++ % 2) continue;  // the small ones, every other
    ldr::ExpectMutantsFailCleanly(e.name, zt::ReadFile(dir_ + "/" + e.name), rng, plan, Decode);
  }
}

// --- Hand-made streams ---

// Segments of a JPEG file.
struct Jpeg {
  Bytes b = {0xFF, 0xD8};
  Jpeg& Seg(uint8_t marker, const Bytes& payload) {
    b.insert(b.end(), {0xFF, marker, static_cast<uint8_t>((payload.size() + 2) >> 8),
                       static_cast<uint8_t>(payload.size() + 2)});
    b.insert(b.end(), payload.begin(), payload.end());
    return *this;
  }
  Jpeg& Raw(const Bytes& bytes) {
    b.insert(b.end(), bytes.begin(), bytes.end());
    return *this;
  }
  // One 8-bit table of a single value.
  Jpeg& Dqt(uint8_t id, uint8_t value = 16) {
    Bytes p = {id};
    p.insert(p.end(), 64, value);
    return Seg(0xDB, p);
  }
  // comps: id, sampling, table.
  Jpeg& Sof(uint8_t marker, uint16_t w, uint16_t h, const std::vector<std::array<uint8_t, 3>>& comps,
            uint8_t precision = 8) {
    Bytes p = {precision, static_cast<uint8_t>(h >> 8), static_cast<uint8_t>(h), static_cast<uint8_t>(w >> 8),
               static_cast<uint8_t>(w), static_cast<uint8_t>(comps.size())};
    for (auto& c : comps) p.insert(p.end(), c.begin(), c.end());
    return Seg(marker, p);
  }
  // Every symbol a 4-bit code: the code of symbol i of the list is i.
  Jpeg& Dht(uint8_t classid, const Bytes& symbols) {
    Bytes p = {classid};
    for (int l = 1; l <= 16; l++) p.push_back(l == 4 ? static_cast<uint8_t>(symbols.size()) : 0);
    p.insert(p.end(), symbols.begin(), symbols.end());
    return Seg(0xC4, p);
  }
  Jpeg& Sos(const std::vector<std::array<uint8_t, 2>>& comps, uint8_t ss = 0, uint8_t se = 63, uint8_t a = 0) {
    Bytes p = {static_cast<uint8_t>(comps.size())};
    for (auto& c : comps) p.insert(p.end(), c.begin(), c.end());
    p.insert(p.end(), {ss, se, a});
    return Seg(0xDA, p);
  }
  Jpeg& Eoi() { return Raw({0xFF, 0xD9}); }
};

// Entropy-coded bits with byte stuffing, padded with 1-bits.
struct Bits {
  Bytes out;
  uint32_t acc = 0;
  int n = 0;
  Bits& Put(uint32_t v, int len) {
    for (int i = len - 1; i >= 0; i--) {
      acc = acc << 1 | ((v >> i) & 1);
      if (++n == 8) Byte();
    }
    return *this;
  }
  void Byte() {
    out.push_back(static_cast<uint8_t>(acc));
    if (static_cast<uint8_t>(acc) == 0xFF) out.push_back(0);
    acc = 0;
    n = 0;
  }
  Bytes Done() {
    while (n) Put(1, 1);
    return out;
  }
};

const Bytes kDcSymbols = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
// AC symbols: end of block, one coefficient of 1 bit, an end-of-band run of
// 2 extra bits, sixteen zeros, a run of 15 then one coefficient, an end-of-band
// run of 14 extra bits.
const Bytes kAcSymbols = {0x00, 0x01, 0x20, 0xF0, 0xF1, 0xE0};
enum { kEob = 0, kOne = 1, kRun2 = 2, kZrl = 3, kRun15One = 4, kRun14 = 5 };

// End-of-band runs over n blocks: the data of an AC scan that leaves them all empty.
Bytes EmptyBands(uint32_t n) {
  Bits bits;
  while (n) {
    if (n >= 16384) {  // 2^14 and 14 bits: up to 32767 blocks
      const uint32_t run = n < 32767 ? n : 32767;
      bits.Put(kRun14, 4).Put(run - 16384, 14);
      n -= run;
    } else if (n >= 4) {  // 2^2 and 2 bits: 4 to 7
      const uint32_t run = n < 7 ? n : 7;
      bits.Put(kRun2, 4).Put(run - 4, 2);
      n -= run;
    } else {
      bits.Put(kEob, 4);
      n--;
    }
  }
  return bits.Done();
}

// A grey picture of blocks across x down, every block DC 0 and no AC.
Jpeg GreyFlat(int across, int down, uint16_t dri = 0) {
  Jpeg j;
  j.Dqt(0).Sof(0xC0, static_cast<uint16_t>(8 * across), static_cast<uint16_t>(8 * down), {{1, 0x11, 0}});
  j.Dht(0x00, kDcSymbols).Dht(0x10, kAcSymbols);
  if (dri) j.Seg(0xDD, {static_cast<uint8_t>(dri >> 8), static_cast<uint8_t>(dri)});
  return j;
}

// A grey progressive 2048 x 2048 frame, a DC scan of 65536 four-bit codes, then
// AC scans whose end-of-band runs leave every block empty.
Jpeg EmptyAcScans(int scans) {
  Jpeg j;
  j.Dqt(0).Sof(0xC2, 2048, 2048, {{1, 0x11, 0}}).Dht(0x00, kDcSymbols).Dht(0x10, kAcSymbols);
  Bits dc;
  for (int i = 0; i < 65536; i++) dc.Put(0, 4);
  j.Sos({{1, 0x00}}, 0, 0, 0).Raw(dc.Done());
  for (int i = 0; i < scans; i++) j.Sos({{1, 0x00}}, 1, 63, 0).Raw(EmptyBands(65536));
  return j;
}

struct Outcome {
  int32_t error = 0;
  int rows = 0;      // rows the decoder handed out
  int result = -1;   // the loader's result
  int creates = 0;
};

Outcome RunBoth(const Bytes& f) {
  Outcome o;
  Bytes copy = f;
  jpeg_decoder d;
  d.init(copy.data(), static_cast<uint32_t>(copy.size()));
  d.locate_sof_marker();
  if (!d.error_code()) {
    d.begin();
    void* row;
    uint32_t len;
    while (d.decode(&row, &len) == 0) o.rows++;
  }
  o.error = d.error_code();
  ldr::FakeImage img;
  o.result = Decode(img, f);
  o.creates = img.creates;
  return o;
}

TEST(JpgHand, ErrorCodes) {
  auto flatData = [](int blocks) {
    Bits bits;
    for (int i = 0; i < blocks; i++) bits.Put(0, 4).Put(kEob, 4);
    return bits.Done();
  };
  const Bytes body = flatData(2);
  struct Case {
    const char* what;
    Bytes file;
    int32_t error;
    int result, rows, creates;
  };
  std::vector<Case> cases;
  // A picture that was not decoded to its end is a failure (1, or 2 for memory);
  // 3 comes before anything is made.
  auto add = [&](const char* what, Jpeg j, int32_t error, int result, int rows = 0) {
    cases.push_back({what, j.b, error, result, rows, result == 3 ? 0 : 1});
  };
  // Refused while the frame is set up, before the receiver is asked for a picture.
  auto addEarly = [&](const char* what, Jpeg j, int32_t error, int result) {
    cases.push_back({what, j.b, error, result, 0, 0});
  };
  add("a good file", GreyFlat(2, 1).Sos({{1, 0x00}}).Raw(body).Eoi(), 0, 0, 8);
  {
    Jpeg j;
    j.Dqt(0).Sof(0xC0, 16, 8, {{1, 0x11, 0}}).Dht(0x00, {0, 1, 2});
    j.b[j.b.size() - 19] = 3;  // three codes of length 1, none of 4
    j.b[j.b.size() - 16] = 0;
    add("over-subscribed table", j, -200, 1);
  }
  {
    Jpeg j;
    j.Dqt(0).Dht(0x00, {0, 1, 2});
    j.b[j.b.size() - 19] = 3;
    j.b[j.b.size() - 16] = 0;
    j.Sof(0xC0, 16, 8, {{1, 0x11, 0}});
    add("over-subscribed table before the frame", j, -200, 3);
  }
  add("table number 9", GreyFlat(2, 1).Dht(0x15, {0}).Sos({{1, 0x00}}).Raw(body).Eoi(), -201, 1);
  add("DQT id 5", GreyFlat(2, 1).Dqt(5), -204, 1);
  {
    Jpeg j = GreyFlat(2, 1);
    j.Raw({0xFF, 0xDB, 0x00, 0x40, 0x00}).Raw(Bytes(62, 1));
    add("DQT past its segment", j, -219, 1);
  }
  {
    Jpeg j;
    j.Dqt(0).Sof(0xC0, 16, 8, {{1, 0x11, 0}}, 12);
    add("precision 12", j, -205, 3);
    Jpeg h;
    h.Dqt(0).Sof(0xC0, 16, 0, {{1, 0x11, 0}});
    add("height 0", h, -206, 3);
    Jpeg w;
    w.Dqt(0).Sof(0xC0, 9000, 8, {{1, 0x11, 0}});
    add("width 9000", w, -207, 3);
    Jpeg c;
    c.Dqt(0).Sof(0xC0, 16, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}, {5, 0x11, 0}});
    add("five components", c, -208, 3);
  }
  {
    Jpeg j;
    j.Dqt(0).Sof(0xC0, 16, 8, {{1, 0x11, 4}}).Dht(0x00, kDcSymbols).Dht(0x10, kAcSymbols);
    addEarly("quantisation table number 4", j.Sos({{1, 0x00}}).Raw(body).Eoi(), -222, 1);
  }
  {
    Jpeg j;
    j.Dqt(0).Sof(0xC0, 16, 8, {{1, 0x11, 0}}).Dht(0x00, {0, 15}).Dht(0x10, kAcSymbols);
    Bits bits;
    bits.Put(1, 4).Put(0x7FFF, 15).Put(kEob, 4);  // DC size 15
    add("DC size above 11", j.Sos({{1, 0x00}}).Raw(bits.Done()).Eoi(), -227, 1);
  }
  {
    Bits bits;
    bits.Put(0, 4);
    for (int i = 0; i < 4; i++) bits.Put(kRun15One, 4).Put(1, 1);  // 16 x 4 coefficients
    add("coefficients past the 64th", GreyFlat(2, 1).Sos({{1, 0x00}}).Raw(bits.Done()).Eoi(), -227, 1);
  }
  add("DRI of length 5", GreyFlat(2, 1).Seg(0xDD, {0, 1, 0}), -211, 1);
  add("SOS of no component", GreyFlat(2, 1).Sos({}), -212, 1);
  add("SOS naming an unknown component", GreyFlat(2, 1).Sos({{7, 0x00}}), -213, 1);
  add("arithmetic conditioning", GreyFlat(2, 1).Seg(0xCC, {0, 0}).Sos({{1, 0x00}}).Raw(body).Eoi(), -215, 1);
  {
    Jpeg j;
    j.Dqt(0).Sof(0xC9, 16, 8, {{1, 0x11, 0}});
    add("arithmetic frame", j, -215, 3);
    Jpeg l;
    l.Dqt(0).Sof(0xC3, 16, 8, {{1, 0x11, 0}});
    add("lossless frame", l, -218, 3);
  }
  add("RST among the tables", GreyFlat(2, 1).Raw({0xFF, 0xD3}).Sos({{1, 0x00}}).Raw(body).Eoi(), -216, 1);
  add("no scan", GreyFlat(2, 1).Eoi(), -216, 1);
  {
    Jpeg j;
    j.b = Bytes(600, 0x11);
    add("no SOI", j, -217, 3);
    Jpeg k;
    k.b = {0, 0, 0xFF, 0xD8};
    k.Dqt(0).Sof(0xC0, 16, 8, {{1, 0x11, 0}}).Dht(0x00, kDcSymbols).Dht(0x10, kAcSymbols);
    add("SOI a little way in", k.Sos({{1, 0x00}}).Raw(body).Eoi(), 0, 0, 8);
  }
  {
    Jpeg j;
    j.Dqt(0).Sof(0xC0, 16, 8, {{1, 0x11, 0}}).Dht(0x00, kDcSymbols);
    add("no AC table", j.Sos({{1, 0x00}}).Raw(body).Eoi(), -223, 1);
    Jpeg q;
    q.Sof(0xC0, 16, 8, {{1, 0x11, 0}}).Dht(0x00, kDcSymbols).Dht(0x10, kAcSymbols);
    add("no quantisation table", q.Sos({{1, 0x00}}).Raw(body).Eoi(), -222, 1);
  }
  {
    Jpeg j;
    j.Dqt(0).Sof(0xC0, 16, 8, {{1, 0x11, 0}, {2, 0x21, 0}, {3, 0x11, 0}});
    addEarly("chroma sampled 2x1", j, -226, 3);
    Jpeg k;
    k.Dqt(0).Sof(0xC0, 16, 8, {{1, 0x31, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    addEarly("luma sampled 3x1", k, -226, 3);
    Jpeg s;
    s.Dqt(0).Sof(0xC0, 16, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}}).Dht(0x00, kDcSymbols).Dht(0x10, kAcSymbols);
    add("a colour scan of one component", s.Sos({{1, 0x00}}).Raw(body).Eoi(), 0, 0, 8);
  }
  {
    Jpeg j;
    j.Dqt(0).Sof(0xC0, 16, 8, {{1, 0x11, 0}, {2, 0x11, 0}});
    addEarly("two components", j, -225, 3);
  }
  {
    // Restart interval 1 on a picture one block wide and two high: the first
    // row is delivered, the missing RST0 ends the rows.
    Bits bits;
    bits.Put(0, 4).Put(kEob, 4);
    add("restart marker missing", GreyFlat(1, 2, 1).Sos({{1, 0x00}}).Raw(bits.Done()).Eoi(), -228, 1, 8);
    Bytes two = bits.Done();
    Bytes withRst = two;
    withRst.insert(withRst.end(), {0xFF, 0xD1});  // out of sequence
    withRst.insert(withRst.end(), two.begin(), two.end());
    add("restart marker out of sequence", GreyFlat(1, 2, 1).Sos({{1, 0x00}}).Raw(withRst).Eoi(), -228, 1, 8);
  }
  // Progressive scans with bad spectral selection or successive approximation.
  auto prog = [] {
    Jpeg j;
    j.Dqt(0).Sof(0xC2, 16, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    return j.Dht(0x00, kDcSymbols).Dht(0x10, kAcSymbols);
  };
  add("band end before its start", prog().Sos({{1, 0x00}}, 5, 2, 0).Eoi(), -230, 1);
  add("band end past 63", prog().Sos({{1, 0x00}}, 1, 64, 0).Eoi(), -230, 1);
  add("DC scan with AC terms", prog().Sos({{1, 0x00}}, 0, 5, 0).Eoi(), -230, 1);
  add("AC scan of two components", prog().Sos({{1, 0x00}, {2, 0x00}}, 1, 63, 0).Eoi(), -230, 1);
  add("refinement Ah 2, Al 0", prog().Sos({{1, 0x00}}, 0, 0, 0x20).Eoi(), -231, 1);
  {
    Jpeg j;
    j.Dqt(0).Sof(0xC2, 16, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}});
    addEarly("progressive CMYK", j, -225, 3);
  }
  // Work memory: the whole-image coefficients of a progressive 8192 x 8192
  // colour frame (over 400 MB) are refused before the picture is made; those of
  // a sequential one whose components come in scans of their own once its first
  // scan shows it needs them.
  {
    Jpeg p;
    p.Dqt(0).Sof(0xC2, 8192, 8192, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}}).Dht(0x00, kDcSymbols);
    addEarly("progressive 8192 x 8192", p.Sos({{1, 0x00}, {2, 0x00}, {3, 0x00}}, 0, 0, 0).Eoi(), -235, 2);
    Jpeg s;
    s.Dqt(0).Sof(0xC0, 2048, 2048, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
    add("sequential scans of one component, 2048 x 2048",
        s.Dht(0x00, kDcSymbols).Dht(0x10, kAcSymbols).Sos({{1, 0x00}}).Raw(body).Eoi(), -235, 2);
  }
  // Work: every scan of a progressive picture walks all its blocks, whatever
  // its data holds. A grey 2048 x 2048 frame with a DC scan of 65536 codes,
  // then AC scans whose end-of-band runs leave every block empty: a dozen are
  // paid for by the file, 4000 (seconds of work from 100 KB) are not.
  add("a dozen empty AC scans", EmptyAcScans(12).Eoi(), 0, 0, 2048);
  add("4000 empty AC scans", EmptyAcScans(4000).Eoi(), -234, 1);
  cases.push_back({"empty", Bytes{}, -232, 3, 0, 0});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome o = RunBoth(c.file);
    EXPECT_EQ(o.error, c.error);
    EXPECT_EQ(o.result, c.result);
    EXPECT_EQ(o.rows, c.rows);
    EXPECT_EQ(o.creates, c.creates);
  }
}

// Decoded grey rows of a hand-made file.
std::vector<uint32_t> GreyPixels(const Bytes& f, int* result = nullptr) {
  ldr::FakeImage img;
  const int r = Decode(img, f);
  if (result) *result = r;
  return img.pixels;
}

TEST(JpgHand, EndOfBandRuns) {
  // Six blocks in a row; DC first, then one AC first scan over the band 1..63.
  auto file = [](uint16_t dri, const Bytes& ac) {
    Jpeg j;
    j.Dqt(0).Sof(0xC2, 48, 8, {{1, 0x11, 0}}).Dht(0x00, kDcSymbols).Dht(0x10, kAcSymbols);
    if (dri) j.Seg(0xDD, {0, static_cast<uint8_t>(dri)});
    Bits dc;
    for (int i = 0; i < 6; i++) dc.Put(0, 4);
    Bytes dcb = dc.Done();
    if (dri) {  // a restart after every block
      dcb.clear();
      for (int i = 0; i < 6; i++) {
        Bits one;
        one.Put(0, 4);
        Bytes b = one.Done();
        dcb.insert(dcb.end(), b.begin(), b.end());
        if (i < 5) dcb.insert(dcb.end(), {0xFF, static_cast<uint8_t>(0xD0 + i)});
      }
    }
    j.Sos({{1, 0x00}}, 0, 0, 0).Raw(dcb);
    j.Sos({{1, 0x00}}, 1, 63, 0).Raw(ac);
    return j.Eoi().b;
  };
  // A run of 5 from block 0 (2^2 + 1), then block 5 gets a coefficient.
  Bits ac;
  ac.Put(kRun2, 4).Put(1, 2).Put(kOne, 4).Put(1, 1).Put(kEob, 4);
  int r = -1;
  std::vector<uint32_t> px = GreyPixels(file(0, ac.Done()), &r);
  ASSERT_EQ(r, 0);
  auto flat = [&](int block) {
    for (int x = 1; x < 8; x++)
      if (px[8 * block + x] != px[8 * block]) return false;
    return true;
  };
  for (int b = 0; b < 5; b++) EXPECT_TRUE(flat(b)) << b;
  EXPECT_FALSE(flat(5));

  // With a restart after every block, the run ends at the restart: block 1
  // takes its own coefficient.
  Bytes acr;
  Bits first;
  first.Put(kRun2, 4).Put(1, 2);
  Bytes b0 = first.Done();
  acr.insert(acr.end(), b0.begin(), b0.end());
  acr.insert(acr.end(), {0xFF, 0xD0});
  for (int i = 1; i < 6; i++) {
    Bits bl;
    bl.Put(kOne, 4).Put(1, 1).Put(kEob, 4);
    Bytes b = bl.Done();
    acr.insert(acr.end(), b.begin(), b.end());
    if (i < 5) acr.insert(acr.end(), {0xFF, static_cast<uint8_t>(0xD0 + i)});
  }
  px = GreyPixels(file(1, acr), &r);
  ASSERT_EQ(r, 0);
  EXPECT_TRUE(flat(0));
  for (int b = 1; b < 6; b++) EXPECT_FALSE(flat(b)) << b;
}

TEST(JpgHand, TablesRowsAndRefusals) {
  {  // an 8-bit and a 16-bit table in one DQT segment, read in one pass
    Jpeg j;
    Bytes p = {0x00};
    p.insert(p.end(), 64, 2);
    p.push_back(0x11);
    for (int i = 0; i < 64; i++) p.insert(p.end(), {0x01, 0x00});  // 256
    j.Seg(0xDB, p).Sof(0xC1, 8, 8, {{1, 0x11, 1}}).Dht(0x00, kDcSymbols).Dht(0x10, kAcSymbols);
    Bits bits;
    bits.Put(1, 4).Put(1, 1).Put(kEob, 4);  // DC +1 times 256
    const std::vector<uint32_t> px = GreyPixels(j.Sos({{1, 0x00}}).Raw(bits.Done()).Eoi().b);
    ASSERT_EQ(px.size(), 64u);
    EXPECT_EQ(px[0], 0xFF000000u | 160u * 0x010101u);  // 128 + 256 / 8
  }
  {  // receivers refusing: LdrOnCreate's code; a pixel call gives 1
    Bits bits;
    for (int i = 0; i < 2; i++) bits.Put(0, 4).Put(kEob, 4);
    const Bytes f = GreyFlat(1, 2).Sos({{1, 0x00}}).Raw(bits.Done()).Eoi().b;
    ldr::FakeImage c;
    c.refuseCreate = 5;
    EXPECT_EQ(Decode(c, f), 5);
    EXPECT_EQ(c.rows, 0);
    ldr::FakeImage p;
    p.refusePixelAt = 3;
    EXPECT_EQ(Decode(p, f), 1);
    EXPECT_EQ(p.rows, 4);
    ldr::FakeImage all;
    EXPECT_EQ(Decode(all, f), 0);
    EXPECT_EQ(all.rows, 16);
    EXPECT_EQ(all.pixels[0], 0xFF808080u);
  }
  {  // data that ends inside the entropy data: the MCU row it reached is made
     // of made-up bits and not delivered, the rows before it stay; a failure
    Bits bits;
    for (int i = 0; i < 4; i++) bits.Put(0, 4).Put(kEob, 4);
    Jpeg j = GreyFlat(4, 4).Sos({{1, 0x00}}).Raw(bits.Done());
    ldr::FakeImage img;
    EXPECT_EQ(Decode(img, j.b), 1);
    EXPECT_EQ(img.rows, 8);
  }
}

// The work budget counts the bits read as well as the blocks visited: 31 empty
// AC scans after the DC scan of 262144 bits, in a file whose size (a comment
// sets it) pays for the visits with room to spare but not for the bits too.
TEST(JpgHand, WorkCountsBitsRead) {
  const int kAcScans = 31;
  Jpeg j = EmptyAcScans(kAcScans);
  const uint32_t visits = 65536u * (1 + kAcScans), bits = 65536u * 4;
  const uint32_t size = (visits + bits / 2) / jpeg_decoder::kVisitsPerByte;
  ASSERT_GT(size, j.b.size() + 6);
  j.Seg(0xFE, Bytes(size - j.b.size() - 6, 0)).Eoi();
  ASSERT_EQ(j.b.size(), size);
  const Outcome o = RunBoth(j.b);
  EXPECT_EQ(o.error, -234);
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.rows, 0);
}

// --- Files made by cjpeg, jpegtran, ImageMagick and Pillow, then cut or patched ---

// The segments of a file: where each marker starts and where its segment (with
// the entropy data after an SOS) ends.
struct Segment {
  size_t at, end;
  uint8_t marker;
};
std::vector<Segment> Segments(const Bytes& f) {
  std::vector<Segment> out;
  size_t i = 2;
  while (i + 1 < f.size() && f[i] == 0xFF) {
    const uint8_t m = f[i + 1];
    if (m == 0xD9 || i + 3 >= f.size()) {
      out.push_back({i, i + 2, m});
      break;
    }
    size_t end = i + 2 + (f[i + 2] << 8 | f[i + 3]);
    if (m == 0xDA)  // entropy data up to a marker that is no restart
      while (end + 1 < f.size() && !(f[end] == 0xFF && f[end + 1] && (f[end + 1] & 0xF8) != 0xD0)) end++;
    out.push_back({i, end, m});
    i = end;
  }
  return out;
}

// Successive approximation high of the scan whose SOS starts at `at`.
int ScanAh(const Bytes& f, size_t at) { return f[at + 4 + 1 + 2 * f[at + 4] + 2] >> 4; }

class JpgCut : public ::testing::Test {
 protected:
  struct File {
    std::string name;
    Bytes bytes;
    bool scans;  // coefficients come in several scans (gathered before the rows)
  };
  static std::string dir_;
  static bool ready_;
  static std::vector<File> files_;
  static bool Tools() {
    return zt::HaveImageMagick() && zt::HavePythonModule("PIL") && zt::HaveTool("cjpeg") && zt::HaveTool("jpegtran");
  }
  static void SetUpTestSuite() {
    if (!Tools()) return;
    dir_ = zt::TempDir("ldr_jpg_cut");
    const std::string im = zt::kConvert;
    ready_ = zt::Run("cd '" + dir_ + "' && " + im +
                     " -seed 5 -size 160x120 plasma: -attenuate 0.4 +noise Gaussian src.ppm && "
                     "cjpeg -sample 2x2 -quality 85 -outfile base.jpg src.ppm && "
                     "cjpeg -restart 1 -outfile rst.jpg src.ppm && "
                     "cjpeg -progressive -quality 85 -outfile prog.jpg src.ppm && "
                     "cjpeg -grayscale -progressive -outfile grey_prog.jpg src.ppm && "
                     "cjpeg -grayscale -outfile grey.jpg src.ppm && "
                     "printf '0;\\n1;\\n2;\\n' > seq3.txt && cjpeg -scans seq3.txt -outfile seq3.jpg src.ppm && "
                     "jpegtran -progressive -restart 2B -outfile tran_prog.jpg base.jpg && " +
                     im + " src.ppm -quality 90 im.jpg && " + im +
                     " src.ppm -quality 90 -interlace JPEG im_prog.jpg && " + zt::kPython +
                     " -c \"from PIL import Image; i = Image.open('src.ppm'); i.save('pil.jpg', quality=90); "
                     "i.save('pil_prog.jpg', quality=90, progressive=True)\" >/dev/null 2>&1") == 0;
    files_.clear();
    for (const char* n : {"base", "rst", "grey", "im", "pil"}) files_.push_back({n, zt::ReadFile(dir_ + "/" + n + ".jpg"), false});
    for (const char* n : {"prog", "grey_prog", "seq3", "tran_prog", "im_prog", "pil_prog"})
      files_.push_back({n, zt::ReadFile(dir_ + "/" + n + ".jpg"), true});
  }
  void SetUp() override {
    if (!Tools()) GTEST_SKIP() << "ImageMagick, Pillow or libjpeg-turbo-progs missing";
    ASSERT_TRUE(ready_) << "files could not be made";
    for (const File& f : files_) ASSERT_GT(f.bytes.size(), 1000u) << f.name;
  }
  // The intact file's decode.
  static ldr::FakeImage Whole(const File& f) {
    ldr::FakeImage img;
    EXPECT_EQ(Decode(img, f.bytes), 0) << f.name;
    EXPECT_EQ(img.rows, static_cast<int>(img.height)) << f.name;
    return img;
  }
  // A cut or patched file that must fail once its picture was made: the rows
  // it delivered are the intact file's.
  static void ExpectFailure(const File& f, const ldr::FakeImage& whole, const Bytes& file, const std::string& what) {
    SCOPED_TRACE(f.name + ": " + what);
    ldr::FakeImage img;
    EXPECT_EQ(Decode(img, file), 1);
    EXPECT_EQ(img.creates, 1);
    EXPECT_FALSE(img.overrun);
    ASSERT_LT(img.rows, static_cast<int>(img.height));
    const size_t n = static_cast<size_t>(img.rows) * img.width;
    EXPECT_TRUE(std::equal(img.pixels.begin(), img.pixels.begin() + n, whole.pixels.begin()));
    if (f.scans) {
      EXPECT_EQ(img.rows, 0);
    }
  }
};
std::string JpgCut::dir_;
bool JpgCut::ready_ = false;
std::vector<JpgCut::File> JpgCut::files_;

// A file cut inside its pixel data is a failure, whether its coefficients come
// in one scan, in refining scans or a scan per component, with or without
// restart markers; cut by one byte of data (its EOI kept off too), and cut
// where a scan ends and the next would begin.
TEST_F(JpgCut, CutShortIsAFailure) {
  for (const File& f : files_) {
    const ldr::FakeImage whole = Whole(f);
    const size_t size = f.bytes.size();
    for (size_t cut : {size / 4, size / 2, size * 9 / 10, size - 3}) {
      const Bytes file(f.bytes.begin(), f.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
      ExpectFailure(f, whole, file, "cut at " + std::to_string(cut) + " of " + std::to_string(size));
    }
    // Every segment after the first scan but the EOI: the file ends between scans.
    int between = 0;
    bool scanned = false;
    for (const Segment& s : Segments(f.bytes)) {
      if (scanned && s.marker != 0xD9) {
        ExpectFailure(f, whole, Bytes(f.bytes.begin(), f.bytes.begin() + static_cast<std::ptrdiff_t>(s.at)),
                      "cut before the segment at " + std::to_string(s.at));
        between++;
      }
      scanned = scanned || s.marker == 0xDA;
    }
    EXPECT_EQ(between > 0, f.scans) << f.name;
  }
}

// Whole pixel data still decodes as before: without its EOI, and with bytes
// after the EOI.
TEST_F(JpgCut, CompleteDataDecodes) {
  for (const File& f : files_) {
    const ldr::FakeImage whole = Whole(f);
    Bytes noEoi(f.bytes.begin(), f.bytes.end() - 2), trailing = f.bytes;
    const Bytes junk = {'j', 'u', 'n', 'k', 0xFF, 0x00, 0xFF, 0xD8, 0xFF, 0xC4, 0x00};
    trailing.insert(trailing.end(), junk.begin(), junk.end());
    for (const Bytes* file : {&noEoi, &trailing}) {
      SCOPED_TRACE(f.name + (file == &noEoi ? " without EOI" : " with bytes after EOI"));
      ldr::FakeImage img;
      EXPECT_EQ(Decode(img, *file), 0);
      EXPECT_EQ(img.rows, static_cast<int>(img.height));
      EXPECT_EQ(img.pixels, whole.pixels);
    }
  }
}

// Refining scans with no entropy data: each block would take its bits from the
// 1-bits of the next marker. The scans where the encoder placed them, and then
// the last one 200 times more, in a file padded to 256 KB by comment segments.
TEST_F(JpgCut, EmptiedRefiningScansAreAFailure) {
  int files = 0;
  for (const File& f : files_) {
    if (!f.scans || f.name == "seq3") continue;
    const ldr::FakeImage whole = Whole(f);
    Bytes emptied, refine;
    for (const Segment& s : Segments(f.bytes)) {
      size_t end = s.end;
      if (s.marker == 0xDA && ScanAh(f.bytes, s.at)) {
        end = s.at + 2 + (f.bytes[s.at + 2] << 8 | f.bytes[s.at + 3]);
        refine.assign(f.bytes.begin() + static_cast<std::ptrdiff_t>(s.at), f.bytes.begin() + static_cast<std::ptrdiff_t>(end));
      }
      if (s.marker != 0xD9) emptied.insert(emptied.end(), f.bytes.begin() + static_cast<std::ptrdiff_t>(s.at), f.bytes.begin() + static_cast<std::ptrdiff_t>(end));
    }
    if (refine.empty()) continue;
    emptied.insert(emptied.begin(), f.bytes.begin(), f.bytes.begin() + 2);
    Bytes repeated = emptied;
    for (int i = 0; i < 200; i++) repeated.insert(repeated.end(), refine.begin(), refine.end());
    for (size_t pad = 262144 - repeated.size() - 2; pad;) {
      const size_t n = std::min<size_t>(pad, 60000);
      Jpeg c;
      c.b.clear();
      c.Seg(0xFE, Bytes(n - 4, 0));
      repeated.insert(repeated.end(), c.b.begin(), c.b.end());
      pad -= n;
    }
    for (Bytes* file : {&emptied, &repeated}) {
      file->insert(file->end(), {0xFF, 0xD9});
      ExpectFailure(f, whole, *file, file == &emptied ? "refining scans emptied" : "emptied scans repeated");
    }
    files++;
  }
  EXPECT_GE(files, 4);
}

// Sampling factors outside 1 to 4 are refused before anything is made, also in
// a grey frame (whose MCU is one block whatever it states); grey factors within
// the range give the pixels of 1 x 1.
TEST_F(JpgCut, GreySamplingFactors) {
  for (const File& f : files_) {
    if (f.name != "grey" && f.name != "grey_prog") continue;
    const ldr::FakeImage whole = Whole(f);
    size_t sof = 0;
    for (const Segment& s : Segments(f.bytes))
      if (s.marker == 0xC0 || s.marker == 0xC2) sof = s.at;
    ASSERT_NE(sof, 0u);
    ASSERT_EQ(f.bytes[sof + 11], 0x11);
    for (uint8_t hv : {0x00, 0x01, 0x10, 0x51, 0x15, 0x22, 0x44}) {
      SCOPED_TRACE(f.name + " sampled " + std::to_string(hv >> 4) + " x " + std::to_string(hv & 15));
      Bytes file = f.bytes;
      file[sof + 11] = hv;
      ldr::FakeImage img;
      const bool valid = (hv >> 4) >= 1 && (hv >> 4) <= 4 && (hv & 15) >= 1 && (hv & 15) <= 4;
      EXPECT_EQ(Decode(img, file), valid ? 0 : 3);
      if (valid)
        EXPECT_EQ(img.pixels, whole.pixels);
      else
        EXPECT_EQ(img.creates + img.rows, 0);
    }
  }
}
}  // namespace
