// email!: a string with the path fields `user` and `host`; everything else
// is string!'s.
#pragma once

namespace ixo::email {

// Registers email! (type 45) under string!.
void init();

}  // namespace ixo::email
