// Files behind a 128-byte MacBinary header, for the readers that take a path.
#pragma once

#include <filesystem>
#include <functional>

#include "formats/common/read_result.h"

namespace ravelle {

// Runs `read` on a temporary copy of `file` without its first 128 bytes, and removes the copy
// afterwards.
ReadResult ReadWithoutMacBinaryHeader(const std::filesystem::path& file,
                                      const std::function<ReadResult(const std::filesystem::path&)>& read);

}  // namespace ravelle
