// Throwing and the outermost handler of non-local exits.
#include "startup/system/catch.hpp"

#include "startup/system/runtime_error.hpp"

namespace ixo {

system_record sysrec;

namespace system {

void throw_code(uint32_t code) {
  if (code == 0) return;
  throw throw_signal{code};
}

void throw_to_catch() { throw_code(sysrec.thrown); }

void clear_thrown() { sysrec.thrown = 0; }

void on_uncaught_throw() {
  if (sysrec.thrown == THROW_QUIT) runtime_error(0, 0);
  runtime_error(95, code_address(reinterpret_cast<const void*>(&on_uncaught_throw)));
}

}  // namespace system
}  // namespace ixo
