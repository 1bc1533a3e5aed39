#include "tools/brightness.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_images.h"

namespace ravelle {
namespace {

std::vector<int> Mapped(int level, std::initializer_list<int> values) {
  std::vector<int> out;
  for (const int v : values) out.push_back(BrightnessTable(level)[static_cast<std::size_t>(v)]);
  return out;
}

TEST(BrightnessTest, GammaStepsGiveTheKnownValues) {
  EXPECT_EQ(Mapped(1, {0, 1, 64, 128, 192, 254, 255}), (std::vector<int>{0, 5, 96, 157, 209, 254, 255}));
  EXPECT_EQ(Mapped(-1, {0, 1, 64, 128, 192, 254, 255}), (std::vector<int>{0, 0, 36, 96, 171, 254, 255}));
  EXPECT_EQ(Mapped(2, {64, 128}), (std::vector<int>{128, 181}));
  EXPECT_EQ(Mapped(4000, {0, 1, 255}), (std::vector<int>{0, 255, 255}));  // far beyond any use
}

TEST(BrightnessTest, StepsThatSumToZeroRestoreTheTableByteForByte) {
  for (const int bits : {1, 4, 8}) {
    PackedDib dib = test::RandomImage(9, 4, bits, static_cast<uint32_t>(bits));
    for (RgbQuad& c : dib.Colors()) c.rgbReserved = static_cast<uint8_t>(c.rgbRed ^ 0x5A);
    const auto original = test::BytesOf(dib);
    std::vector<RgbQuad> saved(256);
    int level = 0;
    for (const int step : {1, 1, -1, -1, -1, 1, 1, -1}) AdjustBrightness(dib, saved, level, step);
    EXPECT_EQ(level, 0);
    EXPECT_EQ(test::BytesOf(dib), original) << bits << " bits";
  }
}

}  // namespace
}  // namespace ravelle
