// Strings and numbers, dates (against Python's calendar.timegm) and MD5
// (against md5sum).
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <sstream>

#include "framework/emod_std.h"
#include "tests/framework/file_test_util.h"

using ft::Bytes;
using S = ClassEStd;

namespace {
std::u16string W(const char* s) {
  std::u16string w;
  while (*s) w.push_back(static_cast<unsigned char>(*s++));
  return w;
}
}  // namespace

TEST(Strings, CopyLengthAndCat) {
  char small[4];
  S::StrCpy(small, "abcdef", 4);
  EXPECT_STREQ(small, "abc");
  char big[20000];
  std::string longText(20000, 'x');
  longText.back() = 0;
  S::StrCpy(big, longText.c_str(), -1);  // max -1: 16,384 units, 16,383 copied
  EXPECT_EQ(S::StrLen(big, 20000), 16383);
  char untouched[2] = {'k', 0};
  S::StrCpy(untouched, "zz", 0);
  EXPECT_EQ(untouched[0], 'k');
  // Narrowing keeps the low byte; widening keeps the byte's unsigned value.
  const uint16_t wide[] = {0x141, 0x42, 0xFF, 0};
  char narrow[4];
  S::StrCpy(narrow, wide, 4);
  EXPECT_EQ(static_cast<unsigned char>(narrow[0]), 0x41);
  EXPECT_EQ(static_cast<unsigned char>(narrow[2]), 0xFF);
  char16_t back[4];
  S::StrCpy(back, "\xE9", 4);
  EXPECT_EQ(back[0], 0xE9);
  char cat[32] = "n=";
  S::StrCat(cat, -255, 16, true);
  EXPECT_STREQ(cat, "n=-FF");
  S::StrCat(cat, u"!");
  EXPECT_STREQ(cat, "n=-FF!");
  EXPECT_EQ(S::StrLen("abc", 2), 2);
}

TEST(Strings, CompareFindAndCase) {
  EXPECT_EQ(S::StrEqual("Game.CFG", "game.cfg", false), 1);
  EXPECT_EQ(S::StrEqual("Game.CFG", "game.cfg", true), 0);
  EXPECT_EQ(S::StrEqual("\xC9", "\xE9", false), 0);  // only a-z fold
  EXPECT_EQ(S::StrEqual("", "", true), 1);
  EXPECT_EQ(S::StrEqual(W("Game").c_str(), "gAME", false), 1);  // 16 with 8
  EXPECT_EQ(S::StrEqual("\xE9", u"\u00E9", true), 1);           // byte value against unit
  EXPECT_EQ(S::StrEqual("abc", "abcd", true), 0);
  EXPECT_EQ(S::StrFind("game.cfg", "CFG", false), 5);
  EXPECT_EQ(S::StrFind("game.cfg", "CFG", true), -1);
  EXPECT_EQ(S::StrFind(u"game.cfg", "cfg", true), 5);
  EXPECT_EQ(S::StrFind("game", "", true), -1);
  EXPECT_EQ(S::StrFind("ga", "game", true), -1);
  EXPECT_EQ(S::StrFind("game", 'm'), 2);
  EXPECT_EQ(S::StrFind("", 'm'), -1);
  char up[] = "Hello, w\xF6rld";
  EXPECT_STREQ(S::StrUpper(up), "HELLO, W\xF6RLD");
  EXPECT_STREQ(S::StrLower(up), "hello, w\xF6rld");
}

TEST(Strings, TrimNewReplace) {
  char t[] = " \t\r\n\v\f ";
  EXPECT_STREQ(S::StrTrim(t), "");
  char u[] = "  a b \n";
  EXPECT_STREQ(S::StrTrim(u), "a b");
  char r[64] = "aaa";
  EXPECT_EQ(S::StrReplace(r, "a", "aa", true, -1), 3);
  EXPECT_STREQ(r, "aaaaaa");
  char r2[64] = "one Two two";
  EXPECT_EQ(S::StrReplace(r2, "TWO", "2", false, 1), 1);
  EXPECT_STREQ(r2, "one 2 two");
  EXPECT_EQ(S::StrReplace(r2, "", "x", true, -1), 0);
  EXPECT_EQ(S::StrReplace(r2, "o", "x", true, 0), 0);
  EXPECT_EQ(S::StrReplace(r2, "o", "x", true, -2), 0);
  char16_t w[32] = u"abcabc";
  EXPECT_EQ(S::StrReplace(w, "bc", u"", true, -1), 2);
  EXPECT_TRUE(std::u16string(w) == u"aa");
  char n[32] = "abcdef";
  S::StrNew(n, "XYZW", 2);
  EXPECT_STREQ(n, "XYZWcdef");
  S::StrNew(n, "q", 4);
  EXPECT_STREQ(n, "qcdef");
}

TEST(Strings, Numbers) {
  char s[40];
  EXPECT_STREQ(S::IntToStr(s, -255, 16, true), "-FF");
  EXPECT_STREQ(S::IntToStr(s, -255, 16, false), "FFFFFF01");
  EXPECT_STREQ(S::IntToStr(s, INT32_MIN, 10, true), "-2147483648");
  EXPECT_STREQ(S::IntToStr(s, 0, 2, true), "0");
  EXPECT_STREQ(S::IntToStr(s, 35, 36, true), "Z");
  s[0] = 'k';
  S::IntToStr(s, 5, 37, true);
  EXPECT_EQ(s[0], 'k');
  char16_t w[40];
  S::IntToStr(w, 1234, 10, true);
  EXPECT_TRUE(std::u16string(w) == u"1234");
  EXPECT_EQ(S::StrToInt("ff", 16), 255);
  EXPECT_EQ(S::StrToInt("1g", 16), 0);
  EXPECT_EQ(S::StrToInt("-12", 10), -12);
  EXPECT_EQ(S::StrToInt("", 10), 0);
  EXPECT_EQ(S::StrToInt(u"Zz", 36), 35 * 36 + 35);
  EXPECT_EQ(S::StrToInt("12", 1), 0);
}

TEST(Dates, MatchPythonTimegmBothWays) {
  if (!ft::HavePython()) GTEST_SKIP() << "python3 missing";
  std::vector<E_DATETIME> dates = {
      {1970, 1, 1, 0, 0, 0},    {2000, 2, 29, 12, 0, 0}, {2000, 3, 1, 0, 0, 0}, {1999, 12, 31, 23, 59, 59},
      {2004, 2, 29, 1, 2, 3},   {2100, 2, 28, 0, 0, 0},  {2100, 3, 1, 0, 0, 0}, {2038, 1, 19, 3, 14, 7},
      {2106, 2, 7, 6, 28, 15},  {1980, 6, 15, 8, 30, 0}, {2024, 12, 31, 23, 59, 59}};
  std::vector<uint32_t> stamps = {0, 951782400, 951868799, 951868800, 0x7FFFFFFF, 0xFFFFFFFF, 4107542400u,
                                  4107456000u, 1700000000, 86399, 31535999, 31536000};
  for (uint32_t i = 0; i < 40; i++) stamps.push_back(i * 107374183u + 12345);
  const std::string d = zt::TempDir("dates");
  std::ostringstream in;
  for (auto& x : dates)
    in << "d " << x.year << " " << int(x.month) << " " << int(x.day) << " " << int(x.hour) << " "
       << int(x.minute) << " " << int(x.second) << "\n";
  for (uint32_t t : stamps) in << "t " << t << "\n";
  zt::WriteFile(d + "/in", ft::Text(in.str()));
  ASSERT_EQ(zt::Run("python3 -c \"import calendar,time,sys\n"
                    "for l in open(sys.argv[1]):\n"
                    " p=l.split()\n"
                    " if p[0]=='d': print(calendar.timegm(tuple(int(v) for v in p[1:])+(0,0,0)))\n"
                    " else: g=time.gmtime(int(p[1])); print(*g[:6])\" '" + d + "/in' > '" + d + "/out'"),
            0);
  const Bytes out = zt::ReadFile(d + "/out");
  std::istringstream res(std::string(out.begin(), out.end()));
  for (auto& x : dates) {
    uint64_t want;
    res >> want;
    EXPECT_EQ(S::DateTimeToTimestamp(x), static_cast<uint32_t>(want)) << x.year << "-" << int(x.month);
  }
  for (uint32_t t : stamps) {
    uint32_t y, mo, da, h, mi, se;
    res >> y >> mo >> da >> h >> mi >> se;
    E_DATETIME got;
    S::TimestampToDateTime(got, t);
    EXPECT_EQ(got.year, y) << t;
    EXPECT_EQ(got.month, mo) << t;
    EXPECT_EQ(got.day, da) << t;
    EXPECT_EQ(got.hour, h) << t;
    EXPECT_EQ(got.minute, mi) << t;
    EXPECT_EQ(got.second, se) << t;
    EXPECT_EQ(S::DateTimeToTimestamp(got), t);
  }
}

TEST(Dates, EdgeYears) {
  EXPECT_EQ(S::DateTimeToTimestamp({1969, 12, 31, 23, 59, 59}), 0u);
  EXPECT_EQ(S::DateTimeToTimestamp({2000, 3, 1, 0, 0, 0}), 951868800u);
  // A month above 12 counts January to November; day 0 adds nothing.
  EXPECT_EQ(S::DateTimeToTimestamp({1971, 13, 0, 0, 0, 0}), (365u + 334u) * 86400u);
  // A garbage year returns at once, wrapping like 32-bit arithmetic.
  const auto start = std::chrono::steady_clock::now();
  volatile uint32_t sink = S::DateTimeToTimestamp({0xFFFFFFFFu, 6, 6, 6, 6, 6});
  (void)sink;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  const uint64_t y = 0xFFFFFFFEull;  // leap years in 1..y minus those up to 1969
  const uint64_t days = 365 * (0xFFFFFFFFull - 1970) + (y / 4 - y / 100 + y / 400) - (1969 / 4 - 19 + 4) +
                        31 + 28 + 31 + 30 + 31 + 5;
  EXPECT_EQ(S::DateTimeToTimestamp({0xFFFFFFFFu, 6, 6, 6, 6, 6}),
            static_cast<uint32_t>(days * 86400 + 6 * 3600 + 6 * 60 + 6));
}

TEST(MD5, MatchesRfcAndMd5sum) {
  const std::pair<const char*, const char*> rfc[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"}};
  char out[33];
  for (auto& c : rfc) {
    S::MD5Str(out, c.first);
    EXPECT_STREQ(out, c.second) << c.first;
  }
  // 16-bit text: two bytes per unit, low byte first.
  const uint16_t ab[] = {'a', 'b', 0};
  S::MD5Str(out, ab);
  char want[33];
  S::MD5Data(want, "a\0b\0", 4);
  EXPECT_STREQ(out, want);
  ClassEFile::SetSyncOnClose(false);
  S::MD5File(out, "/nonexistent/for/sure");
  EXPECT_STREQ(out, "d41d8cd98f00b204e9800998ecf8427e");

  if (!zt::HaveTool("md5sum")) GTEST_SKIP() << "md5sum missing";
  const std::string d = zt::TempDir("md5");
  for (size_t n : {0u, 55u, 56u, 63u, 64u, 65u, 8191u, 8192u, 8193u, 100000u}) {
    const Bytes b = ft::Random(n, static_cast<uint32_t>(n));
    const std::string f = d + "/f" + std::to_string(n);
    zt::WriteFile(f, b);
    ASSERT_EQ(zt::Run("md5sum '" + f + "' | cut -c1-32 > '" + f + ".md5'"), 0);
    const Bytes sum = zt::ReadFile(f + ".md5");
    const std::string expect(sum.begin(), sum.begin() + 32);
    S::MD5File(out, f.c_str());
    EXPECT_EQ(std::string(out), expect) << n;
    S::MD5Data(out, b.data(), static_cast<uint32_t>(n));
    EXPECT_EQ(std::string(out), expect) << n;
  }
}
