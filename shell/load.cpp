#include "shell/load.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "shell/adapt_to_display.h"
#include "formats/dib/dib_reader.h"
#include "formats/lib/jpeg_file.h"
#include "formats/lib/png_file.h"
#include "formats/lib/tiff_file.h"

namespace ravelle {
namespace {

uint16_t Word(std::span<const uint8_t> head, std::size_t offset) {
  const auto byte = [&](std::size_t i) -> uint16_t { return i < head.size() ? head[i] : 0; };
  return static_cast<uint16_t>(byte(offset) | (byte(offset + 1) << 8));
}

uint32_t Dword(std::span<const uint8_t> head, std::size_t offset) {
  return Word(head, offset) | (static_cast<uint32_t>(Word(head, offset + 2)) << 16);
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

FileType BitmapReaderFor(uint32_t headerSize) {
  switch (headerSize) {
    case 12: return FileType::Os2Bitmap;
    case 64: return FileType::Os2v2Bitmap;
    // 40 is the Windows header; 52 and 56 add masks, 108 (V4) and 124 (V5) a colour space.
    case 40: case 52: case 56: case 108: case 124: return FileType::WindowsBitmap;
    default: return FileType::OtherBitmapHeader;
  }
}

struct OpenedFile {
  std::FILE* stream = nullptr;
  ~OpenedFile() {
    if (stream != nullptr) std::fclose(stream);
  }
};

// The bytes of a file.
struct FileBytes {
  BlockPtr data;
  std::size_t size = 0;
  std::span<const uint8_t> Span() const { return {data.get(), size}; }
};

// Reads up to `limit` bytes from the start of a regular file; nothing when it cannot be read.
std::optional<FileBytes> ReadFileStart(const std::string& path, uint64_t limit) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  OpenedFile file{std::fopen(path.c_str(), "rb")};
  if (file.stream == nullptr) return std::nullopt;
  FileBytes bytes;
  const auto wanted = static_cast<std::size_t>(std::min<uint64_t>(limit, static_cast<uint64_t>(st.st_size)));
  bytes.data = AllocateBlock(wanted);
  if (!bytes.data) return std::nullopt;
  bytes.size = std::fread(bytes.data.get(), 1, wanted, file.stream);
  if (bytes.size < wanted && std::ferror(file.stream)) return std::nullopt;
  return bytes;
}

bool ReadsWholeFile(FileType type) {
  switch (type) {
    case FileType::WindowsBitmap: case FileType::Os2Bitmap: case FileType::Os2v2Bitmap:
    case FileType::Gif: case FileType::MacBinaryGif: case FileType::Pcx: case FileType::Iff:
    case FileType::AnimatedCursor: case FileType::Icon: case FileType::PlaceableMetafile:
    case FileType::WindowsMetafile: case FileType::Targa:
      return true;
    default:
      return false;
  }
}

// What a reader is given: the file's bytes (for the readers that work in memory), its path
// (for those that read through a library) and the display's depth.
struct ReaderInput {
  std::span<const uint8_t> bytes;
  const std::string& path;
  int displayDepth;
};

// The reader of each type. Types whose reader is not part of this build give no image.
ReadResult RunReader(const TypeDecision& decision, const ReaderInput& input) {
  switch (decision.type) {
    case FileType::WindowsBitmap: return ReadWindowsDib(input.bytes, decision.start);
    case FileType::Os2Bitmap: return ReadOs2Dib(input.bytes, decision.start);
    case FileType::Os2v2Bitmap: return ReadOs2v2Dib(input.bytes, decision.start);
    case FileType::Jpeg: return ReadJpegImage(input.path, input.displayDepth);
    case FileType::Png: return ReadPngImage(input.path, input.displayDepth);
    case FileType::Tiff: return ReadTiffImage(input.path);
    case FileType::MacBinaryTiff:
      return ReadWithoutMacBinaryHeader(input.path, [](const std::filesystem::path& copy) { return ReadTiffImage(copy); });
    default: return {};
  }
}

bool IsRasterKind(ImageKind kind) {
  return kind == ImageKind::Bitmap || kind == ImageKind::IconSequence || kind == ImageKind::AnimatedCursor;
}

}  // namespace

TypeDecision DecideFileType(std::span<const uint8_t> head, std::string_view extension) {
  const uint16_t w0 = Word(head, 0);
  const uint16_t w1 = Word(head, 2);
  const auto is = [&](FileType type, ImageKind kind) { return TypeDecision{type, kind, 0}; };

  if (w0 == 0x4D42) return {BitmapReaderFor(Dword(head, 14)), ImageKind::Bitmap, 0};
  // An OS/2 bitmap array: its first entry's bitmap file follows the 14-byte array header.
  if (w0 == 0x4142 && Word(head, 14) == 0x4D42) return {BitmapReaderFor(Dword(head, 28)), ImageKind::Bitmap, 14};
  if (w0 == 0x4947) return is(FileType::Gif, ImageKind::Bitmap);
  if (w0 == 0xD8FF) return is(FileType::Jpeg, ImageKind::Bitmap);
  const uint8_t b1 = static_cast<uint8_t>(w0 >> 8);
  if ((w0 & 0xFF) == 0x0A && (b1 == 0 || (b1 >= 2 && b1 <= 5))) return is(FileType::Pcx, ImageKind::Bitmap);
  if (w0 == 0x4949 || w0 == 0x4D4D) return is(FileType::Tiff, ImageKind::Bitmap);
  if (w0 == 0x5089 && w1 == 0x474E) return is(FileType::Png, ImageKind::Bitmap);
  if (w0 == 0x4F46 && w1 == 0x4D52) return is(FileType::Iff, ImageKind::Bitmap);
  if (w0 == 0x4952 && w1 == 0x4646) return is(FileType::AnimatedCursor, ImageKind::AnimatedCursor);
  if (w0 == 0 && (w1 == 1 || w1 == 2) &&
      (SameText(extension, "ICO") || SameText(extension, "ICN") || SameText(extension, "CUR"))) {
    return is(FileType::Icon, ImageKind::Bitmap);
  }
  if (w0 == 0x2A2F && SameText(extension, "ICO")) return is(FileType::SunIcon, ImageKind::Bitmap);
  if (w0 == 0xCDD7) return is(FileType::PlaceableMetafile, ImageKind::WindowsMetafile);
  if (SameText(extension, "WMF")) return is(FileType::WindowsMetafile, ImageKind::WindowsMetafile);
  if (SameText(extension, "EMF")) return is(FileType::EnhancedMetafile, ImageKind::EnhancedMetafile);
  if (SameText(extension, "TGA")) return is(FileType::Targa, ImageKind::Bitmap);
  // A 128-byte MacBinary header in front of a GIF or TIFF file.
  const uint16_t m0 = Word(head, 128);
  if (m0 == 0x4947) return is(FileType::MacBinaryGif, ImageKind::Bitmap);
  if (m0 == 0x4949 || m0 == 0x4D4D) return is(FileType::MacBinaryTiff, ImageKind::Bitmap);
  return is(FileType::Unknown, ImageKind::NoImage);
}

std::string ExtensionOf(std::string_view filePath) {
  const std::size_t slash = filePath.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? filePath : filePath.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return {};
  return std::string(name.substr(dot + 1, 3));
}

ReadResult ReadWithoutMacBinaryHeader(const std::filesystem::path& file,
                                      const std::function<ReadResult(const std::filesystem::path&)>& read) {
  OpenedFile source{std::fopen(file.c_str(), "rb")};
  if (source.stream == nullptr || std::fseek(source.stream, 128, SEEK_SET) != 0) return {};
  const std::filesystem::path folder = std::filesystem::temp_directory_path();
  std::string name = (folder / "ravelle-macbinary-XXXXXX").string();
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return {};
  bool copied = true;
  {
    OpenedFile copy{::fdopen(fd, "wb")};
    if (copy.stream == nullptr) {
      ::close(fd);
      copied = false;
    } else {
      std::vector<char> buffer(1 << 16);
      std::size_t got = 0;
      while ((got = std::fread(buffer.data(), 1, buffer.size(), source.stream)) > 0) {
        if (std::fwrite(buffer.data(), 1, got, copy.stream) != got) copied = false;
      }
      if (std::fflush(copy.stream) != 0) copied = false;
    }
  }
  ReadResult result = copied ? read(name) : ReadResult{};
  ::unlink(name.c_str());
  return result;
}

void ReadImageFile(CurrentImage& image, Port& port, const std::string& filePath) {
  image.DisplayDepth = port.DisplayDepth();
  image.InfoText.clear();
  image.FilePath = filePath;
  image.Extension = ExtensionOf(filePath);
  image.FindData = {};
  image.FileSize = 0;
  struct stat st {};
  if (::stat(filePath.c_str(), &st) == 0) {
    image.FindData = {static_cast<uint64_t>(st.st_size), static_cast<int64_t>(st.st_mtime), ::access(filePath.c_str(), W_OK) != 0};
    image.FileSize = image.FindData.size;
  }

  const auto head = ReadFileStart(filePath, kTypeProbeBytes);
  if (!head) {
    port.ShowMessage(Owner::None, {"Error Opening File", "", kMbIconHand});
    image.Kind = ImageKind::NoImage;
    return;
  }
  port.BeginWaitCursor();
  image.BrightnessLevel = 0;
  image.PendingOrientation = 0;
  const TypeDecision decision = DecideFileType(head->Span(), image.Extension);
  image.Kind = decision.kind;

  ReadResult result;
  if (ReadsWholeFile(decision.type)) {
    if (image.FileSize > kMaxFileBytes) {
      result.messages.push_back({"Memory Allocation Error", "", kMbIconHand});
    } else if (const auto bytes = ReadFileStart(filePath, kMaxFileBytes)) {
      result = RunReader(decision, {bytes->Span(), filePath, image.DisplayDepth});
    } else {
      result.messages.push_back({"Error Opening File", "", kMbIconHand});
    }
  } else {
    result = RunReader(decision, {{}, filePath, image.DisplayDepth});
  }

  if (result.frame) FitPreviewFrame(image, port, result.frame->width, result.frame->height);
  for (const Message& message : result.messages) port.ShowMessage(Owner::None, message);
  for (const std::string& text : result.diagnostics) port.LogDiagnostic(text);
  image.InfoText = std::move(result.infoText);
  image.Handle = std::move(result.dib);

  if (IsRasterKind(image.Kind) || image.Kind == ImageKind::NoImage) {
    if (image.Handle) {
      CompactDibDepth(image.Handle);
      TakeBitCountAndColors(image);
      AdaptToDisplay(image, port);
    } else {
      image.Kind = ImageKind::NoImage;
    }
  } else if (!image.Metafile) {
    image.Kind = ImageKind::NoImage;
  }
  port.EndWaitCursor();
}

std::string ViewerCaption(const CurrentImage& image) {
  return image.FilePath + Format("     %llu bytes", static_cast<unsigned long long>(image.FileSize));
}

void LoadSelectedFile(CurrentImage& image, Port& port, const std::string& filePath) {
  ReadImageFile(image, port, filePath);
  port.BeginWaitCursor();
  if (image.Kind == ImageKind::NoImage) FitPreviewFrame(image, port, 1, 1);
  if (!image.Viewer) {
    if (image.Handle) port.DrawPreviewImage(image.Handle, image.PreviewFrame);
  } else {
    port.RepaintDialog();
    port.SetViewerCaption(ViewerCaption(image));
    port.RepaintViewer();
  }
  port.EndWaitCursor();
  if (image.Kind != ImageKind::IconSequence) {
    image.File.clear();
    image.FileOpen = false;
  }
  if (image.Kind == ImageKind::IconSequence || image.Kind == ImageKind::AnimatedCursor) {
    port.StartAnimationTimer(image.Delay * 9);
    image.Timer = true;
  }
}

}  // namespace ravelle
