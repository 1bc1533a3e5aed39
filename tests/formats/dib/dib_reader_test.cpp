#include "formats/dib/dib_reader.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <string>
#include <vector>

#include "formats/dib/bmp_builder.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using test::BmpFields;
using test::Put16;
using test::Put32;
using test::WindowsBmp;

uint32_t Pixel(const PackedDib& dib, int x, int y) {
  const auto row = dib.Row(y);
  const int bytes = dib.BitCount() / 8;
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | row[bytes * x + i];
  return v;
}

std::vector<uint8_t> Le16(std::initializer_list<uint32_t> values) {
  std::vector<uint8_t> b;
  for (uint32_t v : values) Put16(b, v);
  return b;
}

std::vector<uint8_t> Le32(std::initializer_list<uint32_t> values) {
  std::vector<uint8_t> b;
  for (uint32_t v : values) Put32(b, v);
  return b;
}

std::vector<uint8_t> GreyTable(int entries) {
  std::vector<uint8_t> t;
  for (int i = 0; i < entries; ++i) t.insert(t.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0x55});
  return t;
}

// --- File information ----------------------------------------------------------------------

TEST(DibInfoTextTest, EachReaderWritesItsExactLines) {
  BmpFields f;
  f.width = 3;
  f.height = 2;
  f.bits = 8;
  f.compression = 1;
  EXPECT_EQ(ReadWindowsDib(WindowsBmp(f, GreyTable(256), {0, 1})).infoText,
            "image type: Windows DIB \nwidth: 3 \nheight: 2 \nplanes: 1 \nbit count: 8 \ncompression: BI_RLE8 \n");

  // An unknown compression adds no line and is read as plain rows.
  f.compression = 4;
  const ReadResult unknown = ReadWindowsDib(WindowsBmp(f, GreyTable(256), {7, 8, 9, 0, 1, 2, 3, 0}));
  EXPECT_EQ(unknown.infoText, "image type: Windows DIB \nwidth: 3 \nheight: 2 \nplanes: 1 \nbit count: 8 \n");
  ASSERT_TRUE(unknown.dib);
  EXPECT_EQ(unknown.dib.Row(0)[0], 7);

  // The OS/2 1.x text ends without a line feed.
  EXPECT_EQ(ReadOs2Dib(test::Os2Bmp(4, 1, 24, {}, std::vector<uint8_t>(12))).infoText,
            "image type: OS/2 DIB \nwidth: 4 \nheight: 1 \nplanes: 1 \nbit count: 24 \ncompression: none \n"
            "colors: 16.7 million");
  EXPECT_EQ(ReadOs2v2Dib(test::Os2v2Bmp(2, 2, 24, 4, {}, {0, 1})).infoText,
            "image type: OS/2 2.0 DIB \nwidth: 2 \nheight: 2 \nplanes: 1 \nbit count: 24 \ncompression: RLE 24 \n");
  EXPECT_EQ(ReadOs2v2Dib(test::Os2v2Bmp(2, 2, 8, 9, GreyTable(256), {})).infoText,
            "image type: OS/2 2.0 DIB \nwidth: 2 \nheight: 2 \nplanes: 1 \nbit count: 8 \ncompression: unknown \n");
}

TEST(DibInfoTextTest, ReportsTheImageSizeForThePreviewFrame) {
  BmpFields f;
  f.width = 5;
  f.height = -3;  // top-down
  f.bits = 24;
  const ReadResult result = ReadWindowsDib(WindowsBmp(f, {}, std::vector<uint8_t>(48)));
  ASSERT_TRUE(result.frame);
  EXPECT_EQ(result.frame->width, 5);
  EXPECT_EQ(result.frame->height, 3);
  EXPECT_NE(result.infoText.find("height: 3 \n"), std::string::npos);
}

// --- Bit fields ----------------------------------------------------------------------------

TEST(DibBitfieldsTest, Rgb565BecomesRgb555) {
  BmpFields f;
  f.width = 2;
  f.bits = 16;
  f.compression = 3;
  const ReadResult r = ReadWindowsDib(WindowsBmp(f, Le32({0xF800, 0x07E0, 0x001F}), Le16({0xFFFF, 0x07E0})));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(Pixel(r.dib, 0, 0), 0x7FFFu);
  EXPECT_EQ(Pixel(r.dib, 1, 0), 0x03E0u);
  EXPECT_NE(r.infoText.find("compression: BI_BITFIELDS \nbitfields: 5 6 5 \n"), std::string::npos);
  EXPECT_EQ(r.dib.Header().biCompression, 0u);
}

TEST(DibBitfieldsTest, TenBitFieldsAreScaledToEightBits) {
  BmpFields f;
  f.width = 2;
  f.bits = 32;
  f.compression = 3;
  const auto masks = Le32({0xFFC00000, 0x003FF000, 0x00000FFC});
  const uint32_t full = (1023u << 22) | (512u << 12) | (4u << 2);
  const uint32_t low = (0x12u << 22) | (0x34u << 12) | (0x56u << 2);
  ReadResult r = ReadWindowsDib(WindowsBmp(f, masks, Le32({full, low})));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(Pixel(r.dib, 0, 0), (255u << 16) | (128u << 8) | 1u);
  EXPECT_EQ(Pixel(r.dib, 1, 0), (0x04u << 16) | (0x0Du << 8) | 0x15u);
  EXPECT_NE(r.infoText.find("bitfields: 10 10 10 \n"), std::string::npos);
}

TEST(DibBitfieldsTest, OtherMaskLayoutsAreConvertedInsteadOfLeftBlack) {
  BmpFields f;
  f.width = 2;
  f.bits = 16;
  f.compression = 3;
  // 4-4-4 with alpha in the top nibble: full red, then half green.
  ReadResult r = ReadWindowsDib(WindowsBmp(f, Le32({0x0F00, 0x00F0, 0x000F}), Le16({0xFF00, 0x0080})));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(Pixel(r.dib, 0, 0), 0x7C00u);
  EXPECT_EQ(Pixel(r.dib, 1, 0), 17u << 5);  // 4-bit 8 is 5-bit 17: the bits repeat
  EXPECT_NE(r.infoText.find("bitfields: 4 4 4 \n"), std::string::npos);

  // 32 bits with red in the low byte and alpha on top.
  f.bits = 32;
  r = ReadWindowsDib(WindowsBmp(f, Le32({0x000000FF, 0x0000FF00, 0x00FF0000}), Le32({0xFF332211, 0x00000080})));
  EXPECT_EQ(Pixel(r.dib, 0, 0), 0x00112233u);
  EXPECT_EQ(Pixel(r.dib, 1, 0), 0x00800000u);
}

TEST(DibBitfieldsTest, LongerHeadersCarryTheirMasksAndAreRead) {
  for (uint32_t size : {52u, 56u, 108u, 124u}) {
    SCOPED_TRACE(size);
    BmpFields f;
    f.headerSize = size;
    f.width = 1;
    f.bits = 16;
    f.compression = 3;
    const ReadResult r = ReadWindowsDib(WindowsBmp(f, {}, Le16({0xF800}), {0xF800, 0x07E0, 0x001F, 0}));
    ASSERT_TRUE(r.dib);
    EXPECT_EQ(r.dib.Header().biSize, 40u);
    EXPECT_EQ(Pixel(r.dib, 0, 0), 0x7C00u);
  }
  BmpFields f;
  f.headerSize = 66;
  EXPECT_FALSE(ReadWindowsDib(WindowsBmp(f, GreyTable(256), {1, 0, 0, 0})).dib);
}

// --- Layout of rows and tables -------------------------------------------------------------

TEST(DibLayoutTest, TopDownRowsAreStoredBottomUp) {
  BmpFields f;
  f.width = 1;
  f.height = -3;
  f.bits = 8;
  const ReadResult r = ReadWindowsDib(WindowsBmp(f, GreyTable(256), {10, 0, 0, 0, 20, 0, 0, 0, 30, 0, 0, 0}));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(r.dib.Height(), 3);
  EXPECT_EQ(r.dib.Row(0)[0], 30);  // the bottom row
  EXPECT_EQ(r.dib.Row(2)[0], 10);
}

TEST(DibLayoutTest, RowsEndInZerosWhateverTheFileHadThere) {
  BmpFields f;
  f.width = 11;  // 11 bits: five unused bits in the second byte, then two padding bytes
  f.height = 2;
  f.bits = 1;
  ReadResult r = ReadWindowsDib(WindowsBmp(f, GreyTable(2), std::vector<uint8_t>(8, 0xFF)));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ((std::vector<uint8_t>(r.dib.Row(1).begin(), r.dib.Row(1).end())), (std::vector<uint8_t>{0xFF, 0xE0, 0, 0}));
  r = ReadOs2Dib(test::Os2Bmp(3, 1, 24, {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(r.dib.Row(0)[9], 0);
}

TEST(DibLayoutTest, PixelsStartWhereTheFileSaysWhenThatIsBehindTheTable) {
  BmpFields f;
  f.width = 1;
  f.bits = 8;
  f.clrUsed = 2;
  auto table = GreyTable(2);
  // A gap of four bytes between table and rows, which bfOffBits accounts for.
  f.offBits = 54 + 8 + 4;
  std::vector<uint8_t> data = {9, 9, 9, 9, 42, 0, 0, 0};
  ReadResult r = ReadWindowsDib(WindowsBmp(f, table, data));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(r.dib.Row(0)[0], 42);
  // An offset that points into the colour table is not believed.
  f.offBits = 54;
  r = ReadWindowsDib(WindowsBmp(f, table, {42, 0, 0, 0}));
  EXPECT_EQ(r.dib.Row(0)[0], 42);
}

TEST(DibLayoutTest, ColourTablesAreCutToTheDepthAndDroppedForDeepImages) {
  BmpFields f;
  f.width = 1;
  f.bits = 8;
  f.clrUsed = 300;
  ReadResult r = ReadWindowsDib(WindowsBmp(f, GreyTable(300), {7, 0, 0, 0}));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(r.dib.Header().biClrUsed, 256u);
  EXPECT_EQ(r.dib.Row(0)[0], 7);
  EXPECT_EQ(r.dib.Colors()[5].rgbReserved, 0);  // reserved bytes are cleared

  f.bits = 24;
  f.clrUsed = 2;
  r = ReadWindowsDib(WindowsBmp(f, GreyTable(2), {1, 2, 3, 0}));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(r.dib.Header().biClrUsed, 0u);
  EXPECT_EQ(Pixel(r.dib, 0, 0), 0x030201u);

  // A colours-used count of four thousand million neither allocates nor reads past the file.
  f.bits = 8;
  f.clrUsed = 0xFF000006;
  r = ReadWindowsDib(WindowsBmp(f, GreyTable(6), {1, 0, 0, 0}));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(r.dib.Colors().size(), 256u);
}

TEST(DibLayoutTest, Os2RowsFollowTheTableWhenTheOffsetIsZero) {
  const std::vector<uint8_t> table = {0, 0, 0, 255, 255, 255};
  ReadResult r = ReadOs2Dib(test::Os2Bmp(8, 1, 1, table, {0xA5, 0, 0, 0}, 0));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(r.dib.Row(0)[0], 0xA5);
  EXPECT_EQ(r.dib.Colors()[1], (RgbQuad{255, 255, 255, 0}));
  // With an offset, the rows are read from there.
  auto file = test::Os2Bmp(8, 1, 1, table, {0, 0, 0, 0, 0x5A, 0, 0, 0});
  file[10] = 26 + 6 + 4;
  r = ReadOs2Dib(file);
  EXPECT_EQ(r.dib.Row(0)[0], 0x5A);
}

TEST(DibLayoutTest, ImpossibleHeadersGiveNoImageAndHugeOnesTheMemoryMessage) {
  BmpFields f;
  f.bits = 2;
  EXPECT_FALSE(ReadWindowsDib(WindowsBmp(f, GreyTable(4), {0, 0, 0, 0})).dib);
  f.bits = 8;
  f.width = -4;
  EXPECT_FALSE(ReadWindowsDib(WindowsBmp(f, GreyTable(256), {0, 0, 0, 0})).dib);
  f.width = 4;
  f.bits = 24;
  f.compression = 1;  // RLE8 needs 8 bits per pixel
  ReadResult r = ReadWindowsDib(WindowsBmp(f, {}, {0, 1}));
  EXPECT_FALSE(r.dib);
  EXPECT_TRUE(r.messages.empty());

  f.width = 3000000;
  f.height = 2000000;
  f.compression = 0;
  r = ReadWindowsDib(WindowsBmp(f, {}, {}));
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].text, "Memory allocation error");
  EXPECT_EQ(r.messages[0].style, kMbIconHand);
  f.bits = 8;
  f.compression = 1;
  r = ReadWindowsDib(WindowsBmp(f, GreyTable(256), {0, 1}));
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0].text, "Memory Allocation Error");
}

// --- Run-length decoding -------------------------------------------------------------------

struct Rows {
  int width, height;
  std::size_t stride;
  std::vector<uint8_t> bytes;
  Rows(int w, int h, int bits) : width(w), height(h), stride(*DibStride(w, bits)), bytes(stride * h) {}
  uint8_t at(int x, int y) const { return bytes[y * stride + x]; }
};

TEST(DibRleTest, Rle8RunsAbsoluteStretchesAndEscapes) {
  Rows rows(6, 3, 8);
  // Row 0: run of 3 x 7, absolute 3 (padded), end of line; delta (1, 1) from row 1 to row 2 at
  // x 1, run of 2 x 5, end of bitmap.
  const std::vector<uint8_t> data = {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 2, 5, 0, 1, 9, 9};
  ByteReader in(data);
  DecodeRle8(rows.bytes, rows.stride, rows.width, rows.height, in);
  EXPECT_EQ(std::vector<uint8_t>(rows.bytes.begin(), rows.bytes.begin() + 6), (std::vector<uint8_t>{7, 7, 7, 1, 2, 3}));
  EXPECT_EQ(rows.at(1, 2), 5);
  EXPECT_EQ(rows.at(2, 2), 5);
  EXPECT_EQ(rows.at(0, 1), 0);
  EXPECT_EQ(in.Position(), 18u);  // stopped at the end of bitmap
}

TEST(DibRleTest, Rle8DeltaToTheHeightEndsDecoding) {
  Rows rows(2, 2, 8);
  const std::vector<uint8_t> data = {0, 2, 0, 2, 2, 9};
  ByteReader in(data);
  DecodeRle8(rows.bytes, rows.stride, rows.width, rows.height, in);
  EXPECT_EQ(in.Position(), 4u);
  EXPECT_EQ(rows.bytes, std::vector<uint8_t>(rows.bytes.size(), 0));
}

TEST(DibRleTest, RunsPastTheRowEndAreCutThere) {
  Rows rows(3, 2, 8);
  // 255 pixels in a 3-pixel row, an absolute stretch and a run that start beyond its end, and
  // a delta far to the right: the row holds the first three pixels, its padding and the next
  // row stay untouched.
  const std::vector<uint8_t> data = {255, 4, 0, 5, 1, 2, 3, 4, 5, 0, 0, 2, 200, 0, 9, 6, 0, 1};
  ByteReader in(data);
  DecodeRle8(rows.bytes, rows.stride, rows.width, rows.height, in);
  EXPECT_EQ((std::vector<uint8_t>(rows.bytes.begin(), rows.bytes.begin() + 4)), (std::vector<uint8_t>{4, 4, 4, 0}));
  EXPECT_EQ(rows.at(0, 1), 0);
  EXPECT_EQ(in.Position(), data.size());
}

TEST(DibRleTest, Rle4AbsoluteStretchesArePaddedToWords) {
  Rows rows(8, 2, 4);
  // 5 pixels take 3 bytes and one padding byte; 4 pixels take 2 bytes and none.
  const std::vector<uint8_t> data = {0, 5, 0x12, 0x34, 0x50, 0xEE, 0, 0, 0, 4, 0xAB, 0xCD, 0, 1};
  ByteReader in(data);
  DecodeRle4(rows.bytes, rows.stride, rows.width, rows.height, in);
  EXPECT_EQ(rows.at(0, 0), 0x12);
  EXPECT_EQ(rows.at(1, 0), 0x34);
  EXPECT_EQ(rows.at(2, 0), 0x50);
  EXPECT_EQ(rows.at(0, 1), 0xAB);
  EXPECT_EQ(rows.at(1, 1), 0xCD);
  EXPECT_EQ(in.Position(), data.size());
}

TEST(DibRleTest, Rle4RunsAlternateNibblesFromAnyColumn) {
  Rows rows(5, 1, 4);
  const std::vector<uint8_t> data = {0, 2, 1, 0, 4, 0x9A, 0, 0};  // delta one pixel right, then 9 A 9 A
  ByteReader in(data);
  DecodeRle4(rows.bytes, rows.stride, rows.width, rows.height, in);
  EXPECT_EQ(rows.at(0, 0), 0x09);
  EXPECT_EQ(rows.at(1, 0), 0xA9);
  EXPECT_EQ(rows.at(2, 0), 0xA0);
}

TEST(DibRleTest, Rle24WritesTripletsAndPadsOddStretches) {
  Rows rows(3, 1, 24);
  const std::vector<uint8_t> data = {2, 1, 2, 3, 0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0xEE, 0, 1};
  ByteReader in(data);
  DecodeRle24(rows.bytes, rows.stride, rows.width, rows.height, in);
  EXPECT_EQ(std::vector<uint8_t>(rows.bytes.begin(), rows.bytes.begin() + 9),
            (std::vector<uint8_t>{1, 2, 3, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(in.Position(), data.size());
}

TEST(DibRleTest, TruncatedStreamsKeepWhatWasDecoded) {
  BmpFields f;
  f.width = 4;
  f.height = 2;
  f.bits = 8;
  f.compression = 1;
  const ReadResult r = ReadWindowsDib(WindowsBmp(f, GreyTable(256), {4, 9, 0, 0, 2}));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(r.dib.Row(0)[3], 9);
  EXPECT_EQ(r.dib.Row(1)[0], 0);
  EXPECT_EQ(r.dib.Header().biSizeImage, 0u);
}

// --- Modified Huffman ----------------------------------------------------------------------

// Bits written most significant first.
struct BitWriter {
  std::vector<uint8_t> bytes;
  int used = 8;
  void Put(const char* bits) {
    for (; *bits != '\0'; ++bits) {
      if (used == 8) {
        bytes.push_back(0);
        used = 0;
      }
      if (*bits == '1') bytes.back() |= static_cast<uint8_t>(0x80 >> used);
      ++used;
    }
  }
};

TEST(DibHuffmanTest, RowsOfRunsAndTheColourTable) {
  BitWriter w;
  w.Put("000000000001");  // end of line at the start of a row is skipped
  w.Put("0111");          // white 2
  w.Put("10");            // black 3
  w.Put("0111");          // white 2
  w.Put("010");           // black 1: the row of 8 is complete
  w.Put("1000");          // white 3
  w.Put("000000000001");  // end of line in place of a black run ends row 1 early
                          // and the end of the data ends decoding before row 2
  const ReadResult r = ReadOs2v2Dib(test::Os2v2Bmp(8, 3, 1, 3, std::vector<uint8_t>(8, 0x11), w.bytes));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(r.dib.Row(0)[0], 0b00111001);
  EXPECT_EQ(r.dib.Row(1)[0], 0);
  EXPECT_EQ(r.dib.Colors()[0], (RgbQuad{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(r.dib.Colors()[1], (RgbQuad{0, 0, 0, 0}));
}

TEST(DibHuffmanTest, RunsBeyondTheWidthEndDecodingAndLeaveTheRestWhite) {
  BitWriter w;
  w.Put("1000");     // white 3
  w.Put("0011");     // black 5: 3 + 5 = 8, the whole row
  w.Put("0111");     // white 2
  w.Put("000101");   // black 8: beyond the width of 8
  w.Put("1000");
  const ReadResult r = ReadOs2v2Dib(test::Os2v2Bmp(8, 3, 1, 3, std::vector<uint8_t>(8), w.bytes));
  ASSERT_TRUE(r.dib);
  EXPECT_EQ(r.dib.Row(0)[0], 0b00011111);
  EXPECT_EQ(r.dib.Row(1)[0], 0);
  EXPECT_EQ(r.dib.Row(2)[0], 0);
}

// libtiff's own Modified Huffman coder (TIFF compression 2, one row per strip, each strip byte
// aligned) writes rows whose runs cover every terminating and make-up code of both colours; our
// decoder must give back the same bits.
TEST(DibHuffmanTest, DecodesEveryCodeAsLibtiffEncodesIt) {
  constexpr int kWidth = 2600;
  std::vector<std::vector<std::pair<int, int>>> rows;  // (white, black) run pairs
  for (int r = 0; r < 64; ++r) rows.push_back({{r, r + 1}, {64 + r, 64 * (r % 27 + 1)}});
  for (int m = 1; m <= 40; ++m) rows.push_back({{64 * m + m % 64, 64 * (40 - m + 1) + (m * 7) % 64}});
  rows.push_back({{2560, 0}});
  rows.push_back({{0, 2560}});
  rows.push_back({{1, 2559}});

  std::vector<std::vector<uint8_t>> images;
  for (const auto& runs : rows) {
    std::vector<uint8_t> bits((kWidth + 7) / 8, 0);
    int x = 0;
    for (const auto& [white, black] : runs) {
      x += white;
      for (int i = 0; i < black && x < kWidth; ++i, ++x) bits[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    images.push_back(bits);
  }

  test::TempDir temp;
  const std::string path = (temp / "mh.tif").string();
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(images.size()));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTRLE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1);
  for (std::size_t y = 0; y < images.size(); ++y) {
    ASSERT_EQ(TIFFWriteScanline(tif, images[y].data(), static_cast<uint32_t>(y), 0), 1);
  }
  TIFFClose(tif);

  tif = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  for (std::size_t y = 0; y < images.size(); ++y) {
    SCOPED_TRACE(y);
    const auto size = TIFFRawStripSize(tif, static_cast<uint32_t>(y));
    std::vector<uint8_t> raw(static_cast<std::size_t>(size));
    ASSERT_EQ(TIFFReadRawStrip(tif, static_cast<uint32_t>(y), raw.data(), size), size);
    Rows out(kWidth, 1, 1);
    ByteReader in(raw);
    DecodeModifiedHuffman(out.bytes, out.stride, kWidth, 1, in);
    EXPECT_TRUE(std::equal(images[y].begin(), images[y].end(), out.bytes.begin()));
  }
  TIFFClose(tif);
}

// --- Damaged files -------------------------------------------------------------------------

// Every prefix of a set of well-formed files reads without touching memory outside the input
// (checked under the sanitizers) and gives an image of the declared size or none.
TEST(DibDamageTest, EveryPrefixOfAFileIsReadSafely) {
  BmpFields f;
  f.width = 5;
  f.height = 4;
  std::vector<std::vector<uint8_t>> files;
  f.bits = 8;
  files.push_back(WindowsBmp(f, GreyTable(256), std::vector<uint8_t>(32, 3)));
  f.compression = 1;
  files.push_back(WindowsBmp(f, GreyTable(256), {5, 1, 0, 0, 0, 3, 1, 2, 3, 0, 0, 2, 1, 1, 2, 2, 0, 1}));
  f.bits = 4;
  f.compression = 2;
  files.push_back(WindowsBmp(f, GreyTable(16), {5, 0x12, 0, 0, 0, 5, 1, 2, 3, 0, 0, 1}));
  f.bits = 16;
  f.compression = 3;
  files.push_back(WindowsBmp(f, Le32({0xF00, 0xF0, 0xF}), std::vector<uint8_t>(48, 0xA5)));
  files.push_back(test::Os2Bmp(5, 4, 4, std::vector<uint8_t>(48, 1), std::vector<uint8_t>(16, 0x77)));
  files.push_back(test::Os2v2Bmp(5, 4, 24, 4, {}, {3, 1, 2, 3, 0, 3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 1}));
  files.push_back(test::Os2v2Bmp(5, 4, 1, 3, std::vector<uint8_t>(8), {0x11, 0x22, 0x33, 0x44, 0x55}));
  for (const auto& file : files) {
    for (std::size_t length = 0; length <= file.size(); ++length) {
      const std::span<const uint8_t> prefix(file.data(), length);
      for (const ReadResult& r : {ReadWindowsDib(prefix), ReadOs2Dib(prefix), ReadOs2v2Dib(prefix)}) {
        if (r.dib) {
          EXPECT_EQ(r.dib.Pixels().size(), r.dib.Stride() * r.dib.Height());
        }
      }
    }
  }
}

}  // namespace
}  // namespace ravelle
