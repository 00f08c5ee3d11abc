// The framework's sound front: 256 effect slots, 32 music slots, 8 effect and 2
// music channels with fades and cross-fades, master volumes, mute and suspension,
// over the ESound_* driver functions. The driver here is a null driver that takes
// everything and plays nothing; the game plays through the mixing library.
#ifndef ZARN_SOUND_EMOD_SOUND_H
#define ZARN_SOUND_EMOD_SOUND_H

#include <cstdint>

// The driver functions (null driver).
void* ESound_NewDriver();
void ESound_FreeDriver(void* driver);
int32_t ESound_Open(void* driver, uint32_t rate, uint8_t bits, bool stereo);
void ESound_Close(void* driver);
void ESound_Suspend(void* driver);
void ESound_Resume(void* driver);
void* ESound_NewSound(void* driver);
void* ESound_NewMusic(void* driver);
int32_t ESound_LoadSound(void* driver, void* sound, void* data, uint32_t length);
int32_t ESound_LoadMusic(void* driver, void* music, void* data, uint32_t length);
void ESound_FreeSound(void* driver, void* sound);
void ESound_FreeMusic(void* driver, void* music);
int32_t ESound_PlaySound(void* driver, void* sound, int32_t a, int8_t b, bool whenSuspended);
int32_t ESound_PlayMusic(void* driver, void* music, bool whenSuspended);
bool ESound_KeepFilePointers(void* driver);
void ESound_VolumeSound(void* driver, uint8_t volume);
void ESound_VolumeMusic(void* driver, uint8_t volume);
void ESound_StopSound(void* driver, int32_t channel);
void ESound_StopMusic(void* driver, int32_t channel);
void ESound_Update(void* driver, uint32_t elapsed);
void ESound_ChannelSoundVolume(void* driver, int32_t channel, uint8_t volume);
void ESound_ChannelMusicVolume(void* driver, int32_t channel, uint8_t volume);

enum : uint32_t {
  ESND_FADEIN = 1,
  ESND_FADEOUT = 2,
  ESND_CROSSFADE = 4,
  ESND_KEEPOTHER = 8,
};

struct ESOUNDSLOT {
  void* handle;
  void* data;
  uint8_t started;  // started in this frame
};

struct EMUSICSLOT {
  void* handle;
  void* data;
};

struct ESOUNDCHANNEL {
  int32_t slot;  // -1: free
  uint32_t reserved;
  uint32_t duration;   // fade, ms
  int32_t position;    // fade position, ms (a cross-fade starts below 0)
  uint32_t flags;      // ESND_*
  uint8_t whenSuspended;
  uint8_t volume;      // last channel volume given to the driver
};

class ClassESound {
 public:
  static constexpr uint32_t kSoundSlots = 256, kMusicSlots = 32;
  static constexpr uint32_t kSoundChannels = 8, kMusicChannels = 2;

  ClassESound();
  ~ClassESound();
  ClassESound(const ClassESound&) = delete;
  ClassESound& operator=(const ClassESound&) = delete;

  int32_t Open(uint32_t rate, uint8_t bits, bool stereo);
  int32_t Open();
  void Close();

  // Load results: 0, 1 refused (no handle, file missing or empty), 2 no memory,
  // 4 bad slot, 10 not open, or the driver's code. The memory forms take over a
  // block from ClassEMemory when they succeed.
  int32_t LoadSoundEffect(uint32_t slot, void* data, uint32_t length);
  int32_t LoadSoundEffect(uint32_t slot, const uint16_t* name);
  int32_t LoadSoundEffect(uint32_t slot, const char* name);
  int32_t LoadMusic(uint32_t slot, void* data, uint32_t length);
  int32_t LoadMusic(uint32_t slot, const uint16_t* name);
  int32_t LoadMusic(uint32_t slot, const char* name);
  void FreeSoundEffect(uint32_t slot);
  void FreeMusic(uint32_t slot);

  int32_t PlaySound(uint32_t slot, int32_t a = 0, int8_t b = 0, bool whenSuspended = false,
                    uint32_t flags = 0, uint32_t duration = 0);
  int32_t PlayMusic(uint32_t slot, bool whenSuspended = false, uint32_t flags = 0, uint32_t duration = 0);
  void StopSoundChannel(int32_t channel, uint32_t flags = 0, uint32_t duration = 0);
  void StopMusicChannel(int32_t channel, uint32_t flags = 0, uint32_t duration = 0);
  void StopSound(uint32_t slot, uint32_t flags = 0, uint32_t duration = 0);
  void StopSoundAll(uint32_t flags = 0, uint32_t duration = 0);
  void StopMusic(uint32_t slot, uint32_t flags = 0, uint32_t duration = 0);
  void StopMusicAll(uint32_t flags = 0, uint32_t duration = 0);
  int32_t MusicPlaying() const;

  void SetSoundVolume(uint8_t v);
  void SetMusicVolume(uint8_t v);
  void SetMute(bool mute);
  void Suspend();
  void Resume();
  void Update(uint32_t elapsed);

  bool IsOpen() const { return open_ != 0; }
  bool IsSuspended() const { return suspended_ != 0; }
  bool IsMuted() const { return muted_ != 0; }
  uint8_t SoundVolume() const { return soundVolume_; }
  uint8_t MusicVolume() const { return musicVolume_; }
  const ESOUNDCHANNEL& SoundChannel(uint32_t i) const { return sndChannel_[i % kSoundChannels]; }
  const ESOUNDCHANNEL& MusicChannel(uint32_t i) const { return musChannel_[i % kMusicChannels]; }
  bool SoundLoaded(uint32_t slot) const { return slot < kSoundSlots && sounds_[slot].handle; }
  bool MusicLoaded(uint32_t slot) const { return slot < kMusicSlots && musics_[slot].handle; }

 private:
  int32_t LoadFile(bool music, uint32_t slot, const uint16_t* name);
  void FreeChannel(ESOUNDCHANNEL& c, bool music, int32_t index);
  void StopChannel(bool music, int32_t channel, uint32_t flags, uint32_t duration);
  int32_t Weight(const ESOUNDCHANNEL& c) const;
  int32_t LowestMusic() const;
  void FadeChannel(ESOUNDCHANNEL& c, bool music, int32_t index, uint32_t elapsed);

  ESOUNDSLOT sounds_[kSoundSlots];
  EMUSICSLOT musics_[kMusicSlots];
  ESOUNDCHANNEL sndChannel_[kSoundChannels];
  ESOUNDCHANNEL musChannel_[kMusicChannels];
  void* driver_ = nullptr;
  uint8_t soundVolume_ = 0;
  uint8_t musicVolume_ = 0;
  uint8_t open_ = 0;
  uint8_t suspended_ = 0;
  uint8_t muted_ = 0;
};

#endif
