// Playing Windows and enhanced metafiles on a surface: a device context (mapping, world
// transform, objects, clip, path, text and drawing state) that runs the records one by one.
// Records the player does not know, or that do not fit their record, are passed over.
#pragma once

#include <string>

#include "formats/metafile/metafile.h"
#include "port/port.h"
#include "port/surface.h"

namespace ravelle {

// The device context a Windows metafile starts from, as its caller set it up.
struct WmfStart {
  int mapMode = 1;  // MM_TEXT
  Point viewportOrigin;
  Size viewportExtent{1, 1};
};

// Plays every record of a Windows metafile.
void PlayWindowsMetafile(Surface& surface, const MetafileImage& metafile, const WmfStart& start = {});

// Plays an enhanced metafile with its picture frame mapped onto `rect` (inclusive edges).
// Without a surface it only reads the header: `info` and `bounds`, when given, are filled in.
// 1 when `metafile` is null; 0 when it holds no enhanced metafile; else 1 after playing.
int PlayEnhancedMetafile(Surface* surface, const MetafileImage* metafile, MetafileRect rect, std::string* info,
                         MetafileRect* bounds);

}  // namespace ravelle
