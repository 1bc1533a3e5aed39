#include "shell/menu_state.h"

#include "formats/registry.h"
#include "resources/menu.h"
#include "shell/convert.h"

namespace ravelle {

MenuPath WriterMenuPath(std::string_view cliName, int up) {
  const WriterVariant* writer = FindWriterByName(cliName);
  MenuPath path = writer ? MenuPathOf(ViewerMenuResource(), writer->commandId) : MenuPath{};
  path.resize(path.size() > static_cast<std::size_t>(up) ? path.size() - static_cast<std::size_t>(up) : 0);
  return path;
}

namespace {

bool EnabledFor(std::string_view cliName, const WriterTarget& target) {
  const WriterVariant* writer = FindWriterByName(cliName);
  return writer != nullptr && writer->EnabledFor(target);
}

void UpdateBmpEntries(const WriterTarget& target, Port& port) {
  const int bits = target.bitCount;
  port.SetMenuItemEnabled(menu::kBmpRle, EnabledFor("bmp-rle", target));
  port.SetMenuItemEnabled(menu::kBmpBitfields, EnabledFor("bmp-bitfields", target));
  // The two Bitfields commands are always enabled; only their sub-menu is greyed.
  port.SetMenuItemEnabled(menu::kBitfields555, true);
  port.SetMenuItemEnabled(menu::kBitfields565, true);
  port.SetMenuItemLabel(menu::kBmpRle, bits == 4 ? "&RLE4 Compression" : bits == 8 ? "&RLE8 Compression" : "&RLE Compression");
  // The Bitfields labels follow the depths that offer them (none counts as 32 bits).
  if (bits == 16) {
    port.SetMenuItemLabel(menu::kBitfields555, "RGB 5 &5 5");
    port.SetMenuItemLabel(menu::kBitfields565, "RGB 5 &6 5");
  } else if (bits == 32 || bits == 0) {
    port.SetMenuItemLabel(menu::kBitfields555, "RGB &8 8 8");
    port.SetMenuItemLabel(menu::kBitfields565, "RGB &10 10 10");
  }
}

}  // namespace

void UpdateViewerMenu(const CurrentImage& image, const ShellState& shell, Port& port) {
  const int D = image.DisplayDepth;
  const int B = image.BitCount;
  const int C = image.ColorsUsed;
  // An animated GIF's frame shown is a Bitmap to the Tools and Convert/Save (BitCount and
  // ColorsUsed are its composed frame's).
  const bool bitmap = image.Kind == ImageKind::Bitmap || image.Kind == ImageKind::AnimatedGif;
  const bool blackAndWhite = C == 1 && B == 1;
  const bool paletteDisplay = D < 8;
  const auto set = [&](const MenuPath& item, bool enabled) { port.SetMenuItemEnabled(item, enabled); };

  set(menu::kJpg, true);
  set(menu::kTrueColor, !paletteDisplay && D > 8 && B > 8 && bitmap);
  set(menu::kBest256, !paletteDisplay && bitmap && B > 4 && !(C >= 1 && C <= 32 && B <= 8));
  set(menu::kBest32, !paletteDisplay && bitmap && B > 4 && !(C >= 1 && C <= 16 && B <= 8));
  set(menu::kBest16, !paletteDisplay && bitmap && !blackAndWhite);
  set(menu::kStandard256, !paletteDisplay && bitmap && !blackAndWhite);
  set(menu::kNetscape216, !paletteDisplay && bitmap && !blackAndWhite);
  set(menu::kStandard16, bitmap && !blackAndWhite);
  port.SetMenuItemLabel(menu::kGrayscale, paletteDisplay ? "&Grayscale (4 colors)" : "&Grayscale (256 colors)");
  const bool brightness = !paletteDisplay && bitmap && (C > 1 || B > 1);
  set(menu::kBrighten, brightness);
  set(menu::kDarken, brightness);
  const ConvertSource source = ImageToConvert(image);
  const WriterTarget target{source.kind == ImageKind::Bitmap && *source.image ? source.image->BitCount() : 0,
                            C == 1 || shell.MonochromeChosen};
  set(menu::kTiffHuffman, EnabledFor("tiff-huffman", target));
  set(menu::kTiffGroup3, EnabledFor("tiff-g3", target));
  set(menu::kTiffGroup4, EnabledFor("tiff-g4", target));
  port.SetMenuItemLabel(menu::kCenterTile, shell.TileMode == 0 ? "&Tile" : "&Center");
  set(menu::kConvertSave, bitmap);
  set(menu::kCopyPicture, image.Kind == ImageKind::AnimatedGif ? bool(image.FrameDib) : bool(image.Handle));
  set(menu::kTools, bitmap);
  UpdateBmpEntries(target, port);
  port.DrawMenuBar();
}

}  // namespace ravelle
