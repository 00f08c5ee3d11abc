#include "game/packets.h"

#include <cstring>

#include "framework/emod_bytes.h"

namespace {

const uint8_t kLengths[14] = {0, 4, 4, 5, 12, 252, 92, 12, 8, 32, 24, 4, 28, 4};

bool RotationOk(const uint8_t* r) {
  for (int i = 0; i < 16; i++)
    if (r[i] > 2) return false;
  return true;
}

// Peer ids are 1 to 16; 0 is the host itself.
bool ConnectionOk(uint8_t c) { return c <= 16; }

}  // namespace

// The cell codes a grid can carry: stones at rest (0 to 15) and the states a
// board shows while its stones move: breaking (0x40 + code), clearing (0x50 +
// code), a wildcard taking a colour (0x60 + colour), moving or falling (0x80,
// 0x90, 0xA0 + code), vacated (0xC1 to 0xC3), turning black (253) and
// exploded (255); a computer player's board goes out as the host holds it,
// mid-turn too. The transient wildcard (254) goes out as 14, and colours with
// a modifier (16 to 63) are never dealt.
bool GamePacket_CellOk(uint8_t v) {
  const uint8_t low = v & 15;
  switch (v >> 4) {
    case 0x0: return true;
    case 0x4:
    case 0x5:
    case 0x8:
    case 0x9:
    case 0xA: return low != 0;
    case 0x6: return low >= 1 && low <= 7;
    case 0xC: return low >= 1 && low <= 3;
    case 0xF: return v == 253 || v == 255;
    default: return false;
  }
}

namespace {

// ---- Writers of the packet kinds with a body (out is zeroed) ----

void PutStart(const GAMEPACKET& p, uint8_t* out) {
  out[4] = p.connection;
  out[5] = p.player;
  std::memcpy(out + 6, p.fallTable, 16);
  std::memcpy(out + 22, p.rotation, 16);
  for (int s = 0; s < 4; s++) GamePacket_PutSeat(out + 40 + 52 * s, p.seat[s]);
}

void PutGrid(const GAMEPACKET& p, uint8_t* out) {
  EBytes_Put32(out + 4, p.score);
  out[8] = p.connection;
  out[9] = p.player;
  out[10] = p.fallCounter;
  for (int i = 0; i < kGridCells; i++)
    out[11 + i] = p.cells[i] == CELL_WILD_TAKING ? static_cast<uint8_t>(CELL_WILDCARD) : p.cells[i];
}

void PutStones(const GAMEPACKET& p, uint8_t* out) {
  out[4] = p.connection;
  out[5] = p.targetPlayer;
  out[6] = p.source;
  out[7] = p.count;
  out[8] = p.attackKind;
}

void PutWinner(const GAMEPACKET& p, uint8_t* out) {
  out[4] = p.connection;
  out[5] = p.player;
  for (int i = 0; i < 4; i++) EBytes_Put32(out + 8 + 4 * i, p.scores[i]);
  std::memcpy(out + 24, p.ranking, 4);
}

void PutBody(const GAMEPACKET& p, uint8_t* out) {
  switch (p.id) {
    case PKT_WELCOME:
      EBytes_Put32(out + 4, p.target);
      out[8] = p.level;
      break;
    case PKT_START: PutStart(p, out); break;
    case PKT_GRID: PutGrid(p, out); break;
    case PKT_STONES: PutStones(p, out); break;
    case PKT_LEVEL: out[4] = p.level; break;
    case PKT_WINNER: PutWinner(p, out); break;
    case PKT_DROPPED:
      out[4] = p.connection;
      out[5] = p.player;
      std::memcpy(out + 6, p.rotation, 16);
      break;
    case PKT_RESUME:
      out[4] = p.connection;
      std::memcpy(out + 5, p.rotation, 16);
      std::memcpy(out + 21, p.dropped, 4);
      break;
    default:
      break;  // the join's name is written by the caller; the rest are header-only
  }
}

// ---- Readers of the packet kinds with a body: 1 when every number fits ----

int GetJoin(const uint8_t* data, uint32_t length, GAMEPACKET& p) {
  // The name ends at its zero or at the packet's end, whichever comes first,
  // and is cut to what a seat holds.
  uint32_t n = 0;
  while (n < 31 && 4 + n < length && data[4 + n]) n++;
  std::memcpy(p.name, data + 4, n);
  p.name[n] = 0;
  return 1;
}

int GetStart(const uint8_t* data, GAMEPACKET& p) {
  p.connection = data[4];
  p.player = data[5];
  std::memcpy(p.fallTable, data + 6, 16);
  std::memcpy(p.rotation, data + 22, 16);
  for (int s = 0; s < 4; s++) {
    GamePacket_GetSeat(data + 40 + 52 * s, p.seat[s]);
    if (p.seat[s].kind > SEAT_REMOTE || p.seat[s].link > LINK_DROPPED ||
        !ConnectionOk(p.seat[s].connection))
      return 0;
  }
  for (int i = 0; i < 16; i++)
    if (p.fallTable[i] > 1) return 0;
  return ConnectionOk(p.connection) && p.player >= 1 && p.player <= 3 && RotationOk(p.rotation);
}

int GetGrid(const uint8_t* data, GAMEPACKET& p) {
  p.score = EBytes_Get32(data + 4);
  p.connection = data[8];
  p.player = data[9];
  p.fallCounter = data[10];
  std::memcpy(p.cells, data + 11, kGridCells);
  for (int i = 0; i < kGridCells; i++)
    if (!GamePacket_CellOk(p.cells[i])) return 0;
  return ConnectionOk(p.connection) && p.player <= 3;
}

int GetStones(const uint8_t* data, GAMEPACKET& p) {
  p.connection = data[4];
  p.targetPlayer = data[5];
  p.source = data[6];
  p.count = data[7];
  p.attackKind = data[8];
  return ConnectionOk(p.connection) && p.targetPlayer <= 3 && p.source <= 3 && p.count >= 1 && p.count <= 3 &&
         p.attackKind <= 3;
}

int GetWinner(const uint8_t* data, GAMEPACKET& p) {
  p.connection = data[4];
  p.player = data[5];
  for (int i = 0; i < 4; i++) p.scores[i] = EBytes_Get32(data + 8 + 4 * i);
  std::memcpy(p.ranking, data + 24, 4);
  for (int i = 0; i < 4; i++)
    if (p.ranking[i] > 3) return 0;
  return ConnectionOk(p.connection) && p.player >= 1 && p.player <= 4;
}

int GetDropped(const uint8_t* data, GAMEPACKET& p) {
  p.connection = data[4];
  p.player = data[5];
  std::memcpy(p.rotation, data + 6, 16);
  return ConnectionOk(p.connection) && p.player >= 1 && p.player <= 3 && RotationOk(p.rotation);
}

int GetResume(const uint8_t* data, GAMEPACKET& p) {
  p.connection = data[4];
  std::memcpy(p.rotation, data + 5, 16);
  std::memcpy(p.dropped, data + 21, 4);
  for (int i = 0; i < 4; i++)
    if (p.dropped[i] > 1) return 0;
  return ConnectionOk(p.connection) && RotationOk(p.rotation);
}

}  // namespace

uint32_t GamePacket_Length(uint8_t id) { return id >= 1 && id <= 13 ? kLengths[id] : 0; }

void GamePacket_PutSeat(uint8_t* out, const PLAYERSLOT& seat) {
  std::memset(out, 0, kPacketSeatBytes);
  size_t n = 0;
  while (n < 31 && seat.name[n]) n++;
  std::memcpy(out, seat.name, n);
  EBytes_Put32(out + 32, static_cast<uint32_t>(seat.barShown));
  EBytes_Put32(out + 36, static_cast<uint32_t>(seat.bar));
  EBytes_Put32(out + 40, seat.score);
  EBytes_Put32(out + 44, seat.silence);
  out[48] = seat.connection;
  out[49] = seat.kind;
  out[50] = seat.link;
}

void GamePacket_GetSeat(const uint8_t* in, PLAYERSLOT& seat) {
  std::memcpy(seat.name, in, 32);
  seat.name[31] = 0;
  seat.barShown = static_cast<int32_t>(EBytes_Get32(in + 32));
  seat.bar = static_cast<int32_t>(EBytes_Get32(in + 36));
  seat.score = EBytes_Get32(in + 40);
  seat.silence = EBytes_Get32(in + 44);
  seat.connection = in[48];
  seat.kind = in[49];
  seat.link = in[50];
}

uint32_t GamePacket_Write(const GAMEPACKET& p, uint8_t* out, uint32_t size, const char* joinName) {
  uint32_t length = GamePacket_Length(p.id);
  if (length == 0) return 0;
  uint32_t nameLength = 0;
  if (p.id == PKT_JOIN && joinName) {
    while (nameLength < kPacketJoinMax - 5 && joinName[nameLength]) nameLength++;
    length += nameLength;
  }
  if (size < length) return 0;
  std::memset(out, 0, length);
  out[0] = kPacketTag;
  out[1] = p.id;
  EBytes_Put16(out + 2, length);
  if (nameLength) std::memcpy(out + 4, joinName, nameLength);
  PutBody(p, out);
  return length;
}

int GamePacket_Read(const uint8_t* data, uint32_t length, GAMEPACKET& p) {
  std::memset(&p, 0, sizeof p);
  if (!data || length < 4 || data[0] != kPacketTag) return 0;
  if (EBytes_Get16(data + 2) != length) return 0;
  const uint8_t id = data[1];
  const uint32_t want = GamePacket_Length(id);
  if (want == 0) return 0;
  if (id == PKT_JOIN ? (length < want || length > kPacketJoinMax) : length != want) return 0;
  p.id = id;
  switch (id) {
    case PKT_JOIN: return GetJoin(data, length, p);
    case PKT_WELCOME:
      p.target = EBytes_Get32(data + 4);
      p.level = data[8];
      return p.level >= 1 && p.level <= 9;
    case PKT_START: return GetStart(data, p);
    case PKT_GRID: return GetGrid(data, p);
    case PKT_STONES: return GetStones(data, p);
    case PKT_LEVEL:
      p.level = data[4];
      return p.level >= 1 && p.level <= 9;
    case PKT_WINNER: return GetWinner(data, p);
    case PKT_DROPPED: return GetDropped(data, p);
    case PKT_RESUME: return GetResume(data, p);
    default: return 1;  // header-only packets
  }
}
