// Networked games between real program processes on loopback: a host and a
// joiner, headless with scripted buttons and the real clock, play a seeded
// game for a bounded time; each must see the other's scores as the other had them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "game/settings.h"
#include "tests/support/game_proc.h"
#include "tests/support/harness.h"
#include "tests/support/play_rig.h"

namespace {

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
  if (zt::GameExe().empty()) GTEST_SKIP() << "no program binary";
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
  std::vector<zt::Child> kids(2);
  kids[0].pid = zt::SpawnGame(dirs[0],
                      {"ZARN_NET_HOST=127.0.0.1", "ZARN_NET_PORT=" + port, "ZARN_START=host,seed=21",
                       "ZARN_TRACE=" + dirs[0] + "/trace.txt", "ZARN_FRAMES=" + std::to_string(frames),
                       "ZARN_BUTTONS=" + zt::ScriptText(zt::PlayerScript(frames, 24, 1))});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kids[1].pid = zt::SpawnGame(dirs[1],
                      {"ZARN_NET_PORT=" + port, "ZARN_START=join:127.0.0.1,seed=22",
                       "ZARN_TRACE=" + dirs[1] + "/trace.txt", "ZARN_FRAMES=" + std::to_string(frames),
                       "ZARN_BUTTONS=" + zt::ScriptText(zt::PlayerScript(frames, 24, 2))});
  zt::WaitAll(kids, 120);
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
