// IFF pictures: the planar "ILBM" form and the chunky "PBM " form (all numbers big-endian).
//
//   "FORM", size (4), form type (4), then chunks: ID (4), size (4), data, a pad byte when odd
//   BMHD   width, height (2 each), x, y, planes (1), masking (1), compression (1), pad,
//          transparent colour (2), aspect (2), page size (4)
//   CMAP   red, green, blue per entry        CAMG  viewport mode: 0x800 HAM, 0x80 extra-halfbrite
//   BODY   the rows, top first: one line per plane (ceil(width / 8) bytes, even), then a mask
//          line with masking 1; "PBM " rows are one byte (or three) a pixel, padded to even
//
// Compression 0 is raw; any other value is ByteRun1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "formats/common/read_result.h"
#include "image/byte_source.h"

namespace ravelle {

ReadResult ReadIffImage(std::span<const uint8_t> file);
// The same, reading the file by offset: no copy of it is held.
ReadResult ReadIffImage(const ByteSource& file);

// Writes an "ILBM" file: standard planes, or 6-plane hold-and-modify; raw or ByteRun1. False
// (and no file) for a depth the writer does not take or when the file could not be written.
bool WriteIffImage(const std::filesystem::path& path, bool pack, bool ham, const PackedDib& dib);

}  // namespace ravelle
