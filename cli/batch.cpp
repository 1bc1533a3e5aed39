#include "cli/batch.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

namespace ravelle::cli {
namespace {

// The progress line, "ravelle-cli: DONE/TOTAL FILE", redrawn in place and erased before any
// other output; nothing unless standard error is a terminal.
class Progress {
 public:
  explicit Progress(std::size_t total) : total_(total), shown_(total > 1 && ::isatty(STDERR_FILENO) == 1) {}
  ~Progress() { Erase(); }

  void Show(std::size_t done, const std::string& file) {
    if (!shown_) return;
    // Cut to the terminal's width: a line that wrapped could not be erased.
    std::string line = "ravelle-cli: " + std::to_string(done) + "/" + std::to_string(total_) + " " + file;
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 && line.size() >= size.ws_col) {
      line.resize(size.ws_col - 1);
    }
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }
  void Erase() {
    if (!drawn_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
  }

 private:
  std::size_t total_;
  bool shown_;
  bool drawn_ = false;
};

FileReport RunGuarded(const std::vector<std::string>& names, std::size_t index,
                      const std::function<FileReport(std::size_t)>& work) {
  try {
    return work(index);
  } catch (const std::bad_alloc&) {
    return {"", "ravelle-cli: " + names[index] + ": not enough memory\n", 1};
  }
}

}  // namespace

void Print(const FileReport& report) {
  for (int part = 0; part < 2; ++part) {
    const bool err = (part == 0) == report.errFirst;
    std::fputs((err ? report.err : report.out).c_str(), err ? stderr : stdout);
    std::fflush(err ? stderr : stdout);
  }
}

int DefaultJobs() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

int RunBatch(const std::vector<std::string>& names, int jobs, const std::function<FileReport(std::size_t)>& work) {
  const std::size_t count = names.size();
  const std::size_t threads = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(jobs, 1)), 1, std::max<std::size_t>(count, 1));

  std::vector<std::optional<FileReport>> reports(count);
  std::mutex mutex;
  std::condition_variable finished;
  std::size_t done = 0;
  std::atomic<std::size_t> next{0};
  std::vector<std::jthread> pool;
  if (threads > 1) {
    for (std::size_t t = 0; t < threads; ++t) {
      pool.emplace_back([&] {
        for (std::size_t i; (i = next++) < count;) {
          FileReport report = RunGuarded(names, i, work);
          {
            const std::lock_guard lock(mutex);
            reports[i] = std::move(report);
            ++done;
          }
          finished.notify_one();
        }
      });
    }
  }

  Progress progress(count);
  int status = 0;
  for (std::size_t i = 0; i < count; ++i) {
    FileReport report;
    if (threads == 1) {
      progress.Show(i, names[i]);
      report = RunGuarded(names, i, work);
    } else {
      std::unique_lock lock(mutex);
      while (!reports[i]) {
        const std::size_t now = done;
        lock.unlock();
        progress.Show(now, names[i]);
        lock.lock();
        if (!reports[i] && done == now) finished.wait(lock);
      }
      report = std::move(*reports[i]);
      reports[i].reset();
    }
    progress.Erase();
    Print(report);
    status = std::max(status, report.status);
  }
  return status;
}

}  // namespace ravelle::cli
