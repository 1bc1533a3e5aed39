#include "formats/jxl/jxl_reader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "formats/common/photo_libraries.h"
#include "formats/webp/webp_reader.h"
#include "image/format.h"
#include "image/packed_dib.h"

namespace ravelle {
namespace {

constexpr std::size_t kThreads = 2;

struct DecoderFree {
  void operator()(JxlDecoder* decoder) const { Jxl()->JxlDecoderDestroy(decoder); }
};
struct RunnerFree {
  void operator()(void* runner) const { Jxl()->JxlThreadParallelRunnerDestroy(runner); }
};
using DecoderPtr = std::unique_ptr<JxlDecoder, DecoderFree>;
using RunnerPtr = std::unique_ptr<void, RunnerFree>;

bool PixelsFit(uint64_t width, uint64_t height) { return width > 0 && height > 0 && width * height <= kMaxJxlPixels; }

// What the headers say, read without decoding a pixel.
struct Survey {
  JxlBasicInfo info{};
  bool basic = false;          // the basic information was read
  bool complete = false;       // the file holds every frame, the last whole
  bool frameTooLarge = false;  // a layer passes the size limit
  JxlDecoderStatus stop = JXL_DEC_SUCCESS;  // what ended the walk early: an error, or the data's end
  int orientation = 1;                      // as the codestream has it, before the library applies it
  std::vector<uint32_t> durations;          // in ticks, one per displayed frame
};

// Walks the frame headers; the library skips the pixels of frames whose image is not asked for.
// With coalescing the frames are the displayed ones, the canvas turned upright; without it every
// layer at its own size, and the orientation as stored (the library says 1 once it applies it).
void WalkFrames(std::span<const uint8_t> file, bool coalescing, Survey& survey) {
  DecoderPtr decoder(Jxl()->JxlDecoderCreate(nullptr));
  JxlDecoder* dec = decoder.get();
  if (dec == nullptr || Jxl()->JxlDecoderSubscribeEvents(dec, JXL_DEC_BASIC_INFO | JXL_DEC_FRAME) != JXL_DEC_SUCCESS ||
      Jxl()->JxlDecoderSetCoalescing(dec, coalescing ? JXL_TRUE : JXL_FALSE) != JXL_DEC_SUCCESS ||
      Jxl()->JxlDecoderSetKeepOrientation(dec, coalescing ? JXL_FALSE : JXL_TRUE) != JXL_DEC_SUCCESS ||
      Jxl()->JxlDecoderSetInput(dec, file.data(), file.size()) != JXL_DEC_SUCCESS) {
    survey.stop = JXL_DEC_ERROR;
    return;
  }
  for (;;) {
    const JxlDecoderStatus status = Jxl()->JxlDecoderProcessInput(dec);
    if (status == JXL_DEC_BASIC_INFO) {
      if (Jxl()->JxlDecoderGetBasicInfo(dec, &survey.info) != JXL_DEC_SUCCESS) {
        survey.stop = JXL_DEC_ERROR;
        return;
      }
      survey.basic = true;
      if (!PixelsFit(survey.info.xsize, survey.info.ysize)) return;
    } else if (status == JXL_DEC_FRAME) {
      JxlFrameHeader header;
      if (Jxl()->JxlDecoderGetFrameHeader(dec, &header) != JXL_DEC_SUCCESS) {
        survey.stop = JXL_DEC_ERROR;
        return;
      }
      if (!PixelsFit(header.layer_info.xsize, header.layer_info.ysize)) {
        survey.frameTooLarge = true;
        return;
      }
      survey.durations.push_back(header.duration);
      // The last frame's data must be there too: past it the decoder ends.
      if (header.is_last != 0) Jxl()->JxlDecoderCloseInput(dec);
    } else {
      if (status == JXL_DEC_SUCCESS) {
        survey.complete = true;
      } else {
        survey.stop = status;
      }
      return;
    }
  }
}

// Everything known before the pixels: the displayed frames, and whether the canvas and every
// layer fit the size limit.
enum class Fit { Fits, Invalid, TooLarge };
Fit SurveyFile(std::span<const uint8_t> file, Survey& survey) {
  WalkFrames(file, true, survey);
  if (!survey.basic) return Fit::Invalid;
  Survey layers;
  WalkFrames(file, false, layers);
  survey.orientation = layers.basic ? static_cast<int>(layers.info.orientation) : 1;
  BitmapInfoHeader size;
  size.biWidth = static_cast<int32_t>(std::min<uint32_t>(survey.info.xsize, INT32_MAX));
  size.biHeight = static_cast<int32_t>(std::min<uint32_t>(survey.info.ysize, INT32_MAX));
  size.biBitCount = 24;
  const DibSize check = DibSizeCheck(size);
  if (check == DibSize::Invalid) return Fit::Invalid;
  if (check == DibSize::OverLimit || !PixelsFit(survey.info.xsize, survey.info.ysize)) return Fit::TooLarge;
  return survey.frameTooLarge || layers.frameTooLarge ? Fit::TooLarge : Fit::Fits;
}

// Whether a container holds JPEG reconstruction data (a "jbrd" box at its top level).
bool HasJpegReconstruction(std::span<const uint8_t> file) {
  const auto be = [&](std::size_t at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | file[at + static_cast<std::size_t>(i)];
    return value;
  };
  std::size_t at = 0;
  while (file.size() - at >= 8) {
    uint64_t size = be(at, 4);
    std::size_t header = 8;
    if (size == 1) {
      if (file.size() - at < 16) return false;
      size = be(at + 8, 8);
      header = 16;
    } else if (size == 0) {
      size = file.size() - at;
    }
    if (std::equal(file.begin() + static_cast<std::ptrdiff_t>(at + 4), file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                   "jbrd")) {
      return true;
    }
    if (size < header || size > file.size() - at) return false;
    at += static_cast<std::size_t>(size);
  }
  return false;
}

// A decoder that gives the composed frames one after another, 8 bits a sample: grey or red,
// green and blue, then alpha where the file has it.
struct FrameDecoder {
  DecoderPtr decoder;
  RunnerPtr runner;
  JxlPixelFormat format{};
  std::span<const uint8_t> file;
  std::vector<uint8_t> pixels;
  bool bufferSet = false;  // the current frame has its buffer
  bool premultiplied = false;
  std::size_t sampleBytes = 1;

  uint8_t Sample(std::size_t index) const {
    if (sampleBytes == 1) return pixels[index];
    uint16_t value;
    std::memcpy(&value, &pixels[2 * index], 2);
    return static_cast<uint8_t>((value * 255u + 32767u) / 65535u);
  }

  bool Start(std::span<const uint8_t> bytes, const JxlBasicInfo& info) {
    file = bytes;
    premultiplied = info.alpha_premultiplied != 0;
    decoder.reset(Jxl()->JxlDecoderCreate(nullptr));
    runner.reset(Jxl()->JxlThreadParallelRunnerCreate(nullptr, kThreads));
    if (!decoder || !runner) return false;
    // Deeper samples come as 16 bits and are rounded to 8 here (the library's own 8-bit output
    // of them is not always the picture).
    const bool deep = info.bits_per_sample > 8 || info.alpha_bits > 8 || info.exponent_bits_per_sample > 0;
    format = {(info.num_color_channels == 1 ? 1u : 3u) + (info.alpha_bits > 0 ? 1u : 0u),
              deep ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    sampleBytes = deep ? 2 : 1;
    try {
      pixels.assign(std::size_t{info.xsize} * info.ysize * format.num_channels * sampleBytes, 0xFF);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return Configure();
  }

  bool Configure() {
    JxlDecoder* dec = decoder.get();
    return Jxl()->JxlDecoderSetParallelRunner(dec, Jxl()->JxlThreadParallelRunner, runner.get()) == JXL_DEC_SUCCESS &&
           Jxl()->JxlDecoderSubscribeEvents(dec, JXL_DEC_FULL_IMAGE) == JXL_DEC_SUCCESS &&
           (!premultiplied || Jxl()->JxlDecoderSetUnpremultiplyAlpha(dec, JXL_TRUE) == JXL_DEC_SUCCESS) &&
           Jxl()->JxlDecoderSetInput(dec, file.data(), file.size()) == JXL_DEC_SUCCESS;
  }

  // Runs to the end of the next frame: JXL_DEC_FULL_IMAGE, or what stopped it.
  JxlDecoderStatus Next() {
    JxlDecoder* dec = decoder.get();
    bufferSet = false;
    for (;;) {
      const JxlDecoderStatus status = Jxl()->JxlDecoderProcessInput(dec);
      if (status != JXL_DEC_NEED_IMAGE_OUT_BUFFER) return status;
      std::size_t size = 0;
      if (Jxl()->JxlDecoderImageOutBufferSize(dec, &format, &size) != JXL_DEC_SUCCESS || size != pixels.size()) return JXL_DEC_ERROR;
      std::fill(pixels.begin(), pixels.end(), 0xFF);
      if (Jxl()->JxlDecoderSetImageOutBuffer(dec, &format, pixels.data(), pixels.size()) != JXL_DEC_SUCCESS) return JXL_DEC_ERROR;
      bufferSet = true;
    }
  }

  // Back to the first frame: the decoder as new (a rewound one gives no more frames).
  bool Rewind() {
    Jxl()->JxlDecoderReset(decoder.get());
    return Configure();
  }

  // The frame's samples into an 8-bit grey or a 24-bit image of the same size, over white.
  void LayInto(PackedDib& dib) const {
    const int width = dib.Width(), height = dib.Height();
    const std::size_t channels = format.num_channels;
    const bool alpha = channels == 2 || channels == 4;
    if (sampleBytes == 1 && !alpha) {  // opaque 8-bit samples: only the order changes
      for (int y = 0; y < height; ++y) {
        const uint8_t* in = &pixels[static_cast<std::size_t>(y) * width * channels];
        uint8_t* row = dib.Row(height - 1 - y).data();
        if (channels == 1 && dib.BitCount() == 8) {
          std::memcpy(row, in, static_cast<std::size_t>(width));
        } else if (channels == 1) {
          for (int x = 0; x < width; ++x, row += 3) row[0] = row[1] = row[2] = in[x];
        } else {
          for (int x = 0; x < width; ++x, in += 3, row += 3) row[0] = in[2], row[1] = in[1], row[2] = in[0];
        }
      }
      return;
    }
    for (int y = 0; y < height; ++y) {
      std::size_t in = static_cast<std::size_t>(y) * width * channels;
      uint8_t* row = dib.Row(height - 1 - y).data();
      for (int x = 0; x < width; ++x, in += channels) {
        const uint8_t a = alpha ? Sample(in + channels - 1) : 255;
        if (dib.BitCount() == 8) {
          row[x] = WebpOverWhite(Sample(in), a);
        } else {
          for (std::size_t c = 0; c < 3; ++c) *row++ = WebpOverWhite(Sample(in + (channels >= 3 ? 2 - c : 0)), a);
        }
      }
    }
  }
};

// A grey image gets an 8-bit grey table, the others 24 bits.
PackedDib CreateCanvas(const JxlBasicInfo& info, bool allowGrey) {
  const bool grey = allowGrey && info.num_color_channels == 1;
  PackedDib dib = CreateDib(static_cast<int>(info.xsize), static_cast<int>(info.ysize), grey ? 8 : 24);
  if (!dib) return dib;
  dib.Header().biSizeImage = 0;
  if (grey) {
    std::span<RgbQuad> table = dib.Colors();
    for (std::size_t i = 0; i < table.size(); ++i) {
      const auto level = static_cast<uint8_t>(i);
      table[i] = {level, level, level, 0};
    }
  }
  return dib;
}

std::string InfoText(const JxlBasicInfo& info, const Survey& survey, bool jpeg) {
  std::string text = Format("image type: JPEG XL \nwidth: %u \nheight: %u \nbit depth: %u%s \nalpha channel: %s \n",
                            info.xsize, info.ysize, info.bits_per_sample,
                            info.exponent_bits_per_sample > 0 ? " (floating point)" : "", info.alpha_bits > 0 ? "yes" : "no");
  // Colours kept in the perceptual (XYB) space are always lossy; a recompressed JPEG file is
  // lossless to that file. Other files do not say.
  if (jpeg) {
    text += "compression: lossless JPEG recompression \n";
  } else if (info.uses_original_profile == 0) {
    text += "compression: lossy \n";
  }
  text += Format("frames: %zu \n", survey.durations.size());
  if (survey.orientation > 1 && survey.orientation <= 8) text += Format("orientation: %d (applied) \n", survey.orientation);
  return text;
}

bool IsJxl(std::span<const uint8_t> file) {
  const JxlSignature signature = Jxl()->JxlSignatureCheck(file.data(), file.size());
  return signature == JXL_SIG_CODESTREAM || signature == JXL_SIG_CONTAINER;
}

}  // namespace

ReadResult ReadJxlImage(std::span<const uint8_t> file) {
  if (Jxl() == nullptr) return NoLibrary("libjxl");
  ReadResult result;
  if (!IsJxl(file)) {
    result.status = file.size() < 2 ? ReadStatus::Damaged : ReadStatus::BadHeader;
    result.diagnostics.push_back("libjxl: no JPEG XL signature");
    return result;
  }
  Survey survey;
  const Fit fit = SurveyFile(file, survey);
  if (!survey.basic) {
    result.status = survey.stop == JXL_DEC_NEED_MORE_INPUT ? ReadStatus::Damaged : ReadStatus::BadHeader;
    result.diagnostics.push_back(survey.stop == JXL_DEC_NEED_MORE_INPUT ? "libjxl: the header is cut short"
                                                                         : "libjxl: the header is damaged");
    return result;
  }
  const JxlBasicInfo& info = survey.info;
  result.frame = FrameSize{info.xsize, info.ysize};
  result.infoText = InfoText(info, survey, HasJpegReconstruction(file));
  if (fit == Fit::Invalid) {
    result.status = ReadStatus::BadHeader;
    return result;
  }
  if (fit == Fit::TooLarge) {
    result.Fail(ReadStatus::TooLarge, kMemoryAllocationError);
    return result;
  }
  if (survey.durations.empty()) {
    result.status = ReadStatus::Damaged;
    result.diagnostics.push_back(survey.stop == JXL_DEC_NEED_MORE_INPUT ? "libjxl: the file ends before the first frame"
                                                                         : "libjxl: the first frame's header is damaged");
    return result;
  }
  PackedDib dib = CreateCanvas(info, true);
  FrameDecoder decoder;
  if (!dib || !decoder.Start(file, info)) {
    result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
    return result;
  }
  const JxlDecoderStatus status = decoder.Next();
  if (status == JXL_DEC_FULL_IMAGE) {
    if (!survey.complete) result.diagnostics.push_back("libjxl: the file ends after the first frame");
  } else if (status == JXL_DEC_NEED_MORE_INPUT && decoder.bufferSet &&
             Jxl()->JxlDecoderFlushImage(decoder.decoder.get()) == JXL_DEC_SUCCESS) {
    result.status = ReadStatus::Truncated;
    result.diagnostics.push_back("libjxl: the file ends within the first frame");
  } else {
    result.status = ReadStatus::Damaged;
    result.diagnostics.push_back(status == JXL_DEC_NEED_MORE_INPUT ? "libjxl: the file ends within the first frame"
                                                                  : "libjxl: the first frame is damaged");
    return result;
  }
  decoder.LayInto(dib);
  result.dib = std::move(dib);
  return result;
}

struct JxlAnimation::State {
  FrameDecoder decoder;
};

std::unique_ptr<JxlAnimation> JxlAnimation::Open(std::span<const uint8_t> file) {
  if (Jxl() == nullptr || !IsJxl(file)) return nullptr;
  Survey survey;
  if (SurveyFile(file, survey) != Fit::Fits || !survey.complete || survey.info.have_animation == 0 ||
      survey.durations.empty()) {
    return nullptr;
  }
  std::unique_ptr<JxlAnimation> animation(new JxlAnimation);
  try {
    animation->bytes_.assign(file.begin(), file.end());
    animation->state_ = std::make_unique<State>();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (!animation->state_->decoder.Start(animation->bytes_, survey.info)) return nullptr;
  const uint64_t perSecond = survey.info.animation.tps_numerator, per = survey.info.animation.tps_denominator;
  for (const uint32_t ticks : survey.durations) {
    const uint64_t hundredths = perSecond == 0 ? 0 : (uint64_t{ticks} * 100 * per + perSecond / 2) / perSecond;
    animation->delays_.push_back(static_cast<int>(std::clamp<uint64_t>(hundredths, 1, INT_MAX)));
  }
  animation->canvas_ = CreateCanvas(survey.info, false);
  if (!animation->canvas_) return nullptr;
  return animation;
}

JxlAnimation::~JxlAnimation() = default;

bool JxlAnimation::Step() {
  FrameDecoder& decoder = state_->decoder;
  if (current_ + 1 >= FrameCount()) {
    current_ = -1;
    if (!decoder.Rewind()) return false;
  }
  if (decoder.Next() != JXL_DEC_FULL_IMAGE) return false;
  decoder.LayInto(canvas_);
  ++current_;
  return true;
}

int JxlAnimation::Delay() const { return current_ >= 0 ? delays_[static_cast<std::size_t>(current_)] : 1; }

}  // namespace ravelle
