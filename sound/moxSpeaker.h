// The mixer: opens the audio output through a driver, owns the music and sound
// channel pools and fills each output fragment with their mix.
#ifndef ZARN_SOUND_MOXSPEAKER_H
#define ZARN_SOUND_MOXSPEAKER_H

#include <cstdint>

#include "sound/moxChannel.h"
#include "sound/moxData.h"
#include "sound/moxGP2X.h"
#include "sound/moxUtility.h"

class moxSpeaker {
 public:
  static constexpr uint32_t kTableSize = 1713;

  moxSpeaker();
  virtual ~moxSpeaker();
  moxSpeaker(const moxSpeaker&) = delete;
  moxSpeaker& operator=(const moxSpeaker&) = delete;

  int bufferLength(int ms);
  int bufferLength() const { return static_cast<int>(bufferMs_); }

  int open(unsigned rate, unsigned bits, bool stereo, unsigned musicChannels, unsigned soundChannels);
  void close();
  bool isOpen() const { return open_ != 0; }

  moxChannel* channel(int id);
  unsigned maxChannelMusics() const { return musicCount_; }
  unsigned maxChannelSounds() const { return soundCount_; }
  unsigned playingChannelMusics();
  unsigned playingChannelSounds();

  int playSound(moxSound* sound, unsigned flags);
  int playMusic(moxMusic* music, unsigned flags);

  void stopSounds();
  void stopMusics();
  void pauseSounds();
  void unpauseSounds();
  void pauseMusics();
  void unpauseMusics();
  void suspend();
  void resume();

  void volumeSounds(unsigned v);
  void volumeMusics(unsigned v);
  unsigned volumeSounds() const { return soundVolume_; }
  unsigned volumeMusics() const { return musicVolume_; }

  static unsigned findBestNoteIndex(unsigned period);
  // Builds the step and note tables for an output rate (open does the same).
  void createTables(unsigned rate);
  const uint32_t* stepTable() const { return stepTable_; }
  const uint16_t* noteTable() const { return noteTable_; }
  uint32_t outputRate() const { return rate_; }
  bool stereo() const { return stereo_ != 0; }
  bool sixteenBit() const { return sixteen_ != 0; }

  static void audioCallback(void* user, unsigned char* buffer, int bytes);
  // The mix of all playing channels into one fragment (feeder thread).
  void updateModSFX(unsigned char* buffer, int bytes);

  // The driver's critical section (nothing when closed).
  void enterCriticalSection();
  void leaveCriticalSection();
  moxDriver* driver() const { return driver_; }

  // Tests: the driver the next open creates (owned from then on).
  static void injectDriver(moxDriver* (*factory)());

 private:
  moxDriver* driver_ = nullptr;
  uint8_t open_ = 0;
  uint32_t musicCount_ = 0;
  moxMusicChannel* music_ = nullptr;
  moxMusicChannel** musicPlaying_ = nullptr;
  uint32_t soundCount_ = 0;
  moxSoundChannel* sound_ = nullptr;
  moxSoundChannel** soundPlaying_ = nullptr;
  uint32_t stepTable_[kTableSize] = {};
  uint16_t noteTable_[kTableSize] = {};
  uint32_t musicVolume_ = 64;
  uint32_t soundVolume_ = 64;
  uint32_t rate_ = 44100;
  uint32_t stereo_ = 1;
  uint32_t sixteen_ = 1;
  uint32_t bufferMs_ = 200;
};

#endif
