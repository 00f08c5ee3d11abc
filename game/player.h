// The state of the current game: mode, level, score, red bar, ranking.
#ifndef ZARN_GAME_PLAYER_H
#define ZARN_GAME_PLAYER_H

#include <cstdint>

// Game modes (ClassPlayer::mode). The first three also index the highscore
// tables, the puzzle game's under MODE_PUZZLE_NEXT.
enum : uint8_t {
  MODE_STANDARD = 0,
  MODE_TIMED = 1,
  MODE_PUZZLE_NEXT = 2,  // the puzzle game between levels: the next one is dealt
  MODE_PUZZLE = 3,
  MODE_MULTI = 4,  // a game of several players
  MODE_TUTORIAL = 5,
};

inline bool HasScoreTable(uint8_t mode) { return mode <= MODE_PUZZLE_NEXT; }
inline bool IsPuzzle(uint8_t mode) { return mode == MODE_PUZZLE_NEXT || mode == MODE_PUZZLE; }

// Kinds of a game of several players (ClassPlayer::kind).
enum : uint8_t {
  MULTI_VERSUS_CPU = 0,
  MULTI_HOST_TCP = 1,
  MULTI_HOST_WIRELESS = 2,
  MULTI_JOIN_TCP = 3,
  MULTI_JOIN_WIRELESS = 4,
};

class ClassPlayer {
 public:
  ClassPlayer() {}
  ~ClassPlayer() {}

  // Start of a new game.
  void InitReset() {
    targetScore = 10000;
    level = 1;
    lastColour = 1;
    score = 0;
    bar = 0;
    barShown = 0;
    blackDue = 0;
    chain = 0;
    turns = 0;
    winner = 0;
    mode = MODE_STANDARD;
  }
  // A game of several players over the network: hosting, or joined to a host.
  bool Networked() const {
    return mode == MODE_MULTI && kind >= MULTI_HOST_TCP && kind <= MULTI_JOIN_WIRELESS;
  }
  bool Hosting() const {
    return mode == MODE_MULTI && (kind == MULTI_HOST_TCP || kind == MULTI_HOST_WIRELESS);
  }
  bool Joined() const {
    return mode == MODE_MULTI && (kind == MULTI_JOIN_TCP || kind == MULTI_JOIN_WIRELESS);
  }

  // Start of a new level.
  void LevelReset() {
    turns = 0;
    winner = 0;
    bar = 0;
    blackDue = 0;
    chain = 0;
    lastColour = 1;
  }
  // Holds the bar within 0 to 1024 (at 0 while nothing is due) and moves the
  // shown bar towards it by step.
  void HandleNegBar(int32_t step) {
    if (bar < 0) bar = 0;
    if (bar > 0 && blackDue == 0) bar = 0;
    if (bar > 1024) bar = 1024;
    if (barShown < bar) {
      barShown = (bar - barShown > step) ? barShown + step : bar;
    } else if (barShown > bar) {
      barShown = (barShown - bar > step) ? barShown - step : bar;
    }
  }

  int32_t finalScore[4] = {};
  uint8_t ranking[4] = {};
  int32_t barShown = 0;
  int32_t bar = 0;
  uint32_t targetScore = 10000;
  uint32_t score = 0;
  uint32_t reserved = 0;
  uint8_t blackDue = 0;
  uint8_t level = 1;
  uint8_t chain = 0;
  uint8_t turns = 0;
  uint8_t passes = 0;
  uint8_t mode = MODE_STANDARD;
  uint8_t kind = MULTI_VERSUS_CPU;  // in MODE_MULTI
  uint8_t winner = 0;
  uint8_t lastColour = 1;
};

#endif
