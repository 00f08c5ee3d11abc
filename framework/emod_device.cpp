#include "framework/emod_device.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "framework/emod_memory.h"
#include "framework/emod_std.h"
#include "standin/standin.h"

int edeviceptr[2] = {0, 0};
uint8_t* edevicereg_ptr = nullptr;
uint16_t* edevicereg_ptr16 = nullptr;

namespace {
bool g_memOpen = false, g_fbOpen = false;

void Widen(const char* in, uint16_t* out) {
  while ((*out++ = static_cast<unsigned char>(*in++))) {
  }
}
void Narrow(const uint16_t* in, char* out) {
  while ((*out++ = static_cast<char>(*in++ & 0xFF))) {
  }
}

}  // namespace

uint8_t* HandleDevicePtr(bool close) {
  if (close) {
    if (g_memOpen) {
      if (edevicereg_ptr) standin::MemUnmap(edevicereg_ptr);
      standin::MemClose(edeviceptr[0]);
    }
    if (g_fbOpen) standin::FbClose(edeviceptr[1]);
    g_memOpen = g_fbOpen = false;
    edeviceptr[0] = edeviceptr[1] = 0;
    edevicereg_ptr = nullptr;
    edevicereg_ptr16 = nullptr;
    return nullptr;
  }
  edevicereg_ptr = nullptr;
  edevicereg_ptr16 = nullptr;
  edeviceptr[0] = edeviceptr[1] = 0;
  int mem = standin::MemOpen();
  int fb = standin::FbOpen();
  g_memOpen = mem >= 0;
  g_fbOpen = fb >= 0;
  if (g_memOpen) edeviceptr[0] = mem;
  if (g_fbOpen) edeviceptr[1] = fb;
  if (!g_memOpen || !g_fbOpen) {
    HandleDevicePtr(true);
    return nullptr;
  }
  uint8_t* block = standin::MemMap(mem);
  if (!block) {
    HandleDevicePtr(true);
    return nullptr;
  }
  edevicereg_ptr = block;
  edevicereg_ptr16 = reinterpret_cast<uint16_t*>(block);
  return block;
}

uint16_t EDevice_ReadReg16(uint32_t offset) {
  if (!edevicereg_ptr || offset + 2 > standin::kRegisterBlockSize) return 0xFFFF;
  // The console's registers are little-endian like the console itself.
  return static_cast<uint16_t>(edevicereg_ptr[offset] | (edevicereg_ptr[offset + 1] << 8));
}

void GetPath(uint16_t* out, uint32_t size) {
  if (!out || size < 2) {
    if (out && size) out[0] = 0;
    return;
  }
  char* dir = get_current_dir_name();
  uint32_t n = 0;
  if (dir) {
    // Leave room for the "/" and the terminator.
    for (; dir[n] && n + 2 < size; n++) out[n] = static_cast<unsigned char>(dir[n]);
    std::free(dir);  // allocated by the C library with malloc
  }
  out[n++] = '/';
  out[n] = 0;
}

uint32_t ZarnGetUIDNr() { return 270543996u; }

char* _itoa(int value, char* out, int radix) {
  // Signed decimal-style conversion, digits 0-9 then A-Z.
  if (radix < 2 || radix > 36) return out;
  char tmp[40];
  int n = 0;
  uint32_t mag = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    uint32_t d = mag % static_cast<uint32_t>(radix);
    tmp[n++] = static_cast<char>(d < 10 ? '0' + d : 'A' + d - 10);
    mag /= static_cast<uint32_t>(radix);
  } while (mag);
  int k = 0;
  if (value < 0) out[k++] = '-';
  while (n) out[k++] = tmp[--n];
  out[k] = 0;
  return out;
}

ClassEDevice::ClassEDevice() { std::memset(reserved_, 0, sizeof reserved_); }
ClassEDevice::~ClassEDevice() = default;

void ClassEDevice::GetModelName(uint16_t* out) {
  Widen("Device model unknown", out);
  Widen("GP2X F-100", out);
}
void ClassEDevice::GetModelName(char* out) {
  uint16_t t[64];
  GetModelName(t);
  Narrow(t, out);
}
void ClassEDevice::GetOSName(uint16_t* out) { Widen("Linux", out); }
void ClassEDevice::GetOSName(char* out) {
  uint16_t t[16];
  GetOSName(t);
  Narrow(t, out);
}
void ClassEDevice::GetOwnerName(uint16_t* out) { out[0] = 0; }
void ClassEDevice::GetOwnerName(char* out) { out[0] = 0; }
void ClassEDevice::GetIMEI(uint16_t* out) { out[0] = 0; }
void ClassEDevice::GetIMEI(char* out) { out[0] = 0; }

void ClassEDevice::CurrentTime(uint8_t& hour, uint8_t& minute, uint8_t& second, bool local) {
  std::tm tm{};
  std::time_t t = standin::WallTime();
  if (!(local ? standin::LocalTime(t, &tm) : standin::UtcTime(t, &tm))) return;
  hour = static_cast<uint8_t>(tm.tm_hour);
  minute = static_cast<uint8_t>(tm.tm_min);
  second = static_cast<uint8_t>(tm.tm_sec);
}

void ClassEDevice::CurrentDate(uint32_t& year, uint8_t& month, uint8_t& day, bool local) {
  std::tm tm{};
  std::time_t t = standin::WallTime();
  if (!(local ? standin::LocalTime(t, &tm) : standin::UtcTime(t, &tm))) return;
  year = static_cast<uint32_t>(tm.tm_year + 1900);
  month = static_cast<uint8_t>(tm.tm_mon + 1);
  day = static_cast<uint8_t>(tm.tm_mday);
}

uint32_t ClassEDevice::TimestampNow(bool local) {
  // One reading: a date and a time of day from two readings can straddle midnight.
  std::tm tm{};
  std::time_t t = standin::WallTime();
  if (!(local ? standin::LocalTime(t, &tm) : standin::UtcTime(t, &tm))) return 0;
  E_DATETIME d;
  d.year = static_cast<uint32_t>(tm.tm_year + 1900);
  d.month = static_cast<uint8_t>(tm.tm_mon + 1);
  d.day = static_cast<uint8_t>(tm.tm_mday);
  d.hour = static_cast<uint8_t>(tm.tm_hour);
  d.minute = static_cast<uint8_t>(tm.tm_min);
  d.second = static_cast<uint8_t>(tm.tm_sec);
  return ClassEStd::DateTimeToTimestamp(d);
}

int32_t ClassEDevice::LocalTimeOffset(uint32_t instant) {
  // The offset in effect at that instant, daylight saving only when it applies
  // then: the local reading of the instant against its UTC reading. The two are
  // at most a day apart, and zones west of Greenwich give a negative value.
  std::time_t t = static_cast<std::time_t>(instant);
  if (sizeof(std::time_t) < 8 && instant > 0x7FFFFFFFu) t = 0x7FFFFFFF;  // its last second
  std::tm local{}, utc{};
  if (!standin::LocalTime(t, &local) || !standin::UtcTime(t, &utc)) return 0;
  int32_t days = local.tm_yday - utc.tm_yday;
  if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
  return days * 86400 + (local.tm_hour - utc.tm_hour) * 3600 + (local.tm_min - utc.tm_min) * 60 +
         (local.tm_sec - utc.tm_sec);
}

uint8_t ClassEDevice::BatteryLevelOf(uint16_t r) {
  if (r >= 900) return 255;
  if (r >= 600) return static_cast<uint8_t>((static_cast<uint32_t>(r) * 255 - 153000) / 300);
  return 0;
}

uint8_t ClassEDevice::BatteryStatusOf(uint16_t r) { return r >= 900 ? 5 : 4; }

namespace {
uint16_t ReadBattery() {
  uint16_t v = 0;
  if (standin::BatteryRead(&v) != 2) v = 0;
  return v;
}
}  // namespace

uint8_t ClassEDevice::GetBatteryLevel() { return BatteryLevelOf(ReadBattery()); }
uint8_t ClassEDevice::GetBatteryStatus() { return BatteryStatusOf(ReadBattery()); }
void ClassEDevice::GetBatteryInfo(uint8_t& level, uint8_t& status) {
  uint16_t r = ReadBattery();
  level = BatteryLevelOf(r);
  status = BatteryStatusOf(r);
}

void ClassEConsole::ShowMsg(const char*, bool) {}
void ClassEConsole::ShowMsg(int, bool) {}
void ClassEConsole::MsgWindow(const char*, const char*) {}
void ClassEConsole::MsgWindow(int32_t, const char*) {}
