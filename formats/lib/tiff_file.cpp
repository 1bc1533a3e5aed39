#include "formats/lib/tiff_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <tiffio.h>

#include "image/output_file.h"
#include "image/dib_pixels.h"
#include "tools/transform.h"

namespace ravelle {
namespace {

// --- The library's messages ----------------------------------------------------------------

// libtiff shows nothing: its process-wide handlers are switched off, and each file gets
// handlers that keep the text for ravelle-cli --verbose.
int KeepTiffMessage(TIFF*, void* userData, const char* module, const char* format, va_list args) {
  if (auto* diagnostics = static_cast<std::vector<std::string>*>(userData)) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    diagnostics->push_back(module != nullptr ? Format("%s: %s", module, text) : std::string(text));
  }
  return 1;
}

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle OpenTiff(const std::string& path, const char* mode, std::vector<std::string>* diagnostics) {
  // The process-wide handlers are switched off once: files may be opened on several threads.
  static std::once_flag quiet;
  std::call_once(quiet, [] {
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
  });
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, KeepTiffMessage, diagnostics);
  TIFFOpenOptionsSetWarningHandlerExtR(options, KeepTiffMessage, diagnostics);
  // No single allocation of the library may be larger than an image may be.
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kMaxDibBytes));
  TiffHandle tif(TIFFOpenExt(path.c_str(), mode, options));
  TIFFOpenOptionsFree(options);
  return tif;
}

// A zeroed working buffer within the image size limit; empty when it cannot be had.
std::vector<uint8_t> WorkBuffer(int64_t bytes) {
  std::vector<uint8_t> buffer;
  if (bytes <= 0 || static_cast<uint64_t>(bytes) > kMaxDibBytes) return buffer;
  try {
    buffer.resize(static_cast<std::size_t>(bytes));
  } catch (const std::bad_alloc&) {
    buffer.clear();
  }
  return buffer;
}

// --- Reading: tags and the information text ------------------------------------------------

struct TiffTags {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t photometric = PHOTOMETRIC_MINISBLACK;
  uint16_t compression = COMPRESSION_NONE;
  uint16_t bits = 1;
  uint16_t samples = 1;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  uint16_t predictor = 1;
  uint16_t planar = PLANARCONFIG_CONTIG;
  uint16_t sampleFormat = SAMPLEFORMAT_UINT;
  bool tiled = false;
  uint32_t tileWidth = 0;
  uint32_t tileLength = 0;
  int64_t rowsPerStrip = -1;
};

TiffTags ReadTags(TIFF* tif) {
  TiffTags t;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &t.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &t.height);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &t.photometric);
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &t.compression);
  TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &t.bits);
  TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &t.samples);
  TIFFGetField(tif, TIFFTAG_ORIENTATION, &t.orientation);
  if (t.compression == COMPRESSION_LZW || t.compression == COMPRESSION_DEFLATE) {
    TIFFGetField(tif, TIFFTAG_PREDICTOR, &t.predictor);
  }
  TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &t.planar);
  TIFFGetField(tif, TIFFTAG_SAMPLEFORMAT, &t.sampleFormat);
  t.tiled = TIFFIsTiled(tif) != 0;
  if (t.tiled) {
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &t.tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &t.tileLength);
  } else {
    uint32_t rows = 0xFFFFFFFF;
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rows);
    // Taken as a signed 32-bit number, as the tag's "one strip" value 2^32 - 1 has always been.
    t.rowsPerStrip = static_cast<int32_t>(rows);
    if (t.rowsPerStrip < 1) {
      t.rowsPerStrip = t.height;
      if (t.height > 0) TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, t.height);
    }
  }
  return t;
}

const char* PhotometricName(uint16_t photometric) {
  switch (photometric) {
    case 0: return "min value is white";
    case 1: return "min value is black";
    case 2: return "RGB color model";
    case 3: return "color map indexed";
    case 4: return "holdout mask";
    case 5: return "CMYK";
    case 6: return "Y Cb Cr";
    case 8: return "1976 CIE L*a*b*";
    default: return "?";
  }
}

const char* CompressionName(uint16_t compression) {
  switch (compression) {
    case 1: return "none";
    case 2: return "CCITT modified Huffman RLE";
    case 3: return "CCITT Group 3 fax encoding";
    case 4: return "CCITT Group 4 fax encoding";
    case 5: return "Lempel-Ziv  & Welch";
    case 6: return "6.0 JPEG";
    case 7: return "JPEG DCT compression";
    case 32766: return "NeXT 2-bit RLE";
    case 32771: return "CCITT Group 1 w/ word alignment";
    case 32773: return "Macintosh RLE (Packbits)";
    case 32809: return "ThunderScan RLE";
    case 32908: return "Pixar companded 10bit LZW";
    case 32909: return "Pixar companded 11bit ZIP";
    case 32946: return "Deflate compression";
    case 32947: return "Kodak DCS encoding";
    case 34661: return "ISO JBIG";
    default: return "?";
  }
}

std::string TiffInfoText(const TiffTags& t) {
  std::string text = Format("file type: TIFF \nwidth: %ld \nheight: %ld \nphotometric interpretation: \n     ",
                            static_cast<long>(t.width), static_cast<long>(t.height));
  text += PhotometricName(t.photometric);
  text += " \ncompression: \n     ";
  text += CompressionName(t.compression);
  text += Format(" \nbits per sample: %d", t.bits);
  text += Format(" \nsamples per pixel: %d", t.samples);
  text += Format(" \norientation: %d", t.orientation);
  if (t.compression == 5 || t.compression == 32946) text += Format(" \ndifferencing predictor: %d", t.predictor);
  text += Format(" \nplanar configuration: %d", t.planar);
  if (t.tiled) {
    text += Format(" \ntile width: %ld \ntile height: %ld", static_cast<long>(t.tileWidth), static_cast<long>(t.tileLength));
  } else {
    const int64_t strips = t.rowsPerStrip > 0 ? (int64_t{t.height} + t.rowsPerStrip - 1) / t.rowsPerStrip : 0;
    text += Format(" \nrows per strip: %ld \nnumber of strips: %ld", static_cast<long>(t.rowsPerStrip),
                   static_cast<long>(strips));
  }
  return text;
}

// --- Reading: which form the image takes ---------------------------------------------------

// How samples become bitmap pixels on the direct path.
enum class Conversion {
  None,    // no direct form: the RGBA path is tried
  Copy,    // 1-, 4- and 8-bit indices or levels: the first sample of each pixel as it stands
  Gray16,  // 16-bit gray: the high byte of each sample
  Gray12,  // 12-bit gray: the high 8 bits of each sample
  Rgb,     // 8-bit red, green, blue (and a fourth sample for 32 bits)
  Cmyk,    // cyan, magenta, yellow, black: 8-bit samples, or the high bytes of 16-bit ones
  Lab,     // 8-bit CIE L*a*b* (L* unsigned, a* and b* signed)
};

enum class Table { None, Bilevel, Palette, Gray };

struct TiffForm {
  Conversion conversion = Conversion::None;
  int bitCount = 0;
  Table table = Table::None;
  int sampleBytes = 1;  // for Cmyk
};

bool IsGrayPhotometric(uint16_t photometric) {
  return photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
}

bool IsContiguousLab(const TiffTags& t) {
  return t.photometric == PHOTOMETRIC_CIELAB && t.bits == 8 && t.samples >= 3 && t.planar == PLANARCONFIG_CONTIG;
}

bool TakesRgbaPath(const TiffTags& t) {
  if (t.photometric == PHOTOMETRIC_CIELAB) return !IsContiguousLab(t);
  if (t.compression == COMPRESSION_JPEG) return false;
  switch (t.compression) {
    case 1: case 2: case 3: case 4: case 5: case 32766: case 32771: case 32773: case 32809: case 32946:
      return t.photometric == PHOTOMETRIC_YCBCR;
    default:
      return true;
  }
}

TiffForm DirectForm(const TiffTags& t) {
  const bool gray = IsGrayPhotometric(t.photometric);
  const bool palette = t.photometric == PHOTOMETRIC_PALETTE;
  if (t.bits == 1 && t.samples == 1 && gray) return {Conversion::Copy, 1, Table::Bilevel};
  if ((t.bits == 1 || t.bits == 4) && t.samples == 1 && palette) return {Conversion::Copy, t.bits, Table::Palette};
  if (t.bits == 8 && palette) return {Conversion::Copy, 8, Table::Palette};
  if (t.bits == 4 && t.samples == 1 && gray) return {Conversion::Copy, 4, Table::Gray};
  // 8-bit gray with extra samples shows its first sample, behind the gray table all the same.
  if (t.bits == 8 && gray) return {Conversion::Copy, 8, Table::Gray};
  if (t.bits == 16 && t.samples == 1 && gray) return {Conversion::Gray16, 8, Table::Gray};
  if (t.bits == 12 && t.samples == 1 && gray) return {Conversion::Gray12, 8, Table::Gray};
  if ((t.bits == 8 || t.bits == 16) && t.photometric == PHOTOMETRIC_SEPARATED && t.samples == 4) {
    return {Conversion::Cmyk, 24, Table::None, t.bits / 8};
  }
  if (IsContiguousLab(t)) return {Conversion::Lab, 24, Table::None};
  if (t.bits == 8 && (t.photometric == PHOTOMETRIC_RGB || t.compression == COMPRESSION_JPEG)) {
    if (t.samples == 3) return {Conversion::Rgb, 24, Table::None};
    if (t.samples == 4) return {Conversion::Rgb, 32, Table::None};
  }
  return {};
}

TiffForm RgbaForm(const TiffTags& t) {
  if (IsGrayPhotometric(t.photometric)) return {Conversion::None, 8, Table::Gray};
  return {Conversion::None, t.bits == 8 && t.samples == 4 ? 32 : 24, Table::None};
}

// Gray tables: bilevel and 4- and 8-bit levels, min-is-white ones reversed so that the samples
// can be copied as they are. 4-bit levels sit in the middle of their steps (8, 24, ... 248).
void FillGrayTable(std::span<RgbQuad> table, uint16_t photometric) {
  const std::size_t n = table.size();
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t step = photometric == PHOTOMETRIC_MINISWHITE ? n - 1 - i : i;
    uint8_t level = 0;
    if (n == 2) {
      level = step == 0 ? 0 : 255;
    } else if (n == 16) {
      level = static_cast<uint8_t>(16 * step + 8);
    } else {
      level = static_cast<uint8_t>(step);
    }
    table[i] = {level, level, level, 0};
  }
}

// A colour map holds 16-bit values; old writers stored 8-bit ones. When every value is below
// 256 the map is taken as 8-bit.
void FillPaletteTable(TIFF* tif, std::span<RgbQuad> table) {
  uint16_t* red = nullptr;
  uint16_t* green = nullptr;
  uint16_t* blue = nullptr;
  if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) == 0 || red == nullptr || green == nullptr ||
      blue == nullptr) {
    return;
  }
  bool wide = false;
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (red[i] >= 256 || green[i] >= 256 || blue[i] >= 256) wide = true;
  }
  const auto scale = [&](uint16_t v) { return static_cast<uint8_t>(wide ? v * 255u / 65535u : v & 0xFF); };
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = {scale(blue[i]), scale(green[i]), scale(red[i]), 0};
}

// --- Reading: the direct path --------------------------------------------------------------

// Sample `i` of a row as 8 bits: 16-bit samples (in the machine's order, as libtiff gives them)
// by their high byte.
unsigned Sample(const TiffForm& form, const uint8_t* in, std::size_t i) {
  if (form.sampleBytes == 1) return in[i];
  uint16_t v;
  std::memcpy(&v, in + 2 * i, 2);
  return v >> 8;
}

// One CIE L*a*b* pixel (L* 0 to 255 for 0 to 100, a* and b* signed) as blue, green, red. The
// values are relative to the D50 white; they go to XYZ, are adapted to D65 (Bradford) and become
// sRGB, rounded.
void LabToBgr(const uint8_t* lab, uint8_t* bgr) {
  constexpr double kWhite[3] = {0.9642, 1.0, 0.8249};
  // XYZ (D50) to linear sRGB: the Bradford adaptation to D65 and the sRGB primaries in one.
  constexpr double kToRgb[3][3] = {{3.1338561, -1.6168667, -0.4906146},
                                   {-0.9787684, 1.9161415, 0.0334540},
                                   {0.0719453, -0.2289914, 1.4052427}};
  const auto unbend = [](double f) {
    constexpr double delta = 6.0 / 29.0;
    return f > delta ? f * f * f : 3 * delta * delta * (f - 4.0 / 29.0);
  };
  const double fy = (lab[0] * 100.0 / 255.0 + 16) / 116;
  const double f[3] = {fy + static_cast<int8_t>(lab[1]) / 500.0, fy, fy - static_cast<int8_t>(lab[2]) / 200.0};
  double xyz[3];
  for (int i = 0; i < 3; ++i) xyz[i] = kWhite[i] * unbend(f[i]);
  for (int c = 0; c < 3; ++c) {
    double v = kToRgb[c][0] * xyz[0] + kToRgb[c][1] * xyz[1] + kToRgb[c][2] * xyz[2];
    v = std::clamp(v, 0.0, 1.0);
    v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    bgr[2 - c] = static_cast<uint8_t>(std::lround(v * 255));
  }
}

// Converts `count` pixels of one row of contiguous samples (`group` bytes per pixel for 8-bit
// samples) into bitmap row `out`, starting at pixel `x0`.
void ConvertSamples(const TiffForm& form, const uint8_t* in, std::size_t group, uint8_t* out, uint32_t x0,
                    uint32_t count) {
  switch (form.conversion) {
    case Conversion::Copy:
      if (form.bitCount == 8) {
        for (uint32_t x = 0; x < count; ++x) out[x0 + x] = in[x * group];
      } else if ((static_cast<uint64_t>(x0) * form.bitCount) % 8 == 0) {
        std::memcpy(out + static_cast<uint64_t>(x0) * form.bitCount / 8, in, (uint64_t{count} * form.bitCount + 7) / 8);
      } else {
        // A tile whose width is not a whole number of bytes: pixel by pixel.
        const std::span<const uint8_t> source(in, (uint64_t{count} * form.bitCount + 7) / 8);
        for (uint32_t x = 0; x < count; ++x) {
          const unsigned v = PixelIndex(source, form.bitCount, static_cast<int>(x));
          const uint32_t at = x0 + x;
          if (form.bitCount == 1) {
            out[at / 8] = static_cast<uint8_t>((out[at / 8] & ~(0x80 >> (at % 8))) | (v << (7 - at % 8)));
          } else {
            const int shift = at % 2 == 0 ? 4 : 0;
            out[at / 2] = static_cast<uint8_t>((out[at / 2] & ~(0x0F << shift)) | (v << shift));
          }
        }
      }
      break;
    case Conversion::Gray16:
      for (uint32_t x = 0; x < count; ++x) {
        uint16_t v;
        std::memcpy(&v, in + 2 * x * group, 2);
        out[x0 + x] = static_cast<uint8_t>(v >> 8);
      }
      break;
    case Conversion::Rgb: {
      const std::size_t step = form.bitCount / 8;
      uint8_t* p = out + std::size_t{x0} * step;
      for (uint32_t x = 0; x < count; ++x, in += group, p += step) {
        p[0] = in[2];
        p[1] = in[1];
        p[2] = in[0];
        if (step == 4) p[3] = in[3];
      }
      break;
    }
    case Conversion::Gray12:
      // Two samples in three bytes, the first sample's high bits first.
      for (uint32_t x = 0; x < count; ++x) {
        const uint8_t* s = in + std::size_t{x} * 3 / 2;
        out[x0 + x] = x % 2 == 0 ? s[0] : static_cast<uint8_t>((s[0] << 4) | (s[1] >> 4));
      }
      break;
    case Conversion::Cmyk: {
      uint8_t* p = out + std::size_t{x0} * 3;
      for (uint32_t x = 0; x < count; ++x, p += 3) {
        const std::size_t at = std::size_t{x} * group;
        const unsigned k = 255u - Sample(form, in, at + 3);
        p[0] = static_cast<uint8_t>((255u - Sample(form, in, at + 2)) * k / 255u);
        p[1] = static_cast<uint8_t>((255u - Sample(form, in, at + 1)) * k / 255u);
        p[2] = static_cast<uint8_t>((255u - Sample(form, in, at)) * k / 255u);
      }
      break;
    }
    case Conversion::Lab: {
      uint8_t* p = out + std::size_t{x0} * 3;
      for (uint32_t x = 0; x < count; ++x, in += group, p += 3) LabToBgr(in, p);
      break;
    }
    case Conversion::None:
      break;
  }
}

// One plane of separately stored samples: plane 0 is red (or cyan, or the gray level), 1 green,
// 2 blue, 3 the fourth byte, or black, which darkens the three inks already stored.
void ConvertPlane(const TiffForm& form, int plane, const uint8_t* in, uint8_t* out, uint32_t x0, uint32_t count) {
  if (form.conversion == Conversion::Copy || form.conversion == Conversion::Gray16 ||
      form.conversion == Conversion::Gray12) {
    if (plane == 0) ConvertSamples(form, in, 1, out, x0, count);
    return;
  }
  const std::size_t step = form.bitCount / 8;
  uint8_t* p = out + std::size_t{x0} * step;
  const bool cmyk = form.conversion == Conversion::Cmyk;
  for (uint32_t x = 0; x < count; ++x, p += step) {
    const unsigned v = Sample(form, in, x);
    if (plane < 3) {
      p[2 - plane] = static_cast<uint8_t>(cmyk ? 255 - v : v);
    } else if (cmyk) {
      const unsigned k = 255u - v;
      for (int i = 0; i < 3; ++i) p[i] = static_cast<uint8_t>(p[i] * k / 255u);
    } else if (step == 4) {
      p[3] = in[x];
    }
  }
}

// The number of planes the direct path reads, and the bytes one pixel takes in a contiguous
// row (for 8-bit and 16-bit samples).
int PlanesToRead(const TiffForm& form, const TiffTags& t) {
  if (t.planar != PLANARCONFIG_SEPARATE) return 1;
  if (form.conversion == Conversion::Copy || form.conversion == Conversion::Gray16 ||
      form.conversion == Conversion::Gray12) {
    return 1;
  }
  return std::min<int>(t.samples, form.bitCount == 24 && form.conversion == Conversion::Rgb ? 3 : 4);
}

std::size_t SampleGroup(const TiffForm& form, const TiffTags& t) {
  if (t.planar == PLANARCONFIG_SEPARATE) return 1;
  return form.bitCount < 8 ? 1 : t.samples;
}

// Bytes one row (or tile row) of `pixels` pixels needs in the file's layout.
uint64_t NeededRowBytes(const TiffForm& form, const TiffTags& t, uint32_t pixels) {
  const uint64_t group = SampleGroup(form, t);
  switch (form.conversion) {
    case Conversion::Copy: return form.bitCount == 8 ? pixels * group : (uint64_t{pixels} * form.bitCount + 7) / 8;
    case Conversion::Gray16: return 2 * pixels * group;
    case Conversion::Gray12: return (uint64_t{pixels} * 12 + 7) / 8;
    default: return pixels * group * form.sampleBytes;
  }
}

// True when strip or tile `number` has bytes in the file; one that has none is not read.
bool HasData(TIFF* tif, uint32_t number) {
  const uint64_t size = TIFFGetSizeProc(tif)(TIFFClientdata(tif));
  return TIFFGetStrileByteCount(tif, number) != 0 && TIFFGetStrileOffset(tif, number) < size;
}

bool ReadStrips(TIFF* tif, const TiffTags& t, const TiffForm& form, PackedDib& dib, ReadResult& result) {
  const tmsize_t scanline = TIFFScanlineSize(tif);
  if (scanline <= 0 || static_cast<uint64_t>(scanline) < NeededRowBytes(form, t, t.width)) return false;
  std::vector<uint8_t> buffer = WorkBuffer(scanline);
  if (buffer.empty()) {
    result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
    return true;
  }
  const int planes = PlanesToRead(form, t);
  const std::size_t group = SampleGroup(form, t);
  uint32_t rowsPerStrip = 0;
  if (TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip) == 0 || rowsPerStrip == 0) rowsPerStrip = t.height;
  for (int plane = 0; plane < planes; ++plane) {
    for (uint32_t r = 0; r < t.height; ++r) {
      // Damaged strips are not reported: their rows keep what they have and reading goes on
      // with the next strip. A strip whose data is not in the file is passed over unread.
      const uint32_t strip = TIFFComputeStrip(tif, r, static_cast<uint16_t>(plane));
      const uint32_t next = std::min<uint64_t>(t.height, (uint64_t{r} / rowsPerStrip + 1) * rowsPerStrip);
      if (!HasData(tif, strip) || TIFFReadScanline(tif, buffer.data(), r, static_cast<uint16_t>(plane)) < 0) {
        r = next - 1;
        continue;
      }
      uint8_t* out = dib.Row(static_cast<int>(t.height - 1 - r)).data();
      if (t.planar == PLANARCONFIG_SEPARATE) {
        ConvertPlane(form, plane, buffer.data(), out, 0, t.width);
      } else {
        ConvertSamples(form, buffer.data(), group, out, 0, t.width);
      }
    }
  }
  return true;
}

// Strips of at most this many bytes (decoded) are decoded whole; larger ones row by row, so that
// a file of one big strip does not hold a second copy of its image.
constexpr uint64_t kWholeStripBytes = uint64_t{16} << 20;

// The codecs whose whole strips are known to give the rows that row-by-row decoding gives.
bool WholeStripsReadAsRows(uint16_t compression) {
  switch (compression) {
    case COMPRESSION_NONE: case COMPRESSION_LZW: case COMPRESSION_JPEG: case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE: case COMPRESSION_PACKBITS:
      return true;
    default:
      return false;
  }
}

// Each strip decoded at once, which lets libtiff use its whole-buffer codecs (libdeflate for
// Deflate); the rows come out as row by row. False, with nothing reported, when some strip does
// not decode whole: the image is then read again row by row, which keeps what a damaged strip
// still gives.
bool ReadWholeStrips(TIFF* tif, const TiffTags& t, const TiffForm& form, PackedDib& dib, uint32_t& touched) {
  touched = 0;
  const tmsize_t scanline = TIFFScanlineSize(tif);
  if (scanline <= 0 || static_cast<uint64_t>(scanline) < NeededRowBytes(form, t, t.width)) return false;
  uint32_t rowsPerStrip = 0;
  if (TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip) == 0 || rowsPerStrip == 0) return false;
  const uint32_t rows = std::min(rowsPerStrip, t.height);
  if (uint64_t{rows} * static_cast<uint64_t>(scanline) > kWholeStripBytes) return false;
  std::vector<uint8_t> buffer = WorkBuffer(int64_t{rows} * scanline);
  if (buffer.empty()) return false;
  const int planes = PlanesToRead(form, t);
  const std::size_t group = SampleGroup(form, t);
  for (int plane = 0; plane < planes; ++plane) {
    for (uint32_t r0 = 0; r0 < t.height; r0 += rows) {
      const uint32_t count = std::min(rows, t.height - r0);
      const tmsize_t wanted = static_cast<tmsize_t>(count) * scanline;
      const uint32_t strip = TIFFComputeStrip(tif, r0, static_cast<uint16_t>(plane));
      if (TIFFReadEncodedStrip(tif, strip, buffer.data(), wanted) != wanted) return false;
      touched = plane > 0 ? t.height : r0 + count;
      for (uint32_t k = 0; k < count; ++k) {
        const uint8_t* in = buffer.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(scanline);
        uint8_t* out = dib.Row(static_cast<int>(t.height - 1 - (r0 + k))).data();
        if (t.planar == PLANARCONFIG_SEPARATE) {
          ConvertPlane(form, plane, in, out, 0, t.width);
        } else {
          ConvertSamples(form, in, group, out, 0, t.width);
        }
      }
    }
  }
  return true;
}

bool ReadTiles(TIFF* tif, const TiffTags& t, const TiffForm& form, PackedDib& dib, ReadResult& result) {
  const tmsize_t tileSize = TIFFTileSize(tif);
  const tmsize_t tileRow = TIFFTileRowSize(tif);
  if (t.tileWidth == 0 || t.tileLength == 0 || tileSize <= 0 || tileRow <= 0 ||
      static_cast<uint64_t>(tileRow) < NeededRowBytes(form, t, t.tileWidth) ||
      static_cast<uint64_t>(tileSize) < static_cast<uint64_t>(tileRow) * t.tileLength) {
    return false;
  }
  std::vector<uint8_t> buffer = WorkBuffer(tileSize);
  if (buffer.empty()) {
    result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
    return true;
  }
  const int planes = PlanesToRead(form, t);
  const std::size_t group = SampleGroup(form, t);
  for (uint32_t y0 = 0; y0 < t.height; y0 += t.tileLength) {
    for (uint32_t x0 = 0; x0 < t.width; x0 += t.tileWidth) {
      const uint32_t count = std::min(t.tileWidth, t.width - x0);
      const uint32_t rows = std::min(t.tileLength, t.height - y0);
      for (int plane = 0; plane < planes; ++plane) {
        const uint32_t tile = TIFFComputeTile(tif, x0, y0, 0, static_cast<uint16_t>(plane));
        if (TIFFReadEncodedTile(tif, tile, buffer.data(), tileSize) < 0) continue;
        for (uint32_t k = 0; k < rows; ++k) {
          const uint8_t* in = buffer.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(tileRow);
          uint8_t* out = dib.Row(static_cast<int>(t.height - 1 - (y0 + k))).data();
          if (t.planar == PLANARCONFIG_SEPARATE) {
            ConvertPlane(form, plane, in, out, x0, count);
          } else {
            ConvertSamples(form, in, group, out, x0, count);
          }
        }
      }
      if (t.tileWidth > t.width - x0) break;  // the last column of tiles (and no overflow)
    }
    if (t.tileLength > t.height - y0) break;
  }
  return true;
}

// --- Reading: the RGBA path ----------------------------------------------------------------

// libtiff's general reader decodes the image, a band of strips or tiles at a time, into 32-bit
// red, green, blue, alpha pixels; these are packed into the bitmap's rows. Bands whose data is
// not in the file are left as they are.
bool ReadThroughRgba(TIFF* tif, const TiffTags& t, const TiffForm& form, PackedDib& dib, ReadResult& result) {
  char error[1024] = "";
  TIFFRGBAImage image{};
  if (TIFFRGBAImageBegin(&image, tif, 0, error) == 0) {
    result.diagnostics.push_back(error);
    return false;
  }
  // The rows come in the file's own order, the last row of a band first as a bitmap keeps them;
  // the Orientation tag is honoured afterwards like on the direct path.
  image.req_orientation = ORIENTATION_BOTLEFT;
  image.orientation = ORIENTATION_TOPLEFT;
  uint32_t band = t.tileLength;
  if (!t.tiled && (TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &band) == 0 || band == 0)) band = t.height;
  band = std::clamp<uint32_t>(band, 1, t.height);
  std::vector<uint8_t> raster = WorkBuffer(int64_t{t.width} * band * 4);
  if (raster.empty()) {
    TIFFRGBAImageEnd(&image);
    result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
    return true;
  }

  const uint16_t bits = t.bits;
  const bool white = t.photometric == PHOTOMETRIC_MINISWHITE;
  for (uint32_t r0 = 0; r0 < t.height; r0 += band) {
    const uint32_t rows = std::min(band, t.height - r0);
    if (!HasData(tif, t.tiled ? TIFFComputeTile(tif, 0, r0, 0, 0) : TIFFComputeStrip(tif, r0, 0))) continue;
    std::ranges::fill(raster, uint8_t{0});
    image.row_offset = static_cast<int>(r0);
    image.col_offset = 0;
    TIFFRGBAImageGet(&image, reinterpret_cast<uint32_t*>(raster.data()), t.width, rows);
    for (uint32_t y = 0; y < rows; ++y) {
      const uint8_t* in = raster.data() + std::size_t{y} * t.width * 4;
      uint8_t* out = dib.Row(static_cast<int>(t.height - r0 - rows + y)).data();
      for (uint32_t x = 0; x < t.width; ++x, in += 4) {
        if (form.table == Table::Gray) {
          const unsigned v = white ? 255u - in[0] : in[0];
          out[x] = static_cast<uint8_t>(bits == 1 ? v / 255 : bits == 4 ? v >> 4 : v);
        } else if (form.bitCount == 32) {
          out[4 * x] = in[2];
          out[4 * x + 1] = in[1];
          out[4 * x + 2] = in[0];
          out[4 * x + 3] = in[3];
        } else {
          out[3 * x] = in[2];
          out[3 * x + 1] = in[1];
          out[3 * x + 2] = in[0];
        }
      }
    }
  }
  TIFFRGBAImageEnd(&image);
  return true;
}

uint32_t TableEntries(const TiffForm& form, const TiffTags& t, bool rgba) {
  if (form.table == Table::None) return 0;
  if (form.table == Table::Bilevel) return 2;
  if (form.table == Table::Palette) return 1u << form.bitCount;
  // Gray: by the bitmap's depth on the direct path, by the file's on the RGBA path.
  const int bits = rgba ? t.bits : form.bitCount;
  return bits == 1 ? 2 : bits == 4 ? 16 : 256;
}

// --- Writing -------------------------------------------------------------------------------

struct TiffLayout {
  uint16_t photometric = PHOTOMETRIC_RGB;
  uint16_t samples = 3;
  uint16_t bits = 8;
};

enum class RowMode { CopyBits, IndexNibbles, LevelNibbles, CopyBytes, Levels, Rgb, Rgbx };

struct TiffPlan {
  TiffLayout layout;
  RowMode mode = RowMode::Rgb;
};

TiffPlan PlanTiff(const PackedDib& dib, int compression, std::span<const RgbQuad> table) {
  const int bits = dib.BitCount();
  const std::size_t n = table.size();
  const bool gray = IsGrayTable(table);
  const auto red = [&](std::size_t i) { return static_cast<int>(table[i].rgbRed); };
  const auto steps = [&](std::size_t pairs, int step) { return GrayStepsBy(table, pairs, step); };
  if (compression == COMPRESSION_JPEG) return {{PHOTOMETRIC_YCBCR, 3, 8}, RowMode::Rgb};
  switch (bits) {
    case 1: {
      const bool blackFirst = gray && n >= 2 && red(0) == 0 && red(1) == 255;
      const bool whiteFirst = gray && n >= 2 && red(0) == 255 && red(1) == 0;
      if (blackFirst) return {{PHOTOMETRIC_MINISBLACK, 1, 1}, RowMode::CopyBits};
      if (whiteFirst) return {{PHOTOMETRIC_MINISWHITE, 1, 1}, RowMode::CopyBits};
      return {{PHOTOMETRIC_PALETTE, 1, 4}, RowMode::IndexNibbles};
    }
    case 4: {
      const bool ramp = gray && ((n >= 4 && steps(3, 64)) || (n == 16 && steps(15, 16)));
      if (ramp) return {{PHOTOMETRIC_MINISBLACK, 1, 4}, RowMode::LevelNibbles};
      return {{PHOTOMETRIC_PALETTE, 1, 4}, RowMode::CopyBits};
    }
    case 8:
      if (gray) return {{PHOTOMETRIC_MINISBLACK, 1, 8}, RowMode::Levels};
      return {{PHOTOMETRIC_PALETTE, 1, 8}, RowMode::CopyBytes};
    case 32:
      return {{PHOTOMETRIC_RGB, 4, 8}, RowMode::Rgbx};
    default:  // 16 bits (as 8-bit RGB, which every reader shows) and 24 bits
      return {{PHOTOMETRIC_RGB, 3, 8}, RowMode::Rgb};
  }
}

// Bitmap row `source` in the file's layout (`bytes` bytes into `out`).
void ConvertRowForTiff(const PackedDib& dib, const TiffPlan& plan, std::span<const uint8_t> source, uint8_t* out,
                       std::size_t bytes) {
  const int width = dib.Width();
  const int bits = dib.BitCount();
  const auto table = dib.Colors();
  switch (plan.mode) {
    case RowMode::CopyBits: case RowMode::CopyBytes:
      std::memcpy(out, source.data(), bytes);
      break;
    case RowMode::IndexNibbles: case RowMode::LevelNibbles:
      std::memset(out, 0, bytes);
      for (int x = 0; x < width; ++x) {
        const unsigned index = PixelIndex(source, bits, x);
        const unsigned v = plan.mode == RowMode::IndexNibbles ? index : TableColor(table, index).rgbRed >> 4;
        out[x / 2] |= static_cast<uint8_t>(v << (x % 2 == 0 ? 4 : 0));
      }
      break;
    case RowMode::Levels:
      RowToGray(dib, source, out);
      break;
    case RowMode::Rgb:
      RowToRgb(dib, source, out);
      break;
    case RowMode::Rgbx: {
      const uint8_t* in = source.data();
      for (int x = 0; x < width; ++x, in += 4, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = in[3];
      }
      break;
    }
  }
}

// Tile extent for an image extent: the library's default (256), brought down in steps of 16 to
// the first value not above the image, at least 16, and one step more when the image is not a
// multiple of 16 and the tile is below 256. So 100 gives 112, 10 gives 32, 1000 gives 256.
uint32_t TileExtent(uint32_t preferred, uint32_t extent) {
  int64_t v = preferred;
  while (v > extent) v -= 16;
  if (v < 16) v = 16;
  if (extent % 16 != 0 && v < 256) v += 16;
  return static_cast<uint32_t>(v);
}

bool WriteTiles(TIFF* tif, const PackedDib& dib, const TiffPlan& plan, std::size_t rowBytes) {
  uint32_t tileWidth = 0xFFFFFFFF;
  uint32_t tileLength = 0xFFFFFFFF;
  TIFFDefaultTileSize(tif, &tileWidth, &tileLength);
  const auto width = static_cast<uint32_t>(dib.Width());
  const auto height = static_cast<uint32_t>(dib.Height());
  tileWidth = TileExtent(tileWidth, width);
  tileLength = TileExtent(tileLength, height);
  TIFFSetField(tif, TIFFTAG_TILELENGTH, tileLength);
  TIFFSetField(tif, TIFFTAG_TILEWIDTH, tileWidth);
  TIFFSetField(tif, TIFFTAG_TILEDEPTH, 1);
  const tmsize_t tileSize = TIFFTileSize(tif);
  const tmsize_t tileRow = TIFFTileRowSize(tif);
  const uint64_t bitsPerPixel = uint64_t{plan.layout.bits} * plan.layout.samples;
  if (tileSize <= 0 || tileRow <= 0 || static_cast<uint64_t>(tileRow) * tileLength > static_cast<uint64_t>(tileSize)) {
    return false;
  }
  std::vector<uint8_t> tile = WorkBuffer(tileSize);
  // One row of tiles' worth of converted image rows, cut into tiles.
  std::vector<uint8_t> band = WorkBuffer(static_cast<int64_t>(rowBytes) * tileLength);
  if (tile.empty() || band.empty()) return false;
  uint32_t number = 0;
  for (uint32_t y0 = 0; y0 < height; y0 += tileLength) {
    const uint32_t rows = std::min(tileLength, height - y0);
    for (uint32_t k = 0; k < rows; ++k) {
      ConvertRowForTiff(dib, plan, dib.Row(static_cast<int>(height - 1 - (y0 + k))), band.data() + k * rowBytes, rowBytes);
    }
    for (uint32_t x0 = 0; x0 < width; x0 += tileWidth) {
      const std::size_t offset = static_cast<std::size_t>(x0 * bitsPerPixel / 8);
      const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(tileRow), rowBytes - offset);
      std::fill(tile.begin(), tile.end(), 0);
      for (uint32_t k = 0; k < rows; ++k) {
        std::memcpy(tile.data() + k * static_cast<std::size_t>(tileRow), band.data() + k * rowBytes + offset, take);
      }
      if (TIFFWriteEncodedTile(tif, number++, tile.data(), tileSize) < 0) return false;
      if (tileWidth > width - x0) break;
    }
    if (tileLength > height - y0) break;
  }
  return true;
}

bool WriteStrips(TIFF* tif, const PackedDib& dib, const TiffPlan& plan, std::size_t rowBytes) {
  const auto height = static_cast<uint32_t>(dib.Height());
  uint32_t rowsPerStrip = TIFFDefaultStripSize(tif, 0xFFFFFFFF);
  if (rowsPerStrip > height) rowsPerStrip = TIFFDefaultStripSize(tif, height);
  if (rowsPerStrip == 0) rowsPerStrip = 1;
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  const tmsize_t stripSize = TIFFStripSize(tif);
  if (stripSize <= 0 || static_cast<uint64_t>(stripSize) < uint64_t{rowsPerStrip} * rowBytes) return false;
  std::vector<uint8_t> strip = WorkBuffer(stripSize);
  if (strip.empty()) return false;
  uint32_t number = 0;
  for (uint32_t first = 0; first < height; first += rowsPerStrip, ++number) {
    const uint32_t rows = std::min(rowsPerStrip, height - first);
    for (uint32_t k = 0; k < rows; ++k) {
      ConvertRowForTiff(dib, plan, dib.Row(static_cast<int>(height - 1 - (first + k))), strip.data() + k * rowBytes,
                        rowBytes);
    }
    if (TIFFWriteEncodedStrip(tif, number, strip.data(), static_cast<tmsize_t>(rows * rowBytes)) < 0) return false;
    if (rowsPerStrip > height - first) break;
  }
  return true;
}

// Opens the file at its first image; JPEG-compressed data is delivered as red, green and blue
// (libtiff converts from Y/Cb/Cr).
TiffHandle OpenForReading(const std::string& path, std::vector<std::string>& diagnostics, TiffTags& tags) {
  TiffHandle tif = OpenTiff(path, "rm", &diagnostics);
  if (!tif) return tif;
  tags = ReadTags(tif.get());
  if (tags.compression == COMPRESSION_JPEG) TIFFSetField(tif.get(), TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  return tif;
}

}  // namespace

ReadResult ReadTiffImage(const std::string& path, TiffStrips strips) {
  ReadResult result;
  TiffTags tags;
  TiffHandle tif = OpenForReading(path, result.diagnostics, tags);
  if (!tif) return result;
  // Orientations 5 to 8 turn the picture a quarter: the frame is the picture's as shown.
  result.frame = tags.orientation >= 5 && tags.orientation <= 8 ? FrameSize{tags.height, tags.width}
                                                                : FrameSize{tags.width, tags.height};
  result.infoText = TiffInfoText(tags);
  if (tags.width == 0 || tags.height == 0 || tags.width > 0x7FFFFFFF || tags.height > 0x7FFFFFFF) return result;

  // A layout that no path takes is named, for ravelle-cli.
  const auto refuse = [&result](const std::string& reason) {
    result.status = ReadStatus::Unsupported;
    result.diagnostics.push_back("unsupported TIFF: " + reason);
    return std::move(result);
  };
  if (tags.sampleFormat == SAMPLEFORMAT_IEEEFP) return refuse(Format("%d-bit floating-point samples", tags.bits));
  TiffForm form = TakesRgbaPath(tags) ? TiffForm{} : DirectForm(tags);
  const bool rgba = form.conversion == Conversion::None;
  if (rgba) {
    // Layouts the direct path has no form for are read like unusual compressions, when the
    // general reader can take them.
    char why[1024] = "";
    if (tags.photometric == PHOTOMETRIC_MASK) return refuse("holdout masks");
    if (TIFFRGBAImageOK(tif.get(), why) == 0) {
      if (tags.sampleFormat == SAMPLEFORMAT_INT) return refuse(Format("%d-bit signed integer samples", tags.bits));
      std::string reason = why[0] != '\0' ? why : "a layout libtiff cannot read";
      if (reason.starts_with("Sorry, ")) reason.erase(0, 7);
      return refuse(reason);
    }
    form = RgbaForm(tags);
  }

  const auto width = static_cast<int>(tags.width);
  const auto height = static_cast<int>(tags.height);
  PackedDib dib = CreateDib(width, height, form.bitCount, TableEntries(form, tags, rgba));
  if (!dib) {
    result.Fail(NoBlockStatus(tags.width, tags.height, form.bitCount, TableEntries(form, tags, rgba)),
                kMemoryAllocationError);
    return result;
  }
  dib.Header().biSizeImage = 0;
  switch (form.table) {
    case Table::Palette: FillPaletteTable(tif.get(), dib.Colors()); break;
    case Table::Bilevel: case Table::Gray: FillGrayTable(dib.Colors(), tags.photometric); break;
    case Table::None: break;
  }

  bool read = false;
  if (rgba) {
    read = ReadThroughRgba(tif.get(), tags, form, dib, result);
  } else if (tags.tiled) {
    read = ReadTiles(tif.get(), tags, form, dib, result);
  } else {
    // A strip that does not decode whole, or decodes with a complaint, is damaged: the image is
    // then read row by row from a fresh start, with only what that reading says.
    const std::size_t said = result.diagnostics.size();
    const bool whole = strips == TiffStrips::Whole && WholeStripsReadAsRows(tags.compression);
    uint32_t touched = 0;
    if (whole && ReadWholeStrips(tif.get(), tags, form, dib, touched) && result.diagnostics.size() == said) {
      read = true;
    } else if (!whole) {
      read = ReadStrips(tif.get(), tags, form, dib, result);
    } else {
      result.diagnostics.resize(said);
      tif.reset();
      // The bottom-up bitmap's last rows are the file's first.
      for (uint32_t r = 0; r < touched; ++r) std::ranges::fill(dib.Row(static_cast<int>(tags.height - 1 - r)), uint8_t{0});
      std::vector<std::string> again;
      tif = OpenForReading(path, again, tags);
      const std::size_t opening = again.size();
      read = tif && ReadStrips(tif.get(), tags, form, dib, result);
      tif.reset();
      result.diagnostics.insert(result.diagnostics.end(), again.begin() + static_cast<std::ptrdiff_t>(opening), again.end());
    }
  }
  tif.reset();
  if (!read) return result;

  int state = TiffOrientationToState(tags.orientation);
  if (RestoreOrientation(dib, state) == TransformStatus::NoMemory) {
    result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
    return result;
  }
  result.dib = std::move(dib);
  return result;
}

bool WriteTiffImage(const std::filesystem::path& path, int compression, bool tiles, const PackedDib& dib) {
  if (!dib) return false;
  const int bits = dib.BitCount();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (dib.Width() <= 0 || dib.Height() <= 0) return false;
  switch (compression) {
    case 1: case 2: case 3: case 4: case 5: case 7: case 32773: case 32946: break;
    default: return false;
  }
  const std::span<const RgbQuad> table = bits <= 8 ? dib.Colors() : std::span<const RgbQuad>();
  const TiffPlan plan = PlanTiff(dib, compression, table);
  const std::size_t rowBytes =
      static_cast<std::size_t>((uint64_t{static_cast<uint32_t>(dib.Width())} * plan.layout.bits * plan.layout.samples + 7) / 8);

  // Colour maps keep the table's 0-255 values as they are, in a map of 2^depth entries (at
  // least 16), the entries past the table black.
  std::vector<uint16_t> red, green, blue;
  if (plan.layout.photometric == PHOTOMETRIC_PALETTE) {
    const std::size_t entries = std::size_t{1} << plan.layout.bits;
    red.assign(entries, 0);
    green.assign(entries, 0);
    blue.assign(entries, 0);
    for (std::size_t i = 0; i < table.size() && i < entries; ++i) {
      red[i] = table[i].rgbRed;
      green[i] = table[i].rgbGreen;
      blue[i] = table[i].rgbBlue;
    }
  }

  auto output = OutputFile::Create(path);
  if (!output) return false;
  output->CloseStream();
  std::vector<std::string> ignored;
  TiffHandle tif = OpenTiff(output->TempPath().string(), "w", &ignored);
  if (!tif) return false;
  TIFF* t = tif.get();
  bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(dib.Width())) != 0 &&
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(dib.Height())) != 0 &&
            TIFFSetField(t, TIFFTAG_COMPRESSION, compression) != 0 &&
            TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) != 0 &&
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, plan.layout.samples) != 0 &&
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, plan.layout.bits) != 0 &&
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, plan.layout.photometric) != 0;
  if (ok && compression == COMPRESSION_JPEG) {
    ok = TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB) != 0 && TIFFSetField(t, TIFFTAG_JPEGQUALITY, 85) != 0;
  }
  if (ok && (compression == COMPRESSION_LZW || compression == COMPRESSION_DEFLATE) && bits > 8) {
    ok = TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) != 0;
  }
  if (ok && plan.layout.photometric == PHOTOMETRIC_PALETTE) {
    ok = TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data()) != 0;
  }
  if (ok) ok = TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) != 0;
  if (ok) ok = tiles ? WriteTiles(t, dib, plan, rowBytes) : WriteStrips(t, dib, plan, rowBytes);
  if (ok) ok = TIFFFlush(t) != 0;
  tif.reset();
  return ok && output->Commit();
}

}  // namespace ravelle
