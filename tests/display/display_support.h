// Helpers of the display tests: a framework context around a display that is
// either opened on the stand-in's frame buffer (kernel table filled) or left
// closed with a chosen orientation (generic loops, turned coordinates).
#ifndef ZARN_TESTS_DISPLAY_DISPLAY_SUPPORT_H
#define ZARN_TESTS_DISPLAY_DISPLAY_SUPPORT_H

#include <cstdint>
#include <cstring>
#include <memory>

#include "display/edsp_base.h"
#include "framework/emod_memory.h"
#include "framework/zarn_types.h"
#include "tests/support/harness.h"

namespace zt {

// The orientation lives in the display base; tests set it directly.
class TestDisplay : public ClassEDisplay {
 public:
  void Turn(uint8_t swap, int32_t xdir, int32_t ydir) {
    swapxy_ = swap;
    xdir_ = xdir;
    ydir_ = ydir;
  }
};

struct DisplayContext {
  ZARNCONFIG cfg{};
  ClassEMemory mem;
  TestDisplay dsp;
  ECD ecd{};
  DisplayContext() {
    cfg.renderformat = 32;
    cfg.surfacetype = 1;
    cfg.flags = 0x8;  // no built-in font
    ecd.cfg = &cfg;
    ecd.mem = &mem;
    ecd.dsp = &dsp;
  }
};

// An opened display (5:6:5 stand-in frame buffer, table for 16 bits).
struct OpenDisplay {
  Devices devices;
  DisplayContext ctx;
  bool ok = false;
  OpenDisplay() { ok = devices.ok() && ctx.dsp.Open(nullptr, &ctx.ecd, 16, 320, 240, false) == 0; }
  ~OpenDisplay() { ctx.dsp.Close(); }
};

}  // namespace zt

#endif
