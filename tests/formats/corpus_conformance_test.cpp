// Every valid file of the shared corpus against an independent decoder, a row per format: which
// decoders, at what precision, how many comparisons at least, and the format's fix-ups as small
// hooks. What differs on purpose is listed in corpus_conformance.tsv beside this file.

#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>
#include <sstream>

#include "formats/avif/avif_reader.h"
#include "formats/dib/dib_reader.h"
#include "formats/gif/gif_reader.h"
#include "formats/heif/heif_reader.h"
#include "formats/heif_reference.h"
#include "formats/icon/icon_reader.h"
#include "formats/iff/iff.h"
#include "formats/jxl/jxl_reader.h"
#include "formats/lib/jpeg_file.h"
#include "formats/lib/png_file.h"
#include "formats/pcx/pcx_file.h"
#include "formats/registry.h"
#include "formats/sunicon/sunicon.h"
#include "formats/targa/targa_file.h"
#include "formats/webp/webp_reader.h"
#include "image/output_file.h"
#include "shell/load.h"
#include "support/test_images.h"
#include "support/test_support.h"

namespace ravelle {
namespace {

using test::RgbImage;
using Bytes = std::vector<uint8_t>;

// A line of corpus_conformance.tsv.
struct Known {
  std::string path;
  int image = 0;       // 0: every image of the file
  std::string action;  // skip, unread (no image, with a message), "reference NAME" or "tolerance N"
};

const std::vector<Known>& KnownDifferences() {
  static const std::vector<Known> rows = [] {
    std::vector<Known> known;
    std::ifstream in(RAVELLE_SOURCE_DIR "/tests/formats/corpus_conformance.tsv");
    for (std::string line; std::getline(in, line);) {
      std::istringstream fields(line);
      Known k;
      std::string image;
      if (line.empty() || line[0] == '#' || !std::getline(std::getline(fields, k.path, '\t'), image, '\t')) continue;
      std::getline(fields, k.action, '\t');
      known.push_back({k.path, image == "-" ? 0 : std::stoi(image), k.action});
    }
    return known;
  }();
  return rows;
}

// One picture of a corpus file, ready to compare.
struct Picture {
  int number = 1;
  std::optional<RgbImage> ours;    // none: the reader gave no image
  bool message = false;            // the reader showed a message
  std::filesystem::path file;      // what the reference decoders are given
  std::optional<RgbImage> theirs;  // a reference the hook made itself
  int bits = 8;                    // compared in the top `bits` bits
  int tolerance = 0;
  double mean = 0;        // when set, compared by the mean difference below it instead
  bool mirrored = false;  // the references keep the stored order of right-to-left rows
};

struct CorpusFile {
  const test::CorpusEntry& entry;
  std::filesystem::path path;
  Bytes bytes;
  const test::TempDir& temp;
};

std::optional<RgbImage> RgbOf(const PackedDib& dib) { return dib ? std::optional(test::DibToRgb(dib)) : std::nullopt; }

void IsWhole(const ReadResult& r) {
  if (r.dib) {
    EXPECT_EQ(r.dib.Pixels().size(), r.dib.Stride() * static_cast<std::size_t>(r.dib.Height()));
  }
}

// ---- BMP: read by offset, with no more than its headers in memory.

ReadResult ReadBitmap(const ByteSource& file) {
  const TypeDecision decision = DecideFileType(file.Head(), "bmp");
  switch (decision.type) {
    case FileType::WindowsBitmap: return ReadWindowsDib(file, decision.start);
    case FileType::Os2Bitmap: return ReadOs2Dib(file, decision.start);
    case FileType::Os2v2Bitmap: return ReadOs2v2Dib(file, decision.start);
    default: return {};
  }
}

template <ReadResult (*Read)(const ByteSource&)>
ReadResult ReadByOffset(const std::filesystem::path& file, std::size_t headBytes) {
  const auto source = ByteSource::OpenFile(file.string(), kMaxFileBytes, headBytes);
  return source ? Read(*source) : ReadResult{};
}
ReadResult ReadBitmapByOffset(const std::filesystem::path& file) { return ReadByOffset<ReadBitmap>(file, 14 + kDibHeadBytes); }

// Every file, damaged ones too, reads the same by offset (no more than its header in memory) as
// from memory.
template <ReadResult (*Read)(const ByteSource&), std::size_t kHeadBytes>
void ByOffsetAsFromMemory(const CorpusFile& f) {
  const ReadResult fromMemory = Read(ByteSource(f.bytes));
  const ReadResult byOffset = ReadByOffset<Read>(f.path, kHeadBytes);
  EXPECT_EQ(fromMemory.status, byOffset.status);
  EXPECT_EQ(fromMemory.infoText, byOffset.infoText);
  ASSERT_EQ(static_cast<bool>(fromMemory.dib), static_cast<bool>(byOffset.dib));
  if (fromMemory.dib) {
    EXPECT_TRUE(std::ranges::equal(fromMemory.dib.Bytes(), byOffset.dib.Bytes()));
  }
}

// A 16-bit image keeps five bits per component, and its masks may give fewer ("bitfields: 4 4
// 4"): compared at the precision both have (ImageMagick maps 4-bit 15 to 240 where we give 255).
int SixteenBitPrecision(const std::string& infoText) {
  int r = 5, g = 5, b = 5;
  if (const auto at = infoText.find("bitfields: "); at != std::string::npos) {
    std::sscanf(infoText.c_str() + at, "bitfields: %d %d %d", &r, &g, &b);
  }
  return std::min({r, g, b, 5});
}

uint32_t Dword(const Bytes& b, std::size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24; }
void SetDword(Bytes& b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The other decoders read no OS/2 bitmap arrays: the first bitmap is given alone, its pixel
// offset counted from its own start. ImageMagick 6.9 misreads the colours of OS/2 2.0 bitmaps,
// so those get the equivalent 40-byte Windows header.
std::vector<Picture> BmpPictures(const CorpusFile& f) {
  const TypeDecision decision = DecideFileType(f.bytes, "bmp");
  // A DIB without its file header matches none of the type rules: the dialog shows no image.
  if (decision.type == FileType::Unknown) return {};
  const ReadResult result = ReadBitmapByOffset(f.path);
  Bytes alone(f.bytes.begin() + static_cast<std::ptrdiff_t>(decision.start), f.bytes.end());
  SetDword(alone, 10, Dword(alone, 10) - static_cast<uint32_t>(decision.start));
  if (decision.type == FileType::Os2v2Bitmap) {
    alone.erase(alone.begin() + 14 + 40, alone.begin() + 14 + 64);
    SetDword(alone, 14, 40);
    SetDword(alone, 10, Dword(alone, 10) - 24);
    SetDword(alone, 2, static_cast<uint32_t>(alone.size()));
  }
  test::WriteBytes(f.temp / "alone.bmp", alone);
  const int bits = result.dib.BitCount() == 16 ? SixteenBitPrecision(result.infoText) : 8;
  return {{.ours = RgbOf(result.dib), .file = f.temp / "alone.bmp", .bits = bits}};
}

// ---- PCX: pcxtoppm shows a 1-bit file with an all-black header palette in black and white;
// the default colours here are black and dark blue.
std::vector<Picture> PcxPictures(const CorpusFile& f) {
  const ReadResult result = ReadPcxImage(f.bytes);
  if (!result.dib) return {{.message = !result.messages.empty(), .file = f.path}};
  PackedDib ours = result.dib.Clone();
  if (ours.BitCount() == 1 && std::all_of(f.bytes.begin() + 16, f.bytes.begin() + 22, [](uint8_t v) { return v == 0; })) {
    ours.Colors()[1] = {255, 255, 255, 0};
  }
  return {{.ours = test::DibToRgb(ours), .file = f.path}};
}

// ---- Targa: tgatoppm reads only files named .tga, keeps right-to-left rows in their stored
// order and gives 16-bit files 5-bit samples.
std::vector<Picture> TargaPictures(const CorpusFile& f) {
  const Bytes& b = f.bytes;
  const ReadResult result = ReadTargaImage(b);
  if ((b[2] & 7) == 3 && b[16] == 16 && result.dib) {
    // netpbm takes 16-bit monochrome pixels (a gray and an alpha byte) for 5-5-5 colour: they are
    // compared, put over black, with the same picture stored in 8 bits without alpha.
    std::string sibling = f.entry.path;
    if (const auto at = sibling.find("16bpp"); at != std::string::npos) sibling.replace(at, 5, "8bpp");
    if (sibling == f.entry.path || !std::filesystem::exists(test::CorpusDir() / sibling)) return {};
    RgbImage ours = test::DibToRgb(result.dib);
    for (int i = 0; i < ours.width * ours.height; ++i) {
      const uint32_t alpha = test::PixelAt(result.dib, i % ours.width, i / ours.width) >> 24;
      for (int k = 0; k < 3; ++k) ours.rgb[3 * i + k] = static_cast<uint8_t>(ours.rgb[3 * i + k] * alpha / 255);
    }
    const ReadResult plain = ReadTargaImage(test::ReadBytes(test::CorpusDir() / sibling));
    EXPECT_TRUE(plain.dib) << sibling;
    return {{.ours = ours, .theirs = RgbOf(plain.dib), .tolerance = 1}};
  }
  test::WriteBytes(f.temp / "in.tga", b);
  const bool fiveBits = b[16] == 15 || b[16] == 16 || (b[1] != 0 && (b[7] == 15 || b[7] == 16));
  return {{.ours = RgbOf(result.dib), .file = f.temp / "in.tga", .bits = fiveBits ? 5 : 8, .mirrored = (b[17] & 0x10) != 0}};
}

// ---- GIF: the first image, or every composed frame of an animation.

std::vector<Picture> GifPictures(const CorpusFile& f) {
  const ReadResult r = ReadGifImage(f.bytes);
  if (!r.dib) {
    // A code size outside 2 to 9 is refused without a message; anything else must read.
    EXPECT_TRUE(r.messages.empty() && r.status == ReadStatus::BadHeader) << "not read";
    return {};
  }
  return {{.ours = test::DibToRgb(r.dib), .file = f.path}};
}

// ImageMagick's coalesced frames as RGBA (what no frame covered, and disposed areas, are
// transparent), and frame `n` of them laid on ours wherever it is opaque and `keep` allows.
std::string CoalescedRgba(const std::filesystem::path& file) {
  return test::RunCommand("/usr/bin/convert " + test::Quote(file.string()) + " -coalesce -depth 8 rgba:- 2>/dev/null").out;
}
RgbImage OpaqueOn(RgbImage ours, const std::string& rgba, int n, const auto& keep) {
  const std::size_t pixels = ours.rgb.size() / 3;
  for (std::size_t p = 0; p < pixels; ++p) {
    const auto* im = reinterpret_cast<const uint8_t*>(rgba.data()) + 4 * (n * pixels + p);
    if (im[3] == 255 && keep(im, &ours.rgb[3 * p])) std::copy(im, im + 3, &ours.rgb[3 * p]);
  }
  return ours;
}

// Without a global table there is no background colour: ours is black where ImageMagick paints
// its default white; those pixels are not compared.
std::vector<Picture> GifFrames(const CorpusFile& f) {
  if (CountGifImages(f.bytes) < 2) return {};
  auto animation = GifAnimation::Open(f.bytes);
  EXPECT_TRUE(animation && animation->Step());
  if (!animation) return {};
  const std::string rgba = CoalescedRgba(f.path);
  const std::size_t pixels = static_cast<std::size_t>(animation->Frame().Width()) * animation->Frame().Height();
  if (rgba.empty() || rgba.size() % (4 * pixels) != 0) return {};  // ImageMagick took another canvas
  const bool noGlobalTable = (f.bytes[10] & 0x80) == 0;
  const auto keep = [&](const uint8_t* im, const uint8_t* mine) {
    return !noGlobalTable || (im[0] & im[1] & im[2]) != 255 || (mine[0] | mine[1] | mine[2]) != 0;
  };
  std::vector<Picture> frames;
  const int count = std::min<int>(static_cast<int>(rgba.size() / (4 * pixels)), animation->FrameCount());
  for (int n = 0; n < count && (n == 0 || animation->Step()); ++n) {
    const RgbImage ours = test::DibToRgb(animation->Frame());
    frames.push_back({.number = n + 1, .ours = ours, .theirs = OpaqueOn(ours, rgba, n, keep)});
  }
  EXPECT_EQ(static_cast<int>(frames.size()), count) << "a frame does not step";
  return frames;
}

// ---- IFF, SunIcon

std::vector<Picture> IffPictures(const CorpusFile& f) { return {{.ours = RgbOf(ReadIffImage(f.bytes).dib), .file = f.path}}; }

std::vector<Picture> SunIconPictures(const CorpusFile& f) {
  const auto theirs = test::DecodeWithNetpbm(f.path, "sunicontopnm");
  if (!theirs) return {};
  // Taken as a SunIcon under the name it carries (.icon, .pr, .cursor).
  EXPECT_EQ(DecideFileType(f.bytes, ExtensionOf(f.path.string())).type, FileType::SunIcon);
  return {{.ours = RgbOf(ReadSunIcon(f.bytes).dib), .theirs = theirs}};
}

// ---- Icons and cursors: ImageMagick's colours composed over white as the reader composes.

struct Rgba {
  int width = 0;
  int height = 0;
  Bytes samples;
};

std::optional<Rgba> ImageMagickRgba(const std::filesystem::path& file, int index) {
  const auto out = test::RunCommand("/usr/bin/convert " + test::Quote(file.string() + "[" + std::to_string(index) + "]") +
                                    " -type TrueColorAlpha -depth 8 pam:- 2>/dev/null").out;
  Rgba image;
  const auto end = out.find("ENDHDR\n");
  if (end == std::string::npos || std::sscanf(out.c_str(), "P7\nWIDTH %d\nHEIGHT %d\n", &image.width, &image.height) != 2) {
    return std::nullopt;
  }
  image.samples.assign(out.begin() + static_cast<std::ptrdiff_t>(end + 7), out.end());
  if (image.samples.size() != 4 * static_cast<std::size_t>(image.width) * image.height) return std::nullopt;
  return image;
}

struct EntryFacts {
  std::size_t image = 0;  // where the image starts
  uint32_t size = 0;      // its bytes, as the directory says
  bool png = false;
  bool alpha = false;  // a 32-bit image with a fourth byte that is not 0
};

EntryFacts FactsOf(const Bytes& file, int number) {
  EntryFacts facts;
  const std::size_t entry = 16 * static_cast<std::size_t>(number) - 10;
  if (entry + 16 > file.size()) return facts;
  const auto dword = [&](std::size_t at) { return at + 4 <= file.size() ? Dword(file, at) : 0u; };
  const std::size_t image = facts.image = dword(entry + 12);
  facts.size = dword(entry + 8);
  facts.png = image + 4 <= file.size() && file[image] == 0x89 && file[image + 1] == 'P';
  if (facts.png || image + 40 > file.size() || (file[image + 14] | file[image + 15] << 8) != 32) return facts;
  const std::size_t width = file[entry] == 0 ? 256 : file[entry], height = file[entry + 1] == 0 ? 256 : file[entry + 1];
  for (std::size_t i = 0; i < width * height && image + 40 + 4 * i + 3 < file.size(); ++i) {
    if (file[image + 40 + 4 * i + 3] != 0) facts.alpha = true;
  }
  return facts;
}

// Image `number` in a file of its own: ImageMagick gives up the whole list at an image it
// cannot read, and with it every image after that one.
Bytes ImageAlone(const Bytes& file, int number) {
  const EntryFacts facts = FactsOf(file, number);
  const std::size_t entry = 16 * static_cast<std::size_t>(number) - 10;
  Bytes alone{0, 0, file[2], 0, 1, 0};
  alone.insert(alone.end(), file.begin() + static_cast<std::ptrdiff_t>(entry), file.begin() + static_cast<std::ptrdiff_t>(entry + 12));
  AppendU32le(alone, 22);
  const std::size_t end = std::min<std::size_t>(facts.image + facts.size, file.size());
  alone.insert(alone.end(), file.begin() + static_cast<std::ptrdiff_t>(facts.image), file.begin() + static_cast<std::ptrdiff_t>(end));
  return alone;
}

// Laid over white by alpha (PNG, and 32 bits with alpha) or by the mask (transparent pixels
// inverted); indexed images take the nearest entry of their table for a colour they lack. PNG
// images come through the PNG reader, which mixes in linear light for a 2.2 screen (those of the
// corpus carry no gamma of their own, so 0.45 is theirs).
RgbImage ComposedOverWhite(const Rgba& rgba, const EntryFacts& facts, const PackedDib& ours) {
  RgbImage out{rgba.width, rgba.height, {}};
  const auto table = ours.Colors();
  const auto linear = [](uint8_t v) { return std::lround(255 * std::pow(v / 255.0, 1 / 0.45)); };
  for (std::size_t i = 0; i < rgba.samples.size(); i += 4) {
    const uint8_t* s = &rgba.samples[i];
    uint8_t c[3] = {s[0], s[1], s[2]};
    if (facts.png && s[3] != 0 && s[3] != 255) {
      for (uint8_t& v : c) v = static_cast<uint8_t>(std::lround(255 * std::pow((linear(v) * s[3] + 255 * (255 - s[3]) + 127) / 255 / 255.0, 1 / 2.2)));
    } else if (facts.png || facts.alpha) {
      for (uint8_t& v : c) v = static_cast<uint8_t>((v * s[3] + 255 * (255 - s[3]) + 127) / 255);
    } else if (s[3] == 0) {
      for (uint8_t& v : c) v = static_cast<uint8_t>(255 - v);
      if (ours.BitCount() <= 8) {
        const auto distance = [&](const RgbQuad& e) {
          return (e.rgbRed - c[0]) * (e.rgbRed - c[0]) + (e.rgbGreen - c[1]) * (e.rgbGreen - c[1]) + (e.rgbBlue - c[2]) * (e.rgbBlue - c[2]);
        };
        const RgbQuad nearest = *std::ranges::min_element(table, {}, distance);
        c[0] = nearest.rgbRed, c[1] = nearest.rgbGreen, c[2] = nearest.rgbBlue;
      }
    }
    out.rgb.insert(out.rgb.end(), c, c + 3);
  }
  return out;
}

// Every image of an icon file, or with `mode` 2 the one frame of an animated cursor's icon.
std::vector<Picture> IconPictures(const std::filesystem::path& file, const Bytes& bytes, const test::TempDir& temp,
                                  int mode = 0, int number = 0) {
  std::vector<Picture> pictures;
  const int images = mode == 0 ? ReadIconImage(bytes, {.png = ReadPngImage}).imageCount : 1;
  for (int n = 1; n <= images; ++n) {
    const auto icon = ReadIconImage(bytes, {.imageNumber = n, .mode = mode, .png = ReadPngImage});
    auto reference = ImageMagickRgba(file, n - 1);
    if (!reference) {
      test::WriteBytes(temp / "alone.ico", ImageAlone(bytes, n));
      reference = ImageMagickRgba(temp / "alone.ico", 0);
    }
    const EntryFacts facts = FactsOf(bytes, n);
    std::optional<RgbImage> theirs;
    if (reference && icon.result.dib) theirs = ComposedOverWhite(*reference, facts, icon.result.dib);
    pictures.push_back({.number = mode == 0 ? n : number, .ours = RgbOf(icon.result.dib), .message = !icon.result.messages.empty(),
                        .theirs = theirs, .tolerance = facts.png ? 1 : 0});
  }
  return pictures;
}

std::vector<Picture> IconFilePictures(const CorpusFile& f) { return IconPictures(f.path, f.bytes, f.temp); }

// Each frame's icon, as a file of its own, against the frame read from the animated cursor.
std::vector<Picture> AnimatedCursorFrames(const CorpusFile& f) {
  const AnimatedCursor ani = ReadAnimatedCursor(f.bytes, ReadPngImage);
  EXPECT_TRUE(ani.result.dib);
  EXPECT_EQ(ani.tables.frames.size(), ani.tables.frameCount);
  std::vector<Picture> pictures;
  std::size_t at = 0;
  for (const PackedDib& frame : ani.tables.frames) {
    const auto found = std::search(f.bytes.begin() + static_cast<std::ptrdiff_t>(at), f.bytes.end(), "icon", "icon" + 4);
    if (found == f.bytes.end()) {
      ADD_FAILURE() << "frame " << pictures.size() + 1 << " has no icon chunk";
      break;
    }
    const std::size_t start = static_cast<std::size_t>(found - f.bytes.begin()) + 8;
    const std::size_t end = std::min<std::size_t>(start + Dword(f.bytes, start - 4), f.bytes.size());
    const Bytes alone(f.bytes.begin() + static_cast<std::ptrdiff_t>(start), f.bytes.begin() + static_cast<std::ptrdiff_t>(end));
    const auto own = ReadIconImage(alone, {.png = ReadPngImage});
    EXPECT_TRUE(own.result.dib && test::BytesOf(own.result.dib) == test::BytesOf(frame));
    test::WriteBytes(f.temp / "frame.ico", alone);
    for (Picture& p : IconPictures(f.temp / "frame.ico", alone, f.temp, 2, static_cast<int>(pictures.size()) + 1)) {
      pictures.push_back(std::move(p));
    }
    at = start;
  }
  return pictures;
}

// ---- WebP, AVIF, HEIF, JPEG XL: the reference tools' PNGs laid over white as the readers lay alpha.

template <ReadResult (*Read)(std::span<const uint8_t>)>
void PictureOrFailure(const CorpusFile& f) {
  const ReadResult r = Read(f.bytes);
  IsWhole(r);
  EXPECT_TRUE(r.dib || r.status != ReadStatus::Ok) << "no image, and no failure";
}

// A PNG of any depth and colour type; 16-bit samples cut to their top 8 bits, or `rounded` to the
// nearest 8-bit value as the JPEG XL reader rounds them. The CRCs are not checked.
std::optional<RgbImage> PngOverWhite(const Bytes& file, bool rounded = false) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::pair<const Bytes*, std::size_t> in{&file, 0};
  std::optional<RgbImage> image;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_set_read_fn(png, &in, [](png_structp p, png_bytep out, png_size_t n) {
      auto& [bytes, at] = *static_cast<std::pair<const Bytes*, std::size_t>*>(png_get_io_ptr(p));
      if (at + n > bytes->size()) png_error(p, "short");
      std::memcpy(out, bytes->data() + at, n);
      at += n;
    });
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    const int width = static_cast<int>(png_get_image_width(png, info)), height = static_cast<int>(png_get_image_height(png, info));
    const bool deep = png_get_bit_depth(png, info) == 16;
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    Bytes samples(rowBytes * height);
    std::vector<png_bytep> rows;
    for (int y = 0; y < height; ++y) rows.push_back(&samples[y * rowBytes]);
    png_read_image(png, rows.data());
    const auto at = [&](std::size_t i) {
      if (!deep) return samples[i];
      return rounded ? static_cast<uint8_t>(((samples[2 * i] << 8 | samples[2 * i + 1]) * 255u + 32767u) / 65535u) : samples[2 * i];
    };
    image = RgbImage{width, height, {}};
    for (std::size_t p = 0; p < 4 * static_cast<std::size_t>(width) * height; p += 4) {
      for (int c = 0; c < 3; ++c) image->rgb.push_back(WebpOverWhite(at(p + c), at(p + 3)));
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return image;
}

// A reference tool's `command`, which writes `png`, and that PNG's pixels.
std::optional<RgbImage> ToolPng(const std::string& command, const std::filesystem::path& png) {
  EXPECT_EQ(test::RunCommand("/usr/bin/" + command + " >/dev/null 2>&1").status, 0) << command;
  return PngOverWhite(test::ReadBytes(png));
}

// Frames 1 to `count` of an animation, each against theirs(n, ours), added to `pictures`; the
// first is the still picture where one is given, and after the last comes the first again.
void AddFrames(std::vector<Picture>& pictures, FrameSequence& animation, int count, std::optional<RgbImage> still,
               const auto& theirs) {
  for (int n = 1; n <= count; ++n) {
    if (!animation.Step()) {
      ADD_FAILURE() << "frame " << n << " does not step";
      return;
    }
    const RgbImage ours = test::DibToRgb(animation.Frame());
    EXPECT_EQ(animation.FrameNumber(), n);
    if (n == 1 && still) {
      EXPECT_TRUE(*still == ours) << "the first frame is not the picture";
    }
    pictures.push_back({.number = n, .ours = ours, .theirs = theirs(n, ours)});
  }
  EXPECT_TRUE(animation.Step() && animation.FrameNumber() == 1) << "after the last frame";
}

// dwebp's picture (an animation's first frame, from webpmux, at its offset on a white canvas).
// Pictures turned upright are compared in the Orientation row.
std::vector<Picture> WebpPictures(const CorpusFile& f) {
  const ReadResult read = ReadWebpImage(f.bytes);
  EXPECT_EQ(read.status, ReadStatus::Ok);
  if (read.infoText.find("(applied)") != std::string::npos) return {};
  std::string still = f.path.string();
  int x = 0, y = 0;
  if (f.entry.variant.find("animated") != std::string::npos) {
    std::istringstream info(test::RunCommand("/usr/bin/webpmux -info " + test::Quote(still)).out);
    std::string line, alpha;
    while (std::getline(info, line) && !line.starts_with("  1:")) {}
    int w = 0, h = 0;
    EXPECT_TRUE(line.size() > 4 && std::istringstream(line.substr(4)) >> w >> h >> alpha >> x >> y) << line;
    still = (f.temp / "frame.webp").string();
    EXPECT_EQ(test::RunCommand("/usr/bin/webpmux -get frame 1 " + test::Quote(f.path.string()) + " -o " + test::Quote(still) + " 2>/dev/null").status, 0);
  }
  // dwebp's PNG has alpha only where the file says it has (what a file without it holds is dropped).
  const auto frame = ToolPng("dwebp -quiet " + test::Quote(still) + " -o " + test::Quote((f.temp / "out.png").string()), f.temp / "out.png");
  if (!frame || !read.dib) return {{.ours = RgbOf(read.dib), .theirs = frame}};
  RgbImage theirs{read.dib.Width(), read.dib.Height(), {}};
  theirs.rgb.assign(3 * static_cast<std::size_t>(theirs.width) * theirs.height, 255);
  for (int row = 0; row < frame->height && row + y < theirs.height; ++row) {
    std::memcpy(&theirs.rgb[3 * (static_cast<std::size_t>(row + y) * theirs.width + x)], &frame->rgb[3 * static_cast<std::size_t>(row) * frame->width],
                3 * static_cast<std::size_t>(std::min(frame->width, theirs.width - x)));
  }
  return {{.ours = test::DibToRgb(read.dib), .theirs = theirs}};
}

std::vector<Picture> WebpFrames(const CorpusFile& f) {
  if (f.entry.variant.find("animated") == std::string::npos) return {};
  auto animation = WebpAnimation::Open(f.bytes);
  const ReadResult read = ReadWebpImage(f.bytes);
  const std::string rgba = CoalescedRgba(f.path);
  const std::size_t pixels = read.dib ? static_cast<std::size_t>(read.dib.Width()) * read.dib.Height() : 0;
  if (!animation || pixels == 0 || rgba.size() != 4 * pixels * animation->FrameCount()) {
    ADD_FAILURE() << "no animation, or ImageMagick gives other frames";
    return {};
  }
  std::vector<Picture> frames;
  AddFrames(frames, *animation, animation->FrameCount(), test::DibToRgb(read.dib), [&](int n, const RgbImage& ours) {
    return OpaqueOn(ours, rgba, n - 1, [](const uint8_t*, const uint8_t*) { return true; });
  });
  return frames;
}

// JPEG and WebP files with an Exif block against ImageMagick's -auto-orient: their size, and their
// pixels within a mean of 2 levels (ImageMagick leaves out the alpha that the reader lays over white).
std::vector<Picture> OrientedPictures(const CorpusFile& f) {
  const bool jpeg = f.entry.format == "JPEG";
  if (f.entry.variant.find(jpeg ? "APP1:Exif" : "EXIF") == std::string::npos) return {};
  const ReadResult read = jpeg ? ReadJpegImage(f.path.string(), 24) : ReadWebpImage(f.bytes);
  auto theirs = test::DecodeWithImageMagick(f.path, "-auto-orient");
  if (!read.dib || !theirs) return {};
  return {{.ours = test::DibToRgb(read.dib), .theirs = theirs, .mean = read.infoText.find("alpha channel: yes") == std::string::npos ? 2.0 : 256}};
}

// avifdec's 8-bit decode, turned and mirrored as the manifest lists (avifdec leaves that undone);
// a sequence frame by frame with avifdec's durations.
RgbImage Upright(RgbImage image, const std::string& variant) {
  const auto at = variant.find("primary transforms:");
  if (at == std::string::npos) return image;
  std::istringstream words(variant.substr(at + 19, variant.find(';', at) - at - 19));
  std::string word;
  for (int value = 0; words >> word;) {
    if (word == "irot" && words >> value) {
      for (int i = 0; i < value; ++i) image = test::QuarterTurnAnticlockwise(image);
    } else if (word == "imir" && words >> value) {
      image = test::Mirrored(image, value == 1);
    }
  }
  return image;
}

void AvifEveryFile(const CorpusFile& f) {
  PictureOrFailure<ReadAvifImage>(f);
  auto animation = AvifAnimation::Open(f.bytes);  // damaged sequences step too
  for (int n = 0; animation && n < 3 && animation->Step(); ++n) {}
}

std::vector<Picture> AvifPictures(const CorpusFile& f) {
  const ReadResult read = ReadAvifImage(f.bytes);
  EXPECT_EQ(read.status, ReadStatus::Ok);
  const auto avifdec = [&](int index) -> std::optional<RgbImage> {
    const auto png = f.temp / "frame.png";
    const auto image = ToolPng("avifdec --no-strict --ignore-icc -d 8 --index " + std::to_string(index) + " " +
                               test::Quote(f.path.string()) + " " + test::Quote(png.string()), png);
    return image ? std::optional(Upright(*image, f.entry.variant)) : std::nullopt;
  };
  std::vector<Picture> pictures{{.ours = RgbOf(read.dib), .theirs = avifdec(0)}};
  auto animation = AvifAnimation::Open(f.bytes);
  if (!animation) return pictures;
  std::istringstream info(test::RunCommand("/usr/bin/avifdec --no-strict -i " + test::Quote(f.path.string()) + " 2>/dev/null").out);
  std::vector<double> durations;
  for (std::string line; std::getline(info, line);) {
    if (const auto at = line.find("[duration "); at != std::string::npos) durations.push_back(std::stod(line.substr(at + 10)));
  }
  EXPECT_EQ(static_cast<int>(durations.size()), animation->FrameCount());
  const int count = std::min(static_cast<int>(durations.size()), animation->FrameCount());
  AddFrames(pictures, *animation, count, pictures[0].ours, [&](int n, const RgbImage&) {
    EXPECT_EQ(animation->Delay(), std::max(1, static_cast<int>(std::lround(durations[n - 1] * 100)))) << "frame " << n;
    return n == 1 ? pictures[0].theirs : avifdec(n - 1);
  });
  return pictures;
}

// heif-convert's decode (it turns and crops as the reader does); it numbers its outputs when the
// file holds several images, and the reader shows the primary one. A valid file cut in half gives
// no picture.
std::vector<Picture> HeifPictures(const CorpusFile& f) {
  const ReadResult read = ReadHeifImage(f.bytes);
  EXPECT_EQ(read.status, ReadStatus::Ok);
  EXPECT_NE(ReadHeifImage(std::span(f.bytes).first(f.bytes.size() / 2)).status, ReadStatus::Ok) << "cut in half";
  heif_context* context = heif_context_alloc();
  std::vector<heif_item_id> ids;
  heif_item_id primary = 0;
  if (heif_context_read_from_memory_without_copy(context, f.bytes.data(), f.bytes.size(), nullptr).code == heif_error_Ok) {
    ids.resize(heif_context_get_number_of_top_level_images(context));
    heif_context_get_list_of_top_level_image_IDs(context, ids.data(), static_cast<int>(ids.size()));
    heif_context_get_primary_image_ID(context, &primary);
  }
  heif_context_free(context);
  const auto index = std::ranges::find(ids, primary) - ids.begin();
  const auto png = ids.size() == 1 ? f.temp / "out.png" : f.temp / ("out-" + std::to_string(index + 1) + ".png");
  return {{.ours = RgbOf(read.dib),
           .theirs = ToolPng("heif-convert --quiet " + test::Quote(f.path.string()) + " " + test::Quote((f.temp / "out.png").string()), png)}};
}

// The frames of a PNG or an APNG whose frames all cover the canvas (as djxl writes them): each
// made a PNG of its own from the header chunks and its IDAT or fdAT data.
std::vector<RgbImage> PngFrames(const Bytes& file) {
  const auto chunk = [](Bytes& to, const char* type, const uint8_t* data, std::size_t size) {
    for (int i = 3; i >= 0; --i) to.push_back(static_cast<uint8_t>(size >> (8 * i)));
    to.insert(to.end(), type, type + 4);
    to.insert(to.end(), data, data + size);
    to.insert(to.end(), 4, 0);  // the CRC, not checked
  };
  if (file.size() < 8) return {};
  Bytes head(file.begin(), file.begin() + 8);
  std::vector<Bytes> data;
  bool started = false;
  for (std::size_t at = 8; at + 12 <= file.size();) {
    const std::size_t size = uint32_t{file[at]} << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3];
    if (size > file.size() - at - 12) break;
    const std::string type(file.begin() + at + 4, file.begin() + at + 8);
    const uint8_t* body = file.data() + at + 8;
    if (type == "fcTL") data.emplace_back(), started = true;
    if (type == "IDAT" || type == "fdAT") {
      if (data.empty()) data.emplace_back();
      data.back().insert(data.back().end(), body + (type == "fdAT" ? 4 : 0), body + size);
    } else if (!started && type != "acTL" && type != "IEND") {
      chunk(head, type.c_str(), body, size);
    }
    at += size + 12;
  }
  std::vector<RgbImage> frames;
  for (const Bytes& idat : data) {
    if (idat.empty()) continue;
    Bytes png = head;
    chunk(png, "IDAT", idat.data(), idat.size());
    chunk(png, "IEND", nullptr, 0);
    if (auto frame = PngOverWhite(png, true)) frames.push_back(*frame);
  }
  return frames;
}

// djxl's pixels, an animation frame by frame. Files of more than 8 bits a sample are taken from
// djxl as 16-bit PNG (its 8-bit output of them is not the picture).
std::vector<Picture> JxlPictures(const CorpusFile& f) {
  const ReadResult read = ReadJxlImage(f.bytes);
  EXPECT_EQ(read.status, ReadStatus::Ok);
  const bool deep = read.infoText.find("bit depth: 8 \n") == std::string::npos;
  const auto png = f.temp / "out.png";
  EXPECT_EQ(test::RunCommand("/usr/bin/djxl " + test::Quote(f.path.string()) + " " + test::Quote(png.string()) +
                             (deep ? " --bits_per_sample=16" : " --bits_per_sample=8") + " --num_threads=2 --quiet >/dev/null 2>&1").status, 0);
  const std::vector<RgbImage> theirs = PngFrames(test::ReadBytes(png));
  std::vector<Picture> pictures{{.ours = RgbOf(read.dib), .theirs = theirs.empty() ? std::nullopt : std::optional(theirs[0])}};
  if (theirs.size() < 2) return pictures;
  auto animation = JxlAnimation::Open(f.bytes);
  EXPECT_TRUE(animation && animation->FrameCount() == static_cast<int>(theirs.size())) << "not an animation of as many frames";
  if (!animation) return pictures;
  AddFrames(pictures, *animation, std::min<int>(animation->FrameCount(), static_cast<int>(theirs.size())), pictures[0].ours,
            [&](int n, const RgbImage&) { return theirs[n - 1]; });
  return pictures;
}

// ---- The table

enum class NoReference { Fails, NotCompared, NoImageEither };

struct Row {
  const char* name;
  std::vector<std::string> formats;     // of the manifest
  std::vector<std::string> references;  // tried in turn: "imagemagick", "imagemagick-first" or a netpbm decoder
  std::vector<std::string> needs;       // programs of which one must be installed
  bool nextWhenDifferent;  // the next reference is tried when one differs (else only when it fails or gives another size)
  NoReference noReference;
  int minimum;  // comparisons at least
  std::vector<Picture> (*pictures)(const CorpusFile&);
  void (*everyFile)(const CorpusFile&) = nullptr;  // for every file of the format, damaged ones too
};

const Row kRows[] = {
    {"BMP", {"BMP"}, {"imagemagick", "bmptopnm"}, {"convert", "bmptopnm"}, false, NoReference::Fails, 51, BmpPictures,
     ByOffsetAsFromMemory<ReadBitmap, 14 + kDibHeadBytes>},
    {"PCX", {"PCX"}, {"pcxtoppm"}, {"pcxtoppm"}, false, NoReference::Fails, 39, PcxPictures,
     ByOffsetAsFromMemory<ReadPcxImage, 128>},
    {"Targa", {"TGA"}, {"tgatoppm"}, {"tgatoppm"}, false, NoReference::Fails, 80, TargaPictures,
     ByOffsetAsFromMemory<ReadTargaImage, 18>},
    {"GIF", {"GIF"}, {"imagemagick-first", "giftopnm"}, {"convert", "giftopnm"}, true, NoReference::NotCompared, 92,
     GifPictures,
     [](const CorpusFile& f) { IsWhole(ReadGifImage(f.bytes)); }},
    {"GIF_frames", {"GIF"}, {}, {"convert"}, false, NoReference::Fails, 50, GifFrames},
    {"IFF", {"IFF"}, {"ilbmtoppm"}, {"ilbmtoppm"}, false, NoReference::NoImageEither, 10, IffPictures,
     [](const CorpusFile& f) { IsWhole(ReadIffImage(f.bytes)); }},
    {"SunIcon", {"SunIcon"}, {}, {"sunicontopnm"}, false, NoReference::Fails, 101, SunIconPictures},
    {"Icon", {"ICO", "CUR"}, {}, {"convert"}, false, NoReference::Fails, 91, IconFilePictures},
    {"AnimatedCursor_frames", {"ANI"}, {}, {"convert"}, false, NoReference::Fails, 61, AnimatedCursorFrames},
    {"WebP", {"WebP"}, {}, {"dwebp"}, false, NoReference::Fails, 31, WebpPictures, PictureOrFailure<ReadWebpImage>},
    {"WebP_frames", {"WebP"}, {}, {"convert"}, false, NoReference::Fails, 70, WebpFrames},
    {"AVIF", {"AVIF"}, {}, {"avifdec"}, false, NoReference::Fails, 147, AvifPictures, AvifEveryFile},
    {"HEIF", {"HEIF"}, {}, {"heif-convert"}, false, NoReference::Fails, 16, HeifPictures, PictureOrFailure<ReadHeifImage>},
    {"JXL", {"JXL"}, {}, {"djxl"}, false, NoReference::Fails, 161, JxlPictures, PictureOrFailure<ReadJxlImage>},
    {"Orientation", {"JPEG", "WebP"}, {}, {"convert"}, false, NoReference::Fails, 60, OrientedPictures},
};

std::string ProgramOf(const std::string& reference) {
  return "/usr/bin/" + (reference.starts_with("imagemagick") ? std::string("convert") : reference);
}

std::optional<RgbImage> Decode(const std::string& reference, const std::filesystem::path& file) {
  if (reference == "imagemagick") return test::DecodeWithImageMagick(file);
  if (reference == "imagemagick-first") return test::DecodeWithImageMagick(file.string() + "[0]", "+repage");
  return test::DecodeWithNetpbm(file, reference, reference == "tgatoppm" ? "pamdepth 255" : "ppmtoppm");
}

class CorpusConformanceTest : public testing::TestWithParam<Row> {};

TEST_P(CorpusConformanceTest, ValidFilesMatchAnIndependentDecoder) {
  const Row& row = GetParam();
  if (!test::HaveCorpus()) GTEST_SKIP() << "no corpus at " << test::CorpusDir();
  if (std::ranges::none_of(row.needs, [](const std::string& p) { return test::HaveProgram("/usr/bin/" + p); })) {
    GTEST_SKIP() << row.needs[0] << " is not installed";
  }
  int files = 0, compared = 0, known = 0;
  for (const auto& entry : test::CorpusManifest()) {
    if (std::ranges::find(row.formats, entry.format) == row.formats.end()) continue;
    ++files;
    SCOPED_TRACE(entry.path);
    const test::TempDir temp;
    const CorpusFile file{entry, test::CorpusDir() / entry.path, test::ReadBytes(test::CorpusDir() / entry.path), temp};
    if (row.everyFile != nullptr) row.everyFile(file);
    if (entry.expected != "valid") continue;
    if (std::ranges::any_of(KnownDifferences(), [&](const Known& k) { return k.path == entry.path && k.image == 0 && k.action == "skip"; })) {
      ++known;  // not even read: the reference may fail on it
      continue;
    }
    for (Picture& p : row.pictures(file)) {
      SCOPED_TRACE("image " + std::to_string(p.number));
      const auto k = std::ranges::find_if(KnownDifferences(), [&](const Known& k) {
        return k.path == entry.path && (k.image == 0 || k.image == p.number);
      });
      std::vector<std::string> references = row.references;
      if (k != KnownDifferences().end()) {
        ++known;
        if (k->action == "skip") continue;
        if (k->action == "unread") {
          EXPECT_TRUE(!p.ours && p.message) << "a known unreadable image";
          continue;
        }
        if (k->action.starts_with("reference ")) references = {k->action.substr(10)};
        if (k->action.starts_with("tolerance ")) p.tolerance = std::stoi(k->action.substr(10));
      }
      std::string by = "the row's own reference";
      for (const std::string& reference : references) {
        if (p.theirs || !test::HaveProgram(ProgramOf(reference))) continue;
        auto theirs = Decode(reference, p.file);
        if (!theirs) continue;
        p.theirs = p.mirrored ? test::Mirrored(*theirs, true) : *theirs;
        by = reference;
        const bool sameSize = p.ours && p.ours->width == theirs->width && p.ours->height == theirs->height;
        if (!p.ours || (sameSize && !row.nextWhenDifferent) || test::SameImage(*p.ours, *p.theirs, p.tolerance, p.bits)) break;
        if (&reference != &references.back()) p.theirs.reset();
      }
      if (!p.theirs) {
        if (row.noReference == NoReference::Fails) ADD_FAILURE() << "no independent decode";
        if (row.noReference == NoReference::NoImageEither) {
          EXPECT_FALSE(p.ours) << "no reference reads it";
        }
        continue;
      }
      if (!p.ours) {
        ADD_FAILURE() << "not read";
        continue;
      }
      ++compared;
      if (p.mean > 0) {
        EXPECT_LT(test::MeanDifference(*p.ours, *p.theirs), p.mean) << by;  // of another size: 1e9
      } else {
        EXPECT_TRUE(test::SameImage(*p.ours, *p.theirs, p.tolerance, p.bits)) << by;
      }
    }
  }
  std::printf("%s corpus: %d files, %d images compared, %d known differences\n", row.name, files, compared, known);
  EXPECT_GE(compared, row.minimum);
}

INSTANTIATE_TEST_SUITE_P(Formats, CorpusConformanceTest, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ravelle
