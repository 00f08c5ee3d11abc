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
}  // namespace

// Table set-up shared by both directions.
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
};

bool ClassEMemory::AddCmpString(const uint8_t*, uint32_t position, uint32_t length) {
  if (!codecOffsets_ || !codecLengths_ || length == 0 || length > 255) return false;
  if (codecEntries_ + 256 > 4000) return false;
  codecOffsets_[codecEntries_] = position - length + 1;
  codecLengths_[codecEntries_] = static_cast<uint8_t>(length);
  codecEntries_++;
  return true;
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
  uint32_t* hashKey = new (std::nothrow) uint32_t[kHashSlots];
  uint16_t* hashCode = new (std::nothrow) uint16_t[kHashSlots];
  if (!hashKey || !hashCode) {
    delete[] hashKey;
    delete[] hashCode;
    EMemoryCodec::FreeTables(*this);
    return false;
  }
  const uint32_t kEmpty = 0xFFFFFFFFu;
  std::memset(hashKey, 0xFF, kHashSlots * sizeof(uint32_t));
  auto slotOf = [](uint32_t key) { return (key * 2654435761u) >> 19; };  // 13 bits

  const uint8_t* in = static_cast<const uint8_t*>(inBlock);
  uint8_t* out = static_cast<uint8_t*>(outBlock);
  uint32_t pos = 16, width = 9, limit = 512;
  uint32_t acc = 0, bits = 0;
  auto emit = [&](uint32_t code) {
    acc = (acc << width) | code;
    bits += width;
    while (bits >= 8) {
      out[pos++] = static_cast<uint8_t>(acc >> (bits - 8));
      bits -= 8;
    }
    acc &= (1u << bits) - 1;
  };

  uint32_t wCode = in[0], wLen = 1, wStart = 0;
  bool failed = false;
  for (uint32_t i = 1; i < n; i++) {
    const uint8_t c = in[i];
    const uint32_t key = (wCode << 8) | c;
    if (wLen + 1 < 192) {
      uint32_t s = slotOf(key);
      while (hashKey[s] != kEmpty && hashKey[s] != key) s = (s + 1) & (kHashSlots - 1);
      if (hashKey[s] == key) {
        wCode = hashCode[s];
        wLen++;
        continue;
      }
    }
    if (codecEntries_ + 256 <= 4000) {
      const uint32_t e = codecEntries_;
      codecOffsets_[e] = wStart;
      codecLengths_[e] = static_cast<uint8_t>(wLen + 1);
      codecEntries_++;
      if (wLen + 1 < 192) {
        uint32_t s = slotOf(key);
        while (hashKey[s] != kEmpty) s = (s + 1) & (kHashSlots - 1);
        hashKey[s] = key;
        hashCode[s] = static_cast<uint16_t>(256 + e);
      }
    }
    emit(wCode);
    if (codecEntries_ + 255 >= 4000) {
      codecEntries_ = 0;
      width = 9;
      limit = 512;
      std::memset(hashKey, 0xFF, kHashSlots * sizeof(uint32_t));
    }
    if (codecEntries_ + 255 >= limit) {
      limit <<= 1;
      width++;
    }
    wCode = c;
    wLen = 1;
    wStart = i;
    if (pos + 6 >= n) {
      failed = true;
      break;
    }
  }
  if (!failed) {
    emit(wCode);
    if (bits) out[pos++] = static_cast<uint8_t>(acc << (8 - bits));
    std::memset(out, 0, 8);
    EBytes_Put32(out + 8, pos);
    EBytes_Put32(out + 12, n);
    size = pos;
  }
  delete[] hashKey;
  delete[] hashCode;
  EMemoryCodec::FreeTables(*this);
  return !failed;
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
  uint8_t* out = static_cast<uint8_t*>(outBlock);

  uint32_t width = 9, limit = 512, acc = 0, bits = 0, inPos = 16, cur = 0;
  uint32_t pPos = 0, pLen = 0;
  bool first = true, ok = true;
  for (;;) {
    while (bits < width && inPos < m) {
      acc = (acc << 8) | in[inPos++];
      bits += 8;
    }
    if (bits < width) break;
    const uint32_t code = (acc >> (bits - width)) & ((1u << width) - 1);
    bits -= width;
    acc &= (1u << bits) - 1;

    if (first) {
      if (code >= 256 || cur + 1 > unpacked) {
        ok = false;
        break;
      }
      out[cur] = static_cast<uint8_t>(code);
      pPos = cur;
      pLen = 1;
      cur++;
      first = false;
    } else if (code < codecEntries_ + 256) {
      const uint32_t len = code < 256 ? 1 : codecLengths_[code - 256];
      if (len > kMaxString || len > unpacked - cur) {
        ok = false;
        break;
      }
      if (codecEntries_ + 256 <= 4000) {
        codecOffsets_[codecEntries_] = pPos;
        codecLengths_[codecEntries_] = static_cast<uint8_t>(pLen + 1);
        codecEntries_++;
      }
      if (code < 256) {
        out[cur] = static_cast<uint8_t>(code);
      } else {
        const uint8_t* src = out + codecOffsets_[code - 256];
        for (uint32_t k = 0; k < len; k++) out[cur + k] = src[k];
      }
      pPos = cur;
      pLen = len;
      cur += len;
    } else if (code == codecEntries_ + 256) {
      const uint32_t len = pLen + 1;
      if (len > kMaxString || len > unpacked - cur) {
        ok = false;
        break;
      }
      for (uint32_t k = 0; k < pLen; k++) out[cur + k] = out[pPos + k];
      out[cur + pLen] = out[pPos];
      if (codecEntries_ + 256 <= 4000) {
        codecOffsets_[codecEntries_] = cur;
        codecLengths_[codecEntries_] = static_cast<uint8_t>(len);
        codecEntries_++;
      }
      pPos = cur;
      pLen = len;
      cur += len;
    } else {
      ok = false;
      break;
    }
    if (codecEntries_ + 256 > 3999) {
      codecEntries_ = 0;
      width = 9;
      limit = 512;
      first = true;
    }
    if (codecEntries_ + 256 >= limit) {
      limit <<= 1;
      width++;
    }
  }
  EMemoryCodec::FreeTables(*this);
  return ok && cur == unpacked;
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
