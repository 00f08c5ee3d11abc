// The stand-in for the console's devices.
//
// The framework touches the console only through the functions below, each at the
// place where the console code would open a device, issue an ioctl, map memory,
// read a clock or start the menu program. Three backends implement them:
//
//   headless  memory frame buffer, optional PNG frame dumps, button scripts and a
//             frame limit; the default when no window can be opened
//   sdl       a desktop window (3x), keyboard and game controller mapped onto the
//             console's buttons; closing the window quits the game
//   device    the real console devices (/dev/mem, /dev/fb0, /dev/dsp, /dev/batt),
//             built into the ARM cross build only
//
// The program reads no arguments; the backend is configured from the environment:
//   ZARN_BACKEND   headless | sdl | device (default: device on ARM, sdl when
//                  DISPLAY or WAYLAND_DISPLAY is set and SDL2 was built, else headless);
//                  a window that cannot open is a failed start (DeviceError)
//   ZARN_FRAMES    stop after this many presented frames (quits like the game's own quit)
//   ZARN_DUMP      folder for PNG frame dumps (headless and sdl)
//   ZARN_DUMP_EVERY  dump every n-th frame (default 1); ZARN_DUMP_FRAMES=a,b,c dumps those
//   ZARN_BUTTONS   button script "frame:+code,frame:-code,..." or "@file" (same text)
//   ZARN_CLOCK     "fake": a clock that advances only when the program sleeps
//   ZARN_FB        frame-buffer geometry "WxH@BPP[/G][+VX]" e.g. 320x240@16/6+352
//   ZARN_FAIL      comma list of seams to fail: mem, fbopen, fbinfo, fbmap, dsp (the
//                  audio device does not open), dspwrite (its writes fail at once)
//   ZARN_BATTERY   raw 16-bit battery reading (default: no battery device)
//   ZARN_AUDIO     headless: a path to write the mixed sound to, as a 16-bit WAV file,
//                  written as it plays (nothing is kept in memory, with or without it)
//   ZARN_SAVE_STOP "1": the settings save stops the process (SIGSTOP) after the
//                  new file is written and before it replaces the old one
//   ZARN_FRAMETIMES  a path: when the process ends, one line per presented frame,
//                  "N US" (the frame's number, then the real monotonic clock in
//                  microseconds when it was presented, whatever ZARN_CLOCK says),
//                  so a test can see the frame pacing of a run
//   ZARN_MINIMIZE  "frame:ms,...": after presenting that frame the console is
//                  minimised, and restored once ms milliseconds of the program's
//                  clock have passed (what a hidden window does, without one)
//   ZARN_WINDOWLOG a path: one line per minimise and restore as the program takes
//                  it, "hidden N US" or "shown N US" (the frames presented so far,
//                  then the clock of ZARN_FRAMETIMES), written at once, so a test
//                  can wait for them
//
// Tests configure the same things directly with Configure().
#ifndef ZARN_STANDIN_H
#define ZARN_STANDIN_H

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace standin {

// The desktop window's title: the game's name, as on its title screen.
constexpr const char kWindowTitle[] = "Tavlin 2";

// ---- Register block ("/dev/mem", 64 KiB at physical 0xC0000000) ----------------
// A 64 KiB block reset to 0xFF bytes: buttons are active-low. Button code n is
// bit n-1 of the 16-bit word at 0x1198 (codes 1-8), bit n-1 of the word at 0x1184
// (codes 9-16) and bit n-17 of the word at 0x1186 (codes 17-32). Bit 4 of 0x1182
// (vertical sync) reads as clear, so a wait on it never hangs.
constexpr uint32_t kRegisterBlockSize = 0x10000;
int MemOpen();                          // descriptor >= 0, or -1
uint8_t* MemMap(int fd);                // the block, or nullptr
void MemUnmap(uint8_t* block);
void MemClose(int fd);
// Presses or releases a button in the register block (backends, scripts, tests).
void SetButton(uint32_t code, bool pressed);
bool ButtonPressed(uint32_t code);
uint8_t* RegisterBlock();               // the block's storage (desktop backends)

// ---- Frame buffer ("/dev/fb0") -------------------------------------------------
struct FbBitfield {
  uint32_t offset, length, msb_right;
};
// The fields of FBIOGET_VSCREENINFO that the display reads.
struct FbScreenInfo {
  uint32_t xres, yres, xres_virtual, yres_virtual, xoffset, yoffset;
  uint32_t bits_per_pixel, grayscale;
  FbBitfield red, green, blue, transp;
};
int FbOpen();                                          // descriptor or -1
int FbGetScreenInfo(int fd, FbScreenInfo* info);      // 0, or -1 (ioctl 0x4600)
uint8_t* FbMap(int fd, uint32_t bytes);               // mapping, or nullptr
void FbUnmap(uint8_t* pixels, uint32_t bytes);
void FbClose(int fd);
// Called by the display after each flip: the backend shows or dumps the frame,
// runs the button script and counts frames against the frame limit.
void FbPresented();

// ---- Audio ("/dev/dsp", OSS) ---------------------------------------------------
int DspOpen();                                         // descriptor or -1
int DspSetSpeed(int fd, int* rate);                   // SNDCTL_DSP_SPEED: 0 or -1
int DspSetFormat(int fd, int* format);                // SNDCTL_DSP_SETFMT (0x10 = S16_LE)
int DspSetStereo(int fd, int* stereo);                // SNDCTL_DSP_STEREO
// Blocks while the device's buffer is full, which paces the caller; bytes or -1.
// Headless, the device plays at the program's clock: with the fake clock a write
// returns once the clock has reached the end of its fragment (however long that
// takes), and the program's own sleeps wait for an active writer to catch up:
// each returns once the writer waits for a fragment that ends later than the
// clock. So sound and frames stay in step on any machine. A writer that does not
// catch up within a minute of real time is reported on stderr once and not
// waited for until it writes again.
int32_t DspWrite(int fd, const void* data, uint32_t bytes);
// The writer stops writing (paused) or starts again. The console's device takes
// no notice. Headless, the program's sleeps do not wait for a paused writer, and
// a writer that starts again plays from the clock's time, not from where it
// stopped (the device ran dry in between). A device opens paused.
void DspPause(int fd, bool paused);
// SNDCTL_DSP_RESET: drops what is queued and wakes a write that is blocked.
int DspReset(int fd);
void DspClose(int fd);

// ---- Battery ("/dev/batt") -----------------------------------------------------
// Reads the 16-bit battery value; returns the number of bytes read (2) or -1.
int BatteryRead(uint16_t* value);

// ---- Devices that cannot open ----------------------------------------------------
// Why the console's devices do not open, when the stand-in knows: empty while
// they can. The window backend, when it is to be used (ZARN_BACKEND=sdl, or
// DISPLAY or WAYLAND_DISPLAY set) but cannot open its window, leaves here why,
// naming the display; the register block and the frame buffer then do not
// open, so the program's start fails instead of running with no window.
const std::string& DeviceError();

// ---- Menu program ("/usr/gp2x", "gp2xmenu") -------------------------------------
// Device: changes to /usr/gp2x and replaces the process with the menu program,
// returning only when that fails. Desktop: records the call and ends the process
// with `status`: 0 after a normal run, non-zero after a start that failed (tests
// can ask it to only record).
void RunMenuProgram(int status = 0);

// ---- Clocks --------------------------------------------------------------------
uint32_t ClockMs();          // monotonic milliseconds, wrapping at 32 bits
uint64_t ClockUs();          // monotonic microseconds
void SleepUs(uint32_t us);   // usleep; advances the fake clock instead when it is on
std::time_t WallTime();      // time(): real or injected
bool LocalTime(std::time_t t, std::tm* out);   // localtime_r in the injected zone
bool UtcTime(std::time_t t, std::tm* out);     // gmtime_r

// ---- Settings save ---------------------------------------------------------------
// Called by the settings save between writing its temporary file and renaming it
// over the old one. Does nothing unless the configuration asks it to stop the
// process there, so a test can kill the program mid-save.
void SettingsSavePoint();

// ---- Quit requests from the outside (window closed, frame limit reached) --------
bool QuitRequested();
void RequestQuit();

// ---- Minimise and restore --------------------------------------------------------
// The console itself is never minimised and cannot minimise. The window backend
// reports its window hidden while it is minimised or has lost the keyboard focus,
// and shown once it is back with the focus; the framework takes these as the
// console's minimise and restore. The `minimize` script of the configuration does
// the same on any backend. A quit request shows the program again, so that it
// can end the way it does.
enum class WindowEvent { kNone, kHidden, kShown };
// The change since the last call, if any. While hidden nothing is presented, so
// the window backend reads its window's events here too.
WindowEvent PollWindowEvent();
// Whether MinimizeWindow does anything: only in the window backend.
bool CanMinimize();
void MinimizeWindow();

// ---- Configuration (environment at first use, or Configure() in tests) ----------
struct Config {
  std::string backend = "headless";   // headless | sdl | device
  uint32_t frameLimit = 0;           // 0: none
  std::string dumpDir;               // empty: no dumps
  uint32_t dumpEvery = 1;
  std::vector<uint32_t> dumpFrames;  // when non-empty, only these frames
  // Button script: at presented-frame count `frame`, press or release `code`.
  struct ButtonStep {
    uint32_t frame;
    uint32_t code;
    bool pressed;
  };
  std::vector<ButtonStep> buttons;
  bool fakeClock = false;
  FbScreenInfo fb{};                 // filled by Reset() with 320x240, 16 bpp, 5:6:5
  bool failMem = false, failFbOpen = false, failFbInfo = false, failFbMap = false;
  bool failDsp = false;               // the audio device does not open
  bool failDspWrite = false;          // its writes fail at once (-1) instead of blocking
  int32_t battery = -1;              // -1: no battery device
  // Headless: write the audio to this WAV file as it plays. The file starts at
  // the first open of the audio device and follows the program's clock: the
  // time the output was suspended or closed is silence. Its format is that of
  // the first fragment written (8-bit sound is widened to 16 bits); fragments of
  // another rate or channel count are left out and reported once.
  std::string audioPath;
  bool menuExits = true;             // desktop RunMenuProgram ends the process
  bool stopInSave = false;           // SettingsSavePoint raises SIGSTOP
  std::string frameTimesPath;        // empty: presented frames are not stamped
  // Scripted minimise: after presented frame `frame`, minimised for `ms`
  // milliseconds of the program's clock.
  struct MinimizeStep {
    uint32_t frame;
    uint32_t ms;
  };
  std::vector<MinimizeStep> minimize;
  std::string windowLogPath;         // empty: minimise and restore are not logged
  // Injected wall clock (0: real time) and time zone: a fixed offset, seconds
  // east of UTC, in place of the system's zone (TZ).
  std::time_t wallTime = 0;
  bool injectZone = false;
  int32_t zoneOffset = 0;
};
// Default configuration: 320x240 at 16 bits (green length 6), headless.
Config DefaultConfig();
// Reads the ZARN_* variables over the defaults. Errors in the variables are
// reported on stderr and the faulty item is ignored.
Config ConfigFromEnvironment();
// Replaces the configuration and resets all stand-in state: register block to
// 0xFF, frame counter, quit request, fake clock at 0, recorded menu calls.
void Configure(const Config& config);
const Config& CurrentConfig();
// Parses a button script; false with a message when it is malformed.
bool ParseButtonScript(const std::string& text, std::vector<Config::ButtonStep>* out,
                       std::string* error);
// Parses "WxH@BPP[/G][+VX]".
bool ParseFbGeometry(const std::string& text, FbScreenInfo* out);

// ---- Observation (tests and tools) ----------------------------------------------
uint32_t FramesPresented();
uint32_t MenuProgramCalls();
int MenuProgramStatus();   // the status of the last RunMenuProgram call
// The current frame buffer contents and geometry (empty when not mapped).
const uint8_t* FrameBuffer();
// Writes the frame buffer as an 8-bit RGB PNG; false on failure.
bool DumpFrame(const std::string& path);
// Writes pixels in a given format to PNG: 16 bpp with green length 5 or 6, 8 bpp
// (grey), 24 and 32 bpp (blue in the low byte, as the console's frame buffer).
bool WritePng(const std::string& path, const uint8_t* pixels, uint32_t width,
              uint32_t height, uint32_t pitch, const FbScreenInfo& format);
// Frames the headless audio device took since Configure() (the window's sound
// device not counted), and their rate and channels (0 before the first write).
// The sound itself is kept only in the ZARN_AUDIO file.
uint64_t AudioFramesWritten();
// Real monotonic microseconds of each presented frame (only with frameTimesPath),
// and the file of them that ZARN_FRAMETIMES asks for; false when it cannot be written.
const std::vector<uint64_t>& FrameStamps();
bool WriteFrameTimes(const std::string& path);
int AudioRate();
int AudioChannels();

}  // namespace standin

#endif
