// Bringing the viewer's menu in line with the shown image: which colour commands make sense for
// the image and the display, what the BMP and TIFF entries offer, and the Center/Tile label.
#pragma once

#include <string_view>

#include "port/port.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"

namespace ravelle {

// The menu item holding a writer's Convert/Save command (by its ravelle-cli name), or the
// sub-menu `up` levels above it; the format entries are found through the format registry.
MenuPath WriterMenuPath(std::string_view cliName, int up = 0);

// Positions of the menu items the menu logic addresses.
namespace menu {
inline const MenuPath kCenterTile{2};
inline const MenuPath kCopyPicture{0, 9};  // after About, so that no earlier item moves
inline const MenuPath kConvertSave{5};
inline const MenuPath kTools{6};
inline const MenuPath kBmpRle = WriterMenuPath("bmp-rle");
inline const MenuPath kBmpBitfields = WriterMenuPath("bmp-bitfields", 1);
inline const MenuPath kBitfields555 = WriterMenuPath("bmp-bitfields");
inline const MenuPath kBitfields565 = WriterMenuPath("bmp-bitfields-565");
inline const MenuPath kJpg = WriterMenuPath("jpeg", 1);
inline const MenuPath kTiffHuffman = WriterMenuPath("tiff-huffman", 1);
inline const MenuPath kTiffGroup3 = WriterMenuPath("tiff-g3", 1);
inline const MenuPath kTiffGroup4 = WriterMenuPath("tiff-g4", 1);
inline const MenuPath kBrighten{6, 0};
inline const MenuPath kDarken{6, 1};
inline const MenuPath kTrueColor{6, 10};
inline const MenuPath kBest256{6, 11};
inline const MenuPath kBest32{6, 12};
inline const MenuPath kBest16{6, 13};
inline const MenuPath kStandard256{6, 15};
inline const MenuPath kNetscape216{6, 16};
inline const MenuPath kStandard16{6, 17};
inline const MenuPath kGrayscale{6, 18};
}  // namespace menu

// Rebuilds the states and labels of the items above from the image, the display depth, the
// tile mode and MonochromeChosen, then redraws the menu bar.
void UpdateViewerMenu(const CurrentImage& image, const ShellState& shell, Port& port);

}  // namespace ravelle
