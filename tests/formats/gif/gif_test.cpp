// The GIF reader on files made here by hand (their image data from our own encoder).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/gif/gif_reader.h"
#include "support/animation_files.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace test::gif;

// Index of the pixel at (x, y), top row 0, of an 8-bit image.
int IndexAt(const PackedDib& dib, int x, int y) { return dib.Row(dib.Height() - 1 - y)[x]; }

TEST(GifReaderTest, Signature) {
  struct Case {
    const char* version;
    bool accepted;
  } cases[] = {{"89a", true}, {"87a", true}, {"89z", true}, {"8Xa", false}, {"89{", false}, {"89@", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    Bytes file = Header(c.version, 2, 1, 0x80, 2);
    Image(file, 0, 0, 2, 1, {0, 1});
    file.resize(160);  // long enough for the second look at offset 128
    const ReadResult r = ReadGifImage(file);
    EXPECT_EQ(bool(r.dib), c.accepted);
    if (!c.accepted) {
      EXPECT_EQ(r.messages.at(0).text, "Unrecognized Bitmap Format");
    }
  }
}

TEST(GifReaderTest, ColourCounts) {
  struct Case {
    const char* version;
    int packed, entries, colours;
  } cases[] = {
      // No table: the count from the screen bits, the same black and white for every file.
      {"89a", 0x07, 0, 256}, {"87a", 0x07, 0, 256}, {"89a", 0x87, 256, 256}, {"87a", 0xF1, 4, 4},
      {"87a", 0x8F, 256, 256},  // 2^16 entries are cut to 256
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + std::to_string(c.packed));
    Bytes file = Header(c.version, 1, 1, c.packed, c.entries);
    Image(file, 0, 0, 1, 1, {3});
    Image(file, 0, 0, 1, 1, {1});
    const ReadResult r = ReadGifImage(file);
    ASSERT_TRUE(r.dib);
    EXPECT_EQ(r.dib.Header().biClrUsed, static_cast<uint32_t>(c.colours));
    EXPECT_NE(r.infoText.find("colors: " + std::to_string(c.colours)), std::string::npos);
    EXPECT_EQ(r.dib.Colors()[3], c.entries ? (RgbQuad{9, 6, 3, 0}) : (RgbQuad{0, 0, 0, 0}));
    EXPECT_EQ(r.dib.Colors()[1], c.entries ? (RgbQuad{3, 2, 1, 0}) : (RgbQuad{255, 255, 255, 0}));
    EXPECT_EQ(CountGifImages(file), 2);
  }
}

TEST(GifReaderTest, Failures) {
  const Bytes good = [] {
    Bytes b = Header("89a", 2, 2, 0x80, 2);
    Image(b, 0, 0, 2, 2, {0, 1, 1, 0});
    return b;
  }();
  const auto cut = [&](std::size_t n) { return Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)); };
  Bytes trailer = Header("89a", 2, 2, 0x80, 2);
  Add(trailer, {0x3B});
  Bytes codeSize1 = cut(13 + 6 + 10), codeSize10 = codeSize1;
  Add(codeSize1, {1, 2, 0, 0});
  Add(codeSize10, {10, 2, 0, 0});
  Bytes zeroWidth = Header("89a", 2, 2, 0x80, 2);
  Add(zeroWidth, {',', 0, 0, 0, 0, 0, 0, 2, 0, 0, 2, 2, 0x4C, 1, 0, ';'});
  Bytes shortExtension = Header("89a", 2, 2, 0x80, 2);
  Add(shortExtension, {0x21, 0xF9, 4, 0, 0});
  struct Case {
    const char* name;
    Bytes file;
    const char* message;  // "" for none
    ReadStatus status;    // an image only when Truncated
  } cases[] = {
      {"empty", {}, "File Read Error", ReadStatus::Damaged},
      {"no introducer", cut(19), "File Read Error", ReadStatus::Damaged},
      {"trailer first", trailer, "", ReadStatus::BadHeader},
      {"code size 1", codeSize1, "", ReadStatus::BadHeader},
      {"code size 10", codeSize10, "", ReadStatus::BadHeader},
      {"a frame of no width", zeroWidth, "", ReadStatus::BadHeader},
      {"short extension", shortExtension, "", ReadStatus::Damaged},
      {"one pixel of the first row", cut(34), "File Read Error", ReadStatus::Damaged},
      {"cut in the second row", cut(good.size() - 3), "", ReadStatus::Truncated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult r = ReadGifImage(c.file);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(bool(r.dib), c.status == ReadStatus::Truncated);
    if (*c.message) {
      ASSERT_EQ(r.messages.size(), 1u);
      EXPECT_EQ(r.messages[0].text, c.message);
    } else {
      EXPECT_TRUE(r.messages.empty());
    }
  }
}

// Pixels the data does not reach stay index 0, and an illegal code ends decoding quietly.
TEST(GifReaderTest, DamagedDataKeepsWhatWasDecoded) {
  Bytes file = Header("89a", 3, 2, 0x81, 4);
  Add(file, {0x2C, 0, 0, 0, 0, 3, 0, 2, 0, 0, 2});
  // Codes of 3 bits: clear (4), 1, 2, 3 (the first row), then of 4 bits 15 (beyond the next
  // free code, 8).
  Add(file, {2, 0x8C, 0xF6, 0, 0x3B});
  const ReadResult r = ReadGifImage(file);
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(r.status, ReadStatus::Truncated);
  EXPECT_EQ(IndexAt(r.dib, 0, 0), 1);
  EXPECT_EQ(IndexAt(r.dib, 2, 0), 3);
  EXPECT_EQ(IndexAt(r.dib, 0, 1), 0);
  EXPECT_TRUE(r.messages.empty());
}

}  // namespace
}  // namespace ravelle
