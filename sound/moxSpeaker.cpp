#include "sound/moxSpeaker.h"

#include <cstring>
#include <new>

namespace {
moxDriver* (*g_driverFactory)() = nullptr;

inline void PutSample16(unsigned char* out, int32_t v) {
  const int32_t x = v < -32768 ? -32768 : v > 32767 ? 32767 : v;
  const uint16_t u = static_cast<uint16_t>(x);
  out[0] = static_cast<unsigned char>(u);
  out[1] = static_cast<unsigned char>(u >> 8);
}

inline unsigned char Sample8(int32_t v) {
  const int32_t x = moxAsr(v, 8) + 128;
  return static_cast<unsigned char>(x < 0 ? 0 : x > 255 ? 255 : x);
}

moxDriver* MakeDriver() {
  if (g_driverFactory) return g_driverFactory();
  return new (std::nothrow) moxGP2X();
}
}  // namespace

void moxSpeaker::injectDriver(moxDriver* (*factory)()) { g_driverFactory = factory; }

moxSpeaker::moxSpeaker() {
  if ((moxUtility::getPlatform() & 0x2004u) == 0x2004u) bufferMs_ = 400;
}

moxSpeaker::~moxSpeaker() { close(); }

int moxSpeaker::bufferLength(int ms) {
  if (open_) return -2;
  if (ms < 60) return -10000;
  bufferMs_ = static_cast<uint32_t>(ms);
  return 0;
}

unsigned moxSpeaker::findBestNoteIndex(unsigned period) {
  const uint16_t* row = moxAmigaNote();
  unsigned best = 0;
  uint32_t bestDiff = 0xFFFFFFFFu;
  for (unsigned i = 0; i < static_cast<unsigned>(kMoxNotes); i++) {
    const uint32_t p = row[i];
    if (p == period) return i;
    const uint32_t diff = p > period ? p - period : period - p;
    if (diff < bestDiff) {
      bestDiff = diff;
      best = i;
    }
  }
  return best;
}

void moxSpeaker::createTables(unsigned rate) {
  rate_ = rate;
  const uint16_t* row = moxAmigaNote();
  unsigned smallest = 0;
  for (unsigned i = 1; i < static_cast<unsigned>(kMoxNotes); i++)
    if (row[i] < row[smallest]) smallest = i;
  noteTable_[0] = static_cast<uint16_t>(smallest);
  stepTable_[0] = 0;
  for (uint32_t p = 1; p < kTableSize; p++) {
    noteTable_[p] = static_cast<uint16_t>(findBestNoteIndex(p));
    // (7159090 / 2p) << 12 passes 32 bits for short periods: 64-bit arithmetic.
    const uint64_t clock = 7159090u / (2u * p);
    stepTable_[p] = rate ? static_cast<uint32_t>((clock << 12) / rate) : 0;
  }
}

int moxSpeaker::open(unsigned rate, unsigned bits, bool stereo, unsigned musicChannels,
                     unsigned soundChannels) {
  if (open_) return MOX_ERR_OPEN;
  delete driver_;
  driver_ = MakeDriver();
  if (!driver_) return MOX_ERR_DRIVER;
  AudioSpec spec{rate, bits == 8 ? 0x21u : 0x12u, stereo ? 2u : 1u};
  const uint32_t frames = static_cast<uint32_t>(static_cast<uint64_t>(bufferMs_) * rate / 1000u);
  const int r = driver_->open(&spec, frames, &moxSpeaker::audioCallback, this);
  if (r != 0) {
    delete driver_;
    driver_ = nullptr;
    return r;
  }
  // The feeder starts suspended: nothing reads the fields below until resume().
  sixteen_ = (spec.format & MOX_AUDIO_16BIT) ? 1 : 0;
  stereo_ = stereo ? 1 : 0;
  createTables(rate);
  uint32_t m = musicChannels == 0 ? 1 : musicChannels > 64 ? 64 : musicChannels;
  uint32_t s = soundChannels < 8 ? 8 : soundChannels > 128 ? 128 : soundChannels;
  music_ = static_cast<moxMusicChannel*>(::operator new(sizeof(moxMusicChannel) * m, std::nothrow));
  musicPlaying_ = new (std::nothrow) moxMusicChannel*[m];
  sound_ = static_cast<moxSoundChannel*>(::operator new(sizeof(moxSoundChannel) * s, std::nothrow));
  soundPlaying_ = new (std::nothrow) moxSoundChannel*[s];
  if (!music_ || !musicPlaying_ || !sound_ || !soundPlaying_) {
    ::operator delete(music_);
    ::operator delete(sound_);
    delete[] musicPlaying_;
    delete[] soundPlaying_;
    music_ = nullptr;
    sound_ = nullptr;
    musicPlaying_ = nullptr;
    soundPlaying_ = nullptr;
    driver_->close();
    delete driver_;
    driver_ = nullptr;
    return MOX_ERR_MEMORY;
  }
  for (uint32_t i = 0; i < m; i++) new (&music_[i]) moxMusicChannel(this);
  for (uint32_t i = 0; i < s; i++) new (&sound_[i]) moxSoundChannel(this);
  musicCount_ = m;
  soundCount_ = s;
  musicVolume_ = 64;
  soundVolume_ = 64;
  open_ = 1;
  driver_->resume();
  return 0;
}

void moxSpeaker::close() {
  if (open_) {
    // Joins the feeder: nothing mixes from here on.
    driver_->close();
    open_ = 0;
  }
  delete driver_;
  driver_ = nullptr;
  for (uint32_t i = 0; i < musicCount_; i++) music_[i].~moxMusicChannel();
  for (uint32_t i = 0; i < soundCount_; i++) sound_[i].~moxSoundChannel();
  ::operator delete(music_);
  ::operator delete(sound_);
  delete[] musicPlaying_;
  delete[] soundPlaying_;
  music_ = nullptr;
  sound_ = nullptr;
  musicPlaying_ = nullptr;
  soundPlaying_ = nullptr;
  musicCount_ = soundCount_ = 0;
}

void moxSpeaker::enterCriticalSection() {
  if (driver_) driver_->enterCriticalSection();
}

void moxSpeaker::leaveCriticalSection() {
  if (driver_) driver_->leaveCriticalSection();
}

moxChannel* moxSpeaker::channel(int id) {
  if (id < 0) return nullptr;
  const uint32_t u = static_cast<uint32_t>(id);
  if (u < musicCount_) return &music_[u];
  if (u < musicCount_ + soundCount_) return &sound_[u - musicCount_];
  return nullptr;
}

unsigned moxSpeaker::playingChannelMusics() {
  enterCriticalSection();
  unsigned n = 0;
  for (uint32_t i = 0; i < musicCount_; i++) n += music_[i].live() ? 1 : 0;
  leaveCriticalSection();
  return n;
}

unsigned moxSpeaker::playingChannelSounds() {
  enterCriticalSection();
  unsigned n = 0;
  for (uint32_t i = 0; i < soundCount_; i++) n += sound_[i].live() ? 1 : 0;
  leaveCriticalSection();
  return n;
}

int moxSpeaker::playSound(moxSound* sound, unsigned flags) {
  if (!open_ || !sound || !sound->data()) return MOX_ERR_PLAY;
  enterCriticalSection();
  moxSoundChannel* ch = nullptr;
  const int32_t limit = sound->maxplaybacks();
  if (flags & MOX_ANYCHANNEL) {
    moxSoundChannel* lastFree = nullptr;
    int32_t same = 0;
    for (uint32_t i = 0; i < soundCount_; i++) {
      moxSoundChannel& c = sound_[i];
      if (c.isFree()) {
        if (limit == -1) {
          lastFree = &c;
          break;
        }
        lastFree = &c;
      } else if (c.data() == sound->data()) {
        same++;
      }
    }
    if (lastFree && (limit == -1 || same < limit)) ch = lastFree;
  } else {
    const uint32_t idx = flags & 0xFFFFu;
    if (idx < soundCount_ && sound_[idx].isFree()) {
      ch = &sound_[idx];
      if (limit != -1) {
        int32_t busy = 0;
        for (uint32_t i = 0; i < soundCount_; i++) busy += sound_[i].isFree() ? 0 : 1;
        if (busy >= limit) ch = nullptr;
      }
    }
  }
  if (!ch) {
    leaveCriticalSection();
    return MOX_ERR_PLAY;
  }
  ch->setup(*sound);
  ch->volume(sound->volume());
  ch->play((flags & MOX_PAUSED) != 0);
  const int id = static_cast<int>(musicCount_ + static_cast<uint32_t>(ch - sound_));
  leaveCriticalSection();
  return id;
}

int moxSpeaker::playMusic(moxMusic* music, unsigned flags) {
  if (!open_ || !music || !music->image() || music->voices() < 1 || music->voices() > 32)
    return MOX_ERR_PLAY;
  enterCriticalSection();
  moxMusicChannel* ch = nullptr;
  if (flags & MOX_ANYCHANNEL) {
    for (uint32_t i = 0; i < musicCount_ && !ch; i++)
      if (music_[i].isFree()) ch = &music_[i];
  } else {
    const uint32_t idx = flags & 0xFFFFu;
    if (idx < musicCount_ && music_[idx].isFree()) ch = &music_[idx];
  }
  if (!ch || !ch->setup(*music)) {
    leaveCriticalSection();
    return MOX_ERR_PLAY;
  }
  ch->pan(music->pan());
  ch->loop(music->loop());
  ch->volume(music->volume());
  ch->play((flags & MOX_PAUSED) != 0);
  const int id = static_cast<int>(ch - music_);
  leaveCriticalSection();
  return id;
}

#define MOX_POOL(name, pool, count, op) \
  void moxSpeaker::name() {             \
    if (!open_) return;                 \
    enterCriticalSection();             \
    for (uint32_t i = 0; i < count; i++) pool[i].op(); \
    leaveCriticalSection();             \
  }
MOX_POOL(stopSounds, sound_, soundCount_, stop)
MOX_POOL(stopMusics, music_, musicCount_, stop)
MOX_POOL(pauseSounds, sound_, soundCount_, pause)
MOX_POOL(unpauseSounds, sound_, soundCount_, resume)
MOX_POOL(pauseMusics, music_, musicCount_, pause)
MOX_POOL(unpauseMusics, music_, musicCount_, resume)
#undef MOX_POOL

void moxSpeaker::suspend() {
  if (open_) driver_->suspend();
}

void moxSpeaker::resume() {
  if (open_) driver_->resume();
}

void moxSpeaker::volumeSounds(unsigned v) {
  enterCriticalSection();
  soundVolume_ = v > 64 ? 64 : v;
  for (uint32_t i = 0; i < soundCount_; i++) sound_[i].volume(sound_[i].volume());
  leaveCriticalSection();
}

void moxSpeaker::volumeMusics(unsigned v) {
  enterCriticalSection();
  musicVolume_ = v > 64 ? 64 : v;
  for (uint32_t i = 0; i < musicCount_; i++) music_[i].volume(music_[i].volume());
  leaveCriticalSection();
}

void moxSpeaker::audioCallback(void* user, unsigned char* buffer, int bytes) {
  if (!user) return;
  static_cast<moxSpeaker*>(user)->updateModSFX(buffer, bytes);
}

void moxSpeaker::updateModSFX(unsigned char* buffer, int bytes) {
  if (!buffer || bytes <= 0) return;
  uint32_t nm = 0, ns = 0;
  for (uint32_t i = 0; i < musicCount_; i++)
    if (music_[i].live()) musicPlaying_[nm++] = &music_[i];
  for (uint32_t i = 0; i < soundCount_; i++)
    if (sound_[i].live()) soundPlaying_[ns++] = &sound_[i];
  const uint32_t total = static_cast<uint32_t>(bytes);
  if (nm == 0 && ns == 0) {
    std::memset(buffer, sixteen_ ? 0 : 0x80, total);
    return;
  }
  const bool st = stereo_ != 0;
  const uint32_t bytesPerFrame = (sixteen_ ? 2u : 1u) * (st ? 2u : 1u);
  uint32_t frames = total / bytesPerFrame;
  // Bytes past the last whole frame (a fragment size rounded up) stay silent.
  std::memset(buffer + frames * bytesPerFrame, sixteen_ ? 0 : 0x80, total - frames * bytesPerFrame);
  constexpr uint32_t kChunk = 256;
  int32_t ml[kChunk], mr[kChunk], sl[kChunk], sr[kChunk];
  unsigned char* out = buffer;
  while (frames > 0) {
    const uint32_t n = frames < kChunk ? frames : kChunk;
    std::memset(ml, 0, n * sizeof(int32_t));
    std::memset(mr, 0, n * sizeof(int32_t));
    std::memset(sl, 0, n * sizeof(int32_t));
    std::memset(sr, 0, n * sizeof(int32_t));
    for (uint32_t i = 0; i < nm; i++)
      if (!musicPlaying_[i]->stopped()) musicPlaying_[i]->render(ml, mr, n, st);
    for (uint32_t i = 0; i < ns; i++)
      if (!soundPlaying_[i]->stopped()) soundPlaying_[i]->render(sl, sr, n, rate_, st);
    // Music plus the sounds' sum (which carries 7 more bits), clamped.
    if (sixteen_) {
      for (uint32_t k = 0; k < n; k++) {
        PutSample16(out, ml[k] + moxAsr(sl[k], 7));
        out += 2;
        if (st) {
          PutSample16(out, mr[k] + moxAsr(sr[k], 7));
          out += 2;
        }
      }
    } else {
      for (uint32_t k = 0; k < n; k++) {
        *out++ = Sample8(ml[k] + moxAsr(sl[k], 7));
        if (st) *out++ = Sample8(mr[k] + moxAsr(sr[k], 7));
      }
    }
    frames -= n;
  }
}
