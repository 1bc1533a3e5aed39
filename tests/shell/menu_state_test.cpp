#include "shell/menu_state.h"

#include <gtest/gtest.h>

#include "platform/headless/headless_port.h"
#include "resources/menu.h"
#include "support/shell_fixture.h"

namespace ravelle {
namespace {

using test::MakeImage;

class MenuStateTest : public ::testing::Test {
 protected:
  // A loaded bitmap as the record holds it after loading.
  void Show(int bitCount, int colorsUsed, int displayDepth = 24) {
    image.Kind = ImageKind::Bitmap;
    image.Handle = MakeImage(8, 8, bitCount, bitCount <= 8 ? static_cast<uint32_t>(colorsUsed) : 0);
    image.BitCount = bitCount;
    image.ColorsUsed = colorsUsed;
    image.DisplayDepth = displayDepth;
  }
  void Update() { UpdateViewerMenu(image, shell, port); }
  bool Enabled(const MenuPath& path) const {
    const MenuItem* item = MenuItemAt(port.menu, path);
    EXPECT_NE(item, nullptr);
    return item != nullptr && !item->grayed;
  }
  std::string Label(const MenuPath& path) const {
    const MenuItem* item = MenuItemAt(port.menu, path);
    return item == nullptr ? "<none>" : item->label;
  }

  HeadlessPort port;
  CurrentImage image;
  ShellState shell;
};

TEST_F(MenuStateTest, PositionsNameTheItemsTheyMean) {
  EXPECT_EQ(Label(menu::kTools), "T&ools");
  EXPECT_EQ(Label(menu::kBest256), "&256 Best Colors");
  EXPECT_EQ(Label(menu::kNetscape216), "216 &Netscape Colors");
  EXPECT_EQ(Label(menu::kGrayscale), "&Grayscale (256 Colors)");
  EXPECT_EQ(Label(menu::kTiffGroup4), "     Group &4 Fax (4) (monochrome only)");
  EXPECT_EQ(Label(menu::kBmpRle), "&RLE Compression");
  EXPECT_EQ(Label(menu::kJpg), "&JPG");
  EXPECT_EQ(Label({5, 7, 8, 1}), "&Tile");  // Packbits' tiles command, labelled alone in the singular
  EXPECT_TRUE(MenuItemAt(port.menu, {5, 7, 0})->grayed);
  EXPECT_EQ(FindMenuCommand(port.menu, 161)->label, "&Tiles");
}

TEST_F(MenuStateTest, APaletteDisplayGreysTheBestColoursAndBrightness) {
  Show(24, 0, 4);
  Update();
  for (const MenuPath& item : {menu::kTrueColor, menu::kBest256, menu::kBest32, menu::kBest16, menu::kStandard256,
                               menu::kNetscape216, menu::kBrighten, menu::kDarken}) {
    EXPECT_FALSE(Enabled(item)) << Label(item);
  }
  EXPECT_TRUE(Enabled(menu::kStandard16));
  EXPECT_EQ(Label(menu::kGrayscale), "&Grayscale (4 colors)");
  EXPECT_EQ(port.menuBarDraws, 1);
}

TEST_F(MenuStateTest, ATrueColourImageOnATrueColourDisplay) {
  Show(24, 0);
  Update();
  for (const MenuPath& item : {menu::kTrueColor, menu::kBest256, menu::kBest32, menu::kBest16, menu::kStandard256,
                               menu::kNetscape216, menu::kStandard16, menu::kBrighten, menu::kConvertSave}) {
    EXPECT_TRUE(Enabled(item)) << Label(item);
  }
  EXPECT_EQ(Label(menu::kGrayscale), "&Grayscale (256 colors)");
  EXPECT_FALSE(Enabled(menu::kBmpRle));
  EXPECT_EQ(Label(menu::kBmpRle), "&RLE Compression");
  EXPECT_FALSE(Enabled(menu::kBmpBitfields));
  EXPECT_FALSE(Enabled(menu::kTiffGroup3));

  Show(24, 0, 8);  // True Color needs more than 8 bits of display
  Update();
  EXPECT_FALSE(Enabled(menu::kTrueColor));
  EXPECT_TRUE(Enabled(menu::kBest256));
}

TEST_F(MenuStateTest, FewColoursGreyTheBestColourCommandsThatWouldNotReduce) {
  Show(8, 20);
  Update();
  EXPECT_FALSE(Enabled(menu::kBest256));
  EXPECT_TRUE(Enabled(menu::kBest32));
  EXPECT_TRUE(Enabled(menu::kBest16));
  EXPECT_FALSE(Enabled(menu::kTrueColor));
  Show(8, 0);  // an empty colours-used field says nothing
  Update();
  EXPECT_TRUE(Enabled(menu::kBest256));
  Show(4, 16);
  Update();
  EXPECT_FALSE(Enabled(menu::kBest256));
  EXPECT_FALSE(Enabled(menu::kBest32));
}

TEST_F(MenuStateTest, BlackAndWhiteImagesAndMonochromeOfferTheFaxCompressions) {
  Show(1, 1);
  Update();
  EXPECT_TRUE(Enabled(menu::kTiffHuffman));
  EXPECT_TRUE(Enabled(menu::kTiffGroup4));
  EXPECT_FALSE(Enabled(menu::kBest16));
  EXPECT_FALSE(Enabled(menu::kStandard256));
  EXPECT_FALSE(Enabled(menu::kStandard16));
  EXPECT_FALSE(Enabled(menu::kBrighten));

  Show(8, 2);
  shell.MonochromeChosen = true;
  Update();
  EXPECT_TRUE(Enabled(menu::kTiffGroup3));
  EXPECT_TRUE(Enabled(menu::kBrighten));
}

TEST_F(MenuStateTest, MetafilesGreyConvertAndTools) {
  image.Kind = ImageKind::WindowsMetafile;
  Update();
  EXPECT_FALSE(Enabled(menu::kConvertSave));
  EXPECT_FALSE(Enabled(menu::kTools));
  EXPECT_TRUE(Enabled(menu::kBmpRle));
  EXPECT_EQ(Label(menu::kBitfields555), "RGB &8 8 8");
  EXPECT_EQ(Label(menu::kBitfields565), "RGB &10 10 10");
}

TEST_F(MenuStateTest, TheBmpEntriesFollowTheImageAConversionWouldWrite) {
  const struct {
    int bits;
    bool rle;
    const char* rleLabel;
    bool bitfields;
    const char* first;
  } cases[] = {
      {4, true, "&RLE4 Compression", false, "RGB 5 &5 5"},
      {8, true, "&RLE8 Compression", false, "RGB 5 &5 5"},
      {16, false, "&RLE Compression", true, "RGB 5 &5 5"},
      {32, false, "&RLE Compression", true, "RGB &8 8 8"},
      {1, false, "&RLE Compression", false, "RGB &8 8 8"},  // labels left from the 32-bit case
  };
  for (const auto& c : cases) {
    Show(c.bits, 0);
    Update();
    EXPECT_EQ(Enabled(menu::kBmpRle), c.rle) << c.bits;
    EXPECT_EQ(Label(menu::kBmpRle), c.rleLabel) << c.bits;
    EXPECT_EQ(Enabled(menu::kBmpBitfields), c.bitfields) << c.bits;
    EXPECT_EQ(Label(menu::kBitfields555), c.first) << c.bits;
    EXPECT_TRUE(Enabled(menu::kBitfields555));
  }

  // Reduced for an 8-bit display only: the BMP entries describe the unreduced 24-bit image.
  Show(8, 0, 8);
  image.SavedImage = MakeImage(8, 8, 24);
  Update();
  EXPECT_FALSE(Enabled(menu::kBmpRle));
  image.ReductionApplied = true;  // reduced on request: the reduced image is written
  Update();
  EXPECT_EQ(Label(menu::kBmpRle), "&RLE8 Compression");
}

TEST_F(MenuStateTest, TheCenterTileItemSaysWhatItWillDo) {
  Update();
  EXPECT_EQ(Label(menu::kCenterTile), "&Tile");
  shell.TileMode = 1;
  Update();
  EXPECT_EQ(Label(menu::kCenterTile), "&Center");
}

}  // namespace
}  // namespace ravelle
