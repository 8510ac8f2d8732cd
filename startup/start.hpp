// The start-up sequence: the executable's spine, from the processor state to
// the console's launch and the end of the process.
#pragma once
#include <cstdint>

namespace ixo {

// What start-up runs once the boot code has run: the console's launch,
// or a test driver's.
using launch_fn = void (*)();

// The entry point's body, run on the runtime thread; never returns. The
// boot image is the compact Ixobin of the boot code (boot_image.hpp).
[[noreturn]] void start_program(const uint8_t* boot_image, int32_t boot_image_size, launch_fn launch);

// The runtime initialised and the boot code run, as start_program does
// before the launch; the fuzzers over boot library code start this way.
// Must run inside a catch site.
void start_runtime(const uint8_t* boot_image, int32_t boot_image_size);

namespace runtime {
void init();
}

}  // namespace ixo
