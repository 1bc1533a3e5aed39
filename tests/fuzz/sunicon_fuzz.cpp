// libFuzzer target for the SunIcon reader.
//
// A header of a few bytes can ask for a picture of a million rows, which the reader fills by
// repeating the last words it found: seconds a run under the sanitizers for no code a smaller
// picture does not reach. Headers asking for more than 512 x 512 are passed over.
#include <algorithm>
#include <cctype>
#include <string>

#include "dib_fuzz_common.h"
#include "formats/sunicon/sunicon.h"

namespace {

// The number after `key` in the header, read as loosely as the reader does.
long Value(const std::string& header, const char* key) {
  const auto at = header.find(key);
  if (at == std::string::npos) return 0;
  long value = 0;
  for (std::size_t i = at + std::char_traits<char>::length(key); i < header.size() && value < 1'000'000; ++i) {
    if (std::isdigit(static_cast<unsigned char>(header[i]))) {
      value = value * 10 + (header[i] - '0');
    } else if (value != 0 || !(std::isspace(static_cast<unsigned char>(header[i])) || header[i] == '+' || header[i] == '-')) {
      break;
    }
  }
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string header(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 78));
  header = header.substr(0, header.find('\0'));
  for (char& c : header) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (Value(header, "width=") * Value(header, "height=") > (1L << 18)) return 0;
  ravelle::ReadResult result = ravelle::ReadSunIcon(std::span<const uint8_t>(data, size));
  ravelle::fuzz::Exercise(result);
  return 0;
}
