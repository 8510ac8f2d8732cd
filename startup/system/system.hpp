// The process-wide system record: argument strings, the code of the throw in
// progress, the boot image and the tracked-heap list.
#pragma once
#include <cstdint>

namespace ixo {

namespace heap {
struct tracked_list;
}

struct system_record {
  int32_t argc;                 // number of command-line arguments
  char** argv;                  // UTF-8 C strings, null-terminated array
  uint32_t thrown;              // code of the throw in progress; 0 = none
  const uint8_t* boot_image;    // the serialized boot image
  heap::tracked_list* heap_list;
  void* stack_base;             // marks the outermost catch site
};

extern system_record sysrec;

}  // namespace ixo
