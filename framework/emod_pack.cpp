// Pack archives: detection and reading of EPK2 and EPCK packs.
#include <cstring>

#include "framework/emod_bytes.h"
#include "framework/emod_device.h"
#include "framework/emod_file.h"
#include "framework/emod_memory.h"
#include "framework/epk_format.h"

namespace {

// The check word over a header image (its check field taken as 0). Never more
// than the 28-byte image is hashed, whatever its header size field says.
uint32_t HeaderCheck(const uint8_t* image, uint32_t headerSize) {
  uint8_t tmp[28];
  std::memcpy(tmp, image, 28);
  EBytes_Put32(tmp + 20, 0);
  return EFile_QuickChecksum(tmp, headerSize < 28 ? headerSize : 28);
}

// A UTC entry time as local time, moved by the offset in effect at that time
// (winter and summer times of one pack differ), kept within 32 bits.
uint32_t LocalEntryTime(uint32_t t) {
  const int64_t v = static_cast<int64_t>(t) + ClassEDevice::LocalTimeOffset(t);
  if (v < 0) return 0;
  if (v > 0xFFFFFFFFll) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(v);
}

// Decodes a 92-byte on-disk record (or the first `size` bytes of one).
void RecordFromBytes(EPK_FILEINFO* info, const uint8_t* b) {
  info->recordsize = EBytes_Get32(b);
  std::memcpy(info->name, b + 4, 64);
  info->name[63] = 0;  // a name without its terminator is cut, never over-read
  info->dataoffset = EBytes_Get32(b + 68);
  info->unpackedsize = EBytes_Get32(b + 72);
  info->storedsize = EBytes_Get32(b + 76);
  info->method = b[80];
  info->reserved1 = b[81];
  info->reserved2 = EBytes_Get16(b + 82);
  info->created = EBytes_Get32(b + 84);
  info->modified = EBytes_Get32(b + 88);
}

}  // namespace

void ClassEFile::DetectPack() {
  packValid_ = 0;
  uint8_t b[32];
  if (!ReadAt(0, b, 4)) return;
  if (std::memcmp(b, "EPCK", 4) == 0) {
    if (ReadAt(0, b, 32) && std::memcmp(b, "EPCK", 4) == 0) {
      std::memset(packHeader_, 0, 28);
      std::memcpy(packHeader_, "EPCK", 4);
      std::memcpy(packHeader_ + 4, b + 4, 4);
      EBytes_Put32(packHeader_ + 8, kEpkHeaderSize);
      packHeader_[12] = kEpckVersion;
      // A count whose table cannot fit the file is not a pack (it would only
      // make callers walk millions of missing entries).
      if (EBytes_Get32(b + 16) > (Size() - kEpckTableStart) / kEpckEntrySize) return;
      EBytes_Put32(packHeader_ + 16, EBytes_Get32(b + 16));
      EBytes_Put32(packHeader_ + 20, HeaderCheck(packHeader_, 28));
      packValid_ = 1;
    }
    return;
  }
  if (!ReadAt(0, b, 12) || std::memcmp(b, "EPK2", 4) != 0) return;
  uint8_t image[28] = {'E', 'P', 'K', '2'};
  std::memcpy(image + 4, kEpkDefaultVendor, 4);
  EBytes_Put32(image + 8, kEpkHeaderSize);
  image[12] = kEpkVersion;
  if (!ReadAt(0, image, 28)) return;
  const uint32_t stored = EBytes_Get32(image + 20);
  EBytes_Put32(image + 20, 0);
  if (HeaderCheck(image, EBytes_Get32(image + 8)) != stored) return;
  if (EBytes_Get32(image + 16) > (Size() - kEpkHeaderSize) / (kEpkRecordSize + 4)) return;
  EBytes_Put32(image + 20, HeaderCheck(image, 28));
  std::memcpy(packHeader_, image, 28);
  packValid_ = 1;
}

uint32_t ClassEFile::PackContainFiles() const {
  return PackValid() ? EBytes_Get32(packHeader_ + 16) : 0;
}

bool ClassEFile::PackGetVendor(char* out) const {
  if (!out || !PackValid()) return false;
  std::memcpy(out, packHeader_ + 4, 4);
  out[4] = 0;
  return true;
}
bool ClassEFile::PackGetVendor(uint16_t* out) const {
  if (!out || !PackValid()) return false;
  for (int i = 0; i < 4; i++) out[i] = packHeader_[4 + i];
  out[4] = 0;
  return true;
}

bool ClassEFile::PackGetFileInfo(EPK_FILEINFO* info, uint32_t n, bool local) {
  if (!info || !PackValid()) return false;
  const uint32_t count = PackContainFiles();
  if (n >= count) return false;
  std::memset(info, 0, sizeof *info);
  info->recordsize = kEpkRecordSize;
  if (packHeader_[12] >= 200) {
    const uint32_t size = Size();
    const uint64_t back = 4ull * (count - n);
    if (back > size) return false;
    uint8_t w[4];
    if (!ReadAt(static_cast<uint32_t>(size - back), w, 4)) return false;
    const uint32_t at = EBytes_Get32(w);
    if (!ReadAt(at, w, 4)) return false;
    const uint32_t recordSize = EBytes_Get32(w);
    // Too short to hold the fields, or not ending before the file does.
    if (recordSize < kEpkRecordSize || static_cast<uint64_t>(at) + recordSize > size) return false;
    uint8_t rec[92];
    if (!ReadAt(at, rec, 92)) return false;  // a longer record: only its first 92 bytes
    RecordFromBytes(info, rec);
    info->dataoffset = at + recordSize;
  } else {
    uint8_t e[kEpckEntrySize];
    if (!ReadAt(kEpckTableStart + kEpckEntrySize * n, e, kEpckEntrySize)) return false;
    char name[129];
    std::memcpy(name, e, 128);
    name[128] = 0;
    EFile_CheckStoreName(info->name, name);
    info->dataoffset = EBytes_Get32(e + 128);
    info->unpackedsize = EBytes_Get32(e + 132);
    info->storedsize = EBytes_Get32(e + 136);
    info->method = e[140];
  }
  if (local) {
    info->created = LocalEntryTime(info->created);
    info->modified = LocalEntryTime(info->modified);
  }
  return true;
}

bool ClassEFile::PackSearchFile(const char* name, uint32_t& number) {
  if (!name || !PackValid()) return false;
  char want[64];
  EFile_CheckStoreName(want, name);
  const uint32_t count = PackContainFiles();
  for (uint32_t i = 0; i < count; i++) {
    if (packIndex_) {
      if (ClassEStd::StrEqual(want, packIndex_ + 64ull * i, false)) {
        number = i;
        return true;
      }
      continue;
    }
    EPK_FILEINFO info;
    if (!PackGetFileInfo(&info, i, true)) continue;
    if (ClassEStd::StrEqual(want, info.name, false)) {
      number = i;
      return true;
    }
  }
  return false;
}
bool ClassEFile::PackSearchFile(const uint16_t* name, uint32_t& number) {
  if (!name) return false;
  char want[64];
  EFile_CheckStoreName(want, name);
  return PackSearchFile(want, number);
}

bool ClassEFile::PackGetFileInfo(EPK_FILEINFO* info, const char* name, bool local) {
  uint32_t n;
  return PackSearchFile(name, n) && PackGetFileInfo(info, n, local);
}
bool ClassEFile::PackGetFileInfo(EPK_FILEINFO* info, const uint16_t* name, bool local) {
  uint32_t n;
  return PackSearchFile(name, n) && PackGetFileInfo(info, n, local);
}

char* ClassEFile::PackBuildIndex() {
  const uint32_t count = PackContainFiles();
  if (count == 0 || count > 0xFFFFFFFFu / 64) return nullptr;
  char* index = static_cast<char*>(ClassEMemory::Alloc(count * 64));
  if (!index) return nullptr;
  std::memset(index, 0, count * 64);
  packIndex_ = nullptr;  // read the records themselves, not an older index
  for (uint32_t i = 0; i < count; i++) {
    EPK_FILEINFO info;
    if (PackGetFileInfo(&info, i, false)) std::memcpy(index + 64ull * i, info.name, 64);
  }
  packIndex_ = index;
  return index;
}

int ClassEFile::PackGetFileData(void*& data, uint32_t& length, uint32_t n) {
  data = nullptr;
  length = 0;
  if (!PackValid()) return 5;
  EPK_FILEINFO info;
  if (!PackGetFileInfo(&info, n, true)) return 7;
  if (info.unpackedsize == 0) return 0;
  const uint32_t size = Size();
  if (info.method > 2) return 8;
  // A stream cannot expand beyond these ratios (LZW: 191 bytes per 9-bit code;
  // zlib: 1032:1); a record claiming more is corrupt and would only make us
  // allocate for nothing.
  if (info.method == 1 && info.unpackedsize / 170 > info.storedsize) return 8;
  if (info.method == 2 && info.unpackedsize / 1032 > info.storedsize) return 8;
  const uint32_t toRead = info.method == 0 ? info.unpackedsize : info.storedsize;
  if (info.dataoffset > size || toRead > size - info.dataoffset) return 1;  // truncated entry
  if (info.method == 0) {
    void* block = ClassEMemory::Alloc(info.unpackedsize);
    if (!block) return 2;
    if (!ReadAt(info.dataoffset, block, info.unpackedsize)) {
      ClassEMemory::DeAlloc(block);
      return 1;
    }
    data = block;
    length = info.unpackedsize;
    return 0;
  }
  if (info.storedsize == 0) return 8;
  void* stored = ClassEMemory::Alloc(info.storedsize);
  if (!stored) return 2;
  if (!ReadAt(info.dataoffset, stored, info.storedsize)) {
    ClassEMemory::DeAlloc(stored);
    return 1;
  }
  void* out = ClassEMemory::Alloc(info.unpackedsize);
  if (!out) {
    ClassEMemory::DeAlloc(stored);
    return 2;
  }
  uint32_t produced = info.unpackedsize;
  bool ok;
  if (info.method == 1) {
    ClassEMemory codec;
    ok = codec.UnCompress(out, produced, stored, info.storedsize);
  } else {
    ok = ClassEMemory::UnCompressZLib(out, produced, stored, info.storedsize);
  }
  ClassEMemory::DeAlloc(stored);
  // A stream that decodes to another length than the record says is corrupt.
  if (!ok || produced != info.unpackedsize) {
    ClassEMemory::DeAlloc(out);
    return 8;
  }
  data = out;
  length = produced;
  return 0;
}

int ClassEFile::PackGetFileData(void*& data, uint32_t& length, const char* name) {
  data = nullptr;
  length = 0;
  if (!PackValid()) return 5;
  uint32_t n;
  if (!PackSearchFile(name, n)) return 7;
  return PackGetFileData(data, length, n);
}
int ClassEFile::PackGetFileData(void*& data, uint32_t& length, const uint16_t* name) {
  data = nullptr;
  length = 0;
  if (!PackValid()) return 5;
  uint32_t n;
  if (!PackSearchFile(name, n)) return 7;
  return PackGetFileData(data, length, n);
}
