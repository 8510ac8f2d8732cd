// Shared libraries opened on first use rather than linked: the libraries
// behind HTTP, the image codecs and the digests (with everything they pull
// in) would otherwise be loaded by every process, and most scripts never
// call them. A library is opened by its exact soname and its entry points
// are resolved once, into a table of typed function pointers, by whichever
// thread asks first; each user checks at compile time that the header it
// is built against describes the soname it opens. A library or entry point
// that is missing is answered by value, with a message naming it; the table
// is then never used (the library, once found, stays loaded) and nothing
// else is affected.
#pragma once
#include <mutex>
#include <string>

namespace ixo::platform {

// One library, open for the rest of the process once found: the table's
// pointers are used at any time after, so it is never closed.
class shared_library {
 public:
  // Opens the library (RTLD_NOW | RTLD_LOCAL); false with failure set.
  bool open(const char* soname);
  // The entry point's address, as the typed pointer `entry`; false with
  // failure set when the library has no such symbol.
  template <class F>
  bool bind(F& entry, const char* name) {
    entry = reinterpret_cast<F>(find(name));
    return entry != nullptr;
  }
  // The loader's message naming the library (and the symbol) it missed.
  const std::string& failure() const { return failure_; }

 private:
  void* find(const char* name);
  void* handle_ = nullptr;
  const char* soname_ = nullptr;
  std::string failure_;
};

// A library's table of entry points (a type made by IXO_LIBRARY_ENTRIES),
// filled by the first call of open.
template <class Entries>
class lazy_library : public Entries {
 public:
  explicit lazy_library(const char* soname) : soname_(soname) {}
  // True when the library and every entry point of the table were found.
  // The first call opens and resolves, from any thread; the others answer
  // its result.
  bool open() {
    std::call_once(once_, [this] { ready_ = library_.open(soname_) && this->bind(library_); });
    return ready_;
  }
  // Why open answered false.
  const char* failure() const { return library_.failure().c_str(); }

 private:
  const char* soname_;
  std::once_flag once_;
  shared_library library_;
  bool ready_ = false;
};

}  // namespace ixo::platform

// The table type of a library's entry points. LIST(X) names each one as
// X(function): the field is a pointer of the exact type the library's
// header declares, under the function's own name, so the name looked up and
// the type called cannot drift apart.
#define IXO_ENTRY_FIELD(name) decltype(&::name) name = nullptr;
#define IXO_ENTRY_BIND(name) &&library.bind(name, #name)
#define IXO_LIBRARY_ENTRIES(type, LIST)                                                       \
  struct type {                                                                               \
    LIST(IXO_ENTRY_FIELD)                                                                     \
    bool bind(::ixo::platform::shared_library& library) { return true LIST(IXO_ENTRY_BIND); } \
  }
