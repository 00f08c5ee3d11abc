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

// Variable-width strip: marker row 0, key row 1, glyph cells from row 2.
Image Strip(const std::vector<Ink>& cells, int glyph_rows, const std::vector<Col>* row_cols, Col single,
            std::vector<int>* starts = nullptr) {
  int width = 0;
  for (const Ink& c : cells) width += std::max(1, c.w) + 1;
  Image img(width, 2 + glyph_rows, Hex(kMagenta));
  int x = 0;
  for (const Ink& c : cells) {
    int w = std::max(1, c.w);
    if (starts) starts->push_back(x);
    for (int i = 0; i < w; ++i) img.at(x + i, 0) = Hex(0xFFFFFF);
    for (int y = 0; y < c.h && y < glyph_rows; ++y)
      for (int i = 0; i < c.w; ++i)
        if (c.at(i, y)) img.at(x + i, 2 + y) = row_cols ? (*row_cols)[size_t(y)] : single;
    x += w + 1;
  }
  return img;
}

}  // namespace

void MakeFonts(Output& out) {
  // Font 0 and its back mask: each cell has a one-pixel margin so the grown mask fits.
  std::vector<Ink> face_cells, mask_cells, key_cells;
  for (int c = 0; c < 128; ++c) {
    if (c < 32 || c == 127) {
      Ink e;
      e.w = 1;
      e.h = 11;
      e.m = std::vector<uint8_t>(11, 0);
      face_cells.push_back(e);
      mask_cells.push_back(e);
    } else {
      Ink g = FromGlyph(GlyphFor(uint8_t(c)));
      Ink framed;
      framed.w = g.w + 2;
      framed.h = 11;
      framed.m = std::vector<uint8_t>(size_t(framed.w) * 11, 0);
      for (int y = 0; y < 9; ++y)
        for (int x = 0; x < g.w; ++x) framed.m[size_t(y + 1) * framed.w + x + 1] = g.at(x, y);
      face_cells.push_back(framed);
      mask_cells.push_back(Dilate(g, 1));
    }
    // Keyboard font: no margins (it has font padding), icons at 24 to 31.
    if (c >= 24 && c <= 31) key_cells.push_back(KeyIcon(c));
    else if (c < 32 || c == 127) {
      Ink e;
      e.w = 1;
      e.h = 9;
      e.m = std::vector<uint8_t>(9, 0);
      key_cells.push_back(e);
    } else key_cells.push_back(FromGlyph(GlyphFor(uint8_t(c))));
  }
  std::vector<Col> face_rows;
  for (int y = 0; y < 11; ++y) face_rows.push_back(FaceRow(y < 1 ? 0 : y - 1, 9));
  Image face = Strip(face_cells, 11, &face_rows, Col());
  Image mask = Strip(mask_cells, 11, nullptr, Hex(0xC8C8C8));
  std::vector<Col> key_rows;
  for (int y = 0; y < 9; ++y) key_rows.push_back(FaceRow(y, 9));
  Image keys = Strip(key_cells, 9, &key_rows, Col());

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
