#include "formats/jxl/jxl_writer.h"

#include <jxl/encode.h>
#include <jxl/thread_parallel_runner.h>

#include <array>
#include <memory>
#include <new>
#include <vector>

#include "image/dib_pixels.h"

namespace ravelle {
namespace {

struct EncoderFree {
  void operator()(JxlEncoder* encoder) const { JxlEncoderDestroy(encoder); }
};
struct RunnerFree {
  void operator()(void* runner) const { JxlThreadParallelRunnerDestroy(runner); }
};

// Lossless coding at the default effort takes minutes for a large photograph; this one seconds,
// for files a few per cent larger.
constexpr int kLosslessEffort = 3;

}  // namespace

bool WriteJxlImage(const PackedDib& dib, std::FILE* out, bool lossless) {
  if (!dib) return false;
  const std::unique_ptr<JxlEncoder, EncoderFree> encoder(JxlEncoderCreate(nullptr));
  const std::unique_ptr<void, RunnerFree> runner(JxlThreadParallelRunnerCreate(nullptr, 2));
  if (!encoder || !runner ||
      JxlEncoderSetParallelRunner(encoder.get(), JxlThreadParallelRunner, runner.get()) != JXL_ENC_SUCCESS) {
    return false;
  }
  JxlBasicInfo info;
  JxlEncoderInitBasicInfo(&info);
  info.xsize = static_cast<uint32_t>(dib.Width());
  info.ysize = static_cast<uint32_t>(dib.Height());
  info.bits_per_sample = 8;
  info.num_color_channels = 3;
  info.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
  JxlColorEncoding colour;
  JxlColorEncodingSetToSRGB(&colour, JXL_FALSE);
  if (JxlEncoderSetBasicInfo(encoder.get(), &info) != JXL_ENC_SUCCESS ||
      JxlEncoderSetColorEncoding(encoder.get(), &colour) != JXL_ENC_SUCCESS) {
    return false;
  }
  JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
  if (settings == nullptr) return false;
  const bool set = lossless ? JxlEncoderSetFrameLossless(settings, JXL_TRUE) == JXL_ENC_SUCCESS &&
                                  JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT,
                                                                   kLosslessEffort) == JXL_ENC_SUCCESS
                            : JxlEncoderSetFrameDistance(settings, 1.0F) == JXL_ENC_SUCCESS;
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
  if (JxlEncoderAddImageFrame(settings, &format, rgb.data(), rgb.size()) != JXL_ENC_SUCCESS) return false;
  JxlEncoderCloseInput(encoder.get());
  std::array<uint8_t, 1 << 16> chunk;
  for (;;) {
    uint8_t* next = chunk.data();
    std::size_t room = chunk.size();
    const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder.get(), &next, &room);
    const auto produced = static_cast<std::size_t>(next - chunk.data());
    if (std::fwrite(chunk.data(), 1, produced, out) != produced) return false;
    if (status == JXL_ENC_SUCCESS) return true;
    if (status != JXL_ENC_NEED_MORE_OUTPUT) return false;
  }
}

}  // namespace ravelle
