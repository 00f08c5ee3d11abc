// The title: menus, options, key assignment, highscores with their submission
// codes, credits, the pause menu and the start of every game.
#ifndef ZARN_GAME_TITLE_H
#define ZARN_GAME_TITLE_H

#include <cstdint>

class E2DSurface;
struct MAINDATA;

// Title states.
enum : uint8_t {
  TITLE_FADEIN = 0,    // backdrop fades in before the title's own loading
  TITLE_LOADING = 1,   // the title's own loading (a title entered without the intro)
  TITLE_REVEAL = 2,    // diamond transition into the first page
  TITLE_SLIDE_IN = 3,
  TITLE_SLIDE_OUT = 4,
  TITLE_MENU = 5,
  TITLE_CLOSED = 6,    // "Game Closed", then quit
};

// Menus.
enum : uint8_t {
  MENU_MAIN = 0,
  MENU_OPTIONS = 1,
  MENU_PAUSE = 2,
  MENU_HIGHSCORES = 3,
  MENU_KEYS = 4,
  MENU_MULTI = 6,
  MENU_CREDITS = 8,
  MENU_SINGLE = 7,
};

class ClassTitle {
 public:
  ClassTitle();

  int Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys, uint32_t elapsed);
  // The frame's input as an action number (0 for none).
  uint8_t HandleMenuInput(uint32_t ms);
  void RenderMenu(E2DSurface* screen);
  // Maps game actions 0, 1 and 2 to the settings' keys (input state cleared).
  void UpdateMappings();
  // The key assignment rule: false for a direction key; a choice that already
  // holds the key gets the slot's old key.
  bool SetKey(uint8_t slot, uint32_t key);
  // The settings key word that a key item edits: the items read Drop/Confirm,
  // Toggle Next, Start/Pause, while the words run drop, reserved, start, toggle.
  static uint8_t KeyWord(uint8_t action);
  // Resets the game state for a new game of a mode (a multi-player kind of -1
  // keeps the kind), maps the game's keys and hands over to the level.
  void BeginGame(uint8_t mode, int kind, uint32_t* module, uint32_t* message);
  // The three modes' submission codes from the best scores.
  void ComputeCodes();
  // Appends the text (and CR LF with newline) to "log.txt" in the working folder.
  static void Log(const char* text, bool newline);

  // ---- The record ----
  MAINDATA* maindata = nullptr;
  char menuTitle[10][32];
  char menuItem[10][10][32];
  char credits[30][32];
  uint8_t itemAction[10][10];
  uint8_t itemCount[10];
  uint32_t keyChoice[4] = {};
  char codes[3][32];
  uint32_t flash = 0;
  uint32_t pageTimer = 0;
  uint32_t idleTime = 0;
  uint8_t state = TITLE_MENU;
  uint8_t loadStep = 0;
  uint8_t menu = MENU_MAIN;
  uint8_t cursor = 0;
  uint8_t nextMenu = 0, nextCursor = 0;
  bool autoStarted = false;
  bool autoGame = false;  // the running game came from ZARN_START

 private:
  // The switch words of the frame being run (actions write them).
  uint32_t* module_ = nullptr;
  uint32_t* message_ = nullptr;

  void Enter(uint32_t message);
  void PageChange(uint8_t m, uint8_t k);
  void Action(uint8_t a);
  // The frame's steps, one per state, and the actions' groups.
  bool StartSwitch(uint32_t message, uint32_t* module, uint32_t* messageOut);
  void FadeInFrame(E2DSurface* screen, uint32_t ms);
  void LoadingFrame(E2DSurface* screen);
  void SlideFrame(E2DSurface* screen, uint32_t ms);
  void ReturnToMain();
  void DefaultKeys();
  void ResetHighscores();
  void SettingAction(uint8_t a);
  void GameAction(uint8_t a);
  void MoveSound();
  uint32_t FontHeight() const;
  uint8_t MenuInputHighscores();
  uint8_t MenuInputCredits(uint32_t ms);
  uint8_t MenuInputDialog();
  uint8_t MenuInputList();
  void RenderBox(E2DSurface* screen, int32_t x, int32_t y, int32_t w, const char* title);
  void RenderValue(char* out, uint32_t size, uint8_t action) const;
  void RenderHighscores(E2DSurface* screen, int32_t slide);
  void RenderCredits(E2DSurface* screen, int32_t slide);
  void RenderClosed(E2DSurface* screen);
  void RenderLoading(E2DSurface* screen);
  void RenderFlash(E2DSurface* screen, uint32_t ms);
};

#endif
