// WAV samples: PCM and MS-ADPCM loading, refusals of broken images, and the
// decoders checked against sox.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "sound/moxData.h"
#include "tests/sound/sound_util.h"

using namespace soundtest;

namespace {

std::vector<int16_t> Samples16(const moxSound& s) {
  std::vector<int16_t> out;
  const auto* d = static_cast<const unsigned char*>(s.data());
  const uint32_t n = s.frames() * (s.stereo() ? 2 : 1);
  for (uint32_t i = 0; i < n; i++) out.push_back(int16_t(d[2 * i] | (d[2 * i + 1] << 8)));
  return out;
}

// A deterministic test signal: two tones and a little noise.
std::vector<int16_t> Signal(size_t n, uint32_t seed = 1) {
  std::vector<int16_t> s(n);
  uint32_t r = seed;
  for (size_t i = 0; i < n; i++) {
    r = r * 1103515245u + 12345u;
    const double t = double(i) / 22050.0;
    const double v = 9000 * __builtin_sin(2 * 3.14159265 * 440 * t) +
                     5000 * __builtin_sin(2 * 3.14159265 * 1375 * t) + double((r >> 16) % 2001) - 1000;
    s[i] = int16_t(v);
  }
  return s;
}

// An MS-ADPCM data block stream from a simple encoder (predictor 0..6 chosen per block).
std::vector<uint8_t> AdpcmBlocks(const std::vector<int16_t>& pcm, uint32_t channels, uint32_t align,
                                 uint32_t spb, uint32_t blocks) {
  static const int c1[7] = {256, 512, 0, 192, 240, 460, 392}, c2[7] = {0, -256, 0, 64, 0, -208, -232};
  static const int adapt[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};
  std::vector<uint8_t> out;
  size_t at = 0;
  for (uint32_t b = 0; b < blocks; b++) {
    std::vector<uint8_t> blk;
    int s1[2], s2[2], d[2], p[2];
    for (uint32_t c = 0; c < channels; c++) {
      s2[c] = pcm[(at + c) % pcm.size()];
      s1[c] = pcm[(at + channels + c) % pcm.size()];
      d[c] = 64 + int(b * 37 % 200);
      p[c] = int((b + c) % 7);
    }
    for (uint32_t c = 0; c < channels; c++) blk.push_back(uint8_t(p[c]));
    for (uint32_t c = 0; c < channels; c++) Put16(blk, uint16_t(d[c]));
    for (uint32_t c = 0; c < channels; c++) Put16(blk, uint16_t(s1[c]));
    for (uint32_t c = 0; c < channels; c++) Put16(blk, uint16_t(s2[c]));
    at += 2 * channels;
    uint8_t cur = 0;
    const uint32_t nib = (spb - 2) * channels;
    for (uint32_t k = 0; k < nib; k++) {
      const uint32_t c = channels == 2 ? (k & 1) : 0;
      const int x = pcm[at++ % pcm.size()];
      const int pred = (s1[c] * c1[p[c]] + s2[c] * c2[p[c]]) / 256;
      int q = (x - pred) / d[c];
      q = q < -8 ? -8 : q > 7 ? 7 : q;
      int s = pred + q * d[c];
      s = s < -32768 ? -32768 : s > 32767 ? 32767 : s;
      d[c] = d[c] * adapt[q & 15] / 256;
      if (d[c] < 16) d[c] = 16;
      s2[c] = s1[c];
      s1[c] = s;
      if (k & 1)
        blk.push_back(uint8_t(cur | (q & 15)));
      else
        cur = uint8_t((q & 15) << 4);
    }
    if (nib & 1) blk.push_back(cur);
    blk.resize(align, 0);
    out.insert(out.end(), blk.begin(), blk.end());
  }
  return out;
}

TEST(Wav, LoadsPcmForms) {
  // 44100 Hz stereo 16-bit, 17640 data bytes: 4410 frames.
  std::vector<uint8_t> d(17640, 0);
  auto img = Wav(PcmFmt(2, 44100, 16), d);
  moxSound s;
  ASSERT_EQ(s.load(img.data(), uint32_t(img.size()), false), 0);
  EXPECT_EQ(s.frames(), 4410u);
  EXPECT_TRUE(s.stereo());
  EXPECT_FALSE(s.eightBit());
  EXPECT_EQ(s.frequency(), 44100u);
  EXPECT_EQ(s.data(), img.data() + 44);  // in place
  // 8-bit mono, an odd length and a chunk between fmt and data, with its pad byte.
  std::vector<uint8_t> d8 = {1, 2, 3, 4, 5};
  std::vector<uint8_t> extra;
  Tag(extra, "LIST");
  Put32(extra, 3);
  extra.insert(extra.end(), {'a', 'b', 'c', 0});
  auto img8 = Wav(PcmFmt(1, 8000, 8), d8, extra);
  ASSERT_EQ(s.load(img8.data(), uint32_t(img8.size()), true), 0);
  EXPECT_EQ(s.frames(), 5u);
  EXPECT_TRUE(s.eightBit());
  EXPECT_NE(s.data(), img8.data() + 56);  // copied
  EXPECT_EQ(static_cast<const uint8_t*>(s.data())[4], 5);
}

// Broken images: each gives its code, never a read outside the image (the
// sanitizer build checks the last part).
TEST(Wav, MutationTable) {
  const auto good = Wav(PcmFmt(1, 22050, 16), std::vector<uint8_t>(400, 7));
  const auto adpcmFmt = AdpcmFmt(1, 22050, 256, 500);
  std::vector<uint8_t> blocks;
  for (int b = 0; b < 2; b++) {
    std::vector<uint8_t> blk = {0, 16, 0, 0, 0, 0, 0};  // predictor 0, delta 16
    blk.resize(256, 0x11);
    blocks.insert(blocks.end(), blk.begin(), blk.end());
  }
  const auto adpcm = Wav(adpcmFmt, blocks);
  const auto extensible = Wav(ExtensibleFmt(1, 22050, 16), std::vector<uint8_t>(400, 7));
  auto shortExtensible = ExtensibleFmt(1, 22050, 16);
  shortExtensible.resize(24);
  struct Case {
    const char* what;
    std::vector<uint8_t> image;
    int code;
    uint32_t frames;
  };
  auto with = [](std::vector<uint8_t> v, size_t at, std::vector<uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size(); i++) v[at + i] = bytes[i];
    return v;
  };
  auto cut = [](std::vector<uint8_t> v, size_t n) {
    v.resize(n);
    return v;
  };
  std::vector<Case> cases = {
      {"good", good, 0, 200},
      {"no fmt at 12", with(good, 12, {'f', 'm', 't', 'x'}), MOX_ERR_READ, 0},
      {"short fmt chunk", with(good, 16, {8, 0, 0, 0}), MOX_ERR_READ, 0},
      {"fmt past the image", with(good, 16, {0xF0, 0xFF, 0, 0}), MOX_ERR_READ, 0},
      {"image of 19 bytes", cut(good, 19), MOX_ERR_READ, 0},
      {"bits 12", with(good, 34, {12, 0}), MOX_ERR_FORMAT, 0},
      {"3 channels", with(good, 22, {3, 0}), MOX_ERR_FORMAT, 0},
      {"rate 0", with(good, 24, {0, 0, 0, 0}), MOX_ERR_FORMAT, 0},
      {"tag 0", with(good, 20, {0, 0}), MOX_ERR_FORMAT, 0},
      {"float tag on 16 bits", with(good, 20, {3, 0}), MOX_ERR_FORMAT, 0},
      {"a-law tag", with(good, 20, {6, 0}), MOX_ERR_FORMAT, 0},
      {"u-law tag", with(good, 20, {7, 0}), MOX_ERR_FORMAT, 0},
      {"MS-ADPCM tag on 16-bit data", with(good, 20, {2, 0}), MOX_ERR_FORMAT, 0},
      {"extensible PCM", extensible, 0, 200},
      {"extensible float", Wav(ExtensibleFmt(1, 22050, 16, 3), std::vector<uint8_t>(400, 7)),
       MOX_ERR_FORMAT, 0},
      {"extensible GUID not the PCM one", with(extensible, 20 + 24 + 15, {0x72}), MOX_ERR_FORMAT,
       0},
      {"extensible without its sub-format", Wav(shortExtensible, std::vector<uint8_t>(400, 7)),
       MOX_ERR_FORMAT, 0},
      {"no data chunk", with(good, 36, {'d', 'a', 't', 'x'}), MOX_ERR_READ, 0},
      {"data past the image", with(good, 40, {0xFF, 0xFF, 0xFF, 0x7F}), 0, 200},
      {"data cut short", cut(good, 44 + 101), 0, 50},
      {"huge chunk size before data", with(good, 36, {'J', 'U', 'N', 'K'}), MOX_ERR_READ, 0},
      {"adpcm good", adpcm, 0, 1000},
      {"adpcm tag 1", with(adpcm, 20, {1, 0}), MOX_ERR_FORMAT, 0},
      {"adpcm 6 coefficients", with(adpcm, 40, {6, 0}), MOX_ERR_FORMAT, 0},
      {"adpcm block align 0", with(adpcm, 32, {0, 0}), MOX_ERR_FORMAT, 0},
      {"adpcm block align 7", with(adpcm, 32, {7, 0}), MOX_ERR_FORMAT, 0},
      {"adpcm too many samples per block", with(adpcm, 38, {0xF6, 0x01}), MOX_ERR_FORMAT, 0},
      {"adpcm samples per block 1", with(adpcm, 38, {1, 0}), MOX_ERR_FORMAT, 0},
      {"adpcm predictor 7", with(adpcm, 78 + 256, {7}), MOX_ERR_FORMAT, 0},
      {"adpcm short fmt (no coefficients)", with(adpcm, 16, {20, 0, 0, 0}), MOX_ERR_READ, 0},
      {"adpcm less than a block", cut(adpcm, 78 + 255), MOX_ERR_FORMAT, 0},
      {"adpcm 1.5 blocks", cut(adpcm, 78 + 384), 0, 500},
  };
  for (const auto& c : cases) {
    // An exact-size heap copy, so a read past the end is caught by ASan.
    std::vector<uint8_t> copy(c.image);
    moxSound s;
    EXPECT_EQ(s.load(copy.data(), uint32_t(copy.size()), false), c.code) << c.what;
    EXPECT_EQ(s.frames(), c.frames) << c.what;
    if (c.code != 0) {
      EXPECT_EQ(s.data(), nullptr) << c.what;
    }
  }
  moxSound s;
  EXPECT_EQ(s.load(nullptr, 100, false), MOX_ERR_MEMORY);
  EXPECT_EQ(s.load(static_cast<const char*>("/nonexistent/x.wav")), MOX_ERR_NAME);
}

TEST(Wav, AdpcmBlocksAndHostileDelta) {
  // 2.5 blocks decode 2.
  const auto pcm = Signal(4000);
  auto blocks = AdpcmBlocks(pcm, 2, 512, 500, 3);
  blocks.resize(512 * 2 + 256);
  auto img = Wav(AdpcmFmt(2, 22050, 512, 500), blocks);
  moxSound s;
  ASSERT_EQ(s.load(img.data(), uint32_t(img.size()), false), 0);
  EXPECT_EQ(s.frames(), 1000u);
  EXPECT_TRUE(s.stereo());
  EXPECT_EQ(s.samplesPerBlock(), 500u);
  // A block whose delta only grows: samples clamp, nothing overflows.
  std::vector<uint8_t> blk = {0};
  Put16(blk, 0x7FFF);
  Put16(blk, 0x7FFF);
  Put16(blk, 0x7FFF);
  blk.resize(256, 0x77);
  auto hostile = Wav(AdpcmFmt(1, 22050, 256, 500), blk);
  ASSERT_EQ(s.load(hostile.data(), uint32_t(hostile.size()), false), 0);
  for (int16_t v : Samples16(s)) ASSERT_EQ(v, 32767);
}

// ---- outside decoders ---------------------------------------------------------------

bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

std::string TmpDir() {
  const char* t = std::getenv("ZARN_TEST_TMP");
  std::string d = t && *t ? t : "/tmp";
  if (std::system(("mkdir -p '" + d + "'").c_str()) != 0) return "/tmp";
  return d;
}

bool WriteAll(const std::string& path, const std::vector<uint8_t>& b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  return bool(f);
}

std::vector<int16_t> ReadRaw16(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::vector<char> b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<int16_t> r;
  for (size_t i = 0; i + 1 < b.size(); i += 2) r.push_back(int16_t(uint8_t(b[i]) | (uint8_t(b[i + 1]) << 8)));
  return r;
}

// Decodes a WAV file to interleaved 16-bit samples with an outside tool.
std::vector<int16_t> Decode(const std::string& tool, const std::string& in) {
  const std::string out = in + "." + tool + ".raw";
  std::string cmd = tool == "sox" ? "sox -q '" + in + "' -t raw -e signed -b 16 -L '" + out + "'"
                                  : "ffmpeg -v error -y -i '" + in + "' -f s16le -acodec pcm_s16le '" + out + "'";
  if (std::system(cmd.c_str()) != 0) return {};
  return ReadRaw16(out);
}

// MS-ADPCM against ffmpeg, whose predictor divides like the standard decoder
// (sox shifts instead, rounding down, so its samples drift by more than a step
// once a rounding difference feeds back); PCM forms against sox.
TEST(WavOracle, DecodersAgainstOutsideTools) {
  const std::string dir = TmpDir();
  struct Case {
    const char* name;
    const char* tool;
    std::vector<uint8_t> image;
  };
  const auto pcm = Signal(30000, 7);
  std::vector<uint8_t> d8, d16s;
  for (int16_t v : pcm) d8.push_back(uint8_t((v + 32768) >> 8));
  for (size_t i = 0; i < 20000; i++) Put16(d16s, uint16_t(pcm[i]));
  std::vector<Case> cases = {
      {"adpcm_mono.wav", "ffmpeg", Wav(AdpcmFmt(1, 22050, 256, 500), AdpcmBlocks(pcm, 1, 256, 500, 20))},
      {"adpcm_stereo.wav", "ffmpeg", Wav(AdpcmFmt(2, 22050, 512, 500), AdpcmBlocks(pcm, 2, 512, 500, 12))},
      {"adpcm_small.wav", "ffmpeg", Wav(AdpcmFmt(1, 11025, 64, 116), AdpcmBlocks(pcm, 1, 64, 116, 40))},
      {"pcm8.wav", "sox", Wav(PcmFmt(1, 22050, 8), d8)},
      {"pcm8_stereo.wav", "sox", Wav(PcmFmt(2, 22050, 8), d8)},
      {"pcm16_stereo.wav", "sox", Wav(PcmFmt(2, 44100, 16), d16s)},
  };
  int ran = 0;
  for (const auto& c : cases) {
    if (!Have(c.tool)) continue;
    ran++;
    const std::string path = dir + "/oracle_" + c.name;
    ASSERT_TRUE(WriteAll(path, c.image));
    moxSound s;
    ASSERT_EQ(s.load(c.image.data(), uint32_t(c.image.size()), false), 0) << c.name;
    std::vector<int16_t> ours;
    if (s.eightBit()) {
      const auto* d = static_cast<const uint8_t*>(s.data());
      for (uint32_t i = 0; i < s.frames() * (s.stereo() ? 2 : 1); i++) ours.push_back(int16_t((d[i] - 128) * 256));
    } else {
      ours = Samples16(s);
    }
    const auto ref = Decode(c.tool, path);
    ASSERT_EQ(ours.size(), ref.size()) << c.name;
    int worst = 0;
    size_t at = 0;
    for (size_t i = 0; i < ref.size(); i++)
      if (std::abs(ours[i] - ref[i]) > worst) {
        worst = std::abs(ours[i] - ref[i]);
        at = i;
      }
    // Within one step of rounding.
    EXPECT_LE(worst, 1) << c.name << " at sample " << at;
  }
  if (ran == 0) GTEST_SKIP() << "neither sox nor ffmpeg is installed (scripts/setup.sh installs both)";
}

// sox writes a-law and u-law as 8-bit data of tags 6 and 7: refused, not played
// as PCM. The extensible form of PCM (sox's own file, its fmt rewritten) plays
// the same samples that sox reads from it.
TEST(WavOracle, CodedFormsRefusedExtensibleRead) {
  if (!Have("sox")) GTEST_SKIP() << "sox is not installed (scripts/setup.sh installs it)";
  const std::string dir = TmpDir();
  auto make = [&](const std::string& name, const std::string& args) {
    const std::string path = dir + "/" + name;
    EXPECT_EQ(
        std::system(("sox -q -n " + args + " '" + path + "' synth 0.2 sine 440 sine 660").c_str()),
        0);
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f),
                                std::istreambuf_iterator<char>());
  };
  for (const char* enc : {"a-law", "u-law"}) {
    const auto image =
        make(std::string("coded_") + enc + ".wav", std::string("-r 8000 -c 1 -e ") + enc);
    ASSERT_GT(image.size(), 44u) << enc;
    moxSound s;
    EXPECT_EQ(s.load(image.data(), uint32_t(image.size()), false), MOX_ERR_FORMAT) << enc;
    EXPECT_EQ(s.data(), nullptr) << enc;
  }
  const auto image = make("ext_plain.wav", "-r 22050 -c 2 -b 16");
  ASSERT_GE(image.size(), 44u);
  ASSERT_EQ(image[20], 1);
  // sox's data chunk behind the extensible fmt.
  size_t at = 12;
  while (at + 8 <= image.size() && std::memcmp(&image[at], "data", 4) != 0)
    at += 8 + moxUtility::le32(&image[at + 4]);
  ASSERT_LE(at + 8, image.size());
  const uint32_t size = moxUtility::le32(&image[at + 4]);
  ASSERT_LE(at + 8 + size, image.size());
  const std::vector<uint8_t> data(&image[at + 8], &image[at + 8] + size);
  const auto extImage = Wav(ExtensibleFmt(2, 22050, 16), data);
  const std::string ext = dir + "/ext_pcm16.wav";
  ASSERT_TRUE(WriteAll(ext, extImage));
  moxSound s;
  ASSERT_EQ(s.load(extImage.data(), uint32_t(extImage.size()), false), 0);
  EXPECT_TRUE(s.stereo());
  EXPECT_EQ(s.rate(), 22050u);
  const auto ref = Decode("sox", ext);
  ASSERT_EQ(ref.size(), data.size() / 2);
  EXPECT_TRUE(Samples16(s) == ref);
}

}  // namespace
