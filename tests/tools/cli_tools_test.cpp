// ravelle-cli convert --apply: every Tools command run without a display.
#include <gtest/gtest.h>

#include <cstdio>

#include "formats/dib/bmp_writer.h"
#include "platform/headless/headless_port.h"
#include "shell/load.h"
#include "support/test_support.h"
#include "tools/test_images.h"
#include "tools/transform.h"

namespace ravelle {
namespace {

class CliToolsTest : public testing::Test {
 protected:
  void SetUp() override {
    std::FILE* out = std::fopen((dir_ / "in.bmp").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_TRUE(WriteBmp(input_, out));
    std::fclose(out);
  }

  // Converts in.bmp with the given arguments; the image written, or an empty one.
  PackedDib Convert(const std::string& arguments, int expectedStatus = 0) {
    std::filesystem::remove(dir_ / "out.bmp");
    const std::string command = std::string(RAVELLE_CLI) + " convert " + test::Quote((dir_ / "in.bmp").string()) + " " +
                                test::Quote((dir_ / "out.bmp").string()) + " --to bmp " + arguments + " >/dev/null 2>&1";
    EXPECT_EQ(test::RunCommand(command).status, expectedStatus) << arguments;
    HeadlessPort port;
    CurrentImage image;
    if (std::filesystem::exists(dir_ / "out.bmp")) ReadImageFile(image, port, (dir_ / "out.bmp").string());
    return std::move(image.Handle);
  }

  test::TempDir dir_;
  PackedDib input_ = test::RandomImage(37, 23, 24, 31);
};

TEST_F(CliToolsTest, EveryToolNameConvertsToABitmap) {
  for (const char* name : {"rotate90", "rotate180", "rotate270", "flip-lr", "flip-tb", "invert", "brighten", "darken",
                           "truecolor", "best256", "best32", "best16", "std256", "web216", "std16", "gray", "mono", "restore"}) {
    const PackedDib out = Convert(std::string("--apply ") + name);
    ASSERT_TRUE(out) << name;
    EXPECT_EQ(out.Width(), std::string(name) == "rotate90" || std::string(name) == "rotate270" ? 23 : 37) << name;
  }
  EXPECT_FALSE(Convert("--apply sharpen", 2));
}

TEST_F(CliToolsTest, ToolsDoWhatTheViewerDoes) {
  PackedDib expected = input_.Clone();
  int state = 0;
  TransformImage(expected, TransformCode::Rotate90, state);
  EXPECT_EQ(test::DibToRgb(Convert("--apply rotate90")), test::DibToRgb(expected));
  EXPECT_EQ(test::DibToRgb(Convert("--apply rotate90 --apply invert --apply best16 --apply restore")), test::DibToRgb(input_));
  const PackedDib sixteen = Convert("--apply best16");
  EXPECT_EQ(sixteen.BitCount(), 4);
  EXPECT_LE(sixteen.Colors().size(), 16u);
  EXPECT_EQ(Convert("--apply mono").BitCount(), 1);
  const test::RgbImage gray = test::DibToRgb(Convert("--apply gray"));
  for (std::size_t i = 0; i < gray.rgb.size(); i += 3) ASSERT_TRUE(gray.rgb[i] == gray.rgb[i + 1] && gray.rgb[i] == gray.rgb[i + 2]);
}

TEST_F(CliToolsTest, APaletteDisplayReducesOnlyWhatIsShown) {
  EXPECT_EQ(test::DibToRgb(Convert("--display-depth 8")), test::DibToRgb(input_));
  EXPECT_EQ(Convert("--apply rotate180 --display-depth 8").BitCount(), 24);
  EXPECT_EQ(Convert("--apply std16 --display-depth 4").BitCount(), 4);
}

}  // namespace
}  // namespace ravelle
