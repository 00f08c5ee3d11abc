// The framework's LZW codec and the zlib one-call functions.
#include <zlib.h>

#include <cstring>
#include <new>

#include "framework/emod_bytes.h"
#include "framework/emod_memory.h"

namespace {

constexpr uint32_t kMaxEntries = 4096;
constexpr uint32_t kMaxString = 191;  // longest string one code stands for
constexpr uint32_t kHashSlots = 8192;  // power of two, more than twice the entries

// Codes written most significant bit first after the 16-byte header.
struct CodeWriter {
  uint8_t* out;
  uint32_t pos = 16, width = 9, acc = 0, bits = 0;

  void Put(uint32_t code) {
    acc = (acc << width) | code;
    bits += width;
    while (bits >= 8) {
      out[pos++] = static_cast<uint8_t>(acc >> (bits - 8));
      bits -= 8;
    }
    acc &= (1u << bits) - 1;
  }
  void Flush() {
    if (bits) out[pos++] = static_cast<uint8_t>(acc << (8 - bits));
  }
};

// Codes read the same way; false at the end of the stream.
struct CodeReader {
  const uint8_t* in;
  uint32_t size, pos = 16, acc = 0, bits = 0;

  bool Next(uint32_t width, uint32_t& code) {
    while (bits < width && pos < size) {
      acc = (acc << 8) | in[pos++];
      bits += 8;
    }
    if (bits < width) return false;
    code = (acc >> (bits - width)) & ((1u << width) - 1);
    bits -= width;
    acc &= (1u << bits) - 1;
    return true;
  }
};

// The compressor's index of dictionary strings by (code of w, next byte):
// open addressing, linear probing.
struct StringHash {
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
  uint32_t* keys = new (std::nothrow) uint32_t[kHashSlots];
  uint16_t* codes = new (std::nothrow) uint16_t[kHashSlots];

  ~StringHash() {
    delete[] keys;
    delete[] codes;
  }
  bool Ready() const { return keys && codes; }
  void Clear() { std::memset(keys, 0xFF, kHashSlots * sizeof(uint32_t)); }
  // The slot that holds key, or the empty slot where it goes.
  uint32_t Find(uint32_t key) const {
    uint32_t s = (key * 2654435761u) >> 19;  // 13 bits
    while (keys[s] != kEmpty && keys[s] != key) s = (s + 1) & (kHashSlots - 1);
    return s;
  }
};

// The decoder's output and the string the last code stood for.
struct Decoded {
  uint8_t* out;
  uint32_t unpacked;
  uint32_t cur = 0, pPos = 0, pLen = 0;

  // Room for a string of len bytes: within the longest string and the output.
  bool Fits(uint32_t len) const { return len <= kMaxString && len <= unpacked - cur; }
  void Took(uint32_t len) {
    pPos = cur;
    pLen = len;
    cur += len;
  }
};

}  // namespace

// Table set-up shared by both directions, and the codec's loops.
struct EMemoryCodec {
  static bool AllocTables(ClassEMemory& m) {
    FreeTables(m);
    m.codecOffsets_ = new (std::nothrow) uint32_t[kMaxEntries];
    m.codecLengths_ = new (std::nothrow) uint8_t[kMaxEntries];
    m.codecEntries_ = 0;
    if (!m.codecOffsets_ || !m.codecLengths_) {
      FreeTables(m);
      return false;
    }
    return true;
  }
  static void FreeTables(ClassEMemory& m) {
    delete[] m.codecOffsets_;
    delete[] m.codecLengths_;
    m.codecOffsets_ = nullptr;
    m.codecLengths_ = nullptr;
    m.codecEntries_ = 0;
  }
  // A dictionary entry for the length bytes at offset, while there is room.
  static bool AddEntry(ClassEMemory& m, uint32_t offset, uint32_t length) {
    if (m.codecEntries_ + 256 > 4000) return false;
    m.codecOffsets_[m.codecEntries_] = offset;
    m.codecLengths_[m.codecEntries_] = static_cast<uint8_t>(length);
    m.codecEntries_++;
    return true;
  }
  static bool Pack(ClassEMemory& m, const uint8_t* in, uint32_t n, StringHash& hash, CodeWriter& w);
  static bool Unpack(ClassEMemory& m, CodeReader& r, Decoded& d);
  static bool Expand(ClassEMemory& m, uint32_t code, Decoded& d);
};

// The codes of in[0..n): the longest known string at each step, then a new
// entry for it plus the next byte. False when the output would not be
// smaller than the input.
bool EMemoryCodec::Pack(ClassEMemory& m, const uint8_t* in, uint32_t n, StringHash& hash, CodeWriter& w) {
  uint32_t limit = 512;
  uint32_t wCode = in[0], wLen = 1, wStart = 0;
  for (uint32_t i = 1; i < n; i++) {
    const uint8_t c = in[i];
    const uint32_t key = (wCode << 8) | c;
    // Strings of 192 bytes and more are not looked up: their codes can repeat.
    const bool hashed = wLen + 1 < 192;
    const uint32_t slot = hashed ? hash.Find(key) : 0;
    if (hashed && hash.keys[slot] == key) {
      wCode = hash.codes[slot];
      wLen++;
      continue;
    }
    const uint32_t e = m.codecEntries_;
    if (AddEntry(m, wStart, wLen + 1) && hashed) {
      hash.keys[slot] = key;
      hash.codes[slot] = static_cast<uint16_t>(256 + e);
    }
    w.Put(wCode);
    if (m.codecEntries_ + 255 >= 4000) {
      m.codecEntries_ = 0;
      w.width = 9;
      limit = 512;
      hash.Clear();
    }
    if (m.codecEntries_ + 255 >= limit) {
      limit <<= 1;
      w.width++;
    }
    wCode = c;
    wLen = 1;
    wStart = i;
    if (w.pos + 6 >= n) return false;
  }
  w.Put(wCode);
  w.Flush();
  return true;
}

// Every code of the stream into d; false at a code that cannot occur or a
// string that does not fit.
bool EMemoryCodec::Unpack(ClassEMemory& m, CodeReader& r, Decoded& d) {
  uint32_t width = 9, limit = 512, code;
  bool first = true;
  while (r.Next(width, code)) {
    if (first) {
      // After a reset: a literal byte.
      if (code >= 256 || d.cur + 1 > d.unpacked) return false;
      d.out[d.cur] = static_cast<uint8_t>(code);
      d.Took(1);
      first = false;
    } else if (!Expand(m, code, d)) {
      return false;
    }
    if (m.codecEntries_ + 256 > 3999) {
      m.codecEntries_ = 0;
      width = 9;
      limit = 512;
      first = true;
    }
    if (m.codecEntries_ + 256 >= limit) {
      limit <<= 1;
      width++;
    }
  }
  return true;
}

// One code after the first: a known string (the previous one plus its first
// byte becomes an entry), or the entry being defined (the previous string
// plus its own first byte).
bool EMemoryCodec::Expand(ClassEMemory& m, uint32_t code, Decoded& d) {
  if (code < m.codecEntries_ + 256) {
    const uint32_t len = code < 256 ? 1 : m.codecLengths_[code - 256];
    if (!d.Fits(len)) return false;
    AddEntry(m, d.pPos, d.pLen + 1);
    uint8_t* to = d.out + d.cur;
    if (code < 256) {
      to[0] = static_cast<uint8_t>(code);
    } else {
      const uint8_t* src = d.out + m.codecOffsets_[code - 256];
      for (uint32_t k = 0; k < len; k++) to[k] = src[k];
    }
    d.Took(len);
    return true;
  }
  if (code != m.codecEntries_ + 256) return false;
  const uint32_t len = d.pLen + 1;
  if (!d.Fits(len)) return false;
  uint8_t* to = d.out + d.cur;
  const uint8_t* from = d.out + d.pPos;
  for (uint32_t k = 0; k + 1 < len; k++) to[k] = from[k];
  to[len - 1] = from[0];
  AddEntry(m, d.cur, len);
  d.Took(len);
  return true;
}

bool ClassEMemory::AddCmpString(const uint8_t*, uint32_t position, uint32_t length) {
  if (!codecOffsets_ || !codecLengths_ || length == 0 || length > 255) return false;
  return EMemoryCodec::AddEntry(*this, position - length + 1, length);
}

bool ClassEMemory::AddUCmpString(const uint8_t* data, uint32_t position, uint32_t length) {
  return AddCmpString(data, position, length);
}

uint32_t ClassEMemory::FindString(const uint8_t* data, const uint8_t* string, uint32_t length) {
  if (length == 0 || !string) return 0;
  if (length == 1) return string[0] + 1u;
  if (!codecOffsets_ || !codecLengths_ || !data) return 0;
  for (uint32_t i = 0; i < codecEntries_; i++) {
    if (codecLengths_[i] != length) continue;
    const uint8_t* e = data + codecOffsets_[i];
    if (e[length - 1] != string[length - 1]) continue;
    if (std::memcmp(e, string, length) == 0) return 257 + i;
  }
  return 0;
}

void ClassEMemory::GetString(const uint8_t* data, uint8_t* out, uint32_t& length, uint32_t code) {
  if (code >= codecEntries_ + 256 || !out) {
    length = 0;
    return;
  }
  if (code < 256) {
    out[0] = static_cast<uint8_t>(code);
    length = 1;
    return;
  }
  if (!codecOffsets_ || !codecLengths_ || !data) {
    length = 0;
    return;
  }
  length = codecLengths_[code - 256];
  std::memcpy(out, data + codecOffsets_[code - 256], length);
}

// The lookup of w + c goes through a (code of w, byte) hash instead of the
// linear dictionary scan: dictionary strings shorter than 192 bytes are unique
// and each extends an existing code by one byte, so both find the same entry
// and the output is byte-identical.
bool ClassEMemory::Compress(void* outBlock, uint32_t& size, const void* inBlock, uint32_t n) {
  if (n == 0 || !inBlock || !outBlock) return false;
  if (!EMemoryCodec::AllocTables(*this)) return false;
  StringHash hash;
  CodeWriter w{static_cast<uint8_t*>(outBlock)};
  bool ok = hash.Ready();
  if (ok) {
    hash.Clear();
    ok = EMemoryCodec::Pack(*this, static_cast<const uint8_t*>(inBlock), n, hash, w);
  }
  if (ok) {
    std::memset(w.out, 0, 8);
    EBytes_Put32(w.out + 8, w.pos);
    EBytes_Put32(w.out + 12, n);
    size = w.pos;
  }
  EMemoryCodec::FreeTables(*this);
  return ok;
}

// Decodes into at most `size` bytes. Fails (0) on a stream shorter than its
// header, a header size above the capacity, a code that cannot occur in a valid
// stream, or a decoded length that differs from the header's.
bool ClassEMemory::UnCompress(void* outBlock, uint32_t& size, const void* inBlock, uint32_t m) {
  if (m == 0 || !inBlock) return false;
  const uint8_t* in = static_cast<const uint8_t*>(inBlock);
  if (m < 16) return false;
  const uint32_t capacity = size;
  const uint32_t unpacked = EBytes_Get32(in + 12);
  size = unpacked;
  if (unpacked > capacity || (unpacked && !outBlock)) return false;
  if (!EMemoryCodec::AllocTables(*this)) return false;
  CodeReader r{in, m};
  Decoded d{static_cast<uint8_t*>(outBlock), unpacked};
  const bool ok = EMemoryCodec::Unpack(*this, r, d);
  EMemoryCodec::FreeTables(*this);
  return ok && d.cur == unpacked;
}

// ---- zlib one-call functions ----

namespace {

voidpf ZAlloc(voidpf, uInt items, uInt size) {
  const uint64_t bytes = static_cast<uint64_t>(items) * size;
  if (bytes == 0 || bytes > 0xFFFFFFFFu) return Z_NULL;
  return new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]();
}
// Blocks come from new[], so they go back through delete[].
void ZFree(voidpf, voidpf block) { delete[] static_cast<uint8_t*>(block); }

}  // namespace

bool ClassEMemory::CompressZLib(void* out, uint32_t& size, const void* in, uint32_t length) {
  if (!out) return false;
  z_stream s;
  std::memset(&s, 0, sizeof s);
  s.zalloc = ZAlloc;
  s.zfree = ZFree;
  if (deflateInit(&s, Z_DEFAULT_COMPRESSION) != Z_OK) return false;
  s.next_in = static_cast<Bytef*>(const_cast<void*>(in));
  s.avail_in = in ? length : 0;
  s.next_out = static_cast<Bytef*>(out);
  s.avail_out = size;
  const int r = deflate(&s, Z_FINISH);
  const uLong produced = s.total_out;
  const int e = deflateEnd(&s);
  if (r != Z_STREAM_END || e != Z_OK) return false;
  size = static_cast<uint32_t>(produced);
  return true;
}

bool ClassEMemory::UnCompressZLib(void* out, uint32_t& size, const void* in, uint32_t length) {
  if (!in || length == 0) return false;
  z_stream s;
  std::memset(&s, 0, sizeof s);
  s.zalloc = ZAlloc;
  s.zfree = ZFree;
  if (inflateInit(&s) != Z_OK) return false;
  s.next_in = static_cast<Bytef*>(const_cast<void*>(in));
  s.avail_in = length;
  uint8_t dummy = 0;
  s.next_out = out ? static_cast<Bytef*>(out) : &dummy;
  s.avail_out = out ? size : 0;
  const int r = inflate(&s, Z_FINISH);
  const uLong produced = s.total_out;
  const int e = inflateEnd(&s);
  if (r != Z_STREAM_END || e != Z_OK) return false;
  size = static_cast<uint32_t>(produced);
  return true;
}

// ---- CZLib ----

#include "framework/emod_czlib.h"

CZLib::CZLib() : stream_(new (std::nothrow) z_stream()) {
  if (stream_) {
    stream_->zalloc = ZAlloc;
    stream_->zfree = ZFree;
    stream_->opaque = Z_NULL;
  }
}
CZLib::~CZLib() { delete stream_; }

void CZLib::SetupInput(const void* b, uint32_t n) {
  SetupInputBuffer(b);
  SetupInputLength(n);
}
void CZLib::SetupInputBuffer(const void* b) {
  if (stream_) stream_->next_in = static_cast<Bytef*>(const_cast<void*>(b));
}
void CZLib::SetupInputLength(uint32_t n) {
  if (stream_) stream_->avail_in = n;
}
void CZLib::SetupOutput(void* b, uint32_t n) {
  SetupOutputBuffer(b);
  SetupOutputLength(n);
}
void CZLib::SetupOutputBuffer(void* b) {
  if (stream_) stream_->next_out = static_cast<Bytef*>(b);
}
void CZLib::SetupOutputLength(uint32_t n) {
  if (stream_) stream_->avail_out = n;
}
const uint8_t* CZLib::NextInput() const { return stream_ ? stream_->next_in : nullptr; }
uint32_t CZLib::AvailableInput() const { return stream_ ? stream_->avail_in : 0; }
uint32_t CZLib::TotalInput() const { return stream_ ? static_cast<uint32_t>(stream_->total_in) : 0; }
uint8_t* CZLib::NextOutput() const { return stream_ ? stream_->next_out : nullptr; }
uint32_t CZLib::AvailableOutput() const { return stream_ ? stream_->avail_out : 0; }
uint32_t CZLib::TotalOutput() const { return stream_ ? static_cast<uint32_t>(stream_->total_out) : 0; }
int CZLib::DataType() const { return stream_ ? stream_->data_type : 0; }
uint32_t CZLib::Adler() const { return stream_ ? static_cast<uint32_t>(stream_->adler) : 0; }

int CZLib::InflateInit(int windowBits) { return stream_ ? inflateInit2(stream_, windowBits) : Z_MEM_ERROR; }
int CZLib::Inflate(int flush) { return stream_ ? inflate(stream_, flush) : Z_STREAM_ERROR; }
int CZLib::InflateEnd() { return stream_ ? inflateEnd(stream_) : Z_STREAM_ERROR; }
int CZLib::InflateSetDictionary(const uint8_t* d, uint32_t n) {
  return stream_ ? inflateSetDictionary(stream_, d, n) : Z_STREAM_ERROR;
}
int CZLib::InflateSync() { return stream_ ? inflateSync(stream_) : Z_STREAM_ERROR; }
int CZLib::InflateReset() { return stream_ ? inflateReset(stream_) : Z_STREAM_ERROR; }
int CZLib::DeflateInit(int level, int method, int windowBits, int memLevel, int strategy) {
  return stream_ ? deflateInit2(stream_, level, method, windowBits, memLevel, strategy) : Z_MEM_ERROR;
}
int CZLib::Deflate(int flush) { return stream_ ? deflate(stream_, flush) : Z_STREAM_ERROR; }
int CZLib::DeflateEnd() { return stream_ ? deflateEnd(stream_) : Z_STREAM_ERROR; }
int CZLib::DeflateSetDictionary(const uint8_t* d, uint32_t n) {
  return stream_ ? deflateSetDictionary(stream_, d, n) : Z_STREAM_ERROR;
}
int CZLib::DeflateCopy(CZLib& source) {
  return stream_ && source.stream_ ? deflateCopy(stream_, source.stream_) : Z_STREAM_ERROR;
}
int CZLib::DeflateReset() { return stream_ ? deflateReset(stream_) : Z_STREAM_ERROR; }
int CZLib::DeflateParams(int level, int strategy) {
  return stream_ ? deflateParams(stream_, level, strategy) : Z_STREAM_ERROR;
}

int CZLib::Compress(uint8_t* dest, uint32_t& destLength, const uint8_t* source, uint32_t length,
                    int level) {
  CZLib z;
  int r = z.DeflateInit(level);
  if (r != Z_OK) return r;
  z.SetupInput(source, length);
  z.SetupOutput(dest, destLength);
  r = z.Deflate(Z_FINISH);
  destLength = z.TotalOutput();
  const int e = z.DeflateEnd();
  if (r == Z_STREAM_END) return e;
  return r == Z_OK ? Z_BUF_ERROR : r;
}

int CZLib::Uncompress(uint8_t* dest, uint32_t& destLength, const uint8_t* source, uint32_t length) {
  CZLib z;
  int r = z.InflateInit();
  if (r != Z_OK) return r;
  z.SetupInput(source, length);
  z.SetupOutput(dest, destLength);
  r = z.Inflate(Z_FINISH);
  destLength = z.TotalOutput();
  const int e = z.InflateEnd();
  if (r == Z_STREAM_END) return e;
  return r == Z_OK || r == Z_NEED_DICT ? (r == Z_OK ? Z_BUF_ERROR : Z_DATA_ERROR) : r;
}

uint32_t CZLib::Adler32(uint32_t adler, const uint8_t* d, uint32_t n) {
  return static_cast<uint32_t>(adler32(adler, d, n));
}
uint32_t CZLib::Crc32(uint32_t crc, const uint8_t* d, uint32_t n) {
  return static_cast<uint32_t>(crc32(crc, d, n));
}
