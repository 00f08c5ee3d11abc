// The settings file: layout, check words, defaults, load repairs and a save that
// survives being killed half-way.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "game/settings.h"
#include "tests/support/game_proc.h"
#include "tests/support/harness.h"
#include "tests/support/play_rig.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

const std::string kRef = std::string(ZARN_SOURCE_DIR) + "/tests/game/settings_ref.py";

// The reference reader's fields of a file.
std::map<std::string, std::string> RefRead(const std::string& path) {
  std::map<std::string, std::string> out;
  FILE* p = popen(("python3 '" + kRef + "' read '" + path + "'").c_str(), "r");
  if (!p) return out;
  char line[256];
  while (std::fgets(line, sizeof line, p)) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    const size_t eq = s.find('=');
    if (eq != std::string::npos) out[s.substr(0, eq)] = s.substr(eq + 1);
  }
  pclose(p);
  return out;
}

MAINCONFIG Defaults() {
  MAINCONFIG c;
  std::memset(c.bytes, 0, sizeof c.bytes);
  Settings_Reset(&c, nullptr);
  return c;
}

TEST(Settings, DefaultsAndCheckWordsOfTheTable) {
  MAINCONFIG zero;
  std::memset(zero.bytes, 0, sizeof zero.bytes);
  uint32_t a, b;
  Settings_Checksums(zero, &a, &b);
  EXPECT_EQ(a, 8844u);
  EXPECT_EQ(b, 27336u);

  MAINCONFIG c = Defaults();
  EXPECT_STREQ(c.PlayerName(), "Anonymous");
  EXPECT_EQ(c.Key(MAINCONFIG::KEY_DROP), 14u);
  EXPECT_EQ(c.Key(MAINCONFIG::KEY_START), 9u);
  EXPECT_EQ(c.Key(MAINCONFIG::KEY_TOGGLE), 15u);
  EXPECT_EQ(c.bytes[452], 9);  // start key sits before the toggle key
  EXPECT_EQ(c.bytes[456], 15);
  EXPECT_EQ(c.MusicVolume(), 32);
  EXPECT_EQ(c.EffectVolume(), 32);
  for (uint32_t m = 0; m < 3; m++) {
    EXPECT_STREQ(c.ScoreName(m, 0), "Chris");
    EXPECT_STREQ(c.ScoreName(m, 2), "Kate");
    EXPECT_EQ(c.Score(m, 1), 2000u);
  }
  EXPECT_EQ(c.bytes[472 + 96 * 2 + 32], 'J');
  EXPECT_EQ(c.bytes[760 + 24 + 8], 1000 & 0xFF);
  EXPECT_EQ(c.bytes[MAINCONFIG::kTargetIndex], 1);
  EXPECT_EQ(c.bytes[MAINCONFIG::kStartLevel], 1);

  // The owner's name wins when there is one; bytes without a default keep theirs.
  MAINCONFIG d;
  std::memset(d.bytes, 0xAB, sizeof d.bytes);
  Settings_Reset(&d, "Owner");
  EXPECT_STREQ(d.PlayerName(), "Owner");
  EXPECT_EQ(d.bytes[442], 0xAB);
  EXPECT_EQ(d.bytes[1], 0xAB);
  EXPECT_EQ(d.bytes[0], 0);
}

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = zt::TempDir(std::string("settings_") +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
    path = dir + "/game.cfg";
  }
  std::string dir, path;
};

TEST_F(SettingsFile, SaveMatchesTheReferenceReaderAndResavesByteForByte) {
  if (!zt::HaveTool("python3")) GTEST_SKIP() << "python3 missing";
  MAINCONFIG c = Defaults();
  std::strcpy(c.PlayerName(), "Ada");
  std::strcpy(c.HostAddress(2), "192.168.0.7");
  c.SetKey(MAINCONFIG::KEY_TOGGLE, 13);
  c.SetMusicVolume(64);
  c.SetEffectVolume(0);
  c.bytes[MAINCONFIG::kColourBlind] = 1;
  c.SetScore(2, 0, 0x00ABCDEF);
  std::strcpy(c.ScoreName(2, 0), "Zed");
  c.bytes[MAINCONFIG::kStylusMode] = 2;
  ASSERT_TRUE(Settings_Save(&c, path.c_str()));
  EXPECT_FALSE(Exists(path + ".tmp"));
  const Bytes first = ReadFile(path);
  ASSERT_EQ(first.size(), 804u);

  auto ref = RefRead(path);
  EXPECT_EQ(ref["valid"], "1");
  EXPECT_EQ(ref["check_a"], std::to_string(c.Word(MAINCONFIG::kCheckA)));
  EXPECT_EQ(ref["check_b"], std::to_string(c.Word(MAINCONFIG::kCheckB)));
  EXPECT_EQ(ref["name"], "Ada");
  EXPECT_EQ(ref["host2"], "192.168.0.7");
  EXPECT_EQ(ref["key_toggle"], "13");
  EXPECT_EQ(ref["key_drop"], "14");
  EXPECT_EQ(ref["music"], "64");
  EXPECT_EQ(ref["effects"], "0");
  EXPECT_EQ(ref["colourblind"], "1");
  EXPECT_EQ(ref["score_2_0"], std::to_string(0x00ABCDEF));
  EXPECT_EQ(ref["hsname_2_0"], "Zed");
  EXPECT_EQ(ref["hsname_1_2"], "Kate");
  EXPECT_EQ(ref["stylus"], "2");

  MAINCONFIG back;
  std::memset(back.bytes, 0, sizeof back.bytes);
  ASSERT_EQ(Settings_Load(&back, path.c_str(), nullptr), SETTINGS_LOADED);
  EXPECT_EQ(back.Word(MAINCONFIG::kCheckA), 0u);  // a load leaves the check words 0
  EXPECT_EQ(back.Word(MAINCONFIG::kCheckB), 0u);
  EXPECT_STREQ(back.PlayerName(), "Ada");
  ASSERT_TRUE(Settings_Save(&back, path.c_str()));
  EXPECT_EQ(ReadFile(path), first);
}

TEST_F(SettingsFile, LoadsWhatTheReferenceWriterMakes) {
  if (!zt::HaveTool("python3")) GTEST_SKIP() << "python3 missing";
  ASSERT_EQ(zt::Run("python3 '" + kRef + "' write '" + path +
                    "' name=Grace music=48 mute=1 key_drop=13 score_0_0=123456 hsname_0_0=Top "
                    "level=7 multilevel=3 connection=1 target=3 host5=10.0.0.2"),
            0);
  const Bytes file = ReadFile(path);
  MAINCONFIG c;
  std::memset(c.bytes, 0, sizeof c.bytes);
  ASSERT_EQ(Settings_Load(&c, path.c_str(), nullptr), SETTINGS_LOADED);
  EXPECT_STREQ(c.PlayerName(), "Grace");
  EXPECT_EQ(c.MusicVolume(), 48);
  EXPECT_EQ(c.Mute(), 1);
  EXPECT_EQ(c.Key(MAINCONFIG::KEY_DROP), 13u);
  EXPECT_EQ(c.Score(0, 0), 123456u);
  EXPECT_STREQ(c.ScoreName(0, 0), "Top");
  EXPECT_EQ(c.bytes[MAINCONFIG::kStartLevel], 7);
  EXPECT_EQ(c.bytes[MAINCONFIG::kMultiStartLevel], 3);
  EXPECT_EQ(c.bytes[MAINCONFIG::kConnection], 1);
  EXPECT_EQ(c.bytes[MAINCONFIG::kTargetIndex], 3);
  EXPECT_STREQ(c.HostAddress(5), "10.0.0.2");
  // The reference writer's defaults are ours: the resave is the same file.
  ASSERT_TRUE(Settings_Save(&c, path.c_str()));
  EXPECT_EQ(ReadFile(path), file);
}

TEST_F(SettingsFile, RejectedFilesGiveTheDefaultsAndStayUntilTheNextSave) {
  MAINCONFIG good = Defaults();
  std::strcpy(good.PlayerName(), "Kept");
  ASSERT_TRUE(Settings_Save(&good, path.c_str()));
  const Bytes valid = ReadFile(path);

  Bytes unzeroed = valid;  // check words computed over the stored check fields
  {
    MAINCONFIG t;
    std::memcpy(t.bytes, valid.data(), 804);
    uint32_t sa = 0, sb = 0;
    for (uint8_t v : valid) {
      sa += ((13u * v) & 0x1FF) + 11;
      sb += (v & 0x7Fu) + 34;
    }
    t.SetWord(MAINCONFIG::kCheckA, sa);
    t.SetWord(MAINCONFIG::kCheckB, sb);
    unzeroed.assign(t.bytes, t.bytes + 804);
  }
  struct Case {
    const char* what;
    Bytes data;
    int result;
  };
  std::vector<Case> cases = {
      {"all zero", Bytes(804, 0), SETTINGS_BADCHECK},
      {"short", Bytes(valid.begin(), valid.begin() + 803), SETTINGS_SHORT},
      {"empty", Bytes(), SETTINGS_SHORT},
      {"check fields not zeroed", unzeroed, SETTINGS_BADCHECK},
  };
  for (uint32_t off : {90u, 469u, 442u, 801u, 0u, 803u, 460u, 467u}) {
    Bytes b = valid;
    b[off] ^= 0x01;
    cases.push_back({"one byte changed", b, SETTINGS_BADCHECK});
  }
  for (const auto& c : cases) {
    WriteFile(path, c.data);
    MAINCONFIG cfg;
    std::memset(cfg.bytes, 0, sizeof cfg.bytes);
    EXPECT_EQ(Settings_Load(&cfg, path.c_str(), nullptr), c.result) << c.what;
    EXPECT_EQ(std::memcmp(cfg.bytes, Defaults().bytes, 804), 0) << c.what;
    EXPECT_EQ(ReadFile(path), c.data) << c.what << ": a rejected file is left as it is";
  }
  // A longer file reads its first 804 bytes.
  Bytes longer = valid;
  longer.push_back(0x55);
  WriteFile(path, longer);
  MAINCONFIG cfg;
  EXPECT_EQ(Settings_Load(&cfg, path.c_str(), nullptr), SETTINGS_LOADED);
  EXPECT_STREQ(cfg.PlayerName(), "Kept");

  EXPECT_EQ(Settings_Load(&cfg, (dir + "/none.cfg").c_str(), "Owner"), SETTINGS_MISSING);
  EXPECT_STREQ(cfg.PlayerName(), "Owner");
}

// A rejected file is copied whole beside itself as "<path>.bad"; that copy
// keeps the first rejected file until the player removes it.
TEST_F(SettingsFile, RejectedFileIsKeptOnceBesideItself) {
  const std::string bad = path + ".bad";
  const Bytes big(10000, 0x5A);  // several copy chunks
  for (const Bytes& first : {Bytes(804, 0x11), Bytes(), big}) {
    SCOPED_TRACE(first.size());
    std::remove(bad.c_str());
    WriteFile(path, first);
    EXPECT_EQ(Settings_KeepRejected(path.c_str()), SETTINGS_KEPT);
    EXPECT_EQ(ReadFile(bad), first);
    EXPECT_EQ(ReadFile(path), first);
    EXPECT_FALSE(Exists(bad + ".tmp"));
    // A second rejected file leaves the first copy as it is.
    WriteFile(path, Bytes(804, 0x22));
    EXPECT_EQ(Settings_KeepRejected(path.c_str()), SETTINGS_KEPT_BEFORE);
    EXPECT_EQ(ReadFile(bad), first);
  }
  // A copy that cannot be written (a folder stands at its temporary name).
  std::remove(bad.c_str());
  ASSERT_EQ(zt::Run("mkdir '" + bad + ".tmp'"), 0);
  EXPECT_EQ(Settings_KeepRejected(path.c_str()), SETTINGS_NOT_KEPT);
  EXPECT_FALSE(Exists(bad));
  EXPECT_EQ(Settings_KeepRejected((dir + "/none.cfg").c_str()), SETTINGS_NOT_KEPT);
}

// The real program started on a damaged file: it says so once on stderr, plays
// with the defaults, saves a new valid file at exit and keeps the damaged one
// as game.cfg.bad, which a second damaged start does not replace.
TEST_F(SettingsFile, DamagedFileSurvivesBesideTheNewOne) {
  if (zt::GameExe().empty()) GTEST_SKIP() << "no program binary";
  if (!zt::HaveTool("python3")) GTEST_SKIP() << "python3 missing";
  if (!zt::LinkRes(dir)) GTEST_SKIP() << "no resource packs";
  MAINCONFIG c = Defaults();
  std::strcpy(c.PlayerName(), "Mine");
  c.SetScore(0, 0, 99999);
  std::strcpy(c.HostAddress(0), "10.0.0.7");
  ASSERT_TRUE(Settings_Save(&c, path.c_str()));
  Bytes damaged = ReadFile(path);
  damaged[469] ^= 0x04;  // one byte: the effect volume
  const Bytes first = damaged;
  for (int run = 0; run < 2; run++) {
    SCOPED_TRACE(run);
    WriteFile(path, damaged);
    std::vector<zt::Child> kid(1);
    kid[0].pid = zt::SpawnGame(dir, {"ZARN_CLOCK=fake", "ZARN_FRAMES=5"}, dir + "/stderr.txt");
    zt::WaitAll(kid, 120);
    EXPECT_EQ(kid[0].status, 0);
    const std::string err = zt::ReadText(dir + "/stderr.txt");
    size_t lines = 0;
    for (const std::string& line : zt::Split(err, '\n')) lines += line.find("game.cfg") != std::string::npos;
    EXPECT_EQ(lines, 1u) << err;
    EXPECT_NE(err.find(run == 0 ? "kept as game.cfg.bad" : "earlier damaged copy"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(path + ".bad"), first);
    const auto saved = RefRead(path);
    EXPECT_EQ(saved.count("valid") ? saved.at("valid") : "", "1");
    EXPECT_EQ(saved.count("name") ? saved.at("name") : "", "Anonymous");
    damaged = ReadFile(path);
    damaged[90] ^= 0x01;
  }
}

TEST_F(SettingsFile, LoadTerminatesTextsAndClampsOptions) {
  if (!zt::HaveTool("python3")) GTEST_SKIP() << "python3 missing";
  // A file with valid check words but values the game never writes.
  std::string raw = "python3 '" + kRef + "' raw '" + path + "'";
  for (uint32_t i = 0; i < 32; i++) raw += " " + std::to_string(90 + i) + "=0x41";  // name
  for (uint32_t i = 0; i < 32; i++) raw += " " + std::to_string(472 + 32 + i) + "=0x42";
  raw += " 468=200 469=65 470=7 471=2 796=0 797=10 798=9 799=4 800=3";
  raw += " key_drop=0 key_start=33 key_toggle=0xFFFFFFFF key_reserved=77";
  ASSERT_EQ(zt::Run(raw), 0);
  MAINCONFIG c;
  ASSERT_EQ(Settings_Load(&c, path.c_str(), nullptr), SETTINGS_LOADED);
  EXPECT_EQ(std::strlen(c.PlayerName()), 31u);
  EXPECT_EQ(std::strlen(c.ScoreName(0, 1)), 31u);
  const struct {
    uint32_t offset;
    uint8_t value;
  } clamped[] = {{468, 64}, {469, 64}, {470, 1}, {471, 1}, {796, 1},
                 {797, 9},  {798, 1},  {799, 3}, {800, 2}};
  for (const auto& k : clamped) EXPECT_EQ(c.bytes[k.offset], k.value) << k.offset;
  EXPECT_EQ(c.Key(MAINCONFIG::KEY_DROP), 14u);
  EXPECT_EQ(c.Key(MAINCONFIG::KEY_START), 9u);
  EXPECT_EQ(c.Key(MAINCONFIG::KEY_TOGGLE), 15u);
  EXPECT_EQ(c.Key(MAINCONFIG::KEY_RESERVED), 77u);  // nothing maps it
}

TEST_F(SettingsFile, FailedSaveKeepsTheOldFile) {
  MAINCONFIG c = Defaults();
  ASSERT_TRUE(Settings_Save(&c, path.c_str()));
  const Bytes old = ReadFile(path);
  EXPECT_FALSE(Settings_Save(&c, (dir + "/missing/game.cfg").c_str()));
  // A temporary name that cannot be created (a folder stands there).
  ASSERT_EQ(zt::Run("mkdir '" + path + ".tmp'"), 0);
  std::strcpy(c.PlayerName(), "Changed");
  EXPECT_FALSE(Settings_Save(&c, path.c_str()));
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_STREQ(c.PlayerName(), "Changed");  // memory keeps its settings
}

// The real program, stopped between writing the new file and renaming it, then
// killed: the old file must still load; a run that completes leaves the new one.
TEST_F(SettingsFile, KilledMidSaveLeavesTheOldOrTheNewFile) {
  if (zt::GameExe().empty()) GTEST_SKIP() << "no program binary";
  // Without its packs the game would quit at once, saving nothing.
  if (!zt::LinkRes(dir)) GTEST_SKIP() << "no resource packs";
  MAINCONFIG old = Defaults();
  std::strcpy(old.PlayerName(), "Before");
  old.SetMusicVolume(16);
  ASSERT_TRUE(Settings_Save(&old, path.c_str()));
  const Bytes oldFile = ReadFile(path);

  auto runGame = [&](bool stop) -> int {
    // One volume-up press: the quit saves a changed record. No sound: the save
    // is the point.
    std::vector<std::string> env = {"ZARN_CLOCK=fake", "ZARN_FRAMES=5", "ZARN_BUTTONS=1:+24,2:-24"};
    if (stop) env.push_back("ZARN_SAVE_STOP=1");
    const pid_t pid = zt::SpawnGame(dir, env);
    if (pid < 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, WUNTRACED) != pid) return -1;
    if (WIFSTOPPED(status)) {
      // Stopped inside the save: the new file is complete, the old one untouched.
      EXPECT_EQ(ReadFile(path), oldFile);
      EXPECT_EQ(ReadFile(path + ".tmp").size(), 804u);
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return WIFSIGNALED(status) ? -WTERMSIG(status) : -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
  };

  EXPECT_EQ(runGame(true), -SIGKILL);
  MAINCONFIG c;
  EXPECT_EQ(Settings_Load(&c, path.c_str(), nullptr), SETTINGS_LOADED);
  EXPECT_STREQ(c.PlayerName(), "Before");
  EXPECT_EQ(c.MusicVolume(), 16);

  EXPECT_EQ(runGame(false), 0);
  EXPECT_FALSE(Exists(path + ".tmp"));
  ASSERT_EQ(Settings_Load(&c, path.c_str(), nullptr), SETTINGS_LOADED);
  EXPECT_STREQ(c.PlayerName(), "Before");
  EXPECT_EQ(c.MusicVolume(), 32);  // one volume-up press: 16 + 16
}

}  // namespace
