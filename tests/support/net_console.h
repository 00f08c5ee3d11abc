// Test support: one console of a network game inside the test program: a level
// with its game state, settings and connection, whose events reach the level
// as ClassMain passes them on. Frame() runs the level's frame function and
// serves its network start requests as ClassMain does.
#ifndef ZARN_TESTS_SUPPORT_NET_CONSOLE_H
#define ZARN_TESTS_SUPPORT_NET_CONSOLE_H

#include <cstdint>

#include "game/app.h"
#include "game/level.h"
#include "game/player.h"
#include "game/settings.h"
#include "net/emod_connect.h"

namespace zt {

struct NetConsole : ENetOwner {
  ClassLevel level;
  ClassPlayer player;
  MAINCONFIG settings{};
  ECD ecd{};
  MAINDATA data{};
  ClassEConnect connection;
  uint32_t module = MODULE_LEVEL, message = MSG_FRAME;

  // A multi-player game of the given kind (1 host, 3 join), target 5000, level 2.
  NetConsole(const char* name, uint8_t kind);
  void OnNetMessage(uint8_t, int32_t peer, int32_t event, int32_t length, uint8_t* data) override;
  // One frame: the socket poll, then the level's frame (no screen), then a
  // start request the level wrote.
  void Frame(uint32_t ms);
};

}  // namespace zt

#endif
