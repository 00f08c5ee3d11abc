// Software 3D mesh: fixed-point vertices and triangles with one directional
// light, perspective projection, back-face culling and a depth sort. It is drawn
// onto an E2DSurface by the surface's Render.
//
// Positions are 24.8 (a model unit is 256), unit vectors and scales 16.16,
// angles 4096 steps per turn, projected points 16.16 pixels.
#ifndef ZARN_DISPLAY_ESURF_3D_H
#define ZARN_DISPLAY_ESURF_3D_H

#include <cstdint>

#include "framework/zarn_types.h"
#include "loaders/eldr_base.h"

class E2DSurface;

struct EVECTOR3D {
  int32_t x, y, z;
};

struct EVERTEX3D {
  EVECTOR3D normal;    // base normal, 16.16
  EVECTOR3D cnormal;   // current normal
  EVECTOR3D pos;       // base position, 24.8
  EVECTOR3D cpos;      // current position
  int32_t light;       // intensity 0..256
  int32_t px, py;      // projected, 16.16 pixels
  uint32_t color;      // scratch for the renderer (Gouraud corner colour)
};

struct EPOLYGON3D {
  E2DSurface* texture;
  uint8_t texslot;     // 0 = none, else slot + 1
  uint8_t reserved[3];
  int32_t u[3];
  int32_t v[3];
  EVERTEX3D* vertex[3];
  EVECTOR3D normal;    // base normal, 16.16
  EVECTOR3D cnormal;   // current normal
  uint32_t color;      // 0x00BBGGRR
  uint32_t litcolor;   // written by PrepareRender
  int32_t depth;       // sort key
};

class E3DSurface {
 public:
  E3DSurface();
  ~E3DSurface();
  E3DSurface(const E3DSurface&) = delete;
  E3DSurface& operator=(const E3DSurface&) = delete;

  void LinkECD(ECD* ecd) { ecd_ = ecd; }
  int Create(uint32_t vertices, uint32_t polygons);
  void Free();
  bool IsCreated() const { return polycap_ != 0; }

  void SetVertex(uint32_t i, int32_t x, int32_t y, int32_t z);
  void GetVertex(EVERTEX3D* out, uint32_t i) const;
  void SetPolygon(uint32_t i, uint32_t v0, uint32_t v1, uint32_t v2, uint32_t colour);
  void SetPolygon(uint32_t i, int32_t x0, int32_t y0, int32_t z0, int32_t x1, int32_t y1, int32_t z1,
                  int32_t x2, int32_t y2, int32_t z2, uint32_t colour);
  void SetColor(uint32_t i, uint32_t colour);
  void SetColor(uint32_t colour);
  void StartList() { listmode_ = 1; }
  void EndList();
  uint32_t VerticesInUse() const;
  uint32_t PolygonsInUse() const;

  void BindTexture(E2DSurface* t);
  void BindTexture(uint32_t slot, E2DSurface* t);
  void BindTexture(uint32_t i, int32_t u0, int32_t v0, int32_t u1, int32_t v1, int32_t u2, int32_t v2,
                   E2DSurface* t);

  void Translate(int32_t dx, int32_t dy, int32_t dz);
  void Rotate(int32_t ax, int32_t ay, int32_t az);
  void Scale(int32_t sx, int32_t sy, int32_t sz);
  void Reset();

  void SetLightSource(int32_t x, int32_t y, int32_t z, uint32_t ambient, uint32_t strength);
  void VertexLighting();
  uint32_t CalculateColor(uint32_t i, uint32_t colour) const;
  void Perspective(uint32_t w, uint32_t h);
  int32_t GetPerspective(const EVECTOR3D* v, tagPOINT* p) const;
  uint32_t PrepareRender(uint32_t w, uint32_t h, bool cull);
  void SortPolygons(uint32_t n);
  void PolygonNormals();

  static int32_t DotProduct(const EVECTOR3D* a, const EVECTOR3D* b);
  static void CrossProduct(EVECTOR3D* out, const EVECTOR3D* a, const EVECTOR3D* b);
  static void Normalize(EVECTOR3D* v);
  static void RetrieveNormal(EVECTOR3D* out, const EVECTOR3D* a, const EVECTOR3D* b, const EVECTOR3D* c);

  int LoadModel(void* data, uint32_t length);
  // Reads the whole file and loads it; 1 when it cannot be read or is empty.
  int LoadModel(const uint16_t* name);

  // Loader callbacks.
  int LdrOnCreate(ELDR_3DCALLBACKINFO* info);
  int LdrOnVertexStream(ELDR_3DCALLBACKINFO* info);
  int LdrOnPolygonStream(ELDR_3DCALLBACKINFO* info);
  int LdrOnTexelStream(ELDR_3DCALLBACKINFO* info);

  // What the renderer reads after PrepareRender.
  EPOLYGON3D** GetDrawList() const { return sorted_; }
  EPOLYGON3D* GetPolygonArray() const { return polygons_; }
  EVERTEX3D* GetVertexArray() const { return vertices_; }
  uint32_t GetPolygonCapacity() const { return polycap_; }
  uint32_t GetVertexCapacity() const { return vertcap_; }
  // The light applied to a colour: each channel times intensity / 256.
  static uint32_t LightColor(uint32_t colour, int32_t intensity);

 private:
  int32_t Intensity(const EVECTOR3D* n) const;
  uint32_t RenderSize() const;
  void ComputeNormal(EPOLYGON3D* p);
  void Project(uint32_t w, uint32_t h);

  ECD* ecd_ = nullptr;
  uint8_t* vmark_ = nullptr;
  uint8_t* pmark_ = nullptr;
  EVERTEX3D* vertices_ = nullptr;
  EPOLYGON3D* polygons_ = nullptr;
  EPOLYGON3D** drawlist_ = nullptr;
  EPOLYGON3D** sorted_ = nullptr;
  EVECTOR3D lightdir_ = {0, 0, 0};
  uint32_t polycap_ = 0;
  uint32_t vertcap_ = 0;
  uint32_t polyinuse_ = 0;
  uint32_t vertinuse_ = 0;
  uint32_t ambient_ = 64;
  uint32_t strength_ = 64;
  uint8_t listmode_ = 0;
  void* blocks_[6] = {};  // the tracked blocks behind the six arrays

  friend class E2DSurface;
};

#endif
