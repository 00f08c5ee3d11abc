// The audio driver: ring geometry, refusals, life cycle and the feeder thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "sound/moxGP2X.h"
#include "sound/moxSpeaker.h"
#include "standin/standin.h"
#include "tests/sound/sound_util.h"

namespace {

void Callback(void* user, unsigned char* buf, int bytes) {
  auto* n = static_cast<std::atomic<int>*>(user);
  if (n) n->fetch_add(1);
  for (int i = 0; i < bytes; i++) buf[i] = 0;
}

// Waits until a condition holds; false only after a minute (a fault, not a
// slow machine).
template <class F>
bool WaitFor(F done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

struct HeadlessAudio : ::testing::Test {
  void SetUp() override {
    standin::Config c = standin::DefaultConfig();
    c.backend = "headless";
    standin::Configure(c);
  }
};

TEST(DriverLayout, FragmentCountsAndSizes) {
  struct Case {
    uint32_t rate, format, channels, frames;
    uint32_t count, size;
  } cases[] = {
      {44100, 0x12, 2, 44100 * 60 / 1000, 3, 3528},   // 60 ms: the minimum of 3
      {44100, 0x12, 2, 44100, 16, 3528},              // a second: at most 16
      {44100, 0x12, 2, 44100 * 200 / 1000, 10, 3528}, // 200 ms: 10
      {44100, 0x21, 1, 8820, 10, 888},                // 882 + 7, low three bits cleared
      {22050, 0x21, 2, 4410, 10, 888},
      {11025, 0x12, 1, 100, 3, 448},                  // 441 + 7 -> 448
      {48000, 0x12, 2, 48000 / 5, 10, 3840},
  };
  for (const auto& c : cases) {
    AudioSpec spec{c.rate, c.format, c.channels};
    uint32_t count = 0, size = 0, bpf = 0;
    ASSERT_TRUE(moxGP2X::layout(spec, c.frames, &count, &size, &bpf)) << c.rate;
    EXPECT_EQ(count, c.count) << c.rate << " " << c.frames;
    EXPECT_EQ(size, c.size) << c.rate << " " << c.format;
    EXPECT_EQ(size % 8, 0u);
  }
}

TEST_F(HeadlessAudio, RefusalsAndLifeCycle) {
  std::atomic<int> calls{0};
  struct Refused {
    uint32_t format, channels, rate;
  } refused[] = {{0, 2, 44100}, {0x11, 2, 44100}, {0x22, 2, 44100}, {0x12, 3, 44100},
                 {0x12, 0, 44100}, {0x12, 2, 0}};
  for (const auto& r : refused) {
    moxGP2X d;
    AudioSpec spec{r.rate, r.format, r.channels};
    EXPECT_EQ(d.open(&spec, 8820, Callback, &calls), MOXDRV_REFUSED) << r.format << " " << r.channels;
    EXPECT_FALSE(d.opened());
  }
  moxGP2X d;
  AudioSpec spec{44100, 0x12, 2};
  EXPECT_EQ(d.close(), MOXDRV_CLOSED);
  EXPECT_EQ(d.open(nullptr, 8820, Callback, &calls), MOXDRV_ARGS);
  EXPECT_EQ(d.open(&spec, 8820, nullptr, &calls), MOXDRV_ARGS);
  ASSERT_EQ(d.open(&spec, 8820, Callback, &calls), 0);
  EXPECT_EQ(d.open(&spec, 8820, Callback, &calls), MOXDRV_OPEN);
  // Opens suspended: nothing is mixed until resume.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(calls.load(), 0);
  EXPECT_TRUE(d.suspended());
  d.resume();
  ASSERT_TRUE(WaitFor([&] { return calls.load() >= 3; }));
  // Once suspend has returned no callback starts, however long we look.
  d.suspend();
  const int frozen = calls.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(calls.load(), frozen);
  EXPECT_EQ(d.close(), 0);
  EXPECT_EQ(d.close(), MOXDRV_CLOSED);
  // What was written reached the device: whole 20 ms fragments.
  EXPECT_EQ(standin::AudioRate(), 44100);
  EXPECT_EQ(standin::AudioChannels(), 2);
  EXPECT_GT(standin::AudioFramesWritten(), 0u);
  EXPECT_EQ(standin::AudioFramesWritten() % 882, 0u);
}

// A device whose writes fail at once: the feeder waits a fragment's time after
// each failure instead of running the mixer again at once.
TEST_F(HeadlessAudio, FailedWritesWaitAFragment) {
  standin::Config c = standin::DefaultConfig();
  c.backend = "headless";
  c.failDspWrite = true;
  standin::Configure(c);
  static std::vector<std::chrono::steady_clock::time_point> times;
  static std::mutex m;
  times.clear();
  auto stamp = [](void*, unsigned char* buf, int bytes) {
    std::lock_guard<std::mutex> g(m);
    times.push_back(std::chrono::steady_clock::now());
    std::memset(buf, 0, size_t(bytes));
  };
  moxGP2X d;
  AudioSpec spec{44100, 0x12, 2};
  ASSERT_EQ(d.open(&spec, 8820, stamp, nullptr), 0);
  d.resume();
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> g(m);
    return times.size() >= 4;
  }));
  EXPECT_EQ(d.close(), 0);
  EXPECT_EQ(d.fragmentsWritten(), 0u);
  for (size_t i = 1; i < times.size(); i++)
    EXPECT_GE(times[i] - times[i - 1], std::chrono::milliseconds(20)) << "callback " << i;
}

TEST_F(HeadlessAudio, DeviceThatCannotOpen) {
  standin::Config c = standin::DefaultConfig();
  c.backend = "headless";
  c.failDsp = true;
  standin::Configure(c);
  moxGP2X d;
  AudioSpec spec{44100, 0x12, 2};
  EXPECT_EQ(d.open(&spec, 8820, Callback, nullptr), MOXDRV_REFUSED);
  moxSpeaker sp;
  EXPECT_EQ(sp.open(44100, 16, true, 2, 8), MOXDRV_REFUSED);
  EXPECT_FALSE(sp.isOpen());
}

// The game thread starts, stops and changes channels while the feeder mixes them,
// and the mixer is opened and closed again and again underneath.
TEST_F(HeadlessAudio, OpenCloseStressWhileChannelsChange) {
  std::vector<int16_t> pcm(2000);
  for (size_t i = 0; i < pcm.size(); i++) pcm[i] = int16_t((i % 50) * 600 - 15000);
  std::vector<uint8_t> data;
  for (int16_t s : pcm) soundtest::Put16(data, uint16_t(s));
  const auto wav = soundtest::Wav(soundtest::PcmFmt(1, 44100, 16), data);
  soundtest::Mod mod;
  mod.samples.push_back(soundtest::SquareSample());
  for (uint32_t r = 0; r < 64; r += 4) mod.At(0, r, r % 4) = {1, 428, 0, 0};
  mod.order = {0};
  const auto modImage = mod.Build();
  moxSound snd;
  ASSERT_EQ(snd.load(wav.data(), uint32_t(wav.size()), false), 0);
  moxMusic mus;
  ASSERT_EQ(mus.load(modImage.data(), uint32_t(modImage.size()), false), 0);
  mus.loop(true);
  moxSpeaker sp;
  const int rounds = 1000;
  int opened = 0;
  for (int i = 0; i < rounds; i++) {
    if (sp.open(44100, i % 3 == 0 ? 8 : 16, i % 2 == 0, 2, 8) != 0) continue;
    opened++;
    int id = sp.playMusic(&mus, MOX_ANYCHANNEL);
    int s = sp.playSound(&snd, MOX_ANYCHANNEL);
    if (sp.channel(s)) sp.channel(s)->volume(unsigned(i % 65));
    sp.volumeSounds(unsigned(i % 70));
    sp.volumeMusics(unsigned(64 - i % 64));
    if (i % 5 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
    if (sp.channel(id)) sp.channel(id)->stop();
    if (i % 7 == 0) sp.suspend();
    if (i % 11 == 0) sp.stopSounds();
    sp.pauseMusics();
    sp.unpauseMusics();
    sp.close();
    EXPECT_FALSE(sp.isOpen());
    EXPECT_EQ(sp.channel(0), nullptr);
  }
  EXPECT_EQ(opened, rounds);
}

}  // namespace
