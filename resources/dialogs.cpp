#include "resources/dialogs.h"

#include <algorithm>

namespace ravelle {
namespace {

using K = ControlKind;

constexpr ControlTemplate kBrowserControls[] = {
    {kIdFileNameLabel, K::Static, "File &Name:", {7, 6, 36, 9}},
    {kIdFileNameBox, K::Edit, "", {47, 2, 290, 12}},
    {kIdFileList, K::ListBox, "", {6, 22, 90, 68}},
    {kIdFoldersLabel, K::Static, "&Directories:", {6, 106, 92, 9}},
    {kIdFolderList, K::ListBox, "", {6, 118, 92, 78}},
    {kIdTypeLabel, K::Static, "List Files of &Type:", {6, 210, 90, 9}},
    {kIdTypeCombo, K::ComboBox, "", {6, 220, 90, 36}},
    {kIdDrivesLabel, K::Static, "Dri&ves:", {107, 14, 38, 9}},
    {kIdDrivesCombo, K::ComboBox, "", {107, 23, 92, 68}},
    // The dialog's own OK button carries the command that opens the chosen file; it is never shown.
    {kIdOk, K::PushButton, "Center", {209, 94, 50, 14}, false, true},
    {kIdCenter, K::PushButton, "Center", {208, 22, 50, 12}},
    {kIdTile, K::PushButton, "Tile", {208, 39, 50, 12}},
    {kIdFullScreen, K::PushButton, "Full Screen", {265, 22, 54, 12}},
    {kIdExit, K::PushButton, "Exit", {265, 39, 54, 12}},
    {kIdHelp, K::PushButton, "Help", {149, 39, 50, 12}},
    {kIdReadOnly, K::CheckBox, "&Read Only", {208, 68, 50, 12}, false, false},
    {kIdPreviewPane, K::OwnerDrawButton, "", {122, 57, 216, 200}, true, false},
};

constexpr DialogTemplate kBrowser{kProgramTitle, {0, 0, 352, 262}, kBrowserControls};

constexpr ControlTemplate kAboutControls[] = {
    {1, K::PushButton, "OK", {109, 53, 29, 14}},
    {0, K::Icon, "ICON1", {112, 7, 0, 0}},
    {0, K::Static,
     "Graphics Image Viewer\nand File Converter\n\nVersion 5.32\n(Apr. 2000)\n\nRavelle Graphics",
     {4, 4, 104, 94}},
};

constexpr DialogTemplate kAbout{kProgramTitle, {16, 16, 146, 98}, kAboutControls};

int MulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

}  // namespace

const DialogTemplate& BrowserDialogTemplate() { return kBrowser; }

Rect GrownBrowserControl(const ControlTemplate& control, Size baseUnits, Size growth) {
  Rect r = DialogUnitsToPixels(control.units, baseUnits);
  const int dx = std::max(growth.width, 0);
  const int dy = std::max(growth.height, 0);
  const int left = dx / 3;       // the lists' column
  const int files = dy * 3 / 5;  // the file list's part of the height
  switch (control.id) {
    case kIdFileNameBox: r.width += dx; break;
    case kIdFileList: r.width += left; r.height += files; break;
    case kIdFoldersLabel: r.top += files; r.width += left; break;
    case kIdFolderList: r.top += files; r.width += left; r.height += dy - files; break;
    case kIdTypeLabel: case kIdTypeCombo: r.top += dy; r.width += left; break;
    case kIdPreviewPane: r.left += left; r.width += dx - left; r.height += dy; break;
    case kIdFileNameLabel: break;
    default: r.left += left; break;  // the drives box and the buttons, with the pane's column
  }
  return r;
}
const DialogTemplate& AboutDialogTemplate() { return kAbout; }

Rect DialogUnitsToPixels(Rect units, Size baseUnits) {
  return {MulDiv(units.left, baseUnits.width, 4), MulDiv(units.top, baseUnits.height, 8),
          MulDiv(units.width, baseUnits.width, 4), MulDiv(units.height, baseUnits.height, 8)};
}

}  // namespace ravelle
