// The 3D surface: creation, mesh set-up, vertex normals, transforms, light,
// projection, culling and the depth sort.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "display/esurf_3d.h"
#include "tests/loaders/ldr_util.h"

namespace {

struct Surface3D : ::testing::Test {
  ldr::Context ctx;
  E3DSurface s;
  void SetUp() override { s.LinkECD(&ctx.ecd); }
  EVERTEX3D Vertex(uint32_t i) {
    EVERTEX3D v;
    std::memset(&v, 0xA5, sizeof v);
    s.GetVertex(&v, i);
    return v;
  }
};

TEST_F(Surface3D, CreateAndSetters) {
  EXPECT_EQ(s.Create(0, 5), ERES_BAD);
  EXPECT_FALSE(s.IsCreated());
  EXPECT_EQ(s.Create(5, 0), ERES_BAD);
  EXPECT_FALSE(s.IsCreated());
  ASSERT_EQ(s.Create(4, 2), ERES_OK);
  EXPECT_TRUE(s.IsCreated());
  s.SetVertex(1, 3, -4, 5);
  s.SetVertex(4, 9, 9, 9);  // past the capacity: ignored
  EVERTEX3D v = Vertex(1);
  EXPECT_EQ(v.pos.x, 3 * 256);
  EXPECT_EQ(v.pos.y, -4 * 256);
  EXPECT_EQ(v.cpos.z, 5 * 256);
  // An unused vertex leaves the record untouched.
  v = Vertex(2);
  EXPECT_EQ(v.pos.x, static_cast<int32_t>(0xA5A5A5A5));
  EXPECT_EQ(s.VerticesInUse(), 1u);
  s.SetPolygon(0, 0, 1, 4, 0xFF);  // a corner past the capacity: ignored
  EXPECT_EQ(s.PolygonsInUse(), 0u);
  s.Free();
  EXPECT_FALSE(s.IsCreated());
  EXPECT_EQ(ctx.mem.InUse(), 256u * 8u);  // every tracked block released
}

TEST_F(Surface3D, PositionFormSharesAndRunsOutOfSlots) {
  ASSERT_EQ(s.Create(4, 3), ERES_OK);
  s.SetPolygon(0, 0, 0, 0, 100, 0, 0, 0, 100, 0, 0xFF);
  s.SetPolygon(1, 100, 0, 0, 0, 100, 0, 100, 100, 0, 0xFF00);
  EXPECT_EQ(s.VerticesInUse(), 4u);
  EXPECT_EQ(s.PolygonsInUse(), 2u);
  // A fifth position has no slot: the polygon is not set.
  s.SetPolygon(2, 0, 0, 0, 100, 0, 0, 7, 7, 7, 0xFF);
  EXPECT_EQ(s.PolygonsInUse(), 2u);
}

TEST_F(Surface3D, SharedPositionsGetOneAveragedNormal) {
  ASSERT_EQ(s.Create(6, 2), ERES_OK);
  // Two triangles folded along the edge (0,0,0)-(0,100,0), each with its own vertices.
  s.SetVertex(0, 0, 0, 0);
  s.SetVertex(1, 0, 100, 0);
  s.SetVertex(2, 100, 0, 0);
  s.SetVertex(3, 0, 0, 0);
  s.SetVertex(4, 0, 100, 0);
  s.SetVertex(5, 0, 0, 100);
  s.StartList();
  s.SetPolygon(0, 0, 1, 2, 0xFFFFFF);
  s.SetPolygon(1, 3, 5, 4, 0xFFFFFF);
  EXPECT_EQ(Vertex(0).normal.x, 0);  // list mode: not computed yet
  s.EndList();
  const EVERTEX3D a = Vertex(0), b = Vertex(3), c = Vertex(2);
  EXPECT_EQ(a.normal.x, b.normal.x);
  EXPECT_EQ(a.normal.y, b.normal.y);
  EXPECT_EQ(a.normal.z, b.normal.z);
  // The shared edge averages the two face normals; a lone corner keeps its face's.
  const EPOLYGON3D* p = s.GetPolygonArray();
  EXPECT_EQ(a.normal.x, (p[0].normal.x + p[1].normal.x) / 2);
  EXPECT_EQ(a.normal.z, (p[0].normal.z + p[1].normal.z) / 2);
  EXPECT_EQ(c.normal.z, p[0].normal.z);
  // Face normals are unit vectors along the axes.
  EXPECT_NEAR(std::abs(p[0].normal.z), 65536, 2000);
  EXPECT_NEAR(std::abs(p[1].normal.x), 65536, 2000);
}

TEST_F(Surface3D, TransformsAccumulateAndReset) {
  ASSERT_EQ(s.Create(3, 1), ERES_OK);
  s.SetPolygon(0, 300, 0, 0, 0, 200, 0, 0, 0, 100, 0xFFFFFF);
  auto snap = [&] {
    std::vector<int32_t> out;
    for (uint32_t i = 0; i < 3; i++) {
      EVERTEX3D v = Vertex(i);
      out.insert(out.end(), {v.cpos.x, v.cpos.y, v.cpos.z, v.cnormal.x, v.cnormal.y, v.cnormal.z});
    }
    return out;
  };
  const auto loaded = snap();
  s.Rotate(0, 0, 0);
  EXPECT_EQ(snap(), loaded);
  s.Rotate(1024, 0, 0);
  s.Rotate(1024, 0, 0);
  const auto twice = snap();
  s.Reset();
  EXPECT_EQ(snap(), loaded);
  s.Rotate(2048, 0, 0);
  const auto once = snap();
  for (size_t k = 0; k < once.size(); k++) EXPECT_NEAR(twice[k], once[k], 1024) << k;
  // About x by a half turn: y and z change sign.
  EVERTEX3D v = Vertex(1);
  EXPECT_NEAR(v.cpos.y, -200 * 256, 256);
  // A quarter turn about z takes x to y.
  s.Reset();
  s.Rotate(0, 0, 1024);
  v = Vertex(0);
  EXPECT_NEAR(v.cpos.x, 0, 256);
  EXPECT_NEAR(v.cpos.y, 300 * 256, 256);
  s.Reset();
  s.Translate(256, -512, 0);
  s.Scale(0x20000, 0x10000, 0x8000);
  v = Vertex(0);
  EXPECT_EQ(v.cpos.x, (300 + 1) * 2 * 256);
  EXPECT_EQ(v.cpos.y, -2 * 256);
  v = Vertex(2);
  EXPECT_EQ(v.cpos.z, 50 * 256);
  s.Reset();
  EXPECT_EQ(snap(), loaded);
}

TEST_F(Surface3D, LightAndColour) {
  ASSERT_EQ(s.Create(3, 1), ERES_OK);
  // A triangle in the z = 0 plane whose normal points along -z or +z.
  s.SetPolygon(0, 0, 0, 0, 100, 0, 0, 0, 100, 0, 0x00804020);
  const int32_t nz = s.GetPolygonArray()[0].normal.z;
  ASSERT_NEAR(std::abs(nz), 65536, 2000);
  // Light so the direction (-x, y, -z) equals the normal: full light.
  s.SetLightSource(0, 0, -nz, 64, 64);
  EXPECT_EQ(s.CalculateColor(0, 0x00804020), 0x00804020u);  // 64 + 65536 * 64 / 8192 -> 256
  s.SetLightSource(0, 0, -nz, 64, 16);  // 64 + ~128 = ~192
  const uint32_t c = s.CalculateColor(0, 0x00FFFFFF);
  EXPECT_NEAR(static_cast<int>(c & 0xFF), 191, 2);
  // Light from behind: ambient only.
  s.SetLightSource(0, 0, nz, 128, 64);
  EXPECT_EQ(s.CalculateColor(0, 0x00FF80FE), 0x007F407Fu);
}

TEST_F(Surface3D, ProjectionCullingAndNeverDrawnPolygons) {
  ASSERT_EQ(s.Create(4, 3), ERES_OK);
  s.SetVertex(0, 0, 0, 0);
  s.SetVertex(1, 100, 0, 0);
  s.SetVertex(2, 0, 100, 0);
  s.SetVertex(3, 0, 0, 2048);  // twice as far from the eye
  s.StartList();
  s.SetPolygon(0, 0, 1, 2, 0xFF);
  s.SetPolygon(1, 0, 2, 1, 0xFF00);
  s.SetPolygon(2, 1, 1, 1, 0xFF0000);  // one vertex: never drawn
  s.EndList();
  // (w/2, h/2) + 2c(x, y)/(z + 2048), c = 240
  ASSERT_EQ(s.PrepareRender(320, 240, false), 2u);
  EVERTEX3D v = Vertex(1);
  EXPECT_NEAR(v.px / 65536.0, 160 + 480.0 * 100 / 2048, 0.05);
  EXPECT_NEAR(v.py / 65536.0, 120, 0.05);
  v = Vertex(3);
  EXPECT_EQ(v.px, 160 * 65536);
  EVECTOR3D far = {256 * 100, 256 * 50, 256 * 2048};
  tagPOINT p;
  EXPECT_EQ(s.GetPerspective(&far, &p), 128);
  EXPECT_NEAR(p.x / 65536.0, 480.0 * 100 / 4096, 0.05);
  EXPECT_NEAR(p.y / 65536.0, 480.0 * 50 / 4096, 0.05);
  // With culling exactly one winding survives.
  ASSERT_EQ(s.PrepareRender(320, 240, true), 1u);
  const EPOLYGON3D* kept = s.GetDrawList()[0];
  EXPECT_EQ(kept->color, 0xFFu);  // screen y grows downwards: 0,1,2 runs the culled-in way
}

TEST_F(Surface3D, DepthSortFarthestFirst) {
  const int n = 40;
  ASSERT_EQ(s.Create(3 * n, n), ERES_OK);
  s.StartList();
  for (int i = 0; i < n; i++) {
    const int z = ((i * 17) % n) * 10 - 100;  // distinct depths in a scrambled order
    s.SetVertex(3 * i, 0, 0, z);
    s.SetVertex(3 * i + 1, 10, 0, z);
    s.SetVertex(3 * i + 2, 0, 10, z);
    s.SetPolygon(i, 3 * i, 3 * i + 1, 3 * i + 2, static_cast<uint32_t>(i));
  }
  s.EndList();
  ASSERT_EQ(s.PrepareRender(320, 240, false), static_cast<uint32_t>(n));
  EPOLYGON3D** list = s.GetDrawList();
  for (int i = 1; i < n; i++) EXPECT_GT(list[i - 1]->depth, list[i]->depth) << i;
  EXPECT_EQ(list[0]->depth, 290 * 256);
}

TEST_F(Surface3D, TexturesAndTexelRecords) {
  ASSERT_EQ(s.Create(3, 2), ERES_OK);
  s.SetPolygon(0, 0, 0, 0, 10, 0, 0, 0, 10, 0, 0xFF);
  // Per-polygon records, one more than the mesh holds: the extra is dropped.
  ELDR_3DCALLBACKINFO info;
  std::memset(&info, 0, sizeof info);
  uint8_t rec[3 * 28];
  std::memset(rec, 0, sizeof rec);
  for (int k = 0; k < 3; k++) {
    int32_t uv[6] = {1, 2, 3, 4, 5, 6};
    std::memcpy(rec + 28 * k, uv, 24);
    rec[28 * k + 24] = 2;
  }
  info.data = rec;
  info.bytecount = sizeof rec;
  EXPECT_EQ(s.LdrOnTexelStream(&info), ERES_OK);
  EXPECT_EQ(info.texelindex, 3);
  const EPOLYGON3D* p = s.GetPolygonArray();
  EXPECT_EQ(p[1].u[2], 5);
  EXPECT_EQ(p[1].texslot, 2);
  // Binding by slot uses the slot byte (slot + 1); binding needs the texture's size,
  // so use a created 2D surface.
  E2DSurface tex;
  tex.LinkECD(&ctx.ecd);
  ASSERT_EQ(tex.Create(8, 4, EFMT_RGB16, 1), ERES_OK);
  s.BindTexture(1u, &tex);
  EXPECT_EQ(p[0].texture, &tex);
  EXPECT_EQ(p[0].u[0], 1 * 32);
  EXPECT_EQ(p[0].v[0], 2 * 16);
  s.BindTexture(&tex);
  EXPECT_EQ(p[0].u[0], 1 * 32 * 32);  // twice bound, twice multiplied
  s.BindTexture(0u, 0, 0, 1, 1, 1, 0, nullptr);
  EXPECT_EQ(p[0].texture, nullptr);
  // Per-vertex records reach every corner on that vertex.
  info.texelmode = 1;
  info.texelindex = 1;
  int32_t pv[3] = {77, 88, 1};
  info.data = pv;
  info.bytecount = 12;
  s.LdrOnTexelStream(&info);
  EXPECT_EQ(p[0].u[1], 77);
  EXPECT_EQ(p[0].v[1], 88);
}

}  // namespace
