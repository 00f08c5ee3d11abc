// Application class: construction, start-up, configuration check and states.
#include "framework/zarn.h"

#include <cstring>

#include "loaders/eldr_base.h"
#include "net/emod_connect.h"
#include "standin/standin.h"

namespace {
constexpr size_t kErrorUnits = 256;
}

ClassZarn::ClassZarn(const ZARNDATA* data) {
  std::memset(&ecd_, 0, sizeof ecd_);
  std::memset(&buttonlist_, 0, sizeof buttonlist_);
  std::memset(&tilt_, 0, sizeof tilt_);
  std::memset(&config_, 0, sizeof config_);
  std::memset(connections_, 0, sizeof connections_);
  if (data)
    std::memcpy(&data_, data, sizeof data_);
  else
    std::memset(&data_, 0, sizeof data_);
  reservedWord_ = 0;
  devicesettings_[0] = devicesettings_[1] = 0;
  std::memset(errortext_, 0, sizeof errortext_);
}

ClassZarn::~ClassZarn() {
  for (auto*& c : connections_) {
    delete c;
    c = nullptr;
  }
  ClassEMemory::DeAlloc(recording_);
  recording_ = nullptr;
  playback_ = nullptr;
  recordingActive_ = 0;
  devicesettings_[0] = devicesettings_[1] = 0;
}

// ---- default callbacks ---------------------------------------------------------
int ClassZarn::OnCreate(ZARNCONFIG*, ZARNDATA*) { return 0; }
int ClassZarn::OnInit(int) { return 0; }
int ClassZarn::OnMinimize() { return 0; }
int ClassZarn::OnRestore() { return 0; }
int ClassZarn::OnPluginLoad(ClassEDisplay*) { return 0; }
int ClassZarn::OnDisplayInit(int, ClassEDisplay*) { return 0; }
int ClassZarn::OnNextFrame(ClassEDisplay*, uint32_t) { return 0; }
void ClassZarn::OnExit(int) {}
void ClassZarn::OnButtonDown(uint32_t, EBUTTONLIST*) {}
void ClassZarn::OnButtonUp(uint32_t, EBUTTONLIST*) {}
void ClassZarn::OnWheel(int32_t) {}
void ClassZarn::OnStylusUp(tagPOINT) {}
void ClassZarn::OnStylusDown(tagPOINT) {}
void ClassZarn::OnStylusDouble(tagPOINT) {}
void ClassZarn::OnStylusMove(tagPOINT) {}
void ClassZarn::OnDeviceTilt(int32_t, int32_t) {}
int ClassZarn::OnMessage(int*, unsigned, int32_t, int32_t) { return 0; }
void ClassZarn::OnNetMessage(uint8_t, int32_t, int32_t, int32_t, uint8_t*) {}

// ---- start-up ------------------------------------------------------------------

ClassZarn* ClassZarn::Start() {
  StartFramework(0);
  return this;
}

void ClassZarn::Init() {
  fps_ = 0;
  lockTarget_ = lockRemainder_ = lockElapsed_ = 0;
  window_ = nullptr;
  ChangeAppStatus(ZAS_STARTING);
  recording_ = nullptr;
  playback_ = nullptr;
  playbackSize_ = 0;
  recordingActive_ = 0;
  playbackClock_ = 0;

  ecd_.reserved = &reservedWord_;
  ecd_.dsp = &display_;
  ecd_.snd = &sound_;
  ecd_.input = &input_;
  ecd_.vtimer = &vtimer_;
  ecd_.file = &file_;
  ecd_.ini = &ini_;
  ecd_.mem = &memory_;
  ecd_.math = &math_;
  ecd_.reserved2 = &reservedMember_;
  ecd_.device = &device_;
  ecd_.console = &console_;
  for (auto*& n : ecd_.net) n = nullptr;
  ecd_.cfg = &config_;
  ecd_.data = &data_;

  ZARNCONFIG& c = config_;
  std::memset(&c, 0, sizeof c);
  c.fpslock = 60;
  c.width = 240;
  c.height = 320;
  c.displaybpp = 32;
  c.renderformat = 32;
  c.orientation = 0;
  c.maxconnections = 1;
  c.surfacetype = 1;
  c.idlesleep = 1;
  c.reserved6 = c.reserved7 = c.reserved8 = 1;
  c.fullscreen = 1;
  c.reserved10 = 1;
  c.inactivesuspend = 1;
  c.reserved11 = c.reserved12 = 1;

  std::memset(&tilt_, 0, sizeof tilt_);
  devicesettings_[0] = devicesettings_[1] = 0;
  pressed_ = 0xFFFFFFFFu;  // a button held at start gives no press
}

int ClassZarn::Check() {
  ZARNCONFIG& c = config_;
  if (c.orientation == 6) c.orientation = static_cast<uint8_t>(display_.GetSystemRotation());
  if (c.orientation > 5) {
    SetErrorMsg("Unknown display rotation");
    return 1;
  }
  if (c.width % 4 != 0) {
    SetErrorMsg("Wrong display size: width not divisible by 4");
    return 1;
  }
  if (c.width < 10 || c.width > 2000 || c.height < 10 || c.height > 2000) {
    SetErrorMsg("Obscure display sizes not supported");
    return 1;
  }
  if (c.fpslock >= 1 && c.fpslock <= 4) {
    SetErrorMsg("Locking FPS below 5 is disabled");
    return 1;
  }
  c.fullscreen = 1;
  return 0;
}

int ClassZarn::StartFramework(int) {
  Init();
  int r = OnCreate(&config_, &data_);
  if (r) return r;
  if (config_.maxconnections > kMaxConnections) config_.maxconnections = kMaxConnections;
  for (uint32_t i = 0; i < config_.maxconnections; i++) {
    connections_[i] = new ClassEConnect();
    ecd_.net[i] = connections_[i];
    connections_[i]->SetConnectID(static_cast<uint8_t>(i));
  }
  r = Check();
  if (r) return r;
  if (config_.orientation == 1 || config_.orientation == 3) {
    uint32_t t = config_.width;
    config_.width = config_.height;
    config_.height = t;
  }
  SetButtonList();
  RegisterDisplayLoaders(&display_);
  r = OnPluginLoad(&display_);
  if (r) return r;
  r = display_.Open(window_, &ecd_, config_.displaybpp, config_.width, config_.height, true);
  if (r) {
    if (r == 4)
      SetErrorMsg("Display has received invalid parameters");
    else if (r == 3)
      SetErrorMsg("The requested display mode is not supported by the hardware");
    else if (r == 1)
      SetErrorMsg("Couldn't open the display device");
    return r;
  }
  SetStatusMsg("Initializing application...");
  math_.Init();
  input_.SetDefaultMappings();
  r = OnInit(data_.startvalue);
  SetStatusMsg("Initializing display...");
  if (r == 0) r = OnDisplayInit(data_.startvalue, &display_);
  vtimer_.Reset();
  vtimer_.SetSpeed(1000);
  if (r) return r;
  SetStatusMsg("Running Zarn...");
  ChangeAppStatus(ZAS_RUNNING);
  if (!(config_.flags & 0x20)) StartTiltEmulator(0, 675, true, 7000, false, 3000);
  while (state_ == ZAS_RUNNING || state_ == ZAS_INACTIVE || state_ == ZAS_MINIMIZED) MainLoop();
  ChangeAppStatus(ZAS_ENDED);
  return 0;
}

void ClassZarn::ChangeAppStatus(uint8_t s) {
  const uint8_t from = state_;
  switch (s) {
    case ZAS_RUNNING:
      if (from == ZAS_INACTIVE || from == ZAS_MINIMIZED) {
        if (from == ZAS_MINIMIZED) devicesettings_[0] = devicesettings_[1] = 0;
        state_ = ZAS_RUNNING;
        sound_.Resume();
        display_.Resume();
        input_.ResetState();
        if (from == ZAS_MINIMIZED || config_.inactivesuspend) {
          vtimer_.Resume();
          OnRestore();
        }
      } else if (from == ZAS_STARTING) {
        state_ = ZAS_RUNNING;
      }
      break;
    case ZAS_INACTIVE:
      if (from == ZAS_RUNNING) {
        state_ = ZAS_INACTIVE;
        if (config_.inactivesuspend) display_.Suspend();
      }
      break;
    case ZAS_MINIMIZED:
      if (from == ZAS_RUNNING || from == ZAS_INACTIVE) {
        state_ = ZAS_MINIMIZED;
        OnMinimize();
        vtimer_.Suspend();
        display_.Suspend();
        sound_.Suspend();
        devicesettings_[0] = devicesettings_[1] = 0;
      }
      break;
    case ZAS_STARTING:
      state_ = ZAS_STARTING;
      break;
    case ZAS_QUITTING:
      if (from <= ZAS_STARTING) state_ = ZAS_QUITTING;
      break;
    case ZAS_ENDED:
      if (from == ZAS_QUITTING) {
        state_ = ZAS_ENDED;
        OnExit(data_.startvalue);
        display_.Close();
        sound_.Close();
      } else if (from == ZAS_STARTING) {
        state_ = ZAS_ENDED;
      }
      break;
    default:
      break;
  }
}

void ClassZarn::Minimize() { standin::MinimizeWindow(); }
bool ClassZarn::CanMinimize() const { return standin::CanMinimize(); }

int ClassZarn::Quit() {
  ChangeAppStatus(ZAS_QUITTING);
  return 0;
}

void ClassZarn::SetErrorMsg(const char* text) {
  if (!text) return;
  size_t i = 0;
  for (; text[i] && i + 1 < kErrorUnits; i++) errortext_[i] = static_cast<unsigned char>(text[i]);
  errortext_[i] = 0;
}

void ClassZarn::SetErrorMsg(const uint16_t* text) {
  if (!text) return;
  size_t i = 0;
  for (; text[i] && i + 1 < kErrorUnits; i++) errortext_[i] = text[i];
  errortext_[i] = 0;
}

void ClassZarn::SetStatusMsg(const char*) {
  // No status text is kept on this console.
}

void ClassZarn::StartTiltEmulator(int16_t x, int16_t y, bool enable, uint32_t range, bool second,
                                  uint32_t rate) {
  tilt_.enable = enable;
  tilt_.range = range;
  tilt_.second = second;
  tilt_.angle[0] = x * 32;
  tilt_.angle[1] = y * 32;
  tilt_.rate[0] = tilt_.rate[1] = rate;
  if (!tilt_.keep) tilt_.current[0] = tilt_.current[1] = rate;
}

void ClassZarn::SetButtonList() {
  std::memset(&buttonlist_, 0, sizeof buttonlist_);
  buttonlist_.ButtonA = 13;
  buttonlist_.ButtonB = 14;
  buttonlist_.ButtonX = 15;
  buttonlist_.ButtonStart = 9;
  buttonlist_.DPadUp = 1;
  buttonlist_.DPadDown = 5;
  buttonlist_.DPadLeft = 3;
  buttonlist_.DPadRight = 7;
  buttonlist_.ButtonL = 11;
  buttonlist_.ButtonR = 12;
}

// ---- rectangles ------------------------------------------------------------------

void SetRect(tagRECT* rc, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (!rc) return;
  rc->left = left;
  rc->top = top;
  rc->right = right;
  rc->bottom = bottom;
}

int InRect(const tagRECT* rc, const tagPOINT* pt) {
  if (!rc || !pt) return 0;
  return pt->x >= rc->left && pt->x < rc->right && pt->y >= rc->top && pt->y < rc->bottom;
}

int RectIntersect(const tagRECT* a, const tagRECT* b, tagRECT* out) {
  if (!a || !b) return 0;
  if (a->left >= a->right || a->top >= a->bottom) return 0;
  if (b->left >= b->right || b->top >= b->bottom) return 0;
  if (b->left >= a->right || a->left >= b->right || b->top >= a->bottom || a->top >= b->bottom)
    return 0;
  if (out) {
    out->left = a->left > b->left ? a->left : b->left;
    out->top = a->top > b->top ? a->top : b->top;
    out->right = a->right < b->right ? a->right : b->right;
    out->bottom = a->bottom < b->bottom ? a->bottom : b->bottom;
  }
  return 1;
}
