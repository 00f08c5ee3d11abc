// Fixed units of sound work for instruction counting (see sound_count.sh), and
// Google Benchmark rows of the same work.
//
//   bench_sound ROW SIDE REPEATS RES   one row's work REPEATS times after set-up
//   bench_sound check RES              both sides of the libxmp row once, outputs compared
//   bench_sound --benchmark_...        Google Benchmark over the same rows
//
// Rows (RES is the build's resgen folder):
//   fragment    ours          one 20 ms fragment of the game's load: the play
//                             track and eight effects, 44100 Hz, 16-bit stereo
//   mod-second  ours | xmp    one second of the title track at 44100 Hz stereo,
//                             nearest-neighbour (xmp: libxmp, XMP_INTERP_NEAREST)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sound/moxSpeaker.h"

#ifdef ZARN_HAVE_LIBXMP
#include <xmp.h>
#endif
#ifdef ZARN_HAVE_BENCHMARK
#include <benchmark/benchmark.h>
#endif

namespace {

std::vector<uint8_t> ReadFile(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

class QuietDriver : public moxDriver {
 public:
  int open(AudioSpec* spec, unsigned, moxAudioCallback cb, void*) override { return spec && cb ? 0 : -11; }
  int close() override { return 0; }
  void enterCriticalSection() override {}
  void leaveCriticalSection() override {}
  void suspend() override {}
  void resume() override {}
};

constexpr uint32_t kRate = 44100;
constexpr uint32_t kFragment = 3528;  // 20 ms, 16-bit stereo

// The mixer with the game's load, driven by hand.
struct Ours {
  moxSpeaker sp;
  moxMusic music;
  std::vector<uint8_t> modImage;
  std::vector<std::vector<uint8_t>> wavImages;
  moxSound effects[8];
  bool ok = false;
  Ours(const std::string& res, const char* track, bool withEffects) {
    moxSpeaker::injectDriver([]() -> moxDriver* { return new QuietDriver(); });
    if (sp.open(kRate, 16, true, 2, 8) != 0) return;
    modImage = ReadFile(res + "/bgm/" + track);
    if (music.load(modImage.data(), uint32_t(modImage.size()), false) != 0) return;
    music.loop(true);
    if (sp.playMusic(&music, MOX_ANYCHANNEL) < 0) return;
    if (withEffects) {
      // The eight longest effects, looped so that all eight sound all the time.
      const char* names[8] = {"03_nuclear.wav", "07_leveldone.wav", "15_break4.wav", "14_break3.wav",
                              "13_break2.wav",  "12_break1.wav",    "08_wildcard.wav", "16_sting.wav"};
      for (int i = 0; i < 8; i++) {
        wavImages.push_back(ReadFile(res + "/sfx/" + names[i]));
        auto& w = wavImages.back();
        if (effects[i].load(w.data(), uint32_t(w.size()), false) != 0) return;
        effects[i].loop(true);
        if (sp.playSound(&effects[i], MOX_ANYCHANNEL) < 0) return;
      }
    }
    ok = true;
  }
  void Mix(uint8_t* out, uint32_t bytes) { sp.updateModSFX(out, int(bytes)); }
};

#ifdef ZARN_HAVE_LIBXMP
struct Xmp {
  xmp_context c = xmp_create_context();
  std::vector<uint8_t> image;
  bool ok = false;
  Xmp(const std::string& res, const char* track) {
    image = ReadFile(res + "/bgm/" + track);
    if (xmp_load_module_from_memory(c, image.data(), long(image.size())) != 0) return;
    if (xmp_start_player(c, int(kRate), 0) != 0) return;
    xmp_set_player(c, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);
    ok = true;
  }
  ~Xmp() {
    xmp_end_player(c);
    xmp_release_module(c);
    xmp_free_context(c);
  }
  // Fills `bytes` of 16-bit stereo through xmp_play_buffer (loops the module).
  void Mix(uint8_t* out, uint32_t bytes) { xmp_play_buffer(c, out, int(bytes), 0); }
};
#endif

double EnvelopeCorrelation(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t window) {
  std::vector<double> ea, eb;
  for (size_t i = 0; i + window <= std::min(a.size(), b.size()); i += window) {
    double sa = 0, sb = 0;
    for (size_t k = 0; k < window; k++) {
      sa += double(a[i + k]) * a[i + k];
      sb += double(b[i + k]) * b[i + k];
    }
    ea.push_back(std::sqrt(sa / double(window)));
    eb.push_back(std::sqrt(sb / double(window)));
  }
  double ma = 0, mb = 0;
  for (size_t i = 0; i < ea.size(); i++) ma += ea[i], mb += eb[i];
  ma /= double(ea.size());
  mb /= double(eb.size());
  double sab = 0, saa = 0, sbb = 0;
  for (size_t i = 0; i < ea.size(); i++) {
    sab += (ea[i] - ma) * (eb[i] - mb);
    saa += (ea[i] - ma) * (ea[i] - ma);
    sbb += (eb[i] - mb) * (eb[i] - mb);
  }
  return sab / std::sqrt(saa * sbb);
}

// Left and right summed: the two players place the voices differently.
std::vector<int16_t> Mid(const std::vector<uint8_t>& b) {
  std::vector<int16_t> s;
  for (size_t i = 0; i + 3 < b.size(); i += 4)
    s.push_back(int16_t((int16_t(b[i] | (b[i + 1] << 8)) + int16_t(b[i + 2] | (b[i + 3] << 8))) / 2));
  return s;
}

int Check(const std::string& res) {
#ifdef ZARN_HAVE_LIBXMP
  // The same module, the same length of output at the same rate: the two mixes
  // must be the same music (loudness envelopes over 50 ms windows).
  Ours o(res, "01_title.mod", false);
  Xmp x(res, "01_title.mod");
  if (!o.ok || !x.ok) return 1;
  std::vector<uint8_t> a(kRate * 4 * 20), b(kRate * 4 * 20);
  for (size_t i = 0; i < a.size(); i += kRate * 4) {
    o.Mix(&a[i], kRate * 4);
    x.Mix(&b[i], kRate * 4);
  }
  const double r = EnvelopeCorrelation(Mid(a), Mid(b), kRate / 20);
  std::fprintf(stderr, "mod-second: ours and libxmp envelope correlation %.3f over 20 s\n", r);
  return r > 0.9 ? 0 : 1;
#else
  (void)res;
  std::fprintf(stderr, "libxmp not built in: nothing to compare\n");
  return 0;
#endif
}

int Count(const std::string& row, const std::string& side, int repeats, const std::string& res) {
  if (row == "fragment" && side == "ours") {
    Ours o(res, "02_play.mod", true);
    if (!o.ok) return 1;
    std::vector<uint8_t> out(kFragment);
    for (int i = 0; i < repeats; i++) o.Mix(out.data(), kFragment);
    return 0;
  }
  if (row == "mod-second") {
    std::vector<uint8_t> out(kRate * 4);
    if (side == "ours") {
      Ours o(res, "01_title.mod", false);
      if (!o.ok) return 1;
      for (int i = 0; i < repeats; i++) o.Mix(out.data(), uint32_t(out.size()));
      return 0;
    }
#ifdef ZARN_HAVE_LIBXMP
    if (side == "xmp") {
      Xmp x(res, "01_title.mod");
      if (!x.ok) return 1;
      for (int i = 0; i < repeats; i++) x.Mix(out.data(), uint32_t(out.size()));
      return 0;
    }
#endif
  }
  std::fprintf(stderr, "unknown row or side\n");
  return 2;
}

#ifdef ZARN_HAVE_BENCHMARK
std::string g_res;

void BM_GameFragment(benchmark::State& state) {
  Ours o(g_res, "02_play.mod", true);
  std::vector<uint8_t> out(kFragment);
  for (auto _ : state) o.Mix(out.data(), kFragment);
  state.counters["fragments/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GameFragment);

void BM_ModSecond_Ours(benchmark::State& state) {
  Ours o(g_res, "01_title.mod", false);
  std::vector<uint8_t> out(kRate * 4);
  for (auto _ : state) o.Mix(out.data(), uint32_t(out.size()));
}
BENCHMARK(BM_ModSecond_Ours)->Unit(benchmark::kMicrosecond);

#ifdef ZARN_HAVE_LIBXMP
void BM_ModSecond_Xmp(benchmark::State& state) {
  Xmp x(g_res, "01_title.mod");
  std::vector<uint8_t> out(kRate * 4);
  for (auto _ : state) x.Mix(out.data(), uint32_t(out.size()));
}
BENCHMARK(BM_ModSecond_Xmp)->Unit(benchmark::kMicrosecond);
#endif
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "check") == 0) return Check(argv[2]);
  if (argc >= 5 && std::strncmp(argv[1], "--", 2) != 0) return Count(argv[1], argv[2], std::atoi(argv[3]), argv[4]);
#ifdef ZARN_HAVE_BENCHMARK
  const char* res = std::getenv("ZARN_RESGEN");
  g_res = res ? res : "build/resgen";
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
#else
  std::fprintf(stderr, "usage: bench_sound ROW SIDE REPEATS RES | check RES\n");
  return 2;
#endif
}
