// Key = value files.
#include <gtest/gtest.h>

#include <cstring>

#include <unistd.h>

#include "framework/emod_ini.h"
#include "framework/zarn.h"
#include "tests/framework/file_test_util.h"

using ft::Bytes;

namespace {
std::vector<std::pair<std::string, std::string>> ReadAllLines(ClassEIni& ini) {
  std::vector<std::pair<std::string, std::string>> out;
  char k[ClassEIni::kTextSize], v[ClassEIni::kTextSize];
  while (ini.ReadLine(k, v)) out.emplace_back(k, v);
  return out;
}
}  // namespace

TEST(Ini, ParsesLinesCommentsAndQuotes) {
  using L = std::vector<std::pair<std::string, std::string>>;
  const std::string body =
      "name  = Joe ;comment\n"
      "# a comment line\n"
      "\n"
      "quoted = \"a = b ; c\"\n"
      "again=1=2\n"
      "\"spaced key\" = x\n"
      "novalue\n"
      "last=end";
  const L want = {{"name", "Joe"}, {"quoted", "a = b ; c"}, {"again", "2"},
                  {"spaced key", "x"}, {"novalue", ""}, {"last", "end"}};
  // LF-only, CR LF and CR-only files read alike, from memory and from a file,
  // also with windows smaller than a line.
  const std::string d = zt::TempDir("ini_parse");
  ft::FixedClock();
  for (const char* eol : {"\n", "\r\n", "\r"}) {
    std::string text;
    for (char c : body) {
      if (c == '\n') text += eol;
      else text += c;
    }
    SCOPED_TRACE(std::string("eol ") + (eol[0] == '\n' ? "LF" : eol[1] ? "CRLF" : "CR"));
    ClassEIni mem;
    ASSERT_TRUE(mem.OpenData(text.data(), static_cast<uint32_t>(text.size())));
    EXPECT_EQ(ReadAllLines(mem), want);
    mem.SetParseBufferSize(7);
    EXPECT_EQ(ReadAllLines(mem), want);
    zt::WriteFile(d + "/t.ini", ft::Text(text));
    ClassEIni file;
    ASSERT_TRUE(file.Open((d + "/t.ini").c_str(), 1));
    EXPECT_EQ(ReadAllLines(file), want);
    file.SetParseBufferSize(5);
    EXPECT_EQ(ReadAllLines(file), want);
    file.ResetCursor();
    char value[ClassEIni::kTextSize];
    EXPECT_TRUE(file.FindKey("QUOTED", value, false));
    EXPECT_STREQ(value, "a = b ; c");
    EXPECT_FALSE(file.FindKey("name", value, true));  // already read past it
    file.ResetCursor();
    char key[ClassEIni::kTextSize];
    EXPECT_TRUE(file.FindValue(key, "END", false));
    EXPECT_STREQ(key, "last");
  }
  ClassEIni only;
  const char comments[] = "# one\n; two\n\n   \n";
  ASSERT_TRUE(only.OpenData(comments, sizeof comments - 1));
  char k[ClassEIni::kTextSize], v[ClassEIni::kTextSize];
  EXPECT_FALSE(only.ReadLine(k, v));
  EXPECT_FALSE(only.OpenData(comments, 0));
  EXPECT_FALSE(only.ReadLine(k, v));
  EXPECT_FALSE(only.ReadLine(nullptr, v));
}

TEST(Ini, LongKeysAndValuesAreCut) {
  const std::string text = std::string(1000, 'k') + " = " + std::string(5000, 'v') + "\nnext = 1\n";
  ClassEIni ini;
  ASSERT_TRUE(ini.OpenData(text.data(), static_cast<uint32_t>(text.size())));
  char k[ClassEIni::kTextSize + 8], v[ClassEIni::kTextSize + 8];
  std::memset(k, 'G', sizeof k);
  std::memset(v, 'G', sizeof v);
  ASSERT_TRUE(ini.ReadLine(k, v));
  EXPECT_EQ(std::strlen(k), ClassEIni::kTextSize - 1);
  EXPECT_EQ(std::strlen(v), ClassEIni::kTextSize - 1);
  EXPECT_EQ(k[ClassEIni::kTextSize], 'G');  // nothing written beyond the text
  ASSERT_TRUE(ini.ReadLine(k, v));
  EXPECT_STREQ(k, "next");
}

TEST(Ini, WritesLinesThatReadBack) {
  ft::FixedClock();
  const std::string d = zt::TempDir("ini_write");
  ClassEIni ini;
  ASSERT_TRUE(ini.New((d + "/w.ini").c_str()));
  ini.WriteComment("settings");
  ini.WriteLine("volume", 32);
  ini.WriteLine("name", "Joe = x");
  ini.WriteNewline();
  ini.WriteLine("long", std::string(400, 'L').c_str());
  ini.Close();
  const Bytes raw = zt::ReadFile(d + "/w.ini");
  const std::string s(raw.begin(), raw.end());
  EXPECT_EQ(s.substr(0, 43), "# settings\r\nvolume = 32\r\nname = \"Joe = x\"\r\n");
  // A file that does not end its last line gets a CR LF before the next one.
  zt::WriteFile(d + "/a.ini", ft::Text("a = 1"));
  ASSERT_TRUE(ini.Open((d + "/a.ini").c_str(), 0));
  ini.WriteLine("b", 2);
  ini.Close();
  EXPECT_TRUE(zt::ReadFile(d + "/a.ini") == ft::Text("a = 1\r\nb = 2\r\n"));
  ASSERT_TRUE(ini.Open((d + "/w.ini").c_str(), 1));
  char k[ClassEIni::kTextSize], v[ClassEIni::kTextSize];
  ASSERT_TRUE(ini.ReadLine(k, v));
  EXPECT_STREQ(k, "volume");
  EXPECT_STREQ(v, "32");
  ASSERT_TRUE(ini.ReadLine(k, v));
  EXPECT_STREQ(v, "Joe = x");
  ASSERT_TRUE(ini.ReadLine(k, v));
  EXPECT_EQ(std::string(v), std::string(255, 'L'));
  // Memory mode never writes.
  ClassEIni mem;
  char data[] = "x = 1\n";
  ASSERT_TRUE(mem.OpenData(data, 6));
  mem.WriteLine("y", 2);
  EXPECT_STREQ(data, "x = 1\n");
}

// The framework's log goes through a local ClassEFile: appended, CR LF on request.
TEST(Log, AppendsToTheWorkingFolder) {
  ft::FixedClock();
  const std::string d = zt::TempDir("log_append");
  char cwd[1024];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(d.c_str()), 0);
  ClassZarn::Log("first", true);
  ClassZarn::Log("sec", false);
  const uint16_t wide[] = {'o', 0x144, 'd', 0};  // narrowed to its low bytes
  ClassZarn::Log(wide, true);
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_TRUE(zt::ReadFile(d + "/log.txt") == ft::Text("first\r\nsecoDd\r\n"));
}
