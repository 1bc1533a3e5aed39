#include "image/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace ravelle {
namespace {

// Reads up to out.size() bytes at `offset`, going on after interrupted and partial reads; the
// count, short at the end of the file or on an error (which sets `failed`).
std::size_t ReadFully(int fd, uint64_t offset, std::span<uint8_t> out, bool* failed = nullptr) {
  std::size_t got = 0;
  while (got < out.size()) {
    const ssize_t n = ::pread(fd, out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && failed != nullptr) *failed = true;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

}  // namespace

std::optional<ByteSource> ByteSource::OpenFile(const std::string& path, uint64_t limit, std::size_t headBytes) {
  ByteSource source;
  // Without blocking, so that a named pipe is turned down instead of waited on.
  source.fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (source.fd_ < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(source.fd_, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  source.size_ = std::min<uint64_t>(limit, static_cast<uint64_t>(st.st_size));
  const auto wanted = static_cast<std::size_t>(std::min<uint64_t>(headBytes, source.size_));
  source.headCopy_ = AllocateBlock(std::max<std::size_t>(wanted, 1));
  if (!source.headCopy_) return std::nullopt;
  bool failed = false;
  const std::size_t got = ReadFully(source.fd_, 0, {source.headCopy_.get(), wanted}, &failed);
  if (failed) return std::nullopt;
  // A file shorter than it was a moment ago is taken at the length it has now.
  if (got < wanted) source.size_ = got;
  source.head_ = {source.headCopy_.get(), got};
  return source;
}

ByteSource::ByteSource(ByteSource&& other) noexcept
    : head_(other.head_), size_(other.size_), fd_(std::exchange(other.fd_, -1)), headCopy_(std::move(other.headCopy_)) {}

ByteSource::~ByteSource() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t ByteSource::ReadAt(uint64_t offset, std::span<uint8_t> out) const {
  if (offset >= size_) return 0;
  out = out.first(static_cast<std::size_t>(std::min<uint64_t>(out.size(), size_ - offset)));
  if (offset + out.size() > head_.size()) return ReadFully(fd_, offset, out);
  if (!out.empty()) std::memcpy(out.data(), head_.data() + offset, out.size());
  return out.size();
}

std::span<const uint8_t> ByteSource::From(uint64_t offset, BlockPtr& buffer) const {
  if (offset >= size_) return {};
  if (size_ <= head_.size()) return head_.subspan(static_cast<std::size_t>(offset));
  const auto length = static_cast<std::size_t>(size_ - offset);
  buffer = AllocateBlock(length);
  if (!buffer) return {};
  return {buffer.get(), ReadAt(offset, {buffer.get(), length})};
}

}  // namespace ravelle
