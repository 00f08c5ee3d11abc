// Pack archives: reading, the in-place writer, an independent Python reader and
// writer, and hostile packs.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "framework/emod_memory.h"
#include "framework/epk_format.h"
#include "tests/framework/file_test_util.h"

using ft::Bytes;

namespace {

struct PackDir {
  std::string dir;
  explicit PackDir(const std::string& name) : dir(zt::TempDir(name)) { ft::FixedClock(); }
  std::string operator/(const std::string& n) const { return dir + "/" + n; }
};

Bytes Entry(ClassEFile& f, uint32_t i, int* code = nullptr) {
  void* data = nullptr;
  uint32_t len = 0;
  const int r = f.PackGetFileData(data, len, i);
  if (code) *code = r;
  Bytes b;
  if (r == 0 && data) b.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + len);
  ClassEMemory::DeAlloc(data);
  return b;
}

// The sample set every format test uses: text, a run, random bytes, a tiny file, an empty one.
std::vector<std::pair<std::string, Bytes>> Samples() {
  return {{"prose.txt", ft::Prose(30000, 11)},
          {"run.bin", Bytes(1000, 'q')},
          {"noise.raw", ft::Random(3000, 12)},
          {"abc", ft::Text("abc")},
          {"empty.dat", Bytes()}};
}

std::string WriteSamples(const PackDir& d) {
  std::string list;
  for (auto& s : Samples()) {
    zt::WriteFile(d / s.first, s.second);
    list += " '" + (d / s.first) + "'";
  }
  return list;
}

// Builds a pack in C++ from the samples with fixed times.
void BuildCpp(const PackDir& d, const std::string& pack, uint8_t method) {
  ClassEFile f;
  ASSERT_EQ(f.PackNew((d / pack).c_str()), 0);
  for (auto& s : Samples())
    ASSERT_EQ(f.PackAddFileData((d / s.first).c_str(), s.second.data(),
                                static_cast<uint32_t>(s.second.size()), false, method, 1600000000),
              0);
  f.Close();
}

}  // namespace

TEST(PackFormat, CppAndPythonWritersAgreeByteForByte) {
  if (!ft::HavePython()) GTEST_SKIP() << "python3 missing";
  PackDir d("pack_agree");
  const std::string list = WriteSamples(d);
  for (int method = 0; method <= 2; method++) {
    SCOPED_TRACE(method);
    const std::string cpp = "cpp" + std::to_string(method) + ".epk";
    const std::string py = "py" + std::to_string(method) + ".epk";
    BuildCpp(d, cpp, static_cast<uint8_t>(method));
    ASSERT_EQ(ft::Py("write '" + (d / py) + "' ZARN 1600000000 1700000000 " + std::to_string(method) + list), 0);
    EXPECT_TRUE(zt::ReadFile(d / cpp) == zt::ReadFile(d / py));
  }
}

TEST(PackFormat, PythonReadsCppPacks) {
  if (!ft::HavePython()) GTEST_SKIP() << "python3 missing";
  PackDir d("pack_pyread");
  WriteSamples(d);
  BuildCpp(d, "a.epk", 1);
  // Change it in place too, so the reader sees a pack the writer has moved around.
  {
    ClassEFile f;
    ASSERT_TRUE(f.Open((d / "a.epk").c_str(), 0));
    const Bytes bigger = ft::Prose(9000, 99);
    ASSERT_EQ(f.PackAddFileData("run.bin", bigger.data(), 9000, true, 2, 5), 0);
    ASSERT_EQ(f.PackDeleteFile("noise.raw"), 0);
    ASSERT_TRUE(f.PackChangeVendor("TEST"));
  }
  const std::string out = zt::TempDir("pack_pyread_out");
  ASSERT_EQ(ft::Py("read '" + (d / "a.epk") + "' '" + out + "' > '" + out + "/manifest'"), 0);
  const Bytes manifest = zt::ReadFile(out + "/manifest");
  const std::string m(manifest.begin(), manifest.end());
  EXPECT_NE(m.find("\"vendor\": \"TEST\""), std::string::npos);
  auto s = Samples();
  EXPECT_TRUE(zt::ReadFile(out + "/0") == s[0].second);
  EXPECT_TRUE(zt::ReadFile(out + "/1") == ft::Prose(9000, 99));
  EXPECT_TRUE(zt::ReadFile(out + "/2") == s[3].second);
  EXPECT_TRUE(zt::ReadFile(out + "/3").empty());
  EXPECT_NE(m.find("\"name\": \"run.bin\""), std::string::npos);
  EXPECT_EQ(m.find("noise.raw"), std::string::npos);
}

TEST(PackFormat, CppReadsPythonEpk2AndEpckPacks) {
  if (!ft::HavePython()) GTEST_SKIP() << "python3 missing";
  PackDir d("pack_cppread");
  const std::string list = WriteSamples(d);
  for (const char* kind : {"write", "epck"}) {
    for (int method = 0; method <= 2; method++) {
      SCOPED_TRACE(std::string(kind) + std::to_string(method));
      const std::string pack = d / (std::string(kind) + std::to_string(method));
      const std::string args = std::string(kind) == "write" ? " VEND 1234 5678 " : " OLDV ";
      ASSERT_EQ(ft::Py(std::string(kind) + " '" + pack + "'" + args + std::to_string(method) + list), 0);
      ClassEFile f;
      ASSERT_TRUE(f.Open(pack.c_str(), 1));
      ASSERT_TRUE(f.PackValid());
      auto s = Samples();
      ASSERT_EQ(f.PackContainFiles(), s.size());
      char vendor[5];
      ASSERT_TRUE(f.PackGetVendor(vendor));
      EXPECT_STREQ(vendor, std::string(kind) == "write" ? "VEND" : "OLDV");
      for (uint32_t i = 0; i < s.size(); i++) {
        EPK_FILEINFO info;
        ASSERT_TRUE(f.PackGetFileInfo(&info, i, false));
        EXPECT_STREQ(info.name, s[i].first.c_str());  // EPCK: the folder part is dropped
        EXPECT_EQ(info.created, std::string(kind) == "write" ? 1234u : 0u);
        int code = -1;
        EXPECT_TRUE(Entry(f, i, &code) == s[i].second) << i;
        EXPECT_EQ(code, 0);
        uint32_t found = 99;
        ASSERT_TRUE(f.PackSearchFile(("SOME/DIR/" + s[i].first).c_str(), found));
        EXPECT_EQ(found, i);
      }
    }
  }
}

TEST(PackFormat, EpckTimesAreZeroMovedByAPositiveLocalOffset) {
  if (!ft::HavePython()) GTEST_SKIP() << "python3 missing";
  PackDir d("pack_epcktimes");
  const std::string list = WriteSamples(d);
  ASSERT_EQ(ft::Py("epck '" + (d / "t.pck") + "' OLDV 0" + list), 0);
  for (int32_t zone : {3600, -7200}) {
    standin::Config c = zt::HeadlessConfig();
    c.wallTime = 1700000000;
    c.injectZone = true;
    c.zoneOffset = zone;
    standin::Configure(c);
    ClassEFile f;
    ASSERT_TRUE(f.Open((d / "t.pck").c_str(), 1));
    EPK_FILEINFO info;
    ASSERT_TRUE(f.PackGetFileInfo(&info, 1u, true));
    EXPECT_EQ(info.created, zone > 0 ? 3600u : 0u);
    EXPECT_EQ(info.modified, zone > 0 ? 3600u : 0u);
    ASSERT_TRUE(f.PackGetFileInfo(&info, 1u, false));
    EXPECT_EQ(info.created, 0u);
  }
  ft::FixedClock();
}

// Local entry times move by the offset in effect at each time: in a zone with
// daylight saving a winter and a summer time of one entry move differently.
TEST(PackFormat, LocalEntryTimesUseTheOffsetAtEachTime) {
  PackDir d("pack_localtimes");
  ft::FixedClock(1720000000);  // modified: 2024-07-03
  {
    ClassEFile f;
    ASSERT_EQ(f.PackNew((d / "p.epk").c_str()), 0);
    // created: 2024-01-11
    ASSERT_EQ(f.PackAddFileData("one.bin", "12345678", 8, false, 0, 1705000000), 0);
  }
  for (const auto& z :
       {std::make_pair("Europe/Berlin", 3600), std::make_pair("America/New_York", -18000)}) {
    zt::ScopedZone zone(z.first);
    ClassEFile f;
    ASSERT_TRUE(f.Open((d / "p.epk").c_str(), 1));
    EPK_FILEINFO info;
    ASSERT_TRUE(f.PackGetFileInfo(&info, 0u, true));
    EXPECT_EQ(info.created, uint32_t(1705000000 + z.second)) << z.first;
    EXPECT_EQ(info.modified, uint32_t(1720000000 + z.second + 3600)) << z.first;
    ASSERT_TRUE(f.PackGetFileInfo(&info, 0u, false));
    EXPECT_EQ(info.created, 1705000000u);
    EXPECT_EQ(info.modified, 1720000000u);
  }
}

TEST(PackFormat, EpckPacksAreConvertedBeforeAnyChange) {
  if (!ft::HavePython()) GTEST_SKIP() << "python3 missing";
  PackDir d("pack_convert");
  const std::string list = WriteSamples(d);
  const std::string pack = d / "old.pck";
  ASSERT_EQ(ft::Py("epck '" + pack + "' OLDV 1" + list), 0);
  ClassEFile f;
  ASSERT_TRUE(f.Open(pack.c_str(), 0));
  ASSERT_EQ(f.PackAddFileData("new.txt", "hello", 5, false, 0, 7), 0);
  f.Close();
  // Now an EPK2 pack that the independent reader accepts, with every old entry.
  const Bytes raw = zt::ReadFile(pack);
  ASSERT_EQ(std::memcmp(raw.data(), "EPK2", 4), 0);
  EXPECT_FALSE(ClassEFile().Exists((pack + "_tmp").c_str()));
  const std::string out = zt::TempDir("pack_convert_out");
  ASSERT_EQ(ft::Py("read '" + pack + "' '" + out + "' > /dev/null"), 0);
  auto s = Samples();
  for (uint32_t i = 0; i < s.size(); i++) EXPECT_TRUE(zt::ReadFile(out + "/" + std::to_string(i)) == s[i].second);
  EXPECT_TRUE(zt::ReadFile(out + "/5") == ft::Text("hello"));
}

TEST(PackWriter, LayoutAndEdgeCases) {
  PackDir d("pack_edges");
  ClassEFile f;
  ASSERT_EQ(f.PackNew((d / "p.epk").c_str(), "ABCD"), 0);
  EXPECT_TRUE(f.PackValid());
  EXPECT_EQ(f.PackContainFiles(), 0u);
  EXPECT_EQ(zt::ReadFile(d / "p.epk").size(), 28u);  // a valid empty pack

  // The first entry: record at 28, bytes at 120, one-element table at the end.
  ASSERT_EQ(f.PackAddFileData("one.bin", "12345678", 8, false, 0, 42), 0);
  Bytes raw = zt::ReadFile(d / "p.epk");
  ASSERT_EQ(raw.size(), 28u + 92 + 8 + 4);
  EXPECT_EQ(ft::Get32(raw, 28), 92u);
  EXPECT_EQ(std::memcmp(&raw[120], "12345678", 8), 0);
  EXPECT_EQ(ft::Get32(raw, raw.size() - 4), 28u);
  EXPECT_EQ(ft::Get32(raw, 28 + 84), 42u);          // created as given
  EXPECT_EQ(ft::Get32(raw, 28 + 88), 1700000000u);  // modified from the clock

  EXPECT_EQ(f.PackAddFileData("ONE.BIN", "x", 1, false, 0, 0), 9);  // exists
  // Three bytes with zlib: stored plainly.
  ASSERT_EQ(f.PackAddFileData("three", "abc", 3, false, 2, 0), 0);
  EPK_FILEINFO info;
  ASSERT_TRUE(f.PackGetFileInfo(&info, 1, false));
  EXPECT_EQ(info.method, 0);
  // 1,000 equal letters with LZW: compressed, and read back identical.
  const Bytes run(1000, 'z');
  ASSERT_EQ(f.PackAddFileData("run", run.data(), 1000, false, 1, 0), 0);
  ASSERT_TRUE(f.PackGetFileInfo(&info, 2, false));
  EXPECT_EQ(info.method, 1);
  EXPECT_TRUE(Entry(f, 2) == run);
  // Replace keeps the number; the pack grows by the difference.
  const uint32_t before = f.Size();
  const Bytes longer = ft::Random(500, 3);
  ASSERT_EQ(f.PackAddFileData("one.bin", longer.data(), 500, true, 0, 0), 0);
  EXPECT_EQ(f.Size(), before + 492);
  EXPECT_TRUE(Entry(f, 0) == longer);
  EXPECT_TRUE(Entry(f, 2) == run);
  ASSERT_EQ(f.PackAddFileData("one.bin", "s", 1, true, 0, 0), 0);
  EXPECT_EQ(f.Size(), before - 7);
  EXPECT_TRUE(Entry(f, 0) == ft::Text("s"));
  // An empty entry: result 0, no block.
  ASSERT_EQ(f.PackAddFileData("nothing", nullptr, 0, false, 2, 0), 0);
  void* data = reinterpret_cast<void*>(1);
  uint32_t len = 9;
  EXPECT_EQ(f.PackGetFileData(data, len, 3), 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(f.PackGetFileData(data, len, 4), 7);
  EXPECT_EQ(f.PackGetFileData(data, len, "missing"), 7);
  // Deleting everything leaves the empty 28-byte pack.
  EXPECT_EQ(f.PackDeleteFile("three"), 0);
  EXPECT_TRUE(Entry(f, 1) == run);
  for (int i = 0; i < 3; i++) EXPECT_EQ(f.PackDeleteFile(0u), 0);
  EXPECT_EQ(f.PackDeleteFile(0u), 7);
  EXPECT_EQ(f.PackContainFiles(), 0u);
  f.Close();
  EXPECT_EQ(zt::ReadFile(d / "p.epk").size(), 28u);
  ASSERT_TRUE(f.Open((d / "p.epk").c_str(), 1));
  EXPECT_TRUE(f.PackValid());
  char vendor[5];
  f.PackGetVendor(vendor);
  EXPECT_STREQ(vendor, "ABCD");
  f.Close();

  // PackNew on an existing name: 9, file untouched.
  const Bytes keep = zt::ReadFile(d / "p.epk");
  EXPECT_EQ(f.PackNew((d / "p.epk").c_str()), 9);
  EXPECT_TRUE(zt::ReadFile(d / "p.epk") == keep);
}

TEST(PackWriter, HeaderSizeOtherThan28IsNormalisedOnChange) {
  PackDir d("pack_header40");
  BuildCpp(d, "h.epk", 1);
  Bytes b = zt::ReadFile(d / "h.epk");
  const uint32_t count = ft::Get32(b, 16);
  // 12 extra header bytes: every entry moves up by 12.
  b.insert(b.begin() + 28, 12, 0xAB);
  for (uint32_t i = 0; i < count; i++) {
    const size_t at = b.size() - 4 * (count - i);
    ft::Put32(b, at, ft::Get32(b, at) + 12);
  }
  ft::Put32(b, 8, 40);
  ft::Put32(b, 20, 0);
  ft::Put32(b, 20, EFile_QuickChecksum(b.data(), 28));
  zt::WriteFile(d / "h.epk", b);
  ClassEFile f;
  ASSERT_TRUE(f.Open((d / "h.epk").c_str(), 0));
  ASSERT_TRUE(f.PackValid());
  auto s = Samples();
  EXPECT_TRUE(Entry(f, 0) == s[0].second);
  ASSERT_EQ(f.PackAddFileData("added", "12345", 5, false, 0, 0), 0);
  f.Close();
  const Bytes after = zt::ReadFile(d / "h.epk");
  EXPECT_EQ(ft::Get32(after, 8), 28u);
  EXPECT_EQ(after.size(), b.size() - 12 + 92 + 5 + 4);
  ASSERT_TRUE(f.Open((d / "h.epk").c_str(), 1));
  ASSERT_TRUE(f.PackValid());
  for (uint32_t i = 0; i < s.size(); i++) EXPECT_TRUE(Entry(f, i) == s[i].second) << i;
  EXPECT_TRUE(Entry(f, 5) == ft::Text("12345"));
}

TEST(PackReader, NamesSearchAndIndex) {
  PackDir d("pack_names");
  ClassEFile f;
  ASSERT_EQ(f.PackNew((d / "n.epk").c_str()), 0);
  const std::string longName = std::string(66, 'n') + ".bmp";  // 70 characters
  ASSERT_EQ(f.PackAddFileData(("gfx/" + longName).c_str(), "1", 1, false, 0, 0), 0);
  ASSERT_EQ(f.PackAddFileData("res\\title.bmp", "2", 1, false, 0, 0), 0);
  ASSERT_EQ(f.PackAddFileData("\xC4pfel.txt", "3", 1, false, 0, 0), 0);
  EPK_FILEINFO info;
  ASSERT_TRUE(f.PackGetFileInfo(&info, 0u, false));
  EXPECT_EQ(std::string(info.name), std::string(59, 'n') + ".bmp");
  uint32_t n = 9;
  EXPECT_TRUE(f.PackSearchFile(longName.c_str(), n));
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(f.PackSearchFile("RES/Title.BMP", n));
  EXPECT_EQ(n, 1u);
  const uint16_t wide[] = {'T', 'I', 'T', 'L', 'E', '.', 'b', 'm', 'p', 0};
  EXPECT_TRUE(f.PackSearchFile(wide, n));
  EXPECT_FALSE(f.PackSearchFile("\xE4pfel.txt", n));  // only a-z fold
  char* index = f.PackBuildIndex();
  ASSERT_NE(index, nullptr);
  EXPECT_STREQ(index + 64, "title.bmp");
  EXPECT_TRUE(f.PackSearchFile("title.bmp", n));
  EXPECT_EQ(n, 1u);
  // A writer call drops the installed index: the search sees the new entry.
  ASSERT_EQ(f.PackDeleteFile(0u), 0);
  EXPECT_TRUE(f.PackSearchFile("title.bmp", n));
  EXPECT_EQ(n, 0u);
  ClassEMemory::DeAlloc(index);
}

TEST(PackReader, WrongCheckOrAlteredHeaderIsAPlainFile) {
  PackDir d("pack_check");
  BuildCpp(d, "good.epk", 0);
  const Bytes good = zt::ReadFile(d / "good.epk");
  struct Case {
    const char* what;
    size_t at;
    uint8_t flip;
  } cases[] = {{"vendor", 5, 1}, {"version", 12, 1}, {"count", 16, 1}, {"check", 21, 0x80},
               {"reserved", 26, 1}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes b = good;
    b[c.at] ^= c.flip;
    zt::WriteFile(d / "bad.epk", b);
    ClassEFile f;
    ASSERT_TRUE(f.Open((d / "bad.epk").c_str(), 1));  // opens as a plain file
    EXPECT_FALSE(f.PackValid());
    EXPECT_EQ(f.PackContainFiles(), 0u);
    void* data;
    uint32_t len;
    EXPECT_EQ(f.PackGetFileData(data, len, 0u), 5);
    EXPECT_EQ(f.PackAddFileData("x", "y", 1, false, 0, 0), 5);
  }
  // Check word made with another constant.
  Bytes b = good;
  ft::Put32(b, 20, ft::Get32(b, 20) - kEpkCheckConstant + 0x12345678u);
  zt::WriteFile(d / "other.epk", b);
  ClassEFile f;
  ASSERT_TRUE(f.Open((d / "other.epk").c_str(), 1));
  EXPECT_FALSE(f.PackValid());
  // Shorter than four bytes: a plain file.
  zt::WriteFile(d / "short", ft::Text("EP"));
  ASSERT_TRUE(f.Open((d / "short").c_str(), 1));
  EXPECT_FALSE(f.PackValid());
}

TEST(PackReader, HostileEntriesGiveCodes) {
  PackDir d("pack_hostile");
  BuildCpp(d, "h.epk", 1);
  const Bytes good = zt::ReadFile(d / "h.epk");
  const uint32_t rec0 = 28;  // prose.txt, LZW
  auto withFile = [&](const Bytes& b, const std::function<void(ClassEFile&)>& check) {
    zt::WriteFile(d / "t.epk", b);
    ClassEFile f;
    ASSERT_TRUE(f.Open((d / "t.epk").c_str(), 0));
    ASSERT_TRUE(f.PackValid());
    check(f);
  };
  int code;
  {  // Truncated pack: the table moves with the end; the last entries run off it.
    Bytes b(good.begin(), good.end() - 4 * 5);
    b.resize(b.size() - 2000);
    const Bytes table(good.end() - 4 * 5, good.end());
    b.insert(b.end(), table.begin(), table.end());
    withFile(b, [&](ClassEFile& f) {
      Entry(f, 2, &code);
      EXPECT_EQ(code, 1);  // truncated: not a block with undefined bytes
    });
  }
  {  // Unpacked size in the record larger than the stream's header says.
    Bytes b = good;
    ft::Put32(b, rec0 + 72, ft::Get32(b, rec0 + 72) + 1);
    withFile(b, [&](ClassEFile& f) {
      Entry(f, 0, &code);
      EXPECT_EQ(code, 8);
    });
  }
  {  // Method 3, and an absurd unpacked size for the stored bytes.
    Bytes b = good;
    b[rec0 + 80] = 3;
    withFile(b, [&](ClassEFile& f) {
      Entry(f, 0, &code);
      EXPECT_EQ(code, 8);
    });
    b = good;
    ft::Put32(b, rec0 + 72, 0xFFFFFFF0u);
    withFile(b, [&](ClassEFile& f) {
      Entry(f, 0, &code);
      EXPECT_EQ(code, 8);
    });
  }
  {  // A name without a terminator is cut at 63 characters.
    Bytes b = good;
    std::memset(&b[rec0 + 4], 'A', 64);
    withFile(b, [&](ClassEFile& f) {
      EPK_FILEINFO info;
      ASSERT_TRUE(f.PackGetFileInfo(&info, 0u, false));
      EXPECT_EQ(std::strlen(info.name), 63u);
    });
  }
  {  // Table elements out of order or outside the file: the writer refuses.
    Bytes b = good;
    ft::Put32(b, b.size() - 8, 0x7FFFFFF0u);
    withFile(b, [&](ClassEFile& f) {
      EXPECT_EQ(f.PackAddFileData("new", "data!", 5, false, 0, 0), 1);
      EXPECT_EQ(f.PackDeleteFile(0u), 1);
      Entry(f, 3, &code);
      EXPECT_EQ(code, 7);
    });
    b = good;
    const uint32_t a = ft::Get32(b, b.size() - 20), c = ft::Get32(b, b.size() - 16);
    ft::Put32(b, b.size() - 20, c);
    ft::Put32(b, b.size() - 16, a);
    withFile(b, [&](ClassEFile& f) { EXPECT_EQ(f.PackDeleteFile(2u), 1); });
    EXPECT_EQ(zt::ReadFile(d / "t.epk").size(), b.size());
  }
  {  // An entry count far beyond the file is not a pack.
    Bytes b = good;
    ft::Put32(b, 16, 50000000);
    ft::Put32(b, 20, 0);
    ft::Put32(b, 20, EFile_QuickChecksum(b.data(), 28));
    zt::WriteFile(d / "t.epk", b);
    ClassEFile f;
    ASSERT_TRUE(f.Open((d / "t.epk").c_str(), 1));
    EXPECT_FALSE(f.PackValid());
  }
}

TEST(PackReader, ExtractStaysInTheTargetFolder) {
  PackDir d("pack_extract");
  BuildCpp(d, "x.epk", 2);
  Bytes b = zt::ReadFile(d / "x.epk");
  // Rename entry 0 to "../escape.txt" and entry 3 to "..": the check word does
  // not cover records.
  std::memset(&b[28 + 4], 0, 64);
  std::memcpy(&b[28 + 4], "../escape.txt", 13);
  zt::WriteFile(d / "x.epk", b);
  const std::string out = zt::TempDir("pack_extract/out");
  ClassEFile f;
  ASSERT_TRUE(f.Open((d / "x.epk").c_str(), 1));
  EXPECT_EQ(f.PackExtractFile(out.c_str(), 0u, false), 0);
  EXPECT_TRUE(zt::ReadFile(out + "/escape.txt") == Samples()[0].second);
  EXPECT_FALSE(f.Exists((d / "escape.txt").c_str()));
  EXPECT_EQ(f.PackExtractFile(out.c_str(), 0u, false), 9);  // exists
  EXPECT_EQ(f.PackExtractFile(out.c_str(), 0u, true), 0);
  EXPECT_EQ(f.PackExtractFile(out.c_str(), "empty.dat", false), 0);
  EXPECT_TRUE(f.Exists((out + "/empty.dat").c_str()));
  EXPECT_EQ(f.PackExtractFile(out.c_str(), 17u, false), 7);
}

// Bounded mutation run: random byte changes to valid packs never crash, hang or
// overrun (ASan build); reads give a code or the right bytes.
TEST(PackReader, MutatedPacksNeverCrash) {
  PackDir d("pack_mutate");
  for (int method = 0; method <= 2; method++) BuildCpp(d, "m" + std::to_string(method) + ".epk", static_cast<uint8_t>(method));
  // The fourth base pack is an EPCK pack from the independent writer (or one more EPK2).
  if (ft::HavePython()) {
    ASSERT_EQ(ft::Py("epck '" + (d / "m3.epk") + "' OLDV 1" + WriteSamples(d)), 0);
  } else {
    BuildCpp(d, "m3.epk", 1);
  }
  std::mt19937 g(1234);
  auto s = Samples();
  int opened = 0;
  for (int round = 0; round < 320; round++) {
    Bytes b = zt::ReadFile(d / ("m" + std::to_string(round % 4) + ".epk"));
    const int edits = 1 + static_cast<int>(g() % 4);
    for (int e = 0; e < edits; e++) {
      const size_t at = g() % b.size();
      switch (g() % 3) {
        case 0: b[at] = static_cast<uint8_t>(g()); break;
        case 1: b[at] ^= static_cast<uint8_t>(1u << (g() % 8)); break;
        default: b.resize(at + 1); break;
      }
    }
    if (g() % 2) {  // keep the header valid so the mutation reaches the entries
      if (b.size() >= 28 && std::memcmp(b.data(), "EPK2", 4) == 0) {
        ft::Put32(b, 20, 0);
        ft::Put32(b, 20, EFile_QuickChecksum(b.data(), 28));
      }
    }
    zt::WriteFile(d / "t.epk", b);
    ClassEFile f;
    ASSERT_TRUE(f.Open((d / "t.epk").c_str(), 0));
    if (!f.PackValid()) continue;
    opened++;
    for (uint32_t i = 0; i < f.PackContainFiles() && i < 8; i++) {
      EPK_FILEINFO info;
      int code = -1;
      Bytes got = Entry(f, i, &code);
      if (code == 0 && f.PackGetFileInfo(&info, i, false)) {
        EXPECT_EQ(got.size(), info.unpackedsize);
      }
    }
    uint32_t n;
    f.PackSearchFile("prose.txt", n);
    if (round % 4 == 0) f.PackAddFileData("add.txt", "more bytes", 10, true, 1, 0);
    if (round % 4 == 1) f.PackDeleteFile(0u);
  }
  EXPECT_GT(opened, 60);
}
