// MOD modules: signatures, loading of broken images, the tracker's rows, ticks
// and tempo, and the period tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sound/moxSpeaker.h"
#include "tests/sound/sound_util.h"

using namespace soundtest;

namespace {

TEST(ModTables, AmigaNotesMatchTheGolden) {
  std::ifstream f(std::string(ZARN_SOURCE_DIR) + "/tests/sound/data/amiganote.txt");
  ASSERT_TRUE(f.good());
  std::string line;
  int row = 0;
  const uint16_t* t = moxAmigaNote();
  while (std::getline(f, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    for (int n = 0; n < kMoxNotes; n++) {
      int v = -1;
      in >> v;
      ASSERT_EQ(t[row * kMoxNotes + n], v) << "finetune row " << row << " note " << n;
    }
    row++;
  }
  EXPECT_EQ(row, kMoxFinetunes);
  // The octave anchors that every tracker shares.
  EXPECT_EQ(t[0], 1712);
  EXPECT_EQ(t[12], 856);
  EXPECT_EQ(t[24], 428);
  EXPECT_EQ(t[36], 214);
  EXPECT_EQ(t[48], 107);
}

TEST(ModTables, StepAndNoteTables) {
  moxSpeaker sp;
  sp.createTables(44100);
  EXPECT_EQ(sp.stepTable()[0], 0u);
  // ((7159090 / 2p) << 12) / rate, in 64 bits: p = 1 passes 32 bits before the division.
  EXPECT_EQ(sp.stepTable()[1], uint32_t((uint64_t(3579545) << 12) / 44100));
  EXPECT_EQ(sp.stepTable()[428], uint32_t((uint64_t(7159090 / 856) << 12) / 44100));
  EXPECT_EQ(sp.noteTable()[428], 24u);
  EXPECT_EQ(sp.noteTable()[1712], 0u);
  EXPECT_EQ(sp.noteTable()[0], 83u);
  EXPECT_EQ(sp.noteTable()[1], 83u);
  EXPECT_EQ(moxSpeaker::findBestNoteIndex(5000), 0u);
  // A tie between 856 and 808 (832) goes to the first.
  EXPECT_EQ(moxSpeaker::findBestNoteIndex(832), 12u);
}

TEST(ModFormat, Signatures) {
  struct Case {
    const char* sign;
    uint32_t voices;
  } cases[] = {{"M.K.", 4}, {"M!K!", 4}, {"m.k.", 4}, {"8CHN", 8}, {"6CHN", 6}, {"16CH", 16},
               {"32CH", 32}, {"FLT4", 0}, {"XXXX", 0}, {"\0\0\0\0", 0}, {"C..C", 0}};
  for (const auto& c : cases)
    EXPECT_EQ(moxMusic::translatePTSign(reinterpret_cast<const unsigned char*>(c.sign)), c.voices) << c.sign;
}

Mod SimpleMod() {
  Mod m;
  m.samples.push_back(SquareSample(64, true));
  m.samples.push_back(SquareSample(200, false));
  m.At(0, 0, 0) = {1, 428, 0, 0};
  m.At(1, 0, 1) = {2, 214, 0, 0};
  m.order = {0, 1};
  return m;
}

// Broken modules: each gives its code or a clamped value, never a read outside the image.
TEST(ModFormat, MutationTable) {
  const auto good = SimpleMod().Build();
  struct Case {
    const char* what;
    std::vector<uint8_t> image;
    int code;
  };
  auto with = [](std::vector<uint8_t> v, size_t at, std::vector<uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size(); i++) v[at + i] = bytes[i];
    return v;
  };
  auto cut = [](std::vector<uint8_t> v, size_t n) {
    v.resize(n);
    return v;
  };
  std::vector<Case> cases = {
      {"good", good, 0},
      {"FLT4", with(good, 1080, {'F', 'L', 'T', '4'}), MOX_ERR_FORMAT},
      {"header only", cut(good, 1083), MOX_ERR_FORMAT},
      {"patterns cut", cut(good, 1084 + 1024 + 1000), MOX_ERR_READ},
      {"samples cut", cut(good, 1084 + 2048 + 30), 0},
      {"song length 200 (clamped to 128)", with(good, 950, {200}), 0},
      {"order past the patterns", with(good, 953, {9}), MOX_ERR_READ},
      {"order after the song's end past the patterns", with(good, 960, {9}), MOX_ERR_READ},
      {"sample 1 longer than the image", with(good, 42, {0xFF, 0xFF}), 0},
      {"loop past the sample", with(good, 46, {0x00, 0x20, 0x7F, 0xFF}), 0},
      {"restart 127", with(good, 951, {127}), 0},
      {"99 voices", with(good, 1080, {'9', '9', 'C', 'H'}), MOX_ERR_READ},
  };
  ManualDriverScope scope;
  moxSpeaker sp;
  ASSERT_EQ(sp.open(44100, 16, true, 2, 8), 0);
  for (const auto& c : cases) {
    std::vector<uint8_t> copy(c.image);
    moxMusic m;
    const int rc = m.load(copy.data(), uint32_t(copy.size()), false);
    EXPECT_EQ(rc, c.code) << c.what;
    if (rc == 0) {
      EXPECT_LE(m.songLength(), 128u) << c.what;
    }
    if (rc != 0) continue;
    EXPECT_LE(m.size(), copy.size()) << c.what;
    m.loop(false);
    const int id = sp.playMusic(&m, MOX_ANYCHANNEL);
    ASSERT_GE(id, 0) << c.what;
    Mix16(sp, 44100);  // a second of play reads every note and sample that exists
    sp.stopMusics();
  }
}

// Trackers store every pattern the 128-entry order table names, also after the
// song's end: the samples follow all of them. The song plays the same whether
// such a pattern is there or not.
TEST(ModFormat, PatternAfterTheSongEndIsSkipped) {
  Mod plain;
  plain.samples.push_back(SquareSample(64, true));
  plain.samples.push_back(SquareSample(200, false));
  plain.At(0, 0, 0) = {1, 428, 0, 0};
  plain.At(0, 8, 1) = {2, 214, 0, 0};
  plain.order = {0};
  Mod stored = plain;
  for (uint32_t r = 0; r < 64; r++)
    for (uint32_t v = 0; v < 4; v++) stored.At(1, r, v) = {0x1F, 0x123, 0xF, 0xFF};
  stored.order = {0, 1};
  stored.songLengthOverride = 1;
  auto mix = [](const Mod& m, uint32_t* patterns) {
    ManualDriverScope scope;
    moxSpeaker sp;
    EXPECT_EQ(sp.open(44100, 16, true, 2, 8), 0);
    const auto image = m.Build();
    moxMusic music;
    EXPECT_EQ(music.load(image.data(), uint32_t(image.size()), false), 0);
    EXPECT_EQ(music.size(), image.size());
    *patterns = music.patterns();
    EXPECT_GE(sp.playMusic(&music, MOX_ANYCHANNEL), 0);
    return Mix16(sp, 44100);
  };
  uint32_t n1 = 0, n2 = 0;
  const auto a = mix(plain, &n1), b = mix(stored, &n2);
  EXPECT_EQ(n1, 1u);
  EXPECT_EQ(n2, 2u);
  ASSERT_TRUE(std::any_of(a.begin(), a.end(), [](int16_t v) { return v != 0; }));
  EXPECT_TRUE(a == b);
}

// Runs ticks until the channel's row changes or it stops; returns the ticks taken.
int TicksOfRow(moxMusicChannel* ch) {
  const uint32_t r = ch->row(), o = ch->order();
  int n = 0;
  while (ch->playing() && ch->row() == r && ch->order() == o && n < 1000) {
    ch->advanceTick();
    n++;
  }
  return n;
}

struct Tracker : ::testing::Test {
  ManualDriverScope scope;
  moxSpeaker sp;
  moxMusic music;
  std::vector<uint8_t> image;
  moxMusicChannel* ch = nullptr;
  void Play(const Mod& m, bool loop) {
    if (!sp.isOpen()) {
      ASSERT_EQ(sp.open(44100, 16, true, 2, 8), 0);
    }
    image = m.Build();
    ASSERT_EQ(music.load(image.data(), uint32_t(image.size()), false), 0);
    music.loop(loop);
    const int id = sp.playMusic(&music, MOX_ANYCHANNEL);
    ASSERT_GE(id, 0);
    ch = static_cast<moxMusicChannel*>(sp.channel(id));
  }
};

TEST_F(Tracker, SpeedAndTempo) {
  Mod m = SimpleMod();
  m.At(0, 0, 3) = {0, 0, 0xF, 125};
  m.At(0, 1, 3) = {0, 0, 0xF, 3};
  m.At(0, 2, 3) = {0, 0, 0xF, 0};
  m.At(0, 3, 3) = {0, 0, 0xF, 150};
  Play(m, false);
  EXPECT_EQ(ch->samplesPerTick(), 882u);
  ch->advanceTick();  // row 0
  EXPECT_EQ(ch->ticksPerSecond(), 50u);
  EXPECT_EQ(ch->ticksPerRow(), 6u);
  EXPECT_EQ(TicksOfRow(ch), 6);  // row 1 (speed 3) is read on the 6th tick
  EXPECT_EQ(ch->ticksPerRow(), 3u);
  EXPECT_EQ(TicksOfRow(ch), 3);  // row 2: F00 changes nothing
  EXPECT_EQ(ch->ticksPerRow(), 3u);
  TicksOfRow(ch);                // row 3: 150 -> 60 ticks a second
  EXPECT_EQ(ch->ticksPerSecond(), 60u);
  EXPECT_EQ(ch->samplesPerTick(), 735u);
}

TEST_F(Tracker, PatternBreakJumpAndEnd) {
  Mod m = SimpleMod();
  m.At(0, 2, 0) = {0, 0, 0xD, 0x32};  // break to row 32 of the next order
  Play(m, false);
  ch->advanceTick();
  TicksOfRow(ch);  // row 1 -> 2
  TicksOfRow(ch);  // row 2 read: break
  EXPECT_EQ(ch->order(), 1u);
  EXPECT_EQ(ch->row(), 32u);
  // A module without loop stops after its last order.
  for (int i = 0; i < 32 * 6 + 6 && ch->playing(); i++) ch->advanceTick();
  EXPECT_FALSE(ch->playing());
}

TEST_F(Tracker, LoopRestartsAtRestartOrder) {
  struct Case {
    uint8_t restart;
    uint32_t expect;
  } cases[] = {{1, 1}, {127, 0}, {5, 0}};
  for (const auto& c : cases) {
    Mod m = SimpleMod();
    m.restart = c.restart;
    m.At(1, 0, 0) = {0, 0, 0xD, 0};  // order 1 ends at once
    Play(m, true);
    int guard = 0;
    while (ch->order() != 1 && guard++ < 1000) ch->advanceTick();
    TicksOfRow(ch);
    EXPECT_TRUE(ch->playing());
    EXPECT_EQ(ch->order(), c.expect) << int(c.restart);
    sp.stopMusics();
  }
}

TEST_F(Tracker, RowEffectsClampHostileValues) {
  Mod m = SimpleMod();
  m.At(0, 0, 0) = {1, 0xFFF, 0xC, 200};  // 12-bit period, volume past 64
  m.At(0, 0, 1) = {1, 14, 0x0, 0xFF};    // arpeggio past the table's end
  m.At(0, 0, 2) = {0x3F, 428, 0, 0};     // sample number 63
  m.At(0, 1, 0) = {0, 0, 0xD, 0x99};     // break to row 99
  m.At(0, 1, 3) = {0, 0, 0xE, 0xAF};     // fine volume up past 64
  Play(m, false);
  ch->advanceTick();
  EXPECT_EQ(ch->voice(0).volume, 64u);
  EXPECT_EQ(ch->voice(0).period, moxAmigaNote()[0]);
  EXPECT_EQ(ch->voice(2).instrument, 0u);
  for (int i = 0; i < 5; i++) ch->advanceTick();  // arpeggio cycles on the clamped notes
  EXPECT_EQ(ch->voice(1).arpStep[1], sp.stepTable()[moxAmigaNote()[83]]);
  TicksOfRow(ch);
  EXPECT_EQ(ch->order(), 1u);
  EXPECT_EQ(ch->row(), 0u);
}

// A note cut (ECx) silences a looped sample until the voice's next note, however
// often the channel's or the master volume is set in between.
TEST_F(Tracker, NoteCutHoldsThroughVolumeChanges) {
  Mod m;
  m.samples.push_back(SquareSample(64, true));
  m.At(0, 0, 0) = {1, 428, 0, 0};
  m.At(0, 1, 0) = {0, 0, 0xE, 0xC2};  // cut on the row's third tick
  m.At(0, 4, 0) = {1, 428, 0, 0};     // the next note
  m.order = {0};
  Play(m, true);
  auto peak = [](const std::vector<int16_t>& s) {
    int peak = 0;
    for (int16_t v : s) peak = std::max(peak, std::abs(int(v)));
    return peak;
  };
  const uint32_t tick = 882, row = 6 * tick;
  EXPECT_GT(peak(Mix16(sp, row + 2 * tick)), 1000);  // up to the cut
  EXPECT_EQ(peak(Mix16(sp, 100)), 0);
  for (unsigned v : {64u, 20u, 64u}) {
    ch->volume(v);
    sp.volumeMusics(v);
    EXPECT_EQ(peak(Mix16(sp, tick)), 0) << v;
  }
  EXPECT_EQ(peak(Mix16(sp, 4 * row - (row + 5 * tick + 100))), 0);
  EXPECT_GT(peak(Mix16(sp, row)), 1000);  // the next note sounds
}

// A cut sets the voice's volume to 0: what adjusts the volume afterwards starts
// from there, and a note without a sample number stays silent.
TEST_F(Tracker, CutVolumeIsZeroForLaterSlides) {
  struct Case {
    const char* what;
    ModNote next;
    uint32_t volume;
  } cases[] = {
      {"A20: up 2 on 5 ticks", {0, 0, 0xA, 0x20}, 10},
      {"A01: down", {0, 0, 0xA, 0x01}, 0},
      {"520: tone porta and up", {0, 0, 0x5, 0x20}, 10},
      {"620: vibrato and up", {0, 0, 0x6, 0x20}, 10},
      {"EA3: fine up", {0, 0, 0xE, 0xA3}, 3},
      {"EB1: fine down", {0, 0, 0xE, 0xB1}, 0},
      {"a note without a sample number", {0, 214, 0, 0}, 0},
      {"a note with its sample", {1, 214, 0, 0}, 64},
  };
  for (const auto& c : cases) {
    Mod m;
    m.samples.push_back(SquareSample(64, true));
    m.At(0, 0, 0) = {1, 428, 0xE, 0xC1};  // cut on the second tick
    m.At(0, 1, 0) = c.next;
    m.order = {0};
    Play(m, false);
    ch->advanceTick();  // row 0
    TicksOfRow(ch);     // row 1
    TicksOfRow(ch);     // its ticks, then row 2 (nothing on it)
    EXPECT_EQ(ch->voice(0).volume, c.volume) << c.what;
    EXPECT_EQ(ch->voice(0).effVolume, c.volume) << c.what;
    sp.stopMusics();
  }
}

// Per-row settings read voice by voice: the last pattern delay of a row wins.
TEST_F(Tracker, LastPatternDelayOfARowWins) {
  struct Case {
    uint32_t first, second;  // EEx parameters on voices 0 and 2, 0x100: none
    uint32_t delay;
  } cases[] = {
      {0xE2, 0xE4, 4}, {0xE4, 0xE2, 2}, {0xE4, 0xE0, 0}, {0x100, 0xE3, 3}, {0xE3, 0x100, 3}};
  for (const auto& c : cases) {
    Mod m = SimpleMod();
    if (c.first != 0x100) m.At(0, 0, 0) = {1, 428, 0xE, c.first};
    if (c.second != 0x100) m.At(0, 0, 2) = {0, 0, 0xE, c.second};
    Play(m, false);
    ch->advanceTick();  // row 0
    EXPECT_EQ(TicksOfRow(ch), int(6 + 6 * c.delay)) << std::hex << c.first << " " << c.second;
    sp.stopMusics();
  }
}

// Without looping a backward jump ends the song, and a break in the same row
// (before or after it) only chooses a row: the song still ends.
TEST_F(Tracker, BackwardJumpWithBreakEnds) {
  struct Case {
    const char* what;
    ModNote v0, v1;
    int32_t nextOrder, nextRow;  // -1: the song ends after the row
  } cases[] = {
      {"B00 then D10", {0, 0, 0xB, 0x00}, {0, 0, 0xD, 0x10}, -1, 0},
      {"D10 then B00", {0, 0, 0xD, 0x10}, {0, 0, 0xB, 0x00}, -1, 0},
      {"B01 (itself) then D10", {0, 0, 0xB, 0x01}, {0, 0, 0xD, 0x10}, -1, 0},
      {"B02 (forward) then D10", {0, 0, 0xB, 0x02}, {0, 0, 0xD, 0x10}, 2, 10},
      {"D10 alone", {0, 0, 0xD, 0x10}, {}, 2, 10},
  };
  for (const auto& c : cases) {
    Mod m = SimpleMod();
    m.At(2, 0, 0) = {1, 428, 0, 0};
    m.At(1, 3, 0) = c.v0;
    m.At(1, 3, 1) = c.v1;
    m.order = {0, 1, 2};
    Play(m, false);
    // Nothing read yet: not the place where the last module stopped.
    EXPECT_EQ(ch->playingOrder(), 0u);
    EXPECT_EQ(ch->playingRow(), 0u);
    int guard = 0;
    while (ch->playing() && !(ch->playingOrder() == 1 && ch->playingRow() == 3) && guard++ < 10000)
      ch->advanceTick();
    ASSERT_TRUE(ch->playing()) << c.what;
    for (int t = 0; t < 6; t++) ch->advanceTick();  // the row's ticks, then the next row
    if (c.nextOrder < 0) {
      EXPECT_FALSE(ch->playing()) << c.what << ": at order " << ch->playingOrder() << " row "
                                  << ch->playingRow();
    } else {
      ASSERT_TRUE(ch->playing()) << c.what;
      EXPECT_EQ(ch->playingOrder(), uint32_t(c.nextOrder)) << c.what;
      EXPECT_EQ(ch->playingRow(), uint32_t(c.nextRow)) << c.what;
    }
    sp.stopMusics();
  }
}

TEST(ModTiming, LowFrequencyDoesNotDivideByZero) {
  ManualDriverScope scope;
  moxSpeaker sp;
  ASSERT_EQ(sp.open(44100, 16, true, 2, 8), 0);
  auto image = SimpleMod().Build();
  moxMusic music;
  ASSERT_EQ(music.load(image.data(), uint32_t(image.size()), false), 0);
  music.frequency(100);
  const int id = sp.playMusic(&music, MOX_ANYCHANNEL);
  ASSERT_GE(id, 0);
  Mix16(sp, 2000);
  auto* ch = static_cast<moxMusicChannel*>(sp.channel(id));
  EXPECT_GT(ch->samplesPerTick(), 882u);
  // And 48000 Hz output: rate x 65536 passes 32 bits.
  sp.close();
  ASSERT_EQ(sp.open(48000, 16, true, 2, 8), 0);
  music.frequency(44100);
  const int id2 = sp.playMusic(&music, MOX_ANYCHANNEL);
  EXPECT_EQ(static_cast<moxMusicChannel*>(sp.channel(id2))->samplesPerTick(), 960u);
}

}  // namespace
