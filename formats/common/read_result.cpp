#include "formats/common/read_result.h"

#include <cstdint>

namespace ravelle {

const char* ReadStatusText(ReadStatus status) {
  switch (status) {
    case ReadStatus::Ok: return "ok";
    case ReadStatus::Truncated: return "the file ends early or is damaged; the picture is incomplete";
    case ReadStatus::Damaged: return "the file ends early or is damaged";
    case ReadStatus::BadHeader: return "not a valid file of its type";
    case ReadStatus::Unsupported: return "a layout this program does not read";
    case ReadStatus::TooLarge: return "the image is too large";
    case ReadStatus::NoMemory: return "not enough memory";
    case ReadStatus::LibraryError: return "the format's library refused the file";
    case ReadStatus::OpenFailed: return "the file cannot be opened";
    case ReadStatus::NoReader: return "not an image this build can read";
  }
  return "unknown";
}

ReadStatus NoBlockStatus(int64_t width, int64_t height, int bitCount, uint32_t clrUsed) {
  if (width <= 0 || height <= 0) return ReadStatus::BadHeader;
  if (width > INT32_MAX || height > INT32_MAX) return ReadStatus::TooLarge;
  BitmapInfoHeader header;
  header.biWidth = static_cast<int32_t>(width);
  header.biHeight = static_cast<int32_t>(height);
  header.biBitCount = static_cast<uint16_t>(bitCount);
  header.biClrUsed = clrUsed;
  switch (DibSizeCheck(header)) {
    case DibSize::Invalid: return ReadStatus::BadHeader;
    case DibSize::OverLimit: return ReadStatus::TooLarge;
    case DibSize::Fits: break;
  }
  return ReadStatus::NoMemory;
}

}  // namespace ravelle
