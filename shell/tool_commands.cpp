#include "shell/tool_commands.h"

namespace ravelle {

// No Tools command is built yet.
bool RunToolCommand(CurrentImage&, ShellState&, Port&, int) { return false; }

}  // namespace ravelle
