// PNG files through libpng 1.6 (zlib beneath it). Chunks, filtering, deflate, interlace passes
// and CRCs are the library's; this layer chooses the transformations and moves rows.
//
// Reading gives 1, 4, 8 or 24 bits per pixel: gray files get gray tables (2-bit levels
// 8, 72, 136, 200 and 4-bit levels 8, 24, ... 248, kept apart from the even ramps so that the
// writer recognises them), palette files their palette, colour files blue, green, red. Any alpha
// channel is laid over white and the samples are corrected for a screen gamma of 2.2.
// Writing picks the colour type and bit depth from the bitmap: gray tables give gray files,
// 3 or 4 colours give 2-bit samples; without or with Adam7 interlacing.
#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "formats/common/read_result.h"
#include "image/packed_dib.h"

namespace ravelle {

// `displayDepth` is accepted like every library reader's and not used.
ReadResult ReadPngImage(const std::string& path, int displayDepth);

// False for a depth other than 1, 4, 8, 16, 24 and 32, a file that cannot be created, or an
// error of the library; nothing is left behind then.
// `text` goes into tEXt chunks before the image data.
struct PngText {
  std::string key;
  std::string value;
};
bool WritePngImage(const std::filesystem::path& path, const PackedDib& dib, bool adam7, std::span<const PngText> text = {});

}  // namespace ravelle
