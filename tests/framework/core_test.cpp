// Timers, math, memory blocks and device information.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "framework/emod_device.h"
#include "framework/emod_math.h"
#include "framework/emod_memory.h"
#include "framework/emod_vtimer.h"
#include "tests/support/harness.h"

namespace {

TEST(VTimer, SlowMotionCarriesThousandths) {
  ClassEVTimer t;
  t.Reset(1000);
  t.SetSpeed(400);
  std::vector<uint32_t> deltas;
  for (uint32_t i = 1; i <= 5; i++) {
    t.Update(1000 + 7 * i);
    deltas.push_back(t.RetrieveDelta());
  }
  EXPECT_EQ(deltas, (std::vector<uint32_t>{2, 3, 3, 3, 3}));
  EXPECT_EQ(t.RetrieveTime(), 14u);
}

TEST(VTimer, SuspendedTimeNeverCounts) {
  ClassEVTimer t;
  t.Reset(0);
  t.Update(100);
  t.Suspend();
  t.Update(2000);
  EXPECT_EQ(t.RetrieveDelta(), 0u);
  t.Resume(5100);
  t.Update(5116);
  EXPECT_EQ(t.RetrieveDelta(), 16u);
  EXPECT_EQ(t.RetrieveTime(), 116u);
  // Increase advances without reading the clock.
  t.Increase(10);
  EXPECT_EQ(t.RetrieveDelta(), 10u);
}

TEST(VTimer, ClockWrapKeepsDifferences) {
  ClassEVTimer t;
  t.Reset(0xFFFFFFF0u);
  t.Update(0x10u);
  EXPECT_EQ(t.RetrieveDelta(), 0x20u);
  EXPECT_EQ(ClassERTimer::Delta(5, 0xFFFFFFFBu), 10u);
}

TEST(RTimer, CountIsMonotonicFakeClock) {
  zt::Devices dev;
  const uint32_t a = ClassERTimer::Count();
  standin::SleepUs(16000);
  EXPECT_EQ(ClassERTimer::Count() - a, 16u);
}

TEST(Math, SineTable) {
  ClassEMath m;
  EXPECT_EQ(m.Sin(1024), 0);  // no table before Init
  m.Init();
  const struct {
    uint32_t angle;
    int32_t sin;
  } cases[] = {{0, 0},       {1, 100},         {512, 46322},  {1023, 65536}, {1024, 65536},
               {2048, 0},    {3072, -65536},   {4097, 100},   {0xFFFFF000u + 1024, 65536}};
  for (const auto& c : cases) EXPECT_EQ(m.Sin(c.angle), c.sin) << c.angle;
  EXPECT_EQ(m.Cos(0), 65536);
  EXPECT_EQ(m.Cos(1024), 0);
  // The stored quarter wave stays within 20 of the exact value.
  for (uint32_t i = 0; i < 1024; i++) {
    const double exact = std::sin(i * 3.14159265358979323846 / 2048.0) * 65536.0;
    ASSERT_LE(std::fabs(emathtable[i] - exact), 20.0) << i;
  }
}

TEST(Math, IntSqrtAndFixed) {
  EXPECT_EQ(ClassEMath::IntSqrt(24), 4);
  EXPECT_EQ(ClassEMath::IntSqrt(25), 5);
  EXPECT_EQ(ClassEMath::IntSqrt(-7), 0);
  EXPECT_EQ(ClassEMath::IntSqrt(0), 0);
  EXPECT_EQ(ClassEMath::IntSqrt(1 << 30), 32768);
  for (int32_t a : {1, 2, 3, 99, 10000, 123456789, 1073741823})
    EXPECT_EQ(ClassEMath::IntSqrt(a), static_cast<int32_t>(std::floor(std::sqrt(double(a))))) << a;
  EXPECT_EQ(ClassEMath::IntSqrt(0x7FFFFFFF), 65535);  // the square overflows
  const struct {
    uint32_t bits;
    int fraction;
    int32_t fixed;
  } f[] = {{0x3F800000u, 16, 65536},  {0xC0200000u, 8, -640},          {0x7F800000u, 4, 0x7FFFFFFF},
           {0xFF800000u, 4, -0x7FFFFFFF}, {0x7FC00000u, 4, 0},        {0x3F800000u, 60, 0x7FFFFFFF},
           {0x00000000u, 16, 0},      {0x3F000000u, 0, 0},             {0x42F60000u, 0, 123}};
  for (const auto& c : f) EXPECT_EQ(ClassEMath::FloatToFixed(c.bits, c.fraction), c.fixed) << std::hex << c.bits;
  EXPECT_EQ(ClassEMath::Abs(-5), 5u);
  EXPECT_EQ(ClassEMath::Abs(INT32_MIN), 0x80000000u);
}

TEST(Math, RandomGenerator) {
  ClassEMath m;
  m.SetRandSeed(1);
  // Computed independently from the generator's definition.
  EXPECT_EQ(m.Rand(), 0x9b70e99eu);
  EXPECT_EQ(m.Rand(), 0x2633ef97u);
  EXPECT_EQ(m.Rand(), 0x35db616fu);
  const uint32_t seed = m.GetRandSeed();
  EXPECT_EQ(m.Rand(5, 5), 5u);
  EXPECT_EQ(m.Rand(9, 3), 9u);
  EXPECT_EQ(m.GetRandSeed(), seed);  // bounds that leave no choice draw nothing
  for (int i = 0; i < 100; i++) {
    uint32_t r = m.Rand(10, 12);
    EXPECT_GE(r, 10u);
    EXPECT_LE(r, 12u);
  }
  // The full 32-bit range has no divisor; it must not trap.
  m.SetRandSeed(1);
  EXPECT_EQ(m.Rand(0, 0xFFFFFFFFu), 0x9b70e99eu);
}

TEST(Memory, StaticBlocks) {
  EXPECT_EQ(ClassEMemory::Alloc(0), nullptr);
  ClassEMemory::DeAlloc(nullptr);
  uint8_t buf[16] = {1, 2, 3, 4, 5, 6, 7, 8};
  ClassEMemory::Copy(buf + 1, buf, 7, true);
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 8), (std::vector<uint8_t>{1, 1, 2, 3, 4, 5, 6, 7}));
  uint8_t a = 0x80, b = 0x7F;
  EXPECT_EQ(ClassEMemory::Compare(&a, &b, 1), 1);
  EXPECT_EQ(ClassEMemory::Compare(&a, &b, 0), 0);
  // Fills from every alignment write the same byte sequence.
  for (int off = 0; off < 4; off++) {
    uint8_t fill[32];
    std::memset(fill, 0xEE, sizeof fill);
    ClassEMemory::Set16(fill + off, 0x1234, 5);
    for (int i = 0; i < 10; i++) EXPECT_EQ(fill[off + i], i % 2 ? 0x12 : 0x34);
    EXPECT_EQ(fill[off + 10], 0xEE);
    std::memset(fill, 0xEE, sizeof fill);
    ClassEMemory::Set32(fill + off, 0xA1B2C3D4u, 3);
    const uint8_t want[4] = {0xD4, 0xC3, 0xB2, 0xA1};
    for (int i = 0; i < 12; i++) EXPECT_EQ(fill[off + i], want[i % 4]);
    EXPECT_EQ(fill[off + 12], 0xEE);
    ClassEMemory::Set24(fill + off, 0x010203, 2);
    EXPECT_EQ(fill[off + 3], 0x03);
    EXPECT_EQ(fill[off + 5], 0x01);
  }
}

TEST(Memory, TrackedBlocks) {
  ClassEMemory m;
  EXPECT_EQ(m.InUse(), 0u);
  EXPECT_EQ(m.AllocList(0), nullptr);
  void* first = m.AllocList(100);
  EXPECT_EQ(m.InUse(), 256u * 8 + 104);
  std::vector<void*> blocks{first};
  for (int i = 1; i < 257; i++) blocks.push_back(m.AllocList(8));
  EXPECT_EQ(m.InUse(), 512u * 8 + 104 + 256 * 12);
  m.DeAllocList(blocks[3]);
  void* again = m.AllocList(8);
  uint32_t slot;
  std::memcpy(&slot, static_cast<uint8_t*>(again) - 4, 4);
  EXPECT_EQ(slot, 3u);
  blocks[3] = again;
  for (void* p : blocks) m.DeAllocList(p);
  EXPECT_EQ(m.InUse(), 512u * 8);
}

TEST(Device, BatteryTable) {
  const struct {
    uint16_t reading;
    uint8_t level, status;
  } cases[] = {{0, 0, 4}, {599, 0, 4}, {600, 0, 4}, {899, 254, 4}, {900, 255, 5}, {65535, 255, 5}};
  for (const auto& c : cases) {
    standin::Config cfg = zt::HeadlessConfig();
    cfg.battery = c.reading;
    zt::Devices dev(cfg);
    uint8_t level = 1, status = 1;
    ClassEDevice::GetBatteryInfo(level, status);
    EXPECT_EQ(level, c.level) << c.reading;
    EXPECT_EQ(status, c.status) << c.reading;
    EXPECT_EQ(ClassEDevice::GetBatteryLevel(), c.level);
  }
  zt::Devices none;  // no battery device reads as 0
  EXPECT_EQ(ClassEDevice::GetBatteryStatus(), 4);
}

// "+0100" and the like, as `date +%z` prints an offset, in seconds.
int32_t ZoneSeconds(const std::string& z) {
  if (z.size() < 5) return -1;
  const int32_t s = std::stoi(z.substr(1, 2)) * 3600 + std::stoi(z.substr(3, 2)) * 60;
  return z[0] == '-' ? -s : s;
}

// The offset in effect at the instant converted, from the system's zone rules:
// winter and summer differ where the zone has daylight saving, and `date` agrees.
TEST(Device, LocalTimeOffsetIsTheOneInEffectAtTheInstant) {
  zt::Devices dev;  // the system's zone, not an injected one
  const bool haveDate = zt::HaveTool("date");
  const struct {
    const char* zone;
    uint32_t instant;
    int32_t want;
  } cases[] = {
      {"Europe/Berlin", 1705000000, 3600},       // 2024-01-11
      {"Europe/Berlin", 1720000000, 7200},       // 2024-07-03
      {"America/New_York", 1705000000, -18000},  // west of Greenwich: negative
      {"America/New_York", 1720000000, -14400},
      {"America/New_York", 0, -18000},           // the previous local day
      {"UTC", 1705000000, 0},
      {"UTC", 1720000000, 0},
  };
  for (const auto& c : cases) {
    zt::ScopedZone zone(c.zone);
    EXPECT_EQ(ClassEDevice::LocalTimeOffset(c.instant), c.want) << c.zone << " " << c.instant;
    if (haveDate) {
      const std::string z = zt::Capture(std::string("TZ=") + c.zone + " date -d @" +
                                        std::to_string(c.instant) + " +%z");
      EXPECT_EQ(ClassEDevice::LocalTimeOffset(c.instant), ZoneSeconds(z)) << c.zone << " " << z;
    }
  }
}

TEST(Device, NamesPathAndTime) {
  ClassEDevice d;
  char text[64];
  d.GetModelName(text);
  EXPECT_STREQ(text, "GP2X F-100");
  d.GetOSName(text);
  EXPECT_STREQ(text, "Linux");
  d.GetOwnerName(text);
  EXPECT_STREQ(text, "");

  uint16_t path[512];
  GetPath(path);
  char cwd[512];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  std::string got;
  for (uint16_t* p = path; *p; p++) got.push_back(static_cast<char>(*p));
  EXPECT_EQ(got, std::string(cwd) + "/");
  uint16_t tiny[4];
  GetPath(tiny, 4);  // never more than the field holds
  EXPECT_EQ(tiny[2], '/');
  EXPECT_EQ(tiny[3], 0);

  // An injected zone is a fixed offset at every instant.
  for (int32_t offset : {0, -5 * 3600, 3600, -8 * 3600 - 1800}) {
    standin::Config cfg = zt::HeadlessConfig();
    cfg.injectZone = true;
    cfg.zoneOffset = offset;
    cfg.wallTime = 951782399;  // 2000-02-28 23:59:59 UTC
    zt::Devices dev(cfg);
    EXPECT_EQ(ClassEDevice::LocalTimeOffset(0), offset);
    EXPECT_EQ(ClassEDevice::LocalTimeOffset(1720000000), offset);
    EXPECT_EQ(ClassEDevice::TimestampNow(false), 951782399u);
    EXPECT_EQ(ClassEDevice::TimestampNow(true), static_cast<uint32_t>(951782399 + offset));
  }
  standin::Config cfg = zt::HeadlessConfig();
  cfg.wallTime = 951782399;
  zt::Devices dev(cfg);
  uint32_t year = 0;
  uint8_t month = 0, day = 0, h = 0, mi = 0, s = 0;
  ClassEDevice::CurrentDate(year, month, day, false);
  ClassEDevice::CurrentTime(h, mi, s, false);
  EXPECT_EQ(year, 2000u);
  EXPECT_EQ(month, 2);
  EXPECT_EQ(day, 28);
  EXPECT_EQ(h, 23);
  EXPECT_EQ(s, 59);
}

TEST(Device, MappingFailsAllOrNothing) {
  standin::Config cfg = zt::HeadlessConfig();
  cfg.failMem = true;
  zt::Devices dev(cfg);
  EXPECT_FALSE(dev.ok());
  EXPECT_EQ(edevicereg_ptr, nullptr);
  EXPECT_EQ(edeviceptr[0], 0);
  EXPECT_EQ(edeviceptr[1], 0);
}

}  // namespace
