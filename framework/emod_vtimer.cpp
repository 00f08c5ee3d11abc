#include "framework/emod_vtimer.h"

#include "standin/standin.h"

// A monotonic clock: a wall clock stepped backwards would give a huge delta and
// stall every fixed-step loop that catches up on it.
uint32_t ClassERTimer::Count() { return standin::ClockMs(); }

void ClassERTimer::Update() {
  previous_ = current_;
  current_ = Count();
}

ClassEVTimer::ClassEVTimer() = default;

void ClassEVTimer::Reset() { Reset(ClassERTimer::Count()); }

void ClassEVTimer::Reset(uint32_t now) {
  suspended_ = false;
  startTime_ = now;
  lastReal_ = now;
  virtualTime_ = 0;
  previousVirtual_ = 0;
  fraction_ = 0;
}

void ClassEVTimer::Update() { Update(ClassERTimer::Count()); }

void ClassEVTimer::Update(uint32_t now) {
  readingBefore_ = lastReading_;
  lastReading_ = now;
  if (suspended_) {
    previousVirtual_ = virtualTime_;
    return;
  }
  Advance(now - lastReal_);
  lastReal_ = now;
}

void ClassEVTimer::Increase(uint32_t ms) {
  if (suspended_) {
    previousVirtual_ = virtualTime_;
    return;
  }
  Advance(ms);
}

void ClassEVTimer::Advance(uint32_t realMs) {
  uint32_t d = speed_ * realMs;
  previousVirtual_ = virtualTime_;
  virtualTime_ += (fraction_ + d) / 1000;
  fraction_ = (fraction_ + d) % 1000;
}

void ClassEVTimer::Resume() { Resume(ClassERTimer::Count()); }

void ClassEVTimer::Resume(uint32_t now) {
  if (!suspended_) return;
  suspended_ = false;
  lastReal_ = now;
}
