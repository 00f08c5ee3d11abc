// Opens the display on the stand-in chosen by the environment (ZARN_BACKEND,
// ZARN_FB), draws the test scene and presents it.
//   SCENE_ORIENTATION  0-3 (default 0)
//   SCENE_DUMP         write the presented frame as PNG
//   SCENE_SHOT         take a screenshot of the window with ImageMagick's import
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display/edsp_base.h"
#include "framework/emod_device.h"
#include "framework/emod_math.h"
#include "framework/emod_memory.h"
#include "standin/standin.h"
#include "tools/displayscene/scene.h"

int main() {
  if (!HandleDevicePtr(false)) {
    std::fprintf(stderr, "displayscene: no devices\n");
    return 1;
  }
  int rc = 0;
  {
    ClassEMemory mem;
    ClassEMath math;
    math.Init();
    ZARNCONFIG cfg;
    ZARNDATA data;
    ECD ecd;
    std::memset(&cfg, 0, sizeof cfg);
    std::memset(&data, 0, sizeof data);
    std::memset(&ecd, 0, sizeof ecd);
    cfg.renderformat = 32;
    cfg.surfacetype = 1;
    const char* o = std::getenv("SCENE_ORIENTATION");
    cfg.orientation = uint8_t(o ? std::atoi(o) & 3 : 0);
    ClassEDisplay dsp;
    ecd.mem = &mem;
    ecd.math = &math;
    ecd.cfg = &cfg;
    ecd.data = &data;
    ecd.dsp = &dsp;
    if (dsp.Open(nullptr, &ecd, 32, 0, 0, true) != 0) {
      std::fprintf(stderr, "displayscene: the display did not open\n");
      rc = 1;
    } else {
      zt::DrawTestScene(dsp);
      for (int i = 0; i < 3; i++) dsp.Flip(false);
      if (const char* dump = std::getenv("SCENE_DUMP"))
        if (!standin::DumpFrame(dump)) rc = 1;
      if (const char* shot = std::getenv("SCENE_SHOT")) {
        // A search can meet a window that vanishes as it looks: try again. The
        // caller's time-out bounds it (without a window import would wait for a click).
        const std::string cmd = std::string("until w=$(xdotool search --name '^") + standin::kWindowTitle +
                                "$' 2>/dev/null | head -1); [ -n \"$w\" ]; do sleep 0.1; done; import -window \"$w\" '" +
                                shot + "'";
        if (std::system(cmd.c_str()) != 0) rc = 1;
      }
      dsp.Close();
    }
  }
  HandleDevicePtr(true);
  return rc;
}
