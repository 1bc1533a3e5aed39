#include "formats/metafile/metafile.h"

#include <fstream>

#include "image/byte_reader.h"
#include "image/format.h"
#include "image/limits.h"

namespace ravelle {
namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr uint32_t kEmrHeader = 1;
constexpr uint32_t kEmrEof = 14;
constexpr std::size_t kPlaceableBytes = 22;
constexpr std::size_t kWmfHeaderBytes = 18;
constexpr const char* kReadingTitle = "Error Reading MetaFile";

struct WmfHeader {
  uint16_t type = 0, headerWords = 0, version = 0;
  uint32_t sizeWords = 0;
  uint16_t objects = 0;
  uint32_t largestRecord = 0;
};

WmfHeader ReadWmfHeader(ByteReader r) {
  WmfHeader h;
  h.type = r.U16le();
  h.headerWords = r.U16le();
  h.version = r.U16le();
  h.sizeWords = r.U32le();
  h.objects = r.U16le();
  h.largestRecord = r.U32le();
  return h;
}

std::string WmfInfoText(const char* type, const WmfHeader& h) {
  return Format("image type: %s \nversion: 0x%x \nfile size: %lu \nnumber of objects: %u \nmax record size: %lu", type,
                h.version, static_cast<unsigned long>(h.sizeWords), h.objects, static_cast<unsigned long>(h.largestRecord));
}

// The records of a WMF (header first), as the platform would take them: the header must be a
// memory or disk metafile of 9 words; records run to the end-of-file record or the data's end.
std::shared_ptr<MetafileImage> ParseWmf(std::span<const uint8_t> bits) {
  if (bits.size() < kWmfHeaderBytes) return nullptr;
  const WmfHeader h = ReadWmfHeader(ByteReader(bits));
  if ((h.type != 1 && h.type != 2) || h.headerWords != 9) return nullptr;
  auto mf = std::make_shared<MetafileImage>();
  mf->bytes.assign(bits.begin(), bits.end());
  mf->objectCount = h.objects;
  std::size_t at = kWmfHeaderBytes;
  while (at + 6 <= bits.size() && mf->records.size() < kMaxMetafileRecords) {
    ByteReader r(bits.subspan(at));
    const uint64_t bytes = uint64_t{r.U32le()} * 2;
    const uint16_t function = r.U16le();
    if (function == 0 || bytes < 6) break;
    const uint64_t size = std::min<uint64_t>(bytes, bits.size() - at);
    mf->records.push_back({function, static_cast<uint32_t>(at), static_cast<uint32_t>(size)});
    at += size;
  }
  return mf;
}

MetafileRect ReadRect(ByteReader& r) {
  MetafileRect rect;
  rect.left = r.I32le();
  rect.top = r.I32le();
  rect.right = r.I32le();
  rect.bottom = r.I32le();
  return rect;
}

// An enhanced metafile: the header record, then records of 8 bytes or more, in whole dwords,
// up to the end-of-file record.
std::shared_ptr<MetafileImage> ParseEmf(std::span<const uint8_t> bits) {
  ByteReader r(bits);
  if (r.U32le() != kEmrHeader) return nullptr;
  const uint32_t headerSize = r.U32le();
  if (headerSize < 88 || headerSize > bits.size()) return nullptr;
  auto mf = std::make_shared<MetafileImage>();
  EnhancedHeader& h = mf->header;
  h.bounds = ReadRect(r);
  h.frame = ReadRect(r);
  if (r.U32le() != kEmfSignature) return nullptr;
  h.version = r.U32le();
  h.bytes = r.U32le();
  h.records = r.U32le();
  h.handles = r.U16le();
  r.Skip(10);
  h.palEntries = r.U32le();
  h.deviceWidth = r.I32le();
  h.deviceHeight = r.I32le();
  h.millimetresWidth = r.I32le();
  h.millimetresHeight = r.I32le();
  if (headerSize >= 100) {
    r.Skip(8);
    h.openGL = r.U32le() != 0;
  }
  mf->enhanced = true;
  mf->windowsRecords = false;
  mf->bounds = h.bounds;
  mf->bytes.assign(bits.begin(), bits.end());
  std::size_t at = 0;
  while (at + 8 <= bits.size() && mf->records.size() < kMaxMetafileRecords) {
    ByteReader rec(bits.subspan(at));
    const uint32_t type = rec.U32le();
    const uint32_t size = rec.U32le();
    if (size < 8 || size % 4 != 0 || size > bits.size() - at) break;
    mf->records.push_back({type, static_cast<uint32_t>(at), size});
    at += size;
    if (type == kEmrEof) {
      ByteReader eof(bits.subspan(at - size + 8, size - 8));
      const uint32_t count = eof.U32le();
      const uint32_t offset = eof.U32le();
      if (count > 0 && offset >= 8 && offset <= size && (size - offset) / 4 >= count) {
        ByteReader entries(bits.subspan(at - size + offset, std::size_t{count} * 4));
        for (uint32_t i = 0; i < count; ++i) {
          MetafilePaletteEntry e;
          e.red = entries.U8();
          e.green = entries.U8();
          e.blue = entries.U8();
          e.flags = entries.U8();
          mf->palette.push_back(e);
        }
      }
      break;
    }
  }
  return mf;
}

// A WMF turned into an enhanced metafile whose picture is `width` x `height` hundredths of a
// millimetre: its records are kept and played with the picture mapped onto the target.
void TakeAsEnhanced(MetafileImage& mf, uint32_t width, uint32_t height) {
  mf.enhanced = true;
  EnhancedHeader& h = mf.header;
  h.frame = {0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)};
  // A screen of 96 dots per inch is the reference device.
  h.deviceWidth = 1024;
  h.deviceHeight = 768;
  h.millimetresWidth = 271;   // 1024 / 96 inch
  h.millimetresHeight = 203;
  const auto pixels = [](uint32_t hundredths) { return static_cast<int32_t>(uint64_t{hundredths} * 96 / 2540); };
  h.bounds = {0, 0, std::max(0, pixels(width) - 1), std::max(0, pixels(height) - 1)};
  h.version = 0x10000;
  h.bytes = static_cast<uint32_t>(mf.bytes.size());
  h.records = static_cast<uint32_t>(mf.records.size() + 2);
  h.handles = static_cast<uint16_t>(std::min<uint32_t>(0xFFFF, mf.objectCount + 1u));
  mf.bounds = h.bounds;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<uint64_t>(size) > kMaxFileBytes) return std::nullopt;
  in.seekg(0);
  std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
  if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) return std::nullopt;
  return bytes;
}

}  // namespace

ReadResult ReadWindowsMetafile(std::span<const uint8_t> file, bool placeable) {
  ReadResult result;
  if (!placeable) {
    const WmfHeader h = ReadWmfHeader(ByteReader(file));
    result.infoText = WmfInfoText("WMF", h);
    result.frame = FrameSize{1, 1};
    result.metafile = ParseWmf(file);
    if (!result.metafile) result.status = ReadStatus::BadHeader;
    return result;
  }

  ByteReader r(file);
  std::array<uint8_t, kPlaceableBytes> header{};
  r.Read(header);
  ByteReader box(header);
  box.Skip(6);
  MetafileRect bounds;
  bounds.left = box.I16le();
  bounds.top = box.I16le();
  bounds.right = box.I16le();
  bounds.bottom = box.I16le();
  const uint16_t unitsPerInch = box.U16le();
  const int64_t width = int64_t{bounds.right} - bounds.left + 1;
  const int64_t height = int64_t{bounds.bottom} - bounds.top + 1;
  const std::string sizeLines = Format("\nwidth: %u \nheight: %u \nunits per inch: %u", static_cast<unsigned>(width),
                                       static_cast<unsigned>(height), unitsPerInch);
  result.frame = FrameSize{width, height};
  const WmfHeader h = ReadWmfHeader(ByteReader(file.subspan(std::min(file.size(), kPlaceableBytes))));
  result.infoText = WmfInfoText("placeable WMF", h) + sizeLines;

  const uint64_t wanted = uint64_t{h.sizeWords} * 2;
  if (wanted > kMaxDibBytes) {
    result.status = ReadStatus::TooLarge;
    result.messages.push_back({"MemoryAllocation Error", "", kMbIconHand});
    return result;
  }
  const auto bits = file.subspan(std::min(file.size(), kPlaceableBytes));
  const auto got = bits.first(std::min<std::size_t>(bits.size(), wanted));
  if (got.empty()) {
    result.status = ReadStatus::Truncated;
    result.messages.push_back({"Unable to read metafile bits", "", kMbIconHand});
    return result;
  }
  result.metafile = ParseWmf(got);
  if (!result.metafile) {
    result.status = ReadStatus::BadHeader;
    return result;
  }
  MetafileImage& mf = *result.metafile;
  mf.isPlaceable = true;
  mf.placeableHeader = header;
  mf.bounds = bounds;
  mf.unitsPerInch = unitsPerInch;
  if (got.size() < wanted) result.status = ReadStatus::Truncated;
  return result;
}

ReadResult ReadEnhancedMetafileBytes(std::span<const uint8_t> file, const std::string& path) {
  ReadResult result;
  if ((result.metafile = ParseEmf(file))) {
    const EnhancedHeader& h = result.metafile->header;
    result.infoText = EnhancedInfoText(h);
    result.frame = FrameSize{int64_t{h.bounds.right} - h.bounds.left + 1, int64_t{h.bounds.bottom} - h.bounds.top + 1};
    return result;
  }
  if ((result.metafile = ParseWmf(file))) {
    TakeAsEnhanced(*result.metafile, 1000, 1000);
  } else {
    ByteReader r(file);
    if (r.U32le() != kPlaceableKey) {
      result.status = ReadStatus::BadHeader;
      result.messages.push_back({"Not a Valid Metafile", path, kMbOk});
      return result;
    }
    r.Skip(2);
    const int32_t left = r.I16le(), top = r.I16le(), right = r.I16le(), bottom = r.I16le();
    const uint16_t unitsPerInch = r.U16le();
    result.metafile = unitsPerInch == 0 ? nullptr : ParseWmf(file.subspan(std::min(file.size(), kPlaceableBytes)));
    if (!result.metafile) {
      result.status = ReadStatus::BadHeader;
      result.messages.push_back({"Failed to Create MetaFile from Bits", kReadingTitle, kMbOk});
      return result;
    }
    const auto extent = [&](int32_t from, int32_t to) {
      return static_cast<uint32_t>(static_cast<uint32_t>(to - from) * 2540u) / unitsPerInch;
    };
    TakeAsEnhanced(*result.metafile, extent(left, right), extent(top, bottom));
  }
  const EnhancedHeader& h = result.metafile->header;
  result.infoText = EnhancedInfoText(h);
  result.frame = FrameSize{int64_t{h.bounds.right} - h.bounds.left + 1, int64_t{h.bounds.bottom} - h.bounds.top + 1};
  return result;
}

ReadResult ReadEnhancedMetafile(const std::string& path) {
  const auto bytes = ReadWholeFile(path);
  if (!bytes) {
    ReadResult result;
    result.status = ReadStatus::OpenFailed;
    result.messages.push_back({"Error Opening File", path, kMbOk});
    return result;
  }
  return ReadEnhancedMetafileBytes(*bytes, path);
}

std::string EnhancedInfoText(const EnhancedHeader& h) {
  return Format(
      "image type: Enhanced Metafile EMF \nversion: 0x%lx \nfile size: %lu \nnumber of records: %lu \nnumber of "
      "handles: %u\nwidth: %u \nheight: %u \n",
      static_cast<unsigned long>(h.version), static_cast<unsigned long>(h.bytes), static_cast<unsigned long>(h.records),
      h.handles, static_cast<unsigned>(int64_t{h.bounds.right} - h.bounds.left + 1),
      static_cast<unsigned>(int64_t{h.bounds.bottom} - h.bounds.top + 1));
}

}  // namespace ravelle
