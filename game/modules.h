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

#include "game/intro.h"
#include "game/title.h"

#endif
