// The SunIcon reader on what the shared corpus lacks: depth 8, widths that are no multiple of
// 16, a header after another comment, and damage.

#include <gtest/gtest.h>

#include "formats/registry.h"
#include "formats/sunicon/sunicon.h"
#include "shell/load.h"
#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

std::vector<uint8_t> Icon(const std::string& header, int words, uint16_t first = 0x8001) {
  std::string text = header + "\n */\n";
  for (int i = 0; i < words; ++i) text += Format("\t0x%04X,%s", i == 0 ? first : (i * 0x1111) & 0xFFFF, i % 8 == 7 ? "\n" : "");
  return {text.begin(), text.end()};
}

const std::string kHeader64 = "/* Format_version=1, Width=64, Height=64, Depth=1, Valid_bits_per_item=16";

TEST(SunIconTest, Pixels) {
  // Word i is 0x1111 * i but for the first; set bits are black at depth 1. Width 20 reads two
  // whole words a row and drops the last 12 pixels of the second.
  struct Probe {
    int x, y;
    unsigned value;
  };
  struct Case {
    std::string header;
    int words, bits;
    uint16_t first;
    std::vector<Probe> probes;
  };
  const Case cases[] = {
      {"/* Format_version=1, WIDTH=16, Height=16, Depth=8, Valid_bits_per_item=16", 128, 8, 0x000F, {{0, 0, 0}, {1, 0, 15}}},
      {"/* Format_version=1, Width=20, Height=2, Depth=1, Valid_bits_per_item=16", 4, 1, 0xFFFF,
       {{0, 0, 1}, {16, 0, 0}, {19, 0, 1}, {3, 1, 0}, {2, 1, 1}}},
      // The header is the comment that names the format version, after a version-control line.
      {"/* @(#)busy.icon 1.4 89/07/31 SMI */\n/* Format_version=1, Width=16, Height=2, Depth=1, Valid_bits_per_item=16",
       2, 1, 0x8001, {{0, 0, 1}, {1, 0, 0}, {15, 0, 1}, {2, 1, 0}, {3, 1, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    const ReadResult r = ReadSunIcon(Icon(c.header, c.words, c.first));
    ASSERT_TRUE(r.dib);
    EXPECT_EQ(r.dib.BitCount(), c.bits);
    EXPECT_EQ(r.dib.Colors()[0], (RgbQuad{255, 255, 255, 0}));
    for (const Probe& p : c.probes) EXPECT_EQ(test::PixelAt(r.dib, p.x, p.y), p.value) << p.x << "," << p.y;
  }
  const ReadResult narrow = ReadSunIcon(Icon(cases[1].header, 4, 0xFFFF));
  EXPECT_EQ(narrow.dib.Row(0)[2] & 0x0F, 0);  // nothing past the width
  EXPECT_EQ(ReadSunIcon(Icon(cases[0].header, 128)).dib.Colors()[15], (RgbQuad{0, 0, 128, 0}));  // dark red
}

TEST(SunIconTest, FilesWithoutAnImage) {
  const ReadResult four = ReadSunIcon(Icon("/* Format_version=1, Width=16, Height=16, Depth=4, Valid_bits_per_item=16", 64));
  EXPECT_FALSE(four.dib);
  EXPECT_EQ(four.messages, (std::vector<Message>{{"Unsupported SunIcon Depth", "", kMbIconHand}}));
  for (const std::string header : {"/* Format_version=1, Height=16, Depth=1", "/* Width=16, Depth=1", "/* Width=16, Height=16",
                                   "/* Width=0, Height=16, Depth=1"}) {
    const ReadResult r = ReadSunIcon(Icon(header, 16));
    EXPECT_FALSE(r.dib) << header;
    EXPECT_TRUE(r.messages.empty());
  }
  EXPECT_FALSE(ReadSunIcon({}).dib);
  // A short file leaves the words after its last white.
  const ReadResult cut = ReadSunIcon(Icon(kHeader64, 10));
  ASSERT_TRUE(cut.dib);
  EXPECT_EQ(cut.status, ReadStatus::Truncated);
  EXPECT_EQ(test::PixelAt(cut.dib, 34, 2), 0u);  // not word 2 again (0x2222)
}

}  // namespace
}  // namespace ravelle
