#pragma once
// libavif, libheif and libjxl, opened on the first file that needs one. Linked into the programs,
// they and the codecs they bring (HEVC and AV1 both ways, Brotli, colour management) would cost
// every start of every program about 4.5 MB of mapped and relocated pages: 6% of a 24-megapixel
// picture, on every file read.
//
// Each reader and writer of these formats calls the library through its table, and reads or
// writes nothing (ReadStatus::NoReader, or false) when the table is null.

#include <avif/avif.h>
#include <jxl/decode.h>
#include <jxl/encode.h>
#include <jxl/thread_parallel_runner.h>
#include <libheif/heif.h>

#include "formats/common/read_result.h"

namespace ravelle {

#define RAVELLE_HEIF_CALLS(X)                                                                              \
  X(heif_context_alloc) X(heif_context_free) X(heif_context_get_number_of_top_level_images)                \
  X(heif_context_get_primary_image_handle) X(heif_context_read_from_memory_without_copy)                   \
  X(heif_context_set_max_decoding_threads) X(heif_context_set_maximum_image_size_limit) X(heif_decode_image) \
  X(heif_decoding_options_alloc) X(heif_decoding_options_free) X(heif_image_get_bits_per_pixel_range)      \
  X(heif_image_get_height) X(heif_image_get_plane_readonly) X(heif_image_get_width)                        \
  X(heif_image_handle_get_height) X(heif_image_handle_get_luma_bits_per_pixel) X(heif_image_handle_get_width) \
  X(heif_image_handle_has_alpha_channel) X(heif_image_handle_release) X(heif_image_release)

#define RAVELLE_AVIF_CALLS(X)                                                                                \
  X(avifDecoderCreate) X(avifDecoderDestroy) X(avifDecoderNextImage) X(avifDecoderNthImage) X(avifDecoderParse) \
  X(avifDecoderSetIOMemory) X(avifImageYUVToRGB) X(avifRGBImageSetDefaults) X(avifResultToString)            \
  X(avifEncoderCreate) X(avifEncoderDestroy) X(avifEncoderWrite) X(avifImageCreate) X(avifImageDestroy)      \
  X(avifImageRGBToYUV) X(avifRGBImageAllocatePixels) X(avifRGBImageFreePixels) X(avifRWDataFree)

#define RAVELLE_JXL_CALLS(X)                                                                                   \
  X(JxlDecoderCreate) X(JxlDecoderDestroy) X(JxlDecoderCloseInput) X(JxlDecoderFlushImage)                     \
  X(JxlDecoderGetBasicInfo) X(JxlDecoderGetFrameHeader) X(JxlDecoderImageOutBufferSize) X(JxlDecoderProcessInput) \
  X(JxlDecoderReset) X(JxlDecoderSetCoalescing) X(JxlDecoderSetImageOutBuffer) X(JxlDecoderSetInput)           \
  X(JxlDecoderSetKeepOrientation) X(JxlDecoderSetParallelRunner) X(JxlDecoderSetUnpremultiplyAlpha)            \
  X(JxlDecoderSubscribeEvents) X(JxlSignatureCheck) X(JxlColorEncodingSetToSRGB) X(JxlEncoderAddImageFrame) X(JxlEncoderCloseInput) \
  X(JxlEncoderCreate) X(JxlEncoderDestroy) X(JxlEncoderFrameSettingsCreate) X(JxlEncoderFrameSettingsSetOption) \
  X(JxlEncoderInitBasicInfo) X(JxlEncoderProcessOutput) X(JxlEncoderSetBasicInfo) X(JxlEncoderSetColorEncoding) \
  X(JxlEncoderSetFrameDistance) X(JxlEncoderSetFrameLossless) X(JxlEncoderSetParallelRunner)

// libjxl's thread pool is a library of its own.
#define RAVELLE_JXL_THREADS_CALLS(X) \
  X(JxlThreadParallelRunner) X(JxlThreadParallelRunnerCreate) X(JxlThreadParallelRunnerDestroy)

#define RAVELLE_CALL_POINTER(name) decltype(&::name) name = nullptr;
struct HeifCalls {
  RAVELLE_HEIF_CALLS(RAVELLE_CALL_POINTER)
};
struct AvifCalls {
  RAVELLE_AVIF_CALLS(RAVELLE_CALL_POINTER)
};
struct JxlCalls {
  RAVELLE_JXL_CALLS(RAVELLE_CALL_POINTER)
  RAVELLE_JXL_THREADS_CALLS(RAVELLE_CALL_POINTER)
};
#undef RAVELLE_CALL_POINTER

// The library's table, opened on the first call; null when it is not installed or lacks a call.
const HeifCalls* Heif();
const AvifCalls* Avif();
const JxlCalls* Jxl();

// What a read whose library cannot be opened gives: no reader for the file.
ReadResult NoLibrary(const char* library);

}  // namespace ravelle
