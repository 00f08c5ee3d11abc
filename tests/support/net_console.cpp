#include "tests/support/net_console.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "tests/support/harness.h"

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

std::vector<uint8_t> FramePacket(const GAMEPACKET& p, const char* joinName) {
  struct Sink : ENetFrameSink {
    std::vector<uint8_t> out;
    void Write(const uint8_t* d, uint32_t n) override { out.insert(out.end(), d, d + n); }
  } sink;
  uint8_t buffer[kPacketMax + kPacketJoinMax];
  const uint32_t n = GamePacket_Write(p, buffer, sizeof buffer, joinName);
  if (n != 0) ENet_WriteFrame(sink, buffer, n, ENet_FrameLength(buffer, n));
  return sink.out;
}

namespace {

void SendAll(int socket, const uint8_t* bytes, size_t length) {
  for (size_t at = 0; at < length;) {
    const ssize_t k = send(socket, bytes + at, length - at, MSG_NOSIGNAL);
    if (k <= 0) return;
    at += static_cast<size_t>(k);
  }
}

}  // namespace

void SendPacket(int socket, const GAMEPACKET& p, const char* joinName) {
  const std::vector<uint8_t> frame = FramePacket(p, joinName);
  SendAll(socket, frame.data(), frame.size());
}

RawPeer::RawPeer(uint16_t port) {
  queue.Alloc(65536);
  socket = LoopbackConnect(port);
}

RawPeer::~RawPeer() {
  if (socket >= 0) close(socket);
}

void RawPeer::SendBytes(const void* data, size_t length) {
  SendAll(socket, static_cast<const uint8_t*>(data), length);
}

void RawPeer::Read() {
  uint8_t buffer[4096];
  while (socket >= 0 && !closed) {
    const ssize_t n = recv(socket, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0) closed = true;
    if (n <= 0) break;
    queue.Push(buffer, static_cast<uint32_t>(n));
    while (uint32_t size = queue.Peek()) {
      Payload p;
      p.bytes.resize(size);
      uint32_t got = size;
      p.kind = queue.Pop(p.bytes.data(), got);
      payloads.push_back(p);
    }
  }
}

std::vector<GAMEPACKET> RawPeer::Packets() const {
  std::vector<GAMEPACKET> out;
  for (const Payload& p : payloads) {
    GAMEPACKET g;
    if (p.kind == ENETPOP_MESSAGE && GamePacket_Read(p.bytes.data(), static_cast<uint32_t>(p.bytes.size()), g))
      out.push_back(g);
  }
  return out;
}

size_t RawPeer::Count(int kind) const {
  size_t n = 0;
  for (const Payload& p : payloads) n += p.kind == kind;
  return n;
}

}  // namespace zt
