// The size limits that keep a hostile file from taking the machine's memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ravelle {

// The largest block an image may take. A hostile header cannot ask for more than this; going
// over it is reported like any other failed allocation. The fuzzing build lowers it so that a
// tiny input asking for a huge picture costs little (1 MiB holds a 512 x 512 picture at 24 bits).
#ifdef RAVELLE_FUZZ_LIMITS
inline constexpr std::size_t kMaxDibBytes = std::size_t{1} << 20;
#else
inline constexpr std::size_t kMaxDibBytes = std::size_t{1} << 30;
#endif

// The own readers work on the whole file in memory; nothing larger than this is read.
inline constexpr uint64_t kMaxFileBytes = 2 * uint64_t{kMaxDibBytes};

}  // namespace ravelle
