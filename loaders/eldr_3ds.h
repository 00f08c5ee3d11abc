// 3D Studio mesh loader: the first object's vertices, triangles and mapping
// coordinates, as whole-unit fixed point.
#ifndef ZARN_LOADERS_ELDR_3DS_H
#define ZARN_LOADERS_ELDR_3DS_H

#include <cstring>

#include "loaders/eldr_base.h"

struct ELDR_3DSOBJECT {
  char name[31];
  uint16_t vertices;
  uint16_t faces;
  uint32_t vertexdata;   // file offsets of the lists (after their counts), 0 = none
  uint32_t facedata;
  uint32_t mapdata;
};

class ELoader_3DS : public ClassELoaderBase {
 public:
  using ClassELoaderBase::Start;
  int Start(E3DSurface* surface, void* data, uint32_t length) override;

  // Any target with the four model callbacks of E3DSurface.
  template <class Target>
  int Decode(Target* target, void* data, uint32_t length);

  void LoadObjectData(ELDR_3DSOBJECT* record);
  void LoadObjectInfo(ELDR_3DSOBJECT* record);
  void LoadObjectMeshInfo(ELDR_3DSOBJECT* record);

 private:
  // Reads one chunk header; false at the end of the data or for a length that
  // cannot hold its own header (such a chunk ends the walk).
  bool ChunkHeader(uint32_t* start, uint16_t* id, uint32_t* length);
  int Scan(void* data, uint32_t length);
  // Records of a list that lie wholly inside the file.
  uint32_t Records(uint32_t offset, uint32_t count, uint32_t size) const;
  void Vertices(uint8_t* out, uint32_t first, uint32_t n) const;
  void Faces(uint8_t* out, uint32_t first, uint32_t n) const;
  void Texels(uint8_t* out, uint32_t first, uint32_t n) const;

  ELDR_3DSOBJECT objects_[32];
};

template <class Target>
int ELoader_3DS::Decode(Target* target, void* data, uint32_t length) {
  int r = Scan(data, length);
  if (r) return r;
  const ELDR_3DSOBJECT& obj = objects_[0];
  ELDR_3DCALLBACKINFO info;
  std::memset(&info, 0, sizeof info);
  info.texelmode = 1;
  info.vertextotal = obj.vertices;
  info.polygontotal = obj.faces;
  r = target->LdrOnCreate(&info);
  if (r) return r;

  uint8_t buf[1024];
  const uint32_t nv = Records(obj.vertexdata, obj.vertices, 12);
  for (uint32_t done = 0; done < nv;) {
    const uint32_t batch = nv - done < 85 ? nv - done : 85;
    Vertices(buf, done, batch);
    info.data = buf;
    info.bytecount = 12 * batch;
    if ((r = target->LdrOnVertexStream(&info)) != 0) return r;
    done += batch;
  }
  const uint32_t nf = Records(obj.facedata, obj.faces, 8);
  for (uint32_t done = 0; done < nf;) {
    const uint32_t batch = nf - done < 64 ? nf - done : 64;
    Faces(buf, done, batch);
    info.data = buf;
    info.bytecount = 16 * batch;
    if ((r = target->LdrOnPolygonStream(&info)) != 0) return r;
    done += batch;
  }
  const uint32_t nm = Records(obj.mapdata, obj.vertices, 8);
  for (uint32_t done = 0; done < nm;) {
    const uint32_t batch = nm - done < 85 ? nm - done : 85;
    Texels(buf, done, batch);
    info.data = buf;
    info.bytecount = 12 * batch;
    if ((r = target->LdrOnTexelStream(&info)) != 0) return r;
    done += batch;
  }
  return ERES_OK;
}

#endif
