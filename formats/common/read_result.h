// What every reader hands back: the image, its file-information text, the size it reported
// for the preview frame, and the messages the user is to see, in order.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/format.h"
#include "image/message.h"
#include "image/packed_dib.h"

namespace ravelle {

struct MetafileImage;  // formats/metafile/metafile.h

struct FrameSize {
  int64_t width = 0;
  int64_t height = 0;
};

// Why a read ended as it did. Truncated still gives the picture decoded so far.
enum class ReadStatus {
  Ok,
  Truncated,     // the data ended early or held an illegal code; what was decoded is kept
  Damaged,       // the header is incomplete or not one row could be decoded: no picture
  BadHeader,     // not a valid file of its type
  Unsupported,   // a valid file in a layout this reader does not handle
  TooLarge,      // the image would exceed the size limit
  NoMemory,      // memory for the image or a working buffer was not there
  LibraryError,  // the format's library refused the file
  OpenFailed,    // the file could not be opened or read
  NoReader,      // no reader of this build takes the file
};

// A short English reason, for ravelle-cli.
const char* ReadStatusText(ReadStatus status);

// One cause, one status, whichever reader meets it:
//   no image, or an empty one (zero width or height)         BadHeader
//   an image over the size limit                             TooLarge
//   no memory for an image within the limit                  NoMemory
//   data ending before the picture is complete               Truncated (never Ok)
//   header or data cut before one row, an illegal first code Damaged
//   a layout this reader does not handle                     Unsupported
// The status of a picture of this size and depth that got no block: BadHeader, TooLarge or
// NoMemory.
ReadStatus NoBlockStatus(int64_t width, int64_t height, int bitCount, uint32_t clrUsed = 0);

// The message of a reader that found no memory for the image (the DIB readers of uncompressed
// rows spell it "Memory allocation error").
inline const Message kMemoryAllocationError{"Memory Allocation Error", "", kMbIconHand};

struct ReadResult {
  ReadStatus status = ReadStatus::Ok;
  PackedDib dib;
  std::shared_ptr<MetafileImage> metafile;  // for the metafile readers
  std::string infoText;
  std::optional<FrameSize> frame;   // reported as soon as the header was read
  std::vector<Message> messages;
  std::vector<std::string> diagnostics;  // what a library said; never shown in the viewer

  // Ends the read with a reason and the message the user sees.
  void Fail(ReadStatus why, const Message& message) {
    status = why;
    messages.push_back(message);
  }
};

}  // namespace ravelle
