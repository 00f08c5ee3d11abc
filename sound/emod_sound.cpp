#include "sound/emod_sound.h"

#include <cstring>

#include "framework/emod_file.h"
#include "framework/emod_memory.h"

// ---- the null driver: accepts everything, plays nothing -----------------------------------

void* ESound_NewDriver() { return reinterpret_cast<void*>(1); }
void ESound_FreeDriver(void*) {}
int32_t ESound_Open(void*, uint32_t, uint8_t, bool) { return 0; }
void ESound_Close(void*) {}
void ESound_Suspend(void*) {}
void ESound_Resume(void*) {}
void* ESound_NewSound(void*) { return reinterpret_cast<void*>(1); }
void* ESound_NewMusic(void*) { return reinterpret_cast<void*>(1); }
int32_t ESound_LoadSound(void*, void*, void*, uint32_t) { return 0; }
int32_t ESound_LoadMusic(void*, void*, void*, uint32_t) { return 0; }
void ESound_FreeSound(void*, void*) {}
void ESound_FreeMusic(void*, void*) {}
int32_t ESound_PlaySound(void*, void*, int32_t, int8_t, bool) { return 0; }
int32_t ESound_PlayMusic(void*, void*, bool) { return 0; }
bool ESound_KeepFilePointers(void*) { return false; }
void ESound_VolumeSound(void*, uint8_t) {}
void ESound_VolumeMusic(void*, uint8_t) {}
void ESound_StopSound(void*, int32_t) {}
void ESound_StopMusic(void*, int32_t) {}
void ESound_Update(void*, uint32_t) {}
void ESound_ChannelSoundVolume(void*, int32_t, uint8_t) {}
void ESound_ChannelMusicVolume(void*, int32_t, uint8_t) {}

// ---- the front ------------------------------------------------------------------------------

namespace {
void FreeRecord(ESOUNDCHANNEL& c) {
  c.slot = -1;
  c.reserved = 0;
  c.duration = 0;
  c.position = 0;
  c.flags = 0;
  c.whenSuspended = 0;
  c.volume = 0;
}
}  // namespace

ClassESound::ClassESound() {
  std::memset(sounds_, 0, sizeof sounds_);
  std::memset(musics_, 0, sizeof musics_);
  for (auto& c : sndChannel_) FreeRecord(c);
  for (auto& c : musChannel_) FreeRecord(c);
}

ClassESound::~ClassESound() { Close(); }

int32_t ClassESound::Open(uint32_t rate, uint8_t bits, bool stereo) {
  Close();
  if (!driver_) driver_ = ESound_NewDriver();
  if (!driver_) return 1;
  open_ = 1;
  suspended_ = 0;
  muted_ = 0;
  const int32_t r = ESound_Open(driver_, rate, bits, stereo);
  if (r != 0) {
    Close();
    return r;
  }
  soundVolume_ = musicVolume_ = 96;
  ESound_VolumeSound(driver_, soundVolume_);
  ESound_VolumeMusic(driver_, musicVolume_);
  for (auto& c : sndChannel_) FreeRecord(c);
  for (auto& c : musChannel_) FreeRecord(c);
  return 0;
}

int32_t ClassESound::Open() {
  if (Open(44100, 16, true) == 0) return 0;
  return Open(44100, 8, true);
}

void ClassESound::Close() {
  if (!driver_) return;
  for (uint32_t i = 0; i < kSoundChannels; i++)
    if (sndChannel_[i].slot >= 0) FreeChannel(sndChannel_[i], false, int32_t(i));
  for (uint32_t i = 0; i < kMusicChannels; i++)
    if (musChannel_[i].slot >= 0) FreeChannel(musChannel_[i], true, int32_t(i));
  for (auto& s : sounds_) {
    if (s.handle) ESound_FreeSound(driver_, s.handle);
    ClassEMemory::DeAlloc(s.data);
    s.handle = s.data = nullptr;
    s.started = 0;
  }
  for (auto& m : musics_) {
    if (m.handle) ESound_FreeMusic(driver_, m.handle);
    ClassEMemory::DeAlloc(m.data);
    m.handle = m.data = nullptr;
  }
  ESound_Close(driver_);
  ESound_FreeDriver(driver_);
  driver_ = nullptr;
  open_ = 0;
  suspended_ = 0;
  muted_ = 0;
}

void ClassESound::FreeChannel(ESOUNDCHANNEL& c, bool music, int32_t index) {
  if (music)
    ESound_StopMusic(driver_, index);
  else
    ESound_StopSound(driver_, index);
  FreeRecord(c);
}

int32_t ClassESound::LoadSoundEffect(uint32_t slot, void* data, uint32_t length) {
  if (!open_) return 10;
  if (slot >= kSoundSlots) return 4;
  FreeSoundEffect(slot);
  void* h = ESound_NewSound(driver_);
  if (!h) return 1;
  const int32_t r = ESound_LoadSound(driver_, h, data, length);
  if (r != 0) {
    ESound_FreeSound(driver_, h);
    return r;
  }
  sounds_[slot].handle = h;
  if (ESound_KeepFilePointers(driver_))
    sounds_[slot].data = data;
  else
    ClassEMemory::DeAlloc(data);
  return 0;
}

int32_t ClassESound::LoadMusic(uint32_t slot, void* data, uint32_t length) {
  if (!open_) return 10;
  if (slot >= kMusicSlots) return 4;
  FreeMusic(slot);
  void* h = ESound_NewMusic(driver_);
  if (!h) return 1;
  const int32_t r = ESound_LoadMusic(driver_, h, data, length);
  if (r != 0) {
    ESound_FreeMusic(driver_, h);
    return r;
  }
  musics_[slot].handle = h;
  if (ESound_KeepFilePointers(driver_))
    musics_[slot].data = data;
  else
    ClassEMemory::DeAlloc(data);
  return 0;
}

int32_t ClassESound::LoadFile(bool music, uint32_t slot, const uint16_t* name) {
  if (!open_) return 10;
  if (slot >= (music ? kMusicSlots : kSoundSlots)) return 4;
  ClassEFile f;
  if (!name || !f.Open(name, EFILE_READ)) return 1;
  const uint32_t size = f.Size();
  if (size == 0) return 1;
  void* block = ClassEMemory::Alloc(size);
  if (!block) return 2;
  if (!f.Read(block, size)) {
    ClassEMemory::DeAlloc(block);
    return 1;
  }
  f.Close();
  const int32_t r = music ? LoadMusic(slot, block, size) : LoadSoundEffect(slot, block, size);
  if (r != 0) ClassEMemory::DeAlloc(block);
  return r;
}

namespace {
// A widened copy of an 8-bit name (at most 1023 characters).
struct Wide16 {
  uint16_t text[1024];
  explicit Wide16(const char* s) {
    size_t i = 0;
    for (; s && s[i] && i < 1023; i++) text[i] = static_cast<unsigned char>(s[i]);
    text[i] = 0;
  }
};
}  // namespace

int32_t ClassESound::LoadSoundEffect(uint32_t slot, const uint16_t* name) { return LoadFile(false, slot, name); }
int32_t ClassESound::LoadSoundEffect(uint32_t slot, const char* name) {
  if (!name) return open_ ? 1 : 10;
  return LoadFile(false, slot, Wide16(name).text);
}
int32_t ClassESound::LoadMusic(uint32_t slot, const uint16_t* name) { return LoadFile(true, slot, name); }
int32_t ClassESound::LoadMusic(uint32_t slot, const char* name) {
  if (!name) return open_ ? 1 : 10;
  return LoadFile(true, slot, Wide16(name).text);
}

void ClassESound::FreeSoundEffect(uint32_t slot) {
  if (!open_ || slot >= kSoundSlots) return;
  for (uint32_t i = 0; i < kSoundChannels; i++)
    if (sndChannel_[i].slot == int32_t(slot)) FreeChannel(sndChannel_[i], false, int32_t(i));
  if (sounds_[slot].handle) ESound_FreeSound(driver_, sounds_[slot].handle);
  ClassEMemory::DeAlloc(sounds_[slot].data);
  sounds_[slot].handle = sounds_[slot].data = nullptr;
  sounds_[slot].started = 0;
}

void ClassESound::FreeMusic(uint32_t slot) {
  if (!open_ || slot >= kMusicSlots) return;
  for (uint32_t i = 0; i < kMusicChannels; i++)
    if (musChannel_[i].slot == int32_t(slot)) FreeChannel(musChannel_[i], true, int32_t(i));
  if (musics_[slot].handle) ESound_FreeMusic(driver_, musics_[slot].handle);
  ClassEMemory::DeAlloc(musics_[slot].data);
  musics_[slot].handle = musics_[slot].data = nullptr;
}

int32_t ClassESound::PlaySound(uint32_t slot, int32_t a, int8_t b, bool whenSuspended, uint32_t flags,
                               uint32_t duration) {
  if (!open_ || (suspended_ && !whenSuspended) || slot >= kSoundSlots) return -1;
  ESOUNDSLOT& s = sounds_[slot];
  if (!s.handle || s.started) return -1;
  const int32_t ch = ESound_PlaySound(driver_, s.handle, a, b, whenSuspended);
  // A channel outside the records is a driver fault: refuse it rather than write past them.
  if (ch < 0 || ch >= int32_t(kSoundChannels)) return -1;
  s.started = 1;
  ESOUNDCHANNEL& c = sndChannel_[ch];
  c.slot = int32_t(slot);
  c.whenSuspended = whenSuspended ? 1 : 0;
  c.flags = flags;
  c.duration = duration;
  if (flags & ESND_FADEIN) {
    c.position = 0;
    c.volume = 0;
    ESound_ChannelSoundVolume(driver_, ch, 0);
  } else {
    c.position = int32_t(duration);
  }
  return ch;
}

int32_t ClassESound::Weight(const ESOUNDCHANNEL& c) const {
  int32_t w = 1024;
  if ((c.flags & ESND_FADEIN) && c.duration)
    w = int32_t(int64_t(c.position) * 1024 / int64_t(c.duration));
  if (c.whenSuspended) w += 0x4000;
  return w;
}

int32_t ClassESound::LowestMusic() const {
  int32_t best = -1, bestWeight = 0;
  for (uint32_t i = 0; i < kMusicChannels; i++) {
    const ESOUNDCHANNEL& c = musChannel_[i];
    if (c.slot < 0 || (c.flags & ESND_FADEOUT)) continue;
    const int32_t w = Weight(c);
    if (best < 0 || w < bestWeight) {
      best = int32_t(i);
      bestWeight = w;
    }
  }
  return best;
}

int32_t ClassESound::MusicPlaying() const {
  const int32_t i = LowestMusic();
  return i < 0 ? -1 : musChannel_[i].slot;
}

int32_t ClassESound::PlayMusic(uint32_t slot, bool whenSuspended, uint32_t flags, uint32_t duration) {
  if (!open_ || (suspended_ && !whenSuspended)) return -1;
  int32_t startPosition = 0;
  if (flags & ESND_CROSSFADE) {
    if (LowestMusic() >= 0) {
      for (uint32_t i = 0; i < kMusicChannels; i++) {
        ESOUNDCHANNEL& c = musChannel_[i];
        if (c.slot < 0) continue;
        if (c.flags & ESND_FADEOUT) {
          FreeChannel(c, true, int32_t(i));
        } else {
          c.flags = (c.flags & ~uint32_t(ESND_FADEIN)) | ESND_FADEOUT;
          c.duration = duration;
          c.position = int32_t(duration);
        }
      }
    }
    int32_t chosen = -1;
    for (uint32_t i = 0; i < kMusicChannels && chosen < 0; i++)
      if (musChannel_[i].slot < 0) chosen = int32_t(i);
    for (uint32_t i = 0; i < kMusicChannels && chosen < 0; i++)
      if (!musChannel_[i].whenSuspended) chosen = int32_t(i);
    if (chosen >= 0 && musChannel_[chosen].slot >= 0) FreeChannel(musChannel_[chosen], true, chosen);
    flags |= ESND_FADEIN;
    // Silent for the first eighth of the fade.
    startPosition = -int32_t(duration / 8);
  } else if (!(flags & ESND_KEEPOTHER)) {
    for (uint32_t i = 0; i < kMusicChannels; i++)
      if (musChannel_[i].slot >= 0) FreeChannel(musChannel_[i], true, int32_t(i));
  }
  if (slot >= kMusicSlots || !musics_[slot].handle) return -1;
  const int32_t ch = ESound_PlayMusic(driver_, musics_[slot].handle, whenSuspended);
  if (ch < 0 || ch >= int32_t(kMusicChannels)) return -1;
  ESOUNDCHANNEL& c = musChannel_[ch];
  c.slot = int32_t(slot);
  c.flags = flags;
  c.duration = duration;
  c.whenSuspended = whenSuspended ? 1 : 0;
  if (flags & ESND_FADEIN) {
    c.position = startPosition;
    c.volume = 0;
    ESound_ChannelMusicVolume(driver_, ch, 0);
  } else {
    c.position = int32_t(duration);
  }
  return ch;
}

void ClassESound::StopChannel(bool music, int32_t channel, uint32_t flags, uint32_t duration) {
  const uint32_t count = music ? kMusicChannels : kSoundChannels;
  if (!open_ || channel < 0 || uint32_t(channel) >= count) return;
  ESOUNDCHANNEL& c = music ? musChannel_[channel] : sndChannel_[channel];
  if (c.slot < 0) return;
  if (flags == ESND_FADEIN) {
    c.flags = (c.flags & ~uint32_t(ESND_FADEOUT)) | ESND_FADEIN;
    c.duration = duration;
    c.position = 0;
  } else if (flags == ESND_FADEOUT) {
    c.flags = (c.flags & ~uint32_t(ESND_FADEIN)) | ESND_FADEOUT;
    c.duration = duration;
    c.position = int32_t(duration);
  } else {
    FreeChannel(c, music, channel);
  }
}

void ClassESound::StopSoundChannel(int32_t channel, uint32_t flags, uint32_t duration) {
  StopChannel(false, channel, flags, duration);
}
void ClassESound::StopMusicChannel(int32_t channel, uint32_t flags, uint32_t duration) {
  StopChannel(true, channel, flags, duration);
}

void ClassESound::StopSound(uint32_t slot, uint32_t flags, uint32_t duration) {
  for (uint32_t i = 0; i < kSoundChannels; i++)
    if (sndChannel_[i].slot == int32_t(slot)) StopChannel(false, int32_t(i), flags, duration);
}
void ClassESound::StopSoundAll(uint32_t flags, uint32_t duration) {
  for (uint32_t i = 0; i < kSoundChannels; i++) StopChannel(false, int32_t(i), flags, duration);
}
void ClassESound::StopMusic(uint32_t slot, uint32_t flags, uint32_t duration) {
  for (uint32_t i = 0; i < kMusicChannels; i++)
    if (musChannel_[i].slot == int32_t(slot)) StopChannel(true, int32_t(i), flags, duration);
}
void ClassESound::StopMusicAll(uint32_t flags, uint32_t duration) {
  for (uint32_t i = 0; i < kMusicChannels; i++) StopChannel(true, int32_t(i), flags, duration);
}

void ClassESound::SetSoundVolume(uint8_t v) {
  if (!open_ || v == soundVolume_) return;
  soundVolume_ = v;
  ESound_VolumeSound(driver_, v);
}

void ClassESound::SetMusicVolume(uint8_t v) {
  if (!open_ || v == musicVolume_) return;
  musicVolume_ = v;
  ESound_VolumeMusic(driver_, v);
}

void ClassESound::SetMute(bool mute) {
  if (!open_) return;
  if (mute) {
    if (!suspended_) ESound_Suspend(driver_);
    muted_ = 1;
    suspended_ = 1;
  } else {
    muted_ = 0;
    if (suspended_) ESound_Resume(driver_);
    suspended_ = 0;
  }
}

void ClassESound::Suspend() {
  if (open_ && !suspended_) ESound_Suspend(driver_);
  suspended_ = 1;
}

void ClassESound::Resume() {
  if (muted_) return;
  if (open_ && suspended_) ESound_Resume(driver_);
  suspended_ = 0;
}

void ClassESound::FadeChannel(ESOUNDCHANNEL& c, bool music, int32_t index, uint32_t elapsed) {
  if (c.slot < 0 || !(c.flags & (ESND_FADEIN | ESND_FADEOUT))) return;
  if (c.flags & ESND_FADEIN) {
    const int64_t p = int64_t(c.position) + elapsed;
    if (p >= int64_t(c.duration)) {
      c.position = int32_t(c.duration);
      c.flags &= ~uint32_t(ESND_FADEIN);
    } else {
      c.position = int32_t(p);
    }
  } else if (c.flags & ESND_FADEOUT) {
    if (int64_t(elapsed) < int64_t(c.position)) {
      c.position -= int32_t(elapsed);
    } else {
      c.flags &= ~uint32_t(ESND_FADEOUT);
      FreeChannel(c, music, index);
      return;
    }
  }
  if (c.position > 0 && uint32_t(c.position) < c.duration) {
    c.volume = uint8_t(int64_t(c.position) * 255 / int64_t(c.duration));
    if (music)
      ESound_ChannelMusicVolume(driver_, index, c.volume);
    else
      ESound_ChannelSoundVolume(driver_, index, c.volume);
  }
}

void ClassESound::Update(uint32_t elapsed) {
  if (!open_) return;
  for (auto& s : sounds_) s.started = 0;
  for (uint32_t i = 0; i < kSoundChannels; i++) FadeChannel(sndChannel_[i], false, int32_t(i), elapsed);
  for (uint32_t i = 0; i < kMusicChannels; i++) FadeChannel(musChannel_[i], true, int32_t(i), elapsed);
  ESound_Update(driver_, elapsed);
}
