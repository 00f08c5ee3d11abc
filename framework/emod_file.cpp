// 64-bit offsets and directory entries on the 32-bit build too: a readdir
// without them fails on file systems with large inode numbers or cookies.
#define _FILE_OFFSET_BITS 64

#include "framework/emod_file.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "framework/emod_device.h"
#include "framework/emod_memory.h"
#include "framework/epk_format.h"
#include "standin/standin.h"

namespace {

bool g_syncOnClose = true;

bool IsSep(uint32_t c) { return c == '/' || c == '\\'; }

template <class T>
bool IsAbsolute(const T* n) {
  const uint32_t a = ClassEStd::U(n[0]);
  if (IsSep(a)) return true;
  return a && ClassEStd::U(n[1]) == ':' && IsSep(ClassEStd::U(n[2]));
}

// An 8-bit name widened for the 16-bit forms: on the stack when shorter than 256
// characters, else in a block of its own (cut to 255 when that cannot be had).
class Wide {
 public:
  explicit Wide(const char* name) {
    if (!name) return;
    const int32_t n = ClassEStd::StrLen(name);
    if (n >= 256) {
      heap_ = static_cast<uint16_t*>(ClassEMemory::Alloc(static_cast<uint32_t>(n) * 2 + 2));
      if (heap_) {
        ClassEStd::StrCpy(heap_, name, n + 1);
        p_ = heap_;
        return;
      }
    }
    ClassEStd::StrCpy(buf_, name, 256);
    p_ = buf_;
  }
  ~Wide() { ClassEMemory::DeAlloc(heap_); }
  Wide(const Wide&) = delete;
  Wide& operator=(const Wide&) = delete;
  operator const uint16_t*() const { return p_; }

 private:
  uint16_t buf_[256];
  uint16_t* heap_ = nullptr;
  const uint16_t* p_ = nullptr;
};

void Narrow(char* out, const uint16_t* in) { ClassEStd::StrCpy(out, in, 512); }

void FromTm(E_DATETIME& d, const std::tm& tm) {
  d.year = static_cast<uint32_t>(tm.tm_year + 1900);
  d.month = static_cast<uint8_t>(tm.tm_mon + 1);
  d.day = static_cast<uint8_t>(tm.tm_mday);
  d.hour = static_cast<uint8_t>(tm.tm_hour);
  d.minute = static_cast<uint8_t>(tm.tm_min);
  d.second = static_cast<uint8_t>(tm.tm_sec);
}

}  // namespace

void ClassEFile::SetSyncOnClose(bool on) { g_syncOnClose = on; }

ClassEFile::ClassEFile() {
  std::memset(packHeader_, 0, sizeof packHeader_);
  fileName_[0] = 0;
  currentFolder_[0] = 0;
  folderText_[0] = 0;
}

ClassEFile::~ClassEFile() {
  Close();
  CloseFolder();
}

// ---- names ----

bool EFile_CheckFileName(uint16_t* out, const uint16_t* name, const uint16_t* ownName,
                         uint16_t* folder) {
  if (!out) return false;
  out[0] = 0;
  if (!name) {
    if (!ownName || !ownName[0]) return false;
    ClassEStd::StrCpy(out, ownName, 512);
    return true;
  }
  int32_t k = 0;
  if (!IsAbsolute(name)) {
    if (folder && !folder[0]) GetPath(folder, 512);
    if (folder)
      for (; folder[k]; k++) out[k] = folder[k];
  }
  const int32_t n = ClassEStd::StrLen(name);
  if (k + n > 511) {
    out[0] = 0;
    return false;
  }
  for (int32_t i = 0; i < n; i++) out[k + i] = name[i] == '\\' ? uint16_t('/') : name[i];
  out[k + n] = 0;
  return true;
}

void ClassEFile::EnsureFolder() {
  if (!currentFolder_[0]) GetPath(currentFolder_, 512);
}

bool ClassEFile::Resolve(uint16_t* out, const uint16_t* name) {
  return EFile_CheckFileName(out, name, fileName_, currentFolder_);
}

void EFile_CheckStoreName(char* out, const char* name) {
  out[0] = 0;
  if (!name) return;
  const int32_t n = ClassEStd::StrLen(name);
  int32_t start = 0;
  for (int32_t i = 0; i < n; i++)
    if (IsSep(static_cast<unsigned char>(name[i]))) start = i + 1;
  const char* base = name + start;
  const int32_t len = n - start;
  if (len < 64) {
    std::memcpy(out, base, static_cast<size_t>(len));
    out[len] = 0;
    return;
  }
  std::memcpy(out, base, 63);
  out[63] = 0;
  int32_t dot = -1;
  for (int32_t i = 0; i < len; i++)
    if (base[i] == '.') dot = i;
  if (dot >= 0) {
    int32_t ext = len - dot;
    if (ext > 32) ext = 32;
    std::memcpy(out + 63 - ext, base + dot, static_cast<size_t>(ext));
  }
}

void EFile_CheckStoreName(char* out, const uint16_t* name) {
  if (!name) {
    out[0] = 0;
    return;
  }
  // Only the part after the last separator matters; narrow from there.
  const int32_t n = ClassEStd::StrLen(name);
  int32_t start = 0;
  for (int32_t i = 0; i < n; i++)
    if (IsSep(name[i])) start = i + 1;
  char tmp[512];
  ClassEStd::StrCpy(tmp, name + start, 512);
  // A base name longer than the buffer keeps its extension through the cut.
  if (n - start >= 512) {
    int32_t dot = -1;
    for (int32_t i = start; i < n; i++)
      if (name[i] == '.') dot = i;
    if (dot >= 0 && n - dot <= 32) ClassEStd::StrCpy(tmp + 511 - (n - dot), name + dot, n - dot + 1);
  }
  EFile_CheckStoreName(out, tmp);
}

uint32_t EFile_LongFCC(const char* t) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(static_cast<unsigned char>(t[i])) << (8 * i);
  return v;
}
uint32_t EFile_LongFCC(const uint16_t* t) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(t[i] & 0xFF) << (8 * i);
  return v;
}
void EFile_CharFCC(char* out, uint32_t value) {
  for (int i = 0; i < 4; i++) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  out[4] = 0;
}
void EFile_CharFCC(uint16_t* out, uint32_t value) {
  for (int i = 0; i < 4; i++) out[i] = static_cast<uint16_t>((value >> (8 * i)) & 0xFF);
  out[4] = 0;
}

uint32_t EFile_QuickChecksum(const void* data, uint32_t length) {
  char hex[33];
  ClassEStd::MD5Data(hex, data, length);
  const uint32_t v = static_cast<uint8_t>(hex[5]) | (static_cast<uint8_t>(hex[6]) << 8) |
                     (static_cast<uint8_t>(hex[7]) << 16) |
                     (static_cast<uint32_t>(static_cast<uint8_t>(hex[8])) << 24);
  return v + kEpkCheckConstant;
}

// ---- files ----

bool ClassEFile::OpenStream(const uint16_t* name, const char* mode) {
  uint16_t full[512];
  if (!Resolve(full, name)) return false;
  char narrow[512];
  Narrow(narrow, full);
  FILE* f = std::fopen(narrow, mode);
  if (!f) return false;
  stream_ = f;
  open_ = 1;
  packValid_ = 0;
  ClassEStd::StrCpy(fileName_, full, 512);
  return true;
}

bool ClassEFile::Open(const uint16_t* name, uint8_t mode) {
  Close();
  const char* m = mode == 0 || mode == 3 ? "r+b" : mode == 1 ? "rb" : mode == 2 ? "wb" : nullptr;
  if (!m || !name) return false;
  if (!OpenStream(name, m)) return false;
  DetectPack();
  Seek(0);
  return true;
}
bool ClassEFile::Open(const char* name, uint8_t mode) {
  if (!name) return Open(static_cast<const uint16_t*>(nullptr), mode);
  return Open(Wide(name), mode);
}

bool ClassEFile::New(const uint16_t* name) {
  Close();
  if (!name) return false;
  return OpenStream(name, "w+b");
}
bool ClassEFile::New(const char* name) {
  if (!name) return false;
  return New(Wide(name));
}

void ClassEFile::Close() {
  if (open_ && stream_) {
    std::fclose(stream_);
    if (g_syncOnClose) sync();
  }
  stream_ = nullptr;
  open_ = 0;
  packValid_ = 0;
  packIndex_ = nullptr;
}

bool ClassEFile::Read(void* buffer, uint32_t length) {
  if (!open_ || !buffer || length == 0) return false;
  return std::fread(buffer, length, 1, stream_) == 1;
}

bool ClassEFile::Write(const void* buffer, uint32_t length) {
  if (!open_ || !buffer || length == 0) return false;
  return std::fwrite(buffer, length, 1, stream_) == 1;
}

void ClassEFile::Seek(uint32_t offset) {
  if (open_) fseeko(stream_, static_cast<off_t>(offset), SEEK_SET);
}

uint32_t ClassEFile::Tell() {
  if (!open_) return 0;
  const off_t p = ftello(stream_);
  return p < 0 ? 0 : static_cast<uint32_t>(p);
}

bool ClassEFile::ReadAt(uint32_t offset, void* buffer, uint32_t length) {
  if (!open_) return false;
  if (fseeko(stream_, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
  return Read(buffer, length);
}

bool ClassEFile::WriteAt(uint32_t offset, const void* buffer, uint32_t length) {
  if (!open_) return false;
  if (fseeko(stream_, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
  return Write(buffer, length);
}

uint32_t ClassEFile::Size(const uint16_t* name) {
  bool own = name == nullptr;
  if (!own && open_) {
    uint16_t full[512];
    own = Resolve(full, name) && ClassEStd::StrEqual(full, fileName_, false);
  }
  if (own) {
    if (!open_) return 0;
    const off_t pos = ftello(stream_);
    fseeko(stream_, 0, SEEK_END);
    const off_t end = ftello(stream_);
    fseeko(stream_, pos < 0 ? 0 : pos, SEEK_SET);
    return end < 0 ? 0 : static_cast<uint32_t>(end);
  }
  uint16_t full[512];
  if (!Resolve(full, name)) return 0;
  ClassEFile other;
  if (!other.Open(full, 1)) return 0;
  const uint32_t s = other.Size();
  other.Close();
  return s;
}

uint32_t ClassEFile::SizeC(const char* name) {
  if (!name) return Size(nullptr);
  return Size(Wide(name));
}

bool ClassEFile::SetSize(uint32_t size) {
  if (!open_) return true;
  const uint32_t pos = Tell();
  std::fclose(stream_);
  stream_ = nullptr;
  char narrow[512];
  Narrow(narrow, fileName_);
  const bool cut = truncate(narrow, static_cast<off_t>(size)) == 0;
  stream_ = std::fopen(narrow, "r+b");
  if (!stream_) {
    open_ = 0;
    packValid_ = 0;
    packIndex_ = nullptr;
    return false;
  }
  Seek(pos >= size && size != 0 ? size - 1 : pos);
  return cut;
}

bool ClassEFile::MoveData(uint32_t destination, uint32_t source, uint32_t count, uint32_t chunk) {
  if (!open_) return false;
  if (count == 0 || source == destination) return true;
  if (chunk == 0) return false;
  uint8_t* block = static_cast<uint8_t*>(ClassEMemory::Alloc(chunk));
  if (!block) return false;
  const uint32_t blocks = count / chunk + (count % chunk ? 1 : 0);
  const uint32_t last = count % chunk ? count % chunk : chunk;
  bool ok = true;
  if (destination < source) {
    for (uint32_t i = 0; i < blocks && ok; i++) {
      const uint32_t n = i + 1 == blocks ? last : chunk;
      ok = ReadAt(source + i * chunk, block, n) && WriteAt(destination + i * chunk, block, n);
    }
  } else {
    for (uint32_t i = blocks; i-- > 0 && ok;) {
      const uint32_t n = i + 1 == blocks ? last : chunk;
      ok = ReadAt(source + i * chunk, block, n) && WriteAt(destination + i * chunk, block, n);
    }
  }
  ClassEMemory::DeAlloc(block);
  return ok;
}

// ---- the file system ----

#define EFILE_NARROW_OR_FAIL(var, name)        \
  char var[512];                               \
  {                                            \
    uint16_t full_[512];                       \
    if (!Resolve(full_, name)) return false;   \
    Narrow(var, full_);                        \
  }

bool ClassEFile::Delete(const uint16_t* name) {
  if (!name) return false;
  EFILE_NARROW_OR_FAIL(n, name);
  return std::remove(n) == 0;
}
bool ClassEFile::Delete(const char* name) { return name && Delete(Wide(name)); }

bool ClassEFile::Rename(const uint16_t* newName, const uint16_t* currentName) {
  if (!newName || !currentName) return false;
  EFILE_NARROW_OR_FAIL(to, newName);
  EFILE_NARROW_OR_FAIL(from, currentName);
  return std::rename(from, to) == 0;
}
bool ClassEFile::Rename(const char* newName, const char* currentName) {
  if (!newName || !currentName) return false;
  return Rename(Wide(newName), Wide(currentName));
}
bool ClassEFile::RenameFolder(const uint16_t* newName, const uint16_t* currentName) {
  return Rename(newName, currentName);
}
bool ClassEFile::RenameFolder(const char* newName, const char* currentName) {
  return Rename(newName, currentName);
}

bool ClassEFile::NewFolder(const uint16_t* name) {
  if (!name) return false;
  EFILE_NARROW_OR_FAIL(n, name);
  // 0777 under the umask: 0600 would make a folder nobody can enter.
  return mkdir(n, 0777) == 0;
}
bool ClassEFile::NewFolder(const char* name) { return name && NewFolder(Wide(name)); }

bool ClassEFile::DeleteFolder(const uint16_t* name) {
  if (!name) return false;
  EFILE_NARROW_OR_FAIL(n, name);
  return rmdir(n) == 0;
}
bool ClassEFile::DeleteFolder(const char* name) { return name && DeleteFolder(Wide(name)); }

namespace {
uint16_t AttributesOf(const struct stat& st) {
  if (!(st.st_mode & S_IWUSR)) return 3;
  return S_ISDIR(st.st_mode) ? 0x21 : 1;
}
}  // namespace

uint16_t ClassEFile::GetAttributes(const uint16_t* name) {
  if (!name && !open_) return 0;
  uint16_t full[512];
  if (!Resolve(full, name)) return 0;
  char n[512];
  Narrow(n, full);
  struct stat st;
  if (stat(n, &st) != 0) return 0;
  return AttributesOf(st);
}
uint16_t ClassEFile::GetAttributesC(const char* name) {
  if (!name) return GetAttributes(nullptr);
  return GetAttributes(Wide(name));
}

bool ClassEFile::GetInformation(E_FILEINFO* info, const uint16_t* name, bool local) {
  if (!info) return false;
  std::memset(info, 0, sizeof *info);
  if (!name && !open_) return false;
  uint16_t full[512];
  if (!Resolve(full, name)) return false;
  char n[512];
  Narrow(n, full);
  struct stat st;
  if (stat(n, &st) != 0) return false;
  info->attributes = AttributesOf(st);
  std::tm tm{};
  auto breakDown = [&](std::time_t t, E_DATETIME& d) {
    if (local ? standin::LocalTime(t, &tm) : standin::UtcTime(t, &tm)) FromTm(d, tm);
  };
  breakDown(st.st_ctime, info->created);
  breakDown(st.st_mtime, info->modified);
  return true;
}
bool ClassEFile::GetInformationC(E_FILEINFO* info, const char* name, bool local) {
  if (!name) return GetInformation(info, nullptr, local);
  return GetInformation(info, Wide(name), local);
}

bool ClassEFile::IsFolder(const uint16_t* name) { return (GetAttributes(name) & 0x20) != 0; }
bool ClassEFile::IsFolder(const char* name) { return (GetAttributesC(name) & 0x20) != 0; }
bool ClassEFile::Exists(const uint16_t* name) { return GetAttributes(name) != 0; }
bool ClassEFile::Exists(const char* name) { return GetAttributesC(name) != 0; }

void ClassEFile::SetCurrentFolder(const uint16_t* folder) {
  if (!folder) return;
  uint16_t text[1024];
  int32_t k = 0;
  if (!IsAbsolute(folder)) {
    EnsureFolder();
    for (; currentFolder_[k]; k++) text[k] = currentFolder_[k];
  }
  const int32_t n = ClassEStd::StrLen(folder);
  if (k + n > 1021) return;
  for (int32_t i = 0; i < n; i++) text[k + i] = folder[i] == '\\' ? uint16_t('/') : folder[i];
  k += n;
  if (k == 0 || text[k - 1] != '/') text[k++] = '/';
  text[k] = 0;

  // Walk the components: "./" goes, "../" takes the one before it along. The
  // root ("/" or a drive prefix such as "C:/") is never removed.
  uint16_t result[1024];
  int32_t r = 0, i = 0;
  if (text[0] == '/') {
    result[r++] = '/';
    i = 1;
  } else if (text[0] && text[1] == ':' && text[2] == '/') {
    result[r++] = text[0];
    result[r++] = ':';
    result[r++] = '/';
    i = 3;
  }
  const int32_t root = r;
  while (i < k) {
    int32_t j = i;
    while (j < k && text[j] != '/') j++;
    const int32_t len = j - i;
    if (len == 0 || (len == 1 && text[i] == '.')) {
      // nothing
    } else if (len == 2 && text[i] == '.' && text[i + 1] == '.') {
      if (r > root) {
        r--;  // the "/" ending the previous component
        while (r > root && result[r - 1] != '/') r--;
      }
    } else {
      for (int32_t q = i; q < j; q++) result[r++] = text[q];
      result[r++] = '/';
    }
    i = j + 1;
  }
  result[r] = 0;
  if (r > 511) return;  // would not fit: the folder stays as it was
  ClassEStd::StrCpy(currentFolder_, result, 512);
}
void ClassEFile::SetCurrentFolder(const char* folder) {
  if (folder) SetCurrentFolder(Wide(folder));
}

const uint16_t* ClassEFile::GetCurrentFolder() {
  EnsureFolder();
  return currentFolder_;
}
const char* ClassEFile::GetCurrentFolderC() {
  EnsureFolder();
  ClassEStd::StrCpy(folderText_, currentFolder_, 512);
  return folderText_;
}

bool ClassEFile::OpenFolder(const uint16_t* folder, const uint16_t*) {
  CloseFolder();
  uint16_t full[512];
  if (!folder || !Resolve(full, folder)) return true;
  char n[512];
  Narrow(n, full);
  listing_ = opendir(n);
  listingOpen_ = listing_ ? 1 : 0;
  return true;
}
bool ClassEFile::OpenFolder(const char* folder, const char*) {
  if (!folder) {
    CloseFolder();
    return true;
  }
  return OpenFolder(Wide(folder), nullptr);
}

bool ClassEFile::ReadFolder(uint16_t* out) {
  if (out) out[0] = 0;
  if (!out || !listingOpen_) return false;
  struct dirent* e = readdir(listing_);
  if (!e) {
    CloseFolder();
    return false;
  }
  ClassEStd::StrCpy(out, e->d_name, 256);
  return true;
}
// The 16-bit form's entry narrowed, the empty name that ends a listing too (a
// null out must not take an entry).
bool ClassEFile::ReadFolder(char* out) {
  if (!out) return false;
  uint16_t name[256];
  const bool read = ReadFolder(name);
  ClassEStd::StrCpy(out, name, 256);
  return read;
}

void ClassEFile::CloseFolder() {
  if (listing_) closedir(listing_);
  listing_ = nullptr;
  listingOpen_ = 0;
}
