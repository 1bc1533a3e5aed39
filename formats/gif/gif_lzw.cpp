#include "formats/gif/gif_lzw.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace ravelle {
namespace {

constexpr int kMaxCodes = 4096;
constexpr int kMaxCodeBits = 12;
// Strings are copied 16 bytes at a time where the row and the source leave room for it.
constexpr int kChunk = 16;

uint64_t Load64le(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

// The data sub-blocks joined into one run of bytes, followed by 8 zero bytes so that a code can
// always be read with one 8-byte load. `in` is left after the terminator, or at the end.
std::vector<uint8_t> JoinSubBlocks(ByteReader& in) {
  const auto file = in.Data();
  std::size_t total = 0;
  std::size_t at = in.Position();
  while (at < file.size()) {
    const std::size_t size = file[at++];
    if (size == 0) break;
    const std::size_t take = std::min(size, file.size() - at);
    total += take;
    at += take;
  }
  std::vector<uint8_t> joined(total + 8);
  std::size_t to = 0;
  for (std::size_t from = in.Position(); from < at;) {
    const std::size_t size = file[from++];
    if (size == 0) break;
    const std::size_t take = std::min(size, file.size() - from);
    std::memcpy(joined.data() + to, file.data() + from, take);
    to += take;
    from += take;
  }
  in.Seek(at);
  return joined;
}

// Codes of the joined data, least significant bit first.
class CodeReader {
 public:
  explicit CodeReader(const std::vector<uint8_t>& joined) : data_(joined.data()), bits_(8 * (joined.size() - 8)) {}
  // The next code of `size` bits; -1 when the data ends first.
  int Next(int size) {
    if (at_ + static_cast<uint64_t>(size) > bits_) return -1;
    const uint64_t word = Load64le(data_ + (at_ >> 3)) >> (at_ & 7);
    at_ += static_cast<uint64_t>(size);
    return static_cast<int>(word & ((1u << size) - 1));
  }

 private:
  const uint8_t* data_;
  uint64_t bits_;
  uint64_t at_ = 0;
};

// Where the next decoded pixels go: rows top-down in file order, through the interlace passes.
// The image is `width` x `height`; pixels outside the part the dib holds are dropped.
class PixelCursor {
 public:
  PixelCursor(PackedDib& dib, bool interlaced, int width, int height)
      : dib_(dib), width_(width), height_(height), shownWidth_(std::min(width, dib.Width())),
        shownHeight_(std::min(height, dib.Height())), interlaced_(interlaced) { SeekRow(); }
  bool Done() const { return done_; }
  // The pixels gone past so far, in file order.
  int64_t Decoded() const { return int64_t{rows_} * width_ + x_; }
  // Where `length` pixels go when all of them land in the current row as stored; else null.
  uint8_t* Run(int length) const { return row_ != nullptr && x_ + length <= shownWidth_ ? row_ + x_ : nullptr; }
  // The pixels the current row holds from the cursor on.
  int Room() const { return row_ != nullptr ? shownWidth_ - x_ : 0; }
  // Whether all of the next `length` pixels are in the current row and none of them is kept.
  bool Dropped(int length) const { return (row_ == nullptr || x_ >= shownWidth_) && x_ + length <= width_; }
  // Moves past a Run() that was written, or pixels that are dropped.
  void Skip(int length) {
    x_ += length;
    if (x_ == width_) NextRow();
  }
  // Writes `length` pixels across as many rows as they take, up to the end of the image.
  void Put(const uint8_t* from, int length) {
    while (length > 0 && !done_) {
      const int n = std::min(length, width_ - x_);
      if (row_ != nullptr && x_ < shownWidth_) {
        std::memcpy(row_ + x_, from, static_cast<std::size_t>(std::min(n, shownWidth_ - x_)));
      }
      from += n;
      length -= n;
      Skip(n);
    }
  }
  // Strings are copied in whole chunks: zeroes what a copy left beyond the cursor.
  void ClearRest() {
    if (row_ != nullptr && x_ < shownWidth_) std::memset(row_ + x_, 0, static_cast<std::size_t>(shownWidth_ - x_));
  }

 private:
  void NextRow() {
    x_ = 0;
    ++rows_;
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
  int rows_ = 0;  // rows finished, in file order
  uint8_t* row_ = nullptr;
};

// Every root's string, with room for a chunk read past the last.
constexpr std::array<uint8_t, 256 + kChunk> kRoots = [] {
  std::array<uint8_t, 256 + kChunk> roots{};
  for (int i = 0; i < 256; ++i) roots[static_cast<std::size_t>(i)] = static_cast<uint8_t>(i);
  return roots;
}();

// The string table. Each code's string is its prefix's followed by its suffix. `where` points
// at a copy of the whole string: in the decoded pixels when it was decoded within one row, else
// in blocks of the table's own, made when the string is first needed. A string is shorter than
// 4096 pixels, so the blocks of one table hold less than 4096 x 4096 bytes.
class StringTable {
 public:
  explicit StringTable(int roots) {
    for (int i = 0; i < roots; ++i) {
      const auto at = static_cast<std::size_t>(i);
      suffix_[at] = first_[at] = static_cast<uint8_t>(i);
      prefix_[at] = 0;
      length_[at] = 1;
      where_[at] = &kRoots[static_cast<std::size_t>(i & 0xFF)];
    }
  }
  int Length(int code) const { return length_[static_cast<std::size_t>(code)]; }
  uint8_t First(int code) const { return first_[static_cast<std::size_t>(code)]; }
  // The string followed by at least kChunk readable bytes, unless it lies in the pixels.
  const uint8_t* Where(int code) const { return where_[static_cast<std::size_t>(code)]; }
  // The string's place, after copying it out when it has none.
  const uint8_t* Of(int code) {
    const uint8_t* at = where_[static_cast<std::size_t>(code)];
    return at != nullptr ? at : CopyOut(code);
  }
  // The previous code's string (of `length` - 1 pixels from `first` on) and then `pixel`,
  // found at `at` when not null.
  void Add(int code, int previous, uint8_t first, uint8_t pixel, int length, const uint8_t* at) {
    const auto i = static_cast<std::size_t>(code);
    prefix_[i] = static_cast<uint16_t>(previous);
    suffix_[i] = pixel;
    first_[i] = first;
    length_[i] = static_cast<uint16_t>(length);
    where_[i] = at;
  }
  // After a clear code: the copies made go.
  void Clear() {
    block_ = 0;
    used_ = 0;
  }

 private:
  static constexpr std::size_t kBlock = 1 << 16;
  const uint8_t* CopyOut(int code) {
    const auto at = static_cast<std::size_t>(code);
    const int length = length_[at];
    uint8_t* copy = Take(static_cast<std::size_t>(length + kChunk));
    // Back along the prefixes to one whose string has a place.
    int end = length;
    int walk = code;
    while (where_[static_cast<std::size_t>(walk)] == nullptr) {
      copy[--end] = suffix_[static_cast<std::size_t>(walk)];
      walk = prefix_[static_cast<std::size_t>(walk)];
    }
    std::memcpy(copy, where_[static_cast<std::size_t>(walk)], static_cast<std::size_t>(end));
    where_[at] = copy;
    return copy;
  }
  uint8_t* Take(std::size_t bytes) {
    if (blocks_.empty() || used_ + bytes > kBlock) {
      if (!blocks_.empty()) ++block_;
      if (block_ == blocks_.size()) blocks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(kBlock));
      used_ = 0;
    }
    uint8_t* place = blocks_[block_].get() + used_;
    used_ += bytes;
    return place;
  }

  std::array<uint16_t, kMaxCodes> prefix_;
  std::array<uint8_t, kMaxCodes> suffix_;
  std::array<uint8_t, kMaxCodes> first_;
  std::array<uint16_t, kMaxCodes> length_;
  std::array<const uint8_t*, kMaxCodes> where_;
  std::vector<std::unique_ptr<uint8_t[]>> blocks_;
  std::size_t block_ = 0;
  std::size_t used_ = 0;
};

}  // namespace

bool DecodeGifLzw(ByteReader& in, int minCodeSize, PackedDib& dib, bool interlaced) {
  return DecodeGifLzw(in, minCodeSize, dib, interlaced, dib.Width(), dib.Height());
}

bool DecodeGifLzw(ByteReader& in, int minCodeSize, PackedDib& dib, bool interlaced, int width, int height,
                  int64_t* decoded) {
  const std::vector<uint8_t> joined = JoinSubBlocks(in);
  CodeReader codes(joined);
  const int clear = 1 << minCodeSize;
  const int end = clear + 1;
  const auto table = std::make_unique<StringTable>(clear);
  // A chunk may be read past a string's end, within the pixels; elsewhere there is room for it.
  const auto pixels = dib.Pixels();
  const auto address = [](const uint8_t* p) { return reinterpret_cast<std::uintptr_t>(p); };
  const std::uintptr_t pixelsBegin = address(pixels.data());
  const std::uintptr_t pixelsEnd = pixelsBegin + pixels.size();
  const auto chunkReadable = [&](const uint8_t* from, int bytes) {
    return address(from) < pixelsBegin || address(from) >= pixelsEnd ||
           address(from) + static_cast<std::uintptr_t>(bytes) <= pixelsEnd;
  };

  PixelCursor cursor(dib, interlaced, width, height);
  int size = minCodeSize + 1;
  int next = end + 1;
  int previous = -1;
  int previousLength = 0;
  uint8_t previousFirst = 0;
  const uint8_t* previousAt = nullptr;  // where the previous string was written, when in one row
  bool complete = true;
  for (;;) {
    const int code = codes.Next(size);
    if (code < 0) {
      complete = cursor.Done();
      break;
    }
    if (code == clear) {
      size = minCodeSize + 1;
      next = end + 1;
      previous = -1;
      table->Clear();
      continue;
    }
    if (code == end) break;
    const bool root = previous < 0;
    if (root ? code >= clear : code > next || (code == next && next >= kMaxCodes)) {
      complete = false;
      break;
    }
    if (cursor.Done()) {
      // Nothing more is shown: only the code size still matters, to find the end code.
      if (!root && next < kMaxCodes && ++next == (1 << size) && size < kMaxCodeBits) ++size;
      previous = code;
      continue;
    }
    // A code not yet in the table is the previous string and that string's first pixel.
    const bool known = code < next;
    const int length = known ? table->Length(code) : previousLength + 1;
    const uint8_t firstPixel = known ? table->First(code) : previousFirst;
    uint8_t* to = cursor.Run(length);
    if (to != nullptr && known) {
      const uint8_t* from = table->Of(code);
      const int chunks = (length + kChunk - 1) / kChunk * kChunk;
      if (cursor.Room() >= chunks && chunkReadable(from, chunks)) {
        // Source and destination are at least `length` apart, so each chunk reads only pixels
        // that no earlier chunk of this copy wrote over, up to the string's end.
        for (int i = 0; i < chunks; i += kChunk) {
          uint8_t chunk[kChunk];
          std::memcpy(chunk, from + i, kChunk);
          std::memcpy(to + i, chunk, kChunk);
        }
      } else {
        std::memcpy(to, from, static_cast<std::size_t>(length));
      }
      cursor.Skip(length);
    } else if (to != nullptr) {
      std::memcpy(to, previousAt != nullptr ? previousAt : table->Of(previous), static_cast<std::size_t>(previousLength));
      to[length - 1] = firstPixel;
      cursor.Skip(length);
    } else if (cursor.Dropped(length)) {
      cursor.Skip(length);
    } else if (known) {
      cursor.Put(table->Of(code), length);
    } else {
      cursor.Put(previousAt != nullptr ? previousAt : table->Of(previous), previousLength);
      cursor.Put(&firstPixel, 1);
    }
    if (!root && next < kMaxCodes) {
      // The new string is the previous one and the first pixel of this one: whole in the
      // pixels when the two were written side by side.
      const bool adjacent = to != nullptr && previousAt != nullptr && previousAt + previousLength == to;
      table->Add(next, previous, previousFirst, firstPixel, previousLength + 1, adjacent ? previousAt : nullptr);
      if (++next == (1 << size) && size < kMaxCodeBits) ++size;
    }
    previous = code;
    previousLength = length;
    previousFirst = firstPixel;
    previousAt = to;
  }
  cursor.ClearRest();
  if (decoded != nullptr) *decoded = cursor.Decoded();
  return complete;
}

namespace {

constexpr int kSlotBits = 14;
constexpr uint32_t kSlots = 1u << kSlotBits;
// Pixels taken per round: the packed codes are made room for one round at a time.
constexpr std::size_t kRound = 1 << 16;

// The slot to look for (prefix, pixel) first: the pixel spread over the high bits, the prefix
// (below 4096) over the low ones. Cheaper than a multiplying hash on the path from one pixel to
// the next, and it spreads photographs' keys as well.
uint32_t SlotOf(uint32_t prefix, uint32_t pixel) { return (pixel << (kSlotBits - 8)) ^ prefix; }

// Packs codes least significant bit first, four bytes at a time, into room made beforehand.
struct CodePacker {
  uint8_t* at;
  uint64_t bits;
  int count;
  void Put(uint32_t code, int size) {
    bits |= static_cast<uint64_t>(code) << count;
    count += size;
    if (count >= 32) {
      const auto word = static_cast<uint32_t>(bits);
      const uint8_t bytes[4] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                                static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 24)};
      std::memcpy(at, bytes, 4);
      at += 4;
      bits >>= 32;
      count -= 32;
    }
  }
};

}  // namespace

GifLzwEncoder::GifLzwEncoder(int minCodeSize, std::vector<uint8_t>& out)
    : out_(out), slots_(new uint32_t[kSlots]), minCodeSize_(minCodeSize) {
  out_.push_back(static_cast<uint8_t>(minCodeSize));
  Reset();
  bits_ = 1u << minCodeSize_;  // the clear code
  count_ = size_;
}

GifLzwEncoder::~GifLzwEncoder() = default;

void GifLzwEncoder::Reset() {
  std::memset(slots_.get(), 0, kSlots * sizeof(uint32_t));
  size_ = minCodeSize_ + 1;
  next_ = (1 << minCodeSize_) + 2;
}

void GifLzwEncoder::Add(std::span<const uint8_t> indices) {
  std::size_t i = 0;
  if (prefix_ < 0) {
    if (indices.empty()) return;
    prefix_ = indices[0];
    i = 1;
  }
  const uint32_t clear = 1u << minCodeSize_;
  while (i < indices.size()) {
    const std::size_t stop = std::min(indices.size(), i + kRound);
    // Each pixel ends at most one code and a clear code, of at most 12 bits each.
    const std::size_t room = used_ + 3 * (stop - i) + 8;
    if (codes_.size() < room) codes_.resize(std::max(room, 2 * codes_.size()));
    CodePacker packer{codes_.data() + used_, bits_, count_};
    uint32_t* const slots = slots_.get();
    auto prefix = static_cast<uint32_t>(prefix_);
    for (; i < stop; ++i) {
      const uint32_t pixel = indices[i];
      const uint32_t key = prefix << 8 | pixel;
      uint32_t slot = SlotOf(prefix, pixel);
      uint32_t entry;
      while ((entry = slots[slot]) != 0 && (entry >> 12) != key) slot = (slot + 1) & (kSlots - 1);
      if (entry != 0) {
        prefix = entry & 0xFFF;
        continue;
      }
      packer.Put(prefix, size_);
      slots[slot] = key << 12 | static_cast<uint32_t>(next_);
      ++next_;
      if (next_ > (1 << size_) && size_ < kMaxCodeBits) ++size_;
      if (next_ == kMaxCodes) {
        packer.Put(clear, size_);
        Reset();
      }
      prefix = pixel;
    }
    prefix_ = static_cast<int>(prefix);
    used_ = static_cast<std::size_t>(packer.at - codes_.data());
    bits_ = packer.bits;
    count_ = packer.count;
  }
}

void GifLzwEncoder::Finish() {
  if (codes_.size() < used_ + 16) codes_.resize(used_ + 16);
  CodePacker packer{codes_.data() + used_, bits_, count_};
  if (prefix_ >= 0) {
    packer.Put(static_cast<uint32_t>(prefix_), size_);
    ++next_;
    if (next_ > (1 << size_) && size_ < kMaxCodeBits) ++size_;
  }
  packer.Put((1u << minCodeSize_) + 1, size_);
  for (; packer.count > 0; packer.count -= 8, packer.bits >>= 8) *packer.at++ = static_cast<uint8_t>(packer.bits);
  used_ = static_cast<std::size_t>(packer.at - codes_.data());
  out_.reserve(out_.size() + used_ + used_ / 255 + 2);
  for (std::size_t at = 0; at < used_; at += 255) {
    const std::size_t size = std::min<std::size_t>(255, used_ - at);
    out_.push_back(static_cast<uint8_t>(size));
    out_.insert(out_.end(), codes_.begin() + static_cast<std::ptrdiff_t>(at),
                codes_.begin() + static_cast<std::ptrdiff_t>(at + size));
  }
  out_.push_back(0);
  used_ = 0;
  bits_ = 0;
  count_ = 0;
}

}  // namespace ravelle
