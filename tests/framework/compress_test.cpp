// LZW codec and zlib one-call functions, checked against Python's zlib and an
// independent Python LZW coder.
#include <gtest/gtest.h>

#include <cstring>

#include "framework/emod_czlib.h"
#include "framework/emod_memory.h"
#include "tests/framework/file_test_util.h"

using ft::Bytes;

namespace {

bool Lzw(const Bytes& in, Bytes& out) {
  out.assign(in.size() < 14 ? 18 : in.size() + in.size() / 100 + 12, 0);
  ClassEMemory m;
  uint32_t size = 0;
  if (!m.Compress(out.data(), size, in.data(), static_cast<uint32_t>(in.size()))) return false;
  out.resize(size);
  return true;
}

bool UnLzw(const Bytes& stream, Bytes& out, uint32_t capacity) {
  out.assign(capacity, 0xCD);
  ClassEMemory m;
  uint32_t size = capacity;
  if (!m.UnCompress(out.data(), size, stream.data(), static_cast<uint32_t>(stream.size())))
    return false;
  out.resize(size);
  return true;
}

Bytes Runs(size_t n) {
  Bytes b;
  for (size_t i = 0; b.size() < n; i++) b.insert(b.end(), 1 + i % 300, static_cast<uint8_t>('a' + i % 7));
  b.resize(n);
  return b;
}

}  // namespace

TEST(Lzw, RoundTripsAndMatchesTheIndependentCoder) {
  struct Case {
    const char* what;
    Bytes data;
  } cases[] = {
      {"one byte", ft::Text("x")},
      {"1000 equal bytes", Bytes(1000, 'A')},
      {"prose", ft::Prose(20000, 1)},
      {"runs", Runs(30000)},
      {"random tail", [] { Bytes b = ft::Prose(6000, 2); Bytes r = ft::Random(300, 3); b.insert(b.end(), r.begin(), r.end()); return b; }()},
      // Far more than 3,745 codes: the dictionaries reset many times.
      {"long prose", ft::Prose(150000, 4)},
  };
  const bool py = ft::HavePython();
  const std::string dir = zt::TempDir("lzw_oracle");
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes z, back;
    ASSERT_TRUE(Lzw(c.data, z));
    EXPECT_EQ(ft::Get32(z, 8), z.size());
    EXPECT_EQ(ft::Get32(z, 12), c.data.size());
    ASSERT_TRUE(UnLzw(z, back, static_cast<uint32_t>(c.data.size())));
    EXPECT_TRUE(back == c.data);
    if (!py) continue;
    zt::WriteFile(dir + "/in", c.data);
    ASSERT_EQ(ft::Py("lzw-c '" + dir + "/in' '" + dir + "/py.lzw'"), 0);
    EXPECT_TRUE(zt::ReadFile(dir + "/py.lzw") == z) << "stream differs from the Python coder";
  }
  // The long input really did reset: far more codes than one dictionary holds.
  Bytes z;
  ASSERT_TRUE(Lzw(cases[5].data, z));
  EXPECT_GT((z.size() - 16) * 8 / 12, 3745u * 3);
}

TEST(Lzw, SizesAtTheEdges) {
  Bytes z;
  ASSERT_TRUE(Lzw(ft::Text("x"), z));
  EXPECT_EQ(z.size(), 18u);  // header and one 9-bit code
  for (size_t n = 2; n <= 23; n++) {
    Bytes in = ft::Random(n, static_cast<uint32_t>(n));
    EXPECT_FALSE(Lzw(in, z)) << n;
  }
  EXPECT_FALSE(Lzw(ft::Random(5000, 9), z));  // random data does not pay
  // A bare 16-byte header of size 0 decodes to nothing.
  Bytes empty(16, 0);
  ft::Put32(empty, 8, 16);
  Bytes out;
  EXPECT_TRUE(UnLzw(empty, out, 0));
  EXPECT_TRUE(out.empty());
}

TEST(Lzw, WidthGrowsAfterTheCodeThatMakesEntry257) {
  // Distinct pairs first: every code is one byte and adds one entry, so code k
  // (from 1) leaves k entries. Codes 1 to 257 are 9 bits, code 258 is 10 bits.
  Bytes in;
  for (int a = 0; a < 40; a++)
    for (int b = 0; b < 40; b++) {
      in.push_back(static_cast<uint8_t>(a));
      in.push_back(static_cast<uint8_t>(100 + b));
    }
  in.insert(in.end(), 30000, 'z');  // so that the whole pays
  Bytes z;
  ASSERT_TRUE(Lzw(in, z));
  uint32_t bitPos = 16 * 8;
  auto take = [&](uint32_t width) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < width; i++, bitPos++) v = (v << 1) | ((z[bitPos / 8] >> (7 - bitPos % 8)) & 1);
    return v;
  };
  for (int k = 0; k < 257; k++) ASSERT_EQ(take(9), in[static_cast<size_t>(k)]) << k;
  for (int k = 257; k < 262; k++) ASSERT_EQ(take(10), in[static_cast<size_t>(k)]) << k;
  Bytes back;
  ASSERT_TRUE(UnLzw(z, back, static_cast<uint32_t>(in.size())));
  EXPECT_TRUE(back == in);
}

TEST(Lzw, CorruptStreamsFailWithoutOverrun) {
  const Bytes data = ft::Prose(5000, 7);
  Bytes z, out;
  ASSERT_TRUE(Lzw(data, z));
  // Header claims more than the caller's capacity.
  EXPECT_FALSE(UnLzw(z, out, static_cast<uint32_t>(data.size() - 1)));
  // Truncated stream: decodes short of the header's size.
  Bytes cut(z.begin(), z.begin() + static_cast<long>(z.size() / 2));
  EXPECT_FALSE(UnLzw(cut, out, static_cast<uint32_t>(data.size())));
  // Header size smaller than the data: the decoder must stop at the capacity.
  Bytes small = z;
  ft::Put32(small, 12, 100);
  EXPECT_FALSE(UnLzw(small, out, 100));
  // Shorter than a header.
  Bytes stub(z.begin(), z.begin() + 10);
  EXPECT_FALSE(UnLzw(stub, out, 5000));
  // A first code above 255, and codes far beyond the dictionary.
  Bytes bad(16 + 64, 0xFF);
  ft::Put32(bad, 8, static_cast<uint32_t>(bad.size()));
  ft::Put32(bad, 12, 1000);
  EXPECT_FALSE(UnLzw(bad, out, 1000));
  // Mutated valid streams: either a failure or exactly the header's length,
  // never a write past the block (ASan).
  std::mt19937 g(77);
  for (int round = 0; round < 300; round++) {
    Bytes m = z;
    for (int e = 0; e < 1 + round % 3; e++) m[16 + g() % (m.size() - 16)] ^= static_cast<uint8_t>(1u << (g() % 8));
    Bytes got;
    if (UnLzw(m, got, static_cast<uint32_t>(data.size()))) {
      EXPECT_EQ(got.size(), data.size());
    }
  }
  // Random garbage after a valid header never writes past the block (ASan).
  for (uint32_t seed = 0; seed < 300; seed++) {
    Bytes g = ft::Random(16 + seed % 200, seed);
    ft::Put32(g, 12, seed * 37 % 4000);
    out.assign(ft::Get32(g, 12), 0);
    ClassEMemory m;
    uint32_t size = ft::Get32(g, 12);
    m.UnCompress(out.data(), size, g.data(), static_cast<uint32_t>(g.size()));
  }
}

TEST(Lzw, DictionaryHelpers) {
  ClassEMemory m;
  // Without a codec call there are no tables: only bytes resolve.
  const uint8_t s[] = "abc";
  EXPECT_EQ(m.FindString(s, s, 1), uint32_t('a') + 1);
  EXPECT_EQ(m.FindString(s, s, 0), 0u);
  uint8_t out[4];
  uint32_t len = 9;
  m.GetString(s, out, len, 'q');
  EXPECT_EQ(len, 1u);
  EXPECT_EQ(out[0], 'q');
  m.GetString(s, out, len, 300);
  EXPECT_EQ(len, 0u);
}

TEST(ZLib, CompressMatchesPythonAndRoundTrips) {
  if (!ft::HavePython()) GTEST_SKIP() << "python3 missing";
  const std::string dir = zt::TempDir("zlib_oracle");
  const Bytes corpus[] = {ft::Text("hello"), Bytes(100000, 0), ft::Prose(50000, 5), ft::Random(20000, 6),
                          Runs(70000), Bytes()};
  int i = 0;
  for (const Bytes& in : corpus) {
    SCOPED_TRACE(i);
    const std::string base = dir + "/" + std::to_string(i++);
    zt::WriteFile(base, in);
    ASSERT_EQ(zt::Run("python3 -c \"import zlib,sys; d=open(sys.argv[1],'rb').read(); "
                      "open(sys.argv[1]+'.z','wb').write(zlib.compress(d))\" '" + base + "'"),
              0);
    const Bytes want = zt::ReadFile(base + ".z");
    Bytes out(in.size() + in.size() / 100 + 64);
    uint32_t size = static_cast<uint32_t>(out.size());
    ASSERT_TRUE(ClassEMemory::CompressZLib(out.data(), size, in.data(), static_cast<uint32_t>(in.size())));
    out.resize(size);
    EXPECT_TRUE(out == want);
    Bytes back(in.size() + 1);
    uint32_t got = static_cast<uint32_t>(in.size());
    ASSERT_TRUE(ClassEMemory::UnCompressZLib(back.data(), got, want.data(), static_cast<uint32_t>(want.size())));
    EXPECT_EQ(got, in.size());
    EXPECT_TRUE(std::equal(in.begin(), in.end(), back.begin()));
  }
}

TEST(ZLib, FailuresReportZero) {
  const Bytes in = ft::Prose(10000, 8);
  Bytes z(in.size() + 200);
  uint32_t size = static_cast<uint32_t>(z.size());
  ASSERT_TRUE(ClassEMemory::CompressZLib(z.data(), size, in.data(), static_cast<uint32_t>(in.size())));
  z.resize(size);
  Bytes out(in.size());
  uint32_t cap = static_cast<uint32_t>(in.size() - 1);  // one byte too small
  EXPECT_FALSE(ClassEMemory::UnCompressZLib(out.data(), cap, z.data(), static_cast<uint32_t>(z.size())));
  Bytes broken = z;
  broken[size / 2] ^= 0x55;
  cap = static_cast<uint32_t>(in.size());
  EXPECT_FALSE(ClassEMemory::UnCompressZLib(out.data(), cap, broken.data(), static_cast<uint32_t>(broken.size())));
  cap = static_cast<uint32_t>(in.size());
  EXPECT_FALSE(ClassEMemory::UnCompressZLib(out.data(), cap, z.data(), size / 2));  // truncated
  Bytes tiny(4);
  uint32_t small = 4;
  EXPECT_FALSE(ClassEMemory::CompressZLib(tiny.data(), small, in.data(), static_cast<uint32_t>(in.size())));
}

TEST(ZLib, WrapperObject) {
  const Bytes in = ft::Prose(4000, 21);
  Bytes z(5000), back(4000);
  uint32_t zl = 5000, bl = 4000;
  ASSERT_EQ(CZLib::Compress(z.data(), zl, in.data(), 4000), 0);
  ASSERT_EQ(CZLib::Uncompress(back.data(), bl, z.data(), zl), 0);
  EXPECT_EQ(bl, 4000u);
  EXPECT_TRUE(back == in);
  bl = 100;
  EXPECT_EQ(CZLib::Uncompress(back.data(), bl, z.data(), zl), -5);  // buffer error
  const uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(CZLib::Crc32(0, abc, 3), 0x352441C2u);
  EXPECT_EQ(CZLib::Adler32(1, abc, 3), 0x024D0127u);
  // Streaming through the object in two output steps.
  CZLib s;
  ASSERT_EQ(s.InflateInit(), 0);
  s.SetupInput(z.data(), zl);
  s.SetupOutput(back.data(), 1000);
  EXPECT_EQ(s.Inflate(0), 0);
  EXPECT_EQ(s.TotalOutput(), 1000u);
  s.SetupOutput(back.data() + 1000, 3000);
  EXPECT_EQ(s.Inflate(4), 1);  // stream end
  EXPECT_EQ(s.InflateEnd(), 0);
  EXPECT_TRUE(back == in);
}
