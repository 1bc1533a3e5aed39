#include "shell/thumbnail.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "formats/icon/icon_reader.h"

namespace ravelle {
namespace {

// The largest image of an icon file of several, then the deepest of those.
PackedDib LargestIcon(const CurrentImage& image) {
  PackedDib best;
  for (int number = 1; number <= image.IconCount; ++number) {
    IconImage icon = ReadIconImage(image.File, {.imageNumber = number, .mode = 2, .png = ReadPngImage});
    const PackedDib& dib = icon.result.dib;
    if (!dib) continue;
    const auto area = [](const PackedDib& d) { return int64_t{d.Width()} * d.Height(); };
    if (!best || area(dib) > area(best) || (area(dib) == area(best) && dib.BitCount() > best.BitCount())) {
      best = std::move(icon.result.dib);
    }
  }
  return best;
}

const PackedDib* ShownRaster(const CurrentImage& image) {
  switch (image.Kind) {
    case ImageKind::Bitmap: case ImageKind::IconSequence: case ImageKind::AnimatedCursor: return &image.Handle;
    case ImageKind::AnimatedGif: return &image.FrameDib;
    default: return nullptr;
  }
}

}  // namespace

Thumbnail RasterThumbnail(const CurrentImage& image, int side) {
  const PackedDib largest = image.Kind == ImageKind::IconSequence ? LargestIcon(image) : PackedDib();
  const PackedDib* raster = largest ? &largest : ShownRaster(image);
  if (raster == nullptr || !*raster) return {};
  Thumbnail thumbnail;
  // A reader that gave a reduced picture reported the file's size for the frame.
  const bool reduced = image.PreviewFitSize.width > raster->Width();
  thumbnail.imageWidth = reduced ? static_cast<int>(image.PreviewFitSize.width) : raster->Width();
  thumbnail.imageHeight = reduced ? static_cast<int>(image.PreviewFitSize.height) : raster->Height();
  const FitSize fit = FitWithin(raster->Width(), raster->Height(), side);
  thumbnail.picture = ShrinkByArea(*raster, fit.width, fit.height);
  return thumbnail;
}

std::optional<FitSize> MetafileThumbnailSize(const CurrentImage& image, int side) {
  const int64_t width = image.MetafileBounds.width;
  const int64_t height = image.MetafileBounds.height;
  if (!image.Metafile || width <= 0 || height <= 0) return std::nullopt;
  const int64_t longer = std::max(width, height);
  return FitSize{static_cast<int>(std::max<int64_t>(1, (width * side + longer / 2) / longer)),
                 static_cast<int>(std::max<int64_t>(1, (height * side + longer / 2) / longer))};
}

std::vector<PngText> ThumbnailKeys(const std::string& absolutePath, const FileFindData& find, const Thumbnail& thumbnail) {
  std::string uri = "file://";
  for (const unsigned char c : absolutePath) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       std::string_view("/-._~!$&'()*+,;=:@").find(static_cast<char>(c)) != std::string_view::npos;
    if (plain) {
      uri += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      uri += escaped;
    }
  }
  return {{"Thumb::URI", uri},
          {"Thumb::MTime", std::to_string(find.lastWriteTime)},
          {"Thumb::Size", std::to_string(find.size)},
          {"Thumb::Image::Width", std::to_string(thumbnail.imageWidth)},
          {"Thumb::Image::Height", std::to_string(thumbnail.imageHeight)},
          {"Software", "Ravelle Graphics' File Viewer"}};
}

}  // namespace ravelle
