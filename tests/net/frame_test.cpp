// The peer frame protocol at the byte level: frames written, and the receive
// queue's finding, verifying, unescaping and recovery.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "net/enet_stack.h"
#include "tests/net/net_support.h"

namespace {

using nt::Bytes;
using nt::Frame;
using nt::Hex;

// Pops every available frame.
std::vector<Bytes> PopAll(ENetStack& s, std::vector<int>* kinds = nullptr) {
  std::vector<Bytes> out;
  for (int guard = 0; guard < 10000 && s.Peek() > 0; guard++) {
    Bytes buf(s.Peek());
    uint32_t n = static_cast<uint32_t>(buf.size());
    const int r = s.Pop(buf.data(), n);
    EXPECT_GT(r, 0);
    buf.resize(n);
    out.push_back(buf);
    if (kinds) kinds->push_back(r);
  }
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(Frame, WireTable) {
  // Frames worked out by hand from the tables (and by tests/net/frames.py).
  struct Case {
    const char* payload;
    const char* frame;
  } cases[] = {
      {"", "FFFA0800007FFFFB"},
      {"010203", "FFFA0B000102030E79FFFB"},
      {"FF", "FFFA0C00FFFF01FFFC01FFFB"},
      {"00FFFF00", "FFFA0F0000FFFF03FFFF00FC00FFFB"},
      {"FFFC", "FFFA0D00FFFF02FFFCEB04FFFB"},
      {"FFFBFA", "FFFA0E00FFFF03FFFBFAC50AFFFB"},
      {"0B020400", "FFFA0C000B0204001B6EFFFB"},
  };
  for (const Case& c : cases) {
    const Bytes payload = Hex(c.payload);
    EXPECT_EQ(Frame(payload), Hex(c.frame)) << c.payload;
    EXPECT_EQ(ENet_FrameLength(payload.data(), static_cast<uint32_t>(payload.size())),
              Hex(c.frame).size());
  }
  EXPECT_EQ(Bytes(kNetPingRequest, kNetPingRequest + 10), Hex("FFFA0A00FFFCF704FFFB"));
  EXPECT_EQ(Bytes(kNetPingReply, kNetPingReply + 10), Hex("FFFA0A00FFFDF903FFFB"));
}

TEST(Frame, EscapeRuns) {
  // 300 bytes starting with FF: a triple of 255 in front, then another at the
  // first FF after the run, announcing the rest.
  Bytes p(300, 0x11);
  p[0] = 0xFF;
  p[255] = 0xFF;
  p[299] = 0xFF;
  const Bytes f = Frame(p);
  ASSERT_EQ(f.size(), 300u + 8 + 6);
  EXPECT_EQ(Bytes(f.begin() + 4, f.begin() + 8), Hex("FFFFFFFF"));
  EXPECT_EQ(f[6], 255);
  EXPECT_EQ(Bytes(f.begin() + 4 + 3 + 255, f.begin() + 4 + 3 + 255 + 4), Hex("FFFF2DFF"));
  // A run of 600 FF bytes needs triples of 255, 255 and 90.
  const Bytes all(600, 0xFF);
  const Bytes g = Frame(all);
  ASSERT_EQ(g.size(), 600u + 8 + 9);
  EXPECT_EQ(g[6], 255);
  EXPECT_EQ(g[4 + 3 + 255 + 2], 255);
  EXPECT_EQ(g[4 + 6 + 510 + 2], 90);
  // Payloads that would not fit the 16-bit length are refused.
  const Bytes big(65528, 0x00);
  EXPECT_EQ(ENet_FrameLength(big.data(), 65527), 65535u);
  EXPECT_EQ(ENet_FrameLength(big.data(), 65528), 0u);
  const Bytes allff(65000, 0xFF);  // 255 triples push it over
  EXPECT_EQ(ENet_FrameLength(allff.data(), 65000), 0u);
  EXPECT_EQ(ENet_FrameLength(allff.data(), 64000), 64000u + 8 + 3 * 251);
}

TEST(Frame, RoundTripSweep) {
  // Every length to 700 at several FF densities, pushed in random pieces.
  std::mt19937 rng(7);
  ENetStack s;
  ASSERT_EQ(s.Alloc(8192), 1);
  for (int density : {0, 1, 30, 90, 100}) {
    for (uint32_t n = 1; n <= 700; n++) {
      Bytes p(n);
      for (auto& b : p) {
        b = (rng() % 100) < static_cast<uint32_t>(density) ? 0xFF : rng() & 0xFF;
      }
      const Bytes f = Frame(p);
      size_t at = 0;
      while (at < f.size()) {
        const size_t piece = std::min<size_t>(f.size() - at, 1 + rng() % 40);
        ASSERT_EQ(s.Push(f.data() + at, static_cast<uint32_t>(piece)), 1);
        at += piece;
        if (at < f.size()) {
          ASSERT_EQ(s.Peek(), 0u);
        }
      }
      const std::vector<Bytes> got = PopAll(s);
      ASSERT_EQ(got.size(), 1u) << n << " " << density;
      ASSERT_EQ(got[0], p) << n << " " << density;
      ASSERT_EQ(s.Used(), 0u);  // the trailer went with the frame
    }
  }
}

TEST(Stack, QueueBehaviour) {
  const Bytes a = Hex("0102"), b = Hex("FF00FF"), c = Hex("0B07080000");
  const Bytes fa = Frame(a), fb = Frame(b), fc = Frame(c);
  Bytes corrupt = fb;
  corrupt[5] ^= 0x40;
  const Bytes empty = Frame({});
  const Bytes junk = Hex("FFFA03000000FFFAFFFF1234FFFB00");
  struct Case {
    const char* name;
    std::vector<Bytes> pushes;
    std::vector<Bytes> expect;
  } cases[] = {
      {"two frames in one push", {Cat({fa, fb})}, {a, b}},
      {"split in three", {Bytes(fa.begin(), fa.begin() + 3), Bytes(fa.begin() + 3, fa.end() - 1),
                          Bytes(fa.end() - 1, fa.end())}, {a}},
      {"corrupt then good in one push", {Cat({corrupt, fc})}, {c}},
      {"empty frame does not jam", {Cat({empty, fa})}, {a}},
      {"junk around frames", {Cat({junk, fa, junk, fc, junk})}, {a, c}},
      {"ping bodies", {Cat({Bytes(kNetPingRequest, kNetPingRequest + 10), fa,
                            Bytes(kNetPingReply, kNetPingReply + 10)})},
       {Hex("FFFC"), a, Hex("FFFD")}},
      {"truncated frame then a good one", {Cat({Bytes(fb.begin(), fb.end() - 3), fc})}, {c}},
  };
  for (const Case& k : cases) {
    ENetStack s;
    ASSERT_EQ(s.Alloc(256), 1);
    std::vector<Bytes> got;
    for (const Bytes& p : k.pushes) {
      ASSERT_EQ(s.Push(p.data(), static_cast<uint32_t>(p.size())), 1) << k.name;
      for (const Bytes& g : PopAll(s)) got.push_back(g);
    }
    EXPECT_EQ(got, k.expect) << k.name;
  }
}

TEST(Stack, PopResults) {
  ENetStack s;
  uint32_t n = 16;
  uint8_t buf[16];
  // Without storage.
  EXPECT_EQ(s.Push("x", 1), 0);
  EXPECT_EQ(s.Peek(), 0u);
  EXPECT_EQ(s.Pop(buf, n), 1);
  EXPECT_EQ(n, 0u);
  ASSERT_EQ(s.Alloc(128), 1);
  EXPECT_EQ(s.Push(nullptr, 0), 1);
  EXPECT_EQ(s.Push(nullptr, 3), 0);
  // Nothing there: 1, length 0.
  n = 16;
  EXPECT_EQ(s.Pop(buf, n), 1);
  EXPECT_EQ(n, 0u);
  // Ping request, reply, and the escaped FF FC that Send would produce.
  const Bytes sent = Frame(Hex("FFFC"));
  const Bytes all = Cat({Bytes(kNetPingRequest, kNetPingRequest + 10),
                         Bytes(kNetPingReply, kNetPingReply + 10), sent});
  ASSERT_EQ(s.Push(all.data(), static_cast<uint32_t>(all.size())), 1);
  std::vector<int> kinds;
  PopAll(s, &kinds);
  EXPECT_EQ(kinds, (std::vector<int>{ENETPOP_PINGREQUEST, ENETPOP_PINGREPLY, ENETPOP_PINGREQUEST}));
  // A buffer too small leaves the frame; a big enough one takes it.
  const Bytes p(20, 0x42), f = Frame(p);
  ASSERT_EQ(s.Push(f.data(), static_cast<uint32_t>(f.size())), 1);
  n = 16;
  EXPECT_EQ(s.Pop(buf, n), ENETPOP_SMALL);
  EXPECT_EQ(s.Peek(), 20u);
  uint8_t big[20];
  n = 20;
  EXPECT_EQ(s.Pop(big, n), ENETPOP_MESSAGE);
  EXPECT_EQ(Bytes(big, big + 20), p);
  // Drop removes a frame the receiver cannot take, so the next one comes out.
  const Bytes two = Cat({f, Frame(Hex("07"))});
  ASSERT_EQ(s.Push(two.data(), static_cast<uint32_t>(two.size())), 1);
  n = 16;
  EXPECT_EQ(s.Pop(buf, n), ENETPOP_SMALL);
  EXPECT_EQ(s.Drop(), 1);
  n = 16;
  EXPECT_EQ(s.Pop(buf, n), ENETPOP_MESSAGE);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(buf[0], 7);
  EXPECT_EQ(s.Drop(), 0);
}

TEST(Stack, RingRecovery) {
  ENetStack s;
  ASSERT_EQ(s.Alloc(64), 1);
  // Frames wrap around the end of a small ring many times.
  std::mt19937 rng(3);
  for (int i = 0; i < 500; i++) {
    Bytes p(1 + rng() % 20);
    for (auto& b : p) b = rng() & 1 ? 0xFF : rng() & 0xFF;
    const Bytes f = Frame(p);
    ASSERT_EQ(s.Push(f.data(), static_cast<uint32_t>(f.size())), 1);
    const std::vector<Bytes> got = PopAll(s);
    ASSERT_EQ(got, std::vector<Bytes>{p}) << i;
  }
  // A ring filled with junk drops it to take a good frame.
  const Bytes junk(64, 0x5A);
  ASSERT_EQ(s.Push(junk.data(), 64), 1);
  const Bytes f = Frame(Hex("0102"));
  ASSERT_EQ(s.Push(f.data(), static_cast<uint32_t>(f.size())), 1);
  EXPECT_EQ(PopAll(s), std::vector<Bytes>{Hex("0102")});
  // A header that claims more than the ring holds is passed over.
  const Bytes huge = Cat({Hex("FFFA0001"), f});
  ASSERT_EQ(s.Push(huge.data(), static_cast<uint32_t>(huge.size())), 1);
  EXPECT_EQ(PopAll(s), std::vector<Bytes>{Hex("0102")});
  // A bogus header waiting for its length holds the queue only until an end
  // marker shows it invalid; the frame inside its span then comes out.
  const Bytes bogus = Cat({Hex("FFFA3000"), Bytes(20, 0), f});
  ASSERT_EQ(s.Push(bogus.data(), 20), 1);
  EXPECT_EQ(s.Peek(), 0u);
  ASSERT_EQ(s.Push(bogus.data() + 20, static_cast<uint32_t>(bogus.size() - 20)), 1);
  EXPECT_EQ(PopAll(s), std::vector<Bytes>{Hex("0102")});
  // A ring full of headers whose frames can never arrive gives way to new bytes.
  s.Clear();
  Bytes headers;
  for (int i = 0; i < 16; i++) headers.insert(headers.end(), {0xFF, 0xFA, 0x3F, 0x00});
  ASSERT_EQ(s.Push(headers.data(), 64), 1);
  EXPECT_EQ(s.Peek(), 0u);
  ASSERT_EQ(s.Push(f.data(), static_cast<uint32_t>(f.size())), 1);
  EXPECT_EQ(PopAll(s), std::vector<Bytes>{Hex("0102")});
  const Bytes toolong(65, 0);
  EXPECT_EQ(s.Push(toolong.data(), 65), 0);
  // Valid frames nobody pops fill the ring: pushes are refused, all or nothing.
  s.Clear();
  for (int i = 0; i < 6; i++) ASSERT_EQ(s.Push(f.data(), static_cast<uint32_t>(f.size())), 1);
  EXPECT_EQ(s.Push(f.data(), static_cast<uint32_t>(f.size())), 0);
  EXPECT_EQ(s.Used(), 60u);
  EXPECT_EQ(PopAll(s).size(), 6u);
  // Clear forgets what a previous peer left.
  ASSERT_EQ(s.Push(f.data(), 7), 1);
  s.Clear();
  const Bytes rest(f.begin() + 7, f.end());
  ASSERT_EQ(s.Push(rest.data(), static_cast<uint32_t>(rest.size())), 1);
  EXPECT_EQ(s.Peek(), 0u);
}

TEST(Stack, CorruptionSweep) {
  // Flip every bit of a frame in turn: the good frame after it always comes
  // out, and the damaged one only unchanged, except where the checksums are
  // blind by design: bit 7 of an even body byte (weight 2k x 128 = 0 mod 256,
  // and check 2 ignores bit 7).
  const Bytes p = Hex("0B0510FF0001FF02FFFF"), q = Hex("0B0204");
  const Bytes fp = Frame(p), fq = Frame(q);
  for (size_t i = 0; i < fp.size(); i++) {
    for (int bit = 0; bit < 8; bit++) {
      Bytes bad = fp;
      bad[i] ^= static_cast<uint8_t>(1 << bit);
      const Bytes stream = Cat({bad, fq});
      ENetStack s;
      ASSERT_EQ(s.Alloc(256), 1);
      ASSERT_EQ(s.Push(stream.data(), static_cast<uint32_t>(stream.size())), 1);
      const std::vector<Bytes> got = PopAll(s);
      ASSERT_FALSE(got.empty()) << i << ":" << bit;
      EXPECT_EQ(got.back(), q) << i << ":" << bit;
      const bool blind = bit == 7 && i >= 4 && i < fp.size() - 4 && (i - 3) % 2 == 0;
      if (!blind) {
        for (const Bytes& g : got) EXPECT_TRUE(g == q || g == p) << i << ":" << bit;
      }
    }
  }
}

}  // namespace
