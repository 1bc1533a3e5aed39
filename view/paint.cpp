#include "view/paint.h"

#include <algorithm>

#include "view/metafile_player.h"

namespace ravelle {
namespace {

bool IsDrawnKind(ImageKind kind) {
  switch (kind) {
    case ImageKind::Bitmap: case ImageKind::WindowsMetafile: case ImageKind::EnhancedMetafile:
    case ImageKind::AnimatedGif: case ImageKind::IconSequence: case ImageKind::AnimatedCursor:
      return true;
    default:
      return false;
  }
}

void PaintWindowsMetafile(const PaintSource& source, const PaintLayout& layout, Surface& surface, Size client) {
  if (!source.isPlaceable) {  // a plain metafile plays at the top-left corner, unfitted
    PlayWindowsMetafile(surface, *source.metafile);
    return;
  }
  const Size extent = PlaceableMetafileExtent(source.metafileBounds, source.unitsPerInch, GetTwipsPerPixel(surface));
  PlayPlaceableMetafileFitted(source.metafile, surface, {client.width + 1, client.height + 1}, extent, layout.tileMode);
}

void PaintRaster(const PaintSource& source, const PaintLayout& layout, Surface& surface, PaintTarget target,
                 Size client) {
  const PackedDib& dib = *source.raster;
  const int iw = dib.Width();
  const int ih = dib.Height();
  const int W = client.width;
  const int H = client.height;
  const bool animatedGif = source.kind == ImageKind::AnimatedGif;
  const auto placeOnFullScreen = [&] {
    const Point at = FullScreenOrigin(client, {iw, ih}, layout.screen, layout.scrollOrigin);
    DrawDibAt(surface, 1, at.x, at.y, dib);
  };

  if (layout.tileMode == 0) {
    if (target == PaintTarget::FullScreen) {
      placeOnFullScreen();
      return;
    }
    const Size drawn = animatedGif ? Size{iw, ih} : ShrinkToFit(iw, ih, W, H);
    surface.StretchDib(dib, {(W - drawn.width) / 2, (H - drawn.height) / 2, drawn.width, drawn.height});
    return;
  }
  if ((ih <= H && iw <= W) || animatedGif) {
    surface.TileDib(dib, {0, 0, W, H}, {iw, ih});
  } else if (target == PaintTarget::Viewer) {
    surface.TileDib(dib, {0, 0, W, H}, ShrinkToFit(iw, ih, W, H));
  } else {
    placeOnFullScreen();
  }
}

}  // namespace

Size ShrinkToFit(int64_t width, int64_t height, int64_t limitWidth, int64_t limitHeight) {
  limitWidth = std::max<int64_t>(limitWidth, 0);
  limitHeight = std::max<int64_t>(limitHeight, 0);
  width = std::max<int64_t>(width, 0);
  height = std::max<int64_t>(height, 0);
  while (width >= limitWidth + 1 || height >= limitHeight + 1) {
    width = 9 * width / 10;
    height = 9 * height / 10;
  }
  return {static_cast<int>(width), static_cast<int>(height)};
}

void DrawDibAt(Surface& surface, int scale, int x, int y, const PackedDib& dib) {
  surface.StretchDib(dib, {x, y, scale * dib.Width(), scale * dib.Height()});
}

Point FullScreenOrigin(Size client, Size image, const ScreenMetrics& screen, Point scrollOrigin) {
  const int CX = screen.screen.width;
  const int CY = screen.screen.height;
  const int centredX = (client.width - image.width) / 2;
  const int centredY = (client.height - image.height) / 2;
  if (image.width <= CX && image.height <= CY) return {centredX, centredY};
  if (image.height > CY && image.width <= CX - screen.vScrollWidth) return {centredX, scrollOrigin.y};
  if (image.width > CX && image.height <= CY - screen.hScrollHeight) return {scrollOrigin.x, centredY};
  return scrollOrigin;
}

void PaintImageWindow(const PaintSource& source, const PaintLayout& layout, Surface& surface, PaintTarget target) {
  const Size client = surface.ClientSize();
  if (target == PaintTarget::Viewer) surface.FillRect({0, 0, client.width + 1, client.height + 1}, kWhite);
  if (!IsDrawnKind(source.kind)) return;
  switch (source.kind) {
    case ImageKind::WindowsMetafile:
      if (source.metafile) PaintWindowsMetafile(source, layout, surface, client);
      return;
    case ImageKind::EnhancedMetafile:
      if (!source.metafile) return;
      for (const Rect& r : EnhancedMetafileRects(client, source.metafileBounds, layout.tileMode)) {
        PlayEnhancedMetafile(&surface, source.metafile, {r.left, r.top, r.left + r.width - 1, r.top + r.height - 1},
                             nullptr, nullptr);
      }
      return;
    default:
      if (source.raster && *source.raster) PaintRaster(source, layout, surface, target, client);
      return;
  }
}

void DrawFrameInWindow(const PackedDib& dib, ImageKind kind, std::string_view caption, Surface& surface, int mode) {
  if (!dib) return;
  const Size client = surface.ClientSize();
  const int W = client.width;
  const int H = client.height;
  if (mode == 0) {
    // Icons are at most 128 pixels square: clearing that square erases the previous one.
    if (kind == ImageKind::IconSequence) surface.FillRect({(W - 128) / 2, (H - 128) / 2, 128, 128}, kWhite);
    DrawDibAt(surface, 1, (W - dib.Width()) / 2, (H - dib.Height()) / 2, dib);
    if (!caption.empty()) {
      const std::string text(caption);
      const Size size = surface.MeasureText(text);
      surface.DrawText(text, {(W - size.width) / 2, 0, size.width, size.height});
    }
  } else {
    surface.TileDib(dib, {0, 0, W, H}, {dib.Width(), dib.Height()});
  }
}

Size GetTwipsPerPixel(const Surface& surface) {
  const Size dpi = surface.DotsPerInch();
  return {dpi.width > 0 ? 1440 / dpi.width : 0, dpi.height > 0 ? 1440 / dpi.height : 0};
}

Size PlaceableMetafileExtent(Size box, int unitsPerInch, Size twipsPerPixel) {
  const int64_t across = int64_t{twipsPerPixel.width} * unitsPerInch;
  const int64_t down = int64_t{twipsPerPixel.height} * unitsPerInch;
  if (across == 0 || down == 0) return {0, 0};
  return {static_cast<int>(int64_t{box.width} * 1440 / across), static_cast<int>(int64_t{box.height} * 1440 / down)};
}

std::vector<Rect> FittedMetafileViewports(Size area, Size extent, int mode) {
  // The comparison is unsigned, as the sizes are: a negative extent counts as very large.
  const auto A = static_cast<uint32_t>(area.width);
  const auto B = static_cast<uint32_t>(area.height);
  auto ew = static_cast<uint32_t>(extent.width);
  auto eh = static_cast<uint32_t>(extent.height);
  while ((ew >= A || eh >= B) && (ew != 0 || eh != 0)) {  // an empty area ends at an empty extent
    ew = static_cast<uint32_t>(uint64_t{9} * ew / 10);
    eh = static_cast<uint32_t>(uint64_t{9} * eh / 10);
  }
  std::vector<Rect> viewports;
  if (ew == 0 || eh == 0) return viewports;
  const int w = static_cast<int>(ew);
  const int h = static_cast<int>(eh);
  if (mode == 0) {
    viewports.push_back({static_cast<int>((A - ew) / 2), static_cast<int>((B - eh) / 2), w, h});
    return viewports;
  }
  const uint32_t columns = A / ew;
  const uint32_t rows = B / eh;
  for (uint32_t r = 0; r < rows; ++r) {
    const auto y = static_cast<int>((B - rows * eh) / 2 + r * eh);
    for (uint32_t c = 0; c < columns; ++c) {
      viewports.push_back({static_cast<int>((A - columns * ew) / 2 + c * ew), y, w, h});
    }
  }
  return viewports;
}

void PlayPlaceableMetafileFitted(const MetafileImage* metafile, Surface& surface, Size area, Size extent, int mode) {
  if (!metafile) return;
  for (const Rect& v : FittedMetafileViewports(area, extent, mode)) {
    PlayWindowsMetafile(surface, *metafile, {8, {v.left, v.top}, {v.width, v.height}});
  }
}

std::vector<Rect> EnhancedMetafileRects(Size client, Size bounds, int tileMode) {
  const Size size = ShrinkToFit(bounds.width, bounds.height, client.width, client.height);
  const int w = size.width;
  const int h = size.height;
  std::vector<Rect> rects;
  if (w <= 0 || h <= 0) return rects;
  const int W = client.width;
  const int H = client.height;
  if (tileMode == 0) {
    rects.push_back({(W - w) / 2, (H - h) / 2, w, h});
    return rects;
  }
  const int columns = W / w;
  const int rows = H / h;
  const int x0 = (W - columns * w) / 2;
  const int y0 = (H - rows * h) / 2;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) rects.push_back({x0 + c * w, y0 + r * h, w, h});
  }
  return rects;
}

}  // namespace ravelle
