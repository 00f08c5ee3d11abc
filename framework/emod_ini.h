// Key = value text files, read from a file or from a block of memory.
//
// Lines end in CR, LF or both; "#" or ";" outside double quotes starts a
// comment; the first "=" outside quotes separates key and value. Keys and values
// are trimmed and lose one pair of surrounding double quotes. Written lines end
// in CR LF; text values are written in double quotes.
#ifndef ZARN_FRAMEWORK_EMOD_INI_H
#define ZARN_FRAMEWORK_EMOD_INI_H

#include <cstdint>

#include "framework/emod_file.h"

class ClassEIni : public ClassEFile {
 public:
  // Keys and values are at most this many bytes with their terminator, on
  // reading (longer ones are cut) and on writing.
  static constexpr uint32_t kTextSize = 256;

  ClassEIni();
  ~ClassEIni();

  bool Open(const uint16_t* name, uint8_t mode = EFILE_READWRITE);
  bool Open(const char* name, uint8_t mode = EFILE_READWRITE);
  bool OpenData(const void* data, uint32_t length);
  bool New(const char* name);
  bool New(const uint16_t* name);
  bool SetParseBufferSize(uint32_t size);
  void ResetCursor();
  // The next line with a non-empty key; key and value need kTextSize bytes.
  bool ReadLine(char* key, char* value);
  bool FindKey(const char* key, char* value, bool caseSensitive = false);
  bool FindValue(char* key, const char* value, bool caseSensitive = false);
  void WriteLine(const char* key, const char* value);
  void WriteLine(const char* key, int32_t number);
  void WriteComment(const char* text);
  void WriteNewline();
  void Close();

 private:
  bool AttachFile(bool opened);
  int NextByte();
  bool Writable() const { return iniOpen_ && !memoryMode_ && IsOpen(); }

  const uint8_t* memData_ = nullptr;  // memory mode: the caller's bytes
  uint8_t* buffer_ = nullptr;         // file mode: the parse buffer (owned)
  const uint8_t* cur_ = nullptr;      // next byte of the current window
  const uint8_t* end_ = nullptr;      // end of the current window
  uint32_t dataSize_ = 0;
  uint32_t filled_ = 0;               // bytes of the data taken into windows so far
  uint32_t bufferSize_ = 0;
  uint8_t iniOpen_ = 0;
  uint8_t memoryMode_ = 0;
};

// Writes one line at offset (a CR LF first when the text before does not end a
// line) and advances the offset by everything written.
void EIni_WriteLine(ClassEFile* file, uint32_t& offset, const char* key, const char* value,
                    bool quoted, bool comment);
// Trims blanks, then one pair of surrounding double quotes.
char* EIni_QuoteTrim(char* text);

#endif
