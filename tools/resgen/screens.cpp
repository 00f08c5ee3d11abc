// Full-screen pictures, the keyboard key cap and the framework banner.
#include <algorithm>
#include <cmath>

#include "res.h"

namespace rg {

Col GemPreview(int x, int y, Col base, int frame);

// A stone as an RGBA image (transparent outside), for pictures.
Image StoneImage(Col base, int frame) {
  Image s(24, 24, Col(0, 0, 0, 0));
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x) {
      float d = std::fabs(x + 0.5f - 12) + std::fabs(y + 0.5f - 12);
      if (d > 12) continue;
      s.at(x, y) = d > 11 ? Hex(0x120E1E) : GemPreview(x, y, base, frame);
    }
  return s;
}

void DrawBigText(Image& img, float cx, float top, const std::string& s, float block, Col top_col, Col bottom_col,
                 Col outline, float depth) {
  int cols = TextWidth(s, 1);
  std::vector<uint8_t> ink(size_t(cols) * 9, 0);
  ForEachInk(s, 1, [&](int x, int y) { ink[size_t(y) * cols + x] = 1; });
  float x0 = cx - cols * block / 2;
  auto ink_at = [&](int gx, int gy) { return gx >= 0 && gy >= 0 && gx < cols && gy < 9 && ink[size_t(gy) * cols + gx]; };
  auto inside = [&](float ox, float oy, float grow) {
    return [=](float x, float y) {
      x -= ox; y -= oy;
      int gx = int(std::floor((x - x0) / block)), gy = int(std::floor((y - top) / block));
      int r = int(std::ceil(grow / block)) + 1;
      for (int j = -r; j <= r; ++j)
        for (int i = -r; i <= r; ++i) {
          if (!ink_at(gx + i, gy + j)) continue;
          float bx0 = x0 + (gx + i) * block, by0 = top + (gy + j) * block;
          float dx = std::max({bx0 - x, 0.0f, x - (bx0 + block)});
          float dy = std::max({by0 - y, 0.0f, y - (by0 + block)});
          if (dx * dx + dy * dy <= grow * grow + 1e-4f) return true;
        }
      return false;
    };
  };
  int X0 = int(x0 - 4), X1 = int(x0 + cols * block + depth + 5), Y0 = int(top - 4), Y1 = int(top + 9 * block + depth + 5);
  float og = std::max(1.0f, block * 0.45f);
  for (float d = depth; d >= 0; d -= 0.5f) PaintShape(img, X0, Y0, X1, Y1, inside(d, d, og), [&](float, float) { return outline; });
  for (float d = depth; d > 0; d -= 0.5f)
    PaintShape(img, X0, Y0, X1, Y1, inside(d, d, 0), [&](float, float) { return Scale(bottom_col, 0.45f); });
  float h = 7 * block;
  PaintShape(img, X0, Y0, X1, Y1, inside(0, 0, 0),
             [&](float, float y) { return Mix(top_col, bottom_col, std::clamp((y - top) / h, 0.0f, 1.0f)); });
  // A thin highlight along the top of each stroke.
  PaintShape(img, X0, Y0, X1, Y1,
             [&](float x, float y) { return inside(0, 0, 0)(x, y) && !inside(0, 0, 0)(x, y - block * 0.35f); },
             [&](float, float) { return Col(1, 1, 1, 0.55f); });
}

namespace {

constexpr float kPi = 3.14159265f;

// Night-sky backdrop with a faint diamond lattice and stars.
Image SkyBackdrop(uint32_t seed, Col top, Col bottom) {
  Image img(320, 240);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) {
      float t = y / 239.0f;
      Col c = Mix(top, bottom, t);
      float n = Noise2(x / 46.0f, y / 46.0f, seed) * 0.6f + Noise2(x / 17.0f, y / 17.0f, seed + 1) * 0.4f;
      c = Mix(c, Hex(0x6A3A8C), std::max(0.0f, n - 0.45f) * 0.55f);
      // Lattice of diamonds on the board's 24-pixel grid.
      float u = std::fmod(std::fabs(x - y + 1000.0f), 24.0f), v = std::fmod(std::fabs(x + y + 1000.0f), 24.0f);
      float line = std::min({u, 24 - u, v, 24 - v});
      if (line < 0.8f) c = Mix(c, Hex(0x8090E0), 0.06f);
      c.a = 1;
      img.at(x, y) = c;
    }
  Rng r(seed * 7919 + 3);
  for (int i = 0; i < 110; ++i) {
    int x = r.I(320), y = r.I(240);
    float b = 0.25f + 0.6f * r.F() * r.F();
    Col sc = Mix(Hex(0xA0B8FF), Hex(0xFFF4D8), r.F());
    img.Add(x, y, sc, b);
    if (b > 0.6f) {
      img.Add(x + 1, y, sc, b * 0.35f); img.Add(x - 1, y, sc, b * 0.35f);
      img.Add(x, y + 1, sc, b * 0.35f); img.Add(x, y - 1, sc, b * 0.35f);
    }
  }
  return img;
}

void PasteStone(Image& img, int x, int y, int colour, int frame = 0, float alpha = 1) {
  Image s = StoneImage(Hex(kStoneRGB[colour]), frame);
  for (auto& p : s.px) p.a *= alpha;
  img.Paste(s, x, y, true);
}

void Glow(Image& img, float cx, float cy, float r, Col c, float k) {
  for (int y = int(cy - r); y <= int(cy + r); ++y)
    for (int x = int(cx - r); x <= int(cx + r); ++x) {
      float d = std::sqrt((x + 0.5f - cx) * (x + 0.5f - cx) + (y + 0.5f - cy) * (y + 0.5f - cy)) / r;
      if (d < 1) img.Add(x, y, c, k * (1 - d) * (1 - d));
    }
}

// Rounded panel with a soft rim, blended.
void Panel(Image& img, int x0, int y0, int x1, int y1, Col fill, Col rim, float radius = 4) {
  auto in = [=](float g) {
    return [=](float x, float y) {
      float cx = std::clamp(x, x0 + radius - g, x1 - radius + g), cy = std::clamp(y, y0 + radius - g, y1 - radius + g);
      float dx = x - cx, dy = y - cy;
      return dx * dx + dy * dy <= radius * radius;
    };
  };
  PaintShape(img, x0 - 2, y0 - 2, x1 + 2, y1 + 2, in(1), [&](float, float) { return rim; });
  PaintShape(img, x0 - 2, y0 - 2, x1 + 2, y1 + 2, in(0), [&](float, float y) {
    Col c = Mix(fill, Scale(fill, 0.7f), (y - y0) / std::max(1.0f, float(y1 - y0)));
    c.a = fill.a;
    return c;
  });
}

Image Splash() {
  // Dawn: deep blue above, warm light below where the loading bar sits.
  Image img(320, 240);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) {
      float t = y / 239.0f;
      Col c = t < 0.55f ? Mix(Hex(0x141a48), Hex(0x6a4a9a), t / 0.55f) : Mix(Hex(0x6a4a9a), Hex(0xf6d8b0), (t - 0.55f) / 0.45f);
      float n = Noise2(x / 40.0f, y / 24.0f, 5);
      c = Mix(c, Hex(0xffe8d0), std::max(0.0f, n - 0.55f) * 0.3f * t);
      img.at(x, y) = c;
    }
  Rng r(42);
  for (int i = 0; i < 70; ++i) {
    int x = r.I(320), y = r.I(100);
    img.Add(x, y, Hex(0xE0E8FF), 0.2f + 0.6f * r.F() * (1 - y / 100.0f));
  }
  // A small board of stones below the name.
  Glow(img, 160, 150, 120, Hex(0xffd8b0), 0.4f);
  static const int kBoard[4][4] = {{3, 3, 0, 5}, {1, 3, 0, 5}, {1, 6, 2, 2}, {4, 6, 6, 2}};
  for (int r = 3; r >= 0; --r)
    for (int c = 0; c < 4; ++c) PasteStone(img, 112 + 12 * (r + c), 136 + 12 * (c - r), kBoard[r][c], (r + 2 * c) % 5);
  // Two stones on their way down.
  Glow(img, 62, 116, 26, Hex(0xfff0d0), 0.35f);
  Glow(img, 258, 104, 26, Hex(0xfff0d0), 0.35f);
  PasteStone(img, 50, 104, 5, 1);
  PasteStone(img, 246, 92, 0, 3);
  for (int k = 1; k <= 3; ++k) {
    PasteStone(img, 50, 104 - 9 * k, 5, 1, 0.28f / k);
    PasteStone(img, 246, 92 - 9 * k, 0, 3, 0.28f / k);
  }
  DrawBigText(img, 142, 20, "TAVLIN", 6.0f, Hex(0xFFF6C8), Hex(0xF08A18), Hex(0x1A0C26), 3);
  DrawBigText(img, 272, 20, "2", 6.0f, Hex(0xFFFFFF), Hex(0x60C8FF), Hex(0x0C1430), 3);
  DrawText(img, 160, 78, "A PUZZLE OF FALLING STONES", Hex(0xFFF4E8), Hex(0x2A1838, 0.85f), true);
  return img;
}

Image Title() {
  Image img = SkyBackdrop(11, Hex(0x0A0C2A), Hex(0x2A1446));
  // Wordmark at the top.
  Glow(img, 160, 24, 90, Hex(0x6040A0), 0.35f);
  DrawBigText(img, 150, 6, "TAVLIN", 3.6f, Hex(0xFFF6C8), Hex(0xF08A18), Hex(0x12081C), 2);
  DrawBigText(img, 226, 10, "2", 3.0f, Hex(0xFFFFFF), Hex(0x60C8FF), Hex(0x0C1430), 2);
  // Menu plate: wide enough for the highscore rows, whose seven-digit scores
  // start at x 69.
  Panel(img, 62, 58, 258, 196, Hex(0x0C0E26, 0.55f), Hex(0x8C9CE0, 0.35f), 6);
  // Stone columns at both sides, clear of the plate and of the page's bottom
  // line ("< Previous" from x 51 and "Next >" to x 269, at y 204).
  const int left[][3] = {{20, 68, 0}, {44, 92, 3}, {20, 116, 5}, {44, 140, 1}, {20, 164, 6}, {44, 188, 2}};
  for (auto& s : left) {
    PasteStone(img, s[0] - 12, s[1] - 12, s[2], 0, 0.95f);
    PasteStone(img, 320 - s[0] - 12, s[1] - 12, (s[2] + 3) % 7, 0, 0.95f);
  }
  return img;
}

Image GameHud(const Image& title) {
  (void)title;
  Image img(320, 240, Hex(kMagenta));
  Image sky = SkyBackdrop(23, Hex(0x080A22), Hex(0x1C1038));
  // The HUD covers the whole title picture: the title's wordmark and stone
  // columns would read as game pieces behind the board.
  img.Paste(sky, 0, 0);
  // Board bed: a dark diamond with a glowing rim.
  auto diamond = [](float grow) {
    return [grow](float x, float y) { return std::fabs(x - 160) + std::fabs(y - 120) <= 108 + grow; };
  };
  PaintShape(img, 40, 0, 280, 240, diamond(4), [](float, float) { return Hex(0x5C6CC0); });
  PaintShape(img, 40, 0, 280, 240, diamond(2.5f), [](float, float) { return Hex(0x161A3A); });
  PaintShape(img, 40, 0, 280, 240, diamond(0), [](float x, float y) { return Mix(Hex(0x0E1230), Hex(0x1A1E48), (y - 12) / 216 + (x - 160) / 800); });

  Col plate = Hex(0x121634, 0.88f), rim = Hex(0x7080D0, 0.9f);
  Col label = Hex(0xB8C4F0);
  // The tutorial's text band covers rows 0 to 23 and lets half of what is
  // behind it through: no label may sit there, or it reads as part of the
  // band's lines. The score's label shares its row with the score (drawn
  // right-aligned to x 100 at y 25) and the next stones' label goes below them.
  // Score.
  Panel(img, 6, 24, 106, 38, plate, rim);
  DrawText(img, 12, 27, "SCORE", label, Hex(0x000000, 0.6f));
  // Level.
  Panel(img, 6, 58, 50, 88, plate, rim);
  DrawText(img, 12, 61, "LEVEL", label, Hex(0x000000, 0.6f));
  // Next stones (drawn at y 33).
  Panel(img, 224, 26, 270, 72, plate, rim);
  DrawText(img, 247, 61, "NEXT", label, Hex(0x000000, 0.6f), true);
  PaintShape(img, 224, 28, 270, 60, [](float x, float y) { return std::fabs(x - 243) + std::fabs(y - 45) <= 15 || std::fabs(x - 251) + std::fabs(y - 45) <= 15; },
             [](float, float) { return Hex(0x000000, 0.35f); });
  // Red bar groove along the lower right side of the board.
  PaintShape(img, 170, 125, 280, 236,
             [](float x, float y) {
               float u = x + y;  // constant along a line of the bar
               float v = x - y;  // position along it
               return u >= 176 + 227 - 1.5f && u <= 184 + 227 + 1.5f && v >= 176 - 227 - 2 && v <= 268 - 135 + 10;
             },
             [](float, float) { return Hex(0x7080D0); });
  PaintShape(img, 170, 125, 280, 236,
             [](float x, float y) {
               float u = x + y, v = x - y;
               return u >= 176 + 227 && u <= 184 + 227 && v >= 176 - 227 && v <= 268 - 135 + 8;
             },
             [](float, float) { return Hex(0x06081A); });
  // Incoming package box.
  Panel(img, 226, 188, 268, 232, plate, rim);
  // Clock.
  Panel(img, 272, 206, 314, 224, plate, rim);
  // Co-player sockets: each small grid is a diamond about (x + 27, y + 3) of the
  // panel anchor, its bar runs up to the left along the lower left side.
  const int anchors[3][2] = {{19, 149}, {48, 178}, {77, 207}};
  for (auto& a : anchors) {
    float cx = a[0] + 27.0f, cy = a[1] + 3.0f;
    auto socket = [=](float r) {
      return [=](float x, float y) { return std::fabs(x - cx) + std::fabs(y - cy) <= r; };
    };
    PaintShape(img, int(cx - 34), int(cy - 34), int(cx + 34), int(cy + 34), socket(29.5f), [](float, float) { return Hex(0x6878C8); });
    PaintShape(img, int(cx - 34), int(cy - 34), int(cx + 34), int(cy + 34), socket(28.5f),
               [=](float x, float y) { return Mix(Hex(0x0C1030), Hex(0x161A40), (y - cy + 28) / 56 + (x - cx) / 200); });
    float bx = a[0] + 23.0f, by = a[1] + 29.0f;
    PaintShape(img, int(bx - 30), int(by - 30), int(bx + 4), int(by + 4),
               [=](float x, float y) {
                 float u = (x - y) - (bx - by), v = x - bx;
                 return u <= 1.5f && u >= -5.5f && v <= 1.5f && v >= -26.5f;
               },
               [](float, float) { return Hex(0x6878C8); });
    PaintShape(img, int(bx - 30), int(by - 30), int(bx + 4), int(by + 4),
               [=](float x, float y) {
                 float u = (x - y) - (bx - by), v = x - bx;
                 return u <= 0.6f && u >= -4.6f && v <= 0.6f && v >= -25.6f;
               },
               [](float, float) { return Hex(0x06081A); });
  }
  // The two touch buttons: minimise and pause.
  for (int b = 0; b < 2; ++b) {
    int x0 = 4 + 30 * b;
    Panel(img, x0, 216, x0 + 20, 236, Hex(0x283470), Hex(0x9CACF0), 4);
    if (b == 0) img.Rect(x0 + 5, 229, x0 + 15, 231, Hex(0xF0F4FF));
    else {
      img.Rect(x0 + 6, 221, x0 + 9, 231, Hex(0xF0F4FF));
      img.Rect(x0 + 11, 221, x0 + 14, 231, Hex(0xF0F4FF));
    }
  }
  for (auto& p : img.px) p.a = 1;
  return img;
}

Image KeyCap() {
  // 24 x 26: rows 0-7 top, 8-15 stretch, 18-25 bottom with the cap's front and shadow.
  Image img(24, 26, Col(0, 0, 0, 0));
  auto cap = [](float x0, float y0, float x1, float y1, float r) {
    return [=](float x, float y) {
      float cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
      return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
    };
  };
  PaintShape(img, 0, 0, 24, 26, cap(1.5f, 3, 23.0f, 26, 3), [](float, float) { return Hex(0x101020, 0.35f); });
  PaintShape(img, 0, 0, 24, 26, cap(1, 1, 23, 24, 3), [](float, float) { return Hex(0x60667C); });
  PaintShape(img, 0, 0, 24, 26, cap(1.6f, 1.6f, 22.4f, 21.4f, 2.6f), [](float, float y) {
    return Mix(Hex(0xFFFFFF), Hex(0xE2E8F4), std::clamp((y - 2) / 6.0f, 0.0f, 1.0f));
  });
  // The stretch rows must repeat: copy row 8 down to 15.
  for (int y = 9; y < 16; ++y)
    for (int x = 0; x < 24; ++x) img.at(x, y) = img.at(x, 8);
  // Shift the bottom so its rows 18-25 describe the cap's last eight rows.
  Image out = img;
  return out;
}

Image Banner() {
  Image img(320, 40, Col(0, 0, 0, 0));
  // A soft dark band so the name reads over the gradient.
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 320; ++x) {
      float ex = std::min(1.0f, std::min(x, 319 - x) / 60.0f);
      float ey = 1 - std::fabs(y - 19.5f) / 20.0f;
      img.at(x, y) = Col(0.06f, 0.05f, 0.14f, 0.55f * ex * std::min(1.0f, ey * 2.2f));
    }
  DrawBigText(img, 160, 6, "ZARN", 2.6f, Hex(0xFFFFFF), Hex(0xB8C8F0), Hex(0x101028), 1.5f);
  DrawText(img, 160, 30, "application framework", Hex(0xE8ECFF), Hex(0x101028, 0.7f), true);
  return img;
}

}  // namespace

Image StoneImageFor(int colour, int frame) { return StoneImage(Hex(kStoneRGB[colour]), frame); }

void MakeScreens(Output& out) {
  Image splash = Splash(), title = Title(), hud = GameHud(title);
  GuardKey(splash, kMagenta);
  GuardKey(title, kMagenta);
  GuardKey(hud, kMagenta);
  Image key = KeyCap(), banner = Banner();
  out.gfx.push_back({"splash.bmp", EncodeBmp24(splash)});
  out.gfx.push_back({"title.bmp", EncodeBmp24(title)});
  out.gfx.push_back({"gamehud.bmp", EncodeBmp24(hud)});
  out.gfx.push_back({"kbkey.png", EncodePngRGBA(key)});
  out.gfx.push_back({"zarnbanner.png", EncodePngRGBA(banner)});
  out.pictures["splash.bmp"] = splash;
  out.pictures["title.bmp"] = title;
  out.pictures["gamehud.bmp"] = hud;
  out.pictures["kbkey.png"] = key;
  out.pictures["zarnbanner.png"] = banner;
}

}  // namespace rg
