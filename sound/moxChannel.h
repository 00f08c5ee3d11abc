// Channels: one voice slot of the mixer. A sound channel plays one sample, a
// music channel one tracker module with up to 32 voices of its own.
#ifndef ZARN_SOUND_MOXCHANNEL_H
#define ZARN_SOUND_MOXCHANNEL_H

#include <cstdint>

#include "sound/moxUtility.h"

class moxSpeaker;
class moxSound;
class moxMusic;

class moxChannel {
 public:
  explicit moxChannel(moxSpeaker* owner = nullptr) : speaker_(owner) {}
  virtual ~moxChannel() = default;
  virtual void volume(unsigned v);
  virtual void pan(unsigned p);
  virtual void position(unsigned) {}
  virtual unsigned position() { return 0; }
  virtual unsigned length() { return 0; }

  void play(bool paused);
  void stop();
  void pause();
  void resume();
  // The feeder thread stops a channel whose sample or module ends: these two
  // read under the owner's lock.
  bool playing() const;
  bool paused() const;
  unsigned volume() const { return volume_; }
  unsigned effectiveVolume() const { return effVolume_; }
  unsigned pan() const { return pan_; }
  void frequency(unsigned f);
  unsigned frequency() const { return frequency_; }
  void speed(unsigned s);
  unsigned speed() const { return speed_; }
  void loop(bool on);
  bool loop() const { return loop_ != 0; }
  const void* data() const { return data_; }
  moxSpeaker* speaker() const { return speaker_; }

 protected:
  // The owner's critical section (the feeder thread mixes these fields).
  void lock() const;
  void unlock() const;
  // Holds the owner's critical section for a scope.
  struct Hold {
    explicit Hold(const moxChannel& c) : ch(c) { ch.lock(); }
    ~Hold() { ch.unlock(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    const moxChannel& ch;
  };
  // With the critical section held (the mixer's own calls).
  bool live() const { return !stopped_ && !paused_; }
  bool stopped() const { return stopped_ != 0; }
  // Free for a new sample or module: stopped and not paused.
  bool isFree() const { return stopped_ && !paused_; }
  void setSpeedFromFrequency();

  moxSpeaker* speaker_;
  uint32_t volume_ = 64;
  uint32_t effVolume_ = 64;
  uint32_t pan_ = 128;
  uint8_t loop_ = 0;
  uint8_t paused_ = 0;
  uint8_t stopped_ = 1;
  uint32_t rate_ = 44100;
  uint32_t frequency_ = 44100;
  uint8_t freqChanged_ = 1;
  uint32_t speed_ = 128;
  const void* data_ = nullptr;

  friend class moxSpeaker;
};

class moxSoundChannel : public moxChannel {
 public:
  explicit moxSoundChannel(moxSpeaker* owner = nullptr) : moxChannel(owner) {}
  void volume(unsigned v) override;
  using moxChannel::volume;
  void position(unsigned u) override;
  unsigned position() override;
  unsigned length() override;

  // Set up from a sample (the mixer's playSound, inside its critical section).
  void setup(const moxSound& s);
  // Internal 24.8 position (tests).
  uint32_t rawPosition() const;

  // Adds `frames` output frames to the sums (r unused in mono output); the
  // channel stops when the sample ends. Runs on the feeder thread inside the
  // critical section.
  void render(int32_t* l, int32_t* r, uint32_t frames, uint32_t outRate, bool stereoOut);

 private:
  unsigned shift() const { return (eight_ ? 0u : 1u) + (stereo_ ? 1u : 0u); }

  uint32_t step_ = 0;
  uint32_t pos_ = 0;
  uint32_t len_ = 0;
  uint8_t eight_ = 0;
  uint8_t stereo_ = 0;
};

// One tracker voice.
struct moxVoice {
  uint32_t instrument;  // 1..31, 0 none
  uint32_t period;
  uint32_t note;        // index into the amiga table (finetune row included)
  uint32_t step;        // 20.12 samples per output frame
  uint32_t pos;         // 20.12
  uint32_t volume;      // 0..64
  uint32_t effVolume;   // volume x channel effective / 64
  uint32_t pan;
  uint8_t effect, px, py, param;
  uint32_t portaPeriod;
  uint32_t tpTarget, tpSpeed;
  uint32_t vibPos, vibSpeed, vibDepth;
  uint32_t arpCounter, arpStep[3];
  int32_t volSlide;
  uint32_t sampleOffset;
  uint32_t cutCounter;
  int32_t delayCounter;
  uint32_t heldNote;
  uint32_t loopCount, loopRow;
  // The sample being played (copied at trigger).
  const int8_t* data;
  uint32_t length, loopStart, loopLength;
};

struct moxSampleRecord {
  uint32_t length, loopStart, loopLength;  // 20.12
  uint32_t finetune, volume;
  const int8_t* data;
};

class moxMusicChannel : public moxChannel {
 public:
  static constexpr int kMaxVoices = 32;
  explicit moxMusicChannel(moxSpeaker* owner = nullptr);
  void volume(unsigned v) override;
  using moxChannel::volume;
  void pan(unsigned p) override;
  using moxChannel::pan;
  void position(unsigned u) override;
  unsigned position() override;
  unsigned length() override;

  // Set up from a module (the mixer's playMusic, inside its critical section).
  // False when the module cannot be played.
  bool setup(const moxMusic& m);

  // Advances the tracker by `frames` output frames and adds the voices.
  void render(int32_t* l, int32_t* r, uint32_t frames, bool stereoOut);

  // Tracker state (tests, tools), read under the owner's lock: the feeder
  // thread advances it.
  uint32_t order() const;
  // The order and row read last (the row now sounding).
  uint32_t playingOrder() const;
  uint32_t playingRow() const;
  uint32_t row() const;
  uint32_t voices() const { return voices_; }
  uint32_t ticksPerRow() const;
  uint32_t ticksPerSecond() const;
  uint32_t samplesPerTick() const;
  uint32_t tickCounter() const;
  // A voice's fields: look while no feeder runs or with the mixer's lock held.
  const moxVoice& voice(int i) const { return voice_[i]; }
  // Runs one whole tick without mixing (tests, tools): true while playing.
  bool advanceTick();

 private:
  uint32_t currentRow() const { return voices_ ? rowOffset_ / voices_ : 0; }
  void recomputeTiming();
  void tick();
  // A row: each voice's note, then its effect's work at the row's start.
  struct RowNote;
  void readRow();
  void readNote(moxVoice& v, const unsigned char* n, RowNote& s);
  void rowEffect(moxVoice& v, RowNote& s);
  void rowArpeggio(moxVoice& v);
  void rowTonePorta(moxVoice& v, const RowNote& s);
  void rowOrderJump(const moxVoice& v, RowNote& s);
  void rowPatternBreak(const moxVoice& v, const RowNote& s);
  void rowExtended(moxVoice& v, const RowNote& s);
  void rowPatternLoop(moxVoice& v, const RowNote& s);
  void rowNoteDelay(moxVoice& v, const RowNote& s);
  void rowSpeed(const moxVoice& v);
  // The other ticks of a row: each effect's work per tick.
  void tickEffects(moxVoice& v);
  void tickTonePorta(moxVoice& v);
  void tickVibrato(moxVoice& v);
  void tickVolumeSlide(moxVoice& v);
  void tickExtended(moxVoice& v);
  void endOfRow();
  void endModule();
  uint32_t stepOf(uint32_t period) const;
  uint32_t noteStep(uint32_t note) const;
  void setPeriod(moxVoice& v, uint32_t period) {
    v.period = period;
    v.step = stepOf(period);
  }
  // A voice's effective volume follows its own and the channel's.
  void applyVoiceVolume(moxVoice& v) { v.effVolume = v.volume * effVolume_ / 64; }
  void setVoiceVolume(moxVoice& v, uint32_t volume) {
    v.volume = volume;
    applyVoiceVolume(v);
  }
  // A cut (ECx) takes the voice's own volume to 0: it stays silent whatever the
  // channel's volume does, and later slides go on from 0.
  void cutVoice(moxVoice& v) { setVoiceVolume(v, 0); }
  // Starts a note (index into the amiga table) on a voice from its sample.
  void startNote(moxVoice& v, uint32_t note);

  const unsigned char* patterns_ = nullptr;
  const unsigned char* orders_ = nullptr;
  uint32_t voices_ = 0;
  uint32_t songLength_ = 0;
  uint32_t pattern_ = 0;
  uint32_t rowOffset_ = 0;
  uint32_t order_ = 0;
  uint32_t restart_ = 0;
  uint32_t ticksPerRow_ = 6;
  uint32_t tick_ = 0;
  uint32_t samplesPerTick_ = 882;
  uint32_t sampleCount_ = 0;
  uint32_t ticksPerSecond_ = 50;
  int32_t jumpOrder_ = -1;
  uint32_t jumpRow_ = 0;
  uint32_t patternDelay_ = 0;
  uint32_t playOrder_ = 0, playRow_ = 0;
  uint8_t ending_ = 0;  // the last row is sounding: stop when it is over
  moxSampleRecord samples_[31];
  moxVoice voice_[kMaxVoices];
};

#endif
