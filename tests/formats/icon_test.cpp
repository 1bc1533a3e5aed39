// The icon, cursor and animated-cursor reader: hand-built files for the layouts and the damaged
// cases, and the shared corpus against ImageMagick (each icon of an animated cursor is given to
// it as a file of its own).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "formats/icon/icon_reader.h"
#include "formats/lib/png_file.h"
#include "formats/registry.h"
#include "image/format.h"
#include "support/animation_files.h"
#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using test::PixelAt;

using namespace test::icon;
using test::Put16;
using test::Put32;

IconImage Read(const std::vector<uint8_t>& bytes, IconRequest request = {}) { return ReadIconImage(bytes, request); }

// An icon file whose one image is `dib` written as PNG by our own writer.
std::vector<uint8_t> PngIcon(const PackedDib& dib) {
  test::TempDir temp;
  EXPECT_TRUE(WritePngImage(temp / "image.png", dib, false));
  const auto png = test::ReadBytes(temp / "image.png");
  std::vector<uint8_t> b{0, 0, 1, 0, 1, 0, static_cast<uint8_t>(dib.Width()), static_cast<uint8_t>(dib.Height()), 0, 0};
  Put16(b, 1);
  Put16(b, 32);
  Put32(b, static_cast<uint32_t>(png.size()));
  Put32(b, 22);
  b.insert(b.end(), png.begin(), png.end());
  return b;
}

// ---- icons and cursors

// Every depth composes the same way: unmasked pixels keep their value, masked ones become white
// inverted by their colour: each field inverted, or for indexed images the nearest entry of the
// table (the masked pixels are black, so white: entry 15 of the standard colours). A 128 x 128
// image at 32 bits takes more than 65,535 bytes, and is read whole.
TEST(IconReaderTest, EveryDepthIsLaidOverWhiteThroughItsMask) {
  for (const auto& [bits, size] : {std::pair{1, 20}, {4, 20}, {8, 20}, {16, 20}, {24, 20}, {32, 20}, {32, 128}}) {
    SCOPED_TRACE(Format("%d bits, %d pixels square", bits, size));
    IconPicture p = Checkered(size, bits);
    if (bits == 1) {
      p.table = {{0, 0, 0, 0}, {255, 255, 255, 0}};
      p.pixel = [](int x, int) { return static_cast<uint32_t>(x % 2); };
    }
    const auto icon = Read(IconFile({p}));
    ASSERT_TRUE(icon.result.dib);
    EXPECT_EQ(icon.result.status, ReadStatus::Ok);
    EXPECT_EQ(icon.result.dib.BitCount(), bits);
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const uint32_t v = p.pixel(x, y);
        uint32_t want = v;
        if (p.masked(x, y)) want = bits == 1 ? 1 - v : bits <= 8 ? 15 : v ^ (bits == 16 ? 0x7FFFu : 0xFFFFFFu);
        ASSERT_EQ(PixelAt(icon.result.dib, x, y), want) << x << "," << y;
      }
    }
  }
}

// The text of each mode, and the image's size and table as the text gives them.
TEST(IconReaderTest, TextsFramesAndDirectoryCases) {
  IconPicture wide = Checkered(16, 8);
  wide.width = 256;
  wide.entryWidth = 0;  // 0 stands for 256
  // Three colours named by the header; index 3 lies past them.
  IconPicture fewColours{4, 4, 8, {{0, 0, 0, 0}, {10, 20, 30, 0}, {255, 255, 255, 0}}, true};
  fewColours.pixel = [](int x, int) { return static_cast<uint32_t>(x % 4); };
  // Directories and image headers that disagree: the size is the one whose image the data holds.
  const auto patched = [](std::size_t at, uint8_t value) {
    auto file = IconFile({Checkered(16, 4)});
    file[at] = value;
    return file;
  };
  IconPicture narrow = Checkered(16, 4);
  narrow.entryWidth = 8;
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    IconRequest request;
    const char* text;
    bool frame;
  } cases[] = {
      {"icon", IconFile({Checkered(32, 4)}), {}, "image type: ICON \n# icons in file: 1 \nwidth: 32 \nheight: 32 \ncolors: 16 \n", true},
      {"cursor", IconFile({Checkered(32, 24)}, 2), {}, "image type: Cursor \n# cursors in file: 1 \nwidth: 32 \nheight: 32 \ncolors: 0 \n", true},
      {"third of three", IconFile({Checkered(16, 4), Checkered(32, 8), Checkered(8, 24)}), {.imageNumber = 3},
       "image type: ICON \n# icons in file: 3 \nwidth: 8 \nheight: 8 \ncolors: 0 \n", true},
      {"sequence step", IconFile({Checkered(16, 4), Checkered(32, 8)}), {.imageNumber = 2, .currentKind = ImageKind::IconSequence},
       "image type: ICON \n# icons in file: 2 \nwidth: 32 \nheight: 32 \ncolors: 256 \n", false},
      {"first animated frame", IconFile({Checkered(16, 4)}, 2), {.mode = 1}, "image type: animated cursor \nwidth: 16 \nheight: 16 \ncolors: 16 \n", true},
      {"animated icon", IconFile({Checkered(16, 4)}, 1), {.mode = 1}, "image type: animated icon \nwidth: 16 \nheight: 16 \ncolors: 16 \n", true},
      {"later frame", IconFile({Checkered(16, 4)}), {.mode = 2}, "", false},
      {"width 0", IconFile({wide}), {}, "image type: ICON \n# icons in file: 1 \nwidth: 256 \nheight: 16 \ncolors: 256 \n", true},
      {"own colour count", IconFile({fewColours}), {}, "image type: ICON \n# icons in file: 1 \nwidth: 4 \nheight: 4 \ncolors: 3 \n", true},
      {"directory too tall", patched(7, 32), {}, "image type: ICON \n# icons in file: 1 \nwidth: 16 \nheight: 16 \ncolors: 16 \n", true},
      {"directory too narrow", IconFile({narrow}), {}, "image type: ICON \n# icons in file: 1 \nwidth: 16 \nheight: 16 \ncolors: 16 \n", true},
      {"header height not doubled", patched(22 + 8, 16), {}, "image type: ICON \n# icons in file: 1 \nwidth: 16 \nheight: 16 \ncolors: 16 \n", true},
      {"PNG image", PngIcon(test::ImageOf(3, 2, 24, {1, 2, 3, 4, 5, 6})), {.png = ReadPngImage},
       "image type: ICON \n# icons in file: 1 \nwidth: 3 \nheight: 2 \ncolors: 0 \n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto icon = Read(c.file, c.request);
    const PackedDib& dib = icon.result.dib;
    ASSERT_TRUE(dib);
    EXPECT_EQ(icon.result.infoText, c.text);
    EXPECT_EQ(icon.result.frame.has_value(), c.frame);
    if (*c.text != 0) {
      EXPECT_NE(icon.result.infoText.find(Format("width: %d \nheight: %d \ncolors: %zu \n", dib.Width(), dib.Height(), dib.Colors().size())),
                std::string::npos);
    }
    if (icon.result.frame) {
      EXPECT_EQ(icon.result.frame->width, dib.Width());
    }
  }
  const auto few = Read(IconFile({fewColours}));
  EXPECT_EQ(PixelAt(few.result.dib, 1, 0), 1u);
  EXPECT_EQ(PixelAt(few.result.dib, 3, 0), 0u);  // past the table: black, its nearest entry
}

// A 32-bit image with an alpha channel shows its shape over white, whatever its mask says; one
// stored as PNG comes through the PNG reader, which mixes in linear light for a 2.2 screen.
TEST(IconReaderTest, AlphaIsLaidOverWhite) {
  const std::vector<uint32_t> pixels{0x00102030u, 0x80FF0000u, 0xFF00FF00u};
  IconPicture p{3, 2, 32};
  p.pixel = [&](int x, int) { return pixels[static_cast<std::size_t>(x)]; };
  p.masked = [](int, int y) { return y == 0; };
  PackedDib png = CreateDib(3, 1, 32);
  for (int x = 0; x < 3; ++x) test::SetPixel(png, x, 0, pixels[static_cast<std::size_t>(x)]);
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    uint32_t half;  // the red half over white
  } cases[] = {{"bitmap", IconFile({p}), 0xFF7F7Fu}, {"PNG", PngIcon(png), 0xFFBABAu}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto icon = Read(c.file, {.png = ReadPngImage});
    ASSERT_TRUE(icon.result.dib);
    for (int y = 0; y < icon.result.dib.Height(); ++y) {
      EXPECT_EQ(PixelAt(icon.result.dib, 0, y) & 0xFFFFFF, 0xFFFFFFu);
      EXPECT_EQ(PixelAt(icon.result.dib, 1, y) & 0xFFFFFF, c.half);
      EXPECT_EQ(PixelAt(icon.result.dib, 2, y) & 0xFFFFFF, 0x00FF00u);
    }
  }
}

TEST(IconReaderTest, DamagedFilesFailWithTheReadError) {
  const auto good = IconFile({Checkered(16, 4)});
  auto depth = good;
  depth[6 + 16 + 14] = 2;  // 2 bits per pixel
  auto offset = good;
  offset[6 + 13] = 0xF0;
  auto png = PngIcon(test::ImageOf(2, 2, 24, {1, 2, 3, 4}));
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    IconRequest request;
    ReadStatus status;
  } cases[] = {
      {"reserved 1", IconFile({Checkered(16, 4)}, 1, 1), {}, ReadStatus::BadHeader},
      {"type 3", IconFile({Checkered(16, 4)}, 3), {}, ReadStatus::BadHeader},
      {"no images", IconFile({}), {}, ReadStatus::BadHeader},
      {"image number past the count", good, {.imageNumber = 2}, ReadStatus::BadHeader},
      {"cut in the header", std::vector<uint8_t>(good.begin(), good.begin() + 4), {}, ReadStatus::Damaged},
      {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 6), {}, ReadStatus::Damaged},
      {"cut in the image header", std::vector<uint8_t>(good.begin(), good.begin() + 22 + 20), {}, ReadStatus::Damaged},
      {"no pixels", std::vector<uint8_t>(good.begin(), good.begin() + 22 + 40), {}, ReadStatus::Damaged},
      {"no mask", std::vector<uint8_t>(good.begin(), good.end() - 64), {}, ReadStatus::Damaged},
      {"2 bits per pixel", depth, {}, ReadStatus::Unsupported},
      {"offset past the end", offset, {}, ReadStatus::Damaged},
      {"PNG without a PNG reader", png, {}, ReadStatus::Unsupported},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto icon = Read(c.file, c.request);
    EXPECT_FALSE(icon.result.dib);
    EXPECT_EQ(icon.result.status, c.status);
    ASSERT_EQ(icon.result.messages.size(), 1u);
    EXPECT_EQ(icon.result.messages[0], (Message{"Error Reading Icon File", "", kMbIconHand}));
  }
  // A file cut inside its mask keeps what was read; a PNG cut short fails.
  const auto cut = Read(std::vector<uint8_t>(good.begin(), good.end() - 10));
  EXPECT_TRUE(cut.result.dib);
  EXPECT_EQ(cut.result.status, ReadStatus::Truncated);
  png.resize(png.size() - 20);
  const auto cutPng = Read(png, {.png = ReadPngImage});
  EXPECT_FALSE(cutPng.result.dib);
  EXPECT_FALSE(cutPng.result.messages.empty());
  EXPECT_TRUE(cutPng.result.infoText.empty());
}

// ---- animated cursors

std::vector<std::pair<uint32_t, uint32_t>> StepsOf(const AniTables& tables) {
  std::vector<std::pair<uint32_t, uint32_t>> steps;
  for (const AniFrameStep& s : tables.steps) steps.emplace_back(s.frame, s.rate);
  return steps;
}

// The steps and frames read, the frame the first step shows, and the text: the first frame's
// followed by the header's two counts.
TEST(AnimatedCursorTest, StepTablesFromAnihRateAndSeq) {
  using Steps = std::vector<std::pair<uint32_t, uint32_t>>;
  const struct {
    const char* name;
    std::vector<AniChunk> chunks;
    Steps steps;
    std::size_t frames;
    int icons;  // as "anih" says
  } cases[] = {
      {"frames in order", {{"anih", Anih(3, 3)}, {"fram", Frames(3)}}, {{0, 10}, {1, 10}, {2, 10}}, 3, 3},
      {"seq and rate", {{"anih", Anih(3, 4)}, {"seq ", Dwords({1, 1, 0, 2})}, {"rate", Dwords({5, 5, 10, 20})}, {"fram", Frames(3)}},
       {{1, 5}, {1, 5}, {0, 10}, {2, 20}}, 3, 3},
      // A rate before the header is scanned over like any unknown bytes.
      {"rate before anih", {{"rate", Dwords({1, 2})}, {"anih", Anih(2, 2)}, {"fram", Frames(2)}}, {{0, 10}, {1, 10}}, 2, 2},
      {"names passed over", {{"INAM", {'a', 'b', 'c'}}, {"IART", {'x'}}, {"anih", Anih(1, 1)}, {"fram", Frames(1)}}, {{0, 10}}, 1, 1},
      // Fewer "icon" chunks than the header says: the frame loop ends at the end of the file.
      {"frames missing", {{"anih", Anih(5, 2)}, {"fram", Frames(2)}}, {{0, 10}, {1, 10}}, 2, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const AnimatedCursor ani = ReadAnimatedCursor(AniFile(c.chunks), nullptr);
    EXPECT_EQ(ani.result.status, ReadStatus::Ok);
    EXPECT_EQ(StepsOf(ani.tables), c.steps);
    ASSERT_EQ(ani.tables.frames.size(), c.frames);
    for (std::size_t i = 0; i < c.frames; ++i) EXPECT_EQ(PixelAt(ani.tables.frames[i], 0, 0), i % 2);
    ASSERT_TRUE(ani.result.dib);
    EXPECT_EQ(PixelAt(ani.result.dib, 0, 0), c.steps[0].first % 2);
    EXPECT_EQ(ani.result.infoText, Format("image type: animated cursor \nwidth: 8 \nheight: 8 \ncolors: 256 \nnumber of icons: %d "
                                          "\nnumber of frames: %zu \n", c.icons, c.steps.size()));
    ASSERT_TRUE(ani.result.frame);
    EXPECT_EQ(ani.result.frame->width, 8);
  }
}

TEST(AnimatedCursorTest, BrokenFilesFailWithoutAMessage) {
  const struct {
    const char* name;
    std::vector<uint8_t> file;
  } cases[] = {
      {"no anih", AniFile({{"fram", Frames(2)}})},
      {"no icon", AniFile({{"anih", Anih(2, 2)}})},
      {"short rate", AniFile({{"anih", Anih(2, 4)}, {"rate", Dwords({1})}})},
      {"short seq", AniFile({{"anih", Anih(2, 4)}, {"seq ", Dwords({1, 2})}})},
      {"too many steps", AniFile({{"anih", Anih(1, 0xFFFFFFFF)}, {"fram", Frames(1)}})},
      {"RIFF only", {'R', 'I', 'F', 'F'}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const AnimatedCursor ani = ReadAnimatedCursor(c.file, nullptr);
    EXPECT_FALSE(ani.result.dib);
    EXPECT_TRUE(ani.result.messages.empty());
    EXPECT_TRUE(ani.tables.frames.empty());
  }
}

// Cut anywhere, a file gives an image or fails cleanly.
TEST(AnimatedCursorTest, EveryTruncationIsSafe) {
  const auto ani = AniFile({{"anih", Anih(3, 4)}, {"seq ", Dwords({0, 1, 0, 2})}, {"fram", Frames(3)}});
  const auto icon = IconFile({Checkered(16, 4), Checkered(16, 32)});
  for (std::size_t n = 0; n < ani.size(); n += 3) {
    const AnimatedCursor read = ReadAnimatedCursor(std::span(ani).first(n), nullptr);
    if (read.result.dib) {
      EXPECT_EQ(read.result.dib.Pixels().size(), read.result.dib.Stride() * 8);
    }
  }
  for (std::size_t n = 0; n < icon.size(); n += 5) {
    for (int number : {1, 2}) {
      const auto read = Read(std::vector<uint8_t>(icon.begin(), icon.begin() + static_cast<std::ptrdiff_t>(n)), {.imageNumber = number});
      if (read.result.dib) {
        EXPECT_EQ(read.result.dib.Pixels().size(), read.result.dib.Stride() * 16);
      }
    }
  }
}

// ---- the corpus against ImageMagick

// ImageMagick's decode of image `index` of an icon file, as red, green, blue and alpha.
struct Rgba {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> samples;
};

std::optional<Rgba> ImageMagickRgba(const std::filesystem::path& file, int index) {
  const auto out = test::RunCommand("/usr/bin/convert " + test::Quote(file.string() + "[" + std::to_string(index) + "]") +
                                    " -type TrueColorAlpha -depth 8 pam:- 2>/dev/null").out;
  Rgba image;
  const auto end = out.find("ENDHDR\n");
  if (end == std::string::npos || std::sscanf(out.c_str(), "P7\nWIDTH %d\nHEIGHT %d\n", &image.width, &image.height) != 2) {
    return std::nullopt;
  }
  image.samples.assign(out.begin() + static_cast<std::ptrdiff_t>(end + 7), out.end());
  if (image.samples.size() != 4 * static_cast<std::size_t>(image.width) * image.height) return std::nullopt;
  return image;
}

// Images whose reading is right where the reference differs, and why.
const struct {
  const char* path;
  int image;
  bool read;  // whether the reader gives an image
  const char* reason;
} kKnownDifferences[] = {
    {"ico/dotnet/pngwithheight_icon.ico", 7, false,
     "its PNG image is damaged (the IDAT fails its CRC, its deflate data is invalid): no decoder reads it, and the "
     "reader fails with its message"},
};

struct EntryFacts {
  std::size_t image = 0;  // where the image starts
  uint32_t size = 0;      // its bytes, as the directory says
  bool png = false;
  bool alpha = false;  // a 32-bit image with a fourth byte that is not 0
};

EntryFacts FactsOf(std::span<const uint8_t> file, int number) {
  EntryFacts facts;
  const std::size_t entry = 16 * static_cast<std::size_t>(number) - 10;
  if (entry + 16 > file.size()) return facts;
  const auto dword = [&](std::size_t at) {
    return at + 4 <= file.size() ? file[at] | file[at + 1] << 8 | file[at + 2] << 16 | uint32_t{file[at + 3]} << 24 : 0u;
  };
  const std::size_t image = facts.image = dword(entry + 12);
  facts.size = dword(entry + 8);
  facts.png = image + 4 <= file.size() && file[image] == 0x89 && file[image + 1] == 'P';
  if (facts.png || image + 40 > file.size() || (file[image + 14] | file[image + 15] << 8) != 32) return facts;
  const std::size_t width = file[entry] == 0 ? 256 : file[entry], height = file[entry + 1] == 0 ? 256 : file[entry + 1];
  for (std::size_t i = 0; i < width * height && image + 40 + 4 * i + 3 < file.size(); ++i) {
    if (file[image + 40 + 4 * i + 3] != 0) facts.alpha = true;
  }
  return facts;
}

// Image `number` in a file of its own: ImageMagick gives up the whole list at an image it
// cannot read, and with it every image after that one.
std::vector<uint8_t> ImageAlone(std::span<const uint8_t> file, int number) {
  const EntryFacts facts = FactsOf(file, number);
  const std::size_t entry = 16 * static_cast<std::size_t>(number) - 10;
  std::vector<uint8_t> alone{0, 0, file[2], 0, 1, 0};
  alone.insert(alone.end(), file.begin() + static_cast<std::ptrdiff_t>(entry), file.begin() + static_cast<std::ptrdiff_t>(entry + 12));
  Put32(alone, 22);
  const std::size_t end = std::min<std::size_t>(facts.image + facts.size, file.size());
  alone.insert(alone.end(), file.begin() + static_cast<std::ptrdiff_t>(facts.image), file.begin() + static_cast<std::ptrdiff_t>(end));
  return alone;
}

// The reference: ImageMagick's colours laid over white the way the reader composes, by alpha
// (PNG, and 32 bits with alpha) or by the mask (transparent pixels inverted); indexed images
// take the nearest entry of their table for a colour they lack. PNG images come through the
// PNG reader, which mixes in linear light for a 2.2 screen (those of the corpus carry no gamma
// of their own, so 0.45 is theirs).
test::RgbImage Composed(const Rgba& rgba, const EntryFacts& facts, const PackedDib& ours) {
  test::RgbImage out{rgba.width, rgba.height, {}};
  const auto table = ours.Colors();
  const auto linear = [](uint8_t v) { return std::lround(255 * std::pow(v / 255.0, 1 / 0.45)); };
  for (std::size_t i = 0; i < rgba.samples.size(); i += 4) {
    const uint8_t* s = &rgba.samples[i];
    uint8_t c[3] = {s[0], s[1], s[2]};
    if (facts.png && s[3] != 0 && s[3] != 255) {
      for (uint8_t& v : c) v = static_cast<uint8_t>(std::lround(255 * std::pow((linear(v) * s[3] + 255 * (255 - s[3]) + 127) / 255 / 255.0, 1 / 2.2)));
    } else if (facts.png || facts.alpha) {
      for (uint8_t& v : c) v = static_cast<uint8_t>((v * s[3] + 255 * (255 - s[3]) + 127) / 255);
    } else if (s[3] == 0) {
      for (uint8_t& v : c) v = static_cast<uint8_t>(255 - v);
      if (ours.BitCount() <= 8) {
        const auto distance = [&](const RgbQuad& e) {
          return (e.rgbRed - c[0]) * (e.rgbRed - c[0]) + (e.rgbGreen - c[1]) * (e.rgbGreen - c[1]) + (e.rgbBlue - c[2]) * (e.rgbBlue - c[2]);
        };
        const RgbQuad nearest = *std::ranges::min_element(table, {}, distance);
        c[0] = nearest.rgbRed, c[1] = nearest.rgbGreen, c[2] = nearest.rgbBlue;
      }
    }
    out.rgb.insert(out.rgb.end(), c, c + 3);
  }
  return out;
}

struct Conformance {
  int compared = 0;
  int matched = 0;
};

// Compares every image of an icon file (or the one frame of an animated cursor's icon, mode 2);
// `name` is the corpus path that the known differences give.
void CompareIcon(const std::string& name, const std::filesystem::path& file, std::span<const uint8_t> bytes, Conformance& counts,
                 int mode = 0) {
  const auto first = ReadIconImage(bytes, {.mode = mode, .png = ReadPngImage});
  const int images = mode == 0 ? first.imageCount : 1;
  for (int n = 1; n <= images; ++n) {
    SCOPED_TRACE("image " + std::to_string(n));
    const auto icon = ReadIconImage(bytes, {.imageNumber = n, .mode = mode, .png = ReadPngImage});
    const auto known = std::ranges::find_if(kKnownDifferences, [&](const auto& k) { return k.path == name && k.image == n; });
    if (known != std::end(kKnownDifferences)) {
      std::printf("known difference: %s image %d: %s\n", name.c_str(), n, known->reason);
      EXPECT_EQ(static_cast<bool>(icon.result.dib), known->read);
      EXPECT_EQ(icon.result.messages.empty(), known->read);
      continue;
    }
    ++counts.compared;
    auto reference = ImageMagickRgba(file, n - 1);
    if (!reference) {
      test::TempDir temp;
      test::WriteBytes(temp / "alone.ico", ImageAlone(bytes, n));
      reference = ImageMagickRgba(temp / "alone.ico", 0);
    }
    const EntryFacts facts = FactsOf(bytes, n);
    const bool same = icon.result.dib && reference &&
                      test::SameImage(test::DibToRgb(icon.result.dib), Composed(*reference, facts, icon.result.dib), facts.png ? 1 : 0);
    counts.matched += same;
    if (!same) ADD_FAILURE() << name << " image " << n << " differs from ImageMagick's";
  }
}

TEST(IconConformanceTest, ValidCorpusIconsAndCursorFramesMatchImageMagick) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "no corpus at " << test::CorpusDir();
  if (!test::HaveProgram("/usr/bin/convert")) GTEST_SKIP() << "ImageMagick is not installed";
  Conformance icons, frames;
  for (const auto& entry : test::CorpusManifest()) {
    if ((entry.format != "ICO" && entry.format != "CUR" && entry.format != "ANI") || entry.expected != "valid") continue;
    SCOPED_TRACE(entry.path);
    const auto file = test::CorpusDir() / entry.path;
    const auto bytes = test::ReadBytes(file);
    if (entry.format != "ANI") {
      CompareIcon(entry.path, file, bytes, icons);
      continue;
    }
    // Each frame's icon, as a file of its own, against the frame read from the animated cursor.
    const AnimatedCursor ani = ReadAnimatedCursor(bytes, ReadPngImage);
    ASSERT_TRUE(ani.result.dib);
    ASSERT_EQ(ani.tables.frames.size(), ani.tables.frameCount);
    std::size_t at = 0;
    for (const PackedDib& frame : ani.tables.frames) {
      const auto found = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end(), "icon", "icon" + 4);
      ASSERT_NE(found, bytes.end());
      const std::size_t start = static_cast<std::size_t>(found - bytes.begin()) + 8;
      const uint32_t size = bytes[start - 4] | bytes[start - 3] << 8 | bytes[start - 2] << 16 | uint32_t{bytes[start - 1]} << 24;
      test::TempDir temp;
      const auto alone = temp / "frame.ico";
      test::WriteBytes(alone, {bytes.begin() + static_cast<std::ptrdiff_t>(start),
                               bytes.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(start + size, bytes.size()))});
      const auto own = ReadIconImage(test::ReadBytes(alone), {.png = ReadPngImage});
      ASSERT_TRUE(own.result.dib);
      EXPECT_EQ(test::BytesOf(own.result.dib), test::BytesOf(frame));
      CompareIcon(entry.path, alone, test::ReadBytes(alone), frames, 2);
      at = start;
    }
  }
  std::printf("icon images matching ImageMagick: %d of %d; animated-cursor frames: %d of %d\n", icons.matched,
              icons.compared, frames.matched, frames.compared);
  EXPECT_GT(icons.compared, 90);
  EXPECT_GT(frames.compared, 60);
}

}  // namespace
}  // namespace ravelle
