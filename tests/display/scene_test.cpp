// The test scene through the stand-in: golden frames in every orientation, the
// turned frames against ImageMagick's rotation of the upright one, and the SDL
// window under Xvfb against the headless dump.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/display/display_rig.h"
#include "tools/displayscene/scene.h"

namespace {

// Number of pixels that differ by more than fuzz percent (-1 when compare failed).
long DifferentPixels(const std::string& a, const std::string& b, int fuzz) {
  const std::string out = a + ".ae";
  const std::string cmd = std::string(zt::kCompare) + " -metric AE -fuzz " + std::to_string(fuzz) +
                          "% '" + a + "' '" + b + "' null: 2> '" + out + "'";
  const int rc = zt::Run(cmd);
  if (rc != 0 && rc != 1) return -1;
  std::ifstream in(out);
  double v = -1;
  if (!(in >> v)) return -1;
  return long(v);
}

std::string Frame(const std::string& dir, int o) { return dir + "/scene" + std::to_string(o) + ".png"; }

// Draws the scene in orientation o on a frame buffer whose logical size is
// always 320 x 240, and dumps the frame.
void Render(const std::string& dir, int o) {
  zt::DisplayRig rig(zt::FbConfig(o & 1 ? "240x320@16/6+256" : "320x240@16/6+336"), uint8_t(o));
  ASSERT_EQ(rig.Open(), 0);
  ASSERT_EQ(rig.dsp.GetBackBuffer()->GetWidth(), 320u);
  zt::DrawTestScene(rig.dsp);
  rig.dsp.Flip(false);
  ASSERT_TRUE(standin::DumpFrame(Frame(dir, o)));
}

TEST(Scene, GoldenFramesInEveryOrientation) {
  if (!zt::HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
  const std::string dir = zt::TempDir("display_scene");
  const char* update = std::getenv("ZARN_UPDATE_GOLDEN");
  for (int o = 0; o < 4; o++) {
    SCOPED_TRACE(o);
    Render(dir, o);
    const std::string golden =
        std::string(ZARN_SOURCE_DIR) + "/tests/display/golden/scene" + std::to_string(o) + ".png";
    if (update && *update) zt::Run("cp '" + Frame(dir, o) + "' '" + golden + "'");
    EXPECT_EQ(DifferentPixels(Frame(dir, o), golden, 0), 0) << Frame(dir, o) << " vs " << golden;
  }
  // Un-turned, the frames are the upright one: exact for blits, text, fills,
  // lines and ovals; shapes with slanted edges and gradients are scanned along
  // the other axis on a turned screen and may differ by an edge pixel or a
  // rounding step.
  const int turn[4] = {0, 90, 180, 270};
  for (int o = 1; o < 4; o++) {
    SCOPED_TRACE(o);
    const std::string upright = dir + "/upright" + std::to_string(o) + ".png";
    ASSERT_EQ(zt::Run(std::string(zt::kConvert) + " '" + Frame(dir, o) + "' -rotate " +
                      std::to_string(turn[o]) + " '" + upright + "'"),
              0);
    const long differ = DifferentPixels(upright, Frame(dir, 0), 0);
    ASSERT_GE(differ, 0);
    EXPECT_LT(differ, 320 * 240 / 20) << upright;
    EXPECT_LT(DifferentPixels(upright, Frame(dir, 0), 10), 320 * 240 / 200) << upright;
  }
}

TEST(Scene, WindowUnderXvfbShowsTheHeadlessFrame) {
#if defined(__arm__)
  GTEST_SKIP() << "the ARM build has no window backend";
#endif
  if (!zt::HaveImageMagick() || !zt::HaveTool("Xvfb") || !zt::HaveTool("xdotool") ||
      !zt::HaveTool("import"))
    GTEST_SKIP() << "Xvfb, xdotool or ImageMagick is not installed";
  const std::string dir = zt::TempDir("display_window");
  const std::string exe = std::string(ZARN_BINARY_DIR) + "/tools/displayscene/displayscene";
  if (!std::ifstream(exe).good()) GTEST_SKIP() << "displayscene was not built";
  ASSERT_EQ(zt::Run("ZARN_BACKEND=headless SCENE_DUMP='" + dir + "/headless.png' '" + exe + "'"), 0);
  ASSERT_EQ(zt::Run("cd '" + dir + "' && ZARN_BACKEND=sdl SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 "
                    "SCENE_SHOT='" + dir + "/shot.png' timeout 60 " + zt::XvfbCommand("1024x768x24") + " '" +
                    exe + "' 2> '" + dir + "/err.txt'"),
            0);
  // The window is the frame at 3x; sampled back it is the headless frame.
  ASSERT_EQ(zt::Run(std::string(zt::kConvert) + " '" + dir + "/shot.png' -sample 320x240! '" + dir +
                    "/shot320.png'"),
            0);
  EXPECT_EQ(DifferentPixels(dir + "/shot320.png", dir + "/headless.png", 3), 0);
}

}  // namespace
