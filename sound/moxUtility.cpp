#include "sound/moxUtility.h"

#include <cmath>
#include <cstring>

int moxUtility::fullPathName(char* dst, const char* src) {
  if (!dst || !src) return -1;
  std::strcpy(dst, src);
  return 0;
}

namespace {

// Equal temperament in eighth-semitone finetune steps from C-0 = 1712, rounded to
// the nearest period. Built once; a committed golden in the tests pins every entry.
struct AmigaTable {
  uint16_t p[kMoxFinetunes * kMoxNotes];
  AmigaTable() {
    for (int row = 0; row < kMoxFinetunes; row++) {
      const int fine = row < 8 ? row : row - 16;
      for (int n = 0; n < kMoxNotes; n++) {
        const double v = 1712.0 * std::pow(2.0, -(n * 8 + fine) / 96.0);
        p[row * kMoxNotes + n] = static_cast<uint16_t>(std::floor(v + 0.5));
      }
    }
  }
};

}  // namespace

const uint16_t* moxAmigaNote() {
  static const AmigaTable t;
  return t.p;
}

const uint8_t sine[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212,
                          224, 235, 244, 250, 253, 255, 253, 250, 244, 235, 224,
                          212, 197, 180, 161, 141, 120, 97,  74,  49,  24};
