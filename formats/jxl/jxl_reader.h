// JPEG XL files through libjxl (two threads): still images, layered images and animations.
//
//   a bare codestream   FF 0A, then the size header, the image metadata and the frames
//   a container         the box "JXL " (00 00 00 0C 4A 58 4C 20 0D 0A 87 0A), "ftyp", then
//                       boxes: the codestream whole ("jxlc") or in parts ("jxlp"), Exif, XMP,
//                       JPEG reconstruction data ("jbrd")
//
// Reading gives the first displayed frame as the library composes it (layers blended, the
// codestream's orientation applied): 24 bits, or 8 bits with a grey table for grey files, deeper
// samples rounded to 8 bits, alpha laid over white as WebpOverWhite lays it. The
// canvas and every frame are checked against the size limit before the library is asked for
// pixels, since it keeps each frame in floating point (kMaxJxlPixels). A file cut short keeps
// what was decoded before the cut.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "formats/common/frame_sequence.h"
#include "formats/common/read_result.h"

namespace ravelle {

// The most pixels a canvas or frame may have: libjxl holds about 16 bytes a pixel while decoding.
inline constexpr uint64_t kMaxJxlPixels = kMaxDibBytes / 16;

ReadResult ReadJxlImage(std::span<const uint8_t> file);

// The frames of an animated JPEG XL, as the library composes them, laid over white. The file's
// bytes are copied in.
class JxlAnimation : public FrameSequence {
 public:
  // Nothing for a file that is not a whole, valid animation, or whose canvas or frames would
  // pass the size limit.
  static std::unique_ptr<JxlAnimation> Open(std::span<const uint8_t> file);
  ~JxlAnimation() override;

  int FrameCount() const override { return static_cast<int>(delays_.size()); }
  int FrameNumber() const override { return current_ + 1; }  // 1-based; 0 before the first Step()
  // Decodes the next frame (after the last comes the first again). False when the frame cannot
  // be decoded.
  bool Step() override;
  // The composed canvas, 24 bits.
  const PackedDib& Frame() const override { return canvas_; }
  // How long the current frame is shown, in hundredths of a second (at least 1).
  int Delay() const override;

 private:
  struct State;
  JxlAnimation() = default;
  std::vector<uint8_t> bytes_;
  std::unique_ptr<State> state_;
  std::vector<int> delays_;  // hundredths of a second, per frame
  int current_ = -1;
  PackedDib canvas_;
};

}  // namespace ravelle
