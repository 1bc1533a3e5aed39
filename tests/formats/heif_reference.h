// What the AVIF and HEIF tests compare with: a reference tool's PNG laid over white as the readers
// lay alpha, and the turns and mirrors the reference decoders leave undone.
#pragma once

#include <png.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "formats/webp/webp_reader.h"
#include "support/test_support.h"

namespace ravelle::test {

// A PNG of any depth and colour type, 16-bit samples cut to their top 8 bits, over white.
inline std::optional<RgbImage> PngOverWhite(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::optional<RgbImage> image;
  std::vector<uint8_t> rgba;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    const int width = static_cast<int>(png_get_image_width(png, info)), height = static_cast<int>(png_get_image_height(png, info));
    rgba.resize(std::size_t(width) * height * 4);
    std::vector<png_bytep> rows;
    for (int y = 0; y < height; ++y) rows.push_back(&rgba[std::size_t(y) * width * 4]);
    png_read_image(png, rows.data());
    image = RgbImage{width, height, {}};
    for (std::size_t p = 0; p < rgba.size(); p += 4) {
      for (int c = 0; c < 3; ++c) image->rgb.push_back(WebpOverWhite(rgba[p + c], rgba[p + 3]));
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return image;
}

// A quarter turn anticlockwise, and the mirrors: `leftRight` exchanges left and right.
inline RgbImage QuarterTurnAnticlockwise(const RgbImage& in) {
  RgbImage out{in.height, in.width, std::vector<uint8_t>(in.rgb.size())};
  for (int y = 0; y < in.height; ++y) {
    for (int x = 0; x < in.width; ++x) {
      const std::size_t to = 3 * (std::size_t(in.width - 1 - x) * out.width + y);
      for (int c = 0; c < 3; ++c) out.rgb[to + c] = in.rgb[3 * (std::size_t(y) * in.width + x) + c];
    }
  }
  return out;
}
inline RgbImage Mirrored(const RgbImage& in, bool leftRight) {
  RgbImage out = in;
  for (int y = 0; y < in.height; ++y) {
    for (int x = 0; x < in.width; ++x) {
      const int fx = leftRight ? in.width - 1 - x : x, fy = leftRight ? y : in.height - 1 - y;
      for (int c = 0; c < 3; ++c) out.rgb[3 * (std::size_t(y) * in.width + x) + c] = in.rgb[3 * (std::size_t(fy) * in.width + fx) + c];
    }
  }
  return out;
}

}  // namespace ravelle::test
