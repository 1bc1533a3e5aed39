#include "platform/headless/painter_surface.h"

#include <gtest/gtest.h>

#include "support/shell_fixture.h"

namespace ravelle {
namespace {

// Four distinct values in the depth's own terms: red, green, blue, white (indexes for palettes).
uint32_t Value(int bitCount, int which) {
  switch (bitCount) {
    case 1: return which == 0 || which == 2 ? 0 : 1;
    case 4: case 8: return static_cast<uint32_t>(which);
    case 16: return std::array<uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0x7FFF}[which];
    default: return std::array<uint32_t, 4>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}[which];
  }
}

// Sets pixel (x, y), y counted from the top, as the depth stores it.
void SetPixel(PackedDib& dib, int x, int yFromTop, uint32_t value) {
  auto row = dib.Row(dib.Height() - 1 - yFromTop);
  switch (dib.BitCount()) {
    case 1: row[x / 8] = static_cast<uint8_t>((row[x / 8] & ~(0x80 >> (x % 8))) | (value ? 0x80 >> (x % 8) : 0)); break;
    case 4: row[x / 2] = static_cast<uint8_t>(x % 2 == 0 ? (row[x / 2] & 0x0F) | (value << 4) : (row[x / 2] & 0xF0) | value); break;
    case 8: row[x] = static_cast<uint8_t>(value); break;
    case 16: row[2 * x] = static_cast<uint8_t>(value); row[2 * x + 1] = static_cast<uint8_t>(value >> 8); break;
    default: {
      const int size = dib.BitCount() / 8;
      row[size * x] = static_cast<uint8_t>(value);            // blue
      row[size * x + 1] = static_cast<uint8_t>(value >> 8);   // green
      row[size * x + 2] = static_cast<uint8_t>(value >> 16);  // red
      if (size == 4) row[size * x + 3] = 0;                   // the fourth byte is not alpha
    }
  }
}

const QRgb kExpected[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};

// A 2 x 2 image: red, green on top; blue, white below (two-colour images: black and white).
PackedDib Quadrants(int bitCount) {
  PackedDib dib = CreateDib(2, 2, bitCount);
  if (bitCount <= 8) {
    const RgbQuad table[4] = {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}, {255, 255, 255, 0}};
    const RgbQuad mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    for (std::size_t i = 0; i < dib.Colors().size() && i < 4; ++i) dib.Colors()[i] = bitCount == 1 ? mono[i] : table[i];
  }
  for (int i = 0; i < 4; ++i) SetPixel(dib, i % 2, i / 2, Value(bitCount, i));
  return dib;
}

QImage Canvas(int width, int height) {
  QImage canvas(width, height, QImage::Format_RGB32);
  canvas.fill(qRgb(128, 128, 128));
  return canvas;
}

class PainterSurfaceDepthTest : public ::testing::TestWithParam<int> {};

TEST_P(PainterSurfaceDepthTest, StretchesTheRowsTheRightWayUpWithoutBlending) {
  const int bits = GetParam();
  const PackedDib dib = Quadrants(bits);
  QImage canvas = Canvas(6, 6);
  {
    QPainter painter(&canvas);
    PainterSurface surface(painter, {6, 6});
    surface.StretchDib(dib, {1, 1, 4, 4});
  }
  for (int i = 0; i < 4; ++i) {
    const QRgb want = bits == 1 ? (i == 0 || i == 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255)) : kExpected[i];
    const int x = 1 + 2 * (i % 2);
    const int y = 1 + 2 * (i / 2);
    for (const auto& [dx, dy] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}}) {
      EXPECT_EQ(canvas.pixel(x + dx, y + dy), want) << bits << " bits, quadrant " << i;
    }
  }
  EXPECT_EQ(canvas.pixel(0, 0), qRgb(128, 128, 128));
  EXPECT_EQ(canvas.pixel(5, 5), qRgb(128, 128, 128));
}

INSTANTIATE_TEST_SUITE_P(EveryDepth, PainterSurfaceDepthTest, ::testing::Values(1, 4, 8, 16, 24, 32));

TEST(PainterSurfaceTest, DrawsStraightFromTheBlockAndGuardsItsColourTable) {
  PackedDib dib = test::MakeImage(5, 3, 8, 2, 200);  // index 200 in a table of two colours
  const auto wrapped = WrapDib(dib);
  ASSERT_TRUE(wrapped);
  EXPECT_EQ(wrapped->image.constBits(), dib.Pixels().data());  // no copy
  EXPECT_EQ(wrapped->image.colorCount(), 256);
  QImage canvas = Canvas(5, 3);
  {
    QPainter painter(&canvas);
    PainterSurface(painter, {5, 3}).StretchDib(dib, {0, 0, 5, 3});
  }
  EXPECT_EQ(canvas.pixel(2, 1), qRgb(0, 0, 0));

  const PackedDib wide = test::MakeImage(7, 2, 24);
  EXPECT_EQ(WrapDib(wide)->image.constBits(), wide.Pixels().data());
}

TEST(PainterSurfaceTest, ManyTilesComeOutAsOneTileAfterAnother) {
  PackedDib dib = CreateDib(3, 2, 24);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) SetPixel(dib, x, y, static_cast<uint32_t>((40 * x) << 16 | (100 * y) << 8 | 7));
  }
  for (const int scale : {1, 2}) {  // natural size, and tiles stretched to twice the size
    QImage canvas = Canvas(61, 41);
    {
      QPainter painter(&canvas);
      PainterSurface(painter, {61, 41}).TileDib(dib, {0, 0, 60, 40}, {3 * scale, 2 * scale});
    }
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 60; ++x) {
        const QRgb want = qRgb(40 * ((x / scale) % 3), 100 * ((y / scale) % 2), 7);
        ASSERT_EQ(canvas.pixel(x, y), want) << "scale " << scale << " at " << x << "," << y;
      }
    }
    EXPECT_EQ(canvas.pixel(60, 40), qRgb(128, 128, 128));  // nothing outside the area
  }
}

}  // namespace
}  // namespace ravelle
