// The game's sound wrapper over the real mixer, fed from the generated packs, and
// a whole headless run whose captured sound is checked against the frames that
// asked for it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/emod_file.h"
#include "framework/emod_vtimer.h"
#include "game/app.h"
#include "game/gamesound.h"
#include "standin/standin.h"
#include "tests/sound/sound_util.h"
#include "tests/support/harness.h"

namespace {

// Runs a test from the build folder, where res/ holds the generated packs.
struct InBuildFolder {
  std::string old;
  InBuildFolder() {
    char buf[4096];
    old = getcwd(buf, sizeof buf) ? buf : ".";
    // A fresh folder with the packs: no settings file of an earlier run.
    const std::string dir = zt::GameDir("gamesound_run");
    EXPECT_EQ(chdir(dir.empty() ? ZARN_BINARY_DIR : dir.c_str()), 0);
  }
  ~InBuildFolder() { EXPECT_EQ(chdir(old.c_str()), 0); }
};

void AdvanceMs(uint32_t ms) { standin::SleepUs(ms * 1000u); }

// The packs are generated on the build host only (not in a cross build).
bool HavePacks() {
  return access((std::string(ZARN_BINARY_DIR) + "/res/sfx.epk").c_str(), R_OK) == 0 &&
         access((std::string(ZARN_BINARY_DIR) + "/res/bgm.epk").c_str(), R_OK) == 0;
}
#define SKIP_WITHOUT_PACKS() \
  if (!HavePacks()) GTEST_SKIP() << "no generated packs in " << ZARN_BINARY_DIR << "/res"

struct Wrapper : ::testing::Test {
  zt::Devices dev;
  InBuildFolder here;
  ClassSound sound;
  void SetUp() override {
    SKIP_WITHOUT_PACKS();
    ASSERT_TRUE(sound.Initialize(false, 64, 64, nullptr));
    ASSERT_TRUE(sound.LoadSfxFiles());
    ASSERT_TRUE(sound.LoadBgmFiles());
    ASSERT_EQ(sound.SfxFound(), 16u);
    ASSERT_EQ(sound.BgmFound(), 2u);
  }
  void TearDown() override { sound.Cleanup(); }
  unsigned MusicChannelVolume(int32_t id) {
    moxChannel* c = sound.Mixer().channel(id);
    return c ? c->volume() : 999;
  }
  unsigned PlayingMusic() { return sound.Mixer().playingChannelMusics(); }
  // Frames of `ms` each, with Update.
  void Frames(int n, uint32_t ms, bool mute = false) {
    for (int i = 0; i < n; i++) {
      AdvanceMs(ms);
      sound.Update(mute);
    }
  }
};

TEST_F(Wrapper, EffectGuardAndRefusals) {
  AdvanceMs(100);
  sound.PlaySfx(1);
  AdvanceMs(40);
  sound.PlaySfx(1);   // 40 ms after the start: held back
  sound.PlaySfx(2);   // another effect may overlap
  AdvanceMs(40);
  sound.PlaySfx(1);   // 80 ms after the first start: plays
  EXPECT_EQ(sound.sfxStarted[1], 2u);
  EXPECT_EQ(sound.sfxStarted[2], 1u);
  EXPECT_EQ(sound.sfxPlayed[1], 3u);  // every request is still counted
  sound.PlaySfx(0);
  sound.PlaySfx(17);
  EXPECT_EQ(sound.sfxStarted[0] + sound.sfxStarted[17], 0u);
  sound.VolumeSfx(0);
  AdvanceMs(200);
  sound.PlaySfx(3);
  EXPECT_EQ(sound.sfxStarted[3], 0u);
  sound.VolumeSfx(40);
  EXPECT_EQ(sound.Mixer().volumeSounds(), 40u);
  sound.PlaySfx(3);
  EXPECT_EQ(sound.sfxStarted[3], 1u);
  // Reloading the pack while effects play stops them before their data goes.
  AdvanceMs(40);
  ASSERT_TRUE(sound.LoadSfxFiles());
  EXPECT_EQ(sound.Mixer().playingChannelSounds(), 0u);
  AdvanceMs(100);
  sound.PlaySfx(3);
  EXPECT_EQ(sound.sfxStarted[3], 2u);
  AdvanceMs(100);
}

TEST_F(Wrapper, TrackChangeFadesOutAndIn) {
  sound.PlayBgm(1);
  EXPECT_EQ(sound.MusicPlaying(), 1);
  const int32_t first = sound.CurrentChannel();
  ASSERT_GE(first, 0);
  EXPECT_EQ(MusicChannelVolume(first), 0u);
  Frames(5, 100);
  EXPECT_EQ(sound.FadeInLevel(), 500u);
  EXPECT_EQ(MusicChannelVolume(first), 32u);
  Frames(6, 100);
  EXPECT_EQ(sound.FadeInLevel(), 1000u);
  EXPECT_EQ(MusicChannelVolume(first), 64u);
  sound.PlayBgm(1);  // already playing: nothing changes
  EXPECT_EQ(sound.CurrentChannel(), first);
  sound.PlayBgm(2);
  EXPECT_EQ(sound.PreviousChannel(), first);
  EXPECT_EQ(sound.FadingTrack(), 1);
  const int32_t second = sound.CurrentChannel();
  ASSERT_GE(second, 0);
  EXPECT_NE(second, first);
  Frames(10, 100);  // one second: track 2 full, track 1 half
  EXPECT_EQ(MusicChannelVolume(second), 64u);
  EXPECT_EQ(sound.FadeOutLevel(), 500u);
  EXPECT_EQ(MusicChannelVolume(first), 32u);
  Frames(10, 100);
  EXPECT_EQ(sound.FadingTrack(), 0);
  EXPECT_FALSE(sound.Mixer().channel(first)->playing());
  EXPECT_EQ(PlayingMusic(), 1u);
  sound.StopBgm();
  EXPECT_EQ(sound.MusicPlaying(), 0);
  EXPECT_EQ(sound.FadingTrack(), 2);
}

TEST_F(Wrapper, MuteAndMusicVolume) {
  sound.PlayBgm(1);
  Frames(3, 100);
  EXPECT_EQ(PlayingMusic(), 1u);
  Frames(1, 16, true);  // mute
  EXPECT_EQ(PlayingMusic(), 0u);
  EXPECT_TRUE(sound.Suspended());
  sound.PlaySfx(1);
  EXPECT_EQ(sound.sfxStarted[1], 0u);
  // Unmute: the requested track starts from its start. The audio thread is held
  // off while we look, or it would have played on.
  AdvanceMs(16);
  sound.Mixer().enterCriticalSection();
  sound.Update(false);
  EXPECT_FALSE(sound.Suspended());
  EXPECT_EQ(PlayingMusic(), 1u);
  auto* ch = static_cast<moxMusicChannel*>(sound.Mixer().channel(sound.CurrentChannel()));
  EXPECT_EQ(ch->position(), 0u);
  sound.Mixer().leaveCriticalSection();
  sound.VolumeBgm(0);
  EXPECT_EQ(PlayingMusic(), 0u);
  sound.VolumeBgm(48);
  EXPECT_EQ(PlayingMusic(), 1u);
  EXPECT_EQ(sound.Mixer().volumeMusics(), 48u);
}

TEST(WrapperStart, MutedStartOpensOnDemand) {
  SKIP_WITHOUT_PACKS();
  zt::Devices dev;
  InBuildFolder here;
  ClassSound sound;
  ASSERT_TRUE(sound.Initialize(true, 64, 64, nullptr));
  EXPECT_FALSE(sound.IsOpen());
  ASSERT_TRUE(sound.LoadBgmFiles());
  sound.PlayBgm(1);
  EXPECT_EQ(sound.MusicPlaying(), 1);
  AdvanceMs(16);
  sound.Update(true);
  EXPECT_FALSE(sound.IsOpen());
  AdvanceMs(16);
  sound.Update(false);
  EXPECT_TRUE(sound.IsOpen());
  EXPECT_EQ(sound.Mixer().playingChannelMusics(), 1u);
  sound.Cleanup();
}

// A feeder at its most eager: it mixes a fragment whenever the game thread
// leaves the mixer's critical section, and keeps the loudest sample it saw.
class EagerDriver : public moxDriver {
 public:
  static int peak;
  int open(AudioSpec*, unsigned, moxAudioCallback cb, void* user) override {
    cb_ = cb;
    user_ = user;
    return 0;
  }
  int close() override { return 0; }
  void enterCriticalSection() override { depth_++; }
  void leaveCriticalSection() override {
    if (--depth_ > 0 || !cb_) return;
    int16_t buf[2 * 441];
    cb_(user_, reinterpret_cast<unsigned char*>(buf), int(sizeof buf));
    for (int16_t v : buf) peak = std::max(peak, std::abs(int(v)));
  }
  void suspend() override {}
  void resume() override {}

 private:
  moxAudioCallback cb_ = nullptr;
  void* user_ = nullptr;
  int depth_ = 0;
};
int EagerDriver::peak = 0;

// A track fades in from silence: not one fragment is mixed at the module's own
// volume before the fade takes over.
TEST(WrapperStart, TrackStartsSilent) {
  SKIP_WITHOUT_PACKS();
  zt::Devices dev;
  InBuildFolder here;
  moxSpeaker::injectDriver([]() -> moxDriver* { return new EagerDriver(); });
  ClassSound sound;
  ASSERT_TRUE(sound.Initialize(false, 64, 64, nullptr));
  ASSERT_TRUE(sound.LoadBgmFiles());
  EagerDriver::peak = 0;
  sound.PlayBgm(1);
  EXPECT_GE(sound.CurrentChannel(), 0);
  EXPECT_EQ(EagerDriver::peak, 0);
  for (int i = 0; i < 30; i++) {
    AdvanceMs(16);
    sound.Update(false);
  }
  EXPECT_GT(EagerDriver::peak, 0);  // the fade raised it
  sound.Cleanup();
  moxSpeaker::injectDriver(nullptr);
}

int g_opens = 0;
class FailingDriver : public moxDriver {
 public:
  int open(AudioSpec*, unsigned, moxAudioCallback, void*) override {
    g_opens++;
    return -1;
  }
  int close() override { return -3; }
  void enterCriticalSection() override {}
  void leaveCriticalSection() override {}
  void suspend() override {}
  void resume() override {}
};

TEST(WrapperStart, FailedOpenIsRemembered) {
  zt::Devices dev;
  moxSpeaker::injectDriver([]() -> moxDriver* { return new FailingDriver(); });
  g_opens = 0;
  ClassSound sound;
  EXPECT_FALSE(sound.Initialize(false, 64, 64, nullptr));
  EXPECT_EQ(g_opens, 2);  // 16 bits, then 8
  for (int i = 0; i < 10; i++) {
    AdvanceMs(16);
    sound.Update(i % 2 == 0);
  }
  EXPECT_EQ(g_opens, 2);
  EXPECT_FALSE(sound.Initialize(false, 64, 64, nullptr));
  EXPECT_EQ(g_opens, 2);
  // Started muted, the first unmuted frame tries once and remembers the failure.
  ClassSound muted;
  EXPECT_TRUE(muted.Initialize(true, 64, 64, nullptr));
  for (int i = 0; i < 10; i++) {
    AdvanceMs(16);
    muted.Update(false);
  }
  EXPECT_EQ(g_opens, 4);
  EXPECT_TRUE(muted.Failed());
  moxSpeaker::injectDriver(nullptr);
}

// A device without 16-bit output: the wrapper falls back to 8 bits.
class EightBitDriver : public moxDriver {
 public:
  int open(AudioSpec* spec, unsigned, moxAudioCallback, void*) override {
    g_opens++;
    return spec->format == 0x21 ? 0 : -1;
  }
  int close() override { return 0; }
  void enterCriticalSection() override {}
  void leaveCriticalSection() override {}
  void suspend() override {}
  void resume() override {}
};

TEST(WrapperStart, FallsBackToEightBits) {
  zt::Devices dev;
  moxSpeaker::injectDriver([]() -> moxDriver* { return new EightBitDriver(); });
  g_opens = 0;
  ClassSound sound;
  EXPECT_TRUE(sound.Initialize(false, 64, 64, nullptr));
  EXPECT_EQ(g_opens, 2);
  EXPECT_TRUE(sound.IsOpen());
  EXPECT_FALSE(sound.Mixer().sixteenBit());
  sound.Cleanup();
  moxSpeaker::injectDriver(nullptr);
}

// ---- a whole run ------------------------------------------------------------------------

struct Request {
  uint32_t frame;
  uint16_t effect;
  uint32_t ms;  // program clock when asked, from the mixer's open
};
std::vector<Request> g_requests;
uint32_t g_frame = 0, g_openMs = 0;
MAINDATA* g_data = nullptr;

int OnsetModule(void*, E2DSurface*, uint32_t*, uint32_t* message, int32_t* keys, uint32_t) {
  if (*message == MSG_ATTACH) {
    g_data = reinterpret_cast<MAINDATA*>(keys);
    return 0;
  }
  g_frame++;
  if (g_frame == 1) {
    g_data->sound->LoadSfxFiles();
    g_data->sound->LoadBgmFiles();
  }
  for (auto& r : g_requests)
    if (r.frame == g_frame) {
      r.ms = ClassERTimer::Count() - g_openMs;
      g_data->sound->PlaySfx(r.effect);
    }
  return 0;
}

class OnsetApp : public ClassMain {
 public:
  using ClassMain::ClassMain;
  int OnInit(int v) override {
    const int r = ClassMain::OnInit(v);
    ModuleEntry(MODULE_INTRO) = &OnsetModule;
    uint32_t message = MSG_ATTACH;
    OnsetModule(this, nullptr, nullptr, &message, reinterpret_cast<int32_t*>(&Data()), 0);
    return r;
  }
  int OnDisplayInit(int v, ClassEDisplay* d) override {
    g_openMs = ClassERTimer::Count();
    return ClassMain::OnDisplayInit(v, d);
  }
};

TEST(HeadlessRun, EffectOnsetsFallOnTheRequestingFrames) {
  SKIP_WITHOUT_PACKS();
  InBuildFolder here;
  standin::Config cfg = zt::HeadlessConfig();
  cfg.frameLimit = 260;
  cfg.audioPath = zt::TempDir("onsets") + "/run.wav";
  zt::Devices dev(cfg);
  g_requests = {{30, 1, 0}, {75, 6, 0}, {120, 2, 0}, {165, 11, 0}, {210, 6, 0}};
  g_frame = 0;
  {
    ZARNDATA data{};
    OnsetApp app(&data);
    app.StartFramework(0);
  }
  zt::Wav16 wav;
  ASSERT_TRUE(zt::ReadWav16(cfg.audioPath, &wav));
  ASSERT_EQ(wav.channels, 2u);
  ASSERT_EQ(wav.rate, 44100u);
  const auto& pcm = wav.samples;
  // Onsets: the first loud frame after at least 100 ms of silence.
  std::vector<double> onsets;
  size_t quiet = 4410;
  for (size_t f = 0; f < pcm.size() / 2; f++) {
    const bool loud = std::abs(pcm[2 * f]) > 200 || std::abs(pcm[2 * f + 1]) > 200;
    if (loud && quiet >= 4410) onsets.push_back(double(f) * 1000.0 / 44100.0);
    quiet = loud ? 0 : quiet + 1;
  }
  ASSERT_EQ(onsets.size(), g_requests.size());
  for (size_t i = 0; i < onsets.size(); i++) {
    const double late = onsets[i] - g_requests[i].ms;
    // Within one 20 ms fragment of the frame that asked.
    EXPECT_GE(late, -1.0) << "effect " << g_requests[i].effect << " at frame " << g_requests[i].frame;
    EXPECT_LE(late, 21.0) << "effect " << g_requests[i].effect << " at frame " << g_requests[i].frame;
  }
}

// ---- a note cut through the wrapper -------------------------------------------------------

// The wrapper sets the music channel's volume while it fades and may do so
// after; a cut note stays silent until its next note all the same. The module
// plays a looped sample and cuts it twice, two ticks into a row: on row 3 (0.40 s,
// while the track fades in) until the note on row 6 (0.72 s), and on row 10
// (1.24 s) until row 30 (3.6 s). The sound is the headless device's, in step with
// the fake clock.
TEST(WrapperCut, CutNoteStaysSilentUntilItsNextNote) {
  const std::string dir = zt::TempDir("gamesound_cut");
  soundtest::Mod mod;
  mod.samples.push_back(soundtest::SquareSample(64, true));
  mod.At(0, 0, 0) = {1, 428, 0, 0};
  mod.At(0, 3, 0) = {0, 0, 0xE, 0xC2};
  mod.At(0, 6, 0) = {1, 428, 0, 0};
  mod.At(0, 10, 0) = {0, 0, 0xE, 0xC2};
  mod.At(0, 30, 0) = {1, 428, 0, 0};
  mod.order = {0};
  const std::vector<uint8_t> image = mod.Build();
  ASSERT_EQ(mkdir((dir + "/res").c_str(), 0777), 0);
  {
    ClassEFile pack;
    ASSERT_EQ(pack.PackNew((dir + "/res/bgm.epk").c_str()), 0);
    ASSERT_EQ(pack.PackAddFileData("cut.mod", image.data(), uint32_t(image.size()), false, 0, 1600000000), 0);
    pack.Close();
  }
  standin::Config cfg = zt::HeadlessConfig();
  cfg.audioPath = dir + "/cut.wav";
  {
    zt::Devices dev(cfg);
    zt::InFolder in(dir);
    ASSERT_TRUE(in.ok());
    ClassSound sound;
    ASSERT_TRUE(sound.Initialize(false, 64, 64, nullptr));
    ASSERT_TRUE(sound.LoadBgmFiles());
    ASSERT_EQ(sound.BgmFound(), 1u);
    sound.PlayBgm(1);
    for (int i = 0; i < 270; i++) {  // 4.3 s
      AdvanceMs(16);
      sound.Update(false);
    }
    sound.Cleanup();
  }
  zt::Wav16 wav;
  ASSERT_TRUE(zt::ReadWav16(cfg.audioPath, &wav));
  ASSERT_EQ(wav.channels, 2u);
  // The loudest sample between two times (seconds from the mixer's open); the
  // track starts within a fragment of it.
  auto peak = [&](double from, double to) {
    int p = 0;
    for (size_t i = size_t(from * wav.rate) * 2; i < size_t(to * wav.rate) * 2 && i < wav.samples.size(); i++)
      p = std::max(p, std::abs(int(wav.samples[i])));
    return p;
  };
  ASSERT_GE(wav.samples.size(), size_t(4.2 * wav.rate) * 2);
  EXPECT_GT(peak(0.2, 0.36), 0);     // fading in
  EXPECT_EQ(peak(0.42, 0.70), 0);    // cut while the fade sets the volume
  EXPECT_GT(peak(1.0, 1.2), 5000);   // faded in, before the second cut
  EXPECT_EQ(peak(1.3, 3.55), 0);     // cut
  EXPECT_GT(peak(3.65, 4.2), 5000);  // the next note
}

}  // namespace
