// The dialog layer: message line, text input with the on-screen keyboard, volume
// slider, yes/no question, four-way choice, key prompt and help pages.
#include "game/dialog.h"

#include <cstdio>
#include <cstring>

#include "framework/emod_input.h"
#include "game/app.h"
#include "game/modules.h"
#include "game/ui_util.h"

namespace {

constexpr uint32_t kOpenMs = 250;
constexpr uint32_t kMessageMs = 2000;
constexpr uint8_t kActionType = 16;  // the game maps it to button 14 at start-up
constexpr uint32_t kTypingButton = 14;

}  // namespace

ClassConsole::ClassConsole() {
  std::memset(typed, 0, sizeof typed);
  std::memset(text, 0, sizeof text);
  std::memset(help, 0, sizeof help);
  std::memset(options, 0, sizeof options);
}

// ---- openers ----

void ClassConsole::SendMessage(const char* t) {
  CopyText(text, sizeof text, t);
  timer = 0;
  state = DLG_MESSAGE;
}

void ClassConsole::ShowInput() {
  std::memset(typed, 0, sizeof typed);
  shift = 0;
  if (state != DLG_INPUT) {
    kbRow = 2;
    kbColumn = 26;
    timer = 0;
    state = DLG_INPUT;
  }
}

void ClassConsole::HideInput() {
  if (state != DLG_INPUT) return;
  timer = 0;
  state = DLG_INPUT_CLOSING;
}

void ClassConsole::OpenSoundChange(uint8_t kind) {
  if (state != DLG_IDLE) return;
  state = DLG_VOLUME;
  timer = 0;
  sampleTimer = 256;
  holdTimer = 0;
  volumeKind = kind;
}

void ClassConsole::AskConfirm(const char* t) {
  if (state != DLG_IDLE) return;
  CopyText(text, sizeof text, t);
  state = DLG_CONFIRM;
  timer = 1;  // "No" until the player changes it
}

void ClassConsole::AskOption(const char* a, const char* b, const char* c, const char* d) {
  if (state != DLG_IDLE) return;
  const char* in[4] = {a, b, c, d};
  for (int i = 0; i < 4; i++) CopyText(options[i], sizeof options[i], in[i]);
  state = DLG_OPTION;
  chosen = 0;
  timer = 0;
}

void ClassConsole::OpenHelp(uint32_t colour, const char* p1, const char* p2, const char* p3) {
  if (state != DLG_IDLE) return;
  helpColour = colour;
  timer = 0;
  CopyText(help[0], sizeof help[0], p1);
  CopyText(help[1], sizeof help[1], p2);
  CopyText(help[2], sizeof help[2], p3);
  state = DLG_HELP;
}

void ClassConsole::OpenSetkey(uint8_t slot) {
  if (state != DLG_IDLE) return;
  timer = slot;
  state = DLG_SETKEY;
}

void ClassConsole::HideMessage() {
  if (state == DLG_MESSAGE) state = DLG_IDLE;
}

// ---- characters ----

char ClassConsole::GetC() {
  const char c = typed[0];
  if (c) std::memmove(typed, typed + 1, sizeof typed - 1);
  typed[sizeof typed - 1] = 0;
  return c;
}

void ClassConsole::Append(char c) {
  size_t n = std::strlen(typed);
  if (n + 1 >= sizeof typed) {
    std::memmove(typed, typed + 1, n);  // full: the oldest goes
    n--;
  }
  typed[n] = c;
  typed[n + 1] = 0;
}

void ClassConsole::MoveSound() {
  if (maindata && maindata->sound) maindata->sound->PlaySfx(6);
}

void ClassConsole::TypeKey(uint8_t code, bool shiftable) {
  MoveSound();
  if (code == 10) {
    Append(13);
  } else if (code == 11) {
    shift = shift == 0 ? 1 : 0;
  } else if (code == 12) {
    if (shiftable) shift = shift == 0 ? 3 : 0;
  } else if (code != 0) {
    char c = static_cast<char>(code);
    if (shift && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    Append(c);
    if (code > 31 && shift == 1) shift = 0;
  }
}

void ClassConsole::PutC(char c, bool shiftable) { TypeKey(static_cast<uint8_t>(c), shiftable); }

// ---- frame ----

int ClassConsole::Manage(E2DSurface* screen, uint32_t*, uint32_t* message, int32_t* keys, uint32_t ms) {
  if (*message == MSG_ATTACH) {
    maindata = reinterpret_cast<MAINDATA*>(keys);
    return 0;
  }
  if (*message != MSG_FRAME) return 0;
  Frame(ms);
  RenderAll(screen);
  return 0;
}

void ClassConsole::Frame(uint32_t ms) {
  runTime += ms;
  switch (state) {
    case DLG_MESSAGE:
      timer += ms;
      if (timer >= kMessageMs) state = DLG_IDLE;
      break;
    case DLG_INPUT_CLOSING:
    case DLG_VOLUME_CLOSING:
      timer += ms;
      if (timer >= kOpenMs) state = DLG_IDLE;
      break;
    case DLG_INPUT: TextInput(ms); break;
    case DLG_VOLUME: VolumeSlider(ms); break;
    case DLG_CONFIRM: Confirm(); break;
    case DLG_OPTION: Option(); break;
    case DLG_HELP: state = DLG_IDLE; break;
    default: break;
  }
}

void ClassConsole::MoveVertical(int dir) {
  const uint8_t layout = shift ? 1 : 0;
  const int row = kbRow + dir;
  if (row < 0 || row > 4) return;
  const uint8_t r = static_cast<uint8_t>(row);
  if (ClassGraphics::KeyCell(layout, r, kbColumn)) {
    kbRow = r;
    return;
  }
  // Sideways within the current key for the nearest cell with a key beyond it.
  const uint8_t key = ClassGraphics::KeyCell(layout, kbRow, kbColumn);
  for (int u = 1; u <= 26; u++) {
    const int left = kbColumn - u, right = kbColumn + u;
    const bool leftIn = left >= 0 && ClassGraphics::KeyCell(layout, kbRow, static_cast<uint8_t>(left)) == key;
    const bool rightIn = right <= 26 && ClassGraphics::KeyCell(layout, kbRow, static_cast<uint8_t>(right)) == key;
    if (!leftIn && !rightIn) return;
    if (leftIn && ClassGraphics::KeyCell(layout, r, static_cast<uint8_t>(left))) {
      kbRow = r;
      kbColumn = static_cast<uint8_t>(left);
      return;
    }
    if (rightIn && ClassGraphics::KeyCell(layout, r, static_cast<uint8_t>(right))) {
      kbRow = r;
      kbColumn = static_cast<uint8_t>(right);
      return;
    }
  }
}

void ClassConsole::MoveLeft() {
  const uint8_t layout = shift ? 1 : 0;
  for (int c = kbColumn - 1; c >= 0; c--) {
    const uint8_t v = ClassGraphics::KeyCell(layout, kbRow, static_cast<uint8_t>(c));
    if (v && v != ClassGraphics::KeyCell(layout, kbRow, static_cast<uint8_t>(c + 1))) {
      kbColumn = static_cast<uint8_t>(c);
      return;
    }
  }
}

void ClassConsole::MoveRight() {
  const uint8_t layout = shift ? 1 : 0;
  for (int c = kbColumn + 1; c <= 26; c++) {
    const uint8_t v = ClassGraphics::KeyCell(layout, kbRow, static_cast<uint8_t>(c));
    if (v && v != ClassGraphics::KeyCell(layout, kbRow, static_cast<uint8_t>(c - 1))) {
      kbColumn = static_cast<uint8_t>(c);
      return;
    }
  }
}

void ClassConsole::TextInput(uint32_t ms) {
  timer += ms;
  if (timer < kOpenMs) return;  // the keyboard slides in; keys wait
  ClassEInput* in = maindata && maindata->ecd ? maindata->ecd->input : nullptr;
  if (!in) return;
  E_INPUTEVENT ev;
  while (in->GetKeyEvent(&ev)) {
    if (!Pressed(ev.type)) continue;
    switch (ev.action) {
      case 0xA0: MoveVertical(-1); break;
      case 0xA1: MoveVertical(1); break;
      case 0xA2: MoveLeft(); break;
      case 0xA3: MoveRight(); break;
      case kActionType: TypeKey(ClassGraphics::KeyCell(shift ? 1 : 0, kbRow, kbColumn), true); break;
      default: break;
    }
  }
  auto pointAt = [&](int32_t x, int32_t y, bool type) {
    if (x < 52 || x > 267 || y < 149 || y > 228) return;
    const uint8_t col = static_cast<uint8_t>((x - 52) / 8), row = static_cast<uint8_t>((y - 149) / 16);
    if (col > 26 || row > 4 || !ClassGraphics::KeyCell(shift ? 1 : 0, row, col)) return;
    kbColumn = col;
    kbRow = row;
    if (type) TypeKey(ClassGraphics::KeyCell(shift ? 1 : 0, kbRow, kbColumn), true);
  };
  if (in->ClickHold(0)) {
    int32_t x, y;
    in->GetClickPosition(x, y);
    pointAt(x, y, false);
  }
  while (in->GetClickEvent(&ev)) pointAt(ev.x, ev.y, Pressed(ev.type));
  // A hardware keyboard types directly (but not the button that types keys).
  uint32_t key = 0;
  for (uint16_t c; (c = in->GetChar(&key)) != 0;) {
    if (key == kTypingButton) continue;
    MoveSound();
    if (c == 10) {
      Append(13);
    } else if (c == 11) {
      shift = shift == 0 ? 1 : 0;
    } else if (c < 256) {
      char ch = static_cast<char>(c);
      if (shift && ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
      Append(ch);
    }
  }
}

void ClassConsole::VolumeStep(int dir, uint32_t ms) {
  MAINCONFIG* cfg = maindata ? maindata->settings : nullptr;
  if (!cfg) return;
  const uint8_t v = volumeKind == 0 ? cfg->EffectVolume() : cfg->MusicVolume();
  int n = v + dir;
  n = n < 0 ? 0 : n > 64 ? 64 : n;
  if (volumeKind == 0) {
    cfg->SetEffectVolume(static_cast<uint8_t>(n));
    if (maindata->sound) maindata->sound->VolumeSfx(static_cast<uint8_t>(n));
    sampleTimer += ms;
  } else {
    cfg->SetMusicVolume(static_cast<uint8_t>(n));
    if (maindata->sound) maindata->sound->VolumeBgm(static_cast<uint8_t>(n));
  }
}

void ClassConsole::VolumeSlider(uint32_t ms) {
  timer += ms;
  if (timer < kOpenMs) return;
  ClassEInput* in = maindata && maindata->ecd ? maindata->ecd->input : nullptr;
  MAINCONFIG* cfg = maindata ? maindata->settings : nullptr;
  if (!in || !cfg) return;
  const int32_t w = in->GetWheelScroll();
  if (holdTimer > 1000) holdTimer = 0;
  const bool down = in->KeyHold(0xC2) || w < 0;
  const bool up = !down && (in->KeyHold(0xC3) || w > 0);
  if (down || up) {
    if (w != 0)
      holdTimer = 48;
    else
      holdTimer += ms;
    while (holdTimer > 15) {
      VolumeStep(down ? -1 : 1, ms);
      holdTimer -= 16;
    }
  } else if (in->ClickHold(0)) {
    int32_t x, y;
    in->GetClickPosition(x, y);
    if (x >= 54 && x <= 265 && y >= 112 && y <= 127) {
      int32_t v = (x * 64 - 5120) / 160;
      v = v < 0 ? 0 : v > 64 ? 64 : v;
      const uint8_t cur = volumeKind == 0 ? cfg->EffectVolume() : cfg->MusicVolume();
      VolumeStep(v - cur, ms);
    }
  } else {
    E_INPUTEVENT ev;
    bool outside = false;
    while (in->GetClickEvent(&ev))
      if (ev.type == EIT_DOWN && !(ev.x >= 54 && ev.x <= 265 && ev.y >= 112 && ev.y <= 127)) outside = true;
    if (outside) {
      state = DLG_VOLUME_CLOSING;
      timer = 0;
      return;
    }
    sampleTimer = 255;
    holdTimer = 0;
  }
  if (volumeKind == 0 && sampleTimer > 255) {
    if (maindata->sound) maindata->sound->PlaySfx(1);
    sampleTimer = 0;
  }
  if (in->GetKeyEvent(0xC4) == EIT_DOWN) {
    state = DLG_VOLUME_CLOSING;
    timer = 0;
  }
}

void ClassConsole::Confirm() {
  ClassEInput* in = maindata && maindata->ecd ? maindata->ecd->input : nullptr;
  if (!in) return;
  for (uint8_t a = 0xC0; a <= 0xC3; a++)
    if (in->GetKeyEvent(a) == EIT_DOWN) timer = timer ? 0 : 1;
  const int32_t h = static_cast<int32_t>(FontHeight());
  const int32_t half = static_cast<int32_t>(TextWidth("Yes "));
  auto onAnswers = [&](int32_t x, int32_t y) {
    return y >= 120 + h / 2 && y < 120 + 3 * h / 2 && x >= 160 - half && x < 160 + half;
  };
  bool decide = false;
  if (in->ClickHold(0)) {
    int32_t x, y;
    in->GetClickPosition(x, y);
    if (onAnswers(x, y)) timer = x < 160 ? 0 : 1;
  }
  E_INPUTEVENT ev;
  while (in->GetClickEvent(&ev)) {
    if (ev.type == EIT_DOWN && onAnswers(ev.x, ev.y)) {
      timer = ev.x < 160 ? 0 : 1;
      decide = true;
    }
  }
  if (in->GetKeyEvent(0xC4) == EIT_DOWN) decide = true;
  if (decide) state = timer == 0 ? DLG_CONFIRMED : DLG_IDLE;
}

void ClassConsole::Option() {
  ClassEInput* in = maindata && maindata->ecd ? maindata->ecd->input : nullptr;
  if (!in) return;
  const int32_t w = in->GetWheelScroll();
  const uint32_t before = timer;
  if (Pressed(in->GetKeyEvent(0xC0)) || w > 0)
    timer = (timer + 3) & 3;
  else if (Pressed(in->GetKeyEvent(0xC1)) || w < 0)
    timer = (timer + 1) & 3;
  const int32_t h = static_cast<int32_t>(FontHeight());
  auto choiceAt = [&](int32_t x, int32_t y) -> int32_t {
    if (h <= 0 || x < 88 || x > 231 || y < 120 - 2 * h || y >= 120 + 2 * h) return -1;
    return (y - 120 + 2 * h) / h;
  };
  bool choose = false;
  if (in->ClickHold(0)) {
    int32_t x, y;
    in->GetClickPosition(x, y);
    const int32_t c = choiceAt(x, y);
    if (c >= 0) timer = static_cast<uint32_t>(c);
  }
  E_INPUTEVENT ev;
  while (in->GetClickEvent(&ev)) {
    const int32_t c = choiceAt(ev.x, ev.y);
    if (c < 0) continue;
    timer = static_cast<uint32_t>(c);
    if (ev.type == EIT_DOWN) choose = true;
  }
  if (timer != before) MoveSound();
  if (in->GetKeyEvent(0xC4) == EIT_DOWN) choose = true;
  if (!choose) return;
  in->ResetState();
  MoveSound();
  if (timer == 3) {
    state = DLG_IDLE;
  } else {
    chosen = static_cast<uint8_t>(timer);
    state = DLG_OPTION_CHOSEN;
  }
}

// ---- drawing ----

uint32_t ClassConsole::FontHeight() const {
  return maindata && maindata->graphics ? maindata->graphics->GetFontHeight(0) : 0;
}

uint32_t ClassConsole::TextWidth(const char* t) const {
  return maindata && maindata->graphics ? maindata->graphics->GetFontWidth(0, t) : 0;
}

uint32_t ClassConsole::Pulse() const {
  const uint32_t r = runTime;
  uint32_t g = 255 - (r & 0x1FF) / 6;
  if ((r & 0x3FF) > 0x1FF) g = 255 + 170 - g;
  return g << 16 | g << 8 | g;
}

// ---- the dialogs' drawing, one function per dialog ----

void ClassConsole::RenderAll(E2DSurface* screen) {
  ClassGraphics* gfx = maindata ? maindata->graphics : nullptr;
  if (!screen || !gfx) return;
  switch (state) {
    case DLG_MESSAGE: RenderMessage(screen); break;
    case DLG_INPUT: RenderKeyboard(screen); break;
    case DLG_INPUT_CLOSING:
      if (timer < kOpenMs) gfx->DrawKeyboard(screen, kOpenMs - timer, shift ? 1 : 0);
      break;
    case DLG_VOLUME:
    case DLG_VOLUME_CLOSING: RenderVolume(screen); break;
    case DLG_CONFIRM: RenderConfirm(screen); break;
    case DLG_SETKEY: RenderSetkey(screen); break;
    case DLG_OPTION: RenderOption(screen); break;
    case DLG_HELP: RenderHelp(screen); break;
    default: break;
  }
}

void ClassConsole::Box(E2DSurface* screen, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t colour) const {
  ClassGraphics* gfx = maindata->graphics;
  gfx->DrawAlphaBar(screen, l, t, r, b, colour, 192);
  gfx->DrawRectangle(screen, l, t, r, b, 0xFFFFFF);
  gfx->DrawRectangle(screen, l - 1, t - 1, r + 1, b + 1, 0x000000);
}

// Help and key prompt: black on the border, white one pixel inside.
void ClassConsole::DarkBox(E2DSurface* screen, int32_t l, int32_t t, int32_t r, int32_t b, uint32_t colour) const {
  ClassGraphics* gfx = maindata->graphics;
  gfx->DrawAlphaBar(screen, l, t, r, b, colour, 192);
  gfx->DrawRectangle(screen, l, t, r, b, 0x000000);
  gfx->DrawRectangle(screen, l + 1, t + 1, r - 1, b - 1, 0xFFFFFF);
}

// The boxes let a quarter of what is behind them through, often the title's
// menu text: their own lines are drawn with a space either side, so that the
// back mask leaves a margin round them and nothing behind runs into them.
// The spaces draw no ink: the words stand where they would without.
const char* ClassConsole::Spaced(char (&out)[kSpacedSize], const char* t) const {
  std::snprintf(out, sizeof out, " %.*s ", static_cast<int>(sizeof text - 1), t);
  return out;
}

void ClassConsole::Centred(E2DSurface* screen, int32_t y, const char* t) const {
  ClassGraphics* gfx = maindata->graphics;
  char spaced[kSpacedSize];
  const char* line = Spaced(spaced, t);
  gfx->DrawFont(screen, 0, 160 - static_cast<int32_t>(gfx->GetFontWidth(0, line)) / 2, y, line);
}

void ClassConsole::RenderMessage(E2DSurface* screen) {
  ClassGraphics* gfx = maindata->graphics;
  const int32_t h = static_cast<int32_t>(gfx->GetFontHeight(0));
  const int32_t c = static_cast<int32_t>(gfx->GetFontWidth(0));
  const int32_t len = static_cast<int32_t>(std::strlen(text));
  gfx->DrawFont(screen, 0, 160 - c * len / 2, 240 - h, text);
}

void ClassConsole::RenderKeyboard(E2DSurface* screen) {
  ClassGraphics* gfx = maindata->graphics;
  const uint32_t p = timer < kOpenMs ? timer : kOpenMs;
  const uint8_t layout = shift ? 1 : 0;
  gfx->DrawKeyboard(screen, p, layout);
  gfx->DrawKBChar(screen, kbColumn, kbRow, layout, p, false, true);
}

void ClassConsole::RenderVolume(E2DSurface* screen) {
  ClassGraphics* gfx = maindata->graphics;
  uint32_t t = timer < kOpenMs ? timer : kOpenMs;
  if (state == DLG_VOLUME_CLOSING) t = kOpenMs - t;
  const int32_t k = static_cast<int32_t>(106 * t / kOpenMs);
  const int32_t hh = static_cast<int32_t>(8 * t / kOpenMs);
  gfx->DrawAlphaBar(screen, 160 - k, 120 - hh, 160 + k, 120 + hh, 0x4080C0, 192);
  gfx->DrawRectangle(screen, 159 - k, 119 - hh, 161 + k, 121 + hh, 0xFFFFFF);
  gfx->DrawRectangle(screen, 158 - k, 118 - hh, 162 + k, 122 + hh, 0x000000);
  if (t == kOpenMs && maindata->settings) {
    const int32_t v = volumeKind == 0 ? maindata->settings->EffectVolume() : maindata->settings->MusicVolume();
    gfx->DrawLine(screen, 160 - 3 * k / 4, 120, 160 + 3 * k / 4, 120, 0xFFFFFF);
    const int32_t x = 160 - 3 * k / 4 + (v * k * 3) / 128;
    gfx->DrawLine(screen, x, 116, x, 124, 0xFFFFFF);
  }
}

void ClassConsole::RenderConfirm(E2DSurface* screen) {
  ClassGraphics* gfx = maindata->graphics;
  const int32_t h = static_cast<int32_t>(gfx->GetFontHeight(0));
  const int32_t w = static_cast<int32_t>(gfx->GetFontWidth(0, text));
  Box(screen, 152 - w / 2, 116 - 3 * h / 2, 168 + w / 2, 124 + 3 * h / 2, 0x4080C0);
  Centred(screen, 120 - 3 * h / 2, text);
  const uint32_t g = Pulse();
  // "Yes" ends a space left of the centre and "No" starts a space right of
  // it: with those spaces (and one outside each) the answers share one back
  // mask, so nothing behind the box shows between them.
  gfx->DrawFontColor(screen, 0, 160 - static_cast<int32_t>(gfx->GetFontWidth(0, " Yes ")), 120 + h / 2, " Yes ",
                     timer == 0 ? g : 0x808080);
  gfx->DrawFontColor(screen, 0, 160, 120 + h / 2, " No ", timer == 1 ? g : 0x808080);
}

void ClassConsole::RenderSetkey(E2DSurface* screen) {
  ClassGraphics* gfx = maindata->graphics;
  const int32_t h = static_cast<int32_t>(gfx->GetFontHeight(0));
  const int32_t c = static_cast<int32_t>(gfx->GetFontWidth(0));
  DarkBox(screen, 156 - 8 * c, 116 - 2 * h, 164 + 8 * c, 124 + 2 * h, 0x404040);
  Centred(screen, 120 - 2 * h, "Press a key");
  Centred(screen, 120 - h, "to assign to:");
  char name[24];
  switch (timer) {
    case 0: CopyText(name, sizeof name, "'Drop/Confirm'"); break;
    case 1:
    case 3: CopyText(name, sizeof name, "'Start/Pause'"); break;
    case 2: CopyText(name, sizeof name, "'Toggle Next'"); break;
    case 4:
    case 5: {
      const char move[] = {'\'', 'M', 'o', 'v', 'e', ' ', '2', 'n', 'd', ' ',
                           static_cast<char>(timer == 4 ? 29 : 28), '\'', 0};
      CopyText(name, sizeof name, move);
      break;
    }
    default: CopyText(name, sizeof name, "'Unknown'"); break;
  }
  Centred(screen, 120 + h, name);
}

void ClassConsole::RenderOption(E2DSurface* screen) {
  ClassGraphics* gfx = maindata->graphics;
  const int32_t h = static_cast<int32_t>(gfx->GetFontHeight(0));
  Box(screen, 80, 116 - 2 * h, 240, 124 + 2 * h, 0x4080C0);
  const uint32_t g = Pulse();
  char spaced[kSpacedSize];
  for (int32_t i = 0; i < 4; i++) {
    const char* line = Spaced(spaced, options[i]);
    const int32_t w = static_cast<int32_t>(gfx->GetFontWidth(0, line));
    gfx->DrawFontColor(screen, 0, 160 - w / 2, 120 - 2 * h + i * h, line,
                       static_cast<uint32_t>(i) == timer ? g : 0x808080);
  }
}

void ClassConsole::RenderHelp(E2DSurface* screen) {
  ClassGraphics* gfx = maindata->graphics;
  const int32_t h = static_cast<int32_t>(gfx->GetFontHeight(0));
  const int32_t c = static_cast<int32_t>(gfx->GetFontWidth(0));
  DarkBox(screen, 156 - 10 * c, 116 - 9 * h, 164 + 10 * c, 124 + 9 * h, helpColour);
  gfx->DrawFont(screen, 0, 160 - 10 * c, 120 - 9 * h, help[timer < 3 ? timer : 0]);
}
