// The dialog layer, the title's menu actions and the end of a game, driven
// frame by frame through the input the buttons give.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/emod_input.h"
#include "game/app.h"
#include "tests/support/level_rig.h"

namespace {

enum : uint32_t { UP = 1, LEFT = 3, DOWN = 5, RIGHT = 7, START = 9, A = 13, B = 14 };

// The shared records a dialog and the title need, without a display.
struct Shell {
  ClassEInput input;
  ECD ecd{};
  MAINCONFIG settings;
  ClassPlayer player;
  ClassSound sound;
  ClassGraphics graphics;
  ClassConsole dialog;
  ClassTitle title;
  MAINDATA data{};
  uint32_t module = MODULE_TITLE, message = MSG_FRAME;

  Shell() {
    input.SetDefaultMappings();
    input.AddKeyMapping(16, B);
    ecd.input = &input;
    std::memset(settings.bytes, 0, sizeof settings.bytes);
    Settings_Reset(&settings, nullptr);
    data.settings = &settings;
    data.player = &player;
    data.sound = &sound;
    data.graphics = &graphics;
    data.console = &dialog;
    data.ecd = &ecd;
    uint32_t m = MSG_ATTACH;
    dialog.Manage(nullptr, nullptr, &m, reinterpret_cast<int32_t*>(&data), 0);
    title.Manage(nullptr, nullptr, &m, reinterpret_cast<int32_t*>(&data), 0);
    title.state = TITLE_MENU;
  }
  // One frame: the title (when asked), then the dialog layer, as the game runs them.
  void Frame(uint32_t ms = 16, bool withTitle = false) {
    message = MSG_FRAME;
    if (withTitle) title.Manage(nullptr, &module, &message, nullptr, ms);
    uint32_t m = MSG_FRAME;
    dialog.Manage(nullptr, &module, &m, nullptr, ms);
    input.ResetEvents();
  }
  void Tap(uint32_t button, bool withTitle = false) {
    input.OnKeyDown(button);
    Frame(16, withTitle);
    input.OnKeyUp(button);
  }
  void Open() {  // the text input, past its 250 ms slide
    dialog.ShowInput();
    for (int i = 0; i < 16; i++) Frame();
  }
};

TEST(Dialog, TextInputWaitsForTheKeyboardThenTypes) {
  Shell s;
  s.dialog.ShowInput();
  EXPECT_EQ(s.dialog.kbRow, 2);
  EXPECT_EQ(s.dialog.kbColumn, 26);
  for (int i = 0; i < 15; i++) s.Tap(LEFT);  // 240 ms: ignored
  EXPECT_EQ(s.dialog.kbColumn, 26);
  s.Tap(LEFT);  // the tap's frame reaches 256 ms
  EXPECT_EQ(s.dialog.kbColumn, 21);  // 'l', the last cell of the key left of Enter
  s.Tap(B);
  EXPECT_STREQ(s.dialog.typed, "l");
  EXPECT_EQ(s.dialog.GetC(), 'l');
  EXPECT_EQ(s.dialog.GetC(), 0);
}

TEST(Dialog, KeyboardMovesStayOnKeys) {
  const struct {
    uint8_t row, column;
    uint32_t button;
    uint8_t toRow, toColumn;
  } moves[] = {
      {4, 10, UP, 3, 10},     // space to 'c'
      {4, 21, UP, 3, 21},     // space to '.'
      {3, 5, DOWN, 4, 6},     // 'z' finds the space bar beside it
      {3, 2, DOWN, 3, 2},     // nothing under shift: no move
      {0, 5, UP, 0, 5},       // top row
      {2, 26, UP, 1, 26},     // Enter to '\''
      {4, 6, LEFT, 4, 6},     // left end of the space bar
      {4, 21, RIGHT, 4, 21},  // right end of the space bar
      {1, 2, RIGHT, 1, 3},    // tab to 'q'
      {1, 3, LEFT, 1, 2},     // 'q' to the tab key's last cell
  };
  for (const auto& m : moves) {
    Shell s;
    s.Open();
    s.dialog.kbRow = m.row;
    s.dialog.kbColumn = m.column;
    s.Tap(m.button);
    EXPECT_EQ(s.dialog.kbRow, m.toRow) << int(m.row) << "," << int(m.column) << " button " << m.button;
    EXPECT_EQ(s.dialog.kbColumn, m.toColumn) << int(m.row) << "," << int(m.column) << " button " << m.button;
  }
}

TEST(Dialog, ShiftCapsLockAndAFullQueue) {
  Shell s;
  s.Open();
  s.dialog.PutC(11, true);  // shift: one capital
  s.dialog.PutC('a', true);
  s.dialog.PutC('b', true);
  s.dialog.PutC(12, true);  // caps lock stays
  s.dialog.PutC('c', true);
  s.dialog.PutC('1', true);  // a digit stays a digit
  s.dialog.PutC('d', true);
  s.dialog.PutC(12, false);  // not shiftable: caps lock ignored
  s.dialog.PutC('e', true);
  s.dialog.PutC(12, true);
  s.dialog.PutC('f', true);
  s.dialog.PutC(10, true);  // enter is typed as 13
  EXPECT_STREQ(s.dialog.typed, "AbC1DEf\r");
  for (int i = 0; i < 70; i++) s.dialog.PutC(static_cast<char>('0' + i % 10), true);
  EXPECT_EQ(std::strlen(s.dialog.typed), 63u);
  EXPECT_EQ(s.dialog.typed[62], '9');  // the newest is kept, the oldest went
  EXPECT_EQ(s.sound.sfxPlayed[6], 82u);  // every typed key sounds
}

TEST(Dialog, YesNoStartsOnNoAndFourWayChoiceCancels) {
  Shell s;
  s.dialog.AskConfirm("Are you sure?");
  EXPECT_EQ(s.dialog.timer, 1u);
  s.Tap(B);
  EXPECT_EQ(s.dialog.state, DLG_IDLE) << "confirming at once answers no";
  s.dialog.AskConfirm("Are you sure?");
  s.Tap(LEFT);
  s.Tap(B);
  EXPECT_EQ(s.dialog.state, DLG_CONFIRMED);
  s.dialog.AskConfirm("ignored while another is open");
  EXPECT_EQ(s.dialog.state, DLG_CONFIRMED);

  s.dialog.SetIdle();
  s.dialog.AskOption("Connect", "Edit", "Delete", "Cancel");
  s.Tap(UP);  // wraps to the fourth
  EXPECT_EQ(s.dialog.timer, 3u);
  s.Tap(B);
  EXPECT_EQ(s.dialog.state, DLG_IDLE);
  s.dialog.AskOption("Connect", "Edit", "Delete", "Cancel");
  s.Tap(DOWN);
  s.Tap(B);
  EXPECT_EQ(s.dialog.state, DLG_OPTION_CHOSEN);
  EXPECT_EQ(s.dialog.chosen, 1);
}

TEST(Dialog, VolumeSliderMessageAndHelp) {
  Shell s;
  s.settings.SetEffectVolume(32);
  s.dialog.OpenSoundChange(0);
  for (int i = 0; i < 16; i++) s.Frame();  // the box opens
  const uint32_t samples = s.sound.sfxPlayed[1];
  s.input.OnKeyDown(RIGHT);
  for (int i = 0; i < 10; i++) s.Frame();  // 160 ms held
  EXPECT_EQ(s.settings.EffectVolume(), 42);
  for (int i = 0; i < 40; i++) s.Frame();  // up to 64 and held there
  s.input.OnKeyUp(RIGHT);
  EXPECT_EQ(s.settings.EffectVolume(), 64);
  // The sample sounds at the first step and then at most every 256 ms.
  const uint32_t played = s.sound.sfxPlayed[1] - samples;
  EXPECT_GE(played, 1u);
  EXPECT_LE(played, 1u + 50 * 16 / 256);
  s.Tap(B);
  EXPECT_EQ(s.dialog.state, DLG_VOLUME_CLOSING);

  s.dialog.SendMessage("hello");
  for (int i = 0; i < 124; i++) s.Frame();
  EXPECT_EQ(s.dialog.state, DLG_MESSAGE);
  s.Frame();  // 2000 ms
  EXPECT_EQ(s.dialog.state, DLG_IDLE);
  s.dialog.OpenHelp(0x404040, "a", "b", "c");
  s.Frame();
  EXPECT_EQ(s.dialog.state, DLG_IDLE) << "help closes on its first frame";
}

// ---- title ----

TEST(Title, OptionValuesCycle) {
  Shell s;
  s.title.menu = MENU_OPTIONS;
  s.title.cursor = 0;
  const uint8_t want[] = {48, 64, 0, 16, 32};
  for (uint8_t v : want) {
    s.Tap(B, true);
    EXPECT_EQ(s.settings.EffectVolume(), v);
  }
  s.title.menu = MENU_SINGLE;
  s.title.cursor = 3;
  for (int i = 2; i <= 10; i++) {
    s.Tap(B, true);
    EXPECT_EQ(s.settings.bytes[MAINCONFIG::kStartLevel], i <= 9 ? i : 1);
  }
  s.title.menu = MENU_MULTI;
  s.title.cursor = 5;
  for (int i = 2; i <= 5; i++) {
    s.Tap(B, true);
    EXPECT_EQ(s.settings.bytes[MAINCONFIG::kTargetIndex], i & 3);
  }
}

TEST(Title, KeyAssignmentSwapsAndRefusesDirections) {
  Shell s;
  s.title.menu = MENU_MAIN;
  s.title.cursor = 4;
  s.Tap(B, true);  // Assign Keys: the working copy
  s.title.menu = s.title.nextMenu;
  s.title.cursor = 1;  // Toggle Next
  s.title.state = TITLE_MENU;
  s.Tap(B, true);
  ASSERT_EQ(s.dialog.state, DLG_SETKEY);
  s.Tap(UP, true);  // a direction: refused, still asking
  EXPECT_EQ(s.dialog.state, DLG_SETKEY);
  s.Tap(B, true);  // the drop key: the two swap
  EXPECT_EQ(s.dialog.state, DLG_IDLE);
  EXPECT_EQ(s.title.keyChoice[MAINCONFIG::KEY_TOGGLE], uint32_t(B));
  EXPECT_EQ(s.title.keyChoice[MAINCONFIG::KEY_DROP], 15u);
  EXPECT_EQ(s.settings.Key(MAINCONFIG::KEY_TOGGLE), 15u) << "kept only when done";
  s.title.cursor = 4;  // Done
  s.Tap(B, true);
  EXPECT_EQ(s.settings.Key(MAINCONFIG::KEY_TOGGLE), uint32_t(B));
  EXPECT_EQ(s.settings.Key(MAINCONFIG::KEY_DROP), 15u);
  EXPECT_EQ(s.settings.Key(MAINCONFIG::KEY_START), 9u);
  EXPECT_EQ(s.title.nextCursor, 4);
  EXPECT_EQ(s.data.saverequest, 1);
}

TEST(Title, NameEntryLimitsAndAnonymous) {
  Shell s;
  s.title.menu = MENU_OPTIONS;
  s.title.cursor = 3;
  std::strcpy(s.settings.PlayerName(), "");
  s.Tap(B, true);
  ASSERT_EQ(s.dialog.state, DLG_INPUT);
  for (int i = 0; i < 20; i++) {
    s.dialog.PutC('x', true);
    s.Frame(16, true);
  }
  EXPECT_EQ(std::string(s.settings.PlayerName()), std::string(16, 'x'));
  s.dialog.PutC(8, true);
  s.Frame(16, true);
  EXPECT_EQ(std::strlen(s.settings.PlayerName()), 15u);
  for (int i = 0; i < 15; i++) {
    s.dialog.PutC(8, true);
    s.Frame(16, true);
  }
  s.dialog.PutC(' ', true);
  s.Frame(16, true);
  s.dialog.PutC(27, true);
  s.Frame(16, true);
  EXPECT_STREQ(s.settings.PlayerName(), "Anonymous");
  EXPECT_EQ(s.dialog.state, DLG_INPUT_CLOSING);
}

TEST(Title, ReturnPauseAndTheWayBackFromGames) {
  Shell s;
  s.title.menu = MENU_OPTIONS;
  s.title.cursor = 6;
  s.Tap(B, true);
  EXPECT_EQ(s.title.nextMenu, MENU_MAIN);
  EXPECT_EQ(s.title.nextCursor, 3);
  EXPECT_EQ(s.data.saverequest, 1);
  EXPECT_EQ(s.data.releaserequest, 1);

  const struct {
    uint8_t cursor;
    uint32_t module, message;
  } pause[] = {{0, MODULE_LEVEL, 0x10001}, {2, MODULE_LEVEL, 0x10000}};
  for (const auto& p : pause) {
    s.title.menu = MENU_PAUSE;
    s.title.state = TITLE_MENU;
    s.title.cursor = p.cursor;
    s.module = MODULE_TITLE;
    s.message = MSG_FRAME;
    s.input.OnKeyDown(B);
    s.title.Manage(nullptr, &s.module, &s.message, nullptr, 16);
    s.input.OnKeyUp(B);
    s.input.ResetEvents();
    EXPECT_EQ(s.module, p.module);
    EXPECT_EQ(s.message, p.message);
  }
  // A game's end: the tutorial returns to the main menu, other games to the
  // multi-player menu.
  for (uint8_t mode : {5, 4, 0}) {
    s.player.mode = mode;
    uint32_t message = 0x10002, module = MODULE_TITLE;
    s.dialog.state = DLG_INPUT;
    s.title.Manage(nullptr, &module, &message, nullptr, 16);
    EXPECT_EQ(s.title.menu, mode == 5 ? MENU_MAIN : MENU_MULTI) << int(mode);
    EXPECT_EQ(s.dialog.state, DLG_IDLE) << "a game's end closes any dialog";
    EXPECT_EQ(message, MSG_FRAME);
  }
}

// ---- end of a game ----

struct EndRig {
  zt::LevelRig rig;
  ClassConsole dialog;
  uint32_t module = MODULE_LEVEL, message = MSG_FRAME;
  EndRig() {
    rig.data.console = &dialog;
    uint32_t m = MSG_ATTACH;
    dialog.Manage(nullptr, nullptr, &m, reinterpret_cast<int32_t*>(&rig.data), 0);
    Settings_Reset(&rig.settings, nullptr);
  }
};

TEST(GameEnd, HighscoreDecisionAndNameEntry) {
  const struct {
    uint8_t mode;
    uint32_t score;
    uint8_t rank;
  } cases[] = {{0, 1000, 3}, {0, 1001, 2}, {1, 2000, 2}, {1, 5000, 0}, {3, 2500, 1}, {4, 9000, 0xFF}};
  for (const auto& c : cases) {
    EndRig e;
    e.rig.player.mode = c.mode;
    e.rig.player.score = c.score;
    e.rig.level->HighscoreDecision(nullptr, &e.module, &e.message);
    EXPECT_EQ(e.rig.level->highscoreRank, c.rank) << int(c.mode) << " " << c.score;
    if (c.mode == 3) {
      EXPECT_EQ(e.rig.player.mode, 2) << "the puzzle game keeps mode 2";
    }
    if (c.rank < 3) {
      EXPECT_EQ(e.rig.level->levelState, 3);
      EXPECT_EQ(e.dialog.state, DLG_INPUT);
      EXPECT_STREQ(e.rig.level->textBuffer, "Anonymous");
    } else {
      EXPECT_EQ(e.module, MODULE_TITLE);
      EXPECT_EQ(e.message, 0x8001u);
    }
  }
  // Escape stores "Anonymous"; the lower places move down.
  EndRig e;
  e.rig.player.mode = 0;
  e.rig.player.score = 2500;
  e.rig.level->HighscoreDecision(nullptr, &e.module, &e.message);
  e.dialog.PutC('Q', true);
  e.rig.level->HandleNameEntry(nullptr, 16, &e.module, &e.message);
  EXPECT_STREQ(e.rig.level->textBuffer, "AnonymousQ");
  e.dialog.PutC(27, true);
  e.rig.level->HandleNameEntry(nullptr, 16, &e.module, &e.message);
  EXPECT_EQ(e.message, 0x8001u);
  EXPECT_EQ(e.rig.data.saverequest, 1);
  const MAINCONFIG& cfg = e.rig.settings;
  EXPECT_EQ(cfg.Score(0, 0), 3000u);
  EXPECT_EQ(cfg.Score(0, 1), 2500u);
  EXPECT_STREQ(cfg.ScoreName(0, 1), "Anonymous");
  EXPECT_EQ(cfg.Score(0, 2), 2000u);
  EXPECT_STREQ(cfg.ScoreName(0, 2), "Joe");
}

TEST(GameEnd, RankingOrdersEqualScoresByPlayerNumber) {
  EndRig e;
  ClassLevel& L = *e.rig.level;
  e.rig.player.mode = 4;
  e.rig.player.kind = 0;  // against the computer
  e.rig.player.score = 500;
  const uint32_t seat[3] = {700, 500, 900};
  for (int k = 0; k < 3; k++) L.slot[k].score = seat[k];
  L.NetSendWinner();
  const uint8_t order[4] = {3, 1, 0, 2};
  for (int i = 0; i < 4; i++) EXPECT_EQ(e.rig.player.ranking[i], order[i]) << i;
  EXPECT_EQ(e.rig.player.finalScore[0], 900);
  EXPECT_EQ(e.rig.player.finalScore[2], 500);
}

TEST(GameEnd, MessageBoxKeepsTheStateToReturnTo) {
  EndRig e;
  ClassLevel& L = *e.rig.level;
  L.levelState = 8;
  L.NotifyWindow("Failed to connect.", "Please recheck", nullptr);
  EXPECT_EQ(L.levelState, 10);
  EXPECT_EQ(L.returnState, 8);
  EXPECT_STREQ(L.messageLine[1], "Please recheck");
  EXPECT_STREQ(L.messageLine[2], "");
  L.NotifyWindow("Another", nullptr, nullptr);
  EXPECT_STREQ(L.messageLine[0], "Failed to connect.") << "not over another box";
}

}  // namespace
