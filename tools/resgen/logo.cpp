// The framework's name as a solid: "ZARN" cut from a 5 x 7 grid per letter,
// extruded. Triangles 0 to 119 are ordered for the game's fixed colouring: the
// letter faces (front and back, 70 triangles) fall on the red slots, the side
// walls on the white ones.
#include <algorithm>
#include <cmath>
#include <array>
#include <cstring>
#include <map>

#include "res.h"

namespace rg {
namespace {

constexpr double kTurn = 4096.0;
constexpr double kPi = 3.14159265358979;
constexpr double kCell = 43.0;
constexpr double kDepth = 48.0;  // half thickness

struct P2 { int x, y; };
using Piece = std::vector<P2>;  // convex polygon on grid points, clockwise on screen (y down)

// Letter faces as convex pieces on the 5 x 7 grid of one letter.
std::vector<std::vector<Piece>> Letters() {
  std::vector<std::vector<Piece>> L(4);
  // Z
  L[0] = {{{0, 0}, {5, 0}, {5, 1}, {0, 1}},
          {{4, 1}, {5, 1}, {5, 2}, {1, 6}, {0, 6}, {0, 5}},
          {{0, 6}, {5, 6}, {5, 7}, {0, 7}}};
  // A
  L[1] = {{{1, 0}, {4, 0}, {5, 1}, {0, 1}},
          {{0, 1}, {1, 1}, {1, 7}, {0, 7}},
          {{4, 1}, {5, 1}, {5, 7}, {4, 7}},
          {{1, 3}, {4, 3}, {4, 4}, {1, 4}}};
  // R
  L[2] = {{{0, 0}, {1, 0}, {1, 7}, {0, 7}},
          {{1, 0}, {4, 0}, {5, 1}, {1, 1}},
          {{4, 1}, {5, 1}, {5, 3}, {4, 3}},
          {{1, 3}, {5, 3}, {4, 4}, {1, 4}},
          {{2, 4}, {4, 4}, {5, 5}, {5, 6}, {4, 6}},
          {{4, 6}, {5, 6}, {5, 7}, {4, 7}}};
  // N
  L[3] = {{{0, 0}, {1, 0}, {1, 7}, {0, 7}},
          {{4, 0}, {5, 0}, {5, 7}, {4, 7}},
          {{1, 1}, {4, 4}, {4, 6}, {1, 3}}};
  return L;
}

struct V3 { double x, y, z; };

// Display pose (x right, y down, z away from the eye) to the loaded pose: undo the
// intro's turn of x by 2488 after y by 1536.
V3 ToLoaded(V3 v) {
  double ax = -2488 * 2 * kPi / kTurn, ay = -1536 * 2 * kPi / kTurn;
  // Undo the x turn: y' = y cos - z sin, z' = z cos + y sin with the negative angle.
  V3 a{v.x, v.y * std::cos(ax) - v.z * std::sin(ax), v.z * std::cos(ax) + v.y * std::sin(ax)};
  // Undo the y turn: x' = x cos - z sin, z' = z cos + x sin.
  V3 b{a.x * std::cos(ay) - a.z * std::sin(ay), a.y, a.z * std::cos(ay) + a.x * std::sin(ay)};
  return b;
}

struct Built {
  Mesh file;                 // file coordinates and file face order
  std::vector<V3> surface;   // loaded pose as the game holds it
  std::vector<uint32_t> tri; // surface corner order (already reversed)
};

Built Build() {
  auto letters = Letters();
  std::vector<V3> verts;
  std::map<std::tuple<long, long, long>, uint16_t> index;
  auto vid = [&](double x, double y, double z) {
    V3 l = ToLoaded({x, y, z});
    long fx = std::lround(l.x), fy = std::lround(l.y), fz = std::lround(l.z);
    auto key = std::make_tuple(fx, fy, fz);
    auto it = index.find(key);
    if (it != index.end()) return it->second;
    uint16_t id = uint16_t(verts.size());
    verts.push_back({double(fx), double(fy), double(fz)});
    index[key] = id;
    return id;
  };
  const double width = (4 * 5 + 3) * kCell, height = 7 * kCell;
  auto gx = [&](int letter, int x) { return (letter * 6 + x) * kCell - width / 2; };
  auto gy = [&](int y) { return y * kCell - height / 2; };

  std::vector<std::array<uint16_t, 3>> faces, walls;
  // Faces: front (z = -depth, towards the eye) and back.
  for (int l = 0; l < 4; ++l)
    for (const Piece& p : letters[size_t(l)])
      for (size_t k = 1; k + 1 < p.size(); ++k) {
        const P2 &a = p[0], &b = p[k], &c = p[k + 1];
        faces.push_back({vid(gx(l, a.x), gy(a.y), -kDepth), vid(gx(l, b.x), gy(b.y), -kDepth), vid(gx(l, c.x), gy(c.y), -kDepth)});
        faces.push_back({vid(gx(l, a.x), gy(a.y), kDepth), vid(gx(l, c.x), gy(c.y), kDepth), vid(gx(l, b.x), gy(b.y), kDepth)});
      }
  // Walls along the outline: unit edges of every piece, internal ones cancel.
  for (int l = 0; l < 4; ++l) {
    std::map<std::pair<std::pair<int, int>, std::pair<int, int>>, int> edges;
    for (const Piece& p : letters[size_t(l)])
      for (size_t k = 0; k < p.size(); ++k) {
        P2 a = p[k], b = p[(k + 1) % p.size()];
        int n = std::max(std::abs(b.x - a.x), std::abs(b.y - a.y));
        int sx = (b.x - a.x) / n, sy = (b.y - a.y) / n;
        for (int i = 0; i < n; ++i) {
          std::pair<int, int> u{a.x + sx * i, a.y + sy * i}, v{a.x + sx * (i + 1), a.y + sy * (i + 1)};
          auto rev = edges.find({v, u});
          if (rev != edges.end()) edges.erase(rev);
          else edges[{u, v}] = 1;
        }
      }
    // Chain the boundary and merge straight runs.
    std::map<std::pair<int, int>, std::pair<int, int>> next;
    for (auto& e : edges) next[e.first.first] = e.first.second;
    while (!next.empty()) {
      auto start = next.begin()->first;
      std::vector<std::pair<int, int>> loop;
      auto cur = start;
      do {
        loop.push_back(cur);
        auto n = next.at(cur);
        next.erase(cur);
        cur = n;
      } while (cur != start);
      std::vector<std::pair<int, int>> corners;
      for (size_t i = 0; i < loop.size(); ++i) {
        auto p = loop[(i + loop.size() - 1) % loop.size()], c = loop[i], n = loop[(i + 1) % loop.size()];
        int d1x = c.first - p.first, d1y = c.second - p.second, d2x = n.first - c.first, d2y = n.second - c.second;
        if (d1x * d2y - d1y * d2x != 0) corners.push_back(c);
      }
      for (size_t i = 0; i < corners.size(); ++i) {
        auto a = corners[i], b = corners[(i + 1) % corners.size()];
        uint16_t af = vid(gx(l, a.first), gy(a.second), -kDepth), bf = vid(gx(l, b.first), gy(b.second), -kDepth);
        uint16_t ab = vid(gx(l, a.first), gy(a.second), kDepth), bb = vid(gx(l, b.first), gy(b.second), kDepth);
        walls.push_back({af, ab, bb});
        walls.push_back({af, bb, bf});
      }
    }
  }
  // Order: the letter faces on the red slots, walls elsewhere.
  static const int kRed[][2] = {{0, 1}, {4, 5}, {10, 11}, {22, 23}, {28, 33}, {40, 41}, {44, 85}, {90, 91}, {96, 97},
                                {100, 103}, {112, 115}};
  std::vector<bool> red(120, false);
  for (auto& r : kRed)
    for (int i = r[0]; i <= r[1]; ++i) red[size_t(i)] = true;
  std::vector<std::array<uint16_t, 3>> order;
  size_t fi = 0, wi = 0;
  for (int i = 0; i < 120; ++i) order.push_back(red[size_t(i)] ? faces.at(fi++) : walls.at(wi++));
  while (fi < faces.size()) order.push_back(faces[fi++]);
  while (wi < walls.size()) order.push_back(walls[wi++]);

  Built b;
  b.surface = verts;
  for (const V3& v : verts) {
    // Surface (x, y, z) is file (x, -z, y): file = (x, z, -y).
    b.file.v.push_back(float(v.x));
    b.file.v.push_back(float(v.z));
    b.file.v.push_back(float(-v.y));
  }
  for (auto& t : order) {
    // The loader reverses the corners.
    b.file.f.push_back(t[2]);
    b.file.f.push_back(t[1]);
    b.file.f.push_back(t[0]);
    b.tri.push_back(t[0]);
    b.tri.push_back(t[1]);
    b.tri.push_back(t[2]);
  }
  return b;
}

const Built& Logo() {
  static const Built b = Build();
  return b;
}

void PutF(std::vector<uint8_t>& o, float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  Put32(o, u);
}
// A chunk: id, length (patched), contents.
struct ChunkW {
  std::vector<uint8_t>& o;
  size_t at;
  ChunkW(std::vector<uint8_t>& out, uint16_t id) : o(out), at(out.size()) { Put16(o, id); Put32(o, 0); }
  ~ChunkW() {
    uint32_t len = uint32_t(o.size() - at);
    for (int i = 0; i < 4; ++i) o[at + 2 + size_t(i)] = uint8_t(len >> (8 * i));
  }
};

}  // namespace

const Mesh& LogoMesh() { return Logo().file; }

void MakeModel(Output& out) {
  const Mesh& m = LogoMesh();
  std::vector<uint8_t> o;
  {
    ChunkW main(o, 0x4D4D);
    {
      ChunkW ver(o, 0x0002);
      Put32(o, 3);
    }
    {
      ChunkW editor(o, 0x3D3D);
      {
        ChunkW mver(o, 0x3D3E);
        Put32(o, 3);
      }
      {
        ChunkW obj(o, 0x4000);
        for (const char* p = "ZarnLogo"; *p; ++p) o.push_back(uint8_t(*p));
        o.push_back(0);
        ChunkW mesh(o, 0x4100);
        {
          ChunkW vl(o, 0x4110);
          Put16(o, uint32_t(m.v.size() / 3));
          for (float f : m.v) PutF(o, f);
        }
        {
          ChunkW fl(o, 0x4120);
          Put16(o, uint32_t(m.f.size() / 3));
          for (size_t i = 0; i < m.f.size(); i += 3) {
            Put16(o, m.f[i]); Put16(o, m.f[i + 1]); Put16(o, m.f[i + 2]);
            Put16(o, 7);
          }
        }
      }
    }
  }
  out.gfx.push_back({"zarnlogo.3ds", o});
}

// Renders the logo as the intro does at animation angle a (flat lit colours).
Image RenderLogo(int w, int h, int a) {
  const Built& b = Logo();
  Image img(w, h, Col(0, 0, 0, 0));
  int bb = a - 2048, c = 0;
  double dx = 0;
  if (std::abs(bb) >= 512) {
    c = bb < 0 ? std::abs(a - 1536) : std::abs(a - 2560);
    dx = bb < 0 ? 80.0 * (a - 1536) / 256 : 80.0 * (a - 2560) / 256;
  }
  double s = (65536.0 - 42 * c) / 65536.0;
  double ax = 2488 * 2 * kPi / kTurn, ay = (1536 - bb * (c + 512) / 512) * 2 * kPi / kTurn;
  std::vector<V3> v;
  for (const V3& p0 : b.surface) {
    V3 p{p0.x * s, p0.y * s, p0.z * s};
    V3 q{p.x * std::cos(ay) - p.z * std::sin(ay), p.y, p.z * std::cos(ay) + p.x * std::sin(ay)};
    V3 r{q.x, q.y * std::cos(ax) - q.z * std::sin(ax), q.z * std::cos(ax) + q.y * std::sin(ax)};
    r.x += dx;
    r.y += 16.0 * c / 256;
    v.push_back(r);
  }
  struct T { double depth; int i; };
  std::vector<T> list;
  std::vector<std::array<double, 6>> proj(b.tri.size() / 3);
  auto px = [&](const V3& p, double& x, double& y) {
    double k = 2.0 * 240 / (p.z + 2048);
    x = w / 2.0 + k * p.x;
    y = h / 2.0 + k * p.y;
  };
  for (size_t t = 0; t < b.tri.size() / 3; ++t) {
    const V3 &p0 = v[b.tri[3 * t]], &p1 = v[b.tri[3 * t + 1]], &p2 = v[b.tri[3 * t + 2]];
    double x0, y0, x1, y1, x2, y2;
    px(p0, x0, y0); px(p1, x1, y1); px(p2, x2, y2);
    double cr = (x0 - x1) * (y2 - y1) - (y0 - y1) * (x2 - x1);
    if (!(cr < 0)) continue;
    proj[t] = {x0, y0, x1, y1, x2, y2};
    list.push_back({(p0.z + p1.z + p2.z) / 3, int(t)});
  }
  std::stable_sort(list.begin(), list.end(), [](const T& l, const T& r) { return l.depth > r.depth; });
  static const int kRed[][2] = {{0, 1}, {4, 5}, {10, 11}, {22, 23}, {28, 33}, {40, 41}, {44, 85}, {90, 91}, {96, 97},
                                {100, 103}, {112, 115}};
  double lx = -128, ly = 128, lz = 128, ll = std::sqrt(lx * lx + ly * ly + lz * lz);
  lx /= ll; ly /= ll; lz /= ll;
  for (const T& t : list) {
    const V3 &p0 = v[b.tri[3 * size_t(t.i)]], &p1 = v[b.tri[3 * size_t(t.i) + 1]], &p2 = v[b.tri[3 * size_t(t.i) + 2]];
    V3 e1{p2.x - p1.x, p2.y - p1.y, p2.z - p1.z}, e2{p0.x - p1.x, p0.y - p1.y, p0.z - p1.z};
    V3 n{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
    double nl = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    double dot = nl > 0 ? (n.x * lx + n.y * ly + n.z * lz) / nl : 0;
    double inten = dot * 256 < 1 ? 48 : std::min(256.0, 48 + 256 * dot);
    bool red = false;
    for (auto& r : kRed) red = red || (t.i >= r[0] && t.i <= r[1]);
    Col base = red ? Hex(0xFF0000) : Hex(0xFFFFFF);
    Col col = Scale(base, float(inten / 256));
    const auto& q = proj[size_t(t.i)];
    std::vector<float> poly = {float(q[0]), float(q[1]), float(q[2]), float(q[3]), float(q[4]), float(q[5])};
    float minx = std::min({poly[0], poly[2], poly[4]}), maxx = std::max({poly[0], poly[2], poly[4]});
    float miny = std::min({poly[1], poly[3], poly[5]}), maxy = std::max({poly[1], poly[3], poly[5]});
    for (int y = std::max(0, int(miny)); y <= std::min(h - 1, int(maxy)); ++y)
      for (int x = std::max(0, int(minx)); x <= std::min(w - 1, int(maxx)); ++x)
        if (InPoly(poly, x + 0.5f, y + 0.5f)) img.at(x, y) = col;
  }
  return img;
}

}  // namespace rg
