// A C stream that closes itself.
#pragma once

#include <cstdio>

namespace ravelle {

struct OpenedFile {
  std::FILE* stream = nullptr;
  OpenedFile(std::FILE* opened) : stream(opened) {}
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  ~OpenedFile() {
    if (stream != nullptr) std::fclose(stream);
  }
};

}  // namespace ravelle
