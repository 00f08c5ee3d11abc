// One network connection. In this form nothing connects.
#ifndef ZARN_NET_EMOD_CONNECT_H
#define ZARN_NET_EMOD_CONNECT_H

#include <cstdint>

class ClassZarn;

enum {
  ENET_CONNECTED = 0,
  ENET_HOSTING = 1,
  ENET_PEERADDED = 2,
  ENET_CLOSED = 3,
  ENET_DATA = 4,
  ENET_DEVICEFOUND = 16,
  ENET_SEARCHDONE = 17,
  ENET_REQUEST = 255,
};

class ClassEConnect {
 public:
  ClassEConnect();
  virtual ~ClassEConnect();
  void SetConnectID(uint8_t id) { id_ = id; }
  uint8_t GetConnectID() const { return id_; }
  // Polls the sockets; delivers events to the application's OnNetMessage.
  void CheckSockets(void* window);
  // 0 on success.
  int Init(uint8_t transport, ClassZarn* app);
  // 0 on failure.
  int SearchHost(const char* address, uint32_t port);
  void ReleaseConnection();
  // Counts polls, for tests of the frame loop.
  uint32_t Polls() const { return polls_; }

 private:
  uint8_t id_ = 0;
  uint32_t polls_ = 0;
};

#endif
