// Moving, copying and renaming the shown file through the Save As dialog, and adding files the
// program writes to the browsing dialog's file list.
#pragma once

#include <filesystem>
#include <string>

#include "port/port.h"

namespace ravelle {

enum class FileMode { Move = 0, Copy = 1, Rename = 2 };

// Asks for the destination of the file `source` in `folder`, creates the destination's folder
// when needed, moves, copies or renames the file, adds the new name to the file list when it
// lands in the list's folder, and reports. True when the file was moved, copied or renamed;
// false when the user cancelled or the operation failed (after its message).
bool FileOperation(Port& port, const std::string& folder, const std::string& source, const std::string& extension,
                   FileMode mode);

// The Save As dialog of a file operation: title, filters, the name the box starts with, and
// the folder it starts in.
SaveRequest FileOperationRequest(const std::string& folder, const std::string& source, const std::string& extension,
                                 FileMode mode);

// Adds `file` to the file list when it lies in the current folder and the list lacks it.
void AddToFileList(Port& port, const std::filesystem::path& file);

// Renames a file without ever replacing another: false when the destination exists or the move
// fails. Works across file systems by copying and removing the source.
bool MoveFileNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

// Copies a file over any existing destination, which is replaced only when the whole copy was
// written.
bool CopyFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// The process's current folder ("" when it cannot be read).
std::string CurrentFolder();

}  // namespace ravelle
