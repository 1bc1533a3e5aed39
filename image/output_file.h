// Writing a file so that a failure never leaves half a file and never destroys the old one:
// everything goes to a temporary file beside the target, which replaces the target only when
// the whole file has been written and flushed to disk.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace ravelle {

class OutputFile {
 public:
  // Creates the temporary file in the target's folder; nothing when that is not possible.
  static std::optional<OutputFile> Create(const std::filesystem::path& target);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();  // removes the temporary file unless Commit() succeeded

  // The buffered stream to write to; null after CloseStream().
  std::FILE* Stream() { return stream_; }
  // For writers whose library opens files by name: close our stream and let them write here.
  const std::filesystem::path& TempPath() const { return temp_; }
  void CloseStream();

  void Write(std::span<const uint8_t> bytes);
  void Write(const std::vector<uint8_t>& bytes) { Write(std::span<const uint8_t>(bytes)); }

  // Flushes, syncs and renames the temporary file over the target. False, with the target
  // untouched, when anything written so far failed.
  bool Commit();

 private:
  OutputFile(std::filesystem::path target, std::filesystem::path temp, std::FILE* stream);
  std::filesystem::path target_;
  std::filesystem::path temp_;
  std::FILE* stream_ = nullptr;
  bool failed_ = false;
  bool committed_ = false;
};

// Little- and big-endian fields appended to a byte buffer.
inline void AppendU8(std::vector<uint8_t>& out, uint8_t v) { out.push_back(v); }
inline void AppendU16le(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void AppendU32le(std::vector<uint8_t>& out, uint32_t v) {
  AppendU16le(out, static_cast<uint16_t>(v));
  AppendU16le(out, static_cast<uint16_t>(v >> 16));
}
inline void AppendU16be(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
inline void AppendU32be(std::vector<uint8_t>& out, uint32_t v) {
  AppendU16be(out, static_cast<uint16_t>(v >> 16));
  AppendU16be(out, static_cast<uint16_t>(v));
}

}  // namespace ravelle
