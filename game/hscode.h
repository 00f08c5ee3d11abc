// Highscore submission codes: a score, a type and check bits scattered over a
// template of letters and written as hexadecimal digits.
#ifndef ZARN_GAME_HSCODE_H
#define ZARN_GAME_HSCODE_H

#include <cstdint>

// The game's template, key and first type (type = kHighscoreType + game mode).
extern const char kHighscoreTemplate[];
constexpr uint32_t kHighscoreKey = 0x3A7F1C5D;
constexpr uint32_t kHighscoreType = 44;

// Template letters (spaces removed, compared without case): "s" score bit, "c"
// check bit, "t" type bit, anything else a zero bit. Both refuse a template
// without score letters, with 32 or more score or check letters, more than 32
// type letters, or more digits than `codeSize` holds with its terminator.
//
// Writes the code and returns true; false (code untouched) when the score does
// not fit the score bits or the template is refused.
bool Hscode_Encode(const char* tmpl, uint32_t key, uint32_t type, uint32_t score, char* code,
                   uint32_t codeSize);
// Recovers type and score; true when the check bits match. False as well for a
// refused template, a code of the wrong length or a character that is no digit.
bool Hscode_Decode(const char* tmpl, uint32_t key, uint32_t* type, uint32_t* score,
                   const char* code);

#endif
