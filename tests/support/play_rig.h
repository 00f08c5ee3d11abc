// Whole program runs for play tests: the real frame loop headless with the fake
// clock, a fixed wall clock, a button script and a game started by ZARN_START,
// run in a fresh folder with the resource packs and default settings whose
// target score is the shortest (5000). A hook sees the application
// after every frame; frames can be dumped as they were shown.
#ifndef ZARN_TESTS_SUPPORT_PLAY_RIG_H
#define ZARN_TESTS_SUPPORT_PLAY_RIG_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "game/app.h"
#include "standin/standin.h"

namespace zt {

struct PlayRun {
  std::string start;          // ZARN_START
  std::string geometry;       // ZARN_FB form; empty: 320x240
  uint32_t frames = 20000;    // frame limit
  std::vector<standin::Config::ButtonStep> buttons;
  std::vector<standin::Config::MinimizeStep> minimize;  // the console minimised on the way
  std::string trace;          // trace file (empty: none)
  // Called after every frame's OnNextFrame; returning a name dumps the frame
  // as shown (at the next frame) to dumpDir/name.png.
  std::function<std::string(ClassMain&, uint32_t frame)> hook;
  std::string dumpDir;
  // The folder to run in, kept as it is (its settings file included); empty:
  // a fresh folder with the default settings and a target score of 5000.
  std::string folder;
  uint32_t framesRun = 0;
  bool ended = false;         // the game handed back (the program quit before the limit)
};

// Runs the program; false when the packs are missing.
bool RunPlay(PlayRun& run);

// A button script that plays a game with plain means: every `period` frames it
// aims with a few taps (a pattern drawn from the drop count) and drops.
std::vector<standin::Config::ButtonStep> PlayerScript(uint32_t frames, uint32_t period, uint32_t salt);
std::string ScriptText(const std::vector<standin::Config::ButtonStep>& steps);

std::string ReadText(const std::string& path);

}  // namespace zt

#endif
