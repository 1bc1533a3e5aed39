// printf into a std::string, for the file-information texts and messages.
#pragma once

#include <string>

namespace ravelle {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace ravelle
