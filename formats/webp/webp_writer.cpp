#include "formats/webp/webp_writer.h"

#include <webp/encode.h>

#include <memory>
#include <vector>

#include "image/dib_pixels.h"

namespace ravelle {
namespace {

int WriteToFile(const uint8_t* data, size_t size, const WebPPicture* picture) {
  return std::fwrite(data, 1, size, static_cast<std::FILE*>(picture->custom_ptr)) == size ? 1 : 0;
}

struct PictureFree {
  void operator()(WebPPicture* picture) const { WebPPictureFree(picture); }
};

}  // namespace

bool WriteWebpImage(const PackedDib& dib, std::FILE* out, bool lossless) {
  if (!dib || dib.Width() > WEBP_MAX_DIMENSION || dib.Height() > WEBP_MAX_DIMENSION) return false;
  WebPConfig config;
  if (WebPConfigInit(&config) == 0) return false;
  if (lossless) {
    WebPConfigLosslessPreset(&config, 2);  // a quarter of the default effort, files a few per cent larger
  } else {
    config.quality = 90;
  }
  config.thread_level = 1;
  WebPPicture picture;
  if (WebPPictureInit(&picture) == 0) return false;
  picture.use_argb = 1;
  picture.width = dib.Width();
  picture.height = dib.Height();
  if (WebPPictureAlloc(&picture) == 0) return false;
  const std::unique_ptr<WebPPicture, PictureFree> owned(&picture);
  // The picture's rows top down, as 0xAARRGGBB words.
  std::vector<uint8_t> rgb(static_cast<std::size_t>(dib.Width()) * 3);
  for (int y = 0; y < dib.Height(); ++y) {
    RowToRgb(dib, dib.Row(dib.Height() - 1 - y), rgb.data());
    uint32_t* argb = picture.argb + static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.argb_stride);
    for (int x = 0; x < dib.Width(); ++x) {
      const uint8_t* p = &rgb[static_cast<std::size_t>(x) * 3];
      argb[x] = 0xFF000000u | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }
  }
  picture.writer = WriteToFile;
  picture.custom_ptr = out;
  return WebPEncode(&config, &picture) != 0;
}

}  // namespace ravelle
