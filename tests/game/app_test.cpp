// The program entry, the game's application object and the module switch.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "game/app.h"
#include "net/emod_connect.h"
#include "tests/support/game_proc.h"
#include "tests/support/harness.h"
#include "tests/support/play_rig.h"

namespace {

// A ClassMain run headless, with its module table replaced by test modules.
struct Game {
  zt::Devices dev;
  ZARNDATA data{};
  ClassMain* app;
  explicit Game(const char* commandline = "") {
    std::strcpy(data.commandline, commandline);
    app = new ClassMain(&data);
  }
  ~Game() { delete app; }
};

// Test modules: a table of frames, each noting its call and what it writes.
std::vector<std::string> g_calls;
struct Step {
  uint32_t module, message;
};
std::vector<Step> g_steps;

int TestModule(void*, E2DSurface*, uint32_t* module, uint32_t* message, int32_t*, uint32_t elapsed) {
  if (*message == MSG_ATTACH) {
    g_calls.push_back("attach");
    return 0;
  }
  g_calls.push_back("m" + std::to_string(*module) + ":" + std::to_string(*message) + ":" +
                    std::to_string(elapsed));
  const size_t n = g_calls.size();
  if (n <= g_steps.size()) {
    *module = g_steps[n - 1].module;
    *message = g_steps[n - 1].message;
  }
  return 0;
}

TEST(ProgramEntry, NoDeviceMappingGoesStraightToTheMenu) {
  standin::Config cfg = zt::HeadlessConfig();
  cfg.failMem = true;
  standin::Configure(cfg);
  EXPECT_EQ(ZarnProgramEntry(), 0);
  EXPECT_EQ(standin::MenuProgramCalls(), 1u);
  EXPECT_EQ(standin::MenuProgramStatus(), 1);  // a failed start
  EXPECT_EQ(standin::FramesPresented(), 0u);
}

TEST(ProgramEntry, RunsUntilTheFrameLimitAndReturnsToTheMenu) {
  if (zt::ResParent().empty()) GTEST_SKIP() << "no resource packs";
  zt::InFolder in(zt::ResParent());
  ASSERT_TRUE(in.ok());
  standin::Config cfg = zt::HeadlessConfig();
#if defined(__arm__)
  cfg.failDsp = true;  // qemu-user here cannot start the mixer's feeder thread
#endif
  cfg.frameLimit = 5;
  standin::Configure(cfg);
  EXPECT_EQ(ZarnProgramEntry(), 0);
  EXPECT_EQ(standin::MenuProgramCalls(), 1u);
  EXPECT_EQ(standin::MenuProgramStatus(), 0);
  EXPECT_EQ(standin::FramesPresented(), 6u);  // the quitting frame is presented too
}

// The real program: a start that fails ends the process with status 1 and
// says why on stderr; a run that quits normally ends with 0 and says nothing
// but the stand-in's line on its way out.
TEST(ProgramEntry, FailedStartsEndWithAFailureStatus) {
  if (zt::GameExe().empty()) GTEST_SKIP() << "no program binary";
  const std::string packs = zt::GameDir("entry_status_packs");
  if (packs.empty()) GTEST_SKIP() << "no resource packs";
  const std::string none = zt::TempDir("entry_status_nopacks");
  const struct {
    const char* what;
    const std::string& dir;
    std::vector<std::string> env;
    int status;
    const char* says;
  } cases[] = {
      {"normal quit", packs, {"ZARN_FRAMES=5"}, 0, nullptr},
      {"no packs", none, {"ZARN_FRAMES=50"}, 1, "res/gfx.epk in the folder"},
      {"no devices", packs, {"ZARN_FAIL=mem,dsp"}, 1, "cannot open the console's devices"},
      {"no frame buffer", packs, {"ZARN_FAIL=fbinfo,dsp"}, 1, "Couldn't open the display device"},
      {"wrong resolution", packs, {"ZARN_FB=400x240@16"}, 1, "the game could not start: Wrong resolution"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> env = c.env;
    env.push_back("ZARN_CLOCK=fake");
    const std::string err = c.dir + "/stderr.txt";
    std::vector<zt::Child> kid(1);
    kid[0].pid = zt::SpawnGame(c.dir, env, err);
    zt::WaitAll(kid, 120);
    EXPECT_EQ(kid[0].status, c.status);
    const std::string text = zt::ReadText(err);
    if (c.says) {
      EXPECT_NE(text.find(c.says), std::string::npos) << text;
      continue;
    }
    for (const std::string& line : zt::Split(text, '\n')) {
      if (!line.empty()) {
        EXPECT_EQ(line, "stand-in: menu program requested, exiting with status 0") << text;
      }
    }
  }
}

TEST(ProgramEntry, WrongResolutionEndsStartUp) {
  standin::Config cfg = zt::HeadlessConfig();
  standin::ParseFbGeometry("400x240@16", &cfg.fb);
  zt::Devices dev(cfg);
  ZARNDATA data{};
  ClassMain app(&data);
  app.StartFramework(0);
  std::string text;
  for (const uint16_t* t = app.GetErrorMsg(); *t; t++) text.push_back(static_cast<char>(*t));
  EXPECT_EQ(text, "Wrong resolution");
  EXPECT_EQ(app.GetAppStatus(), ZAS_STARTING);
}

TEST(App, ConfigurationFromTheCommandLine) {
  const struct {
    const char* line;
    uint8_t full;
  } cases[] = {{"", 0}, {"-F", 1}, {"-FullScreen", 1}, {"-fullscreenx", 0}, {"-f ", 0}};
  for (const auto& c : cases) {
    Game g(c.line);
    ZARNCONFIG cfg{};
    ZARNDATA data{};
    std::strcpy(data.commandline, c.line);
    g.app->OnCreate(&cfg, &data);
    EXPECT_EQ(cfg.fullscreen, c.full) << c.line;
    EXPECT_EQ(cfg.width, 320u);
    EXPECT_EQ(cfg.orientation, 5);
    EXPECT_EQ(cfg.idlesleep, 0);
    EXPECT_EQ(cfg.fpslock, 60u);
  }
}

TEST(App, VolumeKeys) {
  const struct {
    uint32_t code;
    uint8_t before, after;
  } cases[] = {{24, 64, 64}, {24, 40, 56}, {24, 56, 64}, {23, 40, 24}, {23, 8, 0},
               {23, 16, 0},  {23, 0, 0},   {13, 40, 40}};
  for (const auto& c : cases) {
    Game g;
    g.app->Init();
    g.app->GetECD()->input->SetDefaultMappings();
    g.app->Settings().SetEffectVolume(c.before);
    g.app->Settings().SetMusicVolume(c.before);
    g.app->OnButtonDown(c.code, g.app->GetButtonList());
    EXPECT_EQ(g.app->Settings().EffectVolume(), c.after) << c.code << " from " << int(c.before);
    EXPECT_EQ(g.app->Settings().MusicVolume(), c.after);
    EXPECT_EQ(g.app->Sound().sfxVolume, c.code == 13 ? 0 : c.after);
  }
}

TEST(App, NetworkEventsMapToLevelCodes) {
  const struct {
    int32_t event, code;
  } cases[] = {{ENET_CONNECTED, 4}, {ENET_HOSTING, 3},      {ENET_PEERADDED, 5}, {ENET_CLOSED, 6},
               {ENET_DATA, 7},      {ENET_DEVICEFOUND, 8},  {ENET_SEARCHDONE, 9}, {5, -1},
               {15, -1},            {ENET_REQUEST, -1},     {-1, -1},             {1000, -1}};
  for (const auto& c : cases) EXPECT_EQ(ClassMain::LevelNetCode(c.event), c.code) << c.event;
}

TEST(ModuleSwitch, FramesRequestsAndHandOvers) {
  Game g;
  g.app->Init();
  g.app->OnInit(0);
  g_calls.clear();
  g_steps.clear();
  for (uint32_t id = 0; id < 16; id++) g.app->ModuleEntry(id) = nullptr;
  g.app->ModuleEntry(MODULE_INTRO) = TestModule;
  g.app->ModuleEntry(MODULE_TITLE) = TestModule;
  g.app->ModuleEntry(MODULE_LEVEL) = TestModule;
  ClassEDisplay* d = g.app->GetECD()->dsp;
  ASSERT_EQ(d->Open(nullptr, g.app->GetECD(), 32, 320, 240, true), 0);

  // Intro hands to the title, the title to the level (with a save and a zero
  // delta requested), the level asks to minimise, then quits.
  g_steps = {{MODULE_TITLE, MSG_ENTER}, {MODULE_LEVEL, MSG_ENTER}, {MODULE_LEVEL, MSG_MINIMIZE},
             {0x20, MSG_FRAME}};
  g.app->OnNextFrame(d, 16);
  g.app->OnNextFrame(d, 16);
  g.app->Data().zerodelta = 1;
  g.app->Data().saverequest = 1;
  g.app->OnNextFrame(d, 17);
  EXPECT_EQ(g.app->SaveCount(), 1u);
  g.app->OnNextFrame(d, 16);
  EXPECT_EQ(g.app->ModuleMessage(), MSG_FRAME);  // minimise request answered, module not told
  g.app->OnNextFrame(d, 16);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"m3:1:16", "m0:1:16", "m1:1:0", "m1:0:16"}));
  EXPECT_EQ(g.app->SaveCount(), 2u);  // quitting saves
  EXPECT_EQ(g.app->GetAppStatus(), ZAS_QUITTING);
}

TEST(ModuleSwitch, EmptySlotSavesAndQuitsOneFrameLater) {
  Game g;
  g.app->Init();
  g.app->OnInit(0);
  ClassEDisplay* d = g.app->GetECD()->dsp;
  ASSERT_EQ(d->Open(nullptr, g.app->GetECD(), 32, 320, 240, true), 0);
  g.app->ModuleId() = 7;
  g.app->OnNextFrame(d, 16);
  EXPECT_EQ(g.app->ModuleId(), MODULE_QUIT);
  EXPECT_EQ(g.app->SaveCount(), 0u);
  EXPECT_NE(g.app->GetAppStatus(), ZAS_QUITTING);
  g.app->OnNextFrame(d, 16);
  EXPECT_EQ(g.app->SaveCount(), 1u);
  EXPECT_EQ(g.app->GetAppStatus(), ZAS_QUITTING);
}

TEST(ModuleSwitch, NetworkStartFailureReachesTheLevel) {
  Game g;
  g.app->Init();
  g.app->GetConfig()->maxconnections = 1;
  g.app->OnInit(0);
  g_calls.clear();
  g_steps.clear();
  g.app->ModuleEntry(MODULE_LEVEL) = TestModule;
  ClassEDisplay* d = g.app->GetECD()->dsp;
  ASSERT_EQ(d->Open(nullptr, g.app->GetECD(), 32, 320, 240, true), 0);
  for (uint32_t m : {16u, 18u}) {
    g.app->ModuleId() = MODULE_NETSTART;
    g.app->ModuleMessage() = m;
    g.app->OnNextFrame(d, 16);
    // Without a connection the start fails; the same frame already runs the level.
    EXPECT_EQ(g.app->ModuleId(), MODULE_LEVEL);
    EXPECT_EQ(g_calls.back(), "m1:0:16");
  }
}

}  // namespace

namespace {

TEST(App, MinimiseAndRestoreRunTheModuleOnce) {
  Game g;
  g.app->Init();
  g.app->OnInit(0);
  g_calls.clear();
  g_steps.clear();
  ClassEDisplay* d = g.app->GetECD()->dsp;
  ASSERT_EQ(d->Open(nullptr, g.app->GetECD(), 32, 320, 240, true), 0);
  g.app->ModuleEntry(MODULE_LEVEL) = TestModule;
  g.app->ModuleId() = MODULE_LEVEL;
  g.app->ModuleMessage() = MSG_FRAME;
  g.app->ModuleKeys()[5] = 9;
  g.app->OnMinimize();
  g.app->OnMinimize();  // twice: the level still sees a pause each time
  EXPECT_EQ(g_calls, (std::vector<std::string>{"m1:65538:0", "m1:65538:0"}));
  EXPECT_EQ(g.app->ModuleMessage(), MSG_FRAME);  // what the level writes there is dropped
  g_steps = {{0, 0}, {0, 0}, {MODULE_LEVEL, 0x10003}};
  g.app->OnRestore();
  EXPECT_EQ(g.app->ModuleKeys()[5], 0);  // restored: key words cleared
  EXPECT_EQ(g_calls.back(), "m1:2:0");
  EXPECT_EQ(g.app->ModuleMessage(), 0x10003u);  // a changed restore message is kept
}

}  // namespace
