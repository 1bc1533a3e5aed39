#include "formats/targa/targa_file.h"

#include <gtest/gtest.h>

#include "image/output_file.h"
#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using test::PixelAt;
using test::PixelsOf;

struct TargaFields {
  int type = 2;
  int width = 1;
  int height = 1;
  int depth = 24;
  int descriptor = 0;
  int mapType = 0;
  int firstEntry = 0;
  int mapLength = 0;
  int entryBits = 0;
  int idLength = 0;
};

// A Targa file: its header, an ID of zeros, the map and the pixel data as given.
std::vector<uint8_t> TargaBytes(const TargaFields& f, const std::vector<uint8_t>& map, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out = {static_cast<uint8_t>(f.idLength), static_cast<uint8_t>(f.mapType), static_cast<uint8_t>(f.type)};
  AppendU16le(out, static_cast<uint16_t>(f.firstEntry));
  AppendU16le(out, static_cast<uint16_t>(f.mapLength));
  out.push_back(static_cast<uint8_t>(f.entryBits));
  AppendU32le(out, 0);  // the origin on the screen
  AppendU16le(out, static_cast<uint16_t>(f.width));
  AppendU16le(out, static_cast<uint16_t>(f.height));
  out.push_back(static_cast<uint8_t>(f.depth));
  out.push_back(static_cast<uint8_t>(f.descriptor));
  out.insert(out.end(), static_cast<std::size_t>(f.idLength), 0);
  out.insert(out.end(), map.begin(), map.end());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// Interleaved rows, which the corpus lacks: gray pixels 1 to 8 stored in that order.
TEST(TargaReaderTest, InterleavePlacesTheStoredRows) {
  const std::vector<uint8_t> stored = {1, 2, 3, 4, 5, 6, 7, 8};
  const struct {
    int width, height, descriptor;
    std::vector<uint32_t> expected;
  } cases[] = {
      {2, 4, 0x60, {1, 2, 5, 6, 3, 4, 7, 8}},
      // Four-way: stored rows 0, 1 are image rows 0, 4; 2, 3 are 1, 5; ...
      {1, 8, 0xA0, {1, 3, 5, 7, 2, 4, 6, 8}},
  };
  for (const auto& c : cases) {
    const ReadResult result =
        ReadTargaImage(TargaBytes({.type = 3, .width = c.width, .height = c.height, .depth = 8, .descriptor = c.descriptor}, {}, stored));
    ASSERT_TRUE(result.dib);
    EXPECT_EQ(result.status, ReadStatus::Ok);
    EXPECT_EQ(PixelsOf(result.dib), c.expected) << c.descriptor;
  }
}

TEST(TargaReaderTest, ColourMapsGiveTheTableAndArePassedOverWhole) {
  std::vector<uint8_t> map24;
  for (int i = 0; i < 300; ++i) map24.insert(map24.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0x55});
  const struct {
    TargaFields fields;
    std::vector<uint8_t> map;
    std::size_t entries;
    uint32_t pixel;  // the index stored
    RgbQuad colour;
  } cases[] = {
      {{.type = 1, .depth = 8, .mapType = 1, .mapLength = 300, .entryBits = 24}, map24, 256, 255, {255, 0, 0x55, 0}},
      // A map of 8-bit entries is not read, but the pixels are still found behind it.
      {{.type = 1, .depth = 8, .mapType = 1, .mapLength = 3, .entryBits = 8}, {9, 9, 9}, 3, 1, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.fields.mapLength << " entries of " << c.fields.entryBits << " bits");
    const auto used = static_cast<std::size_t>(c.fields.mapLength * ((c.fields.entryBits + 7) / 8));
    const std::vector<uint8_t> map(c.map.begin(), c.map.begin() + static_cast<std::ptrdiff_t>(used));
    const ReadResult result = ReadTargaImage(TargaBytes(c.fields, map, {static_cast<uint8_t>(c.pixel)}));
    ASSERT_TRUE(result.dib);
    EXPECT_EQ(result.status, ReadStatus::Ok);
    EXPECT_EQ(result.dib.Colors().size(), c.entries);
    EXPECT_EQ(PixelAt(result.dib, 0, 0), c.pixel);
    EXPECT_EQ(result.dib.Colors()[c.pixel], c.colour);
  }
}

TEST(TargaReaderTest, RunLengthPacketsCrossRowsAndStopAtTheImageEnd) {
  const struct {
    TargaFields fields;
    std::vector<uint8_t> data;
    std::vector<uint32_t> expected;
    ReadStatus status;
  } cases[] = {
      // A run of 3 over two rows of 2, then a raw packet; what is left over is not used.
      {{.type = 11, .width = 2, .height = 2, .depth = 8, .descriptor = 0x20}, {0x82, 7, 0x01, 8, 9}, {7, 7, 7, 8}, ReadStatus::Ok},
      // An image narrower than its bytes per pixel reads like any other.
      {{.type = 10, .width = 1, .height = 2, .depth = 24, .descriptor = 0x20}, {0x00, 1, 2, 3, 0x80, 4, 5, 6},
       {0x030201, 0x060504}, ReadStatus::Ok},
      {{.type = 11, .width = 2, .height = 2, .depth = 8, .descriptor = 0x20}, {0x81, 7}, {7, 7, 0, 0}, ReadStatus::Truncated},
      {{.type = 3, .width = 2, .height = 2, .depth = 8, .descriptor = 0x20}, {1, 2, 3}, {1, 2, 3, 0}, ReadStatus::Truncated},
      // The attribute bit is dropped from rows of any length.
      {{.type = 10, .width = 3, .height = 1, .depth = 16}, {0x82, 0xFF, 0xFF}, {0x7FFF, 0x7FFF, 0x7FFF}, ReadStatus::Ok},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    const ReadResult result = ReadTargaImage(TargaBytes(c.fields, {}, c.data));
    ASSERT_TRUE(result.dib);
    EXPECT_EQ(PixelsOf(result.dib), c.expected);
    EXPECT_EQ(result.status, c.status);
    EXPECT_TRUE(result.messages.empty());
  }
}

TEST(TargaReaderTest, UnknownTypesAndFilesWithoutARowAreRefused) {
  const struct {
    TargaFields fields;
    std::vector<uint8_t> data;
    ReadStatus status;
    bool message;
  } cases[] = {
      {{.type = 0}, {1, 2, 3}, ReadStatus::BadHeader, true},
      {{.type = 2, .depth = 40}, {1, 2, 3}, ReadStatus::Unsupported, true},
      {{.type = 2, .width = 0}, {1, 2, 3}, ReadStatus::BadHeader, false},
      // The header alone, or less than one row: nothing to show.
      {{.type = 2}, {}, ReadStatus::Damaged, true},
      {{.type = 2, .width = 2}, {1, 2, 3}, ReadStatus::Damaged, true},
      {{.type = 10, .width = 2, .height = 2}, {0x80, 1, 2, 3}, ReadStatus::Damaged, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    const ReadResult result = ReadTargaImage(TargaBytes(c.fields, {}, c.data));
    EXPECT_FALSE(result.dib);
    EXPECT_EQ(result.status, c.status);
    ASSERT_EQ(result.messages.size(), c.message ? 1u : 0u);
    if (c.message) {
      EXPECT_EQ(result.messages[0].text, "Targa File Read Error");
    }
  }
  std::vector<uint8_t> header = TargaBytes({}, {}, {});
  header.pop_back();
  for (const ReadResult& cut : {ReadTargaImage(std::span<const uint8_t>()), ReadTargaImage(header)}) {
    EXPECT_EQ(cut.status, ReadStatus::Damaged);
    EXPECT_EQ(cut.messages.size(), 1u);
  }
}

TEST(TargaWriterTest, RowsAreCodedInRawAndRunPacketsOfAtMost128) {
  const struct {
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> coded;
  } cases[] = {
      {{'P', 'Q', 'R', 'S', 'S'}, {2, 'P', 'Q', 'R', 0x81, 'S'}},
      {{'P', 'Q', 'R'}, {1, 'P', 'Q', 0, 'R'}},
      {std::vector<uint8_t>(200, 'P'), {0xFF, 'P', 0xC7, 'P'}},
      {{'P'}, {0, 'P'}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out(c.pixels.size() * 2);
    out.resize(EncodeTargaRunLine(c.pixels.data(), out.data(), static_cast<int>(c.pixels.size()), 1));
    EXPECT_EQ(out, c.coded);
  }
  // Pixels are compared whole: 16-bit P P then Q differ only in their second bytes.
  const std::vector<uint8_t> words = {1, 2, 1, 2, 1, 3};
  std::vector<uint8_t> out(12);
  out.resize(EncodeTargaRunLine(words.data(), out.data(), 3, 2));
  EXPECT_EQ(out, (std::vector<uint8_t>{0x81, 1, 2, 0, 1, 3}));
}

}  // namespace
}  // namespace ravelle
