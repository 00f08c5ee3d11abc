// Stand-ins for the computer players' and co-player grids' logic steps until
// they land; removed then.
#include "game/level.h"

void ClassLevel::HandleCPU(uint32_t) {}
void ClassLevel::HandleSmallHUD(uint32_t) {}
