// Network play of the level between consoles in one process, over real sockets
// on 127.0.0.1: seating, the start, grids and stones through the host, the
// winner and ranking every console agrees on, dropped seats and a lost host.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <ctime>
#include <spawn.h>
#include <sys/wait.h>
#include <string>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "game/app.h"
#include "game/level.h"
#include "game/packets.h"
#include "game/player.h"
#include "game/settings.h"
#include "net/emod_connect.h"
#include "tests/support/game_proc.h"
#include "tests/support/harness.h"
#include "tests/support/net_console.h"

extern char** environ;

namespace {

uint16_t Port(uint16_t offset) { return zt::TestPort(offset); }

using Console = zt::NetConsole;

template <class F>
bool Pump(const std::vector<Console*>& all, F done, int ms = 5000) {
  for (int waited = 0; waited < ms; waited += 2) {
    for (Console* c : all) c->connection.CheckSockets(nullptr);
    if (done()) return true;
    usleep(2000);
  }
  return false;
}

// Reads a plain socket until the other side closes it (true) or `ms` passed.
bool ClosedWithin(int socket, int ms) {
  for (int waited = 0; waited < ms; waited += 5) {
    char buf[256];
    const ssize_t n = recv(socket, buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0) return true;
    if (n < 0) usleep(5000);
  }
  return false;
}

// A host and `joiners` consoles seated and started, as the set-up screens do.
struct Game {
  std::unique_ptr<Console> host;
  std::vector<std::unique_ptr<Console>> joiners;
  std::vector<Console*> all;
  explicit Game(int joinerCount, uint16_t port) {
    setenv("ZARN_NET_HOST", "127.0.0.1", 1);
    host.reset(new Console("Hostess", 1));
    all.push_back(host.get());
    host->level.levelState = 4;
    EXPECT_EQ(host->connection.SearchHost(nullptr, port), 1);
    EXPECT_EQ(host->level.levelState, 7);
    const char* names[] = {"Ann", "Bob", "Cyd"};
    for (int i = 0; i < joinerCount; i++) Join(names[i], port);
  }
  // A console that connects and logs in as the set-up screens do; true once
  // the host has welcomed it.
  bool Join(const char* name, uint16_t port) {
    joiners.emplace_back(new Console(name, 3));
    Console& j = *joiners.back();
    all.push_back(&j);
    j.level.levelState = 6;
    j.level.stateTimer = 2;
    auto entries = [&] {
      int n = 0;
      for (const auto& e : host->level.loginTable) n += e[1];
      return n;
    };
    const int before = entries();
    EXPECT_EQ(j.connection.SearchHost("127.0.0.1", port), 1);
    EXPECT_EQ(j.level.stateTimer, 10000u);
    // The host has taken the peer (or refused it, with every entry in use).
    Pump(all, [&] { return entries() > before; }, 1000);
    j.level.NetSendJoin();
    j.level.stateTimer = 10001;
    const bool welcomed = Pump(all, [&] { return j.level.stateTimer == 20000 || j.connection.OwnSocket() < 0; });
    return welcomed && j.level.stateTimer == 20000;
  }
  // Started with a computer player of strength `kind` in the host's seat 1 (player 2).
  void StartWithComputer(uint8_t kind) {
    host->level.slot[1].kind = kind;
    Start();
  }
  void Start() {
    EXPECT_TRUE(host->level.NetStartGame());
    EXPECT_TRUE(Pump(all, [&] {
      for (auto& j : joiners)
        if (j->level.levelState != 1) return false;
      return true;
    }));
  }
};

TEST(LevelNet, SeatingAndStart) {
  Game g(2, Port(0));
  ClassLevel& h = g.host->level;
  EXPECT_STREQ(h.ownAddress, "127.0.0.1");
  EXPECT_EQ(h.slot[0].link, 2);
  EXPECT_STREQ(h.slot[0].name, "Ann");
  EXPECT_EQ(h.slot[1].link, 2);
  EXPECT_STREQ(h.slot[1].name, "Bob");
  EXPECT_EQ(h.slot[2].link, 0);  // still waiting for a player
  EXPECT_EQ(h.ActiveCoPlayers(), 2u);
  g.Start();
  for (int i = 0; i < 2; i++) {
    ClassLevel& j = g.joiners[i]->level;
    EXPECT_EQ(j.OwnPlayer(), i + 1);
    EXPECT_EQ(j.rotationIndex, 4 * (i + 1));  // player 2 starts at entry 8
    EXPECT_EQ(0, std::memcmp(j.fallTable, h.fallTable, 16));
    EXPECT_EQ(0, std::memcmp(j.attackRotation, h.attackRotation, 16));
    EXPECT_EQ(g.joiners[i]->player.targetScore, 5000u);
    EXPECT_EQ(g.joiners[i]->player.level, 2);
    EXPECT_STREQ(j.slot[3].name, i == 0 ? "Ann" : "Bob");
    // Seats in player order without the own player: host first.
    EXPECT_STREQ(j.slot[0].name, "Hostess");
    EXPECT_STREQ(j.slot[1].name, i == 0 ? "Bob" : "Ann");
    EXPECT_EQ(j.slot[1].link, 2);
    EXPECT_EQ(j.slot[2].link, 0);
  }
}

TEST(LevelNet, GridsAndStonesGoThroughTheHost) {
  Game g(2, Port(1));
  g.Start();
  ClassLevel& h = g.host->level;
  ClassLevel& a = g.joiners[0]->level;
  ClassLevel& b = g.joiners[1]->level;
  for (int i = 0; i < kGridCells; i++) a.grid[i] = static_cast<uint8_t>(1 + i % 7);
  a.grid[40] = CELL_WILD_TAKING;
  a.fallCounter = 9;
  g.joiners[0]->player.score = 777;
  a.NetSendGrid();
  ASSERT_TRUE(Pump(g.all, [&] { return h.coPhase[0] == 1 && b.coPhase[1] == 1; }));
  uint8_t sent[kGridCells];
  std::memcpy(sent, a.grid, kGridCells);
  sent[40] = CELL_WILDCARD;
  EXPECT_EQ(0, std::memcmp(h.coGrid[0], sent, kGridCells));
  EXPECT_EQ(0, std::memcmp(b.coGrid[1], sent, kGridCells));
  EXPECT_EQ(h.slot[0].score, 777u);
  EXPECT_EQ(b.slot[1].score, 777u);
  EXPECT_EQ(b.coFallCounter[1], 9);

  auto incoming = [](const ClassLevel& l) {
    int n = 0;
    for (const PARTICLE& p : l.particle) n += p.kind == PART_WAITING;
    for (const auto& q : l.vsQueue) n += q[0] != 0;
    return n;
  };
  // Player 1 attacks player 2 (relayed by the host), the host attacks player 1,
  // and a package for oneself never leaves.
  a.NetSendStonePkg(1, 2, 2, 1);
  h.NetSendStonePkg(0, 1, 3, 0);
  b.NetSendStonePkg(2, 2, 1, 0);
  ASSERT_TRUE(Pump(g.all, [&] { return incoming(b) == 1 && incoming(a) == 1; }));
  Pump(g.all, [] { return false; }, 100);
  EXPECT_EQ(incoming(b), 1);
  EXPECT_EQ(incoming(a), 1);
  EXPECT_EQ(incoming(h), 0);
  for (const PARTICLE& p : b.particle)
    if (p.kind == PART_WAITING) {
      EXPECT_EQ(p.angle, 1u);  // from the seat of player 1 on player 2's console
      EXPECT_EQ(p.count, 2);
    }
}

TEST(LevelNet, ComputerSeatsOnTheHost) {
  Game g(1, Port(9));
  g.StartWithComputer(1);
  ClassLevel& h = g.host->level;
  ClassLevel& a = g.joiners[0]->level;
  EXPECT_EQ(a.slot[1].kind, 1);
  for (int i = 0; i < kGridCells; i++) h.coGrid[1][i] = static_cast<uint8_t>(i % 9);
  h.slot[1].score = 321;
  h.NetSendCPUGrid(1);
  ASSERT_TRUE(Pump(g.all, [&] { return a.coPhase[1] == 1; }));
  EXPECT_EQ(0, std::memcmp(a.coGrid[1], h.coGrid[1], kGridCells));
  EXPECT_EQ(a.slot[1].score, 321u);
  // The computer's attacks follow the rotation: 0 the host itself, 1 player 1.
  std::memset(h.attackRotation, 0, 16);
  h.attackRotation[1] = 1;
  h.rotationIndex = 0;
  h.NetSendStoneCPUPkg(1, 6, 2);  // 3 stones to the host
  h.NetSendStoneCPUPkg(1, 3, 0);  // too short a link: nothing, no rotation step
  h.NetSendStoneCPUPkg(1, 2, 3);  // a bonus of 2 to player 1
  EXPECT_EQ(h.rotationIndex, 2);
  ASSERT_TRUE(Pump(g.all, [&] {
    for (const PARTICLE& p : a.particle)
      if (p.kind == PART_WAITING) return true;
    return false;
  }));
  int toHost = 0;
  for (const PARTICLE& p : h.particle)
    if (p.kind == PART_WAITING) toHost += p.count;
  EXPECT_EQ(toHost, 3);
  for (const PARTICLE& p : a.particle)
    if (p.kind == PART_WAITING) {
      EXPECT_EQ(p.count, 2);
      EXPECT_EQ(p.angle, 1u);  // from player 2's seat
    }
}

// A computer player's grid reaches the remote players at every change the
// host makes to it: right after a drop (the stone still in its drop cell),
// after attack stones land, after a biohazard turns black, a dormant one wakes
// or one infects a neighbour, not only once the turn has settled. The joiner's trace shows each grid it took in.
TEST(LevelNet, ComputerGridsReachJoinersAsTheyChange) {
  Game g(1, Port(10));
  g.StartWithComputer(3);
  ClassLevel& h = g.host->level;
  ClassLevel& a = g.joiners[0]->level;
  const std::string trace = zt::TempDir("net_cpu_grids") + "/trace.txt";
  setenv("ZARN_TRACE", trace.c_str(), 1);
  std::vector<std::vector<uint8_t>> sent;
  auto turn = [&](const char* what) {
    SCOPED_TRACE(what);
    a.coPhase[1] = 0;
    h.coPhase[1] = 0;  // a still grid: the computer's turn
    h.HandleCPU(16);
    sent.emplace_back(h.coGrid[1], h.coGrid[1] + kGridCells);
    ASSERT_TRUE(Pump(g.all, [&] { return a.coPhase[1] == 1; }, 2000));
    EXPECT_EQ(0, std::memcmp(a.coGrid[1], h.coGrid[1], kGridCells));
  };
  CPUPLAYER& cpu = h.cpuPlayer[1];
  std::memset(h.coGrid[1], 0, kGridCells);
  cpu = CPUPLAYER{};
  cpu.dropClock = 100000;
  turn("drop");
  EXPECT_EQ(h.coPhase[1], 1);
  EXPECT_EQ(cpu.cpuTurns, 1);
  cpu.rulesDue = 0;
  cpu.dropClock = 0;
  cpu.cpuQueue[0][0] = 1;
  cpu.cpuQueue[0][1] = 2;
  cpu.cpuBar = 2000;
  turn("attack stones");
  EXPECT_EQ(cpu.cpuQueue[0][0], 0);
  EXPECT_EQ(cpu.cpuTurns, 1);
  h.coGrid[1][ClassLevel::Cell(4, 4)] = CELL_BIOHAZARD;
  h.coFallStep[1][ClassLevel::Cell(4, 4)] = 1;
  cpu.rulesDue = 1;
  cpu.cpuTurns = 2;
  cpu.dropClock = 0;
  turn("a biohazard turns black");
  EXPECT_EQ(h.coGrid[1][ClassLevel::Cell(4, 4)], CELL_BLACK);
  // Neither a drop nor a package: a dormant biohazard wakes.
  h.coGrid[1][ClassLevel::Cell(2, 2)] = CELL_DORMANT;
  cpu.rulesDue = 0;
  cpu.dropClock = 0;
  turn("a dormant biohazard wakes");
  EXPECT_EQ(h.coGrid[1][ClassLevel::Cell(2, 2)], CELL_BIOHAZARD);
  // A biohazard infects a neighbour: every colour stone beside one is a try at
  // even odds (seeded draws), and one of eighteen tries takes.
  std::memset(h.coGrid[1], 0, kGridCells);
  for (int c = 0; c < 9; c++) {
    h.coGrid[1][ClassLevel::Cell(3, c)] = static_cast<uint8_t>(1 + c % 7);
    h.coGrid[1][ClassLevel::Cell(4, c)] = CELL_BIOHAZARD;
    h.coFallStep[1][ClassLevel::Cell(4, c)] = 3;
    h.coGrid[1][ClassLevel::Cell(5, c)] = static_cast<uint8_t>(1 + (c + 3) % 7);
  }
  std::srand(7);
  cpu.rulesDue = 1;
  cpu.cpuTurns = 4;
  cpu.dropClock = 0;
  turn("a neighbour is infected");
  int dormant = 0;
  for (uint8_t v : h.coGrid[1]) dormant += v == CELL_DORMANT;
  EXPECT_EQ(dormant, 1);
  unsetenv("ZARN_TRACE");
  a.CloseTrace();
  std::vector<std::string> lines;
  for (const zt::TraceLine& l : zt::ReadTrace(trace))
    if (l.at("kind") == "grid" && l.at("player") == "2") lines.push_back(l.at("cells"));
  ASSERT_EQ(lines.size(), sent.size());
  for (size_t i = 0; i < sent.size(); i++) {
    std::string hex;
    char b[3];
    for (uint8_t c : sent[i]) {
      std::snprintf(b, sizeof b, "%02x", c);
      hex += b;
    }
    EXPECT_EQ(lines[i], hex) << i;
  }
}

// Minimising a networked game pauses it on every console: the minimised one
// sends the pause, as the Start button does.
TEST(LevelNet, MinimisingPausesEveryConsole) {
  Game g(1, Port(11));
  g.Start();
  ClassLevel& h = g.host->level;
  Console& j = *g.joiners[0];
  auto minimise = [](Console& c) {
    uint32_t message = 0x10002;
    c.level.Manage(nullptr, &c.module, &message, nullptr, 0);
  };
  minimise(j);
  EXPECT_EQ(j.level.levelState, 9);
  EXPECT_TRUE(Pump(g.all, [&] { return h.levelState == 9; }));
  h.NetResume();
  ASSERT_TRUE(Pump(g.all, [&] { return j.level.levelState == 1; }));
  minimise(*g.host);
  EXPECT_EQ(h.levelState, 9);
  EXPECT_TRUE(Pump(g.all, [&] { return j.level.levelState == 9; }));
}

// A host that takes the connection and never welcomes: after 3000 ms the
// joiner gives up with "Failed to connect." and closes its connection, so the
// host holds no seat for it.
TEST(LevelNet, AJoinGivenUpClosesItsConnection) {
  const uint16_t port = Port(12);
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  const int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  Console j("Ann", 3);
  j.level.levelState = 6;
  j.level.stateTimer = 2;
  ASSERT_EQ(j.connection.SearchHost("127.0.0.1", port), 1);
  EXPECT_EQ(j.level.stateTimer, 10000u);
  const int peer = accept(listener, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  for (int i = 0; i < 400 && j.level.levelState == 6; i++) j.Frame(16);
  EXPECT_EQ(j.level.levelState, 10);
  EXPECT_STREQ(j.level.messageLine[0], "Failed to connect.");
  EXPECT_EQ(j.level.returnState, 8);
  // The join packet, then the end of the stream.
  EXPECT_TRUE(ClosedWithin(peer, 2000));
  close(peer);
  close(listener);
}

TEST(LevelNet, EveryConsoleAgreesOnTheWinner) {
  Game g(2, Port(2));
  g.Start();
  g.host->player.score = 1200;
  g.host->level.slot[2].score = 0;
  g.joiners[1]->player.score = 1200;  // equal with the host: the host ranks first
  g.joiners[1]->level.NetSendGrid();
  ASSERT_TRUE(Pump(g.all, [&] { return g.host->level.slot[1].score == 1200; }));
  // Player 1 reaches the target: it reports, the host decides.
  g.joiners[0]->player.score = 5100;
  g.joiners[0]->level.HandleIdle(16);
  EXPECT_EQ(g.joiners[0]->player.winner, 0);
  ASSERT_TRUE(Pump(g.all, [&] {
    return g.joiners[0]->player.winner != 0 && g.joiners[1]->player.winner != 0;
  }));
  const uint8_t ranking[4] = {1, 0, 2, 3};
  const int32_t scores[4] = {5100, 1200, 1200, 0};
  for (Console* c : g.all) {
    EXPECT_EQ(c->player.winner, 2);  // player 1 + 1
    EXPECT_EQ(0, std::memcmp(c->player.ranking, ranking, 4));
    EXPECT_EQ(0, std::memcmp(c->player.finalScore, scores, sizeof scores));
  }
  // Each console takes its own final score by its player number.
  g.host->level.HandleIdle(16);
  g.joiners[1]->level.HandleIdle(16);
  EXPECT_EQ(g.host->player.score, 1200u);
  EXPECT_EQ(g.joiners[1]->player.score, 1200u);
}

TEST(LevelNet, DroppedJoinerAndLostHost) {
  Game g(2, Port(3));
  g.Start();
  ClassLevel& h = g.host->level;
  ClassLevel& a = g.joiners[0]->level;
  // Player 2 goes away: the host drops its seat and tells player 1.
  g.joiners[1]->connection.Cleanup();
  ASSERT_TRUE(Pump(g.all, [&] { return a.slot[1].link == 3; }));
  EXPECT_EQ(h.slot[1].link, 3);
  EXPECT_EQ(h.ActiveCoPlayers(), 1u);
  EXPECT_EQ(0, std::memcmp(a.attackRotation, h.attackRotation, 16));
  for (uint8_t v : h.attackRotation) EXPECT_EQ(v, 0);  // one co-player left
  EXPECT_EQ(h.levelState, 1);
  // Keep-alives hold the silence down while both sides run.
  for (int i = 0; i < 200; i++) {
    h.NetTimers(16);
    a.NetTimers(16);
    Pump(g.all, [] { return true; });
  }
  EXPECT_LT(h.slot[0].silence, 2000u);
  EXPECT_LT(a.slot[3].silence, 2000u);
  EXPECT_EQ(h.slot[0].link, 2);
  // The host goes away: the joiner's game ends with the lost-connection box.
  g.host->connection.Cleanup();
  ASSERT_TRUE(Pump(g.all, [&] { return a.levelState == 10; }));
  EXPECT_STREQ(a.messageLine[0], "Lost connection");
  EXPECT_STREQ(a.messageLine[1], "with host.");
  EXPECT_EQ(a.returnState, 13);
}

// Runs a console's frames until its level leaves the message box (and the
// frame after), or a bound.
void FramesPastTheBox(Console& c) {
  bool boxed = false;
  for (int i = 0; i < 2000 && c.module == MODULE_LEVEL; i++) {
    c.Frame(16);
    if (c.level.levelState == 10) boxed = true;
    else if (boxed) break;
    usleep(500);
  }
  EXPECT_TRUE(boxed);
}

// Under the start switch a networked run ends where its lost game would wait
// for the player, once the box has closed: the host whose players all left,
// the joiner that lost its host. Without the switch each goes on as a
// player's would. A join that failed to connect had no game to end: it waits
// on the host list either way.
TEST(LevelNet, StartSwitchEndsTheRunOfALostGame) {
  for (const bool startSwitch : {false, true}) {
    SCOPED_TRACE(startSwitch ? "start switch" : "menus");
    const uint32_t ended = startSwitch ? MODULE_QUIT : MODULE_LEVEL;
    {
      Game g(1, Port(startSwitch ? 10 : 11));
      g.Start();
      Console& h = *g.host;
      h.level.endWhenOver = startSwitch;
      g.joiners[0]->connection.Cleanup();
      FramesPastTheBox(h);
      EXPECT_STREQ(h.level.messageLine[0], "All players have left");
      EXPECT_EQ(h.level.levelState, 13);
      EXPECT_EQ(h.module, ended);
    }
    {
      Game g(1, Port(startSwitch ? 12 : 13));
      g.Start();
      Console& j = *g.joiners[0];
      j.level.endWhenOver = startSwitch;
      g.host->connection.Cleanup();
      FramesPastTheBox(j);
      EXPECT_STREQ(j.level.messageLine[0], "Lost connection");
      EXPECT_EQ(j.level.levelState, 13);
      EXPECT_EQ(j.module, ended);
    }
    Console late("Bob", 3);
    late.level.endWhenOver = startSwitch;
    late.level.levelState = 6;
    late.level.stateTimer = 10000;
    FramesPastTheBox(late);
    EXPECT_STREQ(late.level.messageLine[0], "Failed to connect.");
    EXPECT_EQ(late.level.levelState, 8);
    EXPECT_EQ(late.module, MODULE_LEVEL);
  }
}

TEST(LevelNet, SilentHostTimesOut) {
  Game g(1, Port(4));
  g.Start();
  ClassLevel& a = g.joiners[0]->level;
  // The host stops sending anything; after 5 s of the joiner's logic steps the
  // joiner disconnects by itself.
  for (int i = 0; i < 320 && a.levelState == 1; i++) a.NetTimers(16);
  EXPECT_EQ(a.levelState, 10);
  EXPECT_STREQ(a.messageLine[0], "Lost connection");
  EXPECT_EQ(g.joiners[0]->connection.OwnSocket(), -1);
}

TEST(LevelNet, FullHostAndHostilePackets) {
  const uint16_t port = Port(5);
  Game g(1, port);
  // Eight login entries: the ninth console that connects gets packet 1 and is closed.
  std::vector<int> raw;
  for (int i = 0; i < 8; i++) {
    const int s = zt::LoopbackConnect(port);
    ASSERT_GE(s, 0);
    raw.push_back(s);
    Pump(g.all, [] { return false; }, 30);
  }
  std::vector<uint8_t> got;
  Pump(g.all, [&] {
    uint8_t b[64];
    const ssize_t n = recv(raw.back(), b, sizeof b, MSG_DONTWAIT);
    if (n > 0) got.insert(got.end(), b, b + n);
    return n == 0;
  });
  const uint8_t refused[] = {0xFF, 0xFA, 0x0C, 0x00, 11, 1, 4, 0};
  ASSERT_GE(got.size(), sizeof refused);
  EXPECT_EQ(0, std::memcmp(got.data(), refused, sizeof refused));
  for (int s : raw) close(s);
  Pump(g.all, [] { return false; }, 100);

  // During play, packets naming players or seats out of range change nothing.
  g.Start();
  ClassLevel& a = g.joiners[0]->level;
  const uint8_t before = a.slot[0].link;
  GAMEPACKET p{};
  p.id = PKT_GRID;
  p.connection = a.slot[3].connection;
  p.player = 1;  // the joiner's own number: ignored
  for (auto& c : p.cells) c = 5;
  g.host->level.NetSendPacket(p, 0);
  p.id = PKT_DROPPED;
  p.player = 1;  // dropping oneself: only the rotation is taken
  g.host->level.NetSendPacket(p, 0);
  uint8_t bad[12] = {11, 7, 12, 0, static_cast<uint8_t>(a.slot[3].connection), 0, 9, 3, 1, 0, 0, 0};
  g.host->connection.Send(bad, 12, 0);  // source player 9
  Pump(g.all, [] { return false; }, 150);
  for (int s = 0; s < 3; s++) EXPECT_EQ(a.coPhase[s], 0);
  EXPECT_EQ(a.slot[0].link, before);
  for (const PARTICLE& q : a.particle) EXPECT_NE(q.kind, PART_WAITING);
  EXPECT_EQ(a.levelState, 1);
}

TEST(LevelNet, HostilePeersDuringSeatingAndPlay) {
  if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 missing";
  const uint16_t port = Port(8);
  Game g(0, port);
  const std::string script = std::string(ZARN_SOURCE_DIR) + "/tests/net/peer.py";
  std::vector<int> pids;
  auto spawn = [&](const std::string& args) {
    pid_t pid = -1;
    std::string c = "exec python3 " + script + " " + args;
    char sh[] = "sh", dash[] = "-c";
    char* argv[] = {sh, dash, &c[0], nullptr};
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) == 0) pids.push_back(pid);
  };
  for (int i = 0; i < 3; i++) spawn("hostile " + std::to_string(port) + " " + std::to_string(40 + i));
  spawn("silent " + std::to_string(port) + " 30");
  // A real console joins among them and is seated; the junk seats nobody.
  Console j("Ann", 3);
  g.all.push_back(&j);
  j.level.levelState = 6;
  ASSERT_EQ(j.connection.SearchHost("127.0.0.1", port), 1);
  ClassLevel& h = g.host->level;
  uint32_t worst = 0;
  auto frames = [&](int n) {
    for (int i = 0; i < n; i++) {
      timespec t0, t1;
      clock_gettime(CLOCK_MONOTONIC, &t0);
      for (Console* c : g.all) c->connection.CheckSockets(nullptr);
      h.NetTimers(16);
      if (j.level.levelState == 1) j.level.NetTimers(16);
      clock_gettime(CLOCK_MONOTONIC, &t1);
      const uint32_t ms = static_cast<uint32_t>((t1.tv_sec - t0.tv_sec) * 1000 + (t1.tv_nsec - t0.tv_nsec) / 1000000);
      if (ms > worst) worst = ms;
      usleep(2000);
    }
  };
  frames(100);
  j.level.NetSendJoin();
  j.level.stateTimer = 10001;
  for (int i = 0; i < 50 && j.level.stateTimer != 20000; i++) frames(20);
  EXPECT_EQ(j.level.stateTimer, 20000u);
  EXPECT_STREQ(h.slot[0].name, "Ann");
  EXPECT_EQ(h.ActiveCoPlayers(), 1u);
  ASSERT_TRUE(h.NetStartGame());
  for (int i = 0; i < 50 && j.level.levelState != 1; i++) frames(20);
  EXPECT_EQ(j.level.levelState, 1);
  frames(300);  // play on while the hostile ones keep their connections
  EXPECT_EQ(h.levelState, 1);
  EXPECT_EQ(h.slot[0].link, 2);
  EXPECT_LT(worst, 1500u);  // a hang, not a slow machine
  g.host->connection.Cleanup();
  for (size_t i = 0; i < pids.size(); i++) {
    int status = 0;
    // The hostile peers end when the host closes; the silent one is stopped.
    for (int k = 0; k < 500 && i + 1 < pids.size() && waitpid(pids[i], &status, WNOHANG) == 0; k++)
      usleep(20000);
    kill(pids[i], SIGKILL);
    waitpid(pids[i], &status, 0);
  }
}

TEST(LevelNet, SetupStepsAndTimeouts) {
  setenv("ZARN_NET_HOST", "127.0.0.1", 1);
  const uint16_t port = Port(6);
  setenv("ZARN_NET_PORT", std::to_string(port).c_str(), 1);
  uint32_t module = 1, message = 0;
  // Host set-up: one frame drawn, then the start request, then the wait.
  Console host("Hostess", 1);
  host.level.levelState = 4;
  host.level.NetHostSetupFrame(&module, &message, 16);
  EXPECT_EQ(module, 1u);
  host.level.NetHostSetupFrame(&module, &message, 16);
  EXPECT_EQ(module, 0x8000u);
  EXPECT_EQ(message, 16u);
  // What ClassMain does with the request.
  ASSERT_EQ(host.connection.SearchHost(nullptr, ClassMain::GamePort()), 1);
  EXPECT_EQ(host.level.levelState, 7);
  EXPECT_FALSE(host.level.NetStartGame());  // nobody seated yet
  EXPECT_EQ(host.level.levelState, 7);
  // A host that never answers the request ends in its message box.
  Console lonely("Nobody", 1);
  lonely.level.levelState = 4;
  lonely.level.stateTimer = 2;
  for (int i = 0; i < 200; i++) lonely.level.NetHostSetupFrame(&module, &message, 16);
  EXPECT_EQ(lonely.level.levelState, 10);
  EXPECT_STREQ(lonely.level.messageLine[0], "Host failed to start.");
  EXPECT_EQ(lonely.level.returnState, 12);

  // Joining from the host list.
  Console j("Ann", 3);
  std::strcpy(j.level.hostAddresses[0], "127.0.0.1");
  j.level.levelState = 6;
  module = 1;
  j.level.NetJoinFrame(&module, &message, 16, false);
  j.level.NetJoinFrame(&module, &message, 16, false);
  EXPECT_EQ(module, 0x8000u);
  EXPECT_EQ(message, 18u);
  EXPECT_STREQ(j.data.joinaddress, "127.0.0.1");
  EXPECT_EQ(j.data.joinport, port);
  ASSERT_EQ(j.connection.SearchHost(j.data.joinaddress, j.data.joinport), 1);
  EXPECT_EQ(j.level.stateTimer, 10000u);
  std::vector<Console*> both{&host, &j};
  ASSERT_TRUE(Pump(both, [&] { return host.level.loginTable[0][1] == 1; }));
  j.level.NetJoinFrame(&module, &message, 16, false);  // the join packet
  ASSERT_TRUE(Pump(both, [&] { return j.level.stateTimer == 20000; }));
  j.level.NetJoinFrame(&module, &message, 16, true);  // cancel while waiting
  EXPECT_EQ(j.level.levelState, 8);
  EXPECT_EQ(j.connection.OwnSocket(), -1);

  // A welcome that never comes: "Failed to connect." 3000 ms after the join.
  Console late("Bob", 3);
  late.level.levelState = 6;
  late.level.stateTimer = 10000;
  for (int i = 0; i < 200 && late.level.levelState == 6; i++)
    late.level.NetJoinFrame(&module, &message, 16, false);
  EXPECT_EQ(late.level.levelState, 10);
  EXPECT_EQ(late.level.returnState, 8);
  EXPECT_STREQ(late.level.messageLine[0], "Failed to connect.");
  unsetenv("ZARN_NET_PORT");
}

TEST(LevelNet, PauseAndResumeDropASilentSeat) {
  Game g(2, Port(7));
  g.Start();
  ClassLevel& h = g.host->level;
  ClassLevel& a = g.joiners[0]->level;
  ClassLevel& b = g.joiners[1]->level;
  a.NetSendID(0, PKT_PAUSE);
  ASSERT_TRUE(Pump(g.all, [&] { return h.levelState == 9 && a.levelState == 9 && b.levelState == 9; }));
  // Pause keep-alives hold the silence of the ones that send them.
  for (int i = 0; i < 100; i++) {
    h.NetTimers(16);
    a.NetTimers(16);
    Pump(g.all, [] { return true; });
  }
  EXPECT_LT(h.slot[0].silence, 2000u);
  EXPECT_GE(h.slot[1].silence, 1600u);  // player 2 stayed quiet
  h.slot[1].silence = 5000;
  h.NetResume();
  EXPECT_EQ(h.levelState, 1);
  EXPECT_EQ(h.slot[1].link, 3);
  ASSERT_TRUE(Pump(g.all, [&] { return a.levelState == 1; }));
  EXPECT_EQ(a.slot[1].link, 3);  // player 2 sits in seat 1 on player 1's console
  EXPECT_EQ(0, std::memcmp(a.attackRotation, h.attackRotation, 16));
  EXPECT_EQ(b.levelState, 9);  // a dropped console hears no resume
}

// ---- Peers that are only sockets: the lobby, claims, grids and bursts ----

int LoginEntries(const ClassLevel& h) {
  int n = 0;
  for (const auto& e : h.loginTable) n += e[1];
  return n;
}

// A host in its player select on `port`, and a socket peer connected to it
// (its login entry taken; it has not joined).
struct HostAndPeer {
  Console host{"Hostess", 1};
  std::vector<Console*> all{&host};
  std::unique_ptr<zt::RawPeer> peer;
  explicit HostAndPeer(uint16_t port) {
    setenv("ZARN_NET_HOST", "127.0.0.1", 1);
    host.level.levelState = 4;
    EXPECT_EQ(host.connection.SearchHost(nullptr, port), 1);
    peer.reset(new zt::RawPeer(port));
    EXPECT_GE(peer->socket, 0);
    EXPECT_TRUE(Pump(all, [&] { return LoginEntries(host.level) == 1; }));
  }
  bool Welcomed() {
    return Pump(all, [&] {
      peer->Read();
      for (const GAMEPACKET& p : peer->Packets())
        if (p.id == PKT_WELCOME) return true;
      return false;
    });
  }
  bool Join(const char* name) {
    GAMEPACKET join{};
    join.id = PKT_JOIN;
    peer->Send(join, name);
    return Welcomed() && host.level.slot[0].link == 2;
  }
  // Waits until the peer holds `n` ping replies.
  bool Pongs(size_t n, int ms = 3000) {
    return Pump(all, [&] {
      peer->Read();
      return peer->Count(ENETPOP_PINGREPLY) >= n;
    }, ms);
  }
};

// Connections that never send their join cannot hold the lobby: each is
// closed once it has gone without joining as long as a player may go silent
// in play, and its entry is free for a player. A seated player waiting for
// the start stays.
TEST(LevelNet, LobbyClosesConnectionsThatNeverJoin) {
  const uint16_t port = Port(14);
  Game g(1, port);
  Console& h = *g.host;
  std::vector<int> idle;
  for (int i = 0; i < 7; i++) {
    idle.push_back(zt::LoopbackConnect(port));
    ASSERT_GE(idle.back(), 0);
  }
  ASSERT_TRUE(Pump(g.all, [&] { return LoginEntries(h.level) == 8; }));
  EXPECT_FALSE(g.Join("Bob", port));  // the lobby is full
  for (int i = 0; i < 300; i++) h.Frame(16);  // 4.8 s of the player select
  EXPECT_EQ(LoginEntries(h.level), 8);
  for (int i = 0; i < 20; i++) h.Frame(16);
  EXPECT_EQ(LoginEntries(h.level), 1);
  for (int s : idle) {
    EXPECT_TRUE(ClosedWithin(s, 2000));
    close(s);
  }
  EXPECT_EQ(h.level.slot[0].link, 2);
  EXPECT_STREQ(h.level.slot[0].name, "Ann");
  EXPECT_TRUE(g.Join("Cyd", port));
  EXPECT_EQ(h.level.slot[1].link, 2);
  EXPECT_STREQ(h.level.slot[1].name, "Cyd");
}

// The lobby answers pings before and after the join, as play does; a second
// join of a seated peer, even in the same read as its first, takes no seat.
TEST(LevelNet, LobbyAnswersPingsAndSeatsAPeerOnce) {
  HostAndPeer t(Port(15));
  zt::RawPeer& peer = *t.peer;
  peer.SendBytes(kNetPingRequest, sizeof kNetPingRequest);
  ASSERT_TRUE(t.Pongs(1));
  GAMEPACKET join{};
  join.id = PKT_JOIN;
  std::vector<uint8_t> twice = zt::FramePacket(join, "Raw");
  const std::vector<uint8_t> other = zt::FramePacket(join, "Other");
  twice.insert(twice.end(), other.begin(), other.end());
  peer.SendBytes(twice.data(), twice.size());
  ASSERT_TRUE(t.Welcomed());
  for (int i = 0; i < 3; i++) peer.SendBytes(kNetPingRequest, sizeof kNetPingRequest);
  EXPECT_TRUE(t.Pongs(4));
  peer.Send(join, "Third");
  peer.SendBytes(kNetPingRequest, sizeof kNetPingRequest);
  EXPECT_TRUE(t.Pongs(5));
  ClassLevel& h = t.host.level;
  EXPECT_STREQ(h.slot[0].name, "Raw");
  EXPECT_EQ(h.slot[0].link, 2);
  EXPECT_EQ(h.slot[1].link, 0);
  EXPECT_EQ(h.slot[2].link, 0);
  ASSERT_TRUE(h.NetStartGame());
  peer.SendBytes(kNetPingRequest, sizeof kNetPingRequest);
  EXPECT_TRUE(t.Pongs(6));
}

// A thousand pings in one burst take the host many data events (it works
// through a bounded number of messages per event), and the peer's keep-alives
// wait behind them; its data shows it is there, so it keeps its seat.
TEST(LevelNet, ABurstOfPingsKeepsThePeersSeat) {
  HostAndPeer t(Port(16));
  ASSERT_TRUE(t.Join("Raw"));
  ClassLevel& h = t.host.level;
  ASSERT_TRUE(h.NetStartGame());
  std::vector<uint8_t> burst;
  for (int i = 0; i < 1000; i++) burst.insert(burst.end(), kNetPingRequest, kNetPingRequest + 10);
  t.peer->SendBytes(burst.data(), burst.size());
  GAMEPACKET alive{};
  alive.id = PKT_KEEPALIVE;
  const std::vector<uint8_t> keepAlive = zt::FramePacket(alive);
  // Eleven seconds of the host's logic steps, a keep-alive every second.
  for (int step = 1; step <= 700 && h.slot[0].link == 2; step++) {
    t.host.connection.CheckSockets(nullptr);
    h.NetTimers(16);
    if (step % 62 == 0) t.peer->SendBytes(keepAlive.data(), keepAlive.size());
    t.peer->Read();
  }
  EXPECT_EQ(h.slot[0].link, 2);
  EXPECT_EQ(h.levelState, 1);
  EXPECT_GT(t.peer->Count(ENETPOP_PINGREPLY), 640u);
}

// A joiner's winner claim ends the game only when its score reaches the
// target and is not below what its grids last showed (scores only grow).
TEST(LevelNet, HostTakesOnlyAnEarnedWin) {
  Game g(1, Port(17));
  g.Start();
  Console& h = *g.host;
  ClassLevel& a = g.joiners[0]->level;
  GAMEPACKET w{};
  w.id = PKT_WINNER;
  w.connection = a.slot[3].connection;
  w.player = 1;
  auto claim = [&](uint32_t score) {
    w.scores[0] = score;
    a.NetSendPacket(w, 0);
  };
  // A grid; once the host shows it, it has read every claim before it.
  auto show = [&](uint32_t score) {
    g.joiners[0]->player.score = score;
    a.NetSendGrid();
    return Pump(g.all, [&] { return h.level.slot[0].score == score; });
  };
  claim(1);  // the target is 5000
  ASSERT_TRUE(show(4000));
  claim(4999);
  ASSERT_TRUE(show(7000));
  claim(6000);
  ASSERT_TRUE(show(7001));
  EXPECT_EQ(h.player.winner, 0);
  EXPECT_EQ(g.joiners[0]->player.winner, 0);
  claim(7001);
  ASSERT_TRUE(Pump(g.all, [&] { return g.joiners[0]->player.winner != 0; }));
  EXPECT_EQ(h.player.winner, 2);
  EXPECT_EQ(h.player.ranking[0], 1);
  EXPECT_EQ(h.player.finalScore[0], 7001);
}

// Grids whose cells hold a byte that no board holds are neither taken nor
// relayed; a grid of the moving states a board shows gets through.
TEST(LevelNet, GridsWithForeignCellsAreDropped) {
  Game g(2, Port(18));
  g.Start();
  ClassLevel& h = g.host->level;
  ClassLevel& a = g.joiners[0]->level;
  ClassLevel& b = g.joiners[1]->level;
  GAMEPACKET p{};
  p.id = PKT_GRID;
  p.connection = a.slot[3].connection;
  p.player = 1;
  p.score = 999;
  for (int i = 0; i < kGridCells; i++) p.cells[i] = static_cast<uint8_t>(1 + i % 7);
  uint8_t bytes[kPacketMax];
  const uint32_t n = GamePacket_Write(p, bytes, sizeof bytes);
  ASSERT_EQ(n, 92u);
  for (const int bad : {16, 0x3F, 0x40, 0x50, 0x60, 0x68, 0x70, 0x80, 0xB1, 0xC0, 0xC4, 0xFC, 0xFE}) {
    uint8_t copy[92];
    std::memcpy(copy, bytes, sizeof copy);
    copy[11 + bad % kGridCells] = static_cast<uint8_t>(bad);
    g.joiners[0]->connection.Send(copy, 92, 0);
  }
  // A package from player 1 to player 2 follows them through the host.
  a.NetSendStonePkg(1, 2, 2, 1);
  ASSERT_TRUE(Pump(g.all, [&] {
    for (const PARTICLE& q : b.particle)
      if (q.kind == PART_WAITING) return true;
    return false;
  }));
  EXPECT_EQ(h.coPhase[0], 0);
  EXPECT_EQ(h.slot[0].score, 0u);
  EXPECT_EQ(b.coPhase[1], 0);
  EXPECT_EQ(b.slot[1].score, 0u);
  const uint8_t moving[] = {0x41, 0x4F, 0x51, 0x5F, 0x61, 0x67, 0x81, 0x8F, 0x91, 0xAF, 0xC1, 0xC3, 253, 255};
  for (size_t i = 0; i < sizeof moving; i++) p.cells[i * 5] = moving[i];
  p.score = 555;
  a.NetSendPacket(p, 0);
  ASSERT_TRUE(Pump(g.all, [&] { return b.slot[1].score == 555; }));
  EXPECT_EQ(0, std::memcmp(b.coGrid[1], p.cells, kGridCells));
  EXPECT_EQ(0, std::memcmp(h.coGrid[0], p.cells, kGridCells));
}

// The turn in which a computer player wins reaches the remote players before
// the ranking: the board whose breaks won, then the winner packet.
TEST(LevelNet, ComputerWinReachesThePeersBeforeTheRanking) {
  HostAndPeer t(Port(19));
  ASSERT_TRUE(t.Join("Raw"));
  ClassLevel& L = t.host.level;
  L.slot[1].kind = 3;  // Mighty Mike, player 2
  ASSERT_TRUE(L.NetStartGame());
  // Four linked stones that have just come to rest, 50 points short of the target.
  std::memset(L.coGrid[1], 0, kGridCells);
  for (int c = 5; c < 9; c++) L.coGrid[1][ClassLevel::Cell(0, c)] = 1;
  L.slot[1].score = 4950;
  L.NetSendCPUGrid(1);  // as its drop sent it
  L.coPhase[1] = 4;
  L.HandleSmallHUD(16);
  ASSERT_EQ(L.slot[1].score, 5030u);
  L.HandleIdle(16);
  ASSERT_EQ(t.host.player.winner, 3);
  std::vector<GAMEPACKET> got;
  ASSERT_TRUE(Pump(t.all, [&] {
    t.peer->Read();
    got = t.peer->Packets();
    return !got.empty() && got.back().id == PKT_WINNER;
  }));
  uint32_t shown = 0;
  for (const GAMEPACKET& p : got)
    if (p.id == PKT_GRID && p.player == 2) shown = p.score;
  const GAMEPACKET& w = got.back();
  uint32_t ranked = 0;
  for (int i = 0; i < 4; i++)
    if (w.ranking[i] == 2) ranked = w.scores[i];
  EXPECT_EQ(ranked, 5030u);
  EXPECT_EQ(shown, 5030u);
}

// A game lost with its connection ends its trace as any other game does: the
// box, then the game's last line.
TEST(LevelNet, LostGamesEndTheirTrace) {
  const std::string dir = zt::TempDir("net_lost_trace");
  for (const bool hostSide : {true, false}) {
    SCOPED_TRACE(hostSide ? "the players left" : "the host was lost");
    Game g(1, Port(hostSide ? 20 : 21));
    g.Start();
    Console& stays = hostSide ? *g.host : *g.joiners[0];
    Console& goes = hostSide ? *g.joiners[0] : *g.host;
    const std::string path = dir + (hostSide ? "/host.txt" : "/joiner.txt");
    setenv("ZARN_TRACE", path.c_str(), 1);
    ASSERT_NE(stays.level.TraceFile(), nullptr);  // this console's alone
    unsetenv("ZARN_TRACE");
    goes.connection.Cleanup();
    FramesPastTheBox(stays);
    stays.level.CloseTrace();
    const std::vector<zt::TraceLine> trace = zt::ReadTrace(path);
    ASSERT_GE(trace.size(), 2u);
    EXPECT_EQ(trace[trace.size() - 2].at("kind"), "box");
    EXPECT_EQ(trace.back().at("kind"), "end");
    EXPECT_EQ(trace.back().count("winner") ? trace.back().at("winner") : "", "0");
  }
}

}  // namespace
