// Timers: the shared millisecond clock and the framework's virtual clock.
#ifndef ZARN_FRAMEWORK_EMOD_VTIMER_H
#define ZARN_FRAMEWORK_EMOD_VTIMER_H

#include <cstdint>

// Real-time millisecond timer. Count() is the program's shared clock: monotonic,
// in milliseconds, wrapping at 32 bits; only differences are meaningful.
class ClassERTimer {
 public:
  static uint32_t Count();
  void Update();
  uint32_t RetrieveDelta() const { return current_ - previous_; }
  static uint32_t Delta(uint32_t a, uint32_t b) { return a - b; }

 private:
  uint32_t current_ = 0, previous_ = 0;
};

// Virtual clock: real time scaled by a speed in thousandths, suspendable.
class ClassEVTimer {
 public:
  ClassEVTimer();
  void Reset();
  void Reset(uint32_t now);
  void SetSpeed(uint32_t speed) { speed_ = speed; }
  uint32_t GetSpeed() const { return speed_; }
  void Update();
  void Update(uint32_t now);
  void Increase(uint32_t ms);
  void Suspend() { suspended_ = true; }
  void Resume();
  void Resume(uint32_t now);
  uint32_t RetrieveTime() const { return virtualTime_; }
  uint32_t RetrieveDelta() const { return virtualTime_ - previousVirtual_; }
  bool Suspended() const { return suspended_; }

 private:
  void Advance(uint32_t realMs);
  bool suspended_ = false;
  uint32_t startTime_ = 0;
  uint32_t lastReal_ = 0;
  uint32_t fraction_ = 0;
  uint32_t speed_ = 1000;
  uint32_t previousVirtual_ = 0;
  uint32_t virtualTime_ = 0;
  uint32_t lastReading_ = 0, readingBefore_ = 0;
};

#endif
