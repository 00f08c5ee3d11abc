// Files, folders and pack archives (layout in framework/epk_format.h).
//
// Every operation that takes a name has a 16-bit form and an 8-bit form that
// widens the name; the pack writers work in the 8-bit form and their 16-bit
// forms narrow the name. Relative names are resolved against the object's own
// current folder (the working folder until set).
#ifndef ZARN_FRAMEWORK_EMOD_FILE_H
#define ZARN_FRAMEWORK_EMOD_FILE_H

#include <dirent.h>

#include <cstdint>
#include <cstdio>

#include "framework/emod_std.h"

// File attributes and times, filled by ClassEFile::GetInformation.
struct E_FILEINFO {
  uint16_t attributes;  // 0 none, 1 file, 0x21 folder, 3 read-only entry
  E_DATETIME created;   // from the status-change time
  E_DATETIME modified;
};

// One pack entry record as the reading operations return it.
struct EPK_FILEINFO {
  uint32_t recordsize;  // 92
  char name[64];        // stored name, terminated
  uint32_t dataoffset;  // where the stored bytes begin in the pack
  uint32_t unpackedsize;
  uint32_t storedsize;
  uint8_t method;       // 0 stored, 1 LZW, 2 zlib
  uint8_t reserved1;
  uint16_t reserved2;
  uint32_t created;     // seconds since 1970, UTC (or local when asked)
  uint32_t modified;
};

enum : uint8_t {
  EFILE_READWRITE = 0,  // "r+b"
  EFILE_READ = 1,       // "rb"
  EFILE_WRITE = 2,      // "wb"
};

class ClassEFile {
 public:
  ClassEFile();
  ~ClassEFile();
  ClassEFile(const ClassEFile&) = delete;
  ClassEFile& operator=(const ClassEFile&) = delete;

  // Close() flushes the system's buffers with sync() unless this is turned off
  // (tools and tests that close many files sync once themselves).
  static void SetSyncOnClose(bool on);

  // ---- files ----
  bool Open(const uint16_t* name, uint8_t mode = EFILE_READWRITE);
  bool Open(const char* name, uint8_t mode = EFILE_READWRITE);
  bool New(const uint16_t* name);
  bool New(const char* name);
  void Close();
  bool Read(void* buffer, uint32_t length);
  bool Write(const void* buffer, uint32_t length);
  void Seek(uint32_t offset);
  uint32_t Tell();
  uint32_t Size(const uint16_t* name = nullptr);
  uint32_t SizeC(const char* name);
  bool SetSize(uint32_t size);
  bool MoveData(uint32_t destination, uint32_t source, uint32_t count, uint32_t chunk);
  bool IsOpen() const { return open_ != 0; }
  // The resolved name of the open file.
  const uint16_t* FileName() const { return fileName_; }

  // ---- names, folders and the file system ----
  bool Delete(const uint16_t* name);
  bool Delete(const char* name);
  bool Rename(const uint16_t* newName, const uint16_t* currentName);
  bool Rename(const char* newName, const char* currentName);
  bool RenameFolder(const uint16_t* newName, const uint16_t* currentName);
  bool RenameFolder(const char* newName, const char* currentName);
  bool NewFolder(const uint16_t* name);
  bool NewFolder(const char* name);
  bool DeleteFolder(const uint16_t* name);
  bool DeleteFolder(const char* name);
  uint16_t GetAttributes(const uint16_t* name = nullptr);
  uint16_t GetAttributesC(const char* name);
  bool GetInformation(E_FILEINFO* info, const uint16_t* name = nullptr, bool local = false);
  bool GetInformationC(E_FILEINFO* info, const char* name, bool local = false);
  bool IsFolder(const uint16_t* name);
  bool IsFolder(const char* name);
  bool Exists(const uint16_t* name);
  bool Exists(const char* name);
  void SetCurrentFolder(const uint16_t* folder);
  void SetCurrentFolder(const char* folder);
  const uint16_t* GetCurrentFolder();
  const char* GetCurrentFolderC();
  bool OpenFolder(const uint16_t* folder, const uint16_t* pattern = nullptr);
  bool OpenFolder(const char* folder, const char* pattern = "*.*");
  bool ReadFolder(uint16_t* out);
  bool ReadFolder(char* out);
  void CloseFolder();

  // The part after the last "/" or "\\" (in place).
  template <class T>
  static T* GetFileName(T* text);
  // The part up to and including the last separator, with "\\" turned into "/".
  template <class T>
  static T* GetFolderName(T* text);

  // ---- packs: reading ----
  bool PackValid() const { return open_ && packValid_; }
  uint32_t PackContainFiles() const;
  bool PackGetVendor(char* out) const;
  bool PackGetVendor(uint16_t* out) const;
  bool PackGetFileInfo(EPK_FILEINFO* info, uint32_t number, bool local = true);
  bool PackGetFileInfo(EPK_FILEINFO* info, const char* name, bool local = true);
  bool PackGetFileInfo(EPK_FILEINFO* info, const uint16_t* name, bool local = true);
  bool PackSearchFile(const char* name, uint32_t& number);
  bool PackSearchFile(const uint16_t* name, uint32_t& number);
  char* PackBuildIndex();
  void PackUseIndex(char* index) { packIndex_ = index; }
  int PackGetFileData(void*& data, uint32_t& length, uint32_t number);
  int PackGetFileData(void*& data, uint32_t& length, const char* name);
  int PackGetFileData(void*& data, uint32_t& length, const uint16_t* name);

  // ---- packs: writing ----
  int PackNew(const char* name, const char* vendor = nullptr);
  int PackNew(const uint16_t* name, const uint16_t* vendor = nullptr);
  int PackAddFileData(const char* name, const void* data, uint32_t length, bool replace,
                      uint8_t method, uint32_t created);
  int PackAddFileData(const uint16_t* name, const void* data, uint32_t length, bool replace,
                      uint8_t method, uint32_t created);
  int PackAddFile(const char* source, bool replace, uint8_t method);
  int PackAddFile(const uint16_t* source, bool replace, uint8_t method);
  int PackDeleteFile(uint32_t number);
  int PackDeleteFile(const char* name);
  int PackDeleteFile(const uint16_t* name);
  bool PackChangeVendor(const char* tag);
  bool PackChangeVendor(const uint16_t* tag);
  int PackExtractFile(const char* folder, uint32_t number, bool overwrite);
  int PackExtractFile(const char* folder, const char* name, bool overwrite);
  int PackExtractFile(const uint16_t* folder, uint32_t number, bool overwrite);
  int PackExtractFile(const uint16_t* folder, const uint16_t* name, bool overwrite);
  bool ConvertPackFile();

 private:
  bool Resolve(uint16_t* out, const uint16_t* name);
  void EnsureFolder();
  bool OpenStream(const uint16_t* name, const char* mode);
  void DetectPack();
  bool ReadAt(uint32_t offset, void* buffer, uint32_t length);
  bool WriteAt(uint32_t offset, const void* buffer, uint32_t length);
  void BuildHeader(uint8_t* out, const uint8_t vendor[4], uint32_t count) const;
  bool WriteHeader(uint32_t count);
  int ReadTable(uint32_t*& table, uint32_t& indexStart);
  int NormaliseHeader(uint32_t* table, uint32_t& indexStart);
  int PackWriteIndex(const uint32_t* table, uint32_t count, uint32_t indexStart);
  int PackMakeRoom(uint32_t* table, uint32_t indexStart, uint32_t slot, uint32_t entrySize,
                   uint32_t& newIndexStart);
  int PackStoreEntry(uint32_t* table, uint32_t indexStart, uint32_t slot, const EPK_FILEINFO& rec,
                     const uint8_t* stored);

  FILE* stream_ = nullptr;
  DIR* listing_ = nullptr;
  uint8_t packHeader_[28];
  uint16_t fileName_[512];
  uint16_t currentFolder_[512];
  char folderText_[512];
  char* packIndex_ = nullptr;
  uint8_t open_ = 0;
  uint8_t listingOpen_ = 0;
  uint8_t packValid_ = 0;
};

// Name resolution against a folder (set to the working folder when empty);
// false when the result would not fit 511 units.
bool EFile_CheckFileName(uint16_t* out, const uint16_t* name, const uint16_t* ownName,
                         uint16_t* folder);
// The stored pack name of a path (64 bytes with the terminator).
void EFile_CheckStoreName(char* out, const char* name);
void EFile_CheckStoreName(char* out, const uint16_t* name);
// The first four characters as a value, first in the low byte, and back.
uint32_t EFile_LongFCC(const char* text);
uint32_t EFile_LongFCC(const uint16_t* text);
void EFile_CharFCC(char* out, uint32_t value);
void EFile_CharFCC(uint16_t* out, uint32_t value);
// The pack header check word over any block.
uint32_t EFile_QuickChecksum(const void* data, uint32_t length);

template <class T>
T* ClassEFile::GetFileName(T* text) {
  if (!text) return text;
  int32_t n = ClassEStd::StrLen(text), cut = -1;
  for (int32_t i = 0; i < n; i++)
    if (text[i] == '/' || text[i] == '\\') cut = i;
  if (cut >= 0) {
    int32_t k = 0;
    for (int32_t i = cut + 1; i <= n; i++) text[k++] = text[i];
  }
  return text;
}

template <class T>
T* ClassEFile::GetFolderName(T* text) {
  if (!text) return text;
  int32_t n = ClassEStd::StrLen(text), cut = -1;
  for (int32_t i = 0; i < n; i++)
    if (text[i] == '/' || text[i] == '\\') cut = i;
  text[cut + 1] = 0;
  for (int32_t i = 0; i <= cut; i++)
    if (text[i] == '\\') text[i] = '/';
  return text;
}

#endif
