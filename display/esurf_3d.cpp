#include "display/esurf_3d.h"

#include <cstring>

#include "display/edsp_base.h"
#include "display/esurf_2d.h"
#include "framework/emod_file.h"
#include "framework/emod_math.h"
#include "framework/emod_memory.h"

namespace {

// 32-bit arithmetic as the console does it: products wrap, shifts of negative
// values are arithmetic.
inline int32_t Mul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
inline int32_t Add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t Sub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t Sar(int32_t v, int n) { return v >= 0 ? v >> n : ~(~v >> n); }
inline int32_t Shl(int32_t v, int n) { return static_cast<int32_t>(static_cast<uint32_t>(v) << n); }
// Product of two fixed-point values with 8 fraction bits dropped from each.
inline int32_t FMul(int32_t a, int32_t b) { return Mul(Sar(a, 8), Sar(b, 8)); }
// Division that cannot trap on INT32_MIN / -1.
inline int32_t Div(int32_t a, int32_t b) {
  if (b == -1) return Sub(0, a);
  return a / b;
}

bool SamePos(const EVECTOR3D& a, const EVECTOR3D& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// Rotation of a vector (positions or normals) by precomputed sines and cosines.
void RotateVec(EVECTOR3D* v, bool dz, int32_t sz, int32_t cz, bool dy, int32_t sy, int32_t cy, bool dx,
               int32_t sx, int32_t cx) {
  if (dz) {
    const int32_t x = Sub(FMul(v->x, cz), FMul(v->y, sz));
    const int32_t y = Add(FMul(v->y, cz), FMul(v->x, sz));
    v->x = x;
    v->y = y;
  }
  if (dy) {
    const int32_t x = Sub(FMul(v->x, cy), FMul(v->z, sy));
    const int32_t z = Add(FMul(v->z, cy), FMul(v->x, sy));
    v->x = x;
    v->z = z;
  }
  if (dx) {
    const int32_t y = Sub(FMul(v->y, cx), FMul(v->z, sx));
    const int32_t z = Add(FMul(v->z, cx), FMul(v->y, sx));
    v->y = y;
    v->z = z;
  }
}

}  // namespace

E3DSurface::E3DSurface() = default;
E3DSurface::~E3DSurface() { Free(); }

int E3DSurface::Create(uint32_t vertices, uint32_t polygons) {
  Free();
  if (vertices == 0 || polygons == 0) return 1;
  if (!ecd_ || !ecd_->mem) return 2;
  ClassEMemory* mem = ecd_->mem;
  // Sizes that do not fit 32 bits cannot be allocated.
  if (vertices > 0x7FFFFFFFu / sizeof(EVERTEX3D) || polygons > 0x7FFFFFFFu / sizeof(EPOLYGON3D)) return 2;
  // Tracked blocks carry a 4-byte prefix; the records hold pointers, so each
  // array is placed on the next 8-byte boundary inside its block.
  auto get = [&](int k, uint32_t bytes) -> void* {
    blocks_[k] = mem->AllocList(bytes + 8);
    if (!blocks_[k]) return nullptr;
    const uintptr_t a = reinterpret_cast<uintptr_t>(blocks_[k]);
    return reinterpret_cast<void*>((a + 7) & ~static_cast<uintptr_t>(7));
  };
  vertices_ = static_cast<EVERTEX3D*>(get(0, vertices * sizeof(EVERTEX3D)));
  polygons_ = static_cast<EPOLYGON3D*>(get(1, polygons * sizeof(EPOLYGON3D)));
  drawlist_ = static_cast<EPOLYGON3D**>(get(2, polygons * sizeof(EPOLYGON3D*)));
  sorted_ = static_cast<EPOLYGON3D**>(get(3, polygons * sizeof(EPOLYGON3D*)));
  vmark_ = static_cast<uint8_t*>(get(4, vertices));
  pmark_ = static_cast<uint8_t*>(get(5, polygons));
  if (!vertices_ || !polygons_ || !drawlist_ || !sorted_ || !vmark_ || !pmark_) {
    for (void*& b : blocks_) {
      mem->DeAllocList(b);
      b = nullptr;
    }
    vertices_ = nullptr;
    polygons_ = nullptr;
    drawlist_ = sorted_ = nullptr;
    vmark_ = pmark_ = nullptr;
    return 2;
  }
  std::memset(vertices_, 0, vertices * sizeof(EVERTEX3D));
  std::memset(polygons_, 0, polygons * sizeof(EPOLYGON3D));
  std::memset(drawlist_, 0, polygons * sizeof(EPOLYGON3D*));
  std::memset(sorted_, 0, polygons * sizeof(EPOLYGON3D*));
  std::memset(vmark_, 0, vertices);
  std::memset(pmark_, 0, polygons);
  for (uint32_t i = 0; i < polygons; i++)
    polygons_[i].vertex[0] = polygons_[i].vertex[1] = polygons_[i].vertex[2] = &vertices_[0];
  vertcap_ = vertices;
  polycap_ = polygons;
  vertinuse_ = polyinuse_ = 0;
  ambient_ = 64;
  strength_ = 64;
  lightdir_ = {0, 0, 0};
  listmode_ = 0;
  return 0;
}

void E3DSurface::Free() {
  if (polycap_ && ecd_ && ecd_->mem)
    for (void*& b : blocks_) {
      ecd_->mem->DeAllocList(b);
      b = nullptr;
    }
  vertices_ = nullptr;
  polygons_ = nullptr;
  drawlist_ = sorted_ = nullptr;
  vmark_ = pmark_ = nullptr;
  polycap_ = vertcap_ = 0;
  polyinuse_ = vertinuse_ = 0;
}

void E3DSurface::SetVertex(uint32_t i, int32_t x, int32_t y, int32_t z) {
  if (i >= vertcap_) return;
  EVERTEX3D& v = vertices_[i];
  v.pos = {Shl(x, 8), Shl(y, 8), Shl(z, 8)};
  v.cpos = v.pos;
  vmark_[i] = 1;
  if (vertinuse_ < i + 1) vertinuse_ = i + 1;
}

void E3DSurface::GetVertex(EVERTEX3D* out, uint32_t i) const {
  if (!out || i >= vertcap_ || !vmark_[i]) return;
  *out = vertices_[i];
}

void E3DSurface::ComputeNormal(EPOLYGON3D* p) {
  RetrieveNormal(&p->normal, &p->vertex[0]->pos, &p->vertex[1]->pos, &p->vertex[2]->pos);
  p->cnormal = p->normal;
}

void E3DSurface::SetPolygon(uint32_t i, uint32_t v0, uint32_t v1, uint32_t v2, uint32_t colour) {
  if (i >= polycap_ || v0 >= vertcap_ || v1 >= vertcap_ || v2 >= vertcap_) return;
  EPOLYGON3D* p = &polygons_[i];
  p->vertex[0] = &vertices_[v0];
  p->vertex[1] = &vertices_[v1];
  p->vertex[2] = &vertices_[v2];
  p->color = colour;
  ComputeNormal(p);
  pmark_[i] = 1;
  if (polyinuse_ < i + 1) polyinuse_ = i + 1;
  if (!listmode_) PolygonNormals();
}

void E3DSurface::SetPolygon(uint32_t i, int32_t x0, int32_t y0, int32_t z0, int32_t x1, int32_t y1,
                            int32_t z1, int32_t x2, int32_t y2, int32_t z2, uint32_t colour) {
  if (i >= polycap_) return;
  const int32_t c[3][3] = {{x0, y0, z0}, {x1, y1, z1}, {x2, y2, z2}};
  uint32_t idx[3];
  for (int k = 0; k < 3; k++) {
    const EVECTOR3D want = {Shl(c[k][0], 8), Shl(c[k][1], 8), Shl(c[k][2], 8)};
    uint32_t found = vertcap_;
    for (uint32_t j = 0; j < vertcap_; j++)
      if (vmark_[j] && SamePos(vertices_[j].pos, want)) {
        found = j;
        break;
      }
    if (found == vertcap_) {
      for (uint32_t j = 0; j < vertcap_; j++)
        if (!vmark_[j]) {
          found = j;
          SetVertex(j, c[k][0], c[k][1], c[k][2]);
          break;
        }
    }
    if (found == vertcap_) return;  // no free slot: the polygon is not set
    idx[k] = found;
  }
  SetPolygon(i, idx[0], idx[1], idx[2], colour);
}

void E3DSurface::SetColor(uint32_t i, uint32_t colour) {
  if (i < polycap_) polygons_[i].color = colour;
}

void E3DSurface::SetColor(uint32_t colour) {
  for (uint32_t i = 0; i < polycap_; i++) polygons_[i].color = colour;
}

void E3DSurface::EndList() {
  listmode_ = 0;
  PolygonNormals();
}

uint32_t E3DSurface::VerticesInUse() const {
  uint32_t n = 0;
  for (uint32_t i = 0; i < vertinuse_ && i < vertcap_; i++) n += vmark_[i] ? 1 : 0;
  return n;
}

uint32_t E3DSurface::PolygonsInUse() const {
  uint32_t n = 0;
  for (uint32_t i = 0; i < polyinuse_ && i < polycap_; i++) n += pmark_[i] ? 1 : 0;
  return n;
}

void E3DSurface::BindTexture(E2DSurface* t) {
  if (!polycap_) return;
  const int32_t w4 = t ? static_cast<int32_t>(t->GetWidth() * 4) : 0;
  const int32_t h4 = t ? static_cast<int32_t>(t->GetHeight() * 4) : 0;
  for (uint32_t i = 0; i < polycap_; i++) {
    EPOLYGON3D& p = polygons_[i];
    p.texture = t;
    if (t)
      for (int k = 0; k < 3; k++) {
        p.u[k] = Mul(p.u[k], w4);
        p.v[k] = Mul(p.v[k], h4);
      }
  }
}

void E3DSurface::BindTexture(uint32_t slot, E2DSurface* t) {
  if (!polycap_) return;
  const int32_t w4 = t ? static_cast<int32_t>(t->GetWidth() * 4) : 0;
  const int32_t h4 = t ? static_cast<int32_t>(t->GetHeight() * 4) : 0;
  for (uint32_t i = 0; i < polycap_; i++) {
    EPOLYGON3D& p = polygons_[i];
    if (p.texslot != static_cast<uint8_t>(slot + 1)) continue;
    p.texture = t;
    if (t)
      for (int k = 0; k < 3; k++) {
        p.u[k] = Mul(p.u[k], w4);
        p.v[k] = Mul(p.v[k], h4);
      }
  }
}

void E3DSurface::BindTexture(uint32_t i, int32_t u0, int32_t v0, int32_t u1, int32_t v1, int32_t u2,
                             int32_t v2, E2DSurface* t) {
  if (i >= polycap_) return;
  EPOLYGON3D& p = polygons_[i];
  if (!t) {
    p.texture = nullptr;
    return;
  }
  if (t->GetWidth() == 0 || t->GetHeight() == 0) return;
  const int32_t w4 = static_cast<int32_t>(t->GetWidth() * 4);
  const int32_t h4 = static_cast<int32_t>(t->GetHeight() * 4);
  const int32_t u[3] = {u0, u1, u2}, v[3] = {v0, v1, v2};
  for (int k = 0; k < 3; k++) {
    p.u[k] = Mul(u[k], w4);
    p.v[k] = Mul(v[k], h4);
  }
  p.texture = t;
}

void E3DSurface::Translate(int32_t dx, int32_t dy, int32_t dz) {
  if (!polycap_) return;
  for (uint32_t i = 0; i < vertinuse_; i++) {
    EVECTOR3D& c = vertices_[i].cpos;
    c.x = Add(c.x, dx);
    c.y = Add(c.y, dy);
    c.z = Add(c.z, dz);
  }
}

void E3DSurface::Rotate(int32_t ax, int32_t ay, int32_t az) {
  if (!polycap_ || !ecd_ || !ecd_->math) return;
  const ClassEMath* m = ecd_->math;
  const bool dx = ax != 0, dy = ay != 0, dz = az != 0;
  if (!dx && !dy && !dz) return;
  const int32_t sx = m->Sin(static_cast<uint32_t>(ax)), cx = m->Cos(static_cast<uint32_t>(ax));
  const int32_t sy = m->Sin(static_cast<uint32_t>(ay)), cy = m->Cos(static_cast<uint32_t>(ay));
  const int32_t sz = m->Sin(static_cast<uint32_t>(az)), cz = m->Cos(static_cast<uint32_t>(az));
  for (uint32_t i = 0; i < vertinuse_; i++) {
    RotateVec(&vertices_[i].cpos, dz, sz, cz, dy, sy, cy, dx, sx, cx);
    RotateVec(&vertices_[i].cnormal, dz, sz, cz, dy, sy, cy, dx, sx, cx);
  }
  for (uint32_t i = 0; i < polyinuse_; i++)
    RotateVec(&polygons_[i].cnormal, dz, sz, cz, dy, sy, cy, dx, sx, cx);
}

void E3DSurface::Scale(int32_t sx, int32_t sy, int32_t sz) {
  if (!polycap_) return;
  for (uint32_t i = 0; i < vertinuse_; i++) {
    EVECTOR3D& c = vertices_[i].cpos;
    c.x = FMul(sx, c.x);
    c.y = FMul(sy, c.y);
    c.z = FMul(sz, c.z);
  }
}

void E3DSurface::Reset() {
  if (!polycap_) return;
  for (uint32_t i = 0; i < vertinuse_; i++) {
    vertices_[i].cpos = vertices_[i].pos;
    vertices_[i].cnormal = vertices_[i].normal;
  }
  for (uint32_t i = 0; i < polyinuse_; i++) polygons_[i].cnormal = polygons_[i].normal;
}

void E3DSurface::SetLightSource(int32_t x, int32_t y, int32_t z, uint32_t ambient, uint32_t strength) {
  ambient_ = ambient;
  strength_ = strength;
  lightdir_ = {Sub(0, x), y, Sub(0, z)};
  Normalize(&lightdir_);
}

int32_t E3DSurface::Intensity(const EVECTOR3D* n) const {
  const int32_t dot = DotProduct(n, &lightdir_);
  int32_t i = static_cast<int32_t>(ambient_);
  if (dot >= 1) i = Add(i, Mul(dot, static_cast<int32_t>(strength_)) / 8192);
  if (i > 256) i = 256;
  if (i < 0) i = 0;
  return i;
}

uint32_t E3DSurface::LightColor(uint32_t c, int32_t intensity) {
  const uint32_t k = static_cast<uint32_t>(intensity);
  const uint32_t r = ((c & 0xFF) * k) >> 8;
  const uint32_t g = (((c >> 8) & 0xFF) * k) >> 8;
  const uint32_t b = (((c >> 16) & 0xFF) * k) >> 8;
  return r | g << 8 | b << 16;
}

void E3DSurface::VertexLighting() {
  for (uint32_t i = 0; i < vertinuse_; i++) vertices_[i].light = Intensity(&vertices_[i].cnormal);
}

uint32_t E3DSurface::CalculateColor(uint32_t i, uint32_t colour) const {
  if (i >= polycap_) return colour;
  return LightColor(colour, Intensity(&polygons_[i].cnormal));
}

uint32_t E3DSurface::RenderSize() const {
  // Without a display the console screen's smaller side.
  if (ecd_ && ecd_->dsp) return ecd_->dsp->GetRenderSize();
  return 240;
}

void E3DSurface::Project(uint32_t w, uint32_t h) {
  const int32_t c = static_cast<int32_t>(RenderSize());
  const int32_t cx = Shl(static_cast<int32_t>(w), 15), cy = Shl(static_cast<int32_t>(h), 15);
  for (uint32_t i = 0; i < vertinuse_; i++) {
    EVERTEX3D& v = vertices_[i];
    int32_t div = Add(v.cpos.z, 1 << 19);
    if (div == 0) div = 1;
    const int32_t d = Div(1 << 27, div);
    const int32_t k = Sar(Mul(c, d), 5);
    v.px = Add(cx, Mul(k, Sar(v.cpos.x, 5)));
    v.py = Add(cy, Mul(k, Sar(v.cpos.y, 5)));
  }
}

void E3DSurface::Perspective(uint32_t w, uint32_t h) {
  if (polycap_) Project(w, h);
}

int32_t E3DSurface::GetPerspective(const EVECTOR3D* v, tagPOINT* p) const {
  const int32_t c = static_cast<int32_t>(RenderSize());
  int32_t div = Add(v->z, 1 << 19);
  if (div == 0) div = 1;
  const int32_t d = Div(1 << 27, div);
  const int32_t k = Sar(Mul(c, d), 5);
  if (p) {
    p->x = Mul(k, Sar(v->x, 5));
    p->y = Mul(k, Sar(v->y, 5));
  }
  return d;
}

uint32_t E3DSurface::PrepareRender(uint32_t w, uint32_t h, bool cull) {
  if (!polycap_) return 0;
  Project(w, h);
  uint32_t n = 0;
  for (uint32_t i = 0; i < polyinuse_; i++) {
    EPOLYGON3D* p = &polygons_[i];
    const EVERTEX3D* a = p->vertex[0];
    const EVERTEX3D* b = p->vertex[1];
    const EVERTEX3D* c = p->vertex[2];
    if (a == b || b == c || a == c) continue;
    if (cull) {
      const int32_t cross = Sub(Mul(Sar(Sub(a->px, b->px), 16), Sar(Sub(c->py, b->py), 16)),
                                Mul(Sar(Sub(a->py, b->py), 16), Sar(Sub(c->px, b->px), 16)));
      if (cross >= 0) continue;
    }
    p->litcolor = LightColor(p->color, Intensity(&p->cnormal));
    drawlist_[n++] = p;
  }
  SortPolygons(n);
  VertexLighting();
  return n;
}

void E3DSurface::SortPolygons(uint32_t n) {
  if (n > polycap_) n = polycap_;
  for (uint32_t i = 0; i < n; i++) {
    EPOLYGON3D* p = drawlist_[i];
    const int32_t s = Add(Add(p->vertex[0]->cpos.z, p->vertex[1]->cpos.z), p->vertex[2]->cpos.z);
    p->depth = s / 3;
    sorted_[i] = p;
  }
  // In-place heap sort into descending keys: a min-heap whose smallest key is
  // moved to the end each round.
  auto less = [](const EPOLYGON3D* a, const EPOLYGON3D* b) { return a->depth < b->depth; };
  auto sift = [&](uint32_t root, uint32_t end) {
    for (;;) {
      uint32_t child = 2 * root + 1;
      if (child >= end) break;
      if (child + 1 < end && less(sorted_[child + 1], sorted_[child])) child++;
      if (!less(sorted_[child], sorted_[root])) break;
      EPOLYGON3D* t = sorted_[root];
      sorted_[root] = sorted_[child];
      sorted_[child] = t;
      root = child;
    }
  };
  if (n < 2) return;
  for (uint32_t i = n / 2; i-- > 0;) sift(i, n);
  for (uint32_t end = n - 1; end > 0; end--) {
    EPOLYGON3D* t = sorted_[0];
    sorted_[0] = sorted_[end];
    sorted_[end] = t;
    sift(0, end);
  }
}

void E3DSurface::PolygonNormals() {
  if (!polycap_) return;
  for (uint32_t i = 0; i < vertinuse_; i++) {
    EVERTEX3D& v = vertices_[i];
    int32_t sx = 0, sy = 0, sz = 0, count = 0;
    for (uint32_t j = 0; j < polyinuse_; j++) {
      if (!pmark_[j]) continue;
      const EPOLYGON3D& p = polygons_[j];
      if (SamePos(p.vertex[0]->pos, v.pos) || SamePos(p.vertex[1]->pos, v.pos) ||
          SamePos(p.vertex[2]->pos, v.pos)) {
        sx = Add(sx, p.normal.x);
        sy = Add(sy, p.normal.y);
        sz = Add(sz, p.normal.z);
        count++;
      }
    }
    if (count)
      v.normal = {sx / count, sy / count, sz / count};
    else
      v.normal = {0, 0, 0};
    v.cnormal = v.normal;
  }
}

int32_t E3DSurface::DotProduct(const EVECTOR3D* a, const EVECTOR3D* b) {
  return Add(Add(FMul(a->y, b->y), FMul(a->x, b->x)), FMul(a->z, b->z));
}

void E3DSurface::CrossProduct(EVECTOR3D* out, const EVECTOR3D* a, const EVECTOR3D* b) {
  const int32_t ax = Sar(a->x, 8), ay = Sar(a->y, 8), az = Sar(a->z, 8);
  const int32_t bx = Sar(b->x, 8), by = Sar(b->y, 8), bz = Sar(b->z, 8);
  out->x = Sub(Mul(ay, bz), Mul(az, by));
  out->y = Sub(Mul(az, bx), Mul(ax, bz));
  out->z = Sub(Mul(ax, by), Mul(ay, bx));
}

void E3DSurface::Normalize(EVECTOR3D* v) {
  const int32_t sum = Add(Add(FMul(v->x, v->x), FMul(v->y, v->y)), FMul(v->z, v->z));
  const int32_t l = ClassEMath::IntSqrt(sum);
  if (l == 0) {
    v->x = Shl(v->x, 8);
    v->y = Shl(v->y, 8);
    v->z = Shl(v->z, 8);
  } else {
    v->x = Div(Shl(v->x, 8), l);
    v->y = Div(Shl(v->y, 8), l);
    v->z = Div(Shl(v->z, 8), l);
  }
}

void E3DSurface::RetrieveNormal(EVECTOR3D* out, const EVECTOR3D* a, const EVECTOR3D* b,
                                const EVECTOR3D* c) {
  const EVECTOR3D cb = {Sub(c->x, b->x), Sub(c->y, b->y), Sub(c->z, b->z)};
  const EVECTOR3D ab = {Sub(a->x, b->x), Sub(a->y, b->y), Sub(a->z, b->z)};
  CrossProduct(out, &cb, &ab);
  Normalize(out);
}

int E3DSurface::LoadModel(void* data, uint32_t length) {
  if (!ecd_ || !ecd_->dsp) return 3;
  for (int s = 0; s < 16; s++) {
    ClassELoaderBase* l = ecd_->dsp->GetLoader(s);
    if (!l) continue;
    const int r = l->Start(this, data, length);
    if (r == 3) continue;
    if (r == 0) {
      listmode_ = 0;
      PolygonNormals();
    }
    return r;
  }
  return 3;
}

int E3DSurface::LoadModel(const uint16_t* name) {
  ClassEFile file;
  if (!name || !file.Open(name, EFILE_READ)) return 1;
  const uint32_t size = file.Size();
  if (size == 0) return 1;
  void* data = ClassEMemory::Alloc(size);
  if (!data) return 2;
  const bool ok = file.Read(data, size);
  file.Close();
  const int r = ok ? LoadModel(data, size) : 1;
  ClassEMemory::DeAlloc(data);
  return r;
}

int E3DSurface::LdrOnCreate(ELDR_3DCALLBACKINFO* info) {
  const int r = Create(info->vertextotal, info->polygontotal);
  if (r == 0) listmode_ = 1;
  return r;
}

int E3DSurface::LdrOnVertexStream(ELDR_3DCALLBACKINFO* info) {
  const uint32_t n = info->bytecount / 12;
  const uint8_t* d = static_cast<const uint8_t*>(info->data);
  for (uint32_t k = 0; k < n; k++) {
    const uint32_t i = static_cast<uint32_t>(info->vertexindex) + k;
    int32_t xyz[3];
    std::memcpy(xyz, d + 12 * k, 12);
    SetVertex(i, xyz[0], xyz[1], xyz[2]);
  }
  info->vertexindex = Add(info->vertexindex, static_cast<int32_t>(n));
  return 0;
}

int E3DSurface::LdrOnPolygonStream(ELDR_3DCALLBACKINFO* info) {
  const uint32_t n = info->bytecount / 16;
  const uint8_t* d = static_cast<const uint8_t*>(info->data);
  for (uint32_t k = 0; k < n; k++) {
    uint32_t rec[4];
    std::memcpy(rec, d + 16 * k, 16);
    SetPolygon(static_cast<uint32_t>(info->polygonindex) + k, rec[0], rec[1], rec[2], rec[3]);
  }
  info->polygonindex = Add(info->polygonindex, static_cast<int32_t>(n));
  return 0;
}

int E3DSurface::LdrOnTexelStream(ELDR_3DCALLBACKINFO* info) {
  const uint8_t* d = static_cast<const uint8_t*>(info->data);
  if (info->texelmode == 0) {
    const uint32_t n = info->bytecount / 28;
    for (uint32_t k = 0; k < n; k++) {
      const uint32_t i = static_cast<uint32_t>(info->texelindex) + k;
      if (i >= polycap_) break;  // records past the mesh are dropped
      int32_t uv[6];
      std::memcpy(uv, d + 28 * k, 24);
      EPOLYGON3D& p = polygons_[i];
      p.u[0] = uv[0];
      p.v[0] = uv[1];
      p.u[1] = uv[2];
      p.v[1] = uv[3];
      p.u[2] = uv[4];
      p.v[2] = uv[5];
      p.texslot = d[28 * k + 24];
    }
    info->texelindex = Add(info->texelindex, static_cast<int32_t>(n));
  } else {
    const uint32_t n = info->bytecount / 12;
    for (uint32_t k = 0; k < n; k++) {
      const uint32_t i = static_cast<uint32_t>(info->texelindex) + k;
      if (i >= vertcap_) break;
      int32_t uv[2];
      std::memcpy(uv, d + 12 * k, 8);
      const EVERTEX3D* v = &vertices_[i];
      for (uint32_t j = 0; j < polyinuse_; j++)
        for (int c = 0; c < 3; c++)
          if (polygons_[j].vertex[c] == v) {
            polygons_[j].u[c] = uv[0];
            polygons_[j].v[c] = uv[1];
          }
    }
    info->texelindex = Add(info->texelindex, static_cast<int32_t>(n));
  }
  return 0;
}
