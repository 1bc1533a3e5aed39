// A drawing surface: the client area of a window (or an image standing in for one) that the
// painting logic draws into. Coordinates are pixels from the top-left corner.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "port/port.h"

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


// ---- Vector drawing, for the metafile player. Coordinates are device pixels as doubles.

struct PointF {
  double x = 0;
  double y = 0;
  friend bool operator==(const PointF&, const PointF&) = default;
};
using Contour = std::vector<PointF>;

// How drawn pixels combine with those already there: the sixteen binary raster operations,
// numbered as the system numbers them (1 black ... 13 copy ... 16 white).
enum class Mix : uint8_t {
  Black = 1, NotMergePen, MaskNotPen, NotCopyPen, MaskPenNot, Not, XorPen, NotMaskPen,
  MaskPen, NotXorPen, Nop, MergeNotPen, CopyPen, MergePenNot, MergePen, White,
};

struct ShapePen {
  Colour colour;
  double width = 1;  // pixels; 0 draws one pixel wide
  enum class Dash : uint8_t { Solid, Dash, Dot, DashDot, DashDotDot } dash = Dash::Solid;
  enum class Cap : uint8_t { Round, Square, Flat } cap = Cap::Round;
  enum class Join : uint8_t { Round, Bevel, Miter } join = Join::Round;
  double miterLimit = 10;
};

// A solid colour, or a pattern repeated from the device's origin: an 8 x 8 bit pattern
// (`bits`, top row first, bit 7 the left pixel; set bits in `colour`, clear ones in
// `background` or left alone when `transparent`), or an image.
struct ShapeBrush {
  enum class Kind : uint8_t { Solid, Bits, Image } kind = Kind::Solid;
  Colour colour;
  uint8_t bits[8] = {};
  Colour background;
  bool transparent = false;
  const PackedDib* image = nullptr;
};

// One step of a clip: the area so far replaced by, cut to, or cut by the contours.
struct ClipStep {
  enum class Op : uint8_t { Replace, Intersect, Exclude, Union } op = Op::Replace;
  std::vector<Contour> contours;
  bool winding = false;
};

struct TextFont {
  std::string face;
  double height = 12;       // pixels: the em when `cellHeight` is clear, else ascent + descent
  bool cellHeight = false;
  int weight = 400;
  bool italic = false, underline = false, strikeOut = false;
  double width = 0;         // average character width in pixels; 0 for the face's own
};

struct TextExtent {
  double width = 0, ascent = 0, descent = 0;
};

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

  // ---- The metafile player's primitives. The default surface draws nothing.
  // Contours filled by the even-odd or winding rule with `fill` (when given) and outlined
  // with `pen` (when given, closed or open), combined by `mix`.
  virtual void DrawShape(std::span<const Contour> /*contours*/, bool /*closed*/, bool /*winding*/,
                         const ShapeBrush* /*fill*/, const ShapePen* /*pen*/, Mix /*mix*/) {}
  // The clip for what follows: the steps applied in order to the whole surface; none clears it.
  virtual void SetClip(std::span<const ClipStep> /*steps*/) {}
  // The part `source` of the image (pixels from its top-left corner) into the parallelogram
  // with corners `dest[0]` (top left), `dest[1]` (top right), `dest[2]` (bottom left).
  virtual void DrawDibPart(const PackedDib& /*dib*/, Rect /*source*/, const PointF (&/*dest*/)[3], Mix /*mix*/) {}
  virtual TextExtent MeasureRun(const std::u16string& /*text*/, const TextFont& /*font*/) { return {}; }
  // Text with its baseline starting at `origin`, turned `angle` degrees anticlockwise;
  // `advances`, when not empty, place each character that far after the one before.
  virtual void DrawRun(const std::u16string& /*text*/, const TextFont& /*font*/, PointF /*origin*/, double /*angle*/,
                       Colour /*colour*/, std::span<const double> /*advances*/) {}
};

// The tiles TileDib draws: columns and rows of copies of `tile` that cover `area` from its
// top-left corner (none for an empty tile or area).
struct TileGrid {
  int columns = 0;
  int rows = 0;
};
TileGrid TilesCovering(Size area, Size tile);

}  // namespace ravelle
