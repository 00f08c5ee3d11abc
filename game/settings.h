// The settings record: 804 bytes stored whole as "game.cfg". Kept as bytes so the
// file is exact on every build; fields are read and written by offset.
#ifndef ZARN_GAME_SETTINGS_H
#define ZARN_GAME_SETTINGS_H

#include <cstdint>

struct MAINCONFIG {
  static constexpr uint32_t kSize = 804;
  static constexpr uint32_t kMusicVolume = 468;
  static constexpr uint32_t kEffectVolume = 469;
  static constexpr uint32_t kMute = 470;
  uint8_t bytes[kSize];

  uint8_t MusicVolume() const { return bytes[kMusicVolume]; }
  uint8_t EffectVolume() const { return bytes[kEffectVolume]; }
  uint8_t Mute() const { return bytes[kMute]; }
  void SetMusicVolume(uint8_t v) { bytes[kMusicVolume] = v; }
  void SetEffectVolume(uint8_t v) { bytes[kEffectVolume] = v; }
  void SetMute(uint8_t v) { bytes[kMute] = v; }
};

#endif
