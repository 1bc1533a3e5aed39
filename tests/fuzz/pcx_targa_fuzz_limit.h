// The picture size the PCX and Targa targets go up to.
#pragma once

#include <cstdint>

namespace ravelle::fuzz {

// A few bytes of either format can ask for a picture that the reader allocates and zeroes and
// the code behind it scans whole, milliseconds a run for nothing the smaller pictures do not
// reach: the readers work row by row, and the size limit itself is tested in the unit tests.
// 512 x 512, the largest of the seeds, still passes.
inline constexpr int64_t kMaxPcxTargaPixels = int64_t{1} << 18;

}  // namespace ravelle::fuzz
