// A header asking for a 65535 x 65535 picture (65500 for JPEG, the library's largest) of each
// format that has one: far over the image limit, so the load stops at once with the reader's
// allocation message.
#include <zlib.h>

#include "formats/dib/bmp_builder.h"
#include "formats/iff_builder.h"
#include "formats/registry.h"
#include "image/output_file.h"
#include "headless/headless_port.h"
#include "shell/load.h"
#include "support/animation_files.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Gif() {
  Bytes b = test::gif::Header("89a", 65535, 65535, 0xF7, 256);
  test::gif::Add(b, {',', 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 8, 2, 0x4C, 1, 0, ';'});
  return b;
}

Bytes Pcx() {
  Bytes b{10, 5, 1, 8};
  AppendU16le(b, 0x8000), AppendU16le(b, 0x8000), AppendU16le(b, 32766), AppendU16le(b, 32766);
  b.resize(65, 0);
  b.push_back(1);
  AppendU16le(b, 32767);
  b.resize(144, 0);  // a 128-byte header and a little coded data
  return b;
}

Bytes Targa() {
  Bytes b{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  AppendU16le(b, 65535), AppendU16le(b, 65535), b.insert(b.end(), {24, 0});
  b.resize(b.size() + 64, 0);
  return b;
}

Bytes Iff(int planes) {
  using namespace test::iff;
  std::vector<Chunk> chunks = {Bmhd(65535, 65535, planes), Cmap(16), {"BODY", Bytes(64)}};
  if (planes == 24) chunks.erase(chunks.begin() + 1);
  return Form("ILBM", chunks);
}

Bytes SunIcon() {
  const std::string text = "/* Format_version=1, Width=65535, Height=65535, Depth=8, Valid_bits_per_item=16\n */\n0x0000,0x0000\n";
  return {text.begin(), text.end()};
}

// A small file of the project's own writer with its size fields made huge.
Bytes Written(const char* writer, const std::function<void(Bytes&)>& patch) {
  test::TempDir temp;
  const auto file = temp / "small";
  if (FindWriterByName(writer)->write(test::DrawDib(16, 16, 24), file) != WriteOutcome::Written) return {};
  Bytes b = test::ReadBytes(file);
  patch(b);
  return b;
}

Bytes Jpeg() {
  return Written("jpeg", [](Bytes& b) {
    for (std::size_t i = 2; i + 9 < b.size(); ++i) {
      if (b[i] == 0xFF && b[i + 1] == 0xC0) {
        b[i + 5] = b[i + 7] = 0xFF, b[i + 6] = b[i + 8] = 0xDC;  // 65500 rows and columns
        return;
      }
    }
  });
}

Bytes Png() {
  return Written("png", [](Bytes& b) {
    // IHDR's data at 16 (width, height), its CRC over type and data at 29.
    for (int at : {16, 20}) b[at] = 0, b[at + 1] = 0, b[at + 2] = 0xFF, b[at + 3] = 0xFF;
    const auto crc = static_cast<uint32_t>(crc32(0, b.data() + 12, 17));
    b[29] = static_cast<uint8_t>(crc >> 24), b[30] = static_cast<uint8_t>(crc >> 16);
    b[31] = static_cast<uint8_t>(crc >> 8), b[32] = static_cast<uint8_t>(crc);
  });
}

struct HugeCase {
  const char* name;
  std::function<Bytes()> bytes;
  const char* message;
  ReadStatus status = ReadStatus::TooLarge;
};

TEST(HugeHeaderTest, ShowsTheAllocationMessageAndLoadsNothing) {
  const HugeCase cases[] = {
      {"win.bmp", [] { return test::WindowsBmp({.width = 65535, .height = 65535, .bits = 24}, {}, Bytes(64)); },
       "Memory allocation error"},
      {"os2.bmp", [] { return test::Os2Bmp(65535, 65535, 24, {}, Bytes(64)); }, "Memory allocation error"},
      {"os2v2.bmp", [] { return test::Os2v2Bmp(65535, 65535, 24, 0, {}, Bytes(64)); }, "Memory Allocation Error"},
      {"a.gif", Gif, "Memory Allocation Error"},
      {"a.pcx", Pcx, "Memory Allocation Error"},
      {"a.tga", Targa, "Memory Allocation Error"},
      {"a.iff", [] { return Iff(8); }, "Memory Allocation Error"},
      {"rgb.iff", [] { return Iff(24); }, "Global Allocation Error"},
      {"a.icon", SunIcon, "Memory Allocation Error"},
      {"a.jpg", Jpeg, "Memory Allocation Error"},
      {"a.png", Png, "Memory Allocation Error"},
  };
  test::TempDir temp;
  for (const HugeCase& c : cases) {
    const std::string file = (temp / c.name).string();
    test::WriteBytes(file, c.bytes());
    HeadlessPort port;
    CurrentImage image;
    image.PreviewBox = {320, 320};
    LoadSelectedFile(image, port, file);
    EXPECT_EQ(image.Kind, ImageKind::NoImage) << c.name;
    ASSERT_FALSE(port.messages.empty()) << c.name;
    EXPECT_EQ(port.messages.back().message, (Message{c.message, "", kMbIconHand})) << c.name;
    EXPECT_EQ(image.LoadStatus, c.status) << c.name;
  }
}

}  // namespace
}  // namespace ravelle
