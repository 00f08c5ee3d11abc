// Internal interface between the stand-in's contract (standin.cpp) and its backends.
#ifndef ZARN_STANDIN_BACKEND_H
#define ZARN_STANDIN_BACKEND_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "standin/standin.h"

namespace standin {

class Backend {
 public:
  virtual ~Backend() = default;
  virtual int MemOpen() = 0;
  virtual uint8_t* MemMap(int fd) = 0;
  virtual void MemUnmap(uint8_t* block) = 0;
  virtual void MemClose(int fd) = 0;
  virtual int FbOpen() = 0;
  virtual int FbGetScreenInfo(int fd, FbScreenInfo* info) = 0;
  virtual uint8_t* FbMap(int fd, uint32_t bytes) = 0;
  virtual void FbUnmap(uint8_t* pixels, uint32_t bytes) = 0;
  virtual void FbClose(int fd) = 0;
  virtual void FbPresented() = 0;
  virtual int DspOpen() = 0;
  virtual int DspSetSpeed(int fd, int* rate) = 0;
  virtual int DspSetFormat(int fd, int* format) = 0;
  virtual int DspSetStereo(int fd, int* stereo) = 0;
  virtual int32_t DspWrite(int fd, const void* data, uint32_t bytes) = 0;
  virtual int DspReset(int fd) = 0;
  virtual void DspClose(int fd) = 0;
  // The fake clock moved forward (the program slept).
  virtual void ClockAdvanced() {}
  virtual int BatteryRead(uint16_t* value) = 0;
  virtual void RunMenuProgram() = 0;
  // A window of the backend is minimised or without the focus. `idle`: the
  // program presents no frames now, so the backend reads its events here.
  virtual bool WindowHidden(bool /*idle*/) { return false; }
  virtual bool CanMinimize() { return false; }
  virtual void MinimizeWindow() {}
};

// The memory-backed console: the base of the window backend too.
class HeadlessBackend : public Backend {
 public:
  ~HeadlessBackend() override;
  int MemOpen() override;
  uint8_t* MemMap(int fd) override;
  void MemUnmap(uint8_t* block) override;
  void MemClose(int fd) override;
  int FbOpen() override;
  int FbGetScreenInfo(int fd, FbScreenInfo* info) override;
  uint8_t* FbMap(int fd, uint32_t bytes) override;
  void FbUnmap(uint8_t* pixels, uint32_t bytes) override;
  void FbClose(int fd) override;
  void FbPresented() override;
  int DspOpen() override;
  int DspSetSpeed(int fd, int* rate) override;
  int DspSetFormat(int fd, int* format) override;
  int DspSetStereo(int fd, int* stereo) override;
  int32_t DspWrite(int fd, const void* data, uint32_t bytes) override;
  int DspReset(int fd) override;
  void DspClose(int fd) override;
  void ClockAdvanced() override;
  int BatteryRead(uint16_t* value) override;
  void RunMenuProgram() override;

 protected:
  void WriteAudioFile();
  // Appends a fragment to the captured sound; returns its length in frames.
  uint32_t Capture(const void* data, uint32_t bytes);
  int dspRate_ = 8000, dspFormat_ = 0x10, dspStereo_ = 0;
  std::atomic<bool> dspOpen_{false};
  // The writer's place on the program's clock (fake clock runs).
  std::mutex dspMutex_;
  std::condition_variable dspWake_;
  uint64_t dspFrames_ = 0;        // frames written since open
  uint64_t dspWaitingFor_ = 0;    // clock (us) at which a blocked write returns
  bool dspBlocked_ = false;
  bool dspReset_ = false;
  uint64_t dspActivity_ = 0;      // count of writes, to tell a stalled writer
};

Backend* MakeHeadlessBackend();
Backend* MakeSdlBackend();     // nullptr when SDL2 was not built in or cannot start
Backend* MakeDeviceBackend();  // nullptr outside the ARM build

// Shared state that backends read and write.
namespace state {
extern uint8_t* fbPixels;           // the current mapping (headless)
extern uint32_t fbBytes;
extern uint32_t framesPresented;
extern uint32_t menuCalls;
extern std::vector<int16_t> audio;  // what was written to the audio device
extern int audioRate, audioChannels;
}  // namespace state

// Runs the per-frame work shared by the desktop backends: frame count, dumps,
// button script and frame limit.
void AfterPresent();
// Converts a frame-buffer image to 8-bit RGB.
void FrameToRgb(const uint8_t* pixels, uint32_t width, uint32_t height, uint32_t pitch,
                const FbScreenInfo& format, std::vector<uint8_t>* rgb);

}  // namespace standin

#endif
