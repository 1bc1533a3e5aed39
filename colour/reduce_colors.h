// Colour reduction of a PackedDib: the best 256, 32 or 16 colours, the fixed palettes, and
// grayscale. The engines make a new image and leave the source as it is.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "colour/palettes.h"
#include "image/packed_dib.h"
#include "image/dib_pixels.h"
#include "image/transform_status.h"

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

}  // namespace ravelle
