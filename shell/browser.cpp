#include "shell/browser.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "formats/registry.h"

#include "formats/common/frame_sequence.h"
#include "resources/dialogs.h"
#include "shell/file_operation.h"
#include "shell/icon_files.h"
#include "shell/load.h"
#include "shell/full_screen.h"
#include "shell/viewer.h"
#include "shell/paint_shown.h"
#include "shell/step.h"
#include "shell/tool_commands.h"
#include "view/metafile_player.h"

namespace ravelle {
namespace {

char Fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// '*' matches any run of characters, '?' any one; case is ignored.
bool Glob(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool PathIs(const std::string& path, bool directory) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return directory ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
}

}  // namespace

// "Images", then each format's own row, then every file.
std::span<const TypeFilter> TypeFilters() {
  static const std::vector<TypeFilter> filters = [] {
    std::vector<TypeFilter> list{{"Images", kImagesPatterns}};
    for (const FormatRow& row : Formats()) {
      if (!row.filterLabel.empty()) list.push_back({row.filterLabel, row.filterPatterns});
    }
    list.push_back({"All Files (*.*)", "*.*"});
    return list;
  }();
  return filters;
}

bool MatchesPatterns(std::string_view name, std::string_view patterns) {
  while (!patterns.empty()) {
    const std::size_t end = patterns.find(';');
    std::string_view pattern = patterns.substr(0, end);
    while (!pattern.empty() && pattern.front() == ' ') pattern.remove_prefix(1);
    while (!pattern.empty() && pattern.back() == ' ') pattern.remove_suffix(1);
    if (pattern == "*.*" || (!pattern.empty() && Glob(pattern, name))) return true;
    if (end == std::string_view::npos) break;
    patterns.remove_prefix(end + 1);
  }
  return false;
}

StartFile CommandLineStart(const std::string& argument) {
  StartFile start;
  if (argument.empty()) return start;
  if (PathIs(argument, true)) {
    start.folder = argument;
    return start;
  }
  const std::size_t slash = argument.find_last_of('/');
  if (slash != std::string::npos) start.folder = slash == 0 ? "/" : argument.substr(0, slash);
  if (PathIs(argument, false)) start.name = argument.substr(slash == std::string::npos ? 0 : slash + 1);
  return start;
}

Rect ComputeViewerRect(Rect workArea) {
  const int R = workArea.left + workArea.width;
  const int B = workArea.top + workArea.height;
  const int left = R / 12;
  const int top = B / 8;
  return {left, top, 9 * R / 10 - left, 5 * B / 6 - top};
}

bool InitBrowser(CurrentImage& image, ShellState& shell, Port& port, const std::string& startName) {
  const Size units = port.DialogBaseUnits();
  image.PreviewBox = {40 * units.width, 20 * units.height};
  image.Kind = ImageKind::NoImage;
  image.SavedImage = PackedDib();
  image.PendingOrientation = 0;
  image.ReductionApplied = false;
  image.Viewer = false;
  shell.FullScreenPending = false;
  shell.ViewerRect = ComputeViewerRect(port.WorkArea());
  shell.ViewerStyle = kViewerStyleNormal;
  if (!startName.empty()) {
    const int exact = port.FileListFindExact(startName);
    if (exact >= 0) {
      port.FileListSelect(exact);
      return true;
    }
    if (port.FileListSelectPrefix(startName)) return true;
  }
  FitPreviewFrame(image, port, 1, 1);
  return false;
}

bool BrowserCommand(CurrentImage& image, ShellState& shell, Port& port, int id) {
  switch (id) {
    case kIdOk: {
      const int selected = port.FileListSelection();
      if (selected < 0) return true;  // nothing chosen: the shown image stays
      ReleaseImage(image, port);
      shell.FullScreenPending = false;
      shell.ImageFolder = CurrentFolder();
      LoadSelectedFile(image, port, port.FileListText(selected), true);
      return true;
    }
    case kIdExit:
      port.Help(HelpCommand::Quit, 0);
      ReleaseImage(image, port);
      port.EndDialog();
      return true;
    case kIdCenter: case kIdFullScreen:
      if (id == kIdFullScreen) shell.FullScreenPending = true;
      if (image.Viewer && !shell.FullScreenPending) {
        shell.TileMode = 0;
        port.RepaintViewer();
        port.RestoreViewer();
        return true;
      }
      port.Help(HelpCommand::Quit, 0);
      if (!image.Viewer) shell.TileMode = 0;
      LoadFullSize(image, port);
      if (shell.FullScreenPending) {
        OpenFullScreenWindow(image, shell, port);
      } else {
        OpenViewerWindow(image, shell, port, ViewerCaption(image));
      }
      return true;
    case kIdTile:
      shell.TileMode = 1;
      if (!image.Viewer) {
        port.Help(HelpCommand::Quit, 0);
        LoadFullSize(image, port);
        OpenViewerWindow(image, shell, port, image.FilePath);
      } else {
        port.RepaintViewer();
        port.RestoreViewer();
      }
      return true;
    case kIdHelp:
      port.Help(HelpCommand::Context, kHelpContextBrowser);
      return true;
    default:
      return false;
  }
}

void FolderChanged(CurrentImage& image, Port& port) {
  port.FileNameBoxReplace("");
  if (image.Viewer || image.FullScreen) return;
  ReleaseImage(image, port);
  image.Kind = ImageKind::NoImage;
  image.FilePath.clear();
  image.FileSize = 0;
  image.InfoText.clear();
  image.LoadStatus = ReadStatus::Ok;
  FitPreviewFrame(image, port, 1, 1);
  port.RepaintDialog();
}

void BrowserTimer(CurrentImage& image, ShellState& shell, Port& port) {
  port.KillAnimationTimer();
  image.Timer = false;
  if (image.Kind == ImageKind::AnimatedCursor) {
    AniSequence& sequence = image.AniTables;
    if (sequence.position >= sequence.steps.size()) sequence.position = 0;
    if (sequence.position < sequence.steps.size()) {
      const AniStep step = sequence.steps[sequence.position];
      if (step.frame >= 0 && static_cast<std::size_t>(step.frame) < sequence.frames.size()) {
        image.Handle = sequence.frames[static_cast<std::size_t>(step.frame)].Clone();
      }
      image.Delay = AniDelay(step.rate);
      ++sequence.position;
    }
  }
  if (image.Kind == ImageKind::AnimatedGif && image.Animation) {
    if (image.Animation->Step()) ShowGifFrame(image);
    image.Delay = image.Animation->Delay();
  } else if (image.Kind == ImageKind::IconSequence) {
    StepIconSequence(image, port);
  } else if (image.Kind != ImageKind::AnimatedCursor) {
    return;
  }
  const PackedDib& shown = image.Kind == ImageKind::AnimatedGif ? image.FrameDib : image.Handle;
  if (shown) {
    port.DrawPreviewImage(shown, image.PreviewFrame);
    const auto drawInto = [&](Owner window, int mode) {
      port.DrawInWindow(window, [&](Surface& surface) { DrawShownFrame(image, shown, surface, mode, false); });
    };
    if (image.Viewer) drawInto(Owner::Viewer, shell.TileMode);
    if (image.FullScreen) drawInto(Owner::FullScreen, shell.TileMode);
    if (image.Slideshow) drawInto(Owner::Slideshow, 0);
  }
  port.StartAnimationTimer(AnimationPeriod(image));
  image.Timer = true;
}

Point PreviewPaneOrigin(Size baseUnits) {
  const Rect pane = DialogUnitsToPixels({122, 57, 216, 200}, baseUnits);
  return {pane.left, pane.top};
}

bool InPreviewPicture(const CurrentImage& image, Point paneOrigin, int x, int y) {
  const Rect& frame = image.PreviewFrame;
  const int left = paneOrigin.x + frame.left;
  const int top = paneOrigin.y + frame.top;
  return x >= left && x <= left + frame.width && y >= top && y <= top + frame.height;
}

Size PreviewBoxFor(Size baseUnits, Size growth) {
  return {40 * baseUnits.width + std::max(growth.width, 0), 20 * baseUnits.height + std::max(growth.height, 0)};
}

void ResizePreview(CurrentImage& image, Port& port, Size box) {
  if (image.PreviewBox == box) return;
  image.PreviewBox = box;
  image.PreviewFrame = PreviewFrameFor(box, image.PreviewFitSize.width, image.PreviewFitSize.height);
  if (!image.Viewer) port.DrawPreviewFrame({0, 0, box.width, box.height}, image.PreviewFrame);
}

std::string PreviewNote(const CurrentImage& image) {
  if (image.Kind != ImageKind::NoImage || image.FilePath.empty()) return {};
  return image.LoadStatus == ReadStatus::NoReader ? "No image" : "Damaged or unreadable file";
}

std::string FileInfoText(const CurrentImage& image) {
  if (image.Kind != ImageKind::NoImage || !image.InfoText.empty()) return image.InfoText;
  const std::size_t slash = image.FilePath.find_last_of('/');
  const std::string name = slash == std::string::npos ? image.FilePath : image.FilePath.substr(slash + 1);
  return "file name: " + name + " \nfile size: " + std::to_string(image.FileSize) + " bytes \nno image ";
}

TypedName ResolveTypedName(std::string_view typed, const std::string& home) {
  while (!typed.empty() && std::isspace(static_cast<unsigned char>(typed.front()))) typed.remove_prefix(1);
  while (!typed.empty() && std::isspace(static_cast<unsigned char>(typed.back()))) typed.remove_suffix(1);
  TypedName result;
  if (typed.empty()) return result;
  std::string path(typed);
  if (!home.empty() && (path == "~" || path.starts_with("~/"))) path = home + path.substr(1);
  if (PathIs(path, true)) {
    result.kind = TypedName::Kind::Folder;
    result.folder = path;
    return result;
  }
  const std::size_t slash = path.find_last_of('/');
  result.name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  if (slash != std::string::npos) result.folder = slash == 0 ? "/" : path.substr(0, slash);
  result.kind = PathIs(path, false) ? TypedName::Kind::File : TypedName::Kind::NotFound;
  return result;
}

void DrawPreviewFrameOn(Surface& surface, Size box, Rect frame) {
  surface.FillRect({-3, -3, box.width + 6, box.height + 6}, surface.ButtonFace());
  surface.FrameRect({frame.left - 3, frame.top - 3, frame.width + 6, frame.height + 6}, kBlack);
  const Rect white{frame.left - 1, frame.top - 1, frame.width + 2, frame.height + 2};
  surface.FillRect(white, kWhite);
  surface.FrameRect(white, kBlack);
}

void PaintPreviewPane(const CurrentImage& image, Surface& surface) {
  DrawPreviewFrameOn(surface, image.PreviewBox, image.PreviewFrame);
  const Rect& frame = image.PreviewFrame;
  const PackedDib* dib = nullptr;
  switch (image.Kind) {
    case ImageKind::Bitmap: case ImageKind::IconSequence: case ImageKind::AnimatedCursor: dib = &image.Handle; break;
    case ImageKind::AnimatedGif: dib = &image.FrameDib; break;
    case ImageKind::WindowsMetafile:
      // A placeable file is mapped onto the frame; a plain one starts at its corner, unscaled.
      if (image.Metafile) {
        PlayWindowsMetafile(surface, *image.Metafile,
                            image.IsPlaceable ? WmfStart{8, {frame.left, frame.top}, {frame.width, frame.height}}
                                              : WmfStart{1, {frame.left, frame.top}, {1, 1}});
      }
      return;
    case ImageKind::EnhancedMetafile:
      PlayEnhancedMetafile(&surface, image.Metafile.get(),
                           {frame.left, frame.top, frame.left + frame.width - 1, frame.top + frame.height - 1}, nullptr,
                           nullptr);
      return;
    default: break;
  }
  if (dib != nullptr && *dib) {
    surface.StretchDib(*dib, frame);
    return;
  }
  const std::string note = PreviewNote(image);
  if (note.empty()) return;
  const Size size = surface.MeasureText(note);
  surface.DrawText(note, {frame.left + (frame.width - size.width) / 2, frame.top + (frame.height - size.height) / 2,
                          size.width, size.height});
}

}  // namespace ravelle
