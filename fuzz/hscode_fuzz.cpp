// Submission codes: any template and code decode without overrun; what encodes
// decodes back to the same type and score.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "game/hscode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8 || size > 1024) return 0;
  uint32_t key, score;
  std::memcpy(&key, data, 4);
  std::memcpy(&score, data + 4, 4);
  // The rest: "template|code", each zero-terminated here.
  char text[1024];
  const size_t n = size - 8;
  std::memcpy(text, data + 8, n);
  text[n] = 0;
  char* code = std::strchr(text, '|');
  if (code) *code++ = 0;
  uint32_t type = 0, got = 0;
  Hscode_Decode(text, key, &type, &got, code ? code : "");
  char out[40];
  std::memset(out, '#', sizeof out);
  // The type must fit its letters to come back.
  uint32_t letters = 0;
  for (const char* p = text; *p; p++) letters += (*p == 't' || *p == 'T');
  const uint32_t t = letters >= 32 ? key : key & ((1u << letters) - 1);
  if (Hscode_Encode(text, key, t, score, out, 33)) {
    if (!std::memchr(out, 0, 33) || out[33] != '#') std::abort();
    uint32_t t2 = 0, s2 = 0;
    if (!Hscode_Decode(text, key, &t2, &s2, out) || s2 != score) std::abort();
  }
  return 0;
}
