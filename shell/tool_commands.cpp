#include "shell/tool_commands.h"

namespace ravelle {

// No Tools command is built yet.
bool RunToolCommand(CurrentImage&, ShellState&, Port&, int) { return false; }
bool UndoBrightness(CurrentImage&) { return false; }
bool UndoOrientation(CurrentImage&) { return false; }

}  // namespace ravelle
