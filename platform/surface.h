// A drawing surface: the client area of a window (or an image standing in for one) that the
// painting logic draws into. Coordinates are pixels from the top-left corner.
#pragma once

#include <cstdint>
#include <string>

#include "platform/port.h"

namespace ravelle {

class PackedDib;

struct Colour {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  friend bool operator==(const Colour&, const Colour&) = default;
};

inline constexpr Colour kWhite{255, 255, 255};
inline constexpr Colour kBlack{0, 0, 0};

class Surface {
 public:
  virtual ~Surface() = default;

  virtual Size ClientSize() const = 0;
  // Dots per inch of the device, horizontally and vertically.
  virtual Size DotsPerInch() const { return {96, 96}; }
  // The button-face colour of the desktop.
  virtual Colour ButtonFace() const { return {192, 192, 192}; }

  virtual void FillRect(Rect area, Colour colour) = 0;
  // A one-pixel outline along the inside edges of `area`, not filled.
  virtual void FrameRect(Rect area, Colour colour) = 0;
  // The whole image stretched into `dest` by nearest neighbour (rows dropped or repeated,
  // never blended). Draws nothing for an empty destination.
  virtual void StretchDib(const PackedDib& dib, Rect dest) = 0;
  // Copies of the image, each stretched to `tile`, from the top-left corner of `area` row by
  // row, as far as `area` reaches; the last row and column are cut at its edge. The default
  // draws one StretchDib per tile.
  virtual void TileDib(const PackedDib& dib, Rect area, Size tile);

  // The size the text takes in the surface's font, and drawing it centred in `area`.
  virtual Size MeasureText(const std::string& text) = 0;
  virtual void DrawText(const std::string& text, Rect area) = 0;
};

// The tiles TileDib draws: columns and rows of copies of `tile` that cover `area` from its
// top-left corner (none for an empty tile or area).
struct TileGrid {
  int columns = 0;
  int rows = 0;
};
TileGrid TilesCovering(Size area, Size tile);

}  // namespace ravelle
