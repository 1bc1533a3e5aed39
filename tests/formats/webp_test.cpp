#include "formats/webp/webp_reader.h"

#include <gtest/gtest.h>
#include <png.h>
#include <webp/encode.h>

#include <algorithm>

#include "formats/lib/lib_fixtures.h"
#include "formats/lib/png_file.h"
#include "support/animation_files.h"
#include "support/test_support.h"

namespace ravelle::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Gradients with noise in red (so that the pixels, not the codes, fill a lossless file),
// encoded lossy (quality 80) or lossless.
Bytes EncodeWebp(int width, int height, bool lossless, bool alpha) {
  Bytes rgba;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint32_t noise = (x * 73856093u) ^ (y * 19349663u);
      noise = (noise ^ (noise >> 13)) * 2654435761u;
      rgba.insert(rgba.end(), {uint8_t(x * 2 + (noise & 31)), uint8_t(y * 3), uint8_t((x + y) * 2),
                               uint8_t(alpha ? x * 255 / width : 255)});
    }
  }
  uint8_t* out = nullptr;
  const std::size_t size = lossless ? WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &out)
                                    : WebPEncodeRGBA(rgba.data(), width, height, width * 4, 80, &out);
  Bytes file(out, out + size);
  WebPFree(out);
  return file;
}

// Every colour sample at every alpha: x is the sample (red; green and blue mirror it), y the alpha.
TEST(WebpReader, AlphaIsLaidOverWhiteExactlyAsThePngReaderLaysIt) {
  TempDir dir;
  Bytes rgba;
  for (int a = 0; a < 256; ++a) {
    for (int c = 0; c < 256; ++c) rgba.insert(rgba.end(), {uint8_t(c), uint8_t(255 - c), uint8_t(c * 7), uint8_t(a)});
  }
  PngFixture png{256, 256, 8, PNG_COLOR_TYPE_RGB_ALPHA};
  for (int y = 0; y < 256; ++y) png.rows.emplace_back(rgba.begin() + y * 1024, rgba.begin() + (y + 1) * 1024);
  WritePngFixture(dir / "alpha.png", png);
  uint8_t* out = nullptr;
  const std::size_t size = WebPEncodeLosslessRGBA(rgba.data(), 256, 256, 1024, &out);
  const ReadResult webp = ReadWebpImage({out, size});
  WebPFree(out);
  const ReadResult reference = ReadPngImage(dir / "alpha.png", 24);
  ASSERT_TRUE(webp.dib && reference.dib);
  EXPECT_EQ(webp.dib.BitCount(), 24);
  EXPECT_TRUE(SameImage(DibToRgb(webp.dib), DibToRgb(reference.dib)));
}

// Damaged files: how far each gets, and that a cut keeps the rows decoded before it.
TEST(WebpReader, DamagedFilesEndWithTheirStatusAndKeepWhatWasDecoded) {
  const Bytes lossy = EncodeWebp(64, 96, false, false), lossless = EncodeWebp(64, 96, true, true);
  const auto cut = [](const Bytes& file, std::size_t size) { return Bytes(file.begin(), file.begin() + size); };
  Bytes flipped = lossless;
  flipped[20] ^= 0xFF;  // the VP8L signature
  const struct {
    const char* what;
    Bytes file;
    ReadStatus status;
    const Bytes* whole;  // the file whose top rows a picture must match
  } cases[] = {
      {"lossy, cut short", cut(lossy, lossy.size() * 3 / 4), ReadStatus::Truncated, &lossy},
      {"lossless, cut short", cut(lossless, lossless.size() / 2), ReadStatus::Truncated, &lossless},
      {"header cut", cut(lossy, 24), ReadStatus::Damaged, nullptr},
      {"bad signature", flipped, ReadStatus::BadHeader, nullptr},
      {"RIFF header alone", cut(lossy, 12), ReadStatus::Damaged, nullptr},
      // A canvas over the size limit, and a frame that does not fit its canvas.
      {"huge canvas", webp::AnimationFile(30000, 30000, {{lossless, 0, 0}}), ReadStatus::TooLarge, nullptr},
      {"frame off the canvas", webp::AnimationFile(64, 64, {{lossless, 0, 0}}), ReadStatus::Damaged, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ReadResult read = ReadWebpImage(c.file);
    EXPECT_EQ(read.status, c.status);
    ASSERT_EQ(bool(read.dib), c.whole != nullptr);
    if (!read.dib) continue;
    const RgbImage got = DibToRgb(read.dib), whole = DibToRgb(ReadWebpImage(*c.whole).dib);
    const std::size_t rowBytes = 3 * std::size_t(got.width);
    std::size_t same = 0;
    while (same < got.rgb.size() && got.rgb[same] == whole.rgb[same]) ++same;
    EXPECT_GE(same / rowBytes, 8u);
  }
}

// A frame is shown for its duration (100 ms); a still image and a cut animation do not open.
TEST(WebpAnimationTest, DelayAndWhatIsNoAnimation) {
  const Bytes made = webp::AnimationFile(20, 10, {{EncodeWebp(8, 6, true, false), 4, 2}});
  auto animation = WebpAnimation::Open(made);
  ASSERT_TRUE(animation && animation->Step());
  EXPECT_EQ(animation->Delay(), 10);
  EXPECT_FALSE(WebpAnimation::Open(EncodeWebp(8, 8, true, false)));
  EXPECT_FALSE(WebpAnimation::Open(Bytes(made.begin(), made.end() - 8)));
}

}  // namespace
}  // namespace ravelle::test
