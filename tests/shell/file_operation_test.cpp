#include "shell/file_operation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/test_support.h"

namespace ravelle {
namespace {

namespace fs = std::filesystem;

TEST(FileOperationTest, MovesNeverReplaceAndCopiesReplaceOnlyWhenComplete) {
  test::TempDir dir;
  test::WriteBytes(dir / "a", {1, 2, 3});
  test::WriteBytes(dir / "b", {9});
  EXPECT_FALSE(MoveFileNoReplace(dir / "a", dir / "b"));
  EXPECT_EQ(test::ReadBytes(dir / "b"), (std::vector<uint8_t>{9}));
  EXPECT_FALSE(MoveFileNoReplace(dir / "missing", dir / "c"));
  EXPECT_FALSE(MoveFileNoReplace(dir / "a", dir / "no-such-folder" / "c"));
  EXPECT_TRUE(MoveFileNoReplace(dir / "a", dir / "c"));
  EXPECT_FALSE(fs::exists(dir / "a"));

  EXPECT_TRUE(CopyFileReplacing(dir / "c", dir / "b"));
  EXPECT_EQ(test::ReadBytes(dir / "b"), (std::vector<uint8_t>{1, 2, 3}));
  fs::create_directory(dir / "folder");
  EXPECT_FALSE(CopyFileReplacing(dir / "folder", dir / "b"));  // not a file: the target stays
  EXPECT_EQ(test::ReadBytes(dir / "b"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);  // no leftovers
}

TEST(FileOperationTest, MovesAcrossFileSystemsCopyAndKeepTheMode) {
  test::TempDir dir;
  const fs::path other = "/dev/shm";
  struct stat a {}, b {};
  if (::stat(dir.path().c_str(), &a) != 0 || ::stat(other.c_str(), &b) != 0 || a.st_dev == b.st_dev) {
    GTEST_SKIP() << "no second file system at hand";
  }
  test::WriteBytes(dir / "x", {4, 5});
  ::chmod((dir / "x").c_str(), 0640);
  const fs::path target = other / ("ravelle-move-" + dir.path().filename().string());
  ASSERT_TRUE(MoveFileNoReplace(dir / "x", target));
  EXPECT_FALSE(fs::exists(dir / "x"));
  struct stat moved {};
  ASSERT_EQ(::stat(target.c_str(), &moved), 0);
  EXPECT_EQ(moved.st_mode & 0777, 0640u);
  EXPECT_EQ(test::ReadBytes(target), (std::vector<uint8_t>{4, 5}));
  fs::remove(target);
}

}  // namespace
}  // namespace ravelle
