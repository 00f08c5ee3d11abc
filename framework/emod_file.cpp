#include "framework/emod_file.h"

ClassEFile::ClassEFile() = default;
ClassEFile::~ClassEFile() = default;
