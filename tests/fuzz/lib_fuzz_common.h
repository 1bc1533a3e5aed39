// Shared by the fuzz targets of the JPEG, PNG and TIFF readers, which open their file by name:
// each input is written to one temporary file, removed at exit, and the reader's image is read
// through so that a row the reader left short shows up under the sanitizers.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "formats/common/read_result.h"

namespace ravelle::fuzz {

// A plain array, so that nothing is destroyed before the file is removed at exit.
inline const char* InputPath() {
  static char path[] = "/tmp/ravelle-fuzz-XXXXXX";
  static const bool made = [] {
    const int fd = ::mkstemp(path);
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
  unsigned sum = 0;
  for (uint8_t byte : result.dib.Bytes()) sum += byte;
  return static_cast<int>(sum & 0);
}

}  // namespace ravelle::fuzz
