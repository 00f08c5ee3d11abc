// The GIF loader against Pillow on a corpus made at test time by ImageMagick,
// gifsicle, giflib's gifbuild and Pillow; hand-made files from a small LZW
// encoder for the table limits; and a bounded mutation run.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "loaders/eldr_gif.h"
#include "tests/loaders/ldr_fake.h"

namespace {

using Bytes = std::vector<uint8_t>;

int Decode(ldr::FakeImage& f, Bytes file) {
  ELoader_GIF l;
  return l.Decode(&f, file.data(), static_cast<uint32_t>(file.size()), 1, 0);
}

// --- A GIF writer for hand-made files ---

// LZW as GIF encoders write it; with deferClear the table stays full and codes
// stay 12 bits wide instead of a clear code being sent.
Bytes Lzw(const Bytes& px, int minsize, bool deferClear = false) {
  const uint32_t clear = 1u << minsize, end = clear + 1;
  uint32_t size = minsize + 1, limit = 1u << size, next = clear + 2;
  std::map<std::pair<uint32_t, uint8_t>, uint32_t> dict;
  Bytes out;
  uint32_t acc = 0, nacc = 0;
  auto emit = [&](uint32_t code) {
    acc |= code << nacc;
    nacc += size;
    while (nacc >= 8) {
      out.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      nacc -= 8;
    }
    if (next >= limit && size < 12) {
      size++;
      limit <<= 1;
    }
  };
  emit(clear);
  if (px.empty()) {
    emit(end);
  } else {
    uint32_t prefix = px[0];
    for (size_t i = 1; i < px.size(); i++) {
      auto it = dict.find({prefix, px[i]});
      if (it != dict.end()) {
        prefix = it->second;
        continue;
      }
      emit(prefix);
      if (next < 4096) {
        dict[{prefix, px[i]}] = next++;
      } else if (!deferClear) {
        emit(clear);
        dict.clear();
        size = minsize + 1;
        limit = 1u << size;
        next = clear + 2;
      }
      prefix = px[i];
    }
    emit(prefix);
    emit(end);
  }
  if (nacc) out.push_back(static_cast<uint8_t>(acc));
  return out;
}

Bytes SubBlocks(const Bytes& data) {
  Bytes out;
  for (size_t at = 0; at < data.size(); at += 255) {
    const size_t n = std::min<size_t>(255, data.size() - at);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), data.begin() + at, data.begin() + at + n);
  }
  out.push_back(0);
  return out;
}

struct GifLayout {
  uint16_t sw = 8, sh = 8;
  int globalbits = 2;  // table of 2^bits entries; 0 none
  Bytes extensions;    // raw blocks before the image descriptor
  uint16_t left = 0, top = 0, iw = 8, ih = 8;
  int localbits = 0;
  bool interlaced = false;
  int minsize = 2;
  Bytes pixels;        // in file order (interlace order for interlaced images)
  bool deferClear = false;
  Bytes rawdata;       // used instead of encoding pixels when not empty
};

uint32_t Entry(uint32_t i) { return (i * 40 + 3) & 0xFF; }

Bytes MakeGif(const GifLayout& s) {
  static const uint8_t kSignature[] = {'G', 'I', 'F', '8', '9', 'a'};
  Bytes g;
  g.reserve(4096);  // reserved up front: GCC 12 warns falsely when a 6-byte vector grows
  g.insert(g.end(), kSignature, kSignature + 6);
  ldr::Put16(g, s.sw);
  ldr::Put16(g, s.sh);
  g.push_back(static_cast<uint8_t>(s.globalbits ? 0x80 | (s.globalbits - 1) : 0));
  g.push_back(0);
  g.push_back(0);
  for (uint32_t i = 0; s.globalbits && i < (1u << s.globalbits); i++)
    g.insert(g.end(), {static_cast<uint8_t>(Entry(i)), static_cast<uint8_t>(i), 0x80});
  g.insert(g.end(), s.extensions.begin(), s.extensions.end());
  g.push_back(0x2C);
  ldr::Put16(g, s.left);
  ldr::Put16(g, s.top);
  ldr::Put16(g, s.iw);
  ldr::Put16(g, s.ih);
  g.push_back(static_cast<uint8_t>((s.localbits ? 0x80 | (s.localbits - 1) : 0) | (s.interlaced ? 0x40 : 0)));
  for (uint32_t i = 0; s.localbits && i < (1u << s.localbits); i++)
    g.insert(g.end(), {0x11, static_cast<uint8_t>(Entry(i)), static_cast<uint8_t>(i)});
  g.push_back(static_cast<uint8_t>(s.minsize));
  const Bytes sb = SubBlocks(s.rawdata.empty() ? Lzw(s.pixels, s.minsize, s.deferClear) : s.rawdata);
  g.insert(g.end(), sb.begin(), sb.end());
  g.push_back(0x3B);
  return g;
}

Bytes Pattern(size_t n, uint32_t mod, uint32_t seed = 1) {
  Bytes p(n);
  ldr::Lcg r(seed);
  for (size_t i = 0; i < n; i++) p[i] = static_cast<uint8_t>((i % 7 == 0 ? r.Next() : i / 3) % mod);
  return p;
}

Bytes Gce(bool transparent, uint8_t index) {
  return {0x21, 0xF9, 4, static_cast<uint8_t>(transparent ? 1 : 0), 0, 0, index, 0};
}

// --- The corpus ---

class GifCorpus : public ldr::CorpusTest<GifCorpus> {
 public:
  static constexpr const char* kScript = "make_gif_corpus.py";
  static constexpr const char* kFolder = "ldr_gif_corpus";
  static constexpr const char* kMissing = "ImageMagick, Pillow, gifsicle or giflib-tools";
  static constexpr size_t kMinimum = 20;
  static bool Tools() { return zt::HaveImageMagick() && zt::HavePythonModule("PIL") && zt::HaveTool("gifsicle") && zt::HaveTool("gifbuild"); }
};

// Palette indices inside the first image's rectangle, the colours of the used
// entries and the transparent entry all match Pillow.
TEST_F(GifCorpus, FirstImageDecodesLikePillow) {
  int compared = 0;
  for (auto& [name, kind, other] : manifest_) {
    SCOPED_TRACE(name);
    const std::string f = dir_ + "/" + name;
    const Bytes file = zt::ReadFile(f);
    ldr::FakeImage img;
    const int r = Decode(img, file);
    EXPECT_FALSE(img.overrun);
    if (kind == "refuse") {
      EXPECT_EQ(r, 3);
      EXPECT_EQ(img.creates + img.palettes + img.rows, 0);
      continue;
    }
    const bool cut = kind == "cut";  // a failure; the rows handed over are the whole file's
    ASSERT_EQ(r, cut ? 1 : 0);
    const Bytes ref = zt::ReadFile(dir_ + "/" + (cut ? other : name) + ".ref");
    auto nl = std::find(ref.begin(), ref.end(), '\n');
    ASSERT_NE(nl, ref.end());
    uint32_t sw, sh, x0, y0, x1, y1;
    int t;
    ASSERT_EQ(std::sscanf(std::string(ref.begin(), nl).c_str(), "%u %u %u %u %u %u %d", &sw, &sh, &x0, &y0, &x1, &y1, &t), 7);
    const uint8_t* pal = &*nl + 1;
    const uint8_t* idx = pal + 768;
    ASSERT_EQ(ref.end() - (nl + 1), static_cast<ptrdiff_t>(768 + sw * sh));
    ASSERT_EQ(img.width, sw);
    ASSERT_EQ(img.height, sh);
    EXPECT_EQ(img.indexed, 1);
    if (cut) {
      EXPECT_LT(img.rows, static_cast<int>(y1 - y0));
      EXPECT_EQ(ldr::RowsDiffering(img.pixels, img.rowStarts, x1 - x0, std::vector<uint32_t>(idx, idx + sw * sh)), 0u);
      continue;
    }
    EXPECT_EQ(img.rows, static_cast<int>(y1 - y0));
    int bad = 0;
    for (uint32_t y = y0; y < y1; y++)
      for (uint32_t x = x0; x < x1; x++) {
        const uint32_t want = idx[y * sw + x], got = img.pixels[y * sw + x];
        const uint32_t rgb = pal[3 * want] | pal[3 * want + 1] << 8 | pal[3 * want + 2] << 16;
        if (got != want || (img.palette[got & 0xFF] & 0xFFFFFF) != rgb) bad++;
      }
    EXPECT_EQ(bad, 0);
    if (t >= 0) {
      EXPECT_EQ(img.transparency, 1);
      EXPECT_EQ(img.palette[t] >> 24, 0u);
    } else {
      EXPECT_EQ(img.transparency, 0);
    }
    compared++;
  }
  EXPECT_GE(compared, 20);
}

TEST_F(GifCorpus, MutatedFilesFailCleanly) {
  ldr::Lcg rng(99);
  // Half the byte changes in the first 800 bytes: screen, tables, descriptor, code size.
  const ldr::Mutations plan{40, 6, 0, 800};
  for (auto& [name, kind, other] : manifest_)
    ldr::ForEachMutant(zt::ReadFile(dir_ + "/" + name), rng, plan, [&](const Bytes& m, int round) {
      ldr::FakeImage img;
      img.maxPixels = 1u << 20;
      const int r = Decode(img, m);
      // A GIF may also end without an image.
      EXPECT_TRUE((r >= ERES_OK && r <= ERES_NOTTHISFORMAT) || r == ERES_NOIMAGE)
          << name << " round " << round << " gave " << r;
      EXPECT_FALSE(img.overrun) << name << " round " << round;
      EXPECT_LE(img.creates, 1);
    });
}

// --- Hand-made files ---

TEST(GifHand, LzwRoundTripsAtEveryCodeSizeAndTableState) {
  struct Case {
    const char* what;
    int minsize;
    uint32_t colours;
    uint16_t w, h;
    bool deferClear;
  } cases[] = {
      {"two colours, minimum 2", 2, 2, 7, 5, false},
      {"minimum 3", 3, 8, 9, 9, false},
      {"16 colours", 4, 16, 33, 17, false},
      {"256 colours, table refilled after clears", 8, 256, 200, 150, false},
      {"full table kept without a clear", 8, 256, 200, 150, true},
      {"full table, small codes", 2, 4, 300, 200, true},
      {"minimum 11", 11, 256, 64, 64, false},
      {"minimum 11, full table", 11, 256, 64, 64, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GifLayout s;
    s.sw = s.iw = c.w;
    s.sh = s.ih = c.h;
    s.globalbits = 8;
    s.minsize = c.minsize;
    s.deferClear = c.deferClear;
    s.pixels = Pattern(static_cast<size_t>(c.w) * c.h, c.colours);
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, MakeGif(s)), 0);
    EXPECT_FALSE(img.overrun);
    EXPECT_EQ(img.pixels, std::vector<uint32_t>(s.pixels.begin(), s.pixels.end()));
  }
}

TEST(GifHand, PlacementInterlaceAndClipping) {
  {  // an image 10 from the left and 5 from the top of a larger screen
    GifLayout s;
    s.sw = 30;
    s.sh = 20;
    s.left = 10;
    s.top = 5;
    s.iw = 6;
    s.ih = 4;
    s.pixels = Pattern(24, 4);
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, MakeGif(s)), 0);
    ASSERT_EQ(img.rowStarts.size(), 4u);
    for (int y = 0; y < 4; y++) EXPECT_EQ(img.rowStarts[y], 30 * (5 + y) + 10);
    EXPECT_EQ(img.pixels[30 * 5 + 9], 0xDEADBEEFu);  // outside the image: untouched
  }
  {  // interlace order, a pass without rows skipped
    const uint16_t heights[] = {3, 1, 2, 5, 9, 17};
    for (uint16_t h : heights) {
      GifLayout s;
      s.sw = s.iw = 4;
      s.sh = s.ih = h;
      s.interlaced = true;
      s.pixels = Pattern(4u * h, 4);
      ldr::FakeImage img;
      ASSERT_EQ(Decode(img, MakeGif(s)), 0);
      std::vector<int32_t> want;
      for (int start : {0, 4, 2, 1})
        for (int y = start; y < h; y += (start == 0 || start == 4) ? 8 : start == 2 ? 4 : 2) want.push_back(4 * y);
      EXPECT_EQ(img.rowStarts, want) << h;
    }
  }
  {  // an image reaching past the screen is cut at its edges
    GifLayout s;
    s.sw = 10;
    s.sh = 6;
    s.left = 7;
    s.top = 3;
    s.iw = 8;
    s.ih = 8;
    s.pixels = Pattern(64, 4);
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, MakeGif(s)), 0);
    EXPECT_FALSE(img.overrun);
    EXPECT_EQ(img.rows, 3);
    EXPECT_EQ(img.pixels[10 * 3 + 9], s.pixels[2]);
    s.left = 12;  // wholly outside
    ldr::FakeImage out;
    ASSERT_EQ(Decode(out, MakeGif(s)), 0);
    EXPECT_EQ(out.rows, 0);
  }
}

TEST(GifHand, ExtensionsTablesAndTransparency) {
  Bytes comment = {0x21, 0xFE};
  const Bytes text(900, 0x2C);  // bytes that would read as image descriptors
  Bytes sb = SubBlocks(text);
  comment.insert(comment.end(), sb.begin(), sb.end());
  Bytes app = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 5, 9, 9, 9, 9, 9, 0};
  {  // several comment sub-blocks and an application extension with two data sub-blocks
    GifLayout s;
    s.extensions = comment;
    s.extensions.insert(s.extensions.end(), app.begin(), app.end());
    s.pixels = Pattern(64, 4);
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, MakeGif(s)), 0);
    EXPECT_EQ(img.pixels, std::vector<uint32_t>(s.pixels.begin(), s.pixels.end()));
  }
  {  // transparent entry 5 of the local table; the global table keeps its entry
    GifLayout s;
    s.globalbits = 3;
    s.localbits = 3;
    s.minsize = 3;  // eight colours need codes of three bits
    s.extensions = Gce(true, 5);
    s.pixels = Pattern(64, 8);
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, MakeGif(s)), 0);
    EXPECT_EQ(img.transparency, 1);
    EXPECT_EQ(img.palette[5], 0x0005CB11u);  // local entry 5 (0x11, 0xCB, 5) with alpha 0
    ASSERT_EQ(img.paletteStarts.size(), 3u);  // global, local, the transparent word
    EXPECT_EQ(img.paletteStarts[2], 5u);
    EXPECT_EQ(img.paletteCounts[2], 1u);
    s.localbits = 0;  // no local table: the global entry
    ldr::FakeImage g;
    ASSERT_EQ(Decode(g, MakeGif(s)), 0);
    EXPECT_EQ(g.palette[5], (Entry(5) | 5u << 8 | 0x80u << 16));
    s.extensions = Gce(false, 5);  // the flag clear: nothing made transparent
    ldr::FakeImage n;
    ASSERT_EQ(Decode(n, MakeGif(s)), 0);
    EXPECT_EQ(n.transparency, 0);
    EXPECT_EQ(n.palette[5] >> 24, 0xFFu);
  }
}

TEST(GifHand, FailuresAndLimits) {
  struct Case {
    const char* what;
    Bytes file;
    int result, creates, palettes, rows;
  };
  GifLayout ok;
  ok.pixels = Pattern(64, 4);
  const Bytes good = MakeGif(ok);
  std::vector<Case> cases;
  cases.push_back({"not a GIF", Bytes{'G', 'I', 'X', '8', '9', 'a', 0, 0}, 3, 0, 0, 0});
  cases.push_back({"GIF86", Bytes{'G', 'I', 'F', '8', '6', 'a', 1, 0, 1, 0}, 3, 0, 0, 0});
  cases.push_back({"empty", Bytes{}, 3, 0, 0, 0});
  {  // trailer before any image: created and palette sent, then 7
    Bytes b(good.begin(), good.begin() + 13 + 12);
    b.push_back(0x3B);
    cases.push_back({"no image", b, 7, 1, 1, 0});
  }
  {  // a control extension whose terminator is not 0
    GifLayout s = ok;
    s.extensions = {0x21, 0xF9, 4, 1, 0, 0, 2, 7};
    cases.push_back({"control terminator", MakeGif(s), 7, 1, 1, 0});
  }
  {  // minimum code size 12: no table could hold a string
    GifLayout s = ok;
    s.minsize = 12;
    s.rawdata = Bytes(40, 0xA5);
    cases.push_back({"minimum 12", MakeGif(s), 1, 1, 1, 0});
    s.minsize = 200;
    cases.push_back({"minimum 200", MakeGif(s), 1, 1, 1, 0});
  }
  {  // image data that is only the terminator
    GifLayout s = ok;
    Bytes b = MakeGif(s);
    const size_t at = 13 + 12 + 10 + 1;  // after the minimum code size
    b.erase(b.begin() + at, b.end());
    b.push_back(0);
    b.push_back(0x3B);
    cases.push_back({"empty data", b, 1, 1, 1, 0});
    b.resize(at);
    cases.push_back({"data cut off", b, 1, 1, 1, 0});
  }
  {  // codes that never end and run far past the image
    GifLayout s = ok;
    s.iw = s.ih = 2;
    s.rawdata = Bytes(2000, 0xFF);
    cases.push_back({"runaway codes", MakeGif(s), 0, 1, 1, 2});
  }
  {  // codes for five rows and a half of eight, then the end code: five rows and a failure
    GifLayout s = ok;
    s.pixels.resize(44);
    cases.push_back({"rows missing", MakeGif(s), 1, 1, 1, 5});
    s.interlaced = true;  // rows 0, 4, 2, 6, 1 in the order of the file
    cases.push_back({"interlaced rows missing", MakeGif(s), 1, 1, 1, 5});
  }
  {  // all the pixels, then the file ends: no terminator, no trailer
    GifLayout s = ok;
    Bytes b = MakeGif(s);
    b.resize(b.size() - 2);
    cases.push_back({"no trailer", b, 0, 1, 1, 8});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ldr::FakeImage img;
    EXPECT_EQ(Decode(img, c.file), c.result);
    EXPECT_EQ(img.creates, c.creates);
    EXPECT_EQ(img.palettes, c.palettes);
    EXPECT_EQ(img.rows, c.rows);
    EXPECT_FALSE(img.overrun);
  }
  {  // a screen past the size bound: refused before the surface, also for a receiver that takes any size
    GifLayout s = ok;
    s.sw = s.sh = 0xFFFF;
    ldr::FakeImage img;
    img.acceptAll = true;
    EXPECT_EQ(Decode(img, MakeGif(s)), 2);
    EXPECT_EQ(img.creates + img.rows, 0);
  }
  {  // an image of 65535 x 65535: its buffer size does not wrap
    GifLayout s = ok;
    s.iw = s.ih = 0xFFFF;
    ldr::FakeImage img;
    EXPECT_EQ(Decode(img, MakeGif(s)), 1);
    EXPECT_EQ(img.rows, 0);
  }
  {  // found by fuzzing: a huge image with a few bytes of data asked for gigabytes;
     // the buffer grows with what the data fills, which is not even a row
    GifLayout s = ok;
    s.sw = s.sh = 100;
    s.iw = 60000;
    s.ih = 1000;
    s.pixels = Pattern(300, 4);
    ldr::FakeImage img;
    ASSERT_EQ(Decode(img, MakeGif(s)), 1);
    EXPECT_EQ(img.rows, 0);
  }
  {  // refusals: LdrOnCreate's code at once, a pixel call's code after that row
    ldr::FakeImage c;
    c.refuseCreate = 4;
    EXPECT_EQ(Decode(c, good), 4);
    EXPECT_EQ(c.palettes + c.rows, 0);
    ldr::FakeImage p;
    p.refusePixelAt = 2;
    p.refuseCode = 6;
    EXPECT_EQ(Decode(p, good), 6);
    EXPECT_EQ(p.rows, 3);
  }
}

TEST(GifHand, OutOfLineTableOperations) {
  ELoader_GIF l;
  uint8_t out[16] = {1, 2, 3, 4, 5}, dst[16];
  uint32_t len = 99;
  l.GetString(out, dst, len, 3, 4);  // below clear + 2: the code itself
  EXPECT_EQ(len, 1u);
  EXPECT_EQ(dst[0], 3);
  l.GetString(out, dst, len, 6, 4);  // no tables: undefined
  EXPECT_EQ(len, 0u);
}

}  // namespace
