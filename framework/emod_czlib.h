// A thin object wrapper over one zlib stream, using the framework's allocator.
#ifndef ZARN_FRAMEWORK_EMOD_CZLIB_H
#define ZARN_FRAMEWORK_EMOD_CZLIB_H

#include <cstdint>

struct z_stream_s;

class CZLib {
 public:
  CZLib();
  ~CZLib();
  CZLib(const CZLib&) = delete;
  CZLib& operator=(const CZLib&) = delete;

  void SetupInput(const void* buffer, uint32_t length);
  void SetupInputBuffer(const void* buffer);
  void SetupInputLength(uint32_t length);
  void SetupOutput(void* buffer, uint32_t length);
  void SetupOutputBuffer(void* buffer);
  void SetupOutputLength(uint32_t length);
  const uint8_t* NextInput() const;
  uint32_t AvailableInput() const;
  uint32_t TotalInput() const;
  uint8_t* NextOutput() const;
  uint32_t AvailableOutput() const;
  uint32_t TotalOutput() const;
  int DataType() const;
  uint32_t Adler() const;

  int InflateInit(int windowBits = 15);
  int Inflate(int flush);
  int InflateEnd();
  int InflateSetDictionary(const uint8_t* dictionary, uint32_t length);
  int InflateSync();
  int InflateReset();
  int DeflateInit(int level, int method = 8, int windowBits = 15, int memLevel = 8, int strategy = 0);
  int Deflate(int flush);
  int DeflateEnd();
  int DeflateSetDictionary(const uint8_t* dictionary, uint32_t length);
  int DeflateCopy(CZLib& source);
  int DeflateReset();
  int DeflateParams(int level, int strategy);

  // One-shots returning zlib's code; destLength is capacity in, produced out.
  static int Compress(uint8_t* dest, uint32_t& destLength, const uint8_t* source, uint32_t length,
                      int level = -1);
  static int Uncompress(uint8_t* dest, uint32_t& destLength, const uint8_t* source, uint32_t length);
  static uint32_t Adler32(uint32_t adler, const uint8_t* data, uint32_t length);
  static uint32_t Crc32(uint32_t crc, const uint8_t* data, uint32_t length);

 private:
  z_stream_s* stream_;
};

#endif
