// WebP files through libwebp and its demuxer: still images (lossy VP8, lossless VP8L, either
// with an alpha channel) and animations.
//
//   offset 0    "RIFF", the size of what follows (32-bit little-endian), "WEBP"
//   offset 12   chunks: "VP8 " or "VP8L" alone (a simple file), or "VP8X" (flags, canvas width
//               and height less one, 24 bits each) followed by ICCP, ANIM, ANMF frames (offset,
//               size, duration, disposal and blending, then their ALPH/VP8/VP8L data), ALPH,
//               VP8/VP8L, EXIF and XMP chunks
//
// Reading gives a 24-bit PackedDib of the canvas: a still image as the library decodes it, an
// animation's first frame at its place on a transparent canvas. WebpAnimation steps through an
// animation's frames as the library composes them (disposal and blending). Alpha is laid over white the way
// the PNG reader lays it: in linear light, through libpng's 8-bit tables for a file gamma of 0.45
// and a screen gamma of 2.2. A file cut short keeps the rows decoded before the cut.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "formats/common/frame_sequence.h"
#include "formats/common/read_result.h"

struct WebPAnimDecoder;

namespace ravelle {

ReadResult ReadWebpImage(std::span<const uint8_t> file);

// One colour sample laid over white by `alpha` as the reader lays it.
uint8_t WebpOverWhite(uint8_t sample, uint8_t alpha);

// The frames of an animated WebP, composed one at a time on the canvas and laid over white. The
// file's bytes are copied in.
class WebpAnimation : public FrameSequence {
 public:
  // Nothing for a file that is not a whole, valid animation, or whose canvas (the library keeps
  // two of 4 bytes a pixel) would pass the size limit.
  static std::unique_ptr<WebpAnimation> Open(std::span<const uint8_t> file);
  ~WebpAnimation() override;

  int FrameCount() const override { return frameCount_; }
  int FrameNumber() const override { return current_ + 1; }  // 1-based; 0 before the first Step()
  // Decodes and composes the next frame (after the last comes the first again). False when the
  // frame cannot be decoded.
  bool Step() override;
  // The composed canvas, 24 bits.
  const PackedDib& Frame() const override { return canvas_; }
  // How long the current frame is shown, in hundredths of a second (at least 1).
  int Delay() const override;

 private:
  WebpAnimation() = default;
  std::vector<uint8_t> bytes_;
  WebPAnimDecoder* decoder_ = nullptr;
  std::vector<int> durations_;  // milliseconds, per frame
  int frameCount_ = 0;
  int current_ = -1;
  PackedDib canvas_;
};

}  // namespace ravelle
