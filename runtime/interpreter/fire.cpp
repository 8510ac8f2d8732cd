// Raising errors: fire keeps the id and arguments in last_raised, makes the
// error! value with the expression under way as its near field, shows it
// to the trace hook and throws it to the innermost try. An error raised
// while one is being made takes the reserved error's place; before the
// error catalog exists an error travels without a value. Relies on the
// error datatype, the value stack and the evaluator's cursor.
#include "runtime/interpreter/fire.hpp"

#include "runtime/datatypes/error.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"
#include "startup/system/catch.hpp"

namespace ixo {

raised_error last_raised;

namespace {
// Set while an error value is being made: an error raised by that making
// (no memory left for it) travels without a value instead of recursing.
bool making = false;
}  // namespace

void fire(error_id id, std::initializer_list<cell> args) {
  last_raised.id = id;
  last_raised.count = 0;
  for (const cell& a : args) {
    if (last_raised.count == 3) break;
    last_raised.args[last_raised.count++] = a;
  }
  // An error raised while one is being made (no memory or no stack left to
  // make it, or to report it) takes the place of that one as the reserved
  // error, which reaches its try as any error does.
  if (error::catalog_made_q() && making && stack::bottom) stack::deliver_error(error::reserve(id));
  if (error::catalog_made_q() && !making) {
    making = true;
    struct done_making {
      ~done_making() { making = false; }
    } done;
    cell e{};
    memory::root_guard keep(&e);
    error::create(id, args, &e);
    // The code near the failure: the expression under way, from its start.
    if (const cell* near = interpreter::current_expression()) *error::field(&e, error::FIELD_NEAR) = *near;
    if (stack::bottom) {
      if (interpreter::tracing_on && !(id.category == err::internal_stack_overflow.category &&
                                        id.index == err::internal_stack_overflow.index)) {
        // The hook sees the error before it unwinds, with no throw in
        // progress; a full stack leaves it no room to run.
        uint32_t thrown = sysrec.thrown;
        sysrec.thrown = 0;
        interpreter::fire_event(interpreter::EVENT_ERROR, nullptr, -1, nullptr, &e);
        sysrec.thrown = thrown;
      }
      stack::throw_error(&e);
    }
    stack::push(e);
  }
  // An error that travels without a value must not be taken for the last
  // one that had a value.
  stack::error_in_flight = cell{};
  throw throw_signal{THROW_ERROR};
}

cell error_word(const char* spelling) {
  // Bound to no context, its index unresolved.
  return cell{TYPE_WORD, 0, static_cast<uint32_t>(symbol::make(spelling)), 0xFFFFFFFF};
}

}  // namespace ixo
