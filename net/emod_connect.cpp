#include "net/emod_connect.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "framework/emod_memory.h"
#include "framework/emod_vtimer.h"

namespace {

// Milliseconds of real time, for deadlines (the frame clock may be a fake one).
uint32_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(ts.tv_sec) * 1000u + static_cast<uint32_t>(ts.tv_nsec / 1000000);
}

// Waits for `events` on a socket; > 0 when ready, 0 on timeout, < 0 on error.
int WaitFor(int32_t socket, short events, int timeoutMs) {
  pollfd p{};
  p.fd = socket;
  p.events = events;
  for (;;) {
    const int r = poll(&p, 1, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    return r;  // an error condition counts as ready: the next call reports it
  }
}

// First IPv4 address of a name, network order; false when it cannot be resolved.
bool Lookup(const char* name, uint32_t& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &result) != 0 || !result) return false;
  bool ok = false;
  for (addrinfo* a = result; a; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
      sockaddr_in in;
      std::memcpy(&in, a->ai_addr, sizeof in);
      address = in.sin_addr.s_addr;
      ok = true;
      break;
    }
  }
  freeaddrinfo(result);
  return ok;
}

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = htons(port);
  in.sin_addr.s_addr = address;
  return in;
}

class SocketSink : public ENetFrameSink {
 public:
  SocketSink(ClassEConnect* connection, uint8_t target) : c_(connection), target_(target) {}
  void Write(const uint8_t* data, uint32_t length) override {
    c_->SendRaw(data, static_cast<int32_t>(length), target_);
  }

 private:
  ClassEConnect* c_;
  uint8_t target_;
};

}  // namespace

ClassEConnect::ClassEConnect() {
  for (uint32_t i = 0; i < kNetMaxPeers; i++) peers_[i] = -1;
  std::memset(broken_, 0, sizeof broken_);
  std::memset(buffer_, 0, sizeof buffer_);
}

ClassEConnect::~ClassEConnect() {
  Cleanup();
  for (uint32_t q = 0; q <= kOwnQueue; q++) FreeQueue(q);
}

int ClassEConnect::Init(uint16_t transport, ENetOwner* owner) {
  Cleanup();
  if (transport != ENET_TCPIP && transport != ENET_WIRELESS) return 3;
  if (!owner) return 4;
  transport_ = transport;
  owner_ = owner;
  for (uint32_t i = 0; i < kNetMaxPeers; i++) peers_[i] = -1;
  own_ = -1;
  for (uint32_t q = 0; q <= kOwnQueue; q++) FreeQueue(q);
  pingState_ = 0;
  return 0;
}

void ClassEConnect::Cleanup() {
  if (transport_ == ENET_NONE) return;
  Disconnect(0);
  established_ = 0;
  if (request_) ClassEMemory::DeAlloc(request_);
  request_ = nullptr;
  requestLength_ = 0;
  transport_ = ENET_NONE;
  owner_ = nullptr;
}

int32_t ClassEConnect::CreateSocket() {
  if (own_ >= 0) return own_;
  if (transport_ != ENET_TCPIP) return -1;
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  own_ = s;
  FreeQueue(kOwnQueue);
  return own_;
}

int ClassEConnect::SearchHost(const char* address, uint32_t port) {
  if (transport_ != ENET_TCPIP && transport_ != ENET_WIRELESS) return 0;
  Disconnect(0);
  pingState_ = 0;
  char text[256];
  bool dotted = false;
  if (!address) {
    hosting_ = 1;
    address_ = 0;
    text[0] = 0;
  } else {
    hosting_ = 0;
    std::strncpy(text, address, sizeof text - 1);
    text[sizeof text - 1] = 0;
    const uint32_t parsed = AtoIPA(text);
    dotted = parsed != 0xFFFFFFFFu;
    address_ = htonl(parsed);
  }
  if (transport_ == ENET_WIRELESS) return 0;
  port_ = static_cast<uint16_t>(port);
  hasEntry_ = 0;
  established_ = 1;
  if (hosting_ || !dotted) {
    char name[65];
    if (hosting_) {
      const char* seam = std::getenv("ZARN_NET_HOST");
      if (seam && *seam) {
        std::strncpy(name, seam, sizeof name - 1);
        name[sizeof name - 1] = 0;
      } else if (gethostname(name, sizeof name - 1) != 0) {
        return 0;
      }
      name[sizeof name - 1] = 0;
    }
    uint32_t found = 0;
    if (!Lookup(hosting_ ? name : text, found)) return 0;
    entry_ = found;
    hasEntry_ = 1;
    IPAtoA(text, ntohl(found));
  }
  return Startup(hosting_ != 0, text, port, nullptr, dotted) == 0 ? 1 : 0;
}

int ClassEConnect::Startup(bool host, const char* text, uint32_t port, void*, bool addressGiven) {
  if (transport_ == ENET_NONE) return 1;
  if (own_ < 0) {
    if (transport_ == ENET_WIRELESS) return 1;
    if (CreateSocket() < 0) return 1;
  }
  char own[256];
  std::strncpy(own, text ? text : "", sizeof own - 1);
  own[sizeof own - 1] = 0;
  const int32_t textLength = static_cast<int32_t>(std::strlen(own));
  if (host) {
    if (hasEntry_) address_ = entry_;
    // Re-hosting right after a game must not wait for the old port to time out.
    const int one = 1;
    setsockopt(own_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in in = MakeAddress(address_, static_cast<uint16_t>(port));
    if (bind(own_, reinterpret_cast<const sockaddr*>(&in), sizeof in) != 0 ||
        listen(own_, 128) != 0) {
      Disconnect(0);
      return 1;
    }
    CallNetMessage(0, ENET_HOSTING, textLength, reinterpret_cast<uint8_t*>(own));
    return 0;
  }
  if (!addressGiven && hasEntry_) address_ = entry_;
  const sockaddr_in in = MakeAddress(address_, static_cast<uint16_t>(port));
  bool ok = connect(own_, reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0;
  if (!ok && (errno == EINPROGRESS || errno == EINTR)) {
    // The connect is bounded: a host that never answers must not freeze the game.
    if (WaitFor(own_, POLLOUT, kNetConnectTimeout) > 0) {
      int error = 0;
      socklen_t size = sizeof error;
      ok = getsockopt(own_, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
  }
  if (!ok) {
    Disconnect(0);
    return 1;
  }
  CallNetMessage(0, ENET_CONNECTED, textLength, reinterpret_cast<uint8_t*>(own));
  if (request_ && transport_ != ENET_NONE && own_ >= 0) {
    char* request = request_;
    const int32_t length = requestLength_;
    request_ = nullptr;
    requestLength_ = 0;
    CallNetMessage(0, ENET_REQUEST, length, reinterpret_cast<uint8_t*>(request));
    if (own_ >= 0) {
      // The request goes out as the socket takes it, over as many polls as that needs.
      requestAhead_ = out_[kOwnQueue].Pending();
      requestLive_ = 1;
      Adopt(kOwnQueue, reinterpret_cast<uint8_t*>(request), static_cast<uint32_t>(length));
    } else {
      ClassEMemory::DeAlloc(request);
    }
  }
  return 0;
}

void ClassEConnect::CheckSockets(void* window) {
  if (transport_ == ENET_NONE || own_ < 0) return;
  if (!hosting_) {
    Flush(kOwnQueue);
    if (broken_[kOwnQueue]) {
      CloseAfterReading(kOwnQueue);
      return;
    }
    SocketMessage(own_, window, true);
    return;
  }
  SocketMessage(own_, window, false);
  for (uint32_t k = 0; k < kNetMaxPeers; k++) {
    if (transport_ == ENET_NONE || own_ < 0) return;  // an event handler closed everything
    if (peers_[k] < 0) continue;
    Flush(k);
    if (broken_[k]) {
      CloseAfterReading(k);
      continue;
    }
    SocketMessage(peers_[k], window, true);
  }
}

void ClassEConnect::SocketMessage(int32_t socket, void* window, bool receive) {
  if (socket < 0) return;
  pollfd p{};
  p.fd = socket;
  p.events = POLLIN;
  if (poll(&p, 1, 0) <= 0) return;
  if (p.revents & (POLLIN | POLLHUP | POLLERR)) OnAsync(window, socket, receive ? 1 : 8);
}

int32_t ClassEConnect::SlotOf(int32_t socket) const {
  for (uint32_t k = 0; k < kNetMaxPeers; k++)
    if (peers_[k] == socket) return static_cast<int32_t>(k);
  return -1;
}

void ClassEConnect::OnAsync(void* window, int32_t socket, int32_t kind) {
  if (transport_ != ENET_TCPIP && transport_ != ENET_WIRELESS) return;
  if (kind == 8) {
    if (transport_ == ENET_WIRELESS) return;
    int32_t slot = SlotOf(-1);
    sockaddr_in from{};
    socklen_t size = sizeof from;
    const int s = accept4(socket, reinterpret_cast<sockaddr*>(&from), &size,
                          SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (s < 0) return;
    if (slot < 0) {
      // Every slot is taken: the console is refused at once, so it sees its
      // connection close instead of sending into one nobody reads.
      close(s);
      return;
    }
    const int sendBuffer = kNetPeerSendBuffer;
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    peers_[slot] = s;
    FreeQueue(static_cast<uint32_t>(slot));
    char text[INET_ADDRSTRLEN] = {0};
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    const uint32_t length = static_cast<uint32_t>(std::strlen(text));
    std::memcpy(buffer_, text, length + 1);
    CallNetMessage(slot + 1, ENET_PEERADDED, static_cast<int32_t>(length), buffer_);
    return;
  }
  if (kind == 1) {
    int32_t peer = 0;
    if (hosting_) {
      const int32_t slot = SlotOf(socket);
      if (slot < 0) return;
      peer = slot + 1;
    }
    const ssize_t n = recv(socket, buffer_, sizeof buffer_, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
      OnAsync(window, socket, 32);
      return;
    }
    CallNetMessage(peer, ENET_DATA, static_cast<int32_t>(n), buffer_);
    return;
  }
  if (kind == 32) {
    if (hosting_) {
      const int32_t slot = SlotOf(socket);
      if (slot < 0) return;
      Disconnect(static_cast<uint8_t>(slot + 1));
      CallNetMessage(slot + 1, ENET_CLOSED, 0, nullptr);
    } else if (socket == own_) {
      CloseAfterReading(kOwnQueue);
    }
  }
}

void ClassEConnect::CallNetMessage(int32_t peer, int32_t event, int32_t length, uint8_t* data) {
  if (capture_ && event != ENET_REQUEST) {
    capture_->OnNetEvent(peer, event, length, data);
    return;
  }
  if (owner_) owner_->OnNetMessage(id_, peer, event, length, data);
}

void ClassEConnect::CloseAfterReading(uint32_t q) {
  const int32_t peer = q == kOwnQueue ? 0 : static_cast<int32_t>(q + 1);
  for (int i = 0; i < 1024 && SocketOf(q) >= 0; i++) {
    const ssize_t n = recv(SocketOf(q), buffer_, sizeof buffer_, MSG_DONTWAIT);
    if (n <= 0) break;
    CallNetMessage(peer, ENET_DATA, static_cast<int32_t>(n), buffer_);
    if (transport_ == ENET_NONE) return;
  }
  if (transport_ == ENET_NONE) return;
  if (q != kOwnQueue && SocketOf(q) < 0) return;  // a handler closed the peer already
  Disconnect(static_cast<uint8_t>(peer));
  CallNetMessage(peer, ENET_CLOSED, 0, nullptr);
}

int32_t ClassEConnect::QueueOf(int32_t socket) const {
  if (socket < 0) return -1;
  if (socket == own_) return static_cast<int32_t>(kOwnQueue);
  return SlotOf(socket);
}

uint32_t ClassEConnect::Unsent(uint32_t peer) const {
  if (peer > kNetMaxPeers) return 0;
  return out_[peer == 0 ? kOwnQueue : peer - 1].Pending();
}

void ClassEConnect::FreeQueue(uint32_t q) {
  OutQueue& o = out_[q];
  if (o.data) ClassEMemory::DeAlloc(o.data);
  o = OutQueue();
  broken_[q] = 0;
  if (q == kOwnQueue) requestLive_ = 0;  // what is left of a request stays unsent
}

void ClassEConnect::Broken(uint32_t q) {
  // What waits can never go out now; the link closes at the next poll.
  FreeQueue(q);
  broken_[q] = 1;
}

uint32_t ClassEConnect::Transmit(uint32_t q, const uint8_t* data, uint32_t length) {
  const int32_t socket = SocketOf(q);
  uint32_t sent = 0;
  while (sent < length && socket >= 0) {
    const ssize_t n = send(socket, data + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;  // full for now
    Broken(q);
    break;
  }
  if (q == kOwnQueue && requestLive_) {
    // Bytes leave in order: those queued ahead of the request first.
    uint32_t n = sent;
    const uint32_t ahead = n < requestAhead_ ? n : requestAhead_;
    requestAhead_ -= ahead;
    n -= ahead;
    requestLeft_ -= n < requestLeft_ ? n : requestLeft_;
  }
  return sent;
}

void ClassEConnect::Flush(uint32_t q) {
  OutQueue& o = out_[q];
  if (broken_[q] || o.Pending() == 0) return;
  const uint32_t sent = Transmit(q, o.data + o.start, o.Pending());
  if (broken_[q]) return;  // the queue is gone with the link
  o.start += sent;
  if (o.Pending() != 0) return;
  o.start = o.end = 0;
  // A block larger than the bound (a whole request) is not kept once sent.
  if (o.capacity > kNetSendQueue) FreeQueue(q);
}

bool ClassEConnect::Enqueue(uint32_t q, const uint8_t* data, uint32_t length) {
  OutQueue& o = out_[q];
  const uint32_t pending = o.Pending();
  if (length > kNetSendQueue || pending > kNetSendQueue - length) {
    if (length > o.capacity || pending > o.capacity - length) return false;
  }
  const uint32_t need = pending + length;
  if (o.capacity - o.end < length) {
    if (need <= o.capacity) {
      std::memmove(o.data, o.data + o.start, pending);
    } else {
      uint32_t grown = o.capacity ? o.capacity : 4096;
      while (grown < need) grown *= 2;
      if (grown > kNetSendQueue) grown = kNetSendQueue;
      uint8_t* block = static_cast<uint8_t*>(ClassEMemory::Alloc(grown));
      if (!block) return false;
      if (pending) std::memcpy(block, o.data + o.start, pending);
      if (o.data) ClassEMemory::DeAlloc(o.data);
      o.data = block;
      o.capacity = grown;
    }
    o.start = 0;
    o.end = pending;
  }
  std::memcpy(o.data + o.end, data, length);
  o.end += length;
  return true;
}

void ClassEConnect::Adopt(uint32_t q, uint8_t* block, uint32_t length) {
  OutQueue& o = out_[q];
  if (broken_[q] || o.Pending() != 0) {
    // Behind bytes already waiting: a copy, within the bound.
    if (!broken_[q] && !Enqueue(q, block, length)) Broken(q);
    ClassEMemory::DeAlloc(block);
    Flush(q);
    return;
  }
  const uint8_t live = requestLive_;
  FreeQueue(q);
  requestLive_ = live;
  o.data = block;
  o.capacity = length;
  o.end = length;
  Flush(q);
}

void ClassEConnect::Write(uint32_t q, const uint8_t* data, uint32_t length) {
  if (broken_[q] || SocketOf(q) < 0 || length == 0) return;
  Flush(q);
  if (broken_[q]) return;
  if (out_[q].Pending() == 0) {
    const uint32_t sent = Transmit(q, data, length);
    data += sent;
    length -= sent;
  }
  if (length && !broken_[q] && !Enqueue(q, data, length)) Broken(q);
}

void ClassEConnect::SendRaw(const void* data, int32_t length, uint8_t peer) {
  if (transport_ == ENET_NONE || own_ < 0 || length <= 0 || !data) return;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  const uint32_t n = static_cast<uint32_t>(length);
  if (!hosting_) {
    Write(kOwnQueue, bytes, n);
    return;
  }
  if (peer > kNetMaxPeers) return;
  for (uint32_t k = 0; k < kNetMaxPeers; k++) {
    if (peer != 0 && k + 1 != peer) continue;
    if (peers_[k] >= 0) Write(k, bytes, n);
  }
}

void ClassEConnect::ZarnSend(uint8_t target, const void* data, int32_t length,
                             int32_t& frameLength, bool measure) {
  const uint8_t* payload = static_cast<const uint8_t*>(data);
  if (length < 0 || (length > 0 && !payload)) return;
  if (measure) {
    frameLength = static_cast<int32_t>(ENet_FrameLength(payload, static_cast<uint32_t>(length)));
    return;
  }
  if (frameLength <= 0) return;
  SocketSink sink(this, target);
  ENet_WriteFrame(sink, payload, static_cast<uint32_t>(length),
                  static_cast<uint32_t>(frameLength));
}

void ClassEConnect::Send(const void* data, int32_t length, uint8_t peer) {
  if (transport_ == ENET_NONE || own_ < 0 || length < 0) return;
  if (hosting_) {
    if (peer > kNetMaxPeers) return;
    if (peer != 0 && peers_[peer - 1] < 0) return;
  } else {
    peer = 0;
  }
  int32_t frameLength = 0;
  ZarnSend(peer, data, length, frameLength, true);
  if (frameLength == 0) return;  // too long for the length field
  ZarnSend(peer, data, length, frameLength, false);
}

void ClassEConnect::SendPingData(uint8_t peer, bool request) {
  if (transport_ == ENET_NONE || own_ < 0) return;
  SendRaw(request ? kNetPingRequest : kNetPingReply, 10, hosting_ ? peer : 0);
  if (request) {
    pingStamp_ = ClassERTimer::Count();
    pingState_ = 2;
  }
}

uint32_t ClassEConnect::GetPingTime() {
  if (pingState_ != 2) return 0;
  pingState_ = 0;
  return (ClassERTimer::Count() - pingStamp_) / 2;
}

void ClassEConnect::Drain(uint32_t q, int32_t socket) {
  // What still waits goes out first, then the socket is shut down for sending
  // and read until the peer closes; one deadline bounds it all, so a peer that
  // neither reads, sends nor closes cannot stall the frame loop.
  const uint32_t start = NowMs();
  auto left = [&] { return kNetDrainTimeout - static_cast<int32_t>(NowMs() - start); };
  if (q <= kOwnQueue) {
    Flush(q);
    while (!broken_[q] && out_[q].Pending() != 0 && left() > 0 &&
           WaitFor(socket, POLLOUT, left()) > 0)
      Flush(q);
  }
  shutdown(socket, SHUT_WR);
  for (int i = 0; i < 1024; i++) {
    if (left() <= 0 || WaitFor(socket, POLLIN, left()) <= 0) break;
    const ssize_t n = recv(socket, buffer_, sizeof buffer_, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) break;
  }
}

void ClassEConnect::CloseSocket(int32_t& socket) {
  if (socket < 0) return;
  const int32_t q = QueueOf(socket);
  Drain(q < 0 ? kOwnQueue + 1 : static_cast<uint32_t>(q), socket);
  close(socket);
  socket = -1;
  if (q >= 0) FreeQueue(static_cast<uint32_t>(q));
}

void ClassEConnect::Disconnect(uint8_t peer) {
  if (transport_ != ENET_TCPIP && transport_ != ENET_WIRELESS) return;
  if (peer >= 1 && peer <= kNetMaxPeers) {
    if (!hosting_) return;
    CloseSocket(peers_[peer - 1]);
    FreeQueue(peer - 1u);
    return;
  }
  if (peer != 0) return;
  if (hosting_)
    for (uint32_t k = 1; k <= kNetMaxPeers; k++) Disconnect(static_cast<uint8_t>(k));
  if (own_ >= 0) {
    if (hosting_) {
      close(own_);  // a listening socket has nothing to drain
      own_ = -1;
    } else {
      CloseSocket(own_);
    }
    FreeQueue(kOwnQueue);
    if (request_) ClassEMemory::DeAlloc(request_);
    request_ = nullptr;
    requestLength_ = 0;
  }
}

void ClassEConnect::AttachNetCapture(ClassENetCapture* capture) {
  if (capture_) capture_->connection = nullptr;
  capture_ = capture;
  if (capture_) capture_->connection = this;
}

void ClassEConnect::DetachNetCapture() {
  if (capture_) capture_->connection = nullptr;
  capture_ = nullptr;
}

void ClassEConnect::OnDeviceFound(const uint8_t* record, bool done) {
  if (done) {
    CallNetMessage(0, ENET_SEARCHDONE, 0, nullptr);
    return;
  }
  uint8_t copy[72];
  std::memcpy(copy, record, sizeof copy);
  CallNetMessage(0, ENET_DEVICEFOUND, 72, copy);
}

void ClassEConnect::IPAtoA(char* out, uint32_t address) {
  char* p = out;
  for (int shift = 24; shift >= 0; shift -= 8) {
    uint32_t v = (address >> shift) & 0xFFu;
    char digits[3];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v);
    while (n) *p++ = digits[--n];
    if (shift) *p++ = '.';
  }
  *p = 0;
}

uint32_t ClassEConnect::AtoIPA(const char* text) {
  uint32_t value = 0, number = 0, dots = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) {
    if (*p >= '0' && *p <= '9') {
      number = number * 10u + (*p - '0');
    } else if (*p == '.') {
      if (++dots > 3) return 0xFFFFFFFFu;
      value = value << 8 | (number & 0xFFu);
      number = 0;
    } else {
      return 0xFFFFFFFFu;
    }
  }
  return value << 8 | (number & 0xFFu);
}
