// The 3DS loader: chunk walk, record conversion, batches, hostile files, and a
// model exported by assimp.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "display/esurf_3d.h"
#include "framework/emod_file.h"
#include "loaders/eldr_3ds.h"
#include "tests/loaders/ldr_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Chunk(uint16_t id, const Bytes& payload) {
  Bytes c;
  ldr::Put16(c, id);
  ldr::Put32(c, static_cast<uint32_t>(6 + payload.size()));
  c.insert(c.end(), payload.begin(), payload.end());
  return c;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct Mesh {
  std::vector<std::array<float, 3>> v;
  std::vector<std::array<uint16_t, 3>> f;
  std::vector<std::array<float, 2>> uv;  // empty: no mapping chunk
};

Bytes MeshChunk(const Mesh& m) {
  Bytes vl, fl, ml;
  ldr::Put16(vl, static_cast<uint32_t>(m.v.size()));
  for (auto& p : m.v)
    for (float c : p) ldr::PutFloat(vl, c);
  ldr::Put16(fl, static_cast<uint32_t>(m.f.size()));
  for (auto& t : m.f) {
    for (uint16_t i : t) ldr::Put16(fl, i);
    ldr::Put16(fl, 7);
  }
  Bytes parts = Cat({Chunk(0x4110, vl), Chunk(0x4120, fl)});
  if (!m.uv.empty()) {
    ldr::Put16(ml, static_cast<uint32_t>(m.uv.size()));
    for (auto& p : m.uv)
      for (float c : p) ldr::PutFloat(ml, c);
    parts = Cat({parts, Chunk(0x4140, ml)});
  }
  return Chunk(0x4100, parts);
}

Bytes Object(const char* name, const Bytes& contents) {
  Bytes b(name, name + std::strlen(name) + 1);
  b.insert(b.end(), contents.begin(), contents.end());
  return Chunk(0x4000, b);
}

Bytes File(const Bytes& editorContents, bool version = true, const Bytes& after = {}) {
  Bytes ver;
  ldr::Put32(ver, 3);
  Bytes body = Cat({version ? Chunk(0x0002, ver) : Bytes{}, Chunk(0x3D3D, editorContents), after});
  return Chunk(0x4D4D, body);
}

Mesh Grid(uint32_t nv, uint32_t nf, bool uv) {
  Mesh m;
  for (uint32_t i = 0; i < nv; i++)
    m.v.push_back({static_cast<float>(i), 2.0f * i, -3.0f * i});
  m.v[0] = {1.0f, 2.0f, 3.0f};
  for (uint32_t i = 0; i < nf; i++)
    m.f.push_back({static_cast<uint16_t>(i % nv), static_cast<uint16_t>((i + 1) % nv),
                   static_cast<uint16_t>((i + 2) % nv)});
  if (uv) {
    for (uint32_t i = 0; i < nv; i++) m.uv.push_back({0.5f, 0.25f});
  }
  return m;
}

// Records every callback the loader makes.
struct FakeModel {
  int created = 0;
  uint32_t vt = 0, pt = 0;
  uint8_t texelmode = 0;
  std::vector<uint32_t> vbatches, pbatches, tbatches;
  std::vector<std::array<int32_t, 3>> verts, texels;
  std::vector<std::array<uint32_t, 4>> tris;
  int refuse = 0;  // which call refuses: 1 create, 2 vertex, 3 polygon, 4 texel
  int LdrOnCreate(ELDR_3DCALLBACKINFO* i) {
    created++;
    vt = i->vertextotal;
    pt = i->polygontotal;
    texelmode = i->texelmode;
    return refuse == 1 ? 5 : 0;
  }
  int LdrOnVertexStream(ELDR_3DCALLBACKINFO* i) {
    vbatches.push_back(i->bytecount / 12);
    for (uint32_t k = 0; k < i->bytecount / 12; k++) {
      std::array<int32_t, 3> r;
      std::memcpy(r.data(), static_cast<uint8_t*>(i->data) + 12 * k, 12);
      verts.push_back(r);
    }
    return refuse == 2 ? 6 : 0;
  }
  int LdrOnPolygonStream(ELDR_3DCALLBACKINFO* i) {
    pbatches.push_back(i->bytecount / 16);
    for (uint32_t k = 0; k < i->bytecount / 16; k++) {
      std::array<uint32_t, 4> r;
      std::memcpy(r.data(), static_cast<uint8_t*>(i->data) + 16 * k, 16);
      tris.push_back(r);
    }
    return refuse == 3 ? 7 : 0;
  }
  int LdrOnTexelStream(ELDR_3DCALLBACKINFO* i) {
    tbatches.push_back(i->bytecount / 12);
    for (uint32_t k = 0; k < i->bytecount / 12; k++) {
      std::array<int32_t, 3> r;
      std::memcpy(r.data(), static_cast<uint8_t*>(i->data) + 12 * k, 12);
      texels.push_back(r);
    }
    return refuse == 4 ? 8 : 0;
  }
};

int Decode(FakeModel& fake, Bytes file) {
  ELoader_3DS l;
  return l.Decode(&fake, file.data(), static_cast<uint32_t>(file.size()));
}

TEST(Loader3DS, RecordsAndBatches) {
  const Bytes f = File(Object("grid", MeshChunk(Grid(100, 70, true))));
  FakeModel m;
  ASSERT_EQ(Decode(m, f), ERES_OK);
  EXPECT_EQ(m.created, 1);
  EXPECT_EQ(m.vt, 100u);
  EXPECT_EQ(m.pt, 70u);
  EXPECT_EQ(m.texelmode, 1);
  EXPECT_EQ(m.vbatches, (std::vector<uint32_t>{85, 15}));
  EXPECT_EQ(m.pbatches, (std::vector<uint32_t>{64, 6}));
  EXPECT_EQ(m.tbatches, (std::vector<uint32_t>{85, 15}));
  // (1, 2, 3) -> (1, -3, 2); (i, 2i, -3i) -> (i, 3i, 2i)
  EXPECT_EQ(m.verts[0], (std::array<int32_t, 3>{1, -3, 2}));
  EXPECT_EQ(m.verts[99], (std::array<int32_t, 3>{99, 297, 198}));
  EXPECT_EQ(m.tris[0], (std::array<uint32_t, 4>{2, 1, 0, 0x00FFFFFF}));
  EXPECT_EQ(m.tris[69], (std::array<uint32_t, 4>{71, 70, 69, 0x00FFFFFF}));
  EXPECT_EQ(m.texels[50], (std::array<int32_t, 3>{128, 64, 1}));
}

TEST(Loader3DS, VersionChunkOptionalAndFirstObjectOnly) {
  Mesh a = Grid(3, 1, false), b = Grid(5, 2, true);
  const Bytes editor = Cat({Object("first", MeshChunk(a)), Object("second", MeshChunk(b))});
  for (bool version : {true, false}) {
    FakeModel m;
    ASSERT_EQ(Decode(m, File(editor, version)), 0) << version;
    EXPECT_EQ(m.vt, 3u);
    EXPECT_EQ(m.pt, 1u);
    EXPECT_EQ(m.verts.size(), 3u);
    EXPECT_TRUE(m.tbatches.empty());  // the first object has no mapping chunk
  }
  // A camera object first: no lists are found and the surface refuses the empty model.
  const Bytes camera = Chunk(0x4700, Bytes(32, 0));
  FakeModel m;
  m.refuse = 0;
  EXPECT_EQ(Decode(m, File(Cat({Object("cam", camera), Object("mesh", MeshChunk(a))}))), ERES_OK);
  EXPECT_EQ(m.vt, 0u);
  EXPECT_TRUE(m.vbatches.empty());
}

TEST(Loader3DS, RefusalsAndForeignData) {
  const Bytes f = File(Object("grid", MeshChunk(Grid(10, 4, true))));
  for (int refuse = 1; refuse <= 4; refuse++) {
    FakeModel m;
    m.refuse = refuse;
    EXPECT_EQ(Decode(m, f), 4 + refuse);
    EXPECT_EQ(m.vbatches.size(), refuse >= 2 ? 1u : 0u);
    EXPECT_EQ(m.pbatches.size(), refuse >= 3 ? 1u : 0u);
    EXPECT_EQ(m.tbatches.size(), refuse >= 4 ? 1u : 0u);
  }
  FakeModel m;
  Bytes bad = f;
  bad[0] = 0x4C;
  EXPECT_EQ(Decode(m, bad), ERES_NOTTHISFORMAT);
  EXPECT_EQ(Decode(m, Bytes{}), ERES_NOTTHISFORMAT);
  EXPECT_EQ(Decode(m, Bytes{0x4D}), ERES_NOTTHISFORMAT);
  EXPECT_EQ(m.created, 0);
}

TEST(Loader3DS, HostileChunkLengthsEndTheWalk) {
  // Lengths 0, 5 and one that wraps past 2^32 must not loop.
  for (uint32_t len : {0u, 5u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
    Bytes f = File(Object("grid", MeshChunk(Grid(4, 2, false))), false);
    // The editor chunk's length field sits at offset 8.
    f[8] = static_cast<uint8_t>(len);
    f[9] = static_cast<uint8_t>(len >> 8);
    f[10] = static_cast<uint8_t>(len >> 16);
    f[11] = static_cast<uint8_t>(len >> 24);
    FakeModel m;
    const int r = Decode(m, f);
    EXPECT_EQ(r, 0) << len;
    EXPECT_EQ(m.created, 1);
  }
  // A zero-length chunk deep inside the mesh.
  Bytes mesh = MeshChunk(Grid(4, 2, false));
  Bytes f = File(Object("o", Cat({Chunk(0x4100, Bytes{0x11, 0x41, 0, 0, 0, 0}), mesh})));
  FakeModel m;
  EXPECT_EQ(Decode(m, f), ERES_OK);
}

TEST(Loader3DS, TruncatedListsDeliverWholeRecordsOnly) {
  const Bytes f = File(Object("grid", MeshChunk(Grid(100, 70, true))));
  // Cut inside the vertex list: 40 whole vertices and a part of the 41st remain.
  size_t vstart = 0;
  while (!(f[vstart] == 0x10 && f[vstart + 1] == 0x41 && f[vstart + 6] == 100 && f[vstart + 7] == 0)) vstart++;
  Bytes cut(f.begin(), f.begin() + vstart + 8 + 40 * 12 + 5);
  FakeModel m;
  ASSERT_EQ(Decode(m, cut), ERES_OK);
  EXPECT_EQ(m.vt, 100u);
  EXPECT_EQ(m.verts.size(), 40u);
  EXPECT_TRUE(m.pbatches.empty());
  // Every prefix of the file loads without reading past it (checked by the sanitizer build).
  for (size_t n = 0; n < f.size(); n += 7) {
    Bytes p(f.begin(), f.begin() + n);
    FakeModel q;
    const int r = Decode(q, p);
    EXPECT_TRUE(r == 0 || r == 3) << n;
  }
}

// A cube written as OBJ, exported by assimp to 3DS, loaded into a 3D surface:
// every triangle must come back with the OBJ's corner positions (as (x, -z, y),
// in reversed order).
TEST(Loader3DS, AssimpExportedCube) {
  if (!zt::HaveTool("assimp")) GTEST_SKIP() << "assimp (assimp-utils) not installed";
  const std::string dir = zt::TempDir("ldr_3ds_assimp");
  const int32_t pos[8][3] = {{-100, -100, -100}, {100, -100, -100}, {100, 100, -100}, {-100, 100, -100},
                             {-100, -100, 100},  {100, -100, 100},  {100, 100, 100},  {-100, 100, 100}};
  const int faces[12][3] = {{1, 2, 3}, {1, 3, 4}, {5, 7, 6}, {5, 8, 7}, {1, 5, 6}, {1, 6, 2},
                            {2, 6, 7}, {2, 7, 3}, {3, 7, 8}, {3, 8, 4}, {4, 8, 5}, {4, 5, 1}};
  {
    std::ofstream o(dir + "/cube.obj");
    for (auto& p : pos) o << "v " << p[0] << " " << p[1] << " " << p[2] << "\n";
    o << "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";
    for (auto& f : faces) o << "f " << f[0] << "/1 " << f[1] << "/2 " << f[2] << "/3\n";
  }
  ASSERT_EQ(zt::Run("cd '" + dir + "' && assimp export cube.obj cube.3ds >/dev/null 2>&1"), 0);
  Bytes file = zt::ReadFile(dir + "/cube.3ds");
  ASSERT_FALSE(file.empty());

  ldr::Context ctx;
  ASSERT_EQ(RegisterDisplayLoaders(&ctx.dsp), 1);
  E3DSurface model;
  model.LinkECD(&ctx.ecd);
  ASSERT_EQ(model.LoadModel(file.data(), static_cast<uint32_t>(file.size())), 0);
  ASSERT_EQ(model.PolygonsInUse(), 12u);
  {  // the same through the file form; a missing file gives 1
    ClassEFile::SetSyncOnClose(false);
    const std::string path = dir + "/cube.3ds";
    std::vector<uint16_t> name(path.begin(), path.end());
    name.push_back(0);
    E3DSurface byName;
    byName.LinkECD(&ctx.ecd);
    EXPECT_EQ(byName.LoadModel(name.data()), 0);
    EXPECT_EQ(byName.PolygonsInUse(), 12u);
    name[name.size() - 2] = 'x';
    EXPECT_EQ(byName.LoadModel(name.data()), 1);
    ClassEFile::SetSyncOnClose(true);
  }

  using Tri = std::array<std::array<int32_t, 3>, 3>;
  auto canon = [](Tri t) {  // same triangle whatever corner comes first
    auto r = std::min_element(t.begin(), t.end()) - t.begin();
    std::rotate(t.begin(), t.begin() + r, t.end());
    return t;
  };
  std::multiset<Tri> want, got;
  for (auto& f : faces) {
    Tri t;
    for (int k = 0; k < 3; k++) {
      const int32_t* p = pos[f[2 - k] - 1];
      t[k] = {p[0] * 256, -p[2] * 256, p[1] * 256};
    }
    want.insert(canon(t));
  }
  const EPOLYGON3D* polys = model.GetPolygonArray();
  for (uint32_t i = 0; i < 12; i++) {
    Tri t;
    for (int k = 0; k < 3; k++) t[k] = {polys[i].vertex[k]->pos.x, polys[i].vertex[k]->pos.y, polys[i].vertex[k]->pos.z};
    got.insert(canon(t));
  }
  EXPECT_EQ(got, want);
  // Mapping coordinates reach every corner with 8 fraction bits: 0 or 1.0 here.
  int ones = 0;
  for (uint32_t i = 0; i < 12; i++)
    for (int k = 0; k < 3; k++) {
      ones += polys[i].u[k] == 256;
      EXPECT_TRUE(polys[i].u[k] == 0 || polys[i].u[k] == 256) << i << " " << polys[i].u[k];
      EXPECT_TRUE(polys[i].v[k] == 0 || polys[i].v[k] == 256) << i << " " << polys[i].v[k];
    }
  EXPECT_GT(ones, 6);
  // Every cube corner has the average of its faces' normals: a diagonal.
  EVERTEX3D v;
  for (uint32_t i = 0; i < model.VerticesInUse(); i++) {
    model.GetVertex(&v, i);
    EXPECT_GT(std::abs(v.normal.x), 10000) << i;
    EXPECT_GT(std::abs(v.normal.y), 10000) << i;
    EXPECT_GT(std::abs(v.normal.z), 10000) << i;
  }
}

}  // namespace

namespace {

// Truncated and mutated models load into a real 3D surface or fail with a code.
TEST(Loader3DS, MutatedFilesFailCleanly) {
  ldr::Context ctx;
  ASSERT_EQ(RegisterDisplayLoaders(&ctx.dsp), 1);
  std::vector<Bytes> corpus = {File(Object("grid", MeshChunk(Grid(100, 70, true)))),
                               File(Cat({Object("a", MeshChunk(Grid(5, 3, true))), Object("b", MeshChunk(Grid(4, 2, false)))}), false)};
  ldr::Lcg rng(7);
  const ldr::Mutations plan{300, 5, 0, 0};
  for (const Bytes& file : corpus) {
    ldr::ForEachMutant(file, rng, plan, [&](Bytes& m, int round) {
      E3DSurface s;
      s.LinkECD(&ctx.ecd);
      const int r = s.LoadModel(m.data(), static_cast<uint32_t>(m.size()));
      EXPECT_TRUE(r >= ERES_OK && r <= ERES_NOTTHISFORMAT) << round << " gave " << r;
      if (r == 0) {
        EXPECT_LE(s.VerticesInUse(), 100u);
        s.SetLightSource(0, 0, 65536, 64, 64);
        s.Rotate(100, 200, 300);
        s.PrepareRender(320, 240, true);
      }
    });
  }
}

}  // namespace
