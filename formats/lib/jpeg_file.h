// JPEG files through libjpeg (the version 62 interface of libjpeg-turbo). All coding, colour
// conversion and sampling is the library's; this layer sets it up, moves rows between the
// library and a PackedDib and turns the library's errors into a failed result.
//
// Reading gives an 8-bit gray image (one component, behind a 256-entry gray ramp) or a 24-bit
// image (three components, and four-component C/M/Y/K and Y/Cb/Cr/K files converted to colour).
// Writing takes any depth: an image whose colour table is all gray becomes a one-component
// file, every other image a three-component one; baseline or progressive.
#pragma once

#include <filesystem>
#include <string>

#include "formats/common/read_result.h"
#include "image/packed_dib.h"

namespace ravelle {

// The quality Convert/Save writes with.
inline constexpr int kJpegQuality = 85;

// `displayDepth` is accepted like every library reader's and not used. With `fitSide`, for a
// picture to be shown with its longer side that long, the picture is decoded at 1/2, 1/4 or 1/8
// of its size when that still gives at least so many pixels (the text keeps the file's size).
ReadResult ReadJpegImage(const std::string& path, int displayDepth, int fitSide = 0);

// False for a depth other than 1, 4, 8, 16, 24 and 32, a file that cannot be created, or an
// error of the library; nothing is left behind then.
bool WriteJpegImage(const std::filesystem::path& path, int quality, const PackedDib& dib, bool progressive);

}  // namespace ravelle
