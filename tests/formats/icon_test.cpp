// The icon, cursor and animated-cursor reader on hand-built files: the layouts and damage the
// shared corpus lacks.

#include <gtest/gtest.h>

#include "formats/icon/icon_reader.h"
#include "formats/registry.h"
#include "image/format.h"
#include "support/animation_files.h"
#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using test::PixelAt;

using namespace test::icon;

IconImage Read(const std::vector<uint8_t>& bytes, IconRequest request = {}) { return ReadIconImage(bytes, request); }

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

// Which image is read, and its size where the directory and the image header disagree: the
// size is the one whose image the data holds.
TEST(IconReaderTest, ImageAndSizeWhereDirectoryAndHeaderDisagree) {
  // Three colours named by the header; index 3 lies past them.
  IconPicture fewColours{4, 4, 8, {{0, 0, 0, 0}, {10, 20, 30, 0}, {255, 255, 255, 0}}, true};
  fewColours.pixel = [](int x, int) { return static_cast<uint32_t>(x % 4); };
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
    int width, height;
    std::size_t colours;
  } cases[] = {
      {"own colour count", IconFile({fewColours}), {}, 4, 4, 3},
      {"directory too tall", patched(7, 32), {}, 16, 16, 16},
      {"directory too narrow", IconFile({narrow}), {}, 16, 16, 16},
      {"header height not doubled", patched(22 + 8, 16), {}, 16, 16, 16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto icon = Read(c.file, c.request);
    const PackedDib& dib = icon.result.dib;
    ASSERT_TRUE(dib);
    EXPECT_EQ(dib.Width(), c.width);
    EXPECT_EQ(dib.Height(), c.height);
    EXPECT_EQ(dib.Colors().size(), c.colours);
    ASSERT_TRUE(icon.result.frame);
    EXPECT_EQ(icon.result.frame->width, dib.Width());
  }
  const auto few = Read(IconFile({fewColours}));
  EXPECT_EQ(PixelAt(few.result.dib, 1, 0), 1u);
  EXPECT_EQ(PixelAt(few.result.dib, 3, 0), 0u);  // past the table: black, its nearest entry
}

TEST(IconReaderTest, DamagedFilesFailWithTheReadError) {
  const auto good = IconFile({Checkered(16, 4)});
  auto depth = good;
  depth[6 + 16 + 14] = 2;  // 2 bits per pixel
  auto offset = good;
  offset[6 + 13] = 0xF0;
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
      {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 6), {}, ReadStatus::Damaged},
      {"cut in the image header", std::vector<uint8_t>(good.begin(), good.begin() + 22 + 20), {}, ReadStatus::Damaged},
      {"no mask", std::vector<uint8_t>(good.begin(), good.end() - 64), {}, ReadStatus::Damaged},
      {"2 bits per pixel", depth, {}, ReadStatus::Unsupported},
      {"offset past the end", offset, {}, ReadStatus::Damaged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto icon = Read(c.file, c.request);
    EXPECT_FALSE(icon.result.dib);
    EXPECT_EQ(icon.result.status, c.status);
    ASSERT_EQ(icon.result.messages.size(), 1u);
    EXPECT_EQ(icon.result.messages[0], (Message{"Error Reading Icon File", "", kMbIconHand}));
  }
  // A file cut inside its mask keeps what was read.
  const auto cut = Read(std::vector<uint8_t>(good.begin(), good.end() - 10));
  EXPECT_TRUE(cut.result.dib);
  EXPECT_EQ(cut.result.status, ReadStatus::Truncated);
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
      // A rate before the header is scanned over like any unknown bytes.
      {"rate before anih", {{"rate", Dwords({1, 2})}, {"anih", Anih(2, 2)}, {"fram", Frames(2)}}, {{0, 10}, {1, 10}}, 2, 2},
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

}  // namespace
}  // namespace ravelle
