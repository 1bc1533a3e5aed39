#include "formats/avif/avif_reader.h"

#include <avif/avif.h>
#include <gtest/gtest.h>

#include "formats/heif_reference.h"
#include "formats/heif/heif_reader.h"
#include "formats/webp/webp_reader.h"
#include "support/test_support.h"

namespace ravelle::test {
namespace {

using Bytes = std::vector<uint8_t>;

// The pixels of the fixtures: noise over gradients, alpha rising to the right when asked for.
Bytes Pattern(int width, int height, bool alpha) {
  Bytes rgba;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t noise = (x * 73856093u ^ y * 19349663u) * 2654435761u >> 24;
      rgba.insert(rgba.end(), {uint8_t(x * 9 + noise % 32), uint8_t(y * 13), uint8_t(noise), uint8_t(alpha ? x * 255 / (width - 1) : 255)});
    }
  }
  return rgba;
}

// An AVIF file by libavif's encoder, lossless (identity matrix, 4:4:4, quantizer 0, 4:0:0 for
// grey); irot/imir when `turns`/`mirror` say.
Bytes EncodeAvif(int width, int height, bool alpha, int turns = 0, int mirror = -1, bool grey = false) {
  avifEncoder* encoder = avifEncoderCreate();
  encoder->speed = AVIF_SPEED_FASTEST;
  encoder->minQuantizer = encoder->maxQuantizer = AVIF_QUANTIZER_LOSSLESS;
  encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
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
  Bytes rgba = Pattern(width, height, alpha);
  avifRGBImage rgb;
  avifRGBImageSetDefaults(&rgb, image);
  rgb.pixels = rgba.data();
  rgb.rowBytes = 4 * width;
  EXPECT_EQ(avifImageRGBToYUV(image, &rgb), AVIF_RESULT_OK);
  if (!alpha) avifImageFreePlanes(image, AVIF_PLANES_A);
  EXPECT_EQ(avifEncoderAddImage(encoder, image, 1, AVIF_ADD_IMAGE_FLAG_SINGLE), AVIF_RESULT_OK);
  avifImageDestroy(image);
  avifRWData out = AVIF_DATA_EMPTY;
  EXPECT_EQ(avifEncoderFinish(encoder, &out), AVIF_RESULT_OK);
  Bytes file(out.data, out.data + out.size);
  avifRWDataFree(&out);
  avifEncoderDestroy(encoder);
  return file;
}

// The fixture's pixels as the reader shows them: over white, stored rows turned and mirrored.
RgbImage Expected(int width, int height, bool alpha, int turns, int mirror) {
  const Bytes rgba = Pattern(width, height, alpha);
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
    const ReadResult read = ReadAvifImage(EncodeAvif(12, 5, true, row.turns, row.mirror));
    ASSERT_TRUE(read.dib);
    EXPECT_EQ(read.status, ReadStatus::Ok);
    EXPECT_EQ(DibToRgb(read.dib), Expected(12, 5, true, row.turns, row.mirror));
    const std::string orientation = "orientation: " + std::to_string(row.orientation) + " (applied) \n";
    EXPECT_EQ(read.infoText.find(orientation) != std::string::npos, row.orientation != 1) << read.infoText;
  }
}

// A grey picture comes as a grey table; damaged and oversized files end with their status and no
// picture. Sequences, their frames and durations, are compared in corpus_conformance_test.cpp.
TEST(AvifReader, GreyDamagedAndOversizedFiles) {
  const ReadResult grey = ReadAvifImage(EncodeAvif(7, 3, false, 0, -1, true));
  ASSERT_TRUE(grey.dib);
  EXPECT_EQ(grey.dib.BitCount(), 8);
  EXPECT_EQ(grey.dib.Colors()[200], (RgbQuad{200, 200, 200, 0}));
  const Bytes good = EncodeAvif(16, 16, false);
  EXPECT_FALSE(AvifAnimation::Open(good));  // a still image is no animation
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

}  // namespace
}  // namespace ravelle::test
