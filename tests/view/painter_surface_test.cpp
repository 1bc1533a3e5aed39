#include "headless/painter_surface.h"

#include <gtest/gtest.h>

#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

// A 2 x 2 image: red, green on top; blue, white below (1 bit: black, white twice).
PackedDib Quadrants(int bits) {
  std::vector<uint32_t> values = {0, 1, 2, 3};
  if (bits == 1) values = {0, 1, 0, 1};
  if (bits == 16) values = {0x7C00, 0x03E0, 0x001F, 0x7FFF};
  if (bits > 16) values = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  PackedDib dib = test::ImageOf(2, 2, bits, values);
  const RgbQuad table[4] = {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}, {255, 255, 255, 0}};
  const RgbQuad mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  for (std::size_t i = 0; i < dib.Colors().size() && i < 4; ++i) dib.Colors()[i] = bits == 1 ? mono[i] : table[i];
  return dib;
}

QImage Canvas(int width, int height) {
  QImage canvas(width, height, QImage::Format_RGB32);
  canvas.fill(qRgb(128, 128, 128));
  return canvas;
}

class PainterSurfaceDepthTest : public ::testing::TestWithParam<int> {};

TEST_P(PainterSurfaceDepthTest, StretchesTheRowsTheRightWayUpWithoutBlending) {
  const PackedDib dib = Quadrants(GetParam());
  const test::RgbImage colours = test::DibToRgb(dib);
  QImage canvas = Canvas(6, 6);
  {
    QPainter painter(&canvas);
    PainterSurface(painter, {6, 6}).StretchDib(dib, {1, 1, 4, 4});
  }
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) {
      const bool inside = x >= 1 && x <= 4 && y >= 1 && y <= 4;
      const uint8_t* c = &colours.rgb[3 * static_cast<std::size_t>((x - 1) / 2 + 2 * ((y - 1) / 2))];
      ASSERT_EQ(canvas.pixel(x, y), inside ? qRgb(c[0], c[1], c[2]) : qRgb(128, 128, 128)) << GetParam() << " bits at " << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryDepth, PainterSurfaceDepthTest, ::testing::Values(1, 4, 8, 16, 24, 32));

}  // namespace
}  // namespace ravelle
