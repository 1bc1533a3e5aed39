#include "formats/webp/webp_reader.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "formats/common/exif.h"
#include "image/format.h"
#include "image/packed_dib.h"
#include "tools/transform.h"

namespace ravelle {
namespace {

// libpng's 8-bit gamma tables as the PNG reader has them built: samples to linear light (the
// exponent 1 / 0.45 as libpng rounds it, 2.22222) and back for the screen (1 / 2.2, 0.45455).
using GammaTable = std::array<uint8_t, 256>;
GammaTable BuildGammaTable(double exponent) {
  GammaTable table{};
  for (int i = 0; i < 256; ++i) {
    table[i] = i == 0 || i == 255 ? static_cast<uint8_t>(i)
                                  : static_cast<uint8_t>(std::floor(255 * std::pow(i / 255., exponent) + .5));
  }
  return table;
}
const GammaTable kToLinear = BuildGammaTable(222222 * .00001);
const GammaTable kFromLinear = BuildGammaTable(45455 * .00001);

const char* StatusName(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OK: return "ok";
    case VP8_STATUS_OUT_OF_MEMORY: return "out of memory";
    case VP8_STATUS_INVALID_PARAM: return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR: return "bitstream error";
    case VP8_STATUS_UNSUPPORTED_FEATURE: return "unsupported feature";
    case VP8_STATUS_SUSPENDED: return "suspended";
    case VP8_STATUS_USER_ABORT: return "aborted";
    case VP8_STATUS_NOT_ENOUGH_DATA: return "not enough data";
  }
  return "unknown status";
}

// The place of a frame on the canvas (the whole canvas for a still image).
struct Placement {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// How the decoding of one bitstream ended and how many of its rows, from the top, it gave.
struct Decoded {
  VP8StatusCode status = VP8_STATUS_OK;
  int rows = 0;
};

// Decodes `data` (a whole file, or a frame's ALPH/VP8/VP8L chunks) into the canvas at `at`: an
// opaque bitstream straight into the bitmap's rows (the library turns them bottom up), one with
// alpha through a blue, green, red, alpha buffer that is then laid over white.
Decoded DecodeInto(std::span<const uint8_t> data, bool alpha, const Placement& at, PackedDib& dib,
                   std::vector<std::string>& diagnostics) {
  WebPDecoderConfig config;
  if (WebPInitDecoderConfig(&config) == 0) return {VP8_STATUS_INVALID_PARAM, 0};
  const std::size_t stride = dib.Stride();
  std::unique_ptr<uint8_t[]> rgba;
  WebPRGBABuffer& out = config.output.u.RGBA;
  config.output.is_external_memory = 1;
  config.options.use_threads = 1;  // a lossy picture's filtering on a second thread
  config.output.width = at.width;
  config.output.height = at.height;
  if (alpha) {
    // Left as it comes from the system: only the rows decoded are read.
    const std::size_t bytes = static_cast<std::size_t>(at.width) * 4 * static_cast<std::size_t>(at.height);
    rgba.reset(new (std::nothrow) uint8_t[bytes]);
    if (!rgba) return {VP8_STATUS_OUT_OF_MEMORY, 0};
    config.output.colorspace = MODE_BGRA;
    out.rgba = rgba.get();
    out.stride = at.width * 4;
    out.size = bytes;
  } else {
    // The frame's bottom row in the bitmap: the library writes its rows upwards from there.
    const int bottom = dib.Height() - at.y - at.height;
    config.output.colorspace = MODE_BGR;
    config.options.flip = 1;
    out.rgba = dib.Row(bottom).data() + 3 * static_cast<std::size_t>(at.x);
    out.stride = static_cast<int>(stride);
    out.size = stride * static_cast<std::size_t>(at.height - 1) + 3 * static_cast<std::size_t>(at.width);
  }
  // The incremental decoder, given everything at once, decodes as the plain one does and tells
  // how far it came when the data ends early or goes wrong.
  Decoded decoded;
  WebPIDecoder* decoder = WebPIDecode(nullptr, 0, &config);
  if (decoder == nullptr) return {VP8_STATUS_OUT_OF_MEMORY, 0};
  decoded.status = WebPIUpdate(decoder, data.data(), data.size());
  if (decoded.status == VP8_STATUS_SUSPENDED) decoded.status = VP8_STATUS_NOT_ENOUGH_DATA;
  int lastY = 0;
  if (WebPIDecGetRGB(decoder, &lastY, nullptr, nullptr, nullptr) == nullptr) lastY = 0;
  WebPIDelete(decoder);
  decoded.rows = std::clamp(lastY, 0, at.height);
  if (decoded.status != VP8_STATUS_OK) {
    diagnostics.push_back(Format("libwebp: %s after %d of %d rows", StatusName(decoded.status), decoded.rows, at.height));
  }
  if (alpha) {
    for (int y = 0; y < decoded.rows; ++y) {
      const uint8_t* in = rgba.get() + static_cast<std::size_t>(y) * 4 * static_cast<std::size_t>(at.width);
      uint8_t* row = dib.Row(dib.Height() - 1 - (at.y + y)).data() + 3 * static_cast<std::size_t>(at.x);
      for (int x = 0; x < at.width; ++x, in += 4, row += 3) {
        for (int c = 0; c < 3; ++c) row[c] = WebpOverWhite(in[c], in[3]);
      }
    }
  }
  return decoded;
}

// What the demuxer says of an animation: its frames' count and kinds, and the first frame.
struct Animation {
  int frames = 0;
  bool lossy = false;
  bool lossless = false;
  bool complete = false;  // the demuxer parsed the whole file
  Placement first;
  std::span<const uint8_t> firstData;
  bool firstAlpha = false;
};

bool ReadAnimation(std::span<const uint8_t> file, Animation& animation) {
  WebPData data{file.data(), file.size()};
  WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
  WebPDemuxer* demux = WebPDemuxPartial(&data, &state);
  if (demux == nullptr) return false;
  animation.complete = state == WEBP_DEMUX_DONE;
  WebPIterator frame;
  if (WebPDemuxGetFrame(demux, 1, &frame) != 0) {
    animation.first = {frame.x_offset, frame.y_offset, frame.width, frame.height};
    animation.firstData = {frame.fragment.bytes, frame.fragment.size};
    animation.firstAlpha = frame.has_alpha != 0;
    do {
      ++animation.frames;
      WebPBitstreamFeatures features;
      if (WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &features) == VP8_STATUS_OK) {
        (features.format == 2 ? animation.lossless : animation.lossy) = true;
      }
    } while (WebPDemuxNextFrame(&frame) != 0);
    WebPDemuxReleaseIterator(&frame);
  }
  WebPDemuxDelete(demux);
  return animation.frames > 0;
}

// The orientation of the EXIF chunk that the VP8X flags announce; 0 without one. A file cut
// before the chunk has none.
int ReadOrientation(std::span<const uint8_t> file) {
  WebPData data{file.data(), file.size()};
  WebPDemuxer* demux = WebPDemuxPartial(&data, nullptr);
  if (demux == nullptr) return 0;
  int orientation = 0;
  WebPChunkIterator chunk;
  if ((WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & EXIF_FLAG) != 0 && WebPDemuxGetChunk(demux, "EXIF", 1, &chunk) != 0) {
    orientation = ExifOrientation({chunk.chunk.bytes, chunk.chunk.size});
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  WebPDemuxDelete(demux);
  return orientation;
}

ReadStatus StatusOf(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OK: return ReadStatus::Ok;
    case VP8_STATUS_OUT_OF_MEMORY: return ReadStatus::NoMemory;
    case VP8_STATUS_UNSUPPORTED_FEATURE: return ReadStatus::Unsupported;
    case VP8_STATUS_NOT_ENOUGH_DATA: return ReadStatus::Damaged;
    case VP8_STATUS_BITSTREAM_ERROR: return ReadStatus::BadHeader;
    default: return ReadStatus::LibraryError;
  }
}

}  // namespace

uint8_t WebpOverWhite(uint8_t sample, uint8_t alpha) {
  if (alpha == 255) return sample;
  if (alpha == 0) return 255;
  // libpng's png_composite, rounding to the nearest level without a division.
  const unsigned mixed = kToLinear[sample] * alpha + 255u * (255u - alpha) + 128u;
  return kFromLinear[((mixed + (mixed >> 8)) >> 8) & 0xFF];
}

ReadResult ReadWebpImage(std::span<const uint8_t> file) {
  ReadResult result;
  WebPBitstreamFeatures features;
  const VP8StatusCode header = WebPGetFeatures(file.data(), file.size(), &features);
  if (header != VP8_STATUS_OK) {
    result.status = StatusOf(header);
    result.diagnostics.push_back(Format("libwebp: %s in the header", StatusName(header)));
    return result;
  }
  Animation animation;
  if (features.has_animation != 0 && !ReadAnimation(file, animation)) {
    result.status = ReadStatus::Damaged;
    result.diagnostics.push_back("libwebp: no frame of the animation can be read");
    return result;
  }
  const bool animated = features.has_animation != 0;
  const int width = features.width, height = features.height;
  // A still picture is shown upright (orientations 5 to 8 turn it a quarter); the frames of an
  // animation are shown as they are stored.
  const int orientation = animated ? 0 : ReadOrientation(file);
  result.frame = orientation >= 5 ? FrameSize{height, width} : FrameSize{width, height};
  const char* compression = animated ? (animation.lossy && animation.lossless ? "lossy and lossless"
                                        : animation.lossless                 ? "lossless"
                                                                             : "lossy")
                                     : features.format == 2 ? "lossless" : "lossy";
  result.infoText = Format("image type: WebP \nwidth: %d \nheight: %d \nbit depth: 8 \nalpha channel: %s \n"
                           "compression: %s \nframes: %d \n",
                           width, height, features.has_alpha != 0 ? "yes" : "no", compression,
                           animated ? animation.frames : 1);
  if (orientation > 1) result.infoText += Format("orientation: %d (applied) \n", orientation);

  BitmapInfoHeader size;
  size.biWidth = width;
  size.biHeight = height;
  size.biBitCount = 24;
  if (width <= 0 || height <= 0) {
    result.status = ReadStatus::BadHeader;
    return result;
  }
  if (!DibBlockSize(size)) {
    result.Fail(ReadStatus::TooLarge, kMemoryAllocationError);
    return result;
  }
  const Placement canvas{0, 0, width, height};
  const Placement at = animated ? animation.first : canvas;
  // The demuxer keeps every frame inside the canvas; a frame that is not is not drawn.
  if (at.width <= 0 || at.height <= 0 || at.x < 0 || at.y < 0 || at.width > width - at.x || at.height > height - at.y) {
    result.status = ReadStatus::BadHeader;
    return result;
  }
  const std::span<const uint8_t> data = animated ? animation.firstData : file;
  if (animated) {
    WebPBitstreamFeatures frame;
    const VP8StatusCode status = WebPGetFeatures(data.data(), data.size(), &frame);
    if (status != VP8_STATUS_OK || frame.width != at.width || frame.height != at.height) {
      result.status = status != VP8_STATUS_OK ? StatusOf(status) : ReadStatus::BadHeader;
      result.diagnostics.push_back("libwebp: the first frame's header is damaged or disagrees with its place");
      return result;
    }
  }
  PackedDib dib = CreateDib(width, height, 24);
  if (!dib) {
    result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
    return result;
  }
  dib.Header().biSizeImage = 0;
  if (animated) {
    // The canvas starts transparent: white around the first frame.
    for (int y = 0; y < height; ++y) {
      uint8_t* row = dib.Row(height - 1 - y).data();
      if (y < at.y || y >= at.y + at.height) {
        std::memset(row, 0xFF, 3 * static_cast<std::size_t>(width));
      } else {
        std::memset(row, 0xFF, 3 * static_cast<std::size_t>(at.x));
        std::memset(row + 3 * static_cast<std::size_t>(at.x + at.width), 0xFF,
                    3 * static_cast<std::size_t>(width - at.x - at.width));
      }
    }
  }
  const bool alpha = animated ? animation.firstAlpha : features.has_alpha != 0;
  const Decoded decoded = DecodeInto(data, alpha, at, dib, result.diagnostics);
  if (decoded.status == VP8_STATUS_OK) {
    result.dib = std::move(dib);
  } else if (decoded.status == VP8_STATUS_OUT_OF_MEMORY) {
    result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
  } else if (decoded.rows > 0) {
    result.status = ReadStatus::Truncated;
    result.dib = std::move(dib);
  } else {
    result.status = decoded.status == VP8_STATUS_UNSUPPORTED_FEATURE ? ReadStatus::Unsupported : ReadStatus::Damaged;
  }
  int state = TiffOrientationToState(orientation);  // Exif shares the TIFF tag's values
  if (result.dib && RestoreOrientation(result.dib, state) == TransformStatus::NoMemory) {
    result.dib = PackedDib();
    result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
  }
  if (animated && !animation.complete && result.status == ReadStatus::Ok) {
    result.diagnostics.push_back("libwebp: the animation ends early");
  }
  return result;
}

std::unique_ptr<WebpAnimation> WebpAnimation::Open(std::span<const uint8_t> file) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK || features.has_animation == 0) return nullptr;
  BitmapInfoHeader size;
  size.biWidth = features.width;
  size.biHeight = features.height;
  size.biBitCount = 24;
  if (features.width <= 0 || features.height <= 0 || !DibBlockSize(size) ||
      uint64_t{4} * static_cast<uint64_t>(features.width) * static_cast<uint64_t>(features.height) > kMaxDibBytes) {
    return nullptr;
  }
  std::unique_ptr<WebpAnimation> animation(new WebpAnimation);
  try {
    animation->bytes_.assign(file.begin(), file.end());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  WebPAnimDecoderOptions options;
  if (WebPAnimDecoderOptionsInit(&options) == 0) return nullptr;
  options.color_mode = MODE_BGRA;
  options.use_threads = 1;
  const WebPData data{animation->bytes_.data(), animation->bytes_.size()};
  animation->decoder_ = WebPAnimDecoderNew(&data, &options);
  if (animation->decoder_ == nullptr) return nullptr;
  WebPAnimInfo info;
  if (WebPAnimDecoderGetInfo(animation->decoder_, &info) == 0 || info.frame_count == 0 ||
      static_cast<int>(info.canvas_width) != features.width || static_cast<int>(info.canvas_height) != features.height) {
    return nullptr;
  }
  const WebPDemuxer* demux = WebPAnimDecoderGetDemuxer(animation->decoder_);
  WebPIterator frame;
  if (WebPDemuxGetFrame(demux, 1, &frame) != 0) {
    do {
      animation->durations_.push_back(frame.duration);
    } while (WebPDemuxNextFrame(&frame) != 0);
    WebPDemuxReleaseIterator(&frame);
  }
  animation->frameCount_ = static_cast<int>(animation->durations_.size());
  animation->canvas_ = CreateDib(features.width, features.height, 24);
  if (animation->frameCount_ == 0 || !animation->canvas_) return nullptr;
  animation->canvas_.Header().biSizeImage = 0;
  return animation;
}

WebpAnimation::~WebpAnimation() { WebPAnimDecoderDelete(decoder_); }

bool WebpAnimation::Step() {
  if (WebPAnimDecoderHasMoreFrames(decoder_) == 0) {
    WebPAnimDecoderReset(decoder_);
    current_ = -1;
  }
  uint8_t* bgra = nullptr;
  int timestamp = 0;
  if (WebPAnimDecoderGetNext(decoder_, &bgra, &timestamp) == 0 || bgra == nullptr) return false;
  current_ = (current_ + 1) % frameCount_;
  const int width = canvas_.Width(), height = canvas_.Height();
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = bgra + static_cast<std::size_t>(y) * 4 * static_cast<std::size_t>(width);
    uint8_t* row = canvas_.Row(height - 1 - y).data();
    for (int x = 0; x < width; ++x, in += 4, row += 3) {
      for (int c = 0; c < 3; ++c) row[c] = WebpOverWhite(in[c], in[3]);
    }
  }
  return true;
}

int WebpAnimation::Delay() const {
  const int milliseconds = current_ >= 0 ? durations_[static_cast<std::size_t>(current_)] : 0;
  return std::max(1, (milliseconds + 5) / 10);
}

}  // namespace ravelle
