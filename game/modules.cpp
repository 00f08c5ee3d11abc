// Placeholder intro and title: the intro loads the title picture from the
// graphics pack and hands over; the title shows it and quits on Start.
#include "game/modules.h"

#include "display/edsp_base.h"
#include "display/esurf_2d.h"
#include "framework/emod_file.h"
#include "framework/emod_input.h"
#include "framework/emod_memory.h"
#include "game/app.h"

int ClassIntro::Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys,
                       uint32_t) {
  if (*message == MSG_ATTACH) {
    maindata = reinterpret_cast<MAINDATA*>(keys);
    return 0;
  }
  if (screen) screen->FillRect(nullptr, 0x000000);
  ClassGraphics* gfx = maindata ? maindata->graphics : nullptr;
  if (gfx && gfx->display) {
    ClassEFile pack;
    void* data = nullptr;
    uint32_t length = 0;
    if (pack.Open("res/gfx.epk", EFILE_READ) && pack.PackGetFileData(data, length, "title.bmp") == 0) {
      gfx->display->CreateSurface(&gfx->title, data, length);
      ClassEMemory::DeAlloc(data);
    }
    pack.Close();
  }
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
  if (screen && maindata) {
    ClassGraphics* gfx = maindata->graphics;
    if (gfx->title.GetBuffer())
      screen->BltFast(0, 0, &gfx->title, nullptr);
    else
      screen->FillRect(nullptr, 0x402010);
    E2DSurface* font = gfx->display ? gfx->display->GetInternalFont() : nullptr;
    if (font && font->GetBuffer()) screen->DrawFont(160, 222, font, "Press Start", 0x201);
  }
  if (maindata && maindata->ecd->input->GetKeyEvent(0xD6) == EIT_DOWN) *module = MODULE_QUIT;
  return 0;
}
