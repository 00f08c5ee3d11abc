// BltFlip's four angles and four mirrors against ImageMagick's -rotate, -flop and
// -flip, clipped on every side of the destination's clip rectangle.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "display/erdr_kernel.h"
#include "display/esurf_2d.h"
#include "tests/support/harness.h"

namespace {

struct Image {
  int w = 0, h = 0;
  std::vector<uint32_t> px;  // 0x00BBGGRR
};

bool WritePpm(const std::string& path, E2DSurface& s) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n" << s.GetWidth() << " " << s.GetHeight() << "\n255\n";
  for (uint32_t y = 0; y < s.GetHeight(); y++)
    for (uint32_t x = 0; x < s.GetWidth(); x++) {
      const uint32_t c = s.GetPixel(int32_t(x), int32_t(y));
      const char rgb[3] = {char(c & 0xFF), char((c >> 8) & 0xFF), char((c >> 16) & 0xFF)};
      f.write(rgb, 3);
    }
  return bool(f);
}

bool ReadPpm(const std::string& path, Image* img) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int maxv = 0;
  if (!(f >> magic >> img->w >> img->h >> maxv) || magic != "P6" || maxv != 255) return false;
  f.get();
  img->px.resize(size_t(img->w * img->h));
  for (auto& p : img->px) {
    unsigned char rgb[3];
    if (!f.read(reinterpret_cast<char*>(rgb), 3)) return false;
    p = uint32_t(rgb[0]) | (uint32_t(rgb[1]) << 8) | (uint32_t(rgb[2]) << 16);
  }
  return true;
}

// Every angle and mirror of a 7x5 picture in one format, blitted at positions
// inside and across each side of the clip rectangle. Keyed, some pixels hold the
// key colour and leave the destination as it was.
void CheckFlips(uint8_t format, bool keyed) {
  const std::string dir =
      zt::TempDir("flip_oracle_" + std::to_string(format) + (keyed ? "_ck" : ""));
  E2DSurface src;
  ASSERT_EQ(src.Create(7, 5, format, 1), ERES_OK);
  std::mt19937 rng(21);
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 7; x++) src.PutPixel(x, y, rng() & 0xFFFFFF);
  // The key as the surface stores it (15 bits keep less of a colour).
  const uint32_t key = src.GetPixel(0, 0);
  if (keyed) {
    for (int i = 0; i < 35; i += 4) src.PutPixel(i % 7, i / 7, key);
    src.SetColorKey(key);
  }
  ASSERT_TRUE(WritePpm(dir + "/src.ppm", src));
  // All sixteen from one ImageMagick run: each a clone of the source, turned and
  // written on its own.
  std::ostringstream cmd;
  cmd << "cd '" << dir << "' && " << zt::kConvert << " src.ppm";
  for (int angle = 0; angle < 4; angle++)
    for (int mirror = 0; mirror < 4; mirror++) {
      cmd << " '(' +clone" << ((mirror & 1) ? " -flop" : "") << ((mirror & 2) ? " -flip" : "")
          << " -rotate " << angle * 90 << " -depth 8 -write out_" << angle << "_" << mirror
          << ".ppm +delete ')'";
    }
  cmd << " null:";
  ASSERT_EQ(zt::Run(cmd.str()), 0);
  const int clipL = 3, clipT = 2, clipR = 14, clipB = 11;
  for (int angle = 0; angle < 4; angle++)
    for (int mirror = 0; mirror < 4; mirror++) {
      Image im;
      ASSERT_TRUE(ReadPpm(dir + "/out_" + std::to_string(angle) + "_" + std::to_string(mirror) +
                              ".ppm",
                          &im));
      ASSERT_EQ(im.w, (angle & 1) ? 5 : 7);
      // Inside, and across the left, right, top and bottom of the clip rectangle.
      const int positions[][2] = {{5, 4}, {0, 4}, {clipR - 3, 4}, {5, -1}, {5, clipB - 2}, {-6, -6}};
      for (const auto& pos : positions) {
        E2DSurface dst;
        ASSERT_EQ(dst.Create(17, 13, format, 1), ERES_OK);
        dst.FillRect(nullptr, 0x123456);
        const uint32_t back = dst.GetPixel(0, 0);
        const tagRECT clip = {clipL, clipT, clipR, clipB};
        dst.SetClipper(&clip);
        const int r = dst.BltFlip(pos[0], pos[1], &src, nullptr, uint16_t(angle * 1024),
                                  uint8_t(mirror), keyed ? int32_t(EBLT_CK) : 0);
        ASSERT_TRUE(r == 0 || r == 4);
        for (int y = 0; y < 13; y++)
          for (int x = 0; x < 17; x++) {
            const int ix = x - pos[0], iy = y - pos[1];
            const bool inClip = x >= clipL && x < clipR && y >= clipT && y < clipB;
            const bool inImage = ix >= 0 && iy >= 0 && ix < im.w && iy < im.h;
            uint32_t want = inClip && inImage ? im.px[size_t(iy * im.w + ix)] : back;
            if (keyed && want == key) want = back;
            ASSERT_EQ(dst.GetPixel(x, y), want)
                << "format " << int(format) << " keyed " << keyed << " angle " << angle * 1024
                << " mirror " << mirror << " at " << pos[0] << "," << pos[1] << " pixel " << x
                << "," << y;
          }
      }
    }
}

TEST(FlipOracle, SixteenTurnsAndMirrorsEqualImageMagick) {
  if (!zt::HaveExecutable(zt::kConvert)) GTEST_SKIP() << "no ImageMagick";
  CheckFlips(EFMT_RGB32, false);
}

// The kernels' colour key, and the per-pixel rule of the formats without
// kernels (24 and 15 bits), plain and keyed.
TEST(FlipOracle, KeyedAndRuleFormatsEqualImageMagick) {
  if (!zt::HaveExecutable(zt::kConvert)) GTEST_SKIP() << "no ImageMagick";
  CheckFlips(EFMT_RGB32, true);
  for (const uint8_t format : {uint8_t(EFMT_RGB24), uint8_t(EFMT_RGB15)}) {
    CheckFlips(format, false);
    CheckFlips(format, true);
  }
}

}  // namespace
