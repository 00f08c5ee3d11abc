// The framework's sound front over its null driver: slots, plays, fades.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "framework/emod_memory.h"
#include "sound/emod_sound.h"
#include "tests/support/harness.h"

namespace {

void* Block(uint32_t n) {
  void* b = ClassEMemory::Alloc(n);
  std::memset(b, 1, n);
  return b;
}

TEST(SoundFront, NeverOpenedDoesNothing) {
  ClassESound f;
  EXPECT_EQ(f.PlaySound(0), -1);
  EXPECT_EQ(f.PlayMusic(0), -1);
  void* b = Block(16);
  EXPECT_EQ(f.LoadSoundEffect(0, b, 16), 10);
  EXPECT_EQ(f.LoadMusic(0, b, 16), 10);
  EXPECT_EQ(f.LoadSoundEffect(0, "x.wav"), 10);
  ClassEMemory::DeAlloc(b);
  f.Update(16);
  f.Resume();
  f.Close();
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(f.MusicPlaying(), -1);
}

TEST(SoundFront, SlotsAndPlays) {
  ClassESound f;
  ASSERT_EQ(f.Open(), 0);
  EXPECT_EQ(f.SoundVolume(), 96);
  EXPECT_EQ(f.MusicVolume(), 96);
  void* kept = Block(8);
  EXPECT_EQ(f.LoadSoundEffect(256, kept, 8), 4);  // the block stays the caller's on failure
  ClassEMemory::DeAlloc(kept);
  void* b = Block(8);
  EXPECT_EQ(f.LoadSoundEffect(3, b, 8), 0);           // taken over and freed
  EXPECT_TRUE(f.SoundLoaded(3));
  EXPECT_EQ(f.PlaySound(3), 0);
  EXPECT_EQ(f.PlaySound(3), -1);  // once a frame
  EXPECT_EQ(f.PlaySound(4), -1);  // empty slot
  f.Update(16);
  EXPECT_EQ(f.PlaySound(3), 0);
  f.Suspend();
  f.Update(16);
  EXPECT_EQ(f.PlaySound(3), -1);
  EXPECT_EQ(f.PlaySound(3, 0, 0, true), 0);
  f.SetMute(true);
  f.Resume();  // nothing while muted
  EXPECT_TRUE(f.IsSuspended());
  f.SetMute(false);
  EXPECT_FALSE(f.IsSuspended());
  // Files: missing and empty are refused, a real one loads.
  const std::string dir = zt::TempDir("soundfront");
  std::ofstream(dir + "/empty.bin").close();
  std::ofstream(dir + "/one.bin") << "RIFF....";
  EXPECT_EQ(f.LoadSoundEffect(5, (dir + "/missing.bin").c_str()), 1);
  EXPECT_EQ(f.LoadSoundEffect(5, (dir + "/empty.bin").c_str()), 1);
  EXPECT_EQ(f.LoadSoundEffect(5, (dir + "/one.bin").c_str()), 0);
  EXPECT_EQ(f.LoadMusic(31, (dir + "/one.bin").c_str()), 0);
  EXPECT_EQ(f.LoadMusic(32, (dir + "/one.bin").c_str()), 4);
  EXPECT_EQ(f.PlayMusic(31), 0);
  EXPECT_EQ(f.MusicPlaying(), 31);
  f.FreeMusic(31);
  EXPECT_EQ(f.MusicPlaying(), -1);
  f.Close();
  EXPECT_FALSE(f.SoundLoaded(3));
}

TEST(SoundFront, FadeOutSteps) {
  ClassESound f;
  ASSERT_EQ(f.Open(), 0);
  ASSERT_EQ(f.LoadSoundEffect(0, Block(4), 4), 0);
  ASSERT_EQ(f.PlaySound(0), 0);
  f.StopSoundChannel(0, ESND_FADEOUT, 500);
  const uint8_t want[] = {204, 153, 102, 51};
  for (uint8_t w : want) {
    f.Update(100);
    EXPECT_EQ(f.SoundChannel(0).volume, w);
    EXPECT_EQ(f.SoundChannel(0).slot, 0);
  }
  f.Update(100);
  EXPECT_EQ(f.SoundChannel(0).slot, -1);
  // Fade in from 0 up to the duration.
  ASSERT_EQ(f.PlaySound(0, 0, 0, false, ESND_FADEIN, 400), 0);
  f.Update(100);
  EXPECT_EQ(f.SoundChannel(0).volume, 63);
  f.Update(400);
  EXPECT_EQ(f.SoundChannel(0).flags & ESND_FADEIN, 0u);
  EXPECT_EQ(f.SoundChannel(0).position, 400);
}

TEST(SoundFront, CrossFade) {
  ClassESound f;
  ASSERT_EQ(f.Open(), 0);
  ASSERT_EQ(f.LoadMusic(1, Block(4), 4), 0);
  ASSERT_EQ(f.LoadMusic(2, Block(4), 4), 0);
  ASSERT_EQ(f.PlayMusic(1), 0);
  // The null driver always answers channel 0: the old record is faded, then replaced.
  ASSERT_EQ(f.PlayMusic(2, false, ESND_CROSSFADE, 800), 0);
  EXPECT_EQ(f.MusicChannel(0).slot, 2);
  EXPECT_EQ(f.MusicChannel(0).position, -100);
  EXPECT_TRUE(f.MusicChannel(0).flags & ESND_FADEIN);
  EXPECT_EQ(f.MusicPlaying(), 2);
  f.Update(100);  // silent for the first eighth
  EXPECT_EQ(f.MusicChannel(0).position, 0);
  f.Update(400);
  EXPECT_EQ(f.MusicChannel(0).volume, 127);
  f.StopMusicAll();
  EXPECT_EQ(f.MusicPlaying(), -1);
}

}  // namespace
