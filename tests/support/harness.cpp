#include "tests/support/harness.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <thread>

#include "framework/emod_device.h"
#include "standin/standin.h"

namespace zt {

standin::Config HeadlessConfig() {
  standin::Config c = standin::DefaultConfig();
  c.backend = "headless";
  c.fakeClock = true;
  c.menuExits = false;
  return c;
}

Devices::Devices(const standin::Config& config) {
  standin::Configure(config);
  ok_ = HandleDevicePtr(false) != nullptr;
}

Devices::~Devices() { HandleDevicePtr(true); }

std::string TempDir(const std::string& name) {
  const char* base = std::getenv("ZARN_TEST_TMP");
  std::string root = base && *base ? base : "/tmp/zarn-tests";
  Run("mkdir -p '" + root + "'");
  std::string dir = root + "/" + name;
  Run("rm -rf '" + dir + "' && mkdir -p '" + dir + "'");
  return dir;
}

std::string ResParent() {
  const std::string dir = ZARN_BINARY_DIR;
  struct stat st;
  return stat((dir + "/res/gfx.epk").c_str(), &st) == 0 ? dir : std::string();
}

bool LinkRes(const std::string& dir) {
  const std::string parent = ResParent();
  if (parent.empty()) return false;
  return Run("ln -sfn '" + parent + "/res' '" + dir + "/res'") == 0;
}

std::string GameDir(const std::string& name) {
  const std::string dir = TempDir(name);
  return LinkRes(dir) ? dir : std::string();
}

InFolder::InFolder(const std::string& dir) {
  char buf[4096];
  if (getcwd(buf, sizeof buf)) old_ = buf;
  ok_ = !old_.empty() && chdir(dir.c_str()) == 0;
}

InFolder::~InFolder() {
  if (ok_ && chdir(old_.c_str()) != 0) std::abort();
}

bool HaveCompare() { return access("/usr/bin/compare", X_OK) == 0; }

long DifferentPixels(const std::string& a, const std::string& b) {
  const std::string out = a + ".ae";
  const int rc = Run("/usr/bin/compare -metric AE '" + a + "' '" + b + "' null: 2> '" + out + "'");
  if (rc != 0 && rc != 1) return -1;
  std::ifstream in(out);
  double v = -1;
  if (!(in >> v)) return -1;
  return static_cast<long>(v);
}

namespace {
constexpr uint32_t kPortBase = 10000;  // blocks of 64 up to the ephemeral range (32768)
constexpr uint32_t kPortBlocks = (32768 - kPortBase) / 64;

// True when a socket other than one waiting out its close holds a port of the
// block (something outside the tests, or a leftover game process).
bool BlockInUse(uint32_t first) {
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);  // the heading
    while (std::getline(in, line)) {
      // "  N: ADDR:PORT REMADDR:PORT ST ..."
      const size_t colon = line.find(':', line.find(':') + 1);
      if (colon == std::string::npos) continue;
      const uint32_t port = static_cast<uint32_t>(std::strtoul(line.c_str() + colon + 1, nullptr, 16));
      const size_t st = line.find(' ', line.find(' ', colon) + 1);
      const bool closing = st != std::string::npos && line.compare(st + 1, 2, "06") == 0;
      if (port >= first && port < first + 64 && !closing) return true;
    }
  }
  return false;
}

// Takes the first block, from a start spread by the process id, whose lock file
// no other process holds and whose ports nothing uses. The lock is held until the
// process ends (the kernel drops it however the process ends), so every test
// program on the machine, of any build tree or checkout, gets a block of its own.
uint32_t HoldPortBlock() {
  const std::string dir = "/tmp/zarn-test-ports";
  mkdir(dir.c_str(), 01777);
  chmod(dir.c_str(), 01777);
  const uint32_t start = static_cast<uint32_t>(getpid()) % kPortBlocks;
  for (uint32_t i = 0; i < kPortBlocks; i++) {
    const uint32_t block = (start + i) % kPortBlocks;
    const std::string path = dir + "/" + std::to_string(block);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      close(fd);
      continue;
    }
    const uint32_t first = kPortBase + block * 64;
    if (!BlockInUse(first)) return first;  // fd stays open: that holds the lock
    close(fd);
  }
  std::fprintf(stderr, "no free block of 64 test ports in %u..32767\n", kPortBase);
  std::abort();
}
}  // namespace

uint16_t TestPort(uint16_t offset) {
  static const uint32_t base = HoldPortBlock();
  return static_cast<uint16_t>(base + offset % 64);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> out;
  size_t at = 0;
  while (true) {
    const size_t end = text.find(separator, at);
    out.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) return out;
    at = end + 1;
  }
}

namespace {
// A TCP socket and the address 127.0.0.1:port.
int LoopbackSocket(uint16_t port, sockaddr_in* a) {
  *a = sockaddr_in{};
  a->sin_family = AF_INET;
  a->sin_port = htons(port);
  a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return socket(AF_INET, SOCK_STREAM, 0);
}
}  // namespace

int LoopbackConnect(uint16_t port) {
  sockaddr_in a;
  const int s = LoopbackSocket(port, &a);
  if (s < 0) return -1;
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(s);
    return -1;
  }
  return s;
}

int LoopbackListen(uint16_t port) {
  sockaddr_in a;
  const int s = LoopbackSocket(port, &a);
  if (s < 0) return -1;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 4) != 0) {
    close(s);
    return -1;
  }
  return s;
}

namespace {
bool Listening(uint16_t port) {
  char want[32];
  std::snprintf(want, sizeof want, ":%04X ", static_cast<unsigned>(port));
  std::ifstream in("/proc/net/tcp");
  const std::string table((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t at = 0;
  while ((at = table.find(want, at)) != std::string::npos) {
    // local_address, rem_address, then the state: 0A is LISTEN.
    const size_t st = table.find(' ', table.find(' ', at + 1) + 1);
    if (at >= 8 && st != std::string::npos && table.compare(st + 1, 2, "0A") == 0) return true;
    at++;
  }
  return false;
}
}  // namespace

bool WaitListening(uint16_t port, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!Listening(port)) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::string WaitWindowShell() {
  return std::string("until w=$(xdotool search --name '^") + standin::kWindowTitle +
         "$' 2>/dev/null | head -1); [ -n \"$w\" ] && xdotool getwindowname \"$w\" >/dev/null 2>&1; do\n"
         "  kill -0 $pid 2>/dev/null || { echo 'the game ended before its window showed' >&2; exit 3; }\n"
         "  sleep 0.1\n"
         "done\n";
}

std::string XvfbCommand(const std::string& screen) {
  return std::string("'") + ZARN_SOURCE_DIR + "/tests/support/xvfb.sh' " + screen;
}

int Run(const std::string& command) {
  int r = std::system(command.c_str());
  if (r == -1) return -1;
  return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
}

ScopedZone::ScopedZone(const std::string& zone) {
  if (const char* v = std::getenv("TZ")) {
    old_ = v;
    had_ = true;
  }
  setenv("TZ", zone.c_str(), 1);
  tzset();
}

ScopedZone::~ScopedZone() {
  if (had_)
    setenv("TZ", old_.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

std::string Capture(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

std::string ProgramCommand(const std::string& path) {
#if defined(ZARN_EMULATOR)
  return "'" ZARN_EMULATOR "' '" + path + "'";
#else
  return "'" + path + "'";
#endif
}

bool HaveTool(const std::string& name) {
  return Run("command -v '" + name + "' >/dev/null 2>&1") == 0;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return out;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  // An empty vector may have no buffer at all: write nothing then.
  const bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

bool ReadWav16(const std::string& path, Wav16* out) {
  const std::vector<uint8_t> w = ReadFile(path);
  auto u16 = [&](size_t at) { return uint32_t(w[at] | (w[at + 1] << 8)); };
  auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
  if (w.size() < 12 || std::memcmp(w.data(), "RIFF", 4) != 0 || std::memcmp(w.data() + 8, "WAVE", 4) != 0)
    return false;
  bool fmt = false;
  for (size_t at = 12; at + 8 <= w.size();) {
    const uint32_t size = u32(at + 4);
    const size_t body = at + 8, end = body + std::min<size_t>(size, w.size() - body);
    if (std::memcmp(w.data() + at, "fmt ", 4) == 0 && end - body >= 16) {
      if (u16(body) != 1 || u16(body + 14) != 16) return false;
      out->channels = u16(body + 2);
      out->rate = u32(body + 4);
      fmt = true;
    } else if (std::memcmp(w.data() + at, "data", 4) == 0 && fmt) {
      out->samples.clear();
      for (size_t i = body; i + 1 < end; i += 2) out->samples.push_back(int16_t(u16(i)));
      return true;
    }
    if (size >= w.size() - body) break;
    at = body + size + (size & 1);
  }
  return false;
}

bool HaveExecutable(const std::string& path) { return Run("test -x '" + path + "'") == 0; }

bool HavePythonModule(const std::string& module) {
  return Run(std::string(kPython) + " -c 'import " + module + "' >/dev/null 2>&1") == 0;
}

bool HaveImageMagick() {
  return HaveExecutable(kConvert) && HaveExecutable(kCompare) && HaveExecutable(kIdentify);
}

}  // namespace zt
