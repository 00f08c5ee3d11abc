// Pictures loaded into RGBA surfaces through every registered loader, in every
// target format, straight and premultiplied, dithered, on a turned display, then
// drawn with and without blit flags onto surfaces of the same and another format.
// The first byte chooses the set-up; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/edsp_base.h"
#include "display/esurf_2d.h"
#include "display/esurf_2drgba.h"
#include "framework/emod_math.h"
#include "framework/emod_memory.h"
#include "loaders/eldr_base.h"

namespace {

class TurnedDisplay : public ClassEDisplay {
 public:
  void Turn(uint8_t swap, int32_t xdir, int32_t ydir) {
    swapxy_ = swap;
    xdir_ = xdir;
    ydir_ = ydir;
  }
};

struct World {
  ZARNCONFIG cfg{};
  ClassEMemory mem;
  ClassEMath math;
  TurnedDisplay dsp;
  ECD ecd{};
  World() {
    cfg.surfacetype = 1;
    math.Init();
    ecd.cfg = &cfg;
    ecd.mem = &mem;
    ecd.math = &math;
    ecd.dsp = &dsp;
    RegisterDisplayLoaders(&dsp);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  static World world;
  const uint8_t set = data[0];
  const uint8_t format = uint8_t(1 + set % 6);
  const uint32_t flags = ((set & 0x08) ? ESURF_PREMULTIPLIED : 0) | ((set & 0x10) ? 0x10 : 0);
  const uint8_t turn = (set >> 5) & 3;
  world.dsp.Turn(turn & 1, (turn & 2) ? -1 : 1, turn == 1 ? -1 : 1);
  std::vector<uint8_t> copy(data + 1, data + size);  // the loaders take a mutable image
  E2DSurfaceRGBA pic;
  pic.LinkECD(&world.ecd);
  pic.LoadImage(copy.data(), uint32_t(copy.size()), format, flags);
  if (pic.IsCreated() && uint64_t(pic.GetWidth()) * pic.GetHeight() <= (1u << 20)) {
    E2DSurface same, other;
    same.LinkECD(&world.ecd);
    other.LinkECD(&world.ecd);
    same.Create(37, 23, format, 0);
    other.Create(29, 31, uint8_t(format % 6 + 1), 0);
    same.BltFast(-3, -2, &pic, nullptr);
    same.BltFast(5, 4, &pic, nullptr, 0x0E, 0x80FF8040);
    same.BltFast(1, 1, &pic, nullptr, 0x18, 200);
    other.BltFast(-1, 2, &pic, nullptr, 0x08, 100);
    uint32_t colour;
    uint8_t alpha;
    pic.GetPixel(int32_t(pic.GetWidth()) - 1, 0, colour, alpha);
    pic.BuildTableMask(128);
  }
  world.dsp.Turn(0, 1, 1);
  return 0;
}
