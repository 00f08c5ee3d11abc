// Test support: the program driven as a player meets it, by button taps that
// wait for what the game shows, with pictures taken on the way and compared
// with committed ones.
#ifndef ZARN_TESTS_SUPPORT_MENU_DRIVER_H
#define ZARN_TESTS_SUPPORT_MENU_DRIVER_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "game/app.h"
#include "standin/standin.h"
#include "tests/support/play_rig.h"

namespace zt {

enum : uint32_t { UP = 1, LEFT = 3, DOWN = 5, RIGHT = 7, START = 9, A = 13, B = 14 };

// What the player waits for before the next tap, and what a step does: tap
// buttons, take a picture, or play a game with a plain scripted player.
struct Step {
  Step(std::function<bool(ClassMain&)> w, std::vector<uint32_t> t, std::string s, bool p = false)
      : when(std::move(w)), taps(std::move(t)), shot(std::move(s)), play(p) {}
  std::function<bool(ClassMain&)> when;
  std::vector<uint32_t> taps;
  std::string shot;
  bool play = false;
  // The player of a playing step aims one position further each drop, back and
  // forth (the plain one wanders the board): games end in fewer frames.
  bool sweep = false;
  std::function<void(ClassMain&)> act;  // what a module would do (not a button)
  // Taps chosen by what the game shows: asked again each time `when` holds
  // (after the taps it gave ran) until it gives none.
  std::function<std::vector<uint32_t>(ClassMain&)> plan;
};

// Runs steps from a hook: each tap holds a button for two frames with two idle
// frames after it. Every press and release is kept as a button script, so the
// same run can be replayed by the program itself (ZARN_BUTTONS).
class Driver {
 public:
  explicit Driver(std::vector<Step> steps) : steps_(std::move(steps)) {}

  std::string Hook(ClassMain& app, uint32_t frame);
  bool Done() const { return next_ >= steps_.size() && queue_.empty() && !held_ && !playing_; }
  std::string Script() const;
  size_t StepsDone() const { return next_; }
  std::vector<std::string> shots;
  std::vector<uint32_t> shotFrames;  // the frame each picture was drawn in

  static bool Playing(ClassMain& app) {
    return app.ModuleId() == MODULE_LEVEL && app.Level().levelState == 1;
  }

 private:
  void Set(uint32_t frame, uint32_t code, bool down);
  void Press(uint32_t frame, uint32_t code);
  void PlayTap(ClassMain& app, uint32_t frame);

  std::vector<Step> steps_;
  size_t next_ = 0;
  std::vector<uint32_t> queue_;
  uint32_t held_ = 0, pressed_ = 0, idle_ = 0, drops_ = 0;
  bool playing_ = false, sweep_ = false;
  std::vector<standin::Config::ButtonStep> script_;
};

// ---- conditions and steps ----

bool Menu(ClassMain& app, uint8_t menu);
std::function<bool(ClassMain&)> AtItem(uint8_t menu, uint8_t item);
// The dialog layer in a state (the text input open for at least openMs).
std::function<bool(ClassMain&)> Dialog(uint8_t state, uint32_t openMs = 0);
// Steps that move the title's cursor from `from` to `to` and confirm.
std::vector<Step> Choose(uint8_t menu, uint8_t from, uint8_t to);
void Add(std::vector<Step>& to, const std::vector<Step>& more);
Step Shot(std::function<bool(ClassMain&)> when, const std::string& name);
// A step that types one key of the on-screen keyboard (its code in the plain
// layout: '0'-'9', '.', letters, 8 backspace, 10 enter): arrows to the key,
// then B.
Step TypeKey(uint8_t code);

// One run of the program with a driver; pictures go to dir.
struct ShellRun {
  PlayRun run;
  Driver driver;
  ShellRun(std::vector<Step> steps, const std::string& folder, const std::string& dir, uint32_t frames);
  bool Go() { return RunPlay(run); }
  std::function<void(ClassMain&, uint32_t)> hook;
  bool quitWhenDone = false;
  bool quitAsked = false;
};

// Compares the pictures a driver took (dir/NAME.png) with golden + NAME.png;
// ZARN_UPDATE_GOLDEN=1 copies them over the golden ones first.
void CheckShots(const Driver& d, const std::string& dir, const std::string& golden);

}  // namespace zt

#endif
