// Pack archives (both formats) from a file: the header, every entry's record
// and every entry's data.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "framework/emod_file.h"
#include "framework/emod_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  static const std::string path = "/tmp/zarn-fuzz-pack-" + std::to_string(getpid()) + ".epk";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  ClassEFile file;
  if (file.Open(path.c_str(), EFILE_READ) && file.PackValid()) {
    char vendor[64] = {};
    file.PackGetVendor(vendor);
    char* index = file.PackBuildIndex();
    file.PackUseIndex(index);
    const uint32_t n = file.PackContainFiles();
    for (uint32_t i = 0; i < n && i < 64; i++) {
      EPK_FILEINFO info;
      file.PackGetFileInfo(&info, i);
      void* entry = nullptr;
      uint32_t length = 0;
      if (file.PackGetFileData(entry, length, i) == 0) ClassEMemory::DeAlloc(entry);
    }
    uint32_t number = 0;
    file.PackSearchFile("title.png", number);
    file.Close();
    ClassEMemory::DeAlloc(index);
  }
  file.Close();
  std::remove(path.c_str());
  return 0;
}
