#include "shell/print.h"

#include <string>

#include "shell/step.h"
#include "view/metafile_player.h"
#include "view/paint.h"

namespace ravelle {
namespace {

bool Printable(const CurrentImage& image) {
  switch (image.Kind) {
    case ImageKind::Bitmap: case ImageKind::IconSequence: case ImageKind::AnimatedCursor: return bool(image.Handle);
    case ImageKind::WindowsMetafile: case ImageKind::EnhancedMetafile: return image.Metafile != nullptr;
    case ImageKind::AnimatedGif: return bool(image.FrameDib);
    default: return false;
  }
}

// The raster printed: the unreduced image when the shown one is only reduced for the display.
const PackedDib& PrintedRaster(const CurrentImage& image) {
  if (image.Kind == ImageKind::AnimatedGif) return image.FrameDib;
  if (image.Kind == ImageKind::Bitmap && image.SavedImage && !image.ReductionApplied) return image.SavedImage;
  return image.Handle;
}

}  // namespace

void DrawPrintedPage(const CurrentImage& image, Surface& page, PrintMode mode) {
  const Size area = page.ClientSize();
  switch (image.Kind) {
    case ImageKind::WindowsMetafile:
      if (!image.Metafile) return;
      if (image.IsPlaceable) {
        const Size box{image.MetafileBounds.width, image.MetafileBounds.height};
        const Size extent = FitExtentToPage(PlaceableMetafileExtent(box, image.UnitsPerInch, GetTwipsPerPixel(page)),
                                            area, mode.large);
        PlayPlaceableMetafileFitted(image.Metafile.get(), page, {area.width + 1, area.height + 1}, extent,
                                    mode.tiled ? 1 : 0);
      } else {
        PlayWindowsMetafile(page, *image.Metafile);
      }
      return;
    case ImageKind::EnhancedMetafile: {
      if (!image.Metafile) return;
      const Size bounds{image.MetafileBounds.width, image.MetafileBounds.height};
      for (const Rect& r : PrintEnhancedMetafileLayout(area, bounds, mode).copies) {
        PlayEnhancedMetafile(&page, image.Metafile.get(), {r.left, r.top, r.left + r.width - 1, r.top + r.height - 1},
                             nullptr, nullptr);
      }
      return;
    }
    default: {
      const PackedDib& dib = PrintedRaster(image);
      if (!dib) return;
      for (const Rect& r : PrintBitmapLayout(area, {dib.Width(), dib.Height()}, mode).copies) page.StretchDib(dib, r);
      return;
    }
  }
}

void PrintImage(CurrentImage& image, Port& port, PrintMode mode) {
  if (!Printable(image)) return;
  // The frame must not change while it is printed.
  const bool animated = image.Kind == ImageKind::AnimatedGif || image.Kind == ImageKind::IconSequence ||
                        image.Kind == ImageKind::AnimatedCursor;
  const bool paused = animated && image.Timer;
  if (paused) {
    port.KillAnimationTimer();
    image.Timer = false;
  }
  port.PrintPage(std::string(PrintDocumentName(image.Kind)), [&](Surface& page) {
    port.BeginWaitCursor();
    DrawPrintedPage(image, page, mode);
    port.EndWaitCursor();
  });
  if (paused) {
    port.StartAnimationTimer(AnimationPeriod(image));
    image.Timer = true;
  }
}

}  // namespace ravelle
