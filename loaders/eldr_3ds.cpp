#include "loaders/eldr_3ds.h"

#include <cstring>

#include "display/esurf_3d.h"
#include "framework/emod_bytes.h"
#include "framework/emod_math.h"

namespace {

constexpr uint16_t kMain = 0x4D4D;
constexpr uint16_t kEditor = 0x3D3D;
constexpr uint16_t kObject = 0x4000;
constexpr uint16_t kMesh = 0x4100;
constexpr uint16_t kVertices = 0x4110;
constexpr uint16_t kFaces = 0x4120;
constexpr uint16_t kMapping = 0x4140;
}  // namespace

bool ELoader_3DS::ChunkHeader(uint32_t* start, uint16_t* id, uint32_t* length) {
  *start = Tell();
  if (!Read16(id) || !Read32(length)) return false;
  // A length below the header size would never move the walk forward.
  if (*length < 6) {
    SeekSet(Size());
    return false;
  }
  return true;
}

void ELoader_3DS::LoadObjectData(ELDR_3DSOBJECT* record) {
  uint32_t start, length;
  uint16_t id;
  while (HaveData() && ChunkHeader(&start, &id, &length)) {
    if (id == kObject) {
      uint32_t n = 0;
      uint8_t c = 0;
      while (Read8(&c) && c != 0)
        if (n < 30) record->name[n++] = static_cast<char>(c);
      record->name[n] = 0;
      LoadObjectInfo(record);
      return;
    }
    SeekSet(start + length > start ? start + length : Size());
  }
}

void ELoader_3DS::LoadObjectInfo(ELDR_3DSOBJECT* record) {
  uint32_t start, length;
  uint16_t id;
  while (HaveData() && ChunkHeader(&start, &id, &length)) {
    if (id == kMesh) LoadObjectMeshInfo(record);
    SeekSet(start + length > start ? start + length : Size());
  }
}

void ELoader_3DS::LoadObjectMeshInfo(ELDR_3DSOBJECT* record) {
  uint32_t start, length;
  uint16_t id;
  while (HaveData() && ChunkHeader(&start, &id, &length)) {
    uint16_t count = 0;
    if (id == kVertices) {
      if (Read16(&count)) {
        record->vertices = count;
        record->vertexdata = Tell();
      }
    } else if (id == kFaces) {
      if (Read16(&count)) {
        record->faces = count;
        record->facedata = Tell();
      }
    } else if (id == kMapping) {
      if (Read16(&count)) record->mapdata = Tell();
    }
    SeekSet(start + length > start ? start + length : Size());
  }
}

int ELoader_3DS::Start(E3DSurface* surface, void* data, uint32_t length) {
  if (!surface || !data) return ERES_NOTTHISFORMAT;
  return Decode(surface, data, length);
}

int ELoader_3DS::Scan(void* data, uint32_t length) {
  LinkData(data, length);
  SetByteOrder(false);
  uint16_t id = 0;
  uint32_t mainlength = 0;
  if (!Read16(&id) || id != kMain) return ERES_NOTTHISFORMAT;
  Read32(&mainlength);

  // The main chunk's children follow its header; a version chunk among them is
  // stepped over like any other.
  std::memset(objects_, 0, sizeof objects_);
  uint32_t start, chunklength;
  while (HaveData() && ChunkHeader(&start, &id, &chunklength)) {
    if (id == kEditor) LoadObjectData(&objects_[0]);
    SeekSet(start + chunklength > start ? start + chunklength : Size());
  }
  return ERES_OK;
}

uint32_t ELoader_3DS::Records(uint32_t offset, uint32_t count, uint32_t size) const {
  if (!offset) return 0;
  const uint32_t room = offset < Size() ? (Size() - offset) / size : 0;
  return count < room ? count : room;
}

void ELoader_3DS::Vertices(uint8_t* out, uint32_t first, uint32_t n) const {
  const uint8_t* src = data_ + objects_[0].vertexdata + 12 * first;
  for (uint32_t k = 0; k < n; k++) {
    const int32_t x = ClassEMath::FloatToFixed(EBytes_Get32(src + 12 * k), 0);
    const int32_t y = ClassEMath::FloatToFixed(EBytes_Get32(src + 12 * k + 4), 0);
    const int32_t z = ClassEMath::FloatToFixed(EBytes_Get32(src + 12 * k + 8), 0);
    const int32_t rec[3] = {x, static_cast<int32_t>(0u - static_cast<uint32_t>(z)), y};
    std::memcpy(out + 12 * k, rec, 12);
  }
}

void ELoader_3DS::Faces(uint8_t* out, uint32_t first, uint32_t n) const {
  const uint8_t* src = data_ + objects_[0].facedata + 8 * first;
  for (uint32_t k = 0; k < n; k++) {
    const uint32_t rec[4] = {EBytes_Get16(src + 8 * k + 4), EBytes_Get16(src + 8 * k + 2),
                             EBytes_Get16(src + 8 * k), 0x00FFFFFFu};
    std::memcpy(out + 16 * k, rec, 16);
  }
}

void ELoader_3DS::Texels(uint8_t* out, uint32_t first, uint32_t n) const {
  const uint8_t* src = data_ + objects_[0].mapdata + 8 * first;
  for (uint32_t k = 0; k < n; k++) {
    const int32_t rec[3] = {ClassEMath::FloatToFixed(EBytes_Get32(src + 8 * k), 8),
                            ClassEMath::FloatToFixed(EBytes_Get32(src + 8 * k + 4), 8), 1};
    std::memcpy(out + 12 * k, rec, 12);
  }
}
