// The state of the current game.
#ifndef ZARN_GAME_PLAYER_H
#define ZARN_GAME_PLAYER_H

#include <cstdint>

class ClassPlayer {
 public:
  uint32_t mode = 0;
};

#endif
