// The level: the board, its stones and animations, and the handlers of a turn.
#ifndef ZARN_GAME_LEVEL_H
#define ZARN_GAME_LEVEL_H

#include <cstdint>
#include <cstdio>

#include "framework/zarn_types.h"
#include "game/level_types.h"
#include "game/tutorial.h"
#include "net/enet_stack.h"

class E2DSurface;
class ClassEConnect;
class ClassEInput;
struct GAMEPACKET;
class ClassPlayer;
struct MAINDATA;

class ClassLevel {
 public:
  ClassLevel();
  ~ClassLevel();
  ClassLevel(const ClassLevel&) = delete;
  ClassLevel& operator=(const ClassLevel&) = delete;

  int Manage(E2DSurface* screen, uint32_t* module, uint32_t* message, int32_t* keys, uint32_t elapsed);
  // Network events under the level's codes 1 to 9.
  void OnNetMessage(int32_t peer, int32_t code, int32_t length, uint8_t* data);

  // Set-up and next stones.
  void CreateRandom(uint8_t level);
  uint8_t GetNextStone();
  void BuildFallTable();
  void BuildTutorialFallTable();
  void EmptyGrid();
  void ResetCoPlayers();

  // The phases of a turn and the timers, one 16 ms logic step each.
  void HandlePlayer(uint32_t delta);
  void HandleGravity(uint32_t delta);
  void HandleStoneBreak(uint32_t delta);
  void HandleIdle(uint32_t delta);
  void HandleParticles(uint32_t delta);
  // ---- The screens that end or interrupt play ----
  // Game over, 1500 ms after the board settled: a score that enters its mode's
  // table opens the name entry (ST_NAMEENTRY), anything else returns to the title.
  void HighscoreDecision(E2DSurface* screen, uint32_t* module, uint32_t* message);
  void HandleNameEntry(E2DSurface* screen, uint32_t delta, uint32_t* module, uint32_t* message);
  // The winner, then the ranking with its replay menu (ST_RANKING).
  void HandleRanking(E2DSurface* screen, uint32_t delta, uint32_t* module, uint32_t* message);
  // True in the states where a finished game waits for the player's choice.
  bool WaitsAfterGame() const;
  // Word wrap in one of the game's fonts (out holds outSize bytes).
  void CalculateLineFeed(char* out, uint32_t outSize, const char* text, uint8_t font, uint32_t width);
  void RenderTutorialText(E2DSurface* screen, int32_t bandHeight);
  uint8_t highscoreRank = 0xFF;  // table place 0-2 the score reaches, 3 none, 0xFF no table
  uint8_t nameLength = 0;

  // The tutorial's player phase: plays its script (one opcode per 160 ms).
  void HandleTutorial(uint32_t delta);
  // Resets the tutorial's state and wraps its text for the band (font widths
  // as Text_FontWidths gives them, or null). The stones restart with
  // tutorialNext, which the caller zeroes before dealing the next stones.
  void StartTutorial(const uint8_t* widths, uint32_t fontHeight);

  // Animations.
  void StoneFadeIn();
  void StoneRotate();
  void StoneDestroy();

  // Attack packages.
  void AddVsQueue(uint32_t count, uint32_t kind);
  void AddCPUVsQueue(uint32_t seat, uint32_t count, uint32_t kind);
  void NetSendStones(uint32_t count, uint32_t kind);
  void ReceiveStones(uint32_t seat, uint32_t count, uint32_t kind);

  // ---- Frame function, drawing and the start of a game ----
  void RenderAll(E2DSurface* screen, bool showClock);
  void RenderHUD(E2DSurface* screen, bool showClock);
  void DrawStatusBar(E2DSurface* screen, int32_t x, int32_t y, uint32_t lines, int32_t length,
                     int32_t value, bool mirrored, uint32_t colour);
  void RenderSmallGrid(E2DSurface* screen, uint32_t seat, int32_t x, int32_t y);
  void BuildAttackRotation();
  // The computer players that ZARN_START's versus form seats (a seat kind up to
  // SEAT_CPU_MIKE per seat); the start path sets it before the enter message.
  uint8_t cpuSeatKinds[3] = {SEAT_CPU_FRED, SEAT_CPU_JOE, SEAT_CPU_MIKE};
  // Test switch: a host starts by itself once this many players have joined
  // (0: the player presses "Start"); a joiner with an address here connects
  // to it at once instead of showing the host list.
  uint8_t netAutoStart = 0;
  // With it, the computer players (seat kinds) that take the seats nobody
  // joined when the game starts, in seat order.
  uint8_t netAutoCpu[3] = {};
  // Test switch: a versus-computer game seats cpuSeatKinds and starts without
  // waiting for the player-select screen's taps (once).
  uint8_t cpuAutoStart = 0;
  char netAutoJoin[32] = {};
  // Test switch: the run ends (the quit module id) where its finished game
  // would wait for the player: the name entry, the ranking's replay menu, the
  // restart after the others left or the host was lost.
  uint8_t endWhenOver = 0;
  // Test switch: the start level of its games in place of the settings' (0:
  // theirs), which it leaves as the player saved them.
  uint8_t switchLevel = 0;
  // One new game: the resets shared by the enter and the further-game messages.
  void StartReset(bool enter);
  // Hashes of the own board (cells and states) and of the three small grids.
  uint32_t BoardHash() const;
  uint32_t CoGridHash() const;
  // One line per finished turn into the file ZARN_TRACE names (repeatable runs).
  void TraceStep();
  // The game's last line, once, however the game ended.
  void TraceEnd();
  void TraceWrite(const char* kind);
  // A line for each message box that opens, so a run shows what it told the player.
  void TraceMessage();
  // A line for each grid another console sent that this one takes in: its
  // owner's player number, score and cells, as the panel will show them.
  void TraceGrid(uint8_t player, uint32_t score, const uint8_t* cells);
  std::FILE* TraceFile();
  void CloseTrace();
  std::FILE* traceFile = nullptr;
  uint8_t traceChecked = 0;
  uint8_t tracePhase = 0;
  uint32_t traceTurns = 0;
  uint8_t traceEnded = 0;
  char messageLine[3][32] = {};

  // Pools and geometry.
  uint32_t FreeQEntity() const;
  // Claims a free entity for the stone in cell (r, c) and marks the cell moving;
  // null when the pool is full.
  STONEENTITY* StartCellEntity(int r, int c, uint8_t kind, uint32_t timer);
  uint32_t FreePEntity() const;
  static void GetGridPosition(int32_t x, int32_t y, int32_t& row, int32_t& col);

  // Every random draw of play goes through here: the system library's rand().
  static int32_t Rand();
  static uint32_t randDraws;

  // ---- The record (plain fields; other modules and tests read them) ----
  MAINDATA* mainData = nullptr;
  STONEENTITY entity[kMaxEntities];
  PARTICLE particle[kMaxParticles];
  CPUPLAYER cpuPlayer[3];
  PLAYERSLOT slot[4];
  uint16_t barSpeed = 32;
  uint8_t blackPerBar = 0;
  uint8_t colours = 3;
  uint8_t reserved0[3] = {};
  uint8_t freezeInterval = 0;
  uint8_t nuclearThreshold = 0;
  uint8_t dormantMax = 0;
  uint8_t hardLevel = 0;
  E_INPUTEVENT eventQueue[32];
  char textBuffer[32];
  int16_t coFallStep[3][kGridCells];
  uint8_t coGrid[3][kGridCells];
  uint8_t grid[kGridCells];
  uint8_t gridMark[kGridCells];
  uint8_t gridState[kGridCells];
  uint8_t coFallCounter[3] = {};
  uint8_t coPhase[3] = {};
  uint8_t attackRotation[16] = {};
  uint8_t spriteOf[256];
  uint8_t fallTable[16] = {};
  uint8_t nextStone[2] = {};
  uint8_t fireChance = 0;
  uint8_t reserved1 = 0;
  uint8_t nuclearCounter = 0;
  uint8_t reserved2 = 0;
  uint8_t vsQueue[kQueuePackages][3];
  uint8_t tutorialScript[256];
  uint8_t tutorialStones[128];
  TUTORIALSTATE tutorial;
  uint32_t aimRepeat = 0;
  uint32_t stateTimer = 0;
  uint32_t reserved3 = 0;
  uint32_t scorePopTimer = 0;
  uint32_t bonusPopTimer = 0;
  uint32_t fadeTimer = 0;
  uint32_t clockTimer = 0;
  uint32_t idleTimer = 0;
  uint32_t barAccu = 0;
  uint32_t messageTimer = 0;
  uint32_t stepAccu = 0;
  uint32_t levelUpTimer = 0;
  uint32_t keepAliveTimer = 0;
  uint32_t eventCount = 0;
  uint8_t tutorialNext = 0;
  uint8_t dropPos = 8;
  uint8_t curStone = 0;
  uint8_t levelState = ST_TRANSITION;
  uint8_t returnState = ST_TRANSITION;
  uint8_t turnPhase = 0;
  uint8_t clockHour = 0, clockMinute = 0;
  uint8_t menuCursor = 0;
  uint8_t fallCounter = 0;
  uint8_t rotationIndex = 0;
  int32_t wheelAccu = 0;
  uint8_t fadePending = 0;
  uint8_t settled = 0;
  uint8_t joinedStart = 0;

  // ---- Network play (level_net.cpp) ----
  // Allocates the receive queues (once, at construction: play allocates nothing).
  void NetSetup();
  ClassEConnect* Net() const;
  bool NetHost() const;     // hosting a networked game (ClassPlayer::Hosting)
  bool NetJoining() const;  // joined to a host (ClassPlayer::Joined)
  // This console's player number: 0 on a host, the own seat's kind on a joiner.
  uint8_t OwnPlayer() const;
  // Seat of a player number (-1: this console or out of range) and back.
  int32_t SeatOfPlayer(uint32_t player) const;
  uint8_t PlayerOfSeat(uint32_t seat) const;
  bool SeatActive(uint32_t seat) const;
  uint32_t ActiveCoPlayers() const;
  // The message box: three lines for 4 s (not over another one), then back to the
  // state that was current.
  void NotifyWindow(const char* line1, const char* line2, const char* line3);
  void NetSendPacket(const GAMEPACKET& p, uint8_t target);
  void NetSendID(uint8_t target, uint8_t id);
  void NetSendGrid();
  void NetSendStonePkg(uint8_t source, uint8_t target, uint8_t count, uint8_t kind);
  void NetSendWinner();
  // A computer seat's board, sent by the host to the remote players (seat 0 to 2).
  void NetSendCPUGrid(uint8_t seat);
  void NetSendLevel();
  void NetSendJoin();
  void NetSendStart();
  // Keep-alives and silence watch of one logic step (play or the pause menu).
  void NetTimers(uint32_t delta);
  // The host's player select: a connection that has not joined within the
  // silence bound is closed, so it cannot hold a login entry for good.
  void NetLobbyTimers(uint32_t delta);
  // A lost connection ends the game: the box, then the restart.
  void NetGameOver(const char* line1, const char* line2, const char* line3);
  // The work of the set-up states without their screens: host set-up (4),
  // joining (6; `cancel` is the select action), the host's "Start" in player
  // select (7; false with no active co-player) and its "Resume" in the pause
  // menu (9).
  void NetHostSetupFrame(uint32_t* module, uint32_t* message, uint32_t delta);
  void NetJoinFrame(uint32_t* module, uint32_t* message, uint32_t delta, bool cancel);
  bool NetStartGame();
  void NetResume();
  // The frames and screens of the network set-up states and the pause menu.
  void NetStateFrame(E2DSurface* screen, uint32_t* module, uint32_t* message, uint32_t delta);
  void RenderPlayerSelect(E2DSurface* screen, bool canStart);
  void RenderHostSelect(E2DSurface* screen);
  void RenderNetBand(E2DSurface* screen, const char* l1, const char* l2, const char* l3);
  void RenderPauseMenu(E2DSurface* screen);
  // Player select (7) and host select (8) without their screens; the dialogs
  // they open are answered on later frames.
  void PlayerSelectFrame(uint32_t* module, uint32_t* message);
  void HostSelectFrame(uint32_t* module, uint32_t* message);
  // The address editor: opens the text input on the selected entry; takes one
  // typed character.
  void OpenHostEditor();
  void HostEditChar(char c);
  char hostNames[6][32] = {};
  char hostAddresses[6][32] = {};
  uint8_t hostPorts[6] = {};
  ENetStack netStack[8];     // login queues of the host, 256 bytes
  ENetStack netStackBig[3];  // seat queues, 8192 bytes (a joiner uses the first)
  uint8_t loginTable[8][4] = {};  // peer id, used, logged in, pad
  uint32_t loginAge[8] = {};      // milliseconds since the entry's peer connected
  // The last score each seat's grids showed: a winner claim below it is a lie.
  uint32_t gridScore[3] = {};
  char ownAddress[32] = {};
  uint8_t winnerSent = 0;

  // Index of cell (r, c); callers check bounds first.
  static int Cell(int r, int c) { return 9 * r + c; }
  static bool Inside(int r, int c) { return r >= 0 && r < 9 && c >= 0 && c < 9; }

  // ---- Computer players and the co-player grids ----
  // One 16 ms logic step of the computer players' turns, then of the three small grids.
  void HandleCPU(uint32_t delta);
  void HandleSmallHUD(uint32_t delta);
  // Best drop position (0 to 16, or 255 when none) of a stone on a seat's grid,
  // and its value; each evaluation step is taken with a chance set by skill.
  uint8_t CPUGetScoreStone(uint32_t seat, uint8_t stone, uint32_t skill, int32_t& bestValue);
  // Stones of the colour of cell (row, col) linked to it within two steps.
  uint32_t CPUCheckLinkScore(uint32_t seat, int row, int col) const;
  // First drop position from which the stone, falling straight down, rests
  // between two lower diagonal neighbours of its colour (one when not strict).
  uint8_t CPUGetNearStone(uint32_t seat, uint8_t stone, bool strict) const;
  // A computer player's break: the package goes by the attack rotation.
  void NetSendStoneCPUPkg(uint32_t seat, uint32_t linkSize, uint32_t kind);
  // Drop position p (0 to 16): (p, 0) on the upper-left side, (8, p - 8) on the upper-right.
  static int DropCell(int p) { return p < 8 ? Cell(p, 0) : Cell(8, p - 8); }
  static uint32_t FreeDropCells(const uint8_t* g);
  // The k-th empty drop cell in drop-position order, or -1.
  static int NthFreeDropCell(const uint8_t* g, uint32_t k);
  // Fall direction (0 stays, 1 to 3) of the stone in cell (r, c) of a grid;
  // a tie between the diagonals reads the fall table and advances the counter.
  static int FallDirection(const uint8_t* g, int r, int c, const uint8_t* table, uint8_t& counter);
  // Grows the group of the colour of cell seed over the mark plane (0 open,
  // 1 in the group, 2 done), absorbing adjacent black and nuclear stones;
  // returns its size without them. Below four the marks are undone.
  static uint32_t LinkGroup(const uint8_t* g, uint8_t* mark, int seed);

 private:
  // Packet kinds, render layers and screen steps.
  // Sends to every remote seat whose connection is up (but `except`), each
  // copy carrying that seat's connection id.
  void NetSendToSeats(GAMEPACKET& p, int32_t except = -1);
  void NetRefuse(int32_t peer);
  void NetHostStarted(const uint8_t* address, int32_t length);
  void NetPeerArrived(int32_t peer);
  void HostPacket(int32_t peer, int32_t seat, const GAMEPACKET& p);
  void HostJoinPacket(int32_t peer, const GAMEPACKET& p);
  void HostGridPacket(int32_t seat, const GAMEPACKET& p);
  void HostStonesPacket(int32_t seat, const GAMEPACKET& p);
  void HostWinnerPacket(int32_t seat, const GAMEPACKET& p);
  void JoinerPacket(const GAMEPACKET& p);
  void JoinerPlayPacket(const GAMEPACKET& p);
  void JoinWelcomePacket(const GAMEPACKET& p);
  void JoinStartPacket(const GAMEPACKET& p);
  void JoinResumePacket(const GAMEPACKET& p);
  void JoinWinnerPacket(const GAMEPACKET& p);
  void JoinDroppedPacket(const GAMEPACKET& p);
  // A grid another console sent, taken in for the seat's small panel.
  void TakeCoGrid(int32_t seat, const GAMEPACKET& p);
  void RenderAttackCorner(E2DSurface* screen);
  void RenderPackage(E2DSurface* screen, const uint8_t* stones, uint32_t count);
  void RenderCoPanel(E2DSurface* screen, uint32_t seat);
  void RenderBoard(E2DSurface* screen);
  void RenderEntity(E2DSurface* screen, const STONEENTITY& e);
  void RenderGameOver(E2DSurface* screen);
  void RenderParticle(E2DSurface* screen, const PARTICLE& p);
  void RenderStoneInHand(E2DSurface* screen);
  void RenderBonus(E2DSurface* screen);
  void RenderTutorialBand(E2DSurface* screen);
  void SearchFrame();
  void JoinScreen(E2DSurface* screen, uint32_t* module, uint32_t* message, uint32_t delta);
  void HostSelectChoice(int32_t chosen, uint32_t* module, uint32_t* message);
  void HostOptionChosen(uint8_t answer);
  void ForgetHost(uint32_t entry);
  void EnterNetState(uint8_t state);

  void NetReceive(int32_t peer, const uint8_t* data, uint32_t length);
  void NetPacket(int32_t peer, int32_t seat, const GAMEPACKET& p);
  void NetLost(int32_t peer, int32_t code);
  void NetSeatDropped(int32_t seat);
  ClassPlayer* Player() const;
  ClassEInput* Input() const;
  void PlayEffect(uint32_t effect);
  uint8_t StylusMode() const;
  // Breaks cell (r, c) with an animation (or empties it when no entity is free).
  void StartBreak(int r, int c);
  // Burnt by fire or an explosion: breaks and scores.
  void BurnCell(int r, int c);
  // A break entity whose time is up: a nuclear stone turns into an explosion, any
  // other stone leaves its cell empty with two pieces of debris.
  void FinishBreak(STONEENTITY& e);
  void StartDebris(int32_t x, int32_t y);
  void StartParticle(uint8_t kind, int32_t x, int32_t y);
  void Drop();
  // Bands, rows and the menu of the end screens.
  int32_t FontRow() const;
  void DrawBand(E2DSurface* screen, int32_t top, int32_t rows, uint32_t colour);
  void DrawCentred(E2DSurface* screen, int32_t y, const char* text);
  // A row that is out of play: centred, at half opacity.
  void DrawCentredDim(E2DSurface* screen, int32_t y, const char* text);
  void DrawPulseBar(E2DSurface* screen, int32_t y);
  // Menu input over a list; the row chosen, or -1. Rows from gapRow on lie gap
  // pixels lower (a list over two bands).
  int32_t MenuInput(uint32_t rows, int32_t listTop, uint32_t gapRow = 0, int32_t gap = 0);
  // The networked pause menu (ST_NETPAUSE): its frame, the y of its menu row i, and
  // the top of its first band.
  void NetPauseFrame(E2DSurface* screen, uint32_t* module, uint32_t* message, uint32_t delta);
  int32_t PauseRowY(uint32_t row) const;
  int32_t PauseTop() const;
  bool CanMinimize() const;
  void PlayerName(uint32_t player, char* out, uint32_t size, uint8_t* look) const;
  // Puts the stone in hand into its drop cell (or starts its fire run).
  void PlaceDrop();
  // Ends a finished fade; true when the phase must stop here.
  bool FinishFade(uint32_t delta);
  void PlaceFullBarStones();
  void NextPuzzleLevel();
  void LevelComplete();
  void LevelResets();
  void EndTurnRules();
  void SpreadBiohazard();
  int AdvanceEntitiesGravity(uint32_t delta);
  void AdvanceFire(STONEENTITY& e, uint32_t delta);
  bool FindWildcard();
  void DeliverPackage(const PARTICLE& p);
  void FlyPackage(PARTICLE& p, uint32_t delta);
  void StartTrail(const PARTICLE& p);
  void FirstPackageLength(uint8_t& n) const;

  // Steps of the level's states and turns.
  // Manage: the module's messages, then one frame function per state.
  void AnswerMessage(E2DSurface* screen, uint32_t* message);
  void EnterLevel();
  void StartNextGame(E2DSurface* screen, bool fresh);
  void NextGameSeats(bool fresh);
  // The networked pause menu opens (the own pause on a host, a minimise, a
  // peer's pause packet).
  void EnterNetPause();
  void TransitionFrame(E2DSurface* screen, uint32_t elapsed);
  void PlayFrame(E2DSurface* screen, uint32_t* module, uint32_t* message, uint32_t elapsed);
  void QueuePlayInput();
  // The pause key and the HUD's pause and minimise buttons, taken from the queue.
  struct PauseTaps {
    bool pause = false;
    bool minimize = false;
  };
  PauseTaps TakePauseTaps();
  void PauseFromPlay(uint32_t* module, uint32_t* message);
  bool RunLogicSteps();
  void GameOverFrame(E2DSurface* screen, uint32_t* module, uint32_t* message, uint32_t elapsed);
  void MessageFrame(E2DSurface* screen, uint32_t elapsed);
  // The player's phase: the board's verdict, the full bar, then aiming and dropping.
  void HurryTutorialText();
  bool BoardEndsTurn();
  bool FullBarDrops();
  void SpinWhenIdle(uint32_t delta);
  void TakeNextStone();
  void SwapNextStones(int32_t barCost);
  bool ForcedPuzzleDrop();
  void AimAndDrop(uint32_t delta);
  void AimByHeldKeys(uint32_t delta);
  void AimByWheel();
  // What the turn's keys and pointer asked for: a drop, and an aim that moved
  // (its click is heard once, unless the stone drops).
  struct TurnAsk {
    bool drop = false;
    bool aimMoved = false;
    void Add(const TurnAsk& o) {
      drop = drop || o.drop;
      aimMoved = aimMoved || o.aimMoved;
    }
  };
  TurnAsk TakeTurnKeys();
  TurnAsk AimByStylus();
  TurnAsk PointAt(int32_t x, int32_t y, uint8_t type, uint8_t stylusMode);
  // The tutorial's player phase.
  void TutorialFullBar();
  void RunTutorialOpcode(uint8_t op);
  // One stone of a computer seat judged at every drop position: what stays
  // the same from one position to the next.
  struct CPUJudge {
    uint32_t seat;
    uint8_t stone;
    uint32_t skill;
    uint8_t nearStrict, nearLoose;  // CPUGetNearStone's positions, strict and not
  };
  // The value of dropping the stone at free drop position p; each step is taken
  // only when the skill allows, so a weak player leaves much unjudged.
  int32_t CPUDropValue(const CPUJudge& j, int p);
  // A computer seat's step: the biohazard rules, an incoming package, its drop.
  // True when the rules changed a cell of the seat's grid.
  bool CPUBiohazardRules(uint32_t seat);
  void CPUTakePackage(uint32_t seat, uint32_t freeCells);
  void CPUDropStone(uint32_t seat, uint8_t type, uint32_t freeCells);
  // A small grid's step: falls and blasts, or wildcards, a full grid and breaks.
  void CoGridFallStep(uint32_t seat, uint32_t delta, bool scores);
  bool CoGridBlasts(uint32_t seat, bool scores);
  void CoGridTakeWildcards(uint32_t seat);
  void CoGridBreakStep(uint32_t seat, uint32_t delta, bool scores);
  void CoGridBreakGroups(uint32_t seat, bool scores);
  void CPUScoreGroup(uint32_t seat, uint32_t size, uint32_t groups);
  static int WildcardColour(const uint8_t* g, int r, int c, const uint8_t* table, uint8_t& counter);
  static bool NextToBlast(const uint8_t* g, int r, int c);
  // The own board's breaking and falling phases.
  void BreakGroups();
  void ScoreGroup(uint32_t size, int groups);
  bool AdvanceBreakEntities(uint32_t delta);
  bool StartStoneFalls();
  void BurnNextToBlasts();
  void SettleTurn(bool moving);
  // The timers of a logic step.
  void RefillBlackDue();
  void TickClock(uint32_t delta);
  void EndSpins(uint32_t delta);
  void VersusTimers(uint32_t delta);
  void FollowScoreBars(uint32_t delta);
  void CheckWinner();
  // Set-up of a level.
  void SetUpTutorialBoard(uint8_t level);
  void SetUpLevelRules(uint32_t level);
  void DealOpening();
  int DealtLinks(int r, int c, int u) const;
  int OtherColour(int r, int c);
  // The ranking after a game of several players.
  void ShowWinner(E2DSurface* screen, uint32_t delta);
  void RankingMenu(E2DSurface* screen, uint32_t delta, uint32_t* module, uint32_t* message);
  void DrawRankingRows(E2DSurface* screen, int32_t listTop);
};

#endif
