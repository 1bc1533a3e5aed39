#include "formats/common/photo_libraries.h"

#include <dlfcn.h>

#include <string>

namespace ravelle {
namespace {

template <typename Call>
bool Bind(void* library, const char* name, Call& call) {
  call = reinterpret_cast<Call>(dlsym(library, name));
  return call != nullptr;
}

// The library by the name the dynamic linker knows it by (the build reads it off the library it
// compiled against). It stays open for the life of the program.
void* Open(const char* soname) { return dlopen(soname, RTLD_NOW | RTLD_LOCAL); }

}  // namespace

#define RAVELLE_BIND(name) complete = Bind(library, #name, calls.name) && complete;

const HeifCalls* Heif() {
  static const HeifCalls* const table = []() -> const HeifCalls* {
    static HeifCalls calls;
    void* library = Open(RAVELLE_HEIF_SONAME);
    if (library == nullptr) return nullptr;
    bool complete = true;
    RAVELLE_HEIF_CALLS(RAVELLE_BIND)
    return complete ? &calls : nullptr;
  }();
  return table;
}

const AvifCalls* Avif() {
  static const AvifCalls* const table = []() -> const AvifCalls* {
    static AvifCalls calls;
    void* library = Open(RAVELLE_AVIF_SONAME);
    if (library == nullptr) return nullptr;
    bool complete = true;
    RAVELLE_AVIF_CALLS(RAVELLE_BIND)
    return complete ? &calls : nullptr;
  }();
  return table;
}

const JxlCalls* Jxl() {
  static const JxlCalls* const table = []() -> const JxlCalls* {
    static JxlCalls calls;
    void* library = Open(RAVELLE_JXL_SONAME);
    void* threads = Open(RAVELLE_JXL_THREADS_SONAME);
    if (library == nullptr || threads == nullptr) return nullptr;
    bool complete = true;
    RAVELLE_JXL_CALLS(RAVELLE_BIND)
    {
      void* library = threads;
      RAVELLE_JXL_THREADS_CALLS(RAVELLE_BIND)
    }
    return complete ? &calls : nullptr;
  }();
  return table;
}

#undef RAVELLE_BIND

ReadResult NoLibrary(const char* library) {
  ReadResult result;
  result.status = ReadStatus::NoReader;
  result.diagnostics.push_back(std::string(library) + " cannot be opened");
  return result;
}

}  // namespace ravelle
