// GIF files (87a and 89a, optionally behind a 128-byte prefix).
//
//   offset 0    "GIF", version (digit, digit, letter), screen width and height (2 each), packed
//               byte (bit 7 global table, bits 0-2 its size), background index, aspect byte
//   then        the global colour table, then blocks: 0x21 extensions (0xF9 graphic control:
//               disposal, delay, transparent index), 0x2C images (descriptor, local table, LZW
//               data in sub-blocks), 0x3B the trailer
//
// ReadGifImage reads the first image as an 8-bit PackedDib of the image's own size. GifAnimation
// steps through all images of a file, composing each over the logical screen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "formats/common/frame_sequence.h"
#include "formats/common/read_result.h"

namespace ravelle {

ReadResult ReadGifImage(std::span<const uint8_t> file, std::size_t start = 0);

// The number of images in the file (counted without decoding them); 0 for a file that is not
// a GIF.
int CountGifImages(std::span<const uint8_t> file, std::size_t start = 0);

// The frames of an animated GIF, decoded one at a time. The file's bytes are copied in.
class GifAnimation : public FrameSequence {
 public:
  // Nothing when the file holds no image.
  static std::unique_ptr<GifAnimation> Open(std::span<const uint8_t> file, std::size_t start = 0);

  int FrameCount() const override { return static_cast<int>(frames_.size()); }
  int FrameNumber() const override { return current_ + 1; }  // 1-based; 0 before the first Step()
  // Decodes and composes the next frame (after the last comes the first again). False when the
  // screen could not be allocated.
  bool Step() override;
  // The composed screen: 8 bits when every frame uses the global table, otherwise 24 bits.
  const PackedDib& Frame() const override { return screen_; }
  // How long the current frame is shown, in hundredths of a second (0 and 1 shown as 10).
  int Delay() const override;

  struct FrameInfo {
    std::size_t descriptor = 0;  // just after the image separator
    int disposal = 0;
    int delay = 25;
    int transparent = -1;
  };

 private:
  GifAnimation() = default;
  void Restart();
  std::vector<uint8_t> bytes_;
  std::vector<FrameInfo> frames_;
  std::vector<RgbQuad> global_;
  RgbQuad background_;
  uint8_t backgroundIndex_ = 0;
  int screenWidth_ = 0;
  int screenHeight_ = 0;
  bool indexed_ = true;
  int current_ = -1;
  PackedDib screen_;
  PackedDib saved_;  // the screen before a frame that restores it (disposal 3)
};

}  // namespace ravelle
