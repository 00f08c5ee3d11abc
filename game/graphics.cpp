#include "game/graphics.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "display/edsp_base.h"
#include "framework/emod_memory.h"
#include "framework/emod_std.h"

const uint32_t kStoneColour[7] = {0x00D0D0, 0xFF00C0, 0x00D000, 0x0000FF, 0x0060C0, 0xFF6000, 0xD0D0D0};

namespace {

constexpr const char* kPackName = "res/gfx.epk";
constexpr uint32_t kMagenta = 0xFF00FF;

// On-screen keyboards: 5 rows of 27 half-key cells; a run of equal bytes is one
// key, 0 no key. 7, 8, 9, 10, 11, 12 are the special keys.
#define KB_ROW0(a, b, c, d, e, f, g, h, i, j, k) 7, 7, a, a, b, b, c, c, d, d, e, e, f, f, g, g, h, h, i, i, j, j, k, k, 8, 8, 8
#define KB_ROW1(a, b, c, d, e, f, g, h, i, j, k, l) 9, 9, 9, a, a, b, b, c, c, d, d, e, e, f, f, g, g, h, h, i, i, j, j, k, k, l, l
#define KB_ROW2(a, b, c, d, e, f, g, h, i) 12, 12, 12, 12, a, a, b, b, c, c, d, d, e, e, f, f, g, g, h, h, i, i, 10, 10, 10, 10, 10
#define KB_ROW3(a, b, c, d, e, f, g, h, i, j, k) 11, 11, 11, 11, 11, a, a, b, b, c, c, d, d, e, e, f, f, g, g, h, h, i, i, j, j, k, k
#define KB_ROW4 0, 0, 0, 0, 0, 0, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 0, 0, 0, 0, 0

const uint8_t kKbLayout[2][5][27] = {
    {{KB_ROW0('1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '-')},
     {KB_ROW1('q', 'w', 'e', 'r', 't', 'y', 'u', 'i', 'o', 'p', '=', '\'')},
     {KB_ROW2('a', 's', 'd', 'f', 'g', 'h', 'j', 'k', 'l')},
     {KB_ROW3('z', 'x', 'c', 'v', 'b', 'n', 'm', ',', '.', ';', '/')},
     {KB_ROW4}},
    {{KB_ROW0('!', '@', '#', '$', '%', '^', '&', '*', '(', ')', '_')},
     {KB_ROW1('Q', 'W', 'E', 'R', 'T', 'Y', 'U', 'I', 'O', 'P', '+', '~')},
     {KB_ROW2('A', 'S', 'D', 'F', 'G', 'H', 'J', 'K', 'L')},
     {KB_ROW3('Z', 'X', 'C', 'V', 'B', 'N', 'M', '<', '>', ':', '?')},
     {KB_ROW4}}};

// Logo polygons 0 to 119 drawn red; the rest of them white.
const uint8_t kLogoRed[][2] = {{0, 1},   {4, 5},   {10, 11}, {22, 23}, {28, 33},  {40, 41},
                               {44, 85}, {90, 91}, {96, 97}, {100, 103}, {112, 115}};

tagRECT Rect(int32_t l, int32_t t, int32_t r, int32_t b) {
  tagRECT rc;
  rc.left = l;
  rc.top = t;
  rc.right = r;
  rc.bottom = b;
  return rc;
}

void NumberText(int32_t n, char* out) { std::snprintf(out, 16, "%d", static_cast<int>(n)); }

}  // namespace

ClassGraphics::ClassGraphics() {}

ClassGraphics::~ClassGraphics() {
  pack_.Close();
  // The index outlives the pack on purpose (backdrops reopen it); it goes with us.
  if (packIndex_) ClassEMemory::DeAlloc(packIndex_);
  packIndex_ = nullptr;
}

void ClassGraphics::Init(ClassEDisplay* display, MAINDATA* data) {
  display_ = display;
  maindata_ = data;
}

bool ClassGraphics::Fail(const char* name) {
  char cwd[256];
  if (!getcwd(cwd, sizeof cwd)) std::strcpy(cwd, ".");
  // A long folder name cuts the message short; snprintf keeps it terminated.
  const int n = name ? std::snprintf(loadError_, sizeof loadError_, "cannot load %s from %s in the folder %s", name,
                                     kPackName, cwd)
                     : std::snprintf(loadError_, sizeof loadError_,
                                     "cannot open the graphics pack %s in the folder %s (run the game from the "
                                     "folder that holds res/)",
                                     kPackName, cwd);
  if (n < 0) loadError_[0] = 0;
  return false;
}

bool ClassGraphics::PackEntry(const char* name, void*& data, uint32_t& length) {
  if (!display_) return false;
  uint32_t n = 0;
  if (!pack_.PackSearchFile(name, n)) return false;
  if (pack_.PackGetFileData(data, length, n) != 0) {
    if (data) ClassEMemory::DeAlloc(data);
    data = nullptr;
    return false;
  }
  return true;
}

int ClassGraphics::QuickLoadFileSurface(const char* name, E2DSurface* surface) {
  if (!surface) return 0;
  void* data = nullptr;
  uint32_t length = 0;
  if (!PackEntry(name, data, length)) return 0;
  const int r = display_->CreateSurface(surface, data, length, 0);
  if (data) ClassEMemory::DeAlloc(data);
  return r == 0 ? 1 : 0;
}

int ClassGraphics::QuickLoadFileSurface(const char* name, E3DSurface& model) {
  void* data = nullptr;
  uint32_t length = 0;
  if (!PackEntry(name, data, length)) return 0;
  const int r = display_->CreateSurface(&model, data, length);
  if (data) ClassEMemory::DeAlloc(data);
  if (r != 0) return 0;
  if (std::strcmp(name, "zarnlogo.3ds") == 0) {
    for (uint32_t i = 0; i < 120 && i < model.PolygonsInUse(); i++) {
      bool red = false;
      for (const auto& span : kLogoRed) red = red || (i >= span[0] && i <= span[1]);
      model.SetColor(i, red ? 0x0000FF : 0xFFFFFF);
    }
  }
  model.SetLightSource(128, 128, -128, 48, 32);
  return 1;
}

bool ClassGraphics::OpenPack() {
  pack_.Close();
  if (!pack_.Open(kPackName, EFILE_READ)) return false;
  if (!pack_.PackValid()) {
    pack_.Close();
    return false;
  }
  return true;
}

// One stage of the load script; stages without work pass.
bool ClassGraphics::ScriptLoad(uint32_t stage) {
  loadError_[0] = 0;
  switch (stage) {
    case 1:
      if (!OpenPack()) return Fail(nullptr);
      UseIndex();
      return true;
    case 2: return LoadSplash();
    case 6: return LoadFonts();
    case 7: return LoadLogo();
    case 8: return LoadStoneSheet() && LoadMiniSheets();
    case 9: return BuildKeyboards();
    case 10:
      pack_.Close();
      return true;
    default:
      return true;
  }
}

bool ClassGraphics::LoadSplash() {
  if (!QuickLoadFileSurface("splash.bmp", &backdrop_)) return Fail("splash.bmp");
  if (!QuickLoadFileSurface("keyfont.bmp", &font_[3])) return Fail("keyfont.bmp");
  font_[3].SetFontPadding(1, 0);
  font_[3].SetColorKey(kMagenta);
  font_[3].BuildTableVwf(128);
  return true;
}

bool ClassGraphics::LoadFonts() {
  static const char* const kNames[3] = {"font_frontmask.bmp", "font_backmask.bmp", "font.bmp"};
  for (int i = 0; i < 3; i++)
    if (!QuickLoadFileSurface(kNames[i], &font_[i])) return Fail(kNames[i]);
  for (int i = 0; i < 3; i++) font_[i].SetColorKey(kMagenta);
  font_[0].BuildTableVwf(128);
  font_[1].BuildTableVwf(128);
  return true;
}

bool ClassGraphics::LoadLogo() {
  if (!QuickLoadFileSurface("zarnlogo.3ds", logo_)) return Fail("zarnlogo.3ds");
  if (!LoadAlphaPictures()) return Fail("zarnbanner.png");
  if (!display_ || display_->CreateSurface(&back_, 320, 240, 0) != 0) return Fail("the back surface");
  back_.SetColorKey(kMagenta);
  return true;
}

// The stone sheet: each colour's row tinted from the block, then cell 23.
bool ClassGraphics::LoadStoneSheet() {
  E2DSurface block;
  if (!QuickLoadFileSurface("block.bmp", &block)) return Fail("block.bmp");
  block.SetColorKey(0x800080);
  if (!QuickLoadFileSurface("sheet.bmp", &sheet_)) return Fail("sheet.bmp");
  sheet_.SetColorKey(kMagenta);
  for (int i = 0; i < 7; i++) {
    tagRECT r0 = Rect(0, 0, 120, 24), r1 = Rect(0, 24, 120, 48), r2 = Rect(0, 48, 120, 72);
    sheet_.BltFast(0, 24 * i, &block, &r0, 6, kStoneColour[i]);
    sheet_.BltFast(0, 24 * i, &block, &r1, 0x11, 0);
    sheet_.BltFast(0, 24 * i, &block, &r2, 1, 0);
  }
  // Cell 23: the ice (kind 7) tinted, then the shimmer mask of kind 53 keyed on black.
  DrawSprite(&sheet_, 168, 48, 7, 6, 0xFF8080);
  sheet_.SetColorKey(0);
  DrawSprite(&sheet_, 168, 48, 53, 1, 0);
  sheet_.SetColorKey(kMagenta);
  return true;
}

// The small grids' sheets: the colours tinted into the first cells.
bool ClassGraphics::LoadMiniSheets() {
  if (!QuickLoadFileSurface("minisheet.bmp", &mini_)) return Fail("minisheet.bmp");
  if (!QuickLoadFileSurface("minibomb.bmp", &miniBomb_)) return Fail("minibomb.bmp");
  for (int i = 0; i < 7; i++) {
    tagRECT t = Rect(30, 12, 36, 18), a = Rect(36, 12, 42, 18), o = Rect(42, 12, 48, 18);
    mini_.BltFast(6 * i, 0, &mini_, &t, 7, kStoneColour[i]);
    mini_.SetColorKey(kMagenta);
    mini_.BltFast(6 * i, 0, &mini_, &a, 0x11, 0);
    mini_.SetColorKey(0x800080);
    mini_.BltFast(6 * i, 0, &mini_, &o, 1, 0);
  }
  mini_.SetColorKey(kMagenta);
  miniBomb_.SetColorKey(kMagenta);
  return true;
}

// The two keyboard panels: a gradient with a bevelled edge, then the key caps.
bool ClassGraphics::BuildKeyboards() {
  for (int j = 0; j < 2; j++) {
    if (!display_ || display_->CreateSurface(&keyboard_[j], 320, 96, 0) != 0) return Fail("the keyboard panel");
    E2DSurface& kb = keyboard_[j];
    kb.GradientRect(nullptr, 0x808080, 0xE0E0E0, 0xA0A0A0, 0xFFFFFF, 256);
    for (int32_t t = 0; t < 4; t++) {
      const uint32_t o = static_cast<uint32_t>(765 - 255 * t) / 4;
      kb.DrawLine(t, t, 319 - t, t, 0x404040, 0x18, o);
      kb.DrawLine(t, t + 1, t, 95 - t, 0x404040, 0x18, o);
      kb.DrawLine(t + 1, 95 - t, 319 - t, 95 - t, 0x404040, 0x28, o);
      kb.DrawLine(319 - t, t + 1, 319 - t, 94 - t, 0x404040, 0x28, o);
    }
  }
  if (!DrawKeyCaps()) return Fail("kbkey.png");
  return true;
}

void ClassGraphics::UseIndex() {
  // The index is built once; a pack that no longer has the same number of
  // entries (replaced while we run) gets a new one rather than a short index.
  const uint32_t count = pack_.PackContainFiles();
  if (packIndex_ && count == packIndexCount_) {
    pack_.PackUseIndex(packIndex_);
    return;
  }
  if (packIndex_) ClassEMemory::DeAlloc(packIndex_);
  packIndex_ = pack_.PackBuildIndex();
  packIndexCount_ = packIndex_ ? count : 0;
}

void ClassGraphics::LoadBackDrop(const char* name) {
  if (!OpenPack()) return;
  UseIndex();
  if (std::strcmp(name, "gamehud.bmp") == 0) {
    QuickLoadFileSurface("title.bmp", &backdrop_);
    E2DSurface hud;
    if (QuickLoadFileSurface(name, &hud)) {
      hud.SetColorKey(kMagenta);
      backdrop_.BltFast(0, 0, &hud, nullptr, 1, 0);
    }
    for (int32_t i = 0; i < 9; i++)
      for (int32_t j = 0; j < 9; j++)
        DrawSprite(&backdrop_, 52 + 12 * i + 12 * j, 108 - 12 * i + 12 * j, static_cast<uint8_t>(54 + ((i + j) & 1)),
                   9, static_cast<uint32_t>(255 - 8 * (8 - i + j)));
  } else {
    QuickLoadFileSurface(name, &backdrop_);
  }
  pack_.Close();
}

void ClassGraphics::CaptureBackDrop(E2DSurface* surface) {
  if (surface) backdrop_.BltFast(0, 0, surface, nullptr);
}
void ClassGraphics::DrawBackDrop(E2DSurface* surface) {
  if (surface) surface->BltFast(0, 0, &backdrop_, nullptr);
}
void ClassGraphics::DrawBackSurface(E2DSurface* surface) {
  if (surface) surface->BltFast(0, 0, &back_, nullptr);
}

// ---- Fonts ----

uint32_t ClassGraphics::GetFontHeight(uint8_t font) const {
  if (font > 3) return 0;
  const uint32_t h = font_[font].GetHeight();
  return h >= 2 ? h - 2 : 0;
}

uint32_t ClassGraphics::GetFontWidth(uint8_t font) const {
  if (font > 3) return 0;
  return (font_[font].GetWidth() >> 7) & 0x1FF;
}

uint32_t ClassGraphics::GetFontWidth(uint8_t font, const char* text) {
  if (font > 3 || !text) return 0;
  return font_[font].GetFontWidth(text) & 0xFFFF;
}

uint32_t ClassGraphics::GetFontWidth(uint8_t font, int32_t number) {
  char t[16];
  NumberText(number, t);
  return GetFontWidth(font, t);
}

void ClassGraphics::DrawFontPair(E2DSurface* s, uint8_t font, int32_t x, int32_t y, const char* text,
                                 uint32_t faceFlags, uint32_t faceValue, uint32_t maskFlags,
                                 uint32_t maskValue, bool mask) {
  if (!s || font > 3 || !text) return;
  if (font == 0 && mask)
    s->DrawFont(x, y, &font_[1], text, static_cast<int32_t>(maskFlags), maskValue);
  s->DrawFont(x, y, &font_[font], text, static_cast<int32_t>(faceFlags), faceValue);
}

void ClassGraphics::DrawFont(E2DSurface* s, uint8_t font, int32_t x, int32_t y, const char* text) {
  DrawFontPair(s, font, x, y, text, 1, 0, 0x21, 0, true);
}
void ClassGraphics::DrawFont(E2DSurface* s, uint8_t font, int32_t x, int32_t y, int32_t number) {
  char t[16];
  NumberText(number, t);
  DrawFont(s, font, x, y, t);
}
void ClassGraphics::DrawFontColor(E2DSurface* s, uint8_t font, int32_t x, int32_t y, const char* text,
                                  uint32_t colour) {
  DrawFontPair(s, font, x, y, text, 7, colour, 0x21, colour, true);
}
void ClassGraphics::DrawFontColor(E2DSurface* s, uint8_t font, int32_t x, int32_t y, int32_t number,
                                  uint32_t colour) {
  char t[16];
  NumberText(number, t);
  DrawFontColor(s, font, x, y, t, colour);
}
void ClassGraphics::DrawFontAlpha(E2DSurface* s, uint8_t font, int32_t x, int32_t y, const char* text,
                                  uint8_t opacity) {
  DrawFontPair(s, font, x, y, text, 9, opacity, 0x21, 0, true);
}
void ClassGraphics::DrawFontAlpha(E2DSurface* s, uint8_t font, int32_t x, int32_t y, int32_t number,
                                  uint8_t opacity) {
  char t[16];
  NumberText(number, t);
  DrawFontAlpha(s, font, x, y, t, opacity);
}
void ClassGraphics::DrawFontFx(E2DSurface* s, uint8_t font, int32_t x, int32_t y, const char* text,
                               uint32_t flags, uint32_t value) {
  DrawFontPair(s, font, x, y, text, flags, value, flags | 0x20, value, !(flags & 0x20));
}
void ClassGraphics::DrawFontFx(E2DSurface* s, uint8_t font, int32_t x, int32_t y, int32_t number,
                               uint32_t flags, uint32_t value) {
  char t[16];
  NumberText(number, t);
  DrawFontFx(s, font, x, y, t, flags, value);
}

// ---- Fills and lines ----

void ClassGraphics::Clear(E2DSurface* s, uint32_t colour) {
  if (s) s->FillRect(nullptr, colour);
}
void ClassGraphics::DrawBar(E2DSurface* s, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t colour) {
  if (!s) return;
  tagRECT rc = Rect(l, t, r, b);
  s->FillRect(&rc, colour);
}
void ClassGraphics::DrawAlphaBar(E2DSurface* s, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t colour,
                                 uint8_t opacity) {
  if (!s) return;
  tagRECT rc = Rect(l, t, r, b);
  s->FillRect(&rc, colour, 8, opacity);
}
void ClassGraphics::DrawRectangle(E2DSurface* s, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t colour) {
  if (!s) return;
  tagRECT rc = Rect(l, t, r, b);
  s->DrawRect(&rc, colour);
}
void ClassGraphics::DrawLine(E2DSurface* s, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  if (s) s->DrawLine(x1, y1, x2, y2, colour);
}
void ClassGraphics::DrawLine(E2DSurface* s, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour,
                             uint8_t flags, uint32_t value) {
  if (s) s->DrawLine(x1, y1, x2, y2, colour, flags, value);
}
void ClassGraphics::ScreenAlpha(E2DSurface* s, uint32_t colour, uint8_t opacity) {
  if (s) s->FillRect(nullptr, colour, 8, opacity);
}

// ---- Sprites ----

uint32_t ClassGraphics::Pulse() const {
  uint32_t p = (aniTimer_ >> 2) & 0x7F;
  if (aniTimer_ & 0x200) p = 128 - p;
  return p;
}

void ClassGraphics::DrawSprite(E2DSurface* s, int32_t x, int32_t y, uint8_t kind, uint8_t flags, uint32_t value) {
  if (!s) return;
  const int32_t col = kind & 7, row = kind >> 3;
  tagRECT rc = Rect(24 * col, 24 * row, 24 * col + 24, 24 * row + 24);
  s->BltFast(x, y, &sheet_, &rc, flags | 1, value);
  if (colorBlind_ && flags == 1 && col <= 4 && kind <= 55) {
    // Glyphs 1 to 7 of font 0 are the stones' own numbers, drawn apart from the
    // text digits so that they can look like marks on the stone, not text.
    char digit[2] = {static_cast<char>(1 + row), 0};
    const int32_t w = static_cast<int32_t>(GetFontWidth(0, digit));
    DrawFont(s, 0, x + 12 - w / 2, y + 12 - static_cast<int32_t>(GetFontHeight(0) / 2), digit);
  }
}

void ClassGraphics::DrawQSprite(E2DSurface* s, int32_t x, int32_t y, uint8_t kind) {
  DrawSprite(s, x, y, kind, 1, 0);
  uint8_t overlay = 0;
  if (kind == 5 || kind == 6 || kind == 14 || kind == 15) overlay = kind;
  else if (kind == 7) overlay = 23;
  if (!overlay) return;
  const uint32_t p = Pulse();
  if (p) DrawSprite(s, x, y, overlay, 0x18, p);
}

void ClassGraphics::DrawQSprite(E2DSurface* s, int32_t x, int32_t y, uint8_t kind, uint8_t flags, uint32_t value) {
  if (flags == 8 && value == 255)
    DrawQSprite(s, x, y, kind);
  else
    DrawSprite(s, x, y, kind, flags, value);
}

namespace {
// Mini sheet cell of a stone: row 0 holds colours 1 to 7 in columns 0 to 6 (as
// composed at load time), row 1 the special stones 8 to 15 by kind & 7.
void MiniCell(uint8_t kind, int32_t& col, int32_t& row) {
  if (kind >= 1 && kind <= 7) {
    col = kind - 1;
    row = 0;
  } else {
    col = kind & 7;
    row = kind >> 3;
  }
}
}  // namespace

void ClassGraphics::DrawSQSprite(E2DSurface* s, int32_t x, int32_t y, uint8_t kind) {
  if (!s) return;
  if (kind > 15) {
    const int32_t k = kind - 16;
    tagRECT rc = Rect(12 * k, 0, 12 * k + 12, 12);
    s->BltFast(x - 3, y - 3, &miniBomb_, &rc, 0x11, 0);
    return;
  }
  int32_t col, row;
  MiniCell(kind, col, row);
  tagRECT rc = Rect(6 * col, 6 * row, 6 * col + 6, 6 * row + 6);
  s->BltFast(x, y, &mini_, &rc, 1, 0);
  if (kind >= 8 && kind <= 14) {
    const uint32_t p = Pulse();
    if (p)
      s->BltFast(x, y, &mini_, &rc, 0x19, p);
    else
      s->BltFast(x, y, &mini_, &rc, 1, 0);
  }
}

void ClassGraphics::DrawSQSprite(E2DSurface* s, int32_t x, int32_t y, uint8_t kind, uint8_t flags, uint32_t value) {
  if (!s) return;
  int32_t col, row;
  MiniCell(kind & 15, col, row);
  tagRECT rc = Rect(6 * col, 6 * row, 6 * col + 6, 6 * row + 6);
  s->BltFast(x, y, &mini_, &rc, flags | 1, value);
}

void ClassGraphics::DrawMiniSprite(E2DSurface* s, int32_t x, int32_t y, uint8_t kind, uint8_t flags, uint32_t value) {
  if (!s) return;
  const int32_t col = kind & 7, row = kind >> 3;
  tagRECT rc = Rect(6 * col, 6 * row, 6 * col + 6, 6 * row + 6);
  s->BltFast(x, y, &mini_, &rc, flags | 1, value);
}

// ---- Transition ----

bool ClassGraphics::Transition(E2DSurface* screen, uint32_t ms) {
  if (ms == 0xFFFFFF) {
    transition_ = 0;
    return false;
  }
  transition_ += 4 * ms;
  // Past full reveal the diamond only grows; hold it so the sum cannot wrap.
  if (transition_ > 0x100000) transition_ = 0x100000;
  const int32_t d = static_cast<int32_t>(transition_ >> 3);
  if (screen) {
    for (int32_t y = 0; y < 240; y++) {
      const int32_t c = y < 120 ? 119 - y : y - 120;
      if (c >= d) continue;
      int32_t l = 159 - (d - c), r = 161 + (d - c);
      if (l < 0) l = 0;
      if (r > 320) r = 320;
      tagRECT rc = Rect(l, y, r, y + 1);
      screen->BltFast(l, y, &back_, &rc);
    }
  }
  return d >= 278;
}

// ---- Keyboard ----

void ClassGraphics::DrawKeyboard(E2DSurface* s, uint32_t progress, uint8_t layout) {
  if (!s) return;
  E2DSurface& kb = keyboard_[layout & 1];
  const uint32_t p = progress < 250 ? progress : 250;
  const int32_t h = static_cast<int32_t>(p * kb.GetHeight() / 250);
  if (h <= 0) return;
  tagRECT rc = Rect(0, 0, static_cast<int32_t>(kb.GetWidth()), h);
  s->BltFast(0, static_cast<int32_t>(s->GetHeight()) - h, &kb, &rc);
}

uint8_t ClassGraphics::KeyCell(uint8_t layout, uint8_t row, uint8_t column) {
  if (row > 4 || column > 26 || layout > 1) return 0;
  return kKbLayout[layout][row][column];
}

void ClassGraphics::KeyLabel(uint8_t layout, uint8_t row, uint8_t column, char* out) {
  out[0] = 0;
  if (row > 4 || column > 26 || layout > 1) return;
  const uint8_t* cells = kKbLayout[layout][row];
  const uint8_t v = cells[column];
  switch (v) {
    case 0: return;
    case 7: out[0] = 28; break;
    case 8: out[0] = 31; break;
    case 9: out[0] = 30; break;
    case 10: out[0] = 29; break;
    case 11: out[0] = static_cast<char>(24 + layout); break;
    case 12: out[0] = static_cast<char>(26 + layout); break;
    default: out[0] = static_cast<char>(v); break;
  }
  out[1] = 0;
}

void ClassGraphics::DrawKBChar(E2DSurface* s, uint8_t column, uint8_t row, uint8_t layout, uint32_t progress,
                               bool atPanel, bool highlighted) {
  if (!s || row > 4 || column > 26 || layout > 1) return;
  const uint8_t* cells = kKbLayout[layout][row];
  int32_t start = column;
  while (start > 0 && cells[start - 1] == cells[start]) start--;
  int32_t g = 1;
  while (start + g <= 26 && cells[start + g] == cells[start]) g++;
  const uint32_t p = progress < 250 ? progress : 250;
  const int32_t offset =
      atPanel ? 0 : 240 - static_cast<int32_t>(p * keyboard_[layout].GetHeight() / 250);
  char label[2];
  KeyLabel(layout, row, static_cast<uint8_t>(start), label);
  const int32_t x = 52 + 8 * start + 4 * g, y = 16 * row + offset + 12;
  if (highlighted) {
    tagRECT rc = Rect(52 + 8 * start, 16 * row + offset + 5, 52 + 8 * (start + g), 16 * row + offset + 20);
    s->FillRect(&rc, 0, 8, 192);
    s->DrawFont(x, y, &font_[3], label, 0xA11, 0);
  } else {
    s->DrawFont(x, y, &font_[3], label, 0xA21, 0);
  }
}

// ---- Banner, logo, frame rate ----

void ClassGraphics::DrawLogo(E2DSurface* s, uint32_t a, int32_t y) {
  if (!s || a == 0 || !logo_.IsCreated()) return;
  const int32_t b = static_cast<int32_t>(a) - 2048;
  int32_t c = 0, dx = 0;
  if (b > -512 && b < 512) {
    c = 0;
    dx = 0;
  } else if (b < 0) {
    const int32_t t = static_cast<int32_t>(a) - 1536;
    c = t < 0 ? -t : t;
    dx = 80 * t;
  } else {
    const int32_t t = static_cast<int32_t>(a) - 2560;
    c = t < 0 ? -t : t;
    dx = 80 * t;
  }
  const int32_t sc = 0x10000 - 42 * c;
  logo_.Reset();
  logo_.Scale(sc, sc, sc);
  logo_.Rotate(2488, 1536 - b * (c + 512) / 512, 0);
  logo_.Translate(dx, 16 * c, 0);
  s->Render(0, y, &logo_, 0x80000200u);
}

void ClassGraphics::ShowFPS(E2DSurface* s, uint32_t whole, uint32_t hundredths) {
  char t[32];
  std::snprintf(t, sizeof t, "%u.%02u", static_cast<unsigned>(whole), static_cast<unsigned>(hundredths % 100));
  const int32_t w = static_cast<int32_t>(GetFontWidth(0, t));
  DrawFont(s, 0, 318 - w, 2, t);
}
