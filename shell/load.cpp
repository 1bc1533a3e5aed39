#include "shell/load.h"

#include "formats/metafile/metafile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "image/byte_source.h"
#include "shell/adapt_to_display.h"
#include "shell/icon_files.h"
#include "shell/step.h"
#include "shell/tool_commands.h"

namespace ravelle {
namespace {

// What a reader by offset finds in memory from the start: more than any header it reads there.
constexpr std::size_t kHeadBytes = 16 << 10;

// A file of more than one frame is shown as an animation of its composed frames.
void OpenAnimation(CurrentImage& image, const TypeReader& reader, std::span<const uint8_t> bytes, std::size_t start) {
  std::shared_ptr<FrameSequence> animation = reader.animate(bytes, start);
  if (!animation || animation->FrameCount() < 2 || !animation->Step()) return;
  image.FrameDib = animation->Frame().Clone();
  if (!image.FrameDib) return;
  image.Delay = animation->Delay();
  image.Animation = std::move(animation);
  image.Kind = ImageKind::AnimatedGif;
}

// Reads the file with a reader that takes its bytes or its source; false when the file cannot be
// read.
bool ReadFromFile(CurrentImage& image, const TypeReader& reader, const TypeDecision& decision, ReadResult& result) {
  const std::string& path = image.FilePath;
  const auto source = ByteSource::OpenFile(path, kMaxFileBytes, reader.byOffset ? kHeadBytes : kMaxFileBytes);
  if (!source) return false;
  const std::span<const uint8_t> bytes = source->Head();
  if (reader.byOffset) {
    result = reader.read({bytes, path, image.DisplayDepth, decision.start, &*source, image.FitSide});
  } else if (reader.frames == FrameSource::IconImages || reader.frames == FrameSource::CursorFrames) {
    result = ReadIconKinds(image, bytes, reader.frames);
  } else {
    result = reader.read({bytes, path, image.DisplayDepth, decision.start, nullptr, image.FitSide});
  }
  if (result.dib && reader.frames == FrameSource::Animation && reader.animate != nullptr) {
    OpenAnimation(image, reader, bytes, decision.start);
  }
  return true;
}

bool IsRasterKind(ImageKind kind) {
  return kind == ImageKind::Bitmap || kind == ImageKind::IconSequence || kind == ImageKind::AnimatedCursor;
}

}  // namespace

std::string ExtensionOf(std::string_view filePath) {
  const std::size_t slash = filePath.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? filePath : filePath.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return {};
  return std::string(name.substr(dot + 1, 3));
}

void ReadImageFile(CurrentImage& image, Port& port, const std::string& filePath, bool showMessages,
                   std::vector<Message>* held) {
  const auto show = [&](const Message& message) {
    if (held != nullptr) {
      held->push_back(message);
    } else if (showMessages) {
      port.ShowMessage(Owner::None, message);
    }
  };
  image.DisplayDepth = port.DisplayDepth();
  image.Reduced = false;
  image.InfoText.clear();
  image.LoadStatus = ReadStatus::OpenFailed;
  image.FilePath = filePath;
  image.Extension = ExtensionOf(filePath);
  image.FindData = {};
  image.FileSize = 0;
  struct stat st {};
  if (::stat(filePath.c_str(), &st) == 0) {
    image.FindData = {static_cast<uint64_t>(st.st_size), static_cast<int64_t>(st.st_mtime), ::access(filePath.c_str(), W_OK) != 0};
    image.FileSize = image.FindData.size;
  }

  const auto head = ByteSource::OpenFile(filePath, kTypeProbeBytes, kTypeProbeBytes);
  if (!head) {
    show({"Error Opening File", "", kMbIconHand});
    image.Kind = ImageKind::NoImage;
    return;
  }
  port.BeginWaitCursor();
  image.BrightnessLevel = 0;
  image.PendingOrientation = 0;
  const TypeDecision decision = DecideFileType(head->Head(), image.Extension);
  image.Kind = decision.kind;

  // Types this build recognises but has no reader for give no image and no message.
  ReadResult result;
  const TypeReader* reader = FindReader(decision.type);
  if (reader == nullptr || reader->read == nullptr) {
    // A rule took the file ("BM" with an unknown header) but nothing reads its layout.
    result.status = decision.type == FileType::Unknown ? ReadStatus::NoReader : ReadStatus::Unsupported;
  } else if (!reader->wholeFile) {
    result = reader->read({{}, filePath, image.DisplayDepth, decision.start, nullptr, image.FitSide});
  } else if (image.FileSize > kMaxFileBytes) {
    result.Fail(ReadStatus::TooLarge, kMemoryAllocationError);
  } else if (!ReadFromFile(image, *reader, decision, result)) {
    result.Fail(ReadStatus::OpenFailed, {"Error Opening File", "", kMbIconHand});
  }

  if (result.frame) FitPreviewFrame(image, port, result.frame->width, result.frame->height);
  image.Reduced = result.dib && result.frame &&
                  (result.frame->width > result.dib.Width() || result.frame->height > result.dib.Height());
  for (const Message& message : result.messages) show(message);
  for (const std::string& text : result.diagnostics) port.LogDiagnostic(text);
  image.LoadStatus = result.status;
  image.InfoText = std::move(result.infoText);
  image.Handle = std::move(result.dib);
  if (result.metafile) {
    const MetafileRect& box = result.metafile->bounds;
    image.IsPlaceable = result.metafile->isPlaceable;
    image.UnitsPerInch = result.metafile->unitsPerInch;
    image.MetafileBounds = {box.left, box.top, static_cast<int>(int64_t{box.right} - box.left + 1),
                            static_cast<int>(int64_t{box.bottom} - box.top + 1)};
    image.Metafile = std::move(result.metafile);
  }

  if (IsRasterKind(image.Kind) || image.Kind == ImageKind::NoImage) {
    if (image.Handle) {
      CompactDibDepth(image.Handle);
      TakeBitCountAndColors(image);
      AdaptToDisplay(image, port);
    } else {
      image.Kind = ImageKind::NoImage;
    }
  } else if (image.Kind == ImageKind::AnimatedGif) {
    ShowGifFrame(image);
  } else if (!image.Metafile) {
    image.Kind = ImageKind::NoImage;
  }
  port.EndWaitCursor();
}

void LoadFullSize(CurrentImage& image, Port& port) {
  if (!image.Reduced) return;
  // What was reduced is a still picture (the readers that reduce read no animations), read again.
  ReadImageFile(image, port, image.FilePath);
}

std::string ViewerCaption(const CurrentImage& image) {
  return image.FilePath + Format("     %llu bytes", static_cast<unsigned long long>(image.FileSize));
}

void LoadSelectedFile(CurrentImage& image, Port& port, const std::string& filePath, bool forPreview) {
  // Only the preview is shown: a reader may give the picture at the preview's size.
  const int fitSide = image.FitSide;
  if (forPreview && !image.Viewer) image.FitSide = std::max(image.PreviewBox.width, image.PreviewBox.height);
  ReadImageFile(image, port, filePath);
  image.FitSide = fitSide;
  port.BeginWaitCursor();
  if (image.Kind == ImageKind::NoImage) FitPreviewFrame(image, port, 1, 1);
  if (!image.Viewer) {
    if (image.Handle) port.DrawPreviewImage(image.Handle, image.PreviewFrame);
  } else {
    port.RepaintDialog();
    port.SetViewerCaption(ViewerCaption(image));
    port.RepaintViewer();
  }
  port.EndWaitCursor();
  if (image.Kind != ImageKind::IconSequence) {
    image.File.clear();
  }
  if (image.Kind == ImageKind::AnimatedGif) {
    if (!image.Viewer) port.DrawPreviewImage(image.FrameDib, image.PreviewFrame);
    port.StartAnimationTimer(AnimationPeriod(image));
    image.Timer = true;
  }
  if (image.Kind == ImageKind::IconSequence || image.Kind == ImageKind::AnimatedCursor) {
    port.StartAnimationTimer(image.Delay * 9);
    image.Timer = true;
  }
}

}  // namespace ravelle
