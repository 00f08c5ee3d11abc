#include "sound/moxChannel.h"

#include <cstring>

#include "sound/moxData.h"
#include "sound/moxSpeaker.h"

// ---- moxChannel ---------------------------------------------------------------------

void moxChannel::lock() const {
  if (speaker_) speaker_->enterCriticalSection();
}

void moxChannel::unlock() const {
  if (speaker_) speaker_->leaveCriticalSection();
}

bool moxChannel::playing() const {
  Hold h(*this);
  return live();
}

bool moxChannel::paused() const {
  Hold h(*this);
  return paused_ != 0;
}

void moxChannel::volume(unsigned v) {
  lock();
  volume_ = v > 64 ? 64 : v;
  unlock();
}

void moxChannel::pan(unsigned p) {
  lock();
  pan_ = p > 255 ? 255 : p;
  unlock();
}

void moxChannel::play(bool paused) {
  lock();
  stopped_ = 0;
  paused_ = paused ? 1 : 0;
  unlock();
}

void moxChannel::stop() {
  lock();
  stopped_ = 1;
  paused_ = 0;
  unlock();
}

void moxChannel::pause() {
  lock();
  if (!stopped_) paused_ = 1;
  unlock();
}

void moxChannel::resume() {
  lock();
  if (!stopped_) paused_ = 0;
  unlock();
}

void moxChannel::setSpeedFromFrequency() { speed_ = moxUtility::speedOf(frequency_, rate_); }

void moxChannel::frequency(unsigned f) {
  lock();
  frequency_ = f;
  setSpeedFromFrequency();
  freqChanged_ = 1;
  unlock();
}

void moxChannel::speed(unsigned s) {
  lock();
  speed_ = s;
  frequency_ = moxUtility::frequencyOf(s, rate_);
  freqChanged_ = 1;
  unlock();
}

void moxChannel::loop(bool on) {
  lock();
  loop_ = on ? 1 : 0;
  unlock();
}

// ---- moxSoundChannel -------------------------------------------------------------------

void moxSoundChannel::volume(unsigned v) {
  lock();
  volume_ = v > 64 ? 64 : v;
  const uint32_t master = speaker_ ? speaker_->volumeSounds() : 64;
  effVolume_ = volume_ * master / 64;
  unlock();
}

void moxSoundChannel::position(unsigned u) {
  lock();
  const uint64_t p = static_cast<uint64_t>(u) << (8 + shift());
  pos_ = p > len_ ? len_ : static_cast<uint32_t>(p);
  unlock();
}

unsigned moxSoundChannel::position() {
  Hold h(*this);
  return pos_ >> (8 + shift());
}

uint32_t moxSoundChannel::rawPosition() const {
  Hold h(*this);
  return pos_;
}

unsigned moxSoundChannel::length() { return len_ >> (8 + shift()); }

void moxSoundChannel::setup(const moxSound& s) {
  rate_ = s.rate();
  frequency_ = s.frequency();
  speed_ = s.speed();
  freqChanged_ = 1;
  pos_ = 0;
  loop_ = s.loop() ? 1 : 0;
  len_ = s.frames() << 8;
  eight_ = s.eightBit() ? 1 : 0;
  stereo_ = s.stereo() ? 1 : 0;
  pan_ = s.pan();
  data_ = s.data();
}

// ---- moxMusicChannel -------------------------------------------------------------------

moxMusicChannel::moxMusicChannel(moxSpeaker* owner) : moxChannel(owner) {
  std::memset(samples_, 0, sizeof samples_);
  std::memset(voice_, 0, sizeof voice_);
  for (auto& v : voice_) {
    v.vibSpeed = 9;
    v.vibDepth = 2;
  }
  pan_ = 255;
}

void moxMusicChannel::volume(unsigned v) {
  lock();
  volume_ = v > 64 ? 64 : v;
  const uint32_t master = speaker_ ? speaker_->volumeMusics() : 64;
  effVolume_ = volume_ * master / 64;
  for (auto& vc : voice_) applyVoiceVolume(vc);
  unlock();
}

void moxMusicChannel::pan(unsigned p) {
  lock();
  pan_ = p > 255 ? 255 : p;
  const uint32_t b = ((255 - pan_) * 64) / 256;
  for (int i = 0; i + 1 < kMaxVoices; i += 2) {
    voice_[i].pan = 64 + b;
    voice_[i + 1].pan = 192 - b;
  }
  unlock();
}

void moxMusicChannel::position(unsigned u) {
  if (!orders_ || u / 64 + 1 > songLength_) return;
  lock();
  order_ = u / 64;
  pattern_ = orders_[order_];
  rowOffset_ = (u % 64) * voices_;
  jumpOrder_ = -1;
  ending_ = 0;
  unlock();
}

unsigned moxMusicChannel::position() {
  Hold h(*this);
  return order_ * 64 + currentRow();
}

uint32_t moxMusicChannel::row() const {
  Hold h(*this);
  return currentRow();
}

#define MOX_LOCKED_GET(name, field)           \
  uint32_t moxMusicChannel::name() const {    \
    Hold h(*this);                            \
    return field;                             \
  }
MOX_LOCKED_GET(order, order_)
MOX_LOCKED_GET(playingOrder, playOrder_)
MOX_LOCKED_GET(playingRow, playRow_)
MOX_LOCKED_GET(ticksPerRow, ticksPerRow_)
MOX_LOCKED_GET(ticksPerSecond, ticksPerSecond_)
MOX_LOCKED_GET(samplesPerTick, samplesPerTick_)
MOX_LOCKED_GET(tickCounter, tick_)
#undef MOX_LOCKED_GET

unsigned moxMusicChannel::length() { return songLength_ * 64; }

uint32_t moxMusicChannel::stepOf(uint32_t period) const {
  if (period == 0 || !speaker_) return 0;
  // Periods past the table (12-bit values, low finetunes) use its last entry.
  if (period > kMoxMaxPeriod) period = kMoxMaxPeriod;
  return speaker_->stepTable()[period];
}

uint32_t moxMusicChannel::noteStep(uint32_t note) const {
  return stepOf(moxAmigaNote()[note]);
}

void moxMusicChannel::startNote(moxVoice& v, uint32_t note) {
  v.note = note;
  v.period = moxAmigaNote()[note];
  v.pos = 0;
  if (v.instrument) {
    const moxSampleRecord& s = samples_[v.instrument - 1];
    v.data = s.data;
    v.length = s.length;
    v.loopStart = s.loopStart;
    v.loopLength = s.loopLength;
    v.step = stepOf(v.period);
  }
}

bool moxMusicChannel::setup(const moxMusic& m) {
  const unsigned char* img = m.image();
  if (!img || m.voices() < 1 || m.voices() > static_cast<uint32_t>(kMaxVoices)) return false;
  // A song of no orders has nothing to play.
  if (m.songLength() == 0) return false;
  voices_ = m.voices();
  songLength_ = m.songLength();
  orders_ = img + 952;
  patterns_ = img + 1084;
  const unsigned char* sampleData = patterns_ + static_cast<size_t>(voices_) * m.patterns() * 256;
  uint32_t offset = 0;
  for (int i = 0; i < 31; i++) {
    const unsigned char* r = img + 20 + 30 * i;
    moxSampleRecord& s = samples_[i];
    std::memset(&s, 0, sizeof s);
    s.finetune = r[24] & 0x0F;
    s.volume = r[25] > 64 ? 64 : r[25];
    const uint32_t bytes = m.sampleBytes(i);
    if (bytes) {
      uint32_t ls = moxUtility::be16(r + 26) * 2u, ll = moxUtility::be16(r + 28) * 2u;
      if (ll < 4) ll = 0;
      // A loop reaching past the sample's end is cut at the end.
      if (ls >= bytes) ll = 0;
      if (ll && ls + ll > bytes) ll = bytes - ls;
      s.length = bytes << 12;
      s.loopStart = ll ? ls << 12 : 0;
      s.loopLength = ll << 12;
      s.data = reinterpret_cast<const int8_t*>(sampleData + offset);
    }
    offset += bytes;
  }
  const unsigned char restart = img[951];
  restart_ = (restart == 127 || restart >= songLength_) ? 0 : restart;
  ticksPerSecond_ = 50;
  ticksPerRow_ = 6;
  tick_ = 6;
  order_ = 0;
  rowOffset_ = 0;
  playOrder_ = playRow_ = 0;  // not the last module's place before the first row
  pattern_ = songLength_ ? orders_[0] : 0;
  jumpOrder_ = -1;
  jumpRow_ = 0;
  patternDelay_ = 0;
  ending_ = 0;
  rate_ = m.rate();
  frequency_ = m.frequency();
  speed_ = m.speed();
  freqChanged_ = 1;
  data_ = img;
  for (auto& v : voice_) {
    const uint32_t pan = v.pan;
    std::memset(&v, 0, sizeof v);
    v.pan = pan;
    v.vibSpeed = 9;
    v.vibDepth = 2;
  }
  recomputeTiming();
  sampleCount_ = 0;
  return true;
}

void moxMusicChannel::recomputeTiming() {
  freqChanged_ = 0;
  const uint32_t outRate = speaker_ ? speaker_->outputRate() : 44100;
  // At a frequency below 173 Hz the tempo divisor would be 0: clamp it.
  uint64_t div = static_cast<uint64_t>(frequency_) * 256u / 44100u * ticksPerSecond_;
  if (div == 0) div = 1;
  uint64_t spt = (static_cast<uint64_t>(outRate) * 65536u / div) / 256u;
  if (spt == 0) spt = 1;
  if (spt > 0x7FFFFFFF) spt = 0x7FFFFFFF;
  samplesPerTick_ = static_cast<uint32_t>(spt);
}

void moxMusicChannel::endModule() {
  // The row just read still plays its ticks; the channel stops after it.
  ending_ = 1;
}

namespace {

inline uint32_t ClampNote(uint32_t note, uint32_t add) {
  const uint32_t rowStart = note - note % kMoxNotes;
  const uint32_t n = note + add;
  return n >= rowStart + kMoxNotes ? rowStart + kMoxNotes - 1 : n;
}

// Row-start work that touches the voice alone.
void RowVibrato(moxVoice& v) {
  if (v.param) {
    v.vibPos = 0;
    v.vibSpeed = v.px;
    v.vibDepth = v.py;
  }
}

void RowVolumeSlide(moxVoice& v) {
  v.volSlide = v.param ? (v.px ? static_cast<int32_t>(v.px) : -static_cast<int32_t>(v.py)) : 0;
}

void RowSampleOffset(moxVoice& v) {
  if (v.param) v.sampleOffset = v.param * 256u;
  // Past the sample's end the voice is silent until its next note.
  v.pos = v.sampleOffset << 12;
}

void TickArpeggio(moxVoice& v) {
  if (v.param) {
    v.arpCounter = v.arpCounter >= 2 ? 0 : v.arpCounter + 1;
    v.step = v.arpStep[v.arpCounter];
  }
}

}  // namespace

// What the row being read gives each voice's effect.
struct moxMusicChannel::RowNote {
  uint32_t row;     // the row's number in its pattern
  uint32_t period;  // the note's period as written (clamped), 0: no note
  uint32_t note;    // its index into the amiga table
  bool jumpedByB;   // a B earlier in this row chose the order (or the end): a D picks the row
};

void moxMusicChannel::readRow() {
  const unsigned char* row =
      patterns_ + (static_cast<size_t>(pattern_) * 64u * voices_ + rowOffset_) * 4u;
  RowNote s{currentRow(), 0, 0, false};
  playOrder_ = order_;
  playRow_ = s.row;
  // Voice by voice, each note before its effect: effects of later voices see
  // the jumps of earlier ones.
  for (uint32_t i = 0; i < voices_; i++) {
    readNote(voice_[i], row + i * 4, s);
    rowEffect(voice_[i], s);
  }
  endOfRow();
}

void moxMusicChannel::readNote(moxVoice& v, const unsigned char* n, RowNote& s) {
  const uint32_t smp = (n[0] & 0xF0u) | (n[2] >> 4);
  uint32_t period = ((n[0] & 0x0Fu) << 8) | n[1];
  v.effect = n[2] & 0x0F;
  v.param = n[3];
  v.px = n[3] >> 4;
  v.py = n[3] & 0x0F;
  // Sample numbers past the 31 records are ignored.
  if (smp > 0 && smp <= 31) {
    v.instrument = smp;
    setVoiceVolume(v, samples_[smp - 1].volume);
  }
  const uint32_t fine = v.instrument ? samples_[v.instrument - 1].finetune : 0;
  if (period > kMoxMaxPeriod) period = kMoxMaxPeriod;
  s.period = period;
  s.note = period ? speaker_->noteTable()[period] + fine * kMoxNotes : 0;
  // Tone portamentos slide to the note and a delayed note starts later.
  const bool porta = v.effect == 3 || v.effect == 5;
  const bool delayed = v.effect == 0xE && v.px == 0xD;
  if (period && !porta && !delayed) startNote(v, s.note);
  if (v.instrument) v.step = stepOf(v.period);
  v.cutCounter = 0;
  v.delayCounter = 0;
}

void moxMusicChannel::rowEffect(moxVoice& v, RowNote& s) {
  switch (v.effect) {
    case 0x0: rowArpeggio(v); break;
    case 0x1:
    case 0x2: v.portaPeriod = v.period; break;
    case 0x3: rowTonePorta(v, s); break;
    case 0x4: RowVibrato(v); break;
    case 0x5:
      RowVolumeSlide(v);
      if (s.period) v.tpTarget = moxAmigaNote()[s.note];
      break;
    case 0x6:
    case 0xA: RowVolumeSlide(v); break;
    case 0x9: RowSampleOffset(v); break;
    case 0xB: rowOrderJump(v, s); break;
    case 0xC: setVoiceVolume(v, v.param > 64 ? 64 : v.param); break;
    case 0xD: rowPatternBreak(v, s); break;
    case 0xE: rowExtended(v, s); break;
    case 0xF: rowSpeed(v); break;
    default: break;
  }
}

void moxMusicChannel::rowArpeggio(moxVoice& v) {
  if (v.param) {
    v.arpCounter = 0;
    v.arpStep[0] = noteStep(v.note);
    v.arpStep[1] = noteStep(ClampNote(v.note, v.px));
    v.arpStep[2] = noteStep(ClampNote(v.note, v.py));
  }
}

void moxMusicChannel::rowTonePorta(moxVoice& v, const RowNote& s) {
  if (s.period)
    v.tpTarget = moxAmigaNote()[s.note];
  else if (!v.tpTarget)
    v.tpTarget = v.period;
  if (v.param) v.tpSpeed = v.param;
}

void moxMusicChannel::rowOrderJump(const moxVoice& v, RowNote& s) {
  // Without looping only a forward jump is made; any other ends the module.
  jumpOrder_ = loop_ || v.param > order_ ? v.param : static_cast<int32_t>(songLength_);
  jumpRow_ = 0;
  s.jumpedByB = true;
}

void moxMusicChannel::rowPatternBreak(const moxVoice& v, const RowNote& s) {
  uint32_t r = v.px * 10u + v.py;
  // A row past the pattern's end starts the next pattern at its top.
  if (r > 63) r = 0;
  if (s.jumpedByB) {
    jumpRow_ = r;
  } else if (order_ + 1 < songLength_) {
    jumpOrder_ = static_cast<int32_t>(order_ + 1);
    jumpRow_ = r;
  } else if (loop_) {
    jumpOrder_ = static_cast<int32_t>(restart_);
    jumpRow_ = r;
  } else {
    jumpOrder_ = static_cast<int32_t>(songLength_);
  }
}

void moxMusicChannel::rowExtended(moxVoice& v, const RowNote& s) {
  switch (v.px) {
    case 0x6: rowPatternLoop(v, s); break;
    case 0xA: setVoiceVolume(v, v.volume + v.py > 64 ? 64 : v.volume + v.py); break;
    case 0xB: setVoiceVolume(v, v.volume < v.py ? 0 : v.volume - v.py); break;
    case 0xC:
      v.cutCounter = v.py;
      if (v.py == 0) cutVoice(v);
      break;
    case 0xD: rowNoteDelay(v, s); break;
    case 0xE: patternDelay_ = v.py; break;  // the last of the row holds, as every per-row setting
    default: break;
  }
}

void moxMusicChannel::rowPatternLoop(moxVoice& v, const RowNote& s) {
  if (v.py == 0) {
    v.loopRow = s.row;
  } else if (v.loopCount == 0) {
    v.loopCount = v.py;
    jumpOrder_ = static_cast<int32_t>(order_);
    jumpRow_ = v.loopRow;
  } else if (--v.loopCount > 0) {
    jumpOrder_ = static_cast<int32_t>(order_);
    jumpRow_ = v.loopRow;
  }
}

void moxMusicChannel::rowNoteDelay(moxVoice& v, const RowNote& s) {
  if (!s.period) return;
  if (v.py == 0) {
    startNote(v, s.note);
  } else {
    v.heldNote = s.note;
    v.delayCounter = v.py;
  }
}

void moxMusicChannel::rowSpeed(const moxVoice& v) {
  if (v.param > 32) {
    ticksPerSecond_ = v.param * 2u / 5u;
    recomputeTiming();
  } else if (v.param > 0) {
    ticksPerRow_ = v.param;
  }
}

void moxMusicChannel::endOfRow() {
  if (jumpOrder_ >= 0) {
    const uint32_t target = static_cast<uint32_t>(jumpOrder_);
    jumpOrder_ = -1;
    if (target >= songLength_) {
      endModule();
      return;
    }
    order_ = target;
    pattern_ = orders_[order_];
    rowOffset_ = jumpRow_ * voices_;
    return;
  }
  rowOffset_ += voices_;
  if (rowOffset_ >= 64 * voices_) {
    rowOffset_ = 0;
    order_++;
    if (order_ >= songLength_) {
      if (!loop_) {
        endModule();
        return;
      }
      order_ = restart_;
    }
    pattern_ = orders_[order_];
  }
}

void moxMusicChannel::tickEffects(moxVoice& v) {
  switch (v.effect) {
    case 0x0: TickArpeggio(v); break;
    case 0x1:
      setPeriod(v, v.period < kMoxMinPeriod + v.param ? kMoxMinPeriod : v.period - v.param);
      break;
    case 0x2:
      setPeriod(v, v.period + v.param > kMoxMaxPeriod ? kMoxMaxPeriod : v.period + v.param);
      break;
    case 0x3: tickTonePorta(v); break;
    case 0x4: tickVibrato(v); break;
    case 0x5:
      tickTonePorta(v);
      tickVolumeSlide(v);
      break;
    case 0x6:
      tickVibrato(v);
      tickVolumeSlide(v);
      break;
    case 0xA: tickVolumeSlide(v); break;
    case 0xE: tickExtended(v); break;
    default: break;
  }
}

void moxMusicChannel::tickTonePorta(moxVoice& v) {
  if (!v.tpTarget || !v.period) return;
  uint32_t p = v.period;
  if (p < v.tpTarget)
    p = p + v.tpSpeed > v.tpTarget ? v.tpTarget : p + v.tpSpeed;
  else if (p > v.tpTarget)
    p = p < v.tpTarget + v.tpSpeed ? v.tpTarget : p - v.tpSpeed;
  setPeriod(v, p);
}

void moxMusicChannel::tickVibrato(moxVoice& v) {
  const uint32_t delta = v.vibDepth * sine[v.vibPos & 31] / 128;
  const uint32_t p = v.vibPos < 32 ? v.period + delta : (v.period > delta ? v.period - delta : 1);
  v.step = v.period ? stepOf(p) : 0;
  v.vibPos = (v.vibPos + v.vibSpeed) & 63;
}

void moxMusicChannel::tickVolumeSlide(moxVoice& v) {
  const int32_t vol = static_cast<int32_t>(v.volume) + v.volSlide;
  setVoiceVolume(v, vol < 0 ? 0 : vol > 64 ? 64 : static_cast<uint32_t>(vol));
}

void moxMusicChannel::tickExtended(moxVoice& v) {
  if (v.px == 0xC && v.cutCounter > 0) {
    if (--v.cutCounter == 0) cutVoice(v);
  } else if (v.px == 0xD && v.delayCounter > 0) {
    if (--v.delayCounter == 0) startNote(v, v.heldNote);
  }
}

void moxMusicChannel::tick() {
  if (freqChanged_) recomputeTiming();
  if (tick_ >= ticksPerRow_) {
    tick_ = 0;
    if (ending_ && patternDelay_ == 0) {
      stopped_ = 1;
      paused_ = 0;
      return;
    }
    if (patternDelay_ > 0)
      patternDelay_--;
    else
      readRow();
  } else {
    for (uint32_t i = 0; i < voices_; i++) tickEffects(voice_[i]);
  }
  tick_++;
}

bool moxMusicChannel::advanceTick() {
  if (stopped_ || !speaker_) return false;
  tick();
  sampleCount_ = 0;
  return !stopped_;
}

// ---- mixing (feeder thread, inside the critical section) ------------------------------

namespace {

// One sample channel over a run of frames, its format and the output's layout
// fixed at compile time: no per-frame dispatch. Returns the new position; sets
// *ended when the sample ran out.
template <bool kEight, bool kStereoSrc, int kOut>  // kOut: 0 mono, 1 stereo centred, 2 stereo panned
uint32_t MixSample(const unsigned char* d, uint32_t pos, uint32_t len, uint32_t step, bool looping,
                   int32_t* l, int32_t* r, uint32_t frames, int32_t v, int32_t vl, int32_t vr, bool* ended) {
  for (uint32_t k = 0; k < frames; k++) {
    if (looping && pos >= len) pos -= len;
    if (pos >= len) {
      *ended = true;
      break;
    }
    const uint32_t i = pos >> 8;
    int32_t u, w = 0;
    if (kEight) {
      u = (d[kStereoSrc ? 2 * i : i] - 128) * 256;
      if (kStereoSrc) w = (d[2 * i + 1] - 128) * 256;
    } else {
      u = static_cast<int16_t>(moxUtility::le16(d + (kStereoSrc ? 4 * i : 2 * i)));
      if (kStereoSrc) w = static_cast<int16_t>(moxUtility::le16(d + 4 * i + 2));
    }
    if (kOut == 1) {
      l[k] += u * v;
      r[k] += (kStereoSrc ? w : u) * v;
    } else if (kOut == 2) {
      const int32_t x = kStereoSrc ? u + w : u;
      l[k] += x * vl;
      r[k] += x * vr;
    } else {
      l[k] += (kStereoSrc ? u + w : u) * v;
    }
    pos += step;
  }
  return pos;
}

using MixFn = uint32_t (*)(const unsigned char*, uint32_t, uint32_t, uint32_t, bool, int32_t*, int32_t*,
                           uint32_t, int32_t, int32_t, int32_t, bool*);

template <bool kEight, bool kStereoSrc>
MixFn PickOut(int out) {
  return out == 0 ? &MixSample<kEight, kStereoSrc, 0>
                  : out == 1 ? &MixSample<kEight, kStereoSrc, 1> : &MixSample<kEight, kStereoSrc, 2>;
}

}  // namespace

void moxSoundChannel::render(int32_t* l, int32_t* r, uint32_t frames, uint32_t outRate,
                             bool stereoOut) {
  if (freqChanged_) {
    const uint64_t den = static_cast<uint64_t>(outRate) << 8;
    step_ = den ? static_cast<uint32_t>((static_cast<uint64_t>(frequency_) << 16) / den) : 0;
    freqChanged_ = 0;
  }
  const int32_t v = static_cast<int32_t>(effVolume_);
  const int32_t V = 2 * v, W = (V * static_cast<int32_t>(pan_)) >> 8;
  const int out = !stereoOut ? 0 : pan_ == 128 ? 1 : 2;
  // One call per run of frames: the dispatch is chosen once, not per frame.
  const MixFn fn = eight_ ? (stereo_ ? PickOut<true, true>(out) : PickOut<true, false>(out))
                          : (stereo_ ? PickOut<false, true>(out) : PickOut<false, false>(out));
  bool ended = false;
  pos_ = fn(static_cast<const unsigned char*>(data_), pos_, len_, step_, loop_ != 0, l, r, frames, v, V - W, W,
            &ended);
  if (ended) {
    stopped_ = 1;
    paused_ = 0;
  }
}

namespace {

template <bool kStereo>
void MixVoice(moxVoice& v, int32_t* l, int32_t* r, uint32_t run) {
  if (!v.data) return;
  const int8_t* d = v.data;
  uint32_t pos = v.pos;
  const uint32_t step = v.step, len = v.length, llen = v.loopLength, lstart = v.loopStart;
  const uint32_t lend = lstart + llen;
  const int32_t vol = static_cast<int32_t>(v.effVolume);
  const int32_t t = (vol * static_cast<int32_t>(v.pan)) >> 8;
  const int32_t vl = kStereo ? 2 * (vol - t) : vol, vr = 2 * t;
  for (uint32_t k = 0; k < run; k++) {
    if (llen && pos >= lend) {
      pos -= llen;
      if (pos >= lend) pos = lstart + (pos - lstart) % llen;
    }
    if (pos >= len) break;
    const int32_t s = d[pos >> 12];
    l[k] += s * vl;
    if (kStereo) r[k] += s * vr;
    pos += step;
  }
  v.pos = pos;
}

}  // namespace

void moxMusicChannel::render(int32_t* l, int32_t* r, uint32_t frames, bool stereoOut) {
  while (frames > 0) {
    if (sampleCount_ == 0) {
      tick();
      if (stopped_) return;
    }
    uint32_t run = samplesPerTick_ - sampleCount_;
    if (run > frames) run = frames;
    if (stereoOut)
      for (uint32_t i = 0; i < voices_; i++) MixVoice<true>(voice_[i], l, r, run);
    else
      for (uint32_t i = 0; i < voices_; i++) MixVoice<false>(voice_[i], l, r, run);
    sampleCount_ += run;
    if (sampleCount_ >= samplesPerTick_) sampleCount_ = 0;
    l += run;
    r += run;
    frames -= run;
  }
}
