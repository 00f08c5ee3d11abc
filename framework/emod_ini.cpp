#include "framework/emod_ini.h"

#include <cstring>

#include "framework/emod_memory.h"

ClassEIni::ClassEIni() = default;
ClassEIni::~ClassEIni() { Close(); }

char* EIni_QuoteTrim(char* text) {
  if (!text) return text;
  ClassEStd::StrTrim(text);
  const int32_t n = ClassEStd::StrLen(text);
  if (n >= 2 && text[0] == '"' && text[n - 1] == '"') {
    std::memmove(text, text + 1, static_cast<size_t>(n - 2));
    text[n - 2] = 0;
  }
  return text;
}

// Starts on the file that the base class has just opened or created.
bool ClassEIni::AttachFile(bool opened) {
  if (!opened) return false;
  memoryMode_ = 0;
  iniOpen_ = 1;
  dataSize_ = ClassEFile::Size();
  SetParseBufferSize(4096);
  return true;
}

bool ClassEIni::Open(const uint16_t* name, uint8_t mode) {
  Close();
  return AttachFile(ClassEFile::Open(name, mode));
}

bool ClassEIni::Open(const char* name, uint8_t mode) {
  Close();
  return AttachFile(ClassEFile::Open(name, mode));
}

bool ClassEIni::OpenData(const void* data, uint32_t length) {
  Close();
  if (!data || length == 0) return false;
  memData_ = static_cast<const uint8_t*>(data);
  dataSize_ = length;
  memoryMode_ = 1;
  iniOpen_ = 1;
  SetParseBufferSize(4096);
  return true;
}

bool ClassEIni::New(const char* name) {
  Close();
  return AttachFile(ClassEFile::New(name));
}

bool ClassEIni::New(const uint16_t* name) {
  Close();
  return AttachFile(ClassEFile::New(name));
}

bool ClassEIni::SetParseBufferSize(uint32_t size) {
  cur_ = end_ = nullptr;
  filled_ = 0;
  if (memoryMode_) {
    bufferSize_ = size ? size : 1;
    return true;
  }
  ClassEMemory::DeAlloc(buffer_);
  buffer_ = static_cast<uint8_t*>(ClassEMemory::Alloc(size));
  bufferSize_ = buffer_ ? size : 0;
  ClassEFile::Seek(0);
  return false;
}

void ClassEIni::ResetCursor() {
  cur_ = end_ = nullptr;
  filled_ = 0;
  if (!memoryMode_) ClassEFile::Seek(0);
}

// The next byte of the data, or -1 at the end. Windows are taken whole while
// at least a buffer's worth remains; the rest comes as one shorter window.
int ClassEIni::NextByte() {
  if (cur_ < end_) return *cur_++;
  if (!iniOpen_ || filled_ >= dataSize_ || bufferSize_ == 0) return -1;
  const uint32_t left = dataSize_ - filled_;
  const uint32_t n = left < bufferSize_ ? left : bufferSize_;
  if (memoryMode_) {
    cur_ = memData_ + filled_;
  } else {
    uint8_t* at = buffer_ + (bufferSize_ - n);
    ClassEFile::Seek(filled_);
    if (!ClassEFile::Read(at, n)) {
      filled_ = dataSize_;
      return -1;
    }
    cur_ = at;
  }
  end_ = cur_ + n;
  filled_ += n;
  return *cur_++;
}

// Each of CR and LF ends a line, so LF-only, CR-only and CR LF files read alike
// (a CR LF pair only adds an empty line, which is skipped).
bool ClassEIni::ReadLine(char* key, char* value) {
  if (!key || !value) return false;
  key[0] = value[0] = 0;
  if (!iniOpen_) return false;
  char k[1024], v[1024];
  for (;;) {
    uint32_t kl = 0, vl = 0;
    bool inValue = false, quoted = false, comment = false, any = false;
    int c;
    while ((c = NextByte()) >= 0) {
      any = true;
      if (c == '\r' || c == '\n') break;
      if (comment) continue;
      if (!quoted && (c == '#' || c == ';')) {
        comment = true;
        continue;
      }
      if (c == '"') quoted = !quoted;
      if (!quoted && c == '=') {
        inValue = true;
        vl = 0;
        continue;
      }
      if (inValue) {
        if (vl < sizeof v - 1) v[vl++] = static_cast<char>(c);
      } else if (kl < sizeof k - 1) {
        k[kl++] = static_cast<char>(c);
      }
    }
    k[kl] = 0;
    v[vl] = 0;
    EIni_QuoteTrim(k);
    EIni_QuoteTrim(v);
    if (k[0]) {
      ClassEStd::StrCpy(key, k, kTextSize);
      ClassEStd::StrCpy(value, v, kTextSize);
      return true;
    }
    if (!any || c < 0) return false;
  }
}

bool ClassEIni::FindKey(const char* key, char* value, bool caseSensitive) {
  if (!key || !value) return false;
  char k[kTextSize], v[kTextSize];
  while (ReadLine(k, v)) {
    if (ClassEStd::StrEqual(k, key, caseSensitive)) {
      ClassEStd::StrCpy(value, v, kTextSize);
      return true;
    }
  }
  return false;
}

bool ClassEIni::FindValue(char* key, const char* value, bool caseSensitive) {
  if (!key || !value) return false;
  char k[kTextSize], v[kTextSize];
  while (ReadLine(k, v)) {
    if (ClassEStd::StrEqual(v, value, caseSensitive)) {
      ClassEStd::StrCpy(key, k, kTextSize);
      return true;
    }
  }
  return false;
}

void EIni_WriteLine(ClassEFile* file, uint32_t& offset, const char* key, const char* value,
                    bool quoted, bool comment) {
  if (!file || !file->IsOpen()) return;
  auto put = [&](const char* text, uint32_t limit) {
    uint32_t n = static_cast<uint32_t>(ClassEStd::StrLen(text, static_cast<int32_t>(limit)));
    if (n && file->Write(text, n)) offset += n;
  };
  file->Seek(offset);
  if (offset >= 2) {
    uint8_t before[2] = {0, 0};
    file->Seek(offset - 2);
    const bool got = file->Read(before, 2);
    file->Seek(offset);
    if (!got || (before[0] != '\n' && before[1] != '\n')) put("\r\n", 2);
  }
  // Texts longer than a reader's key or value are cut, so what is written reads back.
  const uint32_t max = ClassEIni::kTextSize - 1;
  if (comment) {
    put("# ", 2);
    put(value ? value : "", max);
  } else {
    put(key ? key : "", max);
    put(" = ", 3);
    if (quoted) put("\"", 1);
    put(value ? value : "", max);
    if (quoted) put("\"", 1);
  }
  put("\r\n", 2);
}

void ClassEIni::WriteLine(const char* key, const char* value) {
  if (!Writable()) return;
  uint32_t offset = ClassEFile::Size();
  EIni_WriteLine(this, offset, key, value, true, false);
}

void ClassEIni::WriteLine(const char* key, int32_t number) {
  if (!Writable()) return;
  char digits[16];
  ClassEStd::IntToStr(digits, number, 10, true);
  uint32_t offset = ClassEFile::Size();
  EIni_WriteLine(this, offset, key, digits, false, false);
}

void ClassEIni::WriteComment(const char* text) {
  if (!Writable()) return;
  uint32_t offset = ClassEFile::Size();
  EIni_WriteLine(this, offset, nullptr, text, false, true);
}

void ClassEIni::WriteNewline() {
  if (!Writable()) return;
  ClassEFile::Seek(ClassEFile::Size());
  ClassEFile::Write("\r\n", 2);
}

void ClassEIni::Close() {
  if (iniOpen_ && !memoryMode_) ClassEFile::Close();
  ClassEMemory::DeAlloc(buffer_);
  buffer_ = nullptr;
  memData_ = nullptr;
  cur_ = end_ = nullptr;
  dataSize_ = filled_ = bufferSize_ = 0;
  iniOpen_ = 0;
  memoryMode_ = 0;
}
