#include "formats/heif/heif_reader.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace ravelle::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes BoxOf(const char* type, const Bytes& body, bool full = false, uint32_t versionFlags = 0) {
  const uint32_t size = uint32_t(body.size() + 8 + (full ? 4 : 0));
  Bytes box{uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)};
  box.insert(box.end(), type, type + 4);
  if (full) box.insert(box.end(), {uint8_t(versionFlags >> 24), uint8_t(versionFlags >> 16), uint8_t(versionFlags >> 8), uint8_t(versionFlags)});
  box.insert(box.end(), body.begin(), body.end());
  return box;
}
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A HEIF file's boxes by hand: item 1 is primary, its properties (ispe 5000 x 3000, then the
// given ones) associated in order; item 2 gets an irot of its own. `ipmaVersionFlags` 1 gives
// 32-bit item numbers, flag 1 16-bit property indexes.
Bytes HeifBoxes(const std::vector<Bytes>& properties, uint32_t ipmaVersionFlags = 0, uint32_t width = 5000) {
  Bytes ipco = BoxOf("ispe", {uint8_t(width >> 24), uint8_t(width >> 16), uint8_t(width >> 8), uint8_t(width), 0, 0, 0x0B, 0xB8}, true);
  for (const Bytes& p : properties) ipco = ipco + p;
  ipco = ipco + BoxOf("irot", {1});
  const bool wideItems = ipmaVersionFlags >> 24 != 0, wideIndexes = (ipmaVersionFlags & 1) != 0;
  Bytes ipma{0, 0, 0, 2};
  const auto entry = [&](uint32_t item, std::vector<int> indexes) {
    if (wideItems) ipma.insert(ipma.end(), {0, 0});
    ipma.insert(ipma.end(), {uint8_t(item >> 8), uint8_t(item), uint8_t(indexes.size())});
    for (int i : indexes) {
      if (wideIndexes) ipma.push_back(0x80);
      ipma.push_back(uint8_t(wideIndexes ? i : 0x80 | i));
    }
  };
  std::vector<int> first;
  for (int i = 1; i <= int(properties.size()) + 1; ++i) first.push_back(i);
  entry(2, {int(properties.size()) + 2});
  entry(1, first);
  const Bytes iinf = BoxOf("iinf", Bytes{0, 1} + BoxOf("infe", {0, 1, 0, 0, 'h', 'v', 'c', '1', 0}, true, 0x02000000), true);
  const Bytes meta = BoxOf("hdlr", {0, 0, 0, 0, 'p', 'i', 'c', 't', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true) +
                     BoxOf("pitm", {0, 1}, true) + iinf +
                     BoxOf("iprp", BoxOf("ipco", ipco) + BoxOf("ipma", ipma, true, ipmaVersionFlags));
  return BoxOf("ftyp", {'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1', 'h', 'e', 'i', 'c'}) + BoxOf("meta", meta, true);
}

// The primary item's rotation and mirror, in their order, as an orientation; its size and channel
// count; the other item's properties and cut boxes change nothing.
TEST(HeifReader, PrimaryTraitsFromTheBoxes) {
  const Bytes irot1 = BoxOf("irot", {1}), irot3 = BoxOf("irot", {3}), imir0 = BoxOf("imir", {0}), imir1 = BoxOf("imir", {1});
  const Bytes grey = BoxOf("pixi", {1, 8}, true);
  const struct {
    const char* what;
    Bytes file;
    int orientation;
    bool monochrome;
    uint32_t width = 5000;
  } rows[] = {
      {"none", HeifBoxes({}), 1, false},
      {"irot 1", HeifBoxes({irot1}), 8, false},
      {"irot 3, imir 0", HeifBoxes({irot3, imir0}), 7, false},
      {"imir 1, then irot 1", HeifBoxes({imir1, irot1}), 5, false},
      {"imir 1, grey", HeifBoxes({imir1, grey}), 2, true},
      {"32-bit items, 16-bit indexes", HeifBoxes({irot3}, 0x01000001), 6, false},
      {"cut in the ipma", [&] { Bytes f = HeifBoxes({irot1, grey}); return Bytes(f.begin(), f.end() - 3); }(), 1, false, 0},
      {"no boxes", Bytes{1, 2, 3}, 1, false, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const HeifPrimaryTraits traits = ReadHeifPrimaryTraits(row.file);
    EXPECT_EQ(traits.orientation, row.orientation);
    EXPECT_EQ(traits.monochrome, row.monochrome);
    EXPECT_EQ(traits.width, row.width);
    const ReadResult read = ReadHeifImage(row.file);
    EXPECT_FALSE(read.dib);
    EXPECT_NE(read.status, ReadStatus::Ok);
  }
  EXPECT_EQ(ReadHeifImage(HeifBoxes({}, 0, 100000)).status, ReadStatus::TooLarge);
}

}  // namespace
}  // namespace ravelle::test
