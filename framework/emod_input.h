// Input actions and events: key-to-action mappings, held and repeated actions,
// the frame's event queue, pointer, wheel and typed characters, key names.
#ifndef ZARN_FRAMEWORK_EMOD_INPUT_H
#define ZARN_FRAMEWORK_EMOD_INPUT_H

#include <cstdint>

#include "framework/zarn_types.h"

class ClassEInput {
 public:
  ClassEInput();
  ~ClassEInput();
  ClassEInput(const ClassEInput&) = delete;
  ClassEInput& operator=(const ClassEInput&) = delete;

  // Mappings.
  int AddKeyMapping(uint8_t action, uint32_t key);
  int AddKeyMapping(uint8_t action, uint32_t count, int key, ...);
  void SetDefaultMappings();
  int MappedTo(uint8_t action, uint32_t key) const;
  int RemoveKeyMapping(uint32_t key);
  int RemoveActionMapping(uint8_t action);

  // Events from the framework.
  void OnKeyDown(uint32_t key);
  void OnKeyUp(uint32_t key);
  void CheckRepeat(uint32_t elapsed);
  void ResetEvents();
  void ResetState();
  void OnClickDown(int32_t x, int32_t y, uint8_t button);
  void OnClickDouble(int32_t x, int32_t y, uint8_t button);
  void OnClickUp(int32_t x, int32_t y, uint8_t button);
  void OnClickMove(int32_t x, int32_t y);
  void OnWheelScroll(int32_t steps);
  void OnTilt(int32_t a, int32_t b);
  void PutChar(uint16_t character, uint32_t key);

  // Queries for the application.
  int KeyHold(uint8_t action) const;
  int ClickHold(uint8_t button) const;
  uint8_t GetKeyEvent(uint8_t action);
  int GetKeyEvent(E_INPUTEVENT* out);
  int GetClickEvent(E_INPUTEVENT* out);
  uint32_t GetKeyPressCount(uint8_t action, bool withRepeats) const;
  uint32_t GetClickPressCount(int32_t& x, int32_t& y, uint8_t button, bool withRepeats) const;
  uint16_t GetChar(uint32_t* key);
  uint32_t GetLastKey() const { return lastKey_; }
  void GetClickPosition(int32_t& x, int32_t& y) const { x = posX_; y = posY_; }
  void GetTiltAngle(int32_t& a, int32_t& b) const { a = tiltA_; b = tiltB_; }
  int32_t GetWheelScroll();
  void SetRepeatRates(uint32_t delay, uint32_t interval);
  int GetTiltData(ECD* ecd, int32_t* a, int32_t* b);

  // Key names.
  void GetKeyName(int32_t code, char* out) const;
  void GetKeyName(int32_t code, uint16_t* out) const;
  void LoadKeyDescriptor(const uint16_t* list);
  void LoadKeyDescriptor(const char* list);

  // Capacities.
  static constexpr int kMaxEvents = 32;
  static constexpr int kMaxMappings = 128;
  static constexpr int kMaxChars = 32;
  static constexpr int kHoldWords = 240;

 private:
  void QueueEvent(uint8_t type, uint8_t action);
  void TakeEvent(int index);
  bool OtherMappingHeld(int index) const;
  void CheckHoldState(int index);
  // Removes every mapping the predicate picks, releasing what it held; 1 when any went.
  template <class Pick>
  int RemoveMappings(Pick pick);

  E_INPUTEVENT events_[kMaxEvents];
  uint32_t mappings_[kMaxMappings];
  uint32_t hold_[kHoldWords];
  uint32_t charKeys_[kMaxChars];
  uint32_t nameOffsets_[160];
  uint16_t chars_[kMaxChars];
  uint16_t* names_ = nullptr;
  int32_t posX_ = 0, posY_ = 0;
  int32_t tiltA_ = 0, tiltB_ = 0;
  int32_t wheel_ = 0;
  uint32_t repeatDelay_ = 300, repeatInterval_ = 100;
  uint32_t lastKey_ = 0;
  uint8_t numMappings_ = 0, numEvents_ = 0, numChars_ = 0;
};

// The hold-word step of a mapping's removal or release: keeps the action's hold
// word only when another mapping of the same action is still held.
void EInput_CheckHoldState(uint32_t* mappings, uint32_t* hold, uint32_t index, uint32_t count);

#endif
