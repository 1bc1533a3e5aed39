// Thumbnails for file managers: the picture the viewer shows of a file, shrunk to fit a square,
// with the freedesktop thumbnail keys of the file it shows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "formats/lib/png_file.h"
#include "image/packed_dib.h"
#include "shell/current_image.h"

namespace ravelle {

inline constexpr int kDefaultThumbnailSide = 256;
inline constexpr int kMaxThumbnailSide = 4096;

// The raster picture of the image just loaded (loaded with FitSide = `side`) shrunk by area
// averaging so that its longer side is at most `side`: an animation's first frame, an icon file's
// largest image (the deepest of those), a cursor's first frame, a Bitmap. Empty for a metafile
// or no image.
PackedDib ThumbnailPicture(const CurrentImage& image, int side);

// The picture's size to fill in a thumbnail of `side` for the image just loaded: its raster's
// or, for a metafile, its frame's in pixels; the picture's size fitted within `side`.
struct ThumbnailSizes {
  int imageWidth = 0;
  int imageHeight = 0;
  int width = 0;
  int height = 0;
};
std::optional<ThumbnailSizes> ThumbnailSizesOf(const CurrentImage& image, int side);

// Thumb::URI (file://, the absolute path percent-encoded), Thumb::MTime, Thumb::Size,
// Thumb::Image::Width and ::Height, and Software.
std::vector<PngText> ThumbnailKeys(const std::string& absolutePath, const FileFindData& find, int imageWidth,
                                   int imageHeight);

}  // namespace ravelle
