// Stone sheet, frame templates, small-grid sheets.
#include <algorithm>
#include <cmath>

#include "res.h"

namespace rg {

const uint32_t kStoneRGB[7] = {0xD0D000, 0xC000FF, 0x00D000, 0xFF0000, 0xC06000, 0x0060FF, 0xD0D0D0};

namespace {

constexpr float kPi = 3.14159265f;

float D1(float x, float y, float cx = 12, float cy = 12) { return std::fabs(x - cx) + std::fabs(y - cy); }

// Gem lighting: brightness of a point of the 24x24 gem for a light turned by frame k (0 = top left).
float GemLight(float x, float y, int frame) {
  float dx = x - 12, dy = y - 12;
  float d = std::fabs(dx) + std::fabs(dy);
  float phi = 1.25f * kPi + frame * (2 * kPi / 5);
  float lx = std::cos(phi), ly = std::sin(phi), lz = 0.9f;
  float ll = std::sqrt(lx * lx + ly * ly + lz * lz);
  lx /= ll; ly /= ll; lz /= ll;
  float nx = 0, ny = 0, nz = 1;
  if (d > 5.5f) {
    nx = dx < 0 ? -0.75f : 0.75f;
    ny = dy < 0 ? -0.75f : 0.75f;
    nz = 0.9f;
    float nl = std::sqrt(nx * nx + ny * ny + nz * nz);
    nx /= nl; ny /= nl; nz /= nl;
  }
  float dot = std::max(0.0f, nx * lx + ny * ly + nz * lz);
  float b = 0.40f + 0.62f * dot * dot;
  // Slight curvature inside the table, and a lip where the table meets the bevel.
  if (d <= 5.5f) b -= 0.04f * (dx + dy) / 6.0f;
  if (d > 4.5f && d <= 5.5f) b *= 0.92f;
  return std::clamp(b, 0.05f, 1.0f);
}

// Additive highlight of a gem frame (white, 0..1).
float GemShine(int px, int py, int frame) {
  float x = px + 0.5f, y = py + 0.5f;
  float d = D1(x, y);
  // A faint lift of the table so dark colours still read as gems.
  float v = d <= 5.5f ? 0.07f : 0;
  float phi = 1.25f * kPi + frame * (2 * kPi / 5);
  float lx = std::cos(phi), ly = std::sin(phi);
  // Rim light on the edge facing the light.
  if (d > 10.2f && d <= 11.2f) {
    float f = ((x - 12) * lx + (y - 12) * ly) / d;
    if (f > 0.2f) v = std::max(v, 0.45f * (f - 0.2f) / 0.8f + 0.1f);
  }
  // Sparkle on the table, on the light's side.
  float sx = 12 + lx * 3.0f, sy = 12 + ly * 3.0f;
  float ax = std::fabs(x - sx), ay = std::fabs(y - sy);
  if (ax < 0.6f && ay < 2.6f) v = std::max(v, 0.75f - ay * 0.2f);
  if (ay < 0.6f && ax < 2.6f) v = std::max(v, 0.75f - ax * 0.2f);
  if (ax < 1.0f && ay < 1.0f) v = 0.9f;
  return v;
}

// A full-colour gem (used by the special stones and the preview).
Col GemPixel(int px, int py, Col base, int frame, float shine_k = 1) {
  float x = px + 0.5f, y = py + 0.5f;
  float b = GemLight(x, y, frame);
  Col c = Scale(base, b);
  float s = GemShine(px, py, frame) * shine_k;
  c.r = std::min(1.0f, c.r + s); c.g = std::min(1.0f, c.g + s); c.b = std::min(1.0f, c.b + s);
  return c;
}

const Col kOutline = Hex(0x120E1E);

// Writes the gem shape of one 24x24 cell: magenta outside, outline, colour from f inside.
template <typename F>
void GemCell(Image& img, int ox, int oy, F f) {
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x) {
      float d = D1(x + 0.5f, y + 0.5f);
      Col c = d > 12 ? Hex(kMagenta) : d > 11 ? kOutline : f(x, y);
      img.Set(ox + x, oy + y, c);
    }
}

void Disc(Image& img, float cx, float cy, float r, Col c, bool add = false) {
  PaintShape(img, int(cx - r - 1), int(cy - r - 1), int(cx + r + 2), int(cy + r + 2),
             [=](float x, float y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; },
             [=](float, float) { return c; }, add);
}

// Hardens an emblem drawn with coverage into the cell: the magenta key must stay exact.
Image NewCell() { return Image(24, 24, Hex(kMagenta)); }


// Emblems drawn onto a gem cell at its own coordinates.
void NuclearEmblem(Image& c) {
  Disc(c, 12, 12, 6.2f, Hex(0x101008));
  Disc(c, 12, 12, 5.4f, Hex(0xF4E030));
  PaintShape(c, 5, 5, 19, 19,
             [](float x, float y) {
               float dx = x - 12, dy = y - 12, r = std::sqrt(dx * dx + dy * dy);
               if (r < 1.2f) return true;
               if (r < 1.9f || r > 4.9f) return false;
               float a = std::atan2(dy, dx) + kPi / 2;  // a blade points up
               float m = std::fmod(a + 4 * kPi + kPi / 6, 2 * kPi / 3);
               return m < kPi / 3;
             },
             [](float, float) { return Hex(0x181408); });
}

void FireEmblem(Image& c) {
  auto flame = [](float s) {
    return [s](float x, float y) {
      float dx = (x - 12) / s, dy = (y - 13.5f) / s;
      if (dy > 0) return dx * dx + dy * dy * 1.2f <= 16;
      float w = 4.0f * (1 + dy / 9.0f);
      return dy > -9 && std::fabs(dx + 0.15f * dy * std::sin(dy * 0.7f)) <= w * std::sqrt(std::max(0.0f, 1 + dy / 9));
    };
  };
  PaintShape(c, 3, 2, 21, 22, flame(1.12f), [](float, float) { return Hex(0x401008); });
  PaintShape(c, 3, 2, 21, 22, flame(1.0f), [](float, float y) { return Mix(Hex(0xFF4010), Hex(0xFFB020), (y - 4) / 14); });
  PaintShape(c, 3, 2, 21, 22, flame(0.55f), [](float, float) { return Hex(0xFFF0A0); });
}

void BioEmblem(Image& c) {
  Disc(c, 12, 12, 6.4f, Hex(0x0C1808));
  for (int k = 0; k < 3; ++k) {
    float a = -kPi / 2 + k * 2 * kPi / 3;
    float cx = 12 + std::cos(a) * 2.9f, cy = 12 + std::sin(a) * 2.9f;
    Disc(c, cx, cy, 3.0f, Hex(0xC8F040));
    Disc(c, 12 + std::cos(a) * 3.7f, 12 + std::sin(a) * 3.7f, 1.5f, Hex(0x0C1808));
  }
  Disc(c, 12, 12, 1.6f, Hex(0x0C1808));
}

void SkullEmblem(Image& c) {
  Col bone = Hex(0xF0E8D8), dark = Hex(0x1A1020);
  Disc(c, 12, 10.5f, 5.6f, dark);
  PaintShape(c, 7, 12, 18, 19, [](float x, float y) { return x >= 8.5f && x <= 15.5f && y <= 17.6f; },
             [=](float, float) { return dark; });
  Disc(c, 12, 10.5f, 4.7f, bone);
  PaintShape(c, 8, 12, 17, 18, [](float x, float y) { return x >= 9.4f && x <= 14.6f && y <= 16.8f; },
             [=](float, float) { return bone; });
  Disc(c, 10.0f, 10.6f, 1.45f, dark);
  Disc(c, 14.0f, 10.6f, 1.45f, dark);
  PaintShape(c, 10, 12, 15, 15, [](float x, float y) { return std::fabs(x - 12) * 1.6f <= (y - 12.4f) && y < 14.2f; },
             [=](float, float) { return dark; });
  for (int i = 0; i < 2; ++i) c.Set(10 + 2 * i + 1, 16, dark);
}

}  // namespace

Col GemPreview(int x, int y, Col base, int frame) { return GemPixel(x, y, base, frame); }

void MakeSprites(Output& out) {
  // block.bmp: three bands of five frames.
  Image block(120, 72, Hex(kPurple));
  for (int f = 0; f < 5; ++f)
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 24; ++x) {
        float d = D1(x + 0.5f, y + 0.5f);
        float b = d <= 12 ? GemLight(x + 0.5f, y + 0.5f, f) : 0.5f;
        block.at(24 * f + x, y) = Col(b, b, b);
        float s = d <= 11 ? GemShine(x, y, f) : 0;
        block.at(24 * f + x, 24 + y) = s > 0 ? Col(s, s, s) : Hex(0x000000);
        block.at(24 * f + x, 48 + y) = d > 12 ? Hex(kMagenta) : d > 11 ? kOutline : Hex(kPurple);
      }
  GuardKey(block, kPurple);

  // sheet.bmp: 8 columns x 13 rows of 24x24 cells.
  Image sheet(192, 312, Hex(kMagenta));
  auto cell = [&](int k, const Image& c) { sheet.Paste(c, 24 * (k & 7), 24 * (k >> 3)); };
  auto gem = [&](Col base, float shine = 1) {
    Image c = NewCell();
    GemCell(c, 0, 0, [&](int x, int y) { return GemPixel(x, y, base, 0, shine); });
    return c;
  };
  {  // 5 nuclear
    Image c = gem(Hex(0x5C6058));
    NuclearEmblem(c);
    GemCell(c, 0, 0, [&](int x, int y) { return c.at(x, y); });
    cell(5, c);
  }
  {  // 6 fire
    Image c = gem(Hex(0xB02818), 0.6f);
    FireEmblem(c);
    GemCell(c, 0, 0, [&](int x, int y) { return c.at(x, y); });
    cell(6, c);
  }
  {  // 7 ice block: frosted, the stone below shows through the dithered table
    Image c = NewCell();
    GemCell(c, 0, 0, [&](int x, int y) {
      float d = D1(x + 0.5f, y + 0.5f);
      if (d <= 7 && ((x + y) & 1) == 0) return Hex(kMagenta);
      Col ice = GemPixel(x, y, Hex(0xC8ECFF), 0, 0.8f);
      float streak = std::fabs((x - y) + 4.0f);
      if (streak < 1.2f && d < 11) ice = Mix(ice, Hex(0xFFFFFF), 0.6f);
      return ice;
    });
    cell(7, c);
  }
  cell(13, gem(Hex(0x4A4858), 0.55f));  // black stone
  {  // 14 biohazard
    Image c = gem(Hex(0x3C8C28), 0.5f);
    BioEmblem(c);
    GemCell(c, 0, 0, [&](int x, int y) { return c.at(x, y); });
    cell(14, c);
  }
  {  // 15 skull
    Image c = gem(Hex(0x5A4070), 0.5f);
    SkullEmblem(c);
    GemCell(c, 0, 0, [&](int x, int y) { return c.at(x, y); });
    cell(15, c);
  }
  {  // 21 wildcard: every facet another colour, a star on the table
    Image c = NewCell();
    GemCell(c, 0, 0, [&](int x, int y) {
      float dx = x + 0.5f - 12, dy = y + 0.5f - 12;
      float d = std::fabs(dx) + std::fabs(dy);
      Col base;
      if (d <= 5.5f) base = Hex(0xF8F8F8);
      else if (dx < 0 && dy < 0) base = Hex(0xFF3030);
      else if (dx >= 0 && dy < 0) base = Hex(0xF0E020);
      else if (dx < 0) base = Hex(0x3070FF);
      else base = Hex(0x30D040);
      return GemPixel(x, y, base, 0, 0.7f);
    });
    PaintShape(c, 6, 6, 18, 18,
               [](float x, float y) {
                 float dx = std::fabs(x - 12), dy = std::fabs(y - 12);
                 return dx * dy < 1.3f && dx + dy < 5.2f;
               },
               [](float, float) { return Hex(0xFFC020); });
    GemCell(c, 0, 0, [&](int x, int y) { return c.at(x, y); });
    cell(21, c);
  }
  {  // 37-39 fire sparks (additive)
    for (int i = 0; i < 3; ++i) {
      Image c(24, 24, Hex(0));
      float r = 4.0f - i * 0.9f;
      for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) {
          float dx = x + 0.5f - 12, dy = y + 0.5f - 12 + i * 0.8f;
          float d = std::sqrt(dx * dx + dy * dy * 0.7f) / r;
          float k = std::max(0.0f, 1 - d);
          Col col = Mix(Hex(0xC03008), Hex(0xFFE080), std::min(1.0f, k * 1.6f));
          c.at(x, y) = Scale(col, std::min(1.0f, k * 1.8f));
        }
      cell(37 + i, c);
    }
  }
  {  // 45 arrow
    Image c(24, 24, Col(0, 0, 0, 0));
    auto arrow = [](float grow) {
      return [grow](float x, float y) {
        std::vector<float> p = {8 - grow, 3 - grow, 16 + grow, 3 - grow, 16 + grow, 11, 20 + grow * 1.4f, 11 - grow * 0.4f,
                                12, 20 + grow * 1.4f, 4 - grow * 1.4f, 11 - grow * 0.4f, 8 - grow, 11};
        return InPoly(p, x, y);
      };
    };
    PaintShape(c, 0, 0, 24, 24, arrow(1.0f), [](float, float) { return Hex(0x201408); });
    PaintShape(c, 0, 0, 24, 24, arrow(0), [](float, float y) { return Mix(Hex(0xFFF4C0), Hex(0xF0A020), y / 20); });
    Image k = NewCell();
    for (int i = 0; i < 24 * 24; ++i)
      if (c.px[size_t(i)].a >= 0.5f) k.px[size_t(i)] = Col(c.px[size_t(i)].r, c.px[size_t(i)].g, c.px[size_t(i)].b);
    cell(45, k);
  }
  {  // 53: the ice shimmer mask for cell 23 (black shows the tinted ice)
    Image c = NewCell();
    GemCell(c, 0, 0, [&](int x, int y) {
      float band = std::fabs(float(x - y) + 3.0f);
      float band2 = std::fabs(float(x - y) - 6.0f);
      return (band < 2.5f || band2 < 1.2f) ? Hex(0x000000) : Hex(0x0A0810);
    });
    cell(53, c);
  }
  {  // 54, 55: empty board cells
    for (int i = 0; i < 2; ++i) {
      Image c = NewCell();
      Col base = i ? Hex(0x262E52) : Hex(0x1E2446);
      GemCell(c, 0, 0, [&](int x, int y) {
        float dx = x + 0.5f - 12, dy = y + 0.5f - 12;
        float d = std::fabs(dx) + std::fabs(dy);
        Col col = base;
        if (d > 9.5f) col = (dx + dy < 0) ? Mix(base, Hex(0x5868A0), 0.55f) : Mix(base, Hex(0x080A18), 0.6f);
        else if (d > 8.5f) col = (dx + dy < 0) ? Mix(base, Hex(0x080A18), 0.4f) : Mix(base, Hex(0x5868A0), 0.3f);
        return col;
      });
      // Cell edges show as the board's grid lines.
      for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x)
          if (std::fabs(D1(x + 0.5f, y + 0.5f) - 12) < 0.01f) c.at(x, y) = Hex(0x0C0E20);
      cell(54 + i, c);
    }
  }
  {  // 56-61 sparkles (additive)
    for (int i = 0; i < 6; ++i) {
      Image c(24, 24, Hex(0));
      float s = 1.0f + 4.0f * std::sin(kPi * (i + 0.5f) / 6);
      float rot = i * 0.26f;
      for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) {
          float dx = x + 0.5f - 12, dy = y + 0.5f - 12;
          float u = dx * std::cos(rot) + dy * std::sin(rot), v = -dx * std::sin(rot) + dy * std::cos(rot);
          float star = std::max(0.0f, 1 - (std::fabs(u) * std::fabs(v) * 1.4f + (u * u + v * v) / (s * s * 4)));
          float core = std::max(0.0f, 1 - std::sqrt(dx * dx + dy * dy) / (0.8f + s * 0.35f));
          float k = std::min(1.0f, star * 0.9f + core);
          c.at(x, y) = Scale(Mix(Hex(0x6080FF), Hex(0xFFFFFF), core), k);
        }
      cell(56 + i, c);
    }
  }
  {  // 62, 63, 70, 71: the attack package, a spinning charged orb (additive)
    const int ids[4] = {62, 63, 70, 71};
    for (int i = 0; i < 4; ++i) {
      Image c(24, 24, Hex(0));
      float rot = i * kPi / 8;
      for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) {
          float dx = x + 0.5f - 12, dy = y + 0.5f - 12;
          float r = std::sqrt(dx * dx + dy * dy);
          float a = std::atan2(dy, dx) + rot;
          float rays = std::pow(std::fabs(std::cos(2 * a)), 12.0f) * std::max(0.0f, 1 - r / 11.5f);
          float orb = std::max(0.0f, 1 - r / 6.5f);
          float k = std::min(1.0f, orb * 1.5f + rays);
          Col col = Mix(Hex(0xE02060), Hex(0xFFE0F0), std::min(1.0f, orb * 1.2f));
          c.at(x, y) = Scale(col, k);
        }
      cell(ids[i], c);
    }
  }
  {  // 64-69: GAME OVER
    Image c(144, 24, Col(0, 0, 0, 0));
    DrawBigText(c, 72, 2.5f, "GAME OVER", 2.5f, Hex(0xFFF0A0), Hex(0xFF5020), Hex(0x200808), 1.5f);
    Image k(144, 24, Hex(kMagenta));
    for (size_t i = 0; i < c.px.size(); ++i)
      if (c.px[i].a >= 0.5f) k.px[i] = Col(c.px[i].r, c.px[i].g, c.px[i].b);
    sheet.Paste(k, 0, 192);
  }
  {  // 72-103: eight 48x48 explosion frames (additive), two per row pair
    for (int f = 0; f < 8; ++f) {
      Image c(48, 48, Hex(0));
      float t = (f + 0.5f) / 8;
      float radius = 8 + 16 * std::sqrt(t);
      float heat = 1 - t * 0.85f;
      for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
          float dx = x + 0.5f - 24, dy = y + 0.5f - 24;
          float r = std::sqrt(dx * dx + dy * dy);
          float n = Noise2(dx * 0.18f + f * 1.7f, dy * 0.18f, 77) * 0.5f + Noise2(dx * 0.4f, dy * 0.4f + f, 78) * 0.5f;
          float edge = radius * (0.75f + 0.45f * n);
          float k = std::clamp(1 - r / edge, 0.0f, 1.0f);
          float ring = t > 0.35f ? std::clamp(1 - std::fabs(r - edge * 0.8f) / 4.0f, 0.0f, 1.0f) * 0.6f : 0;
          float v = std::min(1.0f, (k * 1.6f + ring) * heat);
          Col col = v > 0.75f ? Mix(Hex(0xFFC040), Hex(0xFFFFE0), (v - 0.75f) * 4)
                    : v > 0.35f ? Mix(Hex(0xE04010), Hex(0xFFC040), (v - 0.35f) / 0.4f)
                                : Mix(Hex(0x000000), Hex(0xE04010), v / 0.35f);
          c.at(x, y) = col;
        }
      int base = 72 + 2 * (f & 3) + 16 * (f >> 2);
      sheet.Paste(c, 24 * (base & 7), 24 * (base >> 3));
    }
  }
  GuardKey(sheet, kMagenta);

  // Small grid sheets.
  Image mini(48, 18, Hex(kMagenta));
  static const char* kMiniShape[6] = {"..##..", ".####.", "######", "######", ".####.", "..##.."};
  auto mini_in = [](int x, int y) { return kMiniShape[y][x] == '#'; };
  auto mini_cell = [&](int col, int row, const std::function<Col(int, int)>& f) {
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) mini.at(6 * col + x, 6 * row + y) = mini_in(x, y) ? f(x, y) : Hex(kMagenta);
  };
  auto mini_gem = [&](Col base) {
    return [base](int x, int y) {
      float b = 1.0f - 0.09f * (x + y);
      if (x + y <= 2) b = 1.15f;
      Col c = Scale(base, std::min(1.0f, b));
      if (x + y >= 8) c = Scale(base, 0.45f);
      return c;
    };
  };
  mini_cell(0, 1, mini_gem(Hex(0x585868)));  // 8 black
  mini_cell(1, 1, [](int x, int y) { return ((x + y) & 1) && x > 0 && x < 5 && y > 0 && y < 5 ? Hex(kMagenta) : Hex(0xC8ECFF); });
  mini_cell(2, 1, [](int x, int y) { return (x >= 2 && x <= 3 && y >= 2) ? Hex(0xFFE060) : Hex(0xE04018); });
  mini_cell(3, 1, [](int x, int y) { return (x >= 2 && x <= 3 && y >= 2 && y <= 3) ? Hex(0x181408) : Hex(0xF4E030); });
  mini_cell(4, 1, mini_gem(Hex(0x2C6420)));
  mini_cell(5, 1, [](int x, int y) { return (y == 2 && (x == 2 || x == 3)) ? Hex(0x1A1020) : Hex(0xF0E8D8); });
  mini_cell(6, 1, [](int x, int y) { return x + y < 5 ? (x < y ? Hex(0xFF3030) : Hex(0xF0E020)) : (x < y ? Hex(0x3070FF) : Hex(0x30D040)); });
  mini_cell(7, 1, [](int x, int y) { return (x >= 2 && x <= 3 && y >= 2 && y <= 3) ? Hex(0x0C1808) : Hex(0x70D030); });
  // Templates at row 2, columns 5 (tint), 6 (additive) and 7 (outline, keyed 0x800080).
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) {
      bool in = mini_in(x, y);
      float b = std::clamp(1.0f - 0.08f * (x + y), 0.35f, 1.0f);
      if (x + y >= 8) b = 0.45f;
      mini.at(30 + x, 12 + y) = in ? Col(b, b, b) : Hex(0x808080);
      mini.at(36 + x, 12 + y) = !in ? Hex(kMagenta) : (x + y == 2 || (x == 2 && y == 1)) ? Hex(0x909090) : Hex(0x000000);
      mini.at(42 + x, 12 + y) = !in ? Hex(kMagenta) : (x + y == 8) ? Hex(0x181828) : Hex(kPurple);
    }
  GuardKey(mini, kMagenta);

  Image bomb(96, 12, Hex(0));
  for (int f = 0; f < 8; ++f) {
    float t = (f + 0.5f) / 8;
    float radius = 2.5f + 4 * std::sqrt(t);
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 12; ++x) {
        float dx = x + 0.5f - 6, dy = y + 0.5f - 6;
        float k = std::clamp(1 - std::sqrt(dx * dx + dy * dy) / radius, 0.0f, 1.0f) * (1.2f - t);
        Col col = Mix(Hex(0xD03010), Hex(0xFFF0A0), std::min(1.0f, k * 1.5f));
        bomb.at(12 * f + x, y) = Scale(col, std::min(1.0f, k * 2));
      }
  }
  GuardKey(bomb, kMagenta);

  out.gfx.push_back({"block.bmp", EncodeBmp24(block)});
  out.gfx.push_back({"sheet.bmp", EncodeBmp24(sheet)});
  out.gfx.push_back({"minisheet.bmp", EncodeBmp24(mini)});
  out.gfx.push_back({"minibomb.bmp", EncodeBmp24(bomb)});
  out.pictures["block.bmp"] = block;
  out.pictures["sheet.bmp"] = sheet;
  out.pictures["minisheet.bmp"] = mini;
  out.pictures["minibomb.bmp"] = bomb;
}

}  // namespace rg
