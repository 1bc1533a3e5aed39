#include "image/byte_stream.h"

#include <algorithm>
#include <cstring>

namespace ravelle {

ByteStream::ByteStream(const ByteSource& source, uint64_t offset) : source_(source), windowEnd_(std::min(offset, source.Size())) {
  // All of it in memory: the window is the data itself.
  if (source.Size() <= source.Head().size()) {
    at_ = source.Head().data() + windowEnd_;
    end_ = source.Head().data() + source.Size();
    windowEnd_ = source.Size();
  }
}

bool ByteStream::Refill(std::size_t wanted) {
  const auto kept = static_cast<std::size_t>(end_ - at_);
  if (kept >= wanted) return true;
  if (windowEnd_ >= source_.Size()) return false;
  if (window_.empty()) window_.resize(kWindowBytes);
  if (kept > 0) std::memmove(window_.data(), at_, kept);
  const std::size_t got = source_.ReadAt(windowEnd_, std::span(window_).subspan(kept));
  windowEnd_ = got == 0 ? source_.Size() : windowEnd_ + got;  // a file cut short meanwhile ends here
  at_ = window_.data();
  end_ = at_ + kept + got;
  return kept + got >= wanted;
}

std::span<const uint8_t> ByteStream::Bytes(std::size_t n) {
  Refill(std::min(n, kWindowBytes));
  const std::size_t take = std::min(n, static_cast<std::size_t>(end_ - at_));
  const std::span<const uint8_t> bytes(at_, take);
  at_ += take;
  return bytes;
}

std::size_t ByteStream::Read(std::span<uint8_t> out) {
  std::size_t done = std::min(out.size(), static_cast<std::size_t>(end_ - at_));
  if (done > 0) std::memcpy(out.data(), at_, done);
  at_ += done;
  if (done == out.size()) return done;
  // The rest straight from the file, past the window.
  const std::size_t got = source_.ReadAt(windowEnd_, out.subspan(done));
  windowEnd_ = got < out.size() - done ? source_.Size() : windowEnd_ + got;
  return done + got;
}

}  // namespace ravelle
