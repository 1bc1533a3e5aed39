// The player's record families drawn into an image and checked pixel by pixel.
#include "view/metafile_player.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "headless/painter_surface.h"
#include "support/test_support.h"
#include "tests/formats/metafile/metafile_builder.h"

namespace ravelle {
namespace {

using test::WmfBuilder;

constexpr QRgb kW = 0xFFFFFFFF, kK = 0xFF000000, kRed = 0xFFFF0000;

QImage Play(const WmfBuilder& wmf, const WmfStart& start = {}) {
  const Size size{64, 64};
  const ReadResult r = ReadWindowsMetafile(wmf.Bytes(), false);
  QImage image(size.width, size.height, QImage::Format_RGB32);
  image.fill(Qt::white);
  if (!r.metafile) return image;
  QPainter painter(&image);
  PainterSurface surface(painter, size);
  PlayWindowsMetafile(surface, *r.metafile, start);
  return image;
}

// The smallest rectangle around the pixels that are not white.
QRect InkBox(const QImage& image) {
  QRect box;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != kW) box = box.united(QRect(x, y, 1, 1));
    }
  }
  return box;
}

// Selecting stock-like objects: a black brush and a null pen, made in slots 0 and 1.
WmfBuilder BlackFillNoPen() {
  WmfBuilder w;
  w.Rec(0x02FC, {0, 0, 0, 0}).Rec(0x012D, {0}).Rec(0x02FA, {5, 0, 0, 0, 0}).Rec(0x012D, {1});
  return w;
}

// Mapping, clipping, raster operations and mix modes: the box around the ink, and chosen pixels.
TEST(MetafilePlayer, RecordsLandWhereTheirStateSays) {
  // STRETCHDIB, SRCINVERT, a white 1 x 1 bitmap into (0, 0) 16 x 16.
  std::vector<int> stretch = {0x0046, 0x0066, 0, 1, 1, 0, 0, 16, 16, 0, 0, 40, 0, 1, 0, 1, 0, 1, 24};
  stretch.resize(stretch.size() + 12, 0);
  stretch.insert(stretch.end(), {0xFFFF, 0x00FF});
  const struct {
    const char* what;
    WmfBuilder wmf;
    WmfStart start;
    QRect ink;
    std::vector<std::pair<QPoint, QRgb>> pixels;
  } cases[] = {
      // Clipped to the left half less (0, 24)-(20, 40): an ellipse (4, 4)-(60, 60) and a band across the top.
      {"clipped", BlackFillNoPen().Rec(0x0416, {64, 32, 0, 0}).Rec(0x0415, {40, 20, 24, 0}).Rec(0x0418, {60, 60, 4, 4})
                      .Rec(0x041B, {4, 64, 0, 0}),
       {}, QRect(QPoint(0, 0), QPoint(31, 59)), {{{28, 32}, kK}, {{36, 32}, kW}, {{6, 6}, kW}, {{8, 32}, kW}}},
      // PATCOPY black at the left, all inverted by SRCINVERT white, then an R2_NOT rectangle.
      {"raster operations", BlackFillNoPen().Rec(0x061D, {0x0021, 0x00F0, 16, 8, 0, 0}).Rec(0x0F43, stretch)
                                .Rec(0x0104, {6}).Rec(0x041B, {40, 40, 32, 32}),
       {}, QRect(QPoint(8, 0), QPoint(39, 39)), {{{2, 2}, kW}, {{12, 2}, kK}, {{20, 2}, kW}, {{35, 35}, kK}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QImage image = Play(c.wmf, c.start);
    EXPECT_EQ(InkBox(image), c.ink);
    for (const auto& [at, colour] : c.pixels) EXPECT_EQ(image.pixel(at), colour) << at.x() << "," << at.y();
  }
}

// Red hatches follow the device pattern; 8 x 8 one-pixel columns fill alike in each brush form.
TEST(MetafilePlayer, BrushesFillWithTheirHatchOrBitmap) {
  std::vector<int> dib = {40, 0, 8, 0, 8, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFF, 0x00FF};
  std::vector<int> bitmap16 = {0, 8, 8, 2, 0x0101};
  for (int row = 0; row < 8; ++row) {
    dib.insert(dib.end(), {0x00AA, 0});
    bitmap16.push_back(0x00AA);
  }
  const auto with = [](std::vector<int> head, const std::vector<int>& rest) {
    head.insert(head.end(), rest.begin(), rest.end());
    return head;
  };
  const auto hatch = [](int style) { return WmfBuilder().Rec(0x0102, {1}).Rec(0x02FC, {2, 0x00FF, 0, style}); };
  const struct {
    const char* name;
    WmfBuilder brush;            // made in slot 0
    bool (*on)(int x, int y);  // a hatch's red pixels; none for the columns
  } cases[] = {
      {"horizontal", hatch(0), [](int, int y) { return y % 8 == 3; }},
      {"vertical", hatch(1), [](int x, int) { return x % 8 == 4; }},
      {"diagonal", hatch(2), [](int x, int y) { return x % 8 == y % 8; }},
      {"DIB, BS_PATTERN", WmfBuilder().Rec(0x0142, with({3, 0}, dib)), nullptr},  // as most programs write it
      {"BITMAP16, BS_PATTERN", WmfBuilder().Rec(0x0142, with({3, 0}, bitmap16)), nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WmfBuilder w = c.brush;
    const QImage image = Play(w.Rec(0x012D, {0}).Rec(0x02FA, {5, 0, 0, 0, 0}).Rec(0x012D, {1}).Rec(0x041B, {32, 32, 0, 0}));
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        if (c.on) {
          ASSERT_EQ(image.pixel(x, y), c.on(x, y) ? kRed : kW) << x << "," << y;
        } else if (x < 30 && y < 30) {
          ASSERT_TRUE(image.pixel(x, y) == kK || image.pixel(x, y) == kW);
          ASSERT_NE(image.pixel(x, y), image.pixel(x + 1, y)) << x << "," << y;
        }
      }
    }
    EXPECT_EQ(image.pixel(40, 3), kW);
  }
}

}  // namespace
}  // namespace ravelle
