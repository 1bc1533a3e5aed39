#include "formats/common/mac_binary.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/opened_file.h"

namespace ravelle {
ReadResult ReadWithoutMacBinaryHeader(const std::filesystem::path& file,
                                      const std::function<ReadResult(const std::filesystem::path&)>& read) {
  OpenedFile source{std::fopen(file.c_str(), "rb")};
  if (source.stream == nullptr || std::fseek(source.stream, 128, SEEK_SET) != 0) return {};
  const std::filesystem::path folder = std::filesystem::temp_directory_path();
  std::string name = (folder / "ravelle-macbinary-XXXXXX").string();
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return {};
  bool copied = true;
  {
    OpenedFile copy{::fdopen(fd, "wb")};
    if (copy.stream == nullptr) {
      ::close(fd);
      copied = false;
    } else {
      std::vector<char> buffer(1 << 16);
      std::size_t got = 0;
      while ((got = std::fread(buffer.data(), 1, buffer.size(), source.stream)) > 0) {
        if (std::fwrite(buffer.data(), 1, got, copy.stream) != got) copied = false;
      }
      if (std::fflush(copy.stream) != 0) copied = false;
    }
  }
  ReadResult result = copied ? read(name) : ReadResult{};
  ::unlink(name.c_str());
  return result;
}

}  // namespace ravelle
