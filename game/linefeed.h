// Word wrap for the game's scrolling texts.
#ifndef ZARN_GAME_LINEFEED_H
#define ZARN_GAME_LINEFEED_H

#include <cstdint>

class E2DSurface;

// Copies text into out (outSize bytes with the terminator) with '\n' breaks so
// that a line ends where its width reaches `width`: at the line's last
// space, else after the character that reached it; a line also ends after 62
// characters. Control characters are dropped except 13 (a break), 10 (a break
// unless one was just written) and 15 (a page mark, measured like a character).
// `widths` holds the width of each byte value (Text_FontWidths); null measures
// every character as 0 wide. Output that does not fit is cut; out is always
// terminated (when outSize > 0). Returns the length written.
uint32_t Text_LineFeed(char* out, uint32_t outSize, const char* text, const uint8_t* widths,
                       uint32_t width);
// The width of every byte value in a bitmap font (all 0 for a null font).
void Text_FontWidths(E2DSurface* font, uint8_t widths[256]);

#endif
