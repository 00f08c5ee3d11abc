// Files, folders, names, attributes, MoveData and SetSize.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utime.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "framework/emod_file.h"
#include "framework/emod_memory.h"
#include "tests/framework/file_test_util.h"

using ft::Bytes;

namespace {
std::u16string W(const std::string& s) { return std::u16string(s.begin(), s.end()); }
const uint16_t* P(const std::u16string& s) { return reinterpret_cast<const uint16_t*>(s.c_str()); }
std::string N(const uint16_t* w) {
  std::string s;
  while (*w) s.push_back(static_cast<char>(*w++));
  return s;
}
}  // namespace

TEST(Files, OpenModesReadWriteAndSize) {
  ft::FixedClock();
  const std::string d = zt::TempDir("files_basic");
  ClassEFile f;
  f.SetCurrentFolder(d.c_str());
  EXPECT_FALSE(f.Open("missing.bin", 0));  // "r+b" needs the file
  EXPECT_FALSE(f.IsOpen());
  ASSERT_TRUE(f.Open("made.bin", 2));      // "wb" creates it
  EXPECT_TRUE(f.Write("abcdef", 6));
  EXPECT_FALSE(f.Write("x", 0));
  f.Close();
  ASSERT_TRUE(f.Open("made.bin", 1));
  EXPECT_FALSE(f.PackValid());
  char buf[8] = {};
  EXPECT_FALSE(f.Read(buf, 0));
  EXPECT_TRUE(f.Read(buf, 4));
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(f.Tell(), 4u);
  EXPECT_FALSE(f.Read(buf, 4));  // only two bytes left: not one whole item
  EXPECT_EQ(f.Size(), 6u);
  EXPECT_EQ(f.SizeC("MADE.BIN"), 6u);  // the open file, in other letter case
  EXPECT_EQ(f.Size(P(W(d + "/made.bin"))), 6u);
  f.Close();
  EXPECT_EQ(f.Size(), 0u);
  EXPECT_EQ(f.SizeC("made.bin"), 6u);
  EXPECT_EQ(f.SizeC("missing.bin"), 0u);
  ASSERT_TRUE(f.New("made.bin"));  // emptied
  EXPECT_EQ(f.Size(), 0u);
  EXPECT_FALSE(f.Open("made.bin", 9));
}

TEST(Files, NameResolution) {
  uint16_t out[512];
  uint16_t folder[512];
  ClassEStd::StrCpy(folder, "/base/", 512);
  ASSERT_TRUE(EFile_CheckFileName(out, P(u"res\\gfx.epk"), nullptr, folder));
  EXPECT_EQ(N(out), "/base/res/gfx.epk");
  ASSERT_TRUE(EFile_CheckFileName(out, P(u"C:\\x\\y.txt"), nullptr, folder));
  EXPECT_EQ(N(out), "C:/x/y.txt");
  ASSERT_TRUE(EFile_CheckFileName(out, P(u"\\abs"), nullptr, folder));
  EXPECT_EQ(N(out), "/abs");
  ASSERT_TRUE(EFile_CheckFileName(out, nullptr, P(u"/open/file"), folder));
  EXPECT_EQ(N(out), "/open/file");
  // Too long for the 512-unit fields: refused, never overrun.
  const std::u16string longName(600, u'n');
  EXPECT_FALSE(EFile_CheckFileName(out, P(longName), nullptr, folder));
  ClassEFile f;
  EXPECT_FALSE(f.Open(std::string(600, 'n').c_str(), 2));
  // An empty folder becomes the working folder.
  folder[0] = 0;
  ASSERT_TRUE(EFile_CheckFileName(out, P(u"x"), nullptr, folder));
  char cwd[512];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(N(out), std::string(cwd) + "/x");

  // Current folder walking.
  f.SetCurrentFolder("/a/b/");
  f.SetCurrentFolder("../c/./d\\..\\e");
  EXPECT_STREQ(f.GetCurrentFolderC(), "/a/c/e/");
  f.SetCurrentFolder("/../../x");
  EXPECT_STREQ(f.GetCurrentFolderC(), "/x/");
  f.SetCurrentFolder("C:\\games\\..\\..\\zz");
  EXPECT_STREQ(f.GetCurrentFolderC(), "C:/zz/");

  char name[] = "a\\b\\c.txt";
  EXPECT_STREQ(ClassEFile::GetFolderName(name), "a/b/");
  char plain[] = "c.txt";
  EXPECT_STREQ(ClassEFile::GetFolderName(plain), "");
  char path[] = "a/b/c.txt";
  EXPECT_STREQ(ClassEFile::GetFileName(path), "c.txt");
  EXPECT_EQ(EFile_LongFCC("RIFF"), 0x46464952u);
  char fcc[5];
  EFile_CharFCC(fcc, 0x32204B45u);
  EXPECT_STREQ(fcc, "EK 2");
  char store[64];
  EFile_CheckStoreName(store, "dir/");
  EXPECT_STREQ(store, "");
  EFile_CheckStoreName(store, (std::string(80, 'x') + "." + std::string(40, 'e')).c_str());
  EXPECT_EQ(std::string(store), std::string(31, 'x') + "." + std::string(31, 'e'));
}

TEST(Files, FoldersAttributesAndRenames) {
  ft::FixedClock();
  const std::string d = zt::TempDir("files_folders");
  ClassEFile f;
  f.SetCurrentFolder(d.c_str());
  ASSERT_TRUE(f.NewFolder("sub"));
  struct stat st;
  ASSERT_EQ(stat((d + "/sub").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0700, 0700u);  // enterable, not 0600
  EXPECT_EQ(f.GetAttributesC("sub"), 0x21);
  EXPECT_TRUE(f.IsFolder("sub"));
  zt::WriteFile(d + "/sub/one.txt", ft::Text("1"));
  EXPECT_EQ(f.GetAttributesC("sub/one.txt"), 1);
  EXPECT_EQ(f.GetAttributesC("nothing"), 0);
  EXPECT_FALSE(f.Exists("nothing"));
  chmod((d + "/sub/one.txt").c_str(), 0444);
  EXPECT_EQ(f.GetAttributesC("sub/one.txt"), 3);
  chmod((d + "/sub").c_str(), 0555);
  EXPECT_EQ(f.GetAttributesC("sub"), 3);
  EXPECT_FALSE(f.IsFolder("sub"));
  chmod((d + "/sub").c_str(), 0755);

  E_FILEINFO info;
  utime((d + "/sub/one.txt").c_str(), nullptr);
  EXPECT_TRUE(f.GetInformationC(&info, "sub/one.txt", false));
  EXPECT_EQ(info.attributes, 3);
  EXPECT_GE(info.modified.year, 2020u);
  EXPECT_FALSE(f.GetInformationC(&info, "nothing", false));

  // Rename(new, current).
  EXPECT_TRUE(f.Rename("sub/two.txt", "sub/one.txt"));
  EXPECT_TRUE(f.Exists("sub/two.txt"));
  EXPECT_FALSE(f.Exists("sub/one.txt"));

  ASSERT_TRUE(f.OpenFolder("sub"));
  std::vector<std::string> names;
  char entry[256];
  while (f.ReadFolder(entry)) names.push_back(entry);
  EXPECT_NE(std::find(names.begin(), names.end(), "two.txt"), names.end());
  EXPECT_FALSE(f.ReadFolder(entry));  // the listing closed itself
  EXPECT_TRUE(f.OpenFolder("no-such-folder"));
  uint16_t wentry[256] = {'x'};
  EXPECT_FALSE(f.ReadFolder(wentry));
  EXPECT_EQ(wentry[0], 0);

  EXPECT_FALSE(f.DeleteFolder("sub"));  // not empty
  EXPECT_TRUE(f.Delete("sub/two.txt"));
  EXPECT_TRUE(f.RenameFolder("sub2", "sub"));
  EXPECT_TRUE(f.DeleteFolder("sub2"));
  EXPECT_FALSE(f.Exists("sub2"));
}

// Both forms of ReadFolder list the same names, bytes as they stand, and leave
// an empty name in the caller's buffer once the listing ends or when none is
// open; a null buffer takes no entry.
TEST(Files, ReadFolderFormsListAlike) {
  const std::string d = zt::TempDir("files_listing");
  const std::string accented = "\xC3\xA9t\xC3\xA9.bin";
  ASSERT_TRUE(zt::WriteFile(d + "/a.txt", {}));
  ASSERT_TRUE(zt::WriteFile(d + "/" + accented, {1}));
  ClassEFile f;
  f.SetCurrentFolder(d.c_str());
  using Read = std::function<bool(std::string*)>;
  const Read narrow = [&](std::string* name) {
    char b[256];
    std::memset(b, 'x', sizeof b - 1);
    b[sizeof b - 1] = 0;
    const bool r = f.ReadFolder(b);
    *name = b;
    return r;
  };
  const Read wide = [&](std::string* name) {
    uint16_t b[256];
    std::fill(b, b + 255, uint16_t('x'));
    b[255] = 0;
    const bool r = f.ReadFolder(b);
    *name = N(b);
    return r;
  };
  const std::vector<std::string> all = {".", "..", "a.txt", accented};
  for (const auto& [form, read] : {std::pair<const char*, Read>{"8-bit", narrow}, {"16-bit", wide}}) {
    SCOPED_TRACE(form);
    ASSERT_TRUE(f.OpenFolder("."));
    std::vector<std::string> names;
    std::string name;
    while (read(&name)) names.push_back(name);
    EXPECT_EQ(name, "") << "the end of the listing";
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, all);
    EXPECT_FALSE(read(&name));
    EXPECT_EQ(name, "") << "no listing open";
  }
  ASSERT_TRUE(f.OpenFolder("."));
  EXPECT_FALSE(f.ReadFolder(static_cast<char*>(nullptr)));
  EXPECT_FALSE(f.ReadFolder(static_cast<uint16_t*>(nullptr)));
  size_t n = 0;
  for (std::string name; narrow(&name);) n++;
  EXPECT_EQ(n, all.size());
}

TEST(Files, MoveDataAndSetSize) {
  ft::FixedClock();
  const std::string d = zt::TempDir("files_move");
  Bytes data(1000);
  for (size_t i = 0; i < data.size(); i++) data[i] = static_cast<uint8_t>(i * 7);
  zt::WriteFile(d + "/m", data);
  ClassEFile f;
  f.SetCurrentFolder(d.c_str());
  ASSERT_TRUE(f.Open("m", 0));
  // Overlapping moves in both directions with a chunk that does not divide the count.
  ASSERT_TRUE(f.MoveData(100, 50, 700, 64));
  Bytes want = data;
  std::memmove(&want[100], &data[50], 700);
  f.Close();
  EXPECT_TRUE(zt::ReadFile(d + "/m") == want);
  ASSERT_TRUE(f.Open("m", 0));
  ASSERT_TRUE(f.MoveData(10, 300, 650, 100));
  Bytes want2 = want;
  std::memmove(&want2[10], &want[300], 650);
  EXPECT_TRUE(f.MoveData(5, 5, 100, 10));
  EXPECT_TRUE(f.MoveData(5, 9, 0, 10));
  EXPECT_FALSE(f.MoveData(0, 990, 100, 10));  // the second block reads past the end
  std::memcpy(&want2[0], &want2[990], 10);    // the first block did move
  f.Seek(500);
  ASSERT_TRUE(f.SetSize(300));
  EXPECT_EQ(f.Tell(), 299u);  // position beyond the new end
  EXPECT_EQ(f.Size(), 300u);
  f.Close();
  want2.resize(300);
  EXPECT_TRUE(zt::ReadFile(d + "/m") == want2);
  EXPECT_TRUE(f.SetSize(5));  // nothing open: 1 and nothing done
  EXPECT_FALSE(f.MoveData(0, 1, 2, 3));
}

TEST(Files, EightBitNamesLongerThan255Characters) {
  ft::FixedClock();
  const std::string d = zt::TempDir("files_long");
  ClassEFile f;
  f.SetCurrentFolder(d.c_str());
  std::string deep;
  for (int i = 0; i < 6; i++) deep += std::string(50, static_cast<char>('a' + i)) + "/";
  ASSERT_EQ(zt::Run("mkdir -p '" + d + "/" + deep + "'"), 0);
  const std::string name = deep + "file.txt";  // more than 256 characters
  ASSERT_GT(name.size(), 256u);
  ASSERT_TRUE(f.Open(name.c_str(), 2));
  EXPECT_TRUE(f.Write("ok", 2));
  f.Close();
  EXPECT_TRUE(zt::ReadFile(d + "/" + name) == ft::Text("ok"));
}
