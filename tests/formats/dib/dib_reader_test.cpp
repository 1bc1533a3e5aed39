#include "formats/dib/dib_reader.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <string>
#include <vector>

#include "formats/dib/bmp_builder.h"
#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using test::Le16;
using test::WindowsBmp;

std::vector<uint8_t> GreyTable(int entries) {
  std::vector<uint8_t> t;
  for (int i = 0; i < entries; ++i) t.insert(t.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0x55});
  return t;
}

// --- Headers -------------------------------------------------------------------------------

TEST(DibReaderTest, BitfieldMasksAreConvertedTo555Or888) {
  // 4-4-4 with alpha on top: 4-bit 8 is 5-bit 17, the bits repeated.
  const struct {
    std::vector<uint32_t> masks;
    std::vector<uint8_t> pixels;
    std::vector<uint32_t> expected;
    const char* line;
  } cases[] = {
      {{0xF800, 0x07E0, 0x001F}, Le16({0xFFFF, 0x07E0}), {0x7FFF, 0x03E0}, "BI_BITFIELDS \nbitfields: 5 6 5 \n"},
      {{0x0F00, 0x00F0, 0x000F}, Le16({0xFF00, 0x0080}), {0x7C00, 17u << 5}, "bitfields: 4 4 4 \n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<uint8_t> extra;
    for (uint32_t mask : c.masks) test::Put32(extra, mask);
    const ReadResult r = ReadWindowsDib(WindowsBmp({.width = 2, .bits = 16, .compression = 3}, extra, c.pixels));
    ASSERT_TRUE(r.dib);
    EXPECT_EQ(test::PixelsOf(r.dib), c.expected);
    EXPECT_NE(r.infoText.find(c.line), std::string::npos) << r.infoText;
    EXPECT_EQ(r.dib.Header().biSize, 40u);
    EXPECT_EQ(r.dib.Header().biCompression, 0u);
  }
}

// Where the rows are found, which way up they lie, and the colour table kept.
TEST(DibReaderTest, RowsAndTablesAreFoundWhereTheHeadersSay) {
  using Reader = ReadResult (*)(std::span<const uint8_t>, std::size_t);
  const std::vector<uint8_t> os2Table = {0, 0, 0, 255, 255, 255};
  const struct {
    const char* name;
    Reader read;
    std::vector<uint8_t> file;
    std::vector<uint32_t> pixels;  // top row first; none where the rows are not the file's
    std::size_t colours;
  } cases[] = {
      // A gap of four bytes between table and rows, which bfOffBits accounts for.
      {"gap", ReadWindowsDib, WindowsBmp({.width = 1, .clrUsed = 2, .offBits = 54 + 8 + 4}, GreyTable(2), {9, 9, 9, 9, 42, 0, 0, 0}), {42}, 2},
      {"offset into the table", ReadWindowsDib, WindowsBmp({.width = 1, .clrUsed = 2, .offBits = 54}, GreyTable(2), {42, 0, 0, 0}), {42}, 2},
      // OS/2: an offset of 0 means right behind the table; another is where the rows are.
      {"OS/2 offset 0", ReadOs2Dib, test::Os2Bmp(8, 1, 1, os2Table, {0xA5, 0, 0, 0}, 0), {1, 0, 1, 0, 0, 1, 0, 1}, 2},
      {"OS/2 offset", ReadOs2Dib, test::Os2Bmp(8, 1, 1, os2Table, {0, 0, 0, 0, 0x5A, 0, 0, 0}, 26 + 6 + 4), {0, 1, 0, 1, 1, 0, 1, 0}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult r = c.read(c.file, 0);
    ASSERT_TRUE(r.dib);
    if (!c.pixels.empty()) {
      EXPECT_EQ(test::PixelsOf(r.dib), c.pixels);
    }
    EXPECT_EQ(r.dib.Colors().size(), c.colours);
    for (const RgbQuad& entry : r.dib.Colors()) ASSERT_EQ(entry.rgbReserved, 0);  // cleared
    if (c.read == static_cast<Reader>(ReadOs2Dib)) {
      EXPECT_EQ(r.dib.Colors()[1], (RgbQuad{255, 255, 255, 0}));
    }
  }
}

TEST(DibReaderTest, RowsEndInZerosWhateverTheFileHadThere) {
  // 11 bits: five unused bits in the second byte, then two padding bytes.
  ReadResult r = ReadWindowsDib(WindowsBmp({.width = 11, .height = 2, .bits = 1}, GreyTable(2), std::vector<uint8_t>(8, 0xFF)));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ((std::vector<uint8_t>(r.dib.Row(1).begin(), r.dib.Row(1).end())), (std::vector<uint8_t>{0xFF, 0xE0, 0, 0}));
  r = ReadOs2Dib(test::Os2Bmp(3, 1, 24, {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(r.dib.Row(0)[9], 0);
}

// --- Run-length and Modified Huffman decoding ------------------------------------------------

TEST(DibDecoderTest, RunsStretchesAndEscapesLandInTheRowsAndStopAtTheirRowEnd) {
  using Decoder = DecodedRows (*)(std::span<uint8_t>, std::size_t, int, int, ByteReader&);
  const struct {
    const char* what;
    Decoder decode;
    int width, height, bits;
    std::vector<uint8_t> data;
    std::vector<uint8_t> rows;  // bottom row first, with padding
    std::size_t stop;
  } cases[] = {
      {"rle8 end of line below the last row ends decoding", DecodeRle8, 2, 1, 8, {1, 3, 0, 0, 2, 7, 0, 1}, {3, 0, 0, 0}, 4},
      {"rle8 delta to the height ends decoding", DecodeRle8, 2, 2, 8, {0, 2, 0, 2, 2, 9}, std::vector<uint8_t>(8), 4},
      // 255 pixels in a 3-pixel row, an absolute stretch and a run that start beyond its end, and
      // a delta far to the right: the padding and the next row stay untouched.
      {"rle8 cut at the row end", DecodeRle8, 3, 2, 8, {255, 4, 0, 5, 1, 2, 3, 4, 5, 0, 0, 2, 200, 0, 9, 6, 0, 1},
       {4, 4, 4, 0, 0, 0, 0, 0}, 18},
      // A delta one pixel right, then a run alternating 9 A 9 A from an odd column.
      {"rle4 runs", DecodeRle4, 5, 1, 4, {0, 2, 1, 0, 4, 0x9A, 0, 0}, {0x09, 0xA9, 0xA0, 0}, 8},
  };
  for (const auto& c : cases) {
    const std::size_t stride = *DibStride(c.width, c.bits);
    std::vector<uint8_t> rows(stride * c.height);
    ByteReader in(c.data);
    c.decode(rows, stride, c.width, c.height, in);
    EXPECT_EQ(rows, c.rows) << c.what;
    EXPECT_EQ(in.Position(), c.stop) << c.what;
  }
}

// A file that ends inside its header or before its first row is whole gives no image; one that
// ends later keeps the rows it holds.
TEST(DibDecoderTest, ShortFilesKeepTheirRowsOrGiveNoImage) {
  using Reader = ReadResult (*)(std::span<const uint8_t>, std::size_t);
  const auto cut = [](std::vector<uint8_t> file, std::size_t length) { return file.resize(length), file; };
  const struct {
    const char* name;
    Reader read;
    std::vector<uint8_t> file;
    ReadStatus status;
  } cases[] = {
      {"Windows header", ReadWindowsDib, cut(WindowsBmp({.width = 4}, {}, {}), 40), ReadStatus::Damaged},
      {"half a row", ReadWindowsDib, WindowsBmp({.width = 4, .height = 2}, GreyTable(256), {1, 2}), ReadStatus::Damaged},
      {"one row of two", ReadWindowsDib, WindowsBmp({.width = 4, .height = 2}, GreyTable(256), {1, 2, 3, 4}), ReadStatus::Truncated},
      {"top-down, a row and a half of four", ReadWindowsDib, WindowsBmp({.width = 4, .height = -4}, GreyTable(256), {1, 2, 3, 4, 5, 6}),
       ReadStatus::Truncated},
      // The last row's padding is not pixels.
      {"no padding at the end", ReadWindowsDib, WindowsBmp({.width = 3, .height = 2}, GreyTable(256), {1, 2, 3, 0, 4, 5, 6}),
       ReadStatus::Ok},
      // Rows behind a table of four thousand million colours lie past the file.
      {"table past the end", ReadWindowsDib, WindowsBmp({.width = 1, .clrUsed = 0xFF000006}, GreyTable(6), {1, 0, 0, 0}),
       ReadStatus::Damaged},
      {"RLE8 cut in its first row", ReadWindowsDib, WindowsBmp({.width = 4, .height = 2, .compression = 1}, GreyTable(256), {2, 9, 0}),
       ReadStatus::Damaged},
      {"RLE8 cut in its second row", ReadWindowsDib, WindowsBmp({.width = 4, .height = 2, .compression = 1}, GreyTable(256), {4, 9, 0, 0, 2}),
       ReadStatus::Truncated},
      {"RLE8 that fills its rows without an end", ReadWindowsDib,
       WindowsBmp({.width = 4, .height = 1, .compression = 1}, GreyTable(256), {4, 9}), ReadStatus::Ok},
      {"Huffman without data", ReadOs2v2Dib, test::Os2v2Bmp(8, 2, 1, 3, std::vector<uint8_t>(8), {}), ReadStatus::Damaged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult r = c.read(c.file, 0);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(static_cast<bool>(r.dib), c.status != ReadStatus::Damaged);
    EXPECT_TRUE(r.messages.empty());
  }
  ReadResult r = ReadWindowsDib(cases[7].file);
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(r.dib.Row(0)[3], 9);
  EXPECT_EQ(r.dib.Row(1)[0], 0);
  EXPECT_EQ(r.dib.Header().biSizeImage, 0u);
  // A top-down file's rows, the half one too, are turned over: its top row is the picture's.
  r = ReadWindowsDib(cases[3].file);
  ASSERT_TRUE(r.dib);
  EXPECT_EQ((std::vector<int>{r.dib.Row(3)[0], r.dib.Row(2)[0], r.dib.Row(1)[0]}), (std::vector<int>{1, 5, 0}));
}

// Bits written most significant first.
std::vector<uint8_t> Bits(std::initializer_list<const char*> codes) {
  std::vector<uint8_t> bytes;
  int used = 0;
  for (const char* code : codes) {
    for (; *code != '\0'; ++code, used = (used + 1) % 8) {
      if (used == 0) bytes.push_back(0);
      if (*code == '1') bytes.back() |= static_cast<uint8_t>(0x80 >> used);
    }
  }
  return bytes;
}

TEST(DibDecoderTest, HuffmanRowsEndAtTheWidthAnEndOfLineOrTheEndOfTheData) {
  // An end of line at the start of a row is skipped; white 2, black 3, white 2, black 1 fill the
  // row of 8; white 3, then an end of line in place of a black run ends row 1 early, and the end
  // of the data ends decoding before row 2. The table is white then black.
  ReadResult r = ReadOs2v2Dib(test::Os2v2Bmp(
      8, 3, 1, 3, std::vector<uint8_t>(8, 0x11), Bits({"000000000001", "0111", "10", "0111", "010", "1000", "000000000001"})));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(r.dib.Row(0)[0], 0b00111001);
  EXPECT_EQ(r.dib.Row(1)[0], 0);
  EXPECT_EQ(r.dib.Colors()[0], (RgbQuad{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(r.dib.Colors()[1], (RgbQuad{0, 0, 0, 0}));
  // White 3 and black 5 fill row 0; in row 1 a black 8 runs past the width: decoding ends, and
  // the rest stays white.
  r = ReadOs2v2Dib(test::Os2v2Bmp(8, 3, 1, 3, std::vector<uint8_t>(8), Bits({"1000", "0011", "0111", "000101", "1000"})));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ((std::vector<int>{r.dib.Row(0)[0], r.dib.Row(1)[0], r.dib.Row(2)[0]}), (std::vector<int>{0b00011111, 0, 0}));
}

// libtiff's own Modified Huffman coder (TIFF compression 2, one row per strip, each strip byte
// aligned) writes rows whose runs cover every terminating and make-up code of both colours; our
// decoder must give back the same bits.
TEST(DibDecoderTest, HuffmanDecodesEveryCodeAsLibtiffEncodesIt) {
  constexpr int kWidth = 2600;
  std::vector<std::vector<std::pair<int, int>>> rows;  // (white, black) run pairs
  for (int r = 0; r < 64; ++r) rows.push_back({{r, r + 1}, {64 + r, 64 * (r % 27 + 1)}});
  for (int m = 1; m <= 40; ++m) rows.push_back({{64 * m + m % 64, 64 * (40 - m + 1) + (m * 7) % 64}});
  rows.insert(rows.end(), {{{2560, 0}}, {{0, 2560}}, {{1, 2559}}});
  test::TempDir temp;
  const std::string path = (temp / "mh.tif").string();
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  for (const auto& [tag, value] : {std::pair{TIFFTAG_IMAGEWIDTH, kWidth}, {TIFFTAG_IMAGELENGTH, static_cast<int>(rows.size())},
                                  {TIFFTAG_BITSPERSAMPLE, 1}, {TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE},
                                  {TIFFTAG_COMPRESSION, COMPRESSION_CCITTRLE}, {TIFFTAG_ROWSPERSTRIP, 1}}) {
    TIFFSetField(tif, tag, value);
  }
  std::vector<std::vector<uint8_t>> images;
  for (const auto& runs : rows) {
    std::vector<uint8_t> bits(*DibStride(kWidth, 1), 0);
    for (int x = 0; const auto& [white, black] : runs) {
      x += white;
      for (int i = 0; i < black && x < kWidth; ++i, ++x) bits[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    ASSERT_EQ(TIFFWriteScanline(tif, bits.data(), static_cast<uint32_t>(images.size()), 0), 1);
    images.push_back(bits);
  }
  TIFFClose(tif);
  tif = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  for (uint32_t y = 0; y < images.size(); ++y) {
    std::vector<uint8_t> raw(static_cast<std::size_t>(TIFFRawStripSize(tif, y))), out(images[y].size());
    ASSERT_EQ(TIFFReadRawStrip(tif, y, raw.data(), static_cast<tmsize_t>(raw.size())), static_cast<tmsize_t>(raw.size()));
    ByteReader in(raw);
    DecodeModifiedHuffman(out, out.size(), kWidth, 1, in);
    EXPECT_EQ(out, images[y]) << "row " << y;
  }
  TIFFClose(tif);
}

}  // namespace
}  // namespace ravelle
