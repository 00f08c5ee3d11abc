// Loaded sound data: samples from WAV images (PCM and MS-ADPCM) and tracker
// modules in the MOD format.
#ifndef ZARN_SOUND_MOXDATA_H
#define ZARN_SOUND_MOXDATA_H

#include <cstdint>

#include "sound/moxUtility.h"

struct moxAdpcmState {
  int32_t predictor;
  int32_t delta;
  int32_t s1, s2;
};

class moxSound {
 public:
  moxSound();
  ~moxSound();
  moxSound(const moxSound&) = delete;
  moxSound& operator=(const moxSound&) = delete;

  // Loads a RIFF WAVE image of `size` bytes. With `copy` the samples are copied,
  // else PCM samples are used in place (the image must outlive the sound).
  // 0, or -10 null image / no memory, -300 no "fmt " or "data" chunk or a chunk
  // past the image, -100 a format not played (played: PCM of 8 or 16 bits, plain
  // or extensible, and MS-ADPCM).
  int load(const void* image, uint32_t size, bool copy);
  // Loads a file; -200 when it cannot be opened, -300 when it cannot be read.
  int load(const char* name);
  void unload();

  // Standard MS-ADPCM pieces.
  int init_MSADPCM(const unsigned char* fmtBody, uint32_t fmtSize);
  static int32_t nibble_MSADPCM(moxAdpcmState* state, uint32_t nibble, const int16_t* coefficients);
  int decode_MSADPCM(const unsigned char*& data, uint32_t& length, bool freeSource);

  void volume(unsigned v) { volume_ = v > 64 ? 64 : v; }
  unsigned volume() const { return volume_; }
  void pan(unsigned p) { pan_ = p > 255 ? 255 : p; }
  unsigned pan() const { return pan_; }
  void loop(bool on) { loop_ = on ? 1 : 0; }
  bool loop() const { return loop_ != 0; }
  void maxplaybacks(int32_t n) { maxplaybacks_ = n; }
  int32_t maxplaybacks() const { return maxplaybacks_; }
  void frequency(unsigned f);
  unsigned frequency() const { return frequency_; }
  void speed(unsigned s);
  unsigned speed() const { return speed_; }

  const void* data() const { return data_; }
  bool eightBit() const { return eight_ != 0; }
  bool stereo() const { return stereo_ != 0; }
  uint32_t rate() const { return rate_; }
  uint32_t frames() const { return length_; }
  uint32_t samplesPerBlock() const { return samplesPerBlock_; }

 private:
  // The samples of the data chunk, decoded or used as they are.
  int loadAdpcm(const unsigned char* fmt, uint32_t fmtSize, const unsigned char* data,
                uint32_t dataSize);
  int loadPcm(uint32_t bits, uint32_t channels, const unsigned char* data, uint32_t dataSize,
              bool copy);

  const void* data_ = nullptr;
  uint8_t eight_ = 0;
  uint8_t stereo_ = 0;
  uint32_t rate_ = 0;
  uint32_t length_ = 0;
  uint32_t volume_ = 64;
  uint8_t loop_ = 0;
  uint32_t pan_ = 128;
  int32_t maxplaybacks_ = -1;
  unsigned char format_[16] = {};
  uint32_t samplesPerBlock_ = 0;
  uint32_t coefCount_ = 0;
  int16_t coef_[7][2] = {};
  moxAdpcmState state_[2] = {};
  uint32_t frequency_ = 1;
  uint32_t speed_ = 128;
  uint8_t owned_ = 0;
};

class moxMusic {
 public:
  moxMusic();
  ~moxMusic();
  moxMusic(const moxMusic&) = delete;
  moxMusic& operator=(const moxMusic&) = delete;

  // Loads a MOD image of `size` bytes: -10 null image / no memory, -100 not a
  // module, -300 patterns cut off by the end of the image. Sample data cut off
  // by the end are shortened to what is there.
  int load(const void* image, uint32_t size, bool copy);
  int load(const char* name);
  void unload();

  // Voice count of a signature (4 bytes): 0 when it is not a module.
  static uint32_t translatePTSign(const unsigned char* sign);

  void volume(unsigned v) { volume_ = v > 64 ? 64 : v; }
  unsigned volume() const { return volume_; }
  void pan(unsigned p) { pan_ = p > 255 ? 255 : p; }
  unsigned pan() const { return pan_; }
  void loop(bool on) { loop_ = on ? 1 : 0; }
  bool loop() const { return loop_ != 0; }
  void frequency(unsigned f);
  unsigned frequency() const { return frequency_; }
  void speed(unsigned s);
  unsigned speed() const { return speed_; }

  const unsigned char* image() const { return image_; }
  uint32_t size() const { return size_; }
  uint32_t voices() const { return voices_; }
  uint32_t patterns() const { return patterns_; }
  uint32_t songLength() const { return songLength_; }
  // Bytes of sample i (0..30) present in the image.
  uint32_t sampleBytes(int i) const { return sampleBytes_[i]; }
  uint32_t rate() const { return rate_; }

 private:
  const unsigned char* image_ = nullptr;
  uint32_t size_ = 0;
  uint32_t voices_ = 0;
  uint32_t patterns_ = 0;
  uint32_t songLength_ = 0;
  uint32_t sampleBytes_[31] = {};
  uint32_t volume_ = 64;
  uint8_t loop_ = 0;
  uint32_t pan_ = 255;
  uint32_t rate_ = 44100;
  uint32_t frequency_ = 44100;
  uint32_t speed_ = 128;
  uint8_t owned_ = 0;
};

#endif
