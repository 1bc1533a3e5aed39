#include "formats/webp/webp_reader.h"

#include <gtest/gtest.h>
#include <png.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstring>
#include <sstream>

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

// An animation by hand: a canvas and one frame at an offset.
Bytes Animation(uint32_t canvasWidth, uint32_t canvasHeight, const Bytes& still, uint32_t x, uint32_t y) {
  return webp::AnimationFile(canvasWidth, canvasHeight, {{still, x, y}});
}

// A binary PAM of dwebp (RGB_ALPHA) laid over white as the reader lays it.
std::optional<RgbImage> OverWhite(const std::string& pam) {
  std::istringstream in(pam);
  std::string word;
  int width = 0, height = 0, depth = 0;
  while (in >> word && word != "ENDHDR") {
    if (word == "WIDTH") in >> width;
    if (word == "HEIGHT") in >> height;
    if (word == "DEPTH") in >> depth;
  }
  in.get();
  const auto start = static_cast<std::size_t>(in.tellg());
  if (depth != 4 || width <= 0 || pam.size() < start + std::size_t(width) * height * 4) return std::nullopt;
  RgbImage image{width, height, {}};
  for (std::size_t p = start; p < start + std::size_t(width) * height * 4; p += 4) {
    for (int c = 0; c < 3; ++c) image.rgb.push_back(WebpOverWhite(uint8_t(pam[p + c]), uint8_t(pam[p + 3])));
  }
  return image;
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
  EXPECT_EQ(webp.infoText,
            "image type: WebP \nwidth: 256 \nheight: 256 \nbit depth: 8 \nalpha channel: yes \ncompression: lossless \n"
            "frames: 1 \n");
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
      {"lossy", lossy, ReadStatus::Ok, &lossy},
      {"lossless", lossless, ReadStatus::Ok, &lossless},
      {"lossy, cut short", cut(lossy, lossy.size() * 3 / 4), ReadStatus::Truncated, &lossy},
      {"lossless, cut short", cut(lossless, lossless.size() / 2), ReadStatus::Truncated, &lossless},
      {"header cut", cut(lossy, 24), ReadStatus::Damaged, nullptr},
      {"bad signature", flipped, ReadStatus::BadHeader, nullptr},
      {"RIFF header alone", cut(lossy, 12), ReadStatus::Damaged, nullptr},
      // A canvas over the size limit, and a frame that does not fit its canvas.
      {"huge canvas", Animation(30000, 30000, lossless, 0, 0), ReadStatus::TooLarge, nullptr},
      {"frame off the canvas", Animation(64, 64, lossless, 0, 0), ReadStatus::Damaged, nullptr},
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
    EXPECT_GE(same / rowBytes, c.status == ReadStatus::Ok ? std::size_t(got.height) : 8u);
  }
}

// Every valid corpus file gives dwebp's pixels laid over white (an animation's first frame, from
// webpmux, at its offset on a white canvas); every other file a picture or a status that says
// why there is none.
TEST(WebpReader, CorpusConformance) {
  if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
  if (!HaveProgram("/usr/bin/dwebp") || !HaveProgram("/usr/bin/webpmux")) GTEST_SKIP() << "no dwebp or webpmux";
  TempDir dir;
  int compared = 0;
  for (const CorpusEntry& entry : CorpusManifest()) {
    if (entry.format != "WebP") continue;
    SCOPED_TRACE(entry.path);
    const auto file = CorpusDir() / entry.path;
    const ReadResult read = ReadWebpImage(ReadBytes(file));
    if (read.dib) {
      EXPECT_EQ(read.dib.Pixels().size(), read.dib.Stride() * std::size_t(read.dib.Height()));
    }
    if (entry.expected != "valid") {
      EXPECT_TRUE(read.dib || read.status != ReadStatus::Ok);
      continue;
    }
    ASSERT_TRUE(read.dib);
    EXPECT_EQ(read.status, ReadStatus::Ok);
    // A picture turned upright is compared with ImageMagick's in orientation_test.cpp.
    if (read.infoText.find("(applied)") != std::string::npos) continue;
    std::string still = file.string();
    int x = 0, y = 0;
    if (entry.variant.find("animated") != std::string::npos) {
      std::istringstream info(RunCommand("/usr/bin/webpmux -info " + Quote(still)).out);
      std::string line;
      while (std::getline(info, line) && line.rfind("  1:", 0) != 0) {}
      int w = 0, h = 0;
      std::string alpha;
      ASSERT_TRUE(std::istringstream(line.substr(4)) >> w >> h >> alpha >> x >> y) << line;
      still = (dir / "frame.webp").string();
      ASSERT_EQ(RunCommand("/usr/bin/webpmux -get frame 1 " + Quote(file.string()) + " -o " + Quote(still) + " 2>/dev/null").status, 0);
    }
    // dwebp's PAM for a file with alpha, its PPM (which drops what a file without it may hold)
    // for the others.
    const Bytes bytes = ReadBytes(still);
    WebPBitstreamFeatures features;
    ASSERT_EQ(WebPGetFeatures(bytes.data(), bytes.size(), &features), VP8_STATUS_OK);
    const std::string decode = "/usr/bin/dwebp -quiet " + std::string(features.has_alpha ? "-pam " : "-ppm ") + Quote(still);
    const std::string decoded = RunCommand(decode + " -o - 2>/dev/null").out;
    const auto frame = features.has_alpha ? OverWhite(decoded) : ParsePpm(decoded);
    ASSERT_TRUE(frame);
    RgbImage expected{read.dib.Width(), read.dib.Height(), {}};
    expected.rgb.assign(3 * std::size_t(expected.width) * expected.height, 255);
    for (int row = 0; row < frame->height && row + y < expected.height; ++row) {
      std::memcpy(&expected.rgb[3 * (std::size_t(row + y) * expected.width + x)], &frame->rgb[3 * std::size_t(row) * frame->width],
                  3 * std::size_t(std::min(frame->width, expected.width - x)));
    }
    EXPECT_TRUE(SameImage(DibToRgb(read.dib), expected));
    ++compared;
  }
  EXPECT_EQ(compared, 31);  // and one turned upright
}

// Every frame of the corpus's animations equals ImageMagick's coalesced frame wherever that is
// opaque; the first is the reader's picture, and after the last comes the first again.
TEST(WebpAnimationTest, FramesMatchCoalescedFrames) {
  if (!HaveCorpus() || !HaveProgram("/usr/bin/convert")) GTEST_SKIP() << "no corpus or ImageMagick";
  int animations = 0;
  for (const CorpusEntry& entry : CorpusManifest()) {
    if (entry.format != "WebP" || entry.expected != "valid" || entry.variant.find("animated") == std::string::npos) continue;
    SCOPED_TRACE(entry.path);
    const auto file = CorpusDir() / entry.path;
    const Bytes bytes = ReadBytes(file);
    auto animation = WebpAnimation::Open(bytes);
    ASSERT_TRUE(animation);
    const std::string rgba = RunCommand("/usr/bin/convert " + Quote(file.string()) + " -coalesce -depth 8 rgba:- 2>/dev/null").out;
    const ReadResult first = ReadWebpImage(bytes);
    const std::size_t pixels = std::size_t(first.dib.Width()) * first.dib.Height();
    ASSERT_EQ(rgba.size(), pixels * 4 * animation->FrameCount());
    for (int f = 0; f < animation->FrameCount(); ++f) {
      ASSERT_TRUE(animation->Step());
      EXPECT_EQ(animation->FrameNumber(), f + 1);
      const RgbImage ours = DibToRgb(animation->Frame());
      if (f == 0) {
        EXPECT_EQ(ours, DibToRgb(first.dib));
      }
      std::size_t differ = 0;
      for (std::size_t p = 0; p < pixels; ++p) {
        const auto* im = reinterpret_cast<const uint8_t*>(rgba.data()) + (f * pixels + p) * 4;
        differ += im[3] == 255 && std::memcmp(im, &ours.rgb[3 * p], 3) != 0;
      }
      EXPECT_EQ(differ, 0u) << "frame " << f + 1;
    }
    ASSERT_TRUE(animation->Step());
    EXPECT_EQ(animation->FrameNumber(), 1);
    ++animations;
  }
  EXPECT_EQ(animations, 5);
  // A frame is shown for its duration (100 ms); a still image and a cut animation do not step.
  const Bytes made = Animation(20, 10, EncodeWebp(8, 6, true, false), 4, 2);
  auto animation = WebpAnimation::Open(made);
  ASSERT_TRUE(animation && animation->Step());
  EXPECT_EQ(animation->Delay(), 10);
  EXPECT_FALSE(WebpAnimation::Open(EncodeWebp(8, 8, true, false)));
  EXPECT_FALSE(WebpAnimation::Open(Bytes(made.begin(), made.end() - 8)));
}

}  // namespace
}  // namespace ravelle::test
