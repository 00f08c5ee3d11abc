// Test support: run the real frame loop headless with the fake clock, a button
// script and a frame limit, and observe what the program did.
#ifndef ZARN_TESTS_SUPPORT_HARNESS_H
#define ZARN_TESTS_SUPPORT_HARNESS_H

#include <cstdint>
#include <string>
#include <vector>

#include "standin/standin.h"

namespace zt {

// Headless, fake clock, 320x240 5:6:5, the menu program only recorded.
standin::Config HeadlessConfig();

// Configures the stand-in and maps the devices as the program entry does; unmaps
// on destruction.
class Devices {
 public:
  explicit Devices(const standin::Config& config = HeadlessConfig());
  ~Devices();
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// A fresh empty folder for one test, below the build's test folder.
std::string TempDir(const std::string& name);

// The folder that holds the game's res/ (empty when the packs are not there).
std::string ResParent();
// Makes dir/res point at the game's packs; false when there are none.
bool LinkRes(const std::string& dir);
// A fresh folder for one run of the game: its packs linked in and no settings
// file, so runs never see what an earlier run saved. Empty without packs.
std::string GameDir(const std::string& name);
// Works in another folder for its lifetime.
class InFolder {
 public:
  explicit InFolder(const std::string& dir);
  ~InFolder();
  bool ok() const { return ok_; }

 private:
  std::string old_;
  bool ok_ = false;
};

// Sets the system's time zone (TZ) for its lifetime and restores the old one;
// the stand-in must not inject a zone for it to count.
class ScopedZone {
 public:
  explicit ScopedZone(const std::string& zone);
  ~ScopedZone();

 private:
  std::string old_;
  bool had_ = false;
};

// A TCP port for a test's own server, from a block of 64 below the system's
// ephemeral range (32768 up, so no client socket holds it) that this process
// finds free when it first asks and holds until it ends; offset picks among one
// test's servers (0 to 63).
uint16_t TestPort(uint16_t offset = 0);

// Runs a command with the shell; returns its exit status (-1 when it could not run).
int Run(const std::string& command);
// The shell words that start a program of this build: its path, quoted, or in the
// ARM cross build the emulator and the path (the host cannot start ARM programs).
std::string ProgramCommand(const std::string& path);
// Pixels that differ between two pictures (ImageMagick's compare); -1 when
// they could not be compared.
long DifferentPixels(const std::string& a, const std::string& b);
bool HaveCompare();
// What a command prints on its standard output.
std::string Capture(const std::string& command);
// True when a program is on the PATH.
bool HaveTool(const std::string& name);

// The shell words that run a command under an X server of its own with a
// screen of that size ("1024x768x24"); the command's status is the words'.
// Xvfb picks its free display itself, so servers started side by side never
// race for one.
std::string XvfbCommand(const std::string& screen);

// Shell lines that wait for the game's window and set $w to its id; $pid is
// the game's process (they exit 3 when it has ended). A search can meet one of
// the windows that come and go as SDL starts and then fails, so it tries again
// until the window it found exists.
std::string WaitWindowShell();

// The pieces of a text between separators (a text without one is one piece).
std::vector<std::string> Split(const std::string& text, char separator);

// A plain TCP socket connected to 127.0.0.1:port; -1 when the connect fails.
int LoopbackConnect(uint16_t port);
// A plain TCP socket listening on 127.0.0.1:port; -1 when the port is taken.
int LoopbackListen(uint16_t port);
// Waits up to `seconds` until something listens on 127.0.0.1:port, read from the
// kernel's socket table so the listener sees no connection of ours.
bool WaitListening(uint16_t port, int seconds);

// A whole file ({} when it cannot be read); false when a write fails.
std::vector<uint8_t> ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::vector<uint8_t>& data);

// A 16-bit PCM WAV file: its rate, channels and interleaved samples (the data
// chunk found by walking the chunks); false when the file is not one.
struct Wav16 {
  uint32_t rate = 0, channels = 0;
  std::vector<int16_t> samples;
};
bool ReadWav16(const std::string& path, Wav16* out);

// The outside tools the oracles use, by full path: Debian's own Python (a
// python3 earlier on the PATH may lack Pillow) and ImageMagick.
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kConvert = "/usr/bin/convert";
constexpr const char* kCompare = "/usr/bin/compare";
constexpr const char* kIdentify = "/usr/bin/identify";
bool HaveExecutable(const std::string& path);
// True when kPython can import the module (such as "PIL" or "PIL.ImageChops").
bool HavePythonModule(const std::string& module);
// convert, compare and identify.
bool HaveImageMagick();

}  // namespace zt

#endif
