// A private CUPS scheduler for the length of a test: its own configuration, spool, state and
// logs under a temporary folder, listening only on a socket there (CUPS_SERVER points this
// process and its children at it), with queues that write each job as a PDF file. Nothing of
// the machine's own CUPS is read or changed. Stopped by its process id.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace ravelle::test {

class PrivateCups {
 public:
  PrivateCups() = default;
  ~PrivateCups() { Stop(); }
  PrivateCups(const PrivateCups&) = delete;
  PrivateCups& operator=(const PrivateCups&) = delete;

  // What the tests need and this machine lacks, or empty.
  static std::string Missing();

  // Starts the scheduler under `root` (made readable and enterable by all: the filters run as
  // another user). False, with `error` set, when it does not come up.
  bool Start(const std::filesystem::path& root);
  // A queue whose every job overwrites `out` with the job as PDF (A4).
  bool AddPdfQueue(const std::string& queue, const std::filesystem::path& out);
  // Waits until the queue has no job left; false (with `error`) after `seconds` or when a job
  // stopped on a filter error.
  bool WaitIdle(const std::string& queue, int seconds = 30);
  // The page log: one line per job, "QUEUE JOB USER total COPIES JOB-NAME MEDIA".
  std::string PageLog() const;
  void Stop();

  std::string error;

 private:
  pid_t pid_ = -1;
  std::filesystem::path root_;
  std::string previousServer_;
  bool hadServer_ = false;
  bool serverSet_ = false;
};

}  // namespace ravelle::test
