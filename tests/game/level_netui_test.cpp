// The network set-up screens as a player meets them, by button taps through
// the real menus: the host list's address editor (the settings file written
// afterwards read by an independent reader), the versus-computer player
// select, and a host that disconnects a joined player from its player select
// and from the pause menu while a real joiner on 127.0.0.1 watches.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "game/dialog.h"
#include "tests/support/harness.h"
#include "tests/support/level_rig.h"
#include "tests/support/menu_driver.h"
#include "tests/support/net_console.h"

namespace {

using zt::Add;
using zt::AtItem;
using zt::B;
using zt::Choose;
using zt::Dialog;
using zt::DOWN;
using zt::LEFT;
using zt::ShellRun;
using zt::Shot;
using zt::Step;
using zt::UP;

const std::string kGolden = std::string(ZARN_SOURCE_DIR) + "/tests/game/golden/netui_";
const std::string kRef = std::string(ZARN_SOURCE_DIR) + "/tests/game/settings_ref.py";

#define REQUIRE_TOOLS()                                                      \
  do {                                                                       \
    if (zt::ResParent().empty()) GTEST_SKIP() << "no resource packs";        \
    if (!zt::HaveCompare()) GTEST_SKIP() << "ImageMagick is not installed"; \
  } while (0)

// The settings file as the independent reader sees it: "field=value" lines.
std::string RefRead(const std::string& file) { return zt::Capture("python3 '" + kRef + "' read '" + file + "'"); }
std::string Field(const std::string& dump, const std::string& field) {
  const std::string key = "\n" + field + "=";
  const size_t at = ("\n" + dump).find(key);
  if (at == std::string::npos) return "?";
  const size_t from = at + key.size() - 1;
  return dump.substr(from, dump.find('\n', from) - from);
}

bool InLevel(ClassMain& app, uint8_t state) {
  return app.ModuleId() == MODULE_LEVEL && app.Level().levelState == state;
}
// The level in a state with its cursor on a row and no dialog open.
std::function<bool(ClassMain&)> AtRow(uint8_t state, uint8_t row) {
  return [state, row](ClassMain& app) {
    return InLevel(app, state) && app.Level().menuCursor == row && app.Console().state == DLG_IDLE;
  };
}
Step Act(std::function<bool(ClassMain&)> when, std::function<void(ClassMain&)> f) {
  Step s{std::move(when), {}, ""};
  s.act = std::move(f);
  return s;
}
void Type(std::vector<Step>& s, const std::string& text) {
  for (char c : text) s.push_back(zt::TypeKey(static_cast<uint8_t>(c)));
}
const uint8_t kEnter = 10, kBackspace = 8;

// Adds three addresses on the keyboard (a letter and a sixteenth digit are
// refused), edits one and deletes one through the option dialog; the saved
// hosts are in the settings file the game writes when it quits. A second start
// lists them, cancels, connects to one that refuses, and clears the list.
TEST(NetSetupScreens, HostListEditorByTaps) {
  REQUIRE_TOOLS();
  if (!zt::HaveTool("python3")) GTEST_SKIP() << "python3 missing";
  setenv("ZARN_NET_PORT", std::to_string(zt::TestPort(20)).c_str(), 1);  // nothing listens there
  const std::string folder = zt::GameDir("netui_hosts");
  const std::string dir = zt::TempDir("netui_hosts_frames");
  auto name = [](uint8_t row) {
    return [row](ClassMain& app) { return std::string(app.Level().hostNames[row]); };
  };

  std::vector<Step> s;
  Add(s, Choose(MENU_MAIN, 0, 1));
  s.push_back({AtItem(MENU_MULTI, 0), {B}, ""});  // Join Game
  s.push_back({AtRow(8, 0), {B}, ""});            // "* Add new host *": the editor opens
  Type(s, "a127.0.0.9");
  s.push_back(Shot([=](ClassMain& app) { return Dialog(DLG_INPUT, 250)(app) && name(0)(app) == "127.0.0.9"; },
                   "editing"));
  s.push_back(zt::TypeKey(kEnter));
  s.push_back({AtRow(8, 0), {DOWN, B}, ""});
  Type(s, "1234567890123456");
  s.push_back(zt::TypeKey(kEnter));
  s.push_back({AtRow(8, 1), {DOWN, B}, ""});
  Type(s, "127.0.0.3");
  s.push_back(zt::TypeKey(kEnter));
  // Edit the first: the option dialog, "Edit", one character replaced.
  s.push_back({AtRow(8, 2), {UP, UP, B}, ""});
  s.push_back({Dialog(DLG_OPTION), {DOWN}, ""});
  s.push_back(Shot([](ClassMain& app) { return Dialog(DLG_OPTION)(app) && app.Console().timer == 1; }, "option"));
  s.push_back({Dialog(DLG_OPTION), {B}, ""});
  s.push_back(zt::TypeKey(kBackspace));
  s.push_back(zt::TypeKey('1'));
  s.push_back(zt::TypeKey(kEnter));
  // Delete the third.
  s.push_back({AtRow(8, 0), {DOWN, DOWN, B}, ""});
  s.push_back({Dialog(DLG_OPTION), {DOWN, DOWN, B}, ""});
  std::string rows[3];
  s.push_back(Act(AtRow(8, 2), [&](ClassMain& app) {
    for (int i = 0; i < 3; i++) rows[i] = app.Level().hostNames[i];
  }));
  s.push_back({AtRow(8, 2), {DOWN, DOWN, DOWN, DOWN, DOWN, B}, ""});  // Exit
  Add(s, Choose(MENU_MULTI, 0, 6));                                   // Return (saves)
  Add(s, Choose(MENU_MAIN, 1, 7));                                    // Quit Game
  ShellRun first(s, folder, dir, 20000);
  ASSERT_TRUE(first.Go());
  EXPECT_TRUE(first.driver.Done()) << "stopped after step " << first.driver.StepsDone();
  EXPECT_TRUE(first.run.ended);
  zt::CheckShots(first.driver, dir, kGolden);
  EXPECT_EQ(rows[0], "127.0.0.1");
  EXPECT_EQ(rows[1], "123456789012345");  // fifteen characters at most
  EXPECT_EQ(rows[2], "");
  const std::string cfg = folder + "/game.cfg";
  std::string saved = RefRead(cfg);
  EXPECT_EQ(Field(saved, "valid"), "1");
  EXPECT_EQ(Field(saved, "host0"), "127.0.0.1");
  EXPECT_EQ(Field(saved, "host1"), "123456789012345");
  for (int i = 2; i < 6; i++) EXPECT_EQ(Field(saved, "host" + std::to_string(i)), "") << i;

  // The next start lists them; "Cancel" keeps an entry, "Connect" to a port
  // where nothing listens fails back to the list, "Clear list" asks first.
  std::vector<std::string> listed, boxes;
  std::vector<Step> t;
  Add(t, Choose(MENU_MAIN, 0, 1));
  t.push_back({AtItem(MENU_MULTI, 0), {B}, ""});
  t.push_back(Act(AtRow(8, 0), [&](ClassMain& app) {
    for (int i = 0; i < 6; i++) listed.push_back(app.Level().hostNames[i]);
  }));
  t.push_back({AtRow(8, 0), {DOWN, B}, ""});
  t.push_back({Dialog(DLG_OPTION), {UP, B}, ""});  // up from "Connect" wraps to "Cancel"
  t.push_back({AtRow(8, 1), {UP, B}, ""});
  t.push_back({Dialog(DLG_OPTION), {B}, ""});  // Connect
  t.push_back({[&](ClassMain& app) { return AtRow(8, 0)(app) && !boxes.empty(); }, {DOWN, DOWN, DOWN, DOWN, DOWN, DOWN, B}, ""});
  t.push_back({Dialog(DLG_CONFIRM), {LEFT, B}, ""});  // "Yes"
  t.push_back(Act(AtRow(8, 6), [&](ClassMain& app) {
    for (int i = 0; i < 6; i++) EXPECT_STREQ(app.Level().hostNames[i], "") << i;
  }));
  t.push_back({AtRow(8, 6), {DOWN, B}, ""});
  Add(t, Choose(MENU_MULTI, 0, 6));
  Add(t, Choose(MENU_MAIN, 1, 7));
  ShellRun second(t, folder, dir, 20000);
  uint8_t lastState = 0;
  second.hook = [&](ClassMain& app, uint32_t) {
    const ClassLevel& L = app.Level();
    if (app.ModuleId() == MODULE_LEVEL && L.levelState == 10 && lastState != 10)
      boxes.push_back(std::string(L.messageLine[0]) + "|" + L.messageLine[1] + "|" + L.messageLine[2]);
    lastState = app.ModuleId() == MODULE_LEVEL ? L.levelState : 0;
  };
  ASSERT_TRUE(second.Go());
  EXPECT_TRUE(second.driver.Done()) << "stopped after step " << second.driver.StepsDone();
  ASSERT_EQ(listed.size(), 6u);
  EXPECT_EQ(listed[0], "127.0.0.1");
  EXPECT_EQ(listed[1], "123456789012345");
  EXPECT_EQ(boxes, std::vector<std::string>{"Failed to connect.|Please recheck|your connection."});
  saved = RefRead(cfg);
  EXPECT_EQ(Field(saved, "valid"), "1");
  for (int i = 0; i < 6; i++) EXPECT_EQ(Field(saved, "host" + std::to_string(i)), "") << i;
  EXPECT_EQ(Field(saved, "name"), "Anonymous");
  unsetenv("ZARN_NET_PORT");
}

// "Select CPU players": a row cycles None, Freaky Fred, Average Joe, Mighty
// Mike (never a remote player); "Start" with every seat empty plays effect 11
// and stays; the seats chosen are the ones that play.
TEST(NetSetupScreens, VersusComputerPlayerSelectByTaps) {
  REQUIRE_TOOLS();
  const std::string dir = zt::TempDir("netui_versus_frames");
  std::vector<int> cycle;
  uint32_t refusedBefore = 0;
  uint8_t seated[3] = {9, 9, 9};
  std::vector<Step> s;
  Add(s, Choose(MENU_MAIN, 0, 1));
  s.push_back({AtItem(MENU_MULTI, 0), {DOWN, DOWN, B}, ""});  // Versus CPU
  s.push_back({AtRow(7, 0), {DOWN, B, B, B, B}, ""});
  s.push_back({AtRow(7, 1), {B, B, B, DOWN, B, B, DOWN, B}, ""});  // every seat empty
  s.push_back(Act(AtRow(7, 3), [&](ClassMain& app) { refusedBefore = app.Data().sound->sfxPlayed[11]; }));
  s.push_back({AtRow(7, 3), {DOWN, B}, ""});  // Start
  s.push_back(Act(AtRow(7, 4), [&](ClassMain& app) {
    EXPECT_EQ(app.Data().sound->sfxPlayed[11], refusedBefore + 1);
    EXPECT_EQ(app.Level().ActiveCoPlayers(), 0u);
  }));
  s.push_back({AtRow(7, 4), {UP, UP, UP, B, DOWN, DOWN, B, B, B}, ""});  // Fred, None, Mike
  s.push_back(Shot(AtRow(7, 3), "select_cpu"));
  s.push_back({AtRow(7, 3), {DOWN, B}, ""});
  s.push_back(Act([](ClassMain& app) { return zt::Driver::Playing(app); }, [&](ClassMain& app) {
    for (int i = 0; i < 3; i++) seated[i] = app.Level().slot[i].kind;
  }));
  ShellRun r(s, zt::GameDir("netui_versus"), dir, 6000);
  r.quitWhenDone = true;
  r.hook = [&](ClassMain& app, uint32_t) {
    if (!InLevel(app, 7)) return;
    const int k = app.Level().slot[0].kind;
    if (cycle.empty() || cycle.back() != k) cycle.push_back(k);
  };
  ASSERT_TRUE(r.Go());
  EXPECT_TRUE(r.driver.Done()) << "stopped after step " << r.driver.StepsDone();
  zt::CheckShots(r.driver, dir, kGolden);
  EXPECT_EQ(cycle, (std::vector<int>{1, 2, 3, 0, 1, 2, 3, 0, 1}));
  EXPECT_EQ(seated[0], 1);
  EXPECT_EQ(seated[1], 0);
  EXPECT_EQ(seated[2], 3);
}

// A host (the program) and a joiner (a level of this test program) on
// 127.0.0.1. The host disconnects the joined player from its player select:
// the seat waits for a player again and the joiner, told by the closed
// connection, is back at its host list; it joins again into the same seat.
// In the game's pause menu the host disconnects it once more: the seat is
// dropped, no one is left ("All players have left") and the joiner ends with
// "Disconnected by host.".
TEST(NetSetupScreens, HostDisconnectsAJoinedPlayer) {
  REQUIRE_TOOLS();
  setenv("ZARN_NET_HOST", "127.0.0.1", 1);
  setenv("ZARN_NET_PORT", std::to_string(zt::TestPort(21)).c_str(), 1);
  const std::string dir = zt::TempDir("netui_kick_frames");
  zt::NetConsole joiner("Ann", 3);
  bool joining = false;
  auto join = [&] {
    std::strcpy(joiner.level.hostAddresses[0], "127.0.0.1");
    joiner.level.menuCursor = 0;
    joiner.level.stateTimer = 0;
    joiner.level.levelState = 6;
    joining = true;
  };
  auto seated = [&](ClassMain& app) {
    return app.Level().slot[0].link == 2 && joiner.level.levelState == 6 && joiner.level.stateTimer >= 20000;
  };
  std::vector<std::string> hostBoxes, joinerBoxes;
  bool seatFreed = false, loginFreed = false;

  std::vector<Step> s;
  Add(s, Choose(MENU_MAIN, 0, 1));
  s.push_back({AtItem(MENU_MULTI, 0), {DOWN, B}, ""});  // Host Game
  s.push_back(Act(AtRow(7, 0), [&](ClassMain&) { join(); }));
  s.push_back({[&](ClassMain& app) { return AtRow(7, 0)(app) && seated(app); }, {DOWN, B}, ""});
  s.push_back({Dialog(DLG_CONFIRM), {LEFT, B}, ""});  // "Disconnect player?" yes
  s.push_back(Act([&](ClassMain& app) { return AtRow(7, 1)(app) && joiner.level.levelState == 8; },
                  [&](ClassMain& app) {
                    const ClassLevel& L = app.Level();
                    seatFreed = L.slot[0].kind == 4 && L.slot[0].link == 0;
                    loginFreed = true;
                    for (const auto& e : L.loginTable) loginFreed = loginFreed && e[1] == 0;
                    join();
                  }));
  s.push_back({[&](ClassMain& app) { return AtRow(7, 1)(app) && seated(app); }, {DOWN, DOWN, DOWN, B}, ""});  // Start
  s.push_back({[&](ClassMain& app) { return InLevel(app, 1) && joiner.level.levelState == 1; }, {zt::START}, ""});
  s.push_back(Shot([&](ClassMain& app) { return AtRow(9, 0)(app) && joiner.level.levelState == 9; }, "pause_host"));
  s.push_back({[&](ClassMain& app) { return AtRow(9, 0)(app) && joiner.level.levelState == 9; }, {B}, ""});
  s.push_back(Shot([](ClassMain& app) { return InLevel(app, 9) && Dialog(DLG_CONFIRM)(app); }, "pause_disconnect"));
  s.push_back({Dialog(DLG_CONFIRM), {LEFT, B}, ""});
  s.push_back(Act([&](ClassMain&) { return joinerBoxes.size() >= 2 && !hostBoxes.empty(); }, [](ClassMain&) {}));

  ShellRun r(s, zt::GameDir("netui_kick"), dir, 8000);
  r.quitWhenDone = true;
  uint8_t hostLast = 0, joinerLast = 0;
  uint8_t droppedLink = 0;
  auto box = [](const ClassLevel& L) {
    return std::string(L.messageLine[0]) + "|" + L.messageLine[1] + "|" + L.messageLine[2];
  };
  r.hook = [&](ClassMain& app, uint32_t) {
    if (joining) joiner.Frame(16);
    const ClassLevel& L = app.Level();
    const uint8_t hs = app.ModuleId() == MODULE_LEVEL ? L.levelState : 0;
    if (hs == 10 && hostLast != 10) {
      hostBoxes.push_back(box(L));
      droppedLink = L.slot[0].link;
    }
    hostLast = hs;
    if (joiner.level.levelState == 10 && joinerLast != 10) joinerBoxes.push_back(box(joiner.level));
    joinerLast = joiner.level.levelState;
  };
  ASSERT_TRUE(r.Go());
  EXPECT_TRUE(r.driver.Done()) << "stopped after step " << r.driver.StepsDone();
  zt::CheckShots(r.driver, dir, kGolden);
  EXPECT_TRUE(seatFreed);
  EXPECT_TRUE(loginFreed);
  ASSERT_EQ(joinerBoxes.size(), 2u);
  // Dropped while waiting for the start: the joining console's message for a
  // connection closed after the welcome.
  EXPECT_EQ(joinerBoxes[0], "Connection refused.|Please connect to|a different host.");
  EXPECT_EQ(joinerBoxes[1], "Disconnected by host.|Please connect to|a different host.");
  EXPECT_EQ(joiner.level.returnState, 13);
  ASSERT_EQ(hostBoxes.size(), 1u);
  EXPECT_EQ(hostBoxes[0], "All players have left|the game.|");
  EXPECT_EQ(droppedLink, 3);
  unsetenv("ZARN_NET_HOST");
  unsetenv("ZARN_NET_PORT");
}

// A joiner (the program, started by ZARN_START) paused by its host (a level of
// this test program): its pause menu has the three option rows; "Minimize"
// does nothing headless, where nothing minimises, and "Quit" hands back to the
// multi-player menu and closes the connection, which drops its seat on the host.
TEST(NetSetupScreens, JoinerPauseMenuRows) {
  REQUIRE_TOOLS();
  setenv("ZARN_NET_HOST", "127.0.0.1", 1);
  const uint16_t port = zt::TestPort(22);
  setenv("ZARN_NET_PORT", std::to_string(port).c_str(), 1);
  const std::string dir = zt::TempDir("netui_joiner_frames");
  zt::NetConsole host("Hostess", 1);
  host.level.levelState = 4;
  ASSERT_EQ(host.connection.SearchHost(nullptr, port), 1);
  ASSERT_EQ(host.level.levelState, 7);
  bool stillPaused = false;
  std::vector<Step> s;
  s.push_back(Act(
      [&](ClassMain& app) {
        return InLevel(app, 6) && app.Level().stateTimer >= 20000 && host.level.slot[0].link == 2;
      },
      [&](ClassMain&) { ASSERT_TRUE(host.level.NetStartGame()); }));
  s.push_back(Act([](ClassMain& app) { return InLevel(app, 1); }, [&](ClassMain&) {
    host.level.NetSendID(0, 11);
    host.level.levelState = 9;
  }));
  s.push_back(Shot(AtRow(9, 0), "pause_joiner"));
  s.push_back({AtRow(9, 0), {DOWN, B}, ""});  // Minimize
  s.push_back(Act(AtRow(9, 1), [&](ClassMain& app) { stillPaused = InLevel(app, 9); }));
  s.push_back({AtRow(9, 1), {DOWN, B}, ""});  // Quit
  ShellRun r(s, zt::GameDir("netui_joiner"), dir, 3000);
  r.run.start = "join:127.0.0.1";  // the game started so ends the run when it hands back
  bool toMultiMenu = false;
  r.hook = [&](ClassMain& app, uint32_t) {
    host.Frame(16);
    toMultiMenu = toMultiMenu || (app.ModuleId() == MODULE_TITLE && app.ModuleMessage() == 0x10002);
  };
  ASSERT_TRUE(r.Go());
  EXPECT_TRUE(r.driver.Done()) << "stopped after step " << r.driver.StepsDone();
  zt::CheckShots(r.driver, dir, kGolden);
  EXPECT_TRUE(stillPaused);
  EXPECT_TRUE(toMultiMenu);
  for (int i = 0; i < 50 && host.level.slot[0].link == 2; i++) {
    usleep(10000);
    host.Frame(16);
  }
  EXPECT_EQ(host.level.slot[0].link, 3);
  unsetenv("ZARN_NET_HOST");
  unsetenv("ZARN_NET_PORT");
}

// The level with its dialog layer and menu buttons, no screen: a host's seat
// cycle passes through "Waiting... (Player)"; the wireless host list joins a
// found device at once, refuses an empty row and searches again from row 6.
struct Screens {
  zt::LevelRig rig;
  ClassConsole console;
  ClassLevel& L = *rig.level;
  uint32_t module = MODULE_LEVEL, message = MSG_FRAME;
  Screens(uint8_t kind, uint8_t state) {
    rig.data.console = &console;
    uint32_t attach = MSG_ATTACH;
    console.Manage(nullptr, &module, &attach, reinterpret_cast<int32_t*>(&rig.data), 0);
    rig.player.InitReset();
    rig.player.mode = 4;
    rig.player.kind = kind;
    L.ResetCoPlayers();
    L.levelState = state;
  }
  void Frame() {
    rig.input.CheckRepeat(16);
    message = MSG_FRAME;
    L.Manage(nullptr, &module, &message, nullptr, 16);
    console.Manage(nullptr, &module, &message, nullptr, 16);
    rig.input.ResetEvents();
  }
  void Tap(uint32_t key) {
    rig.Press(key);
    Frame();
    rig.Release(key);
    Frame();
  }
};

TEST(NetSetupScreens, HostSeatCycleAndWirelessList) {
  Screens host(1, 7);
  std::vector<int> kinds{host.L.slot[0].kind};
  host.Tap(DOWN);
  for (int i = 0; i < 5; i++) {
    host.Tap(B);
    kinds.push_back(host.L.slot[0].kind);
  }
  EXPECT_EQ(kinds, (std::vector<int>{4, 0, 1, 2, 3, 4}));
  EXPECT_EQ(host.L.levelState, 7);

  Screens radio(4, 8);
  std::strcpy(radio.L.hostNames[1], "console-2");
  radio.Tap(B);  // row 0 is empty
  EXPECT_EQ(radio.rig.sound.sfxPlayed[11], 1u);
  EXPECT_EQ(radio.L.levelState, 8);
  radio.Tap(DOWN);
  radio.Tap(B);  // a found device: no option dialog
  EXPECT_EQ(radio.console.state, DLG_IDLE);
  EXPECT_EQ(radio.L.levelState, 6);
  radio.L.levelState = 8;
  radio.L.menuCursor = 6;
  radio.rig.Press(B);  // "Search for devices": nothing to find here, back to the list
  radio.Frame();
  EXPECT_EQ(radio.L.levelState, 5);
  radio.Frame();
  EXPECT_EQ(radio.L.levelState, 8);
}

}  // namespace
