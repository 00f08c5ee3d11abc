// Input recording and playback, and the log file.
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/emod_bytes.h"
#include "framework/zarn.h"

namespace {

constexpr uint32_t kHeader = 16;

uint32_t Clamp16(int32_t coordinate) {
  int32_t v = coordinate + 0x8000;
  if (v < 0) return 0;
  if (v > 0xFFFF) return 0xFFFF;
  return static_cast<uint32_t>(v);
}

// An event's 16-bit fields are big-endian.
uint32_t Get16BE(const uint8_t* p) { return (static_cast<uint32_t>(p[0]) << 8) | p[1]; }
void Put16BE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

// Bytes of an event of each type; 0 for unknown types.
uint32_t EventSize(uint8_t type) {
  static const uint8_t sizes[9] = {2, 3, 3, 3, 6, 6, 6, 5, 2};
  return type < 9 ? sizes[type] : 0;
}

}  // namespace

void Zarn_AddRecordEvent(uint8_t* buffer, uint8_t& active, uint8_t type, int32_t a, int32_t b,
                         int32_t c) {
  if (!buffer) {
    active = 0;
    return;
  }
  const uint32_t capacity = EBytes_Get32(buffer + 4);
  const uint32_t used = EBytes_Get32(buffer + 8);
  const uint32_t size = EventSize(type);
  if (size == 0 || kHeader + used + size > capacity) {
    active = 0;  // the buffer is full: recording ends by itself
    return;
  }
  uint8_t* e = buffer + kHeader + used;
  e[0] = type;
  switch (type) {
    case 0:
      e[1] = static_cast<uint8_t>(a);
      break;
    case 1:
    case 2:
    case 3:
      Put16BE(e + 1, a < 0 ? 0 : (a > 0xFFFF ? 0xFFFF : static_cast<uint32_t>(a)));
      break;
    case 4:
    case 5:
    case 6:
    case 7:
      Put16BE(e + 1, Clamp16(a));
      Put16BE(e + 3, Clamp16(b));
      if (type != 7) e[5] = static_cast<uint8_t>(c);
      break;
    case 8:
      e[1] = a >= 0 ? 1 : 0;
      break;
  }
  EBytes_Put32(buffer + 8, used + size);
}

void ClassZarn::AddRecordEvent(uint8_t type, int32_t a, int32_t b, int32_t c) {
  Zarn_AddRecordEvent(recording_, recordingActive_, type, a, b, c);
}

int ClassZarn::StartRecording(uint32_t capacity) {
  StopRecording();
  if (capacity <= kHeader) return 0;
  if (!recording_ || EBytes_Get32(recording_ + 4) != capacity) {
    ClassEMemory::DeAlloc(recording_);
    recording_ = static_cast<uint8_t*>(ClassEMemory::Alloc(capacity));
    if (!recording_) return 0;
  }
  EBytes_Put32(recording_, kHeader);
  EBytes_Put32(recording_ + 4, capacity);
  EBytes_Put32(recording_ + 8, 0);
  EBytes_Put32(recording_ + 12, math_.GetRandSeed());
  input_.ResetState();
  recordingActive_ = 1;
  return 1;
}

void ClassZarn::StopRecording() {
  recordingActive_ = 0;
  playback_ = nullptr;
}

uint32_t ClassZarn::GetRecordingDataSize() const {
  return recording_ ? EBytes_Get32(recording_) + EBytes_Get32(recording_ + 8) : 0;
}

void ClassZarn::FreeRecording() {
  StopRecording();
  ClassEMemory::DeAlloc(recording_);
  recording_ = nullptr;
}

void ClassZarn::PlayRecording(void* data, uint32_t size) {
  recordingActive_ = 0;
  playback_ = nullptr;
  auto* p = static_cast<uint8_t*>(data);
  // A recording that does not fit its own header is not played at all.
  if (!p || size < kHeader || EBytes_Get32(p) != kHeader || EBytes_Get32(p + 8) > size - kHeader)
    return;
  playback_ = p;
  playbackSize_ = kHeader + EBytes_Get32(p + 8);
  input_.ResetState();
  math_.SetRandSeed(EBytes_Get32(p + 12));
  EBytes_Put32(p + 4, 0);
  playbackClock_ = 0;
}

namespace {

// A recorded stylus event (types 4 to 7) to the application and the input module.
void PlayPointerEvent(ClassZarn& z, ClassEInput& input, const uint8_t* e) {
  tagPOINT pt;
  pt.x = static_cast<int32_t>(Get16BE(e + 1)) - 0x8000;
  pt.y = static_cast<int32_t>(Get16BE(e + 3)) - 0x8000;
  const uint8_t button = e[0] == 7 ? 0 : e[5];
  switch (e[0]) {
    case 4:
      if (button == 1) z.OnStylusUp(pt);
      input.OnClickUp(pt.x, pt.y, button);
      break;
    case 5:
      if (button == 1) z.OnStylusDown(pt);
      input.OnClickDown(pt.x, pt.y, button);
      break;
    case 6:
      if (button == 1) z.OnStylusDouble(pt);
      input.OnClickDouble(pt.x, pt.y, button);
      break;
    default:
      z.OnStylusMove(pt);
      input.OnClickMove(pt.x, pt.y);
      break;
  }
}

// A recorded input event (types 2 to 8): buttons, stylus and wheel.
void PlayInputEvent(ClassZarn& z, ClassEInput& input, EBUTTONLIST* buttons, const uint8_t* e) {
  if (e[0] == 2) {
    input.OnKeyUp(Get16BE(e + 1));
    z.OnButtonUp(Get16BE(e + 1), buttons);
  } else if (e[0] == 3) {
    input.OnKeyDown(Get16BE(e + 1));
    z.OnButtonDown(Get16BE(e + 1), buttons);
  } else if (e[0] <= 7) {
    PlayPointerEvent(z, input, e);
  } else {
    const int32_t step = e[1] ? 1 : -1;
    z.OnWheel(step);
    input.OnWheelScroll(step);
  }
}

}  // namespace

void ClassZarn::PlayRecordingLoop(uint32_t elapsed) {
  playbackClock_ += elapsed;
  uint8_t* const p = playback_;
  const uint32_t end = EBytes_Get32(p + 8);
  for (;;) {
    const uint32_t pos = EBytes_Get32(p + 4);
    if (pos < end && playbackClock_ == 0) return;
    const uint8_t* e = p + kHeader + pos;
    const uint32_t size = pos < end ? EventSize(e[0]) : 0;
    // The end, or an unknown or cut-off event: playback ends instead of freezing.
    if (size == 0 || pos + size > end) {
      playback_ = nullptr;
      console_.ShowMsg("Zarn recording stopped");
      return;
    }
    if (e[0] > 1) {
      EBytes_Put32(p + 4, pos + size);
      PlayInputEvent(*this, input_, &buttonlist_, e);
      continue;
    }
    // A frame: it waits until the clock has run its length.
    const uint32_t t = e[0] == 0 ? e[1] : Get16BE(e + 1);
    if (playbackClock_ < t) return;
    EBytes_Put32(p + 4, pos + size);
    input_.CheckRepeat(t);
    OnNextFrame(&display_, t);
    sound_.Update(vtimer_.RetrieveDelta());
    input_.ResetEvents();
    playbackClock_ -= t;
    if (!playback_) return;
  }
}

void ClassZarn::Log(const char* text, bool newline) {
  if (!text) return;
  ClassEFile f;
  if (!f.Open("log.txt", 0) && !f.New("log.txt")) return;
  f.Seek(f.Size());
  f.Write(text, static_cast<uint32_t>(std::strlen(text)));
  if (newline) f.Write("\r\n", 2);
  f.Close();
}

void ClassZarn::Log(const uint16_t* text, bool newline) {
  if (!text) return;
  std::string narrow;
  for (const uint16_t* t = text; *t; t++) narrow.push_back(static_cast<char>(*t & 0xFF));
  Log(narrow.c_str(), newline);
}

void ClassZarn::NewLogFile() {
  std::string path;
  for (const uint16_t* t = data_.appfolder; *t && path.size() < 511; t++)
    path.push_back(static_cast<char>(*t & 0xFF));
  path += "log.txt";
  if (FILE* f = std::fopen(path.c_str(), "wb")) std::fclose(f);
}
