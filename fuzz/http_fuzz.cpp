// HTTP responses: bytes pushed in pieces into a response stack; the parsed
// fields stay terminated and the body inside what was received.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "net/emod_http.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 16)) return 0;
  const uint32_t piece = 1 + data[0] % 64;
  data++;
  size--;
  EHTTPStack s;
  if (!s.Alloc(4096)) return 0;
  for (size_t at = 0; at < size; at += piece) {
    const uint32_t n = static_cast<uint32_t>(size - at < piece ? size - at : piece);
    s.Push(data + at, n);
  }
  EHTTPRESPONSE_INFO info;
  if (s.GetResponseInfo(&info)) {
    for (const char* field : {info.contentencoding, info.contenttype, info.server, info.location})
      if (!std::memchr(field, 0, 1024)) std::abort();
    if (!std::memchr(info.date, 0, sizeof info.date)) std::abort();
    if (s.HeaderLength() > size || s.BodySize() > size) std::abort();
    std::vector<uint8_t> body(s.BodySize() + 1);
    uint32_t n = static_cast<uint32_t>(body.size());
    if (!s.GetBody(body.data(), n) || n != s.BodySize()) std::abort();
    std::vector<char> text(s.HeaderLength() + 1);
    if (!s.GetResponseInfo(text.data(), static_cast<uint32_t>(text.size()))) std::abort();
  }
  s.Result(true);
  s.Result(false);
  return 0;
}
