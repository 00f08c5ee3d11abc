// packtool: builds, lists and edits the EPK2 packs the game reads its resources
// from. Entry order matters: sound effects and music tracks are numbered by it.
//
//   packtool create  PACK [VENDOR]
//   packtool add     PACK [-m 0|1|2] [-r] [-l LISTFILE] [FILE...]
//   packtool list    PACK
//   packtool extract PACK FOLDER [-f] [NAME...]
//   packtool delete  PACK NAME...
//   packtool tag     PACK VENDOR
//   packtool convert PACK
//
// With SOURCE_DATE_EPOCH set, every entry's created and modified times are that
// value, so the same files in the same order give byte-identical packs.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "framework/emod_file.h"
#include "framework/emod_memory.h"
#include "framework/emod_std.h"
#include "framework/epk_format.h"
#include "standin/standin.h"

namespace {

const char* kUsage =
    "usage:\n"
    "  packtool create  PACK [VENDOR]\n"
    "  packtool add     PACK [-m 0|1|2] [-r] [-l LISTFILE] [FILE...]\n"
    "  packtool list    PACK\n"
    "  packtool extract PACK FOLDER [-f] [NAME...]\n"
    "  packtool delete  PACK NAME...\n"
    "  packtool tag     PACK VENDOR\n"
    "  packtool convert PACK\n"
    "Methods: 0 stored, 1 LZW, 2 zlib (default). -r replaces entries of the same name.\n"
    "SOURCE_DATE_EPOCH fixes all entry times.\n";

const char* CodeText(int code) {
  switch (code) {
    case 0: return "done";
    case 1: return "file operation failed";
    case 2: return "out of memory";
    case 5: return "no valid pack";
    case 6: return "pack full";
    case 7: return "no such entry or source";
    case 8: return "decompression failed";
    case 9: return "name or target exists";
  }
  return "error";
}

bool g_haveEpoch = false;
uint32_t g_epoch = 0;

bool ReadEpoch() {
  const char* e = std::getenv("SOURCE_DATE_EPOCH");
  if (!e || !*e) return true;
  char* end = nullptr;
  unsigned long long v = std::strtoull(e, &end, 10);
  // 0 cannot pin the device clock (0 there means the real time).
  if (*end || v == 0 || v > 0xFFFFFFFFull) {
    std::fprintf(stderr, "packtool: SOURCE_DATE_EPOCH must be 1 to 4294967295 seconds\n");
    return false;
  }
  g_haveEpoch = true;
  g_epoch = static_cast<uint32_t>(v);
  // The writer stamps "modified" from the device clock: pin that clock.
  standin::Config c = standin::ConfigFromEnvironment();
  c.wallTime = static_cast<std::time_t>(g_epoch);
  standin::Configure(c);
  return true;
}

std::string Format(uint32_t t) {
  E_DATETIME d;
  ClassEStd::TimestampToDateTime(d, t);
  char s[32];
  std::snprintf(s, sizeof s, "%04u-%02u-%02u %02u:%02u:%02u", static_cast<unsigned>(d.year), d.month,
                d.day, d.hour, d.minute, d.second);
  return s;
}

bool OpenPack(ClassEFile& f, const char* name, bool write) {
  if (!f.Open(name, write ? 0 : 1)) {
    std::fprintf(stderr, "packtool: cannot open %s\n", name);
    return false;
  }
  if (!f.PackValid()) {
    std::fprintf(stderr, "packtool: %s is not a valid pack\n", name);
    return false;
  }
  return true;
}

int Fail(const char* what, const std::string& name, int code) {
  std::fprintf(stderr, "packtool: %s %s: %s (%d)\n", what, name.c_str(), CodeText(code), code);
  return 1;
}

// Adds one file: the whole file read through ClassEFile, stored under its file
// name. Without SOURCE_DATE_EPOCH the created time is the file's modification time.
int AddOne(ClassEFile& pack, const std::string& path, bool replace, uint8_t method) {
  if (!g_haveEpoch) {
    const int r = pack.PackAddFile(path.c_str(), replace, method);
    return r ? Fail("add", path, r) : 0;
  }
  ClassEFile src;
  if (!src.Open(path.c_str(), 1)) return Fail("add", path, 7);
  const uint32_t size = src.Size();
  void* data = size ? ClassEMemory::Alloc(size) : nullptr;
  if (size && !data) return Fail("add", path, 2);
  if (size && !src.Read(data, size)) {
    ClassEMemory::DeAlloc(data);
    return Fail("add", path, 7);
  }
  src.Close();
  const int r = pack.PackAddFileData(path.c_str(), data, size, replace, method, g_epoch);
  ClassEMemory::DeAlloc(data);
  return r ? Fail("add", path, r) : 0;
}

int CmdAdd(int argc, char** argv) {
  if (argc < 3) return 2;
  uint8_t method = 2;
  bool replace = false;
  std::vector<std::string> files;
  for (int i = 3; i < argc; i++) {
    std::string a = argv[i];
    if (a == "-m" && i + 1 < argc) {
      std::string m = argv[++i];
      if (m != "0" && m != "1" && m != "2") return 2;
      method = static_cast<uint8_t>(m[0] - '0');
    } else if (a == "-r") {
      replace = true;
    } else if (a == "-l" && i + 1 < argc) {
      std::ifstream list(argv[++i]);
      if (!list) {
        std::fprintf(stderr, "packtool: cannot read list %s\n", argv[i]);
        return 1;
      }
      std::string line;
      while (std::getline(list, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        files.push_back(line);
      }
    } else {
      files.push_back(a);
    }
  }
  ClassEFile pack;
  if (!OpenPack(pack, argv[2], true)) return 1;
  for (const std::string& f : files)
    if (AddOne(pack, f, replace, method)) return 1;
  return 0;
}

int CmdList(int argc, char** argv) {
  if (argc != 3) return 2;
  ClassEFile pack;
  if (!OpenPack(pack, argv[2], false)) return 1;
  char vendor[5];
  pack.PackGetVendor(vendor);
  const uint32_t count = pack.PackContainFiles();
  std::printf("vendor %s, %u entries\n", vendor, static_cast<unsigned>(count));
  std::printf("%5s  %-40s %10s %10s %-6s %-19s  %-19s\n", "#", "name", "size", "stored", "method",
              "created (UTC)", "modified (UTC)");
  static const char* kMethods[] = {"stored", "lzw", "zlib"};
  int status = 0;
  for (uint32_t i = 0; i < count; i++) {
    EPK_FILEINFO e;
    if (!pack.PackGetFileInfo(&e, i, false)) {
      std::printf("%5u  (unreadable record)\n", static_cast<unsigned>(i));
      status = 1;
      continue;
    }
    std::printf("%5u  %-40s %10u %10u %-6s %-19s  %-19s\n", static_cast<unsigned>(i), e.name,
                static_cast<unsigned>(e.unpackedsize), static_cast<unsigned>(e.storedsize),
                e.method < 3 ? kMethods[e.method] : "?", Format(e.created).c_str(),
                Format(e.modified).c_str());
  }
  return status;
}

int CmdExtract(int argc, char** argv) {
  if (argc < 4) return 2;
  bool overwrite = false;
  std::vector<std::string> names;
  for (int i = 4; i < argc; i++) {
    if (std::strcmp(argv[i], "-f") == 0) overwrite = true;
    else names.push_back(argv[i]);
  }
  ClassEFile pack;
  if (!OpenPack(pack, argv[2], false)) return 1;
  if (names.empty()) {
    for (uint32_t i = 0; i < pack.PackContainFiles(); i++) {
      const int r = pack.PackExtractFile(argv[3], i, overwrite);
      if (r) return Fail("extract entry", std::to_string(i), r);
    }
    return 0;
  }
  for (const std::string& n : names) {
    const int r = pack.PackExtractFile(argv[3], n.c_str(), overwrite);
    if (r) return Fail("extract", n, r);
  }
  return 0;
}

int CmdDelete(int argc, char** argv) {
  if (argc < 4) return 2;
  ClassEFile pack;
  if (!OpenPack(pack, argv[2], true)) return 1;
  for (int i = 3; i < argc; i++) {
    const int r = pack.PackDeleteFile(argv[i]);
    if (r) return Fail("delete", argv[i], r);
  }
  return 0;
}

int CmdTag(int argc, char** argv) {
  if (argc != 4 || std::strlen(argv[3]) != 4) return 2;
  ClassEFile pack;
  if (!OpenPack(pack, argv[2], true)) return 1;
  if (!pack.PackChangeVendor(argv[3])) {
    std::fprintf(stderr, "packtool: cannot change the vendor tag\n");
    return 1;
  }
  return 0;
}

int CmdConvert(int argc, char** argv) {
  if (argc != 3) return 2;
  ClassEFile pack;
  if (!OpenPack(pack, argv[2], true)) return 1;
  if (!pack.ConvertPackFile()) {
    std::fprintf(stderr, "packtool: conversion failed\n");
    return 1;
  }
  return 0;
}

int CmdCreate(int argc, char** argv) {
  if (argc < 3 || argc > 4) return 2;
  if (argc == 4 && std::strlen(argv[3]) != 4) return 2;
  ClassEFile pack;
  const int r = pack.PackNew(argv[2], argc == 4 ? argv[3] : nullptr);
  return r ? Fail("create", argv[2], r) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (!ReadEpoch()) return 2;
  // One sync at the end instead of one per closed file.
  ClassEFile::SetSyncOnClose(false);
  const std::string cmd = argv[1];
  int r = 2;
  if (cmd == "create") r = CmdCreate(argc, argv);
  else if (cmd == "add") r = CmdAdd(argc, argv);
  else if (cmd == "list") r = CmdList(argc, argv);
  else if (cmd == "extract") r = CmdExtract(argc, argv);
  else if (cmd == "delete") r = CmdDelete(argc, argv);
  else if (cmd == "tag") r = CmdTag(argc, argv);
  else if (cmd == "convert") r = CmdConvert(argc, argv);
  if (r == 2) std::fputs(kUsage, stderr);
  sync();
  return r;
}
