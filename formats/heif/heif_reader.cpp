#include "formats/heif/heif_reader.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/common/photo_libraries.h"
#include "formats/webp/webp_reader.h"
#include "image/format.h"
#include "image/limits.h"
#include "image/packed_dib.h"

namespace ravelle {
namespace {

// ---- The few boxes the library does not report: where the primary item's rotation and mirror
// come from, and its channel count.

uint32_t Be(std::span<const uint8_t> data, std::size_t at, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | (at + i < data.size() ? data[at + i] : 0);
  return value;
}

struct Box {
  std::string_view type;
  std::span<const uint8_t> body;
};

// The boxes one after another in `data`; a box whose size runs past the end is cut at it, and one
// that says 0 takes the rest.
std::vector<Box> Boxes(std::span<const uint8_t> data) {
  std::vector<Box> boxes;
  std::size_t at = 0;
  while (data.size() - at >= 8) {
    uint64_t size = Be(data, at, 4);
    std::size_t header = 8;
    if (size == 1) {
      if (data.size() - at < 16) break;
      size = uint64_t{Be(data, at + 8, 4)} << 32 | Be(data, at + 12, 4);
      header = 16;
    } else if (size == 0) {
      size = data.size() - at;
    }
    if (size < header) break;
    const std::size_t length = static_cast<std::size_t>(std::min<uint64_t>(size, data.size() - at));
    boxes.push_back({std::string_view(reinterpret_cast<const char*>(data.data() + at + 4), 4),
                     data.subspan(at + header, length - header)});
    at += length;
  }
  return boxes;
}

const Box* Find(const std::vector<Box>& boxes, std::string_view type) {
  for (const Box& box : boxes) {
    if (box.type == type) return &box;
  }
  return nullptr;
}

// A 2x2 matrix on centred coordinates, rows first: the picture shown = matrix x the stored one.
using Turn = std::array<int, 4>;
Turn Times(const Turn& a, const Turn& b) {
  return {a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2], a[2] * b[1] + a[3] * b[3]};
}
// The Exif orientations' turns, in order from 1.
constexpr Turn kExifTurns[8] = {{1, 0, 0, 1},  {-1, 0, 0, 1}, {-1, 0, 0, -1}, {1, 0, 0, -1},
                                {0, 1, 1, 0},  {0, -1, 1, 0}, {0, -1, -1, 0}, {0, 1, -1, 0}};
constexpr Turn kQuarterAnticlockwise = {0, 1, -1, 0};
constexpr Turn kTopBottom = {1, 0, 0, -1}, kLeftRight = {-1, 0, 0, 1};

int OrientationOf(const Turn& turn) {
  for (int n = 0; n < 8; ++n) {
    if (kExifTurns[n] == turn) return n + 1;
  }
  return 1;
}

const char* ErrorStatusName(const heif_error& error) { return error.message != nullptr ? error.message : "error"; }

ReadStatus StatusOf(const heif_error& error) {
  if (error.subcode == heif_suberror_Security_limit_exceeded) return ReadStatus::TooLarge;
  switch (error.code) {
    case heif_error_Ok: return ReadStatus::Ok;
    case heif_error_Invalid_input:
      return error.subcode == heif_suberror_End_of_data ? ReadStatus::Damaged : ReadStatus::BadHeader;
    case heif_error_Unsupported_filetype:
    case heif_error_Unsupported_feature: return ReadStatus::Unsupported;
    case heif_error_Memory_allocation_error: return ReadStatus::NoMemory;
    case heif_error_Decoder_plugin_error: return ReadStatus::Damaged;
    default: return ReadStatus::LibraryError;
  }
}

struct ContextFree {
  void operator()(heif_context* context) const { Heif()->heif_context_free(context); }
};
struct HandleRelease {
  void operator()(heif_image_handle* handle) const { Heif()->heif_image_handle_release(handle); }
};
struct ImageRelease {
  void operator()(heif_image* image) const { Heif()->heif_image_release(image); }
};
struct OptionsFree {
  void operator()(heif_decoding_options* options) const { Heif()->heif_decoding_options_free(options); }
};

// Whether a picture of this size (0 for one not known yet) stays within the limit in the
// library's image and in ours: 4 bytes a pixel at most, each.
bool WithinLimit(uint32_t width, uint32_t height) {
  BitmapInfoHeader size;
  size.biWidth = static_cast<int32_t>(std::min<uint32_t>(width, INT32_MAX));
  size.biHeight = static_cast<int32_t>(std::min<uint32_t>(height, INT32_MAX));
  size.biBitCount = 24;
  return width == 0 || height == 0 ||
         (DibBlockSize(size) && uint64_t{4} * uint64_t{width} * uint64_t{height} <= kMaxDibBytes);
}

// The side the library may build an image of (grids included), and its decoding threads.
constexpr int kMaxSide = 32768;
constexpr int kDecodingThreads = 2;

}  // namespace

int HeifExifOrientation(int quarterTurns, int mirror) {
  Turn turn = kExifTurns[0];
  for (int i = 0; i < (quarterTurns & 3); ++i) turn = Times(kQuarterAnticlockwise, turn);
  if (mirror == 0) turn = Times(kTopBottom, turn);
  if (mirror == 1) turn = Times(kLeftRight, turn);
  return OrientationOf(turn);
}

HeifPrimaryTraits ReadHeifPrimaryTraits(std::span<const uint8_t> file) {
  HeifPrimaryTraits traits;
  const std::vector<Box> top = Boxes(file);
  const Box* meta = Find(top, "meta");
  if (meta == nullptr || meta->body.size() < 4) return traits;
  const std::vector<Box> inMeta = Boxes(meta->body.subspan(4));
  const Box* pitm = Find(inMeta, "pitm");
  const Box* iprp = Find(inMeta, "iprp");
  if (pitm == nullptr || iprp == nullptr || pitm->body.size() < 6) return traits;
  const uint32_t primary = pitm->body[0] == 0 ? Be(pitm->body, 4, 2) : Be(pitm->body, 4, 4);
  const std::vector<Box> inIprp = Boxes(iprp->body);
  const Box* ipco = Find(inIprp, "ipco");
  if (ipco == nullptr) return traits;
  const std::vector<Box> properties = Boxes(ipco->body);
  Turn turn = kExifTurns[0];
  for (const Box& ipma : inIprp) {
    if (ipma.type != "ipma" || ipma.body.size() < 8) continue;
    const std::span<const uint8_t> body = ipma.body;
    const int version = body[0];
    const bool wide = (body[3] & 1) != 0;
    const uint32_t entries = Be(body, 4, 4);
    std::size_t at = 8;
    for (uint32_t e = 0; e < entries && at < body.size(); ++e) {
      const uint32_t item = Be(body, at, version < 1 ? 2 : 4);
      at += version < 1 ? 2 : 4;
      const int count = at < body.size() ? body[at] : 0;
      ++at;
      for (int a = 0; a < count && at < body.size(); ++a) {
        const uint32_t index = wide ? Be(body, at, 2) & 0x7FFF : Be(body, at, 1) & 0x7F;
        at += wide ? 2 : 1;
        if (item != primary || index == 0 || index > properties.size()) continue;
        const Box& property = properties[index - 1];
        if (property.type == "irot" && !property.body.empty()) {
          for (int i = 0; i < (property.body[0] & 3); ++i) turn = Times(kQuarterAnticlockwise, turn);
        } else if (property.type == "imir" && !property.body.empty()) {
          turn = Times((property.body[0] & 1) != 0 ? kLeftRight : kTopBottom, turn);
        } else if (property.type == "ispe" && property.body.size() >= 12) {
          traits.width = Be(property.body, 4, 4);
          traits.height = Be(property.body, 8, 4);
        } else if (property.type == "pixi" && property.body.size() >= 5) {
          traits.monochrome = property.body[4] == 1;
        } else if (property.type == "hvcC" && property.body.size() > 16) {
          traits.monochrome = traits.monochrome || (property.body[16] & 3) == 0;
        }
      }
    }
  }
  traits.orientation = OrientationOf(turn);
  return traits;
}

PackedDib HeifPixelsToDib(const uint8_t* pixels, std::size_t stride, int channels, int width, int height, bool grey,
                          int orientation) {
  const bool across = orientation >= 5;  // the sides change places
  const int shownWidth = across ? height : width, shownHeight = across ? width : height;
  PackedDib dib = CreateDib(shownWidth, shownHeight, grey ? 8 : 24, grey ? 256 : 0);
  if (!dib) return dib;
  dib.Header().biSizeImage = 0;
  if (grey) {
    for (int i = 0; i < 256; ++i) dib.Colors()[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
  }
  const auto sample = [&](int x, int y, int c) {
    const uint8_t* p = pixels + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * channels;
    return channels == 4 ? WebpOverWhite(p[c], p[3]) : p[c];
  };
  for (int y = 0; y < shownHeight; ++y) {
    uint8_t* row = dib.Row(shownHeight - 1 - y).data();
    for (int x = 0; x < shownWidth; ++x) {
      // The stored pixel shown at (x, y).
      int sx = x, sy = y;
      switch (orientation) {
        case 2: sx = width - 1 - x; break;
        case 3: sx = width - 1 - x; sy = height - 1 - y; break;
        case 4: sy = height - 1 - y; break;
        case 5: sx = y; sy = x; break;
        case 6: sx = y; sy = height - 1 - x; break;
        case 7: sx = width - 1 - y; sy = height - 1 - x; break;
        case 8: sx = width - 1 - y; sy = x; break;
        default: break;
      }
      if (grey) {
        row[x] = sample(sx, sy, 0);
      } else {
        for (int c = 0; c < 3; ++c) row[3 * x + c] = sample(sx, sy, 2 - c);
      }
    }
  }
  return dib;
}

ReadResult ReadHeifImage(std::span<const uint8_t> file) {
  if (Heif() == nullptr) return NoLibrary("libheif");
  ReadResult result;
  std::unique_ptr<heif_context, ContextFree> context(Heif()->heif_context_alloc());
  if (!context) {
    result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
    return result;
  }
  // The size the primary item's header gives, before the library reads the rest.
  const HeifPrimaryTraits traits = ReadHeifPrimaryTraits(file);
  if (!WithinLimit(traits.width, traits.height)) {
    result.frame = FrameSize{traits.width, traits.height};
    result.Fail(ReadStatus::TooLarge, kMemoryAllocationError);
    return result;
  }
  Heif()->heif_context_set_maximum_image_size_limit(context.get(), kMaxSide);
  Heif()->heif_context_set_max_decoding_threads(context.get(), kDecodingThreads);
  heif_error error = Heif()->heif_context_read_from_memory_without_copy(context.get(), file.data(), file.size(), nullptr);
  heif_image_handle* handleOut = nullptr;
  if (error.code == heif_error_Ok) error = Heif()->heif_context_get_primary_image_handle(context.get(), &handleOut);
  std::unique_ptr<heif_image_handle, HandleRelease> handle(handleOut);
  if (error.code != heif_error_Ok || !handle) {
    result.status = error.code == heif_error_Ok ? ReadStatus::BadHeader : StatusOf(error);
    if (result.status == ReadStatus::TooLarge) result.messages.push_back(kMemoryAllocationError);
    result.diagnostics.push_back(Format("libheif: %s", ErrorStatusName(error)));
    return result;
  }
  const int width = Heif()->heif_image_handle_get_width(handle.get()), height = Heif()->heif_image_handle_get_height(handle.get());
  const bool alpha = Heif()->heif_image_handle_has_alpha_channel(handle.get()) != 0;
  const int depth = Heif()->heif_image_handle_get_luma_bits_per_pixel(handle.get());
  const int images = Heif()->heif_context_get_number_of_top_level_images(context.get());
  result.frame = FrameSize{width, height};
  result.infoText = Format("image type: HEIF \nwidth: %d \nheight: %d \nbit depth: %d \nalpha channel: %s \n"
                           "compression: HEVC \nimages: %d \n",
                           width, height, depth, alpha ? "yes" : "no", images);
  if (traits.orientation != 1) result.infoText += Format("orientation: %d (applied) \n", traits.orientation);
  if (width <= 0 || height <= 0) {
    result.status = ReadStatus::BadHeader;
    result.diagnostics.push_back("libheif: the primary image has no size");
    return result;
  }
  if (!WithinLimit(static_cast<uint32_t>(width), static_cast<uint32_t>(height))) {
    result.Fail(ReadStatus::TooLarge, kMemoryAllocationError);
    return result;
  }
  // The depth is the coded stream's: an image without one has no stream to decode, and the
  // library would still make planes for it, of gigabytes for a few kilobytes of damaged file.
  if (depth <= 0) {
    result.status = ReadStatus::Damaged;
    result.diagnostics.push_back("libheif: the primary image has no bit depth");
    return result;
  }
  std::unique_ptr<heif_decoding_options, OptionsFree> options(Heif()->heif_decoding_options_alloc());
  if (!options) {
    result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
    return result;
  }
  options->convert_hdr_to_8bit = 1;
  heif_image* imageOut = nullptr;
  error = Heif()->heif_decode_image(handle.get(), &imageOut, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
  std::unique_ptr<heif_image, ImageRelease> image(imageOut);
  if (error.code != heif_error_Ok || !image) {
    result.status = error.code == heif_error_Ok ? ReadStatus::Damaged : StatusOf(error);
    if (result.status == ReadStatus::BadHeader) result.status = ReadStatus::Damaged;
    if (result.status == ReadStatus::NoMemory) result.messages.push_back(kMemoryAllocationError);
    result.diagnostics.push_back(Format("libheif: %s", ErrorStatusName(error)));
    return result;
  }
  int stride = 0;
  const uint8_t* pixels = Heif()->heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  if (pixels == nullptr || Heif()->heif_image_get_width(image.get(), heif_channel_interleaved) != width ||
      Heif()->heif_image_get_height(image.get(), heif_channel_interleaved) != height ||
      Heif()->heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8 ||
      stride < width * (alpha ? 4 : 3)) {
    result.status = ReadStatus::Damaged;
    result.diagnostics.push_back("libheif: the decoded image is not the size its header says");
    return result;
  }
  // A picture of one channel comes out with the same red, green and blue.
  bool grey = traits.monochrome;
  for (int y = 0; grey && y < height; ++y) {
    const uint8_t* p = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
    for (int x = 0; grey && x < width; ++x, p += alpha ? 4 : 3) grey = p[0] == p[1] && p[1] == p[2];
  }
  result.dib = HeifPixelsToDib(pixels, static_cast<std::size_t>(stride), alpha ? 4 : 3, width, height, grey, 1);
  if (!result.dib) result.Fail(ReadStatus::NoMemory, kMemoryAllocationError);
  return result;
}

}  // namespace ravelle
