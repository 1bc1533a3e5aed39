// The Orientation tag (0x0112) of an Exif block: the TIFF structure a JPEG carries in its APP1
// segment after "Exif\0\0" and a WebP file in its EXIF chunk.
//
//   offset 0    "II" (little-endian) or "MM" (big-endian), 42, the offset of the first IFD (32 bits)
//   IFD         a 16-bit count of 12-byte entries: tag, type, count (32 bits), value or offset
//
// Only the first IFD (the main picture's) is looked at; the chain of IFDs after it describes
// the thumbnail and is never followed. Every read is checked against the block.
#pragma once

#include <cstdint>
#include <span>

namespace ravelle {

// The orientation, 1 to 8, that `exif` records (the "Exif\0\0" prefix may be there or not);
// 0 when it records none, the block is damaged or the value lies outside 1 to 8. Entries that
// lie past the end of the block are not read.
int ExifOrientation(std::span<const uint8_t> exif);


}  // namespace ravelle
