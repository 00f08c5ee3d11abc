// Network events and the interfaces that receive them. The application class
// implements ENetOwner, so the connection never needs to know the framework.
#ifndef ZARN_NET_ENET_EVENTS_H
#define ZARN_NET_ENET_EVENTS_H

#include <cstdint>

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

// Receives the events of a connection; `connection` is the connection id.
// Event data is only valid during the call.
class ENetOwner {
 public:
  virtual void OnNetMessage(uint8_t connection, int32_t peer, int32_t event, int32_t length,
                            uint8_t* data) = 0;

 protected:
  ~ENetOwner() = default;
};

class ClassEConnect;

// Optional receiver that takes a connection's events in place of its owner
// (all but ENET_REQUEST, which always goes to the owner).
class ClassENetCapture {
 public:
  virtual ~ClassENetCapture() = default;
  virtual void OnNetEvent(int32_t peer, int32_t event, int32_t length, uint8_t* data) = 0;
  ClassEConnect* connection = nullptr;
};

#endif
