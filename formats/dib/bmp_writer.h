// Writing a PackedDib as a Windows bitmap file: uncompressed, run-length encoded (RLE4 for
// 4-bit, RLE8 for 8-bit images) or with bit-field masks (5-5-5 or 5-6-5 for 16-bit, 8-8-8 or
// 10-10-10 for 32-bit images). Each returns true when the whole file was written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <vector>

#include "image/packed_dib.h"

namespace ravelle {

// Writes the uncompressed form into a stream the caller created and closes. False for a depth a
// bitmap file cannot hold.
bool WriteBmp(const PackedDib& dib, std::FILE* out);

// Creates the file and writes the RLE form; false when the depth is not 4 or 8 or the file
// could not be written.
bool WriteBmpRle(const std::filesystem::path& file, const PackedDib& dib);

// Creates the file and writes the bit-field form, variant 0 (5-5-5, 8-8-8) or 1 (5-6-5,
// 10-10-10); false when the depth is not 16 or 32 or the file could not be written.
bool WriteBmpBitfields(const std::filesystem::path& file, const PackedDib& dib, int variant);

// Encodes one row (`mode` 1 for RLE8, 2 for RLE4), appending it to `out` when there is one, and
// returns its encoded length in bytes either way.
std::size_t EncodeRleRow(std::span<const uint8_t> row, int width, int mode, std::vector<uint8_t>* out);

}  // namespace ravelle
