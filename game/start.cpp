#include "game/start.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/emod_bytes.h"
#include "framework/emod_input.h"
#include "game/app.h"

namespace {

bool ParseNumber(const char* s, size_t n, uint32_t max, uint32_t* out) {
  if (n == 0 || n > 10) return false;
  uint64_t v = 0;
  for (size_t i = 0; i < n; i++) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + static_cast<uint32_t>(s[i] - '0');
  }
  if (v > max) return false;
  *out = static_cast<uint32_t>(v);
  return true;
}

// Four numbers 0 to 255 between dots: an address a join can connect to, so a
// scripted join that cannot start at all is refused at once.
bool DottedAddress(const char* s, size_t n) {
  uint32_t parts = 0;
  size_t start = 0;
  for (size_t k = 0; k <= n; k++) {
    if (k < n && s[k] != '.') continue;
    uint32_t v = 0;
    if (k - start > 3 || !ParseNumber(s + start, k - start, 255, &v)) return false;
    parts++;
    start = k + 1;
  }
  return parts == 4;
}

bool ParseItem(const char* s, size_t n, bool first, GameStart* g) {
  auto is = [&](const char* word) { return std::strlen(word) == n && std::strncmp(s, word, n) == 0; };
  if (first) {
    if (is("standard"))
      g->mode = MODE_STANDARD;
    else if (is("timed"))
      g->mode = MODE_TIMED;
    else if (is("puzzle"))
      g->mode = MODE_PUZZLE_NEXT;  // its first level is dealt at once
    else if (is("tutorial"))
      g->mode = MODE_TUTORIAL;
    else if (n >= 3 && std::strncmp(s, "cpu", 3) == 0) {
      g->mode = MODE_MULTI;
      if (n == 3) return true;
      if (s[3] != ':' || n < 5 || n > 7) return false;
      for (int k = 0; k < 3; k++) g->seats[k] = 0;
      for (size_t k = 4; k < n; k++) {
        if (s[k] < '0' || s[k] > '3') return false;
        g->seats[k - 4] = static_cast<uint8_t>(s[k] - '0');
      }
    } else if (n >= 4 && std::strncmp(s, "host", 4) == 0) {
      g->mode = MODE_MULTI;
      g->net = 1;
      if (n == 4) return true;
      if (n != 6 || s[4] != ':' || s[5] < '1' || s[5] > '3') return false;
      g->hostWait = static_cast<uint8_t>(s[5] - '0');
    } else if (n > 5 && std::strncmp(s, "join:", 5) == 0) {
      if (n - 5 > 15 || !DottedAddress(s + 5, n - 5)) return false;
      g->mode = MODE_MULTI;
      g->net = 2;
      std::memcpy(g->address, s + 5, n - 5);
    } else {
      return false;
    }
    return true;
  }
  uint32_t v = 0;
  if (n > 6 && std::strncmp(s, "level=", 6) == 0) {
    if (!ParseNumber(s + 6, n - 6, 9, &v) || v == 0) return false;
    g->level = static_cast<uint8_t>(v);
    return true;
  }
  if (n > 4 && std::strncmp(s, "cpu=", 4) == 0) {
    // Only a host has seats left over, at most 3 - N of them.
    if (g->net != 1 || n - 4 > 3u - g->hostWait) return false;
    for (size_t k = 4; k < n; k++) {
      if (s[k] < '0' || s[k] > '3') return false;
      g->hostCpu[k - 4] = static_cast<uint8_t>(s[k] - '0');
    }
    return true;
  }
  if (n > 5 && std::strncmp(s, "seed=", 5) == 0) {
    if (!ParseNumber(s + 5, n - 5, 0xFFFFFFFFu, &v)) return false;
    g->seed = v;
    g->seeded = true;
    return true;
  }
  return false;
}

}  // namespace

bool ParseGameStart(const char* text, GameStart* out) {
  if (!text || !*text) return false;
  GameStart g;
  const char* s = text;
  bool first = true;
  while (true) {
    const char* end = std::strchr(s, ',');
    const size_t n = end ? static_cast<size_t>(end - s) : std::strlen(s);
    if (!ParseItem(s, n, first, &g)) return false;
    first = false;
    if (!end) break;
    s = end + 1;
  }
  *out = g;
  return true;
}

void StartGame(MAINDATA* data, const GameStart& start, uint32_t* module, uint32_t* message) {
  ClassLevel& level = data->app->Level();
  level.switchLevel = start.level;
  for (int s = 0; s < 3; s++) level.cpuSeatKinds[s] = start.seats[s];
  level.netAutoStart = start.net == 1 ? start.hostWait : 0;
  for (int s = 0; s < 3; s++) level.netAutoCpu[s] = start.net == 1 ? start.hostCpu[s] : 0;
  level.cpuAutoStart = start.mode == MODE_MULTI && start.net == 0 ? 1 : 0;
  std::memset(level.netAutoJoin, 0, sizeof level.netAutoJoin);
  if (start.net == 2) std::memcpy(level.netAutoJoin, start.address, sizeof start.address);
  level.endWhenOver = 1;
  if (start.seeded) std::srand(start.seed);
  int kind = -1;  // a game of one player leaves the kind as it was
  if (start.mode == MODE_MULTI)
    kind = start.net == 1 ? MULTI_HOST_TCP : start.net == 2 ? MULTI_JOIN_TCP : MULTI_VERSUS_CPU;
  data->app->Title().BeginGame(start.mode, kind, module, message);
}
