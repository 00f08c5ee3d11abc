// The game's modules: intro, title and level. Each has one frame function,
// Manage(screen, module, message, keys, elapsed); message 0x7fff attaches it (keys
// then carries the MAINDATA pointer).
#ifndef ZARN_GAME_MODULES_H
#define ZARN_GAME_MODULES_H

#include <cstdint>

class E2DSurface;
struct MAINDATA;

// Module ids and messages.
enum : uint32_t {
  MODULE_TITLE = 0,
  MODULE_LEVEL = 1,
  MODULE_INTRO = 3,
  MODULE_NETSTART = 0x8000,
  MODULE_QUIT = 0xFFFF,
  MSG_FRAME = 0,
  MSG_ENTER = 1,
  MSG_RESTORE = 2,
  MSG_MINIMIZE = 3,
  MSG_ATTACH = 0x7fff,
  MSG_PAUSE = 0x10002,
};

class ClassIntro {
 public:
  int Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys, uint32_t elapsed);
  MAINDATA* maindata = nullptr;
  uint32_t stage = 0;  // next graphics loading stage
};

class ClassTitle {
 public:
  int Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys, uint32_t elapsed);
  MAINDATA* maindata = nullptr;
  uint32_t cursor = 0;
  uint32_t cpuCount = 3, cpuStrength = 3;
  bool paused = false;
  bool autoStarted = false;
  bool autoGame = false;  // the running game came from ZARN_START
};

#endif
