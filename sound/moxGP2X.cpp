#include "sound/moxGP2X.h"

#include <time.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "standin/standin.h"

moxGP2X::moxGP2X() = default;

moxGP2X::~moxGP2X() {
  if (opened_) close();
  std::free(ring_);
}

bool moxGP2X::layout(const AudioSpec& spec, unsigned frames, uint32_t* count, uint32_t* size,
                     uint32_t* bytesPerFrame) {
  const uint32_t f = spec.format;
  if (f == 0 || ((f & MOX_AUDIO_8BIT) && (f & MOX_AUDIO_SIGNED)) ||
      ((f & MOX_AUDIO_16BIT) && (f & MOX_AUDIO_UNSIGNED)))
    return false;
  if (spec.channels != 1 && spec.channels != 2) return false;
  // A rate of 0 would divide by zero below; no device plays it.
  if (spec.rate == 0) return false;
  uint64_t ms = static_cast<uint64_t>(frames) * 1000u / spec.rate;
  uint64_t n = ms / 20;
  if (n < 3) n = 3;
  if (n > 16) n = 16;
  const uint32_t bpf = spec.channels * ((f & MOX_AUDIO_16BIT) ? 2u : 1u);
  const uint64_t bytes = (static_cast<uint64_t>(bpf) * spec.rate * 20u / 1000u + 7u) & ~uint64_t{7};
  if (bytes == 0 || bytes > 0x1000000u) return false;
  *count = static_cast<uint32_t>(n);
  *size = static_cast<uint32_t>(bytes);
  *bytesPerFrame = bpf;
  return true;
}

int moxGP2X::open(AudioSpec* spec, unsigned frames, moxAudioCallback callback, void* user) {
  if (opened_) return MOXDRV_OPEN;
  if (!spec || !callback) return MOXDRV_ARGS;
  spec_ = *spec;
  callback_ = callback;
  user_ = user;
  uint32_t count, size, bpf;
  if (!layout(spec_, frames, &count, &size, &bpf)) return MOXDRV_REFUSED;
  fragments_ = count;
  fragmentSize_ = size;
  bytesPerFrame_ = bpf;
  std::free(ring_);
  ringSize_ = count * size;
  ring_ = static_cast<unsigned char*>(std::malloc(ringSize_));
  if (!ring_) {
    ringSize_ = 0;
    return MOXDRV_MEMORY;
  }
  const bool wide = (spec_.format & MOX_AUDIO_16BIT) != 0;
  std::memset(ring_, wide ? 0 : 0x80, ringSize_);
  fd_ = standin::DspOpen();
  if (fd_ < 0) {
    fd_ = 0;
    return MOXDRV_REFUSED;
  }
  int rate = static_cast<int>(spec_.rate), fmt = wide ? 16 : 8, stereo = spec_.channels > 1;
  standin::DspSetSpeed(fd_, &rate);
  standin::DspSetFormat(fd_, &fmt);
  standin::DspSetStereo(fd_, &stereo);
  next_ = 0;
  quit_.store(0);
  suspended_.store(1);
  written_.store(0);
  try {
    thread_ = std::thread(&moxGP2X::feeder, this);
  } catch (...) {
    standin::DspClose(fd_);
    fd_ = 0;
    return MOXDRV_REFUSED;
  }
  opened_ = 1;
  return 0;
}

void moxGP2X::suspend() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  suspended_.store(1);
  if (opened_) standin::DspPause(fd_, true);
}

void moxGP2X::resume() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  if (opened_) standin::DspPause(fd_, false);
  suspended_.store(0);
}

void moxGP2X::rest() {
  const uint64_t frames = fragmentSize_ / bytesPerFrame_;
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(frames * 1000000u / spec_.rate);
  std::unique_lock<std::mutex> l(restMutex_);
  restWake_.wait_until(l, until, [&] { return quit_.load() != 0; });
}

void moxGP2X::feeder() {
  const timespec pause = {0, 50000};
  while (quit_.load() == 0) {
    nanosleep(&pause, nullptr);
    unsigned char* fragment = ring_ + static_cast<size_t>(next_) * fragmentSize_;
    {
      // Checked under the lock that suspend() takes: no mix starts after it.
      std::lock_guard<std::recursive_mutex> g(lock_);
      if (suspended_.load()) continue;
      callback_(user_, fragment, static_cast<int>(fragmentSize_));
    }
    // Blocks while the device's buffer is full: this is what paces the loop. A
    // device that fails at once would let the mixer race through the music.
    if (standin::DspWrite(fd_, fragment, fragmentSize_) <= 0) {
      rest();
      continue;
    }
    written_.fetch_add(1);
    if (++next_ >= fragments_) next_ = 0;
  }
}

int moxGP2X::close() {
  if (!opened_) return MOXDRV_CLOSED;
  {
    std::lock_guard<std::mutex> l(restMutex_);
    quit_.store(1);
  }
  restWake_.notify_all();
  // Wakes a write that waits on the device, so the join cannot hang.
  standin::DspReset(fd_);
  if (thread_.joinable()) thread_.join();
  opened_ = 0;
  standin::DspClose(fd_);
  fd_ = 0;
  suspended_.store(1);
  return 0;
}
