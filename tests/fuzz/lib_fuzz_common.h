// Shared by the fuzz targets of the JPEG, PNG and TIFF readers, which open their file by name:
// each input is written to one temporary file, removed at exit, and the reader's image is checked
// to be as large as its header says: the pixels fill height rows of the stride, and the block's
// first and last bytes are read, so that a block shorter than its size shows up under ASan.
// (Reading every byte found nothing more and took most of each run.)
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "formats/common/read_result.h"

namespace ravelle::fuzz {

// A plain array, so that nothing is destroyed before the file is removed at exit. In memory
// (/dev/shm) where there is one: rewriting a file on disk for every input is a good part of a run.
inline const char* InputPath() {
  static char path[] = "/dev/shm/ravelle-fuzz-XXXXXX";
  static const bool made = [] {
    int fd = ::mkstemp(path);
    if (fd < 0) {
      std::snprintf(path, sizeof path, "%s", "/tmp/ravelle-fuzz-XXXXXX");
      fd = ::mkstemp(path);
    }
    if (fd < 0) std::abort();
    ::close(fd);
    std::atexit([] { ::unlink(path); });
    return true;
  }();
  (void)made;
  return path;
}

template <typename Reader>
int FuzzFileReader(const uint8_t* data, std::size_t size, Reader read) {
  const std::string path = InputPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
  const ReadResult result = read(path);
  if (!result.dib) return 0;
  const PackedDib& dib = result.dib;
  if (dib.Pixels().size() != dib.Stride() * static_cast<std::size_t>(dib.Height())) __builtin_trap();
  const std::span<const uint8_t> bytes = dib.Bytes();
  const volatile uint8_t ends = bytes.front() ^ bytes.back();
  return static_cast<int>(ends & 0);
}

}  // namespace ravelle::fuzz
