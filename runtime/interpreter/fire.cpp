#include "runtime/interpreter/fire.hpp"

#include "runtime/datatypes/symbol.hpp"
#include "startup/catch.hpp"

namespace ixo {

raised_error last_raised;

void fire(error_id id, std::initializer_list<cell> args) {
  last_raised.id = id;
  last_raised.count = 0;
  for (const cell& a : args) {
    if (last_raised.count == 3) break;
    last_raised.args[last_raised.count++] = a;
  }
  throw throw_signal{THROW_ERROR};
}

cell error_word(const char* spelling) {
  // Bound to no context, its index unresolved.
  return cell{TYPE_WORD, 0, static_cast<uint32_t>(symbol::make(spelling)), 0xFFFFFFFF};
}

}  // namespace ixo
