// Window backend: the frame buffer shown in an SDL2 window scaled 3x, keyboard
// and game controller mapped onto the console's buttons, sound through SDL audio.
#include <SDL.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "standin/backend.h"

namespace standin {

namespace {

constexpr int kScale = 3;

// Desktop keys and the console buttons they press.
struct KeyButton {
  SDL_Keycode key;
  uint32_t code;
};
const KeyButton kKeys[] = {
    {SDLK_UP, 1},       {SDLK_LEFT, 3},      {SDLK_DOWN, 5},      {SDLK_RIGHT, 7},
    {SDLK_RETURN, 9},   {SDLK_BACKSPACE, 10}, {SDLK_q, 11},       {SDLK_w, 12},
    {SDLK_z, 13},       {SDLK_x, 14},        {SDLK_a, 15},        {SDLK_s, 16},
    {SDLK_MINUS, 23},   {SDLK_KP_MINUS, 23}, {SDLK_EQUALS, 24},   {SDLK_PLUS, 24},
    {SDLK_KP_PLUS, 24}, {SDLK_SPACE, 28},
};

struct PadButton {
  SDL_GameControllerButton button;
  uint32_t code;
};
const PadButton kPad[] = {
    {SDL_CONTROLLER_BUTTON_DPAD_UP, 1},    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, 3},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, 5},  {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 7},
    {SDL_CONTROLLER_BUTTON_START, 9},      {SDL_CONTROLLER_BUTTON_BACK, 10},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, 11}, {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, 12},
    {SDL_CONTROLLER_BUTTON_A, 13},         {SDL_CONTROLLER_BUTTON_B, 14},
    {SDL_CONTROLLER_BUTTON_X, 15},         {SDL_CONTROLLER_BUTTON_Y, 16},
    {SDL_CONTROLLER_BUTTON_LEFTSTICK, 28},
};

class SdlBackend : public HeadlessBackend {
 public:
  // False with the reason in *error when the window cannot be shown.
  bool Start(std::string* error) {
    if (!StartVideo(error)) return false;
    const FbScreenInfo& f = CurrentConfig().fb;
    window_ = SDL_CreateWindow(kWindowTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               int(f.xres) * kScale, int(f.yres) * kScale, 0);
    if (window_) {
      renderer_ = SDL_CreateRenderer(window_, -1, 0);
      if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    }
    if (renderer_) {
      SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
      rgb565_ = f.bits_per_pixel == 16 && f.green.length == 6;
      texture_ = SDL_CreateTexture(renderer_, rgb565_ ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB24,
                                   SDL_TEXTUREACCESS_STREAMING, int(f.xres), int(f.yres));
    }
    if (!texture_) {
      *error = "cannot open the game's window on " + where_ + " (" + SDL_GetError() + ")";
      return false;
    }
    for (int i = 0; i < SDL_NumJoysticks(); i++)
      if (SDL_IsGameController(i)) SDL_GameControllerOpen(i);
    return true;
  }

  ~SdlBackend() override {
    if (keylog_) std::fclose(keylog_);
    if (audio_) SDL_CloseAudioDevice(audio_);
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
    SDL_Quit();
  }

  void FbPresented() override {
    Pump();
    const FbScreenInfo& f = CurrentConfig().fb;
    if (state::fbPixels && texture_) {
      const uint32_t pitch = f.xres_virtual * (f.bits_per_pixel / 8);
      if (static_cast<uint64_t>(pitch) * f.yres <= state::fbBytes) {
        if (rgb565_) {
          SDL_UpdateTexture(texture_, nullptr, state::fbPixels, int(pitch));
        } else {
          FrameToRgb(state::fbPixels, f.xres, f.yres, pitch, f, &rgb_);
          SDL_UpdateTexture(texture_, nullptr, rgb_.data(), int(f.xres * 3));
        }
      }
      SDL_RenderClear(renderer_);
      SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
      SDL_RenderPresent(renderer_);
    }
    AfterPresent();
  }

  // SDL's audio starts on its own, so that a machine without a sound device still
  // gets its window; the device itself opens on the first write, when the format
  // is known.
  int DspOpen() override {
    const int fd = HeadlessBackend::DspOpen();
    if (fd >= 0 && !SDL_WasInit(SDL_INIT_AUDIO)) {
      QuietAlsa();
      if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) AudioFailed();
    }
    return fd;
  }

  int32_t DspWrite(int fd, const void* data, uint32_t bytes) override {
    if (!audio_ && !audioFailed_) OpenAudio();
    // Without a sound device the game plays on silently, paced as headless.
    if (!audio_) return HeadlessBackend::DspWrite(fd, data, bytes);
    // Block like the device: keep at most about three fragments queued.
    while (SDL_GetQueuedAudioSize(audio_) > bytes * 3 && !sdlReset_.load()) SDL_Delay(2);
    sdlReset_.store(false);
    SDL_QueueAudio(audio_, data, bytes);
    return static_cast<int32_t>(bytes);
  }

  bool WindowHidden(bool idle) override {
    // Nothing is presented while hidden: the window's events are read here.
    if (idle) Pump();
    return minimized_ || focusLost_;
  }

  bool CanMinimize() override { return true; }
  // The window manager answers with the event that hides the window.
  void MinimizeWindow() override { SDL_MinimizeWindow(window_); }

  int DspReset(int fd) override {
    if (!audio_) return HeadlessBackend::DspReset(fd);
    sdlReset_.store(true);
    return 0;
  }

  // The writer has stopped (the driver joins it first): the next open may ask
  // for another format.
  void DspClose(int fd) override {
    if (audio_) {
      SDL_CloseAudioDevice(audio_);
      audio_ = 0;
    }
    audioFailed_ = false;
    sdlReset_.store(false);
    HeadlessBackend::DspClose(fd);
  }

 private:
  // A variable's value when it is set and not empty, else null.
  static const char* Env(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
  }

  // SDL, when no display answers, falls back to drivers that show nothing
  // (offscreen, dummy): the game would run on unseen and never end. So only
  // the drivers of the displays the environment names are tried, and with
  // none named SDL's own choice is taken only when it shows something;
  // SDL_VIDEODRIVER, when set, is taken as it stands.
  bool StartVideo(std::string* error) {
    const Uint32 systems = SDL_INIT_VIDEO | SDL_INIT_GAMECONTROLLER;
    if (const char* driver = Env("SDL_VIDEODRIVER")) {
      where_ = std::string("the display of SDL_VIDEODRIVER=") + driver;
      if (SDL_Init(systems) == 0) return true;
      *error = "cannot open the game's window on " + where_ + " (" + SDL_GetError() + ")";
      return false;
    }
    static const struct {
      const char* variable;
      const char* driver;
      const char* what;
    } kDisplays[] = {{"DISPLAY", "x11", "the display"}, {"WAYLAND_DISPLAY", "wayland", "the Wayland display"}};
    std::string tried;
    for (const auto& d : kDisplays) {
      const char* name = Env(d.variable);
      if (!name) continue;
      where_ = std::string(d.what) + " \"" + name + "\"";
      // Over an empty SDL_VIDEODRIVER too, which SDL reads as "any driver".
      SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, d.driver, SDL_HINT_OVERRIDE);
      if (SDL_Init(systems) == 0) {
        const char* driver = SDL_GetCurrentVideoDriver();
        if (driver && std::strcmp(driver, d.driver) == 0) return true;
        SDL_SetError("%s opened in its place", driver ? driver : "another driver");
      }
      tried += (tried.empty() ? "" : ", nor on ") + where_ + " (" + SDL_GetError() + ")";
      SDL_Quit();
    }
    if (!tried.empty()) {
      *error = "cannot open the game's window on " + tried;
      return false;
    }
    where_ = "the system's display";
    if (SDL_Init(systems) == 0) {
      const char* driver = SDL_GetCurrentVideoDriver();
      if (driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0) return true;
      SDL_Quit();
    }
    *error = "cannot open the game's window: no display (DISPLAY and WAYLAND_DISPLAY are not set)";
    return false;
  }

  void OpenAudio() {
    SDL_AudioSpec want{}, have{};
    want.freq = dspRate_;
    want.format = dspFormat_ == 0x08 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(dspStereo_ ? 2 : 1);
    want.samples = 1024;
    audio_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!audio_) {
      AudioFailed();
      return;
    }
    SDL_PauseAudioDevice(audio_, 0);
    PlaysInRealTime();
  }

  // What went wrong is said once, in one line; the sound library's own messages
  // stay off the terminal.
  void AudioFailed() {
    audioFailed_ = true;
    if (!audioReported_)
      std::fprintf(stderr, "stand-in: no sound device (%s); playing on without sound\n", SDL_GetError());
    audioReported_ = true;
  }

  // ALSA, when SDL uses it, prints its errors itself, line after line: they go
  // to a handler that drops them (SDL's own error text says what failed).
  static void QuietAlsa() {
    static bool done = false;
    if (done) return;
    done = true;
    void* lib = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(lib, "snd_lib_error_set_handler"))) set(&DropAlsaError);
  }
  static void DropAlsaError(const char*, int, const char*, int, const char*, ...) {}

  // Buttons change only here, once a frame, and the game polls the register once
  // a frame: a press and its release arriving together would never be seen. A
  // release of a button pressed in the same pump is held back to the next pump.
  void Press(uint32_t code, bool down) {
    const uint32_t bit = 1u << (code & 31);
    if (down) {
      Set(code, true);
      pressedNow_ |= bit;
      releaseDue_ &= ~bit;
    } else if (pressedNow_ & bit) {
      releaseDue_ |= bit;
    } else {
      Set(code, false);
    }
  }

  // Every change, with the frame a button script would give it, goes to the
  // key log when ZARN_KEYLOG names one: replayed headless, it plays the same game.
  void Set(uint32_t code, bool down) {
    SetButton(code, down);
    if (!keylogChecked_) {
      keylogChecked_ = true;
      const char* path = std::getenv("ZARN_KEYLOG");
      if (path && *path) keylog_ = std::fopen(path, "w");
    }
    if (keylog_) {
      std::fprintf(keylog_, "%s%u:%c%u", keylogUsed_ ? "," : "", static_cast<unsigned>(state::framesPresented + 1),
                   down ? '+' : '-', static_cast<unsigned>(code));
      std::fflush(keylog_);
      keylogUsed_ = true;
    }
  }

  void Pump() {
    for (uint32_t code = 1; code <= 32; code++)
      if (releaseDue_ & (1u << (code & 31))) Set(code, false);
    releaseDue_ = 0;
    pressedNow_ = 0;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
      switch (e.type) {
        case SDL_QUIT:
          RequestQuit();
          break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
          if (e.key.repeat) break;
          for (const auto& k : kKeys)
            if (k.key == e.key.keysym.sym) Press(k.code, e.type == SDL_KEYDOWN);
          break;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
          for (const auto& p : kPad)
            if (p.button == e.cbutton.button) Press(p.code, e.type == SDL_CONTROLLERBUTTONDOWN);
          break;
        case SDL_CONTROLLERDEVICEADDED:
          SDL_GameControllerOpen(e.cdevice.which);
          break;
        case SDL_WINDOWEVENT:
          OnWindowEvent(e.window.event);
          break;
        default:
          break;
      }
    }
  }

  void OnWindowEvent(Uint8 event) {
    switch (event) {
      // Shown and hidden come and go while the window opens; minimised
      // windows report these.
      case SDL_WINDOWEVENT_MINIMIZED:
        minimized_ = true;
        break;
      case SDL_WINDOWEVENT_RESTORED:
      case SDL_WINDOWEVENT_MAXIMIZED:
        minimized_ = false;
        break;
      case SDL_WINDOWEVENT_FOCUS_LOST:
        focusLost_ = true;
        break;
      case SDL_WINDOWEVENT_FOCUS_GAINED:
        focusLost_ = false;
        break;
      default:
        break;
    }
  }

  std::string where_;  // the display the window is on, for messages
  SDL_Window* window_ = nullptr;
  bool minimized_ = false, focusLost_ = false;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  SDL_AudioDeviceID audio_ = 0;
  bool audioFailed_ = false;
  bool audioReported_ = false;
  std::atomic<bool> sdlReset_{false};
  bool rgb565_ = true;
  std::FILE* keylog_ = nullptr;
  bool keylogChecked_ = false, keylogUsed_ = false;
  uint32_t pressedNow_ = 0;  // buttons pressed in this pump (bit code & 31)
  uint32_t releaseDue_ = 0;  // their releases, applied at the next pump
  std::vector<uint8_t> rgb_;
};

}  // namespace

Backend* MakeSdlBackend(std::string* error) {
  auto* b = new SdlBackend();
  std::string why;
  if (!b->Start(&why)) {
    delete b;  // closes what did open and quits SDL
    if (error) *error = why;
    return nullptr;
  }
  return b;
}

}  // namespace standin
