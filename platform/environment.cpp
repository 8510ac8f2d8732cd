// The environment block read into a map!.
#include "platform/environment.hpp"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/simple_io.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/map.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::platform {

cell* list_env() {
  cell* result = stack::push_slot();
  cell* pairs = stack::push_slot();
  block::make_at(pairs, 100);
  cell* text = stack::push_slot();
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* e = *entry;
    size_t length = std::strlen(e);
    const char* equals = length > 1 ? static_cast<const char*>(std::memchr(e + 1, '=', length - 1)) : nullptr;
    size_t name_length = equals ? static_cast<size_t>(equals - e) : length;
    simple_io::load_os_text(e, name_length, text);
    block::rs_append(pairs, text);
    const char* value = equals ? equals + 1 : e + length;
    simple_io::load_os_text(value, std::strlen(value), text);
    block::rs_append(pairs, text);
  }
  map::make_at(result, nullptr, block::rs_length_q(pairs));
  map::extend(result, pairs, 1);
  stack::pop(2);
  return result;
}

std::string user_home() {
  std::string home;
  const char* env = std::getenv("HOME");
  if (env && *env) {
    home = env;
  } else {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
      home = found->pw_dir;
  }
  struct stat st;
  if (home.empty() || stat(home.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  return home;
}

}  // namespace ixo::platform
