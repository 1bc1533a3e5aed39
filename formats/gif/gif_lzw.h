// The variable-length-code LZW of GIF image data: codes of 3 to 12 bits, least significant bit
// first, packed into sub-blocks of up to 255 bytes ended by an empty one.
#pragma once

#include <cstdint>
#include <memory>
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
// pixels beyond it are decoded and dropped. `decoded`, when given, is set to the number of
// pixels the data gave, in file order (dropped ones included): the rows past them are untouched.
bool DecodeGifLzw(ByteReader& in, int minCodeSize, PackedDib& dib, bool interlaced, int width, int height,
                  int64_t* decoded = nullptr);

// Encodes colour indices (each below 2^minCodeSize) handed over in pieces, one string of pixels
// across all of them; the table is cleared whenever it is full. The code size byte goes to `out`
// at once, the sub-blocks and their terminator at Finish().
class GifLzwEncoder {
 public:
  GifLzwEncoder(int minCodeSize, std::vector<uint8_t>& out);
  ~GifLzwEncoder();
  void Add(std::span<const uint8_t> indices);
  void Finish();

 private:
  void Reset();

  std::vector<uint8_t>& out_;
  std::unique_ptr<uint32_t[]> slots_;  // (prefix << 8 | pixel) << 12 | code; 0 is free
  std::vector<uint8_t> codes_;         // the packed codes before they are cut into sub-blocks
  std::size_t used_ = 0;               // bytes of codes_ written
  uint64_t bits_ = 0;                  // and the bits not yet written, `count_` of them
  int count_ = 0;
  int minCodeSize_;
  int size_;
  int next_;
  int prefix_ = -1;  // the string so far; -1 before the first pixel
};

}  // namespace ravelle
