// The framework's application class: start-up, frame loop, application states,
// button polling and input recording. An application derives from it, overrides
// its callbacks and calls Start().
#ifndef ZARN_FRAMEWORK_ZARN_H
#define ZARN_FRAMEWORK_ZARN_H

#include <cstdint>

#include "display/edsp_base.h"
#include "framework/emod_device.h"
#include "framework/emod_file.h"
#include "framework/emod_ini.h"
#include "framework/emod_input.h"
#include "framework/emod_math.h"
#include "framework/emod_memory.h"
#include "framework/emod_vtimer.h"
#include "framework/zarn_types.h"
#include "net/enet_events.h"
#include "sound/emod_sound.h"

class ClassEConnect;

// Receives its connections' events through ENetOwner::OnNetMessage.
class ClassZarn : public ENetOwner {
 public:
  explicit ClassZarn(const ZARNDATA* data);
  virtual ~ClassZarn();
  ClassZarn(const ClassZarn&) = delete;
  ClassZarn& operator=(const ClassZarn&) = delete;

  // Callbacks, in slot order.
  virtual int OnCreate(ZARNCONFIG* config, ZARNDATA* data);
  virtual int OnInit(int startvalue);
  virtual int OnMinimize();
  virtual int OnRestore();
  virtual int OnPluginLoad(ClassEDisplay* display);
  virtual int OnDisplayInit(int startvalue, ClassEDisplay* display);
  virtual int OnNextFrame(ClassEDisplay* display, uint32_t elapsed);
  virtual void OnExit(int startvalue);
  virtual void OnButtonDown(uint32_t code, EBUTTONLIST* list);
  virtual void OnButtonUp(uint32_t code, EBUTTONLIST* list);
  virtual void OnWheel(int32_t steps);
  virtual void OnStylusUp(tagPOINT pt);
  virtual void OnStylusDown(tagPOINT pt);
  virtual void OnStylusDouble(tagPOINT pt);
  virtual void OnStylusMove(tagPOINT pt);
  virtual void OnDeviceTilt(int32_t a, int32_t b);
  virtual int OnMessage(int* window, unsigned message, int32_t a, int32_t b);
  void OnNetMessage(uint8_t connection, int32_t peer, int32_t event, int32_t length,
                    uint8_t* data) override;

  // Life of the application.
  ClassZarn* Start();
  int StartFramework(int unused);
  void Init();
  int Check();
  void ChangeAppStatus(uint8_t state);
  int Quit();
  // The console cannot minimise; a desktop window can.
  void Minimize();
  bool CanMinimize() const;
  void* GetWnd() const { return window_; }
  uint8_t GetAppStatus() const { return state_; }
  void SetErrorMsg(const char* text);
  void SetErrorMsg(const uint16_t* text);
  const uint16_t* GetErrorMsg() const { return errortext_; }
  void SetStatusMsg(const char* text);
  void SetStatusMsg(const uint16_t*) {}
  void GetDeviceSettings() { devicesettings_[0] = devicesettings_[1] = 0; }
  void RestoreDeviceSettings() { devicesettings_[0] = devicesettings_[1] = 0; }
  void StartTiltEmulator(int16_t x, int16_t y, bool enable, uint32_t range, bool second,
                         uint32_t rate);
  void SetButtonList();

  // Frame loop.
  int MainLoop(bool unused = false);
  void LockFPS();
  uint32_t GetFPS() const { return fps_ / 100; }
  void GetFPS(uint32_t& whole, uint32_t& hundredths) const {
    whole = fps_ / 100;
    hundredths = fps_ % 100;
  }
  void CalculateFPS();
  void SmartFPS() {}

  // Console buttons.
  void CheckInput();
  uint32_t PressedMask() const;

  // Input recording, playback and the log file.
  int StartRecording(uint32_t capacity);
  void StopRecording();
  void* GetRecordingData() const { return recording_; }
  uint32_t GetRecordingDataSize() const;
  void FreeRecording();
  void PlayRecording(void* data, uint32_t size);
  bool IsPlaying() const { return playback_ != nullptr; }
  bool IsRecording() const { return recordingActive_ != 0; }
  void PlayRecordingLoop(uint32_t elapsed);
  static void Log(const char* text, bool newline);
  static void Log(const uint16_t* text, bool newline);
  void NewLogFile();

  // Framework modules, reachable from the application too.
  ECD* GetECD() { return &ecd_; }
  ZARNCONFIG* GetConfig() { return &config_; }
  EBUTTONLIST* GetButtonList() { return &buttonlist_; }
  ClassEConnect* GetConnection(int i) const {
    return (i >= 0 && i < kMaxConnections) ? connections_[i] : nullptr;
  }

 protected:
  // The tests reach the frame-rate lock's state through this seam
  // (tests/support/zarn_seam.h); the program never does.
  friend struct ZarnTestSeam;

  ECD ecd_;
  void* window_ = nullptr;
  EBUTTONLIST buttonlist_;
  struct TiltEmulator {
    uint8_t enable, second, reserved, keep;
    uint32_t current[2], rate[2], range;
    int32_t angle[2];
  } tilt_;
  uint8_t devicesettings_[2];
  ZARNCONFIG config_;
  ZARNDATA data_;

  // Modules, in the order they are built.
  ClassEDisplay display_;
  ClassESound sound_;
  ClassEInput input_;
  ClassEMemory memory_;
  ClassEVTimer vtimer_;
  ClassEMath math_;
  ClassEFile file_;
  ClassEIni ini_;
  uint32_t reservedMember_ = 0;
  ClassEConsole console_;
  ClassEDevice device_;
  uint32_t reservedWord_ = 0;
  ClassEConnect* connections_[kMaxConnections];

  uint16_t errortext_[256];
  uint32_t pressed_ = 0xFFFFFFFFu;  // bit n: code n + 1 held

  // Input recording.
  uint8_t* recording_ = nullptr;
  uint8_t* playback_ = nullptr;
  uint32_t playbackSize_ = 0;
  uint8_t recordingActive_ = 0;
  uint32_t playbackClock_ = 0;

  // Frame rate.
  uint32_t fps_ = 0;
  uint32_t frameCount_ = 0;
  uint32_t lastMeasure_ = 0;
  uint32_t lockTarget_ = 0;
  uint32_t lockRemainder_ = 0;
  uint32_t lockElapsed_ = 0;

  uint8_t state_ = ZAS_STARTING;

 private:
  void AddRecordEvent(uint8_t type, int32_t a, int32_t b = 0, int32_t c = 0);
  void ShortSleep();
  void CheckWindow();
};

// Appends one event to a recording buffer; on overflow writes nothing and clears
// `active`.
void Zarn_AddRecordEvent(uint8_t* buffer, uint8_t& active, uint8_t type, int32_t a, int32_t b,
                         int32_t c);

#endif
