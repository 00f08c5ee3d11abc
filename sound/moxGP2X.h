// Audio output: the abstract driver and the console's OSS driver with its
// fragment ring and feeder thread.
#ifndef ZARN_SOUND_MOXGP2X_H
#define ZARN_SOUND_MOXGP2X_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "sound/moxUtility.h"

typedef void (*moxAudioCallback)(void* user, unsigned char* buffer, int bytes);

class moxDriver {
 public:
  virtual ~moxDriver() = default;
  virtual int open(AudioSpec* spec, unsigned frames, moxAudioCallback callback, void* user) = 0;
  virtual int close() = 0;
  virtual void enterCriticalSection() = 0;
  virtual void leaveCriticalSection() = 0;
  virtual void suspend() = 0;
  virtual void resume() = 0;
};

// Driver results.
enum : int {
  MOXDRV_REFUSED = -1,   // format refused or device not opened
  MOXDRV_OPEN = -2,      // already open
  MOXDRV_CLOSED = -3,    // close without open
  MOXDRV_MEMORY = -10,   // ring not allocated
  MOXDRV_ARGS = -11,     // null spec or callback
};

class moxGP2X : public moxDriver {
 public:
  moxGP2X();
  ~moxGP2X() override;
  // Opens suspended: output starts with resume(), once the caller is ready to be
  // called back from the feeder thread.
  int open(AudioSpec* spec, unsigned frames, moxAudioCallback callback, void* user) override;
  // Stops and joins the feeder before the device and ring go away.
  int close() override;
  // The channels are shared with the feeder: a real lock (recursive, so that a
  // bracketed mixer call may use bracketed channel calls).
  void enterCriticalSection() override { lock_.lock(); }
  void leaveCriticalSection() override { lock_.unlock(); }
  // Once suspend() has returned the callback is not called again until resume().
  void suspend() override;
  void resume() override;

  // Observation for tests and tools.
  uint32_t fragmentCount() const { return fragments_; }
  uint32_t fragmentSize() const { return fragmentSize_; }
  uint32_t bytesPerFrame() const { return bytesPerFrame_; }
  bool opened() const { return opened_ != 0; }
  bool suspended() const { return suspended_.load() != 0; }
  uint32_t fragmentsWritten() const { return written_.load(); }

  // The ring geometry for a format and a buffer of `frames` frames; false for a
  // format that open refuses.
  static bool layout(const AudioSpec& spec, unsigned frames, uint32_t* count, uint32_t* size,
                     uint32_t* bytesPerFrame);

 private:
  void feeder();
  // After a failed write: waits a fragment's playing time (or until close).
  void rest();

  std::thread thread_;
  std::atomic<uint32_t> quit_{0};
  int fd_ = 0;
  uint32_t fragments_ = 0;
  uint32_t next_ = 0;
  AudioSpec spec_{};
  uint32_t bytesPerFrame_ = 0;
  uint32_t fragmentSize_ = 0;
  unsigned char* ring_ = nullptr;
  uint32_t ringSize_ = 0;
  moxAudioCallback callback_ = nullptr;
  void* user_ = nullptr;
  uint8_t opened_ = 0;
  std::atomic<uint8_t> suspended_{1};
  std::atomic<uint32_t> written_{0};
  std::recursive_mutex lock_;
  std::mutex restMutex_;
  std::condition_variable restWake_;
};

#endif
