// Every valid bitmap of the shared corpus must decode to the same pixels as an independent
// decoder (ImageMagick, or netpbm's bmptopnm where ImageMagick cannot read the file), and no
// file of any kind may crash the reader.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "formats/dib/dib_reader.h"
#include "shell/load.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using test::CorpusDir;
using test::RgbImage;

// Reads a corpus file as the loading dispatch would: type rules first, then the reader.
ReadResult ReadBitmapFile(const ByteSource& file) {
  const TypeDecision decision = DecideFileType(file.Head(), "bmp");
  switch (decision.type) {
    case FileType::WindowsBitmap: return ReadWindowsDib(file, decision.start);
    case FileType::Os2Bitmap: return ReadOs2Dib(file, decision.start);
    case FileType::Os2v2Bitmap: return ReadOs2v2Dib(file, decision.start);
    default: return {};
  }
}

// The file read by offset, with no more than the headers in memory.
ReadResult ReadBitmapFile(const std::filesystem::path& file) {
  const auto source = ByteSource::OpenFile(file.string(), kMaxFileBytes, 14 + kDibHeadBytes);
  return source ? ReadBitmapFile(*source) : ReadResult{};
}

// A 16-bit image keeps five bits per component, and a file's masks may give fewer ("bitfields:
// 4 4 4"): the reference is compared at the precision both have. (The other decoders scale
// narrow fields differently; ImageMagick maps 4-bit 15 to 240 where we give 255.)
int SixteenBitPrecision(const std::string& infoText) {
  int r = 5, g = 5, b = 5;
  if (const auto at = infoText.find("bitfields: "); at != std::string::npos) {
    std::sscanf(infoText.c_str() + at, "bitfields: %d %d %d", &r, &g, &b);
  }
  return std::min({r, g, b, 5});
}

uint32_t Dword(const std::vector<uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

void SetDword(std::vector<uint8_t>& b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The file handed to the other decoders. They do not read OS/2 bitmap arrays, so the first
// bitmap is given on its own, its pixel offset counted from its own start. ImageMagick 6.9
// misreads the colours of OS/2 2.0 bitmaps (the same pixels with a Windows header decode
// differently), so those are given with the equivalent 40-byte Windows header.
std::filesystem::path FileForOtherDecoders(const std::vector<uint8_t>& bytes, const TypeDecision& decision,
                                           const test::TempDir& temp) {
  std::vector<uint8_t> alone(bytes.begin() + static_cast<std::ptrdiff_t>(decision.start), bytes.end());
  SetDword(alone, 10, Dword(alone, 10) - static_cast<uint32_t>(decision.start));
  if (decision.type == FileType::Os2v2Bitmap) {
    alone.erase(alone.begin() + 14 + 40, alone.begin() + 14 + 64);
    SetDword(alone, 14, 40);
    SetDword(alone, 10, Dword(alone, 10) - 24);
    SetDword(alone, 2, static_cast<uint32_t>(alone.size()));
  }
  const auto file = temp / "alone.bmp";
  test::WriteBytes(file, alone);
  return file;
}

TEST(BmpConformanceTest, ValidCorpusBitmapsMatchAnIndependentDecoder) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "no corpus at " << CorpusDir();
  if (!test::HaveProgram("/usr/bin/convert") && !test::HaveProgram("/usr/bin/bmptopnm")) {
    GTEST_SKIP() << "neither ImageMagick nor netpbm is installed";
  }
  int compared = 0;
  for (const auto& entry : test::CorpusManifest()) {
    if (entry.format != "BMP" || entry.expected != "valid") continue;
    const auto file = CorpusDir() / entry.path;
    const auto bytes = test::ReadBytes(file);
    const TypeDecision decision = DecideFileType(bytes, "bmp");
    // A DIB without its file header matches none of the type rules: the dialog shows no image.
    if (decision.type == FileType::Unknown) continue;
    SCOPED_TRACE(entry.path);
    const ReadResult result = ReadBitmapFile(file);
    ASSERT_TRUE(result.dib) << "not read";
    const RgbImage ours = test::DibToRgb(result.dib);
    test::TempDir temp;
    const auto source = FileForOtherDecoders(bytes, decision, temp);
    auto reference = test::DecodeWithImageMagick(source);
    if (!reference || !(ours.width == reference->width && ours.height == reference->height)) {
      reference = test::DecodeWithNetpbm(source);
    }
    ASSERT_TRUE(reference) << "no independent decode";
    EXPECT_TRUE(test::SameImage(ours, *reference, 0, result.dib.BitCount() == 16 ? SixteenBitPrecision(result.infoText) : 8));
    ++compared;
  }
  EXPECT_GT(compared, 50);
}

// Every corpus bitmap, damaged ones too, reads the same by offset as from memory.
TEST(BmpConformanceTest, CorpusBitmapsReadTheSameByOffsetAsFromMemory) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "no corpus at " << CorpusDir();
  int compared = 0;
  for (const auto& entry : test::CorpusManifest()) {
    if (entry.format != "BMP") continue;
    SCOPED_TRACE(entry.path);
    const auto file = CorpusDir() / entry.path;
    const auto bytes = test::ReadBytes(file);
    const ReadResult fromMemory = ReadBitmapFile(ByteSource(bytes));
    const ReadResult byOffset = ReadBitmapFile(file);
    EXPECT_EQ(fromMemory.status, byOffset.status);
    EXPECT_EQ(fromMemory.infoText, byOffset.infoText);
    ASSERT_EQ(static_cast<bool>(fromMemory.dib), static_cast<bool>(byOffset.dib));
    if (fromMemory.dib) {
      EXPECT_TRUE(std::ranges::equal(fromMemory.dib.Bytes(), byOffset.dib.Bytes()));
    }
    ++compared;
  }
  EXPECT_GT(compared, 50);
}

}  // namespace
}  // namespace ravelle
