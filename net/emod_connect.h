// One network connection over TCP on IPv4: a host that accepts up to 16 peers,
// or a client joined to one host. Everything runs on the main thread: the frame
// loop calls CheckSockets once per frame, which delivers events to the owner.
//
// Sockets are non-blocking. A connect, a send to a peer that stops reading and
// the drain when closing are each bounded by a deadline, so no peer can freeze
// the frame loop; writes to a closed peer never raise SIGPIPE.
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
constexpr int kNetSendTimeout = 20;
constexpr int kNetDrainTimeout = 100;
// Send buffer of each accepted peer (the kernel doubles it). The game sends a
// peer a few hundred bytes a second; a peer that keeps its connection but stops
// reading must be found out within seconds, not after megabytes of buffering.
constexpr int kNetPeerSendBuffer = 16384;

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

  // HTTP client (emod_http.cpp).
  void SendHTTPGet(EHTTPRequest* request);
  void SendHTTPPost(EHTTPRequest* request);
  int SendHTTPPostMultipart(EHTTPRequest* request);
  void SendHTTPGet(const char* url, bool flag);
  void SendHTTPPost(const char* url, bool flag);
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

 private:
  // Stores a request text to send raw once joined, then joins the host.
  int StartRequest(const EHTTPRequest* request, const std::string& text);
  int32_t SlotOf(int32_t socket) const;
  void Drain(int32_t socket);
  // Sends everything or marks the target broken; false on failure.
  bool SendAll(int32_t socket, const uint8_t* data, uint32_t length);
  void MarkBroken(int32_t socket);

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
  // A send that could not complete: the peer is closed at the next poll.
  uint8_t broken_[kNetMaxPeers];
  uint8_t ownBroken_ = 0;
};

#endif
