// Bitmap fonts of E2DSurface: the glyph table from the marker row, character
// mapping, measuring, drawing with alignment and word wrap. 8-bit text compares
// as unsigned bytes; both text forms share one template.
#include <cstring>
#include <type_traits>

#include "display/esurf_2d.h"

namespace {

template <class C>
inline uint32_t Ch(C c) {
  return static_cast<uint32_t>(static_cast<typename std::make_unsigned<C>::type>(c));
}

inline bool IsWs(uint32_t c) { return c == 9 || c == 32 || c == 13 || c == 10 || c == 11 || c == 12; }

}  // namespace

// Glyph of a character: its index and source rectangle, or -1.
struct EFontGlyphs {
  const E2DSurface* f;
  int32_t count;       // glyphs that may be used
  int32_t fixedWidth;  // fixed-width fonts: width of every glyph
  int32_t height;      // glyph height (line height)
  explicit EFontGlyphs(const E2DSurface* font) : f(font) {
    const uint16_t* set = f->GetCharacterSet();
    uint32_t nchars;
    if (set) {
      nchars = 0;
      while (set[nchars]) nchars++;
    } else {
      nchars = f->GetLastCharacter() >= f->GetFirstCharacter()
                   ? uint32_t(f->GetLastCharacter() - f->GetFirstCharacter()) + 1
                   : 0;
    }
    const int32_t lh = int32_t(f->GetHeight());
    if (f->GetGlyphTable()) {
      count = f->GetGlyphCount() > 0 ? f->GetGlyphCount() : 0;
      fixedWidth = 0;
      height = lh - 2;
    } else {
      // No characters means no glyphs (and no division by zero).
      count = int32_t(nchars);
      fixedWidth = nchars ? int32_t(f->GetWidth() / nchars) : 0;
      height = lh;
    }
    if (height < 0) height = 0;
  }
  int32_t Index(uint32_t c) const {
    int32_t g = -1;
    if (const uint16_t* set = f->GetCharacterSet()) {
      for (int32_t i = 0; set[i]; i++)
        if (set[i] == c) {
          g = i;
          break;
        }
    } else if (c >= f->GetFirstCharacter() && c <= f->GetLastCharacter()) {
      g = int32_t(c - f->GetFirstCharacter());
    }
    return (g >= 0 && g < count) ? g : -1;
  }
  // Advance and source rectangle of a glyph index.
  int32_t Width(int32_t g) const {
    if (const uint16_t* t = f->GetGlyphTable()) return t[f->GetGlyphCount() + g];
    return fixedWidth;
  }
  tagRECT Rect(int32_t g) const {
    if (const uint16_t* t = f->GetGlyphTable()) {
      const int32_t s = t[g], w = t[f->GetGlyphCount() + g];
      return {s, 2, s + w, int32_t(f->GetHeight())};
    }
    return {g * fixedWidth, 0, g * fixedWidth + fixedWidth, int32_t(f->GetHeight())};
  }
};

// ---- set-up --------------------------------------------------------------------------

void E2DSurface::BuildTableVwf(uint32_t count) {
  if (!IsCreated() || !pixels_) return;
  FreeBlock(glyphs_);
  glyphs_ = nullptr;
  if (count > 0x7FFFFFFFu / 4) return;
  glyphcount_ = int32_t(count);
  glyphs_ = static_cast<uint16_t*>(AllocBlock(count ? count * 4 : 4));
  if (!glyphs_) return;
  std::memset(glyphs_, 0, count * 4);
  const uint32_t key = GetColorKey();
  const int32_t w = int32_t(GetWidth());
  uint32_t j = 0, run = 0;
  bool inside = false;
  for (int32_t x = 0; x < w && j < count; x++) {
    const bool mark = GetPixel(x, 0) != key;
    if (!inside) {
      if (mark) {
        glyphs_[j] = uint16_t(x);
        run = 1;
        inside = true;
      }
    } else if (mark) {
      run++;
    } else {
      glyphs_[count + j] = uint16_t(run);
      j++;
      inside = false;
    }
  }
  if (inside && j < count) glyphs_[j] = 0;  // an open run at the row's end is not a glyph
  lastchar_ = uint16_t(firstchar_ + count - 1);
}

void E2DSurface::SetFontCharacters(uint16_t first, uint16_t last) {
  firstchar_ = first;
  lastchar_ = last < first ? first : last;
  if (glyphs_ && glyphcount_ > 0 && int32_t(lastchar_) - int32_t(firstchar_) + 1 > glyphcount_)
    lastchar_ = uint16_t(firstchar_ + glyphcount_ - 1);
}

void E2DSurface::SetFontCharacterSet(const uint16_t* set) {
  FreeBlock(charset_);
  charset_ = nullptr;
  if (!set) return;
  uint32_t n = 0;
  while (set[n]) n++;
  charset_ = static_cast<uint16_t*>(AllocBlock((n + 1) * 2));
  if (charset_) std::memcpy(charset_, set, (n + 1) * 2);
}

void E2DSurface::SetFontCharacterSet(const char* set) {
  FreeBlock(charset_);
  charset_ = nullptr;
  if (!set) return;
  const uint32_t n = uint32_t(std::strlen(set));
  charset_ = static_cast<uint16_t*>(AllocBlock((n + 1) * 2));
  if (!charset_) return;
  for (uint32_t i = 0; i <= n; i++) charset_[i] = uint16_t(static_cast<unsigned char>(set[i]));
}

void E2DSurface::SetFontPadding(int32_t x, int32_t y) {
  fontpadx_ = x;
  fontpady_ = y;
}

// ---- measuring -----------------------------------------------------------------------

namespace {

template <class C>
int64_t LineWidth(const EFontGlyphs& g, int32_t padx, const C* t) {
  int64_t sum = 0;
  for (; *t && Ch(*t) != '\n' && Ch(*t) != '\r'; t++) {
    const int32_t i = g.Index(Ch(*t));
    if (i >= 0) sum += g.Width(i) + padx;
  }
  return sum;
}

template <class C>
uint32_t WidthV(const E2DSurface* f, const C* text, bool firstLineOnly) {
  if (!text || !*text || !f->IsCreated()) return 0;
  const EFontGlyphs g(f);
  int64_t best = 0, sum = 0;
  for (const C* t = text; *t; t++) {
    const uint32_t c = Ch(*t);
    if (c == '\n' || c == '\r') {
      if (sum > best) best = sum;
      sum = 0;
      if (firstLineOnly) return uint32_t(best);
      continue;
    }
    const int32_t i = g.Index(c);
    if (i >= 0) sum += g.Width(i) + f->GetFontPaddingX();
  }
  if (sum > best) best = sum;
  return best > 0xFFFFFFFFll ? 0xFFFFFFFFu : uint32_t(best);
}

template <class C>
uint32_t Height(const E2DSurface* f, const C* text) {
  const EFontGlyphs g(f);
  if (!text) return uint32_t(g.height);
  if (!*text) return 0;
  uint32_t lines = 1;
  for (const C* t = text + 1; *t; t++)
    if (Ch(t[-1]) == '\n') lines++;
  return lines * uint32_t(g.height);
}

}  // namespace

uint32_t E2DSurface::GetFontWidth(const char* text) { return WidthV(this, text, false); }
uint32_t E2DSurface::GetFontWidth(const uint16_t* text) { return WidthV(this, text, false); }
uint32_t E2DSurface::GetFontWidthV(const char* text, bool first) { return WidthV(this, text, first); }
uint32_t E2DSurface::GetFontWidthV(const uint16_t* text, bool first) { return WidthV(this, text, first); }
uint32_t E2DSurface::GetFontHeight(const char* text) { return Height(this, text); }
uint32_t E2DSurface::GetFontHeight(const uint16_t* text) { return Height(this, text); }

// ---- drawing -------------------------------------------------------------------------

namespace {

inline int32_t AlignX(int32_t x, int64_t width, int32_t flags) {
  if (flags & 0x100) return int32_t(x - width);
  if (flags & 0x200) return int32_t(x - width / 2);
  return x;
}

template <class C>
void Draw(E2DSurface* dst, int32_t x, int32_t y, E2DSurface* font, const C* text, int32_t flags,
          uint32_t value) {
  if (!text || !dst->IsCreated() || !font || !font->IsCreated()) return;
  if (!dst->Lock(nullptr)) return;
  if (!font->Lock(nullptr)) {
    dst->Unlock();
    return;
  }
  const EFontGlyphs g(font);
  if (flags & 0x400) y -= int32_t(font->GetFontHeight(text));
  else if (flags & 0x800) y -= int32_t(font->GetFontHeight(text) / 2);
  int32_t cx = AlignX(x, font->GetFontWidthV(text, true), flags);
  for (const C* t = text; *t; t++) {
    const uint32_t c = Ch(*t);
    if (t != text && Ch(t[-1]) == '\n') {
      cx = AlignX(x, LineWidth(g, font->GetFontPaddingX(), t), flags);
      y += g.height + font->GetFontPaddingY();
    }
    if (c == '\n' || c == '\r') continue;
    const int32_t i = g.Index(c);
    if (i < 0) continue;
    const tagRECT r = g.Rect(i);
    if (r.right > r.left) dst->BltFast(cx, y, font, &r, flags & 0xFF, value);
    cx += g.Width(i) + font->GetFontPaddingX();
  }
  font->Unlock();
  dst->Unlock();
}

// Wrapped lines: calls line(begin, end, endOfText) for every line; a line ends at
// an explicit '\n' (not included) or where the width is reached.
template <class C, class F>
void WrapLines(const EFontGlyphs& g, int32_t padx, const C* text, uint32_t width, F line) {
  const C* start = text;
  const C* lastWs = nullptr;
  int64_t sum = 0;
  const C* t = text;
  while (*t) {
    const uint32_t c = Ch(*t);
    if (c == '\n') {
      line(start, t, false, false);
      start = t + 1;
      t = start;
      sum = 0;
      lastWs = nullptr;
      continue;
    }
    if (IsWs(c) && t > start) lastWs = t;
    const int32_t i = g.Index(c);
    if (i >= 0) sum += g.Width(i) + padx;
    if (sum >= int64_t(width)) {
      const C* brk = lastWs ? lastWs + 1 : t;
      if (brk <= start) brk = t + 1;  // a glyph wider than the line still makes progress
      bool nl = false;
      while (*brk && IsWs(Ch(*brk))) {
        if (Ch(*brk) == '\n') {
          if (nl) break;
          nl = true;
        }
        brk++;
      }
      line(start, brk, true, nl);
      start = brk;
      t = start;
      sum = 0;
      lastWs = nullptr;
      continue;
    }
    t++;
  }
  if (*start || start == text) line(start, t, false, false);
}

template <class C>
void DrawWrap(E2DSurface* dst, int32_t x, int32_t y, E2DSurface* font, const C* text,
              uint32_t width, int32_t flags, uint32_t value) {
  if (!text || !dst->IsCreated() || !font || !font->IsCreated()) return;
  if (!dst->Lock(nullptr)) return;
  if (!font->Lock(nullptr)) {
    dst->Unlock();
    return;
  }
  const EFontGlyphs g(font);
  const int32_t padx = font->GetFontPaddingX(), lineAdv = g.height + font->GetFontPaddingY();
  int32_t lines = 0;
  WrapLines(g, padx, text, width, [&](const C*, const C*, bool, bool) { lines++; });
  if (flags & 0xC00) {
    const int32_t h = g.height + (lines > 0 ? lines - 1 : 0) * lineAdv;
    y -= (flags & 0x400) ? h : h / 2;
  }
  WrapLines(g, padx, text, width, [&](const C* b, const C* e, bool, bool) {
    // Aligned by the width up to the line's last whitespace.
    const C* end = e;
    for (const C* p = e; p > b; p--)
      if (IsWs(Ch(p[-1]))) {
        end = p - 1;
        break;
      }
    bool hasWs = false;
    for (const C* p = b; p < e; p++) hasWs = hasWs || IsWs(Ch(*p));
    if (!hasWs) end = e;
    int64_t w = 0;
    for (const C* p = b; p < end; p++) {
      const int32_t i = g.Index(Ch(*p));
      if (i >= 0) w += g.Width(i) + padx;
    }
    int32_t cx = AlignX(x, w, flags);
    for (const C* p = b; p < e; p++) {
      const uint32_t c = Ch(*p);
      if (c == '\n' || c == '\r') continue;
      const int32_t i = g.Index(c);
      if (i < 0) continue;
      const tagRECT r = g.Rect(i);
      if (r.right > r.left) dst->BltFast(cx, y, font, &r, flags & 0xFF, value);
      cx += g.Width(i) + padx;
    }
    y += lineAdv;
  });
  font->Unlock();
  dst->Unlock();
}

template <class C>
void PrepareWrap(const E2DSurface* font, C* dst, const C* src, uint32_t width) {
  if (!dst) return;
  if (!src) {
    *dst = 0;
    return;
  }
  const EFontGlyphs g(font);
  C* out = dst;
  WrapLines(g, font->GetFontPaddingX(), src, width, [&](const C* b, const C* e, bool broken, bool) {
    for (const C* p = b; p < e; p++) *out++ = *p;
    if (broken) *out++ = C('\n');
    else if (*e == C('\n')) *out++ = C('\n');
  });
  *out = 0;
}

}  // namespace

void E2DSurface::DrawFont(int32_t x, int32_t y, E2DSurface* font, const char* text, int32_t flags,
                          uint32_t value) {
  Draw(this, x, y, font, text, flags, value);
}
void E2DSurface::DrawFont(int32_t x, int32_t y, E2DSurface* font, const uint16_t* text,
                          int32_t flags, uint32_t value) {
  Draw(this, x, y, font, text, flags, value);
}
void E2DSurface::DrawFont(int32_t x, int32_t y, E2DSurface* font, int32_t number, int32_t flags,
                          uint32_t value) {
  // The magnitude in unsigned arithmetic: the most negative value has no positive twin.
  char buf[16];
  char* p = buf + sizeof buf;
  *--p = 0;
  uint32_t m = number < 0 ? 0u - uint32_t(number) : uint32_t(number);
  do {
    *--p = char('0' + m % 10);
    m /= 10;
  } while (m);
  if (number < 0) *--p = '-';
  Draw(this, x, y, font, p, flags, value);
}

void E2DSurface::DrawFontWrap(int32_t x, int32_t y, E2DSurface* font, const char* text,
                              uint32_t width, int32_t flags, uint32_t value) {
  DrawWrap(this, x, y, font, text, width, flags, value);
}
void E2DSurface::DrawFontWrap(int32_t x, int32_t y, E2DSurface* font, const uint16_t* text,
                              uint32_t width, int32_t flags, uint32_t value) {
  DrawWrap(this, x, y, font, text, width, flags, value);
}
void E2DSurface::PrepareFontWrap(char* dst, const char* src, uint32_t width) {
  PrepareWrap(this, dst, src, width);
}
void E2DSurface::PrepareFontWrap(uint16_t* dst, const uint16_t* src, uint32_t width) {
  PrepareWrap(this, dst, src, width);
}
