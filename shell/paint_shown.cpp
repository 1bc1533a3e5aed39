#include "shell/paint_shown.h"

#include "shell/menu_state.h"

namespace ravelle {

PaintSource PaintSourceOf(const CurrentImage& image) {
  PaintSource source;
  source.kind = image.Kind;
  source.raster = image.Kind == ImageKind::AnimatedGif ? &image.FrameDib : &image.Handle;
  source.metafile = image.Metafile.get();
  source.isPlaceable = image.IsPlaceable;
  source.metafileBounds = {image.MetafileBounds.width, image.MetafileBounds.height};
  source.unitsPerInch = image.UnitsPerInch;
  return source;
}

PaintLayout PaintLayoutOf(const ShellState& shell, Port& port) {
  return {shell.TileMode, {shell.ScrollOriginX, shell.ScrollOriginY}, port.Screen()};
}

void PaintShownImage(const CurrentImage& image, const ShellState& shell, Port& port, Surface& surface,
                     PaintTarget target) {
  if (target == PaintTarget::Viewer) UpdateViewerMenu(image, shell, port);
  PaintImageWindow(PaintSourceOf(image), PaintLayoutOf(shell, port), surface, target);
}

void DrawShownFrame(const CurrentImage& image, const PackedDib& dib, Surface& surface, int mode, bool withCaption) {
  DrawFrameInWindow(dib, image.Kind, withCaption ? std::string_view(image.FilePath) : std::string_view(), surface, mode);
}

}  // namespace ravelle
