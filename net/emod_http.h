// A small HTTP/1.0 client on top of the connection: requests described in an
// EHTTPRequest go out through ClassEConnect::SendHTTPGet / SendHTTPPost /
// SendHTTPPostMultipart; the bytes of the connection's data events go into an
// EHTTPStack, which finds the end of the response header, parses its main
// fields and hands out the body.
#ifndef ZARN_NET_EMOD_HTTP_H
#define ZARN_NET_EMOD_HTTP_H

#include <cstdint>
#include <string>

class ClassEFile;

class EHTTPRequest {
 public:
  EHTTPRequest();
  explicit EHTTPRequest(const char* url);
  ~EHTTPRequest();
  EHTTPRequest(const EHTTPRequest&) = delete;
  EHTTPRequest& operator=(const EHTTPRequest&) = delete;

  void DefaultData();
  // 1, or 0 when memory is short. A plain value is stored with its terminating zero.
  int AddParam(const char* name, const char* text);
  int AddParam(const char* name, int32_t number);
  // A file part from disk, an open file, or memory; 0 for an empty or unreadable file.
  int AddFile(const char* name, const char* path, const char* contentType = nullptr);
  int AddFile(const char* name, ClassEFile* file, const char* contentType = nullptr);
  int AddData(const char* name, const void* data, uint32_t length, const char* fileName = nullptr,
              const char* contentType = nullptr);
  // Content type by extension (case-sensitive); "application/octet-stream" else.
  static void GetMimeType(char* out, const char* fileName);
  static void GetMimeType(char* out, const uint16_t* fileName);
  static void AddMimeArray(uint32_t& count, char (*extensions)[8], char (*types)[32],
                           const char* extension, const char* type);

  // The request texts; false when they cannot be built (memory short).
  bool BuildGet(std::string& out) const;
  bool BuildPost(std::string& out) const;
  bool BuildMultipart(std::string& out, const char* boundary) const;

  uint32_t Count() const { return count_; }
  const char* Name(uint32_t i) const { return names_[i]; }
  const uint8_t* Value(uint32_t i) const { return values_[i]; }
  uint32_t ValueLength(uint32_t i) const { return lengths_[i]; }
  const char* FileName(uint32_t i) const { return fileNames_[i]; }
  const char* ContentType(uint32_t i) const { return types_[i]; }

  uint8_t acceptgzip = 0;
  char host[512];
  char path[512];
  char referer[1024];
  char useragent[128];
  char user[128];
  char password[128];
  uint8_t connection = 0;  // 0 no line, 1 Keep-Alive, 2 close
  uint32_t port = 80;

 private:
  bool ExpandList();
  // Takes ownership of the copies; false when memory is short.
  bool Add(const char* name, const uint8_t* value, uint32_t length, const char* fileName,
           const char* contentType);
  void CommonLines(std::string& out, bool withHost) const;
  void FreeAll();

  uint32_t* lengths_ = nullptr;
  uint8_t** values_ = nullptr;
  char** fileNames_ = nullptr;
  char** names_ = nullptr;
  char** types_ = nullptr;
  uint32_t count_ = 0;
  uint32_t capacity_ = 0;
};

struct EHTTPRESPONSE_INFO {
  char contentencoding[16];
  char contenttype[128];
  char server[256];
  char location[1024];
  char date[48];
  uint32_t contentlength;
  uint16_t status;
  uint8_t haslength;  // 1 when the header gave a Content-Length
  uint8_t badlength;  // 1 when it gave two that differ (contentlength is the first)
};

// Where a response stands (EHTTPStack::Result).
enum {
  EHTTP_PENDING = 0,    // more bytes to come
  EHTTP_DONE = 1,       // header and the whole announced body are there
  EHTTP_FULL = 2,       // the response did not fit the storage
  EHTTP_NOHEADER = 3,   // the connection closed before the header ended
  EHTTP_SHORT = 4,      // the connection closed before the announced body length
  EHTTP_NOLENGTH = 5,   // closed; no Content-Length, so the body is what came
  EHTTP_UNSENT = 6,     // the connection was lost before the request went out whole
  EHTTP_MALFORMED = 7,  // the header gave Content-Length values that differ: no body
};

class EHTTPStack {
 public:
  EHTTPStack() = default;
  ~EHTTPStack() { DeAlloc(); }
  EHTTPStack(const EHTTPStack&) = delete;
  EHTTPStack& operator=(const EHTTPStack&) = delete;

  int Alloc(uint32_t size);
  void DeAlloc();
  void Clear();
  // Appends all bytes or none: 1, or 0 without storage or room.
  int Push(const void* data, uint32_t length);
  bool HeaderDone() const { return headerLength_ != 0; }
  uint32_t HeaderLength() const { return headerLength_; }
  bool Gzip() const { return gzip_ != 0; }
  // The body: the bytes after the header, at most Content-Length of them (what
  // comes after belongs to no response of ours); none when the lengths disagree.
  uint32_t BodySize() const;
  // Copies the body; `length` is the buffer size in and the body size out.
  // 1, or 0 before the header is complete or when the buffer is too small.
  int GetBody(void* out, uint32_t& length) const;
  int GetResponseInfo(EHTTPRESPONSE_INFO* info) const;
  // The header text, terminated; 1, or 0 before it is complete or too long.
  int GetResponseInfo(char* text, uint32_t size) const;
  // How the response stands, given whether the connection has closed and
  // whether the request went out whole (ClassEConnect::RequestSent).
  int Result(bool closed, bool sent = true) const;

 private:
  void Parse();

  EHTTPRESPONSE_INFO info_{};
  uint8_t* storage_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t received_ = 0;
  uint32_t headerLength_ = 0;
  uint8_t watch_ = 0;
  uint8_t overflow_ = 0;
  uint8_t gzip_ = 0;
};

#endif
