#include "formats/pcx/pcx_file.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

// A PCX file: the header fields that matter, the coded data and what follows it.
std::vector<uint8_t> PcxBytes(int bits, int planes, int width, int height, int bytesPerLine,
                              const std::vector<uint8_t>& data, int version = 5,
                              const std::vector<uint8_t>& palette = {}) {
  std::vector<uint8_t> file(128, 0);
  file[0] = 10;
  file[1] = static_cast<uint8_t>(version);
  file[2] = 1;
  file[3] = static_cast<uint8_t>(bits);
  const auto put16 = [&](std::size_t at, int v) { file[at] = static_cast<uint8_t>(v), file[at + 1] = static_cast<uint8_t>(v >> 8); };
  put16(8, width - 1);
  put16(10, height - 1);
  put16(66, bytesPerLine);
  for (std::size_t i = 0; i < palette.size() && i < 48; ++i) file[16 + i] = palette[i];
  file[65] = static_cast<uint8_t>(planes);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

std::vector<uint8_t> WithTrailer(std::vector<uint8_t> file) {
  file.push_back(12);
  for (int i = 0; i < 256; ++i) file.insert(file.end(), {static_cast<uint8_t>(i), 0, static_cast<uint8_t>(255 - i)});
  return file;
}

RgbQuad Color(uint8_t r, uint8_t g, uint8_t b) { return {b, g, r, 0}; }

TEST(PcxReaderTest, EveryLayoutGetsItsDepthTableAndColoursLine) {
  const struct {
    int bits, planes, bytesPerLine;
    std::vector<uint8_t> data;
    bool trailer;
    int version;
    int depth;
    std::size_t tableEntries;
    const char* colorsLine;
    uint32_t firstPixel, lastPixel;  // indices, or B | G << 8 | R << 16
  } cases[] = {
      // The layouts the corpus lacks; each file is 8 pixels wide and one row high.
      // Without version 5 the trailer is not looked for: the header's 16 colours.
      {8, 1, 8, {1, 2, 3, 4, 5, 6, 7, 8}, true, 3, 8, 256, "colors: 16", 1, 8},
      // Eight planes of one bit: the index gathered from all of them.
      {1, 8, 1, {0x80, 0, 0, 0, 0, 0, 0, 0x81}, true, 5, 8, 256, "colors: 256", 0x81, 0x80},
      {1, 8, 1, {0x80, 0, 0, 0, 0, 0, 0, 0x81}, false, 5, 8, 256, "colors: 256", 0x81, 0x80},
      {16, 1, 16, {0xBF, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1F, 0x80}, false, 5, 16, 0, "colors: 65,536",
       0x7FBF, 0x001F},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits, " << c.planes << " planes, version " << c.version);
    auto file = PcxBytes(c.bits, c.planes, 8, 1, c.bytesPerLine, c.data, c.version);
    if (c.trailer) file = WithTrailer(file);
    const ReadResult result = ReadPcxImage(file);
    ASSERT_TRUE(result.dib);
    EXPECT_EQ(result.status, ReadStatus::Ok);
    EXPECT_EQ(result.dib.BitCount(), c.depth);
    EXPECT_EQ(result.dib.Colors().size(), c.tableEntries);
    EXPECT_TRUE(result.infoText.ends_with(c.colorsLine)) << result.infoText;
    EXPECT_EQ(test::PixelAt(result.dib, 0, 0), c.firstPixel);
    EXPECT_EQ(test::PixelAt(result.dib, 7, 0), c.lastPixel);
    const auto table = result.dib.Colors();
    // Gathered 8-bit files use the trailer when there is one, gray levels otherwise.
    if (c.depth == 8 && c.planes > 1) {
      EXPECT_EQ(table[0x81], c.trailer ? Color(0x81, 0, 0x7E) : Color(0x81, 0x81, 0x81));
    }
  }
}

// Lines hold whole bytes; what lies past the width is not picture and stays 0 in the image.
TEST(PcxReaderTest, BitsPastTheWidthStayClear) {
  const struct {
    int bits, planes, width;
    std::vector<uint8_t> row;  // the image's bytes
  } cases[] = {
      {1, 1, 5, {0xF8}}, {1, 4, 3, {0xFF, 0xF0}}, {2, 1, 3, {0x33, 0x30}}, {1, 8, 3, {0xFF, 0xFF, 0xFF, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits, " << c.planes << " planes");
    const ReadResult result = ReadPcxImage(PcxBytes(c.bits, c.planes, c.width, 1, 1, {0xC0 | 8, 0xFF}));  // every bit set
    ASSERT_TRUE(result.dib);
    EXPECT_EQ(std::vector<uint8_t>(result.dib.Row(0).begin(), result.dib.Row(0).begin() + c.row.size()), c.row);
  }
}

TEST(PcxReaderTest, HeaderPalettesAllBlackGiveTheDefaultColours) {
  const std::vector<uint8_t> whiteOnBlack = {0, 0, 0, 255, 255, 255};
  const struct {
    int bits, planes;
    std::vector<uint8_t> palette;
    int version;
    std::vector<RgbQuad> expected;  // the start of the table
  } cases[] = {
      {1, 1, whiteOnBlack, 5, {Color(0, 0, 0), Color(255, 255, 255)}},
      {1, 4, {}, 5, {Color(0, 0, 0), Color(0, 0, 128), Color(0, 128, 0), Color(0, 128, 128), Color(128, 0, 0),
                     Color(128, 0, 128), Color(128, 128, 0), Color(192, 192, 192), Color(128, 128, 128),
                     Color(0, 0, 255), Color(0, 255, 0), Color(0, 255, 255), Color(255, 0, 0), Color(255, 0, 255),
                     Color(255, 255, 0), Color(255, 255, 255)}},
      // An 8-bit file without its trailer: the 16 header colours, the other 240 black.
      {8, 1, whiteOnBlack, 3, {Color(0, 0, 0), Color(255, 255, 255), Color(0, 0, 0)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits, " << c.planes << " planes");
    const ReadResult result = ReadPcxImage(PcxBytes(c.bits, c.planes, 8, 1, c.bits, std::vector<uint8_t>(c.planes * c.bits, 0), c.version, c.palette));
    ASSERT_TRUE(result.dib);
    const auto table = result.dib.Colors();
    ASSERT_GE(table.size(), c.expected.size());
    EXPECT_TRUE(std::equal(c.expected.begin(), c.expected.end(), table.begin()));
  }
}

TEST(PcxReaderTest, RunsGoOnIntoTheNextPlaneButNotPastTheRow) {
  // Two pixels of 24 bits, two bytes a plane line: a run of four fills the red and green lines,
  // the next run of three fills blue and its last byte is dropped at the row's end.
  const auto file = PcxBytes(8, 3, 2, 2, 2, {0xC4, 0x10, 0xC3, 0x20, 0xC6, 0x30});
  const ReadResult result = ReadPcxImage(file);
  ASSERT_TRUE(result.dib);
  EXPECT_EQ(test::PixelAt(result.dib, 1, 0), 0x101020u);
  EXPECT_EQ(test::PixelAt(result.dib, 0, 1), 0x303030u);
}

TEST(PcxReaderTest, DamagedFilesFailCleanlyOrKeepWhatWasDecoded) {
  const struct {
    std::vector<uint8_t> file;
    ReadStatus status;
    std::vector<std::string> messages;
    bool image;
  } cases[] = {
      {{}, ReadStatus::BadHeader, {}, false},
      {{11, 5, 1, 8}, ReadStatus::BadHeader, {"Unrecognized File Structure"}, false},
      // Cut inside the header, before the first row is whole, and in the first row's padding.
      {[] { auto b = PcxBytes(8, 1, 4, 4, 4, {}); return b.resize(100), b; }(), ReadStatus::Damaged, {"Unrecognized File Structure"}, false},
      {PcxBytes(8, 1, 4, 4, 4, {}), ReadStatus::Damaged, {"Unrecognized File Structure"}, false},
      {PcxBytes(8, 3, 4, 4, 4, {0xC8, 1, 2}), ReadStatus::Damaged, {"Unrecognized File Structure"}, false},
      {PcxBytes(16, 1, 2, 2, 4, {1, 2}), ReadStatus::Damaged, {"Unrecognized File Structure"}, false},
      {PcxBytes(1, 4, 8, 2, 2, {0xC6, 0xFF}), ReadStatus::Damaged, {"Unrecognized File Structure"}, false},
      {PcxBytes(8, 1, 3, 2, 4, {1, 2, 3}), ReadStatus::Truncated, {}, true},
      // Two of four rows, then the end: the bottom rows stay index 0.
      {PcxBytes(8, 1, 4, 4, 4, {1, 1, 1, 1, 0xC4, 2}), ReadStatus::Truncated, {}, true},
      {PcxBytes(5, 1, 4, 4, 4, {1, 1, 1, 1}), ReadStatus::Unsupported, {"Unrecognized File Structure"}, true},
      {PcxBytes(8, 5, 4, 4, 4, {}), ReadStatus::Unsupported, {"Unrecognized File Structure"}, false},
      // Corners that give no pixels.
      {PcxBytes(8, 1, 0, 4, 4, {}), ReadStatus::BadHeader, {}, false},
      {PcxBytes(8, 1, 4, 4, 0, {1, 1, 1, 1}), ReadStatus::BadHeader, {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    const ReadResult result = ReadPcxImage(c.file);
    EXPECT_EQ(result.status, c.status);
    std::vector<std::string> texts;
    for (const Message& m : result.messages) texts.push_back(m.text);
    EXPECT_EQ(texts, c.messages);
    EXPECT_EQ(static_cast<bool>(result.dib), c.image);
  }
  const ReadResult cut = ReadPcxImage(cases[8].file);
  EXPECT_EQ(test::PixelAt(cut.dib, 0, 1), 2u);
  EXPECT_EQ(test::PixelAt(cut.dib, 0, 2), 0u);
}

}  // namespace
}  // namespace ravelle
