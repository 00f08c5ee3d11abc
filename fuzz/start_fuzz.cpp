// The ZARN_START text: any bytes give a start or a refusal, never a read past
// the text, and a start is always one the game can play.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "game/start.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 256) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);  // stops at a zero byte below
  GameStart start;
  if (!ParseGameStart(text.c_str(), &start)) return 0;
  const bool modeOk = start.mode <= 2 || start.mode == 4 || start.mode == 5;
  if (!modeOk || start.level > 9 || start.seats[0] > 3 || start.seats[1] > 3 || start.seats[2] > 3) std::abort();
  return 0;
}
