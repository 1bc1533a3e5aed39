// The Exif orientation: the parser on sound and hostile blocks, and JPEG and WebP files stored
// in each of the eight orientations read and convert upright (AVIF, HEIF and JPEG XL turns are in
// their own tests, the corpus's files in the Orientation row of the corpus table).
#include "formats/common/exif.h"

#include <gtest/gtest.h>
#include <webp/encode.h>

#include <initializer_list>

#include "formats/lib/jpeg_file.h"
#include "formats/webp/webp_reader.h"
#include "formats/heif_reference.h"
#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle::test {
namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& to, uint32_t v, int bytes, bool big) {
  for (int i = 0; i < bytes; ++i) to.push_back(static_cast<uint8_t>(uint64_t{v} >> (8 * (big ? bytes - 1 - i : i))));
}

struct Entry {
  uint16_t tag, type;
  uint32_t count, value;
};

// A TIFF structure with one IFD at offset 8 holding `entries` (a SHORT value left in its field),
// `count` entries claimed (their number when negative) and `next` as the following IFD's offset.
Bytes Tiff(bool big, std::initializer_list<Entry> entries, int count = -1, uint32_t next = 0) {
  Bytes b{uint8_t(big ? 'M' : 'I'), uint8_t(big ? 'M' : 'I')};
  Put(b, 42, 2, big);
  Put(b, 8, 4, big);
  Put(b, count < 0 ? static_cast<uint32_t>(entries.size()) : static_cast<uint32_t>(count), 2, big);
  for (const Entry& e : entries) {
    Put(b, e.tag, 2, big);
    Put(b, e.type, 2, big);
    Put(b, e.count, 4, big);
    if (e.type == 3) {
      Put(b, e.value, 2, big);
      Put(b, 0, 2, big);
    } else {
      Put(b, e.value, 4, big);
    }
  }
  Put(b, next, 4, big);
  return b;
}

Bytes With(Bytes b, std::size_t at, std::initializer_list<uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
  return b;
}
Bytes Cut(Bytes b, std::size_t size) {
  b.resize(size);
  return b;
}
// A second IFD, holding `entry`, after the first (whose next offset must point to the end).
Bytes Then(Bytes b, const Entry& entry) {
  const Bytes next = Tiff(false, {entry});
  b.insert(b.end(), next.begin() + 8, next.end());
  return b;
}
Bytes Prefixed(const Bytes& tiff) {
  Bytes b{'E', 'x', 'i', 'f', 0, 0};
  b.insert(b.end(), tiff.begin(), tiff.end());
  return b;
}

struct ExifRow {
  const char* name;
  Bytes exif;
  int expected;
};

constexpr Entry kWidth{0x0100, 3, 1, 64};
constexpr Entry kOrient6{0x0112, 3, 1, 6};

class ExifParse : public testing::TestWithParam<ExifRow> {};

TEST_P(ExifParse, FindsTheOrientationOrNothing) { EXPECT_EQ(ExifOrientation(GetParam().exif), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Rows, ExifParse,
    testing::Values(
        ExifRow{"LittleEndian", Tiff(false, {kWidth, kOrient6}), 6},
        ExifRow{"BigEndianWithPrefix", Prefixed(Tiff(true, {kWidth, {0x0112, 3, 1, 3}})), 3},
        ExifRow{"Long", Tiff(true, {{0x0112, 4, 1, 8}}), 8},
        ExifRow{"FirstOfTwo", Tiff(false, {{0x0112, 3, 1, 2}, kOrient6}), 2},
        ExifRow{"OutOfRange", Tiff(false, {{0x0112, 3, 1, 9}}), 0},
        ExifRow{"Zero", Tiff(false, {{0x0112, 3, 1, 0}}), 0},
        ExifRow{"NoValues", Tiff(false, {{0x0112, 3, 0, 6}}), 0},
        ExifRow{"Rational", Tiff(false, {{0x0112, 5, 1, 6}}), 0},
        ExifRow{"BadMagic", With(Tiff(false, {kOrient6}), 2, {43}), 0},
        ExifRow{"MixedByteOrder", With(Tiff(false, {kOrient6}), 1, {'M'}), 0},
        // The entry's value field is cut off: the entry is not read.
        ExifRow{"CutInTheEntry", Cut(Tiff(false, {kWidth, kOrient6}), 8 + 2 + 12 + 10), 0},
        ExifRow{"CutHeader", Cut(Tiff(true, {kOrient6}), 7), 0},
        ExifRow{"IfdPastTheEnd", With(Tiff(false, {kOrient6}), 4, {0xFF, 0xFF, 0xFF, 0xFF}), 0},
        ExifRow{"IfdInTheHeader", With(Tiff(false, {kOrient6}), 4, {2, 0, 0, 0}), 0},
        // A count far past the block: the entries inside it still count.
        ExifRow{"CountPastTheEnd", Tiff(false, {kWidth, kOrient6}, 0xFFFF), 6},
        // The chain is never followed: a loop back to IFD0 ends, and a thumbnail's tag is not the
        // picture's.
        ExifRow{"LoopingChain", Tiff(false, {kWidth}, -1, 8), 0},
        ExifRow{"OnlyInTheNextIfd", Then(Tiff(false, {kWidth}, -1, 8 + 2 + 12 + 4), kOrient6), 0},
        ExifRow{"Empty", Bytes{}, 0}),
    [](const testing::TestParamInfo<ExifRow>& info) { return std::string(info.param.name); });

// --- Files stored in each orientation ---------------------------------------------------------

// 64 x 32 in flat blocks of 16 pixels, each its own gray, so that every turn and mirror shows and
// quality-100 JPEG keeps the levels.
RgbImage Upright() {
  RgbImage image{64, 32, {}};
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const auto level = static_cast<uint8_t>(10 + (y / 16 * 4 + x / 16) * 32);
      image.rgb.insert(image.rgb.end(), {level, level, level});
    }
  }
  return image;
}

// The picture a file of `orientation` stores so that it shows upright.
RgbImage Stored(RgbImage image, int orientation) {
  for (int i = 0; i < (orientation == 3 ? 2 : orientation == 8 ? 3 : orientation >= 5 ? 1 : 0); ++i) {
    image = QuarterTurnAnticlockwise(image);
  }
  if (orientation == 2 || orientation == 7) image = Mirrored(image, true);
  if (orientation == 4 || orientation == 5) image = Mirrored(image, false);
  return image;
}

// A JPEG with the Exif block in an APP1 segment straight after the start of image.
void WriteJpeg(const std::filesystem::path& to, const RgbImage& stored, const Bytes& exif, const TempDir& temp) {
  std::vector<uint32_t> pixels;
  for (std::size_t i = 0; i < stored.rgb.size(); i += 3) pixels.push_back(Rgb(stored.rgb[i], stored.rgb[i + 1], stored.rgb[i + 2]));
  ASSERT_TRUE(WriteJpegImage(temp / "plain.jpg", 100, ImageOf(stored.width, stored.height, 24, pixels), false));
  Bytes file = ReadBytes(temp / "plain.jpg"), app1{0xFF, 0xE1};
  Put(app1, static_cast<uint32_t>(exif.size() + 8), 2, true);
  const Bytes prefixed = Prefixed(exif);
  app1.insert(app1.end(), prefixed.begin(), prefixed.end());
  file.insert(file.begin() + 2, app1.begin(), app1.end());
  WriteBytes(to, file);
}

// A WebP file: VP8X (the Exif flag at byte 20, the canvas), the simple file's VP8L chunk, EXIF.
Bytes Webp(const RgbImage& stored, const Bytes& exif) {
  uint8_t* out = nullptr;
  const std::size_t size = WebPEncodeLosslessRGB(stored.rgb.data(), stored.width, stored.height, stored.width * 3, &out);
  Bytes chunks{'V', 'P', '8', 'X'};
  Put(chunks, 10, 4, false);
  Put(chunks, 0x08, 4, false);
  Put(chunks, static_cast<uint32_t>(stored.width - 1), 3, false);
  Put(chunks, static_cast<uint32_t>(stored.height - 1), 3, false);
  chunks.insert(chunks.end(), out + 12, out + size);
  WebPFree(out);
  chunks.insert(chunks.end(), {'E', 'X', 'I', 'F'});
  Put(chunks, static_cast<uint32_t>(exif.size()), 4, false);
  chunks.insert(chunks.end(), exif.begin(), exif.end());
  Bytes file{'R', 'I', 'F', 'F'};
  Put(file, static_cast<uint32_t>(chunks.size() + 4), 4, false);
  file.insert(file.end(), {'W', 'E', 'B', 'P'});
  file.insert(file.end(), chunks.begin(), chunks.end());
  return file;
}

void ExpectInfo(const std::string& info, int orientation) {
  if (orientation == 1) {
    EXPECT_EQ(info.find("orientation"), std::string::npos) << info;
  } else {
    EXPECT_NE(info.find("orientation: " + std::to_string(orientation) + " (applied)"), std::string::npos) << info;
  }
}

class Orientation : public testing::TestWithParam<int> {};

// JPEG loses less than a mean of 1 level of the blocks; a picture turned or mirrored the wrong
// way differs by tens. The Exif block is big-endian in the odd rows.
TEST_P(Orientation, JpegAndWebpShowUprightAndConvertUpright) {
  const int n = GetParam();
  const RgbImage upright = Upright(), stored = Stored(upright, n);
  const Bytes exif = Tiff(n % 2 != 0, {kWidth, {0x0112, 3, 1, static_cast<uint32_t>(n)}});
  Bytes webp = Webp(stored, exif);
  const ReadResult fromWebp = ReadWebpImage(webp);
  ASSERT_TRUE(fromWebp.dib);
  EXPECT_TRUE(SameImage(DibToRgb(fromWebp.dib), upright));
  ExpectInfo(fromWebp.infoText, n);
  webp[20] = 0;  // without the flag the chunk is not looked at
  EXPECT_TRUE(SameImage(DibToRgb(ReadWebpImage(webp).dib), stored));

  const TempDir temp;
  const auto photo = temp / "photo.jpg";
  WriteJpeg(photo, stored, exif, temp);
  const ReadResult result = ReadJpegImage(photo.string(), 24);
  ASSERT_TRUE(result.dib && result.frame);
  EXPECT_LT(MeanDifference(DibToRgb(result.dib), upright), 1.0);
  EXPECT_EQ(result.frame->width, 64);
  EXPECT_EQ(result.frame->height, 32);
  ExpectInfo(result.infoText, n);

  // What is converted shows upright, whether a decoder heeds its orientation or not.
  if (!HaveProgram("/usr/bin/convert")) GTEST_SKIP() << "no ImageMagick";
  for (const char* to : {"png", "jpeg", "tiff-lzw"}) {
    const auto out = temp / (std::string("out.") + to);
    ASSERT_EQ(RunCommand(Quote(RAVELLE_CLI) + " convert " + Quote(photo.string()) + " " + Quote(out.string()) + " --to " + to).status, 0);
    const auto shown = DecodeWithImageMagick(out), turned = DecodeWithImageMagick(out, "-auto-orient");
    ASSERT_TRUE(shown && turned) << to;
    EXPECT_EQ(*shown, *turned) << to;
    EXPECT_LT(MeanDifference(*shown, upright), 2.0) << to;
  }
}

INSTANTIATE_TEST_SUITE_P(Exif, Orientation, testing::Range(1, 9));

}  // namespace
}  // namespace ravelle::test
