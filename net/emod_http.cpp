#include "net/emod_http.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "framework/emod_device.h"
#include "framework/emod_file.h"
#include "framework/emod_memory.h"
#include "framework/emod_vtimer.h"
#include "net/emod_connect.h"

namespace {

const char kHex[] = "0123456789ABCDEF";
const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct MimeRow {
  const char* extension;
  const char* type;
};
const MimeRow kMime[] = {
    {".avi", "video/x-msvideo"},  {".c", "text/plain"},        {".cc", "text/plain"},
    {".cpp", "text/plain"},       {".css", "text/css"},        {".doc", "application/msword"},
    {".gif", "image/gif"},        {".gz", "application/x-gzip"}, {".h", "text/plain"},
    {".htm", "text/html"},        {".html", "text/html"},      {".jpe", "image/jpeg"},
    {".jpg", "image/jpeg"},       {".jpeg", "image/jpeg"},     {".js", "application/x-javascript"},
    {".mid", "audio/midi"},       {".midi", "audio/midi"},     {".mov", "video/quicktime"},
    {".mp2", "audio/mpeg"},       {".mp3", "audio/mpeg"},      {".mpe", "video/mpeg"},
    {".mpeg", "video/mpeg"},      {".mpg", "video/mpeg"},      {".mpga", "audio/mpeg"},
    {".png", "image/png"},        {".rtf", "text/rtf"},        {".rtx", "text/richtext"},
    {".tif", "image/tiff"},       {".tiff", "image/tiff"},     {".txt", "text/plain"},
    {".vrml", "model/vrml"},      {".wav", "audio/x-wav"},     {".wrl", "model/vrml"},
    {".xbm", "image/x-xbitmap"},  {".xml", "text/xml"},        {".zip", "application/zip"},
};

// Copies at most size - 1 bytes and terminates.
void CopyText(char* out, const char* text, size_t size) {
  size_t n = std::strlen(text);
  if (n >= size) n = size - 1;
  std::memcpy(out, text, n);
  out[n] = 0;
}

char* Duplicate(const char* text) {
  const uint32_t n = static_cast<uint32_t>(std::strlen(text)) + 1;
  char* copy = static_cast<char*>(ClassEMemory::Alloc(n));
  if (copy) std::memcpy(copy, text, n);
  return copy;
}

std::string Encoded(const char* text) {
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) {
    const unsigned char c = *p;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
        std::strchr("!'()*-._~", c)) {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string Base64(const char* text) {
  std::string out;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  size_t n = std::strlen(text), i = 0;
  for (; i + 3 <= n; i += 3) {
    const uint32_t v = static_cast<uint32_t>(p[i]) << 16 | static_cast<uint32_t>(p[i + 1]) << 8 | p[i + 2];
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += kBase64[v & 63];
  }
  if (n - i == 1) {
    const uint32_t v = static_cast<uint32_t>(p[i]) << 16;
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += "==";
  } else if (n - i == 2) {
    const uint32_t v = static_cast<uint32_t>(p[i]) << 16 | static_cast<uint32_t>(p[i + 1]) << 8;
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

unsigned char Lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

}  // namespace

// ---- Text functions -------------------------------------------------------

void ClassEConnect::SplitURL(const char* url, char* host, char* path, uint32_t max) {
  uint32_t n = 0;
  while (n < max && url[n]) n++;
  uint32_t at = 0;
  if (n >= 7 && Lower(url[0]) == 'h' && Lower(url[1]) == 't' && Lower(url[2]) == 't' &&
      Lower(url[3]) == 'p' && url[4] == ':' && url[5] == '/' && url[6] == '/')
    at = 7;
  uint32_t slash = at;
  while (slash < n && url[slash] != '/') slash++;
  std::memcpy(host, url + at, slash - at);
  host[slash - at] = 0;
  if (slash < n) {
    std::memcpy(path, url + slash, n - slash);
    path[n - slash] = 0;
  } else {
    path[0] = '/';
    path[1] = 0;
  }
}

void ClassEConnect::UrlEncode(char* out, const char* text) {
  const std::string s = Encoded(text);
  std::memcpy(out, s.c_str(), s.size() + 1);
}

void ClassEConnect::UrlDecode(char* out, const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  char* o = out;
  while (*p) {
    if (*p == '+') {
      *o++ = ' ';
      p++;
    } else if (*p == '%' && HexValue(p[1]) >= 0 && HexValue(p[2]) >= 0) {
      *o++ = static_cast<char>(HexValue(p[1]) << 4 | HexValue(p[2]));
      p += 3;
    } else {
      *o++ = static_cast<char>(*p++);
    }
  }
  *o = 0;
}

void ClassEConnect::Base64Encode(char* out, const char* text) {
  const std::string s = Base64(text);
  std::memcpy(out, s.c_str(), s.size() + 1);
}

void ClassEConnect::Base64Decode(char* out, const char* text) {
  uint32_t bits = 0, have = 0;
  char* o = out;
  for (const char* p = text; *p && *p != '='; p++) {
    const char* at = std::strchr(kBase64, *p);
    if (!at) break;
    bits = (bits << 6 | static_cast<uint32_t>(at - kBase64)) & 0xFFFFFFu;
    have += 6;
    if (have >= 8) {
      have -= 8;
      *o++ = static_cast<char>((bits >> have) & 0xFF);
    }
  }
  *o = 0;
}

void ClassEConnect::GenerateBoundary(char* out, uint32_t length) {
  char clock[9];
  std::snprintf(clock, sizeof clock, "%X", static_cast<unsigned>(ClassERTimer::Count()));
  const uint32_t c = static_cast<uint32_t>(std::strlen(clock));
  for (uint32_t i = 0; i < length; i++)
    out[i] = (length - i <= c) ? clock[c - (length - i)] : '-';
  out[length] = 0;
}

void ClassEConnect::ExpandString(char* buffer, uint32_t& position, const char* text) {
  const uint32_t n = static_cast<uint32_t>(std::strlen(text));
  std::memcpy(buffer + position, text, n);
  position += n;
}

// ---- Requests ---------------------------------------------------------------

EHTTPRequest::EHTTPRequest() { DefaultData(); }

EHTTPRequest::EHTTPRequest(const char* url) {
  DefaultData();
  if (!url) return;
  const char* query = std::strrchr(url, '?');
  if (query && query - url > 767) return;
  const size_t before = query ? static_cast<size_t>(query - url) : std::strlen(url);
  ClassEConnect::SplitURL(url, host, path, static_cast<uint32_t>(before < 511 ? before : 511));
  if (char* colon = std::strchr(host, ':')) {
    *colon = 0;
    uint32_t p = 0;
    for (const char* d = colon + 1; *d >= '0' && *d <= '9'; d++) p = p * 10u + static_cast<uint32_t>(*d - '0');
    port = p ? p : 80;
  }
  if (!query) return;
  const std::string q(query + 1);
  size_t start = 0;
  while (start <= q.size()) {
    size_t end = q.find('&', start);
    if (end == std::string::npos) end = q.size();
    const std::string pair = q.substr(start, end - start);
    if (!pair.empty()) {
      const size_t eq = pair.find('=');
      const std::string name = pair.substr(0, eq);
      const std::string value = eq == std::string::npos ? std::string() : pair.substr(eq + 1);
      std::string decoded(value.size() + 1, '\0');
      ClassEConnect::UrlDecode(&decoded[0], value.c_str());
      AddParam(name.c_str(), decoded.c_str());
    }
    start = end + 1;
  }
}

EHTTPRequest::~EHTTPRequest() { FreeAll(); }

void EHTTPRequest::FreeAll() {
  for (uint32_t i = 0; i < count_; i++) {
    ClassEMemory::DeAlloc(values_[i]);
    ClassEMemory::DeAlloc(names_[i]);
    if (fileNames_[i]) ClassEMemory::DeAlloc(fileNames_[i]);
    if (types_[i]) ClassEMemory::DeAlloc(types_[i]);
  }
  delete[] lengths_;
  delete[] values_;
  delete[] fileNames_;
  delete[] names_;
  delete[] types_;
  lengths_ = nullptr;
  values_ = nullptr;
  fileNames_ = names_ = types_ = nullptr;
  count_ = capacity_ = 0;
}

void EHTTPRequest::DefaultData() {
  FreeAll();
  acceptgzip = 0;
  host[0] = 0;
  CopyText(path, "/", sizeof path);
  referer[0] = 0;
  char model[128];
  ClassEDevice device;
  device.GetModelName(model);
  const std::string agent = std::string("Zarn/2.96 (") + model + ")";
  CopyText(useragent, agent.c_str(), sizeof useragent);
  user[0] = 0;
  password[0] = 0;
  connection = 0;
  port = 80;
}

bool EHTTPRequest::ExpandList() {
  const uint32_t grown = capacity_ + 32;
  uint32_t* lengths = new (std::nothrow) uint32_t[grown]();
  uint8_t** values = new (std::nothrow) uint8_t*[grown]();
  char** fileNames = new (std::nothrow) char*[grown]();
  char** names = new (std::nothrow) char*[grown]();
  char** types = new (std::nothrow) char*[grown]();
  if (!lengths || !values || !fileNames || !names || !types) {
    delete[] lengths;
    delete[] values;
    delete[] fileNames;
    delete[] names;
    delete[] types;
    return false;
  }
  for (uint32_t i = 0; i < count_; i++) {
    lengths[i] = lengths_[i];
    values[i] = values_[i];
    fileNames[i] = fileNames_[i];
    names[i] = names_[i];
    types[i] = types_[i];
  }
  delete[] lengths_;
  delete[] values_;
  delete[] fileNames_;
  delete[] names_;
  delete[] types_;
  lengths_ = lengths;
  values_ = values;
  fileNames_ = fileNames;
  names_ = names;
  types_ = types;
  capacity_ = grown;
  return true;
}

bool EHTTPRequest::Add(const char* name, const uint8_t* value, uint32_t length,
                       const char* fileName, const char* contentType) {
  if (!name || (length && !value)) return false;
  if (count_ == capacity_ && !ExpandList()) return false;
  uint8_t* v = static_cast<uint8_t*>(ClassEMemory::Alloc(length ? length : 1));
  char* n = Duplicate(name);
  char* f = fileName ? Duplicate(fileName) : nullptr;
  char* t = contentType ? Duplicate(contentType) : nullptr;
  if (!v || !n || (fileName && !f) || (contentType && !t)) {
    ClassEMemory::DeAlloc(v);
    ClassEMemory::DeAlloc(n);
    ClassEMemory::DeAlloc(f);
    ClassEMemory::DeAlloc(t);
    return false;
  }
  if (length) std::memcpy(v, value, length);
  lengths_[count_] = length;
  values_[count_] = v;
  names_[count_] = n;
  fileNames_[count_] = f;
  types_[count_] = t;
  count_++;
  return true;
}

int EHTTPRequest::AddParam(const char* name, const char* text) {
  if (!text) text = "";
  return Add(name, reinterpret_cast<const uint8_t*>(text),
             static_cast<uint32_t>(std::strlen(text)) + 1, nullptr, nullptr)
             ? 1
             : 0;
}

int EHTTPRequest::AddParam(const char* name, int32_t number) {
  char text[16];
  std::snprintf(text, sizeof text, "%ld", static_cast<long>(number));
  return AddParam(name, text);
}

int EHTTPRequest::AddFile(const char* name, ClassEFile* file, const char* contentType) {
  if (!file || !file->IsOpen()) return 0;
  const uint32_t size = file->Size();
  if (size == 0) return 0;
  uint8_t* data = static_cast<uint8_t*>(ClassEMemory::Alloc(size));
  if (!data) return 0;
  file->Seek(0);
  char fileName[512];
  const uint16_t* wide = file->FileName();
  uint32_t i = 0;
  for (; wide && wide[i] && i + 1 < sizeof fileName; i++)
    fileName[i] = static_cast<char>(wide[i] < 256 ? wide[i] : '?');
  fileName[i] = 0;
  char type[32];
  if (!contentType) GetMimeType(type, fileName);
  const int ok = file->Read(data, size) &&
                 Add(name, data, size, fileName, contentType ? contentType : type);
  ClassEMemory::DeAlloc(data);
  return ok ? 1 : 0;
}

int EHTTPRequest::AddFile(const char* name, const char* filePath, const char* contentType) {
  if (!filePath) return 0;
  ClassEFile file;
  if (!file.Open(filePath, EFILE_READ)) return 0;
  const uint32_t size = file.Size();
  if (size == 0) return 0;
  uint8_t* data = static_cast<uint8_t*>(ClassEMemory::Alloc(size));
  if (!data) return 0;
  char type[32];
  if (!contentType) GetMimeType(type, filePath);
  const int ok = file.Read(data, size) &&
                 Add(name, data, size, filePath, contentType ? contentType : type);
  ClassEMemory::DeAlloc(data);
  return ok ? 1 : 0;
}

int EHTTPRequest::AddData(const char* name, const void* data, uint32_t length,
                          const char* fileName, const char* contentType) {
  char defaultName[24];
  if (!fileName) {
    std::snprintf(defaultName, sizeof defaultName, "file%u", static_cast<unsigned>(count_ + 1));
    fileName = defaultName;
  }
  char type[32];
  if (!contentType) GetMimeType(type, fileName);
  return Add(name, static_cast<const uint8_t*>(data), length, fileName,
             contentType ? contentType : type)
             ? 1
             : 0;
}

void EHTTPRequest::GetMimeType(char* out, const char* fileName) {
  if (fileName) {
    const size_t n = std::strlen(fileName);
    for (const MimeRow& row : kMime) {
      const size_t e = std::strlen(row.extension);
      if (n >= e && std::memcmp(fileName + n - e, row.extension, e) == 0) {
        std::strcpy(out, row.type);
        return;
      }
    }
  }
  std::strcpy(out, "application/octet-stream");
}

void EHTTPRequest::GetMimeType(char* out, const uint16_t* fileName) {
  if (!fileName) {
    GetMimeType(out, static_cast<const char*>(nullptr));
    return;
  }
  char narrow[512];
  uint32_t i = 0;
  for (; fileName[i] && i + 1 < sizeof narrow; i++)
    narrow[i] = static_cast<char>(fileName[i] < 256 ? fileName[i] : '?');
  narrow[i] = 0;
  GetMimeType(out, narrow);
}

void EHTTPRequest::AddMimeArray(uint32_t& count, char (*extensions)[8], char (*types)[32],
                                const char* extension, const char* type) {
  CopyText(extensions[count], extension, 8);
  CopyText(types[count], type, 32);
  count++;
}

void EHTTPRequest::CommonLines(std::string& out, bool withHost) const {
  if (withHost) out += std::string("\r\nHost: ") + host;
  if (connection == 1) out += "\r\nConnection: Keep-Alive";
  if (connection == 2) out += "\r\nConnection: close";
  out += "\r\nAccept: */*";
  out += std::string("\r\nUser-Agent: ") + useragent;
  if (referer[0]) out += std::string("\r\nReferer: ") + referer;
  if (user[0]) {
    const std::string credentials = std::string(user) + ":" + password;
    out += "\r\nAuthorization: Basic " + Base64(credentials.c_str());
  }
  if (acceptgzip) out += "\r\nAccept-Encoding: gzip";
  out += "\r\n\r\n";
}

bool EHTTPRequest::BuildGet(std::string& out) const {
  out = std::string("GET ") + path;
  bool first = true;
  for (uint32_t i = 0; i < count_; i++) {
    if (types_[i]) continue;
    out += first ? "?" : "&";
    first = false;
    out += std::string(names_[i]) + "=" + Encoded(reinterpret_cast<const char*>(values_[i]));
  }
  out += " HTTP/1.0";
  CommonLines(out, true);
  return true;
}

bool EHTTPRequest::BuildPost(std::string& out) const {
  std::string body;
  for (uint32_t i = 0; i < count_; i++) {
    if (types_[i]) continue;
    if (!body.empty()) body += "&";
    body += std::string(names_[i]) + "=" + Encoded(reinterpret_cast<const char*>(values_[i]));
  }
  out = std::string("POST ") + path + " HTTP/1.0";
  out += std::string("\r\nHost: ") + host;
  out += "\r\nContent-Type: application/x-www-form-urlencoded";
  out += "\r\nContent-Length: " + std::to_string(body.size());
  CommonLines(out, false);
  out += body;
  return true;
}

bool EHTTPRequest::BuildMultipart(std::string& out, const char* boundary) const {
  std::string body;
  for (uint32_t i = 0; i < count_; i++) {
    body += std::string("--") + boundary + "\r\n";
    body += std::string("Content-Disposition: form-data; name=\"") + names_[i] + "\"";
    if (types_[i]) {
      body += std::string("; filename=\"") + (fileNames_[i] ? fileNames_[i] : "") + "\"";
      body += std::string("\r\nContent-Type: ") + types_[i];
    }
    body += "\r\n\r\n";
    body.append(reinterpret_cast<const char*>(values_[i]), lengths_[i]);
    body += "\r\n";
  }
  body += std::string("--") + boundary + "--\r\n";
  out = std::string("POST ") + path + " HTTP/1.0";
  out += std::string("\r\nHost: ") + host;
  out += std::string("\r\nContent-Type: multipart/form-data; boundary=") + boundary;
  out += "\r\nContent-Length: " + std::to_string(body.size());
  CommonLines(out, false);
  out += body;
  return true;
}

// ---- Sending ------------------------------------------------------------------

int ClassEConnect::StartRequest(const EHTTPRequest* request, const std::string& text) {
  Disconnect(0);
  if (request_) ClassEMemory::DeAlloc(request_);
  request_ = nullptr;
  requestLength_ = 0;
  requestAhead_ = 0;
  requestLeft_ = 0;
  requestLive_ = 0;
  if (text.size() > 0x7FFFFFFEu) return 0;
  char* copy = static_cast<char*>(ClassEMemory::Alloc(static_cast<uint32_t>(text.size()) + 1));
  if (!copy) return 0;  // memory short: nothing is sent
  std::memcpy(copy, text.c_str(), text.size() + 1);
  request_ = copy;
  requestLength_ = static_cast<int32_t>(text.size());
  requestLeft_ = static_cast<uint32_t>(text.size());
  if (SearchHost(request->host, request->port)) return 1;
  // The request belongs to the host it names: when that host cannot be
  // reached it is dropped, never kept for whatever connection comes next.
  if (request_) ClassEMemory::DeAlloc(request_);
  request_ = nullptr;
  requestLength_ = 0;
  return 0;
}

int ClassEConnect::SendHTTPGet(EHTTPRequest* request) {
  std::string text;
  return request && request->BuildGet(text) ? StartRequest(request, text) : 0;
}

int ClassEConnect::SendHTTPPost(EHTTPRequest* request) {
  std::string text;
  return request && request->BuildPost(text) ? StartRequest(request, text) : 0;
}

int ClassEConnect::SendHTTPPostMultipart(EHTTPRequest* request) {
  if (!request) return 0;
  char boundary[41];
  GenerateBoundary(boundary, 40);
  std::string text;
  if (!request->BuildMultipart(text, boundary)) return 0;
  return StartRequest(request, text);
}

int ClassEConnect::SendHTTPGet(const char* url, bool) {
  EHTTPRequest request(url);
  return SendHTTPGet(&request);
}

int ClassEConnect::SendHTTPPost(const char* url, bool) {
  EHTTPRequest request(url);
  return SendHTTPPost(&request);
}

// ---- Responses ----------------------------------------------------------------

int EHTTPStack::Alloc(uint32_t size) {
  DeAlloc();
  storage_ = size ? static_cast<uint8_t*>(ClassEMemory::Alloc(size + 1)) : nullptr;
  capacity_ = storage_ ? size : 0;
  Clear();
  return storage_ ? 1 : 0;
}

void EHTTPStack::DeAlloc() {
  if (storage_) ClassEMemory::DeAlloc(storage_);
  storage_ = nullptr;
  capacity_ = 0;
  Clear();
}

void EHTTPStack::Clear() {
  std::memset(&info_, 0, sizeof info_);
  received_ = headerLength_ = 0;
  watch_ = overflow_ = gzip_ = 0;
}

int EHTTPStack::Push(const void* data, uint32_t length) {
  if (!storage_ || (length && !data)) return 0;
  if (length == 0) return 1;
  if (length > capacity_ - received_) {
    overflow_ = 1;
    return 0;
  }
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  std::memcpy(storage_ + received_, bytes, length);
  const bool waiting = headerLength_ == 0;
  for (uint32_t i = 0; i < length && headerLength_ == 0; i++) {
    // CR, any byte, CR, any byte: the blank line, wherever the pushes split it.
    const uint8_t b = bytes[i];
    if (watch_ == 0 || watch_ == 2) {
      watch_ = b == '\r' ? static_cast<uint8_t>(watch_ + 1) : 0;
    } else if (watch_ == 1) {
      watch_ = 2;
    } else {
      watch_ = 0;
      headerLength_ = received_ + i + 1;
    }
  }
  received_ += length;
  if (waiting && headerLength_) Parse();
  return 1;
}

namespace {

// A header field kept in the response's info: its name with the colon, in
// lower case, and where its value goes (none: Content-Length, a number).
struct HeaderField {
  const char* name;
  char* out;
  uint32_t size;
};

// The status: the digits after the first space.
uint16_t StatusOf(const char* text, uint32_t end) {
  uint32_t at = 0;
  while (at < end && text[at] != ' ') at++;
  uint32_t status = 0;
  for (uint32_t k = at + 1; k < end && k <= at + 15 && text[k] >= '0' && text[k] <= '9'; k++)
    status = status * 10u + static_cast<uint32_t>(text[k] - '0');
  return static_cast<uint16_t>(status > 0xFFFF ? 0xFFFF : status);
}

// A Content-Length value: a number, or several joined by commas (repeated
// fields folded into one). Every length a header gives must be the same; one
// that differs from the first marks the response as unusable.
void ReadLength(const char* text, uint32_t v, uint32_t stop, EHTTPRESPONSE_INFO* info) {
  for (;;) {
    uint32_t value = 0;
    bool digits = false;
    for (; v < stop && text[v] >= '0' && text[v] <= '9'; v++) {
      digits = true;
      value = value > 429496728u ? 0xFFFFFFFFu : value * 10u + static_cast<uint32_t>(text[v] - '0');
    }
    if (digits && !info->haslength) {
      info->contentlength = value;
      info->haslength = 1;
    } else if (digits && value != info->contentlength) {
      info->badlength = 1;
    }
    while (v < stop && (text[v] == ' ' || text[v] == '\t')) v++;
    if (v >= stop || text[v] != ',') return;
    v++;
    while (v < stop && (text[v] == ' ' || text[v] == '\t')) v++;
  }
}

// The field's value when the line [line, stop) holds it: names match in any case.
void ReadField(const char* text, uint32_t line, uint32_t stop, const HeaderField& f,
               EHTTPRESPONSE_INFO* info) {
  const uint32_t n = static_cast<uint32_t>(std::strlen(f.name));
  if (stop - line < n) return;
  uint32_t k = 0;
  while (k < n &&
         Lower(static_cast<unsigned char>(text[line + k])) == static_cast<unsigned char>(f.name[k]))
    k++;
  if (k < n) return;
  uint32_t v = line + n;
  while (v < stop && (text[v] == ' ' || text[v] == '\t')) v++;
  if (!f.out) {
    ReadLength(text, v, stop, info);
    return;
  }
  uint32_t len = stop - v;
  if (len >= f.size) len = f.size - 1;
  std::memcpy(f.out, text + v, len);
  f.out[len] = 0;
}

}  // namespace

void EHTTPStack::Parse() {
  // The header text ends before its final CR LF.
  const char* text = reinterpret_cast<const char*>(storage_);
  const uint32_t end = headerLength_ >= 2 ? headerLength_ - 2 : 0;
  std::memset(&info_, 0, sizeof info_);
  info_.status = StatusOf(text, end);
  const HeaderField fields[] = {
      {"content-length:", nullptr, 0},
      {"date:", info_.date, sizeof info_.date},
      {"server:", info_.server, sizeof info_.server},
      {"content-type:", info_.contenttype, sizeof info_.contenttype},
      {"content-encoding:", info_.contentencoding, sizeof info_.contentencoding},
      {"location:", info_.location, sizeof info_.location},
  };
  // Field names are matched at line starts.
  for (uint32_t line = 0; line < end;) {
    uint32_t stop = line;
    while (stop < end && text[stop] != '\r' && text[stop] != '\n') stop++;
    for (const HeaderField& f : fields) ReadField(text, line, stop, f, &info_);
    line = stop;
    while (line < end && (text[line] == '\r' || text[line] == '\n')) line++;
  }
  gzip_ = std::strcmp(info_.contentencoding, "gzip") == 0 ||
          std::strcmp(info_.contentencoding, "x-gzip") == 0;
}

uint32_t EHTTPStack::BodySize() const {
  if (!headerLength_ || info_.badlength) return 0;
  const uint32_t body = received_ - headerLength_;
  return info_.haslength && body > info_.contentlength ? info_.contentlength : body;
}

int EHTTPStack::GetBody(void* out, uint32_t& length) const {
  if (!headerLength_) return 0;
  const uint32_t body = BodySize();
  if (length < body || (body && !out)) return 0;
  if (body) std::memcpy(out, storage_ + headerLength_, body);
  length = body;
  return 1;
}

int EHTTPStack::GetResponseInfo(EHTTPRESPONSE_INFO* info) const {
  if (!headerLength_ || !info) return 0;
  *info = info_;
  return 1;
}

int EHTTPStack::GetResponseInfo(char* text, uint32_t size) const {
  if (!headerLength_ || !text) return 0;
  const uint32_t n = headerLength_ >= 2 ? headerLength_ - 2 : 0;
  if (n + 1 > size) return 0;
  std::memcpy(text, storage_, n);
  text[n] = 0;
  return 1;
}

int EHTTPStack::Result(bool closed, bool sent) const {
  if (!sent) return closed ? EHTTP_UNSENT : EHTTP_PENDING;
  if (overflow_) return EHTTP_FULL;
  if (!headerLength_) return closed ? EHTTP_NOHEADER : EHTTP_PENDING;
  if (info_.badlength) return EHTTP_MALFORMED;
  if (!info_.haslength) return closed ? EHTTP_NOLENGTH : EHTTP_PENDING;
  if (BodySize() >= info_.contentlength) return EHTTP_DONE;
  return closed ? EHTTP_SHORT : EHTTP_PENDING;
}
