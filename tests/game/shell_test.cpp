// The game's shell run as a player meets it: boot through the intro into the
// title, every page and dialog, settings changed through the menus and found
// again on the next start, games from the menus to game over, highscore entry
// and the highscore page, the ranking and the tutorial. Frames chosen by what
// the game shows are compared with committed pictures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "framework/emod_file.h"
#include "game/hscode.h"
#include "game/settings.h"
#include "tests/support/game_proc.h"
#include "tests/support/harness.h"
#include "tests/support/menu_driver.h"
#include "tests/support/play_rig.h"

namespace {

const std::string kGolden = std::string(ZARN_SOURCE_DIR) + "/tests/game/golden/";
const std::string kRef = std::string(ZARN_SOURCE_DIR) + "/tests/game/settings_ref.py";

using zt::A;
using zt::Add;
using zt::AtItem;
using zt::B;
using zt::Choose;
using zt::Dialog;
using zt::DOWN;
using zt::Driver;
using zt::LEFT;
using zt::Menu;
using zt::RIGHT;
using zt::ShellRun;
using zt::Shot;
using zt::START;
using zt::Step;
using zt::UP;

void CheckShots(const Driver& d, const std::string& dir) { zt::CheckShots(d, dir, kGolden + "shell_"); }

// Replaces the name with "Zed" on the on-screen keyboard, from its start on
// the Enter key: up twice to backspace and nine of them ("Anonymous"), down
// to '/', left to the shift key, shift, 'Z', up to 'w', right to 'e', down to
// 's', right to 'd', right to Enter.
std::vector<uint32_t> TypeZed() {
  std::vector<uint32_t> t = {UP, UP};
  t.insert(t.end(), 9, B);
  t.insert(t.end(), {DOWN, DOWN, DOWN});
  t.insert(t.end(), 11, LEFT);
  t.insert(t.end(), {B, RIGHT, B, UP, UP, RIGHT, B, DOWN, RIGHT, B});
  t.insert(t.end(), 7, RIGHT);
  t.push_back(B);
  return t;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string RefField(const std::string& file, const std::string& field) {
  FILE* p = popen(("python3 '" + kRef + "' read '" + file + "'").c_str(), "r");
  if (!p) return "";
  char line[256];
  std::string found;
  while (std::fgets(line, sizeof line, p)) {
    std::string s(line);
    if (s.rfind(field + "=", 0) == 0) found = s.substr(field.size() + 1, s.find_first_of("\r\n") - field.size() - 1);
  }
  pclose(p);
  return found;
}

#define REQUIRE_TOOLS()                                                                  \
  do {                                                                                   \
    if (zt::ResParent().empty()) GTEST_SKIP() << "no resource packs";                    \
    if (!zt::HaveCompare()) GTEST_SKIP() << "ImageMagick is not installed";             \
  } while (0)

// The tour: the intro, every page of the title and every dialog it opens, the
// name typed on the keyboard, volumes, colour-blind mode and a key changed;
// then Quit Game.
std::vector<Step> TourSteps() {
  std::vector<Step> s;
  s.push_back(Shot([](ClassMain& app) { return app.ModuleId() == MODULE_INTRO && app.Intro().step >= 10; },
                   "intro_loading"));
  s.push_back(Shot([](ClassMain& app) {
                     return app.ModuleId() == MODULE_INTRO && app.Intro().phase == INTRO_LOGO &&
                            app.Intro().elapsed >= 1500;
                   },
                   "intro_logo"));
  s.push_back(Shot(AtItem(MENU_MAIN, 0), "main"));
  Add(s, Choose(MENU_MAIN, 0, 3));  // Options
  s.push_back(Shot(AtItem(MENU_OPTIONS, 0), "options"));
  s.push_back({AtItem(MENU_OPTIONS, 0), {B, DOWN, B, DOWN, DOWN, DOWN, B}, ""});  // volumes, colour blind
  s.push_back({AtItem(MENU_OPTIONS, 4), {UP, B}, ""});                           // Name
  s.push_back(Shot(Dialog(DLG_INPUT, 250), "keyboard"));
  s.push_back({Dialog(DLG_INPUT, 250), TypeZed(), ""});
  Add(s, Choose(MENU_OPTIONS, 3, 5));  // Erase Highscores: asks, "No" first
  s.push_back(Shot(Dialog(DLG_CONFIRM), "confirm"));
  s.push_back({Dialog(DLG_CONFIRM), {B}, ""});
  Add(s, Choose(MENU_OPTIONS, 5, 6));  // Return
  Add(s, Choose(MENU_MAIN, 3, 4));     // Assign Keys
  s.push_back(Shot(AtItem(MENU_KEYS, 0), "keys"));
  s.push_back({AtItem(MENU_KEYS, 0), {DOWN, B}, ""});  // Toggle Next
  s.push_back(Shot(Dialog(DLG_SETKEY), "setkey"));
  s.push_back({Dialog(DLG_SETKEY), {LEFT, A}, ""});  // a direction is refused, A taken
  Add(s, Choose(MENU_KEYS, 1, 4));                   // Done
  Add(s, Choose(MENU_MAIN, 4, 5));                   // Highscores
  s.push_back(Shot(AtItem(MENU_HIGHSCORES, 0), "highscores0"));
  s.push_back({AtItem(MENU_HIGHSCORES, 0), {RIGHT}, ""});
  s.push_back(Shot(AtItem(MENU_HIGHSCORES, 1), "highscores1"));
  s.push_back({AtItem(MENU_HIGHSCORES, 1), {RIGHT}, ""});
  s.push_back(Shot(AtItem(MENU_HIGHSCORES, 2), "highscores2"));
  s.push_back({AtItem(MENU_HIGHSCORES, 2), {B}, ""});
  Add(s, Choose(MENU_MAIN, 5, 6));  // Credits: they turn by themselves
  s.push_back(Shot(AtItem(MENU_CREDITS, 0), "credits0"));
  s.push_back(Shot(AtItem(MENU_CREDITS, 1), "credits1"));
  s.push_back(Shot(AtItem(MENU_CREDITS, 2), "credits2"));
  s.push_back({AtItem(MENU_CREDITS, 2), {B}, ""});
  Add(s, Choose(MENU_MAIN, 6, 0));  // Single Player
  s.push_back(Shot(AtItem(MENU_SINGLE, 0), "single"));
  Add(s, Choose(MENU_SINGLE, 0, 4));  // Return
  Add(s, Choose(MENU_MAIN, 0, 1));    // Multi Player
  s.push_back(Shot(AtItem(MENU_MULTI, 0), "multi"));
  Add(s, Choose(MENU_MULTI, 0, 6));  // Return
  Add(s, Choose(MENU_MAIN, 1, 7));   // Quit Game

  return s;
}

// The intro, every page of the title and every dialog the title opens;
// settings changed on the way are in the file after quitting and come back on
// the next start, and the next start's save is the same file.
TEST(Shell, TitlePagesDialogsAndSettingsThroughTheMenus) {
  REQUIRE_TOOLS();
  if (!zt::HaveTool("python3")) GTEST_SKIP() << "python3 missing";
  const std::string folder = zt::GameDir("shell_settings");
  const std::string dir = zt::TempDir("shell_settings_frames");
  const std::vector<Step> s = TourSteps();
  ShellRun first(s, folder, dir, 12000);
  ASSERT_TRUE(first.Go());
  EXPECT_TRUE(first.driver.Done()) << "stopped after step " << first.driver.StepsDone();
  EXPECT_TRUE(first.run.ended) << "the game did not quit";
  CheckShots(first.driver, dir);

  const std::string cfg = folder + "/game.cfg";
  EXPECT_EQ(RefField(cfg, "valid"), "1");
  EXPECT_EQ(RefField(cfg, "name"), "Zed");
  EXPECT_EQ(RefField(cfg, "effects"), "48");
  EXPECT_EQ(RefField(cfg, "music"), "48");
  EXPECT_EQ(RefField(cfg, "colourblind"), "1");
  EXPECT_EQ(RefField(cfg, "key_toggle"), "13");
  EXPECT_EQ(RefField(cfg, "key_drop"), "14");
  EXPECT_EQ(RefField(cfg, "hsname_0_0"), "Chris") << "the question was answered no";
  const std::string saved = ReadBytes(cfg);

  // The next start finds them; quitting at once saves the same file.
  std::vector<Step> again;
  Add(again, Choose(MENU_MAIN, 0, 7));
  ShellRun second(again, folder, dir, 3000);
  MAINCONFIG seen{};
  second.hook = [&](ClassMain& app, uint32_t) {
    if (app.ModuleId() == MODULE_TITLE) seen = app.Settings();
  };
  ASSERT_TRUE(second.Go());
  EXPECT_TRUE(second.run.ended);
  EXPECT_STREQ(seen.PlayerName(), "Zed");
  EXPECT_EQ(seen.EffectVolume(), 48);
  EXPECT_EQ(seen.Key(MAINCONFIG::KEY_TOGGLE), 13u);
  EXPECT_EQ(ReadBytes(cfg), saved);
}

// A table of low scores, so that every game enters it.
bool LowScores(const std::string& folder) {
  MAINCONFIG cfg;
  std::memset(cfg.bytes, 0, sizeof cfg.bytes);
  Settings_Reset(&cfg, nullptr);
  for (uint32_t m = 0; m < 3; m++)
    for (uint32_t k = 0; k < 3; k++) cfg.SetScore(m, k, 30 - 10 * k);
  return Settings_Save(&cfg, (folder + "/game.cfg").c_str());
}

// The three single-player games from the menus at start level 9 (the most
// colours: they end sooner), each to game over, the name entry and its page of
// the highscores; `sweep` picks the player that ends them soonest.
std::vector<Step> GameSteps(bool sweep = false) {
  struct Mode {
    uint8_t item;   // in the single-player menu
    uint8_t table;  // highscore table
    const char* name;
  } modes[] = {{0, 0, "standard"}, {1, 1, "timed"}, {2, 2, "puzzle"}};
  std::vector<Step> s;
  Add(s, Choose(MENU_MAIN, 0, 0));
  s.push_back({AtItem(MENU_SINGLE, 0), {DOWN, DOWN, DOWN, B, B, B, B, B, B, B, B, DOWN}, ""});
  s.push_back({AtItem(MENU_SINGLE, 4), {B}, ""});
  uint8_t cursor = 0;
  for (const Mode& m : modes) {
    Add(s, Choose(MENU_MAIN, cursor, 0));
    Add(s, Choose(MENU_SINGLE, 0, m.item));
    s.push_back({[](ClassMain& app) { return Driver::Playing(app); }, {}, "", true});
    s.back().sweep = sweep;
    if (m.table == 0) {
      s.push_back(Shot([](ClassMain& app) {
                         return app.ModuleId() == MODULE_LEVEL && app.Level().levelState == 2 &&
                                app.Level().stateTimer >= 1000;
                       },
                       "gameover"));
      s.push_back(Shot(Dialog(DLG_INPUT, 250), "name_entry"));
    }
    // The keyboard starts on Enter: the player's name goes in as it is.
    s.push_back({Dialog(DLG_INPUT, 250), {B}, ""});
    Add(s, Choose(MENU_MAIN, 0, 5));  // Highscores
    for (uint8_t k = 0; k < m.table; k++) s.push_back({AtItem(MENU_HIGHSCORES, k), {RIGHT}, ""});
    s.push_back(Shot(AtItem(MENU_HIGHSCORES, m.table), std::string("scores_") + m.name));
    s.push_back({AtItem(MENU_HIGHSCORES, m.table), {B}, ""});
    cursor = 5;
  }
  Add(s, Choose(MENU_MAIN, 5, 7));
  return s;
}

// Each single-player mode from the menus to game over and the name entry; the
// new score is on the highscore page with its submission code.
TEST(Shell, GamesFromTheMenusToTheHighscorePage) {
  REQUIRE_TOOLS();
  const std::string folder = zt::GameDir("shell_games");
  const std::string dir = zt::TempDir("shell_games_frames");
  ASSERT_TRUE(LowScores(folder));
  const std::vector<Step> s = GameSteps();
  const char* const names[3] = {"standard", "timed", "puzzle"};

  ShellRun r(s, folder, dir, 60000);
  uint32_t scores[3] = {};
  r.hook = [&](ClassMain& app, uint32_t) {
    if (app.ModuleId() == MODULE_LEVEL && app.Level().levelState == 2) {
      const ClassPlayer* pl = app.Data().player;
      scores[pl->mode == 3 ? 2 : pl->mode % 3] = pl->score;
    }
  };
  std::string codes[3];
  MAINCONFIG last{};
  auto inner = r.hook;
  r.hook = [&](ClassMain& app, uint32_t f) {
    inner(app, f);
    if (app.ModuleId() == MODULE_TITLE && app.Title().menu == MENU_HIGHSCORES)
      codes[app.Title().cursor % 3] = app.Title().codes[app.Title().cursor % 3];
    last = app.Settings();
  };
  ASSERT_TRUE(r.Go());
  EXPECT_TRUE(r.driver.Done()) << "stopped after step " << r.driver.StepsDone();
  CheckShots(r.driver, dir);
  for (uint32_t m = 0; m < 3; m++) {
    SCOPED_TRACE(names[m]);
    ASSERT_GT(scores[m], 30u) << "the scripted player should reach the table";
    // The score sits in its place by rank, with the player's name.
    bool found = false;
    for (uint32_t k = 0; k < 3; k++)
      if (last.Score(m, k) == scores[m] && std::strcmp(last.ScoreName(m, k), "Anonymous") == 0) found = true;
    EXPECT_TRUE(found);
    char code[32];
    ASSERT_TRUE(Hscode_Encode(kHighscoreTemplate, kHighscoreKey, kHighscoreType + m, last.Score(m, 0), code, 32));
    EXPECT_EQ(codes[m], code);
  }
}

}  // namespace

namespace {

// The tutorial from the main menu to its end: it plays itself, its text comes
// line by line in the band, and it hands back to the main menu.
TEST(Shell, TutorialFromTheMenuToItsEnd) {
  REQUIRE_TOOLS();
  const std::string folder = zt::GameDir("shell_tutorial");
  const std::string dir = zt::TempDir("shell_tutorial_frames");
  auto tutorial = [](ClassMain& app) { return app.ModuleId() == MODULE_LEVEL && app.Level().levelState == 1; };
  std::vector<Step> s;
  Add(s, Choose(MENU_MAIN, 0, 2));
  s.push_back(Shot([=](ClassMain& app) { return tutorial(app) && app.Level().tutorial.linesScrolled >= 2; },
                   "tutorial_text"));
  s.push_back(Shot([=](ClassMain& app) { return tutorial(app) && app.Level().tutorial.segments > 0 &&
                                                app.Level().tutorial.position >= 5; },
                   "tutorial_aim"));
  s.push_back(Shot([=](ClassMain& app) { return tutorial(app) && app.Data().player->level == 2 &&
                                                app.Level().turnPhase == 0; },
                   "tutorial_level2"));
  s.push_back(Shot([=](ClassMain& app) { return tutorial(app) && app.Data().player->level == 3 &&
                                                app.Level().turnPhase == 0; },
                   "tutorial_level3"));
  s.push_back(Shot(AtItem(MENU_MAIN, 0), "tutorial_done"));
  ShellRun r(s, folder, dir, 20000);
  r.quitWhenDone = true;
  uint32_t lastPosition = 0;
  r.hook = [&](ClassMain& app, uint32_t) {
    if (app.ModuleId() == MODULE_LEVEL) lastPosition = app.Level().tutorial.position;
  };
  ASSERT_TRUE(r.Go());
  EXPECT_TRUE(r.driver.Done()) << "stopped after step " << r.driver.StepsDone();
  EXPECT_EQ(lastPosition, 215u) << "the script ran to its last opcode";
  CheckShots(r.driver, dir);
}

}  // namespace

namespace {

// A driven run's taps as a button script for the program itself: headless, and
// in its window under Xvfb, it shows the same frames and saves the same
// settings file. `prepare` sets up each folder as the driven run's was. The
// window plays its sound through SDL's dummy device, which lets the fake clock
// go no faster than the sound plays; a `silent` window has no sound device
// (the game runs without one) and draws as fast as it can.
void ReplayAsScript(const ShellRun& driven, const std::string& dir, const std::string& name,
                    const std::function<bool(const std::string&)>& prepare, bool window, bool silent) {
  const std::string script = driven.driver.Script();
  std::string frames;
  for (uint32_t f : driven.driver.shotFrames) frames += (frames.empty() ? "" : ",") + std::to_string(f + 1);
  const std::string exe = std::string(ZARN_BINARY_DIR) + "/zarn";
  for (const std::string backend : {"headless", "sdl"}) {
    if (backend == "sdl" && (!window || !zt::HaveTool("Xvfb"))) continue;
    SCOPED_TRACE(name + " " + backend);
    const std::string folder = zt::GameDir("shell_replay_" + name + "_" + backend);
    ASSERT_TRUE(prepare(folder));
    {
      std::ofstream out(folder + "/script.txt");
      out << script;
    }
    std::string cmd = "cd '" + folder + "' && ZARN_BACKEND=" + backend +
                      " ZARN_CLOCK=fake ZARN_TIME=1700000000 ZARN_BUTTONS=@script.txt ZARN_DUMP=out"
                      " ZARN_DUMP_FRAMES=" + frames + " ZARN_FRAMES=" + std::to_string(driven.run.framesRun + 50) +
                      " SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0" +
                      (backend == "sdl" && silent ? " ZARN_FAIL=dsp" : "") + " '" + exe + "' 2>err.txt";
    if (backend == "sdl") cmd = "timeout 600 " + zt::XvfbCommand("1024x768x24") + " sh -c \"" + cmd + "\"";
    ASSERT_EQ(zt::Run(cmd), 0) << ReadBytes(folder + "/err.txt");
    for (size_t i = 0; i < driven.driver.shots.size(); i++) {
      char file[32];
      std::snprintf(file, sizeof file, "/out/frame%06u.png", driven.driver.shotFrames[i] + 1);
      EXPECT_EQ(zt::DifferentPixels(folder + file, dir + "/" + driven.driver.shots[i] + ".png"), 0)
          << driven.driver.shots[i];
    }
    EXPECT_EQ(ReadBytes(folder + "/game.cfg"), ReadBytes(driven.run.folder + "/game.cfg"));
  }
}

// The tour's taps in the window, with its sound.
TEST(Shell, WindowUnderXvfbShowsTheSameFrames) {
#if defined(__arm__)
  GTEST_SKIP() << "the ARM build has no window backend";
#endif
  REQUIRE_TOOLS();
  const std::string dir = zt::TempDir("shell_window");
  ShellRun tour(TourSteps(), zt::GameDir("shell_window_tour"), dir, 12000);
  ASSERT_TRUE(tour.Go());
  ASSERT_TRUE(tour.driver.Done());
  ReplayAsScript(tour, dir, "tour", [](const std::string&) { return true; }, true, false);
}

// The three games from the menus to their highscore pages in the window, by
// the sweeping player and silent: the same pages and pictures in a third of
// the frames, drawn as fast as the window can.
TEST(Shell, WindowUnderXvfbPlaysTheSameGames) {
#if defined(__arm__)
  GTEST_SKIP() << "the ARM build has no window backend";
#endif
  REQUIRE_TOOLS();
  const std::string dir = zt::TempDir("shell_window_games_frames");
  ShellRun games(GameSteps(true), zt::GameDir("shell_window_games"), dir, 60000);
  ASSERT_TRUE(LowScores(games.run.folder));
  ASSERT_TRUE(games.Go());
  ASSERT_TRUE(games.driver.Done());
  // Whole games in the window take minutes under the sanitizers: the normal
  // build replays them there, every build replays them headless.
#if defined(__SANITIZE_ADDRESS__)
  const bool window = false;
#else
  const bool window = true;
#endif
  ReplayAsScript(games, dir, "games", LowScores, window, true);
}

}  // namespace

namespace {

// The dialogs that no title page opens, over the main menu: the message line,
// the volume slider and the four-way choice.
TEST(Shell, OtherDialogKinds) {
  REQUIRE_TOOLS();
  const std::string dir = zt::TempDir("shell_dialogs_frames");
  auto act = [](std::function<void(ClassMain&)> f) {
    Step s{[](ClassMain&) { return true; }, {}, ""};
    s.act = std::move(f);
    return s;
  };
  std::vector<Step> s;
  s.push_back(act([](ClassMain&) {}));
  s.back().when = AtItem(MENU_MAIN, 0);
  s.push_back(act([](ClassMain& app) { app.Console().SendMessage("Settings saved"); }));
  s.push_back(Shot(Dialog(DLG_MESSAGE), "message"));
  s.push_back(act([](ClassMain& app) {
    app.Console().SetIdle();
    app.Console().OpenSoundChange(1);
  }));
  s.push_back(Shot([](ClassMain& app) { return app.Console().state == DLG_VOLUME && app.Console().timer >= 300; },
                   "volume"));
  s.push_back({Dialog(DLG_VOLUME), {B}, ""});
  s.push_back(act([](ClassMain& app) {
    app.Console().SetIdle();
    app.Console().AskOption("Connect", "Edit", "Delete", "Cancel");
  }));
  s.push_back({Dialog(DLG_OPTION), {DOWN}, ""});
  s.push_back(Shot(Dialog(DLG_OPTION), "option"));
  s.push_back({Dialog(DLG_OPTION), {B}, ""});
  s.push_back(act([](ClassMain& app) { EXPECT_EQ(app.Console().chosen, 1); }));
  s.back().when = Dialog(DLG_OPTION_CHOSEN);
  ShellRun r(s, zt::GameDir("shell_dialogs"), dir, 3000);
  r.quitWhenDone = true;
  ASSERT_TRUE(r.Go());
  EXPECT_TRUE(r.driver.Done()) << "stopped after step " << r.driver.StepsDone();
  CheckShots(r.driver, dir);
}

}  // namespace

namespace {

// The intro's timing: the splash holds step 3 for 500 ms of frame time, the
// loading screen stays at least 3.5 s, and the title is entered once, after
// 4096 ms of logo.
TEST(Shell, IntroTimesItsStagesAndEntersTheTitleOnce) {
  if (zt::ResParent().empty()) GTEST_SKIP() << "no resource packs";
  ShellRun r({}, zt::GameDir("shell_intro"), "", 700);
  uint32_t step3Ms = 0, loadingMs = 0, logoMs = 0, enters = 0, lastModule = MODULE_INTRO;
  uint32_t lastTick = 0;
  r.hook = [&](ClassMain& app, uint32_t) {
    const uint32_t now = ClassERTimer::Count();
    const uint32_t ms = now - lastTick;
    lastTick = now;
    if (app.ModuleId() == MODULE_INTRO) {
      const ClassIntro& in = app.Intro();
      if (in.phase == INTRO_LOADING && in.step == 3) step3Ms += ms;
      if (in.phase == INTRO_LOADING) loadingMs += ms;
    }
    if (app.Intro().phase == INTRO_LOGO) logoMs = app.Intro().elapsed;
    if (app.ModuleId() == MODULE_TITLE && lastModule != MODULE_TITLE) {
      enters++;
      EXPECT_EQ(app.ModuleMessage(), uint32_t(MSG_ENTER));
      EXPECT_EQ(app.Intro().elapsed, 4096u);
    }
    lastModule = app.ModuleId();
  };
  ASSERT_TRUE(r.Go());
  EXPECT_GE(step3Ms, 480u);
  EXPECT_LE(step3Ms, 540u);
  EXPECT_GE(loadingMs, 3500u);
  EXPECT_EQ(logoMs, 4096u);
  EXPECT_EQ(enters, 1u);
}

}  // namespace

namespace {

// A game against the computer from the multi-player menu to the winner, the
// ranking and its replay menu, whose "Quit" returns to the multi-player menu.
TEST(Shell, VersusComputerToTheRanking) {
  REQUIRE_TOOLS();
  const std::string folder = zt::GameDir("shell_versus");
  const std::string dir = zt::TempDir("shell_versus_frames");
  auto ranking = [](uint32_t ms) {
    return [ms](ClassMain& app) {
      return app.ModuleId() == MODULE_LEVEL && app.Level().levelState == 11 && app.Level().stateTimer >= ms;
    };
  };
  std::vector<Step> s;
  Add(s, Choose(MENU_MAIN, 0, 1));
  s.push_back({AtItem(MENU_MULTI, 0), {DOWN, DOWN, DOWN, DOWN, DOWN, B, B, B, UP, UP, UP, B}, ""});  // 5000, Versus CPU
  // "Select CPU players": the three computer players it offers, then "Start".
  s.push_back({[](ClassMain& app) { return app.ModuleId() == MODULE_LEVEL && app.Level().levelState == 7; },
               {DOWN, DOWN, DOWN, DOWN, B},
               ""});
  s.push_back({[](ClassMain& app) { return Driver::Playing(app); }, {}, "", true});
  s.push_back(Shot(ranking(1000), "winner"));
  s.push_back(Shot(ranking(3600), "ranking"));
  s.push_back({ranking(3600), {DOWN, DOWN, B}, ""});
  s.push_back(Shot(AtItem(MENU_MULTI, 0), "after_ranking"));
  ShellRun r(s, folder, dir, 80000);
  r.quitWhenDone = true;
  ASSERT_TRUE(r.Go());
  EXPECT_TRUE(r.driver.Done()) << "stopped after step " << r.driver.StepsDone();
  CheckShots(r.driver, dir);
}

}  // namespace

namespace {

// A sound pack that is missing or damaged leaves the game silent where it
// fails, and is named once on stderr with what it costs; an intact pack says
// nothing. The game runs on to its frame limit.
TEST(Shell, MissingOrDamagedSoundPacksAreNamedOnce) {
  if (zt::GameExe().empty()) GTEST_SKIP() << "no program binary";
  const std::string res = zt::ResParent() + "/res";
  if (zt::ResParent().empty()) GTEST_SKIP() << "no resource packs";
  const struct {
    const char* what;
    const char* sfx;  // "missing", "garbage" or "intact"
    const char* bgm;  // "intact" or "one bad track"
    size_t sfxLines, bgmLines;
    const char* says;
  } cases[] = {
      {"missing", "missing", "one bad track", 1, 1, "res/bgm.epk is damaged: 1 of its 2 music tracks"},
      {"garbage", "garbage", "intact", 1, 0, "res/sfx.epk is missing or damaged"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = zt::TempDir(std::string("shell_soundpacks_") + c.what);
    ASSERT_EQ(zt::Run("mkdir -p '" + dir + "/res' && ln -sf '" + res + "/gfx.epk' '" + dir + "/res/gfx.epk'"), 0);
    if (std::string(c.sfx) == "garbage") {
      std::ofstream out(dir + "/res/sfx.epk", std::ios::binary);
      out << std::string(4000, 'x');
    }
    if (std::string(c.bgm) == "intact") {
      ASSERT_EQ(zt::Run("ln -sf '" + res + "/bgm.epk' '" + dir + "/res/bgm.epk'"), 0);
    } else {
      // The first track as generated, the second no module at all.
      const std::string mod = ReadBytes(zt::ResParent() + "/resgen/bgm/01_title.mod");
      ASSERT_FALSE(mod.empty());
      ClassEFile pack;
      ASSERT_EQ(pack.PackNew((dir + "/res/bgm.epk").c_str()), 0);
      ASSERT_EQ(pack.PackAddFileData("01_title.mod", mod.data(), static_cast<uint32_t>(mod.size()), false, 0, 1), 0);
      ASSERT_EQ(pack.PackAddFileData("02_play.mod", "not a module", 12, false, 0, 1), 0);
      pack.Close();
    }
    std::vector<zt::Child> kid(1);
    kid[0].pid = zt::SpawnGame(dir, {"ZARN_CLOCK=fake", "ZARN_FRAMES=120"}, dir + "/stderr.txt");
    zt::WaitAll(kid, 120);
    const std::string err = zt::ReadText(dir + "/stderr.txt");
    EXPECT_EQ(kid[0].status, 0) << err;
    size_t sfx = 0, bgm = 0;
    for (const std::string& line : zt::Split(err, '\n')) {
      sfx += line.find("res/sfx.epk") != std::string::npos;
      bgm += line.find("res/bgm.epk") != std::string::npos;
    }
    EXPECT_EQ(sfx, c.sfxLines) << err;
    EXPECT_EQ(bgm, c.bgmLines) << err;
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
  }
}

}  // namespace
