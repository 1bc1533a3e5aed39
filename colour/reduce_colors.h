// Colour reduction of a PackedDib: the best 256, 32 or 16 colours, the fixed palettes, and
// grayscale. Every reduction starts from the unreduced image: the slot that keeps it is handed
// in beside the shown image, filled by the first reduction and consumed by the next.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "colour/palettes.h"
#include "platform/port.h"
#include "shell/current_image.h"
#include "image/packed_dib.h"
#include "image/dib_pixels.h"
#include "tools/transform.h"

namespace ravelle {

// Rows of an image of any depth as red, green, blue bytes: indexed pixels through the colour
// table (an index past the table reads as black), 16-bit pixels as 5-5-5 (bit 15 ignored),
// 24- and 32-bit pixels from their blue, green, red bytes.
class RgbRowFeed {
 public:
  // `source` must hold all its rows (CompleteGeometry) and outlive the feed.
  RgbRowFeed(const PackedDib& source, const DibGeometry& geometry);
  // Stored row y (0 is the bottom row) into `rgb`, 3 bytes a pixel.
  void Feed(int y, std::span<uint8_t> rgb) const;

 private:
  const uint8_t* pixels_;
  DibGeometry geometry_;
  std::span<const RgbQuad> table_;
};

// The gray value of a colour: (R x 30 + G x 59 + B x 11) / 100, truncated.
inline uint8_t GrayOf(int red, int green, int blue) {
  return static_cast<uint8_t>((red * 30 + green * 59 + blue * 11) / 100);
}

struct ColorResult {
  TransformStatus status = TransformStatus::NoImage;
  PackedDib image;
};

// The reduction of `source` for a choice: -N for the N best colours (N from 1 to 256), or a
// fixed palette 2, 16, 216 or 256. An 8-bit image with the palette's (or the chosen colours')
// entries, the header otherwise taken from the source, not yet repacked to fewer bits.
ColorResult QuantizeImage(const PackedDib& source, int choice);

// The grayscale of `source`: indexed images keep their pixels and get gray colour tables;
// deeper images become 8-bit with the 256 grays as their table.
ColorResult GrayscaleImage(const PackedDib& source);

// As the viewer's colour commands run them. A kind other than Bitmap is refused with
// kNotABitmapMessage; an image in `saved` first becomes the source (freeing `handle`); the
// source ends in `saved`, the result in `handle`, repacked by CompactDibDepth. A failed
// allocation shows kInsufficientMemoryMessage and leaves the source in `handle`.
TransformStatus ReduceColors(PackedDib& handle, PackedDib& saved, int choice, ImageKind kind, bool waitCursor, Port& port);
TransformStatus ConvertToGrayscale(PackedDib& handle, PackedDib& saved, ImageKind kind, Port& port);

}  // namespace ravelle
