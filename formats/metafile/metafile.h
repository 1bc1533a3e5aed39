// Windows metafiles (plain and placeable) and enhanced metafiles: the parsed picture and its
// readers. A metafile is kept as its bytes and the list of its records, each checked to lie
// inside the data; the player in view/ runs the records.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "formats/common/read_result.h"

namespace ravelle {

struct MetafileRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const MetafileRect&, const MetafileRect&) = default;
};

// One record: its type (a WMF function number or an EMF record type) and where its bytes are.
struct MetafileRecord {
  uint32_t type = 0;
  uint32_t offset = 0;  // into MetafileImage::bytes
  uint32_t size = 0;    // in bytes, the whole record with its size and type
};

// The fields of an enhanced metafile's header that are used.
struct EnhancedHeader {
  MetafileRect bounds;      // device units of the reference device, inclusive
  MetafileRect frame;       // hundredths of a millimetre, inclusive
  uint32_t version = 0, bytes = 0, records = 0;
  uint16_t handles = 0;
  uint32_t palEntries = 0;
  int32_t deviceWidth = 0, deviceHeight = 0;            // the reference device in pixels
  int32_t millimetresWidth = 0, millimetresHeight = 0;  // and in millimetres
  bool openGL = false;
};

struct MetafilePaletteEntry {
  uint8_t red = 0, green = 0, blue = 0, flags = 0;
  friend bool operator==(const MetafilePaletteEntry&, const MetafilePaletteEntry&) = default;
};

struct MetafileImage {
  bool enhanced = false;         // shown as an enhanced metafile
  bool windowsRecords = true;    // the records are WMF records (also for a WMF taken as EMF)
  std::vector<uint8_t> bytes;    // the records, from the metafile header on (after a placeable header)
  std::vector<MetafileRecord> records;
  uint16_t objectCount = 0;      // WMF: the size of the handle table

  bool isPlaceable = false;
  std::array<uint8_t, 22> placeableHeader{};
  MetafileRect bounds;           // a placeable box, or an EMF's bounds
  int unitsPerInch = 0;

  EnhancedHeader header;         // for an enhanced metafile (made up for a converted WMF)
  std::vector<MetafilePaletteEntry> palette;  // the EMF's palette, from its end-of-file record
};

// Bounds on what one file can make the reader and the player allocate.
inline constexpr std::size_t kMaxMetafileRecords = 4'000'000;
inline constexpr std::size_t kMaxMetafileObjects = 65'535;

// A plain (`placeable` clear) or placeable WMF from the file's bytes. The result's `metafile`
// holds the picture, or is null when the records cannot be read.
ReadResult ReadWindowsMetafile(std::span<const uint8_t> file, bool placeable);

// A file named .emf: an enhanced metafile, else a plain or placeable WMF converted to one.
ReadResult ReadEnhancedMetafile(const std::string& path);
ReadResult ReadEnhancedMetafileBytes(std::span<const uint8_t> file, const std::string& path);

// The enhanced metafile's file-information text.
std::string EnhancedInfoText(const EnhancedHeader& header);

}  // namespace ravelle
