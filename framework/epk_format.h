// Pack archive layout and the constants that every reader and writer of our
// packs (the framework, tools/packtool and the tests) must share.
//
// All multi-byte values are little-endian.
//
// EPK2 (read and written):
//
//   offset size  field
//   0      4     magic "EPK2"
//   4      4     vendor tag, four characters (kEpkDefaultVendor when none was given)
//   8      4     u32 header size: 28
//   12     1     version: 200
//   13     3     reserved, written as 0
//   16     4     u32 entry count
//   20     4     u32 header check word (below)
//   24     2     u16 reserved, written as 0
//   26     2     reserved, written as 0
//   28     ...   entries in index order without gaps: a 92-byte entry record,
//                then the entry's stored bytes
//   end-4n 4n    index table: for entry i the u32 file offset of its record;
//                always the last 4 x count bytes of the file
//
// Entry record (92 bytes):
//   0  u32 record size: 92
//   4  64 bytes stored name, 8-bit, zero-terminated (at most 63 characters):
//        the file name without folders; a longer name is cut to 63 characters and
//        its extension (from the last ".", at most 32 characters with the dot)
//        written over the end of those 63
//   68 u32 data offset: written as 0 (readers use record offset + record size)
//   72 u32 unpacked size
//   76 u32 stored size (the bytes that follow the record)
//   80 u8  method: 0 stored, 1 LZW (below), 2 zlib stream (RFC 1950)
//   81 u8  reserved 0;  82 u16 reserved 0
//   84 u32 created, 88 u32 modified: seconds since 1970-01-01 UTC
// A writer keeps a compressed form only when it saves more than 4 bytes
// (stored size < unpacked size - 4) and only for entries of 5 bytes or more;
// otherwise the entry is stored with method 0.
//
// Header check word: take the 28 header bytes with the check word field set to
// 0, form the MD5 digest as 32 lowercase hex characters, take characters 5, 6, 7
// and 8 (counting from 0) as four bytes in that order, read them as a
// little-endian u32, and add kEpkCheckConstant (mod 2^32). A header whose check
// word does not match is not a pack.
//
// EPCK (older, read only; converted to EPK2 before any change):
//   0 "EPCK", 4 vendor tag, 8..15 unused, 16 u32 entry count, 20..31 unused,
//   32 + 152 x i: entry i: 128-byte name (8-bit, terminated, may hold a path;
//   the folder part is dropped), u32 absolute data offset at 128, u32 unpacked
//   size at 132, u32 stored size at 136, method in the low byte of the u32 at
//   140, 144..151 unused. No times (read as 0).
//
// LZW stream (method 1):
//   0 8 bytes reserved (written as 0), 8 u32 total stream size with this
//   16-byte header, 12 u32 unpacked size, 16 codes.
//   Codes are 9 to 12 bits, packed most significant bit first; the last partial
//   byte is padded with zero low bits. No clear or end code. Codes 0-255 are
//   bytes, 256 + i is dictionary entry i. The encoder starts with w = first
//   byte; for each next byte c it extends w while w + c (shorter than 192
//   bytes) is in the dictionary; otherwise it adds w + c as a new entry (while
//   entries + 256 <= 4000), emits the code of w, resets the dictionary when
//   entries + 255 >= 4000 (entries 0, width 9, limit 512), grows the width when
//   entries + 255 >= limit (limit doubles), and restarts w = c. At the end the
//   code of w is emitted. The decoder mirrors this one entry behind.
#ifndef ZARN_FRAMEWORK_EPK_FORMAT_H
#define ZARN_FRAMEWORK_EPK_FORMAT_H

#include <cstdint>

constexpr uint32_t kEpkHeaderSize = 28;
constexpr uint8_t kEpkVersion = 200;
constexpr uint8_t kEpckVersion = 100;  // version byte of the header image of an EPCK pack
constexpr uint32_t kEpkRecordSize = 92;
constexpr uint32_t kEpkNameSize = 64;
constexpr uint32_t kEpckEntrySize = 152;
constexpr uint32_t kEpckTableStart = 32;
constexpr uint32_t kEpkMaxEntries = 32767;  // adding refuses beyond this count
constexpr uint32_t kEpkMoveChunk = 32768;

// Added to the digest-derived word of every header check word.
constexpr uint32_t kEpkCheckConstant = 0x5A4B3E17u;
// Vendor tag of packs created without one.
constexpr char kEpkDefaultVendor[5] = "ZARN";

#endif
