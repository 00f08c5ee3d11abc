// ZARN_START, the test switch that plays one game straight from the intro: the
// mode, the computer players of a versus game, the start level and the seed of
// the random draws.
#ifndef ZARN_GAME_START_H
#define ZARN_GAME_START_H

#include <cstdint>

#include "game/player.h"

struct MAINDATA;

struct GameStart {
  uint8_t mode = MODE_STANDARD;  // a game mode (game/player.h)
  uint8_t seats[3] = {1, 2, 3};  // versus CPU: 0 empty, 1 to 3 the computer's strength
  uint8_t level = 0;             // 0: the settings' start level
  bool seeded = false;
  uint32_t seed = 0;
  uint8_t net = 0;       // 1 host, 2 join (MODE_MULTI)
  uint8_t hostWait = 1;  // host: players to wait for before starting
  uint8_t hostCpu[3] = {};  // host: computer players for the seats nobody joined
  char address[32] = {}; // join: the host's dotted address
};

// "standard", "timed", "puzzle", "tutorial", "cpu[:K[K[K]]]" (K 0 to 3 per
// seat), "host[:N]" (start once N players, 1 to 3, have joined) or
// "join:ADDRESS" (a dotted address, four numbers 0 to 255; the port is the
// game's), then optional
// ",level=N" and ",seed=N"; a host also ",cpu=K[K]" (the strengths of the
// computer players that take the seats nobody joined, in seat order). False
// when the text is absent or malformed.
bool ParseGameStart(const char* text, GameStart* out);

// Sets up the game as the title starts it and hands over to the level.
void StartGame(MAINDATA* data, const GameStart& start, uint32_t* module, uint32_t* message);

#endif
