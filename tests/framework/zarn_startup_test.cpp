// Start-up, configuration check, application states and the frame loop.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/zarn.h"
#include "tests/framework/log_app.h"
#include "net/emod_connect.h"
#include "tests/support/harness.h"

namespace {

using zt::LogApp;
using zt::Narrow;

struct StartCase {
  const char* name;
  std::function<void(LogApp&)> setup;
  int result;
  const char* text;
};

TEST(Startup, FailureMatrix) {
  const std::vector<StartCase> cases = {
      {"rotation 7", [](LogApp& a) { a.configure = [](ZARNCONFIG* c) { c->orientation = 7; }; }, 1,
       "Unknown display rotation"},
      {"width 322", [](LogApp& a) { a.configure = [](ZARNCONFIG* c) { c->width = 322; c->height = 1; }; },
       1, "Wrong display size: width not divisible by 4"},
      {"8 by 8", [](LogApp& a) { a.configure = [](ZARNCONFIG* c) { c->width = 8; c->height = 8; }; }, 1,
       "Obscure display sizes not supported"},
      {"2004 wide", [](LogApp& a) { a.configure = [](ZARNCONFIG* c) { c->width = 2004; }; }, 1,
       "Obscure display sizes not supported"},
      {"fps 4", [](LogApp& a) { a.configure = [](ZARNCONFIG* c) { c->fpslock = 4; }; }, 1,
       "Locking FPS below 5 is disabled"},
      {"OnCreate 7", [](LogApp& a) { a.createResult = 7; }, 7, ""},
      {"OnPluginLoad 5", [](LogApp& a) { a.pluginResult = 5; }, 5, ""},
      {"OnInit 3", [](LogApp& a) { a.initResult = 3; }, 3, ""},
      {"OnDisplayInit 2", [](LogApp& a) { a.displayInitResult = 2; }, 2, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    zt::Devices dev;
    ASSERT_TRUE(dev.ok());
    LogApp app;
    c.setup(app);
    EXPECT_EQ(app.StartFramework(0), c.result);
    EXPECT_EQ(Narrow(app.GetErrorMsg()), c.text);
    EXPECT_EQ(app.GetAppStatus(), ZAS_STARTING);
    for (const auto& l : app.log) EXPECT_NE(l, "exit");
    EXPECT_EQ(app.frames, 0u);
  }
}

TEST(Startup, FrameBufferFailureGivesDisplayText) {
  standin::Config cfg = zt::HeadlessConfig();
  cfg.failFbInfo = true;
  zt::Devices dev(cfg);
  LogApp app;
  EXPECT_EQ(app.StartFramework(0), 1);
  EXPECT_EQ(Narrow(app.GetErrorMsg()), "Couldn't open the display device");
}

TEST(Startup, OnInitFailureSkipsDisplayInitButResetsTimer) {
  zt::Devices dev;
  LogApp app;
  app.initResult = 9;
  app.VTimer().SetSpeed(400);
  EXPECT_EQ(app.StartFramework(0), 9);
  EXPECT_EQ(app.log, (std::vector<std::string>{"create", "plugin", "init"}));
  EXPECT_EQ(app.VTimer().GetSpeed(), 1000u);
}

TEST(Startup, NormalRunCallsEverythingOnceInOrder) {
  zt::Devices dev;
  LogApp app;
  EXPECT_EQ(app.StartFramework(0), 0);
  // The pressed mask starts all ones, so the first poll releases every line once.
  std::vector<std::string> calls;
  for (const auto& l : app.log)
    if (l.compare(0, 2, "up") != 0) calls.push_back(l);
  EXPECT_EQ(std::count_if(app.log.begin(), app.log.end(),
                          [](const std::string& l) { return l.compare(0, 2, "up") == 0; }),
            32);
  EXPECT_EQ(calls, (std::vector<std::string>{"create", "plugin", "init", "displayinit", "exit"}));
  EXPECT_EQ(app.frames, 3u);
  EXPECT_EQ(app.GetAppStatus(), ZAS_ENDED);
  // Quitting again once ended changes nothing and calls no second OnExit.
  app.Quit();
  app.ChangeAppStatus(ZAS_ENDED);
  EXPECT_EQ(app.GetAppStatus(), ZAS_ENDED);
  EXPECT_EQ(std::count(app.log.begin(), app.log.end(), "exit"), 1);
}

TEST(Startup, ConfigurationEdges) {
  struct Case {
    uint8_t fps, orientation, connections;
    int result;
    uint32_t width, height;
    int conns;
  };
  const Case cases[] = {
      {0, 0, 1, 0, 320, 240, 1},    // no lock passes
      {5, 0, 0, 0, 320, 240, 0},    // no connection objects
      {60, 0, 200, 0, 320, 240, 16},  // capped at 16
      {60, 1, 1, 0, 240, 320, 1},   // sideways: sizes swapped
      {60, 5, 1, 0, 320, 240, 1},   // automatic portrait keeps them
  };
  for (const auto& c : cases) {
    zt::Devices dev;
    LogApp app;
    app.quitAfter = 1;
    app.configure = [&](ZARNCONFIG* z) {
      z->fpslock = c.fps;
      z->orientation = c.orientation;
      z->maxconnections = c.connections;
    };
    EXPECT_EQ(app.StartFramework(0), c.result);
    EXPECT_EQ(app.GetConfig()->width, c.width);
    EXPECT_EQ(app.GetConfig()->height, c.height);
    EXPECT_EQ(app.GetConfig()->fullscreen, 1);
    int n = 0;
    for (int i = 0; i < 16; i++) n += app.GetConnection(i) != nullptr;
    EXPECT_EQ(n, c.conns);
    if (c.conns) {
      EXPECT_EQ(app.GetConnection(c.conns - 1)->GetConnectID(), c.conns - 1);
    }
  }
}

TEST(States, TransitionTable) {
  struct Case {
    uint8_t from, request, to;
    bool exits;
  };
  const Case cases[] = {
      {ZAS_STARTING, ZAS_RUNNING, ZAS_RUNNING, false},
      {ZAS_RUNNING, ZAS_INACTIVE, ZAS_INACTIVE, false},
      {ZAS_INACTIVE, ZAS_RUNNING, ZAS_RUNNING, false},
      {ZAS_RUNNING, ZAS_MINIMIZED, ZAS_MINIMIZED, false},
      {ZAS_MINIMIZED, ZAS_RUNNING, ZAS_RUNNING, false},
      {ZAS_RUNNING, ZAS_QUITTING, ZAS_QUITTING, false},
      {ZAS_QUITTING, ZAS_QUITTING, ZAS_QUITTING, false},
      {ZAS_ENDED, ZAS_QUITTING, ZAS_ENDED, false},
      {ZAS_RUNNING, ZAS_ENDED, ZAS_RUNNING, false},   // ignored: OnExit only after Quit
      {ZAS_QUITTING, ZAS_ENDED, ZAS_ENDED, true},
      {ZAS_STARTING, ZAS_ENDED, ZAS_ENDED, false},
      {ZAS_RUNNING, 7, ZAS_RUNNING, false},
      {ZAS_QUITTING, ZAS_STARTING, ZAS_STARTING, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.from) << " -> " << int(c.request));
    zt::Devices dev;
    LogApp app;
    app.SetState(c.from);
    app.ChangeAppStatus(c.request);
    EXPECT_EQ(app.GetAppStatus(), c.to);
    EXPECT_EQ(std::count(app.log.begin(), app.log.end(), "exit"), c.exits ? 1 : 0);
  }
}

TEST(Rect, Functions) {
  tagRECT a, b, out{};
  SetRect(&a, 0, 0, 10, 10);
  SetRect(&b, 5, 5, 20, 20);
  tagPOINT in{9, 0}, edge{10, 0};
  EXPECT_EQ(InRect(&a, &in), 1);
  EXPECT_EQ(InRect(&a, &edge), 0);
  EXPECT_EQ(InRect(nullptr, &in), 0);
  EXPECT_EQ(RectIntersect(&a, &b, &out), 1);
  EXPECT_EQ(out.left, 5);
  EXPECT_EQ(out.right, 10);
  tagRECT far{10, 0, 20, 10}, empty{3, 3, 3, 9};
  EXPECT_EQ(RectIntersect(&a, &far, &out), 0);
  EXPECT_EQ(RectIntersect(&a, &empty, &out), 0);
  EXPECT_EQ(RectIntersect(&a, nullptr, &out), 0);
}

TEST(Errors, TextsStayInsideTheirBuffer) {
  LogApp app;
  std::string longText(1000, 'x');
  app.SetErrorMsg(longText.c_str());
  EXPECT_EQ(Narrow(app.GetErrorMsg()).size(), 255u);
  std::vector<uint16_t> wide(700, 'y');
  wide.push_back(0);
  app.SetErrorMsg(wide.data());
  EXPECT_EQ(Narrow(app.GetErrorMsg()).size(), 255u);
}

}  // namespace
