// The process-wide system record: argument strings, the code of the throw in
// progress, the boot image, the tracked-heap list and the runtime stack's
// guard area.
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
  // Addresses from stack_guard_low up to (not including) stack_guard_high
  // fault as a stack overflow rather than a wild access; both 0 while the
  // runtime runs on a stack without a guard area of its own.
  uintptr_t stack_guard_low;
  uintptr_t stack_guard_high;
};

extern system_record sysrec;

}  // namespace ixo
