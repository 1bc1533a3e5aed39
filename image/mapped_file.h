// A regular file's bytes mapped read-only, for the readers that work over a file in memory.
//
// Mapping instead of reading leaves one copy of an uncompressed file in memory, the image's, as
// long as the pages already copied are let go: large copies out of a mapping go through
// ReleaseRead, which drops the pages behind them (touched again, they are read back from the
// file, so a reader that looks at the same bytes twice sees the same bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "image/packed_dib.h"

namespace ravelle {

class MappedFile {
 public:
  // Up to `limit` bytes from the start of a regular file, mapped where the system allows and read
  // into memory otherwise; null when the file cannot be opened or read.
  static std::unique_ptr<MappedFile> Open(const std::string& path, uint64_t limit);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::span<const uint8_t> Bytes() const { return {data_, size_}; }

 private:
  MappedFile() = default;
  const uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t mapped_ = 0;  // the mapping's length; 0 when the bytes were read into `copy_`
  BlockPtr copy_;
};

// Lets the system drop the whole pages of `done` that lie inside a live mapping; nothing for
// any other memory.
void ReleaseRead(std::span<const uint8_t> done);

// Copies of at least this size go through CopyReleasing.
inline constexpr std::size_t kReleasingCopy = std::size_t{1} << 20;

// Copies `from` to `to` (their common length), letting the pages of `from` go as it goes.
void CopyReleasing(std::span<uint8_t> to, std::span<const uint8_t> from);

}  // namespace ravelle
