#include "formats/lib/jpeg_file.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "formats/common/exif.h"
#include "image/output_file.h"
#include "image/dib_pixels.h"
#include "tools/transform.h"

namespace ravelle {
namespace {

// libjpeg reports errors through error_exit, which must not return. Ours lets the library
// format its message into `diagnostics` and jumps back to the setjmp in the function that made
// the library call; only library frames lie between, and the functions that call setjmp keep
// nothing but plain data, so nothing is left half-destroyed by the jump.
struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf recovery;
  std::vector<std::string>* diagnostics;
};

void OutputJpegMessage(j_common_ptr info) {
  char text[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, text);
  auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
  if (manager->diagnostics != nullptr) manager->diagnostics->push_back(text);
}

[[noreturn]] void ExitOnJpegError(j_common_ptr info) {
  (*info->err->output_message)(info);
  std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->recovery, 1);
}

void InstallErrorManager(JpegErrorManager& manager, std::vector<std::string>* diagnostics) {
  jpeg_std_error(&manager.pub);
  manager.pub.error_exit = ExitOnJpegError;
  manager.pub.output_message = OutputJpegMessage;
  manager.diagnostics = diagnostics;
}

// A progressive file may hold any number of scans, each of which makes the library go over the
// whole image again; a file with thousands of tiny scans would keep the reader busy for ages.
// Real encoders write about ten.
constexpr int kMaxScans = 500;

void LimitScans(j_common_ptr info) {
  auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
  if (decompress->input_scan_number <= kMaxScans) return;
  auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
  if (manager->diagnostics != nullptr) manager->diagnostics->push_back("too many progressive scans");
  std::longjmp(manager->recovery, 1);
}

// --- Reading -------------------------------------------------------------------------------

// One component's coefficient blocks, for a file of several scans: every block row, which lie
// in the picture's memory or in the overflow block (see PlaceCoefficients).
struct CoefficientArray {
  JBLOCKROW* rows;
  JDIMENSION rowCount;
  JDIMENSION blocksPerRow;
  CoefficientArray* next;
};

// Everything the library works with while reading; plain data, so that it survives a jump.
struct JpegReader {
  jpeg_decompress_struct info;
  JpegErrorManager error;
  jpeg_progress_mgr progress;
  std::FILE* file;
  // The first APP1 segment that is an Exif block, after its "Exif\0\0", in the library's pool.
  const uint8_t* exif;
  std::size_t exifSize;
  // The picture's pixels, which hold the coefficients of a file of several scans until the rows
  // decoded from them overwrite them; `coefficientsInPicture` once they are placed there.
  uint8_t* pixels;
  std::size_t pixelBytes;
  std::size_t stride;
  CoefficientArray* arrays;
  CoefficientArray** lastArray;
  void (*realizeLibraryArrays)(j_common_ptr);
  bool coefficientsInPicture;
};

// --- Coefficients in the picture -------------------------------------------------------------
//
// A file of several scans (progressive, or sequential with its components in separate scans)
// is decoded by the library into coefficient arrays for the whole picture, which are then turned
// into rows: two bytes for each sample of each component, as much as the 24-bit picture itself
// for the common 2x2-subsampled colour file. The library asks for those arrays through its
// memory manager, so ours gives them the picture's own memory, laid out so that no row is
// written over coefficients still to be read:
//
// - The coefficients of iMCU row j (the blocks that make one band of output rows, every
//   component's) take `step` bytes, at least the band's pixel bytes, starting `j * step` bytes
//   below the end of the pixels and growing down. The first band of output rows is the top of the
//   picture, the last rows of the bitmap, so band m's pixels only ever cover coefficients of
//   bands up to m. What does not fit (an image whose coefficients are larger than its pixels: one
//   component, no subsampling, DCT scaling) goes to an overflow block of the library's pool.
// - Turning band k into rows reads the coefficients of bands k-2 to k+2 (block smoothing of an
//   incomplete file), so rows reach the picture through a ring of four bands: a row is written
//   when the library has delivered the rows of four further bands.
//
// The picture's memory is all zero when this starts, as the library asks of these arrays.

constexpr std::size_t kBlockAlign = 32;  // the library's SIMD code reads whole blocks

jvirt_barray_ptr RequestCoefficients(j_common_ptr common, int /*pool*/, boolean /*zero*/, JDIMENSION blocksPerRow,
                                     JDIMENSION rowCount, JDIMENSION /*maxAccess*/) {
  auto& r = *static_cast<JpegReader*>(common->client_data);
  auto* array =
      static_cast<CoefficientArray*>((*common->mem->alloc_small)(common, JPOOL_IMAGE, sizeof(CoefficientArray)));
  *array = {nullptr, rowCount, blocksPerRow, nullptr};
  *r.lastArray = array;
  r.lastArray = &array->next;
  return reinterpret_cast<jvirt_barray_ptr>(array);
}

JBLOCKARRAY AccessCoefficients(j_common_ptr common, jvirt_barray_ptr pointer, JDIMENSION firstRow, JDIMENSION count,
                               boolean /*writable*/) {
  auto* array = reinterpret_cast<CoefficientArray*>(pointer);
  if (array->rows == nullptr || firstRow > array->rowCount || count > array->rowCount - firstRow) {
    ERREXIT(common, JERR_BAD_VIRTUAL_ACCESS);
  }
  return array->rows + firstRow;
}

// Sets every array's row pointers: into the picture where the layout above allows, the rest into
// one overflow block.
void PlaceCoefficients(j_common_ptr common) {
  auto& r = *static_cast<JpegReader*>(common->client_data);
  (*r.realizeLibraryArrays)(common);  // the library's own arrays of samples, if any
  if (r.arrays == nullptr) return;
  const j_decompress_ptr info = &r.info;
  const std::size_t bands = info->total_iMCU_rows;
  std::size_t bandBytes = 0;  // every component's block rows of one band
  for (auto* a = r.arrays; a != nullptr; a = a->next) {
    a->rows =
        static_cast<JBLOCKROW*>((*common->mem->alloc_small)(common, JPOOL_IMAGE, a->rowCount * sizeof(JBLOCKROW)));
    bandBytes += (a->rowCount + bands - 1) / bands * a->blocksPerRow * sizeof(JBLOCK);
  }
  const std::size_t bandPixels = static_cast<std::size_t>(info->max_v_samp_factor) *
                                 static_cast<std::size_t>(info->min_DCT_scaled_size) * r.stride;
  const std::size_t step = (std::max(bandBytes, bandPixels) + kBlockAlign - 1) / kBlockAlign * kBlockAlign;
  const auto top = reinterpret_cast<std::uintptr_t>(r.pixels + r.pixelBytes) / kBlockAlign * kBlockAlign;
  const auto bottom = reinterpret_cast<std::uintptr_t>(r.pixels);
  const std::size_t room = top > bottom ? top - bottom : 0;
  // Two passes: the first measures the overflow, the second places the rows.
  uint8_t* overflow = nullptr;
  std::size_t overflowBytes = 0;
  for (int pass = 0; pass < 2; ++pass) {
    std::size_t used = 0, offsetInBand = 0;
    for (auto* a = r.arrays; a != nullptr; a = a->next) {
      const std::size_t rowBytes = a->blocksPerRow * sizeof(JBLOCK);
      const std::size_t perBand = (a->rowCount + bands - 1) / bands;
      for (JDIMENSION row = 0; row < a->rowCount; ++row) {
        const std::size_t offset = row / perBand * step + offsetInBand + row % perBand * rowBytes;
        if (offset + rowBytes <= room) {
          if (pass == 1) a->rows[row] = reinterpret_cast<JBLOCKROW>(top - offset - rowBytes);
        } else {
          if (pass == 1) a->rows[row] = reinterpret_cast<JBLOCKROW>(overflow + used);
          used += rowBytes;
        }
      }
      offsetInBand += perBand * rowBytes;
    }
    if (pass == 1) break;
    overflowBytes = used;
    if (overflowBytes > kMaxDibBytes) ERREXIT(common, JERR_OUT_OF_MEMORY);
    if (overflowBytes > 0) {
      auto* block =
          static_cast<uint8_t*>((*common->mem->alloc_large)(common, JPOOL_IMAGE, overflowBytes + kBlockAlign));
      overflow = block + (kBlockAlign - reinterpret_cast<std::uintptr_t>(block) % kBlockAlign) % kBlockAlign;
      std::memset(overflow, 0, overflowBytes);
    }
  }
  r.coefficientsInPicture = true;
}

void KeepCoefficientsInPicture(JpegReader& r, PackedDib& dib) {
  r.pixels = dib.Row(0).data();
  r.stride = dib.Stride();
  r.pixelBytes = r.stride * static_cast<std::size_t>(dib.Height());
  r.lastArray = &r.arrays;
  r.realizeLibraryArrays = r.info.mem->realize_virt_arrays;
  r.info.mem->request_virt_barray = RequestCoefficients;
  r.info.mem->realize_virt_arrays = PlaceCoefficients;
  r.info.mem->access_virt_barray = AccessCoefficients;
}

// The APP1 processor: keeps the first Exif block and skips every other APP1 segment (XMP, a
// second Exif block) unread, so that a file of many segments costs no more than one. The
// stdio source never suspends; at the end of the file it gives an end-of-image marker.
boolean KeepExif(j_decompress_ptr info) {
  auto& r = *static_cast<JpegReader*>(info->client_data);
  jpeg_source_mgr& source = *info->src;
  const auto next = [&]() -> int {
    if (source.bytes_in_buffer == 0 && (*source.fill_input_buffer)(info) == FALSE) return -1;
    --source.bytes_in_buffer;
    return *source.next_input_byte++;
  };
  const int high = next(), low = next();
  if (high < 0 || low < 0) return TRUE;
  long length = (high << 8 | low) - 2;
  constexpr uint8_t kPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};
  bool exif = length >= 6 && r.exif == nullptr;
  for (int i = 0; exif && i < 6; ++i, --length) exif = next() == kPrefix[i];
  if (exif && length > 0) {
    auto* block = static_cast<uint8_t*>(
        (*info->mem->alloc_small)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE, static_cast<std::size_t>(length)));
    for (long i = 0; i < length; ++i) {
      const int byte = next();
      if (byte < 0) return TRUE;
      block[i] = static_cast<uint8_t>(byte);
    }
    r.exif = block;
    r.exifSize = static_cast<std::size_t>(length);
    return TRUE;
  }
  if (length > 0) (*source.skip_input_data)(info, length);
  return TRUE;
}

bool ReadJpegHeader(JpegReader& r) {
  if (setjmp(r.error.recovery)) return false;
  jpeg_create_decompress(&r.info);
  // The library's own working memory (the coefficients of a progressive image) is held to the
  // limit of an image, so that a small file cannot make it take gigabytes.
  r.info.mem->max_memory_to_use = static_cast<long>(kMaxDibBytes);
  r.progress.progress_monitor = LimitScans;
  r.info.progress = &r.progress;
  r.info.client_data = &r;
  jpeg_set_marker_processor(&r.info, JPEG_APP0 + 1, KeepExif);
  jpeg_stdio_src(&r.info, r.file);
  jpeg_read_header(&r.info, TRUE);
  return true;
}

bool IsProgressive(JpegReader& r) {
  if (setjmp(r.error.recovery)) return false;
  return jpeg_has_multiple_scans(&r.info) != FALSE;
}

// Samples per pixel the library will deliver at its default output colour space.
int OutputComponents(const jpeg_decompress_struct& info) {
  switch (info.out_color_space) {
    case JCS_GRAYSCALE: return 1;
    case JCS_RGB: case JCS_YCbCr: return 3;
    case JCS_CMYK: case JCS_YCCK: return 4;
    default: return info.num_components;
  }
}

// One delivered row of four-component samples turned into blue, green, red. Files with an
// Adobe marker (all Photoshop C/M/Y/K and every Y/Cb/Cr/K file) store the inks inverted, so a
// sample of 255 means no ink; the others store them as they are.
void CmykRowToBgr(const JSAMPLE* in, uint8_t* out, int width, bool inverted) {
  const auto mix = [](unsigned a, unsigned b) { return static_cast<uint8_t>((a * b + 127) / 255); };
  for (int x = 0; x < width; ++x, in += 4, out += 3) {
    unsigned c = in[0], m = in[1], y = in[2], k = in[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    out[0] = mix(y, k);
    out[1] = mix(m, k);
    out[2] = mix(c, k);
  }
}

bool DecodeJpegRows(JpegReader& r, PackedDib& dib, int components) {
  if (setjmp(r.error.recovery)) return false;
  // The library's default conversion, delivered in the bitmap's blue, green, red order.
  if (r.info.out_color_space == JCS_RGB) r.info.out_color_space = JCS_EXT_BGR;
  KeepCoefficientsInPicture(r, dib);
  jpeg_start_decompress(&r.info);
  if (static_cast<int>(r.info.output_components) != components ||
      static_cast<int>(r.info.output_width) != dib.Width() || static_cast<int>(r.info.output_height) != dib.Height()) {
    return false;
  }
  const int width = dib.Width();
  const int height = dib.Height();
  const bool inverted = r.info.saw_Adobe_marker != FALSE;
  const auto common = reinterpret_cast<j_common_ptr>(&r.info);
  // Gray and colour rows are read straight into the image; four-component rows go through a
  // row of the library's own pool, which it frees with the decompressor.
  JSAMPARRAY scratch = nullptr;
  if (components == 4) scratch = (*r.info.mem->alloc_sarray)(common, JPOOL_IMAGE, r.info.output_width * 4, 1);
  // With the coefficients in the picture, rows go through the ring of four bands (or of the
  // whole picture, when it is shorter).
  const std::size_t rowBytes = static_cast<std::size_t>(width) * (components == 1 ? 1 : 3);
  const JDIMENSION lag =
      r.coefficientsInPicture
          ? std::min(4 * static_cast<JDIMENSION>(r.info.max_v_samp_factor * r.info.min_DCT_scaled_size),
                     JDIMENSION(height))
          : 0;
  JSAMPARRAY ring = lag > 0 ? (*r.info.mem->alloc_sarray)(common, JPOOL_IMAGE, JDIMENSION(rowBytes), lag) : nullptr;
  while (r.info.output_scanline < r.info.output_height) {
    // The first row delivered is the top of the picture: the last row of the bitmap.
    const JDIMENSION scanline = r.info.output_scanline;
    uint8_t* row = dib.Row(height - 1 - static_cast<int>(scanline)).data();
    if (ring != nullptr) {
      row = ring[scanline % lag];
      if (scanline >= lag) std::memcpy(dib.Row(height - 1 - int(scanline - lag)).data(), row, rowBytes);
    }
    if (components == 4) {
      jpeg_read_scanlines(&r.info, scratch, 1);
      CmykRowToBgr(scratch[0], row, width, inverted);
    } else {
      JSAMPROW target = row;
      jpeg_read_scanlines(&r.info, &target, 1);
    }
  }
  if (ring != nullptr) {  // the last rows, before the library frees its pool
    for (JDIMENSION scanline = JDIMENSION(height) > lag ? JDIMENSION(height) - lag : 0; scanline < JDIMENSION(height);
         ++scanline) {
      std::memcpy(dib.Row(height - 1 - static_cast<int>(scanline)).data(), ring[scanline % lag], rowBytes);
    }
    ClearRowPadding(dib);  // coefficients stayed there
  }
  jpeg_finish_decompress(&r.info);
  return true;
}

const char* ColorSpaceName(J_COLOR_SPACE space) {
  switch (space) {
    case JCS_UNKNOWN: return "error/unspecified";
    case JCS_GRAYSCALE: return "monochrome";
    case JCS_RGB: return "red/green/blue";
    case JCS_YCbCr: return "Y/Cb/Cr";
    case JCS_CMYK: return "C/M/Y/K";
    case JCS_YCCK: return "Y/Cb/Cr/K";
    default: return "";
  }
}

// --- Writing -------------------------------------------------------------------------------

struct JpegWriter {
  jpeg_compress_struct info;
  JpegErrorManager error;
};

bool EncodeJpeg(JpegWriter& w, std::FILE* out, const PackedDib& dib, bool gray, int quality, bool progressive,
                uint8_t* buffer) {
  if (setjmp(w.error.recovery)) return false;
  jpeg_create_compress(&w.info);
  jpeg_stdio_dest(&w.info, out);
  w.info.image_width = static_cast<JDIMENSION>(dib.Width());
  w.info.image_height = static_cast<JDIMENSION>(dib.Height());
  // 24-bit rows go to the library as they are, in blue, green, red order; other depths are
  // converted a row at a time.
  const bool direct = !gray && dib.BitCount() == 24;
  w.info.input_components = gray ? 1 : 3;
  w.info.in_color_space = gray ? JCS_GRAYSCALE : direct ? JCS_EXT_BGR : JCS_RGB;
  jpeg_set_defaults(&w.info);
  jpeg_set_quality(&w.info, quality, TRUE);
  if (progressive) jpeg_simple_progression(&w.info);
  jpeg_start_compress(&w.info, TRUE);
  JSAMPROW row = buffer;
  // The top row of the picture first: the last row in the bitmap's memory.
  while (w.info.next_scanline < w.info.image_height) {
    const auto source = dib.Row(dib.Height() - 1 - static_cast<int>(w.info.next_scanline));
    if (direct) {
      JSAMPROW own = const_cast<uint8_t*>(source.data());
      jpeg_write_scanlines(&w.info, &own, 1);
      continue;
    }
    if (gray) {
      RowToGray(dib, source, buffer);
    } else {
      RowToRgb(dib, source, buffer);
    }
    jpeg_write_scanlines(&w.info, &row, 1);
  }
  jpeg_finish_compress(&w.info);
  return true;
}

}  // namespace

ReadResult ReadJpegImage(const std::string& path, int /*displayDepth*/, int fitSide) {
  ReadResult result;
  JpegReader r{};
  r.file = std::fopen(path.c_str(), "rb");
  if (r.file == nullptr) {
    result.diagnostics.push_back(Format("can't open %s", path.c_str()));
    return result;
  }
  InstallErrorManager(r.error, &result.diagnostics);
  r.info.err = &r.error.pub;

  const auto finish = [&] {
    jpeg_destroy_decompress(&r.info);
    std::fclose(r.file);
  };
  if (!ReadJpegHeader(r)) {
    finish();
    return result;
  }
  const int width = static_cast<int>(r.info.image_width);
  const int height = static_cast<int>(r.info.image_height);
  const int orientation = r.exif != nullptr ? ExifOrientation({r.exif, r.exifSize}) : 0;
  // The picture is shown upright: orientations 5 to 8 turn it a quarter.
  result.frame = orientation >= 5 ? FrameSize{height, width} : FrameSize{width, height};
  result.infoText = Format("image type: JPEG \nwidth: %d \nheight: %d \ncolor components: %d \ncolor space: ", width,
                           height, r.info.num_components);
  result.infoText += ColorSpaceName(r.info.jpeg_color_space);
  if (IsProgressive(r)) result.infoText += " \nprogressive file structure";
  if (orientation > 1) result.infoText += Format(" \norientation: %d (applied)", orientation);

  const int components = OutputComponents(r.info);
  if (components != 1 && components != 3 && components != 4) {
    result.diagnostics.push_back(Format("%d colour components are not supported", components));
    finish();
    return result;
  }
  // For a picture to be shown smaller: the library's DCT scaling, by the largest of 1/2, 1/4 and
  // 1/8 that still leaves the longer side at least fitSide (the library rounds sizes up).
  const int longer = std::max(width, height);
  unsigned denominator = 1;
  while (fitSide > 0 && denominator < 8 && (longer + 2 * denominator - 1) / (2 * denominator) >= unsigned(fitSide)) {
    denominator *= 2;
  }
  r.info.scale_num = 1;
  r.info.scale_denom = denominator;
  const auto scaled = [&](int side) { return static_cast<int>((unsigned(side) + denominator - 1) / denominator); };
  PackedDib dib = CreateDib(scaled(width), scaled(height), components == 1 ? 8 : 24, 0);
  if (!dib) {
    result.Fail(NoBlockStatus(width, height, components == 1 ? 8 : 24), kMemoryAllocationError);
    result.infoText = "no file selected";
    finish();
    return result;
  }
  dib.Header().biSizeImage = 0;
  if (components == 1) {
    auto table = dib.Colors();
    for (std::size_t i = 0; i < table.size(); ++i) {
      const auto level = static_cast<uint8_t>(i);
      table[i] = {level, level, level, 0};
    }
  }
  const bool decoded = DecodeJpegRows(r, dib, components);
  finish();
  if (!decoded) return result;
  int state = TiffOrientationToState(orientation);  // Exif shares the TIFF tag's values
  if (RestoreOrientation(dib, state) == TransformStatus::NoMemory) {
    result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
    return result;
  }
  result.dib = std::move(dib);
  return result;
}

bool WriteJpegImage(const std::filesystem::path& path, int quality, const PackedDib& dib, bool progressive) {
  if (!dib) return false;
  const int bits = dib.BitCount();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (dib.Width() <= 0 || dib.Height() <= 0) return false;
  const bool gray = bits <= 8 && IsGrayTable(dib.Colors());
  std::vector<uint8_t> buffer(static_cast<std::size_t>(dib.Width()) * 3);

  auto output = OutputFile::Create(path);
  if (!output) return false;
  JpegWriter w{};
  std::vector<std::string> ignored;
  InstallErrorManager(w.error, &ignored);
  w.info.err = &w.error.pub;
  const bool encoded = EncodeJpeg(w, output->Stream(), dib, gray, quality, progressive, buffer.data());
  jpeg_destroy_compress(&w.info);
  return encoded && output->Commit();
}

}  // namespace ravelle
