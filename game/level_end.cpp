// The screens that end or interrupt play: the highscore decision and name
// entry after a game over, the ranking of a game of several
// players with its replay menu, the tutorial's text band and the word wrap.
#include <cstdio>
#include <cstring>

#include "display/esurf_2d.h"
#include "framework/emod_input.h"
#include "game/app.h"
#include "game/level.h"
#include "game/linefeed.h"
#include "game/player.h"
#include "game/ui_util.h"

namespace {

constexpr uint32_t kNameMax = 16;
constexpr uint32_t kNameWidth = 119;
constexpr uint32_t kWinnerMs = 3000;

}  // namespace

void ClassLevel::CalculateLineFeed(char* out, uint32_t outSize, const char* text, uint8_t font, uint32_t width) {
  uint8_t widths[256];
  E2DSurface* face = mainData && mainData->graphics ? mainData->graphics->Font(font) : nullptr;
  Text_FontWidths(face && face->GetBuffer() ? face : nullptr, widths);
  Text_LineFeed(out, outSize, text, widths, width);
}

// ---- common screen elements ----

int32_t ClassLevel::FontRow() const {
  const int32_t h = mainData && mainData->graphics ? static_cast<int32_t>(mainData->graphics->GetFontHeight(0)) : 0;
  return h > 2 ? h - 2 : 1;
}

void ClassLevel::DrawBand(E2DSurface* s, int32_t top, int32_t rows, uint32_t colour) {
  ClassGraphics* gfx = mainData->graphics;
  const int32_t bottom = top + rows * FontRow();
  gfx->DrawAlphaBar(s, 0, top, 320, bottom, colour, 128);
  gfx->DrawLine(s, 0, top - 2, 319, top - 2, 0x000000);
  gfx->DrawLine(s, 0, top - 1, 319, top - 1, 0xFFFFFF);
  gfx->DrawLine(s, 0, bottom, 319, bottom, 0xFFFFFF);
  gfx->DrawLine(s, 0, bottom + 1, 319, bottom + 1, 0x000000);
}

void ClassLevel::DrawCentred(E2DSurface* s, int32_t y, const char* text) {
  mainData->graphics->DrawFontFx(s, 0, 160, y, text, 0x201, 0);
}

void ClassLevel::DrawCentredDim(E2DSurface* s, int32_t y, const char* text) {
  mainData->graphics->DrawFontFx(s, 0, 160, y, text, 0x209, 128);
}

void ClassLevel::DrawPulseBar(E2DSurface* s, int32_t y) {
  const uint32_t phase = stateTimer & 1023;
  const uint32_t up = (stateTimer / 4) % 128;
  const uint32_t opacity = phase < 512 ? 64 + up : 191 - up;
  mainData->graphics->DrawAlphaBar(s, 0, y, 320, y + FontRow(), 0xFFFFFF, static_cast<uint8_t>(opacity));
}

int32_t ClassLevel::MenuInput(uint32_t rows, int32_t listTop, uint32_t gapRow, int32_t gap) {
  ClassEInput* in = mainData && mainData->ecd ? mainData->ecd->input : nullptr;
  if (!in || rows == 0) return -1;
  const uint8_t before = menuCursor;
  const int32_t row = FontRow();
  int32_t chosen = -1;
  const int32_t w = in->GetWheelScroll();
  auto move = [&](int32_t d) {
    menuCursor = static_cast<uint8_t>((menuCursor + rows + static_cast<uint32_t>(d)) % rows);
  };
  if (w < 0) move(-1);
  if (w > 0) move(1);
  E_INPUTEVENT ev;
  while (in->GetKeyEvent(&ev)) {
    const bool press = Pressed(ev.type);
    if (press && ev.action == 0xC0) move(-1);
    else if (press && ev.action == 0xC1) move(1);
    else if (ev.type == EIT_DOWN && ev.action == 0xC4) chosen = menuCursor;
  }
  auto rowAt = [&](int32_t y) -> int32_t {
    int32_t at = y - listTop;
    const int32_t gapTop = static_cast<int32_t>(gapRow) * row;
    if (gap > 0 && at >= gapTop) {
      if (at < gapTop + gap) return -1;
      at -= gap;
    }
    if (at < 0 || at >= static_cast<int32_t>(rows) * row) return -1;
    return at / row;
  };
  if (in->ClickHold(0)) {
    int32_t x, y;
    in->GetClickPosition(x, y);
    const int32_t r = rowAt(y);
    if (r >= 0) menuCursor = static_cast<uint8_t>(r);
  }
  while (in->GetClickEvent(&ev)) {
    const int32_t r = rowAt(ev.y);
    if (r < 0) continue;
    menuCursor = static_cast<uint8_t>(r);
    if (ev.type == EIT_DOWN) chosen = r;
  }
  if (menuCursor != before) PlayEffect(6);
  return chosen;
}

// ---- highscores ----

void ClassLevel::HighscoreDecision(E2DSurface* s, uint32_t* module, uint32_t* message) {
  ClassPlayer* pl = Player();
  MAINCONFIG* cfg = mainData ? mainData->settings : nullptr;
  if (!pl || !cfg) return;
  // The puzzle game keeps its scores in the table of MODE_PUZZLE_NEXT.
  if (pl->mode == MODE_PUZZLE) pl->mode = MODE_PUZZLE_NEXT;
  if (HasScoreTable(pl->mode)) {
    highscoreRank = 0;
    for (uint32_t r = 0; r < 3; r++)
      if (cfg->Score(pl->mode, r) >= pl->score) highscoreRank++;
  } else {
    highscoreRank = 0xFF;
  }
  if (highscoreRank >= 3) {
    *module = MODULE_TITLE;
    *message = 0x8001;
    return;
  }
  CopyText(textBuffer, kNameMax + 1, cfg->PlayerName());
  ClassGraphics* gfx = mainData->graphics;
  if (s && gfx) {
    gfx->ScreenAlpha(s, 0x000000, 128);
    DrawCentred(s, 64, "New Highscore!");
    gfx->DrawAlphaBar(s, 64, 88, 257, 153, 0xFF8000, 128);
    gfx->DrawRectangle(s, 63, 87, 258, 154, 0x000000);
    gfx->DrawRectangle(s, 80, 124, 241, 145, 0xFFFFFF);
    char score[16];
    std::snprintf(score, sizeof score, "%u", pl->score);
    DrawCentred(s, 96, score);
    gfx->CaptureBackDrop(s);
  }
  if (mainData->console) mainData->console->ShowInput();
  nameLength = static_cast<uint8_t>(std::strlen(textBuffer));
  levelState = ST_NAMEENTRY;
}

void ClassLevel::HandleNameEntry(E2DSurface* s, uint32_t delta, uint32_t* module, uint32_t* message) {
  ClassPlayer* pl = Player();
  MAINCONFIG* cfg = mainData ? mainData->settings : nullptr;
  ClassGraphics* gfx = mainData ? mainData->graphics : nullptr;
  if (!pl || !cfg) return;
  stateTimer += delta;
  if (s && gfx) {
    gfx->DrawBackDrop(s);
    char shown[sizeof textBuffer + 2];
    std::snprintf(shown, sizeof shown, "%s%s", textBuffer, stateTimer % 800 < 400 ? "_" : "");
    // The cursor follows the name without moving it.
    const int32_t w = static_cast<int32_t>(gfx->GetFontWidth(0, textBuffer));
    gfx->DrawFont(s, 0, 160 - w / 2, 124 + 4, shown);
  }
  const char c = mainData->console ? mainData->console->GetC() : 0;
  const auto u = static_cast<unsigned char>(c);
  bool done = false;
  if (u >= 0x20 && u <= 0x7F) {
    if (nameLength < kNameMax && (!gfx || gfx->GetFontWidth(0, textBuffer) <= kNameWidth)) {
      textBuffer[nameLength++] = c;
      textBuffer[nameLength] = 0;
    }
  } else if (u == 8) {
    if (nameLength) textBuffer[--nameLength] = 0;
  } else if (u == 0x1B || u == 7) {
    textBuffer[0] = 0;
    nameLength = 0;
    done = true;
  } else if (u == 0x0D) {
    done = true;
  }
  if (!done) return;
  if (HasScoreTable(pl->mode) && highscoreRank < 3) {
    for (uint32_t r = 2; r > highscoreRank; r--) {
      CopyText(cfg->ScoreName(pl->mode, r), MAINCONFIG::kTextSize, cfg->ScoreName(pl->mode, r - 1));
      cfg->SetScore(pl->mode, r, cfg->Score(pl->mode, r - 1));
    }
    cfg->SetScore(pl->mode, highscoreRank, pl->score);
    const bool blank = static_cast<unsigned char>(textBuffer[0]) <= 32;
    CopyText(cfg->ScoreName(pl->mode, highscoreRank), MAINCONFIG::kTextSize, blank ? "Anonymous" : textBuffer);
  }
  mainData->saverequest = 1;
  if (mainData->console) mainData->console->HideInput();
  *module = MODULE_TITLE;
  *message = 0x8001;
}

// ---- after the game ----

bool ClassLevel::WaitsAfterGame() const {
  switch (levelState) {
    case ST_NAMEENTRY:
    case ST_RESTART:  // after the others left or the host was lost
      return true;
    case ST_RANKING:  // once its replay menu shows
      return stateTimer >= kWinnerMs;
    default:
      return false;
  }
}

// ---- ranking ----

void ClassLevel::PlayerName(uint32_t player, char* out, uint32_t size, uint8_t* look) const {
  *look = 0;  // 0 plain, 1 own, 2 dimmed
  const int32_t seat = player == OwnPlayer() ? 3 : SeatOfPlayer(player);
  if (seat == 3) {
    CopyText(out, size, mainData && mainData->settings ? mainData->settings->PlayerName() : "");
    *look = 1;
    return;
  }
  if (seat < 0 || seat > 2) {
    CopyText(out, size, "Disabled");
    *look = 2;
    return;
  }
  const PLAYERSLOT& st = slot[seat];
  if (IsComputerSeat(st.kind)) {
    CopyText(out, size, kCpuNames[st.kind - SEAT_CPU_FRED]);
  } else if (st.kind == SEAT_REMOTE && st.link == LINK_DROPPED) {
    CopyText(out, size, "Disconnected");
    *look = 2;
  } else if (st.kind == SEAT_REMOTE) {
    CopyText(out, size, st.name);
  } else {
    CopyText(out, size, "Disabled");
    *look = 2;
  }
}

void ClassLevel::HandleRanking(E2DSurface* s, uint32_t delta, uint32_t* module, uint32_t* message) {
  ClassPlayer* pl = Player();
  if (!pl) return;
  if (pl->winner < 1 || pl->winner > 4) {
    levelState = ST_PLAY;
    return;
  }
  if (stateTimer < kWinnerMs)
    ShowWinner(s, delta);
  else
    RankingMenu(s, delta, module, message);
}

// The first three seconds: play runs on under the winner's name.
void ClassLevel::ShowWinner(E2DSurface* s, uint32_t delta) {
  ClassPlayer* pl = Player();
  menuCursor = 0;
  stateTimer += delta;
  HandleIdle(delta);
  HandleParticles(delta);
  // The winner's seat: the own player when the winning number is ours.
  const uint32_t winner = pl->winner - 1u;
  char name[32];
  if (winner == OwnPlayer()) {
    CopyText(name, sizeof name, mainData->settings ? mainData->settings->PlayerName() : "");
  } else {
    const int32_t seat = SeatOfPlayer(winner);
    if (seat >= 0 && seat <= 2) {
      const PLAYERSLOT& st = slot[seat];
      CopyText(name, sizeof name,
               IsComputerSeat(st.kind) ? kCpuNames[st.kind - SEAT_CPU_FRED] : st.name);
      slot[seat].score = pl->targetScore;
    } else {
      name[0] = 0;
    }
  }
  if (!s || !mainData->graphics) return;
  RenderAll(s, true);
  const int32_t row = FontRow();
  const int32_t top = 120 - row;
  DrawBand(s, top, 2, 0x000000);
  DrawCentred(s, top, name);
  DrawCentred(s, top + row, "wins the game!");
}

// Then the ranking with the replay menu: again, other seats or hosts, or quit.
void ClassLevel::RankingMenu(E2DSurface* s, uint32_t delta, uint32_t* module, uint32_t* message) {
  ClassPlayer* pl = Player();
  stateTimer += delta;
  const bool host = pl->kind == MULTI_HOST_TCP || pl->kind == MULTI_HOST_WIRELESS;
  const bool joined = pl->kind == MULTI_JOIN_TCP || pl->kind == MULTI_JOIN_WIRELESS;
  static const char* const kHost[] = {"Host again", "Quit"};
  static const char* const kVersus[] = {"Play again", "Choose CPU players", "Quit"};
  static const char* const kJoin[] = {"Join host again", "Choose different host", "Quit"};
  const char* const* items = host ? kHost : joined ? kJoin : kVersus;
  const uint32_t count = host ? 2 : 3;
  const int32_t row = FontRow();
  const int32_t rows = 4 + static_cast<int32_t>(count);
  const int32_t listTop = 120 - rows * row / 2;
  const int32_t menuTop = listTop + 4 * row;
  const int32_t chosen = MenuInput(count, menuTop);
  if (chosen >= 0) {
    if (static_cast<uint32_t>(chosen) == count - 1) {
      // Leaving drops the connection (released before the next frame).
      mainData->releaserequest = 1;
      *module = MODULE_TITLE;
      *message = 0x10002;
    } else if (host || chosen == 1) {
      *message = 0x10003;
    } else {
      *message = 0x10004;
    }
  }
  if (!s || !mainData->graphics) return;
  RenderAll(s, true);
  DrawBand(s, listTop - 2 * row - 4, 1, 0x000000);
  DrawCentred(s, listTop - 2 * row - 4, "Ranking");
  DrawBand(s, listTop, rows, 0x4080C0);
  DrawRankingRows(s, listTop);
  DrawPulseBar(s, menuTop + menuCursor * row);
  for (uint32_t i = 0; i < count; i++)
    DrawCentred(s, menuTop + static_cast<int32_t>(i) * row, items[i]);
}

// The four places: number, name and score, the own one in colour and the
// empty or lost seats dimmed.
void ClassLevel::DrawRankingRows(E2DSurface* s, int32_t listTop) {
  ClassPlayer* pl = Player();
  ClassGraphics* gfx = mainData->graphics;
  const int32_t row = FontRow();
  const int32_t margin = 24 + static_cast<int32_t>(gfx->GetFontWidth(0, "0"));
  for (int32_t i = 0; i < 4; i++) {
    char place[16], name[40], score[16];
    uint8_t look = 0;
    std::snprintf(place, sizeof place, "%d", i + 1);
    char who[32];
    PlayerName(pl->ranking[i], who, sizeof who, &look);
    std::snprintf(name, sizeof name, ". %s", who);
    std::snprintf(score, sizeof score, "%d", static_cast<int>(pl->finalScore[i]));
    const int32_t y = listTop + i * row;
    const int32_t px = margin - static_cast<int32_t>(gfx->GetFontWidth(0, place));
    const int32_t sx = 296 - static_cast<int32_t>(gfx->GetFontWidth(0, score));
    auto draw = [&](int32_t x, const char* t) {
      if (look == 1)
        gfx->DrawFontColor(s, 0, x, y, t, 0x80FF);
      else if (look == 2)
        gfx->DrawFontAlpha(s, 0, x, y, t, 128);
      else
        gfx->DrawFont(s, 0, x, y, t);
    };
    draw(px, place);
    draw(margin, name);
    draw(sx, score);
  }
}

// ---- tutorial text ----

void ClassLevel::RenderTutorialText(E2DSurface* s, int32_t bandHeight) {
  ClassGraphics* gfx = mainData ? mainData->graphics : nullptr;
  if (!s || !gfx || bandHeight <= 0) return;
  const int32_t lh = static_cast<int32_t>(gfx->GetFontHeight(0));
  if (lh <= 0) return;
  tagRECT old;
  s->GetClipper(&old);
  tagRECT band = {0, 0, 320, bandHeight};
  s->SetClipper(&band);
  // Lines enter from below the band: after k scrolls the newest line read is
  // on its lower row, moving up by the scroll timer's share of a line. The
  // font's ink starts two rows into its cells, so the upper row's cell starts
  // two rows above the band: both rows then show whole in a band of two cell
  // heights less 4.
  const int32_t k = static_cast<int32_t>(tutorial.linesScrolled);
  const int32_t lift = static_cast<int32_t>(tutorial.scrollTimer) * lh / 256;
  const char* t = tutorial.text;
  for (int32_t j = 0; *t && j <= k; j++) {
    const char* end = t;
    while (*end && *end != '\n') end++;
    const int32_t y = (j - k + 2) * lh - 2 - lift;
    if (y > -lh && y < bandHeight) {
      char line[96];
      uint32_t n = 0;
      for (const char* p = t; p < end && n + 1 < sizeof line; p++)
        if (*p != kTutorialSegmentMark) line[n++] = *p;
      line[n] = 0;
      gfx->DrawFont(s, 0, 6, y, line);
    }
    t = *end ? end + 1 : end;
  }
  s->SetClipper(&old);
}
