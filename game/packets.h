// Game packets of networked play: the payloads of the peer frames between the
// consoles of one game. A 4-byte header (tag 11, packet id, 16-bit total length,
// little-endian), then fields by packet id. Writing zeroes every byte that a
// packet does not use; reading checks the header, the length for the id,
// every number that will index something and a grid's cell codes, and drops
// what does not fit.
#ifndef ZARN_GAME_PACKETS_H
#define ZARN_GAME_PACKETS_H

#include <cstdint>

#include "game/level_types.h"

constexpr uint8_t kPacketTag = 11;
constexpr uint32_t kPacketMax = 252;      // the longest packet (start)
constexpr uint32_t kPacketJoinMax = 127;  // a join travels in a login queue
constexpr uint32_t kPacketSeatBytes = 52;

enum : uint8_t {
  PKT_REFUSED = 1,
  PKT_KEEPALIVE = 2,
  PKT_JOIN = 3,
  PKT_WELCOME = 4,
  PKT_START = 5,
  PKT_GRID = 6,
  PKT_STONES = 7,
  PKT_LEVEL = 8,
  PKT_WINNER = 9,
  PKT_DROPPED = 10,
  PKT_PAUSE = 11,
  PKT_RESUME = 12,
  PKT_PAUSEALIVE = 13,
};

// Every field any packet carries; which ones count depends on `id`.
struct GAMEPACKET {
  uint8_t id;
  uint8_t connection;  // the receiver's (or the sender's own) connection id
  uint8_t player;      // start: receiver's number; grid: owner; winner: winner byte;
                       // dropped: the dropped player
  uint8_t level;       // welcome, level
  uint32_t target;     // welcome: target score
  // join
  char name[32];  // read: at most 31 characters, always terminated
  // start
  uint8_t fallTable[16];
  uint8_t rotation[16];  // start, dropped, resume
  PLAYERSLOT seat[4];    // start: the host's own seat, then its seats 0 to 2
  // grid
  uint32_t score;
  uint8_t fallCounter;
  uint8_t cells[kGridCells];
  // stones
  uint8_t targetPlayer;  // 0: the receiver itself
  uint8_t source;
  uint8_t count;
  uint8_t attackKind;
  // winner
  uint32_t scores[4];
  uint8_t ranking[4];
  // resume
  uint8_t dropped[4];
};

// Total length of a packet with this id (a join: its shortest, an empty name).
// 0 for an id not in the table.
uint32_t GamePacket_Length(uint8_t id);

// Writes a packet; the join's name is `joinName` (null: empty, at most 122
// characters go out). Returns the length, 0 when `size` is too small or the id
// is unknown. Unused bytes are zero.
uint32_t GamePacket_Write(const GAMEPACKET& p, uint8_t* out, uint32_t size,
                          const char* joinName = nullptr);

// Reads a payload: 1 and the fields in `p`, or 0 when it is no packet, its
// length does not match its id, or a number is out of its range.
int GamePacket_Read(const uint8_t* data, uint32_t length, GAMEPACKET& p);

// Whether a grid may carry this cell code (a stone at rest or in one of the
// states a board shows while it moves).
bool GamePacket_CellOk(uint8_t code);

// A seat record in its 52-byte wire layout.
void GamePacket_PutSeat(uint8_t* out, const PLAYERSLOT& seat);
void GamePacket_GetSeat(const uint8_t* in, PLAYERSLOT& seat);

#endif
