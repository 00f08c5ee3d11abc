// The title's pages: menus with their values, highscores with submission codes,
// credits, the "Game Closed" notice and the title's own loading box.
#include <cstdio>
#include <cstring>

#include "framework/emod_device.h"
#include "framework/emod_input.h"
#include "game/app.h"
#include "game/title.h"

namespace {

const char kVersion[] = "Version: 1.50";
const char* const kModeNames[3] = {"Standard Game", "Timed Game", "Puzzle Game"};
const char* const kStylus[3] = {"Single Tap", "Double Tap", "Tap Release"};
const char* const kTargets[4] = {"5000", "10000", "20000", "50000"};

}  // namespace

void ClassTitle::RenderValue(char* out, uint32_t size, uint8_t action) const {
  const MAINCONFIG* cfg = maindata->settings;
  out[0] = 0;
  switch (action) {
    case 9: std::snprintf(out, size, "%u", cfg->StartLevel()); break;
    case 22: std::snprintf(out, size, "%u", cfg->MultiStartLevel()); break;
    case 15: std::snprintf(out, size, "%u%%", cfg->EffectVolume() * 25u / 16u); break;
    case 16: std::snprintf(out, size, "%u%%", cfg->MusicVolume() * 25u / 16u); break;
    case 14: std::snprintf(out, size, "%s", cfg->Mute() ? "On" : "Off"); break;
    case 23: std::snprintf(out, size, "%s", cfg->ColourBlind() ? "On" : "Off"); break;
    case 18:
      std::snprintf(out, size, "%s",
                    cfg->Connection() == MAINCONFIG::CONNECTION_TCP ? "TCP/IP" : "Bluetooth");
      break;
    case 19: {
      const bool typing = maindata->console && maindata->console->state == DLG_INPUT;
      std::snprintf(out, size, "%.31s%s", cfg->PlayerName(), typing ? "_" : "");
      break;
    }
    case 21: {
      const uint8_t i = cfg->TargetIndex();
      std::snprintf(out, size, "%s", i < 4 ? kTargets[i] : "-----");
      break;
    }
    case 48:
    case 49:
    case 50:
    case 51: {
      char name[256];
      maindata->ecd->input->GetKeyName(static_cast<int32_t>(keyChoice[KeyWord(action)]), name);
      std::snprintf(out, size, "%.40s", name);
      break;
    }
    case 11: {
      const uint8_t m = cfg->StylusMode();
      std::snprintf(out, size, "%s", m < 3 ? kStylus[m] : "");
      break;
    }
    default: break;
  }
}

void ClassTitle::RenderBox(E2DSurface* s, int32_t x, int32_t y, int32_t w, const char* title) {
  ClassGraphics* gfx = maindata->graphics;
  const int32_t h = static_cast<int32_t>(FontHeight());
  // Outlines and fill as inclusive corners.
  gfx->DrawRectangle(s, x - 2, y - 5, x + w + 2, y + h + 5, 0x000000);
  gfx->DrawRectangle(s, x - 1, y - 4, x + w + 1, y + h + 4, 0xFFFFFF);
  gfx->DrawAlphaBar(s, x, y - 3, x + w, y + h + 3, 0x4080C0, 128);
  gfx->DrawFont(s, 0, x + 12, y, title);
}

void ClassTitle::RenderMenu(E2DSurface* s) {
  ClassGraphics* gfx = maindata ? maindata->graphics : nullptr;
  if (!s || !gfx) return;
  const int32_t slide = state == TITLE_SLIDE_IN ? 256 - 2 * static_cast<int32_t>(pageTimer)
                        : state == TITLE_SLIDE_OUT ? -4 * static_cast<int32_t>(pageTimer) : 0;
  if (menu == MENU_PAUSE)
    gfx->DrawBackSurface(s);
  else
    gfx->DrawBackDrop(s);
  if (menu == MENU_HIGHSCORES) {
    RenderHighscores(s, slide);
    return;
  }
  if (menu == MENU_CREDITS) {
    RenderCredits(s, slide);
    return;
  }
  const int32_t h = static_cast<int32_t>(FontHeight());
  const uint32_t count = itemCount[menu < 10 ? menu : 0];
  const int32_t y0 = 120 - static_cast<int32_t>(count) * h / 2;
  const int32_t x = 93 + slide;
  for (uint32_t i = 0; i < count && i < 10; i++) {
    char line[96], value[64];
    RenderValue(value, sizeof value, itemAction[menu][i]);
    std::snprintf(line, sizeof line, "%s%s", menuItem[menu][i], value);
    const int32_t y = y0 + static_cast<int32_t>(i) * h;
    if (i == cursor) {
      gfx->DrawFontColor(s, 0, x, y, line, 0xFFFFFF);
      gfx->DrawFontColor(s, 0, x - static_cast<int32_t>(gfx->GetFontWidth(0, ">")) - 2, y, ">", 0xFFFFFF);
    } else {
      gfx->DrawFontColor(s, 0, x, y, line, 0xC0C0C0);
    }
  }
  if (menu != MENU_MAIN) {
    const int32_t w = static_cast<int32_t>(gfx->GetFontWidth(0, "Single player")) + 24;
    RenderBox(s, 160 - w / 2 + slide, 120 - 11 * h / 2, w, menuTitle[menu]);
  }
  if (state == TITLE_LOADING) return;
  if (menu == MENU_PAUSE) {
    uint8_t hour = 0, minute = 0, second = 0;
    ClassEDevice::CurrentTime(hour, minute, second, true);
    char hh[8], mm[8];
    std::snprintf(hh, sizeof hh, "%u", hour);
    std::snprintf(mm, sizeof mm, "%02u", minute);
    const int32_t colon = static_cast<int32_t>(gfx->GetFontWidth(0, ":"));
    gfx->DrawFontAlpha(s, 0, 292 - colon / 2 - static_cast<int32_t>(gfx->GetFontWidth(0, hh)), 211, hh, 128);
    gfx->DrawFontAlpha(s, 0, 292 - colon / 2, 211, ":", 128);
    gfx->DrawFontAlpha(s, 0, 292 - colon / 2 + colon, 211, mm, 128);
  } else {
    gfx->DrawFont(s, 0, 160 - static_cast<int32_t>(gfx->GetFontWidth(0, kVersion)) / 2, 204, kVersion);
  }
}

void ClassTitle::RenderHighscores(E2DSurface* s, int32_t slide) {
  ClassGraphics* gfx = maindata->graphics;
  const MAINCONFIG* cfg = maindata->settings;
  const int32_t h = static_cast<int32_t>(FontHeight());
  const uint32_t mode = cursor % 3;
  const int32_t top = 120 - 3 * h / 2 - h;
  const int32_t x = static_cast<int32_t>(gfx->GetFontWidth(0, "9999999")) + 69 + slide;
  for (uint32_t r = 0; r < 3; r++) {
    char score[16], name[40];
    std::snprintf(score, sizeof score, "%u", cfg->Score(mode, r));
    std::snprintf(name, sizeof name, ", %.31s", cfg->ScoreName(mode, r));
    const int32_t y = top + static_cast<int32_t>(r) * h;
    gfx->DrawFont(s, 0, x - static_cast<int32_t>(gfx->GetFontWidth(0, score)), y, score);
    gfx->DrawFont(s, 0, x, y, name);
  }
  const int32_t w = static_cast<int32_t>(gfx->GetFontWidth(0, "Standard Game")) + 24;
  RenderBox(s, 160 - w / 2 + slide, 120 - 5 * h, w, kModeNames[mode]);
  auto centred = [&](int32_t y, const char* t) {
    gfx->DrawFont(s, 0, 160 + slide - static_cast<int32_t>(gfx->GetFontWidth(0, t)) / 2, y, t);
  };
  const int32_t below = top + 3 * h + h / 2;
  centred(below, "Submission code");
  char line[64];
  std::snprintf(line, sizeof line, "%u: %.31s", cfg->Score(mode, 0), codes[mode]);
  centred(below + h, line);
  gfx->DrawFont(s, 0, 51, 204, "< Previous");
  gfx->DrawFont(s, 0, 269 - static_cast<int32_t>(gfx->GetFontWidth(0, "Next >")), 204, "Next >");
}

void ClassTitle::RenderCredits(E2DSurface* s, int32_t slide) {
  ClassGraphics* gfx = maindata->graphics;
  const int32_t h = static_cast<int32_t>(FontHeight());
  const uint32_t page = cursor % 3;
  for (uint32_t i = 0; i < 10; i++) {
    const char* line = credits[page * 10 + i];
    if (!line[0]) continue;
    const bool heading = i == 0 || credits[page * 10 + i - 1][0] == 0;
    const int32_t y = 120 - 5 * h + static_cast<int32_t>(i) * h;
    if (heading)
      gfx->DrawFontColor(s, 0, 76 + slide, y, line, 0xC0C0C0);
    else
      gfx->DrawFont(s, 0, 76 + slide, y, line);
  }
  gfx->DrawFont(s, 0, 160 - static_cast<int32_t>(gfx->GetFontWidth(0, kVersion)) / 2, 204, kVersion);
}

void ClassTitle::RenderClosed(E2DSurface* s) {
  ClassGraphics* gfx = maindata->graphics;
  if (!s) return;
  const int32_t h = static_cast<int32_t>(FontHeight());
  const int32_t y0 = 120 - h / 2;
  gfx->DrawLine(s, 0, y0 - 2, 319, y0 - 2, 0x000000);
  gfx->DrawLine(s, 0, y0 - 1, 319, y0 - 1, 0xFFFFFF);
  gfx->DrawAlphaBar(s, 0, y0, 320, y0 + h + 1, 0x000000, 128);
  gfx->DrawLine(s, 0, y0 + h + 1, 319, y0 + h + 1, 0xFFFFFF);
  gfx->DrawLine(s, 0, y0 + h + 2, 319, y0 + h + 2, 0x000000);
  gfx->DrawFont(s, 0, 160 - static_cast<int32_t>(gfx->GetFontWidth(0, "Game Closed")) / 2, y0, "Game Closed");
}

void ClassTitle::RenderLoading(E2DSurface* s) {
  ClassGraphics* gfx = maindata->graphics;
  if (!s) return;
  gfx->DrawBackDrop(s);
  gfx->DrawAlphaBar(s, 159, 203, 305, 217, 0x000000, 128);
  gfx->DrawRectangle(s, 160, 204, 304, 216, 0xFFFFFF);
  gfx->DrawBar(s, 160, 204, 160 + 144 * loadStep / 16, 216, 0xFFFFFF);
  const int32_t h = static_cast<int32_t>(FontHeight());
  gfx->DrawFont(s, 0, 160 - static_cast<int32_t>(gfx->GetFontWidth(0, "Loading")) / 2, 120 - h, "Loading");
}

void ClassTitle::RenderFlash(E2DSurface* s, uint32_t ms) {
  if (!s || flash <= ms) return;
  flash -= ms;
  ClassGraphics* gfx = maindata->graphics;
  gfx->DrawAlphaBar(s, 159, 203, 305, 217, 0x000000, static_cast<uint8_t>(flash / 2));
  gfx->DrawAlphaBar(s, 160, 204, 304, 216, 0xFFFFFF, static_cast<uint8_t>(flash));
}
