// The game's graphics helpers over the generated graphics pack: staged loading,
// the composed sheets, fonts, sprites with their pulse, the transition and the
// keyboard labels; a missing pack names the file and the folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "game/app.h"
#include "framework/emod_file.h"
#include "framework/emod_memory.h"
#include "game/graphics.h"
#include "loaders/eldr_base.h"
#include "tests/display/display_rig.h"
#include "tests/support/harness.h"

namespace {

struct GfxRig {
  zt::DisplayRig rig;
  ClassGraphics gfx;
  E2DSurface canvas;
  bool loaded = false;
  GfxRig() {
    if (rig.Open() != 0) return;
    RegisterDisplayLoaders(&rig.dsp);
    gfx.Init(&rig.dsp, nullptr);
    rig.dsp.CreateSurface(&canvas, 320, 240, 0);
    if (zt::ResParent().empty()) return;
    zt::InFolder in(zt::ResParent());
    loaded = true;
    for (uint32_t s = 0; s <= 15 && loaded; s++) loaded = gfx.ScriptLoad(s);
  }
  std::vector<uint32_t> Pixels(E2DSurface& s) {
    std::vector<uint32_t> out;
    for (uint32_t y = 0; y < s.GetHeight(); y++)
      for (uint32_t x = 0; x < s.GetWidth(); x++) out.push_back(s.GetPixel(int32_t(x), int32_t(y)));
    return out;
  }
};

#define REQUIRE_PACK(g)                                             \
  do {                                                              \
    if (zt::ResParent().empty()) GTEST_SKIP() << "no resource packs"; \
    ASSERT_TRUE((g).loaded) << (g).gfx.LoadError();                 \
  } while (0)

TEST(Graphics, StagesLoadEverySurface) {
  GfxRig g;
  REQUIRE_PACK(g);
  EXPECT_STREQ(g.gfx.LoadError(), "");
  EXPECT_EQ(g.gfx.StoneSheet().GetWidth(), 192u);
  EXPECT_EQ(g.gfx.MiniSheet().GetWidth(), 48u);
  EXPECT_EQ(g.gfx.Keyboard(0).GetHeight(), 96u);
  EXPECT_TRUE(g.gfx.Logo().IsCreated());
  for (uint8_t f = 0; f < 4; f++) {
    EXPECT_EQ(g.gfx.GetFontWidth(f), (g.gfx.Font(f)->GetWidth() >> 7) & 0x1FF);
    EXPECT_EQ(g.gfx.GetFontHeight(f), g.gfx.Font(f)->GetHeight() - 2);
  }
  // Invalid font numbers measure nothing.
  EXPECT_EQ(g.gfx.GetFontWidth(4), 0u);
  EXPECT_EQ(g.gfx.GetFontHeight(200), 0u);
  EXPECT_EQ(g.gfx.GetFontWidth(4, "abc"), 0u);
  // Numbers measure as their decimal text.
  EXPECT_EQ(g.gfx.GetFontWidth(0, int32_t(-1207)), g.gfx.GetFontWidth(0, "-1207"));
}

TEST(Graphics, MissingPackNamesTheFileAndTheFolder) {
  zt::DisplayRig rig;
  ASSERT_EQ(rig.Open(), 0);
  ClassGraphics gfx;
  gfx.Init(&rig.dsp, nullptr);
  const std::string dir = zt::TempDir("graphics_nopack");
  zt::InFolder in(dir);
  ASSERT_TRUE(in.ok());
  EXPECT_FALSE(gfx.ScriptLoad(1));
  const std::string msg = gfx.LoadError();
  EXPECT_NE(msg.find("res/gfx.epk"), std::string::npos) << msg;
  EXPECT_NE(msg.find(dir), std::string::npos) << msg;
  // Nothing was loaded, so a later backdrop leaves the backdrop empty.
  gfx.LoadBackDrop("title.bmp");
  EXPECT_EQ(gfx.BackDrop().GetBuffer(), nullptr);

  // The program itself says so on stderr and ends through the menu program,
  // with the status of a failed start.
  const std::string exe = zt::ProgramCommand(std::string(ZARN_BINARY_DIR) + "/zarn");
  EXPECT_EQ(zt::Run("cd '" + dir + "' && ZARN_BACKEND=headless ZARN_CLOCK=fake ZARN_FRAMES=50 " + exe + " 2> err.txt"), 1);
  EXPECT_EQ(zt::Run("grep -q 'res/gfx.epk in the folder " + dir + "' '" + dir + "/err.txt'"), 0);
}

TEST(Graphics, ComposedMiniSheetShowsEachColourInItsOwnCell) {
  GfxRig g;
  REQUIRE_PACK(g);
  // Colour c of the small grids is the composed cell c - 1 of row 0: its middle
  // pixel is tinted with stone colour c, its channels in the same order.
  for (uint8_t c = 1; c <= 7; c++) {
    SCOPED_TRACE(int(c));
    g.gfx.Clear(&g.canvas, 0);
    g.gfx.DrawSQSprite(&g.canvas, 10, 10, c);
    const uint32_t p = g.canvas.GetPixel(12, 12);
    const uint32_t want = kStoneColour[c - 1];
    const uint32_t wr = want & 0xFF, wg = want >> 8 & 0xFF, wb = want >> 16 & 0xFF;
    const uint32_t pr = p & 0xFF, pg = p >> 8 & 0xFF, pb = p >> 16 & 0xFF;
    auto order = [](uint32_t r, uint32_t gr, uint32_t b) { return (r >= gr) * 4 + (gr >= b) * 2 + (r >= b); };
    EXPECT_EQ(order(pr, pg, pb), order(wr, wg, wb)) << std::hex << p << " for " << want;
    EXPECT_NE(p, 0u);
  }
}

TEST(Graphics, QuickSpriteOverlayPulsesOnlyForSpecialStones) {
  GfxRig g;
  REQUIRE_PACK(g);
  auto draw = [&](uint8_t kind, uint32_t timer, bool quick) {
    g.gfx.Clear(&g.canvas, 0x203040);
    g.gfx.SetAnitimer(timer);
    if (quick)
      g.gfx.DrawQSprite(&g.canvas, 20, 20, kind);
    else
      g.gfx.DrawSprite(&g.canvas, 20, 20, kind);
    return g.Pixels(g.canvas);
  };
  // Pulse 0 at timer 0: no overlay; at 256 it is 64.
  for (uint8_t kind : {5, 6, 7, 14, 15}) {
    SCOPED_TRACE(int(kind));
    EXPECT_EQ(draw(kind, 0, true), draw(kind, 0, false));
    EXPECT_NE(draw(kind, 256, true), draw(kind, 256, false));
  }
  for (uint8_t kind : {0, 8, 13, 16, 21}) EXPECT_EQ(draw(kind, 256, true), draw(kind, 256, false)) << int(kind);
  // The pulse: up over 512 ms, down over the next 512.
  const struct {
    uint32_t t, p;
  } pulse[] = {{0, 0}, {4, 1}, {508, 127}, {512, 128}, {516, 127}, {1020, 1}, {1024, 0}, {1280, 64}};
  for (const auto& c : pulse) {
    g.gfx.SetAnitimer(c.t);
    EXPECT_EQ(g.gfx.Pulse(), c.p) << c.t;
  }
}

TEST(Graphics, ColourBlindDigitOnlyOnPlainStones) {
  GfxRig g;
  REQUIRE_PACK(g);
  auto draw = [&](bool blind, uint8_t kind, uint8_t flags, uint32_t value) {
    g.gfx.SetColorBlind(blind);
    g.gfx.Clear(&g.canvas, 0x203040);
    g.gfx.DrawSprite(&g.canvas, 40, 40, kind, flags, value);
    return g.Pixels(g.canvas);
  };
  EXPECT_NE(draw(true, 8, 1, 0), draw(false, 8, 1, 0));      // colour 2, frame 0
  EXPECT_NE(draw(true, 36, 1, 0), draw(false, 36, 1, 0));    // colour 5, frame 4
  EXPECT_EQ(draw(true, 8, 9, 200), draw(false, 8, 9, 200));  // blended: no digit
  EXPECT_EQ(draw(true, 13, 1, 0), draw(false, 13, 1, 0));    // column 5: not a colour frame
  EXPECT_EQ(draw(true, 64, 1, 0), draw(false, 64, 1, 0));    // beyond kind 55
}

// The colour number is a mark on the stone, not text: on every colour and
// frame it only darkens the stone (so under a darkening band it fades instead
// of showing as light text beside the band's own) and it stands out from the
// stone clearly enough to read.
TEST(Graphics, ColourBlindNumbersDarkenTheStoneAndReadOnEveryColour) {
  GfxRig g;
  REQUIRE_PACK(g);
  auto draw = [&](bool blind, uint8_t kind) {
    g.gfx.SetColorBlind(blind);
    g.gfx.Clear(&g.canvas, 0x404040);
    g.gfx.DrawSprite(&g.canvas, 40, 40, kind, 1, 0);
    return g.Pixels(g.canvas);
  };
  auto channel = [](uint32_t p, int c) { return int(p >> (8 * c) & 255); };
  for (uint8_t row = 0; row < 7; row++)
    for (uint8_t col = 0; col < 5; col++) {
      const uint8_t kind = uint8_t(8 * row + col);
      SCOPED_TRACE(int(kind));
      const std::vector<uint32_t> plain = draw(false, kind), marked = draw(true, kind);
      int lighter = 0, darker = 0;
      for (size_t i = 0; i < plain.size(); i++) {
        int drop = 0;
        for (int c = 0; c < 3; c++) {
          lighter += channel(marked[i], c) > channel(plain[i], c);
          drop = std::max(drop, channel(plain[i], c) - channel(marked[i], c));
        }
        darker += drop >= 96;
      }
      EXPECT_EQ(lighter, 0);
      EXPECT_GE(darker, 12);
    }
}

TEST(Graphics, TransitionRevealsTheBackSurfaceAsADiamond) {
  GfxRig g;
  REQUIRE_PACK(g);
  E2DSurface* back = nullptr;
  g.gfx.GetBackSurface(back);
  ASSERT_NE(back, nullptr);
  for (int32_t y = 0; y < 240; y++)
    for (int32_t x = 0; x < 320; x++) back->PutPixel(x, y, uint32_t(x * 0x010203 + y * 0x030100) & 0xFFFFFF);
  g.gfx.Clear(&g.canvas, 0);
  EXPECT_FALSE(g.gfx.Transition(&g.canvas, 0xFFFFFF));
  // After 100 ms: d = 50, so the centre rows are open to 50 pixels either side
  // and the top row is still closed.
  EXPECT_FALSE(g.gfx.Transition(&g.canvas, 100));
  EXPECT_EQ(g.canvas.GetPixel(160, 119), back->GetPixel(160, 119));
  EXPECT_EQ(g.canvas.GetPixel(110, 119), back->GetPixel(110, 119));
  EXPECT_EQ(g.canvas.GetPixel(108, 119), 0u);
  EXPECT_EQ(g.canvas.GetPixel(160, 0), 0u);
  EXPECT_FALSE(g.gfx.Transition(&g.canvas, 455));  // 555 ms: d = 277
  EXPECT_TRUE(g.gfx.Transition(&g.canvas, 1));     // 556 ms: the top row is open across
  EXPECT_EQ(g.Pixels(g.canvas), g.Pixels(*back));
  // A reset starts over.
  EXPECT_FALSE(g.gfx.Transition(&g.canvas, 0xFFFFFF));
  EXPECT_FALSE(g.gfx.Transition(&g.canvas, 16));
}

TEST(Graphics, KeyboardLabelsFollowTheKeyNotTheCell) {
  GfxRig g;
  REQUIRE_PACK(g);
  auto draw = [&](uint8_t col, uint8_t row, uint8_t layout, bool hi) {
    g.gfx.Clear(&g.canvas, 0x808080);
    g.gfx.DrawKBChar(&g.canvas, col, row, layout, 250, false, hi);
    return g.Pixels(g.canvas);
  };
  const std::vector<uint32_t> blank = draw(0, 9, 0, false);  // row beyond 4: nothing
  // "q" covers cells 3 and 4 of row 1; backspace cells 24 to 26 of row 0; space 6 to 21 of row 4.
  EXPECT_EQ(draw(4, 1, 0, false), draw(3, 1, 0, false));
  EXPECT_NE(draw(3, 1, 0, false), blank);
  EXPECT_EQ(draw(26, 0, 1, true), draw(24, 0, 1, true));
  EXPECT_EQ(draw(21, 4, 0, true), draw(6, 4, 0, true));
  EXPECT_NE(draw(3, 1, 0, false), draw(3, 1, 1, false));  // q and Q
  // Cells without a key, and out-of-range arguments, draw nothing.
  EXPECT_EQ(draw(0, 4, 0, false), blank);
  EXPECT_EQ(draw(27, 0, 0, false), blank);
  EXPECT_EQ(draw(3, 1, 2, false), blank);
  char label[2];
  const struct {
    uint8_t layout, row, col;
    char want;
  } labels[] = {{0, 0, 0, 28}, {0, 0, 26, 31}, {0, 1, 1, 30}, {0, 2, 25, 29}, {1, 3, 0, 25},
                {1, 2, 0, 27}, {0, 3, 24, ';'}, {1, 3, 24, ':'}, {0, 4, 10, ' '}, {0, 4, 3, 0}};
  for (const auto& c : labels) {
    ClassGraphics::KeyLabel(c.layout, c.row, c.col, label);
    EXPECT_EQ(label[0], c.want) << int(c.layout) << " " << int(c.row) << " " << int(c.col);
  }
}

TEST(Graphics, KeyboardSlidesUpAndLogoTurns) {
  GfxRig g;
  REQUIRE_PACK(g);
  g.gfx.Clear(&g.canvas, 0x010203);
  const std::vector<uint32_t> blank = g.Pixels(g.canvas);
  g.gfx.DrawKeyboard(&g.canvas, 0, 0);
  EXPECT_EQ(g.Pixels(g.canvas), blank);
  // Half way: the top 48 rows of the panel, at the bottom of the screen.
  g.gfx.DrawKeyboard(&g.canvas, 125, 1);
  for (int32_t x = 0; x < 320; x += 7) {
    EXPECT_EQ(g.canvas.GetPixel(x, 191), blank[191 * 320 + size_t(x)]) << x;
    EXPECT_EQ(g.canvas.GetPixel(x, 192), g.gfx.Keyboard(1).GetPixel(x, 0)) << x;
    EXPECT_EQ(g.canvas.GetPixel(x, 239), g.gfx.Keyboard(1).GetPixel(x, 47)) << x;
  }
  // Beyond 250 the whole panel shows.
  g.gfx.DrawKeyboard(&g.canvas, 100000, 0);
  EXPECT_EQ(g.canvas.GetPixel(160, 144), g.gfx.Keyboard(0).GetPixel(160, 0));
  // The logo: nothing at angle 0, something face-on at 2048.
  g.gfx.Clear(&g.canvas, 0x010203);
  g.gfx.DrawLogo(&g.canvas, 0, 40);
  EXPECT_EQ(g.Pixels(g.canvas), blank);
  g.gfx.DrawLogo(&g.canvas, 2048, 40);
  EXPECT_NE(g.Pixels(g.canvas), blank);
}

TEST(Graphics, BackdropsReuseTheIndexAndComposeTheBoard) {
  GfxRig g;
  REQUIRE_PACK(g);
  zt::InFolder in(zt::ResParent());
  char* index = g.gfx.PackIndex();
  ASSERT_NE(index, nullptr);
  g.gfx.LoadBackDrop("title.bmp");
  const std::vector<uint32_t> title = g.Pixels(g.gfx.BackDrop());
  g.gfx.LoadBackDrop("gamehud.bmp");
  g.gfx.LoadBackDrop("gamehud.bmp");
  EXPECT_EQ(g.gfx.PackIndex(), index);
  // The board's near corner cell is opaque over the HUD; the title shows elsewhere.
  const std::vector<uint32_t> hud = g.Pixels(g.gfx.BackDrop());
  EXPECT_NE(hud, title);
  g.gfx.LoadBackDrop("no such picture.bmp");
  EXPECT_EQ(g.Pixels(g.gfx.BackDrop()), hud);
}

}  // namespace

namespace {

// The play screen's pieces drawn by the level with the real sheets.
struct LevelDraw {
  GfxRig g;
  ClassPlayer player;
  MAINCONFIG settings{};
  MAINDATA data{};
  ClassLevel level;
  LevelDraw() {
    data.graphics = &g.gfx;
    data.player = &player;
    data.settings = &settings;
    uint32_t module = MODULE_LEVEL, message = MSG_ATTACH;
    level.Manage(nullptr, &module, &message, reinterpret_cast<int32_t*>(&data), 0);
  }
};

TEST(PlayScreen, StatusBarsEmptyGrowingAndFull) {
  LevelDraw d;
  REQUIRE_PACK(d.g);
  auto bar = [&](int32_t value, uint32_t timer, bool mirrored) {
    d.g.gfx.Clear(&d.g.canvas, 0x102030);
    d.level.stateTimer = timer;
    d.level.DrawStatusBar(&d.g.canvas, 176, 227, 8, 92, value, mirrored, 0x4040FF);
    return d.g.Pixels(d.g.canvas);
  };
  d.g.gfx.Clear(&d.g.canvas, 0x102030);
  const std::vector<uint32_t> empty = d.g.Pixels(d.g.canvas);
  EXPECT_EQ(bar(0, 0, false), empty);
  EXPECT_EQ(bar(-5, 0, false), empty);
  // A growing bar does not pulse; a full one does, and a longer value is cut.
  EXPECT_NE(bar(40, 0, false), empty);
  EXPECT_EQ(bar(40, 0, false), bar(40, 400, false));
  EXPECT_NE(bar(92, 0, false), bar(92, 400, false));
  EXPECT_EQ(bar(92, 400, false), bar(5000, 400, false));
  EXPECT_NE(bar(40, 0, true), bar(40, 0, false));
}

TEST(PlayScreen, EverySmallGridCodeDraws) {
  LevelDraw d;
  REQUIRE_PACK(d.g);
  // Every byte a small grid can hold (a peer's grid packet brings any), with
  // progress values from negative to past the end, draws inside the panel.
  d.g.gfx.Clear(&d.g.canvas, 0);
  for (int code = 0; code < 256; code++) {
    for (int16_t p : {int16_t(-300), int16_t(0), int16_t(111), int16_t(383), int16_t(900), int16_t(32767)}) {
      for (int i = 0; i < 81; i++) {
        d.level.coGrid[1][i] = static_cast<uint8_t>(code);
        d.level.coFallStep[1][i] = p;
      }
      d.level.RenderSmallGrid(&d.g.canvas, 1, 48, 178);
    }
  }
  // Nothing falls outside the panel's diamond (with the explosions' margin).
  for (int32_t y = 0; y < 240; y++)
    for (int32_t x = 0; x < 320; x++)
      if (d.g.canvas.GetPixel(x, y) != 0) {
        EXPECT_LE(std::abs(x - 75) + std::abs(y - 181), 40) << x << "," << y;
      }
  // Empty and vacated cells show nothing.
  for (uint8_t code : {0, 0xC1, 0xC2, 0xC3}) {
    for (int i = 0; i < 81; i++) d.level.coGrid[1][i] = code;
    d.g.gfx.Clear(&d.g.canvas, 0);
    d.level.RenderSmallGrid(&d.g.canvas, 1, 48, 178);
    for (uint32_t v : d.g.Pixels(d.g.canvas)) ASSERT_EQ(v, 0u) << int(code);
  }
}

}  // namespace

namespace {

TEST(Graphics, BannerAndKeyCaps) {
  GfxRig g;
  REQUIRE_PACK(g);
  ASSERT_GT(g.gfx.GetZarnBannerHeight(), 0u);
  EXPECT_EQ(g.gfx.GetZarnBannerHeight(), g.gfx.Banner().GetHeight());
  // The banner is centred and drawn with its alpha.
  g.gfx.Clear(&g.canvas, 0);
  g.gfx.DrawZarnBanner(&g.canvas, 20);
  EXPECT_NE(g.Pixels(g.canvas), std::vector<uint32_t>(320 * 240, 0u));
  const int32_t w = static_cast<int32_t>(g.gfx.Banner().GetWidth()), h = static_cast<int32_t>(g.gfx.GetZarnBannerHeight());
  int32_t minX = 320, maxX = -1, minY = 240, maxY = -1;
  for (int32_t y = 0; y < 240; y++)
    for (int32_t x = 0; x < 320; x++)
      if (g.canvas.GetPixel(x, y) != 0) {
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
      }
  EXPECT_GE(minX, 160 - w / 2);
  EXPECT_LT(maxX, 160 - w / 2 + w);
  EXPECT_GE(minY, 20);
  EXPECT_LT(maxY, 20 + h);

  // Key caps: drawn inside the key's rectangle plus the image's margins, and
  // nothing for a key of negative size.
  E2DSurfaceRGBA key;
  {
    zt::InFolder in(zt::ResParent());
    ClassEFile pack;
    ASSERT_TRUE(pack.Open("res/gfx.epk", EFILE_READ));
    void* data = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(pack.PackGetFileData(data, length, "kbkey.png"), 0);
    ASSERT_EQ(g.rig.dsp.CreateSurface(&key, data, length, 32), 0);
    ClassEMemory::DeAlloc(data);
  }
  const int32_t W = static_cast<int32_t>(key.GetWidth()), H = static_cast<int32_t>(key.GetHeight());
  const int32_t m = (W - 24) / 2;
  const struct {
    tagRECT r;
  } keys[] = {{{100, 50, 116, 66}}, {{40, 100, 168, 116}}, {{200, 150, 209, 160}}, {{10, 10, 50, 40}}};
  for (const auto& k : keys) {
    SCOPED_TRACE(k.r.left);
    g.gfx.Clear(&g.canvas, 0);
    tagRECT r = k.r;
    g.gfx.DrawKBKey(&g.canvas, &key, &r);
    bool inside = false;
    for (int32_t y = 0; y < 240; y++)
      for (int32_t x = 0; x < 320; x++) {
        if (g.canvas.GetPixel(x, y) == 0) continue;
        const bool in = x >= k.r.left - m && x < k.r.right + m && y >= k.r.top && y < k.r.bottom + H - 24;
        EXPECT_TRUE(in) << x << "," << y;
        inside = true;
        if (!in) return;
      }
    EXPECT_TRUE(inside);
  }
  g.gfx.Clear(&g.canvas, 0);
  tagRECT bad = {50, 50, 40, 60};
  g.gfx.DrawKBKey(&g.canvas, &key, &bad);
  for (uint32_t v : g.Pixels(g.canvas)) ASSERT_EQ(v, 0u);
  // The panels carry the caps: a key's middle differs from the panel's gradient.
  EXPECT_NE(g.gfx.Keyboard(0).GetPixel(52 + 8 * 3 + 1, 16 + 5 + 2), g.gfx.Keyboard(0).GetPixel(52 + 8 * 3 + 1, 16 + 5 - 4));
}

}  // namespace
