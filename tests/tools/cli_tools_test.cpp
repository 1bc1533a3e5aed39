// ravelle-cli convert --apply: every Tools command run without a display.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "formats/dib/bmp_writer.h"
#include "platform/headless/headless_port.h"
#include "shell/load.h"
#include "support/test_support.h"
#include "tools/test_images.h"
#include "tools/transform.h"

namespace ravelle {
namespace {

using test::RgbImage;

constexpr const char* kToolNames[] = {"rotate90", "rotate180", "rotate270", "flip-lr", "flip-tb", "invert",
                                      "brighten", "darken", "truecolor", "best256", "best32", "best16",
                                      "std256", "web216", "std16", "gray", "mono", "restore"};

class CliToolsTest : public testing::Test {
 protected:
  void SetUp() override {
    input_ = test::RandomImage(37, 23, 24, 31);
    std::FILE* out = std::fopen((dir_ / "in.bmp").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_TRUE(WriteBmp(input_, out));
    std::fclose(out);
  }

  int Convert(const std::string& tools, const std::string& extra = "") {
    const std::string command = std::string(RAVELLE_CLI) + " convert " + test::Quote((dir_ / "in.bmp").string()) + " " +
                                test::Quote((dir_ / "out.bmp").string()) + " --to bmp " + tools + " " + extra +
                                " >/dev/null 2>&1";
    return test::RunCommand(command).status;
  }

  PackedDib Output() {
    HeadlessPort port;
    CurrentImage image;
    ReadImageFile(image, port, (dir_ / "out.bmp").string());
    return std::move(image.Handle);
  }

  test::TempDir dir_;
  PackedDib input_;
};

TEST_F(CliToolsTest, EveryToolNameConvertsToAReadableBitmap) {
  for (const char* name : kToolNames) {
    std::filesystem::remove(dir_ / "out.bmp");
    ASSERT_EQ(Convert(std::string("--apply ") + name), 0) << name;
    const PackedDib out = Output();
    ASSERT_TRUE(out) << name;
    const bool turned = std::string(name) == "rotate90" || std::string(name) == "rotate270";
    EXPECT_EQ(out.Width(), turned ? 23 : 37) << name;
  }
  EXPECT_EQ(Convert("--apply sharpen"), 2);
}

TEST_F(CliToolsTest, ToolsDoWhatTheViewerDoes) {
  ASSERT_EQ(Convert("--apply rotate90"), 0);
  PackedDib expected = input_.Clone();
  int state = 0;
  ASSERT_EQ(TransformImage(expected, TransformCode::Rotate90, state), TransformStatus::Done);
  EXPECT_EQ(test::DibToRgb(Output()), test::DibToRgb(expected));

  ASSERT_EQ(Convert("--apply rotate90 --apply invert --apply flip-tb --apply restore"), 0);
  EXPECT_EQ(test::DibToRgb(Output()), test::DibToRgb(input_));

  ASSERT_EQ(Convert("--apply best16"), 0);
  PackedDib sixteen = Output();
  EXPECT_EQ(sixteen.BitCount(), 4);
  EXPECT_LE(sixteen.Colors().size(), 16u);

  ASSERT_EQ(Convert("--apply mono"), 0);
  EXPECT_EQ(Output().BitCount(), 1);

  ASSERT_EQ(Convert("--apply gray"), 0);
  const RgbImage gray = test::DibToRgb(Output());
  for (std::size_t i = 0; i < gray.rgb.size(); i += 3) {
    ASSERT_EQ(gray.rgb[i], gray.rgb[i + 1]);
    ASSERT_EQ(gray.rgb[i], gray.rgb[i + 2]);
  }
}

TEST_F(CliToolsTest, APaletteDisplayReducesOnlyWhatIsShown) {
  // Reduced for an 8-bit display, the image is still written unreduced; a chosen reduction is
  // written as chosen.
  ASSERT_EQ(Convert("", "--display-depth 8"), 0);
  EXPECT_EQ(test::DibToRgb(Output()), test::DibToRgb(input_));
  ASSERT_EQ(Convert("--apply rotate180", "--display-depth 8"), 0);
  EXPECT_EQ(Output().BitCount(), 24);
  ASSERT_EQ(Convert("--apply std16", "--display-depth 4"), 0);
  EXPECT_EQ(Output().BitCount(), 4);
}

TEST_F(CliToolsTest, ImageMagickReadsTheReducedFiles) {
  if (!test::HaveProgram("/usr/bin/convert")) GTEST_SKIP() << "no ImageMagick";
  for (const char* name : {"best256", "web216", "mono"}) {
    ASSERT_EQ(Convert(std::string("--apply ") + name), 0);
    const auto decoded = test::DecodeWithImageMagick(dir_ / "out.bmp");
    ASSERT_TRUE(decoded) << name;
    EXPECT_EQ(*decoded, test::DibToRgb(Output())) << name;
  }
}

}  // namespace
}  // namespace ravelle
