#include "image/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace ravelle {
namespace {

mode_t NewFileMode(const std::filesystem::path& target) {
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0) return existing.st_mode & 07777;
  static const mode_t mask = [] {
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
  }();
  return 0666 & ~mask;
}

}  // namespace

std::optional<OutputFile> OutputFile::Create(const std::filesystem::path& target) {
  if (target.empty() || !target.has_filename()) return std::nullopt;
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return std::nullopt;
  std::FILE* stream = ::fdopen(fd, "wb");
  if (stream == nullptr) {
    ::close(fd);
    ::unlink(pattern.c_str());
    return std::nullopt;
  }
  std::setvbuf(stream, nullptr, _IOFBF, 1 << 20);
  return OutputFile(target, pattern, stream);
}

OutputFile::OutputFile(std::filesystem::path target, std::filesystem::path temp, std::FILE* stream)
    : target_(std::move(target)), temp_(std::move(temp)), stream_(stream) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : target_(std::move(other.target_)),
      temp_(std::move(other.temp_)),
      stream_(other.stream_),
      failed_(other.failed_),
      committed_(other.committed_) {
  other.stream_ = nullptr;
  other.temp_.clear();
  other.committed_ = true;
}

OutputFile::~OutputFile() {
  if (stream_ != nullptr) std::fclose(stream_);
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void OutputFile::CloseStream() {
  if (stream_ == nullptr) return;
  if (std::fflush(stream_) != 0 || std::ferror(stream_)) failed_ = true;
  if (std::fclose(stream_) != 0) failed_ = true;
  stream_ = nullptr;
}

void OutputFile::Write(std::span<const uint8_t> bytes) {
  if (stream_ == nullptr || bytes.empty()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) failed_ = true;
}

bool OutputFile::Commit() {
  if (committed_) return false;
  if (stream_ != nullptr) {
    if (std::fflush(stream_) != 0 || std::ferror(stream_)) failed_ = true;
    if (!failed_ && ::fsync(::fileno(stream_)) != 0) failed_ = true;
    if (std::fclose(stream_) != 0) failed_ = true;
    stream_ = nullptr;
  } else if (!failed_) {
    const int fd = ::open(temp_.c_str(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0) failed_ = true;
    if (fd >= 0) ::close(fd);
  }
  if (failed_) return false;
  if (::chmod(temp_.c_str(), NewFileMode(target_)) != 0) return false;
  if (::rename(temp_.c_str(), target_.c_str()) != 0) return false;
  committed_ = true;
  return true;
}

}  // namespace ravelle
