// One frame of the application, the frame-rate lock and the button poll.
#include "framework/zarn.h"
#include "net/emod_connect.h"
#include "standin/standin.h"

void ClassZarn::ShortSleep() { standin::SleepUs(config_.idlesleep ? 1000 : 0); }

// A desktop window hidden (minimised or without the focus) and shown again is
// the console's minimise and restore.
void ClassZarn::CheckWindow() {
  switch (standin::PollWindowEvent()) {
    case standin::WindowEvent::kHidden:
      ChangeAppStatus(ZAS_MINIMIZED);
      break;
    case standin::WindowEvent::kShown:
      if (state_ == ZAS_MINIMIZED) ChangeAppStatus(ZAS_RUNNING);
      break;
    default:
      break;
  }
}

int ClassZarn::MainLoop(bool) {
  CheckWindow();
  const bool runs = state_ == ZAS_RUNNING || (state_ == ZAS_INACTIVE && !config_.inactivesuspend);
  if (!runs) {
    standin::SleepUs(100000);
    return 0;
  }
  vtimer_.SetSpeed(1000);
  vtimer_.Update();
  const uint32_t delta = vtimer_.RetrieveDelta();
  LockFPS();
  CalculateFPS();
  for (uint32_t i = 0; i < config_.maxconnections && i < kMaxConnections; i++)
    if (connections_[i]) connections_[i]->CheckSockets(window_);
  if (recordingActive_) AddRecordEvent(delta < 256 ? 0 : 1, static_cast<int32_t>(delta));
  if (playback_) {
    PlayRecordingLoop(delta);
  } else {
    input_.CheckRepeat(delta);
    OnNextFrame(&display_, delta);
    sound_.Update(delta);
    input_.ResetEvents();
  }
  CheckInput();
  if (!(config_.flags & 0x1)) display_.Flip(false);
  return 0;
}

void ClassZarn::CalculateFPS() {
  const uint32_t now = ClassERTimer::Count();
  const uint32_t span = now - lastMeasure_;
  if (span > 500) {
    fps_ = frameCount_ * 100000u / span;
    lastMeasure_ = now;
    frameCount_ = 0;
  }
  frameCount_++;
}

void ClassZarn::LockFPS() {
  const uint32_t fps = config_.fpslock;
  if (fps == 0) {
    lockTarget_ = lockElapsed_;
    ShortSleep();
  } else {
    lockElapsed_ += vtimer_.RetrieveDelta() * 1000u;
    const uint32_t q = (lockRemainder_ + 1000000u) / fps;
    lockRemainder_ = (lockRemainder_ + 1000000u) % fps;
    lockTarget_ += q;
    if (lockTarget_ <= lockElapsed_) {
      // A late frame does not make later frames hurry.
      lockTarget_ = lockElapsed_;
      ShortSleep();
    } else {
      const uint32_t w = ((lockTarget_ - lockElapsed_) / 1000u) * 1000u;
      if (w > 0)
        standin::SleepUs(w);
      else
        ShortSleep();
    }
  }
  if (lockElapsed_ > 9999999u && lockTarget_ > 9999999u) {
    lockTarget_ %= 10000000u;
    lockElapsed_ %= 10000000u;
  }
}

uint32_t ClassZarn::PressedMask() const { return pressed_; }

void ClassZarn::CheckInput() {
  uint32_t m = EDevice_ReadReg16(0x1198) & 0xFF;
  // A lone diagonal becomes its two neighbouring directions.
  switch (m) {
    case 0xFD: m = 0xFA; break;
    case 0xF7: m = 0xEB; break;
    case 0xDF: m = 0xAF; break;
    case 0x7F: m = 0xBE; break;
    default: break;
  }
  const uint32_t raw = m | (EDevice_ReadReg16(0x1184) & 0xFF00u) |
                       (static_cast<uint32_t>(EDevice_ReadReg16(0x1186)) << 16);
  const uint32_t now = ~raw;
  const uint32_t before = pressed_;
  for (uint32_t n = 0; n < 32; n++) {
    const uint32_t bit = 1u << n;
    if ((now & bit) == (before & bit)) continue;
    uint32_t code = n + 1;
    display_.VirtualDPad(&code, &buttonlist_);
    if (now & bit) {
      OnButtonDown(code, &buttonlist_);
      input_.OnKeyDown(code);
      if (recordingActive_) AddRecordEvent(3, static_cast<int32_t>(code));
    } else {
      OnButtonUp(code, &buttonlist_);
      input_.OnKeyUp(code);
      if (recordingActive_) AddRecordEvent(2, static_cast<int32_t>(code));
    }
  }
  pressed_ = now;
}
