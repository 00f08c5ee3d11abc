#include "game/hscode.h"

const char kHighscoreTemplate[] = "sTsCsusCssTssCsssTCsssCsTssCsCsTsCssTsCs";

namespace {

constexpr uint32_t kMaxLetters = 256;

struct Shape {
  char letters[kMaxLetters];
  uint32_t count = 0, s = 0, q = 0, t = 0;
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Normalises the template and counts its letters; false when it is refused.
bool Parse(const char* tmpl, Shape* out) {
  if (!tmpl) return false;
  for (const char* p = tmpl; *p; p++) {
    if (*p == ' ') continue;
    if (out->count == kMaxLetters) return false;
    const char c = Lower(*p);
    out->letters[out->count++] = c;
    if (c == 's') out->s++;
    if (c == 'c') out->q++;
    if (c == 't') out->t++;
  }
  // The score letters divide the key and set the rotation; 32 of anything would
  // shift by the word's width.
  return out->s >= 1 && out->s < 32 && out->q < 32 && out->t <= 32;
}

uint32_t Digits(const Shape& sh) { return (sh.count + 3) / 4; }

uint32_t KeyOf(uint32_t key, uint32_t type) { return key + key * type; }

uint32_t Rotation(uint32_t k, uint32_t s) {
  const uint32_t r = (k % s) & 0xFF;
  return r == 0 ? 1 : r;
}

uint32_t Mask(uint32_t bits) { return (1u << bits) - 1; }  // bits below 32

// Rotates within s bits (0 < r, s < 32). With s = 1 the rotation is by 1 of 1 bit.
uint32_t RotateLeft(uint32_t v, uint32_t r, uint32_t s) {
  if (r >= s) return v & Mask(s);
  return ((v >> (s - r)) | (v << r)) & Mask(s);
}
uint32_t RotateRight(uint32_t v, uint32_t r, uint32_t s) {
  if (r >= s) return v & Mask(s);
  return ((v >> r) | (v << (s - r))) & Mask(s);
}

}  // namespace

bool Hscode_Encode(const char* tmpl, uint32_t key, uint32_t type, uint32_t score, char* code,
                   uint32_t codeSize) {
  Shape sh;
  if (!code || !Parse(tmpl, &sh) || Digits(sh) + 1 > codeSize) return false;
  const uint32_t k = KeyOf(key, type);
  const uint32_t r = Rotation(k, sh.s);
  const uint32_t mask = Mask(sh.s);
  if (score > mask) return false;
  const uint32_t h = (k ^ RotateLeft(score, r, sh.s)) & mask;
  const uint32_t check = (k + score * k + h) & Mask(sh.q);
  uint32_t ci = 0, ti = 0, si = 0, digit = 0, nd = 0;
  static const char kHex[] = "0123456789ABCDEF";
  for (uint32_t i = 0; i < sh.count; i++) {
    uint32_t bit = 0;
    switch (sh.letters[i]) {
      case 'c': bit = (check >> ci++) & 1; break;
      case 't': bit = (type >> ti++) & 1; break;
      case 's': bit = (h >> si++) & 1; break;
      default: break;
    }
    digit |= bit << (i & 3);
    if ((i & 3) == 3 || i + 1 == sh.count) {
      code[nd++] = kHex[digit];
      digit = 0;
    }
  }
  code[nd] = 0;
  return true;
}

bool Hscode_Decode(const char* tmpl, uint32_t key, uint32_t* type, uint32_t* score,
                   const char* code) {
  Shape sh;
  if (!code || !Parse(tmpl, &sh)) return false;
  const uint32_t digits = Digits(sh);
  uint32_t check = 0, t = 0, h = 0, ci = 0, ti = 0, si = 0;
  for (uint32_t d = 0; d < digits; d++) {
    const char c = code[d];
    uint32_t v;
    if (c >= '0' && c <= '9') v = static_cast<uint32_t>(c - '0');
    else if (c >= 'A' && c <= 'F') v = static_cast<uint32_t>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f') v = static_cast<uint32_t>(c - 'a' + 10);
    else return false;  // also a code that ends early
    for (uint32_t j = 0; j < 4 && 4 * d + j < sh.count; j++) {
      const uint32_t bit = (v >> j) & 1;
      switch (sh.letters[4 * d + j]) {
        case 'c': check |= bit << ci++; break;
        case 't': t |= bit << ti++; break;
        case 's': h |= bit << si++; break;
        default: break;
      }
    }
  }
  if (code[digits] != 0) return false;
  const uint32_t k = KeyOf(key, t);
  const uint32_t r = Rotation(k, sh.s);
  const uint32_t s = RotateRight((h ^ k) & Mask(sh.s), r, sh.s);
  if (type) *type = t;
  if (score) *score = s;
  return ((k + h + k * s) & Mask(sh.q)) == check;
}
