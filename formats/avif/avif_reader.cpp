#include "formats/avif/avif_reader.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <string>

#include "formats/common/photo_libraries.h"
#include "formats/heif/heif_reader.h"
#include "image/format.h"
#include "image/limits.h"
#include "image/packed_dib.h"

namespace ravelle {
namespace {

struct DecoderDestroy {
  void operator()(avifDecoder* decoder) const { Avif()->avifDecoderDestroy(decoder); }
};
using Decoder = std::unique_ptr<avifDecoder, DecoderDestroy>;

// The library's own limits: the picture (checked again on the header's size before decoding),
// its threads, and no more strictness than the tools' --no-strict.
constexpr uint32_t kMaxPixels = kMaxDibBytes / 4;
constexpr uint32_t kMaxSide = 32768;
constexpr int kDecodingThreads = 2;

Decoder NewDecoder(std::span<const uint8_t> file) {
  Decoder decoder(Avif()->avifDecoderCreate());
  if (!decoder) return decoder;
  decoder->maxThreads = kDecodingThreads;
  decoder->imageSizeLimit = kMaxPixels;
  decoder->imageDimensionLimit = kMaxSide;
  decoder->strictFlags = AVIF_STRICT_DISABLED;
  decoder->ignoreExif = AVIF_TRUE;
  decoder->ignoreXMP = AVIF_TRUE;
  if (Avif()->avifDecoderSetIOMemory(decoder.get(), file.data(), file.size()) != AVIF_RESULT_OK) decoder.reset();
  return decoder;
}

ReadStatus StatusOf(avifResult result) {
  switch (result) {
    case AVIF_RESULT_OK: return ReadStatus::Ok;
    case AVIF_RESULT_INVALID_FTYP:
    case AVIF_RESULT_NO_CONTENT:
    case AVIF_RESULT_BMFF_PARSE_FAILED:
    case AVIF_RESULT_NO_AV1_ITEMS_FOUND:
    case AVIF_RESULT_ISPE_SIZE_MISMATCH:
    case AVIF_RESULT_COLOR_ALPHA_SIZE_MISMATCH:
    case AVIF_RESULT_INVALID_IMAGE_GRID: return ReadStatus::BadHeader;
    case AVIF_RESULT_TRUNCATED_DATA:
    case AVIF_RESULT_IO_ERROR:
    case AVIF_RESULT_DECODE_COLOR_FAILED:
    case AVIF_RESULT_DECODE_ALPHA_FAILED: return ReadStatus::Damaged;
    case AVIF_RESULT_NOT_IMPLEMENTED:
    case AVIF_RESULT_UNSUPPORTED_DEPTH: return ReadStatus::Unsupported;
    case AVIF_RESULT_OUT_OF_MEMORY: return ReadStatus::NoMemory;
    default: return ReadStatus::LibraryError;
  }
}

// The Exif orientation of the rotation and mirror that the image's properties ask for.
int OrientationOf(const avifImage& image) {
  const int turns = (image.transformFlags & AVIF_TRANSFORM_IROT) != 0 ? image.irot.angle & 3 : 0;
  const int mirror = (image.transformFlags & AVIF_TRANSFORM_IMIR) != 0 ? image.imir.mode & 1 : -1;
  return HeifExifOrientation(turns, mirror);
}

// Whether a picture of this size, in the library's RGBA and in ours, stays within the limit.
bool WithinLimit(uint32_t width, uint32_t height) {
  BitmapInfoHeader size;
  size.biWidth = static_cast<int32_t>(std::min<uint32_t>(width, INT32_MAX));
  size.biHeight = static_cast<int32_t>(std::min<uint32_t>(height, INT32_MAX));
  size.biBitCount = 24;
  return width > 0 && height > 0 && DibBlockSize(size) &&
         uint64_t{4} * uint64_t{width} * uint64_t{height} <= kMaxDibBytes;
}

// The decoded image as 8-bit RGB, or RGBA when it has alpha, shown upright. (The library converts
// the two through different code, which can round 10- and 12-bit samples differently: avifdec
// takes the same two.)
PackedDib ToDib(const avifImage& image, bool grey, avifResult& converted) {
  avifRGBImage rgb;
  Avif()->avifRGBImageSetDefaults(&rgb, &image);
  const uint32_t channels = image.alphaPlane != nullptr ? 4 : 3;
  rgb.depth = 8;
  rgb.format = channels == 4 ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
  rgb.rowBytes = channels * image.width;
  const std::size_t bytes = std::size_t{rgb.rowBytes} * image.height;
  std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[bytes]);
  if (!pixels) {
    converted = AVIF_RESULT_OUT_OF_MEMORY;
    return {};
  }
  rgb.pixels = pixels.get();
  converted = Avif()->avifImageYUVToRGB(&image, &rgb);
  if (converted != AVIF_RESULT_OK) return {};
  return HeifPixelsToDib(pixels.get(), rgb.rowBytes, static_cast<int>(channels), static_cast<int>(image.width), static_cast<int>(image.height),
                         grey, OrientationOf(image));
}

const char* SubsamplingName(avifPixelFormat format) {
  switch (format) {
    case AVIF_PIXEL_FORMAT_YUV444: return "4:4:4";
    case AVIF_PIXEL_FORMAT_YUV422: return "4:2:2";
    case AVIF_PIXEL_FORMAT_YUV420: return "4:2:0";
    case AVIF_PIXEL_FORMAT_YUV400: return "4:0:0 (grey)";
    default: return "unknown";
  }
}

bool IsSequence(const avifDecoder& decoder) {
  return decoder.imageCount > 1 && decoder.progressiveState == AVIF_PROGRESSIVE_STATE_UNAVAILABLE;
}

}  // namespace

ReadResult ReadAvifImage(std::span<const uint8_t> file) {
  if (Avif() == nullptr) return NoLibrary("libavif");
  ReadResult result;
  Decoder decoder = NewDecoder(file);
  if (!decoder) {
    result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
    return result;
  }
  // The size the primary item's header gives, before the library parses the rest (it would
  // refuse a picture over its limit, which is ours, as a parse failure).
  const HeifPrimaryTraits traits = ReadHeifPrimaryTraits(file);
  if (traits.width > 0 && traits.height > 0 && !WithinLimit(traits.width, traits.height)) {
    result.frame = FrameSize{traits.width, traits.height};
    result.Fail(ReadStatus::TooLarge, kMemoryAllocationError);
    return result;
  }
  avifResult parsed = Avif()->avifDecoderParse(decoder.get());
  if (parsed != AVIF_RESULT_OK) {
    result.status = StatusOf(parsed);
    result.diagnostics.push_back(Format("libavif: %s", Avif()->avifResultToString(parsed)));
    return result;
  }
  const avifImage& header = *decoder->image;
  const uint32_t width = header.width, height = header.height;
  const int orientation = OrientationOf(header);
  const bool across = orientation >= 5;
  const uint32_t shownWidth = across ? height : width, shownHeight = across ? width : height;
  result.frame = FrameSize{shownWidth, shownHeight};
  result.infoText = Format("image type: AVIF \nwidth: %u \nheight: %u \nbit depth: %u \nalpha channel: %s \n"
                           "compression: AV1, YUV %s \nframes: %d \n",
                           shownWidth, shownHeight, header.depth, decoder->alphaPresent ? "yes" : "no",
                           SubsamplingName(header.yuvFormat), IsSequence(*decoder) ? decoder->imageCount : 1);
  if (orientation != 1) result.infoText += Format("orientation: %d (applied) \n", orientation);
  if (width == 0 || height == 0) {
    result.status = ReadStatus::BadHeader;
    result.diagnostics.push_back("libavif: the image has no size");
    return result;
  }
  if (!WithinLimit(width, height)) {
    result.Fail(ReadStatus::TooLarge, kMemoryAllocationError);
    return result;
  }
  const avifResult decoded = Avif()->avifDecoderNextImage(decoder.get());
  if (decoded != AVIF_RESULT_OK) {
    result.status = StatusOf(decoded);
    if (result.status == ReadStatus::BadHeader) result.status = ReadStatus::Damaged;
    if (result.status == ReadStatus::NoMemory) result.messages.push_back(kMemoryAllocationError);
    result.diagnostics.push_back(Format("libavif: %s", Avif()->avifResultToString(decoded)));
    return result;
  }
  const avifImage& image = *decoder->image;
  if (image.width != width || image.height != height) {
    result.status = ReadStatus::Damaged;
    result.diagnostics.push_back("libavif: the decoded image is not the size its header says");
    return result;
  }
  avifResult converted = AVIF_RESULT_OK;
  result.dib = ToDib(image, image.yuvFormat == AVIF_PIXEL_FORMAT_YUV400, converted);
  if (!result.dib) {
    if (converted == AVIF_RESULT_OK || converted == AVIF_RESULT_OUT_OF_MEMORY) {
      result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
    } else {
      result.status = ReadStatus::Damaged;
      result.diagnostics.push_back(Format("libavif: %s", Avif()->avifResultToString(converted)));
    }
  }
  return result;
}

std::unique_ptr<AvifAnimation> AvifAnimation::Open(std::span<const uint8_t> file) {
  if (Avif() == nullptr) return nullptr;
  std::unique_ptr<AvifAnimation> animation(new AvifAnimation);
  try {
    animation->bytes_.assign(file.begin(), file.end());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  Decoder decoder = NewDecoder(animation->bytes_);
  if (!decoder || Avif()->avifDecoderParse(decoder.get()) != AVIF_RESULT_OK || !IsSequence(*decoder) ||
      !WithinLimit(decoder->image->width, decoder->image->height)) {
    return nullptr;
  }
  animation->frameCount_ = decoder->imageCount;
  animation->decoder_ = decoder.release();
  return animation;
}

AvifAnimation::~AvifAnimation() {
  if (decoder_ != nullptr) Avif()->avifDecoderDestroy(decoder_);  // the library does not take a null one
}

bool AvifAnimation::Step() {
  const int next = (current_ + 1) % frameCount_;
  if (Avif()->avifDecoderNthImage(decoder_, static_cast<uint32_t>(next)) != AVIF_RESULT_OK) return false;
  const avifImage& image = *decoder_->image;
  if (!WithinLimit(image.width, image.height)) return false;
  avifResult converted = AVIF_RESULT_OK;
  PackedDib frame = ToDib(image, false, converted);
  if (!frame) return false;
  frame_ = std::move(frame);
  current_ = next;
  seconds_ = decoder_->imageTiming.duration;
  return true;
}

int AvifAnimation::Delay() const {
  const double hundredths = std::isfinite(seconds_) ? std::round(seconds_ * 100) : 0;
  return static_cast<int>(std::clamp(hundredths, 1.0, 1e6));
}

}  // namespace ravelle
