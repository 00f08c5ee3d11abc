#include "sound/moxData.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int32_t kAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                            768, 614, 512, 409, 307, 230, 230, 230};

// Reads a whole file into a new block; -200 when it cannot be opened, -300 when it
// is empty or cannot be read, -10 without memory.
int ReadFile(const char* name, unsigned char** out, uint32_t* size) {
  if (!name || !*name) return MOX_ERR_NAME;
  FILE* f = std::fopen(name, "rb");
  if (!f) return MOX_ERR_NAME;
  int rc = MOX_ERR_READ;
  long n = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) n = std::ftell(f);
  if (n > 0 && n < 0x40000000L && std::fseek(f, 0, SEEK_SET) == 0) {
    auto* buf = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(n)));
    if (!buf) {
      rc = MOX_ERR_MEMORY;
    } else if (std::fread(buf, 1, static_cast<size_t>(n), f) != static_cast<size_t>(n)) {
      std::free(buf);
    } else {
      *out = buf;
      *size = static_cast<uint32_t>(n);
      rc = 0;
    }
  }
  std::fclose(f);
  return rc;
}

inline bool Tag(const unsigned char* p, const char* t) { return std::memcmp(p, t, 4) == 0; }

// `n` bytes in place, or with `copy` a copy the caller then owns (*owned set);
// null without memory.
const unsigned char* KeepBytes(const unsigned char* p, uint32_t n, bool copy, uint8_t* owned) {
  *owned = 0;
  if (!copy) return p;
  auto* buf = static_cast<unsigned char*>(std::malloc(n));
  if (!buf) return nullptr;
  std::memcpy(buf, p, n);
  *owned = 1;
  return buf;
}

// A whole file through an image loader (which copies what it keeps).
template <class T>
int LoadFile(T& into, const char* name) {
  unsigned char* buf = nullptr;
  uint32_t size = 0;
  const int rc = ReadFile(name, &buf, &size);
  if (rc) return rc;
  const int r = into.load(buf, size, true);
  std::free(buf);
  return r;
}

}  // namespace

// ---- moxSound ----------------------------------------------------------------------------

moxSound::moxSound() = default;
moxSound::~moxSound() { unload(); }

void moxSound::unload() {
  if (owned_) std::free(const_cast<void*>(data_));
  data_ = nullptr;
  owned_ = 0;
  length_ = 0;
}

void moxSound::frequency(unsigned f) {
  frequency_ = f;
  speed_ = moxUtility::speedOf(f, rate_);
}

void moxSound::speed(unsigned s) {
  speed_ = s;
  frequency_ = moxUtility::frequencyOf(s, rate_);
}

int moxSound::init_MSADPCM(const unsigned char* fmt, uint32_t fmtSize) {
  // tag, channels, rate, byte rate, align, bits, extra size, samples per block,
  // coefficient count, 7 pairs.
  if (!fmt || fmtSize < 22 + 28) return -1;
  std::memcpy(format_, fmt, 16);
  samplesPerBlock_ = moxUtility::le16(fmt + 18);
  coefCount_ = moxUtility::le16(fmt + 20);
  if (coefCount_ != 7) return -1;
  for (int i = 0; i < 7; i++) {
    coef_[i][0] = static_cast<int16_t>(moxUtility::le16(fmt + 22 + 4 * i));
    coef_[i][1] = static_cast<int16_t>(moxUtility::le16(fmt + 24 + 4 * i));
  }
  return 0;
}

int32_t moxSound::nibble_MSADPCM(moxAdpcmState* st, uint32_t nibble, const int16_t* c) {
  const int32_t n = nibble >= 8 ? static_cast<int32_t>(nibble) - 16 : static_cast<int32_t>(nibble);
  int32_t s = (st->s1 * c[0] + st->s2 * c[1]) / 256 + n * st->delta;
  s = s < -32768 ? -32768 : s > 32767 ? 32767 : s;
  int32_t d = st->delta * kAdapt[nibble & 15] / 256;
  // Hostile headers can grow the delta without bound: keep the product in range.
  if (d > 0x7FFFFFFF / 768) d = 0x7FFFFFFF / 768;
  st->delta = d < 16 ? 16 : d;
  st->s2 = st->s1;
  st->s1 = s;
  return s;
}

int moxSound::decode_MSADPCM(const unsigned char*& data, uint32_t& length, bool freeSource) {
  const uint32_t channels = moxUtility::le16(format_ + 2);
  const uint32_t align = moxUtility::le16(format_ + 12);
  const uint32_t spb = samplesPerBlock_;
  if ((channels != 1 && channels != 2) || align <= 7 * channels || spb < 2) return -1;
  // A block holds its header and (spb - 2) x channels nibbles, no more.
  if (static_cast<uint64_t>(spb - 2) * channels > static_cast<uint64_t>(align - 7 * channels) * 2) return -1;
  const uint32_t blocks = length / align;
  const uint64_t samples = static_cast<uint64_t>(blocks) * spb * channels;
  if (samples == 0 || samples / channels >= (1u << 24)) return -1;
  auto* out = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(samples * 2)));
  if (!out) return -1;
  unsigned char* o = out;
  auto put = [&o](int32_t v) {
    const uint16_t u = static_cast<uint16_t>(v);
    o[0] = static_cast<unsigned char>(u);
    o[1] = static_cast<unsigned char>(u >> 8);
    o += 2;
  };
  for (uint32_t b = 0; b < blocks; b++) {
    const unsigned char* p = data + static_cast<size_t>(b) * align;
    for (uint32_t c = 0; c < channels; c++) {
      const uint32_t pred = p[c];
      if (pred >= 7) {
        std::free(out);
        return -1;
      }
      state_[c].predictor = static_cast<int32_t>(pred);
      state_[c].delta = static_cast<int16_t>(moxUtility::le16(p + channels + 2 * c));
      state_[c].s1 = static_cast<int16_t>(moxUtility::le16(p + 3 * channels + 2 * c));
      state_[c].s2 = static_cast<int16_t>(moxUtility::le16(p + 5 * channels + 2 * c));
    }
    for (uint32_t c = 0; c < channels; c++) put(state_[c].s2);
    for (uint32_t c = 0; c < channels; c++) put(state_[c].s1);
    const unsigned char* q = p + 7 * channels;
    const uint32_t nibbles = (spb - 2) * channels;
    for (uint32_t k = 0; k < nibbles; k++) {
      const uint32_t byte = q[k >> 1];
      const uint32_t code = (k & 1) ? (byte & 0x0F) : (byte >> 4);
      const uint32_t c = channels == 2 ? (k & 1) : 0;
      put(nibble_MSADPCM(&state_[c], code, coef_[state_[c].predictor]));
    }
  }
  if (freeSource) std::free(const_cast<unsigned char*>(data));
  data = out;
  length = static_cast<uint32_t>(samples * 2);
  return 0;
}

namespace {

constexpr uint32_t kTagPcm = 1, kTagMsAdpcm = 2, kTagExtensible = 0xFFFE;
// The sub-format GUID of PCM in the extensible form.
const unsigned char kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                    0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// PCM (plain or extensible) on 8 or 16 bits, MS-ADPCM on 4. Every other coding
// (a-law, u-law, float, other ADPCMs) would play its bytes as noise.
bool PlayedForm(uint32_t tag, uint32_t bits, const unsigned char* fmt, uint32_t fmtSize) {
  if (tag == kTagMsAdpcm) return bits == 4;
  if (bits == 4) return false;
  if (tag == kTagPcm) return true;
  // cbSize, valid bits and channel mask come before the GUID.
  return tag == kTagExtensible && fmtSize >= 40 && std::memcmp(fmt + 24, kPcmGuid, 16) == 0;
}

// Walks the chunks from `at` (each padded to an even size) to "data"; false
// when there is none. A data chunk that claims more than the image holds is
// cut at its end.
bool FindDataChunk(const unsigned char* img, uint32_t size, uint64_t at, const unsigned char** data,
                   uint32_t* dataSize) {
  while (at + 8 <= size) {
    const uint32_t csize = moxUtility::le32(img + at + 4);
    if (Tag(img + at, "data")) {
      *data = img + at + 8;
      const uint64_t left = size - (at + 8);
      *dataSize = csize > left ? static_cast<uint32_t>(left) : csize;
      return true;
    }
    at += 8ull + csize + (csize & 1u);
  }
  return false;
}

}  // namespace

int moxSound::load(const void* image, uint32_t size, bool copy) {
  unload();
  if (!image) return MOX_ERR_MEMORY;
  const auto* img = static_cast<const unsigned char*>(image);
  if (size < 20 || !Tag(img + 12, "fmt ")) return MOX_ERR_READ;
  const uint32_t fmtSize = moxUtility::le32(img + 16);
  // The fmt body must hold its 16 bytes and lie inside the image.
  if (fmtSize < 16 || fmtSize > size - 20) return MOX_ERR_READ;
  const unsigned char* fmt = img + 20;
  const uint32_t tag = moxUtility::le16(fmt);
  const uint32_t channels = moxUtility::le16(fmt + 2);
  const uint32_t rate = moxUtility::le32(fmt + 4);
  const uint32_t bits = moxUtility::le16(fmt + 14);
  if (bits != 4 && bits != 8 && bits != 16) return MOX_ERR_FORMAT;
  if (channels != 1 && channels != 2) return MOX_ERR_FORMAT;
  if (rate == 0) return MOX_ERR_FORMAT;
  if (!PlayedForm(tag, bits, fmt, fmtSize)) return MOX_ERR_FORMAT;
  const unsigned char* data = nullptr;
  uint32_t dataSize = 0;
  if (!FindDataChunk(img, size, 20ull + fmtSize + (fmtSize & 1u), &data, &dataSize))
    return MOX_ERR_READ;
  rate_ = rate;
  stereo_ = channels == 2 ? 1 : 0;
  const int rc = bits == 4 ? loadAdpcm(fmt, fmtSize, data, dataSize)
                           : loadPcm(bits, channels, data, dataSize, copy);
  if (rc != 0) return rc;
  if (stereo_) length_ /= 2;
  frequency_ = rate_;
  speed_ = 128;
  return 0;
}

int moxSound::loadAdpcm(const unsigned char* fmt, uint32_t fmtSize, const unsigned char* data,
                        uint32_t dataSize) {
  if (init_MSADPCM(fmt, fmtSize) != 0) return MOX_ERR_FORMAT;
  const unsigned char* pcm = data;
  uint32_t bytes = dataSize;
  if (decode_MSADPCM(pcm, bytes, false) != 0) return MOX_ERR_FORMAT;
  data_ = pcm;
  owned_ = 1;
  eight_ = 0;
  length_ = bytes / 2;
  return 0;
}

int moxSound::loadPcm(uint32_t bits, uint32_t channels, const unsigned char* data,
                      uint32_t dataSize, bool copy) {
  eight_ = bits == 8 ? 1 : 0;
  length_ = eight_ ? dataSize : dataSize / 2;
  // Positions are 24.8 fixed point.
  if (length_ / channels >= (1u << 24)) {
    length_ = 0;
    return MOX_ERR_FORMAT;
  }
  data_ = KeepBytes(data, dataSize, copy && dataSize, &owned_);
  if (!data_) {
    length_ = 0;
    return MOX_ERR_MEMORY;
  }
  return 0;
}

int moxSound::load(const char* name) { return LoadFile(*this, name); }

// ---- moxMusic ------------------------------------------------------------------------------

moxMusic::moxMusic() = default;
moxMusic::~moxMusic() { unload(); }

void moxMusic::unload() {
  if (owned_) std::free(const_cast<unsigned char*>(image_));
  image_ = nullptr;
  owned_ = 0;
  size_ = 0;
  voices_ = patterns_ = songLength_ = 0;
  std::memset(sampleBytes_, 0, sizeof sampleBytes_);
}

void moxMusic::frequency(unsigned f) {
  frequency_ = f;
  speed_ = moxUtility::speedOf(f, rate_);
}

void moxMusic::speed(unsigned s) {
  speed_ = s;
  frequency_ = moxUtility::frequencyOf(s, rate_);
}

uint32_t moxMusic::translatePTSign(const unsigned char* s) {
  auto up = [](unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c; };
  if (up(s[0]) == 'M' && up(s[2]) == 'K') return 4;
  if (up(s[1]) == 'C' || up(s[2]) == 'C') {
    const char c0 = static_cast<char>(s[0]), c1 = static_cast<char>(s[1]);
    if (!moxUtility::getDigit(c0)) return 0;
    if (moxUtility::getDigit(c1)) return static_cast<uint32_t>((c0 - '0') * 10 + (c1 - '0'));
    return static_cast<uint32_t>(c0 - '0');
  }
  return 0;
}

int moxMusic::load(const void* image, uint32_t size, bool copy) {
  unload();
  if (!image) return MOX_ERR_MEMORY;
  const auto* img = static_cast<const unsigned char*>(image);
  if (size < 1084) return MOX_ERR_FORMAT;
  const uint32_t voices = translatePTSign(img + 1080);
  if (voices == 0) return MOX_ERR_FORMAT;
  // The order table holds 128 entries: a longer song length reads past it.
  const uint32_t songLength = img[950] > 128 ? 128 : img[950];
  // Trackers store every pattern the whole table names, also those listed after
  // the song's end: the samples follow all of them.
  uint32_t highest = 0;
  for (uint32_t i = 0; i < 128; i++)
    if (img[952 + i] > highest) highest = img[952 + i];
  const uint32_t patterns = highest + 1;
  const uint64_t patternEnd = 1084ull + static_cast<uint64_t>(voices) * patterns * 256u;
  if (patternEnd > size) return MOX_ERR_READ;
  uint64_t at = patternEnd;
  for (int i = 0; i < 31; i++) {
    const uint32_t want = moxUtility::be16(img + 20 + 30 * i + 22) * 2u;
    const uint64_t left = at < size ? size - at : 0;
    sampleBytes_[i] = want > left ? static_cast<uint32_t>(left) : want;
    at += sampleBytes_[i];
  }
  const uint32_t used = static_cast<uint32_t>(at);
  image_ = KeepBytes(img, used, copy, &owned_);
  if (!image_) {
    std::memset(sampleBytes_, 0, sizeof sampleBytes_);
    return MOX_ERR_MEMORY;
  }
  size_ = used;
  voices_ = voices;
  patterns_ = patterns;
  songLength_ = songLength;
  rate_ = 44100;
  frequency_ = 44100;
  speed_ = 128;
  return 0;
}

int moxMusic::load(const char* name) { return LoadFile(*this, name); }
