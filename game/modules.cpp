// Placeholder intro and title until the real modules land: the intro hands over
// to the title at once; the title shows a plain screen and quits on Start.
#include "game/modules.h"

#include "display/esurf_2d.h"
#include "framework/emod_input.h"
#include "game/app.h"

int ClassIntro::Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys,
                       uint32_t) {
  if (*message == MSG_ATTACH) {
    maindata = reinterpret_cast<MAINDATA*>(keys);
    return 0;
  }
  if (screen) screen->FillRect(nullptr, 0x000000);
  *module = MODULE_TITLE;
  *message = MSG_ENTER;
  return 0;
}

int ClassTitle::Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys,
                       uint32_t) {
  if (*message == MSG_ATTACH) {
    maindata = reinterpret_cast<MAINDATA*>(keys);
    return 0;
  }
  *message = MSG_FRAME;
  if (screen) {
    screen->FillRect(nullptr, 0x402010);
    tagRECT band = {0, 100, 320, 140};
    screen->FillRect(&band, 0x20C0F0);
  }
  if (maindata && maindata->ecd->input->GetKeyEvent(0xD6) == EIT_DOWN) *module = MODULE_QUIT;
  return 0;
}
