#include "formats/registry.h"

#include <gtest/gtest.h>

#include "resources/command_ids.h"
#include "resources/menu.h"
#include "support/test_images.h"
#include "support/test_support.h"

#include <set>
#include <functional>
#include <string>

namespace ravelle {
namespace {

// A probe of the file's first bytes, with `more` placed at their offsets.
std::vector<uint8_t> Head(std::initializer_list<uint8_t> start, std::initializer_list<std::pair<int, uint8_t>> more = {}) {
  std::vector<uint8_t> head(start);
  head.resize(kTypeProbeBytes, 0);
  for (const auto& [at, value] : more) head[at] = value;
  return head;
}

std::vector<uint8_t> BitmapHead(uint8_t headerSize) { return Head({'B', 'M'}, {{14, headerSize}}); }

TEST(FileTypeTest, TheRulesDecideInOrder) {
  struct Case {
    std::vector<uint8_t> head;
    const char* extension;
    FileType type;
    ImageKind kind;
  };
  const auto array = Head({'B', 'A'}, {{14, 'B'}, {15, 'M'}, {28, 12}});
  const Case cases[] = {
      {BitmapHead(40), "bmp", FileType::WindowsBitmap, ImageKind::Bitmap},
      {BitmapHead(12), "bmp", FileType::Os2Bitmap, ImageKind::Bitmap},
      {BitmapHead(64), "bmp", FileType::Os2v2Bitmap, ImageKind::Bitmap},
      {BitmapHead(66), "bmp", FileType::OtherBitmapHeader, ImageKind::Bitmap},
      {array, "bmp", FileType::Os2Bitmap, ImageKind::Bitmap},
      {Head({'G', 'I', 'F', '8'}), "", FileType::Gif, ImageKind::Bitmap},
      {Head({0xFF, 0xD8, 0xFF}), "txt", FileType::Jpeg, ImageKind::Bitmap},
      {Head({0x0A, 0}), "", FileType::Pcx, ImageKind::Bitmap},
      {Head({0x0A, 1}), "", FileType::Unknown, ImageKind::NoImage},
      {Head({0x0A, 6}), "", FileType::Unknown, ImageKind::NoImage},
      {Head({'I', 'I', 42, 0}), "", FileType::Tiff, ImageKind::Bitmap},
      {Head({0x89, 'P', 'N', 'G'}), "", FileType::Png, ImageKind::Bitmap},
      {Head({'F', 'O', 'R', 'M'}), "", FileType::Iff, ImageKind::Bitmap},
      {Head({'R', 'I', 'F', 'F'}), "", FileType::AnimatedCursor, ImageKind::AnimatedCursor},
      {Head({'R', 'I', 'F', 'F', 9, 9, 0, 0, 'W', 'E', 'B', 'P'}), "ani", FileType::Webp, ImageKind::Bitmap},
      {Head({'R', 'I', 'F', 'F', 9, 9, 0, 0, 'W', 'E', 'B', 'Q'}), "", FileType::AnimatedCursor, ImageKind::AnimatedCursor},
      {Head({0xFF, 0x0A}), "", FileType::Jxl, ImageKind::Bitmap},
      {Head({0, 0, 0, 12, 'J', 'X', 'L', ' ', 13, 10, 0x87, 10}), "tga", FileType::Targa, ImageKind::Bitmap},
      {Head({0, 0, 0, 12, 'J', 'X', 'L', ' ', 13, 10, 0x87, 10}), "", FileType::Jxl, ImageKind::Bitmap},
      {Head({0, 0, 0, 12, 'J', 'X', 'L', ' ', 13, 10, 0x87, 11}), "", FileType::Unknown, ImageKind::NoImage},
      {Head({0, 0, 0, 20, 'f', 't', 'y', 'p', 'a', 'v', 'i', 's'}), "", FileType::Avif, ImageKind::Bitmap},
      {Head({0, 0, 0, 24, 'f', 't', 'y', 'p', 'm', 'i', 'f', '1', 0, 0, 0, 0, 'm', 'i', 'f', '1', 'a', 'v', 'i', 'f'}), "heic",
       FileType::Avif, ImageKind::Bitmap},
      {Head({0, 0, 0, 16, 'f', 't', 'y', 'p', 'm', 'i', 'f', '1', 0, 0, 0, 0, 'a', 'v', 'i', 'f'}), "", FileType::Heif,
       ImageKind::Bitmap},  // the brand past the box's end
      {Head({0, 0, 0, 20, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c'}), "avif", FileType::Heif, ImageKind::Bitmap},
      {Head({0, 0, 0, 20, 'f', 't', 'y', 'p', 'm', 'p', '4', '2'}), "", FileType::Unknown, ImageKind::NoImage},
      {Head({0, 0, 1, 0}), "ICO", FileType::Icon, ImageKind::Bitmap},
      {Head({0, 0, 2, 0}), "cur", FileType::Icon, ImageKind::Bitmap},
      {Head({0, 0, 1, 0}), "bmp", FileType::Unknown, ImageKind::NoImage},
      {Head({'/', '*'}), "ico", FileType::SunIcon, ImageKind::Bitmap},
      {Head({'/', '*'}), "txt", FileType::Unknown, ImageKind::NoImage},
      {Head({0xD7, 0xCD, 0xC6, 0x9A}), "", FileType::PlaceableMetafile, ImageKind::WindowsMetafile},
      {Head({1, 0, 9, 0}), "WMF", FileType::WindowsMetafile, ImageKind::WindowsMetafile},
      {Head({1, 0, 0, 0}), "emf", FileType::EnhancedMetafile, ImageKind::EnhancedMetafile},
      {Head({0, 0, 2, 0}), "tga", FileType::Targa, ImageKind::Bitmap},
      {Head({}, {{128, 'G'}, {129, 'I'}}), "", FileType::MacBinaryGif, ImageKind::Bitmap},
      {Head({}, {{128, 'M'}, {129, 'M'}}), "", FileType::MacBinaryTiff, ImageKind::Bitmap},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.extension) + " " + std::to_string(c.head[0]) + " " + std::to_string(c.head[1]));
    const TypeDecision decision = DecideFileType(c.head, c.extension);
    EXPECT_EQ(decision.type, c.type);
    EXPECT_EQ(decision.kind, c.kind);
  }
  EXPECT_EQ(DecideFileType(array, "").start, 14u);
  // A file shorter than ten bytes is taken as padded with zeros.
  const std::vector<uint8_t> tiny = {'B', 'M'};
  EXPECT_EQ(DecideFileType(tiny, "").type, FileType::OtherBitmapHeader);
  EXPECT_EQ(DecideFileType({}, "").type, FileType::Unknown);
}

TEST(RegistryTest, RulesAreNumberedOnceAndTheImagesRowListsEveryFormatsPatterns) {
  const auto addPatterns = [](std::string_view list, std::set<std::string_view>& to) {
    while (!list.empty()) {
      const std::size_t end = list.find(';');
      to.insert(list.substr(0, end));
      list = end == std::string_view::npos ? std::string_view{} : list.substr(end + 1);
    }
  };
  std::set<int> orders;
  std::set<std::string_view> patterns;
  for (const FormatRow& row : Formats()) {
    for (const TypeRule& rule : row.rules) EXPECT_TRUE(orders.insert(rule.order).second) << rule.order;
    addPatterns(row.filterPatterns, patterns);
  }
  std::set<std::string_view> images;
  addPatterns(kImagesPatterns, images);
  EXPECT_EQ(images, patterns);
}

TEST(RegistryTest, TheMenuHoldsEveryCommandIdAndEveryWriterAndNothingElse) {
  std::multiset<int> inMenu;
  const std::function<void(const MenuItem&)> collect = [&](const MenuItem& item) {
    if (item.id != 0) inMenu.insert(item.id);
    for (const MenuItem& child : item.items) collect(child);
  };
  collect(ViewerMenuResource());
  std::multiset<int> known;
  for (const CommandId command : kCommandIds) known.insert(IdOf(command));
  for (const FormatRow& row : Formats()) {
    for (const WriterVariant& writer : row.writers) known.insert(writer.commandId);
  }
  EXPECT_EQ(inMenu, known);
}

// Pixels whose index lies past the colour table are shown black; every writer that takes the
// image writes them as it writes the same image with a full table whose added entries are black.
// Shown for 1-, 4- and 8-bit images with tables too short for the depth's first bit, or its
// first two.
TEST(RegistryTest, EveryWriterWritesIndicesPastTheTableAsTheyAreShown) {
  // The image with the given table, and the same with the table filled up with black.
  const auto images = [](int bits, const std::vector<RgbQuad>& table, const std::vector<uint32_t>& values) {
    std::pair<PackedDib, PackedDib> pair{CreateDib(4, 2, bits, static_cast<uint32_t>(table.size())), CreateDib(4, 2, bits)};
    for (PackedDib* dib : {&pair.first, &pair.second}) {
      for (int i = 0; i < 8; ++i) test::SetPixel(*dib, i % 4, i / 4, values[static_cast<std::size_t>(i)]);
      std::ranges::copy(table, dib->Colors().begin());
    }
    return pair;
  };
  const RgbQuad red{0, 0, 255, 0}, green{0, 255, 0, 0}, blue{255, 0, 0, 0};
  const std::pair<PackedDib, PackedDib> cases[] = {
      images(8, {red, green, blue}, {0, 1, 2, 200, 2, 1, 0, 3}),
      images(4, {red, green, blue}, {0, 1, 2, 9, 15, 2, 1, 0}),
      images(4, {red, green, blue, red, green}, {0, 1, 2, 3, 4, 5, 15, 0}),
      images(1, {red}, {0, 1, 1, 0, 1, 0, 0, 1}),
  };
  test::TempDir temp;
  for (const FormatRow& row : Formats()) {
    for (const WriterVariant& writer : row.writers) {
      if (writer.write == nullptr) continue;
      const auto file = temp / ("out." + std::string(row.extension));
      const auto readBack = [&]() -> std::optional<test::RgbImage> {
        const auto bytes = test::ReadBytes(file);
        const TypeDecision decision = DecideFileType(bytes, row.extension);
        const TypeReader* reader = FindReader(decision.type);
        if (reader == nullptr || reader->read == nullptr) return std::nullopt;
        const std::string path = file.string();
        const ReadResult back = reader->read({reader->wholeFile ? std::span<const uint8_t>(bytes) : std::span<const uint8_t>(), path, 24, decision.start});
        if (!back.dib) return std::nullopt;
        return test::DibToRgb(back.dib);
      };
      for (const auto& [dib, filled] : cases) {
        SCOPED_TRACE(testing::Message() << writer.cliName << ", " << dib.BitCount() << " bits, " << dib.Colors().size() << " colours");
        // A writer that takes the depth (the fax codings take only 1 bit) takes the short table too.
        if (writer.write(filled, file) != WriteOutcome::Written) continue;
        const auto expected = readBack();
        ASSERT_TRUE(expected);
        ASSERT_EQ(writer.write(dib, file), WriteOutcome::Written);
        EXPECT_EQ(readBack(), expected);
      }
    }
  }
}

}  // namespace
}  // namespace ravelle
