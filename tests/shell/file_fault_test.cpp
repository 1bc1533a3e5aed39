// Conversions and file operations when the disk fails under them or the target is refused: a full
// file system (a file size limit on this process), a read-only folder, a target folder removed
// meanwhile, an existing name, or the file itself. The original is never lost or changed, no
// half-written file is left behind, the user is told, and the viewer keeps its image.
#include <linux/capability.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <map>

#include "formats/registry.h"
#include "support/shell_fixture.h"

namespace ravelle {
namespace {

namespace fs = std::filesystem;

// Every file under a folder with its bytes.
std::map<std::string, std::vector<uint8_t>> Contents(const fs::path& folder) {
  std::map<std::string, std::vector<uint8_t>> files;
  std::error_code error;
  if (!fs::exists(folder, error)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).string()] = test::ReadBytes(entry.path());
  }
  return files;
}

// ReadOnlyHere makes the file's own folder read-only; Existing and Itself need no fault at all.
enum class Fault { DiskFull, ReadOnlyFolder, FolderRemoved, ReadOnlyHere, Existing, Itself };

struct FaultCase {
  const char* name;
  int command;  // 0: every writer's conversion in turn
  Fault fault;
  bool otherFileSystem = false;  // the target on /dev/shm, so that a move copies
};

class FaultTest : public test::ShellTest, public ::testing::WithParamInterface<FaultCase> {
 protected:
  // Where the fault sends the file: over old.out on a full disk, into a read-only folder, or into
  // a folder that is gone (two levels, since file operations create the last one).
  fs::path Target(Fault fault, const std::string& name) {
    switch (fault) {
      case Fault::DiskFull: case Fault::Existing: return dir / "old.out";
      case Fault::ReadOnlyFolder: return dir / "ro" / name;
      case Fault::FolderRemoved:
        fs::create_directories(dir / "gone");
        fs::remove(dir / "gone");
        return dir / "gone" / "sub" / name;
      case Fault::ReadOnlyHere: return dir / name;
      case Fault::Itself: return dir / "a.bmp";
    }
    return {};
  }

  // Runs the command under the fault. Folder permissions hold even for root (which otherwise
  // writes into read-only folders): the capabilities that override them are set aside meanwhile.
  void Run(Fault fault, int command) {
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const sighandler_t previous = ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{fault == Fault::DiskFull ? 100 : saved.rlim_cur, saved.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    if (fault == Fault::ReadOnlyHere) ::chmod(dir.path().c_str(), 0555);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    const bool held = ::syscall(SYS_capget, &header, caps) == 0;
    __user_cap_data_struct reduced[2] = {caps[0], caps[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    const bool changed = held && ::syscall(SYS_capset, &header, reduced) == 0;
    Viewer({command});
    if (changed) ::syscall(SYS_capset, &header, caps);
    if (fault == Fault::ReadOnlyHere) ::chmod(dir.path().c_str(), 0755);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);
  }

  // Nothing in the folder changed, the viewer still shows the same image, and the last message
  // is an error.
  void ExpectIntact(const std::string& what) {
    EXPECT_EQ(Contents(dir.path()), before_) << what;
    EXPECT_EQ(LastMessage().style, kMbIconHand) << what << ": " << LastMessage().text;
    EXPECT_TRUE(port.viewerOpen) << what;
    EXPECT_EQ(image.FilePath, "a.bmp") << what;
    ASSERT_TRUE(image.Handle) << what;
    EXPECT_TRUE(std::ranges::equal(image.Handle.Bytes(), shown_.Bytes())) << what;
  }

  std::map<std::string, std::vector<uint8_t>> before_;
  PackedDib shown_;
};

TEST_P(FaultTest, TheSourceStaysAndNothingIsLeftBehind) {
  const FaultCase& c = GetParam();
  MakeFiles({"a.bmp"}, 96, 64, 24);
  test::WriteBytes(dir / "old.out", {'o', 'l', 'd'});
  fs::create_directory(dir / "ro");
  ::chmod((dir / "ro").c_str(), 0555);
  LoadAndOpenViewer("a.bmp");
  before_ = Contents(dir.path());
  shown_ = image.Handle.Clone();
  if (c.command == 0) {
    for (const FormatRow& row : Formats()) {
      for (const WriterVariant& writer : row.writers) {
        if (writer.write == nullptr) continue;
        port.saveAnswers = {Target(c.fault, "x." + std::string(row.extension)).string()};
        Run(c.fault, writer.commandId);
        ExpectIntact(std::string(writer.cliName));
      }
    }
    return;
  }
  fs::path target = Target(c.fault, "x.bmp");
  if (c.otherFileSystem) {
    struct stat here {}, there {};
    if (::stat(dir.path().c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 || here.st_dev == there.st_dev) {
      GTEST_SKIP() << "no second file system at hand";
    }
    target = fs::path("/dev/shm") / ("ravelle-fault-" + std::to_string(::getpid())) / "x.bmp";
    fs::create_directory(target.parent_path());
  }
  port.saveAnswers = {target.string()};
  Run(c.fault, c.command);
  ExpectIntact(c.name);
  if (c.otherFileSystem) {
    EXPECT_TRUE(Contents(target.parent_path()).empty());
    fs::remove_all(target.parent_path());
  }
}

constexpr int kCopy = IdOf(CommandId::CopyFile), kMove = IdOf(CommandId::MoveFile), kRename = IdOf(CommandId::RenameFile);

INSTANTIATE_TEST_SUITE_P(Faults, FaultTest,
                         ::testing::Values(FaultCase{"ConvertOnFullDisk", 0, Fault::DiskFull},
                                           FaultCase{"ConvertIntoReadOnlyFolder", 0, Fault::ReadOnlyFolder},
                                           FaultCase{"ConvertIntoRemovedFolder", 0, Fault::FolderRemoved},
                                           FaultCase{"CopyOnFullDisk", kCopy, Fault::DiskFull},
                                           FaultCase{"CopyIntoReadOnlyFolder", kCopy, Fault::ReadOnlyFolder},
                                           FaultCase{"CopyIntoRemovedFolder", kCopy, Fault::FolderRemoved},
                                           FaultCase{"CopyOntoItself", kCopy, Fault::Itself},
                                           FaultCase{"MoveIntoReadOnlyFolder", kMove, Fault::ReadOnlyFolder},
                                           FaultCase{"MoveIntoRemovedFolder", kMove, Fault::FolderRemoved},
                                           FaultCase{"MoveAcrossFileSystemsOnFullDisk", kMove, Fault::DiskFull, true},
                                           FaultCase{"MoveOntoAnExistingName", kMove, Fault::Existing},
                                           FaultCase{"RenameIntoReadOnlyFolder", kRename, Fault::ReadOnlyFolder},
                                           FaultCase{"RenameOutOfReadOnlyFolder", kRename, Fault::ReadOnlyHere}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ravelle
