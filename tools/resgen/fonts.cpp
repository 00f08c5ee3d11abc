// The four font strips: face, back mask, fixed-width and the keyboard font.
#include <algorithm>

#include "res.h"

namespace rg {
namespace {

// A glyph as an ink mask.
struct Ink {
  int w = 0, h = 0;
  std::vector<uint8_t> m;
  bool at(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h && m[size_t(y) * w + x]; }
};

Ink FromGlyph(const Glyph& g) {
  Ink k;
  k.w = g.w;
  k.h = 9;
  k.m = std::vector<uint8_t>(size_t(k.w) * 9, 0);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < g.w; ++x) k.m[size_t(y) * k.w + x] = g.rows[size_t(y)][size_t(x)] == '#';
  return k;
}

Ink FromRows(const std::vector<const char*>& rows) {
  Ink k;
  k.w = int(std::string(rows[0]).size());
  k.h = 9;
  k.m = std::vector<uint8_t>(size_t(k.w) * 9, 0);
  for (size_t y = 0; y < rows.size() && y < 9; ++y)
    for (int x = 0; x < k.w; ++x) k.m[y * size_t(k.w) + size_t(x)] = rows[y][x] == '#';
  return k;
}

// Key icons of the on-screen keyboard (glyphs 24 to 31): shift (24, 25), caps
// lock (26, 27), Escape (28), Enter (29), Tab (30) and backspace (31). Each
// shows what its key does; 28 ends or abandons an entry, so it is lettered.
Ink KeyIcon(int n) {
  switch (n) {
    case 24: return FromRows({"....#....", "...#.#...", "..#...#..", ".#.....#.", "###...###", "..#...#..",
                              "..#...#..", "..#####..", "........."});
    case 25: return FromRows({"....#....", "...###...", "..#####..", ".#######.", "#########", "..#####..",
                              "..#####..", "..#####..", "........."});
    case 26: return FromRows({"....#....", "...#.#...", "..#...#..", ".#.....#.", "###...###", "..#####..",
                              ".........", "..#####..", "..#####.."});
    case 27: return FromRows({"....#....", "...###...", "..#####..", ".#######.", "#########", "..#####..",
                              ".........", "..#####..", "..#####.."});
    case 28: return FromRows({"............", "............", ".###.###.###", ".#...#...#..", ".###.###.#..",
                              ".#.....#.#..", ".###.###.###", "............", "............"});
    case 29: return FromRows({"........#", "........#", "..#.....#", ".##.....#", "#########", ".##......",
                              "..#......", ".........", "........."});
    case 30: return FromRows({".........", ".....#..#", "......#.#", "#########", "......#.#", ".....#..#",
                              ".........", ".........", "........."});
    default: return FromRows({"..........", "...#......", "..#.......", ".##########", "..#.......",
                              "...#......", "..........", "..........", ".........."});
  }
}

// Glyphs 1 to 7 of the face font: the colour numbers written on stones for
// colour-blind play. They are dark (engraved into the stone) so that, unlike
// text, they add no light: seen through a darkening band they fade instead of
// reading as part of the band's text.
bool IsStoneNumber(int c) { return c >= 1 && c <= 7; }

Ink Dilate(const Ink& k, int pad) {
  Ink d;
  d.w = k.w + 2 * pad;
  d.h = k.h + 2 * pad;
  d.m = std::vector<uint8_t>(size_t(d.w) * d.h, 0);
  for (int y = 0; y < d.h; ++y)
    for (int x = 0; x < d.w; ++x) {
      bool on = false;
      for (int j = -1; j <= 1 && !on; ++j)
        for (int i = -1; i <= 1 && !on; ++i) on = k.at(x - pad + i, y - pad + j);
      d.m[size_t(y) * d.w + x] = on;
    }
  return d;
}

// Face colour of a glyph row: white on top, a cool light grey below.
Col FaceRow(int y, int rows) {
  float t = rows > 1 ? float(y) / float(rows - 1) : 0.0f;
  return Mix(Hex(0xFFFFFF), Hex(0xD8E0EC), t);
}

// A glyph cell of a strip: its pixels, alpha 0 where the key shows.
struct Cell {
  int w = 1, h = 0;
  std::vector<Col> px;
  Cell(int w_, int h_) : w(std::max(1, w_)), h(h_), px(size_t(w) * size_t(h_), Col(0, 0, 0, 0)) {}
  Col& at(int x, int y) { return px[size_t(y) * w + x]; }
};

// Variable-width strip: marker row 0, key row 1, glyph cells from row 2.
Image Strip(const std::vector<Cell>& cells, int glyph_rows) {
  int width = 0;
  for (const Cell& c : cells) width += c.w + 1;
  Image img(width, 2 + glyph_rows, Hex(kMagenta));
  int x = 0;
  for (const Cell& c : cells) {
    for (int i = 0; i < c.w; ++i) img.at(x + i, 0) = Hex(0xFFFFFF);
    for (int y = 0; y < c.h && y < glyph_rows; ++y)
      for (int i = 0; i < c.w; ++i)
        if (c.px[size_t(y) * c.w + i].a > 0) img.at(x + i, 2 + y) = c.px[size_t(y) * c.w + i];
    x += c.w + 1;
  }
  return img;
}

// Font 0's cells: 9 ink rows with two free rows above and below, so that the
// rows of a list (a cell height less 2 apart) keep a gap and two lines a cell
// height apart fit the tutorial's band of two cell heights less 4.
constexpr int kCellRows = 13;
constexpr int kInkTop = 2;
// The back mask: a plate under the whole line from the row above the ink to
// the last descender row, so that nothing behind a line (other text, stones,
// a bright bar) shows between its glyphs; and the grown ink below descenders.
constexpr int kPlateTop = 1, kPlateBottom = 10;
const Col kPlate = Hex(0xD0D0D0);
const Col kStoneEngrave = Hex(0x000000);  // a stone number's ink

// A stone number: the digit with strokes two pixels wide, so that it reads on
// the darker stones too.
Ink Bold(const Ink& k) {
  Ink b;
  b.w = k.w + 1;
  b.h = k.h;
  b.m = std::vector<uint8_t>(size_t(b.w) * b.h, 0);
  for (int y = 0; y < b.h; ++y)
    for (int x = 0; x < b.w; ++x) b.m[size_t(y) * b.w + x] = k.at(x, y) || k.at(x - 1, y);
  return b;
}

void FontZeroCells(int c, Cell& face, Cell& mask) {
  if ((c < 32 && !IsStoneNumber(c)) || c == 127) return;
  const Ink g = IsStoneNumber(c) ? Bold(FromGlyph(GlyphFor(uint8_t('0' + c)))) : FromGlyph(GlyphFor(uint8_t(c)));
  face = Cell(g.w + 2, kCellRows);
  mask = Cell(g.w + 2, kCellRows);
  const Ink grown = Dilate(g, 1);
  for (int y = 0; y < kCellRows; ++y)
    for (int x = 0; x < face.w; ++x) {
      const bool ink = g.at(x - 1, y - kInkTop), near = grown.at(x, y - kInkTop + 1);
      if (IsStoneNumber(c)) {
        if (ink) face.at(x, y) = kStoneEngrave;
        continue;
      }
      if (ink) face.at(x, y) = FaceRow(y - kInkTop, 9);
      if (near || (y >= kPlateTop && y <= kPlateBottom)) mask.at(x, y) = kPlate;
    }
}

}  // namespace

void MakeFonts(Output& out) {
  std::vector<Cell> face_cells, mask_cells, key_cells;
  for (int c = 0; c < 128; ++c) {
    Cell face(1, kCellRows), mask(1, kCellRows);
    FontZeroCells(c, face, mask);
    face_cells.push_back(face);
    mask_cells.push_back(mask);
    // Keyboard font: no margins (it has font padding), icons at 24 to 31.
    Ink k;
    if (c >= 24 && c <= 31) k = KeyIcon(c);
    else if (c >= 32 && c != 127) k = FromGlyph(GlyphFor(uint8_t(c)));
    Cell key(k.w, 9);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < k.w; ++x)
        if (k.at(x, y)) key.at(x, y) = FaceRow(y, 9);
    key_cells.push_back(key);
  }
  Image face = Strip(face_cells, kCellRows);
  Image mask = Strip(mask_cells, kCellRows);
  Image keys = Strip(key_cells, 9);

  // Font 2: fixed cells of 8 pixels, no marker row.
  Image fixed(8 * 128, 11, Hex(kMagenta));
  for (int c = 33; c < 127; ++c) {
    Ink g = FromGlyph(GlyphFor(uint8_t(c)));
    int ox = 8 * c + (8 - g.w) / 2;
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < g.w; ++x)
        if (g.at(x, y)) fixed.at(ox + x, 1 + y) = FaceRow(y, 9);
  }
  for (Image* i : {&face, &mask, &keys, &fixed}) GuardKey(*i, kMagenta);
  out.gfx.push_back({"font_frontmask.bmp", EncodeBmp24(face)});
  out.gfx.push_back({"font_backmask.bmp", EncodeBmp24(mask)});
  out.gfx.push_back({"font.bmp", EncodeBmp24(fixed)});
  out.gfx.push_back({"keyfont.bmp", EncodeBmp24(keys)});
  out.pictures["font_frontmask.bmp"] = face;
  out.pictures["font_backmask.bmp"] = mask;
  out.pictures["font.bmp"] = fixed;
  out.pictures["keyfont.bmp"] = keys;
}

void DrawText(Image& img, int x, int y, const std::string& s, Col face, Col outline, bool centre) {
  int w = TextWidth(s, 2);
  if (centre) x -= w / 2;
  ForEachInk(s, 2, [&](int px, int py) {
    for (int j = -1; j <= 1; ++j)
      for (int i = -1; i <= 1; ++i) img.Blend(x + px + i, y + py + j, outline);
  });
  ForEachInk(s, 2, [&](int px, int py) { img.Blend(x + px, y + py, Mix(face, Scale(face, 0.82f), py / 8.0f)); });
}

}  // namespace rg
