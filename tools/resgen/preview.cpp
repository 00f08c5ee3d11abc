// The preview sheet: every picture, the stones composed as the game composes
// them, a mock play screen and the logo.
#include <algorithm>
#include <cmath>

#include "res.h"

namespace rg {

Image RenderLogo(int w, int h, int angle);

namespace {

uint32_t Px(const Image& img, int x, int y) { return ToRGB(img.at(x, y)); }
Col FromRGB(uint32_t v) { return Hex(v); }

// The load-time composition of the stone rows onto the sheet.
Image ComposeSheet(const Image& sheet_in, const Image& block) {
  Image sheet = sheet_in;
  for (int i = 0; i < 7; ++i) {
    uint32_t col = kStoneRGB[i];
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 120; ++x) {
        uint32_t b0 = Px(block, x, y);
        uint32_t m = std::max({b0 >> 16 & 255, b0 >> 8 & 255, b0 & 255});
        uint32_t c = ((col >> 16 & 255) * m >> 8) << 16 | ((col >> 8 & 255) * m >> 8) << 8 | ((col & 255) * m >> 8);
        uint32_t b1 = Px(block, x, 24 + y);
        if (b1 != kPurple)
          c = std::min(255u, (c >> 16 & 255) + (b1 >> 16 & 255)) << 16 | std::min(255u, (c >> 8 & 255) + (b1 >> 8 & 255)) << 8 |
              std::min(255u, (c & 255) + (b1 & 255));
        uint32_t b2 = Px(block, x, 48 + y);
        if (b2 != kPurple) c = b2;
        sheet.at(x, 24 * i + y) = FromRGB(c);
      }
  }
  // Cell 23: the ice block tinted light blue, with cell 53 over it keyed on black.
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x) {
      uint32_t s = Px(sheet, 168 + x, y);
      uint32_t m = std::max({s >> 16 & 255, s >> 8 & 255, s & 255});
      uint32_t c = (0x80 * m >> 8) << 16 | (0x80 * m >> 8) << 8 | (0xFF * m >> 8);
      uint32_t o = Px(sheet, 120 + x, 144 + y);
      if (o != 0) c = o;
      sheet.at(168 + x, 48 + y) = FromRGB(c);
    }
  return sheet;
}

void Keyed(Image& dst, const Image& src, int dx, int dy, int sx, int sy, int w, int h, uint32_t key, int mode = 0,
           float k = 1) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (!src.in(sx + x, sy + y)) continue;
      uint32_t v = Px(src, sx + x, sy + y);
      if (v == key) continue;
      if (mode == 1) dst.Add(dx + x, dy + y, FromRGB(v), k);
      else dst.Blend(dx + x, dy + y, FromRGB(v), k);
    }
}

void Label(Image& img, int x, int y, const std::string& s) { DrawText(img, x, y, s, Hex(0xFFFFFF), Hex(0x000000)); }

// Font 0 as the game draws it: the back mask subtracted, then the face (tinted
// by its brightest channel when a colour is given). align: 0 left, 1 right, 2 centre.
struct Font {
  const Image *face, *mask;
  std::vector<int> start, width;
  Font(const Image& f, const Image& m) : face(&f), mask(&m) {
    for (int x = 0, in = 0; x < f.w; ++x) {
      bool ink = Px(f, x, 0) != kMagenta;
      if (ink && !in) { start.push_back(x); width.push_back(0); }
      if (ink) width.back()++;
      in = ink;
    }
  }
  int Width(const std::string& t) const {
    int w = 0;
    for (unsigned char c : t) w += c < width.size() ? width[c] : 0;
    return w;
  }
  void Draw(Image& img, int x, int y, const std::string& t, int align = 0, uint32_t tint = 0) const {
    if (align == 1) x -= Width(t);
    if (align == 2) x -= Width(t) / 2;
    for (unsigned char c : t) {
      if (c >= start.size()) continue;
      for (int yy = 2; yy < face->h; ++yy)
        for (int xx = 0; xx < width[c]; ++xx) {
          int sx = start[c] + xx, dx = x + xx, dy = y + yy - 2;
          if (!img.in(dx, dy)) continue;
          uint32_t m = Px(*mask, sx, yy);
          if (m != kMagenta) {
            Col& d = img.at(dx, dy);
            Col k = FromRGB(m);
            d = Col(std::max(0.0f, d.r - k.r), std::max(0.0f, d.g - k.g), std::max(0.0f, d.b - k.b));
          }
          uint32_t f = Px(*face, sx, yy);
          if (f == kMagenta) continue;
          if (tint) {
            uint32_t mx = std::max({f >> 16 & 255, f >> 8 & 255, f & 255});
            f = ((tint >> 16 & 255) * mx >> 8) << 16 | ((tint >> 8 & 255) * mx >> 8) << 8 | ((tint & 255) * mx >> 8);
          }
          img.at(dx, dy) = FromRGB(f);
        }
      x += width[c];
    }
  }
};

}  // namespace

Image MakePreview(const Output& out) {
  const auto& P = out.pictures;
  Image sheet = ComposeSheet(P.at("sheet.bmp"), P.at("block.bmp"));
  Image pv(1000, 1190, Hex(0x303038));
  // Row 1: title, a mock play screen, splash.
  {
    // The loading screen: progress bar and the dark key-font caption over the splash.
    Image sp = P.at("splash.bmp");
    sp.Rect(16, 216, 16 + 288 * 10 / 16, 228, Hex(0x000000));
    for (int x = 16; x < 304; ++x) { sp.Set(x, 216, Hex(0)); sp.Set(x, 227, Hex(0)); }
    for (int y = 216; y < 228; ++y) { sp.Set(16, y, Hex(0)); sp.Set(303, y, Hex(0)); }
    const Image& kf = P.at("keyfont.bmp");
    std::vector<int> st, wd;
    for (int x = 0, in = 0; x < kf.w; ++x) {
      bool ink = Px(kf, x, 0) != kMagenta;
      if (ink && !in) { st.push_back(x); wd.push_back(0); }
      if (ink) wd.back()++;
      in = ink;
    }
    std::string cap = "Loading Tavlin 2";
    int tw = 0;
    for (unsigned char c : cap) tw += wd[c] + 1;
    int cx = 160 - tw / 2, cy = 216 - 4 * (kf.h - 2) / 3;
    for (unsigned char c : cap) {
      for (int y = 2; y < kf.h; ++y)
        for (int x = 0; x < wd[c]; ++x) {
          uint32_t v = Px(kf, st[c] + x, y);
          if (v == kMagenta) continue;
          Col& d = sp.at(cx + x, cy + y - 2);
          Col k = FromRGB(v);
          d = Col(std::max(0.0f, d.r - k.r), std::max(0.0f, d.g - k.g), std::max(0.0f, d.b - k.b));
        }
      cx += wd[c] + 1;
    }
    pv.Paste(sp, 10, 20);
  }
  Label(pv, 10, 6, "splash.bmp while loading");
  Font font(P.at("font_frontmask.bmp"), P.at("font_backmask.bmp"));
  {
    Image t = P.at("title.bmp");
    const char* items[] = {"Single player", "Multi player", "Options", "Highscores", "Credits", "Quit"};
    int h = font.face->h - 2;
    for (int i = 0; i < 6; ++i) font.Draw(t, 93, 120 - 6 * h / 2 + i * h, items[i], 0, i == 0 ? 0xFFFFFF : 0xC0C0C0);
    font.Draw(t, 92, 120 - 6 * h / 2, ">", 1, 0xFFFFFF);
    font.Draw(t, 160, 204, "Version: 1.50", 2);
    pv.Paste(t, 340, 20);
  }
  Label(pv, 340, 6, "title.bmp with the main menu");
  {
    Image play = P.at("title.bmp");
    Keyed(play, P.at("gamehud.bmp"), 0, 0, 0, 0, 320, 240, kMagenta);
    for (int i = 0; i <= 8; ++i)
      for (int j = 0; j <= 8; ++j) {
        int kind = 54 + ((i + j) & 1);
        float op = (255 - 8 * (8 - i + j)) / 255.0f;
        Keyed(play, sheet, 52 + 12 * i + 12 * j, 108 - 12 * i + 12 * j, 24 * (kind & 7), 24 * (kind >> 3), 24, 24, kMagenta, 0, op);
      }
    // A few stones resting at the bottom of the diamond.
    Rng r(5);
    for (int row = 0; row < 9; ++row)
      for (int col = 0; col < 9; ++col) {
        if (row > 3 || col < 4 + row) continue;
        static const int kinds[] = {0, 8, 16, 24, 32, 40, 48, 13, 5, 6, 14, 15, 21, 7};
        int kind = kinds[r.I(row == 0 ? 14 : 7)];
        Keyed(play, sheet, 52 + 12 * (row + col), 108 + 12 * (col - row), 24 * (kind & 7), 24 * (kind >> 3), 24, 24, kMagenta);
      }
    Keyed(play, sheet, 148, 0, 24 * 1, 24 * 2, 24, 24, kMagenta);    // stone in hand
    Keyed(play, sheet, 148, 36, 24 * 5, 24 * 5, 24, 24, kMagenta, 0, 0.7f);  // arrow
    Keyed(play, sheet, 239, 33, 0, 24 * 4, 24, 24, kMagenta, 0, 0.75f);
    Keyed(play, sheet, 231, 33, 0, 24 * 6, 24, 24, kMagenta);
    font.Draw(play, 100, 25, "12480", 1);
    font.Draw(play, 44, 73, "7", 1);
    font.Draw(play, 292, 211, "13:37", 2);
    font.Draw(play, 261, 208, "3", 1);
    Keyed(play, sheet, 236, 199, 24 * 5, 24 * 1, 24, 24, kMagenta);
    const int anchors[3][2] = {{19, 149}, {48, 178}, {77, 207}};
    Rng rr(3);
    for (auto& a : anchors) {
      font.Draw(play, a[0] + 27, a[1] + 3 - (font.face->h - 2) / 2, "CPU", 2, 0xFF8000);
      for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c)
          if (c - r >= 2 + rr.I(3)) {
            int k = rr.I(7);
            uint32_t col = kStoneRGB[k];
            for (int y = 0; y < 6; ++y)
              for (int x = 0; x < 6; ++x) {
                static const char* kShape[6] = {"..##..", ".####.", "######", "######", ".####.", "..##.."};
                if (kShape[y][x] != '#') continue;
                float b = x + y >= 8 ? 0.45f : std::min(1.0f, 1.0f - 0.08f * (x + y));
                play.Set(a[0] + 3 * (r + c) + x, a[1] + 3 * (c - r) + y, Scale(FromRGB(col), b));
              }
          }
    }
    pv.Paste(play, 670, 20);
    Label(pv, 670, 6, "play screen (hud + board)");
  }
  // Row 2: sheet composed, block, minisheets, fonts.
  {
    Image s2(sheet.w * 2, sheet.h * 2, Hex(0x202028));
    for (int y = 0; y < sheet.h; ++y)
      for (int x = 0; x < sheet.w; ++x) {
        uint32_t v = Px(sheet, x, y);
        Col c = v == kMagenta ? (((x / 4 + y / 4) & 1) ? Hex(0x404048) : Hex(0x383840)) : FromRGB(v);
        for (int j = 0; j < 2; ++j)
          for (int i = 0; i < 2; ++i) s2.at(2 * x + i, 2 * y + j) = c;
      }
    pv.Paste(s2, 10, 290);
    Label(pv, 10, 276, "sheet.bmp composed (x2)");
  }
  pv.Paste(P.at("block.bmp"), 410, 290);
  Label(pv, 410, 276, "block.bmp");
  {
    const Image& m = P.at("minisheet.bmp");
    Image mm = m;
    for (int i = 0; i < 7; ++i)
      for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
          uint32_t t = Px(m, 30 + x, 12 + y);
          uint32_t mx = std::max({t >> 16 & 255, t >> 8 & 255, t & 255});
          uint32_t col = kStoneRGB[i];
          uint32_t c = ((col >> 16 & 255) * mx >> 8) << 16 | ((col >> 8 & 255) * mx >> 8) << 8 | ((col & 255) * mx >> 8);
          uint32_t a = Px(m, 36 + x, 12 + y);
          if (a != kMagenta)
            c = std::min(255u, (c >> 16 & 255) + (a >> 16 & 255)) << 16 | std::min(255u, (c >> 8 & 255) + (a >> 8 & 255)) << 8 |
                std::min(255u, (c & 255) + (a & 255));
          uint32_t o = Px(m, 42 + x, 12 + y);
          if (o != kPurple) c = o;
          mm.at(6 * i + x, y) = FromRGB(c);
        }
    Image big(mm.w * 4, mm.h * 4);
    for (int y = 0; y < big.h; ++y)
      for (int x = 0; x < big.w; ++x) big.at(x, y) = mm.at(x / 4, y / 4);
    pv.Paste(big, 410, 390);
    Label(pv, 410, 376, "minisheet composed (x4)");
    // A small grid as the co-player panel shows it.
    Image grid(70, 70, Hex(0x0E1230));
    Rng r(9);
    for (int rr = 8; rr >= 0; --rr)
      for (int c = 0; c < 9; ++c) {
        if (rr + (8 - c) > 5 + r.I(2)) continue;
        int k = r.I(9);
        if (k < 7) Keyed(grid, mm, 8 + 3 * (rr + c), 30 + 3 * (c - rr), 6 * k, 0, 6, 6, kMagenta);
        else Keyed(grid, mm, 8 + 3 * (rr + c), 30 + 3 * (c - rr), 6 * (k - 7 + 3), 6, 6, 6, kMagenta);
      }
    Image g2(140, 140);
    for (int y = 0; y < 140; ++y)
      for (int x = 0; x < 140; ++x) g2.at(x, y) = grid.at(x / 2, y / 2);
    pv.Paste(g2, 620, 390);
    Label(pv, 620, 376, "small grid (x2)");
    Image b4(P.at("minibomb.bmp").w * 2, 24);
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < b4.w; ++x) b4.at(x, y) = P.at("minibomb.bmp").at(x / 2, y / 2);
    pv.Paste(b4, 410, 480);
    Label(pv, 410, 466, "minibomb.bmp (x2)");
  }
  {
    pv.Paste(P.at("kbkey.png"), 780, 390, true);
    Image k3(72, 78, Hex(0x909090));
    const Image& k = P.at("kbkey.png");
    for (int y = 0; y < 78; ++y)
      for (int x = 0; x < 72; ++x) k3.Blend(x, y, k.at(x / 3, y / 3));
    pv.Paste(k3, 810, 390);
    Label(pv, 780, 376, "kbkey.png");
  }
  // Fonts, shown on a mid backdrop.
  {
    int y = 540;
    Label(pv, 410, y - 14, "fonts");
    for (const char* name : {"font_frontmask.bmp", "font_backmask.bmp", "keyfont.bmp", "font.bmp"}) {
      const Image& f = P.at(name);
      int w = std::min(f.w, 580);
      for (int yy = 0; yy < f.h; ++yy)
        for (int xx = 0; xx < w; ++xx) pv.at(410 + xx, y + yy) = f.at(xx + std::min(250, f.w - w), yy);
      y += f.h + 6;
    }
    // A sample line drawn as the game draws font 0: back mask subtracted, then the face.
    Image t = P.at("title.bmp");
    Image line(320, 60);
    line.Paste(t, 0, 0, false, 0, 90, 320, 60);
    DrawText(line, 10, 10, "Start Game  > Options  Highscores", Hex(0xFFFFFF), Hex(0x000000, 0.8f));
    DrawText(line, 10, 30, "Score 0123456789  Level 12  gjpqy", Hex(0xFFC040), Hex(0x000000, 0.8f));
    pv.Paste(line, 410, y + 4);
  }
  // Banner on the intro gradient and the logo.
  {
    Image intro(320, 240);
    for (int y = 0; y < 240; ++y)
      for (int x = 0; x < 320; ++x) intro.at(x, y) = Mix(Mix(Hex(0x5473A4), Hex(0x34548E), x / 319.0f), Hex(0xC6DEEE), y / 239.0f);
    Image logo = RenderLogo(320, 240, 2048);
    intro.Paste(logo, 0, -20, true);
    intro.Paste(P.at("zarnbanner.png"), 160 - P.at("zarnbanner.png").w / 2, 200, true);
    pv.Paste(intro, 10, 940);
    Label(pv, 10, 926, "intro: logo and banner");
    Image logo2 = RenderLogo(320, 240, 1700);
    Image i2(320, 240, Hex(0x34548E));
    i2.Paste(logo2, 0, -20, true);
    pv.Paste(i2, 340, 940);
    Label(pv, 340, 926, "logo turning");
  }
  // The on-screen keyboard as the game builds it: gradient panel, nine-part key caps, dark labels.
  {
    static const char* kRows[5] = {"\x07\x07" "11223344556677889900--\x08\x08\x08",
                                   "\x09\x09\x09" "qqwweerrttyyuuiioopp==''",
                                   "\x0c\x0c\x0c\x0c" "aassddffgghhjjkkll\x0a\x0a\x0a\x0a\x0a",
                                   "\x0b\x0b\x0b\x0b\x0b" "zzxxccvvbbnnmm,,..;;//",
                                   "\x01\x01\x01\x01\x01\x01                \x01\x01\x01\x01\x01"};
    Image kb(320, 96);
    for (int y = 0; y < 96; ++y)
      for (int x = 0; x < 320; ++x)
        kb.at(x, y) = Mix(Mix(Hex(0x808080), Hex(0xE0E0E0), x / 319.0f), Mix(Hex(0xA0A0A0), Hex(0xFFFFFF), x / 319.0f), y / 95.0f);
    const Image& cap = P.at("kbkey.png");
    const Image& kf = P.at("keyfont.bmp");
    std::vector<int> starts, widths;
    for (int x = 0, in = 0; x < kf.w; ++x) {
      bool ink = Px(kf, x, 0) != kMagenta;
      if (ink && !in) { starts.push_back(x); widths.push_back(0); }
      if (ink) widths.back()++;
      in = ink;
    }
    for (int r = 0; r < 5; ++r) {
      const char* row = kRows[r];
      for (int s = 0; s < 27;) {
        int e = s;
        while (e < 27 && row[e] == row[s]) ++e;
        unsigned char code = (unsigned char)row[s];
        if (code > 1) {
          int l = 52 + 8 * s, t = 5 + 16 * r, w = 8 * (e - s), h = 18;
          for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
              int sx = x < 8 ? x : x >= w - 8 ? 24 - (w - x) : 8 + (x - 8) % 8;
              int sy = y < 8 ? y : y >= h - 8 ? 26 - (h - y) : 8 + (y - 8) % 8;
              kb.Blend(l + x, t + y, cap.at(sx, sy));
            }
          int g = code == 7 ? 28 : code == 8 ? 31 : code == 9 ? 30 : code == 10 ? 29 : code == 11 ? 24 : code == 12 ? 26 : code;
          int gw = widths[size_t(g)], gx = l + w / 2 - gw / 2, gy = t + 8 - 4;
          for (int y = 2; y < kf.h; ++y)
            for (int x = 0; x < gw; ++x) {
              uint32_t v = Px(kf, starts[size_t(g)] + x, y);
              if (v == kMagenta) continue;
              Col& d = kb.at(gx + x, gy + y - 2);
              Col c = FromRGB(v);
              d = Col(std::max(0.0f, d.r - c.r), std::max(0.0f, d.g - c.g), std::max(0.0f, d.b - c.b));
            }
        }
        s = e;
      }
    }
    pv.Paste(kb, 670, 940);
    Label(pv, 670, 926, "keyboard panel");
  }
  // The effects as waveforms, in pack order.
  {
    int x0 = 670, y0 = 1050;
    Label(pv, x0, y0 - 14, "effects 1-16");
    for (size_t i = 0; i < out.sounds.size(); ++i) {
      const auto& snd = out.sounds[i].second;
      int bx = x0 + int(i % 4) * 80, by = y0 + int(i / 4) * 34;
      pv.Rect(bx, by, bx + 76, by + 30, Hex(0x181820));
      size_t per = std::max<size_t>(1, snd.size() / 76);
      for (int x = 0; x < 76; ++x) {
        int peak = 0;
        for (size_t k = size_t(x) * per; k < std::min(snd.size(), size_t(x + 1) * per); ++k) peak = std::max(peak, std::abs(int(snd[k])));
        int hgt = peak * 14 / 32768;
        for (int y = -hgt; y <= hgt; ++y) pv.Set(bx + x, by + 15 + y, Hex(0x60C0FF));
      }
      DrawText(pv, bx + 2, by + 1, std::to_string(i + 1), Hex(0xFFFFFF), Hex(0x000000, 0.7f));
    }
  }
  for (auto& p : pv.px) p.a = 1;
  return pv;
}

}  // namespace rg
