// Sound effects: synthesised, written as 16-bit PCM, 8-bit PCM or MS-ADPCM WAVs.
#include <algorithm>
#include <cmath>
#include <string>

#include "res.h"

namespace rg {
namespace {

constexpr double kPi = 3.14159265358979;
constexpr int kRate = 22050;

using Buf = std::vector<double>;


// Oscillators by phase in cycles.
double Sine(double p) { return std::sin(2 * kPi * p); }
double Tri(double p) { p -= std::floor(p); return p < 0.5 ? 4 * p - 1 : 3 - 4 * p; }
double Square(double p) { p -= std::floor(p); return p < 0.5 ? 1 : -1; }
double Saw(double p) { p -= std::floor(p); return 2 * p - 1; }

struct Noise {
  uint32_t s;
  explicit Noise(uint32_t seed) : s(seed) {}
  double Next() { s = s * 1664525u + 1013904223u; return ((s >> 8) & 0xFFFF) / 32768.0 - 1.0; }
};

// One-pole low-pass with a cutoff in Hz.
struct LowPass {
  double y = 0;
  double Run(double x, double hz) {
    double a = 1 - std::exp(-2 * kPi * hz / kRate);
    y += a * (x - y);
    return y;
  }
};

double Env(double t, double attack, double decay) {
  if (t < attack) return t / attack;
  return std::exp(-(t - attack) / decay);
}

double Note(double midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

// Adds a tone with an exponential pitch glide and a percussive envelope.
void Tone(Buf& b, double at, double len, double f0, double f1, double amp, double attack, double decay,
          double (*osc)(double), double vib = 0) {
  double phase = 0;
  size_t s0 = size_t(at * kRate), n = size_t(len * kRate);
  if (b.size() < s0 + n) b.resize(s0 + n, 0.0);
  for (size_t i = 0; i < n; ++i) {
    double t = double(i) / kRate;
    double f = f0 * std::pow(f1 / f0, t / len) * (1 + vib * std::sin(2 * kPi * 6 * t));
    phase += f / kRate;
    double fade = std::min(1.0, (len - t) * 200);
    b[s0 + i] += amp * Env(t, attack, decay) * fade * osc(phase);
  }
}

// FM bell: bright attack, long ring.
void Bell(Buf& b, double at, double len, double f, double amp, double decay, double index = 2.0) {
  size_t s0 = size_t(at * kRate), n = size_t(len * kRate);
  if (b.size() < s0 + n) b.resize(s0 + n, 0.0);
  for (size_t i = 0; i < n; ++i) {
    double t = double(i) / kRate;
    double e = Env(t, 0.002, decay);
    double mod = index * std::exp(-t / (decay * 0.5)) * std::sin(2 * kPi * f * 3.5 * t);
    double fade = std::min(1.0, (len - t) * 100);
    b[s0 + i] += amp * e * fade * std::sin(2 * kPi * f * t + mod);
  }
}

// Filtered noise burst.
void NoiseHit(Buf& b, double at, double len, double amp, double attack, double decay, double cut0, double cut1,
              bool high, uint32_t seed) {
  Noise nz(seed);
  LowPass lp;
  size_t s0 = size_t(at * kRate), n = size_t(len * kRate);
  if (b.size() < s0 + n) b.resize(s0 + n, 0.0);
  for (size_t i = 0; i < n; ++i) {
    double t = double(i) / kRate;
    double x = nz.Next();
    double cut = cut0 * std::pow(cut1 / cut0, t / len);
    double y = lp.Run(x, cut);
    double fade = std::min(1.0, (len - t) * 200);
    b[s0 + i] += amp * Env(t, attack, decay) * fade * (high ? x - y : y);
  }
}

// Short feedback echo.
void Echo(Buf& b, double delay, double fb, double tail) {
  size_t d = size_t(delay * kRate);
  b.resize(b.size() + size_t(tail * kRate), 0.0);
  for (size_t i = d; i < b.size(); ++i) b[i] += fb * b[i - d];
}

std::vector<int16_t> Finish(Buf b, double peak = 0.85) {
  double m = 1e-9;
  for (double v : b) m = std::max(m, std::fabs(v));
  std::vector<int16_t> out;
  for (size_t i = 0; i < b.size(); ++i) {
    double fade_in = std::min(1.0, double(i) / 16);
    double v = b[i] / m * peak * fade_in * 32767.0;
    out.push_back(int16_t(std::lround(std::clamp(v, -32767.0, 32767.0))));
  }
  // End on silence.
  for (size_t i = 0; i < 64 && i < out.size(); ++i) out[out.size() - 1 - i] = int16_t(out[out.size() - 1 - i] * (i / 64.0));
  return out;
}

void Tag(std::vector<uint8_t>& o, const char* t) {
  for (int i = 0; i < 4; ++i) o.push_back(uint8_t(t[i]));
}

std::vector<uint8_t> Riff(const std::vector<uint8_t>& fmt, const std::vector<uint8_t>& fact, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> o;
  Tag(o, "RIFF");
  Put32(o, uint32_t(4 + 8 + fmt.size() + (fact.empty() ? 0 : 8 + fact.size()) + 8 + data.size() + (data.size() & 1)));
  Tag(o, "WAVE");
  Tag(o, "fmt ");
  Put32(o, uint32_t(fmt.size()));
  o.insert(o.end(), fmt.begin(), fmt.end());
  if (!fact.empty()) {
    Tag(o, "fact");
    Put32(o, uint32_t(fact.size()));
    o.insert(o.end(), fact.begin(), fact.end());
  }
  Tag(o, "data");
  Put32(o, uint32_t(data.size()));
  o.insert(o.end(), data.begin(), data.end());
  if (data.size() & 1) o.push_back(0);
  return o;
}

std::vector<uint8_t> Pcm16(const std::vector<int16_t>& s) {
  std::vector<uint8_t> fmt, data;
  Put16(fmt, 1); Put16(fmt, 1); Put32(fmt, kRate); Put32(fmt, kRate * 2); Put16(fmt, 2); Put16(fmt, 16);
  for (int16_t v : s) Put16(data, uint16_t(v));
  return Riff(fmt, {}, data);
}

std::vector<uint8_t> Pcm8(const std::vector<int16_t>& s) {
  std::vector<uint8_t> fmt, data;
  Put16(fmt, 1); Put16(fmt, 1); Put32(fmt, kRate); Put32(fmt, kRate); Put16(fmt, 1); Put16(fmt, 8);
  for (int16_t v : s) data.push_back(uint8_t(std::clamp((v + 32768 + 128) >> 8, 0, 255)));
  return Riff(fmt, {}, data);
}

// Microsoft ADPCM, mono, 256-byte blocks of 500 samples.
const int kCoef[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
const int kAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};

struct AdpcmState { int s1, s2, delta; };

int EncodeNibble(AdpcmState& st, int pred_idx, int sample) {
  int pred = (st.s1 * kCoef[pred_idx][0] + st.s2 * kCoef[pred_idx][1]) / 256;
  int err = sample - pred;
  int q = (err >= 0 ? err + st.delta / 2 : err - st.delta / 2) / st.delta;
  q = std::clamp(q, -8, 7);
  int out = std::clamp(pred + q * st.delta, -32768, 32767);
  st.delta = std::max(16, st.delta * kAdapt[q & 15] / 256);
  st.s2 = st.s1;
  st.s1 = out;
  return q & 15;
}

std::vector<uint8_t> MsAdpcm(std::vector<int16_t> s) {
  const int kBlock = 256, kPerBlock = 500;
  while (s.size() % kPerBlock) s.push_back(0);
  std::vector<uint8_t> data;
  for (size_t b = 0; b < s.size(); b += kPerBlock) {
    const int16_t* x = &s[b];
    int best = 0;
    int64_t best_err = INT64_MAX;
    int start_delta = 16;
    {
      int64_t d = 0;
      for (int i = 2; i < 10; ++i) d += std::abs(x[i] - x[i - 1]);
      start_delta = std::max(16, int(d / 8 / 2));
    }
    for (int p = 0; p < 7; ++p) {
      AdpcmState st{x[1], x[0], start_delta};
      int64_t err = 0;
      for (int i = 2; i < kPerBlock; ++i) {
        EncodeNibble(st, p, x[i]);
        err += int64_t(st.s1 - x[i]) * (st.s1 - x[i]);
      }
      if (err < best_err) { best_err = err; best = p; }
    }
    AdpcmState st{x[1], x[0], start_delta};
    data.push_back(uint8_t(best));
    Put16(data, uint16_t(start_delta));
    Put16(data, uint16_t(x[1]));
    Put16(data, uint16_t(x[0]));
    for (int i = 2; i < kPerBlock; i += 2) {
      int hi = EncodeNibble(st, best, x[i]);
      int lo = EncodeNibble(st, best, x[i + 1]);
      data.push_back(uint8_t(hi << 4 | lo));
    }
    (void)kBlock;
  }
  std::vector<uint8_t> fmt, fact;
  Put16(fmt, 2); Put16(fmt, 1); Put32(fmt, kRate); Put32(fmt, uint32_t(kRate * 256 / 500)); Put16(fmt, 256); Put16(fmt, 4);
  Put16(fmt, 32); Put16(fmt, 500); Put16(fmt, 7);
  for (auto& c : kCoef) { Put16(fmt, uint16_t(c[0])); Put16(fmt, uint16_t(c[1])); }
  Put32(fact, uint32_t(s.size()));
  return Riff(fmt, fact, data);
}

// The effects, in the pack's order.
Buf SwapNext() {
  Buf b;
  Tone(b, 0.00, 0.07, Note(76), Note(79), 0.5, 0.002, 0.03, Tri);
  Tone(b, 0.05, 0.09, Note(83), Note(88), 0.5, 0.002, 0.04, Tri);
  NoiseHit(b, 0, 0.12, 0.12, 0.02, 0.04, 2000, 7000, true, 3);
  return b;
}
Buf Placed() {
  Buf b;
  Tone(b, 0, 0.12, 190, 90, 0.9, 0.001, 0.03, Sine);
  Tone(b, 0, 0.05, 720, 500, 0.25, 0.001, 0.01, Tri);
  NoiseHit(b, 0, 0.03, 0.35, 0.0005, 0.006, 3000, 1500, false, 5);
  return b;
}
Buf Nuclear() {
  Buf b;
  NoiseHit(b, 0, 1.6, 1.0, 0.003, 0.45, 5000, 120, false, 9);
  NoiseHit(b, 0, 0.25, 0.5, 0.001, 0.05, 3000, 2000, true, 10);
  Tone(b, 0, 1.2, 110, 28, 0.9, 0.004, 0.35, Sine);
  Tone(b, 0.02, 0.6, 70, 35, 0.35, 0.01, 0.2, Square);
  return b;
}
Buf BarStones() {
  Buf b;
  for (int i = 0; i < 3; ++i) {
    double t = i * 0.11;
    Tone(b, t, 0.16, Note(45 - 3 * i), Note(33 - 3 * i), 0.6, 0.002, 0.06, Square);
    Tone(b, t, 0.16, 140 - 20 * i, 60, 0.7, 0.001, 0.05, Sine);
    NoiseHit(b, t, 0.06, 0.3, 0.001, 0.015, 1500, 400, false, 11 + uint32_t(i));
  }
  return b;
}
Buf FireLaunch() {
  Buf b;
  NoiseHit(b, 0, 0.55, 0.8, 0.03, 0.2, 400, 6000, false, 13);
  Tone(b, 0, 0.45, 180, 900, 0.3, 0.01, 0.18, Saw);
  Tone(b, 0, 0.3, 90, 60, 0.5, 0.002, 0.08, Sine);
  return b;
}
Buf Tick() {
  Buf b;
  Tone(b, 0, 0.035, 1800, 1500, 0.8, 0.0005, 0.008, Sine);
  Tone(b, 0, 0.02, 3600, 3000, 0.2, 0.0005, 0.004, Tri);
  return b;
}
Buf LevelDone() {
  Buf b;
  const int notes[] = {60, 64, 67, 72, 76, 79, 84};
  for (int i = 0; i < 7; ++i) {
    Tone(b, i * 0.06, 0.5, Note(notes[i]), Note(notes[i]), 0.35, 0.003, 0.18, Square);
    Bell(b, i * 0.06, 0.6, Note(notes[i] + 12), 0.2, 0.2, 1.0);
  }
  Tone(b, 0.42, 0.8, Note(72), Note(72), 0.3, 0.01, 0.4, Tri, 0.004);
  Tone(b, 0.42, 0.8, Note(76), Note(76), 0.25, 0.01, 0.4, Tri, 0.004);
  Tone(b, 0.42, 0.8, Note(79), Note(79), 0.25, 0.01, 0.4, Tri, 0.004);
  Echo(b, 0.11, 0.3, 0.3);
  return b;
}
Buf Wildcard() {
  Buf b;
  const int notes[] = {72, 76, 79, 83, 86, 91, 95};
  for (int i = 0; i < 7; ++i) Bell(b, i * 0.035, 0.35, Note(notes[i]), 0.35, 0.1, 1.5);
  NoiseHit(b, 0, 0.4, 0.08, 0.05, 0.1, 6000, 9000, true, 17);
  Echo(b, 0.07, 0.35, 0.2);
  return b;
}
Buf Infection() {
  Buf b;
  size_t n = size_t(0.45 * kRate);
  b.assign(n, 0.0);
  double ph = 0;
  LowPass lp;
  for (size_t i = 0; i < n; ++i) {
    double t = double(i) / kRate;
    double f = 220 * std::pow(0.45, t / 0.45) * (1 + 0.25 * std::sin(2 * kPi * 14 * t));
    ph += f / kRate;
    double x = Saw(ph) * Env(t, 0.01, 0.15);
    b[i] = lp.Run(x, 900 + 600 * std::sin(2 * kPi * 9 * t));
  }
  for (int k = 0; k < 4; ++k) Tone(b, 0.05 + k * 0.08, 0.05, 500 + 90 * k, 900 + 90 * k, 0.15, 0.002, 0.015, Sine);
  return b;
}
Buf Bonus() {
  Buf b;
  Tone(b, 0, 0.08, Note(83), Note(83), 0.45, 0.002, 0.06, Square);
  Tone(b, 0.07, 0.35, Note(88), Note(88), 0.45, 0.002, 0.15, Square);
  Bell(b, 0.07, 0.4, Note(100), 0.2, 0.12, 1.2);
  return b;
}
Buf Refused() {
  Buf b;
  Tone(b, 0, 0.09, 155, 150, 0.5, 0.002, 0.08, Square);
  Tone(b, 0, 0.09, 163, 158, 0.4, 0.002, 0.08, Square);
  Tone(b, 0.11, 0.12, 117, 110, 0.5, 0.002, 0.1, Square);
  Tone(b, 0.11, 0.12, 123, 116, 0.4, 0.002, 0.1, Square);
  LowPass lp;
  for (double& v : b) v = lp.Run(v, 2200);
  return b;
}
Buf Break(int chain) {
  Buf b;
  const int base[4] = {76, 80, 83, 88};
  int root = base[chain];
  NoiseHit(b, 0, 0.18 + 0.05 * chain, 0.5, 0.001, 0.05 + 0.01 * chain, 2500, 8000, true, 21 + uint32_t(chain));
  Bell(b, 0.0, 0.5 + 0.1 * chain, Note(root), 0.45, 0.14 + 0.03 * chain, 1.8);
  Bell(b, 0.03, 0.5 + 0.1 * chain, Note(root + 7), 0.3, 0.12 + 0.03 * chain, 1.4);
  if (chain >= 1) Bell(b, 0.06, 0.5, Note(root + 12), 0.25, 0.12, 1.2);
  if (chain >= 2) Bell(b, 0.09, 0.5, Note(root + 16), 0.22, 0.14, 1.0);
  if (chain >= 3) {
    for (int i = 0; i < 5; ++i) Bell(b, 0.12 + 0.04 * i, 0.4, Note(root + 19 + 2 * i), 0.14, 0.1, 0.8);
  }
  Echo(b, 0.09, 0.25 + 0.05 * chain, 0.25);
  return b;
}
Buf IntroSting() {
  Buf b;
  const int chord[] = {48, 55, 60, 64, 67, 71, 74};
  for (int i = 0; i < 7; ++i) {
    Tone(b, 0.03 * i, 1.7, Note(chord[i]), Note(chord[i]), 0.22, 0.08 + 0.02 * i, 0.7, Tri, 0.003);
    Tone(b, 0.03 * i, 1.7, Note(chord[i]) * 1.004, Note(chord[i]) * 1.004, 0.1, 0.1, 0.7, Saw);
  }
  for (int i = 0; i < 8; ++i) Bell(b, 0.25 + i * 0.07, 0.6, Note(84 + (i * 5) % 12 + (i > 3 ? 12 : 0)), 0.12, 0.15, 1.0);
  Tone(b, 0, 0.6, 65, 40, 0.5, 0.005, 0.25, Sine);
  LowPass lp;
  for (double& v : b) v = lp.Run(v, 6000);
  Echo(b, 0.18, 0.3, 0.5);
  return b;
}

}  // namespace

void MakeEffects(Output& out) {
  struct Fx { const char* name; Buf b; int form; };  // form 0 PCM16, 1 PCM8, 2 MS-ADPCM
  std::vector<Fx> fx = {
      {"01_swap.wav", SwapNext(), 0},      {"02_place.wav", Placed(), 2},       {"03_nuclear.wav", Nuclear(), 0},
      {"04_barstones.wav", BarStones(), 0}, {"05_fire.wav", FireLaunch(), 0},   {"06_tick.wav", Tick(), 1},
      {"07_leveldone.wav", LevelDone(), 0}, {"08_wildcard.wav", Wildcard(), 0}, {"09_infect.wav", Infection(), 0},
      {"10_bonus.wav", Bonus(), 0},         {"11_refused.wav", Refused(), 0},   {"12_break1.wav", Break(0), 0},
      {"13_break2.wav", Break(1), 0},       {"14_break3.wav", Break(2), 0},     {"15_break4.wav", Break(3), 0},
      {"16_sting.wav", IntroSting(), 2},
  };
  for (auto& f : fx) {
    std::vector<int16_t> s = Finish(f.b);
    out.sounds.push_back({f.name, s});
    out.sfx.push_back({f.name, f.form == 0 ? Pcm16(s) : f.form == 1 ? Pcm8(s) : MsAdpcm(s)});
  }
}

}  // namespace rg
