#include "port/surface.h"

#include "image/packed_dib.h"

namespace ravelle {

TileGrid TilesCovering(Size area, Size tile) {
  if (tile.width <= 0 || tile.height <= 0 || area.width <= 0 || area.height <= 0) return {};
  return {(area.width + tile.width - 1) / tile.width, (area.height + tile.height - 1) / tile.height};
}

void Surface::TileDib(const PackedDib& dib, Rect area, Size tile) {
  const TileGrid grid = TilesCovering({area.width, area.height}, tile);
  for (int row = 0; row < grid.rows; ++row) {
    for (int column = 0; column < grid.columns; ++column) {
      StretchDib(dib, {area.left + column * tile.width, area.top + row * tile.height, tile.width, tile.height});
    }
  }
}

}  // namespace ravelle
