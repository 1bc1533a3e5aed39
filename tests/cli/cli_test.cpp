// ravelle-cli's interface is relied on by scripts: its output, its exit status and its refusals,
// the names of its writers and tools, and the pictures `render` paints.

#include <gtest/gtest.h>

#include <QImage>

#include "formats/dib/bmp_builder.h"
#include "formats/dib/dib_reader.h"
#include "formats/metafile/metafile_builder.h"
#include "headless/headless_port.h"
#include "shell/convert.h"
#include "shell/load.h"
#include "support/animation_files.h"
#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using test::Quote;

class CliTest : public ::testing::Test {
 protected:
  // Standard error joins the output.
  test::CommandResult Cli(const std::string& args) { return test::RunCommand(Quote(RAVELLE_CLI) + " " + args + " 2>&1"); }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto path = temp / name;
    test::WriteBytes(path, bytes);
    return path.string();
  }

  std::string EightBitBmp() {
    return Write("pal.bmp", test::WindowsBmp({.width = 4, .height = 2, .clrUsed = 3}, {0, 0, 0, 0, 1, 2, 3, 0, 9, 9, 9, 0},
                                             {0, 1, 2, 2, 2, 2, 1, 0}));
  }

  // Converts `in` to a bitmap with these arguments after --to bmp: the image written, read as
  // the viewer reads it, or none.
  PackedDib Convert(const std::string& in, const std::string& arguments) {
    const auto out = temp / "converted.bmp";
    std::filesystem::remove(out);
    EXPECT_EQ(Cli("convert " + Quote(in) + " " + Quote(out.string()) + " --to bmp " + arguments).status, 0) << arguments;
    HeadlessPort port;
    CurrentImage image;
    if (std::filesystem::exists(out)) ReadImageFile(image, port, out.string());
    return std::move(image.Handle);
  }

  test::TempDir temp;
};

TEST_F(CliTest, InfoPrintsTheFileInformationOfEachFile) {
  const std::string bmp = EightBitBmp();
  auto r = Cli("info " + Quote(bmp));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "image type: Windows DIB \nwidth: 4 \nheight: 2 \nplanes: 1 \nbit count: 8 \ncompression: BI_RGB \n");

  // The OS/2 text has no final line feed; one is added. A file that cannot be read makes the
  // status 1 and says why on standard error.
  const std::string os2 = Write("os2.bmp", test::Os2Bmp(1, 1, 24, {}, {1, 2, 3, 0}));
  const std::string junk = Write("junk.xyz", {1, 2, 3});
  r = Cli("info " + Quote(os2) + " " + Quote(junk) + " " + Quote(bmp));
  EXPECT_EQ(r.status, 1);
  const std::string os2Text = ReadOs2Dib(test::ReadBytes(os2)).infoText;
  EXPECT_NE(r.out.find("==> " + os2 + " <==\n" + os2Text + "\n==> " + junk + " <==\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(junk + ": not an image"), std::string::npos);
  EXPECT_NE(r.out.find("==> " + bmp + " <==\nimage type: Windows DIB"), std::string::npos);

  // A picture cut short by damage is still shown, and said to be incomplete (the cut
  // leaves the first row's data).
  const std::string gif = (temp / "cut.gif").string();
  ASSERT_EQ(Cli("convert " + Quote(bmp) + " " + Quote(gif) + " --to gif").status, 0);
  auto bytes = test::ReadBytes(gif);
  bytes.resize(bytes.size() - 4);
  test::WriteBytes(gif, bytes);
  for (const bool verbose : {false, true}) {
    r = Cli(std::string("info ") + (verbose ? "--verbose " : "") + Quote(gif));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("ravelle-cli: " + gif + ": the file ends early"), std::string::npos) << r.out;
  }

  const std::string missing = (temp / "missing.bmp").string();
  r = Cli("info " + Quote(missing));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "ravelle-cli: " + missing + ": no such file\n");
}

TEST_F(CliTest, ConvertWritesTheFileAndReportsItsSize) {
  const std::string out = (temp / "out.bmp").string();
  auto r = Cli("convert " + Quote(EightBitBmp()) + " " + Quote(out) + " --to bmp-rle");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, out + ": " + std::to_string(std::filesystem::file_size(out)) + " bytes\n");
  // Three colours were packed into four bits when the file was loaded: RLE4 is written.
  const ReadResult back = ReadWindowsDib(test::ReadBytes(out));
  ASSERT_TRUE(back.dib);
  EXPECT_NE(back.infoText.find("BI_RLE4"), std::string::npos);
}

TEST_F(CliTest, FailedConversionsSayWhyAndKeepTheOldFile) {
  const std::string deep = Write("deep.bmp", test::WindowsBmp({.width = 2, .bits = 24}, {}, {1, 2, 3, 4, 5, 6, 0, 0}));
  const std::string target = Write("keep.bmp", {42});
  auto r = Cli("convert " + Quote(deep) + " " + Quote(target) + " --to bmp-rle");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "ravelle-cli: " + deep + ": Error Converting File (" + target + ")\n");

  const std::string nowhere = (temp / "no" / "x.bmp").string();
  r = Cli("convert " + Quote(deep) + " " + Quote(nowhere) + " --to png");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "ravelle-cli: " + deep + ": cannot write " + nowhere + ": no such folder\n");
  EXPECT_EQ(Cli("convert " + Quote(Write("junk.bmp", {'B', 'M', 0})) + " " + Quote(target) + " --to bmp").status, 1);
  EXPECT_EQ(test::ReadBytes(target), (std::vector<uint8_t>{42}));
}

// An animated GIF gives its frames as composed for showing, an icon file its images, by --frame.
TEST_F(CliTest, ConvertTakesTheFrameAskedForAsABitmap) {
  using namespace test::gif;
  Bytes gif = Header("89a", 3, 1, 0x81, 4);
  for (int frame = 0; frame < 3; ++frame) {
    Control(gif, 1, 10);
    Image(gif, frame, 0, 1, 1, {static_cast<uint8_t>(frame + 1)});  // each frame adds one pixel to what stays
  }
  Add(gif, {0x3B});
  const std::string animation = Write("anim.gif", gif);
  const std::string icons = Write("icons.ico", test::icon::IconFile({test::icon::Checkered(16, 4), test::icon::Checkered(32, 8)}));
  struct Case {
    const std::string& file;
    const char* arguments;
    int width;
    std::vector<uint32_t> firstRow;  // of the GIF frame, as indices
  };
  const Case cases[] = {
      {animation, "", 3, {1, 0, 0}}, {animation, "--frame 2", 3, {1, 2, 0}}, {animation, "--frame 3 --apply flip-lr", 3, {3, 2, 1}},
      {icons, "", 16, {}},           {icons, "--frame 2", 32, {}},
  };
  for (const Case& c : cases) {
    const PackedDib written = Convert(c.file, c.arguments);
    ASSERT_TRUE(written) << c.arguments;
    EXPECT_EQ(written.Width(), c.width) << c.arguments;
    for (std::size_t x = 0; x < c.firstRow.size(); ++x) {
      EXPECT_EQ(written.Colors()[test::PixelAt(written, static_cast<int>(x), 0)].rgbRed, c.firstRow[x]) << c.arguments;
    }
  }
  const auto r = Cli("convert " + Quote(icons) + " " + Quote((temp / "x.bmp").string()) + " --to bmp --frame 3");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "ravelle-cli: " + icons + ": no frame 3 (the file has 2)\n");
  EXPECT_EQ(Cli("convert " + Quote(icons) + " x.bmp --to bmp --frame 0").status, 2);
}

TEST_F(CliTest, BadArgumentsAndMissingFeaturesExitWith2) {
  const std::string in = EightBitBmp();
  const std::string out = (temp / "o").string();
  const std::string convert = "convert " + Quote(in) + " " + Quote(out);
  const std::string batch = "convert " + Quote(in) + " --to png -o " + Quote(temp.path().string());
  for (const std::string& args : {std::string(), std::string("frobnicate"), std::string("info"), convert, convert + " --to webm",
                                  convert + " --to bmp --apply sharpen", convert + " --to bmp --display-depth 0",
                                  "convert " + Quote(in) + " --to bmp", "convert --to png -o " + Quote(temp.path().string()),
                                  batch + " -j 0", batch + " -j x", "convert " + Quote(in) + " --to png -o",
                                  "info -j 1025 " + Quote(in), std::string("info -j")}) {
    EXPECT_EQ(Cli(args).status, 2) << args;
  }
  const auto nowhere = Cli("convert " + Quote(in) + " --to png -o " + Quote((temp / "nowhere").string()));
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_NE(nowhere.out.find("nowhere: no such folder"), std::string::npos);
  if (FindWriterByName("gif-interlaced")->write == nullptr) {
    const auto r = Cli(convert + " --to gif-interlaced");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("not available"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(out));

  auto r = Cli("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("tiff-deflate"), std::string::npos);
  r = Cli("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("ravelle-cli ", 0), 0u);
}

TEST_F(CliTest, EveryToolRunsAsInTheViewer) {
  const PackedDib input = test::RandomImage(37, 23, 24, 31);
  const std::string in = (temp / "in.bmp").string();
  test::WriteBitmapFile(in, input);
  for (const std::string name : {"rotate90", "rotate180", "rotate270", "flip-lr", "flip-tb", "invert", "brighten", "darken",
                                 "truecolor", "best256", "best32", "best16", "std256", "web216", "std16", "gray", "mono", "restore"}) {
    const PackedDib out = Convert(in, "--apply " + name);
    ASSERT_TRUE(out) << name;
    EXPECT_EQ(out.Width(), name == "rotate90" || name == "rotate270" ? 23 : 37) << name;
  }
  // What each tool does is the tool tests'; here, that they run in the order given and that a
  // palette display reduces only what is shown.
  EXPECT_EQ(test::DibToRgb(Convert(in, "--apply rotate90 --apply invert --apply best16 --apply restore")), test::DibToRgb(input));
  EXPECT_EQ(Convert(in, "--apply best16").BitCount(), 4);
  EXPECT_EQ(test::DibToRgb(Convert(in, "--display-depth 8")), test::DibToRgb(input));
  EXPECT_EQ(Convert(in, "--apply rotate180 --display-depth 8").BitCount(), 24);
  EXPECT_EQ(Convert(in, "--apply std16 --display-depth 4").BitCount(), 4);
}

// An image whose top half is red and bottom half blue.
PackedDib Halves(int width, int height) {
  PackedDib dib = CreateDib(width, height, 24);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) dib.Row(y)[3 * x + (y < height / 2 ? 0 : 2)] = 255;  // row 0 is the bottom row
  }
  return dib;
}

TEST_F(CliTest, RenderPaintsWhatTheViewerWouldPaintTheRightWayUp) {
  test::WriteBitmapFile(temp / "halves.bmp", Halves(100, 50));
  const std::string centred = (temp / "centred.png").string();
  ASSERT_EQ(Cli("render " + Quote((temp / "halves.bmp").string()) + " " + Quote(centred) + " --size 50x50").status, 0);
  const QImage image(QString::fromStdString(centred));
  ASSERT_EQ(image.size(), QSize(50, 50));
  // Shrunk to 45 x 22 at (2, 14).
  EXPECT_EQ(image.pixelColor(1, 20), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(2, 14), QColor(Qt::red));
  EXPECT_EQ(image.pixelColor(46, 35), QColor(Qt::blue));
  EXPECT_EQ(image.pixelColor(25, 36), QColor(Qt::white));

  test::WriteBitmapFile(temp / "small.bmp", Halves(20, 10));
  const std::string tiled = (temp / "tiled.png").string();
  ASSERT_EQ(Cli("render " + Quote((temp / "small.bmp").string()) + " " + Quote(tiled) + " --size 50x30 --tile").status, 0);
  const QImage tiles(QString::fromStdString(tiled));
  EXPECT_EQ(tiles.pixelColor(45, 21), QColor(Qt::red));
  EXPECT_EQ(tiles.pixelColor(45, 29), QColor(Qt::blue));
}

// Under a service or CI the runtime directory is often unset: a render that succeeds prints
// nothing on standard error then, and leaves nothing of Qt's behind in the temporary folder.
TEST_F(CliTest, RenderIsQuietWithoutARuntimeDirectory) {
  const std::string wmf = Write("text.wmf", test::WmfBuilder()
                                                .Rec(0x02FB, {-12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0})
                                                .Rec(0x012D, {0})
                                                .Rec(0x0521, {2, 'H' | 'i' << 8, 20, 10})
                                                .Bytes());
  const auto tmp = temp / "tmp";
  std::filesystem::create_directory(tmp);
  const auto error = temp / "stderr.txt";
  const std::string out = (temp / "text.png").string();
  const auto r = test::RunCommand("env -u XDG_RUNTIME_DIR TMPDIR=" + Quote(tmp.string()) + " " + Quote(RAVELLE_CLI) +
                                  " render " + Quote(wmf) + " " + Quote(out) + " --size 40x30 2>" + Quote(error.string()));
  EXPECT_EQ(r.status, 0);
  const auto said = test::ReadBytes(error);
  EXPECT_TRUE(said.empty()) << std::string(said.begin(), said.end());
  EXPECT_TRUE(std::filesystem::is_empty(tmp));
  EXPECT_FALSE(QImage(QString::fromStdString(out)).isNull());
}

TEST_F(CliTest, RenderRefusesBadSizesAndLeavesNoFileBehind) {
  test::WriteBitmapFile(temp / "a.bmp", Halves(8, 8));
  const std::string in = "render " + Quote((temp / "a.bmp").string());
  for (const char* size : {" out.png --size 0x10", " out.png --size 20000x10", " out.png --size 10x10x", " out.png"}) {
    EXPECT_EQ(Cli(in + size).status, 2) << size;
  }
  EXPECT_EQ(Cli(in + " " + Quote((temp / "no" / "out.png").string()) + " --size 10x10").status, 1);
  const std::string junk = Write("junk.bmp", {'B', 'M', 1, 2});
  EXPECT_EQ(Cli("render " + Quote(junk) + " " + Quote((temp / "j.png").string()) + " --size 10x10").status, 1);
  EXPECT_FALSE(std::filesystem::exists(temp / "j.png"));
}

// A thumbnail is the picture shown, shrunk by area averaging with its aspect kept, never enlarged,
// and keyed with the file's URI, time, size and picture size; a JPEG decoded at a DCT scale still
// gives the size asked for; a metafile is drawn to fit; a file with no picture leaves no file.
TEST_F(CliTest, ThumbnailShrinksTheShownPictureByAreaAndKeysIt) {
  // Black and white columns: an average over whole pairs is mid-grey, a nearest pixel is not.
  PackedDib stripes = CreateDib(400, 200, 24);
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 400; ++x) std::fill_n(&stripes.Row(y)[x * 3], 3, x % 2 ? 255 : 0);
  }
  test::WriteBitmapFile(temp / "stripes.bmp", stripes);
  test::WriteBitmapFile(temp / "halves.bmp", Halves(1000, 600));
  ASSERT_EQ(Cli("convert " + Quote((temp / "halves.bmp").string()) + " " + Quote((temp / "halves.jpg").string()) +
                " --to jpeg").status, 0);
  Write("three.ico", test::icon::IconFile({test::icon::Checkered(16, 4), test::icon::Checkered(32, 8),
                                           test::icon::Checkered(8, 24)}));
  Write("wide.wmf", test::WmfBuilder().Placeable(0, 0, 2879, 1439, 1440));
  const struct {
    const char* in;
    const char* side;
    int width, height, imageWidth, imageHeight;
  } cases[] = {
      {"stripes.bmp", "-s 100", 100, 50, 400, 200}, {"stripes.bmp", "", 256, 128, 400, 200},
      {"stripes.bmp", "-s 1000", 400, 200, 400, 200}, {"halves.jpg", "-s 100", 100, 60, 1000, 600},
      {"three.ico", "", 32, 32, 32, 32},          {"wide.wmf", "-s 64", 64, 32, 2880, 1440},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.in) + " " + c.side);
    const auto in = temp / c.in;
    const auto out = (temp / "thumb.png").string();
    ASSERT_EQ(Cli(std::string("thumbnail ") + c.side + " " + Quote(in.string()) + " " + Quote(out)).status, 0);
    const QImage thumb(QString::fromStdString(out));
    EXPECT_EQ(thumb.size(), QSize(c.width, c.height));
    EXPECT_EQ(thumb.text("Thumb::Image::Width").toInt(), c.imageWidth);
    EXPECT_EQ(thumb.text("Thumb::Image::Height").toInt(), c.imageHeight);
    EXPECT_EQ(thumb.text("Thumb::Size").toULongLong(), std::filesystem::file_size(in));
    EXPECT_EQ(thumb.text("Thumb::URI").toStdString(), "file://" + in.string());
    EXPECT_FALSE(thumb.text("Thumb::MTime").isEmpty());
    if (std::string(c.in) == "stripes.bmp" && c.width == 100) {
      EXPECT_NEAR(qGray(thumb.pixel(10, 10)), 128, 1);
    }
    if (std::string(c.in) == "halves.jpg") {
      EXPECT_GT(qRed(thumb.pixel(50, 5)) - qBlue(thumb.pixel(50, 5)), 240);
    }
  }
  const std::string junk = Write("junk.bmp", {'B', 'M', 1, 2});
  EXPECT_EQ(Cli("thumbnail " + Quote(junk) + " " + Quote((temp / "j.png").string())).status, 1);
  EXPECT_FALSE(std::filesystem::exists(temp / "j.png"));
  EXPECT_EQ(Cli("thumbnail -s 0 " + Quote(junk) + " " + Quote((temp / "j.png").string())).status, 2);
}

}  // namespace
}  // namespace ravelle
