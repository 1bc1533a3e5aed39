// Every malformed corpus file as it is, and every valid one cut short and with seeded byte flips,
// loaded in a child process under a time limit and a memory bound that name the failing case.
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "headless/headless_port.h"
#include "headless/recording_surface.h"
#include "shell/load.h"
#include "support/test_support.h"
#include "view/metafile_player.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RAVELLE_SWEEP_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define RAVELLE_SWEEP_ASAN 1
#endif
#ifdef RAVELLE_SWEEP_ASAN
#include <sanitizer/allocator_interface.h>
#include <sanitizer/lsan_interface.h>
#endif

namespace ravelle {
namespace {

// The sanitizer build tries 16 cuts and 16 flips of every valid file; the optimised build, whose
// suite runs on every change, 3 of each (RAVELLE_SWEEP=full asks for all of them there too).
bool FullSweep() {
  const char* env = std::getenv("RAVELLE_SWEEP");
#ifdef RAVELLE_SWEEP_ASAN
  env = "full";
#endif
  return env != nullptr && std::string_view(env) == "full";
}

// Per case, a load that takes longer hangs: seconds of processor time (which a busy machine does
// not stretch) and, for a load that waits, of the clock.
constexpr unsigned kCaseSeconds = 60;
constexpr unsigned kCaseWallSeconds = 600;
constexpr std::size_t kMemoryBound = std::size_t{2} << 30;  // bytes a child may take beyond its parent's

struct Case {
  std::string what;  // "as is", "cut to 123", "flips 4@17 ..."
  std::vector<uint8_t> bytes;
};

std::vector<Case> CasesOf(const test::CorpusEntry& entry, const std::vector<uint8_t>& bytes, int variations) {
  std::vector<Case> cases;
  if (entry.expected != "valid") {
    cases.push_back({"as is", bytes});
    return cases;
  }
  for (int k = 0; k < variations; ++k) {
    const std::size_t length = bytes.size() * static_cast<std::size_t>(k) / static_cast<std::size_t>(variations);
    cases.push_back({"cut to " + std::to_string(length), {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)}});
  }
  // Flips of one to four bytes each; every other case keeps them in the first 512 bytes, where the
  // headers and tables are.
  std::seed_seq seed(entry.path.begin(), entry.path.end());
  std::mt19937 random(seed);
  for (int k = 0; k < variations && !bytes.empty(); ++k) {
    Case flipped{"flips", bytes};
    const std::size_t range = k % 2 == 0 ? std::min<std::size_t>(bytes.size(), 512) : bytes.size();
    for (int n = 0; n <= k % 4; ++n) {
      const std::size_t at = random() % range;
      const auto mask = static_cast<uint8_t>(1 + random() % 255);
      flipped.bytes[at] ^= mask;
      flipped.what += " " + std::to_string(at) + "^" + std::to_string(mask);
    }
    cases.push_back(std::move(flipped));
  }
  return cases;
}

#ifdef RAVELLE_SWEEP_ASAN
// The sanitizer's allocator cannot run under an address-space limit, so the child counts the bytes
// it holds instead and stops when they pass the bound.
std::atomic<int64_t> liveBytes{0};
void CountMalloc(const volatile void*, std::size_t size) {
  if (liveBytes.fetch_add(static_cast<int64_t>(size)) + static_cast<int64_t>(size) > static_cast<int64_t>(kMemoryBound)) {
    static const char text[] = "damaged-file sweep: over the memory bound\n";
    (void)!::write(2, text, sizeof text - 1);
    ::_exit(3);
  }
}
void CountFree(const volatile void* block) {
  liveBytes.fetch_sub(static_cast<int64_t>(__sanitizer_get_allocated_size(const_cast<const void*>(block))));
}
#endif

void BoundMemory() {
  rlimit core{0, 0};
  ::setrlimit(RLIMIT_CORE, &core);
#ifdef RAVELLE_SWEEP_ASAN
  __sanitizer_install_malloc_and_free_hooks(CountMalloc, CountFree);
#else
  std::size_t pages = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%zu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  const rlim_t bound = pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) + kMemoryBound;
  rlimit space{bound, bound};
  ::setrlimit(RLIMIT_AS, &space);
#endif
}

// What the viewer does with a file: the dialog's load into the preview and, for a metafile, a
// playing onto a surface.
void LoadOne(const std::string& path) {
  HeadlessPort port;
  CurrentImage image;
  image.PreviewBox = {320, 320};
  LoadSelectedFile(image, port, path);
  if (image.Metafile) {
    RecordingSurface surface({64, 64});
    if (image.Metafile->enhanced) {
      PlayEnhancedMetafile(&surface, image.Metafile.get(), {0, 0, 63, 63}, nullptr, nullptr);
    } else {
      PlayWindowsMetafile(surface, *image.Metafile);
    }
  }
}

// Runs the cases in a child; empty when all went through, otherwise what went wrong and where.
std::string RunCases(const std::vector<Case>& cases, const std::string& path) {
  auto* current = static_cast<std::atomic<int>*>(
      ::mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  if (current == MAP_FAILED) return "no shared memory";
  current->store(-1);
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    BoundMemory();
    for (std::size_t i = 0; i < cases.size(); ++i) {
      current->store(static_cast<int>(i));
      {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(cases[i].bytes.data()), static_cast<std::streamsize>(cases[i].bytes.size()));
      }
      const itimerval processor{{0, 0}, {kCaseSeconds, 0}}, off{};
      ::setitimer(ITIMER_PROF, &processor, nullptr);
      ::alarm(kCaseWallSeconds);
      LoadOne(path);
      ::alarm(0);
      ::setitimer(ITIMER_PROF, &off, nullptr);
    }
#ifdef RAVELLE_SWEEP_ASAN
    if (__lsan_do_recoverable_leak_check() != 0) ::_exit(4);
#endif
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  const int at = current->load();
  ::munmap(current, sizeof(std::atomic<int>));
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  std::string what = at >= 0 ? cases[static_cast<std::size_t>(at)].what : "before the first case";
  if (WIFSIGNALED(status)) return what + (WTERMSIG(status) == SIGALRM || WTERMSIG(status) == SIGPROF ? ": hangs" : ": signal " + std::to_string(WTERMSIG(status)));
  const int code = WEXITSTATUS(status);
  return what + (code == 3 ? ": over the memory bound" : code == 4 ? ": leaks" : ": exit status " + std::to_string(code));
}

class DamagedFileSweep : public ::testing::TestWithParam<const char*> {};

TEST_P(DamagedFileSweep, NoCrashHangOrUnboundedMemory) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "no corpus at " << test::CorpusDir();
  const int variations = FullSweep() ? 16 : 3;
  test::TempDir temp;
  int files = 0;
  std::size_t cases = 0;
  for (const test::CorpusEntry& entry : test::CorpusManifest()) {
    if (entry.format != GetParam()) continue;
    const std::filesystem::path source = test::CorpusDir() / entry.path;
    const std::vector<Case> tried = CasesOf(entry, test::ReadBytes(source), variations);
    const std::string failure = RunCases(tried, (temp / ("case" + source.extension().string())).string());
    EXPECT_EQ(failure, "") << entry.path;
    ++files;
    cases += tried.size();
  }
  std::printf("[ sweep    ] %s: %d files, %zu cases\n", GetParam(), files, cases);
}

INSTANTIATE_TEST_SUITE_P(Formats, DamagedFileSweep,
                         ::testing::Values("BMP", "GIF", "JPEG", "PNG", "TIFF", "PCX", "TGA", "IFF", "ICO", "ICO(OS/2)",
                                           "CUR", "ANI", "SunIcon", "WMF", "EMF", "WebP", "AVIF", "HEIF", "JXL"),
                         [](const auto& info) { return std::string(info.param) == "ICO(OS/2)" ? "ICOOS2" : info.param; });

}  // namespace
}  // namespace ravelle
