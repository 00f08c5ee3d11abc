// The title's tables, state machine, menu input and actions.
#include "game/title.h"

#include <cstdlib>
#include <cstring>

#include "framework/emod_input.h"
#include "framework/zarn.h"
#include "game/app.h"
#include "game/hscode.h"
#include "game/modules.h"
#include "game/start.h"
#include "game/ui_util.h"

namespace {

constexpr uint32_t kSlideMs = 128;
constexpr uint32_t kClosedMs = 5000;
constexpr uint32_t kCreditPageMs = 4096;

struct Item {
  const char* label;
  uint8_t action;
};

struct Menu {
  uint8_t id;
  const char* title;
  uint8_t count;
  Item items[8];
};

const Menu kMenus[] = {
    {MENU_MAIN, "Main Menu", 8,
     {{"Single Player", 1}, {"Multi Player", 63}, {"Tutorial", 64}, {"Options", 4}, {"Assign Keys", 12},
      {"Highscores", 5}, {"Credits", 20}, {"Quit Game", 2}}},
    {MENU_OPTIONS, "Options", 7,
     {{"Sound Volume: ", 15}, {"Music Volume: ", 16}, {"Mute: ", 14}, {"Name: ", 19},
      {"Color Blind Mode: ", 23}, {"Erase Highscores", 10}, {"Return", 3}}},
    {MENU_PAUSE, "Game Paused", 3, {{"Resume", 6}, {"Mute: ", 14}, {"Quit", 8}}},
    // Two more "Score" entries stand beyond the count; nothing reaches them.
    {MENU_HIGHSCORES, "Highscores", 3, {{"Score", 32}, {"Score", 33}, {"Score", 34}, {"Score", 35}, {"Score", 36}}},
    {MENU_KEYS, "Assign Keys", 5,
     {{"Drop/Confirm: ", 48}, {"Toggle Next: ", 50}, {"Start/Pause: ", 51}, {"Defaults", 13}, {"Done", 3}}},
    {MENU_MULTI, "Multi Player", 7,
     {{"Join Game", 72}, {"Host Game", 71}, {"Versus CPU", 70}, {"Connect: ", 18}, {"Start Level: ", 22},
      {"Target Score: ", 21}, {"Return", 3}}},
    {MENU_SINGLE, "Single Player", 5,
     {{"Standard Game", 60}, {"Timed Game", 61}, {"Puzzle Game", 62}, {"Start Level: ", 9}, {"Return", 3}}},
    {MENU_CREDITS, "Credits", 0, {}},
};

// Three pages of ten lines; an empty line makes the next one a heading.
const char* const kCredits[30] = {
    "", "Programming", "The Zarn stones team", "", "Graphics", "Drawn by code: resgen", "",
    "Sounds & Music", "Composed by code: resgen", "",
    "", "Test team", "Headless test rigs", "Fuzz targets", "", "Director", "The Zarn stones team", "", "", "",
    "", "Used Engines", "Zarn", "Mox mixer", "", "Zarn stones", "An original puzzle game", "Made for this project",
    "", ""};

}  // namespace

ClassTitle::ClassTitle() {
  std::memset(menuTitle, 0, sizeof menuTitle);
  std::memset(menuItem, 0, sizeof menuItem);
  std::memset(credits, 0, sizeof credits);
  std::memset(itemAction, 0, sizeof itemAction);
  std::memset(itemCount, 0, sizeof itemCount);
  std::memset(codes, 0, sizeof codes);
  for (const auto& m : kMenus) {
    CopyText(menuTitle[m.id], 32, m.title);
    itemCount[m.id] = m.count;
    for (uint32_t i = 0; i < 8 && m.items[i].label; i++) {
      CopyText(menuItem[m.id][i], 32, m.items[i].label);
      itemAction[m.id][i] = m.items[i].action;
    }
  }
  for (uint32_t i = 0; i < 30; i++) CopyText(credits[i], 32, kCredits[i]);
  state = TITLE_FADEIN;
}

void ClassTitle::MoveSound() {
  if (maindata && maindata->sound) maindata->sound->PlaySfx(6);
}

uint32_t ClassTitle::FontHeight() const {
  return maindata && maindata->graphics ? maindata->graphics->GetFontHeight(0) : 0;
}

void ClassTitle::PageChange(uint8_t m, uint8_t k) {
  nextMenu = m;
  nextCursor = k;
  state = TITLE_SLIDE_OUT;
  pageTimer = 0;
}

void ClassTitle::ComputeCodes() {
  const MAINCONFIG* cfg = maindata ? maindata->settings : nullptr;
  if (!cfg) return;
  // A best score beyond the code's 24 bits keeps the mode's last code.
  for (uint32_t m = 0; m < 3; m++)
    Hscode_Encode(kHighscoreTemplate, kHighscoreKey, kHighscoreType + m, cfg->Score(m, 0), codes[m],
                  sizeof codes[m]);
}

void ClassTitle::UpdateMappings() {
  ClassEInput* in = maindata->ecd->input;
  const MAINCONFIG* cfg = maindata->settings;
  in->ResetState();
  in->ResetEvents();
  for (uint8_t a = 0; a < 3; a++) in->RemoveActionMapping(a);
  in->AddKeyMapping(0, cfg->Key(MAINCONFIG::KEY_DROP));
  in->AddKeyMapping(1, cfg->Key(MAINCONFIG::KEY_TOGGLE));
  in->AddKeyMapping(2, cfg->Key(MAINCONFIG::KEY_START));
}

uint8_t ClassTitle::KeyWord(uint8_t action) {
  switch (action) {
    case 50: return MAINCONFIG::KEY_TOGGLE;
    case 51: return MAINCONFIG::KEY_START;
    default: return static_cast<uint8_t>((action - 48) & 3);
  }
}

bool ClassTitle::SetKey(uint8_t slot, uint32_t key) {
  ClassEInput* in = maindata->ecd->input;
  for (uint8_t a = 0xA0; a <= 0xA3; a++)
    if (in->MappedTo(a, key)) return false;
  slot &= 3;
  for (uint32_t s = 0; s < 4; s++)
    if (s != slot && keyChoice[s] == key) keyChoice[s] = keyChoice[slot];
  keyChoice[slot] = key;
  return true;
}

void ClassTitle::Enter(uint32_t message) {
  ClassGraphics* gfx = maindata->graphics;
  if (message == 0x10000 || message == 0x10023) {
    menu = MENU_PAUSE;
    state = message == 0x10000 ? TITLE_SLIDE_IN : TITLE_CLOSED;
    cursor = 0;
    pageTimer = 0;
    maindata->zerodelta = 1;
    return;
  }
  if (message == MSG_ENTER)
    menu = MENU_MAIN;
  else if (message == 0x8001)
    menu = MENU_MAIN;
  else  // 0x10002: back from a game
    menu = maindata->player && maindata->player->mode == MODE_TUTORIAL ? MENU_MAIN : MENU_MULTI;
  cursor = 0;
  pageTimer = 0;
  gfx->Transition(nullptr, 0xFFFFFF);
  gfx->LoadBackDrop("title.bmp");
  E2DSurface* back = nullptr;
  gfx->GetBackSurface(back);
  RenderMenu(back);
  state = TITLE_REVEAL;
  if (message == MSG_ENTER) {
    flash = 0;
    if (maindata->sound) maindata->sound->PlayBgm(1);
  } else if (maindata->console) {
    maindata->console->state = DLG_IDLE;
  }
  maindata->zerodelta = 1;
}

int ClassTitle::Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys, uint32_t ms) {
  if (*message == MSG_ATTACH) {
    maindata = reinterpret_cast<MAINDATA*>(keys);
    return 0;
  }
  if (!maindata || !maindata->graphics) return 0;
  const uint32_t m = *message;
  if (StartSwitch(m, module, message)) return 0;
  if (m == MSG_ENTER || m == 0x8001 || m == 0x10002 || m == 0x10000 || m == 0x10023) {
    Enter(m);
    *message = MSG_FRAME;
    return 0;
  }
  if (m != MSG_FRAME) return 0;
  module_ = module;
  message_ = message;
  idleTime += ms;
  switch (state) {
    case TITLE_FADEIN: FadeInFrame(screen, ms); break;
    case TITLE_LOADING: LoadingFrame(screen); break;
    case TITLE_REVEAL:
      if (maindata->graphics->Transition(screen, ms)) state = TITLE_MENU;
      break;
    case TITLE_SLIDE_IN:
    case TITLE_SLIDE_OUT: SlideFrame(screen, ms); break;
    case TITLE_MENU: {
      const uint8_t a = HandleMenuInput(ms);
      RenderMenu(screen);
      RenderFlash(screen, ms);
      Action(a);
      break;
    }
    case TITLE_CLOSED:
      RenderClosed(screen);
      pageTimer += ms;
      if (pageTimer >= kClosedMs) *module = MODULE_QUIT;
      break;
    default: break;
  }
  module_ = message_ = nullptr;
  return 0;
}

// ZARN_START: the test switch that plays one game straight from the intro
// and ends the run when it hands back. True when it took the message.
bool ClassTitle::StartSwitch(uint32_t m, uint32_t* module, uint32_t* message) {
  if ((m == 0x8001 || m == 0x10002) && autoGame) {
    *module = MODULE_QUIT;
    return true;
  }
  if (m != MSG_ENTER || autoStarted) return false;
  autoStarted = true;
  GameStart start;
  if (!ParseGameStart(std::getenv("ZARN_START"), &start)) return false;
  autoGame = true;
  ::StartGame(maindata, start, module, message);
  return true;
}

void ClassTitle::FadeInFrame(E2DSurface* screen, uint32_t ms) {
  ClassGraphics* gfx = maindata->graphics;
  pageTimer += ms;
  gfx->DrawBackDrop(screen);
  const uint32_t fade = pageTimer < 255 ? 255 - pageTimer : 0;
  if (fade) gfx->ScreenAlpha(screen, 0x000000, static_cast<uint8_t>(fade));
  if (pageTimer >= 255) {
    flash = 255;
    state = TITLE_LOADING;
    loadStep = 0;
  }
}

void ClassTitle::LoadingFrame(E2DSurface* screen) {
  ClassGraphics* gfx = maindata->graphics;
  if (!gfx->ScriptLoad(loadStep)) {
    if (maindata->app) maindata->app->LoadingFailed(gfx->LoadError());
    *module_ = MODULE_QUIT;
    return;
  }
  if (maindata->sound && loadStep == 13) maindata->sound->LoadSfxFiles();
  if (maindata->sound && loadStep == 14) maindata->sound->LoadBgmFiles();
  RenderLoading(screen);
  if (++loadStep > 15) {
    menu = MENU_MAIN;
    cursor = 0;
    pageTimer = 0;
    state = TITLE_SLIDE_IN;
    if (maindata->sound) maindata->sound->PlayBgm(1);
  }
}

void ClassTitle::SlideFrame(E2DSurface* screen, uint32_t ms) {
  pageTimer += ms;
  RenderMenu(screen);
  RenderFlash(screen, ms);
  if (pageTimer < kSlideMs) return;
  pageTimer = 0;
  if (state == TITLE_SLIDE_OUT) {
    menu = nextMenu;
    cursor = nextCursor;
    state = TITLE_SLIDE_IN;
  } else {
    state = TITLE_MENU;
  }
}

// ---- input ----

uint8_t ClassTitle::HandleMenuInput(uint32_t ms) {
  if (menu == MENU_HIGHSCORES) return MenuInputHighscores();
  if (menu == MENU_CREDITS) return MenuInputCredits(ms);
  ClassConsole* dlg = maindata->console;
  if (dlg && dlg->state == DLG_CONFIRMED) {
    dlg->state = DLG_IDLE;
    return 98;
  }
  if (dlg && dlg->state != DLG_IDLE) return MenuInputDialog();
  return MenuInputList();
}

uint8_t ClassTitle::MenuInputHighscores() {
  ClassEInput* in = maindata->ecd->input;
  E_INPUTEVENT ev;
  while (in->GetClickEvent(&ev)) {
    if (ev.type != EIT_DOWN) continue;
    MoveSound();
    if (ev.y < 192) return 3;
    PageChange(MENU_HIGHSCORES, static_cast<uint8_t>(ev.x < 160 ? (cursor + 2) % 3 : (cursor + 1) % 3));
  }
  while (in->GetKeyEvent(&ev)) {
    if (Pressed(ev.type) && (ev.action == 0xC2 || ev.action == 0xC3)) {
      MoveSound();
      PageChange(MENU_HIGHSCORES,
                 static_cast<uint8_t>(ev.action == 0xC2 ? (cursor + 2) % 3 : (cursor + 1) % 3));
    } else if (ev.type == EIT_DOWN && ev.action == 0xC4) {
      MoveSound();
      return 3;
    }
  }
  return 0;
}

uint8_t ClassTitle::MenuInputCredits(uint32_t ms) {
  ClassEInput* in = maindata->ecd->input;
  pageTimer += ms;
  if (pageTimer >= kCreditPageMs) {
    pageTimer = 0;
    PageChange(MENU_CREDITS, static_cast<uint8_t>((cursor + 1) % 3));
  }
  E_INPUTEVENT ev;
  bool pointer = false;
  while (in->GetClickEvent(&ev))
    if (ev.type == EIT_DOWN) pointer = true;
  if (in->GetLastKey() || pointer) {
    MoveSound();
    return 3;
  }
  return 0;
}

uint8_t ClassTitle::MenuInputDialog() {
  ClassConsole* dlg = maindata->console;
  MAINCONFIG* cfg = maindata->settings;
  const uint8_t action = itemAction[menu][cursor < 10 ? cursor : 0];
  if (action == 19) {
    const char c = dlg->GetC();
    char* name = cfg->PlayerName();
    const size_t n = std::strlen(name);
    const auto u = static_cast<unsigned char>(c);
    if (u >= 32 && u <= 127) {
      if (maindata->graphics->GetFontWidth(0, name) <= 119 && n < 16) {
        name[n] = c;
        name[n + 1] = 0;
      }
    } else if (u == 8) {
      if (n) name[n - 1] = 0;
    } else if (u == 27 || u == 13 || u == 7) {
      if (static_cast<unsigned char>(name[0]) < 33) CopyText(name, MAINCONFIG::kTextSize, "Anonymous");
      if (dlg->state == DLG_INPUT) {
        dlg->state = DLG_INPUT_CLOSING;
        dlg->timer = 0;
      }
    }
    return 0;
  }
  if (action >= 48 && action <= 51 && dlg->state == DLG_SETKEY) {
    const uint32_t key = maindata->ecd->input->GetLastKey();
    if (key && SetKey(KeyWord(action), key)) dlg->state = DLG_IDLE;
  }
  return 0;
}

uint8_t ClassTitle::MenuInputList() {
  ClassEInput* in = maindata->ecd->input;
  const uint32_t count = itemCount[menu];
  if (count == 0) return 0;
  const int32_t h = static_cast<int32_t>(FontHeight());
  const int32_t y0 = 120 - static_cast<int32_t>(count) * h / 2;
  const int32_t w = in->GetWheelScroll();
  if (w) {
    const int32_t c = (static_cast<int32_t>(cursor) - w) % static_cast<int32_t>(count);
    cursor = static_cast<uint8_t>(c < 0 ? c + static_cast<int32_t>(count) : c);
    MoveSound();
  }
  E_INPUTEVENT ev;
  while (in->GetKeyEvent(&ev)) {
    if (Pressed(ev.type) && ev.action == 0xC0) {
      cursor = static_cast<uint8_t>((cursor + count - 1) % count);
      MoveSound();
    } else if (Pressed(ev.type) && ev.action == 0xC1) {
      cursor = static_cast<uint8_t>((cursor + 1) % count);
      MoveSound();
    } else if (ev.type == EIT_DOWN && ev.action == 0xC4) {
      MoveSound();
      return itemAction[menu][cursor];
    }
  }
  auto point = [&](int32_t x, int32_t y) -> int32_t {
    if (h <= 0 || x < 93 || x > 295 || y < y0 || y >= y0 + static_cast<int32_t>(count) * h) return -1;
    return (y - y0) / h;
  };
  auto select = [&](int32_t item) {
    if (item < 0) return;
    if (static_cast<uint8_t>(item) != cursor) MoveSound();
    cursor = static_cast<uint8_t>(item);
  };
  if (in->ClickHold(0)) {
    int32_t x, y;
    in->GetClickPosition(x, y);
    select(point(x, y));
  }
  while (in->GetClickEvent(&ev)) {
    const int32_t item = point(ev.x, ev.y);
    select(item);
    if (item >= 0 && ev.type == EIT_DOWN) return itemAction[menu][cursor];
  }
  return 0;
}

// ---- actions ----

void ClassTitle::BeginGame(uint8_t mode, int kind, uint32_t* module, uint32_t* message) {
  ClassPlayer* pl = maindata->player;
  pl->mode = mode;
  if (kind >= 0) pl->kind = static_cast<uint8_t>(kind);
  // The game state holds no start-level byte and no time limit; the level
  // reads the start levels from the settings itself.
  pl->level = 1;
  pl->turns = 0;
  pl->blackDue = 0;
  pl->chain = 0;
  pl->winner = 0;
  pl->targetScore = 10000;
  pl->score = 0;
  pl->bar = 0;
  pl->barShown = 0;
  *module = MODULE_LEVEL;
  *message = MSG_ENTER;
  UpdateMappings();
}

void ClassTitle::Action(uint8_t a) {
  ClassConsole* dlg = maindata->console;
  switch (a) {
    case 1: PageChange(MENU_SINGLE, 0); break;
    case 2: *module_ = MODULE_QUIT; break;
    case 3: ReturnToMain(); break;
    case 4: PageChange(MENU_OPTIONS, 0); break;
    case 5:
      PageChange(MENU_HIGHSCORES, 0);
      ComputeCodes();
      break;
    case 6:
      *module_ = MODULE_LEVEL;
      *message_ = 0x10001;
      break;
    case 7: *message_ = MSG_MINIMIZE; break;
    case 8:
      *module_ = MODULE_LEVEL;
      *message_ = 0x10000;
      break;
    case 10:
      maindata->ecd->input->ResetState();
      if (dlg && dlg->state == DLG_IDLE) dlg->AskConfirm("Are you sure?");
      break;
    case 12:
      for (uint32_t s = 0; s < 4; s++) keyChoice[s] = maindata->settings->Key(s);
      PageChange(MENU_KEYS, 0);
      break;
    case 13: DefaultKeys(); break;
    case 19:
      if (dlg) dlg->ShowInput();
      break;
    case 20: PageChange(MENU_CREDITS, 0); break;
    case 48:
    case 49:
    case 50:
    case 51:
      if (dlg && dlg->state == DLG_IDLE) dlg->OpenSetkey(static_cast<uint8_t>(a - 48));
      break;
    case 63: PageChange(MENU_MULTI, 0); break;
    case 9:
    case 11:
    case 14:
    case 15:
    case 16:
    case 18:
    case 21:
    case 22:
    case 23: SettingAction(a); break;
    case 60:
    case 61:
    case 62:
    case 64:
    case 70:
    case 71:
    case 72: GameAction(a); break;
    case 98: ResetHighscores(); break;
    default: break;
  }
}

// "Return": back to the main menu on the item that led here; the keys page
// keeps its choices.
void ClassTitle::ReturnToMain() {
  pageTimer = 0;
  if (menu == MENU_KEYS) {
    maindata->ecd->input->ResetState();
    for (uint32_t s = 0; s < 4; s++) maindata->settings->SetKey(s, keyChoice[s]);
    nextCursor = 4;
  } else {
    nextCursor = menu == MENU_OPTIONS ? 3 : menu == MENU_HIGHSCORES ? 5 : menu == MENU_CREDITS ? 6
                 : menu == MENU_SINGLE ? 0 : menu == MENU_MULTI ? 1 : 4;
  }
  nextMenu = MENU_MAIN;
  maindata->releaserequest = 1;
  maindata->saverequest = 1;
  state = TITLE_SLIDE_OUT;
}

void ClassTitle::DefaultKeys() {
  MAINCONFIG* cfg = maindata->settings;
  maindata->ecd->input->ResetState();
  cfg->SetKey(MAINCONFIG::KEY_DROP, 14);
  cfg->SetKey(MAINCONFIG::KEY_RESERVED, 0);
  cfg->SetKey(MAINCONFIG::KEY_START, 9);
  cfg->SetKey(MAINCONFIG::KEY_TOGGLE, 15);
  maindata->saverequest = 1;
  PageChange(MENU_MAIN, 4);
}

// "Erase Highscores" answered yes: the tables hold their first names again.
void ClassTitle::ResetHighscores() {
  MAINCONFIG* cfg = maindata->settings;
  const char* names[3] = {"Chris", "Joe", "Kate"};
  const uint32_t scores[3] = {3000, 2000, 1000};
  for (uint32_t m = 0; m < 3; m++)
    for (uint32_t r = 0; r < 3; r++) {
      CopyText(cfg->ScoreName(m, r), MAINCONFIG::kTextSize, names[r]);
      cfg->SetScore(m, r, scores[r]);
    }
  PageChange(MENU_MAIN, 3);
  maindata->saverequest = 1;
}

// The items that step a setting.
void ClassTitle::SettingAction(uint8_t a) {
  MAINCONFIG* cfg = maindata->settings;
  ClassSound* snd = maindata->sound;
  switch (a) {
    case 9: cfg->SetStartLevel(static_cast<uint8_t>(cfg->StartLevel() % 9 + 1)); break;
    case 11: cfg->SetStylusMode(static_cast<uint8_t>((cfg->StylusMode() + 1) % 3)); break;
    case 14: cfg->SetMute(cfg->Mute() ? 0 : 1); break;
    case 15: {
      const uint8_t v = static_cast<uint8_t>(cfg->EffectVolume() + 16 > 64 ? 0 : cfg->EffectVolume() + 16);
      cfg->SetEffectVolume(v);
      if (snd) {
        snd->VolumeSfx(v);
        snd->PlaySfx(1);
      }
      break;
    }
    case 16: {
      const uint8_t v = static_cast<uint8_t>(cfg->MusicVolume() + 16 > 64 ? 0 : cfg->MusicVolume() + 16);
      cfg->SetMusicVolume(v);
      if (snd) snd->VolumeBgm(v);
      break;
    }
    case 18: cfg->SetConnection(MAINCONFIG::CONNECTION_TCP); break;
    case 21: cfg->SetTargetIndex(static_cast<uint8_t>((cfg->TargetIndex() + 1) & 3)); break;
    case 22: cfg->SetMultiStartLevel(static_cast<uint8_t>(cfg->MultiStartLevel() % 9 + 1)); break;
    case 23: cfg->SetColourBlind(cfg->ColourBlind() ? 0 : 1); break;
    default: break;
  }
}

// The items that start a game: its mode and, for network play, the console's
// kind over the chosen connection.
void ClassTitle::GameAction(uint8_t a) {
  const bool tcp = maindata->settings->Connection() == MAINCONFIG::CONNECTION_TCP;
  switch (a) {
    case 60: BeginGame(MODE_STANDARD, -1, module_, message_); break;
    case 61: BeginGame(MODE_TIMED, -1, module_, message_); break;
    case 62: BeginGame(MODE_PUZZLE, -1, module_, message_); break;
    case 64: BeginGame(MODE_TUTORIAL, -1, module_, message_); break;
    case 70: BeginGame(MODE_MULTI, MULTI_VERSUS_CPU, module_, message_); break;
    case 71:
      BeginGame(MODE_MULTI, tcp ? MULTI_HOST_TCP : MULTI_HOST_WIRELESS, module_, message_);
      break;
    case 72:
      BeginGame(MODE_MULTI, tcp ? MULTI_JOIN_TCP : MULTI_JOIN_WIRELESS, module_, message_);
      break;
    default: break;
  }
}

void ClassTitle::Log(const char* text, bool newline) { ClassZarn::Log(text, newline); }
