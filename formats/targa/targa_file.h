// Targa files: reading image types 1, 2, 3 (colour-mapped, true-colour, monochrome) and 9, 10,
// 11 (the same, run-length coded); writing them plain or run-length coded.
//
//   offset 0    ID length, colour-map type, image type
//   offset 3    colour map: first entry index, length (16-bit), entry size in bits
//   offset 8    x and y origin, width, height (16-bit), pixel depth, descriptor (bit 4 rows run
//               right to left, bit 5 the first row is the top one, bits 6-7 two- or four-way
//               row interleave)
//   offset 18   the image ID, the colour map, then the pixels: blue, green, red (and a fourth
//               byte at 32 bits), 16-bit pixels as 5-5-5 words
//
// Run-length packets: a byte h, then for h below 128 (h & 127) + 1 pixels stored whole, for h of
// 128 or more one pixel that stands (h & 127) + 1 times. Packets may run on into the next row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

#include "formats/common/read_result.h"
#include "image/byte_source.h"
#include "image/packed_dib.h"

namespace ravelle {

// Reads the header by offset and the pixels in order, uncompressed rows straight
// into the picture.
ReadResult ReadTargaImage(const ByteSource& file);
inline ReadResult ReadTargaImage(std::span<const uint8_t> file) { return ReadTargaImage(ByteSource(file)); }

// False for a depth other than 1, 4, 8, 16, 24 and 32 or a file that could not be written;
// nothing is left behind then.
bool WriteTargaImage(const std::filesystem::path& path, const PackedDib& dib, bool compress);

// Codes `count` pixels of `bytesPerPixel` bytes into `out` as run-length packets and returns the
// bytes written; `out` needs room for count × (bytesPerPixel + 1) bytes.
std::size_t EncodeTargaRunLine(const uint8_t* pixels, uint8_t* out, int count, int bytesPerPixel);

}  // namespace ravelle
