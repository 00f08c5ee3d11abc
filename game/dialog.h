// The dialog layer over every module. (Minimal form: no dialog opens yet.)
#ifndef ZARN_GAME_DIALOG_H
#define ZARN_GAME_DIALOG_H

#include <cstdint>

class E2DSurface;

class ClassConsole {
 public:
  int Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys,
             uint32_t elapsed);
  struct MAINDATA* maindata = nullptr;
};

#endif
