// The tests' window into the application class: the frame-rate lock's state.
#ifndef ZARN_TESTS_SUPPORT_ZARN_SEAM_H
#define ZARN_TESTS_SUPPORT_ZARN_SEAM_H

#include <cstdint>

#include "framework/zarn.h"

struct ZarnTestSeam {
  static uint32_t LockTarget(const ClassZarn& app) { return app.lockTarget_; }
  static uint32_t LockElapsed(const ClassZarn& app) { return app.lockElapsed_; }
  static void SetLockState(ClassZarn& app, uint32_t target, uint32_t elapsed, uint32_t remainder) {
    app.lockTarget_ = target;
    app.lockElapsed_ = elapsed;
    app.lockRemainder_ = remainder;
  }
};

#endif
