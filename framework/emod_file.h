// Files, folders and pack archives.
#ifndef ZARN_FRAMEWORK_EMOD_FILE_H
#define ZARN_FRAMEWORK_EMOD_FILE_H

#include <cstdint>

class ClassEFile {
 public:
  ClassEFile();
  ~ClassEFile();
};

#endif
