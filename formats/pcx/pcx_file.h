// PCX files: reading every common layout and writing version 5 files with run-length coding.
//
//   offset 0    manufacturer 10, version (5 allows a 256-colour trailer), encoding, bits per
//               pixel per plane
//   offset 4    xmin, ymin, xmax, ymax (signed 16-bit; the image is xmax-xmin+1 wide)
//   offset 12   resolutions, then at 16 a 16-entry red, green, blue palette
//   offset 65   number of planes, at 66 bytes per line per plane (signed), then filler to 128
//   then        each row, top row first, as each plane's line of "bytes per line" bytes, coded
//               so that a byte of 0xC0 or above repeats the next byte (its low six bits) times
//   last 769    a version 5 file of 8 bits in one plane may end with 12 and 256 colours
//
// Layouts read: 1 bit (2 colours), 1 to 4 bits in up to 4 planes (a 4-bit image), 8 bits in one
// plane (256 colours), 8 bits gathered from several planes (8 planes of 1 bit, 4 of 2, 2 of 4),
// 16 bits in one plane, and 8 bits in 3 or 4 planes (24- or 32-bit images).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "formats/common/read_result.h"
#include "image/byte_source.h"
#include "image/packed_dib.h"

namespace ravelle {

// Reads the header by offset and the rows through a small window, straight into
// the picture; the 256-colour trailer by offset.
ReadResult ReadPcxImage(const ByteSource& file);
inline ReadResult ReadPcxImage(std::span<const uint8_t> file) { return ReadPcxImage(ByteSource(file)); }

// False for a depth other than 1, 4, 8, 16, 24 and 32 or a file that could not be written;
// nothing is left behind then.
bool WritePcxImage(const std::filesystem::path& path, const PackedDib& dib);

// Appends one plane line, run-length coded; runs never cross lines.
void WritePcxRunLine(std::vector<uint8_t>& out, std::span<const uint8_t> line);

}  // namespace ravelle
