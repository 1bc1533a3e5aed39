// A port without a display, for tests and the command-line tool: it answers message boxes and
// Save As dialogs from a script (OK and Cancel when nothing is queued), keeps the browsing
// dialog's file list and the viewer's menu as plain data, and records every call, so that what
// the user would have seen can be checked afterwards.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "headless/recording_surface.h"
#include "image/packed_dib.h"
#include "port/port.h"
#include "resources/menu.h"

namespace ravelle {

class HeadlessPort : public Port {
 public:
  struct ShownMessage {
    Owner owner;
    Message message;
    std::string viewerCaption;  // the viewer's title when the box came up
    int viewerRepaints = 0;     // and how often it had been repainted by then
  };

  HeadlessPort();

  Answer ShowMessage(Owner owner, const Message& message) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;

  int DisplayDepth() override { return displayDepth; }
  Size DialogBaseUnits() override { return baseUnits; }
  Rect WorkArea() override { return workArea; }
  ScreenMetrics Screen() override { return screen; }

  void DrawPreviewFrame(Rect box, Rect frame) override;
  void DrawPreviewImage(const PackedDib& image, Rect frame) override;
  void StartAnimationTimer(int milliseconds) override;
  void KillAnimationTimer() override;
  void RepaintDialog() override { ++dialogRepaints; }
  void EndDialog() override { dialogEnded = true; }

  int FileListCount() override { return static_cast<int>(fileList.size()); }
  int FileListSelection() override { return selection; }
  std::string FileListText(int index) override;
  void FileListSelect(int index) override;
  bool FileListSelectPrefix(const std::string& prefix) override;
  int FileListFindExact(const std::string& name) override;
  void FileListAdd(const std::string& name) override;
  void FileListDelete(int index) override;
  void FileNameBoxUndo() override;
  void FileNameBoxReplace(const std::string& text) override;

  void OpenViewer(const std::string& caption, uint32_t style, Rect rect) override;
  void DestroyViewer() override;
  bool ViewerMaximized() override { return viewerMaximized; }
  void RestoreViewer() override { ++viewerRestores; }
  void ActivateDialog() override { ++dialogActivations; }
  void SetViewerCaption(const std::string& caption) override { viewerCaption = caption; }
  void RepaintViewer() override { ++viewerRepaints; }

  void SetMenuItemEnabled(const MenuPath& item, bool enabled) override;
  void SetMenuItemLabel(const MenuPath& item, const std::string& label) override;
  void DrawMenuBar() override { ++menuBarDraws; }

  void DrawInWindow(Owner window, const std::function<void(Surface&)>& draw) override;

  void OpenFullScreen(const ScrollBars& bars) override;
  void DestroyFullScreen() override { fullScreenOpen = false; }
  void SetFullScreenScroll(Point position) override;
  void OpenSlideshow() override;
  void DestroySlideshow() override { slideshowOpen = false; }
  void RepaintSlideshow() override { ++slideshowRepaints; }
  void StartSlideTimer(int milliseconds) override { slideTimerPeriod = milliseconds; }
  void KillSlideTimer() override { slideTimerPeriod = 0; }
  bool PrintPage(const std::string& documentName, const std::function<void(Surface&)>& draw) override;
  void ShowAbout() override { ++aboutShown; }
  void Help(HelpCommand command, int context) override { help.emplace_back(command, context); }
  std::optional<std::string> AskSaveFileName(const SaveRequest& request) override;

  void LogDiagnostic(const std::string& text) override { diagnostics.push_back(text); }
  void CopyPicture(const PackedDib& picture) override { clipboard = picture.Clone(); }

  // The surface DrawInWindow draws on for a window (created on first use at `windowSize`).
  RecordingSurface& WindowSurface(Owner window);

  PackedDib clipboard;  // the last picture copied

  // Settings a test may change.
  int displayDepth = 24;
  Size baseUnits{8, 16};
  Rect workArea{0, 0, 1280, 1024};
  ScreenMetrics screen;
  Size windowSize{640, 480};
  bool viewerMaximized = false;
  std::deque<Answer> answers;                          // given to message boxes in turn
  std::deque<std::optional<std::string>> saveAnswers;  // given to Save As dialogs in turn

  // The browsing dialog's file list and file-name box.
  std::vector<std::string> fileList;
  int selection = -1;
  std::string fileNameBox;
  std::string fileNameBoxBefore;  // what an undo brings back

  // The viewer's menu, changed by the menu logic.
  MenuItem menu;

  // What happened.
  std::vector<ShownMessage> messages;
  std::vector<std::string> diagnostics;
  std::vector<std::string> log;  // one line per drawing, cursor, timer and window call
  std::vector<SaveRequest> saveRequests;
  std::vector<std::pair<HelpCommand, int>> help;
  std::vector<std::string> printedDocuments;  // one per print started, cancelled or not
  bool cancelPrint = false;                   // the print dialog is cancelled
  RecordingSurface printedPage{{4800, 6350}};  // the page drawn last (8 x 10.6 inches at 600 dpi)
  std::map<Owner, RecordingSurface> windows;
  int waitDepth = 0;
  int maxWaitDepth = 0;
  int timerPeriod = 0;  // 0 while the animation timer is stopped
  bool viewerOpen = false;
  std::string viewerCaption;
  uint32_t viewerStyle = 0;
  Rect viewerRect;
  int viewerRepaints = 0;
  int viewerRestores = 0;
  int dialogRepaints = 0;
  int dialogActivations = 0;
  bool dialogEnded = false;
  int menuBarDraws = 0;
  int fullScreenOpens = 0;
  bool fullScreenOpen = false;
  ScrollBars fullScreenBars;
  Point scrollPosition;           // of the full-screen window's bars
  int fullScreenRepaints = 0;
  int slideshowOpens = 0;
  bool slideshowOpen = false;
  int slideshowRepaints = 0;
  int slideTimerPeriod = 0;       // 0 while the slideshow's timer is stopped
  int aboutShown = 0;
  Rect lastFrame;
  Rect lastImageFrame;
  int previewImages = 0;
};

}  // namespace ravelle
