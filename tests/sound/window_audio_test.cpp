// The window backend plays the mixer through SDL2's audio device: this test runs
// its own program again under Xvfb with SDL's dummy audio driver.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "sound/moxSpeaker.h"
#include "standin/standin.h"
#include "tests/sound/sound_util.h"
#include "tests/support/harness.h"

namespace {

using soundtest::HaveResgen;

// The part that runs inside Xvfb.
TEST(WindowAudio, Child) {
  if (!std::getenv("ZARN_WINDOW_AUDIO_CHILD")) GTEST_SKIP() << "runs only inside WindowAudio.PlaysThroughSdl";
  standin::Config c = standin::DefaultConfig();
  c.backend = "sdl";
  standin::Configure(c);
  ASSERT_EQ(standin::CurrentConfig().backend, "sdl") << "no window backend here";
  std::ifstream f(std::string(ZARN_BINARY_DIR) + "/resgen/sfx/03_nuclear.wav", std::ios::binary);
  std::vector<uint8_t> wav((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  moxSound s;
  ASSERT_EQ(s.load(wav.data(), uint32_t(wav.size()), false), 0);
  moxSpeaker sp;
  ASSERT_EQ(sp.open(44100, 16, true, 2, 8), 0);
  ASSERT_GE(sp.playSound(&s, MOX_ANYCHANNEL), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(sp.playingChannelSounds(), 1u);  // 1.6 s long: still playing
  sp.close();
  // Nothing fell back to the headless capture: SDL took every fragment.
  EXPECT_EQ(standin::AudioFramesWritten(), 0u);
}

TEST(WindowAudio, PlaysThroughSdl) {
#if defined(__arm__)
  GTEST_SKIP() << "the ARM build has no window backend";
#endif
  if (!HaveResgen()) GTEST_SKIP() << "no generated resources in " << ZARN_BINARY_DIR << "/resgen";
  if (!zt::HaveTool("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = 0;
  const std::string dir = zt::TempDir("window_audio");
  const int rc = zt::Run("ZARN_WINDOW_AUDIO_CHILD=1 SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 timeout 60 " +
                         zt::XvfbCommand("640x480x24") + " '" + std::string(self) +
                         "' --gtest_filter=WindowAudio.Child > '" + dir + "/out.txt' 2>&1");
  std::ifstream out(dir + "/out.txt");
  std::string text((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
  EXPECT_EQ(rc, 0) << text;
  EXPECT_NE(text.find("[  PASSED  ] 1 test"), std::string::npos) << text;
  EXPECT_EQ(text.find("SKIPPED"), std::string::npos) << text;
}

}  // namespace
