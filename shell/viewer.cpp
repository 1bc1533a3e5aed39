#include "shell/viewer.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>

#include "shell/adapt_to_display.h"
#include "shell/browser.h"
#include "shell/convert_image.h"
#include "shell/file_operation.h"
#include "shell/full_screen.h"
#include "shell/print.h"
#include "shell/slideshow.h"
#include "shell/tool_commands.h"
#include "shell/step.h"

namespace ravelle {
namespace {

bool IsAnimated(ImageKind kind) {
  return kind == ImageKind::AnimatedGif || kind == ImageKind::IconSequence || kind == ImageKind::AnimatedCursor;
}

// Whether there is something to print or show full screen.
bool HasImage(const CurrentImage& image) {
  return image.Handle || image.Metafile || image.Kind == ImageKind::AnimatedGif;
}

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The animation stops while the shown file is deleted or moved, and starts again when the file
// stays. (The file's bytes are in memory, so nothing holds the file itself open.)
struct PausedAnimation {
  bool wasRunning = false;
};

PausedAnimation PauseAnimation(CurrentImage& image, Port& port) {
  PausedAnimation paused;
  if (IsAnimated(image.Kind) && image.Timer) {
    port.KillAnimationTimer();
    image.Timer = false;
    paused.wasRunning = true;
  }
  return paused;
}

void ResumeAnimation(CurrentImage& image, Port& port, const PausedAnimation& paused) {
  if (!paused.wasRunning) return;
  port.StartAnimationTimer(AnimationPeriod(image));
  image.Timer = true;
}

// Where the shown file is: its name in the folder it was loaded from.
std::filesystem::path ShownFile(const CurrentImage& image, const ShellState& shell) {
  return std::filesystem::path(shell.ImageFolder) / image.FilePath;
}

// The selection of the file list, when the list shows the folder of the shown file; -1 when
// the dialog has moved on to another folder, whose list does not hold the file.
int ShownFileListIndex(const ShellState& shell, Port& port) {
  return shell.ImageFolder == CurrentFolder() ? port.FileListSelection() : -1;
}

// The file is gone from the list's folder: the image is released, its list entry removed, and
// the file that followed it is shown; an emptied list closes the viewer.
void FileGone(CurrentImage& image, ShellState& shell, Port& port) {
  ReleaseImage(image, port);
  image.Kind = ImageKind::FileRemoved;
  image.InfoText.clear();
  image.FilePath.clear();
  if (shell.ListIndex != -1) port.FileListDelete(shell.ListIndex);
  port.FileNameBoxUndo();
  if (port.FileListCount() > 0) {
    // With no entry of its own (-1), nothing is selected and the viewer is left empty.
    port.FileListSelect(shell.ListIndex == 0 ? port.FileListCount() - 1 : shell.ListIndex - 1);
    shell.StepDirection = 1;
    port.BeginWaitCursor();
    LoadAdjacentFile(image, shell, port);
    port.EndWaitCursor();
  } else {
    CloseViewer(image, shell, port);
  }
}

void DeleteFlow(CurrentImage& image, ShellState& shell, Port& port) {
  const Message confirm{"Are you sure? \n\n\nDelete File " + image.FilePath + "?", " CONFIRM DELETE FILE ",
                        kMbYesNoCancel | kMbIconExclamation};
  if (port.ShowMessage(Owner::Viewer, confirm) != Answer::Yes) return;
  shell.ListIndex = ShownFileListIndex(shell, port);
  const PausedAnimation paused = PauseAnimation(image, port);
  std::error_code error;
  const bool deleted = !image.FilePath.empty() && std::filesystem::remove(ShownFile(image, shell), error) && !error;
  if (!deleted) {
    port.ShowMessage(Owner::Viewer, {"Unable to Delete: \n\n " + image.FilePath, "", kMbOk});
    ResumeAnimation(image, port, paused);
    return;
  }
  FileGone(image, shell, port);
}

void MoveOrRenameFlow(CurrentImage& image, ShellState& shell, Port& port, FileMode mode) {
  const PausedAnimation paused = PauseAnimation(image, port);
  if (!FileOperation(port, shell.ImageFolder, image.FilePath, LowerCase(image.Extension), mode)) {
    ResumeAnimation(image, port, paused);
    return;
  }
  // Taken after the operation: a new name added to the sorted list may have moved the entry.
  shell.ListIndex = ShownFileListIndex(shell, port);
  FileGone(image, shell, port);
}

void ToggleCenterTile(ShellState& shell, Port& port) {
  if (shell.TileMode == 0) {
    shell.TileMode = 1;
    port.SetMenuItemLabel({2}, "&Center");
  } else {
    shell.TileMode = 0;
    port.SetMenuItemLabel({2}, "&Tile");
  }
  port.RepaintViewer();
  port.DrawMenuBar();
}

}  // namespace

void OpenViewerWindow(CurrentImage& image, const ShellState& shell, Port& port, const std::string& caption) {
  image.Viewer = true;
  port.OpenViewer(caption, shell.ViewerStyle, shell.ViewerRect);
}

void ReturnToDialog(ShellState& shell, Port& port) {
  shell.ViewerStyle = port.ViewerMaximized() ? kViewerStyleMaximized : kViewerStyleNormal;
  port.ActivateDialog();
}

void ViewerCloseSteps(CurrentImage& image, ShellState&, Port& port) {
  port.Help(HelpCommand::Quit, 0);
  // Brightness is undone on every image that stays shown, including one reduced only for a
  // palette display (whose unreduced image is kept beside it); a reduction the user asked for
  // is dropped below together with its brightness.
  const bool reductionUndone = image.SavedImage && image.ReductionApplied;
  if (!reductionUndone && image.BrightnessLevel != 0) UndoBrightness(image);
  if (reductionUndone) {
    image.Handle = std::move(image.SavedImage);
    image.SavedImage = PackedDib();
    image.BrightnessLevel = 0;
    if (image.Kind == ImageKind::Bitmap) AdaptToDisplay(image, port);
  }
  if (!image.FrameTools.empty()) {  // an animated GIF shows its frames as they are again
    image.FrameTools.clear();
    ShowGifFrame(image);
  }
  port.RepaintDialog();
  if (image.Kind == ImageKind::Bitmap && image.PendingOrientation != 0) UndoOrientation(image);
  image.PendingOrientation = 0;
  image.ReductionApplied = false;
  image.Viewer = false;
}

void CloseViewer(CurrentImage& image, ShellState& shell, Port& port) {
  if (!image.Viewer) return;
  ReturnToDialog(shell, port);
  port.DestroyViewer();
  ViewerCloseSteps(image, shell, port);
}

void ViewerCommand(CurrentImage& image, ShellState& shell, Port& port, int id) {
  if (const auto format = ConvertCommandFormat(id)) {
    const ConvertSource source = ImageToConvert(image);
    ConvertImage(*source.image, source.kind, port, image.FilePath, *format);
    return;
  }
  const auto command = static_cast<CommandId>(id);
  if (std::ranges::find(kCommandIds, command) == std::end(kCommandIds)) return;  // no command of the menu
  if (IsToolCommand(command)) {
    RunToolCommand(image, shell, port, command);
    return;
  }
  switch (command) {
    case CommandId::CloseFile:
      CloseViewer(image, shell, port);
      break;
    case CommandId::PrintNormal: case CommandId::PrintLarge: case CommandId::PrintTiled:
      if (HasImage(image)) PrintImage(image, port, {command == CommandId::PrintLarge, command == CommandId::PrintTiled});
      break;
    case CommandId::FullScreen:
      if (HasImage(image)) OpenFullScreenWindow(image, shell, port);
      break;
    case CommandId::CenterTile:
      ToggleCenterTile(shell, port);
      break;
    case CommandId::About:
      port.ShowAbout();
      break;
    case CommandId::FileInfo:
      port.ShowMessage(Owner::Viewer, {FileInfoText(image), image.FilePath, kMbIconInformation});
      break;
    case CommandId::DeleteFile:
      DeleteFlow(image, shell, port);
      break;
    case CommandId::Slideshow:
      OpenSlideshowWindow(image, port);
      break;
    case CommandId::NextFile: case CommandId::LastFile:
      shell.StepDirection = command == CommandId::NextFile ? 1 : 0;
      // With nothing selected (the dialog has just changed folder) Next File starts at the list's
      // first file and Last File at its last, rather than finding nothing to step from.
      if (port.FileListSelection() < 0 && port.FileListCount() > 0) {
        port.FileListSelect(shell.StepDirection == 1 ? port.FileListCount() - 1 : 0);
      }
      port.BeginWaitCursor();
      LoadAdjacentFile(image, shell, port);
      port.EndWaitCursor();
      break;
    case CommandId::Help:
      port.Help(HelpCommand::Contents, 0);
      break;
    case CommandId::MoveFile:
      MoveOrRenameFlow(image, shell, port, FileMode::Move);
      break;
    case CommandId::RenameFile:
      MoveOrRenameFlow(image, shell, port, FileMode::Rename);
      break;
    case CommandId::CopyFile:
      FileOperation(port, shell.ImageFolder, image.FilePath, LowerCase(image.Extension), FileMode::Copy);
      break;
    case CommandId::CopyPicture: {
      // The picture shown: an animation's frame as it is now, the raster of every other kind.
      const PackedDib& shown = image.Kind == ImageKind::AnimatedGif ? image.FrameDib : image.Handle;
      if (shown) port.CopyPicture(shown);
      break;
    }
    default:
      break;
  }
}

}  // namespace ravelle
