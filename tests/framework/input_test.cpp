// Console buttons, input actions and events, the frame loop's timing and order,
// and input recording.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/emod_input.h"
#include "tests/framework/log_app.h"
#include "tests/support/harness.h"
#include "tests/support/zarn_seam.h"

namespace {

using zt::LogApp;

std::vector<std::string> Downs(const std::vector<std::string>& log) {
  std::vector<std::string> out;
  for (const auto& l : log)
    if (l.compare(0, 4, "down") == 0) out.push_back(l.substr(4));
  return out;
}

// An application whose pressed mask is in step with an idle register block.
struct Polled {
  zt::Devices dev;
  LogApp app;
  Polled() {
    app.Init();
    app.SetButtonList();
    app.CheckInput();
    app.log.clear();
  }
};

TEST(Buttons, DiagonalsAndLines) {
  const struct {
    std::vector<uint32_t> held;
    std::vector<std::string> downs;
  } cases[] = {
      {{2}, {"1", "3"}},             // a lone up-left is up and left
      {{4}, {"3", "5"}},
      {{6}, {"5", "7"}},
      {{8}, {"1", "7"}},
      {{2, 13}, {"1", "3", "13"}},   // A is on another register: still a lone diagonal
      {{1, 2}, {"1", "2"}},          // up-left while up is held stays up-left
      {{24}, {"24"}},
      {{28}, {"28"}},
      {{9, 32}, {"9", "32"}},
  };
  for (const auto& c : cases) {
    Polled p;
    for (uint32_t code : c.held) standin::SetButton(code, true);
    p.app.CheckInput();
    EXPECT_EQ(Downs(p.app.log), c.downs);
  }
}

TEST(Buttons, HeldAtStartGivesNoPressUntilReleased) {
  zt::Devices dev;
  standin::SetButton(13, true);
  LogApp app;
  app.Init();
  app.CheckInput();
  EXPECT_TRUE(Downs(app.log).empty());
  EXPECT_EQ(std::count(app.log.begin(), app.log.end(), "up13"), 0);
  app.log.clear();
  standin::SetButton(13, false);
  app.CheckInput();
  EXPECT_EQ(app.log, std::vector<std::string>{"up13"});
  standin::SetButton(13, true);
  app.CheckInput();
  EXPECT_EQ(app.log.back(), "down13");
}

TEST(Input, KeyNames) {
  ClassEInput in;
  const struct {
    int32_t code;
    const char* name;
  } cases[] = {{0, "None"},    {1, "Up"},       {3, "Left"},         {5, "Down"},       {7, "Right"},
               {9, "Start"},   {10, "Select"},  {11, "L"},           {12, "R"},         {13, "A"},
               {14, "B"},      {15, "X"},       {16, "Y"},           {23, "Volume down"}, {24, "Volume up"},
               {28, "Enter"},  {2, "#2"},       {300, "#300"},       {256, "#256"},     {-5, "#-5"},
               {255, "#255"},  {INT32_MIN, "#-2147483648"}};
  for (const auto& c : cases) {
    char out[64];
    in.GetKeyName(c.code, out);
    EXPECT_STREQ(out, c.name) << c.code;
    uint16_t wide[64];
    in.GetKeyName(c.code, wide);
    std::string w;
    for (uint16_t* p = wide; *p; p++) w.push_back(static_cast<char>(*p));
    EXPECT_EQ(w, c.name);
  }
  // A name number without a line gives the text at offset 0.
  in.LoadKeyDescriptor("Only\r\n\r\nTwo");
  char out[64];
  in.GetKeyName(5, out);  // name 97: the second line
  EXPECT_STREQ(out, "Two");
  in.GetKeyName(24, out);  // name 141: no such line
  EXPECT_STREQ(out, " ");
}

TEST(Input, DefaultMappingsAndQueue) {
  ClassEInput in;
  in.SetDefaultMappings();
  in.OnKeyDown(28);
  E_INPUTEVENT e;
  std::vector<int> actions;
  while (in.GetKeyEvent(&e)) actions.push_back(e.action);
  EXPECT_EQ(actions, (std::vector<int>{0xC4, 0xC9, 0xC8}));
  EXPECT_EQ(in.GetLastKey(), 28u);
  EXPECT_EQ(in.AddKeyMapping(224, 5), 0);
  EXPECT_EQ(in.AddKeyMapping(0x30, 3, 1, 2, 3), 1);
  EXPECT_EQ(in.AddKeyMapping(0x30, 0, 1), 0);
  in.RemoveActionMapping(0xC4);
  EXPECT_FALSE(in.MappedTo(0xC4, 28));
  EXPECT_TRUE(in.MappedTo(0xC9, 28));
  EXPECT_TRUE(in.MappedTo(0xC9, 16));
  // The mapping table holds 128 entries.
  ClassEInput full;
  for (int i = 0; i < 128; i++) ASSERT_EQ(full.AddKeyMapping(1, 40 + i), 1);
  EXPECT_EQ(full.AddKeyMapping(1, 7), 0);
  // At most 32 events a frame.
  for (int i = 0; i < 128; i++) full.OnKeyDown(40 + i);
  EXPECT_EQ(full.GetKeyPressCount(1, false), 32u);
}

TEST(Input, TwoButtonsOfOneAction) {
  ClassEInput in;
  in.AddKeyMapping(5, 13);
  in.AddKeyMapping(5, 15);
  in.OnKeyDown(13);
  in.OnKeyDown(15);
  in.OnKeyUp(13);
  EXPECT_EQ(in.KeyHold(5), 1);
  EXPECT_EQ(in.GetKeyEvent(5), EIT_DOWN);
  EXPECT_EQ(in.GetKeyEvent(5), EIT_DOWN);
  EXPECT_EQ(in.GetKeyEvent(5), EIT_UP);
  in.OnKeyUp(15);
  EXPECT_EQ(in.KeyHold(5), 0);
  // Removing a held button's mapping keeps the action held through the other one.
  in.OnKeyDown(13);
  in.OnKeyDown(15);
  in.RemoveKeyMapping(15);
  EXPECT_EQ(in.KeyHold(5), 1);
  in.RemoveKeyMapping(13);
  EXPECT_EQ(in.KeyHold(5), 0);
}

TEST(Input, RepeatsAt304ThenEvery112With16msFrames) {
  ClassEInput in;
  in.AddKeyMapping(7, 13);
  in.OnKeyDown(13);
  in.ResetEvents();
  std::vector<uint32_t> at;
  for (uint32_t t = 16; t <= 1000; t += 16) {
    in.CheckRepeat(16);
    if (in.GetKeyEvent(7) == EIT_REPEAT) at.push_back(t);
    in.ResetEvents();
  }
  EXPECT_EQ(at, (std::vector<uint32_t>{304, 416, 528, 640, 752, 864, 976}));
}

TEST(Input, PointerWheelAndCharacters) {
  ClassEInput in;
  in.OnClickDown(10, 20, 0);
  in.OnClickDown(30, 40, 1);
  int32_t x, y;
  EXPECT_EQ(in.GetClickPressCount(x, y, 0, false), 1u);  // button 0 counts 225..227 only
  EXPECT_EQ(x, 30);
  EXPECT_EQ(in.ClickHold(2), 1);  // 224 held counts for every button
  E_INPUTEVENT e;
  ASSERT_EQ(in.GetClickEvent(&e), 1);
  EXPECT_EQ(e.action, 0);
  in.OnClickUp(0, 0, 0);
  EXPECT_EQ(in.ClickHold(2), 0);
  EXPECT_EQ(in.ClickHold(1), 1);
  for (int i = 0; i < 5; i++) in.OnWheelScroll(+5);
  in.OnWheelScroll(-1);
  EXPECT_EQ(in.GetWheelScroll(), 4);
  EXPECT_EQ(in.GetWheelScroll(), 0);
  in.SetDefaultMappings();
  in.PutChar('a', 14);  // 14 serves action 200: no character
  in.PutChar('b', 13);
  uint32_t key = 0;
  EXPECT_EQ(in.GetChar(&key), 'b');
  EXPECT_EQ(key, 13u);
  EXPECT_EQ(in.GetChar(nullptr), 0);
}

TEST(Loop, FrameLockSpreadsASecondOverSixtyFrames) {
  zt::Devices dev;
  LogApp app;
  app.Init();
  std::vector<uint32_t> steps;
  uint32_t before = ZarnTestSeam::LockTarget(app);
  for (int i = 0; i < 60; i++) {
    app.LockFPS();
    steps.push_back(ZarnTestSeam::LockTarget(app) - before);
    before = ZarnTestSeam::LockTarget(app);
  }
  EXPECT_EQ(steps[0], 16666u);
  EXPECT_EQ(steps[1], 16667u);
  EXPECT_EQ(steps[2], 16667u);
  EXPECT_EQ(ZarnTestSeam::LockTarget(app), 1000000u);
}

TEST(Loop, LateFramesDoNotHurryAndWrapKeepsDifference) {
  zt::Devices dev;
  LogApp app;
  app.Init();
  app.VTimer().Reset(0);
  app.VTimer().Update(50);  // a 50 ms frame
  app.LockFPS();
  EXPECT_EQ(ZarnTestSeam::LockTarget(app), 50000u);
  EXPECT_EQ(ZarnTestSeam::LockElapsed(app), 50000u);
  // 999 us ahead: only the short sleep (1 ms with idlesleep 1).
  app.VTimer().Update(50);
  ZarnTestSeam::SetLockState(app, 50000 + 999 - 16666, 50000, 0);
  uint64_t t0 = standin::ClockUs();
  app.LockFPS();
  EXPECT_EQ(standin::ClockUs() - t0, 1000u);
  // Both above ten seconds: both wrap, keeping their difference.
  ZarnTestSeam::SetLockState(app, 10016000 - 16666, 10000400, 0);
  t0 = standin::ClockUs();
  app.LockFPS();
  EXPECT_EQ(standin::ClockUs() - t0, 15000u);
  EXPECT_EQ(ZarnTestSeam::LockTarget(app), 16000u);
  EXPECT_EQ(ZarnTestSeam::LockElapsed(app), 400u);
}

TEST(Loop, FrameRateMeter) {
  zt::Devices dev;
  LogApp app;
  app.Init();
  for (int i = 0; i < 30; i++) {
    app.CalculateFPS();
    EXPECT_EQ(app.GetFPS(), 0u);
    standin::SleepUs(16700);
  }
  app.CalculateFPS();  // at 501 ms: 30 frames counted
  uint32_t whole, hundredths;
  app.GetFPS(whole, hundredths);
  EXPECT_EQ(whole * 100 + hundredths, 5988u);
}

TEST(Loop, SixtyFramesTakeOneSecondOfFakeTime) {
  zt::Devices dev;
  LogApp app;
  app.quitAfter = 61;
  EXPECT_EQ(app.StartFramework(0), 0);
  uint32_t total = 0;
  for (size_t i = 1; i < app.deltas.size(); i++) {
    EXPECT_TRUE(app.deltas[i] == 16 || app.deltas[i] == 17) << i << ": " << app.deltas[i];
    total += app.deltas[i];
  }
  EXPECT_NEAR(total, 1000u, 2u);
  EXPECT_EQ(standin::FramesPresented(), 61u);
}

TEST(Loop, MinimisedFrameOnlySleeps) {
  zt::Devices dev;
  LogApp app;
  app.Init();
  app.SetState(ZAS_MINIMIZED);
  const uint64_t t0 = standin::ClockUs();
  app.MainLoop();
  EXPECT_EQ(standin::ClockUs() - t0, 100000u);
  EXPECT_EQ(app.frames, 0u);
  EXPECT_EQ(standin::FramesPresented(), 0u);
}

// A console hidden after its third frame for half a second of its clock
// (what a minimised window reports): minimised, no frame runs or is shown until
// it is back.
TEST(Loop, HiddenConsoleIsMinimisedUntilShownAgain) {
  standin::Config cfg = zt::HeadlessConfig();
  cfg.minimize = {{3, 500}};
  zt::Devices dev(cfg);
  LogApp app;
  app.quitAfter = 6;
  std::vector<uint32_t> clock;
  app.eachFrame = [&](LogApp*) { clock.push_back(standin::ClockMs()); };
  EXPECT_EQ(app.StartFramework(0), 0);
  std::vector<std::string> states;
  for (const auto& l : app.log)
    if (l == "minimize" || l == "restore") states.push_back(l);
  EXPECT_EQ(states, (std::vector<std::string>{"minimize", "restore"}));
  ASSERT_EQ(clock.size(), 6u);
  EXPECT_GE(clock[3] - clock[2], 500u);
  // The hidden time never reaches the game: the frames around it take no more
  // than two frames' time.
  EXPECT_EQ(app.deltas[3], 0u);
  EXPECT_LE(app.deltas[3] + app.deltas[4], 34u);
  EXPECT_EQ(standin::FramesPresented(), 6u);
}

TEST(Loop, ButtonReachesCallbackThisFrameAndQueueNextFrame) {
  standin::Config cfg = zt::HeadlessConfig();
  cfg.buttons = {{2, 13, true}, {4, 13, false}};  // pressed before frame 3's poll
  zt::Devices dev(cfg);
  LogApp app;
  app.quitAfter = 6;
  std::vector<std::string> seen;
  app.eachFrame = [&](LogApp* a) {
    const uint8_t type = a->Input().GetKeyEvent(0xC5);
    seen.push_back(std::to_string(a->frames) + ":" + std::to_string(type) + ":" +
                   std::to_string(std::count(a->log.begin(), a->log.end(), "down13")));
  };
  app.StartFramework(0);
  // Frame 3 polls the press (callback), frame 4 sees the event; the release
  // polled in frame 5 is seen in frame 6. Frame 2 sees the release that the
  // first poll reports for every line (the mask starts all ones).
  EXPECT_EQ(seen, (std::vector<std::string>{"1:0:0", "2:4:0", "3:0:0", "4:1:1", "5:0:1", "6:4:1"}));
}

TEST(Recording, CapacityAndEncoding) {
  zt::Devices dev;
  LogApp app;
  app.Init();
  EXPECT_EQ(app.StartRecording(16), 0);
  // 24 short time events fill 48 bytes, then recording stops by itself.
  ASSERT_EQ(app.StartRecording(64), 1);
  uint8_t* buf = static_cast<uint8_t*>(app.GetRecordingData());
  uint8_t active = 1;
  int written = 0;
  for (int i = 0; i < 30 && active; i++) {
    Zarn_AddRecordEvent(buf, active, 0, 16, 0, 0);
    if (active) written++;
  }
  EXPECT_EQ(written, 24);
  EXPECT_EQ(app.GetRecordingDataSize(), 64u);
  ASSERT_EQ(app.StartRecording(64), 1);
  active = 1;
  Zarn_AddRecordEvent(buf, active, 1, 300, 0, 0);
  Zarn_AddRecordEvent(buf, active, 4, -1, 70000, 1);
  EXPECT_EQ(std::vector<uint8_t>(buf + 16, buf + 25),
            (std::vector<uint8_t>{1, 1, 44, 4, 0x7F, 0xFF, 0xFF, 0xFF, 1}));
}

// Records a run at 60 frames per second and plays it back at 30.
TEST(Recording, PlaybackAtHalfTheFrameRateGivesTheSameEvents) {
  std::vector<uint8_t> recording;
  std::vector<std::string> recorded;
  {
    standin::Config cfg = zt::HeadlessConfig();
    cfg.buttons = {{3, 13, true}, {10, 13, false}, {12, 9, true}, {13, 9, false}};
    zt::Devices dev(cfg);
    LogApp app;
    app.quitAfter = 20;
    app.eachFrame = [&](LogApp* a) {
      if (a->frames == 1) a->StartRecording(4096);
      E_INPUTEVENT e;
      while (a->Input().GetKeyEvent(&e))
        recorded.push_back(std::to_string(e.action) + "/" + std::to_string(e.type));
    };
    app.StartFramework(0);
    auto* p = static_cast<uint8_t*>(app.GetRecordingData());
    recording.assign(p, p + app.GetRecordingDataSize());
  }
  ASSERT_FALSE(recorded.empty());
  zt::Devices dev;
  std::vector<std::string> played;
  struct Player : LogApp {
    std::vector<uint8_t>* data = nullptr;
    bool started = false;
    int OnNextFrame(ClassEDisplay* d, uint32_t elapsed) override {
      if (!started) {  // the first real frame starts playback
        started = true;
        PlayRecording(data->data(), static_cast<uint32_t>(data->size()));
        return 0;
      }
      return LogApp::OnNextFrame(d, elapsed);
    }
  } player;
  player.data = &recording;
  player.quitAfter = 1000;
  player.configure = [](ZARNCONFIG* c) { c->fpslock = 30; };
  player.eachFrame = [&](LogApp* a) {
    E_INPUTEVENT e;
    while (a->Input().GetKeyEvent(&e)) played.push_back(std::to_string(e.action) + "/" + std::to_string(e.type));
    if (!static_cast<Player*>(a)->IsPlaying()) a->Quit();
  };
  player.StartFramework(0);
  EXPECT_EQ(played, recorded);
  EXPECT_LT(standin::FramesPresented(), player.frames);  // several recorded frames per real one
}

TEST(Recording, MalformedRecordingsEndCleanly) {
  const std::vector<std::vector<uint8_t>> bad = {
      {},                                                   // nothing
      {16, 0, 0, 0, 0, 0, 0, 0, 200, 0, 0, 0, 0, 0, 0, 0},  // events past the block
      {16, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 9, 1, 2},  // unknown type
      {16, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 4, 1},     // cut-off event
  };
  for (auto b : bad) {
    zt::Devices dev;
    LogApp app;
    app.Init();
    app.PlayRecording(b.data(), static_cast<uint32_t>(b.size()));
    for (int i = 0; i < 3 && app.IsPlaying(); i++) app.PlayRecordingLoop(16);
    EXPECT_FALSE(app.IsPlaying());
  }
}

}  // namespace
