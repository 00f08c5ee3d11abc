#include "game/level.h"

#include "game/app.h"

int ClassLevel::Manage(E2DSurface*, uint32_t* module, uint32_t* message, int32_t* keys, uint32_t) {
  if (*message == MSG_ATTACH) {
    maindata = reinterpret_cast<MAINDATA*>(keys);
    return 0;
  }
  *module = MODULE_TITLE;
  *message = MSG_ENTER;
  return 0;
}

void ClassLevel::OnNetMessage(int32_t, int32_t, int32_t, uint8_t*) {}
