#include "formats/gif/gif_reader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "formats/gif/gif_lzw.h"

namespace ravelle {
namespace {

Message Stop(const char* text) { return {text, "", kMbIconHand}; }
const Message kFileReadError = Stop("File Read Error");

// The file header, the logical screen and the global table.
struct GifScreen {
  char version[4] = {};
  int screenBits = 0;
  bool globalFlag = false;
  uint8_t backgroundIndex = 0;
  int width = 0;
  int height = 0;
  int colorCount = 0;
  bool hasTable = false;               // a global table was read
  std::array<RgbQuad, 256> table = {};  // the global table, or kNoTableColours without one
};

// The graphic-control values in front of an image.
struct GraphicControl {
  int disposal = 0;
  int delay = 25;
  int transparent = -1;
};

bool Accepted(std::span<const uint8_t> h) {
  return h.size() == 13 && h[0] == 'G' && h[1] == 'I' && h[2] == 'F' && h[3] >= '0' && h[3] <= '9' && h[4] >= '0' &&
         h[4] <= '9' && h[5] >= 'A' && h[5] <= 'z';
}

int CappedCount(int bits) { return std::min(1 << std::min(bits, 16), 256); }

// The colours of an image with neither a global nor a local table: black and white first, as
// the format recommends to a decoder left without a table (most such files are two-colour), and
// black after them, as other decoders show every index. The same for every file: nothing of the
// file's own bytes is taken for colours.
constexpr std::array<RgbQuad, 256> kNoTableColours = [] {
  std::array<RgbQuad, 256> table{};
  table[1] = {255, 255, 255, 0};
  return table;
}();

// Reads `count` entries; false when one is cut short.
bool ReadTable(ByteReader& in, std::span<RgbQuad> table, int count) {
  for (int i = 0; i < count; ++i) {
    const auto rgb = in.Bytes(3);
    if (rgb.size() < 3) return false;
    table[i] = {rgb[2], rgb[1], rgb[0], 0};
  }
  return true;
}

// How far the blocks in front of the image data went. ReadError and EndsEarly are files cut
// short (the first with "File Read Error", the second without a message).
enum class Step { Found, Trailer, ReadError, EndsEarly, Unrecognized, BadCodeSize };

Step ReadScreen(ByteReader& in, std::size_t start, GifScreen& s) {
  auto header = in.Bytes(13);
  if (header.empty()) return Step::ReadError;
  if (!Accepted(header)) {
    in.Seek(start + 128);
    header = in.Bytes(13);
    if (header.empty()) return Step::ReadError;
    if (!Accepted(header)) return Step::Unrecognized;
  }
  std::memcpy(s.version, header.data() + 3, 3);
  const uint8_t packed = header[10];
  s.width = header[6] | (header[7] << 8);
  s.height = header[8] | (header[9] << 8);
  s.screenBits = (packed & 0x0F) + 1;
  s.globalFlag = (packed & 0x80) != 0;
  s.backgroundIndex = header[11];
  const bool v87a = std::strcmp(s.version, "87a") == 0;
  s.colorCount = s.globalFlag && !v87a ? CappedCount((packed & 7) + 1) : CappedCount(s.screenBits);
  s.table = kNoTableColours;
  // Whatever the version, only the flag says whether a table follows: without it the next byte
  // is already a block introducer.
  if (s.globalFlag) {
    if (!ReadTable(in, s.table, s.colorCount)) return Step::ReadError;
    s.hasTable = true;
  }
  return Step::Found;
}

// Sub-blocks up to the terminator; false when the data ends first.
bool SkipSubBlocks(ByteReader& in) {
  for (;;) {
    if (in.AtEnd()) return false;
    const uint8_t size = in.U8();
    if (size == 0) return true;
    if (in.Remaining() < size) return false;
    in.Skip(size);
  }
}

// Walks the blocks up to the next image separator, gathering the graphic control in front of it.
Step WalkToImage(ByteReader& in, GraphicControl& control) {
  for (;;) {
    if (in.AtEnd()) return Step::ReadError;
    const uint8_t introducer = in.U8();
    if (introducer == 0x2C) return Step::Found;
    if (introducer == 0x3B) return Step::Trailer;
    if (introducer == 0x21) {
      if (in.AtEnd()) return Step::ReadError;
      const uint8_t label = in.U8();
      if (in.AtEnd()) return Step::ReadError;
      const uint8_t size = in.U8();
      if (size == 0) continue;
      const auto data = in.Bytes(size);
      if (data.empty()) return Step::ReadError;
      if (data.size() < size) return Step::EndsEarly;
      if (label == 0xF9 && size >= 4) {
        control.disposal = (data[0] >> 2) & 7;
        control.delay = data[1] | (data[2] << 8);
        control.transparent = (data[0] & 1) ? data[3] : -1;
      }
    }
    if (!SkipSubBlocks(in)) return Step::EndsEarly;
  }
}

// One image: the descriptor after the separator, its local table, its code size and data.
struct GifImage {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool localTable = false;
  bool interlaced = false;
  int colorCount = 0;
  std::array<RgbQuad, 256> table = {};
};

Step ReadDescriptor(ByteReader& in, const GifScreen& s, GifImage& image, int& minCodeSize) {
  const auto d = in.Bytes(9);
  if (d.size() < 9) return Step::ReadError;
  image.left = d[0] | (d[1] << 8);
  image.top = d[2] | (d[3] << 8);
  image.width = d[4] | (d[5] << 8);
  image.height = d[6] | (d[7] << 8);
  image.localTable = (d[8] & 0x80) != 0;
  image.interlaced = (d[8] & 0x40) != 0;
  image.table = s.table;
  image.colorCount = s.colorCount;
  if (image.localTable) {
    image.colorCount = 1 << ((d[8] & 7) + 1);
    if (in.AtEnd() || !ReadTable(in, image.table, image.colorCount)) return Step::ReadError;
  }
  if (in.AtEnd()) return Step::ReadError;
  minCodeSize = in.U8();
  return minCodeSize < 2 || minCodeSize > 9 ? Step::BadCodeSize : Step::Found;
}

std::string InfoText(const GifScreen& s, const GifImage& image) {
  char text[160];
  std::snprintf(text, sizeof text, "image type: GIF \nversion: %s \nwidth: %d \nheight: %d \nplanes: %d \ncolors: %d",
                s.version, image.width, image.height, s.screenBits, image.colorCount);
  std::string info = text;
  if (image.interlaced) info += "\ninterlaced";
  if (image.localTable) info += "\nlocal color map";
  return info;
}

// The image's pixels as an 8-bit PackedDib; empty when it cannot be allocated. `complete` says
// whether the data held the whole image, `decoded` how many pixels it gave (in file order).
PackedDib DecodeImage(ByteReader& in, const GifImage& image, int minCodeSize, bool& complete, int64_t& decoded) {
  PackedDib dib = CreateDib(image.width, image.height, 8, static_cast<uint32_t>(image.colorCount));
  if (!dib) return dib;
  std::copy_n(image.table.begin(), image.colorCount, dib.Colors().begin());
  complete = DecodeGifLzw(in, minCodeSize, dib, image.interlaced, image.width, image.height, &decoded);
  return dib;
}

}  // namespace

ReadResult ReadGifImage(std::span<const uint8_t> file, std::size_t start) {
  ReadResult result;
  ByteReader in(file);
  in.Seek(start);
  GifScreen screen;
  GraphicControl control;
  GifImage image;
  int minCodeSize = 0;
  Step step = ReadScreen(in, start, screen);
  if (step == Step::Found) step = WalkToImage(in, control);
  if (step == Step::Found) step = ReadDescriptor(in, screen, image, minCodeSize);
  switch (step) {
    case Step::Found: break;
    case Step::ReadError:
      result.Fail(ReadStatus::Damaged, kFileReadError);
      return result;
    case Step::EndsEarly:
      result.status = ReadStatus::Damaged;
      return result;
    case Step::Unrecognized:
      result.Fail(ReadStatus::BadHeader, Stop("Unrecognized Bitmap Format"));
      return result;
    case Step::Trailer: case Step::BadCodeSize:
      result.status = ReadStatus::BadHeader;
      return result;
  }
  result.frame = FrameSize{image.width, image.height};
  bool complete = false;
  int64_t decoded = 0;
  PackedDib dib = DecodeImage(in, image, minCodeSize, complete, decoded);
  if (!dib) {
    // An empty frame is no picture; the allocation's message is for a frame that got no memory.
    result.status = NoBlockStatus(image.width, image.height, 8, static_cast<uint32_t>(image.colorCount));
    if (result.status != ReadStatus::BadHeader) result.messages.push_back(kMemoryAllocationError);
    return result;
  }
  if (decoded < image.width) {
    // Not one row: nothing worth showing.
    result.Fail(ReadStatus::Damaged, kFileReadError);
    return result;
  }
  if (!complete) result.status = ReadStatus::Truncated;
  result.dib = std::move(dib);
  result.infoText = InfoText(screen, image);
  return result;
}

namespace {

// Every image of the file with the graphic control in front of it, and the screen.
std::vector<GifAnimation::FrameInfo> ScanFrames(std::span<const uint8_t> file, std::size_t start, GifScreen& screen) {
  std::vector<GifAnimation::FrameInfo> frames;
  ByteReader in(file);
  in.Seek(start);
  if (ReadScreen(in, start, screen) != Step::Found) return frames;
  GraphicControl control;
  for (;;) {
    const int delay = control.delay;
    control = {};
    control.delay = delay;
    if (WalkToImage(in, control) != Step::Found) return frames;
    const std::size_t descriptor = in.Position();
    GifImage image;
    int minCodeSize = 0;
    if (ReadDescriptor(in, screen, image, minCodeSize) != Step::Found) return frames;
    frames.push_back({descriptor, control.disposal, control.delay, control.transparent});
    if (!SkipSubBlocks(in)) return frames;
  }
}

}  // namespace

int CountGifImages(std::span<const uint8_t> file, std::size_t start) {
  GifScreen screen;
  return static_cast<int>(ScanFrames(file, start, screen).size());
}

std::unique_ptr<GifAnimation> GifAnimation::Open(std::span<const uint8_t> file, std::size_t start) {
  GifScreen screen;
  auto frames = ScanFrames(file, start, screen);
  if (frames.empty()) return nullptr;
  std::unique_ptr<GifAnimation> animation(new GifAnimation);
  animation->bytes_.assign(file.begin(), file.end());
  animation->frames_ = std::move(frames);
  animation->global_.assign(screen.table.begin(), screen.table.end());
  animation->backgroundIndex_ = screen.backgroundIndex;
  animation->background_ = screen.hasTable ? screen.table[screen.backgroundIndex] : RgbQuad{};
  animation->screenWidth_ = screen.width;
  animation->screenHeight_ = screen.height;
  ByteReader in(animation->bytes_);
  for (const FrameInfo& frame : animation->frames_) {
    in.Seek(frame.descriptor + 8);
    if ((in.U8() & 0x80) != 0) animation->indexed_ = false;
  }
  return animation;
}

int GifAnimation::Delay() const {
  if (current_ < 0) return 10;
  const int delay = frames_[static_cast<std::size_t>(current_)].delay;
  return delay <= 1 ? 10 : delay;
}

namespace {

// Where row `y` of an image `height` rows high comes in the file: its place in the four passes
// when interlaced.
int FileOrderRow(int y, int height, bool interlaced) {
  if (!interlaced) return y;
  const int pass0 = (height + 7) / 8, pass1 = (height + 3) / 8, pass2 = (height + 1) / 4;
  if (y % 8 == 0) return y / 8;
  if (y % 8 == 4) return pass0 + y / 8;
  if (y % 4 == 2) return pass0 + pass1 + y / 4;
  return pass0 + pass1 + pass2 + y / 2;
}

// Fills a rectangle of the screen (top-down coordinates, clipped) with one pixel value.
void FillRect(PackedDib& screen, int left, int top, int width, int height, uint8_t index, RgbQuad colour) {
  const int right = std::min(left + width, screen.Width());
  const int bottom = std::min(top + height, screen.Height());
  if (right <= left || bottom <= top) return;
  const auto bytes = static_cast<std::size_t>(screen.BitCount() / 8);
  const auto span = static_cast<std::size_t>(right - left) * bytes;
  uint8_t* const firstRow = screen.Row(screen.Height() - 1 - top).data() + static_cast<std::size_t>(left) * bytes;
  if (bytes == 1) {
    std::memset(firstRow, index, span);
  } else {
    for (std::size_t x = 0; x < span; x += 3) {
      firstRow[x] = colour.rgbBlue;
      firstRow[x + 1] = colour.rgbGreen;
      firstRow[x + 2] = colour.rgbRed;
    }
  }
  for (int y = top + 1; y < bottom; ++y) {
    std::memcpy(screen.Row(screen.Height() - 1 - y).data() + static_cast<std::size_t>(left) * bytes, firstRow, span);
  }
}

}  // namespace

void GifAnimation::Restart() {
  FillRect(screen_, 0, 0, screenWidth_, screenHeight_, backgroundIndex_, background_);
}

bool GifAnimation::Step() {
  if (!screen_) {
    screen_ = CreateDib(std::max(screenWidth_, 1), std::max(screenHeight_, 1), indexed_ ? 8 : 24, indexed_ ? 256 : 0);
    if (!screen_) return false;
    if (indexed_) std::copy(global_.begin(), global_.end(), screen_.Colors().begin());
  }
  ByteReader in(bytes_);
  if (current_ >= 0) {
    const FrameInfo& done = frames_[static_cast<std::size_t>(current_)];
    if (done.disposal == 2) {
      in.Seek(done.descriptor);
      const int left = in.U16le(), top = in.U16le(), width = in.U16le(), height = in.U16le();
      FillRect(screen_, left, top, width, height, backgroundIndex_, background_);
    } else if (done.disposal == 3 && saved_) {
      std::memcpy(screen_.Pixels().data(), saved_.Pixels().data(), screen_.Pixels().size());
    }
  }
  current_ = (current_ + 1) % FrameCount();
  if (current_ == 0) Restart();
  const FrameInfo& frame = frames_[static_cast<std::size_t>(current_)];
  if (frame.disposal == 3) {
    if (!saved_) saved_ = screen_.Clone();
    else std::memcpy(saved_.Pixels().data(), screen_.Pixels().data(), screen_.Pixels().size());
  }
  GifScreen screen;
  std::copy(global_.begin(), global_.end(), screen.table.begin());
  screen.colorCount = 256;
  GifImage image;
  int minCodeSize = 0;
  in.Seek(frame.descriptor);
  if (ReadDescriptor(in, screen, image, minCodeSize) != Step::Found) return true;
  // Only the part of the frame on the screen is kept: a frame far larger than its screen costs
  // no more memory than the screen.
  const int right = std::min(image.left + image.width, screenWidth_);
  const int bottom = std::min(image.top + image.height, screenHeight_);
  if (right <= image.left || bottom <= image.top) return true;
  PackedDib pixels = CreateDib(right - image.left, bottom - image.top, 8, static_cast<uint32_t>(image.colorCount));
  if (!pixels) return true;  // a frame too large for memory leaves the screen as it was
  int64_t decoded = 0;
  DecodeGifLzw(in, minCodeSize, pixels, image.interlaced, image.width, image.height, &decoded);
  // Only what the data reached is composed: the rest of the screen stays as it was.
  for (int y = image.top; y < bottom; ++y) {
    const int64_t before = int64_t{FileOrderRow(y - image.top, image.height, image.interlaced)} * image.width;
    if (before >= decoded) continue;
    const int end = static_cast<int>(std::min<int64_t>(right, image.left + (decoded - before)));
    const uint8_t* from = pixels.Row(pixels.Height() - 1 - (y - image.top)).data();
    uint8_t* to = screen_.Row(screenHeight_ - 1 - y).data();
    if (indexed_ && frame.transparent < 0) {
      std::memcpy(to + image.left, from, static_cast<std::size_t>(end - image.left));
      continue;
    }
    for (int x = image.left; x < end; ++x) {
      const uint8_t index = from[x - image.left];
      if (index == frame.transparent) continue;
      if (indexed_) {
        to[x] = index;
      } else {
        const RgbQuad& c = index < image.colorCount ? image.table[index] : RgbQuad{};
        to[3 * x] = c.rgbBlue;
        to[3 * x + 1] = c.rgbGreen;
        to[3 * x + 2] = c.rgbRed;
      }
    }
  }
  return true;
}

}  // namespace ravelle
