// The stand-in's own contract: register lines, scripts, geometry, frame dumps,
// and the program under both desktop backends.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>

#include "framework/emod_device.h"
#include "loaders/eldr_png.h"
#include "tests/loaders/ldr_fake.h"
#include "tests/support/game_proc.h"
#include "tests/support/harness.h"

namespace {

// A dumped frame through the project's own PNG decoder.
int DecodePng(const std::string& path, ldr::FakeImage* img) {
  std::vector<uint8_t> file = zt::ReadFile(path);
  if (file.empty()) return -1;
  ELoader_PNG png;
  return png.Decode(img, file.data(), static_cast<uint32_t>(file.size()), EFMT_RGB32, 0);
}

uint16_t Word(uint32_t offset) {
  const uint8_t* r = standin::RegisterBlock();
  return static_cast<uint16_t>(r[offset] | (r[offset + 1] << 8));
}

TEST(Registers, ButtonLinesAreActiveLowBits) {
  const struct {
    uint32_t code, offset;
    uint16_t mask;
  } cases[] = {{1, 0x1198, 0x0001}, {8, 0x1198, 0x0080}, {9, 0x1184, 0x0100}, {16, 0x1184, 0x8000},
               {17, 0x1186, 0x0001}, {24, 0x1186, 0x0080}, {32, 0x1186, 0x8000}};
  for (const auto& c : cases) {
    zt::Devices dev;
    EXPECT_EQ(Word(c.offset) & c.mask, c.mask);
    standin::SetButton(c.code, true);
    EXPECT_EQ(Word(c.offset) & c.mask, 0) << c.code;
    EXPECT_EQ(EDevice_ReadReg16(c.offset), Word(c.offset));
    EXPECT_TRUE(standin::ButtonPressed(c.code));
    standin::SetButton(c.code, false);
    EXPECT_EQ(Word(c.offset), 0xFFFF);
  }
  zt::Devices dev;
  EXPECT_EQ(Word(0x1182) & 0x10, 0);  // vertical sync never holds a wait
  EXPECT_EQ(standin::RegisterBlock()[0], 0xFF);
  standin::SetButton(0, true);  // codes outside 1-32 touch nothing
  standin::SetButton(33, true);
  EXPECT_EQ(Word(0x1198), 0xFFFF);
}

TEST(Config, ScriptsAndGeometry) {
  std::vector<standin::Config::ButtonStep> steps;
  std::string err;
  ASSERT_TRUE(standin::ParseButtonScript("10:+13, 12:-13\n40:+9", &steps, &err));
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[1].frame, 12u);
  EXPECT_FALSE(steps[1].pressed);
  for (const char* bad : {"10:13", "x:+1", "5:+33", "5:+0", "5+1", "5:+"})
    EXPECT_FALSE(standin::ParseButtonScript(bad, &steps, &err)) << bad;
  standin::FbScreenInfo f;
  ASSERT_TRUE(standin::ParseFbGeometry("320x240@16/5+352", &f));
  EXPECT_EQ(f.xres_virtual, 352u);
  EXPECT_EQ(f.green.length, 5u);
  ASSERT_TRUE(standin::ParseFbGeometry("640x480@32", &f));
  EXPECT_EQ(f.bits_per_pixel, 32u);
  EXPECT_FALSE(standin::ParseFbGeometry("0x10@16", &f));
  EXPECT_FALSE(standin::ParseFbGeometry("banana", &f));
}

TEST(FrameBuffer, FailuresAndDumps) {
  for (int which = 0; which < 3; which++) {
    standin::Config cfg = zt::HeadlessConfig();
    (which == 0 ? cfg.failFbOpen : which == 1 ? cfg.failFbInfo : cfg.failFbMap) = true;
    standin::Configure(cfg);
    const int fd = standin::FbOpen();
    standin::FbScreenInfo info;
    if (which == 0) {
      EXPECT_LT(fd, 0);
    } else if (which == 1) {
      EXPECT_NE(standin::FbGetScreenInfo(fd, &info), 0);
    } else {
      EXPECT_EQ(standin::FbMap(fd, 320 * 240 * 2), nullptr);
    }
  }
  zt::Devices dev;
  const int fd = edeviceptr[1];
  uint8_t* p = standin::FbMap(fd, 320 * 240 * 2);
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 320 * 240; i++) {
    p[2 * i] = 0x1F;  // blue
    p[2 * i + 1] = 0xF8;  // red
  }
  const std::string dir = zt::TempDir("standin_dump");
  ASSERT_TRUE(standin::DumpFrame(dir + "/f.png"));
  ldr::FakeImage img;
  ASSERT_EQ(DecodePng(dir + "/f.png", &img), ERES_OK);
  EXPECT_EQ(img.width, 320u);
  EXPECT_EQ(img.height, 240u);
  ASSERT_EQ(img.pixels.size(), 320u * 240u);
  for (uint32_t c : img.pixels) ASSERT_EQ(c, 0xFFFF00FFu);  // 5:6:5 red and blue, opaque
  // An outside decoder agrees.
  if (zt::HavePythonModule("PIL")) {
    const std::string check =
        "from PIL import Image; im=Image.open('" + dir +
        "/f.png'); assert im.size==(320,240) and im.getpixel((5,5))==(255,0,255)";
    EXPECT_EQ(zt::Run(std::string(zt::kPython) + " -c \"" + check + "\""), 0);
  }
  standin::FbUnmap(p, 320 * 240 * 2);
}

// The real program, headless and (when Xvfb is here) in a window.
TEST(Program, HeadlessRunEndsThroughTheMenuWithFrameDumps) {
  const std::string dir = zt::TempDir("standin_program");
  ASSERT_TRUE(zt::LinkRes(dir)) << "no resource packs";
  const std::string exe = zt::ProgramCommand(std::string(ZARN_BINARY_DIR) + "/zarn");
  const int rc = zt::Run("cd '" + dir + "' && ZARN_BACKEND=headless ZARN_CLOCK=fake ZARN_FRAMES=20 ZARN_DUMP='" +
                         dir + "/frames' ZARN_DUMP_FRAMES=20 " + exe + " 2>/dev/null");
  EXPECT_EQ(rc, 0);
  ldr::FakeImage img;
  ASSERT_EQ(DecodePng(dir + "/frames/frame000020.png", &img), ERES_OK);
  EXPECT_EQ(img.width, 320u);
  EXPECT_EQ(img.height, 240u);
  // The title screen's text on its background, not one flat colour.
  size_t drawn = 0;
  for (uint32_t c : img.pixels) drawn += c != img.pixels[0];
  EXPECT_GT(drawn, 100u);
}

TEST(Program, FrameTimesGiveTheRealPacing) {
  // Stamped in memory, written when the process ends, on the real clock even
  // when the program runs on the fake one.
  for (const char* clock : {"real", "fake"}) {
    const std::string dir = zt::GameDir(std::string("standin_frametimes_") + clock);
    if (dir.empty()) GTEST_SKIP() << "no resource packs";
    std::vector<zt::Child> kid(1);
    const uint64_t before = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                      std::chrono::steady_clock::now().time_since_epoch())
                                                      .count());
    kid[0].pid = zt::SpawnGame(dir, {"ZARN_FRAMES=60", "ZARN_FRAMETIMES=" + dir + "/times.txt",
                                     std::string("ZARN_CLOCK=") + (clock[0] == 'f' ? "fake" : "")});
    zt::WaitAll(kid, 120);
    ASSERT_EQ(kid[0].status, 0) << clock;
    std::ifstream in(dir + "/times.txt");
    uint64_t n = 0, us = 0, first = 0, last = 0, count = 0;
    while (in >> n >> us) {
      count++;
      EXPECT_EQ(n, count);
      EXPECT_GE(us, last);
      if (count == 1) first = us;
      last = us;
    }
    ASSERT_GE(count, 60u) << clock;
    EXPECT_GT(first, before);
    // 60 frames a second: the real clock sees the lock's sleeps.
    if (clock[0] == 'r') {
      EXPECT_GT(last - first, 800000u);
    }
  }
  standin::Config cfg = zt::HeadlessConfig();
  cfg.frameTimesPath = "/nonexistent/folder/times.txt";
  standin::Configure(cfg);
  EXPECT_TRUE(standin::FrameStamps().empty());
  EXPECT_FALSE(standin::WriteFrameTimes(cfg.frameTimesPath));
  standin::Configure(zt::HeadlessConfig());
}

TEST(Program, OpensAWindowUnderXvfb) {
#if defined(__arm__)
  GTEST_SKIP() << "the ARM build has no window backend";
#endif
  if (!zt::HaveTool("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
  const std::string dir = zt::TempDir("standin_window");
  ASSERT_TRUE(zt::LinkRes(dir)) << "no resource packs";
  const std::string exe = std::string(ZARN_BINARY_DIR) + "/zarn";
  // The window backend announces nothing; it must run and leave with status 0,
  // and must not fall back to headless (which it reports on stderr). Leak checks
  // stay off here: drivers that X loads and unloads leave blocks with no names.
  const int rc = zt::Run("cd '" + dir + "' && ZARN_BACKEND=sdl ZARN_FRAMES=30 SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 timeout 60 xvfb-run -a -s '-screen 0 1024x768x24' '" +
                         exe + "' 2> '" + dir + "/err.txt'");
  EXPECT_EQ(rc, 0);
  std::ifstream err(dir + "/err.txt");
  std::string text((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find("running headless"), std::string::npos) << text;
}

}  // namespace

#if defined(ZARN_HAVE_SDL2)
#include <SDL.h>

// A key pressed and released between two polls still reaches the register for
// one frame: the release waits for the next pump.
TEST(Window, QuickTapIsHeldUntilTheNextFrame) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  standin::Config cfg = zt::HeadlessConfig();
  cfg.backend = "sdl";
  standin::Configure(cfg);
  standin::FbPresented();  // opens the window backend
  if (!SDL_WasInit(SDL_INIT_VIDEO)) GTEST_SKIP() << "no SDL video";
  auto push = [](Uint32 type, SDL_Keycode key) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = key;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  };
  push(SDL_KEYDOWN, SDLK_x);
  push(SDL_KEYUP, SDLK_x);
  standin::FbPresented();
  EXPECT_TRUE(standin::ButtonPressed(14));
  standin::FbPresented();
  EXPECT_FALSE(standin::ButtonPressed(14));
  // A press held across frames is released when its release comes.
  push(SDL_KEYDOWN, SDLK_LEFT);
  standin::FbPresented();
  EXPECT_TRUE(standin::ButtonPressed(3));
  standin::FbPresented();
  EXPECT_TRUE(standin::ButtonPressed(3));
  push(SDL_KEYUP, SDLK_LEFT);
  standin::FbPresented();
  EXPECT_FALSE(standin::ButtonPressed(3));
  standin::Configure(zt::HeadlessConfig());
  unsetenv("SDL_VIDEODRIVER");
}
#endif
