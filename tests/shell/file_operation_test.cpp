#include "shell/file_operation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/test_support.h"

namespace ravelle {
namespace {

namespace fs = std::filesystem;

// A move onto another file system copies, keeping the mode, and removes the source.
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
