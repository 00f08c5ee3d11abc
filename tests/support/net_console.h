// Test support: one console of a network game inside the test program: a level
// with its game state, settings and connection, whose events reach the level
// as ClassMain passes them on. Frame() runs the level's frame function and
// serves its network start requests as ClassMain does.
#ifndef ZARN_TESTS_SUPPORT_NET_CONSOLE_H
#define ZARN_TESTS_SUPPORT_NET_CONSOLE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "game/app.h"
#include "game/level.h"
#include "game/packets.h"
#include "game/player.h"
#include "game/settings.h"
#include "net/emod_connect.h"
#include "net/enet_stack.h"

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

// A game packet framed as a console sends it (empty for a packet that cannot be written).
std::vector<uint8_t> FramePacket(const GAMEPACKET& p, const char* joinName = nullptr);
// Sends a game packet on a plain socket, framed as a console would.
void SendPacket(int socket, const GAMEPACKET& p, const char* joinName = nullptr);

// A peer that is only a socket on loopback: it sends game packets or any bytes
// and reads the frames it is sent, in order, through a receive queue.
struct RawPeer {
  struct Payload {
    int kind;  // ENETPOP_MESSAGE, ENETPOP_PINGREQUEST or ENETPOP_PINGREPLY
    std::vector<uint8_t> bytes;
  };
  explicit RawPeer(uint16_t port);
  ~RawPeer();
  RawPeer(const RawPeer&) = delete;
  RawPeer& operator=(const RawPeer&) = delete;
  void Send(const GAMEPACKET& p, const char* joinName = nullptr) { SendPacket(socket, p, joinName); }
  void SendBytes(const void* data, size_t length);
  // Takes in what has arrived, without waiting.
  void Read();
  // The game packets among the payloads, in order.
  std::vector<GAMEPACKET> Packets() const;
  size_t Count(int kind) const;

  int socket = -1;
  bool closed = false;  // the other side closed
  std::vector<Payload> payloads;
  ENetStack queue;
};

}  // namespace zt

#endif
