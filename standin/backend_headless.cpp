// Headless backend: the console's devices kept in memory.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <thread>

#include "standin/backend.h"

namespace standin {

namespace {
// Descriptors handed out by the memory devices; any value >= 0 works for callers.
constexpr int kMemFd = 100, kFbFd = 101, kDspFd = 102;
}  // namespace

HeadlessBackend::~HeadlessBackend() = default;

int HeadlessBackend::MemOpen() { return CurrentConfig().failMem ? -1 : kMemFd; }

uint8_t* HeadlessBackend::MemMap(int fd) {
  if (fd != kMemFd || CurrentConfig().failMem) return nullptr;
  return RegisterBlock();
}

void HeadlessBackend::MemUnmap(uint8_t*) {}
void HeadlessBackend::MemClose(int) {}

int HeadlessBackend::FbOpen() { return CurrentConfig().failFbOpen ? -1 : kFbFd; }

int HeadlessBackend::FbGetScreenInfo(int fd, FbScreenInfo* info) {
  if (fd != kFbFd || !info || CurrentConfig().failFbInfo) return -1;
  *info = CurrentConfig().fb;
  return 0;
}

uint8_t* HeadlessBackend::FbMap(int fd, uint32_t bytes) {
  if (fd != kFbFd || bytes == 0 || CurrentConfig().failFbMap) return nullptr;
  // Exactly the size asked for, so the sanitizer build catches writes past it.
  auto* p = static_cast<uint8_t*>(std::calloc(bytes, 1));
  if (!p) return nullptr;
  std::free(state::fbPixels);
  state::fbPixels = p;
  state::fbBytes = bytes;
  return p;
}

void HeadlessBackend::FbUnmap(uint8_t* pixels, uint32_t) {
  if (pixels && pixels == state::fbPixels) {
    std::free(state::fbPixels);
    state::fbPixels = nullptr;
    state::fbBytes = 0;
  }
}

void HeadlessBackend::FbClose(int) {}

void HeadlessBackend::FbPresented() { AfterPresent(); }

int HeadlessBackend::DspOpen() {
  if (CurrentConfig().failDsp || dspOpen_) return -1;
  std::lock_guard<std::mutex> g(dspMutex_);
  // Nothing is queued: the first fragment plays from now.
  runStartUs_ = ClockUs();
  runFrames_ = 0;
  if (!fileOriginSet_) {
    fileOriginSet_ = true;
    fileOriginUs_ = runStartUs_;
  }
  dspBlocked_ = false;
  dspReset_ = false;
  dspPaused_ = true;
  dspRealTime_ = false;
  dspLost_ = false;
  dspOpen_ = true;
  return kDspFd;
}

int HeadlessBackend::DspSetSpeed(int fd, int* rate) {
  if (fd != kDspFd || !rate || *rate <= 0) return -1;
  dspRate_ = *rate;
  return 0;
}

int HeadlessBackend::DspSetFormat(int fd, int* format) {
  if (fd != kDspFd || !format) return -1;
  // Signed 16-bit little-endian (0x10) and unsigned 8-bit (0x08) are offered.
  if (*format != 0x10 && *format != 0x08) *format = 0x10;
  dspFormat_ = *format;
  return 0;
}

int HeadlessBackend::DspSetStereo(int fd, int* stereo) {
  if (fd != kDspFd || !stereo) return -1;
  dspStereo_ = *stereo ? 1 : 0;
  *stereo = dspStereo_;
  return 0;
}

uint64_t HeadlessBackend::RunEndUs() const {
  return runStartUs_ + runFrames_ * 1000000u / static_cast<uint64_t>(dspRate_);
}

void HeadlessBackend::Capture(const void* data, uint32_t bytes, uint32_t frames) {
  state::audioRate = dspRate_;
  state::audioChannels = dspStereo_ ? 2 : 1;
  state::audioFrames += frames;
  if (CurrentConfig().audioPath.empty()) return;
  // A run's first fragment lands at its place on the clock: what lies before it
  // since the last one (suspended or closed output) is silence.
  uint64_t padTo = 0;
  if (runFrames_ == 0 && runStartUs_ > fileOriginUs_)
    padTo = (runStartUs_ - fileOriginUs_) * static_cast<uint64_t>(dspRate_) / 1000000u;
  wav_.Write(static_cast<const uint8_t*>(data), bytes, dspFormat_ == 0x08, dspRate_, state::audioChannels, padTo);
}

int32_t HeadlessBackend::DspWrite(int fd, const void* data, uint32_t bytes) {
  if (fd != kDspFd || !data || !dspOpen_) return -1;
  if (dspRate_ <= 0 || CurrentConfig().failDspWrite) return -1;
  std::unique_lock<std::mutex> lock(dspMutex_);
  const uint32_t frameBytes = (dspFormat_ == 0x08 ? 1u : 2u) * (dspStereo_ ? 2u : 1u);
  const uint32_t frames = bytes / frameBytes;
  Capture(data, frames * frameBytes, frames);
  runFrames_ += frames;
  dspLost_ = false;
  if (!CurrentConfig().fakeClock) {
    // A real device blocks for as long as the fragment plays (a reset wakes it).
    const auto us = std::chrono::microseconds(static_cast<uint64_t>(frames) * 1000000u / dspRate_);
    dspWake_.wait_for(lock, us, [&] { return dspReset_; });
    dspReset_ = false;
    return static_cast<int32_t>(bytes);
  }
  // The device holds one fragment: the write returns once the program's clock
  // has played it, however long the program takes to get there. A reset (the
  // driver closing) wakes it.
  const uint64_t endUs = RunEndUs();
  dspBlocked_ = true;
  dspWaitingFor_ = endUs;
  dspWake_.notify_all();
  dspWake_.wait(lock, [&] { return dspReset_ || !dspOpen_ || ClockUs() >= endUs; });
  dspBlocked_ = false;
  dspReset_ = false;
  return static_cast<int32_t>(bytes);
}

void HeadlessBackend::DspPause(int fd, bool paused) {
  if (fd != kDspFd || !dspOpen_) return;
  std::lock_guard<std::mutex> g(dspMutex_);
  if (!paused && dspPaused_) {
    // The device ran dry while nothing was written: it plays on from now.
    const uint64_t now = ClockUs();
    if (now > RunEndUs()) {
      runStartUs_ = now;
      runFrames_ = 0;
    }
  }
  dspPaused_ = paused;
  dspWake_.notify_all();
}

void HeadlessBackend::PlaysInRealTime() {
  std::lock_guard<std::mutex> g(dspMutex_);
  dspRealTime_ = true;
  dspWake_.notify_all();
}

void HeadlessBackend::ClockAdvanced() {
  if (!dspOpen_ || CurrentConfig().failDspWrite) return;
  std::unique_lock<std::mutex> lock(dspMutex_);
  dspWake_.notify_all();
  // Let an active writer catch up with the clock: it is done when it waits for a
  // fragment that ends later. Only a writer that never comes is given up on, and
  // that is a fault worth a line.
  const uint64_t now = ClockUs();
  const auto caughtUp = [&] {
    return !dspOpen_ || dspPaused_ || dspRealTime_ || dspLost_ || (dspBlocked_ && dspWaitingFor_ > now);
  };
  if (!dspWake_.wait_for(lock, std::chrono::seconds(60), caughtUp)) {
    dspLost_ = true;
    std::fprintf(stderr, "stand-in: the sound writer did not catch up with the clock in 60 s; not waiting for it\n");
  }
}

int HeadlessBackend::DspReset(int fd) {
  if (fd != kDspFd) return -1;
  std::lock_guard<std::mutex> g(dspMutex_);
  dspReset_ = true;
  dspWake_.notify_all();
  return 0;
}

void HeadlessBackend::DspClose(int fd) {
  if (fd != kDspFd) return;
  std::lock_guard<std::mutex> g(dspMutex_);
  dspOpen_ = false;
  dspWake_.notify_all();
  wav_.Finish();
}

// ---- the ZARN_AUDIO file ------------------------------------------------------------

namespace {
void Put32At(uint8_t* b, uint32_t v) {
  for (int i = 0; i < 4; i++) b[i] = static_cast<uint8_t>(v >> (8 * i));
}
// WAV sizes are 32-bit: the data stops short of 4 GiB.
constexpr uint32_t kMaxWavData = 0xFFFFFFFFu - 36u - 3u;
}  // namespace

bool HeadlessBackend::WavFile::Start(int rate, int channels) {
  const std::string& path = CurrentConfig().audioPath;
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) {
    failed_ = true;
    std::fprintf(stderr, "ZARN_AUDIO: cannot write %s; the sound is not kept\n", path.c_str());
    return false;
  }
  rate_ = rate;
  channels_ = channels;
  uint8_t h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                   1, 0, static_cast<uint8_t>(channels), 0};
  Put32At(h + 24, static_cast<uint32_t>(rate));
  Put32At(h + 28, static_cast<uint32_t>(rate * channels * 2));
  h[32] = static_cast<uint8_t>(channels * 2);
  h[34] = 16;
  std::memcpy(h + 36, "data", 4);
  Put(h, sizeof h);
  bytes_ = 0;
  frames_ = 0;
  Finish();
  return true;
}

void HeadlessBackend::WavFile::Put(const uint8_t* data, uint32_t bytes) {
  if (std::fwrite(data, 1, bytes, file_) != bytes && !failed_) {
    failed_ = true;
    std::fprintf(stderr, "ZARN_AUDIO: write failed; the file ends early\n");
  }
}

void HeadlessBackend::WavFile::Silence(uint64_t frames) {
  static const uint8_t zero[4096] = {};
  const uint32_t frameBytes = static_cast<uint32_t>(channels_) * 2u;
  while (frames > 0 && !full_ && !failed_) {
    const uint64_t room = (kMaxWavData - bytes_) / frameBytes;
    uint64_t n = frames < sizeof zero / frameBytes ? frames : sizeof zero / frameBytes;
    if (n > room) n = room;
    if (n == 0) break;
    Put(zero, static_cast<uint32_t>(n * frameBytes));
    bytes_ += static_cast<uint32_t>(n * frameBytes);
    frames_ += n;
    frames -= n;
  }
}

void HeadlessBackend::WavFile::Write(const uint8_t* data, uint32_t bytes, bool eightBit, int rate, int channels,
                                     uint64_t padTo) {
  if (failed_ || full_) return;
  if (!file_ && !Start(rate, channels)) return;
  if (rate != rate_ || channels != channels_) {
    if (!mismatchReported_)
      std::fprintf(stderr, "ZARN_AUDIO: sound of another format (%d Hz, %d channels) is left out\n", rate, channels);
    mismatchReported_ = true;
    return;
  }
  if (padTo > frames_) Silence(padTo - frames_);
  const uint32_t frameBytes = static_cast<uint32_t>(channels) * 2u;
  uint8_t wide[4096];
  const uint32_t in = eightBit ? 1u : 2u;
  for (uint32_t at = 0; at < bytes && !failed_;) {
    // Whole frames, at most a buffer's worth, as long as the file has room.
    uint32_t n = (bytes - at) / in * 2u;
    if (n > sizeof wide) n = sizeof wide;
    n -= n % frameBytes;
    if (n > kMaxWavData - bytes_) n = (kMaxWavData - bytes_) / frameBytes * frameBytes;
    if (n == 0) {
      if (!full_) std::fprintf(stderr, "ZARN_AUDIO: the file is full (4 GiB); later sound is not written\n");
      full_ = true;
      return;
    }
    if (eightBit) {
      for (uint32_t i = 0; i < n / 2; i++) {
        const int32_t v = (data[at + i] - 128) * 256;
        wide[2 * i] = static_cast<uint8_t>(v);
        wide[2 * i + 1] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> 8);
      }
      Put(wide, n);
      at += n / 2;
    } else {
      Put(data + at, n);
      at += n;
    }
    bytes_ += n;
    frames_ += n / frameBytes;
  }
}

HeadlessBackend::WavFile::~WavFile() {
  Finish();
  if (file_) std::fclose(file_);
}

void HeadlessBackend::WavFile::Finish() {
  if (!file_) return;
  uint8_t b[4];
  Put32At(b, 36u + bytes_);
  std::fseek(file_, 4, SEEK_SET);
  std::fwrite(b, 1, 4, file_);
  Put32At(b, bytes_);
  std::fseek(file_, 40, SEEK_SET);
  std::fwrite(b, 1, 4, file_);
  std::fseek(file_, 0, SEEK_END);
  std::fflush(file_);
}

int HeadlessBackend::BatteryRead(uint16_t* value) {
  int32_t b = CurrentConfig().battery;
  if (b < 0 || !value) return -1;
  *value = static_cast<uint16_t>(b);
  return 2;
}

void HeadlessBackend::RunMenuProgram() { state::menuCalls++; }

Backend* MakeHeadlessBackend() { return new HeadlessBackend(); }

#if !defined(ZARN_HAVE_SDL)
Backend* MakeSdlBackend(std::string*) { return nullptr; }
#endif
#if !defined(ZARN_HAVE_DEVICE)
Backend* MakeDeviceBackend() { return nullptr; }
#endif

}  // namespace standin
