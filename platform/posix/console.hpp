// The terminal console: the console layer over standard output as a VT
// terminal, which start-up hands to the console writer.
#pragma once
#include "startup/system/console_layer.hpp"

namespace ixo::platform {

// Standard output as a VT terminal.
extern const system::console_layer terminal_console;

}  // namespace ixo::platform
