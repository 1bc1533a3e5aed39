// Work on many files at once: each file's job runs on one of a few threads, and what it reports
// is written out in the order the files were given, each as soon as it and all before it are
// done. On a terminal a progress line on standard error says how far the batch is.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace ravelle::cli {

struct FileReport {
  std::string out;  // for standard output
  std::string err;  // for standard error
  int status = 0;   // the exit status this file asks for
  bool errFirst = false;  // the messages come before the output (they were shown before it)
};

// Writes a report to standard output and standard error.
void Print(const FileReport& report);

// The number of jobs when -j is not given: the machine's cores.
int DefaultJobs();

// Runs `work` for every index of `names` on up to `jobs` threads and writes the reports in
// order; the highest status of them. A job that runs out of memory fails with a message.
int RunBatch(const std::vector<std::string>& names, int jobs, const std::function<FileReport(std::size_t)>& work);

}  // namespace ravelle::cli
