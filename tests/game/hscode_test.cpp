// Highscore submission codes and the word wrap of scrolling texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "game/hscode.h"
#include "game/linefeed.h"
#include "tests/support/harness.h"

namespace {

// Codes of score 3000 for the three game modes, from tests/game/hscode_ref.py
// (an encoder written apart from this one).
TEST(Hscode, KnownCodes) {
  const struct {
    uint32_t type, score;
    const char* code;
  } known[] = {{44, 3000, "CD82FF75A5"},
               {45, 3000, "2931E5D0D1"},
               {46, 3000, "58567B7331"},
               {44, 16777215, "492F2090BD"},
               {46, 123456, "8D56739623"}};
  for (const auto& k : known) {
    char code[32] = "unchanged";
    ASSERT_TRUE(Hscode_Encode(kHighscoreTemplate, kHighscoreKey, k.type, k.score, code, 32));
    EXPECT_STREQ(code, k.code) << k.type << " " << k.score;
    uint32_t type = 0, score = 0;
    EXPECT_TRUE(Hscode_Decode(kHighscoreTemplate, kHighscoreKey, &type, &score, code));
    EXPECT_EQ(type, k.type);
    EXPECT_EQ(score, k.score);
  }
}

TEST(Hscode, AgreesWithTheReferenceOverOtherTemplates) {
  if (!zt::HaveTool("python3")) GTEST_SKIP() << "python3 missing";
  const std::string ref = std::string(ZARN_SOURCE_DIR) + "/tests/game/hscode_ref.py";
  const struct {
    const char* tmpl;
    uint32_t key, type, score;
  } cases[] = {{"ss cc t", 7, 1, 2},      {"S", 1, 0, 1},
               {"sssssssssssssssssssssssssssssssCt", 0xFFFFFFFF, 1, 0x7FFFFFFF},
               {"tsctscxs", 0x12345678, 2, 6}, {"sTsCsusCssTssCsssTCsssCsTssCsCsTsCssTsCs", 0, 44, 3000}};
  for (const auto& c : cases) {
    char cmd[512];
    std::snprintf(cmd, sizeof cmd, "python3 '%s' '%s' %u %u %u", ref.c_str(), c.tmpl, c.key,
                  c.type, c.score);
    FILE* p = popen(cmd, "r");
    ASSERT_NE(p, nullptr);
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, p), nullptr);
    pclose(p);
    line[std::strcspn(line, "\n")] = 0;
    char code[40] = {};
    ASSERT_TRUE(Hscode_Encode(c.tmpl, c.key, c.type, c.score, code, sizeof code)) << c.tmpl;
    EXPECT_STREQ(code, line) << c.tmpl;
    uint32_t type = 0, score = 0;
    EXPECT_TRUE(Hscode_Decode(c.tmpl, c.key, &type, &score, code)) << c.tmpl;
    EXPECT_EQ(score, c.score);
    EXPECT_EQ(type, c.type);
  }
}

TEST(Hscode, RoundTripsAndDetectsTampering) {
  for (uint32_t type = 44; type <= 46; type++) {
    for (uint32_t score = 0; score < (1u << 24); score += 77777) {
      char code[32];
      ASSERT_TRUE(Hscode_Encode(kHighscoreTemplate, kHighscoreKey, type, score, code, 32));
      uint32_t t = 0, s = 0;
      ASSERT_TRUE(Hscode_Decode(kHighscoreTemplate, kHighscoreKey, &t, &s, code));
      ASSERT_EQ(s, score);
      ASSERT_EQ(t, type);
      // Every single flipped bit of a digit either fails the check or changes
      // nothing the template keeps (the zero bit).
      for (uint32_t d = 0; d < 10; d++) {
        for (uint32_t bit = 0; bit < 4; bit++) {
          char bad[32];
          std::memcpy(bad, code, sizeof bad);
          const char* hex = "0123456789ABCDEF";
          const uint32_t v = static_cast<uint32_t>(std::strchr(hex, bad[d]) - hex) ^ (1u << bit);
          bad[d] = hex[v];
          const bool zeroBit = 4 * d + bit == 5;  // the "u" of the template
          if (zeroBit) continue;
          uint32_t t2, s2;
          const bool ok = Hscode_Decode(kHighscoreTemplate, kHighscoreKey, &t2, &s2, bad);
          EXPECT_FALSE(ok && t2 == type && s2 == score) << code << " " << bad;
        }
      }
    }
  }
}

TEST(Hscode, RefusesWhatWouldOverflowOrDivideByZero) {
  std::string s31(31, 's'), s32(32, 's'), c32 = "s" + std::string(32, 'c');
  std::string t33 = "s" + std::string(33, 't'), long200(200, 's');
  long200.replace(0, 199, std::string(199, 'x'));
  const struct {
    std::string tmpl;
    uint32_t codeSize;
    bool ok;
  } cases[] = {
      {"ctxy", 32, false},             // no score letter: nothing to divide by
      {"", 32, false},                 {"    ", 32, false},
      {s31, 32, true},                 {s32, 32, false},  // 32 score bits
      {c32, 32, false},                {t33, 32, false},
      {"s" + std::string(32, 't'), 32, true},
      {std::string(124, 's').replace(0, 100, std::string(100, 'x')), 32, true},  // 31 digits
      {std::string(125, 'x').replace(0, 1, "s"), 32, false},  // 32 digits + terminator
      {"ssss", 1, false},              {"ssss", 2, true},
      {long200, 64, true},             {std::string(2000, 'x') + "s", 1024, false},
  };
  for (const auto& c : cases) {
    char code[1024];
    std::memset(code, '#', sizeof code);
    code[sizeof code - 1] = 0;
    const bool ok = Hscode_Encode(c.tmpl.c_str(), kHighscoreKey, 44, 0, code, c.codeSize);
    EXPECT_EQ(ok, c.ok) << c.tmpl.size() << " letters";
    if (!ok) {
      EXPECT_EQ(code[0], '#');
    } else {
      EXPECT_LT(std::strlen(code), c.codeSize);
    }
    uint32_t t, s;
    if (!c.ok && c.codeSize >= 32) {
      EXPECT_FALSE(Hscode_Decode(c.tmpl.c_str(), kHighscoreKey, &t, &s, "0000000000"));
    }
  }
  // A score beyond the score bits leaves the code as it was.
  char code[32] = "before";
  EXPECT_FALSE(Hscode_Encode(kHighscoreTemplate, kHighscoreKey, 44, 16777216, code, 32));
  EXPECT_STREQ(code, "before");
  // Templates are read without case and without spaces.
  char a[32], b[32];
  ASSERT_TRUE(Hscode_Encode("STSC SUSC", 99, 3, 5, a, 32));
  ASSERT_TRUE(Hscode_Encode("stscsusc", 99, 3, 5, b, 32));
  EXPECT_STREQ(a, b);
  // Codes of the wrong length or with stray characters do not decode.
  uint32_t t, s;
  for (const char* bad : {"CD82FF75A", "CD82FF75A55", "CD82FF75AZ", "", "CD82FF75a5"}) {
    const bool lower = std::strcmp(bad, "CD82FF75a5") == 0;
    EXPECT_EQ(Hscode_Decode(kHighscoreTemplate, kHighscoreKey, &t, &s, bad), lower) << bad;
  }
  EXPECT_FALSE(Hscode_Decode(kHighscoreTemplate, kHighscoreKey, &t, &s, nullptr));
  EXPECT_FALSE(Hscode_Encode(nullptr, kHighscoreKey, 44, 0, code, 32));
}

// Every character 6 pixels wide, "i" 2; a bare table for the wrap.
struct Widths {
  uint8_t w[256];
  Widths() {
    for (auto& v : w) v = 6;
    w[static_cast<uint8_t>('i')] = 2;
  }
};

TEST(LineFeed, BreaksAtSpacesWidthsAndControlCharacters) {
  Widths f;
  const struct {
    const char* text;
    uint32_t width;
    const char* out;
  } cases[] = {
      {"", 60, ""},
      {"one two three", 60, "one two\nthree"},        // "one two th" reaches 60 at "h"
      {"abcdefghijk", 30, "abcde\nfghijk\n"},        // no space: break after the character
      {"iiiiiiiiii", 20, "iiiiiiiiii\n"},            // ten narrow characters reach 20
      {"a\rb", 60, "a\nb"},
      {"a\n\nb", 60, "a\nb"},                        // two line feeds, one break
      {"a\r\nb", 60, "a\nb"},
      {"\na", 60, "\na"},
      {"a\tb\x01" "c\x0f" "d", 60, "abc\x0f" "d"},   // 15 stays, other controls go
      {"ab cd", 18, "ab\ncd"},                          // the space itself reaches the width
  };
  for (const auto& c : cases) {
    char out[128];
    const uint32_t n = Text_LineFeed(out, sizeof out, c.text, f.w, c.width);
    EXPECT_STREQ(out, c.out) << c.text;
    EXPECT_EQ(n, std::strlen(out));
  }
  // 62 characters make a line whatever the width; no font counts everything 0 wide.
  const std::string longText(130, 'x');
  char out[256];
  Text_LineFeed(out, sizeof out, longText.c_str(), nullptr, 1000);
  EXPECT_EQ(std::string(out), std::string(62, 'x') + "\n" + std::string(62, 'x') + "\n" + "xxxxxx");
}

TEST(LineFeed, StopsAtTheOutputCapacity) {
  Widths f;
  const std::string text = "a long text that needs more room than the output has";
  for (uint32_t size : {0u, 1u, 2u, 9u, 20u}) {
    char out[32];
    std::memset(out, '#', sizeof out);
    const uint32_t n = Text_LineFeed(out, size, text.c_str(), f.w, 30);
    if (size == 0) {
      EXPECT_EQ(out[0], '#');
      continue;
    }
    EXPECT_EQ(n, size - 1);
    EXPECT_EQ(out[size - 1], 0);
    EXPECT_EQ(out[size], '#') << "wrote past the capacity";
  }
  char out[8];
  EXPECT_EQ(Text_LineFeed(out, sizeof out, nullptr, f.w, 30), 0u);
  EXPECT_STREQ(out, "");
}

}  // namespace
