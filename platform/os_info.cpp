// The OS description from /etc/os-release and uname(2).
#include "platform/os_info.hpp"

#include <sys/utsname.h>

#include <cctype>
#include <climits>
#include <fstream>
#include <sstream>

#include "platform/simple_io.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/tuple.hpp"
#include "runtime/datatypes/word.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::platform {

namespace {

// A shell-style value: in double quotes with backslash escapes, in single
// quotes as it stands, or bare.
std::string unquote(const std::string& v) {
  if (v.size() >= 2 && v.front() == '\'' && v.back() == '\'') return v.substr(1, v.size() - 2);
  if (v.size() < 2 || v.front() != '"' || v.back() != '"') return v;
  std::string out;
  for (size_t i = 1; i + 1 < v.size(); ++i) {
    if (v[i] == '\\' && i + 2 < v.size()) ++i;
    out += v[i];
  }
  return out;
}

}  // namespace

std::string os_release_name(const std::string& text) {
  std::string pretty, name;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("PRETTY_NAME=", 0) == 0) pretty = unquote(line.substr(12));
    else if (line.rfind("NAME=", 0) == 0) name = unquote(line.substr(5));
  }
  return pretty.empty() ? name : pretty;
}

const char* arch_name(const std::string& m) {
  if (m == "x86_64" || m == "amd64") return "x86-64";
  if (m.size() == 4 && m[0] == 'i' && m.compare(2, 2, "86") == 0) return "x86-32";
  if (m == "aarch64" || m == "arm64") return "ARM64";
  if (m.rfind("arm", 0) == 0) return "ARM";
  if (m == "ia64") return "IA-64";
  return "Unknown";
}

void kernel_version(const std::string& release, int32_t version[3]) {
  size_t i = 0;
  for (int32_t k = 0; k < 3; ++k) {
    version[k] = 0;
    if (i >= release.size() || !std::isdigit(static_cast<unsigned char>(release[i]))) continue;
    while (i < release.size() && std::isdigit(static_cast<unsigned char>(release[i]))) {
      if (version[k] < 256) version[k] = version[k] * 10 + (release[i] - '0');
      ++i;
    }
    if (version[k] > 255) version[k] = 255;
    if (i < release.size() && release[i] == '.') ++i;
    else i = release.size();  // the numbers end here
  }
}

int32_t kernel_build(const std::string& version) {
  size_t hash = version.find('#');
  if (hash == std::string::npos) return 0;
  int64_t n = 0;
  for (size_t i = hash + 1; i < version.size() && std::isdigit(static_cast<unsigned char>(version[i])); ++i) {
    n = n * 10 + (version[i] - '0');
    if (n > INT32_MAX) return 0;
  }
  return static_cast<int32_t>(n);
}

os_description read_os_description() {
  os_description d{"", "Unknown", {0, 0, 0}, 0};
  std::ifstream file("/etc/os-release");
  if (file) {
    std::stringstream text;
    text << file.rdbuf();
    d.name = os_release_name(text.str());
  }
  utsname u{};
  if (uname(&u) == 0) {
    if (d.name.empty()) d.name = u.sysname;
    d.arch = arch_name(u.machine);
    kernel_version(u.release, d.version);
    d.build = kernel_build(u.version);
  }
  if (d.name.empty()) d.name = "Linux";
  return d;
}

cell* get_OS_info() {
  os_description d = read_os_description();
  cell* result = stack::push_slot();
  object::make_empty_at(result, 4);
  result->data2 = static_cast<uint32_t>(object::next_class_id());
  *context::owner_cell(result->data1) = *result;

  cell* value = stack::push_slot();
  auto field = [&](const char* name) {
    int32_t symbol = symbol::make(name);
    context::add_value(result->data1, symbol, *value);
  };
  simple_io::load_os_text(d.name.data(), d.name.size(), value);
  field("name");
  word::make_at(symbol::make(d.arch), value);
  field("arch");
  tuple::make_rgba(value, d.version[0], d.version[1], d.version[2], -1);
  field("version");
  integer::make_at(value, d.build);
  field("build");
  stack::pop(1);
  return result;
}

}  // namespace ixo::platform
