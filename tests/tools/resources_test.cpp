// The generated resources: the three packs of the build, checked with outside
// tools, with the project's own loaders and against the layouts the game draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "display/edsp_base.h"
#include "display/esurf_3d.h"
#include "framework/emod_bytes.h"
#include "framework/emod_file.h"
#include "framework/emod_math.h"
#include "framework/emod_memory.h"
#include "framework/zarn_types.h"
#include "loaders/eldr_3ds.h"
#include "tests/support/harness.h"

namespace {

using Bytes = std::vector<uint8_t>;
const std::string kBuild = ZARN_BINARY_DIR;
const std::string kSource = ZARN_SOURCE_DIR;

struct Entry {
  std::string name;
  Bytes data;
};

std::vector<Entry> ReadPack(const std::string& path) {
  std::vector<Entry> out;
  ClassEFile f;
  if (!f.Open(path.c_str(), 1)) return out;
  for (uint32_t i = 0; i < f.PackContainFiles(); i++) {
    EPK_FILEINFO info{};
    void* data = nullptr;
    uint32_t len = 0;
    if (!f.PackGetFileInfo(&info, i, false) || f.PackGetFileData(data, len, i) != 0) return {};
    Entry e{info.name, Bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + len)};
    ClassEMemory::DeAlloc(data);
    out.push_back(e);
  }
  return out;
}

uint32_t Le32(const Bytes& b, size_t at) { return EBytes_Get32(b.data() + at); }
uint16_t Le16(const Bytes& b, size_t at) { return EBytes_Get16(b.data() + at); }

// A 24-bit bottom-up BMP as 0xRRGGBB rows, top row first (what the generator writes).
struct Pic {
  int w = 0, h = 0;
  std::vector<uint32_t> px;
  uint32_t at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};
Pic DecodeBmp24(const Bytes& b) {
  Pic p;
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || Le16(b, 28) != 24) return p;
  p.w = int(Le32(b, 18));
  p.h = int(Le32(b, 22));
  size_t stride = (size_t(p.w) * 3 + 3) & ~size_t(3), off = Le32(b, 10);
  if (off + stride * size_t(p.h) > b.size()) return Pic{};
  p.px.resize(size_t(p.w) * size_t(p.h));
  for (int y = 0; y < p.h; y++)
    for (int x = 0; x < p.w; x++) {
      const uint8_t* s = &b[off + stride * size_t(p.h - 1 - y) + size_t(x) * 3];
      p.px[size_t(y) * size_t(p.w) + size_t(x)] = uint32_t(s[2]) << 16 | uint32_t(s[1]) << 8 | s[0];
    }
  return p;
}

uint16_t To565(uint32_t rgb) { return uint16_t(((rgb >> 19) & 31) << 11 | ((rgb >> 10) & 63) << 5 | ((rgb >> 3) & 31)); }

// Marker-row runs as the font tables read them: (start, width) of each run of non-key pixels.
std::vector<std::pair<int, int>> Runs(const Pic& p, uint32_t key) {
  std::vector<std::pair<int, int>> r;
  int start = -1;
  for (int x = 0; x < p.w; x++) {
    bool ink = p.at(x, 0) != key;
    if (ink && start < 0) start = x;
    if (!ink && start >= 0) {
      r.push_back({start, x - start});
      start = -1;
    }
  }
  return r;
}

class Resources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    gfx_ = ReadPack(kBuild + "/res/gfx.epk");
    sfx_ = ReadPack(kBuild + "/res/sfx.epk");
    bgm_ = ReadPack(kBuild + "/res/bgm.epk");
    dir_ = zt::TempDir("resources");
    // The outside tools read the files as the pack tool extracts them.
    const std::string packtool = kBuild + "/tools/packtool/packtool";
    extracted_ = zt::Run("test -x '" + packtool + "'") == 0;
    for (const char* p : {"gfx", "sfx", "bgm"})
      if (extracted_)
        extracted_ = zt::Run(zt::ProgramCommand(packtool) + " extract '" + kBuild + "/res/" + p + ".epk' '" + dir_ +
                             "' -f >/dev/null") == 0;
    if (!extracted_)
      for (auto* set : {&gfx_, &sfx_, &bgm_})
        for (const Entry& e : *set) zt::WriteFile(dir_ + "/" + e.name, e.data);
  }
  void SetUp() override {
    if (gfx_.empty() || sfx_.empty() || bgm_.empty()) GTEST_SKIP() << "no packs in " << kBuild << "/res";
  }
  static const Bytes& Gfx(const std::string& name) {
    for (const Entry& e : gfx_)
      if (e.name == name) return e.data;
    static const Bytes none;
    return none;
  }
  static Pic Bmp(const std::string& name) { return DecodeBmp24(Gfx(name)); }

  static std::vector<Entry> gfx_, sfx_, bgm_;
  static std::string dir_;
  static bool extracted_;
};
std::vector<Entry> Resources::gfx_, Resources::sfx_, Resources::bgm_;
std::string Resources::dir_;
bool Resources::extracted_ = false;

const char* kPictures[] = {"splash.bmp", "title.bmp", "gamehud.bmp", "sheet.bmp", "block.bmp", "minisheet.bmp",
                           "minibomb.bmp", "font_frontmask.bmp", "font_backmask.bmp", "keyfont.bmp", "font.bmp",
                           "kbkey.png", "zarnbanner.png"};

TEST_F(Resources, PacksHoldEveryEntryFoundByName) {
  ClassEFile f;
  ASSERT_TRUE(f.Open((kBuild + "/res/gfx.epk").c_str(), 1));
  for (const char* n : kPictures) {
    uint32_t i = 0;
    std::string upper = n;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_TRUE(f.PackSearchFile(upper.c_str(), i)) << n;
  }
  uint32_t i = 0;
  EXPECT_TRUE(f.PackSearchFile("zarnlogo.3ds", i));
  ASSERT_EQ(sfx_.size(), 16u);
  for (size_t k = 0; k < sfx_.size(); k++) EXPECT_EQ(std::stoi(sfx_[k].name.substr(0, 2)), int(k + 1)) << sfx_[k].name;
  ASSERT_EQ(bgm_.size(), 2u);
}

TEST_F(Resources, PackToolExtractsWhatTheReaderReads) {
  if (!extracted_) GTEST_SKIP() << "pack tool missing";
  for (auto* set : {&gfx_, &sfx_, &bgm_})
    for (const Entry& e : *set) EXPECT_TRUE(zt::ReadFile(dir_ + "/" + e.name) == e.data) << e.name;
}

TEST_F(Resources, RebuildingGivesIdenticalPacks) {
  std::string resgen = kBuild + "/tools/resgen/resgen", packtool = kBuild + "/tools/packtool/packtool";
  if (zt::Run("test -x '" + resgen + "' && test -x '" + packtool + "' && command -v cmake >/dev/null") != 0)
    GTEST_SKIP() << "generator, pack tool or cmake missing";
  std::string d = zt::TempDir("resources_rebuild");
  ASSERT_EQ(zt::Run("cmake -DRESGEN='" + resgen + "' -DPACKTOOL='" + packtool + "' -DWORK='" + d + "/work' -DRES='" + d +
                    "/res' -P '" + kSource + "/tools/resgen/pack.cmake' >/dev/null"),
            0);
  for (const char* p : {"gfx.epk", "sfx.epk", "bgm.epk"}) {
    Bytes a = zt::ReadFile(kBuild + "/res/" + p), b = zt::ReadFile(d + "/res/" + p);
    EXPECT_FALSE(a.empty()) << p;
    EXPECT_TRUE(a == b) << p << " differs between two builds";
  }
}

struct Size {
  const char* name;
  int w, h;  // 0: checked below
};
const Size kSizes[] = {{"splash.bmp", 320, 240}, {"title.bmp", 320, 240}, {"gamehud.bmp", 320, 240},
                       {"sheet.bmp", 192, 312},  {"block.bmp", 120, 72},  {"minisheet.bmp", 48, 18},
                       {"minibomb.bmp", 96, 12}, {"font.bmp", 1024, 11},  {"kbkey.png", 24, 26},
                       {"zarnbanner.png", 320, 40}};

TEST_F(Resources, OutsideToolsOpenEveryPicture) {
  bool im = zt::HaveExecutable(zt::kIdentify);
  bool pil = zt::HavePythonModule("PIL");
  if (!im && !pil) GTEST_SKIP() << "neither ImageMagick nor Pillow";
  for (const char* n : kPictures) {
    std::string path = dir_ + "/" + n;
    std::string want;
    for (const Size& s : kSizes)
      if (std::string(s.name) == n) want = std::to_string(s.w) + " " + std::to_string(s.h);
    if (im) {
      std::string got = zt::Capture(std::string(zt::kIdentify) + " -format '%w %h' '" + path + "' 2>&1");
      if (!want.empty()) {
        EXPECT_EQ(got, want) << n;
      } else {
        EXPECT_NE(got.find(' '), std::string::npos) << n << ": " << got;
      }
    }
    if (pil) {
      std::string got = zt::Capture(std::string(zt::kPython) + " -c \"from PIL import Image; i=Image.open('" + path +
                                "'); i.load(); print(i.size[0], i.size[1], i.mode)\" 2>&1");
      if (!want.empty()) {
        EXPECT_EQ(got.substr(0, want.size()), want) << n;
      }
      std::string mode = std::string(n).find(".png") != std::string::npos ? "RGBA" : "RGB";
      EXPECT_NE(got.find(mode), std::string::npos) << n << ": " << got;
    }
  }
  if (zt::HaveTool("pngcheck")) {
    for (const char* n : {"kbkey.png", "zarnbanner.png"})
      EXPECT_EQ(zt::Run("pngcheck -q '" + dir_ + "/" + n + "' >/dev/null"), 0) << n;
  }
}

TEST_F(Resources, EffectsReadBySoxAndFreeOfClipping) {
  if (!zt::HaveTool("soxi") || !zt::HaveTool("sox")) GTEST_SKIP() << "sox missing";
  std::set<std::string> encodings;  // with the sample size: "MS ADPCM 4", "Unsigned Integer PCM 8"
  for (const Entry& e : sfx_) {
    std::string path = dir_ + "/" + e.name;
    std::string enc = zt::Capture("soxi -e '" + path + "' 2>&1");
    std::string bits = zt::Capture("soxi -b '" + path + "' 2>&1");
    if (!enc.empty()) enc.pop_back();
    encodings.insert(enc + " " + bits);
    double secs = std::atof(zt::Capture("soxi -D '" + path + "' 2>/dev/null").c_str());
    EXPECT_GT(secs, 0.02) << e.name;
    EXPECT_LT(secs, 3.0) << e.name;
    std::string stat = zt::Capture("sox '" + path + "' -n stat 2>&1");
    size_t at = stat.find("Maximum amplitude:");
    ASSERT_NE(at, std::string::npos) << stat;
    double peak = std::atof(stat.c_str() + at + 18);
    EXPECT_LT(peak, 0.99) << e.name;
    EXPECT_GT(peak, 0.3) << e.name;
  }
  EXPECT_TRUE(encodings.count("MS ADPCM 4\n")) << "no MS-ADPCM effect";
  EXPECT_TRUE(encodings.count("Unsigned Integer PCM 8\n")) << "no 8-bit effect";
  EXPECT_TRUE(encodings.count("Signed Integer PCM 16\n")) << "no 16-bit effect";
}

TEST_F(Resources, TracksAreLongLoopingFourVoiceModules) {
  for (const Entry& e : bgm_) {
    const Bytes& m = e.data;
    ASSERT_GT(m.size(), 1084u);
    EXPECT_EQ(std::string(m.begin() + 1080, m.begin() + 1084), "M.K.") << e.name;
    int orders = m[950], patterns = 0;
    for (int i = 0; i < orders; i++) patterns = std::max(patterns, m[952 + size_t(i)] + 1);
    EXPECT_EQ(m[951], 0) << "restarts at the first order";
    // Only effects the player plays; speed and tempo stay at 125.
    std::set<int> plain = {0, 1, 2, 3, 4, 5, 6, 9, 0xA, 0xB, 0xC, 0xD}, extended = {6, 0xA, 0xB, 0xC, 0xD, 0xE};
    for (size_t at = 1084; at < 1084 + size_t(patterns) * 1024; at += 4) {
      int eff = m[at + 2] & 15, par = m[at + 3];
      if (eff == 0xE) {
        EXPECT_TRUE(extended.count(par >> 4)) << e.name << " E" << (par >> 4);
      } else if (eff == 0xF) {
        EXPECT_TRUE(par <= 32 || par == 125) << e.name << " F" << par;
      } else {
        EXPECT_TRUE(plain.count(eff)) << e.name << " effect " << eff;
      }
    }
    size_t samples = 0;
    for (int i = 0; i < 31; i++) samples += 2u * Le16(Bytes{m[20 + 30 * size_t(i) + 23], m[20 + 30 * size_t(i) + 22]}, 0);
    EXPECT_EQ(m.size(), 1084 + size_t(patterns) * 1024 + samples) << e.name;
  }
  if (!zt::HaveTool("openmpt123")) GTEST_SKIP() << "openmpt123 missing";
  for (const Entry& e : bgm_) {
    std::string info = zt::Capture("openmpt123 --info '" + dir_ + "/" + e.name + "' 2>&1");
    size_t at = info.find("Duration...: ");
    ASSERT_NE(at, std::string::npos) << info;
    int mins = 0;
    double secs = 0;
    ASSERT_EQ(std::sscanf(info.c_str() + at + 13, "%d:%lf", &mins, &secs), 2);
    EXPECT_GE(mins * 60 + secs, 60.0) << e.name;
    EXPECT_LT(mins * 60 + secs, 180.0) << e.name;
  }
}

// Font 0's back mask is drawn (subtracted) under its face: it covers every
// glyph's grown ink and, under every printable glyph, a plate across the whole
// cell from the row above the highest ink to the lowest, so that a line of text
// lies on one unbroken plate and nothing behind shows between its glyphs; and
// nothing else, so that the rows of a list keep their gap and the plate darkens
// no more than the line. The ink keeps two free rows above and below (rows of a
// list are a cell height less 2 apart). Glyphs 1 to 7 are the stones' colour
// numbers: dark, so they never add light to what they are drawn on, and with
// no mask, so they darken nothing around them.
TEST_F(Resources, FontStripsShareMarkersAndTheMaskPlatesEachLine) {
  const uint32_t key = 0xFF00FF;
  Pic face = Bmp("font_frontmask.bmp"), mask = Bmp("font_backmask.bmp"), keys = Bmp("keyfont.bmp"), fixed = Bmp("font.bmp");
  ASSERT_GT(face.w, 0);
  auto runs = Runs(face, key);
  ASSERT_EQ(runs.size(), 128u);
  EXPECT_EQ(Runs(mask, key), runs);
  ASSERT_EQ(face.h, mask.h);
  for (int x = 0; x < face.w; x++) EXPECT_EQ(face.at(x, 1), key) << "row 1 is not glyph pixels";
  // Rows of the cells (strip rows from 2) that hold ink in any printable glyph.
  int top = face.h, bottom = -1;
  for (int g = 32; g < 127; g++)
    for (int y = 2; y < face.h; y++)
      for (int x = runs[size_t(g)].first; x < runs[size_t(g)].first + runs[size_t(g)].second; x++)
        if (face.at(x, y) != key) top = std::min(top, y), bottom = std::max(bottom, y);
  EXPECT_EQ(top - 2, 2) << "two free rows above the ink";
  EXPECT_EQ(face.h - 1 - bottom, 2) << "two free rows below the ink";
  for (int g = 1; g < 127; g++) {
    if (g > 7 && g < 32) continue;
    auto [s, w] = runs[size_t(g)];
    bool any = false;
    for (int y = 2; y < face.h; y++)
      for (int x = s; x < s + w; x++) {
        bool grown = false;
        for (int j = -1; j <= 1; j++)
          for (int i = -1; i <= 1; i++) {
            int xx = x + i, yy = y + j;
            if (xx >= s && xx < s + w && yy >= 2 && yy < face.h && face.at(xx, yy) != key) grown = true;
          }
        const uint32_t f = face.at(x, y);
        if (f != key) {
          any = true;
          const uint32_t bright = std::max({f >> 16 & 255, f >> 8 & 255, f & 255});
          if (g < 32) {
            EXPECT_LT(bright, 0x40u) << "stone number " << g << " is dark";
          } else {
            EXPECT_GE(bright, 0xC0u) << "glyph " << g << " is light";
          }
        }
        const bool plate = g >= 32 && (grown || (y >= top - 1 && y <= bottom));
        EXPECT_EQ(mask.at(x, y) != key, plate) << "glyph " << g << " at " << x << "," << y;
      }
    EXPECT_EQ(any, g != ' ') << "glyph " << g;
  }
  auto kruns = Runs(keys, key);
  ASSERT_EQ(kruns.size(), 128u);
  for (int g : {24, 25, 26, 27, 28, 29, 30, 31, int('A'), int('z'), int('0'), int('?')}) {
    bool any = false;
    for (int y = 2; y < keys.h; y++)
      for (int x = kruns[size_t(g)].first; x < kruns[size_t(g)].first + kruns[size_t(g)].second; x++) any |= keys.at(x, y) != key;
    EXPECT_TRUE(any) << "key glyph " << g;
  }
  EXPECT_EQ(fixed.w % 128, 0);
}

// The keyboard's key of code 7 (shown with glyph 28 of the key font) ends the
// name and host entries, and in the highscore entry throws the name away: it is
// an Escape key and is lettered as one, not drawn as a check mark that promises
// to confirm.
TEST_F(Resources, EscapeKeyIsLetteredEsc) {
  const uint32_t key = 0xFF00FF;
  Pic keys = Bmp("keyfont.bmp");
  auto runs = Runs(keys, key);
  ASSERT_EQ(runs.size(), 128u);
  auto [s, w] = runs[28];
  std::vector<std::string> ink;
  for (int y = 2; y < keys.h; y++) {
    std::string row;
    for (int x = s; x < s + w; x++) row += keys.at(x, y) != key ? '#' : '.';
    ink.push_back(row);
  }
  // Trim to the ink.
  auto blank = [](const std::string& r) { return r.find('#') == std::string::npos; };
  while (!ink.empty() && blank(ink.front())) ink.erase(ink.begin());
  while (!ink.empty() && blank(ink.back())) ink.pop_back();
  ASSERT_FALSE(ink.empty());
  size_t l = std::string::npos, r = 0;
  for (const std::string& row : ink)
    if (!blank(row)) l = std::min(l, row.find('#')), r = std::max(r, row.rfind('#'));
  for (std::string& row : ink) row = row.substr(l, r - l + 1);
  const std::vector<std::string> esc = {"###.###.###", "#...#...#..", "###.###.#..", "#.....#.#..", "###.###.###"};
  EXPECT_EQ(ink, esc);
}

TEST_F(Resources, KeyedArtStaysClearOfItsKeys) {
  struct K {
    const char* name;
    uint32_t key;
  };
  for (K k : {K{"sheet.bmp", 0xFF00FF}, K{"minisheet.bmp", 0xFF00FF}, K{"minibomb.bmp", 0xFF00FF},
              K{"gamehud.bmp", 0xFF00FF}, K{"font_frontmask.bmp", 0xFF00FF}, K{"font_backmask.bmp", 0xFF00FF},
              K{"keyfont.bmp", 0xFF00FF}, K{"font.bmp", 0xFF00FF}, K{"block.bmp", 0x800080}}) {
    Pic p = Bmp(k.name);
    ASSERT_GT(p.w, 0) << k.name;
    int near = 0;
    for (uint32_t v : p.px) near += v != k.key && To565(v) == To565(k.key);
    EXPECT_EQ(near, 0) << k.name;
  }
}

TEST_F(Resources, SheetsLeaveComposedCellsEmptyAndFillTheDrawnOnes) {
  const uint32_t key = 0xFF00FF;
  Pic sheet = Bmp("sheet.bmp");
  ASSERT_EQ(sheet.w, 192);
  auto cell_keyed = [&](int k, int& inked) {
    inked = 0;
    for (int y = 0; y < 24; y++)
      for (int x = 0; x < 24; x++) inked += sheet.at(24 * (k & 7) + x, 24 * (k >> 3) + y) != key;
  };
  int ink = 0;
  for (int row = 0; row < 7; row++)
    for (int col = 0; col < 5; col++) {
      cell_keyed(8 * row + col, ink);
      EXPECT_EQ(ink, 0) << "stone frame " << 8 * row + col << " is composed at load";
    }
  cell_keyed(23, ink);
  EXPECT_EQ(ink, 0);
  for (int k : {5, 6, 7, 13, 14, 15, 21, 37, 38, 39, 45, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68,
                69, 70, 71}) {
    cell_keyed(k, ink);
    EXPECT_GT(ink, 20) << "sprite " << k;
  }
  for (int f = 0; f < 8; f++) {
    int base = 72 + 2 * (f & 3) + 16 * (f >> 2), total = 0;
    for (int k : {base, base + 1, base + 8, base + 9}) {
      cell_keyed(k, ink);
      total += ink;
    }
    EXPECT_GT(total, 100) << "explosion frame " << f;
  }
  // Cell 53 is drawn keyed on black over the tinted ice: its dark pixels must not read as black.
  EXPECT_EQ(sheet.at(120, 144), key);
  int blackish = 0, black = 0;
  for (int y = 0; y < 24; y++)
    for (int x = 0; x < 24; x++) {
      uint32_t v = sheet.at(120 + x, 144 + y);
      black += v == 0;
      blackish += v != 0 && To565(v) == 0;
    }
  EXPECT_EQ(blackish, 0);
  EXPECT_GT(black, 20);

  Pic block = Bmp("block.bmp");
  for (int f = 0; f < 5; f++) {
    EXPECT_EQ(block.at(24 * f, 48), key) << "outside of frame " << f;
    EXPECT_EQ(block.at(24 * f + 12, 48 + 12), 0x800080u) << "inside of frame " << f;
  }
  Pic mini = Bmp("minisheet.bmp");
  for (int c = 0; c < 7; c++)
    for (int y = 0; y < 6; y++)
      for (int x = 0; x < 6; x++) EXPECT_EQ(mini.at(6 * c + x, y), key);
  for (int y = 0; y < 6; y++)
    for (int x = 0; x < 6; x++) {
      uint32_t t = mini.at(30 + x, 12 + y);
      EXPECT_TRUE(t != 0 && t != 0x800080) << "tint template is keyed on black, then 0x800080";
    }
  EXPECT_EQ(mini.at(42 + 2, 12 + 2), 0x800080u);
  EXPECT_EQ(mini.at(42, 12), key);
}

TEST_F(Resources, ModelReadByAssimpAndOwnLoader) {
  const Bytes& file = Gfx("zarnlogo.3ds");
  ASSERT_GT(file.size(), 100u);
  if (zt::HaveTool("assimp")) {
    std::string info = zt::Capture("assimp info '" + dir_ + "/zarnlogo.3ds' 2>&1");
    EXPECT_NE(info.find("Meshes:             1\n"), std::string::npos) << info;
    size_t at = info.find("Faces:");
    ASSERT_NE(at, std::string::npos);
    EXPECT_GE(std::atoi(info.c_str() + at + 6), 120);
  }
  ClassEMemory mem;
  ClassEMath math;
  math.Init();
  ClassEDisplay dsp;
  ECD ecd{};
  ecd.mem = &mem;
  ecd.math = &math;
  ecd.dsp = &dsp;
  ASSERT_EQ(RegisterDisplayLoaders(&dsp), 1);
  E3DSurface model;
  model.LinkECD(&ecd);
  Bytes copy = file;
  ASSERT_EQ(model.LoadModel(copy.data(), uint32_t(copy.size())), 0);
  const uint32_t n = model.PolygonsInUse();
  ASSERT_GE(n, 120u);
  const EPOLYGON3D* polys = model.GetPolygonArray();
  // Whole units within +-900, no sliver triangles.
  std::vector<std::array<int32_t, 3>> pts;
  for (uint32_t i = 0; i < n; i++) {
    std::array<double, 9> c{};
    for (int k = 0; k < 3; k++) {
      const EVECTOR3D& p = polys[i].vertex[k]->pos;
      for (int32_t v : {p.x, p.y, p.z}) {
        EXPECT_EQ(v & 255, 0);
        EXPECT_LE(std::abs(v >> 8), 900);
      }
      c[size_t(3 * k)] = p.x / 256.0; c[size_t(3 * k + 1)] = p.y / 256.0; c[size_t(3 * k + 2)] = p.z / 256.0;
    }
    double ux = c[3] - c[0], uy = c[4] - c[1], uz = c[5] - c[2], vx = c[6] - c[0], vy = c[7] - c[1], vz = c[8] - c[2];
    double cx = uy * vz - uz * vy, cy = uz * vx - ux * vz, cz = ux * vy - uy * vx;
    double area2 = std::sqrt(cx * cx + cy * cy + cz * cz);
    double longest = 0;
    for (int k = 0; k < 3; k++) {
      int j = (k + 1) % 3;
      longest = std::max(longest, std::hypot(c[size_t(3 * j)] - c[size_t(3 * k)], c[size_t(3 * j + 1)] - c[size_t(3 * k + 1)],
                                              c[size_t(3 * j + 2)] - c[size_t(3 * k + 2)]));
    }
    EXPECT_GT(area2 / longest, 20.0) << "triangle " << i << " is a sliver";
  }
  // Closed: every edge, split at the vertices lying on it, meets an opposite edge.
  std::vector<std::array<double, 3>> verts;
  for (uint32_t i = 0; i < model.VerticesInUse(); i++) {
    EVERTEX3D v;
    model.GetVertex(&v, i);
    verts.push_back({v.pos.x / 256.0, v.pos.y / 256.0, v.pos.z / 256.0});
  }
  auto key = [](const std::array<double, 3>& a) { return std::to_string(std::lround(a[0])) + "," + std::to_string(std::lround(a[1])) + "," + std::to_string(std::lround(a[2])); };
  std::map<std::pair<std::string, std::string>, int> segs;
  for (uint32_t i = 0; i < n; i++)
    for (int k = 0; k < 3; k++) {
      const EVECTOR3D &pa = polys[i].vertex[k]->pos, &pb = polys[i].vertex[(k + 1) % 3]->pos;
      std::array<double, 3> a{pa.x / 256.0, pa.y / 256.0, pa.z / 256.0}, b{pb.x / 256.0, pb.y / 256.0, pb.z / 256.0};
      std::vector<std::pair<double, std::array<double, 3>>> on = {{0, a}, {1, b}};
      double L2 = 0;
      for (int d = 0; d < 3; d++) L2 += (b[size_t(d)] - a[size_t(d)]) * (b[size_t(d)] - a[size_t(d)]);
      for (const auto& v : verts) {
        double t = 0;
        for (int d = 0; d < 3; d++) t += (v[size_t(d)] - a[size_t(d)]) * (b[size_t(d)] - a[size_t(d)]);
        t /= L2;
        if (t <= 1e-6 || t >= 1 - 1e-6) continue;
        double dist2 = 0;
        for (int d = 0; d < 3; d++) {
          double q = a[size_t(d)] + t * (b[size_t(d)] - a[size_t(d)]) - v[size_t(d)];
          dist2 += q * q;
        }
        if (dist2 < 2.0) on.push_back({t, v});
      }
      std::sort(on.begin(), on.end(), [](auto& l, auto& r) { return l.first < r.first; });
      for (size_t s = 0; s + 1 < on.size(); s++) segs[{key(on[s].second), key(on[s + 1].second)}]++;
    }
  int open = 0;
  for (auto& [e, count] : segs) open += segs.count({e.second, e.first}) ? 0 : 1;
  EXPECT_EQ(open, 0) << "edges without an opposite edge";
  // The intro's middle pose: upright and face-on, the name reading left to right.
  model.Reset();
  model.Rotate(2488, 1536, 0);
  int32_t minx = INT32_MAX, maxx = INT32_MIN, minz = INT32_MAX, maxz = INT32_MIN, miny = INT32_MAX, maxy = INT32_MIN;
  for (uint32_t i = 0; i < n; i++)
    for (int k = 0; k < 3; k++) {
      const EVECTOR3D& p = polys[i].vertex[k]->cpos;
      minx = std::min(minx, p.x >> 8); maxx = std::max(maxx, p.x >> 8);
      miny = std::min(miny, p.y >> 8); maxy = std::max(maxy, p.y >> 8);
      minz = std::min(minz, p.z >> 8); maxz = std::max(maxz, p.z >> 8);
    }
  EXPECT_GT(maxx - minx, 900);
  EXPECT_LT(maxx - minx, 1100);
  EXPECT_LT(maxz - minz, 120) << "seen edge-on";
  EXPECT_LT(maxy - miny, maxx - minx);
  EXPECT_NEAR(minx + maxx, 0, 4);
  // The game paints triangles 0 to 119 red or white by a fixed table: the red ones
  // must be the letters' faces (facing the eye or away), the white ones their sides.
  static const int kRed[][2] = {{0, 1}, {4, 5}, {10, 11}, {22, 23}, {28, 33}, {40, 41}, {44, 85}, {90, 91}, {96, 97},
                                {100, 103}, {112, 115}};
  for (uint32_t i = 0; i < 120; i++) {
    bool red = false;
    for (auto& r : kRed) red = red || (int(i) >= r[0] && int(i) <= r[1]);
    const EVECTOR3D &a = polys[i].vertex[0]->cpos, &b = polys[i].vertex[1]->cpos, &c = polys[i].vertex[2]->cpos;
    double ux = (b.x - a.x) / 256.0, uy = (b.y - a.y) / 256.0, uz = (b.z - a.z) / 256.0;
    double vx = (c.x - a.x) / 256.0, vy = (c.y - a.y) / 256.0, vz = (c.z - a.z) / 256.0;
    double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (red) {
      EXPECT_GT(std::fabs(nz) / len, 0.95) << "red triangle " << i << " is not a letter face";
    } else {
      EXPECT_LT(std::fabs(nz) / len, 0.2) << "white triangle " << i << " is not a side";
    }
  }
  // The first triangle is the top bar of the Z: left and up (screen y grows down).
  for (int k = 0; k < 3; k++) {
    EXPECT_LT(polys[0].vertex[k]->cpos.x >> 8, minx + 260);
    EXPECT_LT(polys[0].vertex[k]->cpos.y >> 8, miny + 60);
  }
}

}  // namespace
