// The level's receive path as the game runs it: bytes from a peer arrive as data
// events, go into the login or seat queue, come out as frames, are read as game
// packets and handled by the console's role and state. The level has no
// connection here, so what it would send goes nowhere. Afterwards every field a
// packet may have set must still be inside its range.
//
// Input: byte 0 picks the role and state (host seating, host playing, host
// paused, joiner logging in, joiner waiting for the start, joiner playing,
// joiner paused), byte 1 the piece size; then pieces, each led by a byte that
// picks the sending peer (the host's peers 1 to 4; a joiner's is always 0).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "framework/emod_input.h"
#include "framework/emod_math.h"
#include "game/app.h"
#include "game/level.h"
#include "game/packets.h"
#include "game/player.h"

namespace {

[[noreturn]] void Fault() { std::abort(); }

bool Terminated(const char* text, size_t size) { return std::memchr(text, 0, size) != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > (1u << 16)) return 0;
  const uint8_t role = data[0] % 7;
  const uint32_t piece = 1 + data[1] * 4u;
  data += 2;
  size -= 2;

  ClassEInput input;
  ClassEMath math;
  math.Init();
  ECD ecd{};
  ecd.input = &input;
  ecd.math = &math;
  ClassPlayer player;
  ClassSound sound;
  MAINCONFIG settings{};
  std::memset(settings.bytes, 0, sizeof settings.bytes);
  std::memcpy(settings.bytes + 90, "Fuzz", 5);
  MAINDATA md{};
  md.player = &player;
  md.sound = &sound;
  md.settings = &settings;
  md.ecd = &ecd;
  ClassLevel level;
  uint32_t module = MODULE_LEVEL, message = MSG_ATTACH;
  level.Manage(nullptr, &module, &message, reinterpret_cast<int32_t*>(&md), 0);
  std::srand(1);
  player.InitReset();
  player.mode = 4;
  player.level = 3;
  player.kind = role < 3 ? 1 : 3;
  level.BuildFallTable();
  level.ResetCoPlayers();
  level.EmptyGrid();
  level.CreateRandom(player.level);

  // The seats as the set-up screens leave them: on the host, peers 1 to 3 seated
  // in seats 0 to 2 (peer 4 connected, never seated); on a joiner, player 2.
  if (role < 3) {
    for (int i = 0; i < 8; i++) {
      level.loginTable[i][0] = static_cast<uint8_t>(i + 1);
      level.loginTable[i][1] = i < 4;
      level.loginTable[i][2] = role != 0 && i < 3;
      level.loginTable[i][3] = 0;
    }
    for (int s = 0; s < 3; s++) {
      level.slot[s].kind = 4;
      level.slot[s].link = role == 0 ? 0 : 2;
      level.slot[s].connection = static_cast<uint8_t>(s + 1);
    }
    level.levelState = role == 0 ? 7 : role == 1 ? 1 : 9;
    if (role != 0) level.slot[3].kind = 0;
  } else {
    level.levelState = role == 3 || role == 4 ? 6 : role == 5 ? 1 : 9;
    level.stateTimer = role == 3 ? 10001 : 20000;
    if (role >= 5) {
      level.slot[3].kind = 2;
      level.slot[3].connection = 2;
      for (int s = 0; s < 3; s++) {
        level.slot[s].kind = 4;
        level.slot[s].link = 2;
      }
    }
  }

  for (size_t at = 0; at < size;) {
    const int32_t peer = role < 3 ? 1 + (data[at] & 3) : 0;
    at++;
    const uint32_t n = static_cast<uint32_t>(size - at < piece ? size - at : piece);
    if (n == 0) break;
    level.OnNetMessage(peer, 7, static_cast<int32_t>(n), const_cast<uint8_t*>(data + at));
    at += n;

    for (const PLAYERSLOT& s : level.slot) {
      if (!Terminated(s.name, sizeof s.name) || s.kind > 4 || (s.link != 0 && s.link != 2 && s.link != 3))
        Fault();
    }
    for (const uint8_t r : level.attackRotation)
      if (r > 2) Fault();
    for (const uint8_t f : level.fallTable)
      if (f > 1) Fault();
    if (player.level < 1 || player.level > 9 || player.winner > 4) Fault();
    for (const uint8_t r : player.ranking)
      if (r > 3) Fault();
    if (level.levelState > 13) Fault();
    for (const auto& g : level.coGrid)
      for (const uint8_t c : g)
        if (!GamePacket_CellOk(c)) Fault();
    if (role >= 3 && level.slot[3].kind != 4 && (level.slot[3].kind < 1 || level.slot[3].kind > 3)) Fault();
  }
  return 0;
}
