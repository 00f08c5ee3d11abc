// Game packets byte by byte: every kind written and read back, the unused bytes
// zero, and every out-of-range number dropped on reading.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "game/packets.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Write(const GAMEPACKET& p, const char* name = nullptr) {
  Bytes out(300, 0xEE);
  const uint32_t n = GamePacket_Write(p, out.data(), static_cast<uint32_t>(out.size()), name);
  out.resize(n);
  return out;
}

// A packet whose every field holds something, on top of stale memory.
GAMEPACKET Filled(uint8_t id) {
  GAMEPACKET p;
  std::memset(&p, 0xA5, sizeof p);
  p.id = id;
  p.connection = 3;
  p.player = 2;
  p.level = 7;
  p.target = 0x01020304;
  for (int i = 0; i < 16; i++) {
    p.fallTable[i] = static_cast<uint8_t>(i & 1);
    p.rotation[i] = static_cast<uint8_t>(i % 3);
  }
  for (int s = 0; s < 4; s++) {
    PLAYERSLOT& seat = p.seat[s];
    std::memset(&seat, 0x5A, sizeof seat);
    std::snprintf(seat.name, sizeof seat.name, "Seat %d", s);
    seat.barShown = -5 + s;
    seat.bar = 1024 - s;
    seat.score = 100000u * static_cast<uint32_t>(s);
    seat.silence = 7;
    seat.connection = static_cast<uint8_t>(s);
    seat.kind = static_cast<uint8_t>(s + 1);
    seat.link = 2;
  }
  p.score = 123456;
  p.fallCounter = 200;
  for (int i = 0; i < kGridCells; i++) p.cells[i] = static_cast<uint8_t>(i % 16);
  p.targetPlayer = 1;
  p.source = 3;
  p.count = 2;
  p.attackKind = 3;
  for (int i = 0; i < 4; i++) {
    p.scores[i] = 4000u - 1000u * static_cast<uint32_t>(i);
    p.ranking[i] = static_cast<uint8_t>(3 - i);
    p.dropped[i] = i == 2;
  }
  return p;
}

void ExpectSeat(const PLAYERSLOT& a, const PLAYERSLOT& b) {
  EXPECT_STREQ(a.name, b.name);
  EXPECT_EQ(a.barShown, b.barShown);
  EXPECT_EQ(a.bar, b.bar);
  EXPECT_EQ(a.score, b.score);
  EXPECT_EQ(a.silence, b.silence);
  EXPECT_EQ(a.connection, b.connection);
  EXPECT_EQ(a.kind, b.kind);
  EXPECT_EQ(a.link, b.link);
}

TEST(Packets, EveryKindWrittenAndReadBack) {
  // The bytes each kind leaves unused: zero, whatever the buffer held.
  const std::vector<std::vector<int>> unused = {
      {}, {}, {}, {}, {9, 10, 11}, {38, 39, 248, 249, 250, 251, 91, 143, 195, 247},
      {}, {9, 10, 11}, {5, 6, 7}, {6, 7, 28, 29, 30, 31}, {22, 23}, {}, {25, 26, 27}, {}};
  for (uint8_t id = 1; id <= 13; id++) {
    const GAMEPACKET p = Filled(id);
    const Bytes b = Write(p, "Player One");
    ASSERT_EQ(b.size(), GamePacket_Length(id) + (id == PKT_JOIN ? 10u : 0u)) << int(id);
    EXPECT_EQ(b[0], 11);
    EXPECT_EQ(b[1], id);
    EXPECT_EQ(b[2] | b[3] << 8, static_cast<int>(b.size()));
    for (int k : unused[id]) EXPECT_EQ(b[k], 0) << int(id) << " byte " << k;
    GAMEPACKET q;
    ASSERT_EQ(GamePacket_Read(b.data(), static_cast<uint32_t>(b.size()), q), 1) << int(id);
    EXPECT_EQ(q.id, id);
    switch (id) {
      case PKT_JOIN:
        EXPECT_STREQ(q.name, "Player One");
        break;
      case PKT_WELCOME:
        EXPECT_EQ(q.target, p.target);
        EXPECT_EQ(q.level, p.level);
        break;
      case PKT_START:
        EXPECT_EQ(q.connection, 3);
        EXPECT_EQ(q.player, 2);
        EXPECT_EQ(0, std::memcmp(q.fallTable, p.fallTable, 16));
        EXPECT_EQ(0, std::memcmp(q.rotation, p.rotation, 16));
        for (int s = 0; s < 4; s++) ExpectSeat(q.seat[s], p.seat[s]);
        break;
      case PKT_GRID:
        EXPECT_EQ(q.score, p.score);
        EXPECT_EQ(q.connection, 3);
        EXPECT_EQ(q.player, 2);
        EXPECT_EQ(q.fallCounter, 200);
        EXPECT_EQ(0, std::memcmp(q.cells, p.cells, kGridCells));
        break;
      case PKT_STONES:
        EXPECT_EQ(q.targetPlayer, 1);
        EXPECT_EQ(q.source, 3);
        EXPECT_EQ(q.count, 2);
        EXPECT_EQ(q.attackKind, 3);
        break;
      case PKT_LEVEL:
        EXPECT_EQ(q.level, 7);
        break;
      case PKT_WINNER:
        EXPECT_EQ(q.player, 2);
        EXPECT_EQ(0, std::memcmp(q.scores, p.scores, sizeof q.scores));
        EXPECT_EQ(0, std::memcmp(q.ranking, p.ranking, 4));
        break;
      case PKT_DROPPED:
        EXPECT_EQ(q.player, 2);
        EXPECT_EQ(0, std::memcmp(q.rotation, p.rotation, 16));
        break;
      case PKT_RESUME:
        EXPECT_EQ(0, std::memcmp(q.rotation, p.rotation, 16));
        EXPECT_EQ(0, std::memcmp(q.dropped, p.dropped, 4));
        break;
      default:
        break;
    }
  }
}

TEST(Packets, WireBytes) {
  GAMEPACKET p{};
  p.id = PKT_KEEPALIVE;
  EXPECT_EQ(Write(p), (Bytes{11, 2, 4, 0}));
  p.id = PKT_WELCOME;
  p.target = 50000;
  p.level = 3;
  EXPECT_EQ(Write(p), (Bytes{11, 4, 12, 0, 0x50, 0xC3, 0, 0, 3, 0, 0, 0}));
  p = GAMEPACKET{};
  p.id = PKT_STONES;
  p.connection = 2;
  p.targetPlayer = 3;
  p.source = 1;
  p.count = 3;
  p.attackKind = 2;
  EXPECT_EQ(Write(p), (Bytes{11, 7, 12, 0, 2, 3, 1, 3, 2, 0, 0, 0}));
  p.id = PKT_JOIN;
  EXPECT_EQ(Write(p, "Al"), (Bytes{11, 3, 7, 0, 'A', 'l', 0}));
  EXPECT_EQ(Write(p), (Bytes{11, 3, 5, 0, 0}));
  // The transient wildcard code goes out as a plain wildcard.
  p = GAMEPACKET{};
  p.id = PKT_GRID;
  p.cells[0] = CELL_WILD_TAKING;
  p.cells[80] = 7;
  const Bytes g = Write(p);
  EXPECT_EQ(g[11], CELL_WILDCARD);
  EXPECT_EQ(g[91], 7);
  // The start packet's seat records: name, four words, connection, kind, link.
  p = Filled(PKT_START);
  const Bytes s = Write(p);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&s[92])), "Seat 1");
  EXPECT_EQ(s[92 + 32], 0xFC);  // barShown -4, little-endian
  EXPECT_EQ(s[92 + 35], 0xFF);
  EXPECT_EQ(s[92 + 48], 1);
  EXPECT_EQ(s[92 + 49], 2);
  EXPECT_EQ(s[92 + 50], 2);
  // Too small a buffer, an unknown id.
  uint8_t small[8];
  EXPECT_EQ(GamePacket_Write(p, small, 8), 0u);
  p.id = 14;
  EXPECT_EQ(GamePacket_Write(p, small, 8), 0u);
}

// Every code a board shows, at rest or moving, goes through a grid.
TEST(Packets, GridCellsABoardShows) {
  std::vector<uint8_t> codes;
  for (int v = 0; v <= 15; v++) codes.push_back(static_cast<uint8_t>(v));
  for (int base : {0x40, 0x50, 0x80, 0x90, 0xA0})
    for (int c = 1; c <= 15; c++) codes.push_back(static_cast<uint8_t>(base + c));
  for (int c = 1; c <= 7; c++) codes.push_back(static_cast<uint8_t>(0x60 + c));
  for (int v : {0xC1, 0xC2, 0xC3, 253, 255}) codes.push_back(static_cast<uint8_t>(v));
  GAMEPACKET p = Filled(PKT_GRID);
  for (size_t at = 0; at < codes.size(); at += kGridCells) {
    for (int i = 0; i < kGridCells; i++) p.cells[i] = codes[(at + static_cast<size_t>(i)) % codes.size()];
    const Bytes b = Write(p);
    GAMEPACKET q;
    ASSERT_EQ(GamePacket_Read(b.data(), static_cast<uint32_t>(b.size()), q), 1);
    EXPECT_EQ(0, std::memcmp(q.cells, p.cells, kGridCells));
  }
  size_t taken = 0;
  for (int v = 0; v < 256; v++) taken += GamePacket_CellOk(static_cast<uint8_t>(v));
  EXPECT_EQ(taken, codes.size());
}

TEST(Packets, JoinNames) {
  GAMEPACKET p{}, q;
  p.id = PKT_JOIN;
  const std::string forty(40, 'n');
  const Bytes b = Write(p, forty.c_str());
  ASSERT_EQ(b.size(), 45u);
  ASSERT_EQ(GamePacket_Read(b.data(), 45, q), 1);
  EXPECT_EQ(std::string(q.name), std::string(31, 'n'));
  // A name without its zero is still terminated; a join longer than a login
  // queue takes is dropped.
  const Bytes raw = {11, 3, 9, 0, 'a', 'b', 'c', 'd', 'e'};
  ASSERT_EQ(GamePacket_Read(raw.data(), 9, q), 1);
  EXPECT_STREQ(q.name, "abcde");
  Bytes big(128, 'x');
  big[0] = 11;
  big[1] = 3;
  big[2] = 128;
  big[3] = 0;
  EXPECT_EQ(GamePacket_Read(big.data(), 128, q), 0);
  big[2] = 127;
  EXPECT_EQ(GamePacket_Read(big.data(), 127, q), 1);
}

TEST(Packets, OutOfRangeIsDropped) {
  struct Case {
    uint8_t id;
    int offset;  // -1: the length given to the reader is one short
    uint8_t value;
  } cases[] = {
      {PKT_KEEPALIVE, 0, 12},  {PKT_KEEPALIVE, 2, 5},   {PKT_KEEPALIVE, 1, 0},
      {PKT_KEEPALIVE, 1, 14},  {PKT_STONES, -1, 0},     {PKT_WELCOME, 8, 0},
      {PKT_WELCOME, 8, 10},    {PKT_START, 4, 17},      {PKT_START, 5, 0},
      {PKT_START, 5, 4},       {PKT_START, 6, 2},       {PKT_START, 22, 3},
      {PKT_START, 40 + 49, 5}, {PKT_START, 92 + 50, 4}, {PKT_START, 144 + 48, 200},
      {PKT_GRID, 9, 4},        {PKT_GRID, 8, 255},      {PKT_STONES, 5, 4},
      {PKT_STONES, 6, 4},      {PKT_STONES, 7, 0},      {PKT_STONES, 7, 4},
      {PKT_STONES, 8, 4},      {PKT_LEVEL, 4, 0},       {PKT_LEVEL, 4, 10},
      {PKT_WINNER, 5, 0},      {PKT_WINNER, 5, 5},      {PKT_WINNER, 26, 4},
      {PKT_DROPPED, 5, 0},     {PKT_DROPPED, 5, 4},     {PKT_DROPPED, 21, 3},
      {PKT_RESUME, 22, 2},     {PKT_RESUME, 5, 3},      {PKT_RESUME, 4, 17},
      // Grid cells no board holds: modified colours, empty moving states, a
      // wildcard that takes no colour, the transient wildcard, unused ranges.
      {PKT_GRID, 11, 16},      {PKT_GRID, 12, 63},      {PKT_GRID, 13, 0x40},
      {PKT_GRID, 14, 0x50},    {PKT_GRID, 15, 0x68},    {PKT_GRID, 16, 0x70},
      {PKT_GRID, 17, 0x80},    {PKT_GRID, 18, 0xB5},    {PKT_GRID, 19, 0xC0},
      {PKT_GRID, 20, 0xC4},    {PKT_GRID, 21, 0xE0},    {PKT_GRID, 91, 0xFE},
  };
  for (const Case& c : cases) {
    Bytes b = Write(Filled(c.id));
    GAMEPACKET q;
    ASSERT_EQ(GamePacket_Read(b.data(), static_cast<uint32_t>(b.size()), q), 1) << int(c.id);
    uint32_t length = static_cast<uint32_t>(b.size());
    if (c.offset < 0) {
      b.pop_back();
      length--;
      b[2] = static_cast<uint8_t>(length);  // consistent header, wrong length for the id
    } else {
      b[static_cast<size_t>(c.offset)] = c.value;
    }
    EXPECT_EQ(GamePacket_Read(b.data(), length, q), 0) << int(c.id) << " @" << c.offset;
  }
  GAMEPACKET q;
  EXPECT_EQ(GamePacket_Read(nullptr, 0, q), 0);
  const uint8_t three[3] = {11, 2, 3};
  EXPECT_EQ(GamePacket_Read(three, 3, q), 0);
}

}  // namespace
