// libFuzzer target for the PNG reader. The reader opens its file by name, so each input is
// written to one temporary file first.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "formats/lib/png_file.h"

namespace {

const std::string& InputPath() {
  static const std::string path = [] {
    std::string pattern = "/tmp/ravelle-fuzz-png-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) std::abort();
    ::close(fd);
    return pattern;
  }();
  return path;
}

void RemoveInput() { ::unlink(InputPath().c_str()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const bool registered = (std::atexit(RemoveInput), true);
  (void)registered;
  const std::string& path = InputPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
  ravelle::ReadResult result = ravelle::ReadPngImage(path, 24);
  // Touch every pixel so that a row the reader left short shows up under the sanitizers.
  unsigned sum = 0;
  for (uint8_t byte : result.dib.Bytes()) sum += byte;
  return static_cast<int>(sum & 0);
}
