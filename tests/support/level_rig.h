// Headless play of the level's rules: the game objects a level needs, the play
// frame (events into the level's queue, 16 ms logic steps, particles), scripted
// buttons through ClassEInput, a simple player and a per-turn trace.
#ifndef ZARN_TESTS_SUPPORT_LEVEL_RIG_H
#define ZARN_TESTS_SUPPORT_LEVEL_RIG_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/emod_input.h"
#include "framework/emod_math.h"
#include "game/app.h"
#include "game/level.h"
#include "game/player.h"

namespace zt {

// Button codes the rig maps: left and right are the framework's defaults.
constexpr uint32_t kKeyLeft = 3;
constexpr uint32_t kKeyRight = 7;
constexpr uint32_t kKeyDrop = 13;
constexpr uint32_t kKeyToggle = 12;

uint32_t BoardHash(const ClassLevel& level);

// Board pictures: one string per row (row 0 first), one character per column 0-8.
//   '.' keep the cell   '_' empty     '1'-'7' colours   'B' black    'F' fixed
//   '*' fire            'N' nuclear   'D' dormant       'S' skull    'W' wildcard
//   'H' biohazard       'X' exploded
// Reading back, a cell not in the table (a moving or vacated stone) shows as '?'.
void PlaceRows(ClassLevel& level, const std::vector<std::string>& rows);
std::string RowText(const ClassLevel& level, int row);
// The attack rotation as a game of several players draws it at its start: 16
// entries of 0 to n - 1 for n active co-players (at most 3), each value at most
// 16 / n times.
void BuildRotation(ClassLevel& level);

class LevelRig {
 public:
  LevelRig();
  ~LevelRig();
  LevelRig(const LevelRig&) = delete;
  LevelRig& operator=(const LevelRig&) = delete;

  // A new game as the enter message starts it, after srand(seed); the opening
  // transition is skipped (play state at once).
  void StartGame(uint8_t mode, uint8_t level, uint32_t seed);
  // One frame of the frame loop: key repeats, the level's play frame (or the
  // game-over frame), then the frame's events are cleared.
  void Frame(uint32_t ms);
  // Buttons between frames, as the button poll feeds them.
  void Press(uint32_t key) { input.OnKeyDown(key); }
  void Release(uint32_t key) { input.OnKeyUp(key); }

  // Plays with the built-in player until the game is over (board cleared and
  // the 1500 ms after it) or the frame limit; returns the number of frames.
  uint32_t PlayToEnd(uint32_t maxFrames, uint32_t frameMs = 16);
  bool GameOver() const { return finished_; }

  // In games of several players the computer players and the small grids run
  // after the own phase in every logic step.
  bool coPlayers = true;
  // Called after the timers of every logic step, before the phase runs.
  std::function<void(LevelRig&)> afterIdle;
  // Called after every logic step (properties are checked here).
  std::function<void(LevelRig&)> onStep;
  // Called at the end of each turn (phase back to 0 from another phase).
  std::function<void(LevelRig&)> onTurn;

  std::string trace;  // one line per finished turn
  uint32_t turnsTraced = 0;
  uint32_t steps = 0;
  uint8_t lastPhase = 0;

  ClassEInput input;
  ClassEMath math;
  ECD ecd{};
  ClassPlayer player;
  ClassSound sound;
  MAINCONFIG settings{};
  MAINDATA data{};
  ClassLevel* level = nullptr;

 private:
  void PlayFrame(uint32_t ms);
  void GameOverFrame(uint32_t ms);
  void BotInput();
  void AfterStep();
  bool finished_ = false;
  uint32_t botClock_ = 0;
  uint32_t botHeld_ = 0;
  uint32_t drops_ = 0;
  uint32_t toggled_ = 0xFFFFFFFF;
};

}  // namespace zt

#endif
