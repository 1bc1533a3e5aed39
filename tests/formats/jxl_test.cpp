#include "formats/jxl/jxl_reader.h"

#include <gtest/gtest.h>
#include <jxl/encode.h>

#include "formats/heif_reference.h"
#include "formats/webp/webp_reader.h"
#include "support/test_support.h"

namespace ravelle::test {
namespace {

using Bytes = std::vector<uint8_t>;

// 8-bit samples (grey or RGB, then alpha where `alpha`): a gradient with noise in the first channel.
Bytes Pixels(int width, int height, int colours, bool alpha, int seed = 0) {
  Bytes out;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t noise = ((x * 73856093u) ^ (y * 19349663u) ^ (seed * 83492791u)) * 2654435761u >> 27;
      out.push_back(uint8_t(x * 5 + noise));
      if (colours == 3) out.insert(out.end(), {uint8_t(y * 7 + seed * 40), uint8_t((x + y) * 3)});
      if (alpha) out.push_back(uint8_t(x * 255 / std::max(1, width - 1)));
    }
  }
  return out;
}

// A lossless file of the given frames (an animation of 100 ticks a second when there are
// several, each frame shown for `ticks`), with an orientation.
Bytes EncodeJxl(int width, int height, int colours, bool alpha, const std::vector<Bytes>& frames, uint32_t ticks = 0,
                int orientation = 1) {
  JxlEncoder* enc = JxlEncoderCreate(nullptr);
  JxlBasicInfo info;
  JxlEncoderInitBasicInfo(&info);
  info.xsize = width;
  info.ysize = height;
  info.bits_per_sample = 8;
  info.num_color_channels = colours;
  info.alpha_bits = alpha ? 8 : 0;
  info.num_extra_channels = alpha ? 1 : 0;
  info.uses_original_profile = JXL_TRUE;
  info.orientation = static_cast<JxlOrientation>(orientation);
  info.have_animation = frames.size() > 1;
  info.animation.tps_numerator = 100;
  info.animation.tps_denominator = 1;
  EXPECT_EQ(JxlEncoderSetBasicInfo(enc, &info), JXL_ENC_SUCCESS);
  JxlColorEncoding colour;
  JxlColorEncodingSetToSRGB(&colour, colours == 1);
  JxlEncoderSetColorEncoding(enc, &colour);
  JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(enc, nullptr);
  JxlEncoderSetFrameLossless(settings, JXL_TRUE);
  const JxlPixelFormat format{uint32_t(colours + (alpha ? 1 : 0)), JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  for (const Bytes& frame : frames) {
    JxlFrameHeader header;
    JxlEncoderInitFrameHeader(&header);
    header.duration = ticks;
    JxlEncoderSetFrameHeader(settings, &header);
    EXPECT_EQ(JxlEncoderAddImageFrame(settings, &format, frame.data(), frame.size()), JXL_ENC_SUCCESS);
  }
  JxlEncoderCloseInput(enc);
  Bytes out(4096);
  uint8_t* next = out.data();
  std::size_t avail = out.size();
  while (JxlEncoderProcessOutput(enc, &next, &avail) == JXL_ENC_NEED_MORE_OUTPUT) {
    const std::size_t used = next - out.data();
    out.resize(out.size() * 2);
    next = out.data() + used;
    avail = out.size() - used;
  }
  out.resize(next - out.data());
  JxlEncoderDestroy(enc);
  return out;
}

// Samples laid over white, as RGB.
RgbImage OverWhite(int width, int height, int channels, const uint8_t* samples) {
  RgbImage image{width, height, {}};
  const bool alpha = channels == 2 || channels == 4;
  for (int p = 0; p < width * height; ++p, samples += channels) {
    for (int c = 0; c < 3; ++c) image.rgb.push_back(WebpOverWhite(samples[channels >= 3 ? c : 0], alpha ? samples[channels - 1] : 255));
  }
  return image;
}

// Hand-built files: the statuses of damaged ones, the pixels of whole ones.
TEST(JxlReader, HandBuiltFiles) {
  const Bytes rgba = Pixels(40, 24, 3, true), grey = Pixels(33, 17, 1, false), wide = Pixels(20, 12, 3, false);
  const Bytes lossless = EncodeJxl(40, 24, 3, true, {rgba});
  // FF 0A, a size header of 30000 x 30000 (not divisible by 8, 18-bit height, ratio 1) and
  // default metadata, written from the low bit up.
  Bytes huge{0xFF, 0x0A};
  uint64_t bits = 0;
  int count = 0;
  for (auto [value, width] : {std::pair{0u, 1}, {2u, 2}, {29999u, 18}, {1u, 3}, {1u, 1}, {0u, 40}}) {
    bits |= uint64_t(value) << count;
    count += width;
  }
  for (int i = 0; i < 8; ++i) huge.push_back(uint8_t(bits >> (8 * i)));
  const RgbImage stored = OverWhite(20, 12, 3, wide.data());
  RgbImage turned = stored;  // a quarter turn clockwise
  for (int i = 0; i < 3; ++i) turned = QuarterTurnAnticlockwise(turned);
  const struct {
    const char* what;
    Bytes file;
    ReadStatus status;
    int bits;  // of the picture; 0 for none
    std::optional<RgbImage> pixels;
  } cases[] = {
      {"RGBA", lossless, ReadStatus::Ok, 24, OverWhite(40, 24, 4, rgba.data())},
      {"grey", EncodeJxl(33, 17, 1, false, {grey}), ReadStatus::Ok, 8, OverWhite(33, 17, 1, grey.data())},
      {"turned", EncodeJxl(20, 12, 3, false, {wide}, 0, 6), ReadStatus::Ok, 24, turned},
      {"signature alone", {0xFF, 0x0A}, ReadStatus::Damaged, 0, std::nullopt},
      {"no signature", {0xFF, 0x0B, 0, 0}, ReadStatus::BadHeader, 0, std::nullopt},
      {"cut in the frame", Bytes(lossless.begin(), lossless.begin() + lossless.size() / 2), ReadStatus::Damaged, 0, std::nullopt},
      {"huge canvas", huge, ReadStatus::TooLarge, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ReadResult read = ReadJxlImage(c.file);
    EXPECT_EQ(read.status, c.status);
    EXPECT_EQ(read.dib.BitCount(), c.bits);
    if (read.dib && c.pixels) {
      EXPECT_TRUE(SameImage(DibToRgb(read.dib), *c.pixels));
    }
  }
}

// An animation steps through its frames with their durations and comes back to the first;
// a still image or a cut animation does not open.
TEST(JxlAnimationTest, StepsThroughFramesWithTheirDurations) {
  const std::vector<Bytes> frames{Pixels(16, 8, 3, false, 0), Pixels(16, 8, 3, false, 1), Pixels(16, 8, 3, false, 2)};
  const Bytes file = EncodeJxl(16, 8, 3, false, frames, 7);
  auto animation = JxlAnimation::Open(file);
  ASSERT_TRUE(animation);
  EXPECT_EQ(animation->FrameCount(), 3);
  for (int step = 0; step < 4; ++step) {
    ASSERT_TRUE(animation->Step());
    EXPECT_EQ(animation->FrameNumber(), step % 3 + 1);
    EXPECT_EQ(animation->Delay(), 7);
    EXPECT_TRUE(SameImage(DibToRgb(animation->Frame()), OverWhite(16, 8, 3, frames[step % 3].data())));
  }
  EXPECT_FALSE(JxlAnimation::Open(EncodeJxl(16, 8, 3, false, {frames[0]})));
  // Cut before the last frame's header; one cut inside the last frame opens, and that frame
  // does not step.
  EXPECT_FALSE(JxlAnimation::Open(Bytes(file.begin(), file.begin() + file.size() / 2)));
  auto cut = JxlAnimation::Open(Bytes(file.begin(), file.end() - 20));
  ASSERT_TRUE(cut && cut->Step() && cut->Step());
  EXPECT_FALSE(cut->Step());
}

}  // namespace
}  // namespace ravelle::test
