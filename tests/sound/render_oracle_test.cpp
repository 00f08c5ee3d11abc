// The mixed sound of the game's tracks against openmpt123's render of the same
// modules: their loudness envelopes (RMS over 20 ms windows) must correlate.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "sound/moxSpeaker.h"
#include "tests/sound/sound_util.h"
#include "tests/support/harness.h"

using namespace soundtest;

namespace {

std::vector<double> Envelope(const std::vector<int16_t>& s, size_t window) {
  std::vector<double> e;
  for (size_t i = 0; i + window <= s.size(); i += window) {
    double sum = 0;
    for (size_t k = 0; k < window; k++) sum += double(s[i + k]) * s[i + k];
    e.push_back(std::sqrt(sum / double(window)));
  }
  return e;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  const size_t n = std::min(a.size(), b.size());
  double ma = 0, mb = 0;
  for (size_t i = 0; i < n; i++) {
    ma += a[i];
    mb += b[i];
  }
  ma /= double(n);
  mb /= double(n);
  double sab = 0, saa = 0, sbb = 0;
  for (size_t i = 0; i < n; i++) {
    sab += (a[i] - ma) * (b[i] - mb);
    saa += (a[i] - ma) * (a[i] - ma);
    sbb += (b[i] - mb) * (b[i] - mb);
  }
  return sab / std::sqrt(saa * sbb);
}

TEST(RenderOracle, TrackEnvelopesFollowOpenmpt) {
  if (!HaveResgen()) GTEST_SKIP() << "no generated resources in " << ZARN_BINARY_DIR << "/resgen";
  if (!zt::HaveTool("openmpt123")) GTEST_SKIP() << "openmpt123 is not installed (scripts/setup.sh installs it)";
  const std::string dir = zt::TempDir("render_oracle");
  const uint32_t seconds = 20, rate = 44100;
  for (const char* track : {"01_title.mod", "02_play.mod"}) {
    const std::string mod = std::string(ZARN_BINARY_DIR) + "/resgen/bgm/" + track;
    const std::string wav = dir + "/" + track + ".wav";
    ASSERT_EQ(zt::Run("openmpt123 --quiet --batch --samplerate 44100 --channels 1 --no-float --filter 1 "
                      "--end-time " + std::to_string(seconds) + " --force -o '" + wav + "' '" + mod + "' >/dev/null 2>&1"),
              0);
    zt::Wav16 out;
    ASSERT_TRUE(zt::ReadWav16(wav, &out)) << track;
    ASSERT_EQ(out.channels, 1u) << track;
    const auto& ref = out.samples;
    ASSERT_GT(ref.size(), size_t(rate) * (seconds - 1)) << track;

    ManualDriverScope scope;
    moxSpeaker sp;
    ASSERT_EQ(sp.open(rate, 16, false, 1, 8), 0);
    const auto image = zt::ReadFile(mod);
    moxMusic m;
    ASSERT_EQ(m.load(image.data(), uint32_t(image.size()), false), 0);
    ASSERT_GE(sp.playMusic(&m, MOX_ANYCHANNEL), 0);
    const auto ours = Mix16(sp, rate * seconds);

    // 50 ms windows: the envelope of notes and beats, not of single waves.
    const auto ea = Envelope(ours, rate / 20), eb = Envelope(ref, rate / 20);
    const double r = Correlation(ea, eb);
    std::printf("%s: envelope correlation %.3f over %zu windows\n", track, r, std::min(ea.size(), eb.size()));
    EXPECT_GT(r, 0.9) << track;
    // In time: shifting either envelope by a window or two only loses.
    for (int lag : {1, 2}) {
      const std::vector<double> a(ea.begin() + lag, ea.end()), b(eb.begin() + lag, eb.end());
      EXPECT_LT(Correlation(a, eb), r - 0.1) << track << " ours later by " << lag;
      EXPECT_LT(Correlation(ea, b), r - 0.1) << track << " ours earlier by " << lag;
    }
  }
}

// Two pattern delays (EEx) in one row: the one read last holds, EE0 too (no
// delay), as openmpt123 plays it. The note on the next row starts when the
// delayed row is over.
TEST(RenderOracle, PatternDelaysOfOneRowFollowOpenmpt) {
  if (!zt::HaveTool("openmpt123"))
    GTEST_SKIP() << "openmpt123 is not installed (scripts/setup.sh installs it)";
  const std::string dir = zt::TempDir("render_delay");
  const uint32_t rate = 44100, none = 0x100;
  struct Case {
    uint32_t first, second;  // EEx on voices 0 and 2, `none`: no effect
  } cases[] = {{0xE2, 0xE4}, {0xE4, 0xE2}, {0xE3, 0xE0}, {0xE0, 0xE3}, {none, 0xE1}};
  auto onset = [](const std::vector<int16_t>& s) {
    for (size_t i = 0; i < s.size(); i++)
      if (s[i] > 100 || s[i] < -100) return long(i);
    return -1L;
  };
  for (const auto& c : cases) {
    Mod m;
    m.samples.push_back(SquareSample(256, true));
    if (c.first != none) m.At(0, 0, 0) = {0, 0, 0xE, c.first};
    if (c.second != none) m.At(0, 0, 2) = {0, 0, 0xE, c.second};
    m.At(0, 1, 1) = {1, 428, 0, 0};
    m.order = {0};
    const auto image = m.Build();
    const std::string mod = dir + "/delay.mod", wav = dir + "/delay.wav";
    ASSERT_TRUE(zt::WriteFile(mod, image));
    ASSERT_EQ(
        zt::Run("openmpt123 --quiet --batch --samplerate 44100 --channels 1 --no-float --filter 1 "
                "--end-time 4 --force -o '" +
                wav + "' '" + mod + "' >/dev/null 2>&1"),
        0);
    zt::Wav16 ref;
    ASSERT_TRUE(zt::ReadWav16(wav, &ref));

    ManualDriverScope scope;
    moxSpeaker sp;
    ASSERT_EQ(sp.open(rate, 16, false, 1, 8), 0);
    moxMusic music;
    ASSERT_EQ(music.load(image.data(), uint32_t(image.size()), false), 0);
    ASSERT_GE(sp.playMusic(&music, MOX_ANYCHANNEL), 0);
    const long ours = onset(Mix16(sp, rate * 4)), theirs = onset(ref.samples);
    ASSERT_GT(theirs, 0) << std::hex << c.first << " " << c.second;
    // A tick is 882 frames: the same tick, whatever each side's first frame.
    EXPECT_LT(std::labs(ours - theirs), 100) << std::hex << c.first << " " << c.second << std::dec
                                             << ": ours " << ours << ", openmpt123 " << theirs;
  }
}

}  // namespace
