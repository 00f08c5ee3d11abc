// Networked games between real program processes on loopback: a host and a
// joiner, headless with scripted buttons and the real clock, play a seeded
// game for a bounded time; each must see the other's scores as the other had them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "game/settings.h"
#include "tests/support/harness.h"
#include "tests/support/play_rig.h"

namespace {

struct Child {
  pid_t pid = -1;
  int status = -1;
};

pid_t Spawn(const std::string& dir, const std::string& exe, const std::vector<std::string>& env) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (chdir(dir.c_str()) != 0) _exit(100);
  setenv("ZARN_BACKEND", "headless", 1);
  unsetenv("ZARN_CLOCK");
  setenv("ZARN_FAIL", "dsp", 1);
  for (const std::string& e : env) {
    const size_t eq = e.find('=');
    setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
  }
  execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
#if defined(__arm__)
  execl("/usr/bin/qemu-arm", "qemu-arm", "-L", "/usr/arm-linux-gnueabihf", "-E",
        "LD_LIBRARY_PATH=/usr/arm-linux-gnueabihf/lib", exe.c_str(), static_cast<char*>(nullptr));
#endif
  _exit(101);
}

// Waits for every child up to the deadline; kills the rest.
void WaitAll(std::vector<Child>& kids, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  size_t left = kids.size();
  while (left && std::chrono::steady_clock::now() < end) {
    for (Child& k : kids) {
      if (k.pid < 0 || k.status >= 0) continue;
      int st = 0;
      if (waitpid(k.pid, &st, WNOHANG) == k.pid) {
        k.status = WIFEXITED(st) ? WEXITSTATUS(st) : 200;
        left--;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  for (Child& k : kids) {
    if (k.pid < 0 || k.status >= 0) continue;
    kill(k.pid, SIGKILL);
    waitpid(k.pid, nullptr, 0);
    k.status = 300;
  }
}

// Own scores and seat-0 scores of each turn line of a trace.
struct Scores {
  std::vector<std::string> own, seat0;
};

Scores ReadScores(const std::string& text) {
  Scores out;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    const std::string line = text.substr(at, nl - at);
    at = nl + 1;
    const size_t sc = line.find(" score="), se = line.find(" seats=");
    if (sc == std::string::npos || se == std::string::npos) continue;
    out.own.push_back(line.substr(sc + 7, line.find(' ', sc + 1) - sc - 7));
    out.seat0.push_back(line.substr(se + 7, line.find(',', se) - se - 7));
  }
  return out;
}

// Every score one side saw for the other is one the other had, and the last one
// seen is among the other's last two distinct scores (one may still be in flight).
void ExpectSeen(const std::vector<std::string>& had, const std::vector<std::string>& seen) {
  ASSERT_FALSE(had.empty());
  ASSERT_FALSE(seen.empty());
  for (const std::string& v : seen)
    EXPECT_NE(std::find(had.begin(), had.end(), v), had.end()) << v;
  std::vector<std::string> distinct;
  for (const std::string& v : had)
    if (distinct.empty() || distinct.back() != v) distinct.push_back(v);
  const size_t n = distinct.size();
  EXPECT_TRUE(seen.back() == distinct[n - 1] || (n > 1 && seen.back() == distinct[n - 2])) << seen.back();
}

TEST(NetPlay, HostAndJoinerSeeEachOthersScores) {
  const std::string exe = std::string(ZARN_BINARY_DIR) + "/zarn";
  if (access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << "no program binary";
  const std::string port = std::to_string(zt::TestPort(40));
  std::vector<std::string> dirs;
  for (const char* name : {"net_host", "net_join"}) {
    const std::string dir = zt::GameDir(name);
    if (dir.empty()) GTEST_SKIP() << "no resource packs";
    MAINCONFIG cfg;
    std::memset(cfg.bytes, 0, sizeof cfg.bytes);
    Settings_Reset(&cfg, nullptr);
    cfg.bytes[MAINCONFIG::kTargetIndex] = 0;  // 5000: a short game
    std::strcpy(cfg.PlayerName(), dirs.empty() ? "Hosting" : "Joining");
    ASSERT_TRUE(Settings_Save(&cfg, (dir + "/game.cfg").c_str()));
    std::remove((dir + "/trace.txt").c_str());
    dirs.push_back(dir);
  }
  const uint32_t frames = 2400;  // 40 s of real time
  std::vector<Child> kids(2);
  kids[0].pid = Spawn(dirs[0], exe,
                      {"ZARN_NET_HOST=127.0.0.1", "ZARN_NET_PORT=" + port, "ZARN_START=host,seed=21",
                       "ZARN_TRACE=" + dirs[0] + "/trace.txt", "ZARN_FRAMES=" + std::to_string(frames),
                       "ZARN_BUTTONS=" + zt::ScriptText(zt::PlayerScript(frames, 24, 1))});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kids[1].pid = Spawn(dirs[1], exe,
                      {"ZARN_NET_PORT=" + port, "ZARN_START=join:127.0.0.1,seed=22",
                       "ZARN_TRACE=" + dirs[1] + "/trace.txt", "ZARN_FRAMES=" + std::to_string(frames),
                       "ZARN_BUTTONS=" + zt::ScriptText(zt::PlayerScript(frames, 24, 2))});
  WaitAll(kids, 120);
  EXPECT_EQ(kids[0].status, 0);
  EXPECT_EQ(kids[1].status, 0);
  const Scores host = ReadScores(zt::ReadText(dirs[0] + "/trace.txt"));
  const Scores join = ReadScores(zt::ReadText(dirs[1] + "/trace.txt"));
  // Both played and scored; seat 0 is the joiner on the host and the host on the joiner.
  ASSERT_GT(host.own.size(), 20u);
  ASSERT_GT(join.own.size(), 20u);
  EXPECT_NE(host.own.back(), "0");
  EXPECT_NE(join.own.back(), "0");
  ExpectSeen(host.own, join.seat0);
  ExpectSeen(join.own, host.seat0);
}

}  // namespace
