// The game's sound wrapper over the mixer: effects and music tracks from the
// packs, the effect guard, music fades, volumes, mute and suspension.
#ifndef ZARN_GAME_GAMESOUND_H
#define ZARN_GAME_GAMESOUND_H

#include <cstdint>

#include "framework/zarn_types.h"
#include "sound/moxData.h"
#include "sound/moxSpeaker.h"

class ClassSound {
 public:
  static constexpr uint32_t kMaxEffects = 24;
  static constexpr uint32_t kMaxTracks = 2;
  // An effect starts at most once in this many milliseconds.
  static constexpr uint32_t kEffectGuardMs = 80;

  ClassSound();
  ~ClassSound();
  ClassSound(const ClassSound&) = delete;
  ClassSound& operator=(const ClassSound&) = delete;

  // Start-up: stores the volumes and the mute switch and, unless muted, opens the
  // mixer. False when opening failed (now or before).
  bool Initialize(bool mute, uint32_t effectVolume, uint32_t musicVolume, ECD* ecd);
  bool Open();
  void Suspend();
  void Resume();
  bool LoadSfxFiles();
  bool LoadBgmFiles();
  void PlaySfx(uint16_t n);
  void PlayBgm(uint16_t n);
  void StopBgm();
  void VolumeSfx(uint8_t v);
  void VolumeBgm(uint8_t v);
  // Once a frame with the settings' mute switch.
  void Update(bool mute);
  void Cleanup();

  uint16_t MusicPlaying() const { return requested_; }
  uint32_t BgmFound() const { return musicCount_; }
  uint32_t SfxFound() const { return effectCount_; }
  static uint32_t DeltaTime(uint32_t a, uint32_t b) { return a - b; }

  // State for the application object and tests.
  bool IsOpen() const { return open_ != 0; }
  bool Failed() const { return failed_ != 0; }
  bool Suspended() const { return suspended_ != 0; }
  bool Muted() const { return muted_ != 0; }
  uint32_t FadeInLevel() const { return fadeIn_; }
  uint32_t FadeOutLevel() const { return fadeOut_; }
  uint16_t FadingTrack() const { return fading_; }
  int32_t CurrentChannel() const { return curChannel_; }
  int32_t PreviousChannel() const { return prevChannel_; }
  uint16_t CurrentPlaying() const { return curPlaying_; }
  moxSpeaker& Mixer() { return mixer_; }
  // Rate, bits (0: 16 falling back to 8), stereo, channels: set before Open.
  void SetFormat(uint32_t rate, uint32_t bits, bool stereo);

  // Effect requests by number, counted before any guard: the rules' tests read
  // which effects play asked for. sfxStarted counts what really started.
  uint32_t sfxPlayed[32] = {};
  uint32_t sfxStarted[32] = {};
  uint32_t sfxVolume = 0;
  uint32_t bgmVolume = 0;

 private:
  // Moves the current track to the previous slot so that it fades out.
  void MoveCurrentToPrevious();
  void StopChannel(int32_t id);
  void SetChannelVolume(int32_t id, uint32_t level);
  int32_t StartTrack(uint16_t n);
  // Starts the requested and the fading track again where they have no channel.
  void RestartTracks();
  void FreeData();
  // Update's steps: the mixer opened once sound is wanted, the mute switch
  // turned either way (false: this update ends here), the fades moved on.
  bool TryOpen(uint32_t now);
  void Mute();
  bool Unmute(uint32_t now);
  void AdvanceFades(uint32_t elapsed);

  ECD* ecd_ = nullptr;
  moxSpeaker mixer_;
  moxMusic music_[kMaxTracks];
  moxSound effect_[kMaxEffects];
  uint32_t rate_ = 44100;
  uint32_t bits_ = 0;
  uint8_t stereo_ = 1;
  uint32_t musicChannels_ = 2;
  uint32_t soundChannels_ = 8;
  void* effectData_[kMaxEffects] = {};
  void* musicData_[kMaxTracks] = {};
  uint32_t effectCount_ = 0;
  uint32_t musicCount_ = 0;
  uint32_t stamps_[kMaxEffects + 1] = {};
  uint32_t fadeIn_ = 0;
  uint32_t fadeOut_ = 0;
  int32_t curChannel_ = -1;
  int32_t prevChannel_ = -1;
  uint16_t curPlaying_ = 0;
  uint16_t prevPlaying_ = 0;
  uint16_t requested_ = 0;
  uint16_t fading_ = 0;
  uint8_t open_ = 0;
  uint8_t suspended_ = 0;
  uint8_t muted_ = 0;
  uint8_t failed_ = 0;
  uint8_t sfxReported_ = 0;  // a pack that fails the game is said once a run
  uint8_t bgmReported_ = 0;
};

#endif
