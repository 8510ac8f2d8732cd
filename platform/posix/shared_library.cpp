// Opening a library by its soname and resolving its symbols through the
// dynamic loader.
#include "platform/posix/shared_library.hpp"

#include <dlfcn.h>

namespace ixo::platform {

bool shared_library::open(const char* soname) {
  soname_ = soname;
  handle_ = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (handle_) return true;
  const char* why = dlerror();  // names the library
  failure_ = why ? why : std::string(soname) + ": cannot open shared object file";
  return false;
}

void* shared_library::find(const char* name) {
  void* found = dlsym(handle_, name);
  if (!found) failure_ = std::string(soname_) + ": undefined symbol: " + name;
  return found;
}

}  // namespace ixo::platform
