// The tutorial: its script, stones and texts, and whole runs played headless.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "game/linefeed.h"
#include "game/tutorial.h"
#include "tests/support/level_rig.h"

namespace {

const char kScriptDigits[] =
    "3131222204031401513333342402433424514222424243334243345143404222433434044051222434022224424333344"
    "6142222433405122243433451440433334345134513444442222424622245122222451433340333434404433342451"
    "422243333422224334044117";

const uint8_t kStones[68] = {2, 2, 3,  1,  3, 2, 1, 3, 1, 3, 1, 2, 3, 2, 2, 1, 2, 1, 3, 2, 1, 1, 3,
                             1, 3, 2,  2,  1, 1, 2, 1, 14, 3, 2, 1, 5, 4, 5, 11, 14, 1, 5, 4, 1, 5, 5,
                             5, 4, 4,  4,  6, 4, 4, 1, 10, 1, 5, 6, 3, 6, 11, 1, 6, 3, 6, 6, 6, 6};

struct Preset {
  uint8_t r, c, code;
};
// The three boards as (row, column): code.
const std::vector<Preset> kBoards[3] = {
    {{0, 4, 1}, {0, 5, 3}, {0, 6, 2}, {0, 7, 3}, {0, 8, 1}, {1, 5, 2}, {1, 6, 1}, {1, 7, 2},
     {1, 8, 2}, {2, 6, 2}, {2, 7, 1}, {2, 8, 2}, {3, 7, 1}, {3, 8, 3}, {4, 8, 3}},
    {{0, 3, 1}, {0, 4, 3}, {0, 5, 5}, {0, 6, 3}, {0, 7, 3}, {0, 8, 4}, {1, 4, 1},
     {1, 5, 5}, {1, 6, 1}, {1, 7, 1}, {1, 8, 2}, {2, 5, 2}, {2, 6, 2}, {2, 7, 4},
     {2, 8, 11}, {3, 6, 1}, {3, 7, 5}, {3, 8, 4}, {4, 7, 3}, {4, 8, 1}, {5, 8, 4}},
    {{0, 2, 4}, {0, 3, 1}, {0, 4, 5}, {0, 5, 5}, {0, 6, 7}, {0, 7, 4}, {0, 8, 2},
     {1, 3, 4}, {1, 4, 1}, {1, 5, 3}, {1, 6, 3}, {1, 7, 7}, {1, 8, 5}, {2, 4, 4},
     {2, 5, 2}, {2, 6, 2}, {2, 7, 4}, {2, 8, 1}, {3, 5, 2}, {3, 6, 6}, {3, 7, 5},
     {3, 8, 11}, {4, 6, 3}, {4, 7, 6}, {4, 8, 3}, {5, 7, 6}, {5, 8, 7}, {6, 8, 4}}};

std::string Board(const ClassLevel& L) {
  std::string s;
  for (int i = 0; i < kGridCells; i++) s += static_cast<char>('a' + (L.grid[i] & 0x7F));
  return s;
}

std::string PresetBoard(int level) {
  std::string s(kGridCells, 'a');
  for (const auto& p : kBoards[level - 1]) s[ClassLevel::Cell(p.r, p.c)] = static_cast<char>('a' + p.code);
  return s;
}

// A tutorial started as the level's enter message starts it.
struct Tutorial {
  zt::LevelRig rig;
  ClassLevel& L = *rig.level;
  uint8_t widths[256];
  explicit Tutorial(bool wrapped = true) {
    for (auto& w : widths) w = 6;
    L.StartTutorial(wrapped ? widths : nullptr, 16);
    rig.StartGame(5, 1, 1);
  }
};

TEST(Tutorial, ScriptStonesAndTextAgree) {
  ClassLevel L;
  const uint32_t n = sizeof kScriptDigits - 1;
  ASSERT_EQ(n, 215u);
  uint32_t ends = 0;
  for (uint32_t i = 0; i < 256; i++) {
    const uint8_t want = i < n ? static_cast<uint8_t>(kScriptDigits[i] - '0') : 0;
    EXPECT_EQ(L.tutorialScript[i], want) << i;
    if (i < n && want == TUT_END_SEGMENT) ends++;
  }
  EXPECT_EQ(L.tutorialScript[214], TUT_FINISH);
  EXPECT_EQ(std::memcmp(L.tutorialStones, kStones, 68), 0);
  // One mark per segment: every ended segment and the last one, which finishes.
  uint32_t marks = 0, lines = 0;
  std::string line;
  for (const char* t = Tutorial_Text(); *t; t++) {
    if (*t == kTutorialSegmentMark) marks++;
    if (*t == '\r') {
      lines++;
      EXPECT_LE(line.size(), 90u) << line;
      line.clear();
    } else {
      line += *t;
    }
  }
  EXPECT_EQ(line, "") << "every line ends with a carriage return";
  EXPECT_EQ(marks, ends + 1);
  EXPECT_GT(lines, marks);
}

// The whole tutorial, watched: boards at each level, black stones and skulls
// from full bars, the end state. Holding the drop key only hurries the text.
TEST(Tutorial, RunsToTheEndOnItsPresetBoards) {
  struct Run {
    uint32_t frames = 0;
    std::string finalBoard;
    std::vector<std::string> levelBoards;
    uint32_t score = 0;
    uint32_t blackPlaced = 0, skullsPlaced = 0;
  };
  auto play = [](bool hurry) {
    Tutorial t;
    ClassLevel& L = t.L;
    Run run;
    run.levelBoards.push_back(Board(L));
    uint8_t level = 1;
    if (hurry) t.rig.Press(zt::kKeyDrop);
    int32_t lastBar = 0;
    t.rig.onStep = [&](zt::LevelRig& r) {
      if (r.player.level != level) {
        level = r.player.level;
        run.levelBoards.push_back(Board(*r.level));
      }
      // A full bar empties into fixed stones on boards 1 and 3 (phase 1 follows).
      if (lastBar >= 1024 && r.player.bar == 0) {
        if (r.level->grid[ClassLevel::Cell(8, 4)] == CELL_BLACK &&
            r.level->grid[ClassLevel::Cell(7, 0)] == CELL_BLACK)
          run.blackPlaced++;
        if (r.level->grid[ClassLevel::Cell(8, 7)] == CELL_SKULL &&
            r.level->grid[ClassLevel::Cell(8, 3)] == CELL_SKULL)
          run.skullsPlaced++;
      }
      lastBar = r.player.bar;
    };
    while (run.frames < 20000 && L.levelState == 1) {
      t.rig.Frame(16);
      run.frames++;
    }
    EXPECT_EQ(L.levelState, 12) << "the tutorial ends in its own state";
    EXPECT_EQ(L.tutorial.position, 215u);
    EXPECT_EQ(t.rig.player.level, 3);
    run.finalBoard = Board(L);
    run.score = t.rig.player.score;
    return run;
  };
  const Run watched = play(false);
  ASSERT_EQ(watched.levelBoards.size(), 3u);
  // Boards 1 and 2 start on an empty grid; board 3 is dealt over the stones
  // that the second board's demonstration leaves.
  for (int level = 1; level <= 2; level++)
    EXPECT_EQ(watched.levelBoards[level - 1], PresetBoard(level)) << "board " << level;
  for (const auto& p : kBoards[2])
    EXPECT_EQ(watched.levelBoards[2][ClassLevel::Cell(p.r, p.c)], 'a' + p.code);
  EXPECT_EQ(watched.blackPlaced, 1u);
  EXPECT_GE(watched.skullsPlaced, 1u);
  EXPECT_GT(watched.score, 0u);

  const Run hurried = play(true);
  EXPECT_LT(hurried.frames, watched.frames - 1000);
  EXPECT_EQ(hurried.finalBoard, watched.finalBoard) << "the drop key never drops";
  EXPECT_EQ(hurried.score, watched.score);
}

TEST(Tutorial, StepsTake160MsAndSegmentsWaitForTheirLine) {
  Tutorial t;
  ClassLevel& L = t.L;
  // Nothing moves until the first marked line has been read.
  for (uint32_t i = 0; i < 50; i++) t.rig.Frame(16);
  EXPECT_EQ(L.tutorial.position, 0u);
  EXPECT_EQ(L.tutorial.segments, 0u);
  L.tutorial.segments = 1;
  L.tutorial.accu = 0;
  // The first segment: eight moves and its end, one per 160 ms.
  uint32_t steps = 0;
  while (L.tutorial.segments && steps < 1000) {
    t.rig.Frame(16);
    steps++;
    EXPECT_EQ(L.tutorial.position, steps / 10) << steps;
  }
  EXPECT_EQ(L.tutorial.position, 9u);
  EXPECT_EQ(steps, 90u);
  EXPECT_EQ(L.dropPos, 8 + 1 + 1 - 4);
  EXPECT_EQ(L.tutorial.lineWait, kTutorialLineWait) << "the next line comes at once";
}

TEST(Tutorial, FullBarsAndTheEndOfTheScript) {
  for (uint8_t level : {1, 2, 3}) {
    Tutorial t;
    ClassLevel& L = t.L;
    t.rig.player.level = level;
    L.EmptyGrid();
    L.turnPhase = 0;
    t.rig.player.bar = 1024;
    t.rig.player.blackDue = 2;
    const uint32_t before = t.rig.sound.sfxPlayed[4];
    L.HandleTutorial(16);
    int stones = 0;
    for (int i = 0; i < kGridCells; i++) stones += L.grid[i] != 0;
    EXPECT_EQ(stones, level == 2 ? 0 : 2) << int(level);
    EXPECT_EQ(t.rig.sound.sfxPlayed[4] - before, level == 2 ? 0u : 1u);
    EXPECT_EQ(t.rig.player.bar, 0);
    EXPECT_EQ(L.turnPhase, 1);
  }
  // Past the last opcode the game ends instead of reading on.
  Tutorial t;
  t.L.tutorial.position = kTutorialScriptSize;
  t.L.tutorial.segments = 1;
  t.L.tutorial.accu = 159;
  t.L.turnPhase = 0;
  t.L.HandleTutorial(16);
  EXPECT_EQ(t.L.levelState, 2);
  EXPECT_EQ(t.L.stateTimer, 2u);
}

TEST(Tutorial, TextComesLineByLineAndCountsMarks) {
  TUTORIALSTATE t;
  uint8_t widths[256];
  for (auto& w : widths) w = 6;
  Tutorial_Start(&t, widths, 308, 16);
  EXPECT_EQ(t.bandHeight, 28u);
  char expect[kTutorialTextSize];
  Text_LineFeed(expect, sizeof expect, Tutorial_Text(), widths, 308);
  EXPECT_STREQ(t.text, expect);
  uint32_t ms = 0;
  while (t.linesScrolled == 0) {
    Tutorial_TextTimers(&t, 16);
    ms += 16;
  }
  EXPECT_EQ(ms, 2048u + 256u - 16u);  // the step that reaches 2048 scrolls too
  // Reading every line gathers every mark.
  uint32_t lines = 1;
  while (t.text[t.readPosition]) {
    Tutorial_TextTimers(&t, 2048 + 256);
    lines++;
  }
  uint32_t marks = 0, breaks = 0;
  for (const char* p = t.text; *p; p++) {
    marks += *p == kTutorialSegmentMark;
    breaks += *p == '\n';
  }
  EXPECT_EQ(t.segments, marks);
  EXPECT_EQ(lines, breaks);
}

}  // namespace
