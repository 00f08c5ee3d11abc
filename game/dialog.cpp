#include "game/dialog.h"

#include "game/app.h"
#include "game/modules.h"

int ClassConsole::Manage(E2DSurface*, uint32_t*, uint32_t* message, int32_t* keys, uint32_t) {
  if (*message == MSG_ATTACH) maindata = reinterpret_cast<MAINDATA*>(keys);
  return 0;
}
