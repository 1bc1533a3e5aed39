// A header asking for a 65535 x 65535 picture (65500 for JPEG, the library's largest) of each
// format that has one: far over the image limit, so the load stops at once with the reader's
// allocation message. And headers asking for pictures that fit the limit, over data that ends
// after a row: reading them costs the allocation and that row, no more.
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include "formats/dib/bmp_builder.h"
#include "formats/dib/dib_reader.h"
#include "formats/iff/iff.h"
#include "formats/iff_builder.h"
#include "formats/pcx/pcx_file.h"
#include "formats/registry.h"
#include "image/output_file.h"
#include "headless/headless_port.h"
#include "shell/load.h"
#include "support/animation_files.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Padded(Bytes bytes, std::size_t zeros = 64) {
  bytes.resize(bytes.size() + zeros, 0);
  return bytes;
}

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
  return Padded(b, 128 - b.size() + 16);
}

Bytes Targa() {
  Bytes b{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  AppendU16le(b, 65535), AppendU16le(b, 65535), b.insert(b.end(), {24, 0});
  return Padded(b);
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

Bytes Tiff() {
  // One IFD of 9 entries at offset 8; the bit depths behind it at 122.
  Bytes b{'I', 'I', 42, 0};
  AppendU32le(b, 8);
  AppendU16le(b, 9);
  const auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    AppendU16le(b, tag), AppendU16le(b, type), AppendU32le(b, count), AppendU32le(b, value);
  };
  entry(256, 3, 1, 65535), entry(257, 3, 1, 65535), entry(258, 3, 3, 122), entry(259, 3, 1, 1), entry(262, 3, 1, 2);
  entry(273, 4, 1, 128), entry(277, 3, 1, 3), entry(278, 3, 1, 65535), entry(279, 4, 1, 0xFFFFFFFF);
  AppendU32le(b, 0);
  AppendU16le(b, 8), AppendU16le(b, 8), AppendU16le(b, 8);
  b.resize(128, 0);
  return Padded(b);
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
      {"a.tif", Tiff, "Memory Allocation Error"},
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

// The share of the pages under `bytes` that are in memory. A large image block is mapped from
// the system, so that the pages no one wrote or read are not.
double ResidentShare(std::span<const uint8_t> bytes) {
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const uintptr_t begin = reinterpret_cast<uintptr_t>(bytes.data()) / page * page;
  const uintptr_t end = reinterpret_cast<uintptr_t>(bytes.data() + bytes.size());
  std::vector<unsigned char> resident((end - begin + page - 1) / page);
  if (::mincore(reinterpret_cast<void*>(begin), end - begin, resident.data()) != 0) return 1;
  return static_cast<double>(std::count_if(resident.begin(), resident.end(), [](unsigned char r) { return (r & 1) != 0; })) /
         static_cast<double>(resident.size());
}

TEST(HugeHeaderTest, ShortFilesWithLargeHeadersTouchOnlyWhatTheirDataFills) {
  using test::iff::Bmhd;
  using test::iff::Form;
  using test::iff::Cmap;
  const auto pcx = [] {
    Bytes b{10, 5, 1, 8, 0, 0, 0, 0};
    AppendU16le(b, 3999), AppendU16le(b, 15999);  // 4000 x 16000 at 8 bits
    b.resize(65, 0);
    b.push_back(1);
    AppendU16le(b, 4000);
    b.resize(128, 0);
    return Padded(b, 4000);
  };
  // Each asks for some 64 MB and holds one row (a top-down file its top row).
  const struct {
    const char* name;
    std::function<ReadResult()> read;
  } cases[] = {
      {"top-down 5-6-5", [] {
         return ReadWindowsDib(test::WindowsBmp({.width = 6, .height = -6000000, .bits = 16, .compression = 3},
                                                test::Le32({0xF800, 0x07E0, 0x001F}), Bytes(12, 0xFF)));
       }},
      {"Windows, padded rows", [] { return ReadWindowsDib(test::WindowsBmp({.width = 5, .height = 4000000, .bits = 24}, {}, Bytes(16, 1))); }},
      {"OS/2", [] { return ReadOs2Dib(test::Os2Bmp(1001, 30000, 24, {}, Bytes(3004, 1))); }},
      {"OS/2 2.0", [] { return ReadOs2v2Dib(test::Os2v2Bmp(5, 4000000, 24, 0, {}, Bytes(16, 1))); }},
      {"PCX", [&] { return ReadPcxImage(pcx()); }},
      {"IFF", [] { return ReadIffImage(Form("PBM ", {Bmhd(4000, 16000, 8), Cmap(16), {"BODY", Bytes(4000, 1)}})); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadResult r = c.read();
    ASSERT_TRUE(r.dib);
    EXPECT_EQ(r.status, ReadStatus::Truncated);
    EXPECT_GT(r.dib.Size(), std::size_t{50} << 20);
    EXPECT_LT(ResidentShare(r.dib.Bytes()), 0.25);
  }
}

}  // namespace
}  // namespace ravelle
