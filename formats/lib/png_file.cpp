#include "formats/lib/png_file.h"

#include <cmath>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include <libdeflate.h>
#include <png.h>
#include <zlib.h>

#include "image/output_file.h"
#include "image/dib_pixels.h"

namespace ravelle {
namespace {

// libpng reports errors through our error function, which must not return: it keeps the text
// and jumps back to the setjmp on png_jmpbuf in the function that made the library call. Only
// library frames lie between, and those functions keep nothing but plain data.
[[noreturn]] void OnPngError(png_structp png, png_const_charp text) {
  if (auto* diagnostics = static_cast<std::vector<std::string>*>(png_get_error_ptr(png))) {
    diagnostics->push_back(Format("libpng error: %s", text));
  }
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp png, png_const_charp text) {
  if (auto* diagnostics = static_cast<std::vector<std::string>*>(png_get_error_ptr(png))) {
    diagnostics->push_back(Format("libpng warning: %s", text));
  }
}

// The library takes a chunk's declared length in memory before it reads the chunk, so that a
// few hundred bytes could make it ask for gigabytes; no block of its own may pass the image limit.
png_voidp PngAllocate(png_structp, png_alloc_size_t size) { return size > kMaxDibBytes ? nullptr : std::malloc(size); }
void PngFree(png_structp, png_voidp block) { std::free(block); }

constexpr double kScreenGamma = 2.2;
constexpr double kDefaultFileGamma = 0.45;

// --- Reading -------------------------------------------------------------------------------

// Everything the library works with while reading; plain data, so that it survives a jump.
struct PngReader {
  png_structp png;
  png_infop info;
  std::FILE* file;
  png_uint_32 width;
  png_uint_32 height;
  int bitDepth;
  int colorType;
  int interlaceType;
  int passes;
  bool hasGamma;
  double fileGamma;
  png_color palette[PNG_MAX_PALETTE_LENGTH];  // as the file holds it
  int paletteSize;
  double paletteExponent;  // the gamma correction the palette still needs; 1 for none
};

bool ReadPngHeader(PngReader& r) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_init_io(r.png, r.file);
  png_set_sig_bytes(r.png, 0);
  png_read_info(r.png, r.info);
  png_get_IHDR(r.png, r.info, &r.width, &r.height, &r.bitDepth, &r.colorType, &r.interlaceType, nullptr, nullptr);
  return true;
}

bool HasAlpha(int colorType) { return colorType == PNG_COLOR_TYPE_GRAY_ALPHA || colorType == PNG_COLOR_TYPE_RGB_ALPHA; }
bool IsGrayType(int colorType) { return colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA; }

// The background, gamma, depth, order and interlace transformations, then the palette as they
// leave it (libpng corrects a palette's gamma in the palette itself).
bool SetPngTransformations(PngReader& r) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  // White: the gray level for gray files, red, green and blue for the others.
  // The palette is taken before the transformations: libpng corrects its gamma in place for
  // some files and not for others, so the correction is made here, always from the file's.
  png_colorp palette = nullptr;
  if (r.colorType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(r.png, r.info, &palette, &r.paletteSize) != 0) {
    r.paletteSize = std::clamp(r.paletteSize, 0, PNG_MAX_PALETTE_LENGTH);
    std::memcpy(r.palette, palette, sizeof(png_color) * static_cast<std::size_t>(r.paletteSize));
  }
  png_color_16 background{};
  if (IsGrayType(r.colorType)) {
    background.gray = 255;
  } else {
    background.red = background.green = background.blue = 255;
  }
  png_color_16p fileBackground = nullptr;
  if (png_get_bKGD(r.png, r.info, &fileBackground) != 0 && fileBackground != nullptr) {
    background.index = fileBackground->index;
    if (HasAlpha(r.colorType)) {
      // Asked to take the background in the file's own form, libpng reads a 16-bit file's
      // background as 16-bit samples, where 255 would be nearly black: white is 65535 there.
      if (r.bitDepth == 16) {
        background.red = static_cast<png_uint_16>(background.red * 257);
        background.green = static_cast<png_uint_16>(background.green * 257);
        background.blue = static_cast<png_uint_16>(background.blue * 257);
        background.gray = static_cast<png_uint_16>(background.gray * 257);
      }
      png_set_background(r.png, &background, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
    }
  } else if (HasAlpha(r.colorType)) {
    png_set_background(r.png, &background, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
  }

  int intent = 0;
  double gamma = 0;
  if (png_get_sRGB(r.png, r.info, &intent) != 0) {
    png_set_sRGB(r.png, r.info, intent);
  } else if (png_get_gAMA(r.png, r.info, &gamma) != 0) {
    r.hasGamma = true;
    r.fileGamma = gamma;
    // Gray files of 4 bits or fewer are taken as made for a standard screen: their levels are
    // few and meant as they stand.
    const bool fewGrays = IsGrayType(r.colorType) && r.bitDepth <= 4;
    png_set_gamma(r.png, kScreenGamma, fewGrays ? kDefaultFileGamma : gamma);
    // The palette gets the correction libpng gives samples, where it finds it significant
    // (more than 5% from 1).
    if (std::abs(gamma * kScreenGamma - 1.0) >= 0.05) r.paletteExponent = 1.0 / (gamma * kScreenGamma);
  } else {
    png_set_gamma(r.png, kScreenGamma, kDefaultFileGamma);
  }

  if (r.bitDepth == 16) png_set_strip_16(r.png);
  if (r.colorType == PNG_COLOR_TYPE_RGB || r.colorType == PNG_COLOR_TYPE_RGB_ALPHA) png_set_bgr(r.png);
  r.passes = png_set_interlace_handling(r.png);
  png_read_update_info(r.png, r.info);
  return true;
}

bool ReadPngRows(PngReader& r, PackedDib& dib) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  const int height = static_cast<int>(r.height);
  for (int pass = 0; pass < r.passes; ++pass) {
    // Each pass visits every row, top of the picture (the last row in memory) first; with
    // interlacing the library merges the pass's pixels into what the row holds.
    for (int y = 0; y < height; ++y) {
      png_bytep row = dib.Row(height - 1 - y).data();
      png_read_rows(r.png, &row, nullptr, 1);
    }
  }
  png_read_end(r.png, nullptr);
  return true;
}

// 2-bit samples are shown as 4-bit indices of the same value, two to a byte.
void ExpandTwoBitRows(PackedDib& dib, std::vector<uint8_t>& buffer) {
  const std::size_t packed = (static_cast<std::size_t>(dib.Width()) + 3) / 4;
  for (int y = dib.Height() - 1; y >= 0; --y) {
    uint8_t* row = dib.Row(y).data();
    std::memcpy(buffer.data(), row, packed);
    for (std::size_t i = 0; i < packed; ++i) {
      const uint8_t b = buffer[i];
      const auto nibbles = [](unsigned hi, unsigned lo) { return static_cast<uint8_t>((hi << 4) | lo); };
      row[2 * i] = nibbles((b >> 6) & 3, (b >> 4) & 3);
      if (2 * i + 1 < dib.Stride()) row[2 * i + 1] = nibbles((b >> 2) & 3, b & 3);
    }
    // Nothing of the last packed byte may stand beyond the width.
    const std::size_t used = (static_cast<std::size_t>(dib.Width()) + 1) / 2;
    if (dib.Width() % 2 != 0) row[used - 1] &= 0xF0;
    std::fill(row + used, row + dib.Stride(), 0);
  }
}

const char* ColorTypeName(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY: return "grayscale \n";
    case PNG_COLOR_TYPE_RGB: return "RGB truecolor \n";
    case PNG_COLOR_TYPE_PALETTE: return "RGB palette \n";
    case PNG_COLOR_TYPE_GRAY_ALPHA: return "grayscale; alpha channel \n";
    case PNG_COLOR_TYPE_RGB_ALPHA: return "RGB; alpha channel \n";
    default: return "unknown \n";
  }
}

const char* InterlaceName(int interlaceType) {
  switch (interlaceType) {
    case PNG_INTERLACE_NONE: return "none \n";
    case PNG_INTERLACE_ADAM7: return "adam7 \n";
    default: return "unknown \n";
  }
}

// The bitmap's depth for a file's bit depth and colour type, and the bytes libpng delivers for
// one row of it.
struct PngLayout {
  int bitCount;
  std::size_t rowBytes;
};

PngLayout LayoutFor(const PngReader& r) {
  const std::size_t w = r.width;
  if (r.colorType == PNG_COLOR_TYPE_RGB || r.colorType == PNG_COLOR_TYPE_RGB_ALPHA) return {24, 3 * w};
  switch (r.bitDepth) {
    case 1: return {1, (w + 7) / 8};
    case 2: return {4, (w + 3) / 4};
    case 4: return {4, (w + 1) / 2};
    default: return {8, w};
  }
}

void FillColorTable(const PngReader& r, PackedDib& dib) {
  auto table = dib.Colors();
  if (r.colorType == PNG_COLOR_TYPE_PALETTE) {
    const auto correct = [&](png_byte v) {
      if (r.paletteExponent == 1.0) return v;
      return static_cast<png_byte>(std::floor(255 * std::pow(v / 255.0, r.paletteExponent) + 0.5));
    };
    for (std::size_t i = 0; i < table.size() && i < static_cast<std::size_t>(r.paletteSize); ++i) {
      table[i] = {correct(r.palette[i].blue), correct(r.palette[i].green), correct(r.palette[i].red), 0};
    }
    return;
  }
  // Gray ramps: 2- and 4-bit levels sit in the middle of their steps (8, 72, 136, 200 and
  // 8, 24, ... 248), which is how the writer tells them from an even ramp.
  for (std::size_t i = 0; i < table.size(); ++i) {
    uint8_t level = 0;
    switch (r.bitDepth) {
      case 1: level = i == 0 ? 0 : 255; break;
      case 2: level = static_cast<uint8_t>(64 * i + 8); break;
      case 4: level = static_cast<uint8_t>(16 * i + 8); break;
      default: level = static_cast<uint8_t>(i); break;
    }
    table[i] = {level, level, level, 0};
  }
}

uint32_t TableSize(const PngReader& r, int bitCount) {
  if (bitCount == 24) return 0;
  if (r.colorType != PNG_COLOR_TYPE_PALETTE) return 1u << (r.bitDepth >= 8 ? 8 : r.bitDepth);
  const int cap = 1 << std::min(r.bitDepth, 8);
  return static_cast<uint32_t>(std::max(2, std::min(r.paletteSize, cap)));
}

// --- Writing -------------------------------------------------------------------------------

struct PngWriter {
  png_structp png;
  png_infop info;
};

// What the writer has decided about the file from the bitmap.
struct PngPlan {
  int bitDepth;
  int colorType;
  bool dropFourthByte;  // a 32-bit bitmap without alpha, written as RGB
};

// The row the library is handed for bitmap row `source`: for gray files the levels of the
// pixels' table entries, for 2-bit files the indices repacked, for 16-bit images blue, green and
// red; all other rows go to the library as they are.
const uint8_t* FileRow(const PackedDib& dib, const PngPlan& plan, std::span<const uint8_t> source,
                       std::vector<uint8_t>& buffer) {
  const int width = dib.Width();
  const int bits = dib.BitCount();
  const auto table = dib.Colors();
  const bool gray = plan.colorType == PNG_COLOR_TYPE_GRAY;
  const auto level = [&](int x) { return TableColor(table, PixelIndex(source, bits, x)).rgbRed; };
  if (bits == 16) {
    uint8_t* out = buffer.data();
    for (int x = 0; x < width; ++x, out += 3) {
      const unsigned v = source[2 * x] | (source[2 * x + 1] << 8);
      out[0] = static_cast<uint8_t>((v & 31) << 3);
      out[1] = static_cast<uint8_t>(((v >> 5) & 31) << 3);
      out[2] = static_cast<uint8_t>(((v >> 10) & 31) << 3);
    }
    return buffer.data();
  }
  if (!gray && plan.bitDepth != 2) return source.data();
  std::fill(buffer.begin(), buffer.end(), 0);
  for (int x = 0; x < width; ++x) {
    switch (plan.bitDepth) {
      case 1:
        if (level(x) != 0) buffer[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        break;
      case 2: {
        const unsigned sample = gray ? level(x) >> 6 : PixelIndex(source, bits, x) & 3;
        buffer[x / 4] |= static_cast<uint8_t>(sample << (6 - 2 * (x % 4)));
        break;
      }
      case 4:
        buffer[x / 2] |= static_cast<uint8_t>((level(x) >> 4) << (x % 2 == 0 ? 4 : 0));
        break;
      default:
        buffer[x] = level(x);
        break;
    }
  }
  return buffer.data();
}

// libpng writes the file into memory with its rows stored, not compressed; the stored zlib
// stream is then taken out of the IDAT chunks and compressed again with libdeflate, which is
// several times faster than zlib and gives smaller files. Everything else (the chunks, the
// interlace passes, each row's filter) is libpng's, so the pixels and filters are as before.
void AppendToMemory(png_structp png, png_bytep data, png_size_t length) {
  auto* file = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  try {
    file->insert(file->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    png_error(png, "out of memory");
  }
}

void FlushNothing(png_structp) {}

uint32_t LoadBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool WriteChunk(std::FILE* out, const char* type, const uint8_t* data, std::size_t length) {
  uint8_t head[8] = {static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
                     static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  std::memcpy(head + 4, type, 4);
  uLong crc = crc32(0, head + 4, 4);
  if (length > 0) crc = crc32_z(crc, data, length);
  const uint8_t tail[4] = {static_cast<uint8_t>(crc >> 24), static_cast<uint8_t>(crc >> 16),
                           static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)};
  return std::fwrite(head, 1, 8, out) == 8 && (length == 0 || std::fwrite(data, 1, length, out) == length) &&
         std::fwrite(tail, 1, 4, out) == 4;
}

// The level libdeflate compresses at: on a photograph, files a tenth smaller than zlib's default
// level gives, in a seventh of the time.
constexpr int kDeflateLevel = 4;
constexpr std::size_t kIdatBytes = std::size_t{1} << 20;

// Writes the PNG held in `file` (rows stored) to `out` with its IDAT data compressed.
bool CompressIdat(const std::vector<uint8_t>& file, std::FILE* out) {
  constexpr std::size_t kSignature = 8;
  if (file.size() < kSignature || std::fwrite(file.data(), 1, kSignature, out) != kSignature) return false;
  // The chunks before the first IDAT go out as they are; the IDAT data is gathered.
  std::vector<uint8_t> stored;
  std::size_t p = kSignature;
  std::size_t rest = 0;
  bool inIdat = false;
  while (p + 12 <= file.size()) {
    const std::size_t length = LoadBe32(&file[p]);
    if (length > file.size() - p - 12) return false;
    const bool idat = std::memcmp(&file[p + 4], "IDAT", 4) == 0;
    if (idat) {
      stored.insert(stored.end(), file.begin() + static_cast<std::ptrdiff_t>(p + 8),
                    file.begin() + static_cast<std::ptrdiff_t>(p + 8 + length));
      inIdat = true;
    } else if (inIdat) {
      rest = p;
      break;
    } else if (std::fwrite(&file[p], 1, length + 12, out) != length + 12) {
      return false;
    }
    p += length + 12;
  }
  if (!inIdat || rest == 0) return false;
  // The filtered rows: the stored stream inflated.
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  std::vector<uint8_t> rows;
  std::vector<uint8_t> piece(std::size_t{1} << 20);
  z.next_in = stored.data();
  z.avail_in = static_cast<uInt>(stored.size());
  int status = Z_OK;
  while (status == Z_OK) {
    z.next_out = piece.data();
    z.avail_out = static_cast<uInt>(piece.size());
    status = inflate(&z, Z_NO_FLUSH);
    rows.insert(rows.end(), piece.data(), piece.data() + (piece.size() - z.avail_out));
  }
  inflateEnd(&z);
  if (status != Z_STREAM_END) return false;
  std::vector<uint8_t>().swap(stored);

  libdeflate_compressor* compressor = libdeflate_alloc_compressor(kDeflateLevel);
  if (compressor == nullptr) return false;
  std::vector<uint8_t> compressed(libdeflate_zlib_compress_bound(compressor, rows.size()));
  const std::size_t size = libdeflate_zlib_compress(compressor, rows.data(), rows.size(), compressed.data(), compressed.size());
  libdeflate_free_compressor(compressor);
  if (size == 0) return false;
  for (std::size_t at = 0; at < size; at += kIdatBytes) {
    if (!WriteChunk(out, "IDAT", compressed.data() + at, std::min(kIdatBytes, size - at))) return false;
  }
  const std::size_t tail = file.size() - rest;
  return std::fwrite(&file[rest], 1, tail, out) == tail;
}

bool EncodePng(PngWriter& w, std::vector<uint8_t>* out, const PackedDib& dib, const PngPlan& plan, bool adam7,
               const png_color* palette, int paletteSize, std::span<png_text> text, std::vector<uint8_t>& buffer) {
  if (setjmp(png_jmpbuf(w.png))) return false;
  png_set_write_fn(w.png, out, AppendToMemory, FlushNothing);
  png_set_compression_level(w.png, 0);
  const auto width = static_cast<png_uint_32>(dib.Width());
  const auto height = static_cast<png_uint_32>(dib.Height());
  png_set_IHDR(w.png, w.info, width, height, plan.bitDepth, plan.colorType,
               adam7 ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (plan.colorType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(w.png, w.info, palette, paletteSize);
  png_set_gAMA(w.png, w.info, kDefaultFileGamma);
  if (!text.empty()) png_set_text(w.png, w.info, text.data(), static_cast<int>(text.size()));
  png_write_info(w.png, w.info);
  png_set_bgr(w.png);
  if (plan.dropFourthByte) png_set_filler(w.png, 0, PNG_FILLER_AFTER);
  const int passes = adam7 ? png_set_interlace_handling(w.png) : 1;
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = static_cast<int>(height) - 1; y >= 0; --y) {
      png_bytep row = const_cast<png_bytep>(FileRow(dib, plan, dib.Row(y), buffer));
      png_write_rows(w.png, &row, 1);
    }
  }
  png_write_end(w.png, nullptr);
  return true;
}

bool AnyFourthByte(const PackedDib& dib) {
  for (int y = 0; y < dib.Height(); ++y) {
    const auto row = dib.Row(y);
    for (int x = 0; x < dib.Width(); ++x) {
      if (row[4 * static_cast<std::size_t>(x) + 3] != 0) return true;
    }
  }
  return false;
}

// `entries` is how many the palette needs for the indices the pixels use.
PngPlan PlanPng(const PackedDib& dib, std::span<const RgbQuad> table, std::size_t entries) {
  const int bits = dib.BitCount();
  const std::size_t n = table.size();
  PngPlan plan{bits == 1 ? 1 : bits == 4 ? 4 : 8, PNG_COLOR_TYPE_PALETTE, false};
  if ((n == 3 || n == 4) && entries <= 4) plan.bitDepth = 2;
  const bool gray = IsGrayTable(table);
  const auto red = [&](std::size_t i) { return static_cast<int>(table[i].rgbRed); };
  const auto steps = [&](std::size_t pairs, int step) { return GrayStepsBy(table, pairs, step); };
  const bool gray1 = bits == 1 && gray && n >= 2 &&
                     ((red(0) == 0 && red(1) == 255) || (red(0) == 255 && red(1) == 0));
  const bool gray2 = bits == 4 && gray && n >= 4 && steps(3, 64);
  const bool gray4 = bits == 4 && gray && n == 16 && !gray2 && steps(15, 16);
  if (gray2) plan.bitDepth = 2;
  if ((plan.bitDepth == 1 && gray1) || (plan.bitDepth == 2 && gray2) || (plan.bitDepth == 4 && gray4) ||
      (plan.bitDepth == 8 && bits == 8 && gray)) {
    plan.colorType = PNG_COLOR_TYPE_GRAY;
  } else if (n > 0) {
    plan.colorType = PNG_COLOR_TYPE_PALETTE;
  } else if (bits == 32 && AnyFourthByte(dib)) {
    plan.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  } else {
    // A 32-bit bitmap whose fourth bytes are all 0 has no alpha to keep: written as alpha,
    // every pixel would be transparent.
    plan.colorType = PNG_COLOR_TYPE_RGB;
    plan.dropFourthByte = bits == 32;
  }
  return plan;
}

}  // namespace

ReadResult ReadPngImage(const std::string& path, int /*displayDepth*/) {
  ReadResult result;
  PngReader r{};
  r.paletteExponent = 1.0;
  r.file = std::fopen(path.c_str(), "rb");
  if (r.file == nullptr) return result;
  r.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &result.diagnostics, OnPngError, OnPngWarning, nullptr,
                                   PngAllocate, PngFree);
  if (r.png != nullptr) {
    // Ancillary chunks (profiles, compressed text) are held to the library's usual bound, or to
    // the image limit where that is lower.
    png_set_chunk_malloc_max(r.png, std::min<png_alloc_size_t>(kMaxDibBytes, 8000000));
    r.info = png_create_info_struct(r.png);
  }
  const auto finish = [&] {
    png_destroy_read_struct(r.png != nullptr ? &r.png : nullptr, r.info != nullptr ? &r.info : nullptr, nullptr);
    std::fclose(r.file);
  };
  if (r.png == nullptr || r.info == nullptr || !ReadPngHeader(r)) {
    finish();
    return result;
  }
  result.frame = FrameSize{r.width, r.height};
  result.infoText = Format("image type: PNG \nwidth: %ld \nheight: %ld \nbit depth: %d \ncolor type: ",
                           static_cast<long>(r.width), static_cast<long>(r.height), r.bitDepth);
  result.infoText += ColorTypeName(r.colorType);
  result.infoText += "interlace type: ";
  result.infoText += InterlaceName(r.interlaceType);
  if (!SetPngTransformations(r)) {
    finish();
    return result;
  }
  if (r.hasGamma) result.infoText += Format("image gamma: %.2f ", r.fileGamma);

  const PngLayout layout = LayoutFor(r);
  if (png_get_rowbytes(r.png, r.info) != layout.rowBytes) {
    result.diagnostics.push_back("unexpected row layout after transformations");
    finish();
    return result;
  }
  PackedDib dib = CreateDib(static_cast<int>(std::min<png_uint_32>(r.width, 0x7FFFFFFF)),
                            static_cast<int>(std::min<png_uint_32>(r.height, 0x7FFFFFFF)), layout.bitCount,
                            TableSize(r, layout.bitCount));
  std::vector<uint8_t> twoBitRow;
  if (dib && r.bitDepth == 2) twoBitRow.resize(std::max<std::size_t>(r.width / 4 + 1, 8));
  if (!dib) {
    result.Fail(NoBlockStatus(r.width, r.height, layout.bitCount, TableSize(r, layout.bitCount)), kMemoryAllocationError);
    finish();
    return result;
  }
  dib.Header().biSizeImage = 0;
  FillColorTable(r, dib);
  const bool decoded = ReadPngRows(r, dib);
  finish();
  if (!decoded) return result;
  if (r.bitDepth == 2) ExpandTwoBitRows(dib, twoBitRow);
  result.dib = std::move(dib);
  return result;
}

bool WritePngImage(const std::filesystem::path& path, const PackedDib& dib, bool adam7, std::span<const PngText> text) {
  if (!dib) return false;
  const int bits = dib.BitCount();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (dib.Width() <= 0 || dib.Height() <= 0) return false;
  const std::span<const RgbQuad> table = bits <= 8 ? dib.Colors() : std::span<const RgbQuad>();
  const std::size_t needed = EntriesForIndices(dib);
  const PngPlan plan = PlanPng(dib, table, needed);

  // A palette holds no more entries than the bit depth can index, and one for every index the
  // pixels use: those past the table are black, as they are shown.
  std::vector<png_color> palette;
  if (plan.colorType == PNG_COLOR_TYPE_PALETTE) {
    const std::size_t entries = std::min<std::size_t>(needed, std::size_t{1} << plan.bitDepth);
    for (std::size_t i = 0; i < entries; ++i) {
      const RgbQuad c = TableColor(table, static_cast<unsigned>(i));
      palette.push_back({c.rgbRed, c.rgbGreen, c.rgbBlue});
    }
  }
  std::vector<uint8_t> buffer(static_cast<std::size_t>(dib.Width()) * 3 + 8);

  std::vector<png_text> chunks(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    chunks[i].compression = PNG_TEXT_COMPRESSION_NONE;
    chunks[i].key = const_cast<char*>(text[i].key.c_str());
    chunks[i].text = const_cast<char*>(text[i].value.c_str());
  }

  auto output = OutputFile::Create(path);
  if (!output) return false;
  std::vector<std::string> ignored;
  PngWriter w{};
  w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &ignored, OnPngError, OnPngWarning);
  if (w.png != nullptr) w.info = png_create_info_struct(w.png);
  std::vector<uint8_t> file;
  const bool encoded = w.png != nullptr && w.info != nullptr &&
                       EncodePng(w, &file, dib, plan, adam7, palette.data(), static_cast<int>(palette.size()), chunks, buffer);
  png_destroy_write_struct(w.png != nullptr ? &w.png : nullptr, w.info != nullptr ? &w.info : nullptr);
  bool written = false;
  try {
    written = encoded && CompressIdat(file, output->Stream());
  } catch (const std::bad_alloc&) {
    written = false;
  }
  return written && output->Commit();
}

}  // namespace ravelle
