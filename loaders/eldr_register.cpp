// The built-in loaders and their registration with the display. Apart from the
// loader interface (eldr_base), which the display builds on.
#include "display/edsp_base.h"
#include "loaders/eldr_3ds.h"
#include "loaders/eldr_base.h"
#include "loaders/eldr_bmp.h"
#include "loaders/eldr_gif.h"
#include "loaders/eldr_jpg.h"
#include "loaders/eldr_png.h"
#include "loaders/eldr_tga.h"

int RegisterDisplayLoaders(ClassEDisplay* display) {
  if (!display) return 0;
  // Slot order is priority: formats with a magic number first.
  ClassELoaderBase* (*const makers[])() = {
      [] { return static_cast<ClassELoaderBase*>(new ELoader_BMP); },
      [] { return static_cast<ClassELoaderBase*>(new ELoader_GIF); },
      [] { return static_cast<ClassELoaderBase*>(new ELoader_PNG); },
      [] { return static_cast<ClassELoaderBase*>(new ELoader_JPG); },
      // TGA has no magic number: it comes after every format that has one.
      [] { return static_cast<ClassELoaderBase*>(new ELoader_TGA); },
      [] { return static_cast<ClassELoaderBase*>(new ELoader_3DS); },
  };
  for (auto make : makers) {
    ClassELoaderBase* l = make();
    if (!display->RegisterLoader(l)) {
      delete l;
      return 0;
    }
  }
  return 1;
}
