// ref!: a string written after an at sign; everything else is string!'s.
#pragma once

namespace ixo::ref {

// Registers ref! (type 50) under string!.
void init();

}  // namespace ixo::ref
