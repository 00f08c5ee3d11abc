// Memory blocks: the one way blocks are allocated, freed, copied, filled and
// compared across the program, a tracked block list, and the compression codecs.
#ifndef ZARN_FRAMEWORK_EMOD_MEMORY_H
#define ZARN_FRAMEWORK_EMOD_MEMORY_H

#include <cstdint>

class ClassEMemory {
 public:
  ClassEMemory();
  ~ClassEMemory();
  ClassEMemory(const ClassEMemory&) = delete;
  ClassEMemory& operator=(const ClassEMemory&) = delete;

  // Static block operations.
  static void* Alloc(uint32_t size);
  static void DeAlloc(void* block);
  static void Copy(void* dst, const void* src, uint32_t length, bool overlapSafe = false);
  static int32_t Compare(const void* a, const void* b, int32_t length);
  static void Set(void* dst, uint8_t value, uint32_t count);
  static void Set16(void* dst, uint32_t value, uint32_t count);
  static void Set24(void* dst, uint32_t value, uint32_t count);
  static void Set32(void* dst, uint32_t value, uint32_t count);

  // Tracked blocks.
  void* AllocList(uint32_t size);
  void DeAllocList(void* block);
  uint32_t InUse() const;

  // Compression (emod_compress.cpp). The LZW codec uses this object as its workspace.
  bool Compress(void* out, uint32_t& size, const void* in, uint32_t length);
  bool UnCompress(void* out, uint32_t& size, const void* in, uint32_t length);
  static bool CompressZLib(void* out, uint32_t& size, const void* in, uint32_t length);
  static bool UnCompressZLib(void* out, uint32_t& size, const void* in, uint32_t length);
  bool AddCmpString(const uint8_t* data, uint32_t position, uint32_t length);
  bool AddUCmpString(const uint8_t* data, uint32_t position, uint32_t length);
  uint32_t FindString(const uint8_t* data, const uint8_t* string, uint32_t length);
  void GetString(const uint8_t* data, uint8_t* out, uint32_t& length, uint32_t code);

 private:
  void** blocks_ = nullptr;      // tracked blocks (from their slot prefix)
  uint32_t* sizes_ = nullptr;    // size of each slot's block, prefix included; 0 = free
  uint32_t* codecOffsets_ = nullptr;
  uint8_t* codecLengths_ = nullptr;
  uint32_t slots_ = 0;
  uint32_t codecEntries_ = 0;
  friend struct EMemoryCodec;    // the codec's own helpers (emod_compress.cpp)
};

// Fills a byte count with a repeating 4-byte pattern, low byte first.
void EMemory_Set(void* dst, uint32_t pattern, uint32_t bytes);

#endif
