#include "formats/lib/lib_fixtures.h"

#include <png.h>
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace ravelle::test {

RgbImage AsWritten(const PackedDib& source) {
  RgbImage image = DibToRgb(source);
  if (source.BitCount() == 16) {
    for (uint8_t& v : image.rgb) v = static_cast<uint8_t>(v & 0xF8);
  }
  return image;
}

PackedDib ReaderGrays(int width, int height, int levels) {
  PackedDib dib = DrawDib(width, height, 4, Palette::Gray, levels == 16 ? 0 : static_cast<uint32_t>(levels));
  for (int i = 0; i < levels; ++i) {
    const auto v = static_cast<uint8_t>(256 / levels * i + 8);
    dib.Colors()[i] = {v, v, v, 0};
  }
  return dib;
}

void WritePngFixture(const std::filesystem::path& file, const PngFixture& f) {
  std::FILE* out = std::fopen(file.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) std::abort();
  png_init_io(png, out);
  png_set_IHDR(png, info, f.width, f.height, f.bitDepth, f.colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (const auto& row : f.rows) png_write_row(png, row.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(out);
}

void WriteTiffFixture(const std::filesystem::path& file, const TiffFixture& f) {
  TIFF* tif = TIFFOpen(file.c_str(), "w");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, f.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, f.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, f.bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, f.samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, f.photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, f.planar);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, f.orientation);
  // Y/Cb/Cr fixtures hold one sample of each per pixel.
  if (f.photometric == PHOTOMETRIC_YCBCR) TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 1, 1);
  if (f.extraSamples != 0) {
    const uint16_t extra[] = {f.extraSamples};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  if (!f.colormap.empty()) {
    const std::size_t n = f.colormap.size() / 3;
    TIFFSetField(tif, TIFFTAG_COLORMAP, f.colormap.data(), f.colormap.data() + n, f.colormap.data() + 2 * n);
  }
  const std::size_t planeSamples = f.planar == 2 ? 1 : f.samples;
  const std::size_t rowBytes = (std::size_t{f.width} * planeSamples * f.bits + 7) / 8;
  const std::size_t planes = f.planar == 2 ? f.samples : 1;
  if (f.tileWidth != 0) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, f.tileWidth);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, f.tileLength);
    const std::size_t tileRow = (std::size_t{f.tileWidth} * planeSamples * f.bits + 7) / 8;
    std::vector<uint8_t> tile(tileRow * f.tileLength);
    for (std::size_t p = 0; p < planes; ++p) {
      for (uint32_t y0 = 0; y0 < f.height; y0 += f.tileLength) {
        for (uint32_t x0 = 0; x0 < f.width; x0 += f.tileWidth) {
          std::fill(tile.begin(), tile.end(), 0);
          const std::size_t offset = x0 * planeSamples * f.bits / 8;
          for (uint32_t k = 0; k < f.tileLength && y0 + k < f.height; ++k) {
            const uint8_t* row = f.pixels.data() + (p * f.height + y0 + k) * rowBytes;
            std::copy(row + offset, row + std::min(rowBytes, offset + tileRow), tile.begin() + k * tileRow);
          }
          TIFFWriteTile(tif, tile.data(), x0, y0, 0, static_cast<uint16_t>(p));
        }
      }
    }
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 2);
    for (std::size_t p = 0; p < planes; ++p) {
      for (uint32_t y = 0; y < f.height; ++y) {
        std::vector<uint8_t> row(f.pixels.begin() + static_cast<std::ptrdiff_t>((p * f.height + y) * rowBytes),
                                 f.pixels.begin() + static_cast<std::ptrdiff_t>((p * f.height + y + 1) * rowBytes));
        TIFFWriteScanline(tif, row.data(), y, static_cast<uint16_t>(p));
      }
    }
  }
  TIFFClose(tif);
}

std::optional<uint32_t> TiffTag(const std::filesystem::path& file, uint32_t tag) {
  TIFF* tif = TIFFOpen(file.c_str(), "r");
  if (tif == nullptr) return std::nullopt;
  std::optional<uint32_t> value;
  const TIFFField* field = TIFFFieldWithTag(tif, tag);
  if (tag == TIFFTAG_EXTRASAMPLES) {
    uint16_t count = 0;
    uint16_t* values = nullptr;
    if (TIFFGetField(tif, tag, &count, &values) != 0) value = count;
  } else if (field != nullptr && TIFFFieldDataType(field) == TIFF_SHORT) {
    uint16_t v = 0;
    if (TIFFGetField(tif, tag, &v) != 0) value = v;
  } else {
    uint32_t v = 0;
    if (TIFFGetField(tif, tag, &v) != 0) value = v;
  }
  TIFFClose(tif);
  return value;
}

std::optional<RgbImage> DecodeWithTiff2Rgba(const std::filesystem::path& file) {
  if (!HaveProgram("/usr/bin/tiff2rgba")) return std::nullopt;
  TempDir dir;
  const auto out = dir / "rgba.tif";
  if (RunCommand("/usr/bin/tiff2rgba -c none -n " + Quote(file.string()) + " " + Quote(out.string()) + " 2>/dev/null").status != 0) {
    return std::nullopt;
  }
  return DecodeWithNetpbm(out, "tifftopnm");
}

int OpenDescriptors() { return static_cast<int>(std::ranges::distance(std::filesystem::directory_iterator("/proc/self/fd"))); }

}  // namespace ravelle::test
