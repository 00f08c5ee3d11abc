// A display opened on the stand-in's frame buffer with its own framework context.
#ifndef ZARN_TESTS_DISPLAY_DISPLAY_RIG_H
#define ZARN_TESTS_DISPLAY_DISPLAY_RIG_H

#include <cstring>
#include <memory>
#include <string>

#include "display/edsp_base.h"
#include "framework/emod_math.h"
#include "framework/emod_memory.h"
#include "standin/standin.h"
#include "tests/support/harness.h"

namespace zt {

inline standin::Config FbConfig(const std::string& geometry) {
  standin::Config c = HeadlessConfig();
  if (!geometry.empty()) standin::ParseFbGeometry(geometry, &c.fb);
  return c;
}

struct DisplayRig {
  Devices dev;
  ClassEMemory mem;
  ClassEMath math;
  ZARNCONFIG cfg;
  ZARNDATA data;
  ECD ecd;
  ClassEDisplay dsp;
  explicit DisplayRig(const standin::Config& c = HeadlessConfig(), uint8_t orientation = 0,
                      uint32_t flags = 0)
      : dev(c) {
    math.Init();
    std::memset(&cfg, 0, sizeof cfg);
    std::memset(&data, 0, sizeof data);
    std::memset(&ecd, 0, sizeof ecd);
    cfg.renderformat = 32;
    cfg.surfacetype = 1;
    cfg.orientation = orientation;
    cfg.flags = flags;
    ecd.mem = &mem;
    ecd.math = &math;
    ecd.cfg = &cfg;
    ecd.data = &data;
    ecd.dsp = &dsp;
  }
  int Open() { return dsp.Open(nullptr, &ecd, 32, 0, 0, true); }
};

}  // namespace zt

#endif
