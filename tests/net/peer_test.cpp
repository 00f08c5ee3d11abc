// The connection against peers written in Python from the protocol tables: one
// that echoes frames (each side decodes what the other wrote), and hostile ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "net/emod_connect.h"
#include "tests/net/net_support.h"
#include "tests/support/harness.h"

namespace {

using nt::Bytes;

std::string PeerScript() { return std::string(ZARN_SOURCE_DIR) + "/tests/net/peer.py"; }

// Receives like the game does: every data event into the peer's own queue, then
// messages out while whole ones are there; too large ones are dropped. The bytes
// go in pieces of at most a quarter of the queue, taking messages out after
// each, so what comes out does not hang on how the stream was cut into events.
struct Receiver : ENetOwner {
  ENetStack stacks[kNetMaxPeers + 1];
  std::vector<Bytes> messages[kNetMaxPeers + 1];
  std::vector<int> kinds[kNetMaxPeers + 1];
  int32_t lastAdded = 0;
  size_t closed = 0;
  explicit Receiver(uint32_t size) {
    for (auto& s : stacks) s.Alloc(size);
  }
  void OnNetMessage(uint8_t, int32_t peer, int32_t event, int32_t length, uint8_t* data) override {
    if (peer < 0 || peer > static_cast<int32_t>(kNetMaxPeers)) return;
    if (event == ENET_PEERADDED) {
      stacks[peer].Clear();
      lastAdded = peer;
    }
    if (event == ENET_CLOSED) closed++;
    if (event != ENET_DATA) return;
    ENetStack& s = stacks[peer];
    const uint32_t piece = s.Capacity() / 4;
    for (uint32_t at = 0; at < static_cast<uint32_t>(length); at += piece) {
      const uint32_t n = std::min(piece, static_cast<uint32_t>(length) - at);
      EXPECT_EQ(s.Push(data + at, n), 1);
      TakeMessages(peer);
    }
  }
  void TakeMessages(int32_t peer) {
    ENetStack& s = stacks[peer];
    for (int guard = 0; guard < 64 && s.Peek() > 0; guard++) {
      uint8_t buffer[1024];
      uint32_t n = sizeof buffer;
      const int r = s.Pop(buffer, n);
      if (r == ENETPOP_SMALL) {
        s.Drop();
        continue;
      }
      messages[peer].push_back(Bytes(buffer, buffer + n));
      kinds[peer].push_back(r);
    }
  }
};

TEST(Peer, PythonDecodesOurFramesAndWeDecodeItsFrames) {
  if (!nt::HavePython()) GTEST_SKIP() << "python3 missing";
  setenv("ZARN_NET_HOST", "127.0.0.1", 1);
  const uint16_t port = nt::TestPort(6);
  Receiver r(8192);
  ClassEConnect host;
  ASSERT_EQ(host.Init(ENET_TCPIP, &r), 0);
  ASSERT_EQ(host.SearchHost(nullptr, port), 1);
  nt::Child echo(PeerScript() + " echo " + std::to_string(port));
  ASSERT_TRUE(nt::PollUntil({&host}, [&] { return r.lastAdded == 1; }, 60000));

  std::vector<Bytes> sent = {Bytes{0x0B, 0x02, 0x04, 0x00}, Bytes(300, 0xFF), Bytes{0xFF},
                             Bytes{0xFF, 0xFC}, Bytes{0x00, 0xFF, 0xFB, 0xFF, 0xFA}};
  Bytes mixed(1000);
  for (size_t i = 0; i < mixed.size(); i++) mixed[i] = static_cast<uint8_t>(i % 7 ? i * 37 : 0xFF);
  sent.push_back(mixed);
  sent.push_back(Bytes{'b', 'y', 'e'});
  for (const Bytes& b : sent) host.Send(b.data(), static_cast<int32_t>(b.size()), 1);
  ASSERT_TRUE(nt::PollUntil({&host}, [&] { return r.messages[1].size() == sent.size(); }, 60000));
  EXPECT_EQ(r.messages[1], sent);
  EXPECT_EQ(r.kinds[1][3], ENETPOP_PINGREQUEST);  // FF FC is a ping however it is framed
  EXPECT_EQ(echo.Wait(), 0);
}

TEST(Peer, HostileAndSilentPeersLeaveTheHostRunning) {
  if (!nt::HavePython()) GTEST_SKIP() << "python3 missing";
  setenv("ZARN_NET_HOST", "127.0.0.1", 1);
  const uint16_t port = nt::TestPort(7);
  for (uint32_t size : {256u, 8192u}) {
    Receiver r(size);
    ClassEConnect host;
    ASSERT_EQ(host.Init(ENET_TCPIP, &r), 0);
    ASSERT_EQ(host.SearchHost(nullptr, port), 1);
    nt::Child silent(PeerScript() + " silent " + std::to_string(port) + " 120");
    ASSERT_TRUE(nt::PollUntil({&host}, [&] { return r.lastAdded == 1; }, 60000));
    std::vector<nt::Child> hostile;
    for (int i = 0; i < 3; i++)
      hostile.emplace_back(PeerScript() + " hostile " + std::to_string(port) + " " +
                           std::to_string(i + static_cast<int>(size)));
    // All in before the flood: a silent peer given up early frees slot 1 for
    // a hostile one, which must not inherit the silent one's flood.
    ASSERT_TRUE(nt::PollUntil({&host}, [&] { return r.lastAdded == 4; }, 60000));
    // The frame loop: poll, feed the silent peer more than it will ever read.
    const Bytes block(2000, 0x21);
    uint32_t worst = 0;
    const uint32_t start = nt::NowMs();
    auto ended = [&] {
      int n = 0;
      for (uint32_t p = 2; p <= 4; p++)
        for (const Bytes& m : r.messages[p]) n += m == Bytes{'e', 'n', 'd'};
      return n;
    };
    while (nt::NowMs() - start < 60000 && (ended() < 3 || host.PeerUsed(1))) {
      const uint32_t t0 = nt::NowMs();
      host.CheckSockets(nullptr);
      host.Send(block.data(), 2000, 1);
      host.Send("\x0B\x02\x04\x00", 4, 0);
      worst = std::max(worst, nt::NowMs() - t0);
      usleep(1000);
    }
    EXPECT_EQ(ended(), 3) << size;
    EXPECT_FALSE(host.PeerUsed(1)) << "the silent peer is dropped";
    EXPECT_LT(worst, 1500u) << size;  // a hang, not a slow machine
    // Every good frame the hostile peers sent came out, nothing longer than the
    // receiver's buffer, and only whole payloads.
    for (uint32_t p = 2; p <= 4; p++) {
      bool sawPacket = false;
      for (const Bytes& m : r.messages[p]) {
        EXPECT_LE(m.size(), 1024u);
        sawPacket |= m == Bytes{11, 7, 8, 0, 1, 2, 3, 4};
      }
      EXPECT_TRUE(sawPacket) << p;
    }
    host.Cleanup();
    for (nt::Child& c : hostile) EXPECT_EQ(c.Wait(), 0);
  }
}

}  // namespace
