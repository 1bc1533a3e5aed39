#include "resources/menu.h"

namespace ravelle {
namespace {

MenuItem Command(const char* label, int id) { return {label, id, false, {}}; }
MenuItem Separator() { return {}; }
MenuItem Popup(const char* label, std::vector<MenuItem> items) { return {label, 0, false, std::move(items)}; }

// A TIFF compression: its strips and tiles commands.
MenuItem TiffEntry(const char* label, int strips, int tiles, const char* tilesLabel = "&Tiles") {
  return Popup(label, {Command("&Strips", strips), Command(tilesLabel, tiles)});
}

MenuItem BuildMenu() {
  MenuItem heading = Command("Select TIFF Compression Format:", 138);
  heading.grayed = true;
  return Popup("Menu", {
      Popup("&File", {Command("Close &File", 102), Separator(), Command("&Move File", 189),
                      Command("&Copy File", 190), Command("&Delete File", 111), Command("&Rename File", 191),
                      Separator(), Command("&About Ravelle", 109), Separator(), Command("Co&py", 192)}),
      Command("File &Info", 110),
      Command("&Center", 106),
      Command("F&ull Screen", 105),
      Popup("&Print", {Command("Print &Normal", 103), Command("Print &Large", 104), Command("Print &Tiled", 108)}),
      Popup("Con&vert/Save", {
          Popup("&BMP", {Command("&Uncompressed", 117), Command("&RLE Compression", 173),
                         Popup("&Bitfields", {Command("RGB 5 &5 5", 178), Command("RGB 5 &6 5", 179)})}),
          Popup("&GIF", {Command("&No Interlacing", 136), Command("&8-8-4-2 Interlacing", 165)}),
          Popup("&IFF", {Popup("&Standard File Structure",
                               {Command("&Uncompressed", 174), Command("&Packer Compression", 175)}),
                         Popup("&HAM (Hold and Modify)",
                               {Command("&Uncompressed", 176), Command("&Packer Compression", 177)})}),
          Popup("&JPG", {Command("&Standard File Structure", 118), Command("&Progressive File Structure", 166)}),
          Command("&PCX", 172),
          Popup("P&NG", {Command("&No Interlacing", 163), Command("&ADAM7 Interlacing", 164)}),
          Popup("&TGA", {Command("&Uncompressed", 168), Command("&RLE Compression", 169)}),
          Popup("TI&F", {heading, Separator(),
                         TiffEntry("     &Uncompressed (1)", 139, 154),
                         TiffEntry("     &Huffman RLE (2) (monochrome only)", 142, 155),
                         TiffEntry("     Group &3 Fax (3) (monochrome only)", 143, 156),
                         TiffEntry("     Group &4 Fax (4) (monochrome only)", 144, 157),
                         TiffEntry("     &L Z W (5)", 140, 158),
                         TiffEntry("     TIFF &JPEG (7)", 141, 159),
                         TiffEntry("     &Packbits (32773)", 145, 160, "&Tile"),
                         TiffEntry("     &Deflate (32946)", 146, 161)}),
          Popup("&WebP, AVIF, JPEG XL", {Popup("&WebP", {Command("&Lossy (Quality 90)", 200), Command("L&ossless", 201)}),
                                         Command("&AVIF (Quality 80)", 202),
                                         Popup("JPEG &XL", {Command("&Lossy (Distance 1)", 203), Command("L&ossless", 204)})}),
      }),
      Popup("T&ools", {Command("&Brighten Image", 170), Command("&Darken Image", 171), Separator(),
                       Command("Rotate Clockwise &90\u00B0", 119), Command("Rotate Image 1&80\u00B0", 120),
                       Command("Rotate Clockwise 2&70\u00B0", 121), Command("&Invert Colors", 124),
                       Command("Flip Image &Left-Right", 122), Command("Flip Image &Top-Bottom", 123), Separator(),
                       Command("True &Color", 130), Command("&256 Best Colors", 132),
                       Command("&32 Best Colors", 133), Command("&16 Best Colors", 134), Separator(),
                       Command("2&56 Standard Windows Colors", 126), Command("216 &Netscape Colors", 183),
                       Command("1&6 Standard Windows Colors", 129), Command("&Grayscale (256 Colors)", 127),
                       Command("&Monochrome (2 Colors)", 128), Separator(),
                       Command("&Restore Original Image", 131)}),
      Popup("&Slideshow", {Command("&Show Slideshow", 114)}),
      Command("&Last File", 116),
      Command("&Next File", 115),
      Command("&Help", 180),
  });
}

}  // namespace

const MenuItem& ViewerMenuResource() {
  static const MenuItem menu = BuildMenu();
  return menu;
}

MenuItem* MenuItemAt(MenuItem& root, const MenuPath& path) {
  MenuItem* item = &root;
  for (const int position : path) {
    if (position < 0 || static_cast<std::size_t>(position) >= item->items.size()) return nullptr;
    item = &item->items[static_cast<std::size_t>(position)];
  }
  return item;
}

const MenuItem* MenuItemAt(const MenuItem& root, const MenuPath& path) {
  return MenuItemAt(const_cast<MenuItem&>(root), path);
}

const MenuItem* FindMenuCommand(const MenuItem& root, int id) {
  if (root.id == id && !root.IsSeparator()) return &root;
  for (const MenuItem& item : root.items) {
    if (const MenuItem* found = FindMenuCommand(item, id)) return found;
  }
  return nullptr;
}

MenuPath MenuPathOf(const MenuItem& root, int id) {
  for (std::size_t k = 0; k < root.items.size(); ++k) {
    const MenuItem& item = root.items[k];
    MenuPath below = item.id == id && !item.IsSeparator() ? MenuPath{} : MenuPathOf(item, id);
    if (item.id == id || !below.empty()) {
      below.insert(below.begin(), static_cast<int>(k));
      return below;
    }
  }
  return {};
}

}  // namespace ravelle
