#include "formats/avif/avif_writer.h"

#include <memory>

#include "formats/common/photo_libraries.h"
#include "image/dib_pixels.h"

namespace ravelle {
namespace {

struct ImageFree {
  void operator()(avifImage* image) const { Avif()->avifImageDestroy(image); }
};
struct EncoderFree {
  void operator()(avifEncoder* encoder) const { Avif()->avifEncoderDestroy(encoder); }
};
struct PixelsFree {
  void operator()(avifRGBImage* rgb) const { Avif()->avifRGBImageFreePixels(rgb); }
};
struct DataFree {
  void operator()(avifRWData* data) const { Avif()->avifRWDataFree(data); }
};

constexpr int kQuantizer = 13;  // quality 80: (100 - 80) × 63 / 100, rounded
constexpr int kSpeed = 8;

}  // namespace

bool WriteAvifImage(const PackedDib& dib, std::FILE* out) {
  if (!dib || Avif() == nullptr) return false;
  const std::unique_ptr<avifImage, ImageFree> image(
      Avif()->avifImageCreate(static_cast<uint32_t>(dib.Width()), static_cast<uint32_t>(dib.Height()), 8, AVIF_PIXEL_FORMAT_YUV420));
  if (!image) return false;
  avifRGBImage rgb;
  Avif()->avifRGBImageSetDefaults(&rgb, image.get());
  rgb.format = AVIF_RGB_FORMAT_RGB;
  Avif()->avifRGBImageAllocatePixels(&rgb);
  const std::unique_ptr<avifRGBImage, PixelsFree> pixels(&rgb);
  if (rgb.pixels == nullptr) return false;
  for (int y = 0; y < dib.Height(); ++y) {
    RowToRgb(dib, dib.Row(dib.Height() - 1 - y), rgb.pixels + static_cast<std::size_t>(y) * rgb.rowBytes);
  }
  if (Avif()->avifImageRGBToYUV(image.get(), &rgb) != AVIF_RESULT_OK) return false;
  const std::unique_ptr<avifEncoder, EncoderFree> encoder(Avif()->avifEncoderCreate());
  if (!encoder) return false;
  encoder->maxThreads = 2;
  encoder->speed = kSpeed;
  encoder->minQuantizer = encoder->maxQuantizer = kQuantizer;
  avifRWData output = AVIF_DATA_EMPTY;
  const std::unique_ptr<avifRWData, DataFree> written(&output);
  if (Avif()->avifEncoderWrite(encoder.get(), image.get(), &output) != AVIF_RESULT_OK) return false;
  return std::fwrite(output.data, 1, output.size, out) == output.size;
}

}  // namespace ravelle
