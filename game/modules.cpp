// Placeholder intro and title until the real modules land. The intro runs the
// graphics loading stages one per frame and stops the program with a clear
// message when the graphics pack is missing; the title offers a short list of
// games (and starts one at once when ZARN_START asks for it), shows the pause
// screen the level hands over, and quits on its last item.
#include "game/modules.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/edsp_base.h"
#include "display/esurf_2d.h"
#include "framework/emod_input.h"
#include "game/app.h"
#include "game/start.h"

int ClassIntro::Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys,
                       uint32_t) {
  if (*message == MSG_ATTACH) {
    maindata = reinterpret_cast<MAINDATA*>(keys);
    return 0;
  }
  if (*message == MSG_ENTER) {
    stage = 0;
    *message = MSG_FRAME;
  }
  ClassGraphics* gfx = maindata ? maindata->graphics : nullptr;
  if (!gfx) {
    *module = MODULE_QUIT;
    return 0;
  }
  if (stage <= 15) {
    if (!gfx->ScriptLoad(stage)) {
      std::fprintf(stderr, "zarn: %s\n", gfx->LoadError());
      *module = MODULE_QUIT;
      return 0;
    }
    stage++;
  }
  if (screen) {
    gfx->DrawBackDrop(screen);
    gfx->DrawBar(screen, 60, 226, 60 + static_cast<int32_t>(200 * stage / 16), 230, 0xFFFFFF);
  }
  if (stage > 15) {
    *module = MODULE_TITLE;
    *message = MSG_ENTER;
  }
  return 0;
}

namespace {

const char* const kItems[] = {"Standard game", "Timed game", "Puzzle game", "Tutorial",
                              "Versus CPU", "Quit"};
constexpr uint32_t kItemCount = sizeof kItems / sizeof kItems[0];

}  // namespace

int ClassTitle::Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys,
                       uint32_t) {
  if (*message == MSG_ATTACH) {
    maindata = reinterpret_cast<MAINDATA*>(keys);
    return 0;
  }
  if (!maindata) return 0;
  ClassGraphics* gfx = maindata->graphics;
  ClassEInput* input = maindata->ecd->input;
  if ((*message == 0x8001 || *message == 0x10002) && autoGame) {
    // The game that ZARN_START asked for is over: so is the run.
    *module = MODULE_QUIT;
    return 0;
  }
  if (*message == MSG_ENTER || *message == 0x8001 || *message == 0x10002) {
    paused = false;
    gfx->LoadBackDrop("title.bmp");
    *message = MSG_FRAME;
    if (!autoStarted) {
      autoStarted = true;
      GameStart start;
      if (ParseGameStart(std::getenv("ZARN_START"), &start)) {
        autoGame = true;
        StartGame(maindata, start, module, message);
        return 0;
      }
    }
  } else if (*message == 0x10000) {
    paused = true;
    *message = MSG_FRAME;
  }

  if (paused) {
    // The level left its darkened picture in the back surface.
    if (screen) {
      gfx->DrawBackSurface(screen);
      gfx->DrawFontFx(screen, 0, 160, 100, "Paused", 0x201, 0);
      gfx->DrawFontFx(screen, 0, 160, 130, "Start: resume   A: end game", 0x201, 0);
    }
    if (input->GetKeyEvent(0xD6) == EIT_DOWN || input->GetKeyEvent(0xC4) == EIT_DOWN) {
      paused = false;
      *module = MODULE_LEVEL;
      *message = 0x10001;
    } else if (input->GetKeyEvent(0xC5) == EIT_DOWN) {
      paused = false;
      *module = MODULE_LEVEL;
      *message = 0x10000;
    }
    return 0;
  }

  if (input->GetKeyEvent(0xC0) == EIT_DOWN) cursor = (cursor + kItemCount - 1) % kItemCount;
  if (input->GetKeyEvent(0xC1) == EIT_DOWN) cursor = (cursor + 1) % kItemCount;
  if (cursor == 4) {
    if (input->GetKeyEvent(0xC2) == EIT_DOWN && cpuCount > 1) cpuCount--;
    if (input->GetKeyEvent(0xC3) == EIT_DOWN && cpuCount < 3) cpuCount++;
    if (input->GetKeyEvent(0xC6) == EIT_DOWN) cpuStrength = cpuStrength % 3 + 1;
    if (input->GetKeyEvent(0xC7) == EIT_DOWN) cpuStrength = cpuStrength % 3 + 1;
  }

  if (screen) {
    if (gfx->BackDrop().GetBuffer())
      gfx->DrawBackDrop(screen);
    else
      screen->FillRect(nullptr, 0x402010);
    for (uint32_t i = 0; i < kItemCount; i++) {
      char line[64];
      if (i == 4)
        std::snprintf(line, sizeof line, "Versus %u CPU (strength %u)", static_cast<unsigned>(cpuCount),
                      static_cast<unsigned>(cpuStrength));
      else
        std::snprintf(line, sizeof line, "%s", kItems[i]);
      const int32_t y = 120 + 17 * static_cast<int32_t>(i);
      if (i == cursor) gfx->DrawAlphaBar(screen, 70, y - 1, 250, y + 15, 0xFFFFFF, 64);
      gfx->DrawFontFx(screen, 0, 160, y, line, 0x201, 0);
    }
  }

  if (input->GetKeyEvent(0xD6) == EIT_DOWN || input->GetKeyEvent(0xC4) == EIT_DOWN) {
    GameStart start;
    switch (cursor) {
      case 0: start.mode = 0; break;
      case 1: start.mode = 1; break;
      case 2: start.mode = 2; break;
      case 3: start.mode = 5; break;
      case 4:
        start.mode = 4;
        for (uint32_t s = 0; s < 3; s++) start.seats[s] = s < cpuCount ? cpuStrength : 0;
        break;
      default:
        *module = MODULE_QUIT;
        return 0;
    }
    StartGame(maindata, start, module, message);
  }
  return 0;
}
