// Records of play: the stone animation entity, the particle and the seats.
#ifndef ZARN_GAME_LEVEL_TYPES_H
#define ZARN_GAME_LEVEL_TYPES_H

#include <cstdint>

// Board size and the pools. The pools are fixed: play allocates nothing.
constexpr int kGridSize = 9;
constexpr int kGridCells = 81;
constexpr int kMaxEntities = 128;
constexpr int kMaxParticles = 128;
constexpr int kQueuePackages = 8;

// Cell codes.
enum : uint8_t {
  CELL_EMPTY = 0,
  CELL_BLACK = 8,
  CELL_FIXED = 9,
  CELL_FIRE = 10,
  CELL_NUCLEAR = 11,
  CELL_DORMANT = 12,
  CELL_SKULL = 13,
  CELL_WILDCARD = 14,
  CELL_BIOHAZARD = 15,
  CELL_MOVING = 0x80,
  CELL_VACATED = 0xC0,
  CELL_TURNING_BLACK = 253,
  CELL_WILD_TAKING = 254,
  CELL_EXPLODED = 255,
};

// A plain colour stone.
inline bool IsPlainColour(uint8_t code) { return code >= 1 && code <= 7; }

// The four neighbours of a cell in the order the rules test them: (r - 1, c),
// (r, c - 1), (r + 1, c), (r, c + 1).
constexpr int kNeighbourDr[4] = {-1, 0, 1, 0};
constexpr int kNeighbourDc[4] = {0, -1, 0, 1};

// Entity kinds.
enum : uint8_t {
  ENT_FALL_LEFT = 1,
  ENT_FALL_RIGHT = 2,
  ENT_FALL_DOWN = 3,
  ENT_FADEIN = 4,
  ENT_BREAK = 5,
  ENT_CLEAR = 6,
  ENT_FIRE = 8,
  ENT_EXPLOSION = 9,
  ENT_SPIN = 12,
};

// Entity timings (milliseconds on the level clock): an entity ends once its timer
// passes these.
constexpr uint32_t kFallTime = 111;
constexpr uint32_t kFadeInTime = 511;
constexpr uint32_t kBreakTime = 383;
constexpr uint32_t kClearTime = 895;
constexpr uint32_t kExplosionTime = 511;

// Particle kinds.
enum : uint8_t {
  PART_DEBRIS = 1,
  PART_SPARK = 2,
  PART_FLASH = 3,
  PART_TRAIL = 4,
  PART_PACKAGE = 5,
  PART_WAITING = 6,
};

// A fire run has stopped when its destCol holds this.
constexpr int32_t kFireStopped = 0xFFFFFF;

struct STONEENTITY {
  int32_t x;  // 12(r + c) of the start cell
  int32_t y;  // 12(c - r)
  uint32_t timer;
  uint8_t kind;
  uint8_t stone;  // 0: free slot
  int32_t destRow, destCol;
  uint8_t srcRow, srcCol;
};

struct PARTICLE {
  int32_t x, y;    // 1/256 pixel
  int32_t vx, vy;  // speed, or the target point of a flying package
  int32_t count;
  int32_t attackKind;
  int32_t target;
  uint32_t timer;
  uint32_t angle;
  uint8_t kind;  // 0: free slot
};

// Seat kinds: the kind byte of seats 0 to 2. The own seat's byte holds the
// player number instead (0 to 3) once a networked game has started, and
// SEAT_REMOTE before, which is what the others see in the start packet.
enum : uint8_t {
  SEAT_EMPTY = 0,
  SEAT_CPU_FRED = 1,  // the three computer players
  SEAT_CPU_JOE = 2,
  SEAT_CPU_MIKE = 3,
  SEAT_REMOTE = 4,  // a player on another console
};

inline bool IsComputerSeat(uint8_t kind) { return kind >= SEAT_CPU_FRED && kind <= SEAT_CPU_MIKE; }

// Player numbers: the host (and the player of a game against the computer)
// is player 0, the joiners 1 to 3.
constexpr uint8_t kHostPlayer = 0;
constexpr uint8_t kPlayers = 4;

// Seat links: the link byte of a remote seat.
enum : uint8_t {
  LINK_FREE = 0,     // waiting for a player to join
  LINK_PENDING = 1,  // never written here; shown as a seated player
  LINK_CONNECTED = 2,
  LINK_DROPPED = 3,
};

struct PLAYERSLOT {
  char name[32];
  int32_t barShown;
  int32_t bar;
  uint32_t score;
  uint32_t silence;
  uint8_t connection;
  uint8_t kind;  // SEAT_ (the own seat: see above)
  uint8_t link;  // LINK_
};

// A remote player whose connection is up.
inline bool IsLinkedRemote(const PLAYERSLOT& s) {
  return s.kind == SEAT_REMOTE && s.link == LINK_CONNECTED;
}
// A co-player that plays: a computer, or a remote player whose connection is up.
inline bool IsActiveSeat(const PLAYERSLOT& s) {
  return IsComputerSeat(s.kind) || IsLinkedRemote(s);
}

// Level states (ClassLevel::levelState and returnState).
enum : uint8_t {
  ST_TRANSITION = 0,  // the opening transition
  ST_PLAY = 1,
  ST_GAMEOVER = 2,
  ST_NAMEENTRY = 3,  // a new highscore's name
  ST_HOSTSETUP = 4,
  ST_SEARCH = 5,  // filling the host list
  ST_JOIN = 6,
  ST_PLAYERSELECT = 7,
  ST_HOSTSELECT = 8,
  ST_NETPAUSE = 9,  // the networked pause menu
  ST_MESSAGE = 10,  // the message box, then returnState
  ST_RANKING = 11,
  ST_MULTIMENU = 12,  // back to the title's multi-player menu
  ST_RESTART = 13,    // a fresh game with the seats chosen again
};

struct CPUPLAYER {
  uint8_t cpuQueue[kQueuePackages][3];
  uint8_t rulesDue;
  uint32_t dropClock;
  uint32_t cpuBar;
  uint8_t chain;
  uint8_t cpuTurns;
  uint8_t cpuNext;
};

#endif
