#include "shell/current_image.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace ravelle {

std::vector<PaletteEntry> CreateDibPalette(const PackedDib& dib) {
  std::vector<PaletteEntry> palette;
  if (!dib || dib.BitCount() > 8) return palette;
  for (const RgbQuad& c : dib.Colors()) palette.push_back({c.rgbRed, c.rgbGreen, c.rgbBlue, 0});
  return palette;
}

void CompactDibDepth(PackedDib& dib) {
  if (!dib) return;
  BitmapInfoHeader& header = dib.Header();
  const int oldBits = header.biBitCount;
  if (oldBits != 4 && oldBits != 8) return;
  const std::size_t colours = ColorTableEntries(header);
  int newBits = 0;
  if (oldBits == 8 && colours <= 16) newBits = colours == 2 ? 1 : 4;
  if (oldBits == 4 && colours <= 2) newBits = 1;
  if (newBits == 0) return;

  const int width = header.biWidth;
  const int height = header.biHeight;
  const std::size_t oldStride = dib.Stride();
  const std::size_t newStride = *DibStride(width, newBits);
  const std::span<uint8_t> pixels = dib.Pixels();
  if (pixels.size() < oldStride * static_cast<std::size_t>(height)) return;
  std::vector<uint8_t> row(newStride);

  // Rows never move forward (the new stride is never larger), so each packed row can be
  // copied over the block as soon as its old row has been read.
  for (int y = 0; y < height; ++y) {
    const uint8_t* old = pixels.data() + static_cast<std::size_t>(y) * oldStride;
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < width; ++x) {
      const uint8_t index = oldBits == 8 ? old[x] : ((old[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F);
      if (newBits == 4) {
        row[x / 2] |= x % 2 == 0 ? static_cast<uint8_t>((index & 0x0F) << 4) : (index & 0x0F);
      } else if (index != 0) {
        row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
    }
    std::memcpy(pixels.data() + static_cast<std::size_t>(y) * newStride, row.data(), newStride);
  }
  header.biBitCount = static_cast<uint16_t>(newBits);
  // Keep the size field true to the rows, so that a file written from this image is consistent.
  if (header.biSizeImage != 0) header.biSizeImage = static_cast<uint32_t>(newStride * height);
}

Rect PreviewFrameFor(Size box, int64_t width, int64_t height) {
  if (width == height) return {0, 0, box.width, box.height};
  // For sizes above zero the shorter side is below the box; a negative size from a damaged
  // header is held to the box rather than to any number at all.
  const auto side = [](int boxSide, int64_t part, int64_t whole) {
    const double exact = static_cast<double>(boxSide) * static_cast<double>(part) / static_cast<double>(whole);
    return static_cast<int>(std::clamp(exact, -static_cast<double>(boxSide), static_cast<double>(boxSide)) + 0.5);
  };
  if (width > height) {
    const int frameHeight = side(box.height, height, width);
    return {0, (box.height - frameHeight) / 2, box.width, frameHeight};
  }
  const int frameWidth = side(box.width, width, height);
  return {(box.width - frameWidth) / 2, 0, frameWidth, box.height};
}

void FitPreviewFrame(CurrentImage& image, Port& port, int64_t width, int64_t height) {
  if (image.Kind == ImageKind::AnimatedGif) return;
  image.PreviewFitSize = {width, height};
  image.PreviewFrame = PreviewFrameFor(image.PreviewBox, width, height);
  if (!image.Viewer) port.DrawPreviewFrame({0, 0, image.PreviewBox.width, image.PreviewBox.height}, image.PreviewFrame);
}

void TakeBitCountAndColors(CurrentImage& image) {
  if (!image.Handle) return;
  const BitmapInfoHeader& header = image.Handle.Header();
  image.BitCount = header.biBitCount;
  image.ColorsUsed = static_cast<int>(std::min<uint32_t>(header.biClrUsed, 0x7FFFFFFF));
  const auto colours = image.Handle.Colors();
  const auto grey = [](RgbQuad c, uint8_t v) { return c.rgbRed == v && c.rgbGreen == v && c.rgbBlue == v; };
  if (image.BitCount == 1 && colours.size() >= 2 &&
      ((grey(colours[0], 0) && grey(colours[1], 255)) || (grey(colours[0], 255) && grey(colours[1], 0)))) {
    image.ColorsUsed = 1;
  }
}

bool IsBlackAndWhite(const CurrentImage& image) { return image.ColorsUsed == 1 && image.BitCount == 1; }

void ReleaseImage(CurrentImage& image, Port& port) {
  const bool animated = image.Kind == ImageKind::AnimatedGif || image.Kind == ImageKind::IconSequence ||
                        image.Kind == ImageKind::AnimatedCursor;
  if (animated || image.Timer) {
    // The timer must stop before the image it steps through is freed.
    if (image.Timer) port.KillAnimationTimer();
    image.Timer = false;
    image.File.clear();
  }
  image.FrameDib = PackedDib();
  image.Animation.reset();
  image.FrameTools.clear();
  image.AniTables = AniSequence();
  image.Metafile.reset();
  image.Handle = PackedDib();
  image.SavedImage = PackedDib();
}

}  // namespace ravelle
