// Conversions and file operations when the disk fails under them: a full file system (a file
// size limit on this process), a read-only target folder, a target folder removed meanwhile, and
// sources that vanish or change while they are read. The original is never lost or changed, no
// half-written file is left behind, the user is told, and the viewer keeps its image.
#include <linux/capability.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <map>
#include <thread>

#include "formats/registry.h"
#include "shell/load.h"
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

// While it lives, no file of this process grows past `bytes`: writes beyond fail as on a full disk.
class DiskFull {
 public:
  explicit DiskFull(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{bytes, saved_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~DiskFull() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  sighandler_t previous_{};
};

// While it lives, folder permissions hold for this process even when it runs as root (which
// otherwise writes into read-only folders): the capabilities that override them are set aside.
class PermissionsHold {
 public:
  PermissionsHold() {
    header_.version = _LINUX_CAPABILITY_VERSION_3;
    if (::syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    changed_ = ::syscall(SYS_capset, &header_, reduced) == 0;
  }
  ~PermissionsHold() {
    if (changed_) ::syscall(SYS_capset, &header_, saved_);
  }

 private:
  __user_cap_header_struct header_{};
  __user_cap_data_struct saved_[2]{};
  bool changed_ = false;
};

enum class Fault { DiskFull, ReadOnlyFolder, FolderRemoved };

class FaultTest : public test::ShellTest {
 protected:
  // Loads a.bmp into the open viewer and remembers what must survive.
  void Start() {
    MakeFiles({"a.bmp"}, 96, 64, 24);
    test::WriteBytes(dir / "old.out", {'o', 'l', 'd'});
    fs::create_directory(dir / "ro");
    ::chmod((dir / "ro").c_str(), 0555);
    LoadAndOpenViewer("a.bmp");
    before_ = Contents(dir.path());
    shown_ = image.Handle.Clone();
  }

  // Where the fault sends the file: over old.out on a full disk, into a read-only folder, or into
  // a folder that is gone (two levels, since file operations create the last one).
  fs::path Target(Fault fault, const std::string& name) {
    switch (fault) {
      case Fault::DiskFull: return dir / "old.out";
      case Fault::ReadOnlyFolder: return dir / "ro" / name;
      case Fault::FolderRemoved:
        fs::create_directories(dir / "gone");
        fs::remove(dir / "gone");
        return dir / "gone" / "sub" / name;
    }
    return {};
  }

  void Run(Fault fault, std::initializer_list<int> commands) {
    std::optional<DiskFull> full;
    if (fault == Fault::DiskFull) full.emplace(100);
    PermissionsHold permissions;
    Viewer(commands);
  }

  // Nothing in the folder changed, the viewer still shows the same image, and the last message
  // is one of these.
  void ExpectIntact(const std::vector<std::string>& messages, const std::string& what) {
    EXPECT_EQ(Contents(dir.path()), before_) << what;
    EXPECT_NE(std::find(messages.begin(), messages.end(), LastMessage().text), messages.end())
        << what << ": " << LastMessage().text;
    EXPECT_EQ(LastMessage().style, kMbIconHand) << what;
    EXPECT_TRUE(port.viewerOpen) << what;
    EXPECT_EQ(image.FilePath, "a.bmp") << what;
    ASSERT_TRUE(image.Handle) << what;
    EXPECT_TRUE(std::ranges::equal(image.Handle.Bytes(), shown_.Bytes())) << what;
  }

  std::map<std::string, std::vector<uint8_t>> before_;
  PackedDib shown_;
};

class ConversionFaultTest : public FaultTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(ConversionFaultTest, EveryWriterLeavesNoFileAndTheOldOneIntact) {
  Start();
  for (const FormatRow& row : Formats()) {
    for (const WriterVariant& writer : row.writers) {
      if (writer.write == nullptr) continue;
      port.saveAnswers = {Target(GetParam(), "x." + std::string(row.extension)).string()};
      Run(GetParam(), {writer.commandId});
      ExpectIntact({"Error Creating File", "Error Converting File"}, std::string(writer.cliName));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, ConversionFaultTest,
                         ::testing::Values(Fault::DiskFull, Fault::ReadOnlyFolder, Fault::FolderRemoved),
                         [](const auto& info) {
                           return std::string(std::array{"DiskFull", "ReadOnlyFolder", "FolderRemoved"}[static_cast<int>(info.param)]);
                         });

struct OperationCase {
  const char* name;
  CommandId command;
  Fault fault;
  bool otherFileSystem;  // the target on /dev/shm, so that a move copies
};

class FileOperationFaultTest : public FaultTest, public ::testing::WithParamInterface<OperationCase> {};

TEST_P(FileOperationFaultTest, TheSourceStaysAndNothingIsLeftBehind) {
  const OperationCase& c = GetParam();
  Start();
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
  Run(c.fault, {IdOf(c.command)});
  ExpectIntact({"Error Copying File", "Error Moving File:\n\nFile name may already exist."}, c.name);
  if (c.otherFileSystem) {
    EXPECT_TRUE(Contents(target.parent_path()).empty());
    fs::remove_all(target.parent_path());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FileOperationFaultTest,
    ::testing::Values(OperationCase{"CopyOnFullDisk", CommandId::CopyFile, Fault::DiskFull, false},
                      OperationCase{"CopyIntoReadOnlyFolder", CommandId::CopyFile, Fault::ReadOnlyFolder, false},
                      OperationCase{"CopyIntoRemovedFolder", CommandId::CopyFile, Fault::FolderRemoved, false},
                      OperationCase{"MoveIntoReadOnlyFolder", CommandId::MoveFile, Fault::ReadOnlyFolder, false},
                      OperationCase{"MoveIntoRemovedFolder", CommandId::MoveFile, Fault::FolderRemoved, false},
                      OperationCase{"MoveAcrossFileSystemsOnFullDisk", CommandId::MoveFile, Fault::DiskFull, true},
                      OperationCase{"RenameIntoReadOnlyFolder", CommandId::RenameFile, Fault::ReadOnlyFolder, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FaultTest, ARenameOutOfAReadOnlyFolderKeepsTheFile) {
  Start();
  ::chmod(dir.path().c_str(), 0555);
  port.saveAnswers = {(dir / "b.bmp").string()};
  Run(Fault::ReadOnlyFolder, {IdOf(CommandId::RenameFile)});
  ::chmod(dir.path().c_str(), 0755);
  ExpectIntact({"Error Moving File:\n\nFile name may already exist."}, "rename");
}

TEST_F(FaultTest, AFileDeletedAfterListingIsReportedAndSteppingGoesOn) {
  MakeFiles({"a.bmp", "b.bmp", "c.bmp"});
  LoadAndOpenViewer("a.bmp");
  fs::remove(dir / "b.bmp");
  Viewer({CommandId::NextFile});
  EXPECT_EQ(LastMessage(), (Message{"Error Opening File", "", kMbIconHand}));
  EXPECT_EQ(image.Kind, ImageKind::NoImage);
  EXPECT_TRUE(port.viewerOpen);
  Viewer({CommandId::NextFile});
  EXPECT_EQ(image.FilePath, "c.bmp");
  EXPECT_TRUE(image.Handle);
}

// One thread keeps cutting the file short and writing it whole again while it is loaded; every
// load ends with an image or with none, never out of bounds (the sanitizer build checks that).
TEST_F(FaultTest, AFileChangedWhileItIsReadGivesAnImageOrNone) {
  const PackedDib drawn = test::DrawDib(200, 150, 8);
  test::WriteBitmapFile(dir / "a.bmp", drawn);
  const std::vector<uint8_t> whole = test::ReadBytes(dir / "a.bmp");
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (std::size_t n = 0; !done; ++n) {
      const std::size_t length = n % 2 == 0 ? whole.size() : (n * 7919) % whole.size();
      if (std::FILE* file = std::fopen((dir / "a.bmp").c_str(), "r+b")) {
        (void)!::ftruncate(::fileno(file), static_cast<off_t>(length));
        std::fwrite(whole.data(), 1, length, file);
        std::fclose(file);
      }
    }
  });
  for (int i = 0; i < 200; ++i) {
    CurrentImage loaded;
    HeadlessPort quiet;
    LoadSelectedFile(loaded, quiet, (dir / "a.bmp").string());
    if (loaded.Handle) {
      EXPECT_EQ(loaded.Handle.Width(), 200);
      EXPECT_EQ(loaded.Handle.Height(), 150);
    }
  }
  done = true;
  writer.join();
}

}  // namespace
}  // namespace ravelle
