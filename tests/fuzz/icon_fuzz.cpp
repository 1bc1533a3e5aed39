// libFuzzer target for the icon and cursor reader (every image of the directory, up to 16) and
// the animated-cursor reader; PNG images go through the PNG reader.
#include "dib_fuzz_common.h"
#include "formats/icon/icon_reader.h"
#include "formats/lib/png_file.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace ravelle;
  const std::span<const uint8_t> file{data, size};
  IconRequest request;
  request.png = ReadPngImage;
  for (int number = 1; number <= 16; ++number) {
    request.imageNumber = number;
    request.mode = number == 1 ? 0 : 2;
    IconImage image = ReadIconImage(file, request);
    fuzz::Exercise(image.result);
    if (number >= image.imageCount) break;
  }
  // The load dispatch takes only RIFF files for animated cursors.
  if (size < 4 || std::memcmp(data, "RIFF", 4) != 0) return 0;
  AnimatedCursor cursor = ReadAnimatedCursor(file, ReadPngImage);
  fuzz::Exercise(cursor.result);
  for (const AniFrameStep& step : cursor.tables.steps) {
    if (step.frame < cursor.tables.frames.size()) (void)cursor.tables.frames[step.frame].Pixels();
  }
  return 0;
}
