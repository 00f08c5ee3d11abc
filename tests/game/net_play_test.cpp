// Networked games between real program processes on loopback, headless with
// scripted buttons and the real clock: a host and a joiner see each other's
// scores; two consoles play to the winner and show the same ranking; four
// consoles share their boards, a killed joiner is dropped, a killed host ends
// the joiners' games with its message; a window and a headless console play
// one game to its winner.
//
// The lowest target is 5000 points. Scripted players press blind and lose half
// their score on every full board, so they never get there in bounded time;
// the strongest computer player on level 9 needs about 90 s. The games that
// must reach a winner therefore seat computer players on the host.
//
// The start switch ends a program once its game is over (on the ranking's
// replay menu, after the box that ends a lost game): those runs get no frame
// limit, so one that waits instead is killed at the deadline and fails.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "game/settings.h"
#include "tests/support/game_proc.h"
#include "tests/support/harness.h"
#include "tests/support/play_rig.h"

namespace {

constexpr uint32_t kTarget = 5000;

using Line = zt::TraceLine;
using zt::ReadTrace;
using zt::Split;

// The seat (0 to 2) in which a console with own number `me` keeps player p.
int SeatOf(int me, int p) { return p == me ? -1 : p < me ? p : p - 1; }

// A folder with settings for a short game (target 5000) and the player's name.
std::string NetDir(const std::string& name, const char* player) {
  const std::string dir = zt::GameDir(name);
  if (dir.empty()) return dir;
  MAINCONFIG cfg;
  std::memset(cfg.bytes, 0, sizeof cfg.bytes);
  Settings_Reset(&cfg, nullptr);
  cfg.bytes[MAINCONFIG::kTargetIndex] = 0;
  std::strcpy(cfg.PlayerName(), player);
  if (!Settings_Save(&cfg, (dir + "/game.cfg").c_str())) return std::string();
  return dir;
}

// The player's script, `frames` long. A joiner's stays quiet for its first
// `quietUntil` frames: on the "Joined (Wait for game)" screen a drop key
// cancels the join.
std::string NetScript(uint32_t frames, uint32_t salt, uint32_t quietUntil = 0) {
  std::vector<standin::Config::ButtonStep> s = zt::PlayerScript(frames, 24, salt), out;
  for (const auto& b : s)
    if (b.frame >= quietUntil) out.push_back(b);
  return zt::ScriptText(out);
}

// Runs with a frame limit stop there; the others must end by themselves.
enum Limit { kFrameLimit, kEndsItself };

// Slower emulated builds get more time for the same game time.
int Slack() {
#if defined(__arm__)
  return 4;
#else
  return 1;
#endif
}

struct Console {
  std::string name, dir;
  std::vector<std::string> env;
  zt::Child kid;
  std::vector<Line> trace;
};

// Starts the host, then, once it listens (a joiner that finds no host gives up
// after 3 s), each joiner a moment after the last (their seats still follow
// whoever logs in first).
void SpawnAll(std::vector<Console>& cs, const std::string& port) {
  cs[0].kid.pid = zt::SpawnGame(cs[0].dir, cs[0].env);
  zt::WaitListening(static_cast<uint16_t>(std::atoi(port.c_str())), 30 * Slack());
  for (size_t i = 1; i < cs.size(); i++) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300 * Slack()));
    cs[i].kid.pid = zt::SpawnGame(cs[i].dir, cs[i].env);
  }
}

// Waits up to `seconds` for a trace to hold at least `turns` turn lines.
bool WaitForTurns(const std::string& path, size_t turns, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    size_t n = 0;
    for (const Line& l : ReadTrace(path)) n += l.at("kind") == "turn";
    if (n >= turns) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

void Kill(Console& c) {
  ASSERT_GT(c.kid.pid, 0);
  kill(c.kid.pid, SIGKILL);
  int st = 0;
  waitpid(c.kid.pid, &st, 0);
  c.kid.status = 200;
}

const Line* EndLine(const std::vector<Line>& t) {
  for (const Line& l : t)
    if (l.at("kind") == "end") return &l;
  return nullptr;
}

// The consoles that saw the game to its end show one winner and one ranking;
// each one's own final score is its place in that ranking; the winner reached
// the target.
void ExpectSameEnd(const std::vector<const Console*>& cs) {
  std::string winner, ranking;
  for (const Console* c : cs) {
    SCOPED_TRACE(c->name);
    const Line* end = EndLine(c->trace);
    ASSERT_NE(end, nullptr) << "no end of game in the trace";
    // The end line is the trace's last line of play.
    EXPECT_EQ(&c->trace.back(), end);
    ASSERT_TRUE(end->count("ranking") && end->count("winner") && end->count("me"));
    EXPECT_NE(end->at("winner"), "0");
    if (winner.empty()) winner = end->at("winner"), ranking = end->at("ranking");
    EXPECT_EQ(end->at("winner"), winner);
    EXPECT_EQ(end->at("ranking"), ranking);
    bool own = false;
    for (const std::string& e : Split(end->at("ranking"), ',')) {
      const std::vector<std::string> ps = Split(e, ':');
      ASSERT_EQ(ps.size(), 2u) << e;
      if (ps[0] == end->at("me")) {
        own = true;
        EXPECT_EQ(ps[1], end->at("score"));
      }
      if (std::atoi(ps[0].c_str()) + 1 == std::atoi(winner.c_str())) {
        EXPECT_GE(std::atoi(ps[1].c_str()), static_cast<int>(kTarget)) << e;
      }
    }
    EXPECT_TRUE(own);
  }
}

// Own scores of one console (by turn) and the scores that another console
// showed for it; every one shown is one it had, the last one shown one of its
// last two distinct scores (one may still be in flight).
void ExpectSeen(const Console& owner, const Console& viewer) {
  SCOPED_TRACE(viewer.name + " showing " + owner.name);
  std::vector<std::string> had, seen;
  int ownerNumber = -1;
  for (const Line& l : owner.trace)
    if (l.at("kind") == "turn") {
      had.push_back(l.at("score"));
      ownerNumber = std::atoi(l.at("me").c_str());
    }
  for (const Line& l : viewer.trace) {
    if (l.at("kind") != "turn") continue;
    const int seat = SeatOf(std::atoi(l.at("me").c_str()), ownerNumber);
    ASSERT_GE(seat, 0);
    seen.push_back(Split(l.at("seats"), ',')[static_cast<size_t>(seat)]);
  }
  ASSERT_FALSE(had.empty());
  ASSERT_FALSE(seen.empty());
  for (const std::string& v : seen) EXPECT_NE(std::find(had.begin(), had.end(), v), had.end()) << v;
  std::vector<std::string> distinct;
  for (const std::string& v : had)
    if (distinct.empty() || distinct.back() != v) distinct.push_back(v);
  const size_t n = distinct.size();
  EXPECT_TRUE(seen.back() == distinct[n - 1] || (n > 1 && seen.back() == distinct[n - 2])) << seen.back();
}

Console HostConsole(const std::string& dir, const std::string& port, const std::string& start, uint32_t frames,
                    Limit limit) {
  Console c{"host", dir,
            {"ZARN_NET_HOST=127.0.0.1", "ZARN_NET_PORT=" + port, "ZARN_START=" + start,
             "ZARN_TRACE=" + dir + "/trace.txt", "ZARN_BUTTONS=" + NetScript(frames, 1)},
            {}, {}};
  if (limit == kFrameLimit) c.env.push_back("ZARN_FRAMES=" + std::to_string(frames));
  return c;
}

// A joiner quiet for its first 5 s: enough when the host starts on the first
// join; joiners that wait for others get more.
constexpr uint32_t kJoinQuiet = 300;
constexpr uint32_t kJoinQuietLong = 900;

Console JoinConsole(const std::string& name, const std::string& dir, const std::string& port, uint32_t seed,
                    uint32_t frames, Limit limit, uint32_t quiet = kJoinQuiet) {
  Console c{name, dir,
            {"ZARN_NET_PORT=" + port, "ZARN_START=join:127.0.0.1,seed=" + std::to_string(seed),
             "ZARN_TRACE=" + dir + "/trace.txt", "ZARN_BUTTONS=" + NetScript(frames, seed, quiet)},
            {}, {}};
  if (limit == kFrameLimit) c.env.push_back("ZARN_FRAMES=" + std::to_string(frames));
  return c;
}

// Waits for the consoles still running and keeps their exit states.
void WaitConsoles(std::vector<Console*> cs, int seconds) {
  std::vector<zt::Child> kids;
  for (Console* c : cs) kids.push_back(c->kid);
  zt::WaitAll(kids, seconds);
  for (size_t i = 0; i < cs.size(); i++) cs[i]->kid = kids[i];
}

// Kills whatever a failed test left running.
struct Reaper {
  std::vector<Console>& cs;
  ~Reaper() {
    for (Console& c : cs)
      if (c.kid.pid > 0 && c.kid.status < 0) {
        kill(c.kid.pid, SIGKILL);
        waitpid(c.kid.pid, nullptr, 0);
      }
  }
};

TEST(NetPlay, HostAndJoinerSeeEachOthersScores) {
  if (zt::GameExe().empty()) GTEST_SKIP() << "no program binary";
  const std::string port = std::to_string(zt::TestPort(50));
  const uint32_t frames = 2400;  // 40 s of real time
  const std::string hostDir = NetDir("net_host", "Hosting"), joinDir = NetDir("net_join", "Joining");
  if (hostDir.empty() || joinDir.empty()) GTEST_SKIP() << "no resource packs";
  std::vector<Console> cs = {HostConsole(hostDir, port, "host,seed=21", frames, kFrameLimit),
                             JoinConsole("joiner", joinDir, port, 22, frames, kFrameLimit)};
  Reaper reaper{cs};
  SpawnAll(cs, port);
  std::vector<Console*> all;
  for (Console& c : cs) all.push_back(&c);
  WaitConsoles(all, 120 * Slack());
  for (size_t i = 0; i < cs.size(); i++) {
    EXPECT_EQ(cs[i].kid.status, 0) << cs[i].name;
    cs[i].trace = ReadTrace(cs[i].dir + "/trace.txt");
  }
  // Both played and scored; seat 0 is the joiner on the host and the host on the joiner.
  for (const Console& c : cs) {
    std::vector<const Line*> turns;
    for (const Line& l : c.trace)
      if (l.at("kind") == "turn") turns.push_back(&l);
    ASSERT_GT(turns.size(), 20u) << c.name;
    EXPECT_NE(turns.back()->at("score"), "0") << c.name;
  }
  ExpectSeen(cs[0], cs[1]);
  ExpectSeen(cs[1], cs[0]);
}

// A host with a computer player in each seat nobody joined, and one joiner,
// on level 9: the game runs to its winner, both show the same ranking and end.
TEST(NetPlay, TwoConsolesPlayToTheWinner) {
  if (zt::GameExe().empty()) GTEST_SKIP() << "no program binary";
  const std::string port = std::to_string(zt::TestPort(51));
  const uint32_t frames = 12000;  // 200 s of script; the game ends the program once it is over
  const std::string hostDir = NetDir("net_win_host", "Hosting"), joinDir = NetDir("net_win_join", "Joining");
  if (hostDir.empty() || joinDir.empty()) GTEST_SKIP() << "no resource packs";
  std::vector<Console> cs = {HostConsole(hostDir, port, "host:1,cpu=33,level=9,seed=31", frames, kEndsItself),
                             JoinConsole("joiner", joinDir, port, 32, frames, kEndsItself)};
  Reaper reaper{cs};
  SpawnAll(cs, port);
  std::vector<Console*> all;
  for (Console& c : cs) all.push_back(&c);
  WaitConsoles(all, 300 * Slack());
  for (size_t i = 0; i < cs.size(); i++) {
    EXPECT_EQ(cs[i].kid.status, 0) << cs[i].name;
    cs[i].trace = ReadTrace(cs[i].dir + "/trace.txt");
  }
  ExpectSameEnd({&cs[0], &cs[1]});
  ExpectSeen(cs[1], cs[0]);
}

size_t Turns(const Console& c) {
  size_t n = 0;
  for (const Line& l : c.trace) n += l.at("kind") == "turn";
  return n;
}

const Line* LastTurn(const Console& c) {
  const Line* last = nullptr;
  for (const Line& l : c.trace)
    if (l.at("kind") == "turn" || l.at("kind") == "end") last = &l;
  return last;
}

// The link a console's last line of play shows for player p.
std::string LinkOf(const Console& c, int p) {
  const Line* l = LastTurn(c);
  if (!l) return "none";
  const int seat = SeatOf(std::atoi(l->at("me").c_str()), p);
  return seat < 0 ? "own" : Split(l->at("links"), ',')[static_cast<size_t>(seat)];
}

bool HasBox(const Console& c, const std::string& text) {
  for (const Line& l : c.trace)
    if (l.at("kind") == "box" && l.at("text") == text) return true;
  return false;
}

// A game that ended on a closed connection: the box, then the game's last line.
void ExpectEndAfterBox(const Console& c, const std::string& text) {
  SCOPED_TRACE(c.name);
  ASSERT_GE(c.trace.size(), 2u);
  EXPECT_EQ(c.trace[c.trace.size() - 2].at("kind"), "box");
  EXPECT_EQ(c.trace[c.trace.size() - 2].count("text") ? c.trace[c.trace.size() - 2].at("text") : "", text);
  EXPECT_EQ(c.trace.back().at("kind"), "end");
}

// Four consoles: each shows the others' scores (the host relays the joiners'
// boards); a joiner killed mid-game is dropped by the host and by the other
// joiners, who play on; the host killed then ends the joiners' games with
// "Lost connection" / "with host.", after which they end by themselves.
TEST(NetPlay, FourConsolesDropAJoinerAndLoseTheHost) {
  if (zt::GameExe().empty()) GTEST_SKIP() << "no program binary";
  const std::string port = std::to_string(zt::TestPort(52));
  const uint32_t frames = 3600;  // 60 s; the host is killed long before
  std::vector<Console> cs;
  const char* names[] = {"Hosting", "Joining 1", "Joining 2", "Joining 3"};
  for (int i = 0; i < 4; i++) {
    const std::string dir = NetDir("net_four_" + std::to_string(i), names[i]);
    if (dir.empty()) GTEST_SKIP() << "no resource packs";
    cs.push_back(i == 0 ? HostConsole(dir, port, "host:3,seed=41", frames, kFrameLimit)
                        : JoinConsole("joiner " + std::to_string(i), dir, port, 41u + static_cast<uint32_t>(i),
                                      frames - 300, kEndsItself, kJoinQuietLong));
  }
  Reaper reaper{cs};
  SpawnAll(cs, port);
  for (const Console& c : cs) ASSERT_TRUE(WaitForTurns(c.dir + "/trace.txt", 6, 60 * Slack())) << c.name;
  // Which player each joiner became decides which one is killed.
  std::vector<int> number(4, 0);
  for (size_t i = 1; i < 4; i++) {
    cs[i].trace = ReadTrace(cs[i].dir + "/trace.txt");
    number[i] = std::atoi(LastTurn(cs[i])->at("me").c_str());
  }
  std::vector<int> seated = {number[1], number[2], number[3]};
  std::sort(seated.begin(), seated.end());
  EXPECT_EQ(seated, std::vector<int>({1, 2, 3}));
  Console& gone = cs[3];
  Kill(gone);
  // The others play on: several more turns each after the kill.
  for (size_t i = 0; i < 3; i++) {
    cs[i].trace = ReadTrace(cs[i].dir + "/trace.txt");
    ASSERT_TRUE(WaitForTurns(cs[i].dir + "/trace.txt", Turns(cs[i]) + 5, 60 * Slack())) << cs[i].name;
  }
  Kill(cs[0]);
  WaitConsoles({&cs[1], &cs[2]}, 120 * Slack());
  for (size_t i = 0; i < 4; i++) cs[i].trace = ReadTrace(cs[i].dir + "/trace.txt");
  for (size_t i = 1; i < 3; i++) {
    SCOPED_TRACE(cs[i].name);
    EXPECT_EQ(cs[i].kid.status, 0);
    EXPECT_TRUE(HasBox(cs[i], "\"Lost connection\" \"with host.\" \"\""));
    ExpectEndAfterBox(cs[i], "\"Lost connection\" \"with host.\" \"\"");
    EXPECT_EQ(LinkOf(cs[i], number[3]), "3");
    EXPECT_EQ(LinkOf(cs[i], 0), "2");
  }
  EXPECT_EQ(LinkOf(cs[0], number[3]), "3");
  // Every console showed every other's scores; the joiner killed early saw
  // only the beginning, so it is left out as a viewer.
  for (size_t i = 0; i < 4; i++)
    for (size_t j = 0; j < 3; j++)
      if (i != j) ExpectSeen(cs[i], cs[j]);
}

// Two joiners and a computer player on the host: one joiner killed mid-game is
// dropped, and the host and the other joiner play on to the winner.
TEST(NetPlay, KilledJoinerIsDroppedAndTheOthersPlayToTheWinner) {
  if (zt::GameExe().empty()) GTEST_SKIP() << "no program binary";
  const std::string port = std::to_string(zt::TestPort(53));
  const uint32_t frames = 12000;
  std::vector<Console> cs;
  const char* names[] = {"Hosting", "Joining 1", "Joining 2"};
  for (int i = 0; i < 3; i++) {
    const std::string dir = NetDir("net_drop_" + std::to_string(i), names[i]);
    if (dir.empty()) GTEST_SKIP() << "no resource packs";
    cs.push_back(i == 0 ? HostConsole(dir, port, "host:2,cpu=3,level=9,seed=51", frames, kEndsItself)
                        : JoinConsole("joiner " + std::to_string(i), dir, port, 51u + static_cast<uint32_t>(i), frames,
                                      kEndsItself, kJoinQuietLong));
  }
  Reaper reaper{cs};
  SpawnAll(cs, port);
  for (const Console& c : cs) ASSERT_TRUE(WaitForTurns(c.dir + "/trace.txt", 5, 60 * Slack())) << c.name;
  cs[2].trace = ReadTrace(cs[2].dir + "/trace.txt");
  const int dropped = std::atoi(LastTurn(cs[2])->at("me").c_str());
  Kill(cs[2]);
  WaitConsoles({&cs[0], &cs[1]}, 300 * Slack());
  for (size_t i = 0; i < 2; i++) {
    EXPECT_EQ(cs[i].kid.status, 0) << cs[i].name;
    cs[i].trace = ReadTrace(cs[i].dir + "/trace.txt");
    EXPECT_EQ(LinkOf(cs[i], dropped), "3") << cs[i].name;
  }
  ExpectSameEnd({&cs[0], &cs[1]});
}

// Waits up to `seconds` for a message box line in a trace.
bool WaitForBox(const Console& c, const std::string& text, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    for (const Line& l : ReadTrace(c.dir + "/trace.txt"))
      if (l.at("kind") == "box" && l.at("text") == text) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

// A host that stops answering (stopped, its connection still open): the
// joiner gives up after five silent seconds with "Lost connection"; the host,
// once it runs again, finds the joiner gone and tells its player that
// everyone has left. Both then end by themselves.
TEST(NetPlay, SilentHostTimesOutAndThenFindsItselfAlone) {
  if (zt::GameExe().empty()) GTEST_SKIP() << "no program binary";
  const std::string port = std::to_string(zt::TestPort(55));
  const uint32_t frames = 2400;
  const std::string hostDir = NetDir("net_stop_host", "Hosting"), joinDir = NetDir("net_stop_join", "Joining");
  if (hostDir.empty() || joinDir.empty()) GTEST_SKIP() << "no resource packs";
  std::vector<Console> cs = {HostConsole(hostDir, port, "host,seed=71", frames, kEndsItself),
                             JoinConsole("joiner", joinDir, port, 72, frames, kEndsItself)};
  Reaper reaper{cs};
  SpawnAll(cs, port);
  for (const Console& c : cs) ASSERT_TRUE(WaitForTurns(c.dir + "/trace.txt", 4, 60 * Slack())) << c.name;
  ASSERT_EQ(kill(cs[0].kid.pid, SIGSTOP), 0);
  const bool lost = WaitForBox(cs[1], "\"Lost connection\" \"with host.\" \"\"", 30 * Slack());
  kill(cs[0].kid.pid, SIGCONT);
  EXPECT_TRUE(lost);
  EXPECT_TRUE(WaitForBox(cs[0], "\"All players have left\" \"the game.\" \"\"", 30 * Slack()));
  std::vector<Console*> all;
  for (Console& c : cs) all.push_back(&c);
  WaitConsoles(all, 120 * Slack());
  for (size_t i = 0; i < cs.size(); i++) EXPECT_EQ(cs[i].kid.status, 0) << cs[i].name;
  cs[0].trace = ReadTrace(cs[0].dir + "/trace.txt");
  ExpectEndAfterBox(cs[0], "\"All players have left\" \"the game.\" \"\"");
}

// An X server of its own for the window console: -displayfd picks a free
// display and says which once it accepts clients.
struct Xvfb {
  pid_t pid = -1;
  std::string display;
  Xvfb() {
    int fds[2];
    if (!zt::HaveTool("Xvfb") || pipe(fds) != 0) return;
    pid = fork();
    if (pid == 0) {
      close(fds[0]);
      // Its notes on displays it found taken are no failure.
      if (FILE* quiet = std::freopen("/dev/null", "w", stderr)) (void)quiet;
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char buf[32] = {};
    size_t got = 0;
    // The number ends with a newline; a server that fails closes the pipe.
    while (got + 1 < sizeof buf) {
      const ssize_t n = read(fds[0], buf + got, 1);
      if (n <= 0 || buf[got] == '\n') break;
      got++;
    }
    close(fds[0]);
    if (got) display = ":" + std::string(buf, got);
  }
  ~Xvfb() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
};

// The window backend and the headless one in one game: the window hosts (and
// runs the computer player), the headless console joins; both end on the same
// winner and ranking.
TEST(NetPlay, WindowAndHeadlessConsolesPlayToTheWinner) {
  if (zt::GameExe().empty()) GTEST_SKIP() << "no program binary";
#if defined(__arm__)
  GTEST_SKIP() << "the ARM build has no window backend";
#endif
  Xvfb x;
  if (x.display.empty()) GTEST_SKIP() << "Xvfb is not installed (scripts/setup.sh installs it)";
  const std::string port = std::to_string(zt::TestPort(54));
  const uint32_t frames = 12000;
  const std::string hostDir = NetDir("net_sdl_host", "Window"), joinDir = NetDir("net_sdl_join", "Headless");
  if (hostDir.empty() || joinDir.empty()) GTEST_SKIP() << "no resource packs";
  std::vector<Console> cs = {HostConsole(hostDir, port, "host:1,cpu=33,level=9,seed=61", frames, kEndsItself),
                             JoinConsole("headless joiner", joinDir, port, 62, frames, kEndsItself)};
  cs[0].name = "window host";
  // The desktop libraries behind the window (D-Bus) keep memory to the end,
  // which the sanitizer build's leak check reports; the window's own replay
  // test leaves it off the same way.
  for (const char* e : {"ZARN_BACKEND=sdl", "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "ASAN_OPTIONS=detect_leaks=0"})
    cs[0].env.push_back(e);
  cs[0].env.push_back("DISPLAY=" + x.display);
  Reaper reaper{cs};
  SpawnAll(cs, port);
  // The stand-in falls back to headless when no window opens: the screen of
  // the X server must show the game while it is played.
  if (WaitForTurns(hostDir + "/trace.txt", 3, 60) && zt::HaveTool("import") && zt::HaveTool("identify")) {
    const std::string shot = hostDir + "/window.png";
    EXPECT_EQ(zt::Run("import -display " + x.display + " -window root '" + shot + "'"), 0);
    const double spread = std::atof(zt::Capture("identify -format '%[fx:standard_deviation]' '" + shot + "'").c_str());
    EXPECT_GT(spread, 0.05) << "the X screen is blank: no window showed the game";
  }
  std::vector<Console*> all;
  for (Console& c : cs) all.push_back(&c);
  WaitConsoles(all, 300);
  for (size_t i = 0; i < cs.size(); i++) {
    EXPECT_EQ(cs[i].kid.status, 0) << cs[i].name;
    cs[i].trace = ReadTrace(cs[i].dir + "/trace.txt");
  }
  ExpectSameEnd({&cs[0], &cs[1]});
  ExpectSeen(cs[1], cs[0]);
  ExpectSeen(cs[0], cs[1]);
}

}  // namespace
