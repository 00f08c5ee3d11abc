// A lit, turned cube drawn by the surface's renderer matches the committed frame.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "display/esurf_2d.h"
#include "display/esurf_3d.h"
#include "tests/loaders/ldr_util.h"

namespace {

constexpr int kW = 96, kH = 72;

// A cube of side 120 units, faces wound so that culling keeps the outer side, one
// colour per face.
void BuildCube(E3DSurface& m) {
  const int32_t c[8][3] = {{-60, -60, -60}, {60, -60, -60}, {60, 60, -60}, {-60, 60, -60},
                           {-60, -60, 60},  {60, -60, 60},  {60, 60, 60},  {-60, 60, 60}};
  const uint32_t q[6][4] = {{0, 1, 2, 3}, {5, 4, 7, 6}, {4, 0, 3, 7}, {1, 5, 6, 2}, {4, 5, 1, 0}, {3, 2, 6, 7}};
  const uint32_t colour[6] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF, 0xFFFF00};
  ASSERT_EQ(m.Create(8, 12), ERES_OK);
  m.StartList();
  for (uint32_t i = 0; i < 8; i++) m.SetVertex(i, c[i][0], c[i][1], c[i][2]);
  for (uint32_t f = 0; f < 6; f++) {
    m.SetPolygon(2 * f, q[f][0], q[f][1], q[f][2], colour[f]);
    m.SetPolygon(2 * f + 1, q[f][0], q[f][2], q[f][3], colour[f]);
  }
  m.EndList();
}

std::vector<uint8_t> Frame(E2DSurface& s) {
  std::vector<uint8_t> rgb;
  for (int y = 0; y < kH; y++)
    for (int x = 0; x < kW; x++) {
      const uint32_t c = s.GetPixel(x, y);
      rgb.insert(rgb.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
    }
  return rgb;
}

// Compares the frame with the committed one (ZARN_WRITE_GOLDEN=1 writes it anew).
void ExpectGolden(const std::vector<uint8_t>& got, const char* name) {
  const std::string golden = std::string(ZARN_SOURCE_DIR) + "/tests/loaders/data/" + name;
  const std::string head = "P6\n" + std::to_string(kW) + " " + std::to_string(kH) + "\n255\n";
  if (std::getenv("ZARN_WRITE_GOLDEN")) {
    std::vector<uint8_t> out(head.begin(), head.end());
    out.insert(out.end(), got.begin(), got.end());
    ASSERT_TRUE(zt::WriteFile(golden, out));
  }
  std::vector<uint8_t> want = zt::ReadFile(golden);
  ASSERT_EQ(want.size(), head.size() + got.size()) << name;
  want.erase(want.begin(), want.begin() + static_cast<long>(head.size()));
  size_t diff = 0;
  for (size_t i = 0; i < got.size(); i++) diff += got[i] != want[i];
  EXPECT_EQ(diff, 0u) << name;
}

struct Render3D : ::testing::Test {
  ldr::Context ctx;
  E3DSurface cube;
  E2DSurface s;
  void SetUp() override {
    cube.LinkECD(&ctx.ecd);
    BuildCube(cube);
    cube.SetLightSource(-30000, 20000, -50000, 48, 128);
    cube.Rotate(300, 500, 0);
    cube.Translate(0, 0, 200 * 256);
    s.LinkECD(&ctx.ecd);
    ASSERT_EQ(s.Create(kW, kH, EFMT_RGB32, 1), ERES_OK);
  }
};

// Flat faces in their lit colours: projection, culling, depth order and light.
TEST_F(Render3D, LitCubeMatchesGoldenFrame) {
  s.Render(0, 0, &cube, 0x200, 0);
  ExpectGolden(Frame(s), "cube_golden.ppm");
  // Three faces show; the background stays black.
  EXPECT_EQ(s.GetPixel(0, 0), 0u);
  EXPECT_NE(s.GetPixel(kW / 2, kH / 2), 0u);
}

// Gouraud shading from the averaged vertex normals and the vertex light.
TEST_F(Render3D, GouraudCubeMatchesGoldenFrame) {
  s.Render(0, 0, &cube, 0x400, 0);
  ExpectGolden(Frame(s), "cube_gouraud_golden.ppm");
}

}  // namespace
