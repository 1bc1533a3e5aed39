#include <gtest/gtest.h>

#include <QImage>

#include "support/shell_fixture.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

// A 100 x 50 image: its top half red, its bottom half blue.
void WriteHalves(const std::filesystem::path& file, int width, int height) {
  PackedDib dib = CreateDib(width, height, 24);
  for (int y = 0; y < height; ++y) {
    auto row = dib.Row(y);  // row 0 is the bottom row
    for (int x = 0; x < width; ++x) row[3 * x + (y < height / 2 ? 0 : 2)] = 255;
  }
  test::WriteBitmapFile(file, dib);
}

test::CommandResult Render(const std::string& arguments) {
  return test::RunCommand(test::Quote(RAVELLE_CLI) + " render " + arguments + " 2>/dev/null");
}

TEST(RenderTest, PaintsWhatTheViewerWouldPaintTheRightWayUp) {
  test::TempDir dir;
  WriteHalves(dir / "halves.bmp", 100, 50);
  const std::string out = (dir / "centred.png").string();
  ASSERT_EQ(Render(test::Quote((dir / "halves.bmp").string()) + " " + test::Quote(out) + " --size 50x50").status, 0);
  const QImage centred(QString::fromStdString(out));
  ASSERT_EQ(centred.size(), QSize(50, 50));
  // Shrunk to 45 x 22 at (2, 14).
  EXPECT_EQ(centred.pixelColor(1, 20), QColor(Qt::white));
  EXPECT_EQ(centred.pixelColor(2, 14), QColor(Qt::red));
  EXPECT_EQ(centred.pixelColor(46, 35), QColor(Qt::blue));
  EXPECT_EQ(centred.pixelColor(25, 36), QColor(Qt::white));

  const std::string tiled = (dir / "tiled.png").string();
  WriteHalves(dir / "small.bmp", 20, 10);
  ASSERT_EQ(Render(test::Quote((dir / "small.bmp").string()) + " " + test::Quote(tiled) + " --size 50x30 --tile").status, 0);
  const QImage tiles(QString::fromStdString(tiled));
  EXPECT_EQ(tiles.pixelColor(45, 21), QColor(Qt::red));
  EXPECT_EQ(tiles.pixelColor(45, 29), QColor(Qt::blue));
}

TEST(RenderTest, RefusesBadSizesAndLeavesNoFileBehind) {
  test::TempDir dir;
  WriteHalves(dir / "a.bmp", 8, 8);
  const std::string in = test::Quote((dir / "a.bmp").string());
  EXPECT_EQ(Render(in + " out.png --size 0x10").status, 2);
  EXPECT_EQ(Render(in + " out.png --size 20000x10").status, 2);
  EXPECT_EQ(Render(in + " out.png --size 10x10x").status, 2);
  EXPECT_EQ(Render(in + " out.png").status, 2);
  EXPECT_EQ(Render(in + " " + test::Quote((dir / "no" / "out.png").string()) + " --size 10x10").status, 1);
  test::WriteBytes(dir / "junk.bmp", {'B', 'M', 1, 2});
  EXPECT_EQ(Render(test::Quote((dir / "junk.bmp").string()) + " " + test::Quote((dir / "j.png").string()) + " --size 10x10").status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "j.png"));
}

}  // namespace
}  // namespace ravelle
