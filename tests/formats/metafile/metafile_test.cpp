#include "formats/metafile/metafile.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "tests/formats/metafile/metafile_builder.h"

namespace ravelle {
namespace {

using test::WmfBuilder;

// The placeable box counts both edges; a plain WMF has no size of its own.
TEST(MetafileReader, WindowsMetafileSizes) {
  struct Case {
    int16_t left, top, right, bottom;
    uint16_t unitsPerInch;
    int64_t width, height;
  };
  for (const Case& c : {Case{0, 0, 1439, 719, 1440, 1440, 720}, Case{-100, -50, 99, 49, 576, 200, 100}}) {
    const ReadResult r = ReadWindowsMetafile(WmfBuilder{}.Placeable(c.left, c.top, c.right, c.bottom, c.unitsPerInch), true);
    ASSERT_TRUE(r.metafile);
    EXPECT_EQ(r.status, ReadStatus::Ok);
    ASSERT_TRUE(r.frame);
    EXPECT_EQ(r.frame->width, c.width);
    EXPECT_EQ(r.frame->height, c.height);
    EXPECT_EQ(r.metafile->bounds, (MetafileRect{c.left, c.top, c.right, c.bottom}));
    EXPECT_EQ(r.metafile->unitsPerInch, c.unitsPerInch);
  }
  const ReadResult plain = ReadWindowsMetafile(WmfBuilder{}.Bytes(1234), false);
  ASSERT_TRUE(plain.metafile);
  EXPECT_EQ(plain.frame->width, 1);
  EXPECT_EQ(plain.frame->height, 1);
}

// Each failure gives no picture and its one message, or none for bytes that are no metafile.
TEST(MetafileReader, FailuresOfBothReaders) {
  auto empty = WmfBuilder{}.Placeable(0, 0, 9, 9, 96);
  empty.resize(22);
  auto huge = WmfBuilder{}.Placeable(0, 0, 9, 9, 96);
  huge[22 + 6] = huge[22 + 7] = huge[22 + 8] = huge[22 + 9] = 0xFF;  // 4G words
  const struct {
    const char* name;
    ReadResult read;
    std::vector<Message> messages;
  } cases[] = {
      {"no records", ReadWindowsMetafile(empty, true), {{"Unable to read metafile bits", "", kMbIconHand}}},
      {"4G words", ReadWindowsMetafile(huge, true), {{"MemoryAllocation Error", "", kMbIconHand}}},
      {"no header", ReadWindowsMetafile(std::vector<uint8_t>(40, 0x55), false), {}},
      {"junk as enhanced", ReadEnhancedMetafileBytes(std::vector<uint8_t>(64, 0x11), "dir/junk.emf"),
       {{"Not a Valid Metafile", "dir/junk.emf", kMbOk}}},
      // A placeable key with no units per inch would divide by zero.
      {"no units per inch", ReadEnhancedMetafileBytes(WmfBuilder{}.Placeable(0, 0, 10, 10, 0), "a.emf"),
       {{"Failed to Create MetaFile from Bits", "Error Reading MetaFile", kMbOk}}},
      {"missing", ReadEnhancedMetafile("/nonexistent/file.emf"), {{"Error Opening File", "/nonexistent/file.emf", kMbOk}}},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(c.read.metafile) << c.name;
    EXPECT_EQ(c.read.messages, c.messages) << c.name;
  }
}

TEST(MetafileReader, WmfNamedEmfIsTakenAsEnhanced) {
  struct Case {
    std::vector<uint8_t> bytes;
    int32_t width, height;  // the picture, in hundredths of a millimetre
  };
  for (const Case& c : {Case{WmfBuilder{}.Bytes(), 1000, 1000},
                        Case{WmfBuilder{}.Placeable(-10, -10, 90, 40, 100), 2540, 1270}}) {
    const ReadResult r = ReadEnhancedMetafileBytes(c.bytes, "a.emf");
    ASSERT_TRUE(r.metafile);
    EXPECT_TRUE(r.metafile->enhanced);
    EXPECT_TRUE(r.metafile->windowsRecords);
    EXPECT_EQ(r.metafile->header.frame, (MetafileRect{0, 0, c.width, c.height}));
    EXPECT_TRUE(r.messages.empty());
  }
}

}  // namespace
}  // namespace ravelle
