// JPEG loader: baseline, extended sequential and progressive Huffman images,
// grey, YCbCr or (by an Adobe marker) RGB, with 1x1, 2x1, 1x2 or 2x2 sampling of
// the first component. The decoding is done by jpeg_decoder, which hands out one
// output row at a time and never unwinds: it stores a negative error code, frees
// its blocks, and its caller looks.
#ifndef ZARN_LOADERS_ELDR_JPG_H
#define ZARN_LOADERS_ELDR_JPG_H

#include "loaders/eldr_base.h"

// One whole-image coefficient buffer of a progressive image.
struct coeff_buf_tag {
  uint8_t* data;
  int32_t blocks_across;
  int32_t blocks_down;
  int32_t block_width;
  int32_t block_height;
  int32_t bytes_per_block;
};

class jpeg_decoder : public ClassELoaderBase {
 public:
  enum { kMaxBlocks = 100, kMaxBlocksPerMcu = 10, kMaxBlocksPerRow = 6144 };
  // Work memory one picture may hold (the console has 64 MB in all); more stores -235.
  static constexpr uint32_t kMaxWork = 16u << 20;
  // Work that scans into the whole-image buffers may do per byte of the file:
  // a unit for each block visited and for each bit of entropy data read; more
  // stores -234. Encoders' scan scripts stay far below it (under 25 visits a
  // byte on a flat picture, whose DC scans still take a bit per block, and
  // never more than 8 bits a byte).
  static constexpr uint32_t kVisitsPerByte = 64;
  // Scan types by luma sampling.
  enum { kGrey = 0, kH1V1 = 1, kH2V1 = 2, kH1V2 = 3, kH2V2 = 4 };

  jpeg_decoder();
  // init and locate_sof_marker in one step.
  jpeg_decoder(void* data, uint32_t size);
  ~jpeg_decoder() override;

  void init(void* data, uint32_t size);
  void decode_init(void* data, uint32_t size);
  void locate_sof_marker();
  // Checks the frame and takes its work memory; once only (begin calls it when
  // it has not run).
  void init_frame();
  // 1 when a scan was set up, 0 at EOI (or with an error stored).
  int init_scan();
  void init_progressive();
  // init_frame, then the scans; once only.
  int begin();
  // 0 a row, 1 no rows left, -1 an error is stored or the decoder is not ready.
  int decode(void** row, uint32_t* length);

  int32_t error_code() const { return error_code_; }
  int32_t width() const { return image_x_; }
  int32_t height() const { return image_y_; }
  int32_t components() const { return comps_in_frame_; }
  bool is_progressive() const { return progressive_; }
  int32_t scan_type() const { return scan_type_; }

  // Whole-image coefficient buffers (progressive images).
  coeff_buf_tag* coeff_buf_open(int32_t across, int32_t down, int32_t bw, int32_t bh);
  uint8_t* coeff_buf_getp(coeff_buf_tag* cb, int32_t x, int32_t y);
  // The index of block (x, y) in a buffer; -1 (and -229 stored) outside it.
  int32_t block_at(const coeff_buf_tag* cb, int32_t x, int32_t y);
  void coeff_buf_read(coeff_buf_tag* cb, int32_t x, int32_t y, int16_t* block);
  void coeff_buf_write(coeff_buf_tag* cb, int32_t x, int32_t y, const int16_t* block);

  // The inverse DCT of one block of dequantised coefficients into 8x8 samples.
  static void idct(const int16_t* coefficients, uint8_t* samples);

  // Stores the code (the first one stays) and frees every block.
  void terminate(int32_t code);

  typedef void (*block_decoder)(jpeg_decoder*, int component, int x, int y);
  friend struct progressive_block_decoder;

 private:
  struct huff_tables {
    int16_t look[256];   // codes of up to 8 bits: length << 8 | symbol; -1 otherwise
    int32_t maxcode[18]; // longest code of each length, -1 when none
    int32_t valoffset[17];
    uint8_t count;       // symbols
    uint8_t val[256];
  };

  void* alloc(uint32_t n);
  void free_all_blocks();
  // Marker reader: the bytes as they are; an endless EOI run past the end.
  uint32_t get_char();
  uint32_t get_16();
  int process_markers();
  void read_dht();
  void read_dqt();
  void read_dri();
  void read_sof();
  void read_sos();
  void skip_variable_marker();
  void make_huff_table(int index);
  void calc_mcu_block_order();
  void prep_entropy();
  // Entropy reader: stuffing removed, a marker reads as 1-bits.
  void fill_bits();
  // The scan read bits the entropy data did not hold (made up at a marker or
  // at the end of the file): it ran out before its last block.
  bool ran_dry() const { return made_up_ > 0 && made_up_ * 8 > bits_left_; }
  uint32_t get_bits(int n);
  int huff_decode(const huff_tables& t);
  void process_restart();
  bool restart_due();
  template <class Put>
  int decode_huffman_block(int comp, Put put);
  void decode_next_row();
  void load_next_row();
  void transform_row();
  void open_coeff_bufs();
  bool whole_frame_scan() const;
  void decode_scans(bool have_scan);
  void decode_scan(block_decoder fn);
  int32_t pass_run(int c, int32_t x, int32_t y);
  bool coefficients_complete() const;
  void read_app(uint32_t marker);
  template <bool Rgb>
  void build_line(uint8_t* out, int32_t line);
  void create_look_ups();

  // image
  int32_t image_x_ = 0, image_y_ = 0;
  bool progressive_ = false;
  // Coefficients of the whole picture are gathered first: progressive frames and
  // sequential ones whose scans do not hold every component at once.
  bool buffered_ = false;
  bool frame_set_ = false;
  bool scan_seen_ = false;
  // Colour space markers: three components are RGB only when an Adobe marker
  // says so and no JFIF marker says YCbCr.
  bool saw_jfif_ = false;
  int32_t adobe_transform_ = -1;
  bool rgb_ = false;
  int32_t comps_in_frame_ = 0;
  uint8_t comp_ident_[4] = {}, comp_h_samp_[4] = {}, comp_v_samp_[4] = {}, comp_quant_[4] = {};
  int32_t comp_h_blocks_[4] = {}, comp_v_blocks_[4] = {};
  int32_t max_h_samp_ = 1, max_v_samp_ = 1;
  // tables
  uint8_t huff_num_[8][17] = {};
  uint8_t huff_val_[8][256] = {};
  bool huff_defined_[8] = {};
  bool huff_changed_[8] = {};  // defined again since its look-ups were built
  huff_tables huff_[8];
  uint16_t quant_[4][64] = {};
  bool quant_defined_[4] = {};
  // scan
  int32_t comps_in_scan_ = 0;
  int32_t comp_list_[4] = {};
  int32_t comp_dc_tab_[4] = {}, comp_ac_tab_[4] = {};
  int32_t spectral_start_ = 0, spectral_end_ = 0, successive_high_ = 0, successive_low_ = 0;
  uint32_t last_dc_val_[4] = {};
  uint32_t eob_run_ = 0;
  // MCU layout
  int32_t scan_type_ = 0;
  int32_t max_mcu_x_size_ = 8, max_mcu_y_size_ = 8;
  int32_t blocks_per_mcu_ = 0, mcus_per_row_ = 0, mcus_per_col_ = 0, blocks_per_mcu_row_ = 0;
  int32_t mcu_org_[kMaxBlocksPerMcu] = {};
  int32_t mcu_row_index_ = 0;
  // restart
  uint32_t restart_interval_ = 0, restarts_left_ = 0, next_restart_num_ = 0;
  // rows
  int32_t total_lines_left_ = 0, mcu_lines_left_ = 0, mcu_line_ = 0;
  int32_t dest_bytes_per_pixel_ = 1, dest_bytes_per_scan_line_ = 0, real_dest_bytes_per_scan_line_ = 0;
  // buffers
  int16_t* mcu_coeffs_ = nullptr;
  uint8_t* block_max_zag_ = nullptr;
  uint8_t* samples_ = nullptr;
  uint8_t* scan_line_[2] = {};
  int32_t crr_[256] = {}, cbb_[256] = {}, crg_[256] = {}, cbg_[256] = {};
  uint8_t clamp_[1536] = {};  // 0..255 limits of -512 .. 1023
  coeff_buf_tag* dc_coeffs_[4] = {};
  coeff_buf_tag* ac_coeffs_[4] = {};
  // Per block of an AC buffer: bit k set when the coefficient of zig-zag index
  // k (1 to 63) is not 0, so end-of-band runs and the rows visit only those.
  uint64_t* ac_nonzero_[4] = {};
  // Per block row: the bits of all its blocks (a bit a block lost may stay).
  uint64_t* ac_row_nonzero_[4] = {};
  uint64_t band_ = 0;           // zig-zag indices of the current scan
  // Per component: zig-zag indices whose last bit a scan has delivered.
  uint64_t complete_[4] = {};
  // input
  uint32_t bit_buf_ = 0;
  int32_t bits_left_ = 0;
  uint32_t eof_toggle_ = 0;
  int32_t made_up_ = 0;         // bytes of 1-bits the entropy reader made up
  uint32_t scan_start_ = 0;     // where the current scan's entropy data began
  bool past_end_ = false;       // the marker reader went past the end of the file
  // bookkeeping
  void* blocks_[kMaxBlocks] = {};
  uint32_t held_ = 0;          // bytes of the blocks
  uint32_t visits_left_ = 0;   // block visits scans may still make
  int32_t error_code_ = 0;
  bool ready_flag_ = false;
};

class ELoader_JPG : public ClassELoaderBase {
 public:
  using ClassELoaderBase::Start;
  int Start(E2DSurfaceBase* surface, void* data, uint32_t length, uint8_t renderformat,
            uint32_t flags) override;
  // The same decode into any receiver.
  int Decode(ELDR_2DRECEIVER* target, void* data, uint32_t length, uint8_t renderformat, uint32_t flags);

 private:
  template <class Target>
  int Run(Target* target, void* data, uint32_t length, uint8_t renderformat, uint32_t flags);
};

#endif
