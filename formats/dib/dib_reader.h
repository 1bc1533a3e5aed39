// Windows and OS/2 bitmap files ("BM").
//
//   offset 0    "BM", file size (4), two reserved words, bfOffBits (4, where the rows start)
//   offset 14   the information header; its first 4 bytes give its size:
//                 12      OS/2 1.x core header (16-bit width and height, 3-byte colours)
//                 40      Windows header (52, 56, 108 and 124 extend it with masks and colour space)
//                 64      OS/2 2.0 header (adds RLE24 and one-dimensional Modified Huffman)
//   then        bit-field masks (compression 3 with a 40-byte header), the colour table, the rows
//
// OS/2 bitmap arrays ("BA") hold a "BM" file at offset 14 whose offsets count from the start of
// the whole file; the readers take that start as `start`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "image/byte_reader.h"
#include "image/byte_source.h"
#include "formats/common/read_result.h"

namespace ravelle {

// The headers and colour tables come from the source's head, which must hold the first
// kDibHeadBytes bytes after `start` (or the whole file); the rows are read at their offset straight
// into the image (compressed rows are read whole first).
inline constexpr std::size_t kDibHeadBytes = 14 + 124 + 4 * 256;
ReadResult ReadWindowsDib(const ByteSource& file, std::size_t start = 0);
ReadResult ReadOs2Dib(const ByteSource& file, std::size_t start = 0);
ReadResult ReadOs2v2Dib(const ByteSource& file, std::size_t start = 0);
ReadResult ReadWindowsDib(std::span<const uint8_t> file, std::size_t start = 0);
ReadResult ReadOs2Dib(std::span<const uint8_t> file, std::size_t start = 0);
ReadResult ReadOs2v2Dib(std::span<const uint8_t> file, std::size_t start = 0);

// The run-length and fax decoders expand one stream into rows that are already allocated and
// zeroed (`rows` holds height rows of `stride` bytes, the bottom row first). Anything the stream
// places outside the image is dropped; the end of the data (or an invalid fax code) ends
// decoding with what was decoded, leaving the rows after it untouched.
struct DecodedRows {
  // Ok when the stream ended as it should or filled every row, Truncated when it stopped after
  // one row or more, Damaged when it stopped before its first row was whole.
  ReadStatus status = ReadStatus::Ok;
  int reached = 0;  // rows 0 to reached - 1 may have been written; the others are as they were
};
DecodedRows DecodeRle8(std::span<uint8_t> rows, std::size_t stride, int width, int height, ByteReader& in);
DecodedRows DecodeRle4(std::span<uint8_t> rows, std::size_t stride, int width, int height, ByteReader& in);
DecodedRows DecodeRle24(std::span<uint8_t> rows, std::size_t stride, int width, int height, ByteReader& in);
DecodedRows DecodeModifiedHuffman(std::span<uint8_t> rows, std::size_t stride, int width, int height, ByteReader& in);

// The next byte of a compressed stream; false at the end of the data.
bool ReadRleByte(ByteReader& in, uint8_t& out);

// Bits of a fax stream, most significant bit of each byte first; 1 at the end of the data.
struct BitReader {
  ByteReader& in;
  uint8_t byte = 0;
  int left = 0;
  bool exhausted = false;
};
int ReadBit(BitReader& bits);

}  // namespace ravelle
