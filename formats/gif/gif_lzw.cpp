#include "formats/gif/gif_lzw.h"

#include <algorithm>
#include <array>

namespace ravelle {
namespace {

constexpr int kMaxCodes = 4096;

// Bits of the data sub-blocks, least significant first.
class CodeReader {
 public:
  explicit CodeReader(ByteReader& in) : in_(in) {}
  // The next code of `size` bits; -1 when the data ends first.
  int Next(int size) {
    while (count_ < size) {
      if (left_ == 0) {
        if (ended_ || in_.AtEnd()) return -1;
        left_ = in_.U8();
        if (left_ == 0) {
          ended_ = true;
          return -1;
        }
      }
      if (in_.AtEnd()) return -1;
      bits_ |= static_cast<uint32_t>(in_.U8()) << count_;
      count_ += 8;
      --left_;
    }
    const int code = static_cast<int>(bits_ & ((1u << size) - 1));
    bits_ >>= size;
    count_ -= size;
    return code;
  }
  // Moves past the rest of the data and its terminator.
  void Finish() {
    if (ended_) return;
    in_.Skip(left_);
    for (;;) {
      if (in_.AtEnd()) return;
      const uint8_t size = in_.U8();
      if (size == 0) return;
      in_.Skip(size);
    }
  }

 private:
  ByteReader& in_;
  uint32_t bits_ = 0;
  int count_ = 0;
  int left_ = 0;
  bool ended_ = false;
};

// Where the next decoded pixel goes: rows top-down in file order, through the interlace passes.
// The image is `width` x `height`; pixels outside the part the dib holds are dropped.
class PixelCursor {
 public:
  PixelCursor(PackedDib& dib, bool interlaced, int width, int height)
      : dib_(dib), width_(width), height_(height), shownWidth_(std::min(width, dib.Width())),
        shownHeight_(std::min(height, dib.Height())), interlaced_(interlaced) { SeekRow(); }
  bool Done() const { return done_; }
  void Put(uint8_t index) {
    if (row_ != nullptr && x_ < shownWidth_) row_[x_] = index;
    if (++x_ == width_) {
      x_ = 0;
      AdvanceRow();
    }
  }

 private:
  void AdvanceRow() {
    if (!interlaced_) {
      ++y_;
    } else {
      static constexpr int kStart[] = {0, 4, 2, 1};
      static constexpr int kStep[] = {8, 8, 4, 2};
      y_ += kStep[pass_];
      while (y_ >= height_ && pass_ < 3) y_ = kStart[++pass_];
    }
    SeekRow();
  }
  void SeekRow() {
    done_ = y_ >= height_ || width_ <= 0;
    row_ = !done_ && y_ < shownHeight_ ? dib_.Row(dib_.Height() - 1 - y_).data() : nullptr;
  }

  PackedDib& dib_;
  int width_, height_, shownWidth_, shownHeight_;
  bool interlaced_;
  bool done_ = false;
  int y_ = 0, x_ = 0, pass_ = 0;
  uint8_t* row_ = nullptr;
};

}  // namespace

bool DecodeGifLzw(ByteReader& in, int minCodeSize, PackedDib& dib, bool interlaced) {
  return DecodeGifLzw(in, minCodeSize, dib, interlaced, dib.Width(), dib.Height());
}

bool DecodeGifLzw(ByteReader& in, int minCodeSize, PackedDib& dib, bool interlaced, int width, int height) {
  std::array<uint16_t, kMaxCodes> prefix;
  std::array<uint8_t, kMaxCodes> suffix;
  std::array<uint8_t, kMaxCodes> first;
  std::array<uint8_t, kMaxCodes + 1> stack;
  const int clear = 1 << minCodeSize;
  const int end = clear + 1;
  for (int i = 0; i < clear; ++i) {
    suffix[i] = first[i] = static_cast<uint8_t>(i);
    prefix[i] = 0;
  }
  CodeReader codes(in);
  PixelCursor cursor(dib, interlaced, width, height);
  int size = minCodeSize + 1;
  int next = end + 1;
  int previous = -1;
  for (;;) {
    const int code = codes.Next(size);
    if (code < 0) return cursor.Done();
    if (code == clear) {
      size = minCodeSize + 1;
      next = end + 1;
      previous = -1;
      continue;
    }
    if (code == end) break;
    if (previous < 0) {
      if (code >= clear) return false;
      if (!cursor.Done()) cursor.Put(static_cast<uint8_t>(code));
      previous = code;
      continue;
    }
    if (code > next || (code == next && next >= kMaxCodes)) return false;
    // The string of `code`; a code not yet in the table is the previous string and its first.
    int depth = 0;
    int walk = code;
    if (code == next) {
      stack[depth++] = first[previous];
      walk = previous;
    }
    while (walk >= clear) {
      stack[depth++] = suffix[walk];
      walk = prefix[walk];
    }
    stack[depth++] = static_cast<uint8_t>(walk);
    if (next < kMaxCodes) {
      prefix[next] = static_cast<uint16_t>(previous);
      suffix[next] = static_cast<uint8_t>(walk);
      first[next] = first[previous];
      ++next;
      if (next == (1 << size) && size < 12) ++size;
    }
    while (depth > 0 && !cursor.Done()) cursor.Put(stack[--depth]);
    previous = code;
  }
  codes.Finish();
  return true;
}

namespace {

class CodeWriter {
 public:
  explicit CodeWriter(std::vector<uint8_t>& out) : out_(out) {}
  void Put(int code, int size) {
    bits_ |= static_cast<uint32_t>(code) << count_;
    count_ += size;
    while (count_ >= 8) {
      Byte(static_cast<uint8_t>(bits_));
      bits_ >>= 8;
      count_ -= 8;
    }
  }
  void Finish() {
    if (count_ > 0) Byte(static_cast<uint8_t>(bits_));
    if (fill_ > 0) Flush();
    out_.push_back(0);
  }

 private:
  void Byte(uint8_t b) {
    block_[fill_++] = b;
    if (fill_ == 255) Flush();
  }
  void Flush() {
    out_.push_back(static_cast<uint8_t>(fill_));
    out_.insert(out_.end(), block_.begin(), block_.begin() + fill_);
    fill_ = 0;
  }
  std::vector<uint8_t>& out_;
  std::array<uint8_t, 255> block_;
  int fill_ = 0;
  uint32_t bits_ = 0;
  int count_ = 0;
};

}  // namespace

void EncodeGifLzw(std::span<const uint8_t> indices, int minCodeSize, std::vector<uint8_t>& out) {
  // An open-addressed table of (prefix, pixel) -> code; a stamp per slot says whether the slot
  // belongs to the table since the last clear.
  constexpr int kSlots = 8192;
  std::vector<uint32_t> keys(kSlots);
  std::vector<uint16_t> values(kSlots);
  std::vector<uint32_t> stamps(kSlots, 0);
  uint32_t stamp = 1;
  const int clear = 1 << minCodeSize;
  const int end = clear + 1;
  CodeWriter writer(out);
  out.push_back(static_cast<uint8_t>(minCodeSize));
  int size = minCodeSize + 1;
  int next = end + 1;
  writer.Put(clear, size);
  if (indices.empty()) {
    writer.Put(end, size);
    writer.Finish();
    return;
  }
  int prefix = indices[0];
  for (std::size_t i = 1; i < indices.size(); ++i) {
    const uint8_t pixel = indices[i];
    const uint32_t key = (static_cast<uint32_t>(prefix) << 8) | pixel;
    uint32_t slot = (key * 2654435761u) >> 19;
    bool found = false;
    while (stamps[slot] == stamp) {
      if (keys[slot] == key) {
        found = true;
        break;
      }
      slot = (slot + 1) & (kSlots - 1);
    }
    if (found) {
      prefix = values[slot];
      continue;
    }
    writer.Put(prefix, size);
    stamps[slot] = stamp;
    keys[slot] = key;
    values[slot] = static_cast<uint16_t>(next);
    ++next;
    if (next > (1 << size) && size < 12) ++size;
    if (next == kMaxCodes) {
      writer.Put(clear, size);
      size = minCodeSize + 1;
      next = end + 1;
      ++stamp;
    }
    prefix = pixel;
  }
  writer.Put(prefix, size);
  ++next;
  if (next > (1 << size) && size < 12) ++size;
  writer.Put(end, size);
  writer.Finish();
}

}  // namespace ravelle
