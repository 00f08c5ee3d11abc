#include "canvas.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "framework/emod_bytes.h"

namespace rg {

Col Hex(uint32_t rgb, float a) {
  return Col(((rgb >> 16) & 255) / 255.0f, ((rgb >> 8) & 255) / 255.0f, (rgb & 255) / 255.0f, a);
}
Col Mix(const Col& x, const Col& y, float t) {
  return Col(x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t, x.a + (y.a - x.a) * t);
}
Col Scale(const Col& c, float k) { return Col(c.r * k, c.g * k, c.b * k, c.a); }

void Image::Blend(int x, int y, const Col& c, float k) {
  if (!in(x, y)) return;
  Col& d = at(x, y);
  float a = c.a * k;
  float out_a = a + d.a * (1 - a);
  if (out_a <= 0) return;
  d.r = (c.r * a + d.r * d.a * (1 - a)) / out_a;
  d.g = (c.g * a + d.g * d.a * (1 - a)) / out_a;
  d.b = (c.b * a + d.b * d.a * (1 - a)) / out_a;
  d.a = out_a;
}
void Image::Add(int x, int y, const Col& c, float k) {
  if (!in(x, y)) return;
  Col& d = at(x, y);
  d.r = std::min(1.0f, d.r + c.r * k);
  d.g = std::min(1.0f, d.g + c.g * k);
  d.b = std::min(1.0f, d.b + c.b * k);
}
void Image::Fill(const Col& c) { std::fill(px.begin(), px.end(), c); }
void Image::Rect(int x0, int y0, int x1, int y1, const Col& c) {
  for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(w, x1); ++x) at(x, y) = c;
}
void Image::Paste(const Image& src, int dx, int dy, bool blend, int sx, int sy, int sw, int sh) {
  if (sw < 0) sw = src.w;
  if (sh < 0) sh = src.h;
  for (int y = 0; y < sh; ++y)
    for (int x = 0; x < sw; ++x) {
      if (!src.in(sx + x, sy + y)) continue;
      const Col& c = src.at(sx + x, sy + y);
      if (blend) Blend(dx + x, dy + y, c);
      else Set(dx + x, dy + y, c);
    }
}

float Coverage(const Shape& inside, int x, int y, int n) {
  int hit = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      if (inside(x + (i + 0.5f) / n, y + (j + 0.5f) / n)) ++hit;
  return float(hit) / float(n * n);
}

void PaintShape(Image& img, int x0, int y0, int x1, int y1, const Shape& inside,
                const std::function<Col(float, float)>& colour, bool additive) {
  for (int y = std::max(0, y0); y < std::min(img.h, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(img.w, x1); ++x) {
      float k = Coverage(inside, x, y);
      if (k <= 0) continue;
      Col c = colour(x + 0.5f, y + 0.5f);
      if (additive) img.Add(x, y, c, k * c.a);
      else img.Blend(x, y, c, k);
    }
}

bool InPoly(const std::vector<float>& p, float x, float y) {
  bool c = false;
  size_t n = p.size() / 2;
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    float xi = p[2 * i], yi = p[2 * i + 1], xj = p[2 * j], yj = p[2 * j + 1];
    if (((yi > y) != (yj > y)) && (x < (xj - xi) * (y - yi) / (yj - yi) + xi)) c = !c;
  }
  return c;
}

float Hash01(uint32_t n) {
  n = (n << 13) ^ n;
  n = n * (n * n * 15731u + 789221u) + 1376312589u;
  return float(n & 0xFFFFFF) / 16777216.0f;
}
float Noise2(float x, float y, uint32_t seed) {
  int xi = int(std::floor(x)), yi = int(std::floor(y));
  float fx = x - xi, fy = y - yi;
  auto h = [&](int a, int b) { return Hash01(uint32_t(a) * 73856093u ^ uint32_t(b) * 19349663u ^ seed * 83492791u); };
  float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  float a = h(xi, yi), b = h(xi + 1, yi), c = h(xi, yi + 1), d = h(xi + 1, yi + 1);
  return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

static uint8_t Q(float v) {
  int i = int(std::lround(v * 255.0f));
  return uint8_t(std::clamp(i, 0, 255));
}
uint32_t ToRGB(const Col& c) { return uint32_t(Q(c.r)) << 16 | uint32_t(Q(c.g)) << 8 | Q(c.b); }

void GuardKey(Image& img, uint32_t key) {
  uint32_t kr = (key >> 16) & 255, kg = (key >> 8) & 255, kb = key & 255;
  uint32_t k565 = (kr >> 3) << 11 | (kg >> 2) << 5 | (kb >> 3);
  for (auto& c : img.px) {
    uint32_t v = ToRGB(c);
    if (v == key) continue;
    uint32_t r = (v >> 16) & 255, g = (v >> 8) & 255, b = v & 255;
    if (((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)) != k565) continue;
    // Step the green channel out of the key's 5:6:5 bucket.
    g = (kg >= 8) ? (kg & ~3u) - 4 : (kg | 3u) + 5;
    c = Col(r / 255.0f, g / 255.0f, b / 255.0f, c.a);
  }
}

void Put16(std::vector<uint8_t>& o, uint32_t v) {
  uint8_t b[2];
  EBytes_Put16(b, v);
  o.insert(o.end(), b, b + 2);
}
void Put32(std::vector<uint8_t>& o, uint32_t v) {
  uint8_t b[4];
  EBytes_Put32(b, v);
  o.insert(o.end(), b, b + 4);
}
void Put32BE(std::vector<uint8_t>& o, uint32_t v) {
  uint8_t b[4];
  EBytes_Put32BE(b, v);
  o.insert(o.end(), b, b + 4);
}

std::vector<uint8_t> EncodeBmp24(const Image& img) {
  uint32_t stride = (uint32_t(img.w) * 3 + 3) & ~3u;
  uint32_t size = stride * uint32_t(img.h);
  std::vector<uint8_t> o;
  o.push_back('B'); o.push_back('M');
  Put32(o, 54 + size); Put32(o, 0); Put32(o, 54);
  Put32(o, 40); Put32(o, uint32_t(img.w)); Put32(o, uint32_t(img.h));
  Put16(o, 1); Put16(o, 24); Put32(o, 0); Put32(o, size);
  Put32(o, 2835); Put32(o, 2835); Put32(o, 0); Put32(o, 0);
  for (int y = img.h - 1; y >= 0; --y) {
    size_t start = o.size();
    for (int x = 0; x < img.w; ++x) {
      uint32_t v = ToRGB(img.at(x, y));
      o.push_back(uint8_t(v)); o.push_back(uint8_t(v >> 8)); o.push_back(uint8_t(v >> 16));
    }
    while (o.size() - start < stride) o.push_back(0);
  }
  return o;
}

static void Chunk(std::vector<uint8_t>& o, const char* type, const std::vector<uint8_t>& body) {
  Put32BE(o, uint32_t(body.size()));
  size_t at = o.size();
  o.insert(o.end(), type, type + 4);
  o.insert(o.end(), body.begin(), body.end());
  uLong crc = crc32(0, o.data() + at, uInt(o.size() - at));
  Put32BE(o, uint32_t(crc));
}

std::vector<uint8_t> EncodePngRGBA(const Image& img) {
  std::vector<uint8_t> o = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> ihdr;
  Put32BE(ihdr, uint32_t(img.w)); Put32BE(ihdr, uint32_t(img.h));
  ihdr.push_back(8); ihdr.push_back(6); ihdr.push_back(0); ihdr.push_back(0); ihdr.push_back(0);
  Chunk(o, "IHDR", ihdr);
  std::vector<uint8_t> raw;
  for (int y = 0; y < img.h; ++y) {
    raw.push_back(0);
    for (int x = 0; x < img.w; ++x) {
      const Col& c = img.at(x, y);
      uint32_t v = ToRGB(c);
      raw.push_back(uint8_t(v >> 16)); raw.push_back(uint8_t(v >> 8)); raw.push_back(uint8_t(v));
      raw.push_back(Q(c.a));
    }
  }
  uLongf len = compressBound(uLong(raw.size()));
  std::vector<uint8_t> z(len);
  compress2(z.data(), &len, raw.data(), uLong(raw.size()), 9);
  z.resize(len);
  Chunk(o, "IDAT", z);
  Chunk(o, "IEND", {});
  return o;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace rg
