#include "view/print_layout.h"

#include <algorithm>
#include <cstdint>

#include "view/paint.h"

namespace ravelle {

std::string_view PrintDocumentName(ImageKind kind) {
  switch (kind) {
    case ImageKind::Bitmap: return "Bitmap";
    case ImageKind::WindowsMetafile: case ImageKind::EnhancedMetafile: return "MetaFile";
    case ImageKind::IconSequence: return "Icon";
    case ImageKind::AnimatedGif: return "Animated GIF";
    case ImageKind::AnimatedCursor: return "Animated cursor";
    default: return "";
  }
}

std::vector<Rect> PlaceOnPage(Size page, Size size, bool tiled) {
  std::vector<Rect> rects;
  const int w = size.width;
  const int h = size.height;
  if (w <= 0 || h <= 0 || page.width <= 0 || page.height <= 0) return rects;
  if (!tiled) {
    rects.push_back({(page.width - w) / 2, (page.height - h) / 2, w, h});
    return rects;
  }
  const int columns = page.width / w;
  const int rows = page.height / h;
  const int x0 = (page.width - columns * w) / 2;
  const int y0 = (page.height - rows * h) / 2;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) rects.push_back({x0 + c * w, y0 + r * h, w, h});
  }
  return rects;
}

PrintPlacement PrintBitmapLayout(Size page, Size image, PrintMode mode) {
  PrintPlacement placement;
  const int iw = image.width;
  const int ih = image.height;
  if (iw <= 0 || ih <= 0 || page.width <= 0 || page.height <= 0) return placement;
  const bool screenSized = !mode.large && iw < 640 && ih < 480;
  const int s = screenSized ? std::min(page.width / 640, page.height / 480) : std::min(page.width / iw, page.height / ih);
  // An image larger than the page (no whole enlargement fits) is shrunk until it fits.
  const Size printed = s > 0 ? Size{s * iw, s * ih} : ShrinkToFit(iw, ih, page.width, page.height);
  placement.scale = std::max(s, 0);
  placement.copies = PlaceOnPage(page, printed, mode.tiled);
  return placement;
}

Size FitExtentToPage(Size extent, Size page, bool large) {
  // Unsigned, as the sizes are: a negative extent counts as very large and is shrunk.
  uint64_t w = static_cast<uint32_t>(extent.width);
  uint64_t h = static_cast<uint32_t>(extent.height);
  const uint64_t PW = static_cast<uint32_t>(std::max(page.width, 0));
  const uint64_t PH = static_cast<uint32_t>(std::max(page.height, 0));
  if (large) {
    // Sides under 9 pixels do not grow by ten ninths in integers: the growth stops there.
    while (w < PW && h < PH) {
      const uint64_t nw = 10 * w / 9;
      const uint64_t nh = 10 * h / 9;
      if (nw == w && nh == h) break;
      w = nw;
      h = nh;
    }
  }
  while (w >= PW + 1 || h >= PH + 1) {
    w = 9 * w / 10;
    h = 9 * h / 10;
  }
  return {static_cast<int>(w), static_cast<int>(h)};
}

PrintPlacement PrintEnhancedMetafileLayout(Size page, Size bounds, PrintMode mode) {
  PrintPlacement placement;
  const Size doubled{static_cast<int>(std::clamp<int64_t>(int64_t{2} * bounds.width, INT32_MIN, INT32_MAX)),
                     static_cast<int>(std::clamp<int64_t>(int64_t{2} * bounds.height, INT32_MIN, INT32_MAX))};
  placement.copies = PlaceOnPage(page, FitExtentToPage(doubled, page, mode.large), mode.tiled);
  return placement;
}

}  // namespace ravelle
