// The record of the one image the program shows, and the small operations every part shares:
// the palette of an image, repacking few-colour images into fewer bits, fitting the preview
// frame, and releasing the image.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/common/read_result.h"
#include "resources/command_ids.h"
#include "port/port.h"
#include "image/image_kind.h"
#include "image/packed_dib.h"

namespace ravelle {

// A logical-palette entry (PALETTEENTRY).
struct PaletteEntry {
  uint8_t peRed = 0;
  uint8_t peGreen = 0;
  uint8_t peBlue = 0;
  uint8_t peFlags = 0;
  friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

// A parsed metafile; its reader and player live with the metafile formats.
struct MetafileImage;
// The frames of an animated GIF, read with the GIF reader.
class FrameSequence;

// One step of an animated cursor: which frame to show, and for how long (in 1/60 s).
struct AniStep {
  int frame = 0;
  int rate = 0;
};

struct AniSequence {
  std::vector<PackedDib> frames;
  std::vector<AniStep> steps;
  std::size_t position = 0;
};

// What the file system said about the shown file when it was loaded.
struct FileFindData {
  uint64_t size = 0;
  int64_t lastWriteTime = 0;  // seconds since the epoch
  bool readOnly = false;
};

struct CurrentImage {
  PackedDib Handle;                   // the raster image (kinds Bitmap, IconSequence, AnimatedCursor)
  std::shared_ptr<MetafileImage> Metafile; // the metafile (kinds WindowsMetafile, EnhancedMetafile)
  ImageKind Kind = ImageKind::NoImage;
  PackedDib SavedImage;               // the unreduced image while a reduction is shown
  bool ReductionApplied = false;
  int BrightnessLevel = 0;
  std::vector<RgbQuad> SavedColors = std::vector<RgbQuad>(256);
  int PendingOrientation = 0;

  std::string FilePath;               // as the file list gives it, relative to the current folder
  std::string Extension;              // up to three characters after the last dot
  FileFindData FindData;
  uint64_t FileSize = 0;
  std::vector<uint8_t> File;          // the open file's bytes, kept only for an IconSequence

  ReadStatus LoadStatus = ReadStatus::Ok;  // why the last read ended as it did
  std::string InfoText;
  int BitCount = 0;
  int ColorsUsed = 0;
  std::vector<PaletteEntry> Palette;
  int DisplayDepth = 24;
  int FitSide = 0;                    // a thumbnail's longer side: readers may give the picture reduced to it
  bool Reduced = false;               // the picture was given smaller than the file's, for FitSide

  int Delay = 0;                      // animation step in 1/100 s
  bool Timer = false;                 // the dialog's animation timer runs
  int IconIndex = 0;
  int IconCount = 0;
  AniSequence AniTables;
  PackedDib FrameDib;                 // the composed frame of an AnimatedGif
  std::shared_ptr<FrameSequence> Animation;  // its frames, stepped by the animation timer
  // The Tools commands run on the AnimatedGif since the viewer opened, in order: every frame shown
  // is a Bitmap copy of the composed frame with these applied (Convert/Save writes it).
  std::vector<CommandId> FrameTools;

  Rect MetafileBounds;
  int UnitsPerInch = 0;
  bool IsPlaceable = false;

  bool Viewer = false;                // the viewer window is open
  bool FullScreen = false;
  bool Slideshow = false;

  Size PreviewBox;                    // 40 x 20 dialog base units at (0, 0) of the preview pane
  Rect PreviewFrame;                  // where in PreviewBox the image is drawn
  FrameSize PreviewFitSize{1, 1};     // the size PreviewFrame was last fitted to
};

// The palette entries of an image's colour table; empty for images of more than 8 bits.
std::vector<PaletteEntry> CreateDibPalette(const PackedDib& dib);

// Repacks an 8-bit image of at most 16 colours into 4 or 1 bits, and a 4-bit image of at
// most 2 colours into 1 bit, in place. Other images are left as they are.
void CompactDibDepth(PackedDib& dib);

// The preview frame for an image of the given size, inside `box`.
Rect PreviewFrameFor(Size box, int64_t width, int64_t height);

// Sets PreviewFrame for an image of the given size and, when the viewer is closed, draws the
// empty frame in the preview pane. Does nothing for an AnimatedGif.
void FitPreviewFrame(CurrentImage& image, Port& port, int64_t width, int64_t height);

// BitCount and ColorsUsed from the header of Handle; ColorsUsed is 1 for a 1-bit image whose
// two colours are pure black and pure white, in either order.
void TakeBitCountAndColors(CurrentImage& image);
bool IsBlackAndWhite(const CurrentImage& image);

// Frees the shown image (stopping its animation first) and the saved unreduced image.
void ReleaseImage(CurrentImage& image, Port& port);

}  // namespace ravelle
