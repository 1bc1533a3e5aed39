// ravelle-cli print against a real CUPS queue of its own: the job comes out as a PDF, which is
// rendered back and compared with what was printed, pixel by pixel.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "formats/metafile/metafile_builder.h"
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
struct Rgb8 {
  uint8_t r, g, b;
  friend bool operator==(const Rgb8&, const Rgb8&) = default;
};
constexpr Rgb8 kQuadrants[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};

PackedDib Quadrants() {
  PackedDib dib = CreateDib(32, 20, 24);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 32; ++x) {
      const Rgb8 c = kQuadrants[(y >= 10) * 2 + (x >= 16)];
      test::SetPixel(dib, x, y, test::Rgb(c.r, c.g, c.b));
    }
  }
  return dib;
}

// What ravelle-cli print said of the page.
struct PrintedPage {
  Size area;
  Point offset;  // of the printable area on the paper
  int dpi = 0;
};

class PrintQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = test::PrivateCups::Missing();
    if (!missing.empty()) GTEST_SKIP() << "CUPS or poppler is not installed (no " << missing << ")";
    ASSERT_TRUE(cups.Start(dir / "cups")) << cups.error;
    ASSERT_TRUE(cups.AddPdfQueue("pdf", out)) << cups.error;
    test::WriteBitmapFile(dir / "quadrants.bmp", Quadrants());
  }

  // Prints and waits for the job; the PDF is kept as `name`.pdf.
  PrintedPage Print(const std::string& file, const std::string& options, const std::string& name) {
    PrintedPage page;
    const auto result = RunCommand(std::string(RAVELLE_CLI) + " print " + Quote(file) + " --printer pdf " + options);
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(std::sscanf(result.out.c_str() + result.out.find("printable area"),
                          "printable area %dx%d at (%d, %d) of the paper, %d dpi", &page.area.width, &page.area.height,
                          &page.offset.x, &page.offset.y, &page.dpi),
              5)
        << result.out;
    EXPECT_TRUE(cups.WaitIdle("pdf")) << cups.error;
    EXPECT_TRUE(fs::exists(out)) << cups.PageLog();
    if (fs::exists(out)) fs::copy_file(out, dir / (name + ".pdf"), fs::copy_options::overwrite_existing);
    return page;
  }
  std::string Info(const std::string& name) {
    return RunCommand("pdfinfo " + Quote((dir / (name + ".pdf")).string()) + " 2>/dev/null").out;
  }
  test::RgbImage Render(const std::string& name) {
    const auto ppm = RunCommand("pdftoppm -r " + std::to_string(kRenderDpi) + " -singlefile " +
                                Quote((dir / (name + ".pdf")).string()) + " 2>/dev/null");
    const auto image = test::ParsePpm(ppm.out);
    EXPECT_TRUE(image.has_value());
    return image.value_or(test::RgbImage{});
  }
  // A device pixel of the printer as a pixel of the rendering.
  static int ToRender(int device, int offset, int dpi) {
    return static_cast<int>((static_cast<int64_t>(device) + offset) * kRenderDpi / dpi);
  }
  static Rgb8 At(const test::RgbImage& image, int x, int y) {
    const std::size_t i = (static_cast<std::size_t>(y) * image.width + x) * 3;
    return {image.rgb[i], image.rgb[i + 1], image.rgb[i + 2]};
  }
  // The smallest rectangle holding every pixel that is not white.
  static Rect InkBox(const test::RgbImage& image) {
    int left = image.width, top = image.height, right = -1, bottom = -1;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        if (At(image, x, y) == Rgb8{255, 255, 255}) continue;
        left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
      }
    }
    return right < 0 ? Rect{} : Rect{left, top, right - left + 1, bottom - top + 1};
  }

  test::TempDir dir;
  fs::path out = dir / "cups/out/job.pdf";
  test::PrivateCups cups;
};

TEST_F(PrintQueueTest, EachModePrintsOnePageWithTheImageWhereTheLayoutPutsIt) {
  struct Case {
    const char* options;
    PrintMode mode;
    std::size_t copies;  // at least
  } cases[] = {{"", {}, 1}, {"--large", {true, false}, 1}, {"--tiled", {false, true}, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string name = std::string("mode") + c.options;
    const PrintedPage page = Print((dir / "quadrants.bmp").string(), c.options, name);
    ASSERT_GT(page.dpi, 0);
    const std::string info = Info(name);
    EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Title:           Bitmap\n"), std::string::npos) << info;
    const PrintPlacement placement = PrintBitmapLayout(page.area, {32, 20}, c.mode);
    ASSERT_GE(placement.copies.size(), c.copies);

    const test::RgbImage rendered = Render(name);
    ASSERT_GT(rendered.width, 0);
    // Every copy holds the four quadrants, in their colours exactly (the image is stored without
    // loss and not smoothed).
    for (const Rect& copy : placement.copies) {
      for (int q = 0; q < 4; ++q) {
        const int x = ToRender(copy.left + copy.width * (1 + 2 * (q % 2)) / 4, page.offset.x, page.dpi);
        const int y = ToRender(copy.top + copy.height * (1 + 2 * (q / 2)) / 4, page.offset.y, page.dpi);
        ASSERT_EQ(At(rendered, x, y), kQuadrants[q]) << "copy at " << copy.left << "," << copy.top << " quadrant " << q;
      }
    }
    // Nothing else is drawn: the ink covers the copies' block, to a pixel of the rendering.
    const Rect& first = placement.copies.front();
    const Rect& last = placement.copies.back();
    const Rect ink = InkBox(rendered);
    EXPECT_NEAR(ink.left, ToRender(first.left, page.offset.x, page.dpi), 1);
    EXPECT_NEAR(ink.top, ToRender(first.top, page.offset.y, page.dpi), 1);
    EXPECT_NEAR(ink.left + ink.width, ToRender(last.left + last.width, page.offset.x, page.dpi), 1);
    EXPECT_NEAR(ink.top + ink.height, ToRender(last.top + last.height, page.offset.y, page.dpi), 1);
  }
  // One job per print, each with its document name.
  const std::string log = cups.PageLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3) << log;
  EXPECT_NE(log.find(" Bitmap "), std::string::npos) << log;
}

TEST_F(PrintQueueTest, MetafilesCopiesAndMissingPrinters) {
  test::EmfBuilder emf;
  test::WriteBytes(dir / "picture.emf", emf.Bytes());
  Print((dir / "picture.emf").string(), "--copies 2", "emf");
  EXPECT_NE(Info("emf").find("Title:           MetaFile\n"), std::string::npos) << Info("emf");
  EXPECT_NE(cups.PageLog().find("pdf 1 root total 2 MetaFile"), std::string::npos) << cups.PageLog();

  const auto none = RunCommand(std::string(RAVELLE_CLI) + " print " + Quote((dir / "quadrants.bmp").string()) +
                               " --printer no-such-queue 2>&1");
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.out.find("no printer named 'no-such-queue'"), std::string::npos) << none.out;
  const auto usage = RunCommand(std::string(RAVELLE_CLI) + " print x.bmp --large --tiled 2>&1");
  EXPECT_EQ(usage.status, 2) << usage.out;
}

}  // namespace
}  // namespace ravelle
