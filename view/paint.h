// Painting the shown image into the viewer and full-screen windows: centred (shrunk by steps of
// nine tenths when it does not fit) or tiled, and the small drawing operations the dialog's
// animation, stepping and printing share.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "image/image_kind.h"
#include "image/packed_dib.h"
#include "port/port.h"
#include "port/surface.h"

namespace ravelle {

struct MetafileImage;

// What a paint draws, as its caller takes it from the shown image.
struct PaintSource {
  ImageKind kind = ImageKind::NoImage;
  const PackedDib* raster = nullptr;          // the bitmap, or an animation's current frame
  const MetafileImage* metafile = nullptr;
  bool isPlaceable = false;
  Size metafileBounds;                        // a placeable metafile's box, in its own units
  int unitsPerInch = 0;
};

// How it is laid out: centred (0) or tiled (1), and the full-screen window's scroll origin and
// the screen it fills.
struct PaintLayout {
  int tileMode = 0;
  Point scrollOrigin;
  ScreenMetrics screen;
};

// Repeated nine-tenths steps (integer, truncating) of both sides at once until the size fits
// the limit in both directions; a size that already fits is returned unchanged.
Size ShrinkToFit(int64_t width, int64_t height, int64_t limitWidth, int64_t limitHeight);

// The image at (x, y), `scale` times its natural size.
void DrawDibAt(Surface& surface, int scale, int x, int y, const PackedDib& dib);

enum class PaintTarget { Viewer, FullScreen };

// Where the full-screen window puts an image of iw x ih in a client area of W x H: centred when
// it fits the screen, else at the scroll origin along each side that does not fit.
Point FullScreenOrigin(Size client, Size image, const ScreenMetrics& screen, Point scrollOrigin);

// The paint of the viewer ("Meta") and full-screen ("Full") windows. The viewer's paint fills
// the client area white first (its caller brings the menu in line with the image before).
void PaintImageWindow(const PaintSource& source, const PaintLayout& layout, Surface& surface, PaintTarget target);

// A frame drawn straight into a window (animation steps, the stepping load): centred at natural
// size (mode 0; an icon's 128-pixel square erased first; `caption`, when not empty, on top) or
// tiled from the top-left corner (mode 1).
void DrawFrameInWindow(const PackedDib& dib, ImageKind kind, std::string_view caption, Surface& surface, int mode);

// Twips (1/1440 inch) per device pixel, horizontally and vertically: 15 at 96 dots per inch.
Size GetTwipsPerPixel(const Surface& surface);

// A placeable metafile's box in device pixels: size x 1440 / (twips per pixel x units per inch);
// nothing to draw (0 x 0) when the units per inch or the twips are 0.
Size PlaceableMetafileExtent(Size box, int unitsPerInch, Size twipsPerPixel);

// The viewports a placeable metafile is played into within an area of A x B: its extent shrunk by
// nine-tenths steps until it is smaller than the area, once centred (mode 0) or as a centred
// block of whole tiles (mode 1).
std::vector<Rect> FittedMetafileViewports(Size area, Size extent, int mode);

// Plays a placeable Windows metafile fitted into the area, once into each viewport.
void PlayPlaceableMetafileFitted(const MetafileImage* metafile, Surface& surface, Size area, Size extent, int mode);

// The rectangles an enhanced metafile of the given size is drawn into in a client area: once,
// shrunk and centred (tile mode 0), or a centred block of whole tiles (tile mode 1).
std::vector<Rect> EnhancedMetafileRects(Size client, Size bounds, int tileMode);

}  // namespace ravelle
