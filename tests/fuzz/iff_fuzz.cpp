// libFuzzer target for the IFF reader.
//
// Each run costs about what the picture its header asks for costs: allocating it, decoding every
// row the body reaches and scanning it afterwards. Real pictures (the seeds go up to 640 x 640
// at 24 bits) make that several milliseconds under the sanitizers, for no code that a smaller
// picture would not reach. So a picture over kPictureBytes (as if 24-bit) is read with fewer
// rows, and narrower when one row is over it: the input is copied with its "BMHD" changed, the
// first rows decode as they would have.
#include <cstring>
#include <vector>

#include "dib_fuzz_common.h"
#include "formats/iff/iff.h"

namespace {

constexpr std::size_t kPictureBytes = std::size_t{32} << 10;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::vector<uint8_t> copy;
  std::span<const uint8_t> file(data, size);
  const auto* bmhd = static_cast<const uint8_t*>(memmem(data, size, "BMHD", 4));
  const std::size_t at = bmhd != nullptr ? static_cast<std::size_t>(bmhd - data) + 8 : size;
  if (at + 4 <= size) {
    std::size_t width = (data[at] << 8) | data[at + 1], height = (data[at + 2] << 8) | data[at + 3];
    if (3 * width * height > kPictureBytes) {
      width = std::min(width, kPictureBytes / 3);
      height = std::max<std::size_t>(1, std::min(height, kPictureBytes / (3 * width)));
      copy.assign(data, data + size);
      copy[at] = static_cast<uint8_t>(width >> 8);
      copy[at + 1] = static_cast<uint8_t>(width);
      copy[at + 2] = static_cast<uint8_t>(height >> 8);
      copy[at + 3] = static_cast<uint8_t>(height);
      file = copy;
    }
  }
  ravelle::ReadResult result = ravelle::ReadIffImage(file);
  ravelle::fuzz::Exercise(result);
  return 0;
}
