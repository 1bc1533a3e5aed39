// Where a reader's bytes come from: a span of memory, or a regular file read by offset.
//
// A file source holds the file's first bytes in memory (enough for any header) and reads the
// rest on request straight into the caller's memory, so that uncompressed rows go from the file
// into the image with no copy of the file in between. Reading is by pread, never by mapping: a
// file that another program cuts short while it is read gives a short read (which the readers
// treat as a truncated file), where a mapping would fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "image/packed_dib.h"

namespace ravelle {

class ByteSource {
 public:
  // The bytes of memory; they must outlive the source.
  explicit ByteSource(std::span<const uint8_t> bytes) : head_(bytes), size_(bytes.size()) {}

  // Up to `limit` bytes from the start of a regular file, its first `headBytes` read now; nothing
  // when it cannot be opened or read.
  static std::optional<ByteSource> OpenFile(const std::string& path, uint64_t limit, std::size_t headBytes);

  ByteSource(ByteSource&& other) noexcept;
  ByteSource& operator=(ByteSource&&) = delete;
  ByteSource(const ByteSource&) = delete;
  ~ByteSource();

  // The first bytes: all of them for memory, at most `headBytes` of a file.
  std::span<const uint8_t> Head() const { return head_; }
  // The length of the file when it was opened (at most `limit`).
  uint64_t Size() const { return size_; }

  // Copies into `out` what lies at `offset` (nothing past Size()); the count, fewer when the data
  // ends early or the file was cut short meanwhile. The rest of `out` is left as it was.
  std::size_t ReadAt(uint64_t offset, std::span<uint8_t> out) const;

  // The bytes from `offset` to Size(): a view of memory, or read from the file into `buffer`
  // (empty when there is no memory for them). A view into the head when it holds them all.
  std::span<const uint8_t> From(uint64_t offset, BlockPtr& buffer) const;

 private:
  ByteSource() = default;
  std::span<const uint8_t> head_;
  uint64_t size_ = 0;
  int fd_ = -1;
  BlockPtr headCopy_;
};

}  // namespace ravelle
