#include "game/linefeed.h"

#include "display/esurf_2d.h"

namespace {

constexpr uint32_t kMaxLine = 62;

uint32_t CharWidth(const uint8_t* widths, char c) {
  return widths ? widths[static_cast<unsigned char>(c)] : 0;
}

}  // namespace

void Text_FontWidths(E2DSurface* font, uint8_t widths[256]) {
  for (uint32_t c = 0; c < 256; c++) {
    uint32_t w = 0;
    if (font && c) {
      const char one[2] = {static_cast<char>(c), 0};
      w = font->GetFontWidth(one);
    }
    widths[c] = static_cast<uint8_t>(w > 255 ? 255 : w);
  }
}

uint32_t Text_LineFeed(char* out, uint32_t outSize, const char* text, const uint8_t* widths,
                       uint32_t width) {
  if (!out || outSize == 0) return 0;
  uint32_t n = 0, lineStart = 0, lineLen = 0, sum = 0;
  auto put = [&](char c) {
    if (n + 1 >= outSize) return false;
    out[n++] = c;
    return true;
  };
  auto lineBreak = [&]() {
    if (!put('\n')) return false;
    lineStart = n;
    lineLen = 0;
    sum = 0;
    return true;
  };
  for (const char* p = text; p && *p; p++) {
    const char c = *p;
    const auto u = static_cast<unsigned char>(c);
    if (u < 32) {
      if (u == 13) {
        if (!lineBreak()) break;
        continue;
      }
      if (u == 10) {
        if (n > 0 && out[n - 1] == '\n') continue;
        if (!lineBreak()) break;
        continue;
      }
      if (u != 15) continue;
    }
    if (!put(c)) break;
    sum += CharWidth(widths, c);
    lineLen++;
    if (sum >= width) {
      uint32_t space = n;
      for (uint32_t i = n; i > lineStart; i--) {
        if (out[i - 1] == ' ') {
          space = i - 1;
          break;
        }
      }
      if (space < n) {
        out[space] = '\n';
        lineStart = space + 1;
        lineLen = n - lineStart;
        sum = 0;
        for (uint32_t i = lineStart; i < n; i++) sum += CharWidth(widths, out[i]);
      } else if (!lineBreak()) {
        break;
      }
    }
    if (lineLen >= kMaxLine && !lineBreak()) break;
  }
  out[n] = 0;
  return n;
}
