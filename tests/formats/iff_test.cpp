// The IFF reader on hand-made layouts the shared corpus lacks, and the writer's padding of an
// odd body.

#include <gtest/gtest.h>

#include "formats/iff/iff.h"
#include "formats/iff_builder.h"
#include "image/dib_pixels.h"
#include "image/output_file.h"
#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using test::PixelAt;
using namespace test::iff;

// Planar rows (top first) from per-pixel values, with an all-ones mask line when asked.
std::vector<uint8_t> PlanarBody(int width, const std::vector<std::vector<unsigned>>& rows, int planes, bool mask = false) {
  const std::size_t line = ((width + 15) / 16) * 2;
  std::vector<uint8_t> out;
  for (const auto& row : rows) {
    for (int k = 0; k < planes + (mask ? 1 : 0); ++k) {
      std::vector<uint8_t> l(line, 0);
      for (int x = 0; x < width; ++x) {
        if (k == planes || ((row[x] >> k) & 1)) l[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
      out.insert(out.end(), l.begin(), l.end());
    }
  }
  return out;
}

TEST(IffReaderTest, BodyEndingInsideARow) {
  // The rows before the cut are whole; the cut row keeps the planes that were there.
  const std::vector<std::vector<unsigned>> rows = {{1, 2, 3}, {7, 6, 5}};
  for (const int planes : {3, 24}) {
    auto body = PlanarBody(3, rows, planes);
    body.resize(body.size() / 2 + 2);  // row 0 and the first plane line of row 1
    const ReadResult r = ReadIffImage(Form("ILBM", {Bmhd(3, 2, planes), Cmap(8), {"BODY", body}}));
    ASSERT_TRUE(r.dib);
    EXPECT_EQ(r.status, ReadStatus::Truncated);
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(PixelAt(r.dib, x, 0), planes == 3 ? rows[0][x] : test::Rgb(rows[0][x], 0, 0));
      EXPECT_EQ(PixelAt(r.dib, x, 1), planes == 3 ? rows[1][x] & 1 : test::Rgb(rows[1][x] & 1, 0, 0));
    }
  }
}

// Colour maps, chunky and true-colour bodies, and ByteRun1 packets that span the lines.
TEST(IffReaderTest, SmallFilesGiveTheirPixelsTableAndText) {
  using test::Rgb;
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    std::vector<uint32_t> pixels;
    uint32_t colours;  // biClrUsed
    const char* text;  // a part of the information text
    ReadStatus status = ReadStatus::Ok;
  } cases[] = {
      // 32 entries for 6 planes give the halves without the mode.
      {"32 entries, 6 planes", Form("ILBM", {Bmhd(2, 1, 6), Cmap(32), {"BODY", PlanarBody(2, {{33, 63}}, 6)}}), {33, 63}, 64,
       "# of colors: 32"},
      // A CMAP of 3 entries has a pad byte; the BODY behind it must still be found.
      {"padded CMAP", Form("ILBM", {Bmhd(2, 1, 2), Cmap(3), {"BODY", PlanarBody(2, {{2, 1}}, 2)}}), {2, 1}, 3, "# of colors: 3"},
      {"300 entries", Form("ILBM", {Bmhd(2, 1, 8), Cmap(300), {"BODY", PlanarBody(2, {{255, 1}}, 8)}}), {255, 1}, 256,
       "# of colors: 300"},
      // "PBM " with an odd width has a pad byte after every row.
      {"PBM odd width", Form("PBM ", {Bmhd(3, 2, 8), Cmap(16), {"BODY", {1, 2, 3, 0, 4, 5, 6, 0}}}), {1, 2, 3, 4, 5, 6}, 16,
       "image type: PBM  "},
      {"PBM 24 bits", Form("PBM ", {Bmhd(1, 2, 24), {"BODY", {1, 2, 3, 0, 4, 5, 6, 0}}}), {Rgb(1, 2, 3), Rgb(4, 5, 6)}, 0, ""},
      // 0xFE 0x41: three 0x41; 0x80: nothing; 0x01 a b: two literals; the data ends in row 1.
      {"ByteRun1", Form("PBM ", {Bmhd(3, 2, 8, 0, 1), Cmap(256), {"BODY", {0xFE, 0x41, 0x80, 0x01, 7, 8, 0x00, 9}}}),
       {0x41, 0x41, 0x41, 8, 9, 0}, 256, "compression: 1", ReadStatus::Truncated},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult r = ReadIffImage(c.file);
    ASSERT_TRUE(r.dib);
    EXPECT_EQ(test::PixelsOf(r.dib), c.pixels);
    EXPECT_EQ(r.dib.Header().biClrUsed, c.colours);
    EXPECT_NE(r.infoText.find(c.text), std::string::npos) << r.infoText;
    EXPECT_EQ(r.status, c.status);
  }
  EXPECT_EQ(ReadIffImage(cases[0].file).dib.Colors()[33], (RgbQuad{1, 2, 4, 0}));  // half of (8, 4, 2)
}

TEST(IffReaderTest, FilesWithoutAnImage) {
  const auto cut = [](std::vector<uint8_t> file, std::size_t less) { return file.resize(file.size() - less), file; };
  // Files that end inside their chunks, or before their first row is whole, are damaged.
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    ReadStatus status;
  } cases[] = {
      {"no BMHD", Form("ILBM", {Cmap(2), {"BODY", {0}}}), ReadStatus::BadHeader},
      {"no BODY", Form("ILBM", {Bmhd(2, 2, 1), Cmap(2)}), ReadStatus::BadHeader},
      {"no CMAP below 24 planes", Form("ILBM", {Bmhd(2, 2, 4), {"BODY", {0, 0, 0, 0}}}), ReadStatus::BadHeader},
      {"CMAP after BODY", Form("ILBM", {Bmhd(2, 2, 4), {"BODY", {0}}, Cmap(16)}), ReadStatus::BadHeader},
      {"cut inside BMHD", cut(Form("ILBM", {Bmhd(2, 2, 1)}), 10), ReadStatus::Damaged},
      {"empty BODY", Form("ILBM", {Bmhd(2, 2, 1), Cmap(2), {"BODY", {}}}), ReadStatus::Damaged},
      {"BODY cut in the first row", Form("ILBM", {Bmhd(2, 2, 3), Cmap(8), {"BODY", {0x80, 0, 0x40}}}), ReadStatus::Damaged},
      {"HAM cut in the first row", Form("ILBM", {Bmhd(2, 1, 6), Cmap(16), Camg(0x800), {"BODY", {0, 0, 0}}}), ReadStatus::Damaged},
      {"HAM of 5 planes", Form("ILBM", {Bmhd(2, 1, 5), Cmap(16), Camg(0x800), {"BODY", std::vector<uint8_t>(10)}}),
       ReadStatus::Unsupported},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult r = ReadIffImage(c.file);
    EXPECT_FALSE(r.dib);
    EXPECT_EQ(r.status, c.status);
  }
}

TEST(IffWriterTest, AnOddPackedBodyIsPadded) {
  test::TempDir dir;
  const auto file = dir / "out.iff";
  // An odd packed body is stated one longer and padded with a zero byte.
  PackedDib one = CreateDib(32, 1, 1);
  const uint8_t row[] = {1, 2, 3, 3};
  std::copy(row, row + 4, one.Row(0).begin());
  ASSERT_TRUE(WriteIffImage(file, true, false, one));
  const auto b = test::ReadBytes(file);
  EXPECT_EQ(std::vector<uint8_t>(b.end() - 14, b.end()), (std::vector<uint8_t>{'B', 'O', 'D', 'Y', 0, 0, 0, 6, 1, 1, 2, 0xFF, 3, 0}));
  EXPECT_EQ(b[7], b.size() - 8);
}

}  // namespace
}  // namespace ravelle
