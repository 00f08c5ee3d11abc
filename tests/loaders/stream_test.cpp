// The loaders' memory stream (bounds, byte order, seeks) and the owner of their work blocks.
#include <gtest/gtest.h>

#include "loaders/eldr_base.h"

namespace {

struct Stream : ClassELoaderBase {};

TEST(LoaderStream, ReadsStopAtTheEnd) {
  Stream s;
  uint8_t b = 0x77;
  uint16_t h = 0x7777;
  uint32_t w = 0x77777777;
  uint8_t buf[8] = {};
  s.LinkData(buf, 0);
  EXPECT_EQ(s.Read8(&b), 0);
  EXPECT_EQ(s.Read16(&h), 0);
  EXPECT_EQ(s.Read32(&w), 0);
  EXPECT_EQ(s.ReadStream(buf, 4), 0);
  EXPECT_FALSE(s.HaveData());
  EXPECT_EQ(b, 0x77);

  uint8_t data[7] = {1, 2, 3, 4, 5, 6, 7};
  s.LinkData(data, 7);
  ASSERT_EQ(s.Read32(&w), 1);
  EXPECT_EQ(w, 0x04030201u);
  s.SetByteOrder(true);
  ASSERT_EQ(s.Read16(&h), 1);
  EXPECT_EQ(h, 0x0506);
  EXPECT_EQ(s.Read16(&h), 0);  // one byte left
  EXPECT_EQ(s.Tell(), 6u);
  EXPECT_EQ(s.Read32(&w), 0);
  EXPECT_EQ(w, 0x04030201u);  // a failed read leaves the destination
  uint8_t out[4] = {9, 9, 9, 9};
  EXPECT_EQ(s.ReadStream(out, 4), 1);  // short copy of what is left
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(out[1], 9);
  EXPECT_FALSE(s.HaveData());
}

TEST(LoaderStream, SeeksStayInsideTheImage) {
  Stream s;
  uint8_t data[16] = {};
  uint32_t w;
  s.LinkData(data, 16);
  s.SeekSet(12);
  EXPECT_EQ(s.Read32(&w), 1);
  // Far seeks (which would make position + 3 wrap in 32 bits) park at the end.
  for (uint32_t p : {17u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
    s.SeekSet(p);
    EXPECT_EQ(s.Tell(), 16u);
    EXPECT_EQ(s.Read32(&w), 0);
    EXPECT_FALSE(s.HaveData());
  }
  s.SeekSet(4);
  s.SeekRelative(-2);
  EXPECT_EQ(s.Tell(), 2u);
  s.SeekRelative(-3);  // before the start
  EXPECT_EQ(s.Tell(), 16u);
  s.SeekSet(8);
  s.SeekRelative(0x7FFFFFFF);
  EXPECT_EQ(s.Tell(), 16u);
}

// The sanitizer build proves that every block is freed with the owner, including
// those left behind by an early return.
TEST(LoaderWork, OwnsItsBlocksUntilItGoes) {
  ELoaderWork work;
  uint8_t* blocks[ELoaderWork::kSlots];
  for (auto& b : blocks) {
    b = work.Take(64);
    ASSERT_NE(b, nullptr);
    b[63] = 1;  // writable to the end
  }
  EXPECT_EQ(work.Take(8), nullptr);  // every slot in use
  work.Free(blocks[1]);
  uint8_t* again = work.Take(16);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(work.Take(0), nullptr);  // nothing to take; uses no slot
  uint8_t stranger = 0;
  work.Free(&stranger);  // not ours: ignored
  work.Free(nullptr);
  work.Free(blocks[0]);
  EXPECT_NE(work.Take(32), nullptr);
}

}  // namespace
