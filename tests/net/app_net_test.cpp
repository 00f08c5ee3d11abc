// The frame loop polls the application's connections once per frame and hands
// their events to OnNetMessage before that frame's OnNextFrame.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "framework/zarn.h"
#include "game/app.h"
#include "net/emod_connect.h"
#include "tests/net/net_support.h"
#include "tests/support/harness.h"

namespace {

class NetApp : public ClassZarn {
 public:
  NetApp() : ClassZarn(nullptr) {}
  struct Seen {
    uint32_t frame;
    uint8_t connection;
    int32_t peer, event;
    std::string data;
  };
  std::vector<Seen> seen;
  uint32_t frames = 0;
  uint16_t port = 0;
  int hosted = -1;
  nt::Recorder clientEvents;
  std::unique_ptr<ClassEConnect> client;

  int OnCreate(ZARNCONFIG* c, ZARNDATA*) override {
    c->width = 320;
    c->height = 240;
    c->maxconnections = 2;
    return 0;
  }
  int OnInit(int) override {
    ClassEConnect* c = GetConnection(1);
    if (!c || c->Init(ENET_TCPIP, this) != 0) return 1;
    hosted = c->SearchHost(nullptr, port);
    return 0;
  }
  int OnNextFrame(ClassEDisplay*, uint32_t) override {
    frames++;
    if (frames == 2) {
      client.reset(new ClassEConnect());
      client->Init(ENET_TCPIP, &clientEvents);
      client->SearchHost("127.0.0.1", port);
    }
    if (client) client->CheckSockets(nullptr);
    if (frames == 5) client->Send("\x0B\x02\x04\x00", 4, 0);
    if (frames == 9) client->Cleanup();
    if (frames >= 400 || (frames > 9 && !seen.empty() && seen.back().event == ENET_CLOSED)) Quit();
    return 0;
  }
  void OnNetMessage(uint8_t connection, int32_t peer, int32_t event, int32_t length,
                    uint8_t* data) override {
    seen.push_back({frames, connection, peer, event,
                    data ? std::string(reinterpret_cast<char*>(data), static_cast<size_t>(length)) : ""});
  }
};

TEST(AppNet, EventsReachTheApplicationFromTheFrameLoop) {
  zt::Devices dev;
  setenv("ZARN_NET_HOST", "127.0.0.1", 1);
  NetApp app;
  app.port = nt::TestPort(26);
  app.Start();
  ASSERT_EQ(app.hosted, 1);
  ASSERT_GE(app.seen.size(), 4u);
  // Hosting is raised inside OnInit; the rest by the frame loop's poll.
  EXPECT_EQ(app.seen[0].event, ENET_HOSTING);
  EXPECT_EQ(app.seen[0].data, "127.0.0.1");
  EXPECT_EQ(app.seen[1].event, ENET_PEERADDED);
  EXPECT_EQ(app.seen[1].peer, 1);
  EXPECT_EQ(app.seen[1].frame, 2u);  // joined during frame 2, seen before frame 3
  const nt::Bytes expect = nt::Frame({0x0B, 0x02, 0x04, 0x00});
  std::string data;
  size_t closed = 0;
  for (const auto& s : app.seen) {
    EXPECT_EQ(s.connection, 1);
    if (s.event == ENET_DATA) {
      EXPECT_GE(s.frame, 5u);
      data += s.data;
    }
    closed += s.event == ENET_CLOSED;
  }
  EXPECT_EQ(data, std::string(expect.begin(), expect.end()));
  EXPECT_EQ(closed, 1u);
  EXPECT_EQ(app.seen.back().event, ENET_CLOSED);
  EXPECT_EQ(app.seen.back().peer, 1);
}

}  // namespace

namespace {

TEST(AppNet, GamePortFromTheEnvironment) {
  struct Case {
    const char* value;
    uint32_t port;
  } cases[] = {{nullptr, 4445}, {"", 4445}, {"5000", 5000}, {"0", 4445},
               {"65536", 4445}, {"12x", 4445}, {"65535", 65535}};
  for (const Case& c : cases) {
    if (c.value)
      setenv("ZARN_NET_PORT", c.value, 1);
    else
      unsetenv("ZARN_NET_PORT");
    EXPECT_EQ(ClassMain::GamePort(), c.port) << (c.value ? c.value : "unset");
  }
  unsetenv("ZARN_NET_PORT");
}

}  // namespace
