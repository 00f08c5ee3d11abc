// The mixing library's shared types, small helpers and period tables.
#ifndef ZARN_SOUND_MOXUTILITY_H
#define ZARN_SOUND_MOXUTILITY_H

#include <cstdint>

#include "framework/emod_bytes.h"

// Output format asked of a driver.
struct AudioSpec {
  uint32_t rate;      // frames per second
  uint32_t format;    // 0x01 8-bit, 0x02 16-bit, 0x10 signed, 0x20 unsigned
  uint32_t channels;  // 1 or 2
};

enum : uint32_t {
  MOX_AUDIO_8BIT = 0x01,
  MOX_AUDIO_16BIT = 0x02,
  MOX_AUDIO_SIGNED = 0x10,
  MOX_AUDIO_UNSIGNED = 0x20,
};

// Result codes of the library.
enum : int {
  MOX_OK = 0,
  MOX_ERR_PLAY = -1000,
  MOX_ERR_OPEN = -2,
  MOX_ERR_DRIVER = -5,
  MOX_ERR_MEMORY = -10,
  MOX_ERR_FORMAT = -100,
  MOX_ERR_NAME = -200,
  MOX_ERR_READ = -300,
};

// Channel request flags of playSound/playMusic.
enum : uint32_t {
  MOX_ANYCHANNEL = 0x10000000,
  MOX_PAUSED = 0x20000000,
};

class moxUtility {
 public:
  static uint16_t btol16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
  static uint32_t btol32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
  }
  static bool getDigit(char c) { return c >= '0' && c <= '9'; }
  static bool getUpAlpha(char c) { return c >= 'A' && c <= 'Z'; }
  static uint32_t getPlatform() { return 1; }
  static uint32_t getOSVersion() { return 0; }
  static int fullPathName(char* dst, const char* src);

  // Unaligned loads of the file formats' fields.
  static uint16_t le16(const unsigned char* p) { return EBytes_Get16(p); }
  static uint32_t le32(const unsigned char* p) { return EBytes_Get32(p); }
  static uint16_t be16(const unsigned char* p) { return btol16(EBytes_Get16(p)); }

  // A playback speed (128: the data's own rate) from a frequency in Hz, and back.
  static uint32_t speedOf(uint32_t frequency, uint32_t rate) {
    return rate ? static_cast<uint32_t>(((static_cast<uint64_t>(frequency) << 16) / rate) >> 9) : 0;
  }
  static uint32_t frequencyOf(uint32_t speed, uint32_t rate) {
    return static_cast<uint32_t>((static_cast<uint64_t>(rate) * speed * 512u) >> 16);
  }
};

// Floor division by 2^n of a signed value without shifting a negative number.
inline int32_t moxAsr(int32_t x, int n) { return x < 0 ? ~(~x >> n) : x >> n; }

// Amiga periods: 16 finetune rows (finetune 0..7, then -8..-1, indexed by the
// finetune nibble) of 84 notes, row 0 from 1712 (seven octaves down).
constexpr int kMoxNotes = 84;
constexpr int kMoxFinetunes = 16;
constexpr uint32_t kMoxMaxPeriod = 1712;
constexpr uint32_t kMoxMinPeriod = 13;
const uint16_t* moxAmigaNote();  // kMoxFinetunes x kMoxNotes
// ProTracker's vibrato half sine.
extern const uint8_t sine[32];

#endif
