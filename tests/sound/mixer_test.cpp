// The mixer: channel pools and ids, play requests, volumes and the output mix.
#include <gtest/gtest.h>

#include <vector>

#include "sound/moxSpeaker.h"
#include "tests/sound/sound_util.h"

using namespace soundtest;

namespace {

std::vector<uint8_t> Pcm16Wav(const std::vector<int16_t>& s, uint32_t channels = 1) {
  std::vector<uint8_t> d;
  for (int16_t v : s) Put16(d, uint16_t(v));
  return Wav(PcmFmt(channels, 44100, 16), d);
}

struct Mixer : ::testing::Test {
  ManualDriverScope scope;
  moxSpeaker sp;
};

TEST_F(Mixer, PoolsAndIds) {
  ASSERT_EQ(sp.open(44100, 16, true, 0, 3), 0);
  EXPECT_EQ(sp.maxChannelMusics(), 1u);
  EXPECT_EQ(sp.maxChannelSounds(), 8u);
  EXPECT_EQ(sp.open(44100, 16, true, 2, 8), MOX_ERR_OPEN);
  EXPECT_EQ(sp.bufferLength(100), -2);
  sp.close();
  EXPECT_EQ(sp.bufferLength(59), -10000);
  EXPECT_EQ(sp.bufferLength(60), 0);
  ASSERT_EQ(sp.open(44100, 16, true, 100, 500), 0);
  EXPECT_EQ(sp.maxChannelMusics(), 64u);
  EXPECT_EQ(sp.maxChannelSounds(), 128u);
  sp.close();
  ASSERT_EQ(sp.open(44100, 16, true, 2, 8), 0);
  EXPECT_NE(sp.channel(0), nullptr);
  EXPECT_EQ(sp.channel(10), nullptr);
  EXPECT_EQ(sp.channel(-1), nullptr);
  auto wav = Pcm16Wav(std::vector<int16_t>(100, 1000));
  moxSound s;
  ASSERT_EQ(s.load(wav.data(), uint32_t(wav.size()), false), 0);
  EXPECT_EQ(s.maxplaybacks(), -1);
  EXPECT_EQ(s.pan(), 128u);
  EXPECT_EQ(sp.playSound(&s, MOX_ANYCHANNEL), 2);  // first sound id after 2 music channels
  EXPECT_EQ(sp.playSound(&s, MOX_ANYCHANNEL), 3);
  EXPECT_EQ(sp.playingChannelSounds(), 2u);
  // A named channel must be free.
  EXPECT_EQ(sp.playSound(&s, 0), MOX_ERR_PLAY);
  EXPECT_EQ(sp.playSound(&s, 5), 7);
  EXPECT_EQ(sp.playSound(&s, 8), MOX_ERR_PLAY);
  // A limit of 3 playbacks: three already play.
  s.maxplaybacks(3);
  EXPECT_EQ(sp.playSound(&s, MOX_ANYCHANNEL), MOX_ERR_PLAY);
  s.maxplaybacks(4);
  EXPECT_EQ(sp.playSound(&s, MOX_ANYCHANNEL), 9);  // the last free channel
  // Paused start (bit 29).
  s.maxplaybacks(-1);
  const int p = sp.playSound(&s, MOX_ANYCHANNEL | MOX_PAUSED);
  ASSERT_GE(p, 0);
  EXPECT_TRUE(sp.channel(p)->paused());
  sp.stopSounds();
  EXPECT_EQ(sp.playingChannelSounds(), 0u);
  moxSound empty;
  EXPECT_EQ(sp.playSound(&empty, MOX_ANYCHANNEL), MOX_ERR_PLAY);
  sp.close();
  EXPECT_EQ(sp.playSound(&s, MOX_ANYCHANNEL), MOX_ERR_PLAY);
}

TEST_F(Mixer, ChannelVolumesPanAndPosition) {
  ASSERT_EQ(sp.open(44100, 16, true, 2, 8), 0);
  sp.volumeSounds(32);
  moxSoundChannel* c = static_cast<moxSoundChannel*>(sp.channel(2));
  c->volume(100);
  EXPECT_EQ(c->volume(), 64u);
  EXPECT_EQ(c->effectiveVolume(), 32u);
  sp.volumeSounds(200);
  EXPECT_EQ(sp.volumeSounds(), 64u);
  EXPECT_EQ(c->effectiveVolume(), 64u);
  // Stereo 16-bit: positions in quarter frames of the 24.8 counter.
  std::vector<int16_t> st(4000 * 2, 0);
  auto wav = Pcm16Wav(st, 2);
  moxSound s;
  ASSERT_EQ(s.load(wav.data(), uint32_t(wav.size()), false), 0);
  const int id = sp.playSound(&s, MOX_ANYCHANNEL);
  auto* sc = static_cast<moxSoundChannel*>(sp.channel(id));
  sc->position(1000);
  EXPECT_EQ(sc->rawPosition(), 1000u << 10);
  EXPECT_EQ(sc->position(), 1000u);
  sc->position(0xFFFFFFFFu);  // clamped to the end, not wrapped
  EXPECT_EQ(sc->rawPosition(), 4000u << 8);
  // Pause on a stopped channel does nothing.
  moxChannel* free = sp.channel(7);
  free->pause();
  EXPECT_FALSE(free->paused());
  // Music pan spreads voice pairs.
  auto* m = static_cast<moxMusicChannel*>(sp.channel(0));
  m->pan(255);
  EXPECT_EQ(m->voice(0).pan, 64u);
  EXPECT_EQ(m->voice(1).pan, 192u);
  m->pan(0);
  EXPECT_EQ(m->voice(0).pan, 127u);
  EXPECT_EQ(m->voice(1).pan, 129u);
  // frequency / speed.
  sc->frequency(22050);
  EXPECT_EQ(sc->speed(), 64u);
  sc->speed(256);
  EXPECT_EQ(sc->frequency(), 88200u);
}

TEST_F(Mixer, SilenceAndClamp) {
  ASSERT_EQ(sp.open(44100, 8, true, 2, 8), 0);
  std::vector<uint8_t> buf(1000, 0x11);
  sp.updateModSFX(buf.data(), int(buf.size()));
  for (uint8_t b : buf) ASSERT_EQ(b, 0x80);
  // Two full-scale sounds at centre: 2 x 32767 x 64 >> 7 = 32767 each; three pass the top.
  auto wav = Pcm16Wav(std::vector<int16_t>(2000, 32767));
  auto neg = Pcm16Wav(std::vector<int16_t>(2000, -32768));
  moxSound s, n;
  ASSERT_EQ(s.load(wav.data(), uint32_t(wav.size()), false), 0);
  ASSERT_EQ(n.load(neg.data(), uint32_t(neg.size()), false), 0);
  for (int i = 0; i < 3; i++) ASSERT_GE(sp.playSound(&s, MOX_ANYCHANNEL), 0);
  sp.updateModSFX(buf.data(), 200);
  for (int i = 0; i < 200; i++) ASSERT_EQ(buf[size_t(i)], 255) << i;
  sp.close();
  ASSERT_EQ(sp.open(44100, 16, true, 2, 8), 0);
  auto zero = Mix16(sp, 300);
  for (int16_t v : zero) ASSERT_EQ(v, 0);
  for (int i = 0; i < 3; i++) ASSERT_GE(sp.playSound(&s, MOX_ANYCHANNEL), 0);
  auto hi = Mix16(sp, 100);
  for (int16_t v : hi) ASSERT_EQ(v, 32767);
  sp.stopSounds();
  for (int i = 0; i < 3; i++) ASSERT_GE(sp.playSound(&n, MOX_ANYCHANNEL), 0);
  auto lo = Mix16(sp, 100);
  for (int16_t v : lo) ASSERT_EQ(v, -32768);
}

// The mix formula for one frame, against a direct computation.
TEST_F(Mixer, SoundPanFormula) {
  struct Case {
    bool stereoOut;
    uint32_t channels, pan, vol;
    int16_t u, w;
  } cases[] = {
      {true, 1, 128, 64, 1000, 0},   {true, 1, 0, 64, 1000, 0},    {true, 1, 255, 40, -1200, 0},
      {true, 2, 128, 64, 1000, -500}, {true, 2, 200, 50, 3000, 100}, {false, 1, 77, 64, -2000, 0},
      {false, 2, 128, 33, 7000, 7000},
  };
  for (const auto& c : cases) {
    sp.close();
    ASSERT_EQ(sp.open(44100, 16, c.stereoOut, 2, 8), 0);
    std::vector<int16_t> pcm;
    for (int i = 0; i < 10; i++) {
      pcm.push_back(c.u);
      if (c.channels == 2) pcm.push_back(c.w);
    }
    auto wav = Pcm16Wav(pcm, c.channels);
    moxSound s;
    ASSERT_EQ(s.load(wav.data(), uint32_t(wav.size()), false), 0);
    s.pan(c.pan);
    s.volume(c.vol);
    ASSERT_GE(sp.playSound(&s, MOX_ANYCHANNEL), 0);
    auto out = Mix16(sp, 1);
    int32_t L = 0, R = 0;
    const int32_t v = int32_t(c.vol), u = c.u, w = c.w;
    if (c.stereoOut) {
      if (c.pan == 128) {
        L = u * v;
        R = (c.channels == 2 ? w : u) * v;
      } else {
        const int32_t V = 2 * v, W = V * int32_t(c.pan) / 256;
        const int32_t x = c.channels == 2 ? u + w : u;
        L = x * (V - W);
        R = x * W;
      }
    } else {
      L = (c.channels == 2 ? u + w : u) * v;
    }
    auto floor128 = [](int32_t x) { return x >= 0 ? x / 128 : -((-x + 127) / 128); };
    EXPECT_EQ(out[0], floor128(L)) << c.pan << " " << c.channels;
    if (c.stereoOut) {
      EXPECT_EQ(out[1], floor128(R)) << c.pan << " " << c.channels;
    }
  }
}

// A sample ends (the channel stops) or loops back by its length.
TEST_F(Mixer, SoundEndsOrLoops) {
  ASSERT_EQ(sp.open(44100, 16, false, 2, 8), 0);
  std::vector<int16_t> pcm = {100, 200, 300};
  auto wav = Pcm16Wav(pcm);
  moxSound s;
  ASSERT_EQ(s.load(wav.data(), uint32_t(wav.size()), false), 0);
  const int id = sp.playSound(&s, MOX_ANYCHANNEL);
  auto out = Mix16(sp, 5);
  EXPECT_EQ(out, (std::vector<int16_t>{50, 100, 150, 0, 0}));
  EXPECT_FALSE(sp.channel(id)->playing());
  s.loop(true);
  sp.playSound(&s, MOX_ANYCHANNEL);
  out = Mix16(sp, 7);
  EXPECT_EQ(out, (std::vector<int16_t>{50, 100, 150, 50, 100, 150, 50}));
  // Half the source rate steps half a frame per output frame.
  sp.stopSounds();
  s.loop(false);
  s.frequency(22050);
  sp.playSound(&s, MOX_ANYCHANNEL);
  out = Mix16(sp, 7);
  EXPECT_EQ(out, (std::vector<int16_t>{50, 50, 100, 100, 150, 150, 0}));
}

}  // namespace
