// Runs a piece of the runtime inside an error-catching site and tells which
// language error, if any, it raised.
#pragma once
#include <optional>

#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "startup/system/catch.hpp"

namespace ixo::test {

// Runs `body` inside a try frame, as the `try` native does: an error stops
// at that frame. The body keeps the caller's argument base. Afterwards the frame is gone and the argument base is as
// before; after an error the top is too, the error value dropped.
template <class Body>
std::optional<error_id> raised(Body&& body) {
  struct restore {
    cell* arguments = stack::arguments;
    cell* top = stack::top;
    stack::call_frame* frame_top = stack::frame_top;
    bool failed = true;  // also when anything else leaves the body
    ~restore() {
      stack::arguments = arguments;
      if (failed) stack::top = top;
      stack::frame_top = frame_top;
    }
  } restored;
  if (stack::frame_bottom) {
    static const cell name{TYPE_NONE, 0, stack::FRAME_NAME_NONE, 0};
    stack::mark(words::word_anon ? words::word_anon : &name, stack::FRAME_TRY);
    stack::arguments = restored.arguments;  // the body reads the caller's arguments
  }
  if (catch_site(FILTER_FUNCTION, body) == 0) {
    restored.failed = false;
    return std::nullopt;
  }
  system::clear_thrown();
  return last_raised.id;
}

inline bool is(std::optional<error_id> e, error_id id) {
  return e && e->category == id.category && e->index == id.index;
}

// The frames opened here name no call, as the runtime's own frames do.
//
// Tests run as under the console's evaluation, which catches every error:
// a try frame at the bottom of the frame stack keeps an error that a test
// catches with a bare catch site from ending the process, as an error with
// no try frame does.
inline void open_bottom_try_frame() {
  if (stack::frame_bottom && words::word_anon) stack::mark(words::word_anon, stack::FRAME_TRY);
}

}  // namespace ixo::test
