// Bringing the viewer's menu in line with the shown image: which colour commands make sense for
// the image and the display, what the BMP and TIFF entries offer, and the Center/Tile label.
#pragma once

#include "platform/port.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"

namespace ravelle {

// Positions of the menu items the menu logic addresses.
namespace menu {
inline const MenuPath kCenterTile{2};
inline const MenuPath kConvertSave{5};
inline const MenuPath kTools{6};
inline const MenuPath kBmpRle{5, 0, 1};
inline const MenuPath kBmpBitfields{5, 0, 2};
inline const MenuPath kBitfields555{5, 0, 2, 0};
inline const MenuPath kBitfields565{5, 0, 2, 1};
inline const MenuPath kJpg{5, 3};
inline const MenuPath kTiffHuffman{5, 7, 3};
inline const MenuPath kTiffGroup3{5, 7, 4};
inline const MenuPath kTiffGroup4{5, 7, 5};
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
