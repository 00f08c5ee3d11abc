// The settings file image: rejected files give the defaults, accepted ones come
// out terminated and in range, and save again to a file that loads the same.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "game/settings.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool Terminated(const uint8_t* field, uint32_t size) { return std::memchr(field, 0, size) != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  uint8_t image[MAINCONFIG::kSize + 1];
  const uint32_t n = size < sizeof image ? static_cast<uint32_t>(size) : sizeof image;
  std::memcpy(image, data, n);
  // Seal half the inputs with valid check words so the repairs behind the
  // check are reached too.
  if (n >= MAINCONFIG::kSize && (image[0] & 1)) {
    MAINCONFIG sealed;
    std::memcpy(sealed.bytes, image, MAINCONFIG::kSize);
    uint32_t a, b;
    Settings_Checksums(sealed, &a, &b);
    sealed.SetWord(MAINCONFIG::kCheckA, a);
    sealed.SetWord(MAINCONFIG::kCheckB, b);
    std::memcpy(image, sealed.bytes, MAINCONFIG::kSize);
  }
  MAINCONFIG cfg;
  std::memset(cfg.bytes, 0x5A, sizeof cfg.bytes);
  const int r = Settings_LoadImage(&cfg, image, n, nullptr);
  Check(r == SETTINGS_LOADED || r == SETTINGS_SHORT || r == SETTINGS_BADCHECK);
  Check(cfg.Word(MAINCONFIG::kCheckA) == 0 && cfg.Word(MAINCONFIG::kCheckB) == 0);
  Check(Terminated(cfg.bytes + MAINCONFIG::kPlayerName, 32));
  for (uint32_t h = 0; h < MAINCONFIG::kHostCount; h++)
    Check(Terminated(reinterpret_cast<uint8_t*>(cfg.HostAddress(h)), 32));
  for (uint32_t m = 0; m < 3; m++)
    for (uint32_t k = 0; k < 3; k++) Check(Terminated(cfg.bytes + MAINCONFIG::ScoreNameOffset(m, k), 32));
  Check(cfg.MusicVolume() <= 64 && cfg.EffectVolume() <= 64 && cfg.Mute() <= 1);
  Check(cfg.bytes[MAINCONFIG::kStartLevel] >= 1 && cfg.bytes[MAINCONFIG::kStartLevel] <= 9);
  Check(cfg.bytes[MAINCONFIG::kTargetIndex] <= 3 && cfg.bytes[MAINCONFIG::kStylusMode] <= 2);
  for (uint32_t slot : {0u, 2u, 3u}) Check(cfg.Key(slot) >= 1 && cfg.Key(slot) <= 32);

  // What was accepted saves to an image that loads back to the same record.
  MAINCONFIG copy = cfg;
  uint32_t a, b;
  Settings_Checksums(copy, &a, &b);
  copy.SetWord(MAINCONFIG::kCheckA, a);
  copy.SetWord(MAINCONFIG::kCheckB, b);
  MAINCONFIG back;
  Check(Settings_LoadImage(&back, copy.bytes, MAINCONFIG::kSize, nullptr) == SETTINGS_LOADED);
  Check(std::memcmp(back.bytes, cfg.bytes, MAINCONFIG::kSize) == 0);
  return 0;
}
