// Shared by the metafile fuzz targets: a surface that takes every drawing call and draws
// nothing, so the reader and the whole player run on each input.
#pragma once

#include "formats/metafile/metafile.h"
#include "port/surface.h"
#include "view/metafile_player.h"

namespace ravelle::fuzz {

class NullSurface : public Surface {
 public:
  Size ClientSize() const override { return {64, 64}; }
  void FillRect(Rect, Colour) override {}
  void FrameRect(Rect, Colour) override {}
  void StretchDib(const PackedDib&, Rect) override {}
  Size MeasureText(const std::string&) override { return {8, 16}; }
  void DrawText(const std::string&, Rect) override {}
  TextExtent MeasureRun(const std::u16string& text, const TextFont& font) override {
    return {font.height * 0.5 * static_cast<double>(text.size()), font.height * 0.8, font.height * 0.2};
  }
};

inline void Play(const ReadResult& result) {
  if (!result.metafile) return;
  NullSurface surface;
  if (result.metafile->enhanced) {
    PlayEnhancedMetafile(&surface, result.metafile.get(), {0, 0, 63, 63}, nullptr, nullptr);
  } else {
    PlayWindowsMetafile(surface, *result.metafile, {8, {0, 0}, {64, 64}});
    PlayWindowsMetafile(surface, *result.metafile);
  }
}

}  // namespace ravelle::fuzz
