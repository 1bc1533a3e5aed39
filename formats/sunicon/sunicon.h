// SunIcon text images: a comment header such as
//   /* Format_version=1, Width=64, Height=64, Depth=1, Valid_bits_per_item=16
//    */
// then 16-bit words in hexadecimal ("0x8000,"), 16 pixels a word at depth 1 (the most
// significant bit leftmost, 1 black) or 2 at depth 8 (the high byte leftmost), top row first.
// Every row takes whole words.
#pragma once

#include <cstdint>
#include <span>

#include "formats/common/read_result.h"

namespace ravelle {

ReadResult ReadSunIcon(std::span<const uint8_t> file);

}  // namespace ravelle
