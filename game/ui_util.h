// Small helpers the game's screens share: a bounded text copy, the computer
// players' names and what counts as a press.
#ifndef ZARN_GAME_UI_UTIL_H
#define ZARN_GAME_UI_UTIL_H

#include <cstdint>

#include "framework/zarn_types.h"

// Copies at most size - 1 characters of in (null: none) and terminates.
inline void CopyText(char* out, uint32_t size, const char* in) {
  uint32_t i = 0;
  for (; in && in[i] && i + 1 < size; i++) out[i] = in[i];
  out[i] = 0;
}

// Computer strengths 1 to 3.
inline constexpr const char* kCpuNames[3] = {"Freaky Fred", "Average Joe", "Mighty Mike"};

// A key going down or repeating while held.
inline bool Pressed(uint8_t type) { return type == EIT_DOWN || type == EIT_REPEAT; }

#endif
