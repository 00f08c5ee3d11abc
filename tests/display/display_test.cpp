// The display device: frame-buffer formats and strides, orientations, failures,
// suspend, the built-in font, loader slots, input turns, palettes and wipes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "display/edsp_font.h"
#include "loaders/eldr_base.h"
#include "tests/display/display_rig.h"

namespace {

using zt::DisplayRig;
using zt::FbConfig;

uint32_t FbPixel(const standin::FbScreenInfo& fb, uint32_t x, uint32_t y) {
  const uint8_t* p = standin::FrameBuffer();
  const uint32_t B = fb.bits_per_pixel / 8, stride = fb.xres_virtual * B;
  const uint8_t* q = p + y * stride + x * B;
  uint32_t v = 0;
  for (uint32_t i = 0; i < B; i++) v |= uint32_t(q[i]) << (8 * i);
  return v;
}

TEST(Display, FrameBufferDepthsAndWideStrides) {
  struct Case {
    const char* geometry;
    uint8_t native, render;
    uint32_t red;  // pure red as the frame buffer stores it
  } cases[] = {
      {"320x240@16/6+352", 4, 4, 0xF800},    {"320x240@16/5+336", 3, 4, 0x7C00},
      {"320x240@8+328", 1, 1, 0xFF},         {"320x240@24+330", 5, 6, 0xFF0000},
      {"320x240@32+321", 6, 6, 0xFF0000},    {"160x120@16/6", 4, 4, 0xF800},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.geometry);
    DisplayRig rig(FbConfig(c.geometry));
    ASSERT_EQ(rig.Open(), 0);
    EXPECT_EQ(rig.dsp.GetNativeFormat(), c.native);
    EXPECT_EQ(rig.dsp.GetRenderFormat(), c.render);
    const standin::FbScreenInfo& fb = standin::CurrentConfig().fb;
    E2DSurface* bb = rig.dsp.GetBackBuffer();
    ASSERT_EQ(bb->GetWidth(), fb.xres);
    // Red everywhere but a green pixel at the bottom right.
    bb->FillRect(nullptr, 0x0000FF);
    bb->PutPixel(int32_t(fb.xres) - 1, int32_t(fb.yres) - 1, 0x00FF00);
    const uint32_t frames = standin::FramesPresented();
    rig.dsp.Flip(false);
    EXPECT_EQ(standin::FramesPresented(), frames + 1);
    EXPECT_EQ(FbPixel(fb, 0, 0), c.red);
    EXPECT_EQ(FbPixel(fb, fb.xres - 2, fb.yres - 1), c.red);
    EXPECT_NE(FbPixel(fb, fb.xres - 1, fb.yres - 1), c.red);
    // The padding beyond xres in every row is never written.
    for (uint32_t y = 0; y < fb.yres; y += 37)
      for (uint32_t x = fb.xres; x < fb.xres_virtual; x++) ASSERT_EQ(FbPixel(fb, x, y), 0u) << x << "," << y;
    // BackFlip brings the screen back into a cleared back buffer.
    bb->FillRect(nullptr, 0);
    rig.dsp.BackFlip();
    EXPECT_EQ(bb->GetPixel(5, 5), E2DSurface::NativeToColor(E2DSurface::ColorToNative(0xFF, c.render), c.render));
    rig.dsp.Close();
    EXPECT_FALSE(rig.dsp.IsOpen());
    rig.dsp.Flip(false);
    EXPECT_EQ(standin::FramesPresented(), frames + 1);
  }
}

TEST(Display, OrientationsResolve) {
  struct Case {
    const char* geometry;
    uint8_t asked, resolved;
    uint32_t logicalW, logicalH;
    uint8_t swap;
    int32_t xdir, ydir;
  } cases[] = {
      {"320x240@16", 0, 0, 320, 240, 0, 1, 1},  {"320x240@16", 1, 1, 240, 320, 1, 1, -1},
      {"320x240@16", 2, 2, 320, 240, 0, -1, -1}, {"320x240@16", 3, 3, 240, 320, 1, -1, 1},
      {"320x240@16", 4, 3, 240, 320, 1, -1, 1}, {"320x240@16", 5, 0, 320, 240, 0, 1, 1},
      {"240x320@16", 5, 1, 320, 240, 1, 1, -1}, {"240x320@16", 4, 0, 240, 320, 0, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.geometry) + " orientation " + std::to_string(c.asked));
    DisplayRig rig(FbConfig(c.geometry), c.asked);
    ASSERT_EQ(rig.Open(), 0);
    EXPECT_EQ(rig.cfg.orientation, c.resolved);
    EXPECT_EQ(rig.dsp.GetAxisSwap(), c.swap);
    EXPECT_EQ(rig.dsp.GetXDir(), c.xdir);
    EXPECT_EQ(rig.dsp.GetYDir(), c.ydir);
    E2DSurface* bb = rig.dsp.GetBackBuffer();
    EXPECT_EQ(bb->GetWidth(), c.logicalW);
    EXPECT_EQ(bb->GetHeight(), c.logicalH);
    // Stored in the frame buffer's orientation.
    EXPECT_EQ(bb->GetStoredWidth(), standin::CurrentConfig().fb.xres);
    // Logical (0, 0) lands on the physical corner the orientation names.
    bb->FillRect(nullptr, 0);
    bb->PutPixel(0, 0, 0xFFFFFF);
    rig.dsp.Flip(false);
    const standin::FbScreenInfo& fb = standin::CurrentConfig().fb;
    const uint32_t px = c.xdir < 0 ? fb.xres - 1 : 0, py = c.ydir < 0 ? fb.yres - 1 : 0;
    EXPECT_EQ(FbPixel(fb, px, py), 0xFFFFu);
  }
}

TEST(Display, FrameBufferFailuresFailTheOpen) {
  struct Case {
    const char* name;
    void (*set)(standin::Config&);
  } cases[] = {
      {"query", [](standin::Config& c) { c.failFbInfo = true; }},
      {"mapping", [](standin::Config& c) { c.failFbMap = true; }},
      {"device", [](standin::Config& c) { c.failFbOpen = true; }},
      {"depth 12", [](standin::Config& c) { c.fb.bits_per_pixel = 12; }},
      {"depth 0", [](standin::Config& c) { c.fb.bits_per_pixel = 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    standin::Config cfg = zt::HeadlessConfig();
    c.set(cfg);
    DisplayRig rig(cfg);
    const uint32_t frames = standin::FramesPresented();
    EXPECT_EQ(rig.Open(), 1);
    EXPECT_FALSE(rig.dsp.IsOpen());
    EXPECT_EQ(rig.dsp.GetKernelTable(), nullptr);
    rig.dsp.Flip(false);
    rig.dsp.BackFlip();
    rig.dsp.Suspend();
    rig.dsp.Resume();
    rig.dsp.Close();
    EXPECT_EQ(standin::FramesPresented(), frames);
    EXPECT_EQ(standin::FrameBuffer(), nullptr);
  }
  // Opening again after a failure works once the frame buffer is back.
  DisplayRig rig;
  EXPECT_EQ(rig.Open(), 0);
  EXPECT_NE(rig.dsp.GetKernelTable(), nullptr);
}

TEST(Display, SuspendHoldsFramesAndFlagsAreHonoured) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(), 0);
  const uint32_t frames = standin::FramesPresented();
  rig.dsp.Suspend();
  rig.dsp.Flip(false);
  EXPECT_EQ(standin::FramesPresented(), frames);
  rig.dsp.Resume();
  rig.dsp.GetBackBuffer()->FillRect(nullptr, 0xFFFFFF);
  rig.dsp.Flip(false);
  EXPECT_EQ(standin::FramesPresented(), frames + 1);
  EXPECT_EQ(FbPixel(standin::CurrentConfig().fb, 10, 10), 0xFFFFu);
  // With flags 0x8 there is no built-in font.
  DisplayRig nofont(zt::HeadlessConfig(), 0, 0x8);
  ASSERT_EQ(nofont.Open(), 0);
  EXPECT_FALSE(nofont.dsp.GetInternalFont()->IsCreated());
  EXPECT_TRUE(rig.dsp.GetInternalFont()->IsCreated());
}

TEST(BuiltinFont, UnpacksAndMarksTheWidthTable) {
  ClassEMemory mem;
  std::vector<uint8_t> raw(kEdspFontBytes + 64);
  uint32_t size = uint32_t(raw.size());
  ASSERT_TRUE(mem.UnCompress(raw.data(), size, edsp_internalfont, edsp_internalfont_size));
  EXPECT_EQ(size, 4956u);
  // Every nibble is background (0), white (1) or outline (2).
  for (uint32_t i = 0; i < size; i++) {
    ASSERT_LE(raw[i] >> 4, 2) << i;
    ASSERT_LE(raw[i] & 15, 2) << i;
  }
  // A truncated stream does not unpack to the whole strip.
  uint32_t cut = uint32_t(raw.size());
  const bool ok = mem.UnCompress(raw.data(), cut, edsp_internalfont, edsp_internalfont_size / 2);
  EXPECT_FALSE(ok && cut == 4956u);

  const uint16_t widths[95] = {5, 3, 5, 7, 7, 9, 7, 3, 5, 5, 6, 7, 4, 7, 3, 9, 6, 5, 7, 7, 7, 7, 7, 7,
                               7, 7, 3, 4, 6, 7, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 3, 7, 7, 7, 7, 7, 7,
                               7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 5, 9, 5, 7, 7, 4, 7, 7, 7, 7, 7, 6, 7,
                               7, 3, 5, 6, 3, 7, 7, 7, 7, 7, 7, 7, 6, 7, 7, 7, 7, 7, 7, 6, 3, 6, 7};
  for (uint8_t orientation : {0, 1, 2, 3}) {
    SCOPED_TRACE(int(orientation));
    DisplayRig rig(zt::HeadlessConfig(), orientation);
    ASSERT_EQ(rig.Open(), 0);
    E2DSurface* font = rig.dsp.GetInternalFont();
    EXPECT_EQ(font->GetWidth(), 708u);
    EXPECT_EQ(font->GetHeight(), 14u);
    const uint16_t* table = font->GetGlyphTable();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(font->GetGlyphCount(), 128);
    for (int g = 0; g < 95; g++) EXPECT_EQ(table[128 + g], widths[g]) << "character " << 32 + g;
    for (int g = 95; g < 128; g++) EXPECT_EQ(table[128 + g], 0) << g;
    EXPECT_EQ(font->GetFirstCharacter(), 32);
    EXPECT_EQ(font->GetLastCharacter(), 127);
    EXPECT_EQ(font->GetFontHeight(static_cast<const char*>(nullptr)), 12u);
    EXPECT_EQ(font->GetFontWidth("Hi!"), 7u + 3u + 3u);
    // Glyph pixels are white, black or the key, and 'A' has all three.
    bool white = false, black = false;
    for (int32_t y = 2; y < 14; y++)
      for (int32_t x = table[33]; x < table[33] + table[128 + 33]; x++) {
        const uint32_t p = font->GetPixel(x, y);
        white |= p == 0xF8FCF8 || p == 0xFFFFFF;
        black |= p == 0;
      }
    EXPECT_TRUE(white && black);
  }
}

TEST(Display, FlipRectangleAndPointerTurns) {
  DisplayRig rig(zt::HeadlessConfig(), 1);  // 320 x 240 screen, logical 240 x 320
  ASSERT_EQ(rig.Open(), 0);
  const standin::FbScreenInfo& fb = standin::CurrentConfig().fb;
  E2DSurface* bb = rig.dsp.GetBackBuffer();
  bb->FillRect(nullptr, 0xFFFFFF);
  // Logical (10, 20)-(30, 60) is physical columns 20-59, rows 240-30 .. 240-11.
  const tagRECT part = {10, 20, 30, 60};
  rig.dsp.SetFlipRect(&part);
  rig.dsp.Flip(false);
  EXPECT_EQ(FbPixel(fb, 20, 210), 0xFFFFu);
  EXPECT_EQ(FbPixel(fb, 59, 229), 0xFFFFu);
  EXPECT_EQ(FbPixel(fb, 19, 220), 0u);
  EXPECT_EQ(FbPixel(fb, 60, 220), 0u);
  EXPECT_EQ(FbPixel(fb, 30, 209), 0u);
  EXPECT_EQ(FbPixel(fb, 30, 230), 0u);
  // A rectangle beyond the screen is cut to it; null is the whole screen.
  const tagRECT huge = {-50, -50, 5000, 5000};
  rig.dsp.SetFlipRect(&huge);
  rig.dsp.Flip(false);
  EXPECT_EQ(FbPixel(fb, 0, 0), 0xFFFFu);
  bb->FillRect(nullptr, 0);
  rig.dsp.SetFlipRect(nullptr);
  rig.dsp.Flip(false);
  EXPECT_EQ(FbPixel(fb, 319, 239), 0u);
  // Pointer positions and tilt turn with the display (orientation 1).
  int32_t x = 5, y = 7;
  rig.dsp.VirtualMouse(x, y);
  EXPECT_EQ(x, 240 - 7);
  EXPECT_EQ(y, 5);
  x = 3;
  y = 4;
  rig.dsp.VirtualTilt(x, y);
  EXPECT_EQ(x, -4);
  EXPECT_EQ(y, 3);
}

class NullLoader : public ClassELoaderBase {};

TEST(Display, LoaderSlotsAndInputTurns) {
  DisplayRig rig;
  std::vector<ClassELoaderBase*> loaders;
  for (int i = 0; i < 16; i++) {
    loaders.push_back(new NullLoader);
    EXPECT_EQ(rig.dsp.RegisterLoader(loaders.back()), 1);
  }
  NullLoader extra;
  EXPECT_EQ(rig.dsp.RegisterLoader(&extra), 0);
  EXPECT_EQ(rig.dsp.RegisterLoader(nullptr), 0);
  EXPECT_EQ(rig.dsp.UnRegisterLoader(&extra), 0);
  EXPECT_EQ(rig.dsp.UnRegisterLoader(loaders[3]), 1);
  delete loaders[3];
  EXPECT_EQ(rig.dsp.GetLoader(3), nullptr);
  // Surfaces from files and memory go through the slots: nothing takes these.
  E2DSurface f;
  EXPECT_EQ(rig.dsp.CreateSurface(&f, "/nonexistent/picture.png"), 1);
  uint8_t junk[16] = {1, 2, 3};
  EXPECT_EQ(rig.dsp.CreateSurface(&f, junk, uint32_t(sizeof junk)), 3);

  EBUTTONLIST list{};
  list.DPadUp = 1;
  list.DPadDown = 5;
  list.DPadLeft = 3;
  list.DPadRight = 7;
  const uint32_t turned[4][4] = {{1, 5, 3, 7}, {7, 3, 1, 5}, {5, 1, 7, 3}, {3, 7, 5, 1}};
  for (uint8_t o = 0; o < 4; o++) {
    DisplayRig r(zt::HeadlessConfig(), o);
    ASSERT_EQ(r.Open(), 0);
    const uint32_t in[4] = {1, 5, 3, 7};
    for (int k = 0; k < 4; k++) {
      uint32_t code = in[k];
      r.dsp.VirtualDPad(&code, &list);
      EXPECT_EQ(code, turned[o][k]) << "orientation " << int(o) << " code " << in[k];
    }
    uint32_t other = 13;
    r.dsp.VirtualDPad(&other, &list);
    EXPECT_EQ(other, 13u);
    uint16_t angle = 100;
    r.dsp.VirtualRotation(angle);
    EXPECT_LT(angle, 4096);
  }
}

TEST(Display, PaletteLookups) {
  DisplayRig rig;
  uint32_t pal[256];
  for (int i = 0; i < 256; i++) pal[i] = 0xFF000000u | uint32_t(i * 0x010101);
  pal[2] = pal[1];  // entry 2 is no candidate
  rig.dsp.SetPalette(pal, 0, 256);
  uint32_t back[4];
  rig.dsp.GetPalette(back, 1, 4);
  EXPECT_EQ(back[0], 0x010101u);
  uint8_t remap[256];
  uint32_t colours[256];
  for (int i = 0; i < 256; i++) colours[i] = uint32_t(i) * 0x010101u;
  ASSERT_EQ(rig.dsp.BuildPaletteLookupIndex(remap, colours), 1);
  EXPECT_EQ(remap[0], 0);
  EXPECT_EQ(remap[2], 1);  // 2 -> the first of the equal colours
  EXPECT_EQ(remap[200], 200);
  ASSERT_EQ(rig.dsp.BuildPaletteLookup(), 1);
  const uint8_t* lookup = rig.dsp.GetPaletteLookup();
  ASSERT_NE(lookup, nullptr);
  EXPECT_EQ(lookup[0x7FFF], 248);  // the first of 248-255, which all match
  EXPECT_EQ(lookup[0], 1);
  ASSERT_EQ(rig.dsp.BuildPaletteLookup(), 1);
  EXPECT_EQ(rig.dsp.GetPaletteLookup(), lookup);
  // An all-equal palette has one candidate.
  uint8_t out[4] = {9, 9, 9, 9};
  uint32_t flat[256];
  for (uint32_t& c : flat) c = 0x808080;
  EDisplay_CreatePaletteLookup(flat, out, colours, 4);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 1);
  EXPECT_EQ(out[3], 1);
}

TEST(Wipes, SpiralCellsTurnOnceInOrder) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(), 0);
  // 16 x 16: one pixel per cell, the pattern covers the surface once.
  E2DSurface from, to;
  ASSERT_EQ(rig.dsp.CreateSurface(&from, 16, 16), 0);
  ASSERT_EQ(rig.dsp.CreateSurface(&to, 16, 16), 0);
  to.FillRect(nullptr, 0xFFFFFF);
  rig.dsp.StartWipe(4, &from);
  std::vector<int> when(256, -1);
  uint32_t step = 0;
  for (uint32_t p = 0; p <= 65536; p += 4099, step++) {
    rig.dsp.Wipe(&from, &from, &to, p, 4, nullptr, 0);
    for (int i = 0; i < 256; i++)
      if (when[i] < 0 && from.GetPixel(i & 15, i >> 4) != 0) when[i] = int(step);
  }
  rig.dsp.Wipe(&from, &from, &to, 65536, 4, nullptr, 0);
  for (int i = 0; i < 256; i++)
    if (when[i] < 0 && from.GetPixel(i & 15, i >> 4) != 0) when[i] = int(step);
  // Spiral: row 0 first, 255 last at row 8, column 7; steps never go back.
  for (int i = 0; i < 256; i++) ASSERT_GE(when[i], 0) << i;
  EXPECT_LE(when[0], when[15]);
  EXPECT_LE(when[15], when[1 * 16 + 15]);
  EXPECT_EQ(when[8 * 16 + 7], int(step));
  EXPECT_LT(when[1 * 16 + 0], when[8 * 16 + 7]);

  // Small surfaces, null surfaces and unknown kinds draw nothing wrong.
  E2DSurface tiny, tinyTo;
  ASSERT_EQ(rig.dsp.CreateSurface(&tiny, 10, 7), 0);
  ASSERT_EQ(rig.dsp.CreateSurface(&tinyTo, 10, 7), 0);
  tinyTo.FillRect(nullptr, 0xFFFFFF);
  rig.dsp.StartWipe(4, &tiny);
  rig.dsp.Wipe(&tiny, &tiny, &tinyTo, 65536, 4, nullptr, 0);
  EXPECT_NE(tiny.GetPixel(9, 6), 0u);
  for (uint8_t kind = 0; kind < 9; kind++) {
    rig.dsp.Wipe(nullptr, &tiny, &tinyTo, 30000, kind, nullptr, 0);
    rig.dsp.Wipe(&tiny, nullptr, &tinyTo, 30000, kind, nullptr, 0);
    rig.dsp.Wipe(&tiny, &tiny, nullptr, 30000, kind, nullptr, 0);
  }
}

TEST(Wipes, SlidesFadeMosaicAndDissolve) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(), 0);
  E2DSurface from, to, dst, ref;
  for (E2DSurface* s : {&from, &to, &dst, &ref}) ASSERT_EQ(rig.dsp.CreateSurface(s, 40, 20), 0);
  from.FillRect(nullptr, 0x0000FF);
  to.FillRect(nullptr, 0x00FF00);
  // Kind 0 at half progress: the right half shows `to`.
  rig.dsp.Wipe(&dst, &from, &to, 32768, 0, nullptr, 0);
  EXPECT_EQ(dst.GetPixel(19, 5), from.GetPixel(0, 0));
  EXPECT_EQ(dst.GetPixel(20, 5), to.GetPixel(0, 0));
  // Kind 3 at a quarter: the top 5 rows.
  rig.dsp.Wipe(&dst, &from, &to, 16384, 3, nullptr, 0);
  EXPECT_EQ(dst.GetPixel(3, 4), to.GetPixel(0, 0));
  EXPECT_EQ(dst.GetPixel(3, 5), from.GetPixel(0, 0));
  // Kind 6 at half: `to` over `from` at opacity 127.
  rig.dsp.Wipe(&dst, &from, &to, 32768, 6, nullptr, 0);
  ref.BltFast(0, 0, &from, nullptr, 0, 0);
  ref.BltFast(0, 0, &to, nullptr, 0x08, 127);
  EXPECT_EQ(dst.GetPixel(7, 7), ref.GetPixel(7, 7));
  // Kind 7 with a map: pixels whose byte is reached take `to`.
  std::vector<uint8_t> map(40 * 20, 200);
  map[0] = 10;
  rig.dsp.StartWipe(7, &dst);
  rig.dsp.Wipe(&dst, &from, &to, 20 << 8, 7, map.data(), 0);
  EXPECT_EQ(dst.GetPixel(0, 0), to.GetPixel(0, 0));
  EXPECT_EQ(dst.GetPixel(1, 0), from.GetPixel(0, 0));
  // Kind 5: blocks of the colour at their centre.
  from.PutPixel(2, 2, 0xFFFFFF);
  rig.dsp.Wipe(&dst, &from, &to, 8192, 5, nullptr, 0);  // blocks of 5
  EXPECT_EQ(dst.GetPixel(0, 0), from.GetPixel(2, 2));
  EXPECT_EQ(dst.GetPixel(4, 4), from.GetPixel(2, 2));
  EXPECT_EQ(dst.GetPixel(5, 0), from.GetPixel(0, 0));
}

}  // namespace
