// The stand-in's contract: configuration, shared state, clocks, and dispatch to
// the chosen backend.
#include "standin/standin.h"

#include <endian.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "standin/backend.h"

namespace standin {

namespace state {
uint8_t* fbPixels = nullptr;
uint32_t fbBytes = 0;
uint32_t framesPresented = 0;
uint32_t menuCalls = 0;
uint64_t audioFrames = 0;
int audioRate = 0, audioChannels = 0;
std::vector<uint64_t> frameStamps;
}  // namespace state

namespace {

uint8_t g_registers[kRegisterBlockSize];
Config g_config;
bool g_configured = false;
bool g_quit = false;
int g_menuStatus = 0;
std::atomic<uint64_t> g_fakeUs{0};
// The scripted minimise: on until the clock reaches g_restoreUs.
bool g_scriptMinimized = false;
uint64_t g_restoreUs = 0;
bool g_reportedHidden = false;
std::string g_deviceError;  // why the devices do not open (a window that could not)
std::FILE* g_windowLog = nullptr;
bool g_windowLogFailed = false;
std::unique_ptr<Backend> g_backend;

void ResetRegisters() {
  std::memset(g_registers, 0xFF, sizeof g_registers);
  // Vertical sync: bit 4 of 0x1182 reads clear, so a wait on it never hangs.
  g_registers[0x1182] &= static_cast<uint8_t>(~0x10u);
}

// A variable's value when it is set and not empty, else null.
const char* Env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : nullptr;
}

void EnsureConfigured() {
  if (!g_configured) Configure(ConfigFromEnvironment());
}

// The real clock, for frame stamps: pacing is a fact of the machine, not of the
// fake clock a run may use.
uint64_t RealUs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

// Nearly five hours at 60 fps (8 MiB); past that the stamps stop rather than grow.
constexpr size_t kMaxFrameStamps = 1u << 20;

void WriteFrameTimesAtExit() {
  if (g_config.frameTimesPath.empty()) return;
  if (!WriteFrameTimes(g_config.frameTimesPath))
    std::fprintf(stderr, "ZARN_FRAMETIMES: cannot write %s\n", g_config.frameTimesPath.c_str());
}

// Each minimise and restore as the program takes it, written at once: a test
// waits for them while the program runs.
void LogWindowChange(bool hidden) {
  const std::string& path = g_config.windowLogPath;
  if (path.empty() || g_windowLogFailed) return;
  if (!g_windowLog && !(g_windowLog = std::fopen(path.c_str(), "w"))) {
    g_windowLogFailed = true;
    std::fprintf(stderr, "ZARN_WINDOWLOG: cannot write %s\n", path.c_str());
    return;
  }
  std::fprintf(g_windowLog, "%s %u %llu\n", hidden ? "hidden" : "shown", state::framesPresented,
               static_cast<unsigned long long>(RealUs()));
  std::fflush(g_windowLog);
}

Backend& B() {
  EnsureConfigured();
  return *g_backend;
}

// Where a button's line lives in the register block.
bool ButtonLine(uint32_t code, uint32_t* offset, uint32_t* bit) {
  if (code >= 1 && code <= 8) {
    *offset = 0x1198;
    *bit = code - 1;
  } else if (code >= 9 && code <= 16) {
    *offset = 0x1184;
    *bit = code - 1;
  } else if (code >= 17 && code <= 32) {
    *offset = 0x1186;
    *bit = code - 17;
  } else {
    return false;
  }
  return true;
}

bool ParseU32(const std::string& s, uint32_t* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long v = std::strtoul(s.c_str(), &end, 10);
  if (errno || *end || v > 0xFFFFFFFFul) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

// The items of a list separated by commas, as they stand.
std::vector<std::string> CommaItems(const std::string& text) {
  std::vector<std::string> items;
  std::string item;
  std::stringstream ss(text);
  while (std::getline(ss, item, ',')) items.push_back(item);
  return items;
}

// The items of a script: separated by commas, whitespace or newlines.
std::vector<std::string> ScriptItems(const std::string& text) {
  std::vector<std::string> items;
  for (const std::string& item : CommaItems(text)) {
    std::stringstream words(item);
    std::string w;
    while (words >> w) items.push_back(w);
  }
  return items;
}

// "frame:ms,...".
bool ParseMinimizeScript(const std::string& text, std::vector<Config::MinimizeStep>* out) {
  std::vector<Config::MinimizeStep> steps;
  for (const std::string& w : ScriptItems(text)) {
    const size_t colon = w.find(':');
    uint32_t frame = 0, ms = 0;
    if (colon == std::string::npos || !ParseU32(w.substr(0, colon), &frame) || !ParseU32(w.substr(colon + 1), &ms))
      return false;
    steps.push_back({frame, ms});
  }
  *out = steps;
  return true;
}

}  // namespace

// ---- configuration ---------------------------------------------------------------

Config DefaultConfig() {
  Config c;
  FbScreenInfo& f = c.fb;
  f.xres = f.xres_virtual = 320;
  f.yres = f.yres_virtual = 240;
  f.bits_per_pixel = 16;
  f.red = {11, 5, 0};
  f.green = {5, 6, 0};
  f.blue = {0, 5, 0};
  f.transp = {0, 0, 0};
#if defined(__arm__)
  c.backend = "device";
#else
  c.backend = "headless";
#endif
  return c;
}

bool ParseFbGeometry(const std::string& text, FbScreenInfo* out) {
  unsigned w = 0, h = 0, bpp = 0, g = 0, vx = 0;
  std::string t = text;
  FbScreenInfo f{};
  size_t plus = t.find('+');
  if (plus != std::string::npos) {
    if (std::sscanf(t.c_str() + plus + 1, "%u", &vx) != 1) return false;
    t = t.substr(0, plus);
  }
  size_t slash = t.find('/');
  if (slash != std::string::npos) {
    if (std::sscanf(t.c_str() + slash + 1, "%u", &g) != 1) return false;
    t = t.substr(0, slash);
  }
  if (std::sscanf(t.c_str(), "%ux%u@%u", &w, &h, &bpp) != 3) return false;
  if (w == 0 || h == 0 || w > 4096 || h > 4096 || bpp > 32) return false;
  f.xres = w;
  f.yres = f.yres_virtual = h;
  f.xres_virtual = vx > w ? vx : w;
  f.bits_per_pixel = bpp;
  if (bpp == 16) {
    if (g == 0) g = 6;
    f.blue = {0, 5, 0};
    f.green = {5, g, 0};
    f.red = {5 + g, 5, 0};
  } else if (bpp == 24 || bpp == 32) {
    f.blue = {0, 8, 0};
    f.green = {8, 8, 0};
    f.red = {16, 8, 0};
  } else if (bpp == 8) {
    f.red = f.green = f.blue = {0, 8, 0};
  }
  *out = f;
  return true;
}

bool ParseButtonScript(const std::string& text, std::vector<Config::ButtonStep>* out,
                       std::string* error) {
  std::vector<Config::ButtonStep> steps;
  for (const std::string& w : ScriptItems(text)) {
    size_t colon = w.find(':');
    uint32_t frame = 0, code = 0;
    if (colon == std::string::npos || colon + 2 > w.size() || (w[colon + 1] != '+' && w[colon + 1] != '-') ||
        !ParseU32(w.substr(0, colon), &frame) || !ParseU32(w.substr(colon + 2), &code) || code < 1 || code > 32) {
      if (error) *error = "bad button step \"" + w + "\" (want frame:+code or frame:-code)";
      return false;
    }
    steps.push_back({frame, code, w[colon + 1] == '+'});
  }
  *out = steps;
  return true;
}

namespace {

// The settings from the environment, read group by group.
void ReadBackend(Config& c) {
  if (const char* v = Env("ZARN_BACKEND")) {
    c.backend = v;
  } else {
#if !defined(__arm__)
    if (Env("DISPLAY") || Env("WAYLAND_DISPLAY")) c.backend = "sdl";
#endif
  }
}

void ReadFramesAndDumps(Config& c) {
  if (const char* v = Env("ZARN_FRAMES")) {
    if (!ParseU32(v, &c.frameLimit)) std::fprintf(stderr, "ZARN_FRAMES: not a number\n");
  }
  if (const char* v = Env("ZARN_DUMP")) c.dumpDir = v;
  if (const char* v = Env("ZARN_DUMP_EVERY")) {
    if (!ParseU32(v, &c.dumpEvery) || c.dumpEvery == 0) c.dumpEvery = 1;
  }
  if (const char* v = Env("ZARN_DUMP_FRAMES")) {
    for (const std::string& item : CommaItems(v)) {
      uint32_t n;
      if (ParseU32(item, &n)) c.dumpFrames.push_back(n);
    }
  }
}

// The script itself, or "@file" for the file's text.
void ReadButtons(Config& c) {
  const char* v = Env("ZARN_BUTTONS");
  if (!v) return;
  std::string text = v;
  if (text[0] == '@') {
    std::ifstream in(text.substr(1));
    std::stringstream all;
    all << in.rdbuf();
    text = all.str();
  }
  std::string err;
  if (!ParseButtonScript(text, &c.buttons, &err))
    std::fprintf(stderr, "ZARN_BUTTONS: %s\n", err.c_str());
}

void ReadFailSeams(Config& c) {
  static const struct {
    const char* name;
    bool Config::*flag;
  } kSeams[] = {{"mem", &Config::failMem},       {"fbopen", &Config::failFbOpen},
                {"fbinfo", &Config::failFbInfo}, {"fbmap", &Config::failFbMap},
                {"dsp", &Config::failDsp},       {"dspwrite", &Config::failDspWrite}};
  const char* v = Env("ZARN_FAIL");
  if (!v) return;
  for (const std::string& item : CommaItems(v)) {
    bool known = false;
    for (const auto& seam : kSeams) {
      if (item == seam.name) {
        c.*seam.flag = true;
        known = true;
      }
    }
    if (!known) std::fprintf(stderr, "ZARN_FAIL: unknown seam %s\n", item.c_str());
  }
}

// A fixed wall clock (seconds since 1970, UTC) for repeatable runs.
void ReadWallTime(Config& c) {
  const char* v = Env("ZARN_TIME");
  if (!v) return;
  uint32_t t;
  if (ParseU32(v, &t) && t != 0) {
    c.wallTime = static_cast<std::time_t>(t);
    c.injectZone = true;
    c.zoneOffset = 0;
  } else {
    std::fprintf(stderr, "ZARN_TIME: not a number of seconds\n");
  }
}

}  // namespace

Config ConfigFromEnvironment() {
  Config c = DefaultConfig();
  ReadBackend(c);
  ReadFramesAndDumps(c);
  ReadButtons(c);
  if (const char* v = Env("ZARN_CLOCK"); v && std::strcmp(v, "fake") == 0) c.fakeClock = true;
  if (const char* v = Env("ZARN_FB")) {
    if (!ParseFbGeometry(v, &c.fb)) std::fprintf(stderr, "ZARN_FB: bad geometry\n");
  }
  ReadFailSeams(c);
  if (const char* v = Env("ZARN_BATTERY")) {
    uint32_t b;
    if (ParseU32(v, &b)) c.battery = static_cast<int32_t>(b & 0xFFFF);
  }
  if (const char* v = Env("ZARN_AUDIO")) c.audioPath = v;
  if (const char* v = Env("ZARN_SAVE_STOP"); v && std::strcmp(v, "1") == 0) c.stopInSave = true;
  if (const char* v = Env("ZARN_FRAMETIMES")) c.frameTimesPath = v;
  if (const char* v = Env("ZARN_WINDOWLOG")) c.windowLogPath = v;
  if (const char* v = Env("ZARN_MINIMIZE")) {
    if (!ParseMinimizeScript(v, &c.minimize))
      std::fprintf(stderr, "ZARN_MINIMIZE: want frame:ms items\n");
  }
  ReadWallTime(c);
  return c;
}

void Configure(const Config& config) {
  g_backend.reset();
  g_config = config;
  g_configured = true;
  ResetRegisters();
  g_quit = false;
  g_fakeUs = 0;
  g_scriptMinimized = false;
  g_restoreUs = 0;
  g_reportedHidden = false;
  if (g_windowLog) std::fclose(g_windowLog);
  g_windowLog = nullptr;
  g_windowLogFailed = false;
  state::framesPresented = 0;
  state::menuCalls = 0;
  g_menuStatus = 0;
  state::audioFrames = 0;
  state::audioRate = state::audioChannels = 0;
  state::frameStamps.clear();
  g_deviceError.clear();
  if (!config.frameTimesPath.empty()) {
    state::frameStamps.reserve(4096);
    // Written however the process ends (the menu program's exit or a return
    // from main).
    static bool registered = false;
    if (!registered) registered = std::atexit(WriteFrameTimesAtExit) == 0;
  }
  Backend* b = nullptr;
  if (config.backend == "device") b = MakeDeviceBackend();
  if (config.backend == "sdl") b = MakeSdlBackend(&g_deviceError);
  if (!b) {
    // A backend this build lacks gives way to headless; a window that cannot
    // open fails the start instead (the clocks and files still work headless).
    if (config.backend != "headless" && g_deviceError.empty())
      std::fprintf(stderr, "stand-in: backend \"%s\" is not available here, running headless\n",
                   config.backend.c_str());
    g_config.backend = "headless";
    b = MakeHeadlessBackend();
  }
  g_backend.reset(b);
  // Buttons scripted for frame 0 are down before the first poll.
  for (const auto& s : g_config.buttons)
    if (s.frame == 0) SetButton(s.code, s.pressed);
}

const Config& CurrentConfig() {
  EnsureConfigured();
  return g_config;
}

// ---- registers -------------------------------------------------------------------

uint8_t* RegisterBlock() { return g_registers; }

void SetButton(uint32_t code, bool pressed) {
  uint32_t off, bit;
  if (!ButtonLine(code, &off, &bit)) return;
  uint16_t word;
  std::memcpy(&word, g_registers + off, 2);
  word = le16toh(word);
  if (pressed)
    word = static_cast<uint16_t>(word & ~(1u << bit));
  else
    word = static_cast<uint16_t>(word | (1u << bit));
  word = htole16(word);
  std::memcpy(g_registers + off, &word, 2);
}

bool ButtonPressed(uint32_t code) {
  uint32_t off, bit;
  if (!ButtonLine(code, &off, &bit)) return false;
  uint16_t word;
  std::memcpy(&word, g_registers + off, 2);
  return (le16toh(word) & (1u << bit)) == 0;
}

int MemOpen() {
  Backend& b = B();
  return g_deviceError.empty() ? b.MemOpen() : -1;
}
uint8_t* MemMap(int fd) { return B().MemMap(fd); }
void MemUnmap(uint8_t* block) { B().MemUnmap(block); }
void MemClose(int fd) { B().MemClose(fd); }

int FbOpen() {
  Backend& b = B();
  return g_deviceError.empty() ? b.FbOpen() : -1;
}
int FbGetScreenInfo(int fd, FbScreenInfo* info) { return B().FbGetScreenInfo(fd, info); }
uint8_t* FbMap(int fd, uint32_t bytes) { return B().FbMap(fd, bytes); }
void FbUnmap(uint8_t* pixels, uint32_t bytes) { B().FbUnmap(pixels, bytes); }
void FbClose(int fd) { B().FbClose(fd); }
void FbPresented() { B().FbPresented(); }

int DspOpen() { return B().DspOpen(); }
int DspSetSpeed(int fd, int* rate) { return B().DspSetSpeed(fd, rate); }
int DspSetFormat(int fd, int* format) { return B().DspSetFormat(fd, format); }
int DspSetStereo(int fd, int* stereo) { return B().DspSetStereo(fd, stereo); }
int32_t DspWrite(int fd, const void* data, uint32_t bytes) { return B().DspWrite(fd, data, bytes); }
void DspPause(int fd, bool paused) { B().DspPause(fd, paused); }
int DspReset(int fd) { return B().DspReset(fd); }
void DspClose(int fd) { B().DspClose(fd); }

int BatteryRead(uint16_t* value) { return B().BatteryRead(value); }

const std::string& DeviceError() {
  EnsureConfigured();
  return g_deviceError;
}

void RunMenuProgram(int status) {
  g_menuStatus = status;
  B().RunMenuProgram();
  // Desktop: the process ends here, after the backend has closed its window and
  // written its files (the device backend has replaced the process or failed).
  if (g_config.backend != "device" && g_config.menuExits) {
    g_backend.reset();
    std::fprintf(stderr, "stand-in: menu program requested, exiting with status %d\n", status);
    std::fflush(nullptr);
    std::exit(status);
  }
}

void SettingsSavePoint() {
  EnsureConfigured();
  if (g_config.stopInSave) raise(SIGSTOP);
}

// ---- clocks ----------------------------------------------------------------------

uint64_t ClockUs() {
  EnsureConfigured();
  if (g_config.fakeClock) return g_fakeUs;
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

uint32_t ClockMs() { return static_cast<uint32_t>(ClockUs() / 1000u); }

void SleepUs(uint32_t us) {
  EnsureConfigured();
  if (g_config.fakeClock) {
    g_fakeUs += us;
    g_backend->ClockAdvanced();
    return;
  }
  usleep(us);
}

std::time_t WallTime() {
  EnsureConfigured();
  if (g_config.wallTime) return g_config.wallTime + static_cast<std::time_t>(g_fakeUs / 1000000u);
  return std::time(nullptr);
}

bool LocalTime(std::time_t t, std::tm* out) {
  EnsureConfigured();
  if (g_config.injectZone) {
    std::time_t shifted = t + g_config.zoneOffset;
    if (!gmtime_r(&shifted, out)) return false;
    out->tm_isdst = 0;
    return true;
  }
  return localtime_r(&t, out) != nullptr;
}

bool UtcTime(std::time_t t, std::tm* out) { return gmtime_r(&t, out) != nullptr; }

bool QuitRequested() { return g_quit; }
void RequestQuit() { g_quit = true; }

// ---- minimise and restore ----------------------------------------------------------

WindowEvent PollWindowEvent() {
  EnsureConfigured();
  if (g_scriptMinimized && ClockUs() >= g_restoreUs) g_scriptMinimized = false;
  const bool windowHidden = g_backend->WindowHidden(g_reportedHidden);
  // A hidden program presents no frames: only shown again can it quit.
  const bool hidden = !g_quit && (g_scriptMinimized || windowHidden);
  if (hidden == g_reportedHidden) return WindowEvent::kNone;
  g_reportedHidden = hidden;
  LogWindowChange(hidden);
  return hidden ? WindowEvent::kHidden : WindowEvent::kShown;
}

bool CanMinimize() { return B().CanMinimize(); }
void MinimizeWindow() { B().MinimizeWindow(); }

// ---- observation -------------------------------------------------------------------

uint32_t FramesPresented() { return state::framesPresented; }
uint32_t MenuProgramCalls() { return state::menuCalls; }
int MenuProgramStatus() { return g_menuStatus; }
const uint8_t* FrameBuffer() { return state::fbPixels; }
uint64_t AudioFramesWritten() { return state::audioFrames; }
const std::vector<uint64_t>& FrameStamps() { return state::frameStamps; }

int AudioRate() { return state::audioRate; }
int AudioChannels() { return state::audioChannels; }

bool WriteFrameTimes(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  bool ok = true;
  for (size_t i = 0; i < state::frameStamps.size() && ok; i++)
    ok = std::fprintf(f, "%zu %llu\n", i + 1, static_cast<unsigned long long>(state::frameStamps[i])) > 0;
  return std::fclose(f) == 0 && ok;
}

bool DumpFrame(const std::string& path) {
  EnsureConfigured();
  const FbScreenInfo& f = g_config.fb;
  if (!state::fbPixels) return false;
  uint32_t pitch = f.xres_virtual * (f.bits_per_pixel / 8);
  if (static_cast<uint64_t>(pitch) * f.yres > state::fbBytes) return false;
  return WritePng(path, state::fbPixels, f.xres, f.yres, pitch, f);
}

void FrameToRgb(const uint8_t* p, uint32_t width, uint32_t height, uint32_t pitch,
                const FbScreenInfo& f, std::vector<uint8_t>* rgb) {
  rgb->resize(static_cast<size_t>(width) * height * 3);
  uint8_t* o = rgb->data();
  for (uint32_t y = 0; y < height; y++) {
    const uint8_t* row = p + static_cast<size_t>(y) * pitch;
    for (uint32_t x = 0; x < width; x++) {
      uint32_t r = 0, g = 0, b = 0;
      switch (f.bits_per_pixel) {
        case 8:
          r = g = b = row[x];
          break;
        case 16: {
          uint32_t v = row[2 * x] | (row[2 * x + 1] << 8);
          uint32_t gl = f.green.length == 5 ? 5 : 6;
          b = (v & 0x1F) << 3;
          g = ((v >> 5) & ((1u << gl) - 1)) << (8 - gl);
          r = ((v >> (5 + gl)) & 0x1F) << 3;
          b |= b >> 5;
          g |= g >> gl;
          r |= r >> 5;
          break;
        }
        case 24:
          b = row[3 * x];
          g = row[3 * x + 1];
          r = row[3 * x + 2];
          break;
        case 32:
          b = row[4 * x];
          g = row[4 * x + 1];
          r = row[4 * x + 2];
          break;
        default:
          break;
      }
      *o++ = static_cast<uint8_t>(r);
      *o++ = static_cast<uint8_t>(g);
      *o++ = static_cast<uint8_t>(b);
    }
  }
}

void AfterPresent() {
  state::framesPresented++;
  const uint32_t n = state::framesPresented;
  const Config& c = g_config;
  if (!c.frameTimesPath.empty() && state::frameStamps.size() < kMaxFrameStamps)
    state::frameStamps.push_back(RealUs());
  if (!c.dumpDir.empty()) {
    bool want = c.dumpFrames.empty() ? (n % c.dumpEvery == 0) : false;
    for (uint32_t f : c.dumpFrames) want = want || f == n;
    if (want) {
      mkdir(c.dumpDir.c_str(), 0777);
      char name[64];
      std::snprintf(name, sizeof name, "/frame%06u.png", n);
      if (!DumpFrame(c.dumpDir + name))
        std::fprintf(stderr, "stand-in: could not write frame dump %s%s\n", c.dumpDir.c_str(), name);
    }
  }
  for (const auto& s : c.buttons)
    if (s.frame == n) SetButton(s.code, s.pressed);
  for (const auto& m : c.minimize) {
    if (m.frame != n) continue;
    g_scriptMinimized = true;
    g_restoreUs = ClockUs() + static_cast<uint64_t>(m.ms) * 1000u;
  }
  if (c.frameLimit && n >= c.frameLimit) RequestQuit();
}

}  // namespace standin
