#include "image/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace ravelle {
namespace {

// The live mappings. Only their pages may be dropped: dropping pages of ordinary memory would
// lose what was written there.
struct Mappings {
  std::mutex lock;
  std::vector<std::pair<uintptr_t, uintptr_t>> ranges;  // [begin, end)
};

Mappings& LiveMappings() {
  static Mappings mappings;
  return mappings;
}

std::size_t PageSize() {
  static const std::size_t size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return size;
}

// Large copies out of a mapping go by pieces of this size, each let go behind it.
constexpr std::size_t kCopyPiece = kReleasingCopy;

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::unique_ptr<MappedFile> MappedFile::Open(const std::string& path, uint64_t limit) {
  Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  const auto wanted = static_cast<std::size_t>(std::min<uint64_t>(limit, static_cast<uint64_t>(st.st_size)));
  std::unique_ptr<MappedFile> result(new MappedFile);
  // A mapping dies with SIGBUS when another program shortens the file while it is read, so the
  // file is read into memory until that fault can be caught.
  constexpr bool kMapFiles = false;
  if (kMapFiles && wanted > 0) {
    void* p = ::mmap(nullptr, wanted, PROT_READ, MAP_PRIVATE, file.fd, 0);
    if (p != MAP_FAILED) {
      ::madvise(p, wanted, MADV_SEQUENTIAL);
      result->data_ = static_cast<const uint8_t*>(p);
      result->size_ = result->mapped_ = wanted;
      Mappings& live = LiveMappings();
      const std::lock_guard guard(live.lock);
      live.ranges.emplace_back(reinterpret_cast<uintptr_t>(p), reinterpret_cast<uintptr_t>(p) + wanted);
      return result;
    }
  }
  result->copy_ = AllocateBlock(std::max<std::size_t>(wanted, 1));
  if (!result->copy_) return nullptr;
  std::size_t got = 0;
  while (got < wanted) {
    const ssize_t n = ::read(file.fd, result->copy_.get() + got, wanted - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return nullptr;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  result->data_ = result->copy_.get();
  result->size_ = got;
  return result;
}

MappedFile::~MappedFile() {
  if (mapped_ == 0) return;
  {
    Mappings& live = LiveMappings();
    const std::lock_guard guard(live.lock);
    const auto begin = reinterpret_cast<uintptr_t>(data_);
    std::erase_if(live.ranges, [&](const auto& range) { return range.first == begin; });
  }
  ::munmap(const_cast<uint8_t*>(data_), mapped_);
}

void ReleaseRead(std::span<const uint8_t> done) {
  const std::size_t page = PageSize();
  const auto from = (reinterpret_cast<uintptr_t>(done.data()) + page - 1) / page * page;
  const auto to = (reinterpret_cast<uintptr_t>(done.data()) + done.size()) / page * page;
  if (to <= from) return;
  Mappings& live = LiveMappings();
  const std::lock_guard guard(live.lock);
  for (const auto& [begin, end] : live.ranges) {
    if (from >= begin && to <= end) {
      ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
      return;
    }
  }
}

void CopyReleasing(std::span<uint8_t> to, std::span<const uint8_t> from) {
  const std::size_t n = std::min(to.size(), from.size());
  for (std::size_t done = 0; done < n;) {
    const std::size_t piece = std::min(kCopyPiece, n - done);
    std::memcpy(to.data() + done, from.data() + done, piece);
    ReleaseRead(from.subspan(done, piece));
    done += piece;
  }
}

}  // namespace ravelle
