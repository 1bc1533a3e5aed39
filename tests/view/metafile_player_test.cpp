// The player's record families drawn into an image and checked pixel by pixel.
#include "view/metafile_player.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <memory>

#include "headless/painter_surface.h"
#include "headless/recording_surface.h"
#include "support/test_support.h"
#include "tests/formats/metafile/metafile_builder.h"

namespace ravelle {
namespace {

using test::EmfBuilder;
using test::WmfBuilder;

constexpr QRgb kW = 0xFFFFFFFF, kK = 0xFF000000, kRed = 0xFFFF0000;

QImage Play(const WmfBuilder& wmf, const WmfStart& start = {}, Size size = {64, 64}) {
  const ReadResult r = ReadWindowsMetafile(wmf.Bytes(), false);
  QImage image(size.width, size.height, QImage::Format_RGB32);
  image.fill(Qt::white);
  if (!r.metafile) return image;
  QPainter painter(&image);
  PainterSurface surface(painter, size);
  PlayWindowsMetafile(surface, *r.metafile, start);
  return image;
}

// Fonts need an application object (on the offscreen platform under ctest).
void EnsureApplication() {
  static int argc = 1;
  static char name[] = "test";
  static char* argv[] = {name, nullptr};
  static const std::unique_ptr<QGuiApplication> application(
      QGuiApplication::instance() ? nullptr : new QGuiApplication(argc, argv));
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
  WmfBuilder xorTwice;
  xorTwice.Rec(0x02FA, {0, 1, 0, 0x00FF, 0}).Rec(0x012D, {0}).Rec(0x0104, {7});
  for (int i = 0; i < 2; ++i) xorTwice.Rec(0x0214, {10, 5}).Rec(0x0213, {10, 50});
  const struct {
    const char* what;
    WmfBuilder wmf;
    WmfStart start;
    QRect ink;
    std::vector<std::pair<QPoint, QRgb>> pixels;
  } cases[] = {
      // A 100 x 100 window on a 200 x 200 viewport at (4, 2): (10, 10)-(20, 30) is (24, 22)-(44, 62).
      {"anisotropic", BlackFillNoPen().Rec(0x020C, {100, 100}).Rec(0x020B, {0, 0}).Rec(0x041B, {30, 20, 10, 10}),
       {8, {4, 2}, {200, 200}}, QRect(QPoint(24, 22), QPoint(43, 61)), {{{30, 40}, kK}}},
      // Clipped to the left half less (0, 24)-(20, 40): an ellipse (4, 4)-(60, 60) and a band across the top.
      {"clipped", BlackFillNoPen().Rec(0x0416, {64, 32, 0, 0}).Rec(0x0415, {40, 20, 24, 0}).Rec(0x0418, {60, 60, 4, 4})
                      .Rec(0x041B, {4, 64, 0, 0}),
       {}, QRect(QPoint(0, 0), QPoint(31, 59)), {{{28, 32}, kK}, {{36, 32}, kW}, {{6, 6}, kW}, {{8, 32}, kW}}},
      // PATCOPY black at the left, all inverted by SRCINVERT white, then an R2_NOT rectangle.
      {"raster operations", BlackFillNoPen().Rec(0x061D, {0x0021, 0x00F0, 16, 8, 0, 0}).Rec(0x0F43, stretch)
                                .Rec(0x0104, {6}).Rec(0x041B, {40, 40, 32, 32}),
       {}, QRect(QPoint(8, 0), QPoint(39, 39)), {{{2, 2}, kW}, {{12, 2}, kK}, {{20, 2}, kW}, {{35, 35}, kK}}},
      {"an XOR pen's line drawn twice", xorTwice, {}, QRect(), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QImage image = Play(c.wmf, c.start);
    EXPECT_EQ(InkBox(image), c.ink);
    for (const auto& [at, colour] : c.pixels) EXPECT_EQ(image.pixel(at), colour) << at.x() << "," << at.y();
  }
}

TEST(MetafilePlayer, HatchedBrushFollowsTheDevicePattern) {
  struct Case {
    int hatch;
    bool (*on)(int x, int y);
  };
  for (const Case& c : {Case{0, [](int, int y) { return y % 8 == 3; }}, Case{1, [](int x, int) { return x % 8 == 4; }},
                        Case{2, [](int x, int y) { return x % 8 == y % 8; }}}) {
    WmfBuilder w;
    // A red hatched brush, a null pen, a transparent background.
    w.Rec(0x02FC, {2, 0x00FF, 0, c.hatch}).Rec(0x012D, {0}).Rec(0x02FA, {5, 0, 0, 0, 0}).Rec(0x012D, {1}).Rec(0x0102, {1});
    w.Rec(0x041B, {32, 32, 0, 0});
    const QImage image = Play(w);
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) ASSERT_EQ(image.pixel(x, y), c.on(x, y) ? kRed : kW) << c.hatch << " " << x << "," << y;
    }
    EXPECT_EQ(image.pixel(40, 3), kW);
  }
}

// Small ellipses, as markers in charts are, have an outline that is the same mirrored either way,
// with no corner or stray pixel on one side. (From 10 pixels up the outline can still be a pixel
// off where a point falls half-way between two.)
TEST(MetafilePlayer, SmallEllipsesAreSymmetric) {
  for (int size : {5, 6, 7, 8, 9}) {
    WmfBuilder w;
    w.Rec(0x02FC, {1, 0, 0, 0}).Rec(0x012D, {0}).Rec(0x0418, {4 + size, 4 + size, 4, 4});  // hollow
    const QImage image = Play(w, {}, {24, 24});
    const QRect box = InkBox(image);
    ASSERT_EQ(box, QRect(4, 4, size, size)) << size;
    for (int y = box.top(); y <= box.bottom(); ++y) {
      for (int x = box.left(); x <= box.right(); ++x) {
        const QRgb p = image.pixel(x, y);
        ASSERT_EQ(p, image.pixel(box.left() + box.right() - x, y)) << size << ": " << x << "," << y;
        ASSERT_EQ(p, image.pixel(x, box.top() + box.bottom() - y)) << size << ": " << x << "," << y;
      }
    }
  }
}

TEST(MetafilePlayer, PatternBrushesFillWithTheirBitmap) {
  // One 8 x 8 picture of one-pixel columns, white and black, in each form a brush is made from.
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
  struct Case {
    const char* name;
    uint16_t function;
    std::vector<int> params;
  } cases[] = {
      {"DIB, BS_DIBPATTERN", 0x0142, with({5, 0}, dib)},
      {"DIB, BS_PATTERN", 0x0142, with({3, 0}, dib)},  // as most programs write it
      {"BITMAP16, BS_PATTERN", 0x0142, with({3, 0}, bitmap16)},
      {"CREATEPATTERNBRUSH", 0x01F9, with({0, 8, 8, 2, 0x0101, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {bitmap16.begin() + 5, bitmap16.end()})},
  };
  for (const Case& c : cases) {
    WmfBuilder w;
    w.Rec(c.function, c.params).Rec(0x012D, {0}).Rec(0x02FA, {5, 0, 0, 0, 0}).Rec(0x012D, {1}).Rec(0x041B, {32, 32, 0, 0});
    const QImage image = Play(w);
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 30; ++x) {
        ASSERT_TRUE(image.pixel(x, y) == kK || image.pixel(x, y) == kW) << c.name;
        ASSERT_NE(image.pixel(x, y), image.pixel(x + 1, y)) << c.name << " " << x << "," << y;
      }
    }
  }
}

TEST(MetafilePlayer, RotatedTextRisesFromItsReferencePoint) {
  EnsureApplication();
  // A 20-pixel font turned a quarter counter-clockwise runs upwards from device (30, 60): at 90
  // degrees with y running down, and at 270 where the mapping turns y up (a chart's axis title).
  struct Case {
    int16_t escapement;
    std::vector<int16_t> mapping;  // window extent and origin records' values, or none
    int16_t y;                     // the reference point's logical y
  };
  for (const Case& c : {Case{900, {}, 60}, Case{2700, {-64, 64, 64, 0}, 4}}) {
    WmfBuilder w;
    if (!c.mapping.empty()) {
      w.Rec(0x020C, {c.mapping[0], c.mapping[1]}).Rec(0x020B, {c.mapping[2], c.mapping[3]});
    }
    w.Rec(0x02FB, {-20, 0, c.escapement, c.escapement, 400, 0, 0, 0, 0, 0, 0, 0, 0})
        .Rec(0x012D, {0})
        .Rec(0x012E, {24})  // baseline
        .Rec(0x0102, {1})
        .Rec(0x0521, {4, 'H' | 'H' << 8, 'H' | 'H' << 8, c.y, 30});
    const QRect box = InkBox(Play(w, c.mapping.empty() ? WmfStart{} : WmfStart{8, {0, 0}, {64, 64}}, {64, 64}));
    SCOPED_TRACE(c.escapement);
    ASSERT_FALSE(box.isEmpty());
    EXPECT_GT(box.height(), box.width());
    EXPECT_LE(box.bottom(), 61);
    EXPECT_LE(box.right(), 31);
    EXPECT_GE(box.left(), 10);
  }
}

// A face that is not installed is drawn in the face fontconfig puts in its place (a serif for
// Times New Roman, a fixed pitch for Courier New), not in a sans-serif fallback.
TEST(MetafilePlayer, TextFacesAreMatchedAsFontconfigMatchesThem) {
  EnsureApplication();
  const std::u16string text = u"Metafile Companion";
  QImage image(8, 8, QImage::Format_RGB32);
  QPainter painter(&image);
  PainterSurface surface(painter, {8, 8});
  for (const char* face : {"Times New Roman", "Courier New", "Arial"}) {
    QFont font(face);
    font.setPixelSize(20);
    EXPECT_DOUBLE_EQ(surface.MeasureRun(text, {.face = face, .height = 20}).width,
                     QFontMetricsF(font).horizontalAdvance(QString::fromStdU16String(text)))
        << face;
  }
}

TEST(MetafilePlayer, EnhancedMetafileFillsItsRectangle) {
  // Frame (0, 0)-(2645, 1322) hundredths of a millimetre is 100 x 50 pixels at 96 dots per
  // inch; a world transform doubles the polygon.
  EmfBuilder emf;
  emf.Rec(39, {1, 0, 0x0000FF, 0}).Rec(37, {1}).Rec(37, {0x80000008});  // a red brush in slot 1, NULL_PEN
  emf.Rec(35, {0x40000000, 0, 0, 0x40000000, 0, 0}).Rec(86, {0, 0, 0, 0, 4, 10 | 5 << 16, 20 | 5 << 16, 20 | 10 << 16, 10 | 10 << 16});
  const ReadResult r = ReadEnhancedMetafileBytes(emf.Bytes(), "t.emf");
  ASSERT_TRUE(r.metafile);
  QImage image(120, 60, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    PainterSurface surface(painter, {120, 60});
    EXPECT_EQ(PlayEnhancedMetafile(&surface, r.metafile.get(), {0, 0, 99, 49}, nullptr, nullptr), 1);
  }
  const QRect box = InkBox(image);
  EXPECT_TRUE(std::abs(box.left() - 20) <= 1 && std::abs(box.top() - 10) <= 1 && std::abs(box.right() - 39) <= 1 &&
              std::abs(box.bottom() - 19) <= 1) << box.left() << "," << box.top() << " " << box.right() << "," << box.bottom();
  EXPECT_EQ(image.pixel(30, 15), kRed);

  std::string info;
  MetafileRect bounds;
  EXPECT_EQ(PlayEnhancedMetafile(nullptr, r.metafile.get(), {}, &info, &bounds), 1);
  EXPECT_EQ(bounds, (MetafileRect{0, 0, 99, 49}));
  EXPECT_TRUE(info.starts_with("image type: Enhanced Metafile EMF"));
  EXPECT_EQ(PlayEnhancedMetafile(nullptr, nullptr, {}, &info, nullptr), 1);
}

TEST(MetafilePlayer, SaveRestoreAndPathsOnTheRecordingSurface) {
  EmfBuilder emf;
  emf.Rec(33, {}).Rec(30, {0, 0, 10, 10}).Rec(34, {-1});  // save, intersect the clip, restore: the clip goes
  emf.Rec(59, {}).Rec(27, {1, 1}).Rec(54, {5, 1}).Rec(54, {5, 5}).Rec(61, {}).Rec(60, {}).Rec(64, {0, 0, 0, 0});  // a path
  emf.Rec(34, {-7});  // nothing saved: passed over
  RecordingSurface surface({100, 50});
  const ReadResult r = ReadEnhancedMetafileBytes(emf.Bytes(), "t.emf");
  PlayEnhancedMetafile(&surface, r.metafile.get(), {0, 0, 99, 49}, nullptr, nullptr);
  ASSERT_GE(surface.log.size(), 3u);
  EXPECT_EQ(surface.log[0], "clip 1 steps");
  EXPECT_EQ(surface.log[1], "clip 0 steps");
  EXPECT_EQ(surface.log[2], "shape pen #000000 w0 mix 13 [ 1,1 5,1 5,5 1,1 ]");
}

}  // namespace
}  // namespace ravelle
