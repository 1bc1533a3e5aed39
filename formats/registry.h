// Everything the program knows about each file format, one row per format: the type rules that
// recognise its files (with their place in the rule order) and their readers, its Convert/Save
// commands and ravelle-cli names with their writers, its extension, its Save As filter and its
// row of the dialog's type filter. Load dispatch, conversion, the dialogs' filters and
// ravelle-cli's format list are all taken from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "formats/common/frame_sequence.h"
#include "formats/common/read_result.h"
#include "image/byte_source.h"
#include "image/image_kind.h"
#include "image/packed_dib.h"

namespace ravelle {

enum class FileType {
  WindowsBitmap,
  Os2Bitmap,
  Os2v2Bitmap,
  OtherBitmapHeader,  // "BM" with a header size no reader knows: no image, no message
  Gif,
  Jpeg,
  Pcx,
  Tiff,
  Png,
  Iff,
  AnimatedCursor,
  Icon,
  SunIcon,
  PlaceableMetafile,
  WindowsMetafile,
  EnhancedMetafile,
  Targa,
  MacBinaryGif,
  MacBinaryTiff,
  Webp,
  Avif,
  Heif,
  Jxl,
  Unknown,
};

struct TypeDecision {
  FileType type = FileType::Unknown;
  ImageKind kind = ImageKind::NoImage;
  std::size_t start = 0;  // where the format's data begins (14 inside an OS/2 bitmap array)
};

// The start of a file (shorter files are taken as padded with zeros) and its extension.
struct TypeProbe {
  std::span<const uint8_t> head;
  std::string_view extension;  // compared without regard to case
  uint16_t Word(std::size_t offset) const;
  uint32_t Dword(std::size_t offset) const;
  bool ExtensionIs(std::string_view name) const;
};

// What a reader is given: the file's bytes (for the readers that work in memory), its path (for
// those that read through a library), the display's depth, where the decision says the data
// begins, and for the readers by offset the file to read from.
struct ReaderInput {
  std::span<const uint8_t> bytes;
  const std::string& path;
  int displayDepth = 24;
  std::size_t start = 0;
  const ByteSource* source = nullptr;
  // For a picture to be shown no larger than this on its longer side (0: at its size): a reader
  // may then give it smaller, down to this.
  int fitSide = 0;
};

// One type rule: `order` is its place among all formats' rules; `probe` says whether a file
// matches (and as what).
struct TypeRule {
  int order;
  std::optional<TypeDecision> (*probe)(const TypeProbe&);
};

// The reader of one file type. `wholeFile` readers are given the file's bytes; the others its
// path. A null `read` is a type this build recognises but does not read (no image, no message).
// Readers `byOffset` are given the open file instead of its bytes and read what they need, so
// that their rows go from the file straight into the image.
// How a type's files may hold more than one picture, which the loader reads and the timer steps:
// an animation (its frames opened by `animate`), an icon file's images, an animated cursor's frames.
enum class FrameSource : uint8_t { Still, Animation, IconImages, CursorFrames };

struct TypeReader {
  FileType type;
  bool wholeFile;
  ReadResult (*read)(const ReaderInput&);
  bool byOffset = false;
  FrameSource frames = FrameSource::Still;
  // An Animation's frames; nothing for a file of one picture.
  std::unique_ptr<FrameSequence> (*animate)(std::span<const uint8_t> bytes, std::size_t start) = nullptr;
};

enum class WriteOutcome { Written, CannotCreate, Failed };

// The image a Convert/Save command would write, as far as the menu's greying asks: its bits per
// pixel (0 with no image or one that is not a bitmap), and whether it is black and white (or
// about to be made so).
struct WriterTarget {
  int bitCount = 0;
  bool blackAndWhite = false;
};

// One way of writing a format: a Convert/Save command of the viewer and a ravelle-cli name. The
// writer's options are fixed in `write`. A null `write` is a command this build lacks.
// `enabledFor` says for which images the viewer's menu offers the command (null: for every one).
struct WriterVariant {
  std::string_view cliName;
  int commandId;
  WriteOutcome (*write)(const PackedDib&, const std::filesystem::path&);
  bool (*enabledFor)(const WriterTarget&) = nullptr;
  bool EnabledFor(const WriterTarget& target) const;
};

struct FormatRow {
  std::string_view name;
  std::span<const TypeRule> rules;
  std::span<const TypeReader> readers;
  // The dialog's "List files as type" row: its label and patterns; empty for none.
  std::string_view filterLabel;
  std::string_view filterPatterns;
  // Conversion: the extension a converted file is given and the Save As filter's description.
  std::string_view extension;
  std::string_view saveFilter;
  std::span<const WriterVariant> writers;
};

// The dialog's "Images" row: every format's patterns, in the order the dialog has always listed
// them, with the four-letter .jpeg and .tiff beside their three-letter forms, SunIcon's names,
// then the formats added since.
inline constexpr std::string_view kImagesPatterns =
    "*.bmp;*.dib;*.gif;*.pcx;*.rle;*.jpg;*.jpe;*.jpeg;*.tif;*.tiff;*.tga;*.png;*.iff;*.lbm;*.wmf;*.emf;*.ico;*.cur;"
    "*.ani;*.icon;*.pr;*.cursor;*.webp;*.avif;*.avifs;*.heic;*.heif;*.hif;*.jxl";

// Every format, in the order of the dialog's type filter.
std::span<const FormatRow> Formats();

// The type rules, in order. `head` is the start of the file (at least kTypeProbeBytes when the
// file has them).
inline constexpr std::size_t kTypeProbeBytes = 160;  // the MacBinary rules read at offset 128
TypeDecision DecideFileType(std::span<const uint8_t> head, std::string_view extension);

// The reader of a type; null for Unknown and for types without a row.
const TypeReader* FindReader(FileType type);

// Lookups among the writers; null when there is none.
const WriterVariant* FindWriterByName(std::string_view cliName);
const WriterVariant* FindWriterByCommand(int commandId);
// The row a writer variant belongs to.
const FormatRow* FindFormatOf(const WriterVariant& writer);

}  // namespace ravelle
