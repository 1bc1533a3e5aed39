#include "support/private_cups.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/test_support.h"

namespace ravelle::test {
namespace {

namespace fs = std::filesystem;

// cups-filters' generic PDF printer description; its PJL wrapper lines are left out, so that the
// output is a plain PDF file.
constexpr const char* kGenericPdfPpd = "/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd";

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void Sleep(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

}  // namespace

std::string PrivateCups::Missing() {
  for (const char* program : {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/bin/lpstat", "/usr/bin/pdftoppm",
                              "/usr/bin/pdfinfo"}) {
    if (!HaveProgram(program)) return program;
  }
  if (!fs::exists(kGenericPdfPpd)) return kGenericPdfPpd;
  return {};
}

bool PrivateCups::Start(const fs::path& root) {
  root_ = root;
  for (const char* sub : {"etc/ppd", "spool", "cache", "run", "log", "out"}) fs::create_directories(root / sub);
  // Every folder from / down to the output must be enterable by the filters' user.
  for (fs::path p = root; !p.empty() && p != p.root_path(); p = p.parent_path()) {
    std::error_code ignored;
    fs::permissions(p, fs::perms::others_exec | fs::perms::others_read | fs::perms::group_exec |
                           fs::perms::group_read, fs::perm_options::add, ignored);
  }
  fs::permissions(root / "out", fs::perms::all, fs::perm_options::add);
  const std::string d = root.string();
  std::ofstream(root / "cups-files.conf")
      << "ServerRoot " << d << "/etc\nRequestRoot " << d << "/spool\nStateDir " << d << "/run\nCacheDir " << d
      << "/cache\nErrorLog " << d << "/log/error_log\nAccessLog " << d << "/log/access_log\nPageLog " << d
      << "/log/page_log\nPrintcap " << d << "/run/printcap\nFileDevice Yes\nSystemGroup root\n";
  std::ofstream(root / "cupsd.conf")
      << "LogLevel info\nMaxLogSize 0\nPageLogFormat %p %j %u %P %C %{job-name} %{media}\n"
      << "Listen " << d << "/run/cups.sock\nBrowsing No\nWebInterface No\nErrorPolicy abort-job\n"
      << "PreserveJobHistory Yes\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
      << "<Policy default>\n  JobPrivateAccess all\n  JobPrivateValues none\n  <Limit All>\n    Order deny,allow\n"
      << "  </Limit>\n</Policy>\n";
  const std::string conf = (root / "cupsd.conf").string();
  const std::string files = (root / "cups-files.conf").string();
  // In the foreground it ends silently on a bad configuration: check it first.
  if (RunCommand("/usr/sbin/cupsd -t -c " + Quote(conf) + " -s " + Quote(files) + " >/dev/null 2>&1").status != 0) {
    error = "cupsd rejects the configuration in " + d;
    return false;
  }
  const std::string log = (root / "log/cupsd.out").string();
  pid_ = ::fork();
  if (pid_ == 0) {
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    ::execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (pid_ < 0) {
    error = "cannot start cupsd";
    return false;
  }
  if (const char* server = ::getenv("CUPS_SERVER")) {
    hadServer_ = true;
    previousServer_ = server;
  }
  ::setenv("CUPS_SERVER", (root / "run/cups.sock").c_str(), 1);
  serverSet_ = true;
  for (int i = 0; i < 200; ++i) {
    // lpstat -r succeeds whether the scheduler runs or not: its words tell.
    if (RunCommand("lpstat -r 2>/dev/null").out.find("is running") != std::string::npos) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    Sleep(50);
  }
  error = "cupsd did not come up: " + ReadText(log) + ReadText(root / "log/error_log");
  Stop();
  return false;
}

bool PrivateCups::AddPdfQueue(const std::string& queue, const fs::path& out) {
  const fs::path ppd = root_ / (queue + ".ppd");
  std::ofstream description(ppd);
  std::istringstream generic(ReadText(kGenericPdfPpd));
  for (std::string line; std::getline(generic, line);) {
    if (line.starts_with("*JCLBegin:") || line.starts_with("*JCLToPDFInterpreter:") || line.starts_with("*JCLEnd:")) {
      continue;
    }
    description << line << "\n";
  }
  description.close();
  const auto result = RunCommand("lpadmin -p " + Quote(queue) + " -E -v " + Quote("file://" + out.string()) + " -P " +
                                 Quote(ppd.string()) + " -o PageSize=A4 2>&1");
  if (result.status != 0) error = "lpadmin: " + result.out;
  return result.status == 0;
}

bool PrivateCups::WaitIdle(const std::string& queue, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    const std::string jobs = RunCommand("lpstat -l -o " + Quote(queue) + " 2>/dev/null").out;
    if (jobs.empty()) return true;
    if (jobs.find("stopped") != std::string::npos) {
      error = "a job stopped on a filter error: " + jobs + ReadText(root_ / "log/error_log");
      RunCommand("cancel -a " + Quote(queue) + " 2>/dev/null");
      return false;
    }
    Sleep(100);
  }
  error = "queue " + queue + " still busy after " + std::to_string(seconds) + " s";
  return false;
}

std::string PrivateCups::PageLog() const { return ReadText(root_ / "log/page_log"); }

void PrivateCups::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  if (!serverSet_) return;
  if (hadServer_) {
    ::setenv("CUPS_SERVER", previousServer_.c_str(), 1);
  } else {
    ::unsetenv("CUPS_SERVER");
  }
  serverSet_ = hadServer_ = false;
}

}  // namespace ravelle::test
