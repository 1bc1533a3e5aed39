#include "shell/still_frame.h"

#include "formats/common/frame_sequence.h"
#include "formats/icon/icon_reader.h"
#include "formats/lib/png_file.h"
#include "shell/adapt_to_display.h"

namespace ravelle {

int FrameCount(const CurrentImage& image) {
  switch (image.Kind) {
    case ImageKind::AnimatedGif: return image.Animation ? image.Animation->FrameCount() : 0;
    case ImageKind::IconSequence: return image.IconCount;
    case ImageKind::AnimatedCursor: return static_cast<int>(image.AniTables.frames.size());
    case ImageKind::NoImage: case ImageKind::FileRemoved: return 0;
    default: return 1;
  }
}

bool TakeFrameAsBitmap(CurrentImage& image, Port& port, int number) {
  if (number < 1 || number > FrameCount(image)) return false;
  PackedDib frame;
  const bool keepShown = image.Kind == ImageKind::IconSequence && number == image.IconIndex;
  switch (image.Kind) {
    case ImageKind::AnimatedGif:
      while (image.Animation->FrameNumber() != number) {
        if (!image.Animation->Step()) return false;
      }
      frame = image.Animation->Frame().Clone();
      break;
    case ImageKind::IconSequence:
      if (!keepShown) {
        frame = std::move(ReadIconImage(image.File, {.imageNumber = number, .currentKind = ImageKind::IconSequence,
                                                     .png = ReadPngImage}).result.dib);
      }
      break;
    case ImageKind::AnimatedCursor:
      frame = image.AniTables.frames[static_cast<std::size_t>(number - 1)].Clone();
      break;
    default:
      return true;  // a still image is its own first frame
  }
  if (!frame && !keepShown) return false;
  if (image.Timer) port.KillAnimationTimer();
  image.Timer = false;
  image.File.clear();
  image.Animation.reset();
  image.FrameDib = PackedDib();
  image.FrameTools.clear();
  image.AniTables = AniSequence();
  image.Kind = ImageKind::Bitmap;
  if (keepShown) return true;
  image.SavedImage = PackedDib();
  image.Handle = std::move(frame);
  CompactDibDepth(image.Handle);
  TakeBitCountAndColors(image);
  AdaptToDisplay(image, port);
  return true;
}

}  // namespace ravelle
