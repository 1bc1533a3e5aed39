// Where printing puts the image on the page: bitmaps at a whole-number enlargement, placeable
// Windows metafiles at their own size, enhanced metafiles at twice their bounds, each either
// centred once or as a centred block of whole copies.
#pragma once

#include <string_view>
#include <vector>

#include "image/image_kind.h"
#include "port/port.h"

namespace ravelle {

// The name the printed document is given.
std::string_view PrintDocumentName(ImageKind kind);

// Which printing mode the menu chose.
struct PrintMode {
  bool large = false;  // the largest enlargement that fits the page
  bool tiled = false;  // whole copies over the page
};

// Where each copy goes on the page. `scale` is the whole-number enlargement of a bitmap; 0 when
// it is larger than the page and is printed shrunk (each rect has the shrunken size).
struct PrintPlacement {
  int scale = 0;
  std::vector<Rect> copies;
};

// A bitmap of iw x ih on a page of PW x PH device pixels. Small images (under 640 x 480) are
// enlarged as a 640 x 480 screen would be, except in Large mode; an image larger than the page is
// shrunk by nine-tenths steps until it fits.
PrintPlacement PrintBitmapLayout(Size page, Size image, PrintMode mode);

// An extent grown by ten-ninths steps (Large) while it is smaller than the page both ways, then
// shrunk by nine-tenths steps until it is no larger than the page either way.
Size FitExtentToPage(Size extent, Size page, bool large);

// An enhanced metafile with bounds of w x h: printed at 2w x 2h device pixels, fitted as above.
PrintPlacement PrintEnhancedMetafileLayout(Size page, Size bounds, PrintMode mode);

// Copies of `size` on the page: one centred, or the centred block of whole copies; none for an
// empty size.
std::vector<Rect> PlaceOnPage(Size page, Size size, bool tiled);

}  // namespace ravelle
