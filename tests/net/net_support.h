// Shared helpers of the network tests: frames in memory, loopback ports, a
// recording event owner.
#ifndef ZARN_TESTS_NET_NET_SUPPORT_H
#define ZARN_TESTS_NET_NET_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "net/emod_connect.h"

namespace nt {

using Bytes = std::vector<uint8_t>;

// The frame of a payload, as the connection would send it.
inline Bytes Frame(const Bytes& payload) {
  struct Sink : ENetFrameSink {
    Bytes out;
    void Write(const uint8_t* d, uint32_t n) override { out.insert(out.end(), d, d + n); }
  } sink;
  const uint32_t length = ENet_FrameLength(payload.data(), static_cast<uint32_t>(payload.size()));
  if (length == 0) return {};
  ENet_WriteFrame(sink, payload.data(), static_cast<uint32_t>(payload.size()), length);
  return sink.out;
}

inline Bytes Hex(const std::string& text) {
  Bytes out;
  for (size_t i = 0; i + 1 < text.size();) {
    if (text[i] == ' ') {
      i++;
      continue;
    }
    out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return out;
}

// A loopback port of this test process's own block (see zt::TestPort).
uint16_t TestPort(uint16_t offset = 0);

// Records every event of a connection.
struct Event {
  int32_t peer, event;
  Bytes data;
};
class Recorder : public ENetOwner {
 public:
  void OnNetMessage(uint8_t connection, int32_t peer, int32_t event, int32_t length,
                    uint8_t* data) override;
  std::vector<Event> events;
  uint8_t lastConnection = 0xFF;
  // Called after recording, to let a test react inside the callback.
  void (*react)(Recorder&, const Event&) = nullptr;
  void* user = nullptr;
  size_t Count(int32_t event, int32_t peer = -1) const;
  // All ENET_DATA bytes of one peer, in order.
  Bytes DataOf(int32_t peer) const;
};

// Polls connections until `done` holds or `ms` of real time passed (a bound
// for failures only: a loaded machine may take its time).
template <class F>
bool PollUntil(std::vector<ClassEConnect*> connections, F done, int ms = 30000);

// A plain TCP socket connected to 127.0.0.1:port with the given receive
// buffer (set before the connect, so the window stays that small); -1 on failure.
int LoopbackConnect(uint16_t port, int receiveBuffer);
// A socket listening on 127.0.0.1:port (reused at once); -1 on failure.
int Listen(uint16_t port);
// Reads from a socket until `count` bytes came, it closed, or 10 s passed.
Bytes ReadAtLeast(int socket, size_t count);

// Runs a command in the background; returns its pid (or -1).
int Spawn(const std::string& command);
// Waits for a spawned process; its exit status, or -1 after `ms` (it is then killed).
int Reap(int pid, int ms = 60000);

// A helper process of a test (Debian's Python with a script and arguments),
// killed and reaped if the test leaves before waiting for it, so it never
// holds a port into the next test.
class Child {
 public:
  explicit Child(const std::string& arguments);
  ~Child();
  Child(Child&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  // Its exit status, or -1 when it had not ended after `ms`.
  int Wait(int ms = 60000);

 private:
  int pid_;
};
bool HavePython();

uint32_t NowMs();

}  // namespace nt

#include <unistd.h>

template <class F>
bool nt::PollUntil(std::vector<ClassEConnect*> connections, F done, int ms) {
  const uint32_t start = NowMs();
  for (;;) {
    for (ClassEConnect* c : connections) c->CheckSockets(nullptr);
    if (done()) return true;
    if (static_cast<int32_t>(NowMs() - start) > ms) return false;
    usleep(2000);
  }
}

#endif
