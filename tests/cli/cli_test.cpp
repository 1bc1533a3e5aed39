// ravelle-cli's interface is relied on by scripts: its command forms, their output and exit
// statuses, the names of its tools, and the pictures `render` and `thumbnail` paint.

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
  // Runs in the temporary folder without a runtime directory (as under a service or CI) and with
  // a TMPDIR of its own. Standard error joins the output unless `err` is given.
  test::CommandResult Cli(const std::string& args, std::string* err = nullptr) {
    std::filesystem::create_directory(temp / "tmp");
    const std::string command = "cd " + Quote(temp.path().string()) + " && env -u XDG_RUNTIME_DIR TMPDIR=" +
                                Quote((temp / "tmp").string()) + " " + Quote(RAVELLE_CLI) + " " + args;
    if (!err) return test::RunCommand(command + " 2>&1");
    const auto r = test::RunCommand(command + " 2>" + Quote((temp / "stderr.txt").string()));
    const auto said = test::ReadBytes(temp / "stderr.txt");
    *err = std::string(said.begin(), said.end());
    return r;
  }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto path = temp / name;
    test::WriteBytes(path, bytes);
    return path.string();
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

// Each documented form and refusal: its exit status, a part of what standard output holds and
// all that standard error says (null: not looked at).
TEST_F(CliTest, CommandFormsGiveTheirOutputAndExitStatus) {
  Write("pal.bmp", test::WindowsBmp({.width = 4, .height = 2, .clrUsed = 3}, {0, 0, 0, 0, 1, 2, 3, 0, 9, 9, 9, 0},
                                    {0, 1, 2, 2, 2, 2, 1, 0}));
  Write("deep.bmp", test::WindowsBmp({.width = 2, .bits = 24}, {}, {1, 2, 3, 4, 5, 6, 0, 0}));
  Write("os2.bmp", test::Os2Bmp(1, 1, 24, {}, {1, 2, 3, 0}));
  Write("junk.xyz", {1, 2, 3});
  Write("junk.bmp", {'B', 'M', 1, 2});
  Write("keep.bmp", {42});
  Write("icons.ico", test::icon::IconFile({test::icon::Checkered(16, 4), test::icon::Checkered(32, 8)}));
  // Text, so that fonts are looked for: nothing of that may reach standard error.
  Write("text.wmf", test::WmfBuilder()
                        .Rec(0x02FB, {-12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0})
                        .Rec(0x012D, {0})
                        .Rec(0x0521, {2, 'H' | 'i' << 8, 20, 10})
                        .Bytes());
  ASSERT_EQ(Cli("convert pal.bmp cut.gif --to gif").status, 0);
  auto gif = test::ReadBytes(temp / "cut.gif");
  gif.resize(gif.size() - 4);  // the first row's data is left: the picture is still shown
  Write("cut.gif", gif);
  const char* const cut = "ravelle-cli: cut.gif: the file ends early or is damaged; the picture is incomplete\n";
  const int interlaced = FindWriterByName("gif-interlaced")->write ? 0 : 2;  // 2 when this build lacks it
  const struct {
    std::string args;
    int status;
    const char* out = "";
    const char* err = nullptr;
  } cases[] = {
      {"info pal.bmp", 0, "image type: Windows DIB \nwidth: 4 \nheight: 2 \nplanes: 1 \nbit count: 8 \ncompression: BI_RGB \n", ""},
      // The OS/2 text has no final line feed: one is added.
      {"info os2.bmp junk.xyz pal.bmp", 1, "colors: 16.7 million\n==> junk.xyz <==\n==> pal.bmp <==\nimage type: Windows DIB",
       "ravelle-cli: junk.xyz: not an image this build can read\n"},
      {"info cut.gif", 0, "width: 4 \n", cut},
      {"info --verbose cut.gif", 0, "width: 4 \n", cut},
      {"info missing.bmp", 1, "", "ravelle-cli: missing.bmp: no such file\n"},
      {"info -j", 2}, {"info -j 1025 pal.bmp", 2}, {"info", 2},
      {"convert pal.bmp out.bmp --to bmp-rle", 0, "out.bmp: 80 bytes\n", ""},
      {"convert pal.bmp tools.bmp --to bmp --apply rotate90 --apply rotate180 --apply rotate270 --apply flip-lr --apply flip-tb"
       " --apply invert --apply brighten --apply darken --apply truecolor --apply best256 --apply best32 --apply best16"
       " --apply std256 --apply web216 --apply std16 --apply gray --apply mono --apply restore", 0, "tools.bmp: ", ""},
      {"convert deep.bmp keep.bmp --to bmp-rle", 1, "", "ravelle-cli: deep.bmp: Error Converting File (keep.bmp)\n"},
      {"convert deep.bmp no/x.bmp --to png", 1, "", "ravelle-cli: deep.bmp: cannot write no/x.bmp: no such folder\n"},
      {"convert junk.bmp keep.bmp --to bmp", 1},
      {"convert icons.ico x.bmp --to bmp --frame 3", 1, "", "ravelle-cli: icons.ico: no frame 3 (the file has 2)\n"},
      {"convert icons.ico x.bmp --to bmp --frame 0", 2}, {"convert pal.bmp o.gif --to gif-interlaced", interlaced},
      {"convert pal.bmp o", 2}, {"convert pal.bmp o --to webm", 2}, {"convert pal.bmp o --to bmp --apply sharpen", 2},
      {"convert pal.bmp o --to bmp --display-depth 0", 2},
      {"convert pal.bmp --to png -o .", 0, "./pal.png: ", ""},
      {"convert pal.bmp --to png -o nowhere", 1, "", "ravelle-cli: nowhere: no such folder\n"},
      {"convert pal.bmp --to png -o . -j 0", 2}, {"convert pal.bmp --to png -o . -j x", 2}, {"convert pal.bmp --to png -o", 2},
      {"convert pal.bmp --to bmp", 2}, {"convert --to png -o .", 2},
      {"render text.wmf text.png --size 40x30", 0, "text.png: ", ""},
      {"render junk.bmp j.png --size 10x10", 1}, {"render pal.bmp no/out.png --size 10x10", 1},
      {"render pal.bmp out.png --size 0x10", 2}, {"render pal.bmp out.png --size 20000x10", 2},
      {"render pal.bmp out.png --size 10x10x", 2}, {"render pal.bmp out.png", 2},
      {"thumbnail junk.bmp j.png", 1}, {"thumbnail -s 0 junk.bmp j.png", 2}, {"print pal.bmp --large --tiled", 2},
      {"frobnicate", 2}, {"", 2},
      {"--help", 0, "tiff-deflate", ""},
      {"--version", 0, "ravelle-cli ", ""},
  };
  for (const auto& c : cases) {
    std::string err;
    const auto r = Cli(c.args, &err);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << c.args << ": " << r.out;
    if (c.err) {
      EXPECT_EQ(err, c.err) << c.args;
    }
  }
  EXPECT_EQ(test::ReadBytes(temp / "keep.bmp"), (std::vector<uint8_t>{42}));
  for (const char* none : {"o", "x.bmp", "j.png", "out.png"}) EXPECT_FALSE(std::filesystem::exists(temp / none)) << none;
  EXPECT_TRUE(std::filesystem::is_empty(temp / "tmp"));  // nothing of Qt's left behind
  // Three colours were packed into four bits when the file was loaded: RLE4 is written.
  EXPECT_NE(ReadWindowsDib(test::ReadBytes(temp / "out.bmp")).infoText.find("BI_RLE4"), std::string::npos);
}

TEST_F(CliTest, ConvertTakesTheFrameAskedForAsABitmap) {
  using namespace test::gif;
  Bytes gif = Header("89a", 3, 1, 0x81, 4);
  for (int frame = 0; frame < 3; ++frame) {
    Control(gif, 1, 10);
    Image(gif, frame, 0, 1, 1, {static_cast<uint8_t>(frame + 1)});  // each frame adds one pixel to what stays
  }
  Add(gif, {0x3B});
  Write("anim.gif", gif);
  Write("icons.ico", test::icon::IconFile({test::icon::Checkered(16, 4), test::icon::Checkered(32, 8)}));
  const struct {
    const char* file;
    const char* arguments;
    int width;
    std::vector<uint32_t> firstRow;  // of the GIF frame, as indices
  } cases[] = {{"anim.gif", "", 3, {1, 0, 0}}, {"anim.gif", "--frame 2", 3, {1, 2, 0}}, {"anim.gif", "--frame 3 --apply flip-lr", 3, {3, 2, 1}},
               {"icons.ico", "", 16, {}},      {"icons.ico", "--frame 2", 32, {}}};
  for (const auto& c : cases) {
    const PackedDib written = Convert(c.file, c.arguments);
    ASSERT_TRUE(written) << c.arguments;
    EXPECT_EQ(written.Width(), c.width) << c.arguments;
    for (std::size_t x = 0; x < c.firstRow.size(); ++x) {
      EXPECT_EQ(written.Colors()[test::PixelAt(written, static_cast<int>(x), 0)].rgbRed, c.firstRow[x]) << c.arguments;
    }
  }
}

PackedDib Halves(int width, int height) {
  PackedDib dib = CreateDib(width, height, 24);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) dib.Row(y)[3 * x + (y < height / 2 ? 0 : 2)] = 255;  // row 0 is the bottom row
  }
  return dib;
}

TEST_F(CliTest, ThumbnailShrinksTheShownPictureByAreaAndKeysIt) {
  // Black and white columns: an average over whole pairs is mid-grey, a nearest pixel is not.
  PackedDib stripes = CreateDib(400, 200, 24);
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 400; ++x) std::fill_n(&stripes.Row(y)[x * 3], 3, x % 2 ? 255 : 0);
  }
  test::WriteBitmapFile(temp / "stripes.bmp", stripes);
  test::WriteBitmapFile(temp / "halves.bmp", Halves(1000, 600));
  ASSERT_EQ(Cli("convert halves.bmp halves.jpg --to jpeg").status, 0);
  Write("three.ico", test::icon::IconFile({test::icon::Checkered(16, 4), test::icon::Checkered(32, 8), test::icon::Checkered(8, 24)}));
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
    ASSERT_EQ(Cli(std::string("thumbnail ") + c.side + " " + c.in + " thumb.png").status, 0);
    const QImage thumb(QString::fromStdString((temp / "thumb.png").string()));
    EXPECT_EQ(thumb.size(), QSize(c.width, c.height));
    EXPECT_EQ(thumb.text("Thumb::Image::Width").toInt(), c.imageWidth);
    EXPECT_EQ(thumb.text("Thumb::Image::Height").toInt(), c.imageHeight);
    EXPECT_EQ(thumb.text("Thumb::Size").toULongLong(), std::filesystem::file_size(in));
    EXPECT_EQ(thumb.text("Thumb::URI").toStdString(), "file://" + in.string());
    if (std::string(c.in) == "stripes.bmp" && c.width == 100) { EXPECT_NEAR(qGray(thumb.pixel(10, 10)), 128, 1); }
    if (std::string(c.in) == "halves.jpg") { EXPECT_GT(qRed(thumb.pixel(50, 5)) - qBlue(thumb.pixel(50, 5)), 240); }
  }
}

}  // namespace
}  // namespace ravelle
