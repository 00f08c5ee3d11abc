// The scaled and freely turned blit: the turned rectangle is scanned into the
// scanline tables with its source coordinates and drawn by the span kernels.
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

}  // namespace

int E2DSurface::BltFxSpans(int32_t x, int32_t y, E2DSurface* src, const tagRECT* rect,
                           const E2DBLTFX* fx) {
  if (!src || !fx) return 4;
  uint8_t* dpx = Lock(nullptr);
  if (!dpx) return 12;
  if (!src->Lock(nullptr)) {
    Unlock();
    return 12;
  }
  int result = 0;
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
  if (r.left < src->clip_.left) r.left = src->clip_.left;
  if (r.top < src->clip_.top) r.top = src->clip_.top;
  if (r.right > src->clip_.right) r.right = src->clip_.right;
  if (r.bottom > src->clip_.bottom) r.bottom = src->clip_.bottom;
  if (r.left >= r.right || r.top >= r.bottom || !spanleft_) {
    result = 4;
  } else {
    // Half extents in quarter pixels, then turned; corners in 1/1024 pixel.
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
    uint32_t angle = fx->rotation & 4095;
    // A display that mirrors (rather than turns) reverses the sense of rotation.
    const int det = (o.swap ? -1 : 1) * (o.xdir < 0 ? -1 : 1) * (o.ydir < 0 ? -1 : 1);
    if (det < 0) angle = (4096 - angle) & 4095;
    const int64_t sn = Sin4096(angle), cs = Cos4096(angle);
    const int64_t px[4] = {hx0, hx1, hx1, hx0}, py[4] = {hy0, hy0, hy1, hy1};
    const int32_t u[4] = {r.left * 1024, r.right * 1024, r.right * 1024, r.left * 1024};
    const int32_t v[4] = {r.top * 1024, r.top * 1024, r.bottom * 1024, r.bottom * 1024};
    int32_t qx[4], qy[4];
    for (int k = 0; k < 4; k++) {
      qx[k] = Clamp32(cx + Sar64(px[k] * cs, 8) - Sar64(py[k] * sn, 8));
      qy[k] = Clamp32(cy + Sar64(px[k] * sn, 8) + Sar64(py[k] * cs, 8));
    }
    int32_t minY = qy[0], maxY = qy[0];
    for (int k = 1; k < 4; k++) {
      if (qy[k] < minY) minY = qy[k];
      if (qy[k] > maxY) maxY = qy[k];
    }
    int32_t first = int32_t(Sar64(minY, 10)), last = int32_t(Sar64(maxY, 10));
    if (first < clip_.top) first = clip_.top;
    if (last > clip_.bottom - 1) last = clip_.bottom - 1;
    if (last >= int32_t(spanrows_)) last = int32_t(spanrows_) - 1;
    if (first > last) {
      result = 4;
    } else {
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
      for (int32_t row = first; row <= last; row++) {
        if (spanleft_[row] < clip_.right && spanright_[row] >= clip_.left) {
          if (spanleft_[row] < clip_.left) spanleft_[row] = int16_t(clip_.left);
          if (spanright_[row] > clip_.right - 1) spanright_[row] = int16_t(clip_.right - 1);
        } else {
          spanright_[row] = -1;
        }
      }
      ExRsBltFlags(dpx, src->pixels_, spanleft_, spanright_, spanvala_, spanvalb_, pitch_, spanrows_,
                   src->pitch_, src->rows_, first, last, clip_.left, bpp_, src->width_, format_,
                   fx->flags, src->colorkey_, fx->value);
    }
  }
  src->Unlock();
  Unlock();
  return result;
}
