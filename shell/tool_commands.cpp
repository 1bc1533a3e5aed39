#include "shell/tool_commands.h"

#include "formats/common/frame_sequence.h"
#include "shell/adapt_to_display.h"
#include "shell/image_commands.h"
#include "tools/brightness.h"
#include "tools/transform.h"

namespace ravelle {
namespace {

void Repaint(Port& port) {
  port.RepaintViewer();
  port.RepaintDialog();
}

TransformCode Inverse(TransformCode code) {
  if (code == TransformCode::Rotate90) return TransformCode::Rotate270;
  if (code == TransformCode::Rotate270) return TransformCode::Rotate90;
  return code;
}

// Turns and mirrors: the unreduced image first (so that a later restore puts back an image of
// the same orientation), then the shown one with the orientation state.
void TurnOrMirror(CurrentImage& image, Port& port, TransformCode code) {
  if (image.SavedImage) {
    int unused = 0;
    // When the unreduced image cannot be turned, the shown one is not turned either: the two
    // must keep the same orientation.
    if (TransformImage(image.SavedImage, code, image.Kind, unused, port) != TransformStatus::Done) return;
  }
  const TransformStatus status = TransformImage(image.Handle, code, image.Kind, image.PendingOrientation, port);
  if (status == TransformStatus::NoMemory && image.SavedImage) {
    int unused = 0;
    TransformImage(image.SavedImage, Inverse(code), unused);
  }
  Repaint(port);
}

// Inversion always shows the complement of the unadjusted colours: a brightness adjustment in
// progress is taken off, the kept colours are inverted too, and the level ends at 0.
void InvertColorsCommand(CurrentImage& image, Port& port) {
  if (image.BrightnessLevel != 0) {
    int unused = image.BrightnessLevel;
    AdjustBrightness(image.Handle, image.SavedColors, unused, 0);
    for (RgbQuad& c : image.SavedColors) {
      c.rgbBlue = static_cast<uint8_t>(255 - c.rgbBlue);
      c.rgbGreen = static_cast<uint8_t>(255 - c.rgbGreen);
      c.rgbRed = static_cast<uint8_t>(255 - c.rgbRed);
    }
  }
  if (image.SavedImage) {
    int unused = 0;
    TransformImage(image.SavedImage, TransformCode::InvertColors, image.Kind, unused, port);
  }
  TransformImage(image.Handle, TransformCode::InvertColors, image.Kind, image.PendingOrientation, port);
  if (image.BrightnessLevel != 0) AdjustBrightness(image.Handle, image.SavedColors, image.BrightnessLevel, 0);
  Repaint(port);
}

// Brightness works on a colour table: an image of more than 8 bits is first reduced to its 256
// best colours, the unreduced image kept in SavedImage.
void BrightnessCommand(CurrentImage& image, ShellState& shell, Port& port, int step) {
  if (image.Kind != ImageKind::Bitmap) {
    port.ShowMessage(Owner::None, kNotABitmapMessage);
    return;
  }
  if (!image.SavedImage && image.BitCount > 8) {
    shell.MonochromeChosen = false;
    ReduceColors(image.Handle, image.SavedImage, -256, image.Kind, true, port);
    image.ReductionApplied = true;
  }
  AdjustBrightness(image.Handle, image.SavedColors, image.BrightnessLevel, step);
  Repaint(port);
}

// Run first by every colour command: a brightness change is dropped (undone on the shown image
// when it is not about to be replaced by the unreduced one).
void ColorCommandPrologue(CurrentImage& image, ShellState& shell, bool monochrome) {
  if (!image.SavedImage && image.BrightnessLevel != 0) {
    AdjustBrightness(image.Handle, image.SavedColors, image.BrightnessLevel, 0);
  } else {
    image.BrightnessLevel = 0;
  }
  shell.MonochromeChosen = monochrome;
}

void Reduce(CurrentImage& image, Port& port, int choice) {
  ReduceColors(image.Handle, image.SavedImage, choice, image.Kind, true, port);
  image.ReductionApplied = true;
  Repaint(port);
}

void TrueColorCommand(CurrentImage& image, Port& port) {
  if (image.SavedImage) image.Handle = std::move(image.SavedImage);
  image.ReductionApplied = false;
  if (image.Kind != ImageKind::Bitmap) return;
  // A palette display still needs its reduction; it is made for the display, not chosen.
  if (image.DisplayDepth == 8 && image.BitCount > 8) {
    ReduceColors(image.Handle, image.SavedImage, -256, ImageKind::Bitmap, false, port);
  }
  Repaint(port);
}

void GrayscaleCommand(CurrentImage& image, Port& port) {
  ConvertToGrayscale(image.Handle, image.SavedImage, image.Kind, port);
  if (image.DisplayDepth == 4) {
    PackedDib grayscale;  // takes the intermediate grayscale image, freed on return
    ReduceColors(image.Handle, grayscale, 256, image.Kind, true, port);
  }
  image.ReductionApplied = true;
  Repaint(port);
}

// The colour commands whose test sends them to RestoreOriginalImage instead of reducing.
bool HasFewEnoughColors(const CurrentImage& image, CommandId command) {
  switch (command) {
    case CommandId::Best256: return image.BitCount < 9;
    case CommandId::Best32: return image.BitCount < 5 || (image.BitCount == 8 && image.ColorsUsed >= 1 && image.ColorsUsed <= 32);
    case CommandId::Best16: return image.BitCount < 5;
    default: return IsBlackAndWhite(image);
  }
}

void ColorCommand(CurrentImage& image, ShellState& shell, Port& port, CommandId command) {
  ColorCommandPrologue(image, shell, command == CommandId::Monochrome);
  if (command == CommandId::TrueColor) {
    TrueColorCommand(image, port);
    return;
  }
  if (command == CommandId::RestoreOriginal || HasFewEnoughColors(image, command)) {
    RestoreOriginalImage(image, port);
    return;
  }
  switch (command) {
    case CommandId::Best256: Reduce(image, port, -256); break;
    case CommandId::Best32: Reduce(image, port, -32); break;
    case CommandId::Best16: Reduce(image, port, -16); break;
    case CommandId::Standard256: Reduce(image, port, 256); break;
    case CommandId::Web216: Reduce(image, port, 216); break;
    case CommandId::Standard16: Reduce(image, port, 16); break;
    case CommandId::Monochrome: Reduce(image, port, 2); break;
    case CommandId::Grayscale: GrayscaleCommand(image, port); break;
    default: break;
  }
}

// The port of the frames an animated GIF shows after the first: the tools run on each of them
// again, and what they said or repainted the first time is not said again.
class MutedPort final : public Port {
 public:
  Answer ShowMessage(Owner, const Message&) override { return Answer::Ok; }
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
  int DisplayDepth() override { return 24; }
  Size DialogBaseUnits() override { return {}; }
  Rect WorkArea() override { return {}; }
  ScreenMetrics Screen() override { return {}; }
  void DrawPreviewFrame(Rect, Rect) override {}
  void DrawPreviewImage(const PackedDib&, Rect) override {}
  void StartAnimationTimer(int) override {}
  void KillAnimationTimer() override {}
  void RepaintDialog() override {}
  void EndDialog() override {}
  int FileListCount() override { return 0; }
  int FileListSelection() override { return -1; }
  std::string FileListText(int) override { return {}; }
  void FileListSelect(int) override {}
  bool FileListSelectPrefix(const std::string&) override { return false; }
  int FileListFindExact(const std::string&) override { return -1; }
  void FileListAdd(const std::string&) override {}
  void FileListDelete(int) override {}
  void FileNameBoxUndo() override {}
  void FileNameBoxReplace(const std::string&) override {}
  void OpenViewer(const std::string&, uint32_t, Rect) override {}
  void DestroyViewer() override {}
  bool ViewerMaximized() override { return false; }
  void RestoreViewer() override {}
  void ActivateDialog() override {}
  void SetViewerCaption(const std::string&) override {}
  void RepaintViewer() override {}
  void SetMenuItemEnabled(const MenuPath&, bool) override {}
  void SetMenuItemLabel(const MenuPath&, const std::string&) override {}
  void DrawMenuBar() override {}
  void DrawInWindow(Owner, const std::function<void(Surface&)>&) override {}
  void OpenFullScreen(const ScrollBars&) override {}
  void DestroyFullScreen() override {}
  void SetFullScreenScroll(Point) override {}
  void OpenSlideshow() override {}
  void DestroySlideshow() override {}
  void RepaintSlideshow() override {}
  void StartSlideTimer(int) override {}
  void KillSlideTimer() override {}
  bool PrintPage(const std::string&, const std::function<void(Surface&)>&) override { return false; }
  void ShowAbout() override {}
  void Help(HelpCommand, int) override {}
  std::optional<std::string> AskSaveFileName(const SaveRequest&) override { return std::nullopt; }
};

// The composed frame of an animated GIF as a Bitmap just loaded, with the record's FrameTools
// run on it again.
CurrentImage GifFrameAsBitmap(const CurrentImage& image) {
  CurrentImage frame;
  frame.Kind = ImageKind::Bitmap;
  frame.Handle = image.Animation ? image.Animation->Frame().Clone() : image.FrameDib.Clone();
  frame.DisplayDepth = image.DisplayDepth;
  frame.Viewer = image.Viewer;
  TakeBitCountAndColors(frame);
  ShellState shell;
  MutedPort muted;
  for (const CommandId command : image.FrameTools) RunToolCommand(frame, shell, muted, command);
  return frame;
}

// A Tools command on an animated GIF: run on the frame shown (with the port, so that its
// messages are shown once), then kept for every frame that follows.
void GifFrameTool(CurrentImage& image, ShellState& shell, Port& port, CommandId command) {
  CurrentImage frame = GifFrameAsBitmap(image);
  if (!frame.Handle) return;
  RunToolCommand(frame, shell, port, command);
  image.FrameTools.push_back(command);
  image.FrameDib = std::move(frame.Handle);
}

}  // namespace

void ShowGifFrame(CurrentImage& image) {
  if (image.Kind != ImageKind::AnimatedGif || !image.Animation) return;
  CurrentImage frame = GifFrameAsBitmap(image);
  image.BitCount = frame.BitCount;
  image.ColorsUsed = frame.ColorsUsed;
  if (frame.Handle) image.FrameDib = std::move(frame.Handle);
}

bool UndoBrightness(CurrentImage& image) {
  AdjustBrightness(image.Handle, image.SavedColors, image.BrightnessLevel, 0);
  image.BrightnessLevel = 0;
  return true;
}

bool UndoOrientation(CurrentImage& image) {
  if (image.SavedImage) {
    int state = image.PendingOrientation;
    RestoreOrientation(image.SavedImage, state);
  }
  RestoreOrientation(image.Handle, image.PendingOrientation);
  image.PendingOrientation = 0;
  return true;
}

bool RunToolCommand(CurrentImage& image, ShellState& shell, Port& port, CommandId command) {
  if (image.Kind == ImageKind::AnimatedGif && IsToolCommand(command)) {
    GifFrameTool(image, shell, port, command);
    return true;
  }
  switch (command) {
    case CommandId::Rotate90: TurnOrMirror(image, port, TransformCode::Rotate90); return true;
    case CommandId::Rotate180: TurnOrMirror(image, port, TransformCode::Rotate180); return true;
    case CommandId::Rotate270: TurnOrMirror(image, port, TransformCode::Rotate270); return true;
    case CommandId::FlipLeftRight: TurnOrMirror(image, port, TransformCode::FlipLeftRight); return true;
    case CommandId::FlipTopBottom: TurnOrMirror(image, port, TransformCode::FlipTopBottom); return true;
    case CommandId::InvertColors: InvertColorsCommand(image, port); return true;
    case CommandId::Brighten: BrightnessCommand(image, shell, port, +1); return true;
    case CommandId::Darken: BrightnessCommand(image, shell, port, -1); return true;
    case CommandId::TrueColor: case CommandId::RestoreOriginal: case CommandId::Best256: case CommandId::Best32: case CommandId::Best16:
    case CommandId::Standard256: case CommandId::Web216: case CommandId::Standard16: case CommandId::Grayscale: case CommandId::Monochrome:
      ColorCommand(image, shell, port, command);
      return true;
    default:
      return false;
  }
}

}  // namespace ravelle
