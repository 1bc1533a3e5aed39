// Builds IFF files chunk by chunk for the reader tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/output_file.h"

namespace ravelle::test::iff {

struct Chunk {
  std::string id;
  std::vector<uint8_t> data;
};

inline std::vector<uint8_t> Form(const std::string& type, const std::vector<Chunk>& chunks) {
  std::vector<uint8_t> out = {'F', 'O', 'R', 'M', 0, 0, 0, 0};
  out.insert(out.end(), type.begin(), type.end());
  for (const Chunk& c : chunks) {
    out.insert(out.end(), c.id.begin(), c.id.end());
    AppendU32be(out, static_cast<uint32_t>(c.data.size()));
    out.insert(out.end(), c.data.begin(), c.data.end());
    if (c.data.size() & 1) out.push_back(0);
  }
  return out;
}

inline Chunk Bmhd(int width, int height, int planes, int masking = 0, int compression = 0, int transparent = 0) {
  std::vector<uint8_t> d;
  AppendU16be(d, static_cast<uint16_t>(width));
  AppendU16be(d, static_cast<uint16_t>(height));
  AppendU32be(d, 0);
  d.insert(d.end(), {static_cast<uint8_t>(planes), static_cast<uint8_t>(masking), static_cast<uint8_t>(compression), 0});
  AppendU16be(d, static_cast<uint16_t>(transparent));
  d.insert(d.end(), {10, 11, 0, 0, 0, 0});
  return {"BMHD", d};
}

inline Chunk Cmap(int entries) {
  std::vector<uint8_t> d;
  for (int i = 0; i < entries; ++i) d.insert(d.end(), {static_cast<uint8_t>(i * 8), static_cast<uint8_t>(i * 4), static_cast<uint8_t>(i * 2)});
  return {"CMAP", d};
}

inline Chunk Camg(uint32_t mode) {
  std::vector<uint8_t> d;
  AppendU32be(d, mode);
  return {"CAMG", d};
}

}  // namespace ravelle::test::iff
