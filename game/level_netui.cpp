// The network set-up screens of the level (host set-up, device search, host
// select, joining, the host's player select) and the network pause menu.
#include <cstdio>
#include <cstring>

#include "framework/emod_input.h"
#include "game/app.h"
#include "game/dialog.h"
#include "game/level.h"
#include "game/player.h"
#include "game/ui_util.h"
#include "net/emod_connect.h"

namespace {

constexpr uint32_t kTitleMultiMenu = 0x10002;
// The longest dotted address: "255.255.255.255".
constexpr size_t kHostTextMax = 15;
// Between the pause menu's first band and its option band, as between the
// header and the list of the other screens.
constexpr int32_t kBandGap = 6;

}  // namespace

void ClassLevel::RenderNetBand(E2DSurface* s, const char* l1, const char* l2, const char* l3) {
  if (!s || !mainData || !mainData->graphics) return;
  const int32_t lines = l3 ? 3 : l2 ? 2 : 1;
  const int32_t row = FontRow();
  const int32_t top = 120 - lines * row / 2;
  DrawBand(s, top, lines, 0x000000);
  const char* text[3] = {l1, l2, l3};
  for (int32_t i = 0; i < lines; i++) DrawCentred(s, top + i * row, text[i]);
}

void ClassLevel::RenderPlayerSelect(E2DSurface* s, bool canStart) {
  if (!s || !mainData || !mainData->graphics) return;
  const ClassPlayer* pl = Player();
  const int32_t row = FontRow();
  const int32_t listTop = 120 - 3 * row;
  if (pl && pl->kind == MULTI_VERSUS_CPU) {
    DrawBand(s, listTop - row - 6, 1, 0x000000);
    DrawCentred(s, listTop - row - 6, "Select CPU players");
  } else {
    DrawBand(s, listTop - 2 * row - 6, 2, 0x000000);
    DrawCentred(s, listTop - 2 * row - 6, "Host address info:");
    DrawCentred(s, listTop - row - 6, ownAddress);
  }
  DrawBand(s, listTop, 6, 0x4080C0);
  DrawPulseBar(s, listTop + menuCursor * row);
  char line[80];
  std::snprintf(line, sizeof line, "1. %s (Self)", mainData->settings ? mainData->settings->PlayerName() : "");
  DrawCentred(s, listTop, line);
  for (int i = 0; i < 3; i++) {
    const PLAYERSLOT& seat = slot[i];
    if (IsComputerSeat(seat.kind))
      std::snprintf(line, sizeof line, "%d. %s (CPU)", i + 2, kCpuNames[seat.kind - SEAT_CPU_FRED]);
    else if (seat.kind == SEAT_REMOTE && seat.link == LINK_FREE)
      std::snprintf(line, sizeof line, "%d. Waiting... (Player)", i + 2);
    else if (seat.kind == SEAT_REMOTE && (seat.link == LINK_PENDING || seat.link == LINK_CONNECTED))
      std::snprintf(line, sizeof line, "%d. %.31s (Player)", i + 2, seat.name);
    else
      std::snprintf(line, sizeof line, "%d. None", i + 2);
    DrawCentred(s, listTop + (i + 1) * row, line);
  }
  if (canStart)
    DrawCentred(s, listTop + 4 * row, "Start");
  else
    DrawCentredDim(s, listTop + 4 * row, "Start");
  DrawCentred(s, listTop + 5 * row, "Exit");
}

void ClassLevel::RenderHostSelect(E2DSurface* s) {
  if (!s || !mainData || !mainData->graphics) return;
  const ClassPlayer* pl = Player();
  const bool tcp = !pl || pl->kind == MULTI_JOIN_TCP;
  const int32_t row = FontRow();
  const int32_t listTop = 120 - 4 * row;
  DrawBand(s, listTop - row - 6, 1, 0x000000);
  DrawCentred(s, listTop - row - 6, "Select host");
  DrawBand(s, listTop, 8, 0x4080C0);
  DrawPulseBar(s, listTop + menuCursor * row);
  const bool editing = mainData->console && mainData->console->state == DLG_INPUT;
  for (int i = 0; i < 6; i++) {
    char edited[40];
    const char* text = hostNames[i][0] ? hostNames[i] : tcp ? "* Add new host *" : "* Not found *";
    if (editing && i == menuCursor) {
      std::snprintf(edited, sizeof edited, "%.31s_", hostNames[i]);
      text = edited;
    }
    DrawCentred(s, listTop + i * row, text);
  }
  DrawCentred(s, listTop + 6 * row, tcp ? "Clear list" : "Search for devices");
  DrawCentred(s, listTop + 7 * row, "Exit");
}

ClassEInput* ClassLevel::Input() const {
  return mainData && mainData->ecd ? mainData->ecd->input : nullptr;
}

void ClassLevel::OpenHostEditor() {
  ClassConsole* dlg = mainData ? mainData->console : nullptr;
  if (dlg) dlg->ShowInput();
}

void ClassLevel::HostEditChar(char c) {
  if (menuCursor > 5) return;
  char* text = hostNames[menuCursor];
  const size_t n = strnlen(text, sizeof hostNames[0] - 1);
  if ((c >= '0' && c <= '9') || c == '.') {
    if (n < kHostTextMax) {
      text[n] = c;
      text[n + 1] = 0;
    }
  } else if (c == 8) {
    if (n) text[n - 1] = 0;
  } else if (c == 0x1B || c == 0x0D || c == 7) {
    // Stored zero-padded: the settings file is written whole.
    char stored[32] = {};
    std::memcpy(stored, text, n);
    if (mainData->settings) std::memcpy(mainData->settings->HostAddress(menuCursor), stored, sizeof stored);
    std::memcpy(hostAddresses[menuCursor], stored, sizeof stored);
    if (mainData->console) mainData->console->HideInput();
  }
}

void ClassLevel::HostSelectFrame(uint32_t* module, uint32_t* message) {
  ClassConsole* dlg = mainData->console;
  const uint8_t dstate = dlg ? dlg->state : static_cast<uint8_t>(DLG_IDLE);
  if (dstate == DLG_INPUT) {
    HostEditChar(dlg->GetC());
    return;
  }
  if (dstate == DLG_CONFIRMED) {
    // "Clear list" answered yes.
    dlg->SetIdle();
    for (uint32_t i = 0; i < 6; i++) ForgetHost(i);
    return;
  }
  if (dstate == DLG_OPTION_CHOSEN) {
    const uint8_t answer = dlg->chosen;
    dlg->SetIdle();
    if (menuCursor <= 5) HostOptionChosen(answer);
    return;
  }
  // An open question or choice takes the keys itself.
  if (dstate == DLG_CONFIRM || dstate == DLG_OPTION) return;
  HostSelectChoice(MenuInput(8, 120 - 4 * FontRow()), module, message);
}

// A row of the host list picked: a host connects (over TCP/IP after the
// choice), an empty TCP/IP row opens the editor; then the list's own rows.
void ClassLevel::HostSelectChoice(int32_t chosen, uint32_t* module, uint32_t* message) {
  ClassConsole* dlg = mainData->console;
  const bool tcp = Player()->kind == MULTI_JOIN_TCP;
  if (chosen >= 0 && chosen <= 5) {
    if (hostNames[chosen][0]) {
      if (tcp && dlg)
        dlg->AskOption("Connect", "Edit", "Delete", "Cancel");
      else
        EnterNetState(ST_JOIN);
    } else if (tcp) {
      OpenHostEditor();
    } else {
      PlayEffect(11);
    }
  } else if (chosen == 6) {
    if (!tcp)
      EnterNetState(ST_SEARCH);
    else if (dlg)
      dlg->AskConfirm("Are you sure?");
  } else if (chosen == 7) {
    *module = 0;
    *message = kTitleMultiMenu;
  }
}

// The answer to "Connect", "Edit", "Delete", "Cancel" on the selected host.
void ClassLevel::HostOptionChosen(uint8_t answer) {
  if (answer == 0)
    EnterNetState(ST_JOIN);
  else if (answer == 1)
    OpenHostEditor();
  else if (answer == 2)
    ForgetHost(menuCursor);
}

void ClassLevel::ForgetHost(uint32_t entry) {
  if (mainData->settings) mainData->settings->HostAddress(entry)[0] = 0;
  std::memset(hostNames[entry], 0, sizeof hostNames[entry]);
  std::memset(hostAddresses[entry], 0, sizeof hostAddresses[entry]);
}

void ClassLevel::EnterNetState(uint8_t state) {
  levelState = state;
  stateTimer = 0;
}

void ClassLevel::PlayerSelectFrame(uint32_t* module, uint32_t* message) {
  ClassPlayer* pl = Player();
  ClassConsole* dlg = mainData->console;
  const uint8_t dstate = dlg ? dlg->state : static_cast<uint8_t>(DLG_IDLE);
  int32_t chosen = -1;
  if (dstate == DLG_CONFIRMED) {
    // "Disconnect player?" answered yes: the seat waits for a player again.
    dlg->SetIdle();
    if (menuCursor >= 1 && menuCursor <= 3) {
      PLAYERSLOT& seat = slot[menuCursor - 1];
      if (IsLinkedRemote(seat)) {
        const uint8_t peer = seat.connection;
        if (ClassEConnect* c = Net()) c->Disconnect(peer);
        // The connection raises no close for a peer it dropped itself: free
        // its login entry as a close would.
        OnNetMessage(peer, 6, 0, nullptr);
        seat.link = LINK_FREE;
      }
    }
    return;
  }
  if (dstate == DLG_CONFIRM) return;
  chosen = MenuInput(6, 120 - 3 * FontRow());
  if (netAutoStart && ActiveCoPlayers() >= netAutoStart) chosen = 4;
  if (cpuAutoStart && pl->kind == MULTI_VERSUS_CPU) {
    // Test switch: the computer players it names, then "Start".
    cpuAutoStart = 0;
    for (int s = 0; s < 3; s++) {
      slot[s].kind = IsComputerSeat(cpuSeatKinds[s]) ? cpuSeatKinds[s] : uint8_t{SEAT_EMPTY};
      slot[s].link = LINK_FREE;
    }
    chosen = 4;
  }
  if (chosen >= 1 && chosen <= 3) {
    PLAYERSLOT& seat = slot[chosen - 1];
    PlayEffect(6);
    if (IsLinkedRemote(seat)) {
      if (dlg && dlg->state == DLG_IDLE) {
        if (ClassEInput* in = Input()) in->ResetState();
        dlg->AskConfirm("Disconnect player?");
      }
    } else {
      uint8_t next = static_cast<uint8_t>((seat.kind + 1) % (SEAT_REMOTE + 1));
      if (next == SEAT_REMOTE && pl->kind == MULTI_VERSUS_CPU)
        next = SEAT_EMPTY;  // no remote players against the computer
      seat.kind = next;
      seat.link = LINK_FREE;
    }
  } else if (chosen == 4) {
    if (!NetStartGame()) PlayEffect(11);
  } else if (chosen == 5) {
    PlayEffect(6);
    if (ClassEConnect* c = Net()) c->Disconnect(0);
    *module = 0;
    *message = kTitleMultiMenu;
  }
}

// The network set-up states: each runs its step, then the play screen and
// its own band on top while the state holds.
void ClassLevel::NetStateFrame(E2DSurface* screen, uint32_t* module, uint32_t* message, uint32_t delta) {
  if (!Player() || !mainData) return;
  switch (levelState) {
    case ST_HOSTSETUP:
      NetHostSetupFrame(module, message, delta);
      if (screen) RenderAll(screen, true);
      if (levelState == ST_HOSTSETUP)
        RenderNetBand(screen, "Setting up host", "Please wait...", nullptr);
      break;
    case ST_SEARCH:
      SearchFrame();
      if (screen) RenderAll(screen, true);
      RenderNetBand(screen, "Searching devices", "Please wait...", nullptr);
      break;
    case ST_HOSTSELECT:
      stateTimer += delta;
      HostSelectFrame(module, message);
      if (screen) RenderAll(screen, true);
      if (levelState == ST_HOSTSELECT) RenderHostSelect(screen);
      break;
    case ST_JOIN: JoinScreen(screen, module, message, delta); break;
    case ST_PLAYERSELECT:
      stateTimer += delta;
      NetLobbyTimers(delta);
      PlayerSelectFrame(module, message);
      if (screen) RenderAll(screen, true);
      if (levelState == ST_PLAYERSELECT) RenderPlayerSelect(screen, ActiveCoPlayers() > 0);
      break;
    case ST_NETPAUSE: NetPauseFrame(screen, module, message, delta); break;
    default: break;
  }
}

// TCP/IP lists the saved hosts; the wireless search has nothing to find here.
// The join switch's address goes straight to joining.
void ClassLevel::SearchFrame() {
  const bool tcp = Player()->kind == MULTI_JOIN_TCP;
  for (uint32_t i = 0; i < 6; i++) {
    const char* saved = mainData->settings && tcp ? mainData->settings->HostAddress(i) : "";
    char text[32] = {};
    CopyText(text, sizeof text, saved);
    std::memcpy(hostNames[i], text, 32);
    std::memcpy(hostAddresses[i], text, 32);
    hostPorts[i] = 0;
  }
  menuCursor = 0;
  stateTimer = 0;
  levelState = ST_HOSTSELECT;
  if (netAutoJoin[0]) {
    std::memcpy(hostNames[0], netAutoJoin, 32);
    std::memcpy(hostAddresses[0], netAutoJoin, 32);
    std::memset(netAutoJoin, 0, sizeof netAutoJoin);
    levelState = ST_JOIN;
  }
}

void ClassLevel::JoinScreen(E2DSurface* screen, uint32_t* module, uint32_t* message, uint32_t delta) {
  bool cancel = false;
  if (stateTimer >= 20000) cancel = MenuInput(1, 0) >= 0;
  NetJoinFrame(module, message, delta, cancel);
  if (screen) RenderAll(screen, true);
  if (levelState != ST_JOIN) return;
  char target[48];
  std::snprintf(target, sizeof target, "Target Score: %u", static_cast<unsigned>(Player()->targetScore));
  if (stateTimer < 10000)
    RenderNetBand(screen, "Waiting for response", "Please wait...", "");
  else if (stateTimer < 20000)
    RenderNetBand(screen, "Logging in", "Please wait...", "");
  else
    RenderNetBand(screen, "Joined (Wait for game)", target, "Press key to cancel");
}

// ---- The networked pause menu ----
// A host's rows: the three seats (0 to 2) in the first band under "Game Paused",
// then "Resume" and the options in the option band; a joiner has the options only.

bool ClassLevel::CanMinimize() const { return mainData && mainData->app && mainData->app->CanMinimize(); }

int32_t ClassLevel::PauseTop() const {
  const int32_t rows = NetHost() ? 8 : 4;
  return 120 - (rows * FontRow() + kBandGap) / 2;
}

int32_t ClassLevel::PauseRowY(uint32_t i) const {
  const int32_t row = FontRow();
  const int32_t top = PauseTop();
  if (!NetHost()) return top + row + kBandGap + static_cast<int32_t>(i) * row;
  if (i < 3) return top + static_cast<int32_t>(i + 1) * row;
  return top + 4 * row + kBandGap + static_cast<int32_t>(i - 3) * row;
}

void ClassLevel::NetPauseFrame(E2DSurface* screen, uint32_t* module, uint32_t* message, uint32_t delta) {
  stateTimer += delta;
  NetTimers(delta);
  const bool host = NetHost();
  const uint32_t rows = host ? 7 : 3;
  if (menuCursor >= rows) menuCursor = 0;
  ClassConsole* dlg = mainData->console;
  int32_t chosen = -1;
  if (dlg && dlg->state == DLG_CONFIRMED) {
    // "Disconnect this player?" answered yes.
    dlg->SetIdle();
    if (host && menuCursor <= 2) {
      PLAYERSLOT& seat = slot[menuCursor];
      if (IsLinkedRemote(seat)) {
        if (ClassEConnect* c = Net()) c->Disconnect(seat.connection);
        seat.link = LINK_DROPPED;
        if (ActiveCoPlayers() == 0) NetGameOver("All players have left", "the game.", nullptr);
      }
    }
  } else if (!dlg || dlg->state != DLG_CONFIRM) {
    // While the question is open its answers are the dialog's keys.
    chosen = host ? MenuInput(rows, PauseRowY(0), 3, kBandGap) : MenuInput(rows, PauseRowY(0));
  }
  const int32_t option = host ? chosen - 4 : chosen;
  if (host && chosen >= 0 && chosen <= 2) {
    const PLAYERSLOT& seat = slot[chosen];
    if (IsLinkedRemote(seat) && dlg && dlg->state == DLG_IDLE) {
      if (ClassEInput* in = Input()) in->ResetState();
      dlg->AskConfirm("Disconnect this player?");
    }
  } else if (host && chosen == 3) {
    NetResume();
  } else if (option == 0 && mainData->settings) {
    mainData->settings->SetMute(mainData->settings->Mute() ? 0 : 1);
  } else if (option == 1) {
    *message = MSG_MINIMIZE;
  } else if (option == 2) {
    TraceEnd();
    if (ClassEConnect* c = Net()) c->Disconnect(0);
    *module = 0;
    *message = kTitleMultiMenu;
  }
  if (screen) RenderAll(screen, true);
  if (levelState == ST_NETPAUSE) RenderPauseMenu(screen);
}

void ClassLevel::RenderPauseMenu(E2DSurface* screen) {
  if (!screen || !mainData || !mainData->graphics) return;
  const bool host = NetHost();
  const uint32_t options = host ? 4 : 0;  // the first option row
  const int32_t top = PauseTop();
  DrawBand(screen, top, host ? 4 : 1, 0x000000);
  DrawBand(screen, PauseRowY(host ? 3 : 0), host ? 4 : 3, 0x4080C0);
  DrawPulseBar(screen, PauseRowY(menuCursor));
  DrawCentred(screen, top, "Game Paused");
  char line[80];
  for (uint32_t i = 0; host && i < 3; i++) {
    const PLAYERSLOT& seat = slot[i];
    bool dim = true;
    if (IsComputerSeat(seat.kind)) {
      std::snprintf(line, sizeof line, "%u. %s (CPU)", i + 2, kCpuNames[seat.kind - SEAT_CPU_FRED]);
      dim = false;
    } else if (IsLinkedRemote(seat)) {
      dim = seat.silence > 4999;
      std::snprintf(line, sizeof line, "%u. %.31s (%s)", i + 2, seat.name, dim ? "Inactive" : "Active");
    } else if (seat.kind == SEAT_REMOTE && seat.link == LINK_DROPPED) {
      std::snprintf(line, sizeof line, "%u. Disconnected", i + 2);
    } else {
      std::snprintf(line, sizeof line, "%u. Disabled", i + 2);
    }
    if (dim)
      DrawCentredDim(screen, PauseRowY(i), line);
    else
      DrawCentred(screen, PauseRowY(i), line);
  }
  if (host) DrawCentred(screen, PauseRowY(3), "Resume");
  const bool mute = mainData->settings && mainData->settings->Mute();
  DrawCentred(screen, PauseRowY(options), mute ? "Mute: On" : "Mute: Off");
  // Minimising is offered where it does something: a desktop window.
  if (CanMinimize())
    DrawCentred(screen, PauseRowY(options + 1), "Minimize");
  else
    DrawCentredDim(screen, PauseRowY(options + 1), "Minimize");
  DrawCentred(screen, PauseRowY(options + 2), "Quit");
}
