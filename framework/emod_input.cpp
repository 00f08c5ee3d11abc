#include "framework/emod_input.h"

#include <cstdarg>
#include <cstring>

#include "framework/emod_memory.h"

namespace {

constexpr uint32_t kHeld = 0x100;
constexpr uint8_t kMaxAppAction = 223;

uint32_t KeyOf(uint32_t mapping) { return mapping >> 16; }
uint8_t ActionOf(uint32_t mapping) { return static_cast<uint8_t>(mapping); }

// Name number of each button code (0 = no name).
uint8_t NameNumber(int32_t code) {
  switch (code) {
    case 1: return 96;
    case 3: return 98;
    case 5: return 97;
    case 7: return 99;
    case 9: return 136;
    case 10: return 137;
    case 11: return 44;
    case 12: return 50;
    case 13: return 33;
    case 14: return 34;
    case 15: return 56;
    case 16: return 57;
    case 23: return 142;
    case 24: return 141;
    case 28: return 114;
    default: return 0;
  }
}

const char kKeyDescriptors[] =
    "Up\r\nDown\r\nLeft\r\nRight\r\nF1\r\nF2\r\nF3\r\nF4\r\nF5\r\nF6\r\nF7\r\nF8\r\nF9\r\nF10\r\n"
    "F11\r\nF12\r\nTab\r\nSpace\r\nEnter\r\nShift\r\nControl\r\nAlt\r\nEsc\r\nInsert\r\n"
    "Delete\r\nHome\r\nEnd\r\nPageup\r\nPagedown\r\nCapslock\r\nNumlock\r\nScroll lock\r\n"
    "Printscreen\r\nPause\r\nBackspace\r\nSoftkey 1\r\nSoftkey 2\r\nSoftkey 3\r\nSoftkey 4\r\n"
    "Menu\r\nStart\r\nSelect\r\nJog up\r\nJog down\r\nJog\r\nVolume up\r\nVolume down";

}  // namespace

void EInput_CheckHoldState(uint32_t* mappings, uint32_t* hold, uint32_t index, uint32_t count) {
  const uint8_t action = ActionOf(mappings[index]);
  if (action > kMaxAppAction) return;
  for (uint32_t i = 0; i < count; i++)
    if (i != index && ActionOf(mappings[i]) == action && (mappings[i] & kHeld)) return;
  hold[action] = 0;
}

ClassEInput::ClassEInput() {
  std::memset(events_, 0, sizeof events_);
  std::memset(mappings_, 0, sizeof mappings_);
  std::memset(hold_, 0, sizeof hold_);
  std::memset(charKeys_, 0, sizeof charKeys_);
  std::memset(nameOffsets_, 0, sizeof nameOffsets_);
  std::memset(chars_, 0, sizeof chars_);
  LoadKeyDescriptor(kKeyDescriptors);
}

ClassEInput::~ClassEInput() { ClassEMemory::DeAlloc(names_); }

// ---- mappings --------------------------------------------------------------------

int ClassEInput::AddKeyMapping(uint8_t action, uint32_t key) {
  if (action > kMaxAppAction || numMappings_ >= kMaxMappings) return 0;
  mappings_[numMappings_++] = (key << 16) | action;
  return 1;
}

int ClassEInput::AddKeyMapping(uint8_t action, uint32_t count, int key, ...) {
  if (count == 0) return 0;
  int ok = AddKeyMapping(action, static_cast<uint32_t>(key));
  va_list args;
  va_start(args, key);
  for (uint32_t i = 1; i < count && ok; i++)
    ok = AddKeyMapping(action, static_cast<uint32_t>(va_arg(args, int)));
  va_end(args);
  return ok;
}

void ClassEInput::SetDefaultMappings() {
  static const uint8_t table[][2] = {
      {0xA0, 1},  {0xA1, 5},  {0xA2, 3},  {0xA3, 7},  {0xA4, 24}, {0xA5, 23}, {0xA6, 11},
      {0xA7, 12}, {0xC0, 1},  {0xC1, 5},  {0xC2, 3},  {0xC3, 7},  {0xC4, 28}, {0xC4, 14},
      {0xC4, 16}, {0xC5, 13}, {0xC5, 15}, {0xC9, 28}, {0xC9, 14}, {0xC9, 16}, {0xC6, 11},
      {0xC7, 12}, {0xC8, 28}, {0xC8, 14}, {0xD0, 1},  {0xD1, 5},  {0xD2, 3},  {0xD3, 7},
      {0xD4, 14}, {0xD4, 15}, {0xD4, 11}, {0xD5, 13}, {0xD5, 16}, {0xD5, 12}, {0xD5, 10},
      {0xD6, 9}};
  for (const auto& m : table) AddKeyMapping(m[0], m[1]);
}

int ClassEInput::MappedTo(uint8_t action, uint32_t key) const {
  for (int i = 0; i < numMappings_; i++)
    if (KeyOf(mappings_[i]) == key && ActionOf(mappings_[i]) == action) return 1;
  return 0;
}

template <class Pick>
int ClassEInput::RemoveMappings(Pick pick) {
  int removed = 0;
  for (int i = 0; i < numMappings_;) {
    if (pick(mappings_[i])) {
      mappings_[i] &= ~kHeld;
      CheckHoldState(i);
      std::memmove(mappings_ + i, mappings_ + i + 1, (numMappings_ - i - 1) * sizeof(uint32_t));
      numMappings_--;
      removed = 1;
    } else {
      i++;
    }
  }
  return removed;
}

int ClassEInput::RemoveKeyMapping(uint32_t key) {
  return RemoveMappings([key](uint32_t m) { return KeyOf(m) == key; });
}

int ClassEInput::RemoveActionMapping(uint8_t action) {
  return RemoveMappings([action](uint32_t m) { return ActionOf(m) == action; });
}

bool ClassEInput::OtherMappingHeld(int index) const {
  const uint8_t action = ActionOf(mappings_[index]);
  for (int i = 0; i < numMappings_; i++)
    if (i != index && ActionOf(mappings_[i]) == action && (mappings_[i] & kHeld)) return true;
  return false;
}

void ClassEInput::CheckHoldState(int index) {
  EInput_CheckHoldState(mappings_, hold_, static_cast<uint32_t>(index), numMappings_);
}

// ---- events from the framework -------------------------------------------------------

void ClassEInput::QueueEvent(uint8_t type, uint8_t action) {
  if (numEvents_ >= kMaxEvents) return;
  E_INPUTEVENT& e = events_[numEvents_++];
  e.x = posX_;
  e.y = posY_;
  e.type = type;
  e.action = action;
}

void ClassEInput::TakeEvent(int index) {
  std::memmove(events_ + index, events_ + index + 1, (numEvents_ - index - 1) * sizeof(E_INPUTEVENT));
  numEvents_--;
}

void ClassEInput::OnKeyDown(uint32_t key) {
  if (key == 0) return;
  lastKey_ = key;
  for (int i = 0; i < numMappings_; i++) {
    if (KeyOf(mappings_[i]) != key) continue;
    mappings_[i] |= kHeld;
    const uint8_t a = ActionOf(mappings_[i]);
    if (a <= kMaxAppAction && (hold_[a] & 0xFF) == 0) hold_[a] = 1;
  }
  for (int i = 0; i < numMappings_; i++)
    if (KeyOf(mappings_[i]) == key && ActionOf(mappings_[i]) <= kMaxAppAction)
      QueueEvent(EIT_DOWN, ActionOf(mappings_[i]));
}

void ClassEInput::OnKeyUp(uint32_t key) {
  if (key == 0) return;
  for (int i = 0; i < numMappings_; i++) {
    if (KeyOf(mappings_[i]) != key || ActionOf(mappings_[i]) > kMaxAppAction) continue;
    mappings_[i] &= ~kHeld;
    if (!OtherMappingHeld(i)) hold_[ActionOf(mappings_[i])] = 0;
  }
  for (int i = 0; i < numMappings_; i++)
    if (KeyOf(mappings_[i]) == key && ActionOf(mappings_[i]) <= kMaxAppAction)
      QueueEvent(EIT_UP, ActionOf(mappings_[i]));
}

void ClassEInput::CheckRepeat(uint32_t elapsed) {
  for (int a = 0; a < kHoldWords; a++) {
    uint32_t h = hold_[a];
    if ((h & 0xFF) == 0) continue;
    uint32_t t = (h >> 16) + elapsed;
    if (t > 0xFFFF || t < elapsed) t = 0xFFFF;
    h = (h & 0xFFFF) | (t << 16);
    const uint32_t repeats = (h >> 8) & 0xFF;
    const bool due = (repeats == 0 && t >= repeatDelay_) || (repeats != 0 && t >= repeatInterval_);
    if (due) {
      // The count lives in 8 bits; its carry runs into the time bits.
      h = (h & 0xFFFF) + 0x100;
      QueueEvent(EIT_REPEAT, static_cast<uint8_t>(a));
    }
    hold_[a] = h;
  }
}

void ClassEInput::ResetEvents() {
  numEvents_ = 0;
  numChars_ = 0;
  lastKey_ = 0;
}

void ClassEInput::ResetState() {
  std::memset(hold_, 0, sizeof hold_);
  for (int i = 0; i < numMappings_; i++) mappings_[i] &= ~kHeld;
  wheel_ = 0;
  lastKey_ = 0;
  numEvents_ = 0;
  numChars_ = 0;
}

void ClassEInput::OnClickDown(int32_t x, int32_t y, uint8_t button) {
  posX_ = x;
  posY_ = y;
  if (button > 3) return;
  if ((hold_[224 + button] & 0xFF) == 0) hold_[224 + button] = 1;
  QueueEvent(EIT_DOWN, static_cast<uint8_t>(224 + button));
}

void ClassEInput::OnClickDouble(int32_t x, int32_t y, uint8_t button) {
  posX_ = x;
  posY_ = y;
  if (button > 3) return;
  if ((hold_[224 + button] & 0xFF) == 0) hold_[224 + button] = 1;
  QueueEvent(EIT_DOUBLE, static_cast<uint8_t>(224 + button));
}

void ClassEInput::OnClickUp(int32_t x, int32_t y, uint8_t button) {
  posX_ = x;
  posY_ = y;
  if (button > 3) return;
  hold_[224 + button] = 0;
  QueueEvent(EIT_UP, static_cast<uint8_t>(224 + button));
}

void ClassEInput::OnClickMove(int32_t x, int32_t y) {
  posX_ = x;
  posY_ = y;
}

void ClassEInput::OnWheelScroll(int32_t steps) {
  if (steps > 0) wheel_++;
  if (steps < 0) wheel_--;
}

void ClassEInput::OnTilt(int32_t a, int32_t b) {
  tiltA_ = a;
  tiltB_ = b;
}

void ClassEInput::PutChar(uint16_t character, uint32_t key) {
  if (numChars_ >= kMaxChars || MappedTo(200, key)) return;
  chars_[numChars_] = character;
  charKeys_[numChars_] = key;
  numChars_++;
}

// ---- queries -------------------------------------------------------------------------

int ClassEInput::KeyHold(uint8_t action) const {
  return action <= kMaxAppAction && (hold_[action] & 0xFF) != 0;
}

int ClassEInput::ClickHold(uint8_t button) const {
  if (button > 3) return 0;
  if (hold_[224] & 0xFF) return 1;
  if (button == 0) {
    for (int a = 224; a <= 227; a++)
      if (hold_[a] & 0xFF) return 1;
    return 0;
  }
  return (hold_[224 + button] & 0xFF) != 0;
}

uint8_t ClassEInput::GetKeyEvent(uint8_t action) {
  if (action > kMaxAppAction) return 0;
  for (int i = 0; i < numEvents_; i++)
    if (events_[i].action == action) {
      uint8_t type = events_[i].type;
      TakeEvent(i);
      return type;
    }
  return 0;
}

int ClassEInput::GetKeyEvent(E_INPUTEVENT* out) {
  for (int i = 0; i < numEvents_; i++)
    if (events_[i].action <= kMaxAppAction) {
      if (out) *out = events_[i];
      TakeEvent(i);
      return 1;
    }
  return 0;
}

int ClassEInput::GetClickEvent(E_INPUTEVENT* out) {
  for (int i = 0; i < numEvents_; i++)
    if (events_[i].action >= 224 && events_[i].action <= 226) {
      if (out) {
        *out = events_[i];
        out->action = static_cast<uint8_t>(events_[i].action - 224);
      }
      TakeEvent(i);
      return 1;
    }
  return 0;
}

uint32_t ClassEInput::GetKeyPressCount(uint8_t action, bool withRepeats) const {
  uint32_t n = 0;
  for (int i = 0; i < numEvents_; i++)
    if (events_[i].action == action &&
        (events_[i].type == EIT_DOWN || (withRepeats && events_[i].type == EIT_REPEAT)))
      n++;
  return n;
}

uint32_t ClassEInput::GetClickPressCount(int32_t& x, int32_t& y, uint8_t button,
                                         bool withRepeats) const {
  x = posX_;
  y = posY_;
  uint32_t n = 0;
  for (int i = 0; i < numEvents_; i++) {
    const uint8_t a = events_[i].action;
    const bool ours = button == 0 ? (a >= 225 && a <= 227) : a == 224 + button;
    if (!ours) continue;
    if (events_[i].type == EIT_DOWN) {
      n++;
      x = events_[i].x;
      y = events_[i].y;
    } else if (withRepeats && events_[i].type == EIT_REPEAT) {
      n++;
    }
  }
  return n;
}

uint16_t ClassEInput::GetChar(uint32_t* key) {
  if (numChars_ == 0) return 0;
  const uint16_t c = chars_[0];
  if (key) *key = charKeys_[0];
  std::memmove(chars_, chars_ + 1, (numChars_ - 1) * sizeof(uint16_t));
  std::memmove(charKeys_, charKeys_ + 1, (numChars_ - 1) * sizeof(uint32_t));
  numChars_--;
  return c;
}

int32_t ClassEInput::GetWheelScroll() {
  const int32_t w = wheel_;
  wheel_ = 0;
  return w;
}

void ClassEInput::SetRepeatRates(uint32_t, uint32_t) {}

int ClassEInput::GetTiltData(ECD*, int32_t*, int32_t*) { return 3; }

// ---- key names -----------------------------------------------------------------------

void ClassEInput::LoadKeyDescriptor(const uint16_t* list) {
  ClassEMemory::DeAlloc(names_);
  names_ = nullptr;
  if (!list) return;
  uint32_t len = 0;
  while (list[len] && len < 16384) len++;
  names_ = static_cast<uint16_t*>(ClassEMemory::Alloc(len * 2 + 386));
  if (!names_) return;
  for (uint32_t k = 0; k < 96; k++) {
    names_[2 * k] = static_cast<uint16_t>(k + 32);
    names_[2 * k + 1] = 0;
    nameOffsets_[k] = 2 * k;
  }
  for (uint32_t k = 96; k < 160; k++) nameOffsets_[k] = 0;
  uint32_t next = 96;
  bool lineStart = true;
  for (uint32_t i = 0; i < len; i++) {
    uint16_t c = list[i];
    if (c == '\r' || c == '\n') {
      names_[192 + i] = 0;
      lineStart = true;
      continue;
    }
    names_[192 + i] = c;
    if (lineStart && next < 160) nameOffsets_[next++] = 192 + i;
    lineStart = false;
  }
  names_[192 + len] = 0;
}

void ClassEInput::LoadKeyDescriptor(const char* list) {
  if (!list) return;
  uint32_t len = 0;
  while (list[len] && len < 16384) len++;
  uint16_t local[256];
  uint16_t* wide = len < 256 ? local : static_cast<uint16_t*>(ClassEMemory::Alloc((len + 1) * 2));
  if (!wide) return;
  for (uint32_t i = 0; i < len; i++) wide[i] = static_cast<unsigned char>(list[i]);
  wide[len] = 0;
  LoadKeyDescriptor(wide);
  if (wide != local) ClassEMemory::DeAlloc(wide);
}

void ClassEInput::GetKeyName(int32_t code, uint16_t* out) const {
  if (!out) return;
  if (code == 0) {
    const char* none = "None";
    int i = 0;
    for (; none[i]; i++) out[i] = static_cast<uint8_t>(none[i]);
    out[i] = 0;
    return;
  }
  // "#" and the decimal code, replaced by the name where one exists.
  char digits[16];
  int n = 0;
  uint32_t mag = code < 0 ? 0u - static_cast<uint32_t>(code) : static_cast<uint32_t>(code);
  do {
    digits[n++] = static_cast<char>('0' + mag % 10);
    mag /= 10;
  } while (mag);
  int k = 0;
  out[k++] = '#';
  if (code < 0) out[k++] = '-';
  while (n) out[k++] = static_cast<uint8_t>(digits[--n]);
  out[k] = 0;
  const uint8_t number = (code >= 1 && code <= 255) ? NameNumber(code) : 0;
  if (number == 0 || number > 159 || !names_) return;
  const uint16_t* name = names_ + nameOffsets_[number];
  for (k = 0; name[k] && k < 255; k++) out[k] = name[k];
  out[k] = 0;
}

void ClassEInput::GetKeyName(int32_t code, char* out) const {
  if (!out) return;
  uint16_t wide[256];
  GetKeyName(code, wide);
  int i = 0;
  for (; wide[i]; i++) out[i] = static_cast<char>(wide[i] & 0xFF);
  out[i] = 0;
}
