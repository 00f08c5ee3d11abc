// Builders for WAV and MOD images used by the sound tests.
#ifndef ZARN_TESTS_SOUND_SOUND_UTIL_H
#define ZARN_TESTS_SOUND_SOUND_UTIL_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sound/moxGP2X.h"
#include "sound/moxSpeaker.h"

namespace soundtest {

inline void Put16(std::vector<uint8_t>& o, uint32_t v) {
  o.push_back(uint8_t(v));
  o.push_back(uint8_t(v >> 8));
}
inline void Put32(std::vector<uint8_t>& o, uint32_t v) {
  Put16(o, v & 0xFFFF);
  Put16(o, v >> 16);
}
inline void Tag(std::vector<uint8_t>& o, const char* t) {
  for (int i = 0; i < 4; i++) o.push_back(uint8_t(t[i]));
}

// A RIFF WAVE image: fmt body as given, then the data chunk (padded when odd).
inline std::vector<uint8_t> Wav(const std::vector<uint8_t>& fmt, const std::vector<uint8_t>& data,
                                const std::vector<uint8_t>& between = {}) {
  std::vector<uint8_t> o;
  Tag(o, "RIFF");
  Put32(o, 0);
  Tag(o, "WAVE");
  Tag(o, "fmt ");
  Put32(o, uint32_t(fmt.size()));
  o.insert(o.end(), fmt.begin(), fmt.end());
  if (fmt.size() & 1) o.push_back(0);
  o.insert(o.end(), between.begin(), between.end());
  Tag(o, "data");
  Put32(o, uint32_t(data.size()));
  o.insert(o.end(), data.begin(), data.end());
  if (data.size() & 1) o.push_back(0);
  const uint32_t riff = uint32_t(o.size() - 8);
  o[4] = uint8_t(riff); o[5] = uint8_t(riff >> 8); o[6] = uint8_t(riff >> 16); o[7] = uint8_t(riff >> 24);
  return o;
}

inline std::vector<uint8_t> PcmFmt(uint32_t channels, uint32_t rate, uint32_t bits) {
  std::vector<uint8_t> f;
  Put16(f, 1);
  Put16(f, channels);
  Put32(f, rate);
  Put32(f, rate * channels * bits / 8);
  Put16(f, channels * bits / 8);
  Put16(f, bits);
  return f;
}

// The extensible fmt body (40 bytes): valid bits, channel mask and the
// sub-format GUID, whose first word is the plain tag (1 PCM, 3 float).
inline std::vector<uint8_t> ExtensibleFmt(uint32_t channels, uint32_t rate, uint32_t bits,
                                          uint32_t subformat = 1) {
  std::vector<uint8_t> f = PcmFmt(channels, rate, bits);
  f[0] = 0xFE;
  f[1] = 0xFF;
  Put16(f, 22);
  Put16(f, bits);
  Put32(f, channels == 2 ? 3 : 4);
  Put32(f, subformat);
  f.insert(f.end(), {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
  return f;
}

// MS-ADPCM fmt body with the standard coefficients.
inline std::vector<uint8_t> AdpcmFmt(uint32_t channels, uint32_t rate, uint32_t align, uint32_t spb) {
  static const int16_t coef[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
  std::vector<uint8_t> f;
  Put16(f, 2);
  Put16(f, channels);
  Put32(f, rate);
  Put32(f, rate * align / spb);
  Put16(f, align);
  Put16(f, 4);
  Put16(f, 32);
  Put16(f, spb);
  Put16(f, 7);
  for (auto& c : coef) {
    Put16(f, uint16_t(c[0]));
    Put16(f, uint16_t(c[1]));
  }
  return f;
}

// A MOD module.
struct ModNote {
  uint32_t sample = 0, period = 0, effect = 0, param = 0;
};
struct ModSample {
  std::vector<int8_t> data;
  uint32_t volume = 64, finetune = 0, loopStart = 0, loopLength = 0;  // bytes
};
struct Mod {
  uint32_t voices = 4;
  std::string sign = "M.K.";
  std::vector<ModSample> samples;
  std::vector<std::vector<ModNote>> patterns;  // [pattern][row * voices + voice]
  std::vector<uint8_t> order;
  uint8_t restart = 0;
  int songLengthOverride = -1;

  ModNote& At(size_t pattern, uint32_t row, uint32_t voice) {
    while (patterns.size() <= pattern) patterns.emplace_back(64 * voices);
    return patterns[pattern][row * voices + voice];
  }
  std::vector<uint8_t> Build() const {
    std::vector<uint8_t> o(20, 0);
    for (int i = 0; i < 31; i++) {
      std::vector<uint8_t> r(30, 0);
      if (i < int(samples.size())) {
        const ModSample& s = samples[size_t(i)];
        const uint32_t words = uint32_t(s.data.size() / 2);
        r[22] = uint8_t(words >> 8); r[23] = uint8_t(words);
        r[24] = uint8_t(s.finetune);
        r[25] = uint8_t(s.volume);
        const uint32_t ls = s.loopStart / 2, ll = s.loopLength ? s.loopLength / 2 : 1;
        r[26] = uint8_t(ls >> 8); r[27] = uint8_t(ls); r[28] = uint8_t(ll >> 8); r[29] = uint8_t(ll);
      }
      o.insert(o.end(), r.begin(), r.end());
    }
    o.push_back(uint8_t(songLengthOverride >= 0 ? songLengthOverride : int(order.size())));
    o.push_back(restart);
    for (int i = 0; i < 128; i++) o.push_back(i < int(order.size()) ? order[size_t(i)] : 0);
    o.insert(o.end(), sign.begin(), sign.begin() + 4);
    for (const auto& p : patterns)
      for (const ModNote& n : p) {
        o.push_back(uint8_t((n.sample & 0xF0) | ((n.period >> 8) & 0x0F)));
        o.push_back(uint8_t(n.period));
        o.push_back(uint8_t(((n.sample & 0x0F) << 4) | (n.effect & 0x0F)));
        o.push_back(uint8_t(n.param));
      }
    for (const auto& s : samples)
      for (size_t i = 0; i < s.data.size() / 2 * 2; i++) o.push_back(uint8_t(s.data[i]));
    return o;
  }
};

inline ModSample SquareSample(size_t bytes = 64, bool looped = true) {
  ModSample s;
  for (size_t i = 0; i < bytes; i++) s.data.push_back(int8_t(i % 16 < 8 ? 100 : -100));
  if (looped) {
    s.loopStart = 0;
    s.loopLength = uint32_t(bytes);
  }
  return s;
}

// A driver that never starts a thread: tests call the mix themselves.
class ManualDriver : public moxDriver {
 public:
  int open(AudioSpec* spec, unsigned, moxAudioCallback cb, void*) override {
    if (!spec || !cb) return -11;
    spec_ = *spec;
    return 0;
  }
  int close() override { return 0; }
  void enterCriticalSection() override {}
  void leaveCriticalSection() override {}
  void suspend() override { suspended = true; }
  void resume() override { suspended = false; }
  AudioSpec spec_{};
  bool suspended = true;
};

// Installs the manual driver for the life of a scope.
struct ManualDriverScope {
  ManualDriverScope() { moxSpeaker::injectDriver([]() -> moxDriver* { return new ManualDriver(); }); }
  ~ManualDriverScope() { moxSpeaker::injectDriver(nullptr); }
};

// The generated loose resources (made on the build host only, not in a cross build).
inline bool HaveResgen() {
  std::FILE* f = std::fopen((std::string(ZARN_BINARY_DIR) + "/resgen/bgm/01_title.mod").c_str(), "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

// Mixes `frames` frames into 16-bit samples.
inline std::vector<int16_t> Mix16(moxSpeaker& sp, uint32_t frames) {
  const uint32_t ch = sp.stereo() ? 2 : 1;
  std::vector<uint8_t> buf(frames * ch * 2);
  sp.updateModSFX(buf.data(), int(buf.size()));
  std::vector<int16_t> out(frames * ch);
  for (size_t i = 0; i < out.size(); i++) out[i] = int16_t(buf[2 * i] | (buf[2 * i + 1] << 8));
  return out;
}

}  // namespace soundtest

#endif
