#include "formats/jxl/jxl_reader.h"

#include <gtest/gtest.h>
#include <jxl/encode.h>
#include <png.h>

#include <csetjmp>
#include <cstring>

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

// One PNG's pixels, 8 bits a sample, laid over white (no gamma: the samples as stored).
std::optional<RgbImage> DecodePng(const Bytes& file) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  struct Reader {
    const Bytes* file;
    std::size_t at;
  } reader{&file, 0};
  std::optional<RgbImage> image;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_set_read_fn(png, &reader, [](png_structp p, png_bytep out, png_size_t n) {
      auto* r = static_cast<Reader*>(png_get_io_ptr(p));
      if (r->at + n > r->file->size()) png_error(p, "short");
      std::memcpy(out, r->file->data() + r->at, n);
      r->at += n;
    });
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_read_png(png, info, PNG_TRANSFORM_EXPAND, nullptr);
    const int width = int(png_get_image_width(png, info)), height = int(png_get_image_height(png, info));
    const int channels = png_get_channels(png, info);
    Bytes samples;
    const bool deep = png_get_bit_depth(png, info) == 16;
    for (png_bytep row : std::span(png_get_rows(png, info), height)) {
      for (int i = 0; i < width * channels; ++i) {
        // 16-bit samples rounded to 8 bits as the reader rounds them.
        samples.push_back(deep ? uint8_t(((row[2 * i] << 8 | row[2 * i + 1]) * 255u + 32767u) / 65535u) : row[i]);
      }
    }
    image = OverWhite(width, height, channels, samples.data());
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return image;
}

// The frames of a PNG or an APNG whose frames all cover the canvas (as djxl writes them): each
// made a PNG of its own from the header chunks and its IDAT or fdAT data.
std::vector<RgbImage> PngFrames(const Bytes& file) {
  const auto be = [&](std::size_t at) { return uint32_t(file[at]) << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3]; };
  const auto chunk = [](Bytes& to, const char* type, const uint8_t* data, std::size_t size) {
    for (int i = 3; i >= 0; --i) to.push_back(uint8_t(size >> (8 * i)));
    to.insert(to.end(), type, type + 4);
    to.insert(to.end(), data, data + size);
    to.insert(to.end(), 4, 0);  // the CRC, not checked
  };
  if (file.size() < 8) return {};
  Bytes head(file.begin(), file.begin() + 8);
  std::vector<Bytes> data;
  bool started = false;
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const std::size_t size = be(at);
    if (size > file.size() - at - 12) break;
    const std::string type(file.begin() + at + 4, file.begin() + at + 8);
    const uint8_t* body = file.data() + at + 8;
    if (type == "fcTL") data.emplace_back(), started = true;
    if (type == "IDAT" || type == "fdAT") {
      if (data.empty()) data.emplace_back();
      const std::size_t skip = type == "fdAT" ? 4 : 0;
      data.back().insert(data.back().end(), body + skip, body + size);
    } else if (!started && type != "acTL" && type != "IEND") {
      chunk(head, type.c_str(), body, size);
    }
    at += size + 12;
  }
  std::vector<RgbImage> frames;
  for (const Bytes& idat : data) {
    if (idat.empty()) continue;
    Bytes png = head;
    chunk(png, "IDAT", idat.data(), idat.size());
    chunk(png, "IEND", nullptr, 0);
    if (auto frame = DecodePng(png)) frames.push_back(*frame);
  }
  return frames;
}

// Hand-built files: the statuses of damaged ones, the pixels and File Info of whole ones.
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
    const char* info;
  } cases[] = {
      {"RGBA", lossless, ReadStatus::Ok, 24, OverWhite(40, 24, 4, rgba.data()),
       "image type: JPEG XL \nwidth: 40 \nheight: 24 \nbit depth: 8 \nalpha channel: yes \nframes: 1 \n"},
      {"grey", EncodeJxl(33, 17, 1, false, {grey}), ReadStatus::Ok, 8, OverWhite(33, 17, 1, grey.data()), nullptr},
      {"turned", EncodeJxl(20, 12, 3, false, {wide}, 0, 6), ReadStatus::Ok, 24, turned,
       "image type: JPEG XL \nwidth: 12 \nheight: 20 \nbit depth: 8 \nalpha channel: no \nframes: 1 \n"
       "orientation: 6 (applied) \n"},
      {"signature alone", {0xFF, 0x0A}, ReadStatus::Damaged, 0, std::nullopt, nullptr},
      {"no signature", {0xFF, 0x0B, 0, 0}, ReadStatus::BadHeader, 0, std::nullopt, nullptr},
      {"cut in the frame", Bytes(lossless.begin(), lossless.begin() + lossless.size() / 2), ReadStatus::Damaged, 0,
       std::nullopt, nullptr},
      {"huge canvas", huge, ReadStatus::TooLarge, 0, std::nullopt, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ReadResult read = ReadJxlImage(c.file);
    EXPECT_EQ(read.status, c.status);
    if (c.info != nullptr) {
      EXPECT_EQ(read.infoText, c.info);
    }
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
  EXPECT_NE(ReadJxlImage(file).infoText.find("frames: 3 \n"), std::string::npos);
  EXPECT_FALSE(JxlAnimation::Open(EncodeJxl(16, 8, 3, false, {frames[0]})));
  // Cut before the last frame's header; one cut inside the last frame opens, and that frame
  // does not step.
  EXPECT_FALSE(JxlAnimation::Open(Bytes(file.begin(), file.begin() + file.size() / 2)));
  auto cut = JxlAnimation::Open(Bytes(file.begin(), file.end() - 20));
  ASSERT_TRUE(cut && cut->Step() && cut->Step());
  EXPECT_FALSE(cut->Step());
}

// Files whose decode differs from djxl's, and why; a negative tolerance compares nothing.
struct KnownDifference {
  const char* path;
  int tolerance;
  const char* why;
};
constexpr KnownDifference kKnownDifferences[] = {
    {"jxl/conformance/alpha_premultiplied.jxl", -1, "16-bit premultiplied alpha: taken out at other depths, nearly clear pixels are several levels apart"},
    // djxl 0.7 writes no PNG of alpha deeper or shallower than the colours, nor of float samples.
    {"jxl/conformance/alpha_nonpremultiplied.jxl", -1, "12-bit colours, 16-bit alpha"},
    {"jxl/conformance/alpha_triangles.jxl", -1, "9-bit colours, 8-bit alpha"},
    {"jxl/conformance/blendmodes.jxl", -1, "12-bit colours, other alpha"},
    {"jxl/kimageformats/testcard_rgba_fp32.jxl", -1, "32-bit float"},
};

// Every valid corpus file gives djxl's pixels laid over white, frame by frame for animations;
// every other file a picture or a status that says why there is none. Files of more than 8 bits a
// sample are taken from djxl as 16-bit PNG (its 8-bit output of them is not the picture).
TEST(JxlReader, CorpusConformance) {
  if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
  if (!HaveProgram("/usr/bin/djxl")) GTEST_SKIP() << "no djxl";
  TempDir dir;
  int compared = 0;
  for (const CorpusEntry& entry : CorpusManifest()) {
    if (entry.format != "JXL") continue;
    SCOPED_TRACE(entry.path);
    const Bytes bytes = ReadBytes(CorpusDir() / entry.path);
    const ReadResult read = ReadJxlImage(bytes);
    if (entry.expected != "valid") {
      EXPECT_TRUE(read.dib || read.status != ReadStatus::Ok);
      continue;
    }
    const KnownDifference* known = nullptr;
    for (const auto& k : kKnownDifferences) known = entry.path == k.path ? &k : known;
    if (known != nullptr && known->tolerance < 0) continue;
    const bool deep = read.infoText.find("bit depth: 8 \n") == std::string::npos;
    const std::string options = deep ? "--bits_per_sample=16" : "--bits_per_sample=8";
    if (!read.dib) { ADD_FAILURE() << "no dib " << int(read.status); continue; }
    EXPECT_EQ(read.status, ReadStatus::Ok);
    const auto png = dir / "out.png";
    std::filesystem::remove(png);
    EXPECT_EQ(RunCommand("/usr/bin/djxl " + Quote((CorpusDir() / entry.path).string()) + " " + Quote(png.string()) +
                         " " + options + " --num_threads=2 --quiet >/dev/null 2>&1").status, 0);
    const std::vector<RgbImage> expected = PngFrames(ReadBytes(png));
    if (expected.empty()) { ADD_FAILURE() << "no djxl"; continue; }
    const int tolerance = known != nullptr ? known->tolerance : 0;
    EXPECT_TRUE(SameImage(DibToRgb(read.dib), expected[0], tolerance));
    if (expected.size() > 1) {
      auto animation = JxlAnimation::Open(bytes);
      ASSERT_TRUE(animation);
      ASSERT_EQ(std::size_t(animation->FrameCount()), expected.size());
      for (const RgbImage& frame : expected) {
        ASSERT_TRUE(animation->Step());
        EXPECT_TRUE(SameImage(DibToRgb(animation->Frame()), frame, tolerance)) << "frame " << animation->FrameNumber();
      }
    }
    ++compared;
  }
  EXPECT_EQ(compared, 31);
}

}  // namespace
}  // namespace ravelle::test
