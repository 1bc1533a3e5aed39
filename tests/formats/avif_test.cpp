#include "formats/avif/avif_reader.h"

#include <avif/avif.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <sstream>

#include "formats/heif_reference.h"
#include "formats/heif/heif_reader.h"
#include "support/test_support.h"

namespace ravelle::test {
namespace {

using Bytes = std::vector<uint8_t>;

// The pixels of the fixtures: noise over gradients, alpha rising to the right when asked for.
Bytes Pattern(int width, int height, int seed, bool alpha) {
  Bytes rgba;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t noise = ((x + seed) * 73856093u ^ y * 19349663u) * 2654435761u >> 24;
      rgba.insert(rgba.end(), {uint8_t(x * 9 + noise % 32), uint8_t(y * 13 + seed * 40), uint8_t(noise),
                               uint8_t(alpha ? x * 255 / (width - 1) : 255)});
    }
  }
  return rgba;
}

// AVIF files by libavif's encoder, lossless (identity matrix, 4:4:4, quantizer 0, 4:0:0 for
// grey): each frame is shown for `durations[i]` hundredths; irot/imir when `turns`/`mirror` say.
Bytes EncodeAvif(int width, int height, std::vector<int> durations, bool alpha, int turns = 0, int mirror = -1,
                 bool grey = false) {
  avifEncoder* encoder = avifEncoderCreate();
  encoder->speed = AVIF_SPEED_FASTEST;
  encoder->minQuantizer = encoder->maxQuantizer = AVIF_QUANTIZER_LOSSLESS;
  encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
  encoder->timescale = 100;
  for (std::size_t f = 0; f < durations.size(); ++f) {
    avifImage* image = avifImageCreate(width, height, 8, grey ? AVIF_PIXEL_FORMAT_YUV400 : AVIF_PIXEL_FORMAT_YUV444);
    image->matrixCoefficients = grey ? AVIF_MATRIX_COEFFICIENTS_BT601 : AVIF_MATRIX_COEFFICIENTS_IDENTITY;
    image->yuvRange = AVIF_RANGE_FULL;
    if (turns > 0) {
      image->transformFlags |= AVIF_TRANSFORM_IROT;
      image->irot.angle = uint8_t(turns);
    }
    if (mirror >= 0) {
      image->transformFlags |= AVIF_TRANSFORM_IMIR;
      image->imir.mode = uint8_t(mirror);
    }
    Bytes rgba = Pattern(width, height, int(f), alpha);
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.pixels = rgba.data();
    rgb.rowBytes = 4 * width;
    EXPECT_EQ(avifImageRGBToYUV(image, &rgb), AVIF_RESULT_OK);
    if (!alpha) avifImageFreePlanes(image, AVIF_PLANES_A);
    EXPECT_EQ(avifEncoderAddImage(encoder, image, durations[f],
                                  durations.size() == 1 ? AVIF_ADD_IMAGE_FLAG_SINGLE : AVIF_ADD_IMAGE_FLAG_NONE),
              AVIF_RESULT_OK);
    avifImageDestroy(image);
  }
  avifRWData out = AVIF_DATA_EMPTY;
  EXPECT_EQ(avifEncoderFinish(encoder, &out), AVIF_RESULT_OK);
  Bytes file(out.data, out.data + out.size);
  avifRWDataFree(&out);
  avifEncoderDestroy(encoder);
  return file;
}

// The fixture's pixels as the reader shows them: over white, stored rows turned and mirrored.
RgbImage Expected(int width, int height, int seed, bool alpha, int turns, int mirror) {
  const Bytes rgba = Pattern(width, height, seed, alpha);
  RgbImage image{width, height, {}};
  for (std::size_t p = 0; p < rgba.size(); p += 4) {
    for (int c = 0; c < 3; ++c) image.rgb.push_back(WebpOverWhite(rgba[p + c], rgba[p + 3]));
  }
  for (int i = 0; i < turns; ++i) image = QuarterTurnAnticlockwise(image);
  return mirror >= 0 ? Mirrored(image, mirror == 1) : image;
}

// Every rotation and mirror: the picture is shown upright and File Info names the Exif
// orientation it amounts to.
TEST(AvifReader, RotationsAndMirrorsAreApplied) {
  const struct {
    int turns, mirror, orientation;
  } rows[] = {{0, -1, 1}, {1, -1, 8}, {2, -1, 3}, {3, -1, 6}, {0, 1, 2}, {0, 0, 4},
              {1, 0, 5},  {1, 1, 7},  {3, 0, 7},  {3, 1, 5},  {2, 0, 2}, {2, 1, 4}};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "irot " << row.turns << " imir " << row.mirror);
    EXPECT_EQ(HeifExifOrientation(row.turns, row.mirror), row.orientation);
    const ReadResult read = ReadAvifImage(EncodeAvif(12, 5, {1}, true, row.turns, row.mirror));
    ASSERT_TRUE(read.dib);
    EXPECT_EQ(read.status, ReadStatus::Ok);
    EXPECT_EQ(DibToRgb(read.dib), Expected(12, 5, 0, true, row.turns, row.mirror));
    const std::string orientation = "orientation: " + std::to_string(row.orientation) + " (applied) \n";
    EXPECT_EQ(read.infoText.find(orientation) != std::string::npos, row.orientation != 1) << read.infoText;
  }
}

// A grey picture comes as a grey table; damaged and oversized files end with their status and no
// picture.
TEST(AvifReader, GreyDamagedAndOversizedFiles) {
  const ReadResult grey = ReadAvifImage(EncodeAvif(7, 3, {1}, false, 0, -1, true));
  ASSERT_TRUE(grey.dib);
  EXPECT_EQ(grey.dib.BitCount(), 8);
  EXPECT_EQ(grey.dib.Colors()[200], (RgbQuad{200, 200, 200, 0}));
  EXPECT_EQ(grey.infoText,
            "image type: AVIF \nwidth: 7 \nheight: 3 \nbit depth: 8 \nalpha channel: no \ncompression: AV1, YUV 4:0:0 (grey) \n"
            "frames: 1 \n");
  const Bytes good = EncodeAvif(16, 16, {1}, false);
  Bytes huge = good;
  const auto ispe = std::search(huge.begin(), huge.end(), std::begin("ispe"), std::end("ispe") - 1) - huge.begin();
  for (int i : {9, 13}) huge[ispe + i] = 0x9C;  // 40000 a side
  for (int i : {8, 12}) huge[ispe + i] = 0;
  for (int i : {10, 11, 14, 15}) huge[ispe + i] = i % 2 == 0 ? 0x40 : 0x9C;
  const struct {
    const char* what;
    Bytes file;
    ReadStatus status;
  } rows[] = {
      {"nothing", {}, ReadStatus::BadHeader},
      {"ftyp alone", Bytes(good.begin(), good.begin() + 32), ReadStatus::Damaged},
      {"the coded data cut", Bytes(good.begin(), good.end() - 8), ReadStatus::Damaged},
      {"40000 pixels a side", huge, ReadStatus::TooLarge},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const ReadResult read = ReadAvifImage(row.file);
    EXPECT_EQ(read.status, row.status);
    EXPECT_FALSE(read.dib);
    EXPECT_FALSE(read.diagnostics.empty() && read.messages.empty());
    EXPECT_FALSE(AvifAnimation::Open(row.file));
  }
}

// A sequence steps through its frames with their durations and starts again after the last; a
// still image is no animation.
TEST(AvifAnimationTest, FramesAndDurations) {
  const Bytes file = EncodeAvif(10, 6, {7, 25, 3}, true);
  auto animation = AvifAnimation::Open(file);
  ASSERT_TRUE(animation);
  EXPECT_EQ(animation->FrameCount(), 3);
  EXPECT_EQ(animation->FrameNumber(), 0);
  for (int step = 0; step < 4; ++step) {
    ASSERT_TRUE(animation->Step());
    EXPECT_EQ(animation->FrameNumber(), step % 3 + 1);
    EXPECT_EQ(animation->Delay(), (std::array{7, 25, 3})[step % 3]);
    EXPECT_EQ(DibToRgb(animation->Frame()), Expected(10, 6, step % 3, true, 0, -1));
  }
  EXPECT_EQ(DibToRgb(ReadAvifImage(file).dib), Expected(10, 6, 0, true, 0, -1));
  EXPECT_NE(ReadAvifImage(file).infoText.find("frames: 3 \n"), std::string::npos);
  EXPECT_FALSE(AvifAnimation::Open(EncodeAvif(10, 6, {1}, true)));
}

// The rotation and mirror the manifest lists for a file, which avifdec leaves undone.
RgbImage Upright(RgbImage image, const std::string& variant) {
  const auto at = variant.find("primary transforms:");
  if (at == std::string::npos) return image;
  std::istringstream words(variant.substr(at + 19, variant.find(';', at) - at - 19));
  std::string word;
  int value = 0;
  while (words >> word) {
    if (word == "irot" && words >> value) {
      for (int i = 0; i < value; ++i) image = QuarterTurnAnticlockwise(image);
    } else if (word == "imir" && words >> value) {
      image = Mirrored(image, value == 1);
    }
  }
  return image;
}

// Every valid corpus file equals avifdec's 8-bit decode laid over white and turned upright, a
// sequence frame by frame with avifdec's durations; every other file gives a picture or says why
// there is none.
TEST(AvifReader, CorpusConformance) {
  if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
  if (!HaveProgram("/usr/bin/avifdec")) GTEST_SKIP() << "no avifdec";
  // Files whose pictures are known to differ from the reference, and why.
  const std::map<std::string, std::string> known = {};
  TempDir dir;
  const std::string png = (dir / "frame.png").string();
  int compared = 0, frames = 0;
  for (const CorpusEntry& entry : CorpusManifest()) {
    if (entry.format != "AVIF") continue;
    SCOPED_TRACE(entry.path);
    const auto file = CorpusDir() / entry.path;
    const Bytes bytes = ReadBytes(file);
    const ReadResult read = ReadAvifImage(bytes);
    auto animation = AvifAnimation::Open(bytes);
    if (entry.expected != "valid") {
      EXPECT_TRUE(read.dib || !read.diagnostics.empty() || !read.messages.empty());
      for (int f = 0; animation && f < std::min(animation->FrameCount(), 3) && animation->Step(); ++f) {}
      continue;
    }
    ASSERT_TRUE(read.dib);
    EXPECT_EQ(read.status, ReadStatus::Ok);
    if (known.contains(entry.path)) continue;
    const auto decode = [&](int index) {
      const std::string command = "/usr/bin/avifdec --no-strict --ignore-icc -d 8 --index " + std::to_string(index) + " " +
                                  Quote(file.string()) + " " + Quote(png) + " >/dev/null 2>&1";
      EXPECT_EQ(RunCommand(command).status, 0);
      return PngOverWhite(png);
    };
    const auto reference = decode(0);
    ASSERT_TRUE(reference);
    EXPECT_TRUE(SameImage(DibToRgb(read.dib), Upright(*reference, entry.variant)));
    ++compared;
    if (!animation) continue;
    std::istringstream info(RunCommand("/usr/bin/avifdec --no-strict -i " + Quote(file.string()) + " 2>/dev/null").out);
    std::vector<double> durations;
    for (std::string line; std::getline(info, line);) {
      const auto at = line.find("[duration ");
      if (at != std::string::npos) durations.push_back(std::stod(line.substr(at + 10)));
    }
    ASSERT_EQ(int(durations.size()), animation->FrameCount());
    for (int f = 0; f < animation->FrameCount(); ++f) {
      ASSERT_TRUE(animation->Step());
      EXPECT_EQ(animation->Delay(), std::max(1, int(std::lround(durations[f] * 100)))) << "frame " << f + 1;
      const auto frame = f == 0 ? reference : decode(f);
      ASSERT_TRUE(frame);
      EXPECT_TRUE(SameImage(DibToRgb(animation->Frame()), Upright(*frame, entry.variant))) << "frame " << f + 1;
      ++frames;
    }
  }
  EXPECT_EQ(compared, 48);
  std::printf("[ avif     ] %d files, %d sequence frames compared\n", compared, frames);
}

}  // namespace
}  // namespace ravelle::test
