#include "loaders/eldr_jpg.h"

#include <cstring>
#include <memory>
#include <new>

#include "display/esurf_2dbase.h"
#include "framework/emod_memory.h"

namespace {

enum : uint32_t {
  M_SOF0 = 0xC0, M_SOF1 = 0xC1, M_SOF2 = 0xC2, M_SOF3 = 0xC3, M_SOF5 = 0xC5, M_SOF7 = 0xC7,
  M_JPG = 0xC8, M_SOF9 = 0xC9, M_SOF11 = 0xCB, M_DAC = 0xCC, M_SOF13 = 0xCD, M_SOF15 = 0xCF,
  M_DHT = 0xC4, M_RST0 = 0xD0, M_RST7 = 0xD7, M_SOI = 0xD8, M_EOI = 0xD9, M_SOS = 0xDA,
  M_DQT = 0xDB, M_DRI = 0xDD, M_APP0 = 0xE0, M_APP14 = 0xEE, M_TEM = 0x01
};

// Zig-zag index to natural (row-major) index.
const uint8_t ZAG[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                         12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                         35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                         58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Sign extension of an s-bit value: below 2^(s-1) it is negative.
const int32_t extend_test[16] = {0,     1,     2,     4,     8,     16,     32,     64,
                                 128,   256,   512,   1024,  2048,  4096,   8192,   16384};
const int32_t extend_offset[16] = {0,     -1,    -3,    -7,    -15,    -31,    -63,    -127,
                                   -255,  -511,  -1023, -2047, -4095, -8191,  -16383, -32767};

inline int32_t Extend(int32_t v, int s) { return v < extend_test[s] ? v + extend_offset[s] : v; }

// An arithmetic right shift that never shifts a negative number.
inline int32_t Sar(int32_t x, int n) { return x < 0 ? ~(~x >> n) : x >> n; }

// Two's complement narrowing without implementation-defined conversions.
inline int16_t ToI16(uint32_t v) {
  v &= 0xFFFF;
  return static_cast<int16_t>(v >= 0x8000 ? static_cast<int32_t>(v) - 0x10000 : static_cast<int32_t>(v));
}
inline int32_t ToI32(uint32_t v) {
  return v >= 0x80000000u ? -static_cast<int32_t>(~v) - 1 : static_cast<int32_t>(v);
}

inline uint8_t Clamp(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Zig-zag indices from..to (0 <= from <= to <= 63) as bits.
inline uint64_t Band(int from, int to) { return (~uint64_t{0} << from) & (~uint64_t{0} >> (63 - to)); }

// One coefficient of a block in a whole-image buffer, at its natural position.
inline int32_t LoadCoef(const uint8_t* block, int at) {
  int16_t v;
  std::memcpy(&v, block + 2 * at, 2);
  return v;
}
inline void StoreCoef(uint8_t* block, int at, int32_t v) {
  const int16_t s = ToI16(static_cast<uint32_t>(v));
  std::memcpy(block + 2 * at, &s, 2);
}

constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

}  // namespace

// The four block decoders of progressive scans.
struct progressive_block_decoder {
  static void decode_block_dc_first(jpeg_decoder* d, int c, int x, int y);
  static void decode_block_dc_refine(jpeg_decoder* d, int c, int x, int y);
  static void decode_block_ac_first(jpeg_decoder* d, int c, int x, int y);
  static void decode_block_ac_refine(jpeg_decoder* d, int c, int x, int y);
  // A whole block of a sequential scan, kept as decoded.
  static void decode_block_sequential(jpeg_decoder* d, int c, int x, int y);
};

jpeg_decoder::jpeg_decoder() { std::memset(huff_, 0, sizeof huff_); }

jpeg_decoder::jpeg_decoder(void* data, uint32_t size) : jpeg_decoder() { decode_init(data, size); }

jpeg_decoder::~jpeg_decoder() { free_all_blocks(); }

void jpeg_decoder::decode_init(void* data, uint32_t size) {
  init(data, size);
  locate_sof_marker();
}

// --- Blocks ---

void* jpeg_decoder::alloc(uint32_t n) {
  if (error_code_) return nullptr;
  int slot = -1;
  for (int i = 0; i < kMaxBlocks && slot < 0; i++)
    if (!blocks_[i]) slot = i;
  if (slot < 0) {
    terminate(-221);
    return nullptr;
  }
  if (n > kMaxWork - 8 || held_ > kMaxWork - 8 - n) {
    terminate(-235);
    return nullptr;
  }
  uint8_t* p = static_cast<uint8_t*>(ClassEMemory::Alloc(n + 8));
  if (!p) {
    terminate(-233);
    return nullptr;
  }
  std::memset(p, 0, n + 8);
  blocks_[slot] = p;
  held_ += n + 8;
  // Rounded up to a multiple of 8 within the 8 spare bytes.
  const uintptr_t a = reinterpret_cast<uintptr_t>(p);
  return p + ((8 - (a & 7)) & 7);
}

void jpeg_decoder::free_all_blocks() {
  for (void*& b : blocks_) {
    ClassEMemory::DeAlloc(b);
    b = nullptr;
  }
  held_ = 0;
  mcu_coeffs_ = nullptr;
  block_max_zag_ = nullptr;
  samples_ = nullptr;
  scan_line_[0] = scan_line_[1] = nullptr;
  for (int i = 0; i < 4; i++) {
    dc_coeffs_[i] = ac_coeffs_[i] = nullptr;
    ac_nonzero_[i] = ac_row_nonzero_[i] = nullptr;
  }
}

void jpeg_decoder::terminate(int32_t code) {
  if (!error_code_) error_code_ = code;
  free_all_blocks();
}

// --- Input ---

void jpeg_decoder::init(void* data, uint32_t size) {
  free_all_blocks();
  LinkData(data, size);
  image_x_ = image_y_ = 0;
  progressive_ = buffered_ = frame_set_ = scan_seen_ = false;
  saw_jfif_ = rgb_ = false;
  adobe_transform_ = -1;
  // Saturates: no 32-bit file buys more than the counter holds.
  const uint64_t visits = static_cast<uint64_t>(size) * kVisitsPerByte;
  visits_left_ = visits > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(visits);
  comps_in_frame_ = comps_in_scan_ = 0;
  std::memset(huff_defined_, 0, sizeof huff_defined_);
  std::memset(huff_changed_, 0, sizeof huff_changed_);
  std::memset(quant_defined_, 0, sizeof quant_defined_);
  restart_interval_ = 0;
  error_code_ = 0;
  ready_flag_ = false;
  eof_toggle_ = 0;
  bit_buf_ = 0;
  bits_left_ = 0;
  made_up_ = 0;
  past_end_ = false;
  std::memset(complete_, 0, sizeof complete_);
  eob_run_ = 0;
  mcu_row_index_ = 0;
  if (!HaveData()) terminate(-232);
}

uint32_t jpeg_decoder::get_char() {
  if (position_ < size_) return data_[position_++];
  // Past the end: 0xFF 0xD9 over and over, so every loop that reads ends.
  past_end_ = true;
  eof_toggle_ ^= 1;
  return eof_toggle_ ? 0xFF : 0xD9;
}

uint32_t jpeg_decoder::get_16() {
  const uint32_t hi = get_char();
  return hi << 8 | get_char();
}

void jpeg_decoder::prep_entropy() {
  bit_buf_ = 0;
  bits_left_ = 0;
  eof_toggle_ = 0;
  made_up_ = 0;
}

void jpeg_decoder::fill_bits() {
  while (bits_left_ <= 24) {
    uint32_t c = 0xFF;
    if (position_ < size_) {
      c = data_[position_];
      if (c != 0xFF)
        position_++;
      else if (position_ + 1 < size_ && data_[position_ + 1] == 0)
        position_ += 2;  // a stuffed 0xFF
      else
        made_up_++;  // a marker: it stays unread and the data reads as 1-bits
    } else {
      made_up_++;  // so does the end of the file
    }
    bit_buf_ |= c << (24 - bits_left_);
    bits_left_ += 8;
  }
}

inline uint32_t jpeg_decoder::get_bits(int n) {
  if (bits_left_ < n) fill_bits();
  const uint32_t v = bit_buf_ >> (32 - n);
  bit_buf_ <<= n;
  bits_left_ -= n;
  return v;
}

inline int jpeg_decoder::huff_decode(const huff_tables& t) {
  if (bits_left_ < 16) fill_bits();
  const int32_t e = t.look[bit_buf_ >> 24];
  if (e >= 0) {
    const int len = e >> 8;
    bit_buf_ <<= len;
    bits_left_ -= len;
    return e & 0xFF;
  }
  const int32_t code16 = static_cast<int32_t>(bit_buf_ >> 16);
  for (int l = 9; l <= 16; l++) {
    const int32_t code = code16 >> (16 - l);
    if (code <= t.maxcode[l]) {
      bit_buf_ <<= l;
      bits_left_ -= l;
      const int32_t i = t.valoffset[l] + code;
      return (i >= 0 && i < t.count) ? t.val[i] : 0;
    }
  }
  // No code of any length: damaged data, read as a zero symbol.
  bit_buf_ <<= 16;
  bits_left_ -= 16;
  return 0;
}

// --- Markers ---

void jpeg_decoder::skip_variable_marker() {
  const uint32_t len = get_16();
  if (len < 2) {
    terminate(-210);
    return;
  }
  for (uint32_t i = 2; i < len; i++) get_char();
}

int jpeg_decoder::process_markers() {
  for (;;) {
    uint32_t c;
    do c = get_char();
    while (c != 0xFF);
    do c = get_char();
    while (c == 0xFF);
    if (c == 0) continue;  // stuffed data, not a marker
    switch (c) {
      case M_DHT:
        read_dht();
        break;
      case M_DQT:
        read_dqt();
        break;
      case M_DRI:
        read_dri();
        break;
      case M_APP0:
      case M_APP14:
        read_app(c);
        break;
      case M_DAC:
        terminate(-215);
        break;
      case M_JPG:
      case M_TEM:
        terminate(-216);
        break;
      case M_SOI:
      case M_EOI:
      case M_SOS:
        return static_cast<int>(c);
      default:
        if ((c >= M_SOF0 && c <= M_SOF3) || (c >= M_SOF5 && c <= M_SOF7) || (c >= M_SOF9 && c <= M_SOF11) ||
            (c >= M_SOF13 && c <= M_SOF15))
          return static_cast<int>(c);
        if (c >= M_RST0 && c <= M_RST7)
          terminate(-216);
        else
          skip_variable_marker();
        break;
    }
  }
}

// JFIF (APP0) and Adobe (APP14) markers: only what tells the colour space.
void jpeg_decoder::read_app(uint32_t marker) {
  const uint32_t len = get_16();
  if (len < 2) return terminate(-210);
  uint8_t head[12] = {};
  uint32_t n = 0;
  for (uint32_t i = 2; i < len; i++) {
    const uint32_t c = get_char();
    if (n < sizeof head) head[n++] = static_cast<uint8_t>(c);
  }
  if (marker == M_APP0 && n >= 5 && std::memcmp(head, "JFIF", 5) == 0) saw_jfif_ = true;
  if (marker == M_APP14 && n >= 12 && std::memcmp(head, "Adobe", 5) == 0) adobe_transform_ = head[11];
}

void jpeg_decoder::read_dht() {
  uint32_t len = get_16();
  if (len < 2) {
    terminate(-202);
    return;
  }
  len -= 2;
  while (len) {
    const uint32_t index = get_char();
    uint8_t num[17];
    num[0] = 0;
    uint32_t total = 0;
    for (int i = 1; i <= 16; i++) {
      num[i] = static_cast<uint8_t>(get_char());
      total += num[i];
    }
    if (total > 255) {
      terminate(-200);
      return;
    }
    // More codes than their lengths can hold: the table cannot be expanded.
    uint32_t code = 0;
    for (int l = 1; l <= 16; l++) {
      code += num[l];
      if (code > (1u << l)) {
        terminate(-200);
        return;
      }
      code <<= 1;
    }
    if (len < 17 + total) {
      terminate(-202);
      return;
    }
    uint8_t val[256];
    for (uint32_t i = 0; i < total; i++) val[i] = static_cast<uint8_t>(get_char());
    len -= 17 + total;
    const uint32_t n = (index & 0x0F) + ((index & 0xF0) ? 4 : 0);
    if (n > 7) {
      terminate(-201);
      return;
    }
    std::memcpy(huff_num_[n], num, 17);
    std::memcpy(huff_val_[n], val, total);
    huff_defined_[n] = huff_changed_[n] = true;
  }
}

void jpeg_decoder::read_dqt() {
  uint32_t len = get_16();
  if (len < 2) {
    terminate(-203);
    return;
  }
  len -= 2;
  while (len) {
    const uint32_t n = get_char();
    const uint32_t prec = n >> 4, id = n & 15;
    if (id > 3) {
      terminate(-204);
      return;
    }
    const uint32_t need = 1 + (prec ? 128 : 64);
    if (len < need) {
      terminate(-219);
      return;
    }
    for (int i = 0; i < 64; i++) quant_[id][i] = static_cast<uint16_t>(prec ? get_16() : get_char());
    quant_defined_[id] = true;
    len -= need;
  }
}

void jpeg_decoder::read_dri() {
  if (get_16() != 4) {
    terminate(-211);
    return;
  }
  restart_interval_ = get_16();
}

void jpeg_decoder::read_sof() {
  const uint32_t len = get_16();
  if (get_char() != 8) return terminate(-205);
  image_y_ = static_cast<int32_t>(get_16());
  if (image_y_ < 1 || image_y_ > 8192) return terminate(-206);
  image_x_ = static_cast<int32_t>(get_16());
  if (image_x_ < 1 || image_x_ > 8192) return terminate(-207);
  comps_in_frame_ = static_cast<int32_t>(get_char());
  if (comps_in_frame_ > 4) return terminate(-208);
  if (len != 8 + 3u * comps_in_frame_) return terminate(-209);
  for (int i = 0; i < comps_in_frame_; i++) {
    comp_ident_[i] = static_cast<uint8_t>(get_char());
    const uint32_t hv = get_char();
    comp_h_samp_[i] = static_cast<uint8_t>(hv >> 4);
    comp_v_samp_[i] = static_cast<uint8_t>(hv & 15);
    comp_quant_[i] = static_cast<uint8_t>(get_char());
  }
}

void jpeg_decoder::read_sos() {
  const uint32_t len = get_16();
  const uint32_t n = get_char();
  if (n < 1 || n > 4 || len != 6 + 2 * n) return terminate(-212);
  comps_in_scan_ = static_cast<int32_t>(n);
  for (uint32_t i = 0; i < n; i++) {
    const uint32_t id = get_char(), tabs = get_char();
    int c = 0;
    while (c < comps_in_frame_ && comp_ident_[c] != id) c++;
    if (c >= comps_in_frame_) return terminate(-213);
    comp_list_[i] = c;
    comp_dc_tab_[c] = static_cast<int32_t>(tabs >> 4);
    comp_ac_tab_[c] = static_cast<int32_t>(tabs & 15) + 4;
  }
  spectral_start_ = static_cast<int32_t>(get_char());
  spectral_end_ = static_cast<int32_t>(get_char());
  const uint32_t a = get_char();
  successive_high_ = static_cast<int32_t>(a >> 4);
  successive_low_ = static_cast<int32_t>(a & 15);
  if (!progressive_) {
    spectral_start_ = 0;
    spectral_end_ = 63;
  }
}

void jpeg_decoder::locate_sof_marker() {
  if (error_code_) return;
  uint32_t last = get_char(), cur = get_char();
  if (!(last == 0xFF && cur == M_SOI)) {
    bool found = false;
    for (int i = 0; i < 511 && !found; i++) {
      last = cur;
      cur = get_char();
      found = last == 0xFF && cur == M_SOI;
    }
    if (!found) return terminate(-217);
  }
  // The byte after SOI must start a marker.
  if ((position_ < size_ ? data_[position_] : 0xFF) != 0xFF) return terminate(-217);
  const int c = process_markers();
  if (error_code_) return;
  if (c == static_cast<int>(M_SOF2))
    progressive_ = true;
  else if (c == static_cast<int>(M_SOF9))
    return terminate(-215);
  else if (c != static_cast<int>(M_SOF0) && c != static_cast<int>(M_SOF1))
    return terminate(-218);
  read_sof();
}

// --- Frame and scan set-up ---

void jpeg_decoder::create_look_ups() {
  for (int i = 0; i < 256; i++) {
    const int32_t k = i - 128;
    crr_[i] = Sar(91882 * k + 32768, 16);
    cbb_[i] = Sar(116130 * k + 32768, 16);
    crg_[i] = -46802 * k;
    cbg_[i] = -22554 * k + 32768;
  }
  for (int i = 0; i < 1536; i++) clamp_[i] = Clamp(i - 512);
}

void jpeg_decoder::init_frame() {
  if (error_code_ || frame_set_) return;
  frame_set_ = true;
  if (comps_in_frame_ != 1 && comps_in_frame_ != 3) return terminate(-225);
  if (comps_in_frame_ == 1) {
    // Any sampling gives one block an MCU, but factors outside 1 to 4 are no JPEG.
    if (comp_h_samp_[0] < 1 || comp_h_samp_[0] > 4 || comp_v_samp_[0] < 1 || comp_v_samp_[0] > 4)
      return terminate(-226);
    scan_type_ = kGrey;
    max_mcu_x_size_ = max_mcu_y_size_ = 8;
  } else {
    if (comp_h_samp_[1] != 1 || comp_v_samp_[1] != 1 || comp_h_samp_[2] != 1 || comp_v_samp_[2] != 1)
      return terminate(-226);
    const int h = comp_h_samp_[0], v = comp_v_samp_[0];
    if (h == 1 && v == 1)
      scan_type_ = kH1V1;
    else if (h == 2 && v == 1)
      scan_type_ = kH2V1;
    else if (h == 1 && v == 2)
      scan_type_ = kH1V2;
    else if (h == 2 && v == 2)
      scan_type_ = kH2V2;
    else
      return terminate(-226);
    max_mcu_x_size_ = 8 * h;
    max_mcu_y_size_ = 8 * v;
  }
  // A table number above 3 could never be defined.
  for (int i = 0; i < comps_in_frame_; i++)
    if (comp_quant_[i] > 3) return terminate(-222);
  // The frame's own layout: every component, in frame order.
  comps_in_scan_ = comps_in_frame_;
  for (int i = 0; i < comps_in_frame_; i++) comp_list_[i] = i;
  calc_mcu_block_order();
  if (error_code_) return;
  blocks_per_mcu_row_ = mcus_per_row_ * blocks_per_mcu_;
  if (blocks_per_mcu_row_ > kMaxBlocksPerRow) return terminate(-229);

  dest_bytes_per_pixel_ = comps_in_frame_ == 1 ? 1 : 4;
  dest_bytes_per_scan_line_ = image_x_ * dest_bytes_per_pixel_;
  real_dest_bytes_per_scan_line_ = ((image_x_ + 15) & ~15) * dest_bytes_per_pixel_;
  for (uint8_t*& l : scan_line_) l = static_cast<uint8_t*>(alloc(static_cast<uint32_t>(real_dest_bytes_per_scan_line_ + 8)));
  mcu_coeffs_ = static_cast<int16_t*>(alloc(static_cast<uint32_t>(blocks_per_mcu_row_) * 128));
  block_max_zag_ = static_cast<uint8_t*>(alloc(static_cast<uint32_t>(blocks_per_mcu_row_)));
  samples_ = static_cast<uint8_t*>(alloc(static_cast<uint32_t>(blocks_per_mcu_row_) * 64));
  if (error_code_) return;
  std::memset(block_max_zag_, 64, static_cast<size_t>(blocks_per_mcu_row_));
  total_lines_left_ = image_y_;
  mcu_lines_left_ = 0;
  create_look_ups();
  // Taken here, before any scan, so a picture too big for the console is
  // refused before anything is made for it.
  if (progressive_) open_coeff_bufs();
}

// Block counts of every frame component and the MCU of the current scan.
void jpeg_decoder::calc_mcu_block_order() {
  max_h_samp_ = max_v_samp_ = 1;
  for (int c = 0; c < comps_in_frame_; c++) {
    if (comp_h_samp_[c] > max_h_samp_) max_h_samp_ = comp_h_samp_[c];
    if (comp_v_samp_[c] > max_v_samp_) max_v_samp_ = comp_v_samp_[c];
  }
  for (int c = 0; c < comps_in_frame_; c++) {
    const int32_t w = (image_x_ * comp_h_samp_[c] + max_h_samp_ - 1) / max_h_samp_;
    const int32_t h = (image_y_ * comp_v_samp_[c] + max_v_samp_ - 1) / max_v_samp_;
    comp_h_blocks_[c] = (w + 7) / 8;
    comp_v_blocks_[c] = (h + 7) / 8;
  }
  if (comps_in_scan_ == 1) {
    const int c = comp_list_[0];
    mcus_per_row_ = comp_h_blocks_[c];
    mcus_per_col_ = comp_v_blocks_[c];
    blocks_per_mcu_ = 1;
    mcu_org_[0] = c;
    return;
  }
  mcus_per_row_ = (image_x_ + max_mcu_x_size_ - 1) / max_mcu_x_size_;
  mcus_per_col_ = (image_y_ + max_mcu_y_size_ - 1) / max_mcu_y_size_;
  blocks_per_mcu_ = 0;
  for (int i = 0; i < comps_in_scan_; i++) {
    const int c = comp_list_[i];
    const int n = comp_h_samp_[c] * comp_v_samp_[c];
    if (blocks_per_mcu_ + n > kMaxBlocksPerMcu) return terminate(-226);
    for (int k = 0; k < n; k++) mcu_org_[blocks_per_mcu_++] = c;
  }
}

void jpeg_decoder::make_huff_table(int index) {
  huff_tables& t = huff_[index];
  for (int16_t& e : t.look) e = -1;
  uint32_t code = 0;
  int32_t k = 0;
  for (int l = 1; l <= 16; l++) {
    const int n = huff_num_[index][l];
    if (n) {
      t.valoffset[l] = k - static_cast<int32_t>(code);
      for (int i = 0; i < n; i++, code++, k++)
        if (l <= 8) {
          const uint32_t first = code << (8 - l), count = 1u << (8 - l);
          for (uint32_t j = 0; j < count && first + j < 256; j++)
            t.look[first + j] = static_cast<int16_t>(l << 8 | huff_val_[index][k]);
        }
      t.maxcode[l] = static_cast<int32_t>(code) - 1;
    } else {
      t.valoffset[l] = 0;
      t.maxcode[l] = -1;
    }
    code <<= 1;
  }
  t.maxcode[17] = 0x7FFFFFFF;
  t.count = static_cast<uint8_t>(k);
  std::memcpy(t.val, huff_val_[index], sizeof t.val);
}

int jpeg_decoder::init_scan() {
  if (error_code_) return 0;
  const int c = process_markers();
  if (error_code_) return 0;
  if (c == static_cast<int>(M_EOI)) return 0;
  if (c != static_cast<int>(M_SOS)) {
    terminate(-216);
    return 0;
  }
  read_sos();
  if (error_code_) return 0;
  // The markers before the first scan settle the colour space.
  if (!scan_seen_) rgb_ = comps_in_frame_ == 3 && !saw_jfif_ && adobe_transform_ == 0;
  scan_seen_ = true;
  calc_mcu_block_order();
  if (error_code_) return 0;
  for (int i = 0; i < comps_in_scan_; i++) {
    const int comp = comp_list_[i];
    const int dc = comp_dc_tab_[comp], ac = comp_ac_tab_[comp];
    if (spectral_start_ == 0 && (dc > 7 || !huff_defined_[dc])) {
      terminate(-223);
      return 0;
    }
    if (spectral_end_ > 0 && (ac > 7 || !huff_defined_[ac])) {
      terminate(-223);
      return 0;
    }
    if (!quant_defined_[comp_quant_[comp]]) {
      terminate(-222);
      return 0;
    }
  }
  for (int i = 0; i < 8; i++)
    if (huff_defined_[i] && huff_changed_[i]) {
      make_huff_table(i);
      huff_changed_[i] = false;
    }
  std::memset(last_dc_val_, 0, sizeof last_dc_val_);
  eob_run_ = 0;
  restarts_left_ = restart_interval_;
  next_restart_num_ = 0;
  prep_entropy();
  scan_start_ = position_;
  return 1;
}

int jpeg_decoder::begin() {
  if (ready_flag_) return 0;
  if (error_code_) return -1;
  init_frame();
  if (!error_code_) {
    if (progressive_) {
      init_progressive();
    } else if (!init_scan()) {
      if (!error_code_) terminate(-216);
    } else if (!whole_frame_scan()) {
      // Components in scans of their own: gathered like a progressive picture.
      open_coeff_bufs();
      decode_scans(true);
    }
  }
  ready_flag_ = true;
  return error_code_ ? -1 : 0;
}

// The scan holds every component of the frame, in frame order: its MCUs are
// the rows' own and can be decoded one MCU row at a time.
bool jpeg_decoder::whole_frame_scan() const {
  if (comps_in_scan_ != comps_in_frame_) return false;
  for (int i = 0; i < comps_in_scan_; i++)
    if (comp_list_[i] != i) return false;
  return true;
}

// --- Decoding ---

void jpeg_decoder::process_restart() {
  // The interval before ran out of data (its bits are about to go).
  if (ran_dry()) return terminate(-236);
  prep_entropy();
  // Find the marker: stuffed bytes and fill bytes on the way are passed over.
  uint32_t c = 0;
  int i = 1536;
  for (;;) {
    while ((c = get_char()) != 0xFF)
      if (--i <= 0) return terminate(-228);
    do c = get_char();
    while (c == 0xFF);
    if (c != 0) break;
    if (--i <= 0) return terminate(-228);
  }
  if (c != M_RST0 + next_restart_num_) return terminate(-228);
  std::memset(last_dc_val_, 0, sizeof last_dc_val_);
  eob_run_ = 0;
  restarts_left_ = restart_interval_;
  next_restart_num_ = (next_restart_num_ + 1) & 7;
  prep_entropy();
}

bool jpeg_decoder::restart_due() {
  if (!restart_interval_) return false;
  if (restarts_left_ == 0) {
    process_restart();
    if (error_code_) return true;
  }
  restarts_left_--;
  return false;
}

// The Huffman data of one block of a sequential scan: put(k, v) takes the
// coefficient of zig-zag index k (0 is the DC value itself, not its difference).
// The last index put, or -1 with an error stored.
template <class Put>
inline int jpeg_decoder::decode_huffman_block(int comp, Put put) {
  auto damaged = [this] {
    terminate(-227);
    return -1;
  };
  const int s = huff_decode(huff_[comp_dc_tab_[comp]]);
  if (s > 11) return damaged();  // DC sizes above 11 are not 8-bit data
  const int32_t r = s ? Extend(static_cast<int32_t>(get_bits(s)), s) : 0;
  const uint32_t dc = last_dc_val_[comp] + static_cast<uint32_t>(r);
  last_dc_val_[comp] = dc;
  put(0, dc);
  const huff_tables& ac = huff_[comp_ac_tab_[comp]];
  int last = 0;
  for (int k = 1; k < 64; k++) {
    const int rs = huff_decode(ac);
    const int run = rs >> 4, sz = rs & 15;
    if (sz) {
      k += run;
      if (k > 63) return damaged();
      put(k, static_cast<uint32_t>(Extend(static_cast<int32_t>(get_bits(sz)), sz)));
      last = k;
    } else if (run == 15) {
      k += 15;
      if (k > 63) return damaged();
    } else {
      break;  // end of block
    }
  }
  return last;
}

void jpeg_decoder::decode_next_row() {
  int32_t blk = 0;
  for (int32_t mcu = 0; mcu < mcus_per_row_; mcu++) {
    if (restart_due()) return;
    for (int32_t b = 0; b < blocks_per_mcu_; b++, blk++) {
      const int comp = mcu_org_[b];
      const uint16_t* q = quant_[comp_quant_[comp]];
      int16_t* p = mcu_coeffs_ + 64 * blk;
      // Clear what the block held before, up to its high-water mark.
      const int mark = block_max_zag_[blk];
      for (int k = 1; k < mark; k++) p[ZAG[k]] = 0;
      const int last = decode_huffman_block(comp, [p, q](int k, uint32_t v) { p[ZAG[k]] = ToI16(v * q[k]); });
      if (last < 0) return;
      block_max_zag_[blk] = static_cast<uint8_t>(last + 1);
    }
  }
}

void jpeg_decoder::load_next_row() {
  int32_t blk = 0;
  for (int32_t mcu = 0; mcu < mcus_per_row_; mcu++) {
    int32_t seen[4] = {0, 0, 0, 0};
    for (int32_t b = 0; b < blocks_per_mcu_; b++, blk++) {
      const int comp = mcu_org_[b];
      const int h = comps_in_frame_ == 1 ? 1 : comp_h_samp_[comp];
      const int v = comps_in_frame_ == 1 ? 1 : comp_v_samp_[comp];
      const int32_t x = mcu * h + seen[comp] % h, y = mcu_row_index_ * v + seen[comp] / h;
      seen[comp]++;
      const uint8_t* dcp = coeff_buf_getp(dc_coeffs_[comp], x, y);
      const int32_t at = dcp ? block_at(ac_coeffs_[comp], x, y) : -1;
      if (at < 0) return;
      const uint8_t* acp = ac_coeffs_[comp]->data + static_cast<size_t>(at) * 128;
      int16_t dc;
      std::memcpy(&dc, dcp, 2);
      const uint64_t nz = ac_nonzero_[comp][at];
      const int last = nz ? 63 - __builtin_clzll(nz) : 0;
      const uint16_t* q = quant_[comp_quant_[comp]];
      int16_t* p = mcu_coeffs_ + 64 * blk;
      p[0] = ToI16(static_cast<uint32_t>(dc) * q[0]);
      for (int k = 1; k <= last; k++) p[ZAG[k]] = ToI16(static_cast<uint32_t>(LoadCoef(acp, ZAG[k])) * q[k]);
      for (int k = last + 1; k < 64; k++) p[ZAG[k]] = 0;
    }
  }
  mcu_row_index_++;
}

void jpeg_decoder::idct(const int16_t* in, uint8_t* out) {
  // Wrapping 32-bit arithmetic: exact for real data, defined for damaged data.
  typedef uint32_t u;
  u ws[64];
  for (int r = 0; r < 8; r++) {
    const int16_t* c = in + 8 * r;
    u* w = ws + 8 * r;
    if (!(c[1] | c[2] | c[3] | c[4] | c[5] | c[6] | c[7])) {
      const u dc = static_cast<u>(static_cast<int32_t>(c[0])) * 4;
      for (int i = 0; i < 8; i++) w[i] = dc;
      continue;
    }
    const u z2 = static_cast<u>(static_cast<int32_t>(c[2])), z3 = static_cast<u>(static_cast<int32_t>(c[6]));
    const u t2 = z2 * 4433u - z3 * 10704u;
    const u t3 = z2 * 10703u + z3 * 4433u;
    const u c0 = static_cast<u>(static_cast<int32_t>(c[0])), c4 = static_cast<u>(static_cast<int32_t>(c[4]));
    const u t0 = (c0 + c4) * 8192u, t1 = (c0 - c4) * 8192u;
    const u e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;
    const u a7 = static_cast<u>(static_cast<int32_t>(c[7])), a5 = static_cast<u>(static_cast<int32_t>(c[5]));
    const u a3 = static_cast<u>(static_cast<int32_t>(c[3])), a1 = static_cast<u>(static_cast<int32_t>(c[1]));
    const u z5 = (a7 + a3 + a5 + a1) * 9633u;
    const u z1 = (a7 + a1) * (0u - 7373u), zb = (a5 + a3) * (0u - 20995u);
    const u zc = (a7 + a3) * (0u - 16069u) + z5, zd = (a5 + a1) * (0u - 3196u) + z5;
    const u o0 = a7 * 2446u + z1 + zc, o1 = a5 * 16819u + zb + zd;
    const u o2 = a3 * 25172u + zb + zc, o3 = a1 * 12299u + z1 + zd;
    w[0] = static_cast<u>(Sar(ToI32(e10 + o3 + 1024), 11));
    w[7] = static_cast<u>(Sar(ToI32(e10 - o3 + 1024), 11));
    w[1] = static_cast<u>(Sar(ToI32(e11 + o2 + 1024), 11));
    w[6] = static_cast<u>(Sar(ToI32(e11 - o2 + 1024), 11));
    w[2] = static_cast<u>(Sar(ToI32(e12 + o1 + 1024), 11));
    w[5] = static_cast<u>(Sar(ToI32(e12 - o1 + 1024), 11));
    w[3] = static_cast<u>(Sar(ToI32(e13 + o0 + 1024), 11));
    w[4] = static_cast<u>(Sar(ToI32(e13 - o0 + 1024), 11));
  }
  for (int col = 0; col < 8; col++) {
    const u* w = ws + col;
    uint8_t* o = out + col;
    if (!(w[8] | w[16] | w[24] | w[32] | w[40] | w[48] | w[56])) {
      const uint8_t v = Clamp(Sar(ToI32(w[0] * 8192u + 0x20000u), 18) + 128);
      for (int i = 0; i < 8; i++) o[8 * i] = v;
      continue;
    }
    const u z2 = w[16], z3 = w[48];
    const u t2 = z2 * 4433u - z3 * 10704u;
    const u t3 = z2 * 10703u + z3 * 4433u;
    const u t0 = (w[0] + w[32]) * 8192u, t1 = (w[0] - w[32]) * 8192u;
    const u e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;
    const u a7 = w[56], a5 = w[40], a3 = w[24], a1 = w[8];
    const u z5 = (a7 + a3 + a5 + a1) * 9633u;
    const u z1 = (a7 + a1) * (0u - 7373u), zb = (a5 + a3) * (0u - 20995u);
    const u zc = (a7 + a3) * (0u - 16069u) + z5, zd = (a5 + a1) * (0u - 3196u) + z5;
    const u o0 = a7 * 2446u + z1 + zc, o1 = a5 * 16819u + zb + zd;
    const u o2 = a3 * 25172u + zb + zc, o3 = a1 * 12299u + z1 + zd;
    o[0] = Clamp(Sar(ToI32(e10 + o3 + 0x20000u), 18) + 128);
    o[56] = Clamp(Sar(ToI32(e10 - o3 + 0x20000u), 18) + 128);
    o[8] = Clamp(Sar(ToI32(e11 + o2 + 0x20000u), 18) + 128);
    o[48] = Clamp(Sar(ToI32(e11 - o2 + 0x20000u), 18) + 128);
    o[16] = Clamp(Sar(ToI32(e12 + o1 + 0x20000u), 18) + 128);
    o[40] = Clamp(Sar(ToI32(e12 - o1 + 0x20000u), 18) + 128);
    o[24] = Clamp(Sar(ToI32(e13 + o0 + 0x20000u), 18) + 128);
    o[32] = Clamp(Sar(ToI32(e13 - o0 + 0x20000u), 18) + 128);
  }
}

void jpeg_decoder::transform_row() {
  for (int32_t b = 0; b < blocks_per_mcu_row_; b++) idct(mcu_coeffs_ + 64 * b, samples_ + 64 * b);
}

namespace {

// One chroma sample's red, green and blue terms; for RGB data the green and
// blue samples themselves.
struct Chroma {
  int32_t r, g, b;
};

template <bool Rgb>
inline void Put(uint8_t* o, const uint8_t* lim, int32_t y, const Chroma& c) {
  if (Rgb) {
    o[0] = static_cast<uint8_t>(y);
    o[1] = static_cast<uint8_t>(c.g);
    o[2] = static_cast<uint8_t>(c.b);
  } else {
    o[0] = lim[y + c.r];
    o[1] = lim[y + c.g];
    o[2] = lim[y + c.b];
  }
  o[3] = 0xFF;
}

}  // namespace

// Line y of the MCU row; for vertically subsampled images lines y and y + 1 at
// once (y even), the second into the other line buffer.
template <bool Rgb>
void jpeg_decoder::build_line(uint8_t* out, int32_t y) {
  const uint8_t* s = samples_;
  if (scan_type_ == kGrey) {
    for (int32_t b = 0; b < blocks_per_mcu_row_; b++) std::memcpy(out + 8 * b, s + 64 * b + 8 * y, 8);
    return;
  }
  const uint8_t* lim = clamp_ + 512;
  const int32_t step = 64 * blocks_per_mcu_;
  uint8_t* out2 = scan_line_[1];
  for (int32_t m = 0; m < mcus_per_row_; m++, s += step) {
    uint8_t* o = out + 4 * max_mcu_x_size_ * m;
    uint8_t* o2 = out2 + 4 * max_mcu_x_size_ * m;
    const uint8_t *cb, *y0, *y1 = nullptr;
    switch (scan_type_) {
      case kH1V1:
        y0 = s + 8 * y;
        cb = s + 64 + 8 * y;
        break;
      case kH2V1:
        y0 = s + 8 * y;
        y1 = s + 64 + 8 * y;
        cb = s + 128 + 8 * y;
        break;
      case kH1V2:
        y0 = s + (y & 8) * 8 + 8 * (y & 7);
        cb = s + 128 + 8 * (y >> 1);
        break;
      default:  // H2V2
        y0 = s + (y & 8) * 16 + 8 * (y & 7);
        y1 = y0 + 64;
        cb = s + 256 + 8 * (y >> 1);
        break;
    }
    const uint8_t* cr = cb + 64;
    for (int32_t x = 0; x < 8; x++) {
      const int32_t ccb = cb[x], ccr = cr[x];
      const Chroma c = Rgb ? Chroma{0, ccb, ccr} : Chroma{crr_[ccr], Sar(crg_[ccr] + cbg_[ccb], 16), cbb_[ccb]};
      switch (scan_type_) {
        case kH1V1:
          Put<Rgb>(o + 4 * x, lim, y0[x], c);
          break;
        case kH2V1: {
          const uint8_t* yy = (x < 4 ? y0 : y1 - 8) + 2 * x;
          Put<Rgb>(o + 8 * x, lim, yy[0], c);
          Put<Rgb>(o + 8 * x + 4, lim, yy[1], c);
          break;
        }
        case kH1V2:
          Put<Rgb>(o + 4 * x, lim, y0[x], c);
          Put<Rgb>(o2 + 4 * x, lim, y0[x + 8], c);
          break;
        default: {
          const uint8_t* yy = (x < 4 ? y0 : y1 - 8) + 2 * x;
          Put<Rgb>(o + 8 * x, lim, yy[0], c);
          Put<Rgb>(o + 8 * x + 4, lim, yy[1], c);
          Put<Rgb>(o2 + 8 * x, lim, yy[8], c);
          Put<Rgb>(o2 + 8 * x + 4, lim, yy[9], c);
          break;
        }
      }
    }
  }
}

int jpeg_decoder::decode(void** row, uint32_t* length) {
  if (error_code_ || !ready_flag_) return -1;
  if (total_lines_left_ <= 0) return 1;
  if (mcu_lines_left_ <= 0) {
    if (buffered_) {
      load_next_row();
    } else {
      decode_next_row();
      // The data ended with blocks of the row still due: a row made up of
      // 1-bits is not delivered.
      if (ran_dry()) terminate(-236);
    }
    if (error_code_) return -1;
    transform_row();
    mcu_lines_left_ = max_mcu_y_size_;
    mcu_line_ = 0;
  }
  uint8_t* line = scan_line_[0];
  // Two lines share each chroma row when it covers two: both are made on the even line.
  const bool pairs = scan_type_ == kH1V2 || scan_type_ == kH2V2;
  if (pairs) line = scan_line_[mcu_line_ & 1];
  if (!pairs || !(mcu_line_ & 1)) {
    if (rgb_)
      build_line<true>(scan_line_[0], mcu_line_);
    else
      build_line<false>(scan_line_[0], mcu_line_);
  }
  *row = line;
  *length = static_cast<uint32_t>(dest_bytes_per_scan_line_);
  mcu_line_++;
  mcu_lines_left_--;
  total_lines_left_--;
  return 0;
}

// --- Progressive scans ---

coeff_buf_tag* jpeg_decoder::coeff_buf_open(int32_t across, int32_t down, int32_t bw, int32_t bh) {
  const uint64_t n = static_cast<uint64_t>(across) * down * bw * bh * 2;
  if (n > kMaxWork) {
    terminate(-235);
    return nullptr;
  }
  // A failed allocation frees every block, so nothing is written after one.
  uint8_t* data = static_cast<uint8_t*>(alloc(static_cast<uint32_t>(n)));
  coeff_buf_tag* cb = data ? static_cast<coeff_buf_tag*>(alloc(sizeof(coeff_buf_tag))) : nullptr;
  if (!cb) return nullptr;
  cb->data = data;
  cb->blocks_across = across;
  cb->blocks_down = down;
  cb->block_width = bw;
  cb->block_height = bh;
  cb->bytes_per_block = bw * bh * 2;
  return cb;
}

int32_t jpeg_decoder::block_at(const coeff_buf_tag* cb, int32_t x, int32_t y) {
  if (!cb || x < 0 || y < 0 || x >= cb->blocks_across || y >= cb->blocks_down) {
    terminate(-229);
    return -1;
  }
  return y * cb->blocks_across + x;
}

inline uint8_t* jpeg_decoder::coeff_buf_getp(coeff_buf_tag* cb, int32_t x, int32_t y) {
  const int32_t at = block_at(cb, x, y);
  return at < 0 ? nullptr : cb->data + static_cast<size_t>(at) * cb->bytes_per_block;
}

void jpeg_decoder::coeff_buf_read(coeff_buf_tag* cb, int32_t x, int32_t y, int16_t* block) {
  const uint8_t* p = coeff_buf_getp(cb, x, y);
  if (p) std::memcpy(block, p, static_cast<size_t>(cb->bytes_per_block));
}

void jpeg_decoder::coeff_buf_write(coeff_buf_tag* cb, int32_t x, int32_t y, const int16_t* block) {
  uint8_t* p = coeff_buf_getp(cb, x, y);
  if (p) std::memcpy(p, block, static_cast<size_t>(cb->bytes_per_block));
}

void progressive_block_decoder::decode_block_dc_first(jpeg_decoder* d, int c, int x, int y) {
  uint8_t* p = d->coeff_buf_getp(d->dc_coeffs_[c], x, y);
  if (!p) return;
  const int s = d->huff_decode(d->huff_[d->comp_dc_tab_[c]]);
  if (s > 11) return d->terminate(-227);
  const int32_t r = s ? Extend(static_cast<int32_t>(d->get_bits(s)), s) : 0;
  const uint32_t dc = d->last_dc_val_[c] + static_cast<uint32_t>(r);
  d->last_dc_val_[c] = dc;
  const int16_t v = ToI16(dc << d->successive_low_);
  std::memcpy(p, &v, 2);
}

void progressive_block_decoder::decode_block_dc_refine(jpeg_decoder* d, int c, int x, int y) {
  uint8_t* p = d->coeff_buf_getp(d->dc_coeffs_[c], x, y);
  if (!p) return;
  if (d->get_bits(1)) {
    int16_t v;
    std::memcpy(&v, p, 2);
    v = ToI16(static_cast<uint32_t>(static_cast<int32_t>(v)) | 1u << d->successive_low_);
    std::memcpy(p, &v, 2);
  }
}

// AC blocks are changed where they lie, a coefficient at a time, and their
// non-zero bits kept with them.
void progressive_block_decoder::decode_block_ac_first(jpeg_decoder* d, int c, int x, int y) {
  const int32_t at = d->block_at(d->ac_coeffs_[c], x, y);
  if (at < 0) return;
  if (d->eob_run_) {
    d->eob_run_--;
    return;
  }
  uint8_t* blk = d->ac_coeffs_[c]->data + static_cast<size_t>(at) * 128;
  uint64_t nz = d->ac_nonzero_[c][at];
  const jpeg_decoder::huff_tables& t = d->huff_[d->comp_ac_tab_[c]];
  for (int k = d->spectral_start_; k <= d->spectral_end_; k++) {
    const int rs = d->huff_decode(t);
    const int r = rs >> 4, s = rs & 15;
    if (s) {
      k += r;
      if (k > 63) return d->terminate(-227);
      const int32_t v = Extend(static_cast<int32_t>(d->get_bits(s)), s);
      const int16_t value = ToI16(static_cast<uint32_t>(v) << d->successive_low_);
      StoreCoef(blk, ZAG[k], value);
      const uint64_t bit = uint64_t{1} << k;
      nz = value ? nz | bit : nz & ~bit;
    } else if (r == 15) {
      k += 15;
    } else {
      d->eob_run_ = 1u << r;
      if (r) d->eob_run_ += d->get_bits(r);
      d->eob_run_--;
      break;
    }
  }
  d->ac_nonzero_[c][at] = nz;
  d->ac_row_nonzero_[c][y] |= nz;
}

void progressive_block_decoder::decode_block_ac_refine(jpeg_decoder* d, int c, int x, int y) {
  const int32_t at = d->block_at(d->ac_coeffs_[c], x, y);
  if (at < 0) return;
  uint8_t* blk = d->ac_coeffs_[c]->data + static_cast<size_t>(at) * 128;
  uint64_t nz = d->ac_nonzero_[c][at];
  const int32_t p1 = 1 << d->successive_low_, m1 = -p1;
  const int se = d->spectral_end_;
  int k = d->spectral_start_;
  const jpeg_decoder::huff_tables& t = d->huff_[d->comp_ac_tab_[c]];
  // A correction bit for the coefficient of zig-zag index j, already non-zero.
  auto refine = [&](int j) {
    if (!d->get_bits(1)) return;
    const int32_t v = LoadCoef(blk, ZAG[j]);
    if ((v & p1) == 0) StoreCoef(blk, ZAG[j], v >= 0 ? v + p1 : v + m1);
  };
  if (!d->eob_run_) {
    for (; k <= se; k++) {
      const int rs = d->huff_decode(t);
      int r = rs >> 4;
      const int s = rs & 15;
      int32_t value = 0;
      if (s) {
        if (s != 1) return d->terminate(-227);
        value = d->get_bits(1) ? p1 : m1;
      } else if (r != 15) {
        d->eob_run_ = 1u << r;
        if (r) d->eob_run_ += d->get_bits(r);
        break;  // the rest of the band is read below
      }
      do {
        if (nz >> k & 1)
          refine(k);
        else if (--r < 0)
          break;
        k++;
      } while (k <= se);
      if (value) {
        if (k > 63) return d->terminate(-227);
        StoreCoef(blk, ZAG[k], value);
        nz |= uint64_t{1} << k;
      }
    }
  }
  if (d->eob_run_) {
    // Only the band's non-zero coefficients read a bit.
    for (uint64_t m = nz & Band(k, se); m; m &= m - 1) refine(__builtin_ctzll(m));
    d->eob_run_--;
  }
  d->ac_nonzero_[c][at] = nz;
  d->ac_row_nonzero_[c][y] |= nz;
}

void progressive_block_decoder::decode_block_sequential(jpeg_decoder* d, int c, int x, int y) {
  uint8_t* dcp = d->coeff_buf_getp(d->dc_coeffs_[c], x, y);
  const int32_t at = dcp ? d->block_at(d->ac_coeffs_[c], x, y) : -1;
  if (at < 0) return;
  int16_t blk[64] = {};
  uint64_t nz = 0;
  auto put = [&blk, &nz](int k, uint32_t v) {
    blk[ZAG[k]] = ToI16(v);
    if (blk[ZAG[k]]) nz |= uint64_t{1} << k;
  };
  if (d->decode_huffman_block(c, put) < 0) return;
  std::memcpy(dcp, blk, 2);
  blk[0] = 0;
  std::memcpy(d->ac_coeffs_[c]->data + static_cast<size_t>(at) * 128, blk, 128);
  d->ac_nonzero_[c][at] = nz & ~uint64_t{1};
  d->ac_row_nonzero_[c][y] |= nz & ~uint64_t{1};
}

// Blocks from (x, y) on along the scan's row that the end-of-band run passes
// without reading a bit: all of them in a first scan, in a refinement those
// without a non-zero coefficient in the band (the whole row at once when none
// of its blocks has one). They leave the run (and the restart interval) at
// once; 0 when the block at (x, y) has bits to read.
int32_t jpeg_decoder::pass_run(int c, int32_t x, int32_t y) {
  const coeff_buf_tag* cb = ac_coeffs_[c];
  if (!cb || y >= cb->blocks_down) return 0;  // the block decoder stores the error
  const int32_t row = comp_h_blocks_[c] < cb->blocks_across ? comp_h_blocks_[c] : cb->blocks_across;
  if (x >= row) return 0;
  uint32_t limit = static_cast<uint32_t>(row - x);
  if (limit > eob_run_) limit = eob_run_;
  if (restart_interval_ && limit > restarts_left_ + 1) limit = restarts_left_ + 1;
  uint32_t n = limit;
  if (successive_high_ && (ac_row_nonzero_[c][y] & band_)) {
    const uint64_t* nz = ac_nonzero_[c] + y * cb->blocks_across + x;
    for (n = 0; n + 4 <= limit && !((nz[n] | nz[n + 1] | nz[n + 2] | nz[n + 3]) & band_);) n += 4;
    while (n < limit && !(nz[n] & band_)) n++;
  }
  eob_run_ -= n;
  if (restart_interval_ && n) restarts_left_ -= n - 1;
  return static_cast<int32_t>(n);
}

void jpeg_decoder::decode_scan(block_decoder fn) {
  if (comps_in_scan_ == 1) {
    const int c = comp_list_[0];
    const bool runs = progressive_ && spectral_start_ > 0;
    for (int32_t y = 0; y < comp_v_blocks_[c]; y++)
      for (int32_t x = 0; x < comp_h_blocks_[c]; x++) {
        if (restart_due()) return;
        if (runs && eob_run_) {
          const int32_t n = pass_run(c, x, y);
          if (n) {
            x += n - 1;
            continue;
          }
        }
        fn(this, c, x, y);
        if (error_code_) return;
        // No block may take its bits from beyond the scan's data.
        if (ran_dry()) return terminate(-236);
      }
    return;
  }
  for (int32_t my = 0; my < mcus_per_col_; my++)
    for (int32_t mx = 0; mx < mcus_per_row_; mx++) {
      if (restart_due()) return;
      for (int i = 0; i < comps_in_scan_; i++) {
        const int c = comp_list_[i];
        const int h = comp_h_samp_[c], v = comp_v_samp_[c];
        for (int by = 0; by < v; by++)
          for (int bx = 0; bx < h; bx++) {
            fn(this, c, mx * h + bx, my * v + by);
            if (error_code_) return;
          }
      }
      if (ran_dry()) return terminate(-236);
    }
}

// Whole-image coefficient buffers for every frame component, over the frame's
// MCUs (a grey frame's MCU is one block whatever its sampling says).
void jpeg_decoder::open_coeff_bufs() {
  if (error_code_) return;
  if (comps_in_frame_ == 4) return terminate(-225);
  const int32_t mcus_x = (image_x_ + max_mcu_x_size_ - 1) / max_mcu_x_size_;
  const int32_t mcus_y = (image_y_ + max_mcu_y_size_ - 1) / max_mcu_y_size_;
  for (int c = 0; c < comps_in_frame_; c++) {
    const int h = comps_in_frame_ == 1 ? 1 : comp_h_samp_[c], v = comps_in_frame_ == 1 ? 1 : comp_v_samp_[c];
    dc_coeffs_[c] = coeff_buf_open(h * mcus_x, v * mcus_y, 1, 1);
    ac_coeffs_[c] = coeff_buf_open(h * mcus_x, v * mcus_y, 8, 8);
    // A failed allocation stores its error and gives null.
    ac_nonzero_[c] = static_cast<uint64_t*>(alloc(static_cast<uint32_t>(h * mcus_x * v * mcus_y) * 8u));
    ac_row_nonzero_[c] = static_cast<uint64_t*>(alloc(static_cast<uint32_t>(v * mcus_y) * 8u));
    if (error_code_) return;
  }
}

// Every scan into the whole-image buffers, from the one just set up (have_scan)
// or the next, up to EOI; then the frame's own MCU layout for the rows.
void jpeg_decoder::decode_scans(bool have_scan) {
  buffered_ = true;
  for (bool more = have_scan || init_scan(); more; more = init_scan()) {
    block_decoder fn = progressive_block_decoder::decode_block_sequential;
    band_ = ~uint64_t{0};
    if (progressive_) {
      const int ss = spectral_start_, se = spectral_end_, ah = successive_high_, al = successive_low_;
      if (se < ss || se > 63 || (ss == 0 && se != 0) || (ss != 0 && comps_in_scan_ > 1)) return terminate(-230);
      if (ah != 0 && ah != al + 1) return terminate(-231);
      fn = ss == 0 ? (ah == 0 ? progressive_block_decoder::decode_block_dc_first
                              : progressive_block_decoder::decode_block_dc_refine)
                   : (ah == 0 ? progressive_block_decoder::decode_block_ac_first
                              : progressive_block_decoder::decode_block_ac_refine);
      band_ = Band(ss, se);
    }
    // Each scan walks all its blocks whatever its data holds: the file's size
    // pays for the walks, so a small file cannot ask for endless work.
    const uint32_t blocks = static_cast<uint32_t>(mcus_per_row_) * static_cast<uint32_t>(mcus_per_col_) *
                            static_cast<uint32_t>(blocks_per_mcu_);
    if (blocks > visits_left_) return terminate(-234);
    visits_left_ -= blocks;
    decode_scan(fn);
    if (error_code_) return;
    // And the bits it read (the data up to where the reader stopped).
    const uint32_t bytes = position_ - scan_start_;
    if (bytes > visits_left_ / 8) return terminate(-234);
    visits_left_ -= 8 * bytes;
    // Coefficients whose last bit has come.
    if (!progressive_ || successive_low_ == 0)
      for (int i = 0; i < comps_in_scan_; i++) complete_[comp_list_[i]] |= band_;
    prep_entropy();  // markers are read from here on
  }
  if (error_code_) return;
  // The file ended (no EOI) with coefficients still to come: cut short.
  if (past_end_ && !coefficients_complete()) return terminate(-236);
  comps_in_scan_ = comps_in_frame_;
  for (int i = 0; i < comps_in_frame_; i++) comp_list_[i] = i;
  calc_mcu_block_order();
  mcu_row_index_ = 0;
}

bool jpeg_decoder::coefficients_complete() const {
  for (int c = 0; c < comps_in_frame_; c++)
    if (complete_[c] != ~uint64_t{0}) return false;
  return true;
}

void jpeg_decoder::init_progressive() {
  if (error_code_) return;
  if (!dc_coeffs_[0]) open_coeff_bufs();
  decode_scans(false);
}

// --- The loader ---

namespace {

// The loader's result for a code the decoder stored: a picture too big for the
// work memory is "no memory", a frame this decoder does not read is not its
// format as long as nothing was made for it, anything else is bad data.
int ResultOf(int32_t code, bool created) {
  if (code == -221 || code == -233 || code == -235) return ERES_NOMEMORY;
  if (!created && (code == -225 || code == -226)) return ERES_NOTTHISFORMAT;
  return ERES_BAD;
}

}  // namespace

template <class Target>
int ELoader_JPG::Run(Target* target, void* data, uint32_t length, uint8_t renderformat, uint32_t flags) {
  std::unique_ptr<jpeg_decoder> d(new (std::nothrow) jpeg_decoder);
  if (!d) return ERES_NOMEMORY;
  d->init(data, length);
  d->locate_sof_marker();
  if (d->error_code()) return ERES_NOTTHISFORMAT;
  if (!ELoader_SizeAllowed(uint32_t(d->width()), uint32_t(d->height()), renderformat, flags)) return ERES_NOMEMORY;
  d->init_frame();
  if (d->error_code()) return ResultOf(d->error_code(), false);
  ELDR_2DCALLBACKINFO info = NewInfo(renderformat, flags);
  info.width = static_cast<uint32_t>(d->width());
  info.height = static_cast<uint32_t>(d->height());
  const int r = target->LdrOnCreate(&info);
  if (r) return r;
  d->begin();
  ELoaderWork work;
  uint32_t* words = reinterpret_cast<uint32_t*>(work.Take(4 * info.width));
  if (!words) return ERES_NOMEMORY;
  const bool colour = d->components() == 3;
  info.data = words;
  info.bytecount = 4 * info.width;
  void* row = nullptr;
  uint32_t len = 0;
  // Rows until the last one or a decoding error; the rows delivered stand, but a
  // picture not decoded to its end is a failure.
  while (d->decode(&row, &len) == 0) {
    const uint8_t* s = static_cast<const uint8_t*>(row);
    if (colour && kLittleEndian)
      std::memcpy(words, s, 4 * info.width);  // red, green, blue, 0xFF already is the word
    else if (colour)
      for (uint32_t x = 0; x < info.width; x++, s += 4)
        words[x] = 0xFF000000u | static_cast<uint32_t>(s[2]) << 16 | static_cast<uint32_t>(s[1]) << 8 | s[0];
    else
      for (uint32_t x = 0; x < info.width; x++) words[x] = 0xFF000000u | s[x] * 0x010101u;
    if (target->LdrOnPixelStream(&info)) return ERES_BAD;
  }
  return d->error_code() ? ResultOf(d->error_code(), true) : ERES_OK;
}

int ELoader_JPG::Start(E2DSurfaceBase* surface, void* data, uint32_t length, uint8_t renderformat,
                       uint32_t flags) {
  if (!surface) return ERES_NOTTHISFORMAT;
  return Run(surface, data, length, renderformat, flags);
}

int ELoader_JPG::Decode(ELDR_2DRECEIVER* target, void* data, uint32_t length, uint8_t renderformat,
                        uint32_t flags) {
  if (!target) return ERES_NOTTHISFORMAT;
  return Run(target, data, length, renderformat, flags);
}
