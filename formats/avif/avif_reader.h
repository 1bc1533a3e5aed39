// AVIF files (AV1-coded images in HEIF's boxes, see formats/heif/heif_reader.h) through libavif:
// still images, grids of tiles, an alpha item beside the colour item, and image sequences
// ("avis": AV1 tracks with a colour and an alpha track).
//
//   offset 0    "ftyp" box: major brand "avif" (a still) or "avis" (a sequence), or "mif1" with
//               "avif" among the compatible brands
//   then        "meta" (items and their properties: av1C, ispe, pixi, colr, irot, imir, clap)
//               and, for a sequence, "moov" (tracks, sample tables, durations), then "mdat"
//
// Reading gives the primary image (a sequence's first frame) as a 24-bit PackedDib, or an 8-bit
// grey table for 4:0:0, alpha laid over white as the PNG reader lays it (WebpOverWhite), 10- and
// 12-bit samples converted to 8 bits by the library. The rotation and mirror are applied here
// (libavif reports them), so that the picture is upright; the crop is not.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "formats/common/frame_sequence.h"
#include "formats/common/read_result.h"

struct avifDecoder;

namespace ravelle {

ReadResult ReadAvifImage(std::span<const uint8_t> file);

// The frames of an AVIF sequence, one at a time, laid over white and upright. The file's bytes
// are copied in.
class AvifAnimation : public FrameSequence {
 public:
  // Nothing for a file that is not a sequence of two frames or more, or whose frames would pass
  // the size limit.
  static std::unique_ptr<AvifAnimation> Open(std::span<const uint8_t> file);
  ~AvifAnimation() override;

  int FrameCount() const override { return frameCount_; }
  int FrameNumber() const override { return current_ + 1; }  // 1-based; 0 before the first Step()
  // Decodes the next frame (after the last comes the first again). False when the frame cannot
  // be decoded.
  bool Step() override;
  // The current frame, 24 bits.
  const PackedDib& Frame() const override { return frame_; }
  // How long the current frame is shown, in hundredths of a second (at least 1).
  int Delay() const override;

 private:
  AvifAnimation() = default;
  std::vector<uint8_t> bytes_;
  avifDecoder* decoder_ = nullptr;
  int frameCount_ = 0;
  int current_ = -1;
  double seconds_ = 0;  // the current frame's duration
  PackedDib frame_;
};

}  // namespace ravelle
