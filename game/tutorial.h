// The tutorial: its script of moves, the stones it deals and its scrolling text.
// The level plays the script (ClassLevel::HandleTutorial); the state here is the
// part of the level record that belongs to the tutorial.
#ifndef ZARN_GAME_TUTORIAL_H
#define ZARN_GAME_TUTORIAL_H

#include <cstdint>

// Opcodes of the script.
enum : uint8_t {
  TUT_END_SEGMENT = 0,
  TUT_PAUSE = 1,
  TUT_LEFT = 2,
  TUT_RIGHT = 3,
  TUT_DROP = 4,
  TUT_SWAP = 5,
  TUT_NEXT_LEVEL = 6,
  TUT_FINISH = 7,
};

constexpr uint32_t kTutorialScriptSize = 255;
constexpr uint32_t kTutorialStoneCount = 68;
constexpr uint32_t kTutorialStepMs = 160;
constexpr uint32_t kTutorialLineWait = 2048;
constexpr uint32_t kTutorialScrollMs = 256;
constexpr uint32_t kTutorialTextSize = 4096;
// The mark in a text line for one script segment to play after it.
constexpr char kTutorialSegmentMark = 0x0F;

struct TUTORIALSTATE {
  uint32_t position;      // index of the next opcode
  uint32_t accu;          // ms towards the next opcode
  uint8_t segments;       // segments announced and not yet played
  uint32_t lineWait;      // ms the current line has been shown (hurried to 2048)
  uint32_t scrollTimer;   // ms into the scroll to the next line (0 to 255)
  uint32_t linesScrolled;
  uint32_t readPosition;  // index in text of the next line to read
  uint32_t bandHeight;    // height of the text band (a pointer held on it hurries)
  char text[kTutorialTextSize];  // wrapped text, '\n' between lines
};

// The script (255 opcodes, zero after the last) and the 68 stones it deals.
void Tutorial_FillScript(uint8_t* script);
void Tutorial_FillStones(uint8_t* stones);
// The unwrapped text: lines ending in "\r", one segment mark per segment.
const char* Tutorial_Text();

// Clears the state and wraps the text to `width` pixels (widths: see
// Text_LineFeed; null keeps only the 62-character breaks); the band is two
// lines of `fontHeight` less 4 pixels.
void Tutorial_Start(TUTORIALSTATE* t, const uint8_t* widths, uint32_t width, uint32_t fontHeight);
// The text timers of one step: lines come every 2048 + 256 ms while no segment
// waits; reading a line adds its segment marks.
void Tutorial_TextTimers(TUTORIALSTATE* t, uint32_t delta);

#endif
