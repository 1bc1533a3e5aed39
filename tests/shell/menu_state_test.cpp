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
    UpdateViewerMenu(image, shell, port);
  }
  bool Enabled(const MenuPath& path) const {
    const MenuItem* item = MenuItemAt(port.menu, path);
    EXPECT_NE(item, nullptr);
    return item != nullptr && !item->grayed;
  }
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

TEST_F(MenuStateTest, BlackAndWhiteImagesAndMonochromeOfferTheFaxCompressions) {
  Show(1, 1);
  ExpectEnabled(true, {menu::kTiffHuffman, menu::kTiffGroup4});
  ExpectEnabled(false, {menu::kBest16, menu::kStandard256, menu::kStandard16, menu::kBrighten});
  shell.MonochromeChosen = true;
  Show(8, 2);
  ExpectEnabled(true, {menu::kTiffGroup3, menu::kBrighten});
  image = CurrentImage();
  image.Kind = ImageKind::WindowsMetafile;  // metafiles grey Convert and the Tools
  UpdateViewerMenu(image, shell, port);
  ExpectEnabled(false, {menu::kConvertSave, menu::kTools});
}

TEST_F(MenuStateTest, TheBmpEntriesFollowTheImageAConversionWouldWrite) {
  const struct {
    int bits;
    bool rle, bitfields;
  } cases[] = {{4, true, false}, {8, true, false}, {16, false, true}, {1, false, false}};
  for (const auto& c : cases) {
    Show(c.bits, 0);
    EXPECT_EQ(Enabled(menu::kBmpRle), c.rle) << c.bits;
    EXPECT_EQ(Enabled(menu::kBmpBitfields), c.bitfields) << c.bits;
  }
  // Reduced for an 8-bit display only: the BMP entries describe the unreduced 24-bit image.
  image.SavedImage = DrawDib(8, 8, 24);
  Show(8, 0, 8);
  EXPECT_FALSE(Enabled(menu::kBmpRle));
  image.ReductionApplied = true;  // reduced on request: the reduced image is written
  UpdateViewerMenu(image, shell, port);
  EXPECT_TRUE(Enabled(menu::kBmpRle));
}

}  // namespace
}  // namespace ravelle
