// Writing a surface as a 24-bit bitmap file.
#include "display/esurf_2d.h"
#include "framework/emod_file.h"
#include "loaders/eldr_bmp.h"

namespace {

void WriteRect(E2DSurface* s, ClassEFile& file, bool created, const tagRECT* rect) {
  if (!created) return;
  ELoader_BMP writer;
  writer.WriteHeader(&file, static_cast<uint32_t>(rect->right - rect->left),
                     static_cast<uint32_t>(rect->bottom - rect->top));
  writer.WritePixelData(&file, s, rect);
  file.Close();
}

// The rectangle to write (null: the whole surface); false when nothing is to be written.
bool Prepare(const E2DSurface* s, const tagRECT* rect, tagRECT* out) {
  if (!s->IsCreated() || !s->GetBuffer()) return false;
  if (rect)
    *out = *rect;
  else
    *out = {0, 0, static_cast<int32_t>(s->GetWidth()), static_cast<int32_t>(s->GetHeight())};
  // An empty or inverted rectangle would make a header of a huge picture.
  return out->right > out->left && out->bottom > out->top;
}

}  // namespace

void E2DSurface::WriteBmp(const uint16_t* name, const tagRECT* rect) {
  tagRECT r;
  if (!name || !Prepare(this, rect, &r)) return;
  ClassEFile file;
  WriteRect(this, file, file.New(name), &r);
}

void E2DSurface::WriteBmp(const char* name, const tagRECT* rect) {
  tagRECT r;
  if (!name || !Prepare(this, rect, &r)) return;
  ClassEFile file;
  WriteRect(this, file, file.New(name), &r);
}
