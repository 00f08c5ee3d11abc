// One network connection over TCP on IPv4: a host that accepts up to 16 peers,
// or a client joined to one host. Everything runs on the main thread: the frame
// loop calls CheckSockets once per frame, which delivers events to the owner.
//
// Sockets are non-blocking. What a socket cannot take at once waits in a
// bounded queue of its own and goes out as the socket drains, on later sends and
// polls; a connection is given up only on a send error or when its queue would
// pass its bound. The connect and the drain when closing are bounded by
// deadlines, so no peer can freeze the frame loop; writes to a closed peer never
// raise SIGPIPE.
//
// The host's own address comes from the system's host name; ZARN_NET_HOST (a
// dotted address or a name) replaces that name, which is how tests host on
// 127.0.0.1.
#ifndef ZARN_NET_EMOD_CONNECT_H
#define ZARN_NET_EMOD_CONNECT_H

#include <cstdint>
#include <string>

#include "net/enet_events.h"
#include "net/enet_stack.h"

class EHTTPRequest;

constexpr uint32_t kNetMaxPeers = 16;
constexpr uint32_t kNetBufferSize = 1024;
// Deadlines in milliseconds of real time.
constexpr int kNetConnectTimeout = 3000;
constexpr int kNetDrainTimeout = 100;
// Send buffer of each accepted peer (the kernel doubles it). The game sends a
// peer a few hundred bytes a second; a peer that keeps its connection but stops
// reading must be found out within seconds, not after megabytes of buffering.
constexpr int kNetPeerSendBuffer = 16384;
// Bytes that may wait for one socket beyond what the system buffers. With the
// peer's send buffer that is over a minute of the game's traffic, so a stall
// never costs a peer, while one that never reads is found out within seconds
// of a busy game, in bounded memory. A request handed over whole (HTTP) may be
// larger; its block is freed once it has gone out.
constexpr uint32_t kNetSendQueue = 16384;

// Transports.
enum { ENET_NONE = 0, ENET_TCPIP = 1, ENET_WIRELESS = 2 };

class ClassEConnect {
 public:
  ClassEConnect();
  virtual ~ClassEConnect();
  ClassEConnect(const ClassEConnect&) = delete;
  ClassEConnect& operator=(const ClassEConnect&) = delete;

  void SetConnectID(uint8_t id) { id_ = id > 15 ? 15 : id; }
  uint8_t GetConnectID() const { return id_; }

  // 0, 3 for an unknown transport, 4 without an owner.
  int Init(uint16_t transport, ENetOwner* owner);
  // Hosts (address null) or joins; 1 when started, 0 on failure.
  int SearchHost(const char* address, uint32_t port);
  // 0 on success, 1 on failure.
  int Startup(bool host, const char* text, uint32_t port, void* window, bool addressGiven);
  void CheckSockets(void* window);
  void SocketMessage(int32_t socket, void* window, bool receive);
  void OnAsync(void* window, int32_t socket, int32_t kind);
  void CallNetMessage(int32_t peer, int32_t event, int32_t length, uint8_t* data);

  void Send(const void* data, int32_t length, uint8_t peer);
  void ZarnSend(uint8_t target, const void* data, int32_t length, int32_t& frameLength,
                bool measure);
  void SendRaw(const void* data, int32_t length, uint8_t peer);
  void RespondPing(uint8_t peer) { SendPingData(peer, false); }
  void RequestPing(uint8_t peer) { SendPingData(peer, true); }
  void SendPingData(uint8_t peer, bool request);
  uint32_t GetPingTime();

  void Disconnect(uint8_t peer);
  void ReleaseConnection() { established_ = 0; }
  int EstablishConnection() {
    established_ = 1;
    return 0;
  }
  void Cleanup();
  void AttachNetCapture(ClassENetCapture* capture);
  void DetachNetCapture();
  int32_t CreateSocket();
  void CloseSocket(int32_t& socket);

  // Wireless transport: declared, not present on this platform.
  void OnDeviceFound(const uint8_t* record, bool done);
  int SearchWireless() { return 0; }
  void StopWirelessSearch() {}
  static const char* BTAtoA(const char* text) { return text; }
  static uint32_t AtoBTA(const char*) { return 0; }

  static void IPAtoA(char* out, uint32_t address);
  static uint32_t AtoIPA(const char* text);

  // HTTP client (emod_http.cpp). 1 when the host was reached and the request
  // handed over, 0 when it could not be built, looked up or connected (the
  // request is then dropped, never sent anywhere else).
  int SendHTTPGet(EHTTPRequest* request);
  int SendHTTPPost(EHTTPRequest* request);
  int SendHTTPPostMultipart(EHTTPRequest* request);
  int SendHTTPGet(const char* url, bool flag);
  int SendHTTPPost(const char* url, bool flag);
  // Whether the last request went out whole; false while part of it still waits
  // for the socket, and for good once the connection was lost before it did.
  bool RequestSent() const { return requestLeft_ == 0; }
  static void SplitURL(const char* url, char* host, char* path, uint32_t max);
  static void UrlEncode(char* out, const char* text);
  static void UrlDecode(char* out, const char* text);
  static void Base64Encode(char* out, const char* text);
  static void Base64Decode(char* out, const char* text);
  static void GenerateBoundary(char* out, uint32_t length);
  static void ExpandString(char* buffer, uint32_t& position, const char* text);

  // State, for the application and for tests.
  uint16_t Transport() const { return transport_; }
  bool Hosting() const { return hosting_ != 0; }
  bool Established() const { return established_ != 0; }
  bool PeerUsed(uint32_t peer) const {
    return peer >= 1 && peer <= kNetMaxPeers && peers_[peer - 1] >= 0;
  }
  int32_t OwnSocket() const { return own_; }
  uint8_t PingState() const { return pingState_; }
  // Bytes waiting to go to a peer (1 to 16) or, with 0, to the host.
  uint32_t Unsent(uint32_t peer) const;

 private:
  // Stores a request text to send raw once joined, then joins the host.
  int StartRequest(const EHTTPRequest* request, const std::string& text);
  int32_t SlotOf(int32_t socket) const;

  // Outgoing bytes of one socket: queue k < 16 is peer slot k, kOwnQueue the
  // connection to the host.
  struct OutQueue {
    uint8_t* data = nullptr;
    uint32_t start = 0, end = 0, capacity = 0;
    uint32_t Pending() const { return end - start; }
  };
  static constexpr uint32_t kOwnQueue = kNetMaxPeers;
  int32_t& SocketOf(uint32_t q) { return q == kOwnQueue ? own_ : peers_[q]; }
  int32_t QueueOf(int32_t socket) const;
  // Sends what the socket takes now and queues the rest behind what waits.
  void Write(uint32_t q, const uint8_t* data, uint32_t length);
  // Sends as much as the socket takes; the count sent. An error breaks the queue.
  uint32_t Transmit(uint32_t q, const uint8_t* data, uint32_t length);
  void Flush(uint32_t q);
  bool Enqueue(uint32_t q, const uint8_t* data, uint32_t length);
  // Takes a whole block (allocated with ClassEMemory) to send in place of a copy.
  void Adopt(uint32_t q, uint8_t* block, uint32_t length);
  void Broken(uint32_t q);
  void FreeQueue(uint32_t q);
  // What the peer sent still reaches the application, then the link closes.
  void CloseAfterReading(uint32_t q);
  // Flushes what waits, shuts down for sending and reads until the peer
  // closes, all within one deadline; then closes the socket.
  void Drain(uint32_t q, int32_t socket);

  int32_t peers_[kNetMaxPeers];
  int32_t own_ = -1;
  uint32_t address_ = 0;  // network order
  uint16_t port_ = 0;     // host order
  uint32_t entry_ = 0;    // first address of the last lookup, network order
  uint8_t hasEntry_ = 0;
  uint8_t buffer_[kNetBufferSize];
  ENetOwner* owner_ = nullptr;
  ClassENetCapture* capture_ = nullptr;
  uint8_t id_ = 0;
  char* request_ = nullptr;
  int32_t requestLength_ = 0;
  uint32_t pingStamp_ = 0;
  uint16_t transport_ = 0;
  uint8_t pingState_ = 0;
  uint8_t hosting_ = 0;
  uint8_t established_ = 0;
  OutQueue out_[kNetMaxPeers + 1];
  // A send failed or a queue passed its bound: closed at the next poll.
  uint8_t broken_[kNetMaxPeers + 1];
  // The last request: bytes queued ahead of it, and its bytes not yet sent.
  uint32_t requestAhead_ = 0;
  uint32_t requestLeft_ = 0;
  uint8_t requestLive_ = 0;  // the request is in the queue to the host
};

#endif
