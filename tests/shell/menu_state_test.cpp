#include "shell/menu_state.h"

#include <gtest/gtest.h>

#include "headless/headless_port.h"
#include "resources/menu.h"
#include "support/shell_fixture.h"

namespace ravelle {
namespace {

using test::DrawDib;

class MenuStateTest : public ::testing::Test {
 protected:
  // A loaded bitmap as the record holds it after loading, and the menu brought up to date.
  void Show(int bitCount, int colorsUsed, int displayDepth = 24) {
    image.Kind = ImageKind::Bitmap;
    image.Handle = DrawDib(8, 8, bitCount, test::Palette::Gray, bitCount <= 8 ? static_cast<uint32_t>(colorsUsed) : 0);
    image.BitCount = bitCount;
    image.ColorsUsed = colorsUsed;
    image.DisplayDepth = displayDepth;
    Update();
  }
  void Update() { UpdateViewerMenu(image, shell, port); }
  bool Enabled(const MenuPath& path) const {
    const MenuItem* item = MenuItemAt(port.menu, path);
    EXPECT_NE(item, nullptr);
    return item != nullptr && !item->grayed;
  }
  // Every item of `paths` is enabled, or every one greyed.
  void ExpectEnabled(bool enabled, std::initializer_list<MenuPath> paths) const {
    for (const MenuPath& path : paths) EXPECT_EQ(Enabled(path), enabled) << Label(path);
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
  const std::pair<MenuPath, const char*> items[] = {
      {menu::kTools, "T&ools"}, {menu::kNetscape216, "216 &Netscape Colors"}, {menu::kGrayscale, "&Grayscale (256 Colors)"},
      {menu::kTiffGroup4, "     Group &4 Fax (4) (monochrome only)"}, {menu::kJpg, "&JPG"}, {menu::kBitfields565, "RGB 5 &6 5"},
      {menu::kTiffHuffman, "     &Huffman RLE (2) (monochrome only)"},
      {{5, 7, 8, 1}, "&Tile"},  // Packbits' tiles command, labelled alone in the singular
  };
  for (const auto& [path, label] : items) EXPECT_EQ(Label(path), label);
  EXPECT_TRUE(MenuItemAt(port.menu, {5, 7, 0})->grayed);
  EXPECT_EQ(FindMenuCommand(port.menu, 161)->label, "&Tiles");
}

TEST_F(MenuStateTest, TheDisplayAndTheImagesColoursDecideTheColourCommands) {
  Show(24, 0, 4);  // a palette display greys the best colours and brightness
  ExpectEnabled(false, {menu::kTrueColor, menu::kBest256, menu::kBest32, menu::kBest16, menu::kStandard256,
                        menu::kNetscape216, menu::kBrighten, menu::kDarken});
  ExpectEnabled(true, {menu::kStandard16});
  EXPECT_EQ(Label(menu::kGrayscale), "&Grayscale (4 colors)");
  EXPECT_EQ(port.menuBarDraws, 1);

  Show(24, 0);
  ExpectEnabled(true, {menu::kTrueColor, menu::kBest256, menu::kBest32, menu::kBest16, menu::kStandard256,
                       menu::kNetscape216, menu::kStandard16, menu::kBrighten, menu::kConvertSave});
  ExpectEnabled(false, {menu::kBmpRle, menu::kBmpBitfields, menu::kTiffGroup3});
  EXPECT_EQ(Label(menu::kGrayscale), "&Grayscale (256 colors)");
  EXPECT_EQ(Label(menu::kBmpRle), "&RLE Compression");
  Show(24, 0, 8);  // True Color needs more than 8 bits of display
  ExpectEnabled(false, {menu::kTrueColor});
  ExpectEnabled(true, {menu::kBest256});

  Show(8, 20);  // few colours grey the best-colour commands that would not reduce
  ExpectEnabled(false, {menu::kBest256, menu::kTrueColor});
  ExpectEnabled(true, {menu::kBest32, menu::kBest16});
  Show(8, 0);  // an empty colours-used field says nothing
  ExpectEnabled(true, {menu::kBest256});
  Show(4, 16);
  ExpectEnabled(false, {menu::kBest256, menu::kBest32});
}

TEST_F(MenuStateTest, BlackAndWhiteImagesAndMonochromeOfferTheFaxCompressions) {
  Show(1, 1);
  ExpectEnabled(true, {menu::kTiffHuffman, menu::kTiffGroup4});
  ExpectEnabled(false, {menu::kBest16, menu::kStandard256, menu::kStandard16, menu::kBrighten});
  shell.MonochromeChosen = true;
  Show(8, 2);
  ExpectEnabled(true, {menu::kTiffGroup3, menu::kBrighten});
}

TEST_F(MenuStateTest, MetafilesGreyConvertAndTools) {
  image.Kind = ImageKind::WindowsMetafile;
  Update();
  ExpectEnabled(false, {menu::kConvertSave, menu::kTools});
  ExpectEnabled(true, {menu::kBmpRle});
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
    EXPECT_EQ(Enabled(menu::kBmpRle), c.rle) << c.bits;
    EXPECT_EQ(Label(menu::kBmpRle), c.rleLabel) << c.bits;
    EXPECT_EQ(Enabled(menu::kBmpBitfields), c.bitfields) << c.bits;
    EXPECT_EQ(Label(menu::kBitfields555), c.first) << c.bits;
    EXPECT_TRUE(Enabled(menu::kBitfields555));
  }

  // Reduced for an 8-bit display only: the BMP entries describe the unreduced 24-bit image.
  image.SavedImage = DrawDib(8, 8, 24);
  Show(8, 0, 8);
  EXPECT_FALSE(Enabled(menu::kBmpRle));
  image.ReductionApplied = true;  // reduced on request: the reduced image is written
  Update();
  EXPECT_EQ(Label(menu::kBmpRle), "&RLE8 Compression");
}

}  // namespace
}  // namespace ravelle
