// Span kernels: run set-up, texel fetch, keyed and generic runs, gradients.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "display/erdr_span.h"

namespace {

// One-row tables for a destination of `rows` rows.
struct Tables {
  std::vector<int16_t> L, R;
  std::vector<int32_t> A, B;
  uint32_t rows;
  explicit Tables(uint32_t n) : L(n, 0), R(n, -1), A(4 * n, 0), B(4 * n, 0), rows(n) {}
  void Set(uint32_t row, int16_t l, int16_t r, int32_t xl, int32_t xr, std::vector<int32_t> lv,
           std::vector<int32_t> rv) {
    L[row] = l;
    R[row] = r;
    A[row] = xl;
    B[row] = xr;
    for (size_t k = 0; k < lv.size(); k++) {
      A[row + (k + 1) * rows] = lv[k];
      B[row + (k + 1) * rows] = rv[k];
    }
  }
};

TEST(SpanKernels, RunSetUpSamplesFromTheFirstWholePixel) {
  // Crossings at 5.5 and 15.5 pixels, u from 0 to 10 texels; the source is a
  // 16 x 1 strip whose texel value is its column.
  std::vector<uint8_t> src(16), dst(32, 0xEE);
  for (int i = 0; i < 16; i++) src[i] = uint8_t(i);
  Tables t(1);
  t.Set(0, 5, 14, 5632, 15872, {0, 0}, {10240, 0});
  ExRsBlt(dst.data(), src.data(), t.L.data(), t.R.data(), t.A.data(), t.B.data(), 32, 1, 16, 1, 0,
          0, 0, 8, 16, 1);
  EXPECT_EQ(dst[4], 0xEE);
  EXPECT_EQ(dst[5], 0);  // u = 511/1024
  EXPECT_EQ(dst[6], 1);  // u = 1534/1024
  EXPECT_EQ(dst[14], 9);
  EXPECT_EQ(dst[15], 0xEE);
  // Clipped on the left at column 8: the first drawn pixel samples column 3.
  std::fill(dst.begin(), dst.end(), 0xEE);
  t.L[0] = 8;
  ExRsBlt(dst.data(), src.data(), t.L.data(), t.R.data(), t.A.data(), t.B.data(), 32, 1, 16, 1, 0,
          0, 8, 8, 16, 1);
  EXPECT_EQ(dst[7], 0xEE);
  EXPECT_EQ(dst[8], 3);
}

TEST(SpanKernels, EmptyRowsAndReversedRangesDrawNothing) {
  std::vector<uint8_t> src(16, 7), dst(32 * 3, 0xEE);
  Tables t(3);
  t.Set(1, 0, -1, 0, 10240, {0, 0}, {0, 0});
  ExRsBlt(dst.data(), src.data(), t.L.data(), t.R.data(), t.A.data(), t.B.data(), 32, 3, 16, 1, 0,
          2, 0, 8, 16, 1);
  ExRsBlt(dst.data(), src.data(), t.L.data(), t.R.data(), t.A.data(), t.B.data(), 32, 3, 16, 1, 2,
          1, 0, 8, 16, 1);
  for (uint8_t v : dst) EXPECT_EQ(v, 0xEE);
}

TEST(SpanKernels, FetchWrapsByModuloOrByMask) {
  // A 100-wide source: column -1 reads column 95 (unsigned modulo).
  std::vector<uint8_t> src(100 * 2), dst(8, 0);
  for (int i = 0; i < 100; i++) src[i] = uint8_t(i);
  Tables t(1);
  // u = -1 texel constant over a one-pixel run (left and right values equal).
  t.Set(0, 0, 0, 0, 1024, {-1024, 0}, {-1024, 0});
  ExRsBlt(dst.data(), src.data(), t.L.data(), t.R.data(), t.A.data(), t.B.data(), 8, 1, 100, 2, 0,
          0, 0, 8, 100, 1);
  EXPECT_EQ(dst[0], 95);
  // A 64 x 64 source goes through the mask: column -1 is column 63.
  std::vector<uint8_t> sq(64 * 64);
  for (int i = 0; i < 64 * 64; i++) sq[i] = uint8_t(i % 64);
  EXPECT_TRUE(ERdrSpanIsPlus(64, 64));
  EXPECT_FALSE(ERdrSpanIsPlus(64, 32));
  EXPECT_FALSE(ERdrSpanIsPlus(100, 100));
  ExRsBlt(dst.data(), sq.data(), t.L.data(), t.R.data(), t.A.data(), t.B.data(), 8, 1, 64, 64, 0,
          0, 0, 8, 64, 1);
  EXPECT_EQ(dst[0], 63);
}

TEST(SpanKernels, KeyedAndGenericRuns) {
  // 16-bit 5:6:5: source texels alternate key (0xF81F) and white.
  std::vector<uint16_t> src(4), dst(4, 0x1234);
  src = {0xF81F, 0xFFFF, 0xF81F, 0xFFFF};
  Tables t(1);
  t.Set(0, 0, 3, 0, 4096, {0, 0}, {4096, 0});
  auto run = [&](int kind, int32_t flags, uint32_t op, uint32_t colour) {
    std::fill(dst.begin(), dst.end(), 0x1234);
    auto* d = reinterpret_cast<uint8_t*>(dst.data());
    auto* s = reinterpret_cast<const uint8_t*>(src.data());
    if (kind == 0)
      ExRsBltCk(d, s, t.L.data(), t.R.data(), t.A.data(), t.B.data(), 4, 1, 4, 1, 0, 0, 0, 16, 4, 4,
                0xF81F);
    else
      ExRsBltGeneric(d, s, t.L.data(), t.R.data(), t.A.data(), t.B.data(), 4, 1, 4, 1, 0, 0, 0, 16,
                     4, 4, flags, 0xF81F, op, colour);
  };
  run(0, 0, 0, 0);
  EXPECT_EQ(dst[0], 0x1234);
  EXPECT_EQ(dst[1], 0xFFFF);
  // ck with colour fill: non-key texels become the colour.
  run(1, 0x03, 0, 0x07E0);
  EXPECT_EQ(dst[0], 0x1234);
  EXPECT_EQ(dst[1], 0x07E0);
  // Additive white saturates; subtractive white clears.
  run(1, 0x11, 0, 0);
  EXPECT_EQ(dst[1], 0xFFFF);
  run(1, 0x21, 0, 0);
  EXPECT_EQ(dst[1], 0x0000);
  // Opacity 128: weights 16 and 16 of 32 per channel.
  run(1, 0x09, 128, 0);
  const uint32_t d = 0x1234;
  const uint32_t want = ((((0x1F * 16) + ((d & 0x1F) * 16)) >> 5) & 0x1F) |
                        ((((0x7E0 * 16) + ((d & 0x7E0) * 16)) >> 5) & 0x7E0) |
                        ((((0xF800u * 16) + ((d & 0xF800) * 16)) >> 5) & 0xF800);
  EXPECT_EQ(dst[1], want);

  // 8-bit destinations copy every texel in the generic kernel, key included.
  std::vector<uint8_t> s8 = {5, 9, 5, 9}, d8(4, 0);
  ExRsBltGeneric(d8.data(), s8.data(), t.L.data(), t.R.data(), t.A.data(), t.B.data(), 4, 1, 4, 1,
                 0, 0, 0, 8, 4, 1, 0x01, 5, 0, 0);
  EXPECT_EQ(d8, s8);
}

TEST(SpanKernels, GradientPacksAndDithers) {
  Tables t(8);
  // 8-bit: red 0x10, green 0x01, blue 0 gives 0x11.
  std::vector<uint8_t> d8(8, 0);
  t.Set(0, 0, 3, 0, 4096, {0x10 << 10, 0x01 << 10, 0}, {0x10 << 10, 0x01 << 10, 0});
  ExRsBltGradient(d8.data(), t.L.data(), t.R.data(), t.A.data(), t.B.data(), 8, 8, 0, 0, 0, 8, 1);
  EXPECT_EQ(d8[0], 0x11);
  EXPECT_EQ(d8[3], 0x11);
  // Format 4, constant green 251: dithered to 62 or 63 by position; 255 stays 63.
  std::vector<uint16_t> d16(8 * 8, 0);
  for (uint32_t r = 0; r < 8; r++) t.Set(r, 0, 7, 0, 8192, {0, 251 << 10, 0}, {0, 251 << 10, 0});
  ExRsBltGradientDith(reinterpret_cast<uint8_t*>(d16.data()), t.L.data(), t.R.data(), t.A.data(),
                      t.B.data(), 8, 8, 0, 7, 0, 16, 4);
  bool saw62 = false, saw63 = false;
  for (uint16_t p : d16) {
    const uint32_t g = (p >> 5) & 0x3F;
    EXPECT_TRUE(g == 62 || g == 63) << g;
    saw62 |= g == 62;
    saw63 |= g == 63;
  }
  EXPECT_TRUE(saw62 && saw63);
  // Row 2 (t & 3 = 2 at k = 0) has no step for the low bits 3: 62.
  EXPECT_EQ((d16[2 * 8] >> 5) & 0x3F, 62);
  EXPECT_EQ((d16[0] >> 5) & 0x3F, 63);
  for (uint32_t r = 0; r < 8; r++) t.Set(r, 0, 7, 0, 8192, {0, 255 << 10, 0}, {0, 255 << 10, 0});
  ExRsBltGradientDith(reinterpret_cast<uint8_t*>(d16.data()), t.L.data(), t.R.data(), t.A.data(),
                      t.B.data(), 8, 8, 0, 7, 0, 16, 4);
  for (uint16_t p : d16) EXPECT_EQ((p >> 5) & 0x3F, 63);
  // A bright run that overshoots its end colour keeps the channel at 255 instead
  // of wrapping into the neighbouring channel.
  std::vector<uint32_t> d32(8, 0);
  t.Set(0, 0, 7, 0, 1024, {0, 0, 0}, {255 << 10, 0, 0});
  ExRsBltGradient(reinterpret_cast<uint8_t*>(d32.data()), t.L.data(), t.R.data(), t.A.data(),
                  t.B.data(), 8, 8, 0, 0, 0, 32, 6);
  for (uint32_t p : d32) EXPECT_EQ(p & 0xFF00FFFFu, 0u) << std::hex << p;
  EXPECT_EQ(d32[7] >> 16, 255u);
}

TEST(SpanKernels, LandscapeRowsAndColumns) {
  std::vector<uint8_t> src(8 * 8), dst(4 * 4, 0);
  for (int i = 0; i < 64; i++) src[i] = uint8_t(i);
  // Row records: u = row texels, step 1 texel; v = 2 texels, no step.
  std::vector<int32_t> rec(4 * 4);
  for (int r = 0; r < 4; r++) {
    rec[4 * r] = r << 12;
    rec[4 * r + 1] = 2 << 12;
    rec[4 * r + 2] = 1 << 12;
    rec[4 * r + 3] = 0;
  }
  const tagRECT rc = {0, 0, 4, 4};
  ExLndNormal(&rc, dst.data(), src.data(), 4, 4, 8, 8, rec.data(), 8, 8);
  EXPECT_EQ(dst[0], 16);
  EXPECT_EQ(dst[1 * 4 + 2], 16 + 3);
  ExLndSide(&rc, dst.data(), src.data(), 4, 4, 8, 8, rec.data(), 8, 8);
  EXPECT_EQ(dst[2 * 4 + 1], 16 + 1 + 2);  // column 1, walked down two pixels
}

}  // namespace
