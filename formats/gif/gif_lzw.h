// The variable-length-code LZW of GIF image data: codes of 3 to 12 bits, least significant bit
// first, packed into sub-blocks of up to 255 bytes ended by an empty one.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "image/byte_reader.h"
#include "image/packed_dib.h"

namespace ravelle {

// Decodes the sub-blocks at `in` into the 8-bit `dib` (zeroed; the image's top row is its last
// row), rows in the four interlace passes when `interlaced`. Pixels past the image are dropped.
// Returns false when the data ended early or held an illegal code: what was decoded is kept.
// `in` is left after the terminating sub-block when the data has one.
bool DecodeGifLzw(ByteReader& in, int minCodeSize, PackedDib& dib, bool interlaced);
// The same for an image of `width` x `height` of which `dib` holds the top-left part: the
// pixels beyond it are decoded and dropped.
bool DecodeGifLzw(ByteReader& in, int minCodeSize, PackedDib& dib, bool interlaced, int width, int height);

// Encodes colour indices (each below 2^minCodeSize) as sub-blocks with their terminator; the
// table is cleared whenever it is full.
void EncodeGifLzw(std::span<const uint8_t> indices, int minCodeSize, std::vector<uint8_t>& out);

}  // namespace ravelle
