#include "formats/jxl/jxl_writer.h"

#include <array>
#include <memory>
#include <new>
#include <vector>

#include "formats/common/photo_libraries.h"
#include "image/dib_pixels.h"

namespace ravelle {
namespace {

struct EncoderFree {
  void operator()(JxlEncoder* encoder) const { Jxl()->JxlEncoderDestroy(encoder); }
};
struct RunnerFree {
  void operator()(void* runner) const { Jxl()->JxlThreadParallelRunnerDestroy(runner); }
};

// Lossless coding at the default effort takes minutes for a large photograph; this one seconds,
// for files a few per cent larger.
constexpr int kLosslessEffort = 3;

}  // namespace

bool WriteJxlImage(const PackedDib& dib, std::FILE* out, bool lossless) {
  if (!dib || Jxl() == nullptr) return false;
  const std::unique_ptr<JxlEncoder, EncoderFree> encoder(Jxl()->JxlEncoderCreate(nullptr));
  const std::unique_ptr<void, RunnerFree> runner(Jxl()->JxlThreadParallelRunnerCreate(nullptr, 2));
  if (!encoder || !runner ||
      Jxl()->JxlEncoderSetParallelRunner(encoder.get(), Jxl()->JxlThreadParallelRunner, runner.get()) != JXL_ENC_SUCCESS) {
    return false;
  }
  JxlBasicInfo info;
  Jxl()->JxlEncoderInitBasicInfo(&info);
  info.xsize = static_cast<uint32_t>(dib.Width());
  info.ysize = static_cast<uint32_t>(dib.Height());
  info.bits_per_sample = 8;
  info.num_color_channels = 3;
  info.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
  JxlColorEncoding colour;
  Jxl()->JxlColorEncodingSetToSRGB(&colour, JXL_FALSE);
  if (Jxl()->JxlEncoderSetBasicInfo(encoder.get(), &info) != JXL_ENC_SUCCESS ||
      Jxl()->JxlEncoderSetColorEncoding(encoder.get(), &colour) != JXL_ENC_SUCCESS) {
    return false;
  }
  JxlEncoderFrameSettings* settings = Jxl()->JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
  if (settings == nullptr) return false;
  const bool set = lossless ? Jxl()->JxlEncoderSetFrameLossless(settings, JXL_TRUE) == JXL_ENC_SUCCESS &&
                                  Jxl()->JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT,
                                                                   kLosslessEffort) == JXL_ENC_SUCCESS
                            : Jxl()->JxlEncoderSetFrameDistance(settings, 1.0F) == JXL_ENC_SUCCESS;
  if (!set) return false;
  // The library takes the whole picture at once, top row first.
  const std::size_t rowBytes = static_cast<std::size_t>(dib.Width()) * 3;
  std::vector<uint8_t> rgb;
  try {
    rgb.resize(rowBytes * static_cast<std::size_t>(dib.Height()));
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int y = 0; y < dib.Height(); ++y) RowToRgb(dib, dib.Row(dib.Height() - 1 - y), &rgb[y * rowBytes]);
  const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  if (Jxl()->JxlEncoderAddImageFrame(settings, &format, rgb.data(), rgb.size()) != JXL_ENC_SUCCESS) return false;
  Jxl()->JxlEncoderCloseInput(encoder.get());
  std::array<uint8_t, 1 << 16> chunk;
  for (;;) {
    uint8_t* next = chunk.data();
    std::size_t room = chunk.size();
    const JxlEncoderStatus status = Jxl()->JxlEncoderProcessOutput(encoder.get(), &next, &room);
    const auto produced = static_cast<std::size_t>(next - chunk.data());
    if (std::fwrite(chunk.data(), 1, produced, out) != produced) return false;
    if (status == JXL_ENC_SUCCESS) return true;
    if (status != JXL_ENC_NEED_MORE_OUTPUT) return false;
  }
}

}  // namespace ravelle
