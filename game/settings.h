// The settings record: 804 bytes stored whole as "game.cfg". Kept as bytes so the
// file is exact on every build; fields are read and written by offset, numbers
// little-endian.
#ifndef ZARN_GAME_SETTINGS_H
#define ZARN_GAME_SETTINGS_H

#include <cstdint>

#include "framework/emod_bytes.h"

struct MAINCONFIG {
  static constexpr uint32_t kSize = 804;
  static constexpr uint32_t kPlayerName = 90;       // char[32]
  static constexpr uint32_t kHosts = 250;           // 6 x char[32]
  static constexpr uint32_t kHostCount = 6;
  static constexpr uint32_t kKeys = 444;            // 4 x uint32: drop, reserved, start, toggle
  static constexpr uint32_t kCheckA = 460;
  static constexpr uint32_t kCheckB = 464;
  static constexpr uint32_t kMusicVolume = 468;
  static constexpr uint32_t kEffectVolume = 469;
  static constexpr uint32_t kMute = 470;
  static constexpr uint32_t kColourBlind = 471;
  static constexpr uint32_t kScoreNames = 472;      // mode m, rank r at 472 + 96m + 32r
  static constexpr uint32_t kScores = 760;          // mode m, rank r at 760 + 12m + 4r
  static constexpr uint32_t kStartLevel = 796;
  static constexpr uint32_t kMultiStartLevel = 797;
  static constexpr uint32_t kConnection = 798;
  static constexpr uint32_t kTargetIndex = 799;
  static constexpr uint32_t kStylusMode = 800;
  static constexpr uint32_t kTextSize = 32;

  // Key word slots (index into the four words at kKeys).
  enum : uint32_t { KEY_DROP = 0, KEY_RESERVED = 1, KEY_START = 2, KEY_TOGGLE = 3 };
  // Connection kinds and stylus modes.
  enum : uint8_t { CONNECTION_TCP = 0, CONNECTION_WIRELESS = 1 };
  enum : uint8_t { STYLUS_SINGLE_TAP = 0, STYLUS_DOUBLE_TAP = 1, STYLUS_TAP_RELEASE = 2 };

  uint8_t bytes[kSize];

  uint8_t MusicVolume() const { return bytes[kMusicVolume]; }
  uint8_t EffectVolume() const { return bytes[kEffectVolume]; }
  uint8_t Mute() const { return bytes[kMute]; }
  void SetMusicVolume(uint8_t v) { bytes[kMusicVolume] = v; }
  void SetEffectVolume(uint8_t v) { bytes[kEffectVolume] = v; }
  void SetMute(uint8_t v) { bytes[kMute] = v; }
  uint8_t ColourBlind() const { return bytes[kColourBlind]; }
  uint8_t StartLevel() const { return bytes[kStartLevel]; }
  uint8_t MultiStartLevel() const { return bytes[kMultiStartLevel]; }
  uint8_t Connection() const { return bytes[kConnection]; }
  uint8_t TargetIndex() const { return bytes[kTargetIndex]; }
  uint8_t StylusMode() const { return bytes[kStylusMode]; }
  void SetColourBlind(uint8_t v) { bytes[kColourBlind] = v; }
  void SetStartLevel(uint8_t v) { bytes[kStartLevel] = v; }
  void SetMultiStartLevel(uint8_t v) { bytes[kMultiStartLevel] = v; }
  void SetConnection(uint8_t v) { bytes[kConnection] = v; }
  void SetTargetIndex(uint8_t v) { bytes[kTargetIndex] = v; }
  void SetStylusMode(uint8_t v) { bytes[kStylusMode] = v; }

  char* PlayerName() { return reinterpret_cast<char*>(bytes + kPlayerName); }
  const char* PlayerName() const { return reinterpret_cast<const char*>(bytes + kPlayerName); }
  char* HostAddress(uint32_t i) {
    return reinterpret_cast<char*>(bytes + kHosts + kTextSize * (i % kHostCount));
  }
  char* ScoreName(uint32_t mode, uint32_t rank) {
    return reinterpret_cast<char*>(bytes + ScoreNameOffset(mode, rank));
  }
  const char* ScoreName(uint32_t mode, uint32_t rank) const {
    return reinterpret_cast<const char*>(bytes + ScoreNameOffset(mode, rank));
  }
  uint32_t Score(uint32_t mode, uint32_t rank) const { return Word(ScoreOffset(mode, rank)); }
  void SetScore(uint32_t mode, uint32_t rank, uint32_t v) { SetWord(ScoreOffset(mode, rank), v); }
  uint32_t Key(uint32_t slot) const { return Word(kKeys + 4 * (slot & 3)); }
  void SetKey(uint32_t slot, uint32_t code) { SetWord(kKeys + 4 * (slot & 3), code); }

  uint32_t Word(uint32_t offset) const { return EBytes_Get32(bytes + offset); }
  void SetWord(uint32_t offset, uint32_t v) { EBytes_Put32(bytes + offset, v); }

  static uint32_t ScoreNameOffset(uint32_t mode, uint32_t rank) {
    return kScoreNames + 96 * (mode % 3) + kTextSize * (rank % 3);
  }
  static uint32_t ScoreOffset(uint32_t mode, uint32_t rank) {
    return kScores + 12 * (mode % 3) + 4 * (rank % 3);
  }
};

// The settings file's operations, free so that tools and tests use them without
// an application object. Paths are relative to the working folder.
//
// Writes the defaults into the fields that have one; other bytes keep their
// value. An empty or missing owner name gives "Anonymous".
void Settings_Reset(MAINCONFIG* cfg, const char* ownerName);
// The two check words over the record, taken as if both check fields were 0.
void Settings_Checksums(const MAINCONFIG& cfg, uint32_t* a, uint32_t* b);
// 1 when the stored check words match the record, else 0; both are 0 afterwards.
int Settings_Valid(MAINCONFIG* cfg);
// Repairs what a file could hold but the game never writes: unterminated texts,
// option bytes out of range, key words that are no button.
void Settings_Sanitise(MAINCONFIG* cfg);

enum : int {
  SETTINGS_LOADED = 0,     // the file was read and is valid
  SETTINGS_MISSING = 1,    // no file (or it could not be opened): defaults
  SETTINGS_SHORT = 2,      // fewer than 804 bytes: defaults
  SETTINGS_BADCHECK = 3,   // check words differ (an all-zero file too): defaults
};
// Fills the record from the file, or with the defaults. A rejected file is left
// where it is; the check words in memory are 0 afterwards in every case.
int Settings_Load(MAINCONFIG* cfg, const char* path, const char* ownerName);
// The same over a file image in memory (its first 804 bytes).
int Settings_LoadImage(MAINCONFIG* cfg, const uint8_t* image, uint32_t size, const char* ownerName);
// Stores the check words and writes the record to path through a temporary file
// ("<path>.tmp") that is flushed and renamed over the old one, so an interrupted
// save leaves the old file or the new one. False when it could not be written;
// the old file then stays.
bool Settings_Save(MAINCONFIG* cfg, const char* path);

enum : int {
  SETTINGS_KEPT = 0,         // copied whole to "<path>.bad"
  SETTINGS_KEPT_BEFORE = 1,  // "<path>.bad" exists: it keeps the first rejected file
  SETTINGS_NOT_KEPT = 2,     // the copy could not be made
};
// Keeps a rejected settings file from the next save: copies it whole to
// "<path>.bad" (through a temporary file), unless that file exists already,
// which then stays as it is until the player removes it.
int Settings_KeepRejected(const char* path);

#endif
