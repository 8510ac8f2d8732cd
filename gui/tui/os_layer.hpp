// The OS layer of the text UI: the routines bound into the fields of
// system/view/platform, through which the GUI layer reaches the backend,
// the backend's start, and the text metrics.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::tui::os {

// Re-reads the terminal's size into the screen state (80 x 24 when the
// terminal cannot tell).
void read_size();

// Registers the routines.
void init_routines();

}  // namespace ixo::tui::os
