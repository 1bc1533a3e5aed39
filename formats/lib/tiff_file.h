// TIFF files through libtiff (its codecs, and zlib beneath Deflate). The library opens the
// file, reads and writes tags and codes strips and tiles; this layer decides how samples become
// bitmap pixels and back.
//
// Reading takes the first image of the file:
//   direct   1-, 4- and 8-bit gray and palette samples are copied behind a colour table built
//            here; 16-bit gray becomes 8-bit gray; 8-bit RGB (with or without a fourth sample)
//            and CMYK are converted pixel by pixel, from strips or tiles, contiguous or in
//            separate planes. Files with JPEG compression (7) are read as RGB.
//   RGBA     everything else libtiff can decode (other compressions, YCbCr without JPEG
//            compression, CIE L*a*b*, and layouts the direct path has no form for) goes through
//            libtiff's general RGBA reader, giving 8-bit gray or 24/32-bit colour.
// The image is then turned upright by its Orientation tag.
//
// Writing: one image, compression 1, 2, 3, 4, 5, 7, 32773 or 32946, in strips or tiles.
//   bitmap                       photometric  samples × bits
//   any, compression 7           YCbCr (6)    3 × 8  (RGB handed to the library's converter)
//   1 bit black/white            1 or 0       1 × 1  (by which of the two colours is first)
//   1 bit other colours          palette (3)  1 × 4
//   4 bits gray ramp             1            1 × 4  (steps of 64 or 16, as the readers make)
//   4 bits other                 3            1 × 4
//   8 bits gray                  1            1 × 8  (the gray levels, not the indices)
//   8 bits other                 3            1 × 8
//   16 bits (5-5-5), 24 bits     RGB (2)      3 × 8
//   32 bits                      2            4 × 8  (the fourth byte as it stands)
#pragma once

#include <filesystem>
#include <string>

#include "formats/common/read_result.h"
#include "image/packed_dib.h"

namespace ravelle {

// Strips are decoded whole where that gives the same rows (the libraries' fast paths work only
// on whole strips), and row by row otherwise; `RowByRow` reads every file row by row.
enum class TiffStrips { Whole, RowByRow };
ReadResult ReadTiffImage(const std::string& path, TiffStrips strips = TiffStrips::Whole);

// False for a depth other than 1, 4, 8, 16, 24 and 32, a compression libtiff cannot write for
// the image (the three fax compressions take only black-and-white images), a file that cannot
// be created, or any failed write; nothing is left behind then.
bool WriteTiffImage(const std::filesystem::path& path, int compression, bool tiles, const PackedDib& dib);

}  // namespace ravelle
