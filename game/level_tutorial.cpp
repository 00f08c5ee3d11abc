// The tutorial: the script of moves the game plays itself, the stones it deals
// and the text that explains them, one segment of moves per announcing line.
#include <cstring>

#include "game/app.h"
#include "game/level.h"
#include "game/linefeed.h"
#include "game/player.h"
#include "game/tutorial.h"

namespace {

// One digit per opcode; the rest of the 255 are 0.
const char kScript[] =
    "31312222040314015133333424024334245142224242433342433451434042224334340440512224340222244243333"
    "446142222433405122243433451440433334345134513444442222424622245122222451433340333434404433342"
    "451422243333422224334044117";

const uint8_t kStones[kTutorialStoneCount] = {
    2, 2, 3, 1, 3, 2, 1, 3, 1, 3,  1, 2, 3, 2, 2, 1, 2, 1, 3, 2, 1, 1, 3,  1, 3, 2, 2, 1, 1, 2, 1, 14, 3, 2,
    1, 5, 4, 5, 11, 14, 1, 5, 4, 1, 5, 5, 5, 4, 4, 4, 6, 4, 4, 1, 10, 1, 5, 6, 3, 6, 11, 1, 6, 3, 6, 6, 6, 6};

// "\x0f" after a line: the moves of one segment play once the line is read.
#define SEG "\x0f"
const char kText[] =
    "Welcome! In this tutorial the game plays by itself.\r"
    "Hold the drop key to hurry the text along.\r"
    "Each stone enters at the top edge of the diamond.\r"
    "Left and right move it along the edge." SEG "\r"
    "The drop key lets it fall down the diamond." SEG "\r"
    "Link four or more stones of one colour to break them." SEG "\r"
    "The toggle key swaps the next two stones, shown top right." SEG "\r"
    "Stones above a break fall into the gap and may link again." SEG "\r"
    "Every drop and every swap fills the red bar.\r"
    "A full bar drops black stones onto the edge." SEG "\r"
    "Black stones break when a group beside them breaks." SEG "\r"
    "Keep the edge clear: a full board ends the game." SEG "\r"
    "Clear every stone to finish the level." SEG "\r"
    "A wildcard joins the colour next to it. A nuclear stone blasts its neighbours." SEG "\r"
    "Fire burns its way down through the stones." SEG "\r"
    "Higher levels bring more colours.\r"
    "On hard levels a full bar brings skulls. They never link." SEG "\r"
    "Only fire and blasts remove skulls, for extra points." SEG "\r"
    "That is all. Good luck!" SEG "\r";
#undef SEG

}  // namespace

void Tutorial_FillScript(uint8_t* script) {
  std::memset(script, 0, kTutorialScriptSize);
  for (uint32_t i = 0; kScript[i] && i < kTutorialScriptSize; i++)
    script[i] = static_cast<uint8_t>(kScript[i] - '0');
}

void Tutorial_FillStones(uint8_t* stones) { std::memcpy(stones, kStones, sizeof kStones); }

const char* Tutorial_Text() { return kText; }

void Tutorial_Start(TUTORIALSTATE* t, const uint8_t* widths, uint32_t width, uint32_t fontHeight) {
  std::memset(t, 0, sizeof *t);
  Text_LineFeed(t->text, sizeof t->text, kText, widths, width);
  t->bandHeight = 2 * fontHeight > 4 ? 2 * fontHeight - 4 : 0;
}

void Tutorial_TextTimers(TUTORIALSTATE* t, uint32_t delta) {
  t->lineWait += delta;
  if (t->lineWait < kTutorialLineWait) return;
  t->scrollTimer += delta;
  if (t->scrollTimer < kTutorialScrollMs) return;
  t->lineWait = 0;
  t->scrollTimer = 0;
  t->linesScrolled++;
  uint32_t p = t->readPosition;
  while (p < sizeof t->text && t->text[p] && t->text[p] != '\r' && t->text[p] != '\n') {
    if (t->text[p] == kTutorialSegmentMark && t->segments < 255) t->segments++;
    p++;
  }
  if (p < sizeof t->text && t->text[p]) p++;
  t->readPosition = p;
}

void ClassLevel::StartTutorial(const uint8_t* widths, uint32_t fontHeight) {
  Tutorial_Start(&tutorial, widths, 308, fontHeight);
}

void ClassLevel::HandleTutorial(uint32_t delta) {
  ClassPlayer* pl = Player();
  if (!pl) return;
  if (FinishFade(delta)) return;
  if (curStone == 0) TakeNextStone();
  if (pl->bar >= 1024) {
    TutorialFullBar();
    return;
  }
  if (tutorial.segments == 0) {
    tutorial.accu = 0;
    return;
  }
  tutorial.accu += delta;
  while (tutorial.accu >= kTutorialStepMs && tutorial.segments > 0 && turnPhase == 0 &&
         levelState == ST_PLAY) {
    tutorial.accu -= kTutorialStepMs;
    if (tutorial.position >= kTutorialScriptSize) {
      // Past the script: nothing is left to show.
      levelState = ST_GAMEOVER;
      stateTimer = 2;
      return;
    }
    RunTutorialOpcode(tutorialScript[tutorial.position++]);
  }
}

// A full bar: fixed stones on the first and third boards.
void ClassLevel::TutorialFullBar() {
  ClassPlayer* pl = Player();
  bool placed = false;
  if (pl->level == 1) {
    grid[Cell(8, 4)] = CELL_BLACK;
    grid[Cell(7, 0)] = CELL_BLACK;
    placed = true;
  } else if (pl->level == 3) {
    grid[Cell(8, 7)] = CELL_SKULL;
    grid[Cell(8, 3)] = CELL_SKULL;
    placed = true;
  }
  if (placed) PlayEffect(4);
  idleTimer = 0;
  pl->chain = 0;
  settled = 0;
  pl->bar = 0;
  turnPhase = 1;
}

void ClassLevel::RunTutorialOpcode(uint8_t op) {
  ClassPlayer* pl = Player();
  switch (op) {
    case TUT_END_SEGMENT:
      if (--tutorial.segments == 0) tutorial.lineWait = kTutorialLineWait;
      break;
    case TUT_LEFT:
      if (dropPos > 0) dropPos--;
      PlayEffect(6);
      break;
    case TUT_RIGHT:
      if (dropPos < 16) dropPos++;
      PlayEffect(6);
      break;
    case TUT_DROP:
      PlaceDrop();
      pl->chain = 0;
      settled = 0;
      pl->bar += barSpeed;
      turnPhase = 1;
      break;
    case TUT_SWAP: SwapNextStones(128); break;
    case TUT_NEXT_LEVEL: LevelComplete(); break;
    case TUT_FINISH: levelState = ST_MULTIMENU; break;
    default:  // a pause
      break;
  }
}
