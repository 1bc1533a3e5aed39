// The browsing dialog's logic: start-up with a file from the command line, the type filter, the
// buttons, the preview pane and its double-click zone, and the animation timer.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "port/port.h"
#include "port/surface.h"
#include "shell/current_image.h"
#include "shell/shell_state.h"

namespace ravelle {

// The "List Files of Type" filter: a description and its patterns, in order.
struct TypeFilter {
  std::string_view description;
  std::string_view patterns;  // separated by ';'
};
std::span<const TypeFilter> TypeFilters();

// Whether a file name matches one of the ';'-separated patterns (* and ?, case ignored; "*.*"
// matches every name, with or without a dot).
bool MatchesPatterns(std::string_view name, std::string_view patterns);

// A file named on the command line: the folder the dialog opens in ("" for the current one) and
// the name to select ("" when there is no such file).
struct StartFile {
  std::string folder;
  std::string name;
};
StartFile CommandLineStart(const std::string& argument);

// Where viewer windows open, from the desktop's work area.
Rect ComputeViewerRect(Rect workArea);

// The dialog opens: the preview box from the base units, the record and the shell state
// initialised, the viewer's rectangle. With a start file it is selected in the list and the
// result is true: the caller then sends the dialog's OK command (once the dialog is up).
bool InitBrowser(CurrentImage& image, ShellState& shell, Port& port, const std::string& startName);

// The dialog's buttons and commands: OK (load the selected file), Exit, Center, Tile, Full
// Screen, Help. False for any other id.
bool BrowserCommand(CurrentImage& image, ShellState& shell, Port& port, int id);

// One step of the animation timer: the next frame of an animated cursor, drawn into the preview
// and every open window, and the timer set again.
void BrowserTimer(CurrentImage& image, ShellState& shell, Port& port);

// The dialog shows another folder and its list has no selection: nothing of the old folder stays
// chosen. Without a viewer window the shown image is released and the preview emptied; the File
// Name box is cleared either way.
void FolderChanged(CurrentImage& image, Port& port);

// The top-left corner of the preview pane in the dialog at its opening size, in pixels.
Point PreviewPaneOrigin(Size baseUnits);

// Whether a double-click at (x, y) of the dialog lies on the preview picture (edges included),
// the pane's corner being at `paneOrigin`: then it opens the viewer centred.
bool InPreviewPicture(const CurrentImage& image, Point paneOrigin, int x, int y);

// The preview box of a pane grown by `growth` pixels beyond its template size: 40 x 20 base
// units at the opening size, and as much larger as the pane has grown.
Size PreviewBoxFor(Size baseUnits, Size growth);

// The pane has a new size: the box becomes `box` and the shown picture's frame is fitted to it
// again (an animated GIF's too).
void ResizePreview(CurrentImage& image, Port& port, Size box);

// The line the empty preview frame shows for a file that gave no picture: "No image" when no
// type rule took it, "Damaged or unreadable file" when its reader refused it or it could not be
// read; empty when no file was chosen.
std::string PreviewNote(const CurrentImage& image);

// The File Info text: the reader's, or for a file that gave no picture its name, its size and
// "no image".
std::string FileInfoText(const CurrentImage& image);

// What a name typed into the File Name box stands for: a folder to change to, a file (with the
// folder to change to first, "" for the current one), or nothing that exists.
struct TypedName {
  enum class Kind { Empty, Folder, File, NotFound } kind = Kind::Empty;
  std::string folder;
  std::string name;
};
// `home` stands in for a leading "~".
TypedName ResolveTypedName(std::string_view typed, const std::string& home);

// The preview pane's picture: the frame around PreviewFrame and the image stretched into it.
void DrawPreviewFrameOn(Surface& surface, Size box, Rect frame);
void PaintPreviewPane(const CurrentImage& image, Surface& surface);

}  // namespace ravelle
