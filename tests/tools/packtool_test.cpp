// The pack tool from the command line.
#include <gtest/gtest.h>

#include <cstring>

#include "framework/emod_memory.h"
#include "tests/framework/file_test_util.h"

using ft::Bytes;

namespace {

// How to start the tool (through the emulator in the ARM build); empty when it
// cannot start.
std::string Tool() {
  static std::string cmd = [] {
    const std::string q = zt::ProgramCommand(std::string(ZARN_BINARY_DIR) + "/tools/packtool/packtool");
    return zt::Run(q + " >/dev/null 2>&1") == 2 ? q : std::string();
  }();
  return cmd;
}

std::string Slurp(const std::string& path) {
  Bytes b = zt::ReadFile(path);
  return std::string(b.begin(), b.end());
}

}  // namespace

TEST(PackTool, BuildsListsExtractsEditsAndRebuildsIdentically) {
  const std::string tool = Tool();
  if (tool.empty()) GTEST_SKIP() << "pack tool cannot run here";
  const std::string d = zt::TempDir("packtool");
  zt::WriteFile(d + "/03-boom.wav", ft::Prose(8000, 1));
  zt::WriteFile(d + "/01-click.wav", ft::Random(700, 2));
  zt::WriteFile(d + "/02-music.mod", Bytes(5000, 7));
  // The list's order, not the names' order, numbers the entries.
  zt::WriteFile(d + "/list", ft::Text("# effects\n" + d + "/03-boom.wav\r\n" + d + "/01-click.wav\n\n" +
                                     d + "/02-music.mod\n"));
  const std::string env = "cd '" + d + "' && SOURCE_DATE_EPOCH=1500000000 ";
  for (const char* p : {"a.epk", "b.epk"}) {
    ASSERT_EQ(zt::Run(env + tool + " create " + p), 0);
    ASSERT_EQ(zt::Run(env + tool + " add " + p + " -m 1 -l list"), 0);
  }
  const Bytes a = zt::ReadFile(d + "/a.epk");
  EXPECT_TRUE(a == zt::ReadFile(d + "/b.epk"));
  EXPECT_EQ(zt::Run(env + tool + " create a.epk 2>/dev/null"), 1);  // exists

  ClassEFile::SetSyncOnClose(false);
  ClassEFile f;
  ASSERT_TRUE(f.Open((d + "/a.epk").c_str(), 1));
  ASSERT_EQ(f.PackContainFiles(), 3u);
  const char* order[] = {"03-boom.wav", "01-click.wav", "02-music.mod"};
  for (uint32_t i = 0; i < 3; i++) {
    EPK_FILEINFO info;
    ASSERT_TRUE(f.PackGetFileInfo(&info, i, false));
    EXPECT_STREQ(info.name, order[i]);
    EXPECT_EQ(info.created, 1500000000u);
    EXPECT_EQ(info.modified, 1500000000u);
  }
  f.Close();

  ASSERT_EQ(zt::Run("cd '" + d + "' && " + tool + " list a.epk > listing"), 0);
  const std::string listing = Slurp(d + "/listing");
  EXPECT_NE(listing.find("vendor ZARN, 3 entries"), std::string::npos);
  EXPECT_NE(listing.find("01-click.wav"), std::string::npos);
  EXPECT_NE(listing.find("2017-07-14 02:40:00"), std::string::npos);
  EXPECT_NE(listing.find("lzw"), std::string::npos);
  EXPECT_NE(listing.find("stored"), std::string::npos);

  ASSERT_EQ(zt::Run("cd '" + d + "' && mkdir out && " + tool + " extract a.epk out"), 0);
  EXPECT_TRUE(zt::ReadFile(d + "/out/03-boom.wav") == ft::Prose(8000, 1));
  EXPECT_TRUE(zt::ReadFile(d + "/out/02-music.mod") == Bytes(5000, 7));
  EXPECT_EQ(zt::Run("cd '" + d + "' && " + tool + " extract a.epk out 01-click.wav 2>/dev/null"), 1);
  EXPECT_EQ(zt::Run("cd '" + d + "' && " + tool + " extract a.epk out -f 01-click.wav"), 0);

  ASSERT_EQ(zt::Run(env + tool + " delete a.epk 01-click.wav"), 0);
  ASSERT_EQ(zt::Run(env + tool + " tag a.epk GAME"), 0);
  ASSERT_EQ(zt::Run(env + tool + " add a.epk -m 2 -r " + d + "/03-boom.wav"), 0);
  EXPECT_EQ(zt::Run(env + tool + " delete a.epk nothing.wav 2>/dev/null"), 1);
  ASSERT_TRUE(f.Open((d + "/a.epk").c_str(), 1));
  ASSERT_EQ(f.PackContainFiles(), 2u);
  char vendor[5];
  f.PackGetVendor(vendor);
  EXPECT_STREQ(vendor, "GAME");
  EPK_FILEINFO info;
  ASSERT_TRUE(f.PackGetFileInfo(&info, 0u, false));
  EXPECT_EQ(info.method, 2);
  f.Close();

  // An EPCK pack from the independent writer converts to EPK2 with its entries.
  if (ft::HavePython()) {
    ASSERT_EQ(ft::Py("epck '" + d + "/old.pck' OLDV 1 '" + d + "/03-boom.wav' '" + d + "/02-music.mod'"), 0);
    ASSERT_EQ(zt::Run(env + tool + " convert old.pck"), 0);
    ASSERT_TRUE(f.Open((d + "/old.pck").c_str(), 1));
    ASSERT_TRUE(f.PackValid());
    void* data = nullptr;
    uint32_t len = 0;
    ASSERT_EQ(f.PackGetFileData(data, len, "02-music.mod"), 0);
    EXPECT_TRUE(Bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + len) == Bytes(5000, 7));
    ClassEMemory::DeAlloc(data);
    f.Close();
    EXPECT_EQ(std::memcmp(zt::ReadFile(d + "/old.pck").data(), "EPK2", 4), 0);
  }
  EXPECT_EQ(zt::Run(tool + " bogus x 2>/dev/null"), 2);
}
