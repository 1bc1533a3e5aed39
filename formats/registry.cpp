#include "formats/registry.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "formats/common/mac_binary.h"
#include "formats/dib/bmp_writer.h"
#include "formats/dib/dib_reader.h"
#include "formats/gif/gif_reader.h"
#include "formats/gif/gif_writer.h"
#include "formats/icon/icon_reader.h"
#include "formats/iff/iff.h"
#include "formats/lib/jpeg_file.h"
#include "formats/lib/png_file.h"
#include "formats/lib/tiff_file.h"
#include "formats/metafile/metafile.h"
#include "formats/pcx/pcx_file.h"
#include "formats/sunicon/sunicon.h"
#include "formats/targa/targa_file.h"
#include "formats/jxl/jxl_reader.h"
#include "formats/webp/webp_reader.h"
#include "formats/webp/webp_writer.h"
#include "formats/avif/avif_writer.h"
#include "formats/jxl/jxl_writer.h"
#include "formats/avif/avif_reader.h"
#include "formats/heif/heif_reader.h"
#include "image/output_file.h"

namespace ravelle {

uint16_t TypeProbe::Word(std::size_t offset) const {
  const auto byte = [&](std::size_t i) -> uint16_t { return i < head.size() ? head[i] : 0; };
  return static_cast<uint16_t>(byte(offset) | (byte(offset + 1) << 8));
}

uint32_t TypeProbe::Dword(std::size_t offset) const {
  return Word(offset) | (static_cast<uint32_t>(Word(offset + 2)) << 16);
}

bool TypeProbe::ExtensionIs(std::string_view name) const {
  return std::ranges::equal(extension, name, [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
  });
}

namespace {

std::optional<TypeDecision> Is(FileType type, ImageKind kind, std::size_t start = 0) {
  return TypeDecision{type, kind, start};
}

// ---- Windows and OS/2 bitmaps

FileType BitmapReaderFor(uint32_t headerSize) {
  switch (headerSize) {
    case 12: return FileType::Os2Bitmap;
    case 64: return FileType::Os2v2Bitmap;
    // 40 is the Windows header; 52 and 56 add masks, 108 (V4) and 124 (V5) a colour space.
    case 40: case 52: case 56: case 108: case 124: return FileType::WindowsBitmap;
    default: return FileType::OtherBitmapHeader;
  }
}

constexpr TypeRule kBmpRules[] = {
    {1, [](const TypeProbe& p) {
       return p.Word(0) == 0x4D42 ? Is(BitmapReaderFor(p.Dword(14)), ImageKind::Bitmap) : std::nullopt;
     }},
    // An OS/2 bitmap array: its first entry's bitmap file follows the 14-byte array header.
    {2, [](const TypeProbe& p) {
       return p.Word(0) == 0x4142 && p.Word(14) == 0x4D42 ? Is(BitmapReaderFor(p.Dword(28)), ImageKind::Bitmap, 14)
                                                         : std::nullopt;
     }},
};
// A reader by offset reads the source it is given, or else the bytes.
template <ReadResult (*Read)(const ByteSource&, std::size_t)>
ReadResult ByOffset(const ReaderInput& in) {
  return in.source != nullptr ? Read(*in.source, in.start) : Read(ByteSource(in.bytes), in.start);
}

// PCX and Targa data start at the file's start.
ReadResult ReadPcxAt(const ByteSource& file, std::size_t) { return ReadPcxImage(file); }
ReadResult ReadTargaAt(const ByteSource& file, std::size_t) { return ReadTargaImage(file); }

constexpr TypeReader kBmpReaders[] = {
    {FileType::WindowsBitmap, true, ByOffset<ReadWindowsDib>, true},
    {FileType::Os2Bitmap, true, ByOffset<ReadOs2Dib>, true},
    {FileType::Os2v2Bitmap, true, ByOffset<ReadOs2v2Dib>, true},
    {FileType::OtherBitmapHeader, true, nullptr},
};

WriteOutcome Outcome(bool written) { return written ? WriteOutcome::Written : WriteOutcome::Failed; }

// The BMP compressions the menu offers for a picture of these bits per pixel (any, with none).
bool RunLengthDepths(const WriterTarget& t) { return t.bitCount == 0 || t.bitCount == 4 || t.bitCount == 8; }
bool BitfieldDepths(const WriterTarget& t) { return t.bitCount == 0 || t.bitCount == 16 || t.bitCount == 32; }

constexpr WriterVariant kBmpWriters[] = {
    {"bmp", 117, [](const PackedDib& image, const std::filesystem::path& file) {
       auto output = OutputFile::Create(file);
       if (!output) return WriteOutcome::CannotCreate;
       return Outcome(WriteBmp(image, output->Stream()) && output->Commit());
     }},
    {"bmp-rle", 173, [](const PackedDib& image, const std::filesystem::path& file) {
       return Outcome(WriteBmpRle(file, image));
     }, RunLengthDepths},
    {"bmp-bitfields", 178, [](const PackedDib& image, const std::filesystem::path& file) {
       return Outcome(WriteBmpBitfields(file, image, 0));
     }, BitfieldDepths},
    {"bmp-bitfields-565", 179, [](const PackedDib& image, const std::filesystem::path& file) {
       return Outcome(WriteBmpBitfields(file, image, 1));
     }, BitfieldDepths},
};

// ---- GIF

constexpr TypeRule kGifRules[] = {
    {3, [](const TypeProbe& p) { return p.Word(0) == 0x4947 ? Is(FileType::Gif, ImageKind::Bitmap) : std::nullopt; }},
    // A 128-byte MacBinary header in front of a GIF file.
    {16, [](const TypeProbe& p) {
       return p.Word(128) == 0x4947 ? Is(FileType::MacBinaryGif, ImageKind::Bitmap, 128) : std::nullopt;
     }},
};
// A GIF of more than one image is shown as an animation of its composed frames.
std::unique_ptr<FrameSequence> AnimateGif(std::span<const uint8_t> bytes, std::size_t start) {
  if (CountGifImages(bytes, start) < 2) return nullptr;
  return GifAnimation::Open(bytes, start);
}
constexpr TypeReader kGifReaders[] = {
    {FileType::Gif, true, [](const ReaderInput& in) { return ReadGifImage(in.bytes, in.start); }, false,
     FrameSource::Animation, AnimateGif},
    {FileType::MacBinaryGif, true, [](const ReaderInput& in) { return ReadGifImage(in.bytes, in.start); }, false,
     FrameSource::Animation, AnimateGif},
};
constexpr WriterVariant kGifWriters[] = {
    {"gif", 136, [](const PackedDib& image, const std::filesystem::path& file) {
       auto output = OutputFile::Create(file);
       if (!output) return WriteOutcome::CannotCreate;
       return Outcome(WriteGifImage(image, output->Stream(), false) && output->Commit());
     }},
    {"gif-interlaced", 165, [](const PackedDib& image, const std::filesystem::path& file) {
       auto output = OutputFile::Create(file);
       if (!output) return WriteOutcome::CannotCreate;
       return Outcome(WriteGifImage(image, output->Stream(), true) && output->Commit());
     }},
};

// ---- icons, cursors and animated cursors

constexpr TypeRule kIconRules[] = {
    {9, [](const TypeProbe& p) {
       return p.Word(0) == 0x4952 && p.Word(2) == 0x4646 ? Is(FileType::AnimatedCursor, ImageKind::AnimatedCursor)
                                                        : std::nullopt;
     }},
    {10, [](const TypeProbe& p) {
       const bool named = p.ExtensionIs("ICO") || p.ExtensionIs("ICN") || p.ExtensionIs("CUR");
       return p.Word(0) == 0 && (p.Word(2) == 1 || p.Word(2) == 2) && named ? Is(FileType::Icon, ImageKind::Bitmap)
                                                                              : std::nullopt;
     }},
};
constexpr TypeReader kIconReaders[] = {
    {FileType::AnimatedCursor, true, [](const ReaderInput& in) { return ReadAnimatedCursor(in.bytes, ReadPngImage).result; },
     false, FrameSource::CursorFrames},
    {FileType::Icon, true, [](const ReaderInput& in) { return ReadIconImage(in.bytes, {.png = ReadPngImage}).result; },
     false, FrameSource::IconImages},
};

// ---- IFF/ILBM

constexpr TypeRule kIffRules[] = {
    {8, [](const TypeProbe& p) {
       return p.Word(0) == 0x4F46 && p.Word(2) == 0x4D52 ? Is(FileType::Iff, ImageKind::Bitmap) : std::nullopt;
     }},
};
constexpr TypeReader kIffReaders[] = {
    {FileType::Iff, true,
     [](const ReaderInput& in) { return in.source != nullptr ? ReadIffImage(*in.source) : ReadIffImage(in.bytes); }, true},
};
template <bool Pack, bool Ham>
WriteOutcome WriteIff(const PackedDib& image, const std::filesystem::path& file) {
  return WriteIffImage(file, Pack, Ham, image) ? WriteOutcome::Written : WriteOutcome::Failed;
}
constexpr WriterVariant kIffWriters[] = {
    {"iff", 174, WriteIff<false, false>},
    {"iff-packed", 175, WriteIff<true, false>},
    {"iff-ham", 176, WriteIff<false, true>},
    {"iff-ham-packed", 177, WriteIff<true, true>},
};

// ---- JPEG

constexpr TypeRule kJpegRules[] = {
    {4, [](const TypeProbe& p) { return p.Word(0) == 0xD8FF ? Is(FileType::Jpeg, ImageKind::Bitmap) : std::nullopt; }},
};
constexpr TypeReader kJpegReaders[] = {
    {FileType::Jpeg, false, [](const ReaderInput& in) { return ReadJpegImage(in.path, in.displayDepth, in.fitSide); }},
};
constexpr WriterVariant kJpegWriters[] = {
    {"jpeg", 118, [](const PackedDib& image, const std::filesystem::path& file) {
       return Outcome(WriteJpegImage(file, kJpegQuality, image, false));
     }},
    {"jpeg-progressive", 166, [](const PackedDib& image, const std::filesystem::path& file) {
       return Outcome(WriteJpegImage(file, kJpegQuality, image, true));
     }},
};

// ---- PCX

constexpr TypeRule kPcxRules[] = {
    {5, [](const TypeProbe& p) {
       const uint8_t version = p.head.size() > 1 ? p.head[1] : 0;
       const bool known = version == 0 || (version >= 2 && version <= 5);
       return (p.head.empty() ? 0 : p.head[0]) == 0x0A && known ? Is(FileType::Pcx, ImageKind::Bitmap) : std::nullopt;
     }},
};
constexpr TypeReader kPcxReaders[] = {
    {FileType::Pcx, true, ByOffset<ReadPcxAt>, true},
};
constexpr WriterVariant kPcxWriters[] = {
    {"pcx", 172, [](const PackedDib& image, const std::filesystem::path& file) {
       return Outcome(WritePcxImage(file, image));
     }},
};

// ---- PNG

constexpr TypeRule kPngRules[] = {
    {7, [](const TypeProbe& p) {
       return p.Word(0) == 0x5089 && p.Word(2) == 0x474E ? Is(FileType::Png, ImageKind::Bitmap) : std::nullopt;
     }},
};
constexpr TypeReader kPngReaders[] = {
    {FileType::Png, false, [](const ReaderInput& in) { return ReadPngImage(in.path, in.displayDepth); }},
};
constexpr WriterVariant kPngWriters[] = {
    {"png", 163, [](const PackedDib& image, const std::filesystem::path& file) {
       return Outcome(WritePngImage(file, image, false));
     }},
    {"png-adam7", 164, [](const PackedDib& image, const std::filesystem::path& file) {
       return Outcome(WritePngImage(file, image, true));
     }},
};

// ---- SunIcon (text icons, named .icon, .pr and .cursor, or .ico; the extension is compared by
// its first three letters)

constexpr TypeRule kSunIconRules[] = {
    {11, [](const TypeProbe& p) {
       const bool named = p.ExtensionIs("ICO") || p.ExtensionIs("PR") || p.ExtensionIs("CUR");
       return p.Word(0) == 0x2A2F && named ? Is(FileType::SunIcon, ImageKind::Bitmap) : std::nullopt;
     }},
};
constexpr TypeReader kSunIconReaders[] = {
    {FileType::SunIcon, true, [](const ReaderInput& in) { return ReadSunIcon(in.bytes); }},
};

// ---- Targa

constexpr TypeRule kTargaRules[] = {
    {15, [](const TypeProbe& p) { return p.ExtensionIs("TGA") ? Is(FileType::Targa, ImageKind::Bitmap) : std::nullopt; }},
};
constexpr TypeReader kTargaReaders[] = {
    {FileType::Targa, true, ByOffset<ReadTargaAt>, true},
};
constexpr WriterVariant kTargaWriters[] = {
    {"tga", 168, [](const PackedDib& image, const std::filesystem::path& file) {
       return Outcome(WriteTargaImage(file, image, false));
     }},
    {"tga-rle", 169, [](const PackedDib& image, const std::filesystem::path& file) {
       return Outcome(WriteTargaImage(file, image, true));
     }},
};

// ---- TIFF

constexpr TypeRule kTiffRules[] = {
    {6, [](const TypeProbe& p) {
       return p.Word(0) == 0x4949 || p.Word(0) == 0x4D4D ? Is(FileType::Tiff, ImageKind::Bitmap) : std::nullopt;
     }},
    // A 128-byte MacBinary header in front of a TIFF file.
    {17, [](const TypeProbe& p) {
       return p.Word(128) == 0x4949 || p.Word(128) == 0x4D4D ? Is(FileType::MacBinaryTiff, ImageKind::Bitmap, 128)
                                                             : std::nullopt;
     }},
};
constexpr TypeReader kTiffReaders[] = {
    {FileType::Tiff, false, [](const ReaderInput& in) { return ReadTiffImage(in.path); }},
    {FileType::MacBinaryTiff, false, [](const ReaderInput& in) {
       return ReadWithoutMacBinaryHeader(in.path, [](const std::filesystem::path& copy) { return ReadTiffImage(copy); });
     }},
};

// The TIFF commands: each compression in strips and in tiles.
template <int Compression, bool Tiles>
WriteOutcome WriteTiff(const PackedDib& image, const std::filesystem::path& file) {
  return Outcome(WriteTiffImage(file, Compression, Tiles, image));
}

// The fax compressions are offered for black-and-white pictures only.
bool BlackAndWhite(const WriterTarget& t) { return t.blackAndWhite; }

#define RAVELLE_TIFF(name, compression, strips, tiles, enabled)                \
  {"tiff-" name, strips, WriteTiff<compression, false>, enabled},              \
  {"tiff-" name "-tiles", tiles, WriteTiff<compression, true>, enabled}
constexpr WriterVariant kTiffWriters[] = {
    RAVELLE_TIFF("none", 1, 139, 154, nullptr),     RAVELLE_TIFF("huffman", 2, 142, 155, BlackAndWhite),
    RAVELLE_TIFF("g3", 3, 143, 156, BlackAndWhite),  RAVELLE_TIFF("g4", 4, 144, 157, BlackAndWhite),
    RAVELLE_TIFF("lzw", 5, 140, 158, nullptr),      RAVELLE_TIFF("jpeg", 7, 141, 159, nullptr),
    RAVELLE_TIFF("packbits", 32773, 145, 160, nullptr), RAVELLE_TIFF("deflate", 32946, 146, 161, nullptr),
};
#undef RAVELLE_TIFF

// ---- Windows and enhanced metafiles

constexpr TypeRule kMetafileRules[] = {
    {12, [](const TypeProbe& p) {
       return p.Word(0) == 0xCDD7 ? Is(FileType::PlaceableMetafile, ImageKind::WindowsMetafile) : std::nullopt;
     }},
    {13, [](const TypeProbe& p) {
       return p.ExtensionIs("WMF") ? Is(FileType::WindowsMetafile, ImageKind::WindowsMetafile) : std::nullopt;
     }},
    {14, [](const TypeProbe& p) {
       return p.ExtensionIs("EMF") ? Is(FileType::EnhancedMetafile, ImageKind::EnhancedMetafile) : std::nullopt;
     }},
};
constexpr TypeReader kMetafileReaders[] = {
    {FileType::PlaceableMetafile, true, [](const ReaderInput& in) { return ReadWindowsMetafile(in.bytes, true); }},
    {FileType::WindowsMetafile, true, [](const ReaderInput& in) { return ReadWindowsMetafile(in.bytes, false); }},
    {FileType::EnhancedMetafile, false, [](const ReaderInput& in) { return ReadEnhancedMetafile(in.path); }},
};

// ---- WebP ("RIFF", a size, "WEBP"): tried before the animated cursors' rule, which takes every
// RIFF file

constexpr TypeRule kWebpRules[] = {
    {0, [](const TypeProbe& p) {
       return p.Word(0) == 0x4952 && p.Word(2) == 0x4646 && p.Word(8) == 0x4557 && p.Word(10) == 0x5042
                  ? Is(FileType::Webp, ImageKind::Bitmap)
                  : std::nullopt;
     }},
};
constexpr TypeReader kWebpReaders[] = {
    {FileType::Webp, true, [](const ReaderInput& in) { return ReadWebpImage(in.bytes); }, false, FrameSource::Animation,
     [](std::span<const uint8_t> bytes, std::size_t) -> std::unique_ptr<FrameSequence> {
       return WebpAnimation::Open(bytes);
     }},
};
template <bool kLossless>
WriteOutcome WriteWebp(const PackedDib& image, const std::filesystem::path& file) {
  auto output = OutputFile::Create(file);
  if (!output) return WriteOutcome::CannotCreate;
  return Outcome(WriteWebpImage(image, output->Stream(), kLossless) && output->Commit());
}
constexpr WriterVariant kWebpWriters[] = {
    {"webp", 200, WriteWebp<false>},
    {"webp-lossless", 201, WriteWebp<true>},
};

// ---- AVIF and HEIF: an ISO base media "ftyp" box first, its major brand at 8 and the compatible
// brands from 16 to the end of the box

bool FtypBrand(const TypeProbe& p, std::size_t offset, std::string_view brand) {
  for (std::size_t i = 0; i < 4; ++i) {
    if (offset + i >= p.head.size() || p.head[offset + i] != static_cast<uint8_t>(brand[i])) return false;
  }
  return true;
}
bool FtypMajor(const TypeProbe& p, std::initializer_list<std::string_view> brands) {
  if (!FtypBrand(p, 4, "ftyp")) return false;
  return std::ranges::any_of(brands, [&](std::string_view brand) { return FtypBrand(p, 8, brand); });
}
bool FtypCompatible(const TypeProbe& p, std::string_view brand) {
  std::size_t size = 0;
  for (std::size_t i = 0; i < 4 && i < p.head.size(); ++i) size = size << 8 | p.head[i];
  const std::size_t end = std::min(p.head.size(), size);
  for (std::size_t at = 16; at + 4 <= end; at += 4) {
    if (FtypBrand(p, at, brand)) return true;
  }
  return false;
}

constexpr TypeRule kAvifRules[] = {
    {18, [](const TypeProbe& p) {
       return FtypMajor(p, {"avif", "avis"}) ||
                      (FtypMajor(p, {"mif1", "msf1", "miaf"}) && (FtypCompatible(p, "avif") || FtypCompatible(p, "avis")))
                  ? Is(FileType::Avif, ImageKind::Bitmap)
                  : std::nullopt;
     }},
};
constexpr TypeReader kAvifReaders[] = {
    {FileType::Avif, true, [](const ReaderInput& in) { return ReadAvifImage(in.bytes); }, false, FrameSource::Animation,
     [](std::span<const uint8_t> bytes, std::size_t) -> std::unique_ptr<FrameSequence> {
       return AvifAnimation::Open(bytes);
     }},
};
constexpr WriterVariant kAvifWriters[] = {
    {"avif", 202, [](const PackedDib& image, const std::filesystem::path& file) {
       auto output = OutputFile::Create(file);
       if (!output) return WriteOutcome::CannotCreate;
       return Outcome(WriteAvifImage(image, output->Stream()) && output->Commit());
     }},
};

constexpr TypeRule kHeifRules[] = {
    {19, [](const TypeProbe& p) {
       return FtypMajor(p, {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"})
                  ? Is(FileType::Heif, ImageKind::Bitmap)
                  : std::nullopt;
     }},
};
constexpr TypeReader kHeifReaders[] = {
    {FileType::Heif, true, [](const ReaderInput& in) { return ReadHeifImage(in.bytes); }},
};

// ---- JPEG XL: a bare codestream (FF 0A) or the container's signature box

constexpr TypeRule kJxlRules[] = {
    {20, [](const TypeProbe& p) {
       const bool codestream = p.Word(0) == 0x0AFF;
       const bool container = p.Dword(0) == 0x0C000000 && p.Dword(4) == 0x204C584A && p.Dword(8) == 0x0A870A0D;
       return codestream || container ? Is(FileType::Jxl, ImageKind::Bitmap) : std::nullopt;
     }},
};
constexpr TypeReader kJxlReaders[] = {
    {FileType::Jxl, true, [](const ReaderInput& in) { return ReadJxlImage(in.bytes); }, false, FrameSource::Animation,
     [](std::span<const uint8_t> bytes, std::size_t) -> std::unique_ptr<FrameSequence> {
       return JxlAnimation::Open(bytes);
     }},
};
template <bool kLossless>
WriteOutcome WriteJxl(const PackedDib& image, const std::filesystem::path& file) {
  auto output = OutputFile::Create(file);
  if (!output) return WriteOutcome::CannotCreate;
  return Outcome(WriteJxlImage(image, output->Stream(), kLossless) && output->Commit());
}
constexpr WriterVariant kJxlWriters[] = {
    {"jxl", 203, WriteJxl<false>},
    {"jxl-lossless", 204, WriteJxl<true>},
};

constexpr FormatRow kFormats[] = {
    {"BMP", kBmpRules, kBmpReaders, "bmp, dib, rle", "*.bmp;*.dib;*.rle", "bmp", "Windows Bitmap (*.bmp)", kBmpWriters},
    {"GIF", kGifRules, kGifReaders, "gif", "*.gif", "gif", "GIF (*.gif)", kGifWriters},
    {"ICO", kIconRules, kIconReaders, "ico, cur, ani", "*.ico;*.cur;*.ani", "", "", {}},
    {"IFF", kIffRules, kIffReaders, "iff, lbm", "*.iff;*.lbm", "iff", "IFF (*.iff)", kIffWriters},
    {"JPEG", kJpegRules, kJpegReaders, "jpg, jpe, jpeg", "*.jpg;*.jpe;*.jpeg", "jpg", "JPEG (*.jpg)", kJpegWriters},
    {"PCX", kPcxRules, kPcxReaders, "pcx", "*.pcx", "pcx", "PCX (*.pcx)", kPcxWriters},
    {"PNG", kPngRules, kPngReaders, "png", "*.png", "png", "PNG (*.png)", kPngWriters},
    {"SunIcon", kSunIconRules, kSunIconReaders, "SunIcon (icon, pr, cursor)", "*.icon;*.pr;*.cursor", "", "", {}},
    {"Targa", kTargaRules, kTargaReaders, "tga", "*.tga", "tga", "TARGA (*.tga)", kTargaWriters},
    {"TIFF", kTiffRules, kTiffReaders, "tif, tiff", "*.tif;*.tiff", "tif", "TIFF (*.tif)", kTiffWriters},
    {"Metafile", kMetafileRules, kMetafileReaders, "wmf, emf", "*.wmf;*.emf", "", "", {}},
    {"WebP", kWebpRules, kWebpReaders, "webp", "*.webp", "webp", "WebP (*.webp)", kWebpWriters},
    {"AVIF", kAvifRules, kAvifReaders, "avif, avifs", "*.avif;*.avifs", "avif", "AVIF (*.avif)", kAvifWriters},
    {"HEIF", kHeifRules, kHeifReaders, "heic, heif, hif", "*.heic;*.heif;*.hif", "", "", {}},
    {"JPEG XL", kJxlRules, kJxlReaders, "jxl", "*.jxl", "jxl", "JPEG XL (*.jxl)", kJxlWriters},
};

struct OrderedRule {
  int order;
  const TypeRule* rule;
};

// Every format's rules, in the order they are tried.
const std::vector<OrderedRule>& RulesInOrder() {
  static const std::vector<OrderedRule> rules = [] {
    std::vector<OrderedRule> all;
    for (const FormatRow& row : kFormats) {
      for (const TypeRule& rule : row.rules) all.push_back({rule.order, &rule});
    }
    std::ranges::sort(all, {}, &OrderedRule::order);
    return all;
  }();
  return rules;
}

}  // namespace

std::span<const FormatRow> Formats() { return kFormats; }

TypeDecision DecideFileType(std::span<const uint8_t> head, std::string_view extension) {
  const TypeProbe probe{head, extension};
  for (const OrderedRule& entry : RulesInOrder()) {
    if (auto decision = entry.rule->probe(probe)) return *decision;
  }
  return {FileType::Unknown, ImageKind::NoImage, 0};
}

const TypeReader* FindReader(FileType type) {
  for (const FormatRow& row : kFormats) {
    for (const TypeReader& reader : row.readers) {
      if (reader.type == type) return &reader;
    }
  }
  return nullptr;
}

namespace {

template <typename Match>
const WriterVariant* FindWriter(Match match) {
  for (const FormatRow& row : kFormats) {
    for (const WriterVariant& writer : row.writers) {
      if (match(writer)) return &writer;
    }
  }
  return nullptr;
}

}  // namespace

const WriterVariant* FindWriterByName(std::string_view cliName) {
  return FindWriter([&](const WriterVariant& w) { return w.cliName == cliName; });
}

const WriterVariant* FindWriterByCommand(int commandId) {
  return FindWriter([&](const WriterVariant& w) { return w.commandId == commandId; });
}

const FormatRow* FindFormatOf(const WriterVariant& writer) {
  for (const FormatRow& row : kFormats) {
    if (!row.writers.empty() && &writer >= row.writers.data() && &writer < row.writers.data() + row.writers.size()) {
      return &row;
    }
  }
  return nullptr;
}

bool WriterVariant::EnabledFor(const WriterTarget& target) const { return enabledFor == nullptr || enabledFor(target); }

}  // namespace ravelle
