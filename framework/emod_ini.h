// Key = value text files.
#ifndef ZARN_FRAMEWORK_EMOD_INI_H
#define ZARN_FRAMEWORK_EMOD_INI_H

#include <cstdint>

class ClassEIni {
 public:
  ClassEIni();
  ~ClassEIni();
};

#endif
