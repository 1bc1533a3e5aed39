// HEIF files (HEVC-coded images in ISO base media boxes) through libheif, and what they share with
// AVIF, which keeps AV1-coded images in the same boxes.
//
//   offset 0    an "ftyp" box: its size (32-bit big-endian), "ftyp", the major brand ("heic",
//               "heix", "mif1", ...), a minor version, then the compatible brands
//   then        a "meta" box: the handler, the primary item ("pitm"), where each item's data is
//               ("iloc"), the items ("iinf": hvc1 images, grids of them, Exif, XMP), references
//               between them ("iref": alpha, thumbnails, grid tiles) and their properties
//               ("iprp": sizes, decoder configuration, colour, rotation "irot", mirror "imir",
//               crop "clap"), and the coded data in "mdat" or "idat"
//
// Reading gives the primary image as a 24-bit PackedDib (an 8-bit grey table for a monochrome
// one), alpha laid over white as the PNG reader lays it (WebpOverWhite), deeper samples reduced to
// 8 bits. The library puts grids together and applies the crop, rotation and mirror, so that the
// picture is upright; File Info says which orientation that was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/common/read_result.h"

namespace ravelle {

ReadResult ReadHeifImage(std::span<const uint8_t> file);

// The Exif orientation (1 to 8) of a picture shown after a rotation by `quarterTurns` times 90
// degrees anticlockwise and then a mirror (`mirror` 0: top and bottom exchanged, 1: left and
// right exchanged, -1: none), as the irot and imir properties of both formats say.
int HeifExifOrientation(int quarterTurns, int mirror);

// The rotation and mirror properties of a file's primary item, in the order they apply, as the
// Exif orientation they amount to (1 when there are none or the boxes cannot be read); and whether
// its pixel information says one channel; its size as stored ("ispe", 0 when there is none).
struct HeifPrimaryTraits {
  int orientation = 1;
  bool monochrome = false;
  uint32_t width = 0;
  uint32_t height = 0;
};
HeifPrimaryTraits ReadHeifPrimaryTraits(std::span<const uint8_t> file);

// Rows of 8-bit RGB or RGBA samples (`channels` 3 or 4, top row first) as a picture shown upright
// by Exif `orientation`: 24 bits with alpha laid over white, or with `grey` an 8-bit grey table of
// the red samples. Empty when there is no memory for it.
PackedDib HeifPixelsToDib(const uint8_t* pixels, std::size_t stride, int channels, int width, int height, bool grey,
                          int orientation);

}  // namespace ravelle
