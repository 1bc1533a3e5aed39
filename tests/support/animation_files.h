// Hand-built animation files for tests: GIF files (their image data from our own encoder),
// icon files of any depth with their AND masks, and WebP animations of lossless frames.
#pragma once

#include <webp/decode.h>
#include <webp/encode.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "formats/dib/bmp_builder.h"
#include "image/packed_dib.h"
#include "support/encoders.h"
#include "support/test_images.h"

namespace ravelle::test {
namespace gif {

using Bytes = std::vector<uint8_t>;

inline void Add(Bytes& b, std::initializer_list<int> values) {
  for (int v : values) b.push_back(static_cast<uint8_t>(v));
}
inline void Add16(Bytes& b, int v) { Add(b, {v & 0xFF, v >> 8}); }

// A header and screen descriptor with `tableEntries` colours (entry i is i, 2i, 3i).
inline Bytes Header(const char* version, int width, int height, int packed, int tableEntries, int background = 0) {
  Bytes b = {'G', 'I', 'F'};
  Add(b, {version[0], version[1], version[2]});
  Add16(b, width);
  Add16(b, height);
  Add(b, {packed, background, 0});
  for (int i = 0; i < tableEntries; ++i) Add(b, {i & 0xFF, (2 * i) & 0xFF, (3 * i) & 0xFF});
  return b;
}

inline void Control(Bytes& b, int disposal, int delay, int transparent = -1) {
  Add(b, {0x21, 0xF9, 4, (disposal << 2) | (transparent >= 0 ? 1 : 0), delay & 0xFF, delay >> 8,
          transparent >= 0 ? transparent : 0, 0});
}

// Rows in the order they are stored: the four interlace passes when `interlaced`.
inline Bytes InFileOrder(const Bytes& pixels, int width, int height, bool interlaced) {
  if (!interlaced) return pixels;
  Bytes order;
  const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = starts[pass]; y < height; y += steps[pass]) {
      order.insert(order.end(), pixels.begin() + y * width, pixels.begin() + (y + 1) * width);
    }
  }
  return order;
}

// An image of the given pixels (top row first), with a local table of 2^(localBits) entries.
inline void Image(Bytes& b, int left, int top, int width, int height, const Bytes& pixels, int localBits = 0,
           bool interlaced = false) {
  Add(b, {0x2C});
  Add16(b, left);
  Add16(b, top);
  Add16(b, width);
  Add16(b, height);
  Add(b, {(localBits ? 0x80 | (localBits - 1) : 0) | (interlaced ? 0x40 : 0)});
  for (int i = 0; i < (localBits ? 1 << localBits : 0); ++i) Add(b, {255 - i, 0, i});
  EncodeGifLzw(InFileOrder(pixels, width, height, interlaced), 8, b);
}

inline Bytes Solid(int width, int height, int index) { return Bytes(static_cast<std::size_t>(width * height), static_cast<uint8_t>(index)); }

}  // namespace gif

namespace icon {

// One image of a hand-built icon file: pixel values (as PixelAt gives them, top row first) and
// the AND mask's bit for each pixel.
struct IconPicture {
  int width = 0;
  int height = 0;
  int bits = 4;
  std::vector<RgbQuad> table;  // written as is; biClrUsed is its size when `clrUsed`
  bool clrUsed = false;
  std::function<uint32_t(int, int)> pixel = [](int, int) { return 0u; };
  std::function<bool(int, int)> masked = [](int, int) { return false; };
  int entryWidth = -1;         // the directory's byte, when it differs from the width
};

inline std::vector<uint8_t> IconFile(const std::vector<IconPicture>& pictures, int type = 1, int reserved = 0) {
  std::vector<uint8_t> b;
  Put16(b, reserved);
  Put16(b, type);
  Put16(b, static_cast<uint32_t>(pictures.size()));
  std::vector<std::vector<uint8_t>> images;
  for (const IconPicture& p : pictures) {
    PackedDib xorImage = CreateDib(p.width, p.height, p.bits);
    PackedDib mask = CreateDib(p.width, p.height, 1);
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        SetPixel(xorImage, x, y, p.pixel(x, y));
        SetPixel(mask, x, y, p.masked(x, y) ? 1 : 0);
      }
    }
    std::vector<uint8_t> image;
    Put32(image, 40);
    Put32(image, p.width);
    Put32(image, 2 * p.height);
    Put16(image, 1);
    Put16(image, p.bits);
    for (int i = 0; i < 4; ++i) Put32(image, 0);
    Put32(image, p.clrUsed ? static_cast<uint32_t>(p.table.size()) : 0);
    Put32(image, 0);
    for (const RgbQuad& c : p.table) Put32(image, c.rgbBlue | c.rgbGreen << 8 | c.rgbRed << 16);
    const auto rows = xorImage.Pixels();
    image.insert(image.end(), rows.begin(), rows.end());
    image.insert(image.end(), mask.Pixels().begin(), mask.Pixels().end());
    images.push_back(std::move(image));
  }
  std::size_t offset = 6 + 16 * pictures.size();
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const IconPicture& p = pictures[i];
    b.push_back(static_cast<uint8_t>(p.entryWidth >= 0 ? p.entryWidth : p.width));
    b.push_back(static_cast<uint8_t>(p.height));
    b.push_back(0);
    b.push_back(0);
    Put16(b, 7);  // a hot spot, for a cursor
    Put16(b, 9);
    Put32(b, static_cast<uint32_t>(images[i].size()));
    Put32(b, static_cast<uint32_t>(offset));
    offset += images[i].size();
  }
  for (const auto& image : images) b.insert(b.end(), image.begin(), image.end());
  return b;
}

// The 16 standard colours: black first, white last.
inline std::vector<RgbQuad> StandardTable() {
  std::vector<RgbQuad> table;
  for (int i = 0; i < 15; ++i) table.push_back({static_cast<uint8_t>(i * 16), static_cast<uint8_t>(i * 8), static_cast<uint8_t>(i * 4), 0});
  table.push_back({255, 255, 255, 0});
  return table;
}

inline IconPicture Checkered(int size, int bits) {
  IconPicture p{size, size, bits, bits <= 8 ? StandardTable() : std::vector<RgbQuad>{}};
  if (bits == 8) p.table.resize(256, {1, 2, 3, 0});
  p.pixel = [bits](int x, int y) -> uint32_t {
    if (bits <= 8) return x < 3 ? 0u : static_cast<uint32_t>((x + y) % 15);  // black where masked
    if (bits == 16) return static_cast<uint32_t>((x * 31 + y) & 0x7FFF);
    return Rgb(static_cast<uint8_t>(x * 8), static_cast<uint8_t>(y * 8), 77);
  };
  p.masked = [](int x, int) { return x < 3; };
  return p;
}

// ---- animated cursors: a RIFF "ACON" form of chunks, "fram" standing for the LIST of frames.

struct AniChunk {
  const char* id;
  std::vector<uint8_t> data;
};

inline void PutId(std::vector<uint8_t>& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}

inline std::vector<uint8_t> Dwords(std::initializer_list<uint32_t> values) {
  std::vector<uint8_t> b;
  for (uint32_t v : values) Put32(b, v);
  return b;
}

inline std::vector<uint8_t> Anih(uint32_t frames, uint32_t steps) { return Dwords({36, frames, steps, 0, 0, 0, 0, 10, 1}); }

inline std::vector<uint8_t> AniFile(const std::vector<AniChunk>& chunks) {
  std::vector<uint8_t> body;
  PutId(body, "ACON");
  for (const AniChunk& chunk : chunks) {
    const bool list = std::string_view(chunk.id) == "fram";
    if (list) {
      PutId(body, "LIST");
      Put32(body, static_cast<uint32_t>(chunk.data.size() + 4));
    }
    PutId(body, chunk.id);
    if (!list) Put32(body, static_cast<uint32_t>(chunk.data.size()));
    body.insert(body.end(), chunk.data.begin(), chunk.data.end());
    if (body.size() % 2 != 0) body.push_back(0);
  }
  std::vector<uint8_t> b;
  PutId(b, "RIFF");
  Put32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// The frame list: "icon" chunks each holding an 8 x 8 cursor of one colour, index i % 2 of a
// table whose entry 1 is red, so that a frame can be told by its first pixel.
inline std::vector<uint8_t> Frames(int count) {
  std::vector<uint8_t> b;
  for (int i = 0; i < count; ++i) {
    IconPicture p{8, 8, 8, {{0, 0, 0, 0}, {0, 0, 255, 0}}};
    p.table.resize(256);
    p.pixel = [i](int, int) { return static_cast<uint32_t>(i % 2); };
    const auto icon = IconFile({p}, 2);
    PutId(b, "icon");
    Put32(b, static_cast<uint32_t>(icon.size()));
    b.insert(b.end(), icon.begin(), icon.end());
  }
  return b;
}

}  // namespace icon

namespace webp {

using Bytes = std::vector<uint8_t>;

// A lossless WebP of one colour.
inline Bytes Solid(int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
  Bytes rgb;
  for (int i = 0; i < width * height; ++i) rgb.insert(rgb.end(), {red, green, blue});
  uint8_t* out = nullptr;
  const std::size_t size = WebPEncodeLosslessRGB(rgb.data(), width, height, width * 3, &out);
  Bytes file(out, out + size);
  WebPFree(out);
  return file;
}

struct Frame {
  Bytes still;  // a simple file, whose chunks after its RIFF header become the frame's
  uint32_t x = 0, y = 0;  // even
  uint32_t duration = 100;  // milliseconds
};

// An animation by hand: a canvas and its frames at their offsets, each drawn over what is there.
inline Bytes AnimationFile(uint32_t canvasWidth, uint32_t canvasHeight, const std::vector<Frame>& frames) {
  const auto le = [](Bytes& to, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) to.push_back(static_cast<uint8_t>(uint64_t{v} >> (8 * i)));
  };
  const auto chunk = [&](Bytes& to, const char* name, const Bytes& body) {
    to.insert(to.end(), name, name + 4);
    le(to, static_cast<uint32_t>(body.size()), 4);
    to.insert(to.end(), body.begin(), body.end());
    if (body.size() % 2 != 0) to.push_back(0);
  };
  Bytes vp8x{0x12, 0, 0, 0}, anim, chunks;
  le(vp8x, canvasWidth - 1, 3);
  le(vp8x, canvasHeight - 1, 3);
  le(anim, 0, 6);
  chunk(chunks, "VP8X", vp8x);
  chunk(chunks, "ANIM", anim);
  for (const Frame& f : frames) {
    WebPBitstreamFeatures features;
    WebPGetFeatures(f.still.data(), f.still.size(), &features);
    Bytes anmf;
    le(anmf, f.x / 2, 3);
    le(anmf, f.y / 2, 3);
    le(anmf, features.width - 1, 3);
    le(anmf, features.height - 1, 3);
    le(anmf, f.duration, 3);
    anmf.push_back(0);
    anmf.insert(anmf.end(), f.still.begin() + 12, f.still.end());
    chunk(chunks, "ANMF", anmf);
  }
  Bytes file{'R', 'I', 'F', 'F'};
  le(file, static_cast<uint32_t>(chunks.size() + 4), 4);
  file.insert(file.end(), {'W', 'E', 'B', 'P'});
  file.insert(file.end(), chunks.begin(), chunks.end());
  return file;
}

}  // namespace webp
}  // namespace ravelle::test
