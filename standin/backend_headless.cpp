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

HeadlessBackend::~HeadlessBackend() { WriteAudioFile(); }

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
  dspFrames_ = 0;
  dspBlocked_ = false;
  dspReset_ = false;
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

uint32_t HeadlessBackend::Capture(const void* data, uint32_t bytes) {
  state::audioRate = dspRate_;
  state::audioChannels = dspStereo_ ? 2 : 1;
  // Keep at most ten minutes of sound for tests and the audio file.
  const size_t cap = static_cast<size_t>(dspRate_) * state::audioChannels * 600;
  const auto* p = static_cast<const uint8_t*>(data);
  if (dspFormat_ == 0x08) {
    for (uint32_t i = 0; i < bytes && state::audio.size() < cap; i++)
      state::audio.push_back(static_cast<int16_t>((p[i] - 128) * 256));
    return bytes / state::audioChannels;
  }
  for (uint32_t i = 0; i + 1 < bytes && state::audio.size() < cap; i += 2)
    state::audio.push_back(static_cast<int16_t>(p[i] | (p[i + 1] << 8)));
  return bytes / 2 / state::audioChannels;
}

int32_t HeadlessBackend::DspWrite(int fd, const void* data, uint32_t bytes) {
  if (fd != kDspFd || !data || !dspOpen_) return -1;
  if (dspRate_ <= 0) return -1;
  std::unique_lock<std::mutex> lock(dspMutex_);
  const uint32_t frames = Capture(data, bytes);
  dspFrames_ += frames;
  const uint64_t endUs = dspFrames_ * 1000000u / static_cast<uint64_t>(dspRate_);
  dspActivity_++;
  if (!CurrentConfig().fakeClock) {
    // A real device blocks for as long as the fragment plays (a reset wakes it).
    const auto us = std::chrono::microseconds(static_cast<uint64_t>(frames) * 1000000u / dspRate_);
    dspWake_.wait_for(lock, us, [&] { return dspReset_; });
    dspReset_ = false;
    return static_cast<int32_t>(bytes);
  }
  // The device holds one fragment: the write returns once the program's clock
  // has played it. Bounded in real time, so a program that stopped sleeping
  // cannot hang us.
  dspBlocked_ = true;
  dspWaitingFor_ = endUs;
  dspWake_.notify_all();
  dspWake_.wait_for(lock, std::chrono::seconds(2),
                    [&] { return dspReset_ || ClockUs() >= endUs; });
  dspBlocked_ = false;
  dspReset_ = false;
  return static_cast<int32_t>(bytes);
}

void HeadlessBackend::ClockAdvanced() {
  if (!dspOpen_) return;
  std::unique_lock<std::mutex> lock(dspMutex_);
  dspWake_.notify_all();
  // Let the writer catch up with the clock: it is done when it waits for a later
  // fragment. A writer that does not come (suspended output) is waited for briefly.
  const uint64_t now = ClockUs();
  for (;;) {
    if (!dspOpen_ || (dspBlocked_ && dspWaitingFor_ > now)) return;
    const uint64_t seen = dspActivity_;
    if (!dspWake_.wait_for(lock, std::chrono::milliseconds(5),
                           [&] { return dspActivity_ != seen || !dspOpen_; }))
      return;
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
}

void HeadlessBackend::WriteAudioFile() {
  const std::string& path = CurrentConfig().audioPath;
  if (path.empty() || state::audio.empty()) return;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  auto put32 = [f](uint32_t v) {
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    std::fwrite(b, 1, 4, f);
  };
  auto put16 = [f](uint32_t v) {
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    std::fwrite(b, 1, 2, f);
  };
  uint32_t data = static_cast<uint32_t>(state::audio.size() * 2);
  std::fwrite("RIFF", 1, 4, f);
  put32(36 + data);
  std::fwrite("WAVEfmt ", 1, 8, f);
  put32(16);
  put16(1);
  put16(state::audioChannels);
  put32(state::audioRate);
  put32(state::audioRate * state::audioChannels * 2);
  put16(state::audioChannels * 2);
  put16(16);
  std::fwrite("data", 1, 4, f);
  put32(data);
  for (int16_t s : state::audio) put16(static_cast<uint16_t>(s));
  std::fclose(f);
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
Backend* MakeSdlBackend() { return nullptr; }
#endif
#if !defined(ZARN_HAVE_DEVICE)
Backend* MakeDeviceBackend() { return nullptr; }
#endif

}  // namespace standin
