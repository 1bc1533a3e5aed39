// A file's bytes taken in order through a small window, for the readers of run-length coded
// data: the codes go from the file into the picture with no copy of the file in between. A
// source in memory is read in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "image/byte_source.h"

namespace ravelle {

class ByteStream {
 public:
  static constexpr std::size_t kWindowBytes = 64 << 10;

  // The bytes of `source` from `offset` on; the source must outlive the stream.
  ByteStream(const ByteSource& source, uint64_t offset);

  uint64_t Position() const { return windowEnd_ - static_cast<uint64_t>(end_ - at_); }

  // The next byte; false at the end of the data.
  bool Byte(uint8_t& byte) {
    if (at_ == end_ && !Refill(1)) return false;
    byte = *at_++;
    return true;
  }

  // The next `n` bytes (n at most kWindowBytes) in one piece, fewer at the end of the data.
  std::span<const uint8_t> Bytes(std::size_t n);

  // Copies the next out.size() bytes into `out`, fewer at the end of the data; the count.
  std::size_t Read(std::span<uint8_t> out);

 private:
  // Keeps the unread bytes and reads on until `wanted` are there or the data ends.
  bool Refill(std::size_t wanted);

  const ByteSource& source_;
  uint64_t windowEnd_;  // the offset of the byte after the window
  std::vector<uint8_t> window_;
  const uint8_t* at_ = nullptr;
  const uint8_t* end_ = nullptr;
};

}  // namespace ravelle
