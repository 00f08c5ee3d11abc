// The level: play. (Minimal form until the rules engine lands.)
#ifndef ZARN_GAME_LEVEL_H
#define ZARN_GAME_LEVEL_H

#include <cstdint>

class E2DSurface;
struct MAINDATA;

class ClassLevel {
 public:
  int Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys, uint32_t elapsed);
  // Network events under the level's codes 1 to 9.
  void OnNetMessage(int32_t peer, int32_t code, int32_t length, uint8_t* data);
  MAINDATA* maindata = nullptr;
};

#endif
