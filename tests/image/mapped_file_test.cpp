#include "image/mapped_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "formats/dib/dib_reader.h"
#include "formats/registry.h"
#include "image/byte_reader.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

// What a reader makes of a file given its bytes read into memory and given them mapped.
void ExpectSameImage(const std::filesystem::path& file, const TypeReader& reader, std::size_t start) {
  const std::vector<uint8_t> bytes = test::ReadBytes(file);
  const auto mapped = MappedFile::Open(file.string(), kMaxFileBytes);
  ASSERT_NE(mapped, nullptr) << file;
  const std::string path = file.string();
  const ReadResult read = reader.read({bytes, path, 24, start});
  const ReadResult fromMap = reader.read({mapped->Bytes(), path, 24, start});
  EXPECT_EQ(read.status, fromMap.status) << file;
  EXPECT_EQ(read.infoText, fromMap.infoText) << file;
  ASSERT_EQ(static_cast<bool>(read.dib), static_cast<bool>(fromMap.dib)) << file;
  if (read.dib) EXPECT_TRUE(std::ranges::equal(read.dib.Bytes(), fromMap.dib.Bytes())) << file;
  // The pages let go during the copy are read back as they were.
  EXPECT_TRUE(std::ranges::equal(bytes, mapped->Bytes())) << file;
}

TEST(MappedFileTest, LargeBitmapsReadTheSameMappedAsInMemory) {
  test::TempDir temp;
  // Several megabytes, so that the rows are copied and let go in pieces; odd widths pad the rows.
  struct Case { int width, height, bits; };
  for (const Case c : {Case{1531, 700, 24}, Case{1201, 1500, 8}, Case{999, 1030, 32}}) {
    const auto file = temp / ("big" + std::to_string(c.bits) + ".bmp");
    test::WriteBitmapFile(file, test::DrawDib(c.width, c.height, c.bits));
    ExpectSameImage(file, *FindReader(FileType::WindowsBitmap), 0);
  }
}

TEST(MappedFileTest, EmptyAndMissingFiles) {
  test::TempDir temp;
  test::WriteBytes(temp / "empty", {});
  const auto empty = MappedFile::Open((temp / "empty").string(), kMaxFileBytes);
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(empty->Bytes().empty());
  EXPECT_EQ(MappedFile::Open((temp / "missing").string(), kMaxFileBytes), nullptr);
  EXPECT_EQ(MappedFile::Open(temp.path().string(), kMaxFileBytes), nullptr);  // a folder
  // Only the first `limit` bytes are taken.
  test::WriteBytes(temp / "ten", std::vector<uint8_t>(10, 7));
  EXPECT_EQ(MappedFile::Open((temp / "ten").string(), 4)->Bytes().size(), 4u);
}

TEST(MappedFileTest, ReleasingOrdinaryMemoryKeepsIt) {
  std::vector<uint8_t> memory(8 << 20, 0x5A);
  ReleaseRead(memory);
  std::vector<uint8_t> copy(memory.size());
  CopyReleasing(copy, memory);
  EXPECT_TRUE(std::ranges::all_of(memory, [](uint8_t b) { return b == 0x5A; }));
  EXPECT_EQ(copy, memory);
}

// Every corpus file of a type read from memory decodes the same mapped.
TEST(MappedFileTest, CorpusFilesReadTheSameMappedAsInMemory) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "no corpus";
  int compared = 0;
  for (const test::CorpusEntry& entry : test::CorpusManifest()) {
    const auto file = test::CorpusDir() / entry.path;
    const std::vector<uint8_t> bytes = test::ReadBytes(file);
    const std::vector<uint8_t> head(bytes.begin(), bytes.begin() + std::min(bytes.size(), kTypeProbeBytes));
    const std::string name = file.filename().string();
    const std::size_t dot = name.find_last_of('.');
    const TypeDecision decision = DecideFileType(head, dot == std::string::npos ? "" : name.substr(dot + 1, 3));
    const TypeReader* reader = FindReader(decision.type);
    if (reader == nullptr || reader->read == nullptr || !reader->wholeFile) continue;
    ExpectSameImage(file, *reader, decision.start);
    ++compared;
  }
  EXPECT_GT(compared, 300);
}

}  // namespace
}  // namespace ravelle
