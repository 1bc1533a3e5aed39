// ravelle-cli print against a real CUPS queue of its own: the job comes out as a PDF, which is
// rendered back and compared with what was printed, pixel by pixel.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/private_cups.h"
#include "support/test_images.h"
#include "support/test_support.h"
#include "view/print_layout.h"

namespace ravelle {
namespace {

namespace fs = std::filesystem;
using test::Quote;
using test::RunCommand;

constexpr int kRenderDpi = 150;  // what the PDF page is rendered back at
// Four quadrants of 16 x 10: red, green (top); blue, yellow (bottom).
constexpr uint32_t kQuadrants[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};

TEST(PrintQueueTest, EachModePrintsOnePageWithTheImageWhereTheLayoutPutsIt) {
  const std::string missing = test::PrivateCups::Missing();
  if (!missing.empty()) GTEST_SKIP() << "CUPS or poppler is not installed (no " << missing << ")";
  test::TempDir dir;
  const fs::path out = dir / "cups/out/job.pdf";
  test::PrivateCups cups;
  ASSERT_TRUE(cups.Start(dir / "cups")) << cups.error;
  ASSERT_TRUE(cups.AddPdfQueue("pdf", out)) << cups.error;
  PackedDib quadrants = CreateDib(32, 20, 24);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 32; ++x) test::SetPixel(quadrants, x, y, kQuadrants[(y >= 10) * 2 + (x >= 16)]);
  }
  test::WriteBitmapFile(dir / "quadrants.bmp", quadrants);

  struct Case {
    const char* options;
    PrintMode mode;
    std::size_t copies;  // at least
  } cases[] = {{"", {}, 1}, {"--large", {true, false}, 1}, {"--tiled", {false, true}, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const auto result = RunCommand(std::string(RAVELLE_CLI) + " print " + Quote((dir / "quadrants.bmp").string()) +
                                   " --printer pdf " + c.options);
    ASSERT_EQ(result.status, 0) << result.out;
    Size area;
    Point offset;  // of the printable area on the paper
    int dpi = 0;
    ASSERT_EQ(std::sscanf(result.out.c_str() + result.out.find("printable area"), "printable area %dx%d at (%d, %d) of the paper, %d dpi",
                          &area.width, &area.height, &offset.x, &offset.y, &dpi), 5) << result.out;
    ASSERT_GT(dpi, 0);
    ASSERT_TRUE(cups.WaitIdle("pdf")) << cups.error;
    const std::string info = RunCommand("pdfinfo " + Quote(out.string()) + " 2>/dev/null").out;
    EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
    const auto rendered =
        test::ParsePpm(RunCommand("pdftoppm -r " + std::to_string(kRenderDpi) + " -singlefile " + Quote(out.string()) + " 2>/dev/null").out);
    ASSERT_TRUE(rendered);
    const PrintPlacement placement = PrintBitmapLayout(area, {32, 20}, c.mode);
    ASSERT_GE(placement.copies.size(), c.copies);
    // Every copy holds the four quadrants in their colours exactly (stored without loss, not smoothed).
    const auto toRender = [&](int device, int at) { return static_cast<int>((int64_t{device} + at) * kRenderDpi / dpi); };
    for (const Rect& copy : placement.copies) {
      for (int q = 0; q < 4; ++q) {
        const int x = toRender(copy.left + copy.width * (1 + 2 * (q % 2)) / 4, offset.x);
        const int y = toRender(copy.top + copy.height * (1 + 2 * (q / 2)) / 4, offset.y);
        const uint8_t* p = &rendered->rgb[(static_cast<std::size_t>(y) * rendered->width + x) * 3];
        ASSERT_EQ(test::Rgb(p[0], p[1], p[2]), kQuadrants[q]) << "copy at " << copy.left << "," << copy.top << " quadrant " << q;
      }
    }
  }
  // One job per print, each with its document name.
  const std::string log = cups.PageLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3) << log;
  EXPECT_NE(log.find(" Bitmap "), std::string::npos) << log;
}

}  // namespace
}  // namespace ravelle
