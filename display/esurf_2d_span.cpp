// The scaled and freely turned blit: the turned rectangle is scanned into the
// scanline tables with its source coordinates and drawn by the span kernels.
#include <algorithm>
#include <utility>

#include "display/erdr_fixed.h"
#include "display/erdr_kernel.h"
#include "display/erdr_span.h"
#include "display/esurf_2d.h"
#include "framework/emod_math.h"

namespace {

using erdr::Clamp32;
using erdr::Cos4096;
using erdr::Sar64;
using erdr::Sin4096;

// The source rectangle's corners in destination and source coordinates, in
// 1/1024 pixel, clockwise from the top left.
struct Quad {
  int32_t x[4], y[4], u[4], v[4];
};

// The source rectangle r (stored) scaled by xs, ys (16.16), mirrored and turned
// by angle about the centre (cx, cy).
Quad TurnedQuad(const tagRECT& r, int64_t cx, int64_t cy, int32_t xs, int32_t ys, uint8_t mirror,
                uint32_t angle) {
  // Half extents in quarter pixels, then turned.
  const int64_t sw = int64_t(r.right - r.left) * xs, sh = int64_t(r.bottom - r.top) * ys;
  int64_t hx1 = Sar64(sw, 15), hx0 = Sar64(sw, 15) - Sar64(sw, 14);
  int64_t hy1 = Sar64(sh, 15), hy0 = Sar64(sh, 15) - Sar64(sh, 14);
  if (mirror & 1) {
    hx0 = -hx0;
    hx1 = -hx1;
  }
  if (mirror & 2) {
    hy0 = -hy0;
    hy1 = -hy1;
  }
  const int64_t sn = Sin4096(angle), cs = Cos4096(angle);
  const int64_t px[4] = {hx0, hx1, hx1, hx0}, py[4] = {hy0, hy0, hy1, hy1};
  Quad q = {{0, 0, 0, 0},
            {0, 0, 0, 0},
            {r.left * 1024, r.right * 1024, r.right * 1024, r.left * 1024},
            {r.top * 1024, r.top * 1024, r.bottom * 1024, r.bottom * 1024}};
  for (int k = 0; k < 4; k++) {
    q.x[k] = Clamp32(cx + Sar64(px[k] * cs, 8) - Sar64(py[k] * sn, 8));
    q.y[k] = Clamp32(cy + Sar64(px[k] * sn, 8) + Sar64(py[k] * cs, 8));
  }
  return q;
}

}  // namespace

// The scanline tables of stored rows first..last filled from the outline of
// the quad (x, y with source u, v per corner), then clipped to the clipper.
void E2DSurface::ScanQuad(const int32_t* qx, const int32_t* qy, const int32_t* u, const int32_t* v,
                          int32_t first, int32_t last) {
  for (int32_t row = first; row <= last; row++) {
    spanleft_[row] = int16_t(width_);
    spanright_[row] = -1;
    spanvala_[row] = Clamp32(int64_t(width_) * 1024);
    spanvalb_[row] = -1024;
  }
  for (int k = 0; k < 4; k++) {
    const int n = (k + 1) & 3;
    ScanPolyLine(qx[k], qy[k], u[k], v[k], qx[n], qy[n], u[n], v[n]);
  }
  ClampSpanRows(first, last);
}

// Turns, scales and draws src's rectangle centred at (x, y) through the span
// kernels: 0 drawn, 4 nothing to draw, 12 no pixels.
int E2DSurface::BltFxSpans(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect,
                           const E2DBLTFX* fx) {
  if (!src || !fx) return 4;
  uint8_t* dpx;
  uint8_t* spx;
  if (!LockPair(src, dpx, spx)) return 12;
  const EORIENT o = Orientation();
  tagRECT r = rect ? *rect : tagRECT{0, 0, int32_t(src->GetWidth()), int32_t(src->GetHeight())};
  if ((r.right - r.left) & 1) x++;
  if ((r.bottom - r.top) & 1) y++;
  // Scales and mirror bits follow the logical axes onto the stored ones.
  int32_t xs = fx->xscale, ys = fx->yscale;
  uint8_t mirror = fx->mirror;
  if (o.swap) {
    std::swap(xs, ys);
    mirror = uint8_t(((mirror & 1) << 1) | ((mirror >> 1) & 1) | (mirror & ~3));
  }
  EOrient_VirtualRect(o, &r, src->width_, src->rows_);
  // The centre as a point: mirrored about the surface edge like the triangles.
  int64_t cx = int64_t(x) * 1024, cy = int64_t(y) * 1024;
  if (o.swap) std::swap(cx, cy);
  if (o.xdir < 0) cx = int64_t(width_) * 1024 - cx;
  if (o.ydir < 0) cy = int64_t(rows_) * 1024 - cy;
  int result = 4;
  if (src->ClipRect(&r) && spanleft_) {
    uint32_t angle = fx->rotation & 4095;
    // A display that mirrors (rather than turns) reverses the sense of rotation.
    const int det = (o.swap ? -1 : 1) * (o.xdir < 0 ? -1 : 1) * (o.ydir < 0 ? -1 : 1);
    if (det < 0) angle = (4096 - angle) & 4095;
    const Quad q = TurnedQuad(r, cx, cy, xs, ys, mirror, angle);
    const int32_t minY = std::min(std::min(q.y[0], q.y[1]), std::min(q.y[2], q.y[3]));
    const int32_t maxY = std::max(std::max(q.y[0], q.y[1]), std::max(q.y[2], q.y[3]));
    const int32_t first = std::max(int32_t(Sar64(minY, 10)), clip_.top);
    const int32_t last = std::min(std::min(int32_t(Sar64(maxY, 10)), clip_.bottom - 1), int32_t(spanrows_) - 1);
    if (first <= last) {
      ScanQuad(q.x, q.y, q.u, q.v, first, last);
      ExRsBltFlags(dpx, spx, spanleft_, spanright_, spanvala_, spanvalb_, pitch_, spanrows_, src->pitch_,
                   src->rows_, first, last, clip_.left, bpp_, src->width_, format_, fx->flags, src->colorkey_,
                   fx->value);
      result = 0;
    }
  }
  src->Unlock();
  Unlock();
  return result;
}
