// The settings file "game.cfg": the record byte for byte, two additive check words.
#include "game/settings.h"

#include <cstring>
#include <initializer_list>

#include "framework/emod_file.h"
#include "standin/standin.h"

namespace {

const char* const kDefaultNames[3] = {"Chris", "Joe", "Kate"};
const uint32_t kDefaultScores[3] = {3000, 2000, 1000};

// Button codes that exist on the console (1 to 32).
bool IsButton(uint32_t code) { return code >= 1 && code <= 32; }

void PutText(uint8_t* field, uint32_t size, const char* text) {
  uint32_t i = 0;
  for (; text[i] && i + 1 < size; i++) field[i] = static_cast<uint8_t>(text[i]);
  field[i] = 0;
}

void Terminate(uint8_t* field, uint32_t size) {
  if (!std::memchr(field, 0, size)) field[size - 1] = 0;
}

uint8_t Clamp(uint8_t v, uint8_t lo, uint8_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// out = path followed by suffix; false when that does not fit.
bool Suffixed(char (&out)[512], const char* path, const char* suffix) {
  const size_t n = path ? std::strlen(path) : 0, m = std::strlen(suffix);
  if (n == 0 || n + m + 1 > sizeof out) return false;
  std::memcpy(out, path, n);
  std::memcpy(out + n, suffix, m + 1);
  return true;
}

// Writes `size` bytes to path through "<path>.tmp", flushed and then renamed
// over path, so an interrupted write leaves the old file or the new one.
// fill(file) writes the bytes.
template <class Fill>
bool WriteViaTemp(const char* path, uint32_t size, Fill fill, bool savePoint) {
  char temp[512];
  if (!Suffixed(temp, path, ".tmp")) return false;
  ClassEFile file;
  if (!file.New(temp)) return false;
  const bool written = fill(file);
  file.Close();  // flushes and syncs before the rename makes the new file current
  if (!written || file.SizeC(temp) != size) {
    file.Delete(temp);
    return false;
  }
  if (savePoint) standin::SettingsSavePoint();
  if (!file.Rename(path, temp)) {
    file.Delete(temp);
    return false;
  }
  return true;
}

}  // namespace

void Settings_Reset(MAINCONFIG* cfg, const char* ownerName) {
  uint8_t* b = cfg->bytes;
  b[0] = b[18] = b[50] = b[82] = 0;
  PutText(b + MAINCONFIG::kPlayerName, MAINCONFIG::kTextSize,
          ownerName && ownerName[0] ? ownerName : "Anonymous");
  b[122] = b[186] = 0;
  for (uint32_t i = 0; i < MAINCONFIG::kHostCount; i++) cfg->HostAddress(i)[0] = 0;
  cfg->SetKey(MAINCONFIG::KEY_DROP, 14);
  cfg->SetKey(MAINCONFIG::KEY_RESERVED, 0);
  cfg->SetKey(MAINCONFIG::KEY_START, 9);
  cfg->SetKey(MAINCONFIG::KEY_TOGGLE, 15);
  cfg->SetWord(MAINCONFIG::kCheckA, 0);
  cfg->SetWord(MAINCONFIG::kCheckB, 0);
  b[MAINCONFIG::kMusicVolume] = 32;
  b[MAINCONFIG::kEffectVolume] = 32;
  b[MAINCONFIG::kMute] = 0;
  b[MAINCONFIG::kColourBlind] = 0;
  for (uint32_t m = 0; m < 3; m++) {
    for (uint32_t r = 0; r < 3; r++) {
      PutText(b + MAINCONFIG::ScoreNameOffset(m, r), MAINCONFIG::kTextSize, kDefaultNames[r]);
      cfg->SetScore(m, r, kDefaultScores[r]);
    }
  }
  b[MAINCONFIG::kStartLevel] = 1;
  b[MAINCONFIG::kMultiStartLevel] = 1;
  b[MAINCONFIG::kConnection] = 0;
  b[MAINCONFIG::kTargetIndex] = 1;
  b[MAINCONFIG::kStylusMode] = 0;
}

void Settings_Checksums(const MAINCONFIG& cfg, uint32_t* a, uint32_t* b) {
  uint32_t sa = 0, sb = 0;
  for (uint32_t i = 0; i < MAINCONFIG::kSize; i++) {
    const bool check = i >= MAINCONFIG::kCheckA && i < MAINCONFIG::kCheckB + 4;
    const uint32_t v = check ? 0 : cfg.bytes[i];
    sa += ((13 * v) & 0x1FF) + 11;
    sb += (v & 0x7F) + 34;
  }
  *a = sa;
  *b = sb;
}

int Settings_Valid(MAINCONFIG* cfg) {
  const uint32_t storedA = cfg->Word(MAINCONFIG::kCheckA);
  const uint32_t storedB = cfg->Word(MAINCONFIG::kCheckB);
  cfg->SetWord(MAINCONFIG::kCheckA, 0);
  cfg->SetWord(MAINCONFIG::kCheckB, 0);
  uint32_t a, b;
  Settings_Checksums(*cfg, &a, &b);
  return a == storedA && b == storedB ? 1 : 0;
}

void Settings_Sanitise(MAINCONFIG* cfg) {
  uint8_t* b = cfg->bytes;
  const uint32_t texts[][2] = {{0, 18}, {18, 32}, {50, 32}, {MAINCONFIG::kPlayerName, 32}, {122, 64}};
  for (const auto& t : texts) Terminate(b + t[0], t[1]);
  for (uint32_t i = 0; i < MAINCONFIG::kHostCount; i++)
    Terminate(reinterpret_cast<uint8_t*>(cfg->HostAddress(i)), MAINCONFIG::kTextSize);
  for (uint32_t m = 0; m < 3; m++)
    for (uint32_t r = 0; r < 3; r++)
      Terminate(b + MAINCONFIG::ScoreNameOffset(m, r), MAINCONFIG::kTextSize);
  const uint32_t defaults[4] = {14, 0, 9, 15};
  for (uint32_t slot : {MAINCONFIG::KEY_DROP, MAINCONFIG::KEY_START, MAINCONFIG::KEY_TOGGLE})
    if (!IsButton(cfg->Key(slot))) cfg->SetKey(slot, defaults[slot]);
  b[MAINCONFIG::kMusicVolume] = Clamp(b[MAINCONFIG::kMusicVolume], 0, 64);
  b[MAINCONFIG::kEffectVolume] = Clamp(b[MAINCONFIG::kEffectVolume], 0, 64);
  b[MAINCONFIG::kMute] = Clamp(b[MAINCONFIG::kMute], 0, 1);
  b[MAINCONFIG::kColourBlind] = Clamp(b[MAINCONFIG::kColourBlind], 0, 1);
  b[MAINCONFIG::kStartLevel] = Clamp(b[MAINCONFIG::kStartLevel], 1, 9);
  b[MAINCONFIG::kMultiStartLevel] = Clamp(b[MAINCONFIG::kMultiStartLevel], 1, 9);
  b[MAINCONFIG::kConnection] = Clamp(b[MAINCONFIG::kConnection], 0, 1);
  b[MAINCONFIG::kTargetIndex] = Clamp(b[MAINCONFIG::kTargetIndex], 0, 3);
  b[MAINCONFIG::kStylusMode] = Clamp(b[MAINCONFIG::kStylusMode], 0, 2);
}

int Settings_LoadImage(MAINCONFIG* cfg, const uint8_t* image, uint32_t size, const char* ownerName) {
  Settings_Reset(cfg, ownerName);
  if (!image || size < MAINCONFIG::kSize) return SETTINGS_SHORT;
  // Checked in a copy: a rejected file must not leave its bytes in the record.
  MAINCONFIG loaded;
  std::memcpy(loaded.bytes, image, MAINCONFIG::kSize);
  if (!Settings_Valid(&loaded)) return SETTINGS_BADCHECK;
  std::memcpy(cfg->bytes, loaded.bytes, sizeof loaded.bytes);
  Settings_Sanitise(cfg);
  return SETTINGS_LOADED;
}

int Settings_Load(MAINCONFIG* cfg, const char* path, const char* ownerName) {
  ClassEFile file;
  if (!path || !file.Open(path, EFILE_READ)) {
    Settings_Reset(cfg, ownerName);
    return SETTINGS_MISSING;
  }
  uint8_t image[MAINCONFIG::kSize];
  const uint32_t size = file.Size();
  const bool whole = size >= MAINCONFIG::kSize && file.Read(image, MAINCONFIG::kSize);
  file.Close();
  return Settings_LoadImage(cfg, whole ? image : nullptr, whole ? MAINCONFIG::kSize : 0, ownerName);
}

bool Settings_Save(MAINCONFIG* cfg, const char* path) {
  if (!path) return false;
  uint32_t a, b;
  cfg->SetWord(MAINCONFIG::kCheckA, 0);
  cfg->SetWord(MAINCONFIG::kCheckB, 0);
  Settings_Checksums(*cfg, &a, &b);
  cfg->SetWord(MAINCONFIG::kCheckB, b);
  cfg->SetWord(MAINCONFIG::kCheckA, a);
  return WriteViaTemp(
      path, MAINCONFIG::kSize, [cfg](ClassEFile& f) { return f.Write(cfg->bytes, MAINCONFIG::kSize); }, true);
}

int Settings_KeepRejected(const char* path) {
  char kept[512];
  if (!Suffixed(kept, path, ".bad")) return SETTINGS_NOT_KEPT;
  ClassEFile source;
  if (source.Exists(kept)) return SETTINGS_KEPT_BEFORE;
  if (!source.Open(path, EFILE_READ)) return SETTINGS_NOT_KEPT;
  const uint32_t size = source.Size();
  const bool copied = WriteViaTemp(
      kept, size,
      [&source, size](ClassEFile& f) {
        uint8_t chunk[4096];
        for (uint32_t done = 0; done < size;) {
          const uint32_t part = size - done < sizeof chunk ? size - done : static_cast<uint32_t>(sizeof chunk);
          if (!source.Read(chunk, part) || !f.Write(chunk, part)) return false;
          done += part;
        }
        return true;
      },
      false);
  source.Close();
  return copied ? SETTINGS_KEPT : SETTINGS_NOT_KEPT;
}
