// Network play of the level: the connection's events, the receive queues, the
// game packets each console accepts in each state, the senders, keep-alives and
// dropped seats. Packets are built and checked by game/packets.cpp.
//
// Seat links: LINK_FREE (waiting for a player), LINK_CONNECTED, LINK_DROPPED;
// nothing else is ever written. The winner byte always holds the winning
// player number + 1, and only the host decides it: a joining console that
// reaches the target reports its score and waits for the host's winner packet,
// so every console shows the same winner and ranking.
#include <cstring>

#include "game/app.h"
#include "game/level.h"
#include "game/packets.h"
#include "game/player.h"
#include "net/emod_connect.h"

namespace {

// Largest payload each queue hands out; bigger messages are dropped.
constexpr uint32_t kLoginPayload = 127;
constexpr uint32_t kSeatPayload = 511;
// Messages taken out per data event, so one event cannot spin for long.
constexpr int kMessagesPerEvent = 64;
// A peer silent this long is gone; a connection in the lobby has as long to join.
constexpr uint32_t kSilenceLimit = 5000;

void CopyName(char* out, const char* in) {
  size_t n = 0;
  while (n < 31 && in[n]) n++;
  std::memcpy(out, in, n);
  std::memset(out + n, 0, 32 - n);
}

}  // namespace

void ClassLevel::NetSetup() {
  for (auto& s : netStack) s.Alloc(256);
  for (auto& s : netStackBig) s.Alloc(8192);
}

ClassEConnect* ClassLevel::Net() const {
  return mainData && mainData->ecd ? mainData->ecd->net[0] : nullptr;
}

bool ClassLevel::NetHost() const {
  const ClassPlayer* pl = Player();
  return pl && pl->Hosting();
}

bool ClassLevel::NetJoining() const {
  const ClassPlayer* pl = Player();
  return pl && pl->Joined();
}

uint8_t ClassLevel::OwnPlayer() const {
  const uint8_t own = slot[3].kind;
  return NetJoining() && own > kHostPlayer && own < kPlayers ? own : kHostPlayer;
}

int32_t ClassLevel::SeatOfPlayer(uint32_t player) const {
  const uint32_t own = OwnPlayer();
  if (player > 3 || player == own) return -1;
  return static_cast<int32_t>(player < own ? player : player - 1);
}

uint8_t ClassLevel::PlayerOfSeat(uint32_t seat) const {
  const uint32_t own = OwnPlayer();
  return static_cast<uint8_t>(seat < own ? seat : seat + 1);
}

bool ClassLevel::SeatActive(uint32_t seat) const {
  if (seat > 2) return false;
  return IsActiveSeat(slot[seat]);
}

uint32_t ClassLevel::ActiveCoPlayers() const {
  uint32_t n = 0;
  for (uint32_t s = 0; s < 3; s++) n += SeatActive(s);
  return n;
}

void ClassLevel::NotifyWindow(const char* line1, const char* line2, const char* line3) {
  if (levelState == ST_MESSAGE) return;
  messageTimer = 4000;
  returnState = levelState;
  levelState = ST_MESSAGE;
  const char* lines[3] = {line1, line2, line3};
  for (int i = 0; i < 3; i++) {
    std::memset(messageLine[i], 0, sizeof messageLine[i]);
    if (lines[i]) CopyName(messageLine[i], lines[i]);
  }
  TraceMessage();
}

void ClassLevel::NetGameOver(const char* line1, const char* line2, const char* line3) {
  NotifyWindow(line1, line2, line3);
  returnState = ST_RESTART;
  TraceEnd();
}

// ---- Senders -------------------------------------------------------------------

void ClassLevel::NetSendPacket(const GAMEPACKET& p, uint8_t target) {
  ClassEConnect* c = Net();
  if (!c) return;
  uint8_t buffer[kPacketMax + kPacketJoinMax];
  const uint32_t n = GamePacket_Write(p, buffer, sizeof buffer, p.id == PKT_JOIN ? p.name : nullptr);
  if (n) c->Send(buffer, static_cast<int32_t>(n), target);
}

void ClassLevel::NetSendToSeats(GAMEPACKET& p, int32_t except) {
  for (int32_t s = 0; s < 3; s++) {
    if (s == except || !IsLinkedRemote(slot[s])) continue;
    p.connection = slot[s].connection;
    NetSendPacket(p, slot[s].connection);
  }
}

void ClassLevel::NetSendID(uint8_t target, uint8_t id) {
  GAMEPACKET p{};
  p.id = id;
  NetSendPacket(p, target);
}

void ClassLevel::NetSendJoin() {
  GAMEPACKET p{};
  p.id = PKT_JOIN;
  if (mainData && mainData->settings) CopyName(p.name, mainData->settings->PlayerName());
  NetSendPacket(p, 0);
}

void ClassLevel::NetSendGrid() {
  const ClassPlayer* pl = Player();
  if (!pl || !pl->Networked()) return;
  GAMEPACKET p{};
  p.id = PKT_GRID;
  p.score = pl->score;
  p.fallCounter = fallCounter;
  std::memcpy(p.cells, grid, kGridCells);
  if (NetJoining()) {
    p.connection = slot[3].connection;
    p.player = OwnPlayer();
    NetSendPacket(p, 0);
    return;
  }
  p.player = 0;
  NetSendToSeats(p);
}

void ClassLevel::NetSendStonePkg(uint8_t source, uint8_t target, uint8_t count, uint8_t kind) {
  const ClassPlayer* pl = Player();
  if (!pl || pl->mode != MODE_MULTI) return;
  GAMEPACKET p{};
  p.id = PKT_STONES;
  p.source = source;
  p.count = count;
  p.attackKind = kind;
  if (NetJoining()) {
    if (target == OwnPlayer() || target > 3) return;
    p.connection = slot[3].connection;
    p.targetPlayer = target;
    NetSendPacket(p, 0);
    return;
  }
  if (pl->kind > MULTI_HOST_WIRELESS || target == 0 || target > 3) return;
  const uint32_t seat = target - 1u;
  const PLAYERSLOT& s = slot[seat];
  if (IsLinkedRemote(s)) {
    p.connection = s.connection;
    p.targetPlayer = 0;
    NetSendPacket(p, s.connection);
  } else if (IsComputerSeat(s.kind)) {
    AddCPUVsQueue(seat, count, kind);
  }
}

void ClassLevel::NetSendCPUGrid(uint8_t seat) {
  if (!NetHost() || seat > 2) return;
  GAMEPACKET p{};
  p.id = PKT_GRID;
  p.score = slot[seat].score;
  p.player = static_cast<uint8_t>(seat + 1);
  p.fallCounter = coFallCounter[seat];
  std::memcpy(p.cells, coGrid[seat], kGridCells);
  NetSendToSeats(p);
}

void ClassLevel::NetSendWinner() {
  ClassPlayer* pl = Player();
  if (!pl || pl->mode != MODE_MULTI) return;
  if (NetJoining()) {
    GAMEPACKET p{};
    p.id = PKT_WINNER;
    p.connection = slot[3].connection;
    p.player = OwnPlayer();
    p.scores[0] = pl->score;
    NetSendPacket(p, 0);
    return;
  }
  // Four passes; from player 3 down, an equal score displaces the best so far,
  // so equal scores rank the lower player number first.
  uint32_t score[4] = {pl->score, slot[0].score, slot[1].score, slot[2].score};
  bool ranked[4] = {};
  for (int place = 0; place < 4; place++) {
    int best = -1;
    for (int q = 3; q >= 0; q--)
      if (!ranked[q] && (best < 0 || score[q] >= score[best])) best = q;
    ranked[best] = true;
    pl->ranking[place] = static_cast<uint8_t>(best);
    pl->finalScore[place] = static_cast<int32_t>(score[best]);
  }
  if (pl->kind != MULTI_HOST_TCP && pl->kind != MULTI_HOST_WIRELESS) return;
  GAMEPACKET p{};
  p.id = PKT_WINNER;
  p.player = pl->winner;
  for (int i = 0; i < 4; i++) {
    p.scores[i] = static_cast<uint32_t>(pl->finalScore[i]);
    p.ranking[i] = pl->ranking[i];
  }
  NetSendToSeats(p);
}

void ClassLevel::NetSendLevel() {
  const ClassPlayer* pl = Player();
  if (!NetHost()) return;
  GAMEPACKET p{};
  p.id = PKT_LEVEL;
  p.level = pl->level;
  for (int s = 0; s < 3; s++)
    if (IsLinkedRemote(slot[s])) NetSendPacket(p, slot[s].connection);
}

void ClassLevel::NetSendStart() {
  if (!NetHost()) return;
  GAMEPACKET p{};
  p.id = PKT_START;
  std::memcpy(p.fallTable, fallTable, 16);
  std::memcpy(p.rotation, attackRotation, 16);
  p.seat[0] = slot[3];
  for (int s = 0; s < 3; s++) p.seat[s + 1] = slot[s];
  for (int s = 0; s < 3; s++) {
    if (!IsLinkedRemote(slot[s])) continue;
    p.connection = slot[s].connection;
    p.player = static_cast<uint8_t>(s + 1);
    NetSendPacket(p, slot[s].connection);
  }
}

void ClassLevel::NetTimers(uint32_t delta) {
  const ClassPlayer* pl = Player();
  if (!pl || pl->mode != MODE_MULTI || pl->kind == MULTI_VERSUS_CPU) return;
  const bool paused = levelState == ST_NETPAUSE;
  keepAliveTimer += delta;
  if (keepAliveTimer >= 1000) {
    keepAliveTimer = 0;
    NetSendID(0, paused ? PKT_PAUSEALIVE : PKT_KEEPALIVE);
  }
  if (paused) {
    // The resume decides who is gone; here the silence only counts.
    for (int s = 0; s < 3; s++) slot[s].silence += delta;
    return;
  }
  ClassEConnect* c = Net();
  if (NetJoining()) {
    slot[3].silence += delta;
    if (slot[3].silence >= kSilenceLimit) {
      slot[3].silence = 0;
      if (c) c->Disconnect(0);
      OnNetMessage(0, 6, 0, nullptr);
    }
    return;
  }
  for (int s = 0; s < 3; s++) {
    if (!IsLinkedRemote(slot[s])) continue;
    slot[s].silence += delta;
    if (slot[s].silence >= kSilenceLimit) {
      const uint8_t peer = slot[s].connection;
      if (c) c->Disconnect(peer);
      OnNetMessage(peer, 6, 0, nullptr);
    }
  }
}

void ClassLevel::NetLobbyTimers(uint32_t delta) {
  if (!NetHost() || levelState != ST_PLAYERSELECT) return;
  for (int i = 0; i < 8; i++) {
    if (!loginTable[i][1] || loginTable[i][2]) continue;
    loginAge[i] += delta;
    if (loginAge[i] < kSilenceLimit) continue;
    // The connection raises no close for a peer it dropped itself: free the
    // entry as a close would.
    const uint8_t peer = loginTable[i][0];
    if (ClassEConnect* c = Net()) c->Disconnect(peer);
    OnNetMessage(peer, 6, 0, nullptr);
  }
}

// ---- Events ----------------------------------------------------------------------

void ClassLevel::OnNetMessage(int32_t peer, int32_t code, int32_t length, uint8_t* data) {
  if (!Player()) return;
  switch (code) {
    case 1:
      if (levelState == ST_HOSTSETUP) {
        NotifyWindow("Host failed to start.", "Please recheck", "your connection.");
        returnState = ST_MULTIMENU;
      }
      break;
    case 2:
      NetLost(peer, 2);
      break;
    case 3:
      if (levelState == ST_HOSTSETUP) NetHostStarted(data, length);
      break;
    case 4:
      if (levelState == ST_JOIN) {
        stateTimer = 10000;
        netStackBig[0].Clear();
        winnerSent = 0;
      }
      break;
    case 5:
      if (peer >= 1 && peer <= static_cast<int32_t>(kNetMaxPeers) && NetHost()) NetPeerArrived(peer);
      break;
    case 6:
      NetLost(peer, 6);
      break;
    case 7:
      if (data && length > 0) NetReceive(peer, data, static_cast<uint32_t>(length));
      break;
    default:
      break;  // the wireless transport raises nothing here
  }
}

void ClassLevel::NetHostStarted(const uint8_t* address, int32_t length) {
  std::memset(ownAddress, 0, sizeof ownAddress);
  if (address && length > 0) std::memcpy(ownAddress, address, static_cast<size_t>(length < 31 ? length : 31));
  levelState = ST_PLAYERSELECT;
  ResetCoPlayers();
  for (int i = 0; i < 8; i++) {
    loginTable[i][0] = static_cast<uint8_t>(i + 1);
    loginTable[i][1] = loginTable[i][2] = loginTable[i][3] = 0;
    loginAge[i] = 0;
    netStack[i].Clear();
  }
  for (auto& s : netStackBig) s.Clear();
}

void ClassLevel::NetPeerArrived(int32_t peer) {
  if (levelState != ST_PLAYERSELECT) {
    // A newcomer during play is nobody: a login its slot's earlier peer left
    // behind must not let it speak for that peer's seat.
    for (int i = 0; i < 8; i++)
      if (loginTable[i][0] == peer) loginTable[i][1] = loginTable[i][2] = 0;
    return;
  }
  for (int i = 0; i < 8; i++) {
    if (loginTable[i][1]) continue;
    loginTable[i][0] = static_cast<uint8_t>(peer);
    loginTable[i][1] = 1;
    loginTable[i][2] = 0;
    loginAge[i] = 0;
    netStack[i].Clear();  // nothing a previous peer left may reach this one
    return;
  }
  NetRefuse(peer);
}

void ClassLevel::NetRefuse(int32_t peer) {
  NetSendID(static_cast<uint8_t>(peer), PKT_REFUSED);
  if (ClassEConnect* c = Net()) c->Disconnect(static_cast<uint8_t>(peer));
}

void ClassLevel::NetLost(int32_t peer, int32_t code) {
  ClassPlayer* pl = Player();
  if (levelState == ST_JOIN) {
    // A join given up leaves no half-open connection that would hold a seat.
    if (ClassEConnect* c = Net()) c->Disconnect(0);
    levelState = ST_HOSTSELECT;
    if (stateTimer < 20000)
      NotifyWindow("Failed to connect.", "Please recheck", "your connection.");
    else
      NotifyWindow("Connection refused.", "Please connect to", "a different host.");
    return;
  }
  if (levelState == ST_NETPAUSE) {
    if (NetHost()) {
      for (int s = 0; s < 3; s++)
        if (slot[s].connection == peer && IsLinkedRemote(slot[s])) slot[s].link = LINK_DROPPED;
      if (ActiveCoPlayers() == 0) NetGameOver("All players have left", "the game.", nullptr);
    } else if (NetJoining()) {
      NetGameOver("Disconnected by host.", "Please connect to", "a different host.");
    }
    return;
  }
  if (code != 6) return;
  if (levelState == ST_PLAYERSELECT && NetHost()) {
    for (int i = 0; i < 8; i++) {
      if (!loginTable[i][1] || loginTable[i][0] != peer) continue;
      if (loginTable[i][2])
        for (int s = 0; s < 3; s++)
          if (slot[s].connection == peer && slot[s].kind == SEAT_REMOTE) slot[s].link = LINK_FREE;
      loginTable[i][1] = loginTable[i][2] = 0;
    }
    return;
  }
  if (levelState != ST_PLAY) return;
  if (NetHost()) {
    for (int s = 0; s < 3; s++)
      if (slot[s].connection == peer && IsLinkedRemote(slot[s])) NetSeatDropped(s);
  } else if (NetJoining() && pl->winner == 0) {
    NetGameOver("Lost connection", "with host.", nullptr);
  }
}

void ClassLevel::NetSeatDropped(int32_t seat) {
  ClassPlayer* pl = Player();
  slot[seat].link = LINK_DROPPED;
  if (ActiveCoPlayers() == 0) {
    if (pl->winner == 0) NetGameOver("All players have left", "the game.", nullptr);
    return;
  }
  BuildAttackRotation();
  GAMEPACKET p{};
  p.id = PKT_DROPPED;
  p.player = static_cast<uint8_t>(seat + 1);
  std::memcpy(p.rotation, attackRotation, 16);
  NetSendToSeats(p);
}

void ClassLevel::NetReceive(int32_t peer, const uint8_t* data, uint32_t length) {
  ENetStack* queue = nullptr;
  uint32_t bound = kSeatPayload;
  int32_t seat = -1;
  if (NetHost()) {
    if (peer < 1 || peer > static_cast<int32_t>(kNetMaxPeers)) return;
    int login = -1;
    for (int i = 0; i < 8; i++)
      if (loginTable[i][1] && loginTable[i][0] == peer) login = i;
    if (login < 0) return;
    const bool inPlay = levelState == ST_PLAY || levelState == ST_NETPAUSE;
    if (levelState == ST_PLAYERSELECT && !loginTable[login][2]) {
      queue = &netStack[login];
      bound = kLoginPayload;
    } else if ((levelState == ST_PLAYERSELECT || inPlay) && loginTable[login][2]) {
      // Only a seat still connected speaks: a dropped seat keeps its old
      // connection id, which a newcomer given the same slot must not inherit.
      for (int s = 0; s < 3 && seat < 0; s++)
        if (IsLinkedRemote(slot[s]) && slot[s].connection == peer) seat = s;
      if (seat < 0) return;
      queue = &netStackBig[seat];
      // Its bytes show it is there, however many messages wait before its
      // keep-alive.
      if (inPlay) slot[seat].silence = 0;
    }
  } else if (NetJoining()) {
    if (peer != 0) return;
    if (levelState == ST_JOIN || levelState == ST_PLAY || levelState == ST_NETPAUSE)
      queue = &netStackBig[0];
    if (levelState == ST_PLAY || levelState == ST_NETPAUSE) slot[3].silence = 0;
  }
  if (!queue) return;
  queue->Push(data, length);
  for (int n = 0; n < kMessagesPerEvent; n++) {
    const uint32_t size = queue->Peek();
    if (size == 0) break;
    if (size > bound) {
      queue->Drop();
      continue;
    }
    uint8_t buffer[kSeatPayload + 1];
    uint32_t got = sizeof buffer;
    const int kind = queue->Pop(buffer, got);
    if (kind == ENETPOP_PINGREQUEST) {
      if (ClassEConnect* c = Net()) c->RespondPing(static_cast<uint8_t>(peer));
      continue;
    }
    if (kind != ENETPOP_MESSAGE) continue;
    GAMEPACKET p;
    if (!GamePacket_Read(buffer, got, p)) continue;
    NetPacket(peer, seat, p);
  }
}

// One function per packet kind; the dispatchers check the state and the seat.
void ClassLevel::NetPacket(int32_t peer, int32_t seat, const GAMEPACKET& p) {
  if (NetHost())
    HostPacket(peer, seat, p);
  else if (NetJoining())
    JoinerPacket(p);
}

void ClassLevel::HostPacket(int32_t peer, int32_t seat, const GAMEPACKET& p) {
  if (levelState == ST_PLAYERSELECT) {
    // A seated peer is only answered its pings until the start.
    if (p.id == PKT_JOIN && seat < 0) HostJoinPacket(peer, p);
    return;
  }
  if (seat < 0 || seat > 2) return;
  PLAYERSLOT& from = slot[seat];
  if (levelState == ST_NETPAUSE) {
    if (p.id == PKT_PAUSEALIVE) from.silence = 0;
    return;
  }
  if (levelState != ST_PLAY) return;
  switch (p.id) {
    case PKT_GRID:
      HostGridPacket(seat, p);
      return;
    case PKT_STONES:
      HostStonesPacket(seat, p);
      return;
    case PKT_WINNER:
      HostWinnerPacket(seat, p);
      return;
    case PKT_PAUSE:
      NetSendID(0, PKT_PAUSE);
      EnterNetPause();
      return;
    case PKT_KEEPALIVE:
      from.silence = 0;
      return;
    default:
      return;
  }
}

void ClassLevel::HostJoinPacket(int32_t peer, const GAMEPACKET& p) {
  const ClassPlayer* pl = Player();
  for (int i = 0; i < 8; i++)
    if (loginTable[i][1] && loginTable[i][0] == peer && loginTable[i][2]) return;  // joined already
  for (int s = 0; s < 3; s++) {
    if (slot[s].kind != SEAT_REMOTE || slot[s].link != LINK_FREE) continue;
    slot[s].connection = static_cast<uint8_t>(peer);
    slot[s].link = LINK_CONNECTED;
    slot[s].silence = 0;
    CopyName(slot[s].name, p.name);
    netStackBig[s].Clear();  // nothing an earlier occupant left may speak for this one
    for (int i = 0; i < 8; i++)
      if (loginTable[i][1] && loginTable[i][0] == peer) loginTable[i][2] = 1;
    GAMEPACKET w{};
    w.id = PKT_WELCOME;
    w.target = pl->targetScore;
    w.level = pl->level;
    NetSendPacket(w, static_cast<uint8_t>(peer));
    return;
  }
  NetRefuse(peer);
}

void ClassLevel::HostGridPacket(int32_t seat, const GAMEPACKET& p) {
  if (p.connection != slot[seat].connection || p.player != seat + 1) return;
  TakeCoGrid(seat, p);
  GAMEPACKET relay = p;
  NetSendToSeats(relay, seat);
}

void ClassLevel::HostStonesPacket(int32_t seat, const GAMEPACKET& p) {
  if (p.connection != slot[seat].connection) return;
  if (p.targetPlayer == 0) {
    ReceiveStones(static_cast<uint32_t>(seat), p.count, p.attackKind);
    return;
  }
  const int to = p.targetPlayer - 1;
  if (to == seat) return;
  if (IsLinkedRemote(slot[to])) {
    GAMEPACKET relay = p;
    relay.connection = slot[to].connection;
    relay.targetPlayer = 0;
    NetSendPacket(relay, slot[to].connection);
  } else if (IsComputerSeat(slot[to].kind)) {
    AddCPUVsQueue(static_cast<uint32_t>(to), p.count, p.attackKind);
  }
}

void ClassLevel::HostWinnerPacket(int32_t seat, const GAMEPACKET& p) {
  ClassPlayer* pl = Player();
  if (p.connection != slot[seat].connection || p.player != seat + 1 || pl->winner != 0) return;
  // A claim must reach the target and match what the seat's boards showed:
  // scores only grow.
  if (p.scores[0] < pl->targetScore || p.scores[0] < gridScore[seat]) return;
  slot[seat].score = p.scores[0];
  pl->winner = static_cast<uint8_t>(p.player + 1);
  NetSendWinner();
}

void ClassLevel::JoinerPacket(const GAMEPACKET& p) {
  if (levelState == ST_JOIN) {
    if (p.id == PKT_WELCOME && stateTimer < 20000)
      JoinWelcomePacket(p);
    else if (p.id == PKT_START && stateTimer >= 20000)
      JoinStartPacket(p);
    return;
  }
  if (levelState == ST_NETPAUSE) {
    if (p.id == PKT_RESUME && p.connection == slot[3].connection)
      JoinResumePacket(p);
    else if (p.id == PKT_PAUSEALIVE)
      slot[3].silence = 0;
    return;
  }
  if (levelState == ST_PLAY) JoinerPlayPacket(p);
}

void ClassLevel::JoinerPlayPacket(const GAMEPACKET& p) {
  ClassPlayer* pl = Player();
  // A packet that names a connection must name this console's own.
  const bool own = p.connection == slot[3].connection;
  switch (p.id) {
    case PKT_GRID: {
      const int32_t s = SeatOfPlayer(p.player);
      if (own && s >= 0) TakeCoGrid(s, p);
      return;
    }
    case PKT_STONES: {
      const int32_t s = SeatOfPlayer(p.source);
      if (own && s >= 0) ReceiveStones(static_cast<uint32_t>(s), p.count, p.attackKind);
      return;
    }
    case PKT_LEVEL:
      pl->level = p.level;
      CreateRandom(p.level);
      return;
    case PKT_WINNER:
      if (own) JoinWinnerPacket(p);
      return;
    case PKT_DROPPED:
      if (own) JoinDroppedPacket(p);
      return;
    case PKT_PAUSE: EnterNetPause(); return;
    case PKT_KEEPALIVE:
      slot[3].silence = 0;
      return;
    default:
      return;
  }
}

void ClassLevel::JoinWelcomePacket(const GAMEPACKET& p) {
  ClassPlayer* pl = Player();
  pl->level = p.level;
  pl->targetScore = p.target;
  CreateRandom(p.level);
  nextStone[0] = GetNextStone();
  nextStone[1] = GetNextStone();
  stateTimer = 20000;
}

void ClassLevel::JoinStartPacket(const GAMEPACKET& p) {
  PLAYERSLOT& own = slot[3];
  own.kind = p.player;
  own.connection = p.connection;
  own.link = LINK_CONNECTED;
  own.score = 0;
  own.silence = 0;
  Player()->score = 0;
  if (mainData && mainData->settings) CopyName(own.name, mainData->settings->PlayerName());
  std::memcpy(fallTable, p.fallTable, 16);
  std::memcpy(attackRotation, p.rotation, 16);
  rotationIndex = static_cast<uint8_t>(p.player * 4);
  for (uint32_t q = 0; q < 4; q++) {
    const int32_t s = SeatOfPlayer(q);
    if (s < 0) continue;
    slot[s] = p.seat[q];
    slot[s].silence = 0;
  }
  winnerSent = 0;
  levelState = ST_PLAY;
}

void ClassLevel::JoinResumePacket(const GAMEPACKET& p) {
  for (uint32_t q = 1; q < 4; q++) {
    const int32_t s = SeatOfPlayer(q);
    if (p.dropped[q] && s >= 0) slot[s].link = LINK_DROPPED;
  }
  std::memcpy(attackRotation, p.rotation, 16);
  levelState = ST_PLAY;
}

void ClassLevel::JoinWinnerPacket(const GAMEPACKET& p) {
  ClassPlayer* pl = Player();
  for (int i = 0; i < 4; i++) {
    pl->ranking[i] = p.ranking[i];
    pl->finalScore[i] = static_cast<int32_t>(p.scores[i]);
  }
  pl->winner = p.player;
}

void ClassLevel::JoinDroppedPacket(const GAMEPACKET& p) {
  const int32_t s = SeatOfPlayer(p.player);
  std::memcpy(attackRotation, p.rotation, 16);
  if (s >= 0) slot[s].link = LINK_DROPPED;
}

void ClassLevel::TakeCoGrid(int32_t seat, const GAMEPACKET& p) {
  slot[seat].score = p.score;
  gridScore[seat] = p.score;
  coFallCounter[seat] = p.fallCounter;
  coPhase[seat] = 1;
  std::memcpy(coGrid[seat], p.cells, kGridCells);
  std::memset(coFallStep[seat], 0, sizeof coFallStep[seat]);
  TraceGrid(p.player, p.score, coGrid[seat]);
}

// ---- Set-up states -------------------------------------------------------------------

void ClassLevel::NetHostSetupFrame(uint32_t* module, uint32_t* message, uint32_t delta) {
  const ClassPlayer* pl = Player();
  if (!pl || levelState != ST_HOSTSETUP) return;
  if (stateTimer == 0) {
    stateTimer = 1;  // one frame of the screen first
  } else if (stateTimer == 1) {
    *module = MODULE_NETSTART;
    *message = pl->kind == MULTI_HOST_WIRELESS ? 17 : 16;
    stateTimer = 2;
  } else {
    stateTimer += delta;
    if (stateTimer >= 3000) OnNetMessage(0, 1, 0, nullptr);
  }
}

void ClassLevel::NetJoinFrame(uint32_t* module, uint32_t* message, uint32_t delta, bool cancel) {
  const ClassPlayer* pl = Player();
  if (!pl || levelState != ST_JOIN || !mainData) return;
  if (stateTimer == 0) {
    stateTimer = 1;
  } else if (stateTimer == 1) {
    const uint32_t entry = menuCursor < 6 ? menuCursor : 0;
    CopyName(mainData->joinaddress, hostAddresses[entry]);
    mainData->joinaddress[32] = 0;
    mainData->joinport = pl->kind == MULTI_JOIN_TCP ? ClassMain::GamePort() : hostPorts[entry];
    *module = MODULE_NETSTART;
    *message = pl->kind == MULTI_JOIN_TCP ? 18 : 19;
    stateTimer = 2;
  } else if (stateTimer < 10000) {
    stateTimer += delta;
    if (stateTimer >= 3000 && stateTimer < 10000) OnNetMessage(0, 2, 0, nullptr);
  } else if (stateTimer == 10000) {
    NetSendJoin();
    stateTimer = 10001;
  } else if (stateTimer < 20000) {
    stateTimer += delta;
    if (stateTimer >= 13000 && stateTimer < 20000) OnNetMessage(0, 2, 0, nullptr);
  } else if (cancel) {
    levelState = ST_HOSTSELECT;
    if (ClassEConnect* c = Net()) c->Disconnect(0);
  }
}

bool ClassLevel::NetStartGame() {
  if (netAutoStart) {
    // The start switch's computer players take the seats nobody joined.
    uint32_t k = 0;
    for (auto& s : slot) {
      if (&s == &slot[3] || s.kind != SEAT_REMOTE || s.link == LINK_CONNECTED) continue;
      const uint8_t cpu = k < 3 ? netAutoCpu[k++] : 0;
      if (IsComputerSeat(cpu)) {
        s.kind = cpu;
        s.link = LINK_FREE;
      }
    }
  }
  if (ActiveCoPlayers() == 0) return false;
  rotationIndex = 0;
  BuildAttackRotation();
  NetSendStart();
  slot[3].kind = kHostPlayer;  // the host's player number from here on
  slot[3].silence = 0;
  for (auto& s : slot) s.silence = 0;
  keepAliveTimer = 0;
  levelState = ST_PLAY;
  return true;
}

void ClassLevel::NetResume() {
  if (!NetHost() || levelState != ST_NETPAUSE) return;
  uint8_t dropped[4] = {};
  for (int s = 0; s < 3; s++) {
    if (slot[s].kind != SEAT_REMOTE) continue;
    if (slot[s].link == LINK_DROPPED || slot[s].silence >= kSilenceLimit) {
      slot[s].link = LINK_DROPPED;
      dropped[s + 1] = 1;
    }
  }
  if (ActiveCoPlayers() == 0) {
    NetGameOver("All players have left", "the game.", nullptr);
    return;
  }
  BuildAttackRotation();
  GAMEPACKET p{};
  p.id = PKT_RESUME;
  std::memcpy(p.rotation, attackRotation, 16);
  std::memcpy(p.dropped, dropped, 4);
  NetSendToSeats(p);
  for (auto& s : slot) s.silence = 0;
  levelState = ST_PLAY;
}
