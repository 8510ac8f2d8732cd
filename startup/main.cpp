// The executable's entry: the runtime runs on a thread of its own with a
// large stack, started here with the embedded boot image.
#include "console/routines_console.hpp"
#include "platform/posix/start.hpp"
#include "startup/boot_image.hpp"
#include "startup/start.hpp"

int main(int argc, char** argv) {
  ixo::platform::set_process_args(argc, argv);
  ixo::platform::run_on_runtime_stack(
      [] { ixo::start_program(ixo::boot_image::data, ixo::boot_image::size, ixo::console::launch); });
  return 0;
}
