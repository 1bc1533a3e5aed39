// Icon (ICO) and cursor (CUR) files, and animated cursors (ANI).
//
// An icon file, numbers little-endian, from a base offset (0, or the data of an ANI "icon" chunk):
//
//   0x00  reserved (2), must be 0; type (2): 1 icon, 2 cursor; image count (2)
//   0x06  one 16-byte entry per image: width (1), height (1), 0 meaning 256; colours (1);
//         reserved (1); planes or hot-spot x (2); bits or hot-spot y (2); bytes in image (4);
//         image offset from the base (4)
//   image a BITMAPINFOHEADER (its height counts both bitmaps), the colour table, the XOR rows,
//         then the AND-mask rows at 1 bit per pixel; or a whole PNG file
//
// An image becomes a plain PackedDib of the directory's size by laying it over white: a pixel
// whose mask bit is 0 keeps its colour, one whose bit is 1 becomes white inverted by its colour.
// 32-bit images with an alpha channel and PNG images are laid over white by their alpha.
//
// An animated cursor is a RIFF "ACON" form: "anih" gives the numbers of stored frames and steps,
// "rate" a display time per step (1/60 s), "seq " a frame number per step, and each "icon" chunk
// holds one embedded icon file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/common/read_result.h"
#include "image/image_kind.h"
#include "image/packed_dib.h"

namespace ravelle {

// The reader of PNG files by path (the signature of ReadPngImage). Icons that store an image as
// PNG are decoded through it; without one, such images are not read.
using PngFileReader = ReadResult (*)(const std::string& path, int displayDepth);

struct IconRequest {
  int imageNumber = 1;          // 1-based
  std::size_t baseOffset = 0;
  // 0: a file of its own (the icon or cursor text; the preview frame unless `currentKind` is
  // IconSequence); 1: the first frame of an animated cursor (the animated text and the frame);
  // any other: neither.
  int mode = 0;
  ImageKind currentKind = ImageKind::Bitmap;
  PngFileReader png = nullptr;
};

struct IconImage {
  ReadResult result;
  int imageCount = 0;          // the directory's number of images, once its header was read
  std::size_t end = 0;         // where the reading of the image stopped in the file
};

IconImage ReadIconImage(std::span<const uint8_t> file, const IconRequest& request);

struct AniFrameStep {
  uint32_t frame = 0;
  uint32_t rate = 10;          // in 1/60 s
};

struct AniTables {
  uint32_t frameCount = 0;     // as "anih" says
  uint32_t stepCount = 0;
  std::vector<AniFrameStep> steps;
  // The frames read, in the order of the "icon" chunks; frames past the first one that could
  // not be read are missing.
  std::vector<PackedDib> frames;
};

// More steps than this are refused like a table that cannot be allocated (over four hours of
// animation at the shortest rate; "anih" alone, without any data, could ask for four billion).
inline constexpr uint32_t kMaxAniSteps = uint32_t{1} << 20;

struct AnimatedCursor {
  // The first frame's animated text followed by the two counts; `dib` a copy of the frame the
  // first step shows (the first frame when that one is missing). No message of its own: a
  // file that is not an animated cursor gives BadHeader and nothing else.
  ReadResult result;
  AniTables tables;
};

AnimatedCursor ReadAnimatedCursor(std::span<const uint8_t> file, PngFileReader png);

}  // namespace ravelle
