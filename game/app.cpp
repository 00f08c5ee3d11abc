// The game's application object and the module switch.
#include "game/app.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/emod_file.h"
#include "framework/emod_std.h"
#include "game/start.h"
#include "net/emod_connect.h"
#include "standin/standin.h"

ClassMain::ClassMain(const ZARNDATA* data) : ClassZarn(data) {
  std::memset(&maindata_, 0, sizeof maindata_);
  std::memset(&settings_, 0, sizeof settings_);
  std::memset(keys_, 0, sizeof keys_);
  std::memset(modules_, 0, sizeof modules_);
  moduleId_ = MODULE_INTRO;
  moduleMessage_ = MSG_ENTER;
  reserved_ = 0;
  minimized_ = 0;
}

ClassMain::~ClassMain() { sound_.Cleanup(); }

int ClassMain::OnCreate(ZARNCONFIG* c, ZARNDATA* data) {
  c->width = 320;
  c->height = 240;
  c->displaybpp = 32;
  c->surfacetype = 1;
  c->orientation = 5;
  c->flags = 0;
  c->fpslock = 60;
  c->idlesleep = 0;
  c->fullscreen = (ClassEStd::StrEqual(data->commandline, "-f", false) ||
                   ClassEStd::StrEqual(data->commandline, "-fullscreen", false))
                      ? 1
                      : 0;
  c->reserved0 = c->reserved1 = 0;
  c->reserved5 = 0;
  c->reserved6 = 1;
  c->reserved7 = c->reserved8 = 0;
  c->reserved9 = 1;
  // A start switch that names no game would leave the run waiting on the
  // title: the start fails at once instead, and says why.
  const char* start = std::getenv("ZARN_START");
  GameStart game;
  if (start && *start && !ParseGameStart(start, &game)) {
    char why[256];
    std::snprintf(why, sizeof why, "ZARN_START=%.60s names no game (see the README's \"Starting a game\")", start);
    SetErrorMsg(why);
    return 1;
  }
  return 0;
}

int ClassMain::OnInit(int) {
  graphics_.Init(&display_, &maindata_);
  input_.AddKeyMapping(16, 14);
  srandom(ClassERTimer::Count());
  LinkData();
  AttachModules();
  return 0;
}

void ClassMain::LinkData() {
  maindata_.graphics = &graphics_;
  maindata_.sound = &sound_;
  maindata_.player = &player_;
  maindata_.console = &dialog_;
  maindata_.settings = &settings_;
  maindata_.buttons = &buttonlist_;
  maindata_.app = this;
  maindata_.ecd = &ecd_;
  maindata_.reserved = 0;
  maindata_.saverequest = 0;
  maindata_.releaserequest = 0;
}

void ClassMain::AttachModules() {
  modules_[MODULE_TITLE] = &ClassMain::WManageTitle;
  modules_[MODULE_LEVEL] = &ClassMain::WManageLevel;
  modules_[MODULE_INTRO] = &ClassMain::WManageIntro;
  // The attach message hands every module the MAINDATA pointer in the keys argument.
  for (auto* fn : modules_) {
    if (!fn) continue;
    uint32_t message = MSG_ATTACH;
    fn(this, nullptr, nullptr, &message, reinterpret_cast<int32_t*>(&maindata_), 0);
  }
  uint32_t message = MSG_ATTACH;
  dialog_.Manage(nullptr, nullptr, &message, reinterpret_cast<int32_t*>(&maindata_), 0);
}

int ClassMain::OnDisplayInit(int, ClassEDisplay* display) {
  E2DSurface* screen = display->GetBackBuffer();
  if (screen->GetWidth() != 320 || screen->GetHeight() != 240) {
    SetErrorMsg("Wrong resolution");
    return 1;
  }
  LoadCfg();
  sound_.Initialize(settings_.Mute() != 0, settings_.EffectVolume(), settings_.MusicVolume(), &ecd_);
  return 0;
}

int ClassMain::OnNextFrame(ClassEDisplay* display, uint32_t elapsed) {
  // A closed window or a reached frame limit quits the way the game's own quit does.
  if (standin::QuitRequested() && moduleId_ <= 15) moduleId_ = MODULE_QUIT;
  E2DSurface* screen = display->GetBackBuffer();
  if (maindata_.zerodelta) {
    maindata_.zerodelta = 0;
    elapsed = 0;
  }
  if (maindata_.saverequest) {
    SaveCfg();
    maindata_.saverequest = 0;
  }
  if (maindata_.releaserequest) {
    if (connections_[0]) connections_[0]->ReleaseConnection();
    maindata_.releaserequest = 0;
  }
  if (moduleId_ == MODULE_NETSTART) {
    const uint32_t m = moduleMessage_;
    if (m >= 16 && m <= 19) {
      const bool hosting = m == 16 || m == 17;
      ClassEConnect* c = connections_[0];
      int ok = 0;
      if (c && c->Init(m == 16 || m == 18 ? 1 : 2, this) == 0) {
        if (m == 16)
          ok = c->SearchHost(nullptr, GamePort());
        else if (m == 17)
          ok = c->SearchHost(nullptr, 0);
        else
          ok = c->SearchHost(maindata_.joinaddress, maindata_.joinport);
      }
      if (!ok) level_.OnNetMessage(0, hosting ? 1 : 2, 0, nullptr);
      moduleId_ = MODULE_LEVEL;
      moduleMessage_ = MSG_FRAME;
    }
  }
  if (moduleId_ > 15) {
    if (moduleId_ == MODULE_NETSTART) return 0;
    // A run that ends for a failure never started its game: it leaves no
    // settings behind (started in the wrong folder, it must write nothing there).
    if (GetErrorMsg()[0] == 0) SaveCfg();
    Quit();
    return 0;
  }
  if (!modules_[moduleId_])
    moduleId_ = MODULE_QUIT;
  else
    modules_[moduleId_](this, screen, &moduleId_, &moduleMessage_, keys_, elapsed);
  CheckScriptedGame();
  dialog_.Manage(screen, &moduleId_, &moduleMessage_, keys_, elapsed);
  sound_.Update(settings_.Mute() != 0);
  maindata_.playlogic = 0;
  if (moduleMessage_ == MSG_MINIMIZE) {
    Minimize();
    moduleMessage_ = MSG_FRAME;
  }
  return 0;
}

void ClassMain::CheckScriptedGame() {
  if (moduleId_ == MODULE_LEVEL && level_.levelState == ST_PLAY) scriptedPlayed_ = 1;
  // The start switch's game handing the run back before its play began could
  // not start (a host whose port is taken): a failure, so a script learns it.
  if (moduleId_ != MODULE_QUIT || !title_.autoGame || scriptedPlayed_ || GetErrorMsg()[0] != 0) return;
  char port[32] = "";
  if (player_.mode == MODE_MULTI && player_.kind == MULTI_HOST_TCP)
    std::snprintf(port, sizeof port, " (port %u)", static_cast<unsigned>(GamePort()));
  char why[192];
  std::snprintf(why, sizeof why, "the game of ZARN_START could not start: %s%s",
                level_.messageLine[0][0] ? level_.messageLine[0] : "it ended before its play began", port);
  LoadingFailed(why);
}

void ClassMain::OnExit(int) { sound_.Cleanup(); }

void ClassMain::OnButtonDown(uint32_t code, EBUTTONLIST*) {
  bool changed = false;
  uint8_t sfx = settings_.EffectVolume(), bgm = settings_.MusicVolume();
  if (input_.MappedTo(0xA4, code)) {
    sfx = static_cast<uint8_t>(sfx + 16 > 64 ? 64 : sfx + 16);
    bgm = static_cast<uint8_t>(bgm + 16 > 64 ? 64 : bgm + 16);
    changed = true;
  }
  if (input_.MappedTo(0xA5, code)) {
    sfx = static_cast<uint8_t>(sfx <= 16 ? 0 : sfx - 16);
    bgm = static_cast<uint8_t>(bgm <= 16 ? 0 : bgm - 16);
    changed = true;
  }
  if (!changed) return;
  settings_.SetEffectVolume(sfx);
  settings_.SetMusicVolume(bgm);
  sound_.VolumeSfx(sfx);
  sound_.VolumeBgm(bgm);
}

void ClassMain::OnButtonUp(uint32_t, EBUTTONLIST*) {}
void ClassMain::OnWheel(int32_t) {}
void ClassMain::OnStylusUp(tagPOINT) {}
void ClassMain::OnStylusDown(tagPOINT) {}
void ClassMain::OnStylusDouble(tagPOINT) {}
void ClassMain::OnStylusMove(tagPOINT) {}

int ClassMain::OnMinimize() {
  if (!minimized_) {
    sound_.Suspend();
    minimized_ = 1;
  }
  if (moduleId_ == MODULE_LEVEL && modules_[MODULE_LEVEL]) {
    uint32_t message = MSG_PAUSE;
    uint32_t module = moduleId_;
    modules_[MODULE_LEVEL](this, display_.GetBackBuffer(), &module, &message, keys_, 0);
  }
  return 0;
}

int ClassMain::OnRestore() {
  if (minimized_) {
    std::memset(keys_, 0, sizeof keys_);
    sound_.Resume();
    minimized_ = 0;
  }
  if (moduleId_ <= 15 && modules_[moduleId_]) {
    uint32_t message = MSG_RESTORE;
    modules_[moduleId_](this, display_.GetBackBuffer(), &moduleId_, &message, keys_, 0);
    if (message != MSG_RESTORE) moduleMessage_ = message;
  }
  return 0;
}

void ClassMain::OnNetMessage(uint8_t connection, int32_t peer, int32_t event, int32_t length,
                             uint8_t* data) {
  if (connection != 0) return;
  const int32_t code = LevelNetCode(event);
  if (code > 0) level_.OnNetMessage(peer, code, length, data);
}

uint32_t ClassMain::GamePort() {
  // 4445 is the game's port; ZARN_NET_PORT lets several hosts share one machine.
  const char* env = std::getenv("ZARN_NET_PORT");
  if (env && *env) {
    char* end = nullptr;
    const unsigned long port = std::strtoul(env, &end, 10);
    if (*end == 0 && port >= 1 && port <= 65535) return static_cast<uint32_t>(port);
  }
  return 4445;
}

int32_t ClassMain::LevelNetCode(int32_t event) {
  switch (event) {
    case ENET_CONNECTED: return 4;
    case ENET_HOSTING: return 3;
    case ENET_PEERADDED: return 5;
    case ENET_CLOSED: return 6;
    case ENET_DATA: return 7;
    case ENET_DEVICEFOUND: return 8;
    case ENET_SEARCHDONE: return 9;
    default: return -1;
  }
}

void ClassMain::ResetCfg() {
  char owner[64] = {};
  device_.GetOwnerName(owner);
  Settings_Reset(&settings_, owner);
}

void ClassMain::LoadCfg() {
  char owner[64] = {};
  device_.GetOwnerName(owner);
  const int loaded = Settings_Load(&settings_, "game.cfg", owner);
  maindata_.joinaddress[32] = 0;
  if (loaded != SETTINGS_SHORT && loaded != SETTINGS_BADCHECK) return;
  // The defaults replace a damaged file at the next save, which first keeps a
  // copy; said once, now. A run that never saves (a failed start) writes nothing.
  keepRejectedCfg_ = 1;
  const bool keptBefore = ClassEFile().Exists("game.cfg.bad");
  std::fprintf(stderr, "zarn: game.cfg is damaged; the game starts with the default settings and the file is %s\n",
               keptBefore ? "replaced at the next save (game.cfg.bad keeps an earlier damaged copy; remove it to "
                            "keep this one)"
                          : "kept as game.cfg.bad");
}

void ClassMain::SaveCfg() {
  saveCount_++;
  if (keepRejectedCfg_) {
    keepRejectedCfg_ = 0;
    if (Settings_KeepRejected("game.cfg") == SETTINGS_NOT_KEPT)
      std::fprintf(stderr, "zarn: the damaged game.cfg could not be copied to game.cfg.bad; it is replaced now\n");
  }
  // A failed save is not reported: the settings in memory stay as they are.
  Settings_Save(&settings_, "game.cfg");
}

int ClassMain::ValidCfg() { return Settings_Valid(&settings_); }

void ClassMain::LoadingFailed(const char* why) {
  // The screen cannot show why; the console's log can.
  std::fprintf(stderr, "zarn: %s\n", why);
  SetErrorMsg(why);
}

bool ClassMain::StartFailed() const {
  // Start-up that ended early never reached the ended state; a game that ran
  // leaves an error text only when it stopped for a failure (a loading stage).
  return GetAppStatus() != ZAS_ENDED || GetErrorMsg()[0] != 0;
}

int ClassMain::WManageTitle(void* app, E2DSurface* screen, uint32_t* module, uint32_t* message,
                            int32_t* keys, uint32_t elapsed) {
  return static_cast<ClassMain*>(app)->title_.Manage(screen, module, message, keys, elapsed);
}

int ClassMain::WManageLevel(void* app, E2DSurface* screen, uint32_t* module, uint32_t* message,
                            int32_t* keys, uint32_t elapsed) {
  return static_cast<ClassMain*>(app)->level_.Manage(screen, module, message, keys, elapsed);
}

int ClassMain::WManageIntro(void* app, E2DSurface* screen, uint32_t* module, uint32_t* message,
                            int32_t* keys, uint32_t elapsed) {
  return static_cast<ClassMain*>(app)->intro_.Manage(screen, module, message, keys, elapsed);
}

ClassZarn* ZarnMain(ZARNDATA* data) {
  auto* app = new ClassMain(data);
  return app->Start();
}

namespace {

void ReportStartUpFailure(const uint16_t* error) {
  char text[256];
  size_t n = 0;
  for (; error[n] && n + 1 < sizeof text; n++) text[n] = error[n] < 0x80 ? static_cast<char>(error[n]) : '?';
  text[n] = 0;
  std::fprintf(stderr, "zarn: the game could not start: %s\n", n ? text : "start-up failed");
}

}  // namespace

int ZarnProgramEntry() {
  // A start that fails hands the console to its menu all the same; on the
  // desktop it ends the process with status 1, so a launcher can tell.
  bool failed = true;
  if (HandleDevicePtr(false)) {
    static ZARNDATA record;
    std::memset(&record, 0, sizeof record);
    const char* title = "Untitled";
    for (int i = 0; title[i]; i++) record.title[i] = static_cast<uint8_t>(title[i]);
    GetPath(record.appfolder, 512);
    auto* app = new ClassMain(&record);
    ClassZarn* started = app->Start();
    failed = app->StartFailed();
    // The loading stages print their own reason; nothing shows start-up's.
    if (app->GetAppStatus() != ZAS_ENDED) ReportStartUpFailure(app->GetErrorMsg());
    delete started;
    HandleDevicePtr(true);
  } else {
    // The stand-in knows why when it does (a window that could not open).
    const std::string& why = standin::DeviceError();
    std::fprintf(stderr, "zarn: %s\n", why.empty() ? "cannot open the console's devices" : why.c_str());
  }
  standin::RunMenuProgram(failed ? 1 : 0);
  return 0;
}
