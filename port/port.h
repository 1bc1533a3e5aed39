// What the image logic needs of a platform, in the logic's own terms. The logic calls these;
// the Qt adapter (the desktop program) and the headless adapter (tests and ravelle-cli)
// implement them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "image/message.h"
#include "port/geometry.h"

namespace ravelle {

class PackedDib;
class Surface;
struct PaletteEntry;

// The window a message box belongs to (None is a box without owner), and the windows the logic
// draws into.
enum class Owner { None, Dialog, PreviewPane, Viewer, FullScreen, Slideshow };

// The screen as the full-screen window sees it: its size and the thickness of scroll bars.
struct ScreenMetrics {
  Size screen{1024, 768};
  int vScrollWidth = 16;   // width of a vertical scroll bar
  int hScrollHeight = 16;  // height of a horizontal scroll bar
};

// The scroll bars of the full-screen window and their largest positions.
struct ScrollBars {
  bool vertical = false;
  bool horizontal = false;
  int rangeX = 0;
  int rangeY = 0;
  friend bool operator==(const ScrollBars&, const ScrollBars&) = default;
};

// An item of the viewer's menu, by position: {5, 0, 1} is the second item of the first
// sub-menu of the sixth menu-bar entry.
using MenuPath = std::vector<int>;

enum class HelpCommand { Context, Contents, Quit };

// The Save As dialog, as the conversions and file operations ask for it.
struct SaveRequest {
  Owner owner = Owner::Viewer;
  std::string title;                                         // empty: the platform's default
  std::vector<std::pair<std::string, std::string>> filters;  // (description, patterns)
  std::string initialName;                                   // what the file-name box starts with
  std::string initialFolder;
  std::string defaultExtension;                              // without the dot
  bool overwritePrompt = false;                              // ask before replacing a file
  bool stayInFolder = false;                                 // no folder list and no drives (rename)
  bool createsFolder = false;                                // a missing last folder is made (move); else refused
  friend bool operator==(const SaveRequest&, const SaveRequest&) = default;
};

class Port {
 public:
  virtual ~Port() = default;

  // --- Messages and cursor ---------------------------------------------------------------
  virtual Answer ShowMessage(Owner owner, const Message& message) = 0;
  // The hourglass while a long operation runs; calls nest.
  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;

  // --- Display facts ---------------------------------------------------------------------
  // Colour depth of the screen in bits per pixel.
  virtual int DisplayDepth() = 0;
  // The browsing dialog's base units (horizontal, vertical) in pixels.
  virtual Size DialogBaseUnits() = 0;
  // The desktop's work area, where windows may open.
  virtual Rect WorkArea() = 0;
  virtual ScreenMetrics Screen() = 0;

  // --- The browsing dialog ---------------------------------------------------------------
  // The preview pane: the grey surround over `box` grown by 3, a black outline 3 pixels
  // outside `frame` and a white rectangle 1 pixel outside it.
  virtual void DrawPreviewFrame(Rect box, Rect frame) = 0;
  // The image stretched (nearest neighbour) into `frame` of the preview pane.
  virtual void DrawPreviewImage(const PackedDib& image, Rect frame) = 0;
  // The dialog's animation timer (identifier 0).
  virtual void StartAnimationTimer(int milliseconds) = 0;
  virtual void KillAnimationTimer() = 0;
  virtual void RepaintDialog() = 0;
  // Ends the dialog and with it the program.
  virtual void EndDialog() = 0;

  // The file list (its entries are names relative to the current folder). Indexes from 0;
  // -1 means none.
  virtual int FileListCount() = 0;
  virtual int FileListSelection() = 0;
  virtual std::string FileListText(int index) = 0;
  virtual void FileListSelect(int index) = 0;
  // Selects the first entry that begins with `prefix` (case ignored); false when none does.
  virtual bool FileListSelectPrefix(const std::string& prefix) = 0;
  virtual int FileListFindExact(const std::string& name) = 0;
  virtual void FileListAdd(const std::string& name) = 0;
  virtual void FileListDelete(int index) = 0;
  // The file-name box: undo its last replacement; replace its selection, undoably.
  virtual void FileNameBoxUndo() = 0;
  virtual void FileNameBoxReplace(const std::string& text) = 0;

  // --- The viewer window -----------------------------------------------------------------
  // Opens the viewer window with the caption, window style (maximised or not) and outer
  // rectangle given; the menu comes with it.
  virtual void OpenViewer(const std::string& caption, uint32_t style, Rect rect) = 0;
  // Destroys the viewer window (the logic runs its close steps itself).
  virtual void DestroyViewer() = 0;
  virtual bool ViewerMaximized() = 0;
  // Brings a minimised viewer back.
  virtual void RestoreViewer() = 0;
  // Activates the dialog and brings it back when minimised.
  virtual void ActivateDialog() = 0;
  virtual void SetViewerCaption(const std::string& caption) = 0;
  virtual void RepaintViewer() = 0;

  // The viewer's menu, addressed by position.
  virtual void SetMenuItemEnabled(const MenuPath& item, bool enabled) = 0;
  virtual void SetMenuItemLabel(const MenuPath& item, const std::string& label) = 0;
  virtual void DrawMenuBar() = 0;

  // Draws into a window outside its paint cycle (animation frames, the stepping load).
  virtual void DrawInWindow(Owner window, const std::function<void(Surface&)>& draw) = 0;

  // --- Other windows and dialogs ---------------------------------------------------------
  // The frameless full-screen window on the screen the viewer is on, with the scroll bars given
  // (each at position 0).
  virtual void OpenFullScreen(const ScrollBars& bars) = 0;
  virtual void DestroyFullScreen() = 0;
  // Moves the full-screen window's scroll bars to these positions and repaints the window.
  virtual void SetFullScreenScroll(Point position) = 0;
  // The screen-sized slideshow window, its repaint, and its timer (identifier 0 on it).
  virtual void OpenSlideshow() = 0;
  virtual void DestroySlideshow() = 0;
  virtual void RepaintSlideshow() = 0;
  virtual void StartSlideTimer(int milliseconds) = 0;
  virtual void KillSlideTimer() = 0;
  // The print dialog, then one page on the chosen printer, drawn by `draw` on a surface of the
  // printable area (its ClientSize) at the printer's dots per inch, in a document of that name.
  // False, with nothing printed, when the dialog was cancelled or the document did not start.
  virtual bool PrintPage(const std::string& documentName, const std::function<void(Surface&)>& draw) = 0;
  // The modal About dialog, owned by the viewer.
  virtual void ShowAbout() = 0;
  // The help window: a context page, the contents, or closing it.
  virtual void Help(HelpCommand command, int context) = 0;
  // The Save As dialog: the chosen full name, or nothing when the user cancelled.
  virtual std::optional<std::string> AskSaveFileName(const SaveRequest& request) = 0;

  // Warnings and errors of the image libraries: kept out of the viewer's terminal, printed by
  // the command-line tool when asked.
  virtual void LogDiagnostic(const std::string& /*text*/) {}
  // Puts a picture on the desktop's clipboard, as PNG and BMP.
  virtual void CopyPicture(const PackedDib& /*picture*/) {}
};

}  // namespace ravelle
