// The stand-in's own contract: register lines, scripts, geometry, frame dumps,
// and the program under both desktop backends.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "framework/emod_device.h"
#include "loaders/eldr_png.h"
#include "tests/loaders/ldr_fake.h"
#include "tests/support/game_proc.h"
#include "tests/support/harness.h"

namespace {

// A dumped frame through the project's own PNG decoder.
int DecodePng(const std::string& path, ldr::FakeImage* img) {
  std::vector<uint8_t> file = zt::ReadFile(path);
  if (file.empty()) return -1;
  ELoader_PNG png;
  return png.Decode(img, file.data(), static_cast<uint32_t>(file.size()), EFMT_RGB32, 0);
}

uint16_t Word(uint32_t offset) {
  const uint8_t* r = standin::RegisterBlock();
  return static_cast<uint16_t>(r[offset] | (r[offset + 1] << 8));
}

TEST(Registers, ButtonLinesAreActiveLowBits) {
  const struct {
    uint32_t code, offset;
    uint16_t mask;
  } cases[] = {{1, 0x1198, 0x0001}, {8, 0x1198, 0x0080}, {9, 0x1184, 0x0100}, {16, 0x1184, 0x8000},
               {17, 0x1186, 0x0001}, {24, 0x1186, 0x0080}, {32, 0x1186, 0x8000}};
  for (const auto& c : cases) {
    zt::Devices dev;
    EXPECT_EQ(Word(c.offset) & c.mask, c.mask);
    standin::SetButton(c.code, true);
    EXPECT_EQ(Word(c.offset) & c.mask, 0) << c.code;
    EXPECT_EQ(EDevice_ReadReg16(c.offset), Word(c.offset));
    EXPECT_TRUE(standin::ButtonPressed(c.code));
    standin::SetButton(c.code, false);
    EXPECT_EQ(Word(c.offset), 0xFFFF);
  }
  zt::Devices dev;
  EXPECT_EQ(Word(0x1182) & 0x10, 0);  // vertical sync never holds a wait
  EXPECT_EQ(standin::RegisterBlock()[0], 0xFF);
  standin::SetButton(0, true);  // codes outside 1-32 touch nothing
  standin::SetButton(33, true);
  EXPECT_EQ(Word(0x1198), 0xFFFF);
}

TEST(Config, ScriptsAndGeometry) {
  std::vector<standin::Config::ButtonStep> steps;
  std::string err;
  ASSERT_TRUE(standin::ParseButtonScript("10:+13, 12:-13\n40:+9", &steps, &err));
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[1].frame, 12u);
  EXPECT_FALSE(steps[1].pressed);
  for (const char* bad : {"10:13", "x:+1", "5:+33", "5:+0", "5+1", "5:+"})
    EXPECT_FALSE(standin::ParseButtonScript(bad, &steps, &err)) << bad;
  standin::FbScreenInfo f;
  ASSERT_TRUE(standin::ParseFbGeometry("320x240@16/5+352", &f));
  EXPECT_EQ(f.xres_virtual, 352u);
  EXPECT_EQ(f.green.length, 5u);
  ASSERT_TRUE(standin::ParseFbGeometry("640x480@32", &f));
  EXPECT_EQ(f.bits_per_pixel, 32u);
  EXPECT_FALSE(standin::ParseFbGeometry("0x10@16", &f));
  EXPECT_FALSE(standin::ParseFbGeometry("banana", &f));
}

// The scripted minimise: hidden after its frame is presented, shown again once
// the program's clock has run its time, or at once when the program must quit.
// The window log has each change as it is taken, with the frames presented.
TEST(Window, ScriptedMinimiseHidesAndShows) {
  setenv("ZARN_MINIMIZE", "2:300, 5:0", 1);
  setenv("ZARN_WINDOWLOG", "changes.txt", 1);
  standin::Config cfg = standin::ConfigFromEnvironment();
  unsetenv("ZARN_MINIMIZE");
  unsetenv("ZARN_WINDOWLOG");
  ASSERT_EQ(cfg.minimize.size(), 2u);
  EXPECT_EQ(cfg.minimize[0].frame, 2u);
  EXPECT_EQ(cfg.minimize[0].ms, 300u);
  EXPECT_EQ(cfg.windowLogPath, "changes.txt");
  cfg = zt::HeadlessConfig();
  cfg.minimize = {{2, 300}, {4, 1000}};
  cfg.windowLogPath = zt::TempDir("standin_windowlog") + "/changes.txt";
  standin::Configure(cfg);
  using E = standin::WindowEvent;
  EXPECT_FALSE(standin::CanMinimize());
  standin::MinimizeWindow();  // nothing to minimise here
  standin::FbPresented();
  EXPECT_EQ(standin::PollWindowEvent(), E::kNone);
  standin::FbPresented();
  EXPECT_EQ(standin::PollWindowEvent(), E::kHidden);
  standin::SleepUs(299000);
  EXPECT_EQ(standin::PollWindowEvent(), E::kNone);
  standin::SleepUs(1000);
  EXPECT_EQ(standin::PollWindowEvent(), E::kShown);
  EXPECT_EQ(standin::PollWindowEvent(), E::kNone);
  standin::FbPresented();
  standin::FbPresented();
  EXPECT_EQ(standin::PollWindowEvent(), E::kHidden);
  standin::RequestQuit();
  EXPECT_EQ(standin::PollWindowEvent(), E::kShown);
  const std::vector<uint8_t> text = zt::ReadFile(cfg.windowLogPath);
  std::istringstream log(std::string(text.begin(), text.end()));
  std::vector<std::string> changes;
  uint64_t us = 0, last = 0;
  for (std::string what, frames; log >> what >> frames >> us; last = us) {
    changes.push_back(what + " " + frames);
    EXPECT_GE(us, last);
  }
  EXPECT_EQ(changes, (std::vector<std::string>{"hidden 2", "shown 2", "hidden 4", "shown 4"}));
  standin::Configure(zt::HeadlessConfig());
}

TEST(FrameBuffer, FailuresAndDumps) {
  for (int which = 0; which < 3; which++) {
    standin::Config cfg = zt::HeadlessConfig();
    (which == 0 ? cfg.failFbOpen : which == 1 ? cfg.failFbInfo : cfg.failFbMap) = true;
    standin::Configure(cfg);
    const int fd = standin::FbOpen();
    standin::FbScreenInfo info;
    if (which == 0) {
      EXPECT_LT(fd, 0);
    } else if (which == 1) {
      EXPECT_NE(standin::FbGetScreenInfo(fd, &info), 0);
    } else {
      EXPECT_EQ(standin::FbMap(fd, 320 * 240 * 2), nullptr);
    }
  }
  zt::Devices dev;
  const int fd = edeviceptr[1];
  uint8_t* p = standin::FbMap(fd, 320 * 240 * 2);
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 320 * 240; i++) {
    p[2 * i] = 0x1F;  // blue
    p[2 * i + 1] = 0xF8;  // red
  }
  const std::string dir = zt::TempDir("standin_dump");
  ASSERT_TRUE(standin::DumpFrame(dir + "/f.png"));
  ldr::FakeImage img;
  ASSERT_EQ(DecodePng(dir + "/f.png", &img), ERES_OK);
  EXPECT_EQ(img.width, 320u);
  EXPECT_EQ(img.height, 240u);
  ASSERT_EQ(img.pixels.size(), 320u * 240u);
  for (uint32_t c : img.pixels) ASSERT_EQ(c, 0xFFFF00FFu);  // 5:6:5 red and blue, opaque
  // An outside decoder agrees.
  if (zt::HavePythonModule("PIL")) {
    const std::string check =
        "from PIL import Image; im=Image.open('" + dir +
        "/f.png'); assert im.size==(320,240) and im.getpixel((5,5))==(255,0,255)";
    EXPECT_EQ(zt::Run(std::string(zt::kPython) + " -c \"" + check + "\""), 0);
  }
  standin::FbUnmap(p, 320 * 240 * 2);
}

// ZARN_AUDIO: the sound goes to the file as it is written, on the program's
// clock (silence where the output was suspended), past ten minutes.
TEST(HeadlessAudio, WavFileFollowsTheClockPastTenMinutes) {
  const std::string dir = zt::TempDir("standin_wav");
  standin::Config cfg = zt::HeadlessConfig();
  cfg.audioPath = dir + "/run.wav";
  standin::Configure(cfg);
  const int fd = standin::DspOpen();
  ASSERT_GE(fd, 0);
  int rate = 8000, format = 8, stereo = 0;
  ASSERT_EQ(standin::DspSetSpeed(fd, &rate), 0);
  ASSERT_EQ(standin::DspSetFormat(fd, &format), 0);
  ASSERT_EQ(standin::DspSetStereo(fd, &stereo), 0);
  // The clock runs ahead with the writer paused, so that the writes of a second
  // of sound each (8-bit, byte k % 100 + 50 in second k) return at once.
  const uint32_t kSeconds = 605, kGap = 3;
  standin::DspPause(fd, false);
  standin::DspPause(fd, true);
  standin::SleepUs(kSeconds * 1000000u);
  std::vector<uint8_t> second(8000);
  auto write = [&](uint32_t k) {
    std::fill(second.begin(), second.end(), uint8_t(k % 100 + 50));
    return standin::DspWrite(fd, second.data(), uint32_t(second.size()));
  };
  for (uint32_t k = 0; k < kSeconds; k++) ASSERT_EQ(write(k), 8000) << k;
  // Output suspended for three seconds, then one more second.
  standin::SleepUs(kGap * 1000000u);
  standin::DspPause(fd, false);
  standin::DspPause(fd, true);
  standin::SleepUs(1000000u);
  ASSERT_EQ(write(kSeconds), 8000);
  standin::DspClose(fd);
  EXPECT_EQ(standin::AudioFramesWritten(), (kSeconds + 1) * 8000u);

  zt::Wav16 wav;
  ASSERT_TRUE(zt::ReadWav16(cfg.audioPath, &wav));
  EXPECT_EQ(wav.rate, 8000u);
  EXPECT_EQ(wav.channels, 1u);
  ASSERT_EQ(wav.samples.size(), (kSeconds + kGap + 1) * 8000u);
  auto at = [&](uint32_t s) { return wav.samples[size_t(s) * 8000 + 4000]; };
  for (uint32_t k : {0u, 1u, 599u, 600u, kSeconds - 1})
    EXPECT_EQ(at(k), (int(k % 100 + 50) - 128) * 256) << k;
  for (uint32_t k = kSeconds; k < kSeconds + kGap; k++) EXPECT_EQ(at(k), 0) << k;
  EXPECT_EQ(at(kSeconds + kGap), (int(kSeconds % 100 + 50) - 128) * 256);
  // An outside reader agrees on the header.
  if (zt::HaveExecutable(zt::kPython)) {
    EXPECT_EQ(zt::Run(std::string(zt::kPython) + " -c \"import wave; w=wave.open('" + cfg.audioPath +
                      "'); assert (w.getframerate(), w.getnchannels(), w.getsampwidth(), w.getnframes()) == "
                      "(8000, 1, 2, " + std::to_string((kSeconds + kGap + 1) * 8000) + ")\""),
              0);
  }
  standin::Configure(zt::HeadlessConfig());
}

// The real program, headless and (when Xvfb is here) in a window.
TEST(Program, HeadlessRunEndsThroughTheMenuWithFrameDumps) {
  const std::string dir = zt::TempDir("standin_program");
  ASSERT_TRUE(zt::LinkRes(dir)) << "no resource packs";
  const std::string exe = zt::ProgramCommand(std::string(ZARN_BINARY_DIR) + "/zarn");
  const int rc = zt::Run("cd '" + dir + "' && ZARN_BACKEND=headless ZARN_CLOCK=fake ZARN_FRAMES=20 ZARN_DUMP='" +
                         dir + "/frames' ZARN_DUMP_FRAMES=20 " + exe + " 2>/dev/null");
  EXPECT_EQ(rc, 0);
  ldr::FakeImage img;
  ASSERT_EQ(DecodePng(dir + "/frames/frame000020.png", &img), ERES_OK);
  EXPECT_EQ(img.width, 320u);
  EXPECT_EQ(img.height, 240u);
  // The title screen's text on its background, not one flat colour.
  size_t drawn = 0;
  for (uint32_t c : img.pixels) drawn += c != img.pixels[0];
  EXPECT_GT(drawn, 100u);
}

TEST(Program, FrameTimesGiveTheRealPacing) {
  // Stamped in memory, written when the process ends, on the real clock even
  // when the program runs on the fake one.
  for (const char* clock : {"real", "fake"}) {
    const std::string dir = zt::GameDir(std::string("standin_frametimes_") + clock);
    if (dir.empty()) GTEST_SKIP() << "no resource packs";
    std::vector<zt::Child> kid(1);
    const uint64_t before = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                      std::chrono::steady_clock::now().time_since_epoch())
                                                      .count());
    kid[0].pid = zt::SpawnGame(dir, {"ZARN_FRAMES=60", "ZARN_FRAMETIMES=" + dir + "/times.txt",
                                     std::string("ZARN_CLOCK=") + (clock[0] == 'f' ? "fake" : "")});
    zt::WaitAll(kid, 120);
    ASSERT_EQ(kid[0].status, 0) << clock;
    std::ifstream in(dir + "/times.txt");
    uint64_t n = 0, us = 0, first = 0, last = 0, count = 0;
    while (in >> n >> us) {
      count++;
      EXPECT_EQ(n, count);
      EXPECT_GE(us, last);
      if (count == 1) first = us;
      last = us;
    }
    ASSERT_GE(count, 60u) << clock;
    EXPECT_GT(first, before);
    // 60 frames a second: the real clock sees the lock's sleeps.
    if (clock[0] == 'r') {
      EXPECT_GT(last - first, 800000u);
    }
  }
  standin::Config cfg = zt::HeadlessConfig();
  cfg.frameTimesPath = "/nonexistent/folder/times.txt";
  standin::Configure(cfg);
  EXPECT_TRUE(standin::FrameStamps().empty());
  EXPECT_FALSE(standin::WriteFrameTimes(cfg.frameTimesPath));
  standin::Configure(zt::HeadlessConfig());
}

// Headless without ZARN_AUDIO nothing of the sound is kept: the program's
// peak memory after 20,000 frames (333 s of play and music) is that after 600.
TEST(Program, HeadlessMemoryStaysFlat) {
#if defined(__arm__)
  GTEST_SKIP() << "the emulated test cannot start another ARM program";
#endif
  auto peakKb = [](uint32_t frames) -> long {
    const std::string dir = zt::GameDir("standin_memory_" + std::to_string(frames));
    if (dir.empty()) return -1;
    const pid_t pid = zt::SpawnGame(dir, {"ZARN_CLOCK=fake", "ZARN_FAIL=", "ZARN_FRAMES=" + std::to_string(frames)});
    if (pid < 0) return -1;
    int st = 0;
    rusage ru{};
    // No time limit of our own: ctest's stops a program that hangs.
    if (wait4(pid, &st, 0, &ru) != pid || !WIFEXITED(st) || WEXITSTATUS(st) != 0) return -2;
    return ru.ru_maxrss;
  };
  const long short_run = peakKb(600);
  if (short_run == -1) GTEST_SKIP() << "no resource packs";
  const long long_run = peakKb(20000);
  ASSERT_GT(short_run, 0);
  ASSERT_GT(long_run, 0);
  // A few pages either way; the sound of 333 s would be 58 MB.
  EXPECT_LT(std::labs(long_run - short_run), 1024) << short_run << " kB after 600 frames, " << long_run
                                                      << " kB after 20000";
}

// The program in a window under Xvfb for 30 frames, started in dir (which holds
// res) with extra settings; its exit status, and what it wrote on stderr. Leak
// checks stay off: drivers that X loads and unloads leave blocks with no names.
int RunInWindow(const std::string& dir, const std::string& settings, std::string* err) {
  const std::string exe = std::string(ZARN_BINARY_DIR) + "/zarn";
  const int rc = zt::Run("cd '" + dir + "' && ZARN_BACKEND=sdl ZARN_FRAMES=30 " + settings +
                         " ASAN_OPTIONS=detect_leaks=0 timeout 60 " + zt::XvfbCommand("1024x768x24") + " '" + exe +
                         "' 2> '" + dir + "/err.txt'");
  const std::vector<uint8_t> text = zt::ReadFile(dir + "/err.txt");
  err->assign(text.begin(), text.end());
  return rc;
}

// A window on a machine whose sound device cannot be opened: one line of our own
// says so, none of the sound library's, and the game plays on in its window.
TEST(Program, WindowWithoutSoundDeviceSaysSoOnce) {
#if defined(__arm__)
  GTEST_SKIP() << "the ARM build has no window backend";
#endif
  if (!zt::HaveTool("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  const std::string dir = zt::TempDir("standin_nosound");
  ASSERT_TRUE(zt::LinkRes(dir)) << "no resource packs";
  // ALSA with a card nobody has, and an audio driver SDL does not know.
  for (const char* audio : {"SDL_AUDIODRIVER=alsa AUDIODEV=hw:99", "SDL_AUDIODRIVER=none_here"}) {
    std::string err;
    EXPECT_EQ(RunInWindow(dir, audio, &err), 0) << audio;
    std::vector<std::string> lines;
    for (const std::string& line : zt::Split(err, '\n'))
      if (!line.empty() && line.rfind("stand-in: menu program requested, exiting", 0) != 0) lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u) << audio << ":\n" << err;
    EXPECT_EQ(lines[0].rfind("stand-in: no sound device (", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("); playing on without sound"), std::string::npos) << lines[0];
  }
}

TEST(Program, OpensAWindowUnderXvfb) {
#if defined(__arm__)
  GTEST_SKIP() << "the ARM build has no window backend";
#endif
  if (!zt::HaveTool("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  const std::string dir = zt::TempDir("standin_window");
  ASSERT_TRUE(zt::LinkRes(dir)) << "no resource packs";
  // The window backend announces nothing; it must run and leave with status 0,
  // and must not fall back to headless (which it reports on stderr).
  std::string err;
  EXPECT_EQ(RunInWindow(dir, "SDL_AUDIODRIVER=dummy", &err), 0);
  EXPECT_EQ(err.find("running headless"), std::string::npos) << err;
}

// The window backend that the environment asks for (DISPLAY or WAYLAND_DISPLAY
// set, ZARN_BACKEND not) but that cannot open its window fails the start: a
// message that names the display, status 1, at once, nothing written. A
// display that exists gets the window; with neither set the program runs
// headless.
TEST(Program, AWindowThatCannotOpenFailsTheStart) {
#if defined(__arm__) || !defined(ZARN_HAVE_SDL2)
  GTEST_SKIP() << "no window backend in this build";
#endif
  std::string display;  // a display nobody serves
  for (int n = 4000 + getpid() % 1000; display.empty(); n++)
    if (access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) != 0) display = ":" + std::to_string(n);
  const struct {
    const char* what;
    std::vector<std::string> env;
    int status;
    std::string says;
  } cases[] = {
      {"no X server", {"DISPLAY=" + display, "WAYLAND_DISPLAY="}, 1, "window on the display \"" + display + "\""},
      {"no Wayland compositor", {"DISPLAY=", "WAYLAND_DISPLAY=zarn-none"}, 1, "the Wayland display \"zarn-none\""},
      {"neither", {"DISPLAY=", "WAYLAND_DISPLAY=", "ZARN_FRAMES=5"}, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = zt::GameDir(std::string("standin_nowindow_") + c.what[3]);
    if (dir.empty()) GTEST_SKIP() << "no resource packs";
    std::vector<std::string> env = c.env;
    for (const char* e : {"ZARN_BACKEND=", "SDL_VIDEODRIVER=", "ZARN_CLOCK=fake"}) env.push_back(e);
    std::vector<zt::Child> kid(1);
    kid[0].pid = zt::SpawnGame(dir, env, dir + "/err.txt");
    zt::WaitAll(kid, 60);
    const std::vector<uint8_t> text = zt::ReadFile(dir + "/err.txt");
    const std::string err(text.begin(), text.end());
    EXPECT_EQ(kid[0].status, c.status) << err;
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
    EXPECT_EQ(err.find("running headless"), std::string::npos) << err;
    EXPECT_EQ(access((dir + "/game.cfg").c_str(), F_OK) == 0, c.status == 0);
  }
  if (!zt::HaveTool("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  const std::string dir = zt::GameDir("standin_window_default");
  std::string err;
  EXPECT_EQ(RunInWindow(dir, "ZARN_BACKEND= SDL_VIDEODRIVER= SDL_AUDIODRIVER=dummy", &err), 0) << err;
  EXPECT_EQ(err.find("running headless"), std::string::npos) << err;
}

// A window that loses the keyboard focus under Xvfb is the console minimised:
// nothing is presented from the moment the program takes the loss until it
// takes the focus back, then the game goes on. The script waits for each change
// in the program's window log, not for a time, and holds the focus away for a
// second once the loss is taken.
TEST(Program, WindowWithoutFocusStandsStill) {
#if defined(__arm__)
  GTEST_SKIP() << "the ARM build has no window backend";
#endif
  for (const char* tool : {"Xvfb", "xdotool", "xwininfo"})
    if (!zt::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  const std::string dir = zt::TempDir("standin_focus");
  ASSERT_TRUE(zt::LinkRes(dir)) << "no resource packs";
  const std::string exe = std::string(ZARN_BINARY_DIR) + "/zarn";
  {
    // A window that never had the focus has none to lose: the focus goes to it
    // and away again until the loss is taken.
    std::ofstream sh(dir + "/focus.sh");
    sh << "cd '" << dir << "'\n"
       << "played() { [ $(ls out 2>/dev/null | wc -l) -ge $1 ]; }\n"
       << "taken() { grep -q \"^$1 \" changes.txt 2>/dev/null; }\n"
       // Whether a test holds within that many seconds.
       << "within() {\n"
       << "  end=$(($(date +%s) + $1)); shift\n"
       << "  until \"$@\"; do [ $(date +%s) -lt $end ] || return 1; sleep 0.1; done\n"
       << "}\n"
       << "alive() { s=$(ps -o stat= -p $pid) && [ \"${s#Z}\" = \"$s\" ]; }\n"
       // Ends the game as a closed window does; one that stays is killed.
       << "stop() {\n"
       << "  kill $pid; for i in $(seq 100); do alive || break; sleep 0.1; done\n"
       << "  alive && { echo 'the game did not quit' >&2; kill -9 $pid; wait $pid; exit 6; }\n"
       << "  wait $pid\n"
       << "}\n"
       << "ZARN_BACKEND=sdl ZARN_START=timed,seed=12 ZARN_FRAMETIMES=times.txt ZARN_WINDOWLOG=changes.txt "
       << "ZARN_DUMP=out ZARN_DUMP_EVERY=30 SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 '" << exe
       << "' 2>err.txt &\n"
       << "pid=$!\n"
       << zt::WaitWindowShell()
       << "within 60 played 2\n"
       << "root=$(xwininfo -root | awk '/Window id/{print $4}')\n"
       << "for try in 1 2 3 4 5; do\n"
       << "  xdotool windowfocus \"$w\"; sleep 0.5; xdotool windowfocus \"$root\"\n"
       << "  within 3 taken hidden && break\n"
       << "done\n"
       << "taken hidden || { echo 'the game never took the loss of the focus' >&2; stop; exit 4; }\n"
       << "sleep 1\n"
       << "n=$(ls out | wc -l)\n"
       << "for try in $(seq 30); do xdotool windowfocus \"$w\"; within 1 taken shown && break; done\n"
       << "taken shown || { echo 'the game never took the focus back' >&2; stop; exit 5; }\n"
       << "within 60 played $((n + 2))\n"
       << "stop; exit 0\n";
  }
  ASSERT_EQ(zt::Run("timeout 300 " + zt::XvfbCommand("1024x768x24") + " sh '" + dir + "/focus.sh'"), 0);
  struct Change {
    std::string what;
    uint32_t frames;
    uint64_t us;
  };
  std::vector<Change> changes;
  {
    std::ifstream log(dir + "/changes.txt");
    for (Change c; log >> c.what >> c.frames >> c.us;) changes.push_back(c);
  }
  std::vector<uint64_t> stamps;
  {
    std::ifstream times(dir + "/times.txt");
    for (uint64_t n, us; times >> n >> us;) stamps.push_back(us);
  }
  ASSERT_GE(changes.size(), 2u);
  ASSERT_EQ(changes.size() % 2, 0u) << "the program ended hidden";
  auto presented = [&](uint64_t from, uint64_t to) {
    return std::count_if(stamps.begin(), stamps.end(), [&](uint64_t us) { return us > from && us < to; });
  };
  for (size_t i = 0; i < changes.size(); i += 2) {
    const Change &hidden = changes[i], &shown = changes[i + 1];
    ASSERT_EQ(hidden.what, "hidden") << i;
    ASSERT_EQ(shown.what, "shown") << i;
    EXPECT_EQ(presented(hidden.us, shown.us), 0) << "frames while hidden, change " << i;
    EXPECT_EQ(shown.frames, hidden.frames) << i;
  }
  // The script's loss is the last: it lasts the script's second at least, the
  // game played before it, and plays on once the focus is back.
  const Change &lost = changes[changes.size() - 2], &back = changes.back();
  EXPECT_GE(back.us - lost.us, 1000000u);
  EXPECT_GE(presented(0, lost.us), 60) << stamps.size() << " frames";
  EXPECT_GT(presented(back.us, UINT64_MAX), 10) << "no frames once the focus was back";
}

}  // namespace

#if defined(ZARN_HAVE_SDL2)
#include <SDL.h>

// A key pressed and released between two polls still reaches the register for
// one frame: the release waits for the next pump.
TEST(Window, QuickTapIsHeldUntilTheNextFrame) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  standin::Config cfg = zt::HeadlessConfig();
  cfg.backend = "sdl";
  standin::Configure(cfg);
  standin::FbPresented();  // opens the window backend
  if (!SDL_WasInit(SDL_INIT_VIDEO)) GTEST_SKIP() << "no SDL video";
  auto push = [](Uint32 type, SDL_Keycode key) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = key;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  };
  push(SDL_KEYDOWN, SDLK_x);
  push(SDL_KEYUP, SDLK_x);
  standin::FbPresented();
  EXPECT_TRUE(standin::ButtonPressed(14));
  standin::FbPresented();
  EXPECT_FALSE(standin::ButtonPressed(14));
  // A press held across frames is released when its release comes.
  push(SDL_KEYDOWN, SDLK_LEFT);
  standin::FbPresented();
  EXPECT_TRUE(standin::ButtonPressed(3));
  standin::FbPresented();
  EXPECT_TRUE(standin::ButtonPressed(3));
  push(SDL_KEYUP, SDLK_LEFT);
  standin::FbPresented();
  EXPECT_FALSE(standin::ButtonPressed(3));
  standin::Configure(zt::HeadlessConfig());
  unsetenv("SDL_VIDEODRIVER");
}

// The window minimised or without the focus is the console minimised; it is
// back once it is restored and has the focus again. While hidden nothing is
// presented, so its events are read where the program asks. The window can
// minimise itself and carries the game's name.
TEST(Window, MinimisedOrUnfocusedIsHidden) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  standin::Config cfg = zt::HeadlessConfig();
  cfg.backend = "sdl";
  standin::Configure(cfg);
  standin::FbPresented();
  if (!SDL_WasInit(SDL_INIT_VIDEO)) GTEST_SKIP() << "no SDL video";
  EXPECT_TRUE(standin::CanMinimize());
  SDL_Window* window = nullptr;
  for (Uint32 id = 1; id < 16 && !window; id++) window = SDL_GetWindowFromID(id);
  ASSERT_NE(window, nullptr);
  EXPECT_STREQ(SDL_GetWindowTitle(window), standin::kWindowTitle);
  auto push = [&](Uint8 event) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(window);
    e.window.event = event;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  };
  using E = standin::WindowEvent;
  EXPECT_EQ(standin::PollWindowEvent(), E::kNone);
  push(SDL_WINDOWEVENT_FOCUS_LOST);
  standin::FbPresented();
  EXPECT_EQ(standin::PollWindowEvent(), E::kHidden);
  push(SDL_WINDOWEVENT_MINIMIZED);
  push(SDL_WINDOWEVENT_FOCUS_GAINED);
  EXPECT_EQ(standin::PollWindowEvent(), E::kNone);  // still minimised
  push(SDL_WINDOWEVENT_RESTORED);
  EXPECT_EQ(standin::PollWindowEvent(), E::kShown);
  // Closed while hidden: shown again, so that the game can quit.
  push(SDL_WINDOWEVENT_MINIMIZED);
  EXPECT_EQ(standin::PollWindowEvent(), E::kNone);  // read by the next present
  standin::FbPresented();
  EXPECT_EQ(standin::PollWindowEvent(), E::kHidden);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  ASSERT_EQ(SDL_PushEvent(&quit), 1);
  EXPECT_EQ(standin::PollWindowEvent(), E::kShown);
  EXPECT_TRUE(standin::QuitRequested());
  standin::Configure(zt::HeadlessConfig());
  unsetenv("SDL_VIDEODRIVER");
}
#endif
