// The connection over real sockets on 127.0.0.1: hosting, joining, events,
// framed sends, pings, closing, and peers that misbehave.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/emod_connect.h"
#include "tests/net/net_support.h"
#include "tests/support/harness.h"

namespace {

using nt::Bytes;
using nt::Recorder;

// A connection with its recorder; hosts on 127.0.0.1 through the host seam.
struct Node {
  Recorder rec;
  ClassEConnect c;
  explicit Node(uint8_t id = 0) {
    setenv("ZARN_NET_HOST", "127.0.0.1", 1);
    c.SetConnectID(id);
    EXPECT_EQ(c.Init(ENET_TCPIP, &rec), 0);
  }
  int Host(uint16_t port) { return c.SearchHost(nullptr, port); }
  int Join(uint16_t port, const char* address = "127.0.0.1") { return c.SearchHost(address, port); }
};

// Frames out of the data a recorder got from one peer.
std::vector<Bytes> Messages(const Recorder& r, int32_t peer) {
  ENetStack s;
  s.Alloc(65536);
  const Bytes d = r.DataOf(peer);
  s.Push(d.data(), static_cast<uint32_t>(d.size()));
  std::vector<Bytes> out;
  while (s.Peek() > 0) {
    Bytes b(s.Peek());
    uint32_t n = static_cast<uint32_t>(b.size());
    s.Pop(b.data(), n);
    out.push_back(b);
  }
  return out;
}

TEST(Connect, SetupResults) {
  Recorder r;
  ClassEConnect c;
  EXPECT_EQ(c.SearchHost(nullptr, nt::TestPort()), 0);  // no transport
  EXPECT_EQ(c.Init(0, &r), 3);
  EXPECT_EQ(c.Init(3, &r), 3);
  EXPECT_EQ(c.Init(ENET_TCPIP, nullptr), 4);
  c.SetConnectID(20);
  EXPECT_EQ(c.GetConnectID(), 15);
  // Wireless is declared but absent: every start fails, nothing is raised.
  ASSERT_EQ(c.Init(ENET_WIRELESS, &r), 0);
  EXPECT_EQ(c.SearchHost(nullptr, 0), 0);
  EXPECT_EQ(c.CreateSocket(), -1);
  ASSERT_EQ(c.Init(ENET_TCPIP, &r), 0);
  // Nobody listens there; a name that cannot resolve.
  EXPECT_EQ(c.SearchHost("127.0.0.1", nt::TestPort(9)), 0);
  EXPECT_EQ(c.SearchHost("no-such-host.invalid", nt::TestPort()), 0);
  EXPECT_TRUE(r.events.empty());
  EXPECT_EQ(c.OwnSocket(), -1);
}

TEST(Connect, Addresses) {
  struct Case {
    const char* text;
    uint32_t value;
  } cases[] = {
      {"127.0.0.1", 0x7F000001u}, {"192.168.1.20", 0xC0A80114u}, {"300.1.2.3", 0x2C010203u},
      {"10.0.0", 0x000A0000u},    {"1.2.3.4.5", 0xFFFFFFFFu},    {"localhost", 0xFFFFFFFFu},
      {"1.2.3.-4", 0xFFFFFFFFu},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassEConnect::AtoIPA(c.text), c.value) << c.text;
  char out[16];
  ClassEConnect::IPAtoA(out, 0xC0A80005u);
  EXPECT_STREQ(out, "192.168.0.5");
  ClassEConnect::IPAtoA(out, 0);
  EXPECT_STREQ(out, "0.0.0.0");
}

TEST(Connect, HostJoinSendAndEvents) {
  const uint16_t port = nt::TestPort(1);
  Node host(3);
  ASSERT_EQ(host.Host(port), 1);
  ASSERT_EQ(host.rec.events.size(), 1u);
  EXPECT_EQ(host.rec.events[0].event, ENET_HOSTING);
  EXPECT_EQ(std::string(host.rec.events[0].data.begin(), host.rec.events[0].data.end()), "127.0.0.1");
  EXPECT_EQ(host.rec.lastConnection, 3);
  // Hosting alone raises nothing more.
  for (int i = 0; i < 5; i++) host.c.CheckSockets(nullptr);
  EXPECT_EQ(host.rec.events.size(), 1u);

  std::vector<std::unique_ptr<Node>> clients;
  for (int i = 0; i < 3; i++) {
    clients.emplace_back(new Node());
    ASSERT_EQ(clients.back()->Join(port), 1);
    EXPECT_EQ(clients.back()->rec.events.at(0).event, ENET_CONNECTED);
    ASSERT_TRUE(nt::PollUntil({&host.c}, [&] { return host.rec.Count(ENET_PEERADDED) == size_t(i + 1); }));
    EXPECT_EQ(host.rec.events.back().peer, i + 1);
    EXPECT_EQ(std::string(host.rec.events.back().data.begin(), host.rec.events.back().data.end()),
              "127.0.0.1");
  }
  std::vector<ClassEConnect*> all{&host.c};
  for (auto& n : clients) all.push_back(&n->c);

  // Client to host (the peer number a client gives is ignored), host to one
  // peer, host to every peer, host to a free slot.
  const Bytes m1{0x0B, 0x02, 0x04, 0x00}, m2(300, 0xFF), m3{0x01, 0xFF, 0xFB};
  clients[1]->c.Send(m1.data(), 4, 5);
  host.c.Send(m2.data(), 300, 3);
  host.c.Send(m3.data(), 3, 0);
  host.c.Send(m1.data(), 4, 5);
  host.c.Send(m1.data(), 4, 17);
  ASSERT_TRUE(nt::PollUntil(all, [&] {
    return Messages(host.rec, 2).size() == 1 && Messages(clients[2]->rec, 0).size() == 2 &&
           Messages(clients[0]->rec, 0).size() == 1;
  }));
  EXPECT_EQ(Messages(host.rec, 2), std::vector<Bytes>{m1});
  EXPECT_EQ(Messages(clients[0]->rec, 0), std::vector<Bytes>{m3});
  EXPECT_EQ(Messages(clients[1]->rec, 0), std::vector<Bytes>{m3});
  EXPECT_EQ(Messages(clients[2]->rec, 0), (std::vector<Bytes>{m2, m3}));

  // Peer 2 leaves: only peer 2 closes; the next console gets number 2.
  clients[1]->c.Cleanup();
  ASSERT_TRUE(nt::PollUntil(all, [&] { return host.rec.Count(ENET_CLOSED) == 1; }));
  EXPECT_EQ(host.rec.Count(ENET_CLOSED, 2), 1u);
  EXPECT_FALSE(host.c.PeerUsed(2));
  Node late;
  ASSERT_EQ(late.Join(port), 1);
  ASSERT_TRUE(nt::PollUntil({&host.c}, [&] { return host.rec.Count(ENET_PEERADDED) == 4; }));
  EXPECT_EQ(host.rec.events.back().peer, 2);

  // The host goes away: what it sent last still arrives, then each client
  // gets ENET_CLOSED with peer 0.
  host.c.Send(m1.data(), 4, 0);
  host.c.Cleanup();
  std::vector<ClassEConnect*> rest{&clients[0]->c, &clients[2]->c, &late.c};
  ASSERT_TRUE(nt::PollUntil(rest, [&] {
    return clients[0]->rec.Count(ENET_CLOSED) == 1 && clients[2]->rec.Count(ENET_CLOSED) == 1 &&
           late.rec.Count(ENET_CLOSED) == 1;
  }));
  EXPECT_EQ(clients[0]->rec.events.back().peer, 0);
  EXPECT_EQ(Messages(late.rec, 0), std::vector<Bytes>{m1});
  EXPECT_EQ(clients[0]->c.OwnSocket(), -1);
}

TEST(Connect, SeventeenthIsRefusedAndSeesIt) {
  const uint16_t port = nt::TestPort(2);
  Node host;
  ASSERT_EQ(host.Host(port), 1);
  std::vector<int> raw;
  for (int i = 0; i < 16; i++) {
    raw.push_back(zt::LoopbackConnect(port));
    ASSERT_GE(raw.back(), 0);
    ASSERT_TRUE(nt::PollUntil({&host.c}, [&] { return host.rec.Count(ENET_PEERADDED) == size_t(i + 1); }));
  }
  // A console joining a full host is told at once: its connection closes.
  Node late;
  ASSERT_EQ(late.Join(port), 1);
  ASSERT_TRUE(nt::PollUntil({&host.c, &late.c}, [&] { return late.rec.Count(ENET_CLOSED) == 1; }));
  EXPECT_EQ(late.c.OwnSocket(), -1);
  EXPECT_EQ(host.rec.Count(ENET_PEERADDED), 16u);
  EXPECT_EQ(host.rec.Count(ENET_CLOSED), 0u);
  // A slot frees: the next console gets that number and stays.
  close(raw[4]);
  ASSERT_TRUE(nt::PollUntil({&host.c}, [&] { return host.rec.Count(ENET_CLOSED, 5) == 1; }));
  ASSERT_EQ(late.Join(port), 1);
  ASSERT_TRUE(nt::PollUntil({&host.c}, [&] { return host.rec.Count(ENET_PEERADDED) == 17; }));
  EXPECT_EQ(host.rec.events.back().peer, 5);
  host.c.Send("\x01", 1, 5);
  ASSERT_TRUE(nt::PollUntil({&late.c}, [&] { return Messages(late.rec, 0).size() == 1; }));
  EXPECT_EQ(late.rec.Count(ENET_CLOSED), 1u);
  for (size_t i = 0; i < raw.size(); i++)
    if (i != 4) close(raw[i]);
}

TEST(Connect, StalledPeerKeepsItsLinkAndEveryByte) {
  // A peer that stops reading for a while: what the socket cannot take waits
  // and goes out once it reads again; the link stays, and what the peer sent
  // meanwhile reaches the host.
  const uint16_t port = nt::TestPort(24);
  Node host;
  ASSERT_EQ(host.Host(port), 1);
  const int peer = nt::LoopbackConnect(port, 4096);
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(nt::PollUntil({&host.c}, [&] { return host.rec.Count(ENET_PEERADDED) == 1; }));
  // Frames of 1000 bytes until the system buffers are full, then a few more.
  Bytes expect;
  int extra = 5;
  for (int i = 0; i < 1000 && extra > 0; i++) {
    const Bytes m(1000, static_cast<uint8_t>(i));
    host.c.Send(m.data(), 1000, 1);
    const Bytes f = nt::Frame(m);
    expect.insert(expect.end(), f.begin(), f.end());
    if (host.c.Unsent(1) > 0) extra--;
  }
  ASSERT_EQ(extra, 0);
  const Bytes hello{0x0B, 0x02, 0x04, 0x00};
  const Bytes f = nt::Frame(hello);
  ASSERT_EQ(send(peer, f.data(), f.size(), 0), static_cast<ssize_t>(f.size()));
  ASSERT_TRUE(nt::PollUntil({&host.c}, [&] { return Messages(host.rec, 1).size() == 1; }));
  EXPECT_EQ(Messages(host.rec, 1), std::vector<Bytes>{hello});
  EXPECT_TRUE(host.c.PeerUsed(1));
  // The peer reads again; the host's polls send the rest.
  Bytes got;
  const uint32_t start = nt::NowMs();
  while (got.size() < expect.size() && nt::NowMs() - start < 60000) {
    host.c.CheckSockets(nullptr);
    uint8_t buffer[4096];
    const ssize_t n = recv(peer, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) got.insert(got.end(), buffer, buffer + n);
    if (n == 0) break;
    if (n < 0) usleep(1000);
  }
  EXPECT_TRUE(got == expect) << got.size() << " of " << expect.size() << " bytes";
  EXPECT_EQ(host.c.Unsent(1), 0u);
  EXPECT_EQ(host.rec.Count(ENET_CLOSED), 0u);
  close(peer);
}

TEST(Connect, PingsAndCapture) {
  const uint16_t port = nt::TestPort(3);
  Node host, client;
  ASSERT_EQ(host.Host(port), 1);
  ASSERT_EQ(client.Join(port), 1);
  ASSERT_TRUE(nt::PollUntil({&host.c}, [&] { return host.rec.Count(ENET_PEERADDED) == 1; }));
  EXPECT_EQ(client.c.GetPingTime(), 0u);
  client.c.RequestPing(0);
  EXPECT_EQ(client.c.PingState(), 2);
  ASSERT_TRUE(nt::PollUntil({&host.c}, [&] { return host.rec.DataOf(1).size() == 10; }));
  EXPECT_EQ(host.rec.DataOf(1), Bytes(kNetPingRequest, kNetPingRequest + 10));
  host.c.RespondPing(1);
  ASSERT_TRUE(nt::PollUntil({&client.c}, [&] { return client.rec.DataOf(0).size() == 10; }));
  EXPECT_EQ(client.rec.DataOf(0), Bytes(kNetPingReply, kNetPingReply + 10));
  client.c.GetPingTime();
  EXPECT_EQ(client.c.PingState(), 0);
  EXPECT_EQ(client.c.GetPingTime(), 0u);

  // A capture takes the events in place of the owner.
  struct Capture : ClassENetCapture {
    std::vector<int32_t> seen;
    void OnNetEvent(int32_t, int32_t event, int32_t, uint8_t*) override { seen.push_back(event); }
  } cap, other;
  host.c.AttachNetCapture(&cap);
  EXPECT_EQ(cap.connection, &host.c);
  host.c.AttachNetCapture(&other);
  EXPECT_EQ(cap.connection, nullptr);
  const size_t before = host.rec.events.size();
  client.c.Send("\x01", 1, 0);
  ASSERT_TRUE(nt::PollUntil({&host.c}, [&] { return !other.seen.empty(); }));
  EXPECT_EQ(other.seen[0], ENET_DATA);
  EXPECT_EQ(host.rec.events.size(), before);
  host.c.DetachNetCapture();
  EXPECT_EQ(other.connection, nullptr);
}

TEST(Connect, RehostAtOnceAndCloseInsideEvents) {
  const uint16_t port = nt::TestPort(4);
  for (int round = 0; round < 3; round++) {
    Node host, client;
    ASSERT_EQ(host.Host(port), 1) << round;  // the old port is reused at once
    ASSERT_EQ(client.Join(port), 1);
    ASSERT_TRUE(nt::PollUntil({&host.c}, [&] { return host.rec.Count(ENET_PEERADDED) == 1; }));
    client.c.Send("\x05\x06", 2, 0);
    // The host's handler closes everything from inside the data event.
    host.rec.react = [](Recorder& r, const nt::Event& e) {
      if (e.event == ENET_DATA) static_cast<ClassEConnect*>(r.user)->Cleanup();
    };
    host.rec.user = &host.c;
    ASSERT_TRUE(nt::PollUntil({&host.c, &client.c}, [&] { return client.rec.Count(ENET_CLOSED) == 1; }));
    EXPECT_EQ(host.c.Transport(), ENET_NONE);
  }
}

TEST(Connect, PeersThatMisbehaveNeverStallTheLoop) {
  const uint16_t port = nt::TestPort(5);
  Node host;
  ASSERT_EQ(host.Host(port), 1);
  const int silent = zt::LoopbackConnect(port);  // never reads, never closes
  const int gone = zt::LoopbackConnect(port);    // closes at once
  ASSERT_GE(silent, 0);
  ASSERT_GE(gone, 0);
  ASSERT_TRUE(nt::PollUntil({&host.c}, [&] { return host.rec.Count(ENET_PEERADDED) == 2; }));
  close(gone);
  // Flood both: sends never block for long and never raise SIGPIPE; the silent
  // peer is dropped once its buffers are full, the closed one when seen.
  const Bytes block(4000, 0x33);
  uint32_t worst = 0;
  for (int frame = 0; frame < 2000 && host.rec.Count(ENET_CLOSED) < 2; frame++) {
    const uint32_t t0 = nt::NowMs();
    for (int k = 0; k < 8; k++) host.c.Send(block.data(), 4000, 0);
    host.c.CheckSockets(nullptr);
    worst = std::max(worst, nt::NowMs() - t0);
  }
  EXPECT_EQ(host.rec.Count(ENET_CLOSED, 1), 1u);
  EXPECT_EQ(host.rec.Count(ENET_CLOSED, 2), 1u);
  EXPECT_LT(worst, 1500u);  // a hang, not a slow machine
  close(silent);

  // Closing a peer that neither sends nor closes is bounded by the drain deadline.
  const int quiet = zt::LoopbackConnect(port);
  ASSERT_TRUE(nt::PollUntil({&host.c}, [&] { return host.rec.Count(ENET_PEERADDED) == 3; }));
  const uint32_t t0 = nt::NowMs();
  host.c.Disconnect(static_cast<uint8_t>(host.rec.events.back().peer));
  EXPECT_LT(nt::NowMs() - t0, static_cast<uint32_t>(kNetDrainTimeout) + 1000);
  close(quiet);
}

TEST(Connect, PeerThatStopsReadingIsGivenUpSoon) {
  // A peer that keeps its connection (it could go on sending keep-alives) but
  // never reads is found out after a bounded backlog, not after the megabytes a
  // kernel would buffer for it by itself.
  const uint16_t port = nt::TestPort(25);
  Node host;
  ASSERT_EQ(host.Host(port), 1);
  const int silent = zt::LoopbackConnect(port);
  ASSERT_GE(silent, 0);
  ASSERT_TRUE(nt::PollUntil({&host.c}, [&] { return host.rec.Count(ENET_PEERADDED) == 1; }));
  const Bytes grid(92, 0x21);  // a grid packet's worth, as the host relays them
  uint32_t sent = 0;
  const uint32_t start = nt::NowMs();
  while (host.rec.Count(ENET_CLOSED) == 0 && sent < (8u << 20) && nt::NowMs() - start < 20000) {
    for (int k = 0; k < 10; k++) host.c.Send(grid.data(), 92, 1);
    sent += 10 * 100;
    host.c.CheckSockets(nullptr);
  }
  EXPECT_EQ(host.rec.Count(ENET_CLOSED, 1), 1u);
  EXPECT_LT(sent, 1u << 20) << "bytes queued for a peer that never reads";
  close(silent);
}

}  // namespace
