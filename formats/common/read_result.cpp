#include "formats/common/read_result.h"

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

}  // namespace ravelle
