#include "shell/file_operation.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <span>
#include <vector>

#include "image/output_file.h"

namespace ravelle {
namespace {

namespace fs = std::filesystem;

struct ModeTexts {
  const char* title;
  const char* success;
  const char* successTitle;
  const char* failure;
};

ModeTexts TextsFor(FileMode mode) {
  switch (mode) {
    case FileMode::Move:
      return {"Move \"%s\" To:", "%s moved to:\n\n%s", "Move File", "Error Moving File:\n\nFile name may already exist."};
    case FileMode::Copy:
      return {"Copy \"%s\" To:", "%s copied to:\n\n%s", "Copy File", "Error Copying File"};
    case FileMode::Rename:
      return {"Rename \"%s\":", "%s renamed:\n\n%s", "Rename File", "Error Moving File:\n\nFile name may already exist."};
  }
  return {};
}

std::string Substitute(const char* pattern, const std::string& first, const std::string& second = {}) {
  std::string out;
  int used = 0;
  for (const char* p = pattern; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      out += used++ == 0 ? first : second;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

// Copies a file's bytes into a new temporary file beside `to`; nothing on any read or write
// error. The caller commits it or links it into place.
std::optional<OutputFile> CopyBeside(const fs::path& from, const fs::path& to) {
  auto output = OutputFile::Create(to);
  if (!output) return std::nullopt;
  const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0) return std::nullopt;
  std::vector<char> buffer(1 << 16);
  bool copied = true;
  for (;;) {
    const ssize_t got = ::read(source, buffer.data(), buffer.size());
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      copied = false;
      break;
    }
    output->Write(std::span(reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<std::size_t>(got)));
  }
  ::close(source);
  if (!copied) return std::nullopt;
  return output;
}

bool IsRegularFile(const fs::path& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Copies into a new file beside the destination and links it into place, which fails when
// the destination exists.
bool CopyNoReplace(const fs::path& from, const fs::path& to) {
  auto output = CopyBeside(from, to);
  if (!output) return false;
  std::FILE* stream = output->Stream();
  if (std::fflush(stream) != 0 || std::ferror(stream) || ::fsync(::fileno(stream)) != 0) return false;
  output->CloseStream();
  struct stat st {};
  if (::stat(from.c_str(), &st) != 0 || ::chmod(output->TempPath().c_str(), st.st_mode & 07777) != 0) return false;
  return ::link(output->TempPath().c_str(), to.c_str()) == 0;  // the temporary name goes with `output`
}

}  // namespace

std::string CurrentFolder() {
  std::error_code error;
  const fs::path folder = fs::current_path(error);
  return error ? std::string() : folder.string();
}

SaveRequest FileOperationRequest(const std::string& folder, const std::string& source, const std::string& extension,
                                 FileMode mode) {
  SaveRequest request;
  request.owner = Owner::Viewer;
  request.title = Substitute(TextsFor(mode).title, source);
  const std::string pattern = "*." + extension;
  request.filters = {{pattern, pattern}, {"All Files (*.*)", "*.*"}};
  request.initialName = mode == FileMode::Move ? source : std::string();
  request.initialFolder = folder;
  request.defaultExtension = extension;
  request.overwritePrompt = mode == FileMode::Copy;
  request.stayInFolder = mode == FileMode::Rename;
  request.createsFolder = mode == FileMode::Move;
  return request;
}

bool MoveFileNoReplace(const fs::path& from, const fs::path& to) {
  if (!IsRegularFile(from)) return false;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EEXIST) return false;
  if (errno == EINVAL || errno == ENOSYS) {
    // A file system without the no-replace rename: a hard link refuses an existing name too.
    if (::link(from.c_str(), to.c_str()) == 0) {
      if (::unlink(from.c_str()) == 0) return true;
      ::unlink(to.c_str());
      return false;
    }
    if (errno != EXDEV && errno != EPERM) return false;
  } else if (errno != EXDEV) {
    return false;
  }
  // Another file system: copy, then remove the source.
  if (!CopyNoReplace(from, to)) return false;
  if (::unlink(from.c_str()) != 0) {
    ::unlink(to.c_str());
    return false;
  }
  return true;
}

bool CopyFileReplacing(const fs::path& from, const fs::path& to) {
  if (!IsRegularFile(from)) return false;
  std::error_code error;
  if (fs::exists(to, error) && fs::equivalent(from, to, error)) return false;  // a file onto itself
  auto output = CopyBeside(from, to);
  return output && output->Commit();
}

void AddToFileList(Port& port, const fs::path& file) {
  const std::string folder = CurrentFolder();
  if (folder.empty()) return;
  std::error_code error;
  const fs::path parent = fs::absolute(file, error).parent_path();
  // Only a file directly in the list's folder belongs in the list; one in a sub-folder does not.
  if (error || parent.lexically_normal() != fs::path(folder).lexically_normal()) return;
  const std::string name = file.filename().string();
  if (port.FileListFindExact(name) < 0) port.FileListAdd(name);
}

bool FileOperation(Port& port, const std::string& folder, const std::string& source, const std::string& extension,
                   FileMode mode) {
  const auto chosen = port.AskSaveFileName(FileOperationRequest(folder, source, extension, mode));
  if (!chosen) return false;
  const fs::path destination = *chosen;
  if (destination.has_parent_path()) {
    std::error_code ignored;  // an existing folder is fine
    fs::create_directory(destination.parent_path(), ignored);
  }
  const fs::path from = fs::path(folder) / source;
  const bool done = mode == FileMode::Copy ? CopyFileReplacing(from, destination) : MoveFileNoReplace(from, destination);
  const ModeTexts texts = TextsFor(mode);
  if (!done) {
    port.ShowMessage(Owner::Viewer, {texts.failure, "", kMbIconHand});
    return false;
  }
  AddToFileList(port, destination);
  port.ShowMessage(Owner::Viewer, {Substitute(texts.success, source, *chosen), texts.successTitle, kMbOk});
  return true;
}

}  // namespace ravelle
