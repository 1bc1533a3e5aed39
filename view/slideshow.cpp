#include "view/slideshow.h"

#include <string>

#include "view/metafile_player.h"

namespace ravelle {

Rect SlideCaptionRect(Size client, Size text) { return {(client.width - text.width) / 2, 0, text.width, text.height}; }

void PaintSlideshow(const PaintSource& source, std::string_view caption, Surface& surface) {
  const Size client = surface.ClientSize();
  const int W = client.width;
  const int H = client.height;
  surface.FillRect({0, 0, W + 1, H + 1}, kWhite);
  const std::string text(caption);
  const auto drawCaption = [&] {
    if (!text.empty()) surface.DrawText(text, SlideCaptionRect(client, surface.MeasureText(text)));
  };
  switch (source.kind) {
    case ImageKind::WindowsMetafile:
      if (source.metafile == nullptr) return;  // without an image not even the name
      if (source.isPlaceable) {
        drawCaption();
        const Size extent = PlaceableMetafileExtent(source.metafileBounds, source.unitsPerInch, GetTwipsPerPixel(surface));
        PlayPlaceableMetafileFitted(source.metafile, surface, {W + 1, H + 1}, extent, 0);
      } else {
        PlayWindowsMetafile(surface, *source.metafile);
        drawCaption();
      }
      return;
    case ImageKind::EnhancedMetafile:
      if (source.metafile != nullptr) {
        const Size size = ShrinkToFit(source.metafileBounds.width, source.metafileBounds.height, W, H);
        if (size.width > 0 && size.height > 0) {
          const int left = (W - size.width) / 2;
          const int top = (H - size.height) / 2;
          PlayEnhancedMetafile(&surface, source.metafile, {left, top, left + size.width - 1, top + size.height - 1},
                               nullptr, nullptr);
        }
      }
      break;
    case ImageKind::Bitmap:
      if (source.raster != nullptr && *source.raster) {
        const Size size = ShrinkToFit(source.raster->Width(), source.raster->Height(), W, H);
        surface.StretchDib(*source.raster, {(W - size.width) / 2, (H - size.height) / 2, size.width, size.height});
      }
      break;
    default:
      break;  // animation frames are drawn by the animation itself
  }
  drawCaption();
}

}  // namespace ravelle
