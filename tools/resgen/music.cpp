// Two four-voice tracker modules with synthesised instruments.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>

#include "res.h"

namespace rg {
namespace {

constexpr double kPi = 3.14159265358979;

const int kPeriods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                          428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                          214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

struct Sample {
  std::string name;
  std::vector<int8_t> data;
  int volume = 64;
  int loop_start = 0, loop_len = 0;  // in bytes; 0 = no loop
};

int8_t S8(double v) { return int8_t(std::lround(std::clamp(v, -1.0, 1.0) * 127)); }

// Instruments. "N" is the number of samples per cycle at the sample's pitch.
Sample Bass() {
  Sample s{"bass", {}, 52, 0, 0};
  const int n = 64;
  for (int i = 0; i < n; ++i) {
    double p = double(i) / n;
    double saw = 0;
    for (int h = 1; h <= 10; ++h) saw += std::sin(2 * kPi * h * p) / h * std::exp(-0.18 * h);
    s.data.push_back(S8(0.62 * saw + 0.25 * std::sin(2 * kPi * p)));
  }
  s.loop_len = n;
  return s;
}

Sample Lead() {
  Sample s{"lead", {}, 40, 0, 0};
  const int n = 32;
  for (int i = 0; i < n; ++i) {
    double p = double(i) / n;
    double v = 0;
    // Band-limited pulse of 30% duty.
    for (int h = 1; h <= 9; ++h) v += 2 / (h * kPi) * std::sin(h * kPi * 0.3) * std::cos(2 * kPi * h * (p - 0.15)) * std::exp(-0.08 * h);
    s.data.push_back(S8(v * 1.05));
  }
  s.loop_len = n;
  return s;
}

// A softer, rounder lead for the bridges.
Sample Flute() {
  Sample s{"flute", {}, 46, 0, 0};
  const int n = 32;
  for (int i = 0; i < n; ++i) {
    double p = double(i) / n;
    s.data.push_back(S8(0.8 * std::sin(2 * kPi * p) + 0.18 * std::sin(4 * kPi * p + 0.6) + 0.08 * std::sin(6 * kPi * p)));
  }
  s.loop_len = n;
  return s;
}

Sample Pad() {
  Sample s{"pad", {}, 30, 0, 0};
  const int len = 8192, cycles = 128;
  for (int i = 0; i < len; ++i) {
    double p = double(i) / len;
    double v = 0;
    for (int h = 1; h <= 6; ++h) {
      v += std::sin(2 * kPi * h * cycles * p) / h;
      v += std::sin(2 * kPi * h * (cycles + 1) * p + 1.3) / h * 0.8;
    }
    s.data.push_back(S8(v * 0.36));
  }
  s.loop_len = len;
  return s;
}

Sample BellS() {
  Sample s{"bell", {}, 36, 0, 0};
  const int n = 16, len = 14000;
  for (int i = 0; i < len; ++i) {
    double t = double(i) / len;
    double ph = double(i) / n;
    double mod = 1.8 * std::exp(-t * 6) * std::sin(2 * kPi * ph * 3.5);
    double e = std::exp(-t * 5) * std::min(1.0, i / 8.0);
    s.data.push_back(S8(0.9 * e * std::sin(2 * kPi * ph + mod)));
  }
  return s;
}

Sample Pluck() {
  Sample s{"pluck", {}, 40, 0, 0};
  const int n = 32, len = 5120;
  for (int i = 0; i < len; ++i) {
    double t = double(i) / len;
    double p = double(i % n) / n;
    double bright = std::exp(-t * 7);
    double v = 0;
    for (int h = 1; h <= 8; ++h) v += std::sin(2 * kPi * h * p) / h * (h == 1 ? 1 : bright) * (h % 2 ? 1 : 0.6);
    s.data.push_back(S8(0.7 * v * std::exp(-t * 3.5) * std::min(1.0, i / 4.0)));
  }
  return s;
}

// Drums are made at the rate they play at note C-3 (period 214).
constexpr double kDrumRate = 7093789.2 / (2 * 214);

Sample Kick() {
  Sample s{"kick", {}, 64, 0, 0};
  int len = int(0.28 * kDrumRate);
  double ph = 0;
  for (int i = 0; i < len; ++i) {
    double t = i / kDrumRate;
    double f = 45 + 120 * std::exp(-t * 30);
    ph += f / kDrumRate;
    double click = std::exp(-t * 400) * 0.5;
    s.data.push_back(S8((std::sin(2 * kPi * ph) * std::exp(-t * 9) + click) * 0.95));
  }
  return s;
}

Sample Snare() {
  Sample s{"snare", {}, 48, 0, 0};
  int len = int(0.22 * kDrumRate);
  uint32_t r = 1234567;
  double lp = 0, ph = 0;
  for (int i = 0; i < len; ++i) {
    double t = i / kDrumRate;
    r = r * 1664525u + 1013904223u;
    double n = ((r >> 8) & 0xFFFF) / 32768.0 - 1;
    lp += 0.45 * (n - lp);
    ph += (190 - 40 * t) / kDrumRate;
    double v = lp * std::exp(-t * 16) * 0.9 + std::sin(2 * kPi * ph) * std::exp(-t * 30) * 0.6;
    s.data.push_back(S8(v));
  }
  return s;
}

Sample Hat(bool open) {
  Sample s{open ? "openhat" : "hat", {}, open ? 26 : 30, 0, 0};
  int len = int((open ? 0.3 : 0.06) * kDrumRate);
  uint32_t r = open ? 99991u : 424242u;
  double lp = 0;
  for (int i = 0; i < len; ++i) {
    double t = i / kDrumRate;
    r = r * 1664525u + 1013904223u;
    double n = ((r >> 8) & 0xFFFF) / 32768.0 - 1;
    lp += 0.6 * (n - lp);
    double hp = n - lp;
    s.data.push_back(S8(hp * std::exp(-t * (open ? 9 : 60)) * 1.3));
  }
  return s;
}

enum Inst { kBass = 1, kLead, kPadI, kBell, kKick, kSnare, kHat, kOpenHat, kPluck, kFlute };

// Note index for an instrument from a MIDI note: cycle length 64 puts C-1 at MIDI 36.
int NoteIndex(int inst, int midi) {
  int base = inst == kBass || inst == kPadI ? 36 : inst == kBell ? 60 : 48;
  return std::clamp(midi - base, 0, 35);
}

struct Cell {
  int sample = 0, period = 0, effect = 0, param = 0;
};
struct Pattern {
  Cell c[64][4];
};

void NoteAt(Pattern& p, int row, int ch, int inst, int midi, int eff = 0, int par = 0) {
  Cell& c = p.c[row][ch];
  c.sample = inst;
  c.period = kPeriods[NoteIndex(inst, midi)];
  c.effect = eff;
  c.param = par;
}
void DrumAt(Pattern& p, int row, int inst) {
  Cell& c = p.c[row][0];
  c.sample = inst;
  c.period = 214;
}
void Fx(Pattern& p, int row, int ch, int eff, int par) {
  p.c[row][ch].effect = eff;
  p.c[row][ch].param = par;
}

int Midi(const std::string& n) {
  static const int kStep[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  int note = kStep[n[0] - 'A'];
  size_t i = 1;
  if (i < n.size() && n[i] == '#') { ++note; ++i; }
  if (i < n.size() && n[i] == 'b') { --note; ++i; }
  int oct = std::stoi(n.substr(i));
  return 12 * (oct + 1) + note;
}

// Melody: "E5:4 A4:2 -:4 ..." over 64 rows; long notes of a held voice get vibrato,
// a rest silences the voice.
void Melody(Pattern& p, int ch, int inst, const std::string& text, int volume, bool vibrato) {
  std::istringstream in(text);
  std::string tok;
  int row = 0;
  while (in >> tok && row < 64) {
    size_t colon = tok.find(':');
    std::string note = tok.substr(0, colon);
    int len = std::stoi(tok.substr(colon + 1));
    if (note != "-") {
      NoteAt(p, row, ch, inst, Midi(note), 0xC, volume);
      if (vibrato && len >= 4)
        for (int r = row + 2; r < row + len && r < 64; ++r) Fx(p, r, ch, 4, r == row + 2 ? 0x43 : 0);
    } else if (row < 64) {
      Fx(p, row, ch, 0xC, 0);
    }
    row += len;
  }
}

struct Chord { int root; bool minor; };

void Chords(Pattern& p, int ch, const Chord (&bars)[4], int volume) {
  for (int b = 0; b < 4; ++b) {
    NoteAt(p, 16 * b, ch, kPadI, bars[b].root, 0, bars[b].minor ? 0x37 : 0x47);
    for (int r = 1; r < 16; ++r) Fx(p, 16 * b + r, ch, 0, bars[b].minor ? 0x37 : 0x47);
  }
  (void)volume;
}

void BassLine(Pattern& p, const Chord (&bars)[4], int style) {
  static const int kA[][2] = {{0, 0}, {3, 0}, {6, 12}, {8, 0}, {10, 7}, {12, 12}, {14, 0}};
  static const int kB[][2] = {{0, 0}, {2, 0}, {4, 12}, {6, 0}, {8, 0}, {10, 12}, {12, 7}, {14, 10}};
  static const int kC[][2] = {{0, 0}, {8, 7}};
  for (int b = 0; b < 4; ++b) {
    int root = bars[b].root - 12;
    if (style == 0)
      for (auto& e : kA) NoteAt(p, 16 * b + e[0], 1, kBass, root + e[1], 0xC, 48);
    else if (style == 1)
      for (auto& e : kB) NoteAt(p, 16 * b + e[0], 1, kBass, root + e[1], 0xC, 50);
    else
      for (auto& e : kC) NoteAt(p, 16 * b + e[0], 1, kBass, root + e[1], 0xC, 44);
  }
}

void Drums(Pattern& p, int style, bool fill) {
  for (int b = 0; b < 4; ++b) {
    int o = 16 * b;
    switch (style) {
      case 0:  // hats only
        for (int r = 4; r < 16; r += 8) DrumAt(p, o + r, kHat);
        break;
      case 1:  // laid back
        DrumAt(p, o + 0, kKick); DrumAt(p, o + 4, kHat); DrumAt(p, o + 6, kHat); DrumAt(p, o + 8, kSnare);
        DrumAt(p, o + 10, kKick); DrumAt(p, o + 12, kHat); DrumAt(p, o + 14, kOpenHat);
        break;
      case 2:  // driving
        DrumAt(p, o + 0, kKick); DrumAt(p, o + 2, kHat); DrumAt(p, o + 4, kSnare); DrumAt(p, o + 6, kHat);
        DrumAt(p, o + 8, kKick); DrumAt(p, o + 10, kKick); DrumAt(p, o + 11, kHat); DrumAt(p, o + 12, kSnare);
        DrumAt(p, o + 14, kHat); DrumAt(p, o + 15, kOpenHat);
        break;
      default:  // kick pulse
        DrumAt(p, o + 0, kKick); DrumAt(p, o + 8, kKick);
        break;
    }
  }
  if (fill) {
    for (int r = 56; r < 64; ++r) p.c[r][0] = Cell();
    DrumAt(p, 56, kSnare); DrumAt(p, 58, kSnare); DrumAt(p, 60, kSnare); DrumAt(p, 61, kSnare);
    DrumAt(p, 62, kSnare); DrumAt(p, 63, kSnare);
    Fx(p, 56, 0, 0xC, 36); Fx(p, 58, 0, 0xC, 42); Fx(p, 60, 0, 0xC, 48); Fx(p, 61, 0, 0xC, 52);
    Fx(p, 62, 0, 0xC, 58); Fx(p, 63, 0, 0xC, 64);
  }
}


std::vector<uint8_t> WriteMod(const std::string& title, const std::vector<Sample>& samples,
                              const std::vector<Pattern>& patterns, const std::vector<int>& order) {
  std::vector<uint8_t> o(20, 0);
  std::memcpy(o.data(), title.data(), std::min<size_t>(20, title.size()));
  for (int i = 0; i < 31; ++i) {
    std::vector<uint8_t> rec(30, 0);
    if (i < int(samples.size())) {
      const Sample& s = samples[size_t(i)];
      std::memcpy(rec.data(), s.name.data(), std::min<size_t>(22, s.name.size()));
      size_t words = (s.data.size() + 1) / 2;
      rec[22] = uint8_t(words >> 8); rec[23] = uint8_t(words);
      rec[24] = 0;
      rec[25] = uint8_t(s.volume);
      int ls = s.loop_len ? s.loop_start / 2 : 0, ll = s.loop_len ? s.loop_len / 2 : 1;
      rec[26] = uint8_t(ls >> 8); rec[27] = uint8_t(ls); rec[28] = uint8_t(ll >> 8); rec[29] = uint8_t(ll);
    }
    o.insert(o.end(), rec.begin(), rec.end());
  }
  o.push_back(uint8_t(order.size()));
  o.push_back(0);  // restart at the first order
  for (int i = 0; i < 128; ++i) o.push_back(uint8_t(i < int(order.size()) ? order[size_t(i)] : 0));
  o.push_back('M'); o.push_back('.'); o.push_back('K'); o.push_back('.');
  for (const Pattern& p : patterns)
    for (int r = 0; r < 64; ++r)
      for (int ch = 0; ch < 4; ++ch) {
        const Cell& c = p.c[r][ch];
        o.push_back(uint8_t((c.sample & 0xF0) | (c.period >> 8)));
        o.push_back(uint8_t(c.period));
        o.push_back(uint8_t(((c.sample & 0x0F) << 4) | c.effect));
        o.push_back(uint8_t(c.param));
      }
  for (const Sample& s : samples) {
    for (int8_t v : s.data) o.push_back(uint8_t(v));
    if (s.data.size() & 1) o.push_back(0);
  }
  return o;
}

std::vector<Sample> Instruments() {
  return {Bass(), Lead(), Pad(), BellS(), Kick(), Snare(), Hat(false), Hat(true), Pluck(), Flute()};
}

// Track 1, for the menus: A minor, unhurried.
std::vector<uint8_t> TitleTrack() {
  const Chord A[4] = {{57, true}, {53, false}, {60, false}, {55, false}};   // Am F C G
  const Chord B[4] = {{53, false}, {55, false}, {57, true}, {52, false}};   // F G Am E
  const char* melA = "E5:4 A4:2 C5:2 E5:4 D5:2 C5:2 A4:6 C5:2 F5:4 E5:2 C5:2 G4:4 C5:2 E5:2 G5:4 E5:2 C5:2 D5:6 B4:2 G4:4 -:4";
  const char* melA2 = "A5:4 G5:2 E5:2 C5:4 E5:4 F5:4 E5:2 C5:2 A4:8 G4:2 A4:2 C5:2 E5:2 G5:4 A5:2 G5:2 B4:8 D5:4 -:4";
  const char* melB = "C5:4 A4:4 F5:4 E5:4 D5:4 B4:4 G5:4 F5:4 E5:8 C5:4 A4:4 G#4:4 B4:4 E5:4 D5:4";
  const char* melB2 = "A5:6 G5:2 F5:4 C5:4 B4:6 D5:2 G5:8 A5:4 E5:4 C5:4 E5:4 G#5:8 E5:4 B4:4";
  const char* bells = "E5:4 A5:4 C6:4 B5:4 A5:8 E5:8 G5:4 C6:4 E6:4 D6:4 B5:8 G5:8";
  const char* bells2 = "A5:4 E5:4 C6:4 E5:4 F5:4 A5:4 C6:4 A5:4 G5:4 C6:4 E6:4 C6:4 B5:4 G5:4 D6:4 B5:4";
  std::vector<Pattern> p(8);
  // 0: intro
  Chords(p[0], 2, A, 24); Melody(p[0], 3, kBell, bells, 44, false); Drums(p[0], 0, false); BassLine(p[0], A, 2);
  Fx(p[0], 0, 0, 0xF, 6);
  // 1, 2: theme
  Chords(p[1], 2, A, 22); Melody(p[1], 3, kLead, melA, 44, true); Drums(p[1], 1, false); BassLine(p[1], A, 0);
  Chords(p[2], 2, A, 22); Melody(p[2], 3, kLead, melA2, 44, true); Drums(p[2], 1, true); BassLine(p[2], A, 0);
  // 3, 4: bridge
  Chords(p[3], 2, B, 24); Melody(p[3], 3, kFlute, melB, 48, true); Drums(p[3], 1, false); BassLine(p[3], B, 0);
  Chords(p[4], 2, B, 24); Melody(p[4], 3, kLead, melB2, 44, true); Drums(p[4], 1, true); BassLine(p[4], B, 0);
  // 5: breakdown with bells
  Chords(p[5], 2, A, 18); Melody(p[5], 3, kBell, bells2, 42, false); Drums(p[5], 3, false); BassLine(p[5], A, 2);
  // 6: theme again, 7: bridge leading home
  Chords(p[6], 2, A, 22); Melody(p[6], 3, kLead, melA, 46, true); Drums(p[6], 1, false); BassLine(p[6], A, 0);
  Chords(p[7], 2, B, 24); Melody(p[7], 3, kLead, melB2, 46, true); Drums(p[7], 1, true); BassLine(p[7], B, 0);
  return WriteMod("Tavlin title", Instruments(), p, {0, 1, 2, 3, 4, 5, 6, 7});
}

// Track 2, for play: E minor, driving.
std::vector<uint8_t> PlayTrack() {
  const Chord A[4] = {{52, true}, {48, false}, {55, false}, {50, false}};   // Em C G D
  const Chord B[4] = {{57, true}, {48, false}, {50, false}, {59, false}};   // Am C D B
  const char* melA = "B4:2 E5:2 G5:2 B5:4 A5:2 G5:2 F#5:2 E5:4 G5:2 E5:2 C5:4 D5:2 E5:2 D5:2 G5:2 B5:6 A5:2 G5:2 D5:2 F#5:6 E5:2 D5:4 A4:4";
  const char* melA2 = "G5:4 F#5:2 E5:2 B4:4 E5:4 G5:4 A5:2 G5:2 E5:8 D5:4 B4:2 D5:2 G5:4 A5:4 F#5:8 A5:4 F#5:4";
  const char* melB = "A4:2 C5:2 E5:2 A5:6 G5:2 E5:2 G5:4 E5:4 C5:4 E5:4 F#5:2 A5:2 F#5:2 D5:6 E5:2 F#5:2 D#5:8 F#5:4 B5:4";
  const char* melB2 = "E5:4 A5:4 B5:4 A5:4 G5:6 E5:2 C5:8 D5:4 F#5:4 A5:6 G5:2 F#5:8 D#5:4 B4:4";
  const char* arps = "E5:2 G5:2 B5:2 G5:2 E5:2 G5:2 B5:2 G5:2 C5:2 E5:2 G5:2 E5:2 C5:2 E5:2 G5:2 E5:2 "
                     "D5:2 G5:2 B5:2 G5:2 D5:2 G5:2 B5:2 G5:2 D5:2 F#5:2 A5:2 F#5:2 D5:2 F#5:2 A5:2 F#5:2";
  std::vector<Pattern> p(10);
  // Row 0 sets the speed and silences the lead that the loop brings over from the last pattern.
  Chords(p[0], 2, A, 20); Drums(p[0], 3, true); BassLine(p[0], A, 1); Fx(p[0], 0, 0, 0xF, 5); Fx(p[0], 0, 3, 0xC, 0);
  Chords(p[1], 2, A, 20); Melody(p[1], 3, kLead, melA, 44, true); Drums(p[1], 2, false); BassLine(p[1], A, 1);
  Chords(p[2], 2, A, 20); Melody(p[2], 3, kLead, melA2, 44, true); Drums(p[2], 2, true); BassLine(p[2], A, 1);
  Chords(p[3], 2, B, 22); Melody(p[3], 3, kLead, melB, 44, true); Drums(p[3], 2, false); BassLine(p[3], B, 1);
  Chords(p[4], 2, B, 22); Melody(p[4], 3, kLead, melB2, 46, true); Drums(p[4], 2, true); BassLine(p[4], B, 1);
  Melody(p[5], 3, kPluck, arps, 40, false); Drums(p[5], 3, false); BassLine(p[5], A, 2); Chords(p[5], 2, A, 14);
  Melody(p[6], 3, kPluck, arps, 44, false); Drums(p[6], 2, true); BassLine(p[6], A, 1); Chords(p[6], 2, A, 18);
  Chords(p[7], 2, A, 20); Melody(p[7], 3, kLead, melA, 46, true); Drums(p[7], 2, false); BassLine(p[7], A, 1);
  Chords(p[8], 2, B, 22); Melody(p[8], 3, kFlute, melB, 50, true); Drums(p[8], 2, false); BassLine(p[8], B, 1);
  Chords(p[9], 2, B, 22); Melody(p[9], 3, kLead, melB2, 46, true); Drums(p[9], 2, true); BassLine(p[9], B, 1);
  return WriteMod("Tavlin play", Instruments(), p, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
}

}  // namespace

void MakeMusic(Output& out) {
  out.bgm.push_back({"01_title.mod", TitleTrack()});
  out.bgm.push_back({"02_play.mod", PlayTrack()});
}

}  // namespace rg
