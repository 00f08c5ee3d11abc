#include "framework/emod_ini.h"

ClassEIni::ClassEIni() = default;
ClassEIni::~ClassEIni() = default;
