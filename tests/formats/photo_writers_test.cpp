// The photo formats' writers from every depth: the lossless ones read back identical in our
// reader and in the format's own decoder, the lossy ones close to the picture in both.

#include <gtest/gtest.h>

#include <string>

#include "formats/registry.h"
#include "support/test_support.h"

namespace ravelle::test {
namespace {

struct WriterCase {
  const char* writer;
  const char* decoder;  // writes %o (a PPM or PNG file) from %i
  bool lossless;
};

const WriterCase kCases[] = {
    {"webp", "/usr/bin/dwebp -quiet %i -ppm -o %o.ppm", false},
    {"webp-lossless", "/usr/bin/dwebp -quiet %i -ppm -o %o.ppm", true},
    {"avif", "/usr/bin/avifdec %i %o.png >/dev/null", false},
    {"jxl", "/usr/bin/djxl %i %o.ppm 2>/dev/null", false},
    {"jxl-lossless", "/usr/bin/djxl %i %o.ppm 2>/dev/null", true},
};

std::string Filled(std::string command, const std::string& in, const std::string& out) {
  command.replace(command.find("%i"), 2, Quote(in));
  command.replace(command.find("%o"), 2, Quote(out));
  return command;
}

TEST(PhotoWriters, EveryDepthReadsBackInOurReaderAndTheFormatsDecoder) {
  TempDir temp;
  for (const WriterCase& c : kCases) {
    const WriterVariant* writer = FindWriterByName(c.writer);
    ASSERT_NE(writer, nullptr) << c.writer;
    const std::string program = std::string(c.decoder).substr(0, std::string(c.decoder).find(' '));
    for (const int bits : {1, 4, 8, 16, 24, 32}) {
      SCOPED_TRACE(std::string(c.writer) + " from " + std::to_string(bits) + " bits");
      const PackedDib dib = DrawDib(67, 45, bits);
      const auto file = temp / ("out." + std::string(FindFormatOf(*writer)->extension));
      ASSERT_EQ(writer->write(dib, file), WriteOutcome::Written);
      const RgbImage expected = DibToRgb(dib);
      const ReadResult back = ReadFileForTest(file);
      ASSERT_TRUE(back.dib);
      std::vector<RgbImage> decoded{DibToRgb(back.dib)};
      if (HaveProgram(program)) {
        const std::string out = (temp / "ref").string();
        std::filesystem::remove(out + ".ppm");
        ASSERT_EQ(RunCommand(Filled(c.decoder, file.string(), out)).status, 0);
        const auto reference = DecodeWithImageMagick(std::filesystem::exists(out + ".ppm") ? out + ".ppm" : out + ".png");
        ASSERT_TRUE(reference);
        decoded.push_back(*reference);
      }
      for (const RgbImage& image : decoded) {
        if (c.lossless) {
          EXPECT_TRUE(SameImage(image, expected, 0, bits == 16 ? 5 : 8));
        } else {
          EXPECT_LT(MeanDifference(image, expected), 12.0);  // sharp drawn edges, colour at half resolution
        }
      }
    }
  }
}

}  // namespace
}  // namespace ravelle::test
