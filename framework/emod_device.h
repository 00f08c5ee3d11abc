// Device information and the console's device glue.
#ifndef ZARN_FRAMEWORK_EMOD_DEVICE_H
#define ZARN_FRAMEWORK_EMOD_DEVICE_H

#include <cstdint>

// Descriptors of "/dev/mem" and "/dev/fb0" (0 when not open) and the mapped
// register block (null when not mapped).
extern int edeviceptr[2];
extern uint8_t* edevicereg_ptr;
extern uint16_t* edevicereg_ptr16;

// Opens and maps the devices (close false), or unmaps and closes them (close true).
// Returns the mapped register block, or null.
uint8_t* HandleDevicePtr(bool close);
// Reads the 16-bit register at a byte offset of the mapped block (0xFFFF unmapped).
uint16_t EDevice_ReadReg16(uint32_t offset);
// The working folder followed by "/", as 16-bit text of at most `size` units
// (terminator included); only "/" when the folder cannot be found.
void GetPath(uint16_t* out, uint32_t size = 512);
uint32_t ZarnGetUIDNr();
char* _itoa(int value, char* out, int radix);

class ClassEDevice {
 public:
  ClassEDevice();
  ~ClassEDevice();
  void GetModelName(uint16_t* out);
  void GetModelName(char* out);
  uint32_t GetModelID() { return 0; }
  void GetOSName(uint16_t* out);
  void GetOSName(char* out);
  void GetOwnerName(uint16_t* out);
  void GetOwnerName(char* out);
  void GetIMEI(uint16_t* out);
  void GetIMEI(char* out);
  static void CurrentTime(uint8_t& hour, uint8_t& minute, uint8_t& second, bool local);
  static void CurrentDate(uint32_t& year, uint8_t& month, uint8_t& day, bool local);
  static uint32_t TimestampNow(bool local);
  // Seconds the local zone is ahead of UTC (negative west of Greenwich) at an
  // instant in seconds since 1970 (UTC), daylight saving included when in effect.
  static int32_t LocalTimeOffset(uint32_t instant);
  static uint8_t GetBatteryLevel();
  static uint8_t GetBatteryStatus();
  static void GetBatteryInfo(uint8_t& level, uint8_t& status);
  // The level and status for one raw reading.
  static uint8_t BatteryLevelOf(uint16_t reading);
  static uint8_t BatteryStatusOf(uint16_t reading);

 private:
  uint16_t reserved_[128];
  [[maybe_unused]] uint8_t flag_ = 0;
};

class ClassEConsole {
 public:
  ClassEConsole() = default;
  void LinkWindow(int* window) { window_ = window; }
  void Empty() {}
  void ShowMsg(const uint16_t*, bool = true) {}
  void ShowMsg(const char* text, bool newline = true);
  void ShowMsg(int value, bool newline = true);
  void MsgWindow(const uint16_t*, const uint16_t*) {}
  void MsgWindow(const char* text, const char* title);
  void MsgWindow(int32_t value, const char* title);

 private:
  int* window_ = nullptr;
};

#endif
