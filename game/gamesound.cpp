#include "game/gamesound.h"

#include <cstdio>

#include "framework/emod_file.h"
#include "framework/emod_memory.h"
#include "framework/emod_vtimer.h"

ClassSound::ClassSound() = default;

ClassSound::~ClassSound() { Cleanup(); }

void ClassSound::SetFormat(uint32_t rate, uint32_t bits, bool stereo) {
  rate_ = rate;
  bits_ = bits;
  stereo_ = stereo ? 1 : 0;
}

bool ClassSound::Initialize(bool mute, uint32_t effectVolume, uint32_t musicVolume, ECD* ecd) {
  if (failed_) return false;
  if (open_) return true;
  if (ecd) ecd_ = ecd;
  const uint32_t now = ClassERTimer::Count();
  for (auto& s : stamps_) s = now;
  sfxVolume = effectVolume > 64 ? 64 : effectVolume;
  bgmVolume = musicVolume > 64 ? 64 : musicVolume;
  muted_ = mute ? 1 : 0;
  if (muted_) return true;
  if (Open()) return true;
  failed_ = 1;
  return false;
}

bool ClassSound::Open() {
  if (failed_ || muted_) return false;
  if (rate_ == 0) return false;
  int rc;
  if (bits_ == 0) {
    rc = mixer_.open(rate_, 16, stereo_ != 0, musicChannels_, soundChannels_);
    if (rc != 0) rc = mixer_.open(rate_, 8, stereo_ != 0, musicChannels_, soundChannels_);
  } else {
    rc = mixer_.open(rate_, bits_, stereo_ != 0, musicChannels_, soundChannels_);
  }
  if (rc != 0) return false;
  mixer_.volumeSounds(sfxVolume);
  mixer_.volumeMusics(bgmVolume);
  suspended_ = 0;
  open_ = 1;
  return true;
}

void ClassSound::Suspend() {
  if (!open_ || muted_ || suspended_) return;
  mixer_.suspend();
  suspended_ = 1;
}

void ClassSound::Resume() {
  if (!open_ || muted_ || !suspended_) return;
  mixer_.resume();
  suspended_ = 0;
}

namespace {

// Frees what a pack load left in the slots, then loads the pack's first `max`
// entries; an entry that cannot be read or loaded leaves its slot empty.
// Returns the number of such entries.
template <class T>
uint32_t ReloadEntries(ClassEFile& pack, T* items, void** data, uint32_t& count, uint32_t max) {
  for (uint32_t i = 0; i < count; i++) {
    items[i].unload();
    ClassEMemory::DeAlloc(data[i]);
    data[i] = nullptr;
  }
  const uint32_t n = pack.PackContainFiles();
  count = n > max ? max : n;
  uint32_t failed = 0;
  for (uint32_t i = 0; i < count; i++) {
    void* block = nullptr;
    uint32_t length = 0;
    if (pack.PackGetFileData(block, length, i) != 0 || !block || items[i].load(block, length, false) != 0) {
      ClassEMemory::DeAlloc(block);
      failed++;
      continue;
    }
    data[i] = block;
  }
  pack.Close();
  return failed;
}

// The game plays on silent where a pack fails it, and says so once a run per
// pack: `loaded` false when the pack could not be read at all, else the count
// of its sounds and of those that cannot be played.
void ReportPack(uint8_t& reported, const char* pack, const char* sounds, bool loaded, uint32_t count,
                uint32_t failed) {
  if (reported || (loaded && count > 0 && failed == 0)) return;
  reported = 1;
  if (!loaded || count == 0)
    std::fprintf(stderr, "zarn: the pack %s is missing or damaged (it holds no %s the game can read); the game "
                 "plays without them\n", pack, sounds);
  else
    std::fprintf(stderr, "zarn: the pack %s is damaged: %u of its %u %s cannot be played and stay silent\n", pack,
                 static_cast<unsigned>(failed), static_cast<unsigned>(count), sounds);
}

}  // namespace

bool ClassSound::LoadSfxFiles() {
  ClassEFile pack;
  if (!pack.Open("res\\sfx.epk", EFILE_READ) || !pack.PackValid()) {
    ReportPack(sfxReported_, "res/sfx.epk", "sound effects", false, 0, 0);
    return false;
  }
  // Nothing may play from the data about to be replaced.
  if (open_) mixer_.stopSounds();
  const uint32_t failed = ReloadEntries(pack, effect_, effectData_, effectCount_, kMaxEffects);
  ReportPack(sfxReported_, "res/sfx.epk", "sound effects", true, effectCount_, failed);
  return true;
}

bool ClassSound::LoadBgmFiles() {
  ClassEFile pack;
  if (!pack.Open("res\\bgm.epk", EFILE_READ) || !pack.PackValid()) {
    ReportPack(bgmReported_, "res/bgm.epk", "music tracks", false, 0, 0);
    return false;
  }
  // Nothing may play from the data about to be replaced.
  if (open_) {
    StopChannel(curChannel_);
    StopChannel(prevChannel_);
    curChannel_ = prevChannel_ = -1;
    curPlaying_ = prevPlaying_ = 0;
  }
  const uint32_t failed = ReloadEntries(pack, music_, musicData_, musicCount_, kMaxTracks);
  ReportPack(bgmReported_, "res/bgm.epk", "music tracks", true, musicCount_, failed);
  return true;
}

void ClassSound::PlaySfx(uint16_t n) {
  if (n < 32) sfxPlayed[n]++;
  if (!open_ || n == 0 || sfxVolume == 0 || muted_ || n > effectCount_ || !effectData_[n - 1]) return;
  const uint32_t now = ClassERTimer::Count();
  if (DeltaTime(now, stamps_[n]) < kEffectGuardMs) return;
  if (mixer_.playSound(&effect_[n - 1], MOX_ANYCHANNEL) >= 0 && n < 32) sfxStarted[n]++;
  stamps_[n] = now;
}

void ClassSound::StopChannel(int32_t id) {
  if (id < 0) return;
  if (moxChannel* c = mixer_.channel(id)) c->stop();
}

void ClassSound::SetChannelVolume(int32_t id, uint32_t level) {
  if (id < 0) return;
  // Only a change: the channel re-applies its volume to every voice.
  const unsigned v = level * 64 / 1000;
  moxChannel* c = mixer_.channel(id);
  if (c && c->volume() != v) c->volume(v);
}

void ClassSound::MoveCurrentToPrevious() {
  if (prevPlaying_) StopChannel(prevChannel_);
  prevChannel_ = curChannel_;
  prevPlaying_ = curPlaying_;
  fading_ = requested_;
  fadeOut_ = fadeIn_;
  curChannel_ = -1;
  curPlaying_ = 0;
  requested_ = 0;
  fadeIn_ = 0;
}

void ClassSound::StopBgm() {
  if (!open_) return;
  MoveCurrentToPrevious();
}

int32_t ClassSound::StartTrack(uint16_t n) {
  if (n == 0 || n > musicCount_ || !musicData_[n - 1]) return -1;
  // Started paused and set silent before it sounds: the fade raises it.
  const int id = mixer_.playMusic(&music_[n - 1], MOX_ANYCHANNEL | MOX_PAUSED);
  if (id < 0) return -1;
  if (moxChannel* c = mixer_.channel(id)) {
    c->volume(0);
    c->resume();
  }
  return id;
}

void ClassSound::RestartTracks() {
  if (requested_ && !curPlaying_) {
    const int32_t id = StartTrack(requested_);
    if (id >= 0) {
      curChannel_ = id;
      curPlaying_ = requested_;
    }
  }
  if (fading_ && !prevPlaying_) {
    const int32_t id = StartTrack(fading_);
    if (id >= 0) {
      prevChannel_ = id;
      prevPlaying_ = fading_;
    }
  }
}

void ClassSound::PlayBgm(uint16_t n) {
  if (!open_) {
    if (n >= 1 && n <= musicCount_) {
      requested_ = n;
      fadeIn_ = 0;
    }
    fading_ = 0;
    fadeOut_ = 0;
    return;
  }
  if (n != 0 && n == curPlaying_) return;
  if (requested_) MoveCurrentToPrevious();
  if (n == 0 || n > musicCount_ || !musicData_[n - 1]) return;
  music_[n - 1].loop(true);
  fadeIn_ = 0;
  requested_ = n;
  if (suspended_ || muted_ || bgmVolume == 0) return;
  const int32_t id = StartTrack(n);
  if (id >= 0) {
    curChannel_ = id;
    curPlaying_ = n;
  }
}

void ClassSound::VolumeSfx(uint8_t v) {
  sfxVolume = v > 64 ? 64 : v;
  if (open_) mixer_.volumeSounds(sfxVolume);
}

void ClassSound::VolumeBgm(uint8_t v) {
  const uint32_t old = bgmVolume;
  bgmVolume = v > 64 ? 64 : v;
  if (!open_) return;
  if (!muted_) {
    if (old == 0 && bgmVolume != 0) {
      RestartTracks();
    } else if (old != 0 && bgmVolume == 0) {
      StopChannel(curChannel_);
      StopChannel(prevChannel_);
      curPlaying_ = prevPlaying_ = 0;
    }
  }
  mixer_.volumeMusics(bgmVolume);
}

void ClassSound::Update(bool mute) {
  const uint32_t now = ClassERTimer::Count();
  const uint32_t elapsed = DeltaTime(now, stamps_[0]);
  if (!open_ && !mute && !TryOpen(now)) return;
  if ((mute ? 1 : 0) != muted_) {
    if (mute)
      Mute();
    else if (!Unmute(now))
      return;
    muted_ = mute ? 1 : 0;
  }
  AdvanceFades(elapsed);
  stamps_[0] = now;
}

bool ClassSound::TryOpen(uint32_t now) {
  muted_ = 0;
  // A mixer that failed to open is not tried again every frame.
  if (failed_ || !Open()) {
    failed_ = 1;
    stamps_[0] = now;
    return false;
  }
  if (requested_) {
    const uint16_t n = requested_;
    requested_ = 0;
    PlayBgm(n);
  }
  return true;
}

void ClassSound::Mute() {
  if (!open_) return;
  if (bgmVolume != 0) {
    StopChannel(curChannel_);
    StopChannel(prevChannel_);
  }
  curPlaying_ = prevPlaying_ = 0;
  mixer_.suspend();
  suspended_ = 1;
}

bool ClassSound::Unmute(uint32_t now) {
  if (open_) {
    mixer_.resume();
    suspended_ = 0;
  } else {
    if (failed_) {
      stamps_[0] = now;
      return false;
    }
    for (auto& s : stamps_) s = now;
    muted_ = 0;
    if (!Open()) {
      failed_ = 1;
      return false;
    }
  }
  if (bgmVolume != 0) RestartTracks();
  return true;
}

void ClassSound::AdvanceFades(uint32_t elapsed) {
  if (requested_) {
    fadeIn_ = fadeIn_ + elapsed > 1000 ? 1000 : fadeIn_ + elapsed;
    if (curPlaying_) SetChannelVolume(curChannel_, fadeIn_);
  }
  if (!fading_) return;
  const uint32_t step = elapsed / 2;
  fadeOut_ = fadeOut_ > step ? fadeOut_ - step : 0;
  if (fadeOut_ == 0) {
    if (prevPlaying_) StopChannel(prevChannel_);
    prevChannel_ = -1;
    prevPlaying_ = 0;
    fading_ = 0;
  } else if (prevPlaying_) {
    SetChannelVolume(prevChannel_, fadeOut_);
  }
}

void ClassSound::FreeData() {
  for (uint32_t i = 0; i < kMaxEffects; i++) {
    effect_[i].unload();
    ClassEMemory::DeAlloc(effectData_[i]);
    effectData_[i] = nullptr;
  }
  for (uint32_t i = 0; i < kMaxTracks; i++) {
    music_[i].unload();
    ClassEMemory::DeAlloc(musicData_[i]);
    musicData_[i] = nullptr;
  }
  effectCount_ = musicCount_ = 0;
}

void ClassSound::Cleanup() {
  if (open_) {
    if (prevPlaying_) StopChannel(prevChannel_);
    MoveCurrentToPrevious();
    open_ = 0;
    if (suspended_ && !muted_) mixer_.resume();
    // Joins the feeder thread before the data below goes away.
    mixer_.close();
    suspended_ = 0;
  }
  curChannel_ = prevChannel_ = -1;
  curPlaying_ = prevPlaying_ = 0;
  FreeData();
}
