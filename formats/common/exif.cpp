#include "formats/common/exif.h"

#include <cstring>

namespace ravelle {

int ExifOrientation(std::span<const uint8_t> exif) {
  constexpr uint8_t kPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (exif.size() >= sizeof kPrefix && std::memcmp(exif.data(), kPrefix, sizeof kPrefix) == 0) {
    exif = exif.subspan(sizeof kPrefix);
  }
  if (exif.size() < 8) return 0;
  const bool big = exif[0] == 'M' && exif[1] == 'M';
  if (!big && !(exif[0] == 'I' && exif[1] == 'I')) return 0;
  // Callers check `at` and the length against the block before reading.
  const auto u16 = [&](std::size_t at) {
    return static_cast<unsigned>(big ? exif[at] << 8 | exif[at + 1] : exif[at + 1] << 8 | exif[at]);
  };
  const auto u32 = [&](std::size_t at) { return big ? u16(at) << 16 | u16(at + 2) : u16(at + 2) << 16 | u16(at); };
  if (u16(2) != 42) return 0;
  const std::size_t ifd = u32(4);
  if (ifd < 8 || ifd > exif.size() - 2) return 0;
  const std::size_t count = u16(ifd);
  // However many entries the count claims, only those inside the block are read.
  const std::size_t fit = (exif.size() - ifd - 2) / 12;
  for (std::size_t i = 0; i < count && i < fit; ++i) {
    const std::size_t entry = ifd + 2 + 12 * i;
    if (u16(entry) != 0x0112) continue;
    const unsigned type = u16(entry + 2);
    if (u32(entry + 4) < 1) return 0;
    // A SHORT as the standard has it; a LONG from some writers. Either lies in the entry.
    const unsigned value = type == 3 ? u16(entry + 8) : type == 4 ? u32(entry + 8) : 0;
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 0;
  }
  return 0;
}

}  // namespace ravelle
