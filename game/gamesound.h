// The game's sound wrapper over the mixer. In this form it never opens, so the
// game runs silent.
#ifndef ZARN_GAME_GAMESOUND_H
#define ZARN_GAME_GAMESOUND_H

#include <cstdint>

#include "framework/zarn_types.h"

class ClassSound {
 public:
  // 1 when the mixer opened, 0 on failure.
  int Open() { return 0; }
  void Cleanup() { open = false; }
  void Update(uint8_t /*mute*/) {}
  void VolumeBgm(uint8_t volume) { bgmVolume = volume; }
  void SetVolumeSfx(uint8_t volume) { sfxVolume = volume; }
  void SuspendMixer() {}
  void ResumeMixer() {}
  // Plays sound effect n (numbered from 1; 0 is none): silent here. Every request
  // is counted by number (before any rate limit), so that headless play can check
  // which effects the rules asked for.
  void PlaySfx(uint16_t effect) {
    if (effect < 32) sfxPlayed[effect]++;
  }

  ECD* ecd = nullptr;
  bool open = false;
  bool failed = false;
  bool suspended = false;
  uint8_t sfxVolume = 0, bgmVolume = 0, mute = 0;
  uint32_t sfxStamps[24] = {};
  uint32_t musicClock = 0;
  uint32_t sfxPlayed[32] = {};
};

#endif
