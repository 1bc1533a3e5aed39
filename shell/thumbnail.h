// Thumbnails for file managers: the picture the viewer shows of a file, shrunk to fit a square,
// with the freedesktop thumbnail keys of the file it shows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "formats/lib/png_file.h"
#include "image/packed_dib.h"
#include "shell/current_image.h"
#include "tools/scale.h"

namespace ravelle {

inline constexpr int kDefaultThumbnailSide = 256;
inline constexpr int kMaxThumbnailSide = 4096;

struct Thumbnail {
  PackedDib picture;
  int imageWidth = 0;  // of the picture shown (the file's, when a reader gave it reduced)
  int imageHeight = 0;
};

// The raster picture of the image just loaded (with FitSide = `side`) shrunk by area averaging so
// that its longer side is at most `side`: an animation's first frame, an icon file's largest
// image (the deepest of those), a cursor's first frame, a Bitmap. No picture for a metafile.
Thumbnail RasterThumbnail(const CurrentImage& image, int side);

// A metafile's thumbnail size, its frame's shape filling `side`; its frame's size in its own units.
std::optional<FitSize> MetafileThumbnailSize(const CurrentImage& image, int side);

// Thumb::URI (file://, the absolute path percent-encoded), Thumb::MTime, Thumb::Size,
// Thumb::Image::Width and ::Height, and Software.
std::vector<PngText> ThumbnailKeys(const std::string& absolutePath, const FileFindData& find, const Thumbnail& thumbnail);

}  // namespace ravelle
