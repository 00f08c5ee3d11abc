#include "tests/support/net_console.h"

#include <cstring>

namespace zt {

NetConsole::NetConsole(const char* name, uint8_t kind) {
  std::strncpy(reinterpret_cast<char*>(settings.bytes + 90), name, 31);
  ecd.net[0] = &connection;
  data.player = &player;
  data.settings = &settings;
  data.ecd = &ecd;
  level.mainData = &data;
  player.InitReset();
  player.mode = 4;
  player.kind = kind;
  player.targetScore = 5000;
  player.level = 2;
  connection.Init(ENET_TCPIP, this);
}

void NetConsole::OnNetMessage(uint8_t, int32_t peer, int32_t event, int32_t length, uint8_t* bytes) {
  const int32_t code = ClassMain::LevelNetCode(event);
  if (code > 0) level.OnNetMessage(peer, code, length, bytes);
}

void NetConsole::Frame(uint32_t ms) {
  connection.CheckSockets(nullptr);
  message = MSG_FRAME;
  level.Manage(nullptr, &module, &message, nullptr, ms);
  if (module == MODULE_NETSTART) {
    const bool hosting = message == 16;
    int ok = 0;
    if (connection.Init(ENET_TCPIP, this) == 0)
      ok = hosting ? connection.SearchHost(nullptr, ClassMain::GamePort())
                   : connection.SearchHost(data.joinaddress, data.joinport);
    if (!ok) level.OnNetMessage(0, hosting ? 1 : 2, 0, nullptr);
    module = MODULE_LEVEL;
  }
  message = MSG_FRAME;
}

}  // namespace zt
