// The game's application object: owns every game object for the whole run and
// answers the framework's callbacks.
#ifndef ZARN_GAME_APP_H
#define ZARN_GAME_APP_H

#include <cstdint>

#include "framework/zarn.h"
#include "game/dialog.h"
#include "game/gamesound.h"
#include "game/graphics.h"
#include "game/level.h"
#include "game/modules.h"
#include "game/player.h"
#include "game/settings.h"

class ClassMain;

// The record every module keeps from its attach message.
struct MAINDATA {
  uint8_t reserved;
  uint8_t saverequest;
  uint8_t zerodelta;
  uint8_t playlogic;
  uint8_t releaserequest;
  char joinaddress[33];
  uint8_t reserved2[2];
  uint32_t joinport;
  ClassGraphics* graphics;
  ClassSound* sound;
  ClassPlayer* player;
  ClassConsole* console;
  MAINCONFIG* settings;
  EBUTTONLIST* buttons;
  ClassMain* app;
  ECD* ecd;
};

using ModuleFrameFn = int (*)(void* app, E2DSurface* screen, uint32_t* module, uint32_t* message,
                              int32_t* keys, uint32_t elapsed);

class ClassMain : public ClassZarn {
 public:
  explicit ClassMain(const ZARNDATA* data);
  ~ClassMain() override;

  int OnCreate(ZARNCONFIG* config, ZARNDATA* data) override;
  int OnInit(int startvalue) override;
  int OnMinimize() override;
  int OnRestore() override;
  int OnDisplayInit(int startvalue, ClassEDisplay* display) override;
  int OnNextFrame(ClassEDisplay* display, uint32_t elapsed) override;
  void OnExit(int startvalue) override;
  void OnButtonDown(uint32_t code, EBUTTONLIST* list) override;
  void OnButtonUp(uint32_t code, EBUTTONLIST* list) override;
  void OnWheel(int32_t steps) override;
  void OnStylusUp(tagPOINT pt) override;
  void OnStylusDown(tagPOINT pt) override;
  void OnStylusDouble(tagPOINT pt) override;
  void OnStylusMove(tagPOINT pt) override;
  void OnNetMessage(uint8_t connection, int32_t peer, int32_t event, int32_t length,
                    uint8_t* data) override;

  // The level's code for a framework network event; -1 when it is ignored.
  static int32_t LevelNetCode(int32_t event);
  // The port a hosting game listens on.
  static uint32_t GamePort();
  void AttachModules();
  void LinkData();
  // Settings file (loaded at start-up, saved on request and on quitting).
  void ResetCfg();
  void LoadCfg();
  void SaveCfg();
  int ValidCfg();
  // A loading stage failed: says why on stderr and keeps it as the error text;
  // the module then quits.
  void LoadingFailed(const char* why);
  // After Start: true when start-up ended early or the game stopped for a
  // failure it left as the error text.
  bool StartFailed() const;
  // After each module frame: the start switch's game that quits before its
  // play began is a failure.
  void CheckScriptedGame();

  static int WManageTitle(void* app, E2DSurface* screen, uint32_t* module, uint32_t* message,
                          int32_t* keys, uint32_t elapsed);
  static int WManageLevel(void* app, E2DSurface* screen, uint32_t* module, uint32_t* message,
                          int32_t* keys, uint32_t elapsed);
  static int WManageIntro(void* app, E2DSurface* screen, uint32_t* module, uint32_t* message,
                          int32_t* keys, uint32_t elapsed);

  // Access to the game's objects: the start switch, tests and tools.
  uint32_t& ModuleId() { return moduleId_; }
  uint32_t& ModuleMessage() { return moduleMessage_; }
  MAINDATA& Data() { return maindata_; }
  MAINCONFIG& Settings() { return settings_; }
  ClassSound& Sound() { return sound_; }
  ClassLevel& Level() { return level_; }
  ClassTitle& Title() { return title_; }
  ClassIntro& Intro() { return intro_; }
  ClassConsole& Console() { return dialog_; }
  ClassGraphics& Graphics() { return graphics_; }
  ModuleFrameFn& ModuleEntry(uint32_t id) { return modules_[id & 15]; }
  int32_t* ModuleKeys() { return keys_; }
  uint32_t SaveCount() const { return saveCount_; }

 protected:
  ClassGraphics graphics_;
  ClassSound sound_;
  ClassPlayer player_;
  ClassConsole dialog_;
  MAINDATA maindata_;
  MAINCONFIG settings_;
  int32_t keys_[64];
  uint32_t moduleId_ = MODULE_INTRO;
  uint32_t moduleMessage_ = MSG_ENTER;
  uint32_t reserved_ = 0;
  uint8_t minimized_ = 0;
  ClassTitle title_;
  ClassLevel level_;
  uint32_t reservedMember_ = 0;
  ClassIntro intro_;
  ModuleFrameFn modules_[16];
  uint32_t saveCount_ = 0;
  uint8_t keepRejectedCfg_ = 0;  // the loaded file was damaged: the first save keeps a copy
  uint8_t scriptedPlayed_ = 0;   // the start switch's game reached play
};

// An entry for a host that brings its own data record.
ClassZarn* ZarnMain(ZARNDATA* data);
// The program's entry, callable from tests: runs the game and returns to the
// console's menu program. Returns only when that fails.
int ZarnProgramEntry();

#endif
