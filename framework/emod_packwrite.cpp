// Pack archives: the in-place EPK2 writer.
#include <cstring>

#include "framework/emod_bytes.h"
#include "framework/emod_device.h"
#include "framework/emod_file.h"
#include "framework/emod_memory.h"
#include "framework/epk_format.h"

namespace {

void RecordToBytes(uint8_t* b, const EPK_FILEINFO& r) {
  std::memset(b, 0, kEpkRecordSize);
  EBytes_Put32(b, kEpkRecordSize);
  std::memcpy(b + 4, r.name, 64);
  b[4 + 63] = 0;
  EBytes_Put32(b + 68, 0);
  EBytes_Put32(b + 72, r.unpackedsize);
  EBytes_Put32(b + 76, r.storedsize);
  b[80] = r.method;
  EBytes_Put32(b + 84, r.created);
  EBytes_Put32(b + 88, r.modified);
}

// Vendor tag from up to four characters (fewer are padded with zeros).
template <class T>
void TagOf(uint8_t out[4], const T* tag) {
  std::memset(out, 0, 4);
  if (!tag) {
    std::memcpy(out, kEpkDefaultVendor, 4);
    return;
  }
  for (int i = 0; i < 4 && tag[i]; i++) out[i] = static_cast<uint8_t>(ClassEStd::U(tag[i]) & 0xFF);
}

// What an entry stores: the data compressed when that pays by more than 4
// bytes, else as it is. packed is the caller's to free.
struct StoredData {
  const uint8_t* bytes;
  uint32_t size;
  uint8_t method;
  uint8_t* packed;
};

StoredData ChooseStorage(const void* data, uint32_t length, uint8_t method) {
  StoredData s = {static_cast<const uint8_t*>(data), length, 0, nullptr};
  if (length < 5 || (method != 1 && method != 2)) return s;
  const uint64_t cap = static_cast<uint64_t>(length) + length / 100 + 12;
  if (cap <= 0xFFFFFFFFu) s.packed = static_cast<uint8_t*>(ClassEMemory::Alloc(static_cast<uint32_t>(cap)));
  if (!s.packed) return s;
  uint32_t produced = static_cast<uint32_t>(cap);
  bool ok;
  if (method == 1) {
    ClassEMemory codec;
    ok = codec.Compress(s.packed, produced, data, length);
  } else {
    ok = ClassEMemory::CompressZLib(s.packed, produced, data, length);
  }
  if (ok && produced < length - 4) {
    s.bytes = s.packed;
    s.size = produced;
    s.method = method;
  }
  return s;
}

}  // namespace

void ClassEFile::BuildHeader(uint8_t* h, const uint8_t vendor[4], uint32_t count) const {
  std::memset(h, 0, kEpkHeaderSize);
  std::memcpy(h, "EPK2", 4);
  std::memcpy(h + 4, vendor, 4);
  EBytes_Put32(h + 8, kEpkHeaderSize);
  h[12] = kEpkVersion;
  EBytes_Put32(h + 16, count);
  EBytes_Put32(h + 20, EFile_QuickChecksum(h, kEpkHeaderSize));
}

bool ClassEFile::WriteHeader(uint32_t count) {
  uint8_t h[28];
  BuildHeader(h, packHeader_ + 4, count);
  if (!WriteAt(0, h, 28)) return false;
  std::memcpy(packHeader_, h, 28);
  return true;
}

// Reads the index table and appends the index start, so that element i + 1 is
// where entry i ends. The elements must rise through the data area and leave
// room for a record each: a table out of order or pointing outside the file is
// refused (1) instead of driving huge moves.
int ClassEFile::ReadTable(uint32_t*& table, uint32_t& indexStart) {
  table = nullptr;
  const uint32_t count = PackContainFiles();
  const uint32_t size = Size();
  const uint64_t tableBytes = 4ull * count;
  const uint32_t headerSize = EBytes_Get32(packHeader_ + 8);
  if (tableBytes > size || size - tableBytes < headerSize || headerSize < kEpkHeaderSize) return 1;
  indexStart = static_cast<uint32_t>(size - tableBytes);
  table = static_cast<uint32_t*>(ClassEMemory::Alloc((count + 1) * 4));
  if (!table) return 2;
  uint8_t* raw = count ? static_cast<uint8_t*>(ClassEMemory::Alloc(count * 4)) : nullptr;
  if (count && !raw) {
    ClassEMemory::DeAlloc(table);
    table = nullptr;
    return 2;
  }
  if (count && !ReadAt(indexStart, raw, count * 4)) {
    ClassEMemory::DeAlloc(raw);
    ClassEMemory::DeAlloc(table);
    table = nullptr;
    return 1;
  }
  for (uint32_t i = 0; i < count; i++) table[i] = EBytes_Get32(raw + 4 * i);
  ClassEMemory::DeAlloc(raw);
  bool ok = true;
  for (uint32_t i = 0; i < count && ok; i++) {
    const uint32_t next = i + 1 < count ? table[i + 1] : indexStart;
    if (table[i] < headerSize || next < table[i] || next - table[i] < kEpkRecordSize ||
        next > indexStart)
      ok = false;
  }
  if (!ok) {
    ClassEMemory::DeAlloc(table);
    table = nullptr;
    return 1;
  }
  table[count] = indexStart;
  return 0;
}

// A header size other than 28: move the entries down behind a 28-byte header.
int ClassEFile::NormaliseHeader(uint32_t* table, uint32_t& indexStart) {
  const uint32_t headerSize = EBytes_Get32(packHeader_ + 8);
  if (headerSize == kEpkHeaderSize) return 0;
  const uint32_t delta = headerSize - kEpkHeaderSize;  // ReadTable ensured headerSize > 28
  if (!MoveData(kEpkHeaderSize, headerSize, indexStart - headerSize, kEpkMoveChunk)) return 1;
  const uint32_t count = PackContainFiles();
  for (uint32_t i = 0; i <= count; i++) table[i] -= delta;
  indexStart -= delta;
  EBytes_Put32(packHeader_ + 8, kEpkHeaderSize);
  return 0;
}

int ClassEFile::PackNew(const char* name, const char* vendor) {
  Close();
  if (!name) return 1;
  if (Exists(name)) return 9;
  if (!New(name)) return 1;
  uint8_t tag[4];
  TagOf(tag, vendor);
  uint8_t h[28];
  BuildHeader(h, tag, 0);
  if (!WriteAt(0, h, 28)) {
    Close();
    return 1;
  }
  std::fflush(stream_);
  std::memcpy(packHeader_, h, 28);
  packValid_ = 1;
  Seek(0);
  return 0;
}

int ClassEFile::PackNew(const uint16_t* name, const uint16_t* vendor) {
  if (!name) {
    Close();
    return 1;
  }
  char n[512], v[5] = {0, 0, 0, 0, 0};
  ClassEStd::StrCpy(n, name, 512);
  if (vendor) ClassEStd::StrCpy(v, vendor, 5);
  return PackNew(n, vendor ? v : nullptr);
}

// The index of count entries at indexStart, then the header, then the file cut
// after the index: 2 when memory runs out, 1 when a write fails.
int ClassEFile::PackWriteIndex(const uint32_t* table, uint32_t count, uint32_t indexStart) {
  uint8_t* raw = count ? static_cast<uint8_t*>(ClassEMemory::Alloc(count * 4)) : nullptr;
  if (count && !raw) return 2;
  for (uint32_t j = 0; j < count; j++) EBytes_Put32(raw + 4 * j, table[j]);
  const bool wrote = !count || WriteAt(indexStart, raw, count * 4);
  ClassEMemory::DeAlloc(raw);
  if (!wrote || !WriteHeader(count)) return 1;
  std::fflush(stream_);
  return SetSize(indexStart + count * 4) ? 0 : 1;
}

// Room for an entry of entrySize in place of entry slot (the entries after it
// move), or after the last entry when slot is the count. Sets where the index
// then starts; 1 when the pack would pass 4 GB or a move fails.
int ClassEFile::PackMakeRoom(uint32_t* table, uint32_t indexStart, uint32_t slot, uint32_t entrySize,
                             uint32_t& newIndexStart) {
  const uint32_t count = PackContainFiles();
  const bool append = slot == count;
  const uint32_t oldSize = append ? 0 : table[slot + 1] - table[slot];
  const uint32_t newCount = append ? count + 1 : count;
  const uint64_t grown = static_cast<uint64_t>(indexStart) - oldSize + entrySize;
  if (grown + 4ull * newCount > 0xFFFFFFFFu) return 1;
  newIndexStart = static_cast<uint32_t>(grown);
  if (append) {
    table[count] = indexStart;
    return 0;
  }
  if (!MoveData(table[slot] + entrySize, table[slot + 1], indexStart - table[slot + 1], kEpkMoveChunk)) return 1;
  for (uint32_t j = slot + 1; j <= count; j++) table[j] = table[j] - oldSize + entrySize;
  return 0;
}

// The record and its stored bytes in place of entry slot, or appended when slot
// is the count; then the index and header.
int ClassEFile::PackStoreEntry(uint32_t* table, uint32_t indexStart, uint32_t slot, const EPK_FILEINFO& rec,
                               const uint8_t* stored) {
  const uint32_t entrySize = kEpkRecordSize + rec.storedsize;
  if (entrySize < rec.storedsize) return 2;
  const uint32_t count = PackContainFiles();
  uint32_t newIndexStart;
  if (PackMakeRoom(table, indexStart, slot, entrySize, newIndexStart)) return 1;
  const uint32_t at = table[slot];
  uint8_t rb[kEpkRecordSize];
  RecordToBytes(rb, rec);
  if (!WriteAt(at, rb, kEpkRecordSize) ||
      (rec.storedsize && !WriteAt(at + kEpkRecordSize, stored, rec.storedsize)))
    return 1;
  return PackWriteIndex(table, slot == count ? count + 1 : count, newIndexStart);
}

int ClassEFile::PackAddFileData(const char* name, const void* data, uint32_t length, bool replace,
                                uint8_t method, uint32_t created) {
  packIndex_ = nullptr;  // the entries move: an installed name index is stale
  if (!PackValid()) return 5;
  if (packHeader_[12] < 200 && !ConvertPackFile()) return 1;
  if (!name) return 7;
  EPK_FILEINFO rec;
  std::memset(&rec, 0, sizeof rec);
  EFile_CheckStoreName(rec.name, name);
  uint32_t found = 0;
  const bool exists = PackSearchFile(rec.name, found);
  if (exists && !replace) return 9;
  if (!data) length = 0;
  const StoredData stored = ChooseStorage(data, length, method);
  rec.recordsize = kEpkRecordSize;
  rec.unpackedsize = length;
  rec.storedsize = stored.size;
  rec.method = stored.method;
  rec.created = created;
  rec.modified = ClassEDevice::TimestampNow(false);

  uint32_t* table = nullptr;
  uint32_t indexStart = 0;
  int result = ReadTable(table, indexStart);
  if (result == 0) result = NormaliseHeader(table, indexStart);
  if (result == 0) result = PackStoreEntry(table, indexStart, exists ? found : PackContainFiles(), rec, stored.bytes);
  ClassEMemory::DeAlloc(table);
  ClassEMemory::DeAlloc(stored.packed);
  return result;
}

int ClassEFile::PackAddFileData(const uint16_t* name, const void* data, uint32_t length,
                                bool replace, uint8_t method, uint32_t created) {
  if (!name) return PackAddFileData(static_cast<const char*>(nullptr), data, length, replace, method, created);
  char n[512];
  ClassEStd::StrCpy(n, name, 512);
  return PackAddFileData(n, data, length, replace, method, created);
}

int ClassEFile::PackAddFile(const char* source, bool replace, uint8_t method) {
  if (!PackValid()) return 5;
  if (PackContainFiles() > kEpkMaxEntries) return 6;
  if (!source) return 7;
  char storedName[64];
  EFile_CheckStoreName(storedName, source);
  uint32_t found;
  if (!replace && PackSearchFile(storedName, found)) return 9;
  // The source is resolved against this object's folder.
  uint16_t full[512];
  {
    uint16_t wide[512];
    ClassEStd::StrCpy(wide, source, 512);
    if (!EFile_CheckFileName(full, wide, nullptr, currentFolder_)) return 7;
  }
  ClassEFile src;
  if (!src.Open(full, 1)) return 7;
  const uint32_t size = src.Size();
  void* bytes = nullptr;
  if (size) {
    bytes = ClassEMemory::Alloc(size);
    if (!bytes) return 2;
    if (!src.Read(bytes, size)) {
      ClassEMemory::DeAlloc(bytes);
      return 7;
    }
  }
  E_FILEINFO info;
  uint32_t created = 0;
  if (src.GetInformation(&info, nullptr, false)) created = ClassEStd::DateTimeToTimestamp(info.modified);
  src.Close();
  const int r = PackAddFileData(source, bytes, size, replace, method, created);
  ClassEMemory::DeAlloc(bytes);
  return r;
}

int ClassEFile::PackAddFile(const uint16_t* source, bool replace, uint8_t method) {
  if (!source) return PackAddFile(static_cast<const char*>(nullptr), replace, method);
  char n[512];
  ClassEStd::StrCpy(n, source, 512);
  return PackAddFile(n, replace, method);
}

int ClassEFile::PackDeleteFile(uint32_t i) {
  packIndex_ = nullptr;
  if (!PackValid()) return 5;
  if (i >= PackContainFiles()) return 7;
  if (packHeader_[12] < 200 && !ConvertPackFile()) return 1;
  const uint32_t count = PackContainFiles();
  if (i >= count) return 7;
  uint32_t* table = nullptr;
  uint32_t indexStart = 0;
  int result = ReadTable(table, indexStart);
  if (result == 0) result = NormaliseHeader(table, indexStart);
  if (result == 0) {
    const uint32_t f = table[i + 1] - table[i];
    const uint32_t newStart = indexStart - f;
    if (!MoveData(table[i], table[i + 1], indexStart - table[i + 1], kEpkMoveChunk)) result = 1;
    // The entries after i move down by its size and take its place in the index.
    for (uint32_t j = i; j + 1 < count; j++) table[j] = table[j + 1] - f;
    if (result == 0) result = PackWriteIndex(table, count - 1, newStart);
  }
  ClassEMemory::DeAlloc(table);
  return result;
}

int ClassEFile::PackDeleteFile(const char* name) {
  if (!PackValid()) return 5;
  uint32_t n;
  if (!PackSearchFile(name, n)) return 7;
  return PackDeleteFile(n);
}
int ClassEFile::PackDeleteFile(const uint16_t* name) {
  if (!PackValid()) return 5;
  uint32_t n;
  if (!PackSearchFile(name, n)) return 7;
  return PackDeleteFile(n);
}

bool ClassEFile::PackChangeVendor(const char* tag) {
  packIndex_ = nullptr;
  if (!PackValid() || !tag) return false;
  if (packHeader_[12] < 200 && !ConvertPackFile()) return false;
  uint8_t h[28];
  std::memcpy(h, packHeader_, 28);
  TagOf(h + 4, tag);
  EBytes_Put32(h + 20, 0);
  EBytes_Put32(h + 20, EFile_QuickChecksum(h, 28));
  if (!WriteAt(0, h, 28)) return false;
  std::fflush(stream_);
  std::memcpy(packHeader_, h, 28);
  return true;
}
bool ClassEFile::PackChangeVendor(const uint16_t* tag) {
  if (!tag) return false;
  char t[5];
  ClassEStd::StrCpy(t, tag, 5);
  return PackChangeVendor(t);
}

int ClassEFile::PackExtractFile(const char* folder, uint32_t n, bool overwrite) {
  if (!PackValid()) return 5;
  if (n >= PackContainFiles()) return 7;
  EPK_FILEINFO info;
  if (!PackGetFileInfo(&info, n, false)) return 1;
  // The stored name comes from the pack: keep only its last component, so that
  // a hostile name cannot leave the target folder.
  char name[64];
  EFile_CheckStoreName(name, info.name);
  if (!name[0] || ClassEStd::StrEqual(name, ".") || ClassEStd::StrEqual(name, "..")) return 1;
  char target[600];
  target[0] = 0;
  if (folder) ClassEStd::StrCpy(target, folder, 512);
  const int32_t len = ClassEStd::StrLen(target);
  if (len == 0 || (target[len - 1] != '/' && target[len - 1] != '\\')) ClassEStd::StrCat(target, "/");
  ClassEStd::StrCat(target, name);
  if (!overwrite && Exists(target)) return 9;
  void* data = nullptr;
  uint32_t length = 0;
  const int r = PackGetFileData(data, length, n);
  if (r) return r;
  ClassEFile out;
  uint16_t full[512];
  {
    uint16_t wide[600];
    ClassEStd::StrCpy(wide, target, 600);
    if (!EFile_CheckFileName(full, wide, nullptr, currentFolder_)) {
      ClassEMemory::DeAlloc(data);
      return 1;
    }
  }
  if (!out.New(full)) {
    ClassEMemory::DeAlloc(data);
    return 1;
  }
  const bool ok = length == 0 || out.Write(data, length);
  out.Close();
  ClassEMemory::DeAlloc(data);
  return ok ? 0 : 1;
}

int ClassEFile::PackExtractFile(const char* folder, const char* name, bool overwrite) {
  if (!PackValid()) return 5;
  uint32_t n;
  if (!PackSearchFile(name, n)) return 7;
  return PackExtractFile(folder, n, overwrite);
}
int ClassEFile::PackExtractFile(const uint16_t* folder, uint32_t n, bool overwrite) {
  char f[512];
  f[0] = 0;
  if (folder) ClassEStd::StrCpy(f, folder, 512);
  return PackExtractFile(folder ? f : nullptr, n, overwrite);
}
int ClassEFile::PackExtractFile(const uint16_t* folder, const uint16_t* name, bool overwrite) {
  if (!PackValid()) return 5;
  uint32_t n;
  if (!PackSearchFile(name, n)) return 7;
  return PackExtractFile(folder, n, overwrite);
}

bool ClassEFile::ConvertPackFile() {
  packIndex_ = nullptr;
  if (!PackValid()) return false;
  uint16_t packName[512], tmpName[520];
  ClassEStd::StrCpy(packName, fileName_, 512);
  ClassEStd::StrCpy(tmpName, fileName_, 512);
  ClassEStd::StrCat(tmpName, "_tmp");
  if (ClassEStd::StrLen(tmpName) > 511 || Exists(tmpName)) return false;
  const uint32_t count = PackContainFiles();
  if (count > Size() / kEpckEntrySize) return false;
  uint8_t vendor[4];
  std::memcpy(vendor, packHeader_ + 4, 4);

  ClassEFile tmp;
  if (!tmp.New(tmpName)) return false;
  bool ok = true;
  uint8_t h[28];
  BuildHeader(h, vendor, count);
  ok = tmp.Write(h, 28);
  uint8_t* raw = count ? static_cast<uint8_t*>(ClassEMemory::Alloc(count * 4)) : nullptr;
  uint8_t* block = static_cast<uint8_t*>(ClassEMemory::Alloc(kEpkMoveChunk));
  if ((count && !raw) || !block) ok = false;
  for (uint32_t i = 0; i < count && ok; i++) {
    EPK_FILEINFO info;
    if (!PackGetFileInfo(&info, i, false)) {
      ok = false;
      break;
    }
    EBytes_Put32(raw + 4 * i, tmp.Tell());
    uint8_t rb[kEpkRecordSize];
    RecordToBytes(rb, info);
    if (!tmp.Write(rb, kEpkRecordSize)) {
      ok = false;
      break;
    }
    uint32_t left = info.storedsize, from = info.dataoffset;
    while (left && ok) {
      const uint32_t n = left < kEpkMoveChunk ? left : kEpkMoveChunk;
      ok = ReadAt(from, block, n) && tmp.Write(block, n);
      from += n;
      left -= n;
    }
  }
  if (ok && count) ok = tmp.Write(raw, count * 4);
  ClassEMemory::DeAlloc(raw);
  ClassEMemory::DeAlloc(block);
  tmp.Close();
  if (!ok) {
    tmp.Delete(tmpName);
    return false;
  }
  Close();
  Delete(packName);
  Rename(packName, tmpName);
  if (!Open(packName, 0)) return false;
  return PackValid();
}
