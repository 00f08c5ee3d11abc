// Small float RGBA canvas with the drawing helpers the generator needs.
#ifndef RESGEN_CANVAS_H
#define RESGEN_CANVAS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rg {

struct Col {
  float r = 0, g = 0, b = 0, a = 1;
  Col() = default;
  Col(float r_, float g_, float b_, float a_ = 1) : r(r_), g(g_), b(b_), a(a_) {}
};
// 0xRRGGBB to a colour.
Col Hex(uint32_t rgb, float a = 1);
Col Mix(const Col& x, const Col& y, float t);
Col Scale(const Col& c, float k);

// Appends a little-endian 16- or 32-bit value, or a big-endian 32-bit one.
void Put16(std::vector<uint8_t>& o, uint32_t v);
void Put32(std::vector<uint8_t>& o, uint32_t v);
void Put32BE(std::vector<uint8_t>& o, uint32_t v);

struct Image {
  int w = 0, h = 0;
  std::vector<Col> px;
  Image() = default;
  Image(int w_, int h_, Col fill = Col(0, 0, 0, 0)) : w(w_), h(h_), px(size_t(w_) * h_, fill) {}
  Col& at(int x, int y) { return px[size_t(y) * w + x]; }
  const Col& at(int x, int y) const { return px[size_t(y) * w + x]; }
  bool in(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
  void Set(int x, int y, const Col& c) { if (in(x, y)) at(x, y) = c; }
  // Source-over blend of c with coverage k.
  void Blend(int x, int y, const Col& c, float k = 1);
  void Add(int x, int y, const Col& c, float k = 1);
  void Fill(const Col& c);
  void Rect(int x0, int y0, int x1, int y1, const Col& c);  // exclusive ends
  // Copies src (or a rectangle of it) to (dx, dy); with blend the alpha is used.
  void Paste(const Image& src, int dx, int dy, bool blend = false, int sx = 0, int sy = 0, int sw = -1,
             int sh = -1);
};

// Coverage painting: f(x, y) gives coverage 0..1 of a point; 4x4 samples per pixel.
using Shape = std::function<bool(float, float)>;
void PaintShape(Image& img, int x0, int y0, int x1, int y1, const Shape& inside,
                const std::function<Col(float, float)>& colour, bool additive = false);
float Coverage(const Shape& inside, int x, int y, int n = 4);

// Geometry helpers for shapes.
bool InPoly(const std::vector<float>& xy, float x, float y);
float Hash01(uint32_t n);  // deterministic noise in [0, 1)
float Noise2(float x, float y, uint32_t seed);  // smooth value noise in [0, 1)

struct Rng {
  uint32_t s;
  explicit Rng(uint32_t seed) : s(seed ? seed : 1) {}
  uint32_t Next() { s ^= s << 13; s ^= s >> 17; s ^= s << 5; return s; }
  float F() { return (Next() >> 8) * (1.0f / 16777216.0f); }
  int I(int n) { return int(Next() % uint32_t(n)); }
};

// 8-bit pixel of a colour (clamped, alpha ignored).
uint32_t ToRGB(const Col& c);
// Moves colours that would read as the key in 5:6:5 off it (the key itself stays exact).
void GuardKey(Image& img, uint32_t key_rgb);

// Writers. All are deterministic.
std::vector<uint8_t> EncodeBmp24(const Image& img);
std::vector<uint8_t> EncodePngRGBA(const Image& img);
bool WriteFile(const std::string& path, const std::vector<uint8_t>& data);

// Pixel font (9 rows: 7 above the baseline, 2 below), shared by the font builders and art.
struct Glyph {
  int w = 0;
  std::vector<std::string> rows;  // '#' ink
};
const Glyph& GlyphFor(unsigned char c);
int TextWidth(const std::string& s, int spacing = 1);
// Draws text in pixel glyphs scaled by s (block pixels) at (x, y) top-left; calls put(x, y) per ink block.
void ForEachInk(const std::string& s, int spacing, const std::function<void(int, int)>& put);

}  // namespace rg

#endif
