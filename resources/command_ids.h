// The command ids of the viewer's menu that the shell and the tools handle. The Convert/Save
// ids belong to the writers and are kept in formats/registry.cpp; the menu resource uses both,
// and a test checks that every id of the menu is one or the other.
#pragma once

namespace ravelle {

#define RAVELLE_COMMAND_IDS(X)                                                                   \
  X(CloseFile, 102) X(PrintNormal, 103) X(PrintLarge, 104) X(FullScreen, 105) X(CenterTile, 106) \
  X(PrintTiled, 108) X(About, 109) X(FileInfo, 110) X(DeleteFile, 111) X(Slideshow, 114)         \
  X(NextFile, 115) X(LastFile, 116) X(Rotate90, 119) X(Rotate180, 120) X(Rotate270, 121)         \
  X(FlipLeftRight, 122) X(FlipTopBottom, 123) X(InvertColors, 124) X(Standard256, 126)           \
  X(Grayscale, 127) X(Monochrome, 128) X(Standard16, 129) X(TrueColor, 130)                      \
  X(RestoreOriginal, 131) X(Best256, 132) X(Best32, 133) X(Best16, 134) X(TiffHeading, 138)      \
  X(Brighten, 170) X(Darken, 171) X(Help, 180) X(Web216, 183) X(MoveFile, 189) X(CopyFile, 190)  \
  X(RenameFile, 191) X(CopyPicture, 192)

enum class CommandId : int {
#define RAVELLE_COMMAND_ENUMERATOR(name, id) name = id,
  RAVELLE_COMMAND_IDS(RAVELLE_COMMAND_ENUMERATOR)
#undef RAVELLE_COMMAND_ENUMERATOR
};

inline constexpr CommandId kCommandIds[] = {
#define RAVELLE_COMMAND_ENTRY(name, id) CommandId::name,
    RAVELLE_COMMAND_IDS(RAVELLE_COMMAND_ENTRY)
#undef RAVELLE_COMMAND_ENTRY
};

constexpr int IdOf(CommandId command) { return static_cast<int>(command); }

// Whether a menu id is one of the Tools commands.
constexpr bool IsToolCommand(CommandId command) {
  switch (command) {
    case CommandId::Rotate90: case CommandId::Rotate180: case CommandId::Rotate270:
    case CommandId::FlipLeftRight: case CommandId::FlipTopBottom: case CommandId::InvertColors:
    case CommandId::Standard256: case CommandId::Grayscale: case CommandId::Monochrome:
    case CommandId::Standard16: case CommandId::TrueColor: case CommandId::RestoreOriginal:
    case CommandId::Best256: case CommandId::Best32: case CommandId::Best16: case CommandId::Brighten:
    case CommandId::Darken: case CommandId::Web216:
      return true;
    default:
      return false;
  }
}

}  // namespace ravelle
