// Internal interface between the stand-in's contract (standin.cpp) and its backends.
#ifndef ZARN_STANDIN_BACKEND_H
#define ZARN_STANDIN_BACKEND_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
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
  virtual void DspPause(int, bool) {}
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
  void DspPause(int fd, bool paused) override;
  int DspReset(int fd) override;
  void DspClose(int fd) override;
  void ClockAdvanced() override;
  int BatteryRead(uint16_t* value) override;
  void RunMenuProgram() override;

 protected:
  // The writer's fragments go to a device that plays in real time, not at the
  // program's clock: the program's sleeps stop waiting for it (until close).
  void PlaysInRealTime();

  int dspRate_ = 8000, dspFormat_ = 0x10, dspStereo_ = 0;
  std::atomic<bool> dspOpen_{false};

 private:
  // The ZARN_AUDIO file, written as the sound plays.
  class WavFile {
   public:
    ~WavFile();
    // Appends 16-bit samples (little-endian bytes) or 8-bit ones (widened), first
    // padding the file with silence up to `frameAt`, the frame the fragment
    // starts at on the file's time line.
    void Write(const uint8_t* data, uint32_t bytes, bool eightBit, int rate, int channels, uint64_t frameAt);
    // Brings the header up to date (the file stays open).
    void Finish();

   private:
    bool Start(int rate, int channels);
    void Put(const uint8_t* data, uint32_t bytes);
    void Silence(uint64_t frames);
    std::FILE* file_ = nullptr;
    bool failed_ = false, full_ = false, mismatchReported_ = false;
    int rate_ = 0, channels_ = 0;
    uint64_t frames_ = 0;   // frames in the file
    uint32_t bytes_ = 0;    // data bytes in the file
  };
  // The clock time (us) at which the writer's current run has played out.
  uint64_t RunEndUs() const;
  void Capture(const void* data, uint32_t bytes, uint32_t frames);

  // The writer's place on the program's clock (fake clock runs).
  std::mutex dspMutex_;
  std::condition_variable dspWake_;
  uint64_t runStartUs_ = 0;       // clock when the current run of writes began to play
  uint64_t runFrames_ = 0;        // frames written in it
  uint64_t dspWaitingFor_ = 0;    // clock (us) at which a blocked write returns
  bool dspBlocked_ = false;
  bool dspReset_ = false;
  bool dspPaused_ = true;
  bool dspRealTime_ = false;
  bool dspLost_ = false;          // did not catch up in time: not waited for until it writes
  bool fileOriginSet_ = false;
  uint64_t fileOriginUs_ = 0;     // clock at which the ZARN_AUDIO file begins
  WavFile wav_;
};

Backend* MakeHeadlessBackend();
// nullptr when SDL2 was not built in (error left empty) or when the window
// cannot open (error says why, naming the display).
Backend* MakeSdlBackend(std::string* error);
Backend* MakeDeviceBackend();  // nullptr outside the ARM build

// Shared state that backends read and write.
namespace state {
extern uint8_t* fbPixels;           // the current mapping (headless)
extern uint32_t fbBytes;
extern uint32_t framesPresented;
extern uint32_t menuCalls;
extern uint64_t audioFrames;        // frames the headless audio device took
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
