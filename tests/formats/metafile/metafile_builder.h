// Hand-made Windows metafiles for the tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "formats/metafile/metafile.h"
#include "support/test_support.h"

namespace ravelle::test {

// A WMF: records of 16-bit parameters, closed by the end-of-file record.
struct WmfBuilder {
  std::vector<uint16_t> records;
  uint16_t objects = 4;

  WmfBuilder& Rec(uint16_t function, std::initializer_list<int> params) { return Rec(function, std::span(params.begin(), params.size())); }
  WmfBuilder& Rec(uint16_t function, std::span<const int> params) {
    const uint32_t size = 3 + static_cast<uint32_t>(params.size());
    records.push_back(static_cast<uint16_t>(size));
    records.push_back(static_cast<uint16_t>(size >> 16));
    records.push_back(function);
    for (int p : params) records.push_back(static_cast<uint16_t>(p));
    return *this;
  }
  // A plain WMF; `sizeWords` replaces the header's size when not 0.
  std::vector<uint8_t> Bytes(uint32_t sizeWords = 0) const {
    std::vector<uint16_t> words = {1, 9, 0x300, 0, 0, objects, 0, 0, 0};
    words.insert(words.end(), records.begin(), records.end());
    for (uint16_t w : {3, 0, 0}) words.push_back(w);
    const uint32_t size = sizeWords != 0 ? sizeWords : static_cast<uint32_t>(words.size());
    words[3] = static_cast<uint16_t>(size);
    words[4] = static_cast<uint16_t>(size >> 16);
    std::vector<uint8_t> out;
    for (uint16_t w : words) out.push_back(static_cast<uint8_t>(w)), out.push_back(static_cast<uint8_t>(w >> 8));
    return out;
  }
  // With a placeable header before it.
  std::vector<uint8_t> Placeable(int16_t left, int16_t top, int16_t right, int16_t bottom, uint16_t unitsPerInch) const {
    std::vector<uint8_t> out = {0xD7, 0xCD, 0xC6, 0x9A, 0, 0};
    for (int v : {int{left}, int{top}, int{right}, int{bottom}, int{unitsPerInch}, 0, 0, 0}) {
      out.push_back(static_cast<uint8_t>(v)), out.push_back(static_cast<uint8_t>(v >> 8));
    }
    const auto body = Bytes();
    out.insert(out.end(), body.begin(), body.end());
    return out;
  }
};

}  // namespace ravelle::test
