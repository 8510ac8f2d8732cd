// The OS description behind the routine os-info: an object of `name`
// (the distribution's name from /etc/os-release, else the kernel's),
// `arch` (a word from the machine type), `version` (the kernel release as
// a 3-byte tuple) and `build` (the kernel's build number, the "#n" of its
// version text).
#pragma once
#include <cstdint>
#include <string>

#include "runtime/memory/cell.hpp"

namespace ixo::platform {

struct os_description {
  std::string name;
  const char* arch;
  int32_t version[3];
  int32_t build;
};

// PRETTY_NAME of an os-release text, else NAME, unquoted; "" when neither.
std::string os_release_name(const std::string& text);
// x86-64, x86-32, ARM, ARM64, IA-64 or Unknown for a uname machine type.
const char* arch_name(const std::string& machine);
// The first three numbers of a kernel release ("6.1.0-18-amd64"), each
// cut to 255, missing ones 0.
void kernel_version(const std::string& release, int32_t version[3]);
// The number after "#" in a kernel version text, 0 when there is none.
int32_t kernel_build(const std::string& version);

// Reads /etc/os-release and uname.
os_description read_os_description();

// Pushes the OS description object.
cell* get_OS_info();

}  // namespace ixo::platform
