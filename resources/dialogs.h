// The dialog templates: the browsing dialog (template 1536) and the About dialog, in dialog
// units. The Qt adapter lays its widgets out from these; dialog units become pixels with the
// dialog font's base units (DialogUnitsToPixels).
#pragma once

#include <span>
#include <string_view>

#include "port/port.h"

namespace ravelle {

enum class ControlKind { Static, Edit, ListBox, ComboBox, PushButton, CheckBox, OwnerDrawButton, Icon };

struct ControlTemplate {
  int id;
  ControlKind kind;
  std::string_view text;
  Rect units;            // x, y, width, height in dialog units
  bool visible = true;
  bool enabled = true;
};

struct DialogTemplate {
  std::string_view caption;
  Rect units;            // position and size in dialog units
  std::span<const ControlTemplate> controls;
};

// Control ids of the browsing dialog.
enum BrowserControl : int {
  kIdOk = 1,
  kIdExit = 2,
  kIdTile = 1009,
  kIdCenter = 1010,
  kIdFullScreen = 1013,
  kIdHelp = 1015,
  kIdPreviewPane = 1008,
  kIdReadOnly = 1040,
  kIdTypeLabel = 1089,
  kIdFileNameLabel = 1090,
  kIdDrivesLabel = 1091,
  kIdFileList = 1120,
  kIdFolderList = 1121,
  kIdTypeCombo = 1136,
  kIdDrivesCombo = 1137,
  kIdFileNameBox = 1152,
  kIdFoldersLabel = 65535,
};

// Template 1536 with the caption the program gives it.
const DialogTemplate& BrowserDialogTemplate();
// The About dialog "ABOUT".
const DialogTemplate& AboutDialogTemplate();

inline constexpr std::string_view kProgramTitle = "Ravelle Graphics' File Viewer";

// Dialog units to pixels: x and width scale by the horizontal base unit / 4, y and height by
// the vertical base unit / 8, each rounded to the nearest pixel.
Rect DialogUnitsToPixels(Rect units, Size baseUnits);

// Where a control of the browsing dialog lies when the dialog is `growth` pixels larger than its
// template: the file and folder lists share the extra height and a third of the extra width, the
// preview pane takes the rest, and the drives box and the buttons keep their size and move with
// the pane's column. With no growth this is the template's place.
Rect GrownBrowserControl(const ControlTemplate& control, Size baseUnits, Size growth);

}  // namespace ravelle
