// A bounded reader over a file's bytes. Every read is checked: reading past the end yields
// zeros and sets a sticky Truncated() flag, so header code can be written straight down and
// checked once. Sub() hands out a child reader limited to one chunk or record.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace ravelle {

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

  std::size_t Size() const { return data_.size(); }
  std::size_t Position() const { return pos_; }
  std::size_t Remaining() const { return data_.size() - pos_; }
  bool AtEnd() const { return pos_ >= data_.size(); }
  bool Truncated() const { return truncated_; }
  std::span<const uint8_t> Data() const { return data_; }

  // Moves to an absolute offset; an offset past the end leaves the reader at the end.
  void Seek(std::size_t offset) {
    if (offset > data_.size()) {
      pos_ = data_.size();
      truncated_ = true;
    } else {
      pos_ = offset;
    }
  }

  void Skip(std::size_t n) { Seek(n > Remaining() ? data_.size() + 1 : pos_ + n); }

  uint8_t U8() {
    if (pos_ >= data_.size()) {
      truncated_ = true;
      return 0;
    }
    return data_[pos_++];
  }
  // Each byte is read in its own statement: the operands of | are not sequenced.
  uint16_t U16le() {
    const uint8_t lo = U8();
    const uint8_t hi = U8();
    return static_cast<uint16_t>(lo | (hi << 8));
  }
  uint32_t U32le() {
    const uint32_t lo = U16le();
    const uint32_t hi = U16le();
    return lo | (hi << 16);
  }
  int16_t I16le() { return static_cast<int16_t>(U16le()); }
  int32_t I32le() { return static_cast<int32_t>(U32le()); }
  uint16_t U16be() {
    const uint8_t hi = U8();
    const uint8_t lo = U8();
    return static_cast<uint16_t>((hi << 8) | lo);
  }
  uint32_t U32be() {
    const uint32_t hi = U16be();
    const uint32_t lo = U16be();
    return (hi << 16) | lo;
  }

  // Up to n bytes from the current position (fewer, and Truncated(), at the end).
  std::span<const uint8_t> Bytes(std::size_t n) {
    const std::size_t take = std::min(n, Remaining());
    if (take < n) truncated_ = true;
    const auto bytes = data_.subspan(pos_, take);
    pos_ += take;
    return bytes;
  }

  // Copies into `out` what is there; the rest of `out` is left as it was. Returns the count.
  std::size_t Read(std::span<uint8_t> out) {
    const auto bytes = Bytes(out.size());
    if (!bytes.empty()) std::memcpy(out.data(), bytes.data(), bytes.size());
    return bytes.size();
  }

  // A reader over the next n bytes (cut at the end), and this reader moved past them.
  ByteReader Sub(std::size_t n) { return ByteReader(Bytes(n)); }

 private:
  std::span<const uint8_t> data_;
  std::size_t pos_ = 0;
  bool truncated_ = false;
};

}  // namespace ravelle
