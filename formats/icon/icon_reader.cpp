#include "formats/icon/icon_reader.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>

#include "image/byte_reader.h"
#include "image/dib_pixels.h"
#include "image/format.h"
#include "image/limits.h"

namespace ravelle {
namespace {

constexpr std::array<uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

ReadResult Failure(ReadStatus status, const char* text) {
  ReadResult result;
  result.status = status;
  result.messages.push_back({text, "", kMbIconHand});
  return result;
}

ReadResult ReadError(ReadStatus status = ReadStatus::BadHeader) {
  return Failure(status, "Error Reading Icon File");
}

ReadResult NoMemory() {
  ReadResult result;
  result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
  return result;
}

bool IsIconDepth(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

std::string IconText(int mode, int type, int imageCount, int width, int height, std::size_t colors) {
  const auto w = static_cast<unsigned long>(width);
  const auto h = static_cast<unsigned long>(height);
  const int c = static_cast<int>(colors);
  if (mode == 0) {
    return type == 1 ? Format("image type: ICON \n# icons in file: %d \nwidth: %lu \nheight: %lu \ncolors: %d \n",
                              imageCount, w, h, c)
                     : Format("image type: Cursor \n# cursors in file: %d \nwidth: %lu \nheight: %lu \ncolors: %d \n",
                              imageCount, w, h, c);
  }
  return type == 1 ? Format("image type: animated icon \nwidth: %lu \nheight: %lu \ncolors: %d \n", w, h, c)
                   : Format("image type: animated cursor \nwidth: %lu \nheight: %lu \ncolors: %d \n", w, h, c);
}

// The text and the preview frame, as the request's mode asks.
void Describe(ReadResult& result, const IconRequest& request, int type, int imageCount, int width, int height,
              std::size_t colors) {
  if (request.mode != 0 && request.mode != 1) return;
  result.infoText = IconText(request.mode, type, imageCount, width, height, colors);
  if (request.mode == 1 || request.currentKind != ImageKind::IconSequence) result.frame = FrameSize{width, height};
}

// Colour `c` laid over white by `alpha`, rounded to the nearest level.
uint8_t OverWhite(uint8_t c, uint8_t alpha) {
  return static_cast<uint8_t>((c * alpha + 255 * (255 - alpha) + 127) / 255);
}

unsigned NearestEntry(std::span<const RgbQuad> table, RgbQuad c) {
  unsigned best = 0;
  int bestDistance = std::numeric_limits<int>::max();
  for (unsigned i = 0; i < table.size(); ++i) {
    const int r = table[i].rgbRed - c.rgbRed, g = table[i].rgbGreen - c.rgbGreen, b = table[i].rgbBlue - c.rgbBlue;
    const int distance = r * r + g * g + b * b;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
      if (distance == 0) break;
    }
  }
  return best;
}

void SetPixelIndex(uint8_t* row, int bits, int x, unsigned index) {
  switch (bits) {
    case 1: {
      const auto bit = static_cast<uint8_t>(0x80 >> (x & 7));
      row[x >> 3] = static_cast<uint8_t>(index != 0 ? row[x >> 3] | bit : row[x >> 3] & ~bit);
      break;
    }
    case 4:
      row[x >> 1] = (x & 1) == 0 ? static_cast<uint8_t>((row[x >> 1] & 0x0F) | (index << 4))
                                 : static_cast<uint8_t>((row[x >> 1] & 0xF0) | index);
      break;
    default: row[x] = static_cast<uint8_t>(index);
  }
}

bool HasAlpha(const PackedDib& dib) {
  for (int y = 0; y < dib.Height(); ++y) {
    const auto row = dib.Row(y);
    for (int x = 0; x < dib.Width(); ++x) {
      if (row[4 * static_cast<std::size_t>(x) + 3] != 0) return true;
    }
  }
  return false;
}

// Lays the XOR image over white through the AND mask (or, for 32 bits with alpha, by its
// alpha), leaving the result in the image's own format: indexed pixels whose colour changed
// take the nearest entry of the image's table, and the fourth byte of 32-bit pixels is 0.
void ComposeOverWhite(PackedDib& dib, std::span<const uint8_t> mask, std::size_t maskStride) {
  const int bits = dib.BitCount();
  const int width = dib.Width();
  const bool alpha = bits == 32 && HasAlpha(dib);
  const std::span<const RgbQuad> table = dib.Colors();
  // What an indexed pixel becomes depends only on its index and its mask bit: each pair is
  // looked up in the table once.
  std::array<int16_t, 512> mapped;
  mapped.fill(-1);
  // Whether pixels whose mask bit is 0 stay as they are: then eight of them with a mask byte of
  // 0 are passed over at once.
  const bool unmaskedStay = bits <= 8 ? table.size() == std::size_t{1} << bits : bits == 24 || (bits == 32 && !alpha);
  for (int y = 0; y < dib.Height(); ++y) {
    uint8_t* row = dib.Row(y).data();
    const uint8_t* maskRow = mask.data() + static_cast<std::size_t>(y) * maskStride;
    for (int x = 0; x < width; ++x) {
      if (unmaskedStay && (x & 7) == 0 && maskRow[x >> 3] == 0) {
        x += 7;
        continue;
      }
      const bool inverted = ((maskRow[x >> 3] >> (7 - (x & 7))) & 1) != 0;
      if (bits <= 8) {
        const unsigned index = PixelIndex(row, bits, x);
        if (!inverted && index < table.size()) continue;
        int16_t& to = mapped[2 * index + (inverted ? 1 : 0)];
        if (to < 0) {
          RgbQuad c = TableColor(table, index);
          if (inverted) c = {static_cast<uint8_t>(~c.rgbBlue), static_cast<uint8_t>(~c.rgbGreen),
                             static_cast<uint8_t>(~c.rgbRed), 0};
          to = static_cast<int16_t>(NearestEntry(table, c));
        }
        SetPixelIndex(row, bits, x, static_cast<unsigned>(to));
      } else if (bits == 16) {
        uint8_t* p = row + 2 * static_cast<std::size_t>(x);
        const unsigned v = (p[0] | p[1] << 8) & 0x7FFFu;
        const unsigned out = inverted ? v ^ 0x7FFFu : v;
        p[0] = static_cast<uint8_t>(out);
        p[1] = static_cast<uint8_t>(out >> 8);
      } else {
        uint8_t* p = row + static_cast<std::size_t>(bits / 8) * static_cast<std::size_t>(x);
        for (int i = 0; i < 3; ++i) {
          if (alpha) {
            p[i] = OverWhite(p[i], p[3]);
          } else if (inverted) {
            p[i] = static_cast<uint8_t>(~p[i]);
          }
        }
        if (bits == 32) p[3] = 0;
      }
    }
  }
}

// Hands the PNG bytes to the PNG reader as a file that lives only in memory.
ReadResult ReadEmbeddedPng(std::span<const uint8_t> png, PngFileReader reader) {
  const int fd = ::memfd_create("ravelle-icon-png", MFD_CLOEXEC);
  if (fd < 0) return {};
  std::size_t written = 0;
  while (written < png.size()) {
    const ssize_t n = ::write(fd, png.data() + written, png.size() - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  ReadResult result;
  if (written == png.size()) result = reader("/proc/self/fd/" + std::to_string(fd), 24);
  ::close(fd);
  return result;
}

IconImage ReadPngEntry(std::span<const uint8_t> file, std::size_t start, uint32_t bytesInImage,
                       const IconRequest& request, int type, IconImage image, int width, int height) {
  std::span<const uint8_t> png = file.subspan(start);
  if (bytesInImage >= kPngSignature.size() && bytesInImage < png.size()) png = png.first(bytesInImage);
  image.end = start + png.size();
  if (request.png == nullptr) {
    image.result = ReadError(ReadStatus::Unsupported);
    return image;
  }
  ReadResult decoded = ReadEmbeddedPng(png, request.png);
  if (!decoded.dib) {
    image.result = std::move(decoded);
    image.result.infoText.clear();
    image.result.frame.reset();
    if (image.result.status == ReadStatus::Ok) image.result.status = ReadStatus::LibraryError;
    if (image.result.messages.empty()) image.result.messages = ReadError(ReadStatus::LibraryError).messages;
    return image;
  }
  image.result.dib = std::move(decoded.dib);
  image.result.diagnostics = std::move(decoded.diagnostics);
  Describe(image.result, request, type, image.imageCount, width, height, ColorTableEntries(image.result.dib.Header()));
  return image;
}

}  // namespace

IconImage ReadIconImage(std::span<const uint8_t> file, const IconRequest& request) {
  IconImage image;
  ByteReader r(file);
  r.Seek(request.baseOffset);
  const uint16_t reserved = r.U16le();
  const uint16_t type = r.U16le();
  const uint16_t count = r.U16le();
  if (r.Truncated()) {
    image.result = ReadError(ReadStatus::Damaged);
    return image;
  }
  if (reserved != 0 || (type != 1 && type != 2)) {
    image.result = ReadError();
    return image;
  }
  image.imageCount = count;
  if (request.imageNumber < 1 || request.imageNumber > count) {
    image.result = ReadError();
    return image;
  }

  r.Seek(request.baseOffset + 16 * static_cast<std::size_t>(request.imageNumber) - 10);
  const uint8_t entryWidth = r.U8();
  const uint8_t entryHeight = r.U8();
  r.Skip(6);
  const uint32_t bytesInImage = r.U32le();
  const uint32_t offset = r.U32le();
  // A width or height of 0 stands for 256.
  int width = entryWidth == 0 ? 256 : entryWidth;
  int height = entryHeight == 0 ? 256 : entryHeight;
  const std::size_t start = request.baseOffset + offset;
  // A directory or image that the file ends before.
  if (r.Truncated() || offset > file.size() || start > file.size()) {
    image.result = ReadError(ReadStatus::Damaged);
    return image;
  }
  const auto rest = file.subspan(start);
  if (rest.size() >= kPngSignature.size() && std::equal(kPngSignature.begin(), kPngSignature.end(), rest.begin())) {
    return ReadPngEntry(file, start, bytesInImage, request, type, std::move(image), width, height);
  }

  r.Seek(start);
  const ByteReader header = r.Sub(40);
  if (r.Truncated()) {
    image.result = ReadError(ReadStatus::Damaged);
    return image;
  }
  ByteReader fields = header;
  fields.Seek(4);
  const int32_t headerWidth = fields.I32le();
  const int32_t headerHeight = fields.I32le() / 2;  // it counts the mask's rows too
  fields.Seek(14);
  const int bits = fields.U16le();
  fields.Seek(32);
  const uint32_t clrUsed = fields.U32le();
  if (!IsIconDepth(bits)) {
    image.result = ReadError(ReadStatus::Unsupported);
    image.end = r.Position();
    return image;
  }
  // The table holds the header's own number of colours when it names fewer than the depth allows.
  const uint32_t fullTable = bits <= 8 ? 1u << bits : 0;
  const uint32_t entries = clrUsed != 0 && clrUsed < fullTable ? clrUsed : fullTable;
  // The size is the directory's, unless the image's own header gives another and the image's
  // bytes (as the directory counts them, or up to the end of the file) hold exactly that one.
  if ((headerWidth != width || headerHeight != height) && headerWidth > 0 && headerHeight > 0) {
    const auto xorStride = DibStride(headerWidth, bits);
    const auto maskStride = DibStride(headerWidth, 1);
    if (xorStride && maskStride) {
      const uint64_t bytes = 40 + 4 * uint64_t{entries} + (uint64_t{*xorStride} + *maskStride) * static_cast<uint64_t>(headerHeight);
      if (bytes == bytesInImage || bytes == file.size() - start) {
        width = headerWidth;
        height = headerHeight;
      }
    }
  }
  PackedDib dib = CreateDib(width, height, bits, entries == fullTable ? 0 : entries);
  if (!dib) {
    image.result = NoMemory();
    image.result.status = NoBlockStatus(width, height, bits, entries == fullTable ? 0 : entries);
    return image;
  }
  dib.Header().biSizeImage = 0;
  Describe(image.result, request, type, count, width, height, entries);

  // The colour table and the XOR rows follow the header; the AND mask follows them.
  const std::span<uint8_t> body = dib.Bytes().subspan(40);
  if (r.Read(body) == 0) {
    image.result = ReadError(ReadStatus::Damaged);
    image.end = r.Position();
    return image;
  }
  for (RgbQuad& c : dib.Colors()) c.rgbReserved = 0;
  const std::size_t maskStride = *DibStride(width, 1);
  std::vector<uint8_t> mask(maskStride * static_cast<std::size_t>(height));
  if (r.Read(mask) == 0) {
    image.result = ReadError(ReadStatus::Damaged);
    image.end = r.Position();
    return image;
  }
  if (r.Truncated()) image.result.status = ReadStatus::Truncated;
  image.end = r.Position();
  ClearRowPadding(dib);
  ComposeOverWhite(dib, mask, maskStride);
  image.result.dib = std::move(dib);
  return image;
}

namespace {

// Chunk ids as little-endian numbers: the scan tries every id at every byte, so each is
// compared as one number.
constexpr uint32_t FourCc(const char (&name)[5]) {
  return static_cast<uint8_t>(name[0]) | static_cast<uint8_t>(name[1]) << 8 | static_cast<uint8_t>(name[2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[3])) << 24;
}

uint32_t IdAt(const uint8_t* id) { return id[0] | id[1] << 8 | id[2] << 16 | static_cast<uint32_t>(id[3]) << 24; }

// Where the 4-byte id `name` is next found from `from` on, in steps of two bytes; nothing at the
// end of the file.
std::optional<std::size_t> FindIdByWords(std::span<const uint8_t> file, std::size_t from, uint32_t id) {
  for (std::size_t at = from; at + 4 <= file.size(); at += 2) {
    if (IdAt(file.data() + at) == id) return at;
  }
  return std::nullopt;
}

ReadResult NotAnAnimatedCursor() {
  ReadResult result;
  result.status = ReadStatus::BadHeader;
  return result;
}

}  // namespace

AnimatedCursor ReadAnimatedCursor(std::span<const uint8_t> file, PngFileReader png) {
  AnimatedCursor ani;
  AniTables& tables = ani.tables;
  bool haveHeader = false;
  const auto failed = [&] {
    ani.result = NotAnAnimatedCursor();
    ani.tables = {};
    return std::move(ani);
  };
  ByteReader r(file);
  r.Seek(8);
  // The chunk scan: known ids are taken in; anything else moves the scan on by one byte.
  for (;;) {
    if (r.Remaining() < 4) return failed();
    const std::size_t at = r.Position();
    const uint32_t id = IdAt(r.Bytes(4).data());
    if (id == FourCc("ACON") || id == FourCc("fram") || id == FourCc("INFO")) continue;
    if (id == FourCc("LIST") || id == FourCc("INAM") || id == FourCc("IART")) {
      r.Skip(4);
      continue;
    }
    if (id == FourCc("anih")) {
      r.Skip(8);
      const uint32_t frames = r.U32le();
      const uint32_t steps = r.U32le();
      r.Skip(24);
      if (r.Truncated() || steps > kMaxAniSteps) return failed();
      tables = {frames, steps, {}, {}};
      tables.steps.resize(steps);
      for (uint32_t i = 0; i < steps; ++i) tables.steps[i] = {i, 10};
      haveHeader = true;
      continue;
    }
    const bool rate = id == FourCc("rate");
    if (haveHeader && (rate || (id & 0xFFFFFF) == (FourCc("seq ") & 0xFFFFFF))) {
      r.Skip(4);
      for (AniFrameStep& step : tables.steps) (rate ? step.rate : step.frame) = r.U32le();
      if (r.Truncated()) return failed();
      continue;
    }
    if (haveHeader && id == FourCc("icon")) break;
    r.Seek(at + 1);
  }

  r.Skip(4);
  std::size_t dataStart = r.Position();
  std::size_t framesBytes = 0;
  for (uint32_t k = 1; k <= tables.frameCount; ++k) {
    IconImage frame = ReadIconImage(file, {1, dataStart, static_cast<int>(std::min<uint32_t>(k, 2)),
                                           ImageKind::AnimatedCursor, png});
    ReadResult& read = frame.result;
    for (Message& message : read.messages) ani.result.messages.push_back(std::move(message));
    if (k == 1) {
      ani.result.infoText = std::move(read.infoText);
      ani.result.frame = read.frame;
      // Without its first frame the file gives no picture, for the reason that frame gave.
      if (!read.dib) ani.result.status = read.status;
    }
    if (!read.dib) break;
    // All frames together stay within the limit of one image.
    framesBytes += read.dib.Size();
    if (framesBytes > kMaxDibBytes) break;
    tables.frames.push_back(std::move(read.dib));
    if (k == tables.frameCount) break;
    const auto next = FindIdByWords(file, frame.end, FourCc("icon"));
    if (!next) break;
    dataStart = *next + 8;
  }
  ani.result.infoText += Format("number of icons: %ld \nnumber of frames: %ld \n", static_cast<long>(tables.frameCount),
                                static_cast<long>(tables.stepCount));

  std::size_t shown = tables.steps.empty() ? 0 : tables.steps.front().frame;
  if (shown >= tables.frames.size()) shown = 0;
  if (shown < tables.frames.size()) {
    ani.result.dib = tables.frames[shown].Clone();
    if (!ani.result.dib) ani.result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
  }
  return ani;
}

}  // namespace ravelle
