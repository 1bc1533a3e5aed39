// Every writer of the registry from every depth it takes: the file reads back as written by our
// reader (in memory and by offset) and by the format's independent decoders, at the format's
// precision, and its header holds the bytes the format asks for.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "colour/reduce_colors.h"
#include "formats/lib/lib_fixtures.h"
#include "formats/registry.h"
#include "support/encoders.h"
#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using test::Palette;
using test::RgbImage;

struct Source {
  const char* name;
  PackedDib dib;
  Palette palette = Palette::Colour;
  int grayBits = 0;  // the reader's levels of 2- or 4-bit gray files, which the PNG writer writes as gray
  bool noise = false;
};

std::vector<Source> Sources() {
  const struct {
    const char* name;
    int bits;
    Palette palette;
    uint32_t colours;
  } drawn[] = {{"1 white-black", 1, Palette::WhiteBlack, 0}, {"1 black-white", 1, Palette::BlackWhite, 0},
               {"1 colour", 1, Palette::Colour, 0},        {"4 colour", 4, Palette::Colour, 0},
               {"4 of 3 colours", 4, Palette::Colour, 3},  {"4 of 7 colours", 4, Palette::Colour, 7},
               {"4 gray", 4, Palette::Gray, 0},            {"8 colour", 8, Palette::Colour, 0},
               {"8 of 20 colours", 8, Palette::Colour, 20}, {"8 gray", 8, Palette::Gray, 0},
               {"16", 16, Palette::Colour, 0},             {"24", 24, Palette::Colour, 0},
               {"32", 32, Palette::Colour, 0},             {"32 with alpha", 32, Palette::Colour, 0}};
  std::vector<Source> sources;
  for (const auto& d : drawn) sources.push_back({d.name, test::DrawDib(101, 37, d.bits, d.palette, d.colours), d.palette});
  sources.back().dib.Row(0)[3] = 128;  // the alpha
  sources.push_back({"4 reader grays of 4", test::ReaderGrays(101, 37, 4), Palette::Gray, 2});
  sources.push_back({"4 reader grays of 16", test::ReaderGrays(101, 37, 16), Palette::Gray, 4});
  // Noise fills the LZW code table many times over and gives the run coders literals; the
  // wide one crosses the by-offset readers' 64 KiB window. 302 pixels (4k + 2) end an RLE4 row
  // with its two-pixel tail.
  sources.push_back({"4 noise", test::RandomImage(302, 5, 4, 4), Palette::Colour, 0, true});
  sources.push_back({"8 noise", test::RandomImage(400, 150, 8, 8), Palette::Colour, 0, true});
  sources.push_back({"24 noise, wide", test::RandomImage(1500, 18, 24, 24), Palette::Colour, 0, true});
  return sources;
}

// Header bytes of what a writer makes of a source (an offset below 0 counts from the end).
const struct {
  const char* writer;
  const char* source;
  std::vector<std::pair<int, int>> bytes;  // offset, value
} kHeaderBytes[] = {
    // PCX: version 5, bits per pixel, planes, bytes per line (odd, not rounded up); 8 bits with
    // the 256-colour trailer, zero past the image's colours.
    {"pcx", "1 white-black", {{1, 5}, {3, 1}, {65, 1}, {66, 13}, {67, 0}}},
    {"pcx", "4 of 3 colours", {{3, 1}, {65, 2}, {66, 13}}}, {"pcx", "4 of 7 colours", {{3, 1}, {65, 3}}},
    {"pcx", "4 colour", {{3, 1}, {65, 4}}}, {"pcx", "8 colour", {{3, 8}, {65, 1}, {66, 101}, {-769, 12}}},
    {"pcx", "8 of 20 colours", {{3, 8}, {65, 1}, {-769, 12}, {-769 + 1 + 3 * 20, 0}, {-769 + 1 + 3 * 20 + 5, 0}}},
    {"pcx", "16", {{3, 8}, {65, 3}, {66, 101}}}, {"pcx", "24", {{3, 8}, {65, 3}}},
    {"pcx", "32", {{3, 8}, {65, 3}}},
    // Targa: map type, image type, map length, map entry bits, depth, descriptor. Gray tables
    // of more than 16 entries give monochrome files; other tables colour maps.
    {"tga", "1 colour", {{1, 1}, {2, 1}, {5, 2}, {6, 0}, {7, 24}, {16, 8}, {17, 0}}},
    {"tga", "4 gray", {{1, 1}, {2, 1}, {5, 16}, {7, 24}, {16, 8}}},
    {"tga", "8 gray", {{1, 0}, {2, 3}, {5, 0}, {7, 0}, {16, 8}}},
    {"tga", "8 colour", {{1, 1}, {2, 1}, {5, 0}, {6, 1}, {7, 24}, {16, 8}}},
    {"tga", "16", {{1, 0}, {2, 2}, {7, 0}, {16, 16}, {17, 0}}}, {"tga", "24", {{1, 0}, {2, 2}, {16, 24}}},
    {"tga", "32", {{1, 0}, {2, 2}, {16, 32}, {17, 0}}}, {"tga-rle", "1 colour", {{1, 1}, {2, 9}, {5, 2}, {7, 24}, {16, 8}}},
    {"tga-rle", "8 gray", {{1, 0}, {2, 11}, {16, 8}}}, {"tga-rle", "16", {{2, 10}, {16, 16}}},
    {"tga-rle", "32", {{2, 10}, {16, 32}, {17, 0}}},
    // GIF: the screen's table as big as the image's.
    {"gif", "1 colour", {{10, 0x80}}}, {"gif", "4 colour", {{10, 0xB3}}},
    {"gif", "8 colour", {{10, 0xF7}}}, {"gif-interlaced", "4 of 3 colours", {{10, 0x91}}},
    // PNG: bit depth and colour type. Fewer colours take fewer bits; the even gray ramp stays a
    // palette, the reader's gray levels become gray.
    {"png", "1 black-white", {{24, 1}, {25, 0}}}, {"png", "1 white-black", {{24, 1}, {25, 0}}},
    {"png", "1 colour", {{24, 1}, {25, 3}}}, {"png", "4 colour", {{24, 4}, {25, 3}}},
    {"png", "4 of 7 colours", {{24, 4}, {25, 3}}}, {"png", "4 of 3 colours", {{24, 2}, {25, 3}}},
    {"png", "4 gray", {{24, 4}, {25, 3}}}, {"png", "4 reader grays of 4", {{24, 2}, {25, 0}}},
    {"png", "4 reader grays of 16", {{24, 4}, {25, 0}}}, {"png", "8 colour", {{24, 8}, {25, 3}}},
    {"png", "8 gray", {{24, 8}, {25, 0}}}, {"png-adam7", "8 gray", {{24, 8}, {25, 0}, {28, 1}}},
    {"png", "16", {{24, 8}, {25, 2}}}, {"png", "24", {{24, 8}, {25, 2}, {28, 0}}},
    {"png", "32", {{24, 8}, {25, 2}}},  // no alpha in the fourth bytes: written opaque
    {"png", "32 with alpha", {{24, 8}, {25, 6}}},
};

// What a HAM file must show: the one-row coder's codes decoded with the writer's grey map.
RgbImage HamPicture(const PackedDib& dib) {
  RgbImage rgb = test::AsWritten(dib);
  std::vector<uint8_t> codes(rgb.width);
  for (int y = 0; y < rgb.height; ++y) {
    uint8_t* row = rgb.rgb.data() + 3 * static_cast<std::size_t>(rgb.width) * y;
    test::EncodeHamRow(std::span(row, 3 * rgb.width), codes);
    uint8_t c[3] = {0, 0, 0};
    for (int x = 0; x < rgb.width; ++x) {
      const int v = codes[x] & 15;
      switch (codes[x] >> 4) {
        case 0: c[0] = c[1] = c[2] = static_cast<uint8_t>(16 * v); break;
        case 1: c[2] = static_cast<uint8_t>(16 * v + (c[2] & 15)); break;
        case 2: c[0] = static_cast<uint8_t>(16 * v + (c[0] & 15)); break;
        default: c[1] = static_cast<uint8_t>(16 * v + (c[1] & 15)); break;
      }
      std::copy(c, c + 3, row + 3 * x);
    }
  }
  return rgb;
}

// The independent decoders of each extension: ImageMagick, a netpbm decoder, tiff2rgba or a
// command writing %o.ppm or %o.png.
const struct {
  std::string_view extension;
  std::string program;
  std::string how;
} kDecoders[] = {
    {"bmp", "convert", "magick"},   {"gif", "convert", "magick"},   {"gif", "giftopnm", "netpbm"},
    {"iff", "ilbmtoppm", "netpbm"}, {"jpg", "djpeg", "netpbm"},     {"pcx", "pcxtoppm", "netpbm"},
    {"png", "convert", "magick"},   {"tga", "tgatoppm", "netpbm"},  {"tif", "tiff2rgba", "tiff2rgba"},
    {"webp", "dwebp", "/usr/bin/dwebp -quiet %i -ppm -o %o.ppm"},
    {"avif", "avifdec", "/usr/bin/avifdec %i %o.png >/dev/null"},
    {"jxl", "djxl", "/usr/bin/djxl %i %o.ppm 2>/dev/null"},
};

std::optional<RgbImage> DecodeWith(const std::string& program, const std::string& how, const std::filesystem::path& file,
                                   const test::TempDir& temp) {
  if (how == "magick") return test::DecodeWithImageMagick(file);
  if (how == "tiff2rgba") return test::DecodeWithTiff2Rgba(file);
  if (how == "netpbm") {
    return test::DecodeWithNetpbm(file, program == "djpeg" ? "djpeg -pnm" : program, program == "tgatoppm" ? "pamdepth 255" : "ppmtoppm");
  }
  std::string command = how;
  const std::string out = (temp / "reference").string();
  command.replace(command.find("%i"), 2, test::Quote(file.string()));
  command.replace(command.find("%o"), 2, test::Quote(out));
  if (test::RunCommand(command).status != 0) return std::nullopt;
  return test::DecodeWithImageMagick(out + (command.find(".ppm") != std::string::npos ? ".ppm" : ".png"));
}

ReadResult ReadWritten(const std::filesystem::path& file, bool byOffset) {
  const std::vector<uint8_t> bytes = test::ReadBytes(file);
  const TypeDecision decision = DecideFileType(bytes, file.extension().string().substr(1));
  const TypeReader* reader = FindReader(decision.type);
  if (reader == nullptr || reader->read == nullptr || (byOffset && !reader->byOffset)) return {};
  const std::string path = file.string();
  // By offset with a head too short for any header.
  const auto source = ByteSource::OpenFile(path, kMaxFileBytes, 16);
  return reader->read({bytes, path, 24, decision.start, byOffset && source ? &*source : nullptr});
}

TEST(WriterRoundTripTest, EveryWriterFromEveryDepthItTakesReadsBackEverywhere) {
  // The names are ravelle-cli's documented forms: scripts rely on every one of them.
  std::vector<std::string> documented = {"bmp", "bmp-rle", "bmp-bitfields", "bmp-bitfields-565", "gif", "gif-interlaced",
                                         "iff", "iff-packed", "iff-ham", "iff-ham-packed", "jpeg", "jpeg-progressive",
                                         "pcx", "png", "png-adam7", "tga", "tga-rle", "webp", "webp-lossless", "avif",
                                         "jxl", "jxl-lossless"};
  for (const char* tiff : {"none", "huffman", "g3", "g4", "lzw", "jpeg", "packbits", "deflate"}) {
    documented.insert(documented.end(), {std::string("tiff-") + tiff, std::string("tiff-") + tiff + "-tiles"});
  }
  const std::vector<Source> sources = Sources();
  test::TempDir temp;
  std::vector<std::string> names;
  std::map<std::string, int> headerRowsChecked;
  for (const FormatRow& row : Formats()) {
    for (const WriterVariant& writer : row.writers) {
      if (writer.write == nullptr) continue;
      const std::string name(writer.cliName);
      names.push_back(name);
      const auto file = temp / (name + "." + std::string(row.extension));
      // Nothing is written of an empty image, nor into a folder that is not there.
      EXPECT_NE(writer.write(PackedDib(), file), WriteOutcome::Written) << name;
      EXPECT_NE(writer.write(sources[0].dib, temp / "no-folder" / "x"), WriteOutcome::Written) << name;
      EXPECT_FALSE(std::filesystem::exists(file) || std::filesystem::exists(temp / "no-folder")) << name;
      const bool jpeg = name.find("jpeg") != std::string::npos;
      const bool lossy = jpeg || name == "webp" || name == "avif" || name == "jxl";
      int written = 0;
      for (const Source& source : sources) {
        if (lossy && source.noise) continue;
        SCOPED_TRACE(name + " from " + source.name);
        std::filesystem::remove(file);
        if (writer.write(source.dib, file) != WriteOutcome::Written) {
          EXPECT_FALSE(std::filesystem::exists(file)) << "a refused write leaves no file";
          continue;
        }
        ++written;
        const auto bytes = test::ReadBytes(file);
        for (const auto& header : kHeaderBytes) {
          if (header.writer != name || header.source != std::string(source.name)) continue;
          ++headerRowsChecked[name];
          for (const auto& [offset, value] : header.bytes) {
            const auto at = static_cast<std::size_t>(offset < 0 ? static_cast<int>(bytes.size()) + offset : offset);
            ASSERT_LT(at, bytes.size());
            EXPECT_EQ(bytes[at], value) << "byte " << offset;
          }
        }
        // A fourth byte that is not 0 is alpha to the PNG reader, which lays it over white.
        if (row.extension == "png" && source.name == std::string("32 with alpha")) continue;
        const ReadResult back = ReadWritten(file, false);
        ASSERT_TRUE(back.dib);
        EXPECT_EQ(back.status, ReadStatus::Ok);
        const RgbImage ours = test::DibToRgb(back.dib);
        if (const ReadResult byOffset = ReadWritten(file, true); byOffset.dib) {
          EXPECT_TRUE(std::ranges::equal(byOffset.dib.Bytes(), back.dib.Bytes())) << "by offset";
        }
        // What must come back: deeper images as GIF's 256 best colours, HAM's codes as the
        // one-row coder gives them, 16-bit samples in their five bits.
        const int bits = source.dib.BitCount() == 16 ? 5 : 8;
        RgbImage expected = test::AsWritten(source.dib);
        if (row.extension == "gif" && source.dib.BitCount() > 8) expected = test::DibToRgb(QuantizeImage(source.dib, -256).image);
        if (name.find("ham") != std::string::npos) expected = HamPicture(source.dib);
        if (lossy) {
          EXPECT_LT(test::MeanDifference(ours, expected), jpeg ? 10.0 : 20.0);
        } else {
          EXPECT_TRUE(test::SameImage(ours, expected, 0, bits));
        }
        if (jpeg && !name.starts_with("tiff")) {
          // Gray tables, in either order, are written as one component and read back as 8 bits.
          EXPECT_EQ(back.dib.BitCount(), source.palette == Palette::Colour ? 24 : 8);
          EXPECT_EQ(back.infoText.ends_with("progressive file structure"), name == "jpeg-progressive");
        }
        for (const auto& decoder : kDecoders) {
          if (decoder.extension != row.extension || !test::HaveProgram("/usr/bin/" + decoder.program)) continue;
          SCOPED_TRACE(decoder.program);
          auto theirs = DecodeWith(decoder.program, decoder.how, file, temp);
          ASSERT_TRUE(theirs);
          if (lossy && name != "webp" && name != "avif" && name != "jxl") {
            // The same library's decoder: the same pixels, the TIFF one to within rounding.
            EXPECT_TRUE(test::SameImage(*theirs, ours, name.starts_with("tiff") ? 2 : 0));
            continue;
          }
          if (lossy) {
            EXPECT_LT(test::MeanDifference(*theirs, expected), 20.0);
            continue;
          }
          RgbImage shown = expected;
          // Other decoders spread 2- and 4-bit gray samples over 0 to 255: 0, 85, 170, 255 ...
          // TIFF writes both as 4-bit gray.
          if ((row.extension == "png" || row.extension == "tif") && source.grayBits != 0) {
            const int grayBits = row.extension == "tif" ? 4 : source.grayBits;
            for (uint8_t& v : shown.rgb) v = static_cast<uint8_t>((v >> (8 - grayBits)) * (255 / ((1 << grayBits) - 1)));
          }
          // ImageMagick shifts 10-bit fields into 16 bits and truncates: one short at most.
          const int tolerance = name == "bmp-bitfields-565" && source.dib.BitCount() == 32 ? 1 : 0;
          EXPECT_TRUE(test::SameImage(*theirs, shown, tolerance, bits));
        }
      }
      EXPECT_GT(written, 0) << name;
    }
  }
  std::ranges::sort(names);
  std::ranges::sort(documented);
  EXPECT_EQ(names, documented);
  for (const auto& header : kHeaderBytes) EXPECT_GT(headerRowsChecked[header.writer], 0) << header.writer;
}

}  // namespace
}  // namespace ravelle
