// Text as a player reads it, checked on the frames the game draws: every line
// of a screen reads whole on whatever is behind it. Inside the box its ink
// spans, the ink stands out and every other pixel is dark, so nothing behind
// the line (colour-blind numbers under a band, the bright bar of the selected
// row, menu text under a dialog box, the title's gems) shows between or beside
// its glyphs, and no glyph is cut off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "display/edsp_base.h"
#include "game/dialog.h"
#include "game/settings.h"
#include "game/tutorial.h"
#include "tests/support/harness.h"
#include "tests/support/level_rig.h"
#include "tests/support/menu_driver.h"

namespace {

using zt::Add;
using zt::AtItem;
using zt::B;
using zt::Choose;
using zt::Dialog;
using zt::DOWN;
using zt::Driver;
using zt::ShellRun;
using zt::START;
using zt::Step;
using zt::UP;

// Ink at least this bright (largest channel) stands out; everything else in a
// line's box must stay at or below kDark.
constexpr uint32_t kInk = 96, kDark = 56;

uint32_t Bright(uint32_t p) { return std::max({p & 255, p >> 8 & 255, p >> 16 & 255}); }

// Pieces of one line of font 0 text, drawn at their x on the same row.
struct Piece {
  int32_t x;
  std::string text;
};

// Reads lines on the frame the game has just drawn (its back buffer).
class Reader {
 public:
  explicit Reader(ClassMain& app) : app_(app), frame_(app.Data().ecd->dsp->GetBackBuffer()) {}

  // Empty when the line reads whole with its cells' top at row y, else why not.
  std::string Check(const std::vector<Piece>& pieces, int32_t y, int32_t top = 0, int32_t bottom = 240) {
    return CheckInk(Ink(pieces), y, top, bottom);
  }

  // The rows (cell tops) from `from` to `to` at which the line reads whole.
  std::vector<int32_t> RowsWhole(const std::vector<Piece>& pieces, int32_t from, int32_t to, int32_t top = 0,
                                 int32_t bottom = 240) {
    const std::vector<uint8_t> ink = Ink(pieces);
    std::vector<int32_t> rows;
    for (int32_t y = from; y <= to; y++)
      if (CheckInk(ink, y, top, bottom).empty()) rows.push_back(y);
    return rows;
  }

  int32_t Width(const std::string& text) { return int32_t(app_.Graphics().GetFontWidth(0, text.c_str())); }
  int32_t Centred(const std::string& text) { return 160 - Width(text) / 2; }

 private:
  static constexpr int32_t kRows = 20;

  std::string CheckInk(const std::vector<uint8_t>& ink, int32_t y, int32_t top, int32_t bottom) {
    int32_t l = 320, r = -1, t = kRows, b = -1;
    for (int32_t j = 0; j < kRows; j++)
      for (int32_t x = 0; x < 320; x++)
        if (ink[size_t(j) * 320 + size_t(x)]) l = std::min(l, x), r = std::max(r, x), t = std::min(t, j), b = std::max(b, j);
    if (r < 0) return "no ink";
    if (y + t < top || y + b >= bottom) return "the ink leaves rows " + std::to_string(top) + "-" + std::to_string(bottom - 1);
    for (int32_t j = t; j <= b; j++)
      for (int32_t x = l; x <= r; x++) {
        const uint32_t v = Bright(frame_->GetPixel(x, y + j));
        const bool want = ink[size_t(j) * 320 + size_t(x)] != 0;
        if (want ? v < kInk : v > kDark)
          return (want ? "faint ink at " : "light behind the text at ") + std::to_string(x) + "," +
                 std::to_string(y + j) + " (" + std::to_string(v) + ")";
      }
    return "";
  }

  // The face's ink of the pieces with their cells' top at row 0.
  std::vector<uint8_t> Ink(const std::vector<Piece>& pieces) {
    E2DSurface scratch;
    std::vector<uint8_t> ink(320 * kRows, 0);
    if (app_.Data().ecd->dsp->CreateSurface(&scratch, 320, kRows, 0) != 0) return ink;
    scratch.FillRect(nullptr, 0);
    for (const Piece& p : pieces) scratch.DrawFont(p.x, 0, app_.Graphics().Font(0), p.text.c_str(), 1, 0);
    for (int32_t j = 0; j < kRows; j++)
      for (int32_t x = 0; x < 320; x++) ink[size_t(j) * 320 + size_t(x)] = scratch.GetPixel(x, j) != 0;
    return ink;
  }
  ClassMain& app_;
  E2DSurface* frame_;
};

// Each line reads whole at exactly one row in [from, to].
void ExpectLines(ClassMain& app, const std::vector<std::vector<Piece>>& lines, int32_t from = 0, int32_t to = 227) {
  Reader read(app);
  for (const auto& line : lines) {
    std::string shown;
    for (const Piece& p : line) shown += p.text + "|";
    EXPECT_EQ(read.RowsWhole(line, from, to).size(), 1u) << "\"" << shown << "\" does not read whole";
  }
}
std::vector<Piece> CentredLine(ClassMain& app, const std::string& text) {
  return {{Reader(app).Centred(text), text}};
}

bool InLevel(ClassMain& app, uint8_t state) {
  return app.ModuleId() == MODULE_LEVEL && app.Level().levelState == state;
}
// A condition that has held for the last few frames (a page that has just
// settled may show its last sliding frame once more).
std::function<bool(ClassMain&)> Held(std::function<bool(ClassMain&)> when, uint32_t frames = 4) {
  auto count = std::make_shared<uint32_t>(0);
  return [when, frames, count](ClassMain& app) {
    *count = when(app) ? *count + 1 : 0;
    return *count > frames;
  };
}
// The selected row's bar is at its brightest about 512 ms into each second.
bool BarBright(ClassMain& app) { return (app.Level().stateTimer & 1023) >= 480 && (app.Level().stateTimer & 1023) < 544; }

Step Check(std::function<bool(ClassMain&)> when, std::function<void(ClassMain&)> check, bool* done) {
  Step s{std::move(when), {}, ""};
  s.act = [check, done](ClassMain& app) {
    check(app);
    *done = true;
  };
  return s;
}

std::string ColourBlindFolder(const std::string& name) {
  const std::string folder = zt::GameDir(name);
  if (folder.empty()) return folder;
  MAINCONFIG cfg;
  std::memset(cfg.bytes, 0, sizeof cfg.bytes);
  Settings_Reset(&cfg, nullptr);
  cfg.bytes[MAINCONFIG::kColourBlind] = 1;
  return Settings_Save(&cfg, (folder + "/game.cfg").c_str()) ? folder : "";
}

#define REQUIRE_PACKS()                                                  \
  do {                                                                   \
    if (zt::ResParent().empty()) GTEST_SKIP() << "no resource packs";    \
  } while (0)

// A board of numbered stones, no two alike side by side, with the top corner
// (where stones come in) left free.
std::vector<std::string> NumberedBoard() {
  std::vector<std::string> rows;
  for (int r = 0; r < 9; r++) {
    std::string row;
    for (int c = 0; c < 9; c++) row += r >= 6 && c <= 2 ? '_' : char('1' + (3 * r + c) % 7);
    rows.push_back(row);
  }
  return rows;
}

// A game against the computer with the colour-blind numbers on: the player
// select with its brightest selection bar, the pause menu over a board full of
// numbered stones, and the ranking over the board the game ended with.
TEST(Legibility, BandsAndMenusOverTheBoardReadWhole) {
  REQUIRE_PACKS();
  const std::string folder = ColourBlindFolder("legible_versus");
  ASSERT_FALSE(folder.empty());
  bool select = false, paused = false, ranking = false;
  const char* const seats[] = {"1. Anonymous (Self)", "2. Freaky Fred (CPU)", "3. Average Joe (CPU)",
                               "4. Mighty Mike (CPU)", "Start", "Exit"};
  auto rankingAt = [](ClassMain& app) { return InLevel(app, 11) && app.Level().stateTimer >= 3600; };
  auto inPlay = [](ClassMain& app) { return Driver::Playing(app) && app.Level().turnPhase == 0; };
  std::vector<Step> s;
  Add(s, Choose(MENU_MAIN, 0, 1));
  s.push_back({AtItem(MENU_MULTI, 0), {DOWN, DOWN, DOWN, DOWN, DOWN, B, B, B, UP, UP, UP, B}, ""});
  s.push_back({[](ClassMain& app) { return InLevel(app, 7); }, {DOWN}, ""});
  s.push_back(Check([](ClassMain& app) { return InLevel(app, 7) && app.Level().menuCursor == 1 && BarBright(app); },
                    [&](ClassMain& app) {
                      std::vector<std::vector<Piece>> lines = {CentredLine(app, "Select CPU players")};
                      for (const char* seat : seats) lines.push_back(CentredLine(app, seat));
                      ExpectLines(app, lines);
                    },
                    &select));
  s.push_back({[](ClassMain& app) { return InLevel(app, 7); }, {DOWN, DOWN, DOWN, B}, ""});
  Step fill{inPlay, {}, ""};
  fill.act = [](ClassMain& app) { zt::PlaceRows(app.Level(), NumberedBoard()); };
  s.push_back(fill);
  s.push_back({inPlay, {START}, ""});
  s.push_back(Check(Held(AtItem(MENU_PAUSE, 0)),
                    [&](ClassMain& app) {
                      Reader read(app);
                      const int32_t box = 160 - (read.Width("Single player") + 24) / 2 + 12;
                      ExpectLines(app, {{{box, "Game Paused"}}, {{93, "Resume"}}, {{93, "Mute: Off"}}, {{93, "Quit"}}});
                    },
                    &paused));
  s.push_back({Held(AtItem(MENU_PAUSE, 0)), {B}, ""});  // Resume
  s.push_back({[](ClassMain& app) { return Driver::Playing(app); }, {}, "", true});
  s.push_back(Check(rankingAt,
                    [&](ClassMain& app) {
                      ExpectLines(app, {CentredLine(app, "Ranking"), CentredLine(app, "Play again"),
                                        CentredLine(app, "Choose CPU players"), CentredLine(app, "Quit")});
                    },
                    &ranking));
  ShellRun r(s, folder, zt::TempDir("legible_versus_frames"), 90000);
  r.quitWhenDone = true;
  ASSERT_TRUE(r.Go());
  EXPECT_TRUE(r.driver.Done()) << "stopped after step " << r.driver.StepsDone();
  EXPECT_TRUE(select && paused && ranking);
}

// The title's dialog over its menu text, the highscore page's bottom line
// beside the gems, and the tutorial's band of two lines.
TEST(Legibility, DialogHighscorePageAndTutorialBandReadWhole) {
  REQUIRE_PACKS();
  const std::string folder = zt::GameDir("legible_title");
  ASSERT_FALSE(folder.empty());
  bool confirm = false, scores = false, tutorial = false;
  std::vector<Step> s;
  Add(s, Choose(MENU_MAIN, 0, 3));     // Options
  Add(s, Choose(MENU_OPTIONS, 0, 5));  // Erase Highscores asks
  s.push_back(Check(Held(Dialog(DLG_CONFIRM)),
                    [&](ClassMain& app) {
                      Reader read(app);
                      const int32_t x = 160 - read.Width("Yes "), x2 = 160 + read.Width(" ");
                      ExpectLines(app, {CentredLine(app, "Are you sure?"), {{x, "Yes"}, {x2, "No"}}});
                    },
                    &confirm));
  s.push_back({Dialog(DLG_CONFIRM), {B}, ""});
  Add(s, Choose(MENU_OPTIONS, 5, 6));  // Return
  Add(s, Choose(MENU_MAIN, 3, 5));     // Highscores
  s.push_back(Check(Held(AtItem(MENU_HIGHSCORES, 0)),
                    [&](ClassMain& app) {
                      Reader read(app);
                      const std::vector<Piece> previous = {{51, "< Previous"}}, next = {{269 - read.Width("Next >"), "Next >"}};
                      EXPECT_EQ(read.Check(previous, 204), "");
                      EXPECT_EQ(read.Check(next, 204), "");
                    },
                    &scores));
  s.push_back({AtItem(MENU_HIGHSCORES, 0), {B}, ""});
  Add(s, Choose(MENU_MAIN, 5, 2));  // Tutorial
  // Between scrolls the band shows the two lines read last, both whole.
  s.push_back(Check(
      [](ClassMain& app) {
        return InLevel(app, 1) && app.Level().tutorial.linesScrolled >= 3 && app.Level().tutorial.scrollTimer == 0 &&
               app.Level().tutorial.lineWait > 100;
      },
      [&](ClassMain& app) {
        const TUTORIALSTATE& t = app.Level().tutorial;
        std::vector<std::string> lines;
        std::string line;
        for (const char* p = t.text;; p++) {
          if (*p == '\n' || *p == 0) {
            lines.push_back(line);
            line.clear();
            if (*p == 0) break;
          } else if (*p != kTutorialSegmentMark) {
            line += *p;
          }
        }
        ASSERT_GE(lines.size(), t.linesScrolled);
        Reader read(app);
        const int32_t band = int32_t(t.bandHeight);
        for (uint32_t k : {t.linesScrolled - 2, t.linesScrolled - 1})
          EXPECT_EQ(read.RowsWhole({{6, lines[k]}}, -8, band, 0, band).size(), 1u)
              << "\"" << lines[k] << "\" is not whole in the band";
      },
      &tutorial));
  ShellRun r(s, folder, zt::TempDir("legible_title_frames"), 20000);
  r.quitWhenDone = true;
  ASSERT_TRUE(r.Go());
  EXPECT_TRUE(r.driver.Done()) << "stopped after step " << r.driver.StepsDone();
  EXPECT_TRUE(confirm && scores && tutorial);
}

}  // namespace
