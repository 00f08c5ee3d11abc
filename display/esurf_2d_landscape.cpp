// The perspective ground plane and its point projection.
//
// The plane is worked out in logical coordinates and only then mapped to the stored
// orientation of both surfaces, so every display orientation shows the same picture.
// Projection (all texture positions in 1/4096 texel):
//  - (b, c) is the texture point, in 1/16 texel, drawn at the bottom row of the
//    rectangle in its middle column (left + width / 2); angle 0 looks towards -v.
//  - Row d counts up from the rectangle's bottom row (d = 0). Its divisor is
//    D = height * 1024 - |tilt| * d; the plane ends below the first row where D is
//    not positive (the horizon) or at the top of the rectangle.
//  - One pixel of row d covers s = (a * 4096 / zoom) * height * 1024 / D, so a is the
//    camera height: at zoom 256 the bottom row shows a / 256 texels per pixel.
//  - Each row lies s(d) further ahead than the one below it: ahead(d) is the sum of
//    s(0) .. s(d - 1). Tilt 0 is a flat top-down map.
//  - Pixel (x, row d) samples the point turned by the angle from
//    (lateral, ahead) = ((x - middle) * s, ahead(d)).
// GetLandscapePoint walks the same rows and checks the pixels next to the nearest
// sample with the same arithmetic, so it names a pixel that really draws the texel
// whenever one does.
#include <utility>

#include "display/erdr_fixed.h"
#include "display/erdr_span.h"
#include "display/esurf_2d.h"
#include "framework/emod_math.h"

namespace {

using erdr::Sar64;
using erdr::Sin4096;

inline int64_t Mod64(int64_t v, int64_t m) {
  const int64_t r = v % m;
  return r < 0 ? r + m : r;
}

// The camera of one call, in logical coordinates.
struct Plane {
  int64_t cu = 0, cv = 0;  // viewpoint
  int64_t sn = 0, cs = 0;  // 16.16
  int64_t base = 0;        // texels per pixel at the bottom row
  int64_t size = 0;        // height * 1024
  int64_t tilt = 0;        // |tilt|
  int32_t middle = 0, bottom = 0, left = 0, right = 0, top = 0;
  int32_t rows = 0;        // rows below the horizon inside the rectangle

  // Texels per pixel of row d (d < rows).
  int64_t Step(int32_t d) const {
    const int64_t s = base * size / (size - tilt * d);
    return s > INT32_MAX ? INT32_MAX : s;
  }
  // Position drawn at column x of a row (ahead, step).
  void Sample(int64_t ahead, int64_t s, int32_t x, int64_t& u, int64_t& v) const {
    const int64_t k = int64_t(x) - middle;
    u = cu + Sar64(ahead * sn, 16) + k * Sar64(s * cs, 16);
    v = cv - Sar64(ahead * cs, 16) + k * Sar64(s * sn, 16);
  }
};

// False when nothing can be drawn.
bool SetUp(Plane& p, const tagRECT& r, int32_t a, int32_t b, int32_t c, uint16_t angle,
           int16_t tilt, uint16_t zoom) {
  const int64_t w = int64_t(r.right) - r.left, h = int64_t(r.bottom) - r.top;
  // Larger than any surface; keeps every product below in 64 bits.
  if (w <= 0 || h <= 0 || w > 32768 || h > 32768 || a <= 0 || zoom == 0) return false;
  p.cu = int64_t(b) * 256;
  p.cv = int64_t(c) * 256;
  p.sn = Sin4096(angle);
  p.cs = Sin4096(uint32_t(angle) + 1024);
  p.base = (int64_t(a) << 12) / zoom;
  if (p.base > INT32_MAX) p.base = INT32_MAX;
  p.size = h * 1024;
  p.tilt = tilt < 0 ? -int64_t(tilt) : int64_t(tilt);
  p.left = r.left;
  p.right = r.right;
  p.top = r.top;
  p.bottom = r.bottom;
  p.middle = int32_t(r.left + w / 2);
  int64_t rows = p.tilt ? (p.size - 1) / p.tilt + 1 : h;
  p.rows = int32_t(rows < h ? rows : h);
  return true;
}

// The texture as the kernel reads it: its stored orientation and size, and
// the logical texture in 1/4096 texel.
struct TextureFrame {
  EORIENT o;
  int64_t tw, th;
  int64_t spanU, spanV;

  TextureFrame(const EORIENT& orient, uint32_t width, uint32_t rows)
      : o(orient), tw(width), th(rows), spanU((o.swap ? th : tw) << 12), spanV((o.swap ? tw : th) << 12) {}
  // One row's record from its logical first texel (u, v) and step (su, sv):
  // the texel wrapped into the texture, both in stored coordinates.
  void Record(int64_t u, int64_t v, int64_t su, int64_t sv, int32_t* rec) const {
    u = Mod64(u, spanU);
    v = Mod64(v, spanV);
    if (o.swap) {
      std::swap(u, v);
      std::swap(su, sv);
    }
    if (o.xdir < 0) {
      u = (tw << 12) - 1 - u;
      su = -su;
    }
    if (o.ydir < 0) {
      v = (th << 12) - 1 - v;
      sv = -sv;
    }
    rec[0] = int32_t(u);
    rec[1] = int32_t(v);
    rec[2] = int32_t(su);
    rec[3] = int32_t(sv);
  }
};

// One kernel record per plane row whose stored index lies in rc (stored
// coordinates of a width x rows surface in orientation o): where the walk
// along the row starts in the texture and its step.
void FillRecords(const Plane& p, const EORIENT& o, const tagRECT& rc, uint32_t width, uint32_t rows,
                 const TextureFrame& t, int32_t* records) {
  // First logical column of each kernel walk and its direction.
  int32_t x0, dir;
  if (!o.swap) {
    x0 = o.xdir > 0 ? rc.left : int32_t(width) - 1 - rc.left;
    dir = o.xdir;
  } else {
    x0 = o.ydir > 0 ? rc.top : int32_t(rows) - 1 - rc.top;
    dir = o.ydir;
  }
  const int32_t lo = o.swap ? rc.left : rc.top, hi = o.swap ? rc.right : rc.bottom;
  int64_t ahead = 0;
  for (int32_t d = 0; d < p.rows; d++) {
    const int64_t s = p.Step(d);
    const int32_t ly = p.bottom - 1 - d;
    int32_t idx;
    if (!o.swap)
      idx = o.ydir > 0 ? ly : int32_t(rows) - 1 - ly;
    else
      idx = o.xdir > 0 ? ly : int32_t(width) - 1 - ly;
    if (idx >= lo && idx < hi) {
      int64_t u, v;
      p.Sample(ahead, s, x0, u, v);
      t.Record(u, v, dir * Sar64(s * p.cs, 16), dir * Sar64(s * p.sn, 16), records + 4 * idx);
    }
    ahead += s;
  }
}

// The plane row (d) whose samples lie nearest to fwd ahead of the camera, or
// -1 when the point is behind the bottom row or beyond the horizon or top.
int32_t NearestRow(const Plane& p, int64_t fwd) {
  int64_t ahead = 0, prevAhead = 0;
  for (int32_t d = 0; d < p.rows; d++) {
    const int64_t s = p.Step(d);
    if (ahead > fwd) {
      if (d > 0) return (ahead - fwd < fwd - prevAhead) ? d : d - 1;
      return fwd < -(s >> 1) ? -1 : 0;
    }
    if (d == p.rows - 1) return fwd - ahead > (s >> 1) ? -1 : d;
    prevAhead = ahead;
    ahead += s;
  }
  return -1;
}

// Among the pixels next to the nearest sample in rows best - 1 .. best + 1,
// the one that draws the texel of (tu, tv), else the nearest; false when the
// nearest column of row best lies outside vis.
bool NearestPixel(const Plane& p, const tagRECT& vis, int32_t best, int64_t side, int64_t tu, int64_t tv,
                  int32_t& fx, int32_t& fy) {
  const int64_t texU = Sar64(tu, 12), texV = Sar64(tv, 12);
  bool found = false, foundHit = false;
  int64_t foundDist = 0;
  int64_t ahead = 0;
  for (int32_t d = 0; d < p.rows && d <= best + 1; d++) {
    const int64_t s = p.Step(d);
    const int32_t ly = p.bottom - 1 - d;
    if (d >= best - 1 && ly >= vis.top && ly < vis.bottom) {
      const int64_t est = p.middle + (side >= 0 ? (side + s / 2) / s : -((-side + s / 2) / s));
      if (d == best && (est < vis.left || est >= vis.right)) return false;
      for (int64_t cx = est - 2; cx <= est + 2; cx++) {
        if (cx < vis.left || cx >= vis.right) continue;
        int64_t su, sv;
        p.Sample(ahead, s, int32_t(cx), su, sv);
        const bool hit = Sar64(su, 12) == texU && Sar64(sv, 12) == texV;
        const int64_t ex = su > tu ? su - tu : tu - su, ey = sv > tv ? sv - tv : tv - sv;
        const int64_t dist = ex > ey ? ex : ey;
        if (!found || (hit && !foundHit) || (hit == foundHit && dist < foundDist)) {
          found = true;
          foundHit = hit;
          foundDist = dist;
          fx = int32_t(cx);
          fy = ly;
        }
      }
    }
    ahead += s;
  }
  return found;
}

}  // namespace

void E2DSurface::Landscape(const tagRECT* rect, int32_t a, int32_t b, int32_t c, uint16_t angle,
                           int16_t tilt, uint16_t zoom, E2DSurface* texture) {
  if (!texture || !IsCreated() || !texture->IsCreated() || texture->format_ != format_) return;
  const tagRECT lr = rect ? *rect : tagRECT{0, 0, int32_t(GetWidth()), int32_t(GetHeight())};
  Plane p;
  if (!SetUp(p, lr, a, b, c, angle, tilt, zoom)) return;
  // Only the rows below the horizon are handed to the kernel.
  tagRECT rc = lr;
  if (rc.top < p.bottom - p.rows) rc.top = p.bottom - p.rows;
  const EORIENT o = Orientation();
  EOrient_VirtualRect(o, &rc, width_, rows_);
  if (!ClipRect(&rc)) return;
  // One record per stored row, or per stored column on a turned display.
  const int32_t records = o.swap ? rc.right : rc.bottom;
  if (!spanvala_ || uint32_t(records) > spanrows_) return;
  uint8_t* dpx = Lock(nullptr);
  if (!dpx) return;
  if (!texture->Lock(nullptr)) {
    Unlock();
    return;
  }
  FillRecords(p, o, rc, width_, rows_, TextureFrame(texture->Orientation(), texture->width_, texture->rows_),
              spanvala_);
  if (o.swap)
    ExLndSide(&rc, dpx, texture->pixels_, pitch_, rows_, texture->pitch_, texture->rows_, spanvala_,
              bpp_, texture->width_);
  else
    ExLndNormal(&rc, dpx, texture->pixels_, pitch_, rows_, texture->pitch_, texture->rows_, spanvala_,
                bpp_, texture->width_);
  texture->Unlock();
  Unlock();
}

int E2DSurface::GetLandscapePoint(const tagRECT* rect, int32_t a, int32_t b, int32_t c,
                                  uint16_t angle, int16_t tilt, uint16_t zoom, int32_t u, int32_t v,
                                  int32_t* x, int32_t* y) {
  if (!IsCreated()) return 0;
  const tagRECT lr = rect ? *rect : tagRECT{0, 0, int32_t(GetWidth()), int32_t(GetHeight())};
  Plane p;
  if (!SetUp(p, lr, a, b, c, angle, tilt, zoom)) return 0;
  // Visible part: the rectangle inside the clipper, below the horizon.
  tagRECT vis;
  GetClipper(&vis);
  if (vis.left < lr.left) vis.left = lr.left;
  if (vis.right > lr.right) vis.right = lr.right;
  if (vis.bottom > lr.bottom) vis.bottom = lr.bottom;
  if (vis.top < p.bottom - p.rows) vis.top = p.bottom - p.rows;
  if (vis.left >= vis.right || vis.top >= vis.bottom) return 0;
  // The point in the camera's frame: sideways and ahead.
  const int64_t tu = int64_t(u) * 256, tv = int64_t(v) * 256;
  const int64_t du = tu - p.cu, dv = tv - p.cv;
  const int64_t side = Sar64(du * p.cs + dv * p.sn, 16);
  const int64_t fwd = Sar64(du * p.sn - dv * p.cs, 16);
  const int32_t best = NearestRow(p, fwd);
  if (best < 0) return 0;
  // The nearest row and column decide whether the point is inside.
  const int32_t bestRow = p.bottom - 1 - best;
  if (bestRow < vis.top || bestRow >= vis.bottom) return 0;
  int32_t fx = 0, fy = 0;
  if (!NearestPixel(p, vis, best, side, tu, tv, fx, fy)) return 0;
  if (x) *x = fx;
  if (y) *y = fy;
  return 1;
}
