// The one in-memory raster form: a packed device-independent bitmap.
//
// One contiguous, zero-initialised block laid out exactly as the Windows packed DIB:
//
//   offset 0    BITMAPINFOHEADER (40 bytes, biCompression always 0 in memory)
//   offset 40   colour table: RGBQUAD entries, only for 1, 4 and 8 bits per pixel
//               (biClrUsed entries, or 2^biBitCount when biClrUsed is 0)
//   then        biHeight rows, the bottom row first, each padded to a multiple of 4 bytes
//
// 16-bit images are always 5-5-5 (bit 15 clear) and 32-bit images always B, G, R and a
// fourth byte. An empty PackedDib stands for "no image" (handle 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <utility>

#include "image/limits.h"

namespace ravelle {

struct BitmapInfoHeader {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

struct RgbQuad {
  uint8_t rgbBlue = 0;
  uint8_t rgbGreen = 0;
  uint8_t rgbRed = 0;
  uint8_t rgbReserved = 0;
  friend bool operator==(const RgbQuad&, const RgbQuad&) = default;
};
static_assert(sizeof(RgbQuad) == 4);


// Bytes per row, padded to a multiple of 4; nothing when the width is not positive or the
// depth is not one a PackedDib can have, or when the result would not fit the size limit.
std::optional<std::size_t> DibStride(int64_t width, int bitCount);

// The number of colour-table entries a header implies.
std::size_t ColorTableEntries(const BitmapInfoHeader& header);

// The size of the whole block a header needs, or nothing when it is invalid or over the limit;
// DibSizeCheck tells those two apart.
std::optional<std::size_t> DibBlockSize(const BitmapInfoHeader& header);
enum class DibSize { Fits, Invalid, OverLimit };  // Invalid: not positive, or a depth no PackedDib has
DibSize DibSizeCheck(const BitmapInfoHeader& header);

// Frees a block from AllocateBlock: large blocks are mapped straight from the system and
// `mapped` is their mapped length; 0 for blocks from the heap.
struct DibBlockDeleter {
  std::size_t mapped = 0;
  void operator()(uint8_t* p) const;
};
using BlockPtr = std::unique_ptr<uint8_t[], DibBlockDeleter>;

// A zeroed block for an image or a file's bytes; null when the memory is not there. Large blocks
// get fresh zero pages of their own, in 2 MB pages where the system offers them, so that a
// photograph is filled with a few hundred page faults instead of tens of thousands.
BlockPtr AllocateBlock(std::size_t bytes);

class PackedDib {
 public:
  PackedDib() = default;
  // A moved-from PackedDib is empty (handle 0), so a slot whose image was handed on tests false.
  PackedDib(PackedDib&& other) noexcept : block_(std::move(other.block_)), size_(std::exchange(other.size_, 0)) {}
  PackedDib& operator=(PackedDib&& other) noexcept {
    block_ = std::move(other.block_);
    size_ = std::exchange(other.size_, 0);
    return *this;
  }
  PackedDib(const PackedDib&) = delete;
  PackedDib& operator=(const PackedDib&) = delete;

  explicit operator bool() const { return size_ != 0; }
  std::size_t Size() const { return size_; }

  // The header of a non-empty image; Width, Height and BitCount are 0 for an empty one.
  BitmapInfoHeader& Header();
  const BitmapInfoHeader& Header() const;
  int Width() const { return *this ? Header().biWidth : 0; }
  int Height() const { return *this ? Header().biHeight : 0; }
  int BitCount() const { return *this ? Header().biBitCount : 0; }

  // The colour table, cut to what the block holds.
  std::span<RgbQuad> Colors();
  std::span<const RgbQuad> Colors() const;

  std::size_t Stride() const;
  std::size_t PixelOffset() const;
  // All rows, bottom row first, cut to what the block holds.
  std::span<uint8_t> Pixels();
  std::span<const uint8_t> Pixels() const;
  // Row y (0 is the bottom row, as stored); empty when y is out of range.
  std::span<uint8_t> Row(int y);
  std::span<const uint8_t> Row(int y) const;

  std::span<uint8_t> Bytes() { return {block_.get(), size_}; }
  std::span<const uint8_t> Bytes() const { return {block_.get(), size_}; }

  // A deep copy; empty when the copy cannot be allocated.
  PackedDib Clone() const;

 private:
  friend PackedDib AllocateDib(std::size_t bytes);
  BlockPtr block_;
  std::size_t size_ = 0;
};

// The one allocation function: a zeroed block of the given size, or an empty PackedDib when
// the size is below a header, over kMaxDibBytes, or the memory is not there. Callers turn an
// empty result into the "Memory Allocation Error" message.
PackedDib AllocateDib(std::size_t bytes);

// Zeroes what lies past the last pixel of each row: the unused bits of its last byte and the
// padding to 4 bytes. Rows read straight from a file carry whatever the file had there. The
// second form clears only `count` rows from row `first` on: the rows a short file reached.
void ClearRowPadding(PackedDib& dib);
void ClearRowPadding(PackedDib& dib, int first, int count);

// A zeroed image with its header filled in (biClrUsed as given) and room for its colour table.
PackedDib CreateDib(int width, int height, int bitCount, uint32_t clrUsed = 0);

}  // namespace ravelle
