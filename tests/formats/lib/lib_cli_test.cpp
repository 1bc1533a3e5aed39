// ravelle-cli with JPEG, PNG and TIFF files: the information text as File Info shows it, and
// every writer variant of Convert/Save.
#include <gtest/gtest.h>

#include "formats/dib/bmp_writer.h"
#include "formats/lib/jpeg_file.h"
#include "formats/lib/lib_fixtures.h"
#include "formats/lib/png_file.h"
#include "formats/lib/tiff_file.h"

namespace ravelle::test {
namespace {

std::string Cli(const std::string& arguments) {
  return RunCommand(std::string(RAVELLE_CLI) + " " + arguments + " 2>/dev/null").out;
}

TEST(LibraryFormatsCli, InfoPrintsTheInformationText) {
  TempDir dir;
  const PackedDib image = DrawDib(20, 10, 24);
  ASSERT_TRUE(WriteJpegImage(dir / "a.jpg", kJpegQuality, image, true));
  ASSERT_TRUE(WritePngImage(dir / "a.png", image, true));
  ASSERT_TRUE(WriteTiffImage(dir / "a.tif", 5, true, image));
  EXPECT_EQ(Cli("info " + Quote((dir / "a.jpg").string())),
            "image type: JPEG \nwidth: 20 \nheight: 10 \ncolor components: 3 \ncolor space: Y/Cb/Cr \n"
            "progressive file structure\n");
  EXPECT_EQ(Cli("info " + Quote((dir / "a.png").string())),
            "image type: PNG \nwidth: 20 \nheight: 10 \nbit depth: 8 \ncolor type: RGB truecolor \n"
            "interlace type: adam7 \nimage gamma: 0.45 \n");
  EXPECT_EQ(Cli("info " + Quote((dir / "a.tif").string())),
            "file type: TIFF \nwidth: 20 \nheight: 10 \nphotometric interpretation: \n     RGB color model \n"
            "compression: \n     Lempel-Ziv  & Welch \nbits per sample: 8 \nsamples per pixel: 3 \norientation: 1 \n"
            "differencing predictor: 2 \nplanar configuration: 1 \ntile width: 32 \ntile height: 32\n");
}

TEST(LibraryFormatsCli, ConvertWritesEveryVariant) {
  TempDir dir;
  const auto source = dir / "in.bmp";
  {
    std::FILE* out = std::fopen(source.c_str(), "wb");
    ASSERT_TRUE(WriteBmp(DrawDib(33, 17, 24), out));
    std::fclose(out);
  }
  std::vector<std::string> names = {"jpeg", "jpeg-progressive", "png", "png-adam7"};
  for (const char* tiff : {"tiff-none", "tiff-lzw", "tiff-jpeg", "tiff-packbits", "tiff-deflate"}) {
    names.push_back(tiff);
    names.push_back(std::string(tiff) + "-tiles");
  }
  const RgbImage expected = DibToRgb(DrawDib(33, 17, 24));
  for (const std::string& name : names) {
    const auto out = dir / ("out-" + name);
    const auto result = RunCommand(std::string(RAVELLE_CLI) + " convert " + Quote(source.string()) + " " +
                                   Quote(out.string()) + " --to " + name + " 2>/dev/null");
    ASSERT_EQ(result.status, 0) << name;
    const auto decoded = DecodeWithImageMagick(out);
    if (!decoded) continue;
    const bool lossy = name.find("jpeg") != std::string::npos;
    EXPECT_LT(MeanDifference(*decoded, expected), lossy ? 12.0 : 0.001) << name;
  }
  // A fax compression of a colour image fails and leaves nothing.
  const auto fax = dir / "fax.tif";
  EXPECT_EQ(RunCommand(std::string(RAVELLE_CLI) + " convert " + Quote(source.string()) + " " + Quote(fax.string()) +
                       " --to tiff-g4 2>/dev/null").status, 1);
  EXPECT_FALSE(std::filesystem::exists(fax));
  // Black and white images take the fax compressions.
  {
    std::FILE* out = std::fopen((dir / "bw.bmp").c_str(), "wb");
    ASSERT_TRUE(WriteBmp(DrawDib(33, 17, 1, Palette::WhiteBlack), out));
    std::fclose(out);
  }
  for (const char* name : {"tiff-huffman", "tiff-g3-tiles", "tiff-g4"}) {
    EXPECT_EQ(RunCommand(std::string(RAVELLE_CLI) + " convert " + Quote((dir / "bw.bmp").string()) + " " +
                         Quote((dir / "bw.tif").string()) + " --to " + name + " 2>/dev/null").status, 0) << name;
  }
}

}  // namespace
}  // namespace ravelle::test
