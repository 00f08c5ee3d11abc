// Loader interface and registration.
#ifndef ZARN_LOADERS_ELDR_BASE_H
#define ZARN_LOADERS_ELDR_BASE_H

#include <cstdint>

class ClassEDisplay;

class ClassELoaderBase {
 public:
  virtual ~ClassELoaderBase();
};

// Registers the image and model loaders in the display's slots.
int RegisterDisplayLoaders(ClassEDisplay* display);

#endif
