#include "tools/brightness.h"

#include <gtest/gtest.h>

#include <random>
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
  std::mt19937 random(8);
  for (const int bits : {1, 4, 8}) {
    PackedDib dib = test::RandomImage(9, 4, bits, static_cast<uint32_t>(bits));
    for (RgbQuad& c : dib.Colors()) c.rgbReserved = static_cast<uint8_t>(random());
    const auto original = test::BytesOf(dib);
    std::vector<RgbQuad> saved(256);
    for (int trial = 0; trial < 20; ++trial) {
      std::vector<int> steps;
      for (int i = 0, n = 1 + static_cast<int>(random() % 5); i < n; ++i) steps.push_back(random() % 2 == 0 ? 1 : -1);
      for (std::size_t i = 0, n = steps.size(); i < n; ++i) steps.push_back(-steps[i]);
      std::shuffle(steps.begin(), steps.end(), random);
      int level = 0;
      for (const int step : steps) AdjustBrightness(dib, saved, level, step);
      EXPECT_EQ(level, 0);
      ASSERT_EQ(test::BytesOf(dib), original) << bits << " bits after " << testing::PrintToString(steps);
    }
  }
}

}  // namespace
}  // namespace ravelle
