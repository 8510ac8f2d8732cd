// tag!: a string written between "<" and ">"; everything else is string!'s.
#pragma once

namespace ixo::tag {

// Registers tag! (type 44) under string!.
void init();

}  // namespace ixo::tag
