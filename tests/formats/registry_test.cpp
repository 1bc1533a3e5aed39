#include "formats/registry.h"

#include <gtest/gtest.h>

#include "resources/command_ids.h"
#include "resources/menu.h"

#include <set>
#include <functional>
#include <string>

namespace ravelle {
namespace {

std::vector<uint8_t> Head(std::initializer_list<uint8_t> start) {
  std::vector<uint8_t> head(start);
  head.resize(kTypeProbeBytes, 0);
  return head;
}

std::vector<uint8_t> BitmapHead(uint8_t headerSize) {
  auto head = Head({'B', 'M'});
  head[14] = headerSize;
  return head;
}

TEST(FileTypeTest, TheRulesDecideInOrder) {
  struct Case {
    std::vector<uint8_t> head;
    const char* extension;
    FileType type;
    ImageKind kind;
  };
  auto macGif = Head({});
  macGif[128] = 'G';
  macGif[129] = 'I';
  auto macTiff = Head({});
  macTiff[128] = 'M';
  macTiff[129] = 'M';
  auto array = Head({'B', 'A'});
  array[14] = 'B';
  array[15] = 'M';
  array[28] = 12;
  const Case cases[] = {
      {BitmapHead(40), "bmp", FileType::WindowsBitmap, ImageKind::Bitmap},
      {BitmapHead(12), "bmp", FileType::Os2Bitmap, ImageKind::Bitmap},
      {BitmapHead(64), "bmp", FileType::Os2v2Bitmap, ImageKind::Bitmap},
      {BitmapHead(108), "bmp", FileType::WindowsBitmap, ImageKind::Bitmap},
      {BitmapHead(124), "bmp", FileType::WindowsBitmap, ImageKind::Bitmap},
      {BitmapHead(66), "bmp", FileType::OtherBitmapHeader, ImageKind::Bitmap},
      {array, "bmp", FileType::Os2Bitmap, ImageKind::Bitmap},
      {Head({'G', 'I', 'F', '8'}), "", FileType::Gif, ImageKind::Bitmap},
      {Head({0xFF, 0xD8, 0xFF}), "txt", FileType::Jpeg, ImageKind::Bitmap},
      {Head({0x0A, 5, 1}), "", FileType::Pcx, ImageKind::Bitmap},
      {Head({0x0A, 0}), "", FileType::Pcx, ImageKind::Bitmap},
      {Head({0x0A, 1}), "", FileType::Unknown, ImageKind::NoImage},
      {Head({0x0A, 2}), "", FileType::Pcx, ImageKind::Bitmap},
      {Head({0x0A, 6}), "", FileType::Unknown, ImageKind::NoImage},
      {Head({'I', 'I', 42, 0}), "", FileType::Tiff, ImageKind::Bitmap},
      {Head({'M', 'M', 0, 42}), "", FileType::Tiff, ImageKind::Bitmap},
      {Head({0x89, 'P', 'N', 'G'}), "", FileType::Png, ImageKind::Bitmap},
      {Head({'F', 'O', 'R', 'M'}), "", FileType::Iff, ImageKind::Bitmap},
      {Head({'R', 'I', 'F', 'F'}), "", FileType::AnimatedCursor, ImageKind::AnimatedCursor},
      {Head({0, 0, 1, 0}), "ICO", FileType::Icon, ImageKind::Bitmap},
      {Head({0, 0, 2, 0}), "cur", FileType::Icon, ImageKind::Bitmap},
      {Head({0, 0, 1, 0}), "icn", FileType::Icon, ImageKind::Bitmap},
      {Head({0, 0, 1, 0}), "bmp", FileType::Unknown, ImageKind::NoImage},
      {Head({'/', '*'}), "ico", FileType::SunIcon, ImageKind::Bitmap},
      {Head({'/', '*'}), "pr", FileType::SunIcon, ImageKind::Bitmap},
      {Head({'/', '*'}), "cur", FileType::SunIcon, ImageKind::Bitmap},  // .cursor
      {Head({'/', '*'}), "txt", FileType::Unknown, ImageKind::NoImage},
      {Head({0xD7, 0xCD, 0xC6, 0x9A}), "", FileType::PlaceableMetafile, ImageKind::WindowsMetafile},
      {Head({1, 0, 9, 0}), "WMF", FileType::WindowsMetafile, ImageKind::WindowsMetafile},
      {Head({1, 0, 0, 0}), "emf", FileType::EnhancedMetafile, ImageKind::EnhancedMetafile},
      {Head({0, 0, 2, 0}), "tga", FileType::Targa, ImageKind::Bitmap},
      {Head({0, 0, 2, 0}), "dat", FileType::Unknown, ImageKind::NoImage},
      {macGif, "", FileType::MacBinaryGif, ImageKind::Bitmap},
      {macTiff, "", FileType::MacBinaryTiff, ImageKind::Bitmap},
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
  EXPECT_EQ(orders.size(), 17u);
  EXPECT_EQ(*orders.rbegin(), 17);
  std::set<std::string_view> images;
  addPatterns(kImagesPatterns, images);
  EXPECT_EQ(images, patterns);
}

TEST(RegistryTest, EachWriterIsFoundByItsNameAndItsCommandInItsFormatsRow) {
  for (const FormatRow& row : Formats()) {
    for (const WriterVariant& writer : row.writers) {
      EXPECT_EQ(FindWriterByName(writer.cliName), &writer);
      EXPECT_EQ(FindWriterByCommand(writer.commandId), &writer);
      EXPECT_EQ(FindFormatByCode(writer.formatCode), &row);
    }
  }
  EXPECT_EQ(FindWriterByName("doc"), nullptr);
  EXPECT_EQ(FindWriterByCommand(0), nullptr);
  EXPECT_EQ(FindReader(FileType::Unknown), nullptr);
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

}  // namespace
}  // namespace ravelle
