#include "formats/sunicon/sunicon.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "image/format.h"

namespace ravelle {
namespace {

constexpr std::size_t kHeaderLength = 78;

// The decimal number after the first `key` in the header; nothing without the key.
std::optional<long> KeyValue(const std::string& header, std::string_view key) {
  const auto at = header.find(key);
  if (at == std::string::npos) return std::nullopt;
  std::size_t i = at + key.size();
  while (i < header.size() && std::isspace(static_cast<unsigned char>(header[i]))) ++i;
  const bool negative = i < header.size() && header[i] == '-';
  if (i < header.size() && (header[i] == '-' || header[i] == '+')) ++i;
  long value = 0;
  for (; i < header.size() && std::isdigit(static_cast<unsigned char>(header[i])) && value < 1'000'000; ++i) {
    value = value * 10 + (header[i] - '0');
  }
  return negative ? -value : value;
}

constexpr std::array<RgbQuad, 16> kDepth8Colors = {{
    {255, 255, 255, 0}, {0, 0, 0, 0},     {0, 128, 0, 0},   {0, 128, 128, 0},
    {128, 0, 0, 0},     {128, 0, 128, 0}, {128, 128, 0, 0}, {192, 192, 192, 0},
    {128, 128, 128, 0}, {0, 0, 255, 0},   {0, 255, 0, 0},   {0, 255, 255, 0},
    {255, 0, 0, 0},     {255, 0, 255, 0}, {255, 255, 0, 0}, {0, 0, 128, 0},
}};

// The words as groups of eight, each group read like "%x,%x,%x,%x,%x,%x,%x,%x,": a missing
// comma ends its group there, and the places it did not fill keep the previous group's values.
// Where no word can be read (the end of the text, or anything but white space and a word), no
// later group can read one either: the data ends there.
class WordGroups {
 public:
  explicit WordGroups(std::string_view text) : text_(text) {}

  // The next group and how many of its places to take: 8, or at the end of the data those read.
  std::span<const uint16_t> Next() {
    for (std::size_t i = 0; i < values_.size(); ++i) {
      if (!Hex(values_[i])) {
        ended_ = true;
        return std::span<const uint16_t>(values_).first(i);
      }
      if (pos_ >= text_.size() || text_[pos_] != ',') break;
      ++pos_;
    }
    return values_;
  }
  bool Ended() const { return ended_; }

 private:
  bool Hex(uint16_t& value) {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    std::size_t i = pos_;
    if (i + 1 < text_.size() && text_[i] == '0' && (text_[i + 1] == 'x' || text_[i + 1] == 'X') && i + 2 < text_.size() &&
        std::isxdigit(static_cast<unsigned char>(text_[i + 2]))) {
      i += 2;
    }
    if (i >= text_.size() || !std::isxdigit(static_cast<unsigned char>(text_[i]))) return false;
    uint32_t v = 0;
    for (; i < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[i])); ++i) {
      const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text_[i])));
      v = (v << 4) | static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    value = static_cast<uint16_t>(v);
    pos_ = i;
    return true;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::array<uint16_t, 8> values_{};
  bool ended_ = false;
};

bool HoldsNoCase(std::string_view text, std::string_view word) {
  const auto same = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  };
  return std::search(text.begin(), text.end(), word.begin(), word.end(), same) != text.end();
}

// Where the comment that holds the header starts: the first that names the format version
// (files may begin with another, such as a version-control line), else the file's start.
std::size_t HeaderStart(std::string_view text) {
  for (std::size_t at = text.find("/*"); at != std::string_view::npos;) {
    const std::size_t close = text.find("*/", at + 2);
    if (HoldsNoCase(text.substr(at, close == std::string_view::npos ? close : close - at), "format_version")) return at;
    if (close == std::string_view::npos) break;
    at = text.find("/*", close + 2);
  }
  return 0;
}

}  // namespace

ReadResult ReadSunIcon(std::span<const uint8_t> file) {
  ReadResult result;
  const std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
  const std::size_t headerStart = HeaderStart(text);
  std::string header(text.substr(headerStart, kHeaderLength));
  header = header.substr(0, header.find('\0'));
  for (char& c : header) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  result.infoText = "image type: SunIcon \n\nheader string: " + header;

  const auto depth = KeyValue(header, "depth=");
  const auto width = KeyValue(header, "width=");
  const auto height = KeyValue(header, "height=");
  if (depth && *depth != 1 && *depth != 8) {
    result.status = ReadStatus::Unsupported;
    result.messages.push_back({"Unsupported SunIcon Depth", "", kMbIconHand});
    return result;
  }
  if (!depth || !width || !height || *width <= 0 || *height <= 0) {
    result.status = ReadStatus::BadHeader;
    return result;
  }
  result.frame = FrameSize{*width, *height};
  const int bits = static_cast<int>(*depth);
  PackedDib dib = CreateDib(static_cast<int>(*width), static_cast<int>(*height), bits);
  if (!dib) {
    result.Fail(NoBlockStatus(*width, *height, bits), kMemoryAllocationError);
    return result;
  }
  dib.Header().biSizeImage = 0;
  auto table = dib.Colors();
  if (bits == 1) {
    table[0] = {255, 255, 255, 0};
  } else {
    std::copy(kDepth8Colors.begin(), kDepth8Colors.end(), table.begin());
  }

  // The words follow the comment that holds the header.
  const auto end = text.find("*/", headerStart + 2);
  WordGroups groups(end == std::string_view::npos ? std::string_view{} : text.substr(end + 2));
  const std::size_t wordsPerRow = bits == 1 ? (static_cast<std::size_t>(*width) + 15) / 16
                                            : (static_cast<std::size_t>(*width) + 1) / 2;
  const std::size_t words = wordsPerRow * static_cast<std::size_t>(*height);
  // The data, not the header, bounds the work: a short file leaves the rest of the picture as
  // allocated (white), and only the rows written are cleared past the width.
  const uint64_t rowBits = static_cast<uint64_t>(*width) * static_cast<uint64_t>(bits);
  const auto used = static_cast<std::size_t>((rowBits + 7) / 8);
  const auto lastMask = static_cast<uint8_t>(0xFF << (used * 8 - rowBits));
  std::size_t word = 0;
  for (std::size_t g = 0; g < (words + 7) / 8 && !groups.Ended(); ++g) {
    for (const uint16_t value : groups.Next()) {
      if (word >= words) break;
      const std::span<uint8_t> row = dib.Row(dib.Height() - 1 - static_cast<int>(word / wordsPerRow));
      uint8_t* at = row.data() + 2 * (word % wordsPerRow);
      at[0] = static_cast<uint8_t>(value >> 8);
      at[1] = static_cast<uint8_t>(value);
      if (++word % wordsPerRow == 0) {
        row[used - 1] &= lastMask;
        std::fill(row.begin() + static_cast<std::ptrdiff_t>(used), row.end(), uint8_t{0});
      }
    }
  }
  if (word < words) result.status = ReadStatus::Truncated;
  result.dib = std::move(dib);
  return result;
}

}  // namespace ravelle
