// Key = value text from memory: every line, and key and value look-ups.
#include <cstdint>

#include "framework/emod_ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 16)) return 0;
  ClassEIni ini;
  if (!ini.OpenData(data, static_cast<uint32_t>(size))) return 0;
  char key[ClassEIni::kTextSize], value[ClassEIni::kTextSize];
  for (int lines = 0; lines < 4096 && ini.ReadLine(key, value); lines++) {
  }
  ini.FindKey("name", value);
  char wanted[ClassEIni::kTextSize] = {};
  ini.FindValue(wanted, "1", true);
  ini.Close();
  return 0;
}
