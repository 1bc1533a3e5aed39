// ravelle-cli's interface is relied on by scripts: its output, its exit status and its refusals.

#include <gtest/gtest.h>

#include "formats/dib/bmp_builder.h"
#include "formats/dib/dib_reader.h"
#include "shell/convert.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using test::Quote;
using test::RunCommand;

class CliTest : public ::testing::Test {
 protected:
  test::CommandResult Cli(const std::string& args) { return RunCommand(std::string(RAVELLE_CLI) + " " + args + " 2>&1"); }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto path = temp / name;
    test::WriteBytes(path, bytes);
    return path.string();
  }

  std::string EightBitBmp() {
    test::BmpFields f;
    f.width = 4;
    f.height = 2;
    f.bits = 8;
    f.clrUsed = 3;
    return Write("pal.bmp", test::WindowsBmp(f, {0, 0, 0, 0, 1, 2, 3, 0, 9, 9, 9, 0}, {0, 1, 2, 2, 2, 2, 1, 0}));
  }

  test::TempDir temp;
};

TEST_F(CliTest, InfoPrintsTheFileInformationOfEachFile) {
  const std::string bmp = EightBitBmp();
  auto r = Cli("info " + Quote(bmp));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "image type: Windows DIB \nwidth: 4 \nheight: 2 \nplanes: 1 \nbit count: 8 \ncompression: BI_RGB \n");

  // The OS/2 text has no final line feed; one is added. A file that cannot be read makes the
  // status 1 and says why on standard error.
  const std::string os2 = Write("os2.bmp", test::Os2Bmp(1, 1, 24, {}, {1, 2, 3, 0}));
  const std::string junk = Write("junk.xyz", {1, 2, 3});
  r = Cli("info " + Quote(os2) + " " + Quote(junk) + " " + Quote(bmp));
  EXPECT_EQ(r.status, 1);
  const std::string os2Text = ReadOs2Dib(test::ReadBytes(os2)).infoText;
  EXPECT_NE(r.out.find("==> " + os2 + " <==\n" + os2Text + "\n==> " + junk + " <==\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(junk + ": not an image"), std::string::npos);
  EXPECT_NE(r.out.find("==> " + bmp + " <==\nimage type: Windows DIB"), std::string::npos);

  r = Cli("info " + Quote((temp / "missing.bmp").string()));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Error Opening File\n");
}

TEST_F(CliTest, ConvertWritesTheFileAndReportsItsSize) {
  const std::string out = (temp / "out.bmp").string();
  auto r = Cli("convert " + Quote(EightBitBmp()) + " " + Quote(out) + " --to bmp-rle");
  ASSERT_EQ(r.status, 0) << r.out;
  const auto size = std::filesystem::file_size(out);
  EXPECT_EQ(r.out, out + ": " + std::to_string(size) + " bytes\n");
  // Three colours were packed into four bits when the file was loaded: RLE4 is written.
  const ReadResult back = ReadWindowsDib(test::ReadBytes(out));
  ASSERT_TRUE(back.dib);
  EXPECT_NE(back.infoText.find("BI_RLE4"), std::string::npos);
  EXPECT_EQ(back.dib.Row(1)[0], 0x22);
  EXPECT_EQ(back.dib.Row(1)[1], 0x10);
}

TEST_F(CliTest, FailedConversionsSayWhyAndKeepTheOldFile) {
  test::BmpFields f;
  f.width = 2;
  f.bits = 24;
  const std::string deep = Write("deep.bmp", test::WindowsBmp(f, {}, {1, 2, 3, 4, 5, 6, 0, 0}));
  const std::string target = Write("keep.bmp", {42});
  auto r = Cli("convert " + Quote(deep) + " " + Quote(target) + " --to bmp-rle");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Error Converting File\n");
  EXPECT_EQ(test::ReadBytes(target), std::vector<uint8_t>{42});

  r = Cli("convert " + Quote(deep) + " " + Quote((temp / "no" / "x.bmp").string()) + " --to bmp");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Error Creating File\n");

  r = Cli("convert " + Quote(Write("junk.bmp", {'B', 'M', 0})) + " " + Quote(target) + " --to bmp");
  EXPECT_EQ(r.status, 1);
}

TEST_F(CliTest, BadArgumentsAndMissingFeaturesExitWith2) {
  const std::string in = EightBitBmp();
  const std::string out = (temp / "o").string();
  EXPECT_EQ(Cli("").status, 2);
  EXPECT_EQ(Cli("frobnicate").status, 2);
  EXPECT_EQ(Cli("info").status, 2);
  EXPECT_EQ(Cli("convert " + Quote(in) + " " + Quote(out)).status, 2);
  EXPECT_EQ(Cli("convert " + Quote(in) + " " + Quote(out) + " --to webp").status, 2);
  EXPECT_EQ(Cli("convert " + Quote(in) + " " + Quote(out) + " --to bmp --apply sharpen").status, 2);
  EXPECT_EQ(Cli("convert " + Quote(in) + " " + Quote(out) + " --to bmp --display-depth 0").status, 2);
  EXPECT_EQ(Cli("convert " + Quote(in) + " --to bmp").status, 2);
  if (!FormatAvailable(kFormatGif)) {
    const auto r = Cli("convert " + Quote(in) + " " + Quote(out) + " --to gif-interlaced");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("not available"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(out));

  auto r = Cli("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("tiff-deflate"), std::string::npos);
  r = Cli("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("ravelle-cli ", 0), 0u);
}

}  // namespace
}  // namespace ravelle
